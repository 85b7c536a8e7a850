// The line searches on functions of one variable: the bracketing, the golden
// section and the parabolic search, with the steps they return and the
// number of evaluations they spend where the algorithm fixes it.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "optim/LINU.h"
#include "support/TestSupport.h"

namespace {

const double kGolden = 0.3819660112501051;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A function along the line that remembers where it was evaluated and sets
// the done flag at evaluation number stop_at (counted from 1), as the
// stopping rule would.
struct Line {
    explicit Line(double (*function)(double)) : f(function) {}

    double (*f)(double);
    bool done = false;
    unsigned stop_at = 0;
    std::vector<double> steps;

    LINU::LineFunction Function() {
        return [this](double s) {
            steps.push_back(s);
            if (steps.size() == stop_at)
                done = true;
            return f(s);
        };
    }
};

double Parabola(double s) {
    return (s - 3.0) * (s - 3.0);
}

double Square(double s) {
    return s * s;
}

double Descending(double s) {
    return -s;
}

double NotANumber(double) {
    return kNaN;
}

// From the parabola's value 9 at step 0.
LINU::LineSearchSettings Settings() {
    return {0.5, 9.0, 1e6, 1e-3, 0.1, false};
}

// A line search, and the trials it spends on [0, 0.25] to a tolerance of 1e-6
// when no step is better than the start.
struct Search {
    const char* name;
    LINU::LineSearchResult (*search)(const LINU::LineFunction&, const LINU::LineSearchSettings&,
                                     bool&);
    unsigned trials_without_improvement;
};

// The golden section shrinks [0, 0.25] by 1 - r per trial (26 trials to reach
// 1e-6); the parabolic search first narrows toward 0 by r per trial (13).
const Search kSearches[] = {
    {"GoldenSection", LINU::golden_section_step, 1 + 2 + 26},
    {"Brent", LINU::brent_step, 1 + 1 + 13},
};

class LINUSearch : public testing::TestWithParam<Search> {};

INSTANTIATE_TEST_SUITE_P(Searches, LINUSearch, testing::ValuesIn(kSearches),
                         testsupport::RowName());

} // namespace

TEST(LINU, BracketingDoublesTheStepUntilTheValueIsNotBelowTheStart) {
    Line line(Parabola);
    double step = 0.0, value = 0.0;
    EXPECT_TRUE(LINU::bracket_minimum(line.Function(), Settings(), line.done, step, value));
    EXPECT_EQ(line.steps, (std::vector<double>{0.5, 1.0, 2.0, 4.0, 8.0}));
    EXPECT_EQ(step, 8.0);
    EXPECT_EQ(value, 25.0);

    // A step of 0 would never grow: the first step size replaces it, and 6.4
    // is the first double of 0.1 with a value of 9 or more.
    Line from_zero(Parabola);
    LINU::LineSearchSettings s = Settings();
    s.initial_step = 0.0;
    EXPECT_TRUE(LINU::bracket_minimum(from_zero.Function(), s, from_zero.done, step, value));
    EXPECT_EQ(from_zero.steps.size(), 7u);
    EXPECT_DOUBLE_EQ(step, 6.4);
}

TEST_P(LINUSearch, BracketingThatReachesTheWarningStepGivesTheFirstStep) {
    Line line(Descending);
    LINU::LineSearchSettings s = Settings();
    s.f0 = 0.0;
    s.warning_step = 3.0;
    // 0.5, 1 and 2 improve; 4 reaches the warning size and is not evaluated.
    const LINU::LineSearchResult r = GetParam().search(line.Function(), s, line.done);
    EXPECT_EQ(r.step, 0.1);
    EXPECT_FALSE(r.failed);
    EXPECT_FALSE(line.done);
    EXPECT_EQ(line.steps, (std::vector<double>{0.5, 1.0, 2.0}));
}

