#ifndef VESK_OUTPUT_PLOU_H
#define VESK_OUTPUT_PLOU_H

#include <ostream>
#include <string>

class POPULATION;
class WriteDataEA;

// Plot unit: writes the gnuplot script of a population-based optimiser and
// runs gnuplot on a script.
//
// The plot-statement writers take their column arguments as anything that can
// be streamed: a plain column number (1, 2, ...) or a column expression as
// text ("(ctrv($33) >=0? $1: 1/0 )"). Every writer ends with a flag: when it is
// set the statement is closed with a line end; when it is clear the statement
// stays open so that an append_* writer (which starts with " ,\") continues
// it, and the caller closes the last statement.
namespace PLOU {

// Writes <GetGPFilenameWOExt()>.gp for the counts of pop. A script that cannot
// be created is reported with a warning and the run goes on.
void create_file_gp(const POPULATION& pop, const WriteDataEA& out);
// Runs "gnuplot <name>.gp" and reports its exit status; the run goes on either way.
int run_gnuplot(const std::string& name);

// Bytes of the header (nobj, ndvs, nctr) that gnuplot skips in a binary
// population file.
constexpr unsigned kBinarySkip = 12;

// Binary record layout of a population file with nvalues = ndvs + nobj + nctr:
// "'%<nvalues>double%uint%double'".
std::string binary_format(unsigned nvalues);

// Text as it goes between the single quotes of a gnuplot string (objective
// names, file names, titles): a single quote is doubled, which is the only
// escape gnuplot knows there, and a control character (a line break would end
// the command) becomes a blank. Inside single quotes gnuplot substitutes
// neither backquotes nor macros and takes backslashes literally, so any text
// shows as text and no name can run a command.
std::string quoted_text(const std::string& text);

// The key part of a plot: "notitle" for an empty key, the key unchanged after
// "title " when it is a sprintf(...) expression, otherwise "title '<key>'".
std::string key_part(const std::string& key);

// The three label lines that open a stand-alone plot statement.
void out_labels(std::ostream& os, const std::string& title, const std::string& xlabel,
                const std::string& ylabel);

namespace detail {
inline void end_statement(std::ostream& os, bool end) {
    if (end)
        os << '\n';
}
} // namespace detail

template <typename X, typename Y>
void out_plot(std::ostream& os, const std::string& title, const std::string& xlabel,
              const std::string& ylabel, const std::string& file, const X& x, const Y& y,
              const std::string& style, const std::string& key, bool end) {
    out_labels(os, title, xlabel, ylabel);
    os << "plot '" << quoted_text(file) << "' using " << x << ":" << y << " with " << style << " "
       << key_part(key);
    detail::end_statement(os, end);
}

// As out_plot for a binary population file; format comes from binary_format().
template <typename X, typename Y>
void out_plot_b(std::ostream& os, const std::string& title, const std::string& xlabel,
                const std::string& ylabel, const std::string& file, const std::string& format,
                const X& x, const Y& y, const std::string& style, const std::string& key,
                bool end) {
    out_labels(os, title, xlabel, ylabel);
    os << "plot '" << quoted_text(file) << "' binary format=" << format << " skip=" << kBinarySkip
       << " using " << x << ":" << y << " with " << style << " " << key_part(key);
    detail::end_statement(os, end);
}

template <typename X, typename Y>
void append_plot(std::ostream& os, const std::string& file, const X& x, const Y& y,
                 const std::string& style, const std::string& key, bool end) {
    os << " ,\\" << '\n';
    os << "     '" << quoted_text(file) << "' using " << x << ":" << y << " with " << style << " "
       << key_part(key);
    detail::end_statement(os, end);
}

template <typename X, typename Y>
void append_plot_b(std::ostream& os, const std::string& file, const std::string& format, const X& x,
                   const Y& y, const std::string& style, const std::string& key, bool end) {
    os << " ,\\" << '\n';
    os << "     '" << quoted_text(file) << "' binary format=" << format << " skip=" << kBinarySkip
       << " using " << x << ":" << y << " with " << style << " " << key_part(key);
    detail::end_statement(os, end);
}

// One plot per data block (gnuplot "index") of file, from, to and step being
// numbers or gnuplot expressions.
template <typename From, typename To, typename Step, typename X, typename Y>
void out_block_plot(std::ostream& os, const std::string& title, const std::string& xlabel,
                    const std::string& ylabel, const std::string& file, const From& from,
                    const To& to, const Step& step, const X& x, const Y& y,
                    const std::string& style, const std::string& key, bool end) {
    out_labels(os, title, xlabel, ylabel);
    os << "plot for [IDX=" << from << ":" << to << ":" << step << "] '" << quoted_text(file)
       << "' index IDX using " << x << ":" << y << " with " << style << " " << key_part(key);
    detail::end_statement(os, end);
}

template <typename From, typename To, typename Step, typename X, typename Y>
void append_block_plot(std::ostream& os, const std::string& file, const From& from, const To& to,
                       const Step& step, const X& x, const Y& y, const std::string& style,
                       const std::string& key, bool end) {
    os << " ,\\" << '\n';
    os << "     for [IDX=" << from << ":" << to << ":" << step << "] '" << quoted_text(file)
       << "' index IDX using " << x << ":" << y << " with " << style << " " << key_part(key);
    detail::end_statement(os, end);
}

// Points coloured through the palette by a third column (or expression).
template <typename X, typename Y, typename C>
void out_plot_colour(std::ostream& os, const std::string& title, const std::string& xlabel,
                     const std::string& ylabel, const std::string& cblabel, const std::string& file,
                     const X& x, const Y& y, const C& colour, const std::string& style,
                     const std::string& key, bool end) {
    out_labels(os, title, xlabel, ylabel);
    os << "set   cblabel    '" << quoted_text(cblabel) << "'" << '\n';
    os << "plot '" << quoted_text(file) << "' using " << x << ":" << y << ":" << colour << " with "
       << style << " palette " << key_part(key);
    detail::end_statement(os, end);
}

template <typename X, typename Y, typename C>
void out_plot_colour_b(std::ostream& os, const std::string& title, const std::string& xlabel,
                       const std::string& ylabel, const std::string& cblabel,
                       const std::string& file, const std::string& format, const X& x, const Y& y,
                       const C& colour, const std::string& style, const std::string& key,
                       bool end) {
    out_labels(os, title, xlabel, ylabel);
    os << "set   cblabel    '" << quoted_text(cblabel) << "'" << '\n';
    os << "plot '" << quoted_text(file) << "' binary format=" << format << " skip=" << kBinarySkip
       << " using " << x << ":" << y << ":" << colour << " with " << style << " palette "
       << key_part(key);
    detail::end_statement(os, end);
}

} // namespace PLOU

#endif
