// The status window's layout, the same on every platform: sizes in pixels at 96 pixels per inch,
// font sizes, the text colour and the timer's interval.  Each window turns these into its
// toolkit's own types.
#pragma once

#include <cstdint>

namespace kovrisk::layout {

// A box within the client area: its top-left corner and its size.
struct Box {
    int left;
    int top;
    int width;
    int height;
};

// Where the window was designed to appear (the Windows window; the Linux one sits in the
// top-left corner).
inline constexpr int kDesignLeft = 101;
inline constexpr int kDesignTop = 77;
inline constexpr int kClientWidth = 276;
inline constexpr int kClientHeight = 72;
inline constexpr Box kImage1{-4, -4, 413, 109};
inline constexpr Box kLblMessage{5, 28, 268, 16};
inline constexpr Box kEdit1{4, 4, 397, 19};

inline constexpr int kWindowFontPixels = 12;
inline constexpr int kLblMessageFontPixels = 16;
inline constexpr int kEdit1FontPixels = 13;
// Typing limit of Edit1; a path put in by the program is kept whole.
inline constexpr int kEdit1TypingLimit = 120;
// Navy, #000080.
inline constexpr std::uint8_t kTextRed = 0x00;
inline constexpr std::uint8_t kTextGreen = 0x00;
inline constexpr std::uint8_t kTextBlue = 0x80;

inline constexpr int kTimer1IntervalMilliseconds = 100;

}  // namespace kovrisk::layout
