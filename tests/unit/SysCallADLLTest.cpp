// Tests of the external-command analyser (and of the placeholder expansion of
// its arguments, and of the local evaluation unit driving it). Each case runs
// small shell scripts in a fresh temporary folder and checks what they were
// given and what was read back.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
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

#include "eval/LocalEVAU.h"
#include "eval/SysCallADLL.h"
#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Captured;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ScopedCwd;
using testsupport::ScopedPathPrefix;
using testsupport::TempDir;
using testsupport::WriteFile;
using testsupport::WriteScript;

const double kWorst = std::numeric_limits<double>::max();

std::string AddressText(const void* p) {
    std::ostringstream os;
    os << p;
    return os.str();
}

// Writes the design back as the objectives (and its sum as the only
// constraint), so that every result names the design it came from.
const char* kEchoScript = "awk '{ print $1, $2 > \"Eval.individual\"; "
                          "print $1 + $2 > \"Eval.constraint\" }' Eval.DVs\n";

// ---------------------------------------------------------------- arguments

TEST(UTILSParseArgumentTest, ReplacesTheFirstOccurrenceOfEachPlaceholderInTableOrder) {
    EXPECT_EQ(UTILS::ParseArgument("-n $(NDVS) -m $(NOBJ)", 30, 2, 0), "-n 30 -m 2");
    EXPECT_EQ(UTILS::ParseArgument("$(ndvs)$(ndvs)", 5, 1, 1), "5$(ndvs)");
    EXPECT_EQ(UTILS::ParseArgument("$(NDVS)/$(ndvs)", 7, 1, 1), "7/7");
    EXPECT_EQ(UTILS::ParseArgument("c=$(NCTR),$(nctr) o=$(nobj)", 1, 3, 12), "c=12,12 o=3");
    EXPECT_EQ(UTILS::ParseArgument("--input=mesh.dat", 1, 2, 3), "--input=mesh.dat");
    EXPECT_EQ(UTILS::ParseArgument("$(NDVS", 4, 2, 0), "$(NDVS");
    EXPECT_EQ(UTILS::ParseArgument("", 4, 2, 0), "");
}

using SysCallADLLTest = testsupport::InTempFolder;

TEST_F(SysCallADLLTest, SetArgumentsExpandsPlaceholdersAndKeepsTheArgumentsAsGiven) {
    SysCallADLL a(30, 2, 0, "./cmd.sh");
    EXPECT_EQ(a.GetCommandWithArgs(), "./cmd.sh");
    const std::vector<std::string> args = {"-n", "$(NDVS)", "-m", "$(NOBJ)"};
    const std::string out = Captured([&] { a.SetArguments(args); });
    EXPECT_EQ(out, "Complete command set to: ./cmd.sh -n 30 -m 2\n");
    EXPECT_EQ(a.GetCommandWithArgs(), "./cmd.sh -n 30 -m 2");
    EXPECT_EQ(a.GetArguments(), args);
    EXPECT_EQ(a.GetCommand(), "./cmd.sh");
}

// ------------------------------------------------------ working folder, batch

