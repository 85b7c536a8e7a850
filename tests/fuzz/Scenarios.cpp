// The seed cases of the fuzzer: small, fast runs of veskv2 that together go
// through every reader of the program. Each case runs in a folder holding
// these files and a link to the mathcases plug-in.

#include "Scenarios.h"

#include <cstdint>
#include <cstring>

namespace fuzz {

namespace {

// One design per line, for the design-file buffer (BNH: x1 in [0, 5], x2 in
// [0, 3]).
const char* const kDesigns = "# designs of the buffer\n"
                             "0.5 0.5\n1.0 2.0\n4.5 2.5\n2.0 1.0\n"
                             "3.0 3.0\n0.0 0.0\n5.0 1.5\n2.5 2.5\n";

// An ASCII population of BNH as the program writes it (two objectives, two
// variables, two constraints, rank and crowding distance).
const char* const kPopulation =
    "# Writing information of population: LambdaMu->childs\n"
    "# nobj 2 ndvs 2 nctr 2\n"
    "# obj[0]            obj[1]              dvs[0]              dvs[1]              ctr[0]     "
    "         ctr[1]              rank                crowd_distance      \n"
    "8.1562724128e+00    3.1844841600e+01    1.0055771470e+00    1.0138455033e+00    "
    "3.2066813467e-01    7.4458320482e+00    1                   0.0000000000e+00    \n"
    "6.4187807735e+01    9.4578938922e+00    2.6965159178e+00    2.9623898864e+00    "
    "4.3672828976e-01    7.2697450088e+00    1                   inf                 \n"
    "2.0000000000e+00    4.1000000000e+01    5.0000000000e-01    5.0000000000e-01    "
    "7.9000000000e-01    9.4285714286e+00    1                   2.7047032118e-01    \n"
    "2.0000000000e+01    2.5000000000e+01    1.0000000000e+00    2.0000000000e+00    "
    "5.6000000000e-01    6.3246753247e+00    1                   1.0000000000e+00    \n"
    "1.3000000000e+02    1.3000000000e+01    4.5000000000e+00    2.5000000000e+00    "
    "7.4000000000e-01    3.6103896104e+00    2                   0.0000000000e+00    \n"
    "2.0000000000e+01    3.4000000000e+01    2.0000000000e+00    1.0000000000e+00    "
    "6.0000000000e-01    6.3246753247e+00    2                   5.0000000000e-01    \n"
    "7.2000000000e+01    2.0000000000e+01    3.0000000000e+00    3.0000000000e+00    "
    "2.8000000000e-01    4.7142857143e+00    2                   1.2500000000e+00    \n"
    "0.0000000000e+00    5.0000000000e+01    0.0000000000e+00    0.0000000000e+00    "
    "0.0000000000e+00    1.0688311688e+01    1                   inf                 \n";

// The same population in the binary form: three 32-bit counts, then per
// member six doubles, a 32-bit rank and a double crowding distance.
std::string BinaryPopulation() {
    const double rows[][6] = {
        {8.1562724128, 31.8448416, 1.005577147, 1.0138455033, 0.32066813467, 7.4458320482},
        {64.187807735, 9.4578938922, 2.6965159178, 2.9623898864, 0.43672828976, 7.2697450088},
        {2.0, 41.0, 0.5, 0.5, 0.79, 9.4285714286},
        {20.0, 25.0, 1.0, 2.0, 0.56, 6.3246753247}};
    std::string bytes;
    auto put = [&](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
    const int32_t counts[3] = {2, 2, 2};
    put(counts, sizeof(counts));
    uint32_t rank = 1;
    for (const auto& row : rows) {
        put(row, sizeof(row));
        put(&rank, sizeof(rank));
        const double crowd = 0.5;
        put(&crowd, sizeof(crowd));
        ++rank;
    }
    return bytes;
}

const char* const kWriteQern = "2          children file: 2 ASCII\n"
                               "1          Pareto history rebuilt at the end\n"
                               "0          no baseline\n"
                               "1          report every generation\n"
                               "0          no gnuplot\n";

// The evaluation-unit lines of a plug-in analyser.
const char* const kPluginUnit = "0                      analyser type: plug-in\n"
                                "./mathcases.so         plug-in path\n"
                                "0                      arguments\n"
                                "0                      essential files\n";

// An evolutionary or swarm player on BNH with the buffer line given.
std::string PopulationPlayer(const char* algorithm, const char* buffer) {
    return std::string(algorithm) +
           "\n"
           "2                      ndvs\n"
           "2                      nobj\n"
           "2                      nctr\n"
           "1                      NCPU\n" +
           kPluginUnit + "8                      popsize\n" + buffer +
           "\n"
           "0.9                    pc\n"
           "0.5                    pm\n"
           "0 0                    steps\n"
           "0 0                    lower bounds\n"
           "5 3                    upper bounds\n";
}

std::string SinglePlayer(const char* algorithm, const char* buffer, const char* names) {
    return "BNH_fuzz               title\n"
           "1                      players\n" +
           PopulationPlayer(algorithm, buffer) + names +
           "\n"
           "0 40                   stopping rule: 40 evaluations\n";
}

// The conjugate gradient on Rosenbrock from the start given by its lines.
std::string Gradient(const char* start) {
    return std::string("Rosenbrock_fuzz\n"
                       "1\n"
                       "2                      ConjugateGradient\n"
                       "2                      ndvs\n"
                       "1                      nobj\n"
                       "0                      nctr\n"
                       "1                      NCPU\n") +
           kPluginUnit + start +
           "0                      Polak-Ribiere\n"
           "1                      Brent\n"
           "1e-6                   epsilon\n"
           "0.01                   first step\n"
           "1e-6                   tolerance\n"
           "1e3                    warning step\n"
           "-5 -5                  lower bounds\n"
           "5 5                    upper bounds\n"
           "0                      names\n"
           "0 60                   stopping rule\n";
}

std::string Game() {
    return "FON_game\n"
           "2 0                    players, HybridNashGame\n"
           "4 1 2 3 4\n"
           "4 0 0 3 4\n"
           "2 1 2\n"
           "2 1 0\n"
           "1                      write game_restart.dat\n"
           "0\n4\n2\n0\n1\n" +
           std::string(kPluginUnit) +
           "6\n0 6\n0.9\n0.25\n0 0 0 0\n-4 -4 -4 -4\n4 4 4 4\n"
           "0\n"
           "0 48                   stopping rule of the game\n"
           "1\n2\n1\n0\n1\n" +
           kPluginUnit + "4\n0 4\n0.9\n0.1\n0 0\n-4 -4\n4 4\n";
}

std::string Json(const char* unit, const char* extra) {
    return std::string("{\n"
                       "  \"OptimizationAlgorithm\": {\n"
                       "    \"LAMBDAMU\": {\n"
                       "      \"ndvs\": 2, \"nobj\": 2, \"nctr\": 2,\n"
                       "      \"EVAU\": ") +
           unit +
           ",\n"
           "      \"seed\": 7, \"popsize\": 8, \"popinit\": 0, \"bufize\": 8,\n"
           "      \"pc\": 0.9, \"pm\": 0.5,\n"
           "      \"dvs_step\": [0, 0], \"min_dvs\": [0, 0], \"max_dvs\": [5, 3],\n" +
           extra +
           "      \"TerminationCriteria\": {\"criteria\": 0, \"max_obj_evals\": 40}\n"
           "    }\n"
           "  }\n"
           "}\n";
}

const char* const kBnhScript =
    "#!/bin/sh\n"
    "exec awk '{ x1 = $1; x2 = $2;\n"
    "  printf \"%.17g %.17g\\n\", 4*x1*x1 + 4*x2*x2, (x1-5)^2 + (x2-5)^2 > \"Eval.individual\";\n"
    "  printf \"%.17g %.17g\\n\", 1 - ((x1-5)^2 + x2*x2)/25, ((x1-8)^2 + (x2+3)^2)/7.7 - 1 > "
    "\"Eval.constraint\" }' Eval.DVs\n";

} // namespace

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> all;
    // prob.dat is the plug-in's input, not the program's: the plug-in answers
    // a wrong one with messages of its own.
    const File prob{"prob.dat", "BNH\n", false, false};
    const File write{"write.QERN", kWriteQern, true, false};

