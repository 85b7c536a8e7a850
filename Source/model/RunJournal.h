#ifndef VESK_MODEL_RUNJOURNAL_H
#define VESK_MODEL_RUNJOURNAL_H

#include <string>
#include <vector>

// What a run took from outside that decides its course: the configuration
// files it read and the seeds its random units received. The evaluation
// database records both, and a resumed run checks the files and takes the
// seeds back, so that it repeats the recorded run exactly.
namespace RunJournal {

// Notes a file the run read its configuration from (once per name).
void NoteInputFile(const std::string& file);
// The files noted so far, in the order they were first read.
const std::vector<std::string>& InputFiles();

// One seeding of a random unit: the seed it was given (0 and 1 mean "from
// the clock") and the value the C library's srand received.
struct SeedUse {
    unsigned given = 0;
    unsigned used = 0;
};
// The seed a random unit given `given` uses, noted in order: `given` itself,
// or for 0 and 1 the clock, unless a resumed run replays recorded values.
unsigned SeedFor(unsigned given);
const std::vector<SeedUse>& SeedUses();
// The clock seeds of the recorded run, handed out again in their order.
void ReplayClockSeeds(const std::vector<unsigned>& seeds);

// Forgets everything (tests only).
void Reset();

} // namespace RunJournal

#endif
