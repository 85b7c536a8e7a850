// The hypervolume unit and the front archive: hand-computed sets, published
// values of sampled true fronts (with the error bound the sample spacing
// allows), brute-force counts on random sets, and the reference-point helpers.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "model/HYVU.h"
#include "model/INDIVIDUAL.h"
#include "model/ParetoArchive.h"
#include "support/TestSupport.h"

using Points = std::vector<std::vector<double>>;

namespace {

const double kPi = 3.141592653589793;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Integer points in [0, side)^d against the reference (side, ..., side): the
// hypervolume is the number of unit cells whose lower corner some point
// weakly dominates.
double GridCount(const Points& pts, unsigned d, int side) {
    std::vector<int> cell(d, 0);
    double count = 0.0;
    while (true) {
        for (const auto& p : pts) {
            bool covers = true;
            for (unsigned i = 0; i < d && covers; ++i)
                covers = p[i] <= cell[i];
            if (covers) {
                count += 1.0;
                break;
            }
        }
        unsigned i = 0;
        while (i < d && ++cell[i] == side)
            cell[i++] = 0;
        if (i == d)
            return count;
    }
}

Points RandomInts(std::mt19937& gen, size_t n, unsigned d, int side) {
    std::uniform_int_distribution<int> u(0, side - 1);
    Points pts(n, std::vector<double>(d));
    for (auto& p : pts)
        for (double& x : p)
            x = u(gen);
    return pts;
}

// Random points near the simplex x1 + ... + xd = 1, so that most of them are
// mutually non-dominated (the hard case for every algorithm).
Points RandomFront(std::mt19937& gen, size_t n, unsigned d) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Points pts(n, std::vector<double>(d));
    for (auto& p : pts) {
        double sum = 0.0;
        for (double& x : p)
            sum += (x = u(gen) + 1e-3);
        for (double& x : p)
            x = x / sum + 0.05 * u(gen);
    }
    return pts;
}

struct HandComputed {
    const char* name;
    Points points;
    std::vector<double> ref;
    double expected;
};

class HYVUHandComputed : public testing::TestWithParam<HandComputed> {};

TEST_P(HYVUHandComputed, Hypervolume) {
    const HandComputed& c = GetParam();
    EXPECT_DOUBLE_EQ(HYVU::hypervolume(c.points, c.ref), c.expected);
}

const HandComputed kHandComputed[] = {
    // Strips of the staircase: 3*1 + 2*1 + 1*1.
    {"TwoDStaircase", {{1, 3}, {2, 2}, {3, 1}}, {4, 4}, 6},
    // Duplicates, a dominated point, points on or beyond the reference, a
    // point of the wrong length and non-finite values change nothing.
    {"TwoDStaircaseWithPointsThatAddNothing",
     {{1, 3},
      {2, 2},
      {3, 1},
      {2, 2},
      {3, 3},
      {5, 0},
      {4, 1},
      {1, 4},
      {kNaN, 0},
      {0, kInf},
      {-kInf, 0},
      {1, 2, 3}},
     {4, 4},
     6},
    // Three boxes of 6, pairwise overlaps of 2, a common part of 1.
    {"ThreeD", {{1, 2, 3}, {2, 3, 1}, {3, 1, 2}, {3, 1, 2}, {3, 3, 3}}, {4, 4, 4}, 18 - 6 + 1},
    {"FourD", {{1, 1, 1, 1}, {2, 0, 2, 0}, {2, 2, 2, 2}, {1, 1, 1, 1}}, {3, 3, 3, 3}, 16 + 9 - 4},
    {"FiveD", {{0.5, 0.5, 0.5, 0.5, 0.5}}, {1, 1, 1, 1, 1}, 1.0 / 32},
    {"OneD", {{3}, {1}, {2}}, {5}, 4},
    {"OneDBeyondTheReference", {{6}, {5}}, {5}, 0},
    {"NoPoints", {}, {1, 1}, 0},
    {"InfiniteReference", {{0, 0}}, {kInf, 1}, 0},
    {"NaNReference", {{0, 0}}, {kNaN, 1}, 0},
};
INSTANTIATE_TEST_SUITE_P(Sets, HYVUHandComputed, testing::ValuesIn(kHandComputed),
                         testsupport::RowName());

