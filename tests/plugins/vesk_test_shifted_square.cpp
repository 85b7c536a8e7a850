// Analyser plug-in for the gradient, swarm and game tests: a shifted square
// for any numbers of variables and objectives,
//
//     obj[k] = sum over i of (dvs[i] - 3 - k)^2,
//
// so objective 0 of a single variable is (x - 3)^2, whose central difference
// at any point is exact up to rounding. Constraints are left as given.
//
// An optional file "shifted_square.dat" in the working directory, read at
// Init, makes the objectives non-finite in part of the space:
//     nan_above L   every objective is NaN when dvs[0] > L
//     inf_above L   every objective is +infinity when dvs[0] > L
//     nan_everywhere_but X   NaN unless dvs[0] == X exactly

#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "ADLL.h"

namespace {

class ShiftedSquare : public ADLL {
public:
    ShiftedSquare(unsigned ndvs_, unsigned nobj_, unsigned nctr_) : ADLL(ndvs_, nobj_, nctr_) {}

    void Init() override {
        std::ifstream is("shifted_square.dat");
        std::string mode;
        double limit = 0.0;
        if (is >> mode >> limit) {
            mMode = mode;
            mLimit = limit;
        }
    }

    void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                        std::vector<double>&) override {
        const double x0 = dvs.empty() ? 0.0 : dvs[0];
        double special = 0.0;
        bool replace = false;
        if (mMode == "nan_above" && x0 > mLimit) {
            special = std::numeric_limits<double>::quiet_NaN();
            replace = true;
        } else if (mMode == "inf_above" && x0 > mLimit) {
            special = std::numeric_limits<double>::infinity();
            replace = true;
        } else if (mMode == "nan_everywhere_but" && x0 != mLimit) {
            special = std::numeric_limits<double>::quiet_NaN();
            replace = true;
        }
        for (size_t k = 0; k < obj.size(); ++k) {
            double sum = 0.0;
            for (double x : dvs) {
                const double d = x - 3.0 - static_cast<double>(k);
                sum += d * d;
            }
            obj[k] = replace ? special : sum;
        }
    }

    ADLL* Copy() const override { return new ShiftedSquare(ndvs, nobj, nctr); }

private:
    std::string mMode;
    double mLimit = 0.0;
};

} // namespace

extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr) {
    return new ShiftedSquare(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                             static_cast<unsigned>(nctr));
}
