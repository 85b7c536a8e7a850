// Tests of INDIVIDUAL: initial state, the computed flag, the constraint
// violation and the best-per-objective record updated on evaluation.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/UTILS.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

const double kMax = std::numeric_limits<double>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A record of nobj entries whose objectives are all the largest double.
std::vector<INDIVIDUAL> FreshRecord(int ndvs, int nobj, int nctr) {
    return std::vector<INDIVIDUAL>(static_cast<size_t>(nobj),
                                   INDIVIDUAL(ndvs, nobj, nctr, nullptr));
}

TEST(INDIVIDUAL, NewIndividualHasTheInitialValues) {
    std::vector<INDIVIDUAL> record;
    INDIVIDUAL ind(3, 2, 4, &record);
    EXPECT_EQ(ind.rank, 1u);
    EXPECT_EQ(ind.crowd_distance, 0.0);
    EXPECT_FALSE(ind.IsComputed());
    EXPECT_EQ(ind.GetCtrViolation(), 0.0);
    EXPECT_EQ(ind.GetBestfitsPtr(), &record);
    EXPECT_EQ(ind.GetNdvs(), 3u);
    EXPECT_EQ(ind.GetNobj(), 2u);
    EXPECT_EQ(ind.GetNctr(), 4u);
    EXPECT_EQ(ind.GetDvs(), std::vector<double>(3, 0.0));
    EXPECT_EQ(ind.GetCtr(), std::vector<double>(4, 0.0));
    for (unsigned i = 0; i < 2; ++i)
        EXPECT_EQ(ind.GetObj(i), 1.7976931348623157e308);
}

TEST(INDIVIDUAL, ZeroCountsGiveEmptyVectors) {
    INDIVIDUAL ind(0, 0, 0, nullptr);
    EXPECT_TRUE(ind.GetDvs().empty());
    EXPECT_TRUE(ind.GetObj().empty());
    EXPECT_TRUE(ind.GetCtr().empty());
}

TEST(INDIVIDUAL, ConstraintViolationIsTheSumOfTheNegativeConstraints) {
    INDIVIDUAL ind(1, 1, 4, nullptr);
    ind.SetCtr({2.0, -0.5, 0.0, -1.5});
    EXPECT_EQ(ind.GetCtrViolation(), -2.0);
    EXPECT_EQ(ind.GetCtr(), (std::vector<double>{2.0, -0.5, 0.0, -1.5}));

    // A new set of constraints starts the sum again.
    ind.SetCtr({0.0, 0.0, 3.0, 1e-300});
    EXPECT_EQ(ind.GetCtrViolation(), 0.0);
    EXPECT_FALSE(std::signbit(ind.GetCtrViolation()));

    // SetCtr alone does not change the computed state.
    EXPECT_FALSE(ind.IsComputed());
    ind.SetEval({1.0}, {1.0, 1.0, 1.0, 1.0});
    ind.SetCtr({-1.0, 0.0, 0.0, 0.0});
    EXPECT_TRUE(ind.IsComputed());
    EXPECT_EQ(ind.GetCtrViolation(), -1.0);
}

TEST(INDIVIDUAL, SetDvKeepsTheEvaluationOnlyWhenTheValueIsUnchanged) {
    INDIVIDUAL ind(2, 1, 0, nullptr);
    ind.SetDvs({0.25, 0.5});
    ind.SetEval({1.0}, {});
    ASSERT_TRUE(ind.IsComputed());

    ind.SetDv(0, 0.25); // the same value
    EXPECT_TRUE(ind.IsComputed());
    ind.SetDvs({0.25, 0.5, 99.0}); // same values; the extra one is ignored
    EXPECT_TRUE(ind.IsComputed());
    EXPECT_EQ(ind.GetDvs(), (std::vector<double>{0.25, 0.5}));

    ind.SetDv(1, 0.5000000000000001);
    EXPECT_FALSE(ind.IsComputed());
    EXPECT_EQ(ind.GetDvs(1), 0.5000000000000001);
}

TEST(INDIVIDUAL, NaNAlwaysCountsAsAChange) {
    INDIVIDUAL ind(1, 1, 0, nullptr);
    ind.SetDv(0, kNaN);
    ind.SetEval({1.0}, {});
    ASSERT_TRUE(ind.IsComputed());
    ind.SetDv(0, kNaN); // NaN != NaN
    EXPECT_FALSE(ind.IsComputed());
}

