// Tests of the population files: the ASCII and binary record layouts, the
// writers, the readers (headers, comments, malformed and truncated input),
// round trips and the conversions between the two formats.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "output/PIOU.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

using testsupport::CountOccurrences;
using testsupport::FileSize;
using testsupport::ReadFile;
using testsupport::ReadLines;
using testsupport::TempDir;
using testsupport::WriteFile;

const double kMax = std::numeric_limits<double>::max();
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Reads a population file with the reader's progress report captured.
POPULATION Read(const std::string& file, bool ascii, std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    POPULATION pop = PIOU::read_population(file, ascii);
    const std::string text = testing::internal::GetCapturedStdout();
    if (out != nullptr)
        *out = text;
    return pop;
}

// A field of 20 characters holding text, left-justified.
std::string F(const std::string& text) {
    return text.size() >= 20 ? text : text + std::string(20 - text.size(), ' ');
}

// True when b equals a to 11 significant digits (NaN equals NaN).
::testing::AssertionResult Same11(double a, double b) {
    if (std::isnan(a) && std::isnan(b))
        return ::testing::AssertionSuccess();
    if (a == b)
        return ::testing::AssertionSuccess();
    if (std::fabs(a - b) <= 5e-11 * std::fabs(a))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " and " << b << " differ";
}

void ExpectSamePopulation(const POPULATION& a, const POPULATION& b) {
    ASSERT_EQ(a.GetPopsize(), b.GetPopsize());
    ASSERT_EQ(a.GetNobj(), b.GetNobj());
    ASSERT_EQ(a.GetNdvs(), b.GetNdvs());
    ASSERT_EQ(a.GetNctr(), b.GetNctr());
    for (unsigned i = 0; i < a.GetPopsize(); ++i) {
        for (unsigned k = 0; k < a.GetNobj(); ++k)
            EXPECT_TRUE(Same11(a[i].GetObj(k), b[i].GetObj(k))) << "member " << i << " obj " << k;
        for (unsigned k = 0; k < a.GetNdvs(); ++k)
            EXPECT_TRUE(Same11(a[i].GetDvs(k), b[i].GetDvs(k))) << "member " << i << " dvs " << k;
        for (unsigned k = 0; k < a.GetNctr(); ++k)
            EXPECT_TRUE(Same11(a[i].GetCtr(k), b[i].GetCtr(k))) << "member " << i << " ctr " << k;
        EXPECT_EQ(a[i].rank, b[i].rank) << "member " << i;
        EXPECT_TRUE(Same11(a[i].crowd_distance, b[i].crowd_distance)) << "member " << i;
        EXPECT_TRUE(b[i].IsComputed()) << "member " << i;
    }
}

// Two objectives, three variables, one constraint; values of every kind.
POPULATION Sample() {
    POPULATION pop("sample", 3, 2, 1, 4, true);
    pop[0].SetDvs({0.125, -1.0 / 3.0, 1e-300});
    pop[0].SetEval({1.2345678901234, -9.87654321e22}, {0.5});
    pop[0].rank = 1;
    pop[0].crowd_distance = 2e14;
    pop[1].SetDvs({3.0, 0.0, -0.0});
    pop[1].SetEval({0.1, 0.2}, {-1.5});
    pop[1].rank = 4294967295u;
    pop[1].crowd_distance = 0.75;
    pop[2].SetDvs({7.0, 8.0, 9.0}); // never evaluated: objectives are the largest double
    pop[2].rank = 2;
    pop[3].SetDvs({1.0, 2.0, 3.0});
    pop[3].SetEval({kInf, kNaN}, {-kInf});
    pop[3].crowd_distance = kNaN;
    return pop;
}

TEST(PIOU, AsciiRecordLayout) {
    INDIVIDUAL ind(2, 2, 1, nullptr);
    ind.SetDvs({1.0, 2.5});
    ind.SetEval({0.125, -2.0}, {-0.5});
    ind.rank = 3;
    ind.crowd_distance = 1e14;
    std::ostringstream os;
    PIOU::out_individual_ascii(os, ind, 20);
    EXPECT_EQ(os.str(), F("1.2500000000e-01") + F("-2.0000000000e+00") + F("1.0000000000e+00") +
                            F("2.5000000000e+00") + F("-5.0000000000e-01") + F("3") +
                            F("1.0000000000e+14") + "\n");
    // The stream is left in scientific notation with precision 10.
    os.str("");
    os << 0.5;
    EXPECT_EQ(os.str(), "5.0000000000e-01");

    // Other widths, and values wider than their field, which are not cut.
    std::ostringstream narrow;
    PIOU::out_individual_ascii(narrow, ind, 5);
    EXPECT_EQ(narrow.str(), "1.2500000000e-01-2.0000000000e+001.0000000000e+002.5000000000e+00"
                            "-5.0000000000e-013    1.0000000000e+14\n");
}

