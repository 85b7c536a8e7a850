#include "support/RunConfig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "model/INDIVIDUAL.h"
#include "support/TestSupport.h"

namespace testsupport {

namespace {
std::string Values(const std::vector<double>& v, size_t n, double fallback) {
    std::ostringstream os;
    os.precision(12);
    for (size_t i = 0; i < n; ++i)
        os << (i < v.size() ? v[i] : fallback) << ' ';
    return os.str();
}
} // namespace

std::string OptimizerBlock(const RunConfig& c) {
    std::ostringstream os;
    os.precision(12);
    os << c.ndvs << "   ndvs\n"
       << c.nobj << "   nobj\n"
       << c.nctr << "   nctr\n"
       << c.ncpu << "   NCPU\n"
       << "0   analyser type\n"
       << (c.plugin.empty() ? MathcasesPath() : c.plugin) << "\n"
       << "0   arguments\n"
       << "0   essential files\n"
       << c.popsize << "   popsize\n"
       << c.buffer << "   buffer\n"
       << c.pc << "   pc\n"
       << c.pm << "   pm\n"
       << Values(c.step, c.ndvs, 0.0) << "  steps\n"
       << Values(c.lower, c.ndvs, 0.0) << "  lower bounds\n"
       << Values(c.upper, c.ndvs, 1.0) << "  upper bounds\n";
    return os.str();
}

std::string InputQERN(const RunConfig& c) {
    return "test_run\n1   players\n0   LAMBDAMU\n" + OptimizerBlock(c) + c.names + "\n" + c.stop +
           "\n";
}

std::string WriteQERN(int childs, int history, const std::string& baseline, unsigned report,
                      const std::string& plots) {
    std::ostringstream os;
    os << childs << "\n" << history << "\n" << baseline << "\n" << report << "\n" << plots << "\n";
    return os.str();
}

void WriteRun(const std::string& dir, const RunConfig& c, const std::string& write_qern) {
    WriteFile(dir + "/input.QERN", InputQERN(c));
    WriteFile(dir + "/write.QERN", write_qern);
    WriteFile(dir + "/prob.dat", c.problem + "\n");
}

void WriteRunFiles(const std::string& dir, const CommandRun& run) {
    std::ostringstream in;
    in << "external_command_test\n"
       << "1                      players\n"
       << "0                      LAMBDAMU\n"
       << "2                      ndvs\n"
       << "2                      nobj\n"
       << "2                      nctr\n"
       << run.ncpu << "                      NCPU\n"
       << "1                      analyser type: external command\n"
       << run.command << "               command file\n"
       << "0                      arguments\n"
       << run.essentials.size() << "                      essential files and folders\n";
    if (!run.essentials.empty()) {
        for (const auto& e : run.essentials)
            in << e << " ";
        in << "\n";
    }
    in << run.popsize << "                      popsize\n"
       << "0 " << run.popsize << "                    popinit, buffer size\n"
       << run.pc << "                    pc\n"
       << run.pm << "                    pm\n"
       << "0 0                    steps\n"
       << "0 0                    lower bounds\n"
       << "5 3                    upper bounds\n"
       << "0                      no objective names\n"
       << "0 " << run.evaluations << "                   stopping rule: evaluations\n";
    WriteFile(dir + "/input.QERN", in.str());
    WriteFile(dir + "/write.QERN", "2\n1\n0\n0\n0\n");
}

const char* const kHangOnceScript = "if mkdir ../hung.lock 2>/dev/null; then\n"
                                    "  trap '' TERM\n"
                                    "  sleep 1000 & echo $! > ../child.pid\n"
                                    "  echo $$ > ../shell.pid\n"
                                    "  sleep 1000\n"
                                    "fi\n"
                                    "exec ./bnh.sh\n";

std::vector<std::string> DataLines(const std::string& file) {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLines(file))
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    return lines;
}

std::vector<std::vector<double>> Records(const std::string& file) {
    std::vector<std::vector<double>> records;
    for (const std::string& line : DataLines(file)) {
        std::istringstream is(line);
        std::vector<double> values;
        std::string token;
        while (is >> token)
            values.push_back(std::strtod(token.c_str(), nullptr));
        records.push_back(values);
    }
    return records;
}

bool PenalisedRecord(const std::vector<double>& r) {
    // The penalty is written 1.7976931349e+308, just above the largest double.
    auto huge = [](double v) { return std::fabs(v) >= INDIVIDUAL::kWorst; };
    return r.size() >= 6 && huge(r[0]) && huge(r[1]) && r[4] < 0 && huge(r[4]) && r[5] < 0 &&
           huge(r[5]);
}

void ExpectHungProcessesEnded(const std::string& dir) {
    for (const char* file : {"child.pid", "shell.pid"}) {
        const int pid = std::stoi(ReadFile(dir + "/" + file));
        EXPECT_FALSE(ProcessRunning(pid)) << file;
    }
}

} // namespace testsupport
