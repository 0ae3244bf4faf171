// The container a stand-in workbook's text is kept in, as real workbook files are: a zip package
// for the formats that are packages (.xlsx, .xlsm), a compound file whose workbook stream is BIFF8
// records for Excel 97-2003, the bare text for other formats.  So the file's bytes say what its
// format is, and the real encryption takes the stand-in's files as it takes Excel's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kovrisk::testing {

// The file bytes of `text` for a workbook of `format` ("xls", "xlsx", "xlsm" or another).
std::string packStandinText(std::string_view format, std::string_view text);

// The text a stand-in file holds: the container's content, or the bytes themselves when they are
// in no container; nullopt when a container does not hold together.
std::optional<std::string> unpackStandinText(std::string_view file);

}  // namespace kovrisk::testing
