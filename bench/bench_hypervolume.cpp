// Cost of the hypervolume: the exact computation on fronts of the sizes long
// runs reach, and what one generation of a run costs to keep the front so far
// and its hypervolume (100 new designs offered to a front of that size).
//
// Fronts: 2 objectives on the ZDT1 curve, 3 or more on the unit sphere
// (DTLZ2), points drawn at random so that all of them are non-dominated.
// Each time is the median of 5 repetitions.
//
// Usage: bench_hypervolume

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "model/HYVU.h"
#include "model/ParetoArchive.h"

namespace {

using Points = std::vector<std::vector<double>>;

// n points of the true front: f2 = 1 - sqrt(f1) for 2 objectives, the unit
// sphere in the positive orthant otherwise.
Points Front(std::mt19937& gen, size_t n, unsigned d) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> g(0.0, 1.0);
    Points pts(n, std::vector<double>(d));
    for (auto& p : pts) {
        if (d == 2) {
            p[0] = u(gen);
            p[1] = 1.0 - std::sqrt(p[0]);
            continue;
        }
        double norm = 0.0;
        for (double& x : p) {
            x = std::fabs(g(gen));
            norm += x * x;
        }
        for (double& x : p)
            x /= std::sqrt(norm);
    }
    return pts;
}

double MedianMs(int repeats, const std::function<void()>& f) {
    std::vector<double> ms;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        f();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void Row(const char* what, unsigned d, size_t n, double ms, double hv) {
    std::printf("| %-28s | %10u | %7zu | %12.3f | %14.10f |\n", what, d, n, ms, hv);
}

void Computation(std::mt19937& gen, unsigned d, size_t n) {
    const Points pts = Front(gen, n, d);
    const std::vector<double> ref(d, 1.1);
    double hv = 0.0;
    const double ms = MedianMs(5, [&] { hv = HYVU::hypervolume(pts, ref); });
    Row("hypervolume of a front", d, n, ms, hv);
}

// A front of n points held by the archive, then 100 new points offered (the
// size of a generation), as a run does after every generation: the time is
// that of the offer and the new hypervolume.
void Generation(std::mt19937& gen, unsigned d, size_t n) {
    const std::vector<double> ref(d, 1.1);
    const Points held = Front(gen, n, d);
    const Points fresh = Front(gen, 100, d);
    double hv = 0.0;
    std::vector<double> times;
    for (int r = 0; r < 5; ++r) {
        ParetoArchive archive(d);
        for (const auto& p : held)
            archive.Insert(p);
        archive.SetReference(ref);
        const auto start = std::chrono::steady_clock::now();
        for (const auto& p : fresh)
            archive.Insert(p);
        hv = archive.Hypervolume();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    Row("one generation (100 offered)", d, n, times[times.size() / 2], hv);
}

} // namespace

int main() {
    std::mt19937 gen(1);
    std::printf("| %-28s | %10s | %7s | %12s | %14s |\n", "case", "objectives", "points",
                "time (ms)", "hypervolume");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(30, '-').c_str(), std::string(12, '-').c_str(),
                std::string(9, '-').c_str(), std::string(14, '-').c_str(),
                std::string(16, '-').c_str());
    Computation(gen, 2, 10000);
    Computation(gen, 3, 2000);
    Computation(gen, 3, 10000);
    Computation(gen, 4, 200);
    Computation(gen, 4, 1000);
    Computation(gen, 5, 200);
    Computation(gen, 6, 100);
    Generation(gen, 2, 10000);
    Generation(gen, 3, 2000);
    Generation(gen, 4, 1000);
    return 0;
}
