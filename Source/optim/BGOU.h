#ifndef VESK_OPTIM_BGOU_H
#define VESK_OPTIM_BGOU_H

#include <vector>

#include "model/INDIVIDUAL.h"
#include "model/POPULATION.h"

class RANU;

// Genetic operators for real-coded design variables: crowded binary
// tournament selection, simulated binary crossover (eta 10) and polynomial
// mutation (eta 15). Every child value is moved onto its variable's step grid
// and into its bounds. The draw order is fixed so that seeded runs repeat.
namespace BGOU {

void selection(std::vector<unsigned int>& sel, const POPULATION& pop, RANU& ranu);
void crossover_pop(const POPULATION& parents, POPULATION& children, std::vector<double> lower,
                   std::vector<double> upper, std::vector<double> step, double pc, RANU& ranu);
void crossover_inds(const INDIVIDUAL& p1, const INDIVIDUAL& p2, INDIVIDUAL& c1, INDIVIDUAL& c2,
                    const double& pc, const std::vector<double>& lower,
                    const std::vector<double>& upper, const std::vector<double>& step, RANU& ranu);
void crossover_dvs(const double& x1, const double& x2, double& y1, double& y2, const double& lower,
                   const double& upper, const double& step, RANU& ranu);
void mutation_pop(POPULATION& pop, std::vector<double> lower, std::vector<double> upper,
                  std::vector<double> step, double pm, RANU& ranu);
void mutation_ind(INDIVIDUAL& ind, const std::vector<double>& lower,
                  const std::vector<double>& upper, const std::vector<double>& step,
                  const double& pm, RANU& ranu);
void mutate_dv(double& x, const double& lower, const double& upper, const double& step, RANU& ranu);

} // namespace BGOU

#endif
