// Writes the control sheet into a stand-in workbook file as the real writer does into a package:
// the file's own sheets kept, the sheet added last, hidden and protected, the first visible sheet
// active.  Or answers as told: not taken, or damaged.
#pragma once

#include <optional>

#include "fakes/standin_workbook_file.h"
#include "workbook/control_sheet_writer.h"

namespace kovrisk::testing {

class StandinControlSheetWriter : public ControlSheetWriter {
public:
    ControlSheetEdit addControlSheet(std::string_view file, const ControlSheet& sheet) override;

    // Every workbook gets this answer in place of an edit.
    std::optional<ControlSheetEdit::Outcome> answer;
    int edits = 0;
    // The last sheet it was given.
    ControlSheet lastSheet{};
};

}  // namespace kovrisk::testing
