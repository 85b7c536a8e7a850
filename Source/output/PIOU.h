#ifndef VESK_OUTPUT_PIOU_H
#define VESK_OUTPUT_PIOU_H

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"

class OptimizationAlgorithm;
class GameAlgorithm;

// Population input/output unit: record layouts, file readers and writers,
// convergence lines, the external-evaluation files and the run-configuration
// loaders.
namespace PIOU {

// ---- large files ----
// Opens a file stream through a 256 KB buffer instead of the stream's 8 KB:
// every refill or full buffer is a system call, and a long run's children
// file or a restart's initial buffer takes hundreds of megabytes. The buffer
// returned must outlive the stream.
template <typename FileStream>
std::unique_ptr<char[]> open_buffered(FileStream& stream, const std::string& file,
                                      std::ios::openmode mode) {
    constexpr std::streamsize kSize = 1 << 18;
    std::unique_ptr<char[]> buffer(new char[kSize]);
    stream.rdbuf()->pubsetbuf(buffer.get(), kSize);
    stream.open(file, mode);
    return buffer;
}

// ---- individuals and populations ----
void out_individual_ascii(std::ostream& os, const INDIVIDUAL& ind, int width);
void out_individual_bin(std::ostream& os, const INDIVIDUAL& ind);
void out_individual_header(std::ostream& os, const POPULATION& pop, int width);
void out_individual_header(std::ostream& os, const INDIVIDUAL& ind, int width);
void out_individual_header(std::ostream& os, unsigned nobj, unsigned ndvs, unsigned nctr,
                           int width);
void out_population_header(std::ostream& os, const POPULATION& pop);
void cout_individual(const INDIVIDUAL& ind);
// Each append opens the file, writes one record and closes it; false (after a
// one-time warning naming the file) when the file cannot be opened.
bool append_individual_ascii(const std::string& file, const INDIVIDUAL& ind);
bool append_individual_bin(const std::string& file, const INDIVIDUAL& ind);
bool append_individual(const std::string& file, const INDIVIDUAL& ind, bool ascii);
// The same records gathered in memory first: add_individual_record appends
// ind's record (as append_individual would write it) to records, and
// append_records writes them all with one open, write and close; false (after
// the one-time warning) when the file cannot be written.
void add_individual_record(std::string& records, const INDIVIDUAL& ind, bool ascii);
bool append_records(const std::string& file, const std::string& records);

template <typename T> void out_vector(std::ostream& os, const std::vector<T>& v, int width) {
    for (const T& x : v) {
        os.width(width);
        os << std::left << x;
    }
}

// Reads v.size() values; 0 on success, 1 (with a message) at the first failure.
template <typename T> int extract_vector_components(std::istream& is, std::vector<T>& v) {
    for (T& x : v) {
        if (!(is >> x)) {
            std::cout << "Failed extracting vector components" << std::endl;
            return 1;
        }
    }
    return 0;
}

POPULATION read_population_a(const std::string& file);
POPULATION read_population_b(const std::string& file);
POPULATION read_population_NSGA2(const std::string& file);
POPULATION read_population_dvs(const std::string& file, unsigned int ndvs, unsigned int nobj,
                               unsigned int nctr);
POPULATION read_population(const std::string& file, bool ascii);
unsigned from_ascii_to_bin_file(const std::string& in, const std::string& out);
unsigned from_bin_to_ascii_file(const std::string& in, const std::string& out);

// ---- convergence lines ----
void out_convergence(std::ostream& os, const std::vector<double>& values, unsigned index);
void out_convergence(std::ostream& os, const std::vector<INDIVIDUAL>& bestfits, unsigned index);
void out_convergence_header(std::ostream& os, unsigned nobj, std::string first_title);
void cout_convergence(const std::vector<INDIVIDUAL>& bestfits, unsigned index);
void cout_convergence_header(unsigned nobj, std::string first_title);
void write_convergence_file(const std::string& file, const std::vector<INDIVIDUAL>& bestfits,
                            unsigned index);
void write_convergence_header_file(const std::string& file, unsigned nobj, std::string first_title);
void append_convergence_file(const std::string& file, const std::vector<double>& values,
                             unsigned index);
void append_convergence_file(const std::string& file, const std::vector<INDIVIDUAL>& bestfits,
                             unsigned index);
void append_convergence_header_file(const std::string& file, unsigned nobj,
                                    std::string first_title);
void simplify_convergence_file(const std::string& input, const std::string& output);
void process_convergence_from_population(const POPULATION& pop, std::string evaluation_file,
                                         std::string generation_file, unsigned long block);

// ---- external evaluation files ----
// The files through which an external command evaluates one design, all in
// the command's working folder: the design variables go in, the objectives
// and constraints come back.
extern const char* const kEvalDVsFile;         // "Eval.DVs"
extern const char* const kEvalObjectivesFile;  // "Eval.individual"
extern const char* const kEvalConstraintsFile; // "Eval.constraint"
// Writes "Eval.DVs" in folder (an empty folder means the current directory):
// the values on one line, scientific with ten digits, left-justified in fields
// of 20, no line end. False (after a one-time warning naming the file) when it
// cannot be written.
bool write_eval_dvs(const std::vector<double>& dvs, const std::string& folder);
// Removes the result files of folder before a new run, so that results of an
// earlier design can never be read as those of the next one. False when a
// result file is still there afterwards.
bool clear_eval_results(const std::string& folder);
// Reads "Eval.individual" (and "Eval.constraint" when ctr is not empty) from
// folder into obj and ctr. Every value needed must be a whole number token
// ("2garbage" is unreadable) with a finite value; extra content after the
// values needed is ignored. Returns an empty text when the results are
// complete, otherwise what is wrong, naming the file (values read before the
// problem stay in the vectors).
std::string read_eval_results(std::vector<double>& obj, std::vector<double>& ctr,
                              const std::string& folder);
// Sets every objective to the largest finite double and every constraint to
// its negative, so that a design whose evaluation failed is never feasible and
// never better than a design that was evaluated; prints the penalty message.
void apply_eval_penalty(std::vector<double>& obj, std::vector<double>& ctr);
// The first value of obj or ctr that is NaN or infinite, described ("objective
// 2 is nan"); empty when all are finite.
std::string non_finite_value(const std::vector<double>& obj, const std::vector<double>& ctr);

// ---- run configuration ----
// A single optimiser (mode 1) is handed back in opt, a game (mode 2), which
// owns its players, in game.
void load_input_file(std::unique_ptr<OptimizationAlgorithm>& opt,
                     std::unique_ptr<GameAlgorithm>& game, unsigned& mode,
                     std::vector<unsigned>& seeds);
void load_input_json_file(std::unique_ptr<OptimizationAlgorithm>& opt,
                          std::unique_ptr<GameAlgorithm>& game, unsigned& mode,
                          std::vector<unsigned>& seeds);
void read_obj_names(const std::string& file, std::vector<std::string>& names, unsigned nobj);

} // namespace PIOU

#endif
