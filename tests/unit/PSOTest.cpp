// The particle swarm in process: the velocity rows, the swarm step checked
// value by value against the random draws it must consume, the reflection at
// the bounds, the link of every particle to the best-per-objective record
// across generations, the immigrant and the set-up messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>

#include "model/RANU.h"
#include "model/UTILS.h"
#include "optim/PSO.h"
#include "output/WriteData.h"
#include "support/OptimizerRun.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string ShiftedSquare() {
    return PluginsDir() + "/vesk_test_shifted_square.so";
}

// Two objectives (x - 3)^2 and (x - 4)^2 summed over the variables: the
// Pareto set is every design with all variables equal and in [3, 4].
RunConfig SquareConfig(unsigned ndvs, int popsize, const std::string& buffer) {
    RunConfig c;
    c.problem = "unused";
    c.plugin = ShiftedSquare();
    c.ndvs = ndvs;
    c.nobj = 2;
    c.popsize = popsize;
    c.buffer = buffer;
    c.lower.assign(ndvs, 0.0);
    c.upper.assign(ndvs, 10.0);
    return c;
}

// A swarm built from its text block in a temporary folder; output quiet.
class SwarmRun : public OptimizerRun<PSO> {
public:
    explicit SwarmRun(const RunConfig& c, unsigned seed = 2)
        : OptimizerRun({{"prob.dat", c.problem + "\n"}}, OptimizerBlock(c), seed) {}
    void Generation() { Step(); }
};

POPULATION Positions(const std::vector<std::vector<double>>& xs, unsigned nobj = 2) {
    const unsigned ndvs = static_cast<unsigned>(xs.front().size());
    POPULATION pop("swarm", static_cast<int>(ndvs), static_cast<int>(nobj), 0,
                   static_cast<int>(xs.size()), true);
    for (unsigned k = 0; k < xs.size(); ++k)
        pop[k].SetDvs(xs[k]);
    return pop;
}

} // namespace

TEST(PSO, BuildsOnTheSharedPopulationMachineryWithItsOwnNames) {
    SwarmRun run(SquareConfig(3, 4, "0 10"));
    const std::string& out = run.output;
    EXPECT_NE(out.find("PSO created."), std::string::npos);
    EXPECT_NE(out.find("Buffer random initialization"), std::string::npos);
    EXPECT_EQ(run.opt->GetParents().GetName(), "PSO->parents");
    EXPECT_EQ(run.opt->GetChilds()->GetName(), "PSO->childs");
    // One velocity row of zeros per parent position, not per buffer member.
    EXPECT_EQ(run.opt->GetChilds()->GetPopsize(), 10u);
    ASSERT_EQ(run.opt->GetVelocity().GetRows(), 4u);
    for (unsigned k = 0; k < 4; ++k)
        EXPECT_EQ(run.opt->GetVelocity()[k], std::vector<double>(3, 0.0));

    run.Start();
    EXPECT_NE(run.output.find("> Starting PSO"), std::string::npos);
    EXPECT_EQ(run.opt->GetChilds()->GetPopsize(), 4u);
    EXPECT_EQ(run.opt->GetLamu().GetPopsize(), 8u);
    EXPECT_EQ(run.opt->GetObjEvals(), 10u);
}

TEST(PSO, ADestructorReleasesExactlyTheRowsItAllocated) {
    // Ten buffer members, four velocity rows: destroying the swarm before the
    // buffer is cut to the population size (or after a run) must release the
    // four rows only. Run under the address sanitizer this catches an invalid
    // or double free.
    { SwarmRun run(SquareConfig(2, 4, "0 10")); }
    {
        SwarmRun run(SquareConfig(2, 4, "0 10"));
        run.Start();
        run.Generation();
    }
    SwarmRun run(SquareConfig(2, 4, "0 6"));
    PSO::Velocity vel;
    run.opt->Allocate_MemoryVel(&vel, 3);
    EXPECT_EQ(vel.GetRows(), 3u);
    EXPECT_EQ(vel[2], std::vector<double>(2, 0.0));
    run.opt->Deallocate_MemoryVel(&vel, 7);
    EXPECT_EQ(vel.GetRows(), 0u);
    FatalThrows fatal;
    testing::internal::CaptureStdout();
    EXPECT_THROW(run.opt->Allocate_MemoryVel(&vel, -1), UTILS::FatalError);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("velocity rows"), std::string::npos);
}

