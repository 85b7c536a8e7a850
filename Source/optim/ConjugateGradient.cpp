#include "optim/ConjugateGradient.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "model/RunJournal.h"
#include "model/UTILS.h"
#include "optim/LINU.h"
#include "output/PIOU.h"
#include "output/PIOUConfig.h"
#include "output/PIOURecords.h"
#include "output/PLOU.h"

namespace {

double Dot(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        sum += a[i] * b[i];
    return sum;
}

bool AllFinite(const std::vector<double>& v) {
    for (double x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

// beta * previousDirection - gradient.
std::vector<double> Combine(double beta, const std::vector<double>& previousDirection,
                            const std::vector<double>& gradient) {
    std::vector<double> d(gradient.size());
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = beta * (i < previousDirection.size() ? previousDirection[i] : 0.0) - gradient[i];
    return d;
}

// beta is 0 when the denominator is 0 or the quotient negative (or not a
// number, which a non-finite gradient gives), and at most 1.
double LimitBeta(double numerator, double denominator) {
    if (denominator == 0.0)
        return 0.0;
    const double beta = numerator / denominator;
    if (!(beta >= 0.0))
        return 0.0;
    return std::min(beta, 1.0);
}

// Where the setting being set was read ("input.QERN, line 31: epsilon 0"),
// for the setters' messages; empty when a setter is called from code.
std::string& SettingPlace() {
    static std::string place;
    return place;
}

// The message lines, the place of the setting when it is known, and
// "Program stopped!".
[[noreturn]] void StopSetting(std::vector<std::string> lines) {
    if (!SettingPlace().empty())
        lines.push_back(SettingPlace());
    lines.push_back("Program stopped!");
    UTILS::Stop(lines);
}

// The settings that must be positive: a value not greater than 0, or not
// finite, stops the run. setter is the message lines that name the setter.
void RequirePositive(double value, const std::vector<std::string>& setter,
                     const std::string& not_positive, const std::string& not_finite) {
    if (value > 0.0 && std::isfinite(value))
        return;
    std::vector<std::string> lines = {""};
    lines.insert(lines.end(), setter.begin(), setter.end());
    lines.push_back(!(value > 0.0) ? not_positive : not_finite);
    lines.push_back("");
    StopSetting(lines);
}

// The two method settings: code 0 or 1 picks names[code], announced as the
// method used for what; any other code stops the run with unknown.
int PickMethod(int code, const char* const (&names)[2], const std::string& what,
               const std::string& unknown) {
    if (code != 0 && code != 1)
        StopSetting({unknown});
    std::cout << "Using " << names[code] << " for " << what << std::endl;
    return code;
}

// Calls set (a setter) with the place of its setting, read at `at`, known to
// the setter's messages; the place is forgotten however set ends.
template <typename Set>
void SetAtPlace(std::istream& in, std::streampos at, const std::string& what, Set set) {
    struct Scope {
        ~Scope() { SettingPlace().clear(); }
    } scope;
    SettingPlace() = PIOU::config_place(in, at) + ": " + what;
    set();
}

// A value as messages show it.
std::string Number(double x) {
    std::ostringstream os;
    os << std::setprecision(15) << x;
    return os.str();
}

// The line (counted from 1) of position pos of text.
unsigned LineOf(const std::string& text, std::streampos pos) {
    const size_t end =
        pos == std::streampos(-1) ? text.size() : std::min(text.size(), static_cast<size_t>(pos));
    unsigned line = 1;
    for (size_t i = 0; i < end; ++i)
        if (text[i] == '\n')
            ++line;
    // A value is on the line where its first character is, after blanks.
    for (size_t i = end; i < text.size() && std::isspace(static_cast<unsigned char>(text[i])); ++i)
        if (text[i] == '\n')
            ++line;
    return line;
}

// A file the input block names; the run stops when it cannot be opened.
std::ifstream OpenNamedFile(const std::string& file) {
    std::ifstream is(file);
    if (!is)
        UTILS::Stop({"File " + file + " not found.", "Program stopped!"});
    RunJournal::NoteInputFile(file);
    return is;
}

// The whole of a file, or of its first line, as a stream to extract from.
std::istringstream WholeFile(const std::string& file) {
    std::ifstream is = OpenNamedFile(file);
    std::ostringstream all;
    all << is.rdbuf();
    return std::istringstream(all.str());
}

std::istringstream FirstLine(const std::string& file) {
    std::ifstream is = OpenNamedFile(file);
    std::string line;
    std::getline(is, line);
    return std::istringstream(line);
}

} // namespace

ConjugateGradient::ConjugateGradient(std::istream& in)
    : OptimizationAlgorithm(in), mCurrentValue(0.0), mGradientNorm(0.0), mSlope(0.0),
      mInitialStepSize(0.0), mOptimalStepSize(0.0), mPreviousOptimalStepSize(0.0),
      mWarningStepSize(0.0), mEpsilon(0.0), mSearchDirectionMethod(PolakRibiere),
      mOptimalStepSizeMethod(GoldenSection), mFirstStepSize(0.0), mOptimalStepSizeTolerance(0.0) {
    std::cout << "Creating new ConjugateGradient object" << std::endl;
    // The direction restarts every n iterations (k mod n) and the method
    // minimises objective 0: both need to exist.
    if (ndvs == 0)
        UTILS::Stop({"ConjugateGradient needs at least one design variable, but " +
                         PIOU::get_config_name() + " gives NDVs = 0.",
                     "Program stopped!"});
    if (nobj == 0)
        UTILS::Stop({"ConjugateGradient minimises objective 0, but " + PIOU::get_config_name() +
                         " gives NObj = 0.",
                     "Program stopped!"});
    SetWriteDataPtr(&mWriteDataGrad);
    // Each iteration evaluates the point and two neighbours per variable.
    const std::string problem = UTILS::PopulationLimitProblem("the gradient's children population",
                                                              2ull * ndvs + 1, ndvs, nobj, nctr);
    if (!problem.empty())
        UTILS::Stop({"ConjugateGradient: " + problem + " (NDVs " + std::to_string(ndvs) + " in " +
                         PIOU::get_config_name() + ").",
                     "Program stopped!"});
    const int n = static_cast<int>(ndvs);
    mChilds.InitPop("childs", n, static_cast<int>(nobj), static_cast<int>(nctr), 2 * n + 1, true);
    mChilds.SetBestfitsPtrToInds(&bestfits);

    std::cout << "mInitialArgument:" << std::endl;
    StartPlaces start;
    SetInitialIndividual(ReadInitialArgument(in, start));
    ReadSettings(in);
    CheckStartInBounds(in, start);
}

void ConjugateGradient::CheckStartInBounds(std::istream& in, const StartPlaces& start) const {
    const std::vector<double>& x = mInitialArgument->GetDvs();
    for (unsigned i = 0; i < ndvs && i < mMinDvs.size() && i < mMaxDvs.size(); ++i) {
        if (x[i] >= mMinDvs[i] && x[i] <= mMaxDvs[i])
            continue;
        std::string place;
        if (start.mode == 0)
            place = PIOU::config_place(in, start.at[i]);
        else if (start.mode == 1)
            place =
                "File " + start.file + ", line " + std::to_string(LineOf(start.text, start.at[i]));
        else
            place = "File " + start.file + ", line 1";
        UTILS::Stop({place + ": the initial value of design variable dvs[" + std::to_string(i) +
                         "], " + Number(x[i]) + ", is outside its bounds [" + Number(mMinDvs[i]) +
                         ", " + Number(mMaxDvs[i]) + "] (bounds: " + mStartBoundsPlace + ").",
                     "Program stopped!"});
    }
}

INDIVIDUAL ConjugateGradient::ReadInitialArgument(std::istream& in, StartPlaces& start) {
    INDIVIDUAL initial(static_cast<int>(ndvs), static_cast<int>(nobj), static_cast<int>(nctr),
                       &bestfits);
    unsigned mode = 0;
    const std::streampos mode_at =
        PIOU::read_setting(in, mode,
                           "the initial-argument mode (0 values on the next line, 1 values file, "
                           "2 individual file)");
    std::vector<double> x(ndvs, 0.0);
    start.mode = mode;
    if (mode == 0) {
        std::cout << "Initial argument in input.QERN" << std::endl;
        start.at.resize(ndvs);
        for (unsigned i = 0; i < ndvs; ++i) {
            start.at[i] =
                PIOU::read_placed(in, x[i],
                                  "an initial design-variable value (value " +
                                      std::to_string(i + 1) + " of " + std::to_string(ndvs) + ")");
        }
        PIOU::skip_line(in);
    } else if (mode == 1) {
        std::string file;
        PIOU::read_value(in, file, "the name of the initial-argument file");
        PIOU::skip_line(in);
        std::cout << "Initial argument in " << file << std::endl;
        std::istringstream values = WholeFile(file);
        start.file = file;
        start.text = values.str();
        start.at.resize(ndvs);
        for (unsigned i = 0; i < ndvs; ++i) {
            start.at[i] = values.tellg();
            std::string word;
            if (!(values >> word) || !PIOU::parse_number(word, x[i]))
                UTILS::Stop(
                    {"File " + file + ", line " + std::to_string(LineOf(start.text, start.at[i])) +
                         ": expected " + std::to_string(ndvs) +
                         " initial design-variable values separated by white space, "
                         "found " +
                         (word.empty() ? "the end of the file" : "\"" + word.substr(0, 40) + "\"") +
                         " as value " + std::to_string(i + 1) + ".",
                     "File " + file + " must hold " + std::to_string(ndvs) +
                         " initial design-variable values separated by white space.",
                     "Program stopped!"});
        }
    } else if (mode == 2) {
        std::string file;
        PIOU::read_value(in, file, "the name of the initial-individual file");
        PIOU::skip_line(in);
        std::cout << "Initial individual in " << file << std::endl;
        start.file = file;
        std::istringstream line = FirstLine(file);
        std::vector<double> obj(nobj, 0.0), ctr(nctr, 0.0);
        // A starting design that cannot be read is not silently replaced by
        // the origin: the run stops and says what the line must hold.
        if (PIOU::extract_vector_components(line, obj) != 0 ||
            PIOU::extract_vector_components(line, x) != 0 ||
            PIOU::extract_vector_components(line, ctr) != 0)
            UTILS::Stop({"The first line of file " + file + " must hold " + std::to_string(nobj) +
                             " objective values, then " + std::to_string(ndvs) +
                             " design variables, then " + std::to_string(nctr) +
                             " constraint values.",
                         "Program stopped!"});
        initial.SetDvs(x);
        initial.SetEval(obj, ctr);
        return initial;
    } else {
        UTILS::Stop({"Initial argument mode not recognized!",
                     PIOU::config_place(in, mode_at) + ": initial-argument mode " +
                         std::to_string(mode) +
                         " (expected 0 values, 1 a file of values or 2 "
                         "a file holding an individual)",
                     "Program stopped!"});
    }
    // Given values are echoed, one a line.
    for (double v : x)
        std::cout << v << std::endl;
    initial.SetDvs(x);
    return initial;
}

void ConjugateGradient::ReadSettings(std::istream& in) {
    // Everything is read before anything is set: a line that cannot be read
    // stops the run before the settings are echoed.
    int direction = 0, step_method = 0;
    double epsilon = 0.0, first_step = 0.0, tolerance = 0.0, warning_step = 0.0;
    std::vector<double> lower(ndvs, 0.0), upper(ndvs, 0.0);
    // Where each setting starts (a braced list is read in order).
    const std::streampos at[8] = {
        PIOU::read_setting(in, direction,
                           "the search direction method (0 PolakRibiere, 1 FletcherReeves)"),
        PIOU::read_setting(in, step_method,
                           "the optimal step size method (0 GoldenSection, 1 BrentMethod)"),
        PIOU::read_setting(in, epsilon, "the finite-difference epsilon (a number greater than 0)"),
        PIOU::read_setting(in, first_step, "the first step size (a number greater than 0)"),
        PIOU::read_setting(in, tolerance,
                           "the optimal step size tolerance (a number greater than 0)"),
        PIOU::read_setting(in, warning_step, "the warning step size (a number greater than 0)"),
        PIOU::read_setting(in, lower, "a design-variable lower bound"),
        PIOU::read_setting(in, upper, "a design-variable upper bound")};

    SetAtPlace(in, at[0],
               "search direction method " + std::to_string(direction) +
                   " (expected 0 PolakRibiere or 1 FletcherReeves)",
               [&] { SetSearchDirectionMethod(direction); });
    SetAtPlace(in, at[1],
               "optimal step size method " + std::to_string(step_method) +
                   " (expected 0 GoldenSection or 1 BrentMethod)",
               [&] { SetOptimalStepSizeMethod(step_method); });
    SetAtPlace(in, at[2], "epsilon " + Number(epsilon), [&] { SetEpsilon(epsilon); });
    SetAtPlace(in, at[3], "first step size " + Number(first_step),
               [&] { SetFirstStepSize(first_step); });
    SetAtPlace(in, at[4], "tolerance " + Number(tolerance),
               [&] { SetOptimalStepSizeTolerance(tolerance); });
    SetAtPlace(in, at[5], "warning step size " + Number(warning_step),
               [&] { SetWarningStepSize(warning_step); });
    SetAtPlace(in, at[6], "lower bounds (the upper bounds follow on the next line)", [&] {
        SetMinDvs(lower);
        SetMaxDvs(upper);
    });
    mStartBoundsPlace = PIOU::config_place(in, at[6]) + " and the next line";
}

ConjugateGradient::~ConjugateGradient() = default;

void ConjugateGradient::SetInitialIndividual(const INDIVIDUAL& ind) {
    if (ind.GetNdvs() != ndvs)
        UTILS::Stop({"",
                     "Error: ConjugateGradient class. "
                     "double SetInitialArgument(Vector<double>) method.",
                     "Size of initial argument must be equal to number of variables.", "",
                     "Program stopped!"});
    mInitialArgument = std::make_unique<INDIVIDUAL>(ind);
    mArgument = ind.GetDvs();
}

// The enumerators are the codes of the input file.
void ConjugateGradient::SetSearchDirectionMethod(int method) {
    mSearchDirectionMethod = static_cast<SearchDirectionMethod>(
        PickMethod(method, {"PolakRibiere", "FletcherReeves"}, "search direction method",
                   "Search direction method not recognized"));
}

void ConjugateGradient::SetOptimalStepSizeMethod(int method) {
    mOptimalStepSizeMethod = static_cast<OptimalStepSizeMethod>(
        PickMethod(method, {"GoldenSection", "BrentMethod"}, "optimal step size method",
                   "Optimal step size method not recognized"));
}

// The four settings must be positive; an infinite value would turn every
// trial point or difference quotient into an infinity or a NaN.
void ConjugateGradient::SetEpsilon(double epsilon) {
    RequirePositive(epsilon,
                    {"Error: ConjugateGradient class. ", "void SetEpsilon(double) method."},
                    "Warning epsilon must be greater than 0.", "Epsilon must be a finite number.");
    mEpsilon = epsilon;
}

void ConjugateGradient::SetFirstStepSize(double step) {
    RequirePositive(
        step, {"Error: ConjugateGradient class.", "void SetFirstStepSize(double) method."},
        "First step size must be greater than 0.", "First step size must be a finite number.");
    mFirstStepSize = step;
}

void ConjugateGradient::SetOptimalStepSizeTolerance(double tolerance) {
    RequirePositive(tolerance,
                    {"Error: ConjugateGradient class. "
                     "void SetOptimalStepSizeTolerance(double) method."},
                    "Tolerance must be greater than 0.", "Tolerance must be a finite number.");
    mOptimalStepSizeTolerance = tolerance;
}

void ConjugateGradient::SetWarningStepSize(double step) {
    RequirePositive(
        step, {"Error: ConjugateGradient class. ", "void SetWarningStepSize(double) method."},
        "Warning step size must be greater than 0.", "Warning step size must be a finite number.");
    mWarningStepSize = step;
}

namespace {
// A bound list must have one entry per variable and keep every lower bound at
// or below its upper bound (the other list may still be empty).
void CheckBounds(const std::vector<double>& lower, const std::vector<double>& upper, size_t given,
                 unsigned ndvs, const char* which) {
    if (given != ndvs)
        StopSetting({"ConjugateGradient: " + std::to_string(given) + " " + which +
                     " bounds given for " + std::to_string(ndvs) + " design variables."});
    for (size_t i = 0; i < lower.size() && i < upper.size(); ++i)
        if (!(lower[i] <= upper[i]))
            StopSetting({"ConjugateGradient: the lower bound of design variable " +
                         std::to_string(i) + " is above its upper bound (" + Number(lower[i]) +
                         " > " + Number(upper[i]) + ")."});
}
} // namespace

void ConjugateGradient::SetMinDvs(const std::vector<double>& lower) {
    CheckBounds(lower, mMaxDvs, lower.size(), ndvs, "lower");
    mMinDvs = lower;
}

void ConjugateGradient::SetMaxDvs(const std::vector<double>& upper) {
    CheckBounds(mMinDvs, upper, upper.size(), ndvs, "upper");
    mMaxDvs = upper;
}

void ConjugateGradient::SetWriteData(WriteData data) {
    mWriteDataGrad = WriteDataGrad(data);
    std::cout << "SetWriteDataPtr setted" << std::endl;
    SetWriteDataPtr(&mWriteDataGrad);
}

// ---- search directions ----

double ConjugateGradient::GetPolakRibiereParameter(const std::vector<double>& previousGradient,
                                                   const std::vector<double>& gradient) const {
    double numerator = 0.0;
    for (size_t i = 0; i < gradient.size() && i < previousGradient.size(); ++i)
        numerator += gradient[i] * (gradient[i] - previousGradient[i]);
    return LimitBeta(numerator, Dot(previousGradient, previousGradient));
}

double ConjugateGradient::GetFletcherReevesParameter(const std::vector<double>& previousGradient,
                                                     const std::vector<double>& gradient) const {
    return LimitBeta(Dot(gradient, gradient), Dot(previousGradient, previousGradient));
}

double ConjugateGradient::GetGradientNorm(const std::vector<double>& gradient) const {
    return std::sqrt(Dot(gradient, gradient));
}

std::vector<double>
ConjugateGradient::GetPolakRibiereSearchDirection(std::vector<double> previousGradient,
                                                  std::vector<double> gradient,
                                                  std::vector<double> previousDirection) {
    return Combine(GetPolakRibiereParameter(previousGradient, gradient), previousDirection,
                   gradient);
}

std::vector<double>
ConjugateGradient::getFletcherReevesSearchDirection(std::vector<double> previousGradient,
                                                    std::vector<double> gradient,
                                                    std::vector<double> previousDirection) {
    return Combine(GetFletcherReevesParameter(previousGradient, gradient), previousDirection,
                   gradient);
}

// ---- iterations ----

void ConjugateGradient::SetChildren(std::vector<double> x) {
    mChilds[0].SetDvs(x);
    for (unsigned i = 0; i < ndvs; ++i) {
        x[i] += mEpsilon;
        mChilds[2 * i + 1].SetDvs(x);
        x[i] -= 2.0 * mEpsilon;
        mChilds[2 * i + 2].SetDvs(x);
        x[i] += mEpsilon;
    }
}

void ConjugateGradient::Initialize() {
    mArgument.assign(ndvs, 0.0);
    mGradient.assign(ndvs, 0.0);
    mPreviousGradient.assign(ndvs, 0.0);
    mSearchDirection.assign(ndvs, 0.0);
    mPreviousSearchDirection.assign(ndvs, 0.0);
    mGradientNorm = 0.0;
    mSlope = 0.0;
    mOptimalStepSize = mFirstStepSize;
    mPreviousOptimalStepSize = mFirstStepSize;
    mInitialStepSize = mFirstStepSize;

    mArgument = mInitialArgument->GetDvs();
    // Child 0 takes the starting design with its evaluation state: a design
    // read with its results is not evaluated again.
    mChilds[0] = *mInitialArgument;
    mChilds[0].SetBestfitsPtr(&bestfits);
    SetChildren(mArgument);
    if (Compute())
        SetDone(true);
    PostProcessInds();
}

void ConjugateGradient::PostProcessInds() {
    // The gradient about to be replaced is the previous iteration's: the next
    // direction is built from both.
    mPreviousGradient = mGradient;
    mPreviousSearchDirection = mSearchDirection;
    mPreviousOptimalStepSize = mOptimalStepSize;

    mCurrentValue = mChilds[0].GetObj(0);
    for (unsigned i = 0; i < ndvs; ++i)
        mGradient[i] =
            (mChilds[2 * i + 1].GetObj(0) - mChilds[2 * i + 2].GetObj(0)) / (2.0 * mEpsilon);
    const std::vector<bool> restricted = UTILS::RestrictToBound(mArgument, mMinDvs, mMaxDvs);
    for (unsigned i = 0; i < ndvs; ++i)
        if (restricted[i])
            mGradient[i] = 0.0;
    mGradientNorm = GetGradientNorm(mGradient);
    WriteConvergenceGenFile();
}

void ConjugateGradient::PrintLastState(const char* warning) const {
    std::cout << std::endl << "Iteration " << iter << std::endl;
    std::cout << warning << std::endl;
    std::cout << "Last evaluation: " << mCurrentValue << ";" << std::endl;
    std::cout << "Last gradient norm: " << mGradientNorm << ";" << std::endl;
    std::cout << "Last argument : ";
    for (double x : mArgument)
        std::cout << std::left << std::setw(20) << x;
    std::cout << std::endl;
}

void ConjugateGradient::Generate() {
    const unsigned k = GetIter();
    if (k % ndvs == 0) {
        mSearchDirection = Combine(0.0, mPreviousSearchDirection, mGradient);
    } else if (mSearchDirectionMethod == PolakRibiere) {
        mSearchDirection =
            GetPolakRibiereSearchDirection(mPreviousGradient, mGradient, mPreviousSearchDirection);
    } else {
        mSearchDirection = getFletcherReevesSearchDirection(mPreviousGradient, mGradient,
                                                            mPreviousSearchDirection);
    }
    mSlope = Dot(mGradient, mSearchDirection);
    // Not a descent direction (or not a number): fall back to steepest descent.
    if (!(mSlope < 0.0)) {
        mSearchDirection = Combine(0.0, mPreviousSearchDirection, mGradient);
        mSlope = Dot(mGradient, mSearchDirection);
    }
    // A non-finite gradient (the objective is infinite or not a number next to
    // the current point) gives no direction to move along: moving by it would
    // turn the current point itself into NaN.
    if (!AllFinite(mSearchDirection)) {
        if (!IsActiveGame()) {
            PrintLastState("Warning!!: Search direction is not finite (the objective is not "
                           "finite next to the current point).");
            SetDone(true);
        }
        return;
    }

    mInitialStepSize = k == 1 ? mFirstStepSize : mPreviousOptimalStepSize;
    if (mOptimalStepSizeMethod == GoldenSection)
        mOptimalStepSize = GetGoldenSectionOptimalStepSize(
            mInitialStepSize, mCurrentValue, mArgument, mSearchDirection, mWarningStepSize,
            mOptimalStepSizeTolerance, bestfits);
    else
        mOptimalStepSize = GetBrentMethodOptimalStepSize(mInitialStepSize, mCurrentValue, mArgument,
                                                         mSearchDirection, mWarningStepSize,
                                                         mOptimalStepSizeTolerance, bestfits);

    if (mOptimalStepSize == 0.0) {
        if (!IsActiveGame()) {
            PrintLastState("Warning!!: Optimal step size is zero.");
            SetDone(true);
            return;
        }
        mOptimalStepSize = mFirstStepSize;
    }
    for (unsigned i = 0; i < ndvs; ++i)
        mArgument[i] += mOptimalStepSize * mSearchDirection[i];
    UTILS::RestrictToBound(mArgument, mMinDvs, mMaxDvs);
    SetChildren(mArgument);
}

// ---- line searches ----

double ConjugateGradient::EvaluateTrial(double step, const std::vector<double>& point,
                                        const std::vector<double>& direction,
                                        std::vector<INDIVIDUAL>& record, bool& stop) {
    std::vector<double> x(ndvs, 0.0);
    for (unsigned i = 0; i < ndvs && i < point.size() && i < direction.size(); ++i)
        x[i] = point[i] + step * direction[i];
    UTILS::RestrictToBound(x, mMinDvs, mMaxDvs);
    // A fresh individual per trial: every trial point is evaluated (with the
    // elite values the other players hold now), counted, and may improve the
    // record.
    INDIVIDUAL trial(static_cast<int>(ndvs), static_cast<int>(nobj), static_cast<int>(nctr),
                     &record);
    trial.SetDvs(x);
    if (ComputeInd(trial))
        stop = true;
    return trial.GetObj(0);
}

double ConjugateGradient::SearchLine(OptimalStepSizeMethod method, double initialStep,
                                     double currentValue, const std::vector<double>& point,
                                     const std::vector<double>& direction, double warningStep,
                                     double tolerance, std::vector<INDIVIDUAL>& record) {
    // The search sees the run's done flag through a copy that the trials and
    // the search set, and that is handed back when the search ends.
    bool stop = IsDone();
    const LINU::LineFunction along = [&](double step) {
        return EvaluateTrial(step, point, direction, record, stop);
    };
    const LINU::LineSearchSettings settings{initialStep, currentValue,   warningStep,
                                            tolerance,   mFirstStepSize, IsActiveGame()};
    const LINU::LineSearchResult result = method == GoldenSection
                                              ? LINU::golden_section_step(along, settings, stop)
                                              : LINU::brent_step(along, settings, stop);
    if (stop)
        SetDone(true);
    // A player whose search failed goes on with the first step size.
    if (result.failed && IsActiveGame())
        mOptimalStepSize = mFirstStepSize;
    return result.step;
}

double ConjugateGradient::GetGoldenSectionOptimalStepSize(double initialStep, double currentValue,
                                                          std::vector<double> point,
                                                          std::vector<double> direction,
                                                          double warningStep, double tolerance,
                                                          std::vector<INDIVIDUAL>& record) {
    return SearchLine(GoldenSection, initialStep, currentValue, point, direction, warningStep,
                      tolerance, record);
}

double ConjugateGradient::GetBrentMethodOptimalStepSize(double initialStep, double currentValue,
                                                        std::vector<double> point,
                                                        std::vector<double> direction,
                                                        double warningStep, double tolerance,
                                                        std::vector<INDIVIDUAL>& record) {
    return SearchLine(BrentMethod, initialStep, currentValue, point, direction, warningStep,
                      tolerance, record);
}

// ---- reports, results and games ----

void ConjugateGradient::PrintReportIter() {
    PrintBestfits("Bestfit", "Iteration");
    std::cout << "   Best argument : ";
    for (double x : bestfits.back().GetDvs())
        std::cout << std::left << std::setw(20) << x;
    std::cout << std::endl;
    std::cout << "   Total number of evaluations = " << GetObjEvals() << std::endl;
    if (mWriteDataGrad.GetRunPlots() && mWriteDataGrad.GetWriteOnlineHistoryPareto())
        PLOU::run_gnuplot(mWriteDataGrad.GetGPFilenameWOExt());
}

void ConjugateGradient::PostProcessOpt() {
    const INDIVIDUAL& best = bestfits.back();
    const std::string file = mWriteDataGrad.GetBestfitsFilename();
    {
        std::ofstream os(file, std::ios::trunc);
        if (os) {
            PIOU::out_individual_header(os, mChilds, 20);
            PIOU::out_individual_ascii(os, best, 20);
            os.close();
        }
        if (!os)
            UTILS::WarnCannotWrite(file);
    }
    mArgument = best.GetDvs();
    mCurrentValue = best.GetObj(0);
    std::cout << "ConjugateGradient::PostProcessOpt():" << std::endl;
    std::cout << "Iterations = " << iter << std::endl;
    std::cout << "Total number of evaluations = " << GetObjEvals() << std::endl;
    std::cout << "Best argument : ";
    for (double x : mArgument)
        std::cout << std::left << std::setw(20) << x;
    std::cout << std::endl;
    std::cout << "Minimum value : " << mCurrentValue << std::endl;
}

void ConjugateGradient::Inmigrate(const INDIVIDUAL& immigrant,
                                  const std::vector<unsigned int>& globalDvsIds) {
    if (globalDvsIds.size() > immigrant.GetNdvs())
        UTILS::Stop({"ConjugateGradient::Inmigrate: the immigrant has " +
                         std::to_string(immigrant.GetNdvs()) + " design variables but " +
                         std::to_string(globalDvsIds.size()) + " global indices were given.",
                     "Program stopped!"});
    for (unsigned i = 0; i < globalDvsIds.size(); ++i) {
        const unsigned id = globalDvsIds[i];
        SetEliteDVs(id, immigrant.GetDvs(i));
        for (unsigned j = 0; j < ndvs; ++j) {
            if (static_cast<unsigned>(GetGlobalDVsIds(j)) != id)
                continue;
            const double value = GetEliteDVs(id);
            mInitialArgument->SetDv(j, value);
            if (j < mArgument.size())
                mArgument[j] = value;
            if (mOptimalStepSize == 0.0) {
                mInitialStepSize = mFirstStepSize;
                mPreviousOptimalStepSize = mFirstStepSize;
            }
        }
    }
}
