#ifndef VESK_OPTIM_TERMINATIONCRITERIATIMELIMIT_H
#define VESK_OPTIM_TERMINATIONCRITERIATIMELIMIT_H

#include <ctime>

#include "optim/TerminationCriteria.h"

// Wall-clock limit counted from the construction of the first rule; clones
// keep the start time of the rule they copy.
class TerminationCriteriaTimeLimit : public TerminationCriteria {
public:
    explicit TerminationCriteriaTimeLimit(double seconds);
    std::unique_ptr<TerminationCriteria> clone() const override;
    bool CheckTerminationCriteria(unsigned evaluations,
                                  const std::vector<INDIVIDUAL>& bestfits) override;
    double GetSeconds() const { return mSeconds; }
    void SetStartTime(std::time_t start) { mStart = start; }
    // Moves the start back by the seconds the earlier segments of a resumed
    // run took, so that the limit covers the whole campaign.
    void CountEarlierRunTime(double seconds) override {
        mStart -= static_cast<std::time_t>(seconds);
    }

private:
    double mSeconds;
    std::time_t mStart;
};

#endif
