#include "common/F_Raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "RenderCanvas.h"

namespace {

// The rows written on the canvas, lowest and highest; false when none.
bool writtenRows(const RenderCanvas& canvas, int& from, int& to) {
  from = 1 << 30;
  to = -1;
  for (const auto& [column, row] : canvas.drawn()) {
    from = std::min(from, row);
    to = std::max(to, row);
  }
  return to >= 0;
}

}  // namespace

// A caller drops a primitive on these answers, so they must hold for every
// primitive: no pixel outside the rows, none at all on false.
TEST(F_Raster, RowsOfAPrimitiveHoldEveryPixelItWrites) {
  RenderCanvas canvas;
  const F_ColorScale scale(canvas.colors(), 1, 100, {0, 1});
  std::mt19937 random(7);
  std::uniform_real_distribution<double> across(-4, 28), depth(-3, 3);
  // Rows as fine as columns, at the limit of twice, beyond it, and coarser.
  for (const double ratio : {1.0, 2.0, 2.5, 0.5}) {
    SCOPED_TRACE(testing::Message() << "ratio " << ratio);
    for (int i = 0; i < 3000; ++i) {
      canvas.map.scaleX2 = -ratio;
      std::fill(canvas.pixels.begin(), canvas.pixels.end(), RenderCanvas::kBackground);
      canvas.depth.fill();
      const F_DrawArea area(canvas.surface, canvas.depth);
      // Short segments and small triangles mostly, some long, some end-on.
      const F_Vertex a{depth(random), across(random), across(random) / ratio, 0.5};
      const double reach = i % 5 == 0 ? 30 : 2;
      auto near = [&](const F_Vertex& p) {
        std::uniform_real_distribution<double> d(-reach, reach);
        return F_Vertex{depth(random), p.y + d(random), p.z + d(random) / ratio, 0.5};
      };
      const F_Vertex b = i % 50 == 0 ? F_Vertex{a.x + 1, a.y, a.z, 0.5} : near(a), c = near(a);
      int from = 0, to = 0, drawnFrom, drawnTo;
      if (i % 2) {
        const bool may = lineRows(area, canvas.map, a, b, from, to);
        rasterLine(area, canvas.map, scale, a, b);
        if (!writtenRows(canvas, drawnFrom, drawnTo)) continue;
        ASSERT_TRUE(may) << "segment " << i;
      } else {
        const bool may = triangleRows(area, canvas.map, a, b, c, from, to);
        rasterTriangle(area, canvas.map, scale, a, b, c);
        if (!writtenRows(canvas, drawnFrom, drawnTo)) continue;
        ASSERT_TRUE(may) << "triangle " << i;
      }
      EXPECT_LE(from, drawnFrom) << "primitive " << i;
      EXPECT_GE(to, drawnTo) << "primitive " << i;
    }
  }
}

// The outline fill skips the values: it must write the pixels and depths of
// the segment fill with a one-colour scale, over depths already drawn, for
// segments seen end-on, mostly across, mostly up, and with corners that are
// not numbers.
TEST(F_Raster, OutlineWritesWhatTheSegmentFillWritesInOneColour) {
  RenderCanvas line, outline;
  const F_ColorScale one(line.colors(), 1, 1, {0, 1});
  const F_Rgb color = one.color(0.5);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> across(-4, 28), depth(-3, 3), value(-2, 2);
  const double nan = std::nan("");
  for (int i = 0; i < 2000; ++i) {
    F_Vertex a{depth(random), across(random), across(random), value(random)};
    F_Vertex b{depth(random), across(random), across(random), value(random)};
    if (i % 7 == 0) b = {a.x + 1, a.y, a.z, value(random)};  // end-on
    if (i % 11 == 0) b.y = a.y;  // straight up
    if (i % 13 == 0) b.z = a.z;  // straight across
    if (i % 17 == 0) a.v = nan;  // a value that is not a number
    if (i % 19 == 0) (i % 2 ? a.y : b.z) = nan;
    for (RenderCanvas* canvas : {&line, &outline}) {
      const F_DrawArea area(canvas->surface, canvas->depth);
      if (canvas == &line) {
        rasterLine(area, canvas->map, one, a, b);
      } else {
        rasterOutline(area, canvas->map, color, a, b);
      }
    }
  }
  EXPECT_EQ(line.pixels, outline.pixels);
  EXPECT_EQ(0, std::memcmp(line.depth.row(0), outline.depth.row(0), sizeof(float) * 24 * 24));
  EXPECT_GT(line.drawn().size(), 200u);
}

