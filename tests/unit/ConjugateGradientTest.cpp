// The conjugate-gradient method in process: the difference gradient, the
// conjugate directions, both line searches and their bracketing, runs to the
// known minima of De Jong's sphere and Rosenbrock's valley through the real
// mathcases plug-in, objectives that are infinite or not a number, the
// configuration checks, the result file and the behaviour inside a game.

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>

#include "eval/EVAU.h"
#include "model/UTILS.h"
#include "optim/ConjugateGradient.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"
#include "support/OptimizerRun.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string ShiftedSquare() {
    return PluginsDir() + "/vesk_test_shifted_square.so";
}

struct CgConfig {
    std::string plugin = ShiftedSquare(); // objective 0: sum of (x - 3)^2
    unsigned ndvs = 1;
    unsigned nobj = 1;
    std::string initial = "0\n0"; // the mode line and the line after it
    int direction = 0;
    int step = 0;
    std::string epsilon = "1e-3";
    std::string first = "0.1";
    std::string tolerance = "1e-10";
    std::string warning = "1e6";
    double lower = -10.0;
    double upper = 10.0;
};

std::string Block(const CgConfig& c) {
    std::ostringstream os;
    os.precision(17);
    os << c.ndvs << "   ndvs\n"
       << c.nobj << "   nobj\n0   nctr\n1   NCPU\n0   analyser type\n"
       << c.plugin << "\n0   arguments\n0   essential files\n"
       << c.initial << "\n"
       << c.direction << "   direction\n"
       << c.step << "   line search\n"
       << c.epsilon << "   epsilon\n"
       << c.first << "   first step\n"
       << c.tolerance << "   tolerance\n"
       << c.warning << "   warning step\n";
    for (unsigned i = 0; i < c.ndvs; ++i)
        os << c.lower << ' ';
    os << "  lower bounds\n";
    for (unsigned i = 0; i < c.ndvs; ++i)
        os << c.upper << ' ';
    os << "  upper bounds\n";
    return os.str();
}

// A gradient optimiser built from its text block in a temporary folder that
// holds prob.dat (and, when given, the test plug-in's settings file).
std::vector<std::pair<std::string, std::string>> GradientFiles(const std::string& problem,
                                                               const std::string& settings) {
    std::vector<std::pair<std::string, std::string>> files{{"prob.dat", problem + "\n"}};
    if (!settings.empty())
        files.emplace_back("shifted_square.dat", settings + "\n");
    return files;
}

class GradientRun : public OptimizerRun<ConjugateGradient> {
public:
    GradientRun(const CgConfig& c, const std::string& problem = "dejong",
                const std::string& square_settings = "")
        : OptimizerRun(GradientFiles(problem, square_settings), Block(c)) {}
    void Iteration() { Step(); }
};

// The message printed when construction from c stops.
std::string ConstructionError(const CgConfig& c) {
    FatalThrows fatal;
    TempDir dir;
    ScopedCwd cwd(dir.path());
    std::istringstream in(Block(c));
    testing::internal::CaptureStdout();
    try {
        ConjugateGradient opt(in);
    } catch (const UTILS::FatalError& e) {
        testing::internal::GetCapturedStdout();
        return e.what();
    }
    testing::internal::GetCapturedStdout();
    return "";
}

// Runs the line search of the given code (0 golden section, 1 Brent's
// method) quietly, with the run's record.
double LineSearch(ConjugateGradient& cg, int code, double initial, double value,
                  std::vector<double> point, std::vector<double> direction, double warning,
                  double tolerance) {
    const auto search = code == 0 ? &ConjugateGradient::GetGoldenSectionOptimalStepSize
                                  : &ConjugateGradient::GetBrentMethodOptimalStepSize;
    testing::internal::CaptureStdout();
    const double step =
        (cg.*search)(initial, value, point, direction, warning, tolerance, *cg.GetBestfitsPtr());
    testing::internal::GetCapturedStdout();
    return step;
}

// A method's name and its code in the input block.
struct Choice {
    const char* name;
    int code;
};

