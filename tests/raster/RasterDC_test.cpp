#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <tuple>
#include <string>
#include <vector>

#include "support/TestSupport.h"

#include <QFontInfo>
#include <QImage>

#include "common/F_CanvasBound.h"
#include "platform/raster/RasterDC.h"
#include "platform/raster/RasterImage.h"
#include "platform/raster/RasterFonts.h"

// fontconfig keeps a few blocks for the life of the process; the leak checker
// of sanitizer builds is told so, the rest of its reports still count.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

const F_Rgb kWhite = makeRgb(255, 255, 255);
const F_Rgb kBlack = makeRgb(0, 0, 0);
const F_Rgb kRed = makeRgb(255, 0, 0);
const F_Rgb kGreen = makeRgb(0, 255, 0);
const F_Rgb kBlue = makeRgb(0, 0, 255);

// The picture as rows of characters: '.' white, '#' black, 'r' 'g' 'b' for
// red, green, blue, '?' anything else. Failures print it whole.
std::string art(DeviceContext& dc) {
  std::string s;
  for (int y = 0; y < dc.height(); ++y) {
    for (int x = 0; x < dc.width(); ++x) {
      const F_Rgb c = dc.getPixel(x, y);
      s += c == kWhite ? '.' : c == kBlack ? '#' : c == kRed ? 'r' : c == kGreen ? 'g' : c == kBlue ? 'b' : '?';
    }
    s += '\n';
  }
  return s;
}

std::string rows(std::initializer_list<const char*> lines) {
  std::string s;
  for (const char* l : lines) (s += l) += '\n';
  return s;
}

struct Box {
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1;  // inclusive; r < l when nothing
  bool empty() const { return r < l; }
};

// Bounding box of the pixels that are not `background`.
Box inkBox(DeviceContext& dc, F_Rgb background = kWhite) {
  Box box;
  for (int y = 0; y < dc.height(); ++y) {
    for (int x = 0; x < dc.width(); ++x) {
      if (dc.getPixel(x, y) == background) continue;
      box.l = std::min(box.l, x);
      box.r = std::max(box.r, x);
      box.t = std::min(box.t, y);
      box.b = std::max(box.b, y);
    }
  }
  return box;
}

int countColor(DeviceContext& dc, F_Rgb color) {
  int n = 0;
  for (int y = 0; y < dc.height(); ++y)
    for (int x = 0; x < dc.width(); ++x) n += dc.getPixel(x, y) == color;
  return n;
}

}  // namespace

TEST(RasterDC, RectangleCoversBoxLessItsRightAndBottomEdge) {
  RasterDC dc(9, 7);
  dc.selectPen(Pen::solid(kRed));
  dc.selectBrush(Brush::solid(kBlue));
  dc.rectangle(1, 1, 7, 6);
  EXPECT_EQ(art(dc), rows({".........",
                           ".rrrrrr..",
                           ".rbbbbr..",
                           ".rbbbbr..",
                           ".rbbbbr..",
                           ".rrrrrr..",
                           "........."}));
}

