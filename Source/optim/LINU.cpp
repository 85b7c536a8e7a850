#include "optim/LINU.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <utility>

namespace LINU {

namespace {

// (3 - sqrt(5)) / 2: the golden-section fraction of an interval.
const double kGolden = 0.3819660112501051;
const double kNotEvaluated = std::numeric_limits<double>::quiet_NaN();

// A line search narrows its interval by a constant factor per trial in exact
// arithmetic. In floating point the interval stops shrinking once it is a few
// units in the last place wide, which a tolerance below that resolution would
// never reach: after this many trials in a row without shrinking the search
// ends as if the tolerance had been met.
const unsigned kMaxStalledTrials = 3;

// What a failed search returns: the first step size in a game, where a player
// must go on; otherwise 0 after the explanation, and the run ends.
LineSearchResult Failure(const LineSearchSettings& s, bool& done,
                         std::initializer_list<const char*> lines) {
    if (s.in_game) {
        std::cout << "Returning initial step size" << std::endl;
        return {s.first_step, true};
    }
    for (const char* line : lines)
        std::cout << line << std::endl;
    done = true;
    return {0.0, true};
}

// The first step, in the order given, whose value is below f0; 0 when none is.
double FirstStepBelow(double f0, std::initializer_list<std::pair<double, double>> steps) {
    for (const auto& step : steps)
        if (step.second < f0)
            return step.first;
    return 0.0;
}

// Moves three points (or their values) along by one: a takes b's place, b
// takes c's, and c becomes d. Each narrowing of the interval moves the points
// it keeps this way.
void shift(double& a, double& b, double& c, double d) {
    a = b;
    b = c;
    c = d;
}

} // namespace

bool bracket_minimum(const LineFunction& f, const LineSearchSettings& s, const bool& done,
                     double& step, double& value) {
    // A step of 0 would never grow; the first step size replaces it.
    step = s.initial_step > 0.0 && std::isfinite(s.initial_step) ? s.initial_step : s.first_step;
    value = f(step);
    double improving = 0.0;
    while (value < s.f0) {
        improving = step;
        // Once the stopping rule is met no further trial is evaluated: the
        // search ends with the last improving step.
        if (done) {
            step = improving;
            return false;
        }
        step = 2.0 * step;
        if (s.warning_step <= step) {
            step = s.first_step;
            return false;
        }
        value = f(step);
    }
    if (done) {
        step = improving;
        return false;
    }
    return true;
}

LineSearchResult golden_section_step(const LineFunction& f, const LineSearchSettings& s,
                                     bool& done) {
    const double f0 = s.f0;
    double b = 0.0, f_b = 0.0;
    if (!bracket_minimum(f, s, done, b, f_b))
        return {b, false};

    double lo = 0.0, f_lo = f0;
    double x1 = kGolden * b, f1 = f(x1);
    double x2 = b - kGolden * b, f2 = done ? kNotEvaluated : f(x2);
    unsigned stalled = 0;
    while (!done && b - lo > s.tolerance && stalled < kMaxStalledTrials) {
        const double width = b - lo;
        const double m_lo = std::min({f_lo, f1, f2});
        const double m_b = std::min({f_b, f1, f2});
        if ((f1 <= f2 && m_lo <= f_b) || f_lo <= m_b) {
            // The minimum lies in [lo, x2].
            const double p = lo + (x2 - lo) * kGolden;
            shift(b, x2, x1, p);
            shift(f_b, f2, f1, f(p));
        } else if ((f1 < f2 || f_lo < m_b) && m_lo < f_b) {
            // Only reachable when some value is not a number.
            return Failure(s, done,
                           {"", "Error: ConjugateGradient class.",
                            "double GetGoldenSectionStepSize "
                            "(double, double, Vector<double>, Vector<double>, double) method.",
                            "Unable to find were the minimum is."});
        } else {
            // The minimum lies in [x1, b].
            const double p = b - (b - x1) * kGolden;
            shift(lo, x1, x2, p);
            shift(f_lo, f1, f2, f(p));
        }
        stalled = b - lo < width ? 0 : stalled + 1;
    }
    return {FirstStepBelow(f0, {{lo, f_lo}, {b, f_b}, {x1, f1}, {x2, f2}}), false};
}

LineSearchResult brent_step(const LineFunction& f, const LineSearchSettings& s, bool& done) {
    const double f0 = s.f0;
    double b = 0.0, f_b = 0.0;
    if (!bracket_minimum(f, s, done, b, f_b))
        return {b, false};

    double a = 0.0, f_a = f0;
    double x = kGolden * b;
    double fx = f(x);
    // The search below keeps x as the best point found and moves the ends
    // toward it, which assumes that x is better than both ends. When the first
    // interior point is not better than the start of the line, the minimum
    // lies in [0, x]: the bracket is narrowed to it until an interior point is
    // better. Otherwise the search can settle in a worse valley further along
    // the line and report that no step improves, although the direction is a
    // descent direction.
    unsigned stalled = 0;
    while (!done && !(fx < f0) && b - a > s.tolerance && stalled < kMaxStalledTrials) {
        const double width = b - a;
        b = x;
        f_b = fx;
        x = kGolden * b;
        fx = f(x);
        stalled = b - a < width ? 0 : stalled + 1;
    }
    double w = x, fw = fx, v = x, fv = fx;

    // Parabolic steps need not shrink the interval by a fixed factor, so the
    // search also ends after ten times the trials that golden sections alone
    // would need to reach the tolerance (a bound no regular search comes near).
    const double needed = std::log((b - a) / s.tolerance) / std::log(1.0 / (1.0 - kGolden));
    const double limit = 100.0 + 10.0 * (std::isfinite(needed) && needed > 0.0 ? needed : 0.0);
    double trials = 0.0;
    // Moves the lower (else the upper) end of the bracket to step p, valued fp.
    auto move_end = [&](bool lower, double p, double fp) {
        if (lower) {
            a = p;
            f_a = fp;
        } else {
            b = p;
            f_b = fp;
        }
    };
    stalled = 0;
    while (!done && b - a > s.tolerance && stalled < kMaxStalledTrials) {
        if (++trials > limit) {
            std::cout << "Warning: line search stopped after " << limit
                      << " trial steps before narrowing the step to the tolerance." << std::endl;
            break;
        }
        const double width = b - a;
        double u = 0.0;
        bool golden = x == w || v == w || x == v;
        if (!golden) {
            double p[3] = {v, w, x};
            std::sort(p, p + 3);
            double q[3] = {0.0, 0.0, 0.0};
            for (int i = 0; i < 3; ++i) {
                if (p[i] == v)
                    q[i] = fv;
                else if (p[i] == w)
                    q[i] = fw;
                else if (p[i] == x)
                    q[i] = fx;
                else
                    return Failure(s, done,
                                   {"", "Error: ConjugateGradient class.",
                                    "double getBrentMethodOptimalStepSize",
                                    "(double, double, Vector<double>, Vector<double>) method.",
                                    "Unable to construct step size and evaluation vectors right."});
            }
            u = 0.5 *
                ((p[2] * p[2] - p[1] * p[1]) * q[0] + (p[1] * p[1] - p[0] * p[0]) * q[2] +
                 (p[0] * p[0] - p[2] * p[2]) * q[1]) /
                ((p[2] - p[1]) * q[0] + (p[1] - p[0]) * q[2] + (p[0] - p[2]) * q[1]);
            // Outside the open interval (or not a number): golden step instead.
            golden = !(u > a && u < b);
        }
        if (golden)
            u = x <= (a + b) / 2.0 ? x + (b - x) * kGolden : x - (x - a) * kGolden;
        const double fu = f(u);
        if (fu < fx) {
            // u is the new best: x becomes the end of the bracket beyond it.
            move_end(!(u < x), x, fx);
            shift(v, w, x, u);
            shift(fv, fw, fx, fu);
        } else {
            // u becomes the end of the bracket on its side of x.
            move_end(u < x, u, fu);
            if (fu < fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu < fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
        stalled = b - a < width ? 0 : stalled + 1;
    }
    return {FirstStepBelow(f0, {{a, f_a}, {b, f_b}, {v, fv}, {w, fw}, {x, fx}}), false};
}

} // namespace LINU
