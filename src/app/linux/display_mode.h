// Whether the program runs with a window or in the terminal.  No connection is made here to find
// out: connecting to an X server only to test it and leaving again can make a server with no
// other client reset, and the window's own connection then fails.  The GUI toolkit is started on
// the windowing systems the environment names, with a platform without a screen last; the
// toolkit ending up on that one means there is no display, and the terminal takes over.
#pragma once

#include <string>
#include <vector>

namespace kovrisk {

// The platform the toolkit falls back to when no windowing system could be started.
inline constexpr char kNoDisplayPlatform[] = "minimal";

// The windowing systems to try, in order: the user's choice ($QT_QPA_PLATFORM) where there is
// one, else X11 where $DISPLAY is set, then Wayland where $WAYLAND_DISPLAY names a compositor's
// socket.  X11 comes first: only there can a window place itself at the corner of the screen and
// above the others.  Empty when neither $DISPLAY nor $WAYLAND_DISPLAY is set: the terminal.
std::vector<std::string> windowingSystems();

// The arguments to start the GUI toolkit with: the program name, and every one of `systems`
// followed by the platform without a screen.
std::vector<std::string> toolkitArguments(const char* programName,
                                          const std::vector<std::string>& systems);

}  // namespace kovrisk
