#ifndef VESK_EVAL_HTCONDOREVAU_H
#define VESK_EVAL_HTCONDOREVAU_H

#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/EVAU.h"

class SCON;

// Evaluates a population as one batch of HTCondor jobs: one job per design
// still to be evaluated, each running the external command in its own initial
// directory with the files "Eval.DVs" in and "Eval.individual" /
// "Eval.constraint" out. Plain optimisers only: game players and single
// evaluations are refused.
class HTCondorEVAU : public EVAU {
public:
    HTCondorEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const nlohmann::json& block);
    HTCondorEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, std::istream& in);
    // Removes the initial directories and the submit file.
    ~HTCondorEVAU() override;

    // Reads "htcondor.QERN", creates popsize initial directories and the job
    // description.
    void Init(unsigned popsize) override;
    bool Compute(POPULATION& pop, TerminationCriteria* criteria, const std::vector<int>& dvsIds,
                 const std::vector<double>& eliteDVs, WriteData* out) override;
    bool ComputeInd(INDIVIDUAL& ind, TerminationCriteria* criteria, const std::vector<int>& dvsIds,
                    const std::vector<double>& eliteDVs, WriteData* out) override;

    unsigned GetAnalyzerType() const { return mAnalyzerType; }
    const std::string& GetCommandFile() const { return mCommandFile; }
    const std::vector<std::string>& GetArguments() const { return mArguments; }
    const std::vector<std::string>& GetEssentialFilesAndFolders() const {
        return mEssentialFilesAndFolders;
    }
    const std::string& GetInitialDirPrefix() const { return mInitialDirPrefix; }
    // The job description (null before Init).
    const SCON* GetJobs() const { return mJobs; }

private:
    void CheckAnalyzerType() const;
    // Notes the job's command and the settings file for the run's record.
    void NoteFiles() const;
    // Makes sure there is an initial directory for every index below n.
    void EnsureInitialDirs(unsigned n);

    unsigned mAnalyzerType;
    std::string mCommandFile;
    std::vector<std::string> mEssentialFilesAndFolders;
    std::vector<std::string> mArguments;
    SCON* mJobs;
    std::string mInitialDirPrefix;
};

#endif