TEST(PIOU, AsciiRecordOfSpecialValues) {
    INDIVIDUAL ind(1, 2, 0, nullptr);
    ind.SetDvs({1.0});
    ind.SetDvs({-0.0}); // from 0.0 it would not count as a change
    ind.rank = 4294967295u;
    ind.crowd_distance = -kInf;
    std::ostringstream os;
    PIOU::out_individual_ascii(os, ind, 20);
    EXPECT_EQ(os.str(), F("1.7976931349e+308") + F("1.7976931349e+308") + F("-0.0000000000e+00") +
                            F("4294967295") + F("-inf") + "\n");
}

// Values of every kind for the number format: random bit patterns, numbers
// of every magnitude, the decimal midpoints where rounding to eleven digits
// is closest to a tie, exact ties (twelve-digit integers ending in 5), their
// neighbours, powers of ten and their neighbours, special values.
std::vector<double> HardValues() {
    std::vector<double> v = {0.0,
                             -0.0,
                             kMax,
                             -kMax,
                             kInf,
                             -kInf,
                             kNaN,
                             5e-324,
                             1e-310,
                             2.2250738585072014e-308,
                             100000000005.0,
                             100000000015.0,
                             9.99999999995,
                             9.999999999949999,
                             0.1,
                             1e14};
    uint64_t state = 88172645463325252ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = next();
        double x;
        std::memcpy(&x, &bits, sizeof(x));
        v.push_back(x);
        v.push_back(std::pow(10.0, static_cast<double>(next() % 10000) / 100.0 - 50.0));
        const uint64_t m = (100000000000ull + next() % 900000000000ull) / 10 * 10 + 5;
        const double mid = std::strtod(
            (std::to_string(m) + "e" + std::to_string(int(next() % 80) - 50)).c_str(), nullptr);
        v.insert(v.end(), {mid, std::nextafter(mid, kInf), std::nextafter(mid, -kInf), -mid});
        v.push_back(static_cast<double>(next() % 1000000000000ull));
        const double p = std::pow(10.0, int(next() % 80) - 40);
        v.insert(v.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, kInf)});
    }
    return v;
}

TEST(PIOU, AsciiRecordsHoldTheCorrectlyRoundedDigitsOfEveryValue) {
    // The record writer formats numbers itself; every field must be what
    // to_chars with precision 10 (the "%.10e" of the file format) writes.
    const std::vector<double> values = HardValues();
    for (double x : values) {
        INDIVIDUAL ind(1, 1, 0, nullptr);
        ind.SetDvs({1.0}); // so that -0.0 counts as a change
        ind.SetDvs({x});
        std::ostringstream os;
        PIOU::out_individual_ascii(os, ind, 20);
        char buf[64];
        char* end = std::to_chars(buf, buf + sizeof(buf), x, std::chars_format::scientific, 10).ptr;
        const std::string expected = F("1.7976931349e+308") +
                                     F(std::string(buf, static_cast<size_t>(end - buf))) + F("1") +
                                     F("0.0000000000e+00") + "\n";
        ASSERT_EQ(os.str(), expected);
    }
}

TEST(PIOU, AsciiReaderGivesTheValuesOfStrtod) {
    // Numbers as the writers produce them and in other notations a user's
    // file may hold; the reader must give exactly what strtod gives.
    TempDir dir;
    const std::string file = dir.file("values.out");
    std::vector<double> written;
    std::ostringstream text;
    text << "# nobj 1 ndvs 3 nctr 0\n";
    const std::vector<double> values = HardValues();
    const char* formats[] = {"%.10e", "%.17g", "%.3f", "%.0f", "%E"};
    for (size_t i = 0; i + 4 <= values.size(); i += 4) {
        for (size_t k = 0; k < 4; ++k) {
            const double x = std::isfinite(values[i + k]) ? values[i + k] : 1.5;
            char buf[512];
            std::snprintf(buf, sizeof(buf), formats[(i / 4 + k) % 5], x);
            text << buf << "   ";
            written.push_back(std::strtod(buf, nullptr));
        }
        text << "1 0\n"; // the rank and the crowding distance end every record
    }
    WriteFile(file, text.str());
    const POPULATION pop = Read(file, true);
    ASSERT_EQ(pop.GetPopsize() * 4, written.size());
    for (unsigned i = 0; i < pop.GetPopsize(); ++i) {
        std::vector<double> got = {pop[i].GetObj(0), pop[i].GetDvs(0), pop[i].GetDvs(1),
                                   pop[i].GetDvs(2)};
        for (unsigned k = 0; k < 4; ++k) {
            double expected = written[4 * i + k];
            if (std::isinf(expected)) // an overflowing value reads as the largest double
                expected = std::copysign(kMax, expected);
            if (expected == 0.0) { // the sign of a zero is kept only where a value changed
                ASSERT_EQ(got[k], 0.0);
                continue;
            }
            ASSERT_EQ(std::memcmp(&got[k], &expected, sizeof(double)), 0)
                << "line " << i << " value " << k << ": " << got[k] << " vs " << expected;
        }
    }
}

