#include "optim/TerminationCriteriaFactory.h"

#include <iostream>

#include "model/UTILS.h"
#include "optim/TerminationCriteriaEvalsConvergence.h"
#include "optim/TerminationCriteriaMinValue.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "optim/TerminationCriteriaTimeLimit.h"
#include "output/PIOUConfig.h"

TerminationCriteriaFactory::~TerminationCriteriaFactory() {
    std::cout << "~TerminationCriteriaInterface() called" << std::endl;
}

std::unique_ptr<TerminationCriteria> TerminationCriteriaFactory::CreateTerminationCriteria(
    unsigned code, unsigned max_evaluations, double seconds, const std::vector<double>& targets,
    const std::vector<unsigned>& thresholds, unsigned /*nobj*/) {
    std::unique_ptr<TerminationCriteria> rule;
    switch (code) {
    case 0:
        rule = std::make_unique<TerminationCriteriaNEvals>(max_evaluations);
        break;
    case 1:
        rule = std::make_unique<TerminationCriteriaTimeLimit>(seconds);
        break;
    case 2:
        rule = std::make_unique<TerminationCriteriaMinValue>(targets);
        break;
    case 3:
        rule = std::make_unique<TerminationCriteriaEvalsConvergence>(thresholds);
        break;
    default:
        UTILS::Stop({"TerminationCriteriaInterface::InitTerminationCriteria(...):",
                     "Termination criteria not recognized", "Program stopped"});
    }
    std::cout << "TerminationCriteriaInterface::InitTerminationCriteria(...):" << std::endl;
    std::cout << "INITIATED!" << std::endl;
    return rule;
}

std::unique_ptr<TerminationCriteria>
TerminationCriteriaFactory::CreateTerminationCriteria(const nlohmann::json& object) {
    const std::string where = "TerminationCriteria";
    const unsigned code = PIOU::json_get<unsigned>(object, "criteria", where);
    unsigned max_evaluations = 100;
    double seconds = 0.0;
    std::vector<double> targets;
    std::vector<unsigned> thresholds;
    switch (code) {
    case 0:
        max_evaluations = PIOU::json_get<unsigned>(object, "max_obj_evals", where);
        break;
    case 1:
        seconds = PIOU::json_get<double>(object, "max_time", where);
        break;
    case 2:
        targets = PIOU::json_get<std::vector<double>>(object, "min_fi", where);
        break;
    case 3:
        thresholds = PIOU::json_get<std::vector<unsigned>>(object, "conv_evals", where);
        break;
    default:
        UTILS::Stop(
            {"Termination criteria at OptimizationAlgorithm::init_termination_criteria(...) not recognized",
             "Program stopped"});
    }
    return CreateTerminationCriteria(code, max_evaluations, seconds, targets, thresholds, 0);
}
