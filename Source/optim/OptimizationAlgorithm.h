#ifndef VESK_OPTIM_OPTIMIZATIONALGORITHM_H
#define VESK_OPTIM_OPTIMIZATIONALGORITHM_H

#include <cstdint>
#include <istream>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "output/ConvergenceWriteManager.h"

class EVAU;
class TerminationCriteria;
class WriteData;

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

    bool Compute();
    bool ComputeInd(INDIVIDUAL& ind);
    void InitEVAU();
    void InitializeChildsFile() const;
    void WriteConvergenceGenFile();
    void CalcGlobalIds();
    void SetActiveGame(const std::vector<int>& dvs_map, const std::vector<int>& obj_map,
                       unsigned global_ndvs, unsigned prefix_index);
    void SetTerminationCriteria(const TerminationCriteria& criteria);
    const TerminationCriteria* GetTerminationCriteria() const { return mCriteria; }

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
    EVAU* GetEVAU() const { return mEvau; }
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

    WriteData* mWriteData;
    POPULATION mChilds;
    EVAU* mEvau;
    TerminationCriteria* mCriteria;
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

private:
    void InitCommon();
};

#endif
