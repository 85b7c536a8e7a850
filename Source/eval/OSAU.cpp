#include "eval/OSAU.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "model/INTU.h"

namespace OSAU {

namespace {
// A command line must not hold a NUL character: `system` would silently run
// only the part before it.
bool usable(const std::string& path) {
    return path.find('\0') == std::string::npos;
}

int run(const std::string& command) {
    return std::system(command.c_str());
}

bool is_directory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Keeps 0 while every command succeeds, otherwise the last failing status.
void keep_failure(int& result, int status) {
    if (status != 0)
        result = status;
}

// Runs command (returning a status) for every entry, all of them even after
// a failure; 0, or the status of the last failure.
template <typename Command>
int for_each_entry(const std::vector<std::string>& entries, Command command) {
    int result = 0;
    for (const auto& entry : entries)
        keep_failure(result, command(entry));
    return result;
}

// Copies src to dir/name with the copy command given ("cp" and its options).
int copy_to(const std::string& command, const std::string& src, const std::string& dir,
            const std::string& name) {
    const std::string target = dirappend(dir, name);
    if (!usable(src) || !usable(target))
        return -1;
    return run(command + " -- " + shell_quote(src) + " " + shell_quote(target));
}
} // namespace

std::string shell_quote(const std::string& text) {
    bool plain = !text.empty();
    for (char ch : text) {
        const bool safe = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                          (ch >= '0' && ch <= '9') || ch == '_' || ch == '-' || ch == '.' ||
                          ch == '/' || ch == '+' || ch == ',' || ch == ':' || ch == '@' ||
                          ch == '%' || ch == '=';
        if (!safe) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text;
    std::string quoted = "'";
    for (char ch : text) {
        if (ch == '\'')
            quoted += "'\\''";
        else
            quoted += ch;
    }
    return quoted + "'";
}

std::string status_text(int status) {
    if (status == -1)
        return "could not be run";
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

std::string dirappend(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    return dir + "/" + name;
}

int mkdir(const std::string& dir) {
    if (!usable(dir))
        return -1;
    return run("mkdir -- " + shell_quote(dir));
}

int rmdir(const std::string& dir) {
    if (!usable(dir))
        return -1;
    return run("rm -rf -- " + shell_quote(dir));
}

int rmdirs(const std::string& prefix, unsigned n) {
    for (unsigned i = 0; i < n; ++i)
        rmdir(prefix + std::to_string(i));
    return 0;
}

int rmdirs(const std::vector<std::string>& dirs) {
    return for_each_entry(dirs, [](const std::string& dir) { return rmdir(dir); });
}

int emptydir(const std::string& dir) {
    // "rm -rf /*" is what an empty name would turn into.
    if (dir.empty() || !usable(dir))
        return -1;
    // The folder name is quoted; the wildcard stays outside the quotes so the
    // shell expands it inside that folder.
    return run("rm -rf -- " + shell_quote(dir) + "/*");
}

int emptydirs(const std::string& prefix, unsigned n) {
    int result = 0;
    for (unsigned i = 0; i < n; ++i)
        keep_failure(result, emptydir(prefix + std::to_string(i)));
    return result;
}

int rmfile(const std::string& file) {
    if (!usable(file))
        return -1;
    return run("rm -f -- " + shell_quote(file));
}

int rmfiles(const std::vector<std::string>& files) {
    int status = 0;
    for (const auto& file : files)
        status = rmfile(file);
    return status;
}

int cp_file(const std::string& src, const std::string& dir, const std::string& name) {
    return copy_to("cp", src, dir, name);
}

int cp_file(const std::vector<std::string>& files, const std::string& dir) {
    return for_each_entry(files, [&](const std::string& file) { return cp_file(file, dir, ""); });
}

int cp_folder(const std::string& src, const std::string& dir, const std::string& name) {
    return copy_to("cp -r", src, dir, name);
}

int cp_folder(const std::vector<std::string>& folders, const std::string& dir) {
    return for_each_entry(folders,
                          [&](const std::string& folder) { return cp_folder(folder, dir, ""); });
}

int cp(const std::vector<std::string>& entries, const std::string& dir) {
    return for_each_entry(entries, [&](const std::string& entry) {
        return is_directory(entry) ? cp_folder(entry, dir, "") : cp_file(entry, dir, "");
    });
}

int system_exec(const std::string& cmd) {
    if (!usable(cmd))
        return -1;
    return run("./" + shell_quote(cmd));
}

// ---- child processes ----

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A descriptor that becomes readable when the process ends (-1 where the
// kernel has none; the caller then polls).
int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return static_cast<int>(fd);
    }
#endif
    static_cast<void>(pid);
    return -1;
}

// Waits until pid has ended, the deadline has passed or (when watch_interrupt)
// a stop was requested. True when it ended; its status is then in status.
bool WaitUntil(pid_t pid, int pidfd, Clock::time_point deadline, bool has_deadline,
               bool watch_interrupt, int& status) {
    auto reap = [&]() {
        pid_t r;
        do
            r = ::waitpid(pid, &status, WNOHANG);
        while (r < 0 && errno == EINTR);
        return r == pid;
    };
    auto sleep_backoff = std::chrono::microseconds(50);
    while (true) {
        if (reap())
            return true;
        if (watch_interrupt && INTU::Requested())
            return false;
        int wait_ms = -1;
        if (has_deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            wait_ms = static_cast<int>(std::min<long long>(left.count() + 1, 1 << 30));
        }
        if (pidfd >= 0) {
            struct pollfd fds[2];
            int n = 0;
            fds[n++] = {pidfd, POLLIN, 0};
            const int wake = watch_interrupt ? INTU::WakeFd() : -1;
            if (wake >= 0)
                fds[n++] = {wake, POLLIN, 0};
            ::poll(fds, static_cast<nfds_t>(n), wait_ms);
        } else {
            // No process descriptor: poll the child with a growing pause, short
            // at first so that quick commands are not slowed down.
            std::this_thread::sleep_for(sleep_backoff);
            if (sleep_backoff < std::chrono::milliseconds(10))
                sleep_backoff *= 2;
        }
    }
}

// Ends the whole group of pid: SIGTERM, then SIGKILL once the leader has
// ended or the grace has passed (members that ignore SIGTERM go as well).
int EndGroup(pid_t pid, int pidfd, double grace) {
    ::kill(-pid, SIGTERM);
    int status = 0;
    const auto deadline =
        Clock::now() + std::chrono::microseconds(static_cast<long long>(grace * 1e6));
    const bool ended = WaitUntil(pid, pidfd, deadline, true, false, status);
    ::kill(-pid, SIGKILL);
    if (!ended) {
        pid_t r;
        do
            r = ::waitpid(pid, &status, 0);
        while (r < 0 && errno == EINTR);
    }
    return status;
}

} // namespace

std::vector<std::string> plain_words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char ch : line) {
        if (ch == ' ' || ch == '\t') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
            continue;
        }
        const bool safe = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                          (ch >= '0' && ch <= '9') || ch == '_' || ch == '-' || ch == '.' ||
                          ch == '/' || ch == '+' || ch == ',' || ch == ':' || ch == '@' ||
                          ch == '%' || ch == '=';
        if (!safe)
            return {};
        word += ch;
    }
    if (!word.empty())
        words.push_back(word);
    // A first word holding '=' is a variable assignment for the shell.
    if (words.empty() || words[0].find('=') != std::string::npos)
        return {};
    return words;
}

