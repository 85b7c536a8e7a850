// Tests of the HTCondor evaluation unit, run against the local stand-in of
// tools/htcondor-local (or against recording/failing stand-ins of the two
// commands). The job command writes each design back as its objectives, so
// every result names the design it came from.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/HTCondorEVAU.h"
#include "eval/SCON.h"
#include "model/INDIVIDUAL.h"
#include "model/INTU.h"
#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Captured;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ScopedPathPrefix;
using testsupport::WriteFile;
using testsupport::WriteScript;

const double kWorst = std::numeric_limits<double>::max();

std::string AddressText(const void* p) {
    std::ostringstream os;
    os << p;
    return os.str();
}

std::string StandIn() {
    return testsupport::SourceDir() + "/tools/htcondor-local";
}

// Objectives = the design, constraint = its sum; designs whose first variable
// is negative get no answer at all.
const char* kEchoScript = "awk '$1 >= 0 { print $1, $2 > \"Eval.individual\"; "
                          "print $1 + $2 > \"Eval.constraint\" }' Eval.DVs\n";

// A unit of 2 variables, 2 objectives and 1 constraint running ./echo.sh,
// built from the text configuration, and its console output.
std::unique_ptr<HTCondorEVAU> MakeUnit(const std::string& essentials = "0\n") {
    std::istringstream in("1    analyser type\n./echo.sh\n0\n" + essentials);
    std::unique_ptr<HTCondorEVAU> unit;
    Captured([&] { unit = std::make_unique<HTCondorEVAU>(2, 2, 1, in); });
    return unit;
}

struct Population {
    std::vector<INDIVIDUAL> bestfits;
    POPULATION pop;
    Population(const std::vector<std::vector<double>>& designs)
        : bestfits(2, INDIVIDUAL(2, 2, 1, nullptr)),
          pop("p", 2, 2, 1, static_cast<int>(designs.size()), true) {
        pop.SetBestfitsPtr(&bestfits);
        pop.SetBestfitsPtrToInds(&bestfits);
        for (unsigned i = 0; i < designs.size(); ++i)
            pop[i].SetDvs(designs[i]);
    }
};

bool Answered(const INDIVIDUAL& ind) {
    return ind.IsComputed() && ind.GetObj() == ind.GetDvs() &&
           ind.GetCtr(0) == ind.GetDvs(0) + ind.GetDvs(1);
}

// True while process pid exists and is not a zombie waiting to be reaped.
bool Running(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// The process numbers recorded in file, one a line, none of them running.
void ExpectNoneRunning(const std::string& file) {
    std::istringstream pids(ReadFile(file));
    int count = 0;
    for (std::string pid; pids >> pid; ++count)
        EXPECT_FALSE(Running(pid)) << "process " << pid << " of the job still runs";
    EXPECT_GT(count, 0) << "the job recorded no process in " << file;
}

// The echo job, except for designs whose first variable is 9: those record
// their process numbers (the job's and a child's) in record, mark started,
// and hang.
std::string HangingScript(const std::string& record, const std::string& started) {
    return "read a b < Eval.DVs\n"
           "case $a in 9.*) echo $$ > " +
           record + "; sleep 300 & echo $! >> " + record + "; touch " + started +
           "; wait; exit 0;; esac\n" + kEchoScript;
}

int CountEntriesContaining(const std::string& dir, const std::string& text) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        n += entry.path().filename().string().find(text) != std::string::npos;
    return n;
}

// ------------------------------------------------------------- configuration

using HTCondorEVAUTest = testsupport::InTempFolder;

