// Tests of the local evaluation unit, always through real plug-ins loaded
// with dlopen: the counting plug-in records creations, Init calls and every
// evaluation (read back through its extra exported functions), the slow one
// takes a few milliseconds per design, the faulty ones break the loading or
// the analyser contract. No test depends on timing: results, counts and
// files are checked, with bounds where threads may interleave.

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/ADLL.h"
#include "eval/LocalEVAU.h"
#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteria.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/PIOU.h"
#include "output/WriteData.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

using nlohmann::json;
using testsupport::CountOccurrences;
using testsupport::ReadLines;
using testsupport::TempDir;

const double kMax = std::numeric_limits<double>::max();

std::string Plugin(const std::string& name) {
    return testsupport::PluginsDir() + "/" + name + ".so";
}

// The inspection functions of the counting plug-in. The unit opens the same
// shared object, so both see the same records.
struct Counting {
    void (*reset)();
    void (*set_delay_us)(int);
    int (*created)();
    int (*init_order)(int*, int);
    int (*instance_counts)(int*, int);
    int (*started)();
    int (*finished)();
    int (*max_running)();
    int (*evaluations_of)(double);
    int (*distinct)();
    int (*design)(int, double*, int);

    static Counting& Get() {
        static Counting c = [] {
            void* handle = dlopen(Plugin("vesk_test_counting").c_str(), RTLD_LAZY);
            if (handle == nullptr)
                throw std::runtime_error(std::string("cannot load the counting plug-in: ") +
                                         dlerror());
            auto sym = [handle](const char* name) {
                void* p = dlsym(handle, name);
                if (p == nullptr)
                    throw std::runtime_error(std::string("missing ") + name);
                return p;
            };
            Counting r{};
            r.reset = reinterpret_cast<void (*)()>(sym("vesk_counting_reset"));
            r.set_delay_us = reinterpret_cast<void (*)(int)>(sym("vesk_counting_set_delay_us"));
            r.created = reinterpret_cast<int (*)()>(sym("vesk_counting_created"));
            r.init_order = reinterpret_cast<int (*)(int*, int)>(sym("vesk_counting_init_order"));
            r.instance_counts =
                reinterpret_cast<int (*)(int*, int)>(sym("vesk_counting_instance_counts"));
            r.started = reinterpret_cast<int (*)()>(sym("vesk_counting_started"));
            r.finished = reinterpret_cast<int (*)()>(sym("vesk_counting_finished"));
            r.max_running = reinterpret_cast<int (*)()>(sym("vesk_counting_max_running"));
            r.evaluations_of =
                reinterpret_cast<int (*)(double)>(sym("vesk_counting_evaluations_of"));
            r.distinct = reinterpret_cast<int (*)()>(sym("vesk_counting_distinct"));
            r.design = reinterpret_cast<int (*)(int, double*, int)>(sym("vesk_counting_design"));
            return r;
        }();
        return c;
    }

    std::vector<int> InitOrder() const {
        std::vector<int> order(64);
        order.resize(static_cast<size_t>(init_order(order.data(), 64)));
        return order;
    }
    std::vector<int> InstanceCounts() const {
        std::vector<int> counts(192);
        counts.resize(static_cast<size_t>(instance_counts(counts.data(), 192)));
        return counts;
    }
    std::vector<double> Design(int k) const {
        std::vector<double> d(64);
        const int n = design(k, d.data(), 64);
        d.resize(n < 0 ? 0 : static_cast<size_t>(n));
        return d;
    }
};

// Fresh records and no delay for every test.
class LocalEVAUTest : public ::testing::Test {
protected:
    void SetUp() override {
        Counting::Get().reset();
        Counting::Get().set_delay_us(0);
    }
    void TearDown() override { Counting::Get().set_delay_us(0); }
};

// A unit for a plug-in analyser, constructed and initialised; its console
// report goes to *out when given.
std::unique_ptr<LocalEVAU> MakeUnit(const std::string& plugin, unsigned ndvs, unsigned nobj,
                                    unsigned nctr, unsigned ncpu, std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    auto unit = std::make_unique<LocalEVAU>(ndvs, nobj, nctr, ncpu,
                                            json{{"AnalyzerType", 0}, {"CommandFile", plugin}});
    unit->Init(10);
    const std::string text = testing::internal::GetCapturedStdout();
    if (out != nullptr)
        *out = text;
    return unit;
}

