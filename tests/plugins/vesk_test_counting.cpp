// Analyser plug-in for the evaluation-unit tests. It records, thread-safely,
// the order in which instances are created and initialised, how often each
// design is evaluated and what full design vectors it received, and exposes
// these records through extra exported C functions that a test looks up with
// dlsym on the same (already loaded) shared object.
//
// Objectives: obj[j] = 1000 * j + dvs[0] (+ dvs[1] for j = 1 when present), so
// that a test can tell which full objective ended where; a design whose first
// variable is negative is a failed analysis that leaves the objectives as
// they were given. Constraints: ctr[0] = 1 - dvs[0] / 1e6 (satisfied below
// 1e6), 1.0 for the others.

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "ADLL.h"

namespace {

struct Records {
    std::mutex mutex;
    int created = 0;
    std::vector<int> init_order;
    std::vector<int> instance_counts;        // CreateADLL arguments: ndvs, nobj, nctr per instance
    std::map<double, int> evaluations_by_id; // key: dvs[0]
    int started = 0;
    int finished = 0;
    int running = 0;
    int max_running = 0;
    std::vector<std::vector<double>> designs; // full design vectors, in start order
    int delay_us = 0;
};

Records& records() {
    static Records r;
    return r;
}

class CountingADLL : public ADLL {
public:
    CountingADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_, int id)
        : ADLL(ndvs_, nobj_, nctr_), mId(id) {}

    void Init() override {
        std::lock_guard<std::mutex> lock(records().mutex);
        records().init_order.push_back(mId);
    }

    void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                        std::vector<double>& ctr) override {
        int delay = 0;
        {
            std::lock_guard<std::mutex> lock(records().mutex);
            Records& r = records();
            ++r.started;
            ++r.running;
            if (r.running > r.max_running)
                r.max_running = r.running;
            r.designs.push_back(dvs);
            if (!dvs.empty())
                ++r.evaluations_by_id[dvs[0]];
            delay = r.delay_us;
        }
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(delay));
        const double x0 = dvs.empty() ? 0.0 : dvs[0];
        const double x1 = dvs.size() > 1 ? dvs[1] : 0.0;
        if (x0 >= 0.0)
            for (size_t j = 0; j < obj.size(); ++j)
                obj[j] = 1000.0 * static_cast<double>(j) + x0 + (j == 1 ? x1 : 0.0);
        for (size_t j = 0; j < ctr.size(); ++j)
            ctr[j] = j == 0 ? 1.0 - x0 / 1e6 : 1.0;
        std::lock_guard<std::mutex> lock(records().mutex);
        --records().running;
        ++records().finished;
    }

    ADLL* Copy() const override { return new CountingADLL(ndvs, nobj, nctr, mId); }

private:
    int mId;
};

} // namespace

extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr) {
    std::lock_guard<std::mutex> lock(records().mutex);
    Records& r = records();
    const int id = r.created++;
    r.instance_counts.push_back(ndvs);
    r.instance_counts.push_back(nobj);
    r.instance_counts.push_back(nctr);
    return new CountingADLL(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                            static_cast<unsigned>(nctr), id);
}

// ---- inspection interface for the tests ----

extern "C" void vesk_counting_reset() {
    std::lock_guard<std::mutex> lock(records().mutex);
    const int delay = records().delay_us;
    Records& r = records();
    r.created = 0;
    r.init_order.clear();
    r.instance_counts.clear();
    r.evaluations_by_id.clear();
    r.started = r.finished = r.running = r.max_running = 0;
    r.designs.clear();
    r.delay_us = delay;
}

// Sleep inserted in every evaluation, in microseconds.
extern "C" void vesk_counting_set_delay_us(int us) {
    std::lock_guard<std::mutex> lock(records().mutex);
    records().delay_us = us;
}

extern "C" int vesk_counting_created() {
    std::lock_guard<std::mutex> lock(records().mutex);
    return records().created;
}

// Copies up to max entries of the Init order; returns the number of Init calls.
extern "C" int vesk_counting_init_order(int* out, int max) {
    std::lock_guard<std::mutex> lock(records().mutex);
    const auto& order = records().init_order;
    for (int i = 0; i < max && i < static_cast<int>(order.size()); ++i)
        out[i] = order[static_cast<size_t>(i)];
    return static_cast<int>(order.size());
}

// Copies up to max values of the (ndvs, nobj, nctr) triples given to CreateADLL.
extern "C" int vesk_counting_instance_counts(int* out, int max) {
    std::lock_guard<std::mutex> lock(records().mutex);
    const auto& counts = records().instance_counts;
    for (int i = 0; i < max && i < static_cast<int>(counts.size()); ++i)
        out[i] = counts[static_cast<size_t>(i)];
    return static_cast<int>(counts.size());
}

extern "C" int vesk_counting_started() {
    std::lock_guard<std::mutex> lock(records().mutex);
    return records().started;
}

extern "C" int vesk_counting_finished() {
    std::lock_guard<std::mutex> lock(records().mutex);
    return records().finished;
}

extern "C" int vesk_counting_max_running() {
    std::lock_guard<std::mutex> lock(records().mutex);
    return records().max_running;
}

// How many times the design whose first variable is id was evaluated.
extern "C" int vesk_counting_evaluations_of(double id) {
    std::lock_guard<std::mutex> lock(records().mutex);
    const auto it = records().evaluations_by_id.find(id);
    return it == records().evaluations_by_id.end() ? 0 : it->second;
}

// Number of distinct designs (by first variable) evaluated.
extern "C" int vesk_counting_distinct() {
    std::lock_guard<std::mutex> lock(records().mutex);
    return static_cast<int>(records().evaluations_by_id.size());
}

// Copies the full design vector of evaluation number k (start order); returns
// its length, or -1 when there is no such evaluation.
extern "C" int vesk_counting_design(int k, double* out, int max) {
    std::lock_guard<std::mutex> lock(records().mutex);
    const auto& designs = records().designs;
    if (k < 0 || k >= static_cast<int>(designs.size()))
        return -1;
    const auto& d = designs[static_cast<size_t>(k)];
    for (int i = 0; i < max && i < static_cast<int>(d.size()); ++i)
        out[i] = d[static_cast<size_t>(i)];
    return static_cast<int>(d.size());
}
