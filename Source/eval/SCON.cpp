#include "eval/SCON.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

#include "eval/OSAU.h"
#include "model/UTILS.h"

SCON::SCON(std::string executable)
    : mQueue(1), mLogFile("log.condor"), mOutFile("out.condor"), mErrFile("err.condor"),
      mSubmitFile("submit.condor"), mUniverse("vanilla"), mExecutable(std::move(executable)),
      mWhenToTransferOutput("ON_EXIT") {}

SCON::~SCON() {
    std::cout << "* Deleting " << mSubmitFile << std::endl;
    OSAU::rmfile(mSubmitFile);
    std::cout << "* Done!" << std::endl;
}

int SCON::SetQueue(int n) {
    if (n > 0) {
        mQueue = n;
        return 0;
    }
    std::cout << "queue should be greater than 0" << std::endl;
    std::cout << "queue NOT MODIFIED!" << std::endl;
    std::cout << "queue = " << mQueue << std::endl;
    return 1;
}

void SCON::AddTransferInputFile(const std::string& file, bool copy) {
    mTransferInputFiles.push_back(file);
    mCopyToInitialDirs.push_back(copy);
}

std::string SCON::GenList(const std::vector<std::string>& list, const std::string& separator) {
    std::string text;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += separator;
        text += list[i];
    }
    return text;
}

void SCON::WriteSubmitFile() {
    if (mQueue < 1)
        UTILS::Stop({"* queue should be greater than 0", "* Program stopped!"});
    Write(nullptr);
}

void SCON::WriteSubmitFile(const std::vector<unsigned>& indices) {
    Write(&indices);
}

void SCON::Write(const std::vector<unsigned>* indices) {
    std::cout << "* Writting submit file..." << std::endl;
    std::ofstream os(mSubmitFile, std::ios::trunc);
    os << "################################\n"
       << "#       Condor submit file     #\n"
       << "# Created by SCON library      #\n"
       << "################################\n"
       << "\n"
       << "Universe   = " << mUniverse << "\n"
       << "\n"
       << "Executable = " << mExecutable << "\n";
    if (!mArguments.empty())
        os << "Arguments  = " << GetArgumentsString() << "\n";
    os << "\n";
    // Job paths are relative to the initial directory, one level below the
    // directory where the program runs; the log must be the one file there.
    if (!mInitialDirPrefix.empty())
        os << "Log    = ../" << mLogFile << "\n";
    else
        os << "Log    = " << mLogFile << "\n";
    os << "Output = " << mOutFile << "\n"
       << "Error  = " << mErrFile << "\n"
       << "\n";
    if (!mInitialDirPrefix.empty() && mQueue > 0)
        os << "initialdir = " << mInitialDirPrefix << (indices ? "$(index)" : "$(Process)")
           << "\n\n";
    os << "should_transfer_files = YES\n";
    if (!mTransferInputFiles.empty())
        os << "transfer_input_files = " << GenList(mTransferInputFiles, ", ") << "\n";
    os << "when_to_transfer_output = " << mWhenToTransferOutput << "\n";
    if (!mTransferOutputFiles.empty())
        os << "transfer_output_files = " << GenList(mTransferOutputFiles, ", ") << "\n";
    os << "\n";
    if (!mRequirements.empty())
        os << "Requirements = " << GetRequirementsString() << "\n\n";
    if (!mRanks.empty())
        os << "Rank = " << GetRankString() << "\n\n";
    for (const auto& line : mCustomLines)
        os << line << "\n\n";
    if (indices != nullptr) {
        os << "Queue index in (";
        for (size_t i = 0; i < indices->size(); ++i)
            os << (i > 0 ? " " : "") << (*indices)[i];
        os << ")\n";
    } else if (mQueue == 1) {
        os << "Queue\n";
    } else {
        os << "Queue " << mQueue << "\n";
    }
    os.close();
    // Submitting a missing or truncated description would run the wrong jobs.
    if (!os)
        UTILS::Stop(
            {"* Could not write the submit file " + mSubmitFile + ".", "* Program stopped!"});
    std::cout << "* Done!" << std::endl;
}

void SCON::CreateInitialDirs(std::string prefix) {
    mInitialDirPrefix = std::move(prefix);
    std::cout << "* Creating initial dirs ..." << std::endl;
    for (int i = 0; i < mQueue; ++i)
        OSAU::mkdir(GetInitialDir(i));
    std::cout << "* Done!" << std::endl;
}

