#include "output/PIOU.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>

#include "model/UTILS.h"
#include "output/PIOURecords.h"

namespace PIOU {

namespace {

[[noreturn]] void StopNotFound(const std::string& file) {
    UTILS::Stop({"File " + file + " not found.", "Program stopped!"});
}

bool IsBlank(const std::string& line) {
    for (char ch : line)
        if (!std::isspace(static_cast<unsigned char>(ch)))
            return false;
    return true;
}

const char* SkipBlanks(const char* p, const char* end) {
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// Reads the next number of a record line from [p, end) (end points at the
// line's terminating null) and moves p past it. Besides what stream
// extraction accepts, it reads back everything the writers produce: "inf",
// "-inf", "nan" and "-nan" (an analyser may return them), and the largest
// finite double, which ten digits after the point round to 1.7976931349e+308,
// just past it. Such an overflowing value is taken as the largest finite
// double of its sign (the marker of a missing result) instead of failing,
// which made the reader drop every record holding one.
bool ParseNumber(const char*& p, const char* end, double& x) {
    p = SkipBlanks(p, end);
    const char* start = p;
    if (start < end && *start == '+' && start + 1 < end && start[1] != '+' && start[1] != '-')
        ++start;
    const std::from_chars_result r = std::from_chars(start, end, x);
    if (r.ec == std::errc::invalid_argument)
        return false;
    if (r.ec == std::errc::result_out_of_range) {
        // strtod gives the overflow (infinite) or underflow (zero or
        // subnormal) value that from_chars leaves out.
        x = std::strtod(start, nullptr);
        if (std::isinf(x))
            x = std::copysign(std::numeric_limits<double>::max(), x);
    }
    p = r.ptr;
    return true;
}

bool ParseRecordVector(const char*& p, const char* end, std::vector<double>& v) {
    for (double& x : v) {
        if (!ParseNumber(p, end, x)) {
            std::cout << "Failed extracting vector components" << std::endl;
            return false;
        }
    }
    return true;
}

bool ParseRank(const char*& p, const char* end, uint32_t& rank) {
    p = SkipBlanks(p, end);
    if (p < end && *p == '+')
        ++p;
    unsigned long long value = 0;
    const std::from_chars_result r = std::from_chars(p, end, value);
    if (r.ec != std::errc() || value > std::numeric_limits<uint32_t>::max())
        return false;
    p = r.ptr;
    rank = static_cast<uint32_t>(value);
    return true;
}

// Reads the three counts from the header of an ASCII population file: the
// words following the keywords, on one or several lines.
void ReadAsciiHeader(std::istream& is, const std::string& file, const char* kdvs, const char* kobj,
                     const char* kctr, unsigned& ndvs, unsigned& nobj, unsigned& nctr) {
    bool found[3] = {false, false, false};
    std::string line;
    while (!(found[0] && found[1] && found[2])) {
        if (!std::getline(is, line))
            UTILS::Stop({"Header information incomplete", "Program stopped!"});
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            int which = -1;
            if (word == kdvs || (kdvs == std::string("ndvs") && word == "NDVS"))
                which = 0;
            else if (word == kobj || (kobj == std::string("nobj") && word == "NOBJ"))
                which = 1;
            else if (word == kctr || (kctr == std::string("nctr") && word == "NCTR"))
                which = 2;
            if (which < 0)
                continue;
            long long value = -1;
            if (!(words >> value) || value < 0 || value > 100000000)
                UTILS::Stop({"File " + file + ": the header keyword \"" + word +
                                 "\" must be followed by a count (an unsigned integer).",
                             "Program stopped!"});
            unsigned& target = which == 0 ? ndvs : (which == 1 ? nobj : nctr);
            target = static_cast<unsigned>(value);
            found[which] = true;
            std::cout << "   " << (which == 0 ? "ndvs" : (which == 1 ? "nobj" : "nctr")) << " = "
                      << target << std::endl;
        }
    }
}

POPULATION ReadAscii(const std::string& file, const char* kdvs, const char* kobj,
                     const char* kctr) {
    std::cout << "> Reading population ASCII file: " << file << std::endl;
    std::ifstream is(file);
    if (!is)
        StopNotFound(file);
    unsigned ndvs = 0, nobj = 0, nctr = 0;
    ReadAsciiHeader(is, file, kdvs, kobj, kctr, ndvs, nobj, nctr);
    check_population_counts(file, nobj, ndvs, nctr);
    const RecordLayout layout{nobj, ndvs, nctr, true};
    POPULATION pop(file, static_cast<int>(ndvs), static_cast<int>(nobj), static_cast<int>(nctr), 0,
                   false);
    INDIVIDUAL work(static_cast<int>(ndvs), static_cast<int>(nobj), static_cast<int>(nctr),
                    nullptr);
    std::vector<double> obj(nobj), dvs(ndvs), ctr(nctr);
    std::cout << "   Reading individuals" << std::endl;
    std::string line;
    while (std::getline(is, line)) {
        if ((!line.empty() && line[0] == '#') || IsBlank(line))
            continue;
        const char* p = line.c_str();
        const char* end = p + line.size();
        // A record must hold its values, the rank and the crowding distance
        // (every writer writes them), so that a cut record is refused.
        uint32_t rank = 0;
        double crowd = 0.0;
        if (!ParseRecordVector(p, end, obj) || !ParseRecordVector(p, end, dvs) ||
            !ParseRecordVector(p, end, ctr) || !ParseRank(p, end, rank) || !value_ends(p, end) ||
            !ParseNumber(p, end, crowd) || !no_number_follows(p, end))
            stop_bad_record(file, is.tellg(), line, layout);
        work.SetDvs(dvs);
        work.SetEval(obj, ctr);
        pop.PushBackNewInd(work);
        pop.back().rank = rank;
        pop.back().crowd_distance = crowd;
    }
    std::cout << "   Individuals read " << pop.GetPopsize() << std::endl;
    std::cout << "< Done." << std::endl;
    return pop;
}

} // namespace

void out_individual_ascii(std::ostream& os, const INDIVIDUAL& ind, int width) {
    // The stream is left in the number format of the record, as callers
    // expect; the line itself is formatted in a buffer and written at once,
    // which is several times faster than formatting each field through the
    // stream (the digits are the same: both are the shortest correctly rounded
    // "%.10e").
    os << std::scientific << std::setprecision(10) << std::left;
    const size_t fields = ind.GetNobj() + ind.GetNdvs() + ind.GetNctr() + 2;
    std::string line;
    line.reserve(fields * static_cast<size_t>(std::max(width, 24)) + 1);
    const char fill = os.fill();
    char buffer[64];
    auto field = [&](const char* last) {
        const std::ptrdiff_t n = last - buffer;
        line.append(buffer, static_cast<size_t>(n));
        if (n < width)
            line.append(static_cast<size_t>(width - n), fill);
    };
    auto real = [&](double v) {
        field(std::to_chars(buffer, buffer + sizeof(buffer), v, std::chars_format::scientific, 10)
                  .ptr);
    };
    for (double v : ind.GetObj())
        real(v);
    for (double v : ind.GetDvs())
        real(v);
    for (double v : ind.GetCtr())
        real(v);
    field(std::to_chars(buffer, buffer + sizeof(buffer), ind.rank).ptr);
    real(ind.crowd_distance);
    line += '\n';
    os.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void out_individual_bin(std::ostream& os, const INDIVIDUAL& ind) {
    // One record: objectives, design variables, constraints, rank, crowding.
    std::vector<double> values;
    values.reserve(ind.GetNobj() + ind.GetNdvs() + ind.GetNctr());
    values.insert(values.end(), ind.GetObj().begin(), ind.GetObj().end());
    values.insert(values.end(), ind.GetDvs().begin(), ind.GetDvs().end());
    values.insert(values.end(), ind.GetCtr().begin(), ind.GetCtr().end());
    os.write(reinterpret_cast<const char*>(values.data()),
             static_cast<std::streamsize>(values.size() * sizeof(double)));
    const uint32_t rank = ind.rank;
    os.write(reinterpret_cast<const char*>(&rank), sizeof(rank));
    os.write(reinterpret_cast<const char*>(&ind.crowd_distance), sizeof(double));
}

void out_individual_header(std::ostream& os, unsigned nobj, unsigned ndvs, unsigned nctr,
                           int width) {
    std::vector<std::string> labels;
    for (unsigned i = 0; i < nobj; ++i)
        labels.push_back("obj[" + std::to_string(i) + "]");
    for (unsigned i = 0; i < ndvs; ++i)
        labels.push_back("dvs[" + std::to_string(i) + "]");
    for (unsigned i = 0; i < nctr; ++i)
        labels.push_back("ctr[" + std::to_string(i) + "]");
    labels.push_back("rank");
    labels.push_back("crowd_distance");
    // The leading "# " makes the line a comment for the readers and gnuplot.
    labels[0] = "# " + labels[0];
    os << std::left;
    for (const auto& label : labels)
        os << std::setw(width) << label;
    os << '\n';
}

void out_individual_header(std::ostream& os, const POPULATION& pop, int width) {
    out_individual_header(os, pop.GetNobj(), pop.GetNdvs(), pop.GetNctr(), width);
}

void out_individual_header(std::ostream& os, const INDIVIDUAL& ind, int width) {
    out_individual_header(os, ind.GetNobj(), ind.GetNdvs(), ind.GetNctr(), width);
}

void out_population_header(std::ostream& os, const POPULATION& pop) {
    os << "# Writing information of population: " << pop.GetName() << '\n';
    os << "# nobj " << pop.GetNobj() << " ndvs " << pop.GetNdvs() << " nctr " << pop.GetNctr()
       << '\n';
}

void cout_individual(const INDIVIDUAL& ind) {
    out_individual_ascii(std::cout, ind, 20);
    std::cout.flush();
}

bool append_individual_ascii(const std::string& file, const INDIVIDUAL& ind) {
    std::ofstream os(file, std::ios::app);
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    out_individual_ascii(os, ind, 20);
    os.close();
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    return true;
}

bool append_individual_bin(const std::string& file, const INDIVIDUAL& ind) {
    std::ofstream os(file, std::ios::app | std::ios::binary);
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    out_individual_bin(os, ind);
    os.close();
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    return true;
}

bool append_individual(const std::string& file, const INDIVIDUAL& ind, bool ascii) {
    return ascii ? append_individual_ascii(file, ind) : append_individual_bin(file, ind);
}

POPULATION read_population_a(const std::string& file) {
    return ReadAscii(file, "ndvs", "nobj", "nctr");
}

POPULATION read_population_NSGA2(const std::string& file) {
    return ReadAscii(file, "real_var", "objectives", "constraints");
}

POPULATION read_population_b(const std::string& file) {
    std::cout << "> Reading population binary file: " << file << std::endl;
    std::ifstream is(file, std::ios::binary);
    if (!is)
        StopNotFound(file);
    std::cout << "   Reading header" << std::endl;
    int32_t counts[3] = {0, 0, 0};
    is.read(reinterpret_cast<char*>(counts), sizeof(counts));
    if (is.gcount() != static_cast<std::streamsize>(sizeof(counts)))
        UTILS::Stop({"File " + file +
                         " is too short to hold the 12-byte header of a binary "
                         "population file.",
                     "Program stopped!"});
    const int32_t nobj = counts[0], ndvs = counts[1], nctr = counts[2];
    check_binary_population(file, nobj, ndvs, nctr);
    std::cout << "   nobj = " << nobj << std::endl;
    std::cout << "   ndvs = " << ndvs << std::endl;
    std::cout << "   nctr = " << nctr << std::endl;
    POPULATION pop(file, ndvs, nobj, nctr, 0, false);
    INDIVIDUAL work(ndvs, nobj, nctr, nullptr);
    std::cout << "   Reading individuals" << std::endl;
    const size_t nvalues = static_cast<size_t>(nobj) + ndvs + nctr;
    const size_t record = nvalues * sizeof(double) + sizeof(uint32_t) + sizeof(double);
    std::vector<char> buffer(record);
    std::vector<double> values(nvalues);
    std::vector<double> obj(nobj), dvs(ndvs), ctr(nctr);
    std::streamsize trailing = 0;
    while (true) {
        is.read(buffer.data(), static_cast<std::streamsize>(record));
        const std::streamsize got = is.gcount();
        if (got < static_cast<std::streamsize>(record)) {
            trailing = got;
            break;
        }
        std::memcpy(values.data(), buffer.data(), nvalues * sizeof(double));
        uint32_t rank = 0;
        double crowd = 0.0;
        std::memcpy(&rank, buffer.data() + nvalues * sizeof(double), sizeof(rank));
        std::memcpy(&crowd, buffer.data() + nvalues * sizeof(double) + sizeof(rank), sizeof(crowd));
        std::copy(values.begin(), values.begin() + nobj, obj.begin());
        std::copy(values.begin() + nobj, values.begin() + nobj + ndvs, dvs.begin());
        std::copy(values.begin() + nobj + ndvs, values.end(), ctr.begin());
        work.rank = rank;
        work.crowd_distance = crowd;
        work.SetDvs(dvs);
        work.SetEval(obj, ctr);
        pop.PushBackNewInd(work);
    }
    if (trailing > 0)
        std::cout << "Warning: file " << file << " ends with " << trailing
                  << " bytes that do not make a whole record; they were ignored." << std::endl;
    std::cout << "   Individuals read " << pop.GetPopsize() << std::endl;
    std::cout << "< Done." << std::endl;
    return pop;
}

POPULATION read_population_dvs(const std::string& file, unsigned int ndvs, unsigned int nobj,
                               unsigned int nctr) {
    std::cout << "> Reading DVS file: " << file << std::endl;
    POPULATION pop(file, static_cast<int>(ndvs), static_cast<int>(nobj), static_cast<int>(nctr), 0,
                   false);
    std::ifstream is(file);
    if (!is)
        StopNotFound(file);
    std::cout << "   Reading individuals" << std::endl;
    std::vector<double> dvs(ndvs);
    std::string line;
    while (std::getline(is, line)) {
        if (!line.empty() && line[0] == '#') {
            std::cout << "comment line skipped" << std::endl;
            continue;
        }
        if (IsBlank(line))
            continue;
        if (!parse_design_record(line, dvs))
            stop_bad_record(file, is.tellg(), line, RecordLayout{nobj, ndvs, nctr, false});
        pop.PushBackNewInd(INDIVIDUAL(static_cast<int>(ndvs), static_cast<int>(nobj),
                                      static_cast<int>(nctr), nullptr));
        pop.back().SetDvs(dvs);
    }
    std::cout << "   Individuals read " << pop.GetPopsize() << std::endl;
    std::cout << "< Done." << std::endl;
    return pop;
}

POPULATION read_population(const std::string& file, bool ascii) {
    return ascii ? read_population_a(file) : read_population_b(file);
}

unsigned from_ascii_to_bin_file(const std::string& in, const std::string& out) {
    POPULATION pop = read_population_a(in);
    pop.WriteFileBin(out);
    return pop.GetPopsize();
}

unsigned from_bin_to_ascii_file(const std::string& in, const std::string& out) {
    POPULATION pop = read_population_b(in);
    pop.WriteFileAscii(out, false);
    return pop.GetPopsize();
}

} // namespace PIOU
