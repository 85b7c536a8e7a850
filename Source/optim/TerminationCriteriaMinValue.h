#ifndef VESK_OPTIM_TERMINATIONCRITERIAMINVALUE_H
#define VESK_OPTIM_TERMINATIONCRITERIAMINVALUE_H

#include "optim/TerminationCriteria.h"

// Met when every best objective value is at or below its target.
class TerminationCriteriaMinValue : public TerminationCriteria {
public:
    explicit TerminationCriteriaMinValue(const std::vector<double>& targets);
    std::unique_ptr<TerminationCriteria> clone() const override;
    bool CheckTerminationCriteria(unsigned evaluations,
                                  const std::vector<INDIVIDUAL>& bestfits) override;
    const std::vector<double>& GetTargets() const { return mTargets; }

private:
    std::vector<double> mTargets;
    unsigned mCount;
};

#endif
