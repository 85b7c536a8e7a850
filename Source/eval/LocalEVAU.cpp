#include "eval/LocalEVAU.h"

#include <dlfcn.h>
#include <omp.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>
#include <utility>

#include "eval/ADLL.h"
#include "eval/EvaluationDatabase.h"
#include "eval/SysCallADLL.h"
#include "model/INTU.h"
#include "model/UTILS.h"
#include "output/PIOU.h"
#include "output/PIOUConfig.h"
#include "output/WriteData.h"

namespace {
// External-command analysers are never deleted, so that their working folders
// stay for inspection after the run; they are kept reachable for the life of
// the process so that leak checkers do not report them. Units are initialised
// and destroyed on the main thread only.
void KeepCommandAnalysers(std::vector<std::unique_ptr<ADLL>>& analysers) {
    static std::vector<ADLL*>* retained = new std::vector<ADLL*>();
    for (std::unique_ptr<ADLL>& analyser : analysers)
        if (analyser != nullptr)
            retained->push_back(analyser.release());
}
} // namespace

LocalEVAU::LocalEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, unsigned ncpu,
                     const nlohmann::json& block)
    : EVAU(ndvs, nobj, nctr), mNcpu(0), mAnalyzerType(0) {
    CheckProcessors(ncpu);
    mAnalyzerType = PIOU::json_get<int>(block, "AnalyzerType", "EVAU");
    mCommand = read_analyser_command(block, mEvalTimeout);
    CheckAnalyzerType();
    print_analyser_command(mCommand, true);
}

LocalEVAU::LocalEVAU(unsigned ndvs, unsigned nobj, unsigned nctr, unsigned ncpu, std::istream& in)
    : EVAU(ndvs, nobj, nctr), mNcpu(0), mAnalyzerType(0) {
    CheckProcessors(ncpu);
    PIOU::read_value(in, mAnalyzerType, "the analyser type (0 = plug-in, 1 = external command)");
    PIOU::skip_line(in);
    mCommand = read_analyser_command(in, {"the analyser file (plug-in path or command)",
                                          "the number of analyser arguments (an unsigned integer)",
                                          "an analyser argument"});
    CheckAnalyzerType();
    std::cout << "Reading " << mCommand.arguments.size() << " arguments:" << std::endl;
    print_analyser_command(mCommand, false);
}

LocalEVAU::~LocalEVAU() {
    // Plug-in analysers are deleted with the unit (their code stays loaded);
    // the external-command analysers are kept, so that their working folders
    // stay on disk for inspection after the run.
    if (mAnalyzerType == 1)
        KeepCommandAnalysers(mAnalysers);
}

void LocalEVAU::CheckProcessors(unsigned ncpu) {
    std::cout << "Local Evaluation" << std::endl;
    std::cout << "NCPU = " << ncpu << std::endl;
    std::cout << "Checking processors." << std::endl;
    // The optimisers check the number where they read it (and that the
    // machine can start the threads); a unit built otherwise must still never
    // ask the OpenMP runtime for more threads than the limit.
    if (ncpu > UTILS::kMaxProcessors)
        UTILS::Stop({"NCPU " + std::to_string(ncpu) + " is more than the limit of " +
                         std::to_string(UTILS::kMaxProcessors) + " processors.",
                     "Program stopped!"});
#pragma omp parallel num_threads(static_cast <int>(ncpu))
    {
#pragma omp critical
        std::cout << "   Processor " << omp_get_thread_num() << " out of " << omp_get_num_threads()
                  << " is checked!" << std::endl;
    }
    mNcpu = static_cast<int>(ncpu);
    mAnalysers.clear();
    mAnalysers.resize(ncpu);
}

void LocalEVAU::CheckAnalyzerType() const {
    if (mAnalyzerType == 0 || mAnalyzerType == 1) {
        NoteAnalyserFiles(mAnalyzerType == 1, mCommand.file);
        return;
    }
    UTILS::Stop({"AnalyzerType " + std::to_string(mAnalyzerType) +
                     " not recognized: expected 0 (plug-in) or 1 (external command).",
                 "Program stopped!"});
}

