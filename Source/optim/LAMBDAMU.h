#ifndef VESK_OPTIM_LAMBDAMU_H
#define VESK_OPTIM_LAMBDAMU_H

#include "optim/PopulationOptimizer.h"

// The multi-objective evolutionary optimiser: an elitist (mu + lambda) scheme
// with mu = lambda = popsize, ranked by non-domination and crowding, bred by
// crowded tournament, simulated binary crossover and polynomial mutation.
class LAMBDAMU : public PopulationOptimizer {
public:
    explicit LAMBDAMU(const nlohmann::json& block);
    LAMBDAMU(std::istream& in, unsigned int seed);

    void Generate() override;
    // Stores the immigrant's variables as elite values of the given global
    // variables; the next Generate plants them into the last child.
    void Inmigrate(const INDIVIDUAL& immigrant, const std::vector<unsigned int>& ids) override;
    bool IsImmigrantPending() const { return mImmigrantPending; }
};

#endif
