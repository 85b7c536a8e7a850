// The migration rules of the two hybrid games: the opening broadcast of each,
// the rule shared after it (the mover beating the reference player, the
// selection per objective with its ties, the carried-over selection), and the
// migration counts per epoch over whole runs.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "games/HybridNashGame.h"
#include "games/HybridWGradGame.h"
#include "support/ScriptedPlayer.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Four players on four variables and three objectives. Player 0 owns
// everything; player 1 variable 2 and objective 1; player 2 variable 3 and
// objective 1; player 3 variable 4 and objectives 2 and 3 (1-based, as in the
// file). Each player's best design carries its index + 100 as a tag.
template <typename Game> class FourPlayers {
public:
    FourPlayers() : cwd(dir.path()) {
        std::istringstream in(MapLine(4, {1, 2, 3, 4}) + MapLine(4, {2}) + MapLine(4, {3}) +
                              MapLine(4, {4}) + MapLine(3, {1, 2, 3}) + MapLine(3, {1}) +
                              MapLine(3, {1}) + MapLine(3, {2, 3}) + "0\n");
        testing::internal::CaptureStdout();
        game = std::make_unique<Game>(4, in);
        const unsigned ndvs[4] = {4, 1, 1, 1};
        const unsigned nobj[4] = {3, 1, 1, 2};
        std::vector<OptimizationAlgorithm*> list;
        for (unsigned p = 0; p < 4; ++p) {
            players.push_back(
                new ScriptedPlayer("P" + std::to_string(p), ndvs[p], nobj[p], nullptr));
            list.push_back(players.back());
        }
        game->SetPlayers(GamePlayers(list));
        output = testing::internal::GetCapturedStdout();
    }
    // value(p) = objective 0 of player p's best for its first objective.
    void SetValue(unsigned p, double value) {
        ScriptedPlayer* player = players[p];
        std::vector<double> obj(player->GetNobj(), 50.0);
        obj[0] = value;
        player->SetBest(0, obj, std::vector<double>(player->GetNdvs(), 100.0 + p));
    }
    // Objective c of the reference player's best for objective c.
    void SetReference(unsigned c, double value) {
        std::vector<double> obj(3, 50.0);
        obj[c] = value;
        players[0]->SetBest(c, obj, std::vector<double>(4, 100.0));
    }
    // The senders of what player p received, by tag, and forget them.
    std::vector<int> Senders(unsigned p) {
        std::vector<int> from;
        for (const Received& r : players[p]->received)
            from.push_back(static_cast<int>(r.dvs.at(0)) - 100);
        players[p]->received.clear();
        return from;
    }
    void Migrate(unsigned epoch, unsigned n) {
        testing::internal::CaptureStdout();
        game->MigrationEpoch(epoch, n);
        testing::internal::GetCapturedStdout();
    }

    TempDir dir;
    ScopedCwd cwd;
    std::unique_ptr<Game> game;
    std::vector<ScriptedPlayer*> players;
    std::string output;
};

using Nash = FourPlayers<HybridNashGame>;
using WGrad = FourPlayers<HybridWGradGame>;
const std::vector<int> kNone;

} // namespace

TEST(HybridGames, EachGameAnnouncesItself) {
    Nash nash;
    EXPECT_NE(nash.output.find("Hybrid Nash Game created.\n"), std::string::npos);
    WGrad wgrad;
    EXPECT_NE(wgrad.output.find("Hybrid With Grad Game created.\n"), std::string::npos);
}

TEST(HybridGames, NashOpeningSeedsEveryPlayerOnceAfterTheReferenceTurn) {
    Nash g;
    for (unsigned p = 0; p < 4; ++p)
        g.SetValue(p, 10.0 + p);
    g.Migrate(1, 0);
    EXPECT_EQ(g.Senders(0), kNone);
    for (unsigned p = 1; p < 4; ++p) {
        ASSERT_EQ(g.players[p]->received.size(), 1u);
        // The reference player's design with its owned global variables.
        EXPECT_EQ(g.players[p]->received[0].ids, (std::vector<unsigned>{0, 1, 2, 3}));
        EXPECT_EQ(g.Senders(p), (std::vector<int>{0}));
    }
    // After player 1's turn in epoch 1 the shared rule applies: player 1
    // (value 11) does not beat the reference (5), so it receives the best
    // among the other players whose first objective is 0: player 0 (5)
    // against player 2 (12).
    g.SetReference(0, 5.0);
    g.Migrate(1, 1);
    EXPECT_EQ(g.Senders(1), (std::vector<int>{0}));
    for (unsigned p : {0u, 2u, 3u})
        EXPECT_EQ(g.Senders(p), kNone);
}

