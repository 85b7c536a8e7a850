// Tests of the checked reading of configuration values: text values with
// their line numbers in messages, and JSON keys.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/UTILS.h"
#include "output/PIOUConfig.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

using nlohmann::json;

// Names the stream in messages for the lifetime of the object.
class ConfigName {
public:
    explicit ConfigName(const std::string& name) : mPrevious(PIOU::get_config_name()) {
        PIOU::set_config_name(name);
    }
    ~ConfigName() { PIOU::set_config_name(mPrevious); }

private:
    std::string mPrevious;
};

// The message of reading one value of type T from text after skipping the
// given number of lines (each read as one value followed by a skip).
template <typename T> std::string Failure(const std::string& text, int lines_before = 0) {
    ConfigName name("test.QERN");
    std::istringstream in(text);
    return FatalOutput([&] {
        T first{};
        for (int i = 0; i < lines_before; ++i) {
            PIOU::read_value(in, first, "an earlier value");
            PIOU::skip_line(in);
        }
        T v{};
        PIOU::read_value(in, v, "the value");
    });
}

TEST(PIOUConfig, ValuesLinesAndComments) {
    std::istringstream in("  42   the rest is a comment\n"
                          "-7 2.5e-3 word\n"
                          "1\n"
                          "4294967295\n");
    int i = 0;
    double d = 0;
    std::string s;
    bool b = false;
    unsigned u = 0;
    PIOU::read_value(in, i, "i");
    PIOU::skip_line(in);
    EXPECT_EQ(i, 42);
    PIOU::read_value(in, i, "i");
    PIOU::read_value(in, d, "d");
    PIOU::read_value(in, s, "s");
    PIOU::skip_line(in);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(d, 2.5e-3);
    EXPECT_EQ(s, "word");
    PIOU::read_value(in, b, "b");
    PIOU::skip_line(in);
    EXPECT_TRUE(b);
    PIOU::read_value(in, u, "u");
    EXPECT_EQ(u, 4294967295u);
}

TEST(PIOUConfig, LastValueWithoutNewlineIsRead) {
    std::istringstream in("3\n5");
    int a = 0, b = 0;
    PIOU::read_value(in, a, "a");
    PIOU::skip_line(in);
    PIOU::read_value(in, b, "b");
    EXPECT_EQ(b, 5);
    PIOU::skip_line(in); // at the end: harmless
}

// A value of some type read after lines_before lines, which is refused: the
// line the message names and the text it found (none: the end of the file).
struct Refused {
    const char* name;
    std::string (*failure)(const std::string& text, int lines_before);
    const char* text;
    int lines_before;
    int line;
    const char* found;
};

class PIOUConfigRefused : public testing::TestWithParam<Refused> {};

TEST_P(PIOUConfigRefused, NamesTheLineAndWhatItFound) {
    const Refused& r = GetParam();
    const std::string found =
        r.found != nullptr ? "\"" + std::string(r.found) + "\"" : "the end of the file";
    EXPECT_EQ(r.failure(r.text, r.lines_before), "test.QERN, line " + std::to_string(r.line) +
                                                     ": expected the value, found " + found +
                                                     ".\nProgram stopped!\n");
}

