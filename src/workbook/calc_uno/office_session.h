// One private office process and the connection to it.
#pragma once

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "workbook/calc_uno/calc_application_factory.h"
#include "workbook/calc_uno/office_output.h"
#include "workbook/calc_uno/office_process.h"
#include "workbook/calc_uno/office_watchdog.h"
#include "workbook/calc_uno/profile_slot.h"
#include "workbook/calc_uno/uno_client.h"

namespace kovrisk {

class OfficeSession {
public:
    // Starts an office on a free profile slot and connects to it through a pipe of its own.
    // Throws AutomationError when the office is missing, ends early or does not answer in time.
    explicit OfficeSession(const CalcOptions& options);
    // Ends the office unless it was ended or handed over already.
    ~OfficeSession();
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    // Throws AutomationError once the session is over.
    com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2> desktop() const;
    // The office's component context; throws AutomationError once the session is over.
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> context() const;
    // Whether the office still runs and answers.
    bool answers();
    // Closes, without saving, every document the office has open.
    void closeAllDocuments() noexcept;
    // Terminates the office through its desktop, waits for it, and kills it after the bound.
    void end() noexcept;
    // Leaves the office running, with what it has open, for the user, beyond this program.
    void handOver() noexcept;
    bool over() const { return over_; }

    // Bounds what the office does from now on: past `bound` it is ended (see OfficeWatchdog).
    void watch(std::chrono::milliseconds bound);
    // Moves the bound to `bound` from now, when watched.
    void extendWatch(std::chrono::milliseconds bound);
    void unwatch();
    // Whether the bound ended the office.
    bool endedByWatchdog();
    // Ends the office as soon as `hazard` comes true, until lookAway() (see OfficeWatchdog).
    void lookFor(std::function<bool()> hazard);
    void lookAway();
    // Whether a hazard ended the office.
    bool endedByHazard();

private:
    ProfileSlot slot_;
    // In the slot's temporary folder, which is emptied whenever the slot is taken.
    OfficeOutput output_;
    std::optional<OfficeProcess> process_;
    // The pipe the office answered on.
    std::string pipeName_;
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> context_;
    com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2> desktop_;
    std::chrono::milliseconds endBound_;
    bool over_ = false;
    // Last, so that its thread is stopped before anything it could act on goes.
    OfficeWatchdog watchdog_;
};

}  // namespace kovrisk
