#include "eval/HTCondorEVAU.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "eval/OSAU.h"
#include "eval/SCON.h"
#include "model/INTU.h"
#include "model/RunJournal.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteria.h"
#include "output/PIOU.h"
#include "output/WriteData.h"

namespace {
const char* const kSettingsFile = "htcondor.QERN";
// A held job waits for someone to release or remove it, and condor_wait
// with it. The schedd removes held jobs by this rule at its periodic
// evaluation (every minute by default), even when this program is gone; the
// unit also removes the holds it sees in the log, which is quicker.
const char* const kRemoveHeldRule = "periodic_remove = (JobStatus == 5)";
// The longest single condor_wait: how late a hold in the log may be acted on.
const double kLongestSlice = 10.0;
// With a time limit: the longest single condor_wait, so that the start of a
// job is seen (and its time counted) within this many seconds.
const double kTimedSlice = 5.0;
// How long jobs may take to leave the queue after condor_rm before the unit
// stops waiting for them.
const double kRemovalGrace = 60.0;
// After a stop request: how long the removed jobs may take to end.
const unsigned kStopGrace = 15;

using Clock = std::chrono::steady_clock;

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// A number of seconds as a stream prints it (the local unit's form).
std::string SecondsText(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}
} // namespace

// How the job of a queued design ended, as far as the unit is concerned.
struct HTCondorEVAU::JobEnd {
    enum Kind {
        Ended,       // it terminated, or left the queue by itself (the log says how)
        TimedOut,    // removed for running past the time limit
        Interrupted, // removed because the run was asked to stop
        Lost         // removed, but it never left the queue
    };
    Kind kind = Ended;
    SCON::JobState state;
};

HTCondorEVAU::HTCondorEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const nlohmann::json& block)
    : BatchEVAU(ndvs, nobj, nctr, "HTCondor", block), mJobs(nullptr) {
    NoteFiles();
}

HTCondorEVAU::HTCondorEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, std::istream& in)
    : BatchEVAU(ndvs, nobj, nctr, "HTCondor", in), mJobs(nullptr) {
    NoteFiles();
}

void HTCondorEVAU::NoteFiles() const {
    NoteAnalyserFiles(true, mCommand.file);
    if (std::ifstream(kSettingsFile))
        RunJournal::NoteInputFile(kSettingsFile);
}

HTCondorEVAU::~HTCondorEVAU() {
    if (mJobs != nullptr) {
        mJobs->DeleteInitialDirs(-1);
        mJobs.reset();
    }
}

void HTCondorEVAU::Init(unsigned popsize) {
    std::ostringstream tag;
    tag << static_cast<const void*>(this);
    std::cout << "HTCondorEVAU::Init()" << std::endl;
    if (mJobs != nullptr) {
        mJobs->DeleteInitialDirs(-1);
        mJobs.reset();
    }
    mInitialDirPrefix = tag.str() + "condorInd";
    mJobs = std::make_unique<SCON>(mCommand.file);
    mJobs->ReadConfig(kSettingsFile);
    mJobs->SetQueue(static_cast<int>(popsize));
    mJobs->CreateInitialDirs(mInitialDirPrefix);
    for (unsigned i = 0; i < popsize; ++i)
        GiveToSubmitter(mJobs->GetInitialDir(static_cast<int>(i)));
    // Transfer paths are relative to the initial directory, one level below
    // the directory where the program runs.
    mJobs->AddTransferInputFile(PIOU::kEvalDVsFile, false);
    for (const auto& entry : mCommand.essentials)
        mJobs->AddTransferInputFile(!entry.empty() && entry[0] == '/' ? entry : "../" + entry,
                                    false);
    for (const auto& arg : mCommand.arguments)
        mJobs->AddArgument(arg);
    mJobs->AddTransferOutputFile(PIOU::kEvalObjectivesFile);
    if (mNctr != 0)
        mJobs->AddTransferOutputFile(PIOU::kEvalConstraintsFile);
    mJobs->AddCustomLine(kRemoveHeldRule);
    mJobs->SetSubmitFilename(tag.str() + "submit.condor");
    mJobs->SetLogFile(tag.str() + "log.condor");
    std::cout << "Done." << std::endl;
}

