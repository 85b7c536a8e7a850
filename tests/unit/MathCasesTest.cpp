// Tests of the test-problem plug-in, always through the built shared object:
// it is loaded with dlopen and driven through its exported factory, exactly
// as the program does. Expected values are worked out here from the problem
// definitions at points that are easy to check by hand, or are published
// reference values of the benchmarks.

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "eval/ADLL.h"
#include "plugins/MathCases/MathCases.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ScopedCwd;
using testsupport::TempDir;
using testsupport::WriteFile;

const double kPi = std::acos(-1.0);
const double kMax = std::numeric_limits<double>::max();

// The factory of the real plug-in; the library stays loaded, as in the program.
CreateADLLFunction Factory() {
    static const CreateADLLFunction factory = [] {
        void* handle = dlopen(testsupport::MathcasesPath().c_str(), RTLD_LAZY);
        if (handle == nullptr)
            throw std::runtime_error(std::string("cannot load mathcases: ") + dlerror());
        void* symbol = dlsym(handle, "CreateADLL");
        if (symbol == nullptr)
            throw std::runtime_error("mathcases does not export CreateADLL");
        return reinterpret_cast<CreateADLLFunction>(symbol);
    }();
    return factory;
}

// Creates an analyser and initialises it in a folder whose "prob.dat" holds
// probText; the console output of both steps goes to *output when given.
std::unique_ptr<ADLL> Load(const std::string& probText, int ndvs, int nobj, int nctr,
                           std::string* output = nullptr) {
    TempDir dir;
    WriteFile(dir.file("prob.dat"), probText);
    ScopedCwd cwd(dir.path());
    testing::internal::CaptureStdout();
    std::unique_ptr<ADLL> adll(Factory()(ndvs, nobj, nctr));
    adll->Init();
    const std::string text = testing::internal::GetCapturedStdout();
    if (output != nullptr)
        *output = text;
    return adll;
}

struct Values {
    std::vector<double> obj;
    std::vector<double> ctr;
};

// Evaluates like the host: objectives preset to the largest double,
// constraints to zero, sizes from the analyser's counts.
Values Eval(ADLL& adll, const std::vector<double>& x) {
    Values v{std::vector<double>(adll.GetNobj(), kMax), std::vector<double>(adll.GetNctr(), 0.0)};
    adll.EvalIndividual(x, v.obj, v.ctr);
    EXPECT_EQ(v.obj.size(), static_cast<size_t>(adll.GetNobj()));
    EXPECT_EQ(v.ctr.size(), static_cast<size_t>(adll.GetNctr()));
    return v;
}

// One evaluation to check: problem, point, expected objectives and
// constraints (the point's length is the configured variable count).
struct Point {
    std::string problem;
    std::vector<double> x;
    std::vector<double> obj;
    std::vector<double> ctr;
    double tol = 1e-12;
};

std::vector<double> Repeat(double value, size_t count) {
    return std::vector<double>(count, value);
}

std::vector<double> Join(std::vector<double> head, const std::vector<double>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Death-test helpers. The plug-in prints to standard output while death tests
// match standard error, so the child sends its standard output there.
void RedirectStdoutToStderr() {
    std::cout.flush();
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

// Initialises an analyser in the working folder (standard output to standard error).
void InitHere(int ndvs, int nobj, int nctr) {
    RedirectStdoutToStderr();
    Factory()(ndvs, nobj, nctr)->Init();
}

std::string EscapeRegex(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (std::string(".[]()*+?{}|^$\\").find(ch) != std::string::npos)
            out += '\\';
        out += ch;
    }
    return out;
}

// A regular expression matching output that ends with exactly these lines.
std::string EndsWithLines(const std::vector<std::string>& lines) {
    std::string re = "(^|\n)";
    for (const auto& line : lines)
        re += EscapeRegex(line) + "\n";
    return re + "$";
}

// The name-taking entry points are reached through the virtual table, as a
// host that loads the plug-in at run time must. The test does not link the
// plug-in, so it lacks the class's type information, which the sanitizer's
// dynamic-type check would need at these calls.
__attribute__((no_sanitize("vptr"))) void SetProblemOf(ADLL* adll, const std::string& name) {
    static_cast<MyADLL*>(adll)->SetProblem(name);
}

__attribute__((no_sanitize("vptr"))) void InitWithName(ADLL* adll, const std::string& name) {
    static_cast<MyADLL*>(adll)->Init(name);
}

// A row named after its problem and its place in the table, for tables that
// name a problem more than once.
struct ProblemAndIndex {
    template <typename Row> std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return std::string(info.param.problem) + "_" + std::to_string(info.index);
    }
};

// ---------------------------------------------------------------------------

TEST(MathCases, FactoryAndInitPrintTheirMessagesAndKeepTheCounts) {
    std::string output;
    auto adll = Load("ZDT1 and the rest of the file is ignored\nctp1\n", 30, 2, 0, &output);
    EXPECT_EQ(output, "Creating new MyADLL\n"
                      "INICIALITZANT a MyADLL ...\n"
                      "Problema = ZDT1\n"
                      "...\n"
                      "MyADLL iniciat!\n");
    EXPECT_EQ(adll->GetNdvs(), 30);
    EXPECT_EQ(adll->GetNobj(), 2);
    EXPECT_EQ(adll->GetNctr(), 0);

    // The name is the first word, wherever it starts.
    Load("\n   \t bnh   extra\n", 2, 2, 2, &output);
    EXPECT_NE(output.find("Problema = bnh\n"), std::string::npos);
}

