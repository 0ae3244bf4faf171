#include "workbook/excel_com/excel_objects.h"

#include <windows.h>

#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "workbook/excel_com/com_error.h"

namespace kovrisk {

namespace {

// MsoAutomationSecurity.  ByUI: the user's own settings in Excel's Trust Center decide about the
// macros of a workbook opened from now on, as when the user opens it.  ForceDisable: none runs.
constexpr int kMacrosByUserSettings = 2;
constexpr int kForceDisableMacros = 3;

// XlFileFormat values of the formats a lock keeps.
constexpr int kExcel8 = 56;               // xlExcel8: Excel 97-2003
constexpr int kWorkbookNormal = -4143;    // xlWorkbookNormal: the same, as older versions name it
constexpr int kOpenXmlWorkbook = 51;      // xlOpenXMLWorkbook
constexpr int kOpenXmlMacroEnabled = 52;  // xlOpenXMLWorkbookMacroEnabled

// XlCorruptLoad xlNormalLoad: a workbook Excel cannot read whole fails to open instead of being
// repaired, so that an open workbook is always one read whole.
constexpr int kNormalLoad = 0;

// Workbooks.Open: external links are not updated (no question about them), a read-only
// recommendation and a file in use are not asked about, and the file does not join the list of
// recent files.
constexpr int kDoNotUpdateLinks = 0;
// Given as the password to modify: a workbook reserved for writing then fails to open instead of
// asking for its password.  Excel ignores it for every other workbook.
constexpr std::string_view kNoWritePassword = "kovrisk: no password to modify";

// XlSheetVisibility xlSheetVisible.
constexpr int kSheetVisible = -1;

template <typename... Arguments>
std::vector<DispatchArgument> arguments(Arguments&&... given) {
    std::vector<DispatchArgument> list;
    (list.push_back(std::forward<Arguments>(given)), ...);
    return list;
}

template <typename... Arguments>
std::vector<NamedArgument> named(Arguments&&... given) {
    std::vector<NamedArgument> list;
    (list.push_back(std::forward<Arguments>(given)), ...);
    return list;
}

}  // namespace

void ExcelFont::setColorIndex(int index) {
    font_.put(L"ColorIndex", DispatchArgument::integer(index));
}

std::string ExcelRange::value() {
    return range_.text(L"Value");
}

void ExcelRange::setValue(const std::string& text) {
    range_.put(L"Value", DispatchArgument::text(text));
}

std::unique_ptr<Font> ExcelRange::font() {
    return std::make_unique<ExcelFont>(range_.object(L"Font"));
}

std::string ExcelWorksheet::name() {
    return sheet_.text(L"Name");
}

void ExcelWorksheet::setName(const std::string& name) {
    sheet_.put(L"Name", DispatchArgument::text(name));
}

bool ExcelWorksheet::visible() {
    return sheet_.integer(L"Visible") == kSheetVisible;
}

void ExcelWorksheet::setVisible(bool visible) {
    sheet_.put(L"Visible", DispatchArgument::boolean(visible));
}

void ExcelWorksheet::remove() {
    sheet_.call(L"Delete");
}

void ExcelWorksheet::activate() {
    sheet_.call(L"Activate");
}

std::unique_ptr<Range> ExcelWorksheet::range(const std::string& address) {
    return std::make_unique<ExcelRange>(
        sheet_.object(L"Range", arguments(DispatchArgument::textByRef(address))));
}

void ExcelWorksheet::protect(const std::string& password, bool drawingObjects, bool contents,
                             bool scenarios) {
    sheet_.call(L"Protect", {},
                named(NamedArgument{L"Password", DispatchArgument::textByRef(password)},
                      NamedArgument{L"DrawingObjects", DispatchArgument::boolean(drawingObjects)},
                      NamedArgument{L"Contents", DispatchArgument::boolean(contents)},
                      NamedArgument{L"Scenarios", DispatchArgument::boolean(scenarios)}));
}

int ExcelWorksheets::count() {
    return sheets_.integer(L"Count");
}

void ExcelWorksheets::addAfter(Worksheet& after) {
    auto* sheet = dynamic_cast<ExcelWorksheet*>(&after);
    if (sheet == nullptr)
        throw notAnObjectError();
    sheets_.call(L"Add", arguments(DispatchArgument::omittedByRef(),
                                   DispatchArgument::object(sheet->dispatch())));
}

std::unique_ptr<Worksheets> ExcelWorkbook::worksheets() {
    return std::make_unique<ExcelWorksheets>(book_.object(L"WorkSheets"));
}

std::unique_ptr<Worksheet> ExcelWorkbook::worksheet(int index) {
    return std::make_unique<ExcelWorksheet>(
        book_.object(L"WorkSheets", arguments(DispatchArgument::integer(index))));
}

std::unique_ptr<Worksheet> ExcelWorkbook::worksheet(const std::string& name) {
    return std::make_unique<ExcelWorksheet>(
        book_.object(L"WorkSheets", arguments(DispatchArgument::textByRef(name))));
}

LoadedFormat ExcelWorkbook::fileFormat() {
    const int format = book_.integer(L"FileFormat");
    readFormat_ = format;
    const std::string name = "FileFormat " + std::to_string(format);
    if (format == kExcel8 || format == kWorkbookNormal)
        return {WorkbookFormat::Excel97, name};
    if (format == kOpenXmlWorkbook)
        return {WorkbookFormat::Ooxml, name};
    if (format == kOpenXmlMacroEnabled)
        return {WorkbookFormat::OoxmlMacroEnabled, name};
    return {WorkbookFormat::Other, name};
}

bool ExcelWorkbook::loadedWhole() {
    // Opened with xlNormalLoad: what Excel could not read whole never opened.
    return true;
}

bool ExcelWorkbook::protectsStructure() {
    return book_.integer(L"ProtectStructure") != 0;
}

bool ExcelWorkbook::readOnly() {
    return book_.integer(L"ReadOnly") != 0;
}

bool ExcelWorkbook::hasMacros() {
    return book_.integer(L"HasVBProject") != 0;
}

void ExcelWorkbook::saveAs(const NativePath& fileName, WorkbookFormat format,
                           const std::string& password) {
    if (format == WorkbookFormat::Other)
        throw AutomationError("SaveAs: no workbook format");
    int fileFormat = format == WorkbookFormat::Excel97             ? kExcel8
                     : format == WorkbookFormat::OoxmlMacroEnabled ? kOpenXmlMacroEnabled
                                                                   : kOpenXmlWorkbook;
    if (format == WorkbookFormat::Excel97) {
        // The value the workbook was read with: an Excel 2003 does not know xlExcel8.
        if (readFormat_ == kWorkbookNormal)
            fileFormat = kWorkbookNormal;
        // Saving in the Excel 97-2003 format runs the Compatibility Checker, whose dialog would
        // wait in a hidden Excel.  An Excel before 2007 has neither the checker nor the member.
        try {
            book_.put(L"CheckCompatibility", DispatchArgument::boolean(false));
        } catch (const AutomationError&) {
            if (book_.watch() != nullptr && book_.watch()->ended())
                throw;
        }
    }
    book_.call(L"SaveAs", {},
               named(NamedArgument{L"Filename", DispatchArgument::pathByRef(fileName)},
                     NamedArgument{L"FileFormat", DispatchArgument::integer(fileFormat)},
                     NamedArgument{L"Password", DispatchArgument::textByRef(password)}));
}

void ExcelWorkbook::close(bool saveChanges) {
    book_.call(L"Close", arguments(DispatchArgument::boolean(saveChanges)));
}

std::unique_ptr<Workbook> ExcelWorkbooks::open(const NativePath& fileName,
                                               const std::string& password) {
    if (ExcelWatch* watch = books_.watch()) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(fileName, error);
        watch->extendFor(error ? 0 : size);
    }
    Dispatch book = books_.objectOf(books_.call(
        L"Open", arguments(DispatchArgument::pathByRef(fileName)),
        named(NamedArgument{L"UpdateLinks", DispatchArgument::integer(kDoNotUpdateLinks)},
              NamedArgument{L"Password", DispatchArgument::textByRef(password)},
              NamedArgument{L"WriteResPassword", DispatchArgument::textByRef(kNoWritePassword)},
              NamedArgument{L"IgnoreReadOnlyRecommended", DispatchArgument::boolean(true)},
              NamedArgument{L"Notify", DispatchArgument::boolean(false)},
              NamedArgument{L"AddToMru", DispatchArgument::boolean(false)},
              NamedArgument{L"CorruptLoad", DispatchArgument::integer(kNormalLoad)})));
    // A workbook in a synced folder (OneDrive, SharePoint) opens with AutoSave on: every change
    // would be saved into the original, before and whatever the SaveAs.  An Excel without
    // AutoSave has no such member.
    bool autoSave = false;
    try {
        autoSave = book.integer(L"AutoSaveOn") != 0;
    } catch (const MissingMemberError&) {
    }
    if (autoSave)
        book.put(L"AutoSaveOn", DispatchArgument::boolean(false));
    return std::make_unique<ExcelWorkbook>(std::move(book));
}

