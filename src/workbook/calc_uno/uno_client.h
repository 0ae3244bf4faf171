// This program's side of UNO: a local component context, bootstrapped from the office's own
// installation, through which an office listening on a pipe is reached.
//
// There is one for the whole process, made on first use and kept to its end (the URE's type and
// bridge machinery is process-wide anyway).  It is bootstrapped from the office installation whose
// URE libraries this program is linked with, whichever office program it later starts.
#pragma once

#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <string>

#include "platform/files.h"

namespace kovrisk {

class UnoClient {
public:
    // The process's client, made on first use.  Throws AutomationError.
    static UnoClient& instance();
    UnoClient(const UnoClient&) = delete;
    UnoClient& operator=(const UnoClient&) = delete;

    // The office's component context, or an empty reference while nobody listens on `pipeName`.
    // Throws AutomationError for any other failure.
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> connect(
        const std::string& pipeName);

    // Ends the bridge to the office on `pipeName`, its threads joined: a bridge left running
    // could still be writing while the process exits and tears down what it writes with.
    void closeBridge(const std::string& pipeName) noexcept;

private:
    UnoClient();

    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> local_;
    com::sun::star::uno::Reference<com::sun::star::bridge::XUnoUrlResolver> resolver_;
};

}  // namespace kovrisk