// n individuals whose first design variable is its index (the counting
// plug-in keys its records on it), the second is 0.5.
POPULATION Numbered(unsigned n, unsigned ndvs = 2, unsigned nobj = 2, unsigned nctr = 1) {
    POPULATION pop("children", static_cast<int>(ndvs), static_cast<int>(nobj),
                   static_cast<int>(nctr), static_cast<int>(n), true);
    for (unsigned i = 0; i < n; ++i) {
        std::vector<double> x(ndvs, 0.5);
        x[0] = i;
        pop[i].SetDvs(x);
    }
    return pop;
}

// Runs Compute with the console output swallowed.
bool Compute(LocalEVAU& unit, POPULATION& pop, TerminationCriteria* rule = nullptr,
             WriteData* out = nullptr, const std::vector<double>& elite = {}) {
    testing::internal::CaptureStdout();
    const bool met = unit.Compute(pop, rule, {}, elite, out);
    testing::internal::GetCapturedStdout();
    return met;
}

unsigned ComputedCount(const POPULATION& pop) {
    unsigned n = 0;
    for (unsigned i = 0; i < pop.GetPopsize(); ++i)
        n += pop[i].IsComputed();
    return n;
}

// Output configuration writing the children file <dir>/childs.(out|bin).
WriteData ChildrenOutput(const TempDir& dir, bool ascii) {
    WriteData w;
    w.SetWriteChilds(true);
    w.SetWriteASCIIFormat(ascii);
    w.SetChildsFilename(dir.file("childs"));
    return w;
}

// Size in bytes of one binary record.
long RecordSize(unsigned nobj, unsigned ndvs, unsigned nctr) {
    return 8L * (nobj + ndvs + nctr) + 12L;
}

