#ifndef VESK_OUTPUT_PIOUCONFIG_H
#define VESK_OUTPUT_PIOUCONFIG_H

// Checked reading of the configuration files. The text files are read value by
// value with ordinary stream extraction; a value that is missing or malformed
// stops the run before anything is evaluated, with a message that names the
// file, the line and what was expected. JSON keys are read the same way, the
// message naming the key.

#include <istream>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

namespace PIOU {

// Name used in messages about the text stream being read ("input.QERN" unless
// a reader of another file sets its own while it reads).
void set_config_name(const std::string& name);
std::string get_config_name();

// Stops the run: "<file>, line <n>: expected <what>, found <text>."
[[noreturn]] void config_error(std::istream& in, std::streampos start, const std::string& what);

// "<file>, line <n>" for the value that starts at or after position start of
// the stream (white space skipped); the stream is left where it was.
std::string config_place(std::istream& in, std::streampos start);

// Stops the run: "<file>, line <n>: <problem>", "Program stopped!", for the
// value that starts at or after start.
[[noreturn]] void config_stop(std::istream& in, std::streampos start, const std::string& problem);

// How many whitespace-separated words the rest of the stream can hold at
// most: a count read from the file is checked against it before anything is
// allocated for the words.
unsigned long long words_left(std::istream& in);

// Skips the rest of the current line (trailing text is a comment).
void skip_line(std::istream& in);

// True when the character after a number ends it (white space or end of file),
// so that "12abc" is refused rather than read as 12.
bool number_ends_cleanly(std::istream& in);

template <typename T> void read_value(std::istream& in, T& value, const std::string& what) {
    const std::streampos start = in.tellg();
    // Booleans are the numbers 0 and 1 and are checked like numbers, so that
    // "1.5" or "1x" is refused instead of being read as true.
    if constexpr (std::is_arithmetic_v<T>) {
        in >> std::ws;
        // Stream extraction turns "-3" into a huge unsigned value; refuse it.
        if constexpr (std::is_unsigned_v<T>) {
            if (in.peek() == '-')
                config_error(in, start, what);
        }
        if (!(in >> value) || !number_ends_cleanly(in))
            config_error(in, start, what);
    } else {
        if (!(in >> value))
            config_error(in, start, what);
    }
}

template <typename T>
void read_values(std::istream& in, std::vector<T>& values, const std::string& what) {
    for (size_t i = 0; i < values.size(); ++i)
        read_value(in, values[i],
                   what + " (value " + std::to_string(i + 1) + " of " +
                       std::to_string(values.size()) + ")");
}

// Reads a value (a vector: its values) and returns where it started: a check
// made once the whole block is read can still name the value's line.
template <typename T>
std::streampos read_placed(std::istream& in, T& value, const std::string& what) {
    const std::streampos start = in.tellg();
    read_value(in, value, what);
    return start;
}

template <typename T>
std::streampos read_placed(std::istream& in, std::vector<T>& values, const std::string& what) {
    const std::streampos start = in.tellg();
    read_values(in, values, what);
    return start;
}

// A setting alone on its line: read_placed, then the rest of the line (a
// comment) is skipped.
template <typename T>
std::streampos read_setting(std::istream& in, T& value, const std::string& what) {
    const std::streampos start = read_placed(in, value, what);
    skip_line(in);
    return start;
}

// Reads a counted list of words: the count alone on its line, then (only when
// the count is not 0) the words on one or more lines, the rest of the last one
// skipped. Used for the arguments and essential files of an evaluation unit.
std::vector<std::string> read_word_list(std::istream& in, const std::string& count_what,
                                        const std::string& item_what);

using json = nlohmann::json;

// Stops the run: "input.jsn: key "<path>": <problem>."
[[noreturn]] void json_error(const std::string& path, const std::string& problem);

template <typename T> std::string json_type_text() {
    if constexpr (std::is_same_v<T, bool>)
        return "a boolean";
    else if constexpr (std::is_unsigned_v<T>)
        return "an unsigned integer";
    else if constexpr (std::is_integral_v<T>)
        return "an integer";
    else if constexpr (std::is_floating_point_v<T>)
        return "a number";
    else if constexpr (std::is_same_v<T, std::string>)
        return "a string";
    else if constexpr (std::is_same_v<T, std::vector<double>>)
        return "an array of numbers";
    else if constexpr (std::is_same_v<T, std::vector<unsigned>>)
        return "an array of unsigned integers";
    else if constexpr (std::is_same_v<T, std::vector<std::string>>)
        return "an array of strings";
    else
        return "a value of another type";
}

// An integer within [lowest, highest]. Parsed non-negative integers are held as
// unsigned, integers built in code (and negative ones) as signed: both count.
inline bool json_integer_in(const json& v, long long lowest, unsigned long long highest) {
    if (v.is_number_unsigned())
        return v.get<unsigned long long>() <= highest;
    if (v.is_number_integer()) {
        const long long x = v.get<long long>();
        return x >= lowest && (x < 0 || static_cast<unsigned long long>(x) <= highest);
    }
    return false;
}

template <typename T> bool json_has_type(const json& v) {
    if constexpr (std::is_same_v<T, bool>)
        return v.is_boolean() || json_integer_in(v, 0, 1);
    else if constexpr (std::is_integral_v<T>)
        // Out-of-range values would otherwise be silently truncated.
        return json_integer_in(v, static_cast<long long>(std::numeric_limits<T>::min()),
                               static_cast<unsigned long long>(std::numeric_limits<T>::max()));
    else if constexpr (std::is_floating_point_v<T>)
        return v.is_number();
    else if constexpr (std::is_same_v<T, std::string>)
        return v.is_string();
    else {
        using E = typename T::value_type;
        if (!v.is_array())
            return false;
        for (const auto& e : v)
            if (!json_has_type<E>(e))
                return false;
        return true;
    }
}

// A required key: missing, or of the wrong type, stops the run.
template <typename T>
T json_get(const json& block, const std::string& key, const std::string& where) {
    const std::string path = where.empty() ? key : where + "/" + key;
    if (!block.is_object())
        json_error(where, "expected an object holding \"" + key + "\"");
    const auto it = block.find(key);
    if (it == block.end())
        json_error(path, "required key not found (expected " + json_type_text<T>() + ")");
    if (!json_has_type<T>(*it))
        json_error(path, "expected " + json_type_text<T>() + ", found " + it->dump());
    if constexpr (std::is_same_v<T, bool>) {
        // 0 and 1 are accepted for booleans, as in the text files.
        if (!it->is_boolean())
            return it->template get<long long>() != 0;
    }
    return it->template get<T>();
}

// An optional key with its default; present with the wrong type stops the run.
template <typename T>
T json_get(const json& block, const std::string& key, const T& fallback, const std::string& where) {
    if (!block.is_object() || block.find(key) == block.end())
        return fallback;
    return json_get<T>(block, key, where);
}

} // namespace PIOU

#endif
