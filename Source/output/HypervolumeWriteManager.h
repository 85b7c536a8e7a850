#ifndef VESK_OUTPUT_HYPERVOLUMEWRITEMANAGER_H
#define VESK_OUTPUT_HYPERVOLUMEWRITEMANAGER_H

#include <string>

// Writes the hypervolume file of a population optimiser: comment lines (the
// reference point), a column header, then one line per generation with the
// generation, the objective evaluations so far and the hypervolume of the
// front so far, in the layout of the convergence files (fields of 20
// characters, left-justified, reals in scientific notation with ten digits).
// A file that cannot be written is reported once and the run goes on.
class HypervolumeWriteManager {
public:
    // Creates (truncates) the file with one comment line and the header.
    void Init(const std::string& file, const std::string& comment);
    // Appends a comment line ("# " and the text).
    void Comment(const std::string& text) const;
    void Write(unsigned generation, unsigned evaluations, double hypervolume) const;

private:
    std::string mFile;
};

#endif
