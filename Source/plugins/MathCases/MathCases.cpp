#include "MathCases.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <sstream>

// Nothing in this file is mutable at namespace scope: the host evaluates with
// one instance per thread, so every instance must work on its own data only.

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kTenPi = 31.41592653589793;

const char* const kProbFile = "prob.dat";

double sq(double v) {
    return v * v;
}

template <typename T> std::string str(T value) {
    std::ostringstream os;
    os << value;
    return os.str();
}

// The plug-in cannot use the program's error helpers: it prints its own lines
// and ends the process itself.
[[noreturn]] void stop(std::initializer_list<std::string> lines) {
    for (const auto& line : lines)
        std::cout << line << '\n';
    std::cout.flush();
    std::exit(1);
}

// Stops on a count the host configured that the problem cannot take: first
// the analyser's own count as its getter shows it, then what it should be.
[[noreturn]] void wrong_count(const std::string& shown, const std::string& what,
                              const std::string& wanted) {
    stop({shown, "Incorrect number of " + what + ", should be " + wanted, "Program stopped!"});
}

// One constraint of the CTP2 ... CTP8 family, normalised so that values of
// zero or more are satisfied:
//   (cθ·u − sθ·f1) / (a·|sin(b·π·(sθ·u + cθ·f1)^p)|^d) − 1,  u = f2 − e.
struct CtpConstraint {
    double cth, sth, e, a, b, p, d;
};

constexpr CtpConstraint kCtp2{0.8090169943749475, -0.5877852522924731, 1.0, 0.2, 10.0, 1.0, 6.0};
constexpr CtpConstraint kCtp3{0.8090169943749475, -0.5877852522924731, 1.0, 0.1, 10.0, 1.0, 0.5};
constexpr CtpConstraint kCtp4{0.8090169943749475, -0.5877852522924731, 1.0, 0.75, 10.0, 1.0, 0.5};
constexpr CtpConstraint kCtp5{0.8090169943749475, -0.5877852522924731, 1.0, 0.1, 10.0, 2.0, 0.5};
constexpr CtpConstraint kCtp6{0.9510565162951535, 0.3090169943749474, -2.0, 40.0, 0.5, 1.0, 2.0};
constexpr CtpConstraint kCtp7{0.9876883405951378, -0.15643446504023087, 0.0, 40.0, 5.0, 1.0, 6.0};
// The second constraint of CTP8 oscillates with 2π, not with CTP7's 5π.
constexpr CtpConstraint kCtp8b{0.9876883405951378, -0.15643446504023087, 0.0, 40.0, 2.0, 1.0, 6.0};

double ctp_constraint(const CtpConstraint& k, double f1, double f2) {
    const double u = f2 - k.e;
    const double lhs = k.cth * u - k.sth * f1;
    const double rhs =
        k.a * std::pow(std::fabs(std::sin(k.b * kPi * std::pow(k.sth * u + k.cth * f1, k.p))), k.d);
    return lhs / rhs - 1.0;
}

// ---- formulas ----
// Each writes the objectives and constraints of one design; n is the
// configured number of design variables. The sizes were validated by Init: x
// has n entries, obj and ctr as many as the problem's row requires.

using Vec = std::vector<double>;

void michalewicz(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    double f = 0.0;
    for (size_t i = 0; i < dvs.size(); ++i) {
        const double x = dvs[i];
        f += std::sin(x) * std::pow(std::sin(static_cast<double>(i + 1) * x * x / kPi), 20);
    }
    obj[0] = -f;
}

void levy(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const size_t len = dvs.size();
    auto w = [&](size_t i) { return 1.0 + (dvs[i] - 1.0) / 4.0; };
    double f = sq(std::sin(kPi * w(0)));
    for (size_t i = 0; i + 1 < len; ++i)
        f += sq(w(i) - 1.0) * (1.0 + 10.0 * sq(std::sin(kPi * w(i) + 1.0)));
    const double wn = w(len - 1);
    f += sq(wn - 1.0) * (1.0 + sq(std::sin(kTwoPi * wn)));
    obj[0] = f;
}

