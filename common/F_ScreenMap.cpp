#include "common/F_ScreenMap.h"

namespace {
// An axis thinner than 1e-6 (or NaN) becomes 2e-6 wide about its mid-point.
void thicken(double& lo, double& hi) {
  if (hi - lo < 1e-6 || std::isnan(hi - lo)) {
    double mid = (lo + hi) * 0.5;
    lo = mid - 1e-6;
    hi = mid + 1e-6;
  }
}
}  // namespace

void F_Box2D::widenByMargins(double a, double b, double c, double d) {
  thicken(x1Min, x1Max);
  thicken(x2Min, x2Max);
  const double w = x1Max - x1Min;
  const double h = x2Max - x2Min;
  x1Min -= w * a;
  x1Max += w * b;
  x2Min -= h * c;
  x2Max += h * d;
}

bool F_ScreenMap::fit(const F_Box2D& box, int first, int last, int top, int bottom) {
  const double w = box.x1Max - box.x1Min;
  const double h = box.x2Max - box.x2Min;
  if (last - first < 1 || bottom - top < 1 || !(w >= 1e-8) || !(h >= 1e-8)) {
    *this = F_ScreenMap();
    return false;
  }
  const double sX = (last - first) / w;
  const double sY = (bottom - top) / h;
  if (sY > sX) {
    // The width decides: columns first..last are filled, the box is centred vertically.
    scaleX1 = sX;
    originX1 = first - box.x1Min * sX;
    scaleX2 = -sX;
    originX2 = (sX * (box.x2Min + box.x2Max) + (top + bottom)) * 0.5;
    fitsWidth = 1;
  } else {
    // The height decides (ties too): x2Max lands on row top, x2Min on row bottom.
    scaleX1 = sY;
    originX1 = (first + last) * 0.5 - sY * (box.x1Min + box.x1Max) * 0.5;
    scaleX2 = -sY;
    originX2 = box.x2Min * sY + bottom;
    fitsWidth = 0;
  }
  return true;
}
