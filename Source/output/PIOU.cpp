#include "output/PIOU.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <limits>
#include <memory>
#include <sstream>

#include "model/UTILS.h"
#include "output/PIOURecords.h"

namespace PIOU {

namespace {

[[noreturn]] void StopNotFound(const std::string& file) {
    UTILS::Stop({"File " + file + " not found.", "Program stopped!"});
}

// std::isspace in the "C" locale (the program never sets another one),
// without a library call per character.
inline bool IsSpace(char ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

bool IsBlank(const std::string& line) {
    for (char ch : line)
        if (!IsSpace(ch))
            return false;
    return true;
}

const char* SkipBlanks(const char* p, const char* end) {
    while (p < end && IsSpace(*p))
        ++p;
    return p;
}

inline bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// The powers of ten that doubles hold exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The value of the eight ASCII digits at p, or false when one of the eight
// characters is not a digit (eight at once, as fast_float does).
inline bool EightDigits(const char* p, uint32_t& value) {
    uint64_t v = 0;
    std::memcpy(&v, p, sizeof(v));
    const uint64_t high_nibbles = v & 0xF0F0F0F0F0F0F0F0ull;
    const uint64_t above_nine = ((v + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4;
    if ((high_nibbles | above_nine) != 0x3333333333333333ull)
        return false;
    v -= 0x3030303030303030ull;
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
        32;
    value = static_cast<uint32_t>(v);
    return true;
}

// Reads a plain decimal number ([-]digits[.digits][e[+-]digits], as the
// writers produce) starting at p when that can be done exactly in one
// floating-point operation: with at most 15 digits and a power of ten up to
// 22, both the digits and the power are exact doubles, and a single
// multiplication or division rounds correctly (Clinger's fast path), giving
// the value that from_chars gives. Anything else returns false and is left to
// from_chars; so is a number followed by a character that could continue it.
// *end is the line's terminating null, which ends every scan below.
bool ParseSimpleDecimal(const char* p, const char* end, double& x, const char*& after) {
    const bool negative = *p == '-';
    const char* q = negative ? p + 1 : p;
    uint64_t digits = 0;
    int count = 0;
    while (IsDigit(*q)) {
        if (++count > 15)
            return false;
        digits = digits * 10 + static_cast<uint64_t>(*q++ - '0');
    }
    if (count == 0)
        return false;
    int fraction = 0;
    if (*q == '.') {
        const char* first = ++q;
        uint32_t eight = 0;
        if (end - q >= 8 && count <= 7 && EightDigits(q, eight)) {
            digits = digits * 100000000 + eight;
            count += 8;
            q += 8;
        }
        while (IsDigit(*q)) {
            if (++count > 15)
                return false;
            digits = digits * 10 + static_cast<uint64_t>(*q++ - '0');
        }
        fraction = static_cast<int>(q - first);
        if (fraction == 0)
            return false;
    }
    int exponent = 0;
    if (*q == 'e' || *q == 'E') {
        ++q;
        const bool minus = *q == '-';
        if (*q == '-' || *q == '+')
            ++q;
        int n = 0;
        while (IsDigit(*q)) {
            if (++n > 3)
                return false;
            exponent = exponent * 10 + (*q++ - '0');
        }
        if (n == 0)
            return false;
        if (minus)
            exponent = -exponent;
    }
    if (*q == '.' || *q == 'e' || *q == 'E')
        return false;
    const int scale = exponent - fraction;
    if (scale < -22 || scale > 22)
        return false;
    double value = static_cast<double>(digits);
    if (scale >= 0)
        value *= kExactPowersOfTen[scale];
    else
        value /= kExactPowersOfTen[-scale];
    x = negative ? -value : value;
    after = q;
    return true;
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
    if (ParseSimpleDecimal(start, end, x, p))
        return true;
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
    std::ifstream is;
    const auto buffer = open_buffered(is, file, std::ios::in);
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

// The integer nearest to m 2^e2 10^k (ties to even), computed exactly in
// 128-bit integers, in n; false when that is not possible without overflow
// (|k| above 27, so that 5^|k| fits 64 bits, or shifts too long).
bool RoundedScaled(uint64_t m, int e2, int k, uint64_t& n) {
    using u128 = unsigned __int128;
    struct Powers {
        uint64_t of5[28];
        constexpr Powers() : of5() {
            uint64_t p = 1;
            for (uint64_t& x : of5) {
                x = p;
                p *= 5;
            }
        }
    };
    static constexpr Powers kPow5;
    if (k > 27 || k < -27)
        return false;
    const int t = e2 + k; // the power of two left after 10^k = 5^k 2^k
    u128 quotient = 0;
    u128 remainder = 0;
    u128 divisor = 1;
    if (k >= 0) {
        const u128 product = static_cast<u128>(m) * kPow5.of5[k];
        if (t >= 0) {
            if (t > 40)
                return false;
            quotient = product << t;
        } else {
            if (-t > 120)
                return false;
            quotient = product >> -t;
            divisor = static_cast<u128>(1) << -t;
            remainder = product & (divisor - 1);
        }
    } else {
        u128 dividend = m;
        divisor = kPow5.of5[-k];
        if (t >= 0) {
            if (t > 60)
                return false;
            dividend <<= t;
        } else {
            if (-t > 60)
                return false;
            divisor <<= -t;
        }
        quotient = dividend / divisor;
        remainder = dividend % divisor;
    }
    const u128 twice = remainder * 2;
    if (twice > divisor || (twice == divisor && (quotient & 1) != 0))
        ++quotient;
    if ((quotient >> 64) != 0)
        return false;
    n = static_cast<uint64_t>(quotient);
    return true;
}

// The integer nearest to a 10^k, a = m 2^e2, in n; false when it cannot be
// formed. Mostly in one floating-point operation: for |k| up to 22 the power
// of ten is exact, so q = a 10^k is rounded once, and for q below 2^40 its
// error is at most 2^-13; the nearest integer is then certain unless the
// fraction of q lies within 2^-10 of one half. Those cases, and the others,
// are worked out exactly.
bool NearestScaled(double a, uint64_t m, int e2, int k, uint64_t& n) {
    if (k >= -22 && k <= 22) {
        const double q = k >= 0 ? a * kExactPowersOfTen[k] : a / kExactPowersOfTen[-k];
        if (q < 0x1p40) {
            const double whole = static_cast<double>(static_cast<int64_t>(q));
            const double fraction = q - whole;
            if (std::fabs(fraction - 0.5) > 0x1p-10) {
                n = static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
                return true;
            }
        }
    }
    return RoundedScaled(m, e2, k, n);
}

// Writes v as "%.10e" does (the number format of the result files) at out,
// which has room for 32 characters, and returns the end; the fixed-precision
// to_chars that gives the same digits costs several hundred instructions per
// number, most of a record's writing time. The eleven digits are the integer
// nearest to |v| 10^(10 - E), E the decimal exponent of v, rounded as printf
// does (ties to even). Decimal exponents beyond the exact arithmetic (below
// -17 or above 37), subnormal values, infinities and NaN are left to
// to_chars.
char* FormatScientific10(char* out, double v) {
    const double a = std::fabs(v);
    uint64_t n = 0;
    int exponent = 0;
    if (a != 0.0) {
        if (!(a >= std::numeric_limits<double>::min() && a <= std::numeric_limits<double>::max()))
            return std::to_chars(out, out + 32, v, std::chars_format::scientific, 10).ptr;
        uint64_t bits = 0;
        std::memcpy(&bits, &a, sizeof(bits));
        const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
        const int e2 = static_cast<int>(bits >> 52) - 1075; // a = m 2^e2
        // a lies in [2^(e2 + 52), 2^(e2 + 53)): E is floor((e2 + 52) log10 2)
        // or one more.
        const double estimate = (e2 + 52) * 0.30102999566398120;
        exponent = static_cast<int>(estimate);
        if (estimate < exponent)
            --exponent;
        bool done = NearestScaled(a, m, e2, 10 - exponent, n);
        if (done && n >= 100000000000ull) {
            ++exponent;
            done = NearestScaled(a, m, e2, 10 - exponent, n);
        }
        if (done && n == 100000000000ull) { // 9.99999999995... rounded up
            n = 10000000000ull;
            ++exponent;
        }
        if (!done || n < 10000000000ull || n >= 100000000000ull)
            return std::to_chars(out, out + 32, v, std::chars_format::scientific, 10).ptr;
    }
    // d.dddddddddd: the leading digit, then five pairs, stored in place
    // (building them in a separate array and copying it stalled on the
    // store-to-load forwarding), split so that the divisions do not wait on
    // one another.
    static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324"
                                     "25262728293031323334353637383940414243444546474849"
                                     "50515253545556575859606162636465666768697071727374"
                                     "75767778798081828384858687888990919293949596979899";
    char* o = out;
    if (std::signbit(v))
        *o++ = '-';
    const uint32_t high = static_cast<uint32_t>(n / 100000000); // 100..999
    const uint32_t low = static_cast<uint32_t>(n % 100000000);
    const uint32_t upper4 = low / 10000, lower4 = low % 10000;
    o[0] = static_cast<char>('0' + high / 100);
    o[1] = '.';
    std::memcpy(o + 2, kPairs + 2 * (high % 100), 2);
    std::memcpy(o + 4, kPairs + 2 * (upper4 / 100), 2);
    std::memcpy(o + 6, kPairs + 2 * (upper4 % 100), 2);
    std::memcpy(o + 8, kPairs + 2 * (lower4 / 100), 2);
    std::memcpy(o + 10, kPairs + 2 * (lower4 % 100), 2);
    o += 12;
    *o++ = 'e';
    *o++ = exponent < 0 ? '-' : '+';
    const int e = exponent < 0 ? -exponent : exponent;
    if (e >= 100)
        *o++ = static_cast<char>('0' + e / 100);
    *o++ = static_cast<char>('0' + e / 10 % 10);
    *o++ = static_cast<char>('0' + e % 10);
    return o;
}

} // namespace

namespace {

// One ASCII record line (with its line end), formatted in place: on the stack
// when it fits, as nearly every record does.
class AsciiRecord {
public:
    AsciiRecord(const INDIVIDUAL& ind, int width, char fill) {
        const size_t fields = ind.GetNobj() + ind.GetNdvs() + ind.GetNctr() + 2;
        const size_t slot = static_cast<size_t>(std::max(width, 32));
        line = stack;
        if (fields * slot + 1 > sizeof(stack)) {
            heap.resize(fields * slot + 1);
            line = heap.data();
        }
        char* o = line;
        auto pad = [&](char* start) {
            const std::ptrdiff_t n = o - start;
            if (n < width) {
                std::memset(o, fill, static_cast<size_t>(width - n));
                o += width - n;
            }
        };
        auto real = [&](double v) {
            char* start = o;
            o = FormatScientific10(o, v);
            pad(start);
        };
        for (double v : ind.GetObj())
            real(v);
        for (double v : ind.GetDvs())
            real(v);
        for (double v : ind.GetCtr())
            real(v);
        char* start = o;
        o = std::to_chars(o, o + 16, ind.rank).ptr;
        pad(start);
        real(ind.crowd_distance);
        *o++ = '\n';
        length = static_cast<size_t>(o - line);
    }
    AsciiRecord(const AsciiRecord&) = delete;
    AsciiRecord& operator=(const AsciiRecord&) = delete;
    const char* data() const { return line; }
    size_t size() const { return length; }

private:
    char stack[4096];
    std::vector<char> heap;
    char* line;
    size_t length;
};

// One binary record: objectives, design variables, constraints, rank,
// crowding distance.
std::vector<char> BinaryRecord(const INDIVIDUAL& ind) {
    const size_t nvalues = ind.GetNobj() + ind.GetNdvs() + ind.GetNctr();
    std::vector<char> bytes(nvalues * sizeof(double) + sizeof(uint32_t) + sizeof(double));
    char* o = bytes.data();
    for (const std::vector<double>* v : {&ind.GetObj(), &ind.GetDvs(), &ind.GetCtr()}) {
        // An empty vector (no constraints) may hold no buffer at all, and
        // memcpy must not be given a null pointer even for no bytes.
        if (v->empty())
            continue;
        std::memcpy(o, v->data(), v->size() * sizeof(double));
        o += v->size() * sizeof(double);
    }
    const uint32_t rank = ind.rank;
    std::memcpy(o, &rank, sizeof(rank));
    std::memcpy(o + sizeof(rank), &ind.crowd_distance, sizeof(double));
    return bytes;
}

// Opens file for appending (created when missing, as a C++ stream in append
// mode does), writes size bytes and closes it. The system calls are made
// directly: the children file receives one record per evaluation, and a
// stream's set-up for a single record cost more than the writing. False when
// the file cannot be opened; a failed write goes unreported, as with the
// stream.
bool AppendBytes(const std::string& file, const char* data, size_t size) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A full disk: the caller reports the file with this reason.
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            errno = error;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return ::close(fd) == 0;
}

} // namespace

void out_individual_ascii(std::ostream& os, const INDIVIDUAL& ind, int width) {
    // The stream is left in the number format of the record, as callers
    // expect; the line itself is formatted in a buffer and written at once,
    // which is several times faster than formatting each field through the
    // stream (the digits are the same: both are the correctly rounded
    // "%.10e").
    os << std::scientific << std::setprecision(10) << std::left;
    const AsciiRecord record(ind, width, os.fill());
    os.write(record.data(), static_cast<std::streamsize>(record.size()));
}

void out_individual_bin(std::ostream& os, const INDIVIDUAL& ind) {
    const std::vector<char> record = BinaryRecord(ind);
    os.write(record.data(), static_cast<std::streamsize>(record.size()));
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
    const AsciiRecord record(ind, 20, ' ');
    if (!AppendBytes(file, record.data(), record.size())) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    return true;
}

bool append_individual_bin(const std::string& file, const INDIVIDUAL& ind) {
    const std::vector<char> record = BinaryRecord(ind);
    if (!AppendBytes(file, record.data(), record.size())) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    return true;
}

bool append_individual(const std::string& file, const INDIVIDUAL& ind, bool ascii) {
    return ascii ? append_individual_ascii(file, ind) : append_individual_bin(file, ind);
}

void add_individual_record(std::string& records, const INDIVIDUAL& ind, bool ascii) {
    if (ascii) {
        const AsciiRecord record(ind, 20, ' ');
        records.append(record.data(), record.size());
    } else {
        const std::vector<char> record = BinaryRecord(ind);
        records.append(record.data(), record.size());
    }
}

bool append_records(const std::string& file, const std::string& records) {
    if (records.empty())
        return true;
    if (!AppendBytes(file, records.data(), records.size())) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    return true;
}

POPULATION read_population_a(const std::string& file) {
    return ReadAscii(file, "ndvs", "nobj", "nctr");
}

POPULATION read_population_NSGA2(const std::string& file) {
    return ReadAscii(file, "real_var", "objectives", "constraints");
}

POPULATION read_population_b(const std::string& file) {
    std::cout << "> Reading population binary file: " << file << std::endl;
    std::ifstream is;
    const auto file_buffer = open_buffered(is, file, std::ios::in | std::ios::binary);
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
    std::ifstream is;
    const auto buffer = open_buffered(is, file, std::ios::in);
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
