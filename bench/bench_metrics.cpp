// Quality of the evolutionary optimiser on the ZDT problems, next to the
// published real-coded NSGA-II figures (Deb, Pratap, Agarwal, Meyarivan 2002):
// popsize 100, 25,000 evaluations, pc 0.9, pm 1/n, 5 seeds. Convergence is
// POPULATION::DistanceMetric and diversity POPULATION::DiversityMetric of the
// non-dominated members of the final population against 500 evenly spaced
// points of the problem's true front.
//
// Usage: bench_metrics [runs]   (default 5 seeds: 2, 3, 4, 5, 6)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "model/POPULATION.h"
#include "optim/LAMBDAMU.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"

namespace fs = std::filesystem;

namespace {

struct Problem {
    const char* name;
    unsigned ndvs;
    double lower_rest; // bounds of x2..xn (x1 is always in [0, 1])
    double upper_rest;
    std::function<double(double)> front; // f2 on the true front as a function of f1
    bool disconnected;
    double published_convergence;
    double published_diversity;
};

const double kPi = 3.141592653589793;

POPULATION Points(const std::vector<std::pair<double, double>>& points) {
    POPULATION pop("true front", 1, 2, 0, 0, false);
    INDIVIDUAL ind(1, 2, 0, nullptr);
    for (const auto& p : points) {
        ind.SetEval({p.first, p.second}, {});
        pop.PushBackNewInd(ind);
    }
    return pop;
}

// 500 points of the true front, evenly spaced in f1 and ordered by f1. For a
// disconnected front (ZDT3) the curve is sampled finely, its non-dominated
// part kept, and 500 points taken evenly over that part.
POPULATION TrueFront(const Problem& p) {
    const unsigned n = 500;
    std::vector<std::pair<double, double>> points;
    if (!p.disconnected) {
        for (unsigned k = 0; k < n; ++k) {
            const double f1 = static_cast<double>(k) / (n - 1);
            points.emplace_back(f1, p.front(f1));
        }
        return Points(points);
    }
    const unsigned fine = 1000000;
    std::vector<std::pair<double, double>> kept;
    double best = INFINITY;
    for (unsigned k = 0; k <= fine; ++k) {
        const double f1 = static_cast<double>(k) / fine;
        const double f2 = p.front(f1);
        if (f2 < best) {
            kept.emplace_back(f1, f2);
            best = f2;
        }
    }
    for (unsigned k = 0; k < n; ++k)
        points.push_back(kept[static_cast<size_t>(
            std::llround(static_cast<double>(k) * (kept.size() - 1) / (n - 1)))]);
    return Points(points);
}

std::string MakeTempDir() {
    std::string templ = (fs::temp_directory_path() / "vesk-bench-XXXXXX").string();
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return buffer.data();
}

struct RunResult {
    double convergence;
    double diversity;
    unsigned front_size;
    unsigned evaluations;
    double seconds;
};

// One run in its own folder, with the optimiser built in process from a
// legacy input block and the output switched to a quiet minimum.
RunResult RunOnce(const Problem& p, const POPULATION& reference, unsigned seed) {
    const std::string dir = MakeTempDir();
    const fs::path previous_cwd = fs::current_path();
    fs::current_path(dir);
    std::ofstream("prob.dat") << p.name << "\n";
    // No children file, no Pareto history, no baseline, no reports, no plots.
    std::ofstream("write.QERN") << "0\n0\n0\n0\n0\n";

    std::ostringstream in;
    in << std::setprecision(17);
    in << p.ndvs << "\n2\n0\n1\n0\n" << VESK_MATHCASES_PATH << "\n0\n0\n";
    in << "100\n0 100\n0.9\n" << 1.0 / p.ndvs << "\n";
    for (unsigned i = 0; i < p.ndvs; ++i)
        in << "0 ";
    in << "\n0 ";
    for (unsigned i = 1; i < p.ndvs; ++i)
        in << p.lower_rest << " ";
    in << "\n1 ";
    for (unsigned i = 1; i < p.ndvs; ++i)
        in << p.upper_rest << " ";
    in << "\n";

    std::ostringstream sink;
    std::streambuf* const console = std::cout.rdbuf(sink.rdbuf());
    const auto t0 = std::chrono::steady_clock::now();
    RunResult result{};
    {
        std::istringstream block(in.str());
        LAMBDAMU lambdamu(block, seed);
        WriteData wdata;
        wdata.LoadConfigFile();
        lambdamu.SetWriteData(wdata);
        lambdamu.SetTerminationCriteria(TerminationCriteriaNEvals(25000));
        double elapsed = 0.0;
        long start = static_cast<long>(std::time(nullptr));
        lambdamu.Run(elapsed, start);
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

        // The final population: the best popsize of the last ranking.
        POPULATION lamu = lambdamu.GetLamu();
        POPULATION final_pop = lamu.SubPop(0, 100);
        POPULATION front = final_pop.ParetoPop(true);
        front.Sort(0);
        result.front_size = front.GetPopsize();
        result.evaluations = lambdamu.GetObjEvals();
        result.convergence = front.DistanceMetric(reference);
        result.diversity = front.DiversityMetric(reference, false);
    }
    std::cout.rdbuf(console);

    fs::current_path(previous_cwd);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return result;
}

void MeanSd(const std::vector<double>& v, double& mean, double& sd) {
    mean = 0.0;
    for (double x : v)
        mean += x;
    mean /= v.size();
    double s = 0.0;
    for (double x : v)
        s += (x - mean) * (x - mean);
    sd = v.size() > 1 ? std::sqrt(s / (v.size() - 1)) : 0.0;
}

} // namespace

