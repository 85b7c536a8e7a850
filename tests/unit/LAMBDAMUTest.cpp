// The evolutionary optimiser in process, on problems of the real mathcases
// plug-in: buffer set-up, generations, fixed variables, immigrants, the
// configuration checks and the run report.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "model/UTILS.h"
#include "optim/LAMBDAMU.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"
#include "support/OptimizerRun.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// A LAMBDAMU built from the text block, in a temporary folder holding
// prob.dat; output quiet (no report, no children file, no plots).
class LambdaMuRun : public OptimizerRun<LAMBDAMU> {
public:
    explicit LambdaMuRun(const RunConfig& c, unsigned seed = 2)
        : OptimizerRun({{"prob.dat", c.problem + "\n"}}, OptimizerBlock(c), seed) {}
    void Generation() { Step(); }
};

RunConfig Sch1(int popsize, const std::string& buffer) {
    RunConfig c;
    c.problem = "SCH1";
    c.ndvs = 1;
    c.popsize = popsize;
    c.buffer = buffer;
    c.lower = {-10};
    c.upper = {10};
    return c;
}

std::vector<std::vector<double>> Designs(const POPULATION& pop) {
    std::vector<std::vector<double>> d;
    for (unsigned i = 0; i < pop.GetPopsize(); ++i)
        d.push_back(pop[i].GetDvs());
    return d;
}

} // namespace

TEST(LambdaMu, ALargerBufferIsEvaluatedAndItsBestBecomeTheParents) {
    LambdaMuRun run(Sch1(20, "0 50"));
    EXPECT_EQ(run.opt->GetBufsize(), 50u);
    EXPECT_EQ(run.opt->GetChilds()->GetPopsize(), 50u);
    run.Start();
    EXPECT_EQ(run.opt->GetObjEvals(), 50u);
    EXPECT_EQ(run.opt->GetParents().GetPopsize(), 20u);
    EXPECT_EQ(run.opt->GetChilds()->GetPopsize(), 20u);
    EXPECT_EQ(run.opt->GetLamu().GetPopsize(), 40u);
    EXPECT_EQ(run.opt->GetLamu().GetName(), "lamu");
    // The parents are the best of the buffer by rank and crowding: all of rank 1
    // comes first, and no parent is dominated by a buffer member left out.
    const POPULATION& parents = run.opt->GetParents();
    for (unsigned i = 1; i < parents.GetPopsize(); ++i)
        EXPECT_LE(parents[i - 1].rank, parents[i].rank);
    // The second half of lamu is the children population itself (shared).
    for (unsigned k = 0; k < 20; ++k)
        EXPECT_EQ(run.opt->GetLamu().GetIndsPtrs(20 + k), run.opt->GetChilds()->GetIndsPtrs(k));
    EXPECT_NE(run.output.find("> Starting LAMBDAMU\n   resized\n   mLamu = mParents\n"
                              "   NameSeted\n   mLamu += mChilds;\n< Done.\n"),
              std::string::npos);
    EXPECT_EQ(ReadLines("initial_buffer.out").size(), 53u);
    EXPECT_EQ(ReadLines("first_parents.out").size(), 23u);
}

TEST(LambdaMu, WithoutCrossoverAndMutationNothingChangesAfterTheBuffer) {
    RunConfig c = Sch1(10, "0 10");
    c.pc = 0.0;
    c.pm = 0.0;
    LambdaMuRun run(c);
    run.Start();
    const auto parents = Designs(run.opt->GetParents());
    for (int g = 0; g < 5; ++g)
        run.Generation();
    EXPECT_EQ(run.opt->GetObjEvals(), 10u);
    // Children are whole copies of their parents, so no new design ever
    // appears: selection only changes how often each first parent is held.
    for (const auto& d : Designs(run.opt->GetParents()))
        EXPECT_NE(std::find(parents.begin(), parents.end(), d), parents.end());
}

TEST(LambdaMu, AFixedVariableNeverChangesAndStepVariablesStayOnTheirGrid) {
    RunConfig c;
    c.problem = "POL";
    c.ndvs = 2;
    c.popsize = 10;
    c.buffer = "0 10";
    c.pm = 0.9;
    c.step = {0.0, 0.5};
    c.lower = {1.25, -3.0};
    c.upper = {1.25, 3.0};
    LambdaMuRun run(c);
    run.Start();
    for (int g = 0; g < 10; ++g) {
        run.Generation();
        for (unsigned i = 0; i < 20; ++i) {
            const INDIVIDUAL& ind = run.opt->GetLamu()[i];
            EXPECT_EQ(ind.GetDvs(0), 1.25);
            const double k = (ind.GetDvs(1) + 3.0) / 0.5;
            EXPECT_EQ(k, std::round(k)) << ind.GetDvs(1);
        }
    }
}

