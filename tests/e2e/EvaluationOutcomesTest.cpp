// What happens to evaluations that go wrong, from the command line: hung
// commands under a time limit, non-finite values from a plug-in, results that
// cannot be saved (a full disk, a read-only folder, a conversion to a missing
// folder), a run that makes no new design, and a run in which everything
// failed.

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "eval/OSAU.h"
#include "model/INDIVIDUAL.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

void CopyExecutable(const std::string& from, const std::string& to) {
    CopyFile(from, to);
    fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
}

TEST(EvaluationOutcomes, AHungCommandIsEndedAtTheLimitAndItsDesignGetsThePenalty) {
    TempDir dir;
    CopyExecutable(SourceDir() + "/tests/data/external/bnh.sh", dir.file("bnh.sh"));
    // Exactly one design hangs, ignoring SIGTERM, so that only the SIGKILL
    // after the grace ends it.
    WriteScript(dir.file("hang.sh"), kHangOnceScript);
    CommandRun run;
    run.ncpu = 2;
    run.command = "./hang.sh";
    run.essentials = {"bnh.sh"};
    run.evaluations = 24;
    WriteRunFiles(dir.path(), run);
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = RunVesk({"-s", "3", "--eval-timeout", "1"}, dir.path());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.output;
    // The limit, the grace before SIGKILL, and the rest of a short run.
    EXPECT_LT(seconds, 1.0 + 2.0 + 5.0);
    EXPECT_EQ(CountOccurrences(r.output, "timed out after 1 s (in "), 1) << r.output;
    // Two processors: a design or two may finish after the budget is met.
    EXPECT_NE(r.output.find(" replayed), 0 failed, 1 timed out."), std::string::npos) << r.output;
    ExpectHungProcessesEnded(dir.path());
    // The hung design is in the children file, penalised and infeasible.
    int penalised = 0;
    for (const auto& record : Records(dir.file("childs.out")))
        penalised += PenalisedRecord(record);
    EXPECT_EQ(penalised, 1);
}

TEST(EvaluationOutcomes, NonFiniteValuesFromAPlugInNeverReachTheFront) {
    TempDir dir;
    RunConfig c;
    c.nctr = 1;
    c.plugin = PluginsDir() + "/vesk_test_faulty_zdt1.so";
    WriteRun(dir.path(), c, WriteQERN(2, 1));
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output.substr(r.output.size() - 2000);
    EXPECT_NE(r.output.find("failed: the analyser returned objective 1 is nan"), std::string::npos);
    EXPECT_NE(r.output.find("failed: the analyser returned objective 0 is -inf"),
              std::string::npos);
    EXPECT_NE(r.output.find("failed: the analyser returned constraint 0 is nan"),
              std::string::npos);
    const auto front = Records(dir.file("pareto_Last.front"));
    ASSERT_GE(front.size(), 90u);
    double max_g = 0.0;
    for (const auto& m : front) {
        for (double v : m)
            ASSERT_TRUE(std::isfinite(v));
        EXPECT_EQ(m[32], 1.0); // feasible: the constraint as the plug-in wrote it
        double sum = 0.0;
        for (size_t i = 3; i < 32; ++i)
            sum += m[i];
        max_g = std::max(max_g, 1.0 + 9.0 * sum / 29.0);
    }
    EXPECT_LT(max_g, 1.1);
    EXPECT_EQ(ReadFile(dir.file("bestfits.out")).find("nan"), std::string::npos);
}

// Mounts a small tmpfs for the lifetime of the object (where mounting is
// allowed).
class SmallDisk {
public:
    explicit SmallDisk(const std::string& dir) : mDir(dir) {
        mMounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~SmallDisk() {
        if (mMounted)
            ::umount2(mDir.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mMounted; }

private:
    std::string mDir;
    bool mMounted = false;
};

TEST(EvaluationOutcomes, AFullDiskStopsTheRunNamingTheFile) {
    TempDir top;
    const std::string dir = top.file("disk");
    fs::create_directory(dir);
    SmallDisk disk(dir);
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    RunConfig c;
    WriteRun(dir, c, WriteQERN(2, 0));
    const RunResult r = RunVesk({"-s", "2"}, dir);
    EXPECT_EQ(r.status, 1) << r.output.substr(r.output.size() - 2000);
    EXPECT_NE(r.output.find(": No space left on device.\nProgram stopped!\n"), std::string::npos)
        << r.output.substr(r.output.size() - 2000);
    EXPECT_NE(r.output.find("Could not write "), std::string::npos);
    EXPECT_EQ(r.output.find("QERN Finished"), std::string::npos);
}

TEST(EvaluationOutcomes, AReadOnlyFolderStopsTheRunBeforeTheFirstEvaluation) {
    TempDir dir;
    RunConfig c;
    WriteRun(dir.path(), c, WriteQERN(2, 0));
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    // Root writes anywhere: run as nobody in a folder only its owner may write.
    std::string command = OSAU::shell_quote(VeskPath()) + " -s 2";
    if (::geteuid() == 0)
        command = "setpriv --reuid=nobody --regid=nogroup --clear-groups " + command;
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    const RunResult r = RunCommand(command, dir.path());
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(": Permission denied.\nProgram stopped!\n"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("Cannot write the result file "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("> Computing buffer"), std::string::npos);
}

TEST(EvaluationOutcomes, ARunThatMakesNoNewDesignEnds) {
    TempDir dir;
    RunConfig c;
    c.popsize = 20;
    c.buffer = "0 20";
    c.pc = 0.0;
    c.pm = 0.0;
    WriteRun(dir.path(), c, WriteQERN(2, 0));
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output.substr(r.output.size() - 2000);
    EXPECT_NE(r.output.find("No new design in the last 100 iterations (every child repeats an "
                            "evaluated design): the run ends here."),
              std::string::npos);
    EXPECT_NE(r.output.find("Iterations: 100\nObjective evaluations: 20\n"), std::string::npos);
    // 100 generations of 20 copies, not an endless stream.
    EXPECT_LT(FileSize(dir.file("childs.out")), 3000000);
}

TEST(EvaluationOutcomes, ARunWhoseEvaluationsAllFailEndsWithStatus1) {
    TempDir dir;
    WriteScript(dir.file("broken.sh"), "exit 2\n");
    CommandRun run;
    run.command = "./broken.sh";
    run.evaluations = 16;
    WriteRunFiles(dir.path(), run);
    const RunResult r = RunVesk({"-s", "3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Evaluation summary: 16 evaluations (16 run, 0 replayed), 16 failed, "
                            "0 timed out.\nEvery evaluation of this run failed (16)"),
              std::string::npos)
        << r.output;
    // The result files are written all the same, to look at.
    EXPECT_TRUE(FileExists(dir.file("bestfits.out")));
}

TEST(EvaluationOutcomes, AConversionToAPathThatCannotBeWrittenIsAnError) {
    TempDir dir;
    WriteFile(dir.file("pop.out"), "# nobj 1 ndvs 1 nctr 0\n1 2 1 0\n");
    const RunResult r = RunVesk({"-b", "-i", "pop.out", "-o", "missing/pop.bin"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Could not write missing/pop.bin: No such file or directory.\n"
                            "Program stopped!\n"),
              std::string::npos)
        << r.output;
}

} // namespace
