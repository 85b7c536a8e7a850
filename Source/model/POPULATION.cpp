#include "model/POPULATION.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>

#include "model/NDSU.h"
#include "model/RANU.h"
#include "model/UTILS.h"
#include "output/PIOU.h"

namespace {
[[noreturn]] void StopNotAllocated() {
    UTILS::Stop({"Trying to acces to an individual not allocated.", "Program stopped!"});
}

double Distance(const INDIVIDUAL& a, const INDIVIDUAL& b, unsigned nobj) {
    double sum = 0.0;
    for (unsigned k = 0; k < nobj; ++k) {
        const double d = a.GetObj(k) - b.GetObj(k);
        sum += d * d;
    }
    return std::sqrt(sum);
}
} // namespace

POPULATION::POPULATION() : POPULATION("Not named") {}

POPULATION::POPULATION(const std::string& name_)
    : bestfits(nullptr), name(name_), ndvs(0), nobj(0), nctr(0) {}

POPULATION::POPULATION(const std::string& name_, int ndvs_, int nobj_, int nctr_, int popsize,
                       bool allocate)
    : POPULATION(name_) {
    InitPop(name_, ndvs_, nobj_, nctr_, popsize, allocate);
}

void POPULATION::InitPop(const std::string& name_, int ndvs_, int nobj_, int nctr_, int popsize,
                         bool allocate) {
    name = name_;
    ndvs = ndvs_;
    nobj = nobj_;
    nctr = nctr_;
    bestfits = nullptr;
    individuals.resize(static_cast<size_t>(popsize > 0 ? popsize : 0));
    if (allocate)
        AllocateInds(0);
}

void POPULATION::AllocateInds(unsigned first) {
    for (size_t i = first; i < individuals.size(); ++i)
        individuals[i] = std::make_shared<INDIVIDUAL>(ndvs, nobj, nctr, bestfits);
}

void POPULATION::Resize(unsigned n, bool allocate) {
    const unsigned old = GetPopsize();
    individuals.resize(n);
    if (n > old && allocate)
        AllocateInds(old);
}

void POPULATION::RandomInit(std::vector<double> lower, std::vector<double> upper,
                            std::vector<double> step, RANU& ranu) {
    std::vector<double> x(static_cast<size_t>(ndvs), 0.0);
    for (unsigned i = 0; i < GetPopsize(); ++i) {
        for (size_t j = 0; j < x.size(); ++j)
            x[j] = step[j] != 0.0 ? ranu.Rnd(lower[j], upper[j], step[j])
                                  : ranu.Rnd(lower[j], upper[j]);
        (*this)[i].SetDvs(x);
    }
}

INDIVIDUAL& POPULATION::operator[](unsigned i) {
    if (!individuals[i])
        StopNotAllocated();
    return *individuals[i];
}

const INDIVIDUAL& POPULATION::operator[](unsigned i) const {
    if (!individuals[i])
        StopNotAllocated();
    return *individuals[i];
}

std::vector<std::vector<double>> POPULATION::GetObj() const {
    return Columns(GetNobj(), &INDIVIDUAL::GetObj);
}

std::vector<std::vector<double>> POPULATION::GetDvs() const {
    return Columns(GetNdvs(), &INDIVIDUAL::GetDvs);
}

std::vector<std::vector<double>>
POPULATION::Columns(unsigned n, double (INDIVIDUAL::*value)(unsigned) const) const {
    std::vector<std::vector<double>> m(n, std::vector<double>(GetPopsize()));
    for (unsigned i = 0; i < GetPopsize(); ++i)
        for (unsigned k = 0; k < n; ++k)
            m[k][i] = ((*this)[i].*value)(k);
    return m;
}

void POPULATION::PushBackNewInd(const INDIVIDUAL& x) {
    individuals.push_back(std::make_shared<INDIVIDUAL>(x));
}

