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

// Prints one warning line naming a file that could not be opened for writing.
// Each file name is reported once per process, so a file that fails on every
// append of a long run does not flood the console.
void WarnCannotWrite(const std::string& file);

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
