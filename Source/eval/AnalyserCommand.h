#ifndef VESK_EVAL_ANALYSERCOMMAND_H
#define VESK_EVAL_ANALYSERCOMMAND_H

#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The analyser lines every evaluation unit reads alike, after its analyser
// type: the plug-in or command, the command's arguments and the files and
// folders copied into each working folder. The type stays with each unit,
// since each accepts other types and checks them at its own point.
struct AnalyserCommand {
    std::string file;
    std::vector<std::string> arguments;
    std::vector<std::string> essentials;
};

// What the messages about malformed text lines call the items, which differ
// between the local unit (plug-in or command) and the batch units (command).
struct AnalyserCommandWords {
    const char* file;
    const char* argumentCount;
    const char* argument;
};

// The words of the batch units (HTCondor, Slurm), which run commands only.
inline constexpr AnalyserCommandWords kBatchCommandWords{
    "the command file of the jobs", "the number of command arguments (an unsigned integer)",
    "a command argument"};

// Reads the command, its argument list and the essential files from the
// text configuration, each item on its own line as input.QERN lays them out.
AnalyserCommand read_analyser_command(std::istream& in, const AnalyserCommandWords& words);

// Reads "CommandFile", "Arguments", "mEssentialFilesAndFolders" and the time
// limit "EvalTimeout" (into evalTimeout) of the JSON "EVAU" block.
AnalyserCommand read_analyser_command(const nlohmann::json& block, double& evalTimeout);

// Lists the arguments, and the essential files when withEssentials, one a
// line on standard output.
void print_analyser_command(const AnalyserCommand& command, bool withEssentials);

#endif