TEST_F(HTCondorEVAUTest, ReadsTheTextAndJsonConfigurations) {
    std::istringstream in("1   type\n./run.sh   command\n2\n-n $(NDVS)\n2\nmesh params.txt\n");
    std::unique_ptr<HTCondorEVAU> unit;
    std::string out = Captured([&] { unit = std::make_unique<HTCondorEVAU>(2, 2, 0, in); });
    EXPECT_EQ(out, "HTCondor Evaluation\narguments[0] = -n\narguments[1] = $(NDVS)\n");
    EXPECT_EQ(unit->GetAnalyzerType(), 1u);
    EXPECT_EQ(unit->GetCommandFile(), "./run.sh");
    EXPECT_EQ(unit->GetArguments(), (std::vector<std::string>{"-n", "$(NDVS)"}));
    EXPECT_EQ(unit->GetEssentialFilesAndFolders(),
              (std::vector<std::string>{"mesh", "params.txt"}));

    const nlohmann::json block = {{"ncpu", 0},
                                  {"AnalyzerType", 1},
                                  {"CommandFile", "./run.sh"},
                                  {"Arguments", {"a"}},
                                  {"mEssentialFilesAndFolders", {"mesh"}}};
    out = Captured([&] { unit = std::make_unique<HTCondorEVAU>(2, 2, 0, block); });
    EXPECT_EQ(out, "HTCondor Evaluation\narguments[0] = a\nEssentialFilesAndFolders[0] = mesh\n");
    EXPECT_EQ(unit->GetEssentialFilesAndFolders(), std::vector<std::string>{"mesh"});
}

TEST_F(HTCondorEVAUTest, RefusesPlugInsAndUnknownAnalyserTypes) {
    testsupport::FatalThrows guard;
    auto refused = [](auto make) {
        testing::internal::CaptureStdout();
        try {
            make();
        } catch (const UTILS::FatalError& e) {
            testing::internal::GetCapturedStdout();
            return std::string(e.what());
        }
        testing::internal::GetCapturedStdout();
        return std::string("not refused");
    };
    std::istringstream text("0\nlibmathcases.so\n0\n0\n");
    EXPECT_EQ(refused([&] { HTCondorEVAU unit(2, 2, 0, text); }),
              "SO/DLL not available for HTCondor evaluation\nProgram stopped!\n");
    const nlohmann::json block = {{"AnalyzerType", 0}, {"CommandFile", "x.so"}};
    EXPECT_EQ(refused([&] { HTCondorEVAU unit(2, 2, 0, block); }),
              "SO/DLL not available for HTCondor evaluation\nProgram stopped!\n");
    std::istringstream three("3\n./run.sh\n0\n0\n");
    EXPECT_NE(
        refused([&] { HTCondorEVAU unit(2, 2, 0, three); }).find("AnalyzerType 3 not recognized"),
        std::string::npos);
}

// --------------------------------------------------------------------- Init

TEST_F(HTCondorEVAUTest, InitCreatesTheInitialDirsAndTheDestructorRemovesThem) {
    WriteFile("htcondor.QERN", "Requirements\nMemory > 64\n");
    auto unit = MakeUnit("2\nparams.txt /abs/table\n");
    const std::string tag = AddressText(unit.get());
    const std::string out = Captured([&] { unit->Init(4); });
    EXPECT_EQ(out, "HTCondorEVAU::Init()\n"
                   "* Reading SCON (HTCondor) Configuration File: htcondor.QERN\n"
                   "* Configurations read:\n"
                   "* Requirements = (Memory > 64)\n"
                   "* Done!\n"
                   "* Creating initial dirs ...\n"
                   "* Done!\n"
                   "Done.\n");
    EXPECT_EQ(unit->GetInitialDirPrefix(), tag + "condorInd");
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(fs::is_directory(tag + "condorInd" + std::to_string(i)));
    EXPECT_FALSE(FileExists(tag + "condorInd4"));
    ASSERT_NE(unit->GetJobs(), nullptr);
    EXPECT_EQ(unit->GetJobs()->GetSubmitFile(), tag + "submit.condor");
    EXPECT_EQ(unit->GetJobs()->GetLogFile(), tag + "log.condor");
    EXPECT_EQ(unit->GetJobs()->GetQueue(), 4);
    Captured([&] { unit.reset(); });
    EXPECT_EQ(CountEntriesContaining(dir.path(), "condorInd"), 0);
}

// ------------------------------------------------------------------ Compute

