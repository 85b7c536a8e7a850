#include "eval/SlurmEVAU.h"

#include <poll.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <system_error>
#include <thread>

#include "eval/OSAU.h"
#include "model/INTU.h"
#include "model/RunJournal.h"
#include "model/UTILS.h"
#include "output/PIOU.h"
#include "output/WriteData.h"

namespace fs = std::filesystem;

const char* const SlurmEVAU::kSettingsFile = "slurm.QERN";

namespace {

using Clock = std::chrono::steady_clock;

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// How long squeue may keep failing (a controller that restarts or is
// overloaded) before the run gives up, and how long a task may be missing
// from its answers before it counts as lost.
const double kPollFailureTolerance = 120.0;
// The longest pause between two polls: a batch of long simulations is
// looked at every 10 s, which is nothing next to their run time and little
// load on the controller.
const double kLongestPause = 10.0;

// Sleeps for seconds; wakes at once when the run is interrupted, unless
// wake is false (after the interruption has been handled).
void Pause(double seconds, bool wake) {
    const int fd = wake ? INTU::WakeFd() : -1;
    if (fd >= 0) {
        struct pollfd p = {fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::ceil(seconds * 1000.0)));
    } else {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
}

// The last line the task wrote on standard error, for the message of a
// failed design (the folders are removed at the end of the run).
std::string ErrorTail(const std::string& folder) {
    std::ifstream is(OSAU::dirappend(folder, "slurm.err"));
    std::string line, last;
    while (std::getline(is, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            last = line;
    if (last.empty())
        return "";
    if (last.size() > 200)
        last = last.substr(0, 200) + " ...";
    return "; its slurm.err ends with: " + last;
}

std::string LimitText(double limit) {
    std::ostringstream text;
    text << "timed out after " << limit << " s";
    return text.str();
}

} // namespace

SlurmEVAU::SlurmEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const nlohmann::json& block)
    : BatchEVAU(ndvs, nobj, nctr, "Slurm", block), mFolders(0) {
    ReadSettings();
}

SlurmEVAU::SlurmEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, std::istream& in)
    : BatchEVAU(ndvs, nobj, nctr, "Slurm", in), mFolders(0) {
    ReadSettings();
}

SlurmEVAU::~SlurmEVAU() {
    for (unsigned i = 0; i < mFolders; ++i)
        OSAU::rmdir(OSAU::dirappend(mRunFolder, GetFolder(i)));
    if (!mScriptFile.empty())
        OSAU::rmfile(OSAU::dirappend(mRunFolder, mScriptFile));
}

void SlurmEVAU::ReadSettings() {
    std::error_code ec;
    if (!fs::exists(kSettingsFile, ec)) {
        std::cout << "* Slurm settings file " << kSettingsFile
                  << " not found: sbatch runs with the cluster's defaults." << std::endl;
        return;
    }
    std::cout << "* Reading Slurm settings file " << kSettingsFile << std::endl;
    RunJournal::NoteInputFile(kSettingsFile);
    mOptions = SlurmJobs::ReadSettings(kSettingsFile);
    std::string text;
    for (const auto& option : mOptions)
        text += " " + option;
    std::cout << "* sbatch options:" << (text.empty() ? " none" : text) << std::endl;
}

std::string SlurmEVAU::GetFolder(unsigned i) const {
    return mFolderPrefix.empty() ? "" : mFolderPrefix + std::to_string(i);
}

