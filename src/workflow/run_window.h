// What the lock-or-open run needs of the status window.
#pragma once

#include <string>

#include "platform/files.h"
#include "support/message_boxes.h"
#include "workflow/run_end.h"

namespace kovrisk {

class RunWindow : public MessageBoxes {
public:
    // Stops the timer, so its one tick is the only one (Timer1.Enabled = false).
    virtual void disableTimer() = 0;
    // Sets lblMessage's text (Shift-JIS) and repaints the window before returning.
    virtual void setStatusText(const std::string& text) = 0;
    // Edit1's text: the target path.
    virtual NativePath targetPath() = 0;
    // Closes the window; being the main window, that ends the program.
    virtual void closeWindow() = 0;
    // Asks the event loop to stop once the current handler returns.
    virtual void terminate() = 0;
    // Told once, before terminate(), how the run ended and, for an end that was logged but shown
    // in no message box, its log line (empty otherwise).  A window that always ends the same way
    // ignores it.
    virtual void noteEnd(RunEnd, const std::string& /*loggedOnly*/) {}
};

}  // namespace kovrisk
