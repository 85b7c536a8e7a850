#include "support/TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "eval/OSAU.h"
#include "model/UTILS.h"

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string templ = (fs::temp_directory_path() / "vesk-test-XXXXXX").string();
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    mPath = buffer.data();
}

TempDir::~TempDir() {
    if (std::getenv("VESK_KEEP_TMP") == nullptr) {
        std::error_code ec;
        fs::remove_all(mPath, ec);
    }
}

ScopedCwd::ScopedCwd(const std::string& dir) : mPrevious(fs::current_path().string()) {
    fs::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
    std::error_code ec;
    fs::current_path(mPrevious, ec);
}

FatalThrows::FatalThrows() : mPrevious(UTILS::FatalThrows()) {
    UTILS::SetFatalThrows(true);
}

FatalThrows::~FatalThrows() {
    UTILS::SetFatalThrows(mPrevious);
}

ScopedPathPrefix::ScopedPathPrefix(const std::string& dir) {
    const char* old = std::getenv("PATH");
    mOld = old ? old : "";
    setenv("PATH", (dir + ":" + mOld).c_str(), 1);
}

ScopedPathPrefix::~ScopedPathPrefix() {
    setenv("PATH", mOld.c_str(), 1);
}

void WriteScript(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream os(path, std::ios::binary | std::ios::trunc);
    if (!os)
        throw std::runtime_error("cannot write " + path);
    os << text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream is(path, std::ios::binary);
    if (!is)
        return "";
    std::ostringstream ss;
    ss << is.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) {
    return fs::exists(path);
}

long FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long>(size);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream is(text);
    std::string line;
    while (std::getline(is, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> ReadLines(const std::string& path) {
    return SplitLines(ReadFile(path));
}

int CountLinesEqual(const std::string& text, const std::string& line) {
    int count = 0;
    for (const auto& l : SplitLines(text))
        if (l == line)
            ++count;
    return count;
}

int CountOccurrences(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos;
         pos = text.find(needle, pos + needle.size()))
        ++count;
    return count;
}

void CopyFile(const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

bool ProcessRunning(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}

std::vector<std::string> ResultFileNames(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.rfind("evaluations", 0) == 0 ||
            name.find("runCommand") != std::string::npos)
            continue;
        files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

RunResult RunCommand(const std::string& command, const std::string& dir) {
    const std::string line = "cd " + OSAU::shell_quote(dir) + " && " + command + " 2>&1";
    RunResult result;
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("popen failed");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

RunResult RunVesk(const std::vector<std::string>& args, const std::string& dir) {
    std::string command = OSAU::shell_quote(VeskPath());
    for (const auto& arg : args)
        command += " " + OSAU::shell_quote(arg);
    return RunCommand(command, dir);
}

std::string VeskPath() {
#ifdef VESK_VESKV2_PATH
    return VESK_VESKV2_PATH;
#else
    return "veskv2";
#endif
}

std::string MathcasesPath() {
    return VESK_MATHCASES_PATH;
}

std::string PluginsDir() {
    return VESK_TEST_PLUGINS_DIR;
}

std::string SourceDir() {
    return VESK_SOURCE_DIR;
}

int CountPlotStatements(const std::string& script) {
    int n = 0;
    for (const std::string& line : ReadLines(script))
        if (line.rfind("plot ", 0) == 0)
            ++n;
    return n;
}

int PdfPages(const std::string& dir, const std::string& pdf) {
    const RunResult info = RunCommand("pdfinfo " + OSAU::shell_quote(pdf), dir);
    if (info.status != 0)
        return -1;
    for (const std::string& line : SplitLines(info.output)) {
        std::istringstream words(line);
        std::string key;
        int pages = -1;
        if (words >> key >> pages && key == "Pages:")
            return pages;
    }
    return -1;
}

} // namespace testsupport