TEST(INDIVIDUAL, SetDvOutOfRangeStopsWithThreeLines) {
    INDIVIDUAL ind(3, 1, 0, nullptr);
    const std::string out = FatalOutput([&] { ind.SetDv(3, 1.0); });
    EXPECT_EQ(out, "Design variable index out of range\n"
                   "INDIVIUDAL::SetDV(unit,double)\n"
                   "Program stopped!\n");
    EXPECT_EQ(ind.GetDvs(), std::vector<double>(3, 0.0));
}

TEST(INDIVIDUALDeathTest, SetDvOutOfRangeEndsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    INDIVIDUAL ind(3, 1, 0, nullptr);
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            ind.SetDv(3, 1.0);
        },
        ::testing::ExitedWithCode(1),
        "Design variable index out of range\nINDIVIUDAL::SetDV\\(unit,double\\)\nProgram stopped!");
}

TEST(INDIVIDUAL, CopiesAreMemberWise) {
    std::vector<INDIVIDUAL> record = FreshRecord(2, 1, 1);
    INDIVIDUAL a(2, 1, 1, &record);
    a.SetDvs({1.0, 2.0});
    a.SetEval({3.0}, {-4.0});
    a.rank = 7;
    a.crowd_distance = 0.5;
    INDIVIDUAL b(a);
    EXPECT_EQ(b.GetDvs(), a.GetDvs());
    EXPECT_EQ(b.GetObj(), a.GetObj());
    EXPECT_EQ(b.GetCtr(), a.GetCtr());
    EXPECT_EQ(b.GetCtrViolation(), -4.0);
    EXPECT_TRUE(b.IsComputed());
    EXPECT_EQ(b.rank, 7u);
    EXPECT_EQ(b.crowd_distance, 0.5);
    EXPECT_EQ(b.GetBestfitsPtr(), &record);
    // The vectors are copied by value.
    b.SetDv(0, 10.0);
    EXPECT_EQ(a.GetDvs(0), 1.0);
    EXPECT_TRUE(a.IsComputed());

    INDIVIDUAL c(5, 5, 5, nullptr);
    c = a;
    EXPECT_EQ(c.GetNdvs(), 2u);
    EXPECT_EQ(c.GetNobj(), 1u);
    EXPECT_EQ(c.GetNctr(), 1u);
    EXPECT_EQ(c.GetBestfitsPtr(), &record);
}

TEST(INDIVIDUAL, SetEvalStoresTheResultsAndMarksComputed) {
    INDIVIDUAL ind(1, 2, 2, nullptr);
    ind.SetEval({1.5, -2.5}, {0.5, -0.25});
    EXPECT_TRUE(ind.IsComputed());
    EXPECT_EQ(ind.GetObj(), (std::vector<double>{1.5, -2.5}));
    EXPECT_EQ(ind.GetCtr(), (std::vector<double>{0.5, -0.25}));
    EXPECT_EQ(ind.GetCtrViolation(), -0.25);

    // Without constraints the constraint argument is not read.
    INDIVIDUAL free(1, 1, 0, nullptr);
    free.SetEval({4.0}, {});
    EXPECT_EQ(free.GetCtrViolation(), 0.0);
    EXPECT_TRUE(free.IsComputed());
}

TEST(INDIVIDUAL, FeasibleEvaluationReplacesOnlyTheEntriesItImproves) {
    // Record: best 0 has obj (5, 9), best 1 has obj (7, 1).
    std::vector<INDIVIDUAL> record = FreshRecord(1, 2, 0);
    record[0].SetDvs({50.0});
    record[0].SetEval({5.0, 9.0}, {});
    record[1].SetDvs({70.0});
    record[1].SetEval({7.0, 1.0}, {});

    INDIVIDUAL ind(1, 2, 0, &record);
    ind.SetDvs({30.0});
    ind.SetEval({3.0, 4.0}, {});

    EXPECT_EQ(record[0].GetObj(), (std::vector<double>{3.0, 4.0})); // a whole copy
    EXPECT_EQ(record[0].GetDvs(0), 30.0);
    EXPECT_EQ(record[1].GetObj(), (std::vector<double>{7.0, 1.0}));
    EXPECT_EQ(record[1].GetDvs(0), 70.0);
}

