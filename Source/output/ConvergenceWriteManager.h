#ifndef VESK_OUTPUT_CONVERGENCEWRITEMANAGER_H
#define VESK_OUTPUT_CONVERGENCEWRITEMANAGER_H

#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"

// Writes a convergence file as a staircase: a line only where some best value
// changed, plus the line before each step and a closing line at destruction.
class ConvergenceWriteManager {
public:
    ConvergenceWriteManager();
    ConvergenceWriteManager(const ConvergenceWriteManager&) = delete;
    ConvergenceWriteManager& operator=(const ConvergenceWriteManager&) = delete;
    virtual ~ConvergenceWriteManager();

    // Creates (truncates) the file with its header line.
    void Init(const std::string& file, unsigned nobj, std::string first_title);
    void WriteConvergenceToFile(const std::vector<double>& values, unsigned index);
    // values[i] = objective i of bestfits[i].
    void WriteConvergenceToFile(const std::vector<INDIVIDUAL>& bestfits, unsigned index);

private:
    bool mFirstWrite;
    std::string mFile;
    unsigned mLastSeen;
    unsigned mLastWritten;
    std::vector<double> mLastValues;
    unsigned mCount;
    bool mInitialised;
};

#endif
