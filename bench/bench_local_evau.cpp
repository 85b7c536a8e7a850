// Parallel speed-up of the local evaluation unit: a population evaluated
// through LocalEVAU with the slow test plug-in (a fixed amount of processor
// time per design, so instances only run faster when there are cores for
// them) on 1, 2 and 4 processors. Prints the wall time per population and the
// speed-up over one processor; the machine's core count bounds what can be
// gained (4 processors on 2 cores are shown for information). A second table
// repeats the measure with run times that vary from design to design (1 to
// 10 times the base time), which dynamic scheduling is meant to balance.
//
// Usage: bench_local_evau [designs] [microseconds per design] [populations]
//        (defaults 48, 3000, 5; the varied table uses a third of the base time)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/LocalEVAU.h"
#include "model/POPULATION.h"
#include "model/RANU.h"

namespace {

// One table: every processor count on the same sequence of populations.
void RunTable(const std::string& plugin, unsigned designs, double micros, double spread,
              int populations) {
    const unsigned ndvs = 10, nobj = 2, nctr = 1;
    setenv("VESK_TEST_SLOW_US", std::to_string(micros).c_str(), 1);
    setenv("VESK_TEST_SLOW_SPREAD", std::to_string(spread).c_str(), 1);
    std::printf("%u designs per population, %.0f us of processor time per design", designs, micros);
    if (spread > 0.0)
        std::printf(" times 1 to %.0f (first variable)", 1.0 + spread);
    std::printf(", %d populations\n", populations);
    std::printf("%6s %22s %18s %10s %12s\n", "ncpu", "seconds/population", "ms/design", "speed-up",
                "evaluations");
    double serial = 0.0;
    for (unsigned ncpu : {1u, 2u, 4u}) {
        // Construction and loading report to the console; keep the table clean.
        std::cout.flush();
        std::streambuf* saved = std::cout.rdbuf(nullptr);
        LocalEVAU unit(ndvs, nobj, nctr, ncpu,
                       nlohmann::json{{"AnalyzerType", 0}, {"CommandFile", plugin}});
        unit.Init(designs);
        RANU ranu;
        ranu.SeedFromPair(1802, 9373);
        double total = 0.0;
        for (int p = 0; p < populations; ++p) {
            POPULATION pop("bench", ndvs, nobj, nctr, static_cast<int>(designs), true);
            pop.RandomInit(std::vector<double>(ndvs, 0.0), std::vector<double>(ndvs, 1.0),
                           std::vector<double>(ndvs, 0.0), ranu);
            const auto start = std::chrono::steady_clock::now();
            unit.Compute(pop, nullptr, {}, {}, nullptr);
            total +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        std::cout.rdbuf(saved);
        std::cout.clear();
        const double per_population = total / populations;
        if (ncpu == 1)
            serial = per_population;
        std::printf("%6u %22.4f %18.3f %10.2f %12u\n", ncpu, per_population,
                    1e3 * per_population / designs, serial / per_population, unit.GetObjEvals());
    }
}

} // namespace

int main(int argc, char** argv) {
    const unsigned designs = argc > 1 ? static_cast<unsigned>(std::atol(argv[1])) : 48u;
    const double micros = argc > 2 ? std::atof(argv[2]) : 3000.0;
    const int populations = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::string plugin = std::string(VESK_BENCH_PLUGINS_DIR) + "/vesk_test_slow.so";
    std::printf("LocalEVAU with the slow test plug-in, %u hardware threads\n",
                std::thread::hardware_concurrency());
    RunTable(plugin, designs, micros, 0.0, populations);
    std::printf("\n");
    RunTable(plugin, designs, micros / 3.0, 9.0, populations);
    return 0;
}
