#pragma once
// A triangle in view coordinates with a value at each corner, filled row by
// row against a depth buffer with depth and value interpolated linearly. The
// only surface primitive: every face is cut into these.

#include <span>

#include "common/F_ColorScale.h"
#include "common/F_ColorTable.h"
#include "common/F_DepthBuffer.h"
#include "common/F_Point3D.h"
#include "include/F_Archive.h"
#include "common/F_ScreenMap.h"
#include "platform/PixelSurface.h"

class F_GrTriang {
 public:
  F_GrTriang() = default;
  F_GrTriang(const F_Point3D& a, const F_Point3D& b, const F_Point3D& c, double v1, double v2, double v3) {
    set(a, b, c, v1, v2, v3);
  }
  virtual ~F_GrTriang() = default;
  F_GrTriang(const F_GrTriang&) = default;
  F_GrTriang& operator=(const F_GrTriang&) = default;

  // The points as points are stored, then the values as 8-byte reals.
  virtual void Serialize(F_Archive& ar);

  void set(const F_Point3D& a, const F_Point3D& b, const F_Point3D& c, double v1, double v2, double v3) {
    p1 = a;
    p2 = b;
    p3 = c;
    value1 = v1;
    value2 = v2;
    value3 = v3;
  }

  // As F_GrLine::draw; triangles get no depth bias.
  void draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
            std::span<const F_Rgb> colors, int firstIndex, int lastIndex, const F_Interval& valueRange) const;
  void draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
            const F_ColorTable& colorTable, int firstIndex, int lastIndex, const F_Interval& valueRange) const {
    draw(surface, screenMap, depth, std::span<const F_Rgb>(colorTable.colors().data(), colorTable.colors().size()),
         firstIndex, lastIndex, valueRange);
  }
  void draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
            const F_ColorScale& scale) const;

  F_Point3D p1;
  F_Point3D p2;
  F_Point3D p3;
  double value1 = 0.0;
  double value2 = 0.0;
  double value3 = 0.0;
};
