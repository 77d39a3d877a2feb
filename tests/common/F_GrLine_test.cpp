#include "common/F_GrLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "RenderCanvas.h"
#include "common/F_GrTriang.h"

using Pixels = std::set<std::pair<int, int>>;

TEST(F_ColorScale, ValueToIndexRule) {
  std::vector<F_Rgb> colors(100, 0);
  struct Case {
    const char* name;
    int first, last;
    F_Interval range;
    double value;
    int index;
  };
  const Case cases[] = {
      {"lower end takes the first index", 1, 10, {0, 1}, 0.0, 1},
      {"upper end stays in the last index", 1, 10, {0, 1}, 1.0, 10},
      {"below the range clamps to first", 1, 10, {0, 1}, -5.0, 1},
      {"above the range clamps to last", 1, 10, {0, 1}, 7.0, 10},
      {"equal bands: 0.35 is in band 4", 1, 10, {0, 1}, 0.35, 4},
      {"just under a band boundary", 1, 10, {0, 1}, 0.2999, 3},
      {"offset indices", 41, 50, {10, 20}, 15.05, 46},
      {"one index whatever the value", 7, 7, {0, 1}, 123.0, 7},
      {"one index below", 7, 7, {0, 1}, -123.0, 7},
      {"point range is opened about its centre", 1, 10, {5, 5}, 5.0, 6},
      {"point range, below", 1, 10, {5, 5}, 4.0, 1},
      {"reversed range acts as a point at its centre", 1, 10, {2, 1}, 1.5, 6},
      {"not a number takes the first index", 1, 10, {0, 1}, std::nan(""), 1},
      {"infinity takes the last index", 1, 10, {0, 1}, HUGE_VAL, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const F_ColorScale scale(colors, c.first, c.last, c.range);
    EXPECT_EQ(scale.index(c.value), c.index);
  }
}

TEST(F_ColorScale, InfiniteRangeGivesTheFirstColourInsteadOfStopping) {
  std::vector<F_Rgb> colors(10, 0);
  const F_ColorScale scale(colors, 1, 10, {HUGE_VAL, HUGE_VAL});
  EXPECT_EQ(scale.index(3.0), 1);
  EXPECT_EQ(scale.index(HUGE_VAL), 1);
}

TEST(F_GrLine, EndOnSegmentDrawsOnePixelWithTheNearerEnd) {
  struct Case {
    const char* name;
    F_Point3D a, b;
    F_Rgb index;
    float depth;
  };
  const Case cases[] = {
      {"second end nearer", {0, 5, 5}, {2, 5, 5}, 10, 2.2f},
      {"first end nearer", {2, 5, 5}, {0, 5, 5}, 1, 2.2f},
      {"same point: the second end", {1, 5, 5}, {1, 5, 5}, 10, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderCanvas canvas;
    F_GrLine(c.a, c.b, 0.0, 1.0).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 1, 10, {0, 1});
    EXPECT_EQ(canvas.drawn(), (Pixels{{5, 15}}));
    EXPECT_EQ(canvas.at(5, 15), c.index);
    EXPECT_FLOAT_EQ(canvas.depth.at(5, 15), c.depth);
  }
}

TEST(F_GrLine, SteppingFollowsTheLongerScreenAxis) {
  struct Case {
    const char* name;
    F_Point3D a, b;
    Pixels expected;
  };
  const Case cases[] = {
      // |dy| == |dz| goes by rows: one pixel on each row from z = 2 to z = 6.
      {"45 degrees", {0, 2.4, 2.4}, {0, 6.4, 6.4}, {{2, 18}, {3, 17}, {4, 16}, {5, 15}, {6, 14}}},
      {"mostly horizontal, one pixel per column", {0, 1, 5}, {0, 7, 7}, {{1, 15}, {2, 15}, {3, 14}, {4, 14}, {5, 14}, {6, 13}, {7, 13}}},
      {"mostly vertical, one pixel per row", {0, 5, 1}, {0, 7, 5}, {{5, 19}, {6, 18}, {6, 17}, {7, 16}, {7, 15}}},
      {"reversed ends give the same pixels", {0, 7, 7}, {0, 1, 5}, {{1, 15}, {2, 15}, {3, 14}, {4, 14}, {5, 14}, {6, 13}, {7, 13}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderCanvas canvas;
    F_GrLine(c.a, c.b, 1, 1).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 3, 3, {0, 1});
    EXPECT_EQ(canvas.drawn(), c.expected);
    EXPECT_EQ(canvas.indices(), (std::set<F_Rgb>{3}));
  }
}

TEST(F_GrLine, ValuesAlongTheSegmentPickTheirBands) {
  RenderCanvas canvas;
  // The value at column c is c - 5.5: below 0 the first index, above 10 the
  // last, in between one index per unit.
  F_GrLine({0, 1, 10}, {0, 21, 10}, -4.5, 15.5).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 1, 10, {0, 10});
  const F_Rgb expected[22] = {0, 1, 1, 1, 1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10, 10, 10, 10, 10};
  for (int c = 1; c <= 21; ++c) EXPECT_EQ(canvas.at(c, 10), expected[c]) << "column " << c;
}

TEST(F_GrLine, DepthClampedToTheEndsAndBiasedByATenthOfTheLength) {
  RenderCanvas canvas;
  // Length 10 along y: bias 1. Depth runs from 0 to 0 (flat), so 1 everywhere.
  F_GrLine({0, 2, 10}, {0, 12, 10}, 1, 1).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 1, 1, {0, 1});
  EXPECT_FLOAT_EQ(canvas.depth.at(2, 10), 1.0f);
  EXPECT_FLOAT_EQ(canvas.depth.at(12, 10), 1.0f);
  // A sloping segment: depth is linear in y, the bias is added on top.
  RenderCanvas sloped;
  F_GrLine({0, 2, 10}, {6, 10, 10}, 1, 1).draw(sloped.surface, sloped.map, sloped.depth, sloped.colors(), 1, 1, {0, 1});
  EXPECT_FLOAT_EQ(sloped.depth.at(2, 10), 1.0f);
  EXPECT_FLOAT_EQ(sloped.depth.at(6, 10), 4.0f);
  EXPECT_FLOAT_EQ(sloped.depth.at(10, 10), 7.0f);
}

