// The program's command line, split into arguments the way the program has always read it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kovrisk {

// Splits a whole command line (the program's own name first).  Blanks and control characters
// separate arguments; a double quote groups what follows up to the next double quote into the
// current argument and is itself dropped; a backslash is an ordinary character.  An argument that
// comes out empty (an empty pair of double quotes) is no argument.
std::vector<std::wstring> splitCommandLine(std::wstring_view commandLine);

// The arguments after the program's own name.
std::vector<std::wstring> programArguments(std::wstring_view commandLine);

}  // namespace kovrisk
