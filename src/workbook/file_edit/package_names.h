// Part names of an OPC package (the zip entries of an .xlsx): their folders and their comparison.
#pragma once

#include <string>
#include <string_view>

namespace kovrisk::file_edit {

// The folder of `part`, with its trailing "/" ("" at the root).
std::string folderOf(std::string_view part);

// Whether two part names are the same part: ASCII letters compared without case.
bool samePartName(std::string_view left, std::string_view right);

}  // namespace kovrisk::file_edit
