#ifndef VESK_OPTIM_TERMINATIONCRITERIAFACTORY_H
#define VESK_OPTIM_TERMINATIONCRITERIAFACTORY_H

#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "optim/TerminationCriteria.h"

// Builds a stopping rule from its code: 0 evaluations, 1 time limit (seconds),
// 2 target values, 3 stall counts. The caller owns the result.
class TerminationCriteriaFactory {
public:
    virtual ~TerminationCriteriaFactory();

    static std::unique_ptr<TerminationCriteria>
    CreateTerminationCriteria(unsigned code, unsigned max_evaluations, double seconds,
                              const std::vector<double>& targets,
                              const std::vector<unsigned>& thresholds, unsigned nobj);
    // From a JSON object {"criteria": code, <the key of that code>}; a missing
    // or mistyped key stops the run with a message naming it.
    static std::unique_ptr<TerminationCriteria>
    CreateTerminationCriteria(const nlohmann::json& object);
};

#endif
