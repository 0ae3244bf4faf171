// The program's message boxes with Qt: caption "Kovrisk", no icon, OK alone or OK and Cancel with
// Cancel the default.
#pragma once

#include <QString>

#include "support/message_boxes.h"

namespace kovrisk {

// `text` has its lines joined by CR LF or LF.  Escape and closing the box count as Cancel.
BoxAnswer showMessageBox(const QString& text, BoxButtons buttons);

}  // namespace kovrisk
