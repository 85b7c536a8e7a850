// Tests of the genetic operators: tournament selection, simulated binary
// crossover and polynomial mutation, their draw order (a seeded run must
// repeat), the step grid and fixed variables.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "model/RANU.h"
#include "model/UTILS.h"
#include "optim/BGOU.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

RANU Seeded(int ij = 1802, int kl = 9373) {
    RANU r;
    r.SeedFromPair(ij, kl);
    return r;
}

// Advances r by n draws.
void Skip(RANU& r, int n) {
    for (int i = 0; i < n; ++i)
        r.RandomUniform();
}

// n evaluated members with ndvs variables; member i has rank ranks[i] (or 1).
POPULATION Parents(unsigned n, unsigned ndvs, const std::vector<unsigned>& ranks = {}) {
    POPULATION pop("parents", static_cast<int>(ndvs), 2, 0, static_cast<int>(n), true);
    for (unsigned i = 0; i < n; ++i) {
        std::vector<double> x(ndvs);
        for (unsigned j = 0; j < ndvs; ++j)
            x[j] = 0.1 * (i + 1) + 0.01 * j;
        pop[i].SetDvs(x);
        pop[i].SetEval({double(i), double(n - i)}, {});
        pop[i].rank = ranks.empty() ? 1 : ranks[i];
        pop[i].crowd_distance = 0.5 * i;
    }
    return pop;
}

TEST(BGOU, SelectionFollowsTheFixedDrawOrder) {
    const unsigned n = 8;
    std::vector<unsigned> ranks = {3, 1, 2, 2, 1, 4, 1, 2};
    POPULATION pop = Parents(n, 1, ranks);
    RANU ranu = Seeded();
    RANU twin = Seeded();
    std::vector<unsigned> sel(n, 0);
    BGOU::selection(sel, pop, ranu);

    // The same shuffles and tournaments worked out here.
    std::vector<unsigned> a(n), b(n);
    for (unsigned i = 0; i < n; ++i)
        a[i] = b[i] = i;
    for (int i = 0; i < int(n); ++i) {
        std::swap(a[i], a[twin.RndInt(i, n - 1)]);
        std::swap(b[i], b[twin.RndInt(i, n - 1)]);
    }
    EXPECT_EQ(a[n - 1], n - 1);
    EXPECT_EQ(b[n - 1], n - 1);
    auto winner = [&](unsigned x, unsigned y) {
        if (pop[x].rank != pop[y].rank)
            return pop[x].rank < pop[y].rank ? x : y;
        return pop[x].crowd_distance > pop[y].crowd_distance ? x : y;
    };
    std::vector<unsigned> expected(n);
    for (unsigned j = 0; j < n; j += 2) {
        expected[j] = winner(a[j], a[j + 1]);
        expected[j + 1] = winner(b[j], b[j + 1]);
    }
    EXPECT_EQ(sel, expected);
    // Both generators are at the same point of the sequence: the last
    // position drew nothing (RndInt(n - 1, n - 1)), 2 (n - 1) draws in all.
    EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform());
}

TEST(BGOU, SelectionConsumesTwoDrawsPerPositionButTheLast) {
    POPULATION pop = Parents(10, 1);
    RANU ranu = Seeded();
    RANU twin = Seeded();
    std::vector<unsigned> sel(10, 0);
    BGOU::selection(sel, pop, ranu);
    Skip(twin, 18);
    EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform());
}

TEST(BGOU, EveryMemberEntersTwoTournaments) {
    // With distinct ranks the best member wins both of its tournaments and
    // the worst none of them, for every seed.
    const unsigned n = 12;
    std::vector<unsigned> ranks(n);
    for (unsigned i = 0; i < n; ++i)
        ranks[i] = (i * 5) % n + 1; // a permutation of 1..12
    POPULATION pop = Parents(n, 1, ranks);
    const unsigned best =
        static_cast<unsigned>(std::find(ranks.begin(), ranks.end(), 1u) - ranks.begin());
    const unsigned worst =
        static_cast<unsigned>(std::find(ranks.begin(), ranks.end(), n) - ranks.begin());
    for (int seed = 1; seed < 40; ++seed) {
        RANU ranu = Seeded(seed * 700, seed * 500);
        std::vector<unsigned> sel(n, 0);
        BGOU::selection(sel, pop, ranu);
        std::map<unsigned, int> wins;
        for (unsigned s : sel)
            ++wins[s];
        EXPECT_EQ(wins[best], 2) << "seed " << seed;
        EXPECT_EQ(wins.count(worst), 0u) << "seed " << seed;
        for (const auto& w : wins)
            EXPECT_LE(w.second, 2) << "seed " << seed;
    }
}