// Every table of points below is an instantiation of this test.
class MathCasesPoint : public testing::TestWithParam<Point> {};

TEST_P(MathCasesPoint, EvaluatesToTheKnownValues) {
    const Point& p = GetParam();
    auto adll = Load(p.problem, static_cast<int>(p.x.size()), static_cast<int>(p.obj.size()),
                     static_cast<int>(p.ctr.size()));
    const Values v = Eval(*adll, p.x);
    for (size_t i = 0; i < p.obj.size(); ++i)
        EXPECT_NEAR(v.obj[i], p.obj[i], p.tol) << "objective " << i;
    for (size_t i = 0; i < p.ctr.size(); ++i)
        EXPECT_NEAR(v.ctr[i], p.ctr[i], p.tol) << "constraint " << i;
}

const double kE = std::exp(1.0);
const Point kSingleObjectiveLandscapes[] = {
    // Published optima and reference values.
    {"ACKLEY", {0.0, 0.0, 0.0}, {0.0}, {}},
    {"LEVY", {1.0, 1.0, 1.0}, {0.0}, {}},
    {"MICHALEWICZ", {2.20290552, kPi / 2}, {-1.8013}, {}, 1e-4},
    {"HOLDERTABLE", {8.05502, 9.66459}, {-19.2085}, {}, 1e-4},
    {"holdertable", {-8.05502, -9.66459}, {-19.2085}, {}, 1e-4},
    {"EGG", {512.0, 404.2319}, {-959.6407}, {}, 1e-4},
    {"SIXHUMP", {0.0898, -0.7126}, {-1.0316}, {}, 1e-4},
    {"sixhump", {-0.0898, 0.7126}, {-1.0316}, {}, 1e-4},
    // Hand-computed points.
    {"ackley", {1.0}, {20.0 - 20.0 * std::exp(-0.2)}, {}},
    {"ACKLEY", {0.5, 0.5}, {-20.0 * std::exp(-0.1) - std::exp(-1.0) + 20.0 + kE}, {}},
    {"levy", {5.0}, {1.0}, {}},
    // w = (2, 1): the middle term is 1·(1 + 10 sin²(2π + 1)).
    {"LEVY", {5.0, 1.0}, {1.0 + 10.0 * std::pow(std::sin(1.0), 2)}, {}},
    // sin(x)·sin(i·x²/π)^20 with x = π/2: (√2/2)^20 for i = 1, 1 for i = 2.
    {"michalewick", {kPi / 2}, {-1.0 / 1024.0}, {}},
    {"MICHALEWICZ", {kPi / 2, kPi / 2}, {-(1.0 / 1024.0 + 1.0)}, {}},
    {"HOLDERTABLE", {kPi / 2, 0.0}, {-std::exp(0.5)}, {}},
    {"egg", {0.0, -46.0}, {-std::sin(1.0)}, {}},
    // x2 + 47 = 1: −sin √|2 + 1| − 4 sin √|4 − 1|.
    {"EGG", {4.0, -46.0}, {-5.0 * std::sin(std::sqrt(3.0))}, {}},
    {"SIXHUMP", {1.0, 1.0}, {4.0 - 2.1 + 1.0 / 3.0 + 1.0}, {}},
    {"SIXHUMP", {0.0, 1.0}, {0.0}, {}},
};
INSTANTIATE_TEST_SUITE_P(SingleObjectiveLandscapes, MathCasesPoint,
                         testing::ValuesIn(kSingleObjectiveLandscapes), ProblemAndIndex());

const double kPi2 = kPi * kPi;
const Point kWeightedSumFunctionsOfAnySize[] = {
    {"dejong", {1.0, 2.0, 3.0}, {14.0}, {}},
    {"DEJONG", {-2.0}, {4.0}, {}},
    // The first variable has weight 0.
    {"wsm", {1.0, 2.0, 3.0}, {0.0 * 1 + 1.0 * 4 + 2.0 * 9}, {}},
    {"WSM", {5.0}, {0.0}, {}},
    // Integers: every cosine is 1, so 10n cancels; 0.5: every cosine is −1.
    {"rastringin", {1.0, 2.0, 3.0}, {22.0}, {}},
    {"RASTRINGIN", {0.5, 0.5, 0.5}, {30.0 + (0.0 + 10) + (0.25 + 10) + (0.5 + 10)}, {}},
    {"rastringin", {0.0}, {0.0}, {}},
    // Partial sums 0, x1², x1² + x2²: the last variable does not enter.
    {"rhef", {1.0, 2.0, 3.0}, {0.0 + 1.0 + 5.0}, {}},
    {"RHEF", {7.0}, {0.0}, {}},
    {"rosenbrock", {1.0, 1.0, 1.0}, {0.0}, {}},
    {"ROSENBROCK", {1.0, 2.0, 3.0}, {100.0 + (100.0 + 1.0)}, {}},
    {"rosenbrock", {0.0, 0.0}, {1.0}, {}},
    // √|−π²/4| = π/2: no absolute value on the factor, no sign change.
    {"schwefel", {-kPi2 / 4, 4.0}, {-kPi2 / 4 + 4.0 * std::sin(2.0)}, {}},
    {"SCHWEFEL", {kPi2}, {0.0}, {}},
    {"griewangk", {0.0, 0.0, 0.0}, {0.0}, {}},
    {"GRIEWANGK", {kPi, 0.0}, {kPi2 / 4000.0 + 2.0}, {}},
    // The second variable is divided by √2 inside its cosine.
    {"griewangk", {0.0, std::sqrt(2.0) * kPi}, {2.0 * kPi2 / 4000.0 + 2.0}, {}},
    {"power", {1.0, 2.0, 3.0}, {1.0 + 8.0 + 81.0}, {}},
    {"POWER", {-2.0, -2.0}, {4.0 - 8.0}, {}},
    {"x2", {1.0, 2.0, 3.0}, {0.25 + 2.25 + 6.25}, {}},
    {"X2", {0.5, 0.5}, {0.0}, {}},
};
INSTANTIATE_TEST_SUITE_P(WeightedSumFunctionsOfAnySize, MathCasesPoint,
                         testing::ValuesIn(kWeightedSumFunctionsOfAnySize), ProblemAndIndex());

