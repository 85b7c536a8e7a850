#include "Mutations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace fuzz {

uint64_t Rng::Next() {
    uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

namespace {

// Numbers at and beyond the limits and formats of the readers. Values that
// are valid but make a run long (a population of 65536, a budget of 10^9)
// are left out on purpose: they are not faults, and a time-out must mean a
// hang. Counts just above the program's limits (1025 processors, 10^6 + 1)
// are in.
const char* const kNumbers[] = {"0",
                                "1",
                                "2",
                                "3",
                                "-1",
                                "-2",
                                "7",
                                "1025",
                                "1000001",
                                "2147483647",
                                "2147483648",
                                "4294967295",
                                "4294967296",
                                "-2147483648",
                                "18446744073709551616",
                                "1e6",
                                "0.5",
                                "-0.5",
                                "1.5",
                                "1e-320",
                                "1e308",
                                "-1e308",
                                "1e400",
                                "-1e400",
                                "nan",
                                "inf",
                                "-inf",
                                "+1",
                                "01",
                                "0x10",
                                "1e",
                                "2x",
                                "--1",
                                "1.0.0",
                                "",
                                "99999999999999999999"};

// Words and characters that readers trip over.
const char* const kJunk[] = {"x",    "#",
                             "'",    "\"",
                             "`",    "$(",
                             "\\",   "{",
                             "}",    "[",
                             "]",    ",",
                             ":",    "-",
                             "+",    ".",
                             "e",    "nul",
                             "true", "null",
                             "\t",   "\r",
                             "\xff", "\xc3\xa9",
                             "#!",   "$(touch pwned)"};

struct Span {
    size_t begin;
    size_t end;
};

std::vector<Span> Tokens(const std::string& text) {
    std::vector<Span> tokens;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            tokens.push_back({start, i});
    }
    return tokens;
}

// The numbers of the text, also those between punctuation (JSON).
std::vector<Span> Numbers(const std::string& text) {
    std::vector<Span> numbers;
    auto digit = [&](size_t k) {
        return k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]));
    };
    size_t i = 0;
    while (i < text.size()) {
        const bool after_word = i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) ||
                                          text[i - 1] == '_' || text[i - 1] == '.');
        const bool starts = digit(i) || ((text[i] == '-' || text[i] == '.') && digit(i + 1));
        if (!starts || after_word) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() &&
               (digit(j) || text[j] == '.' || text[j] == 'e' || text[j] == 'E' ||
                ((text[j] == '+' || text[j] == '-') && (text[j - 1] == 'e' || text[j - 1] == 'E'))))
            ++j;
        numbers.push_back({i, j});
        i = j;
    }
    return numbers;
}

struct Line {
    size_t begin;
    size_t end; // past the line break, if any
};

std::vector<Line> Lines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find('\n', start);
        stop = stop == std::string::npos ? text.size() : stop + 1;
        lines.push_back({start, stop});
        start = stop;
    }
    return lines;
}

std::string Pick(Rng& rng, const char* const* list, size_t n) {
    return list[rng.Below(n)];
}

std::string RandomNumberText(Rng& rng) {
    switch (rng.Below(4)) {
    case 0:
        return std::to_string(static_cast<long long>(rng.Below(40)) - 10);
    case 1:
        return std::to_string(rng.Below(1000)) + "." + std::to_string(rng.Below(1000));
    case 2:
        return "-" + std::to_string(rng.Below(100)) + "e" + std::to_string(rng.Below(20));
    default:
        return Pick(rng, kNumbers, sizeof(kNumbers) / sizeof(kNumbers[0]));
    }
}

std::string Replace(std::string& text, Span span, const std::string& with) {
    const std::string old = text.substr(span.begin, span.end - span.begin);
    text.replace(span.begin, span.end - span.begin, with);
    return "\"" + old.substr(0, 30) + "\" -> \"" + with.substr(0, 30) + "\"";
}

// Mutations of a binary population file: its header counts, a value of a
// record, its length.
std::string MutateBinary(std::string& bytes, Rng& rng) {
    const int32_t counts[] = {0, 1, 2, 3, -1, 1025, 30000000, 100000000, 2147483647, -2147483647};
    switch (rng.Below(4)) {
    case 0: {
        if (bytes.size() < 12)
            break;
        const size_t at = 4 * rng.Below(3);
        const int32_t value = counts[rng.Below(sizeof(counts) / sizeof(counts[0]))];
        std::memcpy(&bytes[at], &value, sizeof(value));
        return "header count at byte " + std::to_string(at) + " = " + std::to_string(value);
    }
    case 1: {
        if (bytes.size() < 20)
            break;
        const double values[] = {0.0 / 0.0, 1.0 / 0.0, -1e308, 1e-320, 6.0, -4.0};
        const size_t at = 12 + 8 * rng.Below((bytes.size() - 12) / 8);
        const double value = values[rng.Below(6)];
        std::memcpy(&bytes[at], &value, sizeof(value));
        return "double at byte " + std::to_string(at) + " overwritten";
    }
    case 2: {
        const size_t size = rng.Below(bytes.size() + 1);
        bytes.resize(size);
        return "cut to " + std::to_string(size) + " bytes";
    }
    default:
        break;
    }
    const size_t extra = 1 + rng.Below(70);
    for (size_t i = 0; i < extra; ++i)
        bytes += static_cast<char>(rng.Below(256));
    return std::to_string(extra) + " random bytes appended";
}

} // namespace