TEST(F_GrLine, EdgeOnItsFaceShowsWhicheverIsDrawnFirst) {
  for (bool lineFirst : {false, true}) {
    SCOPED_TRACE(lineFirst ? "line first" : "face first");
    RenderCanvas canvas;
    const F_GrTriang face({0, 2, 2}, {0, 16, 2}, {0, 2, 16}, 1, 1, 1);
    const F_GrLine edge({0, 2, 2}, {0, 16, 2}, 1, 1);
    if (lineFirst) edge.draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 1, 1, {0, 1});
    face.draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 5, 5, {0, 1});
    if (!lineFirst) edge.draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 1, 1, {0, 1});
    for (int c = 2; c <= 16; ++c) EXPECT_EQ(canvas.at(c, 18), 1u) << c;
    EXPECT_EQ(canvas.at(5, 15), 5u);
  }
}

TEST(F_GrLine, StrictDepthTestKeepsTheFirstAtEqualDepth) {
  RenderCanvas canvas;
  F_GrLine({0, 2, 10}, {0, 12, 10}, 1, 1).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 4, 4, {0, 1});
  F_GrLine({0, 2, 10}, {0, 12, 10}, 1, 1).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 9, 9, {0, 1});
  EXPECT_EQ(canvas.indices(), (std::set<F_Rgb>{4}));
  // Nearer wins.
  F_GrLine({1, 2, 10}, {1, 12, 10}, 1, 1).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 9, 9, {0, 1});
  EXPECT_EQ(canvas.indices(), (std::set<F_Rgb>{9}));
}

TEST(F_GrLine, PixelsOutsideTheBufferAreSkipped) {
  struct Case {
    const char* name;
    F_Point3D a, b;
    Pixels expected;
  };
  const Case cases[] = {
      {"across row 0 and past the right edge", {0, -3, 20}, {0, 40, 20}, {}},
      {"through column 0 to past the right edge", {0, -3, 10}, {0, 40, 10}, {}},
      {"down through row 0 and below the surface", {0, 5, 30}, {0, 5, -30}, {}},
      {"end-on at column 0", {0, 0, 10}, {1, 0, 10}, {}},
      {"end-on below the surface", {0, 5, -10}, {1, 5, -10}, {}},
      {"far away and not a number", {0, 1e300, 5}, {0, std::nan(""), 5}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderCanvas canvas;
    F_GrLine(c.a, c.b, 1, 1).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 2, 2, {0, 1});
    for (auto [col, row] : canvas.drawn()) {
      EXPECT_GE(col, 1);
      EXPECT_GE(row, 1);
      EXPECT_LT(col, 24);
      EXPECT_LT(row, 24);
    }
  }
  RenderCanvas canvas;
  F_GrLine({0, -3, 10}, {0, 40, 10}, 1, 1).draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 2, 2, {0, 1});
  EXPECT_EQ(canvas.drawn().size(), 23u);  // columns 1 to 23 of row 10
  RenderCanvas vertical;
  F_GrLine({0, 5, 30}, {0, 5, -30}, 1, 1).draw(vertical.surface, vertical.map, vertical.depth, vertical.colors(), 2, 2, {0, 1});
  EXPECT_EQ(vertical.drawn().size(), 23u);  // rows 1 to 23 of column 5
}

