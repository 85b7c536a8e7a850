#ifndef VESK_OPTIM_OPTIMIZATIONALGORITHM_H
#define VESK_OPTIM_OPTIMIZATIONALGORITHM_H

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/EvalResult.h"
#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "output/ConvergenceWriteManager.h"

class EVAU;
class TerminationCriteria;
class WriteData;

// Where a run stands, for the one-line progress report.
struct RunProgress {
    unsigned iteration = 0;
    unsigned evaluations = 0;
    unsigned budget = 0; // 0: the stopping rule is not a budget of evaluations
    unsigned failed = 0;
    unsigned timed_out = 0;
    double elapsed = 0.0;
    bool has_front = false;
    unsigned front_size = 0;
    double hypervolume = 0.0;
};

// Base of every optimiser: dimensions, the children population handed to
// evaluation, the evaluation unit, the stopping rule, the best-per-objective
// record, the run loop, and the bookkeeping of a game player.
class OptimizationAlgorithm {
public:
    explicit OptimizationAlgorithm(std::istream& in);
    explicit OptimizationAlgorithm(const nlohmann::json& block);
    OptimizationAlgorithm(const OptimizationAlgorithm&) = delete;
    OptimizationAlgorithm& operator=(const OptimizationAlgorithm&) = delete;
    virtual ~OptimizationAlgorithm();

    virtual void Run(double& elapsed, long& start_time);
    virtual void Initialize() = 0;
    virtual void Generate() = 0;
    virtual void PostProcessInds() = 0;
    virtual void PostProcessOpt() = 0;
    virtual void SetWriteData(WriteData data) = 0;
    virtual void Inmigrate(const INDIVIDUAL& immigrant, const std::vector<unsigned>& ids);
    virtual void PrintReportIter();
    // Progress of a multi-objective run at a glance: the size of the front of
    // the designs evaluated so far and its hypervolume. False (values left as
    // they are) for optimisers that keep no such front.
    virtual bool FrontProgress(unsigned& front_size, double& hypervolume) const {
        static_cast<void>(front_size);
        static_cast<void>(hypervolume);
        return false;
    }

    // The steps of a run. Run strings them together; the game driver and the
    // tests drive them one by one, so that every road goes through the same
    // code.
    // Checks that the result files can be written, prepares the evaluation
    // unit and the children file, evaluates the initial designs and writes
    // the first convergence line.
    void StartRun(bool announce = true);
    // The first half of an iteration: counts it and generates the children.
    void BeginIteration();
    // Evaluates the children; returns how many evaluations that took. The
    // run is done once the stopping rule is met or the run is interrupted.
    unsigned EvaluateBatch();
    // The second half: post-processes the evaluated children and writes the
    // convergence line.
    void EndIteration();
    // A whole iteration of a single optimiser: BeginIteration, and unless the
    // optimiser finished in Generate, EvaluateBatch and EndIteration; a run
    // that made no new design for kMaxIdleBatches iterations in a row ends.
    void Step();
    // Prints the report block when its interval has come round: before and
    // after go before and after the elapsed-time line.
    void ReportIfDue(double& elapsed, long start_time, const std::string& before,
                     const std::string& after, const RunProgress& progress);
    // This optimiser's own progress (its evaluations and stopping rule).
    RunProgress Progress() const;
    EvaluationCounts GetEvaluationCounts() const;
    // Iterations in a row that evaluated nothing after which a run ends: its
    // optimiser no longer makes new designs (crossover and mutation off, every
    // variable fixed, a swarm at rest).
    static constexpr unsigned kMaxIdleBatches = 100;