TEST_F(LocalEVAUTest, ConstructionReportsTheProcessorsAndTheSettings) {
    std::string out;
    testing::internal::CaptureStdout();
    LocalEVAU unit(2, 2, 1, 3,
                   json{{"AnalyzerType", 0},
                        {"CommandFile", Plugin("vesk_test_counting")},
                        {"Arguments", {"-x", "$(NDVS)"}},
                        {"mEssentialFilesAndFolders", {"data", "mesh.dat"}}});
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Local Evaluation\nNCPU = 3\nChecking processors.\n", 0), 0u) << out;
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(
            CountOccurrences(out, "   Processor " + std::to_string(t) + " out of 3 is checked!\n"),
            1)
            << out;
    EXPECT_NE(out.find("arguments[0] = -x\narguments[1] = $(NDVS)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("EssentialFilesAndFolders[0] = data\nEssentialFilesAndFolders[1] = "
                       "mesh.dat\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(unit.GetNcpu(), 3);
    EXPECT_EQ(unit.GetAnalyzerType(), 0);
    EXPECT_EQ(unit.GetCommandFile(), Plugin("vesk_test_counting"));
    EXPECT_EQ(unit.GetArguments(), (std::vector<std::string>{"-x", "$(NDVS)"}));
    EXPECT_EQ(unit.GetEssentialFilesAndFolders(), (std::vector<std::string>{"data", "mesh.dat"}));
    EXPECT_EQ(unit.GetObjEvals(), 0u);
    EXPECT_FALSE(unit.IsCriteriaMet());
    // Nothing is loaded before Init.
    EXPECT_EQ(Counting::Get().created(), 0);
}

TEST_F(LocalEVAUTest, TextConfiguration) {
    std::istringstream in("0            analyser type\n" + Plugin("vesk_test_counting") +
                          "  the plug-in\n"
                          "3            arguments\n"
                          "-a -b\n"
                          "c            last argument\n"
                          "2            essential files\n"
                          "folder file.dat\n");
    testing::internal::CaptureStdout();
    LocalEVAU unit(2, 2, 0, 1, in);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(unit.GetAnalyzerType(), 0);
    EXPECT_EQ(unit.GetCommandFile(), Plugin("vesk_test_counting"));
    EXPECT_EQ(unit.GetArguments(), (std::vector<std::string>{"-a", "-b", "c"}));
    EXPECT_EQ(unit.GetEssentialFilesAndFolders(), (std::vector<std::string>{"folder", "file.dat"}));
    EXPECT_NE(out.find("Reading 3 arguments:\narguments[0] = -a\narguments[1] = -b\n"
                       "arguments[2] = c\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("EssentialFilesAndFolders"), std::string::npos) << out;
}

TEST_F(LocalEVAUTest, TextConfigurationErrorsNameTheLine) {
    std::istringstream in("0\n" + Plugin("vesk_test_counting") + "\n-1\n");
    const std::string out = FatalOutput([&] { LocalEVAU unit(2, 2, 0, 1, in); });
    EXPECT_NE(out.find("line 3"), std::string::npos) << out;
    EXPECT_NE(out.find("\"-1\""), std::string::npos) << out;
}

TEST_F(LocalEVAUTest, UnknownAnalyzerTypeIsRefusedNamingTheValue) {
    std::string out = FatalOutput([] {
        LocalEVAU unit(2, 2, 0, 1, json{{"AnalyzerType", 2}, {"CommandFile", "x"}});
    });
    EXPECT_NE(out.find("AnalyzerType 2"), std::string::npos) << out;
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;

    std::istringstream in("-7\nx\n0\n0\n");
    out = FatalOutput([&] { LocalEVAU unit(2, 2, 0, 1, in); });
    EXPECT_NE(out.find("-7"), std::string::npos) << out;

    // Missing required keys stop the run naming them.
    out = FatalOutput([] { LocalEVAU unit(2, 2, 0, 1, json{{"AnalyzerType", 0}}); });
    EXPECT_NE(out.find("CommandFile"), std::string::npos) << out;
    out = FatalOutput([] {
        LocalEVAU unit(2, 2, 0, 1,
                       json{{"AnalyzerType", 0}, {"CommandFile", "x"}, {"Arguments", "-a"}});
    });
    EXPECT_NE(out.find("Arguments"), std::string::npos) << out;
}

TEST_F(LocalEVAUTest, OneAnalyserPerProcessorCreatedAndInitialisedInOrder) {
    Counting& c = Counting::Get();
    std::string out;
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 3, 2, 1, 4, &out);
    EXPECT_EQ(c.created(), 4);
    EXPECT_EQ(c.InitOrder(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(c.InstanceCounts(), (std::vector<int>{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}));
    EXPECT_EQ(CountOccurrences(out, "Loading Dynamic Library\n"
                                    " >>> Analyser dinamically linked, shared object loaded!\n"
                                    "     for population\n"
                                    "Done\n"),
              4)
        << out;
    EXPECT_NE(out.find("LocalEVAU::Init()\n"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 6), "Done.\n") << out;
}

TEST_F(LocalEVAUTest, TheFactoryGetsTheCountsSetBeforeInit) {
    // A game player's unit sees the full design: the optimiser overwrites the
    // counts before Init.
    testing::internal::CaptureStdout();
    LocalEVAU unit(2, 1, 1, 2,
                   json{{"AnalyzerType", 0}, {"CommandFile", Plugin("vesk_test_counting")}});
    unit.SetNdvs(5);
    unit.SetNobj(3);
    unit.Init(4);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(unit.GetNctr(), 1u);
    EXPECT_EQ(Counting::Get().InstanceCounts(), (std::vector<int>{5, 3, 1, 5, 3, 1}));
}

TEST_F(LocalEVAUTest, EveryIndividualIsEvaluatedExactlyOnce) {
    Counting& c = Counting::Get();
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 4);
    POPULATION pop = Numbered(1000);
    EXPECT_FALSE(Compute(*unit, pop));
    EXPECT_EQ(unit->GetObjEvals(), 1000u);
    EXPECT_EQ(c.started(), 1000);
    EXPECT_EQ(c.distinct(), 1000);
    for (unsigned i = 0; i < 1000; ++i) {
        ASSERT_EQ(c.evaluations_of(i), 1) << i;
        ASSERT_TRUE(pop[i].IsComputed()) << i;
        ASSERT_EQ(pop[i].GetObj(0), double(i)) << i;
        ASSERT_EQ(pop[i].GetObj(1), 1000.0 + i + 0.5) << i;
        ASSERT_EQ(pop[i].GetCtr(0), 1.0 - i / 1e6) << i;
    }
    EXPECT_LE(c.max_running(), 4);
    EXPECT_GE(c.max_running(), 1);

    // A second batch of computed individuals evaluates nothing.
    EXPECT_FALSE(Compute(*unit, pop));
    EXPECT_EQ(unit->GetObjEvals(), 1000u);
    EXPECT_EQ(c.started(), 1000);
}

TEST_F(LocalEVAUTest, OnlyUncomputedIndividualsAreEvaluatedAndCounted) {
    Counting& c = Counting::Get();
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 3);
    POPULATION pop = Numbered(90);
    for (unsigned i = 0; i < 90; i += 3)
        pop[i].SetEval({-1.0, -2.0}, {5.0}); // already computed
    EXPECT_FALSE(Compute(*unit, pop));
    EXPECT_EQ(unit->GetObjEvals(), 60u);
    EXPECT_EQ(c.started(), 60);
    for (unsigned i = 0; i < 90; ++i) {
        EXPECT_TRUE(pop[i].IsComputed());
        if (i % 3 == 0) {
            EXPECT_EQ(c.evaluations_of(i), 0) << i;
            EXPECT_EQ(pop[i].GetObj(0), -1.0) << i; // kept its evaluation
        } else {
            EXPECT_EQ(c.evaluations_of(i), 1) << i;
        }
    }
    // The counter accumulates over the life of the unit.
    pop[1].SetDv(1, 0.25);
    pop[2].SetDv(1, 0.25);
    Compute(*unit, pop);
    EXPECT_EQ(unit->GetObjEvals(), 62u);
}

TEST_F(LocalEVAUTest, WithoutARuleTheUnitNeverStops) {
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 2);
    for (int round = 0; round < 3; ++round) {
        POPULATION pop = Numbered(50);
        EXPECT_FALSE(Compute(*unit, pop));
    }
    EXPECT_EQ(unit->GetObjEvals(), 150u);
    EXPECT_FALSE(unit->IsCriteriaMet());
}

// A budget of evaluations that also notes how many evaluations the plug-in
// had started at the moment it was first met.
class RecordingBudget : public TerminationCriteria {
public:
    explicit RecordingBudget(unsigned max) : mMax(max) {}
    std::unique_ptr<TerminationCriteria> clone() const override {
        return std::make_unique<RecordingBudget>(*this);
    }
    bool CheckTerminationCriteria(unsigned evaluations, const std::vector<INDIVIDUAL>&) override {
        ++mChecks;
        if (evaluations < mMax)
            return false;
        if (mStartedWhenMet < 0)
            mStartedWhenMet = Counting::Get().started();
        ++mTrueAnswers;
        return true;
    }
    int mChecks = 0;
    int mTrueAnswers = 0;
    int mStartedWhenMet = -1;

private:
    unsigned mMax;
};

TEST_F(LocalEVAUTest, NoEvaluationStartsAfterTheStoppingRuleIsMet) {
    Counting& c = Counting::Get();
    c.set_delay_us(500); // keeps all four threads busy at once
    const int ncpu = 4;
    TempDir dir;
    WriteData out = ChildrenOutput(dir, false);
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, ncpu);
    POPULATION pop = Numbered(400);
    RecordingBudget rule(100);
    testing::internal::CaptureStdout();
    const bool met = unit->Compute(pop, &rule, {}, {}, &out);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(met);
    EXPECT_TRUE(unit->IsCriteriaMet());
    EXPECT_EQ(CountOccurrences(text, "Termination criteria has been met\n"), 1) << text;
    // Once true, the rule is not asked again.
    EXPECT_EQ(rule.mTrueAnswers, 1);
    // The rule is asked after every evaluation with the count at that moment.
    EXPECT_LE(rule.mChecks, 100);
    EXPECT_GE(rule.mChecks, 100 - (ncpu - 1));
    // Evaluations already running finish; none starts after the rule was met
    // (a thread past the check may just be entering the analyser). Threads
    // work at most 2 x ncpu designs ahead of the oldest result not yet
    // committed, which bounds the evaluations run past the budget.
    EXPECT_GE(unit->GetObjEvals(), 100u);
    EXPECT_LE(unit->GetObjEvals(), 100u + 2 * ncpu - 1);
    EXPECT_LE(c.started(), 100 + 2 * ncpu - 1);
    EXPECT_LE(c.started() - rule.mStartedWhenMet, ncpu - 1);
    EXPECT_EQ(c.started(), c.finished());
    // Results are committed in index order: the first 100 designs are stored
    // and appended first; evaluations that finished after the rule was met
    // are stored and appended after them, so that no computed result is lost.
    const unsigned evaluated = unit->GetObjEvals();
    EXPECT_EQ(ComputedCount(pop), evaluated);
    for (unsigned i = 0; i < 100; ++i)
        EXPECT_TRUE(pop[i].IsComputed()) << i;
    const long records = testsupport::FileSize(out.GetChildsFilename()) / RecordSize(2, 2, 1);
    EXPECT_EQ(testsupport::FileSize(out.GetChildsFilename()) % RecordSize(2, 2, 1), 0);
    EXPECT_EQ(records, static_cast<long>(evaluated));
    if (evaluated > 100u) {
        EXPECT_NE(text.find(std::to_string(evaluated - 100) +
                            " evaluation(s) running when the stopping rule was met finished; "
                            "their results are stored after the others."),
                  std::string::npos)
            << text;
    }

    // The flag stays set: a later batch is skipped entirely.
    POPULATION next = Numbered(20);
    for (unsigned i = 0; i < 20; ++i)
        next[i].SetDv(0, 1000.0 + i);
    EXPECT_TRUE(Compute(*unit, next, &rule, &out));
    EXPECT_EQ(ComputedCount(next), 0u);
    EXPECT_EQ(testsupport::FileSize(out.GetChildsFilename()) / RecordSize(2, 2, 1), records);
}

TEST_F(LocalEVAUTest, StoppingRuleWithOneProcessorStopsExactly) {
    Counting& c = Counting::Get();
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 1);
    POPULATION pop = Numbered(50);
    testing::internal::CaptureStdout();
    TerminationCriteriaNEvals rule(10);
    EXPECT_TRUE(unit->Compute(pop, &rule, {}, {}, nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(unit->GetObjEvals(), 10u);
    EXPECT_EQ(c.started(), 10);
    for (unsigned i = 0; i < 50; ++i)
        EXPECT_EQ(pop[i].IsComputed(), i < 10) << i;
}

TEST_F(LocalEVAUTest, OneProcessorAppendsTheChildrenInIndexOrderWithAHeaderPerBatch) {
    TempDir dir;
    WriteData out = ChildrenOutput(dir, true);
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 1);
    POPULATION first = Numbered(6);
    first[2].SetEval({-5.0, -6.0}, {0.0}); // computed: appended, not evaluated
    POPULATION second = Numbered(3);
    for (unsigned i = 0; i < 3; ++i)
        second[i].SetDv(0, 100.0 + i);
    Compute(*unit, first, nullptr, &out);
    Compute(*unit, second, nullptr, &out);
    EXPECT_EQ(unit->GetObjEvals(), 8u);
    EXPECT_EQ(out.GetChildsFilename(), dir.file("childs.out"));

    const std::vector<std::string> lines = ReadLines(dir.file("childs.out"));
    ASSERT_EQ(lines.size(), 6u + 1u + 3u + 1u);
    std::ostringstream header;
    PIOU::out_individual_header(header, first, 20);
    EXPECT_EQ(lines[6] + "\n", header.str());
    EXPECT_EQ(lines[10] + "\n", header.str());
    for (unsigned i = 0; i < 6; ++i) {
        std::ostringstream record;
        PIOU::out_individual_ascii(record, first[i], 20);
        EXPECT_EQ(lines[i] + "\n", record.str()) << i;
    }
    for (unsigned i = 0; i < 3; ++i) {
        std::ostringstream record;
        PIOU::out_individual_ascii(record, second[i], 20);
        EXPECT_EQ(lines[7 + i] + "\n", record.str()) << i;
    }
}

TEST_F(LocalEVAUTest, ComputedIndividualsAreAppendedButNotEvaluated) {
    Counting& c = Counting::Get();
    TempDir dir;
    WriteData out = ChildrenOutput(dir, false);
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 2);
    POPULATION pop = Numbered(12);
    for (unsigned i = 0; i < 12; ++i)
        pop[i].SetEval({double(i), 0.0}, {1.0});
    Compute(*unit, pop, nullptr, &out);
    EXPECT_EQ(unit->GetObjEvals(), 0u);
    EXPECT_EQ(c.started(), 0);
    // Binary: records only, no header line.
    EXPECT_EQ(testsupport::FileSize(dir.file("childs.bin")), 12 * RecordSize(2, 2, 1));
}

