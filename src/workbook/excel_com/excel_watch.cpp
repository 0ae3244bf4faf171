#include "workbook/excel_com/excel_watch.h"

namespace kovrisk {

namespace {

constexpr DWORD kTickPeriod = 250;
// How long an ended process is waited for.
constexpr DWORD kEndWait = 10'000;

void CALLBACK tick(PVOID thread, BOOLEAN) {
    ::PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread)), WM_NULL, 0, 0);
}

}  // namespace

ExcelWatch::ExcelWatch(std::chrono::milliseconds bound, std::chrono::milliseconds perMegabyte)
    : bound_(bound), perMegabyte_(perMegabyte), thread_(::GetCurrentThreadId()) {}

ExcelWatch::~ExcelWatch() {
    stop();
}

void ExcelWatch::arm(std::chrono::milliseconds bound) {
    deadline_ = ::GetTickCount64() + static_cast<ULONGLONG>(bound.count());
    if (timer_ == nullptr &&
        ::CreateTimerQueueTimer(&timer_, nullptr, tick,
                                reinterpret_cast<PVOID>(static_cast<UINT_PTR>(thread_)),
                                kTickPeriod, kTickPeriod, WT_EXECUTEDEFAULT) == 0) {
        timer_ = nullptr;
    }
}

void ExcelWatch::start() {
    process_.reset();
    ended_ = false;
    arm(bound_);
}

void ExcelWatch::follow(DWORD processId) {
    // Never this process: an in-process server is no Excel of its own.
    if (processId == 0 || processId == ::GetCurrentProcessId())
        return;
    if (const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
        process != nullptr) {
        process_.reset(process);
    }
}

void ExcelWatch::extendFor(std::uintmax_t bytes) {
    if (deadline_)
        arm(bound_ + perMegabyte_ * static_cast<long long>(bytes >> 20));
}

void ExcelWatch::stop() {
    deadline_.reset();
    process_.reset();
    if (timer_ != nullptr) {
        // Waits for a tick under way.
        ::DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
        timer_ = nullptr;
    }
}

bool ExcelWatch::passed() const {
    return deadline_ && ::GetTickCount64() >= *deadline_;
}

bool ExcelWatch::endExcel() {
    if (ended_)
        return true;
    if (!process_)
        return false;
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), kEndWait);
    ended_ = true;
    return true;
}

}  // namespace kovrisk
