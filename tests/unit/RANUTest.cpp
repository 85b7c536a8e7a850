// Tests of the random-number unit: the published check of the Marsaglia-Zaman
// generator, seeding through srand/rand, the seeding report and warnings, and
// the integer, real and step-grid draws.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/RANU.h"
#include "support/TestSupport.h"

namespace {

const double k2p24 = 16777216.0;

// A generator seeded directly with the two RANMAR seeds (prints nothing).
RANU Seeded(int ij = 1802, int kl = 9373) {
    RANU r;
    r.SeedFromPair(ij, kl);
    return r;
}

// Seeds through RandomInit, swallowing the seeding report.
void QuietInit(RANU& r, unsigned seed) {
    testing::internal::CaptureStdout();
    r.RandomInit(seed);
    testing::internal::GetCapturedStdout();
}

TEST(RANU, PublishedCheckOfTheUniversalGenerator) {
    // Seeds 1802 and 9373; after 20000 numbers the next six, times 2^24, are
    // the values published with the generator.
    RANU r = Seeded(1802, 9373);
    for (int i = 0; i < 20000; ++i)
        r.RandomUniform();
    const double expected[6] = {6533892.0, 14220222.0, 7275067.0, 6172232.0, 8354498.0, 10633180.0};
    for (double e : expected)
        EXPECT_EQ(r.RandomUniform() * k2p24, e);
}

TEST(RANU, RandomNumIsTheSameSequenceAsRandomUniform) {
    RANU a = Seeded();
    RANU b = Seeded();
    for (int i = 0; i < 1000; ++i) {
        if (i % 2 == 0)
            ASSERT_EQ(a.RandomNum(), b.RandomUniform());
        else
            ASSERT_EQ(a.RandomUniform(), b.RandomNum());
    }
}

TEST(RANU, EveryDrawIsAMultipleOfTwoToTheMinus24InTheUnitInterval) {
    RANU r = Seeded(31328, 30081); // the largest seeds
    for (int i = 0; i < 200000; ++i) {
        const double x = r.RandomUniform();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
        const double scaled = x * k2p24;
        ASSERT_EQ(scaled, std::floor(scaled)) << "draw " << i << " = " << x;
    }
}

TEST(RANU, RandomInitSeedsFromTheFirstTwoNumbersOfRandAndConsumesOneDraw) {
    // Work out the RANMAR seeds from the C library's generator exactly as the
    // unit must, and compare the sequence with a directly seeded twin.
    const unsigned seed = 4711;
    std::srand(seed);
    const double r1 = std::rand();
    const double r2 = std::rand();
    const int ij = static_cast<int>(r1 * 31329.0 / 2147483648.0);
    const int kl = static_cast<int>(r2 * 30082.0 / 2147483648.0);
    ASSERT_LE(ij, 31328);
    ASSERT_LE(kl, 30081);
    RANU twin = Seeded(ij, kl);
    const double consumed = twin.RandomUniform();

    RANU r;
    EXPECT_FALSE(r.IsInitialised());
    testing::internal::CaptureStdout();
    r.RandomInit(seed);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(r.IsInitialised());
    // The draw is printed in standard output's current number format.
    std::ostringstream number;
    number.copyfmt(std::cout);
    number << consumed;
    const std::string expected = "seed = 4711\nRANU::RandomUniform(void) = " + number.str() + "\n";
    EXPECT_EQ(out, expected);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(r.RandomUniform(), twin.RandomUniform()) << "draw " << i;
}

TEST(RANU, TwoGeneratorsSeededAlikeGiveTheSameSequence) {
    RANU a, b;
    QuietInit(a, 2);
    QuietInit(b, 2);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(a.RandomUniform(), b.RandomUniform());

    RANU c, d;
    QuietInit(c, 123456789);
    QuietInit(d, 987654321);
    int same = 0;
    for (int i = 0; i < 100; ++i)
        same += c.RandomUniform() == d.RandomUniform();
    EXPECT_LT(same, 5);
}

TEST(RANU, RandomInitAgainRestartsTheSequence) {
    RANU r;
    QuietInit(r, 99);
    std::vector<double> first;
    for (int i = 0; i < 50; ++i)
        first.push_back(r.RandomUniform());
    QuietInit(r, 99);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(r.RandomUniform(), first[static_cast<size_t>(i)]);
}

TEST(RANU, SeedsZeroAndOnePrintTheTimeLine) {
    for (unsigned seed : {0u, 1u}) {
        RANU r;
        const long before = static_cast<long>(std::time(nullptr));
        testing::internal::CaptureStdout();
        r.RandomInit(seed);
        const std::string out = testing::internal::GetCapturedStdout();
        const long after = static_cast<long>(std::time(nullptr));
        const std::string head =
            "seed = " + std::to_string(seed) + "\n(unsigned int)time((time_t *)NULL) = ";
        ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
        const long printed = std::stol(out.substr(head.size()));
        EXPECT_GE(printed, before);
        EXPECT_LE(printed, after);
        EXPECT_NE(out.find("\nRANU::RandomUniform(void) = "), std::string::npos) << out;
        EXPECT_TRUE(r.IsInitialised());
    }
    // Other seeds print no time line.
    RANU r;
    testing::internal::CaptureStdout();
    r.RandomInit(2);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("time"), std::string::npos);
}

