// Loading the text configuration of a game.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "games/GameAlgorithm.h"
#include "optim/OptimizationAlgorithm.h"
#include "output/PIOU.h"
#include "support/TestSupport.h"

using namespace testsupport;

using PIOULoader = testsupport::InTempFolder;

// A stop while the second player is read must not lose the game and the first
// player already built (under the sanitizer build, a leak fails the test).
TEST_F(PIOULoader, AGameWhoseSecondPlayerIsInvalidStopsWithoutLosingTheFirst) {
    const std::string player0 = "0\n2\n2\n0\n1\n0\n" + MathcasesPath() +
                                "\n0\n0\n4\n0 4\n0.9\n0.5\n0 0\n-4 -4\n4 4\n0\n0 100\n";
    WriteFile(dir.file("input.QERN"),
              "game\n2 0\n2 1 2\n2 0 2\n2 1 2\n2 1 0\n0\n" + player0 + "1\nnot_a_count\n");
    WriteFile(dir.file("write.QERN"), "2\n1\n0\n0\n0\n");
    WriteFile(dir.file("prob.dat"), "FON\n");
    std::unique_ptr<OptimizationAlgorithm> opt;
    std::unique_ptr<GameAlgorithm> game;
    unsigned mode = 0;
    std::vector<unsigned> seeds;
    const std::string out = FatalOutput([&] { PIOU::load_input_file(opt, game, mode, seeds); });
    EXPECT_NE(out.find("expected the number of design variables (an unsigned integer), found "
                       "\"not_a_count\"."),
              std::string::npos)
        << out;
}
