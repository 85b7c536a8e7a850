#include "output/PLOU.h"

#include <cstdlib>
#include <iostream>

#include "model/POPULATION.h"
#include "output/WriteDataEA.h"

namespace PLOU {

void create_file_gp(const POPULATION&, const WriteDataEA&) {}

int run_gnuplot(const std::string& name) {
    const std::string command = "gnuplot " + name + ".gp";
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::cout << "Gnuplot execution failed:" << std::endl;
        std::cout << "\tcommand: " << command << std::endl;
        std::cout << "\tExit code: " << status << std::endl;
    } else {
        std::cout << std::endl << "Gnuplot execution success" << std::endl;
    }
    return status;
}

} // namespace PLOU