void POPULATION::PushBackIndSPtr(const std::shared_ptr<INDIVIDUAL>& p) {
    individuals.push_back(p);
}

POPULATION POPULATION::SubPop(const std::vector<unsigned int>& indexes) {
    POPULATION sub(name + "->subPop", ndvs, nobj, nctr, 0, false);
    for (unsigned idx : indexes) {
        if (idx >= GetPopsize())
            UTILS::Stop(
                {"Trying to get an INDIVIDUAL out of bounds",
                 "At routine: POPULATION::sub_pop(const std::vector<unsigned int>& indexes)",
                 "Program stopped!"});
        sub.individuals.push_back(individuals[idx]);
    }
    for (auto& p : sub.individuals)
        if (p)
            p->SetBestfitsPtr(sub.bestfits);
    return sub;
}

POPULATION POPULATION::SubPop(unsigned int first, unsigned int count) {
    std::vector<unsigned int> indexes;
    const unsigned long long end =
        std::min<unsigned long long>(static_cast<unsigned long long>(first) + count, GetPopsize());
    for (unsigned long long i = first; i < end; ++i)
        indexes.push_back(static_cast<unsigned int>(i));
    return SubPop(indexes);
}

POPULATION POPULATION::DeepCopy() const {
    POPULATION copy(*this);
    for (auto& p : copy.individuals) {
        if (!p)
            StopNotAllocated();
        p = std::make_shared<INDIVIDUAL>(*p);
        p->SetBestfitsPtr(bestfits);
    }
    return copy;
}

void POPULATION::SetBestfitsPtrToInds() {
    for (auto& p : individuals)
        if (p)
            p->SetBestfitsPtr(bestfits);
}

void POPULATION::SetBestfitsPtrToInds(std::vector<INDIVIDUAL>* p) {
    bestfits = p;
    for (unsigned i = 0; i < GetPopsize(); ++i)
        (*this)[i].SetBestfitsPtr(p);
}

void POPULATION::UpdateBestfitsValue() {
    for (unsigned i = 0; i < GetPopsize(); ++i) {
        const INDIVIDUAL& ind = (*this)[i];
        for (size_t j = 0; j < bestfits->size() && j < ind.GetNobj(); ++j)
            if (ind.GetObj(static_cast<unsigned>(j)) <
                (*bestfits)[j].GetObj(static_cast<unsigned>(j)))
                (*bestfits)[j] = ind;
    }
}

unsigned POPULATION::ExtractRepeated() {
    // Keeps the first of every group of members with equal design variables,
    // in order. Equal vectors are found through a hash table of member
    // positions (linear time instead of comparing every pair, which made the
    // final post-processing of long runs quadratic); the table is one array
    // probed linearly, so that adding a member allocates nothing. Equality
    // stays exact: a vector holding a NaN equals nothing, and 0.0 equals -0.0
    // (both hash alike).
    const size_t n = individuals.size();
    size_t capacity = 16;
    while (capacity < 2 * n)
        capacity <<= 1;
    const uint32_t kEmpty = 0xffffffffu;
    std::vector<uint32_t> table(capacity, kEmpty);
    std::vector<std::shared_ptr<INDIVIDUAL>> kept;
    kept.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        const std::vector<double>& dvs = (*this)[i].GetDvs();
        uint64_t h = dvs.size();
        bool has_nan = false;
        for (double x : dvs) {
            has_nan |= x != x;
            const double y = x == 0.0 ? 0.0 : x;
            uint64_t bits = 0;
            std::memcpy(&bits, &y, sizeof(bits));
            h = (h ^ bits) * 0x9e3779b97f4a7c15ull;
            h ^= h >> 29;
        }
        if (has_nan) {
            kept.push_back(individuals[i]);
            continue;
        }
        for (size_t slot = (h ^ (h >> 32)) & (capacity - 1);; slot = (slot + 1) & (capacity - 1)) {
            const uint32_t j = table[slot];
            if (j == kEmpty) {
                table[slot] = i;
                kept.push_back(individuals[i]);
                break;
            }
            if (individuals[j]->GetDvs() == dvs)
                break;
        }
    }
    const unsigned removed = static_cast<unsigned>(n - kept.size());
    individuals.swap(kept);
    return removed;
}

