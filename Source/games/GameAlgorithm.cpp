#include "games/GameAlgorithm.h"

#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <utility>

#include "eval/LocalEVAU.h"
#include "model/INTU.h"
#include "model/UTILS.h"
#include "optim/OptimizationAlgorithm.h"
#include "optim/TerminationCriteria.h"
#include "output/PIOUConfig.h"
#include "output/WriteData.h"

namespace {

const char* const kRestartFile = "game_restart.dat";
const char* const kGameConvergenceFile = "convergence_eva.out";

// Reads one map line: a count N, then N integers, the k-th being k when the
// player owns global item k and 0 when it does not; stored 0-based (-1 = not
// owned).
std::vector<int> ReadMap(std::istream& in, const std::string& what, const char* label) {
    unsigned n = 0;
    const std::streampos start = in.tellg();
    PIOU::read_value(in, n, "the number of global " + what + " (an unsigned integer)");
    // The n entries follow on this line, so the rest of the file bounds n
    // before anything is allocated for them.
    const unsigned long long room = PIOU::words_left(in);
    if (n > room)
        PIOU::config_stop(in, start,
                          "the number of global " + what + " " + std::to_string(n) +
                              " is more than the rest of the file can hold (" +
                              std::to_string(room) + " values at most).");
    if (n > UTILS::kMaxDesignNumbers)
        PIOU::config_stop(in, start,
                          "the number of global " + what + " " + std::to_string(n) +
                              " is more than the limit of " +
                              std::to_string(UTILS::kMaxDesignNumbers) + ".");
    std::vector<int> raw(n, 0);
    PIOU::read_values(in, raw, "a global " + what + " index (its position, or 0)");
    // Checked here, before the entries are shifted to positions: a negative
    // entry has no position and the lowest one would overflow.
    for (unsigned k = 0; k < n; ++k)
        if (raw[k] < 0 || static_cast<unsigned>(raw[k]) > n)
            PIOU::config_stop(in, start,
                              "entry " + std::to_string(k + 1) + " of the global " + what +
                                  " map is " + std::to_string(raw[k]) + "; it must be " +
                                  std::to_string(k + 1) + " or 0.");
    PIOU::skip_line(in);
    std::vector<int> map(n);
    std::cout << label;
    for (unsigned k = 0; k < n; ++k) {
        map[k] = raw[k] - 1;
        std::cout << std::left << std::setw(15) << map[k];
    }
    std::cout << std::endl;
    return map;
}

[[noreturn]] void StopGame(const std::string& line) {
    UTILS::Stop({"Game configuration: " + line, "Program stopped!"});
}

// Checks one player's map against the global count and the player's own count.
unsigned CheckMap(const std::vector<int>& map, size_t global, unsigned player, const char* what) {
    if (map.size() != global)
        StopGame("the " + std::string(what) + " map of player " + std::to_string(player) + " has " +
                 std::to_string(map.size()) + " entries where the game has " +
                 std::to_string(global) + ".");
    unsigned owned = 0;
    for (size_t k = 0; k < map.size(); ++k) {
        if (map[k] == -1)
            continue;
        // The evaluation completes designs by position while migration uses the
        // stored index, so the two must agree.
        if (map[k] != static_cast<int>(k))
            StopGame("entry " + std::to_string(k + 1) + " of the " + what + " map of player " +
                     std::to_string(player) + " must be " + std::to_string(k + 1) +
                     " or 0, found " + std::to_string(map[k] + 1) + ".");
        ++owned;
    }
    return owned;
}

} // namespace

