// A bound on how long Excel may take over one operation, as on the Linux side: three minutes, and
// six seconds more for each megabyte of the workbook it opens.  A dialog in a hidden Excel (a
// macro sheet's security warning, a sign-in, an add-in) waits for an answer nobody can give;
// past the bound the call that waits is cancelled by the thread's message filter
// (PENDINGMSG_CANCELCALL) and that one Excel process is ended, so that neither the run nor an
// invisible Excel holding the workbook is left hanging.
//
// COM asks the message filter only when a message arrives while a call waits: while armed, a
// timer posts an empty message to the calling thread every quarter of a second.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/win32/unique_handle.h"

namespace kovrisk {

inline constexpr std::chrono::milliseconds kExcelOperationBound{180'000};
inline constexpr std::chrono::milliseconds kExcelBoundPerMegabyte{6'000};

class ExcelWatch {
public:
    // Watches the calls of the thread that makes it.
    explicit ExcelWatch(std::chrono::milliseconds bound = kExcelOperationBound,
                        std::chrono::milliseconds perMegabyte = kExcelBoundPerMegabyte);
    ~ExcelWatch();
    ExcelWatch(const ExcelWatch&) = delete;
    ExcelWatch& operator=(const ExcelWatch&) = delete;

    // A new Excel is being started: the bound runs from now; the earlier process is forgotten.
    void start();
    // The process of the Excel started, ended should the bound pass.
    void follow(DWORD processId);
    // A workbook of `bytes` is opened: the bound runs again from now, longer by its size.
    void extendFor(std::uintmax_t bytes);
    // Handed to the user, or let go: no bound any more, and the process is not followed.
    void stop();

    // Whether the bound has passed.
    bool passed() const;
    // Ends the followed process and waits for it to go; once.  False when none was followed.
    bool endExcel();
    // Whether endExcel ended it: no call may go to it any more.
    bool ended() const { return ended_; }

private:
    void arm(std::chrono::milliseconds bound);

    std::chrono::milliseconds bound_;
    std::chrono::milliseconds perMegabyte_;
    DWORD thread_;
    HANDLE timer_ = nullptr;
    UniqueHandle process_;
    std::optional<ULONGLONG> deadline_;
    bool ended_ = false;
};

}  // namespace kovrisk
