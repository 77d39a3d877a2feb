// The view's interaction: resize, keys, the typed two-letter commands, the
// mouse (pan, rotation and zoom drags, the zoom window), focus loss, the zoom
// commands, layer stepping and view point mode. Every handler ends in one of
// the verbs below; the steps and factors are the constants of ViewEvents.h.

#include <cmath>
#include <cstdlib>

#include "app/CKavrilonView.h"
#include "common/F_CanvasBound.h"
#include "include/F_Errors.h"
#include "platform/UiServices.h"

using namespace ViewSteps;

namespace {

// The pending first letter of a two-letter command. It belongs to the
// program, not to a view: a letter typed in one view and a second typed in
// another form a command in the second.
char g_pendingLetter = 0;

// The zoom window's first corner and where its crosshair was last drawn. One
// view at a time holds the mouse capture, so one copy serves every view.
int g_cornerX = 0, g_cornerY = 0;
int g_crossX = 0, g_crossY = 0;

bool canvasFits(double w, double h) {
  return w >= 1 && h >= 1 && w <= F_CanvasBound::kMaxSide && h <= F_CanvasBound::kMaxSide &&
         F_CanvasBound::fits(static_cast<long long>(w), static_cast<long long>(h));
}

}  // namespace

// --- zoom ---

bool CKavrilonView::zoomBy(double c) {
  double w = std::floor(m_canvasWidth / c + 0.5);
  double h = std::floor(m_canvasHeight / c + 0.5);
  // The canvas never shrinks below the client area.
  if (w < m_clientWidth || h < m_clientHeight) {
    w = m_clientWidth;
    h = m_clientHeight;
  }
  // Past the bound the image and depth buffer would not fit in memory.
  if (!canvasFits(w, h)) return false;
  m_canvasWidth = static_cast<int>(w);
  m_canvasHeight = static_cast<int>(h);
  computeScreenMap();
  m_fullView = m_canvasWidth == m_clientWidth && m_canvasHeight == m_clientHeight ? 1 : 0;
  updateScrollSizes();
  return true;
}

F_PlanePoint CKavrilonView::centreOfWindow() const {
  const ScrollPoint s = host_.scrollPosition();
  return m_screenMap.toPlane(s.x + m_clientWidth / 2, s.y + m_clientHeight / 2);
}

void CKavrilonView::scrollToCentre(F_PlanePoint p) {
  const F_Pixel px = m_screenMap.toPixel(p.x1, p.x2);
  host_.scrollToPosition(px.x - m_clientWidth / 2, px.y - m_clientHeight / 2);
}

void CKavrilonView::keyZoom(double factor) {
  if (m_viewPointMode == 1) return;
  if (m_fullView == 1 && factor >= 1) return;
  const F_PlanePoint p = centreOfWindow();
  if (!zoomBy(factor)) return;
  if (m_fullView == 0) scrollToCentre(p);
  host_.invalidate(true);
}

void CKavrilonView::zoomInCommand() {
  const F_PlanePoint p = centreOfWindow();
  if (!zoomBy(kZoomInFactor)) return;
  scrollToCentre(p);
  host_.invalidate(true);
}

void CKavrilonView::zoomToWindow() {
  const ScrollPoint s = host_.scrollPosition();
  m_prevCanvasWidth = m_canvasWidth;
  m_prevCanvasHeight = m_canvasHeight;
  m_prevScrollX = s.x;
  m_prevScrollY = s.y;
  m_canvasWidth = m_clientWidth;
  m_canvasHeight = m_clientHeight;
  m_fullView = 1;
  computeScreenMap();
  updateScrollSizes();
  host_.invalidate(true);
}

void CKavrilonView::zoomPrevious() {
  // A remembered canvas is never smaller than the client area it is shown in.
  m_canvasWidth = std::max(m_prevCanvasWidth, m_clientWidth);
  m_canvasHeight = std::max(m_prevCanvasHeight, m_clientHeight);
  m_fullView = m_canvasWidth == m_clientWidth && m_canvasHeight == m_clientHeight ? 1 : 0;
  computeScreenMap();
  // The scroll range must be the remembered canvas's before the remembered
  // position is taken, or the position would be clamped to the old range.
  updateScrollSizes();
  if (m_fullView == 0) host_.scrollToPosition(m_prevScrollX, m_prevScrollY);
  host_.invalidate(true);
}

