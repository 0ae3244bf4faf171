// The upper case of a UTF-16 code unit, as the compound file format compares entry names: Unicode's
// simple upper-case mapping of the Basic Multilingual Plane.
#pragma once

namespace kovrisk::encryption {

// `unit`'s upper case, or `unit` itself where it has none of one unit (surrogates among them).
char16_t utf16UpperCase(char16_t unit);

}  // namespace kovrisk::encryption
