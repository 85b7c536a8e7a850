// Tests of the population container: construction and allocation, shared and
// deep copies, sub-populations, the best-per-objective link, random
// initialisation and the clean-up operations.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "model/RANU.h"
#include "model/UTILS.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* const kNotAllocated = "Trying to acces to an individual not allocated.\n"
                                  "Program stopped!\n";

// A population of ndvs 2, nobj 2 whose member i has design (i, 10 i) and
// objectives (i, -i), all computed.
POPULATION Numbered(const std::string& name, int n) {
    POPULATION pop(name, 2, 2, 0, n, true);
    for (int i = 0; i < n; ++i) {
        pop[static_cast<unsigned>(i)].SetDvs({double(i), 10.0 * i});
        pop[static_cast<unsigned>(i)].SetEval({double(i), -double(i)}, {});
    }
    return pop;
}

TEST(POPULATION, DefaultAndNamedConstructionGiveEmptyPopulations) {
    POPULATION a;
    EXPECT_EQ(a.GetName(), "Not named");
    EXPECT_EQ(a.GetPopsize(), 0u);
    EXPECT_EQ(a.GetNdvs(), 0u);
    EXPECT_EQ(a.GetNobj(), 0u);
    EXPECT_EQ(a.GetNctr(), 0u);
    EXPECT_EQ(a.GetBestfitsPtr(), nullptr);
    EXPECT_EQ(a.GetNumParetoSets(), 0u);
    POPULATION b("named");
    EXPECT_EQ(b.GetName(), "named");
    b.SetName("renamed");
    EXPECT_EQ(b.GetName(), "renamed");
}

TEST(POPULATION, UnallocatedSlotsAreFatalUntilAllocated) {
    POPULATION pop("p", 3, 2, 1, 4, false);
    EXPECT_EQ(pop.GetPopsize(), 4u);
    EXPECT_EQ(pop.GetNdvs(), 3u);
    EXPECT_EQ(pop.GetNobj(), 2u);
    EXPECT_EQ(pop.GetNctr(), 1u);
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(pop.GetIndsPtrs(i), nullptr);
    EXPECT_EQ(FatalOutput([&] { pop[1]; }), kNotAllocated);
    const POPULATION& cpop = pop;
    EXPECT_EQ(FatalOutput([&] { cpop[0]; }), kNotAllocated);

    pop.AllocateInds(2);
    EXPECT_EQ(pop.GetIndsPtrs(0), nullptr);
    EXPECT_EQ(pop.GetIndsPtrs(1), nullptr);
    ASSERT_NE(pop.GetIndsPtrs(2), nullptr);
    ASSERT_NE(pop.GetIndsPtrs(3), nullptr);
    EXPECT_NE(pop.GetIndsPtrs(2), pop.GetIndsPtrs(3));
    EXPECT_EQ(pop[2].GetNdvs(), 3u);
    EXPECT_EQ(pop[2].GetNobj(), 2u);
    EXPECT_EQ(pop[3].GetNctr(), 1u);
    EXPECT_FALSE(pop[3].IsComputed());

    // A first slot not below the size allocates nothing.
    pop.AllocateInds(4);
    pop.AllocateInds(100);
    EXPECT_EQ(pop.GetIndsPtrs(0), nullptr);
}

TEST(POPULATION, AllocateIndsReplacesWhatTheSlotsHeldAndPassesTheLink) {
    std::vector<INDIVIDUAL> record;
    POPULATION pop("p", 1, 1, 0, 2, true);
    std::weak_ptr<INDIVIDUAL> old0 = pop.GetIndsPtrs(0);
    std::weak_ptr<INDIVIDUAL> old1 = pop.GetIndsPtrs(1);
    pop.SetBestfitsPtr(&record);
    EXPECT_EQ(pop[0].GetBestfitsPtr(), nullptr); // the population's link only
    pop.AllocateInds(1);
    EXPECT_FALSE(old0.expired());
    EXPECT_TRUE(old1.expired());
    EXPECT_EQ(pop[1].GetBestfitsPtr(), &record);
    EXPECT_EQ(pop[0].GetBestfitsPtr(), nullptr);
}

