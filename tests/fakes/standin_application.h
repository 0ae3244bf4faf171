// The stand-in spreadsheet application: an in-memory implementation of the whole object model of
// workbook/automation.h for unit tests of the workbook operations and the lock-or-open run.
//
// It behaves like the real application wherever the operations can tell:
//   - Workbooks live in real files, in the stand-in's own format (standin_workbook_file.h: write
//     one with writeStandinWorkbook, read what was saved with readStandinWorkbook).  A file that
//     is not in that format (random bytes, empty, missing, a folder) fails to open.
//   - Open fails at once, without asking, when the password does not open the workbook; an
//     unprotected workbook opens with any password, the empty one included.  A workbook carrying
//     the auto-run macro marker (HasVBProject) runs it on Open (see macrosRun()) as Excel's
//     AutomationSecurity says: always at first (Low, what automation starts with), never after
//     disableMacros, and after useUsersMacroSettings as the user's own setting says
//     (setUsersMacroSetting): run, don't, or ask.  The question is the user's in a visible
//     application (usersQuestions(); the user enables them); in a hidden one nobody sees it, it is
//     noted in prompts() whatever DisplayAlerts says, and the macros stay off.
//   - SaveAs writes the workbook as it is now, in the format given, to exactly that file with that
//     open password, and the workbook then goes by that file name.  A workbook read from a format
//     other than "xls" or "xlsx" is saved in its own format and, as Excel does, silently without
//     the password (SaveAs with FileFormat names one of the two).  The file's real format is
//     what FileFormat tells, whatever the file's name; a file marked damaged loads, in part, and
//     loadedWhole() is false (no call of Excel's: it is not recorded).  A file with the read-only
//     attribute, or one marked in use, opens read-only (ReadOnly).  In a workbook whose structure
//     is protected, adding, deleting, renaming or hiding a sheet fails.  Close(false) never saves;
//     Close(true) saves a changed workbook under its current name and password.
//   - Sheet names are unique regardless of ASCII letter case, not empty, at most 31 characters,
//     without : \ / ? * [ ]; Add names the new sheet "Sheet<n>" (unique), puts it after the given
//     sheet and activates it.  A workbook keeps at least one visible sheet: hiding or deleting the
//     last one fails; the active sheet is always visible (hiding or deleting it activates the next
//     visible one; activating a hidden one fails).  On a sheet protected with Contents = true,
//     putting a cell's Value or its Font.ColorIndex fails (renaming, hiding, deleting do not).
//     Worksheet(index) outside 1..Count and Worksheet(name) of no sheet (ASCII case ignored) fail.
//   - Every call on a closed workbook (or its sheets, ranges, fonts), on a deleted sheet, or on an
//     application that has quit fails.
//   - Visible = true hands the application to the user: it stays running with its workbooks open.
//     Quit closes its workbooks unsaved and ends the instance.
//   - Where the real application would put a question to a user (deleting a sheet that holds
//     cells, SaveAs over an existing file, Quit with a changed workbook, each while DisplayAlerts
//     is true), the stand-in goes on as if answered and notes the question in prompts(): in a
//     hidden instance nobody is there to answer, so tests expect prompts() to stay empty.  After
//     failOnPrompts() such a call fails instead, as a call that hangs on a dialog ends for a test.
//   - Every failure is an AutomationError.
//
// The call record: every call any object of this factory receives is one line, in order, made of
// the call's name and, if it has any, its arguments in parentheses or its new value after "=".
// The lines, by object (the factory's create() is "Application.Create"):
//   Application.Create
//   Application.Visible=false
//   Application.DisplayAlerts=false
//   Application.DisableMacros
//   Application.UsersMacroSettings
//   Application.Visible                (the get)
//   Application.Workbooks
//   Application.Quit
//   Workbooks.Open(<path>, Password=<password>)
//   Workbook.Worksheets
//   Workbook.Worksheet(3)
//   Workbook.Worksheet(Kovrisk)
//   Workbook.FileFormat
//   Workbook.ProtectStructure
//   Workbook.ReadOnly
//   Workbook.HasVBProject
//   Workbook.SaveAs(<path>, FileFormat=<xls|xlsx|other>, Password=<password>)
//   Workbook.Close(false)
//   Worksheets.Count
//   Worksheets.Add(After=Worksheet(4))
//   Worksheet(3).Name
//   Worksheet(4).Name=Kovrisk
//   Worksheet(1).Visible
//   Worksheet(Kovrisk).Visible=false
//   Worksheet(2).Delete
//   Worksheet(1).Activate
//   Worksheet(Kovrisk).Protect(Password=<pw>, DrawingObjects=true, Contents=true, Scenarios=true)
//   Worksheet(Kovrisk).Range(Z2)
//   Worksheet(Kovrisk).Range(Z2).Value
//   Worksheet(Kovrisk).Range(Z2).Value=<text>
//   Worksheet(Kovrisk).Range(Z2).Font
//   Worksheet(Kovrisk).Range(Z2).Font.ColorIndex=2
// The name of a call is its line without the "(...)" of its arguments or the "=..." of its value
// ("Workbooks.Open", "Worksheet(4).Name"); callNames() lists them.
// A worksheet is named as it was fetched: "Worksheet(3)" when fetched by index 3,
// "Worksheet(Kovrisk)" when fetched by that name.  Paths are NativePath::string(), texts and
// passwords their bytes as given.  Releasing an object is no call.
//
// Faults: failCall and onCall take a call's name ("Workbooks.Open", "Worksheet(3).Name") or a whole
// line ("Workbook.Close(false)").  A call is recorded first, then its hooks run, then its failure
// is thrown; a failed call has no other effect.  Failing "Application.Create" stands for an
// application that is not installed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/standin_call_record.h"
#include "fakes/standin_workbook_file.h"
#include "workbook/automation.h"

