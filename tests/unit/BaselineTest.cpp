// Baseline comparison: the members of a final front that dominate the
// baseline design, the baseline line of write.QERN, and the check of each game
// player's own baseline file before the game starts.

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/PostProcessBaseline.h"
#include "games/HybridNashGame.h"
#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "optim/LAMBDAMU.h"
#include "output/PIOU.h"
#include "output/WriteDataEA.h"
#include "support/TestSupport.h"

using testsupport::FatalThrows;
using testsupport::ReadLines;
using testsupport::WriteFile;

namespace {

// A computed front with two design variables and nctr constraints (all 0,
// feasible, unless given).
POPULATION Front(const std::vector<std::vector<double>>& objectives, unsigned nctr = 0,
                 const std::vector<std::vector<double>>& constraints = {}) {
    const int nobj = static_cast<int>(objectives.at(0).size());
    POPULATION pop("front", 2, nobj, static_cast<int>(nctr), 0, false);
    INDIVIDUAL ind(2, nobj, static_cast<int>(nctr), nullptr);
    for (size_t m = 0; m < objectives.size(); ++m) {
        ind.SetDvs({0.1 * static_cast<double>(m), 1.0});
        ind.SetEval(objectives[m],
                    constraints.empty() ? std::vector<double>(nctr, 0.0) : constraints[m]);
        pop.PushBackNewInd(ind);
    }
    return pop;
}

WriteDataEA BaselineOutput(const std::string& file) {
    WriteDataEA out;
    out.SetBaseline(true);
    out.SetBaselineFilename(file);
    return out;
}

// Runs the comparison quietly and returns what it printed.
std::string Compare(const POPULATION& front, const WriteDataEA& out) {
    testing::internal::CaptureStdout();
    post_process_baseline(front, out);
    return testing::internal::GetCapturedStdout();
}

std::vector<std::vector<double>> ReadObjectives(const std::string& file) {
    testing::internal::CaptureStdout();
    const POPULATION pop = PIOU::read_population_a(file);
    testing::internal::GetCapturedStdout();
    std::vector<std::vector<double>> result;
    for (unsigned m = 0; m < pop.GetPopsize(); ++m)
        result.push_back(pop[m].GetObj());
    return result;
}

using Objectives = std::vector<std::vector<double>>;

} // namespace

using Baseline = testsupport::InTempFolder;

TEST_F(Baseline, ListsOnlyTheMembersThatDominateTheBaseline) {
    WriteFile("base.dat", "1 1\n");
    Compare(Front({{0.5, 0.5}, {0.5, 2.0}, {2.0, 0.5}}), BaselineOutput("base.dat"));
    EXPECT_EQ(ReadObjectives("non_dominated.out"), (Objectives{{0.5, 0.5}}));

    // Values may be spread over lines; text after the nobj numbers is ignored.
    WriteFile("base.dat", "1\n  1\nnot read\n");
    Compare(Front({{0.9, 0.1}, {1.0, 0.5}, {1.0, 1.0}, {0.2, 1.1}}), BaselineOutput("base.dat"));
    // (1.0, 0.5) dominates (1, 1): no worse in both, better in one.
    EXPECT_EQ(ReadObjectives("non_dominated.out"), (Objectives{{0.9, 0.1}, {1.0, 0.5}}));
}

TEST_F(Baseline, EqualOrNoBetterMembersGiveTheHeaderLinesOnly) {
    WriteFile("base.dat", "1 1\n");
    // A stale result must be replaced, not appended to.
    WriteFile("non_dominated.out", "stale\n");
    Compare(Front({{1.0, 1.0}, {2.0, 0.5}, {0.5, 3.0}}), BaselineOutput("base.dat"));
    const std::vector<std::string> lines = ReadLines("non_dominated.out");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "# Writing information of population: NonDominated");
    EXPECT_EQ(lines[1], "# nobj 2 ndvs 2 nctr 0");
    EXPECT_EQ(lines[2].rfind("# obj[0]", 0), 0u);
}

// The baseline design is feasible, so an infeasible member never dominates it,
// however good its objectives.
TEST_F(Baseline, InfeasibleMembersDoNotDominateTheFeasibleBaseline) {
    WriteFile("base.dat", "1 1 1\n");
    Compare(Front({{0.1, 0.1, 0.1}, {0.5, 0.5, 0.5}}, 1, {{-0.2}, {0.0}}),
            BaselineOutput("base.dat"));
    EXPECT_EQ(ReadObjectives("non_dominated.out"), (Objectives{{0.5, 0.5, 0.5}}));
}