void HTCondorEVAU::EnsureInitialDirs(unsigned n) {
    const unsigned have = static_cast<unsigned>(mJobs->GetQueue());
    if (n <= have)
        return;
    // A population larger than the one announced to Init gets directories for
    // its extra designs instead of losing them; they are removed with the others.
    std::cout << "* Population of " << n << " individuals, larger than the " << have
              << " initial dirs: creating the missing ones." << std::endl;
    mJobs->SetQueue(static_cast<int>(n));
    for (unsigned i = have; i < n; ++i) {
        OSAU::mkdir(mJobs->GetInitialDir(static_cast<int>(i)));
        GiveToSubmitter(mJobs->GetInitialDir(static_cast<int>(i)));
    }
}

void HTCondorEVAU::GiveToSubmitter(const std::string& path) const {
    // HTCondor runs each job as the user who submitted it, and writes the
    // job's results into its initial directory as that user. When this
    // program runs as root the pool takes the owner of the run folder for
    // that user (root may not submit), so what root creates here goes to
    // that owner; otherwise the submitter is this program's own user.
    const int error = OSAU::give_to_owner_of(path, ".");
    if (error != 0)
        std::cout << "* Could not give " << path
                  << " to the owner of the run folder: " << std::strerror(error)
                  << "; its job may not be able to write its results." << std::endl;
}

std::vector<HTCondorEVAU::JobEnd> HTCondorEVAU::RunBatch(const std::vector<unsigned>& queued) {
    const size_t n = queued.size();
    std::vector<JobEnd> jobs(n);
    if (INTU::Requested()) {
        // Asked to stop before the batch went out: nothing to submit.
        for (JobEnd& job : jobs)
            job.kind = JobEnd::Interrupted;
        return jobs;
    }
    // A log left behind by an interrupted run would hold jobs that never end.
    OSAU::rmfile(mJobs->GetLogFile());
    mJobs->WriteSubmitFile(queued);
    const int submitted = mJobs->Submit();
    if (submitted != 0)
        UTILS::Stop({"* Command condor_submit " + mJobs->GetSubmitFile() + " failed with " +
                         OSAU::status_text(submitted) + ".",
                     "Program stopped!"});

    // The jobs are the processes 0 .. n-1 of the cluster, in queue order. The
    // wait is a series of bounded condor_wait calls; between them the log
    // tells which jobs started, ended or are held. A job's time is counted
    // from the first reading of the log that shows it executing (a job that
    // waits for a slot has not started), so it gets at least the time limit
    // and at most one wait longer.
    const double limit = EffectiveTimeout();
    std::vector<bool> seen_started(n, false), removing(n, false), overdue(n, false),
        stopping(n, false), given_up(n, false);
    std::vector<Clock::time_point> started(n), removal_asked(n);
    std::cout << "* Waiting jobs to end ..." << std::endl;
    std::cout << "* Command: condor_wait -wait <seconds> " << mJobs->GetLogFile()
              << " (repeated while jobs remain"
              << (limit > 0.0 ? ", each job limited to " + SecondsText(limit) + " s" : "") << ")"
              << std::endl;
    auto read_log = [&]() {
        const std::map<int, SCON::JobState> log = mJobs->ReadLog();
        for (size_t j = 0; j < n; ++j) {
            const auto it = log.find(static_cast<int>(j));
            if (it != log.end())
                jobs[j].state = it->second;
        }
    };
    auto job_name = [&](size_t j) {
        return "* Job " + std::to_string(mJobs->GetCluster()) + "." + std::to_string(j) +
               " (design " + std::to_string(queued[j]) + ")";
    };
    while (true) {
        read_log();
        const auto now = Clock::now();
        if (INTU::Requested()) {
            // Whatever still runs is removed and its design left unevaluated;
            // what ended before the request keeps its results.
            std::cout << "* Stop requested: removing the jobs of the batch." << std::endl;
            for (size_t j = 0; j < n; ++j)
                stopping[j] = !jobs[j].state.ended;
            if (mJobs->Remove({}) != -1)
                mJobs->WaitFor(kStopGrace, false);
            read_log();
            break;
        }
        std::vector<int> to_remove;
        size_t remaining = 0;
        double wake = kLongestSlice;
        for (size_t j = 0; j < n; ++j) {
            const SCON::JobState& state = jobs[j].state;
            if (state.ended || given_up[j])
                continue;
            if (state.started && !seen_started[j]) {
                seen_started[j] = true;
                started[j] = now;
            }
            if (removing[j]) {
                if (SecondsBetween(removal_asked[j], now) > kRemovalGrace) {
                    std::cout << job_name(j) << " has not left the queue " << kRemovalGrace
                              << " s after condor_rm: no longer waiting for it." << std::endl;
                    given_up[j] = true;
                } else {
                    ++remaining;
                }
                continue;
            }
            ++remaining;
            if (state.held) {
                std::cout << job_name(j) << " is held: " << state.hold_reason << std::endl;
                to_remove.push_back(static_cast<int>(j));
            } else if (limit > 0.0 && seen_started[j]) {
                const double left = limit - SecondsBetween(started[j], now);
                if (left <= 0.0) {
                    std::cout << job_name(j) << " has run past the time limit of "
                              << SecondsText(limit) << " s." << std::endl;
                    overdue[j] = true;
                    to_remove.push_back(static_cast<int>(j));
                } else {
                    wake = std::min(wake, left);
                }
            } else if (limit > 0.0) {
                // Not started yet: with a short limit, look again sooner.
                wake = std::min(wake, std::max(1.0, limit / 4.0));
            }
        }
        // Under a time limit a job that starts during a wait is seen at its
        // end, and its time counted from then: the waits are kept short.
        if (limit > 0.0)
            wake = std::min(wake, kTimedSlice);
        if (!to_remove.empty()) {
            const bool known = mJobs->Remove(to_remove) != -1;
            if (!known)
                std::cout << "* The cluster of the batch is not known: its jobs cannot be removed."
                          << std::endl;
            for (int j : to_remove) {
                removing[static_cast<size_t>(j)] = true;
                removal_asked[static_cast<size_t>(j)] = now;
                given_up[static_cast<size_t>(j)] = !known;
            }
            // The log is read again before waiting: removals show at once.
            continue;
        }
        if (remaining == 0)
            break;
        const unsigned slice = static_cast<unsigned>(std::ceil(std::max(1.0, wake)));
        const SCON::WaitResult waited = mJobs->WaitFor(slice, true);
        if (waited.status == 0)
            std::cout << waited.output << std::flush;
        if (waited.interrupted || waited.expired || waited.status == 0)
            continue;
        // condor_wait failed. When the log shows every job ended, the failure
        // was about the jobs (one that could not start), and their designs
        // say so; otherwise there is nothing to wait on.
        read_log();
        bool all_ended = true;
        for (size_t j = 0; j < n; ++j)
            all_ended = all_ended && (jobs[j].state.ended || given_up[j]);
        if (all_ended)
            continue;
        std::cout << waited.output << std::flush;
        mJobs->Remove({});
        UTILS::Stop({"* Command condor_wait " + mJobs->GetLogFile() + " failed with " +
                         OSAU::status_text(waited.status) + ".",
                     "Program stopped!"});
    }
    std::cout << "* Done!" << std::endl;
    for (size_t j = 0; j < n; ++j) {
        const SCON::JobState& state = jobs[j].state;
        // A job that terminated by itself keeps its results, whatever was
        // asked of it meanwhile.
        const bool removed = !state.ended || state.aborted;
        if (stopping[j] && removed)
            jobs[j].kind = JobEnd::Interrupted;
        else if (overdue[j] && removed)
            jobs[j].kind = JobEnd::TimedOut;
        else if (!state.ended)
            jobs[j].kind = JobEnd::Lost;
    }
    return jobs;
}

