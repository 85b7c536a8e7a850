// Tests of Pareto ranking and crowding: constrained dominance, the rank rule
// "1 + number of members that dominate it", the fronts, the 1e14 boundary
// bonus, the sorts and the Pareto-front extraction, on small fronts whose
// values are worked out by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/NDSU.h"
#include "model/POPULATION.h"
#include "model/RANU.h"
#include "model/UTILS.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

const double kBonus = 1e14;
const unsigned kNoLimit = 4294967295u; // ranks every member
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INDIVIDUAL Ind(const std::vector<double>& obj, double violation = 0.0) {
    INDIVIDUAL ind(1, static_cast<int>(obj.size()), 1, nullptr);
    ind.SetEval(obj, {violation});
    return ind;
}

// A population of the given objective vectors (one constraint each, holding
// the given violation); member i has design variable i.
POPULATION Pop(const std::vector<std::vector<double>>& objs,
               const std::vector<double>& violations = {}) {
    const int nobj = objs.empty() ? 2 : static_cast<int>(objs[0].size());
    POPULATION pop("P", 1, nobj, 1, static_cast<int>(objs.size()), true);
    for (unsigned i = 0; i < objs.size(); ++i) {
        pop[i].SetDv(0, i);
        pop[i].SetEval(objs[i], {violations.empty() ? 0.0 : violations[i]});
    }
    return pop;
}

std::vector<unsigned> Ranks(const POPULATION& pop) {
    std::vector<unsigned> r;
    for (unsigned i = 0; i < pop.GetPopsize(); ++i)
        r.push_back(pop[i].rank);
    return r;
}

// The crowding distance of the member whose design variable is id.
double DistanceOf(const POPULATION& pop, double id) {
    for (unsigned i = 0; i < pop.GetPopsize(); ++i)
        if (pop[i].GetDvs(0) == id)
            return pop[i].crowd_distance;
    ADD_FAILURE() << "no member " << id;
    return -1.0;
}

TEST(NDSU, DominanceOfFeasibleMembers) {
    EXPECT_EQ(NDSU::dominance(Ind({1, 2}), Ind({2, 3})), 1);
    EXPECT_EQ(NDSU::dominance(Ind({1, 3}), Ind({1, 2})), -1); // larger in one, equal in the other
    EXPECT_EQ(NDSU::dominance(Ind({1, 2}), Ind({1, 3})), 1);
    EXPECT_EQ(NDSU::dominance(Ind({1, 3}), Ind({2, 2})), 0);
    EXPECT_EQ(NDSU::dominance(Ind({1, 2}), Ind({1, 2})), 0);
    EXPECT_EQ(NDSU::dominance(Ind({kNaN, 2}), Ind({1, 3})), 1); // a NaN compares neither way
}

TEST(NDSU, ConstrainedDominance) {
    // Both infeasible: the smaller violation wins whatever the objectives.
    EXPECT_EQ(NDSU::dominance(Ind({9, 9}, -1.0), Ind({0, 0}, -2.0)), 1);
    EXPECT_EQ(NDSU::dominance(Ind({0, 0}, -2.0), Ind({9, 9}, -1.0)), -1);
    EXPECT_EQ(NDSU::dominance(Ind({0, 0}, -2.0), Ind({9, 9}, -2.0)), 0);
    // Feasible against infeasible.
    EXPECT_EQ(NDSU::dominance(Ind({9, 9}), Ind({0, 0}, -1e-9)), 1);
    EXPECT_EQ(NDSU::dominance(Ind({0, 0}, -1e-9), Ind({9, 9})), -1);
    // A satisfied constraint (positive value) is feasible.
    EXPECT_EQ(NDSU::dominance(Ind({1, 1}, 5.0), Ind({2, 2}, 0.0)), 1);
}

TEST(NDSU, TournamentPrefersLowerRankThenLargerCrowding) {
    INDIVIDUAL a = Ind({0, 0});
    INDIVIDUAL b = Ind({0, 0});
    a.rank = 1;
    b.rank = 2;
    a.crowd_distance = 0.0;
    b.crowd_distance = 100.0;
    EXPECT_TRUE(NDSU::tournament(a, b));
    EXPECT_FALSE(NDSU::tournament(b, a));
    b.rank = 1;
    EXPECT_FALSE(NDSU::tournament(a, b));
    EXPECT_TRUE(NDSU::tournament(b, a));
    a.crowd_distance = 100.0;
    EXPECT_FALSE(NDSU::tournament(a, b)); // a full tie is a loss
    EXPECT_FALSE(NDSU::tournament(b, a));
}