// An element's outline goes to the fill in one call: it must write what the
// segments write one by one, in the order of its list, including segments
// that share an end, a list of one segment, and none. An end left without a
// partner at the back of the list draws nothing. The call sets segments up
// four at a time where it can: lists of 3 to 9 segments fill a group of four,
// run one past it or stop one short, with segments seen end-on, exactly
// across, up or at 45 degrees, and with corners that are not numbers; the
// four of a group have their pixels written side by side, whether the area
// divides for the planes of its columns and rows or reads them from tables.
TEST(F_Raster, OutlinesInOneCallWriteWhatEachSegmentWrites) {
  RenderCanvas single, batched, tabled;
  std::vector<double> columnPlanes(24), rowPlanes(24);
  for (int i = 0; i < 24; ++i) {
    columnPlanes[static_cast<std::size_t>(i)] = (i - tabled.map.originX1) / tabled.map.scaleX1;
    rowPlanes[static_cast<std::size_t>(i)] = (i - tabled.map.originX2) / tabled.map.scaleX2;
  }
  const F_Rgb color = F_ColorScale(single.colors(), 1, 1, {0, 1}).color(0.5);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> across(-4, 28), depth(-3, 3);
  // Samples 1 to 5 (1-based in the list, as the sample tables number them).
  const std::vector<int> edge = {1, 2, 2, 3, 3, 1, 4, 5, 5, 4, 1, 4, 2, 5, 3, 4, 5, 1, 2};
  struct Row {
    std::size_t ends;
    std::size_t segments;
  };
  const Row rows[] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {6, 3}, {8, 4}, {10, 5}, {11, 5}, {16, 8}, {18, 9}, {19, 9}};
  std::size_t drawn = 0;
  for (int i = 0; i < 800; ++i) {
    F_Vertex samples[5];
    for (F_Vertex& s : samples) s = {depth(random), across(random), across(random), 1.0};
    if (i % 9 == 0) samples[4] = {samples[3].x + 1, samples[3].y, samples[3].z, 1.0};  // end-on
    if (i % 7 == 0) samples[1].z = samples[0].z;                                          // across
    if (i % 11 == 0) samples[2].y = samples[1].y;                                         // up
    if (i % 5 == 1) samples[3].y = 7.5, samples[3].z = 9.25, samples[4].y = 9.5, samples[4].z = 11.25;  // 45 degrees
    if (i % 13 == 0) samples[i / 13 % 5].y = std::nan("");
    if (i % 17 == 0) samples[i / 17 % 5].x = std::nan("");
    const Row& row = rows[static_cast<std::size_t>(i) % std::size(rows)];
    // Every list on clean canvases (half of them), so that no later segment
    // hides a pixel the call moved; or over what was drawn before.
    if (i % 2) {
      for (RenderCanvas* canvas : {&single, &batched, &tabled}) {
        std::fill(canvas->pixels.begin(), canvas->pixels.end(), RenderCanvas::kBackground);
        canvas->depth.fill();
      }
    }
    const F_DrawArea one(single.surface, single.depth), all(batched.surface, batched.depth);
    F_DrawArea withTables(tabled.surface, tabled.depth);
    withTables.columnPlane = columnPlanes.data();
    withTables.rowPlane = rowPlanes.data();
    withTables.inverseColumnScale = 1.0 / tabled.map.scaleX1;
    for (std::size_t j = 0; j < 2 * row.segments; j += 2)
      rasterOutline(one, single.map, color, samples[edge[j] - 1], samples[edge[j + 1] - 1]);
    rasterOutlines(all, batched.map, color, samples, edge.data(), row.ends);
    rasterOutlines(withTables, tabled.map, color, samples, edge.data(), row.ends);
    for (const RenderCanvas* canvas : {&batched, &tabled}) {
      ASSERT_EQ(single.pixels, canvas->pixels) << "list " << i;
      ASSERT_EQ(0, std::memcmp(single.depth.row(0), canvas->depth.row(0), sizeof(float) * 24 * 24)) << "list " << i;
    }
    drawn += single.drawn().size();
  }
  EXPECT_GT(drawn, 4000u);
}