TEST(RANU, ADrawBeforeRandomInitSeedsFromTheClockAndWarns) {
    RANU r;
    testing::internal::CaptureStdout();
    const double x = r.RandomUniform();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_GE(x, 0.0);
    EXPECT_LT(x, 1.0);
    EXPECT_TRUE(r.IsInitialised());
    const size_t seed = out.find("seed = 0\n");
    const size_t time = out.find("(unsigned int)time((time_t *)NULL) = ");
    const size_t report = out.find("RANU::RandomUniform(void) = ");
    const size_t warning =
        out.find("Warning initialization routine for RANU has not been called\nCalling it now!\n");
    ASSERT_NE(seed, std::string::npos) << out;
    ASSERT_NE(time, std::string::npos) << out;
    ASSERT_NE(report, std::string::npos) << out;
    ASSERT_NE(warning, std::string::npos) << out;
    EXPECT_EQ(seed, 0u);
    EXPECT_LT(time, report);
    EXPECT_LT(report, warning);
    EXPECT_EQ(out.size(), warning + std::string("Warning initialization routine for RANU has not "
                                                "been called\nCalling it now!\n")
                                        .size());
    // Only the first draw warns.
    testing::internal::CaptureStdout();
    r.RandomUniform();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(RANU, DegenerateRangesReturnTheirLowerEndWithoutDrawing) {
    RANU r = Seeded();
    RANU twin = Seeded();
    EXPECT_EQ(r.RndInt(5, 5), 5);
    EXPECT_EQ(r.RndInt(7, 3), 7);
    EXPECT_EQ(r.Rnd(2.0, 2.0), 2.0);
    EXPECT_EQ(r.Rnd(3.0, 1.0), 3.0);
    // The step-grid draw returns the smaller bound when lower is not below
    // upper + step.
    EXPECT_EQ(r.Rnd(1.0, 0.0, 0.25), 0.0);
    EXPECT_EQ(r.Rnd(2.0, 2.0, 0.0), 2.0);
    // Nothing was consumed: the next draw is the twin's first.
    EXPECT_EQ(r.RandomUniform(), twin.RandomUniform());

    // A real range does consume one number.
    r.RndInt(0, 10);
    twin.RandomUniform();
    r.Rnd(0.0, 1.0);
    twin.RandomUniform();
    r.Rnd(0.0, 1.0, 0.25);
    twin.RandomUniform();
    r.Rnd(2.0, 2.0, 0.5); // lower < upper + step: one draw, clipped to 2
    twin.RandomUniform();
    EXPECT_EQ(r.RandomUniform(), twin.RandomUniform());
}

TEST(RANU, RndIntExcludesItsUpperBound) {
    RANU r = Seeded();
    std::map<int, int> counts;
    for (int i = 0; i < 20000; ++i)
        ++counts[r.RndInt(0, 2)];
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_GT(counts[0], 9000);
    EXPECT_GT(counts[1], 9000);

    std::map<int, int> range;
    for (int i = 0; i < 60000; ++i)
        ++range[r.RndInt(3, 9)];
    ASSERT_EQ(range.size(), 6u);
    EXPECT_EQ(range.begin()->first, 3);
    EXPECT_EQ(range.rbegin()->first, 8);
}

TEST(RANU, RndIntIsTheTruncatedScaledDraw) {
    RANU r = Seeded();
    RANU twin = Seeded();
    for (int i = 0; i < 1000; ++i) {
        const double u = twin.RandomUniform();
        ASSERT_EQ(r.RndInt(10, 17), static_cast<int>(10 + u * 7.0));
    }
}

TEST(RANU, RealDrawStaysInTheHalfOpenRange) {
    RANU r = Seeded();
    RANU twin = Seeded();
    for (int i = 0; i < 10000; ++i) {
        const double u = twin.RandomUniform();
        const double x = r.Rnd(-2.0, 3.0);
        ASSERT_EQ(x, -2.0 + u * 5.0);
        ASSERT_GE(x, -2.0);
        ASSERT_LT(x, 3.0);
    }
}

// With n draws, a frequency of true probability p has standard deviation
// sqrt(p (1 - p) / n) (about 0.0013 for p = 0.2 and n = 100000); the
// tolerance below is six of them, far beyond chance for this fixed seed yet
// far tighter than any systematic error in the grid (a whole cell is 1/5 or
// 1/7 of the mass).
double Tolerance(double p, int n) {
    return 6.0 * std::sqrt(p * (1.0 - p) / n);
}

// n draws of Rnd(lower, upper, step) and the values they must give, each
// with its probability.
struct StepGrid {
    const char* name;
    double lower, upper, step;
    int n;
    std::map<double, double> probabilities;
};

class RANUStepGrid : public testing::TestWithParam<StepGrid> {};

TEST_P(RANUStepGrid, GivesTheGridValuesWithTheirProbabilities) {
    const StepGrid& c = GetParam();
    RANU r = Seeded(1802, 9373);
    std::map<double, int> counts;
    for (int i = 0; i < c.n; ++i)
        ++counts[r.Rnd(c.lower, c.upper, c.step)];
    ASSERT_EQ(counts.size(), c.probabilities.size());
    for (const auto& v : c.probabilities) {
        ASSERT_EQ(counts.count(v.first), 1u) << v.first;
        const double frequency = static_cast<double>(counts.at(v.first)) / c.n;
        EXPECT_NEAR(frequency, v.second, Tolerance(v.second, c.n)) << v.first;
    }
}

const StepGrid kStepGrids[] = {
    {"Quarters", 0, 1, 0.25, 100000, {{0, 0.2}, {0.25, 0.2}, {0.5, 0.2}, {0.75, 0.2}, {1, 0.2}}},
    // Rnd(0, 1, 0.75): top = 1.75, cells [0, 0.75) -> 0, [0.75, 1.5) -> 0.75,
    // [1.5, 1.75) -> 1.5 clipped to 1.0: a short last cell maps onto upper.
    {"ShortLastCell", 0, 1, 0.75, 100000, {{0, 3.0 / 7.0}, {0.75, 3.0 / 7.0}, {1, 1.0 / 7.0}}},
    // Grid 0.5, 1.5, 2.5 within [0.5, 2.5]: all three values, nothing else.
    {"OffsetGrid", 0.5, 2.5, 1.0, 30000, {{0.5, 1.0 / 3.0}, {1.5, 1.0 / 3.0}, {2.5, 1.0 / 3.0}}},
};
INSTANTIATE_TEST_SUITE_P(Draws, RANUStepGrid, testing::ValuesIn(kStepGrids),
                         testsupport::RowName());

TEST(RANU, StepGridDrawWithStepZeroIsAPlainUniformDraw) {
    RANU r = Seeded();
    RANU twin = Seeded();
    for (int i = 0; i < 1000; ++i) {
        const double u = twin.RandomUniform();
        ASSERT_EQ(r.Rnd(1.0, 3.0, 0.0), 1.0 + u * 2.0);
    }
}

// A value moved onto the step grid of [lower, upper].
struct Adequate {
    const char* name;
    double x, lower, upper, step;
    double expected;
};

class RANUAdequateValToStep : public testing::TestWithParam<Adequate> {};

TEST_P(RANUAdequateValToStep, GivesTheGridValue) {
    const Adequate& c = GetParam();
    double x = c.x;
    RANU::adequate_val_to_step(x, c.lower, c.upper, c.step);
    EXPECT_EQ(x, c.expected);
}

const Adequate kAdequate[] = {
    {"RoundsDownOntoTheGrid", 0.74, 0.0, 1.0, 0.25, 0.5},
    {"ClipsBelowLower", -3.0, 0.0, 1.0, 0.25, 0.0},
    {"ClipsAboveUpper", 7.0, 0.0, 1.0, 0.25, 1.0},
    {"StepZeroLeavesAValueInTheRange", 0.74, 0.0, 1.0, 0.0, 0.74},
    {"KeepsAValueOnTheGrid", 0.75, 0.0, 1.0, 0.25, 0.75},
    {"SnapsTheCellAboveUpperToUpper", 1.2, 0.0, 1.0, 0.25, 1.0},
    {"StepZeroOnlyClips", 1.2, 0.0, 1.0, 0.0, 1.0},
};
INSTANTIATE_TEST_SUITE_P(Values, RANUAdequateValToStep, testing::ValuesIn(kAdequate),
                         testsupport::RowName());

// The generator written plainly, step by step, with its branches.
struct PlainRanmar {
    double u[98];
    double c = 362436.0 / 16777216.0, cd = 7654321.0 / 16777216.0, cm = 16777213.0 / 16777216.0;
    int i97 = 97, j97 = 33;
    PlainRanmar(int ij, int kl) {
        int i = ij / 177 + 2, j = ij % 177 + 2, k = kl / 169 + 1, l = kl % 169;
        for (int n = 1; n <= 97; ++n) {
            double s = 0.0, t = 0.5;
            for (int bit = 0; bit < 24; ++bit) {
                const int m = (((i * j) % 179) * k) % 179;
                i = j;
                j = k;
                k = m;
                l = (53 * l + 1) % 169;
                if ((l * m) % 64 >= 32)
                    s += t;
                t *= 0.5;
            }
            u[n] = s;
        }
    }
    double Next() {
        double uni = u[i97] - u[j97];
        if (uni <= 0.0)
            uni += 1.0;
        u[i97] = uni;
        if (--i97 == 0)
            i97 = 97;
        if (--j97 == 0)
            j97 = 97;
        c -= cd;
        if (c < 0.0)
            c += cm;
        uni -= c;
        if (uni < 0.0)
            uni += 1.0;
        return uni;
    }
};

class RANUSeed : public testing::TestWithParam<int> {};

TEST_P(RANUSeed, DrawsEqualThePlainGeneratorBitForBit) {
    const int seed = GetParam();
    RANU r = Seeded(seed, 30081 - seed % 30000);
    PlainRanmar plain(seed, 30081 - seed % 30000);
    for (int n = 0; n < 300000; ++n)
        ASSERT_EQ(r.RandomUniform(), plain.Next()) << "draw " << n;
}

INSTANTIATE_TEST_SUITE_P(Seeds, RANUSeed, testing::Values(0, 1802, 31328),
                         [](const testing::TestParamInfo<int>& info) {
                             return "Seed" + std::to_string(info.param);
                         });

TEST(RANU, StepGridDrawIsTheScaledDrawAdjustedToTheGrid) {
    RANU r = Seeded(), twin = Seeded(), pick = Seeded(3, 4);
    for (int n = 0; n < 5000; ++n) {
        const double lower = pick.Rnd(-3.0, 3.0), upper = lower + pick.Rnd(0.0, 4.0);
        const double step = n % 5 == 0 ? 0.0 : pick.Rnd(0.01, 1.5);
        const double top = upper + step;
        double x = std::min(lower + twin.RandomUniform() * (top - lower), top);
        RANU::adequate_val_to_step(x, lower, upper, step);
        ASSERT_EQ(r.Rnd(lower, upper, step), x) << "draw " << n;
    }
}

TEST(RANU, AdequateValToStepBuildsTheGridByRepeatedAddition) {
    // 0.1 added eight times is 0.7999999999999999, not 0.8: the grid point
    // below 0.85 is the sum, so that the draws and the operators agree on
    // the same points.
    double g = 0.0;
    for (int i = 0; i < 8; ++i)
        g += 0.1;
    ASSERT_NE(g, 0.8);
    double x = 0.85;
    RANU::adequate_val_to_step(x, 0.0, 1.0, 0.1);
    EXPECT_EQ(x, g);
}

} // namespace
