// A deterministic mutation fuzzer of veskv2's readers.
//
// Each case takes one of the seed cases (Scenarios.cpp), changes one to three
// of its input files with random mutations (Mutations.cpp), and runs veskv2 on
// it in a fresh folder with a time limit. The case passes when veskv2
//   - ends by itself (no signal, no time-out), and
//   - prints no sanitizer report, no "terminate called", no OpenMP runtime
//     error and no message of main's last-resort handlers (an exception or an
//     exhausted memory means a count or a value that was not checked), and
//   - ends with status 0 (the mutation left a valid input), or with status 1
//     after a message and "Program stopped!".
// A case that asks for a long run (a large budget or time limit, targets or a
// stall rule) and is still running at the time limit is not a hang: it is
// counted apart.
//
// The cases depend only on the seed and the case number, so a failure is
// replayed with --replay SEED:CASE. The regression cases (--regressions DIR:
// one folder per case with its files and its command line in "args", and
// optionally a text its output must hold in "expect") are run first.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Mutations.h"
#include "Scenarios.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    std::string veskv2;
    std::string mathcases;
    std::string source;
    std::string regressions;
    std::string keep;
    uint64_t seed = 1;
    unsigned long cases = 100;
    double minutes = 0.0;     // > 0: run cases until this time is up
    double max_seconds = 0.0; // > 0: start no case after this time
    double timeout = 30.0;
    unsigned jobs = 2;
    std::string replay; // SEED:CASE
};

struct Case {
    std::string id;
    std::string scenario;
    std::vector<std::string> args;
    std::vector<fuzz::File> files;
    std::vector<std::string> mutations;
    std::string expect;
    bool condor = false;
};

struct Running {
    pid_t pid = -1;
    Case c;
    fs::path dir;
    Clock::time_point start;
};

enum class Outcome { Completed, Stopped, LongRun, Failed };

struct Verdict {
    Outcome outcome = Outcome::Failed;
    std::string reason;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "vesk_fuzz: " << problem << "\n"
              << "usage: vesk_fuzz --veskv2 PATH --mathcases PATH --source DIR\n"
                 "                 [--seed N] [--cases N | --minutes M] [--max-seconds S]\n"
                 "                 [--timeout S] [--jobs N] [--regressions DIR] [--keep DIR]\n"
                 "                 [--replay SEED:CASE]\n";
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--veskv2")
            o.veskv2 = value();
        else if (arg == "--mathcases")
            o.mathcases = value();
        else if (arg == "--source")
            o.source = value();
        else if (arg == "--regressions")
            o.regressions = value();
        else if (arg == "--keep")
            o.keep = value();
        else if (arg == "--seed")
            o.seed = std::stoull(value());
        else if (arg == "--cases")
            o.cases = std::stoul(value());
        else if (arg == "--minutes")
            o.minutes = std::stod(value());
        else if (arg == "--max-seconds")
            o.max_seconds = std::stod(value());
        else if (arg == "--timeout")
            o.timeout = std::stod(value());
        else if (arg == "--jobs")
            o.jobs = static_cast<unsigned>(std::stoul(value()));
        else if (arg == "--replay")
            o.replay = value();
        else
            Usage("unknown option " + arg);
    }
    if (o.veskv2.empty() || o.mathcases.empty() || o.source.empty())
        Usage("--veskv2, --mathcases and --source are needed");
    if (o.jobs == 0)
        o.jobs = 1;
    o.veskv2 = fs::absolute(o.veskv2).string();
    o.mathcases = fs::absolute(o.mathcases).string();
    o.source = fs::absolute(o.source).string();
    return o;
}

std::string ReadAll(const fs::path& file) {
    std::ifstream is(file, std::ios::binary);
    std::ostringstream all;
    all << is.rdbuf();
    return all.str();
}

bool Contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

// A binary built with AddressSanitizer calls its runtime's initialiser (the
// runtime itself is a shared library, so its name need not appear).
bool Sanitized(const std::string& binary) {
    return Contains(ReadAll(binary), "__asan_init");
}

