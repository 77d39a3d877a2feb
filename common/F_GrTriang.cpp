#include "common/F_GrTriang.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/F_Raster.h"

void F_GrTriang::draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                      std::span<const F_Rgb> colors, int firstIndex, int lastIndex,
                      const F_Interval& valueRange) const {
  draw(surface, screenMap, depth, F_ColorScale(colors, firstIndex, lastIndex, valueRange));
}

void F_GrTriang::draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                      const F_ColorScale& scale) const {
  const F_DrawArea area(surface, depth);
  if (area.empty()) return;
  rasterTriangle(area, screenMap, scale, {p1.x, p1.y, p1.z, value1}, {p2.x, p2.y, p2.z, value2},
                 {p3.x, p3.y, p3.z, value3});
}

void F_GrTriang::Serialize(F_Archive& ar) {
  p1.Serialize(ar);
  p2.Serialize(ar);
  p3.Serialize(ar);
  ar.exchange(value1, "value");
  ar.exchange(value2, "value");
  ar.exchange(value3, "value");
}