const double kPoloniB1 =
    0.5 * std::sin(1.0) - 2.0 * std::cos(1.0) + std::sin(2.0) - 1.5 * std::cos(2.0); // B1 at (1, 2)
const double kPoloniB2 =
    1.5 * std::sin(1.0) - std::cos(1.0) + 2.0 * std::sin(2.0) - 0.5 * std::cos(2.0); // B2 at (1, 2)
const double kKurExp = -10.0 * (std::exp(-0.2) + 1.0);
const double kKurPow = 1.0 - 5.0 * std::sin(1.0);
const Point kUnconstrainedMultiObjectiveProblems[] = {
    {"SCH1", {2.0}, {4.0, 0.0}, {}},
    {"sch1", {-1.0}, {1.0, 9.0}, {}},
    // The three pieces of the first objective meet at 1 and 3.
    {"SCH2", {1.0}, {-1.0, 16.0}, {}},
    {"sch2", {3.0}, {1.0, 4.0}, {}},
    {"SCH2", {3.5}, {0.5, 2.25}, {}},
    {"SCH2", {0.0}, {0.0, 25.0}, {}},
    {"SCH2", {2.0}, {0.0, 9.0}, {}},
    {"SCH2", {5.0}, {-1.0, 0.0}, {}},
    {"FON", {1.0 / std::sqrt(2.0), 1.0 / std::sqrt(2.0)}, {0.0, 1.0 - std::exp(-4.0)}, {}},
    {"fon", {0.0, 0.0, 0.0}, {1.0 - std::exp(-1.0), 1.0 - std::exp(-1.0)}, {}},
    {"FON", {1.0}, {0.0, 1.0 - std::exp(-4.0)}, {}},
    // Kursawe: the inverted variant swaps the two objectives.
    {"KUR", {0.0, 0.0, 0.0}, {-20.0, 0.0}, {}},
    {"KUR_INV", {0.0, 0.0, 0.0}, {0.0, -20.0}, {}},
    {"kur", {-1.0, 0.0, 0.0}, {kKurExp, kKurPow}, {}},
    {"kur_inv", {-1.0, 0.0, 0.0}, {kKurPow, kKurExp}, {}},
    {"KUR",
     {0.0, 2.0, 0.0},
     {-20.0 * std::exp(-0.4), std::pow(2.0, 0.8) + 5.0 * std::sin(8.0)},
     {}},
    // Poloni's A1 and A2 are B1 and B2 at (1, 2).
    {"POL", {1.0, 2.0}, {1.0, 25.0}, {}},
    {"pol",
     {0.0, 0.0},
     {1.0 + std::pow(kPoloniB1 + 3.5, 2) + std::pow(kPoloniB2 + 1.5, 2), 10.0},
     {}},
    {"VNT", {0.0, 0.0}, {0.0, 17.0 + 1.0 / 27.0, -0.1}, {}},
    {"vnt",
     {1.0, 2.0},
     {2.5 + std::sin(5.0), 9.0 / 8.0 + 15.0, 1.0 / 6.0 - 1.1 * std::exp(-5.0)},
     {}},
};
INSTANTIATE_TEST_SUITE_P(UnconstrainedMultiObjectiveProblems, MathCasesPoint,
                         testing::ValuesIn(kUnconstrainedMultiObjectiveProblems),
                         ProblemAndIndex());