TEST(PIOU, ColumnHeaderAndPopulationHeader) {
    std::ostringstream os;
    PIOU::out_individual_header(os, 2u, 3u, 1u, 20);
    EXPECT_EQ(os.str(), F("# obj[0]") + F("obj[1]") + F("dvs[0]") + F("dvs[1]") + F("dvs[2]") +
                            F("ctr[0]") + F("rank") + F("crowd_distance") + "\n");
    POPULATION pop("my pop", 30, 2, 1, 0, false);
    std::ostringstream from_pop, from_ind, pop_header;
    PIOU::out_individual_header(from_pop, pop, 20);
    PIOU::out_individual_header(from_ind, INDIVIDUAL(30, 2, 1, nullptr), 20);
    EXPECT_EQ(from_pop.str(), from_ind.str());
    EXPECT_EQ(from_pop.str().size(), 35u * 20u + 1u);
    PIOU::out_population_header(pop_header, pop);
    EXPECT_EQ(pop_header.str(), "# Writing information of population: my pop\n"
                                "# nobj 2 ndvs 30 nctr 1\n");
    // Without objectives the first label carries the comment sign.
    std::ostringstream none;
    PIOU::out_individual_header(none, 0u, 1u, 0u, 20);
    EXPECT_EQ(none.str(), F("# dvs[0]") + F("rank") + F("crowd_distance") + "\n");
}

TEST(PIOU, WholeAsciiFileLayout) {
    TempDir dir;
    POPULATION pop("P", 1, 1, 0, 2, true);
    pop[0].SetDv(0, 0.5);
    pop[0].SetEval({1.0}, {});
    pop[1].SetDv(0, 0.25); // not computed
    pop.WriteFileAscii(dir.file("all.out"), true);
    const std::vector<std::string> lines = ReadLines(dir.file("all.out"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "# Writing information of population: P");
    EXPECT_EQ(lines[1], "# nobj 1 ndvs 1 nctr 0");
    EXPECT_EQ(lines[2], F("# obj[0]") + F("dvs[0]") + F("rank") + F("crowd_distance"));
    EXPECT_EQ(lines[3],
              F("1.0000000000e+00") + F("5.0000000000e-01") + F("1") + F("0.0000000000e+00"));
    EXPECT_EQ(lines[4].substr(0, 20), F("1.7976931349e+308"));
    EXPECT_EQ(lines[5], "");

    pop.WriteComputedFileAscii(dir.file("computed.out"), false);
    EXPECT_EQ(ReadLines(dir.file("computed.out")).size(), 4u);

    // No computed member: the three header lines and nothing else.
    pop[0].SetDv(0, 0.75);
    pop.WriteComputedFileAscii(dir.file("none.out"), false);
    const std::string none = ReadFile(dir.file("none.out"));
    EXPECT_EQ(none,
              "# Writing information of population: P\n# nobj 1 ndvs 1 nctr 0\n" + lines[2] + "\n");

    // operator<< and Cout write the same as the whole file without the blank.
    std::ostringstream os;
    os << pop;
    pop.WriteFileAscii(dir.file("again.out"), false);
    EXPECT_EQ(os.str(), ReadFile(dir.file("again.out")));
    testing::internal::CaptureStdout();
    pop.Cout();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), os.str());
    testing::internal::CaptureStdout();
    pop.CoutComputed();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), none);
}

