#ifndef VESK_OPTIM_TERMINATIONCRITERIANEVALS_H
#define VESK_OPTIM_TERMINATIONCRITERIANEVALS_H

#include "optim/TerminationCriteria.h"

// Budget of objective evaluations.
class TerminationCriteriaNEvals : public TerminationCriteria {
public:
    explicit TerminationCriteriaNEvals(unsigned max_evaluations);
    std::unique_ptr<TerminationCriteria> clone() const override;
    bool CheckTerminationCriteria(unsigned evaluations,
                                  const std::vector<INDIVIDUAL>& bestfits) override;
    unsigned GetMaxEvaluations() const { return mMaxEvaluations; }
    unsigned EvaluationBudget() const override { return mMaxEvaluations; }

private:
    unsigned mMaxEvaluations;
};

#endif
