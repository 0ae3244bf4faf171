#include "fakes/standin_control_sheet_writer.h"

#include <algorithm>

#include "platform/text_codec.h"
#include "support/shift_jis.h"
#include "support/texts.h"

namespace kovrisk::testing {

namespace {

// The stand-in workbook holds Shift-JIS; the writer gets UTF-16.  The stand-in knows the
// warning's text and ASCII.
std::string shiftJis(const std::u16string& text) {
    if (text == shiftJisToUtf16(texts::kControlSheetWarning))
        return std::string(texts::kControlSheetWarning);
    std::string out;
    for (char16_t unit : text)
        out += unit < 0x80 ? static_cast<char>(unit) : '?';
    return out;
}

}  // namespace

ControlSheetEdit StandinControlSheetWriter::addControlSheet(std::string_view file,
                                                            const ControlSheet& sheet) {
    lastSheet = sheet;
    if (answer)
        return {*answer, {}, "as told"};
    StandinWorkbook book = parseStandinWorkbook(file, "workbook");
    const std::string name = shiftJis(sheet.name);
    std::erase_if(book.sheets, [&](const StandinSheet& present) {
        return asciiUpper(present.name) == asciiUpper(name);
    });
    StandinSheet control;
    control.name = name;
    control.visible = false;
    control.cells["A1"] = shiftJis(sheet.warning);
    control.cells["Z2"] = shiftJis(sheet.machineTag);
    control.colorIndexes["Z2"] = 2;
    control.protection = StandinProtection{shiftJis(sheet.protectionPassword), true, true, true};
    bool activeFound = false;
    for (StandinSheet& present : book.sheets) {
        present.active = !activeFound && present.visible;
        activeFound = activeFound || present.visible;
    }
    book.sheets.push_back(control);
    ++edits;
    return {ControlSheetEdit::Outcome::Edited, standinWorkbookFile(book), {}};
}

}  // namespace kovrisk::testing