TEST(PIOU, BinaryFileSizeAndRecordLayout) {
    TempDir dir;
    POPULATION three("three", 3, 2, 0, 3, true);
    three.WriteFileBin(dir.file("three.bin"));
    EXPECT_EQ(FileSize(dir.file("three.bin")), 12 + 3 * 52);

    for (unsigned n : {0u, 1u, 7u}) {
        POPULATION pop("p", 30, 2, 1, static_cast<int>(n), true);
        const std::string file = dir.file("p" + std::to_string(n) + ".bin");
        pop.WriteFileBin(file);
        EXPECT_EQ(FileSize(file), 12 + static_cast<long>(n) * (8 * (2 + 30 + 1) + 12)) << n;
    }

    POPULATION pop = Sample();
    pop.WriteFileBin(dir.file("sample.bin"));
    const std::string bytes = ReadFile(dir.file("sample.bin"));
    ASSERT_EQ(bytes.size(), 12u + 4u * (8u * 6u + 12u));
    int32_t counts[3];
    std::memcpy(counts, bytes.data(), 12);
    EXPECT_EQ(counts[0], 2);                     // nobj
    EXPECT_EQ(counts[1], 3);                     // ndvs
    EXPECT_EQ(counts[2], 1);                     // nctr
    const char* record = bytes.data() + 12 + 60; // the second member
    double values[6];
    std::memcpy(values, record, sizeof(values));
    EXPECT_EQ(values[0], 0.1);
    EXPECT_EQ(values[1], 0.2);
    EXPECT_EQ(values[2], 3.0);
    EXPECT_EQ(values[3], 0.0);
    EXPECT_EQ(values[5], -1.5); // the constraint follows the design variables
    uint32_t rank;
    std::memcpy(&rank, record + 48, 4);
    EXPECT_EQ(rank, 4294967295u);
    double crowd;
    std::memcpy(&crowd, record + 52, 8);
    EXPECT_EQ(crowd, 0.75);
}

TEST(PIOU, BinaryRoundTripIsExact) {
    TempDir dir;
    POPULATION pop = Sample();
    pop.WriteFileBin(dir.file("s.bin"));
    std::string out;
    POPULATION back = Read(dir.file("s.bin"), false, &out);
    EXPECT_EQ(back.GetName(), dir.file("s.bin"));
    ExpectSamePopulation(pop, back);
    ASSERT_EQ(back.GetPopsize(), 4u);
    EXPECT_EQ(back[2].GetObj(0), kMax);
    EXPECT_EQ(out, "> Reading population binary file: " + dir.file("s.bin") +
                       "\n   Reading header\n   nobj = 2\n   ndvs = 3\n   nctr = 1\n"
                       "   Reading individuals\n   Individuals read 4\n< Done.\n");
}

TEST(PIOU, AsciiRoundTripKeepsElevenSignificantDigits) {
    TempDir dir;
    POPULATION pop = Sample();
    pop.WriteFileAscii(dir.file("s.out"), false);
    std::string out;
    POPULATION back = Read(dir.file("s.out"), true, &out);
    EXPECT_EQ(back.GetName(), dir.file("s.out"));
    ExpectSamePopulation(pop, back);
    ASSERT_EQ(back.GetPopsize(), 4u);
    // The largest finite double is written rounded up (1.7976931349e+308)
    // and must come back as itself, not be lost with its record.
    EXPECT_EQ(back[2].GetObj(0), kMax);
    EXPECT_EQ(back[2].GetObj(1), kMax);
    EXPECT_EQ(back[3].GetObj(0), kInf);
    EXPECT_EQ(back[3].GetCtr(0), -kInf);
    EXPECT_EQ(back[3].GetCtrViolation(), -kInf);
    EXPECT_TRUE(std::isnan(back[3].crowd_distance));
    EXPECT_EQ(CountOccurrences(out, "Failed"), 0) << out;
    EXPECT_EQ(out, "> Reading population ASCII file: " + dir.file("s.out") +
                       "\n   nobj = 2\n   ndvs = 3\n   nctr = 1\n"
                       "   Reading individuals\n   Individuals read 4\n< Done.\n");
}

