// Tests of the convergence files: the line format, the staircase written by
// ConvergenceWriteManager, and the two stand-alone utilities.

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "output/ConvergenceWriteManager.h"
#include "output/PIOU.h"
#include "support/TestSupport.h"

using testsupport::FatalOutput;

namespace {

using testsupport::ReadFile;
using testsupport::ReadLines;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string F(const std::string& text) {
    return text.size() >= 20 ? text : text + std::string(20 - text.size(), ' ');
}

// One data line as the writers format it.
std::string Line(unsigned index, const std::vector<std::string>& values) {
    std::string line = F(std::to_string(index));
    for (const auto& v : values)
        line += F(v);
    return line;
}

// The data lines of a convergence file (the header dropped).
std::vector<std::string> DataLines(const std::string& file) {
    std::vector<std::string> lines = ReadLines(file);
    if (!lines.empty() && lines[0].rfind("# ", 0) == 0)
        lines.erase(lines.begin());
    return lines;
}

TEST(Convergence, LineAndHeaderFormat) {
    std::ostringstream os;
    PIOU::out_convergence(os, std::vector<double>{1.23456789e-3, -2.0}, 17);
    EXPECT_EQ(os.str(), F("17") + F("1.2345678900e-03") + F("-2.0000000000e+00") + "\n");
    // The stream keeps the number format.
    os.str("");
    os << 0.25;
    EXPECT_EQ(os.str(), "2.5000000000e-01");

    std::ostringstream header;
    PIOU::out_convergence_header(header, 2, "Generation");
    EXPECT_EQ(header.str(), F("# Generation") + F("obj[0]") + F("obj[1]") + "\n");
    std::ostringstream long_title;
    PIOU::out_convergence_header(long_title, 1, "A title longer than twenty");
    EXPECT_EQ(long_title.str(), "# A title longer than twenty" + F("obj[0]") + "\n");
}

TEST(Convergence, LineFromARecordTakesObjectiveIOfEntryI) {
    std::vector<INDIVIDUAL> record(2, INDIVIDUAL(1, 2, 0, nullptr));
    record[0].SetEval({0.5, 99.0}, {});
    record[1].SetEval({99.0, 0.25}, {});
    std::ostringstream os;
    PIOU::out_convergence(os, record, 3);
    EXPECT_EQ(os.str(), Line(3, {"5.0000000000e-01", "2.5000000000e-01"}) + "\n");

    testing::internal::CaptureStdout();
    PIOU::cout_convergence_header(2, "Evaluation");
    PIOU::cout_convergence(record, 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              F("# Evaluation") + F("obj[0]") + F("obj[1]") + "\n" + os.str());
}

TEST(Convergence, FileWritersCreateOrAppend) {
    TempDir dir;
    const std::string file = dir.file("c.out");
    std::vector<INDIVIDUAL> record(1, INDIVIDUAL(1, 1, 0, nullptr));
    record[0].SetEval({4.0}, {});
    PIOU::write_convergence_header_file(file, 1, "Generation");
    PIOU::append_convergence_file(file, record, 1);
    PIOU::append_convergence_file(file, std::vector<double>{2.0}, 2);
    PIOU::append_convergence_header_file(file, 1, "Again");
    std::vector<std::string> lines = ReadLines(file);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], F("# Generation") + F("obj[0]"));
    EXPECT_EQ(lines[1], Line(1, {"4.0000000000e+00"}));
    EXPECT_EQ(lines[2], Line(2, {"2.0000000000e+00"}));
    EXPECT_EQ(lines[3], F("# Again") + F("obj[0]"));
    PIOU::write_convergence_file(file, record, 9); // truncates
    lines = ReadLines(file);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], Line(9, {"4.0000000000e+00"}));
}

TEST(Convergence, InitWritesExactlyOneHeaderLine) {
    TempDir dir;
    const std::string file = dir.file("g.out");
    WriteFile(file, "old contents\n");
    {
        ConvergenceWriteManager manager;
        manager.Init(file, 2, "Generation");
        EXPECT_EQ(ReadFile(file), F("# Generation") + F("obj[0]") + F("obj[1]") + "\n");
    }
    // Destroyed without a line: nothing is added.
    EXPECT_EQ(ReadLines(file).size(), 1u);
}

