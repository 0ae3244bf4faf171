// The user's LibreOffice settings file, as the hand-over reads it: any bytes give settings or a
// reason they were not understood; nothing else may happen.
#include <cstdint>
#include <string_view>

#include "workbook/calc_uno/users_macro_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kovrisk::usersMacroSecurityFrom(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