const Choice kDirections[] = {{"PolakRibiere", 0}, {"FletcherReeves", 1}};
const Choice kSearches[] = {{"GoldenSection", 0}, {"BrentMethod", 1}};

class CgDirection : public testing::TestWithParam<Choice> {};
class CgSearch : public testing::TestWithParam<Choice> {};
INSTANTIATE_TEST_SUITE_P(Directions, CgDirection, testing::ValuesIn(kDirections), RowName());
INSTANTIATE_TEST_SUITE_P(Searches, CgSearch, testing::ValuesIn(kSearches), RowName());

} // namespace

TEST(ConjugateGradient, CentralDifferencesOfAQuadraticAreExactUpToRounding) {
    CgConfig c;
    GradientRun run(c); // (x - 3)^2 from x = 0, epsilon 1e-3
    run.Start();
    ASSERT_EQ(run.opt->GetGradient().size(), 1u);
    // (2.999^2 - 3.001^2) / 0.002 = -6; rounding of the two values (about
    // 1e-15 each) divided by 0.002 leaves errors near 1e-12.
    EXPECT_NEAR(run.opt->GetGradient()[0], -6.0, 1e-9);
    EXPECT_EQ(run.opt->GetCurrentValue(), 9.0);
    EXPECT_NEAR(run.opt->GetGradientNorm(), 6.0, 1e-9);
    EXPECT_EQ(run.opt->GetObjEvals(), 3u); // x, x + epsilon, x - epsilon

    c.ndvs = 2;
    c.initial = "0\n0 5";
    GradientRun two(c);
    two.Start();
    EXPECT_NEAR(two.opt->GetGradient()[0], -6.0, 1e-9);
    EXPECT_NEAR(two.opt->GetGradient()[1], 4.0, 1e-9);
    EXPECT_EQ(two.opt->GetObjEvals(), 5u);
    EXPECT_EQ(two.opt->GetChilds()->GetPopsize(), 5u);
    EXPECT_EQ(two.opt->GetChilds()->GetName(), "childs");
}

TEST(ConjugateGradient, AVariableOnABoundHasNoGradientComponent) {
    CgConfig c;
    c.ndvs = 2;
    c.initial = "0\n10 0"; // x1 on its upper bound, the slope points inward
    GradientRun run(c);
    run.Start();
    EXPECT_EQ(run.opt->GetGradient()[0], 0.0);
    EXPECT_NEAR(run.opt->GetGradient()[1], -6.0, 1e-9);
}

TEST(ConjugateGradient, BetaParametersAreLimitedToZeroToOne) {
    CgConfig c;
    GradientRun run(c);
    const ConjugateGradient& cg = *run.opt;
    // Polak-Ribiere: g.(g - gp) / gp.gp.
    EXPECT_DOUBLE_EQ(cg.GetPolakRibiereParameter({1, 1}, {1.5, 0}), 0.375);
    EXPECT_EQ(cg.GetPolakRibiereParameter({1, 1}, {0.5, 1}), 0.0); // negative
    EXPECT_EQ(cg.GetPolakRibiereParameter({1, 1}, {3, 0}), 1.0);   // 2.25 capped
    EXPECT_EQ(cg.GetPolakRibiereParameter({0, 0}, {3, 0}), 0.0);   // no denominator
    EXPECT_EQ(cg.GetPolakRibiereParameter({1, 1}, {NAN, 0}), 0.0); // not a number
    // Fletcher-Reeves: g.g / gp.gp.
    EXPECT_DOUBLE_EQ(cg.GetFletcherReevesParameter({1, 1}, {1, 0}), 0.5);
    EXPECT_EQ(cg.GetFletcherReevesParameter({1, 1}, {1.5, 0}), 1.0);
    EXPECT_EQ(cg.GetFletcherReevesParameter({0, 0}, {1, 0}), 0.0);
    // Direction = beta * previous direction - gradient.
    EXPECT_EQ(run.opt->GetPolakRibiereSearchDirection({1, 1}, {1.5, 0}, {2, -4}),
              (std::vector<double>{0.375 * 2 - 1.5, 0.375 * -4}));
    EXPECT_EQ(run.opt->getFletcherReevesSearchDirection({1, 1}, {1, 0}, {2, -4}),
              (std::vector<double>{0.0, -2.0}));
    EXPECT_DOUBLE_EQ(cg.GetGradientNorm({3, 4}), 5.0);
}

