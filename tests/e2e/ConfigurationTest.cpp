// Loading the run configuration: the text road ("input.QERN") and the JSON
// road ("input.jsn"), their echoes, edge cases and error messages.

#include <gtest/gtest.h>

#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

RunConfig SmallZdt1() {
    RunConfig c;
    c.popsize = 10;
    c.buffer = "0 10";
    c.stop = "0 60";
    return c;
}

// Runs veskv2 (with seed 2) on the given input.QERN text.
RunResult RunText(const std::string& input, const std::string& write_qern = WriteQERN(0, 0)) {
    TempDir dir;
    WriteFile(dir.file("input.QERN"), input);
    WriteFile(dir.file("write.QERN"), write_qern);
    WriteFile(dir.file("prob.dat"), "ZDT1\n");
    return RunVesk({"-s", "2"}, dir.path());
}

std::string Json(const std::string& lambdamu_extra, bool with_evau = true) {
    std::string evau = with_evau
                           ? "\"EVAU\": {\"ncpu\": 1, \"AnalyzerType\": 0, \"CommandFile\": \"" +
                                 MathcasesPath() + "\"},"
                           : "";
    return "{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\"ndvs\": 2, \"nobj\": 2, \"nctr\": 2, " +
           evau + "\"seed\": 3, \"popsize\": 10, \"dvs_step\": [0, 0], \"min_dvs\": [0, 0], " +
           "\"max_dvs\": [5, 3]" + lambdamu_extra + "}}}";
}

RunResult RunJson(const std::string& json) {
    TempDir dir;
    WriteFile(dir.file("input.jsn"), json);
    WriteFile(dir.file("write.QERN"), WriteQERN(0, 0));
    WriteFile(dir.file("prob.dat"), "BNH\n");
    return RunVesk({"--json"}, dir.path());
}

bool Has(const RunResult& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

} // namespace

TEST(TextConfiguration, CommentsAfterValuesAndASecondValueOnTheSinglePlayerLineAreIgnored) {
    RunConfig c = SmallZdt1();
    std::string text = InputQERN(c);
    // "1   players" becomes "1 7 players": the 7 would be a game type for N >= 2.
    text.replace(text.find("1   players"), 11, "1 7 players, the 7 is ignored");
    const RunResult r = RunText(text);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "Number of players = 1\n"));
    EXPECT_TRUE(Has(r, "Running Standard Optimization\n"));
    EXPECT_FALSE(Has(r, "GameAlgorithm"));
}

TEST(TextConfiguration, EchoesOfTheStoppingRules) {
    RunConfig c = SmallZdt1();
    c.stop = "2 1e9 1e9";
    c.names = "0 names.txt";
    RunResult r = RunText(InputQERN(c));
    EXPECT_TRUE(Has(r, "wdata.use_OBj_names 0\n")) << r.output;
    EXPECT_FALSE(Has(r, "Reading OBj names"));
    EXPECT_TRUE(Has(r, "Termination criteria: Predefined values:  1e+09  1e+09\n"));
    EXPECT_TRUE(Has(r, "SetTerminationCriteria called!\n"));

    c.stop = "3 5 7";
    r = RunText(InputQERN(c));
    EXPECT_TRUE(Has(r, "Termination criteria: Convergence:  5  7\n")) << r.output;
}

TEST(TextConfiguration, TimeLimitEchoesTheHoursAsRead) {
    RunConfig c = SmallZdt1();
    c.stop = "1 0.000001";
    const RunResult r = RunText(InputQERN(c));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "Termination criteria: Hours: 1e-06\n")) << r.output;
}

TEST(TextConfiguration, ObjectiveNamesAreReadFromTheirFile) {
    TempDir dir;
    RunConfig c = SmallZdt1();
    c.names = "1 names.txt";
    WriteRun(dir.path(), c, WriteQERN(0, 0));
    WriteFile(dir.file("names.txt"), "mass of the beam\ncost\nextra line\n");
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "wdata.use_OBj_names 1\nReading OBj names from names.txt\n"
                       "OBj[0] name: mass of the beam\nOBj[1] name: cost\n"))
        << r.output;
    EXPECT_FALSE(Has(r, "extra line"));
    // The script names the objectives with them.
    EXPECT_NE(ReadFile(dir.file("QERN.gp")).find("mass of the beam"), std::string::npos);
}

