// Tests of the HTCondor job control: the submit description file line by line
// (written out here from the file layout), the settings file, the initial
// directories, and the two HTCondor commands (recording stand-ins, and the
// local stand-in of tools/htcondor-local running real jobs).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "eval/OSAU.h"
#include "eval/SCON.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Captured;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ScopedPathPrefix;
using testsupport::WriteFile;
using testsupport::WriteScript;

const std::string kBanner = "################################\n"
                            "#       Condor submit file     #\n"
                            "# Created by SCON library      #\n"
                            "################################\n";

std::string WriteAndRead(SCON& jobs, const std::vector<unsigned>* indices = nullptr) {
    const std::string out = Captured([&] {
        if (indices)
            jobs.WriteSubmitFile(*indices);
        else
            jobs.WriteSubmitFile();
    });
    EXPECT_EQ(out, "* Writting submit file...\n* Done!\n");
    return ReadFile(jobs.GetSubmitFile());
}

// Configures everything the file can hold.
void ConfigureEverything(SCON& jobs) {
    jobs.AddArgument("-n");
    jobs.AddArgument("2");
    jobs.AddTransferInputFile("Eval.DVs", false);
    jobs.AddTransferInputFile("../data", true);
    jobs.AddTransferOutputFile("Eval.individual");
    jobs.AddTransferOutputFile("Eval.constraint");
    jobs.AddRequirement("OpSys == \"LINUX\"");
    jobs.AddRequirement("Memory > 1024");
    jobs.AddRank("Mips");
    jobs.AddRank("KFlops");
    jobs.AddCustomLine("request_cpus = 1");
    jobs.AddCustomLine("+Project = \"vesk\"");
}

using SCONTest = testsupport::InTempFolder;

TEST_F(SCONTest, DefaultSubmitFile) {
    {
        SCON jobs("X");
        EXPECT_EQ(jobs.GetSubmitFile(), "submit.condor");
        EXPECT_EQ(WriteAndRead(jobs), kBanner + "\n"
                                                "Universe   = vanilla\n"
                                                "\n"
                                                "Executable = X\n"
                                                "\n"
                                                "Log    = log.condor\n"
                                                "Output = out.condor\n"
                                                "Error  = err.condor\n"
                                                "\n"
                                                "should_transfer_files = YES\n"
                                                "when_to_transfer_output = ON_EXIT\n"
                                                "\n"
                                                "Queue\n");
        testing::internal::CaptureStdout();
    }
    // The destructor removes the submit file.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "* Deleting submit.condor\n* Done!\n");
    EXPECT_FALSE(FileExists("submit.condor"));
}

TEST_F(SCONTest, SubmitFileWithEveryOptionAndProcessDirectories) {
    auto jobs = std::make_unique<SCON>("./cmd.sh");
    ConfigureEverything(*jobs);
    ASSERT_EQ(jobs->SetQueue(3), 0);
    Captured([&] { jobs->CreateInitialDirs("job"); });
    jobs->SetSubmitFilename("t submit.condor");
    jobs->SetLogFile("tlog.condor");
    jobs->SetOutFile("o.txt");
    jobs->SetErrFile("e.txt");
    EXPECT_EQ(WriteAndRead(*jobs), kBanner + "\n"
                                             "Universe   = vanilla\n"
                                             "\n"
                                             "Executable = ./cmd.sh\n"
                                             "Arguments  = -n 2\n"
                                             "\n"
                                             "Log    = ../tlog.condor\n"
                                             "Output = o.txt\n"
                                             "Error  = e.txt\n"
                                             "\n"
                                             "initialdir = job$(Process)\n"
                                             "\n"
                                             "should_transfer_files = YES\n"
                                             "transfer_input_files = Eval.DVs, ../data\n"
                                             "when_to_transfer_output = ON_EXIT\n"
                                             "transfer_output_files = Eval.individual, "
                                             "Eval.constraint\n"
                                             "\n"
                                             "Requirements = (OpSys == \"LINUX\") && (Memory > "
                                             "1024)\n"
                                             "\n"
                                             "Rank = Mips && KFlops\n"
                                             "\n"
                                             "request_cpus = 1\n"
                                             "\n"
                                             "+Project = \"vesk\"\n"
                                             "\n"
                                             "Queue 3\n");
    Captured([&] { jobs.reset(); });
    EXPECT_FALSE(FileExists("t submit.condor"));
}

