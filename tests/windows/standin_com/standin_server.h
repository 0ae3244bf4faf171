// What one load of the stand-in "Excel.Application" server shares: the stand-in spreadsheet
// application behind every object it hands out, the faults it was told to produce, and two
// records of what it was asked.
//
//   - the call record of the stand-in (fakes/standin_application.h), one line per call;
//   - the wire record: one line per Invoke as it arrived over IDispatch, the object and member
//     as the server names them and how each argument came: "Workbooks.Open(#1:BSTR&,
//     Password:BSTR&)", "Application.Visible=BOOL(0)",
//     "Worksheets.Add(#1:VARIANT&->ERROR(80020004), #2:DISPATCH)".
//
// Run under a test program, both records are kept in memory.  Loaded by a program through COM,
// the server reads its settings from the environment:
//   KOVRISK_STANDIN_RECORD  file that receives every line of the call record as it is made
//   KOVRISK_STANDIN_WIRE    file that receives every line of the wire record as it is made
//   KOVRISK_STANDIN_FAULTS  file of faults, one a line: <call> TAB <occurrence> TAB <text>,
//                           Shift-JIS; occurrence 0 means every time
//   KOVRISK_STANDIN_PAUSES  file of pauses, one a line: <call> TAB <occurrence> TAB <ms>: the
//                           call keeps its caller waiting that long before it takes effect
//                           (the records are written out before the pause)
//   KOVRISK_STANDIN_USERS_MACROS  the user's own macro setting, for AutomationSecurity ByUI:
//                           "enable", "disable", or (unset) ask: a question put to the user in a
//                           visible application, wired as "User!<question>" (the user enables
//                           them), and a dialog that waits for ever in a hidden one
//   KOVRISK_STANDIN_DIALOGS file of dialogs that never close, one a line: <call> TAB
//                           <occurrence> TAB <question>: the call puts the question on screen,
//                           wired as "Dialog!<question>", and never returns, as a hidden Excel
//                           waits for an answer nobody can give
//   KOVRISK_STANDIN_AUTOSAVE "on": workbooks open with AutoSave on, as in a OneDrive folder:
//                           every change is saved into the workbook's file while it is on
//   KOVRISK_STANDIN_EXCEL   "2003": an Excel 2003, which reads an Excel 97-2003 workbook as
//                           xlWorkbookNormal (-4143) and knows neither xlExcel8 (56) nor
//                           CheckCompatibility (nor its Compatibility Checker)
//   KOVRISK_STANDIN_BUSY    file of busy spells, one a line: <call> TAB <occurrence> TAB <ms>:
//                           after the call the server is busy that long, as Excel is while it
//                           starts ("Application.Create"), loads add-ins or recalculates
//
// Busy, the server turns every IDispatch call away without running it, as an outright rejection
// (RPC_E_CALL_REJECTED): over COM its message filter answers SERVERCALL_REJECTED, in this process
// the call returns the same status.  Each refusal is a wire line "(busy: call rejected)".
//
// Where Excel would put a question on screen (a missing UpdateLinks on a workbook with links, a
// read-only recommendation, a password to modify, a file in use without Notify = False, a missing
// password, SaveAs over a file, deleting a sheet or quitting with changes while DisplayAlerts is
// on, SaveAs in the Excel 97-2003 format while CheckCompatibility is on), the call fails, as a
// call hanging on a dialog ends for a test, and the wire record gets a line "Dialog!<question>".
//
// Over COM the calls are made in the locale of Excel's English member names (United States
// English); a call in another locale fails as it does with an Excel that has no language
// resources for it: TYPE_E_INVDATAREAD, "Old format or invalid type library".
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes/standin_application.h"
#include "platform/files.h"

namespace kovrisk::testing {

class StandinServer {
public:
    StandinServer();
    // Settings from the environment, as the COM server takes them.  The calls already in the
    // record file (made by earlier servers of the same run) count for the occurrences.
    static std::shared_ptr<StandinServer> fromEnvironment();

    StandinApplicationFactory& application() { return factory_; }

    // Records one Invoke; `object` and `member` as the client asked for them.
    void wire(const std::wstring& line);
    const std::vector<std::wstring>& wireRecord() const { return wire_; }
    // A question Excel would put on screen: recorded, and the call fails.
    [[noreturn]] void dialog(const std::string& question);

    // Busy for `milliseconds` after the matching call (`occurrence` as for faults); a negative
    // time: for ever.
    void busyAfter(std::string call, long milliseconds, int occurrence = 0);
    // Whether calls are turned away now.
    bool busy() const;
    // A call turned away: recorded.
    void rejected();

    // A dialog that never closes: recorded, and the calling thread waits for ever.
    [[noreturn]] void dialogForEver(const std::string& question);

    // An Excel 2003 (see KOVRISK_STANDIN_EXCEL).
    bool excel2003() const { return excel2003_; }
    void setExcel2003() { excel2003_ = true; }

    // Whether the server's objects are called in this process (no message filter between).
    bool inProcess() const { return inProcess_; }
    void setOutOfProcess() { inProcess_ = false; }

    // An application the user now controls, visible, whose references all went: it stays.
    void handedOver() { handedOver_ = true; }
    bool wasHandedOver() const { return handedOver_; }
    // A Quit that failed (a fault on Application.Quit) stands for one refused by a dialog: that
    // Excel stays, invisible, whoever lets go of it.
    void refusedToQuit() { refusedToQuit_ = true; }
    // Whether the process stays when the references are all gone.
    bool staysRunning() const { return handedOver_ || refusedToQuit_; }

    // Writes what was recorded since the last call to the record files, if there are any.
    void flush();

private:
    StandinApplicationFactory factory_;
    std::vector<std::wstring> wire_;
    ULONGLONG busyUntil_ = 0;
    bool inProcess_ = true;
    bool handedOver_ = false;
    bool excel2003_ = false;
    bool refusedToQuit_ = false;
    std::size_t promptsWired_ = 0;
    std::size_t questionsWired_ = 0;
    NativePath recordFile_;
    NativePath wireFile_;
    std::size_t callsWritten_ = 0;
    std::size_t wireWritten_ = 0;
};

}  // namespace kovrisk::testing