int main(int argc, char** argv) {
    const unsigned runs = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 5;
    if (runs == 0) {
        std::cerr << "usage: bench_metrics [runs]" << std::endl;
        return 1;
    }
    auto zdt1 = [](double f1) { return 1.0 - std::sqrt(f1); };
    const std::vector<Problem> problems = {
        {"ZDT1", 30, 0.0, 1.0, zdt1, false, 0.033482, 0.390307},
        {"ZDT2", 30, 0.0, 1.0, [](double f1) { return 1.0 - f1 * f1; }, false, 0.072391, 0.430776},
        {"ZDT3", 30, 0.0, 1.0,
         [](double f1) { return 1.0 - std::sqrt(f1) - f1 * std::sin(10.0 * kPi * f1); }, true,
         0.114500, 0.738540},
        {"ZDT4", 10, -5.0, 5.0, zdt1, false, 0.513053, 0.702612},
    };

    std::cout << "LAMBDAMU on the ZDT problems: popsize 100, 25000 evaluations, pc 0.9, "
                 "pm 1/n, "
              << runs << " seeds (2.." << runs + 1 << ")" << std::endl;
    std::cout << "convergence = DistanceMetric, diversity = DiversityMetric, against 500 points "
                 "of the true front"
              << std::endl
              << std::endl;
    std::cout << std::left << std::setw(7) << "problem" << std::right << std::setw(12)
              << "conv mean" << std::setw(11) << "conv sd" << std::setw(13) << "NSGA-II conv"
              << std::setw(11) << "div mean" << std::setw(10) << "div sd" << std::setw(12)
              << "NSGA-II div" << std::setw(8) << "front" << std::setw(8) << "evals" << std::setw(8)
              << "s/run" << std::endl;
    std::cout << std::string(100, '-') << std::endl;
    std::cout << std::fixed;
    for (const Problem& p : problems) {
        const POPULATION reference = TrueFront(p);
        std::vector<double> conv, div, size, secs, evals;
        for (unsigned r = 0; r < runs; ++r) {
            const RunResult result = RunOnce(p, reference, 2 + r);
            conv.push_back(result.convergence);
            div.push_back(result.diversity);
            size.push_back(result.front_size);
            secs.push_back(result.seconds);
            evals.push_back(result.evaluations);
        }
        double cm, cs, dm, ds, sm, ss, tm, ts, em, es;
        MeanSd(conv, cm, cs);
        MeanSd(div, dm, ds);
        MeanSd(size, sm, ss);
        MeanSd(secs, tm, ts);
        MeanSd(evals, em, es);
        std::cout << std::left << std::setw(7) << p.name << std::right << std::setprecision(6)
                  << std::setw(12) << cm << std::setw(11) << cs << std::setw(13)
                  << p.published_convergence << std::setw(11) << dm << std::setw(10) << ds
                  << std::setw(12) << p.published_diversity << std::setprecision(1) << std::setw(8)
                  << sm << std::setprecision(0) << std::setw(8) << em << std::setprecision(2)
                  << std::setw(8) << tm << std::endl;
    }
    return 0;
}
