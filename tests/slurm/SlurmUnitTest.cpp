// The Slurm evaluation unit in process, against a real cluster: the two uses
// the batch road of HTCondor refuses, single designs (as line searches
// evaluate them) and the designs of a game player.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "eval/SlurmEVAU.h"
#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "slurm/SlurmCluster.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// A unit running ./echo.sh, which answers each design with its variables'
// sum and its first variable as objectives and its second as constraint.
std::unique_ptr<SlurmEVAU> MakeUnit(unsigned ndvs, unsigned nobj, unsigned nctr) {
    WriteScript("echo.sh", "awk '{ print $1 + $2 + $3, $1 > \"Eval.individual\"; "
                           "print $2 > \"Eval.constraint\" }' Eval.DVs\n");
    WriteFile("slurm.QERN", "--partition=debug\n");
    std::istringstream in("1\n./echo.sh\n0\n0\n");
    std::unique_ptr<SlurmEVAU> unit;
    Captured([&] { unit = std::make_unique<SlurmEVAU>(ndvs, nobj, nctr, in); });
    return unit;
}

using SlurmUnit = testsupport::InTempFolder;

TEST_F(SlurmUnit, EvaluatesASingleDesignAsAnArrayOfOneTask) {
    VESK_NEED_SLURM();
    auto unit = MakeUnit(2, 2, 1);
    Captured([&] { unit->Init(4); });
    std::vector<INDIVIDUAL> bestfits(2, INDIVIDUAL(2, 2, 1, nullptr));
    INDIVIDUAL ind(2, 2, 1, &bestfits);
    ind.SetDvs({1.5, 2.0});
    const std::string out =
        Captured([&] { EXPECT_FALSE(unit->ComputeInd(ind, nullptr, {}, {}, nullptr)); });
    EXPECT_NE(out.find("--array=0 "), std::string::npos) << out;
    ASSERT_TRUE(ind.IsComputed()) << out;
    EXPECT_EQ(ind.GetObj(), (std::vector<double>{3.5, 1.5}));
    EXPECT_EQ(ind.GetCtr(0), 2.0);
    EXPECT_EQ(unit->GetObjEvals(), 1u);
    EXPECT_EQ(bestfits[0].GetObj(0), 3.5);
}

TEST_F(SlurmUnit, AGamePlayersDesignsAreCompletedWithTheOtherPlayersEliteVariables) {
    VESK_NEED_SLURM();
    // The player owns global variables 0 and 2 and global objective 1.
    auto unit = MakeUnit(2, 1, 1);
    unit->SetNdvs(3);
    unit->SetNobj(2);
    unit->SetDVsIds({0, -1, 2});
    unit->SetOBjIds({-1, 1});
    Captured([&] { unit->Init(2); });
    POPULATION pop("player", 2, 1, 1, 2, true);
    pop[0].SetDvs({1.0, 2.0});
    pop[1].SetDvs({3.0, 4.0});
    const std::vector<double> elite = {0.0, 10.0, 0.0};
    const std::string out = Captured([&] { unit->Compute(pop, nullptr, {}, elite, nullptr); });
    ASSERT_TRUE(pop[0].IsComputed() && pop[1].IsComputed()) << out;
    // Full designs (1, 10, 2) and (3, 10, 4): own objective = first variable,
    // constraint = the other player's variable.
    EXPECT_EQ(pop[0].GetObj(0), 1.0);
    EXPECT_EQ(pop[1].GetObj(0), 3.0);
    EXPECT_EQ(pop[0].GetCtr(0), 10.0);
    EXPECT_EQ(unit->GetObjEvals(), 2u);
}

} // namespace
