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

} // namespace

MyADLL::MyADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_)
    : ADLL(ndvs_, nobj_, nctr_), mProblem(), mCase(Case::Unknown) {}

MyADLL::~MyADLL() {}

MyADLL::Case MyADLL::FindCase(const std::string& name) {
    struct Spelling {
        const char* name;
        Case c;
    };
    static const Spelling kSpellings[] = {
        {"MICHALEWICZ", Case::Michalewicz},
        {"michalewick", Case::Michalewicz},
        {"LEVY", Case::Levy},
        {"levy", Case::Levy},
        {"ACKLEY", Case::Ackley},
        {"ackley", Case::Ackley},
        {"HOLDERTABLE", Case::HolderTable},
        {"holdertable", Case::HolderTable},
        {"EGG", Case::Egg},
        {"egg", Case::Egg},
        {"SIXHUMP", Case::SixHump},
        {"sixhump", Case::SixHump},
        {"SCH1", Case::Sch1},
        {"sch1", Case::Sch1},
        {"SCH2", Case::Sch2},
        {"sch2", Case::Sch2},
        {"FON", Case::Fon},
        {"fon", Case::Fon},
        {"FON_8DOE4", Case::Fon8Doe4},
        {"fon_8doe4", Case::Fon8Doe4},
        {"KUR_INV", Case::KurInv},
        {"kur_inv", Case::KurInv},
        {"KUR", Case::Kur},
        {"kur", Case::Kur},
        {"POL", Case::Pol},
        {"pol", Case::Pol},
        {"VNT", Case::Vnt},
        {"vnt", Case::Vnt},
        {"ZDT1", Case::Zdt1},
        {"zdt1", Case::Zdt1},
        {"ZDT2", Case::Zdt2},
        {"zdt2", Case::Zdt2},
        {"ZDT3", Case::Zdt3},
        {"zdt3", Case::Zdt3},
        {"ZDT4", Case::Zdt4},
        {"zdt4", Case::Zdt4},
        {"ZDT6", Case::Zdt6},
        {"zdt6", Case::Zdt6},
        {"BNH", Case::Bnh},
        {"bnh", Case::Bnh},
        {"OSY", Case::Osy},
        {"osy", Case::Osy},
        {"OSY_DOE_V1", Case::OsyDoeV1},
        {"osy_doe_v1", Case::OsyDoeV1},
        {"OSY_DOE_V2", Case::OsyDoeV2},
        {"osy_doe_v2", Case::OsyDoeV2},
        {"SRN", Case::Srn},
        {"srn", Case::Srn},
        {"TNK", Case::Tnk},
        {"tnk", Case::Tnk},
        {"CTP1", Case::Ctp1},
        {"ctp1", Case::Ctp1},
        {"CTP2", Case::Ctp2},
        {"ctp2", Case::Ctp2},
        {"CTP3", Case::Ctp3},
        {"ctp3", Case::Ctp3},
        {"CTP4", Case::Ctp4},
        {"ctp4", Case::Ctp4},
        {"CTP5", Case::Ctp5},
        {"ctp5", Case::Ctp5},
        {"CTP6", Case::Ctp6},
        {"ctp6", Case::Ctp6},
        {"CTP7", Case::Ctp7},
        {"ctp7", Case::Ctp7},
        {"CTP8", Case::Ctp8},
        {"ctp8", Case::Ctp8},
        {"LZ09_F1", Case::Lz09F1},
        {"lz09_f1", Case::Lz09F1},
        {"LZ09_F1_6DOE3", Case::Lz09F16Doe3},
        {"lz09_f1_6doe3", Case::Lz09F16Doe3},
        {"LZ09_F1_8DOE4", Case::Lz09F18Doe4},
        {"lz09_f1_8doe4", Case::Lz09F18Doe4},
        {"dejong", Case::Dejong},
        {"DEJONG", Case::Dejong},
        {"wsm", Case::Wsm},
        {"WSM", Case::Wsm},
        {"rastringin", Case::Rastringin},
        {"RASTRINGIN", Case::Rastringin},
        {"rhef", Case::Rhef},
        {"RHEF", Case::Rhef},
        {"rosenbrock", Case::Rosenbrock},
        {"ROSENBROCK", Case::Rosenbrock},
        {"schwefel", Case::Schwefel},
        {"SCHWEFEL", Case::Schwefel},
        {"griewangk", Case::Griewangk},
        {"GRIEWANGK", Case::Griewangk},
        {"power", Case::Power},
        {"POWER", Case::Power},
        {"dtlz7", Case::Dtlz7},
        {"DTLZ7", Case::Dtlz7},
        {"x2", Case::X2},
        {"X2", Case::X2},
    };
    for (const auto& s : kSpellings)
        if (name == s.name)
            return s.c;
    return Case::Unknown;
}