namespace kovrisk::testing {

struct StandinCore;

// Excel's AutomationSecurity: who decides whether a workbook's macros run when it opens.
enum class StandinMacroSecurity { Low, ByUsersSettings, ForceDisable };
// The user's own macro setting, for AutomationSecurity ByUsersSettings.
enum class StandinUsersMacros { Enable, Disable, Ask };

// One application instance of the factory, as it stands now.
struct StandinInstance {
    bool quit = false;
    bool visible = false;  // handed to the user, unless it has quit since
    bool displayAlerts = true;
    StandinMacroSecurity macroSecurity = StandinMacroSecurity::Low;
    std::vector<NativePath> openWorkbooks;  // under the file names they now go by
};

class StandinApplicationFactory : public ApplicationFactory {
public:
    StandinApplicationFactory();
    ~StandinApplicationFactory() override;
    StandinApplicationFactory(const StandinApplicationFactory&) = delete;
    StandinApplicationFactory& operator=(const StandinApplicationFactory&) = delete;

    std::unique_ptr<Application> create() override;

    // Every call received so far, one line each (scheme above).
    const std::vector<std::string>& calls() const;
    // The same calls by name only, without arguments or value ("Workbooks.Open"): rules made from
    // these match the same calls in a run on other files.
    const std::vector<std::string>& callNames() const;
    void clearCalls();

    // Makes the matching call fail with an AutomationError carrying `text`: every time, or only at
    // its `occurrence`-th time (1-based).
    void failCall(std::string call, std::string text, int occurrence = 0);
    // Runs `hook` when the matching call arrives, before it takes effect.
    void onCall(std::string call, std::function<void()> hook, int occurrence = 0);
    // A call line another stand-in received earlier in the same run: it counts for the
    // occurrences of failCall and onCall (StandinCallRecord::countEarlier).
    void countEarlierCall(const std::string& line);

    // Every instance created, in order of creation.
    std::vector<StandinInstance> instances() const;
    // Created and neither quit nor handed to the user (an application object dropped without Quit
    // stays running, as the real one does).
    int runningInstances() const;
    // Made visible and not quit: left running for the user.
    int handedOverInstances() const;

    // The files whose auto-run macro ran on Open, in order.
    const std::vector<NativePath>& macrosRun() const;
    // The user's own macro setting (Ask unless set), for every instance.
    void setUsersMacroSetting(StandinUsersMacros setting);
    // The questions put to the user in a visible application, in order.
    const std::vector<std::string>& usersQuestions() const;
    // The questions a user would have been asked, in order.
    const std::vector<std::string>& prompts() const;
    // From now on a call that would ask a question fails (it is noted in prompts() all the same).
    void failOnPrompts();
    // The `instance`-th instance created (0-based) ends, its workbooks closed unsaved, without a
    // call: what Excel does when the last reference to an application the user does not control
    // goes.  No effect on an instance that has quit.
    void endUnattended(std::size_t instance);
    // Workbooks opened from now on have AutoSave on, as in a synced folder: while it is on, every
    // change is saved into the workbook's file at once (no call of its own).
    void autoSaveOnOpen();

private:
    std::shared_ptr<StandinCore> core_;
};

// AutoSaveOn of a workbook of the stand-in (false for any other).
bool standinAutoSave(Workbook& book);
void setStandinAutoSave(Workbook& book, bool on);

}  // namespace kovrisk::testing