TEST(HYVU, ValuesBeyondTheDoubleRangeNeverGiveNaN) {
    const double big = 1e308;
    for (unsigned d = 1; d <= 5; ++d) {
        Points pts = {std::vector<double>(d, -big), std::vector<double>(d, 0.0)};
        pts[1][0] = -big;
        const double hv = HYVU::hypervolume(pts, std::vector<double>(d, big));
        EXPECT_FALSE(std::isnan(hv)) << d << " objectives";
        EXPECT_GT(hv, 0.0);
    }
}

// Random sets of n integer points in [0, side)^d.
struct Grid {
    const char* name;
    unsigned d;
    int side;
    size_t n;
};

class HYVUGrid : public testing::TestWithParam<Grid> {};

TEST_P(HYVUGrid, MatchesTheCountOfCoveredCells) {
    const Grid& c = GetParam();
    std::mt19937 gen(11);
    for (int trial = 0; trial < 20; ++trial) {
        const Points pts = RandomInts(gen, c.n, c.d, c.side);
        const std::vector<double> ref(c.d, c.side);
        ASSERT_DOUBLE_EQ(HYVU::hypervolume(pts, ref), GridCount(pts, c.d, c.side))
            << "trial " << trial;
    }
}

const Grid kGrids[] = {
    {"TwoObjectives", 2, 40, 30}, {"ThreeObjectives", 3, 12, 40}, {"FourObjectives", 4, 7, 25},
    {"FiveObjectives", 5, 5, 20}, {"SixObjectives", 6, 4, 15},
};
INSTANTIATE_TEST_SUITE_P(RandomIntegerSets, HYVUGrid, testing::ValuesIn(kGrids),
                         testsupport::RowName());

TEST(HYVU, ExclusiveVolumeIsWhatThePointAdds) {
    std::mt19937 gen(3);
    for (unsigned d = 1; d <= 5; ++d) {
        const Points pts = RandomFront(gen, 40, d);
        const std::vector<double> ref(d, 1.1);
        const Points others(pts.begin() + 1, pts.end());
        std::vector<double> flat;
        for (const auto& p : others)
            flat.insert(flat.end(), p.begin(), p.end());
        const double expected = HYVU::hypervolume(pts, ref) - HYVU::hypervolume(others, ref);
        EXPECT_NEAR(HYVU::exclusive_hypervolume(pts[0], others, ref), expected, 1e-12) << d;
        EXPECT_NEAR(HYVU::exclusive_hypervolume(pts[0], flat, ref), expected, 1e-12) << d;
        EXPECT_NEAR(HYVU::hypervolume_flat(flat, ref), HYVU::hypervolume(others, ref), 1e-12);
    }
    EXPECT_DOUBLE_EQ(HYVU::exclusive_hypervolume({2, 2}, Points{{1, 1}}, {3, 3}), 0.0);
    EXPECT_DOUBLE_EQ(HYVU::exclusive_hypervolume({1, 1}, Points{{2, 2}, {5, 0}}, {3, 3}), 3.0);
}

// The staircase of n samples of a convex or concave curve from (0, 1) to (1, 0)
// misses, between neighbours, at most the rectangle of their spacing h in f1
// and their step in f2; the steps add up to 1, so the error is at most h, and
// the samples, all on the front, never dominate more than the front.
struct SampledFront {
    const char* name;
    double (*f2)(double f1);
    double exact; // against (1.1, 1.1): the area under the curve's complement
    double published;
};

class HYVUSampledFront : public testing::TestWithParam<SampledFront> {};

