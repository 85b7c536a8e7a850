#ifndef VESK_EVAL_EVALUATIONDATABASE_H
#define VESK_EVAL_EVALUATIONDATABASE_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "eval/EvalResult.h"

struct sqlite3;
struct sqlite3_stmt;

// One completed evaluation as the database keeps it.
struct EvaluationRow {
    long long id = 0;
    unsigned player = 0;     // index of the player in a game, 0 otherwise
    unsigned batch = 0;      // the evaluation unit's batch (0 is the initial buffer)
    unsigned index = 0;      // position in the batch
    std::vector<double> dvs; // the design as the analyser received it
    std::vector<double> obj;
    std::vector<double> ctr;
    EvalOutcome outcome = EvalOutcome::Ok;
    int exit_status = -1;    // -1: no external command ran
    double seconds = 0.0;    // wall-clock time of the evaluation
    double time = 0.0;       // when it completed, in seconds since 1970 (UTC)
    long long replay_of = 0; // the row whose result was reused (a resumed run), or 0
};

// The evaluation database "evaluations.db" of a run: every completed
// evaluation, the seeds, the digests of the configuration files and the
// segments of the run (the first start and every resume). It lets a user
// watch a campaign with the sqlite3 command while it runs (WAL journal), and
// lets an interrupted run be resumed exactly: the resumed run replays the
// recorded run and answers every design already evaluated from here.
//
// Rows are written by a thread of the database's own, so that the run loses
// no time to it; they are committed at the end of every batch and at once
// after any evaluation that took 10 ms or more, so that a simulation's result
// is safe as soon as it is known. Every commit is atomic: a kill at any moment
// leaves a consistent database.
class EvaluationDatabase {
public:
    static constexpr const char* kFile = "evaluations.db";
    // An evaluation this slow is committed at once: its result must not wait
    // for the rest of its batch.
    static constexpr double kSlowEvaluation = 0.01;
    // The writer copies its log into the database when no row has come for
    // this long: the run is busy with something else.
    static constexpr std::chrono::milliseconds kIdleBeforeCheckpoint{5};

    // A database for a new run. A database left by an earlier run is kept
    // under the first free name evaluations.N.db, and the user is told.
    static std::unique_ptr<EvaluationDatabase> CreateNew();
    // The database of the run to resume; stops the program when there is
    // none or it does not hold a run.
    static std::unique_ptr<EvaluationDatabase> OpenForResume();

    EvaluationDatabase(const EvaluationDatabase&) = delete;
    EvaluationDatabase& operator=(const EvaluationDatabase&) = delete;
    // Commits what is queued and closes.
    ~EvaluationDatabase();

    // The description of the run, as key and value.
    void SetRunValue(const std::string& key, const std::string& value);
    std::string GetRunValue(const std::string& key) const;
    // The seeding of every random unit, in order.
    struct Seed {
        unsigned given = 0;
        unsigned used = 0;
    };
    void SetSeeds(const std::vector<Seed>& seeds);
    std::vector<Seed> GetSeeds() const;
    // SHA-256 and size of each configuration file read.
    struct ConfigFile {
        std::string name;
        std::string sha256;
        long long bytes = 0;
    };
    void SetConfigFiles(const std::vector<ConfigFile>& files);
    std::vector<ConfigFile> GetConfigFiles() const;
    // The digest of a file as SetConfigFiles records it; empty when it cannot
    // be read.
    static ConfigFile Digest(const std::string& file);

    // Creates the evaluations table for designs of up to ndvs variables, nobj
    // objectives and nctr constraints (a new run), or checks that the
    // recorded table can hold them (a resumed run).
    void PrepareEvaluations(unsigned ndvs, unsigned nobj, unsigned nctr);
    // Reads every recorded evaluation for replay.
    void LoadReplay();
    // The recorded result of this evaluation: the row of the same player,
    // batch and index when it holds the same design, otherwise a row of the
    // same player with a bit-identical design; null when the design was never
    // evaluated. Safe from several threads once LoadReplay has run.
    const EvaluationRow* FindReplay(unsigned player, unsigned batch, unsigned index,
                                    const std::vector<double>& design) const;
    // True when this evaluation is the very row that FindReplay returned (it
    // is already recorded and needs no new row).
    static bool SamePosition(const EvaluationRow& row, unsigned player, unsigned batch,
                             unsigned index) {
        return row.player == player && row.batch == batch && row.index == index;
    }

    // Queues a completed evaluation (its values are copied); returns at once.
    // Any thread.
    void Record(const EvaluationRow& row);
    // Marks the end of a batch: what is queued is committed.
    void EndBatch();
    // Waits until everything queued is committed.
    void Flush();

    // The segments of the run: a new one starts with every invocation.
    void BeginSegment();
    // Commits everything queued, stops the writer and records how the
    // segment ended ("finished", "interrupted by SIGTERM"). A database
    // destroyed without it records "stopped by an error".
    void Finish(const std::string& how);
    // Wall-clock seconds of the earlier segments together.
    double PreviousSegmentsSeconds() const;
    long long RowCount() const;
    const std::string& GetFile() const { return mFile; }

private:
    explicit EvaluationDatabase(const std::string& file);
    void Exec(const std::string& sql) const;
    void StopWriter();
    void Writer();
    // A queued evaluation: the row without its values, which wait in one
    // flat buffer (no allocation per row on the caller's side).
    struct QueuedRow {
        unsigned player;
        unsigned batch;
        unsigned index;
        EvalOutcome outcome;
        int exit_status;
        double seconds;
        double time;
        long long replay_of;
        unsigned ndvs;
        unsigned nobj;
        unsigned nctr;
    };
    void WriteRow(const QueuedRow& row, const double* values);
    void Commit();
    std::vector<std::string> Columns(const char* prefix, unsigned n) const;

    std::string mFile;
    // The connection is opened without SQLite's own locking: whoever uses it
    // (the writer thread, or a caller while the writer may run) holds this.
    mutable std::mutex mDbMutex;
    sqlite3* mDb = nullptr;
    sqlite3_stmt* mInsert = nullptr;
    unsigned mNdvs = 0;
    unsigned mNobj = 0;
    unsigned mNctr = 0;
    long long mSegment = 0;
    double mSegmentStart = 0.0; // steady-clock seconds
    bool mFinished = false;
    bool mSetupOpen = false; // a new database's first transaction is still open

    // The writer thread and its queue.
    std::thread mThread;
    std::mutex mMutex;
    std::condition_variable mWake;
    std::condition_variable mDone;
    std::vector<QueuedRow> mQueue;
    std::vector<double> mQueueValues;
    bool mBatchEnded = false;
    bool mStop = false;
    unsigned long long mQueued = 0;    // rows handed to Record
    unsigned long long mCommitted = 0; // rows committed
    bool mInTransaction = false;
    std::string mWriterError;

    // Replay: every recorded row, found by position and by design.
    std::vector<EvaluationRow> mRows;
    struct DesignKey {
        unsigned player;
        std::vector<uint64_t> bits;
        bool operator==(const DesignKey& other) const {
            return player == other.player && bits == other.bits;
        }
    };
    struct DesignHash {
        size_t operator()(const DesignKey& key) const;
    };
    std::unordered_map<DesignKey, size_t, DesignHash> mByDesign;
    std::unordered_map<uint64_t, size_t> mByPosition;
};

// The database of this run (null with --no-db or outside a run).
EvaluationDatabase* GetEvaluationDatabase();
void SetEvaluationDatabase(std::unique_ptr<EvaluationDatabase> db);

#endif