unsigned POPULATION::ExtractNonComputed() {
    const size_t before = individuals.size();
    for (const auto& p : individuals)
        if (!p)
            StopNotAllocated();
    individuals.erase(
        std::remove_if(individuals.begin(), individuals.end(),
                       [](const std::shared_ptr<INDIVIDUAL>& p) { return !p->IsComputed(); }),
        individuals.end());
    const unsigned removed = static_cast<unsigned>(before - individuals.size());
    if (removed > 0)
        std::cout << "Extracted " << removed << " non-computed individuals from " << name
                  << std::endl;
    return removed;
}

// ---- ranking and sorting ----

void POPULATION::AssignRank(unsigned int limit) {
    const unsigned n = GetPopsize();
    // Counting the dominating members directly gives every rank up to limit
    // exactly, as comparing pairs does; a member with more dominating members
    // gets limit + 1, which is a lower bound of its rank like the value the
    // comparison of pairs stops at. The ranks are kept here as well, so that
    // the fronts are built without going through the members again.
    std::vector<uint32_t> ranks;
    if (NDSU::count_dominating(*this, ranks)) {
        std::vector<std::vector<unsigned int>>().swap(mParetoSetIndexes);
        for (unsigned i = 0; i < n; ++i) {
            ranks[i] = 1 + std::min<uint32_t>(ranks[i], limit);
            individuals[i]->rank = ranks[i];
        }
    } else {
        ResetRank();
        AssignRankByPairs(limit);
        ranks.assign(n, 0);
        for (unsigned i = 0; i < n; ++i)
            ranks[i] = individuals[i]->rank;
    }
    uint32_t g = 0;
    for (uint32_t r : ranks)
        g = std::max(g, r);
    std::vector<unsigned> sizes(g, 0);
    for (uint32_t r : ranks)
        ++sizes[r - 1];
    mParetoSetIndexes.assign(g, {});
    for (uint32_t r = 0; r < g; ++r)
        mParetoSetIndexes[r].reserve(sizes[r]);
    for (unsigned i = 0; i < n; ++i)
        mParetoSetIndexes[ranks[i] - 1].push_back(i);
}

void POPULATION::AssignRankByPairs(unsigned int limit) {
    const unsigned n = GetPopsize();
    for (unsigned j = 0; j + 1 < n; ++j) {
        INDIVIDUAL& a = (*this)[j];
        for (unsigned k = j + 1; k < n; ++k) {
            if (a.rank > limit)
                break;
            INDIVIDUAL& b = (*this)[k];
            const int d = NDSU::dominance(a, b);
            if (d == 1)
                ++b.rank;
            else if (d == -1)
                ++a.rank;
        }
    }
}

void POPULATION::ResetRank() {
    for (unsigned i = 0; i < GetPopsize(); ++i)
        (*this)[i].rank = 1;
    std::vector<std::vector<unsigned int>>().swap(mParetoSetIndexes);
}

void POPULATION::ResetCrowdDistance() {
    for (unsigned i = 0; i < GetPopsize(); ++i)
        (*this)[i].crowd_distance = 0.0;
}

const std::vector<unsigned int>& POPULATION::GetParetoSet(unsigned int r) {
    if (r >= mParetoSetIndexes.size()) {
        std::cout << "WARNING: Index for mParetoSetIndexes out of bounds" << std::endl;
        std::cout << "   POPULATION::GetParetoSet(...)" << std::endl;
        std::cout << "   returning last pareto set" << std::endl;
        if (mParetoSetIndexes.empty())
            mParetoSetIndexes.emplace_back();
        return mParetoSetIndexes.back();
    }
    return mParetoSetIndexes[r];
}

