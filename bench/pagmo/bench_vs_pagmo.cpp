// Whole-process wall time of veskv2 against NSGA-II of pagmo2 (the program
// pagmo_nsga2 next to this one) on ZDT1 with the same operators and budget,
// in three runs:
//   1. popsize 100, 25,100 evaluations, no children file;
//   2. the same with the children and parents files in ASCII;
//   3. popsize 1600, 20 generations (33,600 evaluations), no children file.
// veskv2 stops at the evaluation budget; pagmo2 runs the generations that
// make the same budget. The runs alternate between the two programs, and the
// table shows the median of the repetitions of each and their ratio.
//
// The goals compare like with like: pagmo2 keeps no record of its
// evaluations, so veskv2 runs with --no-db there. A second table gives the
// same runs of veskv2 with its evaluation database (the default), whose
// SQLite rows cost about 2.7 us each of processor time.
//
// Usage: bench_vs_pagmo [repetitions]   (default 7)

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../BenchSupport.h"

namespace bs = benchsupport;

namespace {

struct Row {
    const char* title;
    bs::Zdt1Run run;
    unsigned generations; // of pagmo2
    double goal;
};

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 7;
    const bs::fs::path work = bs::fs::temp_directory_path() / "vesk-bench-vs-pagmo";
    bs::fs::remove_all(work);
    bs::fs::create_directories(work);

    std::vector<Row> rows(3);
    rows[0] = {"ZDT1, popsize 100, 25,100 evaluations, no children file", {}, 250, 0.5};
    rows[0].run.popsize = 100;
    rows[0].run.buffer = "0 100";
    rows[0].run.evaluations = 25100;
    rows[1] = rows[0];
    rows[1].title = "the same with children and parents files in ASCII";
    rows[1].run.children = 2;
    rows[1].goal = 1.5;
    rows[2] = {"ZDT1, popsize 1600, 20 generations, no children file", {}, 20, 0.2};
    rows[2].run.popsize = 1600;
    rows[2].run.buffer = "0 1600";
    rows[2].run.evaluations = 1600 + 20 * 1600;

    std::vector<std::vector<double>> vesk(rows.size()), pagmo(rows.size()), vesk_db(rows.size());
    std::vector<std::vector<double>> vesk_cpu(rows.size()), pagmo_cpu(rows.size());
    std::vector<std::string> vesk_evals(rows.size()), pagmo_evals(rows.size());
    bool failed = false;
    for (int r = 0; r < repetitions; ++r) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const bs::fs::path dir = work / ("run" + std::to_string(i));
            bs::PrepareZdt1Folder(dir, rows[i].run, VESK_MATHCASES_PATH);
            int status = 0;
            double cpu = 0.0;
            vesk[i].push_back(bs::RunTimed(dir, VESK_VESKV2_PATH, {"-s", "2", "--no-db"},
                                           work / "veskv2.log", status, &cpu));
            vesk_cpu[i].push_back(cpu);
            vesk_evals[i] = bs::LogValue(work / "veskv2.log", "Objective evaluations: ");
            failed |= status != 0;
            bs::PrepareZdt1Folder(dir, rows[i].run, VESK_MATHCASES_PATH);
            vesk_db[i].push_back(bs::RunTimed(dir, VESK_VESKV2_PATH, {"-s", "2"},
                                              work / "veskv2.log", status, nullptr));
            failed |= status != 0;
            const Row& row = rows[i];
            pagmo[i].push_back(
                bs::RunTimed(work, VESK_PAGMO_NSGA2_PATH,
                             {std::to_string(row.run.popsize), std::to_string(row.generations)},
                             work / "pagmo.log", status, &cpu));
            pagmo_cpu[i].push_back(cpu);
            pagmo_evals[i] = bs::LogValue(work / "pagmo.log", "Objective evaluations: ");
            failed |= status != 0;
        }
    }

    std::printf("veskv2 against pagmo2 NSGA-II (SBX eta 10, pc 0.9; polynomial mutation eta 15, "
                "pm 1/30), whole-process wall time, median of %d alternating runs; veskv2 with "
                "--no-db, as pagmo2 keeps no record of its evaluations:\n\n",
                repetitions);
    std::printf("  %-56s %10s %10s %8s %8s   %s\n", "run", "veskv2 s", "pagmo2 s", "ratio", "goal",
                "evaluations (veskv2 / pagmo2)");
    for (size_t i = 0; i < rows.size(); ++i) {
        const double v = bs::Median(vesk[i]), p = bs::Median(pagmo[i]);
        const double ratio = p > 0 ? v / p : 0.0;
        std::printf("  %-56s %10.3f %10.3f %8.2f %8s   %s / %s%s\n", rows[i].title, v, p, ratio,
                    ("<= " + std::to_string(rows[i].goal).substr(0, 3)).c_str(),
                    vesk_evals[i].c_str(), pagmo_evals[i].c_str(),
                    ratio <= rows[i].goal ? "" : "   (goal missed)");
    }
    auto table = [&](const char* heading, const std::vector<std::vector<double>>& ours,
                     const std::vector<std::vector<double>>& theirs) {
        std::printf("\n%s\n\n", heading);
        std::printf("  %-56s %10s %10s %8s\n", "run", "veskv2 s", "pagmo2 s", "ratio");
        for (size_t i = 0; i < rows.size(); ++i) {
            const double v = bs::Median(ours[i]), p = bs::Median(theirs[i]);
            std::printf("  %-56s %10.3f %10.3f %8.2f\n", rows[i].title, v, p, p > 0 ? v / p : 0.0);
        }
    };
    table("The same runs of veskv2 with its evaluation database (evaluations.db, the default), "
          "wall time:",
          vesk_db, pagmo);
    table("Processor time (user and system) of the --no-db runs and of pagmo2, medians; less "
          "disturbed than the wall time by other work on the machine:",
          vesk_cpu, pagmo_cpu);
    if (failed)
        std::printf("\nA run ended with a non-zero status; see the logs in %s.\n",
                    work.string().c_str());
    else
        bs::fs::remove_all(work);
    return failed ? 1 : 0;
}
