#include "common/F_ScreenMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(F_ScreenMap, WidenByMarginsUsesOwnWidthAndHeight) {
  struct Case {
    const char* name;
    F_Box2D in;
    double a, b, c, d;
    F_Box2D out;
  };
  const Case cases[] = {
      {"defaults on 10 by 5", {0, 10, 0, 5}, 0.04, 0.08, 0.06, 0.18, {-0.4, 10.8, -0.3, 5.9}},
      {"no margins", {-1, 1, 2, 3}, 0, 0, 0, 0, {-1, 1, 2, 3}},
      {"single point thickened first", {3, 3, 7, 7}, 0.5, 0.5, 0, 1, {3 - 2e-6, 3 + 2e-6, 7 - 1e-6, 7 + 3e-6}},
      {"thinner than 1e-6", {0, 5e-7, 0, 1}, 0, 0, 0, 0, {2.5e-7 - 1e-6, 2.5e-7 + 1e-6, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F_Box2D b = c.in;
    b.widenByMargins(c.a, c.b, c.c, c.d);
    EXPECT_NEAR(b.x1Min, c.out.x1Min, 1e-12);
    EXPECT_NEAR(b.x1Max, c.out.x1Max, 1e-12);
    EXPECT_NEAR(b.x2Min, c.out.x2Min, 1e-12);
    EXPECT_NEAR(b.x2Max, c.out.x2Max, 1e-12);
  }
}

TEST(F_ScreenMap, FitChoosesTheTighterAxisAndCentresTheOther) {
  struct Case {
    const char* name;
    F_Box2D box;
    int w, h;
    double scale, originX1, originX2;
    int fitsWidth;
  };
  const Case cases[] = {
      // 299/10 > 199/10: the height decides, rows 0..199 used, centred across.
      {"height decides", {-5, 5, -5, 5}, 300, 200, 19.9, 149.5, 199 - 5 * 19.9, 0},
      // 199/10 < 299/10 the other way round: the width decides, centred vertically.
      {"width decides", {-5, 5, -5, 5}, 200, 300, 19.9, 99.5, 149.5, 1},
      // Equal scales take the height branch.
      {"tie", {0, 10, 0, 10}, 11, 11, 1.0, 0.0, 10.0, 0},
      {"offset box", {10, 20, 0, 5}, 101, 1001, 10.0, -100.0, (10.0 * 5 + 1000) * 0.5, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F_ScreenMap m;
    ASSERT_TRUE(m.fit(c.box, 0, c.w - 1, 0, c.h - 1));
    EXPECT_NEAR(m.scaleX1, c.scale, 1e-12);
    EXPECT_NEAR(m.scaleX2, -c.scale, 1e-12);
    EXPECT_NEAR(m.originX1, c.originX1, 1e-9);
    EXPECT_NEAR(m.originX2, c.originX2, 1e-9);
    EXPECT_EQ(m.fitsWidth, c.fitsWidth);
  }
}

TEST(F_ScreenMap, FitPutsTheBoxCornersOnTheRectangleEdges) {
  F_ScreenMap m;
  ASSERT_TRUE(m.fit({-5, 5, -5, 5}, 0, 299, 0, 199));
  // The top of the box on row 0, its bottom on row 199, centred across.
  EXPECT_EQ(m.toPixel(0, 5), (F_Pixel{150, 0}));
  EXPECT_EQ(m.toPixel(0, -5), (F_Pixel{150, 199}));
  EXPECT_EQ(m.toPixel(-5, 0).x, 50);
  EXPECT_EQ(m.toPixel(5, 0).x, 249);
  F_PlanePoint p = m.toPlane(150, 0);
  EXPECT_NEAR(p.x1, 0.0251256, 1e-6);
  EXPECT_NEAR(p.x2, 5.0, 1e-12);
}

TEST(F_ScreenMap, FailedFitRestoresTheDefaultMap) {
  struct Case {
    const char* name;
    F_Box2D box;
    int first, last, top, bottom;
  };
  const Case cases[] = {
      {"one column", {0, 1, 0, 1}, 0, 0, 0, 99},
      {"one row", {0, 1, 0, 1}, 0, 99, 5, 5},
      {"negative width (side bar wider than canvas)", {0, 1, 0, 1}, 0, -30, 0, 99},
      {"flat box", {0, 1e-9, 0, 1}, 0, 99, 0, 99},
      {"NaN box", {0, std::numeric_limits<double>::quiet_NaN(), 0, 1}, 0, 99, 0, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F_ScreenMap m;
    ASSERT_TRUE(m.fit({0, 1, 0, 1}, 0, 99, 0, 99));
    EXPECT_FALSE(m.fit(c.box, c.first, c.last, c.top, c.bottom));
    EXPECT_EQ(m, F_ScreenMap());
  }
}

TEST(F_ScreenMap, ToPixelRoundsHalfUpAndStaysDefinedFarOut) {
  F_ScreenMap m;  // identity
  EXPECT_EQ(m.toPixel(2.5, -2.5), (F_Pixel{3, -2}));
  EXPECT_EQ(m.toPixel(2.4999, 0.4999), (F_Pixel{2, 0}));
  EXPECT_EQ(m.toPixel(1e300, -1e300), (F_Pixel{1000000000, -1000000000}));
  EXPECT_EQ(m.toPixel(std::nan(""), 0).x, -1000000000);
}
