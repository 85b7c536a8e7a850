// Tests of the file-system and process utilities. Every case runs in a fresh
// temporary folder and checks the file system afterwards; names with blanks,
// quotes and shell metacharacters must be taken literally.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "eval/OSAU.h"
#include "model/INTU.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ScopedPathPrefix;
using testsupport::WriteFile;
using testsupport::WriteScript;

bool IsDir(const std::string& path) {
    return fs::is_directory(path);
}

// Names that a shell would split, expand or run if they reached it unquoted.
const std::vector<std::string> kAwkwardNames = {
    "with space", "semi;touch pwned", "$(touch pwned)", "`touch pwned`", "it's", "-rf",
    "star*",      "a&b|c>d",          "new\nline",      "~tilde"};

using OSAUTest = testsupport::InTempFolder;

TEST_F(OSAUTest, DirappendJoinsWithOneSlashAndKeepsEmptyParts) {
    EXPECT_EQ(OSAU::dirappend("", "Eval.DVs"), "Eval.DVs");
    EXPECT_EQ(OSAU::dirappend("0x1_CPU", ""), "0x1_CPU/");
    EXPECT_EQ(OSAU::dirappend("0x1_CPU", "Eval.DVs"), "0x1_CPU/Eval.DVs");
    EXPECT_EQ(OSAU::dirappend("a b", "c;d"), "a b/c;d");
}

TEST_F(OSAUTest, ShellQuoteLeavesPlainWordsAndQuotesTheRest) {
    EXPECT_EQ(OSAU::shell_quote("0x55d0_CPU"), "0x55d0_CPU");
    EXPECT_EQ(OSAU::shell_quote("dir/Eval.DVs"), "dir/Eval.DVs");
    EXPECT_EQ(OSAU::shell_quote(""), "''");
    EXPECT_EQ(OSAU::shell_quote("a b"), "'a b'");
    EXPECT_EQ(OSAU::shell_quote("it's"), "'it'\\''s'");
    // Round trip through a real shell: the word arrives unchanged.
    for (const std::string& text : kAwkwardNames) {
        const std::string command = "printf %s " + OSAU::shell_quote(text) + " > echoed";
        ASSERT_EQ(std::system(command.c_str()), 0) << text;
        EXPECT_EQ(ReadFile("echoed"), text);
    }
    EXPECT_FALSE(FileExists("pwned"));
}

TEST_F(OSAUTest, StatusTextDescribesExitsSignalsAndFailuresToRun) {
    EXPECT_EQ(OSAU::status_text(std::system("exit 0")), "exit status 0");
    EXPECT_EQ(OSAU::status_text(std::system("exit 3")), "exit status 3");
    EXPECT_EQ(OSAU::status_text(std::system("kill -9 $$")), "killed by signal 9");
    EXPECT_EQ(OSAU::status_text(-1), "could not be run");
}

TEST_F(OSAUTest, MkdirCreatesOneFolderWithoutParentsAndFailsOnAnExistingOne) {
    EXPECT_EQ(OSAU::mkdir("work"), 0);
    EXPECT_TRUE(IsDir("work"));
    EXPECT_NE(OSAU::mkdir("work"), 0);
    EXPECT_NE(OSAU::mkdir("missing/child"), 0);
    EXPECT_FALSE(FileExists("missing"));
}

TEST_F(OSAUTest, RmdirRemovesRecursivelyAndAcceptsAMissingPath) {
    fs::create_directories("tree/sub/deeper");
    WriteFile("tree/sub/file", "x");
    EXPECT_EQ(OSAU::rmdir("tree"), 0);
    EXPECT_FALSE(FileExists("tree"));
    EXPECT_EQ(OSAU::rmdir("never-there"), 0);
}

TEST_F(OSAUTest, RmdirsWithAPrefixRemovesExactlyTheFirstNNumberedFolders) {
    for (int i = 0; i < 4; ++i)
        fs::create_directory("condorInd" + std::to_string(i));
    fs::create_directory("condorIndex");
    EXPECT_EQ(OSAU::rmdirs("condorInd", 0), 0);
    EXPECT_TRUE(IsDir("condorInd0"));
    EXPECT_EQ(OSAU::rmdirs("condorInd", 3), 0);
    EXPECT_FALSE(FileExists("condorInd0"));
    EXPECT_FALSE(FileExists("condorInd1"));
    EXPECT_FALSE(FileExists("condorInd2"));
    EXPECT_TRUE(IsDir("condorInd3"));
    EXPECT_TRUE(IsDir("condorIndex"));
}

TEST_F(OSAUTest, RmdirsOfAListRemovesEachEntry) {
    fs::create_directory("a");
    fs::create_directory("b c");
    fs::create_directory("keep");
    EXPECT_EQ(OSAU::rmdirs(std::vector<std::string>{"a", "b c", "absent"}), 0);
    EXPECT_FALSE(FileExists("a"));
    EXPECT_FALSE(FileExists("b c"));
    EXPECT_TRUE(IsDir("keep"));
}