const double kZdt4G = 91.0 + 9.0 * (0.0625 + 10.0); // x = 0.25: cos(π) = −1
const double kZdt6F1 = 1.0 - std::exp(-0.5);        // x1 = 1/8: sin(4π/8) = 1
const Point kZitzlerDebThieleProblems[] = {
    // Published: x1 = 0.25 and the rest 0 lie on the front, f2 = 0.5.
    {"ZDT1", Join({0.25}, Repeat(0.0, 29)), {0.25, 0.5}, {}},
    // The rest at 1/9 sum to 29/9, so g = 2.
    {"zdt1", Join({0.5}, Repeat(1.0 / 9.0, 29)), {0.5, 1.0}, {}},
    {"ZDT1", Join({0.25}, Repeat(1.0, 29)), {0.25, 10.0 * (1.0 - std::sqrt(0.025))}, {}},
    {"ZDT2", Join({0.5}, Repeat(0.0, 29)), {0.5, 0.75}, {}},
    {"zdt2", Join({1.0}, Repeat(1.0 / 9.0, 29)), {1.0, 1.5}, {}},
    // sin(10π·0.25) = sin(10π·0.05) = 1.
    {"ZDT3", Join({0.25}, Repeat(0.0, 29)), {0.25, 0.25}, {}},
    {"zdt3", Join({0.05}, Repeat(0.0, 29)), {0.05, 1.0 - std::sqrt(0.05) - 0.05}, {}},
    // With the rest 0, g = 91 − 9·10 = 1.
    {"ZDT4", Join({0.25}, Repeat(0.0, 9)), {0.25, 0.5}, {}},
    {"zdt4", Join({0.25}, Repeat(0.25, 9)), {0.25, kZdt4G - 0.5 * std::sqrt(kZdt4G)}, {}},
    // 4π, so x1 = 1/8 reaches the sine's peak.
    {"ZDT6", Join({0.125}, Repeat(0.0, 9)), {kZdt6F1, 1.0 - kZdt6F1* kZdt6F1}, {}},
    {"zdt6", Join({0.0}, Repeat(1.0, 9)), {1.0, 9.9}, {}},
    // (9/16 / 9)^0.25 = 1/2, so g = 5.5.
    {"ZDT6",
     Join({0.125}, Repeat(1.0 / 16.0, 9)),
     {kZdt6F1, 5.5 * (1.0 - std::pow(kZdt6F1 / 5.5, 2))},
     {}},
};
INSTANTIATE_TEST_SUITE_P(ZitzlerDebThieleProblems, MathCasesPoint,
                         testing::ValuesIn(kZitzlerDebThieleProblems), ProblemAndIndex());

