#include "gui/ViewWidget.h"

#include <cmath>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/CKavrilonView.h"
#include "gui/AxisTriad.h"
#include "platform/raster/RasterDC.h"

namespace {

// Lines scrolled per notch of a plain mouse wheel.
constexpr int kWheelLines = 3;
// One notch of a wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;

// The cursor of a rotation drag: a circular arrow around a dot, 32 x 32, its
// hot spot at (15, 14), the dot's centre.
QCursor rotationCursor() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF ring(5.5, 4.5, 19, 19);
  QPainterPath arrow;
  arrow.arcMoveTo(ring, 110);
  arrow.arcTo(ring, 110, 290);
  // The head at the end of the arc, pointing along it.
  const QPointF tip = arrow.currentPosition();
  QPainterPath head;
  head.moveTo(tip + QPointF(5, -1));
  head.lineTo(tip + QPointF(-2, -6));
  head.lineTo(tip + QPointF(-3, 3));
  head.closeSubpath();
  for (const auto& [color, width] : {std::pair{QColor(Qt::white), 4.0}, std::pair{QColor(Qt::black), 2.0}}) {
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    p.setBrush(color);
    p.drawPath(head);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(15.5, 14.5), 2.5, 2.5);
  p.setBrush(Qt::black);
  p.drawEllipse(QPointF(15.5, 14.5), 1.5, 1.5);
  p.end();
  return QCursor(pixmap, 15, 14);
}

MouseButtons buttonsOf(const QMouseEvent* e) {
  MouseButtons b;
  b.left = e->buttons().testFlag(Qt::LeftButton);
  b.right = e->buttons().testFlag(Qt::RightButton);
  b.middle = e->buttons().testFlag(Qt::MiddleButton);
  b.shift = e->modifiers().testFlag(Qt::ShiftModifier);
  b.control = e->modifiers().testFlag(Qt::ControlModifier);
  return b;
}

// The view's key for a Qt key; false for keys the view ignores.
bool viewKeyOf(const QKeyEvent* e, ViewKey& key) {
  const bool keypad = e->modifiers().testFlag(Qt::KeypadModifier);
  switch (e->key()) {
    case Qt::Key_Left: key = ViewKey::Left; return true;
    case Qt::Key_Right: key = ViewKey::Right; return true;
    case Qt::Key_Up: key = ViewKey::Up; return true;
    case Qt::Key_Down: key = ViewKey::Down; return true;
    case Qt::Key_Home: key = ViewKey::Home; return true;
    case Qt::Key_End: key = ViewKey::End; return true;
    case Qt::Key_PageUp: key = ViewKey::Prior; return true;
    case Qt::Key_PageDown: key = ViewKey::Next; return true;
    case Qt::Key_Space: key = ViewKey::Space; return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: key = ViewKey::Return; return true;
    // Only the keypad's + and - switch layers; the main keyboard's are typed characters.
    case Qt::Key_Plus: key = ViewKey::Add; return keypad;
    case Qt::Key_Minus: key = ViewKey::Subtract; return keypad;
    default: return false;
  }
}

}  // namespace

ViewWidget::ViewWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);  // the zoom window follows the pointer with no button held
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
  setFrameShape(QFrame::NoFrame);
  scroll_.setClientSize(viewport()->width(), viewport()->height());
}

ViewWidget::~ViewWidget() = default;

void ViewWidget::setAxisTriadShown(bool shown) {
  triadShown_ = shown;
  viewport()->update();
}

// --- ViewHost ---

void ViewWidget::setScrollSizes(int totalW, int totalH, int pageW, int pageH, int lineW, int lineH) {
  scroll_.setScrollSizes(totalW, totalH, pageW, pageH, lineW, lineH);
  syncScrollBars();
}

void ViewWidget::scrollToPosition(int x, int y) {
  scroll_.scrollTo(x, y);
  syncScrollBars();
  invalidate();
}

void ViewWidget::scroll(ScrollAxis axis, ScrollCode code) {
  scroll_.scroll(axis, code);
  syncScrollBars();
  invalidate();
}

void ViewWidget::invalidate(bool erase) {
  dirty_ = true;
  erase_ = erase_ || erase;
  scheduleRender();
}