TEST_F(SCONTest, IndexedSubmitFileQueuesTheGivenIndices) {
    SCON jobs("./cmd.sh");
    ASSERT_EQ(jobs.SetQueue(8), 0);
    Captured([&] { jobs.CreateInitialDirs("0xabcondorInd"); });
    jobs.AddTransferInputFile("Eval.DVs", false);
    jobs.AddTransferOutputFile("Eval.individual");
    const std::vector<unsigned> indices = {0, 3, 7};
    EXPECT_EQ(WriteAndRead(jobs, &indices), kBanner + "\n"
                                                      "Universe   = vanilla\n"
                                                      "\n"
                                                      "Executable = ./cmd.sh\n"
                                                      "\n"
                                                      "Log    = ../log.condor\n"
                                                      "Output = out.condor\n"
                                                      "Error  = err.condor\n"
                                                      "\n"
                                                      "initialdir = 0xabcondorInd$(index)\n"
                                                      "\n"
                                                      "should_transfer_files = YES\n"
                                                      "transfer_input_files = Eval.DVs\n"
                                                      "when_to_transfer_output = ON_EXIT\n"
                                                      "transfer_output_files = Eval.individual\n"
                                                      "\n"
                                                      "Queue index in (0 3 7)\n");
    const std::vector<unsigned> none;
    const std::string empty = WriteAndRead(jobs, &none);
    const auto lines = testsupport::SplitLines(empty);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(), "Queue index in ()");
    Captured([&] { jobs.DeleteInitialDirs(-1); });
}

TEST_F(SCONTest, IndexedFormWithoutPrefixHasNoInitialDirLine) {
    SCON jobs("X");
    const std::vector<unsigned> one = {5};
    const std::string text = WriteAndRead(jobs, &one);
    EXPECT_EQ(text.find("initialdir"), std::string::npos);
    EXPECT_NE(text.find("\nLog    = log.condor\n"), std::string::npos);
    const auto lines = testsupport::SplitLines(text);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(), "Queue index in (5)");
}

TEST_F(SCONTest, ListsAreJoinedWithTheirSeparators) {
    SCON jobs("X");
    EXPECT_EQ(SCON::GenList({}, ", "), "");
    EXPECT_EQ(SCON::GenList({"a"}, ", "), "a");
    EXPECT_EQ(SCON::GenList({"a", "b", "c"}, " && "), "a && b && c");
    jobs.AddRequirement("A");
    jobs.AddRequirement("B");
    EXPECT_EQ(jobs.GetRequirementsString(), "(A) && (B)");
    EXPECT_EQ(jobs.GetRankString(), "");
    jobs.AddArgument("x");
    jobs.AddArgument("y");
    EXPECT_EQ(jobs.GetArgumentsString(), "x y");
}

TEST_F(SCONTest, SetQueueRefusesZeroAndNegativeValues) {
    SCON jobs("X");
    std::string out = Captured([&] { EXPECT_EQ(jobs.SetQueue(0), 1); });
    EXPECT_EQ(out, "queue should be greater than 0\nqueue NOT MODIFIED!\nqueue = 1\n");
    EXPECT_EQ(jobs.SetQueue(4), 0);
    out = Captured([&] { EXPECT_EQ(jobs.SetQueue(-2), 1); });
    EXPECT_EQ(out, "queue should be greater than 0\nqueue NOT MODIFIED!\nqueue = 4\n");
    EXPECT_EQ(jobs.GetQueue(), 4);
}