void ackley(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double len = static_cast<double>(dvs.size());
    double s2 = 0.0, sc = 0.0;
    for (double x : dvs) {
        s2 += x * x;
        sc += std::cos(kTwoPi * x);
    }
    obj[0] = -20.0 * std::exp(-0.2 * std::sqrt(s2 / len)) - std::exp(sc / len) + 20.0 +
             2.718281828459045;
}

void holder_table(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x1 = dvs[0], x2 = dvs[1];
    obj[0] = -std::fabs(std::sin(x1) * std::cos(x2) *
                        std::exp(std::fabs(1.0 - std::sqrt(x1 * x1 + x2 * x2) / kPi)));
}

void egg(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x1 = dvs[0], x2 = dvs[1];
    obj[0] = -(x2 + 47.0) * std::sin(std::sqrt(std::fabs(x1 / 2.0 + x2 + 47.0))) -
             x1 * std::sin(std::sqrt(std::fabs(x1 - (x2 + 47.0))));
}

void six_hump(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x1 = dvs[0], x2 = dvs[1];
    obj[0] = (4.0 - 2.1 * x1 * x1 + std::pow(x1, 4) / 3.0) * x1 * x1 + x1 * x2 +
             (-4.0 + 4.0 * x2 * x2) * x2 * x2;
}

void sch1(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x = dvs[0];
    obj[0] = x * x;
    obj[1] = sq(x - 2.0);
}

void sch2(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x = dvs[0];
    if (x <= 1.0)
        obj[0] = -x;
    else if (x <= 3.0)
        obj[0] = x - 2.0;
    else
        obj[0] = 4.0 - x;
    obj[1] = sq(x - 5.0);
}

void fon(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    const double c = 1.0 / std::sqrt(static_cast<double>(n));
    double s1 = 0.0, s2 = 0.0;
    for (unsigned i = 0; i < n; ++i) {
        s1 += sq(dvs[i] - c);
        s2 += sq(dvs[i] + c);
    }
    obj[0] = 1.0 - std::exp(-s1);
    obj[1] = 1.0 - std::exp(-s2);
}

// Kursawe's two sums: the exponential one and the power-and-sine one.
void kursawe_sums(const Vec& dvs, double& fexp, double& fpow) {
    fpow = 0.0;
    for (unsigned i = 0; i < 3; ++i)
        fpow += std::pow(std::fabs(dvs[i]), 0.8) + 5.0 * std::sin(std::pow(dvs[i], 3));
    fexp = -10.0 * (std::exp(-0.2 * std::sqrt(sq(dvs[0]) + sq(dvs[1]))) +
                    std::exp(-0.2 * std::sqrt(sq(dvs[1]) + sq(dvs[2]))));
}

void kur_inv(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    kursawe_sums(dvs, obj[1], obj[0]);
}

void kur(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    kursawe_sums(dvs, obj[0], obj[1]);
}

void pol(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x1 = dvs[0], x2 = dvs[1];
    const double a1 = 0.8736485623140641, a2 = 2.7485724432686394;
    const double b1 = 0.5 * std::sin(x1) - 2.0 * std::cos(x1) + std::sin(x2) - 1.5 * std::cos(x2);
    const double b2 = 1.5 * std::sin(x1) - std::cos(x1) + 2.0 * std::sin(x2) - 0.5 * std::cos(x2);
    obj[0] = 1.0 + sq(a1 - b1) + sq(a2 - b2);
    obj[1] = sq(x1 + 3.0) + sq(x2 + 1.0);
}

void vnt(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x1 = dvs[0], x2 = dvs[1];
    const double r = x1 * x1 + x2 * x2;
    obj[0] = 0.5 * r + std::sin(r);
    obj[1] = sq(3.0 * x1 - 2.0 * x2 + 4.0) / 8.0 + sq(x1 - x2 + 1.0) / 27.0 + 15.0;
    obj[2] = 1.0 / (r + 1.0) - 1.1 * std::exp(-r);
}

