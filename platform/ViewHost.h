#pragma once
// What a view asks of the window that shows it: client size, scrolling over a
// larger canvas, repaint requests, mouse capture, cursors and key state.
// The desktop widget and the headless host implement it; both keep their
// scroll position in a ScrollModel so they clamp alike.

#include <algorithm>

#include "platform/DeviceContext.h"

enum class ScrollAxis { Horizontal, Vertical };

// The scroll bar codes: one line or one page back or forward, or to an end.
// On the horizontal axis LineBack is "line left", ToStart is "left"; on the
// vertical one "line up" and "top".
enum class ScrollCode { LineBack, LineForward, PageBack, PageForward, ToStart, ToEnd };

enum class CursorShape { Arrow, SizeAll, SizeNS, Rotate, Hidden };

enum class Key { Shift, Control };

struct ScrollPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ScrollPoint&) const = default;
};

// Scrolling of a canvas inside a client area. The position stays within
// 0..max(0, total - client) on each axis, whatever is asked, and is clamped
// again whenever the client or the total size changes.
class ScrollModel {
 public:
  void setClientSize(int w, int h) {
    clientW_ = std::max(0, w);
    clientH_ = std::max(0, h);
    clamp();
  }
  // page and line sizes of 0 take a tenth and a hundredth of the total.
  void setScrollSizes(int totalW, int totalH, int pageW, int pageH, int lineW, int lineH) {
    totalW_ = std::max(0, totalW);
    totalH_ = std::max(0, totalH);
    pageW_ = pageW > 0 ? pageW : totalW_ / 10;
    pageH_ = pageH > 0 ? pageH : totalH_ / 10;
    lineW_ = lineW > 0 ? lineW : totalW_ / 100;
    lineH_ = lineH > 0 ? lineH : totalH_ / 100;
    clamp();
  }
  void scrollTo(int x, int y) {
    x_ = x;
    y_ = y;
    clamp();
  }
  void scroll(ScrollAxis axis, ScrollCode code) {
    const bool h = axis == ScrollAxis::Horizontal;
    int& pos = h ? x_ : y_;
    const int line = h ? lineW_ : lineH_;
    const int page = h ? pageW_ : pageH_;
    switch (code) {
      case ScrollCode::LineBack: pos -= line; break;
      case ScrollCode::LineForward: pos += line; break;
      case ScrollCode::PageBack: pos -= page; break;
      case ScrollCode::PageForward: pos += page; break;
      case ScrollCode::ToStart: pos = 0; break;
      case ScrollCode::ToEnd: pos = h ? maxX() : maxY(); break;
    }
    clamp();
  }

  ScrollPoint position() const { return {x_, y_}; }
  int clientWidth() const { return clientW_; }
  int clientHeight() const { return clientH_; }
  int totalWidth() const { return totalW_; }
  int totalHeight() const { return totalH_; }
  int pageWidth() const { return pageW_; }
  int pageHeight() const { return pageH_; }
  int lineWidth() const { return lineW_; }
  int lineHeight() const { return lineH_; }
  int maxX() const { return std::max(0, totalW_ - clientW_); }
  int maxY() const { return std::max(0, totalH_ - clientH_); }

 private:
  void clamp() {
    x_ = std::clamp(x_, 0, maxX());
    y_ = std::clamp(y_, 0, maxY());
  }

  int clientW_ = 0, clientH_ = 0;
  int totalW_ = 0, totalH_ = 0;
  int pageW_ = 0, pageH_ = 0;
  int lineW_ = 0, lineH_ = 0;
  int x_ = 0, y_ = 0;
};

class ViewHost {
 public:
  virtual ~ViewHost() = default;

  virtual int clientWidth() const = 0;
  virtual int clientHeight() const = 0;

  // Canvas coordinates of the client area's top-left pixel.
  virtual ScrollPoint scrollPosition() const = 0;
  // The canvas size and the steps of a page and a line, per axis.
  virtual void setScrollSizes(int totalW, int totalH, int pageW, int pageH, int lineW, int lineH) = 0;
  // Clamped to 0..canvas - client on each axis.
  virtual void scrollToPosition(int x, int y) = 0;
  // The scroll bar's own handling of a code (line, page, ends).
  virtual void scroll(ScrollAxis axis, ScrollCode code) = 0;

  // Asks for a repaint of the whole client area.
  virtual void invalidate(bool erase = true) = 0;

  virtual void setCapture() = 0;
  // false only when the platform refused; releasing a capture not held succeeds.
  virtual bool releaseCapture() = 0;
  virtual bool hasCapture() const = 0;

  virtual void setCursor(CursorShape shape) = 0;
  // True while the key is held.
  virtual bool isKeyDown(Key key) const = 0;

  // The window's own surface, for drawing outside a paint (the zoom window's
  // XOR lines, the layer bar after a layer switch). Its origin is the scroll
  // position, so it takes canvas coordinates; what is drawn on it is shown
  // without a paint. nullptr while the window has no surface.
  virtual DeviceContext* clientDC() = 0;

  // A client point in canvas coordinates.
  ScrollPoint clientToCanvas(int x, int y) const {
    const ScrollPoint s = scrollPosition();
    return {x + s.x, y + s.y};
  }
};
