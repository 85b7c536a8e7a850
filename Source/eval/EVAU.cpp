#include "eval/EVAU.h"

#include <chrono>
#include <fstream>
#include <iostream>

#include "eval/ADLL.h"
#include "eval/EvaluationDatabase.h"
#include "model/RunJournal.h"
#include "model/RunOptions.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteria.h"
#include "output/PIOU.h"

EVAU::EVAU(unsigned ndvs, unsigned nobj, unsigned nctr)
    : mCriteriaMet(false), mPlayer(0), mBatch(0), mEvalTimeout(0.0), mNdvs(ndvs), mNobj(nobj),
      mNctr(nctr) {}

void EVAU::Init(unsigned /*popsize*/) {}

EvaluationCounts EVAU::GetEvaluationCounts() const {
    EvaluationCounts counts;
    counts.evaluations = mCounts.evaluations.load();
    counts.replayed = mCounts.replayed.load();
    counts.failed = mCounts.failed.load();
    counts.timed_out = mCounts.timed_out.load();
    counts.nonzero_exits = mCounts.nonzero_exits.load();
    return counts;
}

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
    if (criteria->CheckTerminationCriteria(mCounts.evaluations.load(),
                                           bestfits ? *bestfits : kNoRecord)) {
        mCriteriaMet.store(true);
        std::cout << "Termination criteria has been met" << std::endl;
    }
    return mCriteriaMet.load();
}

void EVAU::ApplyFailurePolicy(EvalResult& result) {
    if (result.outcome == EvalOutcome::Ok) {
        const std::string bad = PIOU::non_finite_value(result.obj, result.ctr);
        if (bad.empty())
            return;
        result.outcome = EvalOutcome::Failed;
        result.problem = "the analyser returned " + bad;
    }
    for (double& v : result.obj)
        v = INDIVIDUAL::kWorst;
    for (double& v : result.ctr)
        v = -INDIVIDUAL::kWorst;
}

bool EVAU::Replay(const std::vector<double>& design, unsigned index, EvalResult& result) const {
    const EvaluationDatabase* db = GetEvaluationDatabase();
    if (db == nullptr)
        return false;
    const EvaluationRow* row = db->FindReplay(mPlayer, mBatch, index, design);
    if (row == nullptr)
        return false;
    result.evaluated = true;
    result.replayed = true;
    result.replay_of = row->id;
    result.recorded = EvaluationDatabase::SamePosition(*row, mPlayer, mBatch, index);
    result.obj = row->obj;
    result.ctr = row->ctr;
    result.outcome = row->outcome;
    result.exit_code = row->exit_status;
    result.seconds = row->seconds;
    result.problem =
        row->outcome == EvalOutcome::Ok ? "" : "as recorded in the evaluation database";
    if (row->outcome == EvalOutcome::Ok && row->exit_status > 0)
        result.problem = "the command ended with exit status " + std::to_string(row->exit_status) +
                         " but wrote complete results (recorded earlier)";
    return true;
}

void EVAU::Record(const std::vector<double>& design, unsigned index,
                  const EvalResult& result) const {
    EvaluationDatabase* db = GetEvaluationDatabase();
    if (db == nullptr || !result.evaluated || result.interrupted || result.recorded)
        return;
    // The time stamp from the steady clock the unit read when the evaluation
    // ended, where it did: one clock reading less per evaluation.
    const double time =
        result.ended > 0.0
            ? result.ended + mClockOffset
            : std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                  .count();
    db->Record(mPlayer, mBatch, index, design, result, time);
}

void EVAU::EndBatch() {
    if (EvaluationDatabase* db = GetEvaluationDatabase())
        db->EndBatch();
    mClockOffset = ClockOffset();
}

double EVAU::ClockOffset() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() -
           duration<double>(steady_clock::now().time_since_epoch()).count();
}

void EVAU::EvaluationsOver() {
    if (EvaluationDatabase* db = GetEvaluationDatabase())
        db->EndOfEvaluations(EvaluationDatabase::HowTheRunEnds(), EvaluationDatabase::SeedsSoFar());
}

void EVAU::Account(const EvalResult& result, unsigned index) {
    if (result.replayed)
        ++mCounts.replayed;
    const std::string design =
        "   Design " + std::to_string(index) + " of batch " + std::to_string(mBatch);
    const std::string where = result.where.empty() ? "" : " (in " + result.where + ")";
    switch (result.outcome) {
    case EvalOutcome::Ok:
        if (result.exit_code > 0) {
            ++mCounts.nonzero_exits;
            std::cout << design << ": " << result.problem << where << "." << std::endl;
        }
        return;
    case EvalOutcome::TimedOut:
        ++mCounts.timed_out;
        std::cout << design << " " << result.problem << where
                  << ": its processes were ended and it gets the penalty." << std::endl;
        break;
    case EvalOutcome::Failed:
        ++mCounts.failed;
        std::cout << design << " failed: " << result.problem << where << "." << std::endl;
        break;
    }
    std::cout << "INF penalty applied!" << std::endl;
    std::cout << "Consider checking analyzer robustness." << std::endl;
}

double EVAU::EffectiveTimeout() const {
    const double line = GetRunOptions().eval_timeout;
    return line > 0.0 ? line : mEvalTimeout;
}

void EVAU::NoteAnalyserFiles(bool external, const std::string& command) {
    const std::string file = external ? command : "prob.dat";
    if (std::ifstream(file))
        RunJournal::NoteInputFile(file);
}
