#pragma once
// Colours as they are stored in a 32-bit RGB pixel (0xffRRGGBB).

#include <cstdint>

using F_Rgb = std::uint32_t;

constexpr F_Rgb makeRgb(int r, int g, int b) {
  return 0xff000000u | (static_cast<std::uint32_t>(r & 0xff) << 16) | (static_cast<std::uint32_t>(g & 0xff) << 8) |
         static_cast<std::uint32_t>(b & 0xff);
}
constexpr int redOf(F_Rgb c) { return static_cast<int>((c >> 16) & 0xff); }
constexpr int greenOf(F_Rgb c) { return static_cast<int>((c >> 8) & 0xff); }
constexpr int blueOf(F_Rgb c) { return static_cast<int>(c & 0xff); }
