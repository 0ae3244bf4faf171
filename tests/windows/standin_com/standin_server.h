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
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fakes/standin_application.h"
#include "platform/files.h"

namespace kovrisk::testing {

class StandinServer {
public:
    StandinServer();
    // Settings from the environment, as the COM server takes them.
    static std::shared_ptr<StandinServer> fromEnvironment();

    StandinApplicationFactory& application() { return factory_; }

    // Records one Invoke; `object` and `member` as the client asked for them.
    void wire(const std::wstring& line);
    const std::vector<std::wstring>& wireRecord() const { return wire_; }

    // Writes what was recorded since the last call to the record files, if there are any.
    void flush();

private:
    StandinApplicationFactory factory_;
    std::vector<std::wstring> wire_;
    NativePath recordFile_;
    NativePath wireFile_;
    std::size_t callsWritten_ = 0;
    std::size_t wireWritten_ = 0;
};

}  // namespace kovrisk::testing
