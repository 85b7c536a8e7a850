#ifndef VESK_MODEL_UTILS_H
#define VESK_MODEL_UTILS_H

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

// Small numeric helpers and the single exit path for fatal errors.
namespace UTILS {

// Raised instead of ending the process when fatal errors are switched to
// throwing (tests use this to exercise fatal paths in process).
class FatalError : public std::runtime_error {
public:
    explicit FatalError(const std::string& text) : std::runtime_error(text) {}
};

// Prints every line followed by a line break, flushes standard output and ends
// the process with exit status 1 (or throws FatalError, see SetFatalThrows).
[[noreturn]] void Stop(const std::vector<std::string>& lines);

// Switches Stop between ending the process (the default) and throwing.
void SetFatalThrows(bool throws);
bool FatalThrows();

// Reports a result file that could not be opened, written or closed, with
// the system's reason (errno at the time of the call): a lost result must
// never go unnoticed. On the main thread the run stops at once ("Could not
// write FILE: reason.", "Program stopped!"); inside a parallel region the
// first failure is kept and CheckWriteFailures stops the run once the threads
// have joined, because a worker thread must not end the process.
void WriteFailed(const std::string& file);
void CheckWriteFailures();
// The former name of WriteFailed, kept for the writers that still call it.
inline void WarnCannotWrite(const std::string& file) {
    WriteFailed(file);
}
// Stops the run, naming the file and the reason, when one of files cannot be
// written where it is (an existing file is opened for appending, a missing one
// is created and removed again). Run before the first evaluation, so that
// hours of evaluations are not spent on results that cannot be saved.
void CheckWritable(const std::vector<std::string>& files);

// Limits of the counts that the input files give. They are checked before
// anything is allocated from them, so that a mistyped or corrupt count stops
// the run with a message instead of exhausting memory or threads (README,
// "Limits").
// Processors (threads) of a local evaluation unit.
constexpr unsigned kMaxProcessors = 1024;
// Numbers of one design: ndvs + nobj + nctr.
constexpr unsigned long long kMaxDesignNumbers = 1000000;
// Members of one population (population size, buffer size).
constexpr unsigned long long kMaxPopulationMembers = 1000000;
// Numbers of one population: members x (ndvs + nobj + nctr), 800 MB.
constexpr unsigned long long kMaxPopulationNumbers = 100000000;
// Points of a design variable's step grid: a value is put on the grid by
// walking it from the lower bound, so the walk must stay short.
constexpr double kMaxGridPoints = 1e7;

// Empty when designs of these counts are within the limits, otherwise why
// they are not ("NDVs 5 + NObj 2 + NCtr 0 = ...").
std::string DesignLimitProblem(unsigned long long ndvs, unsigned long long nobj,
                               unsigned long long nctr);
// Empty when a population of members such designs is within the limits,
// otherwise why it is not; what names the population ("the buffer").
std::string PopulationLimitProblem(const std::string& what, unsigned long long members,
                                   unsigned long long ndvs, unsigned long long nobj,
                                   unsigned long long nctr);
// Starts up to n threads at once (the most a parallel evaluation runs) and
// returns how many could run together: n when the machine can run them all.
// The OpenMP runtime ends the process without a word of ours when it cannot
// create a thread, so the processors are tried this way first.
unsigned StartableThreads(unsigned n);

// The current time in UTC as 2026-12-08T13:39:27Z.
std::string UtcTimestamp();

// Writes x seconds as "H hours M minutes S seconds."
std::ostream& out_seconds_in_hms(std::ostream& os, double x);

// Clips x to [lower, upper]; true when x was set to a bound (a value exactly on
// a bound counts as restricted).
bool RestrictToBound(double& x, double lower, double upper);
std::vector<bool> RestrictToBound(std::vector<double>& x, const std::vector<double>& lower,
                                  const std::vector<double>& upper);

// Replaces the first occurrence of the count placeholders $(NDVS)/$(ndvs),
// $(NOBJ)/$(nobj) and $(NCTR)/$(nctr) by their decimal values.
std::string ParseArgument(const std::string& arg, unsigned ndvs, unsigned nobj, unsigned nctr);

} // namespace UTILS

#endif
