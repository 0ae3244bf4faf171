// The stand-in spreadsheet application's own workbook file, and helpers for tests to write a
// workbook from a description and to read one back.
//
// The file is text, one item a line, kept in the container of the workbook's format
// (fakes/standin_container.h).  Every text in it is escaped: the bytes 0x00-0x20, "%" and
// 0x7F are written as %XX, all other bytes (Shift-JIS included) as they are.
//
//   KOVRISK-STANDIN-WORKBOOK 1
//   password <open password>       empty: the workbook opens without a password
//   macro auto-run                 only when the workbook carries an auto-run macro
//   format <name>                  the file's real format, when it is not "xlsx": "xls" (Excel
//                                  97-2003), or the XlFileFormat number of another one ("44":
//                                  HTML, "39": Excel 95, ...), which no lock may keep
//   damaged                        only when the application can read the file only in part
//   protect-structure              only when the workbook's structure is protected
//   in-use                         only when another user has the file open (it opens read-only)
//   links                          only when the workbook links to other workbooks
//   read-only-recommended          only when saved with "read-only recommended"
//   write-password <password>      only when the workbook is reserved for writing (a password to
//                                  modify)
//   sheet <name>                   a worksheet; the lines below belong to it up to the next "sheet"
//   hidden                         only when the sheet is hidden
//   active                         only for the active sheet
//   protect <DCS> <password>       only when protected; D, C, S are 1 or 0 for the DrawingObjects,
//                                  Contents and Scenarios flags of Protect
//   cell <address> <text>          one per cell that holds text
//   color <address> <index>        one per cell whose font colour index was set
//
// A file that does not follow this exactly is not a workbook: opening it fails.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/automation.h"

namespace kovrisk::testing {

struct StandinProtection {
    std::string password{};
    bool drawingObjects = true;
    bool contents = true;  // cells cannot be edited
    bool scenarios = true;
    friend bool operator==(const StandinProtection&, const StandinProtection&) = default;
};

struct StandinSheet {
    std::string name{};
    bool visible = true;
    // Exactly one sheet of a workbook is active; when none is marked, the first visible one is.
    bool active = false;
    std::optional<StandinProtection> protection{};
    std::map<std::string, std::string> cells{};  // "A1"-style address (upper case) -> text
    std::map<std::string, int> colorIndexes{};   // address -> font colour index
    friend bool operator==(const StandinSheet&, const StandinSheet&) = default;
};

// The real format a stand-in workbook has when its file says none.
inline constexpr std::string_view kDefaultFormat = "xlsx";

struct StandinWorkbook {
    std::string openPassword{};          // empty: not protected
    bool autoRunMacro = false;           // runs on Open unless macros were disabled
    std::string format{kDefaultFormat};  // "xlsx", "xls", or another format's XlFileFormat
    bool damaged = false;                // loads with a warning, in part
    bool structureProtected = false;
    bool inUse = false;                  // another user has it open: it opens read-only
    bool externalLinks = false;          // links to other workbooks, which Open may update
    bool readOnlyRecommended = false;    // Open recommends opening it read-only
    std::string writePassword{};         // the password to modify; empty: none
    std::vector<StandinSheet> sheets{};  // in order; none at all stands for a chart-only workbook

    // The sheet whose name equals `name` regardless of ASCII letter case, or nullptr.
    const StandinSheet* sheet(std::string_view name) const;
    friend bool operator==(const StandinWorkbook&, const StandinWorkbook&) = default;
};

// "a1" -> "A1"; nullopt for anything that is not one cell of a worksheet (A1 to XFD1048576).
std::optional<std::string> canonicalCellAddress(std::string_view address);

// Writes `book` to `path` as it is described (no rule of the application is checked).
// Fails with an AutomationError when the file cannot be written or an address is not a cell.
void writeStandinWorkbook(const NativePath& path, const StandinWorkbook& book);

// Reads the workbook at `path` and checks that `password` is exactly its open password (empty for
// an unprotected workbook).  This is stricter than Workbooks.Open, which opens an unprotected
// workbook with any password, so that a test can tell which password a file was saved with.
// Fails with an AutomationError for a wrong password or a file that is not a workbook.
StandinWorkbook readStandinWorkbook(const NativePath& path, const std::string& password);

// Reads the workbook at `path`, whatever its password (as the application loads it).
StandinWorkbook loadStandinWorkbook(const NativePath& path);

// The text of `book`; the file of `book` (its text in the container of its format); and the
// workbook a file describes (`path` names it in the error of a file that is no workbook).
std::string standinWorkbookText(const StandinWorkbook& book);
std::string standinWorkbookFile(const StandinWorkbook& book);
StandinWorkbook parseStandinWorkbook(std::string_view file, const NativePath& path);

}  // namespace kovrisk::testing
