// The day's log file held by another instance of the program at the same time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fakes/temp_folder.h"
#include "platform/native_files.h"
#include "platform/system_clock.h"
#include "support/activity_log.h"

namespace kovrisk {
namespace {

using testing::readFile;
using testing::TempFolder;

// Holds the day's file locked from another process for `holdMs`; returns its pid once locked.
pid_t holdLocked(const NativePath& file, int holdMs) {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0666);
        ::flock(fd, LOCK_EX);
        const char go = 1;
        (void)::write(ready[1], &go, 1);
        ::usleep(static_cast<useconds_t>(holdMs) * 1000);
        ::_exit(0);
    }
    char go = 0;
    (void)::read(ready[0], &go, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return child;
}

class ActivityLogContention : public ::testing::Test {
protected:
    ActivityLogContention() { files.createDirectories(log.logFolder()); }

    TempFolder temp;
    SystemClock clock;
    NativeFiles files;
    ActivityLog log{temp.path(), clock, files};
    const NativePath file = log.fileFor(clock.now());
};

TEST_F(ActivityLogContention, WaitsForAnotherInstanceThatHoldsTheFileForAMoment) {
    const pid_t holder = holdLocked(file, 200);
    log.LogWrite("kept");
    ::waitpid(holder, nullptr, 0);
    EXPECT_NE(readFile(file).find(",(Kovrisk),kept\r\n"), std::string::npos);
}

TEST_F(ActivityLogContention, GivesUpQuietlyWhenTheFileStaysHeld) {
    const pid_t holder = holdLocked(file, 4000);
    log.LogWrite("lost");
    const std::string contents = readFile(file);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(contents, "");
}

}  // namespace
}  // namespace kovrisk
