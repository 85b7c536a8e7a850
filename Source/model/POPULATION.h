#ifndef VESK_MODEL_POPULATION_H
#define VESK_MODEL_POPULATION_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"

class RANU;

// An ordered vector of shared individuals. Copies share their individuals;
// DeepCopy duplicates them. A slot may be empty until allocated.
class POPULATION {
public:
    POPULATION();
    explicit POPULATION(const std::string& name);
    POPULATION(const std::string& name, int ndvs, int nobj, int nctr, int popsize, bool allocate);
    POPULATION(const POPULATION&) = default;
    POPULATION& operator=(const POPULATION&) = default;
    virtual ~POPULATION() = default;

    void InitPop(const std::string& name, int ndvs, int nobj, int nctr, int popsize, bool allocate);
    void AllocateInds(unsigned first);
    virtual void Resize(unsigned n, bool allocate);
    void RandomInit(std::vector<double> lower, std::vector<double> upper, std::vector<double> step,
                    RANU& ranu);

    INDIVIDUAL& operator[](unsigned i);
    const INDIVIDUAL& operator[](unsigned i) const;
    INDIVIDUAL& front() { return (*this)[0]; }
    INDIVIDUAL& back() { return (*this)[GetPopsize() - 1]; }
    const std::vector<std::shared_ptr<INDIVIDUAL>>& GetIndsPtrs() const { return individuals; }
    const std::shared_ptr<INDIVIDUAL>& GetIndsPtrs(unsigned i) const { return individuals[i]; }
    std::shared_ptr<INDIVIDUAL>& GetIndsPtrs(unsigned i) { return individuals[i]; }

    unsigned GetPopsize() const { return static_cast<unsigned>(individuals.size()); }
    unsigned GetNdvs() const { return static_cast<unsigned>(ndvs); }
    unsigned GetNobj() const { return static_cast<unsigned>(nobj); }
    unsigned GetNctr() const { return static_cast<unsigned>(nctr); }
    std::string GetName() const { return name; }
    void SetName(const std::string& n) { name = n; }
    // Matrices indexed by objective (or design variable), then by individual.
    std::vector<std::vector<double>> GetObj() const;
    std::vector<std::vector<double>> GetDvs() const;

    void PushBackNewInd(const INDIVIDUAL& x);
    void PushBackIndSPtr(const std::shared_ptr<INDIVIDUAL>& p);

    POPULATION SubPop(const std::vector<unsigned int>& indexes);
    POPULATION SubPop(unsigned int first, unsigned int count);
    POPULATION DeepCopy() const;

    void SetBestfitsPtr(std::vector<INDIVIDUAL>* p) { bestfits = p; }
    std::vector<INDIVIDUAL>* GetBestfitsPtr() const { return bestfits; }
    void SetBestfitsPtrToInds();
    void SetBestfitsPtrToInds(std::vector<INDIVIDUAL>* p);
    void UpdateBestfitsValue();

    unsigned ExtractRepeated();
    unsigned ExtractNonComputed();

    // Ranking, fronts and sorting.
    void AssignRank(unsigned int limit);
    void ResetRank();
    void ResetCrowdDistance();
    const std::vector<unsigned int>& GetParetoSet(unsigned int r);
    unsigned GetNumParetoSets() const { return static_cast<unsigned>(mParetoSetIndexes.size()); }
    unsigned GetSortedByRankFobjIndex(unsigned int r, unsigned int pos) const;
    void SortByRankFobjIndex(unsigned int r, unsigned int k);
    void Sort(unsigned int k);
    void SortByRankCrowdDistance();
    void PartialSortByRankCrowdDistance(const unsigned int& n);
    POPULATION ParetoPop(bool rank);
    POPULATION NonDominatedBy(const INDIVIDUAL& x) const;

    // Metrics against a reference front.
    double DistanceMetric(const POPULATION& reference) const;
    double DiversityMetric(const POPULATION& reference, bool sort);

    // Printing and files (ASCII and binary population formats).
    void Cout() const;
    void CoutComputed() const;
    void OutAscii(std::ostream& os, bool all, bool header, bool column_header) const;
    void OutBin(std::ostream& os, bool all, bool header) const;
    void WriteFileAscii(const std::string& file, bool blank) const;
    void WriteComputedFileAscii(const std::string& file, bool blank) const;
    void AppendFileAscii(const std::string& file, bool header, bool column_header,
                         bool blanks) const;
    void AppendComputedFileAscii(const std::string& file, bool header, bool column_header,
                                 bool blanks) const;
    void WriteFileBin(const std::string& file) const;
    void WriteComputedFileBin(const std::string& file) const;
    void AppendFileBin(const std::string& file) const;
    void AppendComputedFileBin(const std::string& file) const;
    void WriteFile(const std::string& file, bool ascii, bool blank) const;
    void WriteComputedFile(const std::string& file, bool ascii, bool blank) const;
    void AppendFile(const std::string& file, bool ascii, bool header, bool column_header,
                    bool blanks) const;
    void AppendComputedFile(const std::string& file, bool ascii, bool header, bool column_header,
                            bool blanks) const;

private:
    // Ranks by comparing every pair of members once, stopping for a member as
    // soon as its rank exceeds limit. Needs nothing of the values, so it also
    // serves populations holding NaN.
    void AssignRankByPairs(unsigned int limit);
    void WriteAsciiTo(const std::string& file, bool append, bool all, bool header,
                      bool column_header, bool blank_before, bool blank_after) const;
    void WriteBinTo(const std::string& file, bool append, bool all, bool header) const;
    // Row k holds value k of every member (GetObj, GetDvs): n rows of
    // popsize values.
    std::vector<std::vector<double>> Columns(unsigned n,
                                             double (INDIVIDUAL::*value)(unsigned) const) const;

    std::vector<INDIVIDUAL>* bestfits;
    std::vector<std::vector<unsigned int>> mParetoSetIndexes;
    std::string name;
    std::vector<std::shared_ptr<INDIVIDUAL>> individuals;
    int ndvs;
    int nobj;
    int nctr;
};

std::ostream& operator<<(std::ostream& os, const POPULATION& pop);

#endif
