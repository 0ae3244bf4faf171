// Keeps a window off the taskbar and the pager on X11 (_NET_WM_STATE_SKIP_TASKBAR and
// _NET_WM_STATE_SKIP_PAGER), where the window type alone does not keep every taskbar from
// listing it.  Elsewhere it does nothing.
#pragma once

class QWidget;

namespace kovrisk {

// Call before the window is first shown: the states are taken up when it is mapped.
void keepOffTaskbar(QWidget& window);

}  // namespace kovrisk
