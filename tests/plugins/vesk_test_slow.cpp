// Analyser plug-in that takes a few milliseconds of processor time per design,
// for the evaluation-unit tests and benchmark. The work is CPU-bound (it
// computes until its thread has used the configured processor time), so
// several instances only run faster when there are cores for them. The time
// per design is read from the environment variable VESK_TEST_SLOW_US
// (microseconds, default 3000) when the instance is initialised.
//
// Objectives: the ZDT1 pair of the design; constraints: 1 - dvs[0] (>= 0 on
// [0, 1]).

#include <time.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "ADLL.h"

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

class SlowADLL : public ADLL {
public:
    SlowADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_) : ADLL(ndvs_, nobj_, nctr_) {}

    void Init() override {
        const char* text = std::getenv("VESK_TEST_SLOW_US");
        if (text != nullptr && *text != '\0')
            mMicroseconds = std::atof(text);
        const char* spread = std::getenv("VESK_TEST_SLOW_SPREAD");
        if (spread != nullptr && *spread != '\0')
            mSpread = std::atof(spread);
    }

    void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                        std::vector<double>& ctr) override {
        // Busy work whose result feeds the objectives, so it cannot be dropped.
        const double share = dvs.empty() ? 0.0 : std::fmin(std::fmax(dvs[0], 0.0), 1.0);
        const double end = ThreadCpuSeconds() + 1e-6 * mMicroseconds * (1.0 + mSpread * share);
        double acc = 0.0;
        unsigned long k = 0;
        do {
            for (int i = 0; i < 1000; ++i, ++k)
                acc += std::sin(static_cast<double>(k) * 1e-3) * 1e-12;
        } while (ThreadCpuSeconds() < end);

        const size_t n = dvs.size();
        const double x0 = n > 0 ? dvs[0] : 0.0;
        double g = 1.0;
        if (n > 1) {
            double sum = 0.0;
            for (size_t i = 1; i < n; ++i)
                sum += dvs[i];
            g = 1.0 + 9.0 * sum / static_cast<double>(n - 1);
        }
        if (!obj.empty())
            obj[0] = x0 + acc * 0.0;
        if (obj.size() > 1)
            obj[1] = g * (1.0 - std::sqrt(std::fabs(x0 / g)));
        for (size_t j = 0; j < ctr.size(); ++j)
            ctr[j] = 1.0 - x0;
    }

    ADLL* Copy() const override { return new SlowADLL(*this); }

private:
    double mMicroseconds = 3000.0;
    double mSpread = 0.0;
};

} // namespace

extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr) {
    return new SlowADLL(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                        static_cast<unsigned>(nctr));
}