TEST(TextConfiguration, FailuresOfTheLoaderStopWithTheirMessages) {
    RunConfig c = SmallZdt1();
    struct Case {
        std::string from, to, message;
    };
    const Case cases[] = {
        {"1   players", "0   players",
         "Number of players must be greater than 0\nProgram stopped!\n"},
        {"1   players", "2 5 players", "Game type not recognized.\nProgram stopped!\n"},
        {"0   LAMBDAMU", "3   unknown",
         "Optimization algorithm not recognized\nProgram stopped!\n"},
        {"0 25000", "4 100", "Termination criteria not recognized.\nProgram stopped!\n"},
        {"0   analyser type", "5   analyser type",
         "AnalyzerType 5 not recognized: expected 0 (plug-in) or 1 (external command).\n"
         "Program stopped!\n"},
    };
    for (const Case& k : cases) {
        std::string text = InputQERN(c);
        if (k.from == "0 25000")
            text.replace(text.find("0 60"), 4, k.to);
        else
            text.replace(text.find(k.from), k.from.size(), k.to);
        const RunResult r = RunText(text);
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(Has(r, k.message)) << k.message << "\n" << r.output;
        EXPECT_FALSE(Has(r, "> Computing buffer"));
    }
    c.names = "1 no_such_names.txt";
    const RunResult r = RunText(InputQERN(c));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r, "File no_such_names.txt not found.\nProgram stopped!\n"));
}

TEST(TextConfiguration, MalformedOrMissingValuesNameTheLineAndWhatWasExpected) {
    RunConfig c = SmallZdt1();
    const std::string good = InputQERN(c);
    struct Case {
        std::string from, to, message;
    };
    const Case cases[] = {
        {"30   ndvs", "thirty",
         "input.QERN, line 4: expected the number of design variables "
         "(an unsigned integer), found \"thirty\"."},
        {"2   nobj", "-2",
         "input.QERN, line 5: expected the number of objectives (an unsigned "
         "integer), found \"-2\"."},
        {"0.9   pc", "0.9x", "input.QERN, line 14: expected the crossover probability"},
        {"10   popsize", "7", "Population size must be an even number greater than 0: popsize = 7"},
        {"0.9   pc", "1.5",
         "Crossover probability must be between [0,1] range\ninput.QERN, line 14: pc "
         "1.5\nProgram stopped!"},
    };
    for (const Case& k : cases) {
        std::string text = good;
        text.replace(text.find(k.from), k.from.size(), k.to);
        const RunResult r = RunText(text);
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(Has(r, k.message)) << k.message << "\n" << r.output;
        EXPECT_FALSE(Has(r, "> Computing buffer"));
    }
    // A file that ends early: the stopping-rule line is missing.
    std::string text = good.substr(0, good.rfind("0 60"));
    const RunResult r = RunText(text);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r, "input.QERN, line 20: expected the stopping-rule code (0 to 3), found the "
                       "end of the file.\nProgram stopped!\n"))
        << r.output;
}

TEST(TextConfiguration, BadWriteQernStopsBeforeAnyEvaluation) {
    const RunResult r = RunText(InputQERN(SmallZdt1()), "2\n1\n0\n1\n1 7\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r, "GNUPLOT terminal option not recognized.\nwrite.QERN, line 5: plot output "
                       "kind 7 (expected 0 EPS or 1 PDF)\nProgram stopped!\n"))
        << r.output;
    const RunResult bad = RunText(InputQERN(SmallZdt1()), "2\nmany\n");
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(Has(bad, "write.QERN, line 2: expected the Pareto history mode")) << bad.output;
}

