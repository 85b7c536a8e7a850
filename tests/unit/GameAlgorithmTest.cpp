// The game driver: reading the game block, checking it against the players,
// the turn order, the restart file and restarts, the stopping rule over all
// players, the game best list and its convergence file. Players are scripted
// (tests/support/ScriptedPlayer.h) but evaluate through the real local
// evaluation unit and a test plug-in.

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <sstream>

#include "eval/EVAU.h"
#include "games/GameAlgorithm.h"
#include "model/UTILS.h"
#include "support/ScriptedPlayer.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Records every migration call with the content of the restart file at that
// moment; exposes the game best update for direct tests.
class RecordingGame : public GameAlgorithm {
public:
    RecordingGame(unsigned n, std::istream& in) : GameAlgorithm(n, in) {}
    void MigrationEpoch(unsigned epoch, unsigned player) override {
        calls.push_back({epoch, player});
        restart_file.push_back(ReadFile("game_restart.dat"));
    }
    void PostProcess() override {
        ++post_process;
        GameAlgorithm::PostProcess();
    }
    using GameAlgorithm::UpdateGameBestfits;

    std::vector<std::pair<unsigned, unsigned>> calls;
    std::vector<std::string> restart_file;
    int post_process = 0;
};

// Three players on three global variables and two objectives: player 0 owns
// everything, player 1 variable 2 and objective 1, player 2 variable 3 and
// objective 2 (1-based, as in the file).
std::string ThreePlayerBlock(bool restart_file) {
    return MapLine(3, {1, 2, 3}) + MapLine(3, {2}) + MapLine(3, {3}) + MapLine(2, {1, 2}) +
           MapLine(2, {1}) + MapLine(2, {2}) + (restart_file ? "1" : "0") + "   restart\n";
}

// A game of three scripted players in a temporary folder.
class ThreePlayers {
public:
    explicit ThreePlayers(bool restart_file = true) : cwd(dir.path()) {
        std::istringstream in(ThreePlayerBlock(restart_file));
        testing::internal::CaptureStdout();
        game = std::make_unique<RecordingGame>(3, in);
        p0 = new ScriptedPlayer("P0", 3, 2, &log);
        p1 = new ScriptedPlayer("P1", 1, 1, &log);
        p2 = new ScriptedPlayer("P2", 1, 1, &log);
        game->SetPlayers(GamePlayers({p0, p1, p2}));
        output = testing::internal::GetCapturedStdout();
    }
    // Runs until the rule's limit-th check.
    void Run(unsigned limit, bool restart = false) {
        game->SetTerminationCriteria(CountingRule(limit, &seen));
        double elapsed = 0.0;
        long start = 0;
        testing::internal::CaptureStdout();
        game->Run(elapsed, start, restart);
        output += testing::internal::GetCapturedStdout();
    }
    std::vector<std::string> Turns() const {
        std::vector<std::string> turns;
        for (const auto& entry : log)
            if (entry.size() > 5 && entry.compare(entry.size() - 4, 4, "turn") == 0)
                turns.push_back(entry.substr(0, 2));
        return turns;
    }

    TempDir dir;
    ScopedCwd cwd;
    std::vector<std::string> log;
    std::vector<unsigned> seen;
    std::unique_ptr<RecordingGame> game;
    ScriptedPlayer* p0;
    ScriptedPlayer* p1;
    ScriptedPlayer* p2;
    std::string output;
};

// The text of the stop when SetPlayers refuses the block for these players.
std::string RefusedBlock(const std::string& block, unsigned nplayers,
                         const std::vector<std::pair<unsigned, unsigned>>& sizes) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    FatalThrows fatal;
    std::istringstream in(block);
    testing::internal::CaptureStdout();
    RecordingGame game(nplayers, in);
    std::vector<std::unique_ptr<OptimizationAlgorithm>> players;
    for (unsigned p = 0; p < sizes.size(); ++p)
        players.push_back(std::make_unique<ScriptedPlayer>("P" + std::to_string(p), sizes[p].first,
                                                           sizes[p].second, nullptr));
    std::string text;
    try {
        game.SetPlayers(std::move(players));
    } catch (const UTILS::FatalError& e) {
        text = e.what();
    }
    testing::internal::GetCapturedStdout();
    return text;
}

} // namespace