// A renderer hands the fills the plane of every column and row, formed once;
// reading them must write what dividing for each gives, to the bit.
TEST(F_Raster, PlaneTablesWriteWhatDividingWrites) {
  RenderCanvas divided, looked;
  std::mt19937 random(3);
  std::uniform_real_distribution<double> across(-4, 28), depth(-3, 3), value(0, 1);
  // Scales and origins that no power of two divides exactly.
  for (RenderCanvas* canvas : {&divided, &looked}) {
    canvas->map.scaleX1 = 0.7;
    canvas->map.originX1 = 1.3;
    canvas->map.scaleX2 = -0.9;
    canvas->map.originX2 = 21.1;
  }
  std::vector<double> columns(24), rows(24);
  for (int i = 0; i < 24; ++i) {
    columns[static_cast<std::size_t>(i)] = (i - 1.3) / 0.7;
    rows[static_cast<std::size_t>(i)] = (i - 21.1) / -0.9;
  }
  const F_ColorScale scale(divided.colors(), 1, 100, {0, 1});
  for (int i = 0; i < 3000; ++i) {
    const F_Vertex a{depth(random), across(random), across(random), value(random)};
    const F_Vertex b{depth(random), across(random), across(random), value(random)};
    const F_Vertex c{depth(random), across(random), across(random), value(random)};
    for (RenderCanvas* canvas : {&divided, &looked}) {
      F_DrawArea area(canvas->surface, canvas->depth);
      if (canvas == &looked) {
        area.columnPlane = columns.data();
        area.rowPlane = rows.data();
        area.inverseColumnScale = 1.0 / 0.7;
      }
      if (i % 2) {
        rasterLine(area, canvas->map, scale, a, b);
      } else {
        rasterTriangle(area, canvas->map, scale, a, b, c);
      }
    }
  }
  EXPECT_EQ(divided.pixels, looked.pixels);
  EXPECT_EQ(0, std::memcmp(divided.depth.row(0), looked.depth.row(0), sizeof(float) * 24 * 24));
  EXPECT_GT(divided.drawn().size(), 300u);
}

