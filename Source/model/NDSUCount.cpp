// Counting the members that dominate each member without comparing every
// pair. A member's rank is one plus that count, so the count itself has to be
// exact (the index of a peeled front would not do).
//
// Constrained dominance splits the population in two: a feasible member
// (violation 0 or more) dominates every infeasible one, infeasible members are
// ordered by their violation alone, and feasible members by Pareto dominance
// of their objectives. The last is the hard part. b Pareto-dominates a when b
// is no larger than a in every objective and differs from a somewhere, so the
// count is "members no larger everywhere" minus the members equal to a. Equal
// objective vectors are merged into one weighted point first; what remains is
// counting, for each point, the weight of the distinct points below it in
// every coordinate:
// - one objective: a prefix sum over the sorted values;
// - two objectives: a sweep in lexicographic order with a Fenwick tree over the
//   second objective, O(N log N);
// - M objectives: divide and conquer on the first coordinate, then on the next
//   one for the pairs that cross the split, down to a Fenwick sweep over the
//   last two coordinates, O(N log^(M-1) N).
// Coordinates are replaced by their dense ranks first, so the work after that
// is on integers, and equal values (0.0 and -0.0 included) get equal ranks.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "model/NDSU.h"
#include "model/POPULATION.h"

namespace NDSU {

namespace {

// Below these sizes comparing pairs directly is cheaper than recursing.
constexpr size_t kSelfDirect = 24;
constexpr size_t kCrossDirect = 512; // |A| * |B|

// Prefix sums of weights over dense ranks 0..size-1.
class Fenwick {
public:
    explicit Fenwick(size_t size) : tree(size + 1, 0) {}
    void Add(uint32_t pos, int64_t weight) {
        for (size_t i = size_t(pos) + 1; i < tree.size(); i += i & (~i + 1))
            tree[i] += weight;
    }
    // The sum of the weights at positions 0..pos.
    int64_t Sum(uint32_t pos) const {
        int64_t s = 0;
        for (size_t i = size_t(pos) + 1; i > 0; i -= i & (~i + 1))
            s += tree[i];
        return s;
    }

private:
    std::vector<int64_t> tree;
};

// Distinct points (each a row of m dense ranks, rows in lexicographic order)
// with weights; Count gives, for each point, the weight of the other points
// that are no larger in every coordinate.
class WeakDominanceCounter {
public:
    WeakDominanceCounter(unsigned m, const std::vector<uint32_t>& coords,
                         const std::vector<uint32_t>& weights, uint32_t last_levels)
        : m(m), coords(coords), weights(weights), below(weights.size(), 0), fenwick(last_levels) {}

    const std::vector<int64_t>& Count() {
        const size_t n = weights.size();
        if (m == 1) {
            // Every earlier point is smaller.
            int64_t sum = 0;
            for (size_t p = 0; p < n; ++p) {
                below[p] = sum;
                sum += weights[p];
            }
        } else if (m == 2) {
            // Earlier points are smaller in the first coordinate, or equal in
            // it and smaller in the second: only the second is left to check.
            for (size_t p = 0; p < n; ++p) {
                below[p] = fenwick.Sum(C(p, 1));
                fenwick.Add(C(p, 1), weights[p]);
            }
        } else if (m > 2) {
            Self(0, n);
        }
        return below;
    }

private:
    uint32_t C(size_t p, unsigned d) const { return coords[p * m + d]; }

    // True when p is no larger than q in coordinates d..m-1.
    bool NoLarger(size_t p, size_t q, unsigned d) const {
        for (unsigned k = d; k < m; ++k)
            if (C(p, k) > C(q, k))
                return false;
        return true;
    }

