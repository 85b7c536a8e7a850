// Tests of the output configuration: defaults, "write.QERN", file names and
// their player prefixes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/UTILS.h"
#include "output/PIOUConfig.h"
#include "output/WriteData.h"
#include "output/WriteDataEA.h"
#include "output/WriteDataGrad.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

using testsupport::ScopedCwd;
using testsupport::TempDir;
using testsupport::WriteFile;

// Loads "write.QERN" holding text in the folder dir.
void LoadRaw(WriteData& w, const std::string& text, const TempDir& dir) {
    WriteFile(dir.file("write.QERN"), text);
    ScopedCwd cwd(dir.path());
    w.LoadConfigFile();
}

// The same, returning what was printed.
std::string Load(WriteData& w, const std::string& text, const TempDir& dir) {
    testing::internal::CaptureStdout();
    LoadRaw(w, text, dir);
    return testing::internal::GetCapturedStdout();
}

void ExpectDefaults(const WriteData& w) {
    EXPECT_FALSE(w.GetWriteChilds());
    EXPECT_FALSE(w.GetWriteASCIIFormat());
    EXPECT_TRUE(w.GetRunPlots());
    EXPECT_EQ(w.GetReportIter(), 1u);
    EXPECT_EQ(w.GetReportIterCounter(), 0u);
    EXPECT_EQ(w.GetParetoHistoryMode(), 1);
    EXPECT_FALSE(w.GetBaseline());
    EXPECT_EQ(w.GetBaselineFilename(), "");
    EXPECT_EQ(w.GetPlotsFormat(), "postscript eps enhanced color");
    EXPECT_EQ(w.GetPlotsExtension(), "eps");
}

TEST(WriteData, Defaults) {
    WriteData w;
    ExpectDefaults(w);
    EXPECT_FALSE(w.GetUseObjNames());
    EXPECT_EQ(w.GetBestfitsFilename(), "bestfits.out");
    EXPECT_EQ(w.GetParetoHistFilename(), "pareto_History.front");
    EXPECT_EQ(w.GetParetoLastFilename(), "pareto_Last.front");
    EXPECT_EQ(w.GetConvergenceGenFilename(), "convergence_gen.out");
    EXPECT_EQ(w.GetConvergenceEvaFilename(), "convergence_eva.out");
    EXPECT_EQ(w.GetGPFilenameWOExt(), "QERN");
    EXPECT_EQ(w.GetPrefixIndexStr(), "");
    EXPECT_EQ(w.GetAsciiExtension(), ".out");
    EXPECT_EQ(w.GetBinExtension(), ".bin");
    EXPECT_EQ(w.GetChildsFilename(), "childs.bin");
    EXPECT_EQ(w.GetHypervolumeGenFilename(), "hypervolume_gen.out");
    EXPECT_FALSE(w.GetWriteParetoHistory());
    EXPECT_FALSE(w.GetWriteOnlineHistoryPareto());

    WriteDataEA ea;
    EXPECT_EQ(ea.GetInitialBufferFilename(), "initial_buffer.out");
    EXPECT_EQ(ea.GetFirstParentsFilename(), "first_parents.out");
    EXPECT_EQ(ea.GetLastChildFilename(), "last_child.out");
    EXPECT_EQ(ea.GetNonDominatedFilename(), "non_dominated.out");
    EXPECT_EQ(ea.GetParetoPopName(), "Pareto pop");
    EXPECT_EQ(ea.GetParentsBasename(), "parents");
    EXPECT_EQ(ea.GetParentsFilename(), "parents.bin");
    WriteDataGrad grad;
    EXPECT_EQ(grad.GetGradSolFilename(), "grad_sol.out");
}

TEST(WriteData, MissingFileKeepsTheDefaults) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    WriteData w;
    testing::internal::CaptureStdout();
    w.LoadConfigFile();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "File write.QERN not found.\n   Using default I/O configuration\n");
    ExpectDefaults(w);
}

