// End-to-end runs of veskv2 against a real HTCondor: the personal pool of
// tools/htcondor-pool, started once by the CTest fixture of the label
// htcondor (tests/pool/pool_fixture.sh). veskv2 runs as root, as CI does, in
// a run folder owned by the pool's submitting user, with the usual umask: the
// unit itself must make its folders writable for the jobs. The tests skip,
// saying why, where the pool cannot be had.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "eval/OSAU.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CountOccurrences;
using testsupport::DataLines;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::RunResult;
using testsupport::SourceDir;
using testsupport::VeskPath;
using testsupport::WriteFile;
using testsupport::WriteScript;

// What tools/htcondor-pool/ensure.sh reports.
struct Pool {
    std::string bin;   // the wrapped HTCondor commands
    std::string uid;   // the submitting user for folders of root
    std::string share; // the first folder whose subfolders can be run folders
    std::string unavailable;
};

// The pool, started when needed (once per test program; the fixture has
// normally started it already, which makes this quick).
const Pool& ThePool() {
    static const Pool pool = [] {
        Pool p;
        std::ifstream state(VESK_POOL_STATE_FILE);
        if (std::getline(state, p.unavailable) && p.unavailable.rfind("unavailable", 0) == 0)
            return p;
        p.unavailable = "unavailable: the personal HTCondor pool could not be started (it needs "
                        "root; tools/htcondor-pool/start.sh tells why)";
        const RunResult r = RunCommand(
            "eval \"$(bash " + OSAU::shell_quote(SourceDir() + "/tools/htcondor-pool/ensure.sh") +
                " 2>/dev/null)\" && echo \"$VESK_HTCONDOR_POOL_BIN\" && echo "
                "\"$VESK_HTCONDOR_POOL_UID\" && echo \"${VESK_HTCONDOR_POOL_SHARE%%:*}\"",
            "/");
        std::istringstream lines(r.output);
        if (geteuid() == 0 && r.status == 0 && std::getline(lines, p.bin) &&
            std::getline(lines, p.uid) && std::getline(lines, p.share))
            p.unavailable.clear();
        return p;
    }();
    return pool;
}

#define REQUIRE_POOL()                                                                             \
    do {                                                                                           \
        if (!ThePool().unavailable.empty())                                                        \
            GTEST_SKIP() << ThePool().unavailable;                                                 \
    } while (false)

// A fresh run folder inside the pool's shared folder, removed afterwards.
class RunFolder {
public:
    RunFolder() {
        std::string pattern = ThePool().share + "/vesk-pool-test.XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed in " + ThePool().share);
        mPath = buffer.data();
    }
    ~RunFolder() {
        if (std::getenv("VESK_KEEP_TMP") == nullptr)
            fs::remove_all(mPath);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const std::string& path() const { return mPath; }
    std::string file(const std::string& name) const { return mPath + "/" + name; }
    // Gives the folder to the pool's submitting user: HTCondor takes no jobs
    // from root.
    void GiveToSubmitter() const {
        const RunResult r = RunCommand("chown -R " + ThePool().uid + ":" + ThePool().uid + " " +
                                           OSAU::shell_quote(mPath),
                                       "/");
        ASSERT_EQ(r.status, 0) << r.output;
    }

private:
    std::string mPath;
};

struct TimedRun {
    RunResult result;
    double seconds = 0.0;
};

// Runs veskv2 with args in folder, as root, with the usual umask and the
// pool's commands first on the PATH.
TimedRun RunOnPool(const std::string& folder, const std::string& args) {
    const auto start = std::chrono::steady_clock::now();
    TimedRun run;
    run.result = RunCommand("umask 022; PATH=" + OSAU::shell_quote(ThePool().bin) + ":\"$PATH\" " +
                                OSAU::shell_quote(VeskPath()) + " " + args + " > run.log",
                            folder);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.result.output += ReadFile(folder + "/run.log");
    return run;
}

void CopyExample(const std::string& example, const std::string& to) {
    fs::copy(SourceDir() + "/examples/" + example, to, fs::copy_options::recursive);
}

// Nothing the unit made for the jobs is left in folder.
void ExpectNoJobFolders(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find("condorInd"), std::string::npos)
            << entry.path();
}