TEST(PIOU, ConversionRoundTripsKeepEveryValue) {
    TempDir dir;
    POPULATION pop = Sample();
    pop.WriteFileAscii(dir.file("a.out"), true);
    testing::internal::CaptureStdout();
    const unsigned to_bin = PIOU::from_ascii_to_bin_file(dir.file("a.out"), dir.file("b.bin"));
    const unsigned to_ascii = PIOU::from_bin_to_ascii_file(dir.file("b.bin"), dir.file("c.out"));
    const unsigned again = PIOU::from_ascii_to_bin_file(dir.file("c.out"), dir.file("d.bin"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(to_bin, 4u);
    EXPECT_EQ(to_ascii, 4u);
    EXPECT_EQ(again, 4u);
    ExpectSamePopulation(pop, Read(dir.file("b.bin"), false));
    ExpectSamePopulation(pop, Read(dir.file("c.out"), true));
    // Once converted, further conversions change nothing at all.
    EXPECT_EQ(ReadFile(dir.file("b.bin")), ReadFile(dir.file("d.bin")));
    EXPECT_EQ(FileSize(dir.file("b.bin")), 12 + 4 * 60);
}

TEST(PIOU, LastLineWithoutNewlineIsRead) {
    TempDir dir;
    WriteFile(dir.file("x.out"), "# nobj 1 ndvs 1 nctr 0\n1 2 3 0.5\n4 5 1 0");
    POPULATION pop = Read(dir.file("x.out"), true);
    ASSERT_EQ(pop.GetPopsize(), 2u);
    EXPECT_EQ(pop[0].rank, 3u);
    EXPECT_EQ(pop[0].crowd_distance, 0.5);
    EXPECT_EQ(pop[1].GetObj(0), 4.0);
    EXPECT_EQ(pop[1].GetDvs(0), 5.0);
    EXPECT_EQ(pop[1].rank, 1u);
    EXPECT_EQ(pop[1].crowd_distance, 0.0);
}

TEST(PIOU, HeaderOnOneLineWithoutCommentSign) {
    TempDir dir;
    WriteFile(dir.file("h.out"), "nobj 1 ndvs 2 nctr 0\n"
                                 "1.5 2.5 3.5 1 0\n"
                                 "# a comment line\n"
                                 "\n"
                                 "   \t\n"
                                 "-1 -2 -3 7 0.25 trailing words\n");
    std::string out;
    POPULATION pop = Read(dir.file("h.out"), true, &out);
    EXPECT_EQ(pop.GetNobj(), 1u);
    EXPECT_EQ(pop.GetNdvs(), 2u);
    EXPECT_EQ(pop.GetNctr(), 0u);
    ASSERT_EQ(pop.GetPopsize(), 2u);
    EXPECT_EQ(pop[0].GetObj(0), 1.5);
    EXPECT_EQ(pop[0].GetDvs(), (std::vector<double>{2.5, 3.5}));
    EXPECT_TRUE(pop[0].IsComputed());
    EXPECT_EQ(pop[1].GetObj(0), -1.0);
    EXPECT_EQ(pop[1].rank, 7u);
    EXPECT_EQ(pop[1].crowd_distance, 0.25);
    EXPECT_NE(out.find("   Individuals read 2\n"), std::string::npos) << out;
}

// Every writer ends a record with the rank and the crowding distance, so a
// record without them is cut: it stops the reading, naming the file, the line
// and what the line lacks, instead of being read with a wrong value.
TEST(PIOU, CutOrMalformedRecordsStopNamingTheLine) {
    TempDir dir;
    const std::string head = "# nobj 2 ndvs 1 nctr 1\n1 2 3 4 1 0.5\n";
    const std::pair<std::string, std::string> cases[] = {
        {"1 2 3 2.70470\n", "line 3: expected 2 objective values, 1 design variables, 1 "
                            "constraint values, the rank and the crowding distance (6 numbers), "
                            "found only 4 numbers: the record is cut or incomplete."},
        {"1 2 3 4 1\n", "found only 5 numbers"},
        {"1 2 3 abc 1 0\n", "found \"abc\" where constraint ctr[0] belongs"},
        {"1 x 3 4 1 0\n", "found \"x\" where objective obj[1] belongs"},
        {"1,2 3 4 5 1 0\n", "found \"1,2\" where objective obj[0] belongs"},
        {"1 2 3 4 5.5 6\n", "found \"5.5\" where the rank (an unsigned integer) belongs"},
        {"1 2 3 4 1 0 7\n", "found more numbers than that"},
        {"# c\n\n1 2 3 4 1 0.5x", "line 5: "},
    };
    for (const auto& k : cases) {
        WriteFile(dir.file("m.out"), head + k.first);
        const std::string out = FatalOutput([&] { PIOU::read_population_a(dir.file("m.out")); });
        EXPECT_NE(out.find("File " + dir.file("m.out") + ", line "), std::string::npos) << out;
        EXPECT_NE(out.find(k.second), std::string::npos) << k.second << "\n" << out;
        EXPECT_NE(out.find("Program stopped!\n"), std::string::npos) << out;
    }
}

TEST(PIOU, HeaderSpreadOverSeveralLinesWithUpperCaseKeywords) {
    TempDir dir;
    WriteFile(dir.file("u.out"), "# a file written by hand\n"
                                 "NDVS 1\n"
                                 "text before NOBJ 2 and after\n"
                                 "# nctr 0\n"
                                 "1 2 3 1 0\n");
    std::string out;
    POPULATION pop = Read(dir.file("u.out"), true, &out);
    EXPECT_EQ(pop.GetNdvs(), 1u);
    EXPECT_EQ(pop.GetNobj(), 2u);
    ASSERT_EQ(pop.GetPopsize(), 1u);
    EXPECT_EQ(pop[0].GetDvs(0), 3.0);
    EXPECT_NE(out.find("   ndvs = 1\n   nobj = 2\n   nctr = 0\n"), std::string::npos) << out;
}

TEST(PIOU, IncompleteOrMalformedHeaderStops) {
    TempDir dir;
    WriteFile(dir.file("i.out"), "# nobj 2 ndvs 3\n1 2 3 4 5\n");
    std::string out = FatalOutput([&] { PIOU::read_population_a(dir.file("i.out")); });
    EXPECT_NE(out.find("Header information incomplete\nProgram stopped!\n"), std::string::npos)
        << out;

    WriteFile(dir.file("bad.out"), "# nobj two ndvs 3 nctr 0\n");
    out = FatalOutput([&] { PIOU::read_population_a(dir.file("bad.out")); });
    EXPECT_NE(out.find(dir.file("bad.out")), std::string::npos) << out;
    EXPECT_NE(out.find("nobj"), std::string::npos) << out;
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;

    WriteFile(dir.file("neg.out"), "# nobj -2 ndvs 3 nctr 0\n");
    out = FatalOutput([&] { PIOU::read_population_a(dir.file("neg.out")); });
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;
}

TEST(PIOU, MissingFilesStop) {
    TempDir dir;
    const std::string missing = dir.file("missing.out");
    for (int kind = 0; kind < 3; ++kind) {
        const std::string out = FatalOutput([&] {
            if (kind == 0)
                PIOU::read_population_a(missing);
            else if (kind == 1)
                PIOU::read_population_b(missing);
            else
                PIOU::read_population_dvs(missing, 2, 1, 0);
        });
        EXPECT_NE(out.find("File " + missing + " not found.\nProgram stopped!\n"),
                  std::string::npos)
            << out;
    }
}

TEST(PIOU, TruncatedBinaryFileStops) {
    TempDir dir;
    POPULATION pop = Sample();
    pop.WriteFileBin(dir.file("t.bin"));
    std::string bytes = ReadFile(dir.file("t.bin"));
    bytes.resize(bytes.size() - 17); // the last record loses 17 of its 60 bytes
    WriteFile(dir.file("t.bin"), bytes);
    const std::string out = FatalOutput([&] { PIOU::read_population_b(dir.file("t.bin")); });
    EXPECT_NE(out.find("File " + dir.file("t.bin") +
                       " holds 3 whole records of 60 bytes (nobj 2, ndvs 3, nctr 1) after its "
                       "12-byte header, then 43 bytes more: its last record is cut"),
              std::string::npos)
        << out;
}

TEST(PIOU, BinaryFileTooShortForItsHeaderOrWithBadCountsStops) {
    TempDir dir;
    WriteFile(dir.file("short.bin"), std::string("\x02\x00\x00\x00\x03", 5));
    std::string out = FatalOutput([&] { PIOU::read_population_b(dir.file("short.bin")); });
    EXPECT_NE(out.find(dir.file("short.bin")), std::string::npos) << out;
    EXPECT_NE(out.find("Program stopped!"), std::string::npos) << out;

    const int32_t counts[3] = {2, -1, 0};
    WriteFile(dir.file("neg.bin"), std::string(reinterpret_cast<const char*>(counts), 12));
    out = FatalOutput([&] { PIOU::read_population_b(dir.file("neg.bin")); });
    EXPECT_NE(out.find(dir.file("neg.bin")), std::string::npos) << out;

    // Counts beyond the limits are refused before anything is allocated, also
    // when the file holds no record.
    const int32_t huge[3] = {2, 30000000, 0};
    WriteFile(dir.file("huge.bin"), std::string(reinterpret_cast<const char*>(huge), 12));
    out = FatalOutput([&] { PIOU::read_population_b(dir.file("huge.bin")); });
    EXPECT_NE(out.find("File " + dir.file("huge.bin") +
                       " has header counts beyond the limits: a design would hold NDVs 30000000"),
              std::string::npos)
        << out;

    // A header alone is an empty population.
    const int32_t ok[3] = {2, 1, 0};
    WriteFile(dir.file("empty.bin"), std::string(reinterpret_cast<const char*>(ok), 12));
    POPULATION empty = Read(dir.file("empty.bin"), false);
    EXPECT_EQ(empty.GetPopsize(), 0u);
    EXPECT_EQ(empty.GetNobj(), 2u);
}

TEST(PIOU, AFileThatCannotBeWrittenStopsTheRunWithTheSystemsReason) {
    TempDir dir;
    POPULATION pop = Sample();
    // A missing folder fails at the open; /dev/full accepts the open and fails
    // when the data reach it, as a full disk does.
    const std::pair<std::string, const char*> targets[] = {
        {dir.file("no-such-folder/pop.out"), "No such file or directory"},
        {"/dev/full", "No space left on device"}};
    for (const auto& target : targets) {
        const std::string& file = target.first;
        const std::function<void()> writers[] = {
            [&] { pop.WriteFileAscii(file, false); },
            [&] { pop.AppendFileAscii(file, true, true, true); },
            [&] { pop.WriteFileBin(file); },
            [&] { pop.AppendFileBin(file); },
            [&] { PIOU::append_individual(file, pop[0], false); },
            [&] { PIOU::append_individual(file, pop[0], true); }};
        for (const auto& write : writers) {
            const std::string out = FatalOutput(write);
            EXPECT_NE(out.find("Could not write " + file + ": " + target.second), std::string::npos)
                << out;
        }
    }
}

TEST(PIOU, AppendedBlocksWithBlanksReadBackAsOnePopulation) {
    TempDir dir;
    const std::string file = dir.file("hist.out");
    POPULATION pop("block", 1, 1, 0, 2, true);
    pop[0].SetDv(0, 1.0);
    pop[0].SetEval({10.0}, {});
    pop[1].SetDv(0, 2.0);
    pop[1].SetEval({20.0}, {});
    pop.AppendFileAscii(file, true, true, true);
    pop.AppendFileAscii(file, false, false, true);
    pop.AppendFileAscii(file, false, true, false);
    const std::vector<std::string> lines = ReadLines(file);
    // Blank, two header lines, column header, two records, blank; blank, two
    // records, blank; column header, two records.
    ASSERT_EQ(lines.size(), 7u + 4u + 3u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "# Writing information of population: block");
    EXPECT_EQ(lines[3].substr(0, 8), "# obj[0]");
    EXPECT_EQ(lines[6], "");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8].substr(0, 16), "1.0000000000e+01");
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11].substr(0, 8), "# obj[0]");

    POPULATION back = Read(file, true);
    ASSERT_EQ(back.GetPopsize(), 6u);
    for (unsigned i = 0; i < 6; ++i)
        EXPECT_EQ(back[i].GetObj(0), i % 2 == 0 ? 10.0 : 20.0);

    // Only computed members with the "Computed" variants.
    pop[1].SetDv(0, 3.0);
    pop.AppendComputedFileAscii(dir.file("c.out"), true, false, false);
    EXPECT_EQ(ReadLines(dir.file("c.out")).size(), 3u);
    pop.AppendComputedFile(dir.file("c.bin"), false, true, true, true);
    EXPECT_EQ(FileSize(dir.file("c.bin")), 28); // no header, one record of 2 doubles + 12
}

