// The binary workbook editor on any workbook stream (put in a compound file, so that the fuzzer's
// changes reach the records): it edits, declines or reports damage, and never reads out of
// bounds, leaks or fails otherwise.  What it edited does not turn out damaged when edited again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/compound_file_writer.h"
#include "workbook/file_edit/biff8_control_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kovrisk::ControlSheetEdit;
    using kovrisk::encryption::CompoundEntry;
    static const kovrisk::ControlSheet sheet{u"Kovrisk", u"warning", u"A79E9E8E", u"password"};
    const std::string file = kovrisk::encryption::writeCompoundFile(CompoundEntry::storage(
        u"Root Entry", {CompoundEntry::stream(
                           u"Workbook", std::string(reinterpret_cast<const char*>(data), size))}));
    const ControlSheetEdit edit = kovrisk::file_edit::addBiff8ControlSheet(file, sheet);
    if (edit.outcome == ControlSheetEdit::Outcome::Edited &&
        kovrisk::file_edit::addBiff8ControlSheet(edit.file, sheet).outcome ==
            ControlSheetEdit::Outcome::Damaged) {
        std::abort();
    }
    return 0;
}
