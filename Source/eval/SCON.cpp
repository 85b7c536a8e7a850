#include "eval/SCON.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

#include "eval/OSAU.h"
#include "model/UTILS.h"

SCON::SCON(std::string executable)
    : mQueue(1), mLogFile("log.condor"), mOutFile("out.condor"), mErrFile("err.condor"),
      mSubmitFile("submit.condor"), mUniverse("vanilla"), mExecutable(std::move(executable)),
      mWhenToTransferOutput("ON_EXIT"), mCluster(-1) {}

SCON::~SCON() {
    std::cout << "* Deleting " << mSubmitFile << std::endl;
    OSAU::rmfile(mSubmitFile);
    std::cout << "* Done!" << std::endl;
}

int SCON::SetQueue(int n) {
    if (n > 0) {
        mQueue = n;
        return 0;
    }
    std::cout << "queue should be greater than 0" << std::endl;
    std::cout << "queue NOT MODIFIED!" << std::endl;
    std::cout << "queue = " << mQueue << std::endl;
    return 1;
}

void SCON::AddTransferInputFile(const std::string& file, bool copy) {
    mTransferInputFiles.push_back(file);
    mCopyToInitialDirs.push_back(copy);
}

std::string SCON::GenList(const std::vector<std::string>& list, const std::string& separator) {
    std::string text;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += separator;
        text += list[i];
    }
    return text;
}

void SCON::WriteSubmitFile() {
    if (mQueue < 1)
        UTILS::Stop({"* queue should be greater than 0", "* Program stopped!"});
    Write(nullptr);
}

void SCON::WriteSubmitFile(const std::vector<unsigned>& indices) {
    Write(&indices);
}

void SCON::Write(const std::vector<unsigned>* indices) {
    std::cout << "* Writting submit file..." << std::endl;
    std::ofstream os(mSubmitFile, std::ios::trunc);
    os << "################################\n"
       << "#       Condor submit file     #\n"
       << "# Created by SCON library      #\n"
       << "################################\n"
       << "\n"
       << "Universe   = " << mUniverse << "\n"
       << "\n"
       << "Executable = " << mExecutable << "\n";
    if (!mArguments.empty())
        os << "Arguments  = " << GetArgumentsString() << "\n";
    os << "\n";
    // Job paths are relative to the initial directory, one level below the
    // directory where the program runs; the log must be the one file there.
    if (!mInitialDirPrefix.empty())
        os << "Log    = ../" << mLogFile << "\n";
    else
        os << "Log    = " << mLogFile << "\n";
    os << "Output = " << mOutFile << "\n"
       << "Error  = " << mErrFile << "\n"
       << "\n";
    if (!mInitialDirPrefix.empty() && mQueue > 0)
        os << "initialdir = " << mInitialDirPrefix << (indices ? "$(index)" : "$(Process)")
           << "\n\n";
    os << "should_transfer_files = YES\n";
    if (!mTransferInputFiles.empty())
        os << "transfer_input_files = " << GenList(mTransferInputFiles, ", ") << "\n";
    os << "when_to_transfer_output = " << mWhenToTransferOutput << "\n";
    if (!mTransferOutputFiles.empty())
        os << "transfer_output_files = " << GenList(mTransferOutputFiles, ", ") << "\n";
    os << "\n";
    if (!mRequirements.empty())
        os << "Requirements = " << GetRequirementsString() << "\n\n";
    if (!mRanks.empty())
        os << "Rank = " << GetRankString() << "\n\n";
    for (const auto& line : mCustomLines)
        os << line << "\n\n";
    if (indices != nullptr) {
        os << "Queue index in (";
        for (size_t i = 0; i < indices->size(); ++i)
            os << (i > 0 ? " " : "") << (*indices)[i];
        os << ")\n";
    } else if (mQueue == 1) {
        os << "Queue\n";
    } else {
        os << "Queue " << mQueue << "\n";
    }
    os.close();
    // Submitting a missing or truncated description would run the wrong jobs.
    if (!os)
        UTILS::Stop(
            {"* Could not write the submit file " + mSubmitFile + ".", "* Program stopped!"});
    std::cout << "* Done!" << std::endl;
}

void SCON::CreateInitialDirs(std::string prefix) {
    mInitialDirPrefix = std::move(prefix);
    std::cout << "* Creating initial dirs ..." << std::endl;
    for (int i = 0; i < mQueue; ++i)
        OSAU::mkdir(GetInitialDir(i));
    std::cout << "* Done!" << std::endl;
}

void SCON::CopyFilesToInitialDirs() {
    std::cout << "* Copying files to initial dirs ..." << std::endl;
    for (size_t f = 0; f < mTransferInputFiles.size(); ++f)
        if (mCopyToInitialDirs[f])
            for (int i = 0; i < mQueue; ++i)
                OSAU::cp_file(mTransferInputFiles[f], GetInitialDir(i), "");
    std::cout << "* Done!" << std::endl;
}