TEST(GameAlgorithm, ReadsTheMapsAndSetsUpTheGameBestList) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    std::istringstream in("4 1 2 0 0   comment\n4 0 0 3 4\n2 1 2\n2 1 0\n1   restart\n");
    testing::internal::CaptureStdout();
    RecordingGame game(2, in);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(game.GetDVsMaps()[0], (std::vector<int>{0, 1, -1, -1}));
    EXPECT_EQ(game.GetDVsMaps()[1], (std::vector<int>{-1, -1, 2, 3}));
    EXPECT_EQ(game.GetOBjMaps()[1], (std::vector<int>{0, -1}));
    EXPECT_NE(out.find("GameAlgorithm created.\nglobal_dvs_index: 0              1              "
                       "-1             -1             \n"),
              std::string::npos);
    EXPECT_NE(out.find("global_obj_index: 0              -1             \n"), std::string::npos);
    EXPECT_NE(out.find("mWriteRestartFile = true\n"), std::string::npos);
    EXPECT_TRUE(game.GetWriteRestartFile());
    // One entry per game objective, with the game's design size.
    ASSERT_EQ(game.GetGameBestfits().size(), 2u);
    for (const INDIVIDUAL& entry : game.GetGameBestfits()) {
        EXPECT_EQ(entry.GetNdvs(), 4u);
        EXPECT_EQ(entry.GetObj(), (std::vector<double>(2, INDIVIDUAL::kWorst)));
        EXPECT_EQ(entry.GetNctr(), 0u);
    }
    EXPECT_EQ(ReadFile("convergence_eva.out"),
              "# Evaluation        obj[0]              obj[1]              \n");
}

