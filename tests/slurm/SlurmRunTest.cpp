// Optimisation runs of veskv2 whose designs are evaluated as job arrays of a
// real Slurm cluster (see SlurmCluster.h for which one), each in a fresh
// folder: the same results as the local unit, failing tasks, a hung task
// under a time limit, an interruption, and a submission that Slurm refuses.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "eval/OSAU.h"
#include "model/INDIVIDUAL.h"
#include "slurm/SlurmCluster.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

std::string Tail(const std::string& text) {
    return text.substr(text.size() > 4000 ? text.size() - 4000 : 0);
}

void CopyExecutable(const std::string& from, const std::string& to) {
    CopyFile(from, to);
    fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
}

std::string Bnh() {
    return SourceDir() + "/tests/data/external/bnh.sh";
}

// Files the unit leaves in the run folder (it removes all of them).
int UnitLeftovers(const std::string& dir) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        n += name.find("slurmInd") != std::string::npos ||
             name.find("slurmJob") != std::string::npos;
    }
    return n;
}

// The external_local example in dir, with NCPU ncpu and a budget of
// evaluations.
void ExampleRun(const std::string& dir, const std::string& ncpu, unsigned evaluations) {
    fs::copy(SourceDir() + "/examples/external_local", dir, fs::copy_options::recursive);
    std::string input = ReadFile(dir + "/input.QERN");
    input = std::regex_replace(input, std::regex("\n2( +NCPU)"), "\n" + ncpu + "$1");
    input = std::regex_replace(input, std::regex("\n0 400 "),
                               "\n0 " + std::to_string(evaluations) + " ");
    WriteFile(dir + "/input.QERN", input);
}

TEST(SlurmRun, TheExampleGivesTheDesignsAndResultsOfTheLocalUnit) {
    VESK_NEED_SLURM();
    TempDir top;
    // Three generations of 20: the budget ends with a batch, so the local
    // unit evaluates exactly the designs the arrays do.
    const std::string slurm = top.file("slurm run"), local = top.file("local");
    ExampleRun(slurm, "0", 60);
    WriteFile(slurm + "/slurm.QERN", "# the local test cluster's only partition\n"
                                     "--partition=debug\n");
    ExampleRun(local, "1", 60);
    const RunResult s = RunVesk({"-s", "2"}, slurm);
    ASSERT_EQ(s.status, 0) << Tail(s.output);
    const RunResult l = RunVesk({"-s", "2"}, local);
    ASSERT_EQ(l.status, 0) << Tail(l.output);

    EXPECT_NE(s.output.find("Slurm Evaluation"), std::string::npos);
    EXPECT_EQ(CountOccurrences(s.output, ": 20 COMPLETED\n"), 3) << Tail(s.output);
    // The children file holds the same designs with the same results (the
    // batch units put the column header before a batch, the local unit
    // after it); every other result file is the same byte for byte.
    const auto designs = DataLines(slurm + "/childs.out");
    EXPECT_EQ(designs.size(), 60u);
    EXPECT_TRUE(designs == DataLines(local + "/childs.out"));
    for (const char* file : {"parents.out", "pareto_Last.front", "bestfits.out",
                             "convergence_eva.out", "convergence_gen.out"})
        EXPECT_TRUE(ReadFile(slurm + "/" + file) == ReadFile(local + "/" + file)) << file;
    EXPECT_EQ(UnitLeftovers(slurm), 0);

    // Resumed, the finished run is answered from its evaluation database: no
    // array goes out and the result files come out the same.
    const RunResult again = RunVesk({"--resume"}, slurm);
    ASSERT_EQ(again.status, 0) << Tail(again.output);
    EXPECT_EQ(CountOccurrences(again.output, "Job array"), 0) << Tail(again.output);
    EXPECT_NE(again.output.find("60 evaluations (0 run, 60 replayed)"), std::string::npos)
        << Tail(again.output);
    EXPECT_TRUE(DataLines(slurm + "/childs.out") == designs);
    EXPECT_TRUE(ReadFile(slurm + "/pareto_Last.front") == ReadFile(local + "/pareto_Last.front"));
}