// Members ranked with a rank limit: their ranks and the fronts (member
// indexes in order).
struct Ranking {
    const char* name;
    std::vector<std::vector<double>> objs;
    std::vector<double> violations;
    unsigned limit;
    std::vector<unsigned> ranks;
    std::vector<std::vector<unsigned>> fronts;
};

class NDSURanking : public testing::TestWithParam<Ranking> {};

TEST_P(NDSURanking, GivesTheRanksAndFronts) {
    const Ranking& r = GetParam();
    POPULATION pop = Pop(r.objs, r.violations);
    pop.AssignRank(r.limit);
    EXPECT_EQ(Ranks(pop), r.ranks);
    ASSERT_EQ(pop.GetNumParetoSets(), r.fronts.size());
    for (unsigned f = 0; f < r.fronts.size(); ++f)
        EXPECT_EQ(pop.GetParetoSet(f), r.fronts[f]) << "front " << f;
}

const Ranking kRankings[] = {
    {"EqualFeasibleMembersBothKeepRankOne", {{1, 1}, {1, 1}}, {}, kNoLimit, {1, 1}, {{0, 1}}},
    // Infeasible members are ranked by violation, after the feasible ones.
    {"ByViolation", {{0, 0}, {0, 0}, {0, 0}}, {-1, -2, -3}, kNoLimit, {1, 2, 3}, {{0}, {1}, {2}}},
    {"FeasibleFirst",
     {{5, 5}, {0, 0}, {0, 0}, {9, 9}},
     {-1, -2, -3, 0},
     kNoLimit,
     {2, 3, 4, 1},
     {{3}, {0}, {1}, {2}}},
    // A (1, 5), B (2, 4), C (3, 6): C is dominated by A and B, so its rank is
    // 1 + 2 and the second front is empty.
    {"FrontsMayBeEmpty", {{1, 5}, {2, 4}, {3, 6}}, {}, kNoLimit, {1, 1, 3}, {{0, 1}, {}, {2}}},
    // Limit 1: C (3, 6) comes first; once one member has dominated it, it is
    // compared no further, so its rank is only a lower bound; rank 1 stays exact.
    {"LimitOneSeparatesRankOne", {{3, 6}, {1, 5}, {2, 4}}, {}, 1, {2, 1, 1}, {{1, 2}, {0}}},
};
INSTANTIATE_TEST_SUITE_P(Cases, NDSURanking, testing::ValuesIn(kRankings), testsupport::RowName());

TEST(NDSU, RanksOfARandomPopulationMatchTheCountOfDominatingMembers) {
    RANU ranu;
    ranu.SeedFromPair(100, 200);
    const unsigned n = 150;
    std::vector<std::vector<double>> objs;
    std::vector<double> violations;
    for (unsigned i = 0; i < n; ++i) {
        // Coarse values so that ties and equal members occur.
        objs.push_back(
            {double(ranu.RndInt(0, 8)), double(ranu.RndInt(0, 8)), double(ranu.RndInt(0, 8))});
        violations.push_back(ranu.RndInt(0, 5) == 0 ? -double(ranu.RndInt(1, 4)) : 0.0);
    }
    POPULATION pop = Pop(objs, violations);
    pop.AssignRank(kNoLimit);
    unsigned largest = 0;
    for (unsigned i = 0; i < n; ++i) {
        unsigned dominating = 0;
        for (unsigned j = 0; j < n; ++j)
            dominating += NDSU::dominance(pop[j], pop[i]) == 1;
        ASSERT_EQ(pop[i].rank, 1 + dominating) << "member " << i;
        largest = std::max(largest, pop[i].rank);
    }
    ASSERT_EQ(pop.GetNumParetoSets(), largest);
    unsigned listed = 0;
    for (unsigned r = 0; r < largest; ++r) {
        const std::vector<unsigned> front = pop.GetParetoSet(r);
        EXPECT_TRUE(std::is_sorted(front.begin(), front.end()));
        for (unsigned idx : front)
            EXPECT_EQ(pop[idx].rank, r + 1);
        listed += static_cast<unsigned>(front.size());
    }
    EXPECT_EQ(listed, n);
}

