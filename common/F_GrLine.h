#pragma once
// A straight segment in view coordinates (x depth towards the viewer, y across,
// z up) with a value at each end, drawn pixel by pixel against a depth buffer.
// Segments carry a depth bias of a tenth of their length, so that an edge
// lying on a face shows over that face.

#include <span>

#include "common/F_ColorScale.h"
#include "common/F_ColorTable.h"
#include "common/F_DepthBuffer.h"
#include "common/F_Point3D.h"
#include "include/F_Archive.h"
#include "common/F_ScreenMap.h"
#include "platform/PixelSurface.h"

class F_GrLine {
 public:
  F_GrLine() = default;
  F_GrLine(const F_Point3D& a, const F_Point3D& b, double v1, double v2) { set(a, b, v1, v2); }
  virtual ~F_GrLine() = default;
  F_GrLine(const F_GrLine&) = default;
  F_GrLine& operator=(const F_GrLine&) = default;

  // The points as points are stored, then the values as 8-byte reals.
  virtual void Serialize(F_Archive& ar);

  void set(const F_Point3D& a, const F_Point3D& b, double v1, double v2) {
    p1 = a;
    p2 = b;
    value1 = v1;
    value2 = v2;
  }

  // The values are spread over the colour indices [firstIndex, lastIndex] of
  // `colors` (index 1 at colors[0]) by the rule of F_ColorScale.
  void draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
            std::span<const F_Rgb> colors, int firstIndex, int lastIndex, const F_Interval& valueRange) const;
  void draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
            const F_ColorTable& colorTable, int firstIndex, int lastIndex, const F_Interval& valueRange) const {
    draw(surface, screenMap, depth, std::span<const F_Rgb>(colorTable.colors().data(), colorTable.colors().size()),
         firstIndex, lastIndex, valueRange);
  }
  // The same with a scale built once for many segments.
  void draw(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
            const F_ColorScale& scale) const;

  F_Point3D p1;
  F_Point3D p2;
  double value1 = 0.0;
  double value2 = 0.0;
};