TEST(RasterDC, RectangleVariants) {
  struct Case {
    const char* name;
    Pen pen;
    Brush brush;
    int l, t, r, b;
    std::string expected;
  } cases[] = {
      {"wide pen stays inside", Pen::solid(kRed, 2), Brush::solid(kBlue), 1, 0, 7, 6,
       rows({".rrrrrr..", ".rrrrrr..", ".rrbbrr..", ".rrbbrr..", ".rrrrrr..", ".rrrrrr..", "........."})},
      {"hollow brush keeps the inside", Pen::solid(kRed), Brush::hollow(), 0, 0, 4, 3,
       rows({"rrrr.....", "r..r.....", "rrrr.....", ".........", ".........", ".........", "........."})},
      {"corners given backwards", Pen::solid(kRed), Brush::solid(kBlue), 3, 2, 0, 0,
       rows({"rrr......", "rrr......", ".........", ".........", ".........", ".........", "........."})},
      {"empty box draws nothing", Pen::solid(kRed), Brush::solid(kBlue), 4, 4, 4, 4,
       rows({".........", ".........", ".........", ".........", ".........", ".........", "........."})},
      {"clipped at the surface", Pen::solid(kRed), Brush::solid(kBlue), -2, 5, 3, 12,
       rows({".........", ".........", ".........", ".........", ".........", "rrr......", "bbr......"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RasterDC dc(9, 7);
    dc.selectPen(c.pen);
    dc.selectBrush(c.brush);
    dc.rectangle(c.l, c.t, c.r, c.b);
    EXPECT_EQ(art(dc), c.expected);
  }
}

TEST(RasterDC, EllipseFillsItsBoxWithOutlineInsideAndIsSymmetric) {
  for (int size : {2, 3, 4, 5, 8, 11, 20}) {
    SCOPED_TRACE("size " + std::to_string(size));
    RasterDC dc(30, 30);
    dc.selectPen(Pen::solid(kRed));
    dc.selectBrush(Brush::solid(kBlue));
    dc.ellipse(5, 6, 5 + size, 6 + size / 2 + 1);
    const Box box = inkBox(dc);
    EXPECT_EQ(box.t, 6);
    EXPECT_EQ(box.b, 6 + size / 2);
    EXPECT_EQ(box.l, 5);
    EXPECT_EQ(box.r, 5 + size - 1);
    for (int y = 0; y < 30; ++y) {
      for (int x = 5; x < 5 + size; ++x) {
        const int mx = 5 + size - 1 - (x - 5), my = 6 + (6 + size / 2) - y;
        EXPECT_EQ(dc.getPixel(x, y), dc.getPixel(mx, y)) << "mirror left-right at " << x << "," << y;
        if (y >= 6 && y <= 6 + size / 2) {
          EXPECT_EQ(dc.getPixel(x, y), dc.getPixel(x, my)) << "mirror up-down";
        }
      }
    }
    // The outline separates the inside from the white around it.
    for (int y = 1; y < 29; ++y)
      for (int x = 1; x < 29; ++x)
        if (dc.getPixel(x, y) == kBlue) {
          EXPECT_NE(dc.getPixel(x - 1, y), kWhite);
          EXPECT_NE(dc.getPixel(x + 1, y), kWhite);
          EXPECT_NE(dc.getPixel(x, y - 1), kWhite);
          EXPECT_NE(dc.getPixel(x, y + 1), kWhite);
        }
  }

  RasterDC dc(9, 9);
  dc.ellipse(3, 3, 3, 3);
  EXPECT_TRUE(inkBox(dc).empty()) << "a marker of size 1 has h = 0 and draws nothing";
  dc.selectPen(Pen::solid(kRed));
  dc.selectBrush(Brush::solid(kBlue));
  dc.ellipse(1, 1, 8, 8);
  EXPECT_EQ(art(dc), rows({".........",
                           "...rrr...",
                           "..rbbbr..",
                           ".rbbbbbr.",
                           ".rbbbbbr.",
                           ".rbbbbbr.",
                           "..rbbbr..",
                           "...rrr...",
                           "........."}));
}

TEST(RasterDC, LineToLeavesOutItsEndPixel) {
  struct Case {
    const char* name;
    int x0, y0, x1, y1;
    std::vector<std::pair<int, int>> pixels;
  } cases[] = {
      {"one pixel down", 3, 3, 3, 4, {{3, 3}}},
      {"same point", 3, 3, 3, 3, {}},
      {"right", 1, 2, 5, 2, {{1, 2}, {2, 2}, {3, 2}, {4, 2}}},
      {"left", 5, 2, 1, 2, {{5, 2}, {4, 2}, {3, 2}, {2, 2}}},
      {"up", 2, 6, 2, 3, {{2, 6}, {2, 5}, {2, 4}}},
      {"diagonal", 1, 1, 4, 4, {{1, 1}, {2, 2}, {3, 3}}},
      {"shallow", 0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {"shallow back", 4, 2, 0, 0, {{4, 2}, {3, 2}, {2, 1}, {1, 1}}},
      {"steep", 0, 0, 1, 3, {{0, 0}, {0, 1}, {1, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RasterDC dc(8, 8);
    dc.moveTo(c.x0, c.y0);
    dc.lineTo(c.x1, c.y1);
    EXPECT_EQ(countColor(dc, kBlack), static_cast<int>(c.pixels.size()));
    for (auto [x, y] : c.pixels) EXPECT_EQ(dc.getPixel(x, y), kBlack) << x << "," << y;
  }
}

TEST(RasterDC, PolylineDrawsEachCornerOnceSoXorTwiceRestores) {
  RasterDC dc(8, 8);
  dc.patBlt(0, 0, 8, 8, PatOp::Blackness);
  dc.setPixel(4, 4, kRed);
  dc.setDrawMode(DrawMode::Xor);
  dc.selectPen(Pen::solid(kWhite));
  const auto box = [&] {
    dc.moveTo(1, 1);
    dc.lineTo(6, 1);
    dc.lineTo(6, 6);
    dc.lineTo(1, 6);
    dc.lineTo(1, 1);
  };
  box();
  EXPECT_EQ(art(dc), rows({"########",
                           "#......#",
                           "#.####.#",
                           "#.####.#",
                           "#.##r#.#",
                           "#.####.#",
                           "#......#",
                           "########"}));
  box();
  EXPECT_EQ(countColor(dc, kBlack), 63) << "the second pass erased the first";
  dc.ellipse(0, 0, 8, 8);
  dc.ellipse(0, 0, 8, 8);
  dc.rectangle(2, 2, 7, 7);
  dc.rectangle(2, 2, 7, 7);
  EXPECT_EQ(countColor(dc, kBlack), 63);
  EXPECT_EQ(dc.getPixel(4, 4), kRed);
}

TEST(RasterDC, StyledOnePixelPensRepeatTheirPatternAndPaintGapsWhenOpaque) {
  struct Case {
    const char* name;
    PenStyle style;
    BkMode mode;
    std::string row;  // row 0 of a 48-pixel line from column 0
  } cases[] = {
      {"dash", PenStyle::Dash, BkMode::Opaque, "##################gggggg##################gggggg"},
      {"dot", PenStyle::Dot, BkMode::Opaque, "###ggg###ggg###ggg###ggg###ggg###ggg###ggg###ggg"},
      {"dash dot", PenStyle::DashDot, BkMode::Transparent, "#########......###......#########......###......"},
      {"dash dot dot", PenStyle::DashDotDot, BkMode::Transparent,
       "#########...###...###...#########...###...###..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RasterDC dc(48, 1);
    dc.selectPen({c.style, 1, kBlack});
    dc.setBkMode(c.mode);
    dc.setBkColor(kGreen);
    dc.moveTo(0, 0);
    dc.lineTo(20, 0);
    dc.lineTo(48, 0);  // the pattern runs on across the corner
    EXPECT_EQ(art(dc), c.row + "\n");
  }
}

TEST(RasterDC, WidePensDrawSolidWhateverTheirStyle) {
  RasterDC dc(10, 5);
  dc.selectPen({PenStyle::Dot, 3, kBlack});
  dc.moveTo(2, 2);
  dc.lineTo(7, 2);
  EXPECT_EQ(art(dc), rows({"..........",
                           ".########.",
                           ".########.",
                           ".########.",
                           ".........."}))
      << "three rows centred on row 2, ends rounded one pixel past both end points";
}

TEST(RasterDC, TwoPixelFrameRunsAlongTheSurfaceEdge) {
  // The canvas frame: MoveTo(1, 1) ... LineTo(1, 0) with a 2-pixel black pen.
  RasterDC dc(8, 6);
  dc.selectPen(Pen::solid(kBlack, 2));
  dc.moveTo(1, 1);
  dc.lineTo(7, 1);
  dc.lineTo(7, 5);
  dc.lineTo(1, 5);
  dc.lineTo(1, 0);
  EXPECT_EQ(art(dc), rows({"########",
                           "########",
                           "##....##",
                           "##....##",
                           "########",
                           "########"}));
}

TEST(RasterDC, LinesFarOffTheSurfaceAreClippedCheaply) {
  RasterDC dc(16, 4);
  const auto start = std::chrono::steady_clock::now();
  dc.moveTo(-2000000000, 1);
  dc.lineTo(2000000000, 1);
  dc.moveTo(-2000000000, -2000000000);
  dc.lineTo(2000000000, 2000000000);  // crosses the surface at (0, 0) .. (3, 3)
  dc.selectPen(Pen::solid(kRed, 5));
  dc.moveTo(5, -2000000000);
  dc.lineTo(5, -10);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 0.05);
  EXPECT_EQ(art(dc), rows({"#...............",
                           "################",
                           "..#.............",
                           "...#............"}));
}

TEST(RasterDC, ViewportOriginShiftsDrawingAndBlitsFromTheOffScreenImage) {
  RasterDC window(6, 4);
  std::unique_ptr<DeviceContext> mem = window.createCompatible(20, 20);
  EXPECT_EQ(mem->width(), 20);
  mem->setPixel(12, 7, kRed);
  mem->selectPen(Pen::solid(kBlue));
  mem->moveTo(10, 6);
  mem->lineTo(16, 6);
  // The window scrolled to (10, 5) shows canvas columns 10..15, rows 5..8.
  window.setViewportOrigin(10, 5);
  window.bitBlt(0, 0, 20, 20, *mem, 0, 0);
  window.setPixel(15, 8, kGreen);
  EXPECT_EQ(window.getPixel(12, 7), kRed);
  EXPECT_EQ(window.getPixel(9, 7), kInvalidPixel);
  window.setViewportOrigin(0, 0);
  EXPECT_EQ(art(window), rows({"......",
                               "bbbbbb",
                               "..r...",
                               ".....g"}));
}

TEST(RasterDC, PatBltFillsInvertsAndUsesTheBrush) {
  RasterDC dc(4, 2);
  dc.selectBrush(Brush::solid(kRed));
  dc.patBlt(1, 0, 2, 2, PatOp::PatCopy);
  dc.patBlt(0, 1, 9, 9, PatOp::DstInvert);
  EXPECT_EQ(art(dc), rows({".rr.", "#??#"}));
  EXPECT_EQ(dc.getPixel(1, 1), makeRgb(0, 255, 255));
  dc.patBlt(-5, -5, 50, 50, PatOp::Whiteness);
  EXPECT_EQ(countColor(dc, kWhite), 8);
}

TEST(RasterDC, SavesPngThatReadsBackTheSamePixels) {
  TempDir dir;
  RasterDC dc(5, 3);
  dc.setPixel(0, 0, kRed);
  dc.setPixel(4, 2, makeRgb(12, 34, 56));
  const std::string path = dir.path("picture.png");
  ASSERT_TRUE(dc.image().save(path));
  QImage back(QString::fromStdString(path));
  ASSERT_EQ(back.size(), QSize(5, 3));
  EXPECT_EQ(back.pixel(0, 0), kRed);
  EXPECT_EQ(back.pixel(4, 2), makeRgb(12, 34, 56));
  EXPECT_EQ(back.pixel(2, 1), kWhite);
}

TEST(RasterImage, RefusesExactlyTheCanvasesBeyondTheCanvasBound) {
  // The area boundary itself (32768 x 4096) would take 512 MiB, so its rows
  // stop one column or row past it; each side's boundary is cheap to allocate.
  const struct {
    int w, h;
  } rows[] = {{32768, 1}, {1, 32768}, {32769, 1}, {1, 32769}, {32768, 4097}, {4097, 32768}, {0, 1}, {1, 0}};
  for (const auto& r : rows) {
    const RasterImage image(r.w, r.h);
    EXPECT_EQ(image.isNull(), !F_CanvasBound::fits(r.w, r.h)) << r.w << "x" << r.h;
  }
}

TEST(RasterDC, HugeSurfaceThatCannotBeAllocatedIsEmptyNotACrash) {
  RasterDC dc(2000000, 2000000);
  EXPECT_EQ(dc.width(), 0);
  dc.moveTo(0, 0);
  dc.lineTo(10, 10);
  dc.rectangle(0, 0, 5, 5);
  dc.textOut(1, 1, "x");
  EXPECT_EQ(dc.getPixel(0, 0), kInvalidPixel);
}

TEST(RasterFonts, NamedFacesResolveToTheirMetricTwins) {
  ensureGuiApplication();
  EXPECT_EQ(QFontInfo(toQFont({"Courier New", 12, 400})).family(), "Liberation Mono");
  EXPECT_EQ(QFontInfo(toQFont({"Arial", 16, 700})).family(), "Liberation Sans");
  EXPECT_TRUE(QFontInfo(toQFont({"Arial", 16, 700})).bold());

  RasterDC dc(10, 10);
  dc.selectFont({"Courier New", 12, 400});
  EXPECT_EQ(dc.textExtent("iii").cx, dc.textExtent("WWW").cx) << "a fixed-pitch face";
  dc.selectFont({"Arial", 16, 700});
  EXPECT_LT(dc.textExtent("iii").cx, dc.textExtent("WWW").cx);
  const TextExtent e = dc.textExtent("Phi");
  EXPECT_GE(e.cy, 16);
  EXPECT_LE(e.cy, 22);
}

TEST(RasterDC, TextAlignmentPlacesTheTextBoxAroundTheReferencePoint) {
  struct Case {
    const char* name;
    TextAlign align;
    int dx, dy;  // box left/top relative to the point, in units of the box: 0, -1/2 or -1
  } cases[] = {
      {"left top", {HAlign::Left, VAlign::Top}, 0, 0},
      {"centre bottom", {HAlign::Centre, VAlign::Bottom}, -1, -2},
      {"right top", {HAlign::Right, VAlign::Top}, -2, 0},
      {"left bottom", {HAlign::Left, VAlign::Bottom}, 0, -2},
      {"centre baseline", {HAlign::Centre, VAlign::Baseline}, -1, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RasterDC dc(200, 80);
    dc.selectFont({"Courier New", 14, 400});
    dc.setTextAlign(c.align);
    dc.setBkColor(kGreen);  // opaque: the whole text box is painted
    dc.setTextColor(kRed);
    const TextExtent e = dc.textExtent("12345");
    dc.textOut(100, 40, "12345");
    const Box box = inkBox(dc);
    EXPECT_EQ(box.r - box.l + 1, e.cx);
    EXPECT_EQ(box.b - box.t + 1, e.cy);
    EXPECT_EQ(box.l, 100 + (c.dx == 0 ? 0 : c.dx == -1 ? -(e.cx / 2) : -e.cx));
    if (c.dy == 99) {
      // Baseline: the digits stand on row 39, the descent lies below.
      int lowestRed = -1;
      for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x)
          if (dc.getPixel(x, y) == kRed) lowestRed = y;
      EXPECT_EQ(lowestRed, 39);
      EXPECT_LT(box.t, 40);
      EXPECT_GT(box.b, 40);
    } else {
      EXPECT_EQ(box.t, 40 + (c.dy == 0 ? 0 : -e.cy));
    }
    EXPECT_GT(countColor(dc, kRed), 20) << "the digits are drawn";
    for (int y = box.t; y <= box.b; ++y)
      for (int x = box.l; x <= box.r; ++x) ASSERT_TRUE(dc.getPixel(x, y) == kGreen || dc.getPixel(x, y) == kRed);
  }
}

TEST(RasterDC, TransparentTextLeavesTheBackgroundAndHasNoGreyEdges) {
  RasterDC dc(120, 40);
  dc.patBlt(0, 0, 120, 40, PatOp::Blackness);
  dc.selectFont({"Arial", 16, 700});
  dc.setBkMode(BkMode::Transparent);
  dc.setTextColor(kWhite);
  dc.textOut(12, 8, "Mesh title");
  const int white = countColor(dc, kWhite);
  EXPECT_GT(white, 50);
  EXPECT_EQ(white + countColor(dc, kBlack), 120 * 40) << "antialiasing is off";
}

TEST(RasterDC, TextAndScanlineDrawingInterleaveInOrder) {
  RasterDC dc(100, 30);
  dc.selectFont({"Courier New", 14, 400});
  dc.setBkColor(kGreen);
  dc.textOut(0, 0, "8888");  // green box from row 0
  dc.selectPen(Pen::solid(kBlue));
  dc.moveTo(0, 3);
  dc.lineTo(100, 3);  // over the text box
  dc.textOut(50, 0, "8");  // over the line
  EXPECT_EQ(dc.getPixel(1, 3), kBlue) << "the line lies on the first text";
  EXPECT_EQ(dc.getPixel(51, 3), kGreen) << "the second text's box lies on the line";
  EXPECT_EQ(dc.getPixel(99, 3), kBlue);
  TempDir dir;
  ASSERT_TRUE(dc.image().save(dir.path("t.png")));
  dc.textOut(80, 10, "8");  // drawing goes on after the picture was taken
  EXPECT_EQ(dc.getPixel(80, 10), kGreen);
}

TEST(RasterDC, WideLinesCoverTheSamePixelsEitherWayAndMirrorWithTheirEnds) {
  struct Case {
    const char* name;
    int width, x0, y0, x1, y1;
  } cases[] = {
      {"2 px diagonal", 2, 4, 4, 15, 15},
      {"3 px diagonal", 3, 4, 4, 15, 15},
      {"4 px shallow", 4, 3, 8, 17, 12},
      {"7 px steep", 7, 9, 2, 11, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RasterDC forward(20, 20), backward(20, 20), transposed(20, 20);
    for (auto [dc, a, b, swapXY] : {std::tuple{&forward, true, false, false}, std::tuple{&backward, false, true, false},
                                   std::tuple{&transposed, true, false, true}}) {
      (void)b;
      dc->selectPen(Pen::solid(kBlack, c.width));
      const int ax = a ? c.x0 : c.x1, ay = a ? c.y0 : c.y1, bx = a ? c.x1 : c.x0, by = a ? c.y1 : c.y0;
      dc->moveTo(swapXY ? ay : ax, swapXY ? ax : ay);
      dc->lineTo(swapXY ? by : bx, swapXY ? bx : by);
    }
    EXPECT_EQ(art(forward), art(backward));
    std::string flipped;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 20; ++x) flipped += transposed.getPixel(y, x) == kBlack ? '#' : '.';
      flipped += '\n';
    }
    EXPECT_EQ(art(forward), flipped);
    // Thickness across the middle, along the minor axis: the pen width stretched by the slant.
    const bool xMajor = std::abs(c.x1 - c.x0) >= std::abs(c.y1 - c.y0);
    const int mid = xMajor ? (c.x0 + c.x1) / 2 : (c.y0 + c.y1) / 2;
    int across = 0;
    for (int k = 0; k < 20; ++k) across += (xMajor ? forward.getPixel(mid, k) : forward.getPixel(k, mid)) == kBlack;
    const double stretch = std::hypot(c.x1 - c.x0, c.y1 - c.y0) /
                           (xMajor ? std::abs(c.x1 - c.x0) : std::abs(c.y1 - c.y0));
    EXPECT_NEAR(across, c.width * stretch, 1.5);
  }
}
