// Times the evolutionary optimiser: the ZDT1 example run by veskv2 (gnuplot
// off), and a population-size sweep on ZDT1 for a fixed number of
// generations, with the share of each generation spent in ranking (Pareto
// ranks, crowding and the sort of the merged population).
//
// Usage: bench_lambdamu [generations]   (default 50)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "BenchSupport.h"
#include "model/NDSU.h"
#include "optim/LAMBDAMU.h"
#include "output/WriteData.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace bs = benchsupport;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct Sweep {
    double per_generation = 0.0;
    double ranking_share = 0.0;
};

Sweep RunSweep(int popsize, int generations) {
    std::istringstream in(bs::ZdtBlock(VESK_MATHCASES_PATH, popsize));
    LAMBDAMU opt(in, 2);
    WriteData data;
    data.SetReportIter(0);
    data.SetRunPlots(false);
    opt.SetWriteData(data);
    opt.InitEVAU();
    opt.Initialize();
    double total = 0.0, ranking = 0.0;
    for (int g = 0; g < generations; ++g) {
        // The ranking of the merged population is timed on an identical copy,
        // since the optimiser does it inside PostProcessInds.
        const auto t0 = Clock::now();
        opt.IncrIter();
        opt.Generate();
        opt.Compute();
        POPULATION copy = opt.GetLamu().DeepCopy();
        const auto t1 = Clock::now();
        opt.PostProcessInds();
        const auto t2 = Clock::now();
        NDSU::assign_rank_crowd_distance(copy);
        copy.SortByRankCrowdDistance();
        const auto t3 = Clock::now();
        total += Seconds(t0, t1) + Seconds(t1, t2);
        ranking += Seconds(t2, t3);
    }
    return {total / generations, ranking / total};
}

} // namespace

int main(int argc, char** argv) {
    const int generations = argc > 1 ? std::atoi(argv[1]) : 50;
    const fs::path work = fs::temp_directory_path() / "vesk-bench-lambdamu";
    fs::remove_all(work);
    fs::create_directories(work);

    // The ZDT1 example as a user runs it (copy, plug-in link, veskv2 -s 2).
    const fs::path example = fs::path(VESK_BENCH_SOURCE_DIR) / "examples" / "zdt1";
    const fs::path run = work / "zdt1";
    fs::create_directories(run);
    for (const auto& entry : fs::directory_iterator(example))
        fs::copy(entry.path(), run / entry.path().filename());
    fs::create_symlink(VESK_MATHCASES_PATH, run / "mathcases.so");
    const std::string command =
        "cd '" + run.string() + "' && '" + VESK_VESKV2_PATH + "' -s 2 > run.log 2>&1";
    const auto a = Clock::now();
    const int status = std::system(command.c_str());
    const double example_seconds = Seconds(a, Clock::now());
    unsigned iterations = 0;
    {
        std::ifstream log(run / "run.log");
        std::string line;
        while (std::getline(log, line))
            if (line.rfind("Iterations: ", 0) == 0)
                iterations = static_cast<unsigned>(std::stoul(line.substr(12)));
    }

    fs::current_path(work);
    std::ofstream("prob.dat") << "ZDT1\n";
    // The optimisers print their progress; keep it out of the table.
    std::ofstream null("/dev/null");
    std::streambuf* console = std::cout.rdbuf(null.rdbuf());
    Sweep sweep[3];
    const int sizes[3] = {100, 400, 1600};
    for (int i = 0; i < 3; ++i)
        sweep[i] = RunSweep(sizes[i], generations);
    std::cout.rdbuf(console);

    std::printf("ZDT1 example (popsize 100, 25,000 evaluations, gnuplot off), veskv2 -s 2:\n");
    std::printf("  status %d, %.2f s in all, %u generations, %.2f ms per generation "
                "(including start-up and the final post-processing)\n\n",
                status, example_seconds, iterations,
                iterations ? 1000.0 * example_seconds / iterations : 0.0);
    std::printf("ZDT1, %d generations, 1 processor:\n", generations);
    std::printf("  %8s  %16s  %16s\n", "popsize", "ms/generation", "ranking share");
    for (int i = 0; i < 3; ++i)
        std::printf("  %8d  %16.3f  %15.1f%%\n", sizes[i], 1000.0 * sweep[i].per_generation,
                    100.0 * sweep[i].ranking_share);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work);
    return 0;
}