    bool Compute();
    bool ComputeInd(INDIVIDUAL& ind);
    void InitEVAU();
    void InitializeChildsFile() const;
    void WriteConvergenceGenFile();
    void CalcGlobalIds();
    void SetActiveGame(const std::vector<int>& dvs_map, const std::vector<int>& obj_map,
                       unsigned global_ndvs, unsigned prefix_index);
    void SetTerminationCriteria(const TerminationCriteria& criteria);
    const TerminationCriteria* GetTerminationCriteria() const { return mCriteria.get(); }
    // A resumed run: the stopping rule counts the time of the earlier runs.
    void CountEarlierRunTime(double seconds);

    void SetEliteDVs(std::vector<double> elite);
    void SetEliteDVs(unsigned i, double v);
    const std::vector<double>& GetEliteDVs() const { return mEliteDVs; }
    double GetEliteDVs(unsigned i) const;
    std::vector<unsigned> GetGlobalDVsIds() const { return mGlobalDVsIds; }
    std::vector<unsigned> GetGlobalOBjIds() const { return mGlobalOBjIds; }
    int GetGlobalDVsIds(unsigned i) const { return static_cast<int>(mGlobalDVsIds[i]); }
    int GetGlobalOBjIds(unsigned i) const { return static_cast<int>(mGlobalOBjIds[i]); }
    const std::vector<int>& GetDVsIds() const { return mDVsIds; }
    const std::vector<int>& GetOBjIds() const { return mOBjIds; }

    INDIVIDUAL GetBestfits(unsigned j) const { return bestfits[j]; }
    const std::vector<INDIVIDUAL>& GetBestfitsRecord() const { return bestfits; }
    std::vector<INDIVIDUAL>* GetBestfitsPtr() { return &bestfits; }
    unsigned GetObjEvals() const;
    POPULATION* GetChilds() { return &mChilds; }
    const POPULATION* GetChilds() const { return &mChilds; }
    EVAU* GetEVAU() const { return mEvau.get(); }
    WriteData* GetWriteData() const { return mWriteData; }

    void IncrIter();
    unsigned GetIter() const { return iter; }
    bool IsDone() const { return done; }
    bool IsActiveGame() const { return mActiveGame != 0; }
    unsigned GetNdvs() const { return ndvs; }
    unsigned GetNobj() const { return nobj; }
    unsigned GetNctr() const { return nctr; }
    void SetNdvs(unsigned n) { ndvs = n; }
    void SetNobj(unsigned n) { nobj = n; }
    void SetNctr(unsigned n) { nctr = n; }

protected:
    void SetDone(bool d) { done = d; }
    void SetWriteDataPtr(WriteData* data) { mWriteData = data; }
    // Stops the run with a clear message when no evaluation unit was built.
    void RequireEVAU() const;
    // The report's first lines: "<title>:", then the header and the line of
    // the best-per-objective record, counted in counter (its column title).
    void PrintBestfits(const std::string& title, const std::string& counter) const;

    WriteData* mWriteData;
    POPULATION mChilds;
    std::unique_ptr<EVAU> mEvau;
    std::unique_ptr<TerminationCriteria> mCriteria;
    std::vector<INDIVIDUAL> bestfits;
    bool done;
    uint32_t iter;
    uint32_t ndvs;
    uint32_t nobj;
    uint32_t nctr;
    int32_t mActiveGame;
    std::vector<int> mDVsIds;
    std::vector<int> mOBjIds;
    std::vector<double> mEliteDVs;
    std::vector<unsigned> mGlobalDVsIds;
    std::vector<unsigned> mGlobalOBjIds;
    ConvergenceWriteManager mGenConvergence;
    // Iterations in a row that evaluated nothing.
    unsigned mIdleBatches = 0;

private:
    void InitCommon();
    // Empty when the counts ndvs, nobj and nctr are within the limits,
    // otherwise why they are not.
    std::string CountsProblem() const;
    // Stops the run when ncpu is more than the limit or than the machine can
    // start threads at once; the message begins with place, which names the
    // file and line or the key ("input.QERN, line 7: NCPU ").
    static void CheckProcessors(unsigned ncpu, const std::string& place);
};

#endif