unsigned POPULATION::GetSortedByRankFobjIndex(unsigned int r, unsigned int pos) const {
    return mParetoSetIndexes[r][pos];
}

// The sorts below take the keys out of the members first and sort them with
// their positions, instead of reaching every member through its pointer at
// each comparison. std::sort makes the same comparisons on the same sequence
// of keys whatever else travels with them, so the order comes out the same,
// ties included (the sort is unstable, and later steps depend on how it broke
// them). The order of the keys is that of compare_fobj and
// compare_crowd_distance.
namespace {
struct ValueKey {
    double value;
    unsigned position;
};

struct RankCrowdKey {
    uint32_t rank;
    double crowd;
    unsigned position;
};

bool LessValue(const ValueKey& a, const ValueKey& b) {
    return NDSU::less_nan_last(a.value, b.value);
}

bool BetterRankCrowd(const RankCrowdKey& a, const RankCrowdKey& b) {
    if (a.rank != b.rank)
        return a.rank < b.rank;
    return NDSU::greater_nan_last(a.crowd, b.crowd);
}

// A sort compares every member when there are two or more, and the
// comparators stop at an empty slot; so does this.
void CheckAllocatedForSort(const std::vector<std::shared_ptr<INDIVIDUAL>>& individuals) {
    if (individuals.size() < 2)
        return;
    for (const auto& p : individuals)
        if (!p)
            StopNotAllocated();
}
} // namespace

void POPULATION::SortByRankFobjIndex(unsigned int r, unsigned int k) {
    std::vector<unsigned int>& front = mParetoSetIndexes[r];
    if (front.size() < 2)
        return;
    std::vector<ValueKey> keys(front.size());
    for (size_t p = 0; p < front.size(); ++p)
        keys[p] = {(*this)[front[p]].GetObj(k), front[p]};
    std::sort(keys.begin(), keys.end(), LessValue);
    for (size_t p = 0; p < front.size(); ++p)
        front[p] = keys[p].position;
}

void POPULATION::Sort(unsigned int k) {
    CheckAllocatedForSort(individuals);
    if (individuals.size() < 2)
        return;
    std::vector<ValueKey> keys(individuals.size());
    for (unsigned i = 0; i < keys.size(); ++i)
        keys[i] = {individuals[i]->GetObj(k), i};
    std::sort(keys.begin(), keys.end(), LessValue);
    std::vector<std::shared_ptr<INDIVIDUAL>> sorted(individuals.size());
    for (size_t p = 0; p < keys.size(); ++p)
        sorted[p] = std::move(individuals[keys[p].position]);
    individuals.swap(sorted);
}

void POPULATION::SortByRankCrowdDistance() {
    CheckAllocatedForSort(individuals);
    if (individuals.size() < 2)
        return;
    std::vector<RankCrowdKey> keys(individuals.size());
    for (unsigned i = 0; i < keys.size(); ++i)
        keys[i] = {individuals[i]->rank, individuals[i]->crowd_distance, i};
    std::sort(keys.begin(), keys.end(), BetterRankCrowd);
    std::vector<std::shared_ptr<INDIVIDUAL>> sorted(individuals.size());
    for (size_t p = 0; p < keys.size(); ++p)
        sorted[p] = std::move(individuals[keys[p].position]);
    individuals.swap(sorted);
}

void POPULATION::PartialSortByRankCrowdDistance(const unsigned int& n) {
    const size_t m = std::min<size_t>(n, individuals.size());
    std::partial_sort(individuals.begin(), individuals.begin() + static_cast<std::ptrdiff_t>(m),
                      individuals.end(), NDSU::compare_crowd_distance(this));
}

