// The status window's layout: sizes in pixels at 96 pixels per inch, fonts, colours and timings.
#pragma once

#include <QRect>
#include <QSize>
#include <Qt>
#include <chrono>

namespace kovrisk::layout {

inline constexpr QSize kClientSize{276, 72};
inline constexpr QRect kImage1{-4, -4, 413, 109};
inline constexpr QRect kLblMessage{5, 28, 268, 16};
inline constexpr QRect kEdit1{4, 4, 397, 19};

inline constexpr int kWindowFontPixels = 12;
inline constexpr int kLblMessageFontPixels = 16;
inline constexpr int kEdit1FontPixels = 13;
// Typing limit of Edit1; a path put in by the program is kept whole.
inline constexpr int kEdit1TypingLimit = 120;
inline constexpr Qt::GlobalColor kNavy = Qt::darkBlue;  // #000080

inline constexpr std::chrono::milliseconds kTimer1Interval{100};

}  // namespace kovrisk::layout
