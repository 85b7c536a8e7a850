#include "eval/HTCondorEVAU.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "eval/OSAU.h"
#include "eval/SCON.h"
#include "model/RunJournal.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteria.h"
#include "output/PIOU.h"
#include "output/PIOUConfig.h"
#include "output/WriteData.h"

namespace {
const char* const kSettingsFile = "htcondor.QERN";
} // namespace

HTCondorEVAU::HTCondorEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, const nlohmann::json& block)
    : EVAU(ndvs, nobj, nctr), mAnalyzerType(0), mJobs(nullptr) {
    std::cout << "HTCondor Evaluation" << std::endl;
    const std::string where = "EVAU";
    mAnalyzerType = PIOU::json_get<unsigned>(block, "AnalyzerType", where);
    CheckAnalyzerType();
    mCommandFile = PIOU::json_get<std::string>(block, "CommandFile", where);
    mArguments = PIOU::json_get<std::vector<std::string>>(block, "Arguments", {}, where);
    mEssentialFilesAndFolders =
        PIOU::json_get<std::vector<std::string>>(block, "mEssentialFilesAndFolders", {}, where);
    for (size_t i = 0; i < mArguments.size(); ++i)
        std::cout << "arguments[" << i << "] = " << mArguments[i] << std::endl;
    for (size_t i = 0; i < mEssentialFilesAndFolders.size(); ++i)
        std::cout << "EssentialFilesAndFolders[" << i << "] = " << mEssentialFilesAndFolders[i]
                  << std::endl;
    NoteFiles();
}

HTCondorEVAU::HTCondorEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, std::istream& in)
    : EVAU(ndvs, nobj, nctr), mAnalyzerType(0), mJobs(nullptr) {
    std::cout << "HTCondor Evaluation" << std::endl;
    PIOU::read_value(in, mAnalyzerType, "the analyser type (1 = external command)");
    PIOU::skip_line(in);
    CheckAnalyzerType();
    PIOU::read_value(in, mCommandFile, "the command file of the jobs");
    PIOU::skip_line(in);
    mArguments = PIOU::read_word_list(in, "the number of command arguments (an unsigned integer)",
                                      "a command argument");
    mEssentialFilesAndFolders =
        PIOU::read_word_list(in, "the number of essential files and folders (an unsigned integer)",
                             "an essential file or folder");
    for (size_t i = 0; i < mArguments.size(); ++i)
        std::cout << "arguments[" << i << "] = " << mArguments[i] << std::endl;
    NoteFiles();
}

void HTCondorEVAU::NoteFiles() const {
    NoteAnalyserFiles(true, mCommandFile);
    if (std::ifstream(kSettingsFile))
        RunJournal::NoteInputFile(kSettingsFile);
}

HTCondorEVAU::~HTCondorEVAU() {
    if (mJobs != nullptr) {
        mJobs->DeleteInitialDirs(-1);
        delete mJobs;
    }
}

void HTCondorEVAU::CheckAnalyzerType() const {
    if (mAnalyzerType == 0)
        UTILS::Stop({"SO/DLL not available for HTCondor evaluation", "Program stopped!"});
    if (mAnalyzerType != 1)
        UTILS::Stop({"AnalyzerType " + std::to_string(mAnalyzerType) +
                         " not recognized: HTCondor evaluation expects 1 (external command).",
                     "Program stopped!"});
}

void HTCondorEVAU::Init(unsigned popsize) {
    std::ostringstream tag;
    tag << static_cast<const void*>(this);
    std::cout << "HTCondorEVAU::Init()" << std::endl;
    if (mJobs != nullptr) {
        mJobs->DeleteInitialDirs(-1);
        delete mJobs;
    }
    mInitialDirPrefix = tag.str() + "condorInd";
    mJobs = new SCON(mCommandFile);
    mJobs->ReadConfig(kSettingsFile);
    mJobs->SetQueue(static_cast<int>(popsize));
    mJobs->CreateInitialDirs(mInitialDirPrefix);
    // Transfer paths are relative to the initial directory, one level below
    // the directory where the program runs.
    mJobs->AddTransferInputFile(PIOU::kEvalDVsFile, false);
    for (const auto& entry : mEssentialFilesAndFolders)
        mJobs->AddTransferInputFile(!entry.empty() && entry[0] == '/' ? entry : "../" + entry,
                                    false);
    for (const auto& arg : mArguments)
        mJobs->AddArgument(arg);
    mJobs->AddTransferOutputFile(PIOU::kEvalObjectivesFile);
    if (mNctr != 0)
        mJobs->AddTransferOutputFile(PIOU::kEvalConstraintsFile);
    mJobs->SetSubmitFilename(tag.str() + "submit.condor");
    mJobs->SetLogFile(tag.str() + "log.condor");
    std::cout << "Done." << std::endl;
}

