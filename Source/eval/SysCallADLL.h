#ifndef VESK_EVAL_SYSCALLADLL_H
#define VESK_EVAL_SYSCALLADLL_H

#include <string>
#include <vector>

#include "eval/ADLL.h"
#include "eval/EvalResult.h"

// An analyser that evaluates a design by running an external command. Each
// instance owns a working folder and a batch file named after its address;
// an evaluation writes "Eval.DVs" into the folder, runs the batch file (which
// changes into the folder and starts the command) and reads "Eval.individual"
// and "Eval.constraint" back.
class SysCallADLL : public ADLL {
public:
    SysCallADLL(unsigned ndvs, unsigned nobj, unsigned nctr, const std::string& command);
    SysCallADLL(const SysCallADLL&) = delete;
    SysCallADLL& operator=(const SysCallADLL&) = delete;
    // Removes the working folder and the batch file.
    ~SysCallADLL() override;

    // Appends each argument, with its count placeholders expanded, to the
    // command line.
    void SetArguments(const std::vector<std::string>& args);
    void SetEssentialFilesAndFolders(const std::vector<std::string>& list);

    std::string GetCommand() const { return mCommand; }
    std::vector<std::string> GetArguments() const { return mArguments; }
    std::vector<std::string> GetEssentialFilesAndFolders() const {
        return mEssentialFilesAndFolders;
    }
    std::string GetCommandWithArgs() const { return mCommandWithArgs; }
    std::string GetWorkFolder() const { return mWorkFolder; }
    std::string GetBatchFile() const { return mBatchFile; }

    // Creates the working folder, copies the essential files and folders and
    // the command into it and writes the batch file. May be called again.
    void Init() override;
    // Writes the batch file tag + "runCommand.sh" and makes it executable.
    void CreateBatchFile(const std::string& tag);
    void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                        std::vector<double>& ctr) override;
    // A new analyser with the same settings, already initialised in its own
    // working folder.
    ADLL* Copy() const override;

    // Wall-clock limit of one run of the command in seconds (0: none).
    void SetTimeout(double seconds) { mTimeout = seconds; }
    double GetTimeout() const { return mTimeout; }
    // How the last evaluation ended: its outcome, the command's exit code, the
    // time it took, and what went wrong. A failed evaluation leaves the
    // penalty values in obj and ctr.
    const EvalResult& LastResult() const { return mLast; }

private:
    // The command line as words to start without a shell: the command (one
    // path) and its arguments when they are plain words; empty when the
    // arguments need the shell.
    std::vector<std::string> PlainWords() const;
    // Records a failure of the last evaluation and gives it the penalty values.
    void Fail(EvalOutcome outcome, const std::string& problem, std::vector<double>& obj,
              std::vector<double>& ctr);

    std::string mCommand;
    std::vector<std::string> mArguments;
    std::vector<std::string> mEssentialFilesAndFolders;
    std::string mWorkFolder;
    std::string mBatchFile;
    std::string mCommandWithArgs;
    double mTimeout;
    EvalResult mLast;
};

#endif
