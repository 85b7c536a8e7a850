#ifndef VESK_MODEL_PARETOARCHIVE_H
#define VESK_MODEL_PARETOARCHIVE_H

#include <vector>

// The front of a run so far: the non-dominated set of the objective vectors
// of every design offered to it (one copy of duplicates), and its hypervolume
// against a reference point that is fixed once.
//
// Kept cheap for long runs: with two objectives the points are kept sorted by
// the first objective, so an insertion is a binary search plus the removal of
// what the new point dominates; the hypervolume of 2 and 3 objectives is
// recomputed exactly (O(N log N)) only when the front changed. With four
// objectives or more a full recomputation grows much faster than the front,
// so each new point adds its exclusive volume against the points already
// there instead (what it dominates is inside its own volume and needs no
// correction when it leaves).
class ParetoArchive {
public:
    explicit ParetoArchive(unsigned nobj = 0);

    // Offers one objective vector (of nobj values, finite; the caller filters
    // failed and infeasible designs). True when it joined the front.
    bool Insert(const std::vector<double>& point);

    // Fixes the reference point (nobj values) and computes the hypervolume of
    // the points held so far.
    void SetReference(const std::vector<double>& ref);
    bool HasReference() const { return !mRef.empty(); }
    const std::vector<double>& GetReference() const { return mRef; }

    // Hypervolume of the front against the reference (0 without one). Never
    // below a value returned earlier: the true value can only grow as points
    // join, and rounding must not make a curve of it step down.
    double Hypervolume();

    unsigned GetNobj() const { return mNobj; }
    unsigned Size() const { return mNobj == 0 ? 0 : static_cast<unsigned>(mValues.size() / mNobj); }
    // The points, one vector each (a copy).
    std::vector<std::vector<double>> Points() const;
    // The points one after the other, nobj values each.
    const std::vector<double>& Values() const { return mValues; }

private:
    bool InsertSorted2(const std::vector<double>& point);
    bool InsertScan(const std::vector<double>& point);

    unsigned mNobj;
    std::vector<double> mValues;
    std::vector<double> mRef;
    double mHypervolume;
    bool mStale;
};

#endif