void HTCondorEVAU::EnsureInitialDirs(unsigned n) {
    const unsigned have = static_cast<unsigned>(mJobs->GetQueue());
    if (n <= have)
        return;
    // A population larger than the one announced to Init gets directories for
    // its extra designs instead of losing them; they are removed with the others.
    std::cout << "* Population of " << n << " individuals, larger than the " << have
              << " initial dirs: creating the missing ones." << std::endl;
    mJobs->SetQueue(static_cast<int>(n));
    for (unsigned i = have; i < n; ++i)
        OSAU::mkdir(mJobs->GetInitialDir(static_cast<int>(i)));
}

bool HTCondorEVAU::Compute(POPULATION& pop, TerminationCriteria* criteria,
                           const std::vector<int>& /*dvsIds*/, const std::vector<double>& eliteDVs,
                           WriteData* out) {
    mCriteriaMet.store(false);
    if (!eliteDVs.empty())
        UTILS::Stop({"GameAlgorithm not compatible with HTCondor", "Implementation required",
                     "Program stopped!"});
    if (mJobs == nullptr)
        UTILS::Stop(
            {"HTCondorEVAU::Compute called before HTCondorEVAU::Init.", "Program stopped!"});
    const unsigned n = pop.GetPopsize();
    EnsureInitialDirs(n);

    // Results left in an initial directory by an earlier generation are
    // removed first: a job that writes none must not pass them off as its own.
    // A design whose directory cannot be prepared runs no job and gets the
    // penalty below.
    std::vector<unsigned> queued;
    std::vector<bool> cleared(n, false);
    std::vector<EvalResult> replayed(n);
    for (unsigned i = 0; i < n; ++i) {
        const INDIVIDUAL& ind = pop[i];
        if (ind.IsComputed() || Replay(ind.GetDvs(), i, replayed[i]))
            continue;
        const std::string dir = mJobs->GetInitialDir(static_cast<int>(i));
        cleared[i] = PIOU::clear_eval_results(dir);
        if (cleared[i] && PIOU::write_eval_dvs(ind.GetDvs(), dir))
            queued.push_back(i);
    }

    if (queued.empty()) {
        // An empty batch is not submitted: there would be no job to wait for.
        std::cout << "* No jobs to submit." << std::endl;
    } else {
        // A log left behind by an interrupted run would hold jobs that never end.
        OSAU::rmfile(mJobs->GetLogFile());
        mJobs->WriteSubmitFile(queued);
        const int submitted = mJobs->Submit();
        if (submitted != 0)
            UTILS::Stop({"* Command condor_submit " + mJobs->GetSubmitFile() + " failed with " +
                             OSAU::status_text(submitted) + ".",
                         "Program stopped!"});
        const int waited = mJobs->Wait();
        if (waited != 0)
            UTILS::Stop({"* Command condor_wait " + mJobs->GetLogFile() + " failed with " +
                             OSAU::status_text(waited) + ".",
                         "Program stopped!"});
        mJobs->DeleteLogFile();
    }

    const std::vector<INDIVIDUAL>* bestfits = pop.GetBestfitsPtr();
    for (unsigned i = 0; i < n; ++i) {
        INDIVIDUAL& ind = pop[i];
        if (ind.IsComputed())
            continue;
        if (replayed[i].replayed) {
            Account(replayed[i], i);
            Record(ind.GetDvs(), i, replayed[i]);
            ind.SetEval(replayed[i].obj, replayed[i].ctr);
            ++mObjEvals;
            if (bestfits != nullptr)
                mEvalConvergence.WriteConvergenceToFile(*bestfits, mObjEvals.load());
            continue;
        }
        EvalResult result;
        result.evaluated = true;
        result.obj.assign(pop.GetNobj(), 0.0);
        result.ctr.assign(pop.GetNctr(), 0.0);
        result.where = mJobs->GetInitialDir(static_cast<int>(i));
        // A design whose job left no (or incomplete) results fails.
        if (cleared[i])
            result.problem = PIOU::read_eval_results(result.obj, result.ctr, result.where);
        else
            result.problem = "its initial directory could not be prepared";
        if (!result.problem.empty())
            result.outcome = EvalOutcome::Failed;
        ApplyFailurePolicy(result);
        Account(result, i);
        Record(ind.GetDvs(), i, result);
        ind.SetEval(result.obj, result.ctr);
        ++mObjEvals;
        if (bestfits != nullptr)
            mEvalConvergence.WriteConvergenceToFile(*bestfits, mObjEvals.load());
    }
    if (out != nullptr && out->GetWriteChilds())
        pop.AppendComputedFile(out->GetChildsFilename(), out->GetWriteASCIIFormat(), false, true,
                               false);
    EndBatch();
    ++mBatch;
    return CheckCriteria(criteria, bestfits);
}

bool HTCondorEVAU::ComputeInd(INDIVIDUAL& /*ind*/, TerminationCriteria* /*criteria*/,
                              const std::vector<int>& /*dvsIds*/,
                              const std::vector<double>& /*eliteDVs*/, WriteData* /*out*/) {
    UTILS::Stop(
        {"ComputeInd not available for HTCondor", "Implementation required", "Program stopped!"});
}
