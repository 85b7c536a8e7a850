#include "eval/SlurmJobs.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

#include "eval/OSAU.h"
#include "model/UTILS.h"

namespace {

// Limits of the client commands: sbatch may queue its request while the
// controller is busy; squeue and scancel answer within seconds on a healthy
// cluster.
const double kSubmitTimeout = 300.0;
const double kQueryTimeout = 60.0;

// sbatch options that would break what the unit relies on, each with why.
struct Reserved {
    const char* name; // long form, without the dashes
    char letter;      // short form, 0 when there is none
    const char* why;
};
const Reserved kReserved[] = {
    {"array", 'a', "veskv2 submits one task per design as a job array"},
    {"chdir", 'D', "every task runs in the folder of its design"},
    {"output", 'o', "every task writes its output into the folder of its design"},
    {"error", 'e', "every task writes its output into the folder of its design"},
    {"parsable", 0, "veskv2 reads the job id from sbatch itself"},
    {"wrap", 0, "veskv2 writes the job script"},
    {"time", 't',
     "the time limit comes from --eval-timeout (or \"EvalTimeout\" in input.jsn), which veskv2 "
     "also enforces itself"},
    {"wait", 'W', "veskv2 waits for the tasks itself"},
    {"hold", 'H', "the tasks would never start"},
    {"test-only", 0, "nothing would run"},
};

// The reserved option word names, or null.
const Reserved* ReservedOption(const std::string& word) {
    for (const Reserved& r : kReserved) {
        const std::string name = std::string("--") + r.name;
        if (word == name || word.rfind(name + "=", 0) == 0)
            return &r;
        // A short option may carry its value glued to it ("-t10").
        if (r.letter != 0 && word.size() >= 2 && word[0] == '-' && word[1] == r.letter)
            return &r;
    }
    return nullptr;
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return "";
    const size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

// The command as a shell would take it, for messages.
std::string CommandText(const std::vector<std::string>& argv) {
    std::string text;
    for (const auto& word : argv)
        text += (text.empty() ? "" : " ") + OSAU::shell_quote(word);
    return text;
}

// Standard error of a command on one line, shortened for a message.
std::string OneLine(const std::string& text) {
    std::string line;
    std::istringstream is(text);
    std::string part;
    while (std::getline(is, part)) {
        part = Trim(part);
        if (!part.empty())
            line += (line.empty() ? "" : " / ") + part;
    }
    if (line.size() > 400)
        line = line.substr(0, 400) + " ...";
    return line;
}

// Runs a client command and says what went wrong, empty when it succeeded.
std::string RunClient(const std::vector<std::string>& argv, double timeout, std::string& out) {
    std::string err;
    const OSAU::ProcessResult run = OSAU::run_captured(argv, timeout, out, err);
    std::ostringstream problem;
    if (!run.started) {
        problem << argv[0] << " could not be run: " << run.error;
    } else if (run.timed_out) {
        problem << argv[0] << " gave no answer within " << timeout << " s";
    } else if (run.status != 0) {
        problem << argv[0] << " failed with " << OSAU::status_text(run.status);
        const std::string said = OneLine(err);
        if (!said.empty())
            problem << ": " << said;
    } else {
        return "";
    }
    problem << " (command: " << CommandText(argv) << ")";
    return problem.str();
}

} // namespace

std::vector<std::string> SlurmJobs::ReadSettings(const std::string& file) {
    std::ifstream is(file);
    if (!is)
        return {};
    std::vector<std::string> options;
    std::string line;
    unsigned number = 0;
    while (std::getline(is, line)) {
        ++number;
        std::istringstream in(line);
        std::vector<std::string> words;
        std::string word;
        while (in >> word && word[0] != '#')
            words.push_back(word);
        if (words.empty())
            continue;
        const std::string where = file + ", line " + std::to_string(number) + ": ";
        // One option a line, its value glued to it ("--partition=debug",
        // "-pdebug") or in a second word ("-p debug"): anything more would be
        // taken by sbatch for the job script.
        const bool option = words[0][0] == '-' && words[0].size() > 1;
        const bool valued =
            words.size() == 1 ||
            (words.size() == 2 && words[0].find('=') == std::string::npos && words[1][0] != '-');
        if (!option || !valued)
            UTILS::Stop({where + "\"" + CommandText(words) +
                             "\" is not one sbatch option: every line holds one option "
                             "beginning with '-', with its value (for example "
                             "--partition=debug or -p debug).",
                         "Program stopped!"});
        if (const Reserved* r = ReservedOption(words[0]))
            UTILS::Stop({where + "\"" + words[0] + "\" is set by veskv2 itself: " + r->why +
                             ". Remove the line.",
                         "Program stopped!"});
        options.insert(options.end(), words.begin(), words.end());
    }
    if (is.bad())
        UTILS::Stop({"Could not read " + file + ".", "Program stopped!"});
    return options;
}

std::string SlurmJobs::ArraySpec(std::vector<unsigned> indices) {
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    std::string ranges;
    for (size_t i = 0; i < indices.size();) {
        size_t j = i;
        while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1)
            ++j;
        ranges += (ranges.empty() ? "" : ",") + std::to_string(indices[i]);
        if (j > i)
            ranges += "-" + std::to_string(indices[j]);
        i = j + 1;
    }
    return ranges;
}

