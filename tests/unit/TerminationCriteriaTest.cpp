// Tests of the four stopping rules, their clones and the factory.

#include <gtest/gtest.h>

#include <ctime>
#include <iostream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/INDIVIDUAL.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteria.h"
#include "optim/TerminationCriteriaEvalsConvergence.h"
#include "optim/TerminationCriteriaFactory.h"
#include "optim/TerminationCriteriaMinValue.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "optim/TerminationCriteriaTimeLimit.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

using nlohmann::json;

// Runs f and returns what it printed.
template <typename F> std::string Output(F&& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// A record whose entry i has objective i equal to best[i].
std::vector<INDIVIDUAL> Record(const std::vector<double>& best) {
    const int n = static_cast<int>(best.size());
    std::vector<INDIVIDUAL> record(best.size(), INDIVIDUAL(1, n, 0, nullptr));
    for (size_t i = 0; i < best.size(); ++i) {
        std::vector<double> obj(best.size(), 100.0);
        obj[i] = best[i];
        record[i].SetEval(obj, {});
    }
    return record;
}

// The rules print numbers in the stream's current format; other tests may
// have left standard output in scientific notation.
void DefaultCoutFormat() {
    std::cout.unsetf(std::ios::floatfield);
    std::cout.precision(6);
}

TEST(TerminationCriteria, EvaluationBudget) {
    std::unique_ptr<TerminationCriteriaNEvals> rule;
    EXPECT_EQ(Output([&] { rule.reset(new TerminationCriteriaNEvals(100)); }),
              "TerminationCriteriaNEvals(unsigned int max_obj_evals) called!\n");
    const std::vector<INDIVIDUAL> none;
    EXPECT_EQ(Output([&] { EXPECT_FALSE(rule->CheckTerminationCriteria(99, none)); }), "");
    EXPECT_EQ(Output([&] { EXPECT_TRUE(rule->CheckTerminationCriteria(100, none)); }),
              "\nobjective evaluations = 100\n");
    // The rule keeps no state: it answers again.
    testing::internal::CaptureStdout();
    EXPECT_TRUE(rule->CheckTerminationCriteria(250, none));
    EXPECT_FALSE(rule->CheckTerminationCriteria(0, none));
    testing::internal::GetCapturedStdout();

    std::unique_ptr<TerminationCriteria> copy;
    EXPECT_EQ(Output([&] { copy = rule->clone(); }),
              "TerminationCriteriaNEvals::clone() called!\n");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(copy->CheckTerminationCriteria(99, none));
    EXPECT_TRUE(copy->CheckTerminationCriteria(100, none));
    testing::internal::GetCapturedStdout();
}

TEST(TerminationCriteria, TimeLimitCountsWholeSecondsFromConstruction) {
    DefaultCoutFormat();
    const std::vector<INDIVIDUAL> none;
    TerminationCriteriaTimeLimit rule(10);
    EXPECT_EQ(rule.GetSeconds(), 10.0);
    EXPECT_FALSE(rule.CheckTerminationCriteria(0, none)); // just constructed
    rule.SetStartTime(std::time(nullptr) - 5);
    EXPECT_FALSE(rule.CheckTerminationCriteria(0, none));
    rule.SetStartTime(std::time(nullptr) - 36);
    const std::string out = Output([&] { EXPECT_TRUE(rule.CheckTerminationCriteria(0, none)); });
    // 36 s (or 37 when the clock ticks meanwhile) in hours.
    EXPECT_EQ(out.rfind("\nTime = 0.01", 0), 0u) << out;
    EXPECT_EQ(out.substr(out.size() - 2), "h\n") << out;

    // A clone keeps the start time of the rule it copies.
    std::unique_ptr<TerminationCriteria> copy;
    EXPECT_EQ(Output([&] { copy = rule.clone(); }),
              "TerminationCriteriaTimeLimit::clone() called!\n");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(copy->CheckTerminationCriteria(0, none));
    testing::internal::GetCapturedStdout();
    rule.SetStartTime(std::time(nullptr) - 3);
    std::unique_ptr<TerminationCriteria> young(rule.clone());
    EXPECT_FALSE(young->CheckTerminationCriteria(0, none));
}

TEST(TerminationCriteria, MinValueNeedsEveryTargetReached) {
    DefaultCoutFormat();
    TerminationCriteriaMinValue rule({0.5, 1.0});
    auto met = Record({0.5, 1.0});
    const std::string out = Output([&] { EXPECT_TRUE(rule.CheckTerminationCriteria(7, met)); });
    EXPECT_EQ(out, "bestfits = 0.5   1   \n");
    EXPECT_FALSE(rule.CheckTerminationCriteria(7, Record({0.5, 1.0000001})));
    EXPECT_FALSE(rule.CheckTerminationCriteria(7, Record({0.6, 0.0})));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(rule.CheckTerminationCriteria(7, Record({-3.0, -1e300})));
    testing::internal::GetCapturedStdout();
    // A NaN best value does not count as reached.
    EXPECT_FALSE(
        rule.CheckTerminationCriteria(7, Record({std::numeric_limits<double>::quiet_NaN(), 0.0})));
    // The objective read is objective i of entry i, not objective 0.
    std::vector<INDIVIDUAL> crossed = Record({0.5, 1.0});
    crossed[1].SetObj({0.0, 5.0});
    EXPECT_FALSE(rule.CheckTerminationCriteria(7, crossed));

    TerminationCriteriaMinValue none({});
    EXPECT_FALSE(none.CheckTerminationCriteria(7, Record({0.0})));

    std::unique_ptr<TerminationCriteria> copy;
    EXPECT_EQ(Output([&] { copy = rule.clone(); }),
              "TerminationCriteriaMinValue::clone() called!\n");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(copy->CheckTerminationCriteria(0, met));
    testing::internal::GetCapturedStdout();
}

TEST(TerminationCriteria, MinValueWithAShortRecordIsNotMet) {
    TerminationCriteriaMinValue rule({0.5, 1.0});
    EXPECT_FALSE(rule.CheckTerminationCriteria(1, Record({0.0})));
    EXPECT_FALSE(rule.CheckTerminationCriteria(1, {}));
}

TEST(TerminationCriteria, StallCountStartsAfterTheWarmUp) {
    TerminationCriteriaEvalsConvergence rule({3});
    const auto record = Record({2.0});
    // Checks at 1, 2, 3 are warm-up.
    for (unsigned e = 1; e <= 3; ++e) {
        EXPECT_FALSE(rule.CheckTerminationCriteria(e, record)) << e;
        EXPECT_EQ(rule.GetStallCounters(), std::vector<unsigned>{0}) << e;
    }
    EXPECT_FALSE(rule.CheckTerminationCriteria(4, record));
    EXPECT_EQ(rule.GetStallCounters(), std::vector<unsigned>{1});
    EXPECT_FALSE(rule.CheckTerminationCriteria(5, record));
    EXPECT_EQ(rule.GetStallCounters(), std::vector<unsigned>{2});
    const std::string out = Output([&] { EXPECT_TRUE(rule.CheckTerminationCriteria(6, record)); });
    EXPECT_EQ(out, "conv_evals_elapsed = 3   \n");
}

TEST(TerminationCriteria, AnyChangeOfTheBestValueResetsTheStallCounter) {
    TerminationCriteriaEvalsConvergence rule({3});
    EXPECT_FALSE(rule.CheckTerminationCriteria(1, Record({2.0})));
    EXPECT_FALSE(rule.CheckTerminationCriteria(4, Record({2.0})));
    EXPECT_FALSE(rule.CheckTerminationCriteria(5, Record({2.0})));
    EXPECT_EQ(rule.GetStallCounters(), std::vector<unsigned>{2});
    EXPECT_FALSE(rule.CheckTerminationCriteria(6, Record({1.9999999999999998})));
    EXPECT_EQ(rule.GetStallCounters(), std::vector<unsigned>{0});
    EXPECT_FALSE(rule.CheckTerminationCriteria(7, Record({1.9999999999999998})));
    EXPECT_FALSE(rule.CheckTerminationCriteria(8, Record({1.9999999999999998})));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(rule.CheckTerminationCriteria(9, Record({1.9999999999999998})));
    testing::internal::GetCapturedStdout();

    // A NaN best value never equals the reference.
    TerminationCriteriaEvalsConvergence nan_rule({1});
    const auto nan_record = Record({std::numeric_limits<double>::quiet_NaN()});
    for (unsigned e = 1; e < 10; ++e)
        EXPECT_FALSE(nan_rule.CheckTerminationCriteria(e, nan_record));
}

TEST(TerminationCriteria, StallCountNeedsEveryObjectiveStalled) {
    TerminationCriteriaEvalsConvergence rule({1, 4});
    std::vector<INDIVIDUAL> record = Record({1.0, 1.0});
    for (unsigned e = 1; e <= 4; ++e)
        EXPECT_FALSE(rule.CheckTerminationCriteria(e, record)); // warm-up to the largest
    EXPECT_EQ(rule.GetStallCounters(), (std::vector<unsigned>{0, 0}));
    for (unsigned e = 5; e <= 7; ++e)
        EXPECT_FALSE(rule.CheckTerminationCriteria(e, record)) << e;
    EXPECT_EQ(rule.GetStallCounters(), (std::vector<unsigned>{3, 3}));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(rule.CheckTerminationCriteria(8, record));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "conv_evals_elapsed = 4   4   \n");
}

