#include "output/PIOURecords.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "model/UTILS.h"

namespace PIOU {

namespace {

bool IsBlank(const std::string& line) {
    for (char ch : line)
        if (!std::isspace(static_cast<unsigned char>(ch)))
            return false;
    return true;
}

// A whole word read as a number, the way the readers accept numbers
// (including inf and nan).
bool IsNumber(const std::string& word, double* value = nullptr) {
    if (word.empty())
        return false;
    const char* start = word.c_str();
    char* stop = nullptr;
    errno = 0;
    const double x = std::strtod(start, &stop);
    if (stop != start + word.size())
        return false;
    if (value != nullptr)
        *value = x;
    return true;
}

bool IsUnsignedInteger(const std::string& word) {
    std::string digits = word;
    if (!digits.empty() && digits[0] == '+')
        digits.erase(0, 1);
    if (digits.empty() || digits.size() > 10)
        return false;
    for (char ch : digits)
        if (!std::isdigit(static_cast<unsigned char>(ch)))
            return false;
    return std::stoull(digits) <= 4294967295ull;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream is(line);
    std::vector<std::string> words;
    std::string word;
    while (is >> word)
        words.push_back(word);
    return words;
}

// The name of field k of a record of the layout.
std::string Field(const RecordLayout& layout, unsigned long long k) {
    if (!layout.population)
        return "design variable dvs[" + std::to_string(k) + "]";
    if (k < layout.nobj)
        return "objective obj[" + std::to_string(k) + "]";
    k -= layout.nobj;
    if (k < layout.ndvs)
        return "design variable dvs[" + std::to_string(k) + "]";
    k -= layout.ndvs;
    if (k < layout.nctr)
        return "constraint ctr[" + std::to_string(k) + "]";
    return k == layout.nctr ? "the rank (an unsigned integer)" : "the crowding distance";
}

std::string Expected(const RecordLayout& layout) {
    if (!layout.population)
        return std::to_string(layout.ndvs) + " design-variable values";
    const unsigned long long n =
        static_cast<unsigned long long>(layout.nobj) + layout.ndvs + layout.nctr + 2;
    return std::to_string(layout.nobj) + " objective values, " + std::to_string(layout.ndvs) +
           " design variables, " + std::to_string(layout.nctr) +
           " constraint values, the rank and the crowding distance (" + std::to_string(n) +
           " numbers)";
}

// What is wrong with the record line, for the message.
std::string Found(const std::string& line, const RecordLayout& layout) {
    const unsigned long long n = layout.population ? static_cast<unsigned long long>(layout.nobj) +
                                                         layout.ndvs + layout.nctr + 2
                                                   : layout.ndvs;
    const unsigned long long rank = n - 2;
    const std::vector<std::string> words = Words(line);
    for (unsigned long long k = 0; k < n; ++k) {
        if (k >= words.size())
            return "only " + std::to_string(k) + " numbers: the record is cut or incomplete";
        const bool ok =
            layout.population && k == rank ? IsUnsignedInteger(words[k]) : IsNumber(words[k]);
        if (!ok)
            return "\"" + words[k].substr(0, 40) + "\" where " + Field(layout, k) + " belongs";
    }
    if (words.size() > n && IsNumber(words[n]))
        return "more numbers than that: the record does not match the counts of the file";
    return "a record that cannot be read";
}

// Stops with a message about the file as a whole.
[[noreturn]] void StopFile(const std::string& file, const std::string& problem) {
    UTILS::Stop({"File " + file + " " + problem, "Program stopped!"});
}

// The line number of the record at index in what is left of is, whose
// previous line was line number (comment and blank lines are no records); 0
// when the file ends first.
unsigned NthRecordLine(std::istream& is, unsigned number, unsigned index) {
    std::string line;
    unsigned records = 0;
    while (std::getline(is, line)) {
        ++number;
        if ((!line.empty() && line[0] == '#') || IsBlank(line))
            continue;
        if (records++ == index)
            return number;
    }
    return 0;
}

} // namespace

unsigned line_before(const std::string& file, std::streampos next) {
    std::ifstream is(file, std::ios::binary);
    unsigned lines = 0;
    bool open_line = false;
    std::streamoff read = 0;
    const bool to_end = next == std::streampos(-1);
    char ch = 0;
    while ((to_end || read < static_cast<std::streamoff>(next)) && is.get(ch)) {
        ++read;
        if (ch == '\n') {
            ++lines;
            open_line = false;
        } else {
            open_line = true;
        }
    }
    // A last line without its line break counts as well.
    return open_line ? lines + 1 : lines;
}

unsigned design_record_line(const std::string& file, unsigned index) {
    std::ifstream is(file);
    return NthRecordLine(is, 0, index);
}

unsigned population_record_line(const std::string& file, unsigned index) {
    std::ifstream is(file);
    std::string line;
    unsigned number = 0;
    bool found[3] = {false, false, false};
    while (!(found[0] && found[1] && found[2]) && std::getline(is, line)) {
        ++number;
        for (const std::string& word : Words(line)) {
            if (word == "ndvs" || word == "NDVS")
                found[0] = true;
            else if (word == "nobj" || word == "NOBJ")
                found[1] = true;
            else if (word == "nctr" || word == "NCTR")
                found[2] = true;
        }
    }
    return NthRecordLine(is, number, index);
}

bool parse_number(const std::string& word, double& x) {
    return IsNumber(word, &x);
}

bool value_ends(const char* p, const char* end) {
    return p >= end || std::isspace(static_cast<unsigned char>(*p));
}

bool no_number_follows(const char* p, const char* end) {
    if (!value_ends(p, end))
        return false;
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    const char* stop = p;
    while (stop < end && !std::isspace(static_cast<unsigned char>(*stop)))
        ++stop;
    return !IsNumber(std::string(p, stop));
}

bool parse_design_record(const std::string& line, std::vector<double>& dvs) {
    const std::vector<std::string> words = Words(line);
    if (words.size() < dvs.size())
        return false;
    for (size_t k = 0; k < dvs.size(); ++k)
        if (!IsNumber(words[k], &dvs[k]))
            return false;
    return words.size() == dvs.size() || !IsNumber(words[dvs.size()]);
}

void stop_bad_record(const std::string& file, std::streampos next, const std::string& line,
                     const RecordLayout& layout) {
    UTILS::Stop({"File " + file + ", line " + std::to_string(line_before(file, next)) +
                     ": expected " + Expected(layout) + ", found " + Found(line, layout) + ".",
                 "Program stopped!"});
}

void check_population_counts(const std::string& file, long long nobj, long long ndvs,
                             long long nctr) {
    if (nobj < 0 || ndvs < 0 || nctr < 0)
        StopFile(file, "does not hold a population: its header counts (nobj " +
                           std::to_string(nobj) + ", ndvs " + std::to_string(ndvs) + ", nctr " +
                           std::to_string(nctr) + ") are not valid.");
    const std::string problem = UTILS::DesignLimitProblem(static_cast<unsigned long long>(ndvs),
                                                          static_cast<unsigned long long>(nobj),
                                                          static_cast<unsigned long long>(nctr));
    if (!problem.empty())
        StopFile(file, "has header counts beyond the limits: " + problem + ".");
}

void check_binary_population(const std::string& file, int32_t nobj, int32_t ndvs, int32_t nctr) {
    check_population_counts(file, nobj, ndvs, nctr);
    struct stat info;
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    const unsigned long long size = static_cast<unsigned long long>(info.st_size);
    const unsigned long long record =
        8ull * (static_cast<unsigned long long>(nobj) + ndvs + nctr) + 12ull;
    const unsigned long long body = size >= 12 ? size - 12 : 0;
    const unsigned long long extra = body % record;
    if (extra != 0)
        StopFile(file, "holds " + std::to_string(body / record) + " whole records of " +
                           std::to_string(record) + " bytes (nobj " + std::to_string(nobj) +
                           ", ndvs " + std::to_string(ndvs) + ", nctr " + std::to_string(nctr) +
                           ") after its 12-byte header, then " + std::to_string(extra) +
                           " bytes more: its last record is cut, or the header does not "
                           "describe its records.");
}

} // namespace PIOU