TEST(Convergence, StaircaseOfThePublishedExample) {
    // (5.0, 0), (5.0, 1), (5.0, 2), (3.0, 3), (3.0, 4), (2.5, 5), (2.5, 6),
    // destruction: lines 0 5.0, 2 5.0, 3 3.0, 4 3.0, 5 2.5, 6 2.5.
    TempDir dir;
    const std::string file = dir.file("e.out");
    {
        ConvergenceWriteManager manager;
        manager.Init(file, 1, "Evaluation");
        const double values[7] = {5.0, 5.0, 5.0, 3.0, 3.0, 2.5, 2.5};
        for (unsigned i = 0; i < 7; ++i)
            manager.WriteConvergenceToFile(std::vector<double>{values[i]}, i);
    }
    const std::vector<std::string> expected = {
        Line(0, {"5.0000000000e+00"}), Line(2, {"5.0000000000e+00"}),
        Line(3, {"3.0000000000e+00"}), Line(4, {"3.0000000000e+00"}),
        Line(5, {"2.5000000000e+00"}), Line(6, {"2.5000000000e+00"})};
    EXPECT_EQ(DataLines(file), expected);
    EXPECT_EQ(ReadLines(file)[0], F("# Evaluation") + F("obj[0]"));
}

TEST(Convergence, FirstLineIsWrittenEvenWhenItEqualsTheInitialZeros) {
    TempDir dir;
    const std::string file = dir.file("z.out");
    {
        ConvergenceWriteManager manager;
        manager.Init(file, 2, "Generation");
        manager.WriteConvergenceToFile(std::vector<double>{0.0, 0.0}, 1);
        EXPECT_EQ(DataLines(file),
                  (std::vector<std::string>{Line(1, {"0.0000000000e+00", "0.0000000000e+00"})}));
    }
}

TEST(Convergence, ConsecutiveChangesWriteNoExtraLine) {
    TempDir dir;
    const std::string file = dir.file("c.out");
    {
        ConvergenceWriteManager manager;
        manager.Init(file, 1, "Generation");
        manager.WriteConvergenceToFile(std::vector<double>{9.0}, 5);
        manager.WriteConvergenceToFile(std::vector<double>{9.0}, 6);
        manager.WriteConvergenceToFile(std::vector<double>{8.0}, 7);
        manager.WriteConvergenceToFile(std::vector<double>{7.0}, 8);
    }
    EXPECT_EQ(DataLines(file), (std::vector<std::string>{
                                   Line(5, {"9.0000000000e+00"}), Line(6, {"9.0000000000e+00"}),
                                   Line(7, {"8.0000000000e+00"}), Line(8, {"7.0000000000e+00"})}));
}

TEST(Convergence, UnchangedRunEndsWithOneClosingLine) {
    TempDir dir;
    const std::string file = dir.file("u.out");
    {
        ConvergenceWriteManager manager;
        manager.Init(file, 2, "Generation");
        for (unsigned i = 1; i <= 50; ++i)
            manager.WriteConvergenceToFile(std::vector<double>{1.5, -1.5}, i);
        EXPECT_EQ(DataLines(file).size(), 1u);
    }
    EXPECT_EQ(DataLines(file),
              (std::vector<std::string>{Line(1, {"1.5000000000e+00", "-1.5000000000e+00"}),
                                        Line(50, {"1.5000000000e+00", "-1.5000000000e+00"})}));
}

TEST(Convergence, ValuesAreComparedExactly) {
    TempDir dir;
    const std::string file = dir.file("x.out");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    {
        ConvergenceWriteManager manager;
        manager.Init(file, 2, "Evaluation");
        manager.WriteConvergenceToFile(std::vector<double>{1.0, 2.0}, 1);
        // A change in the last bit of the second value starts a new line.
        manager.WriteConvergenceToFile(std::vector<double>{1.0, 2.0000000000000004}, 4);
        manager.WriteConvergenceToFile(std::vector<double>{1.0, nan}, 5);
        manager.WriteConvergenceToFile(std::vector<double>{1.0, nan}, 6); // NaN != NaN
    }
    const std::vector<std::string> lines = DataLines(file);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], Line(3, {"1.0000000000e+00", "2.0000000000e+00"}));
    EXPECT_EQ(lines[2], Line(4, {"1.0000000000e+00", "2.0000000000e+00"}));
    EXPECT_EQ(lines[3].substr(0, 20), F("5"));
    EXPECT_EQ(lines[4].substr(0, 20), F("6"));
}

