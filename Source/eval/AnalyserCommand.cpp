#include "eval/AnalyserCommand.h"

#include <cmath>
#include <iostream>

#include "output/PIOUConfig.h"

AnalyserCommand read_analyser_command(std::istream& in, const AnalyserCommandWords& words) {
    AnalyserCommand command;
    PIOU::read_value(in, command.file, words.file);
    PIOU::skip_line(in);
    command.arguments = PIOU::read_word_list(in, words.argumentCount, words.argument);
    command.essentials =
        PIOU::read_word_list(in, "the number of essential files and folders (an unsigned integer)",
                             "an essential file or folder");
    return command;
}

AnalyserCommand read_analyser_command(const nlohmann::json& block, double& evalTimeout) {
    const std::string where = "EVAU";
    AnalyserCommand command;
    command.file = PIOU::json_get<std::string>(block, "CommandFile", where);
    command.arguments = PIOU::json_get<std::vector<std::string>>(block, "Arguments", {}, where);
    command.essentials =
        PIOU::json_get<std::vector<std::string>>(block, "mEssentialFilesAndFolders", {}, where);
    evalTimeout = PIOU::json_get<double>(block, "EvalTimeout", 0.0, where);
    if (!(evalTimeout >= 0.0) || !std::isfinite(evalTimeout))
        PIOU::json_error(where + "/EvalTimeout",
                         "expected a time limit in seconds (0 or more, 0 for none)");
    return command;
}

void print_analyser_command(const AnalyserCommand& command, bool withEssentials) {
    for (size_t i = 0; i < command.arguments.size(); ++i)
        std::cout << "arguments[" << i << "] = " << command.arguments[i] << std::endl;
    if (!withEssentials)
        return;
    for (size_t i = 0; i < command.essentials.size(); ++i)
        std::cout << "EssentialFilesAndFolders[" << i << "] = " << command.essentials[i]
                  << std::endl;
}
