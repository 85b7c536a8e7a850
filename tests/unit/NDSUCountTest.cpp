// Tests of the ranking that counts dominating members without comparing every
// pair, against the count made with the pairwise dominance test on random
// populations full of ties: coarse objective values, repeated members, the
// largest-double penalty, signed zeros, infinities and constraints.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/NDSU.h"
#include "model/POPULATION.h"
#include "model/RANU.h"

namespace {

const double kPenalty = std::numeric_limits<double>::max();
const double kInf = std::numeric_limits<double>::infinity();

// Member i: design variable i, the objectives and one constraint holding the
// violation.
POPULATION Pop(const std::vector<std::vector<double>>& objs, const std::vector<double>& viol) {
    const int nobj = objs.empty() ? 2 : static_cast<int>(objs[0].size());
    POPULATION pop("P", 1, nobj, 1, static_cast<int>(objs.size()), true);
    for (unsigned i = 0; i < objs.size(); ++i) {
        pop[i].SetDv(0, i);
        pop[i].SetEval(objs[i], {viol[i]});
    }
    return pop;
}

// The rank rule by definition: one plus the members that dominate.
std::vector<unsigned> PairwiseRanks(const POPULATION& pop) {
    std::vector<unsigned> ranks(pop.GetPopsize(), 1);
    for (unsigned i = 0; i < pop.GetPopsize(); ++i)
        for (unsigned j = 0; j < pop.GetPopsize(); ++j)
            ranks[i] += NDSU::dominance(pop[j], pop[i]) == 1;
    return ranks;
}

// A random population drawn from a small set of values so that equal values,
// equal members and dominance chains are frequent.
POPULATION RandomPop(RANU& ranu, unsigned n, unsigned nobj, int levels, bool constrained) {
    const double specials[] = {kPenalty, -0.0, 0.0, kInf, -kInf, 0.5};
    std::vector<std::vector<double>> objs;
    std::vector<double> viol;
    for (unsigned i = 0; i < n; ++i) {
        if (i > 0 && ranu.RndInt(0, 8) == 0) { // a repeat of an earlier member
            const unsigned k = static_cast<unsigned>(ranu.RndInt(0, static_cast<int>(i)));
            objs.push_back(objs[k]);
            viol.push_back(viol[k]);
            continue;
        }
        std::vector<double> o(nobj);
        for (double& x : o)
            x = ranu.RndInt(0, 12) == 0 ? specials[ranu.RndInt(0, 6)] : ranu.RndInt(0, levels);
        objs.push_back(o);
        viol.push_back(constrained && ranu.RndInt(0, 4) == 0 ? -double(ranu.RndInt(1, 5)) : 0.0);
    }
    return Pop(objs, viol);
}

void ExpectSameAsPairwise(POPULATION& pop, bool limit_one = true) {
    const std::vector<unsigned> expected = PairwiseRanks(pop);
    pop.AssignRank(4294967295u);
    unsigned largest = 0;
    for (unsigned i = 0; i < pop.GetPopsize(); ++i) {
        ASSERT_EQ(pop[i].rank, expected[i]) << "member " << i;
        largest = std::max(largest, expected[i]);
    }
    // The fronts list the members of each rank in increasing order.
    ASSERT_EQ(pop.GetNumParetoSets(), largest);
    for (unsigned r = 0; r < largest; ++r) {
        std::vector<unsigned> front;
        for (unsigned i = 0; i < pop.GetPopsize(); ++i)
            if (expected[i] == r + 1)
                front.push_back(i);
        ASSERT_EQ(pop.GetParetoSet(r), front) << "front " << r;
    }

    if (!limit_one)
        return;
    // Limit 1: exactly the non-dominated members get rank 1, the rest 2.
    pop.AssignRank(1);
    std::vector<unsigned> first;
    for (unsigned i = 0; i < pop.GetPopsize(); ++i) {
        ASSERT_EQ(pop[i].rank, expected[i] == 1 ? 1u : 2u) << "member " << i;
        if (expected[i] == 1)
            first.push_back(i);
    }
    ASSERT_EQ(pop.GetParetoSet(0), first);
}

class NDSUCountObjectives : public testing::TestWithParam<unsigned> {};

TEST_P(NDSUCountObjectives, RanksAndFrontsEqualThePairwiseCount) {
    const unsigned nobj = GetParam();
    RANU ranu;
    ranu.SeedFromPair(1234, 5678);
    for (unsigned n : {0u, 1u, 2u, 7u, 60u, 700u}) {
        for (bool constrained : {false, true}) {
            POPULATION pop = RandomPop(ranu, n, nobj, n < 100 ? 4 : 40, constrained);
            SCOPED_TRACE(testing::Message() << "n " << n << (constrained ? " constrained" : ""));
            ExpectSameAsPairwise(pop);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OneToFive, NDSUCountObjectives, testing::Range(1u, 6u),
                         [](const testing::TestParamInfo<unsigned>& info) {
                             return std::to_string(info.param) + "Objectives";
                         });

TEST(NDSUCount, ContinuousValuesOnACurvedFrontAndBehindIt) {
    // Distinct values: many members on the front, long dominance chains
    // behind it, as in an optimiser's merged population.
    RANU ranu;
    ranu.SeedFromPair(42, 4242);
    for (unsigned nobj : {2u, 3u}) {
        std::vector<std::vector<double>> objs;
        std::vector<double> viol;
        for (unsigned i = 0; i < 900; ++i) {
            const double f1 = ranu.RandomNum();
            const double lift = i % 3 == 0 ? 0.0 : ranu.RandomNum();
            std::vector<double> o = {f1, 1.0 - std::sqrt(f1) + lift};
            if (nobj == 3)
                o.push_back(ranu.RandomNum() + lift);
            objs.push_back(o);
            viol.push_back(0.0);
        }
        POPULATION pop = Pop(objs, viol);
        SCOPED_TRACE(testing::Message() << "nobj " << nobj);
        ExpectSameAsPairwise(pop);
    }
}

TEST(NDSUCount, EveryInfeasibleMemberRanksBehindEveryFeasibleOne) {
    POPULATION pop =
        Pop({{9, 9}, {0, 0}, {5, 5}, {0, 0}, {1, 8}, {8, 1}}, {0.0, -2.0, 0.0, -2.0, -0.5, 0.0});
    pop.AssignRank(4294967295u);
    // Feasible: (9,9) is dominated by (5,5) and (8,1). Infeasible: three
    // feasible members, then (1,8) with the smaller violation.
    const std::vector<unsigned> ranks = {3, 5, 1, 5, 4, 1};
    for (unsigned i = 0; i < ranks.size(); ++i)
        EXPECT_EQ(pop[i].rank, ranks[i]) << "member " << i;
    EXPECT_TRUE(pop.GetParetoSet(1).empty());
}

TEST(NDSUCount, SignedZerosAreEqualValues) {
    POPULATION pop = Pop({{0.0, 1.0}, {-0.0, 1.0}, {-0.0, 2.0}}, {0.0, 0.0, 0.0});
    pop.AssignRank(4294967295u);
    EXPECT_EQ(pop[0].rank, 1u);
    EXPECT_EQ(pop[1].rank, 1u);
    EXPECT_EQ(pop[2].rank, 3u);
}

TEST(NDSUCount, APopulationWithNaNIsRankedByComparingPairs) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    POPULATION pop = Pop({{nan, 2}, {1, 3}, {2, 1}, {0, nan}, {3, 3}}, {0, 0, 0, 0, 0});
    std::vector<uint32_t> counts;
    EXPECT_FALSE(NDSU::count_dominating(pop, counts));
    ExpectSameAsPairwise(pop, false);

    // A NaN objective of an infeasible member plays no part in dominance.
    POPULATION other = Pop({{nan, 2}, {1, 3}, {2, 1}}, {-1.0, 0.0, 0.0});
    EXPECT_TRUE(NDSU::count_dominating(other, counts));
    EXPECT_EQ(counts, (std::vector<uint32_t>{2, 0, 0}));
}

} // namespace