TEST(INDIVIDUAL, TiesKeepTheOlderEntry) {
    std::vector<INDIVIDUAL> record = FreshRecord(1, 1, 0);
    INDIVIDUAL first(1, 1, 0, &record);
    first.SetDvs({1.0});
    first.SetEval({2.0}, {});
    INDIVIDUAL second(1, 1, 0, &record);
    second.SetDvs({2.0});
    second.SetEval({2.0}, {});
    EXPECT_EQ(record[0].GetDvs(0), 1.0);
}

TEST(INDIVIDUAL, FirstFeasibleEvaluationAlwaysEntersAFreshRecord) {
    std::vector<INDIVIDUAL> record = FreshRecord(1, 2, 0);
    INDIVIDUAL ind(1, 2, 0, &record);
    ind.SetEval({1e300, 1e307}, {});
    EXPECT_EQ(record[0].GetObj(0), 1e300);
    EXPECT_EQ(record[1].GetObj(1), 1e307);
}

TEST(INDIVIDUAL, InfeasibleEvaluationLeavesTheRecordUntouched) {
    std::vector<INDIVIDUAL> record = FreshRecord(1, 2, 1);
    INDIVIDUAL ind(1, 2, 1, &record);
    ind.SetEval({-100.0, -100.0}, {-1e-12});
    EXPECT_TRUE(ind.IsComputed());
    EXPECT_EQ(ind.GetObj(0), -100.0);
    EXPECT_EQ(record[0].GetObj(0), kMax);
    EXPECT_EQ(record[1].GetObj(1), kMax);

    // The violation is computed before the record is consulted: the same
    // individual made feasible by its new constraints does enter it.
    ind.SetEval({-100.0, -100.0}, {0.0});
    EXPECT_EQ(record[0].GetObj(0), -100.0);
    EXPECT_EQ(record[0].GetCtrViolation(), 0.0);
}

TEST(INDIVIDUAL, SetObjAloneUpdatesTheRecordButNotTheComputedFlag) {
    std::vector<INDIVIDUAL> record = FreshRecord(1, 1, 0);
    INDIVIDUAL ind(1, 1, 0, &record);
    ind.SetObj({0.5});
    EXPECT_FALSE(ind.IsComputed());
    EXPECT_EQ(record[0].GetObj(0), 0.5);
}

TEST(INDIVIDUAL, NullRecordLinkStillStoresTheValues) {
    INDIVIDUAL ind(1, 2, 0, nullptr);
    ind.SetEval({1.0, 2.0}, {});
    EXPECT_EQ(ind.GetObj(), (std::vector<double>{1.0, 2.0}));
    EXPECT_TRUE(ind.IsComputed());

    std::vector<INDIVIDUAL> record = FreshRecord(1, 2, 0);
    ind.SetBestfitsPtr(&record);
    EXPECT_EQ(ind.GetBestfitsPtr(), &record);
    ind.SetEval({0.0, 0.0}, {});
    EXPECT_EQ(record[0].GetObj(0), 0.0);
}

TEST(INDIVIDUAL, ParallelEvaluationsLeaveTheBestOfEachObjectiveInTheRecord) {
    // Many threads evaluate distinct individuals that share one record; the
    // record must end with the true minimum of each objective.
    const int n = 2000;
    std::vector<INDIVIDUAL> record = FreshRecord(1, 2, 0);
    std::vector<INDIVIDUAL> inds(static_cast<size_t>(n), INDIVIDUAL(1, 2, 0, &record));
#pragma omp parallel for num_threads(4) schedule(dynamic, 1)
    for (int i = 0; i < n; ++i) {
        // Objective 0 is smallest at i = 1234, objective 1 at i = 17.
        const double f0 = std::fabs(i - 1234.0);
        const double f1 = std::fabs(i - 17.0) + 0.5;
        inds[static_cast<size_t>(i)].SetDv(0, i);
        inds[static_cast<size_t>(i)].SetEval({f0, f1}, {});
    }
    EXPECT_EQ(record[0].GetDvs(0), 1234.0);
    EXPECT_EQ(record[0].GetObj(0), 0.0);
    EXPECT_EQ(record[1].GetDvs(0), 17.0);
    EXPECT_EQ(record[1].GetObj(1), 0.5);
}

} // namespace
