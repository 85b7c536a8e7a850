#include "output/ConvergenceWriteManager.h"

#include "output/PIOU.h"

void ConvergenceStaircase::Start(const std::vector<double>& values, unsigned index) {
    mStarted = true;
    mLastValues = values;
    mLastWritten = mLastSeen = index;
}

void ConvergenceStaircase::Add(const std::vector<double>& values, unsigned index, size_t count,
                               const WriteLine& write) {
    for (size_t i = 0; i < count; ++i) {
        // "!=" also treats a NaN as a change.
        if (values[i] != mLastValues[i]) {
            if (index != mLastWritten + 1)
                write(mLastValues, index - 1);
            write(values, index);
            mLastWritten = index;
            mLastValues = values;
            break;
        }
    }
    mLastSeen = index;
}

void ConvergenceStaircase::Close(const std::vector<double>& values, const WriteLine& write) const {
    // Without a first line there is no level to close.
    if (mStarted && mLastSeen != mLastWritten)
        write(values, mLastSeen);
}

ConvergenceWriteManager::ConvergenceWriteManager() : mCount(0), mInitialised(false) {}

ConvergenceWriteManager::~ConvergenceWriteManager() {
    if (mInitialised)
        mStaircase.Close(mStaircase.LastValues(), Append());
}

ConvergenceStaircase::WriteLine ConvergenceWriteManager::Append() const {
    return [this](const std::vector<double>& values, unsigned index) {
        PIOU::append_convergence_file(mFile, values, index);
    };
}

void ConvergenceWriteManager::Init(const std::string& file, unsigned nobj,
                                   std::string first_title) {
    mFile = file;
    mCount = nobj;
    // Only a manager initialised again after writing compares with these.
    mStaircase.SetLastValues(std::vector<double>(nobj, 0.0));
    mInitialised = true;
    PIOU::write_convergence_header_file(file, nobj, first_title);
}

void ConvergenceWriteManager::WriteConvergenceToFile(const std::vector<double>& values,
                                                     unsigned index) {
    if (!mInitialised)
        return;
    if (!mStaircase.Started()) {
        PIOU::append_convergence_file(mFile, values, index);
        mStaircase.Start(values, index);
        return;
    }
    mStaircase.Add(values, index, mCount, Append());
}

void ConvergenceWriteManager::WriteConvergenceToFile(const std::vector<INDIVIDUAL>& bestfits,
                                                     unsigned index) {
    std::vector<double> values(mCount, 0.0);
    for (unsigned i = 0; i < mCount && i < bestfits.size(); ++i)
        if (i < bestfits[i].GetNobj())
            values[i] = bestfits[i].GetObj(i);
    WriteConvergenceToFile(values, index);
}
