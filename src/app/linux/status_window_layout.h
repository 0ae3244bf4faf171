// The status window's layout (app/status_window_layout.h) in Qt's types.
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <chrono>

#include "app/status_window_layout.h"

namespace kovrisk::layout {

constexpr QRect toRect(Box box) {
    return QRect(box.left, box.top, box.width, box.height);
}

inline constexpr QSize kClientSize{kClientWidth, kClientHeight};
inline constexpr QRect kImage1Rect = toRect(kImage1);
inline constexpr QRect kLblMessageRect = toRect(kLblMessage);
inline constexpr QRect kEdit1Rect = toRect(kEdit1);
inline const QColor kNavy{kTextRed, kTextGreen, kTextBlue};
inline constexpr std::chrono::milliseconds kTimer1Interval{kTimer1IntervalMilliseconds};

}  // namespace kovrisk::layout
