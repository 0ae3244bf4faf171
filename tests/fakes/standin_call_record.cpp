#include "fakes/standin_call_record.h"

#include <optional>

#include "workbook/automation.h"

namespace kovrisk::testing {

void StandinCallRecord::enter(const std::string& name, const std::string& arguments) {
    const std::string line = name + arguments;
    calls_.push_back(line);
    names_.push_back(name);

    std::vector<std::function<void()>> hooks;
    std::optional<std::string> failure;
    for (auto& trigger : triggers_) {
        if (trigger.call != name && trigger.call != line)
            continue;
        ++trigger.seen;
        if (trigger.occurrence != 0 && trigger.occurrence != trigger.seen)
            continue;
        if (trigger.hook) {
            hooks.push_back(trigger.hook);
        } else if (!failure) {
            failure = trigger.failureText;
        }
    }
    // Hooks may set further triggers, so they run after the scan.
    for (const auto& hook : hooks)
        hook();
    if (failure)
        throw AutomationError(*failure);
}

void StandinCallRecord::countEarlier(const std::string& line) {
    for (auto& trigger : triggers_) {
        const std::string& call = trigger.call;
        const bool named = line.size() > call.size() && line.starts_with(call) &&
                           (line[call.size()] == '(' || line[call.size()] == '=');
        if (line == call || named)
            ++trigger.seen;
    }
}

void StandinCallRecord::failCall(std::string call, std::string text, int occurrence) {
    triggers_.push_back(
        Trigger{.call = std::move(call), .occurrence = occurrence, .failureText = std::move(text)});
}

void StandinCallRecord::onCall(std::string call, std::function<void()> hook, int occurrence) {
    triggers_.push_back(
        Trigger{.call = std::move(call), .occurrence = occurrence, .hook = std::move(hook)});
}

}  // namespace kovrisk::testing
