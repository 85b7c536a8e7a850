// Seeded runs whose result files must not change: each case of tests/golden
// runs veskv2 in a fresh folder and compares the SHA-256 of every file it
// wrote with the recorded manifest (tests/golden/README.md says when and how
// to record it again).

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "eval/OSAU.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string GoldenDir() {
    return SourceDir() + "/tests/golden";
}

std::vector<std::string> Cases() {
    std::vector<std::string> cases;
    for (const auto& entry : std::filesystem::directory_iterator(GoldenDir() + "/cases"))
        if (entry.is_directory())
            cases.push_back(entry.path().filename().string());
    std::sort(cases.begin(), cases.end());
    return cases;
}

class GoldenFiles : public testing::TestWithParam<std::string> {};

TEST_P(GoldenFiles, ResultFilesAreByteIdentical) {
    const std::string dir = GoldenDir() + "/cases/" + GetParam();
    TempDir run;
    const RunResult r = RunCommand(
        OSAU::shell_quote(GoldenDir() + "/run_case.sh") + " " + OSAU::shell_quote(dir) + " " +
            OSAU::shell_quote(VeskPath()) + " " + OSAU::shell_quote(MathcasesPath()) + " " +
            OSAU::shell_quote(run.file("run")) + " 2>&1",
        run.path());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> expected = ReadLines(dir + "/expected.sha256");
    const std::vector<std::string> actual = SplitLines(r.output);
    // Name the files that differ rather than dumping both manifests.
    std::vector<std::string> differences;
    for (const std::string& line : expected)
        if (std::find(actual.begin(), actual.end(), line) == actual.end())
            differences.push_back("expected " + line);
    for (const std::string& line : actual)
        if (std::find(expected.begin(), expected.end(), line) == expected.end())
            differences.push_back("got      " + line);
    std::string report;
    for (const std::string& d : differences)
        report += d + "\n";
    if (!differences.empty()) {
        // Keep the run folder: a difference that does not repeat can only be
        // understood from the files it left.
        const std::string kept = std::filesystem::temp_directory_path().string() +
                                 "/vesk-golden-failure-" + GetParam() + "-" +
                                 std::to_string(::getpid());
        std::error_code ec;
        std::filesystem::copy(run.file("run"), kept, std::filesystem::copy_options::recursive, ec);
        report += "run folder kept in " + kept + "\n";
    }
    EXPECT_TRUE(differences.empty()) << "result files of case " << GetParam() << " differ:\n"
                                     << report;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenFiles, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

} // namespace
