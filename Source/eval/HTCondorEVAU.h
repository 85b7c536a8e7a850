#ifndef VESK_EVAL_HTCONDOREVAU_H
#define VESK_EVAL_HTCONDOREVAU_H

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/BatchEVAU.h"

class SCON;
struct EvalResult;

// Evaluates a population as one batch of HTCondor jobs: one job per design
// still to be evaluated, each running the external command in its own initial
// directory with the files "Eval.DVs" in and "Eval.individual" /
// "Eval.constraint" out. Plain optimisers only: game players and single
// evaluations are refused.
//
// A batch never waits for ever: held jobs are removed (by the pool's
// periodic_remove rule of the submit file, or by the unit when it sees the
// hold in the user log), jobs running past the time limit are removed, and a
// stop request removes the whole batch. Each removed design gets the penalty,
// except after a stop request, when it is left unevaluated.
class HTCondorEVAU : public BatchEVAU {
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

    const std::string& GetInitialDirPrefix() const { return mInitialDirPrefix; }
    // The job description (null before Init).
    const SCON* GetJobs() const { return mJobs.get(); }

private:
    // Notes the job's command and the settings file for the run's record.
    void NoteFiles() const;
    // Makes sure there is an initial directory for every index below n.
    void EnsureInitialDirs(unsigned n);
    // Lets the user who submits (the owner of the run folder, when the
    // program runs as root) write into what the program made for the jobs.
    void GiveToSubmitter(const std::string& path) const;
    // How the job of each queued design ended; one entry per queued design.
    struct JobEnd;
    // Submits the written batch and waits for it, bounded (see the class).
    std::vector<JobEnd> RunBatch(const std::vector<unsigned>& queued);
    // The evaluation of design index from how its job ended.
    EvalResult ResultOf(const JobEnd& job, unsigned index, unsigned nobj, unsigned nctr) const;

    std::unique_ptr<SCON> mJobs;
    std::string mInitialDirPrefix;
};

#endif