TEST_F(LocalEVAUTest, ChildrenFileReadsBackAsTheEvaluatedPopulation) {
    TempDir dir;
    WriteData out = ChildrenOutput(dir, false);
    POPULATION header_only("children", 2, 2, 1, 0, false);
    header_only.WriteFileBin(out.GetChildsFilename()); // the optimiser writes the header
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 3);
    POPULATION pop = Numbered(60);
    Compute(*unit, pop, nullptr, &out);
    testing::internal::CaptureStdout();
    POPULATION back = PIOU::read_population_b(out.GetChildsFilename());
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(back.GetPopsize(), 60u);
    std::set<double> ids;
    for (unsigned i = 0; i < 60; ++i) {
        const double id = back[i].GetDvs(0);
        ids.insert(id);
        EXPECT_EQ(back[i].GetObj(0), id);
        EXPECT_EQ(back[i].GetObj(1), 1000.0 + id + 0.5);
    }
    EXPECT_EQ(ids.size(), 60u); // every child exactly once, whatever the order
}

TEST_F(LocalEVAUTest, RecordAndEvaluationConvergenceFile) {
    TempDir dir;
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 1);
    unit->InitConvergenceWriteManager(dir.file("convergence_eva.out"), 2, "Evaluation");
    std::vector<INDIVIDUAL> record(2, INDIVIDUAL(2, 2, 1, nullptr));
    POPULATION pop = Numbered(6);
    // Objective 0 improves at every evaluation (10, 9, ... 5), objective 1 is
    // 1000 + x0 + 0.5 and improves too.
    for (unsigned i = 0; i < 6; ++i)
        pop[i].SetDv(0, 10.0 - i);
    pop.SetBestfitsPtrToInds(&record);
    Compute(*unit, pop);
    EXPECT_EQ(record[0].GetObj(0), 5.0);
    EXPECT_EQ(record[1].GetObj(1), 1005.5);
    unit.reset(); // closes the convergence file
    const std::vector<std::string> lines = ReadLines(dir.file("convergence_eva.out"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].substr(0, 12), "# Evaluation");
    for (unsigned k = 1; k <= 6; ++k) {
        std::ostringstream expected;
        PIOU::out_convergence(expected, std::vector<double>{11.0 - k, 1000.0 + 11.0 - k + 0.5}, k);
        EXPECT_EQ(lines[k] + "\n", expected.str()) << k;
    }
}

