// Excel turns calls away while it starts, loads add-ins or recalculates.  A call it turned away is
// made again, after a short pause, until Excel takes it or the patience runs out.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

namespace kovrisk {

// How long one call is tried again while Excel is busy.
inline constexpr std::chrono::milliseconds kBusyPatience{60000};

// VBA_E_IGNORE: Excel's object model is not available for the moment (Excel is in a modal state,
// an edit or a dialog of its own); the call was not run.
inline constexpr HRESULT kVbaObjectModelNotAvailable = static_cast<HRESULT>(0x800AC472);

// Whether `status` says the server turned the call away without running it: rejected outright
// (RPC_E_CALL_REJECTED), to be tried later (RPC_E_SERVERCALL_RETRYLATER, what a client's message
// filter gives up with), or with its object model not available (VBA_E_IGNORE).
bool isBusyRefusal(HRESULT status);

// Makes `call` until it returns anything but a busy refusal, pausing a little longer each time,
// for at most `patience` in all, and not again once `giveUp` says so; returns the last status.
HRESULT retryWhileBusy(const std::function<HRESULT()>& call, std::chrono::milliseconds patience,
                       const std::function<bool()>& giveUp = {});

}  // namespace kovrisk
