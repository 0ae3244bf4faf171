// The package editor on any bytes: it edits, declines or reports damage, and never reads out of
// bounds, leaks or fails otherwise.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "workbook/file_edit/ooxml_control_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kovrisk::ControlSheet sheet{u"Kovrisk", u"warning", u"A79E9E8E", u"password"};
    try {
        kovrisk::file_edit::addOoxmlControlSheet(
            std::string_view(reinterpret_cast<const char*>(data), size), sheet);
    } catch (const std::runtime_error&) {
        // A package libzip cannot write back (an unwritable name, say) fails the lock cleanly.
    }
    return 0;
}
