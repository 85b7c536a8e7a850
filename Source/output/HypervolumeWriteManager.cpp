#include "output/HypervolumeWriteManager.h"

#include <fstream>
#include <iomanip>

#include "model/UTILS.h"

namespace {
const int kWidth = 20;
}

void HypervolumeWriteManager::Init(const std::string& file, const std::string& comment) {
    mFile = file;
    std::ofstream os(mFile, std::ios::trunc);
    if (!os) {
        UTILS::WarnCannotWrite(mFile);
        return;
    }
    os << "# " << comment << '\n';
    os << std::left << std::setw(kWidth) << "# Generation" << std::setw(kWidth) << "Evaluations"
       << std::setw(kWidth) << "Hypervolume" << std::endl;
}

void HypervolumeWriteManager::Comment(const std::string& text) const {
    std::ofstream os(mFile, std::ios::app);
    if (!os) {
        UTILS::WarnCannotWrite(mFile);
        return;
    }
    os << "# " << text << std::endl;
}

void HypervolumeWriteManager::Write(unsigned generation, unsigned evaluations,
                                    double hypervolume) const {
    std::ofstream os(mFile, std::ios::app);
    if (!os) {
        UTILS::WarnCannotWrite(mFile);
        return;
    }
    os << std::scientific << std::setprecision(10) << std::left << std::setw(kWidth) << generation
       << std::setw(kWidth) << evaluations << std::setw(kWidth) << hypervolume << std::endl;
}
