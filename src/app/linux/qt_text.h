// The toolkit's edge for texts: the program's Shift-JIS texts as Qt's strings.
#pragma once

#include <QString>
#include <string_view>

#include "platform/text_codec.h"

namespace kovrisk {

inline QString qtText(std::string_view shiftJis) {
    return QString::fromStdString(fromShiftJis(shiftJis));
}

}  // namespace kovrisk