TEST(GameAlgorithm, SetPlayersSwitchesEveryPlayerToItsPartOfTheGame) {
    ThreePlayers g;
    EXPECT_TRUE(g.p1->IsActiveGame());
    EXPECT_EQ(g.p1->GetGlobalDVsIds(), (std::vector<unsigned>{1}));
    EXPECT_EQ(g.p2->GetGlobalOBjIds(), (std::vector<unsigned>{1}));
    EXPECT_EQ(g.p0->GetGlobalOBjIds(), (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(g.p2->GetEliteDVs().size(), 3u);
    // Each player's files carry its index.
    EXPECT_EQ(g.p0->GetWriteData()->GetConvergenceGenFilename(), "0convergence_gen.out");
    EXPECT_EQ(g.p2->Data().GetBestfitsFilename(), "2bestfits.out");
}

TEST(GameAlgorithm, BlocksThatDisagreeWithThePlayersStopBeforeAnyEvaluation) {
    const std::string ok_objs = MapLine(2, {1, 2}) + MapLine(2, {2}) + "0\n";
    const std::vector<std::pair<unsigned, unsigned>> sizes = {{2, 2}, {1, 1}};
    // Maps of different lengths.
    EXPECT_NE(RefusedBlock(MapLine(2, {1, 2}) + MapLine(3, {2}) + ok_objs, 2, sizes)
                  .find("the design-variable map of player 1 has 3 entries where the game has 2"),
              std::string::npos);
    // An entry that is neither its position nor 0.
    EXPECT_NE(RefusedBlock("2 1 2\n2 0 1\n" + ok_objs, 2, sizes)
                  .find("entry 2 of the design-variable map of player 1 must be 2 or 0, found 1"),
              std::string::npos);
    // A player owning no objective.
    EXPECT_NE(RefusedBlock(MapLine(2, {1, 2}) + MapLine(2, {2}) + MapLine(2, {1, 2}) + "2 0 0\n0\n",
                           2, {{2, 2}, {1, 0}})
                  .find("player 1 owns no objective"),
              std::string::npos);
    // The reference player not owning every objective.
    EXPECT_NE(RefusedBlock(MapLine(2, {1, 2}) + MapLine(2, {2}) + MapLine(2, {1}) +
                               MapLine(2, {2}) + "0\n",
                           2, {{2, 1}, {1, 1}})
                  .find("player 0 must own every objective of the game, in order"),
              std::string::npos);
    // Counts that differ from the player's own.
    EXPECT_NE(RefusedBlock(MapLine(2, {1, 2}) + MapLine(2, {2}) + ok_objs, 2, {{2, 2}, {2, 1}})
                  .find("player 1 owns 1 global design variables but has 2"),
              std::string::npos);
    EXPECT_NE(RefusedBlock(MapLine(2, {1, 2}) + MapLine(2, {2}) + ok_objs, 2, {{2, 2}, {1, 2}})
                  .find("player 1 owns 1 global objectives but has 2"),
              std::string::npos);
    // Fewer players than the block describes.
    EXPECT_NE(RefusedBlock(MapLine(2, {1, 2}) + MapLine(2, {2}) + ok_objs, 2, {{2, 2}})
                  .find("describes 2 players but 1 were given"),
              std::string::npos);
}

TEST(GameAlgorithm, APlayerWithoutALocalEvaluationUnitIsRefused) {
    // An evaluation unit that is not the local one (as the HTCondor unit).
    class OtherEVAU : public EVAU {
    public:
        OtherEVAU() : EVAU(1, 1, 0) {}
        bool Compute(POPULATION&, TerminationCriteria*, const std::vector<int>&,
                     const std::vector<double>&, WriteData*) override {
            return false;
        }
        bool ComputeInd(INDIVIDUAL&, TerminationCriteria*, const std::vector<int>&,
                        const std::vector<double>&, WriteData*) override {
            return false;
        }
    };
    class RemotePlayer : public ScriptedPlayer {
    public:
        RemotePlayer() : ScriptedPlayer("R", 1, 1, nullptr) {
            mEvau = std::make_unique<OtherEVAU>();
        }
    };
    TempDir dir;
    ScopedCwd cwd(dir.path());
    FatalThrows fatal;
    std::istringstream in(MapLine(2, {1, 2}) + MapLine(2, {2}) + MapLine(1, {1}) + MapLine(1, {1}) +
                          "0\n");
    testing::internal::CaptureStdout();
    RecordingGame game(2, in);
    std::string text;
    try {
        game.SetPlayers(GamePlayers({new ScriptedPlayer("P0", 2, 1, nullptr), new RemotePlayer()}));
    } catch (const UTILS::FatalError& e) {
        text = e.what();
    }
    testing::internal::GetCapturedStdout();
    EXPECT_NE(text.find("player 1 does not evaluate locally"), std::string::npos);
}

TEST(GameAlgorithm, TurnsFollowThePlayerOrderAndTheRestartFileNamesTheNextPlayer) {
    ThreePlayers g;
    g.Run(7);
    // Every player is initialised (and evaluated) before the first turn.
    ASSERT_GE(g.log.size(), 3u);
    EXPECT_EQ(g.log[0], "P0 init");
    EXPECT_EQ(g.log[1], "P1 init");
    EXPECT_EQ(g.log[2], "P2 init");
    EXPECT_EQ(g.Turns(), (std::vector<std::string>{"P0", "P1", "P2", "P0", "P1", "P2", "P0"}));
    // Migration after every turn but the last, with 1-based epochs.
    EXPECT_EQ(g.game->calls, (std::vector<std::pair<unsigned, unsigned>>{
                                 {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2}}));
    // The restart file names the player whose turn began, without a line end.
    EXPECT_EQ(g.game->restart_file, (std::vector<std::string>{"0", "1", "2", "0", "1", "2"}));
    EXPECT_EQ(ReadFile(g.dir.file("game_restart.dat")), "0");
    // The end: every player's final output, then the game's.
    EXPECT_EQ(g.log.back(), "P2 opt");
    EXPECT_EQ(g.game->post_process, 1);
    EXPECT_NE(g.output.find("Termination criteria has been met\n"), std::string::npos);
    EXPECT_NE(g.output.find("\nLOOP END\n"), std::string::npos);
}

TEST(GameAlgorithm, WithoutTheRestartFlagNoFileIsWritten) {
    ThreePlayers g(false);
    g.Run(2);
    EXPECT_FALSE(FileExists(g.dir.file("game_restart.dat")));
}

TEST(GameAlgorithm, ARestartBeginsAtTheStoredPlayer) {
    ThreePlayers g;
    WriteFile(g.dir.file("game_restart.dat"), "1");
    g.Run(4, true);
    EXPECT_EQ(g.Turns(), (std::vector<std::string>{"P1", "P2", "P0", "P1"}));
    EXPECT_EQ(g.game->calls, (std::vector<std::pair<unsigned, unsigned>>{{1, 1}, {1, 2}, {2, 0}}));
    EXPECT_EQ(g.game->GetRestartIndex(), 1u);
}

TEST(GameAlgorithm, AStoredIndexOfThePlayerCountBeginsAtPlayerZeroInEpochTwo) {
    for (const char* stored : {"3", "3\n"}) {
        SCOPED_TRACE(stored);
        ThreePlayers g;
        WriteFile(g.dir.file("game_restart.dat"), stored);
        g.Run(2, true);
        EXPECT_EQ(g.Turns(), (std::vector<std::string>{"P0", "P1"}));
        EXPECT_EQ(g.game->calls, (std::vector<std::pair<unsigned, unsigned>>{{2, 0}}));
    }
}

TEST(GameAlgorithm, ARestartWithoutAReadableFileStopsBeforeAnyPlayerIsInitialised) {
    // Only a player index, or the number of players, is a restart point: a
    // larger number or "1.5" was written by no game.
    for (const std::string content : {"", "x", "-1", "4", "65536", "1.5", "1 2", "99999999999"}) {
        SCOPED_TRACE("file: '" + content + "'");
        ThreePlayers g;
        if (!content.empty())
            WriteFile(g.dir.file("game_restart.dat"), content);
        FatalThrows fatal;
        std::string text;
        try {
            g.Run(3, true);
        } catch (const UTILS::FatalError& e) {
            testing::internal::GetCapturedStdout();
            text = e.what();
        }
        if (content.empty())
            EXPECT_EQ(text, "File game_restart.dat not found.\nProgram stopped!\n");
        else
            EXPECT_NE(text.find("game_restart.dat does not hold a player index"),
                      std::string::npos);
        EXPECT_TRUE(g.log.empty());
        EXPECT_EQ(g.p0->GetObjEvals(), 0u);
    }
}

TEST(GameAlgorithm, AGameWithoutAStoppingRuleIsNotRun) {
    ThreePlayers g;
    FatalThrows fatal;
    double elapsed = 0.0;
    long start = 0;
    testing::internal::CaptureStdout();
    EXPECT_THROW(g.game->Run(elapsed, start, false), UTILS::FatalError);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("no stopping rule"), std::string::npos);
    EXPECT_TRUE(g.log.empty());
}

TEST(GameAlgorithm, TheStoppingRuleSeesTheEvaluationsOfAllPlayers) {
    ThreePlayers g;
    g.Run(5);
    // Three evaluations at set-up (one per player), then one per turn: the
    // rule sees 4, 5, 6, ... whatever player moved.
    EXPECT_EQ(g.seen, (std::vector<unsigned>{4, 5, 6, 7, 8}));
    EXPECT_EQ(g.game->GetGameObjEvals(), 8u);
}

TEST(GameAlgorithm, GameBestEntryHoldsEachGameObjectiveAtItsOwnPosition) {
    ThreePlayers g;
    const double worst = INDIVIDUAL::kWorst;
    // Player 2 owns game objective 1 as its local objective 0.
    g.p2->SetBest(0, {2.5}, {7.0});
    g.game->UpdateGameBestfits();
    const INDIVIDUAL& entry1 = g.game->GetGameBestfits()[1];
    EXPECT_EQ(entry1.GetObj(), (std::vector<double>{worst, 2.5}));
    // The full game design: the player's own variable (global 2) at its place,
    // its elite values elsewhere.
    EXPECT_EQ(entry1.GetDvs(), (std::vector<double>{0.0, 0.0, 7.0}));
    EXPECT_EQ(g.game->GetGameBestfits()[0].GetObj(0), worst);

    // The reference player with a better value: replaced, with both objectives.
    g.p0->SetBest(1, {9.0, 1.5}, {1.0, 2.0, 3.0});
    g.game->UpdateGameBestfits();
    EXPECT_EQ(g.game->GetGameBestfits()[1].GetObj(), (std::vector<double>{9.0, 1.5}));
    EXPECT_EQ(g.game->GetGameBestfits()[1].GetDvs(), (std::vector<double>{1.0, 2.0, 3.0}));

    // A tie keeps the stored entry; NaN replaces nothing.
    g.p2->SetBest(0, {1.5}, {8.0});
    g.p1->SetBest(0, {std::numeric_limits<double>::quiet_NaN()}, {4.0});
    g.game->UpdateGameBestfits();
    EXPECT_EQ(g.game->GetGameBestfits()[1].GetDvs(), (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_EQ(g.game->GetGameBestfits()[0].GetObj(0), worst);
    // Player 1 owns game objective 0.
    g.p1->SetBest(0, {0.5}, {4.0});
    g.game->UpdateGameBestfits();
    EXPECT_EQ(g.game->GetGameBestfits()[0].GetObj(), (std::vector<double>{0.5, worst}));
    EXPECT_EQ(g.game->GetGameBestfits()[0].GetDvs(), (std::vector<double>{0.0, 4.0, 0.0}));
}

TEST(GameAlgorithm, TheGameConvergenceFileNeverGetsWorse) {
    ThreePlayers g;
    g.Run(45);
    const std::vector<std::string> lines = ReadLines(g.dir.file("convergence_eva.out"));
    ASSERT_GE(lines.size(), 3u);
    std::vector<double> last(2, INDIVIDUAL::kWorst);
    unsigned previous = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::istringstream row(lines[i]);
        unsigned evaluations = 0;
        std::vector<double> values(2);
        row >> evaluations >> values[0] >> values[1];
        ASSERT_TRUE(row) << lines[i];
        EXPECT_GE(evaluations, previous);
        for (int j = 0; j < 2; ++j)
            EXPECT_LE(values[j], last[j]) << lines[i];
        last = values;
        previous = evaluations;
    }
    // Without migrations the variables a player does not own stay 0, so game
    // objective 0 = (x - 3)^2 + 18 reaches 18 when player 0 or 1 walks to 3.
    EXPECT_EQ(last[0], 18.0);
}

TEST(GameAlgorithm, EachPlayerReportsAtItsOwnInterval) {
    ThreePlayers g;
    g.p1->Data().SetReportIter(2);
    g.Run(9);
    int reports = 0;
    for (const auto& entry : g.log)
        reports += entry == "P1 report" ? 1 : 0;
    EXPECT_EQ(reports, 1); // player 1 moved 3 times: one report, after its second turn
    EXPECT_NE(g.output.find("-------------------------------------------\nTime elapsed = "),
              std::string::npos);
    EXPECT_NE(g.output.find("Report from player 1:\n"), std::string::npos);
}
