// Byte-level helpers for Shift-JIS text (code page 932).
//
// All text inside the program is held as Shift-JIS bytes: lengths, cuts, case folding and the file
// password count bytes.  Case folding is ASCII only; path splitting knows that a 0x5C byte may be
// the second byte of a double-byte character and is then no separator.
#pragma once

#include <string>
#include <string_view>

namespace kovrisk {

// How a path names its folders: Windows splits at "\" , "/" and ":", POSIX at "/" only.
enum class PathStyle { Windows, Posix };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

// True for a byte that opens a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool isLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// a-z to A-Z (or back), every other byte unchanged.
std::string asciiUpper(std::string_view text);
std::string asciiLower(std::string_view text);
char asciiUpper(char byte);
char asciiLower(char byte);

// Removes every byte of value 0x20 or below from both ends.
std::string trimControl(std::string_view text);

// The part of `path` after its last separator; a trail byte of a double-byte character is never a
// separator.
std::string_view fileNamePart(std::string_view path, PathStyle style);

// The extension of a file name: from its last "." to the end, dot included; empty without a dot.
std::string_view extensionOf(std::string_view fileName);

}  // namespace kovrisk
