#include "eval/EvaluationDatabase.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <openssl/evp.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "model/UTILS.h"

namespace {

std::unique_ptr<EvaluationDatabase>& Current() {
    static std::unique_ptr<EvaluationDatabase> db;
    return db;
}

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Exists(const std::string& file) {
    struct stat info;
    return ::stat(file.c_str(), &info) == 0;
}

[[noreturn]] void Fail(sqlite3* db, const std::string& file, const std::string& what) {
    UTILS::Stop({"Evaluation database " + file + ": " + what +
                     (db != nullptr ? std::string(": ") + sqlite3_errmsg(db) : std::string()) + ".",
                 "Program stopped!"});
}

// A prepared statement, finalised when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const std::string& file, const std::string& sql) : mDb(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &mStmt, nullptr) != SQLITE_OK)
            Fail(db, file, "cannot prepare \"" + sql + "\"");
    }
    ~Statement() { sqlite3_finalize(mStmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return mStmt; }
    bool Row() { return sqlite3_step(mStmt) == SQLITE_ROW; }

private:
    sqlite3* mDb;
    sqlite3_stmt* mStmt = nullptr;
};

std::string Text(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

EvalOutcome OutcomeFromName(const std::string& name) {
    if (name == OutcomeName(EvalOutcome::Failed))
        return EvalOutcome::Failed;
    if (name == OutcomeName(EvalOutcome::TimedOut))
        return EvalOutcome::TimedOut;
    return EvalOutcome::Ok;
}

uint64_t Bits(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof(bits));
    return bits;
}

} // namespace

EvaluationDatabase* GetEvaluationDatabase() {
    return Current().get();
}

void SetEvaluationDatabase(std::unique_ptr<EvaluationDatabase> db) {
    Current() = std::move(db);
}

size_t EvaluationDatabase::DesignHash::operator()(const DesignKey& key) const {
    uint64_t h = 1469598103934665603ull ^ key.player;
    for (uint64_t bits : key.bits)
        h = (h ^ bits) * 1099511628211ull;
    return static_cast<size_t>(h);
}

