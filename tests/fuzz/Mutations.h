#ifndef VESK_TESTS_FUZZ_MUTATIONS_H
#define VESK_TESTS_FUZZ_MUTATIONS_H

#include <cstdint>
#include <string>

namespace fuzz {

// A small deterministic generator (splitmix64): the same seed gives the same
// cases on every machine and with any number of parallel jobs.
class Rng {
public:
    explicit Rng(uint64_t seed) : mState(seed) {}
    uint64_t Next();
    // A number in [0, n), n > 0.
    uint64_t Below(uint64_t n) { return Next() % n; }
    bool Chance(unsigned percent) { return Below(100) < percent; }

private:
    uint64_t mState;
};

// Changes text (the content of one input file) by one mutation chosen at
// random and returns its description ("replace token 12 by 4294967295").
// The mutations are those that break readers: numbers replaced by boundary
// values, tokens and lines deleted, duplicated or swapped, the file cut short,
// bytes flipped or inserted, junk and very long words inserted; binary files
// (holding a NUL byte) also get their header counts and values overwritten.
// A file may become empty.
std::string Mutate(std::string& text, Rng& rng);

} // namespace fuzz

#endif