TEST_F(LocalEVAUTest, GamePlayerMapping) {
    // The analyser sees 5 variables: the player owns global variables 0, 2
    // and 4 and takes the elite values of the others; of the analyser's 3
    // objectives the player keeps global objectives 0 and 2.
    Counting& c = Counting::Get();
    testing::internal::CaptureStdout();
    LocalEVAU unit(3, 2, 1, 1,
                   json{{"AnalyzerType", 0}, {"CommandFile", Plugin("vesk_test_counting")}});
    unit.SetNdvs(5);
    unit.SetNobj(3);
    unit.Init(2);
    unit.SetDVsIds({0, -1, 1, -1, 2});
    unit.SetOBjIds({0, -1, 1});
    testing::internal::GetCapturedStdout();

    POPULATION pop("player", 3, 2, 1, 1, true);
    pop[0].SetDvs({1.0, 2.0, 3.0});
    const std::vector<double> elite = {10.0, 20.0, 30.0, 40.0, 50.0};
    Compute(unit, pop, nullptr, nullptr, elite);
    EXPECT_EQ(c.Design(0), (std::vector<double>{1.0, 20.0, 2.0, 40.0, 3.0}));
    // Full objectives: (1, 1000 + 1 + 20, 2000 + 1); kept: the first and third.
    EXPECT_EQ(pop[0].GetObj(), (std::vector<double>{1.0, 2001.0}));
    EXPECT_TRUE(pop[0].IsComputed());

    // A design that already has the full length is passed unchanged, even
    // with a map.
    POPULATION full("full", 5, 3, 1, 1, true);
    full[0].SetDvs({7.0, 8.0, 9.0, 10.0, 11.0});
    Compute(unit, full, nullptr, nullptr, elite);
    EXPECT_EQ(c.Design(1), (std::vector<double>{7.0, 8.0, 9.0, 10.0, 11.0}));
    EXPECT_EQ(full[0].GetObj(), (std::vector<double>{7.0, 1015.0, 2007.0}));

    // ComputeInd maps the same way.
    INDIVIDUAL ind(3, 2, 1, nullptr);
    ind.SetDvs({4.0, 5.0, 6.0});
    testing::internal::CaptureStdout();
    unit.ComputeInd(ind, nullptr, {}, elite, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(c.Design(2), (std::vector<double>{4.0, 20.0, 5.0, 40.0, 6.0}));
    EXPECT_EQ(ind.GetObj(), (std::vector<double>{4.0, 2004.0}));
}

TEST_F(LocalEVAUTest, ObjectivesTheAnalyserLeavesAloneReadTheLargestDouble) {
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 2);
    POPULATION pop = Numbered(4);
    pop[1].SetDv(0, -1.0); // a failed analysis: objectives untouched
    Compute(*unit, pop);
    EXPECT_EQ(pop[1].GetObj(), (std::vector<double>{kMax, kMax}));
    EXPECT_TRUE(pop[1].IsComputed());
    EXPECT_EQ(pop[1].GetCtr(0), 1.0 + 1e-6);
    EXPECT_EQ(pop[2].GetObj(0), 2.0);
}