TEST(PIOU, BinaryAppendsCarryTheHeaderOnlyOnce) {
    TempDir dir;
    POPULATION pop = Sample();
    pop.WriteFile(dir.file("p.bin"), false, true);
    pop.AppendFile(dir.file("p.bin"), false, true, true, true);
    for (unsigned i = 0; i < pop.GetPopsize(); ++i)
        ASSERT_TRUE(PIOU::append_individual(dir.file("p.bin"), pop[i], false));
    EXPECT_EQ(FileSize(dir.file("p.bin")), 12 + 12 * 60);
    POPULATION back = Read(dir.file("p.bin"), false);
    ASSERT_EQ(back.GetPopsize(), 12u);
    EXPECT_EQ(back[9].GetObj(0), 0.1);

    pop.WriteComputedFile(dir.file("c.bin"), false, false);
    EXPECT_EQ(FileSize(dir.file("c.bin")), 12 + 3 * 60); // member 2 is not computed
    pop.WriteComputedFileBin(dir.file("c2.bin"));
    EXPECT_EQ(ReadFile(dir.file("c.bin")), ReadFile(dir.file("c2.bin")));
}

TEST(PIOU, AppendIndividualCreatesTheFileAndAddsWholeRecords) {
    TempDir dir;
    POPULATION pop = Sample();
    ASSERT_TRUE(PIOU::append_individual(dir.file("c.bin"), pop[0], false));
    ASSERT_TRUE(PIOU::append_individual(dir.file("c.bin"), pop[3], false));
    std::ostringstream bytes;
    PIOU::out_individual_bin(bytes, pop[0]);
    PIOU::out_individual_bin(bytes, pop[3]);
    EXPECT_EQ(ReadFile(dir.file("c.bin")), bytes.str());
    ASSERT_TRUE(PIOU::append_individual(dir.file("c.out"), pop[1], true));
    std::ostringstream line;
    PIOU::out_individual_ascii(line, pop[1], 20);
    EXPECT_EQ(ReadFile(dir.file("c.out")), line.str());
}

