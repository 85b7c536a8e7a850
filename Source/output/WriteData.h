#ifndef VESK_OUTPUT_WRITEDATA_H
#define VESK_OUTPUT_WRITEDATA_H

#include <initializer_list>
#include <string>
#include <vector>

// Output configuration: which result files are written, under which names,
// how often progress is reported and whether gnuplot runs. Loaded from
// "write.QERN" and copied into every optimiser.
class WriteData {
public:
    enum mePlotOutput { EPS = 0, PDF = 1 };

    WriteData();
    WriteData(const WriteData&) = default;
    WriteData& operator=(const WriteData&) = default;
    virtual ~WriteData() = default;

    // Reads "write.QERN" from the working directory (defaults when absent).
    void LoadConfigFile();
    void LoadConfigFile(const std::string& file);
    void SetPlotOutput(unsigned kind);
    // Prefixes the decimal index to every result file name (accumulating).
    virtual void SetPrefixIndex(unsigned index);
    virtual void SetPrefixIndexImpl(unsigned index);

    std::string GetObjName(unsigned i) const;
    bool GetUseObjNames() const { return use_OBj_names; }
    void SetUseObjNames(bool use) { use_OBj_names = use; }
    const std::vector<std::string>& GetObjNames() const { return mObjNames; }
    void SetObjNames(const std::vector<std::string>& names) { mObjNames = names; }

    bool GetBaseline() const { return mBaseline; }
    void SetBaseline(bool on) { mBaseline = on; }
    std::string GetBaselineFilename() const { return mBaselineFile; }
    void SetBaselineFilename(const std::string& f) { mBaselineFile = f; }

    std::string GetBestfitsFilename() const { return mBestfitsFile; }
    std::string GetParetoHistFilename() const { return mParetoHistFile; }
    std::string GetParetoLastFilename() const { return mParetoLastFile; }
    std::string GetConvergenceGenFilename() const { return mConvergenceGenFile; }
    std::string GetConvergenceEvaFilename() const { return mConvergenceEvaFile; }
    // Hypervolume of the front so far, one line per generation (population
    // optimisers).
    std::string GetHypervolumeGenFilename() const { return mHypervolumeGenFile; }
    std::string GetGPFilenameWOExt() const { return mGPFile; }
    std::string GetPrefixIndexStr() const { return mPrefixIndex; }
    std::string GetPlotsFormat() const { return GnuplotTerminal; }
    std::string GetPlotsExtension() const { return mPlotsExtension; }
    std::string GetAsciiExtension() const { return mAsciiExtension; }
    std::string GetBinExtension() const { return mBinExtension; }
    std::string GetChildsFilename() const;
    void SetChildsFilename(const std::string& base) { mChildsBase = base; }

    bool GetWriteChilds() const { return write_childs; }
    void SetWriteChilds(bool on) { write_childs = on; }
    bool GetWriteASCIIFormat() const { return mAsciiFormat; }
    void SetWriteASCIIFormat(bool on) { mAsciiFormat = on; }
    bool GetRunPlots() const { return run_gnuplot; }
    void SetRunPlots(bool on) { run_gnuplot = on; }
    unsigned GetReportIter() const { return report_iter; }
    void SetReportIter(unsigned n) { report_iter = n; }
    unsigned GetReportIterCounter() const { return mReportCounter; }
    void IncrReportIterCounter() { ++mReportCounter; }
    void ResetReportIterCounter() { mReportCounter = 0; }
    int GetParetoHistoryMode() const { return write_online_history_pareto; }
    void SetParetoHistoryMode(int mode) { write_online_history_pareto = mode; }
    bool GetWriteParetoHistory() const { return write_childs && write_online_history_pareto != 0; }
    bool GetWriteOnlineHistoryPareto() const { return write_online_history_pareto == 2; }
    // The result files a run with this configuration writes (checked for
    // writability before the first evaluation).
    virtual std::vector<std::string> OutputFiles() const;

protected:
    // Prefixes the decimal index to each of the names.
    static void Prefix(unsigned index, std::initializer_list<std::string*> names);

private:
    bool use_OBj_names;
    std::vector<std::string> mObjNames;
    bool mBaseline;
    std::string mBaselineFile;
    bool write_childs;
    bool mAsciiFormat;
    bool run_gnuplot;
    unsigned report_iter;
    unsigned mReportCounter;
    std::string mBestfitsFile;
    int write_online_history_pareto;
    std::string mParetoHistFile;
    std::string mParetoLastFile;
    std::string mConvergenceGenFile;
    std::string mConvergenceEvaFile;
    std::string mHypervolumeGenFile;
    std::string mChildsBase;
    std::string mGPFile;
    std::string mPrefixIndex;
    std::string mAsciiExtension;
    std::string mBinExtension;
    std::string mPlotsExtension;
    std::string GnuplotTerminal;
};

#endif
