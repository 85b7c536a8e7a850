// Tests of the one-machine stand-in for condor_submit and condor_wait
// (tools/htcondor-local), which the HTCondor unit's tests and examples run
// against. Jobs synchronise through files instead of sleeping, so the cases
// check order and concurrency without depending on timing.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "eval/OSAU.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CountOccurrences;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::WriteFile;
using testsupport::WriteScript;

// Runs one of the two commands in dir with the stand-in first on PATH.
RunResult Condor(const std::string& args, const std::string& dir, const std::string& env = "") {
    const std::string tools = testsupport::SourceDir() + "/tools/htcondor-local";
    return RunCommand(env + " PATH=" + OSAU::shell_quote(tools) + ":\"$PATH\" " + args, dir);
}

// The cluster number in condor_submit's "N job(s) submitted to cluster C.".
std::string ClusterOf(const std::string& submitOutput) {
    const std::string marker = "submitted to cluster ";
    const size_t at = submitOutput.find(marker);
    if (at == std::string::npos)
        return "";
    const size_t from = at + marker.size();
    return submitOutput.substr(from, submitOutput.find('.', from) - from);
}

// True while process pid exists and is not a zombie waiting to be reaped.
bool Running(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// Waits (at most ten seconds) for a file to appear: shell text for the jobs.
std::string AwaitFile(const std::string& file) {
    return "n=0; while [ ! -e " + file + " ] && [ $n -lt 1000 ]; do sleep 0.01; n=$((n+1)); done\n";
}

TEST(HTCondorLocalTest, SubmitReturnsWhileTheJobsRunAndWaitReturnsWhenTheyHaveEnded) {
    TempDir dir;
    fs::create_directories(dir.file("job0"));
    fs::create_directories(dir.file("job1"));
    // Without file transfer each job runs in its initial directory.
    WriteScript(dir.file("gated.sh"), AwaitFile("../gate") + "echo done > result\n");
    WriteFile(dir.file("sub"), "Executable = gated.sh\nLog = ../log\ninitialdir = job$(Process)\n"
                               "Queue 2\n");
    const RunResult submitted = Condor("condor_submit sub", dir.path());
    ASSERT_EQ(submitted.status, 0) << submitted.output;
    EXPECT_NE(submitted.output.find("2 job(s) submitted to cluster "), std::string::npos);
    // Both jobs are in the log, neither has ended.
    const std::string log = ReadFile(dir.file("log"));
    EXPECT_EQ(CountOccurrences(log, "Job submitted from host"), 2);
    EXPECT_EQ(CountOccurrences(log, "Job terminated."), 0);
    EXPECT_FALSE(FileExists(dir.file("job0/result")));
    WriteFile(dir.file("gate"), "");
    const RunResult waited = Condor("condor_wait log", dir.path());
    EXPECT_EQ(waited.status, 0) << waited.output;
    EXPECT_EQ(waited.output, "All jobs done.\n");
    EXPECT_EQ(ReadFile(dir.file("job0/result")), "done\n");
    EXPECT_EQ(ReadFile(dir.file("job1/result")), "done\n");
    const std::string ended = ReadFile(dir.file("log"));
    EXPECT_EQ(CountOccurrences(ended, "Job executing on host"), 2);
    EXPECT_EQ(CountOccurrences(ended,
                               "Job terminated.\n\t(1) Normal termination (return value 0)\n...\n"),
              2);
}

TEST(HTCondorLocalTest, JobsRunAtTheSameTimeUpToTheSlots) {
    TempDir dir;
    for (int i = 0; i < 2; ++i)
        fs::create_directories(dir.file("d" + std::to_string(i)));
    // Each job announces itself and waits for the other one.
    const std::string here = dir.file("here.");
    WriteScript(dir.file("meet.sh"), "touch " + here + "$1\n" + AwaitFile(here + "$2") +
                                         "if [ -e " + here +
                                         "$2 ]; then echo together; else echo alone; fi > met\n");
    WriteFile(dir.file("sub"), "Executable = meet.sh\nArguments = $(index) $(other)\n"
                               "Log = ../log\ninitialdir = d$(index)\n"
                               "should_transfer_files = YES\ntransfer_output_files = met\n"
                               "other = 1\nQueue index in (0)\nother = 0\nQueue index in (1)\n");
    ASSERT_EQ(Condor("condor_submit sub", dir.path(), "HTCONDOR_LOCAL_SLOTS=2").status, 0);
    ASSERT_EQ(Condor("condor_wait log", dir.path()).status, 0);
    EXPECT_EQ(ReadFile(dir.file("d0/met")), "together\n");
    EXPECT_EQ(ReadFile(dir.file("d1/met")), "together\n");
}

TEST(HTCondorLocalTest, TransfersFilesInAndOutOfAScratchFolder) {
    TempDir dir;
    const std::string top = dir.file("with space");
    fs::create_directories(top + "/init 0");
    fs::create_directories(top + "/init 1");
    fs::create_directories(top + "/mesh/parts");
    WriteFile(top + "/mesh/parts/p", "part");
    fs::create_directories(top + "/flat");
    WriteFile(top + "/flat/f1", "one");
    WriteFile(top + "/params file.txt", "params");
    for (int i = 0; i < 2; ++i)
        WriteFile(top + "/init " + std::to_string(i) + "/Eval.DVs", std::to_string(i));
    WriteScript(top + "/my job.sh", "pwd > where\nls -A > listing\necho \"args: $*\"\n"
                                    "echo oops >&2\ncat Eval.DVs > Eval.individual\n"
                                    "echo left > scratch-only\n");
    WriteFile(top + "/sub", "# a comment\n"
                            "universe = vanilla\n"
                            "Executable = my job.sh\n"
                            "Arguments  = -p $(Process) -c $(Cluster)\n"
                            "Log    = ../job log\n"
                            "Output = out.condor\n"
                            "Error  = err.condor\n"
                            "initialdir = init $(Process)\n"
                            "should_transfer_files = YES\n"
                            "transfer_input_files = Eval.DVs, ../params file.txt, ../mesh, "
                            "../flat/\n"
                            "when_to_transfer_output = ON_EXIT\n"
                            "transfer_output_files = Eval.individual, where, listing\n"
                            "Requirements = (Memory > 1)\n"
                            "Queue 2\n");
    ASSERT_EQ(Condor("condor_submit sub", top).status, 0);
    ASSERT_EQ(Condor("condor_wait 'job log'", top).status, 0);
    for (int i = 0; i < 2; ++i) {
        const std::string init = top + "/init " + std::to_string(i);
        EXPECT_EQ(ReadFile(init + "/Eval.individual"), std::to_string(i));
        // The job ran elsewhere, with its inputs, the folder, and the folder
        // named with a slash spread out.
        EXPECT_NE(ReadFile(init + "/where"), init + "\n");
        const std::string listing = ReadFile(init + "/listing");
        for (const char* name : {"Eval.DVs", "params file.txt", "mesh", "f1", "my job.sh"})
            EXPECT_NE(listing.find(std::string(name) + "\n"), std::string::npos) << name;
        EXPECT_EQ(listing.find("flat\n"), std::string::npos);
        EXPECT_FALSE(FileExists(init + "/scratch-only"));
        EXPECT_FALSE(FileExists(init + "/params file.txt"));
        EXPECT_EQ(ReadFile(init + "/err.condor"), "oops\n");
        const std::string out = ReadFile(init + "/out.condor");
        EXPECT_EQ(out.rfind("args: -p " + std::to_string(i) + " -c ", 0), 0u) << out;
    }
    EXPECT_FALSE(FileExists(top + "/where"));
}

TEST(HTCondorLocalTest, TheLogRecordsReturnValuesSignalsAndMissingOutputs) {
    TempDir dir;
    WriteScript(dir.file("ends.sh"),
                "case $1 in 0) exit 0;; 1) exit 7;; 2) kill -KILL $$;; esac\n");
    WriteFile(dir.file("sub"), "Executable = ends.sh\nArguments = $(Process)\nLog = log\n"
                               "should_transfer_files = YES\ntransfer_output_files = r\n"
                               "Queue 3\n");
    ASSERT_EQ(Condor("condor_submit sub", dir.path()).status, 0);
    ASSERT_EQ(Condor("condor_wait log", dir.path()).status, 0);
    const std::string log = ReadFile(dir.file("log"));
    EXPECT_EQ(CountOccurrences(log, "(1) Normal termination (return value 0)"), 1);
    EXPECT_EQ(CountOccurrences(log, "(1) Normal termination (return value 7)"), 1);
    EXPECT_EQ(CountOccurrences(log, "(0) Abnormal termination (signal 9)"), 1);
    EXPECT_EQ(CountOccurrences(log, "Output files not transferred: r"), 3);
}

TEST(HTCondorLocalTest, WaitFailsWhenAJobCannotStart) {
    TempDir dir;
    fs::create_directories(dir.file("d0"));
    fs::create_directories(dir.file("d1"));
    WriteFile(dir.file("d0/in"), "x");
    WriteScript(dir.file("ok.sh"), "cat in > out\n");
    WriteFile(dir.file("sub"), "Executable = ok.sh\nLog = ../log\ninitialdir = d$(Process)\n"
                               "should_transfer_files = YES\ntransfer_input_files = in\n"
                               "Queue 2\n");
    ASSERT_EQ(Condor("condor_submit sub", dir.path()).status, 0);
    const RunResult waited = Condor("condor_wait log", dir.path());
    EXPECT_EQ(waited.status, 1);
    EXPECT_NE(waited.output.find(".001.000 failed to start: input file " + dir.file("d1") +
                                 "/in does not exist"),
              std::string::npos)
        << waited.output;
    // The job that could start ran.
    EXPECT_EQ(ReadFile(dir.file("d0/out")), "x");

    WriteFile(dir.file("bad.sh"), "#!/no/such/interpreter\n");
    fs::permissions(dir.file("bad.sh"), fs::perms::owner_all, fs::perm_options::add);
    WriteFile(dir.file("sub2"), "Executable = bad.sh\nLog = log2\nQueue\n");
    ASSERT_EQ(Condor("condor_submit sub2", dir.path()).status, 0);
    const RunResult bad = Condor("condor_wait log2", dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("interpreter /no/such/interpreter not found"), std::string::npos)
        << bad.output;
}

TEST(HTCondorLocalTest, SubmitRefusesWhatCannotRunAndWaitNeedsALog) {
    TempDir dir;
    WriteScript(dir.file("ok.sh"), "true\n");
    struct Case {
        std::string file, message;
    };
    const std::vector<Case> cases = {
        {"Executable = none.sh\nLog = log\nQueue\n",
         "Executable file " + dir.file("none.sh") + " does not exist"},
        {"Executable = ok.sh\nLog = log\ninitialdir = nowhere\nQueue\n",
         "No such directory: " + dir.file("nowhere")},
        {"Executable = ok.sh\nUniverse = java\nLog = log\nQueue\n",
         "universe \"java\" is not supported"},
        {"Executable = ok.sh\nthis is not a submit line\nQueue\n", "sub, line 2: cannot parse"},
        {"Executable = ok.sh\nQueue from list.txt\n", "unsupported queue statement"},
    };
    for (const Case& c : cases) {
        WriteFile(dir.file("sub"), c.file);
        const RunResult r = Condor("condor_submit sub", dir.path());
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_FALSE(FileExists(dir.file("log"))) << c.file;
    }
    EXPECT_EQ(Condor("condor_submit missing.sub", dir.path()).status, 1);
    const RunResult nolog = Condor("condor_wait nolog", dir.path());
    EXPECT_EQ(nolog.status, 1);
    EXPECT_NE(nolog.output.find("Couldn't open log file nolog"), std::string::npos);
}

TEST(HTCondorLocalTest, WaitGivesUpAfterTheTimeGiven) {
    TempDir dir;
    WriteScript(dir.file("gated.sh"), AwaitFile(dir.file("gate")));
    WriteFile(dir.file("sub"), "Executable = gated.sh\nLog = log\nQueue\n");
    ASSERT_EQ(Condor("condor_submit sub", dir.path()).status, 0);
    const RunResult r = Condor("condor_wait -wait 0 log", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Time expired.\n");
    const auto before = std::chrono::steady_clock::now();
    const RunResult second = Condor("condor_wait -wait 1 log", dir.path());
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.output, "Time expired.\n");
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    WriteFile(dir.file("gate"), "");
    EXPECT_EQ(Condor("condor_wait log", dir.path()).status, 0);
}

TEST(HTCondorLocalTest, RemovedJobsEndWithAllTheirProcessesAndWaitReturns) {
    TempDir dir;
    // Each job leaves a child that ignores TERM and one that does not, and
    // records the process numbers of all three; with one slot the second
    // job is still waiting when the first is removed.
    // The jobs run in scratch folders: the record goes to the test's folder.
    const std::string record = dir.file("pids") + "$1";
    WriteScript(dir.file("stay.sh"), "(trap '' TERM; exec sleep 300) & echo $! > " + record +
                                         "\nsleep 300 & echo $! >> " + record + "\necho $$ >> " +
                                         record + "\nexec sleep 300\n");
    WriteFile(dir.file("sub"), "Executable = " + dir.file("stay.sh") +
                                   "\nArguments = $(Process)\nLog = log\n"
                                   "should_transfer_files = YES\ntransfer_output_files = r\n"
                                   "Queue 2\n");
    const RunResult submitted = Condor("condor_submit sub", dir.path(), "HTCONDOR_LOCAL_SLOTS=1");
    ASSERT_EQ(submitted.status, 0) << submitted.output;
    const std::string cluster = ClusterOf(submitted.output);
    ASSERT_FALSE(cluster.empty()) << submitted.output;
    ASSERT_EQ(RunCommand(AwaitFile(dir.file("pids0")) + "sleep 0.2", dir.path()).status, 0);

    const RunResult removed = Condor("condor_rm " + cluster, dir.path());
    EXPECT_EQ(removed.status, 0);
    EXPECT_EQ(removed.output, "All jobs in cluster " + cluster + " have been marked for removal\n");
    const RunResult waited = Condor("condor_wait -wait 30 log", dir.path());
    EXPECT_EQ(waited.status, 0) << waited.output;
    EXPECT_EQ(waited.output, "All jobs done.\n");

    std::istringstream pids(ReadFile(dir.file("pids0")));
    int count = 0;
    for (std::string pid; pids >> pid; ++count)
        EXPECT_FALSE(Running(pid)) << "process " << pid << " of the removed job still runs";
    EXPECT_EQ(count, 3);
    // The waiting job never started.
    EXPECT_FALSE(FileExists(dir.file("pids1")));
    const std::string log = ReadFile(dir.file("log"));
    EXPECT_EQ(CountOccurrences(log, "Job was aborted.\n\tvia condor_rm (by user "), 2) << log;
    EXPECT_EQ(CountOccurrences(log, "Job terminated."), 0) << log;

    // The jobs have left the queue.
    const RunResult again = Condor("condor_rm " + cluster, dir.path());
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.output, "Couldn't find/remove all jobs in cluster " + cluster + "\n");
}

TEST(HTCondorLocalTest, ALongRequirementsLineIsRead) {
    TempDir dir;
    // About 100 KB, as a generated list of acceptable machines can be.
    std::string requirements = "(Memory > 0)";
    for (int i = 0; requirements.size() < 100000; ++i)
        requirements += " || (Machine == \"node" + std::to_string(i) + ".example.org\")";
    WriteScript(dir.file("ok.sh"), "echo ran > r\n");
    WriteFile(dir.file("sub"), "Executable = ok.sh\nLog = log\nRequirements = " + requirements +
                                   "  \nshould_transfer_files = YES\ntransfer_output_files = r\n"
                                   "Queue\n");
    ASSERT_EQ(Condor("condor_submit sub", dir.path()).status, 0);
    ASSERT_EQ(Condor("condor_wait log", dir.path()).status, 0);
    EXPECT_EQ(ReadFile(dir.file("r")), "ran\n");
}

} // namespace
