// The evaluation database: exact round trips of the recorded values, the
// replay look-ups of a resumed run, keeping an earlier database, and the
// refusals of a resume without a recorded run.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <sqlite3.h>

#include "eval/EvaluationDatabase.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

EvaluationRow Row(unsigned player, unsigned batch, unsigned index, std::vector<double> dvs,
                  std::vector<double> obj, std::vector<double> ctr) {
    EvaluationRow row;
    row.player = player;
    row.batch = batch;
    row.index = index;
    row.dvs = std::move(dvs);
    row.obj = std::move(obj);
    row.ctr = std::move(ctr);
    return row;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0)
            return false;
    return true;
}

TEST(EvaluationDatabase, ValuesReadBackBitForBitAndReplayFindsThemByPositionOrDesign) {
    // The writer is a program's writer mode; this test program has none.
    EvaluationDatabase::SetWriterProgram(VESK_VESKV2_PATH);
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const double kWorst = std::numeric_limits<double>::max();
    // -0.0 would come back as 0 from a column of REAL type; the smallest
    // subnormal and the penalty values must survive too.
    const std::vector<double> design = {-0.0, 4.9e-324, 0.1 + 0.2, -1234.5678e-200};
    {
        EvaluationDatabase::NewRun run;
        run.ndvs = 4;
        run.nobj = 2;
        run.nctr = 1;
        auto db = EvaluationDatabase::CreateNew(run);
        EvaluationRow ok = Row(0, 3, 7, design, {1.0 / 3.0, -2.5e300}, {0.0});
        ok.exit_status = 3;
        ok.seconds = 0.25;
        db->Record(ok);
        EvaluationRow failed = Row(1, 0, 2, {1, 2}, {kWorst}, {});
        failed.outcome = EvalOutcome::TimedOut;
        db->Record(failed);
        db->Flush();
        // A reader of its own (the sqlite3 command) sees committed rows
        // while the run goes on.
        sqlite3* reader = nullptr;
        ASSERT_EQ(sqlite3_open(EvaluationDatabase::kFile, &reader), SQLITE_OK);
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(reader, "SELECT count(*) FROM evaluations", -1, &count, nullptr);
        ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(count, 0), 2);
        sqlite3_finalize(count);
        sqlite3_close(reader);
        db->Finish("finished", {});
    }
    auto db = EvaluationDatabase::OpenForResume();
    db->PrepareEvaluations(4, 2, 1);
    db->LoadReplay();
    const EvaluationRow* row = db->FindReplay(0, 3, 7, design);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(EvaluationDatabase::SamePosition(*row, 0, 3, 7));
    EXPECT_TRUE(SameBits(row->dvs, design));
    EXPECT_TRUE(SameBits(row->obj, {1.0 / 3.0, -2.5e300}));
    EXPECT_TRUE(SameBits(row->ctr, {0.0}));
    EXPECT_EQ(row->exit_status, 3);
    EXPECT_EQ(row->seconds, 0.25);
    // The same design at another position is found by its bits; another
    // player's, or a design that differs in the last bit, is not.
    const EvaluationRow* moved = db->FindReplay(0, 9, 1, design);
    ASSERT_NE(moved, nullptr);
    EXPECT_FALSE(EvaluationDatabase::SamePosition(*moved, 0, 9, 1));
    EXPECT_EQ(db->FindReplay(1, 3, 7, design), nullptr);
    std::vector<double> other = design;
    other[2] = std::nextafter(other[2], 1.0);
    EXPECT_EQ(db->FindReplay(0, 3, 7, other), nullptr);
    // A narrower player's row reads back with its own lengths.
    const EvaluationRow* narrow = db->FindReplay(1, 0, 2, {1, 2});
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(narrow->obj, std::vector<double>{kWorst});
    EXPECT_TRUE(narrow->ctr.empty());
    EXPECT_EQ(narrow->outcome, EvalOutcome::TimedOut);
    EXPECT_EQ(narrow->exit_status, -1);
}