TEST(TerminationCriteria, StallCountWithoutThresholdsIsMetAtOnce) {
    TerminationCriteriaEvalsConvergence rule(std::vector<unsigned>{});
    const std::string out =
        Output([&] { EXPECT_TRUE(rule.CheckTerminationCriteria(1, Record({1.0}))); });
    EXPECT_EQ(out, "conv_evals_elapsed = \n");
}

TEST(TerminationCriteria, StallCountCloneCopiesTheCounters) {
    TerminationCriteriaEvalsConvergence rule({2});
    const auto record = Record({5.0});
    rule.CheckTerminationCriteria(1, record);
    rule.CheckTerminationCriteria(3, record);
    ASSERT_EQ(rule.GetStallCounters(), std::vector<unsigned>{1});
    std::unique_ptr<TerminationCriteria> copy;
    EXPECT_EQ(Output([&] { copy = rule.clone(); }),
              "TerminationCriteriaEvalsConvergence::clone() called!\n");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(copy->CheckTerminationCriteria(4, record));
    testing::internal::GetCapturedStdout();
}

TEST(TerminationCriteria, FactoryFromValues) {
    std::unique_ptr<TerminationCriteria> rule;
    const std::string out = Output([&] {
        rule = TerminationCriteriaFactory::CreateTerminationCriteria(0, 42, 9.0, {1.0}, {2}, 2);
    });
    EXPECT_EQ(out, "TerminationCriteriaNEvals(unsigned int max_obj_evals) called!\n"
                   "TerminationCriteriaInterface::InitTerminationCriteria(...):\n"
                   "INITIATED!\n");
    auto* nevals = dynamic_cast<TerminationCriteriaNEvals*>(rule.get());
    ASSERT_NE(nevals, nullptr);
    EXPECT_EQ(nevals->GetMaxEvaluations(), 42u);

    testing::internal::CaptureStdout();
    rule = TerminationCriteriaFactory::CreateTerminationCriteria(1, 42, 7200.0, {}, {}, 2);
    auto* time = dynamic_cast<TerminationCriteriaTimeLimit*>(rule.get());
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->GetSeconds(), 7200.0);
    rule = TerminationCriteriaFactory::CreateTerminationCriteria(2, 42, 0, {0.5, 1.5}, {}, 2);
    auto* min = dynamic_cast<TerminationCriteriaMinValue*>(rule.get());
    ASSERT_NE(min, nullptr);
    EXPECT_EQ(min->GetTargets(), (std::vector<double>{0.5, 1.5}));
    rule = TerminationCriteriaFactory::CreateTerminationCriteria(3, 42, 0, {}, {7, 8}, 2);
    auto* conv = dynamic_cast<TerminationCriteriaEvalsConvergence*>(rule.get());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(conv->GetThresholds(), (std::vector<unsigned>{7, 8}));
}

