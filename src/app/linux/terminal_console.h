// The terminal as the program talks to it when there is no display: lines of text on standard
// error in the locale's encoding, and one-line answers read from standard input.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace kovrisk {

class TerminalConsole {
public:
    // `out` gets the text, `in` gives the answers.  The locale must be set (setlocale) before.
    TerminalConsole(std::FILE* out, std::FILE* in);

    // Writes `utf8` and a line break.
    void writeLine(std::string_view utf8);
    // Writes each line of `utf8` (lines joined by CR LF or LF) on a line of its own, the first
    // one behind `prefix`.
    void writeLines(std::string_view prefix, std::string_view utf8);
    // Writes `prompt` without a line break and reads one line (its line break removed); nullopt at
    // the end of input.
    std::optional<std::string> ask(std::string_view prompt);

private:
    void write(std::string_view utf8);

    std::FILE* out_;
    std::FILE* in_;
    // The locale's character set, or empty when it is UTF-8 or plain ASCII (the "C" locale), where
    // the text goes out as UTF-8 unchanged.
    std::string codeset_;
};

// True for "y" and "yes" in any letter case, blanks around them ignored.
bool isYes(std::string_view answer);

}  // namespace kovrisk
