#include "optim/PSO.h"

#include <string>

#include "model/UTILS.h"

namespace {
[[noreturn]] void StopNotAllocated() {
    UTILS::Stop({"Trying to acces to an individual not allocated.", "Program stopped!"});
}

// Every slot of the first n members of pop must hold an individual.
void CheckSlots(const POPULATION& pop, unsigned n) {
    if (pop.GetPopsize() < n)
        StopNotAllocated();
    for (unsigned k = 0; k < n; ++k)
        if (!pop.GetIndsPtrs(k))
            StopNotAllocated();
}
} // namespace

PSO::PSO(std::istream& in, unsigned int seed)
    : PopulationOptimizer(in, seed, {"PSO created.", "> Starting PSO", "PSO::PostProcessOpt():"}),
      mLastLeaders(0) {
    ReadLegacyBlock(in, "PSO");
}

PSO::~PSO() {
    Deallocate_MemoryVel(&mVelocity, static_cast<int>(mChilds.GetPopsize()));
}

void PSO::InternalInitHook(int popsize) {
    Allocate_MemoryVel(&mVelocity, popsize);
}

void PSO::Allocate_MemoryVel(Velocity* vel, int n) {
    if (n < 0)
        UTILS::Stop(
            {"PSO::Allocate_MemoryVel: cannot allocate " + std::to_string(n) + " velocity rows.",
             "Program stopped!"});
    vel->rows.assign(static_cast<size_t>(n), std::vector<double>(ndvs, 0.0));
}

void PSO::Deallocate_MemoryVel(Velocity* vel, int n) {
    static_cast<void>(n);
    std::vector<std::vector<double>>().swap(vel->rows);
}

void PSO::Generate() {
    POPULATION leaders = mParents.ParetoPop(true);
    // Taking the front hands its members out as a sub-population, which
    // unlinks them from the best-per-objective record. The same individuals are
    // recycled as children, so they are linked again here: otherwise their
    // later evaluations would no longer reach the record (convergence files,
    // best-fit file, stopping rules and game migration).
    mParents.SetBestfitsPtrToInds(&bestfits);
    mChilds.SetBestfitsPtrToInds(&bestfits);
    mLastLeaders = leaders.GetPopsize();
    PSO_Process(mVelocity, mParents, mParents, static_cast<int>(mLastLeaders), mChilds);
}

void PSO::PSO_Process(Velocity& velocity, POPULATION& swarm, const POPULATION& bests, int nleaders,
                      POPULATION& out) {
    const unsigned n = swarm.GetPopsize();
    const unsigned d = ndvs;
    // Everything is checked before anything changes, so a bad call leaves the
    // swarm and the velocities as they were.
    CheckSlots(swarm, n);
    CheckSlots(bests, n);
    CheckSlots(out, n);
    if (nleaders > static_cast<int>(n))
        nleaders = static_cast<int>(n);
    if (velocity.GetRows() < n)
        UTILS::Stop({"PSO::PSO_Process: the swarm has " + std::to_string(n) +
                         " particles but only " + std::to_string(velocity.GetRows()) +
                         " velocity rows.",
                     "Program stopped!"});
    for (unsigned k = 0; k < n; ++k)
        if (velocity[k].size() < d || swarm[k].GetNdvs() < d || bests[k].GetNdvs() < d ||
            out[k].GetNdvs() < d)
            UTILS::Stop({"PSO::PSO_Process: particle " + std::to_string(k) + " has fewer than " +
                             std::to_string(d) + " design variables.",
                         "Program stopped!"});

    for (unsigned k = 0; k < n; ++k) {
        // The upper bound of RndInt is exclusive: the last leader is never
        // drawn, and with one leader or none nothing is drawn at all.
        const int g = mRanu.RndInt(0, nleaders - 1);
        const std::vector<double>& x = swarm[k].GetDvs();
        const std::vector<double>& p = bests[k].GetDvs();
        const std::vector<double>& leader = bests[static_cast<unsigned>(g)].GetDvs();
        std::vector<double>& v = velocity[k];
        for (unsigned l = 0; l < d; ++l) {
            const double r1 = mRanu.RandomNum();
            const double r2 = mRanu.RandomNum();
            v[l] = ((p[l] - x[l]) * r1 + 0.4 * v[l]) + (leader[l] - x[l]) * r2;
        }
    }

    for (unsigned j = 0; j < n; ++j) {
        const INDIVIDUAL& particle = swarm[j];
        INDIVIDUAL& child = out[j];
        std::vector<double>& v = velocity[j];
        for (unsigned i = 0; i < d; ++i) {
            double value = particle.GetDvs(i) + v[i];
            // Reflection reverses the direction only, not the size.
            if (mLower[i] > value) {
                value = mLower[i];
                v[i] = -v[i];
            }
            if (value > mUpper[i]) {
                value = mUpper[i];
                v[i] = -v[i];
            }
            child.SetDv(i, value);
        }
    }
}

void PSO::Inmigrate(const INDIVIDUAL& immigrant, const std::vector<unsigned int>& globalDvsIds) {
    for (unsigned i = 0; i < globalDvsIds.size(); ++i) {
        const unsigned id = globalDvsIds[i];
        SetEliteDVs(id, immigrant.GetDvs(i));
        for (unsigned j = 0; j < GetNdvs(); ++j) {
            if (static_cast<unsigned>(GetGlobalDVsIds(j)) != id)
                continue;
            if (mChilds.GetPopsize() == 0 || !mChilds.GetIndsPtrs(mChilds.GetPopsize() - 1))
                StopNotAllocated();
            mChilds.back().SetDv(j, GetEliteDVs(id));
        }
    }
}
