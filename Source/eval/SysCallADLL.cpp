#include "eval/SysCallADLL.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "eval/OSAU.h"
#include "model/UTILS.h"
#include "output/PIOU.h"

SysCallADLL::SysCallADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_, const std::string& command)
    : ADLL(ndvs_, nobj_, nctr_), mCommand(command), mCommandWithArgs(command) {}

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

void SysCallADLL::EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                                 std::vector<double>& ctr) {
    // Results of the previous design must not be taken for this one's when
    // the command fails to write its own: they are removed first, and a
    // design whose command cannot run (or leaves no results) gets the penalty.
    if (!PIOU::clear_eval_results(mWorkFolder)) {
        PIOU::apply_eval_penalty(obj);
        return;
    }
    if (PIOU::write_eval_dvs(dvs, mWorkFolder))
        OSAU::system_exec(mBatchFile);
    PIOU::read_eval_results(obj, ctr, mWorkFolder);
}

ADLL* SysCallADLL::Copy() const {
    SysCallADLL* copy = new SysCallADLL(ndvs, nobj, nctr, mCommand);
    copy->mArguments = mArguments;
    copy->mEssentialFilesAndFolders = mEssentialFilesAndFolders;
    copy->mCommandWithArgs = mCommandWithArgs;
    copy->Init();
    return copy;
}
