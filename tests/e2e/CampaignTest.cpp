// Campaigns that survive interruption, from the command line: the evaluation
// database (its rows against the children file, keeping an earlier one, the
// README's queries), exact resume (refusals, a run killed with SIGKILL at
// random moments and resumed until it finishes), and the handling of SIGTERM.

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "eval/OSAU.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Starts veskv2 in dir with its output in dir/run.log (appended).
pid_t Launch(const std::string& dir, const std::vector<std::string>& args) {
    const std::string vesk = VeskPath();
    std::vector<std::string> all = {vesk};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(126);
        const int fd = ::open("run.log", O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(vesk.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for pid; its exit status, 128 + N when a signal N ended it.
int Reap(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Exec(const std::string& dir, const std::vector<std::string>& args) {
    return Reap(Launch(dir, args));
}

// Rows of a query on the run's database, each as its columns' text.
std::vector<std::vector<std::string>> Query(const std::string& dir, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((dir + "/evaluations.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const unsigned char* text = sqlite3_column_text(stmt, c);
                row.push_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// The designs committed to the database, each as its values printed in the
// format of the analyser's call log, one string per design. With tagged, the
// string starts as the logging plug-in's lines do, with "n" and the number of
// constraints of the player that evaluated it (0, or 1 where ctr0 is set).
std::set<std::string> RecordedDesigns(const std::string& dir, unsigned ndvs, const char* format,
                                      bool tagged, bool has_ctr0) {
    std::set<std::string> designs;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((dir + "/evaluations.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        std::string sql = has_ctr0 ? "SELECT ctr0 IS NOT NULL" : "SELECT 0";
        for (unsigned i = 0; i < ndvs; ++i)
            sql += ", dvs" + std::to_string(i);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, (sql + " FROM evaluations").c_str(), -1, &stmt, nullptr) ==
            SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                std::string design =
                    tagged ? "n" + std::to_string(sqlite3_column_int(stmt, 0)) + " " : "";
                for (int i = 1; i <= static_cast<int>(ndvs); ++i) {
                    char text[64];
                    std::snprintf(text, sizeof(text), format, sqlite3_column_double(stmt, i));
                    design += std::string(text) + " ";
                }
                designs.insert(design);
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return designs;
}

// A call-log line with its blanks folded, so that both logs compare alike.
std::string Normalised(const std::string& line) {
    std::istringstream is(line);
    std::string word, out;
    while (is >> word)
        out += word + " ";
    return out;
}

struct Campaign {
    std::string name;
    std::function<void(const std::string&)> prepare; // writes the run's files
    std::vector<std::string> args;
    unsigned ndvs;      // width of the design the analyser logs
    const char* format; // how the call log prints a value
    bool tagged;        // the logging plug-in's lines (see RecordedDesigns)
    bool has_ctr0;      // the database has a constraint column
    std::string log = "calls.log";
};

// Kills the run with SIGKILL at random moments (and once right after its
// loop ended), resumes it until it finishes, and checks that its result
// files are those of an uninterrupted run and that no design recorded in the
// database before a kill was given to the analyser again.
void KillAndResume(const Campaign& c, unsigned seed) {
    SCOPED_TRACE(c.name);
    TempDir reference, run;
    c.prepare(reference.path());
    c.prepare(run.path());
    const auto start = Clock::now();
    ASSERT_EQ(Exec(reference.path(), c.args), 0) << ReadFile(reference.file("run.log"));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::mt19937 random(seed);
    std::uniform_real_distribution<double> moment(0.1 * seconds, 0.9 * seconds);
    const std::string log = run.file(c.log);
    int status = -1;
    for (int attempt = 0; attempt < 6 && status != 0; ++attempt) {
        // A run killed before it recorded itself has nothing to resume.
        const bool recorded = !Query(run.path(), "SELECT 1 FROM segments").empty() && attempt > 0;
        std::vector<std::string> args = recorded ? std::vector<std::string>{"--resume"} : c.args;
        const std::set<std::string> before =
            RecordedDesigns(run.path(), c.ndvs, c.format, c.tagged, c.has_ctr0);
        const size_t lines = FileExists(log) ? ReadLines(log).size() : 0;
        const pid_t pid = Launch(run.path(), args);
        if (attempt < 2) {
            std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
            ::kill(pid, SIGKILL);
        } else if (attempt == 2) {
            // During the final post-processing, as nearly as a test can aim.
            const std::string output = run.file("run.log");
            for (int wait = 0; wait < 20000; ++wait) {
                if (ReadFile(output).rfind("LOOP END") != std::string::npos)
                    break;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ::kill(pid, SIGKILL);
        }
        status = Reap(pid);
        if (!FileExists(log))
            continue;
        const std::vector<std::string> after = ReadLines(log);
        for (size_t k = lines; k < after.size(); ++k)
            EXPECT_EQ(before.count(Normalised(after[k])), 0u)
                << "attempt " << attempt << ": recorded design evaluated again: " << after[k];
    }
    ASSERT_EQ(status, 0) << ReadFile(run.file("run.log"));
    for (const std::string& name : ResultFileNames(reference.path())) {
        if (name == "run.log" || name == c.log)
            continue;
        EXPECT_EQ(ReadFile(reference.file(name)), ReadFile(run.file(name))) << name;
    }
    // One row per evaluation of the finished run.
    const std::string output = ReadFile(reference.file("run.log"));
    const auto rows = Query(run.path(), "SELECT count(*) FROM evaluations");
    ASSERT_EQ(rows.size(), 1u);
    const size_t at = output.rfind("Evaluation summary: ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(rows[0][0], output.substr(at + 20, output.find(' ', at + 20) - at - 20));
}

void WriteLoggingRun(const std::string& dir, const std::string& input) {
    WriteFile(dir + "/input.QERN", input);
    WriteFile(dir + "/write.QERN", "2\n1\n0\n0\n0\n");
}

std::string PluginLine() {
    return "0\n" + PluginsDir() + "/vesk_test_logging.so\n0\n0\n";
}

TEST(Campaign, KilledRunsResumeToTheFilesOfAnUninterruptedRun) {
    std::vector<Campaign> campaigns;
    // LAMBDAMU with an external command on two processors. The budget ends
    // at the last design evaluated in a batch, so no evaluation runs past it.
    campaigns.push_back(
        {"external command, 2 processors",
         [](const std::string& dir) {
             CopyFile(SourceDir() + "/tests/data/external/bnh.sh", dir + "/bnh.sh");
             fs::permissions(dir + "/bnh.sh", fs::perms::owner_all, fs::perm_options::add);
             WriteScript(dir + "/logged.sh",
                         "./bnh.sh\nprintf '%s\\n' \"$(cat Eval.DVs)\" >> ../calls.log\n");
             CommandRun run;
             run.ncpu = 2;
             run.command = "./logged.sh";
             run.essentials = {"bnh.sh"};
             run.evaluations = 159;
             WriteRunFiles(dir, run);
         },
         {"-s", "3"},
         2,
         "%.10e",
         false,
         true});
    campaigns.push_back({"particle swarm",
                         [](const std::string& dir) {
                             WriteLoggingRun(dir, "pso\n1\n1\n4\n2\n0\n1\n" + PluginLine() +
                                                      "10\n0 10\n0.9\n0.1\n0 0 0 0\n0 0 0 0\n"
                                                      "1 1 1 1\n0\n0 700\n");
                         },
                         {"-s", "5"},
                         4,
                         "%a",
                         true,
                         false});
    campaigns.push_back({"conjugate gradient",
                         [](const std::string& dir) {
                             WriteLoggingRun(dir, "cg\n1\n2\n3\n1\n0\n1\n" + PluginLine() +
                                                      "0\n0.9 0.1 0.3\n0\n1\n1e-4\n0.05\n1e-6\n"
                                                      "100\n-1 -1 -1\n1 1 1\n0\n0 500\n");
                         },
                         {},
                         3,
                         "%a",
                         true,
                         false});
    campaigns.push_back({"Nash game",
                         [](const std::string& dir) {
                             WriteLoggingRun(
                                 dir, "game\n2 0\n4 1 2 3 4\n4 0 0 3 4\n2 1 2\n2 1 0\n1\n"
                                      "0\n4\n2\n0\n1\n" +
                                          PluginLine() +
                                          "10\n0 10\n0.9\n0.25\n0 0 0 0\n-1 -1 -1 -1\n1 1 1 1\n0\n"
                                          "0 900\n"
                                          "1\n2\n1\n1\n1\n" +
                                          PluginLine() + "10\n0 10\n0.9\n0.1\n0 0\n-1 -1\n1 1\n");
                         },
                         {"-s", "2,3"},
                         4,
                         "%a",
                         true,
                         true});
    for (size_t k = 0; k < campaigns.size(); ++k)
        KillAndResume(campaigns[k], 11 + static_cast<unsigned>(k));
}

TEST(Campaign, EveryEvaluationIsARowThatMatchesTheChildrenFile) {
    TempDir dir;
    RunConfig c;
    c.popsize = 20;
    c.buffer = "0 20";
    c.stop = "0 600";
    WriteRun(dir.path(), c, WriteQERN(2, 0));
    ASSERT_EQ(Exec(dir.path(), {"-s", "7"}), 0);
    // The children file also repeats designs that were copied unchanged, so
    // each row is looked up by its design, to the file's precision.
    std::map<std::string, std::string> objectives; // design -> objectives
    for (const std::string& line : ReadLines(dir.file("childs.out"))) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream is(line);
        std::vector<std::string> v;
        std::string word;
        while (is >> word)
            v.push_back(word);
        std::string design;
        for (size_t i = 2; i < 32; ++i)
            design += v[i] + " ";
        objectives[design] = v[0] + " " + v[1];
    }
    std::string select = "SELECT printf('%.10e %.10e', obj0, obj1)";
    for (int i = 0; i < 30; ++i)
        select += ", printf('%.10e', dvs" + std::to_string(i) + ")";
    const auto rows = Query(dir.path(), select + ", outcome FROM evaluations ORDER BY id");
    ASSERT_EQ(rows.size(), 600u);
    for (const auto& row : rows) {
        std::string design;
        for (size_t i = 1; i <= 30; ++i)
            design += row[i] + " ";
        ASSERT_EQ(objectives.count(design), 1u) << design;
        EXPECT_EQ(objectives[design], row[0]);
        EXPECT_EQ(row[31], "ok");
    }
    // The README's example queries run as printed there.
    const std::string readme = ReadFile(SourceDir() + "/README.md");
    for (const char* query : {"SELECT outcome, count(*), avg(seconds) FROM evaluations GROUP BY "
                              "outcome;",
                              "SELECT batch, min(obj0), min(obj1) FROM evaluations WHERE outcome "
                              "= 'ok' GROUP BY batch ORDER BY batch DESC LIMIT 5;"}) {
        EXPECT_NE(readme.find(query), std::string::npos) << query;
        const RunResult r =
            RunCommand("sqlite3 evaluations.db " + OSAU::shell_quote(query), dir.path());
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_FALSE(r.output.empty());
    }
    // A new run keeps this database.
    const RunResult again = RunVesk({"-s", "7"}, dir.path());
    EXPECT_NE(again.output.find("The evaluation database of the previous run in this folder is "
                                "kept as evaluations.1.db."),
              std::string::npos);
    EXPECT_EQ(Query(dir.path(), "SELECT count(*) FROM evaluations")[0][0], "600");
    // --no-db keeps none.
    TempDir plain;
    WriteRun(plain.path(), c, WriteQERN(2, 0));
    ASSERT_EQ(Exec(plain.path(), {"-s", "7", "--no-db"}), 0);
    EXPECT_FALSE(FileExists(plain.file("evaluations.db")));
}

TEST(Campaign, AResumeRefusesWhatWouldNotRepeatTheRecordedRun) {
    TempDir dir;
    RunConfig c;
    c.popsize = 10;
    c.buffer = "0 10";
    c.stop = "0 100";
    WriteRun(dir.path(), c, WriteQERN(0, 0));
    RunResult r = RunVesk({"--resume"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Cannot resume: this folder holds no evaluation database"),
              std::string::npos);
    ASSERT_EQ(RunVesk({"-s", "4"}, dir.path()).status, 0);
    r = RunVesk({"--resume", "-s", "5"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--resume takes the settings of the recorded run; leave out --seeds."),
              std::string::npos);
    WriteFile(dir.file("prob.dat"), "ZDT2\n");
    r = RunVesk({"--resume"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Cannot resume: prob.dat differs from the file the recorded run read"),
              std::string::npos)
        << r.output;
}

TEST(Campaign, SigtermEndsTheCommandsFinishesTheFilesAndTheRunResumes) {
    TempDir reference, run;
    for (const TempDir* d : {&reference, &run}) {
        CopyFile(SourceDir() + "/tests/data/external/bnh.sh", d->file("bnh.sh"));
        fs::permissions(d->file("bnh.sh"), fs::perms::owner_all, fs::perm_options::add);
        // Slow enough to be caught running; each records its process id.
        WriteScript(d->file("slow.sh"), "echo $$ >> ../pids\nsleep 0.05\nexec ./bnh.sh\n");
        CommandRun c;
        c.command = "./slow.sh";
        c.essentials = {"bnh.sh"};
        c.evaluations = 48;
        WriteRunFiles(d->path(), c);
    }
    ASSERT_EQ(Exec(reference.path(), {"-s", "3"}), 0);
    const pid_t pid = Launch(run.path(), {"-s", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Reap(pid), 128 + SIGTERM);
    const std::string output = ReadFile(run.file("run.log"));
    EXPECT_NE(output.find("Run interrupted by SIGTERM: the result files hold what was evaluated so "
                          "far; continue it with veskv2 --resume."),
              std::string::npos)
        << output;
    for (const char* file : {"pareto_Last.front", "bestfits.out", "last_child.out"})
        EXPECT_TRUE(FileExists(run.file(file))) << file;
    for (const std::string& line : ReadLines(run.file("pids")))
        EXPECT_FALSE(ProcessRunning(std::stoi(line))) << "command " << line << " outlived the run";
    EXPECT_EQ(Query(run.path(), "SELECT ended FROM segments")[0][0], "interrupted by SIGTERM");

    ASSERT_EQ(Exec(run.path(), {"--resume"}), 0);
    for (const std::string& name : ResultFileNames(reference.path())) {
        if (name != "run.log" && name != "pids") {
            EXPECT_EQ(ReadFile(reference.file(name)), ReadFile(run.file(name))) << name;
        }
    }
}

// The database writer a run started, found among the processes; -1 when none.
int WriterOf(pid_t run) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text) || text.find("(vesk-db-writer)") == std::string::npos)
            continue;
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        char state = 0;
        int parent = 0;
        if (fields >> state >> parent && parent == run)
            return std::stoi(entry.path().filename().string());
    }
    return -1;
}

// True once the process has ended (within 5 s).
bool Gone(int pid) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (ProcessRunning(pid) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !ProcessRunning(pid);
}

TEST(Campaign, ASecondSignalEndsTheRunAtOnceWithAConsistentDatabase) {
    TempDir dir;
    WriteScript(dir.file("slow.sh"), "sleep 2\necho 1 2 > Eval.individual\n"
                                     "echo 1 1 > Eval.constraint\n");
    CommandRun c;
    c.command = "./slow.sh";
    WriteRunFiles(dir.path(), c);
    const pid_t pid = Launch(dir.path(), {"-s", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // The database writer ignores the signals, which a terminal sends to the
    // whole group: the run ends it when it has committed.
    const int writer = WriterOf(pid);
    ASSERT_GT(writer, 0);
    ::kill(writer, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(ProcessRunning(writer));
    ::kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(pid, SIGINT);
    EXPECT_EQ(Reap(pid), 128 + SIGINT);
    EXPECT_TRUE(Gone(writer));
    const auto check = Query(dir.path(), "PRAGMA integrity_check");
    ASSERT_EQ(check.size(), 1u);
    EXPECT_EQ(check[0][0], "ok");
}

TEST(Campaign, AKilledRunTakesItsDatabaseWriterWithIt) {
    // A writer left behind could commit rows while a resumed run reads the
    // database: the resume would run those designs again.
    TempDir dir;
    RunConfig c;
    c.stop = "0 100000000";
    WriteRun(dir.path(), c, WriteQERN(0, 0));
    const pid_t pid = Launch(dir.path(), {"-s", "3"});
    int writer = -1;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while ((writer = WriterOf(pid)) < 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GT(writer, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, SIGKILL);
    EXPECT_EQ(Reap(pid), 128 + SIGKILL);
    EXPECT_TRUE(Gone(writer));
    const auto check = Query(dir.path(), "PRAGMA integrity_check");
    ASSERT_EQ(check.size(), 1u);
    EXPECT_EQ(check[0][0], "ok");
    EXPECT_NE(Query(dir.path(), "SELECT count(*) FROM evaluations")[0][0], "0");
    EXPECT_EQ(Query(dir.path(), "SELECT ended FROM segments")[0][0], "running");
}

} // namespace
