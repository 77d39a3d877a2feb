#include "platform/headless/RecordingDC.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

const char* styleName(PenStyle s) {
  switch (s) {
    case PenStyle::Solid: return "solid";
    case PenStyle::Dash: return "dash";
    case PenStyle::Dot: return "dot";
    case PenStyle::DashDot: return "dashdot";
    case PenStyle::DashDotDot: return "dashdotdot";
  }
  return "?";
}

const char* patName(PatOp op) {
  switch (op) {
    case PatOp::Whiteness: return "whiteness";
    case PatOp::Blackness: return "blackness";
    case PatOp::PatCopy: return "patcopy";
    case PatOp::DstInvert: return "dstinvert";
  }
  return "?";
}

std::string quoted(std::string_view text) {
  std::string s;
  s.reserve(text.size() + 2);
  s += '"';
  s += text;
  s += '"';
  return s;
}

std::string args(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) {
    if (!s.empty()) s += ',';
    s += std::to_string(v);
  }
  return s;
}

}  // namespace

RecordingDC::RecordingDC(int w, int h, std::string name)
    : RecordingDC(w, h, std::move(name), std::make_shared<std::vector<std::string>>()) {}

RecordingDC::RecordingDC(int w, int h, std::string name, std::shared_ptr<std::vector<std::string>> log)
    : w_(std::max(0, w)),
      h_(std::max(0, h)),
      pixels_(static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_), makeRgb(255, 255, 255)),
      name_(std::move(name)),
      log_(std::move(log)) {}

std::string RecordingDC::colorText(F_Rgb c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", redOf(c), greenOf(c), blueOf(c));
  return buf;
}

std::string RecordingDC::penText(const Pen& pen) {
  return std::string(styleName(pen.style)) + "," + std::to_string(pen.width) + "," + colorText(pen.color);
}

std::string RecordingDC::brushText(const Brush& brush) {
  return brush.style == BrushStyle::Hollow ? "hollow" : "solid," + colorText(brush.color);
}

std::string RecordingDC::fontText(const Font& font) {
  return quoted(font.face) + "," + std::to_string(font.pixelHeight) + "," + std::to_string(font.weight);
}

std::string RecordingDC::alignText(TextAlign a) {
  const char* h = a.h == HAlign::Left ? "left" : a.h == HAlign::Centre ? "centre" : "right";
  const char* v = a.v == VAlign::Top ? "top" : a.v == VAlign::Baseline ? "baseline" : "bottom";
  return std::string(h) + "," + v;
}

void RecordingDC::record(std::string line) {
  log_->push_back(name_.empty() ? std::move(line) : name_ + "." + line);
}

std::vector<std::string> RecordingDC::logLines(std::string_view prefix) const {
  std::vector<std::string> out;
  for (const std::string& line : *log_) {
    if (line.starts_with(prefix)) out.push_back(line);
  }
  return out;
}

PixelSurface RecordingDC::surface() {
  if (pixels_.empty()) return {};
  return {pixels_.data(), w_, h_, w_};
}

std::unique_ptr<DeviceContext> RecordingDC::createCompatible(int w, int h) {
  record("createCompatible(" + args({w, h}) + ")");
  return std::unique_ptr<DeviceContext>(new RecordingDC(w, h, "mem", log_));
}

void RecordingDC::setViewportOrigin(int ox, int oy) {
  record("setViewportOrigin(" + args({ox, oy}) + ")");
  ox_ = ox;
  oy_ = oy;
}

Pen RecordingDC::selectPen(const Pen& pen) {
  record("selectPen(" + penText(pen) + ")");
  return std::exchange(pen_, pen);
}

Brush RecordingDC::selectBrush(const Brush& brush) {
  record("selectBrush(" + brushText(brush) + ")");
  return std::exchange(brush_, brush);
}

Font RecordingDC::selectFont(const Font& font) {
  record("selectFont(" + fontText(font) + ")");
  return std::exchange(font_, font);
}

TextAlign RecordingDC::setTextAlign(TextAlign align) {
  record("setTextAlign(" + alignText(align) + ")");
  return std::exchange(align_, align);
}

BkMode RecordingDC::setBkMode(BkMode mode) {
  record(std::string("setBkMode(") + (mode == BkMode::Opaque ? "opaque" : "transparent") + ")");
  return std::exchange(bkMode_, mode);
}