// The renderer forms what triangleRows asks of each corner once per sample,
// four samples at a time where it can: each bound must be the one-sample
// formula to the bit, and for every triangle over the samples the answer
// built from them must be triangleRows' own, rows included. Counts around
// the groups of four; rows on and beside each rounding edge, past the int
// range, infinite and not numbers.
TEST(F_Raster, SampleRowBoundsAnswerAsTriangleRows) {
  RenderCanvas canvas;
  const F_DrawArea area(canvas.surface, canvas.depth);
  const double edges[] = {3.0,      3.5,         std::nextafter(3.5, 0.0), 4 - 1e-6,  4 - 2e-6, 4 + 1e-9,
                          0.4,      1.0,         23.0,                     23.6,      -0.5,     1e9 - 0.5,
                          1e9 + 0.5, -1e9 - 0.5, -1e9 + 0.4,               3e9,       -3e9,     HUGE_VAL,
                          -HUGE_VAL, std::nan("")};
  std::mt19937 random(5);
  std::uniform_real_distribution<double> across(-2, 26), depth(-3, 3), spread(-1.5, 1.5);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(edges) - 1);
  int drawn = 0;
  for (int count = 0; count <= 9; ++count) {
    for (int round = 0; round < 40; ++round) {
      F_Vertex samples[9];
      const double middle = across(random);
      for (int s = 0; s < count; ++s) {
        // Row 20 - z: near the edges, or a small element's spread of rows.
        const double row = round % 2 ? edges[pick(random)] : middle + spread(random);
        samples[s] = {depth(random), across(random), 20 - row, 0.5};
      }
      double up[9], down[9];
      int pixel[9];
      sampleRowBounds(canvas.map, samples, count, up, down, pixel);
      for (int s = 0; s < count; ++s) {
        const double row = canvas.map.scaleX2 * samples[s].z + canvas.map.originX2;
        const double wantUp = std::floor(row + 1e-6), wantDown = row - 1e-6;
        EXPECT_EQ(0, std::memcmp(&up[s], &wantUp, sizeof(double))) << "count " << count << " sample " << s;
        EXPECT_EQ(0, std::memcmp(&down[s], &wantDown, sizeof(double))) << "count " << count << " sample " << s;
        EXPECT_EQ(roundToPixel(row), pixel[s]) << "count " << count << " row " << row;
      }
      for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j)
          for (int k = 0; k < count; ++k) {
            if (i == j || j == k || i == k) continue;
            int from = 0, to = 0;
            const bool want = triangleRows(area, canvas.map, samples[i], samples[j], samples[k], from, to);
            const int rowFrom = std::min(std::min(pixel[i], pixel[j]), pixel[k]);
            const int rowTo = std::max(std::max(pixel[i], pixel[j]), pixel[k]);
            const bool got = std::max(std::max(up[i], up[j]), up[k]) >= std::min(std::min(down[i], down[j]), down[k]) &&
                             triangleReachesArea(area, samples[i], samples[j], samples[k], rowFrom, rowTo);
            ASSERT_EQ(want, got) << "count " << count << " corners " << i << j << k;
            if (!want) continue;
            ++drawn;
            EXPECT_EQ(from, rowFrom);
            EXPECT_EQ(to, rowTo);
          }
    }
  }
  EXPECT_GT(drawn, 1000);
}

// Most triangles of a fine mesh cover one row, which the fill sets up on its
// own: the span must run between the long edge and the short edge that row
// crosses (the lower one, then the upper one), with depth and value linear
// in the column. Corners on binary fractions keep every step exact.
TEST(F_Raster, OneRowTriangleSpansItsEdgesAtTheRowCentre) {
  struct Row {
    F_Vertex a, b, c;
    int from, to;           // columns of row 10 (z = 10)
    double depthA, depthB;  // depth = depthA + depthB * column
    double valueA, valueB;
  };
  const Row rows[] = {
      {{0, 2, 9.5, 0}, {2, 2, 10.5, 0.5}, {4, 10, 10, 0.5}, 2, 10, 0.25, 0.375, 0.1875, 0.03125},
      {{0, 2, 9.25, 0}, {2, 2, 10.25, 0.5}, {4, 10, 9.75, 0.5}, 2, 6, 0.75, 0.375, 0.3125, 0.03125},
  };
  for (const Row& row : rows) {
    RenderCanvas canvas;
    const F_ColorScale scale(canvas.colors(), 1, 100, {0, 1});
    rasterTriangle(F_DrawArea(canvas.surface, canvas.depth), canvas.map, scale, row.a, row.b, row.c);
    for (int r = 0; r < 24; ++r) {
      for (int c = 0; c < 24; ++c) {
        const bool inside = r == 10 && c >= row.from && c <= row.to;
        EXPECT_EQ(inside ? scale.color(row.valueA + row.valueB * c) : RenderCanvas::kBackground, canvas.at(c, r))
            << "column " << c << " row " << r;
        if (inside) {
          EXPECT_EQ(static_cast<float>(row.depthA + row.depthB * c), canvas.depth.at(c, r));
        }
      }
    }
  }
}