// The example folder as shipped (slurm.QERN selects Slurm), with a smaller
// budget: SRN comes back from its script for every design.
TEST(SlurmRun, TheExampleFolderRuns) {
    VESK_NEED_SLURM();
    TempDir top;
    const std::string dir = top.file("external_slurm");
    fs::copy(SourceDir() + "/examples/external_slurm", dir, fs::copy_options::recursive);
    WriteFile(dir + "/input.QERN",
              std::regex_replace(ReadFile(dir + "/input.QERN"), std::regex("\n0 120 "), "\n0 40 "));
    const RunResult r = RunVesk({"-s", "2"}, dir);
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    EXPECT_NE(r.output.find("Slurm Evaluation"), std::string::npos);
    const auto records = Records(dir + "/childs.out");
    EXPECT_GE(records.size(), 40u);
    for (const auto& rec : records) {
        const double x1 = rec[2], x2 = rec[3];
        EXPECT_NEAR(rec[0], (x1 - 2) * (x1 - 2) + (x2 - 1) * (x2 - 1) + 2, 1e-6);
        EXPECT_NEAR(rec[5], (3 * x2 - x1) / 10 - 1, 1e-9);
    }
}

TEST(SlurmRun, FailedTasksArePenalisedAndANonZeroExitWithResultsIsKept) {
    VESK_NEED_SLURM();
    TempDir dir;
    CopyExecutable(Bnh(), dir.file("bnh.sh"));
    // No results for x1 > 3.5; complete results, then exit 3, for x1 < 1.5.
    WriteScript(dir.file("flaky.sh"), "if awk '{ exit !($1 > 3.5) }' Eval.DVs; then exit 2; fi\n"
                                      "./bnh.sh\n"
                                      "if awk '{ exit !($1 < 1.5) }' Eval.DVs; then exit 3; fi\n");
    // The JSON road selects Slurm by its "Scheduler" key.
    WriteFile(dir.file("input.jsn"), R"({"OptimizationAlgorithm": {"LAMBDAMU": {
        "ndvs": 2, "nobj": 2, "nctr": 2,
        "EVAU": {"ncpu": 0, "Scheduler": "slurm", "AnalyzerType": 1,
                 "CommandFile": "./flaky.sh", "mEssentialFilesAndFolders": ["bnh.sh"]},
        "seed": 5, "popsize": 8, "popinit": 0, "bufize": 8, "pc": 0.9, "pm": 0.5,
        "dvs_step": [0, 0], "min_dvs": [0, 0], "max_dvs": [5, 3],
        "TerminationCriteria": {"criteria": 0, "max_obj_evals": 16}}}})");
    WriteFile(dir.file("write.QERN"), "2\n1\n0\n0\n0\n");
    const RunResult r = RunVesk({"-j"}, dir.path());
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    EXPECT_NE(r.output.find("Slurm Evaluation"), std::string::npos);

    unsigned failed = 0, kept = 0;
    const auto records = Records(dir.file("childs.out"));
    ASSERT_EQ(records.size(), 16u);
    for (const auto& rec : records) {
        const double x1 = rec[2], x2 = rec[3];
        if (x1 > 3.5) {
            ++failed;
            EXPECT_TRUE(PenalisedRecord(rec)) << x1;
        } else {
            kept += x1 < 1.5;
            EXPECT_NEAR(rec[0], 4 * x1 * x1 + 4 * x2 * x2, 1e-6);
            EXPECT_NEAR(rec[5], ((x1 - 8) * (x1 - 8) + (x2 + 3) * (x2 + 3)) / 7.7 - 1, 1e-6);
        }
    }
    ASSERT_GT(failed, 0u);
    ASSERT_GT(kept, 0u);
    EXPECT_EQ(CountOccurrences(r.output, "Eval.individual is missing (the command ended with exit "
                                         "status 2)"),
              static_cast<int>(failed));
    EXPECT_EQ(CountOccurrences(r.output, ": the command ended with exit status 3 but wrote "
                                         "complete results, which are kept"),
              static_cast<int>(kept));
    EXPECT_NE(r.output.find(", " + std::to_string(failed) + " failed, 0 timed out, " +
                            std::to_string(kept) +
                            " ended with a non-zero status and kept their results."),
              std::string::npos)
        << Tail(r.output);
}

