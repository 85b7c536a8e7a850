#ifndef VESK_OPTIM_TERMINATIONCRITERIA_H
#define VESK_OPTIM_TERMINATIONCRITERIA_H

#include <memory>
#include <vector>

#include "model/INDIVIDUAL.h"

// A stopping rule, asked with the number of objective evaluations so far and
// the best-per-objective record; true means the run must stop.
class TerminationCriteria {
public:
    virtual std::unique_ptr<TerminationCriteria> clone() const = 0;
    virtual ~TerminationCriteria() = default;
    virtual bool CheckTerminationCriteria(unsigned evaluations,
                                          const std::vector<INDIVIDUAL>& bestfits) = 0;
    // The number of evaluations after which the rule ends the run, shown in
    // the progress line; 0 when the rule is not a budget of evaluations.
    virtual unsigned EvaluationBudget() const { return 0; }
    // A resumed run has already spent this many seconds in its earlier
    // segments; a time limit counts them (the other rules ignore them).
    virtual void CountEarlierRunTime(double seconds) { static_cast<void>(seconds); }
};

#endif
