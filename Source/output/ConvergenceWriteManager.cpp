#include "output/ConvergenceWriteManager.h"

#include "output/PIOU.h"

ConvergenceWriteManager::ConvergenceWriteManager()
    : mFirstWrite(true), mLastSeen(0), mLastWritten(0), mCount(0), mInitialised(false) {}

ConvergenceWriteManager::~ConvergenceWriteManager() {
    // A manager that never wrote a line has no level to close.
    if (mInitialised && !mFirstWrite && mLastSeen != mLastWritten)
        PIOU::append_convergence_file(mFile, mLastValues, mLastSeen);
}

void ConvergenceWriteManager::Init(const std::string& file, unsigned nobj,
                                   std::string first_title) {
    mFile = file;
    mCount = nobj;
    mLastValues.assign(nobj, 0.0);
    mInitialised = true;
    PIOU::write_convergence_header_file(file, nobj, first_title);
}

void ConvergenceWriteManager::WriteConvergenceToFile(const std::vector<double>& values,
                                                     unsigned index) {
    if (!mInitialised)
        return;
    if (mFirstWrite) {
        PIOU::append_convergence_file(mFile, values, index);
        mFirstWrite = false;
        mLastValues = values;
        mLastWritten = mLastSeen = index;
        return;
    }
    for (unsigned i = 0; i < mCount; ++i) {
        // "!=" also treats a NaN as a change.
        if (values[i] != mLastValues[i]) {
            if (index != mLastWritten + 1)
                PIOU::append_convergence_file(mFile, mLastValues, index - 1);
            PIOU::append_convergence_file(mFile, values, index);
            mLastWritten = index;
            mLastValues = values;
            break;
        }
    }
    mLastSeen = index;
}

void ConvergenceWriteManager::WriteConvergenceToFile(const std::vector<INDIVIDUAL>& bestfits,
                                                     unsigned index) {
    std::vector<double> values(mCount, 0.0);
    for (unsigned i = 0; i < mCount && i < bestfits.size(); ++i)
        if (i < bestfits[i].GetNobj())
            values[i] = bestfits[i].GetObj(i);
    WriteConvergenceToFile(values, index);
}
