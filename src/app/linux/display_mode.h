// Whether the program runs with a window (a display it can reach is there) or in the terminal.
#pragma once

#include <string>
#include <vector>

namespace kovrisk {

enum class DisplayKind { None, X11, Wayland };

// The display to show the window on: X11 when $DISPLAY names a server that accepts a connection,
// else Wayland when $WAYLAND_DISPLAY names a compositor's socket, else none.  X11 comes first:
// only there can a window place itself at the corner of the screen and above the others.
DisplayKind usableDisplay();

// The arguments to start the GUI toolkit with: the program name, and the windowing system of
// `display` unless the user chose one ($QT_QPA_PLATFORM).
std::vector<std::string> toolkitArguments(const char* programName, DisplayKind display);

}  // namespace kovrisk
