// The file protocol of external evaluations: "Eval.DVs" in, "Eval.individual"
// and "Eval.constraint" out, in the command's working folder.

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <system_error>

#include "eval/OSAU.h"
#include "model/INDIVIDUAL.h"
#include "model/UTILS.h"
#include "output/PIOU.h"

namespace PIOU {

const char* const kEvalDVsFile = "Eval.DVs";
const char* const kEvalObjectivesFile = "Eval.individual";
const char* const kEvalConstraintsFile = "Eval.constraint";

bool write_eval_dvs(const std::vector<double>& dvs, const std::string& folder) {
    const std::string file = OSAU::dirappend(folder, kEvalDVsFile);
    std::ofstream os(file, std::ios::trunc);
    if (os) {
        os << std::scientific << std::setprecision(10) << std::left;
        for (double v : dvs)
            os << std::setw(20) << v;
        os.close();
    }
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return false;
    }
    return true;
}

bool clear_eval_results(const std::string& folder) {
    // Done in process rather than through a shell: it runs before every
    // evaluation and must not add a process start to each of them.
    bool cleared = true;
    for (const char* name : {kEvalObjectivesFile, kEvalConstraintsFile}) {
        const std::filesystem::path file = OSAU::dirappend(folder, name);
        std::error_code ec;
        std::filesystem::remove(file, ec);
        if (std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
            std::cout << "Could not remove the previous result file " << file.string() << "."
                      << std::endl;
            cleared = false;
        }
    }
    return cleared;
}

void apply_eval_penalty(std::vector<double>& obj, std::vector<double>& ctr) {
    for (double& v : obj)
        v = INDIVIDUAL::kWorst;
    for (double& v : ctr)
        v = -INDIVIDUAL::kWorst;
    std::cout << "INF penalty applied!" << std::endl;
    std::cout << "Consider checking analyzer robustness." << std::endl;
}

std::string non_finite_value(const std::vector<double>& obj, const std::vector<double>& ctr) {
    auto describe = [](const char* what, size_t i, double v) {
        std::ostringstream text;
        text << what << " " << i << " is " << v;
        return text.str();
    };
    for (size_t i = 0; i < obj.size(); ++i)
        if (!std::isfinite(obj[i]))
            return describe("objective", i, obj[i]);
    for (size_t i = 0; i < ctr.size(); ++i)
        if (!std::isfinite(ctr[i]))
            return describe("constraint", i, ctr[i]);
    return "";
}

namespace {
// Reads values.size() whole-token numbers from file; an empty text when all
// were read and finite, otherwise what is wrong.
std::string read_result_file(const std::string& file, std::vector<double>& values) {
    std::ifstream is(file);
    if (!is)
        return file + " is missing";
    std::string token;
    for (size_t i = 0; i < values.size(); ++i) {
        if (!(is >> token))
            return file + " holds " + std::to_string(i) + " values where " +
                   std::to_string(values.size()) + " are needed";
        // strtod accepts what a C program would print (inf and nan included,
        // which are then refused as not finite) and must use the whole token.
        const char* begin = token.c_str();
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(begin, &end);
        if (end == begin || *end != '\0')
            return file + " holds \"" + token + "\" where value " + std::to_string(i + 1) +
                   " should be a number";
        if (!std::isfinite(v))
            return file + " holds " + token + " as value " + std::to_string(i + 1) +
                   ", which is not a finite number";
        values[i] = v;
    }
    return "";
}
} // namespace

std::string read_eval_results(std::vector<double>& obj, std::vector<double>& ctr,
                              const std::string& folder) {
    std::string problem = read_result_file(OSAU::dirappend(folder, kEvalObjectivesFile), obj);
    if (problem.empty() && !ctr.empty())
        problem = read_result_file(OSAU::dirappend(folder, kEvalConstraintsFile), ctr);
    return problem;
}

} // namespace PIOU
