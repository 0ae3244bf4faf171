#include "app/linux/terminal_taginformation.h"

#include "app/linux/status_window_layout.h"
#include "app/linux/terminal_exit_code.h"
#include "platform/text_codec.h"

namespace kovrisk {

namespace {
constexpr std::string_view kBoxPrefix = "Kovrisk: ";
constexpr std::string_view kAnswerPrompt = "[y/N] ";
}  // namespace

TerminalTaginformation::TerminalTaginformation(TerminalConsole& console, ProgramEnd& end)
    : console_(console), end_(end) {
    Timer1.setSingleShot(true);
    Timer1.setInterval(layout::kTimer1Interval);
}

void TerminalTaginformation::setTimer1Handler(std::function<void()> handler) {
    QObject::connect(&Timer1, &QTimer::timeout, std::move(handler));
}

void TerminalTaginformation::showTaginformation() {
    // An empty status text shows nothing here.
    Timer1.start();
}

void TerminalTaginformation::disableTimer() {
    Timer1.stop();
}

void TerminalTaginformation::setStatusText(const std::string& text) {
    if (!text.empty())
        console_.writeLine(fromShiftJis(text));
}

NativePath TerminalTaginformation::targetPath() {
    return Edit1;
}

void TerminalTaginformation::setTargetPath(const NativePath& path) {
    Edit1 = path;
}

void TerminalTaginformation::closeWindow() {
    end_.request();
}

void TerminalTaginformation::terminate() {
    end_.request();
}

BoxAnswer TerminalTaginformation::messageBox(const std::string& text, BoxButtons buttons) {
    console_.writeLines(kBoxPrefix, fromShiftJis(text));
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    // Cancel is the default: only a clear yes is OK.
    const std::optional<std::string> answer = console_.ask(kAnswerPrompt);
    return answer && isYes(*answer) ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

void TerminalTaginformation::noteEnd(RunEnd end, const std::string& loggedOnly) {
    runEnd_ = end;
    // A failure is never silent here: what was only logged goes to the terminal too.
    if (!loggedOnly.empty())
        console_.writeLines(kBoxPrefix, fromShiftJis(loggedOnly));
}

int TerminalTaginformation::exitCode() const {
    return terminalExitCode(runEnd_);
}

}  // namespace kovrisk
