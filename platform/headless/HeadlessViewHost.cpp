#include "platform/headless/HeadlessViewHost.h"

HeadlessViewHost::HeadlessViewHost(int clientW, int clientH) { scroll_.setClientSize(clientW, clientH); }

void HeadlessViewHost::setScrollSizes(int totalW, int totalH, int pageW, int pageH, int lineW, int lineH) {
  scroll_.setScrollSizes(totalW, totalH, pageW, pageH, lineW, lineH);
}

void HeadlessViewHost::scrollToPosition(int x, int y) { scroll_.scrollTo(x, y); }

void HeadlessViewHost::scroll(ScrollAxis axis, ScrollCode code) { scroll_.scroll(axis, code); }

void HeadlessViewHost::invalidate(bool) {
  ++invalidations_;
  pending_ = true;
}

bool HeadlessViewHost::releaseCapture() {
  capture_ = false;
  return true;
}

bool HeadlessViewHost::isKeyDown(Key key) const { return key == Key::Shift ? shift_ : control_; }

void HeadlessViewHost::setKeyDown(Key key, bool down) { (key == Key::Shift ? shift_ : control_) = down; }

bool HeadlessViewHost::takeInvalidated() {
  const bool was = pending_;
  pending_ = false;
  return was;
}

DeviceContext* HeadlessViewHost::clientDC() {
  if (window_) window_->setViewportOrigin(scroll_.position().x, scroll_.position().y);
  return window_;
}
