#include "eval/SysCallADLL.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "eval/OSAU.h"
#include "model/INDIVIDUAL.h"
#include "model/UTILS.h"
#include "output/PIOU.h"

SysCallADLL::SysCallADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_, const std::string& command)
    // The command is one path, whatever it holds (a JSON "CommandFile" may
    // hold spaces): it is quoted for the shell, which leaves a plain path as
    // it is. The arguments stay shell words.
    : ADLL(ndvs_, nobj_, nctr_), mCommand(command), mCommandWithArgs(OSAU::shell_quote(command)),
      mTimeout(0.0) {}

SysCallADLL::~SysCallADLL() {
    if (!mWorkFolder.empty())
        OSAU::rmdir(mWorkFolder);
    if (!mBatchFile.empty())
        OSAU::rmfile(mBatchFile);
}

void SysCallADLL::SetArguments(const std::vector<std::string>& args) {
    mArguments = args;
    for (const auto& arg : args)
        mCommandWithArgs += " " + UTILS::ParseArgument(arg, ndvs, nobj, nctr);
    std::cout << "Complete command set to: " << mCommandWithArgs << std::endl;
}

void SysCallADLL::SetEssentialFilesAndFolders(const std::vector<std::string>& list) {
    mEssentialFilesAndFolders = list;
}

void SysCallADLL::Init() {
    // Live instances have distinct addresses, so concurrent analysers never
    // share a folder or a batch file.
    std::ostringstream tag;
    tag << static_cast<const void*>(this);
    mWorkFolder = tag.str() + "_CPU";
    // A second Init reuses the folder instead of failing on it.
    struct stat info;
    if (::stat(mWorkFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        OSAU::mkdir(mWorkFolder);
    OSAU::cp(mEssentialFilesAndFolders, mWorkFolder);
    OSAU::cp_file(mCommand, mWorkFolder, "");
    CreateBatchFile(tag.str());
}

void SysCallADLL::CreateBatchFile(const std::string& tag) {
    mBatchFile = tag + "runCommand" + ".sh";
    {
        std::ofstream os(mBatchFile, std::ios::trunc);
        os << "cd " << OSAU::shell_quote(mWorkFolder) << "\n" << mCommandWithArgs;
        os.close();
        if (!os)
            UTILS::Stop({"Could not write the batch file " + mBatchFile + ".", "Program stopped!"});
    }
    const std::string command = "chmod ug+rwx ./" + OSAU::shell_quote(mBatchFile);
    const int ret = std::system(command.c_str());
    if (ret != 0)
        UTILS::Stop({"Failed to assign permissions to batch file. ret = " + std::to_string(ret),
                     "command: " + command, "Program stopped!"});
}

void SysCallADLL::Fail(EvalOutcome outcome, const std::string& problem, std::vector<double>& obj,
                       std::vector<double>& ctr) {
    mLast.outcome = outcome;
    mLast.problem = problem;
    for (double& v : obj)
        v = INDIVIDUAL::kWorst;
    for (double& v : ctr)
        v = -INDIVIDUAL::kWorst;
}

void SysCallADLL::EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                                 std::vector<double>& ctr) {
    mLast = EvalResult();
    mLast.evaluated = true;
    mLast.where = mWorkFolder;
    // Results of the previous design must not be taken for this one's when
    // the command fails to write its own: they are removed first.
    if (!PIOU::clear_eval_results(mWorkFolder))
        return Fail(EvalOutcome::Failed, "the previous result files could not be removed", obj,
                    ctr);
    if (!PIOU::write_eval_dvs(dvs, mWorkFolder))
        return Fail(EvalOutcome::Failed, "Eval.DVs could not be written", obj, ctr);
    // A command line of plain words runs without a shell, in the working
    // folder, exactly as the batch file would run it; anything the shell must
    // interpret goes through the batch file.
    const std::vector<std::string> words = PlainWords();
    const OSAU::ProcessResult run =
        words.empty() ? OSAU::run_process({"/bin/sh", "./" + mBatchFile}, "", mTimeout)
                      : OSAU::run_process(words, mWorkFolder, mTimeout);
    mLast.seconds = run.seconds;
    if (!run.started)
        return Fail(EvalOutcome::Failed, run.error, obj, ctr);
    if (run.interrupted) {
        mLast.interrupted = true;
        return Fail(EvalOutcome::Failed, "ended because the run was interrupted", obj, ctr);
    }
    if (run.timed_out) {
        std::ostringstream text;
        text << "timed out after " << mTimeout << " s";
        return Fail(EvalOutcome::TimedOut, text.str(), obj, ctr);
    }
    if (WIFSIGNALED(run.status)) {
        mLast.exit_code = 128 + WTERMSIG(run.status);
        return Fail(EvalOutcome::Failed, "the command was " + OSAU::status_text(run.status), obj,
                    ctr);
    }
    mLast.exit_code = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
    const std::string problem = PIOU::read_eval_results(obj, ctr, mWorkFolder);
    if (!problem.empty()) {
        const std::string status =
            mLast.exit_code != 0 ? " (the command ended with " + OSAU::status_text(run.status) + ")"
                                 : "";
        return Fail(EvalOutcome::Failed, problem + status, obj, ctr);
    }
    if (mLast.exit_code != 0)
        mLast.problem = "the command ended with " + OSAU::status_text(run.status) +
                        " but wrote complete results, which are kept";
}

std::vector<std::string> SysCallADLL::PlainWords() const {
    const std::string command = OSAU::shell_quote(mCommand);
    if (mCommandWithArgs.compare(0, command.size(), command) != 0)
        return {};
    const std::string rest = mCommandWithArgs.substr(command.size());
    std::vector<std::string> words{mCommand};
    if (rest.find_first_not_of(' ') == std::string::npos)
        return words;
    const std::vector<std::string> arguments = OSAU::plain_words(rest);
    if (arguments.empty())
        return {};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

ADLL* SysCallADLL::Copy() const {
    auto copy = std::make_unique<SysCallADLL>(ndvs, nobj, nctr, mCommand);
    copy->mArguments = mArguments;
    copy->mEssentialFilesAndFolders = mEssentialFilesAndFolders;
    copy->mCommandWithArgs = mCommandWithArgs;
    copy->mTimeout = mTimeout;
    copy->Init();
    // The analyser interface hands copies over as plain pointers.
    return copy.release();
}
