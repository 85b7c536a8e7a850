#include "optim/TerminationCriteriaMinValue.h"

#include <iostream>

TerminationCriteriaMinValue::TerminationCriteriaMinValue(const std::vector<double>& targets)
    : mTargets(targets), mCount(static_cast<unsigned>(targets.size())) {}

std::unique_ptr<TerminationCriteria> TerminationCriteriaMinValue::clone() const {
    std::cout << "TerminationCriteriaMinValue::clone() called!" << std::endl;
    return std::make_unique<TerminationCriteriaMinValue>(*this);
}

bool TerminationCriteriaMinValue::CheckTerminationCriteria(
    unsigned, const std::vector<INDIVIDUAL>& bestfits) {
    // A record shorter than the targets (or an entry with fewer objectives)
    // cannot meet them.
    if (mCount == 0 || bestfits.size() < mCount)
        return false;
    unsigned reached = 0;
    for (unsigned i = 0; i < mCount; ++i)
        if (i < bestfits[i].GetNobj() && bestfits[i].GetObj(i) <= mTargets[i])
            ++reached;
    if (reached != mCount)
        return false;
    std::cout << "bestfits = ";
    for (unsigned k = 0; k < mCount; ++k)
        std::cout << bestfits[k].GetObj(k) << "   ";
    std::cout << std::endl;
    return true;
}
