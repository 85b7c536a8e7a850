// The program entry: banner, help text, option errors, mode selection, the
// conversion modes and the timing lines, run through veskv2 itself.

#include <gtest/gtest.h>

#include <regex>

#include "support/RunConfig.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const char* const kHelp = "Vesk v2.0\n"
                          "Usage:\n"
                          "  veskv2 [OPTION...]\n"
                          "\n"
                          "  -h, --help                 Show this menu\n"
                          "  -j, --json                 Jason file\n"
                          "  -r, --game_restart         Restart Game from game_restart.dat\n"
                          "  -s, --seeds arg            RANU seeds\n"
                          "  -b, --toBin                To binary conversion population\n"
                          "  -a, --toAscii              To ascii conversion population\n"
                          "  -o, --output_filename arg  Output filename for file conversion\n"
                          "  -i, --input_filename arg   Input filename for file conversion\n"
                          "      --eval-timeout arg     Time limit of one evaluation (s), 0 for "
                          "none\n"
                          "      --resume               Resume the run recorded in evaluations.db\n"
                          "      --no-db                Keep no evaluation database\n"
                          "      --hypervolume arg      Print the hypervolume of a population "
                          "file\n"
                          "      --hv-ref arg           Hypervolume reference point r1,r2,...\n";

// A small ASCII population file: 2 objectives, 3 variables, 1 constraint.
const char* const kPopulation = "# Writing information of population: test\n"
                                "# nobj 2 ndvs 3 nctr 1\n"
                                "1.5 -2.25 0.1 0.2 0.3 -0.5 3 0.75\n"
                                "0.125 4e-07 1 2 3 0 1 1e+14\n";

bool EndsWithFinish(const std::string& out) {
    return out.size() >= 14 && out.compare(out.size() - 14, 14, "QERN Finished\n") == 0;
}

} // namespace

