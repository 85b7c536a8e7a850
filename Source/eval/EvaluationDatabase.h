#ifndef VESK_EVAL_EVALUATIONDATABASE_H
#define VESK_EVAL_EVALUATIONDATABASE_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
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
// The database is written by a process of its own, the writer: this program
// started again (the same executable) in writer mode, with a socket to the
// run. The run only appends rows to a buffer and hands each batch over in one
// write; creating the database, storing rows and flushing the disk all happen
// in the writer, on another processor. A process rather than a thread keeps
// the run single-threaded when it evaluates on one processor, so that the
// memory allocator and shared pointers keep their lock-free single-threaded
// paths. Rows are committed at the end of every batch and at once after any
// evaluation that took 10 ms or more, so that a simulation's result is safe as
// soon as it is known. Every commit is atomic: a kill at any moment leaves a
// consistent database, and the writer dies with the run.
class EvaluationDatabase {
public:
    static constexpr const char* kFile = "evaluations.db";
    // An evaluation this slow is committed at once: its result must not wait
    // for the rest of its batch.
    static constexpr double kSlowEvaluation = 0.01;
    // The writer copies its log into the database when no row has come for
    // this long: the run is busy with something else.
    static constexpr std::chrono::milliseconds kIdleBeforeCheckpoint{5};
    // While rows come, the writer looks for them this often by itself, so that
    // handing a batch over wakes nobody (a wake-up costs the run a system
    // call and an interrupt of the other processor).
    static constexpr std::chrono::milliseconds kPoll{2};
    // The run hands rows over before the batch ends once this many bytes wait.
    static constexpr size_t kChunkBytes = 1 << 16;
    // How long SQLite waits for a reader in its way.
    static constexpr int kBusyTimeoutMs = 10000;

    // The seed given to a random unit (0 or 1: from the clock) and the seed
    // it used.
    struct Seed {
        unsigned given = 0;
        unsigned used = 0;
    };
    // What a new run records before its first evaluation.
    struct NewRun {
        std::vector<std::pair<std::string, std::string>> values; // the run table
        std::vector<std::string> config_files;                   // digested by the writer
        std::vector<Seed> seeds;
        // The widest design, objective and constraint vectors to hold.
        unsigned ndvs = 0;
        unsigned nobj = 0;
        unsigned nctr = 0;
    };
    // The database of a new run. A database left by an earlier run is kept
    // under the first free name evaluations.N.db, and the user is told. The
    // writer creates, describes and commits the database while the run
    // starts; a database that cannot be created stops the run at the end of
    // its first batch (EndBatch), as any failed write does.
    static std::unique_ptr<EvaluationDatabase> CreateNew(const NewRun& run);
    // The database of the run to resume, open in this process for reading
    // until BeginSegment; stops the program when there is none or it does not
    // hold a run.
    static std::unique_ptr<EvaluationDatabase> OpenForResume();

    // The writer's side. A program that keeps evaluation databases calls
    // WriterMain first thing in main(): in a writer process it serves the
    // database and returns the exit status; elsewhere it names the program
    // itself as its writer and returns -1 at once.
    static int WriterMain();
    // Names the executable started as the writer (tests: a program that
    // serves as one).
    static void SetWriterProgram(const std::string& path);

    EvaluationDatabase(const EvaluationDatabase&) = delete;
    EvaluationDatabase& operator=(const EvaluationDatabase&) = delete;
    // Hands over what is buffered and waits for the writer to commit and
    // close (recording "stopped by an error" unless Finish ran).
    ~EvaluationDatabase();

    // Reading a database opened for resume (before BeginSegment).
    std::string GetRunValue(const std::string& key) const;
    std::vector<Seed> GetSeeds() const;
    // SHA-256 and size of each configuration file read.
    struct ConfigFile {
        std::string name;
        std::string sha256;
        long long bytes = 0;
    };
    std::vector<ConfigFile> GetConfigFiles() const;
    // The digest of a file as a new run records it; empty when it cannot be
    // read.
    static ConfigFile Digest(const std::string& file);
    // Checks that the recorded evaluations can hold designs of up to ndvs
    // variables, nobj objectives and nctr constraints.
    void PrepareEvaluations(unsigned ndvs, unsigned nobj, unsigned nctr);
    // Reads every recorded evaluation for replay.
    void LoadReplay();
    // Wall-clock seconds of the earlier segments together.
    double PreviousSegmentsSeconds() const;
    long long RowCount() const;
    // The seeding of every random unit, in order.
    void SetSeeds(const std::vector<Seed>& seeds);
    // Starts the resumed run's segment and its writer; the database is closed
    // in this process.
    void BeginSegment();

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

