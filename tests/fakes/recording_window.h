// A status window for tests: keeps Edit1's text, answers message boxes from a queue and records
// everything it is asked to do, in order.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/taginformation_view.h"

namespace kovrisk::testing {

class RecordingWindow : public TaginformationView {
public:
    struct Box {
        std::string text;
        BoxButtons buttons;
    };

    // Answers for the boxes with OK and Cancel, in order; Cancel when empty.
    std::deque<BoxAnswer> answers;

    std::vector<std::string> events;  // "timer off", "status <text>", "box <text>", "close", "end"
    std::vector<std::string> statusTexts;
    std::vector<Box> boxes;
    NativePath edit1;
    bool timerEnabled = true;
    bool closed = false;
    bool terminated = false;

    void disableTimer() override;
    void setStatusText(const std::string& text) override;
    NativePath targetPath() override { return edit1; }
    void setTargetPath(const NativePath& path) override { edit1 = path; }
    void closeWindow() override;
    void terminate() override;
    BoxAnswer messageBox(const std::string& text, BoxButtons buttons) override;
};

}  // namespace kovrisk::testing
