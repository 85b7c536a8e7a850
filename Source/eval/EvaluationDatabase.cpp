#include "eval/EvaluationDatabase.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "model/INTU.h"
#include "model/RunJournal.h"
#include "model/UTILS.h"

extern char** environ;

namespace {

// The environment variables that start a writer: the descriptor of its socket
// and the process it serves.
const char* const kWriterFdVariable = "VESK_EVALUATION_WRITER_FD";
const char* const kWriterParentVariable = "VESK_EVALUATION_WRITER_PARENT";
// The writer's socket and ring are these descriptors in the writer.
const int kWriterFd = 3;
const int kRingFd = 4;
const size_t kRingBytes = size_t{1} << 20;
const size_t kRingData = 4096; // the offset of the bytes, after the counters
const size_t kRingMapped = kRingData + kRingBytes;

// The messages between the run and the writer: a type and a size, then the
// payload.
enum Message : uint32_t {
    kSetupNew = 1, // a new run: create and describe the database
    kSetupResume,  // a resumed run: open it
    kRow,          // one evaluation
    kCommit,       // the end of a batch, or a slow evaluation
    kOver,         // the run evaluates nothing more
    kFlush,        // commit and answer
    kFinish,       // end the segment, close, answer and end
    kDone,         // the writer's answer
    kFailed,       // the writer's failure, with its message
};
struct MessageHeader {
    uint32_t type;
    uint32_t size;
};

std::unique_ptr<EvaluationDatabase>& Current() {
    static std::unique_ptr<EvaluationDatabase> db;
    return db;
}

// The executable started as the writer: none until a program that serves as
// one (it calls WriterMain first thing) or a test names it.
std::string& WriterProgram() {
    static std::string program;
    return program;
}

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Exists(const std::string& file) {
    struct stat info;
    return ::stat(file.c_str(), &info) == 0;
}

// Set in the writer: its failures are sent to the run, which stops with them.
bool gOnWriter = false;

[[noreturn]] void Fail(const std::string& message) {
    if (gOnWriter)
        throw std::runtime_error(message);
    UTILS::Stop({message, "Program stopped!"});
}

[[noreturn]] void Fail(sqlite3* db, const std::string& file, const std::string& what) {
    Fail("Evaluation database " + file + ": " + what +
         (db != nullptr ? std::string(": ") + sqlite3_errmsg(db) : std::string()) + ".");
}

// A prepared statement, finalised when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const std::string& file, const std::string& sql) {
        if (db == nullptr)
            Fail("Evaluation database " + file + ": it is not open here.");
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &mStmt, nullptr) != SQLITE_OK)
            Fail(db, file, "cannot prepare \"" + sql + "\"");
    }
    ~Statement() { sqlite3_finalize(mStmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return mStmt; }
    bool Row() { return sqlite3_step(mStmt) == SQLITE_ROW; }

private:
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

// Builds a message's payload.
class Payload {
public:
    template <typename T> void Put(const T& value) {
        const char* bytes = reinterpret_cast<const char*>(&value);
        mBytes.insert(mBytes.end(), bytes, bytes + sizeof(T));
    }
    void Put(const std::string& text) {
        Put(static_cast<uint32_t>(text.size()));
        mBytes.insert(mBytes.end(), text.begin(), text.end());
    }
    void Put(const std::vector<EvaluationDatabase::Seed>& seeds) {
        Put(static_cast<uint32_t>(seeds.size()));
        for (const EvaluationDatabase::Seed& seed : seeds) {
            Put(seed.given);
            Put(seed.used);
        }
    }
    const std::vector<char>& Bytes() const { return mBytes; }

private:
    std::vector<char> mBytes;
};

// Reads a message's payload; a short one is a broken message.
class Reader {
public:
    Reader(const char* data, size_t size) : mData(data), mEnd(data + size) {}
    template <typename T> T Get() {
        Need(sizeof(T));
        T value;
        std::memcpy(&value, mData, sizeof(T));
        mData += sizeof(T);
        return value;
    }
    std::string GetText() {
        const uint32_t size = Get<uint32_t>();
        Need(size);
        std::string text(mData, size);
        mData += size;
        return text;
    }
    std::vector<EvaluationDatabase::Seed> GetSeeds() {
        std::vector<EvaluationDatabase::Seed> seeds(Get<uint32_t>());
        for (EvaluationDatabase::Seed& seed : seeds) {
            seed.given = Get<unsigned>();
            seed.used = Get<unsigned>();
        }
        return seeds;
    }

private:
    void Need(size_t size) const {
        if (static_cast<size_t>(mEnd - mData) < size)
            throw std::runtime_error("the evaluation database writer received a broken message");
    }
    const char* mData;
    const char* mEnd;
};

// Sends all of it, waiting for room; false when the other side is gone. A
// signal handled meanwhile only interrupts the call.
bool SendAll(int socket, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t sent = ::send(socket, data + done, size - done, MSG_NOSIGNAL);
        if (sent >= 0) {
            done += static_cast<size_t>(sent);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd ready{socket, POLLOUT, 0};
            ::poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Reads exactly size bytes, waiting for them; false at the end of the
// stream.
bool ReceiveAll(int socket, char* data, size_t size) {
    while (size > 0) {
        const ssize_t got = ::recv(socket, data, size, 0);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{socket, POLLIN, 0};
            ::poll(&ready, 1, -1);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

void SendMessage(int socket, uint32_t type, const std::string& text) {
    const MessageHeader header{type, static_cast<uint32_t>(text.size())};
    if (SendAll(socket, reinterpret_cast<const char*>(&header), sizeof(header)))
        SendAll(socket, text.data(), text.size());
}

} // namespace

// The rows travel through a ring of memory that the run and the writer both
// map: the run copies its messages in and moves `head` on; the writer copies
// them out and moves `tail` on. No system call, and no buffer of the kernel's
// to allocate and free for every batch. The socket beside it carries what is
// rare: the writer's answers and failures, a wake-up for a writer that sleeps
// (`asleep`), and the end of the run (the end of the stream).
struct EvaluationDatabase::Ring {
    alignas(64) std::atomic<uint64_t> head;
    alignas(64) std::atomic<uint64_t> tail;
    alignas(64) std::atomic<uint32_t> asleep;
    std::atomic<uint32_t> failed; // the writer failed; why is on the socket
};
static_assert(sizeof(EvaluationDatabase::Ring) <= kRingData,
              "the ring's counters fit before its bytes");
static_assert(std::atomic<uint64_t>::is_always_lock_free, "lock-free across processes");

namespace {

char* RingBytes(EvaluationDatabase::Ring* ring) {
    return reinterpret_cast<char*>(ring) + kRingData;
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

EvaluationDatabase::EvaluationDatabase(const std::string& file) : mFile(file) {}

void EvaluationDatabase::Open() {
    const std::string& file = mFile;
    // No mutex of SQLite's own: it would be taken for every bound value of
    // every row, and one thread uses the connection.
    if (sqlite3_open_v2(file.c_str(), &mDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = mDb != nullptr ? sqlite3_errmsg(mDb) : "out of memory";
        sqlite3_close(mDb);
        mDb = nullptr;
        Fail(nullptr, file, "cannot open it (" + message + ")");
    }
    sqlite3_busy_timeout(mDb, kBusyTimeoutMs);
    // Small pages (a new database only): each commit writes its batch's
    // last, partly filled page to the log again, and with 16 KB pages the
    // ZDT1 run wrote 29 MB to the disk instead of 20 (the disk's interrupts
    // land on whichever processor handles them, the run's as often as not).
    // WAL lets the sqlite3 command read a running campaign; NORMAL synchrony
    // keeps every commit atomic without waiting for the disk each time.
    Exec("PRAGMA page_size=4096");
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    // The log is copied into the database whenever it holds 4 MB, and cut
    // back to 4 MB at most: the copy at the end of the evaluations, during
    // the run's final post-processing, then has little to do (the log of a
    // whole run took longer to copy than the post-processing of the ZDT1
    // example, and milliseconds to delete).
    Exec("PRAGMA wal_autocheckpoint=1024");
    Exec("PRAGMA journal_size_limit=4194304");
}

void EvaluationDatabase::Reopen() {
    if (mDb != nullptr)
        return;
    Open();
    DefineEvaluations(mNdvs, mNobj, mNctr, false);
}

void EvaluationDatabase::Close() {
    sqlite3_finalize(mInsert);
    mInsert = nullptr;
    sqlite3_close(mDb);
    mDb = nullptr;
}

EvaluationDatabase::~EvaluationDatabase() {
    // No fatal exits here: this may run while the process is ending.
    if (mWriterPid > 0) {
        // The writer commits what it got, records the segment as stopped by
        // an error, and closes.
        {
            std::lock_guard<std::mutex> lock(mMutex);
            SendLocked(true);
        }
    }
    // Also what a writer that never started left: the ring's mapping.
    EndWriter();
    Close();
}

void EvaluationDatabase::Exec(const std::string& sql) const {
    char* error = nullptr;
    if (sqlite3_exec(mDb, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        Fail("Evaluation database " + mFile + ": \"" + sql + "\" failed: " + message + ".");
    }
}

std::unique_ptr<EvaluationDatabase> EvaluationDatabase::CreateNew(const NewRun& run) {
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
    db->mSegmentStart = SteadySeconds();
    Payload setup;
    setup.Put(file);
    setup.Put(static_cast<uint32_t>(run.values.size()));
    for (const auto& [key, value] : run.values) {
        setup.Put(key);
        setup.Put(value);
    }
    setup.Put(static_cast<uint32_t>(run.config_files.size()));
    for (const std::string& name : run.config_files)
        setup.Put(name);
    setup.Put(run.seeds);
    setup.Put(run.ndvs);
    setup.Put(run.nobj);
    setup.Put(run.nctr);
    setup.Put(UTILS::UtcTimestamp());
    setup.Put(db->mSegmentStart);
    db->StartWriter(kSetupNew, setup.Bytes());
    return db;
}

void EvaluationDatabase::CreateTables(const NewRun& run) {
    // The whole description of the run goes in with the start of its first
    // segment, in one transaction: a database killed before that holds no
    // run, and a resume then says so.
    Exec("BEGIN");
    Exec("CREATE TABLE run (key TEXT PRIMARY KEY, value TEXT NOT NULL)");
    Exec("CREATE TABLE seeds (position INTEGER PRIMARY KEY, given INTEGER NOT NULL, "
         "used INTEGER NOT NULL)");
    Exec("CREATE TABLE config_files (name TEXT PRIMARY KEY, sha256 TEXT NOT NULL, "
         "bytes INTEGER NOT NULL)");
    Exec("CREATE TABLE segments (segment INTEGER PRIMARY KEY, started_at TEXT NOT NULL, "
         "seconds REAL NOT NULL, ended TEXT NOT NULL)");
    {
        Statement set(mDb, mFile, "INSERT INTO run (key, value) VALUES (?, ?)");
        for (const auto& [key, value] : run.values) {
            sqlite3_reset(set.get());
            sqlite3_bind_text(set.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(set.get(), 2, value.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(set.get()) != SQLITE_DONE)
                Fail(mDb, mFile, "cannot record " + key);
        }
    }
    {
        Statement insert(
            mDb, mFile,
            "INSERT OR REPLACE INTO config_files (name, sha256, bytes) VALUES (?, ?, ?)");
        for (const std::string& name : run.config_files) {
            const ConfigFile file = Digest(name);
            sqlite3_reset(insert.get());
            sqlite3_bind_text(insert.get(), 1, file.name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert.get(), 2, file.sha256.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert.get(), 3, file.bytes);
            if (sqlite3_step(insert.get()) != SQLITE_DONE)
                Fail(mDb, mFile, "cannot record the configuration files");
        }
    }
    WriteSeeds(run.seeds);
    DefineEvaluations(run.ndvs, run.nobj, run.nctr, true);
}

std::unique_ptr<EvaluationDatabase> EvaluationDatabase::OpenForResume() {
    const std::string file = kFile;
    if (!Exists(file))
        UTILS::Stop({"Cannot resume: this folder holds no evaluation database (" + file +
                         "). A run keeps one unless it was started with --no-db.",
                     "Program stopped!"});
    std::unique_ptr<EvaluationDatabase> db(new EvaluationDatabase(file));
    db->Open();
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

std::string EvaluationDatabase::GetRunValue(const std::string& key) const {
    Statement get(mDb, mFile, "SELECT value FROM run WHERE key = ?");
    sqlite3_bind_text(get.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
    return get.Row() ? Text(get.get(), 0) : "";
}

void EvaluationDatabase::SetSeeds(const std::vector<Seed>& seeds) {
    WriteSeeds(seeds);
}

void EvaluationDatabase::WriteSeeds(const std::vector<Seed>& seeds) {
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

std::vector<EvaluationDatabase::ConfigFile> EvaluationDatabase::GetConfigFiles() const {
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
    DefineEvaluations(ndvs, nobj, nctr, false);
}

void EvaluationDatabase::DefineEvaluations(unsigned ndvs, unsigned nobj, unsigned nctr,
                                           bool create) {
    std::vector<std::string> values = Columns("dvs", ndvs);
    for (const std::string& c : Columns("obj", nobj))
        values.push_back(c);
    for (const std::string& c : Columns("ctr", nctr))
        values.push_back(c);
    if (create) {
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
    InsertSegment(UTILS::UtcTimestamp());
    mSegmentStart = SteadySeconds();
    // The writer writes from here on; this process has read all it needs.
    Close();
    Payload setup;
    setup.Put(mFile);
    setup.Put(mNdvs);
    setup.Put(mNobj);
    setup.Put(mNctr);
    setup.Put(mSegment);
    setup.Put(mSegmentStart);
    StartWriter(kSetupResume, setup.Bytes());
}

void EvaluationDatabase::InsertSegment(const std::string& started_at) {
    Statement begin(mDb, mFile,
                    "INSERT INTO segments (started_at, seconds, ended) VALUES (?, 0, 'running')");
    sqlite3_bind_text(begin.get(), 1, started_at.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(begin.get()) != SQLITE_DONE)
        Fail(mDb, mFile, "cannot record the start of the run");
    mSegment = sqlite3_last_insert_rowid(mDb);
}

void EvaluationDatabase::RecordEnd(const std::string& how, const std::vector<Seed>& seeds) {
    Exec("BEGIN");
    EndSegment(how);
    if (!seeds.empty())
        WriteSeeds(seeds);
    Exec("COMMIT");
}

void EvaluationDatabase::EndSegment(const std::string& how) {
    Statement end(mDb, mFile, "UPDATE segments SET seconds = ?, ended = ? WHERE segment = ?");
    sqlite3_bind_double(end.get(), 1, SteadySeconds() - mSegmentStart);
    sqlite3_bind_text(end.get(), 2, how.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(end.get(), 3, mSegment);
    if (sqlite3_step(end.get()) != SQLITE_DONE)
        Fail(mDb, mFile, "cannot record the end of the run");
}

double EvaluationDatabase::PreviousSegmentsSeconds() const {
    Statement sum(mDb, mFile, "SELECT total(seconds) FROM segments WHERE segment != ?");
    sqlite3_bind_int64(sum.get(), 1, mSegment);
    return sum.Row() ? sqlite3_column_double(sum.get(), 0) : 0.0;
}

long long EvaluationDatabase::RowCount() const {
    Statement count(mDb, mFile, "SELECT count(*) FROM evaluations");
    return count.Row() ? sqlite3_column_int64(count.get(), 0) : 0;
}

// ---- The run's side -------------------------------------------------------

void EvaluationDatabase::SetWriterProgram(const std::string& path) {
    WriterProgram() = path;
}

void EvaluationDatabase::StartWriter(uint32_t type, const std::vector<char>& setup) {
    if (WriterProgram().empty())
        Fail("Evaluation database " + mFile +
             ": this program cannot start its writer (it does not call WriterMain).");
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        Fail("Evaluation database " + mFile + ": cannot start its writer: " + std::strerror(errno) +
             ".");
    int ring = ::memfd_create("vesk-evaluations", MFD_CLOEXEC);
    void* mapped = MAP_FAILED;
    if (ring >= 0 && ::ftruncate(ring, kRingMapped) == 0)
        mapped = ::mmap(nullptr, kRingMapped, PROT_READ | PROT_WRITE, MAP_SHARED, ring, 0);
    if (mapped == MAP_FAILED) {
        const std::string why = std::strerror(errno);
        ::close(ends[0]);
        ::close(ends[1]);
        if (ring >= 0)
            ::close(ring);
        Fail("Evaluation database " + mFile + ": cannot start its writer: " + why + ".");
    }
    mRing = new (mapped) Ring{};
    // Each descriptor is moved off the number it gets in the writer first:
    // dup2 onto itself would keep it closed on exec.
    if (ring == kWriterFd || ring == kRingFd) {
        const int moved = ::fcntl(ring, F_DUPFD_CLOEXEC, kRingFd + 1);
        ::close(ring);
        ring = moved;
    }
    // The writer's end becomes its descriptor kWriterFd (dup2 onto itself
    // would keep it closed on exec).
    int theirs = ends[1];
    if (theirs == kWriterFd || theirs == kRingFd) {
        theirs = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kRingFd + 1);
        ::close(ends[1]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, kWriterFd);
    posix_spawn_file_actions_adddup2(&actions, ring, kRingFd);
    // The run handles the interruption signals and ends the writer itself: a
    // Ctrl-C or a scheduler's SIGTERM to the whole group must not stop the
    // writer before the run has committed.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&blocked, signal);
    posix_spawnattr_setsigmask(&attributes, &blocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "VESK_EVALUATION_WRITER", 22) != 0)
            variables.emplace_back(*e);
    variables.push_back(std::string(kWriterFdVariable) + "=" + std::to_string(kWriterFd));
    variables.push_back(std::string(kWriterParentVariable) + "=" + std::to_string(::getpid()));
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    char name[] = "vesk-db-writer";
    char* argv[] = {name, nullptr};
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, WriterProgram().c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(theirs);
    ::close(ring);
    if (spawned != 0) {
        ::close(ends[0]);
        Fail("Evaluation database " + mFile + ": cannot start its writer (" + WriterProgram() +
             "): " + std::strerror(spawned) + ".");
    }
    mWriterPid = pid;
    mSocket = ends[0];
    std::lock_guard<std::mutex> lock(mMutex);
    Append(type, setup.data(), setup.size());
    SendLocked(true);
}

void EvaluationDatabase::Append(uint32_t type, const void* data, size_t size) {
    const MessageHeader header{type, static_cast<uint32_t>(size)};
    const char* bytes = reinterpret_cast<const char*>(&header);
    mOut.insert(mOut.end(), bytes, bytes + sizeof(header));
    if (size > 0) {
        const char* payload = static_cast<const char*>(data);
        mOut.insert(mOut.end(), payload, payload + size);
    }
}

void EvaluationDatabase::RingPut(const void* data, size_t size) {
    if (size == 0)
        return;
    const size_t at = mWritten % kRingBytes;
    const size_t first = std::min(size, kRingBytes - at);
    std::memcpy(RingBytes(mRing) + at, data, first);
    std::memcpy(RingBytes(mRing), static_cast<const char*>(data) + first, size - first);
    mWritten += size;
}

size_t EvaluationDatabase::RingRoom() const {
    return kRingBytes - (mWritten - mRing->tail.load(std::memory_order_acquire));
}

void EvaluationDatabase::Publish() {
    // Published before the writer's sleep is looked at: a writer that goes
    // to sleep looks at the head after saying so (no wake-up is lost).
    mRing->head.store(mWritten, std::memory_order_seq_cst);
    if (mRing->asleep.load(std::memory_order_seq_cst) != 0) {
        const char wake = 0;
        ::send(mSocket, &wake, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
}

bool EvaluationDatabase::SendLocked(bool wait) {
    if (!mWriterError.empty() || mRing == nullptr) {
        mOut.clear();
        return mWriterError.empty();
    }
    size_t done = 0;
    while (true) {
        const size_t n = std::min(RingRoom(), mOut.size() - done);
        RingPut(mOut.data() + done, n);
        done += n;
        Publish();
        if (done == mOut.size() || !wait || !WriterAlive())
            break;
        // The ring is full: the writer is behind (a reader in its way, a busy
        // host). Only a message that must arrive now waits for it.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // What did not fit goes with the next hand-over: a held-up writer must
    // not hold the run up.
    mOut.erase(mOut.begin(), mOut.begin() + static_cast<std::ptrdiff_t>(done));
    return mWriterError.empty();
}

bool EvaluationDatabase::WriterAlive() {
    if (!mWriterError.empty())
        return false;
    char byte;
    const ssize_t got = ::recv(mSocket, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) &&
        mRing->failed.load() == 0)
        return true;
    // The writer ended (the end of the stream), or failed and sent why.
    const std::string why = Await();
    mWriterError = why.empty()
                       ? "Evaluation database " + mFile + ": its writer process ended unexpectedly."
                       : why;
    mOut.clear();
    return false;
}

std::string EvaluationDatabase::Await() {
    MessageHeader header;
    if (mSocket < 0 || !ReceiveAll(mSocket, reinterpret_cast<char*>(&header), sizeof(header)))
        return "Evaluation database " + mFile + ": its writer process ended unexpectedly.";
    std::string text(header.size, '\0');
    if (!ReceiveAll(mSocket, text.data(), text.size()))
        return "Evaluation database " + mFile + ": its writer process ended unexpectedly.";
    return header.type == kFailed ? text : "";
}

void EvaluationDatabase::StopOnFailure() {
    std::string error;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        error = mWriterError;
    }
    // A database that cannot be written is a result that cannot be saved.
    if (!error.empty())
        UTILS::Stop({error, "Program stopped!"});
}

void EvaluationDatabase::EndWriter() {
    if (mSocket >= 0) {
        ::close(mSocket);
        mSocket = -1;
    }
    if (mRing != nullptr) {
        ::munmap(mRing, kRingMapped);
        mRing = nullptr;
    }
    if (mWriterPid > 0) {
        int status = 0;
        while (::waitpid(mWriterPid, &status, 0) < 0 && errno == EINTR) {
        }
        mWriterPid = -1;
    }
}

void EvaluationDatabase::Record(const EvaluationRow& row) {
    const RowHeader header{row.player,
                           row.batch,
                           row.index,
                           row.outcome,
                           row.exit_status,
                           row.seconds,
                           row.time,
                           row.replay_of,
                           static_cast<unsigned>(row.dvs.size()),
                           static_cast<unsigned>(row.obj.size()),
                           static_cast<unsigned>(row.ctr.size())};
    AppendRow(header, row.dvs, row.obj, row.ctr);
}

void EvaluationDatabase::Record(unsigned player, unsigned batch, unsigned index,
                                const std::vector<double>& dvs, const EvalResult& result,
                                double time) {
    const RowHeader header{player,
                           batch,
                           index,
                           result.outcome,
                           result.exit_code,
                           result.seconds,
                           time,
                           result.replayed ? result.replay_of : 0,
                           static_cast<unsigned>(dvs.size()),
                           static_cast<unsigned>(result.obj.size()),
                           static_cast<unsigned>(result.ctr.size())};
    AppendRow(header, dvs, result.obj, result.ctr);
}

void EvaluationDatabase::AppendRow(const RowHeader& header, const std::vector<double>& dvs,
                                   const std::vector<double>& obj, const std::vector<double>& ctr) {
    const size_t values = dvs.size() + obj.size() + ctr.size();
    const MessageHeader message{kRow,
                                static_cast<uint32_t>(sizeof(header) + values * sizeof(double))};
    std::lock_guard<std::mutex> lock(mMutex);
    if (mOut.empty() && mRing != nullptr && RingRoom() >= sizeof(message) + message.size) {
        // Straight into the ring when nothing waits before it; the writer
        // sees it when the batch ends (or a chunk is full).
        RingPut(&message, sizeof(message));
        RingPut(&header, sizeof(header));
        for (const std::vector<double>* part : {&dvs, &obj, &ctr})
            RingPut(part->data(), part->size() * sizeof(double));
    } else {
        const size_t at = mOut.size();
        mOut.resize(at + sizeof(message) + message.size);
        char* out = mOut.data() + at;
        std::memcpy(out, &message, sizeof(message));
        out += sizeof(message);
        std::memcpy(out, &header, sizeof(header));
        out += sizeof(header);
        for (const std::vector<double>* part : {&dvs, &obj, &ctr}) {
            if (!part->empty())
                std::memcpy(out, part->data(), part->size() * sizeof(double));
            out += part->size() * sizeof(double);
        }
    }
    // A slow evaluation's result is committed at once; a long batch goes over
    // in parts.
    if (header.seconds >= kSlowEvaluation) {
        Append(kCommit, nullptr, 0);
        SendLocked(true);
    } else if (mOut.size() >= kChunkBytes ||
               (mRing != nullptr &&
                mWritten - mRing->head.load(std::memory_order_relaxed) >= kChunkBytes)) {
        SendLocked(false);
    }
}

void EvaluationDatabase::EndBatch() {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        Append(kCommit, nullptr, 0);
        SendLocked(false);
        // Whether the writer still runs takes a system call: asked every
        // kPoll at most (a failure says so at once).
        const auto now = std::chrono::steady_clock::now();
        if (mRing != nullptr && (now - mLastCheck >= kPoll || mRing->failed.load() != 0)) {
            WriterAlive();
            mLastCheck = now;
        }
    }
    StopOnFailure();
}

void EvaluationDatabase::EndOfEvaluations(const std::string& how, const std::vector<Seed>& seeds) {
    Payload end;
    end.Put(how);
    end.Put(seeds);
    std::lock_guard<std::mutex> lock(mMutex);
    Append(kOver, end.Bytes().data(), end.Bytes().size());
    SendLocked(true);
}

std::string EvaluationDatabase::HowTheRunEnds() {
    return INTU::Requested() ? std::string("interrupted by ") + INTU::SignalName(INTU::Signal())
                             : "finished";
}

std::vector<EvaluationDatabase::Seed> EvaluationDatabase::SeedsSoFar() {
    std::vector<Seed> seeds;
    for (const RunJournal::SeedUse& use : RunJournal::SeedUses())
        seeds.push_back({use.given, use.used});
    return seeds;
}

void EvaluationDatabase::Flush() {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        Append(kFlush, nullptr, 0);
        if (SendLocked(true))
            mWriterError = Await();
    }
    StopOnFailure();
}

void EvaluationDatabase::Finish(const std::string& how, const std::vector<Seed>& seeds) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        Payload finish;
        finish.Put(how);
        finish.Put(seeds);
        Append(kFinish, finish.Bytes().data(), finish.Bytes().size());
        if (SendLocked(true))
            mWriterError = Await();
    }
    EndWriter();
    StopOnFailure();
}

// ---- The writer's side ----------------------------------------------------

int EvaluationDatabase::WriterMain() {
    const char* fd = std::getenv(kWriterFdVariable);
    const char* parent = std::getenv(kWriterParentVariable);
    if (fd == nullptr || parent == nullptr) {
        // Not a writer: this program serves as the writer of its own runs.
        if (WriterProgram().empty())
            WriterProgram() = "/proc/self/exe";
        return -1;
    }
    // The writer dies with the run: a killed run must not leave a writer
    // that commits behind the back of a resumed one. A run that died before
    // this line is noticed by its pid.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const pid_t run = static_cast<pid_t>(std::atoi(parent));
    if (::getppid() != run)
        return 1;
    ::prctl(PR_SET_NAME, "vesk-db-writer");
    // Where the writer has to share a processor with the run (or with the
    // run's analysers), the run goes first: rows wait in the socket and the
    // run's buffer, and the writer catches up when a processor is free.
    ::setpriority(PRIO_PROCESS, 0, 10);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::signal(signal, SIG_IGN);
    const int socket = std::atoi(fd);
    ::unsetenv(kWriterFdVariable);
    ::unsetenv(kWriterParentVariable);
    gOnWriter = true;
    void* mapped = ::mmap(nullptr, kRingMapped, PROT_READ | PROT_WRITE, MAP_SHARED, kRingFd, 0);
    ::close(kRingFd);
    if (mapped == MAP_FAILED) {
        SendMessage(socket, kFailed,
                    std::string("Evaluation database: its writer cannot map the run's rows: ") +
                        std::strerror(errno) + ".");
        return 1;
    }
    EvaluationDatabase db(kFile);
    db.mRunPid = run;
    db.mRing = static_cast<Ring*>(mapped);
    try {
        db.Serve(socket);
    } catch (const std::exception& e) {
        db.mRing->failed.store(1);
        SendMessage(socket, kFailed, e.what());
        return 1;
    }
    // The database is closed and the run told: nothing is left to tear down
    // that the run should wait for.
    ::_exit(0);
}

void EvaluationDatabase::Serve(int socket) {
    mSocket = socket;
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
    std::vector<char> in(kRingBytes);
    size_t begin = 0; // the bytes not handled yet are in [begin, end)
    size_t end = 0;
    auto last = std::chrono::steady_clock::now();
    while (!mServed) {
        if (end == in.size()) {
            if (begin > 0) {
                std::memmove(in.data(), in.data() + begin, end - begin);
                end -= begin;
                begin = 0;
            } else {
                in.resize(in.size() * 2); // a message longer than the buffer
            }
        }
        const uint64_t tail = mRing->tail.load(std::memory_order_relaxed);
        const uint64_t head = mRing->head.load(std::memory_order_acquire);
        if (head != tail) {
            const size_t n = std::min<size_t>(head - tail, in.size() - end);
            const size_t at = tail % kRingBytes;
            const size_t first = std::min(n, kRingBytes - at);
            std::memcpy(in.data() + end, RingBytes(mRing) + at, first);
            std::memcpy(in.data() + end + first, RingBytes(mRing), n - first);
            mRing->tail.store(tail + n, std::memory_order_release);
            end += n;
            MessageHeader header;
            while (!mServed && end - begin >= sizeof(header)) {
                std::memcpy(&header, in.data() + begin, sizeof(header));
                if (end - begin < sizeof(header) + header.size)
                    break;
                Handle(header.type, in.data() + begin + sizeof(header), header.size);
                begin += sizeof(header) + header.size;
            }
            if (begin == end)
                begin = end = 0;
            last = std::chrono::steady_clock::now();
            continue;
        }
        // The ring is empty. The socket brings wake-ups and, at its end, the
        // end of the run; the ring is always emptied first.
        char wake[64];
        const ssize_t got = ::recv(socket, wake, sizeof(wake), 0);
        if (got == 0) {
            // The run ended without finishing its segment. A run that was
            // killed leaves the database as the kill found it (the writer is
            // being killed too); one that stopped on a fatal error had it
            // commit what came, and the segment says how it ended.
            if (mSegment != 0 && ::getppid() == mRunPid) {
                Reopen();
                if (mInTransaction)
                    Commit();
                EndSegment("stopped by an error");
                Close();
            }
            return;
        }
        if (got > 0 || errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw std::runtime_error(
                "Evaluation database " + mFile +
                ": its writer cannot read from the run: " + std::strerror(errno) + ".");
        // Nothing came. While rows come, the writer looks again after kPoll;
        // once none has come for kIdleBeforeCheckpoint, it copies its log into
        // the database (a checkpoint, with its flushes to the disk: done
        // while the run computes, it costs the run nothing) and sleeps until
        // the run wakes it.
        if (std::chrono::steady_clock::now() - last < kIdleBeforeCheckpoint) {
            std::this_thread::sleep_for(kPoll);
        } else if (mUncopied) {
            Checkpoint(SQLITE_CHECKPOINT_PASSIVE);
            mUncopied = false;
        } else {
            mRing->asleep.store(1, std::memory_order_seq_cst);
            if (mRing->head.load(std::memory_order_seq_cst) == tail) {
                pollfd wait{socket, POLLIN, 0};
                ::poll(&wait, 1, -1);
            }
            mRing->asleep.store(0, std::memory_order_seq_cst);
        }
    }
}

void EvaluationDatabase::Handle(uint32_t type, const char* data, size_t size) {
    Reader in(data, size);
    switch (type) {
    case kSetupNew: {
        mFile = in.GetText();
        NewRun run;
        for (uint32_t n = in.Get<uint32_t>(); n > 0; --n) {
            std::string key = in.GetText();
            run.values.emplace_back(std::move(key), in.GetText());
        }
        for (uint32_t n = in.Get<uint32_t>(); n > 0; --n)
            run.config_files.push_back(in.GetText());
        run.seeds = in.GetSeeds();
        run.ndvs = in.Get<unsigned>();
        run.nobj = in.Get<unsigned>();
        run.nctr = in.Get<unsigned>();
        const std::string started_at = in.GetText();
        mSegmentStart = in.Get<double>();
        Open();
        CreateTables(run);
        InsertSegment(started_at);
        Exec("COMMIT");
        mUncopied = true;
        break;
    }
    case kSetupResume: {
        mFile = in.GetText();
        const unsigned ndvs = in.Get<unsigned>();
        const unsigned nobj = in.Get<unsigned>();
        const unsigned nctr = in.Get<unsigned>();
        mSegment = in.Get<long long>();
        mSegmentStart = in.Get<double>();
        Open();
        DefineEvaluations(ndvs, nobj, nctr, false);
        break;
    }
    case kRow: {
        const RowHeader row = in.Get<RowHeader>();
        const size_t count = size_t{row.ndvs} + row.nobj + row.nctr;
        if (size != sizeof(RowHeader) + count * sizeof(double))
            throw std::runtime_error("the evaluation database writer received a broken row");
        // The values may sit anywhere in the message: copied to be aligned.
        mValues.resize(count);
        if (count > 0)
            std::memcpy(mValues.data(), data + sizeof(RowHeader), count * sizeof(double));
        Reopen();
        if (!mInTransaction) {
            if (sqlite3_exec(mDb, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
                Fail(mDb, mFile, "cannot begin a transaction");
            mInTransaction = true;
        }
        WriteRow(row, mValues.data());
        break;
    }
    case kCommit:
        if (mInTransaction)
            Commit();
        break;
    case kOver: {
        // The run's final post-processing runs now: the segment's end goes
        // in as it stands, the log is copied into the database and cut to
        // nothing, and the database is closed meanwhile, so that finishing
        // has next to nothing left to do.
        mEndHow = in.GetText();
        mEndSeeds = in.GetSeeds();
        Reopen();
        if (mInTransaction)
            Commit();
        RecordEnd(mEndHow, mEndSeeds);
        Checkpoint(SQLITE_CHECKPOINT_TRUNCATE);
        Close();
        mUncopied = false;
        mEndRecorded = true;
        break;
    }
    case kFlush:
        if (mInTransaction)
            Commit();
        SendMessage(mSocket, kDone, "");
        break;
    case kFinish: {
        const std::string how = in.GetText();
        const std::vector<Seed> seeds = in.GetSeeds();
        // Unchanged since the end of the evaluations: nothing to write.
        const bool same = mEndRecorded && !mInTransaction && how == mEndHow &&
                          (seeds.empty() || seeds.size() == mEndSeeds.size()) &&
                          std::equal(seeds.begin(), seeds.end(), mEndSeeds.begin(),
                                     [](const Seed& a, const Seed& b) {
                                         return a.given == b.given && a.used == b.used;
                                     });
        if (!same) {
            Reopen();
            if (mInTransaction)
                Commit();
            RecordEnd(how, seeds);
        }
        Close();
        mServed = true;
        SendMessage(mSocket, kDone, "");
        break;
    }
    default:
        throw std::runtime_error("the evaluation database writer received an unknown message");
    }
}

void EvaluationDatabase::Commit() {
    // The segment's time goes in once a second at most: a killed run counts
    // its time to within a second, and the commits of a fast analyser's
    // batches do not each rewrite the segments table's page.
    const double now = SteadySeconds();
    if (now - mSecondsRecorded >= 1.0) {
        Statement seconds(mDb, mFile, "UPDATE segments SET seconds = ? WHERE segment = ?");
        sqlite3_bind_double(seconds.get(), 1, now - mSegmentStart);
        sqlite3_bind_int64(seconds.get(), 2, mSegment);
        sqlite3_step(seconds.get());
        mSecondsRecorded = now;
    }
    char* error = nullptr;
    if (sqlite3_exec(mDb, "COMMIT", nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        Fail("Evaluation database " + mFile + ": cannot commit: " + message + ".");
    }
    mInTransaction = false;
    mUncopied = true;
}

void EvaluationDatabase::Checkpoint(int mode) {
    // A reader (the sqlite3 command) must not hold the run up: without a
    // wait, a checkpoint it is in the way of copies what it can.
    sqlite3_busy_timeout(mDb, 0);
    sqlite3_wal_checkpoint_v2(mDb, nullptr, mode, nullptr, nullptr);
    sqlite3_busy_timeout(mDb, kBusyTimeoutMs);
}
void EvaluationDatabase::WriteRow(const RowHeader& row, const double* values) {
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
        Fail(mDb, mFile, "cannot record an evaluation");
}
