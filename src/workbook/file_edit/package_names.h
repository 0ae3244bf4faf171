// Part names of an OPC package (the zip entries of an .xlsx) and the targets of relationships.
#pragma once

#include <string>
#include <string_view>

namespace kovrisk::file_edit {

// The part a relationship of `source` (a part name, empty for the package) points at with
// `target`: relative to the source's folder, or absolute from the package's root.  Without the
// leading "/", "." and ".." resolved (".." above the root stays at the root).
std::string resolveTarget(std::string_view source, std::string_view target);

// The folder of `part`, with its trailing "/" ("" at the root).
std::string folderOf(std::string_view part);

// Whether two part names are the same part: ASCII letters compared without case.
bool samePartName(std::string_view left, std::string_view right);

}  // namespace kovrisk::file_edit