TEST(SlurmRun, AHungTaskIsEndedAtTheLimitWithAllItsProcesses) {
    VESK_NEED_SLURM();
    TempDir dir;
    CopyExecutable(Bnh(), dir.file("bnh.sh"));
    WriteScript(dir.file("hang.sh"), kHangOnceScript);
    CommandRun run;
    run.ncpu = 0;
    run.command = "./hang.sh";
    run.essentials = {"bnh.sh"};
    run.evaluations = 16;
    WriteRunFiles(dir.path(), run);
    WriteFile(dir.file("slurm.QERN"), "--partition=debug\n");
    const double limit = 3.0;
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = RunVesk({"-s", "3", "--eval-timeout", "3"}, dir.path());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    // Slurm's own limit is a whole minute, enforced up to half a minute late:
    // the unit's bound (limit + 2 s) ends the task, which Slurm then kills
    // after its KillWait (5 s on the test cluster) because it ignores SIGTERM.
    EXPECT_LT(seconds, limit + 2.0 + 5.0 + 12.0) << Tail(r.output);
    EXPECT_NE(r.output.find("--time=1 "), std::string::npos);
    EXPECT_EQ(CountOccurrences(r.output, "ran past the time limit of 3 s: cancelled."), 1);
    EXPECT_EQ(CountOccurrences(r.output, "timed out after 3 s (in "), 1) << Tail(r.output);
    EXPECT_NE(r.output.find(", 0 failed, 1 timed out."), std::string::npos) << Tail(r.output);
    ExpectHungProcessesEnded(dir.path());
    int penalised = 0;
    for (const auto& record : Records(dir.file("childs.out")))
        penalised += PenalisedRecord(record);
    EXPECT_EQ(penalised, 1);
    EXPECT_EQ(UnitLeftovers(dir.path()), 0);
}

TEST(SlurmRun, AnInterruptionCancelsTheArrayAndLeavesItsDesignsUnevaluated) {
    VESK_NEED_SLURM();
    TempDir dir;
    CopyExecutable(Bnh(), dir.file("bnh.sh"));
    WriteScript(dir.file("slow.sh"), "echo $$ >> ../pids\nsleep 100\nexec ./bnh.sh\n");
    CommandRun run;
    run.ncpu = 0;
    run.command = "./slow.sh";
    run.essentials = {"bnh.sh"};
    run.evaluations = 16;
    WriteRunFiles(dir.path(), run);
    WriteFile(dir.file("slurm.QERN"), "--partition=debug\n");
    // SIGINT once two tasks run, as Ctrl-C would send it. (The braces keep
    // the shell in the run folder and make $! the pid of veskv2.)
    const RunResult r =
        RunCommand("{ " + OSAU::shell_quote(VeskPath()) +
                       " -s 3 > run.log 2>&1 & }\n"
                       "pid=$!; i=0\n"
                       "while [ \"$(cat pids 2>/dev/null | wc -l)\" -lt 2 ] && [ $i -lt 600 ]; do\n"
                       "  sleep 0.1; i=$((i+1))\n"
                       "done\n"
                       "kill -INT $pid; wait $pid; echo \"status $?\"",
                   dir.path());
    const std::string log = ReadFile(dir.file("run.log"));
    EXPECT_NE(r.output.find("status 130"), std::string::npos) << r.output << Tail(log);
    EXPECT_NE(log.find("* Run interrupted: cancelling job array "), std::string::npos) << Tail(log);
    EXPECT_NE(log.find("8 design(s) whose tasks were cancelled by the interruption stay "
                       "unevaluated."),
              std::string::npos)
        << Tail(log);
    EXPECT_NE(log.find("Evaluation summary: 0 evaluations"), std::string::npos) << Tail(log);
    EXPECT_TRUE(DataLines(dir.file("childs.out")).empty());
    const auto pids = ReadLines(dir.file("pids"));
    EXPECT_GE(pids.size(), 2u);
    for (const std::string& line : pids)
        EXPECT_FALSE(ProcessRunning(std::stoi(line))) << line;
    EXPECT_EQ(UnitLeftovers(dir.path()), 0);
}

TEST(SlurmRun, ASubmissionSlurmRefusesStopsTheRunNamingSbatch) {
    VESK_NEED_SLURM();
    TempDir dir;
    CopyExecutable(Bnh(), dir.file("bnh.sh"));
    CommandRun run;
    run.ncpu = 0;
    WriteRunFiles(dir.path(), run);
    WriteFile(dir.file("slurm.QERN"), "--partition=no_such_partition\n");
    const RunResult r = RunVesk({"-s", "3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("* The job array could not be submitted: sbatch failed with exit "
                            "status 1: sbatch: error: "),
              std::string::npos)
        << Tail(r.output);
    EXPECT_NE(r.output.find("Batch job submission failed: Invalid partition name specified "
                            "(command: sbatch --parsable --job-name=veskv2 "
                            "--partition=no_such_partition --array=0-7 "),
              std::string::npos)
        << Tail(r.output);
    EXPECT_NE(r.output.find("Program stopped!"), std::string::npos);
}

} // namespace
