// The one rule for an application's error text before it goes into the log: blanks, control
// characters and full stops at its end are dropped.
#pragma once

#include <string_view>

namespace kovrisk {

template <typename Char>
std::basic_string_view<Char> trimmedErrorText(std::basic_string_view<Char> text) {
    while (!text.empty() && (text.back() <= Char(' ') || text.back() == Char('.')))
        text.remove_suffix(1);
    return text;
}

}  // namespace kovrisk