TEST(HybridGames, GradientGameSeedsEveryPlayerAfterEachTurnOfTheFirstEpoch) {
    WGrad g;
    for (unsigned p = 0; p < 4; ++p)
        g.SetValue(p, 10.0 + p);
    g.SetReference(0, 100.0); // player 1 beats the reference: ignored in epoch 1
    unsigned migrations = 0;
    for (unsigned n = 0; n < 4; ++n) {
        g.Migrate(1, n);
        for (unsigned p = 0; p < 4; ++p) {
            const std::vector<int> from = g.Senders(p);
            migrations += static_cast<unsigned>(from.size());
            EXPECT_EQ(from, p == 0 ? kNone : std::vector<int>{0})
                << "turn " << n << " player " << p;
        }
    }
    EXPECT_EQ(migrations, 4u * 3u);
    // From epoch 2 on, the general rule.
    g.Migrate(2, 1);
    EXPECT_EQ(g.Senders(1), (std::vector<int>{2, 3}));
}

TEST(HybridGames, AMoverThatBeatsTheReferenceCollectsTheOtherNashPlayers) {
    Nash g;
    for (unsigned p = 0; p < 4; ++p)
        g.SetValue(p, 10.0 + p);
    g.SetReference(0, 11.5); // player 1: 11 < 11.5
    g.Migrate(2, 1);
    EXPECT_EQ(g.Senders(1), (std::vector<int>{2, 3})); // never from player 0, nor itself
    // A tie with the reference is not a win: the selection rule applies.
    g.SetReference(0, 11.0);
    g.Migrate(2, 1);
    EXPECT_EQ(g.Senders(1), (std::vector<int>{0}));
}

TEST(HybridGames, SelectionPerObjectiveKeepsTheLowestIndexOnTiesAndCarriesOver) {
    Nash g;
    // Player 3 (objectives 1 and 2, 0-based) after its turn: its first
    // objective is 1 (< its two objectives), compared with objective 1 of the
    // reference player's best for objective 1.
    g.SetValue(0, 7.0);
    g.SetValue(1, 7.0);
    g.SetValue(2, 3.0);
    g.SetValue(3, 9.0);
    g.SetReference(1, 4.0); // 4 < 9: no win
    g.Migrate(2, 3);
    // Objective 0: players 0, 1, 2 compete, player 2 has the lowest value.
    // Objective 1: nobody else has it first; the selection of objective 0 is
    // kept, so player 2 sends again.
    EXPECT_EQ(g.Senders(3), (std::vector<int>{2, 2}));

    // Ties between candidates go to the lowest index.
    g.SetValue(2, 7.0);
    g.Migrate(2, 3);
    EXPECT_EQ(g.Senders(3), (std::vector<int>{0, 0}));
    g.SetValue(0, 8.0);
    g.Migrate(2, 3);
    EXPECT_EQ(g.Senders(3), (std::vector<int>{1, 1}));
}

TEST(HybridGames, CandidatesAtTheLargestValueAreNeverSelected) {
    Nash g;
    for (unsigned p = 0; p < 4; ++p)
        g.SetValue(p, INDIVIDUAL::kWorst);
    g.SetReference(1, 1.0);
    g.Migrate(2, 3);
    // Nobody is selected: the reference player's best goes, once per objective.
    EXPECT_EQ(g.Senders(3), (std::vector<int>{0, 0}));
}