TEST(LambdaMu, AnImmigrantIsPlantedInTheLastChildOnce) {
    RunConfig c;
    c.problem = "POL";
    c.ndvs = 2;
    c.popsize = 10;
    c.buffer = "0 10";
    c.lower = {-3.0, -3.0};
    c.upper = {3.0, 3.0};
    LambdaMuRun run(c);
    INDIVIDUAL immigrant(2, 2, 0, nullptr);
    immigrant.SetDvs({0.5, -0.25});
    run.opt->Inmigrate(immigrant, {});
    EXPECT_FALSE(run.opt->IsImmigrantPending());

    testing::internal::CaptureStdout();
    run.opt->SetActiveGame({0, 1}, {0, 1}, 2, 0);
    testing::internal::GetCapturedStdout();
    run.Start();
    run.opt->Inmigrate(immigrant, {0, 1});
    EXPECT_TRUE(run.opt->IsImmigrantPending());
    run.opt->IncrIter();
    run.opt->Generate();
    EXPECT_FALSE(run.opt->IsImmigrantPending());
    EXPECT_EQ(run.opt->GetChilds()->back().GetDvs(), (std::vector<double>{0.5, -0.25}));
    testing::internal::CaptureStdout();
    run.opt->Compute();
    run.opt->PostProcessInds();
    testing::internal::GetCapturedStdout();
    // Without a new immigrant the next generation plants nothing: with
    // crossover and mutation at work the last child is a new design.
    run.opt->IncrIter();
    run.opt->Generate();
    EXPECT_NE(run.opt->GetChilds()->back().GetDvs(), (std::vector<double>{0.5, -0.25}));
}

TEST(LambdaMu, ReportsIterationsTimesPopsizePlusBuffer) {
    LambdaMuRun run(Sch1(20, "0 50"));
    run.Start();
    for (int g = 0; g < 10; ++g)
        run.Generation();
    testing::internal::CaptureStdout();
    run.opt->PostProcessOpt();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("LAMBDAMU::PostProcessOpt():\nIterations: 10\nObjective evaluations: "),
              std::string::npos);
    EXPECT_NE(out.find("Iterations*popsize + bufsize = 250\n"), std::string::npos);
    // bestfits.out holds one design per objective.
    EXPECT_EQ(ReadLines("bestfits.out").size(), 3u + 2u + 1u);
}

TEST(LambdaMu, SeedZeroSeedsFromTheClockAtTheFirstDraw) {
    LambdaMuRun run(Sch1(4, "0 4"), 0);
    EXPECT_NE(run.output.find("Buffer random initialization\nseed = 0\n"), std::string::npos);
    EXPECT_NE(run.output.find("Warning initialization routine for RANU has not been called\n"
                              "Calling it now!\n"),
              std::string::npos);
}

TEST(LambdaMu, BufferFilesFillTheBuffer) {
    TempDir files;
    WriteFile(files.file("designs.txt"), "# two designs\n0.5\n-1.5\n1.0\n2.0\n");
    RunConfig c = Sch1(4, "1 " + files.file("designs.txt"));
    {
        LambdaMuRun run(c);
        EXPECT_EQ(run.opt->GetBufsize(), 4u);
        run.Start();
        EXPECT_EQ(run.opt->GetObjEvals(), 4u);
    }
    // A population file with results is not evaluated again and sets the record.
    WriteFile(files.file("fitted.out"), "# nobj 2 ndvs 1 nctr 0\n"
                                        "0.25 2.25 0.5 1 0\n4 0 2 1 0\n1 1 1 1 0\n0 4 0 1 0\n");
    c.buffer = "2 " + files.file("fitted.out");
    LambdaMuRun run(c);
    EXPECT_EQ(run.opt->GetBestfits(0).GetObj(0), 0.0);
    EXPECT_EQ(run.opt->GetBestfits(1).GetObj(1), 0.0);
    run.Start();
    EXPECT_EQ(run.opt->GetObjEvals(), 0u);
}

// A change to a runnable SCH1 configuration (population 10, buffer 10) that
// construction refuses, and text its message contains.
struct Refused {
    const char* name;
    void (*change)(RunConfig&);
    const char* message;
};

using LambdaMuRefused = InTempFolderWithParam<Refused>;

TEST_P(LambdaMuRefused, AtConstruction) {
    FatalThrows fatal;
    RunConfig c = Sch1(10, "0 10");
    GetParam().change(c);
    WriteFile("prob.dat", "SCH1\n");
    std::istringstream in(OptimizerBlock(c));
    testing::internal::CaptureStdout();
    EXPECT_THROW(LAMBDAMU(in, 2), UTILS::FatalError);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
}

const Refused kRefused[] = {
    {"OddPopulation", [](RunConfig& c) { c.popsize = 5; },
     "Population size must be an even number greater than 0: popsize = 5"},
    {"NoPopulation", [](RunConfig& c) { c.popsize = 0; },
     "Population size must be an even number greater than 0: popsize = 0"},
    {"BufferSmallerThanThePopulation", [](RunConfig& c) { c.buffer = "0 6"; },
     "input.QERN, line 10: the buffer size 6 is smaller than the population size 10."},
    {"LowerBoundAboveUpper", [](RunConfig& c) { c.lower = {1}, c.upper = {-1}; },
     "Wrong limits entered for the min and max bounds of variable, hence exiting\n"
     "input.QERN, line 14: design variable dvs[0] has the lower bound 1 above its upper bound -1 "
     "(input.QERN, line 15).\nProgram stopped!\n"},
    {"NegativeMutationProbability", [](RunConfig& c) { c.pm = -0.1; },
     "Mutation probability must be between [0,1] range\ninput.QERN, line 12: pm -0.1\n"
     "Program stopped!\n"},
    {"NegativeStep", [](RunConfig& c) { c.step = {-0.5}; },
     "Design variable 0 needs a step of 0 (continuous) or more: step = -0.5"},
};
INSTANTIATE_TEST_SUITE_P(Configurations, LambdaMuRefused, testing::ValuesIn(kRefused), RowName());
