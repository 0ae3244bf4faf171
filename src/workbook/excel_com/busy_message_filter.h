// The GUI thread's COM message filter while it drives Excel: a call that Excel turns away
// ("retry later" or "rejected", while it starts, loads add-ins or recalculates) is made again
// after a short pause, for as long as the busy patience lasts; then it fails
// (RPC_E_SERVERCALL_RETRYLATER or RPC_E_CALL_REJECTED).  Where COM does not ask the filter, the
// call-level retry of Dispatch does the same.  Once the bound of an ExcelWatch has passed, a call
// that waits for Excel is cancelled (RPC_E_CALL_CANCELED) and its Excel ended, and one turned away
// is not made again.
// Registered for the life of the owner and revoked (the earlier filter put back) before COM is
// released.
#pragma once

#include <objidl.h>

#include <atomic>
#include <chrono>

#include "workbook/excel_com/excel_watch.h"

namespace kovrisk {

class BusyMessageFilter final : public IMessageFilter {
public:
    BusyMessageFilter(std::chrono::milliseconds patience, ExcelWatch* watch)
        : patience_(patience), watch_(watch) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IMessageFilter
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                               LPINTERFACEINFO interfaceInfo) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD elapsed,
                                              DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD elapsed, DWORD pendingType) override;

private:
    std::atomic<ULONG> references_{1};
    std::chrono::milliseconds patience_;
    ExcelWatch* watch_;
};

// Registers a BusyMessageFilter for the calling thread while it lives.
class MessageFilterRegistration {
public:
    // `watch`, when given, outlives the registration.
    explicit MessageFilterRegistration(std::chrono::milliseconds patience,
                                       ExcelWatch* watch = nullptr);
    ~MessageFilterRegistration();
    MessageFilterRegistration(const MessageFilterRegistration&) = delete;
    MessageFilterRegistration& operator=(const MessageFilterRegistration&) = delete;

    bool registered() const { return registered_; }

private:
    BusyMessageFilter* filter_;
    IMessageFilter* previous_ = nullptr;
    bool registered_ = false;
};

}  // namespace kovrisk
