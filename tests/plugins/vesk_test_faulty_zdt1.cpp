// Analyser plug-in for the failure-policy tests: ZDT1 (30 variables, 2
// objectives) with one constraint that is always satisfied (1.0), except that
// some designs come back broken, chosen by the digits of the second variable
// so that a seeded run breaks the same designs every time:
//     about 5 % get a NaN objective, about 1 % an objective of -infinity,
//     and about 2 % a NaN constraint.

#include <cmath>
#include <limits>
#include <vector>

#include "ADLL.h"

namespace {

class FaultyZdt1 : public ADLL {
public:
    FaultyZdt1(unsigned ndvs_, unsigned nobj_, unsigned nctr_) : ADLL(ndvs_, nobj_, nctr_) {}

    void Init() override {}

    void EvalIndividual(const std::vector<double>& x, std::vector<double>& obj,
                        std::vector<double>& ctr) override {
        double sum = 0.0;
        for (size_t i = 1; i < x.size(); ++i)
            sum += x[i];
        const double g = 1.0 + 9.0 * sum / static_cast<double>(x.size() - 1);
        obj[0] = x[0];
        obj[1] = g * (1.0 - std::sqrt(x[0] / g));
        for (double& c : ctr)
            c = 1.0;
        const long bucket = static_cast<long>(std::fmod(x[1] * 1e7, 100.0));
        if (bucket < 5)
            obj[1] = std::numeric_limits<double>::quiet_NaN();
        else if (bucket < 6)
            obj[0] = -std::numeric_limits<double>::infinity();
        else if (bucket < 8 && !ctr.empty())
            ctr[0] = std::numeric_limits<double>::quiet_NaN();
    }

    ADLL* Copy() const override { return new FaultyZdt1(ndvs, nobj, nctr); }
};

} // namespace

extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr) {
    return new FaultyZdt1(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                          static_cast<unsigned>(nctr));
}
