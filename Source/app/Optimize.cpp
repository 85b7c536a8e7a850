#include "app/Optimize.h"

#include <iostream>

#include "games/GameAlgorithm.h"
#include "model/UTILS.h"
#include "optim/OptimizationAlgorithm.h"
#include "output/PIOU.h"

void optimize(double& elapsed, long& start_time, std::vector<unsigned>& seeds, bool json,
              bool restart) {
    OptimizationAlgorithm* opt = nullptr;
    GameAlgorithm* game = nullptr;
    unsigned mode = 0;
    if (json) {
        PIOU::load_input_json_file(opt, game, mode, seeds);
        // The JSON road builds a single optimiser and sets no mode of its own.
        mode = 1;
    } else {
        PIOU::load_input_file(opt, game, mode, seeds);
    }
    if (mode == 1) {
        std::cout << "Running Standard Optimization" << std::endl;
        opt->Run(elapsed, start_time);
        delete opt;
    } else if (mode == 2) {
        std::cout << "Running Nash Optimization" << std::endl;
        game->Run(elapsed, start_time, restart);
        delete game;
    } else {
        UTILS::Stop({"Optimization mode not recognized", "Program stopped!"});
    }
}