TEST(Convergence, RecordFormUsesObjectiveIOfEntryI) {
    TempDir dir;
    const std::string file = dir.file("r.out");
    std::vector<INDIVIDUAL> record(2, INDIVIDUAL(1, 2, 0, nullptr));
    record[0].SetEval({3.0, 100.0}, {});
    record[1].SetEval({100.0, 4.0}, {});
    {
        ConvergenceWriteManager manager;
        manager.Init(file, 2, "Evaluation");
        manager.WriteConvergenceToFile(record, 1);
        record[1].SetObj({100.0, 200.0}); // objective 0 of entry 1 is not watched
        record[1].SetObj({0.0, 4.0});
        manager.WriteConvergenceToFile(record, 2);
        record[0].SetObj({2.0, 100.0});
        manager.WriteConvergenceToFile(record, 3);
    }
    EXPECT_EQ(DataLines(file),
              (std::vector<std::string>{Line(1, {"3.0000000000e+00", "4.0000000000e+00"}),
                                        Line(2, {"3.0000000000e+00", "4.0000000000e+00"}),
                                        Line(3, {"2.0000000000e+00", "4.0000000000e+00"})}));
}

TEST(Convergence, UninitialisedManagerWritesNothing) {
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    {
        ConvergenceWriteManager manager;
        manager.WriteConvergenceToFile(std::vector<double>{1.0}, 1);
        manager.WriteConvergenceToFile(std::vector<double>{2.0}, 5);
    }
    EXPECT_EQ(testsupport::RunCommand("ls -A", dir.path()).output, "");
}

TEST(Convergence, TheStaircaseRuleWritesThroughAnyWriter) {
    std::vector<std::pair<unsigned, std::vector<double>>> written;
    const ConvergenceStaircase::WriteLine record = [&](const std::vector<double>& v, unsigned i) {
        written.emplace_back(i, v);
    };
    ConvergenceStaircase staircase;
    EXPECT_FALSE(staircase.Started());
    staircase.Close({1.0}, record); // no first line: nothing to close
    staircase.Start({5.0, 1.0}, 0);
    staircase.Add({5.0, 1.0}, 1, 2, record);
    staircase.Add({5.0, 9.0}, 2, 1, record); // only the first value is compared
    staircase.Add({3.0, 1.0}, 3, 2, record); // a step after index 0: 2 then 3
    staircase.Add({3.0, 1.0}, 4, 2, record);
    staircase.Close({7.0, 7.0}, record); // the closing line takes the given values
    const std::vector<std::pair<unsigned, std::vector<double>>> expected = {
        {2, {5.0, 1.0}}, {3, {3.0, 1.0}}, {4, {7.0, 7.0}}};
    EXPECT_EQ(written, expected);
}