Case MakeCase(const std::vector<fuzz::Scenario>& scenarios, uint64_t seed, uint64_t index) {
    fuzz::Rng rng(seed * 0x2545F4914F6CDD1Dull + index);
    rng.Next();
    const fuzz::Scenario& s = scenarios[rng.Below(scenarios.size())];
    Case c;
    c.id = std::to_string(seed) + ":" + std::to_string(index);
    c.scenario = s.name;
    c.args = s.args;
    c.files = s.files;
    c.condor = s.condor;
    std::vector<size_t> inputs;
    for (size_t k = 0; k < c.files.size(); ++k)
        if (c.files[k].mutable_)
            inputs.push_back(k);
    const unsigned count = 1 + static_cast<unsigned>(rng.Below(3));
    for (unsigned m = 0; m < count && !inputs.empty(); ++m) {
        fuzz::File& file = c.files[inputs[rng.Below(inputs.size())]];
        if (rng.Chance(2)) {
            c.mutations.push_back(file.name + ": removed");
            file.name.clear();
            continue;
        }
        if (file.name.empty())
            continue;
        c.mutations.push_back(file.name + ": " + fuzz::Mutate(file.content, rng));
    }
    return c;
}

// A regression case: a folder holding the files, "args" (the command line,
// words separated by blanks) and optionally "expect".
Case LoadCase(const fs::path& dir) {
    Case c;
    c.id = dir.filename().string();
    c.scenario = "regression";
    std::istringstream words(ReadAll(dir / "args"));
    std::string word;
    while (words >> word)
        c.args.push_back(word);
    if (fs::exists(dir / "expect")) {
        c.expect = ReadAll(dir / "expect");
        while (!c.expect.empty() && c.expect.back() == '\n')
            c.expect.pop_back();
    }
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name == "args" || name == "expect" || !entry.is_regular_file())
            continue;
        const bool executable =
            (fs::status(entry.path()).permissions() & fs::perms::owner_exec) != fs::perms::none;
        c.files.push_back({name, ReadAll(entry.path()), true, executable});
        if (name == "htcondor.QERN")
            c.condor = true;
    }
    return c;
}

void WriteCase(const Case& c, const fs::path& dir, const Options& o) {
    fs::create_directories(dir);
    for (const fuzz::File& f : c.files) {
        if (f.name.empty())
            continue;
        std::ofstream os(dir / f.name, std::ios::binary);
        os.write(f.content.data(), static_cast<std::streamsize>(f.content.size()));
        os.close();
        if (f.executable)
            fs::permissions(dir / f.name,
                            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    }
    fs::create_symlink(o.mathcases, dir / "mathcases.so");
    std::ofstream about(dir / "case.txt");
    about << "case " << c.id << " (" << c.scenario << ")\nveskv2";
    for (const auto& a : c.args)
        about << " " << a;
    about << "\n";
    for (const auto& m : c.mutations)
        about << m << "\n";
}

std::vector<std::string> Environment(const Options& o, bool condor, bool sanitized) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("ASAN_OPTIONS=", 0) == 0 || entry.rfind("UBSAN_OPTIONS=", 0) == 0 ||
            (condor && entry.rfind("PATH=", 0) == 0))
            continue;
        env.push_back(entry);
    }
    if (condor) {
        const char* path = std::getenv("PATH");
        env.push_back("PATH=" + o.source +
                      "/tools/htcondor-local:" + (path ? path : "/usr/bin:/bin"));
    }
    if (sanitized) {
        // A huge allocation comes back as std::bad_alloc (which main reports
        // and this fuzzer counts as a failure) instead of taking the machine's
        // memory; any report ends the run with a status of its own.
        env.push_back("ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=3072:"
                      "hard_rss_limit_mb=4096:detect_leaks=1:exitcode=86");
        env.push_back("UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:exitcode=87");
    }
    return env;
}