// ZDT1 to ZDT3: f1 = x1 and g over the other 29 of exactly 30 variables.
double zdt_g30(const Vec& dvs) {
    double s = 0.0;
    for (unsigned i = 1; i < 30; ++i)
        s += dvs[i];
    return 1.0 + 9.0 * s / 29.0;
}

void zdt1(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double g = zdt_g30(dvs), f1 = dvs[0];
    obj[0] = f1;
    obj[1] = g * (1.0 - std::sqrt(f1 / g));
}

void zdt2(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double g = zdt_g30(dvs), f1 = dvs[0];
    obj[0] = f1;
    obj[1] = g * (1.0 - sq(f1 / g));
}

void zdt3(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double g = zdt_g30(dvs), f1 = dvs[0];
    obj[0] = f1;
    obj[1] = g * (1.0 - std::sqrt(f1 / g) - (f1 / g) * std::sin(kTenPi * f1));
}

void zdt4(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    double g = 91.0;
    for (unsigned i = 1; i < 10; ++i)
        g += sq(dvs[i]) - 10.0 * std::cos(4.0 * kPi * dvs[i]);
    const double f1 = dvs[0];
    obj[0] = f1;
    obj[1] = g * (1.0 - std::sqrt(f1 / g));
}

void zdt6(const Vec& dvs, unsigned, Vec& obj, Vec&) {
    const double x1 = dvs[0];
    const double f1 = 1.0 - std::exp(-4.0 * x1) * std::pow(std::sin(4.0 * kPi * x1), 6);
    double s = 0.0;
    for (unsigned i = 1; i < 10; ++i)
        s += dvs[i];
    const double g = 1.0 + 9.0 * std::pow(s / 9.0, 0.25);
    obj[0] = f1;
    obj[1] = g * (1.0 - sq(f1 / g));
}

void bnh(const Vec& dvs, unsigned, Vec& obj, Vec& ctr) {
    const double x1 = dvs[0], x2 = dvs[1];
    obj[0] = 4.0 * x1 * x1 + 4.0 * x2 * x2;
    obj[1] = sq(x1 - 5.0) + sq(x2 - 5.0);
    ctr[0] = 1.0 - (sq(x1 - 5.0) + x2 * x2) / 25.0;
    ctr[1] = (sq(x1 - 8.0) + sq(x2 + 3.0)) / 7.7 - 1.0;
}

void osy(const Vec& dvs, unsigned, Vec& obj, Vec& ctr) {
    const double x1 = dvs[0], x2 = dvs[1], x3 = dvs[2], x4 = dvs[3], x5 = dvs[4], x6 = dvs[5];
    obj[0] = -(25.0 * sq(x1 - 2.0) + sq(x2 - 2.0) + sq(x3 - 1.0) + sq(x4 - 4.0) + sq(x5 - 1.0));
    obj[1] = x1 * x1 + x2 * x2 + x3 * x3 + x4 * x4 + x5 * x5 + x6 * x6;
    ctr[0] = x1 + x2 - 2.0;
    ctr[1] = 1.0 - (x1 + x2) / 6.0;
    ctr[2] = 2.0 - x2 + x1;
    ctr[3] = 2.0 - x1 + 3.0 * x2;
    ctr[4] = 4.0 - sq(x3 - 3.0) - x4;
    ctr[5] = sq(x5 - 3.0) + x6 - 4.0;
}

void srn(const Vec& dvs, unsigned, Vec& obj, Vec& ctr) {
    const double x1 = dvs[0], x2 = dvs[1];
    obj[0] = sq(x1 - 2.0) + sq(x2 - 1.0) + 2.0;
    obj[1] = 9.0 * x1 - sq(x2 - 1.0);
    ctr[0] = 1.0 - (x1 * x1 + x2 * x2) / 225.0;
    ctr[1] = 3.0 * x2 / 10.0 - x1 / 10.0 - 1.0;
}

