#ifndef VESK_OUTPUT_WRITEDATAEA_H
#define VESK_OUTPUT_WRITEDATAEA_H

#include "output/WriteData.h"

// Output configuration of the population-based optimisers (evolutionary and
// swarm): adds the buffer, parents, last-children and non-dominated files.
class WriteDataEA : public WriteData {
public:
    WriteDataEA();
    explicit WriteDataEA(const WriteData& base);
    void SetPrefixIndexImpl(unsigned index) override;

    std::string GetInitialBufferFilename() const { return mInitialBufferFile; }
    std::string GetFirstParentsFilename() const { return mFirstParentsFile; }
    std::string GetLastChildFilename() const { return mLastChildFile; }
    std::string GetNonDominatedFilename() const { return mNonDominatedFile; }
    std::string GetParetoPopName() const { return mParetoPopName; }
    std::string GetParentsBasename() const { return mParentsBase; }
    void SetParentsBasename(const std::string& base) { mParentsBase = base; }
    void SetLastChildFilename(const std::string& f) { mLastChildFile = f; }
    void SetInitialBufferFilename(const std::string& f) { mInitialBufferFile = f; }
    void SetFirstParentsFilename(const std::string& f) { mFirstParentsFile = f; }
    // Base name plus the ASCII or binary extension; empty when the base is empty.
    std::string GetParentsFilename() const;
    std::vector<std::string> OutputFiles() const override;

private:
    std::string mInitialBufferFile;
    std::string mFirstParentsFile;
    std::string mLastChildFile;
    std::string mNonDominatedFile;
    std::string mParetoPopName;
    std::string mParentsBase;
};

#endif