TEST_F(OSAUTest, EmptydirRemovesTheContentsButKeepsTheFolderAndItsDotFiles) {
    fs::create_directories("job/sub");
    WriteFile("job/Eval.individual", "1 2");
    WriteFile("job/sub/x", "1");
    WriteFile("job/.hidden", "h");
    WriteFile("outside", "o");
    EXPECT_EQ(OSAU::emptydir("job"), 0);
    EXPECT_TRUE(IsDir("job"));
    EXPECT_FALSE(FileExists("job/Eval.individual"));
    EXPECT_FALSE(FileExists("job/sub"));
    EXPECT_TRUE(FileExists("job/.hidden"));
    EXPECT_TRUE(FileExists("outside"));
    // An already empty folder is no failure.
    fs::remove("job/.hidden");
    EXPECT_EQ(OSAU::emptydir("job"), 0);
    EXPECT_TRUE(IsDir("job"));
}

TEST_F(OSAUTest, EmptydirsEmptiesEachNumberedFolder) {
    for (int i = 0; i < 3; ++i) {
        fs::create_directory("p" + std::to_string(i));
        WriteFile("p" + std::to_string(i) + "/f", "x");
    }
    EXPECT_EQ(OSAU::emptydirs("p", 2), 0);
    EXPECT_TRUE(IsDir("p0"));
    EXPECT_FALSE(FileExists("p0/f"));
    EXPECT_FALSE(FileExists("p1/f"));
    EXPECT_TRUE(FileExists("p2/f"));
}

TEST_F(OSAUTest, EmptydirRefusesAnEmptyNameWithoutRunningAnything) {
    // "rm -rf /*" is what an empty folder name would become. A recording rm
    // first on PATH shows that no rm runs at all.
    fs::create_directory("bin");
    WriteScript(dir.file("bin/rm"), "echo \"$@\" >> \"" + dir.file("rm-calls") + "\"\n");
    ScopedPathPrefix path(dir.file("bin"));
    EXPECT_NE(OSAU::emptydir(""), 0);
    EXPECT_FALSE(FileExists(dir.file("rm-calls")));
    // The recording rm does see an ordinary call.
    fs::create_directory("job");
    OSAU::emptydir("job");
    EXPECT_TRUE(FileExists(dir.file("rm-calls")));
}

TEST_F(OSAUTest, RmfileAndRmfilesReturnTheStatusOfTheLastCommand) {
    WriteFile("a", "1");
    WriteFile("b c", "2");
    fs::create_directory("folder");
    EXPECT_EQ(OSAU::rmfile("a"), 0);
    EXPECT_FALSE(FileExists("a"));
    EXPECT_EQ(OSAU::rmfile("missing"), 0);
    EXPECT_EQ(OSAU::rmfiles({}), 0);
    // rm -f refuses a folder: a failure in the middle is not reported...
    EXPECT_EQ(OSAU::rmfiles({"folder", "b c"}), 0);
    EXPECT_FALSE(FileExists("b c"));
    // ...a failure of the last command is.
    EXPECT_NE(OSAU::rmfiles({"missing", "folder"}), 0);
    EXPECT_TRUE(IsDir("folder"));
}

TEST_F(OSAUTest, CpFileCopiesIntoAFolderUnderTheSameOrANewName) {
    fs::create_directory("work");
    WriteFile("cmd.sh", "content");
    EXPECT_EQ(OSAU::cp_file("cmd.sh", "work", ""), 0);
    EXPECT_EQ(ReadFile("work/cmd.sh"), "content");
    EXPECT_EQ(OSAU::cp_file("cmd.sh", "work", "renamed"), 0);
    EXPECT_EQ(ReadFile("work/renamed"), "content");
    EXPECT_NE(OSAU::cp_file("absent", "work", ""), 0);
    WriteFile("second", "2");
    EXPECT_EQ(OSAU::cp_file(std::vector<std::string>{"cmd.sh", "second"}, "work"), 0);
    EXPECT_EQ(ReadFile("work/second"), "2");
    EXPECT_NE(OSAU::cp_file(std::vector<std::string>{"absent", "second"}, "work"), 0);
}

TEST_F(OSAUTest, CpFolderCopiesRecursively) {
    fs::create_directories("data/deep");
    WriteFile("data/deep/table", "t");
    fs::create_directory("work");
    EXPECT_EQ(OSAU::cp_folder("data", "work", ""), 0);
    EXPECT_EQ(ReadFile("work/data/deep/table"), "t");
    EXPECT_EQ(OSAU::cp_folder("data", "work", "copy"), 0);
    EXPECT_EQ(ReadFile("work/copy/deep/table"), "t");
    fs::create_directory("other");
    EXPECT_EQ(OSAU::cp_folder(std::vector<std::string>{"data"}, "other"), 0);
    EXPECT_EQ(ReadFile("other/data/deep/table"), "t");
}