std::unique_ptr<ADLL> LocalEVAU::LoadDynamicLibrary(const std::string& path, int ndvs, int nobj,
                                                    int nctr) {
    std::cout << "Loading Dynamic Library" << std::endl;
    void* handle = dlopen(path.c_str(), RTLD_LAZY);
    if (handle == nullptr) {
        const char* error = dlerror();
        UTILS::Stop({std::string("dlopen failure: ") + (error ? error : ""), "",
                     "Could not load the shared object " + path, "Program stopped!"});
    }
    std::cout << " >>> Analyser dinamically linked, shared object loaded!" << std::endl;
    std::cout << "     for population" << std::endl;
    dlerror();
    void* symbol = dlsym(handle, "CreateADLL");
    if (symbol == nullptr) {
        const char* error = dlerror();
        UTILS::Stop({std::string("dlsym failure: ") + (error ? error : "symbol CreateADLL is null"),
                     "Could not find CreateADLL in the shared object " + path, "Program stopped!"});
    }
    CreateADLLFunction create = reinterpret_cast<CreateADLLFunction>(symbol);
    std::unique_ptr<ADLL> analyser(create(ndvs, nobj, nctr));
    if (analyser == nullptr)
        UTILS::Stop({"CreateADLL of " + path + " returned no analyser.", "Program stopped!"});
    std::cout << "Done" << std::endl;
    return analyser;
}

void LocalEVAU::Init(unsigned /*popsize*/) {
    std::cout << "LocalEVAU::Init()" << std::endl;
    // A repeated Init replaces the analysers: the external-command ones are
    // kept all the same.
    if (mAnalyzerType == 1)
        KeepCommandAnalysers(mAnalysers);
    if (mNcpu > 0) {
        if (mAnalyzerType == 1) {
            auto command = std::make_unique<SysCallADLL>(mNdvs, mNobj, mNctr, mCommand.file);
            command->SetArguments(mCommand.arguments);
            command->SetTimeout(EffectiveTimeout());
            command->SetEssentialFilesAndFolders(mCommand.essentials);
            mAnalysers[0] = std::move(command);
        } else {
            mAnalysers[0] = LoadDynamicLibrary(mCommand.file, static_cast<int>(mNdvs),
                                               static_cast<int>(mNobj), static_cast<int>(mNctr));
        }
        mAnalysers[0]->Init();
    }
    for (int i = 1; i < mNcpu; ++i) {
        std::unique_ptr<ADLL>& analyser = mAnalysers[static_cast<size_t>(i)];
        if (mAnalyzerType == 1)
            analyser.reset(mAnalysers[0]->Copy());
        else
            analyser = LoadDynamicLibrary(mCommand.file, static_cast<int>(mNdvs),
                                          static_cast<int>(mNobj), static_cast<int>(mNctr));
        analyser->Init();
    }
    std::cout << "Done." << std::endl;
}

void LocalEVAU::Analyse(const INDIVIDUAL& ind, unsigned index, unsigned t,
                        const std::vector<double>& eliteDVs, unsigned nobj, unsigned nctr,
                        EvalResult& result) const {
    const std::vector<double> design = FullDesign(ind, eliteDVs);
    if (Replay(design, index, result)) {
        Record(design, index, result);
        return;
    }
    std::vector<double> full_obj(mNobj, INDIVIDUAL::kWorst);
    result.ctr.assign(nctr, 0.0);
    const auto start = std::chrono::steady_clock::now();
    ADLL& analyser = *mAnalysers[t];
    result.error = RunAnalyser(analyser, design, full_obj, result.ctr);
    if (!result.error.empty())
        return;
    const auto end = std::chrono::steady_clock::now();
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.ended = std::chrono::duration<double>(end.time_since_epoch()).count();
    if (mAnalyzerType == 1) {
        const EvalResult& run = static_cast<const SysCallADLL&>(analyser).LastResult();
        result.outcome = run.outcome;
        result.exit_code = run.exit_code;
        result.problem = run.problem;
        result.where = run.where;
        result.interrupted = run.interrupted;
    }
    result.obj = OwnObjectives(full_obj, nobj);
    ApplyFailurePolicy(result);
    // A command ended because the run was interrupted produced nothing: the
    // design stays unevaluated and is evaluated again when the run resumes.
    result.evaluated = !result.interrupted;
    Record(design, index, result);
}