GameAlgorithm::GameAlgorithm(unsigned int nplayers, std::istream& in)
    : mResume(false), mWriteRestartFile(false), mRestartIndex(0), mCriteria(nullptr) {
    std::cout << "GameAlgorithm created." << std::endl;
    for (unsigned p = 0; p < nplayers; ++p)
        mDVsIds.push_back(ReadMap(in, "design variables", "global_dvs_index: "));
    for (unsigned p = 0; p < nplayers; ++p)
        mOBjIds.push_back(ReadMap(in, "objectives", "global_obj_index: "));
    PIOU::read_value(in, mWriteRestartFile, "the restart-file flag (0 or 1)");
    PIOU::skip_line(in);
    std::cout << (mWriteRestartFile ? "mWriteRestartFile = true" : "mWriteRestartFile = false")
              << std::endl;
    const size_t m = mOBjIds.empty() ? 0 : mOBjIds[0].size();
    const size_t gdvs = mDVsIds.empty() ? 0 : mDVsIds[0].size();
    // The game keeps one design of the whole game per objective.
    const std::string problem =
        UTILS::PopulationLimitProblem("the game's best list", m, gdvs, m, 0);
    if (!problem.empty())
        StopGame("player 0's maps (" + PIOU::get_config_name() + "): " + problem + ".");
    INDIVIDUAL entry(static_cast<int>(gdvs), static_cast<int>(m), 0, nullptr);
    entry.SetObj(std::vector<double>(m, INDIVIDUAL::kWorst));
    mGameBestfits.assign(m, entry);
    mGameConvergence.Init(kGameConvergenceFile, static_cast<unsigned>(m), "Evaluation");
}

GameAlgorithm::~GameAlgorithm() {
    // The players end first, and then the stopping rule, before the game's own
    // convergence file is closed, as they always have.
    mPlayers.clear();
    mCriteria.reset();
}

void GameAlgorithm::PostProcess() {
    std::cout << "GameAlgorithm::PostProcess()" << std::endl;
}

void GameAlgorithm::SetPlayers(std::vector<std::unique_ptr<OptimizationAlgorithm>> players) {
    mPlayers = std::move(players);
    // Everything is checked before any player changes mode, so that a bad game
    // block stops the run before the first evaluation.
    if (mPlayers.size() != mDVsIds.size())
        StopGame("the game block describes " + std::to_string(mDVsIds.size()) + " players but " +
                 std::to_string(mPlayers.size()) + " were given.");
    const size_t gdvs = mDVsIds[0].size();
    const size_t m = mOBjIds[0].size();
    for (unsigned p = 0; p < mPlayers.size(); ++p) {
        OptimizationAlgorithm* player = mPlayers[p].get();
        if (player == nullptr)
            StopGame("player " + std::to_string(p) + " was not created.");
        const unsigned dvs = CheckMap(mDVsIds[p], gdvs, p, "design-variable");
        const unsigned objs = CheckMap(mOBjIds[p], m, p, "objective");
        if (dvs != player->GetNdvs())
            StopGame("player " + std::to_string(p) + " owns " + std::to_string(dvs) +
                     " global design variables but has " + std::to_string(player->GetNdvs()) + ".");
        if (objs == 0)
            StopGame("player " + std::to_string(p) + " owns no objective.");
        if (objs != player->GetNobj())
            StopGame("player " + std::to_string(p) + " owns " + std::to_string(objs) +
                     " global objectives but has " + std::to_string(player->GetNobj()) + ".");
        if (player->GetEVAU() == nullptr || dynamic_cast<LocalEVAU*>(player->GetEVAU()) == nullptr)
            StopGame("player " + std::to_string(p) +
                     " does not evaluate locally; the HTCondor evaluation unit cannot play in a "
                     "game.");
    }
    if (m == 0 || static_cast<size_t>(mPlayers[0]->GetNobj()) != m)
        StopGame("player 0 must own every objective of the game, in order.");
    for (unsigned p = 0; p < mPlayers.size(); ++p)
        mPlayers[p]->SetActiveGame(mDVsIds[p], mOBjIds[p], static_cast<unsigned>(mDVsIds[p].size()),
                                   p);
}

void GameAlgorithm::SetTerminationCriteria(const TerminationCriteria& criteria) {
    mCriteria = criteria.clone();
}

void GameAlgorithm::WriteRestartInfo(unsigned int player) const {
    std::cout << "Writing Game restart information" << std::endl;
    std::ofstream os(kRestartFile, std::ios::trunc);
    os << player;
    os.close();
    // The run goes on without the file, but a later restart would then start
    // from a stale or missing index: say so (once).
    if (!os)
        UTILS::WarnCannotWrite(kRestartFile);
}

