// Per-batch cost of evaluating through Slurm: the same batches of designs
// with a trivial command, evaluated by the Slurm unit (one job array per
// batch) and by the local unit on one and on all processors. The difference
// is what Slurm adds to every generation: submission, scheduling, task
// start-up and the unit's polling.
//
//   bench_slurm [designs [batches]]      (default 20 designs, 5 batches)
//
// Needs a running cluster: the one SLURM_CONF names, else the one-node
// cluster of tools/slurm-local. A slurm.QERN in the folder the benchmark is
// started from is used for the arrays (a partition or an account, say).

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "eval/LocalEVAU.h"
#include "eval/OSAU.h"
#include "eval/SlurmEVAU.h"
#include "eval/SlurmJobs.h"
#include "model/POPULATION.h"

namespace {

namespace fs = std::filesystem;

// Sets SLURM_CONF to the tools/slurm-local cluster when none is set and that
// cluster's controller runs; then asks squeue. Empty when a cluster answers,
// otherwise why not.
std::string FindCluster() {
    if (std::getenv("SLURM_CONF") == nullptr) {
        const char* local = std::getenv("SLURM_LOCAL_DIR");
        const passwd* user = ::getpwuid(::geteuid());
        const std::string dir =
            local ? local : std::string("/tmp/slurm-local-") + (user ? user->pw_name : "");
        std::ifstream pid_file(dir + "/run/slurmctld.pid");
        long pid = 0;
        if (pid_file >> pid && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0)
            ::setenv("SLURM_CONF", (dir + "/slurm.conf").c_str(), 1);
    }
    std::string out, err;
    const OSAU::ProcessResult run =
        OSAU::run_captured({"squeue", "--noheader", "--format=%i"}, 10.0, out, err);
    if (run.started && !run.timed_out && run.status == 0)
        return "";
    return !run.started    ? run.error
           : run.timed_out ? "squeue gave no answer within 10 s"
                           : err.substr(0, err.find('\n'));
}

// Runs f with the console silenced.
void Quietly(const std::function<void()>& f) {
    std::streambuf* console = std::cout.rdbuf();
    std::ostringstream quiet;
    std::cout.rdbuf(quiet.rdbuf());
    f();
    std::cout.rdbuf(console);
}

// Wall time of each of `batches` batches of n new designs through unit.
std::vector<double> TimeBatches(EVAU& unit, unsigned n, unsigned batches) {
    std::vector<double> seconds;
    for (unsigned b = 0; b < batches; ++b) {
        POPULATION pop("bench", 2, 2, 0, static_cast<int>(n), true);
        for (unsigned i = 0; i < n; ++i)
            pop[i].SetDvs({0.001 * i + b, 1.0});
        const auto start = std::chrono::steady_clock::now();
        Quietly([&] { unit.Compute(pop, nullptr, {}, {}, nullptr); });
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        for (unsigned i = 0; i < n; ++i)
            if (!pop[i].IsComputed() || pop[i].GetObj(1) != 2.0)
                std::cerr << "unexpected result for design " << i << " of batch " << b << std::endl;
    }
    return seconds;
}

// The floor: wall time of bare arrays of n tasks that run `true`, from the
// sbatch call until squeue no longer lists any of them, polled every 0.1 s.
// Empty when sbatch fails (its message is printed).
std::vector<double> TimeBareArrays(unsigned n, unsigned batches) {
    std::vector<double> seconds;
    for (unsigned b = 0; b < batches; ++b) {
        const auto start = std::chrono::steady_clock::now();
        std::string out, err;
        std::vector<std::string> argv = {"sbatch", "--parsable", "--job-name=bench"};
        const std::vector<std::string> options = SlurmJobs::ReadSettings("slurm.QERN");
        argv.insert(argv.end(), options.begin(), options.end());
        for (const char* option : {"--output=/dev/null", "--error=/dev/null", "--wrap=true"})
            argv.push_back(option);
        argv.push_back("--array=0-" + std::to_string(n - 1));
        const OSAU::ProcessResult submit = OSAU::run_captured(argv, 60.0, out, err);
        if (!submit.started || submit.status != 0) {
            std::cerr << "sbatch failed: " << submit.error << err << std::endl;
            return {};
        }
        const std::string id = out.substr(0, out.find_first_of(";\n"));
        do {
            usleep(100000);
            OSAU::run_captured({"squeue", "--noheader", "--jobs=" + id, "--format=%i"}, 60.0, out,
                               err);
        } while (!out.empty());
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return seconds;
}

double Mean(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

void Row(const std::string& road, unsigned n, const std::vector<double>& s, double reference) {
    const double mean = Mean(s);
    std::cout << std::left << std::setw(34) << road << std::right << std::fixed
              << std::setprecision(3) << std::setw(10) << mean << std::setw(10)
              << *std::min_element(s.begin(), s.end()) << std::setw(10)
              << *std::max_element(s.begin(), s.end()) << std::setw(12) << mean - reference
              << std::setprecision(1) << std::setw(12) << 1000.0 * (mean - reference) / n
              << std::endl;
}

} // namespace

int main(int argc, char** argv) {
    const unsigned n = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 20u;
    const unsigned batches = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 5u;
    if (n < 1 || batches < 1) {
        std::cerr << "usage: bench_slurm [designs >= 1 [batches >= 1]]" << std::endl;
        return 1;
    }
    const std::string why = FindCluster();
    if (!why.empty()) {
        std::cout << "bench_slurm: skipped, no Slurm cluster answers (" << why
                  << "). Start one with tools/slurm-local/start.sh, or set SLURM_CONF."
                  << std::endl;
        return 0;
    }
    const fs::path previous = fs::current_path();
    // The folders of the tasks must be on a file system the compute nodes
    // see: TMPDIR, else /tmp, which suits the one-node test cluster.
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp != nullptr ? tmp : "/tmp") + "/vesk-bench-slurm-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
        std::cerr << "cannot create a folder like " << templ << std::endl;
        return 1;
    }
    const std::string dir = templ;
    if (fs::exists(previous / "slurm.QERN"))
        fs::copy_file(previous / "slurm.QERN", fs::path(dir) / "slurm.QERN");
    fs::current_path(dir);
    {
        std::ofstream cmd("cmd.sh");
        cmd << "#!/bin/sh\necho 1 2 > Eval.individual\n";
    }
    fs::permissions("cmd.sh", fs::perms::owner_all, fs::perm_options::add);

