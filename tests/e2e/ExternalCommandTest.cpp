// Optimisation runs from the command line whose analyser is an external
// command (small shell/awk scripts of tests/data/external): on the local unit
// with one and two processors and on the HTCondor unit through the local
// stand-in of tools/htcondor-local. The results in the children file are
// checked design by design against the problem's formulas.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "eval/OSAU.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

std::string DataDir() {
    return SourceDir() + "/tests/data/external";
}

std::string StandIn() {
    return SourceDir() + "/tools/htcondor-local";
}

void CopyData(const std::string& name, const std::string& dir) {
    CopyFile(DataDir() + "/" + name, dir + "/" + name);
    fs::permissions(dir + "/" + name, fs::perms::owner_all, fs::perm_options::add);
}

std::string Tail(const std::string& text) {
    return text.substr(text.size() > 3000 ? text.size() - 3000 : 0);
}

// The data lines of the children file, split into their fields (objectives,
// design variables, constraints, rank, crowding), as text.
std::vector<std::vector<std::string>> ChildRecords(const std::string& file) {
    std::vector<std::vector<std::string>> records;
    for (const std::string& line : ReadLines(file)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream is(line);
        std::vector<std::string> fields;
        std::string field;
        while (is >> field)
            fields.push_back(field);
        records.push_back(fields);
    }
    return records;
}

// BNH at a design as written in the file: f1, f2, g1, g2.
std::vector<double> Bnh(double x1, double x2) {
    return {4 * x1 * x1 + 4 * x2 * x2, (x1 - 5) * (x1 - 5) + (x2 - 5) * (x2 - 5),
            1 - ((x1 - 5) * (x1 - 5) + x2 * x2) / 25,
            ((x1 - 8) * (x1 - 8) + (x2 + 3) * (x2 + 3)) / 7.7 - 1};
}

// The file holds eleven significant digits of each value; the design itself
// was rounded to the same precision before the command saw it.
void ExpectNear(double actual, double expected, const std::string& what) {
    EXPECT_LE(std::fabs(actual - expected), 1e-9 * std::max(1.0, std::fabs(expected)))
        << what << ": " << actual << " instead of " << expected;
}

// Checks every record against BNH; returns how many there were.
size_t ExpectBnhRecords(const std::string& file) {
    const auto records = ChildRecords(file);
    for (const auto& r : records) {
        EXPECT_EQ(r.size(), 8u);
        if (r.size() != 8u)
            continue;
        const double x1 = std::stod(r[2]), x2 = std::stod(r[3]);
        const std::vector<double> want = Bnh(x1, x2);
        const std::string at = "design " + r[2] + " " + r[3];
        ExpectNear(std::stod(r[0]), want[0], at + " f1");
        ExpectNear(std::stod(r[1]), want[1], at + " f2");
        ExpectNear(std::stod(r[4]), want[2], at + " g1");
        ExpectNear(std::stod(r[5]), want[3], at + " g2");
    }
    return records.size();
}

std::map<std::string, std::string> ResultFiles(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : ResultFileNames(dir))
        files[name] = ReadFile(dir + "/" + name);
    return files;
}

TEST(ExternalCommandTest, EveryDesignGetsTheProblemsValuesFromTheCommand) {
    TempDir top;
    // The run folder's path holds blanks and shell metacharacters.
    const std::string dir = top.file("bnh run; $(touch pwned) 'q'");
    fs::create_directory(dir);
    CopyData("bnh.sh", dir);
    WriteRunFiles(dir, CommandRun{});
    const RunResult r = RunVesk({"-s", "3"}, dir);
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    EXPECT_NE(r.output.find("QERN Finished"), std::string::npos);
    EXPECT_EQ(r.output.find("penalty"), std::string::npos) << Tail(r.output);
    EXPECT_GE(ExpectBnhRecords(dir + "/childs.out"), 40u);
    EXPECT_FALSE(FileExists(top.file("pwned")));
    EXPECT_FALSE(FileExists(dir + "/pwned"));
}

TEST(ExternalCommandTest, ASeededRunIsReproducibleByteForByte) {
    TempDir a, b;
    std::map<std::string, std::string> results[2];
    int k = 0;
    for (const TempDir* dir : {&a, &b}) {
        CopyData("bnh.sh", dir->path());
        CommandRun run;
        run.evaluations = 32;
        WriteRunFiles(dir->path(), run);
        const RunResult r = RunVesk({"-s", "11"}, dir->path());
        ASSERT_EQ(r.status, 0) << Tail(r.output);
        results[k++] = ResultFiles(dir->path());
    }
    ASSERT_TRUE(results[0].count("childs.out"));
    ASSERT_TRUE(results[0].count("parents.out"));
    ASSERT_TRUE(results[0].count("pareto_Last.front"));
    ASSERT_EQ(results[0].size(), results[1].size());
    for (const auto& [name, content] : results[0]) {
        ASSERT_TRUE(results[1].count(name)) << name;
        EXPECT_TRUE(content == results[1][name]) << name << " differs between the two runs";
    }
}