pid_t Start(const Case& c, const fs::path& dir, const Options& o, bool sanitized) {
    std::vector<std::string> argv{o.veskv2};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const std::vector<std::string> env = Environment(o, c.condor, sanitized);
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const std::string out = (dir / "output.txt").string();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (pid == 0) {
        // A group of its own, so that a time-out ends the shells and
        // commands it started as well.
        setpgid(0, 0);
        if (chdir(dir.c_str()) != 0)
            _exit(125);
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDONLY);
        if (fd < 0 || null < 0)
            _exit(125);
        dup2(null, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        if (!sanitized) {
            // Without the sanitizer's allocator, an address-space limit turns
            // a runaway allocation into std::bad_alloc.
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = 8ull << 30;
            setrlimit(RLIMIT_AS, &limit);
        }
        execve(args[0], args.data(), envp.data());
        _exit(126);
    }
    setpgid(pid, pid);
    return pid;
}

// Whether the run asked for a long run: a time-out is then no hang.
bool LongByRequest(const std::string& out) {
    auto number_after = [&](const std::string& key, double& value) {
        const size_t at = out.find(key);
        if (at == std::string::npos)
            return false;
        value = std::strtod(out.c_str() + at + key.size(), nullptr);
        return true;
    };
    double value = 0.0;
    if (number_after("Termination criteria: Objective evaluations: ", value) && value > 2000)
        return true;
    if (number_after("Termination criteria: Hours: ", value) && !(value < 0.0003))
        return true;
    if (Contains(out, "Termination criteria: Predefined values:") ||
        Contains(out, "Termination criteria: Convergence:"))
        return true;
    // The JSON road echoes the rule's block.
    if (number_after("\"max_obj_evals\": ", value) && value > 2000)
        return true;
    if (number_after("\"max_time\": ", value) && !(value < 1.0))
        return true;
    return Contains(out, "\"min_fi\"") || Contains(out, "\"conv_evals\"");
}

std::string LastLines(const std::string& out, int n) {
    size_t at = out.size();
    for (int k = 0; k <= n && at > 0; ++k) {
        const size_t prev = out.rfind('\n', at - 1);
        if (prev == std::string::npos) {
            at = 0;
            break;
        }
        at = prev;
    }
    return out.substr(at);
}

Verdict Judge(const Case& c, int status, bool timed_out, const std::string& out) {
    const char* reports[] = {"Sanitizer",
                             "runtime error:",
                             "terminate called",
                             "libgomp:",
                             "Not enough memory for this run",
                             "Unexpected error",
                             "input.jsn: [json.exception"};
    for (const char* report : reports)
        if (Contains(out, report))
            return {Outcome::Failed, std::string("the output holds \"") + report + "\""};
    if (!c.expect.empty() && !Contains(out, c.expect.c_str()))
        return {Outcome::Failed, "the output lacks \"" + c.expect + "\""};
    if (timed_out)
        return LongByRequest(out) ? Verdict{Outcome::LongRun, ""}
                                  : Verdict{Outcome::Failed, "time-out (a hang?)"};
    if (WIFSIGNALED(status))
        return {Outcome::Failed, "killed by signal " + std::to_string(WTERMSIG(status))};
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 0)
        return {Outcome::Completed, ""};
    if (code != 1)
        return {Outcome::Failed, "exit status " + std::to_string(code)};
    // Status 1: a message, then "Program stopped!".
    const size_t stop = out.find("\nProgram stopped!\n");
    if (stop == std::string::npos)
        return {Outcome::Failed, "status 1 without \"Program stopped!\""};
    const size_t line = out.rfind('\n', stop - 1);
    const std::string message = out.substr(line == std::string::npos ? 0 : line + 1,
                                           stop - (line == std::string::npos ? 0 : line + 1));
    if (message.find_first_not_of(" \t\r") == std::string::npos) {
        // The message may end with an empty line of its own (the gradient's
        // setters): look one line further up.
        const size_t before = line == std::string::npos ? 0 : out.rfind('\n', line - 1);
        if (line == std::string::npos || before == line ||
            out.substr(before + 1, line - before - 1).find_first_not_of(" \t\r") ==
                std::string::npos)
            return {Outcome::Failed, "\"Program stopped!\" without a message before it"};
    }
    return {Outcome::Stopped, ""};
}

