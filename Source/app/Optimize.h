#ifndef VESK_APP_OPTIMIZE_H
#define VESK_APP_OPTIMIZE_H

#include <vector>

// Optimisation mode: loads the run configuration (input.jsn when json is set,
// input.QERN otherwise) and runs the optimiser or the game it describes.
void optimize(double& elapsed, long& start_time, std::vector<unsigned>& seeds, bool json,
              bool restart);

#endif
