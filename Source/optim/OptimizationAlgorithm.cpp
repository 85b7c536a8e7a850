#include "optim/OptimizationAlgorithm.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "eval/EVAU.h"
#include "eval/HTCondorEVAU.h"
#include "eval/LocalEVAU.h"
#include "eval/SlurmEVAU.h"
#include "model/INTU.h"
#include "model/RunJournal.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteria.h"
#include "output/PIOU.h"
#include "output/PIOUConfig.h"
#include "output/PLOU.h"
#include "output/WriteData.h"
#include "output/WriteDataEA.h"

namespace {
// NCPU 0 hands the designs to a batch system: Slurm when its settings file is
// in the working folder, HTCondor otherwise.
std::unique_ptr<EVAU> CreateEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, unsigned ncpu,
                                 std::istream& in) {
    if (ncpu != 0)
        return std::make_unique<LocalEVAU>(ndvs, nobj, nctr, ncpu, in);
    std::error_code ec;
    const bool slurm = std::filesystem::exists(SlurmEVAU::kSettingsFile, ec);
    if (slurm && std::filesystem::exists("htcondor.QERN", ec))
        UTILS::Stop({std::string("Both ") + SlurmEVAU::kSettingsFile +
                         " and htcondor.QERN are in the working folder: with NCPU 0 the first "
                         "selects Slurm, the second HTCondor. Remove one of them.",
                     "Program stopped!"});
    if (slurm)
        return std::make_unique<SlurmEVAU>(ndvs, nobj, nctr, in);
    return std::make_unique<HTCondorEVAU>(ndvs, nobj, nctr, in);
}

// "ncpu" 0 hands the designs to the batch system named by "Scheduler".
std::unique_ptr<EVAU> CreateEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, unsigned ncpu,
                                 const nlohmann::json& block, const std::string& where) {
    const std::string scheduler =
        PIOU::json_get<std::string>(block, "Scheduler", "htcondor", where);
    if (scheduler != "htcondor" && scheduler != "slurm")
        PIOU::json_error(where + "/Scheduler",
                         "expected \"slurm\" or \"htcondor\", found \"" + scheduler + "\"");
    if (ncpu != 0) {
        if (block.contains("Scheduler"))
            PIOU::json_error(where + "/Scheduler",
                             "applies only with \"ncpu\": 0 (evaluation by a batch system)");
        return std::make_unique<LocalEVAU>(ndvs, nobj, nctr, ncpu, block);
    }
    if (scheduler == "slurm")
        return std::make_unique<SlurmEVAU>(ndvs, nobj, nctr, block);
    return std::make_unique<HTCondorEVAU>(ndvs, nobj, nctr, block);
}
} // namespace

OptimizationAlgorithm::OptimizationAlgorithm(std::istream& in)
    : mWriteData(nullptr), mEvau(nullptr), mCriteria(nullptr), done(false), iter(0), ndvs(0),
      nobj(0), nctr(0), mActiveGame(0) {
    std::cout << "OptimizationAlgorithm created." << std::endl;
    unsigned ncpu = 0;
    const std::streampos counts_at =
        PIOU::read_setting(in, ndvs, "the number of design variables (an unsigned integer)");
    PIOU::read_setting(in, nobj, "the number of objectives (an unsigned integer)");
    PIOU::read_setting(in, nctr, "the number of constraints (an unsigned integer)");
    const std::string problem = CountsProblem();
    if (!problem.empty())
        PIOU::config_stop(in, counts_at,
                          "NDVs, NObj and NCtr (this line and the next two): " + problem + ".");
    const std::streampos ncpu_at = PIOU::read_setting(
        in, ncpu, "the number of processors (an unsigned integer, 0 for HTCondor)");
    CheckProcessors(ncpu, PIOU::config_place(in, ncpu_at) + ": NCPU ");
    std::cout << "NDVs = " << ndvs << std::endl;
    std::cout << "NObj = " << nobj << std::endl;
    std::cout << "NCtr = " << nctr << std::endl;
    mEvau = CreateEVAU(ndvs, nobj, nctr, ncpu, in);
    InitCommon();
}