TEST(BGOU, SelectionTieGoesToTheSecond) {
    POPULATION pop = Parents(4, 1);
    for (unsigned i = 0; i < 4; ++i)
        pop[i].crowd_distance = 1.0;
    RANU ranu = Seeded();
    RANU twin = Seeded();
    std::vector<unsigned> sel(4, 0);
    BGOU::selection(sel, pop, ranu);
    std::vector<unsigned> a = {0, 1, 2, 3}, b = {0, 1, 2, 3};
    for (int i = 0; i < 4; ++i) {
        std::swap(a[i], a[twin.RndInt(i, 3)]);
        std::swap(b[i], b[twin.RndInt(i, 3)]);
    }
    EXPECT_EQ(sel, (std::vector<unsigned>{a[1], b[1], a[3], b[3]}));
}

TEST(BGOU, WithoutCrossoverChildrenAreFullCopiesOfTheirSelectedParents) {
    const unsigned n = 6;
    POPULATION parents = Parents(n, 3, {1, 2, 1, 3, 2, 1});
    POPULATION children("children", 3, 2, 0, 4, true);
    RANU ranu = Seeded();
    RANU twin = Seeded();
    BGOU::crossover_pop(parents, children, {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 0.0, ranu);

    std::vector<unsigned> sel(n, 0);
    BGOU::selection(sel, parents, twin);
    for (unsigned i = 0; i < 4; ++i) {
        const INDIVIDUAL& p = parents[sel[i]];
        EXPECT_EQ(children[i].GetDvs(), p.GetDvs()) << i;
        EXPECT_EQ(children[i].GetObj(), p.GetObj()) << i;
        EXPECT_TRUE(children[i].IsComputed()) << i;
        EXPECT_EQ(children[i].rank, p.rank) << i;
        EXPECT_EQ(children[i].crowd_distance, p.crowd_distance) << i;
        EXPECT_NE(children.GetIndsPtrs(i), parents.GetIndsPtrs(sel[i])); // copies, not shared
    }
    // One draw per pair against pc.
    Skip(twin, 2);
    EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform());
}

TEST(BGOU, CrossoverDrawsOncePerPairAndOncePerVariable) {
    // Parents equal in every variable: nothing is crossed, but the 0.5 test
    // still draws one number per variable.
    POPULATION parents("parents", 3, 1, 0, 2, true);
    parents[0].SetDvs({0.2, 0.4, 0.6});
    parents[1].SetDvs({0.2, 0.4 + 1e-15, 0.6});
    INDIVIDUAL c1(3, 1, 0, nullptr), c2(3, 1, 0, nullptr);
    RANU ranu = Seeded();
    RANU twin = Seeded();
    BGOU::crossover_inds(parents[0], parents[1], c1, c2, 1.0, {0, 0, 0}, {1, 1, 1}, {0, 0, 0},
                         ranu);
    EXPECT_EQ(c1.GetDvs(), parents[0].GetDvs());
    EXPECT_EQ(c2.GetDvs(), parents[1].GetDvs());
    EXPECT_FALSE(c1.IsComputed()); // its values changed from the initial zeros
    Skip(twin, 1 + 3);
    EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform());
}

