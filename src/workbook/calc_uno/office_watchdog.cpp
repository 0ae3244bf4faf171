#include "workbook/calc_uno/office_watchdog.h"

#include <sys/socket.h>

#include "workbook/calc_uno/office_process.h"

namespace kovrisk {

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

void OfficeWatchdog::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (!deadline_) {
            changed_.wait(lock);
            continue;
        }
        const std::chrono::steady_clock::time_point deadline = *deadline_;
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