TEST(CommandLine, HelpPrintsBannerAndHelpAndNothingElse) {
    TempDir dir;
    const RunResult r = RunVesk({"-h"}, dir.path());
    EXPECT_EQ(r.status, 0);
    const std::regex expected(
        std::string("QERN Started\n\nStarted at: [A-Z][a-z]{2} [A-Z][a-z]{2} "
                    "[ 0-9]{2} \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n") +
        std::regex_replace(kHelp, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") + "\n");
    EXPECT_TRUE(std::regex_match(r.output, expected)) << r.output;
    EXPECT_EQ(r.output.find("Time elapsed"), std::string::npos);
    EXPECT_EQ(r.output.find("QERN Finished"), std::string::npos);
}

TEST(CommandLine, HelpTextIsPrintedOnEveryStart) {
    TempDir dir;
    const RunResult r = RunVesk({}, dir.path());
    EXPECT_NE(r.output.find(kHelp), std::string::npos) << r.output;
}

TEST(CommandLine, RejectedCommandLinesStopBeforeAnyMode) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const Case cases[] = {{{"--bogus"}, "bogus"},
                          {{"-s", "3,x"}, "x"},
                          {{"-s", ""}, "Command line not accepted"},
                          {{"-s", "99999999999"}, "99999999999"},
                          {{"extra-word"}, "extra-word"}};
    for (const Case& c : cases) {
        const RunResult r = RunVesk(c.args, dir.path());
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("Command line not accepted"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(c.named), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Program stopped!"), std::string::npos);
        EXPECT_EQ(r.output.find("Entering optimization mode."), std::string::npos);
        EXPECT_EQ(r.output.find("File conversion mode"), std::string::npos);
    }
}

TEST(CommandLine, ConversionWithoutBothFileNamesPrintsConversionHelp) {
    TempDir dir;
    for (const auto& args :
         {std::vector<std::string>{"-a", "-i", "x"}, std::vector<std::string>{"-b", "-o", "y"}}) {
        const RunResult r = RunVesk(args, dir.path());
        EXPECT_EQ(r.status, 1) << r.output;
        // The restricted help holds the description and usage lines only.
        EXPECT_NE(r.output.find("conversion mode -> to"), std::string::npos);
        EXPECT_TRUE(r.output.size() > 40 &&
                    r.output.compare(r.output.size() - 40, 40,
                                     "Vesk v2.0\nUsage:\n  veskv2 [OPTION...]\n\n\n") == 0)
            << r.output;
    }
}

TEST(CommandLine, ConversionRoundTripKeepsEveryMemberAndTheBinarySize) {
    TempDir dir;
    WriteFile(dir.file("in.out"), kPopulation);
    RunResult r = RunVesk({"-b", "-i", "in.out", "-o", "out.bin"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("   File conversion mode -> to bin.\n"), std::string::npos);
    EXPECT_NE(r.output.find("input_filename: in.out\noutput_filename: out.bin\n"),
              std::string::npos);
    EXPECT_TRUE(EndsWithFinish(r.output));
    // 12 header bytes + 2 records of 8 * (2 + 3 + 1) + 12 bytes.
    EXPECT_EQ(FileSize(dir.file("out.bin")), 12 + 2 * (8 * 6 + 12));

    r = RunVesk({"-a", "-i", "out.bin", "-o", "back.out"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("   File conversion mode -> to ascii.\n"), std::string::npos);
    const std::vector<std::string> lines = ReadLines(dir.file("back.out"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "# Writing information of population: out.bin");
    EXPECT_EQ(lines[1], "# nobj 2 ndvs 3 nctr 1");
    auto fields = [](const std::string& line) {
        std::vector<std::string> f;
        for (size_t i = 0; i < line.size(); i += 20)
            f.push_back(line.substr(i, 20));
        return f;
    };
    EXPECT_EQ(fields(lines[3]),
              (std::vector<std::string>{"1.5000000000e+00    ", "-2.2500000000e+00   ",
                                        "1.0000000000e-01    ", "2.0000000000e-01    ",
                                        "3.0000000000e-01    ", "-5.0000000000e-01   ",
                                        "3                   ", "7.5000000000e-01    "}));
    EXPECT_EQ(fields(lines[4]),
              (std::vector<std::string>{"1.2500000000e-01    ", "4.0000000000e-07    ",
                                        "1.0000000000e+00    ", "2.0000000000e+00    ",
                                        "3.0000000000e+00    ", "0.0000000000e+00    ",
                                        "1                   ", "1.0000000000e+14    "}));
}

TEST(CommandLine, ToBinWinsWhenBothConversionsAreGiven) {
    TempDir dir;
    WriteFile(dir.file("in.out"), kPopulation);
    const RunResult r = RunVesk({"-b", "-a", "-i", "in.out", "-o", "out.bin"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("-> to bin."), std::string::npos);
    EXPECT_EQ(r.output.find("-> to ascii."), std::string::npos);
    EXPECT_EQ(FileSize(dir.file("out.bin")), 12 + 2 * 60);
}

TEST(CommandLine, ConversionOfAMissingFileStops) {
    TempDir dir;
    const RunResult r = RunVesk({"-a", "-i", "nothing.bin", "-o", "x.out"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("File nothing.bin not found.\nProgram stopped!\n"), std::string::npos);
    EXPECT_FALSE(FileExists(dir.file("x.out")));
}

TEST(CommandLine, OptimisationModeWithoutInputFileStops) {
    TempDir dir;
    const RunResult r = RunVesk({"-s", "7,3"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Entering optimization mode.\n7\n3\nReading input.QERN file\n"
                            "File write.QERN not found.\n   Using default I/O configuration\n"
                            "File input.QERN not found.\nProgram stopped!\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("QERN Finished"), std::string::npos);
}

TEST(CommandLine, SeedsAreHandedToPlayersInTurn) {
    // Three evolutionary players of a game on POL receive 7, 3 and 7: player 0
    // owns both variables and objectives, players 1 and 2 one of each.
    TempDir dir;
    RunConfig all;
    all.ndvs = 2;
    all.popsize = 4;
    all.buffer = "0 4";
    all.lower = {-3.14, -3.14};
    all.upper = {3.14, 3.14};
    RunConfig one = all;
    one.ndvs = 1;
    one.nobj = 1;
    const std::string text = "seeds\n3 0   three players, Nash game\n"
                             "2 1 2\n2 1 0\n2 0 2\n"
                             "2 1 2\n2 1 0\n2 0 2\n"
                             "0   no restart file\n"
                             "0\n" +
                             OptimizerBlock(all) + "0\n0 40\n" + "0\n" + OptimizerBlock(one) +
                             "0\n" + OptimizerBlock(one);
    WriteFile(dir.file("input.QERN"), text);
    WriteFile(dir.file("prob.dat"), "POL\n");
    WriteFile(dir.file("write.QERN"), WriteQERN(0, 0));
    const RunResult r = RunVesk({"-s", "7,3"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    const size_t a = r.output.find("seed = 7\n");
    const size_t b = r.output.find("seed = 3\n", a);
    const size_t c = r.output.find("seed = 7\n", b);
    EXPECT_NE(a, std::string::npos) << r.output;
    EXPECT_NE(b, std::string::npos) << r.output;
    EXPECT_NE(c, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Running Nash Optimization"), std::string::npos);
}
