// Shift-JIS conversion on Windows: code page 932, named explicitly, never the ANSI code page of the
// machine the program happens to run on.
#include <windows.h>

#include <climits>
#include <stdexcept>

#include "platform/text_codec.h"

namespace kovrisk {

namespace {

constexpr UINT kShiftJis = 932;

int checkedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX))
        throw std::length_error("text too long");
    return static_cast<int>(size);
}

template <typename Wide>
Wide toWide(std::string_view text) {
    if (text.empty())
        return {};
    const int length = checkedLength(text.size());
    const int needed = ::MultiByteToWideChar(kShiftJis, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    Wide output(static_cast<std::size_t>(needed), 0);
    ::MultiByteToWideChar(kShiftJis, 0, text.data(), length,
                          reinterpret_cast<wchar_t*>(output.data()), needed);
    return output;
}

}  // namespace

std::string toShiftJis(const NativeString& text) {
    if (text.empty())
        return {};
    // No best fit: a character Shift-JIS cannot hold becomes "?", never a look-alike such as
    // a backslash that would change how a path splits.
    const int length = checkedLength(text.size());
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int needed =
        ::WideCharToMultiByte(kShiftJis, flags, text.data(), length, nullptr, 0, "?", nullptr);
    if (needed <= 0)
        return {};
    std::string output(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(kShiftJis, flags, text.data(), length, output.data(), needed, "?",
                          nullptr);
    return output;
}

std::string toShiftJis(const NativePath& path) {
    return toShiftJis(path.native());
}

NativeString fromShiftJis(std::string_view text) {
    return toWide<NativeString>(text);
}

std::u16string shiftJisToUtf16(std::string_view text) {
    return toWide<std::u16string>(text);
}

}  // namespace kovrisk