TEST(EvaluationDatabase, ANewRunKeepsTheEarlierDatabasesUnderNewNames) {
    EvaluationDatabase::SetWriterProgram(VESK_VESKV2_PATH);
    TempDir dir;
    ScopedCwd cwd(dir.path());
    for (int run = 0; run < 3; ++run) {
        const std::string out = Captured([] { EvaluationDatabase::CreateNew({}); });
        if (run > 0) {
            EXPECT_NE(out.find("kept as evaluations." + std::to_string(run) + ".db."),
                      std::string::npos)
                << out;
        }
    }
    EXPECT_TRUE(FileExists("evaluations.db"));
    EXPECT_TRUE(FileExists("evaluations.1.db"));
    EXPECT_TRUE(FileExists("evaluations.2.db"));
    // Each went away without Finish, as a run that stops on a fatal error.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open("evaluations.1.db", &db), SQLITE_OK);
    sqlite3_stmt* ended = nullptr;
    sqlite3_prepare_v2(db, "SELECT ended FROM segments", -1, &ended, nullptr);
    ASSERT_EQ(sqlite3_step(ended), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(ended, 0)),
                 "stopped by an error");
    sqlite3_finalize(ended);
    sqlite3_close(db);
}

TEST(EvaluationDatabase, MoreThanTheSharedRingHoldsArrivesWholeAndInOrder) {
    // A 3 MB description and a 7 MB batch: both larger than the ring the
    // rows travel through, so they go over in parts.
    EvaluationDatabase::SetWriterProgram(VESK_VESKV2_PATH);
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const std::string big(3 << 20, 'x');
    const int rows = 20000;
    {
        EvaluationDatabase::NewRun run;
        run.values = {{"big", big}};
        run.ndvs = 30;
        run.nobj = 2;
        auto db = EvaluationDatabase::CreateNew(run);
        for (int i = 0; i < rows; ++i)
            db->Record(Row(0, 1, static_cast<unsigned>(i), std::vector<double>(30, i + 0.5),
                           {1.0 * i, -1.0 * i}, {}));
        db->Finish("finished", {});
    }
    auto db = EvaluationDatabase::OpenForResume();
    EXPECT_EQ(db->GetRunValue("big"), big);
    EXPECT_EQ(db->RowCount(), rows);
    db->PrepareEvaluations(30, 2, 0);
    db->LoadReplay();
    const EvaluationRow* last =
        db->FindReplay(0, 1, rows - 1, std::vector<double>(30, rows - 1 + 0.5));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->id, rows);
    EXPECT_EQ(last->obj, (std::vector<double>{rows - 1.0, 1.0 - rows}));
}

TEST(EvaluationDatabase, AWriterThatEndsStopsTheRunAtTheEndOfTheBatch) {
    // A program that is no writer ends at once, as a writer that failed.
    EvaluationDatabase::SetWriterProgram("/bin/true");
    TempDir dir;
    ScopedCwd cwd(dir.path());
    auto db = EvaluationDatabase::CreateNew({});
    db->Record(Row(0, 0, 0, {1}, {2}, {}));
    EXPECT_NE(FatalOutput([&] {
                  db->EndBatch();
                  db->Flush();
              }).find("Evaluation database evaluations.db: its writer process ended unexpectedly."),
              std::string::npos);
    db.reset();
    EvaluationDatabase::SetWriterProgram(VESK_VESKV2_PATH);
}

TEST(EvaluationDatabase, AWriterThatCannotStartStopsTheRunAtOnce) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    EvaluationDatabase::SetWriterProgram("/nonexistent/vesk-db-writer");
    EXPECT_NE(FatalOutput([] { EvaluationDatabase::CreateNew({}); })
                  .find("Evaluation database evaluations.db: cannot start its writer "
                        "(/nonexistent/vesk-db-writer): No such file or directory."),
              std::string::npos);
    EvaluationDatabase::SetWriterProgram("");
    EXPECT_NE(FatalOutput([] {
                  EvaluationDatabase::CreateNew({});
              }).find("this program cannot start its writer"),
              std::string::npos);
    EvaluationDatabase::SetWriterProgram(VESK_VESKV2_PATH);
}

TEST(EvaluationDatabase, AResumeNeedsARecordedRun) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    EXPECT_NE(FatalOutput([] {
                  EvaluationDatabase::OpenForResume();
              }).find("Cannot resume: this folder holds no evaluation database"),
              std::string::npos);
    WriteFile("evaluations.db", "");
    EXPECT_NE(FatalOutput([] {
                  EvaluationDatabase::OpenForResume();
              }).find("does not hold a recorded run"),
              std::string::npos);
}

TEST(EvaluationDatabase, DigestIsTheSha256OfTheFile) {
    TempDir dir;
    WriteFile(dir.file("abc"), "abc");
    const EvaluationDatabase::ConfigFile digest = EvaluationDatabase::Digest(dir.file("abc"));
    EXPECT_EQ(digest.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digest.bytes, 3);
    EXPECT_EQ(EvaluationDatabase::Digest(dir.file("missing")).sha256, "");
}

} // namespace
