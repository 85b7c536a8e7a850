#include "eval/EVAU.h"

#include <iostream>

#include "eval/ADLL.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteria.h"

EVAU::EVAU(unsigned ndvs, unsigned nobj, unsigned nctr)
    : mCriteriaMet(false), mObjEvals(0), mNdvs(ndvs), mNobj(nobj), mNctr(nctr) {}

void EVAU::Init(unsigned /*popsize*/) {}

void EVAU::InitConvergenceWriteManager(const std::string& file, unsigned nobj,
                                       const std::string& first_title) {
    mEvalConvergence.Init(file, nobj, first_title);
}

std::vector<double> EVAU::FullDesign(const INDIVIDUAL& ind,
                                     const std::vector<double>& eliteDVs) const {
    if (ind.GetNdvs() == mNdvs)
        return ind.GetDvs();
    std::vector<double> full(mNdvs, 0.0);
    unsigned own = 0;
    for (size_t j = 0; j < eliteDVs.size() && j < full.size(); ++j) {
        const bool owned = j < mDVsIds.size() && mDVsIds[j] != -1;
        if (owned && own < ind.GetNdvs())
            full[j] = ind.GetDvs(own++);
        else if (!owned)
            full[j] = eliteDVs[j];
    }
    return full;
}

std::vector<double> EVAU::OwnObjectives(const std::vector<double>& full, unsigned nobj) const {
    if (nobj == full.size())
        return full;
    std::vector<double> own(nobj, INDIVIDUAL::kWorst);
    unsigned k = 0;
    for (size_t j = 0; j < full.size() && j < mOBjIds.size() && k < nobj; ++j)
        if (mOBjIds[j] != -1)
            own[k++] = full[j];
    return own;
}

std::string EVAU::RunAnalyser(ADLL& analyser, const std::vector<double>& dvs,
                              std::vector<double>& obj, std::vector<double>& ctr) {
    const size_t nobj = obj.size();
    const size_t nctr = ctr.size();
    analyser.EvalIndividual(dvs, obj, ctr);
    if (obj.size() == nobj && ctr.size() == nctr)
        return "";
    return "The analyser returned " + std::to_string(obj.size()) + " objectives and " +
           std::to_string(ctr.size()) + " constraints where " + std::to_string(nobj) + " and " +
           std::to_string(nctr) + " were expected.";
}

bool EVAU::CheckCriteria(TerminationCriteria* criteria, const std::vector<INDIVIDUAL>* bestfits) {
    if (mCriteriaMet.load() || criteria == nullptr)
        return mCriteriaMet.load();
    static const std::vector<INDIVIDUAL> kNoRecord;
    if (criteria->CheckTerminationCriteria(mObjEvals.load(), bestfits ? *bestfits : kNoRecord)) {
        mCriteriaMet.store(true);
        std::cout << "Termination criteria has been met" << std::endl;
    }
    return mCriteriaMet.load();
}
