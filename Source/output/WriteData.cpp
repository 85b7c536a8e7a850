#include "output/WriteData.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "model/RunJournal.h"
#include "model/UTILS.h"
#include "output/PIOUConfig.h"

WriteData::WriteData()
    : use_OBj_names(false), mBaseline(false), write_childs(false), mAsciiFormat(false),
      run_gnuplot(true), report_iter(1), mReportCounter(0), mBestfitsFile("bestfits.out"),
      write_online_history_pareto(1), mParetoHistFile("pareto_History.front"),
      mParetoLastFile("pareto_Last.front"), mConvergenceGenFile("convergence_gen.out"),
      mConvergenceEvaFile("convergence_eva.out"), mHypervolumeGenFile("hypervolume_gen.out"),
      mChildsBase("childs"), mGPFile("QERN"), mAsciiExtension(".out"), mBinExtension(".bin"),
      mPlotsExtension("eps"), GnuplotTerminal("postscript eps enhanced color") {}

namespace {
// A setting of three choices, 0 to 2, alone on its line; any other value
// stops the run with "<name> <value> not recognized: expected <choices>.".
int ReadChoice(std::istream& in, const std::string& what, const std::string& name,
               const std::string& choices) {
    int value = 0;
    const std::streampos at = PIOU::read_placed(in, value, what);
    if (value < 0 || value > 2)
        PIOU::config_stop(in, at,
                          name + " " + std::to_string(value) + " not recognized: expected " +
                              choices + ".");
    PIOU::skip_line(in);
    return value;
}
} // namespace

void WriteData::LoadConfigFile() {
    LoadConfigFile("write.QERN");
}

void WriteData::LoadConfigFile(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        std::cout << "File " << file << " not found." << std::endl;
        std::cout << "   Using default I/O configuration" << std::endl;
        return;
    }
    std::cout << "> File " << file << " found." << std::endl;
    RunJournal::NoteInputFile(file);
    std::cout << "   Loading I/O configuration" << std::endl;

    // Read the whole file into locals first, so that a bad file changes nothing.
    // Messages name this file while it is read; the previous name comes back
    // however the reading ends.
    struct ConfigNameScope {
        std::string previous = PIOU::get_config_name();
        ~ConfigNameScope() { PIOU::set_config_name(previous); }
    } name_scope;
    PIOU::set_config_name(file);
    bool baseline = false, plots = false;
    unsigned report = 0, kind = 0;
    std::string baseline_file;
    // A code that is none of these used to be taken as 1 with a warning; the
    // run then wrote a file the user did not ask for.
    const int code = ReadChoice(in, "the children-file code (0, 1 or 2)", "children-file code",
                                "0 (none), 1 (binary, childs.bin) or 2 (ASCII, childs.out)");
    const int history =
        ReadChoice(in, "the Pareto history mode (an integer)", "Pareto history mode",
                   "0 (none), 1 (rebuilt from the children file at the end) or 2 (kept "
                   "during the run)");
    PIOU::read_value(in, baseline, "the baseline flag (0 or 1)");
    if (baseline) {
        // The name must be on the flag's line: reading on would take the
        // report interval of the next line for the file name.
        std::string rest;
        std::getline(in, rest);
        std::istringstream words(rest);
        if (!(words >> baseline_file))
            UTILS::Stop({file + ", line 3: expected the baseline file name after the flag 1, "
                                "found the end of the line.",
                         "Program stopped!"});
    } else {
        PIOU::skip_line(in);
    }
    PIOU::read_value(in, report, "the report interval (an unsigned integer)");
    PIOU::skip_line(in);
    PIOU::read_value(in, plots, "the gnuplot flag (0 or 1)");
    const std::streampos kind_at = in.tellg();
    if (plots)
        PIOU::read_value(in, kind, "the plot output kind (0 = EPS, 1 = PDF)");
    if (plots && kind != EPS && kind != PDF)
        UTILS::Stop({"GNUPLOT terminal option not recognized.",
                     PIOU::config_place(in, kind_at) + ": plot output kind " +
                         std::to_string(kind) + " (expected 0 EPS or 1 PDF)",
                     "Program stopped!"});
    PIOU::skip_line(in);
    // Checked before anything changes. The baseline file is needed only after
    // the last evaluation, but finding it missing then would lose the run.
    if (baseline && !std::ifstream(baseline_file))
        UTILS::Stop({"File " + baseline_file + " not found.", "Program stopped!"});
    if (baseline)
        RunJournal::NoteInputFile(baseline_file);

    std::cout << "write_childs = " << code << std::endl;
    switch (code) {
    case 0:
        write_childs = false;
        mAsciiFormat = false;
        break;
    case 2:
        write_childs = true;
        mAsciiFormat = true;
        break;
    default:
        write_childs = true;
        mAsciiFormat = false;
        break;
    }
    write_online_history_pareto = history;
    mBaseline = baseline;
    if (baseline)
        mBaselineFile = baseline_file;
    report_iter = report;
    run_gnuplot = plots;
    if (plots)
        SetPlotOutput(kind);

    std::cout << "wdata.write_childs = " << (write_childs ? 1 : 0) << std::endl;
    std::cout << "wdata.write_online_history_pareto = " << write_online_history_pareto << std::endl;
    std::cout << "wdata.run_gnuplot = " << (run_gnuplot ? 1 : 0) << std::endl;
    std::cout << "wdata.report_iter = " << report_iter << std::endl;
    std::cout << "wdata.GnuplotTerminal = " << GnuplotTerminal << std::endl;
    std::cout << "< Done." << std::endl;
}

void WriteData::SetPlotOutput(unsigned kind) {
    if (kind == EPS) {
        GnuplotTerminal = "postscript eps enhanced color";
        mPlotsExtension = "eps";
    } else if (kind == PDF) {
        GnuplotTerminal = "pdf enhanced color";
        mPlotsExtension = "pdf";
    } else {
        UTILS::Stop({"GNUPLOT terminal option not recognized.", "Program stopped!"});
    }
}

void WriteData::Prefix(unsigned index, std::initializer_list<std::string*> names) {
    for (std::string* name : names)
        *name = std::to_string(index) + *name;
}

void WriteData::SetPrefixIndex(unsigned index) {
    SetPrefixIndexImpl(index);
    Prefix(index, {&mGPFile, &mBaselineFile, &mConvergenceGenFile, &mConvergenceEvaFile,
                   &mHypervolumeGenFile, &mChildsBase, &mBestfitsFile, &mParetoHistFile,
                   &mParetoLastFile});
    mPrefixIndex = std::to_string(index);
}

void WriteData::SetPrefixIndexImpl(unsigned /*index*/) {
    std::cout << "Warning! Result files could be mangled." << std::endl;
    std::cout << "Override WriteData::SetPrefixIndexImpl(unsigned int index) to" << std::endl;
    std::cout << "in all class that inherit from WriteData to avoid this!" << std::endl;
}

std::string WriteData::GetObjName(unsigned i) const {
    if (use_OBj_names && i < mObjNames.size())
        return mObjNames[i];
    return "f_" + std::to_string(i + 1);
}

std::string WriteData::GetChildsFilename() const {
    return mChildsBase + (mAsciiFormat ? mAsciiExtension : mBinExtension);
}

std::vector<std::string> WriteData::OutputFiles() const {
    std::vector<std::string> files = {mConvergenceGenFile, mConvergenceEvaFile, mBestfitsFile};
    if (write_childs)
        files.push_back(GetChildsFilename());
    return files;
}
