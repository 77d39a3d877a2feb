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
  // A range narrower than 1e-6 is opened up about its centre, then every
  // range is widened a little so that v == hi still falls in the last band.
  // Far from zero 1e-6 is below the spacing of doubles: there the opening is
  // a millionth of a millionth of the centre, so a uniform field of 3e10
  // neither stops the program nor shows its rounding noise as bands.
  const double centre = (lo + hi) / 2;
  const double halfOpening = std::max(1e-6, std::fabs(centre) * 1e-12);
  if (hi - lo < halfOpening) {
    lo = centre - halfOpening;
    hi = centre + halfOpening;
  }
  const double d = hi - lo;
  lo -= 1e-5 * d;
  hi += 1e-5 * d;
  // Values read as 1e999 are infinite: such a range has no bands, and every
  // pixel takes the first colour rather than stopping the program.
  if (!std::isfinite(lo) || !std::isfinite(hi)) {
    scale_ = 0.0;
    offset_ = firstIndex;
    return;
  }
  if (std::fabs(hi - lo) < 1e-10) internalError("F_ColorScale", 2);

  scale_ = (lastIndex - firstIndex + 1) / (hi - lo);
  offset_ = firstIndex - scale_ * lo;
}