TEST(Convergence, ClosingLinesKeepTheSignOfZeroOfTheirSource) {
    // 0 and -0 are equal, so -0 starts no step. The manager closes with the
    // level it wrote, the simplified copy with the last line it read.
    TempDir dir;
    {
        ConvergenceWriteManager manager;
        manager.Init(dir.file("m.out"), 1, "Evaluation");
        manager.WriteConvergenceToFile(std::vector<double>{0.0}, 0);
        manager.WriteConvergenceToFile(std::vector<double>{-0.0}, 1);
    }
    EXPECT_EQ(
        DataLines(dir.file("m.out")),
        (std::vector<std::string>{Line(0, {"0.0000000000e+00"}), Line(1, {"0.0000000000e+00"})}));
    WriteFile(dir.file("in.out"), "0 0.0\n1 -0.0\n");
    testing::internal::CaptureStdout();
    PIOU::simplify_convergence_file(dir.file("in.out"), dir.file("out.out"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadLines(dir.file("out.out")),
              (std::vector<std::string>{"0 0.0", "1\t" + F("-0.0000000000e+00")}));
}

TEST(Convergence, SimplifyKeepsOnlyTheChangePoints) {
    TempDir dir;
    const std::string in = dir.file("in.out");
    WriteFile(in, "# Evaluation        obj[0]              obj[1]\n"
                  "1   5.0  7.0\n"
                  "2   5.0  7.0\n"
                  "3   5.0  7.0\n"
                  "4   4.0  7.0\n"
                  "5   3.0  6.0\n"
                  "6   3.0  6.0\n"
                  "7   3.0  6.0\n");
    testing::internal::CaptureStdout();
    PIOU::simplify_convergence_file(in, dir.file("out.out"));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Input data lines: 7\nOutput data lines: 5\n");
    const std::vector<std::string> lines = ReadLines(dir.file("out.out"));
    const std::vector<std::string> expected = {
        "# Evaluation        obj[0]              obj[1]",
        "1   5.0  7.0",
        "3\t" + F("5.0000000000e+00") + F("7.0000000000e+00"),
        "4\t" + F("4.0000000000e+00") + F("7.0000000000e+00"),
        "5\t" + F("3.0000000000e+00") + F("6.0000000000e+00"),
        "7\t" + F("3.0000000000e+00") + F("6.0000000000e+00")};
    EXPECT_EQ(lines, expected);
}

TEST(Convergence, SimplifyOfAFileWithoutChanges) {
    TempDir dir;
    WriteFile(dir.file("in.out"), "0 1.0\n1 1.0\n2 1.0\n");
    testing::internal::CaptureStdout();
    PIOU::simplify_convergence_file(dir.file("in.out"), dir.file("out.out"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Input data lines: 3\nOutput data lines: 2\n");
    EXPECT_EQ(ReadLines(dir.file("out.out")),
              (std::vector<std::string>{"0 1.0", "2\t" + F("1.0000000000e+00")}));
}

TEST(Convergence, SimplifyRefusesMalformedLinesAndMissingFiles) {
    TempDir dir;
    WriteFile(dir.file("bad.out"), "1 1.0 2.0\n2 1.0\n");
    std::string out = FatalOutput(
        [&] { PIOU::simplify_convergence_file(dir.file("bad.out"), dir.file("o.out")); });
    EXPECT_NE(out.find(dir.file("bad.out")), std::string::npos) << out;
    EXPECT_NE(out.find("line 2"), std::string::npos) << out;
    out = FatalOutput(
        [&] { PIOU::simplify_convergence_file(dir.file("none.out"), dir.file("o.out")); });
    EXPECT_EQ(out, "File " + dir.file("none.out") + " not found.\nProgram stopped!\n");
}

TEST(Convergence, ProcessConvergenceFromPopulation) {
    TempDir dir;
    // Objective values in evaluation order; running minima by hand:
    // i:     0  1  2  3  4  5  6
    // obj0:  5  6  4  4  7  1  2   -> 5 5 4 4 4 1 1
    // obj1:  3  2  2  9  1  1  0   -> 3 2 2 2 1 1 0
    const double obj0[7] = {5, 6, 4, 4, 7, 1, 2};
    const double obj1[7] = {3, 2, 2, 9, 1, 1, 0};
    POPULATION pop("children", 1, 2, 0, 7, true);
    for (unsigned i = 0; i < 7; ++i)
        pop[i].SetEval({obj0[i], obj1[i]}, {});
    PIOU::process_convergence_from_population(pop, dir.file("eva.out"), dir.file("gen.out"), 3);

    auto V = [](double a, double b) {
        std::ostringstream x, y;
        x.precision(10);
        y.precision(10);
        x << std::scientific << a;
        y << std::scientific << b;
        return std::vector<std::string>{x.str(), y.str()};
    };
    EXPECT_EQ(ReadLines(dir.file("eva.out"))[0], F("# Evaluation") + F("obj[0]") + F("obj[1]"));
    EXPECT_EQ(DataLines(dir.file("eva.out")),
              (std::vector<std::string>{Line(0, V(5, 3)), Line(1, V(5, 2)), Line(2, V(4, 2)),
                                        Line(3, V(4, 2)), Line(4, V(4, 1)), Line(5, V(1, 1)),
                                        Line(6, V(1, 0))}));
    // Blocks of 3: [0, 3) -> index 3, [3, 6) -> index 6, the last block [6, 7)
    // -> index 7 (every individual counts); as a staircase, the level of 3 is
    // drawn up to 5 before the step at 6.
    EXPECT_EQ(ReadLines(dir.file("gen.out"))[0], F("# Generation") + F("obj[0]") + F("obj[1]"));
    EXPECT_EQ(DataLines(dir.file("gen.out")),
              (std::vector<std::string>{Line(3, V(4, 2)), Line(5, V(4, 2)), Line(6, V(1, 1)),
                                        Line(7, V(1, 0))}));

    // A block size of 0 takes the whole population as one block.
    PIOU::process_convergence_from_population(pop, dir.file("eva0.out"), dir.file("gen0.out"), 0);
    EXPECT_EQ(DataLines(dir.file("gen0.out")), (std::vector<std::string>{Line(7, V(1, 0))}));

    POPULATION holes("h", 1, 1, 0, 2, false);
    EXPECT_EQ(FatalOutput([&] {
                  PIOU::process_convergence_from_population(holes, dir.file("e2.out"),
                                                            dir.file("g2.out"), 1);
              }),
              "Trying to acces to an individual not allocated.\nProgram stopped!\n");
}

} // namespace
