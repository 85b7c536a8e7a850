// How NCPU 0 chooses between the Slurm and HTCondor units, and the settings
// that are refused before anything is submitted (no cluster needed: every
// run here stops while reading its configuration).

#include <gtest/gtest.h>

#include <string>

#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string JsonRun(const std::string& evau) {
    return R"({"OptimizationAlgorithm": {"LAMBDAMU": {"ndvs": 2, "nobj": 2, "nctr": 2, "EVAU": )" +
           evau + R"(, "popsize": 8, "dvs_step": [0, 0], "min_dvs": [0, 0], "max_dvs": [5, 3],
        "TerminationCriteria": {"criteria": 0, "max_obj_evals": 16}}}})";
}

TEST(SlurmSelection, BothSettingsFilesAreAnErrorNamingThem) {
    TempDir dir;
    CommandRun run;
    run.ncpu = 0;
    WriteRunFiles(dir.path(), run);
    WriteFile(dir.file("slurm.QERN"), "--partition=debug\n");
    WriteFile(dir.file("htcondor.QERN"), "Universe\nvanilla\n");
    const RunResult r = RunVesk({"-s", "3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Both slurm.QERN and htcondor.QERN are in the working folder: with "
                            "NCPU 0 the first selects Slurm, the second HTCondor. Remove one of "
                            "them.\nProgram stopped!\n"),
              std::string::npos)
        << r.output;
}

TEST(SlurmSelection, ABadSettingsLineStopsTheRunBeforeAnySubmission) {
    TempDir dir;
    CommandRun run;
    run.ncpu = 0;
    WriteRunFiles(dir.path(), run);
    WriteFile(dir.file("slurm.QERN"), "# site\n--partition=debug\naccount=proj\n");
    const RunResult r = RunVesk({"-s", "3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Slurm Evaluation\n"), std::string::npos);
    EXPECT_NE(r.output.find("slurm.QERN, line 3: \"account=proj\" is not one sbatch option"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("sbatch --parsable"), std::string::npos);
}

TEST(SlurmSelection, TheJsonSchedulerKeyIsChecked) {
    TempDir dir;
    WriteFile(dir.file("write.QERN"), "0\n1\n0\n0\n0\n");
    WriteFile(dir.file("input.jsn"),
              JsonRun(R"({"ncpu": 0, "Scheduler": "pbs", "AnalyzerType": 1, "CommandFile": "x"})"));
    RunResult r = RunVesk({"-j"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("EVAU/Scheduler\": expected \"slurm\" or \"htcondor\", found \"pbs\""),
              std::string::npos)
        << r.output;
    WriteFile(dir.file("input.jsn"), JsonRun(R"({"ncpu": 2, "Scheduler": "slurm",
                                                 "AnalyzerType": 1, "CommandFile": "x"})"));
    r = RunVesk({"-j"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("applies only with \"ncpu\": 0"), std::string::npos) << r.output;
}

} // namespace