namespace {

// Starts argv in folder dir as the leader of a new process group, with its
// standard output and error sent to out_fd and err_fd (-1: inherited), and
// waits for it within timeout seconds (0: no limit); when watch_interrupt is
// set an interruption of the run ends it as well.
ProcessResult Launch(const std::vector<std::string>& argv, const std::string& dir, double timeout,
                     double grace, bool watch_interrupt, int out_fd, int err_fd) {
    ProcessResult result;
    if (argv.empty()) {
        result.error = "no command";
        return result;
    }
    for (const auto& arg : argv)
        if (!usable(arg)) {
            result.error = "a command word holds a NUL character";
            return result;
        }
    // Everything the child needs is prepared before the fork: after vfork the
    // child may only make system calls.
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const char* volatile folder = dir.empty() ? nullptr : dir.c_str();
    const pid_t parent = ::getpid();
    volatile int child_errno = 0;
    volatile bool in_folder = false;

    const auto start = Clock::now();
    // vfork: the child borrows this thread's memory until it calls exec, which
    // makes starting a command cheap even from a large process.
    const pid_t pid = ::vfork();
    if (pid == 0) {
        ::setpgid(0, 0);
        // The command must not outlive the thread that waits for it, even when
        // the program is killed with SIGKILL.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (folder != nullptr && ::chdir(folder) != 0) {
            child_errno = errno;
            ::_exit(127);
        }
        in_folder = true;
        if ((out_fd >= 0 && ::dup2(out_fd, STDOUT_FILENO) < 0) ||
            (err_fd >= 0 && ::dup2(err_fd, STDERR_FILENO) < 0)) {
            child_errno = errno;
            ::_exit(127);
        }
        ::execvp(args[0], args.data());
        child_errno = errno;
        ::_exit(127);
    }
    if (pid < 0) {
        result.error = std::string("could not start a process: ") + std::strerror(errno);
        return result;
    }
    // The parent also sets the group, so that it exists before any signal is
    // sent to it whichever of the two runs first.
    ::setpgid(pid, pid);
    int status = 0;
    if (child_errno != 0) {
        ::waitpid(pid, &status, 0);
        result.error = in_folder
                           ? "could not run " + argv[0] + ": " + std::strerror(child_errno)
                           : "could not enter folder " + dir + ": " + std::strerror(child_errno);
        result.seconds = SecondsSince(start);
        return result;
    }
    result.started = true;
    const int pidfd = OpenPidFd(pid);
    const bool has_deadline = timeout > 0.0;
    const auto deadline =
        start + std::chrono::microseconds(static_cast<long long>(has_deadline ? timeout * 1e6 : 0));
    if (WaitUntil(pid, pidfd, deadline, has_deadline, watch_interrupt, status)) {
        result.status = status;
    } else {
        if (watch_interrupt && INTU::Requested())
            result.interrupted = true;
        else
            result.timed_out = true;
        result.status = EndGroup(pid, pidfd, grace);
    }
    if (pidfd >= 0)
        ::close(pidfd);
    result.seconds = SecondsSince(start);
    return result;
}