void SCON::EmptyInitialDirs(int id) {
    ForInitialDirs(id, "Emptying", OSAU::emptydirs, OSAU::emptydir);
}

void SCON::DeleteInitialDirs(int id) {
    ForInitialDirs(id, "Deleting", OSAU::rmdirs, OSAU::rmdir);
}

void SCON::ForInitialDirs(int id, const std::string& doing,
                          int (*all)(const std::string& prefix, unsigned n),
                          int (*one)(const std::string& dir)) {
    if (id == -1) {
        std::cout << "* " << doing << " initial dirs ..." << std::endl;
        all(mInitialDirPrefix, static_cast<unsigned>(mQueue));
    } else {
        std::cout << "* " << doing << " initial dir id:" << id << std::endl;
        one(GetInitialDir(id));
    }
    std::cout << "* Done!" << std::endl;
}

void SCON::DeleteSubmitFile() {
    std::cout << "* Deleting " << mSubmitFile << std::endl;
    OSAU::rmfile(mSubmitFile);
    std::cout << "* Done!" << std::endl;
}

void SCON::DeleteLogFile() {
    std::cout << "* Deleting " << mLogFile << std::endl;
    OSAU::rmfile(mLogFile);
    std::cout << "* Done!" << std::endl;
}

namespace {

// Ten minutes: a busy scheduler takes seconds for a large batch, never this.
const double kSubmitLimit = 600.0;
// condor_wait returns on its own after the time it was given; this is the
// time its start and its reading of the log may add before it is ended.
const double kWaitMargin = 60.0;
// condor_rm returns once the jobs are marked for removal.
const double kRemoveLimit = 120.0;

// The status to report for a command run with run_collect: -1 when it could
// not be started.
int StatusOf(const OSAU::ProcessResult& run) {
    return run.started ? run.status : -1;
}

// The cluster C in "N job(s) submitted to cluster C." (-1 when absent).
int ClusterIn(const std::string& output) {
    const std::string marker = "submitted to cluster ";
    const size_t at = output.find(marker);
    if (at == std::string::npos)
        return -1;
    const char* from = output.c_str() + at + marker.size();
    char* end = nullptr;
    const long cluster = std::strtol(from, &end, 10);
    return end != from && cluster >= 0 && cluster <= 2147483647L ? static_cast<int>(cluster) : -1;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// One event of a user log: its code, the job it is about and its lines.
struct LogEvent {
    int code = -1;
    long cluster = -1;
    int proc = -1;
    std::vector<std::string> body;
};

// Reads the header "CCC (cluster.proc.subproc) ..." of an event.
bool ParseEventHeader(const std::string& line, LogEvent& event) {
    int code = 0;
    long cluster = 0;
    int proc = 0;
    int sub = 0;
    char open = 0;
    if (line.size() < 5 ||
        std::sscanf(line.c_str(), "%3d %c%ld.%d.%d", &code, &open, &cluster, &proc, &sub) != 5 ||
        open != '(')
        return false;
    event = LogEvent();
    event.code = code;
    event.cluster = cluster;
    event.proc = proc;
    return true;
}

void ApplyEvent(const LogEvent& event, SCON::JobState& job) {
    const std::string first = event.body.empty() ? "" : Trimmed(event.body[0]);
    switch (event.code) {
    case 1: // executing
        job.started = job.running = true;
        job.held = false;
        break;
    case 4: // evicted: back to the queue
        job.running = false;
        break;
    case 5: { // terminated
        job.ended = true;
        job.running = job.held = false;
        int value = 0;
        if (std::sscanf(first.c_str(), "(1) Normal termination (return value %d)", &value) == 1)
            job.exit_code = value;
        else if (std::sscanf(first.c_str(), "(0) Abnormal termination (signal %d)", &value) == 1)
            job.signal = value;
        break;
    }
    case 9: // aborted (removed from the queue)
        job.ended = job.aborted = true;
        job.running = job.held = false;
        job.abort_reason = first;
        break;
    case 12: // held
        job.held = true;
        job.running = false;
        job.hold_reason = first;
        for (size_t i = 1; i < event.body.size(); ++i)
            if (Trimmed(event.body[i]).rfind("Code ", 0) == 0)
                job.hold_reason += " (" + Trimmed(event.body[i]) + ")";
        break;
    case 13: // released
        job.held = false;
        break;
    default:
        break;
    }
}

} // namespace

int SCON::Submit() {
    const std::string command = "condor_submit " + OSAU::shell_quote(mSubmitFile);
    std::cout << "* Submitting jobs to HTCondor:" << std::endl;
    std::cout << "* Command: " << command << std::endl;
    // Not ended by a stop request: the batch must be known whole, so that the
    // jobs it queued can be removed.
    std::string output;
    const OSAU::ProcessResult run =
        OSAU::run_collect({"condor_submit", mSubmitFile}, "", kSubmitLimit, output, false);
    std::cout << output << std::flush;
    if (!run.started)
        std::cout << "* " << run.error << std::endl;
    else if (run.timed_out)
        std::cout << "* condor_submit did not end within " << kSubmitLimit << " s and was ended."
                  << std::endl;
    mCluster = ClusterIn(output);
    std::cout << "* Done!" << std::endl;
    return StatusOf(run);
}

int SCON::Wait() {
    const std::string command = "condor_wait " + OSAU::shell_quote(mLogFile);
    std::cout << "* Waiting jobs to end ..." << std::endl;
    std::cout << "* Command: " << command << std::endl;
    const int status = std::system(command.c_str());
    std::cout << "* Done!" << std::endl;
    return status;
}

SCON::WaitResult SCON::WaitFor(unsigned seconds, bool interruptible) {
    WaitResult result;
    const OSAU::ProcessResult run =
        OSAU::run_collect({"condor_wait", "-wait", std::to_string(seconds), mLogFile}, "",
                          seconds + kWaitMargin, result.output, interruptible);
    result.status = StatusOf(run);
    result.interrupted = run.interrupted;
    if (!run.started)
        result.output += run.error + "\n";
    // A wait that hung past its own limit is a wait whose time expired.
    result.expired = run.timed_out || (result.status != 0 &&
                                       result.output.find("Time expired.") != std::string::npos);
    return result;
}

int SCON::Remove(const std::vector<int>& procs) {
    if (mCluster < 0)
        return -1;
    std::vector<std::string> argv = {"condor_rm"};
    if (procs.empty())
        argv.push_back(std::to_string(mCluster));
    for (int proc : procs)
        argv.push_back(std::to_string(mCluster) + "." + std::to_string(proc));
    std::cout << "* Removing jobs from HTCondor:" << std::endl;
    std::cout << "* Command: " << GenList(argv, " ") << std::endl;
    std::string output;
    const OSAU::ProcessResult run = OSAU::run_collect(argv, "", kRemoveLimit, output, false);
    std::cout << output << std::flush;
    if (!run.started)
        std::cout << "* " << run.error << std::endl;
    std::cout << "* Done!" << std::endl;
    return StatusOf(run);
}

std::map<int, SCON::JobState> SCON::ReadLog() {
    std::map<int, JobState> jobs;
    std::ifstream in(mLogFile);
    std::string line;
    LogEvent event;
    bool open = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!open) {
            open = ParseEventHeader(line, event);
            continue;
        }
        if (line != "...") {
            event.body.push_back(line);
            continue;
        }
        open = false;
        // The log holds the one batch, but a cluster noted at submission
        // decides which events belong to it.
        if (mCluster < 0)
            mCluster = static_cast<int>(event.cluster);
        if (event.cluster == mCluster && event.proc >= 0)
            ApplyEvent(event, jobs[event.proc]);
    }
    return jobs;
}