TEST_F(LocalEVAUTest, ComputeIndEvaluatesOnTheCallingThreadAndWritesAHeader) {
    TempDir dir;
    WriteData out = ChildrenOutput(dir, true);
    auto unit = MakeUnit(Plugin("vesk_test_counting"), 2, 2, 1, 2);
    std::vector<INDIVIDUAL> record(2, INDIVIDUAL(2, 2, 1, nullptr));
    INDIVIDUAL ind(2, 2, 1, &record);
    ind.SetDvs({3.0, 0.5});
    TerminationCriteriaNEvals rule(1);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(unit->ComputeInd(ind, &rule, {}, {}, &out));
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_NE(text.find("Termination criteria has been met\n"), std::string::npos) << text;
    EXPECT_TRUE(ind.IsComputed());
    EXPECT_EQ(ind.GetObj(0), 3.0);
    EXPECT_EQ(record[0].GetObj(0), 3.0); // through the individual's own link
    EXPECT_EQ(unit->GetObjEvals(), 1u);

    // It does not look at the flag before evaluating.
    INDIVIDUAL again(2, 2, 1, &record);
    again.SetDvs({4.0, 0.5});
    testing::internal::CaptureStdout();
    EXPECT_TRUE(unit->ComputeInd(again, &rule, {}, {}, &out));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(again.IsComputed());
    EXPECT_EQ(unit->GetObjEvals(), 2u);

    const std::vector<std::string> lines = ReadLines(dir.file("childs.out"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].substr(0, 8), "# obj[0]");
    EXPECT_EQ(lines[3].substr(0, 8), "# obj[0]");
    EXPECT_EQ(lines[2].substr(0, 16), "4.0000000000e+00");
}

