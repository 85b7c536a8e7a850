// A shared object that looks like an analyser plug-in but does not export the
// CreateADLL factory (its factory has another name), for the loader tests.

#include <vector>

#include "ADLL.h"

namespace {

class UnreachableADLL : public ADLL {
public:
    UnreachableADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_) : ADLL(ndvs_, nobj_, nctr_) {}
    void Init() override {}
    void EvalIndividual(const std::vector<double>&, std::vector<double>&,
                        std::vector<double>&) override {}
    ADLL* Copy() const override { return new UnreachableADLL(*this); }
};

} // namespace

extern "C" ADLL* CreateAnalyser(int ndvs, int nobj, int nctr) {
    return new UnreachableADLL(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                               static_cast<unsigned>(nctr));
}