void LocalEVAU::Commit(INDIVIDUAL& ind, const EvalResult& result, unsigned index,
                       TerminationCriteria* criteria, const std::vector<INDIVIDUAL>* bestfits,
                       WriteData* out) {
    if (result.evaluated) {
        Account(result, index);
        ind.SetEval(result.obj, result.ctr);
        ++mCounts.evaluations;
#pragma omp critical(convergence)
        {
            // The rule may read the record, which evaluations update under
            // this section.
            CheckCriteria(criteria, bestfits);
            if (bestfits != nullptr)
                mEvalConvergence.WriteConvergenceToFile(*bestfits, mCounts.evaluations.load());
        }
    }
    // A design that is still not computed (its evaluation was interrupted)
    // has nothing to record.
    if (ind.IsComputed())
#pragma omp critical(childs_write)
        AppendChild(ind, result.seconds, out);
}

void LocalEVAU::AppendChild(const INDIVIDUAL& ind, double seconds, WriteData* out) {
    if (out == nullptr || !out->GetWriteChilds())
        return;
    PIOU::add_individual_record(mChildRecords, ind, out->GetWriteASCIIFormat());
    if (seconds >= EvaluationDatabase::kSlowEvaluation || mChildRecords.size() >= (1u << 20))
        FlushChildren(out);
}

void LocalEVAU::FlushChildren(WriteData* out) {
    if (out != nullptr && out->GetWriteChilds())
        PIOU::append_records(out->GetChildsFilename(), mChildRecords);
    mChildRecords.clear();
}

void LocalEVAU::AppendChildrenHeader(unsigned nobj, unsigned ndvs, unsigned nctr,
                                     WriteData* out) const {
    if (out == nullptr || !out->GetWriteChilds() || !out->GetWriteASCIIFormat())
        return;
    std::ofstream os(out->GetChildsFilename(), std::ios::app);
    if (os)
        PIOU::out_individual_header(os, nobj, ndvs, nctr, 20);
    os.close();
    if (!os)
        UTILS::WarnCannotWrite(out->GetChildsFilename());
}

