#ifndef VESK_EVAL_LOCALEVAU_H
#define VESK_EVAL_LOCALEVAU_H

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/ADLL.h"
#include "eval/AnalyserCommand.h"
#include "eval/EVAU.h"

// Evaluates designs in process on several processors: one analyser per
// OpenMP thread, either instances from an analyser plug-in or external-command
// analysers.
class LocalEVAU : public EVAU {
public:
    LocalEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, unsigned ncpu,
              const nlohmann::json& block);
    LocalEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, unsigned ncpu, std::istream& in);
    ~LocalEVAU() override;

    void Init(unsigned popsize) override;
    bool Compute(POPULATION& pop, TerminationCriteria* criteria, const std::vector<int>& dvsIds,
                 const std::vector<double>& eliteDVs, WriteData* out) override;
    bool ComputeInd(INDIVIDUAL& ind, TerminationCriteria* criteria, const std::vector<int>& dvsIds,
                    const std::vector<double>& eliteDVs, WriteData* out) override;

    // Loads the plug-in (once per process; later calls reuse the handle) and
    // returns a new analyser from its CreateADLL factory.
    static std::unique_ptr<ADLL> LoadDynamicLibrary(const std::string& path, int ndvs, int nobj,
                                                    int nctr);

    int GetNcpu() const { return mNcpu; }
    int GetAnalyzerType() const { return mAnalyzerType; }

private:
    void CheckProcessors(unsigned ncpu);
    void CheckAnalyzerType() const;
    // Runs analyser t on ind (no shared state is touched) and applies the
    // failure policy to what it returned.
    // A design recorded by the run being resumed is answered from the
    // evaluation database instead; every other result is recorded there.
    void Analyse(const INDIVIDUAL& ind, unsigned index, unsigned t,
                 const std::vector<double>& eliteDVs, unsigned nobj, unsigned nctr,
                 EvalResult& result) const;
    // Stores the results, counts the evaluation, asks the stopping rule, writes
    // the convergence line and appends the design to the children file.
    void Commit(INDIVIDUAL& ind, const EvalResult& result, unsigned index,
                TerminationCriteria* criteria, const std::vector<INDIVIDUAL>* bestfits,
                WriteData* out);
    // The children file's records of a batch are gathered and written in one
    // go (FlushChildren): opening the file once per record cost more than the
    // evaluation of a fast analyser. A slow evaluation (as the evaluation
    // database counts it) flushes at once, so that a kill loses no record of
    // an expensive simulation; the database commits at the same moments.
    void AppendChild(const INDIVIDUAL& ind, double seconds, WriteData* out);
    void FlushChildren(WriteData* out);
    // Ends the batch's ASCII records with the column header line.
    void AppendChildrenHeader(unsigned nobj, unsigned ndvs, unsigned nctr, WriteData* out) const;

    int mNcpu;
    std::vector<std::unique_ptr<ADLL>> mAnalysers;
    int mAnalyzerType;
    std::string mChildRecords;
};

#endif
