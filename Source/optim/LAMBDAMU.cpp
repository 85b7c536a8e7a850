#include "optim/LAMBDAMU.h"

#include "optim/BGOU.h"

LAMBDAMU::LAMBDAMU(const nlohmann::json& block) : PopulationOptimizer(block) {}

LAMBDAMU::LAMBDAMU(std::istream& in, unsigned int seed)
    : PopulationOptimizer(
          in, seed, {"LAMBDAMU created.", "> Starting LAMBDAMU", "LAMBDAMU::PostProcessOpt():"}) {
    ReadLegacyBlock(in, "LambdaMu");
}

void LAMBDAMU::Generate() {
    BGOU::crossover_pop(mParents, mChilds, mLower, mUpper, mSteps, mPc, mRanu);
    BGOU::mutation_pop(mChilds, mLower, mUpper, mSteps, mPm, mRanu);
    if (IsActiveGame() && mImmigrantPending) {
        INDIVIDUAL& last = mChilds.back();
        for (unsigned i = 0; i < ndvs; ++i)
            last.SetDv(i, GetEliteDVs(static_cast<unsigned>(GetGlobalDVsIds(i))));
        mImmigrantPending = false;
    }
}

void LAMBDAMU::Inmigrate(const INDIVIDUAL& immigrant, const std::vector<unsigned int>& ids) {
    for (unsigned i = 0; i < ids.size(); ++i) {
        SetEliteDVs(ids[i], immigrant.GetDvs(i));
        mImmigrantPending = true;
    }
}
