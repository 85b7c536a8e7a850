// The file protocol of external evaluations: "Eval.DVs" in, "Eval.individual"
// and "Eval.constraint" out, in the command's working folder.

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
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

void apply_eval_penalty(std::vector<double>& obj) {
    for (double& v : obj)
        v = INDIVIDUAL::kWorst;
    std::cout << "INF penalty applied!" << std::endl;
    std::cout << "Consider checking analyzer robustness." << std::endl;
}

namespace {
// Reads values.size() numbers from file; 1 when the file is missing or holds
// fewer readable numbers (values read before the failure stay), else 0.
int read_result_file(const std::string& file, std::vector<double>& values) {
    std::ifstream is(file);
    if (!is) {
        std::cout << "File " << file << " not found." << std::endl;
        return 1;
    }
    return extract_vector_components(is, values);
}
} // namespace

int read_eval_results(std::vector<double>& obj, std::vector<double>& ctr,
                      const std::string& folder) {
    int errors = read_result_file(OSAU::dirappend(folder, kEvalObjectivesFile), obj);
    if (!ctr.empty())
        errors += read_result_file(OSAU::dirappend(folder, kEvalConstraintsFile), ctr);
    if (errors != 0)
        apply_eval_penalty(obj);
    return errors;
}

} // namespace PIOU