// Everything written to fd since it was created.
std::string ReadBack(int fd) {
    std::string text;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof(buffer))) != 0) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

} // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const std::string& dir,
                          double timeout, double grace) {
    return Launch(argv, dir, timeout, grace, true, -1, -1);
}

ProcessResult run_captured(const std::vector<std::string>& argv, double timeout, std::string& out,
                           std::string& err) {
    out.clear();
    err.clear();
    // Anonymous in-memory files rather than pipes: the command can write any
    // amount without waiting for a reader, and nothing is left on disk.
    const int out_fd = ::memfd_create("vesk-stdout", MFD_CLOEXEC);
    const int err_fd = out_fd >= 0 ? ::memfd_create("vesk-stderr", MFD_CLOEXEC) : -1;
    if (out_fd < 0 || err_fd < 0) {
        ProcessResult result;
        result.error = "could not capture the output of " + (argv.empty() ? "" : argv[0]) + ": " +
                       std::strerror(errno);
        if (out_fd >= 0)
            ::close(out_fd);
        return result;
    }
    ProcessResult result = Launch(argv, "", timeout, 2.0, false, out_fd, err_fd);
    out = ReadBack(out_fd);
    err = ReadBack(err_fd);
    ::close(out_fd);
    ::close(err_fd);
    return result;
}

ProcessResult run_collect(const std::vector<std::string>& argv, const std::string& dir,
                          double timeout, std::string& output, bool interruptible) {
    output.clear();
    // An anonymous in-memory file rather than a pipe: a command that writes
    // much while nobody reads a pipe would block, and the wait for it would
    // then end at its time limit instead of its end.
    const int fd = ::memfd_create("vesk-output", MFD_CLOEXEC);
    if (fd < 0) {
        ProcessResult result;
        result.error =
            std::string("could not create a file for its output: ") + std::strerror(errno);
        return result;
    }
    ProcessResult result = Launch(argv, dir, timeout, 2.0, interruptible, fd, fd);
    output = ReadBack(fd);
    ::close(fd);
    return result;
}

int give_to_owner_of(const std::string& path, const std::string& folder) {
    if (::geteuid() != 0)
        return 0;
    struct stat owner;
    if (::stat(folder.c_str(), &owner) != 0)
        return errno;
    if (owner.st_uid == 0)
        return 0;
    return ::chown(path.c_str(), owner.st_uid, owner.st_gid) == 0 ? 0 : errno;
}

} // namespace OSAU
