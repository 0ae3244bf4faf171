// Writing the control sheet into a workbook file without the spreadsheet application: where the
// application's own save would not keep the rest of the workbook as it was.
#pragma once

#include <string>
#include <string_view>

namespace kovrisk {

// The control sheet as a lock lays it out, its texts in UTF-16.
struct ControlSheet {
    std::u16string name;
    // A1.
    std::u16string warning;
    // Z2, as text, in white (colour index 2).
    std::u16string machineTag;
    // The sheet's protection password: contents, drawing objects and scenarios protected.
    std::u16string protectionPassword;
};

struct ControlSheetEdit {
    enum class Outcome {
        // `file` holds the workbook with the control sheet in place of any earlier one, the
        // first visible worksheet active, everything else as it was.
        Edited,
        // The writer does not take this workbook (a format or structure it does not know): the
        // application adds the sheet and saves.  `why` says why, for the log.
        NotTaken,
        // The file does not hold together (a part that is no XML, data that does not unpack):
        // nothing is saved.  `why` says what.
        Damaged,
    };
    Outcome outcome = Outcome::NotTaken;
    std::string file{};
    std::string why{};
};

class ControlSheetWriter {
public:
    virtual ~ControlSheetWriter() = default;
    // `workbookFile` (an unencrypted workbook's bytes) with `sheet` added as its last sheet,
    // hidden and protected, in place of any worksheet named like it (ASCII letters in any case).
    virtual ControlSheetEdit addControlSheet(std::string_view workbookFile,
                                             const ControlSheet& sheet) = 0;
};

}  // namespace kovrisk