TEST(TerminationCriteria, FactoryFromValuesRefusesAnUnknownCode) {
    const std::string out = FatalOutput(
        [] { TerminationCriteriaFactory::CreateTerminationCriteria(4, 1, 1, {}, {}, 1); });
    EXPECT_EQ(out, "TerminationCriteriaInterface::InitTerminationCriteria(...):\n"
                   "Termination criteria not recognized\n"
                   "Program stopped\n");
}

TEST(TerminationCriteria, FactoryFromJson) {
    testing::internal::CaptureStdout();
    std::unique_ptr<TerminationCriteria> time(TerminationCriteriaFactory::CreateTerminationCriteria(
        json{{"criteria", 1}, {"max_time", 7200}}));
    std::unique_ptr<TerminationCriteria> nevals(
        TerminationCriteriaFactory::CreateTerminationCriteria(
            json{{"criteria", 0}, {"max_obj_evals", 500}, {"ignored", "x"}}));
    std::unique_ptr<TerminationCriteria> min(TerminationCriteriaFactory::CreateTerminationCriteria(
        json{{"criteria", 2}, {"min_fi", {0.25, -1}}}));
    std::unique_ptr<TerminationCriteria> conv(TerminationCriteriaFactory::CreateTerminationCriteria(
        json{{"criteria", 3}, {"conv_evals", {10, 20, 30}}}));
    testing::internal::GetCapturedStdout();
    ASSERT_NE(dynamic_cast<TerminationCriteriaTimeLimit*>(time.get()), nullptr);
    EXPECT_EQ(dynamic_cast<TerminationCriteriaTimeLimit*>(time.get())->GetSeconds(), 7200.0);
    ASSERT_NE(dynamic_cast<TerminationCriteriaNEvals*>(nevals.get()), nullptr);
    EXPECT_EQ(dynamic_cast<TerminationCriteriaNEvals*>(nevals.get())->GetMaxEvaluations(), 500u);
    ASSERT_NE(dynamic_cast<TerminationCriteriaMinValue*>(min.get()), nullptr);
    EXPECT_EQ(dynamic_cast<TerminationCriteriaMinValue*>(min.get())->GetTargets(),
              (std::vector<double>{0.25, -1.0}));
    ASSERT_NE(dynamic_cast<TerminationCriteriaEvalsConvergence*>(conv.get()), nullptr);
    EXPECT_EQ(dynamic_cast<TerminationCriteriaEvalsConvergence*>(conv.get())->GetThresholds(),
              (std::vector<unsigned>{10, 20, 30}));
}

