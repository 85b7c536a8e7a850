// The peer of the comparison with pagmo2: NSGA-II of pagmo2 on ZDT1 (30
// variables) with the operators and budget of the Vesk runs it is timed
// against: simulated binary crossover (distribution index 10, probability 0.9)
// and polynomial mutation (distribution index 15, probability 1/30 per
// variable), popsize members drawn and evaluated first, then generations of
// popsize children each.
//
// Usage: pagmo_nsga2 popsize generations
// Prints the number of objective evaluations made.

#include <cstdio>
#include <cstdlib>

#include <pagmo/algorithm.hpp>
#include <pagmo/algorithms/nsga2.hpp>
#include <pagmo/population.hpp>
#include <pagmo/problem.hpp>
#include <pagmo/problems/zdt.hpp>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pagmo_nsga2 popsize generations\n");
        return 2;
    }
    const unsigned popsize = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
    const unsigned generations = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const unsigned seed = 2;
    pagmo::population pop{pagmo::problem{pagmo::zdt(1u, 30u)}, popsize, seed};
    pagmo::algorithm algo{pagmo::nsga2(generations, 0.9, 10.0, 1.0 / 30.0, 15.0, seed)};
    pop = algo.evolve(pop);
    std::printf("Objective evaluations: %llu\n",
                static_cast<unsigned long long>(pop.get_problem().get_fevals()));
    return 0;
}
