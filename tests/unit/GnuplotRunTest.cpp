// gnuplot itself runs every script the plot unit writes: the data files the
// script reads are laid down with the program's own writers, the script is
// written by create_file_gp, and gnuplot must finish without a message and
// produce one page per plot statement.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/PostProcessBaseline.h"
#include "model/NDSU.h"
#include "model/POPULATION.h"
#include "output/ConvergenceWriteManager.h"
#include "output/HypervolumeWriteManager.h"
#include "output/PLOU.h"
#include "output/WriteDataEA.h"
#include "support/TestSupport.h"

using testsupport::CountPlotStatements;
using testsupport::PdfPages;

using testsupport::RunCommand;

namespace {

struct Case {
    const char* name;
    unsigned nobj;
    unsigned ndvs;
    unsigned nctr;
    bool write_childs;
    bool ascii;
    int history_mode; // 0 none, 1 rebuilt after the run, 2 on line
    bool baseline;
    bool pdf;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << c.name;
}

bool HaveTool(const std::string& tool) {
    return RunCommand("command -v " + tool + " >/dev/null", ".").status == 0;
}

// Twelve evaluated designs: objectives spread along a curved front (so that
// some are dominated), constraint k violated by every (k+2)-th design, so that
// every selection of the feasibility blocks has points to draw.
POPULATION MakeChildren(const Case& c, unsigned n, double shift) {
    POPULATION pop("childs", static_cast<int>(c.ndvs), static_cast<int>(c.nobj),
                   static_cast<int>(c.nctr), static_cast<int>(n), true);
    for (unsigned m = 0; m < n; ++m) {
        const double t = static_cast<double>(m) / (n - 1);
        std::vector<double> dvs(c.ndvs, 0.0);
        for (unsigned d = 0; d < c.ndvs; ++d)
            dvs[d] = std::fmod(t + 0.1 * d, 1.0);
        std::vector<double> obj(c.nobj);
        for (unsigned i = 0; i < c.nobj; ++i) {
            const double base = (i % 2 == 0) ? t : 1.0 - std::sqrt(t);
            obj[i] = base + shift + 0.05 * ((m + i) % 3) + 0.01 * i;
        }
        std::vector<double> ctr(c.nctr);
        for (unsigned k = 0; k < c.nctr; ++k)
            ctr[k] = (m % (k + 2) == 0) ? -0.5 : 0.5;
        pop[m].SetDvs(dvs);
        pop[m].SetEval(obj, ctr);
    }
    return pop;
}

POPULATION Front(POPULATION pop) {
    NDSU::assign_rank_crowd_distance(pop);
    POPULATION front = pop.ParetoPop(true);
    front.Sort(0);
    return front;
}

void WriteConvergence(const std::string& file, const Case& c, const char* title) {
    ConvergenceWriteManager manager;
    manager.Init(file, c.nobj, title);
    for (unsigned k = 0; k < 6; ++k) {
        std::vector<double> best(c.nobj);
        for (unsigned i = 0; i < c.nobj; ++i)
            best[i] = 1.0 / (1.0 + k / 2 + i);
        manager.WriteConvergenceToFile(best, 10 * k);
    }
}

// Lays down every file the script of this configuration reads, as an
// evolutionary run would have left them at its end.
void WriteRunFiles(const Case& c, const WriteDataEA& out) {
    WriteConvergence(out.GetConvergenceGenFilename(), c, "Generation");
    WriteConvergence(out.GetConvergenceEvaFilename(), c, "Evaluation");
    HypervolumeWriteManager hypervolume;
    hypervolume.Init(out.GetHypervolumeGenFilename(), "Hypervolume reference point: 1.1,1.1");
    for (unsigned k = 0; k < 6; ++k)
        hypervolume.Write(k, 12 * (k + 1), 0.5 - 0.25 / (k + 1));

    const POPULATION buffer = MakeChildren(c, 12, 0.2);
    const POPULATION generation1 = MakeChildren(c, 12, 0.1);
    const POPULATION generation2 = MakeChildren(c, 12, 0.0);
    buffer.WriteComputedFileAscii(out.GetInitialBufferFilename(), false);
    buffer.WriteComputedFileAscii(out.GetFirstParentsFilename(), false);
    generation2.WriteComputedFileAscii(out.GetLastChildFilename(), false);

    POPULATION all = buffer.DeepCopy();
    for (const POPULATION* g : {&generation1, &generation2})
        for (unsigned m = 0; m < g->GetPopsize(); ++m)
            all.PushBackNewInd((*g)[m]);
    if (c.write_childs) {
        all.WriteFile(out.GetChildsFilename(), c.ascii, false);
        buffer.WriteComputedFile(out.GetParentsFilename(), c.ascii, false);
        generation1.AppendComputedFile(out.GetParentsFilename(), c.ascii, false, true, false);
    }

    // The Pareto history: one block per generation, as the optimiser appends it.
    POPULATION history = Front(buffer.DeepCopy());
    history.WriteComputedFileAscii(out.GetParetoHistFilename(), true);
    history = Front(all.SubPop(0, 24));
    history.AppendComputedFileAscii(out.GetParetoHistFilename(), true, true, true);
    const POPULATION last = Front(all);
    last.AppendComputedFileAscii(out.GetParetoHistFilename(), true, true, true);
    last.WriteFileAscii(out.GetParetoLastFilename(), true);

    if (c.baseline) {
        std::string values;
        for (unsigned i = 0; i < c.nobj; ++i)
            values += "0.9 ";
        testsupport::WriteFile(out.GetBaselineFilename(), values + "\n");
        post_process_baseline(last, out);
    }
}

using GnuplotRun = testsupport::InTempFolderWithParam<Case>;

} // namespace

