#include "optim/TerminationCriteriaNEvals.h"

#include <iostream>

TerminationCriteriaNEvals::TerminationCriteriaNEvals(unsigned max_evaluations)
    : mMaxEvaluations(max_evaluations) {
    std::cout << "TerminationCriteriaNEvals(unsigned int max_obj_evals) called!" << std::endl;
}

std::unique_ptr<TerminationCriteria> TerminationCriteriaNEvals::clone() const {
    std::cout << "TerminationCriteriaNEvals::clone() called!" << std::endl;
    return std::make_unique<TerminationCriteriaNEvals>(*this);
}

bool TerminationCriteriaNEvals::CheckTerminationCriteria(unsigned evaluations,
                                                         const std::vector<INDIVIDUAL>&) {
    if (evaluations < mMaxEvaluations)
        return false;
    std::cout << std::endl << "objective evaluations = " << evaluations << std::endl;
    return true;
}
