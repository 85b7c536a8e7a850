// Tests of the numeric helpers and the fatal-error and warning paths of UTILS.

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "model/UTILS.h"
#include "support/TestSupport.h"

namespace {

std::string Hms(double seconds) {
    std::ostringstream os;
    UTILS::out_seconds_in_hms(os, seconds);
    return os.str();
}

TEST(UTILS, SecondsInHoursMinutesSeconds) {
    EXPECT_EQ(Hms(3725.9), "1 hours 2 minutes 5 seconds.");
    EXPECT_EQ(Hms(0.0), "0 hours 0 minutes 0 seconds.");
    EXPECT_EQ(Hms(59.999), "0 hours 0 minutes 59 seconds.");
    EXPECT_EQ(Hms(60.0), "0 hours 1 minutes 0 seconds.");
    EXPECT_EQ(Hms(3599.0), "0 hours 59 minutes 59 seconds.");
    EXPECT_EQ(Hms(3600.0), "1 hours 0 minutes 0 seconds.");
    EXPECT_EQ(Hms(90061.0), "25 hours 1 minutes 1 seconds.");
}

TEST(UTILS, SecondsInHmsWritesNoLineBreakAndReturnsTheStream) {
    std::ostringstream os;
    UTILS::out_seconds_in_hms(os, 61.0) << "|";
    EXPECT_EQ(os.str(), "0 hours 1 minutes 1 seconds.|");
}

TEST(UTILS, SecondsInHmsOfANegativeOrUndefinedDurationIsZero) {
    // A clock set back during a run must not print billions of hours.
    EXPECT_EQ(Hms(-5.0), "0 hours 0 minutes 0 seconds.");
    EXPECT_EQ(Hms(std::numeric_limits<double>::quiet_NaN()), "0 hours 0 minutes 0 seconds.");
}

// A value restricted to [1, 2]: the value it becomes, and whether it is
// reported as on a bound.
struct Restricted {
    const char* name;
    double x;
    double expected;
    bool on_bound;
};

class UTILSRestrictToBound : public testing::TestWithParam<Restricted> {};

TEST_P(UTILSRestrictToBound, ClipsAndReportsValuesOnTheBounds) {
    double x = GetParam().x;
    EXPECT_EQ(UTILS::RestrictToBound(x, 1.0, 2.0), GetParam().on_bound);
    EXPECT_EQ(x, GetParam().expected);
}

const Restricted kRestricted[] = {
    {"OnTheLowerBound", 1.0, 1.0, true}, {"OnTheUpperBound", 2.0, 2.0, true},
    {"BelowTheRange", 0.5, 1.0, true},   {"AboveTheRange", 7.0, 2.0, true},
    {"WithinTheRange", 1.5, 1.5, false},
};
INSTANTIATE_TEST_SUITE_P(Values, UTILSRestrictToBound, testing::ValuesIn(kRestricted),
                         testsupport::RowName());

TEST(UTILS, RestrictToBoundOnVectorsUsesEachElementsOwnBounds) {
    std::vector<double> x = {-1.0, 0.5, 3.0, 10.0};
    const std::vector<double> lower = {0.0, 0.0, 3.0, -5.0};
    const std::vector<double> upper = {1.0, 1.0, 4.0, 5.0};
    const std::vector<bool> flags = UTILS::RestrictToBound(x, lower, upper);
    EXPECT_EQ(x, (std::vector<double>{0.0, 0.5, 3.0, 5.0}));
    EXPECT_EQ(flags, (std::vector<bool>{true, false, true, true}));
}

TEST(UTILS, StopPrintsEveryLineAndThrowsWhenSwitched) {
    testsupport::FatalThrows guard;
    testing::internal::CaptureStdout();
    std::string what;
    try {
        UTILS::Stop({"first line", "", "Program stopped!"});
    } catch (const UTILS::FatalError& e) {
        what = e.what();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "first line\n\nProgram stopped!\n");
    EXPECT_EQ(what, out);
}

TEST(UTILSDeathTest, StopEndsTheProcessWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            UTILS::Stop({"Something failed", "Program stopped!"});
        },
        ::testing::ExitedWithCode(1), "Something failed\nProgram stopped!\n");
}

TEST(UTILS, AWriteFailureStopsAtOnceOrOnceTheThreadsHaveJoined) {
    errno = ENOSPC;
    std::string out = testsupport::FatalOutput([] { UTILS::WriteFailed("a.out"); });
    EXPECT_NE(out.find("Could not write a.out: No space left on device."), std::string::npos);
    // A worker thread only records the failure; the first one is reported.
    out = testsupport::FatalOutput([] {
#pragma omp parallel num_threads(2)
        {
            errno = EROFS;
            UTILS::WriteFailed("b.out");
        }
        UTILS::CheckWriteFailures();
    });
    EXPECT_EQ(testsupport::CountOccurrences(out, "Could not write b.out: Read-only file system."),
              1)
        << out;
    testing::internal::CaptureStdout();
    UTILS::CheckWriteFailures(); // nothing left over
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(UTILS, CheckWritableLeavesFilesAsTheyWereAndNamesTheFirstItCannotWrite) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("kept.out"), "data");
    UTILS::CheckWritable({dir.file("kept.out"), dir.file("new.out")});
    EXPECT_EQ(testsupport::ReadFile(dir.file("kept.out")), "data");
    EXPECT_FALSE(testsupport::FileExists(dir.file("new.out")));
    const std::string out = testsupport::FatalOutput([&] {
        UTILS::CheckWritable({dir.file("kept.out"), dir.file("missing/x.out")});
    });
    EXPECT_NE(out.find("Cannot write the result file " + dir.file("missing/x.out") +
                       ": No such file or directory."),
              std::string::npos)
        << out;
}

} // namespace
