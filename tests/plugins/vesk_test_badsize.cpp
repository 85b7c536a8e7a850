// Analyser plug-in that breaks the analyser contract: it appends one value to
// the objective vector it was given (and leaves the constraints alone), for
// the tests of the evaluation unit's result check.

#include <vector>

#include "ADLL.h"

namespace {

class BadSizeADLL : public ADLL {
public:
    BadSizeADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_) : ADLL(ndvs_, nobj_, nctr_) {}
    void Init() override {}
    void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                        std::vector<double>&) override {
        for (double& o : obj)
            o = dvs.empty() ? 0.0 : dvs[0];
        obj.push_back(0.0);
    }
    ADLL* Copy() const override { return new BadSizeADLL(*this); }
};

} // namespace

extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr) {
    return new BadSizeADLL(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                           static_cast<unsigned>(nctr));
}