TEST(ExternalCommandTest, TwoProcessorsEvaluateAtOnceInTwoFoldersWithoutMixingResults) {
    TempDir dir;
    CopyData("trace_echo.sh", dir.path());
    CommandRun run;
    run.ncpu = 2;
    run.command = "./trace_echo.sh";
    run.evaluations = 24;
    WriteRunFiles(dir.path(), run);
    const RunResult r = RunVesk({"-s", "5"}, dir.path());
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    // Each design came back as its own objectives and constraints.
    const auto records = ChildRecords(dir.file("childs.out"));
    EXPECT_GE(records.size(), 24u);
    for (const auto& rec : records) {
        ASSERT_EQ(rec.size(), 8u);
        EXPECT_EQ(rec[0], rec[2]);
        EXPECT_EQ(rec[1], rec[3]);
        EXPECT_EQ(rec[4], rec[2]);
        EXPECT_EQ(rec[5], rec[3]);
    }
    // Two working folders, and evaluations in them that overlapped in time.
    struct Span {
        std::string folder;
        long long start, end;
    };
    std::vector<Span> spans;
    std::set<std::string> folders;
    for (const std::string& line : ReadLines(dir.file("trace.log"))) {
        std::istringstream is(line);
        Span s;
        ASSERT_TRUE(is >> s.folder >> s.start >> s.end) << line;
        spans.push_back(s);
        folders.insert(s.folder);
    }
    EXPECT_EQ(spans.size(), records.size());
    ASSERT_EQ(folders.size(), 2u);
    for (const auto& f : folders)
        EXPECT_EQ(f.substr(f.size() - 4), "_CPU");
    bool overlap = false;
    for (const Span& s : spans)
        for (const Span& t : spans)
            overlap = overlap || (s.folder != t.folder && s.start < t.end && t.start < s.end);
    EXPECT_TRUE(overlap);
}

TEST(ExternalCommandTest, DesignsWhoseCommandCrashesGetThePenaltyAndTheRunCompletes) {
    TempDir dir;
    CopyData("bnh.sh", dir.path());
    CopyData("bnh_crashing.sh", dir.path());
    CommandRun run;
    run.command = "./bnh_crashing.sh";
    run.essentials = {"bnh.sh"};
    WriteRunFiles(dir.path(), run);
    const RunResult r = RunVesk({"-s", "3"}, dir.path());
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    EXPECT_NE(r.output.find("QERN Finished"), std::string::npos);
    EXPECT_NE(r.output.find("INF penalty applied!\nConsider checking analyzer robustness.\n"),
              std::string::npos);
    size_t crashed = 0, answered = 0;
    for (const auto& rec : ChildRecords(dir.file("childs.out"))) {
        ASSERT_EQ(rec.size(), 8u);
        const double x1 = std::stod(rec[2]), x2 = std::stod(rec[3]);
        if (x1 > 2.5) {
            ++crashed;
            EXPECT_EQ(rec[0], "1.7976931349e+308");
            EXPECT_EQ(rec[1], "1.7976931349e+308");
        } else {
            ++answered;
            const std::vector<double> want = Bnh(x1, x2);
            ExpectNear(std::stod(rec[0]), want[0], "f1 at " + rec[2]);
            ExpectNear(std::stod(rec[1]), want[1], "f2 at " + rec[2]);
        }
    }
    EXPECT_GT(crashed, 0u);
    EXPECT_GT(answered, 0u);
}

TEST(ExternalCommandTest, TheHTCondorUnitCompletesARunThroughTheStandIn) {
    TempDir top;
    const std::string dir = top.file("condor run");
    fs::create_directory(dir);
    CopyData("bnh.sh", dir);
    CommandRun run;
    run.ncpu = 0;
    run.evaluations = 24;
    WriteRunFiles(dir, run);
    const RunResult r = RunCommand("PATH=" + OSAU::shell_quote(StandIn()) + ":\"$PATH\" " +
                                       OSAU::shell_quote(VeskPath()) + " -s 3",
                                   dir);
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    EXPECT_NE(r.output.find("HTCondor Evaluation"), std::string::npos);
    EXPECT_NE(r.output.find("All jobs done."), std::string::npos);
    EXPECT_GE(ExpectBnhRecords(dir + "/childs.out"), 24u);
    // The unit cleaned up its initial directories, submit file and log.
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find("condorInd"), std::string::npos) << name;
        EXPECT_EQ(name.find(".condor"), std::string::npos) << name;
    }
}

