// Evolutionary runs from the command line: front quality on ZDT1-3, seeded
// reproducibility on one and two processors, and the result files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

struct Member {
    std::vector<double> values; // objectives, then design variables
};

// The data lines of an ASCII population file (comments and blanks skipped).
std::vector<Member> ReadMembers(const std::string& path) {
    std::vector<Member> members;
    for (const std::string& line : ReadLines(path)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream is(line);
        Member m;
        double x;
        while (is >> x)
            m.values.push_back(x);
        if (!m.values.empty())
            members.push_back(m);
    }
    return members;
}

// g(x) = 1 + 9 (x2 + ... + x30) / 29 of a ZDT member (objectives come first).
double ZdtG(const Member& m) {
    double sum = 0.0;
    for (size_t i = 3; i < 32; ++i)
        sum += m.values[i];
    return 1.0 + 9.0 * sum / 29.0;
}

struct FrontStats {
    size_t size = 0;
    double max_g = 0.0;
    double min_f1 = 1e300;
    double max_f1 = -1e300;
};

FrontStats RunZdt(const std::string& problem, unsigned seed) {
    TempDir dir;
    RunConfig c;
    c.problem = problem;
    WriteRun(dir.path(), c, WriteQERN(1, 0));
    const RunResult r = RunVesk({"-s", std::to_string(seed)}, dir.path());
    EXPECT_EQ(r.status, 0) << r.output.substr(r.output.size() > 3000 ? r.output.size() - 3000 : 0);
    FrontStats s;
    for (const Member& m : ReadMembers(dir.file("pareto_Last.front"))) {
        ++s.size;
        s.max_g = std::max(s.max_g, ZdtG(m));
        s.min_f1 = std::min(s.min_f1, m.values[0]);
        s.max_f1 = std::max(s.max_f1, m.values[0]);
    }
    return s;
}

} // namespace

// 30 variables, popsize 100, 25,000 evaluations, pc 0.9, pm 1/30: the final
// front must be close to the true front (g = 1) and cover it.
TEST(EvolutionaryRun, Zdt1ReachesAndCoversTheFront) {
    const FrontStats s = RunZdt("ZDT1", 2);
    EXPECT_GE(s.size, 90u);
    EXPECT_LT(s.max_g, 1.1);
    EXPECT_LE(s.min_f1, 0.01);
    EXPECT_GE(s.max_f1, 0.99);
}

TEST(EvolutionaryRun, Zdt2ReachesAndCoversTheFront) {
    const FrontStats s = RunZdt("ZDT2", 3);
    EXPECT_GE(s.size, 90u);
    EXPECT_LT(s.max_g, 1.1);
    EXPECT_LE(s.min_f1, 0.01);
    EXPECT_GE(s.max_f1, 0.99);
}

TEST(EvolutionaryRun, Zdt3ReachesAndCoversItsFiveFrontPieces) {
    // The ZDT3 front is disconnected; f1 spans [0, 0.852] on its five pieces.
    const FrontStats s = RunZdt("ZDT3", 4);
    EXPECT_GE(s.size, 90u);
    EXPECT_LT(s.max_g, 1.1);
    EXPECT_LE(s.min_f1, 0.01);
    EXPECT_GE(s.max_f1, 0.84);
}

TEST(EvolutionaryRun, SeededRunsRepeatByteForByteOnOneAndTwoProcessors) {
    RunConfig c;
    c.problem = "ZDT1";
    c.popsize = 20;
    c.buffer = "0 30";
    // The budget runs out at the last design evaluated in a batch, so no
    // evaluation is still running when the rule is met: with a budget that
    // ends inside a batch, designs that finish after the rule are stored as
    // well, and how many there are depends on the threads' timing.
    c.stop = "0 989";
    TempDir one_a, one_b, two;
    WriteRun(one_a.path(), c, WriteQERN(2, 1, "0", 5));
    WriteRun(one_b.path(), c, WriteQERN(2, 1, "0", 5));
    c.ncpu = 2;
    WriteRun(two.path(), c, WriteQERN(2, 1, "0", 5));
    for (const TempDir* d : {&one_a, &one_b, &two})
        ASSERT_EQ(RunVesk({"-s", "11"}, d->path()).status, 0);

    const std::vector<std::string> files = ResultFileNames(one_a.path());
    for (const char* expected :
         {"bestfits.out", "childs.out", "parents.out", "convergence_gen.out", "convergence_eva.out",
          "pareto_History.front", "pareto_Last.front", "initial_buffer.out", "first_parents.out",
          "last_child.out", "QERN.gp"})
        EXPECT_NE(std::find(files.begin(), files.end(), expected), files.end()) << expected;
    for (const std::string& f : files) {
        if (f == "input.QERN")
            continue;
        EXPECT_EQ(ReadFile(one_a.file(f)), ReadFile(one_b.file(f))) << f;
        // Results are committed in index order, so even the children file and
        // the evaluation convergence file repeat with two processors.
        EXPECT_EQ(ReadFile(one_a.file(f)), ReadFile(two.file(f))) << f;
    }
}

