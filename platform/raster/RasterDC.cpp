#include "platform/raster/RasterDC.h"


#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>


namespace {

constexpr F_Rgb kOpaque = 0xff000000u;
constexpr double kEps = 1e-9;

// On/off run lengths of the one-pixel styled pens, starting with "on".
struct DashPattern {
  int runs[6];
  int count;
};

DashPattern patternOf(PenStyle style) {
  switch (style) {
    case PenStyle::Dash: return {{18, 6}, 2};
    case PenStyle::Dot: return {{3, 3}, 2};
    case PenStyle::DashDot: return {{9, 6, 3, 6}, 4};
    case PenStyle::DashDotDot: return {{9, 3, 3, 3, 3, 3}, 6};
    case PenStyle::Solid: break;
  }
  return {{1}, 1};
}

DashMask maskOf(PenStyle style) {
  const DashPattern p = patternOf(style);
  DashMask m;
  m.on[0] = false;
  m.length = 0;
  for (int k = 0; k < p.count; ++k) {
    for (int j = 0; j < p.runs[k]; ++j) m.on[m.length++] = (k % 2) == 0;
  }
  return m;
}

inline void put(F_Rgb* p, F_Rgb color, bool xorMode) {
  if (xorMode) {
    *p ^= color & 0x00ffffffu;
  } else {
    *p = color | kOpaque;
  }
}

// The pixel columns lo..hi (inclusive) of one row of a shape; lo > hi when empty.
struct Span {
  long long lo = 1;
  long long hi = 0;
  bool empty() const { return lo > hi; }
};

struct EllipseShape {
  double cx, cy, a, b;  // centre and semi-axes, in pixel-centre coordinates

  Span row(long long y) const {
    if (a <= 0 || b <= 0) return {};
    const double dy = (static_cast<double>(y) - cy) / b;
    const double q = 1.0 - dy * dy;
    if (q < -kEps) return {};
    const double hw = a * std::sqrt(std::max(0.0, q));
    return {static_cast<long long>(std::ceil(cx - hw - kEps)), static_cast<long long>(std::floor(cx + hw + kEps))};
  }
  // The pixels of row y whose four neighbours are all inside: the ellipse less its outline.
  Span inner(long long y) const {
    const Span s = row(y), up = row(y - 1), down = row(y + 1);
    if (s.empty() || up.empty() || down.empty()) return {};
    return {std::max({s.lo + 1, up.lo, down.lo}), std::min({s.hi - 1, up.hi, down.hi})};
  }
};

// x-interval where a * x + c lies in [lo, hi]; all x when a is 0 and c fits.
bool solveLinear(double a, double c, double lo, double hi, double& xlo, double& xhi) {
  if (std::abs(a) < 1e-12) {
    if (c < lo || c > hi) return false;
    xlo = -1e300;
    xhi = 1e300;
    return true;
  }
  double u = (lo - c) / a, v = (hi - c) / a;
  if (u > v) std::swap(u, v);
  xlo = u;
  xhi = v;
  return true;
}

}  // namespace

RasterDC::RasterDC(int w, int h) : owned_(std::make_unique<RasterImage>(w, h)), image_(owned_.get()) {
  dash_ = maskOf(pen_.style);
}

RasterDC::RasterDC(RasterImage& image) : image_(&image) { dash_ = maskOf(pen_.style); }

RasterDC::~RasterDC() = default;

std::unique_ptr<DeviceContext> RasterDC::createCompatible(int w, int h) { return std::make_unique<RasterDC>(w, h); }

void RasterDC::setViewportOrigin(int ox, int oy) {
  ox_ = ox;
  oy_ = oy;
}

Pen RasterDC::selectPen(const Pen& pen) {
  dash_ = maskOf(pen.style);
  return std::exchange(pen_, pen);
}
Brush RasterDC::selectBrush(const Brush& brush) { return std::exchange(brush_, brush); }

Font RasterDC::selectFont(const Font& font) {
  if (!(font == font_)) glyphs_ = nullptr;
  return std::exchange(font_, font);
}