POPULATION POPULATION::ParetoPop(bool rank) {
    POPULATION result("Pareto Front", ndvs, nobj, nctr, 0, false);
    if (rank)
        AssignRank(1);
    if (!mParetoSetIndexes.empty() && !mParetoSetIndexes[0].empty() &&
        (*this)[mParetoSetIndexes[0][0]].GetCtrViolation() == 0.0) {
        POPULATION front = SubPop(mParetoSetIndexes[0]);
        result.individuals = front.individuals;
    }
    return result;
}

POPULATION POPULATION::NonDominatedBy(const INDIVIDUAL& x) const {
    if (x.GetNobj() != GetNobj()) {
        UTILS::Stop(
            {"Number of objective functions must be equal to perform OPULATION::NonDominatedByInd(...)",
             "Program stopped"});
    }
    POPULATION result("NonDominated", ndvs, nobj, nctr, 0, false);
    for (unsigned i = 0; i < GetPopsize(); ++i)
        if (NDSU::dominance(x, (*this)[i]) == -1)
            result.individuals.push_back(individuals[i]);
    return result;
}

// ---- metrics ----

double POPULATION::DistanceMetric(const POPULATION& reference) const {
    if (GetNobj() < 2)
        UTILS::Stop({"double POPULATION::DistanceMetric(bool sort):",
                     "Only implemented for NOBJ >= 2.", "Program stopped!"});
    const unsigned n = GetPopsize();
    if (n == 0) {
        std::cout << "double POPULATION::DistanceMetric(bool sort):" << std::endl;
        std::cout << "\tWarning!: GetPopsize() == 0" << std::endl;
        return INDIVIDUAL::kWorst;
    }
    double sum = 0.0;
    for (unsigned i = 0; i < n; ++i) {
        double d = INDIVIDUAL::kWorst;
        for (unsigned r = 0; r < reference.GetPopsize(); ++r)
            d = std::min(d, Distance((*this)[i], reference[r], GetNobj()));
        sum += d;
    }
    return sum / n;
}

double POPULATION::DiversityMetric(const POPULATION& reference, bool sort) {
    const char* title = "double POPULATION::DiversityMetric(...):";
    if (GetNobj() < 2)
        UTILS::Stop({title, "Only implemented for NOBJ >= 2.", "Program stopped!"});
    if (sort) {
        std::cout << title << std::endl << "\tSorting" << std::endl;
        Sort(0);
    }
    const unsigned n = GetPopsize();
    if (n == 0) {
        std::cout << title << std::endl << "\tWarning!: GetPopsize() == 0" << std::endl;
        return INDIVIDUAL::kWorst;
    }
    if (n == 1) {
        std::cout << title << std::endl << "\tWarning!: GetPopsize() == 1" << std::endl;
        return 1.0;
    }
    const unsigned m = GetNobj();
    const double df = Distance((*this)[0], reference[0], m);
    const double dl = Distance((*this)[n - 1], reference[reference.GetPopsize() - 1], m);
    std::vector<double> d(n - 1);
    double mean = 0.0;
    for (unsigned i = 0; i + 1 < n; ++i) {
        d[i] = Distance((*this)[i], (*this)[i + 1], m);
        mean += d[i];
    }
    mean /= (n - 1);
    double spread = 0.0;
    for (double di : d)
        spread += std::fabs(di - mean);
    return (df + dl + spread) / (df + dl + (n - 1) * mean);
}

// ---- printing and files ----

void POPULATION::Cout() const {
    OutAscii(std::cout, true, true, true);
}

void POPULATION::CoutComputed() const {
    OutAscii(std::cout, false, true, true);
}

void POPULATION::OutAscii(std::ostream& os, bool all, bool header, bool column_header) const {
    if (header)
        PIOU::out_population_header(os, *this);
    if (column_header)
        PIOU::out_individual_header(os, *this, 20);
    for (unsigned i = 0; i < GetPopsize(); ++i) {
        const INDIVIDUAL& ind = (*this)[i];
        if (all || ind.IsComputed())
            PIOU::out_individual_ascii(os, ind, 20);
    }
}