void ViewWidget::setCapture() {
  capture_ = true;
  // The offscreen platform of the tests cannot grab; the flag is what the view reads.
  if (isVisible() && QGuiApplication::platformName() != QLatin1String("offscreen")) viewport()->grabMouse();
}

bool ViewWidget::releaseCapture() {
  if (QWidget::mouseGrabber() == viewport()) viewport()->releaseMouse();
  capture_ = false;
  return true;
}

void ViewWidget::setCursor(CursorShape shape) {
  switch (shape) {
    case CursorShape::Arrow: viewport()->setCursor(Qt::ArrowCursor); break;
    case CursorShape::SizeAll: viewport()->setCursor(Qt::SizeAllCursor); break;
    case CursorShape::SizeNS: viewport()->setCursor(Qt::SizeVerCursor); break;
    // Drawn for each drag: a cursor kept in a static would outlive the application.
    case CursorShape::Rotate: viewport()->setCursor(rotationCursor()); break;
    case CursorShape::Hidden: viewport()->setCursor(Qt::BlankCursor); break;
  }
}

bool ViewWidget::isKeyDown(Key key) const {
  return modifiers_.testFlag(key == Key::Shift ? Qt::ShiftModifier : Qt::ControlModifier);
}

DeviceContext* ViewWidget::clientDC() {
  ensureSurface();
  const ScrollPoint s = scroll_.position();
  surface_->setViewportOrigin(s.x, s.y);
  viewport()->update();  // what is drawn now shows without a render
  return surface_.get();
}

// --- painting ---

void ViewWidget::ensureSurface() {
  const QSize size = viewport()->size().expandedTo(QSize(1, 1));
  if (!surface_ || surface_->width() != size.width() || surface_->height() != size.height()) {
    surface_ = std::make_unique<RasterDC>(size.width(), size.height());
    dirty_ = true;
  }
}

void ViewWidget::scheduleRender() {
  if (renderQueued_) return;
  renderQueued_ = true;
  QMetaObject::invokeMethod(this, &ViewWidget::renderNow, Qt::QueuedConnection);
}

void ViewWidget::renderNow() {
  renderQueued_ = false;
  if (!view_) return;
  ensureSurface();
  if (!dirty_) return;
  dirty_ = false;  // a render that asks for another one sets it again
  // An erasing repaint starts from a white window, as the rotation cube
  // (drawn straight onto the window) expects.
  if (erase_) {
    surface_->setViewportOrigin(0, 0);
    surface_->patBlt(0, 0, surface_->width(), surface_->height(), PatOp::Whiteness);
    erase_ = false;
  }
  const ScrollPoint s = scroll_.position();
  surface_->setViewportOrigin(s.x, s.y);
  const bool slow = view_->shading() && view_->needsRender();
  if (slow) emit busy(tr("Rendering..."));
  view_->OnDraw(*surface_);
  if (slow) emit busy(QString());
  viewport()->update();
  emit viewStateChanged();
}

QImage ViewWidget::windowImage() {
  renderNow();
  ensureSurface();
  return surface_->image().qimage().copy();
}

void ViewWidget::paintEvent(QPaintEvent*) {
  ensureSurface();
  // The view never paints inside Qt's paint event (its render may show a
  // message box): an out-of-date surface is shown once more and replaced at once.
  if (dirty_) scheduleRender();
  QPainter painter(viewport());
  painter.drawImage(0, 0, surface_->image().qimage());
  if (triadShown_ && view_ && view_->layerCount() > 0 && !view_->isViewPointMode()) {
    const F_DisplayOptions& o = view_->options();
    drawAxisTriad(painter, viewport()->rect(), o.phi, o.psi, o.alpha);
  }
}

void ViewWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  scroll_.setClientSize(viewport()->width(), viewport()->height());
  ensureSurface();
  // The view hears of the new size after the scroll bars have settled: showing
  // or hiding a bar resizes the viewport again, and the view must not be
  // re-entered from inside its own call to setScrollSizes.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!view_) return;
        const QSize size = viewport()->size();
        if (size.width() == view_->canvasWidth() && size.height() == view_->canvasHeight() && view_->fullView())
          return;
        view_->OnSize(size.width(), size.height());
        invalidate();
        afterEvent();
      },
      Qt::QueuedConnection);
}