TEST_F(SysCallADLLTest, InitPreparesTheWorkingFolderAndAnExecutableBatchFile) {
    WriteScript(dir.file("cmd.sh"), "true\n");
    WriteFile("params.txt", "p");
    fs::create_directories("mesh/parts");
    WriteFile("mesh/parts/m", "m");
    auto* a = new SysCallADLL(2, 2, 0, "./cmd.sh");
    Captured([&] { a->SetArguments({"-k", "$(nobj)"}); });
    a->SetEssentialFilesAndFolders({"params.txt", "mesh"});
    a->Init();
    const std::string tag = AddressText(a);
    EXPECT_EQ(a->GetWorkFolder(), tag + "_CPU");
    EXPECT_EQ(a->GetBatchFile(), tag + "runCommand.sh");
    EXPECT_EQ(ReadFile(tag + "_CPU/params.txt"), "p");
    EXPECT_EQ(ReadFile(tag + "_CPU/mesh/parts/m"), "m");
    EXPECT_TRUE(FileExists(tag + "_CPU/cmd.sh"));
    EXPECT_EQ(ReadFile(tag + "runCommand.sh"), "cd " + tag + "_CPU\n./cmd.sh -k 2");
    const fs::perms perms = fs::status(tag + "runCommand.sh").permissions();
    EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
    EXPECT_NE(perms & fs::perms::group_exec, fs::perms::none);
    EXPECT_NE(perms & fs::perms::group_write, fs::perms::none);
    // A second Init prepares the same folder again, without complaint.
    WriteFile("params.txt", "changed");
    a->Init();
    EXPECT_EQ(a->GetWorkFolder(), tag + "_CPU");
    EXPECT_EQ(ReadFile(tag + "_CPU/params.txt"), "changed");
    delete a;
    EXPECT_FALSE(FileExists(tag + "_CPU"));
    EXPECT_FALSE(FileExists(tag + "runCommand.sh"));
    EXPECT_TRUE(FileExists("params.txt"));
    EXPECT_TRUE(FileExists("cmd.sh"));
}

TEST_F(SysCallADLLTest, CopyHasTheSameSettingsInItsOwnReadyFolder) {
    WriteScript(dir.file("echo.sh"), kEchoScript);
    WriteFile("params.txt", "p");
    SysCallADLL a(2, 2, 1, "./echo.sh");
    Captured([&] { a.SetArguments({"$(NDVS)"}); });
    a.SetEssentialFilesAndFolders({"params.txt"});
    a.Init();
    std::unique_ptr<ADLL> copy_base(a.Copy());
    auto* copy = dynamic_cast<SysCallADLL*>(copy_base.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetNdvs(), 2);
    EXPECT_EQ(copy->GetNobj(), 2);
    EXPECT_EQ(copy->GetNctr(), 1);
    EXPECT_EQ(copy->GetCommand(), "./echo.sh");
    EXPECT_EQ(copy->GetArguments(), std::vector<std::string>{"$(NDVS)"});
    EXPECT_EQ(copy->GetCommandWithArgs(), "./echo.sh 2");
    EXPECT_EQ(copy->GetEssentialFilesAndFolders(), std::vector<std::string>{"params.txt"});
    EXPECT_EQ(copy->GetWorkFolder(), AddressText(copy) + "_CPU");
    EXPECT_NE(copy->GetWorkFolder(), a.GetWorkFolder());
    EXPECT_EQ(ReadFile(copy->GetWorkFolder() + "/params.txt"), "p");
    // Both evaluate, each in its own folder.
    std::vector<double> obj(2, kWorst), ctr(1, 0.0);
    copy->EvalIndividual({1.0, 2.0}, obj, ctr);
    EXPECT_EQ(obj, (std::vector<double>{1.0, 2.0}));
    a.EvalIndividual({3.0, 4.0}, obj, ctr);
    EXPECT_EQ(obj, (std::vector<double>{3.0, 4.0}));
    EXPECT_EQ(ctr[0], 7.0);
    const std::string copy_folder = copy->GetWorkFolder();
    copy_base.reset();
    EXPECT_FALSE(FileExists(copy_folder));
    EXPECT_TRUE(FileExists(a.GetWorkFolder()));
}

TEST_F(SysCallADLLTest, AFailingChmodStopsWithTheStatusAndTheCommand) {
    WriteScript(dir.file("cmd.sh"), "true\n");
    fs::create_directory("bin");
    WriteScript(dir.file("bin/chmod"), "exit 1\n");
    ScopedPathPrefix path(dir.file("bin"));
    testsupport::FatalThrows guard;
    SysCallADLL a(1, 1, 0, "./cmd.sh");
    const std::string tag = AddressText(&a);
    try {
        a.Init();
        FAIL() << "Init went on after chmod failed";
    } catch (const UTILS::FatalError& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to assign permissions to batch file. ret = 256\n"
                                         "command: chmod ug+rwx ./" +
                                             tag + "runCommand.sh\nProgram stopped!\n");
    }
}

