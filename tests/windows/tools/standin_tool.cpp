// Makes and checks workbooks of the stand-in spreadsheet application for the tests that run
// kovrisk.exe under wine.  Texts are compared the way they travel: a password goes to the
// application as MultiByteToWideChar(932) of its bytes and the application keeps what that text
// is in Shift-JIS again.
//
//   standin_tool create PATH [PASSWORD]         an ordinary workbook: Sheet1 with two cells, Sheet2
//   standin_tool create-locked PATH NAME        that workbook as the program locks it on computer
//   NAME standin_tool check-plain PATH               PATH is the ordinary workbook, without a
//   password standin_tool check-locked PATH NAME         PATH is the ordinary workbook locked on
//   computer NAME standin_tool check-password PATH PASSWORD   PATH opens with exactly PASSWORD
//   standin_tool attributes PATH                prints the attribute word in hex
//   standin_tool set-attributes PATH HEX
//   standin_tool create-asking PATH             the ordinary workbook with links to other workbooks
//                                               and a read-only recommendation
//   standin_tool create-locked-macro PATH NAME  as create-locked, carrying an auto-run macro
//   standin_tool computer-name                  prints the computer name as the program logs it
//   standin_tool ansi-code-page                 prints the system's ANSI code page
// Exit code 0 when the check passed, 1 when it failed (with the reason on stderr), 2 on misuse.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "fakes/standin_workbook_file.h"
#include "platform/native_environment.h"
#include "platform/system_clock.h"
#include "platform/text_codec.h"
#include "support/file_password.h"
#include "support/machine_tag.h"
#include "support/shift_jis.h"
#include "support/texts.h"

using namespace kovrisk;
using namespace kovrisk::testing;

namespace {

std::string asTravelled(const std::string& text) {
    return toShiftJis(fromShiftJis(text));
}

StandinWorkbook ordinaryWorkbook() {
    StandinWorkbook book;
    StandinSheet first{.name = "Sheet1", .active = true};
    first.cells["A1"] = "売上";
    first.cells["B3"] = "1200";
    book.sheets.push_back(first);
    book.sheets.push_back(StandinSheet{.name = "Sheet2"});
    return book;
}

std::string filePassword(const NativePath& path) {
    const std::string fileName(fileNamePart(toShiftJis(path), PathStyle::Windows));
    PasswordBuffer buffer;
    if (!fncPwdMake(fileName, buffer))
        throw AutomationError("no file password");
    return asTravelled(buffer.text());
}

StandinSheet controlSheet(const std::string& tag) {
    StandinSheet sheet{.name = std::string(texts::kControlSheetName), .visible = false};
    sheet.protection =
        StandinProtection{.password = asTravelled(std::string(texts::kSheetProtectionPassword))};
    sheet.cells["A1"] = std::string(texts::kControlSheetWarning);
    sheet.cells["Z2"] = tag;
    sheet.colorIndexes["Z2"] = 2;
    return sheet;
}

int fail(const std::string& reason) {
    std::fprintf(stderr, "%s\n", reason.c_str());
    return 1;
}

// The sheets of the ordinary workbook, ignoring which one is active.
bool sameOrdinarySheets(const StandinWorkbook& book, std::size_t count) {
    const StandinWorkbook ordinary = ordinaryWorkbook();
    if (book.sheets.size() < count)
        return false;
    for (std::size_t i = 0; i < ordinary.sheets.size(); ++i) {
        StandinSheet expected = ordinary.sheets[i];
        StandinSheet actual = book.sheets[i];
        expected.active = actual.active = false;
        if (!(expected == actual))
            return false;
    }
    return true;
}

int checkLocked(const NativePath& path, const std::string& name) {
    const StandinWorkbook book = readStandinWorkbook(path, filePassword(path));
    if (book.sheets.size() != 3 || !sameOrdinarySheets(book, 3)) {
        return fail(
            "the workbook's own sheets changed or the control sheet is not the only one added");
    }
    StandinSheet control = book.sheets.back();
    const std::string tag = control.cells["Z2"];
    if (asciiUpper(fncPcNameDec(tag)) != name) {
        return fail("the machine tag names " + fncPcNameDec(tag) + ", not " + name);
    }
    control.active = false;
    if (!(control == controlSheet(tag)))
        return fail("the control sheet is not laid out as expected");
    if (!book.sheets.front().active)
        return fail("the first sheet is not the active one");
    return 0;
}

int run(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"ansi-code-page") {
        std::printf("%u", ::GetACP());
        return 0;
    }
    if (command == L"computer-name") {
        NativeEnvironment environment;
        std::string name = environment.computerName();
        name.resize(std::min<std::size_t>(name.size(), 254));
        std::fputs(asciiUpper(trimControl(name)).c_str(), stdout);
        return 0;
    }
    if (argc < 3)
        return 2;
    const NativePath path(argv[2]);
    const std::string argument = argc > 3 ? toShiftJis(std::wstring(argv[3])) : std::string();
    if (command == L"create") {
        StandinWorkbook book = ordinaryWorkbook();
        book.openPassword = argument;
        writeStandinWorkbook(path, book);
        return 0;
    }
    if (command == L"create-asking") {
        StandinWorkbook book = ordinaryWorkbook();
        book.externalLinks = true;
        book.readOnlyRecommended = true;
        writeStandinWorkbook(path, book);
        return 0;
    }
    if ((command == L"create-locked" || command == L"create-locked-macro") && argc == 4) {
        SystemClock clock;
        StandinWorkbook book = ordinaryWorkbook();
        book.autoRunMacro = command == L"create-locked-macro";
        book.openPassword = filePassword(path);
        book.sheets.push_back(controlSheet(fncPcNameEnc(argument, clock)));
        writeStandinWorkbook(path, book);
        return 0;
    }
    if (command == L"check-plain") {
        const StandinWorkbook book = readStandinWorkbook(path, "");
        return book.sheets.size() == 2 && sameOrdinarySheets(book, 2)
                   ? 0
                   : fail("the workbook is not the ordinary one");
    }
    if (command == L"check-locked" && argc == 4)
        return checkLocked(path, argument);
    if (command == L"check-password" && argc == 4) {
        readStandinWorkbook(path, asTravelled(argument));
        return 0;
    }
    if (command == L"attributes") {
        const DWORD word = ::GetFileAttributesW(path.c_str());
        if (word == INVALID_FILE_ATTRIBUTES)
            return fail("no such file");
        std::printf("%08lx", static_cast<unsigned long>(word));
        return 0;
    }
    if (command == L"set-attributes" && argc == 4) {
        const DWORD word = std::wcstoul(argv[3], nullptr, 16);
        return ::SetFileAttributesW(path.c_str(), word) ? 0 : fail("cannot set the attributes");
    }
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
