// Tests of the parts of the Slurm evaluation unit that need no cluster: the
// settings file, the sbatch values, the reading of squeue's answer, and how a
// design fares for every way its task can end. The runs through a real Slurm
// are in tests/slurm.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/SlurmEVAU.h"
#include "eval/SlurmJobs.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Captured;
using testsupport::FatalOutput;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(SlurmJobsTest, ReadsOneOptionALineWithCommentsAndBlankLines) {
    TempDir dir;
    WriteFile(dir.file("slurm.QERN"), "# site settings\n"
                                      "--partition=debug   # the short queue\n"
                                      "\n"
                                      "  -A proj42\n"
                                      "--comment=run#7\n");
    EXPECT_EQ(SlurmJobs::ReadSettings(dir.file("slurm.QERN")),
              (std::vector<std::string>{"--partition=debug", "-A", "proj42", "--comment=run#7"}));
    EXPECT_TRUE(SlurmJobs::ReadSettings(dir.file("missing.QERN")).empty());
}

TEST(SlurmJobsTest, RefusesALineThatIsNotOneOptionOrThatTheUnitSetsItself) {
    TempDir dir;
    const std::string file = dir.file("slurm.QERN");
    auto refused = [&](const std::string& text) {
        WriteFile(file, "--partition=debug\n" + text + "\n");
        return FatalOutput([&] { SlurmJobs::ReadSettings(file); });
    };
    EXPECT_NE(refused("partition=debug")
                  .find(file + ", line 2: \"partition=debug\" is not one "
                               "sbatch option"),
              std::string::npos);
    EXPECT_NE(refused("-p debug extra").find("line 2: \"-p debug extra\" is not one"),
              std::string::npos);
    EXPECT_NE(refused("--mem=1G --partition=x").find("is not one sbatch option"),
              std::string::npos);
    EXPECT_NE(refused("--time=10")
                  .find("line 2: \"--time=10\" is set by veskv2 itself: the time "
                        "limit comes from --eval-timeout"),
              std::string::npos);
    EXPECT_NE(refused("-t5").find("\"-t5\" is set by veskv2 itself"), std::string::npos);
    EXPECT_NE(refused("--array=0-3").find("\"--array=0-3\" is set by veskv2"), std::string::npos);
    EXPECT_NE(refused("-o out.txt").find("Program stopped!"), std::string::npos);
}

TEST(SlurmJobsTest, ArraySpecTimeLimitAndFinalStates) {
    EXPECT_EQ(SlurmJobs::ArraySpec({9, 5, 0, 1, 2, 3, 8, 8}), "0-3,5,8-9");
    EXPECT_EQ(SlurmJobs::ArraySpec({7}), "7");
    EXPECT_EQ(SlurmJobs::ArraySpec({4, 6}), "4,6");
    EXPECT_EQ(SlurmJobs::TimeLimitMinutes(0.0), 0u);
    EXPECT_EQ(SlurmJobs::TimeLimitMinutes(3.0), 1u);
    EXPECT_EQ(SlurmJobs::TimeLimitMinutes(60.0), 1u);
    EXPECT_EQ(SlurmJobs::TimeLimitMinutes(60.5), 2u);
    for (const char* state : {"COMPLETED", "FAILED", "CANCELLED", "TIMEOUT", "OUT_OF_MEMORY"})
        EXPECT_TRUE(SlurmJobs::IsFinished(state)) << state;
    for (const char* state : {"PENDING", "RUNNING", "COMPLETING", "REQUEUED", "SUSPENDED"})
        EXPECT_FALSE(SlurmJobs::IsFinished(state)) << state;
}

TEST(SlurmJobsTest, ReadsSqueuesAnswer) {
    std::vector<SlurmJobs::Task> tasks;
    std::string problem;
    ASSERT_TRUE(SlurmJobs::ParseTasks("CLUSTER: vesklocal\n"
                                      "4|PENDING|0|Resources|\n"
                                      "0|COMPLETED|0|None|\n"
                                      "3|FAILED|768|NonZeroExitCode|\n"
                                      "5|CANCELLED|15|launch failed requeued held|\n",
                                      tasks, problem))
        << problem;
    ASSERT_EQ(tasks.size(), 4u);
    EXPECT_EQ(tasks[0].index, 4u);
    EXPECT_EQ(tasks[0].state, "PENDING");
    EXPECT_EQ(tasks[2].status, 768);
    EXPECT_EQ(tasks[3].reason, "launch failed requeued held");
    EXPECT_FALSE(
        SlurmJobs::ParseTasks("0|COMPLETED|0|None|\nslurm_load_jobs error\n", tasks, problem));
    EXPECT_NE(problem.find("\"slurm_load_jobs error\""), std::string::npos);
}

// ---------------------------------------------------------- judging a task

struct Judged : testing::Test {
    TempDir dir;
    SlurmJobs::Task Task(const std::string& state, int status, const std::string& reason = "") {
        SlurmJobs::Task t;
        t.state = state;
        t.status = status;
        t.reason = reason;
        return t;
    }
    EvalResult Judge(const SlurmJobs::Task& t,
                     SlurmEVAU::Ending ending = SlurmEVAU::Ending::Own) const {
        return SlurmEVAU::Judge(t, ending, dir.path(), 2, 1, 3.0);
    }
    void Results() const {
        WriteFile(dir.file("Eval.individual"), "1.5 2.5\n");
        WriteFile(dir.file("Eval.constraint"), "0.5\n");
    }
};