void GameAlgorithm::ReadRestartInfo() {
    std::cout << "Reading Game restart information" << std::endl;
    std::ifstream is(kRestartFile);
    if (!is)
        UTILS::Stop({std::string("File ") + kRestartFile + " not found.", "Program stopped!"});
    // The file holds one unsigned integer and nothing else but white space: a
    // negative number would be read as a huge index, and "1.5" as 1.
    const unsigned players = static_cast<unsigned>(mPlayers.size());
    std::string word, extra;
    is >> word;
    const bool digits = !word.empty() && word.size() <= 10 &&
                        word.find_first_not_of("0123456789") == std::string::npos;
    const unsigned long long index = digits ? std::stoull(word) : 0;
    if (!digits || (is >> extra) || index > players)
        UTILS::Stop({std::string("File ") + kRestartFile +
                         " does not hold a player index (an unsigned integer).",
                     std::string("File ") + kRestartFile + ", line 1: found " +
                         (word.empty() ? std::string("nothing")
                                       : "\"" + word.substr(0, 40) + "\"" +
                                             (extra.empty() ? "" : " and more")) +
                         "; expected the index of the player about to move, 0 to " +
                         std::to_string(players > 0 ? players - 1 : 0) + " (or " +
                         std::to_string(players) + ": start the next epoch at player 0).",
                     "Program stopped!"});
    mRestartIndex = static_cast<unsigned>(index);
}

unsigned GameAlgorithm::GetGameObjEvals() const {
    unsigned total = 0;
    for (const auto& player : mPlayers)
        total += player->GetObjEvals();
    return total;
}

void GameAlgorithm::WriteConvergenceEvaFile() {
    mGameConvergence.WriteConvergenceToFile(mGameBestfits, GetGameObjEvals());
}

INDIVIDUAL GameAlgorithm::ToGameEntry(unsigned k, const INDIVIDUAL& best) const {
    // The entry holds the full game design (the player's own variables at their
    // global positions, its elite values elsewhere) and every game objective
    // the player owns at its global position, so that objective i of entry i
    // is always game objective i.
    const OptimizationAlgorithm* player = mPlayers[k].get();
    const size_t gdvs = mDVsIds[0].size();
    const size_t m = mGameBestfits.size();
    INDIVIDUAL entry(static_cast<int>(gdvs), static_cast<int>(m), 0, nullptr);
    std::vector<double> dvs = player->GetEliteDVs();
    dvs.resize(gdvs, 0.0);
    for (unsigned l = 0; l < best.GetNdvs() && l < player->GetNdvs(); ++l)
        dvs[static_cast<size_t>(player->GetGlobalDVsIds(l))] = best.GetDvs(l);
    entry.SetDvs(dvs);
    std::vector<double> obj(m, INDIVIDUAL::kWorst);
    for (unsigned l = 0; l < best.GetNobj() && l < player->GetNobj(); ++l)
        obj[static_cast<size_t>(player->GetGlobalOBjIds(l))] = best.GetObj(l);
    entry.SetObj(obj);
    return entry;
}

void GameAlgorithm::UpdateGameBestfits() {
    const OptimizationAlgorithm* reference = mPlayers[0].get();
    for (unsigned i = 0; i < mGameBestfits.size(); ++i) {
        for (unsigned k = 0; k < mPlayers.size(); ++k) {
            const OptimizationAlgorithm* player = mPlayers[k].get();
            for (unsigned j = 0; j < player->GetNobj(); ++j) {
                if (reference->GetGlobalOBjIds(i) != player->GetGlobalOBjIds(j))
                    continue;
                const INDIVIDUAL best = player->GetBestfits(j);
                if (mGameBestfits[i].GetObj(i) > best.GetObj(j))
                    mGameBestfits[i] = ToGameEntry(k, best);
            }
        }
    }
}

