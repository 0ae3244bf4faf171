// The status window's layout, the same on every platform: sizes in pixels at 96 pixels per inch,
// fonts, the text colour and the timer's interval.  Each window turns these into its
// toolkit's own types.
#pragma once

#include <cstdint>
#include <string_view>

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
// The gradient picture, stretched past every edge of the client area.
inline constexpr Box kImage1{-4, -4, 413, 109};
// The one line of status text.
inline constexpr Box kLblMessage{5, 28, 268, 16};
// The hidden edit box that holds the target path.
inline constexpr Box kEdit1{4, 4, 397, 19};

// Font faces (Shift-JIS): the window's and Edit1's, and lblMessage's.
inline constexpr std::string_view kWindowFontFace = "ＭＳ Ｐゴシック";
inline constexpr std::string_view kLblMessageFontFace = "HG丸ｺﾞｼｯｸM-PRO";
inline constexpr int kWindowFontPixels = 12;
inline constexpr int kLblMessageFontPixels = 16;
inline constexpr int kEdit1FontPixels = 13;
// Typing limit of Edit1; a path put in by the program is kept whole.
inline constexpr int kEdit1TypingLimit = 120;
// Navy, #000080.
inline constexpr std::uint8_t kTextRed = 0x00;
inline constexpr std::uint8_t kTextGreen = 0x00;
inline constexpr std::uint8_t kTextBlue = 0x80;

// The one tick that starts the lock-or-open run comes this long after the window is shown.
inline constexpr int kTimer1IntervalMilliseconds = 100;

}  // namespace kovrisk::layout
