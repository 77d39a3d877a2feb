#include "common/F_GrTriang.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "RenderCanvas.h"
#include "common/F_GrLine.h"
#include "include/F_Archive.h"

using Pixels = std::set<std::pair<int, int>>;

namespace {
void draw(RenderCanvas& canvas, const F_GrTriang& t, int first = 1, int last = 10, F_Interval range = {0, 1}) {
  t.draw(canvas.surface, canvas.map, canvas.depth, canvas.colors(), first, last, range);
}
}  // namespace

TEST(F_GrTriang, FillsRowsBetweenTheLongAndTheShortEdges) {
  // Corners at (y, z) = (2, 2), (8, 2), (2, 8): rows 13 to 18 run from column
  // 2 to column r - 10; the top row meets the apex in a single point and is
  // skipped as shorter than 1e-10.
  Pixels expected;
  for (int r = 13; r <= 18; ++r)
    for (int c = 2; c <= r - 10; ++c) expected.insert({c, r});
  const F_GrTriang orders[] = {
      {{0, 2, 2}, {0, 8, 2}, {0, 2, 8}, 1, 1, 1},
      {{0, 2, 8}, {0, 2, 2}, {0, 8, 2}, 1, 1, 1},
      {{0, 8, 2}, {0, 2, 8}, {0, 2, 2}, 1, 1, 1},
  };
  for (const F_GrTriang& t : orders) {
    RenderCanvas canvas;
    draw(canvas, t, 6, 6);
    EXPECT_EQ(canvas.drawn(), expected);
    EXPECT_EQ(canvas.indices(), (std::set<F_Rgb>{6}));
  }
}