unsigned MyADLL::MinimumNdvs(Case c) {
    switch (c) {
    case Case::Lz09F1:
        // The exponents divide by n − 2 and both sums need an index.
        return 3;
    case Case::Dtlz7:
        // Twenty distance variables plus at least one position variable, so
        // that there are at least two objectives.
        return 21;
    default:
        return 1;
    }
}

void MyADLL::StoreName(const std::string& name) {
    mProblem = name;
    mCase = FindCase(name);
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
    const int n = GetNdvs();
    switch (mCase) {
    case Case::Michalewicz:
    case Case::Levy:
    case Case::Ackley:
    case Case::Dejong:
    case Case::Wsm:
    case Case::Rastringin:
    case Case::Rhef:
    case Case::Rosenbrock:
    case Case::Schwefel:
    case Case::Griewangk:
    case Case::Power:
    case Case::X2:
        ndvs_ = n, nobj_ = 1, nctr_ = 0;
        break;
    case Case::HolderTable:
    case Case::Egg:
    case Case::SixHump:
        ndvs_ = 2, nobj_ = 1, nctr_ = 0;
        break;
    case Case::Sch1:
    case Case::Sch2:
        ndvs_ = 1, nobj_ = 2, nctr_ = 0;
        break;
    case Case::Fon:
    case Case::Lz09F1:
        ndvs_ = n, nobj_ = 2, nctr_ = 0;
        break;
    case Case::Fon8Doe4:
    case Case::Lz09F18Doe4:
        ndvs_ = 4, nobj_ = 2, nctr_ = 0;
        break;
    case Case::KurInv:
    case Case::Kur:
    case Case::Lz09F16Doe3:
        ndvs_ = 3, nobj_ = 2, nctr_ = 0;
        break;
    case Case::Pol:
        ndvs_ = 2, nobj_ = 2, nctr_ = 0;
        break;
    case Case::Vnt:
        ndvs_ = 2, nobj_ = 3, nctr_ = 0;
        break;
    case Case::Zdt1:
    case Case::Zdt2:
    case Case::Zdt3:
        ndvs_ = 30, nobj_ = 2, nctr_ = 0;
        break;
    case Case::Zdt4:
    case Case::Zdt6:
        ndvs_ = 10, nobj_ = 2, nctr_ = 0;
        break;
    case Case::Osy:
        ndvs_ = 6, nobj_ = 2, nctr_ = 6;
        break;
    case Case::OsyDoeV1:
    case Case::OsyDoeV2:
        ndvs_ = 3, nobj_ = 2, nctr_ = 6;
        break;
    case Case::Bnh:
    case Case::Srn:
    case Case::Tnk:
    case Case::Ctp1:
    case Case::Ctp8:
        ndvs_ = 2, nobj_ = 2, nctr_ = 2;
        break;
    case Case::Ctp2:
    case Case::Ctp3:
    case Case::Ctp4:
    case Case::Ctp5:
    case Case::Ctp6:
    case Case::Ctp7:
        ndvs_ = 2, nobj_ = 2, nctr_ = 1;
        break;
    case Case::Dtlz7:
        ndvs_ = n, nobj_ = n - 19, nctr_ = 0;
        break;
    case Case::Unknown:
        stop({"Problema no conegut.", mProblem, "Programa aturat!"});
    }
}

