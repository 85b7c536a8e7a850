#ifndef VESK_TESTS_OPTIMIZERRUN_H
#define VESK_TESTS_OPTIMIZERRUN_H

// Drives an optimiser built from its text block in process, step by step as
// the run loop does, in a fresh temporary folder; its console output is kept
// in `output` instead of being printed.

#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "optim/TerminationCriteriaNEvals.h"
#include "output/WriteData.h"
#include "support/TestSupport.h"

namespace testsupport {

template <typename Opt> class OptimizerRun {
public:
    // files (name, content) are written into the folder first (prob.dat for
    // the plug-in, for instance); args follow the stream in Opt's constructor.
    template <typename... Args>
    OptimizerRun(const std::vector<std::pair<std::string, std::string>>& files,
                 const std::string& block, Args&&... args)
        : cwd(dir.path()) {
        for (const auto& file : files)
            WriteFile(dir.file(file.first), file.second);
        std::istringstream in(block);
        testing::internal::CaptureStdout();
        opt = std::make_unique<Opt>(in, std::forward<Args>(args)...);
        WriteData data;
        data.SetReportIter(0);
        data.SetRunPlots(false);
        opt->SetWriteData(data);
        output = testing::internal::GetCapturedStdout();
    }
    // The run's first steps: evaluates the initial designs.
    void Start() {
        testing::internal::CaptureStdout();
        opt->StartRun(false);
        output += testing::internal::GetCapturedStdout();
    }
    // One iteration of the run loop itself.
    void Step() {
        testing::internal::CaptureStdout();
        opt->Step();
        output += testing::internal::GetCapturedStdout();
    }
    // The whole run loop, stopped after max_evaluations.
    void Run(unsigned max_evaluations) {
        opt->SetTerminationCriteria(TerminationCriteriaNEvals(max_evaluations));
        double elapsed = 0.0;
        long start = static_cast<long>(std::time(nullptr));
        testing::internal::CaptureStdout();
        opt->Run(elapsed, start);
        output += testing::internal::GetCapturedStdout();
    }

    TempDir dir;
    ScopedCwd cwd;
    std::unique_ptr<Opt> opt;
    std::string output;
};

} // namespace testsupport

#endif
