// A bound on how long the office may take over what it was asked to do.
//
// Every call into the office blocks the program's one thread until the office answers; an office
// that never answers (a huge or hostile file it keeps reading, an office that hangs) would hold
// the program for ever.  While armed, the watchdog's own thread waits for the deadline; past it,
// it orders the office's keeper to end the office, whereupon the blocked call fails and the
// operation takes its failure path.  The order goes over a duplicate of the keeper's control
// socket that the watchdog owns, so it can never reach anything else.
//
// It also ends the office, armed or not, as soon as a hazard it was told to look for comes true
// (looked at a few times a second): something put where the office would wait on it for ever.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/posix/unique_fd.h"

namespace kovrisk {

class OfficeWatchdog {
public:
    OfficeWatchdog();
    // Disarms and stops its thread.
    ~OfficeWatchdog();
    OfficeWatchdog(const OfficeWatchdog&) = delete;
    OfficeWatchdog& operator=(const OfficeWatchdog&) = delete;

    // From now until disarm(), the office is ended through `keeperControl` once `bound` has
    // passed.  Arming again replaces the deadline and the socket.
    void arm(UniqueFd keeperControl, std::chrono::milliseconds bound);
    // Moves the deadline to `bound` from now, when armed.
    void extend(std::chrono::milliseconds bound);
    void disarm();
    // Whether the watchdog ended the office since it was last armed.
    bool fired();

    // From now until lookAway(), the office is ended through `keeperControl` as soon as `hazard`
    // returns true (called on the watchdog's thread).
    void lookFor(UniqueFd keeperControl, std::function<bool()> hazard);
    void lookAway();
    // Whether a hazard ended the office since the last lookFor().
    bool hazardFound();

private:
    void watch();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    UniqueFd keeperControl_;
    bool fired_ = false;
    std::function<bool()> hazard_;
    UniqueFd hazardKeeperControl_;
    bool hazardFound_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace kovrisk
