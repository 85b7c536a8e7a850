#include "model/HYVU.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <numeric>

#include "model/INDIVIDUAL.h"
#include "model/UTILS.h"

namespace {

// Points are kept flat: point k of a set of dimension d is values[k*d .. k*d+d-1].
using Flat = std::vector<double>;

// A product in which an empty extent wins: with values so far apart that an
// extent overflows to infinity, inf * 0 must give 0, never NaN.
double mul(double a, double b) {
    return (a == 0.0 || b == 0.0) ? 0.0 : a * b;
}

// Everything below assumes points strictly inside the reference, so every
// extent ref[i] - p[i] is positive.
bool inside(const double* p, const double* ref, unsigned d) {
    for (unsigned i = 0; i < d; ++i)
        if (!std::isfinite(p[i]) || !(p[i] < ref[i]))
            return false;
    return true;
}

bool weakly_dominates(const double* a, const double* b, unsigned d) {
    for (unsigned i = 0; i < d; ++i)
        if (a[i] > b[i])
            return false;
    return true;
}

double inclusive(const double* p, const double* ref, unsigned d) {
    double v = 1.0;
    for (unsigned i = 0; i < d; ++i)
        v = mul(v, ref[i] - p[i]);
    return v;
}

double hv1(const Flat& pts, size_t n, const double* ref) {
    if (n == 0)
        return 0.0;
    return ref[0] - *std::min_element(pts.begin(), pts.begin() + static_cast<long>(n));
}

// Sweep in increasing first objective: a point below everything seen so far
// adds the strip between its second objective and the lowest one seen, from
// its first objective to the reference.
double hv2(const Flat& pts, size_t n, const double* ref) {
    std::vector<std::array<double, 2>> s(n);
    for (size_t k = 0; k < n; ++k)
        s[k] = {pts[2 * k], pts[2 * k + 1]};
    std::sort(s.begin(), s.end());
    double area = 0.0;
    double lowest = ref[1];
    for (const auto& p : s) {
        if (p[1] < lowest) {
            area += mul(ref[0] - p[0], lowest - p[1]);
            lowest = p[1];
        }
    }
    return area;
}

// The two-objective staircase of the points swept so far, in a balanced tree
// keyed by the first objective (second objective strictly decreasing along
// it), with the area it dominates kept up to date on every insertion.
class Staircase {
public:
    Staircase(double rx, double ry) : rx(rx), ry(ry) {}

    double Area() const { return area; }

    void Insert(double x, double y) {
        auto it = steps.lower_bound(x);
        if (it != steps.end() && it->first == x && it->second <= y)
            return;
        double above = ry; // lower edge of the area dominated just left of x
        if (it != steps.begin()) {
            above = std::prev(it)->second;
            if (above <= y)
                return;
        }
        // The new point lowers the dominated edge to y from x up to the first
        // step that stays (or the reference); the steps it passes over are
        // dominated and go. Each piece added is non-negative.
        double from = x;
        double added = 0.0;
        while (it != steps.end() && it->second >= y) {
            added += mul(it->first - from, above - y);
            from = it->first;
            above = it->second;
            it = steps.erase(it);
        }
        const double to = it != steps.end() ? it->first : rx;
        added += mul(to - from, above - y);
        area += added;
        steps.emplace_hint(it, x, y);
    }

private:
    double rx;
    double ry;
    double area = 0.0;
    std::map<double, double> steps;
};

// Sweep in increasing third objective: between two consecutive levels the
// volume grows by the area of the staircase of the points below.
double hv3(const Flat& pts, size_t n, const double* ref) {
    if (n == 0)
        return 0.0;
    std::vector<std::array<double, 3>> s(n);
    for (size_t k = 0; k < n; ++k)
        s[k] = {pts[3 * k + 2], pts[3 * k], pts[3 * k + 1]};
    // Full ordering, so that the same set gives the same rounding whatever
    // order it came in.
    std::sort(s.begin(), s.end());
    Staircase stairs(ref[0], ref[1]);
    double volume = 0.0;
    double level = s.front()[0];
    for (const auto& p : s) {
        volume += mul(stairs.Area(), p[0] - level);
        level = p[0];
        stairs.Insert(p[1], p[2]);
    }
    return volume + mul(stairs.Area(), ref[2] - level);
}

// Keeps the points that no other point weakly dominates (one copy of
// duplicates), in place; returns how many. After a lexicographic sort a point
// can be weakly dominated only by one before it, so the kept points never
// need to be checked again.
size_t nondominated(Flat& pts, size_t n, unsigned d) {
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const double* pa = pts.data() + a * d;
        const double* pb = pts.data() + b * d;
        return std::lexicographical_compare(pa, pa + d, pb, pb + d);
    });
    Flat kept;
    kept.reserve(n * d);
    size_t m = 0;
    for (size_t k : order) {
        const double* p = &pts[k * d];
        bool dominated = false;
        for (size_t j = 0; j < m && !dominated; ++j)
            dominated = weakly_dominates(&kept[j * d], p, d);
        if (!dominated) {
            kept.insert(kept.end(), p, p + d);
            ++m;
        }
    }
    pts.swap(kept);
    return m;
}