TEST(PIOU, AppendIndividualAsciiWritesOneRecordLine) {
    TempDir dir;
    POPULATION pop = Sample();
    pop.WriteFileAscii(dir.file("a.out"), false);
    ASSERT_TRUE(PIOU::append_individual(dir.file("a.out"), pop[1], true));
    ASSERT_TRUE(PIOU::append_individual_ascii(dir.file("a.out"), pop[0]));
    POPULATION back = Read(dir.file("a.out"), true);
    ASSERT_EQ(back.GetPopsize(), 6u);
    EXPECT_EQ(back[4].rank, 4294967295u);
    EXPECT_EQ(back[5].crowd_distance, 2e14);
    std::ostringstream line;
    PIOU::out_individual_ascii(line, pop[0], 20);
    EXPECT_EQ(ReadLines(dir.file("a.out")).back() + "\n", line.str());
}

TEST(PIOU, DesignFileReader) {
    TempDir dir;
    WriteFile(dir.file("dvs.dat"), "# designs to start from\n0.5 1.5\n\n1.0 2.0 comment\n");
    testing::internal::CaptureStdout();
    POPULATION pop = PIOU::read_population_dvs(dir.file("dvs.dat"), 2, 3, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(pop.GetName(), dir.file("dvs.dat"));
    EXPECT_EQ(pop.GetNdvs(), 2u);
    EXPECT_EQ(pop.GetNobj(), 3u);
    EXPECT_EQ(pop.GetNctr(), 1u);
    ASSERT_EQ(pop.GetPopsize(), 2u);
    EXPECT_EQ(pop[0].GetDvs(), (std::vector<double>{0.5, 1.5}));
    EXPECT_EQ(pop[1].GetDvs(), (std::vector<double>{1.0, 2.0}));
    for (unsigned i = 0; i < 2; ++i) {
        EXPECT_FALSE(pop[i].IsComputed());
        EXPECT_EQ(pop[i].GetObj(), std::vector<double>(3, kMax));
    }
    EXPECT_EQ(CountOccurrences(out, "comment line skipped\n"), 1) << out;
    EXPECT_EQ(out.rfind("> Reading DVS file: " + dir.file("dvs.dat") + "\n", 0), 0u) << out;
    EXPECT_NE(out.find("   Individuals read 2\n< Done.\n"), std::string::npos) << out;

    // A short, long or malformed design stops naming its line.
    for (const char* bad : {"3.0\n", "1 2 3\n", "1 2x\n"}) {
        WriteFile(dir.file("bad.dat"), std::string("0.5 1.5\n# c\n") + bad);
        const std::string text =
            FatalOutput([&] { PIOU::read_population_dvs(dir.file("bad.dat"), 2, 1, 0); });
        EXPECT_NE(text.find("File " + dir.file("bad.dat") +
                            ", line 3: expected 2 design-variable values, found "),
                  std::string::npos)
            << text;
    }
}

TEST(PIOU, Nsga2HeaderKeywords) {
    TempDir dir;
    WriteFile(dir.file("n.out"), "# objectives 2 real_var 1 constraints 1\n1 2 3 -1 1 0\n");
    testing::internal::CaptureStdout();
    POPULATION pop = PIOU::read_population_NSGA2(dir.file("n.out"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pop.GetNobj(), 2u);
    EXPECT_EQ(pop.GetNdvs(), 1u);
    EXPECT_EQ(pop.GetNctr(), 1u);
    ASSERT_EQ(pop.GetPopsize(), 1u);
    EXPECT_EQ(pop[0].GetCtrViolation(), -1.0);
}

TEST(PIOU, EmptySlotsStopTheWriters) {
    TempDir dir;
    POPULATION pop("holes", 1, 1, 0, 2, false);
    EXPECT_EQ(FatalOutput([&] { pop.WriteFileAscii(dir.file("h.out"), false); }),
              "Trying to acces to an individual not allocated.\nProgram stopped!\n");
    EXPECT_EQ(FatalOutput([&] { pop.WriteFileBin(dir.file("h.bin")); }),
              "Trying to acces to an individual not allocated.\nProgram stopped!\n");
}

} // namespace
