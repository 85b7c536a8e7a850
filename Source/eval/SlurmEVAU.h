#ifndef VESK_EVAL_SLURMEVAU_H
#define VESK_EVAL_SLURMEVAU_H

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/BatchEVAU.h"
#include "eval/SlurmJobs.h"

// Evaluates a batch of designs as one Slurm job array: one task per design
// still to be evaluated, each running the external command in the folder of
// its population index (on the file system shared with the compute nodes)
// with the files "Eval.DVs" in and "Eval.individual" / "Eval.constraint" out.
// The unit polls the array until every task has ended, enforces the time
// limit of one evaluation itself, and judges each design by its task's state,
// exit code and result files.
class SlurmEVAU : public BatchEVAU {
public:
    // The settings file of extra sbatch options, read from the working folder.
    static const char* const kSettingsFile; // "slurm.QERN"
    // How long past the time limit a running task may go before the unit
    // cancels it: Slurm's own limit is in whole minutes and checked late.
    static constexpr double kLimitMargin = 2.0;

    // How a task came to end, as far as the unit had a hand in it.
    enum class Ending { Own, CancelledAtLimit, CancelledByInterruption };

    SlurmEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const nlohmann::json& block);
    SlurmEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, std::istream& in);
    // Removes the folders and the job script.
    ~SlurmEVAU() override;

    // Creates popsize folders holding the command and the essential files
    // and folders, and writes the job script.
    void Init(unsigned popsize) override;
    bool Compute(POPULATION& pop, TerminationCriteria* criteria, const std::vector<int>& dvsIds,
                 const std::vector<double>& eliteDVs, WriteData* out) override;
    // One design as an array of one task.
    bool ComputeInd(INDIVIDUAL& ind, TerminationCriteria* criteria, const std::vector<int>& dvsIds,
                    const std::vector<double>& eliteDVs, WriteData* out) override;

    const std::vector<std::string>& GetOptions() const { return mOptions; }
    // Folder of population index i, relative to the working folder (empty
    // before Init).
    std::string GetFolder(unsigned i) const;
    const std::string& GetScriptFile() const { return mScriptFile; }

    // The evaluation of a design whose task ended as task says, with its
    // results read from folder into nobj objectives and nctr constraints (the
    // failure policy is not applied yet). limit is the time limit that
    // applied, in seconds.
    static EvalResult Judge(const SlurmJobs::Task& task, Ending ending, const std::string& folder,
                            unsigned nobj, unsigned nctr, double limit);

private:
    void ReadSettings();
    // Makes sure there is a prepared folder for every index below n.
    void EnsureFolders(unsigned n);
    // Evaluates designs[i] (null: nothing to do) in folder i, all in one job
    // array, and stores the results in index order.
    void EvaluateDesigns(const std::vector<INDIVIDUAL*>& designs,
                         const std::vector<double>& eliteDVs,
                         const std::vector<INDIVIDUAL>* bestfits);
    // Runs one job array over indices and waits for all its tasks; returns
    // each index's evaluation (nobj objectives, nctr constraints).
    std::vector<EvalResult> RunArray(const std::vector<unsigned>& indices, unsigned nobj,
                                     unsigned nctr);
    // Cancels the array after a failure of the unit itself and stops the run.
    [[noreturn]] void Abandon(SlurmJobs& jobs, const std::string& problem);

    std::vector<std::string> mOptions;
    // The folder where the run started (absolute), the folder prefix, the
    // number of folders made, and the job script (relative to mRunFolder).
    std::string mRunFolder;
    std::string mFolderPrefix;
    unsigned mFolders;
    std::string mScriptFile;
};

#endif
