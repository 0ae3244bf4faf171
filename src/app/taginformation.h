// Ttaginformation, the program's one window, in its portable part: the start-up checks of its
// creation handler, the installation probe, the computer name, and the run its timer starts.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/taginformation_view.h"
#include "platform/environment.h"
#include "platform/text_codec.h"
#include "support/activity_log.h"
#include "support/process_state.h"
#include "workbook/automation.h"

namespace kovrisk {

// The operating-system services the program runs on.
struct Platform {
    Environment& environment;
    Files& files;
    Clock& clock;
    ApplicationFactory& spreadsheet;
};

class Ttaginformation {
public:
    Ttaginformation(Platform platform, TaginformationView& view);

    // The creation handler: data folder, argument count, target path, installation probe,
    // extension, computer name.  Returns false when a check ended the program.
    bool FormCreate(const std::vector<NativeString>& arguments);
    // The tick handler of Timer1: the lock-or-open run.
    void Timer1Timer();
    // End the program before the run, logging and showing why: another run of the program is
    // working on the workbook; the file is larger than any workbook an application opens.
    void workbookBusy();
    void workbookTooLarge();
    // Ends the program before the run as `end`, logging and showing `text`.
    void endBeforeRun(RunEnd end, std::string_view text);

    // Whether the spreadsheet application is installed: starts an instance and quits it again.
    bool fucXlsFind();
    // This computer's name, upper-cased and cut at its limit; empty when the system gives none.
    std::string fncPcNameGet();

    const ProcessState& state() const { return state_; }
    ActivityLog& log() { return *log_; }

private:
    Platform platform_;
    TaginformationView& view_;
    ProcessState state_;
    std::optional<ActivityLog> log_;
    // What the installation probe met when it failed.
    std::string probeError_;
};

}  // namespace kovrisk
