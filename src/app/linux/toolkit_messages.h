// What the GUI toolkit says while the program runs.  The windowing systems it could not start on
// are no news (the terminal takes over, or the next system does); a fatal error, after which the
// toolkit ends the process, goes to the activity log and standard error, so that a run that ends
// before or without its window always says why.
#pragma once

#include <QtGlobal>

namespace kovrisk {

class ToolkitMessages {
public:
    ToolkitMessages();
    ~ToolkitMessages();
    ToolkitMessages(const ToolkitMessages&) = delete;
    ToolkitMessages& operator=(const ToolkitMessages&) = delete;

private:
    QtMessageHandler previous_;
};

}  // namespace kovrisk
