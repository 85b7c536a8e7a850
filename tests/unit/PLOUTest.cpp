// The gnuplot script writer: the plot-statement writers, and whole scripts
// compared line by line with hand-written expected scripts in tests/data/plou.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "model/POPULATION.h"
#include "output/PLOU.h"
#include "output/WriteDataEA.h"
#include "support/TestSupport.h"

using testsupport::ReadLines;
using testsupport::WriteFile;

namespace {

std::string Expected(const std::string& name) {
    return testsupport::SourceDir() + "/tests/data/plou/" + name;
}

// Compares line by line so that a failure names the first differing line.
void ExpectSameLines(const std::string& actual_file, const std::string& expected_file) {
    const std::vector<std::string> actual = ReadLines(actual_file);
    const std::vector<std::string> expected = ReadLines(expected_file);
    ASSERT_FALSE(expected.empty()) << "missing expected script " << expected_file;
    const size_t n = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < n; ++i)
        ASSERT_EQ(actual[i], expected[i]) << "line " << i + 1 << " of " << expected_file;
    EXPECT_EQ(actual.size(), expected.size()) << "number of lines, " << expected_file;
}

POPULATION Pop(int ndvs, int nobj, int nctr) {
    return POPULATION("childs", ndvs, nobj, nctr, 4, true);
}

// create_file_gp prints nothing on success; keep the test output quiet anyway.
void CreateScript(const POPULATION& pop, const WriteDataEA& out) {
    testing::internal::CaptureStdout();
    PLOU::create_file_gp(pop, out);
    testing::internal::GetCapturedStdout();
}

} // namespace

TEST(PLOUWriters, KeyPartRules) {
    EXPECT_EQ(PLOU::key_part(""), "notitle");
    EXPECT_EQ(PLOU::key_part("children"), "title 'children'");
    EXPECT_EQ(PLOU::key_part("sprintf(\"gen %d\",IDX)"), "title sprintf(\"gen %d\",IDX)");
    EXPECT_EQ(PLOU::binary_format(33), "'%33double%uint%double'");
    EXPECT_EQ(PLOU::binary_format(3), "'%3double%uint%double'");
}

TEST(PLOUWriters, StatementsWithNumberAndExpressionColumns) {
    std::ostringstream os;
    PLOU::out_plot(os, "T", "X", "Y", "a.out", 1, 3, "points pt 1", "k", false);
    PLOU::append_plot(os, "b.out", std::string("($1*2)"), 2, "lines", "", true);
    EXPECT_EQ(os.str(), "set   title     'T'\n"
                        "set   xlabel    'X'\n"
                        "set   ylabel    'Y'\n"
                        "plot 'a.out' using 1:3 with points pt 1 title 'k' ,\\\n"
                        "     'b.out' using ($1*2):2 with lines notitle\n");

    std::ostringstream b;
    PLOU::out_plot_b(b, "T", "X", "Y", "c.bin", PLOU::binary_format(5), 2, "(ctrv($5))", "points",
                     "", false);
    PLOU::append_plot_b(b, "d.bin", PLOU::binary_format(5), 1, 2, "points pt 2", "p", true);
    EXPECT_EQ(b.str(), "set   title     'T'\n"
                       "set   xlabel    'X'\n"
                       "set   ylabel    'Y'\n"
                       "plot 'c.bin' binary format='%5double%uint%double' skip=12 using "
                       "2:(ctrv($5)) with points notitle ,\\\n"
                       "     'd.bin' binary format='%5double%uint%double' skip=12 using 1:2 "
                       "with points pt 2 title 'p'\n");
}

TEST(PLOUWriters, BlockAndColourStatements) {
    std::ostringstream os;
    PLOU::out_block_plot(os, "E", "a", "b", "h.front", 0, "N-1", "incr", 1, 2, "lines", "", false);
    PLOU::append_block_plot(os, "h.front", "N-1", "N-1", 1, 1, 2, "lines", "Last", true);
    EXPECT_EQ(os.str(), "set   title     'E'\n"
                        "set   xlabel    'a'\n"
                        "set   ylabel    'b'\n"
                        "plot for [IDX=0:N-1:incr] 'h.front' index IDX using 1:2 with lines "
                        "notitle ,\\\n"
                        "     for [IDX=N-1:N-1:1] 'h.front' index IDX using 1:2 with lines "
                        "title 'Last'\n");

    std::ostringstream c;
    PLOU::out_plot_colour(c, "C", "a", "b", "v", "c.out", 1, 2, 7, "points pt 1", "", true);
    EXPECT_EQ(c.str(), "set   title     'C'\n"
                       "set   xlabel    'a'\n"
                       "set   ylabel    'b'\n"
                       "set   cblabel    'v'\n"
                       "plot 'c.out' using 1:2:7 with points pt 1 palette notitle\n");

    std::ostringstream cb;
    PLOU::out_plot_colour_b(cb, "C", "a", "b", "v", "c.bin", PLOU::binary_format(4), 1, 2,
                            std::string("(ctrvn(3,2))"), "points pt 1", "w", false);
    EXPECT_EQ(cb.str(), "set   title     'C'\n"
                        "set   xlabel    'a'\n"
                        "set   ylabel    'b'\n"
                        "set   cblabel    'v'\n"
                        "plot 'c.bin' binary format='%4double%uint%double' skip=12 using "
                        "1:2:(ctrvn(3,2)) with points pt 1 palette title 'w'");
}