EvalResult HTCondorEVAU::ResultOf(const JobEnd& job, unsigned index, unsigned nobj,
                                  unsigned nctr) const {
    EvalResult result;
    result.evaluated = true;
    result.obj.assign(nobj, 0.0);
    result.ctr.assign(nctr, 0.0);
    result.where = mJobs->GetInitialDir(static_cast<int>(index));
    const SCON::JobState& state = job.state;
    switch (job.kind) {
    case JobEnd::Interrupted:
        // Nothing to store: the design is evaluated again when the run resumes.
        result.evaluated = false;
        result.interrupted = true;
        return result;
    case JobEnd::TimedOut:
        result.outcome = EvalOutcome::TimedOut;
        result.problem = "timed out after " + SecondsText(EffectiveTimeout()) + " s";
        break;
    case JobEnd::Lost:
        result.outcome = EvalOutcome::Failed;
        result.problem = "its job did not leave the HTCondor queue after condor_rm";
        break;
    case JobEnd::Ended:
        if (state.aborted) {
            result.outcome = EvalOutcome::Failed;
            if (!state.hold_reason.empty())
                result.problem = "held: " + state.hold_reason;
            else
                result.problem = "its job was removed from the HTCondor queue" +
                                 (state.abort_reason.empty() ? "" : ": " + state.abort_reason);
        } else if (state.signal > 0) {
            result.exit_code = 128 + state.signal;
            result.outcome = EvalOutcome::Failed;
            result.problem = "the job was killed by signal " + std::to_string(state.signal);
        } else {
            result.exit_code = state.exit_code;
            result.problem = PIOU::read_eval_results(result.obj, result.ctr, result.where);
            const std::string status =
                "the job ended with exit status " + std::to_string(state.exit_code);
            if (!result.problem.empty()) {
                result.outcome = EvalOutcome::Failed;
                if (state.exit_code > 0)
                    result.problem += " (" + status + ")";
            } else if (state.exit_code > 0) {
                result.problem = status + " but wrote complete results, which are kept";
            }
        }
        break;
    }
    ApplyFailurePolicy(result);
    return result;
}