void SCON::ReadConfig(std::string file) {
    std::ifstream in(file);
    if (!in) {
        std::cout << "* HTCondor Configuration file not found: " << file << std::endl;
        std::cout << "* Running with default parameters." << std::endl;
        return;
    }
    std::cout << "* Reading SCON (HTCondor) Configuration File: " << file << std::endl;
    bool universe_read = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string keyword;
        // Blank lines and comments carry no option; the rest of a keyword's
        // line is free text.
        if (!(words >> keyword) || keyword[0] == '#')
            continue;
        // Every option is a keyword line followed by its value line, so the
        // value of an unknown option is skipped with it rather than being read
        // as a keyword of its own.
        std::string value;
        const bool has_value = static_cast<bool>(std::getline(in, value));
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        const bool known = keyword == "Requirements" || keyword == "Rank" || keyword == "Universe";
        if (!known) {
            std::cout << "* Option \"" << keyword << "\" not known, skipped!" << std::endl;
            continue;
        }
        if (!has_value || value.find_first_not_of(" \t") == std::string::npos) {
            std::cout << "* Option \"" << keyword << "\" of " << file
                      << " has no value on the next line, skipped!" << std::endl;
            continue;
        }
        if (keyword == "Requirements") {
            AddRequirement(value);
        } else if (keyword == "Rank") {
            AddRank(value);
        } else {
            mUniverse = value;
            universe_read = true;
        }
    }
    std::cout << "* Configurations read:" << std::endl;
    if (!mArguments.empty())
        std::cout << "* Arguments = " << GetArgumentsString() << std::endl;
    if (!mRequirements.empty())
        std::cout << "* Requirements = " << GetRequirementsString() << std::endl;
    if (!mRanks.empty())
        std::cout << "* Rank = " << GetRankString() << std::endl;
    if (universe_read)
        std::cout << "* Universe = " << mUniverse << std::endl;
    std::cout << "* Done!" << std::endl;
}
