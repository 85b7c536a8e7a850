#include "games/HybridNashGame.h"

#include <iostream>

HybridNashGame::HybridNashGame(unsigned int nplayers, std::istream& in)
    : GameAlgorithm(nplayers, in) {
    std::cout << "Hybrid Nash Game created." << std::endl;
}

void HybridNashGame::MigrationEpoch(unsigned int epoch, unsigned int playerIndex) {
    if (playerIndex == 0 && epoch == 1) {
        BroadcastReferenceBest();
        return;
    }
    MigrateToMover(playerIndex);
}