TEST_P(CgDirection, SecondDirectionIsConjugateToTheFirstAndEveryNthRestarts) {
    // rhef with three variables is 2 x1^2 + x2^2 (x3 does not enter): Hessian
    // diag(4, 2, 0). After an (almost) exact line search along -g, both
    // formulas give a direction conjugate to the first one, which is only
    // possible if they use the gradient of the previous iteration.
    CgConfig c;
    c.plugin = MathcasesPath();
    c.ndvs = 3;
    c.initial = "0\n3 -2 1";
    c.direction = GetParam().code;
    c.epsilon = "1e-6";
    c.tolerance = "1e-12";
    GradientRun run(c, "rhef");
    run.Start();
    const std::vector<double> g0 = run.opt->GetGradient();
    EXPECT_NEAR(g0[0], 12.0, 1e-6);
    EXPECT_NEAR(g0[1], -4.0, 1e-6);
    run.Iteration();
    // Iteration 1 always moves along -g.
    const std::vector<double> d1 = run.opt->GetSearchDirection();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(d1[i], -g0[i]);
    run.Iteration();
    ASSERT_FALSE(run.opt->IsDone());
    const std::vector<double> d2 = run.opt->GetSearchDirection();
    const double hd1[3] = {4 * d1[0], 2 * d1[1], 0.0};
    const double conj = d2[0] * hd1[0] + d2[1] * hd1[1] + d2[2] * hd1[2];
    const double scale = std::hypot(d2[0], d2[1]) * std::hypot(hd1[0], hd1[1]);
    EXPECT_LT(std::fabs(conj), 1e-6 * scale);
    // Steepest descent would not be conjugate here.
    const std::vector<double> g1 = run.opt->GetPreviousGradient();
    EXPECT_GT(std::fabs(-g1[0] * hd1[0] - g1[1] * hd1[1]), 1e-3 * scale);
    run.Iteration();
    if (!run.opt->IsDone()) {
        // Iteration 3 = n: steepest descent again.
        const std::vector<double> g2 = run.opt->GetPreviousGradient();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(run.opt->GetSearchDirection()[i], -g2[i]);
    }
}

TEST_P(CgSearch, BracketingDoublesUntilWorseOrGivesTheFirstStepAtTheWarningSize) {
    CgConfig c; // (x - 3)^2, f(0) = 9, moving along +1
    c.step = GetParam().code;
    c.first = "0.1";
    GradientRun run(c);
    run.Start();
    auto search_from = [&](double initial, double warning) {
        return LineSearch(*run.opt, GetParam().code, initial, 9.0, {0.0}, {1.0}, warning, 1e-10);
    };
    // 0.5 improves, 1 improves, 2 reaches the warning size 1.5: the first
    // step size comes back and 2 is never evaluated.
    unsigned before = run.opt->GetObjEvals();
    EXPECT_EQ(search_from(0.5, 1.5), 0.1);
    EXPECT_EQ(run.opt->GetObjEvals() - before, 2u);
    // 10 is already worse than 9: the bracket is [0, 10], and the search
    // narrows it to the minimum at 3.
    before = run.opt->GetObjEvals();
    EXPECT_NEAR(search_from(10.0, 1e6), 3.0, 1e-6);
    EXPECT_GT(run.opt->GetObjEvals() - before, 3u);
    // 0.5, 1, 2, 4 (worse): the minimum at 3 lies in [0, 4].
    EXPECT_NEAR(search_from(0.5, 1e6), 3.0, 1e-6);
    // Every trial point entered the record.
    EXPECT_NEAR(run.opt->GetBestfits(0).GetObj(0), 0.0, 1e-12);
}

TEST_P(CgSearch, NoBetterPointGivesStepZero) {
    CgConfig c;
    c.step = GetParam().code;
    c.first = "0.25";
    GradientRun run(c);
    run.Start();
    // From the minimum 3 (value 0) every step along +1 is worse.
    const double s = LineSearch(*run.opt, GetParam().code, 0.25, 0.0, {3.0}, {1.0}, 1e6, 1e-6);
    EXPECT_EQ(s, 0.0);
}

