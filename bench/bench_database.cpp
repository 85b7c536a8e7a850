// What the evaluation database costs a whole run: the ZDT1 example (25,000
// evaluations, ASCII children file) run alternately with and without the
// database (--no-db), timed as whole processes; the table gives the median
// wall-clock and CPU times and their ratios, and the median of the ratios of
// the runs taken in pairs (one with, one without, one after the other), which
// a host whose speed drifts over the benchmark disturbs least.
//
//   bench_database [repeats]      (default 21)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Timing {
    double wall = 0.0;
    double cpu = 0.0; // user + system of the process and its threads
};

Timing RunOnce(const std::string& dir, bool database) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("evaluations", 0) == 0)
            fs::remove(entry.path(), ec);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(126);
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            ::_exit(126);
        const char* vesk = VESK_VESKV2_PATH;
        if (database)
            ::execl(vesk, vesk, "-s", "2", static_cast<char*>(nullptr));
        else
            ::execl(vesk, vesk, "-s", "2", "--no-db", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    ::wait4(pid, &status, 0, &usage);
    Timing t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
            usage.ru_stime.tv_usec * 1e-6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::cerr << "veskv2 failed in " << dir << std::endl;
    return t;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    char templ[] = "/tmp/vesk-bench-database-XXXXXX";
    if (mkdtemp(templ) == nullptr)
        return 1;
    const std::string dir = templ;
    for (const char* file : {"input.QERN", "write.QERN", "prob.dat"})
        fs::copy_file(std::string(VESK_BENCH_SOURCE_DIR) + "/examples/zdt1/" + file,
                      dir + "/" + file);
    fs::create_symlink(VESK_MATHCASES_PATH, dir + "/mathcases.so");

    RunOnce(dir, true); // warm the caches
    std::vector<double> wall[2], cpu[2];
    for (int r = 0; r < repeats; ++r) {
        for (int db = 0; db < 2; ++db) {
            const Timing t = RunOnce(dir, db == 1);
            wall[db].push_back(t.wall);
            cpu[db].push_back(t.cpu);
        }
    }
    std::cout << "ZDT1 example, 25,000 evaluations, medians of " << repeats << " alternating runs"
              << std::endl;
    std::cout << std::left << std::setw(34) << "run" << std::right << std::setw(12) << "wall (s)"
              << std::setw(12) << "cpu (s)" << std::endl;
    std::cout << std::fixed << std::setprecision(3);
    std::cout << std::left << std::setw(34) << "--no-db" << std::right << std::setw(12)
              << Median(wall[0]) << std::setw(12) << Median(cpu[0]) << std::endl;
    std::cout << std::left << std::setw(34) << "with evaluations.db" << std::right << std::setw(12)
              << Median(wall[1]) << std::setw(12) << Median(cpu[1]) << std::endl;
    std::cout << std::left << std::setw(34) << "ratio of the medians" << std::right << std::setw(12)
              << Median(wall[1]) / Median(wall[0]) << std::setw(12)
              << Median(cpu[1]) / Median(cpu[0]) << std::endl;
    std::vector<double> wall_pairs, cpu_pairs;
    for (int r = 0; r < repeats; ++r) {
        wall_pairs.push_back(wall[1][r] / wall[0][r]);
        cpu_pairs.push_back(cpu[1][r] / cpu[0][r]);
    }
    std::cout << std::left << std::setw(34) << "paired ratio (goal: wall <= 1.05)" << std::right
              << std::setw(12) << Median(wall_pairs) << std::setw(12) << Median(cpu_pairs)
              << std::endl;
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