double volume(Flat& pts, size_t n, unsigned d, const double* ref);

// WFG: with the points sorted from the worst last objective to the best, the
// volume is the sum over k of the volume that point k dominates and the points
// after it do not. Those later points limited by point k (component-wise
// maximum) all share point k's last objective, so that exclusive volume is the
// slab height times a volume in one objective fewer.
double wfg(const Flat& pts, size_t n, unsigned d, const double* ref) {
    const unsigned last = d - 1;
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const double ka = pts[a * d + last], kb = pts[b * d + last];
        if (ka != kb)
            return ka > kb;
        const double* pa = pts.data() + a * d;
        const double* pb = pts.data() + b * d;
        return std::lexicographical_compare(pa, pa + d, pb, pb + d);
    });
    double total = 0.0;
    Flat limit;
    for (size_t k = 0; k < n; ++k) {
        const double* p = &pts[order[k] * d];
        double exclusive = inclusive(p, ref, last);
        limit.clear();
        bool covered = false;
        for (size_t j = k + 1; j < n && !covered; ++j) {
            const double* q = &pts[order[j] * d];
            // A later point at least as good in the other objectives leaves
            // point k nothing of its own.
            covered = weakly_dominates(q, p, last);
            for (unsigned i = 0; i < last; ++i)
                limit.push_back(std::max(p[i], q[i]));
        }
        if (covered)
            continue;
        if (!limit.empty()) {
            // volume() reduces a limit set of 4 objectives or more to its
            // non-dominated part first: limiting makes most points collapse.
            const double shadow = volume(limit, limit.size() / last, last, ref);
            exclusive = exclusive > shadow ? exclusive - shadow : 0.0;
        }
        total += mul(ref[last] - p[last], exclusive);
    }
    return total;
}

// Volume of n points of dimension d, all strictly inside ref.
double volume(Flat& pts, size_t n, unsigned d, const double* ref) {
    switch (d) {
    case 1:
        return hv1(pts, n, ref);
    case 2:
        return hv2(pts, n, ref);
    case 3:
        return hv3(pts, n, ref);
    default:
        n = nondominated(pts, n, d);
        return wfg(pts, n, d, ref);
    }
}

bool finite_reference(const std::vector<double>& ref) {
    return !ref.empty() &&
           std::all_of(ref.begin(), ref.end(), [](double r) { return std::isfinite(r); });
}

// Exclusive volume of point against the points that for_each hands to its
// visitor (as pointers to ref.size() values); the visitor returns false to
// stop early.
template <typename ForEach>
double exclusive(const std::vector<double>& point, const std::vector<double>& ref,
                 ForEach for_each) {
    if (!finite_reference(ref) || point.size() != ref.size() ||
        !inside(point.data(), ref.data(), static_cast<unsigned>(ref.size())))
        return 0.0;
    const unsigned d = static_cast<unsigned>(ref.size());
    const double* p = point.data();
    Flat limit;
    bool covered = false;
    for_each([&](const double* q) {
        if (!inside(q, ref.data(), d))
            return true;
        if (weakly_dominates(q, p, d)) {
            covered = true;
            return false;
        }
        for (unsigned i = 0; i < d; ++i)
            limit.push_back(std::max(p[i], q[i]));
        return true;
    });
    if (covered)
        return 0.0;
    const double own = inclusive(p, ref.data(), d);
    const double shadow = volume(limit, limit.size() / d, d, ref.data());
    return own > shadow ? own - shadow : 0.0;
}

} // namespace

