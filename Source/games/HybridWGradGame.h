#ifndef VESK_GAMES_HYBRIDWGRADGAME_H
#define VESK_GAMES_HYBRIDWGRADGAME_H

#include "games/GameAlgorithm.h"

// Hybrid game meant for gradient players: during the whole first epoch every
// other player receives the reference player's current best after each turn;
// afterwards the migration rule shared with the Nash game applies.
class HybridWGradGame : public GameAlgorithm {
public:
    HybridWGradGame(unsigned int nplayers, std::istream& in);
    void MigrationEpoch(unsigned int epoch, unsigned int playerIndex) override;
};

#endif
