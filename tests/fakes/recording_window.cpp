#include "fakes/recording_window.h"

namespace kovrisk::testing {

void RecordingWindow::disableTimer() {
    timerEnabled = false;
    events.push_back("timer off");
}

void RecordingWindow::setStatusText(const std::string& text) {
    statusTexts.push_back(text);
    events.push_back("status " + text);
}

void RecordingWindow::closeWindow() {
    closed = true;
    events.push_back("close");
}

void RecordingWindow::terminate() {
    terminated = true;
    events.push_back("end");
}

BoxAnswer RecordingWindow::messageBox(const std::string& text, BoxButtons buttons) {
    boxes.push_back({text, buttons});
    events.push_back("box " + text);
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    if (answers.empty())
        return BoxAnswer::Cancel;
    const BoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace kovrisk::testing