void MyADLL::check_params(unsigned ndvs_, unsigned nobj_, unsigned nctr_) {
    // Problems of any size accept the configured count, but their formulas
    // need a minimum; refuse smaller counts here rather than evaluate
    // divisions by zero or objectives that do not exist.
    const unsigned minimum = MinimumNdvs(mCase);
    if (ndvs < minimum)
        stop({"GetNdvs() = " + str(GetNdvs()),
              "Incorrect number of design variables, should be at least NDVS = " + str(minimum),
              "Program stopped!"});
    if (ndvs_ != ndvs)
        stop({"GetNdvs() = " + str(GetNdvs()),
              "Incorrect number of design variables, should be NDVS = " + str(ndvs_),
              "Program stopped!"});
    if (nobj_ != nobj)
        stop({"GetNobj() = " + str(GetNobj()),
              "Incorrect number of objective functions, should be NOBJ = " + str(nobj_),
              "Program stopped!"});
    if (nctr_ != nctr)
        stop({"XXXXXXXXXXXXXXXXXXXXXXXXXXX GetNctr() = " + str(GetNctr()),
              "Incorrect number of constraints, should be NCTR = " + str(nctr_),
              "Program stopped!"});
}

void MyADLL::EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                            std::vector<double>& ctr) {
    // Sizes were validated by Init: dvs has ndvs entries, obj nobj, ctr nctr.
    const unsigned n = ndvs;
    switch (mCase) {
    case Case::Michalewicz: {
        double f = 0.0;
        for (size_t i = 0; i < dvs.size(); ++i) {
            const double x = dvs[i];
            f += std::sin(x) * std::pow(std::sin(static_cast<double>(i + 1) * x * x / kPi), 20);
        }
        obj[0] = -f;
        break;
    }
    case Case::Levy: {
        const size_t len = dvs.size();
        auto w = [&](size_t i) { return 1.0 + (dvs[i] - 1.0) / 4.0; };
        double f = sq(std::sin(kPi * w(0)));
        for (size_t i = 0; i + 1 < len; ++i)
            f += sq(w(i) - 1.0) * (1.0 + 10.0 * sq(std::sin(kPi * w(i) + 1.0)));
        const double wn = w(len - 1);
        f += sq(wn - 1.0) * (1.0 + sq(std::sin(kTwoPi * wn)));
        obj[0] = f;
        break;
    }
    case Case::Ackley: {
        const double len = static_cast<double>(dvs.size());
        double s2 = 0.0, sc = 0.0;
        for (double x : dvs) {
            s2 += x * x;
            sc += std::cos(kTwoPi * x);
        }
        obj[0] = -20.0 * std::exp(-0.2 * std::sqrt(s2 / len)) - std::exp(sc / len) + 20.0 +
                 2.718281828459045;
        break;
    }
    case Case::HolderTable: {
        const double x1 = dvs[0], x2 = dvs[1];
        obj[0] = -std::fabs(std::sin(x1) * std::cos(x2) *
                            std::exp(std::fabs(1.0 - std::sqrt(x1 * x1 + x2 * x2) / kPi)));
        break;
    }
    case Case::Egg: {
        const double x1 = dvs[0], x2 = dvs[1];
        obj[0] = -(x2 + 47.0) * std::sin(std::sqrt(std::fabs(x1 / 2.0 + x2 + 47.0))) -
                 x1 * std::sin(std::sqrt(std::fabs(x1 - (x2 + 47.0))));
        break;
    }
    case Case::SixHump: {
        const double x1 = dvs[0], x2 = dvs[1];
        obj[0] = (4.0 - 2.1 * x1 * x1 + std::pow(x1, 4) / 3.0) * x1 * x1 + x1 * x2 +
                 (-4.0 + 4.0 * x2 * x2) * x2 * x2;
        break;
    }
    case Case::Sch1: {
        const double x = dvs[0];
        obj[0] = x * x;
        obj[1] = sq(x - 2.0);
        break;
    }
    case Case::Sch2: {
        const double x = dvs[0];
        if (x <= 1.0)
            obj[0] = -x;
        else if (x <= 3.0)
            obj[0] = x - 2.0;
        else
            obj[0] = 4.0 - x;
        obj[1] = sq(x - 5.0);
        break;
    }
    case Case::Fon: {
        const double c = 1.0 / std::sqrt(static_cast<double>(n));
        double s1 = 0.0, s2 = 0.0;
        for (unsigned i = 0; i < n; ++i) {
            s1 += sq(dvs[i] - c);
            s2 += sq(dvs[i] + c);
        }
        obj[0] = 1.0 - std::exp(-s1);
        obj[1] = 1.0 - std::exp(-s2);
        break;
    }
    case Case::KurInv:
    case Case::Kur: {
        double fpow = 0.0;
        for (unsigned i = 0; i < 3; ++i)
            fpow += std::pow(std::fabs(dvs[i]), 0.8) + 5.0 * std::sin(std::pow(dvs[i], 3));
        const double fexp = -10.0 * (std::exp(-0.2 * std::sqrt(sq(dvs[0]) + sq(dvs[1]))) +
                                     std::exp(-0.2 * std::sqrt(sq(dvs[1]) + sq(dvs[2]))));
        if (mCase == Case::KurInv) {
            obj[0] = fpow;
            obj[1] = fexp;
        } else {
            obj[0] = fexp;
            obj[1] = fpow;
        }
        break;
    }
    case Case::Pol: {
        const double x1 = dvs[0], x2 = dvs[1];
        const double a1 = 0.8736485623140641, a2 = 2.7485724432686394;
        const double b1 =
            0.5 * std::sin(x1) - 2.0 * std::cos(x1) + std::sin(x2) - 1.5 * std::cos(x2);
        const double b2 =
            1.5 * std::sin(x1) - std::cos(x1) + 2.0 * std::sin(x2) - 0.5 * std::cos(x2);
        obj[0] = 1.0 + sq(a1 - b1) + sq(a2 - b2);
        obj[1] = sq(x1 + 3.0) + sq(x2 + 1.0);
        break;
    }
    case Case::Vnt: {
        const double x1 = dvs[0], x2 = dvs[1];
        const double r = x1 * x1 + x2 * x2;
        obj[0] = 0.5 * r + std::sin(r);
        obj[1] = sq(3.0 * x1 - 2.0 * x2 + 4.0) / 8.0 + sq(x1 - x2 + 1.0) / 27.0 + 15.0;
        obj[2] = 1.0 / (r + 1.0) - 1.1 * std::exp(-r);
        break;
    }
    case Case::Zdt1:
    case Case::Zdt2:
    case Case::Zdt3: {
        double s = 0.0;
        for (unsigned i = 1; i < 30; ++i)
            s += dvs[i];
        const double g = 1.0 + 9.0 * s / 29.0;
        const double f1 = dvs[0];
        obj[0] = f1;
        if (mCase == Case::Zdt1)
            obj[1] = g * (1.0 - std::sqrt(f1 / g));
        else if (mCase == Case::Zdt2)
            obj[1] = g * (1.0 - sq(f1 / g));
        else
            obj[1] = g * (1.0 - std::sqrt(f1 / g) - (f1 / g) * std::sin(kTenPi * f1));
        break;
    }
    case Case::Zdt4: {
        double g = 91.0;
        for (unsigned i = 1; i < 10; ++i)
            g += sq(dvs[i]) - 10.0 * std::cos(4.0 * kPi * dvs[i]);
        const double f1 = dvs[0];
        obj[0] = f1;
        obj[1] = g * (1.0 - std::sqrt(f1 / g));
        break;
    }
    case Case::Zdt6: {
        const double x1 = dvs[0];
        const double f1 = 1.0 - std::exp(-4.0 * x1) * std::pow(std::sin(4.0 * kPi * x1), 6);
        double s = 0.0;
        for (unsigned i = 1; i < 10; ++i)
            s += dvs[i];
        const double g = 1.0 + 9.0 * std::pow(s / 9.0, 0.25);
        obj[0] = f1;
        obj[1] = g * (1.0 - sq(f1 / g));
        break;
    }
    case Case::Bnh: {
        const double x1 = dvs[0], x2 = dvs[1];
        obj[0] = 4.0 * x1 * x1 + 4.0 * x2 * x2;
        obj[1] = sq(x1 - 5.0) + sq(x2 - 5.0);
        ctr[0] = 1.0 - (sq(x1 - 5.0) + x2 * x2) / 25.0;
        ctr[1] = (sq(x1 - 8.0) + sq(x2 + 3.0)) / 7.7 - 1.0;
        break;
    }
    case Case::Osy: {
        const double x1 = dvs[0], x2 = dvs[1], x3 = dvs[2], x4 = dvs[3], x5 = dvs[4], x6 = dvs[5];
        obj[0] = -(25.0 * sq(x1 - 2.0) + sq(x2 - 2.0) + sq(x3 - 1.0) + sq(x4 - 4.0) + sq(x5 - 1.0));
        obj[1] = x1 * x1 + x2 * x2 + x3 * x3 + x4 * x4 + x5 * x5 + x6 * x6;
        ctr[0] = x1 + x2 - 2.0;
        ctr[1] = 1.0 - (x1 + x2) / 6.0;
        ctr[2] = 2.0 - x2 + x1;
        ctr[3] = 2.0 - x1 + 3.0 * x2;
        ctr[4] = 4.0 - sq(x3 - 3.0) - x4;
        ctr[5] = sq(x5 - 3.0) + x6 - 4.0;
        break;
    }
    case Case::Srn: {
        const double x1 = dvs[0], x2 = dvs[1];
        obj[0] = sq(x1 - 2.0) + sq(x2 - 1.0) + 2.0;
        obj[1] = 9.0 * x1 - sq(x2 - 1.0);
        ctr[0] = 1.0 - (x1 * x1 + x2 * x2) / 225.0;
        ctr[1] = 3.0 * x2 / 10.0 - x1 / 10.0 - 1.0;
        break;
    }
    case Case::Tnk: {
        const double x1 = dvs[0], x2 = dvs[1];
        obj[0] = x1;
        obj[1] = x2;
        if (x2 != 0.0)
            ctr[0] = x1 * x1 + x2 * x2 - 1.0 - 0.1 * std::cos(16.0 * std::atan(x1 / x2));
        else
            ctr[0] = x1 * x1 - 1.1;
        ctr[1] = 0.5 - sq(x1 - 0.5) - sq(x2 - 0.5);
        break;
    }
    case Case::Ctp1: {
        const double g = 1.0 + dvs[1];
        const double f1 = dvs[0];
        const double f2 = g * std::exp(-f1 / g);
        obj[0] = f1;
        obj[1] = f2;
        ctr[0] = f2 / (0.858 * std::exp(-0.541 * f1)) - 1.0;
        ctr[1] = f2 / (0.728 * std::exp(-0.295 * f1)) - 1.0;
        break;
    }
    case Case::Ctp2:
    case Case::Ctp3:
    case Case::Ctp4:
    case Case::Ctp5:
    case Case::Ctp6:
    case Case::Ctp7:
    case Case::Ctp8: {
        const double g = 1.0 + dvs[1];
        const double f1 = dvs[0];
        const double f2 = mCase == Case::Ctp3 ? g * (1.0 - f1 / g) : g * (1.0 - std::sqrt(f1 / g));
        obj[0] = f1;
        obj[1] = f2;
        switch (mCase) {
        case Case::Ctp2:
            ctr[0] = ctp_constraint(kCtp2, f1, f2);
            break;
        case Case::Ctp3:
            ctr[0] = ctp_constraint(kCtp3, f1, f2);
            break;
        case Case::Ctp4:
            ctr[0] = ctp_constraint(kCtp4, f1, f2);
            break;
        case Case::Ctp5:
            ctr[0] = ctp_constraint(kCtp5, f1, f2);
            break;
        case Case::Ctp6:
            ctr[0] = ctp_constraint(kCtp6, f1, f2);
            break;
        case Case::Ctp7:
            ctr[0] = ctp_constraint(kCtp7, f1, f2);
            break;
        default:
            ctr[0] = ctp_constraint(kCtp6, f1, f2);
            ctr[1] = ctp_constraint(kCtp8b, f1, f2);
            break;
        }
        break;
    }
    case Case::Lz09F1: {
        // Each sum is normalised by the root of the sum of the squared
        // indices it runs over.
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
        break;
    }
    case Case::Dejong: {
        double f = 0.0;
        for (unsigned i = 0; i < n; ++i)
            f += sq(dvs[i]);
        obj[0] = f;
        break;
    }
    case Case::Wsm: {
        double f = 0.0;
        for (unsigned i = 0; i < n; ++i)
            f += i * sq(dvs[i]);
        obj[0] = f;
        break;
    }
    case Case::Rastringin: {
        double f = 10.0 * n;
        for (unsigned i = 0; i < n; ++i)
            f += i * sq(dvs[i]) - 10.0 * std::cos(kTwoPi * dvs[i]);
        obj[0] = f;
        break;
    }
    case Case::Rhef: {
        // Outer sum over i = 0 … n−1 of the partial sums x1² + … + xi².
        double f = 0.0, partial = 0.0;
        for (unsigned i = 0; i < n; ++i) {
            f += partial;
            partial += sq(dvs[i]);
        }
        obj[0] = f;
        break;
    }
    case Case::Rosenbrock: {
        double f = 0.0;
        for (unsigned i = 0; i + 1 < n; ++i)
            f += 100.0 * sq(dvs[i + 1] - sq(dvs[i])) + sq(1.0 - dvs[i]);
        obj[0] = f;
        break;
    }
    case Case::Schwefel: {
        double f = 0.0;
        for (unsigned i = 0; i < n; ++i)
            f += dvs[i] * std::sin(std::sqrt(std::fabs(dvs[i])));
        obj[0] = f;
        break;
    }
    case Case::Griewangk: {
        double s = 0.0, p = 1.0;
        for (unsigned i = 0; i < n; ++i) {
            s += sq(dvs[i]) / 4000.0;
            p *= std::cos(dvs[i] / std::sqrt(i + 1.0));
        }
        obj[0] = s - p + 1.0;
        break;
    }
    case Case::Power: {
        double f = 0.0;
        for (unsigned i = 0; i < n; ++i)
            f += std::pow(dvs[i], static_cast<int>(i) + 2);
        obj[0] = f;
        break;
    }
    case Case::Dtlz7: {
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
        break;
    }
    case Case::X2: {
        double f = 0.0;
        for (unsigned i = 0; i < n; ++i)
            f += sq(dvs[i] - 0.5);
        obj[0] = f;
        break;
    }
    case Case::Fon8Doe4:
    case Case::OsyDoeV1:
    case Case::OsyDoeV2:
    case Case::Lz09F16Doe3:
    case Case::Lz09F18Doe4:
    case Case::Unknown:
        // No formula: the host's preset values stay.
        break;
    }
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