TEST_F(HTCondorEVAUTest, EvaluatesOnlyTheUncomputedIndividualsInTheirOwnDirs) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), kEchoScript);
    WriteFile("params.txt", "p");
    auto unit = MakeUnit("1\nparams.txt\n");
    const std::string tag = AddressText(unit.get());
    Captured([&] { unit->Init(8); });
    Population p({{0, 0}, {1, 1}, {2, 2.5}, {3, 3}, {4, 4}, {5, 5.5}, {6, 6}, {7, 7}});
    for (unsigned i = 0; i < 8; ++i)
        if (i != 2 && i != 5)
            p.pop[i].SetEval({-1.0, -1.0}, {9.0});
    WriteData out;
    out.SetWriteChilds(true);
    out.SetWriteASCIIFormat(true);
    bool met = true;
    const std::string console =
        Captured([&] { met = unit->Compute(p.pop, nullptr, {}, {}, &out); });
    EXPECT_FALSE(met);
    EXPECT_EQ(unit->GetObjEvals(), 2u);
    EXPECT_TRUE(Answered(p.pop[2]));
    EXPECT_TRUE(Answered(p.pop[5]));
    EXPECT_EQ(p.pop[3].GetObj(), (std::vector<double>{-1.0, -1.0}));
    // Jobs ran in directories 2 and 5 only.
    for (int i = 0; i < 8; ++i) {
        const std::string d = tag + "condorInd" + std::to_string(i);
        EXPECT_EQ(FileExists(d + "/Eval.individual"), i == 2 || i == 5) << d;
    }
    EXPECT_EQ(ReadFile(tag + "condorInd5/Eval.DVs"), "5.0000000000e+00    5.5000000000e+00    ");
    EXPECT_EQ(ReadFile(tag + "submit.condor"),
              "################################\n"
              "#       Condor submit file     #\n"
              "# Created by SCON library      #\n"
              "################################\n"
              "\n"
              "Universe   = vanilla\n"
              "\n"
              "Executable = ./echo.sh\n"
              "\n"
              "Log    = ../" +
                  tag +
                  "log.condor\n"
                  "Output = out.condor\n"
                  "Error  = err.condor\n"
                  "\n"
                  "initialdir = " +
                  tag +
                  "condorInd$(index)\n"
                  "\n"
                  "should_transfer_files = YES\n"
                  "transfer_input_files = Eval.DVs, ../params.txt\n"
                  "when_to_transfer_output = ON_EXIT\n"
                  "transfer_output_files = Eval.individual, Eval.constraint\n"
                  "\n"
                  "periodic_remove = (JobStatus == 5)\n"
                  "\n"
                  "Queue index in (2 5)\n");
    // The log is gone; the console shows the whole sequence.
    EXPECT_FALSE(FileExists(tag + "log.condor"));
    EXPECT_NE(console.find("* Writting submit file...\n* Done!\n"
                           "* Submitting jobs to HTCondor:\n"
                           "* Command: condor_submit " +
                           tag + "submit.condor\n"),
              std::string::npos);
    EXPECT_NE(console.find("* Waiting jobs to end ...\n* Command: condor_wait -wait <seconds> " +
                           tag + "log.condor (repeated while jobs remain)\n"),
              std::string::npos);
    // Every computed individual went to the children file, after one header.
    const auto lines = testsupport::ReadLines(out.GetChildsFilename());
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0].rfind("# obj[0]", 0), 0u);
    Captured([&] { unit.reset(); });
    EXPECT_EQ(CountEntriesContaining(dir.path(), "condorInd"), 0);
    EXPECT_FALSE(FileExists(tag + "submit.condor"));
}

TEST_F(HTCondorEVAUTest, AJobWithoutResultsGetsThePenaltyNotTheLastGenerationsResults) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), kEchoScript);
    auto unit = MakeUnit();
    Captured([&] { unit->Init(3); });
    Population first({{1, 2}, {3, 4}, {5, 6}});
    Captured([&] { unit->Compute(first.pop, nullptr, {}, {}, nullptr); });
    ASSERT_TRUE(Answered(first.pop[1]));
    // Next generation: design 1 gets no answer from its job.
    Population second({{7, 8}, {-1, 9}, {10, 11}});
    const std::string console =
        Captured([&] { unit->Compute(second.pop, nullptr, {}, {}, nullptr); });
    EXPECT_TRUE(Answered(second.pop[0]));
    EXPECT_TRUE(Answered(second.pop[2]));
    EXPECT_TRUE(second.pop[1].IsComputed());
    EXPECT_EQ(second.pop[1].GetObj(), (std::vector<double>{kWorst, kWorst}));
    EXPECT_NE(console.find("INF penalty applied!\nConsider checking analyzer robustness.\n"),
              std::string::npos);
    EXPECT_EQ(unit->GetObjEvals(), 6u);
    Captured([&] { unit.reset(); });
}

