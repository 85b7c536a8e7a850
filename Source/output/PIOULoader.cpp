// The two run-configuration loaders of PIOU: the text road ("input.QERN") and
// the JSON road ("input.jsn").
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "games/GameAlgorithm.h"
#include "games/HybridNashGame.h"
#include "games/HybridWGradGame.h"
#include "model/RunJournal.h"
#include "model/UTILS.h"
#include "optim/ConjugateGradient.h"
#include "optim/LAMBDAMU.h"
#include "optim/OptimizationAlgorithm.h"
#include "optim/PSO.h"
#include "optim/TerminationCriteria.h"
#include "optim/TerminationCriteriaFactory.h"
#include "output/PIOU.h"
#include "output/PIOUConfig.h"
#include "output/PIOULoader.h"
#include "output/WriteData.h"

namespace {

const char* const kInputFile = "input.QERN";
const char* const kJsonFile = "input.jsn";

// "Termination criteria: <name>:" and the rule's value for each objective.
template <typename T> void EchoRule(const std::string& name, const std::vector<T>& values) {
    std::cout << "Termination criteria: " << name << ":";
    for (const T& v : values)
        std::cout << "  " << v;
    std::cout << std::endl;
}

// Reads the stopping-rule line of player 0 and builds the rule.
std::unique_ptr<TerminationCriteria> ReadStoppingRule(std::istream& in, unsigned nobj) {
    unsigned code = 0;
    unsigned evaluations = 0;
    double hours = 0.0;
    std::vector<double> targets(nobj, 0.0);
    std::vector<unsigned> counts(nobj, 0);
    PIOU::read_value(in, code, "the stopping-rule code (0 to 3)");
    switch (code) {
    case 0:
        PIOU::read_value(in, evaluations,
                         "the number of objective evaluations (an unsigned integer)");
        std::cout << "Termination criteria: Objective evaluations: " << evaluations << std::endl;
        break;
    case 1: {
        PIOU::read_value(in, hours, "the time limit in hours (a number)");
        std::ostringstream echo;
        echo << hours;
        std::cout << "Termination criteria: Hours: " << echo.str() << std::endl;
        break;
    }
    case 2:
        PIOU::read_values(in, targets, "a target objective value");
        EchoRule("Predefined values", targets);
        break;
    case 3:
        PIOU::read_values(in, counts, "a stall count (an unsigned integer)");
        EchoRule("Convergence", counts);
        break;
    default:
        UTILS::Stop({"Termination criteria not recognized.", "Program stopped!"});
    }
    PIOU::skip_line(in);
    return TerminationCriteriaFactory::CreateTerminationCriteria(code, evaluations, hours * 3600.0,
                                                                 targets, counts, nobj);
}

// Builds the game from its block: 0 HybridNashGame, 1 HybridWGradGame.
std::unique_ptr<GameAlgorithm> CreateGame(unsigned type, unsigned nplayers, std::istream& in) {
    if (type == 0)
        return std::make_unique<HybridNashGame>(nplayers, in);
    if (type == 1)
        return std::make_unique<HybridWGradGame>(nplayers, in);
    UTILS::Stop({"Game type not recognized.", "Program stopped!"});
}

// Builds player optimiser from its algorithm code. Evolutionary and swarm
// players take the next seed of the list (wrapping to its start); a
// gradient player takes none.
std::unique_ptr<OptimizationAlgorithm> CreatePlayer(unsigned code, std::istream& in,
                                                    const std::vector<unsigned>& seeds, size_t& k) {
    const unsigned seed = seeds.empty() ? 0u : seeds[k];
    std::unique_ptr<OptimizationAlgorithm> opt;
    switch (code) {
    case 0:
        opt = std::make_unique<LAMBDAMU>(in, seed);
        break;
    case 1:
        opt = std::make_unique<PSO>(in, seed);
        break;
    case 2:
        return std::make_unique<ConjugateGradient>(in);
    default:
        UTILS::Stop({"Optimization algorithm not recognized", "Program stopped!"});
    }
    if (!seeds.empty() && ++k >= seeds.size())
        k = 0;
    return opt;
}

// ", line N: the number X is out of range" for the first number of input.jsn
// that no double can hold, or an empty text.
std::string JsonNumberPlace() {
    std::ifstream is(kJsonFile);
    std::string line;
    unsigned number = 0;
    while (std::getline(is, line)) {
        ++number;
        bool in_string = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const char ch = line[i];
            if (in_string) {
                if (ch == '\\')
                    ++i;
                else if (ch == '"')
                    in_string = false;
                continue;
            }
            if (ch == '"') {
                in_string = true;
                continue;
            }
            if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '-'))
                continue;
            size_t end = i;
            while (end < line.size() && std::strchr("+-.eE0123456789", line[end]) != nullptr)
                ++end;
            const std::string token = line.substr(i, end - i);
            errno = 0;
            const double x = std::strtod(token.c_str(), nullptr);
            if (errno == ERANGE && std::isinf(x))
                return ", line " + std::to_string(number) + ": the number " + token.substr(0, 40) +
                       " is beyond the range of a double";
            i = end;
        }
    }
    return "";
}

} // namespace

