// The particle swarm and the conjugate-gradient method from the command
// line: the swarm's approach to the ZDT1 front and its seeded
// reproducibility, gradient runs on the mathcases problems, and the pso_zdt1
// and gradient_rosenbrock examples from clean copies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::vector<std::vector<double>> DataRows(const std::string& path) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : ReadLines(path)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream is(line);
        std::vector<double> row;
        double x;
        while (is >> x)
            row.push_back(x);
        if (!row.empty())
            rows.push_back(row);
    }
    return rows;
}

// g = 1 + 9 (x2 + ... + x30) / 29 of a ZDT1 row (two objectives first).
double ZdtG(const std::vector<double>& row) {
    double sum = 0.0;
    for (size_t i = 3; i < 32; ++i)
        sum += row[i];
    return 1.0 + 9.0 * sum / 29.0;
}

std::string SwarmInput(unsigned evaluations) {
    RunConfig c;
    c.popsize = 40;
    c.buffer = "0 40";
    c.stop = "0 " + std::to_string(evaluations);
    // The swarm reads the evolutionary block; only the algorithm code differs.
    return "PSO_ZDT1\n1\n1   PSO\n" + OptimizerBlock(c) + c.names + "\n" + c.stop + "\n";
}

void CopyExample(const std::string& name, const TempDir& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(SourceDir() + "/examples/" + name))
        std::filesystem::copy(entry.path(), dir.file(entry.path().filename().string()));
    std::filesystem::create_symlink(MathcasesPath(), dir.file("mathcases.so"));
}

} // namespace

TEST(Swarm, MovesTowardTheZdt1Front) {
    TempDir dir;
    WriteFile(dir.file("input.QERN"), SwarmInput(4000));
    WriteFile(dir.file("write.QERN"), WriteQERN(2, 1));
    WriteFile(dir.file("prob.dat"), "ZDT1\n");
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("PSO created.\n"), std::string::npos);
    EXPECT_NE(r.output.find("> Starting PSO\n"), std::string::npos);
    EXPECT_NE(r.output.find("PSO::PostProcessOpt():\nIterations: 99\nObjective evaluations: "
                            "4000\n"),
              std::string::npos);
    // A random buffer has g around 5.5 (at least 4 here); the final front has
    // moved well toward g = 1 (about 2.9 with this seed) and still spans f1.
    double buffer_min_g = 1e300;
    for (const auto& row : DataRows(dir.file("initial_buffer.out")))
        buffer_min_g = std::min(buffer_min_g, ZdtG(row));
    EXPECT_GT(buffer_min_g, 4.0);
    const auto front = DataRows(dir.file("pareto_Last.front"));
    ASSERT_GE(front.size(), 50u);
    double max_g = 0.0, min_f1 = 1e300, max_f1 = -1e300;
    for (const auto& row : front) {
        max_g = std::max(max_g, ZdtG(row));
        min_f1 = std::min(min_f1, row[0]);
        max_f1 = std::max(max_f1, row[0]);
        // On the ZDT1 curve of its own g: f2 = g (1 - sqrt(f1 / g)).
        const double g = ZdtG(row);
        EXPECT_NEAR(row[1], g * (1.0 - std::sqrt(row[0] / g)), 1e-8 * g);
    }
    EXPECT_LT(max_g, 3.5);
    EXPECT_LT(min_f1, 0.05);
    EXPECT_GT(max_f1, 0.9);
}

TEST(Swarm, ASeededRunRepeatsByteForByte) {
    TempDir a, b;
    for (const TempDir* dir : {&a, &b}) {
        WriteFile(dir->file("input.QERN"), SwarmInput(1200));
        WriteFile(dir->file("write.QERN"), WriteQERN(2, 1));
        WriteFile(dir->file("prob.dat"), "ZDT1\n");
        ASSERT_EQ(RunVesk({"-s", "2"}, dir->path()).status, 0);
    }
    const std::vector<std::string> files = ResultFileNames(a.path());
    EXPECT_EQ(files, ResultFileNames(b.path()));
    EXPECT_GE(files.size(), 13u);
    for (const std::string& f : files)
        EXPECT_EQ(ReadFile(a.file(f)), ReadFile(b.file(f))) << f;
}

TEST(Gradient, MinimisesDeJongFromTheCommandLine) {
    TempDir dir;
    WriteFile(dir.file("input.QERN"),
              "CG\n1\n2\n5\n1\n0\n1\n0\n" + MathcasesPath() +
                  "\n0\n0\n0\n3 -2 1 4 -1\n1   FletcherReeves\n0   GoldenSection\n1e-6\n0.1\n"
                  "1e-10\n1e6\n-10 -10 -10 -10 -10\n10 10 10 10 10\n0\n0 5000\n");
    WriteFile(dir.file("write.QERN"), WriteQERN(2, 0));
    WriteFile(dir.file("prob.dat"), "dejong\n");
    const RunResult r = RunVesk({}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Creating new ConjugateGradient object"), std::string::npos);
    EXPECT_NE(r.output.find("Using FletcherReeves for search direction method"), std::string::npos);
    EXPECT_NE(r.output.find("Using GoldenSection for optimal step size method"), std::string::npos);
    const auto best = DataRows(dir.file("bestfits.out"));
    ASSERT_EQ(best.size(), 1u);
    EXPECT_LT(best[0][0], 1e-17);
    // Every evaluation (differences and line-search trials) is in the
    // children file.
    const auto childs = DataRows(dir.file("childs.out"));
    const size_t pos = r.output.find("\nTotal number of evaluations = ");
    ASSERT_NE(pos, std::string::npos);
    EXPECT_EQ(childs.size(), std::stoul(r.output.substr(pos + 31)));
}

TEST(Examples, PsoZdt1RunsFromACleanCopyAndWritesItsFiles) {
    TempDir dir;
    CopyExample("pso_zdt1", dir);
    const RunResult r = RunVesk({"-s", "2"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Objective evaluations: 5000\n"), std::string::npos);
    for (const char* f : {"childs.out", "parents.out", "initial_buffer.out", "first_parents.out",
                          "last_child.out", "pareto_History.front", "pareto_Last.front",
                          "bestfits.out", "convergence_gen.out", "convergence_eva.out", "QERN.gp"})
        EXPECT_GT(FileSize(dir.file(f)), 0) << f;
    EXPECT_EQ(r.output.find("Gnuplot execution"), std::string::npos);
    for (const auto& row : DataRows(dir.file("pareto_Last.front")))
        EXPECT_LT(ZdtG(row), 3.3);
}

TEST(Examples, GradientRosenbrockRunsFromACleanCopyAndWritesItsFiles) {
    TempDir dir;
    CopyExample("gradient_rosenbrock", dir);
    const RunResult r = RunVesk({}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Warning!!: Optimal step size is zero."), std::string::npos);
    EXPECT_NE(r.output.find("Finished iteration: 10\n"), std::string::npos);
    for (const char* f : {"bestfits.out", "convergence_gen.out", "convergence_eva.out"})
        EXPECT_GT(FileSize(dir.file(f)), 0) << f;
    const auto best = DataRows(dir.file("bestfits.out"));
    ASSERT_EQ(best.size(), 1u);
    EXPECT_LT(best[0][0], 1e-20);
    EXPECT_NEAR(best[0][1], 1.0, 1e-9);
    EXPECT_NEAR(best[0][2], 1.0, 1e-9);
}