TEST_P(GnuplotRun, ScriptRunsCleanlyWithOnePagePerPlot) {
    const Case c = GetParam();
    if (!HaveTool("gnuplot"))
        GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
    if (c.pdf && !HaveTool("pdfinfo"))
        GTEST_SKIP() << "pdfinfo is not installed (Debian package poppler-utils)";

    WriteDataEA out;
    out.SetWriteChilds(c.write_childs);
    out.SetWriteASCIIFormat(c.ascii);
    out.SetParetoHistoryMode(c.history_mode);
    out.SetPlotOutput(c.pdf ? WriteData::PDF : WriteData::EPS);
    if (c.baseline) {
        out.SetBaseline(true);
        out.SetBaselineFilename("baseline.dat");
    }

    testing::internal::CaptureStdout();
    WriteRunFiles(c, out);
    const POPULATION pop = MakeChildren(c, 12, 0.0);
    PLOU::create_file_gp(pop, out);
    testing::internal::GetCapturedStdout();

    const std::string script = out.GetGPFilenameWOExt() + ".gp";
    const std::string plot = out.GetGPFilenameWOExt() + "." + out.GetPlotsExtension();
    const int statements = CountPlotStatements(script);
    ASSERT_GT(statements, 0);

    const auto run = RunCommand("gnuplot " + script, dir.path());
    EXPECT_EQ(run.status, 0) << run.output;
    // gnuplot reports errors and warnings (missing files, no valid points,
    // syntax) on its error stream, sometimes with status 0.
    EXPECT_EQ(run.output, "") << "gnuplot printed messages for " << c.name;

    ASSERT_TRUE(testsupport::FileExists(dir.file(plot))) << plot;
    ASSERT_GT(testsupport::FileSize(dir.file(plot)), 1000);
    if (c.pdf) {
        EXPECT_EQ(PdfPages(dir.path(), plot), statements);
    } else {
        const std::string eps = testsupport::ReadFile(dir.file(plot));
        EXPECT_EQ(eps.rfind("%!PS-Adobe", 0), 0u);
        EXPECT_EQ(testsupport::CountOccurrences(eps, "%%Page: "), statements);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, GnuplotRun,
    testing::Values(
        //   name                                nobj ndvs nctr childs ascii hist base pdf
        Case{"OneObjectiveEps", 1, 2, 0, false, false, 1, false, false},
        Case{"OneObjectiveBinaryConstrainedPdf", 1, 3, 1, true, false, 1, false, true},
        Case{"TwoObjectivesAsciiHistoryPdf", 2, 3, 0, true, true, 1, false, true},
        Case{"TwoObjectivesNoChildrenOnlineEps", 2, 3, 0, false, false, 2, false, false},
        Case{"TwoObjectivesBinaryConstrainedOnlineBaselinePdf", 2, 30, 1, true, false, 2, true,
             true},
        Case{"TwoObjectivesAsciiTwoConstraintsNoHistoryBaselineEps", 2, 2, 2, true, true, 0, true,
             false},
        Case{"ThreeObjectivesBinaryOnlinePdf", 3, 4, 0, true, false, 2, false, true},
        Case{"ThreeObjectivesAsciiConstrainedBaselinePdf", 3, 4, 2, true, true, 1, true, true},
        Case{"ThreeObjectivesBinaryConstrainedNoHistoryEps", 3, 5, 1, true, false, 0, false,
             false}),
    testsupport::RowName());