TEST(ConjugateGradient, NoBetterPointEndsTheRunOutsideAGameAndUsesTheFirstStepInOne) {
    CgConfig c;
    c.first = "0.25";
    c.initial = "0\n3"; // at the minimum: no step improves
    GradientRun alone(c);
    alone.Start();
    alone.Iteration();
    EXPECT_TRUE(alone.opt->IsDone());
    // (Numbers print in the format standard output was left in.)
    EXPECT_NE(alone.output.find("Iteration 1\nWarning!!: Optimal step size is zero.\n"
                                "Last evaluation: "),
              std::string::npos);
    EXPECT_NE(alone.output.find(";\nLast gradient norm: "), std::string::npos);
    EXPECT_NE(alone.output.find("Last argument : 3"), std::string::npos);

    GradientRun player(c);
    testing::internal::CaptureStdout();
    player.opt->SetActiveGame({0}, {0}, 1, 1);
    testing::internal::GetCapturedStdout();
    player.Start();
    player.Iteration();
    EXPECT_FALSE(player.opt->IsDone());
    EXPECT_EQ(player.opt->GetOptimalStepSize(), 0.25);
    EXPECT_EQ(player.output.find("Optimal step size is zero"), std::string::npos);
}

// A run through the mathcases plug-in to a known minimum: the value it must
// get below and how close to the minimiser each variable must come.
struct Minimum {
    const char* name;
    const char* problem;
    const char* start;
    const char* first_step;
    double lower, upper;
    unsigned budget;
    double value_below;
    std::vector<double> minimiser;
    double tolerance;
};

const Minimum kMinima[] = {
    // f = sum x_i^2 from (3, -2, 1, 4, -1): along -g = -2x the exact step is
    // 1/2. The line search pins the step to within its tolerance 1e-10, so
    // after the first iteration |x_i| <= 2 * 1e-10 * 4 and f <= 1e-18; later
    // iterations only improve. The bounds leave a margin of 10 over that.
    {"DeJongsSphere", "dejong", "3 -2 1 4 -1", "0.1", -10, 10, 5000, 1e-17, {0, 0, 0, 0, 0}, 1e-8},
    // f = 100 (x2 - x1^2)^2 + (1 - x1)^2 from (-1.2, 1). Near (1, 1),
    // f ~ d'Hd/2 with the Hessian's smaller eigenvalue about 0.4, so f < 1e-10
    // means |x - (1, 1)| < sqrt(2e-10 / 0.4) ~ 2.2e-5: the argument bound of
    // 1e-4 follows from the value bound with a margin.
    {"RosenbrocksValley", "rosenbrock", "-1.2 1", "0.01", -5, 5, 20000, 1e-10, {1, 1}, 1e-4},
};

using MinimumAndMethods = std::tuple<Minimum, Choice, Choice>; // direction, line search
class CgMinimum : public testing::TestWithParam<MinimumAndMethods> {};