TEST(PSO, FirstStepMovesEachParticleTowardItsLeaderWithTheDrawsInOrder) {
    SwarmRun run(SquareConfig(2, 4, "0 4"));
    PSO& pso = *run.opt;
    POPULATION swarm = Positions({{1.0, 2.0}, {5.0, 5.0}, {8.0, 1.0}, {2.0, 9.0}});
    POPULATION out = Positions({{0, 0}, {0, 0}, {0, 0}, {0, 0}});
    RANU draws = pso.GetRANU(); // the same state: the same numbers follow
    pso.PSO_Process(pso.GetVelocity(), swarm, swarm, 3, out);
    for (unsigned k = 0; k < 4; ++k) {
        // With three leaders the draw gives 0 or 1 (the upper bound is
        // exclusive); the personal term is 0 since the swarm is its own best,
        // but its random number is still drawn.
        const int g = draws.RndInt(0, 2);
        ASSERT_GE(g, 0);
        ASSERT_LE(g, 1);
        for (unsigned l = 0; l < 2; ++l) {
            draws.RandomNum();
            const double r2 = draws.RandomNum();
            const double x = swarm[k].GetDvs(l);
            const double leader = swarm[static_cast<unsigned>(g)].GetDvs(l);
            const double v = (leader - x) * r2;
            EXPECT_EQ(pso.GetVelocity()[k][l], v) << "particle " << k << " variable " << l;
            EXPECT_EQ(out[k].GetDvs(l), x + v);
            // Every child lies between its parent and its leader.
            EXPECT_GE(out[k].GetDvs(l), std::min(x, leader));
            EXPECT_LE(out[k].GetDvs(l), std::max(x, leader));
        }
        EXPECT_FALSE(out[k].IsComputed());
    }
    // Nothing more was drawn.
    EXPECT_EQ(pso.GetRANU().RandomNum(), draws.RandomNum());
}

TEST(PSO, LeaderDrawsDependOnTheNumberOfLeaders) {
    SwarmRun run(SquareConfig(1, 4, "0 4"));
    PSO& pso = *run.opt;
    POPULATION swarm = Positions({{1.0}, {2.0}, {3.0}});
    POPULATION out = Positions({{0.0}, {0.0}, {0.0}});
    for (int nleaders : {0, 1, 2}) {
        RANU draws = pso.GetRANU();
        pso.PSO_Process(pso.GetVelocity(), swarm, swarm, nleaders, out);
        // One or no leader: no draw, the leader is particle 0; two: one draw
        // per particle, still always particle 0.
        const int per_particle = 2 + (nleaders == 2 ? 1 : 0);
        for (int i = 0; i < 3 * per_particle; ++i)
            draws.RandomNum();
        EXPECT_EQ(pso.GetRANU().RandomNum(), draws.RandomNum()) << nleaders << " leaders";
        // Particle 0 leads itself and never moves.
        EXPECT_EQ(out[0].GetDvs(0), 1.0);
    }
}

TEST(PSO, AParticleLeavingTheBoxStopsOnTheBoundAndReversesItsVelocity) {
    SwarmRun run(SquareConfig(3, 2, "0 2"));
    PSO& pso = *run.opt; // bounds [0, 10]
    // One particle, its own leader and personal best: the velocity becomes
    // 0.4 v exactly, whatever is drawn.
    POPULATION swarm = Positions({{9.0, 1.0, 6.0}});
    POPULATION out = Positions({{0.0, 0.0, 0.0}});
    PSO::Velocity& v = pso.GetVelocity();
    v[0] = {5.0, -5.0, 10.0};
    pso.PSO_Process(v, swarm, swarm, 1, out);
    // 9 + 2 = 11 > 10: on the bound, velocity reversed (size kept).
    EXPECT_EQ(out[0].GetDvs(0), 10.0);
    EXPECT_EQ(v[0][0], -2.0);
    // 1 - 2 = -1 < 0.
    EXPECT_EQ(out[0].GetDvs(1), 0.0);
    EXPECT_EQ(v[0][1], 2.0);
    // 6 + 4 = 10 exactly on the bound: stays, velocity kept.
    EXPECT_EQ(out[0].GetDvs(2), 10.0);
    EXPECT_EQ(v[0][2], 4.0);
}

TEST(PSO, AMissingParticleStopsTheStepBeforeAnythingChanges) {
    SwarmRun run(SquareConfig(1, 2, "0 2"));
    PSO& pso = *run.opt;
    POPULATION swarm = Positions({{1.0}, {2.0}});
    POPULATION out("out", 1, 2, 0, 2, false);
    out.GetIndsPtrs(0) = std::make_shared<INDIVIDUAL>(1, 2, 0, nullptr);
    pso.GetVelocity()[0] = {1.0};
    FatalThrows fatal;
    testing::internal::CaptureStdout();
    EXPECT_THROW(pso.PSO_Process(pso.GetVelocity(), swarm, swarm, 1, out), UTILS::FatalError);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_NE(text.find("Trying to acces to an individual not allocated."), std::string::npos);
    EXPECT_NE(text.find("Program stopped!"), std::string::npos);
    EXPECT_EQ(pso.GetVelocity()[0][0], 1.0);
    EXPECT_EQ(out[0].GetDvs(0), 0.0);
}

