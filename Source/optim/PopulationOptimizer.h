#ifndef VESK_OPTIM_POPULATIONOPTIMIZER_H
#define VESK_OPTIM_POPULATIONOPTIMIZER_H

#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/POPULATION.h"
#include "model/ParetoArchive.h"
#include "model/RANU.h"
#include "optim/OptimizationAlgorithm.h"
#include "output/HypervolumeWriteManager.h"
#include "output/WriteDataEA.h"

// What the evolutionary optimiser and the particle swarm share: the initial
// buffer, the parents/children/merged populations, ranking and selection of
// the next parents, the Pareto history, the result files and the final
// post-processing. The derived classes supply Generate (how children are bred)
// and Inmigrate (how a game immigrant is received).
class PopulationOptimizer : public OptimizationAlgorithm {
public:
    ~PopulationOptimizer() override = default;

    void Initialize() override;
    void PostProcessInds() override;
    void PostProcessOpt() override;
    void SetWriteData(WriteData data) override;
    // Size of the front of every feasible design evaluated so far, and its
    // hypervolume (0 until a reference point is known).
    bool FrontProgress(unsigned& front_size, double& hypervolume) const override;

    void InternalInit(const std::string& name, int popsize, const std::vector<double>& lower,
                      const std::vector<double>& upper, const std::vector<double>& step, double pc,
                      double pm);
    void InitBufferRand(unsigned int bufsize);
    unsigned DvsBufferFile(const std::string& file);
    unsigned FittedBufferFile(const std::string& file);
    void SelectParentsFromBuffer();
    void FillParentsAndChilds();
    void AssignAndSortByRankAndCrowdDistance();
    // Rebuilds the Pareto history from all evaluated designs (buffer first, then
    // one block of popsize per generation) and writes the last front; returns it.
    POPULATION post_process_c_pop(POPULATION& all, unsigned int popsize, unsigned int bufsize);
    void post_process_baseline(const POPULATION& front);

    unsigned GetBufsize() const { return mBufsize; }
    const POPULATION& GetLamu() const { return mLamu; }
    const POPULATION& GetParents() const { return mParents; }
    const POPULATION& GetParetoHistory() const { return mParetoHistory; }
    const WriteDataEA& GetWriteDataEA() const { return mWriteDataEA; }
    const ParetoArchive& GetFront() const { return mFront; }
    // The reference point of the hypervolume (empty until it is known).
    const std::vector<double>& GetHypervolumeReference() const { return mFront.GetReference(); }
    RANU& GetRANU() { return mRanu; }
    const std::vector<double>& GetLowerBounds() const { return mLower; }
    const std::vector<double>& GetUpperBounds() const { return mUpper; }
    const std::vector<double>& GetSteps() const { return mSteps; }
    double GetPc() const { return mPc; }
    double GetPm() const { return mPm; }

protected:
    // The messages that name the optimiser.
    struct Wording {
        const char* created;  // "LAMBDAMU created."
        const char* starting; // "> Starting LAMBDAMU"
        const char* post_opt; // "LAMBDAMU::PostProcessOpt():"
    };
    PopulationOptimizer(std::istream& in, unsigned seed, const Wording& wording);
    // Only the evolutionary optimiser is built from the JSON configuration.
    explicit PopulationOptimizer(const nlohmann::json& block);

    // Reads the legacy block (population size, buffer, probabilities, steps
    // and bounds), then sets up the populations and fills the buffer.
    void ReadLegacyBlock(std::istream& in, const std::string& name);
    // Where the settings were read ("input.QERN, line 12" or "input.jsn: key
    // ..."), for messages about them; empty when they came from code.
    struct Places {
        std::string popsize, popinit, bufsize, pc, pm, step, lower, upper;
    };
    static bool KnownBufferMode(int popinit);
    static std::string BufferModeProblem(int popinit);
    // "<place>: <problem>", or the problem alone when the place is not known.
    static std::string Place(const std::string& place, const std::string& problem);
    // Stops the run when a random buffer of bufsize designs is beyond the
    // limits or smaller than the population.
    void CheckBufferSize(int popsize, unsigned bufsize) const;
    // Stops the run unless popsize is even, greater than 0 and within the
    // limits.
    void CheckPopulationSize(int popsize) const;
    // Stops the run when the stopping rule of the JSON block has an unknown
    // code, targets or counts not one per objective, or a negative time.
    void CheckJsonStoppingRule(const nlohmann::json& rule, const std::string& where) const;
    // Stops the run when a member of the buffer read from file lies outside
    // the bounds, naming the file, the line and the variable.
    void CheckBufferBounds(const POPULATION& read, const std::string& file,
                           bool population_file) const;
    void FillBuffer(int popinit, unsigned bufsize, const std::string& file);
    // Called at the end of InternalInit, once the populations exist, for what a
    // derived optimiser sizes by the population (the swarm's velocity rows).
    virtual void InternalInitHook(int popsize) { static_cast<void>(popsize); }
    // Replaces the Pareto history by the front of its designs (no repeats),
    // sorted by the first objective; the history keeps its name.
    void ReduceParetoHistory(POPULATION& history);

    // The hypervolume of the run's front. The reference point given on the
    // command line (which wins) or in input.jsn, checked against the number of
    // objectives before anything is evaluated; in a game it is given in the
    // game's objectives and each player takes its own. Empty when none.
    std::vector<double> GivenHypervolumeReference(std::string& origin) const;
    // After the buffer: offers it to the front, fixes the reference point
    // (given, else derived from the buffer's feasible designs), announces it
    // and starts the hypervolume file with the line of generation 0.
    void StartHypervolume();
    // After each generation: offers the children, derives the point from them
    // if the buffer had no feasible design, and appends the generation's line.
    void UpdateHypervolume();
    // Offers the feasible, computed, successfully evaluated members of pop;
    // returns their objective vectors.
    std::vector<std::vector<double>> OfferToFront(const POPULATION& pop);
    // Fixes the point and announces it; returns the line printed.
    std::string FixHypervolumeReference(const std::vector<double>& ref, const std::string& origin);

    Wording mWording;
    Places mPlaces;
    std::vector<double> mSteps;
    std::vector<double> mLower;
    std::vector<double> mUpper;
    unsigned mBufsize;
    double mPc;
    double mPm;
    POPULATION mParents;
    POPULATION mLamu;
    POPULATION mParetoHistory;
    RANU mRanu;
    WriteDataEA mWriteDataEA;
    bool mImmigrantPending;
    // "hv_ref" of the JSON block (empty when absent).
    std::vector<double> mHvRefConfig;
    ParetoArchive mFront;
    double mHypervolume;
    HypervolumeWriteManager mHypervolumeFile;
};

#endif
