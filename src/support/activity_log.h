// The activity log: one line per event, appended to one file per local calendar day below the
// data folder.  Writing is best effort; the caller never learns of a lost line.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/files.h"

namespace kovrisk {

class ActivityLog {
public:
    // `dataFolder` is the program's data folder; the log folder is "syslog" below it.
    ActivityLog(NativePath dataFolder, Clock& clock, Files& files);

    // Appends one line with the date and time to today's log file.
    void LogWrite(std::string_view message);

    // The line as it is written for `message` at `time`, CR LF included.
    static std::string frame(std::string_view message, const LocalTime& time);
    NativePath logFolder() const;
    NativePath fileFor(const LocalTime& time) const;

private:
    NativePath dataFolder_;
    Clock& clock_;
    Files& files_;
};

}  // namespace kovrisk