TextAlign RasterDC::setTextAlign(TextAlign align) { return std::exchange(align_, align); }
BkMode RasterDC::setBkMode(BkMode mode) { return std::exchange(bkMode_, mode); }
F_Rgb RasterDC::setBkColor(F_Rgb color) { return std::exchange(bkColor_, color); }
F_Rgb RasterDC::setTextColor(F_Rgb color) { return std::exchange(textColor_, color); }
DrawMode RasterDC::setDrawMode(DrawMode mode) { return std::exchange(drawMode_, mode); }

void RasterDC::moveTo(int x, int y) {
  curX_ = x;
  curY_ = y;
  stylePos_ = 0;
}

void RasterDC::lineTo(int x, int y) {
  const long long x0 = static_cast<long long>(curX_) - ox_, y0 = static_cast<long long>(curY_) - oy_;
  const long long x1 = static_cast<long long>(x) - ox_, y1 = static_cast<long long>(y) - oy_;
  if (pen_.width > 1) {
    wideLine(x0, y0, x1, y1, pen_.width);
  } else {
    thinLine(x0, y0, x1, y1);
  }
  curX_ = x;
  curY_ = y;
}

// Bresenham without the end pixel: step i = 0 .. n-1 along the major axis, the
// minor offset rounded to nearest with ties towards the start, so a line and
// its reverse differ only by their end pixels. Only the steps whose major
// coordinate lies on the surface are walked, so a line far off the surface
// costs nothing and one across it at most a surface side.
void RasterDC::thinLine(long long x0, long long y0, long long x1, long long y1) {
  const PixelSurface s = surface();
  const long long dx = x1 - x0, dy = y1 - y0;
  const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const long long n = xMajor ? adx : ady;  // pixels drawn
  const DashMask& mask = dash_;
  const int startPos = stylePos_;
  if (mask.length > 1) stylePos_ = static_cast<int>((stylePos_ + n) % mask.length);
  if (n == 0 || !s.bits) return;

  const long long major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const long long majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const long long minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const long long majorSize = xMajor ? s.width : s.height, minorSize = xMajor ? s.height : s.width;
  const long long minorLen = xMajor ? ady : adx;

  // Steps i with 0 <= major0 + majorStep * i < majorSize.
  long long iFirst, iLast;
  if (majorStep > 0) {
    iFirst = -major0;
    iLast = majorSize - 1 - major0;
  } else {
    iFirst = major0 - (majorSize - 1);
    iLast = major0;
  }
  iFirst = std::max(iFirst, 0LL);
  iLast = std::min(iLast, n - 1);
  if (iFirst > iLast) return;

  // minor offset m(i) = floor((2 i minorLen + n - 1) / (2 n)), kept as quotient and remainder.
  long long m = 0, rem = n - 1;
  if (iFirst > 0) {
    const __int128 twoN = static_cast<__int128>(2) * n;
    const __int128 num = static_cast<__int128>(2) * iFirst * minorLen + n - 1;
    m = static_cast<long long>(num / twoN);
    rem = static_cast<long long>(num % twoN);
  }
  const long long twoMinor = 2 * minorLen, twoNll = 2 * n;

  const bool xorMode = drawMode_ == DrawMode::Xor;
  const bool opaqueGaps = bkMode_ == BkMode::Opaque;
  const F_Rgb color = pen_.color, gap = bkColor_;
  int pos = mask.length == 1 ? 0 : static_cast<int>((startPos + iFirst) % mask.length);
  long long major = major0 + majorStep * iFirst;
  for (long long i = iFirst; i <= iLast; ++i) {
    const long long minor = minor0 + minorStep * m;
    if (minor >= 0 && minor < minorSize) {
      const bool on = mask.on[pos];
      if (on || opaqueGaps) {
        const long long px = xMajor ? major : minor, py = xMajor ? minor : major;
        put(s.row(static_cast<int>(py)) + px, on ? color : gap, xorMode);
      }
    }
    if (++pos == mask.length) pos = 0;
    major += majorStep;
    rem += twoMinor;
    if (rem >= twoNll) {
      rem -= twoNll;
      ++m;
    }
  }
}

