#include "model/NDSU.h"

#include <cmath>

#include "model/POPULATION.h"
#include "model/UTILS.h"

namespace NDSU {

namespace {
const INDIVIDUAL& Deref(const std::shared_ptr<INDIVIDUAL>& p) {
    if (!p)
        UTILS::Stop({"Trying to acces to an individual not allocated.", "Program stopped!"});
    return *p;
}

} // namespace

int dominance(const INDIVIDUAL& a, const INDIVIDUAL& b) {
    const double va = a.GetCtrViolation();
    const double vb = b.GetCtrViolation();
    if (va < 0 && vb != 0) {
        if (va > vb)
            return 1;
        if (vb > va)
            return -1;
        return 0;
    }
    if (va < 0 && vb >= 0)
        return -1;
    if (va >= 0 && vb < 0)
        return 1;
    bool smaller = false;
    bool larger = false;
    const unsigned nobj = a.GetNobj();
    for (unsigned i = 0; i < nobj; ++i) {
        if (a.GetObj(i) < b.GetObj(i))
            smaller = true;
        else if (a.GetObj(i) > b.GetObj(i))
            larger = true;
    }
    if (smaller && !larger)
        return 1;
    if (larger && !smaller)
        return -1;
    return 0;
}

bool tournament(const INDIVIDUAL& a, const INDIVIDUAL& b) {
    if (a.rank != b.rank)
        return a.rank < b.rank;
    return a.crowd_distance > b.crowd_distance;
}

bool compare_fobj::operator()(unsigned int i, unsigned int j) const {
    return less_nan_last((*pop)[i].GetObj(k), (*pop)[j].GetObj(k));
}

bool compare_fobj::operator()(const std::shared_ptr<INDIVIDUAL>& p,
                              const std::shared_ptr<INDIVIDUAL>& q) const {
    return less_nan_last(Deref(p).GetObj(k), Deref(q).GetObj(k));
}

bool compare_crowd_distance::operator()(const std::shared_ptr<INDIVIDUAL>& p,
                                        const std::shared_ptr<INDIVIDUAL>& q) const {
    const INDIVIDUAL& a = Deref(p);
    const INDIVIDUAL& b = Deref(q);
    if (a.rank != b.rank)
        return a.rank < b.rank;
    return greater_nan_last(a.crowd_distance, b.crowd_distance);
}

void assign_rank_crowd_distance(POPULATION& pop) {
    pop.AssignRank(4294967295u);
    pop.ResetCrowdDistance();
    const unsigned nobj = pop.GetNobj();
    const unsigned nfronts = pop.GetNumParetoSets();
    for (unsigned r = 0; r < nfronts; ++r) {
        const unsigned size = static_cast<unsigned>(pop.GetParetoSet(r).size());
        if (size == 0)
            continue;
        for (unsigned k = 0; k < nobj; ++k) {
            pop.SortByRankFobjIndex(r, k);
            const std::vector<unsigned int>& front = pop.GetParetoSet(r);
            pop[front[0]].crowd_distance += 100000000000000.0;
            if (size == 1)
                continue;
            const double range = pop[front[size - 1]].GetObj(k) - pop[front[0]].GetObj(k);
            if (range == 0.0)
                continue;
            pop[front[size - 1]].crowd_distance += 100000000000000.0;
            for (unsigned p = 1; p + 1 < size; ++p)
                pop[front[p]].crowd_distance +=
                    (pop[front[p + 1]].GetObj(k) - pop[front[p - 1]].GetObj(k)) * (1.0 / range);
        }
    }
}

} // namespace NDSU
