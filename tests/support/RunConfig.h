#ifndef VESK_TESTS_RUNCONFIG_H
#define VESK_TESTS_RUNCONFIG_H

// Builds the text configuration files of a single evolutionary run for tests.

#include <string>
#include <vector>

namespace testsupport {

struct RunConfig {
    std::string problem = "ZDT1"; // written to prob.dat
    unsigned ndvs = 30;
    unsigned nobj = 2;
    unsigned nctr = 0;
    unsigned ncpu = 1;
    std::string plugin; // defaults to the mathcases plug-in
    int popsize = 100;
    std::string buffer = "0 100"; // popinit and its value
    double pc = 0.9;
    double pm = 1.0 / 30.0;
    std::vector<double> step;     // default: all 0
    std::vector<double> lower;    // default: all 0
    std::vector<double> upper;    // default: all 1
    std::string names = "0";      // objective-names line
    std::string stop = "0 25000"; // stopping-rule line
};

// The lines read by the optimiser's stream constructor: counts, evaluation
// unit and the evolutionary block.
std::string OptimizerBlock(const RunConfig& c);
// A whole "input.QERN" for one LAMBDAMU player.
std::string InputQERN(const RunConfig& c);
// "write.QERN": children code, Pareto history mode, baseline line, report
// interval, gnuplot line.
std::string WriteQERN(int childs, int history, const std::string& baseline = "0",
                      unsigned report = 0, const std::string& plots = "0");
// Writes input.QERN, write.QERN and prob.dat into dir.
void WriteRun(const std::string& dir, const RunConfig& c, const std::string& write_qern);

// A single LAMBDAMU run whose analyser is an external command: two design
// variables in [0, 5] x [0, 3], two objectives, two constraints.
struct CommandRun {
    unsigned ncpu = 1;
    std::string command = "./bnh.sh";
    std::vector<std::string> essentials;
    unsigned popsize = 8;
    unsigned evaluations = 40;
    double pc = 0.9;
    double pm = 0.5;
};
// Writes its input.QERN, and a write.QERN asking for the children file in
// ASCII and no plots.
void WriteRunFiles(const std::string& dir, const CommandRun& run);

// The data lines of an ASCII population file, as text and as numbers.
std::vector<std::string> DataLines(const std::string& file);
std::vector<std::vector<double>> Records(const std::string& file);
// True for a record of a CommandRun that got the failure penalty: both
// objectives at the worst value, both constraints violated as far as they go.
bool PenalisedRecord(const std::vector<double>& record);
// A command for a CommandRun that hangs on the first design it gets, in a
// shell and a child that both ignore SIGTERM (their pids go to ../shell.pid
// and ../child.pid), and runs ./bnh.sh for every other design.
extern const char* const kHangOnceScript;
// Expects both processes of kHangOnceScript, started in dir, ended.
void ExpectHungProcessesEnded(const std::string& dir);

} // namespace testsupport

#endif
