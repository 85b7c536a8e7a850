#include "output/PLOU.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "output/WriteDataEA.h"

namespace {

const std::string kSeparator(53, '#');

// The preamble settings are padded so that their comments line up in the script.
std::string Padded(const std::string& line) {
    const size_t width = 68;
    return line.size() < width ? line + std::string(width - line.size(), ' ') : line;
}

const char* const kUnsetLog = "unset log                              # remove any log-scaling";
const char* const kBlueFront = "points pt 6 ps 1.0 lc rgb 'blue'";

// Writes the blocks of one pair of objectives. The children and parents files
// are referenced in their configured (ASCII or binary) form; every other file
// the optimisers write is ASCII.
class PairBlocks {
public:
    PairBlocks(std::ostream& os, const WriteDataEA& out, unsigned ndvs, unsigned nobj,
               unsigned nctr)
        : os(os), out(out), ascii(out.GetWriteASCIIFormat()),
          format(PLOU::binary_format(ndvs + nobj + nctr)), nctr(nctr), c0(ndvs + nobj + 1),
          childs(out.GetChildsFilename()) {}

    void Write(unsigned i, unsigned j) {
        x = i + 1;
        y = j + 1;
        xlabel = out.GetObjName(i);
        ylabel = out.GetObjName(j);
        const bool write_childs = out.GetWriteChilds();

        if (out.GetWriteOnlineHistoryPareto() || write_childs) {
            Begin();
            PLOU::out_plot(os, "Pareto Front", xlabel, ylabel, out.GetParetoLastFilename(), x, y,
                           kBlueFront, "", false);
            BaselineAppend();
            End();
        }
        if (out.GetWriteParetoHistory()) {
            Begin();
            const std::string history = out.GetParetoHistFilename();
            os << "stats '" << PLOU::quoted_text(history) << "' nooutput" << '\n';
            os << kSeparator << '\n';
            os << "incr = (STATS_blocks > 5 ? (STATS_blocks/5) : 1)" << '\n';
            const char* style = "linespoint pt 6 ps 1.0";
            PLOU::out_block_plot(os, "Pareto Front Evolution", xlabel, ylabel, history, 0,
                                 "STATS_blocks-1", "incr", x, y, style,
                                 "sprintf(\"%s gen %d\",'\\@',IDX)", false);
            PLOU::append_block_plot(os, history, "STATS_blocks-1", "STATS_blocks-1", 1, x, y, style,
                                    "Last", false);
            End();
        }
        if (write_childs) {
            Begin();
            ChildsPlot("children", x, y, "points pt 1", "children");
            BaselineAppend();
            End();
        }
        if (write_childs && !out.GetParentsFilename().empty()) {
            Begin();
            ChildsPlot("parents and children", x, y, "points pt 1", "children");
            ChildsAppend(out.GetParentsFilename(), x, y, "points pt 2", "parents");
            End();
        }
        if (!out.GetLastChildFilename().empty()) {
            Begin();
            PLOU::out_plot(os, "Last children", xlabel, ylabel, out.GetLastChildFilename(), x, y,
                           "points      pt 1 ps 1.0", "last children", false);
            FrontAppend("pareto front");
            End();
        }
        if (!out.GetInitialBufferFilename().empty() && !out.GetFirstParentsFilename().empty()) {
            Begin();
            PLOU::out_plot(os, "Initial buffer and first parents", xlabel, ylabel,
                           out.GetInitialBufferFilename(), x, y, "points pt 1", "initial buffer",
                           false);
            PLOU::append_plot(os, out.GetFirstParentsFilename(), x, y, "points pt 2",
                              "first parents", false);
            FrontAppend("Pareto Front");
            BaselineAppend();
            End();
        }
        if (out.GetBaseline()) {
            Begin();
            PLOU::out_plot(os, "Pareto Front non dominated by baseline", xlabel, ylabel,
                           out.GetNonDominatedFilename(), x, y, "linespoint pt 6 ps 1.0",
                           "Non dominated", false);
            BaselineAppend();
            End();
        }
        if (nctr > 0 && write_childs)
            WriteFeasibility();
    }

private:
    void Begin() { os << kSeparator << '\n'; }
    void End() { os << '\n'; }