TEST_F(Baseline, ShortFileWarnsAndComparesWithZeros) {
    WriteFile("base.dat", "0.7\n");
    // The baseline becomes (0.7, 0): only a negative second objective beats it.
    const std::string printed =
        Compare(Front({{0.5, -0.1}, {0.5, 0.5}, {0.8, -1.0}}), BaselineOutput("base.dat"));
    EXPECT_NE(printed.find("Failed extracting vector components\n"), std::string::npos);
    EXPECT_EQ(ReadObjectives("non_dominated.out"), (Objectives{{0.5, -0.1}}));
}

TEST_F(Baseline, MissingOrUnnamedFileStopsWithoutWriting) {
    FatalThrows guard;
    for (const std::string name : {"missing.dat", ""}) {
        testing::internal::CaptureStdout();
        try {
            post_process_baseline(Front({{0.5, 0.5}}), BaselineOutput(name));
            testing::internal::GetCapturedStdout();
            ADD_FAILURE() << "no stop for baseline file '" << name << "'";
        } catch (const UTILS::FatalError& e) {
            const std::string printed = testing::internal::GetCapturedStdout();
            EXPECT_EQ(std::string(e.what()), "File " + name + " not found.\nProgram stopped!\n");
            EXPECT_EQ(printed, e.what());
        }
        EXPECT_FALSE(testsupport::FileExists("non_dominated.out"));
    }
}

using BaselineDeathTest = testsupport::InTempFolder;

TEST_F(BaselineDeathTest, MissingFileEndsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const POPULATION front = Front({{0.5, 0.5}});
    // The default output configuration names no baseline file.
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            post_process_baseline(front, WriteDataEA());
        },
        ::testing::ExitedWithCode(1), "File  not found.\nProgram stopped!\n");
}

// ---- the baseline line of write.QERN ----

namespace {
std::string LoadWrite(WriteDataEA& out, const std::string& text) {
    WriteFile("write.QERN", text);
    testing::internal::CaptureStdout();
    out.LoadConfigFile();
    return testing::internal::GetCapturedStdout();
}
} // namespace

using BaselineConfig = testsupport::InTempFolder;

TEST_F(BaselineConfig, FlagZeroReadsNothingMoreOnItsLine) {
    WriteDataEA out;
    // The word after the 0 is a comment, even when it names no file.
    LoadWrite(out, "2\n1\n0 nothere.dat\n7\n0\n");
    EXPECT_FALSE(out.GetBaseline());
    EXPECT_EQ(out.GetBaselineFilename(), "");
    EXPECT_EQ(out.GetReportIter(), 7u);
    EXPECT_FALSE(out.GetRunPlots());
}

TEST_F(BaselineConfig, FlagOneTakesTheFileNameAndPlayersPrefixIt) {
    WriteFile("base.dat", "1 1\n");
    WriteDataEA out;
    LoadWrite(out, "1\n2\n1 base.dat   baseline design\n3\n1 1\n");
    EXPECT_TRUE(out.GetBaseline());
    EXPECT_EQ(out.GetBaselineFilename(), "base.dat");
    EXPECT_EQ(out.GetReportIter(), 3u);
    EXPECT_EQ(out.GetPlotsExtension(), "pdf");
    out.SetPrefixIndex(1);
    EXPECT_EQ(out.GetBaselineFilename(), "1base.dat");
}

// A write.QERN that is refused: loading it stops with the message before
// anything changes.
struct RefusedWrite {
    const char* name;
    const char* text;
    const char* message;
};

using BaselineRefusedConfig = testsupport::InTempFolderWithParam<RefusedWrite>;