// True while a process whose command line is args runs (zombies aside).
bool ProcessRuns(const std::string& args) {
    const std::string ps = RunCommand("ps -eo stat=,args=", "/").output;
    for (const std::string& line : testsupport::SplitLines(ps)) {
        std::istringstream in(line);
        std::string stat;
        std::string rest;
        if (in >> stat && std::getline(in >> std::ws, rest) && stat[0] != 'Z' && rest == args)
            return true;
    }
    return false;
}

const char* const kPenalty = "1.7976931349e+308";

// The SHA-256 manifest of the files a run wrote, as tests/golden records it.
std::string Manifest(const std::string& folder) {
    return RunCommand(
               "for f in *; do case $f in 0x*|evaluations*.db*|*.eps|*.pdf|run.log|README.md|"
               "*.QERN|*.sh) ;; *) [ -f \"$f\" ] && sha256sum \"$f\";; esac; done | "
               "sort -k2",
               folder)
        .output;
}

// The external_htcondor example on the pool writes the very files it writes
// with the stand-in of tools/htcondor-local (recorded by the golden test),
// and its designs and results are those of the same seeded run evaluated by
// the local unit on one processor, with the budget the pool run ended at (the
// HTCondor unit ends a run at the end of a batch).
TEST(HTCondorPoolTest, TheExampleGivesTheStandInsFilesAndTheLocalUnitsDesigns) {
    REQUIRE_POOL();
    RunFolder pool;
    RunFolder local;
    CopyExample("external_htcondor", pool.path());
    pool.GiveToSubmitter();
    const TimedRun onPool = RunOnPool(pool.path(), "-s 2");
    std::cout << "[ pool run ] " << onPool.seconds << " s" << std::endl;
    ASSERT_EQ(onPool.result.status, 0) << onPool.result.output;
    EXPECT_EQ(CountOccurrences(onPool.result.output, "INF penalty applied!"), 0)
        << onPool.result.output;
    EXPECT_EQ(Manifest(pool.path()),
              ReadFile(SourceDir() + "/tests/golden/cases/ex_external_htcondor/expected.sha256"));
    ExpectNoJobFolders(pool.path());

    // The last count is the run's (the first is the stopping rule's budget).
    const std::string marker = "Objective evaluations: ";
    const size_t at = onPool.result.output.rfind(marker);
    ASSERT_NE(at, std::string::npos);
    const std::string evaluations =
        std::to_string(std::stoul(onPool.result.output.substr(at + marker.size())));
    CopyExample("external_htcondor", local.path());
    // NCPU 1 and the pool run's budget.
    std::string input = ReadFile(local.file("input.QERN"));
    const size_t ncpu = input.find("0                      NCPU");
    const size_t budget = input.find("0 120");
    ASSERT_NE(ncpu, std::string::npos);
    ASSERT_NE(budget, std::string::npos);
    input.replace(budget, 5, "0 " + evaluations);
    input[ncpu] = '1';
    WriteFile(local.file("input.QERN"), input);
    const RunResult onLocal = testsupport::RunVesk({"-s", "2"}, local.path());
    ASSERT_EQ(onLocal.status, 0) << onLocal.output;
    EXPECT_EQ(DataLines(pool.file("childs.out")), DataLines(local.file("childs.out")));
    EXPECT_EQ(ReadFile(pool.file("pareto_Last.front")), ReadFile(local.file("pareto_Last.front")));
}

