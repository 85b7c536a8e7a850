#include "app/CampaignRecord.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "eval/EVAU.h"
#include "eval/EvaluationDatabase.h"
#include "games/GameAlgorithm.h"
#include "model/RunJournal.h"
#include "model/RunOptions.h"
#include "model/UTILS.h"
#include "optim/OptimizationAlgorithm.h"

#ifndef VESK_VERSION
#define VESK_VERSION "unknown"
#endif

namespace CampaignRecord {

namespace {

const char* const kRestartFile = "game_restart.dat";

// The database opened by BeforeLoad for a resumed run, until AfterLoad
// installs it.
std::unique_ptr<EvaluationDatabase>& Pending() {
    static std::unique_ptr<EvaluationDatabase> db;
    return db;
}

bool& Resuming() {
    static bool resuming = false;
    return resuming;
}

std::string ReadAll(const std::string& file) {
    std::ifstream is(file, std::ios::binary);
    std::ostringstream all;
    all << is.rdbuf();
    return all.str();
}

// The widest design, objective and constraint vectors of the run's
// evaluations: a game player's analyser sees the whole game design.
void Widths(OptimizationAlgorithm* opt, GameAlgorithm* game, unsigned& ndvs, unsigned& nobj,
            unsigned& nctr) {
    std::vector<OptimizationAlgorithm*> players;
    if (game != nullptr)
        for (unsigned p = 0; p < game->GetNumPlayers(); ++p)
            players.push_back(game->GetPlayer(p));
    else if (opt != nullptr)
        players.push_back(opt);
    ndvs = nobj = nctr = 0;
    for (OptimizationAlgorithm* p : players) {
        const unsigned design =
            p->IsActiveGame() ? static_cast<unsigned>(p->GetDVsIds().size()) : p->GetNdvs();
        ndvs = std::max(ndvs, design);
        nobj = std::max(nobj, p->GetNobj());
        nctr = std::max(nctr, p->GetNctr());
    }
}

std::vector<EvaluationDatabase::ConfigFile> DigestsOfInputs() {
    std::vector<EvaluationDatabase::ConfigFile> files;
    for (const std::string& file : RunJournal::InputFiles())
        files.push_back(EvaluationDatabase::Digest(file));
    return files;
}

// A resumed run must read exactly the files the recorded run read, as they
// were.
void CheckConfigFiles(const EvaluationDatabase& db) {
    const std::vector<EvaluationDatabase::ConfigFile> recorded = db.GetConfigFiles();
    const std::vector<EvaluationDatabase::ConfigFile> now = DigestsOfInputs();
    auto refuse = [](const std::string& why) {
        UTILS::Stop(
            {"Cannot resume: " + why + " Restore the file, or start a new run (without --resume).",
             "Program stopped!"});
    };
    for (const auto& file : recorded) {
        auto it = std::find_if(now.begin(), now.end(),
                               [&](const auto& f) { return f.name == file.name; });
        if (it == now.end())
            refuse("the recorded run read " + file.name + ", which this configuration does not.");
        if (it->sha256 != file.sha256)
            refuse(file.name + " differs from the file the recorded run read (SHA-256 " +
                   file.sha256.substr(0, 16) + "..., now " +
                   (it->sha256.empty() ? std::string("unreadable")
                                       : it->sha256.substr(0, 16) + "...") +
                   ").");
    }
    for (const auto& file : now)
        if (std::none_of(recorded.begin(), recorded.end(),
                         [&](const auto& f) { return f.name == file.name; }))
            refuse("this configuration reads " + file.name + ", which the recorded run did not.");
}

} // namespace

std::string JoinNumbers(const std::vector<double>& values) {
    std::ostringstream os;
    os.precision(17);
    for (size_t i = 0; i < values.size(); ++i)
        os << (i > 0 ? "," : "") << values[i];
    return os.str();
}

std::vector<double> SplitNumbers(const std::string& text) {
    std::vector<double> values;
    std::istringstream is(text);
    std::string item;
    while (std::getline(is, item, ','))
        if (!item.empty())
            values.push_back(std::stod(item));
    return values;
}

void BeforeLoad(bool resume, bool& json, bool& restart, std::vector<unsigned>& seeds) {
    Resuming() = resume;
    if (!resume)
        return;
    std::unique_ptr<EvaluationDatabase> db = EvaluationDatabase::OpenForResume();
    std::cout << "Resuming the run recorded in " << db->GetFile() << " (started "
              << db->GetRunValue("started_at") << ", " << db->RowCount()
              << " evaluations recorded): it is replayed from its start, and every design "
                 "recorded is answered from the database."
              << std::endl;
    json = db->GetRunValue("road") == "json";
    restart = db->GetRunValue("game_restart") == "1";
    seeds.clear();
    for (double s : SplitNumbers(db->GetRunValue("seeds")))
        seeds.push_back(static_cast<unsigned>(s));
    if (seeds.empty())
        seeds.push_back(0);
    // The game read its restart file at the start of the recorded run and
    // rewrote it at every turn since: put back what it read then.
    if (restart) {
        std::ofstream os(kRestartFile, std::ios::trunc | std::ios::binary);
        os << db->GetRunValue("game_restart_file");
        os.close();
        if (!os)
            UTILS::WriteFailed(kRestartFile);
    }
    RunOptions& options = GetRunOptions();
    const std::vector<double> timeout = SplitNumbers(db->GetRunValue("eval_timeout"));
    options.eval_timeout = timeout.empty() ? 0.0 : timeout[0];
    options.hv_ref = SplitNumbers(db->GetRunValue("hv_ref"));
    std::vector<unsigned> clock;
    for (double s : SplitNumbers(db->GetRunValue("clock_seeds")))
        clock.push_back(static_cast<unsigned>(s));
    RunJournal::ReplayClockSeeds(clock);
    Pending() = std::move(db);
}

void AfterLoad(OptimizationAlgorithm* opt, GameAlgorithm* game) {
    if (!GetRunOptions().use_db)
        return;
    unsigned ndvs = 0, nobj = 0, nctr = 0;
    Widths(opt, game, ndvs, nobj, nctr);
    const std::vector<EvaluationDatabase::Seed> seeds = EvaluationDatabase::SeedsSoFar();
    std::unique_ptr<EvaluationDatabase> db;
    if (Resuming()) {
        db = std::move(Pending());
        CheckConfigFiles(*db);
        db->PrepareEvaluations(ndvs, nobj, nctr);
        db->LoadReplay();
        const double earlier = db->PreviousSegmentsSeconds();
        if (game != nullptr)
            game->CountEarlierRunTime(earlier);
        else if (opt != nullptr)
            opt->CountEarlierRunTime(earlier);
        db->SetSeeds(seeds);
        db->BeginSegment();
    } else {
        UTILS::CheckWritable({EvaluationDatabase::kFile});
        const RunOptions& options = GetRunOptions();
        EvaluationDatabase::NewRun run;
        auto set = [&run](const char* key, std::string value) {
            run.values.emplace_back(key, std::move(value));
        };
        set("program", "veskv2");
        set("version", VESK_VERSION);
        set("started_at", UTILS::UtcTimestamp());
        set("road", options.json ? "json" : "text");
        set("seeds", JoinNumbers(std::vector<double>(options.seeds.begin(), options.seeds.end())));
        set("game_restart", options.game_restart ? "1" : "0");
        if (options.game_restart)
            set("game_restart_file", ReadAll(kRestartFile));
        set("eval_timeout", JoinNumbers({options.eval_timeout}));
        set("hv_ref", JoinNumbers(options.hv_ref));
        // The clock seeds: those taken while loading, and one value for every
        // random unit that may still seed itself from the clock later (at its
        // first draw), fixed now so that a resumed run can use it too.
        std::vector<double> clock;
        for (const RunJournal::SeedUse& use : RunJournal::SeedUses())
            if (use.given < 2)
                clock.push_back(use.used);
        const unsigned later = game != nullptr ? game->GetNumPlayers() : 1;
        std::vector<unsigned> planned(later, static_cast<unsigned>(std::time(nullptr)));
        for (unsigned s : planned)
            clock.push_back(s);
        RunJournal::ReplayClockSeeds(planned);
        set("clock_seeds", JoinNumbers(clock));
        run.config_files = RunJournal::InputFiles();
        run.seeds = seeds;
        run.ndvs = ndvs;
        run.nobj = nobj;
        run.nctr = nctr;
        db = EvaluationDatabase::CreateNew(run);
    }
    SetEvaluationDatabase(std::move(db));
}

void AfterRun() {
    EvaluationDatabase* db = GetEvaluationDatabase();
    if (db == nullptr)
        return;
    db->Finish(EvaluationDatabase::HowTheRunEnds(), EvaluationDatabase::SeedsSoFar());
    SetEvaluationDatabase(nullptr);
}

} // namespace CampaignRecord
