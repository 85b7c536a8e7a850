#include "model/INDIVIDUAL.h"

#include "model/UTILS.h"

INDIVIDUAL::INDIVIDUAL(int ndvs, int nobj, int nctr, std::vector<INDIVIDUAL>* bestfits_)
    : rank(1), crowd_distance(0.0), computed(false), ctr_violation(0.0), bestfits(bestfits_),
      dvs(static_cast<size_t>(ndvs > 0 ? ndvs : 0), 0.0),
      obj(static_cast<size_t>(nobj > 0 ? nobj : 0), kWorst),
      ctr(static_cast<size_t>(nctr > 0 ? nctr : 0), 0.0) {}

void INDIVIDUAL::StopDvOutOfRange() {
    UTILS::Stop({"Design variable index out of range", "INDIVIUDAL::SetDV(unit,double)",
                 "Program stopped!"});
}

void INDIVIDUAL::SetDvs(const std::vector<double>& v) {
    for (unsigned i = 0; i < dvs.size(); ++i)
        SetDv(i, v[i]);
}

void INDIVIDUAL::SetCtr(const std::vector<double>& c) {
    ctr_violation = 0.0;
    for (size_t j = 0; j < ctr.size(); ++j) {
        ctr[j] = c[j];
        if (c[j] < 0)
            ctr_violation += c[j];
    }
}

void INDIVIDUAL::SetObj(const std::vector<double>& o) {
    for (size_t i = 0; i < obj.size(); ++i)
        obj[i] = o[i];
    if (bestfits == nullptr || ctr_violation != 0.0)
        return;
    for (size_t i = 0; i < obj.size() && i < bestfits->size(); ++i) {
#pragma omp critical(convergence)
        {
            if ((*bestfits)[i].obj[i] > obj[i])
                (*bestfits)[i] = *this;
        }
    }
}

void INDIVIDUAL::SetEval(const std::vector<double>& o, const std::vector<double>& c) {
    if (!ctr.empty())
        SetCtr(c);
    SetObj(o);
    computed = true;
}
