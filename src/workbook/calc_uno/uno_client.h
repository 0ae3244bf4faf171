// This program's side of UNO: a local component context, bootstrapped from the office's own
// installation, through which an office listening on a pipe is reached.
#pragma once

#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <string>

#include "platform/files.h"

namespace kovrisk {

class UnoClient {
  public:
    // `programFolder` is the office's program folder (it holds fundamentalrc).  Throws
    // AutomationError.
    explicit UnoClient(const NativePath& programFolder);
    // Disposes the local context, and with it every bridge to an office.
    ~UnoClient();
    UnoClient(const UnoClient&) = delete;
    UnoClient& operator=(const UnoClient&) = delete;

    // The office's component context, or an empty reference while nobody listens on `pipeName`.
    // Throws AutomationError for any other failure.
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> connect(
        const std::string& pipeName);

  private:
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> local_;
    com::sun::star::uno::Reference<com::sun::star::bridge::XUnoUrlResolver> resolver_;
};

}  // namespace kovrisk
