// Convergence lines and the stand-alone convergence utilities of PIOU.
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>

#include "model/UTILS.h"
#include "output/ConvergenceWriteManager.h"
#include "output/PIOU.h"

namespace PIOU {

namespace {

std::vector<double> ValuesOf(const std::vector<INDIVIDUAL>& bestfits) {
    std::vector<double> values(bestfits.size(), 0.0);
    for (size_t i = 0; i < bestfits.size(); ++i)
        if (i < bestfits[i].GetNobj())
            values[i] = bestfits[i].GetObj(static_cast<unsigned>(i));
    return values;
}

template <typename Write> void WriteTo(const std::string& file, bool append, Write write) {
    std::ofstream os(file, append ? std::ios::app : std::ios::trunc);
    if (!os) {
        UTILS::WarnCannotWrite(file);
        return;
    }
    write(os);
    os.close();
    if (!os)
        UTILS::WarnCannotWrite(file);
}

} // namespace

void out_convergence(std::ostream& os, const std::vector<double>& values, unsigned index) {
    os << std::scientific << std::setprecision(10);
    os << std::setw(20) << std::left << index;
    for (double v : values)
        os << std::setw(20) << std::left << v;
    os << std::endl;
}

void out_convergence(std::ostream& os, const std::vector<INDIVIDUAL>& bestfits, unsigned index) {
    out_convergence(os, ValuesOf(bestfits), index);
}

void out_convergence_header(std::ostream& os, unsigned nobj, std::string first_title) {
    os << std::scientific << std::setprecision(10);
    os << std::setw(20) << std::left << ("# " + first_title);
    for (unsigned i = 0; i < nobj; ++i)
        os << std::setw(20) << std::left << ("obj[" + std::to_string(i) + "]");
    os << std::endl;
}

void cout_convergence(const std::vector<INDIVIDUAL>& bestfits, unsigned index) {
    out_convergence(std::cout, bestfits, index);
}

void cout_convergence_header(unsigned nobj, std::string first_title) {
    out_convergence_header(std::cout, nobj, first_title);
}

void write_convergence_file(const std::string& file, const std::vector<INDIVIDUAL>& bestfits,
                            unsigned index) {
    WriteTo(file, false, [&](std::ostream& os) { out_convergence(os, bestfits, index); });
}

void write_convergence_header_file(const std::string& file, unsigned nobj,
                                   std::string first_title) {
    WriteTo(file, false, [&](std::ostream& os) { out_convergence_header(os, nobj, first_title); });
}

void append_convergence_file(const std::string& file, const std::vector<double>& values,
                             unsigned index) {
    WriteTo(file, true, [&](std::ostream& os) { out_convergence(os, values, index); });
}

void append_convergence_file(const std::string& file, const std::vector<INDIVIDUAL>& bestfits,
                             unsigned index) {
    WriteTo(file, true, [&](std::ostream& os) { out_convergence(os, bestfits, index); });
}

void append_convergence_header_file(const std::string& file, unsigned nobj,
                                    std::string first_title) {
    WriteTo(file, true, [&](std::ostream& os) { out_convergence_header(os, nobj, first_title); });
}

void simplify_convergence_file(const std::string& input, const std::string& output) {
    std::ifstream is(input);
    if (!is)
        UTILS::Stop({"File " + input + " not found.", "Program stopped!"});
    std::ofstream os(output, std::ios::trunc);
    if (!os) {
        UTILS::WarnCannotWrite(output);
        return;
    }
    os << std::scientific << std::setprecision(10);
    std::string line;
    unsigned line_number = 0, lines_in = 0, lines_out = 0;
    const ConvergenceStaircase::WriteLine write_line =
        [&os, &lines_out](const std::vector<double>& values, unsigned index) {
            os << index << '\t';
            for (double v : values)
                os << std::setw(20) << std::left << v;
            os << '\n';
            ++lines_out;
        };
    ConvergenceStaircase staircase;
    size_t width = 0;
    // The values of the last data line read.
    std::vector<double> last_values;
    while (std::getline(is, line)) {
        ++line_number;
        if (!line.empty() && line[0] == '#') {
            os << line << '\n';
            continue;
        }
        std::istringstream fields(line);
        if (!staircase.Started()) {
            // The first data line is copied as it stands and fixes the width.
            std::vector<double> numbers;
            double x;
            while (fields >> x)
                numbers.push_back(x);
            if (numbers.empty())
                continue;
            ++lines_in;
            os << line << '\n';
            ++lines_out;
            width = numbers.size() - 1;
            last_values.assign(numbers.begin() + 1, numbers.end());
            staircase.Start(last_values, static_cast<unsigned>(numbers[0]));
            continue;
        }
        unsigned index = 0;
        std::vector<double> values(width);
        if (!(fields >> index)) {
            if (fields.eof() && line.find_first_not_of(" \t\r") == std::string::npos)
                continue; // a blank line
            UTILS::Stop({"File " + input + ", line " + std::to_string(line_number) +
                             ": expected an index followed by " + std::to_string(width) +
                             " values.",
                         "Program stopped!"});
        }
        for (double& v : values)
            if (!(fields >> v))
                UTILS::Stop({"File " + input + ", line " + std::to_string(line_number) +
                                 ": expected an index followed by " + std::to_string(width) +
                                 " values.",
                             "Program stopped!"});
        ++lines_in;
        last_values = values;
        staircase.Add(values, index, width, write_line);
    }
    // The closing line repeats the last line read as it was read: a -0 read
    // after a 0 (equal, so no step) keeps its sign.
    staircase.Close(last_values, write_line);
    std::cout << "Input data lines: " << lines_in << std::endl;
    std::cout << "Output data lines: " << lines_out << std::endl;
}

void process_convergence_from_population(const POPULATION& pop, std::string evaluation_file,
                                         std::string generation_file, unsigned long block) {
    const unsigned nobj = pop.GetNobj();
    const unsigned n = pop.GetPopsize();
    std::vector<double> minima(nobj, std::numeric_limits<double>::max());
    {
        ConvergenceWriteManager evaluations;
        evaluations.Init(evaluation_file, nobj, "Evaluation");
        for (unsigned i = 0; i < n; ++i) {
            for (unsigned j = 0; j < nobj; ++j)
                minima[j] = std::min(minima[j], pop[i].GetObj(j));
            evaluations.WriteConvergenceToFile(minima, i);
        }
    }
    minima.assign(nobj, std::numeric_limits<double>::max());
    ConvergenceWriteManager generations;
    generations.Init(generation_file, nobj, "Generation");
    // Every individual belongs to a block, the last block possibly shorter;
    // a block size of 0 is taken as one block holding the whole population.
    if (block == 0)
        block = n;
    for (unsigned long start = 0; start < n; start += block) {
        const unsigned long end = std::min<unsigned long>(start + block, n);
        for (unsigned long i = start; i < end; ++i)
            for (unsigned j = 0; j < nobj; ++j)
                minima[j] = std::min(minima[j], pop[static_cast<unsigned>(i)].GetObj(j));
        generations.WriteConvergenceToFile(minima, static_cast<unsigned>(end));
    }
}

} // namespace PIOU