    // Feasibility of the children: a point that fails the selection gets the
    // coordinate 1/0, which gnuplot skips.
    void WriteFeasibility() {
        const std::string all = "(ctrvn(" + std::to_string(c0) + "," + std::to_string(nctr);
        const std::string infeasible = all + ") <0? $";
        const std::string feasible = all + ") >=0? $";

        Begin();
        ChildsPlot("children", Select(infeasible, x), Select(infeasible, y),
                   "points pt 1 lc rgb 'red'", "non-feasible");
        ChildsAppend(childs, Select(feasible, x), Select(feasible, y), "points pt 2 lc rgb 'green'",
                     "feasible");
        FrontAppend("Pareto Front");
        End();

        Begin();
        ChildsPlot("children", Select(feasible, x), Select(feasible, y),
                   "points pt 1 lc rgb 'green'", "feasible");
        FrontAppend("Pareto Front");
        End();

        Begin();
        ChildsPlot("children", Select(infeasible, x), Select(infeasible, y),
                   "points pt 1 lc rgb 'red'", "non-feasible");
        FrontAppend("Pareto Front");
        End();

        Begin();
        ChildsColour("ctr violation", all + "))");
        End();

        for (unsigned k = 0; k < nctr; ++k) {
            const std::string number = std::to_string(k + 1);
            const std::string one = "(ctrv($" + std::to_string(c0 + k);
            const std::string ok = one + ") >=0? $";
            const std::string violated = one + ") <0? $";
            Begin();
            ChildsPlot("feasible children according to ctr_" + number, Select(ok, x), Select(ok, y),
                       "points pt 1 lc rgb 'green'", "ctr_" + number + " feasible");
            ChildsAppend(childs, Select(violated, x), Select(violated, y),
                         "points pt 2 lc rgb 'red'", "ctr_" + number + " non-feasible");
            FrontAppend("Pareto Front");
            End();
        }
        for (unsigned k = 0; k < nctr; ++k) {
            Begin();
            ChildsColour("ctr_" + std::to_string(k + 1), c0 + k);
            End();
        }
    }

    static std::string Select(const std::string& test, unsigned column) {
        return test + std::to_string(column) + ": 1/0 )";
    }

    template <typename X, typename Y>
    void ChildsPlot(const std::string& title, const X& cx, const Y& cy, const std::string& style,
                    const std::string& key) {
        if (ascii)
            PLOU::out_plot(os, title, xlabel, ylabel, childs, cx, cy, style, key, false);
        else
            PLOU::out_plot_b(os, title, xlabel, ylabel, childs, format, cx, cy, style, key, false);
    }

    // Appends a plot of the children or the parents file (same form and layout).
    template <typename X, typename Y>
    void ChildsAppend(const std::string& file, const X& cx, const Y& cy, const std::string& style,
                      const std::string& key) {
        if (ascii)
            PLOU::append_plot(os, file, cx, cy, style, key, false);
        else
            PLOU::append_plot_b(os, file, format, cx, cy, style, key, false);
    }

    template <typename C> void ChildsColour(const std::string& cblabel, const C& colour) {
        if (ascii)
            PLOU::out_plot_colour(os, "children", xlabel, ylabel, cblabel, childs, x, y, colour,
                                  "points pt 1", "", false);
        else
            PLOU::out_plot_colour_b(os, "children", xlabel, ylabel, cblabel, childs, format, x, y,
                                    colour, "points pt 1", "", false);
    }

    // The final front is drawn over a block only when it is kept on line and
    // children are written.
    void FrontAppend(const std::string& key) {
        if (out.GetWriteOnlineHistoryPareto() && out.GetWriteChilds())
            PLOU::append_plot(os, out.GetParetoLastFilename(), x, y, kBlueFront, key, false);
    }

    void BaselineAppend() {
        if (out.GetBaseline())
            PLOU::append_plot(os, out.GetBaselineFilename(), x, y, "points pt 21", "Baseline",
                              false);
    }

    std::ostream& os;
    const WriteDataEA& out;
    const bool ascii;
    const std::string format;
    const unsigned nctr;
    const unsigned c0;
    const std::string childs;
    unsigned x = 1;
    unsigned y = 2;
    std::string xlabel;
    std::string ylabel;
};

} // namespace

namespace PLOU {

std::string binary_format(unsigned nvalues) {
    return "'%" + std::to_string(nvalues) + "double%uint%double'";
}

std::string quoted_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        if (ch == '\'')
            out += "''";
        else if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t')
            out += ' ';
        else
            out += ch;
    }
    return out;
}

