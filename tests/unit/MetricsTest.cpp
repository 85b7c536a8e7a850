// Population metrics: the generational distance to a reference front and
// Deb's spread indicator, on hand-computed cases and edge cases.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "optim/LAMBDAMU.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using testsupport::FatalThrows;

namespace {

POPULATION Points(const std::vector<std::vector<double>>& objectives, int nobj = 2) {
    POPULATION pop("points", 1, nobj, 0, 0, false);
    INDIVIDUAL ind(1, nobj, 0, nullptr);
    for (const auto& o : objectives) {
        ind.SetEval(o, {});
        pop.PushBackNewInd(ind);
    }
    return pop;
}

// Runs f with standard output captured; returns what it printed.
template <typename F> std::string Quiet(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

const double kLargest = std::numeric_limits<double>::max();

} // namespace

TEST(DistanceMetric, HandComputedValues) {
    const POPULATION front = Points({{0.0, 1.0}, {0.5, 0.5}, {1.0, 0.0}});
    EXPECT_DOUBLE_EQ(front.DistanceMetric(front), 0.0);

    EXPECT_DOUBLE_EQ(Points({{0.0, 1.0}, {1.0, 0.0}}).DistanceMetric(Points({{0.0, 0.0}})), 1.0);

    // Nearest reference points: (0,0) at 5 for (3,4); (10,0) at 1 for (10,1);
    // mean of 5 and 1.
    const POPULATION reference = Points({{0.0, 0.0}, {10.0, 0.0}});
    EXPECT_DOUBLE_EQ(Points({{3.0, 4.0}, {10.0, 1.0}}).DistanceMetric(reference), 3.0);

    // Only the population's objectives count: a reference with a third
    // objective is measured on the first two.
    const POPULATION wide = Points({{0.0, 0.0, 100.0}}, 3);
    EXPECT_DOUBLE_EQ(Points({{0.0, 2.0}}).DistanceMetric(wide), 2.0);
}

TEST(DistanceMetric, EmptyPopulationOrReference) {
    double value = 0.0;
    const std::string printed = Quiet([&] {
        value = Points({}).DistanceMetric(Points({{0.0, 0.0}}));
    });
    EXPECT_EQ(value, kLargest);
    EXPECT_EQ(printed, "double POPULATION::DistanceMetric(bool sort):\n"
                       "\tWarning!: GetPopsize() == 0\n");
    // An empty reference leaves every distance at the largest finite double.
    EXPECT_EQ(Points({{0.0, 1.0}}).DistanceMetric(Points({})), kLargest);
}

TEST(DiversityMetric, HandComputedValues) {
    // Evenly spaced, ends on the reference ends: perfect spread.
    const POPULATION reference = Points({{0.0, 1.0}, {0.3, 0.6}, {1.0, 0.0}});
    POPULATION even = Points({{0.0, 1.0}, {0.5, 0.5}, {1.0, 0.0}});
    EXPECT_NEAR(even.DiversityMetric(reference, false), 0.0, 1e-15);

    // Gaps 1 and 3 (mean 2, deviations 1 + 1), ends 1 and 2 away from the
    // reference ends: (1 + 2 + 2) / (1 + 2 + 2 * 2) = 5/7.
    POPULATION uneven = Points({{1.0, 10.0}, {2.0, 10.0}, {5.0, 10.0}});
    const POPULATION ends = Points({{0.0, 10.0}, {7.0, 10.0}});
    EXPECT_DOUBLE_EQ(uneven.DiversityMetric(ends, false), 5.0 / 7.0);

    // Sorting first puts the members in objective-0 order; the result is the
    // same as for the sorted input, and the population stays sorted.
    POPULATION shuffled = Points({{5.0, 10.0}, {1.0, 10.0}, {2.0, 10.0}});
    double sorted = 0.0;
    const std::string printed = Quiet([&] { sorted = shuffled.DiversityMetric(ends, true); });
    EXPECT_DOUBLE_EQ(sorted, 5.0 / 7.0);
    EXPECT_EQ(printed, "double POPULATION::DiversityMetric(...):\n\tSorting\n");
    EXPECT_EQ(shuffled[0].GetObj(0), 1.0);
    EXPECT_EQ(shuffled[2].GetObj(0), 5.0);

    // Without sorting the given order is used: gaps 4 and 1 (mean 2.5,
    // deviations 1.5 + 1.5), ends |5-0| = 5 and |2-7| = 5:
    // (5 + 5 + 3) / (5 + 5 + 2 * 2.5) = 13/15.
    POPULATION unsorted = Points({{5.0, 10.0}, {1.0, 10.0}, {2.0, 10.0}});
    EXPECT_DOUBLE_EQ(unsorted.DiversityMetric(ends, false), 13.0 / 15.0);
}

TEST(DiversityMetric, EmptyAndSingleMember) {
    const POPULATION reference = Points({{0.0, 1.0}, {1.0, 0.0}});
    POPULATION empty = Points({});
    double value = 0.0;
    std::string printed = Quiet([&] { value = empty.DiversityMetric(reference, false); });
    EXPECT_EQ(value, kLargest);
    EXPECT_EQ(printed, "double POPULATION::DiversityMetric(...):\n"
                       "\tWarning!: GetPopsize() == 0\n");

    POPULATION one = Points({{0.5, 0.5}});
    printed = Quiet([&] { value = one.DiversityMetric(reference, true); });
    EXPECT_EQ(value, 1.0);
    EXPECT_EQ(printed, "double POPULATION::DiversityMetric(...):\n\tSorting\n"
                       "double POPULATION::DiversityMetric(...):\n"
                       "\tWarning!: GetPopsize() == 1\n");
}

TEST(Metrics, OneObjectiveStopsWhateverTheSize) {
    FatalThrows guard;
    const POPULATION reference = Points({{0.0}, {1.0}}, 1);
    for (const auto& members :
         {std::vector<std::vector<double>>{}, std::vector<std::vector<double>>{{0.5}, {0.7}}}) {
        POPULATION pop = Points(members, 1);
        std::string message;
        testing::internal::CaptureStdout();
        try {
            pop.DistanceMetric(reference);
        } catch (const UTILS::FatalError& e) {
            message = e.what();
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(message, "double POPULATION::DistanceMetric(bool sort):\n"
                           "Only implemented for NOBJ >= 2.\nProgram stopped!\n");
        message.clear();
        testing::internal::CaptureStdout();
        try {
            pop.DiversityMetric(reference, true);
        } catch (const UTILS::FatalError& e) {
            message = e.what();
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(message, "double POPULATION::DiversityMetric(...):\n"
                           "Only implemented for NOBJ >= 2.\nProgram stopped!\n");
    }
}

TEST(MetricsDeathTest, OneObjectiveEndsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const POPULATION pop = Points({{0.5}}, 1);
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            pop.DistanceMetric(pop);
        },
        ::testing::ExitedWithCode(1), "Only implemented for NOBJ >= 2.\nProgram stopped!\n");
}

// The true ZDT1 front f2 = 1 - sqrt(f1) sampled at 500 evenly spaced f1. Its
// spread against itself is not 0: the ends match, but the gaps are unequal
// because the curve is steeper near f1 = 0.
TEST(Metrics, SampledTrueFrontAgainstItself) {
    auto sample = [](unsigned n) {
        std::vector<std::vector<double>> points;
        for (unsigned k = 0; k < n; ++k) {
            const double f1 = static_cast<double>(k) / (n - 1);
            points.push_back({f1, 1.0 - std::sqrt(f1)});
        }
        return Points(points);
    };
    POPULATION reference = sample(500);
    EXPECT_DOUBLE_EQ(reference.DistanceMetric(reference), 0.0);
    // Every point of a denser sample lies on a chord between two neighbouring
    // reference points, so within half the longest chord of one of them.
    double longest = 0.0;
    for (unsigned k = 0; k + 1 < reference.GetPopsize(); ++k)
        longest =
            std::max(longest, std::hypot(reference[k + 1].GetObj(0) - reference[k].GetObj(0),
                                         reference[k + 1].GetObj(1) - reference[k].GetObj(1)));
    const POPULATION dense = sample(1999);
    const double gd = dense.DistanceMetric(reference);
    EXPECT_GT(gd, 0.0);
    EXPECT_LT(gd, 0.5 * longest);
    const double spread = reference.DiversityMetric(reference, false);
    EXPECT_GT(spread, 0.0);
    EXPECT_LT(spread, 1.0);
}

// ---- a real evolutionary run on ZDT1 against the published NSGA-II figures ----

namespace {

// Runs LAMBDAMU on ZDT1 through the mathcases plug-in in a fresh folder (30
// variables in [0, 1], popsize 100, 25,000 evaluations, pc 0.9, pm 1/30) and
// returns the non-dominated members of the final population, sorted by f1.
POPULATION RunZdt1(unsigned seed) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    testsupport::WriteFile("prob.dat", "ZDT1\n");
    // No children file, no Pareto history, no baseline, no reports, no plots.
    testsupport::WriteFile("write.QERN", "0\n0\n0\n0\n0\n");
    testsupport::RunConfig config; // ZDT1, popsize 100, pc 0.9, pm 1/30, x in [0, 1]
    std::ostringstream sink;
    std::streambuf* const previous = std::cout.rdbuf(sink.rdbuf());
    std::istringstream block(testsupport::OptimizerBlock(config));
    LAMBDAMU lambdamu(block, seed);
    WriteData wdata;
    wdata.LoadConfigFile();
    lambdamu.SetWriteData(wdata);
    lambdamu.SetTerminationCriteria(TerminationCriteriaNEvals(25000));
    double elapsed = 0.0;
    long start = static_cast<long>(std::time(nullptr));
    lambdamu.Run(elapsed, start);
    std::cout.rdbuf(previous);