bool LocalEVAU::Compute(POPULATION& pop, TerminationCriteria* criteria,
                        const std::vector<int>& /*dvsIds*/, const std::vector<double>& eliteDVs,
                        WriteData* out) {
    const int n = static_cast<int>(pop.GetPopsize());
    const unsigned nobj = pop.GetNobj();
    const unsigned nctr = pop.GetNctr();
    const std::vector<INDIVIDUAL>* bestfits = pop.GetBestfitsPtr();
    const unsigned evaluations_before = mCounts.evaluations.load();

    // The analysers run in parallel, but their results are stored, counted,
    // checked against the stopping rule and appended to the children file in
    // index order ("committed"). A seeded run therefore gives the same results
    // with any number of processors: which designs are evaluated before the
    // rule is met, which of two equal designs enters the best-per-objective
    // record, and the order of the children file no longer depend on which
    // thread finished first. A thread starts a design only within a window of
    // 2 x ncpu designs after the oldest one not yet committed, which bounds the
    // work done past the rule.
    std::vector<EvalResult> results(static_cast<size_t>(n));
    std::vector<char> ready(static_cast<size_t>(n), 0);
    std::atomic<int> next(0);
    std::atomic<bool> failed(false);
    std::string failure;
    unsigned extra = 0;
    const int window = 2 * mNcpu;
    auto stopped = [&]() { return mCriteriaMet.load() || INTU::Requested() || failed.load(); };
    // Fatal conditions are found before or reported after the parallel loop:
    // ending the process while other threads run analysers is not safe.
    for (int i = 0; i < n; ++i)
        static_cast<void>(pop[static_cast<unsigned>(i)]);
#pragma omp parallel for num_threads(mNcpu) schedule(dynamic, 1)
    for (int i = 0; i < n; ++i) {
        while (i >= next.load() + window && !stopped())
            std::this_thread::yield();
        if (stopped())
            continue;
        EvalResult& result = results[static_cast<size_t>(i)];
        const INDIVIDUAL& ind = pop[static_cast<unsigned>(i)];
        if (!ind.IsComputed())
            Analyse(ind, static_cast<unsigned>(i), static_cast<unsigned>(omp_get_thread_num()),
                    eliteDVs, nobj, nctr, result);
#pragma omp critical(term_criteria)
        {
            if (!result.error.empty() && !failed.load()) {
                failure = result.error;
                failed.store(true);
            }
            ready[static_cast<size_t>(i)] = 1;
            int k = next.load();
            for (; !failed.load() && k < n && ready[static_cast<size_t>(k)]; ++k) {
                const EvalResult& done = results[static_cast<size_t>(k)];
                // Past the rule (or an interruption) only real results are
                // stored: the copies of evaluated designs that follow are not
                // part of this batch any more.
                if (mCriteriaMet.load() || INTU::Requested()) {
                    if (!done.evaluated)
                        continue;
                    ++extra;
                }
                Commit(pop[static_cast<unsigned>(k)], done, static_cast<unsigned>(k), criteria,
                       bestfits, out);
            }
            next.store(k);
        }
    }
    if (failed.load()) {
        FlushChildren(out);
        UTILS::Stop({failure, "Program stopped!"});
    }
    // Designs that finished after one that was never started (the rule was
    // met) are stored after the others, in index order: a computed result is
    // never thrown away.
    for (int k = next.load(); k < n; ++k) {
        const EvalResult& done = results[static_cast<size_t>(k)];
        if (ready[static_cast<size_t>(k)] && done.evaluated) {
            ++extra;
            Commit(pop[static_cast<unsigned>(k)], done, static_cast<unsigned>(k), criteria,
                   bestfits, out);
        }
    }
    FlushChildren(out);
    UTILS::CheckWriteFailures();
    if (extra > 0 && mCriteriaMet.load())
        std::cout << "   " << extra
                  << " evaluation(s) running when the stopping rule was met finished; their "
                     "results are stored after the others."
                  << std::endl;
    // A batch that evaluated nothing still asks the rule: a time limit, for
    // one, must end a run that no longer produces new designs.
    if (mCounts.evaluations.load() == evaluations_before)
        CheckCriteria(criteria, bestfits);
    AppendChildrenHeader(nobj, pop.GetNdvs(), nctr, out);
    EndBatch();
    ++mBatch;
    return mCriteriaMet.load();
}

bool LocalEVAU::ComputeInd(INDIVIDUAL& ind, TerminationCriteria* criteria,
                           const std::vector<int>& /*dvsIds*/, const std::vector<double>& eliteDVs,
                           WriteData* out) {
    EvalResult result;
    if (!ind.IsComputed() && !INTU::Requested())
        Analyse(ind, 0, static_cast<unsigned>(omp_get_thread_num()), eliteDVs, ind.GetNobj(),
                ind.GetNctr(), result);
    if (!result.error.empty())
        UTILS::Stop({result.error, "Program stopped!"});
#pragma omp critical(term_criteria)
    {
        Commit(ind, result, 0, criteria, ind.GetBestfitsPtr(), out);
#pragma omp critical(childs_write)
        {
            FlushChildren(out);
            if (ind.IsComputed())
                AppendChildrenHeader(ind.GetNobj(), ind.GetNdvs(), ind.GetNctr(), out);
        }
    }
    UTILS::CheckWriteFailures();
    EndBatch();
    ++mBatch;
    return mCriteriaMet.load();
}
