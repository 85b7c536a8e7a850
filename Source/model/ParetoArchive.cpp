#include "model/ParetoArchive.h"

#include <algorithm>

#include "model/HYVU.h"

namespace {
bool weakly_dominates(const double* a, const double* b, unsigned d) {
    for (unsigned i = 0; i < d; ++i)
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
    const size_t n = Size();
    size_t lo = 0, hi = n; // first point whose first objective is not below point's
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (mValues[2 * mid] < point[0])
            lo = mid + 1;
        else
            hi = mid;
    }
    const size_t pos = lo;
    if (pos < n && mValues[2 * pos] == point[0] && mValues[2 * pos + 1] <= point[1])
        return false;
    if (pos > 0 && mValues[2 * pos - 1] <= point[1])
        return false;
    size_t end = pos;
    while (end < n && mValues[2 * end + 1] >= point[1])
        ++end;
    const auto at = mValues.erase(mValues.begin() + static_cast<long>(2 * pos),
                                  mValues.begin() + static_cast<long>(2 * end));
    mValues.insert(at, point.begin(), point.end());
    return true;
}

bool ParetoArchive::InsertScan(const std::vector<double>& point) {
    const unsigned d = mNobj;
    const size_t n = Size();
    const double* p = point.data();
    for (size_t k = 0; k < n; ++k)
        if (weakly_dominates(&mValues[k * d], p, d))
            return false;
    if (HasReference() && d >= 4) {
        // Against the front as it stands, the points about to leave included:
        // their volume lies inside the new point's, so the sum stays exact.
        mHypervolume += HYVU::exclusive_hypervolume(point, mValues, mRef);
    }
    size_t kept = 0;
    for (size_t k = 0; k < n; ++k) {
        if (weakly_dominates(p, &mValues[k * d], d))
            continue;
        if (kept != k)
            std::copy_n(&mValues[k * d], d, &mValues[kept * d]);
        ++kept;
    }
    mValues.resize(kept * d);
    mValues.insert(mValues.end(), point.begin(), point.end());
    return true;
}

std::vector<std::vector<double>> ParetoArchive::Points() const {
    std::vector<std::vector<double>> points;
    points.reserve(Size());
    for (size_t k = 0; k + mNobj <= mValues.size(); k += mNobj)
        points.emplace_back(mValues.begin() + static_cast<long>(k),
                            mValues.begin() + static_cast<long>(k + mNobj));
    return points;
}

void ParetoArchive::SetReference(const std::vector<double>& ref) {
    mRef = ref;
    mHypervolume = HYVU::hypervolume_flat(mValues, mRef);
    mStale = false;
}

double ParetoArchive::Hypervolume() {
    if (mStale && HasReference() && mNobj < 4) {
        mHypervolume = std::max(mHypervolume, HYVU::hypervolume_flat(mValues, mRef));
        mStale = false;
    }
    return mHypervolume;
}
