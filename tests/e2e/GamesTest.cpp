// Nash games from the command line on the FON problem of the mathcases
// plug-in: both game types run to their stopping rule with one file set per
// player, the game convergence file never gets worse, restarts, a refused
// game block, and the nash_game example from a clean copy.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// The player lines of a LAMBDAMU (or PSO, code 1) on ndvs FON variables.
std::string PopulationPlayer(unsigned code, unsigned ndvs, unsigned nobj, int popsize) {
    std::ostringstream os;
    os << code << "\n"
       << ndvs << "\n"
       << nobj << "\n0\n1\n0\n"
       << MathcasesPath() << "\n0\n0\n"
       << popsize << "\n0 " << popsize << "\n0.9\n0.25\n";
    for (int line = 0; line < 3; ++line) {
        for (unsigned i = 0; i < ndvs; ++i)
            os << (line == 0 ? "0 " : line == 1 ? "-4 " : "4 ");
        os << "\n";
    }
    return os.str();
}

// Game type, then: player 0 LAMBDAMU on x1..x4 and f_1, f_2; player 1 owning
// x3, x4 and f_1, as a PSO (Nash game) or a ConjugateGradient (gradient game).
std::string FonGame(unsigned type, unsigned evaluations, bool restart_file) {
    std::ostringstream os;
    os << "FON_game\n2 " << type << "\n4 1 2 3 4\n4 0 0 3 4\n2 1 2\n2 1 0\n"
       << (restart_file ? 1 : 0) << "\n"
       << PopulationPlayer(0, 4, 2, 20) << "0\n0 " << evaluations << "\n";
    if (type == 0)
        os << PopulationPlayer(1, 2, 1, 10);
    else
        os << "2\n2\n1\n0\n1\n0\n"
           << MathcasesPath() << "\n0\n0\n0\n1 -1\n0\n1\n1e-6\n0.1\n1e-8\n1e3\n-4 -4\n4 4\n";
    return os.str();
}

void WriteGame(const TempDir& dir, const std::string& input) {
    WriteFile(dir.file("input.QERN"), input);
    WriteFile(dir.file("write.QERN"), "2\n1\n0\n0\n0\n");
    WriteFile(dir.file("prob.dat"), "FON\n");
}

// Rows of a convergence file: the index, then the values.
std::vector<std::vector<double>> Rows(const std::string& path) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : ReadLines(path)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream is(line);
        std::vector<double> row;
        double x;
        while (is >> x)
            row.push_back(x);
        rows.push_back(row);
    }
    return rows;
}

void ExpectNeverWorse(const std::string& path, size_t nobj) {
    const auto rows = Rows(path);
    ASSERT_GE(rows.size(), 2u) << path;
    for (size_t r = 1; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), nobj + 1);
        EXPECT_GE(rows[r][0], rows[r - 1][0]);
        for (size_t j = 1; j <= nobj; ++j)
            EXPECT_LE(rows[r][j], rows[r - 1][j]) << path << " row " << r;
    }
}

// Objective evaluations of each player, as their final reports print them.
std::vector<unsigned> PlayerEvaluations(const std::string& output) {
    std::vector<unsigned> counts;
    for (const std::string key : {"Objective evaluations: ", "Total number of evaluations = "}) {
        for (size_t pos = output.find("\n" + key); pos != std::string::npos;
             pos = output.find("\n" + key, pos + 1))
            counts.push_back(
                static_cast<unsigned>(std::stoul(output.substr(pos + 1 + key.size()))));
    }
    return counts;
}

} // namespace

