#ifndef VESK_OPTIM_PSO_H
#define VESK_OPTIM_PSO_H

#include <istream>
#include <vector>

#include "optim/PopulationOptimizer.h"

// The multi-objective particle swarm. It shares the buffer, the parents,
// children and merged populations, the ranking and every result file with the
// evolutionary optimiser; only the way children are made differs: each child
// is the position of a parent moved by a velocity that is pulled toward a
// leader drawn from the non-dominated parents.
class PSO : public PopulationOptimizer {
public:
    // One velocity row per parent position (not per individual: when the
    // parents are re-sorted each position keeps its row). The rows are owned
    // here, so exactly what was allocated is released.
    struct Velocity {
        std::vector<std::vector<double>> rows;

        unsigned GetRows() const { return static_cast<unsigned>(rows.size()); }
        std::vector<double>& operator[](unsigned k) { return rows[k]; }
        const std::vector<double>& operator[](unsigned k) const { return rows[k]; }
    };

    PSO(std::istream& in, unsigned int seed);
    ~PSO() override;

    void Generate() override;
    // Stores the immigrant's variables as elite values of the given global
    // variables and writes those this player owns into the last child.
    void Inmigrate(const INDIVIDUAL& immigrant,
                   const std::vector<unsigned int>& globalDvsIds) override;

    // n rows of zeros, one element per design variable; replaces what vel held.
    void Allocate_MemoryVel(Velocity* vel, int n);
    // Releases the rows and the array. vel owns its rows, so exactly the rows
    // it holds are released whatever count the caller believes it allocated.
    void Deallocate_MemoryVel(Velocity* vel, int n);
    // The swarm step: velocities pulled toward the own position in bests and a
    // leader drawn among the first nleaders of bests, then out = swarm + velocity,
    // reflected at the bounds.
    void PSO_Process(Velocity& velocity, POPULATION& swarm, const POPULATION& bests, int nleaders,
                     POPULATION& out);

    const Velocity& GetVelocity() const { return mVelocity; }
    Velocity& GetVelocity() { return mVelocity; }
    // Number of leaders (non-dominated parents) used by the last Generate.
    unsigned GetLastLeaders() const { return mLastLeaders; }

protected:
    void InternalInitHook(int popsize) override;

private:
    Velocity mVelocity;
    unsigned mLastLeaders;
};

#endif
