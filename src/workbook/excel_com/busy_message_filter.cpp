#include "workbook/excel_com/busy_message_filter.h"

#include <objbase.h>

namespace kovrisk {

namespace {

// How long to wait before a call Excel asked to retry later is made again.
constexpr DWORD kRetryPause = 100;
// RetryRejectedCall: give up, the call fails.
constexpr DWORD kCancel = static_cast<DWORD>(-1);

}  // namespace

HRESULT STDMETHODCALLTYPE BusyMessageFilter::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
        *object = static_cast<IMessageFilter*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BusyMessageFilter::AddRef() {
    return ++references_;
}

ULONG STDMETHODCALLTYPE BusyMessageFilter::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

DWORD STDMETHODCALLTYPE BusyMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD,
                                                              LPINTERFACEINFO) {
    return SERVERCALL_ISHANDLED;
}

DWORD STDMETHODCALLTYPE BusyMessageFilter::RetryRejectedCall(HTASK, DWORD elapsed,
                                                             DWORD rejectType) {
    if (rejectType != SERVERCALL_RETRYLATER && rejectType != SERVERCALL_REJECTED)
        return kCancel;
    if (elapsed >= static_cast<DWORD>(patience_.count()) || (watch_ != nullptr && watch_->passed()))
        return kCancel;
    return kRetryPause;
}

DWORD STDMETHODCALLTYPE BusyMessageFilter::MessagePending(HTASK, DWORD, DWORD) {
    if (watch_ != nullptr && watch_->passed()) {
        // Ended at once: a call that waits on an Excel that is gone fails also where COM goes on
        // waiting after the cancellation (wine does).
        watch_->endExcel();
        return PENDINGMSG_CANCELCALL;
    }
    // Keyboard and mouse input waits; paint and timer messages are served as usual.
    return PENDINGMSG_WAITDEFPROCESS;
}

MessageFilterRegistration::MessageFilterRegistration(std::chrono::milliseconds patience,
                                                     ExcelWatch* watch)
    : filter_(new BusyMessageFilter(patience, watch)) {
    registered_ = SUCCEEDED(::CoRegisterMessageFilter(filter_, &previous_));
}

MessageFilterRegistration::~MessageFilterRegistration() {
    if (registered_) {
        IMessageFilter* ours = nullptr;
        ::CoRegisterMessageFilter(previous_, &ours);
        if (ours != nullptr)
            ours->Release();
    }
    if (previous_ != nullptr)
        previous_->Release();
    filter_->Release();
}

}  // namespace kovrisk