EvaluationDatabase::EvaluationDatabase(const std::string& file) : mFile(file) {
    // No mutex of SQLite's own: it would be taken for every bound value of
    // every row. One thread at a time uses the connection, under mDbMutex.
    if (sqlite3_open_v2(file.c_str(), &mDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = mDb != nullptr ? sqlite3_errmsg(mDb) : "out of memory";
        sqlite3_close(mDb);
        mDb = nullptr;
        Fail(nullptr, file, "cannot open it (" + message + ")");
    }
    sqlite3_busy_timeout(mDb, 10000);
    // Large pages halve the cost of appending rows (a new database only; an
    // existing one keeps its page size). WAL lets the sqlite3 command read a
    // running campaign; NORMAL synchrony keeps every commit atomic without
    // waiting for the disk each time.
    Exec("PRAGMA page_size=16384");
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
}

EvaluationDatabase::~EvaluationDatabase() {
    StopWriter();
    if (mDb == nullptr)
        return;
    // No fatal exits here: this may run while the process is ending.
    if (!mFinished && mSegment != 0) {
        sqlite3_stmt* end = nullptr;
        if (sqlite3_prepare_v2(mDb, "UPDATE segments SET seconds = ?, ended = ? WHERE segment = ?",
                               -1, &end, nullptr) == SQLITE_OK) {
            sqlite3_bind_double(end, 1, SteadySeconds() - mSegmentStart);
            sqlite3_bind_text(end, 2, "stopped by an error", -1, SQLITE_STATIC);
            sqlite3_bind_int64(end, 3, mSegment);
            sqlite3_step(end);
        }
        sqlite3_finalize(end);
    }
    sqlite3_finalize(mInsert);
    sqlite3_close(mDb);
}

void EvaluationDatabase::StopWriter() {
    if (!mThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mWake.notify_all();
    mThread.join();
}

void EvaluationDatabase::Finish(const std::string& how) {
    StopWriter();
    if (!mWriterError.empty())
        UTILS::Stop({mWriterError, "Program stopped!"});
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Statement end(mDb, mFile, "UPDATE segments SET seconds = ?, ended = ? WHERE segment = ?");
    sqlite3_bind_double(end.get(), 1, SteadySeconds() - mSegmentStart);
    sqlite3_bind_text(end.get(), 2, how.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(end.get(), 3, mSegment);
    if (sqlite3_step(end.get()) != SQLITE_DONE)
        Fail(mDb, mFile, "cannot record the end of the run");
    mFinished = true;
}

void EvaluationDatabase::Exec(const std::string& sql) const {
    char* error = nullptr;
    if (sqlite3_exec(mDb, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        UTILS::Stop({"Evaluation database " + mFile + ": \"" + sql + "\" failed: " + message + ".",
                     "Program stopped!"});
    }
}

std::unique_ptr<EvaluationDatabase> EvaluationDatabase::CreateNew() {
    const std::string file = kFile;
    if (Exists(file)) {
        // Results are never destroyed: the earlier database moves aside, with
        // its write-ahead log when a killed run left one behind.
        std::string kept;
        for (unsigned n = 1;; ++n) {
            kept = "evaluations." + std::to_string(n) + ".db";
            if (!Exists(kept) && !Exists(kept + "-wal"))
                break;
        }
        for (const char* suffix : {"", "-wal", "-shm"}) {
            const std::string from = file + suffix;
            if (Exists(from) && std::rename(from.c_str(), (kept + suffix).c_str()) != 0)
                UTILS::Stop({"Cannot keep the evaluation database of the previous run: renaming " +
                                 from + " to " + kept + suffix +
                                 " failed: " + std::strerror(errno) + ".",
                             "Program stopped!"});
        }
        std::cout << "The evaluation database of the previous run in this folder is kept as "
                  << kept << "." << std::endl;
    }
    std::unique_ptr<EvaluationDatabase> db(new EvaluationDatabase(file));
    // The whole description of the run goes in with the start of its first
    // segment, in one transaction: a database killed before that holds no
    // run, and a resume then says so.
    db->Exec("BEGIN");
    db->mSetupOpen = true;
    db->Exec("CREATE TABLE run (key TEXT PRIMARY KEY, value TEXT NOT NULL)");
    db->Exec("CREATE TABLE seeds (position INTEGER PRIMARY KEY, given INTEGER NOT NULL, "
             "used INTEGER NOT NULL)");
    db->Exec("CREATE TABLE config_files (name TEXT PRIMARY KEY, sha256 TEXT NOT NULL, "
             "bytes INTEGER NOT NULL)");
    db->Exec("CREATE TABLE segments (segment INTEGER PRIMARY KEY, started_at TEXT NOT NULL, "
             "seconds REAL NOT NULL, ended TEXT NOT NULL)");
    return db;
}

std::unique_ptr<EvaluationDatabase> EvaluationDatabase::OpenForResume() {
    const std::string file = kFile;
    if (!Exists(file))
        UTILS::Stop({"Cannot resume: this folder holds no evaluation database (" + file +
                         "). A run keeps one unless it was started with --no-db.",
                     "Program stopped!"});
    std::unique_ptr<EvaluationDatabase> db(new EvaluationDatabase(file));
    Statement tables(db->mDb, file,
                     "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                     "('run', 'seeds', 'config_files', 'segments', 'evaluations')");
    if (!tables.Row() || sqlite3_column_int(tables.get(), 0) != 5)
        UTILS::Stop({"Cannot resume: " + file +
                         " does not hold a recorded run (it was never started, or it is not a "
                         "database of this program).",
                     "Program stopped!"});
    return db;
}

void EvaluationDatabase::SetRunValue(const std::string& key, const std::string& value) {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Statement set(mDb, mFile, "INSERT OR REPLACE INTO run (key, value) VALUES (?, ?)");
    sqlite3_bind_text(set.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(set.get(), 2, value.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(set.get()) != SQLITE_DONE)
        Fail(mDb, mFile, "cannot record " + key);
}

std::string EvaluationDatabase::GetRunValue(const std::string& key) const {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Statement get(mDb, mFile, "SELECT value FROM run WHERE key = ?");
    sqlite3_bind_text(get.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
    return get.Row() ? Text(get.get(), 0) : "";
}

void EvaluationDatabase::SetSeeds(const std::vector<Seed>& seeds) {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    // All seeds or none, in one commit.
    Exec("SAVEPOINT seeds");
    Exec("DELETE FROM seeds");
    {
        Statement insert(mDb, mFile, "INSERT INTO seeds (position, given, used) VALUES (?, ?, ?)");
        for (size_t i = 0; i < seeds.size(); ++i) {
            sqlite3_reset(insert.get());
            sqlite3_bind_int64(insert.get(), 1, static_cast<sqlite3_int64>(i));
            sqlite3_bind_int64(insert.get(), 2, seeds[i].given);
            sqlite3_bind_int64(insert.get(), 3, seeds[i].used);
            if (sqlite3_step(insert.get()) != SQLITE_DONE)
                Fail(mDb, mFile, "cannot record the seeds");
        }
    }
    Exec("RELEASE seeds");
}

std::vector<EvaluationDatabase::Seed> EvaluationDatabase::GetSeeds() const {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    std::vector<Seed> seeds;
    Statement get(mDb, mFile, "SELECT given, used FROM seeds ORDER BY position");
    while (get.Row())
        seeds.push_back({static_cast<unsigned>(sqlite3_column_int64(get.get(), 0)),
                         static_cast<unsigned>(sqlite3_column_int64(get.get(), 1))});
    return seeds;
}

EvaluationDatabase::ConfigFile EvaluationDatabase::Digest(const std::string& file) {
    ConfigFile digest;
    digest.name = file;
    std::ifstream is(file, std::ios::binary);
    if (!is)
        return digest;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
    char buffer[65536];
    while (is.read(buffer, sizeof(buffer)) || is.gcount() > 0) {
        EVP_DigestUpdate(ctx, buffer, static_cast<size_t>(is.gcount()));
        digest.bytes += is.gcount();
    }
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx, hash, &length);
    EVP_MD_CTX_free(ctx);
    static const char* const kHex = "0123456789abcdef";
    for (unsigned i = 0; i < length; ++i) {
        digest.sha256 += kHex[hash[i] >> 4];
        digest.sha256 += kHex[hash[i] & 15];
    }
    return digest;
}

void EvaluationDatabase::SetConfigFiles(const std::vector<ConfigFile>& files) {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Exec("DELETE FROM config_files");
    Statement insert(mDb, mFile,
                     "INSERT OR REPLACE INTO config_files (name, sha256, bytes) VALUES (?, ?, ?)");
    for (const ConfigFile& file : files) {
        sqlite3_reset(insert.get());
        sqlite3_bind_text(insert.get(), 1, file.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 2, file.sha256.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert.get(), 3, file.bytes);
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            Fail(mDb, mFile, "cannot record the configuration files");
    }
}

std::vector<EvaluationDatabase::ConfigFile> EvaluationDatabase::GetConfigFiles() const {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    std::vector<ConfigFile> files;
    Statement get(mDb, mFile, "SELECT name, sha256, bytes FROM config_files ORDER BY rowid");
    while (get.Row())
        files.push_back(
            {Text(get.get(), 0), Text(get.get(), 1), sqlite3_column_int64(get.get(), 2)});
    return files;
}

std::vector<std::string> EvaluationDatabase::Columns(const char* prefix, unsigned n) const {
    std::vector<std::string> columns;
    for (unsigned i = 0; i < n; ++i)
        columns.push_back(prefix + std::to_string(i));
    return columns;
}

void EvaluationDatabase::PrepareEvaluations(unsigned ndvs, unsigned nobj, unsigned nctr) {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Statement exists(mDb, mFile,
                     "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                     "name = 'evaluations'");
    const bool have = exists.Row() && sqlite3_column_int(exists.get(), 0) == 1;
    std::vector<std::string> values = Columns("dvs", ndvs);
    for (const std::string& c : Columns("obj", nobj))
        values.push_back(c);
    for (const std::string& c : Columns("ctr", nctr))
        values.push_back(c);
    if (!have) {
        // The values have no declared type on purpose: a column of REAL type
        // would store -0.0 as the integer 0, and a replayed design must read
        // back bit for bit.
        std::string sql = "CREATE TABLE evaluations (id INTEGER PRIMARY KEY, "
                          "player INTEGER NOT NULL, batch INTEGER NOT NULL, idx INTEGER NOT NULL, "
                          "outcome TEXT NOT NULL, exit_status INTEGER, seconds REAL NOT NULL, "
                          "time REAL NOT NULL, segment INTEGER NOT NULL, replay_of INTEGER";
        for (const std::string& c : values)
            sql += ", " + c;
        Exec(sql + ")");
    } else {
        Statement count(mDb, mFile, "SELECT count(*) FROM pragma_table_info('evaluations')");
        const unsigned have_columns =
            count.Row() ? static_cast<unsigned>(sqlite3_column_int(count.get(), 0)) : 0;
        if (have_columns != 10 + values.size())
            UTILS::Stop({"Cannot resume: the recorded evaluations hold designs of another size "
                         "than this configuration's.",
                         "Program stopped!"});
    }
    mNdvs = ndvs;
    mNobj = nobj;
    mNctr = nctr;
    std::string sql = "INSERT INTO evaluations (player, batch, idx, outcome, exit_status, seconds, "
                      "time, segment, replay_of";
    std::string marks = "?, ?, ?, ?, ?, ?, ?, ?, ?";
    for (const std::string& c : values) {
        sql += ", " + c;
        marks += ", ?";
    }
    sql += ") VALUES (" + marks + ")";
    if (sqlite3_prepare_v2(mDb, sql.c_str(), -1, &mInsert, nullptr) != SQLITE_OK)
        Fail(mDb, mFile, "cannot prepare the insertion of evaluations");
}

void EvaluationDatabase::LoadReplay() {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    mRows.clear();
    mByDesign.clear();
    mByPosition.clear();
    std::string sql = "SELECT id, player, batch, idx, outcome, exit_status, seconds, time, "
                      "replay_of";
    const unsigned n = mNdvs + mNobj + mNctr;
    for (const std::vector<std::string>& list :
         {Columns("dvs", mNdvs), Columns("obj", mNobj), Columns("ctr", mNctr)})
        for (const std::string& c : list)
            sql += ", " + c;
    Statement get(mDb, mFile, sql + " FROM evaluations ORDER BY id");
    while (get.Row()) {
        sqlite3_stmt* s = get.get();
        EvaluationRow row;
        row.id = sqlite3_column_int64(s, 0);
        row.player = static_cast<unsigned>(sqlite3_column_int64(s, 1));
        row.batch = static_cast<unsigned>(sqlite3_column_int64(s, 2));
        row.index = static_cast<unsigned>(sqlite3_column_int64(s, 3));
        row.outcome = OutcomeFromName(Text(s, 4));
        row.exit_status = sqlite3_column_type(s, 5) == SQLITE_NULL ? -1 : sqlite3_column_int(s, 5);
        row.seconds = sqlite3_column_double(s, 6);
        row.time = sqlite3_column_double(s, 7);
        row.replay_of = sqlite3_column_int64(s, 8);
        // A player with fewer variables than the widest leaves NULLs.
        for (unsigned k = 0; k < n; ++k) {
            const int column = 9 + static_cast<int>(k);
            if (sqlite3_column_type(s, column) == SQLITE_NULL)
                continue;
            const double v = sqlite3_column_double(s, column);
            if (k < mNdvs)
                row.dvs.push_back(v);
            else if (k < mNdvs + mNobj)
                row.obj.push_back(v);
            else
                row.ctr.push_back(v);
        }
        mRows.push_back(std::move(row));
    }
    for (size_t i = 0; i < mRows.size(); ++i) {
        const EvaluationRow& row = mRows[i];
        DesignKey key{row.player, {}};
        for (double v : row.dvs)
            key.bits.push_back(Bits(v));
        mByDesign.emplace(std::move(key), i);
        mByPosition.emplace((static_cast<uint64_t>(row.player) << 48) ^
                                (static_cast<uint64_t>(row.batch) << 20) ^ row.index,
                            i);
    }
}

const EvaluationRow* EvaluationDatabase::FindReplay(unsigned player, unsigned batch, unsigned index,
                                                    const std::vector<double>& design) const {
    if (mRows.empty())
        return nullptr;
    auto same_design = [&](const EvaluationRow& row) {
        if (row.player != player || row.dvs.size() != design.size())
            return false;
        for (size_t k = 0; k < design.size(); ++k)
            if (Bits(row.dvs[k]) != Bits(design[k]))
                return false;
        return true;
    };
    const uint64_t position =
        (static_cast<uint64_t>(player) << 48) ^ (static_cast<uint64_t>(batch) << 20) ^ index;
    auto at = mByPosition.find(position);
    if (at != mByPosition.end()) {
        const EvaluationRow& row = mRows[at->second];
        if (SamePosition(row, player, batch, index) && same_design(row))
            return &row;
    }
    DesignKey key{player, {}};
    for (double v : design)
        key.bits.push_back(Bits(v));
    auto found = mByDesign.find(key);
    return found != mByDesign.end() ? &mRows[found->second] : nullptr;
}

void EvaluationDatabase::BeginSegment() {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Statement begin(mDb, mFile,
                    "INSERT INTO segments (started_at, seconds, ended) VALUES (?, 0, 'running')");
    const std::string now = UTILS::UtcTimestamp();
    sqlite3_bind_text(begin.get(), 1, now.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(begin.get()) != SQLITE_DONE)
        Fail(mDb, mFile, "cannot record the start of the run");
    mSegment = sqlite3_last_insert_rowid(mDb);
    if (mSetupOpen) {
        Exec("COMMIT");
        mSetupOpen = false;
    }
    mSegmentStart = SteadySeconds();
    mThread = std::thread([this] { Writer(); });
}

double EvaluationDatabase::PreviousSegmentsSeconds() const {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Statement sum(mDb, mFile, "SELECT total(seconds) FROM segments WHERE segment != ?");
    sqlite3_bind_int64(sum.get(), 1, mSegment);
    return sum.Row() ? sqlite3_column_double(sum.get(), 0) : 0.0;
}

long long EvaluationDatabase::RowCount() const {
    const std::lock_guard<std::mutex> guard(mDbMutex);
    Statement count(mDb, mFile, "SELECT count(*) FROM evaluations");
    return count.Row() ? sqlite3_column_int64(count.get(), 0) : 0;
}

void EvaluationDatabase::Record(const EvaluationRow& row) {
    // The writer is woken only when there is something to commit (a slow
    // evaluation) or a good amount to write: a wake-up per row would cost a
    // system call for every evaluation of a fast analyser.
    const bool wake = row.seconds >= kSlowEvaluation;
    size_t queued = 0;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQueue.push_back(
            {row.player, row.batch, row.index, row.outcome, row.exit_status, row.seconds, row.time,
             row.replay_of, static_cast<unsigned>(row.dvs.size()),
             static_cast<unsigned>(row.obj.size()), static_cast<unsigned>(row.ctr.size())});
        mQueueValues.insert(mQueueValues.end(), row.dvs.begin(), row.dvs.end());
        mQueueValues.insert(mQueueValues.end(), row.obj.begin(), row.obj.end());
        mQueueValues.insert(mQueueValues.end(), row.ctr.begin(), row.ctr.end());
        ++mQueued;
        queued = mQueue.size();
    }
    if (wake || queued >= 512)
        mWake.notify_one();
}

void EvaluationDatabase::EndBatch() {
    std::string error;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mBatchEnded = true;
        error = mWriterError;
    }
    mWake.notify_one();
    // A database that cannot be written is a result that cannot be saved.
    if (!error.empty())
        UTILS::Stop({error, "Program stopped!"});
}

void EvaluationDatabase::Flush() {
    std::unique_lock<std::mutex> lock(mMutex);
    const unsigned long long target = mQueued;
    mBatchEnded = true;
    mWake.notify_one();
    mDone.wait(lock, [&] { return mCommitted >= target || !mWriterError.empty(); });
    if (!mWriterError.empty()) {
        const std::string error = mWriterError;
        lock.unlock();
        UTILS::Stop({error, "Program stopped!"});
    }
}

void EvaluationDatabase::WriteRow(const QueuedRow& row, const double* values) {
    sqlite3_stmt* s = mInsert;
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, row.player);
    sqlite3_bind_int64(s, 2, row.batch);
    sqlite3_bind_int64(s, 3, row.index);
    sqlite3_bind_text(s, 4, OutcomeName(row.outcome), -1, SQLITE_STATIC);
    // Every parameter is bound for every row (NULL where there is no value):
    // bindings stay from the row before.
    if (row.exit_status >= 0)
        sqlite3_bind_int(s, 5, row.exit_status);
    else
        sqlite3_bind_null(s, 5);
    sqlite3_bind_double(s, 6, row.seconds);
    sqlite3_bind_double(s, 7, row.time);
    sqlite3_bind_int64(s, 8, mSegment);
    if (row.replay_of != 0)
        sqlite3_bind_int64(s, 9, row.replay_of);
    else
        sqlite3_bind_null(s, 9);
    int column = 10;
    auto bind = [&](unsigned count, unsigned width) {
        for (unsigned k = 0; k < width; ++k, ++column)
            if (k < count)
                sqlite3_bind_double(s, column, *values++);
            else
                sqlite3_bind_null(s, column);
    };
    bind(row.ndvs, mNdvs);
    bind(row.nobj, mNobj);
    bind(row.nctr, mNctr);
    if (sqlite3_step(s) != SQLITE_DONE)
        throw std::runtime_error(std::string("cannot record an evaluation: ") +
                                 sqlite3_errmsg(mDb));
}

void EvaluationDatabase::Commit() {
    Statement seconds(mDb, mFile, "UPDATE segments SET seconds = ? WHERE segment = ?");
    sqlite3_bind_double(seconds.get(), 1, SteadySeconds() - mSegmentStart);
    sqlite3_bind_int64(seconds.get(), 2, mSegment);
    sqlite3_step(seconds.get());
    char* error = nullptr;
    if (sqlite3_exec(mDb, "COMMIT", nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("cannot commit: " + message);
    }
    mInTransaction = false;
}

void EvaluationDatabase::Writer() {
    // The queue is taken over whole, and the emptied buffers go back to it:
    // after the first batches neither side allocates.
    std::vector<QueuedRow> rows;
    std::vector<double> values;
    unsigned long long written = 0;
    bool uncopied = false; // commits not yet copied from the log into the database
    while (true) {
        bool stop = false;
        bool batch_ended = false;
        bool committed = false;
        rows.clear();
        values.clear();
        {
            std::unique_lock<std::mutex> lock(mMutex);
            auto work = [&] { return !mQueue.empty() || mBatchEnded || mStop; };
            if (uncopied && !mWake.wait_for(lock, kIdleBeforeCheckpoint, work)) {
                // Copying the log into the database flushes both to the disk,
                // which takes milliseconds: done while the run computes (its
                // final post-processing, or a slow analyser), it costs the run
                // nothing and leaves next to nothing for the close. A busy
                // reader only makes a checkpoint do less.
                lock.unlock();
                const std::lock_guard<std::mutex> guard(mDbMutex);
                sqlite3_wal_checkpoint_v2(mDb, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                          nullptr);
                uncopied = false;
                continue;
            }
            mWake.wait(lock, work);
            rows.swap(mQueue);
            values.swap(mQueueValues);
            batch_ended = mBatchEnded;
            mBatchEnded = false;
            stop = mStop;
        }
        try {
            const std::lock_guard<std::mutex> guard(mDbMutex);
            bool slow = false;
            const double* next = values.data();
            for (const QueuedRow& row : rows) {
                if (!mInTransaction) {
                    if (sqlite3_exec(mDb, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
                        throw std::runtime_error(std::string("cannot begin a transaction: ") +
                                                 sqlite3_errmsg(mDb));
                    mInTransaction = true;
                }
                WriteRow(row, next);
                next += row.ndvs + row.nobj + row.nctr;
                slow = slow || row.seconds >= kSlowEvaluation;
                ++written;
            }
            if (mInTransaction && (batch_ended || slow || stop)) {
                Commit();
                committed = true;
            }
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(mMutex);
            mWriterError = "Evaluation database " + mFile + ": " + e.what() + ".";
            mDone.notify_all();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mMutex);
            if (!mInTransaction)
                mCommitted = written;
        }
        mDone.notify_all();
        if (stop)
            return;
        uncopied = uncopied || committed;
    }
}
