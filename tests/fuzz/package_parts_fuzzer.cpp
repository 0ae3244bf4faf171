// The package checks on any text: the structure lock test, and the walk over content types and
// relationships (the input serves as the content types part and as the relationship parts of the
// package and of its workbook part).  Each part named is a clean path inside the package.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/package_parts.h"

using namespace kovrisk::package;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    workbookPartLocksStructure(text);
    const auto parts =
        declaredParts([&text](const std::string& name) -> std::optional<std::string> {
            if (name == "[Content_Types].xml" || name == "_rels/.rels" ||
                name == "xl/_rels/workbook.xml.rels") {
                return text;
            }
            return std::nullopt;
        });
    for (const std::string& part : parts) {
        if (part.empty() || part.front() == '/' || part.back() == '/' ||
            part.find("//") != std::string::npos || part == ".." || part.starts_with("../") ||
            part.find("/../") != std::string::npos || part.find("/./") != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