TEST(TerminationCriteria, FactoryFromJsonRefusesBadObjects) {
    EXPECT_EQ(FatalOutput([] {
                  TerminationCriteriaFactory::CreateTerminationCriteria(json{{"criteria", 9}});
              }),
              "Termination criteria at OptimizationAlgorithm::init_termination_criteria(...) not "
              "recognized\nProgram stopped\n");
    // Missing or mistyped keys stop the run with a message naming the key.
    std::string out = FatalOutput([] {
        TerminationCriteriaFactory::CreateTerminationCriteria(json{{"max_time", 5}});
    });
    EXPECT_NE(out.find("criteria"), std::string::npos) << out;
    out = FatalOutput([] {
        TerminationCriteriaFactory::CreateTerminationCriteria(json{{"criteria", 0}});
    });
    EXPECT_NE(out.find("max_obj_evals"), std::string::npos) << out;
    out = FatalOutput([] {
        TerminationCriteriaFactory::CreateTerminationCriteria(
            json{{"criteria", 0}, {"max_obj_evals", -5}});
    });
    EXPECT_NE(out.find("max_obj_evals"), std::string::npos) << out;
    out = FatalOutput([] {
        TerminationCriteriaFactory::CreateTerminationCriteria(
            json{{"criteria", 2}, {"min_fi", {1, "x"}}});
    });
    EXPECT_NE(out.find("min_fi"), std::string::npos) << out;
    out = FatalOutput([] {
        TerminationCriteriaFactory::CreateTerminationCriteria(json{{"criteria", "1"}});
    });
    EXPECT_NE(out.find("criteria"), std::string::npos) << out;
    out = FatalOutput([] {
        TerminationCriteriaFactory::CreateTerminationCriteria(json::array({1, 2}));
    });
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;
}

TEST(TerminationCriteria, FactoryDestructorMessage) {
    const std::string out = Output([] { TerminationCriteriaFactory factory; });
    EXPECT_EQ(out, "~TerminationCriteriaInterface() called\n");
}

} // namespace