TEST(HybridGames, TwoPlayersAWinningNashPlayerReceivesNothing) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    std::istringstream in(MapLine(2, {1, 2}) + MapLine(2, {2}) + MapLine(2, {1, 2}) +
                          MapLine(2, {1}) + "0\n");
    testing::internal::CaptureStdout();
    HybridNashGame game(2, in);
    auto* p0 = new ScriptedPlayer("P0", 2, 2, nullptr);
    auto* p1 = new ScriptedPlayer("P1", 1, 1, nullptr);
    game.SetPlayers(GamePlayers({p0, p1}));
    p0->SetBest(0, {5.0, 5.0}, {1.0, 1.0});
    p1->SetBest(0, {2.0}, {2.0});
    game.MigrationEpoch(2, 1);
    EXPECT_TRUE(p1->received.empty());
    // Losing, it receives the reference player's best.
    p1->SetBest(0, {6.0}, {2.0});
    game.MigrationEpoch(2, 1);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(p1->received.size(), 1u);
    EXPECT_EQ(p1->received[0].dvs, (std::vector<double>{1.0, 1.0}));
}

TEST(HybridGames, APlayerWhoseFirstObjectiveIsBeyondItsOwnCountReceivesNothing) {
    // The Nash player owns only game objective 1 (0-based): its first
    // objective is not below its own count of objectives (1).
    TempDir dir;
    ScopedCwd cwd(dir.path());
    std::istringstream in(MapLine(2, {1, 2}) + MapLine(2, {2}) + MapLine(2, {1, 2}) +
                          MapLine(2, {2}) + "0\n");
    testing::internal::CaptureStdout();
    HybridNashGame game(2, in);
    auto* p0 = new ScriptedPlayer("P0", 2, 2, nullptr);
    auto* p1 = new ScriptedPlayer("P1", 1, 1, nullptr);
    game.SetPlayers(GamePlayers({p0, p1}));
    p0->SetBest(1, {5.0, 5.0}, {1.0, 1.0});
    p1->SetBest(0, {9.0}, {2.0});
    game.MigrationEpoch(1, 0); // the opening broadcast still reaches it
    game.MigrationEpoch(2, 1);
    game.MigrationEpoch(3, 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(p1->received.size(), 1u);
}

TEST(HybridGames, MigrationsPerEpochOverWholeRuns) {
    // Three players (the block of the game driver tests): turns of P0, P1, P2
    // in order, the rule ending the game at the sixth check.
    auto run = [](bool gradient) {
        TempDir dir;
        ScopedCwd cwd(dir.path());
        std::istringstream in(MapLine(3, {1, 2, 3}) + MapLine(3, {2}) + MapLine(3, {3}) +
                              MapLine(2, {1, 2}) + MapLine(2, {1}) + MapLine(2, {2}) + "0\n");
        testing::internal::CaptureStdout();
        std::unique_ptr<GameAlgorithm> game;
        if (gradient)
            game = std::make_unique<HybridWGradGame>(3, in);
        else
            game = std::make_unique<HybridNashGame>(3, in);
        std::vector<ScriptedPlayer*> players = {new ScriptedPlayer("P0", 3, 2, nullptr),
                                                new ScriptedPlayer("P1", 1, 1, nullptr),
                                                new ScriptedPlayer("P2", 1, 1, nullptr)};
        game->SetPlayers(GamePlayers({players[0], players[1], players[2]}));
        game->SetTerminationCriteria(CountingRule(6, nullptr));
        double elapsed = 0.0;
        long start = 0;
        game->Run(elapsed, start, false);
        testing::internal::GetCapturedStdout();
        std::vector<size_t> counts;
        for (ScriptedPlayer* p : players)
            counts.push_back(p->received.size());
        return counts;
    };
    // Nash: after P0's first turn players 1 and 2 are seeded once. Then the
    // shared rule: after P1's turns (epoch 1 and 2) P1 receives one design
    // (either the other Nash player's, when it beats the reference, or the
    // best of those whose first objective is 0); after P0's turn in epoch 2,
    // P0 receives one design per objective (from P1 for objective 0, from P2
    // for objective 1); P2, whose first objective (1) is not below its own
    // count of objectives (1), never receives after the broadcast. The sixth
    // turn (P2) ends the game without migration.
    EXPECT_EQ(run(false), (std::vector<size_t>{2, 1 + 2, 1}));
    // Gradient game: each of the three turns of epoch 1 seeds players 1 and
    // 2; epoch 2 as before.
    EXPECT_EQ(run(true), (std::vector<size_t>{2, 3 + 1, 3}));
}
