#ifndef VESK_APP_HYPERVOLUMEFILE_H
#define VESK_APP_HYPERVOLUMEFILE_H

#include <string>

// Hypervolume mode: prints the hypervolume of the feasible members of a
// population file, ASCII or binary (told apart by content), against the
// reference point of --hv-ref or, without it, one derived from the file's
// feasible designs. A missing or unreadable file, or a reference point of the
// wrong length, stops the program. Returns the hypervolume.
double hypervolume_of_file(const std::string& file);

// A binary population file begins with three 32-bit counts, whose high bytes
// are 0; an ASCII file never holds a NUL byte.
bool is_binary_population_file(const std::string& file);

#endif
