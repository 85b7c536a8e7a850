#ifndef VESK_OPTIM_TERMINATIONCRITERIAEVALSCONVERGENCE_H
#define VESK_OPTIM_TERMINATIONCRITERIAEVALSCONVERGENCE_H

#include "optim/TerminationCriteria.h"

// Met when, for every objective, the best value has not changed over its
// threshold of consecutive checks (counted once the warm-up is over).
class TerminationCriteriaEvalsConvergence : public TerminationCriteria {
public:
    explicit TerminationCriteriaEvalsConvergence(const std::vector<unsigned>& thresholds);
    std::unique_ptr<TerminationCriteria> clone() const override;
    bool CheckTerminationCriteria(unsigned evaluations,
                                  const std::vector<INDIVIDUAL>& bestfits) override;
    const std::vector<unsigned>& GetThresholds() const { return mThresholds; }
    const std::vector<unsigned>& GetStallCounters() const { return mStall; }

private:
    std::vector<unsigned> mThresholds;
    unsigned mCount;
    std::vector<unsigned> mStall;
    std::vector<INDIVIDUAL> mReference;
};

#endif