TEST_F(Judged, ACompletedTaskGivesItsResults) {
    Results();
    const EvalResult r = Judge(Task("COMPLETED", 0));
    EXPECT_EQ(r.outcome, EvalOutcome::Ok);
    EXPECT_EQ(r.obj, (std::vector<double>{1.5, 2.5}));
    EXPECT_EQ(r.ctr, std::vector<double>{0.5});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.problem.empty());
}

TEST_F(Judged, ANonZeroExitKeepsCompleteResultsAndFailsWithoutThem) {
    Results();
    EvalResult r = Judge(Task("FAILED", 3 << 8, "NonZeroExitCode"));
    EXPECT_EQ(r.outcome, EvalOutcome::Ok);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.obj[1], 2.5);
    EXPECT_EQ(r.problem, "the command ended with exit status 3 but wrote complete results, "
                         "which are kept");

    WriteFile(dir.file("Eval.constraint"), "");
    WriteFile(dir.file("slurm.err"), "solver: mesh not found\n\n");
    r = Judge(Task("FAILED", 2 << 8, "NonZeroExitCode"));
    EXPECT_EQ(r.outcome, EvalOutcome::Failed);
    EXPECT_NE(r.problem.find("(the command ended with exit status 2); its slurm.err ends with: "
                             "solver: mesh not found"),
              std::string::npos)
        << r.problem;
    // Exit status 0 without results fails as well.
    EXPECT_EQ(Judge(Task("COMPLETED", 0)).outcome, EvalOutcome::Failed);
}

TEST_F(Judged, AKilledTaskFailsEvenWithResults) {
    Results();
    const EvalResult r = Judge(Task("FAILED", 9, "JobLaunchFailure"));
    EXPECT_EQ(r.outcome, EvalOutcome::Failed);
    EXPECT_EQ(r.exit_code, 137);
    EXPECT_NE(r.problem.find("killed by signal 9 (Slurm state FAILED, JobLaunchFailure)"),
              std::string::npos);
    EXPECT_EQ(Judge(Task("OUT_OF_MEMORY", 9)).outcome, EvalOutcome::Failed);
    EXPECT_EQ(Judge(Task("NODE_FAIL", 0)).outcome, EvalOutcome::Failed);
}

TEST_F(Judged, CancelledTasksTimeOutFailOrStayUnevaluatedByWhoCancelledThem) {
    Results();
    EvalResult r = Judge(Task("CANCELLED", 15), SlurmEVAU::Ending::CancelledAtLimit);
    EXPECT_EQ(r.outcome, EvalOutcome::TimedOut);
    EXPECT_EQ(r.problem, "timed out after 3 s");
    r = Judge(Task("CANCELLED", 0), SlurmEVAU::Ending::CancelledByInterruption);
    EXPECT_TRUE(r.interrupted);
    EXPECT_FALSE(r.evaluated);
    r = Judge(Task("CANCELLED", 0));
    EXPECT_EQ(r.outcome, EvalOutcome::Failed);
    EXPECT_NE(r.problem.find("cancelled outside veskv2"), std::string::npos);
    r = Judge(Task("TIMEOUT", 0, "TimeLimit"));
    EXPECT_EQ(r.outcome, EvalOutcome::TimedOut);
    EXPECT_NE(r.problem.find("Slurm time limit"), std::string::npos);
    // A task Slurm lost track of.
    EXPECT_EQ(Judge(SlurmJobs::Task()).outcome, EvalOutcome::Failed);
}

// ------------------------------------------------------------ configuration

using SlurmEVAUTest = testsupport::InTempFolder;

TEST_F(SlurmEVAUTest, ReadsTheTextAndJsonConfigurationsAndTheSettingsFile) {
    std::istringstream in("1   type\n./run.sh\n2\n-n $(NDVS)\n1\nmesh\n");
    std::unique_ptr<SlurmEVAU> unit;
    std::string out = Captured([&] { unit = std::make_unique<SlurmEVAU>(2, 2, 0, in); });
    EXPECT_NE(out.find("Slurm Evaluation\narguments[0] = -n\narguments[1] = $(NDVS)\n* Slurm "
                       "settings file slurm.QERN not found"),
              std::string::npos)
        << out;
    EXPECT_EQ(unit->GetCommandFile(), "./run.sh");
    EXPECT_EQ(unit->GetEssentialFilesAndFolders(), std::vector<std::string>{"mesh"});
    EXPECT_TRUE(unit->GetOptions().empty());

    WriteFile("slurm.QERN", "--partition=debug\n");
    const nlohmann::json block = {
        {"ncpu", 0}, {"AnalyzerType", 1}, {"CommandFile", "./run.sh"}, {"EvalTimeout", 30}};
    out = Captured([&] { unit = std::make_unique<SlurmEVAU>(2, 2, 0, block); });
    EXPECT_NE(out.find("* sbatch options: --partition=debug\n"), std::string::npos) << out;
    EXPECT_EQ(unit->GetOptions(), std::vector<std::string>{"--partition=debug"});
    EXPECT_EQ(unit->GetEvalTimeout(), 30.0);

    std::istringstream plugin("0\nlib.so\n0\n0\n");
    EXPECT_NE(FatalOutput([&] {
                  SlurmEVAU(2, 2, 0, plugin);
              }).find("SO/DLL not available for Slurm evaluation\nProgram stopped!"),
              std::string::npos);
}

} // namespace