    // Queues a completed evaluation (its values are copied); returns at once
    // but for a slow one, which is handed over at once. Any thread.
    void Record(const EvaluationRow& row);
    // The same from an evaluation's parts (time: when it ended, seconds since
    // 1970), copied straight to the buffer.
    void Record(unsigned player, unsigned batch, unsigned index, const std::vector<double>& dvs,
                const EvalResult& result, double time);
    // Marks the end of a batch: what is queued is handed over (within kPoll)
    // and committed. Stops the program when the writer failed.
    void EndBatch();
    // The run evaluates nothing more: what is queued is committed, the
    // segment's end is recorded as it stands (how and the seeds, as for
    // Finish), and the database is copied out of its log and closed while the
    // run post-processes. Finish then only records what changed since.
    void EndOfEvaluations(const std::string& how, const std::vector<Seed>& seeds);
    // Waits until everything queued is committed.
    void Flush();
    // Commits everything queued, records how the segment ended ("finished",
    // "interrupted by SIGTERM") and the seeds as they stand at the end (none:
    // unchanged; a unit seeded from the clock may seed itself late), closes
    // the database and waits for the writer to end.
    void Finish(const std::string& how, const std::vector<Seed>& seeds);
    const std::string& GetFile() const { return mFile; }
    // How the run ends as it stands ("finished", "interrupted by SIGTERM"),
    // and the seeds it has used so far.
    static std::string HowTheRunEnds();
    static std::vector<Seed> SeedsSoFar();

    // The memory the run and its writer share (defined with the writer).
    struct Ring;

private:
    explicit EvaluationDatabase(const std::string& file);
    // Opens the connection (a new file when there is none) with the settings
    // of every run.
    void Open();
    void Close();
    // Opens the database again after EndOfEvaluations closed it.
    void Reopen();
    void Exec(const std::string& sql) const;
    void CreateTables(const NewRun& run);
    void WriteSeeds(const std::vector<Seed>& seeds);
    void DefineEvaluations(unsigned ndvs, unsigned nobj, unsigned nctr, bool create);
    void InsertSegment(const std::string& started_at);
    void EndSegment(const std::string& how);
    // Records the segment's end and the seeds (none: unchanged) in one commit.
    void RecordEnd(const std::string& how, const std::vector<Seed>& seeds);
    std::vector<std::string> Columns(const char* prefix, unsigned n) const;

    // A recorded evaluation as it travels to the writer: this header, then
    // its values.
    struct RowHeader {
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

    // The run's side: the writer process and the socket to it.
    void StartWriter(uint32_t type, const std::vector<char>& setup);
    // Appends a message to the buffer (mMutex held).
    void Append(uint32_t type, const void* data, size_t size);
    void AppendRow(const RowHeader& header, const std::vector<double>& dvs,
                   const std::vector<double>& obj, const std::vector<double>& ctr);
    // Hands the buffer over (mMutex held): all of it when wait, else what the
    // ring takes now. False when the writer is gone.
    bool SendLocked(bool wait);
    // False (and the reason in mWriterError) once the writer has ended.
    bool WriterAlive();
    // The ring (mMutex held): copies in at mWritten, the room left, and
    // showing the writer what was copied in.
    void RingPut(const void* data, size_t size);
    size_t RingRoom() const;
    void Publish();
    // Waits for the writer's answer to a request; the writer's error, or
    // empty.
    std::string Await();
    // Stops the program with the writer's failure, once it is known.
    void StopOnFailure();
    void EndWriter();

    // The writer's side.
    void Serve(int socket);
    void Handle(uint32_t type, const char* data, size_t size);
    void WriteRow(const RowHeader& row, const double* values);
    void Commit();
    void Checkpoint(int mode);

    std::string mFile;
    sqlite3* mDb = nullptr;
    sqlite3_stmt* mInsert = nullptr;
    unsigned mNdvs = 0;
    unsigned mNobj = 0;
    unsigned mNctr = 0;
    long long mSegment = 0;
    double mSegmentStart = 0.0; // steady-clock seconds, the same in both processes

    // The run's side.
    int mWriterPid = -1;
    int mSocket = -1;
    Ring* mRing = nullptr; // shared with the writer
    uint64_t mWritten = 0; // bytes copied into the ring (the head once published)
    std::mutex mMutex;     // guards the buffer and the socket's sending side
    std::vector<char> mOut;
    std::chrono::steady_clock::time_point mLastCheck;
    std::string mWriterError;

    // The writer's side.
    int mRunPid = -1;              // the run it serves
    double mSecondsRecorded = 0.0; // when the segment's time was last written
    bool mInTransaction = false;
    bool mUncopied = false; // commits not yet copied from the log into the database
    bool mServed = false;   // Finish was served: the writer ends
    // The end recorded by EndOfEvaluations.
    bool mEndRecorded = false;
    std::string mEndHow;
    std::vector<Seed> mEndSeeds;
    std::vector<double> mValues; // a row's values, aligned

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
