// The hypervolume from the command line: --hypervolume on ASCII and binary
// population files, the hypervolume file of seeded runs (derived, given and
// deferred reference points, games), and the refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include "model/HYVU.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// 2 objectives, 1 variable, 1 constraint. Only the first three and the
// dominated one count: the fourth violates its constraint and the fifth is a
// failed evaluation.
const char* const kPopulation = "# Writing information of population: hand\n"
                                "# nobj 2 ndvs 1 nctr 1\n"
                                "1 3 0 0.5 1 0\n"
                                "2 2 0 0 1 0\n"
                                "3 1 0 1 1 0\n"
                                "0.5 0.5 0 -1 1 0\n"
                                "1.7976931348623157e308 0 0 0 1 0\n"
                                "2.5 2.5 0 0 1 0\n";

struct HypervolumeFile {
    std::string reference; // as the first comment line gives it
    std::vector<std::string> comments;
    std::vector<std::vector<double>> rows; // generation, evaluations, hypervolume
    std::vector<std::string> values;       // the hypervolume fields as written
};

HypervolumeFile ReadHypervolumeFile(const std::string& path) {
    HypervolumeFile f;
    const std::regex ref("^# Hypervolume reference point: ([^ ]+) \\(");
    for (const std::string& line : ReadLines(path)) {
        if (!line.empty() && line[0] == '#') {
            f.comments.push_back(line);
            std::smatch m;
            if (f.reference.empty() && std::regex_search(line, m, ref))
                f.reference = m[1];
            continue;
        }
        std::istringstream is(line);
        std::vector<double> row(3);
        std::string value;
        is >> row[0] >> row[1] >> value;
        row[2] = std::stod(value);
        f.rows.push_back(row);
        f.values.push_back(value);
    }
    return f;
}

// The value of the last "Hypervolume: " line of a run's output.
std::string PrintedHypervolume(const std::string& output) {
    const size_t pos = output.rfind("\nHypervolume: ");
    if (pos == std::string::npos)
        return "";
    const size_t start = pos + 14;
    return output.substr(start, output.find_first_of(" \n", start) - start);
}

RunConfig SmallZdt1() {
    RunConfig c;
    c.popsize = 20;
    c.buffer = "0 40";
    c.stop = "0 1000";
    return c;
}

std::string Json(const std::string& extra) {
    return "{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\"ndvs\": 2, \"nobj\": 2, \"nctr\": 2, "
           "\"EVAU\": {\"ncpu\": 1, \"AnalyzerType\": 0, \"CommandFile\": \"" +
           MathcasesPath() +
           "\"}, \"seed\": 3, \"popsize\": 10, \"dvs_step\": [0, 0], \"min_dvs\": [0, 0], "
           "\"max_dvs\": [5, 3], \"TerminationCriteria\": {\"criteria\": 0, \"max_obj_evals\": "
           "200}" +
           extra + "}}}";
}

} // namespace

