#include "app/PostProcessBaseline.h"

#include <fstream>
#include <iostream>

#include "model/POPULATION.h"
#include "model/UTILS.h"
#include "output/PIOU.h"
#include "output/WriteDataEA.h"

void post_process_baseline(const POPULATION& front, const WriteDataEA& out) {
    const unsigned nobj = front.GetNobj();
    INDIVIDUAL baseline(static_cast<int>(front.GetNdvs()), static_cast<int>(nobj),
                        static_cast<int>(front.GetNctr()), nullptr);
    std::vector<double> obj(nobj, 0.0);
    std::vector<double> ctr(front.GetNctr(), 0.0);
    const std::string file = out.GetBaselineFilename();
    std::ifstream is(file);
    if (!is)
        UTILS::Stop({"File " + file + " not found.", "Program stopped!"});
    // A short file leaves the missing objectives at 0 after the message.
    PIOU::extract_vector_components(is, obj);
    baseline.SetEval(obj, ctr);
    const POPULATION better = front.NonDominatedBy(baseline);
    better.WriteComputedFileAscii(out.GetNonDominatedFilename(), false);
}
