#include "platform/raster/RasterGlyphs.h"

#include <algorithm>
#include <map>
#include <tuple>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>

#include "platform/raster/RasterFonts.h"

RasterGlyphs& RasterGlyphs::of(const Font& font) {
  static std::map<std::tuple<std::string, int, int>, std::unique_ptr<RasterGlyphs>> sets;
  auto& slot = sets[{font.face, font.pixelHeight, font.weight}];
  if (!slot) slot.reset(new RasterGlyphs(font));
  return *slot;
}

RasterGlyphs::RasterGlyphs(const Font& font) : font_(font) {
  ensureGuiApplication();
  const QFontMetrics fm(toQFont(font_));
  ascent_ = fm.ascent();
  descent_ = fm.descent();
}

int RasterGlyphs::width(std::string_view text) {
  int w = 0;
  for (char c : text) w += glyph(static_cast<unsigned char>(c)).advance;
  return w;
}

const RasterGlyph& RasterGlyphs::glyph(unsigned char c) {
  RasterGlyph& g = glyphs_[c];
  if (g.ready) return g;
  g.ready = true;
  const QFont qfont = toQFont(font_);
  const QString s(QChar::fromLatin1(static_cast<char>(c)));
  g.advance = QFontMetrics(qfont).horizontalAdvance(s);

  // Draw the character black on white with room all round for overhangs,
  // then keep the box of its ink.
  const int margin = std::max(font_.pixelHeight, 1) + 2;
  QImage cell(g.advance + 2 * margin, ascent_ + descent_ + 2 * margin, QImage::Format_RGB32);
  cell.fill(0xffffffffu);
  {
    QPainter p(&cell);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(qfont);
    p.setPen(QColor(0, 0, 0));
    p.drawText(QPoint(margin, margin + ascent_), s);
  }
  int l = cell.width(), t = cell.height(), r = -1, b = -1;
  for (int y = 0; y < cell.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(cell.constScanLine(y));
    for (int x = 0; x < cell.width(); ++x) {
      if ((row[x] & 0xffffffu) == 0xffffffu) continue;
      l = std::min(l, x);
      r = std::max(r, x);
      t = std::min(t, y);
      b = std::max(b, y);
    }
  }
  if (r < 0) return g;  // a space: advance only
  g.dx = l - margin;
  g.dy = t - margin;
  g.w = r - l + 1;
  g.h = b - t + 1;
  g.mask.resize(static_cast<std::size_t>(g.w) * static_cast<std::size_t>(g.h));
  for (int y = 0; y < g.h; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(cell.constScanLine(t + y));
    for (int x = 0; x < g.w; ++x) {
      g.mask[static_cast<std::size_t>(y * g.w + x)] = (row[l + x] & 0xffffffu) != 0xffffffu ? 1 : 0;
    }
  }
  return g;
}
