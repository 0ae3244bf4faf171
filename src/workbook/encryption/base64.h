// Base64 (RFC 4648, with padding), as the XML encryption descriptor holds its binary values.
#pragma once

#include <string>
#include <string_view>

namespace kovrisk::encryption {

std::string base64(std::string_view bytes);

}  // namespace kovrisk::encryption