    all.push_back({"lambdamu",
                   {"-s", "2"},
                   {{"input.QERN", SinglePlayer("0", "0 8", "0"), true, false}, write, prob}});
    all.push_back({"pso",
                   {"-s", "3"},
                   {{"input.QERN", SinglePlayer("1", "0 8", "0"), true, false}, write, prob}});
    all.push_back({"names",
                   {"-s", "2"},
                   {{"input.QERN", SinglePlayer("0", "0 8", "1 names.txt"), true, false},
                    {"names.txt", "cost of x\ndriver's value\n", true, false},
                    write,
                    prob}});
    all.push_back({"design_file",
                   {"-s", "2"},
                   {{"input.QERN", SinglePlayer("0", "1 designs.txt", "0"), true, false},
                    {"designs.txt", kDesigns, true, false},
                    write,
                    prob}});
    all.push_back({"population_file",
                   {"-s", "2"},
                   {{"input.QERN", SinglePlayer("1", "2 buffer.out", "0"), true, false},
                    {"buffer.out", kPopulation, true, false},
                    write,
                    prob}});
    all.push_back({"binary_children",
                   {"-s", "4"},
                   {{"input.QERN", SinglePlayer("0", "0 10", "0"), true, false},
                    {"write.QERN", "1\n1\n0\n0\n0\n", true, false},
                    prob}});
    const File rosenbrock{"prob.dat", "rosenbrock\n", false, false};
    all.push_back({"gradient_values",
                   {},
                   {{"input.QERN", Gradient("0\n-1.2 1\n"), true, false}, write, rosenbrock}});
    all.push_back({"gradient_file",
                   {},
                   {{"input.QERN", Gradient("1\nstart.txt\n"), true, false},
                    {"start.txt", "-1.2\n1.0\n", true, false},
                    write,
                    rosenbrock}});
    all.push_back({"gradient_individual",
                   {},
                   {{"input.QERN", Gradient("2\nstart.out\n"), true, false},
                    {"start.out", "24.2 -1.2 1.0\n", true, false},
                    write,
                    rosenbrock}});
    const File fon{"prob.dat", "FON\n", false, false};
    all.push_back({"game", {"-s", "5,6"}, {{"input.QERN", Game(), true, false}, write, fon}});
    all.push_back({"game_restart",
                   {"-r", "-s", "5"},
                   {{"input.QERN", Game(), true, false},
                    {"game_restart.dat", "1", true, false},
                    write,
                    fon}});
    all.push_back(
        {"json",
         {"--json"},
         {{"input.jsn",
           Json("{\"ncpu\": 1, \"AnalyzerType\": 0, \"CommandFile\": \"./mathcases.so\"}", ""),
           true, false},
          write,
          prob}});
    all.push_back({"json_design_file",
                   {"--json"},
                   {{"input.jsn",
                     Json("{\"ncpu\": 2, \"AnalyzerType\": 0, \"CommandFile\": \"./mathcases.so\"}",
                          "      \"popinit\": 1, \"initial_buffer_filename\": \"designs.txt\",\n"),
                     true, false},
                    {"designs.txt", kDesigns, true, false},
                    write,
                    prob}});
    all.push_back({"json_external",
                   {"--json"},
                   {{"input.jsn",
                     Json("{\"ncpu\": 1, \"AnalyzerType\": 1, \"CommandFile\": \"./bnh sim.sh\", "
                          "\"Arguments\": [\"$(NDVS)\"], \"mEssentialFilesAndFolders\": []}",
                          ""),
                     true, false},
                    {"bnh sim.sh", kBnhScript, false, true},
                    write}});
    all.push_back({"external",
                   {"-s", "2"},
                   {{"input.QERN",
                     "BNH_external\n1\n0\n2\n2\n2\n1\n1\n./bnh.sh\n1\n$(NDVS)\n1\nextra.txt\n"
                     "8\n0 8\n0.9\n0.5\n0 0\n0 0\n5 3\n0\n0 24\n",
                     true, false},
                    {"bnh.sh", kBnhScript, false, true},
                    {"extra.txt", "data\n", false, false},
                    write}});
    all.push_back(
        {"htcondor",
         {"-s", "2"},
         {{"input.QERN",
           "BNH_condor\n1\n0\n2\n2\n2\n0\n1\n./bnh.sh\n0\n0\n4\n0 4\n0.9\n0.5\n0 0\n0 0\n5 3\n0\n"
           "0 8\n",
           true, false},
          {"htcondor.QERN", "# settings\nRequirements\nOpSys == \"LINUX\"\nUniverse\nvanilla\n",
           true, false},
          {"bnh.sh", kBnhScript, false, true},
          {"write.QERN", "2\n1\n0\n0\n0\n", true, false}},
         true});
    all.push_back({"to_binary",
                   {"-b", "-i", "pop.out", "-o", "pop.bin"},
                   {{"pop.out", kPopulation, true, false}}});
    all.push_back({"to_ascii",
                   {"-a", "-i", "pop.bin", "-o", "pop.out"},
                   {{"pop.bin", BinaryPopulation(), true, false}}});
    all.push_back({"hypervolume_binary",
                   {"--hypervolume", "pop.bin"},
                   {{"pop.bin", BinaryPopulation(), true, false}}});
    return all;
}

} // namespace fuzz