void SCON::CopyFilesToInitialDirs() {
    std::cout << "* Copying files to initial dirs ..." << std::endl;
    for (size_t f = 0; f < mTransferInputFiles.size(); ++f)
        if (mCopyToInitialDirs[f])
            for (int i = 0; i < mQueue; ++i)
                OSAU::cp_file(mTransferInputFiles[f], GetInitialDir(i), "");
    std::cout << "* Done!" << std::endl;
}

void SCON::EmptyInitialDirs(int id) {
    if (id == -1) {
        std::cout << "* Emptying initial dirs ..." << std::endl;
        OSAU::emptydirs(mInitialDirPrefix, static_cast<unsigned>(mQueue));
    } else {
        std::cout << "* Emptying initial dir id:" << id << std::endl;
        OSAU::emptydir(GetInitialDir(id));
    }
    std::cout << "* Done!" << std::endl;
}

void SCON::DeleteInitialDirs(int id) {
    if (id == -1) {
        std::cout << "* Deleting initial dirs ..." << std::endl;
        OSAU::rmdirs(mInitialDirPrefix, static_cast<unsigned>(mQueue));
    } else {
        std::cout << "* Deleting initial dir id:" << id << std::endl;
        OSAU::rmdir(GetInitialDir(id));
    }
    std::cout << "* Done!" << std::endl;
}

void SCON::DeleteSubmitFile() {
    std::cout << "* Deleting " << mSubmitFile << std::endl;
    OSAU::rmfile(mSubmitFile);
    std::cout << "* Done!" << std::endl;
}

void SCON::DeleteLogFile() {
    std::cout << "* Deleting " << mLogFile << std::endl;
    OSAU::rmfile(mLogFile);
    std::cout << "* Done!" << std::endl;
}

int SCON::Submit() {
    const std::string command = "condor_submit " + OSAU::shell_quote(mSubmitFile);
    std::cout << "* Submitting jobs to HTCondor:" << std::endl;
    std::cout << "* Command: " << command << std::endl;
    const int status = std::system(command.c_str());
    std::cout << "* Done!" << std::endl;
    return status;
}

int SCON::Wait() {
    const std::string command = "condor_wait " + OSAU::shell_quote(mLogFile);
    std::cout << "* Waiting jobs to end ..." << std::endl;
    std::cout << "* Command: " << command << std::endl;
    const int status = std::system(command.c_str());
    std::cout << "* Done!" << std::endl;
    return status;
}

void SCON::ReadConfig(std::string file) {
    std::ifstream in(file);
    if (!in) {
        std::cout << "* HTCondor Configuration file not found: " << file << std::endl;
        std::cout << "* Running with default parameters." << std::endl;
        return;
    }
    std::cout << "* Reading SCON (HTCondor) Configuration File: " << file << std::endl;
    bool universe_read = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string keyword;
        // Blank lines and comments carry no option; the rest of a keyword's
        // line is free text.
        if (!(words >> keyword) || keyword[0] == '#')
            continue;
        // Every option is a keyword line followed by its value line, so the
        // value of an unknown option is skipped with it rather than being read
        // as a keyword of its own.
        std::string value;
        const bool has_value = static_cast<bool>(std::getline(in, value));
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        const bool known = keyword == "Requirements" || keyword == "Rank" || keyword == "Universe";
        if (!known) {
            std::cout << "* Option \"" << keyword << "\" not known, skipped!" << std::endl;
            continue;
        }
        if (!has_value || value.find_first_not_of(" \t") == std::string::npos) {
            std::cout << "* Option \"" << keyword << "\" of " << file
                      << " has no value on the next line, skipped!" << std::endl;
            continue;
        }
        if (keyword == "Requirements") {
            AddRequirement(value);
        } else if (keyword == "Rank") {
            AddRank(value);
        } else {
            mUniverse = value;
            universe_read = true;
        }
    }
    std::cout << "* Configurations read:" << std::endl;
    if (!mArguments.empty())
        std::cout << "* Arguments = " << GetArgumentsString() << std::endl;
    if (!mRequirements.empty())
        std::cout << "* Requirements = " << GetRequirementsString() << std::endl;
    if (!mRanks.empty())
        std::cout << "* Rank = " << GetRankString() << std::endl;
    if (universe_read)
        std::cout << "* Universe = " << mUniverse << std::endl;
    std::cout << "* Done!" << std::endl;
}