TEST(WriteData, FullConfigurationAndItsReport) {
    TempDir dir;
    WriteData w;
    const std::string out = Load(w,
                                 "2      children in ASCII\n"
                                 "2      on-line Pareto history\n"
                                 "0      no baseline\n"
                                 "5      report interval\n"
                                 "1 1    gnuplot, PDF\n",
                                 dir);
    EXPECT_EQ(out, "> File write.QERN found.\n"
                   "   Loading I/O configuration\n"
                   "write_childs = 2\n"
                   "wdata.write_childs = 1\n"
                   "wdata.write_online_history_pareto = 2\n"
                   "wdata.run_gnuplot = 1\n"
                   "wdata.report_iter = 5\n"
                   "wdata.GnuplotTerminal = pdf enhanced color\n"
                   "< Done.\n");
    EXPECT_TRUE(w.GetWriteChilds());
    EXPECT_TRUE(w.GetWriteASCIIFormat());
    EXPECT_EQ(w.GetChildsFilename(), "childs.out");
    EXPECT_EQ(w.GetReportIter(), 5u);
    EXPECT_TRUE(w.GetRunPlots());
    EXPECT_EQ(w.GetPlotsExtension(), "pdf");
    EXPECT_TRUE(w.GetWriteParetoHistory());
    EXPECT_TRUE(w.GetWriteOnlineHistoryPareto());
}

TEST(WriteData, ChildrenCodes) {
    TempDir dir;
    WriteData binary;
    Load(binary, "1\n1\n0\n1\n0\n", dir);
    EXPECT_TRUE(binary.GetWriteChilds());
    EXPECT_FALSE(binary.GetWriteASCIIFormat());
    EXPECT_EQ(binary.GetChildsFilename(), "childs.bin");

    WriteData none;
    Load(none, "0\n1\n0\n1\n0\n", dir);
    EXPECT_FALSE(none.GetWriteChilds());
    // Mode 1 without children: no Pareto history.
    EXPECT_FALSE(none.GetWriteParetoHistory());
    EXPECT_FALSE(none.GetWriteOnlineHistoryPareto());

    // A code or a history mode outside its list is refused (it used to be
    // taken as 1 with a warning), naming the line, and changes nothing.
    const struct {
        const char* text;
        const char* message;
    } refused[] = {
        {"7\n0\n0\n1\n0\n", "write.QERN, line 1: children-file code 7 not recognized: expected "
                            "0 (none), 1 (binary, childs.bin) or 2 (ASCII, childs.out).\n"
                            "Program stopped!\n"},
        {"-1\n0\n0\n1\n0\n", "children-file code -1 not recognized"},
        {"\n2\n3   history\n0\n1\n0\n",
         "write.QERN, line 3: Pareto history mode 3 not recognized: expected 0 (none), 1 "
         "(rebuilt from the children file at the end) or 2 (kept during the run).\n"},
    };
    for (const auto& k : refused) {
        WriteData other;
        const std::string out = FatalOutput([&] { LoadRaw(other, k.text, dir); });
        EXPECT_NE(out.find(k.message), std::string::npos) << out;
        ExpectDefaults(other);
    }
}

TEST(WriteData, GnuplotOffDoesNotReadTheKind) {
    TempDir dir;
    WriteData w;
    const std::string out = Load(w, "0\n1\n0\n3\n0 1\n", dir);
    EXPECT_FALSE(w.GetRunPlots());
    EXPECT_EQ(w.GetPlotsFormat(), "postscript eps enhanced color");
    EXPECT_EQ(w.GetPlotsExtension(), "eps");
    EXPECT_NE(out.find("wdata.run_gnuplot = 0\n"), std::string::npos);

    WriteData eps;
    Load(eps, "0\n1\n0\n3\n1 0\n", dir);
    EXPECT_TRUE(eps.GetRunPlots());
    EXPECT_EQ(eps.GetPlotsExtension(), "eps");
}