TEST(Games, ATwoPlayerNashGameRunsToItsRuleWithOneFileSetPerPlayer) {
    TempDir dir;
    WriteGame(dir, FonGame(0, 1500, true));
    const RunResult r = RunVesk({"-s", "2,3"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Hybrid Nash Game created.\n"), std::string::npos);
    EXPECT_NE(r.output.find("Running Nash Optimization"), std::string::npos);
    EXPECT_NE(r.output.find("Termination criteria has been met\n"), std::string::npos);
    // The rule counts both players: it stops at 1500 evaluations in total,
    // within the last turn (at most 20 more).
    const std::vector<unsigned> counts = PlayerEvaluations(r.output);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_GE(counts[0] + counts[1], 1500u);
    EXPECT_LE(counts[0] + counts[1], 1520u);
    EXPECT_GT(counts[1], 0u);
    for (const char* f :
         {"0childs.out", "0parents.out", "0initial_buffer.out", "0first_parents.out",
          "0last_child.out", "0pareto_Last.front", "0bestfits.out", "0convergence_gen.out",
          "0convergence_eva.out", "1childs.out", "1initial_buffer.out", "1last_child.out",
          "1bestfits.out", "1convergence_gen.out", "1convergence_eva.out", "convergence_eva.out"})
        EXPECT_GT(FileSize(dir.file(f)), 0) << f;
    // No player wrote an unprefixed file.
    for (const char* f : {"childs.out", "bestfits.out", "convergence_gen.out", "pareto_Last.front"})
        EXPECT_FALSE(FileExists(dir.file(f))) << f;
    ExpectNeverWorse(dir.file("convergence_eva.out"), 2);
    const std::string restart = ReadFile(dir.file("game_restart.dat"));
    EXPECT_TRUE(restart == "0" || restart == "1") << restart;
}

TEST(Games, AGradientPlayerPlaysTheGradientGame) {
    TempDir dir;
    WriteGame(dir, FonGame(1, 1500, false));
    const RunResult r = RunVesk({"-s", "5"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Hybrid With Grad Game created.\n"), std::string::npos);
    EXPECT_NE(r.output.find("ConjugateGradient::PostProcessOpt():"), std::string::npos);
    // Inside a game a line search that finds nothing does not end the run.
    EXPECT_EQ(r.output.find("Optimal step size is zero"), std::string::npos);
    EXPECT_GT(FileSize(dir.file("1bestfits.out")), 0);
    EXPECT_GT(FileSize(dir.file("1convergence_gen.out")), 0);
    EXPECT_FALSE(FileExists(dir.file("game_restart.dat")));
    ExpectNeverWorse(dir.file("convergence_eva.out"), 2);
    // The game's best f_1 is at most the gradient player's own best.
    const auto game = Rows(dir.file("convergence_eva.out"));
    const auto own = Rows(dir.file("1convergence_gen.out"));
    EXPECT_LE(game.back()[1], own.back()[1]);
}

TEST(Games, RestartsReadTheStoredPlayer) {
    TempDir dir;
    WriteGame(dir, FonGame(0, 300, true));
    // Without the file: the not-found message, before any player starts.
    RunResult r = RunVesk({"-r", "-s", "2,3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Reading Game restart information\n"
                            "File game_restart.dat not found.\n"),
              std::string::npos);
    EXPECT_EQ(r.output.find("LocalEVAU::Init()"), std::string::npos);
    EXPECT_EQ(r.output.find("QERN Finished"), std::string::npos);

    WriteFile(dir.file("game_restart.dat"), "1");
    r = RunVesk({"-r", "-s", "2,3"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Reading Game restart information\n"), std::string::npos);
    EXPECT_NE(r.output.find("QERN Finished"), std::string::npos);
}

TEST(Games, ABlockThatDisagreesWithThePlayersStopsBeforeAnyEvaluation) {
    TempDir dir;
    std::string input = FonGame(0, 300, false);
    // Player 1 claims global variable 3 at position 4.
    input.replace(input.find("4 0 0 3 4\n"), 10, "4 0 0 0 3\n");
    WriteGame(dir, input);
    const RunResult r = RunVesk({"-s", "2,3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("entry 4 of the design-variable map of player 1 must be 4 or 0, "
                            "found 3"),
              std::string::npos);
    EXPECT_EQ(r.output.find("LocalEVAU::Init()"), std::string::npos);
}

TEST(Games, SeedsGoToTheEvolutionaryAndSwarmPlayersOnly) {
    // Players LAMBDAMU, ConjugateGradient, PSO, LAMBDAMU with seeds 5, 9: the
    // gradient player takes none, so the seeds used are 5, 9, 5.
    TempDir dir;
    std::ostringstream os;
    os << "FON_four\n4 0\n4 1 2 3 4\n4 0 2 0 0\n4 0 0 3 0\n4 0 0 0 4\n"
       << "2 1 2\n2 1 0\n2 1 0\n2 0 2\n0\n"
       << PopulationPlayer(0, 4, 2, 10) << "0\n0 100\n"
       << "2\n1\n1\n0\n1\n0\n"
       << MathcasesPath() << "\n0\n0\n0\n1\n0\n0\n1e-6\n0.1\n1e-8\n1e3\n-4\n4\n"
       << PopulationPlayer(1, 1, 1, 4) << PopulationPlayer(0, 1, 1, 4);
    WriteGame(dir, os.str());
    const RunResult r = RunVesk({"-s", "5,9"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> seeds;
    for (const std::string& line : SplitLines(r.output))
        if (line.rfind("seed = ", 0) == 0)
            seeds.push_back(line.substr(7));
    EXPECT_EQ(seeds, (std::vector<std::string>{"5", "9", "5"}));
    EXPECT_EQ(CountOccurrences(r.output, "Creating new ConjugateGradient object"), 1);
    EXPECT_EQ(CountOccurrences(r.output, "PSO created."), 1);
}

TEST(Examples, NashGameRunsFromACleanCopyAndWritesOneFileSetPerPlayer) {
    TempDir dir;
    for (const auto& entry :
         std::filesystem::directory_iterator(SourceDir() + "/examples/nash_game"))
        std::filesystem::copy(entry.path(), dir.file(entry.path().filename().string()));
    std::filesystem::create_symlink(MathcasesPath(), dir.file("mathcases.so"));
    const RunResult r = RunVesk({"-s", "2,3"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<unsigned> counts = PlayerEvaluations(r.output);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_GE(counts[0] + counts[1], 3000u);
    for (const char* f : {"0childs.out", "0pareto_Last.front", "0bestfits.out",
                          "0convergence_gen.out", "1childs.out", "1bestfits.out",
                          "1convergence_gen.out", "convergence_eva.out", "game_restart.dat"})
        EXPECT_GT(FileSize(dir.file(f)), 0) << f;
    EXPECT_EQ(r.output.find("Gnuplot execution"), std::string::npos);
    ExpectNeverWorse(dir.file("convergence_eva.out"), 2);
    // FON's ideal values are 0 for both objectives; after 3,000 evaluations
    // the game's best values are close to them.
    const auto rows = Rows(dir.file("convergence_eva.out"));
    EXPECT_LT(rows.back()[1], 0.05);
    EXPECT_LT(rows.back()[2], 0.1);
}