OptimizationAlgorithm::OptimizationAlgorithm(const nlohmann::json& block)
    : mWriteData(nullptr), mEvau(nullptr), mCriteria(nullptr), done(false), iter(0), ndvs(0),
      nobj(0), nctr(0), mActiveGame(0) {
    std::cout << "OptimizationAlgorithm created." << std::endl;
    std::cout << "OptimizationAlgorithm: " << block.dump(4) << std::endl;
    const std::string where = "OptimizationAlgorithm/LAMBDAMU";
    ndvs = PIOU::json_get<unsigned>(block, "ndvs", where);
    nobj = PIOU::json_get<unsigned>(block, "nobj", where);
    nctr = PIOU::json_get<unsigned>(block, "nctr", where);
    const std::string problem = CountsProblem();
    if (!problem.empty())
        PIOU::json_error(where + "/ndvs\", \"nobj\" and \"nctr", problem);
    std::cout << "NDVs = " << ndvs << std::endl;
    std::cout << "NObj = " << nobj << std::endl;
    std::cout << "NCtr = " << nctr << std::endl;
    if (block.contains("EVAU")) {
        const nlohmann::json& evau = block.at("EVAU");
        if (!evau.is_object())
            PIOU::json_error(where + "/EVAU", "expected an object, found " + evau.dump());
        const unsigned ncpu = PIOU::json_get<unsigned>(evau, "ncpu", 1u, where + "/EVAU");
        CheckProcessors(ncpu, "input.jsn: key \"" + where + "/EVAU/ncpu\": ");
        mEvau = CreateEVAU(ndvs, nobj, nctr, ncpu, evau, where + "/EVAU");
    } else {
        std::cout << "EVAU Module not loaded" << std::endl;
    }
    InitCommon();
}

std::string OptimizationAlgorithm::CountsProblem() const {
    // The best-per-objective record holds one design per objective.
    return UTILS::PopulationLimitProblem("the best-per-objective record", nobj, ndvs, nobj, nctr);
}

void OptimizationAlgorithm::CheckProcessors(unsigned ncpu, const std::string& place) {
    // 0 hands the designs to a batch system (HTCondor or Slurm): no thread.
    if (ncpu == 0)
        return;
    if (ncpu > UTILS::kMaxProcessors)
        UTILS::Stop({place + std::to_string(ncpu) + " is more than the limit of " +
                         std::to_string(UTILS::kMaxProcessors) + " processors.",
                     "Program stopped!"});
    const unsigned startable = UTILS::StartableThreads(ncpu);
    if (startable < ncpu)
        UTILS::Stop({place + std::to_string(ncpu) + ": this machine could start only " +
                         std::to_string(startable) + " threads at once.",
                     "Program stopped!"});
}

void OptimizationAlgorithm::InitCommon() {
    done = false;
    iter = 0;
    mCriteria = nullptr;
    mActiveGame = 0;
    // Every entry starts with the largest finite objectives, so that the first
    // feasible evaluation of each objective replaces it.
    bestfits.assign(nobj, INDIVIDUAL(static_cast<int>(ndvs), static_cast<int>(nobj),
                                     static_cast<int>(nctr), nullptr));
}

OptimizationAlgorithm::~OptimizationAlgorithm() {
    // The evaluation unit (its folders, its convergence file) ends before the
    // rest of the optimiser, as it always has; member order alone would end it
    // after the optimiser's own convergence file is closed.
    mEvau.reset();
    mCriteria.reset();
}

void OptimizationAlgorithm::RequireEVAU() const {
    if (mEvau == nullptr)
        UTILS::Stop({"The optimiser has no evaluation unit (its configuration has no \"EVAU\" "
                     "block), so it cannot be run.",
                     "Program stopped!"});
}

bool OptimizationAlgorithm::Compute() {
    RequireEVAU();
    return mEvau->Compute(mChilds, mCriteria.get(), mDVsIds, mEliteDVs, mWriteData);
}

