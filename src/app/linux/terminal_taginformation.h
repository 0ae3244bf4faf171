// The status window when there is no display: status texts and message boxes become lines on the
// terminal, the confirmation a question answered on standard input.  Timer1 and the end of the
// program work as with the window, on Qt's event loop.
#pragma once

#include <QTimer>

#include "app/linux/linux_view.h"
#include "app/linux/program_end.h"
#include "app/linux/terminal_console.h"

namespace kovrisk {

class TerminalTaginformation : public LinuxView {
public:
    TerminalTaginformation(TerminalConsole& console, ProgramEnd& end);

    void setTimer1Handler(std::function<void()> handler) override;
    // Arms the timer, as the window does just before it appears.
    void showTaginformation() override;

    void disableTimer() override;
    void setStatusText(const std::string& text) override;
    NativePath targetPath() override;
    void setTargetPath(const NativePath& path) override;
    void closeWindow() override;
    void terminate() override;
    BoxAnswer messageBox(const std::string& text, BoxButtons buttons) override;
    // Ends that show no message box put their log line on the terminal.
    void noteEnd(RunEnd end, const std::string& loggedOnly) override;

    // The exit code of the end noted (0 when none was).
    int exitCode() const;

private:
    TerminalConsole& console_;
    ProgramEnd& end_;
    QTimer Timer1;     // one tick, which starts the lock-or-open run
    NativePath Edit1;  // the target path
    RunEnd runEnd_ = RunEnd::finished;
};

}  // namespace kovrisk