std::string key_part(const std::string& key) {
    if (key.empty())
        return "notitle";
    if (key.find("sprintf") != std::string::npos)
        return "title " + key;
    return "title '" + quoted_text(key) + "'";
}

void out_labels(std::ostream& os, const std::string& title, const std::string& xlabel,
                const std::string& ylabel) {
    os << "set   title     '" << quoted_text(title) << "'" << '\n';
    os << "set   xlabel    '" << quoted_text(xlabel) << "'" << '\n';
    os << "set   ylabel    '" << quoted_text(ylabel) << "'" << '\n';
}

void create_file_gp(const POPULATION& pop, const WriteDataEA& out) {
    const std::string name = out.GetGPFilenameWOExt() + ".gp";
    std::ofstream os(name, std::ios::trunc);
    if (!os) {
        UTILS::WarnCannotWrite(name);
        return;
    }
    const unsigned nobj = pop.GetNobj();
    const unsigned ndvs = pop.GetNdvs();
    const unsigned nctr = pop.GetNctr();

    os << "#!/usr/bin/gnuplot" << '\n';
    os << "# gnuplot script" << '\n';
    os << "set terminal " << out.GetPlotsFormat() << '\n';
    os << Padded("set   autoscale                        # scale axes automatically") << '\n';
    os << Padded(kUnsetLog) << '\n';
    os << Padded("unset label                            # remove any previous labels") << '\n';
    os << Padded("set   xtic      auto                   # set xtics automatically") << '\n';
    os << Padded("set   ytic      auto                   # set ytics automatically") << '\n';
    os << Padded("set   grid                             # set grid automatically") << '\n';
    os << "set key top right" << '\n';
    os << "set   pointsize 1.3" << '\n';
    os << '\n';
    os << "set output '" << quoted_text(out.GetGPFilenameWOExt() + "." + out.GetPlotsExtension())
       << "'" << '\n';
    os << kSeparator << '\n';
    os << '\n';

    if (nctr > 0) {
        // ctrvn sums the violations of nctr constraints from column ctrcol on;
        // a design is feasible when the sum is >= 0.
        os << "ctrv(ctr) = (ctr<0? ctr : 0)" << '\n';
        os << "ctrvn(ctrcol,nctr) = (sum [ctr=ctrcol:nctr+ctrcol] ctrv(column(ctr)))" << '\n';
        os << '\n';
        os << kSeparator << '\n';
    }

    os << "#set logscale y" << '\n';
    os << "#set format y '10^{%L}'" << '\n';

    const struct {
        const char* xlabel;
        std::string file;
    } histories[] = {{"Generation", out.GetConvergenceGenFilename()},
                     {"Evaluation", out.GetConvergenceEvaFilename()}};
    for (const auto& history : histories) {
        for (unsigned i = 1; i <= nobj; ++i) {
            const std::string objective = out.GetObjName(i - 1);
            os << kSeparator << '\n';
            out_plot(os, objective + " convergence", history.xlabel, objective, history.file, 1,
                     i + 1, "lines", "", false);
            os << '\n';
        }
    }

    // The population optimisers that write this script also write the
    // hypervolume of their front after every generation (its first lines are
    // comments, which gnuplot skips).
    os << kSeparator << '\n';
    out_plot(os, "Hypervolume of the front so far", "Evaluation", "Hypervolume",
             out.GetHypervolumeGenFilename(), 2, 3, "lines", "", false);
    os << '\n';

    os << Padded(kUnsetLog) << '\n';
    os << "set format y '%h'" << '\n';
    os << '\n';
    os << "set offsets graph 0.05, 0.05, 0.05, 0.05" << '\n';
    os << '\n';

    PairBlocks pairs(os, out, ndvs, nobj, nctr);
    for (unsigned i = 0; i < nobj; ++i)
        for (unsigned j = i + 1; j < nobj; ++j)
            pairs.Write(i, j);

    os << '\n';
    os << "quit" << '\n';
    os.close();
    if (!os)
        UTILS::WarnCannotWrite(name);
}

int run_gnuplot(const std::string& name) {
    const std::string command = "gnuplot " + name + ".gp";
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::cout << "Gnuplot execution failed:" << std::endl;
        std::cout << "\tcommand: " << command << std::endl;
        std::cout << "\tExit code: " << status << std::endl;
    } else {
        std::cout << std::endl << "Gnuplot execution success" << std::endl;
    }
    return status;
}

} // namespace PLOU