std::string Mutate(std::string& text, Rng& rng) {
    const bool binary = text.find('\0') != std::string::npos;
    if (binary && rng.Chance(70))
        return MutateBinary(text, rng);
    const std::vector<Span> tokens = Tokens(text);
    const std::vector<Line> lines = Lines(text);
    switch (rng.Below(16)) {
    case 0:
    case 1:
    case 2: { // a number replaced by a boundary value or another number
        std::vector<Span> numbers = Numbers(text);
        if (numbers.empty())
            break;
        const Span span = numbers[rng.Below(numbers.size())];
        const std::string with = rng.Chance(70)
                                     ? Pick(rng, kNumbers, sizeof(kNumbers) / sizeof(kNumbers[0]))
                                     : RandomNumberText(rng);
        return "number " + Replace(text, span, with);
    }
    case 3: { // a token deleted
        if (tokens.empty())
            break;
        return "token deleted: " + Replace(text, tokens[rng.Below(tokens.size())], "");
    }
    case 4: { // a token duplicated
        if (tokens.empty())
            break;
        const Span span = tokens[rng.Below(tokens.size())];
        const std::string token = text.substr(span.begin, span.end - span.begin);
        text.insert(span.end, " " + token);
        return "token duplicated: \"" + token.substr(0, 30) + "\"";
    }
    case 5: { // a token replaced by junk
        if (tokens.empty())
            break;
        return "token " + Replace(text, tokens[rng.Below(tokens.size())],
                                  Pick(rng, kJunk, sizeof(kJunk) / sizeof(kJunk[0])));
    }
    case 6: { // junk inserted anywhere
        const size_t at = rng.Below(text.size() + 1);
        const std::string junk = Pick(rng, kJunk, sizeof(kJunk) / sizeof(kJunk[0]));
        text.insert(at, junk);
        return "junk \"" + junk + "\" inserted at " + std::to_string(at);
    }
    case 7: { // a line deleted
        if (lines.empty())
            break;
        const Line line = lines[rng.Below(lines.size())];
        text.erase(line.begin, line.end - line.begin);
        return "line deleted at byte " + std::to_string(line.begin);
    }
    case 8: { // a line duplicated
        if (lines.empty())
            break;
        const Line line = lines[rng.Below(lines.size())];
        std::string copy = text.substr(line.begin, line.end - line.begin);
        if (copy.empty() || copy.back() != '\n')
            copy += '\n';
        text.insert(line.begin, copy);
        return "line duplicated at byte " + std::to_string(line.begin);
    }
    case 9: { // two lines swapped
        if (lines.size() < 2)
            break;
        size_t a = rng.Below(lines.size()), b = rng.Below(lines.size());
        if (a == b)
            break;
        if (a > b)
            std::swap(a, b);
        std::string la = text.substr(lines[a].begin, lines[a].end - lines[a].begin);
        std::string lb = text.substr(lines[b].begin, lines[b].end - lines[b].begin);
        if (la.empty() || la.back() != '\n')
            la += '\n';
        if (lb.empty() || lb.back() != '\n')
            lb += '\n';
        text = text.substr(0, lines[a].begin) + lb +
               text.substr(lines[a].end, lines[b].begin - lines[a].end) + la +
               text.substr(lines[b].end);
        return "lines " + std::to_string(a + 1) + " and " + std::to_string(b + 1) + " swapped";
    }
    case 10: { // the file cut short, often inside a record
        const size_t size = rng.Below(text.size() + 1);
        text.resize(size);
        return "cut to " + std::to_string(size) + " bytes";
    }
    case 11: { // a byte changed
        if (text.empty())
            break;
        const size_t at = rng.Below(text.size());
        text[at] =
            static_cast<char>(rng.Chance(50) ? rng.Below(256) : text[at] ^ (1 << rng.Below(8)));
        return "byte " + std::to_string(at) + " changed";
    }
    case 12: { // a digit changed inside a number
        std::vector<size_t> digits;
        for (size_t i = 0; i < text.size(); ++i)
            if (std::isdigit(static_cast<unsigned char>(text[i])))
                digits.push_back(i);
        if (digits.empty())
            break;
        const size_t at = digits[rng.Below(digits.size())];
        text[at] = static_cast<char>('0' + rng.Below(10));
        return "digit at byte " + std::to_string(at) + " changed";
    }
    case 13: { // a very long word
        const size_t at = tokens.empty() ? 0 : tokens[rng.Below(tokens.size())].begin;
        const size_t length = 4096 + rng.Below(16384);
        text.insert(at, std::string(length, rng.Chance(50) ? 'a' : '9') + " ");
        return "word of " + std::to_string(length) + " characters inserted";
    }
    case 14: { // blank lines or a comment line inserted
        const size_t at = lines.empty() ? 0 : lines[rng.Below(lines.size())].begin;
        const std::string what = rng.Chance(50) ? "\n\n" : "# comment\n";
        text.insert(at, what);
        return "blank or comment line inserted at byte " + std::to_string(at);
    }
    default:
        if (rng.Chance(30)) {
            text.clear();
            return "emptied";
        }
        break;
    }
    // Fallback: a number of the file replaced by a boundary value.
    const std::vector<Span> numbers = Numbers(text);
    if (numbers.empty()) {
        text += "\n" + RandomNumberText(rng) + "\n";
        return "number line appended";
    }
    return "number " + Replace(text, numbers[rng.Below(numbers.size())],
                               Pick(rng, kNumbers, sizeof(kNumbers) / sizeof(kNumbers[0])));
}

} // namespace fuzz