TEST(BGOU, SimulatedBinaryCrossoverOfOneAndThreeOnZeroToTen) {
    // a = 1, b = 3, d = 2: the lower child uses beta = 1 + 2 (1 - 0) / 2 = 2,
    // the upper child beta = 1 + 2 (10 - 3) / 2 = 8, both with the same u.
    auto betaq = [](double beta, double u) {
        const double alpha = 2.0 - std::pow(beta, -11.0);
        const double t = u <= 1.0 / alpha ? alpha * u : 1.0 / (2.0 - alpha * u);
        return std::pow(t, 1.0 / 11.0);
    };
    int swapped = 0, kept = 0;
    for (int seed = 1; seed <= 40; ++seed) {
        RANU ranu = Seeded(seed * 13, seed * 17);
        RANU twin = Seeded(seed * 13, seed * 17);
        double y1 = 0.0, y2 = 0.0;
        BGOU::crossover_dvs(1.0, 3.0, y1, y2, 0.0, 10.0, 0.0, ranu);
        const double u = twin.RandomNum();
        const double s = twin.RandomNum();
        const double c1 = 2.0 - betaq(2.0, u);
        const double c2 = 2.0 + betaq(8.0, u);
        if (s <= 0.5) {
            // The first child receives c2, the value on the larger parent's side.
            EXPECT_DOUBLE_EQ(y1, c2) << seed;
            EXPECT_DOUBLE_EQ(y2, c1) << seed;
            ++swapped;
        } else {
            EXPECT_DOUBLE_EQ(y1, c1) << seed;
            EXPECT_DOUBLE_EQ(y2, c2) << seed;
            ++kept;
        }
        EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform()) << "two draws per variable";
    }
    EXPECT_GT(swapped, 0);
    EXPECT_GT(kept, 0);
}

TEST(BGOU, SimulatedBinaryCrossoverSpreadIsSymmetricForMidRangeParents) {
    // Whatever u, the children stay within the bounds, one on each side of
    // the parents' midpoint (c1 = 5 - betaq, c2 = 5 + betaq', betaq > 0).
    for (int seed = 1; seed <= 200; ++seed) {
        RANU ranu = Seeded(seed * 31, seed * 7);
        double y1 = 0.0, y2 = 0.0;
        BGOU::crossover_dvs(4.0, 6.0, y1, y2, 0.0, 10.0, 0.0, ranu);
        const double lo = std::min(y1, y2), hi = std::max(y1, y2);
        EXPECT_GE(lo, 0.0);
        EXPECT_LE(hi, 10.0);
        EXPECT_LE(lo, 5.0);
        EXPECT_GE(hi, 5.0);
    }
}

TEST(BGOU, FixedVariablesAreNeverChangedAndDrawNothing) {
    RANU ranu = Seeded();
    RANU twin = Seeded();
    double y1 = -1.0, y2 = -1.0;
    BGOU::crossover_dvs(1.0, 3.0, y1, y2, 2.0, 2.0, 0.0, ranu);
    EXPECT_EQ(y1, 1.0);
    EXPECT_EQ(y2, 3.0);
    double x = 2.0;
    BGOU::mutate_dv(x, 2.0, 2.0 + 1e-15, 0.0, ranu);
    EXPECT_EQ(x, 2.0);
    EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform());

    // Through the population operators: variable 1 has equal bounds.
    POPULATION parents = Parents(4, 3);
    for (unsigned i = 0; i < 4; ++i)
        parents[i].SetDv(1, 0.5 + 0.1 * i); // differs between parents
    std::set<double> values;
    for (unsigned i = 0; i < 4; ++i)
        values.insert(parents[i].GetDvs(1));
    POPULATION children("c", 3, 2, 0, 4, true);
    const std::vector<double> lower = {0, 0.5, 0}, upper = {1, 0.5, 1}, step = {0, 0, 0};
    for (int g = 0; g < 20; ++g) {
        BGOU::crossover_pop(parents, children, lower, upper, step, 1.0, ranu);
        BGOU::mutation_pop(children, lower, upper, step, 1.0, ranu);
        for (unsigned i = 0; i < 4; ++i)
            EXPECT_EQ(values.count(children[i].GetDvs(1)), 1u) << children[i].GetDvs(1);
    }
}