const Refused kRefused[] = {
    // Malformed numbers are refused with their text.
    {"IntWithLetters", Failure<int>, "12abc\n", 0, 1, "12abc"},
    {"IntOfLetters", Failure<int>, "abc\n", 0, 1, "abc"},
    {"IntWithAFraction", Failure<int>, "3.7\n", 0, 1, "3.7"},
    {"DoubleWithAComma", Failure<double>, "1,5\n", 0, 1, "1,5"},
    {"DoubleWithoutExponent", Failure<double>, "1.5e\n", 0, 1, "1.5e"},
    {"DoubleNaN", Failure<double>, "nan\n", 0, 1, "nan"},
    // Out of range for the type.
    {"IntTooLarge", Failure<int>, "99999999999\n", 0, 1, "99999999999"},
    {"UnsignedTooLarge", Failure<unsigned>, "4294967296\n", 0, 1, "4294967296"},
    {"DoubleTooLarge", Failure<double>, "1e999\n", 0, 1, "1e999"},
    // Negative values for unsigned types.
    {"UnsignedNegative", Failure<unsigned>, "-3\n", 0, 1, "-3"},
    {"UnsignedMinusZero", Failure<unsigned>, "   -0 zero\n", 0, 1, "-0"},
    {"UnsignedLongNegative", Failure<unsigned long>, "1\n-1\n", 1, 2, "-1"},
    // Booleans are 0 or 1.
    {"BoolTwo", Failure<bool>, "2\n", 0, 1, "2"},
    {"BoolWord", Failure<bool>, "yes\n", 0, 1, "yes"},
    {"BoolFraction", Failure<bool>, "1.5\n", 0, 1, "1.5"},
    {"BoolWithALetter", Failure<bool>, "1x\n", 0, 1, "1x"},
    // The end of the file names the line where the value was expected.
    {"EmptyFile", Failure<int>, "", 0, 1, nullptr},
    {"EndAfterTwoLines", Failure<int>, "1\n2\n", 2, 3, nullptr},
    {"EndAfterBlankLines", Failure<std::string>, "a\n\n\n", 1, 4, nullptr},
    // Line numbers count blank and commented lines.
    {"AfterBlankLines", Failure<int>, "5 first\n\n   \n7x\n", 1, 4, "7x"},
};
INSTANTIATE_TEST_SUITE_P(Values, PIOUConfigRefused, testing::ValuesIn(kRefused),
                         testsupport::RowName());

TEST(PIOUConfig, BooleansAreZeroOrOne) {
    std::istringstream in("0 1\n");
    bool a = true, b = false;
    PIOU::read_value(in, a, "a");
    PIOU::read_value(in, b, "b");
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
}

TEST(PIOUConfig, ABadValueAfterGoodOnesOnTheSameLineNamesItsPlace) {
    ConfigName name("x.QERN");
    std::istringstream in("1\n2 3 oops 5\n");
    const std::string out = FatalOutput([&] {
        int v = 0;
        PIOU::read_value(in, v, "one");
        PIOU::skip_line(in);
        std::vector<int> values(4);
        PIOU::read_values(in, values, "the counts");
    });
    EXPECT_EQ(out, "x.QERN, line 2: expected the counts (value 3 of 4), found \"oops\".\n"
                   "Program stopped!\n");
}

TEST(PIOUConfig, LongTokensAreCutInTheMessage) {
    const std::string token(100, 'z');
    const std::string out = Failure<int>(token + "\n");
    EXPECT_NE(out.find("found \"" + std::string(40, 'z') + "\"."), std::string::npos) << out;
}

TEST(PIOUConfig, ConfigNameDefaultsToInputQern) {
    EXPECT_EQ(PIOU::get_config_name(), "input.QERN");
    std::istringstream in("x\n");
    const std::string out = FatalOutput([&] {
        int v = 0;
        PIOU::read_value(in, v, "an integer");
    });
    EXPECT_EQ(out, "input.QERN, line 1: expected an integer, found \"x\".\nProgram stopped!\n");
}

TEST(PIOUConfig, JsonRequiredKeys) {
    const json block = json::parse(R"({"n": 3, "neg": -2, "x": 1.5, "s": "text",
                                       "list": [1, 2.5], "names": ["a", "b"], "flag": true,
                                       "one": 1, "big": 4294967296})");
    EXPECT_EQ(PIOU::json_get<unsigned>(block, "n", "EVAU"), 3u);
    EXPECT_EQ(PIOU::json_get<int>(block, "neg", "EVAU"), -2);
    EXPECT_EQ(PIOU::json_get<int>(block, "n", "EVAU"), 3);
    EXPECT_EQ(PIOU::json_get<double>(block, "x", "EVAU"), 1.5);
    EXPECT_EQ(PIOU::json_get<double>(block, "n", "EVAU"), 3.0);
    EXPECT_EQ(PIOU::json_get<std::string>(block, "s", "EVAU"), "text");
    EXPECT_EQ(PIOU::json_get<std::vector<double>>(block, "list", "EVAU"),
              (std::vector<double>{1.0, 2.5}));
    EXPECT_EQ(PIOU::json_get<std::vector<std::string>>(block, "names", "EVAU"),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(PIOU::json_get<bool>(block, "flag", "EVAU"));
    EXPECT_TRUE(PIOU::json_get<bool>(block, "one", "EVAU"));
    EXPECT_EQ(PIOU::json_get<unsigned long long>(block, "big", ""), 4294967296ull);
}

