#pragma once
// The map from the screen plane (X1 across, X2 up) to canvas pixels, and the
// small extents and ranges the view measures the mesh with.

#include <algorithm>
#include <cmath>

// A range of values; the default is a tiny range about zero.
struct F_Interval {
  double lower = -1e-6;
  double upper = 1e-6;
};

// An extent in the screen plane. The default is the tiny box about the origin
// that an empty layer measures as.
struct F_Box2D {
  double x1Min = -1e-6;
  double x1Max = 1e-6;
  double x2Min = -1e-6;
  double x2Max = 1e-6;

  void unite(const F_Box2D& o) {
    x1Min = std::min(x1Min, o.x1Min);
    x1Max = std::max(x1Max, o.x1Max);
    x2Min = std::min(x2Min, o.x2Min);
    x2Max = std::max(x2Max, o.x2Max);
  }
  // Widens each side by a fraction of the box's own width or height: a the
  // left, b the right, c the bottom, d the top. A box thinner than 1e-6 (or
  // not a number) on an axis is first made 2e-6 wide about its mid-point, so
  // the result is never degenerate.
  void widenByMargins(double a, double b, double c, double d);
};

// An extent in space.
struct F_Box3D {
  double xMin = -1e-6;
  double xMax = 1e-6;
  double yMin = -1e-6;
  double yMax = 1e-6;
  double zMin = -1e-6;
  double zMax = 1e-6;

  void unite(const F_Box3D& o) {
    xMin = std::min(xMin, o.xMin);
    xMax = std::max(xMax, o.xMax);
    yMin = std::min(yMin, o.yMin);
    yMax = std::max(yMax, o.yMax);
    zMin = std::min(zMin, o.zMin);
    zMax = std::max(zMax, o.zMax);
  }
};

struct F_Pixel {
  int x = 0;  // column from the left edge of the canvas
  int y = 0;  // row from the top edge; rows grow downwards
  bool operator==(const F_Pixel&) const = default;
};

struct F_PlanePoint {
  double x1 = 0.0;
  double x2 = 0.0;
};

class F_ScreenMap {
 public:
  // Places `box` inside the pixel columns first..last and rows top..bottom with
  // one scale for both axes, centred along the axis that has room to spare.
  // Returns false, and puts the default map back, when the rectangle is less
  // than two pixels wide or high or the box is thinner than 1e-8; showing the
  // failure is the caller's business.
  bool fit(const F_Box2D& box, int first, int last, int top, int bottom);

  // The pixel of a screen-plane point; every drawing routine rounds this way.
  F_Pixel toPixel(double x1, double x2) const {
    return {roundToPixel(scaleX1 * x1 + originX1), roundToPixel(scaleX2 * x2 + originX2)};
  }
  F_PlanePoint toPlane(int column, int row) const {
    return {(column - originX1) / scaleX1, (row - originX2) / scaleX2};
  }

  bool operator==(const F_ScreenMap&) const = default;

  double scaleX1 = 1.0;  // pixels per unit of X1
  double originX1 = 0.0;  // column of X1 = 0
  double scaleX2 = 1.0;  // pixels per unit of X2; negative after a fit, rows grow downwards
  double originX2 = 0.0;  // row of X2 = 0
  int fitsWidth = 1;  // 1: the horizontal extent decided the scale

 private:
  // floor(v + 0.5), kept inside the int range so that a point far outside the
  // canvas (a huge shrink factor) still gives a defined pixel.
  static int roundToPixel(double v) {
    double r = std::floor(v + 0.5);
    if (!(r > -1e9)) return -1000000000;  // also NaN
    if (r > 1e9) return 1000000000;
    return static_cast<int>(r);
  }
};