TEST(NDSU, EmptyAndSingleMemberPopulations) {
    POPULATION empty("e", 1, 2, 0, 0, false);
    empty.AssignRank(kNoLimit);
    EXPECT_EQ(empty.GetNumParetoSets(), 0u);
    NDSU::assign_rank_crowd_distance(empty);
    EXPECT_EQ(empty.GetNumParetoSets(), 0u);

    POPULATION one = Pop({{4, 4}});
    one[0].rank = 9;
    one.AssignRank(kNoLimit);
    EXPECT_EQ(one[0].rank, 1u);
    ASSERT_EQ(one.GetNumParetoSets(), 1u);
}

TEST(NDSU, ResetRankAndResetCrowdDistance) {
    POPULATION pop = Pop({{1, 5}, {2, 4}, {3, 6}});
    NDSU::assign_rank_crowd_distance(pop);
    pop.ResetRank();
    EXPECT_EQ(Ranks(pop), (std::vector<unsigned>{1, 1, 1}));
    EXPECT_EQ(pop.GetNumParetoSets(), 0u);
    EXPECT_GT(pop[0].crowd_distance, 0.0);
    pop.ResetCrowdDistance();
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(pop[i].crowd_distance, 0.0);
}

// Crowding distances, member by member (by design variable), after ranking.
struct Crowding {
    const char* name;
    std::vector<std::vector<double>> objs;
    unsigned fronts;
    std::vector<double> distances;
};

class NDSUCrowding : public testing::TestWithParam<Crowding> {};

TEST_P(NDSUCrowding, GivesTheDistances) {
    const Crowding& c = GetParam();
    POPULATION pop = Pop(c.objs);
    NDSU::assign_rank_crowd_distance(pop);
    ASSERT_EQ(pop.GetNumParetoSets(), c.fronts);
    for (unsigned i = 0; i < c.distances.size(); ++i) {
        // Bonuses are exact; sums of normalised gaps are exact up to rounding.
        if (c.distances[i] >= kBonus)
            EXPECT_EQ(DistanceOf(pop, i), c.distances[i]) << "member " << i;
        else
            EXPECT_DOUBLE_EQ(DistanceOf(pop, i), c.distances[i]) << "member " << i;
    }
}

const Crowding kCrowding[] = {
    // A member alone in its front gains the bonus for every objective; A and B
    // are each first in one objective and last in the other.
    {"AloneOrAtBothEnds", {{1, 5}, {2, 4}, {3, 6}}, 3, {2 * kBonus, 2 * kBonus, 2 * kBonus}},
    {"AloneWithThreeObjectives", {{1, 2, 3}}, 1, {3 * kBonus}},
    // (0, 4), (1, 3), (4, 0): objective 0 has range 4 and the middle member
    // gains (4 - 0) / 4 = 1 from it, and again 1 from objective 1.
    {"InteriorOfEvenGaps", {{4, 0}, {1, 3}, {0, 4}}, 1, {2 * kBonus, 2.0, 2 * kBonus}},
    // (0, 9), (1, 4), (2, 1), (4, 0): objective 0 (range 4) gives (2 - 0) / 4
    // and (4 - 1) / 4; objective 1 (range 9) gives (9 - 1) / 9 and (4 - 0) / 9.
    {"InteriorOfUnevenGaps",
     {{2, 1}, {0, 9}, {4, 0}, {1, 4}},
     1,
     {0.75 + 4.0 / 9.0, 2 * kBonus, 2 * kBonus, 0.5 + 8.0 / 9.0}},
};
INSTANTIATE_TEST_SUITE_P(Cases, NDSUCrowding, testing::ValuesIn(kCrowding), testsupport::RowName());