TEST(JsonConfiguration, RunsTheEvolutionaryOptimiser) {
    const RunResult r = RunJson(Json(", \"TerminationCriteria\": {\"criteria\": 0, "
                                     "\"max_obj_evals\": 100}"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "Reading input.jsn file\nOptimizationAlgorithm found\n"));
    EXPECT_TRUE(Has(r, "LAMBDAMU created.\nLAMBDAMU: {\n    \"EVAU\": {"));
    EXPECT_TRUE(Has(r, "Termination criteria found\n"));
    EXPECT_TRUE(Has(r, "LAMBDAMU creation finished.\n"));
    EXPECT_TRUE(Has(r, "Running Standard Optimization\n"));
    EXPECT_TRUE(Has(r, "QERN Finished\n"));
}

TEST(JsonConfiguration, WithoutAnEvolutionaryOptimiserNothingRuns) {
    RunResult r = RunJson("{\"OptimizationAlgorithm\": {\"PSO\": {}}}");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "OptimizationAlgorithm found\nNo LAMBDAMU found\n"));
    EXPECT_FALSE(Has(r, "Running Standard Optimization"));
    EXPECT_FALSE(Has(r, "QERN Finished"));

    r = RunJson("{\"Something\": 1}");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r, "No OptimizationAlgorithm found\n"));
    EXPECT_FALSE(Has(r, "QERN Finished"));
}

TEST(JsonConfiguration, ProblemsStopWithAMessageNamingTheFileOrKey) {
    struct Case {
        std::string json, message;
    };
    const Case cases[] = {
        {"", "File input.jsn is empty.\nProgram stopped!\n"},
        {"{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\"ndvs\": 2,,}}}",
         "File input.jsn is not valid JSON: "},
        {"{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\"nobj\": 2, \"nctr\": 0}}}",
         "input.jsn: key \"OptimizationAlgorithm/LAMBDAMU/ndvs\": required key not found"},
        {Json(", \"pc\": \"high\""), "input.jsn: key \"OptimizationAlgorithm/LAMBDAMU/pc\": "
                                     "expected a number, found \"high\"."},
        {Json(", \"TerminationCriteria\": {\"max_obj_evals\": 100}"),
         "input.jsn: key \"TerminationCriteria/criteria\": required key not found"},
        {Json(", \"TerminationCriteria\": {\"criteria\": 0}"),
         "input.jsn: key \"TerminationCriteria/max_obj_evals\": required key not found"},
        {Json(", \"TerminationCriteria\": {\"criteria\": 9}"),
         "input.jsn: key \"TerminationCriteria/criteria\": 9 not recognized: expected 0 "
         "(\"max_obj_evals\"), 1 (\"max_time\"), 2 (\"min_fi\") or 3 (\"conv_evals\").\n"
         "Program stopped!\n"},
        {Json(""), "The optimiser has no stopping rule"},
        {Json(", \"TerminationCriteria\": {\"criteria\": 0, \"max_obj_evals\": 10}", false),
         "EVAU Module not loaded\n"},
        {Json(", \"pc\": 1.5"), "Crossover probability must be between [0,1] range\n"},
        {Json(", \"popsize\": 3"), "Population size must be an even number"},
        {"{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\"ndvs\": 2, \"nobj\": 2, \"nctr\": 2, "
         "\"dvs_step\": [0], \"min_dvs\": [0, 0], \"max_dvs\": [5, 3]}}}",
         "Design variables bounds or step size do not match number od dvs\n"},
    };
    for (const Case& k : cases) {
        const RunResult r = RunJson(k.json);
        EXPECT_EQ(r.status, 1) << k.json << "\n" << r.output;
        EXPECT_TRUE(Has(r, k.message)) << k.message << "\n" << r.output;
        EXPECT_FALSE(Has(r, "> Computing buffer"));
    }
    TempDir dir;
    const RunResult r = RunVesk({"--json"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r, "Reading input.jsn file\nFile input.jsn not found.\n"));
}
