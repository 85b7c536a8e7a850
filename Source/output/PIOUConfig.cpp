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

void config_error(std::istream& in, std::streampos start, const std::string& what) {
    std::string where = ConfigName();
    std::string found = "the end of the file";
    in.clear();
    if (start == std::streampos(-1)) {
        // The stream had already reached its end before this value.
        in.seekg(0, std::ios::end);
        start = in.tellg();
        in.clear();
    }
    if (start != std::streampos(-1)) {
        // Count the line breaks before the offending value to name its line.
        unsigned line = 1;
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
        std::string token;
        while (ch != std::char_traits<char>::eof() && !std::isspace(ch) && token.size() < 40) {
            token += static_cast<char>(ch);
            ch = in.get();
        }
        if (!token.empty())
            found = "\"" + token + "\"";
        where += ", line " + std::to_string(line);
    }
    UTILS::Stop({where + ": expected " + what + ", found " + found + ".", "Program stopped!"});
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
    read_value(in, count, count_what);
    skip_line(in);
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
