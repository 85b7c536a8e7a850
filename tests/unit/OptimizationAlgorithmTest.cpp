// The optimiser base: the run loop (convergence lines, reports, early end by
// Generate), the game bookkeeping and the initial best-per-objective record.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "eval/EVAU.h"
#include "model/UTILS.h"
#include "optim/OptimizationAlgorithm.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Evaluates f(x) = x for every uncomputed child and counts its calls.
class FakeEVAU : public EVAU {
public:
    FakeEVAU() : EVAU(1, 1, 0) {}
    bool Compute(POPULATION& pop, TerminationCriteria* criteria, const std::vector<int>&,
                 const std::vector<double>&, WriteData*) override {
        ++computes;
        for (unsigned i = 0; i < pop.GetPopsize(); ++i) {
            if (pop[i].IsComputed())
                continue;
            pop[i].SetEval({pop[i].GetDvs(0)}, {});
            ++mCounts.evaluations;
            CheckCriteria(criteria, pop.GetBestfitsPtr());
        }
        return mCriteriaMet.load();
    }
    bool ComputeInd(INDIVIDUAL&, TerminationCriteria*, const std::vector<int>&,
                    const std::vector<double>&, WriteData*) override {
        return false;
    }
    int computes = 0;
};

// One child whose design decreases by one every iteration; Generate ends the
// run at a chosen iteration.
class CountingOptimizer : public OptimizationAlgorithm {
public:
    CountingOptimizer(unsigned report, unsigned stop_at)
        : OptimizationAlgorithm(nlohmann::json{{"ndvs", 1}, {"nobj", 1}, {"nctr", 0}}),
          mStopAt(stop_at) {
        mEvau = std::make_unique<FakeEVAU>();
        mFake = static_cast<FakeEVAU*>(mEvau.get());
        mData.SetReportIter(report);
        SetWriteDataPtr(&mData);
        mChilds.InitPop("childs", 1, 1, 0, 1, true);
        mChilds.SetBestfitsPtrToInds(&bestfits);
    }
    void Initialize() override {
        mChilds[0].SetDv(0, 100.0);
        Compute();
    }
    void Generate() override {
        if (GetIter() == mStopAt) {
            SetDone(true);
            return;
        }
        mChilds[0].SetDv(0, 100.0 - GetIter());
    }
    void PostProcessInds() override { ++post_inds; }
    void PostProcessOpt() override { ++post_opt; }
    void SetWriteData(WriteData data) override { mData = data; }
    void PrintReportIter() override { reports.push_back(GetIter()); }

    FakeEVAU* mFake;
    WriteData mData;
    unsigned mStopAt;
    int post_inds = 0;
    int post_opt = 0;
    std::vector<unsigned> reports;
};

std::string RunAndCapture(CountingOptimizer& opt) {
    double elapsed = 0.0;
    long start = 0;
    testing::internal::CaptureStdout();
    opt.Run(elapsed, start);
    return testing::internal::GetCapturedStdout();
}

} // namespace

using OptimizerRunLoop = testsupport::InTempFolder;

