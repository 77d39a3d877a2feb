#pragma once
// The pixels a depth-buffered primitive may touch: inside both the surface and
// its depth buffer, and never in column 0 or row 0 (the frame of the canvas,
// which the depth buffer of the drawing has no entries for). Pixels outside
// are skipped, so a point projected off the canvas never reaches memory it
// does not own.

#include <algorithm>
#include <cmath>

#include "common/F_DepthBuffer.h"
#include "common/F_ScreenMap.h"
#include "platform/PixelSurface.h"

struct F_DrawArea {
  F_DrawArea(const PixelSurface& surface, F_DepthBuffer& depthBuffer)
      : bits(surface.bits), stride(surface.stride), depth(depthBuffer.row(0)), depthStride(depthBuffer.width()) {
    lastColumn = std::min(surface.width, depthBuffer.width()) - 1;
    lastRow = std::min(surface.height, depthBuffer.height()) - 1;
    if (!bits || depthBuffer.empty()) lastColumn = lastRow = 0;
  }

  bool empty() const { return lastColumn < firstColumn || lastRow < firstRow; }
  bool contains(int c, int r) const { return c >= firstColumn && c <= lastColumn && r >= firstRow && r <= lastRow; }

  // The strict depth test on the stored float: a pixel at exactly the stored
  // depth keeps what was drawn first. The caller has checked contains(c, r).
  void plot(int c, int r, double z, F_Rgb color) const {
    plotWith(c, r, z, [color] { return color; });
  }
  // The same with the colour made only for a pixel that passes the test.
  template <class Color>
  void plotWith(int c, int r, double z, Color&& color) const {
    const float zf = static_cast<float>(z);
    float& stored = depth[static_cast<std::ptrdiff_t>(r) * depthStride + c];
    if (zf > stored) {
      stored = zf;
      bits[static_cast<std::ptrdiff_t>(r) * stride + c] = color();
    }
  }

  // Where pixel centres lie on the screen plane under the map a renderer
  // draws with: (column - originX1) / scaleX1 and (row - originX2) / scaleX2,
  // formed once per drawing for every column and row up to lastColumn and
  // lastRow, so that the fills read them instead of dividing per row and
  // column. Null (the fills divide) unless the renderer has set them for
  // its map.
  double planeOfColumn(const F_ScreenMap& map, int c) const {
    return columnPlane ? columnPlane[c] : (c - map.originX1) / map.scaleX1;
  }
  double planeOfRow(const F_ScreenMap& map, int r) const {
    return rowPlane ? rowPlane[r] : (r - map.originX2) / map.scaleX2;
  }
  // 1 / scaleX1, formed with the tables.
  double inverseScaleX1(const F_ScreenMap& map) const { return columnPlane ? inverseColumnScale : 1.0 / map.scaleX1; }

  F_Rgb* bits;
  int stride;
  float* depth;
  int depthStride;
  int firstColumn = 1;
  int firstRow = 1;
  int lastColumn = 0;
  int lastRow = 0;
  const double* columnPlane = nullptr;
  const double* rowPlane = nullptr;
  double inverseColumnScale = 0.0;  // read only when columnPlane is set
};

// floor(v + 0.5) as the screen map rounds, kept inside the int range so that a
// point far off the canvas (or not a number) gives a pixel that is skipped.
inline int roundToPixel(double v) {
  const double r = std::floor(v + 0.5);
  if (!(r > -1e9)) return -1000000000;
  if (r > 1e9) return 1000000000;
  return static_cast<int>(r);
}
inline int columnOf(const F_ScreenMap& map, double y) { return roundToPixel(map.scaleX1 * y + map.originX1); }
inline int rowOf(const F_ScreenMap& map, double z) { return roundToPixel(map.scaleX2 * z + map.originX2); }

// A corner of a primitive: depth x, screen-plane y and z, and its value.
struct F_Vertex {
  double x;
  double y;
  double z;
  double v;
};