bool OptimizationAlgorithm::ComputeInd(INDIVIDUAL& ind) {
    RequireEVAU();
    return mEvau->ComputeInd(ind, mCriteria.get(), mDVsIds, mEliteDVs, mWriteData);
}

unsigned OptimizationAlgorithm::GetObjEvals() const {
    return mEvau != nullptr ? mEvau->GetObjEvals() : 0;
}

void OptimizationAlgorithm::Run(double& elapsed, long& start_time) {
    RequireEVAU();
    // Only the stopping rule ends a run; without one it would never end.
    if (mCriteria == nullptr)
        UTILS::Stop({"The optimiser has no stopping rule (\"TerminationCriteria\" in input.jsn), "
                     "so it cannot be run.",
                     "Program stopped!"});
    std::cout << std::endl << "Run started" << std::endl << std::endl;
    StartRun();
    std::cout << std::endl << "LOOP BEGIN" << std::endl << std::endl;
    while (!done) {
        Step();
        RunProgress progress = Progress();
        ReportIfDue(elapsed, start_time, "Finished iteration: " + std::to_string(iter), "",
                    progress);
    }
    std::cout << std::endl << "LOOP END" << std::endl;
    EVAU::EvaluationsOver();
    PostProcessOpt();
}

void OptimizationAlgorithm::StartRun(bool announce) {
    UTILS::CheckWritable(mWriteData->OutputFiles());
    InitEVAU();
    if (announce)
        std::cout << std::endl << "InitEVAU done" << std::endl << std::endl;
    InitializeChildsFile();
    Initialize();
    if (announce)
        std::cout << std::endl << "Initialize done" << std::endl << std::endl;
    WriteConvergenceGenFile();
}

void OptimizationAlgorithm::BeginIteration() {
    IncrIter();
    Generate();
    // An interruption during Generate (a line search evaluates as it goes)
    // ends the run before the next batch starts.
    if (INTU::Requested())
        done = true;
}

unsigned OptimizationAlgorithm::EvaluateBatch() {
    const unsigned before = GetObjEvals();
    if (Compute())
        done = true;
    if (INTU::Requested())
        done = true;
    return GetObjEvals() - before;
}

void OptimizationAlgorithm::EndIteration() {
    PostProcessInds();
    WriteConvergenceGenFile();
}

void OptimizationAlgorithm::Step() {
    BeginIteration();
    if (done)
        return;
    if (EvaluateBatch() != 0) {
        mIdleBatches = 0;
    } else if (++mIdleBatches >= kMaxIdleBatches && !done) {
        std::cout << "No new design in the last " << kMaxIdleBatches
                  << " iterations (every child repeats an evaluated design): the run ends here."
                  << std::endl;
        done = true;
    }
    EndIteration();
}

RunProgress OptimizationAlgorithm::Progress() const {
    RunProgress progress;
    progress.iteration = iter;
    progress.evaluations = GetObjEvals();
    progress.budget = mCriteria != nullptr ? mCriteria->EvaluationBudget() : 0;
    if (mEvau != nullptr) {
        progress.failed = mEvau->GetFailed();
        progress.timed_out = mEvau->GetTimedOut();
    }
    progress.has_front = FrontProgress(progress.front_size, progress.hypervolume);
    return progress;
}

EvaluationCounts OptimizationAlgorithm::GetEvaluationCounts() const {
    return mEvau != nullptr ? mEvau->GetEvaluationCounts() : EvaluationCounts();
}

namespace {
// h:mm:ss, compact enough for the progress line.
std::string Clock(double seconds) {
    const unsigned long s = seconds > 0.0 ? static_cast<unsigned long>(seconds) : 0;
    char text[48];
    std::snprintf(text, sizeof(text), "%lu:%02lu:%02lu", s / 3600, (s / 60) % 60, s % 60);
    return text;
}
} // namespace