    EXPECT_GE(lambdamu.GetObjEvals(), 25000u);
    POPULATION final_pop = lambdamu.GetLamu();
    final_pop = final_pop.SubPop(0, 100);
    POPULATION front = final_pop.ParetoPop(true);
    front.Sort(0);
    return front;
}

} // namespace

// Deb et al. (2002) report for real-coded NSGA-II on ZDT1 (same settings,
// 500 points of the true front) a convergence of 0.033482 and a diversity of
// 0.390307. The optimiser must reach a front of that quality: close to the
// true front and spread over all of it.
TEST(MetricsZdt1, FinalFrontMatchesPublishedNsga2Quality) {
    std::vector<std::vector<double>> points;
    for (unsigned k = 0; k < 500; ++k) {
        const double f1 = k / 499.0;
        points.push_back({f1, 1.0 - std::sqrt(f1)});
    }
    const POPULATION reference = Points(points);
    POPULATION front = RunZdt1(2);
    ASSERT_GE(front.GetPopsize(), 90u);
    const double convergence = front.DistanceMetric(reference);
    const double diversity = front.DiversityMetric(reference, false);
    RecordProperty("convergence", std::to_string(convergence));
    RecordProperty("diversity", std::to_string(diversity));
    EXPECT_LT(convergence, 2 * 0.033482);
    EXPECT_GT(diversity, 0.2);
    EXPECT_LT(diversity, 1.5 * 0.390307);
    // The ends of the front reach the ends of the true front.
    EXPECT_LT(front[0].GetObj(0), 0.01);
    EXPECT_GT(front[front.GetPopsize() - 1].GetObj(0), 0.95);
}
