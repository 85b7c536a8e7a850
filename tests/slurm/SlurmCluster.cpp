#include "slurm/SlurmCluster.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>

#include "eval/OSAU.h"

namespace slurmtest {

namespace {
// The state folder of tools/slurm-local, as its scripts choose it.
std::string LocalClusterDir() {
    if (const char* dir = std::getenv("SLURM_LOCAL_DIR"))
        return dir;
    const passwd* user = ::getpwuid(::geteuid());
    return std::string("/tmp/slurm-local-") + (user != nullptr ? user->pw_name : "");
}
} // namespace

bool ClusterAnswers(std::string& why) {
    // The local cluster's configuration is taken only while its controller
    // runs: a stale configuration would make every Slurm command wait for an
    // answer that never comes.
    if (std::getenv("SLURM_CONF") == nullptr) {
        const std::string dir = LocalClusterDir();
        std::ifstream pid_file(dir + "/run/slurmctld.pid");
        long pid = 0;
        if (pid_file >> pid && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0)
            ::setenv("SLURM_CONF", (dir + "/slurm.conf").c_str(), 1);
    }
    std::string out, err;
    const OSAU::ProcessResult run =
        OSAU::run_captured({"squeue", "--noheader", "--format=%i"}, 10.0, out, err);
    if (run.started && !run.timed_out && run.status == 0)
        return true;
    why = "No Slurm cluster answers (squeue: " +
          (!run.started    ? run.error
           : run.timed_out ? std::string("no answer within 10 s")
                           : err.substr(0, err.find('\n'))) +
          "). Start one with tools/slurm-local/start.sh, or set SLURM_CONF.";
    return false;
}

} // namespace slurmtest