const double kCtp1F2 = 2.0 * std::exp(-0.5);
const Point kConstrainedProblems[] = {
    {"BNH", {3.0, 1.0}, {40.0, 20.0}, {1.0 - 5.0 / 25.0, 41.0 / 7.7 - 1.0}},
    {"bnh", {5.0, 5.0}, {200.0, 0.0}, {0.0, 73.0 / 7.7 - 1.0}},
    {"OSY", {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}, {-45.0, 91.0}, {1.0, 0.5, 1.0, 7.0, 0.0, 6.0}},
    {"osy",
     {0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
     {-(100.0 + 4.0 + 1.0 + 16.0 + 1.0), 0.0},
     {-2.0, 1.0, 2.0, 2.0, -5.0, 5.0}},
    {"SRN", {1.0, 2.0}, {4.0, 8.0}, {1.0 - 5.0 / 225.0, -0.5}},
    {"srn", {0.0, 0.0}, {7.0, -1.0}, {1.0, -1.0}},
    // x2 = 0 avoids atan(x1/0): c1 = x1² − 1.1.
    {"TNK", {1.0, 0.0}, {1.0, 0.0}, {-0.1, 0.0}},
    // atan(1) = π/4, cos(4π) = 1.
    {"tnk", {1.0, 1.0}, {1.0, 1.0}, {0.9, 0.0}},
    {"TNK", {0.5, 0.5}, {0.5, 0.5}, {-0.6, 0.5}},
    {"CTP1", {0.0, 0.0}, {0.0, 1.0}, {1.0 / 0.858 - 1.0, 1.0 / 0.728 - 1.0}},
    {"ctp1",
     {1.0, 1.0},
     {1.0, kCtp1F2},
     {kCtp1F2 / (0.858 * std::exp(-0.541)) - 1.0, kCtp1F2 / (0.728 * std::exp(-0.295)) - 1.0}},
};
INSTANTIATE_TEST_SUITE_P(ConstrainedProblems, MathCasesPoint,
                         testing::ValuesIn(kConstrainedProblems), ProblemAndIndex());

const Point kLiZhangF1UsesTheSquaredIndexNormaliser[] = {
    // n = 3: exponents p2 = 0.5, p3 = 2; on the Pareto set both sums vanish.
    {"LZ09_F1", {0.25, 0.5, 0.0625}, {0.25, 0.5}, {}},
    // d2 = 0.5, d3 = 0.9375; normalisers 2/√9 and 2/√4.
    {"lz09_f1", {0.25, 1.0, 1.0}, {0.25 + 2.0 / 3.0 * 0.87890625, 0.5 + 0.25}, {}},
    // n = 4: p3 = 1.25.
    {"LZ09_F1", {0.25, 0.5, std::pow(0.25, 1.25), 0.0625}, {0.25, 0.5}, {}},
    {"LZ09_F1",
     {0.25, 0.5, std::pow(0.25, 1.25) + 0.3, 0.0625},
     {0.25 + 2.0 / 3.0 * 0.09, 0.5},
     {}},
    // x1 = 1: every dj = xj − 1; the even sum is normalised by 2/√(4 + 16).
    {"LZ09_F1", {1.0, 2.0, 3.0, 4.0}, {1.0 + 2.0 / 3.0 * 4.0, 2.0 / std::sqrt(20.0) * 10.0}, {}},
    // n = 5: the odd sum runs over 3 and 5, normalised by 2/√(9 + 25).
    {"lz09_f1", {1.0, 1.0, 1.0, 1.0, 3.0}, {1.0 + 2.0 / std::sqrt(34.0) * 4.0, 0.0}, {}},
};
INSTANTIATE_TEST_SUITE_P(LiZhangF1UsesTheSquaredIndexNormaliser, MathCasesPoint,
                         testing::ValuesIn(kLiZhangF1UsesTheSquaredIndexNormaliser),
                         ProblemAndIndex());

const Point kDtlz7HasOneObjectiveMoreThanItsPositionVariables[] = {
    // g = 1, h = M.
    {"dtlz7", Repeat(0.0, 21), {0.0, 4.0}, {}},
    {"DTLZ7", Repeat(0.0, 22), {0.0, 0.0, 6.0}, {}},
    // Tail at 1: g = 10. sin(1.5π) = −1 and sin(3π) = 0, so h = 3 − 1/11.
    {"DTLZ7", Join({0.5, 1.0}, Repeat(1.0, 20)), {0.5, 1.0, 11.0 * 3.0 - 1.0}, {}},
    {"dtlz7", Join({0.5}, Repeat(1.0, 20)), {0.5, 22.0}, {}},
};
INSTANTIATE_TEST_SUITE_P(Dtlz7HasOneObjectiveMoreThanItsPositionVariables, MathCasesPoint,
                         testing::ValuesIn(kDtlz7HasOneObjectiveMoreThanItsPositionVariables),
                         ProblemAndIndex());

// A constraint of the CTP family in its published form, angle θ in radians:
// cos θ·(f2 − e) − sin θ·f1 ≥ a·|sin(bπ·(sin θ·(f2 − e) + cos θ·f1)^c)|^d,
// normalised as left side over right side minus 1.
struct CtpConstraint {
    double theta, e, a, b, c, d;
};

double CtpReference(const CtpConstraint& k, double f1, double f2) {
    const double lhs = std::cos(k.theta) * (f2 - k.e) - std::sin(k.theta) * f1;
    const double inner = std::sin(k.theta) * (f2 - k.e) + std::cos(k.theta) * f1;
    return lhs / (k.a * std::pow(std::fabs(std::sin(k.b * kPi * std::pow(inner, k.c))), k.d)) - 1.0;
}

struct CtpProblem {
    const char* name;
    std::vector<CtpConstraint> constraints;
};

const CtpProblem kCtpFamily[] = {
    {"CTP2", {{-0.2 * kPi, 1.0, 0.2, 10.0, 1.0, 6.0}}},
    {"ctp3", {{-0.2 * kPi, 1.0, 0.1, 10.0, 1.0, 0.5}}},
    {"CTP4", {{-0.2 * kPi, 1.0, 0.75, 10.0, 1.0, 0.5}}},
    {"ctp5", {{-0.2 * kPi, 1.0, 0.1, 10.0, 2.0, 0.5}}},
    {"CTP6", {{0.1 * kPi, -2.0, 40.0, 0.5, 1.0, 2.0}}},
    {"ctp7", {{-0.05 * kPi, 0.0, 40.0, 5.0, 1.0, 6.0}}},
    // CTP6's constraint, then CTP7's with the sine at 2π instead of 5π.
    {"CTP8", {{0.1 * kPi, -2.0, 40.0, 0.5, 1.0, 2.0}, {-0.05 * kPi, 0.0, 40.0, 2.0, 1.0, 6.0}}},
};

class MathCasesCtp : public testing::TestWithParam<CtpProblem> {};

TEST_P(MathCasesCtp, FollowsItsParameterTable) {
    const CtpProblem& p = GetParam();
    const int nctr = static_cast<int>(p.constraints.size());
    const std::vector<std::vector<double>> points = {
        {0.25, 0.0}, {0.5, 0.3}, {0.1, 1.0}, {0.9, 0.05}, {0.0, 0.7}};
    for (const auto& x : points) {
        SCOPED_TRACE("at (" + std::to_string(x[0]) + ", " + std::to_string(x[1]) + ")");
        auto adll = Load(p.name, 2, 2, nctr);
        const Values v = Eval(*adll, x);
        const double g = 1.0 + x[1];
        // CTP3 has the linear front, the others the square-root one.
        const double f2 = std::string(p.name) == "ctp3" ? g - x[0] : g - std::sqrt(x[0] * g);
        EXPECT_DOUBLE_EQ(v.obj[0], x[0]);
        EXPECT_NEAR(v.obj[1], f2, 1e-12);
        for (int k = 0; k < nctr; ++k) {
            const double expected = CtpReference(p.constraints[k], x[0], f2);
            EXPECT_NEAR(v.ctr[k], expected, 1e-9 * std::max(1.0, std::fabs(expected)))
                << "constraint " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CtpFamily, MathCasesCtp, testing::ValuesIn(kCtpFamily),
                         testsupport::RowName());

// Every problem, under both its spellings, with the sizes it requires.
enum Kind {
    kFixedSize,           // evaluated with ndvs design variables
    kAnySize,             // takes any number n of design variables; evaluated with ndvs
    kDesignOfExperiments, // a fixed size, and no formula: the presets stay
};

struct Problem {
    const char* name;
    const char* other;
    int ndvs, nobj, nctr;
    Kind kind;
};

const Problem kProblems[] = {
    {"MICHALEWICZ", "michalewick", 4, 1, 0, kAnySize},
    {"LEVY", "levy", 4, 1, 0, kAnySize},
    {"ACKLEY", "ackley", 4, 1, 0, kAnySize},
    {"HOLDERTABLE", "holdertable", 2, 1, 0, kFixedSize},
    {"EGG", "egg", 2, 1, 0, kFixedSize},
    {"SIXHUMP", "sixhump", 2, 1, 0, kFixedSize},
    {"SCH1", "sch1", 1, 2, 0, kFixedSize},
    {"SCH2", "sch2", 1, 2, 0, kFixedSize},
    {"FON", "fon", 4, 2, 0, kAnySize},
    {"FON_8DOE4", "fon_8doe4", 4, 2, 0, kDesignOfExperiments},
    {"KUR_INV", "kur_inv", 3, 2, 0, kFixedSize},
    {"KUR", "kur", 3, 2, 0, kFixedSize},
    {"POL", "pol", 2, 2, 0, kFixedSize},
    {"VNT", "vnt", 2, 3, 0, kFixedSize},
    {"ZDT1", "zdt1", 30, 2, 0, kFixedSize},
    {"ZDT2", "zdt2", 30, 2, 0, kFixedSize},
    {"ZDT3", "zdt3", 30, 2, 0, kFixedSize},
    {"ZDT4", "zdt4", 10, 2, 0, kFixedSize},
    {"ZDT6", "zdt6", 10, 2, 0, kFixedSize},
    {"BNH", "bnh", 2, 2, 2, kFixedSize},
    {"OSY", "osy", 6, 2, 6, kFixedSize},
    {"OSY_DOE_V1", "osy_doe_v1", 3, 2, 6, kDesignOfExperiments},
    {"OSY_DOE_V2", "osy_doe_v2", 3, 2, 6, kDesignOfExperiments},
    {"SRN", "srn", 2, 2, 2, kFixedSize},
    {"TNK", "tnk", 2, 2, 2, kFixedSize},
    {"CTP1", "ctp1", 2, 2, 2, kFixedSize},
    {"CTP2", "ctp2", 2, 2, 1, kFixedSize},
    {"CTP3", "ctp3", 2, 2, 1, kFixedSize},
    {"CTP4", "ctp4", 2, 2, 1, kFixedSize},
    {"CTP5", "ctp5", 2, 2, 1, kFixedSize},
    {"CTP6", "ctp6", 2, 2, 1, kFixedSize},
    {"CTP7", "ctp7", 2, 2, 1, kFixedSize},
    {"CTP8", "ctp8", 2, 2, 2, kFixedSize},
    {"LZ09_F1", "lz09_f1", 5, 2, 0, kAnySize},
    {"LZ09_F1_6DOE3", "lz09_f1_6doe3", 3, 2, 0, kDesignOfExperiments},
    {"LZ09_F1_8DOE4", "lz09_f1_8doe4", 4, 2, 0, kDesignOfExperiments},
    {"DEJONG", "dejong", 4, 1, 0, kAnySize},
    {"WSM", "wsm", 4, 1, 0, kAnySize},
    {"RASTRINGIN", "rastringin", 4, 1, 0, kAnySize},
    {"RHEF", "rhef", 4, 1, 0, kAnySize},
    {"ROSENBROCK", "rosenbrock", 4, 1, 0, kAnySize},
    {"SCHWEFEL", "schwefel", 4, 1, 0, kAnySize},
    {"GRIEWANGK", "griewangk", 4, 1, 0, kAnySize},
    {"POWER", "power", 4, 1, 0, kAnySize},
    // n - 19 objectives: the size checks for other n are a test of their own.
    {"DTLZ7", "dtlz7", 22, 3, 0, kFixedSize},
    {"X2", "x2", 4, 1, 0, kAnySize},
};

// The problems with a formula (designs of experiments: without).
std::vector<Problem> WithFormula(bool formula) {
    std::vector<Problem> out;
    for (const Problem& p : kProblems)
        if ((p.kind != kDesignOfExperiments) == formula)
            out.push_back(p);
    return out;
}

class MathCasesProblem : public testing::TestWithParam<Problem> {};

TEST_P(MathCasesProblem, BothSpellingsSelectTheSameProblem) {
    const Problem& p = GetParam();
    std::vector<double> x;
    for (int i = 0; i < p.ndvs; ++i)
        x.push_back(0.1 + 0.8 * ((i * 7) % 11) / 11.0);
    auto upper = Load(p.name, p.ndvs, p.nobj, p.nctr);
    auto lower = Load(p.other, p.ndvs, p.nobj, p.nctr);
    const Values a = Eval(*upper, x);
    const Values b = Eval(*lower, x);
    EXPECT_EQ(a.obj, b.obj);
    EXPECT_EQ(a.ctr, b.ctr);
    for (double f : a.obj) // every objective is written
        EXPECT_NE(f, kMax);
}

INSTANTIATE_TEST_SUITE_P(WithFormula, MathCasesProblem, testing::ValuesIn(WithFormula(true)),
                         testsupport::RowName());

class MathCasesDesignOfExperiments : public testing::TestWithParam<Problem> {};

TEST_P(MathCasesDesignOfExperiments, LeavesThePresetValues) {
    const Problem& d = GetParam();
    for (const char* name : {d.name, d.other}) {
        SCOPED_TRACE(name);
        auto adll = Load(name, d.ndvs, d.nobj, d.nctr);
        const Values v = Eval(*adll, Repeat(0.5, d.ndvs));
        EXPECT_EQ(v.obj, Repeat(kMax, d.nobj));
        EXPECT_EQ(v.ctr, Repeat(0.0, d.nctr));
    }
}

INSTANTIATE_TEST_SUITE_P(Problems, MathCasesDesignOfExperiments,
                         testing::ValuesIn(WithFormula(false)), testsupport::RowName());

// SetProblem prints the sizes it looked up once the configured ones match;
// these are what it prints for each, and what it should.
std::string Required(const std::string& name, int ndvs, int nobj, int nctr) {
    testing::internal::CaptureStdout();
    std::unique_ptr<ADLL> adll(Factory()(ndvs, nobj, nctr));
    SetProblemOf(adll.get(), name);
    return testing::internal::GetCapturedStdout();
}

std::string Printed(const std::string& name, int ndvs, int nobj, int nctr) {
    return "Creating new MyADLL\nndvs = " + std::to_string(ndvs) +
           "\nnobj = " + std::to_string(nobj) + "\nnctr = " + std::to_string(nctr) +
           "\nProblema = " + name + "\n";
}

// Run in an empty folder: the names come from the caller, not from prob.dat.
using MathCasesSizes = testsupport::InTempFolderWithParam<Problem>;

TEST_P(MathCasesSizes, EveryAcceptedNameRequiresTheDocumentedSizes) {
    const Problem& p = GetParam();
    const std::vector<int> sizes =
        p.kind == kAnySize ? std::vector<int>{3, 7} : std::vector<int>{p.ndvs};
    for (const char* name : {p.name, p.other}) {
        for (int ndvs : sizes) {
            SCOPED_TRACE(std::string(name) + " with n = " + std::to_string(ndvs));
            EXPECT_EQ(Required(name, ndvs, p.nobj, p.nctr), Printed(name, ndvs, p.nobj, p.nctr));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Problems, MathCasesSizes, testing::ValuesIn(kProblems),
                         testsupport::RowName());

using MathCasesInEmptyFolder = testsupport::InTempFolder;

TEST_F(MathCasesInEmptyFolder, Dtlz7RequiresNMinus19Objectives) {
    for (const char* name : {"dtlz7", "DTLZ7"})
        for (int n : {21, 25})
            EXPECT_EQ(Required(name, n, n - 19, 0), Printed(name, n, n - 19, 0)) << name;
}

TEST(MathCases, CopyWarnsAndIsIndependentOfTheOriginal) {
    auto original = Load("ZDT1", 30, 2, 0);
    testing::internal::CaptureStdout();
    std::unique_ptr<ADLL> copy(original->Copy());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: MyADLL default copy function called!\n");
    ASSERT_NE(copy.get(), original.get());
    original.reset();
    EXPECT_EQ(copy->GetNdvs(), 30);
    EXPECT_EQ(copy->GetNobj(), 2);
    EXPECT_EQ(copy->GetNctr(), 0);
    const Values v = Eval(*copy, Join({0.25}, Repeat(0.0, 29)));
    EXPECT_DOUBLE_EQ(v.obj[0], 0.25);
    EXPECT_DOUBLE_EQ(v.obj[1], 0.5);
}

TEST_F(MathCasesInEmptyFolder, NameTakingEntryPointsForOtherHosts) {
    // No "prob.dat": the name comes from the caller.
    testing::internal::CaptureStdout();
    std::unique_ptr<ADLL> adll(Factory()(2, 2, 2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Creating new MyADLL\n");

    testing::internal::CaptureStdout();
    SetProblemOf(adll.get(), "BNH");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ndvs = 2\nnobj = 2\nnctr = 2\nProblema = BNH\n");
    EXPECT_DOUBLE_EQ(Eval(*adll, {3.0, 1.0}).obj[0], 40.0);

    testing::internal::CaptureStdout();
    InitWithName(adll.get(), "tnk");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "INICIALITZANT a MyADLL ...\nProblema = tnk\n...\nMyADLL iniciat!\n");
    EXPECT_NEAR(Eval(*adll, {1.0, 0.0}).ctr[0], -0.1, 1e-12);
}
TEST(MathCases, InstancesEvaluateConcurrentlyWithoutInterference) {
    auto zdt = Load("ZDT3", 30, 2, 0);
    auto kur = Load("KUR", 3, 2, 0);
    auto expect = [](ADLL& adll, int ndvs, int rounds) {
        std::vector<Values> values;
        for (int r = 0; r < rounds; ++r)
            values.push_back(Eval(adll, Repeat(0.01 * r, ndvs)));
        return values;
    };
    const int rounds = 200;
    const auto zdtExpected = expect(*zdt, 30, rounds);
    const auto kurExpected = expect(*kur, 3, rounds);
    int zdtMismatches = 0, kurMismatches = 0;
    auto worker = [&](ADLL* adll, int ndvs, const std::vector<Values>* expected, int* mismatches) {
        for (int pass = 0; pass < 20; ++pass)
            for (int r = 0; r < rounds; ++r) {
                std::vector<double> obj(2, kMax), ctr;
                adll->EvalIndividual(Repeat(0.01 * r, ndvs), obj, ctr);
                if (obj != (*expected)[r].obj)
                    ++*mismatches;
            }
    };
    std::thread a(worker, zdt.get(), 30, &zdtExpected, &zdtMismatches);
    std::thread b(worker, kur.get(), 3, &kurExpected, &kurMismatches);
    a.join();
    b.join();
    EXPECT_EQ(zdtMismatches, 0);
    EXPECT_EQ(kurMismatches, 0);
}

// A size that does not match the problem's: the line naming the configured
// count, then what it should be.
struct Mismatch {
    const char* problem;
    int ndvs, nobj, nctr;
    const char* count;
    const char* should;
};

// Death tests run in a fresh folder, whose prob.dat the test writes.
using MathCasesMismatchDeathTest = testsupport::InTempFolderWithParam<Mismatch>;

TEST_P(MathCasesMismatchDeathTest, StopsWithThreeLines) {
    const Mismatch& c = GetParam();
    WriteFile("prob.dat", std::string(c.problem) + "\n");
    EXPECT_EXIT(
        InitHere(c.ndvs, c.nobj, c.nctr), ::testing::ExitedWithCode(1),
        EndsWithLines({std::string("Problema = ") + c.problem, c.count,
                       std::string("Incorrect number of ") + c.should, "Program stopped!"}));
}

const Mismatch kMismatches[] = {
    {"ZDT1", 29, 2, 0, "GetNdvs() = 29", "design variables, should be NDVS = 30"},
    // Design variables are checked first.
    {"ZDT1", 29, 3, 1, "GetNdvs() = 29", "design variables, should be NDVS = 30"},
    {"SCH1", 2, 2, 0, "GetNdvs() = 2", "design variables, should be NDVS = 1"},
    {"zdt1", 30, 3, 0, "GetNobj() = 3", "objective functions, should be NOBJ = 2"},
    {"VNT", 2, 2, 0, "GetNobj() = 2", "objective functions, should be NOBJ = 3"},
    // 22 variables on DTLZ7 need 3 objectives.
    {"dtlz7", 22, 2, 0, "GetNobj() = 2", "objective functions, should be NOBJ = 3"},
    {"BNH", 2, 2, 1, "XXXXXXXXXXXXXXXXXXXXXXXXXXX GetNctr() = 1",
     "constraints, should be NCTR = 2"},
    {"ctp2", 2, 2, 2, "XXXXXXXXXXXXXXXXXXXXXXXXXXX GetNctr() = 2",
     "constraints, should be NCTR = 1"},
    {"OSY_DOE_V1", 3, 2, 0, "XXXXXXXXXXXXXXXXXXXXXXXXXXX GetNctr() = 0",
     "constraints, should be NCTR = 6"},
};
INSTANTIATE_TEST_SUITE_P(Sizes, MathCasesMismatchDeathTest, testing::ValuesIn(kMismatches),
                         ProblemAndIndex());

// Fewer design variables than the problem's formula needs.
struct TooSmall {
    const char* problem;
    int ndvs, nobj;
    int minimum;
};

using MathCasesTooSmallDeathTest = testsupport::InTempFolderWithParam<TooSmall>;

TEST_P(MathCasesTooSmallDeathTest, IsRefused) {
    const TooSmall& c = GetParam();
    WriteFile("prob.dat", std::string(c.problem) + "\n");
    EXPECT_EXIT(InitHere(c.ndvs, c.nobj, 0), ::testing::ExitedWithCode(1),
                EndsWithLines({std::string("Problema = ") + c.problem,
                               "GetNdvs() = " + std::to_string(c.ndvs),
                               "Incorrect number of design variables, should be at least NDVS = " +
                                   std::to_string(c.minimum),
                               "Program stopped!"}));
}

const TooSmall kTooSmall[] = {
    {"ACKLEY", 0, 1, 1},  {"levy", 0, 1, 1},    {"FON", 0, 2, 1},     {"dejong", 0, 1, 1},
    {"LZ09_F1", 2, 2, 3}, {"lz09_f1", 1, 2, 3}, {"dtlz7", 20, 1, 21}, {"DTLZ7", 5, 2, 21},
};
INSTANTIATE_TEST_SUITE_P(Sizes, MathCasesTooSmallDeathTest, testing::ValuesIn(kTooSmall),
                         ProblemAndIndex());

// A prob.dat whose first word names no problem.
struct UnknownName {
    const char* name;
    const char* file;
    const char* read; // the name read from it
};

using MathCasesUnknownDeathTest = testsupport::InTempFolderWithParam<UnknownName>;

TEST_P(MathCasesUnknownDeathTest, Stops) {
    const UnknownName& c = GetParam();
    WriteFile("prob.dat", c.file);
    EXPECT_EXIT(InitHere(30, 2, 0), ::testing::ExitedWithCode(1),
                EndsWithLines({"INICIALITZANT a MyADLL ...", "Problema no conegut.", c.read,
                               "Programa aturat!"}));
}

const UnknownName kUnknownNames[] = {
    // Names are matched exactly, case included.
    {"zdt5", "zdt5\n", "zdt5"},
    {"Zdt1", "Zdt1\n", "Zdt1"},
    {"MICHALEWICK", "MICHALEWICK\n", "MICHALEWICK"},
    {"ctp9", "ctp9\n", "ctp9"},
    // An empty file gives an empty name, which is unknown.
    {"EmptyFile", "", ""},
};
INSTANTIATE_TEST_SUITE_P(Names, MathCasesUnknownDeathTest, testing::ValuesIn(kUnknownNames),
                         testsupport::RowName());

using MathCasesDeathTest = testsupport::InTempFolder;

TEST_F(MathCasesDeathTest, AMissingProblemFileStops) {
    // A missing file is an error, reported with a failure status.
    EXPECT_EXIT(InitHere(30, 2, 0), ::testing::ExitedWithCode(1),
                EndsWithLines({"INICIALITZANT a MyADLL ...", "Error: prob.dat not found"}));
}

TEST_F(MathCasesDeathTest, TheNameTakingEntryPointChecksTheSizesToo) {
    EXPECT_EXIT(
        {
            RedirectStdoutToStderr();
            SetProblemOf(Factory()(2, 2, 2), "ZDT1");
        },
        ::testing::ExitedWithCode(1),
        EndsWithLines({"GetNdvs() = 2", "Incorrect number of design variables, should be NDVS = 30",
                       "Program stopped!"}));
}

} // namespace