void CKavrilonView::startZoomWindow() {
  if (m_rubberShown) {
    if (DeviceContext* dc = host_.clientDC()) drawRubber(*dc, m_rubberX, m_rubberY);
    m_rubberShown = 0;
  }
  const ScrollPoint s = host_.scrollPosition();
  m_prevCanvasWidth = m_canvasWidth;
  m_prevCanvasHeight = m_canvasHeight;
  m_prevScrollX = s.x;
  m_prevScrollY = s.y;
  m_mouseMode = MouseMode::ZoomWindowFirst;
  host_.setCursor(CursorShape::Hidden);
  host_.setCapture();
}

// --- resize ---

void CKavrilonView::OnSize(int cx, int cy) {
  cx = std::max(cx, 2);
  cy = std::max(cy, 2);
  F_PlanePoint p{};
  if (m_fullView == 1) {
    m_canvasWidth = cx;
    m_canvasHeight = cy;
  } else {
    p = centreOfWindow();
    // Each axis keeps its zoom ratio.
    const double w = std::floor(static_cast<double>(cx) / m_clientWidth * m_canvasWidth + 0.5);
    const double h = std::floor(m_canvasHeight * (static_cast<double>(cy) / m_clientHeight) + 0.5);
    if (canvasFits(w, h)) {
      m_canvasWidth = static_cast<int>(w);
      m_canvasHeight = static_cast<int>(h);
    } else {
      // A window grown far beyond the one the zoom was made for would pass
      // the canvas bound: show the whole object instead.
      m_canvasWidth = cx;
      m_canvasHeight = cy;
      m_fullView = 1;
    }
  }
  m_clientWidth = m_prevCanvasWidth = cx;
  m_clientHeight = m_prevCanvasHeight = cy;
  computeScreenMap();
  if (m_viewPointMode != 1) {
    updateScrollSizes();
    if (m_fullView == 0) scrollToCentre(p);
  }
  host_.invalidate(true);
}

// --- keys ---

void CKavrilonView::OnKeyDown(ViewKey key) {
  if (m_mesh.layerCount() == 0) return;
  // Shift is tested first, so Shift+Ctrl acts as Shift.
  const bool shift = host_.isKeyDown(Key::Shift);
  const bool ctrl = !shift && host_.isKeyDown(Key::Control);
  switch (key) {
    case ViewKey::Left:
      if (shift) rotateBy(kAngleStep, 0, 0);
      else if (ctrl) rotateBy(0, 0, -kAngleStep);
      else host_.scroll(ScrollAxis::Horizontal, ScrollCode::LineBack);
      break;
    case ViewKey::Right:
      if (shift) rotateBy(-kAngleStep, 0, 0);
      else if (ctrl) rotateBy(0, 0, kAngleStep);
      else host_.scroll(ScrollAxis::Horizontal, ScrollCode::LineForward);
      break;
    case ViewKey::Up:
      if (shift) rotateBy(0, kAngleStep, 0);
      else if (ctrl) keyZoom(kZoomOutFactor);
      else host_.scroll(ScrollAxis::Vertical, ScrollCode::LineBack);
      break;
    case ViewKey::Down:
      if (shift) rotateBy(0, -kAngleStep, 0);
      else if (ctrl) keyZoom(kZoomInFactor);
      else host_.scroll(ScrollAxis::Vertical, ScrollCode::LineForward);
      break;
    case ViewKey::Home:
      if (shift) {
        m_options.setAngles(0.0, 0.0, 0.0);
        afterAngleChange();
      } else {
        host_.scroll(ScrollAxis::Vertical, ScrollCode::ToStart);
        host_.scroll(ScrollAxis::Horizontal, ScrollCode::ToStart);
      }
      break;
    case ViewKey::End:
      host_.scroll(ScrollAxis::Vertical, ScrollCode::ToEnd);
      host_.scroll(ScrollAxis::Horizontal, ScrollCode::ToEnd);
      break;
    case ViewKey::Prior: host_.scroll(ScrollAxis::Vertical, ScrollCode::PageBack); break;
    case ViewKey::Next: host_.scroll(ScrollAxis::Vertical, ScrollCode::PageForward); break;
    case ViewKey::Add: nextLayer(); break;
    case ViewKey::Subtract: previousLayer(); break;
    case ViewKey::Space:
    case ViewKey::Return:
      if (m_viewPointMode == 1) {
        leaveViewPointMode();
      } else if (m_viewPointMode == 0) {
        repaint();
      } else {
        internalError("KavrilonView_Input", 1);
      }
      break;
  }
}

