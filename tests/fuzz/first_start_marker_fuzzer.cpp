// The office's configuration files as the profile's first-start marker reads them: the product's
// version out of any bytes, and the marker added once, before the end of the items, or not at all.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "workbook/calc_uno/first_start_marker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string version = kovrisk::productVersionIn(bytes);
    if (version.size() > 16 || version.find('.') == std::string::npos) {
        if (!version.empty())
            std::abort();
    }
    const std::string marked = kovrisk::withFirstStartMarker(bytes, "7.4");
    if (!marked.empty()) {
        const std::size_t marker = marked.find("ooSetupLastVersion");
        if (marker == std::string::npos ||
            marked.find("ooSetupLastVersion", marker + 1) != std::string::npos ||
            marked.size() <= size)
            std::abort();
    }
    return 0;
}