TEST_P(HYVUSampledFront, ApproachesThePublishedValue) {
    const SampledFront& c = GetParam();
    const unsigned n = 10001;
    const double h = 1.0 / (n - 1);
    Points pts;
    for (unsigned k = 0; k < n; ++k)
        pts.push_back({k * h, c.f2(k * h)});
    const double hv = HYVU::hypervolume(pts, {1.1, 1.1});
    EXPECT_LE(hv, c.exact + 1e-12);
    EXPECT_GE(hv, c.exact - h);
    EXPECT_NEAR(hv, c.published, 1e-4);
}

const SampledFront kSampledFronts[] = {
    {"Zdt1", [](double f1) { return 1.0 - std::sqrt(f1); }, 2.0 / 3.0 + 0.21, 0.876667},
    {"Zdt2", [](double f1) { return 1.0 - f1 * f1; }, 1.0 / 3.0 + 0.21, 0.543333},
};
INSTANTIATE_TEST_SUITE_P(Zdt, HYVUSampledFront, testing::ValuesIn(kSampledFronts),
                         testsupport::RowName());

// DTLZ2's front is the unit sphere in the positive octant; against (1.1, 1.1,
// 1.1) it dominates the cube less the ball's octant: 1.331 - pi/6. With the
// angles on a grid of step a, every front point y has a sample s within a in
// each objective, so the samples dominate the front shifted by a; the volume
// lost by that shift is at most a times the three faces of the box, 3 * 1.21.
TEST(HYVU, SampledDtlz2FrontApproachesThePublishedValue) {
    const unsigned m = 301;
    const double a = (kPi / 2) / (m - 1);
    Points pts;
    for (unsigned i = 0; i < m; ++i)
        for (unsigned j = 0; j < m; ++j) {
            const double t = i * a, u = j * a;
            pts.push_back({std::cos(t) * std::cos(u), std::cos(t) * std::sin(u), std::sin(t)});
        }
    const double exact = 1.331 - kPi / 6;
    const double hv = HYVU::hypervolume(pts, {1.1, 1.1, 1.1});
    EXPECT_LE(hv, exact + 1e-12);
    EXPECT_GE(hv, exact - 3 * 1.21 * a);
    EXPECT_NEAR(exact, 0.807401, 1e-6);
}

TEST(HYVUReference, DerivedFromTheWorstValueAndTheRange) {
    const std::vector<double> ref =
        HYVU::derive_reference({{0, 10},
                                {2, 4},
                                {1, 6},
                                {INDIVIDUAL::kWorst, INDIVIDUAL::kWorst},
                                {kNaN, 0},
                                {100, kInf}});
    ASSERT_EQ(ref.size(), 2u);
    EXPECT_DOUBLE_EQ(ref[0], 2.2);
    EXPECT_DOUBLE_EQ(ref[1], 10.6);
    // A range of 0: a tenth of the value's magnitude, or 1 at 0.
    EXPECT_EQ(HYVU::derive_reference({{5, 0, -2}}), (std::vector<double>{5.5, 1.0, -1.8}));
    // Nothing usable: no point.
    EXPECT_TRUE(HYVU::derive_reference({{INDIVIDUAL::kWorst, 1.0}}).empty());
    EXPECT_TRUE(HYVU::derive_reference({}).empty());
    // A range too small to move a large value still gives a point beyond it.
    const std::vector<double> tiny = HYVU::derive_reference({{1e20}, {1e20 - 1e5}});
    EXPECT_GT(tiny[0], 1e20);
    EXPECT_TRUE(std::isfinite(tiny[0]));
}