TEST(LINU, GoldenSectionNarrowsAParabolaToItsMinimum) {
    Line line(Parabola);
    const LINU::LineSearchResult r =
        LINU::golden_section_step(line.Function(), Settings(), line.done);
    EXPECT_NEAR(r.step, 3.0, 1e-3);
    EXPECT_FALSE(r.failed);
    // The bracket [0, 8] (5 trials), its two golden points, then one trial per
    // reduction by 1 - r: 8 (1 - r)^k <= 1e-3 first holds for k = 19.
    ASSERT_EQ(line.steps.size(), 5u + 2u + 19u);
    EXPECT_DOUBLE_EQ(line.steps[5], kGolden * 8.0);
    EXPECT_DOUBLE_EQ(line.steps[6], 8.0 - kGolden * 8.0);
}

TEST(LINU, BrentMethodFitsAParabolaExactly) {
    Line line(Parabola);
    const LINU::LineSearchResult r = LINU::brent_step(line.Function(), Settings(), line.done);
    EXPECT_NEAR(r.step, 3.0, 1e-3);
    // After the bracket [0, 8] (5 trials), x = 8r and two golden steps give
    // three distinct points: the parabola through them is the function, and
    // its vertex is the next trial.
    ASSERT_GT(line.steps.size(), 8u);
    EXPECT_DOUBLE_EQ(line.steps[5], kGolden * 8.0);
    EXPECT_DOUBLE_EQ(line.steps[6], kGolden * 8.0 + (8.0 - kGolden * 8.0) * kGolden);
    EXPECT_NEAR(line.steps[8], 3.0, 1e-12);
    EXPECT_LT(line.steps.size(), 5u + 2u + 19u); // fewer than the golden section
}

TEST_P(LINUSearch, NoPointBelowTheStartGivesStepZero) {
    // From the minimum of s^2 every step is worse.
    LINU::LineSearchSettings s{0.25, 0.0, 1e6, 1e-6, 0.1, false};
    for (bool in_game : {false, true}) {
        s.in_game = in_game;
        Line line(Square);
        const LINU::LineSearchResult r = GetParam().search(line.Function(), s, line.done);
        EXPECT_EQ(r.step, 0.0);
        EXPECT_FALSE(r.failed);
        EXPECT_FALSE(line.done);
        EXPECT_EQ(line.steps.size(), GetParam().trials_without_improvement);
    }
}

TEST_P(LINUSearch, ValuesThatAreNotNumbersNeverImprove) {
    // NaN is not below the start, so the bracket is [0, 0.25] at once; the
    // searches then spend the same trials as on a function with no better
    // point and return 0.
    const LINU::LineSearchSettings s{0.25, 0.0, 1e6, 1e-6, 0.1, false};
    Line line(NotANumber);
    const LINU::LineSearchResult r = GetParam().search(line.Function(), s, line.done);
    EXPECT_EQ(r.step, 0.0);
    EXPECT_FALSE(line.done);
    EXPECT_EQ(line.steps.size(), GetParam().trials_without_improvement);
}

TEST_P(LINUSearch, TheStoppingRuleInTheBracketingEndsTheSearchWithTheBestStepSoFar) {
    // Met at the second bracketing trial (step 1, value 4): no further
    // trial, and 1 is the last improving step.
    Line bracketing(Parabola);
    bracketing.stop_at = 2;
    EXPECT_EQ(GetParam().search(bracketing.Function(), Settings(), bracketing.done).step, 1.0);
    EXPECT_EQ(bracketing.steps.size(), 2u);
    EXPECT_TRUE(bracketing.done);
}

TEST(LINU, TheStoppingRuleAtAGoldenPointEndsTheSearchWithTheBestStepSoFar) {
    // Met at the first interior point 8r of the golden section, whose value
    // is the only one below 9 that the search holds.
    Line interior(Parabola);
    interior.stop_at = 6;
    const LINU::LineSearchResult r =
        LINU::golden_section_step(interior.Function(), Settings(), interior.done);
    EXPECT_DOUBLE_EQ(r.step, kGolden * 8.0);
    EXPECT_EQ(interior.steps.size(), 6u);
}