TEST_F(LocalEVAUTest, SlowAnalyserGivesTheSameResultsOnOneAndTwoProcessors) {
    // A few milliseconds of processor time per design.
    std::vector<POPULATION> results;
    for (unsigned ncpu : {1u, 2u}) {
        auto unit = MakeUnit(Plugin("vesk_test_slow"), 4, 2, 1, ncpu);
        POPULATION pop("p", 4, 2, 1, 16, true);
        for (unsigned i = 0; i < 16; ++i)
            pop[i].SetDvs({i / 15.0, 0.1, 0.2, 0.3});
        EXPECT_FALSE(Compute(*unit, pop));
        EXPECT_EQ(unit->GetObjEvals(), 16u);
        results.push_back(pop);
    }
    for (unsigned i = 0; i < 16; ++i) {
        const double x0 = i / 15.0;
        const double g = 1.0 + 9.0 * 0.6 / 3.0;
        EXPECT_DOUBLE_EQ(results[0][i].GetObj(0), x0);
        EXPECT_DOUBLE_EQ(results[0][i].GetObj(1), g * (1.0 - std::sqrt(x0 / g)));
        EXPECT_EQ(results[1][i].GetObj(), results[0][i].GetObj());
        EXPECT_EQ(results[1][i].GetCtr(), results[0][i].GetCtr());
    }
}