TEST(WriteData, UnknownPlotKindStops) {
    TempDir dir;
    WriteData w;
    const std::string out = FatalOutput([&] { LoadRaw(w, "2\n1\n0\n3\n1 2\n", dir); });
    EXPECT_NE(out.find("GNUPLOT terminal option not recognized.\nwrite.QERN, line 5: plot output "
                       "kind 2 (expected 0 EPS or 1 PDF)\nProgram stopped!\n"),
              std::string::npos)
        << out;
    ExpectDefaults(w); // nothing was changed

    WriteData direct;
    EXPECT_EQ(FatalOutput([&] { direct.SetPlotOutput(5); }),
              "GNUPLOT terminal option not recognized.\nProgram stopped!\n");
    direct.SetPlotOutput(WriteData::PDF);
    EXPECT_EQ(direct.GetPlotsFormat(), "pdf enhanced color");
    direct.SetPlotOutput(WriteData::EPS);
    EXPECT_EQ(direct.GetPlotsFormat(), "postscript eps enhanced color");
}

TEST(WriteData, BaselineFileIsCheckedWhenLoaded) {
    TempDir dir;
    WriteFile(dir.file("base.dat"), "1 1\n");
    WriteData w;
    Load(w, "0\n1\n1 base.dat   baseline on\n1\n0\n", dir);
    EXPECT_TRUE(w.GetBaseline());
    EXPECT_EQ(w.GetBaselineFilename(), "base.dat");
    EXPECT_EQ(w.GetReportIter(), 1u);

    WriteData missing;
    const std::string out =
        FatalOutput([&] { LoadRaw(missing, "0\n1\n1 nothere.dat\n1\n0\n", dir); });
    EXPECT_NE(out.find("File nothere.dat not found.\nProgram stopped!\n"), std::string::npos)
        << out;
    ExpectDefaults(missing);
}

TEST(WriteData, MalformedOrShortFilesStopNamingTheFileAndLine) {
    TempDir dir;
    WriteData w;
    std::string out = FatalOutput([&] { LoadRaw(w, "2\n1\n0\nten\n0\n", dir); });
    EXPECT_NE(out.find("write.QERN, line 4"), std::string::npos) << out;
    EXPECT_NE(out.find("\"ten\""), std::string::npos) << out;
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;
    ExpectDefaults(w);

    out = FatalOutput([&] { LoadRaw(w, "2\n1\n", dir); });
    EXPECT_NE(out.find("write.QERN, line 3"), std::string::npos) << out;
    EXPECT_NE(out.find("the end of the file"), std::string::npos) << out;
    ExpectDefaults(w);

    out = FatalOutput([&] { LoadRaw(w, "2\n1\n0\n-4\n0\n", dir); });
    EXPECT_NE(out.find("write.QERN, line 4"), std::string::npos) << out;
    ExpectDefaults(w);

    // After a failed load, messages about other files name them again.
    EXPECT_EQ(PIOU::get_config_name(), "input.QERN");
}

TEST(WriteData, ObjectiveNames) {
    WriteData w;
    EXPECT_EQ(w.GetObjName(0), "f_1");
    EXPECT_EQ(w.GetObjName(2), "f_3");
    w.SetObjNames({"mass", "drag"});
    EXPECT_EQ(w.GetObjName(1), "f_2"); // names not switched on
    w.SetUseObjNames(true);
    EXPECT_EQ(w.GetObjName(0), "mass");
    EXPECT_EQ(w.GetObjName(1), "drag");
}

TEST(WriteData, ReportCounter) {
    WriteData w;
    w.IncrReportIterCounter();
    w.IncrReportIterCounter();
    EXPECT_EQ(w.GetReportIterCounter(), 2u);
    WriteData copy(w);
    EXPECT_EQ(copy.GetReportIterCounter(), 2u);
    w.ResetReportIterCounter();
    EXPECT_EQ(w.GetReportIterCounter(), 0u);
}