    // The pairs within [lo, hi). An earlier point can only be below a later
    // one (a later point below an earlier one would be lexicographically
    // smaller), and across the middle the first coordinate is in order
    // already.
    void Self(size_t lo, size_t hi) {
        if (hi - lo <= kSelfDirect) {
            for (size_t q = lo + 1; q < hi; ++q)
                for (size_t p = lo; p < q; ++p)
                    if (NoLarger(p, q, 1))
                        below[q] += weights[p];
            return;
        }
        const size_t mid = lo + (hi - lo) / 2;
        Self(lo, mid);
        Self(mid, hi);
        std::vector<uint32_t> a(mid - lo), b(hi - mid);
        std::iota(a.begin(), a.end(), static_cast<uint32_t>(lo));
        std::iota(b.begin(), b.end(), static_cast<uint32_t>(mid));
        Cross(a, b, 1);
    }

    // Adds to every point of b the weight of the points of a that are no
    // larger in coordinates d..m-1 (the coordinates before d are in order for
    // every such pair already).
    void Cross(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, unsigned d) {
        if (a.empty() || b.empty())
            return;
        if (a.size() * b.size() <= kCrossDirect) {
            for (uint32_t q : b)
                for (uint32_t p : a)
                    if (NoLarger(p, q, d))
                        below[q] += weights[p];
            return;
        }
        // Both sets in one list ordered by coordinate d; on equal values the
        // points of a come first, since "no larger" includes equality.
        struct Item {
            uint32_t key;
            uint32_t from_b;
            uint32_t point;
        };
        std::vector<Item> items;
        items.reserve(a.size() + b.size());
        for (uint32_t p : a)
            items.push_back({C(p, d), 0, p});
        for (uint32_t q : b)
            items.push_back({C(q, d), 1, q});
        std::sort(items.begin(), items.end(), [](const Item& x, const Item& y) {
            return x.key != y.key ? x.key < y.key : x.from_b < y.from_b;
        });
        if (d + 1 == m) {
            int64_t sum = 0;
            for (const Item& it : items) {
                if (it.from_b)
                    below[it.point] += sum;
                else
                    sum += weights[it.point];
            }
        } else if (d + 2 == m) {
            for (const Item& it : items) {
                if (it.from_b)
                    below[it.point] += fenwick.Sum(C(it.point, d + 1));
                else
                    fenwick.Add(C(it.point, d + 1), weights[it.point]);
            }
            for (uint32_t p : a)
                fenwick.Add(C(p, d + 1), -int64_t(weights[p]));
        } else {
            // Split the ordered list in halves: within each half coordinate d
            // still has to be checked, across them only the later coordinates.
            const size_t half = items.size() / 2;
            std::vector<uint32_t> a_low, b_low, a_high, b_high;
            for (size_t i = 0; i < items.size(); ++i) {
                const Item& it = items[i];
                if (i < half)
                    (it.from_b ? b_low : a_low).push_back(it.point);
                else
                    (it.from_b ? b_high : a_high).push_back(it.point);
            }
            items.clear();
            items.shrink_to_fit();
            Cross(a_low, b_low, d);
            Cross(a_high, b_high, d);
            Cross(a_low, b_high, d + 1);
        }
    }