TEST(F_GrTriang, DegenerateInTheScreenPlaneDrawsNothing) {
  struct Case {
    const char* name;
    F_GrTriang t;
  };
  const Case cases[] = {
      {"collinear corners at different depths", {{0, 2, 2}, {5, 6, 6}, {9, 10, 10}, 0, 0.5, 1}},
      {"two corners on one pixel position", {{0, 2, 2}, {3, 2, 2}, {0, 9, 9}, 0, 0.5, 1}},
      {"all corners the same point", {{0, 4, 4}, {1, 4, 4}, {2, 4, 4}, 0, 0.5, 1}},
      {"a corner not a number", {{0, 2, 2}, {0, 8, 2}, {0, std::nan(""), 8}, 0, 0.5, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderCanvas canvas;
    draw(canvas, c.t);
    EXPECT_TRUE(canvas.drawn().empty());
  }
}

TEST(F_GrTriang, SharedEdgeAtEqualDepthStaysWithTheFirstTriangle) {
  // A square from (2, 2) to (12, 12) cut along its diagonal, both halves at
  // depth 0; the diagonal pixels are covered by both.
  const F_GrTriang lower({0, 2, 2}, {0, 12, 2}, {0, 12, 12}, 0, 0, 0);
  const F_GrTriang upper({0, 2, 2}, {0, 12, 12}, {0, 2, 12}, 1, 1, 1);
  for (bool lowerFirst : {true, false}) {
    SCOPED_TRACE(lowerFirst ? "lower half first" : "upper half first");
    RenderCanvas canvas;
    draw(canvas, lowerFirst ? lower : upper);
    draw(canvas, lowerFirst ? upper : lower);
    const F_Rgb firstIndex = lowerFirst ? 1 : 10;
    for (int k = 3; k <= 11; ++k) EXPECT_EQ(canvas.at(k, 20 - k), firstIndex) << "diagonal at column " << k;
    EXPECT_EQ(canvas.at(10, 16), 1u);   // inside the lower half
    EXPECT_EQ(canvas.at(4, 10), 10u);   // inside the upper half
    // No cracks: the whole square is covered.
    for (int r = 8; r <= 18; ++r)
      for (int c = 2; c <= 12; ++c) EXPECT_NE(canvas.at(c, r), RenderCanvas::kBackground) << c << "," << r;
  }
}

TEST(F_GrTriang, NearerSurfaceWinsWhateverTheOrder) {
  const F_GrTriang nearT({2, 2, 2}, {2, 14, 2}, {2, 2, 14}, 1, 1, 1);
  const F_GrTriang farT({-2, 2, 2}, {-2, 14, 2}, {-2, 2, 14}, 0, 0, 0);
  for (bool nearFirst : {true, false}) {
    RenderCanvas canvas;
    draw(canvas, nearFirst ? nearT : farT);
    draw(canvas, nearFirst ? farT : nearT);
    EXPECT_EQ(canvas.indices(), (std::set<F_Rgb>{10})) << nearFirst;
    EXPECT_FLOAT_EQ(canvas.depth.at(5, 14), 2.0f);
  }
}

TEST(F_GrTriang, DepthAndValueVaryLinearlyAcrossTheFace) {
  RenderCanvas canvas;
  // Depth and value both equal y - 2 on a tilted face from y = 2 to y = 12;
  // the range puts each whole value in the middle of its band.
  draw(canvas, F_GrTriang({0, 2, 2}, {10, 12, 2}, {0, 2, 12}, 0, 10, 0), 1, 10, {-0.5, 9.5});
  EXPECT_FLOAT_EQ(canvas.depth.at(2, 17), 0.0f);
  EXPECT_FLOAT_EQ(canvas.depth.at(5, 17), 3.0f);
  EXPECT_FLOAT_EQ(canvas.depth.at(7, 14), 5.0f);
  EXPECT_EQ(canvas.at(5, 17), 4u);   // value 3
  EXPECT_EQ(canvas.at(8, 17), 7u);   // value 6
}

TEST(F_GrTriang, ValuesBelowAndAboveTheRangeTakeTheEndIndices) {
  RenderCanvas canvas;
  draw(canvas, F_GrTriang({0, 2, 2}, {0, 14, 2}, {0, 2, 14}, -3, -3, -3), 41, 50, {0, 1});
  EXPECT_EQ(canvas.indices(), (std::set<F_Rgb>{41}));
  RenderCanvas above;
  draw(above, F_GrTriang({0, 2, 2}, {0, 14, 2}, {0, 2, 14}, 4, 4, 4), 41, 50, {0, 1});
  EXPECT_EQ(above.indices(), (std::set<F_Rgb>{50}));
}

TEST(F_GrTriang, PixelsOutsideTheBufferAreSkipped) {
  // Corners far beyond every edge of the 24 x 24 canvas, with the first row
  // and first column inside the triangle: row 0 and column 0 stay untouched,
  // every other pixel is filled.
  RenderCanvas canvas;
  draw(canvas, F_GrTriang({0, -100, -100}, {0, 300, -100}, {0, -100, 300}, 1, 1, 1), 3, 3);
  EXPECT_EQ(canvas.drawn().size(), 23u * 23u);
  for (int k = 0; k < 24; ++k) {
    EXPECT_EQ(canvas.at(0, k), RenderCanvas::kBackground);
    EXPECT_EQ(canvas.at(k, 0), RenderCanvas::kBackground);
  }
  // Entirely off the canvas, and huge.
  RenderCanvas off;
  draw(off, F_GrTriang({0, 1e12, 1e12}, {0, 1e15, 1e13}, {0, 4e14, -1e300}, 1, 1, 1), 3, 3);
  draw(off, F_GrTriang({0, 50, 50}, {0, 60, 50}, {0, 50, 60}, 1, 1, 1), 3, 3);
  EXPECT_TRUE(off.drawn().empty());
}

TEST(F_GrTriang, ArchiveHoldsPointsThenValues) {
  F_GrTriang t({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, 0.5, -1, 1e300);
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
  {
    F_Archive ar(*out);
    t.Serialize(ar);
  }
  out->close();
  ASSERT_EQ(out->bytes().size(), 12u * 8u);
  double ninth, last;
  std::memcpy(&ninth, out->bytes().data() + 8 * 8, 8);
  std::memcpy(&last, out->bytes().data() + 11 * 8, 8);
  EXPECT_EQ(ninth, 9.0);
  EXPECT_EQ(last, 1e300);

  auto in = F_InputFile::fromMemory(out->bytes());
  F_Archive ar(*in);
  F_GrTriang back;
  back.Serialize(ar);
  EXPECT_EQ(back.p3, t.p3);
  EXPECT_EQ(back.value3, 1e300);
  F_GrLine line;
  EXPECT_THROW(line.Serialize(ar), F_ArchiveException);  // nothing left to read
}
