#include "console_view.h"

#include <cstdio>

#include "platform/text_codec.h"

namespace kovrisk {

void printEvent(const std::string& what, const std::string& shiftJis) {
    std::string text;
    for (const char c : fromShiftJis(shiftJis)) {
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else {
            text += c;
        }
    }
    std::printf("%s %s\n", what.c_str(), text.c_str());
    std::fflush(stdout);
}

void ConsoleView::disableTimer() {
    printEvent("timer-off");
}

void ConsoleView::setStatusText(const std::string& text) {
    printEvent("status", text);
}

BoxAnswer ConsoleView::messageBox(const std::string& text, BoxButtons buttons) {
    printEvent(buttons == BoxButtons::Ok ? "box" : "confirm", text);
    return BoxAnswer::Ok;
}

void ConsoleView::closeWindow() {
    printEvent("close-window");
}

void ConsoleView::terminate() {
    printEvent("terminate");
}

}  // namespace kovrisk
