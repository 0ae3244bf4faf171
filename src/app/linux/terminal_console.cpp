#include "app/linux/terminal_console.h"

#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "platform/posix/iconv_converter.h"

namespace kovrisk {

namespace {

// The longest answer read at the confirmation.
constexpr std::size_t kLongestAnswer = 256;

std::string localeCodeset() {
    const std::string codeset = nl_langinfo(CODESET);
    std::string folded;
    for (const char c : codeset) {
        if (c != '-' && c != '_')
            folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    // A terminal under the "C" locale is in practice a UTF-8 one; ASCII would turn every
    // Japanese text into question marks.
    if (folded == "UTF8" || folded == "ANSIX3.41968" || folded == "ASCII" || folded == "USASCII") {
        return {};
    }
    return codeset;
}

std::string_view trimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

TerminalConsole::TerminalConsole(std::FILE* out, std::FILE* in)
    : out_(out), in_(in), codeset_(localeCodeset()) {}

void TerminalConsole::write(std::string_view utf8) {
    std::string bytes;
    if (codeset_.empty()) {
        bytes = utf8;
    } else {
        // What the locale's character set cannot hold becomes "?".
        bytes = IconvConverter(codeset_.c_str(), "UTF-8").convertFromUtf8(utf8);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
    std::fflush(out_);
}

void TerminalConsole::writeLine(std::string_view utf8) {
    write(std::string(utf8) + '\n');
}

void TerminalConsole::writeLines(std::string_view prefix, std::string_view utf8) {
    std::string text(prefix);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')
            continue;
        text += utf8[i];
    }
    writeLine(text);
}

std::optional<std::string> TerminalConsole::ask(std::string_view prompt) {
    write(prompt);
    // One short line is read, no more: a longer one (or endless input) is no "yes".
    std::string line;
    int c = std::fgetc(in_);
    for (; c != EOF && c != '\n' && line.size() <= kLongestAnswer; c = std::fgetc(in_))
        line += static_cast<char>(c);
    const bool atEnd = c == EOF;
    // Keep the output line by line where the answer was not echoed: at the end of input, or when
    // the answers come from a pipe.
    if (atEnd || !::isatty(::fileno(in_)))
        write("\n");
    if (atEnd && line.empty())
        return std::nullopt;
    return line;
}

bool isYes(std::string_view answer) {
    if (answer.size() > kLongestAnswer)
        return false;
    std::string folded;
    for (const char c : trimBlanks(answer)) {
        folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded == "y" || folded == "yes";
}

}  // namespace kovrisk