TEST_F(OptimizerRunLoop, WritesIterationZeroAndOneLinePerEvaluatedIteration) {
    {
        CountingOptimizer opt(0, 6);
        opt.SetTerminationCriteria(TerminationCriteriaNEvals(1000));
        const std::string out = RunAndCapture(opt);
        EXPECT_EQ(opt.mFake->computes, 6); // Initialize plus iterations 1 to 5
        EXPECT_EQ(opt.post_inds, 5);
        EXPECT_EQ(opt.post_opt, 1);
        EXPECT_EQ(opt.GetIter(), 6u);
        // Generate ended the run: no evaluation in iteration 6, then the end.
        EXPECT_NE(out.find("\nLOOP END\n"), std::string::npos);
        EXPECT_TRUE(opt.reports.empty()) << "report interval 0 never reports";
    }
    // The best value improves every iteration, so every line is written:
    // iteration 0 (the initial record) and iterations 1 to 5.
    const std::vector<std::string> lines = ReadLines(dir.file("convergence_gen.out"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "# Generation        obj[0]              ");
    EXPECT_EQ(lines[1], "0                   1.0000000000e+02    ");
    EXPECT_EQ(lines[6], "5                   9.5000000000e+01    ");
}

TEST_F(OptimizerRunLoop, ReportsEveryReportIntervalIterations) {
    CountingOptimizer opt(3, 10);
    opt.SetTerminationCriteria(TerminationCriteriaNEvals(1000));
    const std::string out = RunAndCapture(opt);
    EXPECT_EQ(opt.reports, (std::vector<unsigned>{3, 6, 9}));
    EXPECT_NE(out.find("-------------------------------------------\nFinished iteration: 3\n"
                       "Time elapsed = "),
              std::string::npos);
}

TEST_F(OptimizerRunLoop, TheStoppingRuleEndsTheRunThroughTheEvaluationUnit) {
    CountingOptimizer opt(0, 1000);
    opt.SetTerminationCriteria(TerminationCriteriaNEvals(4));
    const std::string out = RunAndCapture(opt);
    // 1 evaluation in Initialize, then one per iteration up to the fourth.
    EXPECT_EQ(opt.GetIter(), 3u);
    EXPECT_EQ(opt.GetObjEvals(), 4u);
    EXPECT_NE(out.find("Termination criteria has been met\n"), std::string::npos);
    EXPECT_EQ(opt.post_opt, 1);
}

TEST_F(OptimizerRunLoop, ARunNeedsAnEvaluationUnitAndAStoppingRule) {
    FatalThrows fatal;
    CountingOptimizer opt(0, 3);
    testing::internal::CaptureStdout();
    double elapsed = 0;
    long start = 0;
    EXPECT_THROW(opt.Run(elapsed, start), UTILS::FatalError);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("The optimiser has no stopping rule"), std::string::npos);
    EXPECT_EQ(opt.mFake->computes, 0);
}

TEST(OptimizerGameBookkeeping, GlobalIdsAndEliteVariables) {
    testing::internal::CaptureStdout();
    CountingOptimizer opt(0, 1);
    // ndvs is 1 for this optimiser; a player owning global variables 0 and 2
    // of three needs ndvs 2.
    opt.SetNdvs(2);
    opt.SetNobj(1);
    opt.SetActiveGame({0, -1, 2}, {-1, 1}, 3, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("OptimizationAlgorithm::SetActiveGame(...) called\n"), std::string::npos);
    EXPECT_TRUE(opt.IsActiveGame());
    EXPECT_EQ(opt.GetGlobalDVsIds(), (std::vector<unsigned>{0, 2}));
    EXPECT_EQ(opt.GetGlobalOBjIds(), (std::vector<unsigned>{1}));
    EXPECT_EQ(opt.GetEliteDVs().size(), 3u);
    EXPECT_EQ(opt.mData.GetConvergenceGenFilename(), "1convergence_gen.out");

    opt.SetEliteDVs(2, 4.5);
    EXPECT_EQ(opt.GetEliteDVs(2), 4.5);
    FatalThrows fatal;
    testing::internal::CaptureStdout();
    EXPECT_THROW(opt.SetEliteDVs(3, 1.0), UTILS::FatalError);
    EXPECT_THROW(opt.GetEliteDVs(3), UTILS::FatalError);
    EXPECT_THROW(opt.SetEliteDVs(std::vector<double>{1, 2}), UTILS::FatalError);
    EXPECT_THROW(opt.Inmigrate(INDIVIDUAL(1, 1, 0, nullptr), {0}), UTILS::FatalError);
    const std::string errors = testing::internal::GetCapturedStdout();
    EXPECT_NE(errors.find("Error on OptimizationAlgorithm::SetEliteDVs(unsigned int,double)\n"
                          "Dimension missmatch\nProgram stopped!\n"),
              std::string::npos);
    EXPECT_NE(errors.find("Error on OptimizationAlgorithm::GetEliteDVs(unsigned int,double)\n"),
              std::string::npos);
    EXPECT_NE(errors.find("Error on OptimizationAlgorithm::SetEliteDVs(std::vector<double>)\n"),
              std::string::npos);
    EXPECT_NE(errors.find("Inmigrate funciton is not overridden on this OptimizationAlgorithm "
                          "inherited class\nOptimization with GameAlgorithm not available\n"),
              std::string::npos);
}

TEST(OptimizerGameBookkeeping, ANewRecordIsWorseThanAnyFiniteValue) {
    testing::internal::CaptureStdout();
    CountingOptimizer opt(0, 1);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(opt.GetBestfitsRecord().size(), 1u);
    EXPECT_GT(opt.GetBestfits(0).GetObj(0), 1e308);
    EXPECT_FALSE(opt.GetBestfits(0).GetObj(0) > std::numeric_limits<double>::max());
}