// The pixels whose centres lie closer than width / 2 to the segment (a capsule:
// round ends and so round joins). Each row of a convex shape is one interval:
// the union of the two end discs and the band along the segment.
void RasterDC::wideLine(long long x0, long long y0, long long x1, long long y1, int width) {
  const PixelSurface s = surface();
  if (!s.bits) return;
  const double shift = (width % 2 == 0) ? -0.5 : 0.0;
  const double ax = static_cast<double>(x0) + shift, ay = static_cast<double>(y0) + shift;
  const double bx = static_cast<double>(x1) + shift, by = static_cast<double>(y1) + shift;
  const double r = width / 2.0;
  const double r2 = r * r - kEps;
  const double len = std::hypot(bx - ax, by - ay);
  const double ux = len > 0 ? (bx - ax) / len : 0, uy = len > 0 ? (by - ay) / len : 0;

  const long long top = std::max(0LL, static_cast<long long>(std::floor(std::min(ay, by) - r)));
  const long long bottom = std::min<long long>(s.height - 1, static_cast<long long>(std::ceil(std::max(ay, by) + r)));
  const F_Rgb color = pen_.color;
  for (long long y = top; y <= bottom; ++y) {
    const double py = static_cast<double>(y);
    double lo = 1e300, hi = -1e300;
    for (const auto& [cx, cy] : {std::pair{ax, ay}, std::pair{bx, by}}) {
      const double d2 = r2 - (py - cy) * (py - cy);
      if (d2 > 0) {
        const double h = std::sqrt(d2);
        lo = std::min(lo, cx - h);
        hi = std::max(hi, cx + h);
      }
    }
    if (len > 0) {
      // Along the segment 0 <= t <= len and across it |n| < r, both linear in x.
      double tlo, thi, nlo, nhi;
      const double rr = r - kEps;
      if (solveLinear(ux, (py - ay) * uy - ax * ux, 0, len, tlo, thi) &&
          solveLinear(-uy, (py - ay) * ux + ax * uy, -rr, rr, nlo, nhi)) {
        const double l2 = std::max(tlo, nlo), h2 = std::min(thi, nhi);
        if (l2 <= h2) {
          lo = std::min(lo, l2);
          hi = std::max(hi, h2);
        }
      }
    }
    if (lo > hi) continue;
    lo = std::max(lo, -1.0);
    hi = std::min(hi, static_cast<double>(s.width));
    span(static_cast<int>(y), static_cast<long long>(std::ceil(lo - kEps)), static_cast<long long>(std::floor(hi + kEps)),
         color);
  }
}

void RasterDC::span(int y, long long c0, long long c1, F_Rgb color) {
  const PixelSurface s = surface();
  if (!s.bits || y < 0 || y >= s.height) return;
  c0 = std::max(c0, 0LL);
  c1 = std::min<long long>(c1, s.width - 1);
  if (c0 > c1) return;
  F_Rgb* p = s.row(y);
  if (drawMode_ == DrawMode::Xor) {
    for (long long c = c0; c <= c1; ++c) p[c] ^= color & 0x00ffffffu;
  } else {
    std::fill(p + c0, p + c1 + 1, color | kOpaque);
  }
}

void RasterDC::fillBox(long long l, long long t, long long r, long long b, F_Rgb color) {
  const long long y0 = std::max(t, 0LL), y1 = std::min<long long>(b, height() - 1);
  for (long long y = y0; y <= y1; ++y) span(static_cast<int>(y), l, r, color);
}

void RasterDC::rectangle(int l, int t, int r, int b) {
  long long L = static_cast<long long>(l) - ox_, T = static_cast<long long>(t) - oy_;
  long long R = static_cast<long long>(r) - ox_, B = static_cast<long long>(b) - oy_;
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  if (R - L < 1 || B - T < 1) return;
  const long long w = std::max(1, pen_.width);
  const bool fill = brush_.style == BrushStyle::Solid;
  // Rows wholly of outline, then rows of outline - inside - outline; no pixel twice (xor).
  const long long y0 = std::max(T, 0LL), y1 = std::min<long long>(B - 1, height() - 1);
  for (long long y = y0; y <= y1; ++y) {
    const int row = static_cast<int>(y);
    if (y < T + w || y >= B - w) {
      span(row, L, R - 1, pen_.color);
      continue;
    }
    const long long leftEnd = std::min(L + w - 1, R - 1), rightStart = std::max(R - w, leftEnd + 1);
    span(row, L, leftEnd, pen_.color);
    if (fill) span(row, leftEnd + 1, rightStart - 1, brush_.color);
    span(row, rightStart, R - 1, pen_.color);
  }
}