TEST(POPULATION, InitPopKeepsLowerSlotsAndClearsTheLink) {
    std::vector<INDIVIDUAL> record;
    POPULATION pop = Numbered("old", 4);
    pop.SetBestfitsPtr(&record);
    pop.AssignRank(4294967295u);
    const unsigned fronts = pop.GetNumParetoSets();
    std::weak_ptr<INDIVIDUAL> third = pop.GetIndsPtrs(3);
    const std::shared_ptr<INDIVIDUAL> first = pop.GetIndsPtrs(0);

    pop.InitPop("new", 5, 3, 2, 3, false);
    EXPECT_EQ(pop.GetName(), "new");
    EXPECT_EQ(pop.GetPopsize(), 3u);
    EXPECT_EQ(pop.GetNdvs(), 5u);
    EXPECT_EQ(pop.GetNobj(), 3u);
    EXPECT_EQ(pop.GetNctr(), 2u);
    EXPECT_EQ(pop.GetBestfitsPtr(), nullptr);
    EXPECT_EQ(pop.GetIndsPtrs(0), first); // kept
    EXPECT_TRUE(third.expired());         // released
    EXPECT_EQ(pop.GetNumParetoSets(), fronts);

    pop.InitPop("new", 5, 3, 2, 5, false);
    EXPECT_EQ(pop.GetIndsPtrs(0), first);
    EXPECT_EQ(pop.GetIndsPtrs(3), nullptr);
    EXPECT_EQ(pop.GetIndsPtrs(4), nullptr);

    pop.InitPop("new", 5, 3, 2, 2, true);
    ASSERT_NE(pop.GetIndsPtrs(0), nullptr);
    EXPECT_NE(pop.GetIndsPtrs(0), first); // every slot receives a new individual
    EXPECT_EQ(pop[0].GetNdvs(), 5u);
    EXPECT_EQ(pop[1].GetNctr(), 2u);
}

TEST(POPULATION, ResizeAllocatesOnlyTheAddedSlotsAndReleasesTheRemovedOnes) {
    POPULATION pop = Numbered("p", 4);
    std::vector<std::shared_ptr<INDIVIDUAL>> before = pop.GetIndsPtrs();
    pop.Resize(6, true);
    ASSERT_EQ(pop.GetPopsize(), 6u);
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(pop.GetIndsPtrs(i), before[i]);
    ASSERT_NE(pop.GetIndsPtrs(4), nullptr);
    ASSERT_NE(pop.GetIndsPtrs(5), nullptr);
    EXPECT_FALSE(pop[4].IsComputed());
    EXPECT_EQ(pop[1].GetDvs(1), 10.0);

    std::weak_ptr<INDIVIDUAL> two = pop.GetIndsPtrs(2);
    before.clear();
    pop.Resize(2, false);
    EXPECT_EQ(pop.GetPopsize(), 2u);
    EXPECT_TRUE(two.expired());

    pop.Resize(3, false);
    EXPECT_EQ(pop.GetIndsPtrs(2), nullptr);
    pop.Resize(3, true); // no growth: nothing allocated
    EXPECT_EQ(pop.GetIndsPtrs(2), nullptr);
}

TEST(POPULATION, FrontBackAndMatricesIndexedByObjectiveThenIndividual) {
    POPULATION pop = Numbered("p", 3);
    EXPECT_EQ(&pop.front(), &pop[0]);
    EXPECT_EQ(&pop.back(), &pop[2]);
    const auto obj = pop.GetObj();
    ASSERT_EQ(obj.size(), 2u);
    EXPECT_EQ(obj[0], (std::vector<double>{0.0, 1.0, 2.0}));
    EXPECT_EQ(obj[1], (std::vector<double>{0.0, -1.0, -2.0}));
    const auto dvs = pop.GetDvs();
    ASSERT_EQ(dvs.size(), 2u);
    EXPECT_EQ(dvs[1], (std::vector<double>{0.0, 10.0, 20.0}));
}

TEST(POPULATION, PushBackNewIndCopiesAndPushBackIndSPtrShares) {
    std::vector<INDIVIDUAL> record;
    INDIVIDUAL x(2, 2, 0, &record);
    x.SetDvs({1.0, 2.0});
    POPULATION pop("p", 2, 2, 0, 0, false);
    pop.PushBackNewInd(x);
    ASSERT_EQ(pop.GetPopsize(), 1u);
    EXPECT_NE(&pop[0], &x);
    EXPECT_EQ(pop[0].GetDvs(), x.GetDvs());
    EXPECT_EQ(pop[0].GetBestfitsPtr(), &record);
    x.SetDv(0, 5.0);
    EXPECT_EQ(pop[0].GetDvs(0), 1.0);

    auto shared = std::make_shared<INDIVIDUAL>(x);
    pop.PushBackIndSPtr(shared);
    EXPECT_EQ(pop.GetIndsPtrs(1), shared);
    shared->SetDv(1, 7.0);
    EXPECT_EQ(pop[1].GetDvs(1), 7.0);
}