unsigned SlurmJobs::TimeLimitMinutes(double seconds) {
    if (!(seconds > 0.0))
        return 0;
    return static_cast<unsigned>(std::max(1.0, std::ceil(seconds / 60.0)));
}

bool SlurmJobs::IsFinished(const std::string& state) {
    static const char* const kFinal[] = {"COMPLETED",     "FAILED",       "CANCELLED", "TIMEOUT",
                                         "OUT_OF_MEMORY", "NODE_FAIL",    "BOOT_FAIL", "DEADLINE",
                                         "PREEMPTED",     "SPECIAL_EXIT", "REVOKED"};
    for (const char* final_state : kFinal)
        if (state == final_state)
            return true;
    return false;
}

bool SlurmJobs::ParseTasks(const std::string& text, std::vector<Task>& tasks,
                           std::string& problem) {
    tasks.clear();
    std::istringstream is(text);
    std::string line;
    while (std::getline(is, line)) {
        line = Trim(line);
        // With --clusters squeue heads its answer with the cluster's name.
        if (line.empty() || line.rfind("CLUSTER:", 0) == 0)
            continue;
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '|'))
            fields.push_back(Trim(field));
        Task task;
        bool ok = fields.size() >= 3 && !fields[0].empty() && !fields[1].empty() &&
                  fields[0].find_first_not_of("0123456789") == std::string::npos &&
                  fields[0].size() < 10;
        if (ok) {
            task.index = static_cast<unsigned>(std::stoul(fields[0]));
            // A state may carry a suffix ("CANCELLED by 0" elsewhere).
            task.state = fields[1].substr(0, fields[1].find(' '));
            const std::string& code = fields[2];
            if (code.empty() || code == "N/A")
                task.status = 0;
            else if (code.find_first_not_of("0123456789") == std::string::npos && code.size() < 10)
                task.status = std::stoi(code);
            else
                ok = false;
            if (fields.size() >= 4)
                task.reason = fields[3];
        }
        if (!ok) {
            problem = "squeue answered \"" + line + "\", not index|state|exit code|reason";
            return false;
        }
        tasks.push_back(task);
    }
    return true;
}

SlurmJobs::SlurmJobs(std::vector<std::string> options) : mOptions(std::move(options)) {}

std::string SlurmJobs::Submit(const std::string& script, const std::vector<unsigned>& indices,
                              const std::string& chdir, const std::string& output_prefix,
                              unsigned minutes) {
    // The site's options come after the job name, so that they may replace it.
    std::vector<std::string> argv = {"sbatch", "--parsable", "--job-name=veskv2"};
    argv.insert(argv.end(), mOptions.begin(), mOptions.end());
    argv.push_back("--array=" + ArraySpec(indices));
    argv.push_back("--chdir=" + chdir);
    argv.push_back("--output=" + output_prefix + "%a/slurm.out");
    argv.push_back("--error=" + output_prefix + "%a/slurm.err");
    if (minutes > 0)
        argv.push_back("--time=" + std::to_string(minutes));
    argv.push_back(script);
    std::cout << "* Submitting " << indices.size() << " task(s) to Slurm as one job array"
              << std::endl;
    std::cout << "* Command: " << CommandText(argv) << std::endl;
    std::string out;
    const std::string problem = RunClient(argv, kSubmitTimeout, out);
    if (!problem.empty())
        UTILS::Stop(
            {"* The job array could not be submitted: " + problem + ".", "Program stopped!"});
    // --parsable prints "id" or, on a site with several clusters, "id;cluster".
    const std::string answer = Trim(out);
    const size_t semicolon = answer.find(';');
    const std::string id = answer.substr(0, semicolon);
    if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
        UTILS::Stop({"* sbatch answered \"" + answer +
                         "\" instead of a job id (command: " + CommandText(argv) + ").",
                     "Program stopped!"});
    mJobId = id;
    mCluster = semicolon == std::string::npos ? "" : Trim(answer.substr(semicolon + 1));
    return mJobId;
}

void SlurmJobs::AddCluster(std::vector<std::string>& argv) const {
    if (!mCluster.empty())
        argv.push_back("--clusters=" + mCluster);
}

bool SlurmJobs::Poll(std::vector<Task>& tasks, std::string& problem) const {
    // --array lists pending tasks one per line, --states=all keeps the
    // finished ones while the controller holds their records (MinJobAge,
    // minutes), and exit_code is the job script's raw wait status.
    std::vector<std::string> argv = {
        "squeue",       "--noheader",       "--array",
        "--states=all", "--jobs=" + mJobId, "--Format=ArrayTaskID:|,State:|,exit_code:|,Reason:|"};
    AddCluster(argv);
    std::string out;
    problem = RunClient(argv, kQueryTimeout, out);
    if (!problem.empty())
        return false;
    if (!ParseTasks(out, tasks, problem)) {
        problem += " (command: " + CommandText(argv) + ")";
        return false;
    }
    return true;
}

bool SlurmJobs::Cancel(const std::vector<unsigned>& indices, std::string& problem) const {
    std::vector<std::string> argv = {"scancel"};
    AddCluster(argv);
    if (indices.empty())
        argv.push_back(mJobId);
    for (unsigned i : indices)
        argv.push_back(mJobId + "_" + std::to_string(i));
    std::string out;
    problem = RunClient(argv, kQueryTimeout, out);
    return problem.empty();
}