TEST(NDSU, AnObjectiveWithZeroRangeGivesOnlyTheFirstMemberItsBonus) {
    // Three mutually non-dominated members sharing objective 0.
    POPULATION pop = Pop({{1, 0, 2}, {1, 2, 0}, {1, 1, 1}});
    NDSU::assign_rank_crowd_distance(pop);
    ASSERT_EQ(pop.GetNumParetoSets(), 1u);
    // Objectives 1 and 2: both ends gain 1e14 each, the middle member 1 + 1.
    // Objective 0: exactly one member (whichever the unstable sort put
    // first) gains 1e14, nobody else anything.
    const double total = pop[0].crowd_distance + pop[1].crowd_distance + pop[2].crowd_distance;
    EXPECT_EQ(total, 5 * kBonus + 2.0);
    std::vector<double> d = {pop[0].crowd_distance, pop[1].crowd_distance, pop[2].crowd_distance};
    std::sort(d.begin(), d.end());
    const bool middle_first = d == std::vector<double>{kBonus + 2.0, 2 * kBonus, 2 * kBonus};
    const bool end_first = d == std::vector<double>{2.0, 2 * kBonus, 3 * kBonus};
    EXPECT_TRUE(middle_first || end_first) << d[0] << " " << d[1] << " " << d[2];
}

TEST(NDSU, FrontsAreLeftSortedByTheLastObjective) {
    POPULATION pop = Pop({{0, 9}, {4, 0}, {1, 4}, {2, 1}, {5, 5}});
    NDSU::assign_rank_crowd_distance(pop);
    ASSERT_GE(pop.GetNumParetoSets(), 1u);
    const std::vector<unsigned> front = pop.GetParetoSet(0);
    ASSERT_EQ(front.size(), 4u);
    for (size_t p = 0; p + 1 < front.size(); ++p)
        EXPECT_LE(pop[front[p]].GetObj(1), pop[front[p + 1]].GetObj(1));
    EXPECT_EQ(pop.GetSortedByRankFobjIndex(0, 0), 1u); // (4, 0)

    pop.SortByRankFobjIndex(0, 0);
    EXPECT_EQ(pop.GetParetoSet(0), (std::vector<unsigned>{0, 2, 3, 1}));
}

TEST(NDSU, SortByRankCrowdDistance) {
    POPULATION pop = Pop({{0, 0}, {0, 0}, {0, 0}, {0, 0}});
    const unsigned ranks[4] = {2, 1, 2, 1};
    const double dist[4] = {1e20, 0.5, 3.0, 7.0};
    for (unsigned i = 0; i < 4; ++i) {
        pop[i].rank = ranks[i];
        pop[i].crowd_distance = dist[i];
    }
    pop.SortByRankCrowdDistance();
    std::vector<double> ids;
    for (unsigned i = 0; i < 4; ++i)
        ids.push_back(pop[i].GetDvs(0));
    EXPECT_EQ(ids, (std::vector<double>{3, 1, 0, 2}));
}

TEST(NDSU, PartialSortBringsTheBestMembersToTheFrontInOrder) {
    RANU ranu;
    ranu.SeedFromPair(7, 11);
    const unsigned n = 60;
    POPULATION pop("p", 1, 1, 0, static_cast<int>(n), true);
    for (unsigned i = 0; i < n; ++i) {
        pop[i].SetDv(0, i);
        pop[i].rank = static_cast<unsigned>(ranu.RndInt(1, 5));
        pop[i].crowd_distance = ranu.RandomUniform();
    }
    POPULATION full = pop.DeepCopy();
    full.SortByRankCrowdDistance();
    pop.PartialSortByRankCrowdDistance(10);
    for (unsigned i = 0; i < 10; ++i) {
        EXPECT_EQ(pop[i].rank, full[i].rank) << i;
        EXPECT_EQ(pop[i].crowd_distance, full[i].crowd_distance) << i;
    }
    // More than the size sorts everything.
    pop.PartialSortByRankCrowdDistance(1000);
    for (unsigned i = 0; i < n; ++i)
        EXPECT_EQ(pop[i].crowd_distance, full[i].crowd_distance) << i;
}