void tnk(const Vec& dvs, unsigned, Vec& obj, Vec& ctr) {
    const double x1 = dvs[0], x2 = dvs[1];
    obj[0] = x1;
    obj[1] = x2;
    if (x2 != 0.0)
        ctr[0] = x1 * x1 + x2 * x2 - 1.0 - 0.1 * std::cos(16.0 * std::atan(x1 / x2));
    else
        ctr[0] = x1 * x1 - 1.1;
    ctr[1] = 0.5 - sq(x1 - 0.5) - sq(x2 - 0.5);
}

void ctp1(const Vec& dvs, unsigned, Vec& obj, Vec& ctr) {
    const double g = 1.0 + dvs[1];
    const double f1 = dvs[0];
    const double f2 = g * std::exp(-f1 / g);
    obj[0] = f1;
    obj[1] = f2;
    ctr[0] = f2 / (0.858 * std::exp(-0.541 * f1)) - 1.0;
    ctr[1] = f2 / (0.728 * std::exp(-0.295 * f1)) - 1.0;
}

// CTP2 to CTP8: g = 1 + x2, f1 = x1, f2 = g(1 − √(f1/g)), or g(1 − f1/g) when
// Linear (CTP3), and the first constraint with the problem's parameters K.
template <bool Linear, const CtpConstraint& K>
void ctp(const Vec& dvs, unsigned, Vec& obj, Vec& ctr) {
    const double g = 1.0 + dvs[1];
    const double f1 = dvs[0];
    const double f2 = Linear ? g * (1.0 - f1 / g) : g * (1.0 - std::sqrt(f1 / g));
    obj[0] = f1;
    obj[1] = f2;
    ctr[0] = ctp_constraint(K, f1, f2);
}

void ctp8(const Vec& dvs, unsigned n, Vec& obj, Vec& ctr) {
    ctp<false, kCtp6>(dvs, n, obj, ctr);
    ctr[1] = ctp_constraint(kCtp8b, obj[0], obj[1]);
}

void lz09_f1(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    // Each sum is normalised by the root of the sum of the squared indices it
    // runs over.
    const double x1 = dvs[0];
    double sum_odd = 0.0, sum_even = 0.0, s_odd = 0.0, s_even = 0.0;
    for (unsigned j = 2; j <= n; ++j) {
        const double p = 0.5 * (1.0 + 3.0 * (j - 2.0) / (n - 2.0));
        const double d = dvs[j - 1] - std::pow(x1, p);
        const double jj = static_cast<double>(j) * j;
        if (j % 2 == 1) {
            sum_odd += d * d;
            s_odd += jj;
        } else {
            sum_even += d * d;
            s_even += jj;
        }
    }
    obj[0] = x1 + 2.0 / std::sqrt(s_odd) * sum_odd;
    obj[1] = 1.0 - std::sqrt(x1) + 2.0 / std::sqrt(s_even) * sum_even;
}

void dejong(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double f = 0.0;
    for (unsigned i = 0; i < n; ++i)
        f += sq(dvs[i]);
    obj[0] = f;
}

void wsm(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double f = 0.0;
    for (unsigned i = 0; i < n; ++i)
        f += i * sq(dvs[i]);
    obj[0] = f;
}

void rastringin(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double f = 10.0 * n;
    for (unsigned i = 0; i < n; ++i)
        f += i * sq(dvs[i]) - 10.0 * std::cos(kTwoPi * dvs[i]);
    obj[0] = f;
}

void rhef(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    // Outer sum over i = 0 … n−1 of the partial sums x1² + … + xi².
    double f = 0.0, partial = 0.0;
    for (unsigned i = 0; i < n; ++i) {
        f += partial;
        partial += sq(dvs[i]);
    }
    obj[0] = f;
}

void rosenbrock(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double f = 0.0;
    for (unsigned i = 0; i + 1 < n; ++i)
        f += 100.0 * sq(dvs[i + 1] - sq(dvs[i])) + sq(1.0 - dvs[i]);
    obj[0] = f;
}

void schwefel(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double f = 0.0;
    for (unsigned i = 0; i < n; ++i)
        f += dvs[i] * std::sin(std::sqrt(std::fabs(dvs[i])));
    obj[0] = f;
}

