#ifndef VESK_TESTS_FUZZ_SCENARIOS_H
#define VESK_TESTS_FUZZ_SCENARIOS_H

#include <string>
#include <vector>

namespace fuzz {

// A file of a case folder.
struct File {
    std::string name;
    std::string content;
    bool mutable_ = true; // the fuzzer may change it (an input the program reads)
    bool executable = false;
};

// A seed case: the command line of veskv2 and the files of its folder.
struct Scenario {
    std::string name;
    std::vector<std::string> args;
    std::vector<File> files;
    bool condor = false; // runs through the HTCondor stand-in (tools/htcondor-local)
};

std::vector<Scenario> Scenarios();

} // namespace fuzz

#endif
