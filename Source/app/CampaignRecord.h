#ifndef VESK_APP_CAMPAIGNRECORD_H
#define VESK_APP_CAMPAIGNRECORD_H

#include <string>
#include <vector>

class GameAlgorithm;
class OptimizationAlgorithm;

// The evaluation database around one invocation of the optimisation mode:
// a new run records itself in it; a resumed run (--resume) takes its settings
// back from it, checks its configuration files against it, and replays the
// recorded evaluations from it.
namespace CampaignRecord {

// Before the configuration is loaded. For --resume, opens the recorded run
// and restores what decides its course: the road (json), the command-line
// seeds, the game restart file, the evaluation time limit, the hypervolume
// reference point and the clock seeds.
void BeforeLoad(bool resume, bool& json, bool& restart, std::vector<unsigned>& seeds);
// After the configuration is loaded and before the first evaluation. A new
// run creates the database (keeping an earlier one under a new name) and
// records the run; a resumed run stops when a configuration file differs
// from the recorded one, and loads the recorded evaluations for replay.
void AfterLoad(OptimizationAlgorithm* opt, GameAlgorithm* game);
// After the run: records how it ended, commits and closes the database.
void AfterRun();

// "a,b,c" and back, for the values kept in the run table.
std::string JoinNumbers(const std::vector<double>& values);
std::vector<double> SplitNumbers(const std::string& text);

} // namespace CampaignRecord

#endif