void RasterDC::ellipse(int l, int t, int r, int b) {
  long long L = static_cast<long long>(l) - ox_, T = static_cast<long long>(t) - oy_;
  long long R = static_cast<long long>(r) - ox_, B = static_cast<long long>(b) - oy_;
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  if (R - L < 1 || B - T < 1) return;
  const int w = std::max(1, pen_.width);
  if (R - L != ellipseW_ || B - T != ellipseH_ || w != ellipsePen_) {
    // Shape in box coordinates (0, 0)..(W-1, H-1). The inside is what lies within
    // the ellipse shrunk by the extra pen width, less that ellipse's own outline.
    const double W = static_cast<double>(R - L), H = static_cast<double>(B - T);
    const EllipseShape outer{(W - 1) / 2.0, (H - 1) / 2.0, W / 2.0, H / 2.0};
    const EllipseShape shrunk{outer.cx, outer.cy, outer.a - (w - 1), outer.b - (w - 1)};
    ellipseRows_.clear();
    for (long long y = 0; y < B - T; ++y) {
      const Span all = outer.row(y), in = shrunk.inner(y);
      ellipseRows_.push_back({static_cast<int>(all.lo), static_cast<int>(all.hi), static_cast<int>(in.lo),
                              static_cast<int>(in.hi)});
    }
    ellipseW_ = R - L;
    ellipseH_ = B - T;
    ellipsePen_ = w;
  }
  const bool fill = brush_.style == BrushStyle::Solid;
  const long long y0 = std::max(T, 0LL), y1 = std::min<long long>(B - 1, height() - 1);
  for (long long y = y0; y <= y1; ++y) {
    const int row = static_cast<int>(y);
    const EllipseRow& e = ellipseRows_[static_cast<std::size_t>(y - T)];
    if (e.lo > e.hi) continue;
    if (e.inLo > e.inHi) {
      span(row, L + e.lo, L + e.hi, pen_.color);
      continue;
    }
    span(row, L + e.lo, L + e.inLo - 1, pen_.color);
    if (fill) span(row, L + e.inLo, L + e.inHi, brush_.color);
    span(row, L + e.inHi + 1, L + e.hi, pen_.color);
  }
}

RasterGlyphs& RasterDC::glyphs() {
  if (!glyphs_) glyphs_ = &RasterGlyphs::of(font_);
  return *glyphs_;
}

TextExtent RasterDC::textExtent(std::string_view text) {
  RasterGlyphs& g = glyphs();
  return {g.width(text), g.height()};
}

void RasterDC::textOut(int x, int y, std::string_view text) {
  const PixelSurface s = surface();
  if (!s.bits || text.empty()) return;
  RasterGlyphs& g = glyphs();
  const long long w = g.width(text), h = g.height();
  long long left = static_cast<long long>(x) - ox_, top = static_cast<long long>(y) - oy_;
  if (align_.h == HAlign::Centre) left -= w / 2;
  if (align_.h == HAlign::Right) left -= w;
  if (align_.v == VAlign::Baseline) top -= g.ascent();
  if (align_.v == VAlign::Bottom) top -= h;

  // Text is always copied, also in xor mode.
  const DrawMode saved = std::exchange(drawMode_, DrawMode::Copy);
  if (bkMode_ == BkMode::Opaque) fillBox(left, top, left + w - 1, top + h - 1, bkColor_);
  drawMode_ = saved;
  const F_Rgb ink = textColor_ | kOpaque;
  long long pen = left;
  for (char ch : text) {
    const RasterGlyph& glyph = g.glyph(static_cast<unsigned char>(ch));
    for (int gy = 0; gy < glyph.h; ++gy) {
      const long long py = top + glyph.dy + gy;
      if (py < 0 || py >= s.height) continue;
      F_Rgb* row = s.row(static_cast<int>(py));
      const std::uint8_t* m = glyph.mask.data() + static_cast<std::size_t>(gy) * static_cast<std::size_t>(glyph.w);
      for (int gx = 0; gx < glyph.w; ++gx) {
        const long long px = pen + glyph.dx + gx;
        if (m[gx] && px >= 0 && px < s.width) row[px] = ink;
      }
    }
    pen += glyph.advance;
  }
}