TEST(POPULATION, SubPopByIndexesSharesMembersAndDetachesThemFromTheRecord) {
    std::vector<INDIVIDUAL> record;
    POPULATION a = Numbered("A", 4);
    a.SetBestfitsPtrToInds(&record);
    POPULATION sub = a.SubPop(std::vector<unsigned>{2, 0, 2});
    EXPECT_EQ(sub.GetName(), "A->subPop");
    ASSERT_EQ(sub.GetPopsize(), 3u);
    EXPECT_EQ(sub.GetNdvs(), 2u);
    EXPECT_EQ(sub.GetNobj(), 2u);
    EXPECT_EQ(sub.GetBestfitsPtr(), nullptr);
    EXPECT_EQ(sub.GetNumParetoSets(), 0u);
    EXPECT_EQ(sub.GetIndsPtrs(0), sub.GetIndsPtrs(2));
    EXPECT_EQ(sub.GetIndsPtrs(0), a.GetIndsPtrs(2));
    EXPECT_EQ(sub.GetIndsPtrs(1), a.GetIndsPtrs(0));
    // The members taken lost their link, in the source population as well.
    EXPECT_EQ(a[2].GetBestfitsPtr(), nullptr);
    EXPECT_EQ(a[0].GetBestfitsPtr(), nullptr);
    EXPECT_EQ(a[1].GetBestfitsPtr(), &record);
    EXPECT_EQ(a.GetBestfitsPtr(), &record);
    // Shared: a change through one population is seen by the other.
    sub[0].SetDv(0, 99.0);
    EXPECT_EQ(a[2].GetDvs(0), 99.0);
}

TEST(POPULATION, SubPopWithAnIndexOutOfBoundsStops) {
    POPULATION a = Numbered("A", 3);
    const std::string out = FatalOutput([&] { a.SubPop(std::vector<unsigned>{0, 3}); });
    EXPECT_EQ(out, "Trying to get an INDIVIDUAL out of bounds\n"
                   "At routine: POPULATION::sub_pop(const std::vector<unsigned int>& indexes)\n"
                   "Program stopped!\n");
}

TEST(POPULATION, SubPopByRangeIsCutShortAtTheEnd) {
    POPULATION a = Numbered("A", 5);
    POPULATION tail = a.SubPop(3u, 10u);
    ASSERT_EQ(tail.GetPopsize(), 2u);
    EXPECT_EQ(tail.GetIndsPtrs(0), a.GetIndsPtrs(3));
    EXPECT_EQ(tail.GetIndsPtrs(1), a.GetIndsPtrs(4));
    EXPECT_EQ(tail.GetName(), "A->subPop");
    EXPECT_EQ(a.SubPop(7u, 2u).GetPopsize(), 0u);
    EXPECT_EQ(a.SubPop(5u, 1u).GetPopsize(), 0u);
    EXPECT_EQ(a.SubPop(1u, 0u).GetPopsize(), 0u);
    // first + count beyond the unsigned range must not wrap around.
    EXPECT_EQ(a.SubPop(4u, 4294967295u).GetPopsize(), 1u);
    EXPECT_EQ(a.SubPop(4294967295u, 2u).GetPopsize(), 0u);
}

TEST(POPULATION, CopiesShareIndividualsAndDeepCopiesDoNot) {
    std::vector<INDIVIDUAL> record;
    std::vector<INDIVIDUAL> other;
    POPULATION a = Numbered("A", 3);
    a.SetBestfitsPtrToInds(&record);
    a.AssignRank(4294967295u);

    POPULATION shared(a);
    shared[1].SetDv(0, 42.0);
    EXPECT_EQ(a[1].GetDvs(0), 42.0);
    EXPECT_FALSE(a[1].IsComputed());

    POPULATION assigned;
    assigned = a;
    EXPECT_EQ(assigned.GetIndsPtrs(0), a.GetIndsPtrs(0));
    EXPECT_EQ(assigned.GetName(), "A");

    a[0].SetBestfitsPtr(&other); // the deep copy resets the links
    POPULATION deep = a.DeepCopy();
    EXPECT_EQ(deep.GetName(), "A");
    EXPECT_EQ(deep.GetNdvs(), 2u);
    EXPECT_EQ(deep.GetBestfitsPtr(), &record);
    EXPECT_EQ(deep.GetNumParetoSets(), a.GetNumParetoSets());
    ASSERT_EQ(deep.GetPopsize(), 3u);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_NE(deep.GetIndsPtrs(i), a.GetIndsPtrs(i));
        EXPECT_EQ(deep[i].GetDvs(), a[i].GetDvs());
        EXPECT_EQ(deep[i].GetObj(), a[i].GetObj());
        EXPECT_EQ(deep[i].IsComputed(), a[i].IsComputed());
        EXPECT_EQ(deep[i].rank, a[i].rank);
        EXPECT_EQ(deep[i].GetBestfitsPtr(), &record);
    }
    deep[2].SetDv(1, -1.0);
    EXPECT_EQ(a[2].GetDvs(1), 20.0);
    EXPECT_TRUE(a[2].IsComputed());

    POPULATION holes("h", 1, 1, 0, 2, false);
    EXPECT_EQ(FatalOutput([&] { holes.DeepCopy(); }), kNotAllocated);
}

