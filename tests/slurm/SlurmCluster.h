#ifndef VESK_TESTS_SLURMCLUSTER_H
#define VESK_TESTS_SLURMCLUSTER_H

// The Slurm cluster the tests in this folder run against: the one SLURM_CONF
// names, or else the one-node cluster of tools/slurm-local when it runs. The
// tests skip without a cluster, and fail instead when VESK_REQUIRE_SLURM is
// set (CI starts a cluster and must not pass without running them).

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace slurmtest {

// True when squeue gets an answer; otherwise why not.
bool ClusterAnswers(std::string& why);

} // namespace slurmtest

#define VESK_NEED_SLURM()                                                                          \
    do {                                                                                           \
        std::string why_;                                                                          \
        if (!slurmtest::ClusterAnswers(why_)) {                                                    \
            if (std::getenv("VESK_REQUIRE_SLURM") != nullptr)                                      \
                FAIL() << why_;                                                                    \
            GTEST_SKIP() << why_;                                                                  \
        }                                                                                          \
    } while (0)

#endif