TEST(HYVUReference, ParsedAndPrintedExactly) {
    EXPECT_EQ(HYVU::parse_reference("1.1,1.1", "--hv-ref"), (std::vector<double>{1.1, 1.1}));
    EXPECT_EQ(HYVU::parse_reference(" -2 , 3e-1", "--hv-ref"), (std::vector<double>{-2, 0.3}));
    const std::vector<double> odd = {0.1 + 0.2, 1e-300, -7.0};
    EXPECT_EQ(HYVU::reference_text(odd), "0.30000000000000004,1e-300,-7");
    EXPECT_EQ(HYVU::parse_reference(HYVU::reference_text(odd), "x"), odd);
}

// A --hv-ref text that is refused, and what the message names.
struct BadReference {
    const char* name;
    const char* text;
    const char* named;
};

class HYVUBadReference : public testing::TestWithParam<BadReference> {};

TEST_P(HYVUBadReference, IsRefusedNamingTheValue) {
    const BadReference& b = GetParam();
    const std::string out =
        testsupport::FatalOutput([&] { HYVU::parse_reference(b.text, "--hv-ref"); });
    EXPECT_NE(out.find(std::string("--hv-ref \"") + b.text + "\""), std::string::npos) << out;
    EXPECT_NE(out.find(b.named), std::string::npos) << out;
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;
}

const BadReference kBadReferences[] = {
    {"NotANumber", "1,x", "value 2 \"x\" is not a number"},
    {"Empty", "", "value 1 is empty"},
    {"EmptyValue", "1,,2", "value 2 is empty"},
    {"NaN", "2,nan", "value 2 \"nan\" is not a finite number"},
    {"TrailingCharacters", "1.5x", "value 1 \"1.5x\" is not a number"},
};
INSTANTIATE_TEST_SUITE_P(Texts, HYVUBadReference, testing::ValuesIn(kBadReferences),
                         testsupport::RowName());

// The archive against a brute-force non-dominated filter of everything
// offered, and its hypervolume against a computation from scratch.
TEST(ParetoArchive, KeepsTheNonDominatedSetAndItsHypervolume) {
    std::mt19937 gen(17);
    for (unsigned d = 1; d <= 4; ++d) {
        ParetoArchive archive(d);
        const std::vector<double> ref(d, 1.1);
        Points offered;
        double previous = 0.0;
        for (int round = 0; round < 6; ++round) {
            Points batch = RandomFront(gen, 60, d);
            batch.push_back(batch.front()); // a duplicate never joins twice
            if (round == 1)
                archive.SetReference(ref); // points held before the reference count
            for (const auto& p : batch)
                archive.Insert(p);
            offered.insert(offered.end(), batch.begin(), batch.end());
            size_t expected_size = 0;
            for (size_t a = 0; a < offered.size(); ++a) {
                bool dominated = false;
                for (size_t b = 0; b < offered.size() && !dominated; ++b) {
                    if (a == b)
                        continue;
                    bool le = true, lt = false;
                    for (unsigned i = 0; i < d; ++i) {
                        le = le && offered[b][i] <= offered[a][i];
                        lt = lt || offered[b][i] < offered[a][i];
                    }
                    // Strictly dominated, or an earlier copy of the same point.
                    dominated = le && (lt || b < a);
                }
                expected_size += dominated ? 0 : 1;
            }
            ASSERT_EQ(archive.Size(), expected_size) << d << " objectives, round " << round;
            const double hv = archive.Hypervolume();
            if (round == 0) {
                EXPECT_EQ(hv, 0.0); // no reference yet
                continue;
            }
            const double scratch = HYVU::hypervolume(offered, ref);
            EXPECT_NEAR(hv, scratch, 1e-12 * scratch) << d << " objectives, round " << round;
            EXPECT_GE(hv, previous);
            previous = hv;
        }
    }
    ParetoArchive two(2);
    EXPECT_FALSE(two.Insert({1, 2, 3}));
    EXPECT_TRUE(two.Insert({1, 2}));
    EXPECT_FALSE(two.Insert({1, 2}));
    EXPECT_TRUE(two.Insert({1, 1}));
    EXPECT_EQ(two.Points(), (Points{{1, 1}}));
}

} // namespace
