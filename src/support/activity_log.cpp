#include "support/activity_log.h"

#include <algorithm>
#include <cstdio>

#include "support/shift_jis.h"

namespace kovrisk {

namespace {

constexpr std::size_t kLineLimit = 512;
// What a control byte inside a message is written as.
constexpr char kControlStandIn = '?';
// Another instance holds the day's file only while it writes one line; wait for it this long.
constexpr auto kRetryPause = std::chrono::milliseconds(20);
constexpr int kRetries = 50;

}  // namespace

ActivityLog::ActivityLog(NativePath dataFolder, Clock& clock, Files& files)
    : dataFolder_(std::move(dataFolder)), clock_(clock), files_(files) {}

std::string ActivityLog::frame(std::string_view message, const LocalTime& time) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d,%02d:%02d:%02d.%.3d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second, time.millisecond);
    std::string line = stamp;
    line += ",(Kovrisk),";
    line += message;
    line = trimControl(line);
    line.resize(std::min({line.find('\0'), line.size(), kLineLimit}));
    // A control byte inside the message (a CR or LF in a path, say) must never start a line of
    // its own that would read as one the program wrote.
    std::replace_if(
        line.begin(), line.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x20; },
        kControlStandIn);
    line += "\r\n";
    return line;
}

NativePath ActivityLog::logFolder() const {
    return dataFolder_ / "syslog";
}

NativePath ActivityLog::fileFor(const LocalTime& time) const {
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.txt", time.year, time.month, time.day);
    return logFolder() / name;
}

void ActivityLog::LogWrite(std::string_view message) {
    try {
        const std::string block = frame(message, clock_.now());
        const NativePath folder = logFolder();
        if (!files_.isDirectory(folder))
            files_.createDirectories(folder);
        const NativePath file = fileFor(clock_.now());
        for (int attempt = 0; attempt <= kRetries; ++attempt) {
            if (files_.appendExclusive(file, block) != AppendResult::Busy)
                return;
            if (attempt < kRetries)
                clock_.sleep(kRetryPause);
        }
    } catch (...) {
        // A line that cannot be written is lost; the caller carries on.
    }
}

}  // namespace kovrisk