TEST(PSO, EveryImprovementReachesTheBestPerObjectiveRecord) {
    // Taking the leaders as a front must not unlink the parents from the
    // record: they are recycled as children, and their evaluations would then
    // be lost to the record, its convergence files and the stopping rules.
    SwarmRun run(SquareConfig(4, 8, "0 8"));
    PSO& pso = *run.opt;
    run.Start();
    const std::vector<INDIVIDUAL>* record = pso.GetBestfitsPtr();
    double best[2] = {INDIVIDUAL::kWorst, INDIVIDUAL::kWorst};
    auto note = [&best](const POPULATION& pop) {
        for (unsigned i = 0; i < pop.GetPopsize(); ++i)
            for (unsigned j = 0; j < 2; ++j)
                if (pop[i].IsComputed())
                    best[j] = std::min(best[j], pop[i].GetObj(j));
    };
    note(pso.GetLamu());
    unsigned improvements = 0;
    for (int gen = 0; gen < 25; ++gen) {
        const double before = best[0] + best[1];
        testing::internal::CaptureStdout();
        pso.IncrIter();
        pso.Generate();
        testing::internal::GetCapturedStdout();
        for (unsigned i = 0; i < pso.GetParents().GetPopsize(); ++i)
            ASSERT_EQ(pso.GetParents()[i].GetBestfitsPtr(), record) << "generation " << gen;
        for (unsigned i = 0; i < pso.GetChilds()->GetPopsize(); ++i)
            ASSERT_EQ((*pso.GetChilds())[i].GetBestfitsPtr(), record) << "generation " << gen;
        testing::internal::CaptureStdout();
        pso.Compute();
        testing::internal::GetCapturedStdout();
        note(*pso.GetChilds());
        testing::internal::CaptureStdout();
        pso.PostProcessInds();
        testing::internal::GetCapturedStdout();
        if (best[0] + best[1] < before)
            ++improvements;
        for (unsigned j = 0; j < 2; ++j)
            ASSERT_EQ(pso.GetBestfits(j).GetObj(j), best[j])
                << "objective " << j << " after generation " << gen;
    }
    EXPECT_GT(improvements, 3u);
    EXPECT_GT(pso.GetLastLeaders(), 0u);
}

TEST(PSO, SeededSwarmsRepeatExactly) {
    std::vector<std::vector<double>> designs[2];
    for (int r = 0; r < 2; ++r) {
        SwarmRun run(SquareConfig(3, 6, "0 10"), 7);
        run.Start();
        for (int gen = 0; gen < 5; ++gen)
            run.Generation();
        for (unsigned i = 0; i < run.opt->GetLamu().GetPopsize(); ++i)
            designs[r].push_back(run.opt->GetLamu()[i].GetDvs());
    }
    EXPECT_EQ(designs[0], designs[1]);
}

TEST(PSO, AnImmigrantReachesTheEliteValuesAndTheOwnVariablesOfTheLastChild) {
    SwarmRun run(SquareConfig(2, 4, "0 4"));
    PSO& pso = *run.opt;
    // The player owns global variables 1 and 2 of three (0-based).
    testing::internal::CaptureStdout();
    pso.SetActiveGame({-1, 1, 2}, {0, 1}, 3, 1);
    testing::internal::GetCapturedStdout();
    INDIVIDUAL immigrant(2, 2, 0, nullptr);
    immigrant.SetDvs({7.0, 8.0});
    const std::vector<double> before = pso.GetChilds()->back().GetDvs();
    pso.Inmigrate(immigrant, {0, 2});
    EXPECT_EQ(pso.GetEliteDVs(), (std::vector<double>{7.0, 0.0, 8.0}));
    // Global variable 2 is the player's variable 1; global 0 is not its own.
    EXPECT_EQ(pso.GetChilds()->back().GetDvs(0), before[0]);
    EXPECT_EQ(pso.GetChilds()->back().GetDvs(1), 8.0);
}

TEST(PSO, ProbabilitiesAreCheckedAlthoughTheSwarmDoesNotUseThem) {
    RunConfig c = SquareConfig(2, 4, "0 4");
    c.pc = 1.5;
    FatalThrows fatal;
    TempDir dir;
    std::istringstream in(OptimizerBlock(c));
    testing::internal::CaptureStdout();
    EXPECT_THROW(PSO(in, 2), UTILS::FatalError);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  "Crossover probability must be between [0,1] range"),
              std::string::npos);
}