void SlurmEVAU::Init(unsigned popsize) {
    std::cout << "SlurmEVAU::Init()" << std::endl;
    NoteAnalyserFiles(true, mCommand.file);
    for (unsigned i = 0; i < mFolders; ++i)
        OSAU::rmdir(OSAU::dirappend(mRunFolder, GetFolder(i)));
    mFolders = 0;
    std::error_code ec;
    mRunFolder = fs::current_path(ec).string();
    if (ec)
        UTILS::Stop({"Cannot tell the working folder: " + ec.message() + ".", "Program stopped!"});
    std::ostringstream tag;
    tag << static_cast<const void*>(this);
    mFolderPrefix = tag.str() + "slurmInd";
    mScriptFile = tag.str() + "slurmJob.sh";

    // The command runs as the local unit runs it: with its placeholders
    // expanded, through the shell, in the folder that holds its copy.
    std::string command = mCommand.file;
    for (const auto& arg : mCommand.arguments)
        command += " " + UTILS::ParseArgument(arg, mNdvs, mNobj, mNctr);
    {
        std::ofstream os(mScriptFile, std::ios::trunc);
        os << "#!/bin/sh\n"
           << "# Job script of veskv2's Slurm evaluation unit: array task i evaluates the\n"
           << "# design in folder " << mFolderPrefix << "i.\n"
           << "# On a time limit or scancel Slurm signals every process of the task, then\n"
           << "# kills what is left. The script outlives its command, so that the command\n"
           << "# and its children stay in the task's process tree until then.\n"
           << "trap : TERM\n"
           << "cd " << OSAU::shell_quote(OSAU::dirappend(mRunFolder, mFolderPrefix))
           << "\"$SLURM_ARRAY_TASK_ID\" || exit 1\n"
           << command << "\n";
        os.close();
        if (!os)
            UTILS::WriteFailed(mScriptFile);
    }
    fs::permissions(mScriptFile,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    if (ec)
        UTILS::Stop(
            {"Cannot make the job script " + mScriptFile + " executable: " + ec.message() + ".",
             "Program stopped!"});
    std::cout << "* Job script " << mScriptFile << " runs: " << command << std::endl;
    EnsureFolders(popsize);
    std::cout << "Done." << std::endl;
}

void SlurmEVAU::EnsureFolders(unsigned n) {
    if (mFolders == 0 && n > 0)
        std::cout << "* Creating folders " << GetFolder(0) << " to " << GetFolder(n - 1)
                  << std::endl;
    else if (n > mFolders)
        std::cout << "* Population of " << n << " designs, larger than the " << mFolders
                  << " folders: creating the missing ones." << std::endl;
    std::error_code ec;
    const bool copy_command = fs::is_regular_file(mCommand.file, ec);
    for (; mFolders < n; ++mFolders) {
        const std::string dir = GetFolder(mFolders);
        // A task whose folder misses a file would fail on a compute node,
        // far from the cause: a copy that fails stops the run here.
        if (!fs::is_directory(dir, ec) && OSAU::mkdir(dir) != 0)
            UTILS::Stop({"Could not create the folder " + dir + ".", "Program stopped!"});
        if (OSAU::cp(mCommand.essentials, dir) != 0 ||
            (copy_command && OSAU::cp_file(mCommand.file, dir, "") != 0))
            UTILS::Stop({"Could not copy the command " + mCommand.file +
                             " and the essential files and folders into " + dir + ".",
                         "Program stopped!"});
    }
}

bool SlurmEVAU::Compute(POPULATION& pop, TerminationCriteria* criteria,
                        const std::vector<int>& /*dvsIds*/, const std::vector<double>& eliteDVs,
                        WriteData* out) {
    if (mFolderPrefix.empty())
        UTILS::Stop({"SlurmEVAU::Compute called before SlurmEVAU::Init.", "Program stopped!"});
    const unsigned n = pop.GetPopsize();
    std::vector<INDIVIDUAL*> designs(n, nullptr);
    for (unsigned i = 0; i < n; ++i)
        if (!pop[i].IsComputed())
            designs[i] = &pop[i];
    const std::vector<INDIVIDUAL>* bestfits = pop.GetBestfitsPtr();
    EvaluateDesigns(designs, eliteDVs, bestfits);
    if (out != nullptr && out->GetWriteChilds())
        pop.AppendComputedFile(out->GetChildsFilename(), out->GetWriteASCIIFormat(), false, true,
                               false);
    UTILS::CheckWriteFailures();
    EndBatch();
    ++mBatch;
    return CheckCriteria(criteria, bestfits);
}

bool SlurmEVAU::ComputeInd(INDIVIDUAL& ind, TerminationCriteria* criteria,
                           const std::vector<int>& /*dvsIds*/, const std::vector<double>& eliteDVs,
                           WriteData* out) {
    if (mFolderPrefix.empty())
        UTILS::Stop({"SlurmEVAU::ComputeInd called before SlurmEVAU::Init.", "Program stopped!"});
    EvaluateDesigns({ind.IsComputed() ? nullptr : &ind}, eliteDVs, ind.GetBestfitsPtr());
    if (out != nullptr && out->GetWriteChilds() && ind.IsComputed()) {
        PIOU::append_individual(out->GetChildsFilename(), ind, out->GetWriteASCIIFormat());
        if (out->GetWriteASCIIFormat()) {
            std::ofstream os(out->GetChildsFilename(), std::ios::app);
            if (os)
                PIOU::out_individual_header(os, ind, 20);
            os.close();
            if (!os)
                UTILS::WriteFailed(out->GetChildsFilename());
        }
    }
    UTILS::CheckWriteFailures();
    EndBatch();
    ++mBatch;
    return CheckCriteria(criteria, ind.GetBestfitsPtr());
}

void SlurmEVAU::EvaluateDesigns(const std::vector<INDIVIDUAL*>& designs,
                                const std::vector<double>& eliteDVs,
                                const std::vector<INDIVIDUAL>* bestfits) {
    const unsigned n = static_cast<unsigned>(designs.size());
    EnsureFolders(n);
    // An interrupted run starts nothing new.
    if (INTU::Requested())
        return;
    const unsigned nctr = mNctr;
    std::vector<EvalResult> results(n);
    std::vector<std::vector<double>> full(n);
    std::vector<unsigned> queued;
    for (unsigned i = 0; i < n; ++i) {
        if (designs[i] == nullptr)
            continue;
        // A game player's designs are completed with the other players'
        // elite variables, as the local unit does.
        full[i] = FullDesign(*designs[i], eliteDVs);
        // A design the evaluation database already holds (a resumed run) is
        // taken from it and runs no task.
        if (Replay(full[i], i, results[i]))
            continue;
        const std::string dir = GetFolder(i);
        // Results and output of an earlier design in this folder must not be
        // taken for this one's when its task writes none.
        bool ready = PIOU::clear_eval_results(dir);
        for (const char* file : {"slurm.out", "slurm.err"}) {
            std::error_code ec;
            fs::remove(OSAU::dirappend(dir, file), ec);
            ready = ready && !ec;
        }
        if (ready && PIOU::write_eval_dvs(full[i], dir)) {
            queued.push_back(i);
        } else {
            EvalResult& r = results[i];
            r.evaluated = true;
            r.obj.assign(mNobj, 0.0);
            r.ctr.assign(nctr, 0.0);
            r.outcome = EvalOutcome::Failed;
            r.problem = "its folder could not be prepared";
            r.where = dir;
        }
    }
    if (queued.empty()) {
        std::cout << "* No designs to evaluate: nothing submitted." << std::endl;
    } else {
        const std::vector<EvalResult> ran = RunArray(queued, mNobj, nctr);
        for (size_t k = 0; k < queued.size(); ++k)
            results[queued[k]] = ran[k];
    }

    unsigned left = 0;
    for (unsigned i = 0; i < n; ++i) {
        if (designs[i] == nullptr)
            continue;
        EvalResult& r = results[i];
        // A design whose task the interruption cancelled has no result: it
        // stays unevaluated, as in the local unit.
        if (r.interrupted || !r.evaluated) {
            ++left;
            continue;
        }
        if (!r.replayed) {
            r.obj = OwnObjectives(r.obj, designs[i]->GetNobj());
            ApplyFailurePolicy(r);
        }
        Store(*designs[i], full[i], i, r, bestfits);
    }
    if (left > 0)
        std::cout << "   " << left
                  << " design(s) whose tasks were cancelled by the interruption stay unevaluated."
                  << std::endl;
}

std::vector<EvalResult> SlurmEVAU::RunArray(const std::vector<unsigned>& indices, unsigned nobj,
                                            unsigned nctr) {
    const double limit = EffectiveTimeout();
    SlurmJobs jobs(mOptions);
    const std::string id =
        jobs.Submit(OSAU::dirappend(mRunFolder, mScriptFile), indices, mRunFolder, mFolderPrefix,
                    SlurmJobs::TimeLimitMinutes(limit));
    const auto submitted = Clock::now();
    std::cout << "* Job array " << id << ": waiting for its " << indices.size() << " task(s)"
              << std::endl;

    struct Watch {
        SlurmJobs::Task task;
        bool finished = false;
        bool running = false;
        Clock::time_point started;     // when it was first seen running
        Clock::time_point last_listed; // when squeue last listed it
        Ending ending = Ending::Own;
    };
    std::map<unsigned, Watch> watch;
    for (unsigned i : indices)
        watch[i].last_listed = submitted;
    size_t unfinished = indices.size();
    bool interrupted = false;
    bool failing = false;
    Clock::time_point failing_since;
    std::string problem;

    while (unfinished > 0) {
        // An interruption ends what runs: the whole array is cancelled, and
        // the unit waits until its tasks have ended, so that no process of
        // the run is left behind.
        if (INTU::Requested() && !interrupted) {
            interrupted = true;
            std::cout << "* Run interrupted: cancelling job array " << id
                      << " (a second interruption ends veskv2 at once)." << std::endl;
            for (auto& entry : watch)
                if (!entry.second.finished)
                    entry.second.ending = Ending::CancelledByInterruption;
            if (!jobs.Cancel({}, problem)) {
                std::cout << "* " << problem << "; its unfinished tasks are left to Slurm."
                          << std::endl;
                break;
            }
        }

        std::vector<SlurmJobs::Task> tasks;
        const bool answered = jobs.Poll(tasks, problem);
        const auto now = Clock::now();
        if (!answered) {
            if (!failing) {
                failing = true;
                failing_since = now;
                std::cout << "* " << problem << "; asking again." << std::endl;
            } else if (SecondsBetween(failing_since, now) > kPollFailureTolerance) {
                Abandon(jobs, problem + ", for " +
                                  std::to_string(static_cast<int>(kPollFailureTolerance)) + " s");
            }
        } else {
            if (failing)
                std::cout << "* squeue answers again." << std::endl;
            failing = false;
            for (const SlurmJobs::Task& task : tasks) {
                auto it = watch.find(task.index);
                if (it == watch.end() || it->second.finished)
                    continue;
                Watch& w = it->second;
                w.task = task;
                w.last_listed = now;
                // A requeued task (its node failed, say) starts again, and
                // its time limit with it.
                if (task.state == "PENDING" || task.state == "REQUEUED") {
                    w.running = false;
                } else if (!w.running) {
                    w.running = true;
                    w.started = now;
                }
                if (SlurmJobs::IsFinished(task.state)) {
                    w.finished = true;
                    --unfinished;
                }
            }
            // A task the controller no longer lists before it has ended
            // (its record purged while the run was suspended, say) is lost.
            for (auto& [index, w] : watch) {
                if (!w.finished && SecondsBetween(w.last_listed, now) > kPollFailureTolerance) {
                    w.finished = true;
                    w.task = SlurmJobs::Task();
                    w.task.index = index;
                    --unfinished;
                }
            }
        }
        if (unfinished == 0)
            break;

        // The unit's own bound: Slurm's limit is in whole minutes and is
        // checked only every half a minute or so.
        double pause = std::clamp(0.1 * SecondsBetween(submitted, now), 0.1, kLongestPause);
        if (limit > 0.0 && !interrupted) {
            std::vector<unsigned> late;
            for (auto& [index, w] : watch) {
                if (w.finished || !w.running || w.ending != Ending::Own)
                    continue;
                const double left = limit + kLimitMargin - SecondsBetween(w.started, now);
                if (left <= 0.0)
                    late.push_back(index);
                else
                    pause = std::min(pause, left + 0.01);
            }
            if (!late.empty()) {
                if (!jobs.Cancel(late, problem))
                    Abandon(jobs, problem);
                for (unsigned index : late) {
                    watch[index].ending = Ending::CancelledAtLimit;
                    std::cout << "* Task " << id << "_" << index << " (design " << index
                              << ") ran past the time limit of " << limit << " s: cancelled."
                              << std::endl;
                }
            }
            // A task that starts between two polls is seen at most this late.
            pause = std::min(pause, std::max(0.25, limit / 10.0));
        }
        // Cancelled tasks end within a second unless they ignore SIGTERM.
        for (const auto& entry : watch)
            if (!entry.second.finished && entry.second.ending != Ending::Own)
                pause = std::min(pause, 0.25);
        if (failing)
            pause = std::max(pause, 2.0);
        Pause(pause, !interrupted);
    }

    std::map<std::string, unsigned> states;
    for (const auto& entry : watch)
        if (entry.second.finished)
            ++states[entry.second.task.state.empty() ? "LOST" : entry.second.task.state];
    std::ostringstream summary;
    summary << "* Job array " << id << " ended after " << std::fixed << std::setprecision(1)
            << SecondsBetween(submitted, Clock::now()) << " s:";
    const char* separator = " ";
    for (const auto& [state, count] : states) {
        summary << separator << count << " " << state;
        separator = ", ";
    }
    std::cout << summary.str() << std::endl;

    std::vector<EvalResult> results;
    for (unsigned index : indices) {
        const Watch& w = watch[index];
        if (!w.finished) {
            EvalResult r;
            r.interrupted = true;
            results.push_back(r);
        } else {
            results.push_back(Judge(w.task, w.ending, GetFolder(index), nobj, nctr, limit));
        }
    }
    return results;
}

void SlurmEVAU::Abandon(SlurmJobs& jobs, const std::string& problem) {
    std::string cancel_problem;
    const bool cancelled = jobs.Cancel({}, cancel_problem);
    UTILS::Stop({"* " + problem + ".",
                 cancelled ? "* Job array " + jobs.GetJobId() + " was cancelled."
                           : "* Job array " + jobs.GetJobId() +
                                 " could not be cancelled either: " + cancel_problem + ".",
                 "Program stopped!"});
}

EvalResult SlurmEVAU::Judge(const SlurmJobs::Task& task, Ending ending, const std::string& folder,
                            unsigned nobj, unsigned nctr, double limit) {
    EvalResult r;
    r.evaluated = true;
    r.where = folder;
    r.obj.assign(nobj, 0.0);
    r.ctr.assign(nctr, 0.0);
    auto fail = [&r](EvalOutcome outcome, const std::string& problem) {
        r.outcome = outcome;
        r.problem = problem;
        return r;
    };
    std::string slurm = "Slurm state " + task.state;
    if (!task.reason.empty() && task.reason != "None")
        slurm += ", " + task.reason;

    if (task.state == "COMPLETED" || task.state == "FAILED") {
        // The state and the job script's wait status tell how it ended; the
        // command's own status is the script's, which ends with it.
        if (WIFSIGNALED(task.status)) {
            r.exit_code = 128 + WTERMSIG(task.status);
            return fail(EvalOutcome::Failed, "its job script was killed by signal " +
                                                 std::to_string(WTERMSIG(task.status)) + " (" +
                                                 slurm + ")" + ErrorTail(folder));
        }
        r.exit_code = WIFEXITED(task.status) ? WEXITSTATUS(task.status) : -1;
        const std::string status = "exit status " + std::to_string(r.exit_code);
        const std::string problem = PIOU::read_eval_results(r.obj, r.ctr, folder);
        if (!problem.empty())
            return fail(EvalOutcome::Failed,
                        problem +
                            (r.exit_code != 0 ? " (the command ended with " + status + ")" : "") +
                            ErrorTail(folder));
        if (r.exit_code != 0)
            r.problem =
                "the command ended with " + status + " but wrote complete results, which are kept";
        return r;
    }
    if (task.state == "CANCELLED") {
        if (ending == Ending::CancelledAtLimit)
            return fail(EvalOutcome::TimedOut, LimitText(limit));
        if (ending == Ending::CancelledByInterruption) {
            r.evaluated = false;
            r.interrupted = true;
            return r;
        }
        return fail(EvalOutcome::Failed, "its task was cancelled outside veskv2 (" + slurm + ")");
    }
    if (task.state == "TIMEOUT")
        return fail(EvalOutcome::TimedOut, ending == Ending::CancelledAtLimit
                                               ? LimitText(limit)
                                               : "reached its Slurm time limit (" + slurm + ")");
    if (task.state.empty())
        return fail(EvalOutcome::Failed, "Slurm no longer lists its task, which had not ended");
    return fail(EvalOutcome::Failed, "its task ended in " + slurm + ErrorTail(folder));
}