namespace HYVU {

bool inside_reference(const std::vector<double>& point, const std::vector<double>& ref) {
    return point.size() == ref.size() && inside(point.data(), ref.data(), ref.size());
}

bool failed_objectives(const std::vector<double>& obj) {
    return std::any_of(obj.begin(), obj.end(), [](double v) {
        return !std::isfinite(v) || std::fabs(v) >= INDIVIDUAL::kWorst;
    });
}

double hypervolume(const std::vector<std::vector<double>>& points, const std::vector<double>& ref) {
    if (!finite_reference(ref))
        return 0.0;
    const unsigned d = static_cast<unsigned>(ref.size());
    Flat pts;
    pts.reserve(points.size() * d);
    for (const auto& p : points)
        if (p.size() == d && inside(p.data(), ref.data(), d))
            pts.insert(pts.end(), p.begin(), p.end());
    return volume(pts, pts.size() / d, d, ref.data());
}

double hypervolume_flat(const std::vector<double>& values, const std::vector<double>& ref) {
    if (!finite_reference(ref))
        return 0.0;
    const unsigned d = static_cast<unsigned>(ref.size());
    Flat pts;
    pts.reserve(values.size());
    for (size_t k = 0; k + d <= values.size(); k += d)
        if (inside(&values[k], ref.data(), d))
            pts.insert(pts.end(), values.begin() + static_cast<long>(k),
                       values.begin() + static_cast<long>(k + d));
    return volume(pts, pts.size() / d, d, ref.data());
}

double exclusive_hypervolume(const std::vector<double>& point, const std::vector<double>& others,
                             const std::vector<double>& ref) {
    const unsigned d = static_cast<unsigned>(ref.size());
    return exclusive(point, ref, [&](auto&& visit) {
        for (size_t k = 0; d > 0 && k + d <= others.size(); k += d)
            if (!visit(&others[k]))
                return;
    });
}

double exclusive_hypervolume(const std::vector<double>& point,
                             const std::vector<std::vector<double>>& others,
                             const std::vector<double>& ref) {
    return exclusive(point, ref, [&](auto&& visit) {
        for (const auto& q : others)
            if (q.size() == ref.size() && !visit(q.data()))
                return;
    });
}

std::vector<double> derive_reference(const std::vector<std::vector<double>>& objectives) {
    std::vector<double> worst, best;
    for (const auto& obj : objectives) {
        if (obj.empty() || failed_objectives(obj))
            continue;
        if (worst.empty()) {
            worst = best = obj;
            continue;
        }
        if (obj.size() != worst.size())
            continue;
        for (size_t i = 0; i < obj.size(); ++i) {
            worst[i] = std::max(worst[i], obj[i]);
            best[i] = std::min(best[i], obj[i]);
        }
    }
    std::vector<double> ref(worst.size());
    for (size_t i = 0; i < worst.size(); ++i) {
        const double w = worst[i];
        double r = w + 0.1 * (w - best[i]);
        if (!(r > w) || !std::isfinite(r))
            r = w + (w != 0.0 ? 0.1 * std::fabs(w) : 1.0);
        if (!(r > w) || !std::isfinite(r))
            r = std::nextafter(w, std::numeric_limits<double>::infinity());
        ref[i] = r;
    }
    return ref;
}

std::vector<double> parse_reference(const std::string& text, const std::string& source) {
    const std::string head = "Hypervolume reference point " + source + " \"" + text + "\" ";
    const std::string expected = "(expected r1,r2,... with one finite number per objective)";
    std::vector<double> ref;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t first = item.find_first_not_of(" \t");
        const size_t end = item.find_last_not_of(" \t");
        item = first == std::string::npos ? "" : item.substr(first, end - first + 1);
        const std::string which = "value " + std::to_string(ref.size() + 1);
        if (item.empty())
            UTILS::Stop({head + "not accepted: " + which + " is empty " + expected + ".",
                         "Program stopped!"});
        char* stop = nullptr;
        const double v = std::strtod(item.c_str(), &stop);
        if (stop == item.c_str() || *stop != '\0')
            UTILS::Stop({head + "not accepted: " + which + " \"" + item + "\" is not a number " +
                             expected + ".",
                         "Program stopped!"});
        if (!std::isfinite(v))
            UTILS::Stop({head + "not accepted: " + which + " \"" + item +
                             "\" is not a finite number " + expected + ".",
                         "Program stopped!"});
        ref.push_back(v);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return ref;
}

std::string reference_text(const std::vector<double>& ref) {
    std::string text;
    for (size_t i = 0; i < ref.size(); ++i) {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof(buffer), ref[i]);
        if (i > 0)
            text += ',';
        text.append(buffer, result.ptr);
    }
    return text;
}

} // namespace HYVU