TEST(BGOU, StepVariablesStayOnTheirGrid) {
    RANU ranu = Seeded();
    POPULATION parents("p", 2, 1, 0, 8, true);
    for (unsigned i = 0; i < 8; ++i)
        parents[i].SetDvs({0.5 * (i % 5), 0.25 * i});
    POPULATION children("c", 2, 1, 0, 8, true);
    const std::vector<double> lower = {0, 0}, upper = {2, 2}, step = {0.5, 0};
    std::set<double> seen;
    for (int g = 0; g < 200; ++g) {
        BGOU::crossover_pop(parents, children, lower, upper, step, 0.9, ranu);
        BGOU::mutation_pop(children, lower, upper, step, 0.5, ranu);
        for (unsigned i = 0; i < 8; ++i) {
            seen.insert(children[i].GetDvs(0));
            EXPECT_GE(children[i].GetDvs(1), 0.0);
            EXPECT_LE(children[i].GetDvs(1), 2.0);
        }
        for (unsigned i = 0; i < 8; ++i) // next generation from the children
            parents[i].SetDvs(children[i].GetDvs());
    }
    const std::set<double> grid = {0.0, 0.5, 1.0, 1.5, 2.0};
    for (double v : seen)
        EXPECT_EQ(grid.count(v), 1u) << v;
    EXPECT_GE(seen.size(), 2u);
}

TEST(BGOU, MutationWithZeroProbabilityDrawsOncePerVariableAndChangesNothing) {
    POPULATION pop = Parents(3, 4);
    const auto before = pop.GetDvs();
    RANU ranu = Seeded();
    RANU twin = Seeded();
    BGOU::mutation_pop(pop, {0, 0, 0, 0}, {1, 1, 1, 1}, {0, 0, 0, 0}, 0.0, ranu);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_TRUE(pop[i].IsComputed()) << i;
    EXPECT_EQ(pop.GetDvs(), before);
    Skip(twin, 12);
    EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform());
}

TEST(BGOU, PolynomialMutationMovesTowardTheSideChosenByTheDraw) {
    // u <= 0.5 moves x down, u > 0.5 up; the values follow the formula.
    int down = 0, up = 0;
    for (int seed = 1; seed <= 100; ++seed) {
        RANU ranu = Seeded(seed * 3, seed * 11);
        RANU twin = Seeded(seed * 3, seed * 11);
        double x = 0.3;
        BGOU::mutate_dv(x, 0.0, 1.0, 0.0, ranu);
        const double u = twin.RandomNum();
        double dq;
        if (u <= 0.5) {
            dq = std::pow(2 * u + (1 - 2 * u) * std::pow(0.7, 16.0), 0.0625) - 1;
            EXPECT_LE(x, 0.3);
            ++down;
        } else {
            dq = 1 - std::pow(2 * (1 - u) + 2 * (u - 0.5) * std::pow(0.3, 16.0), 0.0625);
            EXPECT_GE(x, 0.3);
            ++up;
        }
        EXPECT_DOUBLE_EQ(x, 0.3 + dq);
        EXPECT_GE(x, 0.0);
        EXPECT_LE(x, 1.0);
        EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform()) << "one draw per mutation";
    }
    EXPECT_GT(down, 0);
    EXPECT_GT(up, 0);
}

