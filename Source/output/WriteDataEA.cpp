#include "output/WriteDataEA.h"

WriteDataEA::WriteDataEA() : WriteDataEA(WriteData()) {}

WriteDataEA::WriteDataEA(const WriteData& base)
    : WriteData(base), mInitialBufferFile("initial_buffer.out"),
      mFirstParentsFile("first_parents.out"), mLastChildFile("last_child.out"),
      mNonDominatedFile("non_dominated.out"), mParetoPopName("Pareto pop"),
      mParentsBase("parents") {}

void WriteDataEA::SetPrefixIndexImpl(unsigned index) {
    Prefix(index, {&mInitialBufferFile, &mFirstParentsFile, &mLastChildFile, &mNonDominatedFile,
                   &mParetoPopName, &mParentsBase});
}

std::string WriteDataEA::GetParentsFilename() const {
    if (mParentsBase.empty())
        return "";
    return mParentsBase + (GetWriteASCIIFormat() ? GetAsciiExtension() : GetBinExtension());
}

std::vector<std::string> WriteDataEA::OutputFiles() const {
    std::vector<std::string> files = WriteData::OutputFiles();
    files.push_back(GetGPFilenameWOExt() + ".gp");
    files.push_back(GetParetoLastFilename());
    if (GetWriteParetoHistory() || GetWriteOnlineHistoryPareto())
        files.push_back(GetParetoHistFilename());
    files.push_back(mInitialBufferFile);
    files.push_back(mFirstParentsFile);
    files.push_back(mLastChildFile);
    if (GetWriteChilds())
        files.push_back(GetParentsFilename());
    if (GetBaseline())
        files.push_back(mNonDominatedFile);
    return files;
}