TEST_F(HTCondorEVAUTest, DesignsWhoseDirectoryCannotBePreparedFailOrStopTheRun) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), kEchoScript);
    auto unit = MakeUnit();
    const std::string tag = AddressText(unit.get());
    Captured([&] { unit->Init(3); });
    // A folder in the way of directory 2's result file: that design fails
    // and runs no job.
    fs::create_directories(tag + "condorInd2/Eval.individual/inside");
    Population p({{1, 2}, {3, 4}, {5, 6}});
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, nullptr); });
    EXPECT_TRUE(Answered(p.pop[0]));
    EXPECT_TRUE(Answered(p.pop[1]));
    EXPECT_EQ(p.pop[2].GetObj(), (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(unit->GetObjEvals(), 3u);
    EXPECT_EQ(unit->GetFailed(), 1u);
    EXPECT_NE(console.find("Could not remove the previous result file " + tag +
                           "condorInd2/Eval.individual."),
              std::string::npos);
    EXPECT_NE(ReadFile(tag + "submit.condor").find("Queue index in (0 1)\n"), std::string::npos);
    // A directory that vanished cannot take the design: nothing of the batch
    // could be saved, so the run stops naming it.
    fs::remove_all(tag + "condorInd1");
    Population q({{1, 2}, {3, 4}, {5, 6}});
    const std::string out =
        testsupport::FatalOutput([&] { unit->Compute(q.pop, nullptr, {}, {}, nullptr); });
    EXPECT_NE(out.find("Could not write " + tag + "condorInd1/Eval.DVs"), std::string::npos) << out;
    Captured([&] { unit.reset(); });
}

TEST_F(HTCondorEVAUTest, APopulationWithNothingToComputeSubmitsNoJobs) {
    fs::create_directory("bin");
    WriteScript(dir.file("bin/condor_submit"), "touch \"" + dir.file("submitted") + "\"\n");
    WriteScript(dir.file("bin/condor_wait"), "touch \"" + dir.file("waited") + "\"\n");
    ScopedPathPrefix path(dir.file("bin"));
    WriteScript(dir.file("echo.sh"), kEchoScript);
    auto unit = MakeUnit();
    Captured([&] { unit->Init(2); });
    Population p({{1, 2}, {3, 4}});
    p.pop[0].SetEval({1, 2}, {3});
    p.pop[1].SetEval({3, 4}, {7});
    WriteData out;
    out.SetWriteChilds(true);
    out.SetWriteASCIIFormat(true);
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, &out); });
    EXPECT_NE(console.find("* No jobs to submit.\n"), std::string::npos);
    EXPECT_FALSE(FileExists("submitted"));
    EXPECT_FALSE(FileExists("waited"));
    EXPECT_EQ(unit->GetObjEvals(), 0u);
    EXPECT_EQ(testsupport::ReadLines(out.GetChildsFilename()).size(), 3u);
    Captured([&] { unit.reset(); });
}

TEST_F(HTCondorEVAUTest, APopulationLargerThanAnnouncedGetsDirectoriesForEveryDesign) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), kEchoScript);
    auto unit = MakeUnit();
    const std::string tag = AddressText(unit.get());
    Captured([&] { unit->Init(2); });
    Population p({{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}});
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, nullptr); });
    EXPECT_NE(console.find("* Population of 5 individuals, larger than the 2 initial dirs: "
                           "creating the missing ones.\n"),
              std::string::npos);
    for (unsigned i = 0; i < 5; ++i)
        EXPECT_TRUE(Answered(p.pop[i])) << i;
    EXPECT_EQ(unit->GetObjEvals(), 5u);
    EXPECT_EQ(CountEntriesContaining(dir.path(), tag + "condorInd"), 5);
    Captured([&] { unit.reset(); });
    EXPECT_EQ(CountEntriesContaining(dir.path(), "condorInd"), 0);
}