void POPULATION::OutBin(std::ostream& os, bool all, bool header) const {
    if (header) {
        const int32_t counts[3] = {nobj, ndvs, nctr};
        os.write(reinterpret_cast<const char*>(counts), sizeof(counts));
    }
    for (unsigned i = 0; i < GetPopsize(); ++i) {
        const INDIVIDUAL& ind = (*this)[i];
        if (all || ind.IsComputed())
            PIOU::out_individual_bin(os, ind);
    }
}

void POPULATION::WriteAsciiTo(const std::string& file, bool append, bool all, bool header,
                              bool column_header, bool blank_before, bool blank_after) const {
    // The buffer is declared first so that it outlives the stream, which
    // flushes into it when a fatal error unwinds through here.
    std::unique_ptr<char[]> buffer;
    std::ofstream os;
    buffer = PIOU::open_buffered(os, file, append ? std::ios::app : std::ios::trunc);
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return;
    }
    if (blank_before)
        os << '\n';
    OutAscii(os, all, header, column_header);
    if (blank_after)
        os << '\n';
    os.close();
    if (!os)
        UTILS::WarnCannotWrite(file);
}

void POPULATION::WriteBinTo(const std::string& file, bool append, bool all, bool header) const {
    std::unique_ptr<char[]> buffer; // outlives the stream, as above
    std::ofstream os;
    buffer = PIOU::open_buffered(os, file,
                                 std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return;
    }
    OutBin(os, all, header);
    os.close();
    if (!os)
        UTILS::WarnCannotWrite(file);
}

void POPULATION::WriteFileAscii(const std::string& file, bool blank) const {
    WriteAsciiTo(file, false, true, true, true, false, blank);
}

void POPULATION::WriteComputedFileAscii(const std::string& file, bool blank) const {
    WriteAsciiTo(file, false, false, true, true, false, blank);
}

void POPULATION::AppendFileAscii(const std::string& file, bool header, bool column_header,
                                 bool blanks) const {
    WriteAsciiTo(file, true, true, header, column_header, blanks, blanks);
}

void POPULATION::AppendComputedFileAscii(const std::string& file, bool header, bool column_header,
                                         bool blanks) const {
    WriteAsciiTo(file, true, false, header, column_header, blanks, blanks);
}

void POPULATION::WriteFileBin(const std::string& file) const {
    WriteBinTo(file, false, true, true);
}

void POPULATION::WriteComputedFileBin(const std::string& file) const {
    WriteBinTo(file, false, false, true);
}

void POPULATION::AppendFileBin(const std::string& file) const {
    WriteBinTo(file, true, true, false);
}

void POPULATION::AppendComputedFileBin(const std::string& file) const {
    WriteBinTo(file, true, false, false);
}

void POPULATION::WriteFile(const std::string& file, bool ascii, bool blank) const {
    if (ascii)
        WriteFileAscii(file, blank);
    else
        WriteFileBin(file);
}

void POPULATION::WriteComputedFile(const std::string& file, bool ascii, bool blank) const {
    if (ascii)
        WriteComputedFileAscii(file, blank);
    else
        WriteComputedFileBin(file);
}

void POPULATION::AppendFile(const std::string& file, bool ascii, bool header, bool column_header,
                            bool blanks) const {
    if (ascii)
        AppendFileAscii(file, header, column_header, blanks);
    else
        AppendFileBin(file);
}

void POPULATION::AppendComputedFile(const std::string& file, bool ascii, bool header,
                                    bool column_header, bool blanks) const {
    if (ascii)
        AppendComputedFileAscii(file, header, column_header, blanks);
    else
        AppendComputedFileBin(file);
}

std::ostream& operator<<(std::ostream& os, const POPULATION& pop) {
    pop.OutAscii(os, true, true, true);
    return os;
}
