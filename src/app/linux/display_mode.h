// Whether the program runs with a window (a display is there) or in the terminal.
#pragma once

#include <string>
#include <vector>

namespace kovrisk {

// True when $DISPLAY or $WAYLAND_DISPLAY names a display.
bool displayAvailable();

// The arguments to start the GUI toolkit with: the program name, and the windowing system to use
// unless the user chose one ($QT_QPA_PLATFORM).  X11 is preferred where both are there, since only
// there can a window place itself at the corner of the screen and above the others.
std::vector<std::string> toolkitArguments(const char* programName);

}  // namespace kovrisk
