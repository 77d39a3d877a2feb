#pragma once
// The drawing surface the view and the layer drawing paint on. Toolkit-free:
// the raster backend draws into an image, the recording one logs the calls.
//
// Pixel conventions (the ones every drawing routine of the program assumes):
// - Rectangle(l, t, r, b) and Ellipse(l, t, r, b) cover columns l..r-1 and rows
//   t..b-1; the outline lies inside that box and is drawn with the current pen,
//   the inside is filled with the current brush. An empty box draws nothing.
// - LineTo does not draw its end pixel, so MoveTo(x, y), LineTo(x, y + 1) sets
//   exactly the pixel (x, y) and a polyline sets every shared corner once.
// - A pen wider than one pixel always draws solid, whatever its style.
// - Text is placed by its box (advance width x ascent + descent), aligned to the
//   reference point by left/centre/right and top/baseline/bottom.
// - All coordinates are logical: device pixel = logical point - viewport origin
//   (a scroll view sets the origin to its scroll position).
// Objects are values: select*() installs one and returns the previous one, so a
// routine restores what it found with a second call.

#include <memory>
#include <string>
#include <string_view>

#include "platform/Color.h"
#include "platform/PixelSurface.h"

// The line types of the display options, in their order 0..4.
enum class PenStyle { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4 };

struct Pen {
  PenStyle style = PenStyle::Solid;
  int width = 1;  // pixels; 0 counts as 1
  F_Rgb color = makeRgb(0, 0, 0);

  static Pen solid(F_Rgb color, int width = 1) { return {PenStyle::Solid, width, color}; }
  bool operator==(const Pen&) const = default;
};

enum class BrushStyle { Solid, Hollow };

struct Brush {
  BrushStyle style = BrushStyle::Solid;
  F_Rgb color = makeRgb(255, 255, 255);

  static Brush solid(F_Rgb color) { return {BrushStyle::Solid, color}; }
  static Brush hollow() { return {BrushStyle::Hollow, 0}; }
  bool operator==(const Brush&) const = default;
};

struct Font {
  std::string face = "Arial";  // "Courier New" and "Arial" are always available
  int pixelHeight = 13;        // character (em) height in pixels
  int weight = 700;            // 400 normal, 700 bold

  bool operator==(const Font&) const = default;
};

enum class HAlign { Left, Centre, Right };
enum class VAlign { Top, Baseline, Bottom };

struct TextAlign {
  HAlign h = HAlign::Left;
  VAlign v = VAlign::Top;
  bool operator==(const TextAlign&) const = default;
};

enum class BkMode { Transparent, Opaque };

// Copy writes the pen or brush colour; Xor combines it with what is there, so
// drawing the same figure twice restores the picture.
enum class DrawMode { Copy, Xor };

// PatBlt operations: white, black, the current brush, or every pixel inverted.
enum class PatOp { Whiteness, Blackness, PatCopy, DstInvert };

struct TextExtent {
  int cx = 0;
  int cy = 0;
  bool operator==(const TextExtent&) const = default;
};

// GetPixel outside the surface; no drawable colour has a zero alpha byte.
constexpr F_Rgb kInvalidPixel = 0;

class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  // Surface size in device pixels.
  virtual int width() const = 0;
  virtual int height() const = 0;
  // The scanlines, for primitives that write pixels directly (device pixels,
  // no origin applied). May be empty (bits == nullptr) for surfaces without pixels.
  virtual PixelSurface surface() = 0;
  // A new off-screen surface of the same kind, w x h, white, default state.
  virtual std::unique_ptr<DeviceContext> createCompatible(int w, int h) = 0;

  // Logical point (x, y) maps to device pixel (x - ox, y - oy); a scroll view sets
  // the origin to its scroll position so it can draw in canvas coordinates.
  virtual void setViewportOrigin(int ox, int oy) = 0;
  virtual int viewportOriginX() const = 0;
  virtual int viewportOriginY() const = 0;

  virtual Pen selectPen(const Pen& pen) = 0;
  virtual Brush selectBrush(const Brush& brush) = 0;
  virtual Font selectFont(const Font& font) = 0;
  virtual TextAlign setTextAlign(TextAlign align) = 0;
  virtual BkMode setBkMode(BkMode mode) = 0;
  virtual F_Rgb setBkColor(F_Rgb color) = 0;
  virtual F_Rgb setTextColor(F_Rgb color) = 0;
  virtual DrawMode setDrawMode(DrawMode mode) = 0;

  virtual Pen pen() const = 0;
  virtual Brush brush() const = 0;
  virtual Font font() const = 0;
  virtual TextAlign textAlign() const = 0;
  virtual BkMode bkMode() const = 0;
  virtual F_Rgb bkColor() const = 0;
  virtual F_Rgb textColor() const = 0;
  virtual DrawMode drawMode() const = 0;

  virtual void moveTo(int x, int y) = 0;
  virtual void lineTo(int x, int y) = 0;
  virtual void rectangle(int l, int t, int r, int b) = 0;
  virtual void ellipse(int l, int t, int r, int b) = 0;
  // Text as bytes (one character per byte, Latin-1), at (x, y) by the text alignment.
  virtual void textOut(int x, int y, std::string_view text) = 0;
  // Width and height (ascent + descent) of the text in the current font.
  virtual TextExtent textExtent(std::string_view text) = 0;

  virtual void setPixel(int x, int y, F_Rgb color) = 0;
  // kInvalidPixel outside the surface.
  virtual F_Rgb getPixel(int x, int y) = 0;
  virtual void patBlt(int x, int y, int w, int h, PatOp op) = 0;
  // Copies w x h pixels from (sx, sy) of `source` (logical coordinates of each) to (x, y).
  virtual void bitBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy) = 0;
};

// Defaults of a fresh surface: black one-pixel pen, white brush, the default font,
// left/top alignment, opaque background, white background, black text, copy mode.
inline Pen defaultPen() { return Pen{}; }
inline Brush defaultBrush() { return Brush{}; }
inline Font defaultFont() { return Font{}; }