// --- angles ---

void CKavrilonView::afterAngleChange() {
  if (m_viewPointMode != 1) {
    computeProjection();
    computeScreenMap();
  }
  host_.invalidate(true);
}

void CKavrilonView::rotateBy(double dPhi, double dPsi, double dAlpha) {
  if (dPhi != 0) m_options.addToPhi(dPhi);
  if (dPsi != 0) m_options.addToPsi(dPsi);
  if (dAlpha != 0) m_options.addToAlpha(dAlpha);
  afterAngleChange();
}

void CKavrilonView::setViewAngles(double phi, double psi, double alpha) {
  m_options.setAngles(phi, psi, alpha);
  refit();
}

// --- typed two-letter commands ---

void CKavrilonView::OnTypedCharacter(char ch) {
  if (const CommandRow* row = findAccelerator(ch)) {
    execute(row->id);
    return;
  }
  OnChar(ch);
}

void CKavrilonView::OnChar(char ch) {
  if (m_mesh.layerCount() == 0) return;
  if (ch < 'A' || ch > 'Z') {
    g_pendingLetter = 0;
    return;
  }
  if (g_pendingLetter == 0) {
    g_pendingLetter = ch;
    return;
  }
  const char first = g_pendingLetter;
  g_pendingLetter = 0;
  runTypedCommand(first, ch);
}

void CKavrilonView::runTypedCommand(char first, char second) {
  if (m_currentLayer < 1 || m_currentLayer > m_options.layerCount()) internalError("KavrilonView_Input", 2);
  for (const TypedCommand& t : typedCommands()) {
    if (t.letters[0] != first || t.letters[1] != second) continue;
    if (t.refusedInViewPointMode && m_viewPointMode == 1) return;
    findCommand(t.commandId)->run(*this);
    return;
  }
  ui().beep();
}

// --- layers ---

void CKavrilonView::nextLayer() {
  const int n = m_mesh.layerCount();
  if (n < 2 || m_viewPointMode == 1) return;
  setCurrentLayer(m_currentLayer >= n ? 1 : m_currentLayer + 1);
}

void CKavrilonView::previousLayer() {
  const int n = m_mesh.layerCount();
  if (n < 2 || m_viewPointMode == 1) return;
  setCurrentLayer(m_currentLayer <= 1 ? n : m_currentLayer - 1);
}

void CKavrilonView::setCurrentLayer(int layer) {
  if (layer < 1 || layer > m_mesh.layerCount()) internalError("KavrilonView_Input", 3);
  m_currentLayer = layer;
  checkPvaLayer();
  redrawLayerBar();
}

void CKavrilonView::redrawLayerBar() {
  // The bar in the image sits where the window was when it was rendered; only
  // there can it be drawn over. Elsewhere the next paint renders afresh.
  if (m_memDC && m_needRender == 0) {
    const ScrollPoint s = host_.scrollPosition();
    if (m_barsInVisibleArea == 0 || (s.x == m_renderScrollX && s.y == m_renderScrollY)) {
      drawLayerBar(*m_memDC);
    } else {
      m_needRender = 1;
    }
  }
  if (m_viewPointMode == 0) {
    if (DeviceContext* dc = host_.clientDC()) drawLayerBar(*dc);
  }
}

// --- view point mode ---

void CKavrilonView::enterViewPointMode() {
  const ScrollPoint s = host_.scrollPosition();
  m_viewPointMode = 1;
  m_savedScrollX = s.x;
  m_savedScrollY = s.y;
  host_.invalidate(true);
}