TEST_F(HTCondorEVAUTest, StoresTheWholeBatchBeforeReportingTheStoppingRule) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), kEchoScript);
    auto unit = MakeUnit();
    Captured([&] { unit->Init(3); });
    std::unique_ptr<TerminationCriteriaNEvals> rule;
    Captured([&] { rule = std::make_unique<TerminationCriteriaNEvals>(1); });
    Population p({{1, 2}, {3, 4}, {5, 6}});
    bool met = false;
    const std::string console =
        Captured([&] { met = unit->Compute(p.pop, rule.get(), {}, {}, nullptr); });
    EXPECT_TRUE(met);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_TRUE(Answered(p.pop[i])) << i;
    EXPECT_EQ(testsupport::CountOccurrences(console, "Termination criteria has been met\n"), 1);
    // The flag is cleared at the start of the next batch.
    Population q({{2, 2}});
    Captured([&] { met = unit->Compute(q.pop, nullptr, {}, {}, nullptr); });
    EXPECT_FALSE(met);
    Captured([&] { unit.reset(); });
}

// ------------------------------------------------------------------ failures

TEST_F(HTCondorEVAUTest, FailuresOfTheHTCondorCommandsStopTheRunNamingTheCommand) {
    fs::create_directory("bin");
    WriteScript(dir.file("echo.sh"), kEchoScript);
    ScopedPathPrefix path(dir.file("bin"));
    testsupport::FatalThrows guard;
    struct Case {
        std::string submit, wait, command, file, status;
    };
    const std::vector<Case> cases = {
        {"exit 3", "exit 0", "condor_submit", "submit.condor", "exit status 3"},
        {"exit 0", "exit 1", "condor_wait", "log.condor", "exit status 1"},
        // The command runs without a shell in between, so its death by a
        // signal is reported as such.
        {"kill -TERM $$", "exit 0", "condor_submit", "submit.condor", "killed by signal 15"},
    };
    for (const Case& c : cases) {
        WriteScript(dir.file("bin/condor_submit"), c.submit + "\n");
        WriteScript(dir.file("bin/condor_wait"), c.wait + "\n");
        auto unit = MakeUnit();
        const std::string tag = AddressText(unit.get());
        Captured([&] { unit->Init(1); });
        Population p({{1, 2}});
        std::string what;
        testing::internal::CaptureStdout();
        try {
            unit->Compute(p.pop, nullptr, {}, {}, nullptr);
        } catch (const UTILS::FatalError& e) {
            what = e.what();
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(what, "* Command " + c.command + " " + tag + c.file + " failed with " + c.status +
                            ".\nProgram stopped!\n");
        Captured([&] { unit.reset(); });
    }
}

TEST_F(HTCondorEVAUTest, AJobThatCannotStartFailsItsDesign) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), kEchoScript);
    auto unit = MakeUnit("1\nmissing-table.dat\n");
    Captured([&] { unit->Init(1); });
    Population p({{1, 2}});
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, nullptr); });
    // A pool holds such a job (and the unit removes it); the stand-in aborts
    // it. Either way the design fails and the run goes on.
    EXPECT_EQ(p.pop[0].GetObj(), (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(unit->GetFailed(), 1u);
    EXPECT_NE(console.find("failed: its job was removed from the HTCondor queue: Job failed to "
                           "start: input file"),
              std::string::npos)
        << console;
    Captured([&] { unit.reset(); });
}

TEST_F(HTCondorEVAUTest, GamePlayersAndSingleEvaluationsAreRefused) {
    auto unit = MakeUnit();
    Captured([&] { unit->Init(1); });
    Population p({{1, 2}});
    testsupport::FatalThrows guard;
    std::string what;
    testing::internal::CaptureStdout();
    try {
        unit->Compute(p.pop, nullptr, {0, -1}, {0.0, 3.0}, nullptr);
    } catch (const UTILS::FatalError& e) {
        what = e.what();
    }
    EXPECT_EQ(what, "GameAlgorithm not compatible with HTCondor\nImplementation required\n"
                    "Program stopped!\n");
    what.clear();
    try {
        unit->ComputeInd(p.pop[0], nullptr, {}, {}, nullptr);
    } catch (const UTILS::FatalError& e) {
        what = e.what();
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(what, "ComputeInd not available for HTCondor\nImplementation required\n"
                    "Program stopped!\n");
    EXPECT_FALSE(p.pop[0].IsComputed());
    Captured([&] { unit.reset(); });
}

// ------------------------------------------------------------ jobs that end badly

TEST_F(HTCondorEVAUTest, ExitStatusesComeFromTheLogAndCompleteResultsAreKept) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), "read a b < Eval.DVs\n" + std::string(kEchoScript) +
                                         "case $a in 5.*) exit 3;; 6.*) kill -KILL $$;; esac\n");
    auto unit = MakeUnit();
    Captured([&] { unit->Init(3); });
    Population p({{1, 2}, {5, 1}, {6, 1}});
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, nullptr); });
    EXPECT_TRUE(Answered(p.pop[0]));
    // Exit status 3 with complete results: kept, and counted.
    EXPECT_TRUE(Answered(p.pop[1]));
    EXPECT_EQ(unit->GetNonZeroExits(), 1u);
    EXPECT_NE(console.find("the job ended with exit status 3 but wrote complete results"),
              std::string::npos)
        << console;
    // A job killed by a signal fails whatever it wrote.
    EXPECT_EQ(p.pop[2].GetObj(), (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(unit->GetFailed(), 1u);
    EXPECT_NE(console.find("failed: the job was killed by signal 9"), std::string::npos) << console;
    Captured([&] { unit.reset(); });
}

TEST_F(HTCondorEVAUTest, AHungJobIsRemovedAtTheTimeLimitWithAllItsProcesses) {
    ScopedPathPrefix path(StandIn());
    WriteScript(dir.file("echo.sh"), HangingScript(dir.file("pids"), dir.file("started")));
    auto unit = MakeUnit();
    unit->SetEvalTimeout(2.0);
    Captured([&] { unit->Init(3); });
    Population p({{1, 2}, {9, 9}, {3, 4}});
    const auto before = std::chrono::steady_clock::now();
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, nullptr); });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    EXPECT_LT(seconds, 2.0 + 8.0) << console;
    EXPECT_TRUE(Answered(p.pop[0]));
    EXPECT_TRUE(Answered(p.pop[2]));
    // Penalised and never feasible.
    EXPECT_EQ(p.pop[1].GetObj(), (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(p.pop[1].GetCtr(0), -kWorst);
    EXPECT_EQ(unit->GetTimedOut(), 1u);
    EXPECT_EQ(unit->GetObjEvals(), 3u);
    EXPECT_NE(console.find("Design 1 of batch 0 timed out after 2 s"), std::string::npos)
        << console;
    ExpectNoneRunning(dir.file("pids"));
    Captured([&] { unit.reset(); });
}

TEST_F(HTCondorEVAUTest, AHeldJobIsRemovedAndItsDesignFailsWithTheHoldReason) {
    // A pool's log for a batch of two: job 0 ends normally, job 1 is held
    // because its command wrote no results. condor_rm records what it
    // removes and logs the removal, as HTCondor does.
    fs::create_directory("bin");
    WriteScript(
        dir.file("bin/condor_submit"),
        "log=$(sed -n 's/^Log *= *\\.\\.\\///p' \"$1\")\n"
        "prefix=$(sed -n 's/^initialdir = \\(.*\\)[$](index)$/\\1/p' \"$1\")\n"
        "echo '1 2' > \"${prefix}0/Eval.individual\"; echo 3 > \"${prefix}0/Eval.constraint\"\n"
        "cat > \"$log\" <<'EOF'\n"
        "000 (007.000.000) 2026-12-08 13:50:43 Job submitted from host: <127.0.0.1:9618>\n"
        "...\n"
        "000 (007.001.000) 2026-12-08 13:50:43 Job submitted from host: <127.0.0.1:9618>\n"
        "...\n"
        "001 (007.000.000) 2026-12-08 13:50:46 Job executing on host: <127.0.0.1:9618>\n"
        "\tSlotName: slot1_1@vm\n"
        "...\n"
        "001 (007.001.000) 2026-12-08 13:50:46 Job executing on host: <127.0.0.1:9618>\n"
        "...\n"
        "005 (007.000.000) 2026-12-08 13:50:47 Job terminated.\n"
        "\t(1) Normal termination (return value 0)\n"
        "\t\tUsr 0 00:00:00, Sys 0 00:00:00  -  Run Remote Usage\n"
        "...\n"
        "012 (007.001.000) 2026-12-08 13:50:47 Job was held.\n"
        "\tTransfer output files failure at execution point slot1_2@vm while sending "
        "files to access point vm. Details: reading from file /x/Eval.individual: (errno "
        "2) No such file or directory\n"
        "\tCode 12 Subcode 2\n"
        "...\n"
        "EOF\n"
        "echo 'Submitting job(s)..'; echo '2 job(s) submitted to cluster 7.'\n");
    WriteScript(dir.file("bin/condor_wait"),
                "log=$3\n"
                "if grep -q '^009 (007.001' \"$log\"; then echo 'All jobs done.'; exit 0; fi\n"
                "sleep 0.2; echo 'Time expired.'; exit 1\n");
    WriteScript(dir.file("bin/condor_rm"),
                "echo \"$@\" >> \"" + dir.file("removed") +
                    "\"\n"
                    "for log in *log.condor; do :; done\n"
                    "for job in \"$@\"; do printf '009 (%03d.%03d.000) 2026-12-08 13:50:51 Job was "
                    "aborted.\\n\\tvia condor_rm (by user vesk)\\n...\\n' \"${job%.*}\" "
                    "\"${job#*.}\" >> \"$log\"; echo \"Job $job marked for removal\"; done\n");
    ScopedPathPrefix path(dir.file("bin"));
    WriteScript(dir.file("echo.sh"), kEchoScript);
    auto unit = MakeUnit();
    Captured([&] { unit->Init(2); });
    Population p({{1, 2}, {3, 4}});
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, nullptr); });
    EXPECT_EQ(ReadFile("removed"), "7.1\n");
    EXPECT_TRUE(Answered(p.pop[0]));
    EXPECT_EQ(p.pop[1].GetObj(), (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(unit->GetFailed(), 1u);
    EXPECT_NE(console.find("* Job 7.1 (design 1) is held: Transfer output files failure"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("Design 1 of batch 0 failed: held: Transfer output files failure at "
                           "execution point slot1_2@vm"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("No such file or directory (Code 12 Subcode 2)"), std::string::npos);
    Captured([&] { unit.reset(); });
}

TEST_F(HTCondorEVAUTest, AStopRequestRemovesTheJobsAndLeavesTheirDesignsUnevaluated) {
    ScopedPathPrefix path(StandIn());
    struct Reset {
        ~Reset() { INTU::Reset(); }
    } reset;
    INTU::Install();
    WriteScript(dir.file("echo.sh"), HangingScript(dir.file("pids"), dir.file("started")));
    auto unit = MakeUnit();
    const std::string tag = AddressText(unit.get());
    Captured([&] { unit->Init(2); });
    Population p({{1, 2}, {9, 9}});
    // The request comes once design 0 is back and design 1 hangs.
    std::thread requester([&] {
        for (int n = 0; n < 1000; ++n) {
            if (FileExists(dir.file("started")) &&
                FileExists(dir.file(tag + "condorInd0/Eval.constraint")))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        INTU::Request(SIGINT);
    });
    const auto before = std::chrono::steady_clock::now();
    const std::string console = Captured([&] { unit->Compute(p.pop, nullptr, {}, {}, nullptr); });
    requester.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(15)) << console;
    EXPECT_TRUE(Answered(p.pop[0]));
    EXPECT_FALSE(p.pop[1].IsComputed());
    EXPECT_EQ(unit->GetObjEvals(), 1u);
    EXPECT_EQ(unit->GetFailed() + unit->GetTimedOut(), 0u);
    EXPECT_NE(console.find("* Stop requested: removing the jobs of the batch."), std::string::npos);
    ExpectNoneRunning(dir.file("pids"));
    Captured([&] { unit.reset(); });
}

} // namespace
