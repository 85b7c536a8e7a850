#ifndef VESK_APP_OPTIMIZE_H
#define VESK_APP_OPTIMIZE_H

#include <string>
#include <vector>

#include "optim/OptimizationAlgorithm.h"

// Optimisation mode: loads the run configuration (input.jsn when json is set,
// input.QERN otherwise) and runs the optimiser or the game it describes.
void optimize(double& elapsed, long& start_time, std::vector<unsigned>& seeds, bool json,
              bool restart);
// "Evaluation summary: N evaluations (R run, P replayed), F failed, T timed
// out[, X ended with a non-zero status and kept their results]."
std::string EvaluationSummary(const EvaluationCounts& counts);

#endif
