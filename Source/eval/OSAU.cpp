#include "eval/OSAU.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

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
    int result = 0;
    for (const auto& dir : dirs)
        keep_failure(result, rmdir(dir));
    return result;
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
    const std::string target = dirappend(dir, name);
    if (!usable(src) || !usable(target))
        return -1;
    return run("cp -- " + shell_quote(src) + " " + shell_quote(target));
}

int cp_file(const std::vector<std::string>& files, const std::string& dir) {
    int result = 0;
    for (const auto& file : files)
        keep_failure(result, cp_file(file, dir, ""));
    return result;
}

int cp_folder(const std::string& src, const std::string& dir, const std::string& name) {
    const std::string target = dirappend(dir, name);
    if (!usable(src) || !usable(target))
        return -1;
    return run("cp -r -- " + shell_quote(src) + " " + shell_quote(target));
}

int cp_folder(const std::vector<std::string>& folders, const std::string& dir) {
    int result = 0;
    for (const auto& folder : folders)
        keep_failure(result, cp_folder(folder, dir, ""));
    return result;
}

int cp(const std::vector<std::string>& entries, const std::string& dir) {
    int result = 0;
    for (const auto& entry : entries) {
        if (is_directory(entry))
            keep_failure(result, cp_folder(entry, dir, ""));
        else
            keep_failure(result, cp_file(entry, dir, ""));
    }
    return result;
}

int system_exec(const std::string& cmd) {
    if (!usable(cmd))
        return -1;
    return run("./" + shell_quote(cmd));
}

} // namespace OSAU