// The JSON road to the HTCondor unit ("ncpu" 0): essential files reach the
// jobs, and jobs that crash give their designs the penalty.
TEST(ExternalCommandTest, TheHTCondorUnitFromJsonTransfersEssentialFilesAndSurvivesCrashes) {
    TempDir dir;
    CopyData("bnh.sh", dir.path());
    CopyData("bnh_crashing.sh", dir.path());
    WriteFile(dir.file("input.jsn"), R"({"OptimizationAlgorithm": {"LAMBDAMU": {
        "ndvs": 2, "nobj": 2, "nctr": 2,
        "EVAU": {"ncpu": 0, "AnalyzerType": 1, "CommandFile": "./bnh_crashing.sh",
                 "mEssentialFilesAndFolders": ["bnh.sh"]},
        "seed": 5, "popsize": 8, "popinit": 0, "bufize": 8, "pc": 0.9, "pm": 0.5,
        "dvs_step": [0, 0], "min_dvs": [0, 0], "max_dvs": [5, 3],
        "TerminationCriteria": {"criteria": 0, "max_obj_evals": 24}}}})");
    WriteFile(dir.file("write.QERN"), "2\n1\n0\n0\n0\n");
    const RunResult r = RunCommand("PATH=" + OSAU::shell_quote(StandIn()) + ":\"$PATH\" " +
                                       OSAU::shell_quote(VeskPath()) + " -j",
                                   dir.path());
    ASSERT_EQ(r.status, 0) << Tail(r.output);
    EXPECT_NE(r.output.find("EssentialFilesAndFolders[0] = bnh.sh"), std::string::npos);
    size_t crashed = 0, answered = 0;
    for (const auto& rec : ChildRecords(dir.file("childs.out"))) {
        ASSERT_EQ(rec.size(), 8u);
        const double x1 = std::stod(rec[2]), x2 = std::stod(rec[3]);
        if (x1 > 2.5) {
            ++crashed;
            EXPECT_EQ(rec[0], "1.7976931349e+308");
        } else {
            ++answered;
            ExpectNear(std::stod(rec[0]), Bnh(x1, x2)[0], "f1 at " + rec[2]);
            ExpectNear(std::stod(rec[5]), Bnh(x1, x2)[3], "g2 at " + rec[2]);
        }
    }
    EXPECT_GT(crashed, 0u);
    EXPECT_GT(answered, 0u);
}

// The two example folders, run from copies with a smaller budget: their
// configuration is read as shipped and SRN comes back from their script.
TEST(ExternalCommandTest, TheExampleFoldersRun) {
    for (const std::string name : {"external_local", "external_htcondor"}) {
        SCOPED_TRACE(name);
        TempDir top;
        const std::string dir = top.file(name);
        fs::copy(SourceDir() + "/examples/" + name, dir, fs::copy_options::recursive);
        std::string input = ReadFile(dir + "/input.QERN");
        const size_t rule = input.rfind("\n0 ", input.size() - 2);
        ASSERT_NE(rule, std::string::npos);
        WriteFile(dir + "/input.QERN", input.substr(0, rule) + "\n0 40   stopping rule\n");
        const RunResult r = RunCommand("PATH=" + OSAU::shell_quote(StandIn()) + ":\"$PATH\" " +
                                           OSAU::shell_quote(VeskPath()) + " -s 2",
                                       dir);
        ASSERT_EQ(r.status, 0) << Tail(r.output);
        const auto records = ChildRecords(dir + "/childs.out");
        EXPECT_GE(records.size(), 40u);
        for (const auto& rec : records) {
            ASSERT_EQ(rec.size(), 8u);
            const double x1 = std::stod(rec[2]), x2 = std::stod(rec[3]);
            const std::string at = "design " + rec[2] + " " + rec[3];
            ExpectNear(std::stod(rec[0]), (x1 - 2) * (x1 - 2) + (x2 - 1) * (x2 - 1) + 2, at);
            ExpectNear(std::stod(rec[1]), 9 * x1 - (x2 - 1) * (x2 - 1), at);
            ExpectNear(std::stod(rec[4]), 1 - (x1 * x1 + x2 * x2) / 225, at);
            ExpectNear(std::stod(rec[5]), (3 * x2 - x1) / 10 - 1, at);
        }
    }
}

} // namespace
