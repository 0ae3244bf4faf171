#include "workbook/excel_com/busy_retry.h"

#include <algorithm>

namespace kovrisk {

namespace {

constexpr ULONGLONG kFirstPause = 20;
constexpr ULONGLONG kLongestPause = 500;

}  // namespace

bool isBusyRefusal(HRESULT status) {
    return status == RPC_E_CALL_REJECTED || status == RPC_E_SERVERCALL_RETRYLATER ||
           status == kVbaObjectModelNotAvailable;
}

HRESULT retryWhileBusy(const std::function<HRESULT()>& call, std::chrono::milliseconds patience,
                       const std::function<bool()>& giveUp) {
    const ULONGLONG started = ::GetTickCount64();
    const auto bound = static_cast<ULONGLONG>(patience.count());
    ULONGLONG pause = kFirstPause;
    for (;;) {
        const HRESULT status = call();
        if (!isBusyRefusal(status))
            return status;
        const ULONGLONG waited = ::GetTickCount64() - started;
        if (waited >= bound || (giveUp && giveUp()))
            return status;
        ::Sleep(static_cast<DWORD>(std::min(pause, bound - waited)));
        pause = std::min(pause * 2, kLongestPause);
    }
}

}  // namespace kovrisk