    const unsigned cpus = static_cast<unsigned>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    std::vector<double> local1, localn, slurm;
    {
        std::unique_ptr<LocalEVAU> one, all;
        Quietly([&] {
            std::istringstream in1("1\n./cmd.sh\n0\n0\n"), inn("1\n./cmd.sh\n0\n0\n");
            one = std::make_unique<LocalEVAU>(2, 2, 0, 1, in1);
            all = std::make_unique<LocalEVAU>(2, 2, 0, cpus, inn);
            one->Init(n);
            all->Init(n);
        });
        local1 = TimeBatches(*one, n, batches);
        localn = TimeBatches(*all, n, batches);
    }
    {
        std::unique_ptr<SlurmEVAU> unit;
        Quietly([&] {
            std::istringstream in("1\n./cmd.sh\n0\n0\n");
            unit = std::make_unique<SlurmEVAU>(2, 2, 0, in);
            unit->Init(n);
        });
        slurm = TimeBatches(*unit, n, batches);
    }

    const std::vector<double> bare = TimeBareArrays(n, batches);

    double load[1] = {0.0};
    getloadavg(load, 1);
    std::cout << "Per-batch wall time, " << n << " designs of a trivial command, " << batches
              << " batches (" << cpus << " processors online, load average " << std::setprecision(1)
              << std::fixed << load[0] << ")" << std::endl;
    std::cout << std::left << std::setw(34) << "unit" << std::right << std::setw(10) << "mean s"
              << std::setw(10) << "min s" << std::setw(10) << "max s" << std::setw(12)
              << "vs local 1" << std::setw(12) << "ms/design" << std::endl;
    Row("LocalEVAU, 1 processor", n, local1, Mean(local1));
    Row("LocalEVAU, " + std::to_string(cpus) + " processors", n, localn, Mean(local1));
    Row("SlurmEVAU, one job array", n, slurm, Mean(local1));
    if (!bare.empty())
        Row("bare array of `true` (Slurm floor)", n, bare, Mean(local1));
    std::cout << "Slurm adds " << std::setprecision(2) << Mean(slurm) - Mean(local1)
              << " s per batch to the local unit on one processor, " << Mean(slurm) - Mean(localn)
              << " s to the local unit on " << cpus << " processors." << std::endl;
    if (!bare.empty())
        std::cout << "A bare array of as many tasks takes " << Mean(bare) - Mean(local1)
                  << " s of that; the unit's folders, files and polling the rest." << std::endl;

    fs::current_path(previous);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