TEST_F(LocalEVAUTest, MissingPluginStopsWithTheLoaderError) {
    TempDir dir;
    const std::string path = dir.file("no_such_plugin.so");
    testing::internal::CaptureStdout();
    LocalEVAU unit(2, 2, 0, 1, json{{"AnalyzerType", 0}, {"CommandFile", path}});
    testing::internal::GetCapturedStdout();
    const std::string out = FatalOutput([&] { unit.Init(1); });
    const std::vector<std::string> lines = testsupport::SplitLines(out);
    ASSERT_GE(lines.size(), 5u) << out;
    const size_t n = lines.size();
    EXPECT_EQ(lines[n - 5], "Loading Dynamic Library");
    EXPECT_EQ(lines[n - 4].rfind("dlopen failure: ", 0), 0u) << out;
    EXPECT_NE(lines[n - 4].find("no_such_plugin.so"), std::string::npos) << out; // dlerror text
    EXPECT_EQ(lines[n - 3], "");
    EXPECT_EQ(lines[n - 2], "Could not load the shared object " + path);
    EXPECT_EQ(lines[n - 1], "Program stopped!");
}

TEST_F(LocalEVAUTest, PluginWithoutFactoryStopsWithTheLoaderError) {
    const std::string path = Plugin("vesk_test_nofactory");
    const std::string out = FatalOutput([&] { LocalEVAU::LoadDynamicLibrary(path, 2, 2, 0); });
    ASSERT_NE(out.find("dlsym failure: "), std::string::npos) << out;
    const std::string line = out.substr(out.find("dlsym failure: "));
    // The loader's own error text names the symbol.
    EXPECT_NE(line.find("CreateADLL"), std::string::npos) << out;
    EXPECT_NE(out.find(path), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 17), "Program stopped!\n") << out;
}

TEST_F(LocalEVAUTest, AnalyserThatResizesItsResultsIsRefused) {
    auto unit = MakeUnit(Plugin("vesk_test_badsize"), 2, 2, 1, 1);
    INDIVIDUAL ind(2, 2, 1, nullptr);
    ind.SetDvs({1.0, 2.0});
    const std::string out = FatalOutput([&] { unit->ComputeInd(ind, nullptr, {}, {}, nullptr); });
    EXPECT_NE(out.find("3 objectives"), std::string::npos) << out;
    EXPECT_NE(out.find("2 and 1"), std::string::npos) << out;
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;
    EXPECT_FALSE(ind.IsComputed());
}

TEST_F(LocalEVAUTest, AnalyserThatResizesItsResultsStopsTheBatchAfterTheParallelLoop) {
    // The contract breach is found in an evaluation thread but reported once
    // the threads are done, so it is an ordinary fatal error of the caller.
    auto unit = MakeUnit(Plugin("vesk_test_badsize"), 2, 2, 1, 2);
    POPULATION pop("p", 2, 2, 1, 6, true);
    for (unsigned i = 0; i < 6; ++i)
        pop[i].SetDvs({1.0 + i, 2.0});
    const std::string out = FatalOutput([&] { unit->Compute(pop, nullptr, {}, {}, nullptr); });
    EXPECT_NE(out.find("3 objectives"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 17), "Program stopped!\n") << out;
    EXPECT_EQ(unit->GetObjEvals(), 0u);
}

// The fatal paths inside the parallel loop and the loader end the process
// with status 1 (the console output is moved to standard error for the
// death-test matcher).
TEST(LocalEVAUDeathTest, FatalErrorsEndWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            LocalEVAU unit(2, 2, 0, 1,
                           json{{"AnalyzerType", 0}, {"CommandFile", "/nonexistent/x.so"}});
            unit.Init(1);
        },
        ::testing::ExitedWithCode(1),
        "dlopen failure: [^\n]*\n\nCould not load the shared object /nonexistent/x.so\n"
        "Program stopped!");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            LocalEVAU::LoadDynamicLibrary(Plugin("vesk_test_nofactory"), 1, 1, 0);
        },
        ::testing::ExitedWithCode(1), "dlsym failure: [^\n]*CreateADLL");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            LocalEVAU unit(2, 2, 1, 2,
                           json{{"AnalyzerType", 0}, {"CommandFile", Plugin("vesk_test_badsize")}});
            unit.Init(1);
            POPULATION pop = Numbered(4);
            unit.Compute(pop, nullptr, {}, {}, nullptr);
        },
        ::testing::ExitedWithCode(1), "Program stopped!");
}

} // namespace