// ---------------------------------------------------------------- evaluation

TEST_F(SysCallADLLTest, EvalIndividualWritesTheDesignAndReadsTheResultsBack) {
    // The command keeps what it was given and answers with extra content
    // after the values, which is ignored.
    WriteScript(dir.file("cmd.sh"), "cp Eval.DVs ../seen.DVs\n"
                                    "echo '3.5 -1e-3 junk' > Eval.individual\n"
                                    "printf '0.25\\n-2\\n7 8' > Eval.constraint\n");
    SysCallADLL a(2, 2, 2, "./cmd.sh");
    a.Init();
    std::vector<double> obj(2, kWorst), ctr(2, 0.0);
    const std::string out = Captured([&] { a.EvalIndividual({1.5, -2.0}, obj, ctr); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadFile("seen.DVs"), "1.5000000000e+00    -2.0000000000e+00   ");
    EXPECT_EQ(obj, (std::vector<double>{3.5, -1e-3}));
    EXPECT_EQ(ctr, (std::vector<double>{0.25, -2.0}));
    // Ten digits after the point, whatever the magnitude.
    a.EvalIndividual({123456.789012345678, 1e-300}, obj, ctr);
    EXPECT_EQ(ReadFile("seen.DVs"), "1.2345678901e+05    1.0000000000e-300   ");
}

// Runs one design through a fresh analyser of the command cmd and returns
// what it reported; obj and ctr receive the values it left.
EvalResult EvalOnce(const std::string& cmd, unsigned nctr, std::vector<double>& obj,
                    std::vector<double>& ctr, double timeout = 0.0) {
    SysCallADLL a(1, 2, nctr, cmd);
    a.SetTimeout(timeout);
    a.Init();
    obj.assign(2, 0.0);
    ctr.assign(nctr, 0.0);
    a.EvalIndividual({0.5}, obj, ctr);
    return a.LastResult();
}

// A command that leaves a bad result, and text the problem reported contains.
struct BadResult {
    const char* name;
    const char* script;
    const char* problem;
};

using SysCallADLLBadResult = testsupport::InTempFolderWithParam<BadResult>;

TEST_P(SysCallADLLBadResult, FailsTheDesignWithThePenalty) {
    WriteScript(file("cmd.sh"), GetParam().script);
    std::vector<double> obj, ctr;
    const EvalResult r = EvalOnce("./cmd.sh", 2, obj, ctr);
    EXPECT_EQ(r.outcome, EvalOutcome::Failed);
    EXPECT_NE(r.problem.find(GetParam().problem), std::string::npos) << r.problem;
    // A failed design is never feasible and never better than another.
    EXPECT_EQ(obj, (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(ctr, (std::vector<double>{-kWorst, -kWorst}));
}

const BadResult kBadResults[] = {
    {"NoObjectives", "echo 1 2 > Eval.constraint\n", "Eval.individual is missing"},
    {"TooFewObjectives", "echo 1.0 > Eval.individual\necho 4 5 > Eval.constraint\n",
     "Eval.individual holds 1 values where 2 are needed"},
    {"ObjectiveNotANumber", "echo 1 2garbage > Eval.individual\necho 4 5 > Eval.constraint\n",
     "Eval.individual holds \"2garbage\" where value 2 should be a number"},
    {"ObjectiveNaN", "echo 1.0 nan > Eval.individual\necho 4 5 > Eval.constraint\n",
     "holds nan as value 2, which is not a finite number"},
    {"ObjectiveOutOfRange", "echo 1e999 2 > Eval.individual\necho 4 5 > Eval.constraint\n",
     "holds 1e999 as value 1, which is not a finite number"},
    {"NoConstraints", "echo 1 2 > Eval.individual\n", "Eval.constraint is missing"},
    {"ConstraintInfinite", "echo 1 2 > Eval.individual\necho 4 -inf > Eval.constraint\n",
     "holds -inf as value 2"},
    {"KilledBySignal", "echo 1 2 > Eval.individual\necho 4 5 > Eval.constraint\nkill -SEGV $$\n",
     "the command was killed by signal 11"},
    {"NothingWritten", "exit 4\n",
     "Eval.individual is missing (the command ended with exit status 4)"},
};
INSTANTIATE_TEST_SUITE_P(Commands, SysCallADLLBadResult, testing::ValuesIn(kBadResults),
                         testsupport::RowName());

TEST_F(SysCallADLLTest, CompleteResultsAreKeptWhateverTheExitStatus) {
    // The status is told.
    WriteScript(dir.file("ok3.sh"), "echo 1 2 > Eval.individual\necho 4 5 > Eval.constraint\n"
                                    "exit 3\n");
    std::vector<double> obj, ctr;
    const EvalResult r = EvalOnce("./ok3.sh", 2, obj, ctr);
    EXPECT_EQ(r.outcome, EvalOutcome::Ok);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(obj, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(ctr, (std::vector<double>{4.0, 5.0}));
    // Without constraints the constraint file is never opened.
    WriteScript(dir.file("objectives.sh"), "echo 1 2 > Eval.individual\n");
    EXPECT_EQ(EvalOnce("./objectives.sh", 0, obj, ctr).outcome, EvalOutcome::Ok);
}

TEST_F(SysCallADLLTest, AResultLeftByThePreviousDesignIsNeverReadAgain) {
    // Answers only for designs whose first variable is below 0.5.
    WriteScript(dir.file("cmd.sh"), "awk '$1 < 0.5 { print $1, $2 > \"Eval.individual\" }' "
                                    "Eval.DVs\n");
    SysCallADLL a(2, 2, 0, "./cmd.sh");
    a.Init();
    std::vector<double> obj(2, kWorst), ctr;
    a.EvalIndividual({0.25, 1.0}, obj, ctr);
    EXPECT_EQ(obj, (std::vector<double>{0.25, 1.0}));
    a.EvalIndividual({0.75, 2.0}, obj, ctr);
    EXPECT_EQ(obj, (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(a.LastResult().problem, a.GetWorkFolder() + "/Eval.individual is missing");
    a.EvalIndividual({0.125, 3.0}, obj, ctr);
    EXPECT_EQ(obj, (std::vector<double>{0.125, 3.0}));
}

TEST_F(SysCallADLLTest, AHungCommandIsEndedWithEveryProcessOfItsGroup) {
    // The command starts a child that ignores SIGTERM, then hangs.
    WriteScript(dir.file("hang.sh"), "(trap '' TERM; sleep 100) &\necho $! > ../child.pid\n"
                                     "echo $$ > ../shell.pid\nsleep 100\n");
    std::vector<double> obj, ctr;
    const auto start = std::chrono::steady_clock::now();
    const EvalResult r = EvalOnce("./hang.sh", 1, obj, ctr, 0.5);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.outcome, EvalOutcome::TimedOut);
    EXPECT_EQ(r.problem, "timed out after 0.5 s");
    EXPECT_LT(seconds, 4.0);
    EXPECT_EQ(obj, (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(ctr, (std::vector<double>{-kWorst}));
    auto running = [](int pid) { return testsupport::ProcessRunning(pid); };
    for (const char* file : {"child.pid", "shell.pid"}) {
        const int pid = std::stoi(ReadFile(dir.file(file)));
        for (int wait = 0; wait < 100 && running(pid); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_FALSE(running(pid)) << file << " " << pid << " is still running";
    }
}

TEST_F(SysCallADLLTest, WordsTheShellWouldInterpretStillGoThroughTheBatchFile) {
    WriteScript(dir.file("args.sh"), "echo $# 7 > Eval.individual\n");
    for (const auto& c : std::vector<std::pair<std::string, double>>{
             {"plain -a b", 3.0}, {"\"a b\"", 1.0}, {"x > /dev/null", 1.0}, {"$(NDVS) y", 2.0}}) {
        SysCallADLL a(1, 2, 0, "./args.sh");
        Captured([&] {
            a.SetArguments({c.first});
            a.Init();
        });
        std::vector<double> obj(2, 0.0), ctr;
        a.EvalIndividual({0.5}, obj, ctr);
        EXPECT_EQ(obj[0], c.second) << c.first;
    }
}

TEST_F(SysCallADLLTest, AVanishedWorkingFolderStopsTheRunWithoutRunningTheCommand) {
    WriteScript(dir.file("cmd.sh"), "echo 1 2 > Eval.individual\n");
    SysCallADLL a(1, 2, 0, "./cmd.sh");
    a.Init();
    fs::remove_all(a.GetWorkFolder());
    std::vector<double> obj(2, 0.0), ctr;
    const std::string out = testsupport::FatalOutput([&] { a.EvalIndividual({0.5}, obj, ctr); });
    EXPECT_NE(out.find("Could not write " + a.GetWorkFolder() + "/Eval.DVs"), std::string::npos)
        << out;
    // The batch file would have run the command here, in the current folder.
    EXPECT_FALSE(FileExists("Eval.individual"));
}

TEST_F(SysCallADLLTest, AResultThatCannotBeRemovedIsNotReadAndTheCommandDoesNotRun) {
    WriteScript(dir.file("cmd.sh"), "echo ran >> ../runs\n");
    SysCallADLL a(1, 2, 0, "./cmd.sh");
    a.Init();
    // A folder in the way of the result file (rm of a file cannot remove it).
    fs::create_directories(a.GetWorkFolder() + "/Eval.individual/inside");
    std::vector<double> obj(2, 0.0), ctr;
    const std::string out = Captured([&] { a.EvalIndividual({0.5}, obj, ctr); });
    EXPECT_EQ(obj, (std::vector<double>{kWorst, kWorst}));
    EXPECT_EQ(out, "Could not remove the previous result file " + a.GetWorkFolder() +
                       "/Eval.individual.\n");
    EXPECT_EQ(a.LastResult().problem, "the previous result files could not be removed");
    EXPECT_FALSE(FileExists("runs"));
}

TEST_F(SysCallADLLTest, RunsInAFolderWhosePathHoldsBlanksAndMetacharacters) {
    TempDir top;
    const std::string run = top.file("run dir;$(touch pwned) 'x'");
    fs::create_directory(run);
    ScopedCwd cwd(run);
    WriteScript(run + "/echo.sh", kEchoScript);
    WriteFile(run + "/my params;1.txt", "p");
    SysCallADLL a(2, 2, 1, "./echo.sh");
    a.SetEssentialFilesAndFolders({"my params;1.txt"});
    a.Init();
    EXPECT_EQ(ReadFile(a.GetWorkFolder() + "/my params;1.txt"), "p");
    std::vector<double> obj(2, kWorst), ctr(1, 0.0);
    a.EvalIndividual({0.5, 1.5}, obj, ctr);
    EXPECT_EQ(obj, (std::vector<double>{0.5, 1.5}));
    EXPECT_FALSE(FileExists(top.file("pwned")));
    EXPECT_FALSE(FileExists(run + "/pwned"));
}

TEST_F(SysCallADLLTest, InstancesEvaluatingAtTheSameTimeKeepTheirOwnResults) {
    WriteScript(dir.file("slow.sh"), "sleep 0.0$(( $$ % 7 ))\n" + std::string(kEchoScript));
    SysCallADLL a(2, 2, 1, "./slow.sh");
    a.Init();
    std::unique_ptr<ADLL> b(a.Copy());
    std::vector<std::string> errors[2];
    auto work = [](ADLL* analyser, double base, std::vector<std::string>* err) {
        for (int k = 0; k < 6; ++k) {
            const std::vector<double> dvs = {base + k, -base - k};
            std::vector<double> obj(2, kWorst), ctr(1, 1.0);
            analyser->EvalIndividual(dvs, obj, ctr);
            if (obj != dvs || ctr[0] != 0.0)
                err->push_back("design " + std::to_string(dvs[0]) + " got " +
                               std::to_string(obj[0]));
        }
    };
    std::thread t1(work, &a, 100.0, &errors[0]);
    std::thread t2(work, b.get(), 200.0, &errors[1]);
    t1.join();
    t2.join();
    EXPECT_TRUE(errors[0].empty()) << errors[0].front();
    EXPECT_TRUE(errors[1].empty()) << errors[1].front();
}

// ------------------------------------------------- through the local unit

POPULATION MakePopulation(const std::vector<std::vector<double>>& designs, unsigned nobj,
                          unsigned nctr) {
    POPULATION pop("p", static_cast<int>(designs[0].size()), static_cast<int>(nobj),
                   static_cast<int>(nctr), static_cast<int>(designs.size()), true);
    for (unsigned i = 0; i < designs.size(); ++i)
        pop[i].SetDvs(designs[i]);
    return pop;
}

TEST_F(SysCallADLLTest, LocalUnitOfType1RunsOneCommandAnalyserPerProcessor) {
    WriteScript(dir.file("echo.sh"), "test \"$1 $2\" = '-n 2' || exit 1\n"
                                     "test -f params.txt || exit 1\n" +
                                         std::string(kEchoScript));
    WriteFile("params.txt", "p");
    std::istringstream in("1   type\n./echo.sh\n2\n-n $(NDVS)\n1\nparams.txt\n");
    std::unique_ptr<LocalEVAU> unit;
    const std::string out = Captured([&] {
        unit = std::make_unique<LocalEVAU>(2, 2, 1, 2, in);
        unit->Init(6);
    });
    EXPECT_NE(out.find("Reading 2 arguments:\narguments[0] = -n\narguments[1] = $(NDVS)\n"),
              std::string::npos);
    EXPECT_EQ(testsupport::CountOccurrences(out, "Complete command set to: ./echo.sh -n 2\n"), 1);
    // Two processors: two working folders with their batch files.
    int folders = 0, batches = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        folders += name.size() > 4 && name.compare(name.size() - 4, 4, "_CPU") == 0;
        batches += name.find("runCommand.sh") != std::string::npos;
    }
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(batches, 2);
    POPULATION pop = MakePopulation({{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, 12}}, 2, 1);
    Captured([&] { unit->Compute(pop, nullptr, {}, {}, nullptr); });
    EXPECT_EQ(unit->GetObjEvals(), 6u);
    for (unsigned i = 0; i < pop.GetPopsize(); ++i) {
        EXPECT_TRUE(pop[i].IsComputed());
        EXPECT_EQ(pop[i].GetObj(), pop[i].GetDvs()) << "individual " << i;
        EXPECT_EQ(pop[i].GetCtr(0), pop[i].GetDvs(0) + pop[i].GetDvs(1));
    }
}

TEST_F(SysCallADLLTest, LocalUnitReadsType1FromJsonAndRefusesUnknownTypes) {
    WriteScript(dir.file("echo.sh"), kEchoScript);
    const nlohmann::json block = {
        {"ncpu", 1}, {"AnalyzerType", 1}, {"CommandFile", "./echo.sh"}, {"Arguments", {"$(nobj)"}}};
    std::unique_ptr<LocalEVAU> unit;
    Captured([&] {
        unit = std::make_unique<LocalEVAU>(2, 2, 1, 1, block);
        unit->Init(2);
    });
    POPULATION pop = MakePopulation({{0.5, 0.25}, {2, 3}}, 2, 1);
    Captured([&] { unit->Compute(pop, nullptr, {}, {}, nullptr); });
    EXPECT_EQ(pop[1].GetObj(), (std::vector<double>{2.0, 3.0}));

    testsupport::FatalThrows guard;
    std::istringstream in("2\n./echo.sh\n0\n0\n");
    testing::internal::CaptureStdout();
    EXPECT_THROW(LocalEVAU(2, 2, 1, 1, in), UTILS::FatalError);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("AnalyzerType 2 not recognized"), std::string::npos);
}

} // namespace