TEST(HypervolumeMode, AsciiAndBinaryFilesWithAGivenOrDerivedReference) {
    TempDir dir;
    WriteFile(dir.file("pop.out"), kPopulation);
    RunResult r = RunVesk({"--hypervolume", "pop.out", "--hv-ref", "4,4"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(PrintedHypervolume(r.output), "6.0000000000e+00") << r.output;
    EXPECT_NE(r.output.find("Hypervolume reference point: 4,4 (given with --hv-ref)"),
              std::string::npos);
    EXPECT_NE(r.output.find("in the front: 3"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("QERN Finished"), std::string::npos);

    // Worst feasible values (3, 3) plus a tenth of the ranges (2, 2).
    r = RunVesk({"--hypervolume", "pop.out"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Hypervolume reference point: 3.2,3.2 (derived from the file"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(PrintedHypervolume(r.output), "1.8400000000e+00");

    ASSERT_EQ(RunVesk({"-b", "-i", "pop.out", "-o", "pop.bin"}, dir.path()).status, 0);
    r = RunVesk({"--hypervolume", "pop.bin", "--hv-ref=4,4"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("> Reading population binary file: pop.bin"), std::string::npos);
    EXPECT_EQ(PrintedHypervolume(r.output), "6.0000000000e+00");
}

TEST(HypervolumeMode, BadInputStopsWithAClearMessage) {
    TempDir dir;
    WriteFile(dir.file("pop.out"), kPopulation);
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--hypervolume", "missing.out"}, "File missing.out not found."},
        {{"--hypervolume", "pop.out", "--hv-ref", "4,4,4"},
         "The hypervolume reference point (--hv-ref 4,4,4) has 3 values but the designs of "
         "pop.out have 2 objectives."},
        {{"--hypervolume", "pop.out", "--hv-ref", "4,four"}, "value 2 \"four\" is not a number"},
        {{"--hypervolume", "pop.out", "--hv-ref", "4,nan"}, "\"nan\" is not a finite number"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunVesk(c.args, dir.path());
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Program stopped!\n"), std::string::npos);
    }
}

// A seeded run: the reference point comes from the evaluated buffer, the
// curve never goes down, and its last value is the hypervolume of the final
// front file against the same point.
TEST(HypervolumeRun, TheFileFollowsTheFrontToTheFinalFrontFile) {
    TempDir dir;
    WriteRun(dir.path(), SmallZdt1(), WriteQERN(2, 0));
    const RunResult r = RunVesk({"-s", "4"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    const HypervolumeFile f = ReadHypervolumeFile(dir.file("hypervolume_gen.out"));
    ASSERT_FALSE(f.reference.empty());
    EXPECT_EQ(ReadLines(dir.file("hypervolume_gen.out"))[1],
              "# Generation        Evaluations         Hypervolume         ");
    // Generation 0 is the buffer; a generation evaluates at most popsize
    // children (unchanged ones are not evaluated again) up to the budget.
    ASSERT_GE(f.rows.size(), 49u);
    EXPECT_EQ(f.rows.front()[1], 40);
    EXPECT_EQ(f.rows.back()[1], 1000);
    for (size_t k = 0; k < f.rows.size(); ++k) {
        EXPECT_EQ(f.rows[k][0], k);
        if (k == 0)
            continue;
        EXPECT_GT(f.rows[k][1], f.rows[k - 1][1]);
        EXPECT_LE(f.rows[k][1], f.rows[k - 1][1] + 20);
        EXPECT_GE(f.rows[k][2], f.rows[k - 1][2]) << "generation " << k;
    }
    EXPECT_GT(f.rows.back()[2], f.rows.front()[2]);
    EXPECT_EQ(PrintedHypervolume(r.output), f.values.back());

    // The point: worst value plus a tenth of the range over the buffer.
    std::vector<std::vector<double>> buffer;
    for (const std::string& line : ReadLines(dir.file("initial_buffer.out"))) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream is(line);
        std::vector<double> obj(2);
        is >> obj[0] >> obj[1];
        buffer.push_back(obj);
    }
    ASSERT_EQ(buffer.size(), 40u);
    const std::vector<double> derived = HYVU::derive_reference(buffer);
    const std::vector<double> ref = HYVU::parse_reference(f.reference, "file");
    for (size_t i = 0; i < 2; ++i)
        EXPECT_NEAR(ref[i], derived[i], 1e-9 * std::fabs(derived[i]));

    const RunResult hv =
        RunVesk({"--hypervolume", "pareto_Last.front", "--hv-ref", f.reference}, dir.path());
    ASSERT_EQ(hv.status, 0) << hv.output;
    EXPECT_NEAR(std::stod(PrintedHypervolume(hv.output)), f.rows.back()[2],
                1e-9 * f.rows.back()[2]);
}

TEST(HypervolumeRun, AGivenPointOfTheWrongLengthStopsBeforeAnyEvaluation) {
    TempDir dir;
    WriteRun(dir.path(), SmallZdt1(), WriteQERN(0, 0));
    const RunResult r = RunVesk({"-s", "4", "--hv-ref", "1,2,3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("The hypervolume reference point (--hv-ref 1,2,3) has 3 values but "
                            "the run has 2 objectives.\nProgram stopped!\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("> Computing buffer"), std::string::npos);
}

TEST(HypervolumeRun, JsonKeyAndTheCommandLineThatOverridesIt) {
    TempDir dir;
    WriteFile(dir.file("write.QERN"), WriteQERN(0, 0));
    WriteFile(dir.file("prob.dat"), "BNH\n");
    WriteFile(dir.file("input.jsn"), Json(", \"hv_ref\": [150, 60]"));
    RunResult r = RunVesk({"--json"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    HypervolumeFile f = ReadHypervolumeFile(dir.file("hypervolume_gen.out"));
    EXPECT_EQ(f.comments[0],
              "# Hypervolume reference point: 150,60 (given with \"hv_ref\" in input.jsn)");
    EXPECT_EQ(PrintedHypervolume(r.output), f.values.back());

    r = RunVesk({"--json", "--hv-ref", "140.5,55"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    f = ReadHypervolumeFile(dir.file("hypervolume_gen.out"));
    EXPECT_EQ(f.comments[0], "# Hypervolume reference point: 140.5,55 (given with --hv-ref)");

    WriteFile(dir.file("input.jsn"), Json(", \"hv_ref\": [150]"));
    r = RunVesk({"--json"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("input.jsn: key \"OptimizationAlgorithm/LAMBDAMU/hv_ref\": expected "
                            "2 numbers, one per objective, found [150]."),
              std::string::npos)
        << r.output;
}

// A buffer read with its results in which every design violates a
// constraint: the front stays empty (hypervolume 0) until the first
// generation with a feasible design, which then gives the point.
TEST(HypervolumeRun, WithoutAFeasibleBufferThePointComesFromTheFirstFeasibleGeneration) {
    TempDir dir;
    std::ostringstream buffer;
    buffer << "# nobj 2 ndvs 2 nctr 2\n";
    for (int k = 0; k < 10; ++k)
        buffer << 10 + k << " " << 40 - k << " " << 0.3 * k << " " << 0.2 * k << " -1 -1 1 0\n";
    WriteFile(dir.file("buffer.out"), buffer.str());
    RunConfig c;
    c.problem = "BNH";
    c.ndvs = 2;
    c.nctr = 2;
    c.popsize = 10;
    c.buffer = "2 buffer.out";
    c.pm = 0.5;
    c.upper = {5, 3};
    c.stop = "0 100";
    WriteRun(dir.path(), c, WriteQERN(0, 0));
    const RunResult r = RunVesk({"-s", "5"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    const HypervolumeFile f = ReadHypervolumeFile(dir.file("hypervolume_gen.out"));
    ASSERT_GE(f.comments.size(), 3u);
    EXPECT_NE(f.comments[0].find("not known yet (no feasible design in the initial buffer)"),
              std::string::npos)
        << f.comments[0];
    EXPECT_NE(f.comments[2].find("(derived from generation 1: worst value plus a tenth"),
              std::string::npos)
        << f.comments[2];
    EXPECT_FALSE(f.reference.empty());
    ASSERT_GE(f.rows.size(), 2u);
    EXPECT_EQ(f.rows[0][2], 0.0);
    EXPECT_GT(f.rows[1][2], 0.0);
}

// In a game the point names the game's objectives; player 1 owns f_1 only.
TEST(HypervolumeRun, GamePlayersTakeTheirOwnObjectivesOfThePoint) {
    TempDir dir;
    for (const auto& entry :
         std::filesystem::directory_iterator(SourceDir() + "/examples/nash_game"))
        std::filesystem::copy(entry.path(), dir.file(entry.path().filename().string()));
    std::filesystem::create_symlink(MathcasesPath(), dir.file("mathcases.so"));
    RunResult r = RunVesk({"-s", "2,3", "--hv-ref", "1.5,2.5"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadHypervolumeFile(dir.file("0hypervolume_gen.out")).reference, "1.5,2.5");
    const HypervolumeFile one = ReadHypervolumeFile(dir.file("1hypervolume_gen.out"));
    EXPECT_EQ(one.reference, "1.5");
    // One objective: the reference minus the best value found.
    std::istringstream last(ReadLines(dir.file("1convergence_gen.out")).back());
    double generation = 0.0, best = 0.0;
    last >> generation >> best;
    EXPECT_NEAR(one.rows.back()[2], 1.5 - best, 1e-9);

    r = RunVesk({"-s", "2,3", "--hv-ref", "1,2,3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("has 3 values but the game has 2 objectives."), std::string::npos)
        << r.output;
}
