#ifndef VESK_EVAL_OSAU_H
#define VESK_EVAL_OSAU_H

#include <string>
#include <vector>

// File-system and process utilities used by the external-command analyser and
// the HTCondor units. Each operation runs one shell command line through
// `system` and returns its status (0 on success, non-zero on failure; -1 when
// the command could not be run at all). The shell's own messages go to the
// process's standard streams.
//
// Every path is quoted before it reaches the shell, so names holding spaces,
// quotes or shell metacharacters are taken literally, and "--" ends the option
// list so that a name beginning with '-' is never read as an option. Paths are
// used as given: relative paths are relative to the current directory.
namespace OSAU {

// dir + "/" + name; name alone when dir is empty (an empty name gives dir + "/").
std::string dirappend(const std::string& dir, const std::string& name);

// Creates one folder (no parents); an existing folder is a failure.
int mkdir(const std::string& dir);
// Removes a folder (or file) recursively; a missing path is no failure.
int rmdir(const std::string& dir);
// rmdir(prefix + i) for i = 0 .. n-1; returns 0.
int rmdirs(const std::string& prefix, unsigned n);
// rmdir of each entry in order; returns 0, or the status of the last failure.
int rmdirs(const std::vector<std::string>& dirs);
// Removes the contents of a folder (names beginning with a dot stay) and keeps
// the folder. An empty folder name is refused (non-zero, nothing removed).
int emptydir(const std::string& dir);
// emptydir(prefix + i) for i = 0 .. n-1; returns 0, or the status of the last failure.
int emptydirs(const std::string& prefix, unsigned n);
// Removes one file; a missing file is no failure.
int rmfile(const std::string& file);
// rmfile of each entry in order; the status of the last command, 0 for an empty list.
int rmfiles(const std::vector<std::string>& files);
// Copies src to dirappend(dir, name): with an empty name, into dir under its own name.
int cp_file(const std::string& src, const std::string& dir, const std::string& name);
// cp_file of each entry into dir; returns 0, or the status of the last failure.
int cp_file(const std::vector<std::string>& files, const std::string& dir);
// Copies a folder recursively to dirappend(dir, name).
int cp_folder(const std::string& src, const std::string& dir, const std::string& name);
// cp_folder of each entry into dir; returns 0, or the status of the last failure.
int cp_folder(const std::vector<std::string>& folders, const std::string& dir);
// Copies each entry into dir: folders recursively, anything else (a missing
// entry included, which cp then reports) as a file. Returns 0, or the status
// of the last failure.
int cp(const std::vector<std::string>& entries, const std::string& dir);
// Runs the program or script cmd of the current directory ("./" + cmd) and
// waits for it.
int system_exec(const std::string& cmd);

// The text unchanged when the shell takes it literally as one word, otherwise
// the text in single quotes (embedded single quotes escaped).
std::string shell_quote(const std::string& text);
// A status returned by `system` in words: "exit status N", "killed by signal N"
// or "could not be run".
std::string status_text(int status);

// How a child process started by run_process ended.
struct ProcessResult {
    bool started = false;     // false: it could not be started (error says why)
    bool timed_out = false;   // its group was ended by the time limit
    bool interrupted = false; // its group was ended because the run was asked to stop
    int status = 0;           // its wait status
    double seconds = 0.0;     // wall-clock time from start to end
    std::string error;
};
// Runs argv (argv[0] is searched on PATH when it holds no '/') in folder dir
// (empty: the current folder) as the leader of a new process group, and waits
// for it. When it runs longer than timeout seconds (0: no limit), or when the
// run is interrupted (INTU), the whole group receives SIGTERM and, after grace
// seconds, SIGKILL, so that no process of the command outlives it. The child
// also dies with the thread that waits for it, so a killed program leaves no
// command running.
ProcessResult run_process(const std::vector<std::string>& argv, const std::string& dir,
                          double timeout, double grace = 2.0);
// Like run_process, with the command's standard output and standard error
// collected into output (in the order written). A stop request ends the
// command only when interruptible: a command that cleans up after an
// interruption must be allowed to finish.
ProcessResult run_collect(const std::vector<std::string>& argv, const std::string& dir,
                          double timeout, std::string& output, bool interruptible = true);
// When the program runs as root, gives path the owner and group of folder
// (unless root owns that folder too), so that the user who owns a run folder
// can write what root created in it; a no-op for any other user. Returns 0,
// or the errno of the failure.
int give_to_owner_of(const std::string& path, const std::string& folder);
// Runs argv like run_process (in the current folder, ended with its whole
// group after timeout seconds, 0: no limit) and collects what it writes on
// standard output and standard error. Unlike run_process it is not ended when
// the run is interrupted: it serves short client commands of a batch system,
// which must still run then (to cancel the jobs of the run, for one).
ProcessResult run_captured(const std::vector<std::string>& argv, double timeout, std::string& out,
                           std::string& err);
// Splits a command line into words when the shell would take it as plain
// words (no quotes, expansions, redirections, assignments or other
// metacharacters): such a line can be started without a shell. Empty when the
// line needs the shell.
std::vector<std::string> plain_words(const std::string& line);

} // namespace OSAU

#endif
