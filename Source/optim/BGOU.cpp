#include "optim/BGOU.h"

#include <algorithm>
#include <cmath>

#include "model/RANU.h"

namespace BGOU {

namespace {

constexpr double kFixed = 1e-14;

// Distribution indices of the two operators: the larger the index, the closer
// a child stays to its parent.
constexpr double kCrossoverEta = 10.0;
constexpr double kMutationEta = 15.0;

// The spread factor of simulated binary crossover is 2 - beta^-(eta + 1). For
// beta at or above this bound the power is below half a unit in the last place
// of 2 (2^-53), so the difference rounds to exactly 2 and the power need not
// be computed; the margin covers the rounding of pow itself.
const double kBetaSpreadIsTwo = std::pow(2.0, 53.0 / (kCrossoverEta + 1.0)) * 1.001;

// Crosses p1 and p2 variable by variable into c1 and c2 (the pair was drawn
// for crossover already).
void CrossVariables(const INDIVIDUAL& p1, const INDIVIDUAL& p2, INDIVIDUAL& c1, INDIVIDUAL& c2,
                    const std::vector<double>& lower, const std::vector<double>& upper,
                    const std::vector<double>& step, RANU& ranu) {
    const unsigned n = p1.GetNdvs();
    for (unsigned i = 0; i < n; ++i) {
        const double x1 = p1.GetDvs(i);
        const double x2 = p2.GetDvs(i);
        const double r = ranu.RandomNum();
        if (r <= 0.5 && std::fabs(x1 - x2) > kFixed) {
            double z1 = x1, z2 = x2;
            if (!(upper[i] - lower[i] < kFixed))
                crossover_dvs(x1, x2, z1, z2, lower[i], upper[i], step[i], ranu);
            c1.SetDv(i, z1);
            c2.SetDv(i, z2);
        } else {
            c1.SetDv(i, x1);
            c2.SetDv(i, x2);
        }
    }
}

// One tournament: x wins when it has the lower rank, or the same rank and a
// strictly larger crowding distance; a full tie goes to y.
unsigned Winner(unsigned x, unsigned y, const POPULATION& pop) {
    const INDIVIDUAL& a = pop[x];
    const INDIVIDUAL& b = pop[y];
    if (a.rank != b.rank)
        return a.rank < b.rank ? x : y;
    return a.crowd_distance > b.crowd_distance ? x : y;
}

} // namespace

void selection(std::vector<unsigned int>& sel, const POPULATION& pop, RANU& ranu) {
    const int n = static_cast<int>(sel.size());
    std::vector<unsigned> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        a[static_cast<size_t>(i)] = b[static_cast<size_t>(i)] = static_cast<unsigned>(i);
    for (int i = 0; i < n; ++i) {
        const int j = ranu.RndInt(i, n - 1);
        std::swap(a[static_cast<size_t>(i)], a[static_cast<size_t>(j)]);
        const int k = ranu.RndInt(i, n - 1);
        std::swap(b[static_cast<size_t>(i)], b[static_cast<size_t>(k)]);
    }
    for (size_t j = 0; j + 1 < sel.size(); j += 2) {
        sel[j] = Winner(a[j], a[j + 1], pop);
        sel[j + 1] = Winner(b[j], b[j + 1], pop);
    }
}

void crossover_pop(const POPULATION& parents, POPULATION& children, std::vector<double> lower,
                   std::vector<double> upper, std::vector<double> step, double pc, RANU& ranu) {
    std::vector<unsigned int> sel(parents.GetPopsize(), 0);
    selection(sel, parents, ranu);
    for (unsigned i = 0; i + 1 < children.GetPopsize(); i += 2) {
        const INDIVIDUAL& p1 = parents[sel[i]];
        const INDIVIDUAL& p2 = parents[sel[i + 1]];
        INDIVIDUAL& c1 = children[i];
        INDIVIDUAL& c2 = children[i + 1];
        crossover_inds(p1, p2, c1, c2, pc, lower, upper, step, ranu);
    }
}

void crossover_inds(const INDIVIDUAL& p1, const INDIVIDUAL& p2, INDIVIDUAL& c1, INDIVIDUAL& c2,
                    const double& pc, const std::vector<double>& lower,
                    const std::vector<double>& upper, const std::vector<double>& step, RANU& ranu) {
    const double r = ranu.RandomNum();
    if (r <= pc) {
        CrossVariables(p1, p2, c1, c2, lower, upper, step, ranu);
    } else {
        // Whole copies keep the parents' evaluations, so an unchanged design is
        // never evaluated twice. The children keep their own record links.
        std::vector<INDIVIDUAL>* link1 = c1.GetBestfitsPtr();
        std::vector<INDIVIDUAL>* link2 = c2.GetBestfitsPtr();
        c1 = p1;
        c2 = p2;
        c1.SetBestfitsPtr(link1);
        c2.SetBestfitsPtr(link2);
    }
}

void crossover_dvs(const double& x1, const double& x2, double& y1, double& y2, const double& lower,
                   const double& upper, const double& step, RANU& ranu) {
    if (upper - lower < kFixed) {
        y1 = x1;
        y2 = x2;
        return;
    }
    const double a = std::min(x1, x2);
    const double b = std::max(x1, x2);
    const double d = b - a;
    const double u = ranu.RandomNum();
    auto spread = [u](double beta) {
        const double alpha =
            beta >= kBetaSpreadIsTwo ? 2.0 : 2.0 - std::pow(beta, -(kCrossoverEta + 1.0));
        const double t = u <= 1.0 / alpha ? alpha * u : 1.0 / (2.0 - alpha * u);
        return t < 0.0 ? 1.0 : std::pow(t, 1.0 / (kCrossoverEta + 1.0));
    };
    const double bq_low = spread(1.0 + 2.0 * (a - lower) / d);
    const double c1 = (a + b - bq_low * d) / 2.0;
    const double bq_up = spread(1.0 + 2.0 * (upper - b) / d);
    const double c2 = (a + b + bq_up * d) / 2.0;
    const double s = ranu.RandomNum();
    if (s <= 0.5) {
        y1 = c2;
        y2 = c1;
    } else {
        y1 = c1;
        y2 = c2;
    }
    RANU::adequate_val_to_step(y1, lower, upper, step);
    RANU::adequate_val_to_step(y2, lower, upper, step);
}

void mutation_pop(POPULATION& pop, std::vector<double> lower, std::vector<double> upper,
                  std::vector<double> step, double pm, RANU& ranu) {
    for (unsigned i = 0; i < pop.GetPopsize(); ++i)
        mutation_ind(pop[i], lower, upper, step, pm, ranu);
}

void mutation_ind(INDIVIDUAL& ind, const std::vector<double>& lower,
                  const std::vector<double>& upper, const std::vector<double>& step,
                  const double& pm, RANU& ranu) {
    // Variable by variable in place: the same as mutating a copy and storing
    // it with SetDvs (which sets each value in order), without the copy.
    const unsigned n = ind.GetNdvs();
    for (unsigned i = 0; i < n; ++i) {
        double x = ind.GetDvs(i);
        const double r = ranu.RandomNum();
        if (r <= pm)
            mutate_dv(x, lower[i], upper[i], step[i], ranu);
        ind.SetDv(i, x);
    }
}

void mutate_dv(double& x, const double& lower, const double& upper, const double& step,
               RANU& ranu) {
    if (upper - lower < kFixed)
        return;
    const double u = ranu.RandomNum();
    const double D = upper - lower;
    const double power = kMutationEta + 1.0;
    const double root = 1.0 / (kMutationEta + 1.0);
    double dq;
    if (u <= 0.5)
        dq = std::pow(2.0 * u + (1.0 - 2.0 * u) * std::pow(1.0 - (x - lower) / D, power), root) -
             1.0;
    else
        dq = 1.0 -
             std::pow(2.0 * (1.0 - u) + 2.0 * (u - 0.5) * std::pow(1.0 - (upper - x) / D, power),
                      root);
    x = x + dq * D;
    RANU::adequate_val_to_step(x, lower, upper, step);
}

} // namespace BGOU