// The renderer hands an element's triangles to the fill in one call, which
// sets up four one-row triangles at a time: it must write what fillTriangle
// writes for each in turn, to the pixel and the depth. Lists of 0 to 9
// triangles (around the groups of four), tiny triangles that cross one row
// centre mixed with larger ones, a row on the area's first and last row and
// one just outside, flat and upright triangles, corners on a row centre, and
// corners that are not numbers; with the planes divided and from tables, on
// clean canvases and over what was drawn before.
TEST(F_Raster, TrianglesInOneCallWriteWhatEachTriangleWrites) {
  RenderCanvas single, batched;
  std::vector<double> columnPlanes(24), rowPlanes(24);
  for (int i = 0; i < 24; ++i) {
    columnPlanes[static_cast<std::size_t>(i)] = (i - single.map.originX1) / single.map.scaleX1;
    rowPlanes[static_cast<std::size_t>(i)] = (i - single.map.originX2) / single.map.scaleX2;
  }
  const F_ColorScale scale(single.colors(), 1, 100, {0, 1});
  std::mt19937 random(11);
  std::uniform_real_distribution<double> across(-3, 27), depth(-3, 3), value(0, 1), nudge(-0.4, 0.4);
  long long oneRow = 0, more = 0, drawn = 0;
  for (int i = 0; i < 1500; ++i) {
    if (i % 2) {
      for (RenderCanvas* canvas : {&single, &batched}) {
        std::fill(canvas->pixels.begin(), canvas->pixels.end(), RenderCanvas::kBackground);
        canvas->depth.fill();
      }
    }
    F_DrawArea one(single.surface, single.depth), all(batched.surface, batched.depth);
    if (i % 3 == 0) {
      for (F_DrawArea* area : {&one, &all}) {
        area->columnPlane = columnPlanes.data();
        area->rowPlane = rowPlanes.data();
        area->inverseColumnScale = 1.0 / single.map.scaleX1;
      }
    }
    std::vector<F_Vertex> corners;
    std::vector<F_TriangleRows> list;
    const int count = i % 10;
    corners.reserve(3 * static_cast<std::size_t>(count));
    for (int t = 0; t < count; ++t) {
      // Mostly within half a row of a pixel centre, as a fine mesh's are.
      const bool tiny = (i + t) % 4 != 0;
      const double y = across(random), z = tiny ? std::round(across(random)) + nudge(random) : across(random);
      for (int k = 0; k < 3; ++k) {
        const double spread = tiny ? 1.0 : 8.0;
        corners.push_back({depth(random), y + spread * nudge(random), z + spread * nudge(random), value(random)});
      }
      F_Vertex* c = &corners[corners.size() - 3];
      if ((i + t) % 7 == 0) c[1].z = c[0].z;                    // a flat edge
      if ((i + t) % 11 == 0) c[2].y = c[0].y, c[1].y = c[0].y;  // upright
      // Rows 1 and 23 are the area's first and last, row 24 lies below it
      // (row r at z = 20 - r).
      if ((i + t) % 13 == 0) c[0].z = t % 2 ? 19.0 : -3.0;  // on the first or last row centre
      if ((i + t) % 17 == 0) {
        for (int k = 0; k < 3; ++k) c[k].z = -4.0 + 0.3 * nudge(random);  // around row 24 only
      }
      if ((i + t) % 19 == 0) c[t % 3].x = std::nan("");
      if ((i + t) % 23 == 0) c[t % 3].y = std::nan("");
      int rowFrom, rowTo;
      if (triangleRows(one, single.map, c[0], c[1], c[2], rowFrom, rowTo)) {
        list.push_back({&c[0], &c[1], &c[2], rowFrom, rowTo});
        (std::max(rowFrom, one.firstRow) == std::min(rowTo, one.lastRow) ? oneRow : more) += 1;
      }
    }
    for (const F_TriangleRows& t : list) fillTriangle(one, single.map, scale, *t.a, *t.b, *t.c, t.rowFrom, t.rowTo);
    fillTriangles(all, batched.map, scale, list.data(), static_cast<int>(list.size()));
    ASSERT_EQ(single.pixels, batched.pixels) << "list " << i;
    ASSERT_EQ(0, std::memcmp(single.depth.row(0), batched.depth.row(0), sizeof(float) * 24 * 24)) << "list " << i;
    drawn += static_cast<long long>(single.drawn().size());
  }
  EXPECT_GT(oneRow, 1000);
  EXPECT_GT(more, 500);
  EXPECT_GT(drawn, 5000);
}
