#ifndef VESK_OPTIM_LINU_H
#define VESK_OPTIM_LINU_H

#include <functional>

// Line searches: the minimisation of a function of one variable, the step
// along a search direction. Each value of the function may cost a whole
// analysis, so the searches only evaluate it (no derivatives) and stop
// evaluating as soon as the run has to end.
namespace LINU {

// The objective along the line, as a function of the step (step 0 is the
// current point).
using LineFunction = std::function<double(double)>;

struct LineSearchSettings {
    // First trial step of the bracketing; a step that is not positive and
    // finite is replaced by first_step.
    double initial_step;
    // Value at step 0.
    double f0;
    // The bracketing gives up once its doubled step reaches this size.
    double warning_step;
    // The search ends when its bracket is no wider.
    double tolerance;
    // The step returned when the bracketing gives up or a search fails in a game.
    double first_step;
    // A failed search returns first_step instead of ending the run.
    bool in_game;
};

struct LineSearchResult {
    // 0 when no evaluated point was better than f0.
    double step;
    // The search could not tell where the minimum lies (possible only with
    // values that are not numbers).
    bool failed;
};

// In all three functions, done is set by the line function when its
// evaluation met the stopping rule; once it is set nothing further is
// evaluated. The searches also set it when they fail outside a game.

// Doubles the trial step while the value improves on f0. True with the bracket
// [0, step] (value at step not below f0). False when the search ends at step
// instead: first_step when the doubling reached the warning step size, the
// last improving step (0 if none) when done was set.
bool bracket_minimum(const LineFunction& f, const LineSearchSettings& s, const bool& done,
                     double& step, double& value);

// Golden-section search inside the bracket.
LineSearchResult golden_section_step(const LineFunction& f, const LineSearchSettings& s,
                                     bool& done);

// Parabolic search through the three best points inside the bracket, with
// golden-section steps where the parabola gives no usable point.
LineSearchResult brent_step(const LineFunction& f, const LineSearchSettings& s, bool& done);

} // namespace LINU

#endif