void CKavrilonView::leaveViewPointMode() {
  m_viewPointMode = 0;
  updateScrollSizes();
  host_.scrollToPosition(m_savedScrollX, m_savedScrollY);
  computeProjection();
  computeScreenMap();
  host_.invalidate(true);
}

// --- mouse ---

void CKavrilonView::panTo(int x, int y) { host_.scrollToPosition(x, y); }

void CKavrilonView::OnLButtonDown(MouseButtons buttons, int cx, int cy) {
  const ScrollPoint p = host_.clientToCanvas(cx, cy);
  // A press while a drag is under way (its button-up was lost) ends that drag first.
  if (m_mouseMode == MouseMode::Pan || m_mouseMode == MouseMode::Rotate || m_mouseMode == MouseMode::ZoomDrag)
    endDrag(p.x, p.y);
  if (m_mouseMode == MouseMode::ZoomWindowFirst || m_mouseMode == MouseMode::ZoomWindowSecond) {
    finishZoomWindowClick(host_.clientDC(), p.x, p.y);
    return;
  }
  const bool others = buttons.right || buttons.middle;
  if (buttons.shift && !buttons.control && !others) {
    m_mouseMode = MouseMode::Rotate;
    m_rotateLastX = p.x;
    m_rotateLastY = p.y;
    host_.setCursor(CursorShape::Rotate);
  } else if (buttons.control && !buttons.shift && !others) {
    m_mouseMode = MouseMode::ZoomDrag;
    m_zoomDragStartX = p.x;
    m_zoomDragStartY = p.y;
    host_.setCursor(CursorShape::SizeNS);
  } else {
    m_mouseMode = MouseMode::Pan;
    m_panStartX = p.x;
    m_panStartY = p.y;
    host_.setCursor(CursorShape::SizeAll);
  }
  m_rubberX = p.x;
  m_rubberY = p.y;
  m_rubberShown = 1;  // a drag draws no rubber; the flag only pairs with button-up
  host_.setCapture();
}

void CKavrilonView::OnMouseMove(MouseButtons, int cx, int cy) {
  const ScrollPoint p = host_.clientToCanvas(cx, cy);
  switch (m_mouseMode) {
    case MouseMode::Idle: return;
    case MouseMode::Pan:
      if (m_fullView == 0 && m_viewPointMode == 0) {
        // The grabbed canvas point stays under the pointer.
        const ScrollPoint s = host_.scrollPosition();
        panTo(s.x + m_panStartX - p.x, s.y + m_panStartY - p.y);
      }
      return;
    case MouseMode::Rotate: {
      const int dx = p.x - m_rotateLastX, dy = p.y - m_rotateLastY;
      m_rotateLastX = p.x;
      m_rotateLastY = p.y;
      m_options.addToPhi(dx * kAngleStep * kDragStepsPerPixel);
      m_options.addToPsi(dy * kAngleStep * kDragStepsPerPixel);
      afterAngleChange();
      return;
    }
    case MouseMode::ZoomDrag: {
      if (m_viewPointMode == 1) return;
      // At or below the starting row zooms in, so a level drag keeps zooming in.
      const double factor = p.y - m_zoomDragStartY >= 0 ? kDragZoomIn : kDragZoomOut;
      if (m_fullView == 1 && factor > 1) return;
      if ((m_canvasWidth > kDragZoomLimit || m_canvasHeight > kDragZoomLimit) && factor < 1) return;
      const F_PlanePoint centre = centreOfWindow();
      if (!zoomBy(factor)) return;
      if (m_fullView == 0) scrollToCentre(centre);
      host_.invalidate(true);
      return;
    }
    case MouseMode::ZoomWindowFirst:
    case MouseMode::ZoomWindowSecond: {
      DeviceContext* dc = host_.clientDC();
      if (m_rubberShown && dc) drawRubber(*dc, m_rubberX, m_rubberY);
      m_rubberX = p.x;
      m_rubberY = p.y;
      if (dc) drawRubber(*dc, p.x, p.y);
      m_rubberShown = 1;
      return;
    }
  }
  internalError("KavrilonView_Input", 4);
}