TEST(BGOU, MutationStoresTheVariablesWithSetDvs) {
    // With pm = 1 every variable is mutated; the computed flag is cleared only
    // because values changed.
    POPULATION pop = Parents(2, 3);
    RANU ranu = Seeded();
    BGOU::mutation_pop(pop, {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 1.0, ranu);
    EXPECT_FALSE(pop[0].IsComputed());
    EXPECT_FALSE(pop[1].IsComputed());
    EXPECT_NE(pop[0].GetDvs(0), 0.1);
}

// The operators written out in full, every power computed, with literal
// exponents: the operators must give the same values bit for bit (they leave
// out powers that cannot change a result, and mutate in place).
void ReferenceCrossoverDvs(double x1, double x2, double& y1, double& y2, double lower, double upper,
                           RANU& r) {
    const double a = std::min(x1, x2), b = std::max(x1, x2), d = b - a;
    const double u = r.RandomNum();
    auto spread = [u](double beta) {
        const double alpha = 2.0 - std::pow(beta, -11.0);
        const double t = u <= 1.0 / alpha ? alpha * u : 1.0 / (2.0 - alpha * u);
        return t < 0.0 ? 1.0 : std::pow(t, 1.0 / 11.0);
    };
    const double c1 = (a + b - spread(1.0 + 2.0 * (a - lower) / d) * d) / 2.0;
    const double c2 = (a + b + spread(1.0 + 2.0 * (upper - b) / d) * d) / 2.0;
    const bool swap = r.RandomNum() <= 0.5;
    y1 = std::min(std::max(swap ? c2 : c1, lower), upper);
    y2 = std::min(std::max(swap ? c1 : c2, lower), upper);
}

void ReferenceMutationInd(INDIVIDUAL& ind, double lower, double upper, double pm, RANU& r) {
    std::vector<double> x = ind.GetDvs();
    for (double& v : x) {
        if (r.RandomNum() > pm)
            continue;
        const double u = r.RandomNum(), D = upper - lower;
        const double dq =
            u <= 0.5 ? std::pow(2.0 * u + (1.0 - 2.0 * u) * std::pow(1.0 - (v - lower) / D, 16.0),
                                0.0625) -
                           1.0
                     : 1.0 - std::pow(2.0 * (1.0 - u) +
                                          2.0 * (u - 0.5) * std::pow(1.0 - (upper - v) / D, 16.0),
                                      0.0625);
        v = std::min(std::max(v + dq * D, lower), upper);
    }
    ind.SetDvs(x);
}

TEST(BGOU, OperatorsGiveTheValuesOfTheFullFormulasBitForBit) {
    RANU pick = Seeded(77, 88);
    // Generators that stay in step as long as both sides draw alike.
    RANU ranu = Seeded(5, 6);
    RANU twin = Seeded(5, 6);
    for (int trial = 0; trial < 20000; ++trial) {
        // Parents from far apart to very close (large beta, where the power
        // of beta no longer shows in the spread factor), and near the bounds.
        const double lower = pick.Rnd(-5.0, 0.0), upper = lower + pick.Rnd(0.5, 10.0);
        const double a = pick.Rnd(lower, upper);
        const double gap = (upper - a) * std::pow(10.0, -pick.Rnd(0.0, 6.0));
        const double b = std::min(a + gap, upper);
        if (!(b > a))
            continue;
        double y1, y2, r1, r2;
        BGOU::crossover_dvs(a, b, y1, y2, lower, upper, 0.0, ranu);
        ReferenceCrossoverDvs(a, b, r1, r2, lower, upper, twin);
        ASSERT_EQ(y1, r1) << "trial " << trial;
        ASSERT_EQ(y2, r2) << "trial " << trial;
    }
    for (int trial = 0; trial < 300; ++trial) {
        INDIVIDUAL ind(30, 2, 0, nullptr), twin_ind(30, 2, 0, nullptr);
        std::vector<double> x(30);
        for (double& v : x)
            v = pick.RandomNum();
        if (trial % 10 == 0)
            x[3] = std::nan(""); // a NaN "changes" on every store
        ind.SetDvs(x);
        ind.SetEval({1, 2}, {});
        twin_ind = ind;
        const double pm = trial % 3 == 0 ? 0.0 : 1.0 / (1 + trial % 30);
        BGOU::mutation_ind(ind, std::vector<double>(30, 0.0), std::vector<double>(30, 1.0),
                           std::vector<double>(30, 0.0), pm, ranu);
        ReferenceMutationInd(twin_ind, 0.0, 1.0, pm, twin);
        for (unsigned i = 0; i < 30; ++i) {
            if (!(std::isnan(ind.GetDvs(i)) && std::isnan(twin_ind.GetDvs(i)))) {
                ASSERT_EQ(ind.GetDvs(i), twin_ind.GetDvs(i)) << "trial " << trial;
            }
        }
        ASSERT_EQ(ind.IsComputed(), twin_ind.IsComputed()) << "trial " << trial;
        ASSERT_EQ(ranu.RandomUniform(), twin.RandomUniform()) << "the same draws";
    }
}

TEST(BGOU, EmptySlotsAreFatal) {
    POPULATION pop("p", 1, 1, 0, 2, false);
    RANU ranu = Seeded();
    EXPECT_EQ(FatalOutput([&] { BGOU::mutation_pop(pop, {0}, {1}, {0}, 0.5, ranu); }),
              "Trying to acces to an individual not allocated.\nProgram stopped!\n");
    POPULATION parents = Parents(2, 1);
    EXPECT_EQ(FatalOutput([&] { BGOU::crossover_pop(parents, pop, {0}, {1}, {0}, 0.5, ranu); }),
              "Trying to acces to an individual not allocated.\nProgram stopped!\n");
}

} // namespace