TEST(POPULATION, BestfitsLinkOperations) {
    std::vector<INDIVIDUAL> record;
    POPULATION pop("p", 1, 1, 0, 3, false);
    pop.AllocateInds(1);
    pop.SetBestfitsPtr(&record);
    EXPECT_EQ(pop[1].GetBestfitsPtr(), nullptr);
    pop.SetBestfitsPtrToInds(); // skips the empty slot
    EXPECT_EQ(pop[1].GetBestfitsPtr(), &record);
    EXPECT_EQ(pop[2].GetBestfitsPtr(), &record);

    std::vector<INDIVIDUAL> other;
    EXPECT_EQ(FatalOutput([&] { pop.SetBestfitsPtrToInds(&other); }), kNotAllocated);

    pop.AllocateInds(0);
    pop.SetBestfitsPtrToInds(&other);
    EXPECT_EQ(pop.GetBestfitsPtr(), &other);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(pop[i].GetBestfitsPtr(), &other);
}

TEST(POPULATION, UpdateBestfitsValueTakesSmallerObjectivesWhateverTheFeasibility) {
    std::vector<INDIVIDUAL> record(2, INDIVIDUAL(2, 2, 1, nullptr));
    record[0].SetEval({1.0, 1.0}, {0.0});
    record[1].SetEval({5.0, 5.0}, {0.0});
    POPULATION pop("p", 2, 2, 1, 2, true);
    pop[0].SetDvs({1.0, 1.0});
    pop[0].SetEval({0.5, 9.0}, {-3.0}); // infeasible, better objective 0
    pop[1].SetDvs({2.0, 2.0});
    pop[1].SetObj({2.0, 5.0}); // not computed; objective 1 ties
    pop.SetBestfitsPtr(&record);
    pop.UpdateBestfitsValue();
    EXPECT_EQ(record[0].GetObj(0), 0.5);
    EXPECT_EQ(record[0].GetCtrViolation(), -3.0);
    EXPECT_EQ(record[0].GetDvs(0), 1.0);
    EXPECT_EQ(record[1].GetObj(1), 5.0);
    EXPECT_EQ(record[1].GetDvs(0), 0.0); // the tie kept the older entry
}

TEST(POPULATION, RandomInitDrawsIndividualByIndividualAndVariableByVariable) {
    RANU ranu;
    ranu.SeedFromPair(1802, 9373);
    RANU twin;
    twin.SeedFromPair(1802, 9373);
    const std::vector<double> lower = {0.0, -1.0, 10.0};
    const std::vector<double> upper = {1.0, 1.0, 12.0};
    const std::vector<double> step = {0.0, 0.5, 0.0};
    POPULATION pop("p", 3, 1, 0, 4, true);
    for (unsigned i = 0; i < 4; ++i)
        pop[i].SetEval({1.0}, {});
    pop.RandomInit(lower, upper, step, ranu);
    for (unsigned i = 0; i < 4; ++i) {
        const double x0 = twin.Rnd(lower[0], upper[0]);
        const double x1 = twin.Rnd(lower[1], upper[1], step[1]);
        const double x2 = twin.Rnd(lower[2], upper[2]);
        EXPECT_EQ(pop[i].GetDvs(), (std::vector<double>{x0, x1, x2})) << i;
        EXPECT_FALSE(pop[i].IsComputed()) << i;
        const double k = (pop[i].GetDvs(1) + 1.0) / 0.5;
        EXPECT_EQ(k, static_cast<int>(k)) << "not on the step grid: " << pop[i].GetDvs(1);
    }
    EXPECT_EQ(ranu.RandomUniform(), twin.RandomUniform());
}

// Members' design variables, and the members ExtractRepeated keeps.
struct Repeats {
    const char* name;
    int ndvs;
    std::vector<std::vector<double>> dvs;
    std::vector<unsigned> kept;
};

// The same values (NaN included) in the same places.
bool SameValues(const std::vector<double>& a, const std::vector<double>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](double x, double y) {
        return x == y || (std::isnan(x) && std::isnan(y));
    });
}

