// Speed of the population files: writes and reads a population of 100,000
// members with 30 design variables, 2 objectives and 1 constraint in the
// ASCII and the binary format, and prints members per second for each of the
// four operations (best of several repetitions). The files read back are
// checked against the population written.
//
// Usage: bench_population_io [members] [repetitions]   (defaults 100000, 3)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "model/POPULATION.h"
#include "model/RANU.h"
#include "output/PIOU.h"

namespace fs = std::filesystem;

namespace {

// Runs f repetitions times with standard output silenced (the readers report
// their progress) and returns the shortest wall time in seconds.
double BestTime(int repetitions, const std::function<void()>& f) {
    double best = 1e300;
    for (int r = 0; r < repetitions; ++r) {
        std::cout.flush();
        std::streambuf* saved = std::cout.rdbuf(nullptr);
        const auto start = std::chrono::steady_clock::now();
        f();
        const auto stop = std::chrono::steady_clock::now();
        std::cout.rdbuf(saved);
        std::cout.clear();
        best = std::min(best, std::chrono::duration<double>(stop - start).count());
    }
    return best;
}

// Largest relative difference between two populations' values (0 when equal),
// or -1 when their sizes differ.
double Compare(const POPULATION& a, const POPULATION& b) {
    if (a.GetPopsize() != b.GetPopsize())
        return -1.0;
    double worst = 0.0;
    auto diff = [&worst](double x, double y) {
        const double scale = std::max(std::fabs(x), 1e-300);
        worst = std::max(worst, std::fabs(x - y) / scale);
    };
    for (unsigned i = 0; i < a.GetPopsize(); ++i) {
        for (unsigned k = 0; k < a.GetNobj(); ++k)
            diff(a[i].GetObj(k), b[i].GetObj(k));
        for (unsigned k = 0; k < a.GetNdvs(); ++k)
            diff(a[i].GetDvs(k), b[i].GetDvs(k));
        for (unsigned k = 0; k < a.GetNctr(); ++k)
            diff(a[i].GetCtr(k), b[i].GetCtr(k));
        diff(a[i].crowd_distance, b[i].crowd_distance);
        if (a[i].rank != b[i].rank)
            worst = std::max(worst, 1.0);
    }
    return worst;
}

} // namespace

int main(int argc, char** argv) {
    const unsigned members = argc > 1 ? static_cast<unsigned>(std::atol(argv[1])) : 100000u;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 3;
    const int ndvs = 30, nobj = 2, nctr = 1;

    // A population with values of every magnitude, as a run produces.
    RANU ranu;
    ranu.SeedFromPair(1802, 9373);
    POPULATION pop("bench", ndvs, nobj, nctr, static_cast<int>(members), true);
    std::vector<double> x(ndvs);
    for (unsigned i = 0; i < members; ++i) {
        for (double& v : x)
            v = ranu.Rnd(-5.0, 5.0);
        pop[i].SetDvs(x);
        pop[i].SetEval({ranu.RandomUniform() * 1e3, ranu.Rnd(-1e-3, 1e6)}, {ranu.Rnd(-1.0, 1.0)});
        pop[i].rank = static_cast<unsigned>(ranu.RndInt(1, 50));
        pop[i].crowd_distance = ranu.RandomUniform() < 0.1 ? 2e14 : ranu.RandomUniform();
    }

    char templ[] = "/tmp/vesk-bench-io-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = templ;
    const std::string ascii = dir + "/pop.out";
    const std::string binary = dir + "/pop.bin";

    POPULATION ascii_read, binary_read;
    const double t_write_a = BestTime(repetitions, [&] { pop.WriteFileAscii(ascii, false); });
    const double t_read_a =
        BestTime(repetitions, [&] { ascii_read = PIOU::read_population_a(ascii); });
    const double t_write_b = BestTime(repetitions, [&] { pop.WriteFileBin(binary); });
    const double t_read_b =
        BestTime(repetitions, [&] { binary_read = PIOU::read_population_b(binary); });

    const long ascii_size = static_cast<long>(fs::file_size(ascii));
    const long binary_size = static_cast<long>(fs::file_size(binary));
    const double ascii_error = Compare(pop, ascii_read);
    const double binary_error = Compare(pop, binary_read);
    fs::remove_all(dir);

    std::printf("Population files: %u members, %d design variables, %d objectives, %d "
                "constraint (best of %d)\n",
                members, ndvs, nobj, nctr, repetitions);
    std::printf("%-14s %12s %14s %14s\n", "operation", "seconds", "members/s", "file MB");
    auto row = [&](const char* name, double t, long size) {
        std::printf("%-14s %12.3f %14.0f %14.1f\n", name, t, members / t, size / 1048576.0);
    };
    row("write ASCII", t_write_a, ascii_size);
    row("read ASCII", t_read_a, ascii_size);
    row("write binary", t_write_b, binary_size);
    row("read binary", t_read_b, binary_size);
    std::printf("largest relative difference after reading back: ASCII %.3g, binary %.3g\n",
                ascii_error, binary_error);
    const bool ok = ascii_error >= 0.0 && ascii_error < 1e-10 && binary_error == 0.0;
    if (!ok)
        std::printf("ERROR: the files read back differ from the population written\n");
    return ok ? 0 : 1;
}