ExcelApplication::~ExcelApplication() {
    if (ExcelWatch* watch = application_.watch())
        watch->stop();
}

void ExcelApplication::followProcess() {
    ExcelWatch* watch = application_.watch();
    if (watch == nullptr)
        return;
    try {
        const auto window =
            reinterpret_cast<HWND>(static_cast<INT_PTR>(application_.integer(L"Hwnd")));
        DWORD process = 0;
        if (window != nullptr && ::GetWindowThreadProcessId(window, &process) != 0)
            watch->follow(process);
    } catch (const AutomationError&) {
        // An Excel without a window: bounded all the same, but not ended.
    }
}

void ExcelApplication::setVisible(bool visible) {
    application_.put(L"Visible", DispatchArgument::boolean(visible));
    if (!visible)
        return;
    // The user's from now on: the user may take as long as the user likes.
    if (ExcelWatch* watch = application_.watch())
        watch->stop();
    // Handed to the user: an Excel under the user's control stays when the program lets go of it
    // (otherwise it quits with the last reference), and comes to the front.
    application_.put(L"UserControl", DispatchArgument::boolean(true));
    try {
        const auto window =
            reinterpret_cast<HWND>(static_cast<INT_PTR>(application_.integer(L"Hwnd")));
        if (window != nullptr) {
            if (::IsIconic(window))
                ::ShowWindow(window, SW_RESTORE);
            ::SetForegroundWindow(window);
        }
    } catch (const AutomationError&) {
        // An Excel without a window of its own to show: it is visible all the same.
    }
}

bool ExcelApplication::visible() {
    return application_.integer(L"Visible") != 0;
}

void ExcelApplication::setDisplayAlerts(bool displayAlerts) {
    application_.put(L"DisplayAlerts", DispatchArgument::boolean(displayAlerts));
}

void ExcelApplication::disableMacros() {
    application_.put(L"AutomationSecurity", DispatchArgument::integer(kForceDisableMacros));
}

void ExcelApplication::useUsersMacroSettings() {
    application_.put(L"AutomationSecurity", DispatchArgument::integer(kMacrosByUserSettings));
}

std::unique_ptr<Workbooks> ExcelApplication::workbooks() {
    return std::make_unique<ExcelWorkbooks>(application_.object(L"WorkBooks"));
}

void ExcelApplication::quit() {
    try {
        application_.call(L"Quit");
    } catch (const AutomationError&) {
        // An Excel that refuses to quit (a dialog asks something) would stay, invisible, holding
        // what it has open: it is ended.
        if (ExcelWatch* watch = application_.watch())
            watch->endExcel();
        throw;
    }
}

}  // namespace kovrisk
