// Bad input ends in a clear error: a message naming the file and the line (or
// the JSON key) and the value, "Program stopped!" and status 1, before any
// evaluation; never a signal, a hang or a run on values the user did not mean.
// Each case is one that once crashed, hung or was silently accepted.

#include <cstdint>

#include <gtest/gtest.h>

#include "eval/OSAU.h"
#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// BNH with two variables in [0, 5] x [0, 3]; lines 4 to 6 hold the counts,
// 7 NCPU, 10 and 11 the argument and essential-file counts, 13 the buffer,
// 16 to 18 steps and bounds.
RunConfig Bnh() {
    RunConfig c;
    c.problem = "BNH";
    c.ndvs = 2;
    c.nctr = 2;
    c.popsize = 8;
    c.buffer = "0 8";
    c.pm = 0.5;
    c.upper = {5, 3};
    c.stop = "0 40";
    return c;
}

// The text of the configuration with line n (counted from 1) replaced.
std::string WithLine(const std::string& text, int n, const std::string& line) {
    std::vector<std::string> lines = SplitLines(text);
    lines[static_cast<size_t>(n - 1)] = line;
    std::string out;
    for (const auto& l : lines)
        out += l + "\n";
    return out;
}

std::string BnhJson(const std::string& extra, const std::string& evau = "",
                    const std::string& rule = "{\"criteria\": 0, \"max_obj_evals\": 40}") {
    return "{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\"ndvs\": 2, \"nobj\": 2, \"nctr\": 2,\n"
           "\"EVAU\": " +
           (evau.empty()
                ? "{\"ncpu\": 1, \"AnalyzerType\": 0, \"CommandFile\": \"" + MathcasesPath() + "\"}"
                : evau) +
           ",\n\"seed\": 7, \"popsize\": 8, \"dvs_step\": [0, 0], \"min_dvs\": [0, 0], "
           "\"max_dvs\": [5, 3],\n" +
           extra + "\"TerminationCriteria\": " + rule + "}}}\n";
}

RunResult RunCase(const std::vector<std::pair<std::string, std::string>>& files,
                  const std::vector<std::string>& args, const std::string& prefix = "") {
    TempDir dir;
    WriteFile(dir.file("write.QERN"), WriteQERN(0, 0));
    WriteFile(dir.file("prob.dat"), "BNH\n");
    for (const auto& f : files)
        WriteFile(dir.file(f.first), f.second);
    if (prefix.empty())
        return RunVesk(args, dir.path());
    std::string command = prefix + OSAU::shell_quote(VeskPath());
    for (const auto& a : args)
        command += " " + OSAU::shell_quote(a);
    return RunCommand(command, dir.path());
}

