#ifndef VESK_MODEL_RUNOPTIONS_H
#define VESK_MODEL_RUNOPTIONS_H

#include <vector>

// Settings of the whole run that come from the command line and that units
// deep inside the run need (the evaluation units, the optimisers). The program
// entry fills them once, before the configuration is loaded; everything else
// only reads them.
struct RunOptions {
    // Wall-clock limit of one evaluation in seconds (external command or
    // cluster job); 0 means no limit. --eval-timeout, which overrides the
    // evaluation unit's own setting.
    double eval_timeout = 0.0;
    // Reference point of the hypervolume (--hv-ref); empty means derived from
    // the initial buffer.
    std::vector<double> hv_ref;
    // Keep the evaluation database (off with --no-db).
    bool use_db = true;
    // Continue the recorded run of this folder (--resume).
    bool resume = false;
    // How the run was asked for, as the evaluation database records it: the
    // JSON road (--json), a game restart (--game_restart) and the seeds.
    bool json = false;
    bool game_restart = false;
    std::vector<unsigned> seeds;
};

// The options of this process.
RunOptions& GetRunOptions();

#endif
