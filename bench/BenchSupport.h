#ifndef VESK_BENCH_BENCHSUPPORT_H
#define VESK_BENCH_BENCHSUPPORT_H

// Helpers of the benchmarks that time whole veskv2 runs: the run folder with
// its configuration files, and a process started without a shell and timed
// by the wall clock.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace benchsupport {

namespace fs = std::filesystem;

// How a ZDT1 run of the evolutionary optimiser is configured.
struct Zdt1Run {
    unsigned popsize = 100;
    // The buffer line of input.QERN: "0 <size>" for a random buffer, or
    // "2 <file>" for a population file with results.
    std::string buffer = "0 100";
    unsigned evaluations = 25100;
    int children = 0; // write.QERN line 1: 0 none, 1 binary, 2 ASCII
    int history = 0;  // write.QERN line 2: Pareto history mode
};

// The LAMBDAMU block of an input file for ZDT1 (30 variables in [0, 1]) with
// the given population, crossover 0.9 and mutation 1/30, its designs
// evaluated by the plug-in at mathcases.
inline std::string ZdtBlock(const char* mathcases, int popsize) {
    std::ostringstream os;
    os << "30\n2\n0\n1\n0\n"
       << mathcases << "\n0\n0\n"
       << popsize << "\n0 " << popsize << "\n0.9\n0.0333333333\n";
    for (const char* v : {"0 ", "0 ", "1 "}) {
        for (int i = 0; i < 30; ++i)
            os << v;
        os << "\n";
    }
    return os.str();
}

// A fresh folder holding input.QERN, write.QERN, prob.dat and a link to the
// plug-in for the run.
inline void PrepareZdt1Folder(const fs::path& dir, const Zdt1Run& run, const char* mathcases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream in(dir / "input.QERN");
    in << "ZDT1_bench\n1\n0\n30\n2\n0\n1\n0\n./mathcases.so\n0\n0\n"
       << run.popsize << "\n"
       << run.buffer << "\n0.9\n0.0333333333\n";
    for (const char* v : {"0 ", "0 ", "1 "}) {
        for (int i = 0; i < 30; ++i)
            in << v;
        in << "\n";
    }
    in << "0\n0 " << run.evaluations << "\n";
    std::ofstream(dir / "write.QERN") << run.children << "\n" << run.history << "\n0\n0\n0\n";
    std::ofstream(dir / "prob.dat") << "ZDT1\n";
    fs::create_symlink(mathcases, dir / "mathcases.so");
}

// Runs program with args in dir, its output going to log, and returns the
// wall time in seconds; status receives the exit status (-1 when it did not
// exit normally) and cpu, when given, the processor time (user and system)
// of the process.
inline double RunTimed(const fs::path& dir, const std::string& program,
                       const std::vector<std::string>& args, const fs::path& log, int& status,
                       double* cpu = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            _exit(127);
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wstatus = 0;
    struct rusage usage {};
    wait4(pid, &wstatus, 0, &usage);
    const auto stop = std::chrono::steady_clock::now();
    if (cpu != nullptr)
        *cpu = usage.ru_utime.tv_sec + 1e-6 * usage.ru_utime.tv_usec + usage.ru_stime.tv_sec +
               1e-6 * usage.ru_stime.tv_usec;
    status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return std::chrono::duration<double>(stop - start).count();
}

// The rest of the first line of log that starts with key ("" when none does).
inline std::string LogValue(const fs::path& log, const std::string& key) {
    std::ifstream is(log);
    std::string line;
    while (std::getline(is, line))
        if (line.rfind(key, 0) == 0)
            return line.substr(key.size());
    return "";
}

inline double Median(std::vector<double> v) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

} // namespace benchsupport

#endif
