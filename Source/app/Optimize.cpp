#include "app/Optimize.h"

#include <iostream>
#include <memory>
#include <string>

#include "app/CampaignRecord.h"
#include "games/GameAlgorithm.h"
#include "model/RunOptions.h"
#include "model/UTILS.h"
#include "optim/OptimizationAlgorithm.h"
#include "output/PIOU.h"

void optimize(double& elapsed, long& start_time, std::vector<unsigned>& seeds, bool json,
              bool restart) {
    RunOptions& options = GetRunOptions();
    CampaignRecord::BeforeLoad(options.resume, json, restart, seeds);
    options.json = json;
    options.game_restart = restart;
    options.seeds = seeds;
    std::unique_ptr<OptimizationAlgorithm> opt;
    std::unique_ptr<GameAlgorithm> game;
    unsigned mode = 0;
    if (json) {
        PIOU::load_input_json_file(opt, game, mode, seeds);
        // The JSON road builds a single optimiser and sets no mode of its own.
        mode = 1;
    } else {
        PIOU::load_input_file(opt, game, mode, seeds);
    }
    if (mode == 1 || mode == 2)
        CampaignRecord::AfterLoad(mode == 1 ? opt.get() : nullptr,
                                  mode == 2 ? game.get() : nullptr);
    EvaluationCounts counts;
    if (mode == 1) {
        std::cout << "Running Standard Optimization" << std::endl;
        opt->Run(elapsed, start_time);
        counts = opt->GetEvaluationCounts();
        opt.reset();
    } else if (mode == 2) {
        std::cout << "Running Nash Optimization" << std::endl;
        game->Run(elapsed, start_time, restart);
        counts = game->GetEvaluationCounts();
        game.reset();
    } else {
        UTILS::Stop({"Optimization mode not recognized", "Program stopped!"});
    }
    CampaignRecord::AfterRun();
    std::cout << EvaluationSummary(counts) << std::endl;
    // Results made only of penalties are no results: the analyser or its
    // set-up is broken, and a script must not take the run for a success.
    if (counts.evaluations > 0 && counts.failed + counts.timed_out == counts.evaluations)
        UTILS::Stop({"Every evaluation of this run failed (" + std::to_string(counts.evaluations) +
                         "): no design has a result, so the result files hold only penalties. "
                         "Check the analyser and its messages above.",
                     "Program stopped!"});
}

std::string EvaluationSummary(const EvaluationCounts& counts) {
    std::string line = "Evaluation summary: " + std::to_string(counts.evaluations) +
                       " evaluations (" + std::to_string(counts.evaluations - counts.replayed) +
                       " run, " + std::to_string(counts.replayed) + " replayed), " +
                       std::to_string(counts.failed) + " failed, " +
                       std::to_string(counts.timed_out) + " timed out";
    if (counts.nonzero_exits != 0)
        line += ", " + std::to_string(counts.nonzero_exits) +
                " ended with a non-zero status and kept their results";
    return line + ".";
}
