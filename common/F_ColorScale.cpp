#include "common/F_ColorScale.h"

#include <algorithm>
#include <cmath>

#include "include/F_Errors.h"

F_ColorScale::F_ColorScale(std::span<const F_Rgb> colors, int firstIndex, int lastIndex,
                           const F_Interval& range)
    : base_(colors.data() - 1), first_(firstIndex), last_(lastIndex) {
  if (firstIndex < 1 || firstIndex > lastIndex || static_cast<std::size_t>(lastIndex) > colors.size())
    internalError("F_ColorScale", 1);

  double lo = range.lower;
  double hi = range.upper;
  // Values read as 1e999 are infinite: such a range has no bands, and every
  // pixel takes the first colour rather than stopping the program.
  if (!std::isfinite(lo) || !std::isfinite(hi)) {
    scale_ = 0.0;
    offset_ = firstIndex;
    return;
  }
  // A range narrower than 1e-6 is opened up to centre +- 1e-6. Beyond about
  // 4e9 that opening is below the spacing of doubles and would close again
  // (a uniform field of 3e10 would stop the program): there it is a
  // millionth of a millionth of the centre instead.
  double centre = (lo + hi) / 2;
  if (!std::isfinite(centre)) centre = lo / 2 + hi / 2;
  if (hi - lo < 1e-6) {
    double opening = 1e-6;
    if ((centre + opening) - (centre - opening) < opening) opening = std::fabs(centre) * 1e-12;
    lo = centre - opening;
    hi = centre + opening;
  }
  // Widened a little so that v == hi still falls in the last band.
  const double d = hi - lo;
  if (std::isfinite(d)) {
    lo -= 1e-5 * d;
    hi += 1e-5 * d;
    if (std::fabs(hi - lo) < 1e-10) internalError("F_ColorScale", 2);
    scale_ = (lastIndex - firstIndex + 1) / (hi - lo);
  } else {
    // Both ends finite but their difference is not (values near the largest
    // doubles): the same steps on half widths.
    const double halfWidth = hi / 2 - lo / 2;
    lo -= 2e-5 * halfWidth;
    hi += 2e-5 * halfWidth;
    scale_ = (lastIndex - firstIndex + 1) / 2.0 / (hi / 2 - lo / 2);
  }
  offset_ = firstIndex - scale_ * lo;
}
