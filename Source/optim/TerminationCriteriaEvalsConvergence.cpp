#include "optim/TerminationCriteriaEvalsConvergence.h"

#include <iostream>

TerminationCriteriaEvalsConvergence::TerminationCriteriaEvalsConvergence(
    const std::vector<unsigned>& thresholds)
    : mThresholds(thresholds), mCount(static_cast<unsigned>(thresholds.size())),
      mStall(thresholds.size(), 0) {}

std::unique_ptr<TerminationCriteria> TerminationCriteriaEvalsConvergence::clone() const {
    std::cout << "TerminationCriteriaEvalsConvergence::clone() called!" << std::endl;
    return std::make_unique<TerminationCriteriaEvalsConvergence>(*this);
}

bool TerminationCriteriaEvalsConvergence::CheckTerminationCriteria(
    unsigned evaluations, const std::vector<INDIVIDUAL>& bestfits) {
    if (mReference.empty())
        mReference = bestfits;
    if (mCount > 0) {
        // A record shorter than the thresholds cannot be watched.
        if (bestfits.size() < mCount || mReference.size() < mCount)
            return false;
        for (unsigned i = 0; i < mCount; ++i) {
            if (mThresholds[i] >= evaluations) {
                for (unsigned j = 0; j < mCount; ++j)
                    mReference[j] = bestfits[j];
                return false;
            }
        }
        bool met = true;
        for (unsigned i = 0; i < mCount; ++i) {
            const bool same = i < bestfits[i].GetNobj() && i < mReference[i].GetNobj() &&
                              mReference[i].GetObj(i) == bestfits[i].GetObj(i);
            if (same) {
                ++mStall[i];
            } else {
                mStall[i] = 0;
                mReference[i] = bestfits[i];
            }
            if (mStall[i] < mThresholds[i])
                met = false;
        }
        if (!met)
            return false;
    }
    std::cout << "conv_evals_elapsed = ";
    for (unsigned s : mStall)
        std::cout << s << "   ";
    std::cout << std::endl;
    return true;
}
