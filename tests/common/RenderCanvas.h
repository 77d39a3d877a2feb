#pragma once
// A small drawing target for the rendering tests: a surface, its depth buffer,
// a colour table whose entry i is the number i (so every pixel shows the
// colour index it was given), and a screen map with one pixel per unit:
// column = y, row = 20 - z.

#include <gtest/gtest.h>

#include <set>
#include <span>
#include <utility>
#include <vector>

#include "common/F_DepthBuffer.h"
#include "common/F_ScreenMap.h"
#include "platform/PixelSurface.h"

struct RenderCanvas {
  static constexpr F_Rgb kBackground = 0xffffffffu;

  explicit RenderCanvas(int width = 24, int height = 24) : pixels(width * height, kBackground), depth(width, height) {
    surface.bits = pixels.data();
    surface.width = width;
    surface.height = height;
    surface.stride = width;
    map.scaleX1 = 1.0;
    map.originX1 = 0.0;
    map.scaleX2 = -1.0;
    map.originX2 = 20.0;
    for (int i = 1; i <= 32000; ++i) table.push_back(static_cast<F_Rgb>(i));
  }

  std::span<const F_Rgb> colors() const { return table; }
  F_Rgb at(int column, int row) const { return pixels[row * surface.width + column]; }

  // Every pixel that is not background, as (column, row).
  std::set<std::pair<int, int>> drawn() const {
    std::set<std::pair<int, int>> out;
    for (int r = 0; r < surface.height; ++r)
      for (int c = 0; c < surface.width; ++c)
        if (at(c, r) != kBackground) out.insert({c, r});
    return out;
  }
  // The colour indices found on the canvas.
  std::set<F_Rgb> indices() const {
    std::set<F_Rgb> out;
    for (F_Rgb p : pixels)
      if (p != kBackground) out.insert(p);
    return out;
  }

  std::vector<F_Rgb> pixels;
  PixelSurface surface;
  F_DepthBuffer depth;
  F_ScreenMap map;
  std::vector<F_Rgb> table;
};
