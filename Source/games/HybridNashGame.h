#ifndef VESK_GAMES_HYBRIDNASHGAME_H
#define VESK_GAMES_HYBRIDNASHGAME_H

#include "games/GameAlgorithm.h"

// Hybrid Nash game: after the reference player's first turn every other player
// receives its best design once; afterwards the migration rule shared with the
// gradient game applies.
class HybridNashGame : public GameAlgorithm {
public:
    HybridNashGame(unsigned int nplayers, std::istream& in);
    void MigrationEpoch(unsigned int epoch, unsigned int playerIndex) override;
};

#endif
