#ifndef VESK_EVAL_ADLL_H
#define VESK_EVAL_ADLL_H

// The analyser interface: turns the design variables of one design into its
// objective and constraint values. This header is the only declaration that
// analyser plug-ins share with the program, so it stays self-contained.

#include <vector>

class ADLL {
public:
    virtual ~ADLL() {}
    // Prepares the analyser after construction and before the first evaluation.
    virtual void Init() = 0;
    // obj and ctr arrive sized (objectives preset to the largest finite double,
    // constraints to 0.0); an analyser must not change their sizes.
    virtual void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                                std::vector<double>& ctr) = 0;
    // A new, independent analyser of the same type and settings; the caller owns it.
    virtual ADLL* Copy() const = 0;

    int GetNdvs() const { return static_cast<int>(ndvs); }
    int GetNobj() const { return static_cast<int>(nobj); }
    int GetNctr() const { return static_cast<int>(nctr); }

protected:
    ADLL() : ndvs(0), nobj(0), nctr(0) {}
    ADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_) : ndvs(ndvs_), nobj(nobj_), nctr(nctr_) {}

    unsigned ndvs;
    unsigned nobj;
    unsigned nctr;
};

// Signature of the factory that every analyser plug-in exports unmangled.
extern "C" {
typedef ADLL* (*CreateADLLFunction)(int ndvs, int nobj, int nctr);
}

#endif