TEST(NDSU, SortByObjectiveIsAscendingAndPutsNaNLast) {
    POPULATION pop = Pop({{3, 0}, {kNaN, 0}, {-1, 0}, {2, 0}, {kNaN, 0}, {0, 0}});
    pop.Sort(0);
    EXPECT_EQ(pop[0].GetObj(0), -1.0);
    EXPECT_EQ(pop[1].GetObj(0), 0.0);
    EXPECT_EQ(pop[2].GetObj(0), 2.0);
    EXPECT_EQ(pop[3].GetObj(0), 3.0);
    EXPECT_TRUE(std::isnan(pop[4].GetObj(0)));
    EXPECT_TRUE(std::isnan(pop[5].GetObj(0)));

    // Many NaN values must not break the sort (a comparator that is not a
    // strict weak ordering can make std::sort run past the range).
    RANU ranu;
    ranu.SeedFromPair(3, 5);
    POPULATION big("b", 1, 1, 0, 500, true);
    for (unsigned i = 0; i < 500; ++i)
        big[i].SetEval({ranu.RndInt(0, 3) == 0 ? kNaN : ranu.RandomUniform()}, {});
    big.Sort(0);
    unsigned firstNaN = 500;
    for (unsigned i = 0; i < 500; ++i)
        if (std::isnan(big[i].GetObj(0))) {
            firstNaN = i;
            break;
        }
    for (unsigned i = 0; i + 1 < firstNaN; ++i)
        ASSERT_LE(big[i].GetObj(0), big[i + 1].GetObj(0));
    for (unsigned i = firstNaN; i < 500; ++i)
        ASSERT_TRUE(std::isnan(big[i].GetObj(0)));
}

TEST(NDSU, Comparators) {
    POPULATION pop = Pop({{1, 9}, {2, 8}});
    NDSU::compare_fobj by0(0, &pop);
    NDSU::compare_fobj by1(1, &pop);
    EXPECT_TRUE(by0(0u, 1u));
    EXPECT_FALSE(by0(1u, 0u));
    EXPECT_FALSE(by0(0u, 0u));
    EXPECT_TRUE(by1(pop.GetIndsPtrs(1), pop.GetIndsPtrs(0)));

    pop[0].rank = 4294967295u; // compared as unsigned
    pop[1].rank = 1;
    NDSU::compare_crowd_distance cd(&pop);
    NDSU::compare_crowd_distance cd_k(7u, &pop);
    EXPECT_TRUE(cd(pop.GetIndsPtrs(1), pop.GetIndsPtrs(0)));
    EXPECT_FALSE(cd_k(pop.GetIndsPtrs(0), pop.GetIndsPtrs(1)));

    POPULATION holes("h", 1, 2, 0, 2, false);
    NDSU::compare_fobj bad(0, &holes);
    EXPECT_EQ(FatalOutput([&] { bad(0u, 1u); }),
              "Trying to acces to an individual not allocated.\nProgram stopped!\n");
}

TEST(NDSU, ParetoPopReturnsTheSharedFeasibleFirstFront) {
    std::vector<INDIVIDUAL> record;
    POPULATION pop = Pop({{3, 6}, {1, 5}, {2, 4}});
    pop.SetBestfitsPtrToInds(&record);
    POPULATION front = pop.ParetoPop(true);
    EXPECT_EQ(front.GetName(), "Pareto Front");
    EXPECT_EQ(front.GetNdvs(), 1u);
    EXPECT_EQ(front.GetNobj(), 2u);
    EXPECT_EQ(front.GetNctr(), 1u);
    ASSERT_EQ(front.GetPopsize(), 2u);
    EXPECT_EQ(front.GetIndsPtrs(0), pop.GetIndsPtrs(1));
    EXPECT_EQ(front.GetIndsPtrs(1), pop.GetIndsPtrs(2));
    EXPECT_EQ(pop[1].GetBestfitsPtr(), nullptr); // taken as a sub-population
    EXPECT_EQ(pop[0].GetBestfitsPtr(), &record);

    // Without ranking, the fronts already built are used.
    NDSU::assign_rank_crowd_distance(pop);
    POPULATION again = pop.ParetoPop(false);
    EXPECT_EQ(again.GetPopsize(), 2u);
}

