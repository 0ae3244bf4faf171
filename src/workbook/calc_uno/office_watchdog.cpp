#include "workbook/calc_uno/office_watchdog.h"

#include <sys/socket.h>

#include <algorithm>

#include "workbook/calc_uno/office_process.h"

namespace kovrisk {

namespace {

// How often a hazard is looked for.
constexpr std::chrono::milliseconds kHazardPause(200);

}  // namespace

OfficeWatchdog::OfficeWatchdog() : thread_([this] { watch(); }) {}

OfficeWatchdog::~OfficeWatchdog() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        deadline_.reset();
    }
    changed_.notify_all();
    thread_.join();
}

void OfficeWatchdog::arm(UniqueFd keeperControl, std::chrono::milliseconds bound) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        keeperControl_ = std::move(keeperControl);
        deadline_ = std::chrono::steady_clock::now() + bound;
        fired_ = false;
    }
    changed_.notify_all();
}

void OfficeWatchdog::extend(std::chrono::milliseconds bound) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!deadline_)
            return;
        deadline_ = std::chrono::steady_clock::now() + bound;
    }
    changed_.notify_all();
}

void OfficeWatchdog::disarm() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        deadline_.reset();
        keeperControl_.reset();
    }
    changed_.notify_all();
}

bool OfficeWatchdog::fired() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return fired_;
}

void OfficeWatchdog::lookFor(UniqueFd keeperControl, std::function<bool()> hazard) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        hazardKeeperControl_ = std::move(keeperControl);
        hazard_ = std::move(hazard);
        hazardFound_ = false;
    }
    changed_.notify_all();
}

void OfficeWatchdog::lookAway() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        hazard_ = nullptr;
        hazardKeeperControl_.reset();
    }
    changed_.notify_all();
}

bool OfficeWatchdog::hazardFound() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return hazardFound_;
}

void OfficeWatchdog::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (hazard_) {
            // Looked at outside the lock: it reads the file system, which may take a moment.
            const std::function<bool()> hazard = hazard_;
            lock.unlock();
            const bool found = hazard();
            lock.lock();
            if (found && hazard_) {
                OfficeProcess::orderEnd(hazardKeeperControl_.get());
                hazard_ = nullptr;
                hazardKeeperControl_.reset();
                hazardFound_ = true;
                continue;
            }
        }
        const auto look = std::chrono::steady_clock::now() + kHazardPause;
        if (!deadline_) {
            if (hazard_)
                changed_.wait_until(lock, look);
            else
                changed_.wait(lock);
            continue;
        }
        const std::chrono::steady_clock::time_point deadline =
            hazard_ ? std::min(*deadline_, look) : *deadline_;
        if (changed_.wait_until(lock, deadline) == std::cv_status::no_timeout)
            continue;  // disarmed, re-armed or moved: look again
        if (!deadline_ || std::chrono::steady_clock::now() < *deadline_)
            continue;
        OfficeProcess::orderEnd(keeperControl_.get());
        keeperControl_.reset();
        deadline_.reset();
        fired_ = true;
    }
}

}  // namespace kovrisk