TEST_F(SCONTest, InitialDirectoriesAreCreatedFilledEmptiedAndDeleted) {
    WriteFile("params.txt", "p");
    WriteFile("Eval.DVs", "d");
    SCON jobs("X");
    jobs.SetQueue(3);
    jobs.AddTransferInputFile("Eval.DVs", false);
    jobs.AddTransferInputFile("params.txt", true);
    EXPECT_EQ(Captured([&] { jobs.CreateInitialDirs("job dir "); }),
              "* Creating initial dirs ...\n* Done!\n");
    EXPECT_EQ(jobs.GetInitialDir(2), "job dir 2");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(fs::is_directory("job dir " + std::to_string(i)));
    EXPECT_EQ(Captured([&] { jobs.CopyFilesToInitialDirs(); }),
              "* Copying files to initial dirs ...\n* Done!\n");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadFile("job dir " + std::to_string(i) + "/params.txt"), "p");
        EXPECT_FALSE(FileExists("job dir " + std::to_string(i) + "/Eval.DVs"));
    }
    EXPECT_EQ(Captured([&] { jobs.EmptyInitialDirs(1); }),
              "* Emptying initial dir id:1\n* Done!\n");
    EXPECT_FALSE(FileExists("job dir 1/params.txt"));
    EXPECT_TRUE(FileExists("job dir 0/params.txt"));
    EXPECT_EQ(Captured([&] { jobs.EmptyInitialDirs(-1); }),
              "* Emptying initial dirs ...\n* Done!\n");
    EXPECT_FALSE(FileExists("job dir 0/params.txt"));
    EXPECT_TRUE(fs::is_directory("job dir 0"));
    EXPECT_EQ(Captured([&] { jobs.DeleteInitialDirs(2); }),
              "* Deleting initial dir id:2\n* Done!\n");
    EXPECT_FALSE(FileExists("job dir 2"));
    EXPECT_TRUE(FileExists("job dir 1"));
    EXPECT_EQ(Captured([&] { jobs.DeleteInitialDirs(-1); }),
              "* Deleting initial dirs ...\n* Done!\n");
    EXPECT_FALSE(FileExists("job dir 0"));
    EXPECT_FALSE(FileExists("job dir 1"));
    WriteFile("my log", "l");
    jobs.SetLogFile("my log");
    EXPECT_EQ(Captured([&] { jobs.DeleteLogFile(); }), "* Deleting my log\n* Done!\n");
    EXPECT_FALSE(FileExists("my log"));
    jobs.SetSubmitFilename("s;ub");
    WriteFile("s;ub", "s");
    EXPECT_EQ(Captured([&] { jobs.DeleteSubmitFile(); }), "* Deleting s;ub\n* Done!\n");
    EXPECT_FALSE(FileExists("s;ub"));
}

TEST_F(SCONTest, ReadConfigSkipsCommentsAndUnknownOptionsWithTheirValues) {
    WriteFile("htcondor.QERN", "# HTCondor settings of the test\n"
                               "Requirements   the rest of this line is ignored\n"
                               "OpSys == \"LINUX\"\n"
                               "Priority\n"
                               "10\n"
                               "   #Rank in a comment\n"
                               "\n"
                               "Rank\n"
                               "Mips\n"
                               "Universe this text too\n"
                               "vanilla\n"
                               "Requirements\r\n"
                               "Memory > 2048\r\n");
    SCON jobs("X");
    const std::string out = Captured([&] { jobs.ReadConfig("htcondor.QERN"); });
    EXPECT_EQ(out, "* Reading SCON (HTCondor) Configuration File: htcondor.QERN\n"
                   "* Option \"Priority\" not known, skipped!\n"
                   "* Configurations read:\n"
                   "* Requirements = (OpSys == \"LINUX\") && (Memory > 2048)\n"
                   "* Rank = Mips\n"
                   "* Universe = vanilla\n"
                   "* Done!\n");
    EXPECT_EQ(jobs.GetRequirementsString(), "(OpSys == \"LINUX\") && (Memory > 2048)");
    EXPECT_EQ(jobs.GetRankString(), "Mips");
    EXPECT_EQ(jobs.GetUniverse(), "vanilla");

    WriteFile("other.QERN", "Universe\nparallel\nRank\n");
    SCON second("X");
    const std::string out2 = Captured([&] { second.ReadConfig("other.QERN"); });
    EXPECT_EQ(out2, "* Reading SCON (HTCondor) Configuration File: other.QERN\n"
                    "* Option \"Rank\" of other.QERN has no value on the next line, skipped!\n"
                    "* Configurations read:\n"
                    "* Universe = parallel\n"
                    "* Done!\n");
    EXPECT_EQ(second.GetRankString(), "");
}