void GameAlgorithm::Run(double& elapsed, long& start_time, bool restart) {
    // Only the stopping rule ends a game; without one it would never end.
    if (mCriteria == nullptr)
        UTILS::Stop({"The game has no stopping rule, so it cannot be run.", "Program stopped!"});
    if (mPlayers.empty())
        UTILS::Stop({"The game has no players, so it cannot be run.", "Program stopped!"});
    if (restart) {
        mResume = true;
        ReadRestartInfo();
    }
    UTILS::CheckWritable(mWriteRestartFile
                             ? std::vector<std::string>{kGameConvergenceFile, kRestartFile}
                             : std::vector<std::string>{kGameConvergenceFile});
    for (const auto& player : mPlayers)
        player->StartRun(false);
    std::cout << std::endl << "LOOP BEGIN" << std::endl << std::endl;
    const unsigned nplayers = static_cast<unsigned>(mPlayers.size());
    unsigned epoch = 1;
    unsigned d = 0;
    if (mResume) {
        d = mRestartIndex;
        mResume = false;
    }
    while (d >= nplayers) {
        d = 0;
        ++epoch;
    }
    unsigned idle_turns = 0;
    while (true) {
        OptimizationAlgorithm* player = mPlayers[d].get();
        if (mWriteRestartFile)
            WriteRestartInfo(d);
        player->BeginIteration();
        const unsigned evaluated = player->EvaluateBatch();
        bool met = false;
        if (mCriteria != nullptr &&
            mCriteria->CheckTerminationCriteria(GetGameObjEvals(), mGameBestfits)) {
            met = true;
            std::cout << "Termination criteria has been met" << std::endl;
        }
        // A game in which no player makes new designs any more would never
        // reach an evaluation budget.
        idle_turns = evaluated != 0 ? 0 : idle_turns + 1;
        if (!met && idle_turns >= OptimizationAlgorithm::kMaxIdleBatches) {
            met = true;
            std::cout << "No new design in the last " << OptimizationAlgorithm::kMaxIdleBatches
                      << " turns (every child repeats an evaluated design): the game ends here."
                      << std::endl;
        }
        if (!met && INTU::Requested())
            met = true;
        player->EndIteration();
        RunProgress progress = player->Progress();
        progress.evaluations = GetGameObjEvals();
        progress.budget = mCriteria != nullptr ? mCriteria->EvaluationBudget() : 0;
        const EvaluationCounts counts = GetEvaluationCounts();
        progress.failed = counts.failed;
        progress.timed_out = counts.timed_out;
        player->ReportIfDue(elapsed, start_time, "",
                            "Report from player " + std::to_string(d) + ":", progress);
        UpdateGameBestfits();
        WriteConvergenceEvaFile();
        if (met) {
            std::cout << std::endl << "LOOP END" << std::endl;
            EVAU::EvaluationsOver();
            for (const auto& p : mPlayers)
                p->PostProcessOpt();
            PostProcess();
            return;
        }
        MigrationEpoch(epoch, d);
        if (++d >= nplayers) {
            d = 0;
            ++epoch;
        }
    }
}

void GameAlgorithm::CountEarlierRunTime(double seconds) {
    if (mCriteria != nullptr)
        mCriteria->CountEarlierRunTime(seconds);
}

EvaluationCounts GameAlgorithm::GetEvaluationCounts() const {
    EvaluationCounts counts;
    for (const auto& player : mPlayers)
        counts += player->GetEvaluationCounts();
    return counts;
}

void GameAlgorithm::Send(unsigned from, unsigned to) {
    mPlayers[to]->Inmigrate(mPlayers[from]->GetBestfits(0), mPlayers[from]->GetGlobalDVsIds());
}

void GameAlgorithm::BroadcastReferenceBest() {
    for (unsigned p = 1; p < mPlayers.size(); ++p)
        Send(0, p);
}

void GameAlgorithm::MigrateToMover(unsigned n) {
    OptimizationAlgorithm* mover = mPlayers[n].get();
    const std::vector<unsigned> owned = mover->GetGlobalOBjIds();
    const unsigned c = static_cast<unsigned>(mover->GetGlobalOBjIds(0));
    if (c >= owned.size())
        return;
    const double a = mover->GetBestfits(0).GetObj(0);
    const double b = mPlayers[0]->GetBestfits(c).GetObj(c);
    if (b > a) {
        // The mover beat the reference player on its objective: it collects
        // the current best of every other Nash player.
        for (unsigned i = 1; i < mPlayers.size(); ++i)
            if (i != n)
                Send(i, n);
        return;
    }
    unsigned selected = 0;
    for (unsigned k = 0; k < owned.size(); ++k) {
        double best = INDIVIDUAL::kWorst;
        for (unsigned i = 0; i < mPlayers.size(); ++i) {
            if (i == n || static_cast<unsigned>(mPlayers[i]->GetGlobalOBjIds(0)) != k)
                continue;
            const double value = mPlayers[i]->GetBestfits(0).GetObj(0);
            if (best > value) {
                best = value;
                selected = i;
            }
        }
        Send(selected, n);
    }
}