void OptimizationAlgorithm::ReportIfDue(double& elapsed, long start_time, const std::string& before,
                                        const std::string& after, const RunProgress& given) {
    const unsigned report = mWriteData->GetReportIter();
    if (report == 0 || mWriteData->GetReportIterCounter() != report)
        return;
    std::cout << "-------------------------------------------" << std::endl;
    if (!before.empty())
        std::cout << before << std::endl;
    elapsed = std::difftime(std::time(nullptr), static_cast<std::time_t>(start_time));
    std::cout << "Time elapsed = ";
    UTILS::out_seconds_in_hms(std::cout, elapsed) << std::endl;
    if (!after.empty())
        std::cout << after << std::endl;
    // Everything a user watching a long run needs, on one line.
    RunProgress progress = given;
    progress.elapsed = elapsed;
    std::ostringstream line;
    line << "Progress: iteration " << progress.iteration << " | evaluations "
         << progress.evaluations;
    if (progress.budget != 0)
        line << " of " << progress.budget;
    line << " | failed " << progress.failed << " | timed out " << progress.timed_out
         << " | elapsed " << Clock(progress.elapsed);
    if (progress.has_front) {
        line << " | front " << progress.front_size << " | hypervolume " << std::scientific
             << std::setprecision(10) << progress.hypervolume;
    }
    std::cout << line.str() << std::endl;
    PrintReportIter();
    std::cout << std::endl;
    mWriteData->ResetReportIterCounter();
}

void OptimizationAlgorithm::IncrIter() {
    ++iter;
    if (mWriteData != nullptr)
        mWriteData->IncrReportIterCounter();
}

void OptimizationAlgorithm::InitEVAU() {
    RequireEVAU();
    if (IsActiveGame()) {
        mEvau->SetNdvs(static_cast<unsigned>(mDVsIds.size()));
        mEvau->SetNobj(static_cast<unsigned>(mOBjIds.size()));
    } else {
        mEvau->SetNdvs(ndvs);
        mEvau->SetNobj(nobj);
    }
    std::cout << "mDVsIds.size() = " << mDVsIds.size() << std::endl;
    std::cout << "mOBjIds.size() = " << mOBjIds.size() << std::endl;
    mEvau->Init(mChilds.GetPopsize());
    mEvau->InitConvergenceWriteManager(mWriteData->GetConvergenceEvaFilename(), nobj, "Evaluation");
    std::cout << "InitConvergenceWriteManager done." << std::endl;
    mEvau->SetOBjIds(mOBjIds);
    mEvau->SetDVsIds(mDVsIds);
    mGenConvergence.Init(mWriteData->GetConvergenceGenFilename(), nobj, "Generation");
}

void OptimizationAlgorithm::InitializeChildsFile() const {
    if (!mWriteData->GetWriteChilds())
        return;
    const std::string file = mWriteData->GetChildsFilename();
    if (mWriteData->GetWriteASCIIFormat()) {
        std::ofstream os(file, std::ios::trunc);
        if (!os) {
            UTILS::WarnCannotWrite(file);
            return;
        }
        os << std::scientific;
        os.precision(10);
        PIOU::out_population_header(os, mChilds);
        PIOU::out_individual_header(os, mChilds, 20);
    } else {
        std::ofstream os(file, std::ios::trunc | std::ios::binary);
        if (!os) {
            UTILS::WarnCannotWrite(file);
            return;
        }
        const int32_t counts[3] = {static_cast<int32_t>(mChilds.GetNobj()),
                                   static_cast<int32_t>(mChilds.GetNdvs()),
                                   static_cast<int32_t>(mChilds.GetNctr())};
        os.write(reinterpret_cast<const char*>(counts), sizeof(counts));
    }
}

void OptimizationAlgorithm::WriteConvergenceGenFile() {
    mGenConvergence.WriteConvergenceToFile(bestfits, iter);
}

void OptimizationAlgorithm::PrintBestfits(const std::string& title,
                                          const std::string& counter) const {
    std::cout << "   " << title << ":" << std::endl;
    std::cout << "   ";
    PIOU::cout_convergence_header(nobj, counter);
    std::cout << "   ";
    PIOU::cout_convergence(bestfits, iter);
}

