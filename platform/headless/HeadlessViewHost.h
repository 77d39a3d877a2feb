#pragma once
// A ViewHost without a window, for kavrilon-cli and the tests: the client size
// and the held keys are set by the driver; repaint requests, capture and cursor
// changes are counted and remembered so tests can check them.

#include "platform/ViewHost.h"

class HeadlessViewHost : public ViewHost {
 public:
  HeadlessViewHost(int clientW = 800, int clientH = 600);

  int clientWidth() const override { return scroll_.clientWidth(); }
  int clientHeight() const override { return scroll_.clientHeight(); }
  ScrollPoint scrollPosition() const override { return scroll_.position(); }
  void setScrollSizes(int totalW, int totalH, int pageW, int pageH, int lineW, int lineH) override;
  void scrollToPosition(int x, int y) override;
  void scroll(ScrollAxis axis, ScrollCode code) override;
  void invalidate(bool erase = true) override;
  void setCapture() override { capture_ = true; }
  bool releaseCapture() override;
  bool hasCapture() const override { return capture_; }
  void setCursor(CursorShape shape) override { cursor_ = shape; }
  bool isKeyDown(Key key) const override;
  DeviceContext* clientDC() override;

  // Driver side.
  void setClientSize(int w, int h) { scroll_.setClientSize(w, h); }
  void setKeyDown(Key key, bool down);
  // The surface that stands for the window (not owned); nullptr for none.
  void setWindowDC(DeviceContext* dc) { window_ = dc; }
  const ScrollModel& scrollModel() const { return scroll_; }
  int invalidateCount() const { return invalidations_; }
  // Returns whether a repaint was asked for since the last call, and forgets it.
  bool takeInvalidated();
  CursorShape cursor() const { return cursor_; }

 private:
  ScrollModel scroll_;
  int invalidations_ = 0;
  bool pending_ = false;
  bool capture_ = false;
  bool shift_ = false;
  bool control_ = false;
  CursorShape cursor_ = CursorShape::Arrow;
  DeviceContext* window_ = nullptr;
};
