// What an OOXML package's own XML tells, read from parts that anybody may have written: linear
// in their size, and each read no further than a bound.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kovrisk::package {

// How much of one part is read.  The parts read here (the workbook part, content types,
// relationships) are small; the rest of a larger one is not looked at.
inline constexpr std::size_t kPartReadLimit = 16 * 1024 * 1024;
// How many relationship parts are read, and how many bytes of them all together.
inline constexpr std::size_t kMaxRelationshipParts = 10000;
inline constexpr std::size_t kRelationshipsReadLimit = 4 * kPartReadLimit;

// Whether the workbook part carries <workbookProtection lockStructure="1"> (or "true"), with or
// without a namespace prefix.
bool workbookPartLocksStructure(std::string_view workbookXml);

// The part names (without a leading "/") the package declares: those its content types part
// ("[Content_Types].xml") names one by one, and those its relationships reach from the package's
// own ("_rels/.rels"), relationship parts and the content types part included.  `readPart` gives
// a part's bytes (at most kPartReadLimit of them), or nothing for a part the package lacks.
std::set<std::string> declaredParts(
    const std::function<std::optional<std::string>(const std::string&)>& readPart);

// The part a relationship of `source` with target `target` names: relative to the source part's
// folder unless it starts with "/", "." and ".." steps resolved; empty when it leaves the package.
std::string relationshipTarget(std::string_view source, std::string_view target);

// The relationship part of `part`: "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels".
std::string relationshipPartOf(std::string_view part);

}  // namespace kovrisk::package
