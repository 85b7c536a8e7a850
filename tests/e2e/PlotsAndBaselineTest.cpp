// Runs through veskv2 that end with gnuplot rendering the plots of the run,
// and the baseline file checks that must stop a run before any evaluation.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

bool HaveTool(const std::string& tool) {
    return RunCommand("command -v " + tool + " >/dev/null", ".").status == 0;
}

int CountDataLines(const std::string& file) {
    int n = 0;
    for (const std::string& line : ReadLines(file))
        if (!line.empty() && line[0] != '#')
            ++n;
    return n;
}

RunConfig ShortZdt1() {
    RunConfig c;
    c.popsize = 20;
    c.buffer = "0 20";
    c.stop = "0 1000";
    return c;
}

} // namespace

// The ZDT1 example set-up with gnuplot switched on for PDF: ASCII children,
// no Pareto history, reports every 50 generations, plus a baseline.
TEST(PlotsE2E, Zdt1RunRendersEveryPlotAsPdf) {
    if (!HaveTool("gnuplot") || !HaveTool("pdfinfo"))
        GTEST_SKIP() << "gnuplot (gnuplot-nox) or pdfinfo (poppler-utils) is not installed";
    TempDir dir;
    WriteRun(dir.path(), ShortZdt1(), WriteQERN(2, 0, "1 base.dat", 50, "1 1"));
    WriteFile(dir.file("base.dat"), "0.9 4.0\n");
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Gnuplot execution success"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Gnuplot execution failed"), std::string::npos) << r.output;
    // gnuplot names the script line of every error or warning it prints.
    EXPECT_EQ(r.output.find("\"QERN.gp\" line"), std::string::npos) << r.output;

    const int statements = CountPlotStatements(dir.file("QERN.gp"));
    // 2 convergence histories x 2 objectives, the hypervolume, then the front,
    // the children (twice), the last children, the initial buffer and the
    // baseline blocks.
    EXPECT_EQ(statements, 11);
    EXPECT_EQ(PdfPages(dir.path(), "QERN.pdf"), statements);
    // (0.9, 4) is beaten by some of the final front after 1000 evaluations.
    EXPECT_GT(CountDataLines(dir.file("non_dominated.out")), 0);
}

// Binary children with the Pareto history kept during the run, EPS output.
TEST(PlotsE2E, BinaryChildrenOnlineHistoryRendersEps) {
    if (!HaveTool("gnuplot"))
        GTEST_SKIP() << "gnuplot (gnuplot-nox) is not installed";
    TempDir dir;
    WriteRun(dir.path(), ShortZdt1(), WriteQERN(1, 2, "0", 0, "1 0"));
    const RunResult r = RunVesk({"-s", "3"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Gnuplot execution success"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("\"QERN.gp\" line"), std::string::npos) << r.output;
    const std::string eps = ReadFile(dir.file("QERN.eps"));
    EXPECT_EQ(eps.rfind("%!PS-Adobe", 0), 0u);
    EXPECT_EQ(CountOccurrences(eps, "%%Page: "), CountPlotStatements(dir.file("QERN.gp")));
}

// With the Pareto history kept during the run, the script is also run at
// every report: the front, the last children and the baseline comparison it
// reads must already exist then, and the baseline applies to that history.
TEST(PlotsE2E, OnlineHistoryReportsRenderAndTheBaselineIsCompared) {
    if (!HaveTool("gnuplot"))
        GTEST_SKIP() << "gnuplot (gnuplot-nox) is not installed";
    TempDir dir;
    WriteRun(dir.path(), ShortZdt1(), WriteQERN(2, 2, "1 base.dat", 10, "1 1"));
    WriteFile(dir.file("base.dat"), "0.9 4.0\n");
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_GE(CountOccurrences(r.output, "Gnuplot execution success"), 3) << r.output;
    EXPECT_EQ(r.output.find("Gnuplot execution failed"), std::string::npos) << r.output;
    EXPECT_GT(CountDataLines(dir.file("non_dominated.out")), 0);
}

TEST(BaselineE2E, WithoutAFinalFrontTheBaselineIsNotSilentlyIgnored) {
    TempDir dir;
    WriteRun(dir.path(), ShortZdt1(), WriteQERN(0, 1, "1 base.dat", 0, "0"));
    WriteFile(dir.file("base.dat"), "0.9 4.0\n");
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Warning: no baseline comparison: the final Pareto front is built "
                            "from the children file"),
              std::string::npos)
        << r.output;
    EXPECT_FALSE(FileExists(dir.file("non_dominated.out")));
}

TEST(BaselineE2E, MissingBaselineFileStopsAtLoadTime) {
    TempDir dir;
    WriteRun(dir.path(), ShortZdt1(), WriteQERN(2, 0, "1 nothere.dat", 0, "0"));
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("File nothere.dat not found.\nProgram stopped!\n"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("Computing buffer"), std::string::npos);
    EXPECT_FALSE(FileExists(dir.file("childs.out")));
}

// In a game each player reads its own baseline file, named with its index in
// front: a missing one stops the game before the first evaluation.
TEST(BaselineE2E, GamePlayerWithoutItsBaselineFileStopsBeforeEvaluating) {
    TempDir dir;
    RunConfig player0;
    player0.problem = "FON";
    player0.ndvs = 1;
    player0.popsize = 4;
    player0.buffer = "0 4";
    player0.pm = 0.5;
    player0.lower = {-4};
    player0.upper = {4};
    player0.stop = "0 40";
    RunConfig player1 = player0;
    player1.nobj = 1;
    const std::string input = "game\n2 0   players, HybridNashGame\n"
                              "2 1 0\n2 0 2\n"
                              "2 1 2\n2 1 0\n"
                              "0   no restart file\n"
                              "0\n" +
                              OptimizerBlock(player0) + "0\n0 40\n" + "0\n" +
                              OptimizerBlock(player1);
    WriteFile(dir.file("input.QERN"), input);
    WriteFile(dir.file("write.QERN"), WriteQERN(0, 0, "1 base.dat", 0, "0"));
    WriteFile(dir.file("prob.dat"), "FON\n");
    WriteFile(dir.file("base.dat"), "0.5 0.5\n");
    WriteFile(dir.file("0base.dat"), "0.5 0.5\n");

    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("File 1base.dat not found.\nProgram stopped!\n"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("Computing buffer"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Running Nash Optimization"), std::string::npos);
}