void RasterDC::setPixel(int x, int y, F_Rgb color) {
  const PixelSurface s = surface();
  const long long px = static_cast<long long>(x) - ox_, py = static_cast<long long>(y) - oy_;
  if (!s.bits || px < 0 || py < 0 || px >= s.width || py >= s.height) return;
  s.row(static_cast<int>(py))[px] = color | kOpaque;
}

F_Rgb RasterDC::getPixel(int x, int y) {
  const PixelSurface s = surface();
  const long long px = static_cast<long long>(x) - ox_, py = static_cast<long long>(y) - oy_;
  if (!s.bits || px < 0 || py < 0 || px >= s.width || py >= s.height) return kInvalidPixel;
  return s.row(static_cast<int>(py))[px] | kOpaque;
}

void RasterDC::patBlt(int x, int y, int w, int h, PatOp op) {
  const long long l = static_cast<long long>(x) - ox_, t = static_cast<long long>(y) - oy_;
  const long long r = l + w - 1, b = t + h - 1;
  const DrawMode saved = drawMode_;
  switch (op) {
    case PatOp::Whiteness: drawMode_ = DrawMode::Copy; fillBox(l, t, r, b, makeRgb(255, 255, 255)); break;
    case PatOp::Blackness: drawMode_ = DrawMode::Copy; fillBox(l, t, r, b, makeRgb(0, 0, 0)); break;
    case PatOp::PatCopy:
      drawMode_ = DrawMode::Copy;
      if (brush_.style == BrushStyle::Solid) fillBox(l, t, r, b, brush_.color);
      break;
    case PatOp::DstInvert: drawMode_ = DrawMode::Xor; fillBox(l, t, r, b, makeRgb(255, 255, 255)); break;
  }
  drawMode_ = saved;
}

void RasterDC::bitBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy) {
  const PixelSurface dst = surface();
  const PixelSurface src = source.surface();
  if (!dst.bits || !src.bits) return;
  // Device corners of both, then clip the copy to both surfaces.
  long long dx = static_cast<long long>(x) - ox_, dy = static_cast<long long>(y) - oy_;
  long long srcX = static_cast<long long>(sx) - source.viewportOriginX();
  long long srcY = static_cast<long long>(sy) - source.viewportOriginY();
  long long cw = w, ch = h;
  if (dx < 0) { cw += dx; srcX -= dx; dx = 0; }
  if (dy < 0) { ch += dy; srcY -= dy; dy = 0; }
  if (srcX < 0) { cw += srcX; dx -= srcX; srcX = 0; }
  if (srcY < 0) { ch += srcY; dy -= srcY; srcY = 0; }
  cw = std::min({cw, dst.width - dx, src.width - srcX});
  ch = std::min({ch, dst.height - dy, src.height - srcY});
  if (cw <= 0 || ch <= 0) return;
  if (src.bits == dst.bits) {
    // Same picture: go through a copy so overlapping areas read the old pixels.
    std::vector<F_Rgb> rows(static_cast<std::size_t>(cw * ch));
    for (long long r = 0; r < ch; ++r) std::copy_n(src.row(static_cast<int>(srcY + r)) + srcX, cw, rows.data() + r * cw);
    for (long long r = 0; r < ch; ++r) std::copy_n(rows.data() + r * cw, cw, dst.row(static_cast<int>(dy + r)) + dx);
    return;
  }
  for (long long r = 0; r < ch; ++r) {
    std::copy_n(src.row(static_cast<int>(srcY + r)) + srcX, cw, dst.row(static_cast<int>(dy + r)) + dx);
  }
}
