// Evaluations per second of the external-command road (SysCallADLL through
// LocalEVAU, one and two processors) with a trivial command, against a floor
// measured in the same run: a /bin/sh loop that does the same work per design
// (writes the design file, starts the command, reads its result). The loop is
// what any road that starts one process per design can hope to reach.
//
//   bench_external [evaluations]      (default 200)

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "eval/LocalEVAU.h"
#include "model/POPULATION.h"

namespace {

namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs a shell command line and returns its wall time in seconds.
double TimeShell(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        std::cerr << "command failed: " << command << std::endl;
    return Seconds(start);
}

// n designs from `copies` shell loops running side by side, each in a folder
// of its own; every design writes Eval.DVs, runs ./cmd.sh and reads the two
// values back, all with shell built-ins but the command itself.
double ShellLoop(unsigned n, unsigned copies) {
    std::string command = "sh -c '";
    for (unsigned c = 0; c < copies; ++c) {
        const std::string folder = "loop" + std::to_string(c);
        fs::create_directories(folder);
        fs::copy_file("cmd.sh", folder + "/cmd.sh", fs::copy_options::overwrite_existing);
        command += "(cd " + folder + " && i=0; while [ $i -lt " + std::to_string(n / copies) +
                   " ]; do echo \"$i 1.0\" > Eval.DVs; ./cmd.sh; read a b < Eval.individual; "
                   "i=$((i+1)); done) & ";
    }
    command += "wait'";
    return TimeShell(command);
}

// n evaluations of the local unit with the command analyser.
double Road(unsigned n, unsigned ncpu) {
    std::streambuf* console = std::cout.rdbuf();
    std::ostringstream quiet;
    std::cout.rdbuf(quiet.rdbuf());
    std::istringstream in("1\n./cmd.sh\n0\n0\n");
    auto unit = std::make_unique<LocalEVAU>(2, 2, 0, ncpu, in);
    unit->Init(n);
    POPULATION pop("bench", 2, 2, 0, static_cast<int>(n), true);
    for (unsigned i = 0; i < n; ++i)
        pop[i].SetDvs({0.001 * i, 1.0});
    std::cout.rdbuf(console);
    const auto start = std::chrono::steady_clock::now();
    unit->Compute(pop, nullptr, {}, {}, nullptr);
    const double seconds = Seconds(start);
    if (unit->GetObjEvals() != n || pop[n - 1].GetObj(1) != 2.0)
        std::cerr << "unexpected results" << std::endl;
    return seconds;
}

void Row(const std::string& road, unsigned ncpu, unsigned n, double seconds, double limit) {
    std::cout << std::left << std::setw(44) << road << std::right << std::setw(5) << ncpu
              << std::setw(8) << n << std::fixed << std::setprecision(3) << std::setw(10) << seconds
              << std::setprecision(1) << std::setw(10) << n / seconds << std::setprecision(2)
              << std::setw(12) << 1000.0 * seconds / n << std::setprecision(2) << std::setw(10)
              << (n / seconds) / (n / limit) << std::endl;
}

} // namespace

int main(int argc, char** argv) {
    const unsigned n = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 200u;
    if (n < 2) {
        std::cerr << "usage: bench_external [evaluations >= 2]" << std::endl;
        return 1;
    }
    char templ[] = "/tmp/vesk-bench-external-XXXXXX";
    if (mkdtemp(templ) == nullptr)
        return 1;
    const std::string dir = templ;
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    {
        std::ofstream cmd("cmd.sh");
        cmd << "#!/bin/sh\necho 1 2 > Eval.individual\n";
    }
    fs::permissions("cmd.sh", fs::perms::owner_all, fs::perm_options::add);

    // Warm up the file cache and the shell.
    ShellLoop(10, 1);
    const double limit1 = ShellLoop(n, 1);
    const double limit2 = ShellLoop(n, 2);
    const double road1 = Road(n, 1);
    const double road2 = Road(n, 2);

    std::cout << "External-command evaluation, trivial command (" << n << " evaluations, "
              << sysconf(_SC_NPROCESSORS_ONLN) << " processors online)" << std::endl;
    std::cout << std::left << std::setw(44) << "road" << std::right << std::setw(5) << "cpu"
              << std::setw(8) << "evals" << std::setw(10) << "seconds" << std::setw(10) << "evals/s"
              << std::setw(12) << "ms/eval" << std::setw(10) << "vs floor" << std::endl;
    Row("sh loop: Eval.DVs, ./cmd.sh, read (floor)", 1, n, limit1, limit1);
    Row("SysCallADLL through LocalEVAU", 1, n, road1, limit1);
    Row("two sh loops side by side (floor)", 2, n, limit2, limit2);
    Row("SysCallADLL through LocalEVAU", 2, n, road2, limit2);

    fs::current_path(previous);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
