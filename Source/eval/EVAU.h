#ifndef VESK_EVAL_EVAU_H
#define VESK_EVAL_EVAU_H

#include <atomic>
#include <string>
#include <vector>

#include "eval/AnalyserCommand.h"
#include "eval/EvalResult.h"
#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "output/ConvergenceWriteManager.h"

class ADLL;
class TerminationCriteria;
class WriteData;

// An evaluation unit: evaluates a population (or one individual) with its
// analysers, counts evaluations, asks the stopping rule after each evaluation,
// writes the evaluation convergence file and appends to the children file.
class EVAU {
public:
    EVAU(unsigned ndvs, unsigned nobj, unsigned nctr);
    EVAU(const EVAU&) = delete;
    EVAU& operator=(const EVAU&) = delete;
    virtual ~EVAU() = default;

    virtual void Init(unsigned popsize);
    // Both return true once the stopping rule has been met.
    virtual bool Compute(POPULATION& pop, TerminationCriteria* criteria,
                         const std::vector<int>& dvsIds, const std::vector<double>& eliteDVs,
                         WriteData* out) = 0;
    virtual bool ComputeInd(INDIVIDUAL& ind, TerminationCriteria* criteria,
                            const std::vector<int>& dvsIds, const std::vector<double>& eliteDVs,
                            WriteData* out) = 0;

    unsigned GetObjEvals() const { return mCounts.evaluations.load(); }
    // Evaluations that failed, that were ended by the time limit, and whose
    // command ended with a non-zero status but wrote complete results.
    unsigned GetFailed() const { return mCounts.failed.load(); }
    unsigned GetTimedOut() const { return mCounts.timed_out.load(); }
    unsigned GetNonZeroExits() const { return mCounts.nonzero_exits.load(); }
    unsigned GetReplayed() const { return mCounts.replayed.load(); }
    // All of the counts at once.
    EvaluationCounts GetEvaluationCounts() const;
    // The run evaluates nothing more (its final post-processing follows):
    // the evaluation database finishes its writing meanwhile.
    static void EvaluationsOver();
    // The player this unit evaluates for in a game (0 outside a game); the
    // evaluation database keys its rows by it.
    void SetPlayer(unsigned player) { mPlayer = player; }
    // Wall-clock limit of one evaluation in seconds (0: none).
    void SetEvalTimeout(double seconds) { mEvalTimeout = seconds; }
    double GetEvalTimeout() const { return mEvalTimeout; }
    bool IsCriteriaMet() const { return mCriteriaMet.load(); }
    void SetNdvs(unsigned n) { mNdvs = n; }
    void SetNobj(unsigned n) { mNobj = n; }
    unsigned GetNdvs() const { return mNdvs; }
    unsigned GetNobj() const { return mNobj; }
    unsigned GetNctr() const { return mNctr; }
    void SetOBjIds(const std::vector<int>& ids) { mOBjIds = ids; }
    void SetDVsIds(const std::vector<int>& ids) { mDVsIds = ids; }
    const std::vector<int>& GetOBjIds() const { return mOBjIds; }
    const std::vector<int>& GetDVsIds() const { return mDVsIds; }
    void InitConvergenceWriteManager(const std::string& file, unsigned nobj,
                                     const std::string& first_title);
    // The analyser as the unit read it: the plug-in or command, its arguments
    // and the essential files and folders.
    const std::string& GetCommandFile() const { return mCommand.file; }
    const std::vector<std::string>& GetArguments() const { return mCommand.arguments; }
    const std::vector<std::string>& GetEssentialFilesAndFolders() const {
        return mCommand.essentials;
    }

protected:
    // The full design the analyser sees: the individual's own variables, with
    // the other players' elite values filled in where this player owns none.
    std::vector<double> FullDesign(const INDIVIDUAL& ind,
                                   const std::vector<double>& eliteDVs) const;
    // The individual's objectives taken from the analyser's full objectives.
    std::vector<double> OwnObjectives(const std::vector<double>& full, unsigned nobj) const;
    // Runs one evaluation and checks that the analyser kept the sizes of the
    // vectors it was given: the only place where analyser results are checked.
    // Returns the error message, empty when the results are usable (evaluation
    // threads must not end the process themselves).
    static std::string RunAnalyser(ADLL& analyser, const std::vector<double>& dvs,
                                   std::vector<double>& obj, std::vector<double>& ctr);
    // Asks the rule (once not yet met) and reports it; returns the flag.
    bool CheckCriteria(TerminationCriteria* criteria, const std::vector<INDIVIDUAL>* bestfits);
    // The failure policy: an evaluation whose values are not all finite
    // fails, and a failed design gets the penalty objectives and violated
    // constraints, so it is never feasible.
    static void ApplyFailurePolicy(EvalResult& result);
    // Counts the outcome and tells the user about a failed, timed-out or
    // unusual evaluation of design index of the current batch. Called in
    // commit order, never by two threads at once.
    void Account(const EvalResult& result, unsigned index);
    // Answers an evaluation from the evaluation database of a resumed run:
    // true (result filled in) when the design was evaluated before.
    bool Replay(const std::vector<double>& design, unsigned index, EvalResult& result) const;
    // Records a completed evaluation in the evaluation database (any thread).
    void Record(const std::vector<double>& design, unsigned index, const EvalResult& result) const;
    // The end of a batch for the evaluation database.
    void EndBatch();
    // The system clock less the steady clock, in seconds: taken again at the
    // end of every batch, so that a time stamp follows the system clock's
    // corrections.
    static double ClockOffset();
    // The time limit that applies: the command line's, else the unit's own.
    double EffectiveTimeout() const;
    // Notes the files an analyser reads that decide its results (an external
    // command's script; the problem file "prob.dat" a plug-in reads), so that
    // a resumed run can tell when they changed.
    static void NoteAnalyserFiles(bool external, const std::string& command);

    std::atomic<bool> mCriteriaMet;
    double mClockOffset = ClockOffset();
    BasicEvaluationCounts<std::atomic<unsigned>> mCounts;
    unsigned mPlayer;
    // Compute and ComputeInd calls so far; the batch the current one is.
    unsigned mBatch;
    double mEvalTimeout;
    AnalyserCommand mCommand;
    std::vector<int> mOBjIds;
    std::vector<int> mDVsIds;
    unsigned mNdvs;
    unsigned mNobj;
    unsigned mNctr;
    ConvergenceWriteManager mEvalConvergence;
};

#endif
