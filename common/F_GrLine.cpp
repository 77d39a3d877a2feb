#include "common/F_GrLine.h"

#include <algorithm>
#include <cmath>

#include "common/F_Raster.h"

void F_GrLine::draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                    std::span<const F_Rgb> colors, int firstIndex, int lastIndex,
                    const F_Interval& valueRange) const {
  draw(surface, screenMap, depth, F_ColorScale(colors, firstIndex, lastIndex, valueRange));
}

void F_GrLine::draw(const PixelSurface& surface, const F_ScreenMap& map, F_DepthBuffer& depth,
                    const F_ColorScale& scale) const {
  const F_DrawArea area(surface, depth);
  if (area.empty()) return;
  rasterLine(area, map, scale, {p1.x, p1.y, p1.z, value1}, {p2.x, p2.y, p2.z, value2});
}

void F_GrLine::Serialize(F_Archive& ar) {
  p1.Serialize(ar);
  p2.Serialize(ar);
  ar.exchange(value1, "value");
  ar.exchange(value2, "value");
}