TEST(WriteData, PrefixIndexOfTheBaseClassWarnsAndPrefixesItsNames) {
    WriteData w;
    w.SetBaselineFilename("base.dat");
    testing::internal::CaptureStdout();
    w.SetPrefixIndex(2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning! Result files could be mangled.\n"
              "Override WriteData::SetPrefixIndexImpl(unsigned int index) to\n"
              "in all class that inherit from WriteData to avoid this!\n");
    EXPECT_EQ(w.GetConvergenceGenFilename(), "2convergence_gen.out");
    EXPECT_EQ(w.GetConvergenceEvaFilename(), "2convergence_eva.out");
    EXPECT_EQ(w.GetBestfitsFilename(), "2bestfits.out");
    EXPECT_EQ(w.GetParetoHistFilename(), "2pareto_History.front");
    EXPECT_EQ(w.GetParetoLastFilename(), "2pareto_Last.front");
    EXPECT_EQ(w.GetGPFilenameWOExt(), "2QERN");
    EXPECT_EQ(w.GetBaselineFilename(), "2base.dat");
    EXPECT_EQ(w.GetChildsFilename(), "2childs.bin");
    EXPECT_EQ(w.GetHypervolumeGenFilename(), "2hypervolume_gen.out");
    EXPECT_EQ(w.GetPrefixIndexStr(), "2");
}

TEST(WriteData, PrefixIndexOfThePopulationOptimisersOutput) {
    WriteDataEA ea;
    testing::internal::CaptureStdout();
    ea.SetPrefixIndex(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ""); // overridden: no warning
    EXPECT_EQ(ea.GetParentsBasename(), "1parents");
    EXPECT_EQ(ea.GetBestfitsFilename(), "1bestfits.out");
    EXPECT_EQ(ea.GetParentsFilename(), "1parents.bin");
    EXPECT_EQ(ea.GetInitialBufferFilename(), "1initial_buffer.out");
    EXPECT_EQ(ea.GetFirstParentsFilename(), "1first_parents.out");
    EXPECT_EQ(ea.GetLastChildFilename(), "1last_child.out");
    EXPECT_EQ(ea.GetNonDominatedFilename(), "1non_dominated.out");
    EXPECT_EQ(ea.GetParetoPopName(), "1Pareto pop");
    EXPECT_EQ(ea.GetChildsFilename(), "1childs.bin");
    ea.SetWriteASCIIFormat(true);
    EXPECT_EQ(ea.GetParentsFilename(), "1parents.out");
    // Prefixes accumulate.
    ea.SetPrefixIndex(12);
    EXPECT_EQ(ea.GetParentsBasename(), "121parents");
    EXPECT_EQ(ea.GetConvergenceGenFilename(), "121convergence_gen.out");
    EXPECT_EQ(ea.GetPrefixIndexStr(), "12");
    ea.SetParentsBasename("");
    EXPECT_EQ(ea.GetParentsFilename(), "");

    // Through a base-class reference the override is used.
    WriteDataGrad grad;
    WriteData& base = grad;
    testing::internal::CaptureStdout();
    base.SetPrefixIndex(3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(grad.GetGradSolFilename(), "3grad_sol.out");
    EXPECT_EQ(grad.GetBestfitsFilename(), "3bestfits.out");
}

TEST(WriteData, DerivedConfigurationsCopyTheBaseMembers) {
    TempDir dir;
    WriteData w;
    Load(w, "2\n2\n0\n4\n1 1\n", dir);
    w.SetObjNames({"a"});
    w.SetUseObjNames(true);
    WriteDataEA ea(w);
    EXPECT_TRUE(ea.GetWriteChilds());
    EXPECT_TRUE(ea.GetWriteASCIIFormat());
    EXPECT_EQ(ea.GetReportIter(), 4u);
    EXPECT_EQ(ea.GetPlotsExtension(), "pdf");
    EXPECT_EQ(ea.GetObjName(0), "a");
    EXPECT_EQ(ea.GetParentsFilename(), "parents.out");
    WriteDataGrad grad(w);
    EXPECT_EQ(grad.GetChildsFilename(), "childs.out");
    EXPECT_EQ(grad.GetGradSolFilename(), "grad_sol.out");
}

} // namespace
