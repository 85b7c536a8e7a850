#ifndef VESK_EVAL_BATCHEVAU_H
#define VESK_EVAL_BATCHEVAU_H

#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/EVAU.h"

// What the units that run the external command as jobs of a batch scheduler
// (HTCondor, Slurm) have in common: they accept analyser type 1 (external
// command) only, read the command alike, and store the evaluation of each
// design whose job has ended alike.
class BatchEVAU : public EVAU {
public:
    unsigned GetAnalyzerType() const { return mAnalyzerType; }

protected:
    // Announces "<scheduler> Evaluation", reads and checks the analyser type
    // and reads the command; scheduler names the unit in the messages.
    BatchEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const std::string& scheduler,
              const nlohmann::json& block);
    BatchEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const std::string& scheduler,
              std::istream& in);

    // Counts and records the evaluation of design index of the batch (design:
    // the full design the command was given), stores its results in ind and
    // appends the evaluation convergence line.
    void Store(INDIVIDUAL& ind, const std::vector<double>& design, unsigned index,
               const EvalResult& result, const std::vector<INDIVIDUAL>* bestfits);

private:
    void CheckAnalyzerType(const std::string& scheduler) const;

    unsigned mAnalyzerType;
};

#endif