void griewangk(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double s = 0.0, p = 1.0;
    for (unsigned i = 0; i < n; ++i) {
        s += sq(dvs[i]) / 4000.0;
        p *= std::cos(dvs[i] / std::sqrt(i + 1.0));
    }
    obj[0] = s - p + 1.0;
}

void power(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double f = 0.0;
    for (unsigned i = 0; i < n; ++i)
        f += std::pow(dvs[i], static_cast<int>(i) + 2);
    obj[0] = f;
}

void dtlz7(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    const unsigned m = n - 19;
    double g = 0.0;
    for (unsigned i = n - 20; i < n; ++i)
        g += dvs[i];
    g = 1.0 + 9.0 / 20.0 * g;
    double h = m;
    for (unsigned j = 0; j + 1 < m; ++j) {
        obj[j] = dvs[j];
        h -= dvs[j] / (1.0 + g) * (1.0 + std::sin(3.0 * kPi * dvs[j]));
    }
    obj[m - 1] = (1.0 + g) * h;
}

void x2(const Vec& dvs, unsigned n, Vec& obj, Vec&) {
    double f = 0.0;
    for (unsigned i = 0; i < n; ++i)
        f += sq(dvs[i] - 0.5);
    obj[0] = f;
}

// ---- catalogue ----

using Formula = void (*)(const Vec& dvs, unsigned n, Vec& obj, Vec& ctr);

// A size a problem requires: a fixed number, or the configured number of
// design variables n plus an offset.
struct Count {
    bool plus_n;
    int value;
    int Of(int n) const { return plus_n ? n + value : value; }
};

constexpr Count Fixed(int value) {
    return {false, value};
}

constexpr Count NPlus(int offset) {
    return {true, offset};
}

constexpr Count kN = NPlus(0);

} // namespace

struct MyADLL::Problem {
    // Matched exactly, case included.
    std::vector<std::string> names;
    Count ndvs;
    Count nobj;
    int nctr;
    // Smallest number of design variables for which the formula is defined
    // (problems of any size still need at least one variable).
    unsigned min_ndvs;
    // Null for the problems that have sizes but no formula: the host's preset
    // values stay.
    Formula formula;
};