// Status 1, the message (which ends its line when it ends with '.') and
// "Program stopped!", and no evaluation.
void ExpectStop(const RunResult& r, const std::string& message) {
    EXPECT_EQ(r.status, 1) << r.output;
    const bool whole = !message.empty() && message.back() == '.';
    EXPECT_NE(r.output.find(whole ? message + "\nProgram stopped!\n" : message), std::string::npos)
        << "expected: " << message << "\n"
        << r.output;
    EXPECT_NE(r.output.find("\nProgram stopped!\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("> Computing buffer"), std::string::npos) << r.output;
}

const char* const kBuffer = "# nobj 2 ndvs 2 nctr 2\n"
                            "8.15 31.8 1.0 1.0 0.32 7.44 1 0.0\n"
                            "64.1 9.45 2.6 2.9 0.43 7.26 1 2.7047032118e-01\n";

} // namespace

TEST(BadInput, CountsBeyondTheLimitsOrTheFileStopAtTheirLine) {
    const std::string good = InputQERN(Bnh());
    const struct {
        int line;
        std::string value, message;
    } cases[] = {
        {7, "65536", "input.QERN, line 7: NCPU 65536 is more than the limit of 1024 processors."},
        {7, "100000000", "input.QERN, line 7: NCPU 100000000 is more than the limit"},
        {10, "4294967295",
         "input.QERN, line 10: the number of analyser arguments is 4294967295, more than the rest "
         "of the file can hold ("},
        {11, "4294967295",
         "input.QERN, line 11: the number of essential files and folders is "
         "4294967295, more than the rest of the file can hold ("},
        {4, "4294967295",
         "input.QERN, line 4: NDVs, NObj and NCtr (this line and the next two): a design would "
         "hold NDVs 4294967295 + NObj 2 + NCtr 2 = 4294967299 numbers, more than the limit of "
         "1000000."},
        {5, "200000",
         "input.QERN, line 4: NDVs, NObj and NCtr (this line and the next two): the "
         "best-per-objective record would hold 200000 designs of 200004 numbers"},
        {12, "2147483646",
         "input.QERN, line 12: the population would hold 2147483646 designs, "
         "more than the limit of 1000000."},
        {13, "0 4294967295", "input.QERN, line 13: the buffer would hold 4294967295 designs"},
        {13, "0 6",
         "input.QERN, line 13: the buffer size 6 is smaller than the population size 8."},
    };
    for (const auto& k : cases)
        ExpectStop(RunCase({{"input.QERN", WithLine(good, k.line, k.value)}}, {"-s", "2"}),
                   k.message);

    const std::string game = "game\n2 0\n2147483647 1 2\n2 0 2\n2 1 2\n2 1 0\n0\n";
    const RunResult r = RunCase({{"input.QERN", game}}, {});
    ExpectStop(r, "");
    EXPECT_NE(r.output.find("input.QERN, line 3: the number of global design variables "
                            "2147483647 is more than the rest of the file can hold ("),
              std::string::npos)
        << r.output;
}

TEST(BadInput, ProcessorsBeyondWhatTheMachineCanStartStopCleanly) {
#ifdef VESK_SANITIZE_BUILD
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    // 512 threads with the default stacks take more address space than 1 GB:
    // the threads are tried before the run, not left to the OpenMP runtime.
    const RunResult r = RunCase({{"input.QERN", WithLine(InputQERN(Bnh()), 7, "512")}}, {"-s", "2"},
                                "ulimit -v 1000000; ");
    ExpectStop(r, "");
    EXPECT_NE(r.output.find("input.QERN, line 7: NCPU 512: this machine could start only "),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("libgomp"), std::string::npos) << r.output;
}

TEST(BadInput, UnknownModesAndValuesOutsideTheBoundsAreRefused) {
    const std::string good = InputQERN(Bnh());
    const std::string designs = "# designs\n1 1\n-5 1e6\n";
    // A record cut inside its last constraint value (2.7047032118e-01): the
    // rank and the crowding distance are missing.
    const std::string cut = "# nobj 2 ndvs 2 nctr 2\n8.15 31.8 1.0 1.0 0.32 7.44 1 0.0\n"
                            "64.1 9.45 2.6 2.9 0.43 2.70470\n";
    const struct {
        std::vector<std::pair<std::string, std::string>> files;
        std::string message;
    } cases[] = {
        {{{"input.QERN", WithLine(good, 13, "3 x")}},
         "input.QERN, line 13: buffer initialisation 3 not recognized: expected 0 (random "
         "designs, then the buffer size), 1 (a design file) or 2 (a population file with "
         "results)."},
        {{{"input.QERN", WithLine(good, 16, "0 5")}},
         "input.QERN, line 16: the step 5 of design variable dvs[1] is larger than its range "
         "[0, 3]."},
        {{{"input.QERN", WithLine(good, 16, "0 1e-320")}},
         "input.QERN, line 16: the step 9.99988867182683e-321 of design variable dvs[1] leaves "
         "more than 10000000 grid points in its range [0, 3]."},
        {{{"input.QERN", WithLine(WithLine(WithLine(good, 16, "0 1"), 17, "0 1e17"), 18,
                                  "5 100000000000001000")}},
         "input.QERN, line 16: the step 1 of design variable dvs[1] is below the precision of "
         "its bounds [1e+17, 1.00000000000001e+17]."},
        {{{"input.QERN", WithLine(good, 17, "6 0")}},
         "Wrong limits entered for the min and max bounds of variable, hence exiting\n"
         "input.QERN, line 17: design variable dvs[0] has the lower bound 6 above its upper "
         "bound 5 (input.QERN, line 18)."},
        {{{"input.QERN", WithLine(good, 13, "1 designs.txt")}, {"designs.txt", designs}},
         "File designs.txt, line 3: design variable dvs[0] = -5 is outside its bounds [0, 5] "
         "(lower bounds: input.QERN, line 17; upper bounds: input.QERN, line 18)."},
        {{{"input.QERN", WithLine(good, 13, "1 designs.txt")}, {"designs.txt", "1 1\n1 x\n"}},
         "File designs.txt, line 2: expected 2 design-variable values, found \"x\" where design "
         "variable dvs[1] belongs."},
        {{{"input.QERN", WithLine(good, 13, "2 buffer.out")},
          {"buffer.out", std::string(kBuffer) + "1 2 9.5 1 0 0 1 0\n"}},
         "File buffer.out, line 4: design variable dvs[0] = 9.5 is outside its bounds [0, 5]"},
        {{{"input.QERN", WithLine(good, 13, "2 buffer.out")}, {"buffer.out", cut}},
         "File buffer.out, line 3: expected 2 objective values, 2 design variables, 2 constraint "
         "values, the rank and the crowding distance (8 numbers), found only 6 numbers: the "
         "record is cut or incomplete."},
    };
    for (const auto& k : cases)
        ExpectStop(RunCase(k.files, {"-s", "2"}), k.message);
}

TEST(BadInput, TheGradientStartMustLieWithinItsBounds) {
    const std::string block = "cg\n1\n2\n2\n1\n0\n1\n0\n" + MathcasesPath() + "\n0\n0\n";
    const std::string settings = "0\n1\n1e-6\n0.01\n1e-6\n1e3\n-5 -5\n5 5\n0\n0 60\n";
    const struct {
        std::string start;
        std::pair<std::string, std::string> file;
        std::string message;
    } cases[] = {
        {"0\n-1.2 9\n",
         {"none", ""},
         "input.QERN, line 13: the initial value of design variable dvs[1], 9, is outside its "
         "bounds [-5, 5] (bounds: input.QERN, line 20 and the next line)."},
        {"1\nstart.txt\n",
         {"start.txt", "-1.2\n\n-7\n"},
         "File start.txt, line 3: the initial value of design variable dvs[1], -7, is outside"},
        {"2\nstart.out\n",
         {"start.out", "24.2 6 1\n"},
         "File start.out, line 1: the initial value of design variable dvs[0], 6, is outside"},
    };
    for (const auto& k : cases) {
        const RunResult r = RunCase(
            {{"input.QERN", block + k.start + settings}, k.file, {"prob.dat", "rosenbrock\n"}}, {});
        ExpectStop(r, "");
        EXPECT_NE(r.output.find(k.message), std::string::npos) << k.message << "\n" << r.output;
    }
}

TEST(BadInput, JsonNumbersKeysAndModesAreChecked) {
    const struct {
        std::string json, message;
    } cases[] = {
        {BnhJson("\"pc\": 1e400,\n"),
         "File input.jsn, line 4: the number 1e400 is beyond the range of a double: "
         "[json.exception.out_of_range.406] number overflow parsing '1e400'"},
        {BnhJson("\"popinit\": 7,\n"),
         "input.jsn: key \"OptimizationAlgorithm/LAMBDAMU/popinit\": buffer initialisation 7 "
         "not recognized: expected 0 (random designs, then the buffer size), 1 (a design file) "
         "or 2 (a population file with results)."},
        {BnhJson("", "{\"ncpu\": 65536, \"AnalyzerType\": 0, \"CommandFile\": \"x.so\"}"),
         "input.jsn: key \"OptimizationAlgorithm/LAMBDAMU/EVAU/ncpu\": 65536 is more than the "
         "limit of 1024 processors."},
        {"{\"OptimizationAlgorithm\": {\"LAMBDAMU\": {\"ndvs\": 4294967295, \"nobj\": 2, "
         "\"nctr\": 0}}}",
         "a design would hold NDVs 4294967295 + NObj 2 + NCtr 0 = 4294967297 numbers"},
        {BnhJson("", "", "{\"criteria\": 2, \"min_fi\": [1]}"),
         "input.jsn: key \"TerminationCriteria/min_fi\": expected 2 values, one per objective, "
         "found [1]."},
    };
    for (const auto& k : cases)
        ExpectStop(RunCase({{"input.jsn", k.json}}, {"--json"}), k.message);
}

// The command of the JSON road is one path, whatever it holds; its
// arguments stay shell words.
TEST(BadInput, AJsonCommandHoldingASpaceRuns) {
    TempDir dir;
    WriteFile(dir.file("write.QERN"), WriteQERN(2, 0));
    CopyFile(SourceDir() + "/tests/data/external/bnh.sh", dir.file("my sim.sh"));
    RunCommand("chmod +x 'my sim.sh'", dir.path());
    WriteFile(dir.file("input.jsn"),
              BnhJson("", "{\"ncpu\": 1, \"AnalyzerType\": 1, \"CommandFile\": \"./my sim.sh\", "
                          "\"Arguments\": [\"'a b'\", \"$(NDVS)\"]}"));
    const RunResult r = RunVesk({"--json"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Evaluation summary: 40 evaluations (40 run, 0 replayed), 0 failed"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("INF penalty"), std::string::npos) << r.output;
}

TEST(BadInput, BinaryHeadersBeyondTheLimitsAllocateNothing) {
    for (const int32_t ndvs : {30000000, 100000000}) {
        TempDir dir;
        const int32_t counts[3] = {2, ndvs, 0};
        WriteFile(dir.file("h.bin"), std::string(reinterpret_cast<const char*>(counts), 12));
        const RunResult r = RunVesk({"-a", "-i", "h.bin", "-o", "h.out"}, dir.path());
        ExpectStop(r, "File h.bin has header counts beyond the limits: a design would hold NDVs " +
                          std::to_string(ndvs) + " + NObj 2 + NCtr 0 = " +
                          std::to_string(ndvs + 2) + " numbers, more than the limit of 1000000.");
        EXPECT_FALSE(FileExists(dir.file("h.out")));
    }
}

// A name with a quote broke every plot; a crafted one ran a command through
// gnuplot. Names are text between single quotes now.
TEST(BadInput, ObjectiveNamesAreTextInTheGnuplotScript) {
    TempDir dir;
    RunConfig c = Bnh();
    c.names = "1 names.txt";
    WriteRun(dir.path(), c, WriteQERN(2, 2, "0", 0, "1 0"));
    WriteFile(dir.file("names.txt"),
              "driver's cost\n`touch pwned1` x' . system('touch pwned2') . '\\\n");
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Gnuplot execution success"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Gnuplot execution failed"), std::string::npos) << r.output;
    EXPECT_FALSE(FileExists(dir.file("pwned1")));
    EXPECT_FALSE(FileExists(dir.file("pwned2")));
    const std::string script = ReadFile(dir.file("QERN.gp"));
    EXPECT_NE(script.find("set   xlabel    'driver''s cost'\n"), std::string::npos);
    EXPECT_NE(
        script.find("set   ylabel    '`touch pwned1` x'' . system(''touch pwned2'') . ''\\'\n"),
        std::string::npos)
        << script;
}
