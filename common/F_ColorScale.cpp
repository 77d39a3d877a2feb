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
  // Widths are taken as halves: for values near the largest doubles the full
  // width hi - lo overflows although each bound is finite.
  const double centre = lo / 2 + hi / 2;
  const double halfOpening = std::max(1e-6, std::fabs(centre) * 1e-12);
  if (hi / 2 - lo / 2 < halfOpening / 2) {
    lo = centre - halfOpening;
    hi = centre + halfOpening;
  }
  const double halfWidth = hi / 2 - lo / 2;
  lo -= 2e-5 * halfWidth;
  hi += 2e-5 * halfWidth;
  // Values read as 1e999 are infinite: such a range has no bands, and every
  // pixel takes the first colour rather than stopping the program.
  if (!std::isfinite(lo) || !std::isfinite(hi)) {
    scale_ = 0.0;
    offset_ = firstIndex;
    return;
  }
  const double half = hi / 2 - lo / 2;
  if (half < 0.5e-10) internalError("F_ColorScale", 2);

  scale_ = (lastIndex - firstIndex + 1) / 2.0 / half;
  offset_ = firstIndex - scale_ * lo;
}
