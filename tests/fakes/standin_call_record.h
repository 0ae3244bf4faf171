// What the stand-in spreadsheet application was asked, in order, and the faults it is told to
// produce.  The line scheme is described in standin_application.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kovrisk::testing {

class StandinCallRecord {
public:
    // Records the line `name` + `arguments`, runs the hooks due at it, then throws the failure due
    // at it, if any.
    void enter(const std::string& name, const std::string& arguments = "");

    // `call` is a call's name ("Workbooks.Open") or its whole line ("Workbook.Close(false)").
    // `occurrence` 0 means every matching call, n only the n-th one (1-based).
    void failCall(std::string call, std::string text, int occurrence);
    void onCall(std::string call, std::function<void()> hook, int occurrence);

    // A call another instance of the stand-in received before this one was made (a line of its
    // record): counted for the occurrences of the triggers, neither recorded nor acted on.  The
    // call's name is taken to be the line up to a "(" or "=" that follows a trigger's name.
    void countEarlier(const std::string& line);

    const std::vector<std::string>& calls() const { return calls_; }
    const std::vector<std::string>& callNames() const { return names_; }
    void clearCalls() {
        calls_.clear();
        names_.clear();
    }

private:
    struct Trigger {
        std::string call{};
        int occurrence = 0;
        int seen = 0;
        std::string failureText{};     // for a failure
        std::function<void()> hook{};  // for a hook
    };

    std::vector<std::string> calls_;
    std::vector<std::string> names_;  // the same calls, by name only
    std::vector<Trigger> triggers_;
};

}  // namespace kovrisk::testing