using PLOUScript = testsupport::InTempFolder;

// One objective: the preamble, one convergence plot per history, no pair blocks.
TEST_F(PLOUScript, OneObjectiveHasOnlyConvergencePlots) {
    WriteDataEA out;
    CreateScript(Pop(2, 1, 0), out);
    ExpectSameLines("QERN.gp", Expected("one_objective.gp"));

    // The six settings of the preamble are padded to one width so that their
    // comments line up.
    const std::vector<std::string> lines = ReadLines("QERN.gp");
    for (size_t i = 3; i < 9; ++i)
        EXPECT_EQ(lines[i].size(), 68u) << lines[i];
}

// Three objectives as player 2 of a game: pairs (0,1), (0,2), (1,2) with
// columns 1:2, 1:3, 2:3, prefixed names, PDF output, no children file.
TEST_F(PLOUScript, ThreeObjectivesOnlineHistoryPrefixedPdf) {
    WriteDataEA out;
    out.SetPlotOutput(WriteData::PDF);
    out.SetParetoHistoryMode(2);
    out.SetPrefixIndex(2);
    CreateScript(Pop(2, 3, 0), out);
    EXPECT_FALSE(testsupport::FileExists("QERN.gp"));
    ExpectSameLines("2QERN.gp", Expected("three_objectives_online.gp"));
}

// Everything on, loaded from write.QERN: binary children with 30 variables, two
// objectives and one constraint (format '%33double%uint%double' skip=12),
// on-line Pareto history, baseline, parents file.
TEST_F(PLOUScript, ConstrainedBinaryOnlineHistoryAndBaseline) {
    WriteFile("base.dat", "1 1\n");
    WriteFile("write.QERN", "1   children binary\n"
                            "2   on-line Pareto history\n"
                            "1 base.dat\n"
                            "1   report\n"
                            "1 0 gnuplot, EPS\n");
    WriteDataEA out;
    testing::internal::CaptureStdout();
    out.LoadConfigFile();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(out.GetBaseline());
    CreateScript(Pop(30, 2, 1), out);
    ExpectSameLines("QERN.gp", Expected("constrained_binary_online_baseline.gp"));
}

// Two constraints with ASCII children and named objectives; no Pareto history,
// an empty parents name (no "parents and children" block), an empty
// first-parents name (no buffer block) and an empty last-child name.
TEST_F(PLOUScript, ConstrainedAsciiWithoutHistoryParentsOrBuffer) {
    WriteDataEA out;
    out.SetWriteChilds(true);
    out.SetWriteASCIIFormat(true);
    out.SetParetoHistoryMode(0);
    out.SetUseObjNames(true);
    out.SetObjNames({"weight", "cost"});
    out.SetParentsBasename("");
    out.SetFirstParentsFilename("");
    out.SetLastChildFilename("");
    ASSERT_EQ(out.GetParentsFilename(), "");
    CreateScript(Pop(2, 2, 2), out);
    ExpectSameLines("QERN.gp", Expected("constrained_ascii_named.gp"));
}

// History rebuilt after the run (mode 1): the front evolution is drawn but the
// final front is not laid over the other blocks; ASCII parents file.
TEST_F(PLOUScript, TwoObjectivesAsciiWithPostRunHistory) {
    WriteDataEA out;
    out.SetWriteChilds(true);
    out.SetWriteASCIIFormat(true);
    CreateScript(Pop(3, 2, 0), out);
    ExpectSameLines("QERN.gp", Expected("two_objectives_ascii_history.gp"));
}

// A script that cannot be created is reported and the run goes on.
TEST_F(PLOUScript, AnUnwritableScriptStopsTheRun) {
    ASSERT_EQ(mkdir("QERN.gp", 0755), 0);
    WriteDataEA out;
    const std::string printed =
        testsupport::FatalOutput([&] { PLOU::create_file_gp(Pop(2, 2, 0), out); });
    EXPECT_NE(printed.find("Could not write QERN.gp: Is a directory"), std::string::npos)
        << printed;
}

TEST_F(PLOUScript, RunGnuplotReportsFailureAndGoesOn) {
    testing::internal::CaptureStdout();
    const int status = PLOU::run_gnuplot("missing_script");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(status, 0);
    EXPECT_NE(printed.find("Gnuplot execution failed:\n\tcommand: gnuplot missing_script.gp\n"
                           "\tExit code: "),
              std::string::npos)
        << printed;
}
