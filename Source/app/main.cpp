// Entry of veskv2: banner, help text, option parsing and one of three modes
// (help, population file conversion, optimisation), then the timing lines.
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <cxxopts.hpp>
#include <nlohmann/json.hpp>

#include "app/HypervolumeFile.h"
#include "app/Optimize.h"
#include "eval/EvaluationDatabase.h"
#include "model/HYVU.h"
#include "model/INTU.h"
#include "model/RunOptions.h"
#include "model/UTILS.h"
#include "output/PIOU.h"

namespace {

void PrintTime(const char* label) {
    const std::time_t now = std::time(nullptr);
    std::cout << std::endl << label << std::ctime(&now) << std::endl;
}

void EndSequence(double& elapsed, long start_time) {
    elapsed = std::difftime(std::time(nullptr), static_cast<std::time_t>(start_time));
    std::cout << std::endl << "Time elapsed = ";
    UTILS::out_seconds_in_hms(std::cout, elapsed) << std::endl;
    PrintTime("Finished at: ");
    std::cout << "QERN Finished" << std::endl;
}

bool Convert(const cxxopts::Options& options, const cxxopts::ParseResult& result, bool to_bin) {
    std::cout << (to_bin ? "   File conversion mode -> to bin."
                         : "   File conversion mode -> to ascii.")
              << std::endl;
    if (!result.count("input_filename") || !result.count("output_filename")) {
        std::cout << options.help({"Conversion"}) << std::endl;
        return false;
    }
    const std::string input = result["input_filename"].as<std::string>();
    const std::string output = result["output_filename"].as<std::string>();
    std::cout << "input_filename: " << input << std::endl;
    std::cout << "output_filename: " << output << std::endl;
    if (to_bin)
        PIOU::from_ascii_to_bin_file(input, output);
    else
        PIOU::from_bin_to_ascii_file(input, output);
    return true;
}

// The end of a run that an exception would otherwise end: the message,
// "Program stopped!" and status 1, as every other error ends, never a signal.
void PrintStop(const std::string& message) {
    std::cout << message << std::endl << "Program stopped!" << std::endl;
    std::cout.flush();
}

std::string Describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "Not enough memory for this run: a count in the configuration or in a file it "
               "names may be far too large (std::bad_alloc).";
    } catch (const nlohmann::json::exception& e) {
        return std::string("input.jsn: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("Unexpected error: ") + e.what();
    } catch (...) {
        return "Unexpected error of an unknown kind.";
    }
}

// An exception that leaves a thread of the parallel evaluation, or a
// destructor, reaches std::terminate without passing main's handlers.
[[noreturn]] void OnTerminate() {
    const std::exception_ptr error = std::current_exception();
    PrintStop(error ? Describe(error) : "Unexpected error: the program was terminated.");
    std::_Exit(1);
}

int Run(int argc, char** argv);

} // namespace

int main(int argc, char** argv) {
    // Started as the writer of a run's evaluation database: serve it, and do
    // nothing else.
    if (const int status = EvaluationDatabase::WriterMain(); status >= 0)
        return status;
    std::set_terminate(OnTerminate);
    try {
        return Run(argc, argv);
    } catch (const UTILS::FatalError&) {
        // Only when fatal errors throw: the message was printed already.
        return 1;
    } catch (...) {
        PrintStop(Describe(std::current_exception()));
        return 1;
    }
}

namespace {

int Run(int argc, char** argv) {
    std::cout << "QERN Started" << std::endl;
    PrintTime("Started at: ");

    cxxopts::Options options("veskv2", "Vesk v2.0");
    // clang-format off
    options.add_options()
        ("h,help", "Show this menu")
        ("j,json", "Jason file")
        ("r,game_restart", "Restart Game from game_restart.dat")
        ("s,seeds", "RANU seeds", cxxopts::value<std::vector<unsigned>>())
        ("b,toBin", "To binary conversion population")
        ("a,toAscii", "To ascii conversion population")
        ("o,output_filename", "Output filename for file conversion", cxxopts::value<std::string>())
        ("i,input_filename", "Input filename for file conversion", cxxopts::value<std::string>())
        ("eval-timeout", "Time limit of one evaluation (s), 0 for none",
         cxxopts::value<double>())
        ("resume", "Resume the run recorded in evaluations.db")
        ("no-db", "Keep no evaluation database")
        ("hypervolume", "Print the hypervolume of a population file", cxxopts::value<std::string>())
        ("hv-ref", "Hypervolume reference point r1,r2,...", cxxopts::value<std::string>());
    // clang-format on
    std::cout << options.help() << std::endl;

    cxxopts::ParseResult result;
    try {
        result = options.parse(argc, argv);
        if (!result.unmatched().empty())
            throw cxxopts::exceptions::exception("unexpected argument '" + result.unmatched()[0] +
                                                 "'");
    } catch (const cxxopts::exceptions::exception& e) {
        UTILS::Stop({std::string("Command line not accepted: ") + e.what(), "Program stopped!"});
    }
    std::vector<unsigned> seeds{0};
    if (result.count("seeds")) {
        seeds = result["seeds"].as<std::vector<unsigned>>();
        if (seeds.empty())
            UTILS::Stop({"Command line not accepted: --seeds needs at least one value "
                         "(comma-separated unsigned integers).",
                         "Program stopped!"});
    }
    if (result.count("hv-ref"))
        GetRunOptions().hv_ref =
            HYVU::parse_reference(result["hv-ref"].as<std::string>(), "--hv-ref");
    if (result.count("eval-timeout")) {
        const double timeout = result["eval-timeout"].as<double>();
        if (!(timeout >= 0.0) || !std::isfinite(timeout))
            UTILS::Stop({"Command line not accepted: --eval-timeout needs a number of seconds, 0 "
                         "or more (0 for no limit).",
                         "Program stopped!"});
        GetRunOptions().eval_timeout = timeout;
    }
    if (result.count("no-db"))
        GetRunOptions().use_db = false;
    if (result.count("resume")) {
        // A resumed run repeats the recorded one: everything that decides its
        // course comes from the database, not from this command line.
        for (const char* option :
             {"seeds", "json", "game_restart", "eval-timeout", "hv-ref", "no-db"})
            if (result.count(option))
                UTILS::Stop({std::string("Command line not accepted: --resume takes the settings "
                                         "of the recorded run; leave out --") +
                                 option + ".",
                             "Program stopped!"});
        GetRunOptions().resume = true;
    }
    if (result.count("help"))
        return 0;

    long start_time = static_cast<long>(std::time(nullptr));
    double elapsed = 0.0;
    if (result.count("toBin") || result.count("toAscii")) {
        if (!Convert(options, result, result.count("toBin") > 0))
            return 1;
    } else if (result.count("hypervolume")) {
        hypervolume_of_file(result["hypervolume"].as<std::string>());
    } else {
        std::cout << "Entering optimization mode." << std::endl;
        INTU::Install();
        if (result.count("seeds"))
            for (unsigned seed : seeds)
                std::cout << seed << std::endl;
        optimize(elapsed, start_time, seeds, result.count("json") > 0,
                 result.count("game_restart") > 0);
    }
    EndSequence(elapsed, start_time);
    if (INTU::Requested()) {
        const int signal = INTU::Signal();
        std::cout << "Run interrupted by " << INTU::SignalName(signal)
                  << ": the result files hold what was evaluated so far; continue it with "
                     "veskv2 --resume."
                  << std::endl;
        return 128 + signal;
    }
    return 0;
}

} // namespace