namespace PIOU {

void read_obj_names(const std::string& file, std::vector<std::string>& names, unsigned nobj) {
    std::cout << "Reading OBj names from " << file << std::endl;
    std::ifstream is(file);
    if (!is)
        UTILS::Stop({"File " + file + " not found.", "Program stopped!"});
    RunJournal::NoteInputFile(file);
    names.assign(nobj, "");
    for (unsigned i = 0; i < nobj; ++i) {
        if (!std::getline(is, names[i]))
            UTILS::Stop({"File " + file + " holds " + std::to_string(i) +
                             " objective names where " + std::to_string(nobj) +
                             " are needed (one per line).",
                         "Program stopped!"});
        std::cout << "OBj[" << i << "] name: " << names[i] << std::endl;
    }
}

void load_input_file(std::unique_ptr<OptimizationAlgorithm>& opt,
                     std::unique_ptr<GameAlgorithm>& game, unsigned& mode,
                     std::vector<unsigned>& seeds) {
    std::cout << "Reading input.QERN file" << std::endl;
    WriteData wdata;
    wdata.LoadConfigFile();

    std::ifstream in(kInputFile);
    if (!in)
        UTILS::Stop({std::string("File ") + kInputFile + " not found.", "Program stopped!"});
    RunJournal::NoteInputFile(kInputFile);
    set_config_name(kInputFile);

    std::string title;
    read_value(in, title, "the title word");
    skip_line(in);
    unsigned nplayers = 0;
    read_value(in, nplayers, "the number of players (an unsigned integer)");
    std::cout << "Number of players = " << nplayers << std::endl;
    mode = 1;
    unsigned game_type = 0;
    if (nplayers != 1) {
        if (nplayers == 0)
            UTILS::Stop({"Number of players must be greater than 0", "Program stopped!"});
        mode = 2;
        read_value(in, game_type, "the game type after the number of players (0 or 1)");
    }
    skip_line(in);

    // The players are added as they are read, never sized by the count: a
    // count the file cannot back up ends at the first missing block instead
    // of asking for memory first.
    std::vector<std::unique_ptr<OptimizationAlgorithm>> players;
    if (mode == 2)
        game = CreateGame(game_type, nplayers, in);

    size_t k = 0;
    for (unsigned i = 0; i < nplayers; ++i) {
        unsigned code = 0;
        read_value(in, code,
                   "the optimisation algorithm code of player " + std::to_string(i) +
                       " (0 LAMBDAMU, 1 PSO, 2 ConjugateGradient)");
        skip_line(in);
        opt = CreatePlayer(code, in, seeds, k);
        if (i == 0) {
            const unsigned nobj = opt->GetNobj();
            bool use_names = false;
            std::vector<std::string> names;
            read_value(in, use_names, "the objective-names flag (0 or 1)");
            std::cout << "wdata.use_OBj_names " << (use_names ? 1 : 0) << std::endl;
            if (use_names) {
                std::string file;
                read_value(in, file, "the objective-names file name after the flag 1");
                read_obj_names(file, names, nobj);
            }
            skip_line(in);
            opt->SetWriteData(wdata);
            opt->GetWriteData()->SetUseObjNames(use_names);
            opt->GetWriteData()->SetObjNames(names);
            const std::unique_ptr<TerminationCriteria> rule = ReadStoppingRule(in, nobj);
            if (mode == 1) {
                std::cout << "SetTerminationCriteria called!" << std::endl;
                opt->SetTerminationCriteria(*rule);
            } else {
                game->SetTerminationCriteria(*rule);
            }
        }
        if (mode == 2) {
            // The game owns its players: opt is left empty.
            opt->SetWriteData(wdata);
            players.push_back(std::move(opt));
        }
    }
    if (mode == 2)
        game->SetPlayers(std::move(players));
}

void load_input_json_file(std::unique_ptr<OptimizationAlgorithm>& opt,
                          std::unique_ptr<GameAlgorithm>& /*game*/, unsigned& /*mode*/,
                          std::vector<unsigned>& /*seeds*/) {
    const std::string text = load_json_file();
    nlohmann::json root;
    try {
        root = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error&) {
        // The joined text has lost its line breaks: parse the file as it stands
        // to name the line of the error.
        std::ifstream is(kJsonFile);
        std::stringstream raw;
        raw << is.rdbuf();
        std::string message = "invalid JSON";
        try {
            const nlohmann::json reparsed = nlohmann::json::parse(raw.str());
            (void)reparsed;
        } catch (const nlohmann::json::parse_error& e) {
            message = e.what();
        }
        UTILS::Stop({std::string("File ") + kJsonFile + " is not valid JSON: " + message,
                     "Program stopped!"});
    } catch (const nlohmann::json::exception& e) {
        // The parser refuses a number beyond the range of a double (1e400)
        // with an error of another kind, which names no place.
        UTILS::Stop({std::string("File ") + kJsonFile + JsonNumberPlace() + ": " + e.what(),
                     "Program stopped!"});
    }
    if (root.is_object() && root.contains("OptimizationAlgorithm")) {
        std::cout << "OptimizationAlgorithm found" << std::endl;
        nlohmann::json block = root["OptimizationAlgorithm"];
        opt = optimization_algorithm_factory(block);
    } else {
        std::cout << "No OptimizationAlgorithm found" << std::endl;
    }
    if (opt == nullptr) {
        // Nothing to run: the configuration holds no evolutionary optimiser.
        std::cout.flush();
        std::exit(0);
    }
}

} // namespace PIOU

std::string load_json_file() {
    std::cout << "Reading " << kJsonFile << " file" << std::endl;
    std::ifstream is(kJsonFile);
    if (!is)
        UTILS::Stop({std::string("File ") + kJsonFile + " not found.", "Program stopped!"});
    RunJournal::NoteInputFile(kJsonFile);
    std::string text, line;
    while (std::getline(is, line))
        text += line;
    if (text.empty())
        UTILS::Stop({std::string("File ") + kJsonFile + " is empty.", "Program stopped!"});
    return text;
}

std::unique_ptr<OptimizationAlgorithm> optimization_algorithm_factory(nlohmann::json& block) {
    if (block.is_object() && block.contains("LAMBDAMU"))
        return std::make_unique<LAMBDAMU>(block["LAMBDAMU"]);
    std::cout << "No LAMBDAMU found" << std::endl;
    return nullptr;
}
