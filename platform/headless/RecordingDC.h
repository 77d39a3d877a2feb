#pragma once
// A DeviceContext that writes one line per call into a log, for tests that
// check which calls a routine makes, with which arguments and in which order.
//
// It also holds real pixels, so setPixel/getPixel, patBlt, bitBlt and the
// direct scanline access behave as on an image; lines, shapes and text are
// only logged. Log lines look like
//   selectPen(dash,2,#ff0000)   selectBrush(solid,#000000)   selectBrush(hollow)
//   selectFont("Arial",16,700)  setTextAlign(right,top)      setBkMode(transparent)
//   setBkColor(#ffffff)         setTextColor(#ff0000)        setDrawMode(xor)
//   moveTo(1,1)  lineTo(9,1)  rectangle(5,5,795,30)  ellipse(0,0,4,4)
//   textOut(12,8,"title")  textExtent("Phi")  setPixel(3,4,#00ff00)
//   patBlt(0,0,800,600,whiteness)  bitBlt(0,0,800,600,mem,0,0)
//   setViewportOrigin(10,20)  createCompatible(800,600)
// A surface made by createCompatible shares its parent's log and prefixes its
// lines with its name and a dot ("mem.lineTo(9,1)").
//
// Text metrics are a fixed stand-in: every character advances (3 h + 2) / 5
// pixels and a line is h + h / 4 high, h being the font's pixel height.

#include <memory>
#include <string>
#include <vector>

#include "platform/DeviceContext.h"

class RecordingDC : public DeviceContext {
 public:
  explicit RecordingDC(int w = 0, int h = 0, std::string name = "");

  int width() const override { return w_; }
  int height() const override { return h_; }
  PixelSurface surface() override;
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

  // The log shared with every surface made by createCompatible.
  const std::vector<std::string>& log() const { return *log_; }
  // Only the lines that start with `prefix` (e.g. "mem." or "textOut(").
  std::vector<std::string> logLines(std::string_view prefix) const;
  void clearLog() { log_->clear(); }
  const std::string& name() const { return name_; }

  // Log formatting, shared with tests that build expected lines.
  static std::string colorText(F_Rgb c);  // "#rrggbb"
  static std::string penText(const Pen& pen);
  static std::string brushText(const Brush& brush);
  static std::string fontText(const Font& font);
  static std::string alignText(TextAlign align);

 private:
  RecordingDC(int w, int h, std::string name, std::shared_ptr<std::vector<std::string>> log);
  void record(std::string line);

  int w_, h_;
  std::vector<F_Rgb> pixels_;
  std::string name_;
  std::shared_ptr<std::vector<std::string>> log_;
  int ox_ = 0, oy_ = 0;
  Pen pen_ = defaultPen();
  Brush brush_ = defaultBrush();
  Font font_ = defaultFont();
  TextAlign align_;
  BkMode bkMode_ = BkMode::Opaque;
  F_Rgb bkColor_ = makeRgb(255, 255, 255);
  F_Rgb textColor_ = makeRgb(0, 0, 0);
  DrawMode drawMode_ = DrawMode::Copy;
};
