#ifndef VESK_OUTPUT_PIOURECORDS_H
#define VESK_OUTPUT_PIOURECORDS_H

// Checks of the records of population and design files. The readers call
// them where a record or a header turns out wrong; the run then stops with a
// message that names the file, the line and what the record should hold,
// instead of dropping the record or reading a wrong value.
//
// The cut-record rule: every writer of the program ends each record of an
// ASCII population file with the rank and the crowding distance, so a record
// read back must hold exactly its nobj + ndvs + nctr values, the rank (an
// unsigned integer) and the crowding distance. A record cut anywhere before
// its last field then lacks numbers and is refused; text after the crowding
// distance is a comment, but a further number means the record does not fit
// the header. A record of a design file holds exactly ndvs values, text after
// them being a comment.

#include <cstdint>
#include <ios>
#include <string>
#include <vector>

namespace PIOU {

// What a record should hold: a population record (values, rank, crowding
// distance) or a design record (ndvs values).
struct RecordLayout {
    unsigned nobj = 0;
    unsigned ndvs = 0;
    unsigned nctr = 0;
    bool population = true;
};

// The line (counted from 1) that ends just before position next of file,
// that is the line a reader has just taken with getline; next = -1 (the end
// of the file was reached) gives the last line.
unsigned line_before(const std::string& file, std::streampos next);

// The line (counted from 1) of record index (counted from 0) of a design file
// (lines starting with '#' and blank lines hold none), or of an ASCII
// population file (whose records follow the header: the lines up to the one
// holding the last of the three counts). 0 when the file has fewer records.
unsigned design_record_line(const std::string& file, unsigned index);
unsigned population_record_line(const std::string& file, unsigned index);

// True when p is at the end of a value: the end of the line or white space.
bool value_ends(const char* p, const char* end);
// True when the rest [p, end) of a record, after its last field, holds no
// further number (blank, or text taken as a comment).
bool no_number_follows(const char* p, const char* end);

// A whole word read as a number, as the readers take numbers (inf and nan
// included): false for "2x" or an empty word.
bool parse_number(const std::string& word, double& x);

// Reads a design record: exactly dvs.size() whole numbers, then nothing or
// text. False when the line does not hold them.
bool parse_design_record(const std::string& line, std::vector<double>& dvs);

// Stops the run: "File <file>, line <n>: expected <what the layout holds>,
// found <what is wrong>.", "Program stopped!". next is the reader's position
// after the line (see line_before).
[[noreturn]] void stop_bad_record(const std::string& file, std::streampos next,
                                  const std::string& line, const RecordLayout& layout);

// Stops the run when the header counts of a population file are negative or
// beyond the limits of a design (UTILS::kMaxDesignNumbers).
void check_population_counts(const std::string& file, long long nobj, long long ndvs,
                             long long nctr);
// For a binary population file, also when its size is not the 12-byte header
// followed by whole records of those counts: the last record is cut, or the
// header does not describe the records.
void check_binary_population(const std::string& file, int32_t nobj, int32_t ndvs, int32_t nctr);

} // namespace PIOU

#endif