struct Tally {
    unsigned long completed = 0, stopped = 0, long_runs = 0, failed = 0;
    std::map<std::string, unsigned long> per_scenario;
};

class Runner {
public:
    Runner(const Options& o, fs::path base)
        : o(o), base(std::move(base)), sanitized(Sanitized(o.veskv2)) {}

    bool IsSanitized() const { return sanitized; }

    void Add(Case c) { queue.push_back(std::move(c)); }

    // Runs the queued cases, at most o.jobs at once.
    void Drain(const std::function<bool()>& may_start) {
        size_t next = 0;
        while (next < queue.size() || !running.empty()) {
            while (running.size() < o.jobs && next < queue.size() && may_start()) {
                Running r;
                r.c = queue[next++];
                r.dir = base / ("case-" + Sanitize(r.c.id));
                WriteCase(r.c, r.dir, o);
                r.start = Clock::now();
                r.pid = Start(r.c, r.dir, o, sanitized);
                running.push_back(std::move(r));
            }
            if (next < queue.size() && !may_start())
                next = queue.size();
            Poll();
        }
        queue.clear();
    }

    const Tally& Result() const { return tally; }
    const std::vector<std::string>& Failures() const { return failures; }

private:
    static std::string Sanitize(const std::string& id) {
        std::string name = id;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '_')
                ch = '_';
        return name;
    }

    void Poll() {
        bool any = false;
        for (size_t k = 0; k < running.size(); ++k) {
            Running& r = running[k];
            int status = 0;
            const pid_t done = waitpid(r.pid, &status, WNOHANG);
            bool timed_out = false;
            if (done == 0) {
                const double seconds =
                    std::chrono::duration<double>(Clock::now() - r.start).count();
                if (seconds < o.timeout)
                    continue;
                timed_out = true;
                kill(-r.pid, SIGKILL);
                waitpid(r.pid, &status, 0);
            }
            // Whatever the run left behind in its group goes with it.
            kill(-r.pid, SIGKILL);
            Finish(r, status, timed_out);
            running.erase(running.begin() + static_cast<long>(k));
            --k;
            any = true;
        }
        if (!any)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    void Finish(const Running& r, int status, bool timed_out) {
        const std::string out = ReadAll(r.dir / "output.txt");
        const Verdict v = Judge(r.c, status, timed_out, out);
        ++tally.per_scenario[r.c.scenario];
        switch (v.outcome) {
        case Outcome::Completed:
            ++tally.completed;
            break;
        case Outcome::Stopped:
            ++tally.stopped;
            break;
        case Outcome::LongRun:
            ++tally.long_runs;
            break;
        case Outcome::Failed:
            ++tally.failed;
            break;
        }
        if (v.outcome != Outcome::Failed) {
            std::error_code ignored;
            fs::remove_all(r.dir, ignored);
            return;
        }
        fs::path kept = r.dir;
        if (!o.keep.empty()) {
            kept = fs::path(o.keep) / r.dir.filename();
            std::error_code ignored;
            fs::remove_all(kept, ignored);
            fs::create_directories(kept.parent_path());
            fs::rename(r.dir, kept, ignored);
            if (ignored)
                kept = r.dir;
        }
        std::ostringstream text;
        text << "FAIL case " << r.c.id << " (" << r.c.scenario << "): " << v.reason << "\n";
        for (const auto& m : r.c.mutations)
            text << "   mutation: " << m << "\n";
        text << "   folder: " << kept.string() << "\n";
        text << "   last lines of the output:" << LastLines(out, 6) << "\n";
        std::cout << text.str() << std::flush;
        failures.push_back(r.c.id);
    }

    const Options& o;
    fs::path base;
    bool sanitized;
    std::vector<Case> queue;
    std::vector<Running> running;
    Tally tally;
    std::vector<std::string> failures;
};

} // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    const std::vector<fuzz::Scenario> scenarios = fuzz::Scenarios();
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path base = pattern;
    Runner runner(o, base);
    const auto begin = Clock::now();
    auto elapsed = [&]() { return std::chrono::duration<double>(Clock::now() - begin).count(); };

    if (!o.replay.empty()) {
        const size_t colon = o.replay.find(':');
        if (colon == std::string::npos)
            Usage("--replay takes SEED:CASE");
        Case c = MakeCase(scenarios, std::stoull(o.replay.substr(0, colon)),
                          std::stoull(o.replay.substr(colon + 1)));
        std::cout << "Replaying case " << c.id << " (" << c.scenario << ")" << std::endl;
        for (const auto& m : c.mutations)
            std::cout << "   mutation: " << m << std::endl;
        runner.Add(c);
        runner.Drain([] { return true; });
        std::cout << (runner.Failures().empty() ? "passed" : "failed") << std::endl;
        return runner.Failures().empty() ? 0 : 1;
    }

    std::cout << "Fuzzing " << o.veskv2 << (runner.IsSanitized() ? " (sanitizers on)" : "")
              << ", seed " << o.seed << ", "
              << (o.minutes > 0 ? std::to_string(o.minutes) + " minutes"
                                : std::to_string(o.cases) + " cases")
              << ", " << o.jobs << " jobs, time-out " << o.timeout << " s" << std::endl;
    unsigned long regressions = 0;
    if (!o.regressions.empty() && fs::is_directory(o.regressions)) {
        std::vector<fs::path> dirs;
        for (const auto& entry : fs::directory_iterator(o.regressions))
            if (entry.is_directory())
                dirs.push_back(entry.path());
        std::sort(dirs.begin(), dirs.end());
        for (const auto& dir : dirs)
            runner.Add(LoadCase(dir));
        regressions = dirs.size();
        runner.Drain([] { return true; });
        std::cout << "Regression cases: " << regressions << " run, " << runner.Failures().size()
                  << " failed" << std::endl;
    }

    const bool timed = o.minutes > 0;
    const double deadline = timed ? o.minutes * 60.0 : o.max_seconds;
    auto may_start = [&]() { return deadline <= 0 || elapsed() < deadline; };
    unsigned long index = 0;
    // Cases are queued in blocks so that a time-boxed run can stop between them.
    while (timed ? may_start() : index < o.cases) {
        const unsigned long block = timed ? 50 : std::min<unsigned long>(50, o.cases - index);
        for (unsigned long k = 0; k < block; ++k)
            runner.Add(MakeCase(scenarios, o.seed, index++));
        runner.Drain(may_start);
        if (!timed && !may_start())
            break;
        if (index % 500 == 0)
            std::cout << "   " << index << " cases, " << runner.Failures().size() << " failed, "
                      << static_cast<long>(elapsed()) << " s" << std::endl;
    }

    const Tally& t = runner.Result();
    const unsigned long run = t.completed + t.stopped + t.long_runs + t.failed;
    std::cout << "Cases run: " << run << " (" << regressions << " regression cases) in "
              << static_cast<long>(elapsed()) << " s: " << t.completed << " completed (status 0), "
              << t.stopped << " stopped cleanly (status 1), " << t.long_runs
              << " long runs by request cut at the time-out, " << t.failed << " failed"
              << std::endl;
    std::cout << "Per seed case:";
    for (const auto& entry : t.per_scenario)
        std::cout << " " << entry.first << " " << entry.second;
    std::cout << std::endl;
    if (!timed && o.max_seconds > 0 && index < o.cases)
        std::cout << "Stopped after " << index << " of " << o.cases << " cases: --max-seconds "
                  << o.max_seconds << " reached." << std::endl;
    if (runner.Failures().empty()) {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    } else {
        std::cout << "Replay a case with: vesk_fuzz ... --replay SEED:CASE" << std::endl;
    }
    std::cout << (run - t.failed) << " passed, " << t.failed << " failed" << std::endl;
    return runner.Failures().empty() ? 0 : 1;
}
