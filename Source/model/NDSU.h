#ifndef VESK_MODEL_NDSU_H
#define VESK_MODEL_NDSU_H

#include <cstdint>
#include <memory>
#include <vector>

#include "model/INDIVIDUAL.h"

class POPULATION;

// Non-dominated sorting unit: the constrained dominance test, the crowded
// tournament and the comparators used to sort populations.
namespace NDSU {

// The orders of the comparators below on plain values. std::sort needs a
// strict weak ordering; a NaN compared with "<" breaks it and can make the sort
// run past the range, so NaN is ordered after every number, which leaves the
// order of ordinary numbers unchanged.
inline bool less_nan_last(double a, double b) {
    if (a != a)
        return false;
    if (b != b)
        return true;
    return a < b;
}
inline bool greater_nan_last(double a, double b) {
    if (a != a)
        return false;
    if (b != b)
        return true;
    return a > b;
}

// 1 when a dominates b, -1 when b dominates a, 0 otherwise (constrained
// domination: a smaller violation wins, then Pareto dominance of objectives).
int dominance(const INDIVIDUAL& a, const INDIVIDUAL& b);

// True when a wins: lower rank, or equal rank and strictly larger crowding.
bool tournament(const INDIVIDUAL& a, const INDIVIDUAL& b);

// Orders members (by index or by pointer) by ascending objective k.
class compare_fobj {
public:
    compare_fobj(const unsigned int& k, POPULATION* pop) : k(k), pop(pop) {}
    bool operator()(unsigned int i, unsigned int j) const;
    bool operator()(const std::shared_ptr<INDIVIDUAL>& p,
                    const std::shared_ptr<INDIVIDUAL>& q) const;

private:
    unsigned int k;
    POPULATION* pop;
};

// Orders by rank (lower first), then by crowding distance (larger first).
class compare_crowd_distance {
public:
    explicit compare_crowd_distance(POPULATION* pop) : pop(pop) {}
    compare_crowd_distance(const unsigned int& /*k*/, POPULATION* pop) : pop(pop) {}
    bool operator()(const std::shared_ptr<INDIVIDUAL>& p,
                    const std::shared_ptr<INDIVIDUAL>& q) const;

private:
    POPULATION* pop;
};

// For every member, the number of members that dominate it, found without
// comparing every pair: O(N log N) for up to two objectives, O(N log^(M-1) N)
// for M. False, with nothing counted, when a constraint violation or an
// objective of a feasible member is NaN (NaN compares neither way, so dominance
// stops being an order there) or when the members' numbers of objectives
// differ; the caller then compares every pair.
bool count_dominating(const POPULATION& pop, std::vector<uint32_t>& counts);

// Ranks the population completely, builds its fronts and assigns crowding
// distances (boundary members gain a finite bonus of 1e14 per objective).
void assign_rank_crowd_distance(POPULATION& pop);

} // namespace NDSU

#endif
