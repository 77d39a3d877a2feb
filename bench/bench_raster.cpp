// Throughput of the raster drawing surface at 1920 x 1080: the calls that the
// line mode of a large mesh makes (short lines, markers, numbers) and the
// copies a paint makes. Prints one line per case.

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/raster/RasterDC.h"
#include "platform/raster/RasterFonts.h"

namespace {

constexpr int kW = 1920, kH = 1080;

struct Pt {
  int x, y;
};

// Random points, and for each one a neighbour a few pixels away, like the
// corners of a fine mesh.
std::vector<Pt> points(int n, int spread, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> x(0, kW - 1), y(0, kH - 1), d(-spread, spread);
  std::vector<Pt> out;
  out.reserve(static_cast<std::size_t>(2 * n));
  for (int i = 0; i < n; ++i) {
    const Pt a{x(rng), y(rng)};
    out.push_back(a);
    out.push_back({a.x + d(rng), a.y + d(rng)});
  }
  return out;
}

void run(const char* name, int count, const char* unit, const std::function<void()>& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-34s %9d %-8s %9.1f ms  %12.0f %s/s\n", name, count, unit, s * 1e3, count / s, unit);
}

}  // namespace

int main() {
  ensureGuiApplication();
  RasterDC dc(kW, kH);

  // A 1000 x 1000 quad grid over the whole image, each quad a closed outline
  // of four lines, in the order a mesh stores its elements.
  const int g = 1000;
  run("quad outlines, 1000 x 1000 grid", g * g, "quads", [&] {
    const auto px = [&](int i) { return i * (kW - 1) / g; };
    const auto py = [&](int j) { return j * (kH - 1) / g; };
    for (int j = 0; j < g; ++j) {
      for (int i = 0; i < g; ++i) {
        dc.moveTo(px(i), py(j));
        dc.lineTo(px(i + 1), py(j));
        dc.lineTo(px(i + 1), py(j + 1));
        dc.lineTo(px(i), py(j + 1));
        dc.lineTo(px(i), py(j));
      }
    }
  });

  const int nShort = 4000000;
  const std::vector<Pt> shortLines = points(nShort, 6, 1);
  run("lines, 1 px solid, ~6 px long", nShort, "lines", [&] {
    for (int i = 0; i < nShort; ++i) {
      dc.moveTo(shortLines[2 * i].x, shortLines[2 * i].y);
      dc.lineTo(shortLines[2 * i + 1].x, shortLines[2 * i + 1].y);
    }
  });
  dc.selectPen({PenStyle::Dash, 1, makeRgb(255, 0, 0)});
  run("lines, 1 px dashed, ~6 px long", nShort, "lines", [&] {
    for (int i = 0; i < nShort; ++i) {
      dc.moveTo(shortLines[2 * i].x, shortLines[2 * i].y);
      dc.lineTo(shortLines[2 * i + 1].x, shortLines[2 * i + 1].y);
    }
  });

  const int nLong = 20000;
  const std::vector<Pt> longLines = points(nLong, 1500, 2);
  dc.selectPen(Pen::solid(makeRgb(0, 0, 255)));
  run("lines, 1 px solid, ~800 px long", nLong, "lines", [&] {
    for (int i = 0; i < nLong; ++i) {
      dc.moveTo(longLines[2 * i].x, longLines[2 * i].y);
      dc.lineTo(longLines[2 * i + 1].x, longLines[2 * i + 1].y);
    }
  });
  dc.selectPen(Pen::solid(makeRgb(0, 128, 0), 3));
  const int nWide = 200000;
  run("lines, 3 px, ~6 px long", nWide, "lines", [&] {
    for (int i = 0; i < nWide; ++i) {
      dc.moveTo(shortLines[2 * i].x, shortLines[2 * i].y);
      dc.lineTo(shortLines[2 * i + 1].x, shortLines[2 * i + 1].y);
    }
  });

  dc.selectPen(Pen::solid(makeRgb(255, 0, 255)));
  dc.selectBrush(Brush::solid(makeRgb(255, 0, 255)));
  const int nMarkers = 1000000;
  run("filled circles, size 5", nMarkers, "markers", [&] {
    for (int i = 0; i < nMarkers; ++i) dc.ellipse(shortLines[i].x - 2, shortLines[i].y - 2, shortLines[i].x + 2, shortLines[i].y + 2);
  });
  run("filled squares, size 5", nMarkers, "markers", [&] {
    for (int i = 0; i < nMarkers; ++i) {
      dc.rectangle(shortLines[i].x - 2, shortLines[i].y - 2, shortLines[i].x + 2, shortLines[i].y + 2);
    }
  });

  dc.selectFont({"Courier New", 12, 400});
  dc.setTextAlign({HAlign::Left, VAlign::Bottom});
  const int nText = 100000;
  std::vector<std::string> numbers;
  for (int i = 0; i < nText; ++i) numbers.push_back(std::to_string(i + 1));
  run("numbers, Courier New 12 px, opaque", nText, "texts", [&] {
    for (int i = 0; i < nText; ++i) dc.textOut(shortLines[i].x + 4, shortLines[i].y - 4, numbers[static_cast<std::size_t>(i)]);
  });

  RasterDC window(kW, kH);
  const int nCopies = 200;
  run("bitBlt of the whole image", nCopies, "copies", [&] {
    for (int i = 0; i < nCopies; ++i) window.bitBlt(0, 0, kW, kH, dc, 0, 0);
  });
  run("patBlt white, whole image", nCopies, "fills", [&] {
    for (int i = 0; i < nCopies; ++i) dc.patBlt(0, 0, kW, kH, PatOp::Whiteness);
  });
  return 0;
}