const MyADLL::Problem* MyADLL::FindProblem(const std::string& name) {
    static const Problem kCatalogue[] = {
        {{"MICHALEWICZ", "michalewick"}, kN, Fixed(1), 0, 1, michalewicz},
        {{"LEVY", "levy"}, kN, Fixed(1), 0, 1, levy},
        {{"ACKLEY", "ackley"}, kN, Fixed(1), 0, 1, ackley},
        {{"HOLDERTABLE", "holdertable"}, Fixed(2), Fixed(1), 0, 1, holder_table},
        {{"EGG", "egg"}, Fixed(2), Fixed(1), 0, 1, egg},
        {{"SIXHUMP", "sixhump"}, Fixed(2), Fixed(1), 0, 1, six_hump},
        {{"SCH1", "sch1"}, Fixed(1), Fixed(2), 0, 1, sch1},
        {{"SCH2", "sch2"}, Fixed(1), Fixed(2), 0, 1, sch2},
        {{"FON", "fon"}, kN, Fixed(2), 0, 1, fon},
        {{"FON_8DOE4", "fon_8doe4"}, Fixed(4), Fixed(2), 0, 1, nullptr},
        {{"KUR_INV", "kur_inv"}, Fixed(3), Fixed(2), 0, 1, kur_inv},
        {{"KUR", "kur"}, Fixed(3), Fixed(2), 0, 1, kur},
        {{"POL", "pol"}, Fixed(2), Fixed(2), 0, 1, pol},
        {{"VNT", "vnt"}, Fixed(2), Fixed(3), 0, 1, vnt},
        {{"ZDT1", "zdt1"}, Fixed(30), Fixed(2), 0, 1, zdt1},
        {{"ZDT2", "zdt2"}, Fixed(30), Fixed(2), 0, 1, zdt2},
        {{"ZDT3", "zdt3"}, Fixed(30), Fixed(2), 0, 1, zdt3},
        {{"ZDT4", "zdt4"}, Fixed(10), Fixed(2), 0, 1, zdt4},
        {{"ZDT6", "zdt6"}, Fixed(10), Fixed(2), 0, 1, zdt6},
        {{"BNH", "bnh"}, Fixed(2), Fixed(2), 2, 1, bnh},
        {{"OSY", "osy"}, Fixed(6), Fixed(2), 6, 1, osy},
        {{"OSY_DOE_V1", "osy_doe_v1"}, Fixed(3), Fixed(2), 6, 1, nullptr},
        {{"OSY_DOE_V2", "osy_doe_v2"}, Fixed(3), Fixed(2), 6, 1, nullptr},
        {{"SRN", "srn"}, Fixed(2), Fixed(2), 2, 1, srn},
        {{"TNK", "tnk"}, Fixed(2), Fixed(2), 2, 1, tnk},
        {{"CTP1", "ctp1"}, Fixed(2), Fixed(2), 2, 1, ctp1},
        {{"CTP2", "ctp2"}, Fixed(2), Fixed(2), 1, 1, ctp<false, kCtp2>},
        {{"CTP3", "ctp3"}, Fixed(2), Fixed(2), 1, 1, ctp<true, kCtp3>},
        {{"CTP4", "ctp4"}, Fixed(2), Fixed(2), 1, 1, ctp<false, kCtp4>},
        {{"CTP5", "ctp5"}, Fixed(2), Fixed(2), 1, 1, ctp<false, kCtp5>},
        {{"CTP6", "ctp6"}, Fixed(2), Fixed(2), 1, 1, ctp<false, kCtp6>},
        {{"CTP7", "ctp7"}, Fixed(2), Fixed(2), 1, 1, ctp<false, kCtp7>},
        {{"CTP8", "ctp8"}, Fixed(2), Fixed(2), 2, 1, ctp8},
        // The exponents divide by n − 2 and both sums need an index.
        {{"LZ09_F1", "lz09_f1"}, kN, Fixed(2), 0, 3, lz09_f1},
        {{"LZ09_F1_6DOE3", "lz09_f1_6doe3"}, Fixed(3), Fixed(2), 0, 1, nullptr},
        {{"LZ09_F1_8DOE4", "lz09_f1_8doe4"}, Fixed(4), Fixed(2), 0, 1, nullptr},
        {{"dejong", "DEJONG"}, kN, Fixed(1), 0, 1, dejong},
        {{"wsm", "WSM"}, kN, Fixed(1), 0, 1, wsm},
        {{"rastringin", "RASTRINGIN"}, kN, Fixed(1), 0, 1, rastringin},
        {{"rhef", "RHEF"}, kN, Fixed(1), 0, 1, rhef},
        {{"rosenbrock", "ROSENBROCK"}, kN, Fixed(1), 0, 1, rosenbrock},
        {{"schwefel", "SCHWEFEL"}, kN, Fixed(1), 0, 1, schwefel},
        {{"griewangk", "GRIEWANGK"}, kN, Fixed(1), 0, 1, griewangk},
        {{"power", "POWER"}, kN, Fixed(1), 0, 1, power},
        // Twenty distance variables plus at least one position variable, so
        // that there are at least two objectives.
        {{"dtlz7", "DTLZ7"}, kN, NPlus(-19), 0, 21, dtlz7},
        {{"x2", "X2"}, kN, Fixed(1), 0, 1, x2},
    };
    for (const Problem& problem : kCatalogue)
        for (const std::string& spelling : problem.names)
            if (name == spelling)
                return &problem;
    return nullptr;
}

MyADLL::MyADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_)
    : ADLL(ndvs_, nobj_, nctr_), mProblem(), mRow(nullptr) {}

MyADLL::~MyADLL() {}

void MyADLL::StoreName(const std::string& name) {
    mProblem = name;
    mRow = FindProblem(name);
}

