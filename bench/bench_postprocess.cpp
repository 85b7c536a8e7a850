// Times what a long run of the evolutionary optimiser does after its last
// generation, and a restart from its children file:
// - the final post-processing (PostProcessOpt: reading the whole children
//   file back, rebuilding the last Pareto front and, with Pareto history 1,
//   the front after every generation) of seeded ZDT1 runs, popsize 100, with
//   the children file in ASCII and in binary;
// - a restart of veskv2 from the ASCII children file of the long run
//   (initial-buffer mode 2: the file is the buffer, read with its results,
//   ranked, and written again as the initial buffer), for one generation,
//   timed as a whole process.
// Pareto history 1 appends the whole front after every generation, so its
// output grows with the square of the run's length (some 60 million records
// for 300,000 evaluations of ZDT1); it is timed on a shorter run.
//
// Usage: bench_postprocess [evaluations] [history-evaluations]
//        (defaults 300000 and 25000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "BenchSupport.h"
#include "optim/LAMBDAMU.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"

namespace bs = benchsupport;
using Clock = std::chrono::steady_clock;

namespace {

// Processor time (user and system) of this process so far.
double ProcessorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The evolutionary optimiser with its final post-processing timed.
class TimedLAMBDAMU : public LAMBDAMU {
public:
    using LAMBDAMU::LAMBDAMU;
    void PostProcessOpt() override {
        const auto start = Clock::now();
        const double cpu_start = ProcessorSeconds();
        LAMBDAMU::PostProcessOpt();
        cpu = ProcessorSeconds() - cpu_start;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    double seconds = 0.0;
    double cpu = 0.0;
};

WriteData Output(bool ascii, int history) {
    WriteData data;
    data.SetReportIter(0);
    data.SetRunPlots(false);
    data.SetWriteChilds(true);
    data.SetWriteASCIIFormat(ascii);
    data.SetParetoHistoryMode(history);
    return data;
}

unsigned long long CountRecords(const bs::fs::path& file) {
    std::ifstream is(file);
    std::string line;
    unsigned long long n = 0;
    while (std::getline(is, line))
        if (!line.empty() && line[0] != '#')
            ++n;
    return n;
}

unsigned long long FileBytes(const bs::fs::path& file) {
    std::error_code ec;
    const auto size = bs::fs::file_size(file, ec);
    return ec ? 0 : static_cast<unsigned long long>(size);
}

struct Timing {
    unsigned evaluations;
    bool ascii;
    int history;
    double seconds;
    double cpu;
    unsigned long long children_bytes;
    unsigned long long front;
    unsigned long long history_records;
    unsigned long long history_bytes;
};

// Runs a seeded ZDT1 optimisation of the given budget in dir and times its
// final post-processing with the first Pareto history mode of modes, then
// again on the same children file with each further mode.
void RunAndTime(const bs::fs::path& dir, unsigned evaluations, bool ascii,
                const std::vector<int>& modes, std::vector<Timing>& table) {
    bs::fs::remove_all(dir);
    bs::fs::create_directories(dir);
    bs::fs::current_path(dir);
    std::ofstream("prob.dat") << "ZDT1\n";
    std::istringstream in(bs::ZdtBlock(VESK_MATHCASES_PATH, 100));
    std::ofstream null("/dev/null");
    std::streambuf* console = std::cout.rdbuf(null.rdbuf());
    TimedLAMBDAMU opt(in, 2);
    opt.SetWriteData(Output(ascii, modes.front()));
    opt.SetTerminationCriteria(TerminationCriteriaNEvals(evaluations));
    double elapsed = 0.0;
    long start = static_cast<long>(std::time(nullptr));
    opt.Run(elapsed, start);
    std::vector<double> seconds = {opt.seconds}, cpu = {opt.cpu};
    for (size_t m = 1; m < modes.size(); ++m) {
        opt.SetWriteData(Output(ascii, modes[m]));
        opt.PostProcessOpt();
        seconds.push_back(opt.seconds);
        cpu.push_back(opt.cpu);
    }
    std::cout.rdbuf(console);
    const auto children = opt.GetWriteData()->GetChildsFilename();
    for (size_t m = 0; m < modes.size(); ++m) {
        Timing t{};
        t.evaluations = evaluations;
        t.ascii = ascii;
        t.history = modes[m];
        t.seconds = seconds[m];
        t.cpu = cpu[m];
        t.children_bytes = FileBytes(children);
        t.front = CountRecords("pareto_Last.front");
        if (modes[m] == 1) {
            t.history_records = CountRecords("pareto_History.front");
            t.history_bytes = FileBytes("pareto_History.front");
        }
        table.push_back(t);
    }
}

} // namespace

int main(int argc, char** argv) {
    const unsigned evaluations = argc > 1 ? static_cast<unsigned>(std::atol(argv[1])) : 300000u;
    const unsigned history_evaluations =
        argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 25000u;
    const bs::fs::path work = bs::fs::temp_directory_path() / "vesk-bench-postprocess";
    bs::fs::remove_all(work);
    bs::fs::create_directories(work);

    std::vector<Timing> table;
    RunAndTime(work / "ascii", evaluations, true, {0}, table);
    RunAndTime(work / "binary", evaluations, false, {0}, table);
    RunAndTime(work / "history-ascii", history_evaluations, true, {1}, table);
    RunAndTime(work / "history-binary", history_evaluations, false, {1}, table);

    // The restart: the long run's ASCII children file as the buffer.
    bs::Zdt1Run restart;
    restart.buffer = "2 " + (work / "ascii" / "childs.out").string();
    restart.evaluations = 100;
    const bs::fs::path dir = work / "restart";
    bs::PrepareZdt1Folder(dir, restart, VESK_MATHCASES_PATH);
    int status = 0;
    double restart_cpu = 0.0;
    const double restart_seconds =
        bs::RunTimed(dir, VESK_VESKV2_PATH, {"-s", "2"}, dir / "run.log", status, &restart_cpu);
    const std::string buffer_read = bs::LogValue(dir / "run.log", "   Individuals read ");

    std::printf("Final post-processing of seeded ZDT1 runs (popsize 100), wall and processor "
                "time of PostProcessOpt:\n\n");
    std::printf("  %12s  %8s  %14s  %12s  %10s  %22s  %8s  %8s\n", "evaluations", "children",
                "Pareto history", "children MB", "last front", "history records", "seconds",
                "cpu s");
    for (const Timing& t : table) {
        const std::string history = t.history == 1
                                        ? std::to_string(t.history_records) + " (" +
                                              std::to_string(t.history_bytes / 1000000) + " MB)"
                                        : "-";
        std::printf("  %12u  %8s  %14s  %12.1f  %10llu  %22s  %8.3f  %8.3f\n", t.evaluations,
                    t.ascii ? "ASCII" : "binary", t.history == 1 ? "1 (rebuilt)" : "0 (none)",
                    t.children_bytes / 1e6, t.front, history.c_str(), t.seconds, t.cpu);
    }
    std::printf("\nRestart from the %u-evaluation ASCII children file (initial-buffer mode 2, "
                "%s designs read), one generation, whole veskv2 process: %.3f s (processor "
                "%.3f s)%s\n",
                evaluations, buffer_read.c_str(), restart_seconds, restart_cpu,
                status == 0 ? "" : "  (veskv2 failed; see its run.log)");
    bs::fs::current_path(bs::fs::temp_directory_path());
    if (status == 0)
        bs::fs::remove_all(work);
    return status == 0 ? 0 : 1;
}
