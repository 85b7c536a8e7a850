#include "optim/TerminationCriteriaTimeLimit.h"

#include <cmath>
#include <iostream>

TerminationCriteriaTimeLimit::TerminationCriteriaTimeLimit(double seconds)
    : mSeconds(seconds), mStart(std::time(nullptr)) {}

std::unique_ptr<TerminationCriteria> TerminationCriteriaTimeLimit::clone() const {
    std::cout << "TerminationCriteriaTimeLimit::clone() called!" << std::endl;
    return std::make_unique<TerminationCriteriaTimeLimit>(*this);
}

bool TerminationCriteriaTimeLimit::CheckTerminationCriteria(unsigned,
                                                            const std::vector<INDIVIDUAL>&) {
    const double elapsed = std::trunc(std::difftime(std::time(nullptr), mStart));
    if (!(elapsed >= mSeconds))
        return false;
    std::cout << std::endl << "Time = " << elapsed / 3600.0 << "h" << std::endl;
    return true;
}