class POPULATIONExtractRepeated : public testing::TestWithParam<Repeats> {};

TEST_P(POPULATIONExtractRepeated, KeepsFirstOccurrencesInOrder) {
    const Repeats& r = GetParam();
    POPULATION pop("p", r.ndvs, 1, 0, static_cast<int>(r.dvs.size()), true);
    for (unsigned i = 0; i < r.dvs.size(); ++i)
        pop[i].SetDvs(r.dvs[i]);
    const std::vector<std::shared_ptr<INDIVIDUAL>> before = pop.GetIndsPtrs();
    testing::internal::CaptureStdout();
    EXPECT_EQ(pop.ExtractRepeated(), r.dvs.size() - r.kept.size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(pop.GetPopsize(), r.kept.size());
    for (unsigned i = 0; i < r.kept.size(); ++i) {
        EXPECT_EQ(pop.GetIndsPtrs(i), before[r.kept[i]]) << i;
        EXPECT_TRUE(SameValues(pop[i].GetDvs(), r.dvs[r.kept[i]])) << i;
    }
}

// n members whose one variable runs through 0, 1, ..., period - 1 again and again.
std::vector<std::vector<double>> Cycle(unsigned n, unsigned period) {
    std::vector<std::vector<double>> dvs;
    for (unsigned i = 0; i < n; ++i)
        dvs.push_back({static_cast<double>(i % period)});
    return dvs;
}

const Repeats kRepeats[] = {
    {"EqualVectors", 2, {{1.0, 2.0}, {1.0, 2.0}, {3.0, 4.0}, {1.0, 2.0}}, {0, 2}},
    // Compared exactly, and NaN never matches.
    {"ExactlyAndNeverNaN",
     2,
     {{kNaN, 1.0}, {kNaN, 1.0}, {0.1, 0.2}, {0.1, 0.2000000000000001}, {0.1, 0.2}},
     {0, 1, 2, 3}},
    // Runs of equal members, and a long population, are handled in one pass.
    {"LongRuns", 1, Cycle(3000, 7), {0, 1, 2, 3, 4, 5, 6}},
    // Without design variables every member equals the first.
    {"NoDesignVariables", 0, {{}, {}, {}}, {0}},
};
INSTANTIATE_TEST_SUITE_P(Populations, POPULATIONExtractRepeated, testing::ValuesIn(kRepeats),
                         testsupport::RowName());

TEST(POPULATION, ExtractRepeatedKeepsWhatComparingEveryPairKeeps) {
    // Many repeats among few distinct vectors, signed zeros and NaN: the
    // survivors are those of the rule itself (erase every later member equal
    // to an earlier kept one), in order.
    RANU ranu;
    ranu.SeedFromPair(321, 654);
    const double values[] = {0.0, -0.0, 1.0, 0.5, std::numeric_limits<double>::quiet_NaN()};
    for (int trial = 0; trial < 20; ++trial) {
        POPULATION pop("p", 3, 1, 0, 400, true);
        for (unsigned i = 0; i < 400; ++i) {
            std::vector<double> x(3);
            for (double& v : x)
                v = values[ranu.RndInt(0, trial % 2 ? 5 : 4)];
            pop[i].SetDvs({9.0, 9.0, 9.0}); // so that -0.0 is stored
            pop[i].SetDvs(x);
        }
        std::vector<std::shared_ptr<INDIVIDUAL>> expected;
        for (const auto& p : pop.GetIndsPtrs()) {
            bool repeat = false;
            for (const auto& q : expected)
                repeat |= q->GetDvs() == p->GetDvs();
            if (!repeat)
                expected.push_back(p);
        }
        const unsigned removed = pop.ExtractRepeated();
        EXPECT_EQ(removed, 400u - expected.size());
        ASSERT_EQ(pop.GetIndsPtrs(), expected) << "trial " << trial;
    }
}

TEST(POPULATION, ExtractNonComputedRemovesAndReportsUnevaluatedMembers) {
    POPULATION pop = Numbered("children", 5);
    testing::internal::CaptureStdout();
    EXPECT_EQ(pop.ExtractNonComputed(), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    pop[1].SetDv(0, -1.0);
    pop[3].SetDv(0, -3.0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(pop.ExtractNonComputed(), 2u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Extracted 2 non-computed individuals from children\n");
    ASSERT_EQ(pop.GetPopsize(), 3u);
    EXPECT_EQ(pop[0].GetDvs(0), 0.0);
    EXPECT_EQ(pop[1].GetDvs(0), 2.0);
    EXPECT_EQ(pop[2].GetDvs(0), 4.0);
}

} // namespace
