#pragma once
// The DeviceContext of the program on a RasterImage. Lines, rectangles,
// ellipses and pixels are rasterised here straight into the scanlines, so they
// keep the pixel conventions of DeviceContext.h exactly and cost no toolkit
// call. Text is drawn from glyph masks made once per font (RasterGlyphs.h).
//
// Pen details:
// - One-pixel styled pens repeat the patterns dash 18 on 6 off, dot 3/3,
//   dash-dot 9/6/3/6, dash-dot-dot 9/3/3/3/3/3; the pattern runs on across a
//   polyline and restarts at moveTo. With an opaque background the gaps are
//   painted in the background colour, with a transparent one they are left.
// - A wider pen draws solid with round ends: a line of width w covers the
//   pixels within w / 2 of it, centred on the pixel row for odd w and half a
//   pixel up and left for even w (so a 2-pixel line at row 1 covers rows 0, 1).
//   Its end pixel is drawn.
// - Rectangle and ellipse outlines of width w lie inside the box.
// - Xor mode applies to lines and shape outlines and fills, not to text.
// - Text needs a GUI application; the first text makes an offscreen one when
//   the program has none (ensureGuiApplication, RasterFonts.h).

#include <memory>
#include <vector>

#include "platform/DeviceContext.h"
#include "platform/raster/RasterGlyphs.h"
#include "platform/raster/RasterImage.h"

// Pixel i of a pen's dash pattern is drawn when on[i] is set; length is the period.
struct DashMask {
  bool on[24] = {true};
  int length = 1;
};

class RasterDC : public DeviceContext {
 public:
  // A new white w x h image owned by this surface.
  RasterDC(int w, int h);
  // Draws on `image`, which must outlive this surface.
  explicit RasterDC(RasterImage& image);
  ~RasterDC() override;

  RasterImage& image() { return *image_; }

  int width() const override { return image_->width(); }
  int height() const override { return image_->height(); }
  PixelSurface surface() override { return image_->surface(); }
  std::unique_ptr<DeviceContext> createCompatible(int w, int h) override;

  void setViewportOrigin(int ox, int oy) override;
  int viewportOriginX() const override { return ox_; }
  int viewportOriginY() const override { return oy_; }

  Pen selectPen(const Pen& pen) override;
  Brush selectBrush(const Brush& brush) override;
  Font selectFont(const Font& font) override;
  TextAlign setTextAlign(TextAlign align) override;
  BkMode setBkMode(BkMode mode) override;
  F_Rgb setBkColor(F_Rgb color) override;
  F_Rgb setTextColor(F_Rgb color) override;
  DrawMode setDrawMode(DrawMode mode) override;

  Pen pen() const override { return pen_; }
  Brush brush() const override { return brush_; }
  Font font() const override { return font_; }
  TextAlign textAlign() const override { return align_; }
  BkMode bkMode() const override { return bkMode_; }
  F_Rgb bkColor() const override { return bkColor_; }
  F_Rgb textColor() const override { return textColor_; }
  DrawMode drawMode() const override { return drawMode_; }

  void moveTo(int x, int y) override;
  void lineTo(int x, int y) override;
  void rectangle(int l, int t, int r, int b) override;
  void ellipse(int l, int t, int r, int b) override;
  void textOut(int x, int y, std::string_view text) override;
  TextExtent textExtent(std::string_view text) override;

  void setPixel(int x, int y, F_Rgb color) override;
  F_Rgb getPixel(int x, int y) override;
  void patBlt(int x, int y, int w, int h, PatOp op) override;
  void bitBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy) override;

 private:
  void thinLine(long long x0, long long y0, long long x1, long long y1);
  void wideLine(long long x0, long long y0, long long x1, long long y1, int width);
  // Writes `color` over device columns [c0, c1] of device row y, clipped.
  void span(int y, long long c0, long long c1, F_Rgb color);
  void fillBox(long long l, long long t, long long r, long long b, F_Rgb color);
  RasterGlyphs& glyphs();

  std::unique_ptr<RasterImage> owned_;
  RasterImage* image_;
  int ox_ = 0, oy_ = 0;
  int curX_ = 0, curY_ = 0;  // current position, logical
  int stylePos_ = 0;         // place in the pen's dash pattern
  Pen pen_ = defaultPen();
  Brush brush_ = defaultBrush();
  Font font_ = defaultFont();
  TextAlign align_;
  BkMode bkMode_ = BkMode::Opaque;
  F_Rgb bkColor_ = makeRgb(255, 255, 255);
  F_Rgb textColor_ = makeRgb(0, 0, 0);
  DrawMode drawMode_ = DrawMode::Copy;
  RasterGlyphs* glyphs_ = nullptr;  // of font_, looked up on first text use
  DashMask dash_;                   // of pen_
  // Row spans of the last ellipse shape, relative to its box: markers repeat one size.
  struct EllipseRow {
    int lo, hi, inLo, inHi;  // outline lo..hi; inside inLo..inHi (empty when inLo > inHi)
  };
  std::vector<EllipseRow> ellipseRows_;
  long long ellipseW_ = -1, ellipseH_ = -1;
  int ellipsePen_ = -1;
};
