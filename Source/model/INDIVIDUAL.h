#ifndef VESK_MODEL_INDIVIDUAL_H
#define VESK_MODEL_INDIVIDUAL_H

#include <cstdint>
#include <limits>
#include <vector>

// One candidate design: design variables, the analyser's objectives and
// constraints, the derived constraint violation, the computed flag and the two
// quantities written by Pareto ranking. All objectives are minimised.
class INDIVIDUAL {
public:
    static constexpr double kWorst = std::numeric_limits<double>::max();

    INDIVIDUAL(int ndvs, int nobj, int nctr, std::vector<INDIVIDUAL>* bestfits);
    INDIVIDUAL(const INDIVIDUAL&) = default;
    INDIVIDUAL& operator=(const INDIVIDUAL&) = default;
    virtual ~INDIVIDUAL() = default;

    const std::vector<double>& GetDvs() const { return dvs; }
    const std::vector<double>& GetObj() const { return obj; }
    const std::vector<double>& GetCtr() const { return ctr; }
    double GetDvs(unsigned i) const { return dvs[i]; }
    double GetObj(unsigned i) const { return obj[i]; }
    double GetCtr(unsigned i) const { return ctr[i]; }
    unsigned GetNdvs() const { return static_cast<unsigned>(dvs.size()); }
    unsigned GetNobj() const { return static_cast<unsigned>(obj.size()); }
    unsigned GetNctr() const { return static_cast<unsigned>(ctr.size()); }
    double GetCtrViolation() const { return ctr_violation; }
    bool IsComputed() const { return computed; }
    std::vector<INDIVIDUAL>* GetBestfitsPtr() const { return bestfits; }

    void SetBestfitsPtr(std::vector<INDIVIDUAL>* p) { bestfits = p; }
    // Changing a value clears the computed flag; writing the same value keeps it.
    // Inline, since the genetic operators set every variable of every child.
    void SetDv(unsigned i, double x) {
        if (i >= dvs.size())
            StopDvOutOfRange();
        // "!=" is true for NaN on either side, so a NaN always counts as a change.
        if (dvs[i] != x) {
            dvs[i] = x;
            computed = false;
        }
    }
    void SetDvs(const std::vector<double>& v);
    void SetCtr(const std::vector<double>& c);
    // Stores the objectives and, for a feasible individual, updates the
    // best-per-objective record under the "convergence" critical section.
    void SetObj(const std::vector<double>& o);
    // Constraints first (so the record update sees the new violation), then
    // objectives; marks the individual computed.
    void SetEval(const std::vector<double>& o, const std::vector<double>& c);

    uint32_t rank;
    double crowd_distance;

private:
    [[noreturn]] static void StopDvOutOfRange();

    bool computed;
    double ctr_violation;
    std::vector<INDIVIDUAL>* bestfits;
    std::vector<double> dvs;
    std::vector<double> obj;
    std::vector<double> ctr;
};

#endif