TEST_P(BaselineRefusedConfig, StopsAtLoadTimeAndChangesNothing) {
    FatalThrows guard;
    WriteFile("base.dat", "1 1\n");
    WriteFile("write.QERN", GetParam().text);
    WriteDataEA out;
    testing::internal::CaptureStdout();
    std::string message;
    try {
        out.LoadConfigFile();
    } catch (const UTILS::FatalError& e) {
        message = e.what();
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(message, GetParam().message);
    EXPECT_FALSE(out.GetBaseline());
    EXPECT_FALSE(out.GetWriteChilds());
    EXPECT_EQ(out.GetReportIter(), 1u);
    EXPECT_EQ(out.GetPlotsExtension(), "eps");
}

const RefusedWrite kRefusedWrites[] = {
    {"MissingFile", "1\n2\n1 nothere.dat\n3\n1 1\n",
     "File nothere.dat not found.\nProgram stopped!\n"},
    // Flag 1 with no name on the line: the name is not taken from the next line.
    {"FlagOneWithoutAName", "1\n2\n1\n3\n1 1\n",
     "write.QERN, line 3: expected the baseline file name after the flag 1, found the end of the "
     "line.\nProgram stopped!\n"},
    {"UnknownPlotKind", "1\n2\n1 base.dat\n3\n1 7\n",
     "GNUPLOT terminal option not recognized.\nwrite.QERN, line 5: plot output kind 7 (expected 0 "
     "EPS or 1 PDF)\nProgram stopped!\n"},
};
INSTANTIATE_TEST_SUITE_P(Files, BaselineRefusedConfig, testing::ValuesIn(kRefusedWrites),
                         testsupport::RowName());

using BaselineConfigDeathTest = testsupport::InTempFolder;

TEST_F(BaselineConfigDeathTest, MissingFileEndsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WriteFile("write.QERN", "1\n2\n1 nothere.dat\n3\n1 1\n");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            WriteDataEA out;
            out.LoadConfigFile();
        },
        ::testing::ExitedWithCode(1), "File nothere.dat not found.\nProgram stopped!\n");
}

// ---- each game player's own baseline file ----

namespace {

// A LAMBDAMU block of the legacy input (the plug-in is loaded only when the
// run starts, so any path will do here).
std::string PlayerBlock(unsigned ndvs, unsigned nobj) {
    std::ostringstream in;
    in << ndvs << "\n" << nobj << "\n0\n1\n0\nno-plugin.so\n0\n0\n4\n0 4\n0.9\n0.5\n";
    for (const char* bound : {"0", "-4", "4"}) {
        for (unsigned i = 0; i < ndvs; ++i)
            in << bound << " ";
        in << "\n";
    }
    return in.str();
}

// Two players over two global variables and two objectives: player 0 owns
// variable 1 and both objectives, player 1 variable 2 and objective 1.
std::unique_ptr<HybridNashGame> MakeGame(const WriteData& wdata) {
    std::istringstream game_block("2 1 0\n2 0 2\n2 1 2\n2 1 0\n0\n");
    std::unique_ptr<HybridNashGame> game(new HybridNashGame(2, game_block));
    std::vector<std::unique_ptr<OptimizationAlgorithm>> players;
    for (unsigned p = 0; p < 2; ++p) {
        std::istringstream block(PlayerBlock(1, p == 0 ? 2 : 1));
        auto player = std::make_unique<LAMBDAMU>(block, 5);
        player->SetWriteData(wdata);
        players.push_back(std::move(player));
    }
    // The game owns the players from here on, also when it stops.
    game->SetPlayers(std::move(players));
    return game;
}

} // namespace

using BaselineGame = testsupport::InTempFolder;

TEST_F(BaselineGame, EveryPlayerNeedsItsPrefixedBaselineFile) {
    FatalThrows guard;
    WriteData wdata;
    wdata.SetBaseline(true);
    wdata.SetBaselineFilename("base.dat");
    WriteFile("base.dat", "1 1\n");
    WriteFile("0base.dat", "1 1\n");

    testing::internal::CaptureStdout();
    std::string message;
    try {
        MakeGame(wdata);
    } catch (const UTILS::FatalError& e) {
        message = e.what();
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(message, "File 1base.dat not found.\nProgram stopped!\n");

    WriteFile("1base.dat", "1\n");
    testing::internal::CaptureStdout();
    EXPECT_NE(MakeGame(wdata), nullptr);
    testing::internal::GetCapturedStdout();

    // Without the baseline flag no file is looked for.
    WriteData plain;
    plain.SetBaselineFilename("base.dat");
    testing::internal::CaptureStdout();
    EXPECT_NE(MakeGame(plain), nullptr);
    testing::internal::GetCapturedStdout();
}