TEST_F(SCONTest, ReadConfigWithoutTheFileKeepsTheDefaults) {
    SCON jobs("X");
    const std::string out = Captured([&] { jobs.ReadConfig("htcondor.QERN"); });
    EXPECT_EQ(out, "* HTCondor Configuration file not found: htcondor.QERN\n"
                   "* Running with default parameters.\n");
    EXPECT_EQ(jobs.GetUniverse(), "vanilla");
    EXPECT_EQ(jobs.GetRequirementsString(), "");
}

TEST_F(SCONTest, SubmitAndWaitRunTheCommandsOnTheFilesAndReturnTheirStatus) {
    fs::create_directory("bin");
    WriteScript(dir.file("bin/condor_submit"),
                "printf '%s|' \"$@\" > \"" + dir.file("submit-args") + "\"\nexit 3\n");
    WriteScript(dir.file("bin/condor_wait"),
                "printf '%s|' \"$@\" > \"" + dir.file("wait-args") + "\"\nexit 0\n");
    ScopedPathPrefix path(dir.file("bin"));
    auto jobs = std::make_unique<SCON>("X");
    jobs->SetSubmitFilename("my submit;x.condor");
    jobs->SetLogFile("my log.condor");
    int status = 0;
    std::string out = Captured([&] { status = jobs->Submit(); });
    EXPECT_EQ(out, "* Submitting jobs to HTCondor:\n"
                   "* Command: condor_submit 'my submit;x.condor'\n"
                   "* Done!\n");
    EXPECT_EQ(OSAU::status_text(status), "exit status 3");
    EXPECT_EQ(ReadFile("submit-args"), "my submit;x.condor|");
    out = Captured([&] { status = jobs->Wait(); });
    EXPECT_EQ(out, "* Waiting jobs to end ...\n"
                   "* Command: condor_wait 'my log.condor'\n"
                   "* Done!\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile("wait-args"), "my log.condor|");
    Captured([&] { jobs.reset(); });
}

TEST_F(SCONTest, JobsRunThroughTheLocalStandIn) {
    ScopedPathPrefix path(testsupport::SourceDir() + "/tools/htcondor-local");
    WriteScript(dir.file("square.sh"), "echo \"$1\" > arg\n"
                                       "awk '{ print $1 * $1 }' Eval.DVs > Eval.individual\n"
                                       "cat shared.txt >> Eval.individual\n");
    WriteFile("shared.txt", "s\n");
    auto jobs = std::make_unique<SCON>("square.sh");
    std::string out = Captured([&] {
        jobs->SetQueue(3);
        jobs->CreateInitialDirs("job");
        jobs->AddArgument("$(Process)");
        jobs->AddTransferInputFile("Eval.DVs", false);
        jobs->AddTransferInputFile("../shared.txt", false);
        jobs->AddTransferOutputFile("Eval.individual");
        jobs->AddTransferOutputFile("arg");
        for (int i = 0; i < 3; ++i)
            WriteFile(jobs->GetInitialDir(i) + "/Eval.DVs", std::to_string(i + 2));
        jobs->WriteSubmitFile();
        EXPECT_EQ(jobs->Submit(), 0);
        EXPECT_EQ(jobs->Wait(), 0);
    });
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadFile("job" + std::to_string(i) + "/Eval.individual"),
                  std::to_string((i + 2) * (i + 2)) + "\ns\n");
        EXPECT_EQ(ReadFile("job" + std::to_string(i) + "/arg"), std::to_string(i) + "\n");
        // Only the listed outputs come back.
        EXPECT_FALSE(FileExists("job" + std::to_string(i) + "/shared.txt"));
    }
    Captured([&] {
        jobs->DeleteInitialDirs(-1);
        jobs.reset();
    });
}

} // namespace
