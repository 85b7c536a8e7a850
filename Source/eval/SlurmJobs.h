#ifndef VESK_EVAL_SLURMJOBS_H
#define VESK_EVAL_SLURMJOBS_H

#include <string>
#include <vector>

// Job control for the Slurm evaluation unit: the settings file "slurm.QERN"
// (extra sbatch options), one job array at a time submitted with sbatch, its
// tasks polled with squeue and cancelled with scancel. The commands run
// without a shell and their output is captured; sbatch stops the run when it
// fails, the others report their failure to the caller, which decides.
class SlurmJobs {
public:
    // One task of the array as squeue shows it.
    struct Task {
        unsigned index = 0;
        std::string state;  // PENDING, RUNNING, COMPLETING, COMPLETED, FAILED, CANCELLED, ...
        int status = 0;     // wait status of the job script once the task has finished
        std::string reason; // why it is pending or how it ended ("None" when nothing to say)
    };

    // The sbatch options of the settings file: one option a line ("-p debug",
    // "--account=proj"), blank lines ignored, a word beginning with '#' starts
    // a comment. Every option must begin with '-'; the options that the unit
    // sets itself (the array, folders, output files, time limit, waiting) are
    // refused. A bad line stops the run naming the file and the line. A
    // missing file gives no options.
    static std::vector<std::string> ReadSettings(const std::string& file);
    // The --array value for indices: runs of consecutive indices as ranges
    // ("0-3,5,8-9"), in increasing order, duplicates dropped.
    static std::string ArraySpec(std::vector<unsigned> indices);
    // Slurm's --time in whole minutes for a limit in seconds (rounded up, at
    // least 1); 0 for no limit.
    static unsigned TimeLimitMinutes(double seconds);
    // True for the states in which a task has ended for good (COMPLETING,
    // whose processes are still being ended, is not one of them).
    static bool IsFinished(const std::string& state);
    // Reads squeue's "index|state|exit code|reason" lines. False, with the
    // offending line in problem, when a line is not of that form.
    static bool ParseTasks(const std::string& text, std::vector<Task>& tasks, std::string& problem);

    explicit SlurmJobs(std::vector<std::string> options);

    // Submits script as one job array over indices. Each task starts in
    // folder chdir with its output in <output_prefix><index>/slurm.out and
    // slurm.err (relative to chdir); minutes 0 sets no time limit. Returns
    // the array's job id; a failing sbatch stops the run with its message.
    std::string Submit(const std::string& script, const std::vector<unsigned>& indices,
                       const std::string& chdir, const std::string& output_prefix,
                       unsigned minutes);
    // Every task of the submitted array, finished ones included. False, with
    // the command and its failure in problem, when squeue failed.
    bool Poll(std::vector<Task>& tasks, std::string& problem) const;
    // Cancels the given tasks of the array, or all of them when indices is
    // empty. False, with the command and its failure in problem, on failure.
    bool Cancel(const std::vector<unsigned>& indices, std::string& problem) const;

    const std::vector<std::string>& GetOptions() const { return mOptions; }
    const std::string& GetJobId() const { return mJobId; }

private:
    // The --clusters option for squeue and scancel when sbatch named a cluster.
    void AddCluster(std::vector<std::string>& argv) const;

    std::vector<std::string> mOptions;
    std::string mJobId;
    std::string mCluster;
};

#endif
