#ifndef VESK_GAMES_GAMEALGORITHM_H
#define VESK_GAMES_GAMEALGORITHM_H

#include <istream>
#include <memory>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "optim/OptimizationAlgorithm.h"
#include "output/ConvergenceWriteManager.h"

class OptimizationAlgorithm;
class TerminationCriteria;

// A Nash game: several optimisers (players) share one design problem, each
// owning a subset of the global design variables and objectives, and take
// turns of one generation each; the concrete game decides the migrations.
class GameAlgorithm {
public:
    GameAlgorithm(unsigned int nplayers, std::istream& in);
    GameAlgorithm(const GameAlgorithm&) = delete;
    GameAlgorithm& operator=(const GameAlgorithm&) = delete;
    virtual ~GameAlgorithm();

    virtual void MigrationEpoch(unsigned int epoch, unsigned int playerIndex) = 0;
    virtual void PostProcess();

    // Takes ownership of the players and switches each to game mode.
    void SetPlayers(std::vector<std::unique_ptr<OptimizationAlgorithm>> players);
    void SetTerminationCriteria(const TerminationCriteria& criteria);
    // A resumed game: the stopping rule counts the time of the earlier runs.
    void CountEarlierRunTime(double seconds);
    void Run(double& elapsed, long& start_time, bool restart);
    void WriteRestartInfo(unsigned int player) const;
    void ReadRestartInfo();
    unsigned GetGameObjEvals() const;
    // What the players' evaluation units did, summed.
    EvaluationCounts GetEvaluationCounts() const;
    void WriteConvergenceEvaFile();

    unsigned GetNumPlayers() const { return static_cast<unsigned>(mPlayers.size()); }
    OptimizationAlgorithm* GetPlayer(unsigned i) const { return mPlayers[i].get(); }
    const std::vector<std::vector<int>>& GetDVsMaps() const { return mDVsIds; }
    const std::vector<std::vector<int>>& GetOBjMaps() const { return mOBjIds; }
    const std::vector<INDIVIDUAL>& GetGameBestfits() const { return mGameBestfits; }
    bool GetWriteRestartFile() const { return mWriteRestartFile; }
    unsigned GetRestartIndex() const { return mRestartIndex; }

protected:
    // Game best entry for a player's best individual: the full game design and
    // each of the player's objectives at its global position.
    INDIVIDUAL ToGameEntry(unsigned player, const INDIVIDUAL& best) const;
    void UpdateGameBestfits();
    // send(q to p): player p receives q's best individual for its first
    // objective with q's owned global design-variable indices.
    void Send(unsigned from, unsigned to);
    // Every player but the reference one receives the reference player's best.
    void BroadcastReferenceBest();
    // The migration after a turn of player n outside the opening broadcast.
    void MigrateToMover(unsigned n);

    std::vector<std::unique_ptr<OptimizationAlgorithm>> mPlayers;
    std::vector<std::vector<int>> mDVsIds;
    std::vector<std::vector<int>> mOBjIds;
    bool mResume;
    bool mWriteRestartFile;
    unsigned mRestartIndex;
    std::vector<INDIVIDUAL> mGameBestfits;
    ConvergenceWriteManager mGameConvergence;
    std::unique_ptr<TerminationCriteria> mCriteria;
};

#endif