// Jobs that exit without writing their results are held by HTCondor; the
// unit removes them and fails their designs, and the run goes on. A job that
// exits with 3 after writing its results keeps them.
TEST(HTCondorPoolTest, JobsWithoutResultsFailTheirDesignsAndTheRunGoesOn) {
    REQUIRE_POOL();
    RunFolder run;
    WriteScript(run.file("flaky.sh"), "read x1 x2 < Eval.DVs\n"
                                      "case $x1 in -*) exit 0;; esac\n"
                                      "echo \"$x1 $x2\" > Eval.individual\n"
                                      "case $x2 in -*) exit 3;; esac\n");
    WriteFile(run.file("input.QERN"), "flaky\n1\n0\n2\n2\n0\n"
                                      "0                      NCPU: HTCondor\n"
                                      "1\n./flaky.sh\n0\n0\n"
                                      "8                      popsize\n"
                                      "0 8\n0.9\n0.5\n0 0\n-20 -20\n20 20\n0\n"
                                      "0 8\n");
    WriteFile(run.file("write.QERN"), "2\n0\n0\n1\n0\n");
    run.GiveToSubmitter();
    const TimedRun r = RunOnPool(run.path(), "-s 3");
    std::cout << "[ pool run ] " << r.seconds << " s" << std::endl;
    ASSERT_EQ(r.result.status, 0) << r.result.output;
    EXPECT_LT(r.seconds, 90.0) << r.result.output;

    // The initial batch and one generation.
    const std::vector<std::string> rows = DataLines(run.file("childs.out"));
    ASSERT_EQ(rows.size(), 16u) << r.result.output;
    // Designs with a negative first variable got no results and the
    // penalty; the others their results, whatever the exit status.
    for (const std::string& row : rows) {
        // Columns of 20: two objectives, two variables, rank, crowding.
        ASSERT_GE(row.size(), 80u) << row;
        if (row[40] == '-')
            EXPECT_EQ(row.find(kPenalty), 0u) << row;
        else
            EXPECT_EQ(row.substr(0, 40), row.substr(40, 40)) << row;
    }
    // Each failure is a held job, and the seed gives some of each kind.
    const int held =
        CountOccurrences(r.result.output, "failed: held: Transfer output files failure");
    EXPECT_GT(held, 0) << r.result.output;
    EXPECT_NE(r.result.output.find(std::to_string(held) + " failed, 0 timed out"),
              std::string::npos)
        << r.result.output;
    EXPECT_GT(CountOccurrences(r.result.output,
                               "the job ended with exit status 3 but wrote complete results"),
              0)
        << r.result.output;
    ExpectNoJobFolders(run.path());
}

// A job that hangs is removed at the time limit of the JSON configuration,
// with every process it started, and its design is penalised as timed out.
TEST(HTCondorPoolTest, AHungJobIsRemovedAtTheTimeLimit) {
    REQUIRE_POOL();
    RunFolder run;
    // Unique to this test program, so that its processes can be told from
    // any other's.
    const std::string nap = std::to_string(900000 + ::getpid() % 90000);
    // Job 1 of the first batch (its index comes as the argument) hangs with
    // a child.
    WriteScript(run.file("hang.sh"), "if [ \"$1\" = 1 ] && mkdir " + run.file("hung") +
                                         " 2>/dev/null; then sleep " + nap +
                                         " & wait; fi\n"
                                         "awk '{ print $1, $2 > \"Eval.individual\" }' Eval.DVs\n");
    WriteFile(run.file("input.jsn"),
              "{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\n"
              "  \"ndvs\": 2, \"nobj\": 2, \"nctr\": 0, \"seed\": 5, \"popsize\": 4,\n"
              "  \"EVAU\": {\"ncpu\": 0, \"AnalyzerType\": 1, \"CommandFile\": \"./hang.sh\",\n"
              "           \"Arguments\": [\"$(index)\"], \"EvalTimeout\": 8},\n"
              "  \"dvs_step\": [0, 0], \"min_dvs\": [-5, -5], \"max_dvs\": [5, 5],\n"
              "  \"TerminationCriteria\": {\"criteria\": 0, \"max_obj_evals\": 4}}}}\n");
    WriteFile(run.file("write.QERN"), "2\n0\n0\n1\n0\n");
    run.GiveToSubmitter();
    const TimedRun r = RunOnPool(run.path(), "--json");
    std::cout << "[ pool run ] " << r.seconds << " s" << std::endl;
    ASSERT_EQ(r.result.status, 0) << r.result.output;
    // The limit, plus the pool's start of the jobs and removal of the hung one.
    EXPECT_LT(r.seconds, 8.0 + 30.0) << r.result.output;
    EXPECT_NE(r.result.output.find("Design 1 of batch 0 timed out after 8 s"), std::string::npos)
        << r.result.output;
    // The initial batch and one generation.
    const std::vector<std::string> rows = DataLines(run.file("childs.out"));
    ASSERT_EQ(rows.size(), 8u) << r.result.output;
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].find(kPenalty) != std::string::npos, i == 1) << rows[i];
    EXPECT_FALSE(ProcessRuns("sleep " + nap)) << "a process of the removed job still runs";
    ExpectNoJobFolders(run.path());
}

} // namespace
