#ifndef VESK_OUTPUT_CONVERGENCEWRITEMANAGER_H
#define VESK_OUTPUT_CONVERGENCEWRITEMANAGER_H

#include <functional>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"

// The staircase rule of convergence files, whatever writes their lines: after
// the first line, a line only where some value changed, preceded by the
// previous values at the index just before the change when the change is not
// at the next index, so that the curve is drawn as a staircase; and a closing
// line at the last index seen.
class ConvergenceStaircase {
public:
    using WriteLine = std::function<void(const std::vector<double>& values, unsigned index)>;

    bool Started() const { return mStarted; }
    // The first line, which its writer has written.
    void Start(const std::vector<double>& values, unsigned index);
    // The point (values, index) after the first: writes the lines it needs.
    // The first count values are compared with the last written ones, exactly
    // (a value that is not a number is always a change).
    void Add(const std::vector<double>& values, unsigned index, size_t count,
             const WriteLine& write);
    // Writes values at the last index seen when that index has no line yet.
    void Close(const std::vector<double>& values, const WriteLine& write) const;
    // The values of the last line written, which the next point is compared
    // with.
    const std::vector<double>& LastValues() const { return mLastValues; }
    void SetLastValues(const std::vector<double>& values) { mLastValues = values; }

private:
    bool mStarted = false;
    unsigned mLastSeen = 0;
    unsigned mLastWritten = 0;
    std::vector<double> mLastValues;
};

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
    // Appends one line to the file.
    ConvergenceStaircase::WriteLine Append() const;

    std::string mFile;
    ConvergenceStaircase mStaircase;
    unsigned mCount;
    bool mInitialised;
};

#endif
