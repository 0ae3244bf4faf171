#include "support/activity_log.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/temp_folder.h"
#include "platform/native_files.h"

namespace kovrisk {
namespace {

using testing::FakeClock;
using testing::readFile;
using testing::TempFolder;

class ActivityLogTest : public ::testing::Test {
protected:
    TempFolder temp;
    FakeClock clock;
    NativeFiles files;
    NativePath dataFolder = temp / "deep" / "Kovrisk";
    ActivityLog log{dataFolder, clock, files};

    std::string today() { return readFile(dataFolder / "syslog" / "20261206.txt"); }
};

TEST_F(ActivityLogTest, FirstLineCreatesTheFoldersAndTheDaysFile) {
    log.LogWrite("fncXlsOpenChk():TRY OPEN");
    EXPECT_EQ(today(), "2026/12/06,22:48:05.007,(Kovrisk),fncXlsOpenChk():TRY OPEN\r\n");
}

TEST_F(ActivityLogTest, LaterLinesAppend) {
    log.LogWrite("one");
    ActivityLog second(dataFolder, clock, files);
    clock.time.millisecond = 0;
    second.LogWrite("two");
    EXPECT_EQ(today(),
              "2026/12/06,22:48:05.007,(Kovrisk),one\r\n"
              "2026/12/06,22:48:05.000,(Kovrisk),two\r\n");
}

TEST_F(ActivityLogTest, LineBuiltBeforeMidnightGoesIntoTheNewDaysFile) {
    clock.queuedTimes = {LocalTime{2026, 12, 31, 23, 59, 59, 999}};
    clock.time = LocalTime{2027, 1, 1, 0, 0, 0, 1};
    log.LogWrite("late");
    EXPECT_EQ(readFile(dataFolder / "syslog" / "20270101.txt"),
              "2026/12/31,23:59:59.999,(Kovrisk),late\r\n");
}

TEST(ActivityLogFrame, TrimsCutsAndEnds) {
    const LocalTime time{2026, 1, 2, 3, 4, 5, 0};
    const std::string head = "2026/01/02,03:04:05.000,(Kovrisk),";
    EXPECT_EQ(ActivityLog::frame("", time), "2026/01/02,03:04:05.000,(Kovrisk),\r\n");
    EXPECT_EQ(ActivityLog::frame("text  \r\n", time), head + "text\r\n");
    // Control bytes inside the message never end a line: a logged path cannot forge one.
    EXPECT_EQ(ActivityLog::frame("a\r\nb", time), head + "a??b\r\n");
    EXPECT_EQ(ActivityLog::frame("/w/x\r\n2026/01/02,03:04:05.000,(Kovrisk),OK\t\x1b.xls\n", time),
              head + "/w/x??2026/01/02,03:04:05.000,(Kovrisk),OK??.xls\r\n");
    EXPECT_EQ(ActivityLog::frame(std::string("ab\0cd", 5), time), head + "ab\r\n");
    const std::string fits(512 - head.size(), 'x');
    EXPECT_EQ(ActivityLog::frame(fits, time), head + fits + "\r\n");
    EXPECT_EQ(ActivityLog::frame(fits + "yz", time), head + fits + "\r\n");
    // The cut counts bytes and may split a double-byte character.
    const std::string split = std::string(511 - head.size(), 'x') + "\x95\x5C";
    EXPECT_EQ(ActivityLog::frame(split, time), head + split.substr(0, split.size() - 1) + "\r\n");
}

TEST(ActivityLogFailure, UnwritableFolderLosesTheLineWithoutError) {
    TempFolder temp;
    FakeClock clock;
    NativeFiles files;
    testing::writeFile(temp / "Kovrisk", "a file where the data folder should be");
    ActivityLog log(temp / "Kovrisk", clock, files);
    log.LogWrite("nowhere");
    EXPECT_FALSE(files.isDirectory(temp / "Kovrisk" / "syslog"));
}

}  // namespace
}  // namespace kovrisk