void CKavrilonView::OnLButtonUp(int cx, int cy) {
  if (m_mouseMode == MouseMode::Pan || m_mouseMode == MouseMode::Rotate || m_mouseMode == MouseMode::ZoomDrag) {
    const ScrollPoint p = host_.clientToCanvas(cx, cy);
    endDrag(p.x, p.y);
  }
}

void CKavrilonView::endDrag(int x, int y) {
  m_rubberX = m_rubberY = -1;
  m_rubberShown = 0;
  if (!host_.releaseCapture()) internalError("KavrilonView_Input", 5);
  host_.setCursor(CursorShape::Arrow);
  m_panStartX = m_rotateLastX = m_zoomDragStartX = x;
  m_panStartY = m_rotateLastY = m_zoomDragStartY = y;
  m_mouseMode = MouseMode::Idle;
}

void CKavrilonView::OnKillFocus() {
  // The repaint below wipes any XOR figure, so none is left to erase.
  if (m_mouseMode == MouseMode::ZoomWindowFirst || m_mouseMode == MouseMode::ZoomWindowSecond)
    host_.setCursor(CursorShape::Arrow);
  m_mouseMode = MouseMode::Idle;
  m_rubberShown = 0;
  m_rubberX = m_rubberY = -1;
  if (host_.hasCapture()) host_.releaseCapture();
  host_.invalidate(true);
}

void CKavrilonView::drawRubber(DeviceContext& dc, int x, int y) {
  const DrawMode oldMode = dc.setDrawMode(DrawMode::Xor);
  const Pen oldPen = dc.selectPen(Pen::solid(makeRgb(255, 255, 255)));
  if (m_mouseMode == MouseMode::ZoomWindowFirst) {
    const ScrollPoint s = host_.scrollPosition();
    const int left = s.x, top = s.y, right = s.x + m_clientWidth, bottom = s.y + m_clientHeight;
    dc.moveTo(left, y);
    dc.lineTo(right, y);
    dc.moveTo(x, top);
    dc.lineTo(x, bottom);
    g_crossX = x;
    g_crossY = y;
  } else if (m_mouseMode == MouseMode::ZoomWindowSecond) {
    dc.moveTo(x, y);
    dc.lineTo(x, g_crossY);
    dc.lineTo(g_crossX, g_crossY);
    dc.lineTo(g_crossX, y);
    dc.lineTo(x, y);
  }
  dc.setDrawMode(oldMode);
  dc.selectPen(oldPen);
}

void CKavrilonView::finishZoomWindowClick(DeviceContext* dc, int x, int y) {
  if (m_mouseMode == MouseMode::ZoomWindowFirst) {
    g_cornerX = x;
    g_cornerY = y;
    if (m_rubberShown && dc) {
      drawRubber(*dc, m_rubberX, m_rubberY);  // erases the crosshair
    } else {
      g_crossX = x;
      g_crossY = y;
    }
    m_rubberX = x;
    m_rubberY = y;
    m_mouseMode = MouseMode::ZoomWindowSecond;
    if (dc) drawRubber(*dc, x, y);
    m_rubberShown = 1;
    return;
  }
  if (m_mouseMode != MouseMode::ZoomWindowSecond) internalError("KavrilonView_Input", 6);
  if (m_rubberShown && dc) drawRubber(*dc, m_rubberX, m_rubberY);  // erases the rectangle
  m_rubberX = m_rubberY = -1;
  m_rubberShown = 0;
  m_mouseMode = MouseMode::Idle;
  if (!host_.releaseCapture()) internalError("KavrilonView_Input", 7);
  host_.setCursor(CursorShape::Arrow);
  const F_PlanePoint p = m_screenMap.toPlane((x + g_cornerX) / 2, (y + g_cornerY) / 2);
  const int w = std::abs(x - g_cornerX), h = std::abs(y - g_cornerY);
  if (w < kMinZoomWindow || h < kMinZoomWindow) {
    ui().messageBox("ERROR\nZoom window is too small.\nUnable to zoom.");
    return;
  }
  const double fw = static_cast<double>(w) / m_clientWidth, fh = static_cast<double>(h) / m_clientHeight;
  if (!zoomBy(fw > fh ? fw : fh)) return;
  if (m_fullView == 0) scrollToCentre(p);
  host_.invalidate(true);
}
