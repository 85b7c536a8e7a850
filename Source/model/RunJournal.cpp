#include "model/RunJournal.h"

#include <algorithm>
#include <ctime>
#include <deque>

namespace RunJournal {

namespace {
struct Journal {
    std::vector<std::string> files;
    std::vector<SeedUse> seeds;
    std::deque<unsigned> clock_replay;
};
Journal& TheJournal() {
    static Journal journal;
    return journal;
}
} // namespace

void NoteInputFile(const std::string& file) {
    std::vector<std::string>& files = TheJournal().files;
    if (std::find(files.begin(), files.end(), file) == files.end())
        files.push_back(file);
}

const std::vector<std::string>& InputFiles() {
    return TheJournal().files;
}

unsigned SeedFor(unsigned given) {
    Journal& journal = TheJournal();
    unsigned used = given;
    if (given < 2) {
        if (!journal.clock_replay.empty()) {
            used = journal.clock_replay.front();
            journal.clock_replay.pop_front();
        } else {
            used = static_cast<unsigned>(std::time(nullptr));
        }
    }
    journal.seeds.push_back({given, used});
    return used;
}

const std::vector<SeedUse>& SeedUses() {
    return TheJournal().seeds;
}

void ReplayClockSeeds(const std::vector<unsigned>& seeds) {
    TheJournal().clock_replay.assign(seeds.begin(), seeds.end());
}

void Reset() {
    TheJournal() = Journal();
}

} // namespace RunJournal
