#include "common/F_ColorScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// A uniform field far from zero must not stop the program; wherever the 1e-6
// opening survives rounding it stays as it is.
TEST(F_ColorScale, NarrowRangesFarFromZeroAreOneValue) {
  std::vector<F_Rgb> colors(20, 0);
  struct Case {
    const char* name;
    F_Interval range;
    double value;
    int index;
  };
  const double ulp = std::nextafter(3e10, 1e300) - 3e10;
  const Case cases[] = {
      // 15 bands, so the centre of an opened range is inside band 8.
      {"3e10 exactly: the middle band", {3e10, 3e10}, 3e10, 8},
      {"1e20 exactly", {1e20, 1e20}, 1e20, 8},
      {"-1e200 exactly", {-1e200, -1e200}, -1e200, 8},
      // Wider than 1e-6, so a real range: its ends are the end bands.
      {"3e10, two doubles wide: the top is the last band", {3e10 - ulp, 3e10 + ulp}, 3e10 + ulp, 15},
      {"3e10, two doubles wide: the bottom is the first band", {3e10 - ulp, 3e10 + ulp}, 3e10 - ulp, 1},
      {"1e7 exactly: opened by 1e-6, 1e7 + 0.9e-6 is in the last band", {1e7, 1e7}, 1e7 + 0.9e-6, 15},
      {"near zero the opening is 1e-6: 5 + 0.9e-6 is in the last band", {5, 5}, 5 + 0.9e-6, 15},
      {"a real range far from zero keeps its bands", {3e10, 3e10 + 14e6}, 3e10 + 13.5e6, 15},
      // Both ends finite but their difference is not.
      {"the widest range: zero is in the middle", {-1.7e308, 1.7e308}, 0.0, 8},
      {"the widest range: its top is the last band", {-1.7e308, 1.7e308}, 1.7e308, 15},
      {"the widest range: its bottom is the first band", {-1.7e308, 1.7e308}, -1.7e308, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const F_ColorScale scale(colors, 1, 15, c.range);
    EXPECT_EQ(scale.index(c.value), c.index);
  }
}
