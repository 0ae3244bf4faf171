#include "app/win32/command_line.h"

namespace kovrisk {

namespace {

bool separates(wchar_t character) {
    return character <= L' ';
}

// Every token of the line in order, empty ones ("") included.
std::vector<std::wstring> tokens(std::wstring_view line) {
    std::vector<std::wstring> found;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && separates(line[i]))
            ++i;
        if (i == line.size())
            return found;
        std::wstring token;
        bool quoted = false;
        for (; i < line.size() && (quoted || !separates(line[i])); ++i) {
            if (line[i] == L'"') {
                quoted = !quoted;
            } else {
                token += line[i];
            }
        }
        found.push_back(std::move(token));
    }
}

std::vector<std::wstring> withoutEmpty(std::vector<std::wstring> found, std::size_t skip) {
    std::vector<std::wstring> arguments;
    for (std::size_t i = skip; i < found.size(); ++i) {
        if (!found[i].empty())
            arguments.push_back(std::move(found[i]));
    }
    return arguments;
}

}  // namespace

std::vector<std::wstring> splitCommandLine(std::wstring_view commandLine) {
    return withoutEmpty(tokens(commandLine), 0);
}

std::vector<std::wstring> programArguments(std::wstring_view commandLine) {
    // The first token is the program's own name, even when it is empty.
    return withoutEmpty(tokens(commandLine), 1);
}

}  // namespace kovrisk