void MyADLL::Init() {
    std::cout << "INICIALITZANT a MyADLL ..." << std::endl;
    Read_prob();
    int nd = 0, no = 0, nc = 0;
    CaseInfo(nd, no, nc);
    std::cout << "Problema = " << mProblem << std::endl;
    check_params(static_cast<unsigned>(nd), static_cast<unsigned>(no), static_cast<unsigned>(nc));
    std::cout << "..." << std::endl;
    std::cout << "MyADLL iniciat!" << std::endl;
}

void MyADLL::Init(const std::string& name) {
    std::cout << "INICIALITZANT a MyADLL ..." << std::endl;
    StoreName(name);
    int nd = 0, no = 0, nc = 0;
    CaseInfo(nd, no, nc);
    std::cout << "Problema = " << mProblem << std::endl;
    check_params(static_cast<unsigned>(nd), static_cast<unsigned>(no), static_cast<unsigned>(nc));
    std::cout << "..." << std::endl;
    std::cout << "MyADLL iniciat!" << std::endl;
}

void MyADLL::SetProblem(std::string name) {
    StoreName(name);
    int nd = 0, no = 0, nc = 0;
    CaseInfo(nd, no, nc);
    check_params(static_cast<unsigned>(nd), static_cast<unsigned>(no), static_cast<unsigned>(nc));
    std::cout << "ndvs = " << nd << std::endl;
    std::cout << "nobj = " << no << std::endl;
    std::cout << "nctr = " << nc << std::endl;
    std::cout << "Problema = " << mProblem << std::endl;
}

void MyADLL::Read_prob() {
    std::ifstream in(kProbFile);
    if (!in)
        stop({std::string("Error: ") + kProbFile + " not found"});
    std::string name;
    in >> name; // an empty file leaves the name empty
    StoreName(name);
}

void MyADLL::CaseInfo(int& ndvs_, int& nobj_, int& nctr_) {
    if (mProblem.empty())
        Read_prob();
    if (mRow == nullptr)
        stop({"Problema no conegut.", mProblem, "Programa aturat!"});
    const int n = GetNdvs();
    ndvs_ = mRow->ndvs.Of(n);
    nobj_ = mRow->nobj.Of(n);
    nctr_ = mRow->nctr;
}

void MyADLL::check_params(unsigned ndvs_, unsigned nobj_, unsigned nctr_) {
    // Problems of any size accept the configured count, but their formulas
    // need a minimum; refuse smaller counts here rather than evaluate
    // divisions by zero or objectives that do not exist.
    const unsigned minimum = mRow != nullptr ? mRow->min_ndvs : 1;
    if (ndvs < minimum)
        wrong_count("GetNdvs() = " + str(GetNdvs()), "design variables",
                    "at least NDVS = " + str(minimum));
    if (ndvs_ != ndvs)
        wrong_count("GetNdvs() = " + str(GetNdvs()), "design variables", "NDVS = " + str(ndvs_));
    if (nobj_ != nobj)
        wrong_count("GetNobj() = " + str(GetNobj()), "objective functions", "NOBJ = " + str(nobj_));
    if (nctr_ != nctr)
        wrong_count("XXXXXXXXXXXXXXXXXXXXXXXXXXX GetNctr() = " + str(GetNctr()), "constraints",
                    "NCTR = " + str(nctr_));
}

void MyADLL::EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                            std::vector<double>& ctr) {
    // An unknown name, or a problem without a formula, leaves the host's
    // preset values.
    if (mRow != nullptr && mRow->formula != nullptr)
        mRow->formula(dvs, ndvs, obj, ctr);
}

ADLL* MyADLL::Copy() const {
    std::cout << "Warning: MyADLL default copy function called!" << std::endl;
    MyADLL* copy = new MyADLL(ndvs, nobj, nctr);
    copy->StoreName(mProblem);
    return copy;
}

extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr) {
    std::cout << "Creating new MyADLL" << std::endl;
    return new MyADLL(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                      static_cast<unsigned>(nctr));
}
