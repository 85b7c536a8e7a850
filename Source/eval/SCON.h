#ifndef VESK_EVAL_SCON_H
#define VESK_EVAL_SCON_H

#include <map>
#include <string>
#include <vector>

// One batch of identical HTCondor jobs: writes the submit description file,
// prepares one initial directory per job, submits the batch with
// condor_submit, waits for it with condor_wait and cleans up.
class SCON {
public:
    // What the user log says about one job of the batch.
    struct JobState {
        bool started = false; // it has begun to execute (at least once)
        bool running = false; // it executes now
        bool held = false;    // it is on hold
        bool ended = false;   // it terminated or left the queue
        bool aborted = false; // it left the queue without terminating
        int exit_code = -1;   // return value of a normal termination
        int signal = 0;       // signal that ended it (abnormal termination)
        std::string hold_reason;
        std::string abort_reason;
    };
    // How a bounded condor_wait ended.
    struct WaitResult {
        int status = -1;          // status of the command (-1: it could not be run)
        bool expired = false;     // "Time expired.": jobs remain
        bool interrupted = false; // a stop request ended it
        std::string output;
    };

    explicit SCON(std::string executable);
    SCON(const SCON&) = delete;
    SCON& operator=(const SCON&) = delete;
    // Removes the submit file.
    ~SCON();

    void SetExecFile(const std::string& file) { mExecutable = file; }
    void SetLogFile(const std::string& file) { mLogFile = file; }
    void SetOutFile(const std::string& file) { mOutFile = file; }
    void SetErrFile(const std::string& file) { mErrFile = file; }
    void SetUniverse(const std::string& universe) { mUniverse = universe; }
    void SetSubmitFilename(const std::string& file) { mSubmitFile = file; }
    // n > 0 sets the number of jobs and returns 0; otherwise 1, unchanged.
    int SetQueue(int n);

    void AddArgument(const std::string& arg) { mArguments.push_back(arg); }
    void AddRequirement(const std::string& r) { mRequirements.push_back("(" + r + ")"); }
    void AddRank(const std::string& r) { mRanks.push_back(r); }
    void AddTransferInputFile(const std::string& file, bool copy);
    void AddTransferOutputFile(const std::string& file) { mTransferOutputFiles.push_back(file); }
    void AddCustomLine(const std::string& line) { mCustomLines.push_back(line); }

    int GetQueue() const { return mQueue; }
    std::string GetLogFile() const { return mLogFile; }
    std::string GetOutFile() const { return mOutFile; }
    std::string GetErrFile() const { return mErrFile; }
    std::string GetSubmitFile() const { return mSubmitFile; }
    std::string GetUniverse() const { return mUniverse; }
    std::string GetExecFile() const { return mExecutable; }
    std::string GetInitialDirPrefix() const { return mInitialDirPrefix; }
    std::string GetInitialDir(int i) const { return mInitialDirPrefix + std::to_string(i); }
    std::string GetArgumentsString() const { return GenList(mArguments, " "); }
    std::string GetRequirementsString() const { return GenList(mRequirements, " && "); }
    std::string GetRankString() const { return GenList(mRanks, " && "); }
    // The entries with separator between them; empty for an empty list.
    static std::string GenList(const std::vector<std::string>& list, const std::string& separator);

    // One job per queue entry, initial directories prefix + $(Process).
    void WriteSubmitFile();
    // One job per index, initial directories prefix + $(index).
    void WriteSubmitFile(const std::vector<unsigned>& indices);

    void CreateInitialDirs(std::string prefix);
    void CopyFilesToInitialDirs();
    // id -1: every initial directory; otherwise directory id.
    void EmptyInitialDirs(int id);
    void DeleteInitialDirs(int id);
    void DeleteSubmitFile();
    void DeleteLogFile();

    // Both return the status of the command (see OSAU::status_text). Submit
    // notes the cluster that condor_submit reports; it gives up on a command
    // that has not ended after ten minutes. Wait blocks until every job of the
    // log has ended, however long that takes.
    int Submit();
    int Wait();
    // The cluster of the last submission (-1 while unknown).
    int GetCluster() const { return mCluster; }
    // "condor_wait -wait seconds" on the log: returns when every job of the
    // log has ended or after about that time, quietly (the caller reports).
    // A stop request ends it only when interruptible.
    WaitResult WaitFor(unsigned seconds, bool interruptible);
    // Removes jobs of the last cluster with condor_rm: the given process
    // numbers, or the whole cluster when there are none. Returns the status,
    // -1 when the cluster is not known. A stop request does not end it.
    int Remove(const std::vector<int>& procs);
    // The jobs of the last cluster as the user log describes them, by process
    // number; an event still being written is left for the next reading. An
    // unknown cluster is taken from the log.
    std::map<int, JobState> ReadLog();

    // Reads requirements, ranks and the universe from a settings file: a
    // keyword as the first word of a line, its value as the whole next line;
    // lines whose first word begins with '#' are comments.
    void ReadConfig(std::string file);

private:
    // Writes the file; indices null selects the $(Process) form.
    void Write(const std::vector<unsigned>* indices);
    // EmptyInitialDirs and DeleteInitialDirs: all applies to every initial
    // directory, one to directory id; doing names the work in the messages.
    void ForInitialDirs(int id, const std::string& doing,
                        int (*all)(const std::string& prefix, unsigned n),
                        int (*one)(const std::string& dir));

    int mQueue;
    std::string mLogFile;
    std::string mOutFile;
    std::string mErrFile;
    std::string mInitialDirPrefix;
    std::string mSubmitFile;
    std::string mUniverse;
    std::string mExecutable;
    std::vector<std::string> mArguments;
    std::vector<std::string> mTransferInputFiles;
    std::vector<bool> mCopyToInitialDirs;
    std::string mWhenToTransferOutput;
    std::vector<std::string> mTransferOutputFiles;
    std::vector<std::string> mRequirements;
    std::vector<std::string> mRanks;
    std::vector<std::string> mCustomLines;
    int mCluster;
};

#endif