F_Rgb RecordingDC::setBkColor(F_Rgb color) {
  record("setBkColor(" + colorText(color) + ")");
  return std::exchange(bkColor_, color);
}

F_Rgb RecordingDC::setTextColor(F_Rgb color) {
  record("setTextColor(" + colorText(color) + ")");
  return std::exchange(textColor_, color);
}

DrawMode RecordingDC::setDrawMode(DrawMode mode) {
  record(std::string("setDrawMode(") + (mode == DrawMode::Xor ? "xor" : "copy") + ")");
  return std::exchange(drawMode_, mode);
}

void RecordingDC::moveTo(int x, int y) { record("moveTo(" + args({x, y}) + ")"); }
void RecordingDC::lineTo(int x, int y) { record("lineTo(" + args({x, y}) + ")"); }
void RecordingDC::rectangle(int l, int t, int r, int b) { record("rectangle(" + args({l, t, r, b}) + ")"); }
void RecordingDC::ellipse(int l, int t, int r, int b) { record("ellipse(" + args({l, t, r, b}) + ")"); }

void RecordingDC::textOut(int x, int y, std::string_view text) {
  record("textOut(" + args({x, y}) + "," + quoted(text) + ")");
}

TextExtent RecordingDC::textExtent(std::string_view text) {
  record("textExtent(" + quoted(text) + ")");
  const int h = font_.pixelHeight;
  return {static_cast<int>(text.size()) * ((3 * h + 2) / 5), h + h / 4};
}

void RecordingDC::setPixel(int x, int y, F_Rgb color) {
  record("setPixel(" + args({x, y}) + "," + colorText(color) + ")");
  x -= ox_;
  y -= oy_;
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
  pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(w_) + static_cast<std::size_t>(x)] =
      color | 0xff000000u;
}

F_Rgb RecordingDC::getPixel(int x, int y) {
  x -= ox_;
  y -= oy_;
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return kInvalidPixel;
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(w_) + static_cast<std::size_t>(x)];
}

void RecordingDC::patBlt(int x, int y, int w, int h, PatOp op) {
  record("patBlt(" + args({x, y, w, h}) + "," + patName(op) + ")");
  const int x0 = std::max(0, x - ox_), y0 = std::max(0, y - oy_);
  const int x1 = std::min(w_, x - ox_ + w), y1 = std::min(h_, y - oy_ + h);
  for (int row = y0; row < y1; ++row) {
    F_Rgb* p = pixels_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(w_);
    for (int col = x0; col < x1; ++col) {
      switch (op) {
        case PatOp::Whiteness: p[col] = makeRgb(255, 255, 255); break;
        case PatOp::Blackness: p[col] = makeRgb(0, 0, 0); break;
        case PatOp::PatCopy:
          if (brush_.style == BrushStyle::Solid) p[col] = brush_.color | 0xff000000u;
          break;
        case PatOp::DstInvert: p[col] ^= 0x00ffffffu; break;
      }
    }
  }
}

void RecordingDC::bitBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy) {
  const auto* rec = dynamic_cast<const RecordingDC*>(&source);
  const std::string sourceName = rec && !rec->name().empty() ? rec->name() : "source";
  record("bitBlt(" + args({x, y, w, h}) + "," + sourceName + "," + args({sx, sy}) + ")");
  const PixelSurface src = source.surface();
  if (!src.bits || pixels_.empty()) return;
  // Device positions of both corners, then clip the copy to both surfaces.
  int dx = x - ox_, dy = y - oy_;
  int srcX = sx - source.viewportOriginX(), srcY = sy - source.viewportOriginY();
  if (dx < 0) { w += dx; srcX -= dx; dx = 0; }
  if (dy < 0) { h += dy; srcY -= dy; dy = 0; }
  if (srcX < 0) { w += srcX; dx -= srcX; srcX = 0; }
  if (srcY < 0) { h += srcY; dy -= srcY; srcY = 0; }
  w = std::min({w, w_ - dx, src.width - srcX});
  h = std::min({h, h_ - dy, src.height - srcY});
  for (int row = 0; row < h; ++row) {
    std::copy_n(src.row(srcY + row) + srcX, w,
                pixels_.data() + static_cast<std::size_t>(dy + row) * static_cast<std::size_t>(w_) + dx);
  }
}