TEST(EvolutionaryRun, StopsAtTheEvaluationBudgetAndReportsTheRun) {
    TempDir dir;
    RunConfig c;
    c.problem = "ZDT1";
    c.popsize = 20;
    c.buffer = "0 50";
    c.stop = "0 550";
    WriteRun(dir.path(), c, WriteQERN(2, 0, "0", 3));
    const RunResult r = RunVesk({"-s", "5"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Termination criteria: Objective evaluations: 550\n"),
              std::string::npos);
    EXPECT_NE(r.output.find("objective evaluations = 550\nTermination criteria has been met\n"),
              std::string::npos);
    EXPECT_NE(r.output.find("Objective evaluations: 550\n"), std::string::npos);
    // Reports every 3 iterations, each opened by 43 hyphens.
    EXPECT_NE(r.output.find("-------------------------------------------\nFinished iteration: 3\n"),
              std::string::npos);
    EXPECT_EQ(r.output.find("Finished iteration: 2\n"), std::string::npos);
    EXPECT_NE(r.output.find("Finished iteration: 6\n"), std::string::npos);
    // The children file holds every evaluated design, the buffer first.
    EXPECT_GE(ReadMembers(dir.file("childs.out")).size(), 550u);
    // The evaluation convergence file ends at the last evaluation.
    const std::vector<std::string> eva = ReadLines(dir.file("convergence_eva.out"));
    ASSERT_FALSE(eva.empty());
    EXPECT_EQ(eva.front().substr(0, 26), "# Evaluation        obj[0]");
    EXPECT_EQ(eva.back().substr(0, 4), "550 ");
    EXPECT_TRUE(
        std::regex_search(r.output, std::regex("Iterations\\*popsize \\+ bufsize = \\d+\n")));
}

TEST(EvolutionaryRun, ConstrainedFrontIsFeasible) {
    TempDir dir;
    RunConfig c;
    c.problem = "BNH";
    c.ndvs = 2;
    c.nctr = 2;
    c.popsize = 40;
    c.buffer = "0 40";
    c.pm = 0.5;
    c.upper = {5, 3};
    c.stop = "0 3000";
    WriteRun(dir.path(), c, WriteQERN(1, 1));
    const RunResult r = RunVesk({"-s", "3"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Member> front = ReadMembers(dir.file("pareto_Last.front"));
    ASSERT_GE(front.size(), 40u);
    for (const Member& m : front) {
        // BNH: constraints are columns 5 and 6 (2 objectives, 2 variables).
        EXPECT_GE(m.values[4], 0.0);
        EXPECT_GE(m.values[5], 0.0);
        const double x1 = m.values[2], x2 = m.values[3];
        EXPECT_NEAR(m.values[0], 4 * x1 * x1 + 4 * x2 * x2, 1e-8 * (1 + m.values[0]));
    }
    // The binary children file converts to ASCII with every record.
    EXPECT_EQ(RunVesk({"-a", "-i", "childs.bin", "-o", "childs.out"}, dir.path()).status, 0);
    EXPECT_GE(ReadMembers(dir.file("childs.out")).size(), 3000u);
}

namespace {
// Copies an example folder into a fresh temporary folder with a link to the
// plug-in, as its README tells a user to do.
void PrepareExample(const std::string& name, const TempDir& dir) {
    const std::string src = SourceDir() + "/examples/" + name;
    for (const auto& entry : std::filesystem::directory_iterator(src))
        std::filesystem::copy(entry.path(), dir.path() + "/" + entry.path().filename().string());
    std::filesystem::create_symlink(MathcasesPath(), dir.file("mathcases.so"));
}
} // namespace

TEST(Examples, Zdt1RunsFromACleanCopyAndWritesItsFiles) {
    TempDir dir;
    PrepareExample("zdt1", dir);
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Objective evaluations: 25000\n"), std::string::npos);
    for (const char* f : {"childs.out", "parents.out", "initial_buffer.out", "first_parents.out",
                          "last_child.out", "pareto_Last.front", "bestfits.out",
                          "convergence_gen.out", "convergence_eva.out", "QERN.gp"})
        EXPECT_GT(FileSize(dir.file(f)), 0) << f;
    // gnuplot is off in the example, and no Pareto history is kept.
    EXPECT_EQ(r.output.find("Gnuplot execution"), std::string::npos);
    EXPECT_FALSE(FileExists(dir.file("pareto_History.front")));
    const std::vector<Member> front = ReadMembers(dir.file("pareto_Last.front"));
    EXPECT_GE(front.size(), 90u);
    for (const Member& m : front)
        EXPECT_LT(ZdtG(m), 1.1);
}

TEST(Examples, BnhJsonRunsFromACleanCopyAndWritesItsFiles) {
    TempDir dir;
    PrepareExample("bnh_json", dir);
    const RunResult r = RunVesk({"--json"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("NCPU = 2\n"), std::string::npos);
    EXPECT_NE(r.output.find("objective evaluations = 4000\n"), std::string::npos);
    for (const char* f : {"childs.bin", "parents.bin", "initial_buffer.out", "first_parents.out",
                          "last_child.out", "pareto_History.front", "pareto_Last.front",
                          "bestfits.out", "convergence_gen.out", "convergence_eva.out", "QERN.gp"})
        EXPECT_GT(FileSize(dir.file(f)), 0) << f;
    for (const Member& m : ReadMembers(dir.file("pareto_Last.front"))) {
        EXPECT_GE(m.values[4], 0.0);
        EXPECT_GE(m.values[5], 0.0);
    }
}