TEST_F(OSAUTest, CpOfAListCopiesFilesAndFoldersAndReportsAMissingEntry) {
    WriteFile("params.txt", "p");
    fs::create_directories("mesh/parts");
    WriteFile("mesh/parts/a", "a");
    fs::create_directory("work");
    EXPECT_EQ(OSAU::cp({"params.txt", "mesh"}, "work"), 0);
    EXPECT_EQ(ReadFile("work/params.txt"), "p");
    EXPECT_EQ(ReadFile("work/mesh/parts/a"), "a");
    fs::create_directory("work2");
    EXPECT_NE(OSAU::cp({"absent", "params.txt"}, "work2"), 0);
    EXPECT_EQ(ReadFile("work2/params.txt"), "p");
}

TEST_F(OSAUTest, SystemExecRunsAProgramOfTheCurrentFolderAndReturnsItsStatus) {
    WriteScript(dir.file("ok.sh"), "echo ran > ran.txt\n");
    WriteScript(dir.file("fails.sh"), "exit 3\n");
    EXPECT_EQ(OSAU::system_exec("ok.sh"), 0);
    EXPECT_EQ(ReadFile("ran.txt"), "ran\n");
    const int status = OSAU::system_exec("fails.sh");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_NE(OSAU::system_exec("absent.sh"), 0);
}

TEST_F(OSAUTest, AwkwardNamesAreTakenLiterallyByEveryOperation) {
    WriteFile("keep", "k");
    fs::create_directory("target dir");
    for (const std::string& name : kAwkwardNames) {
        SCOPED_TRACE(name);
        ASSERT_EQ(OSAU::mkdir(name), 0);
        ASSERT_TRUE(IsDir(name));
        WriteFile(OSAU::dirappend(name, "inner"), "i");
        // Files and folders with the name copy in and out.
        EXPECT_EQ(OSAU::cp_file("keep", name, ""), 0);
        EXPECT_EQ(ReadFile(OSAU::dirappend(name, "keep")), "k");
        EXPECT_EQ(OSAU::cp_folder(name, "target dir", ""), 0);
        EXPECT_EQ(ReadFile("target dir/" + name + "/inner"), "i");
        EXPECT_EQ(OSAU::emptydir(name), 0);
        EXPECT_TRUE(IsDir(name));
        EXPECT_FALSE(FileExists(OSAU::dirappend(name, "inner")));
        EXPECT_EQ(OSAU::rmdir(name), 0);
        EXPECT_FALSE(FileExists(name));
        WriteFile(name, "f");
        EXPECT_EQ(OSAU::rmfile(name), 0);
        EXPECT_FALSE(FileExists(name));
        // Nothing else was touched or created.
        EXPECT_EQ(ReadFile("keep"), "k");
        EXPECT_FALSE(FileExists("pwned"));
    }
    // A script whose name holds blanks and metacharacters runs.
    const std::string script = "run me;now.sh";
    WriteScript(dir.file(script), "echo ok > 'script ran'\n");
    EXPECT_EQ(OSAU::system_exec(script), 0);
    EXPECT_TRUE(FileExists("script ran"));
    EXPECT_FALSE(FileExists("pwned"));
}

TEST_F(OSAUTest, APathHoldingANulCharacterIsRefused) {
    fs::create_directory("victim");
    const std::string name("victim\0/../x", 12);
    EXPECT_EQ(OSAU::rmdir(name), -1);
    EXPECT_EQ(OSAU::emptydir(name), -1);
    EXPECT_TRUE(IsDir("victim"));
    EXPECT_EQ(OSAU::mkdir(name), -1);
}

TEST_F(OSAUTest, RunCapturedCollectsBothStreamsEvenWhenTheRunIsInterrupted) {
    std::string out, err;
    // More than a pipe holds, so that a reader that waits for the end would
    // never see it.
    OSAU::ProcessResult run =
        OSAU::run_captured({"sh", "-c", "seq 1 30000; echo oops >&2; exit 3"}, 10.0, out, err);
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(WEXITSTATUS(run.status), 3);
    EXPECT_EQ(out.size(), 168894u);
    EXPECT_EQ(out.substr(out.size() - 6), "30000\n");
    EXPECT_EQ(err, "oops\n");
    // A client command that cancels jobs must still run after a Ctrl-C.
    INTU::Request(SIGINT);
    run = OSAU::run_captured({"sh", "-c", "sleep 0.2; echo done"}, 10.0, out, err);
    INTU::Reset();
    EXPECT_FALSE(run.interrupted);
    EXPECT_EQ(out, "done\n");
    run = OSAU::run_captured({"sleep", "5"}, 0.2, out, err);
    EXPECT_TRUE(run.timed_out);
    EXPECT_LT(run.seconds, 3.0);
    run = OSAU::run_captured({"no-such-command-here"}, 1.0, out, err);
    EXPECT_FALSE(run.started);
}

} // namespace
