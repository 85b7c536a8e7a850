#ifndef VESK_OUTPUT_PLOU_H
#define VESK_OUTPUT_PLOU_H

#include <string>

class POPULATION;
class WriteDataEA;

// Plot unit: writes the gnuplot script of a population-based optimiser and
// runs gnuplot on a script.
namespace PLOU {

// Writes <GetGPFilenameWOExt()>.gp for the counts of pop.
void create_file_gp(const POPULATION& pop, const WriteDataEA& out);
// Runs "gnuplot <name>.gp" and reports its exit status; the run goes on either way.
int run_gnuplot(const std::string& name);

} // namespace PLOU

#endif