TEST(NDSU, ParetoPopOfAnInfeasiblePopulationIsEmpty) {
    POPULATION pop = Pop({{1, 1}, {2, 2}}, {-1.0, -0.5});
    POPULATION front = pop.ParetoPop(true);
    EXPECT_EQ(front.GetName(), "Pareto Front");
    EXPECT_EQ(front.GetPopsize(), 0u);
    POPULATION empty("e", 1, 2, 1, 0, false);
    EXPECT_EQ(empty.ParetoPop(true).GetPopsize(), 0u);
}

TEST(NDSU, NonDominatedByListsTheMembersThatDominateTheIndividual) {
    POPULATION pop = Pop({{0.5, 0.5}, {0.5, 2}, {2, 0.5}, {1, 1}, {0.2, 0.9}});
    const INDIVIDUAL reference = Ind({1, 1});
    POPULATION better = pop.NonDominatedBy(reference);
    EXPECT_EQ(better.GetName(), "NonDominated");
    EXPECT_EQ(better.GetNobj(), 2u);
    ASSERT_EQ(better.GetPopsize(), 2u);
    EXPECT_EQ(better.GetIndsPtrs(0), pop.GetIndsPtrs(0));
    EXPECT_EQ(better.GetIndsPtrs(1), pop.GetIndsPtrs(4));

    const std::string out = FatalOutput([&] { pop.NonDominatedBy(Ind({1, 1, 1})); });
    EXPECT_EQ(out, "Number of objective functions must be equal to perform "
                   "OPULATION::NonDominatedByInd(...)\nProgram stopped\n");
}

TEST(NDSU, SortsGiveTheOrderOfTheComparatorsTiesIncluded) {
    // The sorts take the keys out of the members before sorting; the order,
    // including how the unstable sort leaves equal keys, must be the one
    // std::sort gives with the comparators on the members themselves.
    RANU ranu;
    ranu.SeedFromPair(9, 99);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<std::vector<double>> objs;
        for (unsigned i = 0; i < 300; ++i)
            objs.push_back({double(ranu.RndInt(0, 12)), ranu.RndInt(0, 40) == 0 ? kNaN : i % 7,
                            ranu.RandomNum()});
        POPULATION pop = Pop(objs);
        NDSU::assign_rank_crowd_distance(pop);
        for (unsigned i = 0; i < pop.GetPopsize(); i += 9)
            pop[i].crowd_distance = i % 2 ? kNaN : 1.0; // equal and NaN distances

        std::vector<std::shared_ptr<INDIVIDUAL>> expected = pop.GetIndsPtrs();
        std::sort(expected.begin(), expected.end(), NDSU::compare_crowd_distance(&pop));
        POPULATION sorted = pop;
        sorted.SortByRankCrowdDistance();
        ASSERT_EQ(sorted.GetIndsPtrs(), expected) << "trial " << trial;

        for (unsigned k = 0; k < 2; ++k) {
            expected = pop.GetIndsPtrs();
            std::sort(expected.begin(), expected.end(), NDSU::compare_fobj(k, &pop));
            POPULATION by_objective = pop;
            by_objective.Sort(k);
            ASSERT_EQ(by_objective.GetIndsPtrs(), expected) << "trial " << trial;
        }

        pop.AssignRank(kNoLimit);
        for (unsigned r = 0; r < pop.GetNumParetoSets(); ++r) {
            std::vector<unsigned> front = pop.GetParetoSet(r);
            std::sort(front.begin(), front.end(), NDSU::compare_fobj(0, &pop));
            pop.SortByRankFobjIndex(r, 0);
            ASSERT_EQ(pop.GetParetoSet(r), front) << "trial " << trial << " front " << r;
        }
    }
}

TEST(NDSU, GetParetoSetBeyondTheLastFrontWarnsAndReturnsTheLast) {
    POPULATION pop = Pop({{1, 5}, {2, 4}, {3, 6}});
    pop.AssignRank(kNoLimit);
    ASSERT_EQ(pop.GetNumParetoSets(), 3u);
    testing::internal::CaptureStdout();
    const std::vector<unsigned> last = pop.GetParetoSet(5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "WARNING: Index for mParetoSetIndexes out of bounds\n"
              "   POPULATION::GetParetoSet(...)\n"
              "   returning last pareto set\n");
    EXPECT_EQ(last, (std::vector<unsigned>{2}));
}

} // namespace
