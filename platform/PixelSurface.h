#pragma once
// Direct access to the scanlines of an image, for the depth-buffered
// primitives that write pixels without going through a device context.

#include <cstdint>

#include "platform/Color.h"

struct PixelSurface {
  F_Rgb* bits = nullptr;  // row 0 first; rows grow downwards
  int width = 0;
  int height = 0;
  int stride = 0;  // pixels from one row to the next

  // 0 <= x < width, 0 <= y < height
  F_Rgb* row(int y) const { return bits + static_cast<std::ptrdiff_t>(y) * stride; }
};
