#ifndef VESK_TESTS_TESTSUPPORT_H
#define VESK_TESTS_TESTSUPPORT_H

// Helpers shared by the unit and end-to-end tests: temporary folders, file
// access, running veskv2, and switching fatal errors to exceptions.

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "model/UTILS.h"

namespace testsupport {

// A fresh folder under the system temporary folder, removed with its contents
// when the object goes out of scope (kept when VESK_KEEP_TMP is set).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return mPath; }
    std::string file(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

// Changes the working directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string mPrevious;
};

// A test fixture that runs each test in a fresh temporary folder, which is
// the working directory while the test runs and is removed afterwards. A
// suite takes it with an alias named after the suite:
//     using ExampleTest = testsupport::InTempFolder;
//     TEST_F(ExampleTest, ...) { WriteFile("input.txt", ...); }
class InTempFolder : public ::testing::Test {
protected:
    const std::string& path() const { return dir.path(); }
    std::string file(const std::string& name) const { return dir.file(name); }

    TempDir dir;

private:
    ScopedCwd mCwd{dir.path()}; // declared after dir: leaves before dir is removed
};

// Names each instance of a parameterised test after the `name` member of its
// row, which holds only letters, digits and underscores; rows combined with
// testing::Combine give their names joined by underscores:
//     const ExampleRow kRows[] = {{"Empty", ...}, {"TwoMembers", ...}};
//     INSTANTIATE_TEST_SUITE_P(Rows, ExampleTest, testing::ValuesIn(kRows), RowName());
// Adding a case is then adding a row.
struct RowName {
    template <typename Row> std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return Of(info.param);
    }
    template <typename Row> static std::string Of(const Row& row) { return row.name; }
    template <typename... Rows> static std::string Of(const std::tuple<Rows...>& rows) {
        std::string name;
        std::apply(
            [&](const auto&... row) { ((name += (name.empty() ? "" : "_") + Of(row)), ...); },
            rows);
        return name;
    }
};

// InTempFolder for a parameterised test over rows of type Row.
template <typename Row>
class InTempFolderWithParam : public InTempFolder, public testing::WithParamInterface<Row> {};

// Makes UTILS::Stop throw UTILS::FatalError for the lifetime of the object.
class FatalThrows {
public:
    FatalThrows();
    ~FatalThrows();
    FatalThrows(const FatalThrows&) = delete;
    FatalThrows& operator=(const FatalThrows&) = delete;

private:
    bool mPrevious;
};

// Runs f with fatal errors switched to exceptions and returns what it printed;
// the test fails when f does not stop.
template <typename F> std::string FatalOutput(F&& f) {
    FatalThrows guard;
    testing::internal::CaptureStdout();
    bool threw = false;
    try {
        f();
    } catch (const UTILS::FatalError&) {
        threw = true;
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(threw) << "expected a fatal error; output:\n" << out;
    return out;
}

// Runs f and returns what it printed on standard output.
template <typename F> std::string Captured(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// Puts a folder first on PATH for the lifetime of the object.
class ScopedPathPrefix {
public:
    explicit ScopedPathPrefix(const std::string& dir);
    ~ScopedPathPrefix();
    ScopedPathPrefix(const ScopedPathPrefix&) = delete;
    ScopedPathPrefix& operator=(const ScopedPathPrefix&) = delete;

private:
    std::string mOld;
};

// Writes an executable /bin/sh script.
void WriteScript(const std::string& path, const std::string& body);

void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
long FileSize(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);
// Number of lines of text that equal (or contain) the given text.
int CountLinesEqual(const std::string& text, const std::string& line);
int CountOccurrences(const std::string& text, const std::string& needle);
// The names of the result files a run left in dir, sorted: regular files
// except the evaluation database (it holds times) and the batch files of
// external commands (named after object addresses).
std::vector<std::string> ResultFileNames(const std::string& dir);
// True while process pid runs: a killed process that lingers as a zombie
// until its parent reaps it does not count.
bool ProcessRunning(int pid);
// Copies a file (binary safe).
void CopyFile(const std::string& from, const std::string& to);

struct RunResult {
    int status = -1;    // exit status, or -1 when the process did not exit normally
    std::string output; // standard output and standard error, interleaved
};

// Runs a shell command line in dir and collects its output and exit status.
RunResult RunCommand(const std::string& command, const std::string& dir);
// Runs veskv2 with the given arguments (each quoted for the shell) in dir.
RunResult RunVesk(const std::vector<std::string>& args, const std::string& dir);
std::string VeskPath();
std::string MathcasesPath();
std::string PluginsDir();
std::string SourceDir();
// Lines of a gnuplot script that start a plot statement.
int CountPlotStatements(const std::string& script);
// Page count of a PDF file as pdfinfo reports it, or -1.
int PdfPages(const std::string& dir, const std::string& pdf);

} // namespace testsupport

#endif
