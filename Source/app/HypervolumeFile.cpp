#include "app/HypervolumeFile.h"

#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <vector>

#include "model/HYVU.h"
#include "model/ParetoArchive.h"
#include "model/RunOptions.h"
#include "model/UTILS.h"
#include "output/PIOU.h"

bool is_binary_population_file(const std::string& file) {
    std::ifstream is(file, std::ios::binary);
    if (!is)
        UTILS::Stop({"File " + file + " not found.", "Program stopped!"});
    char head[12] = {};
    is.read(head, sizeof(head));
    for (std::streamsize i = 0; i < is.gcount(); ++i)
        if (head[i] == '\0')
            return true;
    return false;
}

double hypervolume_of_file(const std::string& file) {
    std::cout << "   Hypervolume mode." << std::endl;
    std::cout << "input_filename: " << file << std::endl;
    const bool binary = is_binary_population_file(file);
    const POPULATION pop = binary ? PIOU::read_population_b(file) : PIOU::read_population_a(file);
    const unsigned nobj = pop.GetNobj();
    if (nobj == 0)
        UTILS::Stop({"File " + file + " holds designs without objectives: no hypervolume.",
                     "Program stopped!"});

    std::vector<std::vector<double>> feasible;
    for (unsigned k = 0; k < pop.GetPopsize(); ++k) {
        const INDIVIDUAL& ind = pop[k];
        if (ind.IsComputed() && ind.GetCtrViolation() >= 0.0 &&
            !HYVU::failed_objectives(ind.GetObj()))
            feasible.push_back(ind.GetObj());
    }
    ParetoArchive front(nobj);
    for (const auto& p : feasible)
        front.Insert(p);
    std::cout << "   Designs: " << pop.GetPopsize()
              << ", feasible and evaluated: " << feasible.size()
              << ", in the front: " << front.Size() << std::endl;

    std::vector<double> ref = GetRunOptions().hv_ref;
    std::string origin = "given with --hv-ref";
    if (!ref.empty() && ref.size() != nobj)
        UTILS::Stop({"The hypervolume reference point (--hv-ref " + HYVU::reference_text(ref) +
                         ") has " + std::to_string(ref.size()) + " values but the designs of " +
                         file + " have " + std::to_string(nobj) + " objectives.",
                     "Program stopped!"});
    if (ref.empty()) {
        ref = HYVU::derive_reference(feasible);
        origin = "derived from the file: worst value plus a tenth of the range";
    }
    std::ostringstream value;
    value << std::scientific << std::setprecision(10);
    if (ref.empty()) {
        // No feasible design: the front is empty and dominates nothing.
        value << 0.0;
        std::cout << "Hypervolume reference point: none (no feasible design in the file)"
                  << std::endl;
        std::cout << "Hypervolume: " << value.str() << std::endl;
        return 0.0;
    }
    const double hv = HYVU::hypervolume_flat(front.Values(), ref);
    value << hv;
    std::cout << "Hypervolume reference point: " << HYVU::reference_text(ref) << " (" << origin
              << ")" << std::endl;
    std::cout << "Hypervolume: " << value.str() << " (reference point " << HYVU::reference_text(ref)
              << ")" << std::endl;
    return hv;
}
