#include "model/ParetoArchive.h"

#include <algorithm>

#include "model/HYVU.h"

namespace {
bool weakly_dominates(const std::vector<double>& a, const std::vector<double>& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] > b[i])
            return false;
    return true;
}
} // namespace

ParetoArchive::ParetoArchive(unsigned nobj) : mNobj(nobj), mHypervolume(0.0), mStale(false) {}

bool ParetoArchive::Insert(const std::vector<double>& point) {
    if (point.size() != mNobj || mNobj == 0)
        return false;
    const bool joined = mNobj == 2 ? InsertSorted2(point) : InsertScan(point);
    if (joined)
        mStale = true;
    return joined;
}

// Sorted by the first objective, the second strictly decreases. The new point
// is dominated exactly when the last point not after it in the first
// objective is at least as good in the second; otherwise it removes the run of
// points from its position on that are no better in the second.
bool ParetoArchive::InsertSorted2(const std::vector<double>& point) {
    auto first_not_less = std::lower_bound(
        mPoints.begin(), mPoints.end(), point,
        [](const std::vector<double>& a, const std::vector<double>& b) { return a[0] < b[0]; });
    auto pos = first_not_less;
    if (pos != mPoints.end() && (*pos)[0] == point[0] && (*pos)[1] <= point[1])
        return false;
    if (pos != mPoints.begin() && (*std::prev(pos))[1] <= point[1])
        return false;
    auto end = pos;
    while (end != mPoints.end() && (*end)[1] >= point[1])
        ++end;
    pos = mPoints.erase(pos, end);
    mPoints.insert(pos, point);
    return true;
}

bool ParetoArchive::InsertScan(const std::vector<double>& point) {
    for (const auto& q : mPoints)
        if (weakly_dominates(q, point))
            return false;
    if (HasReference() && mNobj >= 4) {
        // Against the front as it stands, the points about to leave included:
        // their volume lies inside the new point's, so the sum stays exact.
        mHypervolume += HYVU::exclusive_hypervolume(point, mPoints, mRef);
    }
    mPoints.erase(
        std::remove_if(mPoints.begin(), mPoints.end(),
                       [&](const std::vector<double>& q) { return weakly_dominates(point, q); }),
        mPoints.end());
    mPoints.push_back(point);
    return true;
}

void ParetoArchive::SetReference(const std::vector<double>& ref) {
    mRef = ref;
    mHypervolume = HYVU::hypervolume(mPoints, mRef);
    mStale = false;
}

double ParetoArchive::Hypervolume() {
    if (mStale && HasReference() && mNobj < 4) {
        mHypervolume = std::max(mHypervolume, HYVU::hypervolume(mPoints, mRef));
        mStale = false;
    }
    return mHypervolume;
}
