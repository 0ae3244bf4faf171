// Which sheet tabs are selected: the tabSelected flag of a sheet part's first sheet view.
#pragma once

#include <string>
#include <string_view>

namespace kovrisk::file_edit {

// Whether the sheet part that begins with `head` (its first bytes, or all of it) has its first
// sheet view's tab selected.  Reads no further than the sheet view, or the cells.
bool tabSelected(std::string_view head);

// The sheet part `part` with its first sheet view's tab selected or not, and no other view's.
// Throws XmlDamaged when it is no XML.
std::string withTabSelected(std::string_view part, const std::string& partName, bool selected);

}  // namespace kovrisk::file_edit
