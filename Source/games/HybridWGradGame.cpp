#include "games/HybridWGradGame.h"

#include <iostream>

HybridWGradGame::HybridWGradGame(unsigned int nplayers, std::istream& in)
    : GameAlgorithm(nplayers, in) {
    std::cout << "Hybrid With Grad Game created." << std::endl;
}

void HybridWGradGame::MigrationEpoch(unsigned int epoch, unsigned int playerIndex) {
    if (epoch == 1) {
        BroadcastReferenceBest();
        return;
    }
    MigrateToMover(playerIndex);
}
