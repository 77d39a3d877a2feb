#pragma once
// The window of one view: a scroll area whose viewport shows a client-sized
// surface onto the view's canvas. It carries Qt's events to the view's
// handlers and implements what the view asks of its window (ViewHost); it
// decides nothing itself.
//
// The surface is the window's own picture. invalidate() marks it out of date;
// a queued render then lets the view paint into it (so a message box raised
// while painting never runs inside Qt's paint event), and paintEvent copies
// it to the screen and adds the axis triad on top. Drawing outside a paint
// (the zoom window's XOR lines) goes straight onto the surface.

#include <memory>

#include <QAbstractScrollArea>

#include "platform/ViewHost.h"

class CKavrilonView;
class RasterDC;

class ViewWidget : public QAbstractScrollArea, public ViewHost {
  Q_OBJECT

 public:
  explicit ViewWidget(QWidget* parent = nullptr);
  ~ViewWidget() override;

  // The view this window shows; set once, right after both exist.
  void setView(CKavrilonView* view) { view_ = view; }
  CKavrilonView* view() const { return view_; }

  // The small x-y-z triad drawn over the picture (not into it).
  void setAxisTriadShown(bool shown);
  bool axisTriadShown() const { return triadShown_; }

  // Lets the view paint into the surface now if it is out of date.
  void renderNow();
  // The surface as the window shows it (for tests and screenshots).
  QImage windowImage();

  // --- ViewHost ---
  int clientWidth() const override { return scroll_.clientWidth(); }
  int clientHeight() const override { return scroll_.clientHeight(); }
  ScrollPoint scrollPosition() const override { return scroll_.position(); }
  void setScrollSizes(int totalW, int totalH, int pageW, int pageH, int lineW, int lineH) override;
  void scrollToPosition(int x, int y) override;
  void scroll(ScrollAxis axis, ScrollCode code) override;
  void invalidate(bool erase = true) override;
  void setCapture() override;
  bool releaseCapture() override;
  bool hasCapture() const override { return capture_; }
  void setCursor(CursorShape shape) override;
  bool isKeyDown(Key key) const override;
  DeviceContext* clientDC() override;

 signals:
  // After every event handed to the view: its commands' states may have changed.
  void viewStateChanged();
  // A render that may take a while begins ("Rendering...") or ends (empty text).
  void busy(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  // Tab is a character typed over the view, not a step to the next control.
  bool focusNextPrevChild(bool) override { return false; }

 private:
  void syncScrollBars();
  void ensureSurface();
  void scheduleRender();
  void afterEvent();

  CKavrilonView* view_ = nullptr;
  ScrollModel scroll_;
  std::unique_ptr<RasterDC> surface_;
  bool dirty_ = true;
  bool erase_ = true;  // the next render starts from white
  bool renderQueued_ = false;
  bool syncing_ = false;  // scroll bars being set from scroll_
  bool capture_ = false;
  bool triadShown_ = true;
  Qt::KeyboardModifiers modifiers_;  // of the event being handed to the view
};