    const unsigned m;
    const std::vector<uint32_t>& coords;
    const std::vector<uint32_t>& weights;
    std::vector<int64_t> below;
    Fenwick fenwick;
};

} // namespace

bool count_dominating(const POPULATION& pop, std::vector<uint32_t>& counts) {
    const unsigned n = pop.GetPopsize();
    counts.assign(n, 0);
    if (n == 0)
        return true;
    const unsigned m = pop[0].GetNobj();
    // One pass over the members, which are scattered in memory: the
    // violations of the infeasible ones and the objectives of the feasible
    // ones are copied out, and everything after works on the copies.
    struct ValueAt {
        double value;
        uint32_t at;
    };
    std::vector<uint32_t> feasible;
    std::vector<double> objectives;
    std::vector<ValueAt> infeasible;
    feasible.reserve(n);
    objectives.reserve(size_t(n) * m);
    for (unsigned i = 0; i < n; ++i) {
        const INDIVIDUAL& ind = pop[i];
        const double v = ind.GetCtrViolation();
        if (std::isnan(v) || ind.GetNobj() != m)
            return false;
        if (v < 0) {
            infeasible.push_back({v, i});
        } else {
            for (double x : ind.GetObj()) {
                if (std::isnan(x))
                    return false;
                objectives.push_back(x);
            }
            feasible.push_back(i);
        }
    }

    // Infeasible members: dominated by every feasible member and by every
    // infeasible one with a strictly smaller violation (a larger value).
    std::sort(infeasible.begin(), infeasible.end(),
              [](const ValueAt& x, const ValueAt& y) { return x.value > y.value; });
    for (size_t k = 0, first = 0; k < infeasible.size(); ++k) {
        if (infeasible[k].value != infeasible[first].value)
            first = k;
        counts[infeasible[k].at] = static_cast<uint32_t>(feasible.size() + first);
    }

    // Feasible members: dense ranks of every objective, as rows of m. The
    // sorts move the keys with their positions rather than reaching the keys
    // through the positions, which costs more than the sort for hundreds of
    // thousands of members (the children of a long run).
    const size_t nf = feasible.size();
    if (nf < 2)
        return true;
    std::vector<ValueAt> values(nf);
    std::vector<uint32_t> dense(nf * m);
    std::vector<uint32_t> levels(m, 0);
    for (unsigned k = 0; k < m; ++k) {
        for (size_t f = 0; f < nf; ++f)
            values[f] = {objectives[f * m + k], static_cast<uint32_t>(f)};
        std::sort(values.begin(), values.end(),
                  [](const ValueAt& x, const ValueAt& y) { return x.value < y.value; });
        uint32_t level = 0;
        for (size_t r = 0; r < nf; ++r) {
            if (r > 0 && values[r].value != values[r - 1].value)
                ++level;
            dense[size_t(values[r].at) * m + k] = level;
        }
        levels[k] = level + 1;
    }

    // Equal rows merge into one weighted point; points in lexicographic order
    // (for up to two objectives the row packs into one 64-bit key).
    std::vector<uint32_t> by(nf);
    auto row = [&](uint32_t x) { return dense.begin() + std::ptrdiff_t(size_t(x) * m); };
    if (m <= 2) {
        struct KeyAt {
            uint64_t key;
            uint32_t at;
        };
        std::vector<KeyAt> keys(nf);
        for (size_t f = 0; f < nf; ++f) {
            const uint64_t first = m > 0 ? dense[f * m] : 0;
            const uint64_t second = m > 1 ? dense[f * m + 1] : 0;
            keys[f] = {first << 32 | second, static_cast<uint32_t>(f)};
        }
        std::sort(keys.begin(), keys.end(),
                  [](const KeyAt& x, const KeyAt& y) { return x.key < y.key; });
        for (size_t r = 0; r < nf; ++r)
            by[r] = keys[r].at;
    } else {
        std::iota(by.begin(), by.end(), 0u);
        std::sort(by.begin(), by.end(), [&](uint32_t x, uint32_t y) {
            return std::lexicographical_compare(row(x), row(x) + m, row(y), row(y) + m);
        });
    }
    std::vector<uint32_t> points, weights, point_of(nf);
    for (size_t r = 0; r < nf; ++r) {
        if (r == 0 || !std::equal(row(by[r]), row(by[r]) + m, row(by[r - 1]))) {
            points.insert(points.end(), row(by[r]), row(by[r]) + m);
            weights.push_back(0);
        }
        ++weights.back();
        point_of[by[r]] = static_cast<uint32_t>(weights.size() - 1);
    }

    WeakDominanceCounter counter(m, points, weights, m > 0 ? levels[m - 1] : 0);
    const std::vector<int64_t>& below = counter.Count();
    for (size_t f = 0; f < nf; ++f)
        counts[feasible[f]] = static_cast<uint32_t>(below[point_of[f]]);
    return true;
}

} // namespace NDSU