void OptimizationAlgorithm::PrintReportIter() {
    PrintBestfits("Bestfits", "Generation");
    if (mWriteData->GetRunPlots() && mWriteData->GetWriteOnlineHistoryPareto())
        PLOU::run_gnuplot(mWriteData->GetGPFilenameWOExt());
}

void OptimizationAlgorithm::Inmigrate(const INDIVIDUAL&, const std::vector<unsigned>&) {
    UTILS::Stop(
        {"Member function OptimizationAlgorithm::Inmigrate(const INDIVIDUAL &, const std::vector<unsigned int> &)",
         "Inmigrate funciton is not overridden on this OptimizationAlgorithm inherited class",
         "Optimization with GameAlgorithm not available", "Program stopped!"});
}

void OptimizationAlgorithm::SetActiveGame(const std::vector<int>& dvs_map,
                                          const std::vector<int>& obj_map, unsigned global_ndvs,
                                          unsigned prefix_index) {
    std::cout << "OptimizationAlgorithm::SetActiveGame(...) called" << std::endl;
    mActiveGame = 1;
    if (mEvau != nullptr)
        mEvau->SetPlayer(prefix_index);
    mDVsIds = dvs_map;
    mOBjIds = obj_map;
    mEliteDVs.resize(global_ndvs, 0.0);
    if (mWriteData != nullptr) {
        mWriteData->SetPrefixIndex(prefix_index);
        // A population player compares its final front with its own (prefixed)
        // baseline file: a missing one must stop the game now, not after the
        // last evaluation.
        if (mWriteData->GetBaseline() && dynamic_cast<WriteDataEA*>(mWriteData) != nullptr) {
            const std::string file = mWriteData->GetBaselineFilename();
            if (!std::ifstream(file))
                UTILS::Stop({"File " + file + " not found.", "Program stopped!"});
            RunJournal::NoteInputFile(file);
        }
    }
    CalcGlobalIds();
}

void OptimizationAlgorithm::CalcGlobalIds() {
    mGlobalDVsIds.assign(ndvs, 0);
    mGlobalOBjIds.assign(nobj, 0);
    size_t k = 0;
    for (int id : mDVsIds)
        if (id != -1 && k < mGlobalDVsIds.size())
            mGlobalDVsIds[k++] = static_cast<unsigned>(id);
    k = 0;
    for (int id : mOBjIds)
        if (id != -1 && k < mGlobalOBjIds.size())
            mGlobalOBjIds[k++] = static_cast<unsigned>(id);
}

void OptimizationAlgorithm::CountEarlierRunTime(double seconds) {
    if (mCriteria != nullptr)
        mCriteria->CountEarlierRunTime(seconds);
}

void OptimizationAlgorithm::SetTerminationCriteria(const TerminationCriteria& criteria) {
    mCriteria = criteria.clone();
}

void OptimizationAlgorithm::SetEliteDVs(std::vector<double> elite) {
    if (elite.size() != mEliteDVs.size())
        UTILS::Stop({"Error on OptimizationAlgorithm::SetEliteDVs(std::vector<double>)",
                     "Dimension missmatch", "Program stopped!"});
    mEliteDVs = std::move(elite);
}

void OptimizationAlgorithm::SetEliteDVs(unsigned i, double v) {
    if (i >= mEliteDVs.size())
        UTILS::Stop({"Error on OptimizationAlgorithm::SetEliteDVs(unsigned int,double)",
                     "Dimension missmatch", "Program stopped!"});
    mEliteDVs[i] = v;
}

double OptimizationAlgorithm::GetEliteDVs(unsigned i) const {
    if (i >= mEliteDVs.size())
        UTILS::Stop({"Error on OptimizationAlgorithm::GetEliteDVs(unsigned int,double)",
                     "Dimension missmatch", "Program stopped!"});
    return mEliteDVs[i];
}
