#include "output/PIOUConfig.h"

#include <cctype>
#include <limits>

#include "model/UTILS.h"

namespace PIOU {

namespace {
std::string& ConfigName() {
    static std::string name = "input.QERN";
    return name;
}
} // namespace

void set_config_name(const std::string& name) {
    ConfigName() = name;
}

std::string get_config_name() {
    return ConfigName();
}

namespace {

// Finds the line of the value that starts at or after start and its first
// word (empty at the end of the file); moves the stream.
void LocateValue(std::istream& in, std::streampos start, unsigned& line, std::string& token) {
    line = 0;
    token.clear();
    in.clear();
    if (start == std::streampos(-1)) {
        // The stream had already reached its end before this value.
        in.seekg(0, std::ios::end);
        start = in.tellg();
        in.clear();
    }
    if (start == std::streampos(-1))
        return;
    // Count the line breaks before the value to name its line.
    line = 1;
    in.seekg(0);
    for (std::streamoff i = 0; i < static_cast<std::streamoff>(start); ++i) {
        const int ch = in.get();
        if (ch == std::char_traits<char>::eof())
            break;
        if (ch == '\n')
            ++line;
    }
    int ch = in.get();
    while (ch != std::char_traits<char>::eof() && std::isspace(ch)) {
        if (ch == '\n')
            ++line;
        ch = in.get();
    }
    while (ch != std::char_traits<char>::eof() && !std::isspace(ch) && token.size() < 40) {
        token += static_cast<char>(ch);
        ch = in.get();
    }
}

std::string Place(unsigned line) {
    return line == 0 ? ConfigName() : ConfigName() + ", line " + std::to_string(line);
}

} // namespace

void config_error(std::istream& in, std::streampos start, const std::string& what) {
    unsigned line = 0;
    std::string token;
    LocateValue(in, start, line, token);
    const std::string found = token.empty() ? "the end of the file" : "\"" + token + "\"";
    UTILS::Stop(
        {Place(line) + ": expected " + what + ", found " + found + ".", "Program stopped!"});
}

std::string config_place(std::istream& in, std::streampos start) {
    const std::ios::iostate state = in.rdstate();
    in.clear();
    const std::streampos here = in.tellg();
    unsigned line = 0;
    std::string token;
    LocateValue(in, start, line, token);
    in.clear();
    if (here != std::streampos(-1))
        in.seekg(here);
    else
        in.seekg(0, std::ios::end);
    in.clear(state);
    return Place(line);
}

void config_stop(std::istream& in, std::streampos start, const std::string& problem) {
    UTILS::Stop({config_place(in, start) + ": " + problem, "Program stopped!"});
}

unsigned long long words_left(std::istream& in) {
    const std::ios::iostate state = in.rdstate();
    in.clear();
    const std::streampos here = in.tellg();
    if (here == std::streampos(-1)) {
        in.clear(state);
        return 0;
    }
    in.seekg(0, std::ios::end);
    const std::streampos end = in.tellg();
    in.seekg(here);
    in.clear(state);
    if (end == std::streampos(-1) || end <= here)
        return 0;
    // A word takes one character and, but for the last, one separator.
    return (static_cast<unsigned long long>(end - here) + 1) / 2;
}

void skip_line(std::istream& in) {
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

bool number_ends_cleanly(std::istream& in) {
    const int ch = in.peek();
    if (ch == std::char_traits<char>::eof()) {
        in.clear(in.rdstate() & ~std::ios::failbit);
        return true;
    }
    return std::isspace(ch) != 0;
}

std::vector<std::string> read_word_list(std::istream& in, const std::string& count_what,
                                        const std::string& item_what) {
    unsigned count = 0;
    const std::streampos start = read_placed(in, count, count_what);
    skip_line(in);
    // The words follow the count in this file, so a count that the rest of the
    // file cannot hold is wrong, whatever memory the machine has.
    const unsigned long long room = words_left(in);
    if (count > room)
        config_stop(in, start,
                    count_what.substr(0, count_what.find(" (")) + " is " + std::to_string(count) +
                        ", more than the rest of the file can hold (" + std::to_string(room) +
                        " words at most).");
    std::vector<std::string> words(count);
    read_values(in, words, item_what);
    if (count > 0)
        skip_line(in);
    return words;
}

void json_error(const std::string& path, const std::string& problem) {
    UTILS::Stop({"input.jsn: key \"" + path + "\": " + problem + ".", "Program stopped!"});
}

} // namespace PIOU