void ViewWidget::syncScrollBars() {
  syncing_ = true;
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  h->setRange(0, scroll_.maxX());
  h->setPageStep(std::max(1, scroll_.pageWidth()));
  h->setSingleStep(std::max(1, scroll_.lineWidth()));
  h->setValue(scroll_.position().x);
  v->setRange(0, scroll_.maxY());
  v->setPageStep(std::max(1, scroll_.pageHeight()));
  v->setSingleStep(std::max(1, scroll_.lineHeight()));
  v->setValue(scroll_.position().y);
  syncing_ = false;
}

void ViewWidget::scrollContentsBy(int, int) {
  if (syncing_) return;
  // The user moved a scroll bar: the window shows another part of the canvas.
  scroll_.scrollTo(horizontalScrollBar()->value(), verticalScrollBar()->value());
  invalidate();
}

// --- input ---

void ViewWidget::afterEvent() { emit viewStateChanged(); }

void ViewWidget::keyPressEvent(QKeyEvent* event) {
  if (!view_) return;
  modifiers_ = event->modifiers();
  ViewKey key;
  if (viewKeyOf(event, key)) view_->OnKeyDown(key);
  // As the key press, so the character it types (Space and Return too); a
  // character typed with Ctrl is an accelerator the menus already had.
  const QString text = event->text();
  if (!modifiers_.testFlag(Qt::ControlModifier)) {
    for (const QChar c : text)
      if (c.unicode() > 0 && c.unicode() < 128) view_->OnTypedCharacter(static_cast<char>(c.unicode()));
  }
  event->accept();
  afterEvent();
}

void ViewWidget::mousePressEvent(QMouseEvent* event) {
  if (!view_ || event->button() != Qt::LeftButton) return;
  modifiers_ = event->modifiers();
  const QPoint p = event->position().toPoint();
  view_->OnLButtonDown(buttonsOf(event), p.x(), p.y());
  afterEvent();
}

void ViewWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!view_) return;
  modifiers_ = event->modifiers();
  const QPoint p = event->position().toPoint();
  view_->OnMouseMove(buttonsOf(event), p.x(), p.y());
  // A drag may turn the view onto a plane preset, whose mark follows.
  if (event->buttons() != Qt::NoButton) afterEvent();
}

void ViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!view_ || event->button() != Qt::LeftButton) return;
  modifiers_ = event->modifiers();
  const QPoint p = event->position().toPoint();
  view_->OnLButtonUp(p.x(), p.y());
  afterEvent();
}

void ViewWidget::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  // A menu opened over the window does not take the view's focus away.
  if (!view_ || event->reason() == Qt::PopupFocusReason) return;
  view_->OnKillFocus();
  afterEvent();
}

void ViewWidget::wheelEvent(QWheelEvent* event) {
  if (!view_) return;
  const QPoint delta = event->angleDelta();
  const int notches = (std::abs(delta.y()) >= std::abs(delta.x()) ? delta.y() : delta.x()) / kWheelNotch;
  if (notches == 0) return;
  if (event->modifiers().testFlag(Qt::ControlModifier)) {
    // Zoom by the key factors, keeping the canvas point under the pointer in place.
    const bool in = notches > 0;
    const QPoint at = event->position().toPoint();
    for (int i = 0; i < std::abs(notches); ++i) {
      if (!view_->state(in ? cmd::kZoomIn : cmd::kZoomOut).enabled) break;
      const ScrollPoint s = scroll_.position();
      const double fx = (s.x + at.x()) / double(view_->canvasWidth());
      const double fy = (s.y + at.y()) / double(view_->canvasHeight());
      view_->keyZoom(in ? ViewSteps::kZoomInFactor : ViewSteps::kZoomOutFactor);
      if (!view_->fullView())
        view_->panTo(static_cast<int>(std::lround(fx * view_->canvasWidth())) - at.x(),
                     static_cast<int>(std::lround(fy * view_->canvasHeight())) - at.y());
    }
  } else {
    const bool horizontal = event->modifiers().testFlag(Qt::ShiftModifier) || std::abs(delta.x()) > std::abs(delta.y());
    const ScrollPoint s = scroll_.position();
    const int step = -notches * kWheelLines * (horizontal ? scroll_.lineWidth() : scroll_.lineHeight());
    view_->panTo(horizontal ? s.x + step : s.x, horizontal ? s.y : s.y + step);
  }
  event->accept();
  afterEvent();
}
