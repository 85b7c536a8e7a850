#ifndef VESK_MODEL_HYVU_H
#define VESK_MODEL_HYVU_H

#include <string>
#include <vector>

// Hypervolume unit: the volume of objective space that a set of points
// dominates and that a reference point bounds (all objectives minimised), and
// the helpers that choose, read and print that reference point.
//
// Every function takes the points as they come: a point counts only when all
// its values are finite and strictly smaller than the reference in every
// objective; any other point (a failed design, a NaN, a point on or beyond the
// reference) adds nothing. Dominated points and duplicates are allowed. The
// result is never NaN; an empty set gives 0.
namespace HYVU {

// Exact hypervolume of points (each of ref.size() values; a point of another
// length is ignored) against ref. 1 objective: ref minus the best value; 2
// objectives: one sweep in O(N log N); 3 objectives: a sweep over the third
// objective with a balanced tree of the two-objective staircase, O(N log N);
// 4 or more: the WFG recursion (exclusive volumes of the points sorted by the
// last objective, limit sets reduced to their non-dominated part), whose slices
// end in the 3-objective sweep. A reference that is not finite gives 0.
double hypervolume(const std::vector<std::vector<double>>& points, const std::vector<double>& ref);

// The same for n points stored one after the other (n * nobj values, nobj =
// ref.size()).
double hypervolume_flat(const std::vector<double>& values, const std::vector<double>& ref);

// Volume that point dominates and none of others does (others stored flat as
// in hypervolume_flat): what adding point to others adds to their hypervolume.
double exclusive_hypervolume(const std::vector<double>& point, const std::vector<double>& others,
                             const std::vector<double>& ref);
double exclusive_hypervolume(const std::vector<double>& point,
                             const std::vector<std::vector<double>>& others,
                             const std::vector<double>& ref);

// True when every value of point is finite and strictly below ref.
bool inside_reference(const std::vector<double>& point, const std::vector<double>& ref);

// True for the objectives of a design that cannot take part in a front: a
// value that is not finite, or the penalty of a failed evaluation (the largest
// finite double).
bool failed_objectives(const std::vector<double>& obj);

// Reference point derived from a set of designs' objectives: for each
// objective, the worst value plus a tenth of the range of that objective.
// Designs with failed objectives are ignored. When a range is 0 (or so small
// that the tenth vanishes next to the worst value) the margin is a tenth of
// the worst value's magnitude, or 1 when that value is 0, so that the designs
// still dominate a volume. Empty when no design is usable.
std::vector<double> derive_reference(const std::vector<std::vector<double>>& objectives);

// Reads "r1,r2,..." (one finite number per objective, no empty item); a
// malformed text stops the program with a message that names it and where it
// came from (source, for example "--hv-ref").
std::vector<double> parse_reference(const std::string& text, const std::string& source);

// "r1,r2,..." with each value in the shortest form that reads back exactly,
// so that a printed point can be given again with --hv-ref.
std::string reference_text(const std::vector<double>& ref);

} // namespace HYVU

#endif