TEST(PIOUConfig, JsonValuesBuiltInCodeAreAcceptedLikeParsedOnes) {
    // Integers built in code are signed JSON numbers, parsed ones unsigned.
    const json block = {{"n", 3}, {"zero", 0}, {"flag", 1}, {"list", {1, 2}}};
    EXPECT_EQ(PIOU::json_get<unsigned>(block, "n", ""), 3u);
    EXPECT_EQ(PIOU::json_get<unsigned>(block, "zero", ""), 0u);
    EXPECT_TRUE(PIOU::json_get<bool>(block, "flag", ""));
    EXPECT_EQ(PIOU::json_get<std::vector<unsigned>>(block, "list", ""),
              (std::vector<unsigned>{1, 2}));
}

TEST(PIOUConfig, JsonMissingAndMistypedKeysStopNamingTheKey) {
    const json block = json::parse(R"({"neg": -2, "x": 1.5, "s": "text", "big": 4294967296,
                                       "list": [1, "2"], "two": 2})");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<unsigned>(block, "ncpu", "EVAU"); }),
              "input.jsn: key \"EVAU/ncpu\": required key not found (expected an unsigned "
              "integer).\nProgram stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<unsigned>(block, "neg", "EVAU"); }),
              "input.jsn: key \"EVAU/neg\": expected an unsigned integer, found -2.\n"
              "Program stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<unsigned>(block, "big", "EVAU"); }),
              "input.jsn: key \"EVAU/big\": expected an unsigned integer, found 4294967296.\n"
              "Program stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<int>(block, "big", "EVAU"); }),
              "input.jsn: key \"EVAU/big\": expected an integer, found 4294967296.\n"
              "Program stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<int>(block, "x", ""); }),
              "input.jsn: key \"x\": expected an integer, found 1.5.\nProgram stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<double>(block, "s", ""); }),
              "input.jsn: key \"s\": expected a number, found \"text\".\nProgram stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<std::vector<double>>(block, "list", ""); }),
              "input.jsn: key \"list\": expected an array of numbers, found [1,\"2\"].\n"
              "Program stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<bool>(block, "two", ""); }),
              "input.jsn: key \"two\": expected a boolean, found 2.\nProgram stopped!\n");
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<int>(json::array({1}), "k", "EVAU"); }),
              "input.jsn: key \"EVAU\": expected an object holding \"k\".\nProgram stopped!\n");
}

TEST(PIOUConfig, JsonOptionalKeys) {
    const json block = json::parse(R"({"Arguments": ["-a", "b"], "bad": 3})");
    EXPECT_EQ(PIOU::json_get<std::vector<std::string>>(block, "Arguments", {}, "EVAU"),
              (std::vector<std::string>{"-a", "b"}));
    EXPECT_EQ(PIOU::json_get<std::vector<std::string>>(block, "Missing", {"x"}, "EVAU"),
              (std::vector<std::string>{"x"}));
    EXPECT_EQ(PIOU::json_get<int>(block, "Missing", 7, "EVAU"), 7);
    // Present with the wrong type is an error, not the default.
    EXPECT_EQ(FatalOutput([&] { PIOU::json_get<std::string>(block, "bad", "d", "EVAU"); }),
              "input.jsn: key \"EVAU/bad\": expected a string, found 3.\nProgram stopped!\n");
}

} // namespace
