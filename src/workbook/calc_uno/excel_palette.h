// Excel's default colour palette, for Font.ColorIndex.
#pragma once

#include <cstdint>
#include <optional>

namespace kovrisk {

// xlColorIndexAutomatic: the font colour follows the cell's background.
inline constexpr int kColorIndexAutomatic = -4105;

// The 0xRRGGBB colour of palette entry `index` (1 to 56); nullopt for any other index.
std::optional<std::int32_t> excelPaletteColor(int index);

}  // namespace kovrisk