bool HTCondorEVAU::Compute(POPULATION& pop, TerminationCriteria* criteria,
                           const std::vector<int>& /*dvsIds*/, const std::vector<double>& eliteDVs,
                           WriteData* out) {
    mCriteriaMet.store(false);
    if (!eliteDVs.empty())
        UTILS::Stop({"GameAlgorithm not compatible with HTCondor", "Implementation required",
                     "Program stopped!"});
    if (mJobs == nullptr)
        UTILS::Stop(
            {"HTCondorEVAU::Compute called before HTCondorEVAU::Init.", "Program stopped!"});
    const unsigned n = pop.GetPopsize();
    EnsureInitialDirs(n);

    // Results left in an initial directory by an earlier generation are
    // removed first: a job that writes none must not pass them off as its own.
    // A design whose directory cannot be prepared runs no job and gets the
    // penalty below.
    std::vector<unsigned> queued;
    std::vector<EvalResult> replayed(n);
    for (unsigned i = 0; i < n; ++i) {
        const INDIVIDUAL& ind = pop[i];
        if (ind.IsComputed() || Replay(ind.GetDvs(), i, replayed[i]))
            continue;
        const std::string dir = mJobs->GetInitialDir(static_cast<int>(i));
        if (PIOU::clear_eval_results(dir) && PIOU::write_eval_dvs(ind.GetDvs(), dir)) {
            GiveToSubmitter(OSAU::dirappend(dir, PIOU::kEvalDVsFile));
            queued.push_back(i);
        }
    }

    std::vector<JobEnd> ends;
    if (queued.empty()) {
        // An empty batch is not submitted: there would be no job to wait for.
        std::cout << "* No jobs to submit." << std::endl;
    } else {
        ends = RunBatch(queued);
        mJobs->DeleteLogFile();
    }
    std::vector<const JobEnd*> job_of(n, nullptr);
    for (size_t j = 0; j < queued.size(); ++j)
        job_of[queued[j]] = &ends[j];

    const std::vector<INDIVIDUAL>* bestfits = pop.GetBestfitsPtr();
    for (unsigned i = 0; i < n; ++i) {
        INDIVIDUAL& ind = pop[i];
        if (ind.IsComputed())
            continue;
        EvalResult result;
        if (replayed[i].replayed) {
            result = replayed[i];
        } else if (job_of[i] != nullptr) {
            result = ResultOf(*job_of[i], i, pop.GetNobj(), pop.GetNctr());
            // A design whose job was removed by a stop request stays
            // unevaluated: not stored, counted or recorded.
            if (result.interrupted)
                continue;
        } else {
            // A design whose directory could not be prepared ran no job.
            result.evaluated = true;
            result.obj.assign(pop.GetNobj(), 0.0);
            result.ctr.assign(pop.GetNctr(), 0.0);
            result.where = mJobs->GetInitialDir(static_cast<int>(i));
            result.outcome = EvalOutcome::Failed;
            result.problem = "its initial directory could not be prepared";
            ApplyFailurePolicy(result);
        }
        Store(ind, ind.GetDvs(), i, result, bestfits);
    }
    if (out != nullptr && out->GetWriteChilds())
        pop.AppendComputedFile(out->GetChildsFilename(), out->GetWriteASCIIFormat(), false, true,
                               false);
    EndBatch();
    ++mBatch;
    return CheckCriteria(criteria, bestfits);
}

bool HTCondorEVAU::ComputeInd(INDIVIDUAL& /*ind*/, TerminationCriteria* /*criteria*/,
                              const std::vector<int>& /*dvsIds*/,
                              const std::vector<double>& /*eliteDVs*/, WriteData* /*out*/) {
    UTILS::Stop(
        {"ComputeInd not available for HTCondor", "Implementation required", "Program stopped!"});
}
