#ifndef VESK_EVAL_EVALRESULT_H
#define VESK_EVAL_EVALRESULT_H

#include <string>
#include <vector>

// How one evaluation ended. A failed or timed-out design gets the penalty
// objectives and violated constraints, so it is never feasible.
enum class EvalOutcome { Ok, Failed, TimedOut };

// "ok", "failed" or "timed out".
inline const char* OutcomeName(EvalOutcome outcome) {
    switch (outcome) {
    case EvalOutcome::Ok:
        return "ok";
    case EvalOutcome::Failed:
        return "failed";
    case EvalOutcome::TimedOut:
        return "timed out";
    }
    return "unknown";
}

// What a unit's evaluations came to, counted by kind. A unit counts in
// atomic counters (its evaluation threads count too), and hands out plain
// copies, which the summary at the end of a run adds up over the units.
template <typename Count> struct BasicEvaluationCounts {
    Count evaluations{0}; // every evaluation counted by the units
    Count replayed{0};    // answered from the evaluation database
    Count failed{0};
    Count timed_out{0};
    Count nonzero_exits{0}; // ended with a non-zero status, results kept
};
using EvaluationCounts = BasicEvaluationCounts<unsigned>;

inline EvaluationCounts& operator+=(EvaluationCounts& sum, const EvaluationCounts& other) {
    sum.evaluations += other.evaluations;
    sum.replayed += other.replayed;
    sum.failed += other.failed;
    sum.timed_out += other.timed_out;
    sum.nonzero_exits += other.nonzero_exits;
    return sum;
}

// What evaluating one design produced, before it is stored in the individual.
struct EvalResult {
    bool evaluated = false;   // an analyser ran (or its result was replayed)
    bool interrupted = false; // the run was interrupted while it ran: nothing to store
    std::vector<double> obj;
    std::vector<double> ctr;
    EvalOutcome outcome = EvalOutcome::Ok;
    int exit_code = -1;      // exit status of the external command (128 + N when killed by
                             // signal N); -1 when no command ran
    double seconds = 0.0;    // wall-clock time of the evaluation
    double ended = 0.0;      // when it ended, steady-clock seconds (0: not taken)
    std::string problem;     // why it failed (or what was unusual), for the console
    std::string where;       // the folder or job that ran it, for the console
    std::string error;       // a broken analyser contract: the run must stop
    bool replayed = false;   // answered from the evaluation database of a resumed run
    long long replay_of = 0; // the recorded row it came from
    bool recorded = false;   // that row is this very evaluation (same batch and index)
};

#endif
