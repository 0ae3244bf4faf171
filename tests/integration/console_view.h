// The status window as lines on standard output, for driving the program's portable part without a
// window: each status text, message box and window event becomes one line.  Message boxes are
// answered with OK.
#pragma once

#include <string>

#include "app/taginformation_view.h"

namespace kovrisk {

class ConsoleView : public TaginformationView {
public:
    void setTargetPath(const NativePath& path) override { target_ = path; }
    NativePath targetPath() override { return target_; }
    void disableTimer() override;
    void setStatusText(const std::string& text) override;
    BoxAnswer messageBox(const std::string& text, BoxButtons buttons) override;
    void closeWindow() override;
    void terminate() override;

private:
    NativePath target_;
};

// One event line: `what`, a blank and `shiftJis` in UTF-8 with CR and LF escaped.
void printEvent(const std::string& what, const std::string& shiftJis = {});

}  // namespace kovrisk