TEST_P(CgMinimum, IsReachedByEveryDirectionAndLineSearch) {
    const Minimum& m = std::get<0>(GetParam());
    CgConfig c;
    c.plugin = MathcasesPath();
    c.ndvs = static_cast<unsigned>(m.minimiser.size());
    c.initial = std::string("0\n") + m.start;
    c.direction = std::get<1>(GetParam()).code;
    c.step = std::get<2>(GetParam()).code;
    c.epsilon = "1e-6";
    c.first = m.first_step;
    c.lower = m.lower;
    c.upper = m.upper;
    GradientRun run(c, m.problem);
    run.Run(m.budget);
    const INDIVIDUAL best = run.opt->GetBestfits(0);
    EXPECT_LT(best.GetObj(0), m.value_below);
    for (unsigned i = 0; i < c.ndvs; ++i)
        EXPECT_NEAR(best.GetDvs(i), m.minimiser[i], m.tolerance) << "x" << i;
    // The run ended because no step improved any more, not by budget.
    EXPECT_LT(run.opt->GetObjEvals(), m.budget);
    EXPECT_NE(run.output.find("Optimal step size is zero."), std::string::npos);
    EXPECT_NE(run.output.find("Minimum value : "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Problems, CgMinimum,
                         testing::Combine(testing::ValuesIn(kMinima),
                                          testing::ValuesIn(kDirections),
                                          testing::ValuesIn(kSearches)),
                         RowName());

// Past x = 1 the objective is NaN (or +infinity) while the minimum of the
// finite part lies at 3: the searches must end by themselves (the budget
// is far away), improve on the start (value 9) and never move the point
// to a non-finite place. An infinite value is simply worse than any other,
// so the searches then find the edge at 1 (value 4); NaN compares false
// with everything, and the golden section may end at a point before it.
struct NonFinite {
    const char* name;
    const char* settings; // of the test plug-in
    bool finds_the_edge;
};

const NonFinite kNonFinite[] = {
    {"NaNAboveOne", "nan_above 1", false},
    {"InfinityAboveOne", "inf_above 1", true},
};

using NonFiniteAndSearch = std::tuple<NonFinite, Choice>;
class CgNonFinite : public testing::TestWithParam<NonFiniteAndSearch> {};

TEST_P(CgNonFinite, ObjectivesNeverMakeTheSearchLoopForever) {
    const NonFinite& n = std::get<0>(GetParam());
    CgConfig c;
    c.step = std::get<1>(GetParam()).code;
    c.tolerance = "1e-12";
    GradientRun run(c, "unused", n.settings);
    run.Run(100000);
    EXPECT_TRUE(run.opt->IsDone());
    EXPECT_LT(run.opt->GetObjEvals(), 5000u);
    EXPECT_LT(run.opt->GetBestfits(0).GetObj(0), 5.0);
    EXPECT_GE(run.opt->GetBestfits(0).GetObj(0), 4.0);
    if (n.finds_the_edge) {
        EXPECT_NEAR(run.opt->GetBestfits(0).GetObj(0), 4.0, 1e-6);
    }
    EXPECT_TRUE(std::isfinite(run.opt->GetArgument()[0]));
    EXPECT_LE(run.opt->GetArgument()[0], 1.0);
}

INSTANTIATE_TEST_SUITE_P(Objectives, CgNonFinite,
                         testing::Combine(testing::ValuesIn(kNonFinite),
                                          testing::ValuesIn(kSearches)),
                         RowName());

TEST_P(CgSearch, AToleranceBelowTheResolutionOfDoublesStillEnds) {
    CgConfig c;
    c.step = GetParam().code;
    c.tolerance = "1e-300";
    GradientRun run(c);
    run.Run(100000);
    EXPECT_LT(run.opt->GetObjEvals(), 5000u);
    EXPECT_NEAR(run.opt->GetBestfits(0).GetDvs(0), 3.0, 1e-7);
}

TEST(ConjugateGradient, ANonFiniteGradientGivesNoDirectionToMoveAlong) {
    // NaN above x = 0: the design x + epsilon fails and gets the penalty, so
    // the central difference overflows to infinity.
    CgConfig c;
    GradientRun run(c, "unused", "nan_above 0");
    run.Start();
    EXPECT_TRUE(std::isinf(run.opt->GetGradient()[0]));
    EXPECT_EQ(run.opt->GetEVAU()->GetFailed(), 1u);
    run.Iteration();
    EXPECT_TRUE(run.opt->IsDone());
    EXPECT_NE(run.output.find("Search direction is not finite"), std::string::npos);
    EXPECT_EQ(run.opt->GetArgument()[0], 0.0);

    GradientRun player(c, "unused", "nan_above 0");
    testing::internal::CaptureStdout();
    player.opt->SetActiveGame({0}, {0}, 1, 1);
    testing::internal::GetCapturedStdout();
    player.Start();
    player.Iteration();
    player.Iteration();
    EXPECT_FALSE(player.opt->IsDone());
    EXPECT_EQ(player.opt->GetArgument()[0], 0.0); // stays, never NaN
}

// A configuration that construction refuses, and its message: the whole
// message, or text it contains. Each message names the line and the value it
// refuses.
struct BadConfig {
    const char* name;
    void (*change)(CgConfig&);
    bool whole;
    const char* message;
};

class CgBadConfig : public testing::TestWithParam<BadConfig> {};

TEST_P(CgBadConfig, StopsWithItsMessage) {
    const BadConfig& b = GetParam();
    CgConfig c;
    b.change(c);
    const std::string error = ConstructionError(c);
    if (b.whole)
        EXPECT_EQ(error, b.message);
    else
        EXPECT_NE(error.find(b.message), std::string::npos) << error;
}

const BadConfig kBadConfigs[] = {
    {"Direction", [](CgConfig& c) { c.direction = 2; }, true,
     "Search direction method not recognized\ninput.QERN, line 11: search direction method 2 "
     "(expected 0 PolakRibiere or 1 FletcherReeves)\nProgram stopped!\n"},
    {"LineSearch", [](CgConfig& c) { c.step = 5; }, true,
     "Optimal step size method not recognized\ninput.QERN, line 12: optimal step size method 5 "
     "(expected 0 GoldenSection or 1 BrentMethod)\nProgram stopped!\n"},
    {"Epsilon", [](CgConfig& c) { c.epsilon = "0"; }, true,
     "\nError: ConjugateGradient class. \nvoid SetEpsilon(double) method.\n"
     "Warning epsilon must be greater than 0.\n\ninput.QERN, line 13: epsilon 0\n"
     "Program stopped!\n"},
    {"FirstStep", [](CgConfig& c) { c.first = "-1"; }, true,
     "\nError: ConjugateGradient class.\nvoid SetFirstStepSize(double) method.\n"
     "First step size must be greater than 0.\n\ninput.QERN, line 14: first step size -1\n"
     "Program stopped!\n"},
    {"Tolerance", [](CgConfig& c) { c.tolerance = "0"; }, true,
     "\nError: ConjugateGradient class. void SetOptimalStepSizeTolerance(double) method.\n"
     "Tolerance must be greater than 0.\n\ninput.QERN, line 15: tolerance 0\nProgram stopped!\n"},
    {"WarningStep", [](CgConfig& c) { c.warning = "0"; }, true,
     "\nError: ConjugateGradient class. \nvoid SetWarningStepSize(double) method.\n"
     "Warning step size must be greater than 0.\n\ninput.QERN, line 16: warning step size 0\n"
     "Program stopped!\n"},
    {"InitialArgumentMode", [](CgConfig& c) { c.initial = "3\n0"; }, true,
     "Initial argument mode not recognized!\ninput.QERN, line 9: initial-argument mode 3 "
     "(expected 0 values, 1 a file of values or 2 a file holding an individual)\n"
     "Program stopped!\n"},
    {"NoDesignVariable", [](CgConfig& c) { c.ndvs = 0, c.initial = "0\n"; }, false,
     "at least one design variable"},
    {"LowerBoundAboveUpper", [](CgConfig& c) { c.lower = 5, c.upper = 4; }, false,
     "lower bound of design variable 0 is above"},
    {"InitialValueNotANumber", [](CgConfig& c) { c.initial = "0\nabc"; }, false,
     "line 10: expected an initial design-variable value"},
};
INSTANTIATE_TEST_SUITE_P(Configurations, CgBadConfig, testing::ValuesIn(kBadConfigs), RowName());

TEST(ConjugateGradient, InitialArgumentFiles) {
    TempDir files;
    WriteFile(files.file("start.txt"), "1.5\n -2.5  ignored words\n");
    WriteFile(files.file("short.txt"), "1.5 x\n");
    // Objective, two variables, no constraints: the starting design arrives
    // evaluated.
    WriteFile(files.file("ind.txt"), "4.25 1 2\nsecond line ignored\n");
    WriteFile(files.file("badind.txt"), "4.25 1\n");

    CgConfig c;
    c.ndvs = 2;
    c.initial = "1\n" + files.file("start.txt");
    GradientRun one(c);
    EXPECT_EQ(one.opt->GetInitialArgument().GetDvs(), (std::vector<double>{1.5, -2.5}));
    EXPECT_NE(one.output.find("Initial argument in " + files.file("start.txt")), std::string::npos);

    c.initial = "2\n" + files.file("ind.txt");
    GradientRun two(c);
    EXPECT_NE(two.output.find("Initial individual in "), std::string::npos);
    EXPECT_TRUE(two.opt->GetInitialArgument().IsComputed());
    EXPECT_EQ(two.opt->GetInitialArgument().GetObj(0), 4.25);
    two.Start();
    // The starting design is not evaluated again: two perturbed points per
    // variable only, and its stored value is the current value.
    EXPECT_EQ(two.opt->GetObjEvals(), 4u);
    EXPECT_EQ(two.opt->GetCurrentValue(), 4.25);

    c.initial = "1\n" + files.file("short.txt");
    EXPECT_NE(ConstructionError(c).find("must hold 2 initial design-variable values"),
              std::string::npos);
    c.initial = "1\n" + files.file("missing.txt");
    EXPECT_NE(ConstructionError(c).find("missing.txt not found."), std::string::npos);
    c.initial = "2\n" + files.file("badind.txt");
    EXPECT_NE(ConstructionError(c).find("must hold 1 objective values, then 2 design variables"),
              std::string::npos);

    c = CgConfig();
    GradientRun run(c);
    FatalThrows fatal;
    testing::internal::CaptureStdout();
    EXPECT_THROW(run.opt->SetInitialIndividual(INDIVIDUAL(3, 1, 0, nullptr)), UTILS::FatalError);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nError: ConjugateGradient class. double SetInitialArgument(Vector<double>) "
              "method.\nSize of initial argument must be equal to number of variables.\n\n"
              "Program stopped!\n");
}

TEST(ConjugateGradient, WritesTheBestFitFileAndReports) {
    CgConfig c;
    GradientRun run(c);
    run.Run(2000);
    const std::vector<std::string> lines = ReadLines(run.dir.file("bestfits.out"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("# obj[0]", 0), 0u);
    std::istringstream values(lines[1]);
    double obj = 1.0, x = 0.0;
    values >> obj >> x;
    EXPECT_NEAR(x, 3.0, 1e-7);
    EXPECT_LT(obj, 1e-14);
    EXPECT_NE(run.output.find("ConjugateGradient::PostProcessOpt():\nIterations = "),
              std::string::npos);
    EXPECT_NE(run.output.find("Total number of evaluations = "), std::string::npos);
    EXPECT_NE(run.output.find("Best argument : 3"), std::string::npos);

    testing::internal::CaptureStdout();
    run.opt->PrintReportIter();
    const std::string report = testing::internal::GetCapturedStdout();
    EXPECT_EQ(report.rfind("   Bestfit:\n   # Iteration", 0), 0u);
    EXPECT_NE(report.find("   Best argument : 3"), std::string::npos);
    EXPECT_NE(
        report.find("   Total number of evaluations = " + std::to_string(run.opt->GetObjEvals())),
        std::string::npos);
}

TEST(ConjugateGradient, AnImmigrantMovesTheOwnVariablesItCarries) {
    CgConfig c;
    c.ndvs = 2;
    c.initial = "0\n1 2";
    GradientRun run(c);
    // The player owns global variables 0 and 2 of three.
    testing::internal::CaptureStdout();
    run.opt->SetActiveGame({0, -1, 2}, {0}, 3, 1);
    testing::internal::GetCapturedStdout();
    run.Start();
    INDIVIDUAL immigrant(2, 1, 0, nullptr);
    immigrant.SetDvs({5.0, 6.0});
    run.opt->Inmigrate(immigrant, {0, 1});
    EXPECT_EQ(run.opt->GetEliteDVs(), (std::vector<double>{5.0, 6.0, 0.0}));
    EXPECT_EQ(run.opt->GetArgument(), (std::vector<double>{5.0, 2.0}));
    EXPECT_EQ(run.opt->GetInitialArgument().GetDvs(), (std::vector<double>{5.0, 2.0}));
}
