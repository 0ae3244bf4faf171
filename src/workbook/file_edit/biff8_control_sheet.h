// The control sheet written into a binary workbook (.xls, BIFF8 in a compound file) itself.
#pragma once

#include <string_view>

#include "workbook/control_sheet_writer.h"

namespace kovrisk::file_edit {

// The compound file `file` with `sheet` as the last, hidden, protected worksheet of its workbook
// stream in place of any earlier one, and its first visible worksheet active.  In the workbook
// stream, changed: a white font and a cell format added, the new BOUNDSHEET8, the shared strings
// extended and their EXTSST rebuilt, the self-reference's sheet count, the sheet id list, the
// window's active tab and the sheets' selection flags, the cell formats' checksum, every stream
// position; added: the sheet's substream at the end; removed: earlier control sheets with their
// substreams.  Every other record, stream and storage is kept as it was.
ControlSheetEdit addBiff8ControlSheet(std::string_view file, const ControlSheet& sheet);

}  // namespace kovrisk::file_edit
