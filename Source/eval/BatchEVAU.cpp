#include "eval/BatchEVAU.h"

#include <iostream>

#include "model/UTILS.h"
#include "output/PIOUConfig.h"

BatchEVAU::BatchEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const std::string& scheduler,
                     const nlohmann::json& block)
    : EVAU(ndvs, nobj, nctr), mAnalyzerType(0) {
    std::cout << scheduler << " Evaluation" << std::endl;
    mAnalyzerType = PIOU::json_get<unsigned>(block, "AnalyzerType", "EVAU");
    CheckAnalyzerType(scheduler);
    mCommand = read_analyser_command(block, mEvalTimeout);
    print_analyser_command(mCommand, true);
}

BatchEVAU::BatchEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const std::string& scheduler,
                     std::istream& in)
    : EVAU(ndvs, nobj, nctr), mAnalyzerType(0) {
    std::cout << scheduler << " Evaluation" << std::endl;
    PIOU::read_setting(in, mAnalyzerType, "the analyser type (1 = external command)");
    CheckAnalyzerType(scheduler);
    mCommand = read_analyser_command(in, kBatchCommandWords);
    print_analyser_command(mCommand, false);
}

void BatchEVAU::CheckAnalyzerType(const std::string& scheduler) const {
    if (mAnalyzerType == 0)
        UTILS::Stop({"SO/DLL not available for " + scheduler + " evaluation", "Program stopped!"});
    if (mAnalyzerType != 1)
        UTILS::Stop({"AnalyzerType " + std::to_string(mAnalyzerType) + " not recognized: " +
                         scheduler + " evaluation expects 1 (external command).",
                     "Program stopped!"});
}

void BatchEVAU::Store(INDIVIDUAL& ind, const std::vector<double>& design, unsigned index,
                      const EvalResult& result, const std::vector<INDIVIDUAL>* bestfits) {
    Account(result, index);
    Record(design, index, result);
    ind.SetEval(result.obj, result.ctr);
    ++mCounts.evaluations;
    if (bestfits != nullptr)
        mEvalConvergence.WriteConvergenceToFile(*bestfits, mCounts.evaluations.load());
}
