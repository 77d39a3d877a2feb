// The view: construction, the update from the document and the paint.

#include "app/CKavrilonView.h"

#include <algorithm>
#include <cstdio>

#include "common/F_LineDrawing.h"
#include "include/F_Errors.h"
#include "platform/UiServices.h"

namespace {
constexpr F_Rgb kRed = makeRgb(255, 0, 0);
constexpr const char* kUnsupportedElements =
    "ERROR\nThe number of nodes of all the elements of\nthe visible layers must be 0, 2, 3, 4, 6, 8 or 9.\n\n"
    "HINT\nUse the LA command to turn off the visibility of\nthe layers containing unsupported elements.";
}  // namespace

CKavrilonView::CKavrilonView(CKavrilonDoc& doc, ViewHost& host) : doc_(doc), host_(host) { doc_.addView(this); }

CKavrilonView::~CKavrilonView() { doc_.removeView(this); }

void CKavrilonView::OnInitialUpdate(DeviceContext& clientDC) {
  updateFromDocument();
  // A new window has had its first size before this update: that is the
  // state Zoom Previous returns to until a zoom remembers another.
  m_prevCanvasWidth = m_clientWidth;
  m_prevCanvasHeight = m_clientHeight;
  m_colorTable.build(14);
  // The side-bar numbers are nine characters of Courier New, 12 pixels high.
  const Font old = clientDC.selectFont(Font{"Courier New", 12, 400});
  char text[32];
  std::snprintf(text, sizeof text, "%9.6lf", 0.0);
  const TextExtent e = clientDC.textExtent(text);
  clientDC.selectFont(old);
  m_numberTextWidth = e.cx;
  m_numberTextHeight = e.cy;
}

void CKavrilonView::updateFromDocument() {
  host_.invalidate(true);
  m_options = doc_.displayOptions;
  computeProjection();
  // A window smaller than two pixels (as a new window can be before it is
  // laid out) is taken as two, as a resize does, so the fit cannot fail.
  m_clientWidth = m_canvasWidth = std::max(2, host_.clientWidth());
  m_clientHeight = m_canvasHeight = std::max(2, host_.clientHeight());
  m_fullView = 1;
  computeScreenMap();
  updateScrollSizes();
  removeScalarField();
  m_currentLayer = 1;
  m_shading = 0;
}

void CKavrilonView::refit() {
  computeProjection();
  computeScreenMap();
  host_.invalidate(true);
}

void CKavrilonView::repaint() {
  m_needRender = 1;
  host_.invalidate(true);
}

void CKavrilonView::OnDraw(DeviceContext& dc) {
  const int w = m_canvasWidth, h = m_canvasHeight;
  if (m_viewPointMode == 1) {
    drawViewPointCube(dc);
  } else if (m_viewPointMode != 0) {
    internalError("KavrilonView", 1);
  } else {
    if (m_needRender == 1) {
      // A fresh white image of the whole canvas in its default state.
      m_memDC = dc.createCompatible(w, h);
      m_memDC->patBlt(0, 0, w, h, PatOp::Whiteness);
      if (m_shading == 1) {
        WaitCursor wait;
        m_zBuffer.resize(w, h);
        m_zBuffer.fill(F_DepthBuffer::kFar);
        if (!renderLayers(*m_memDC)) {
          // Nothing half-rendered is shown: the next paint draws lines.
          m_shading = 0;
          m_needRender = 1;
          ui().messageBox(kUnsupportedElements);
          host_.invalidate(true);
          return;
        }
        drawSideBar(*m_memDC);
      } else {
        m_zBuffer.resize(0, 0);
        drawLines(m_mesh, *m_memDC, m_screenMap, m_options);
      }
      drawLayerBar(*m_memDC);
      m_needRender = 0;
      const ScrollPoint s = host_.scrollPosition();
      m_renderScrollX = s.x;
      m_renderScrollY = s.y;
    }
    dc.bitBlt(0, 0, w, h, *m_memDC, 0, 0);
  }
  if (m_mesh.layerCount() == 0) {
    const F_Rgb old = dc.setTextColor(kRed);
    dc.textOut(20, 50, "Empty document.");
    dc.textOut(20, 80, "Select     File / Import     to read a  .s3d  text file.");
    dc.textOut(20, 110, "Select     File / Open     to read a  .b3d  binary file.");
    dc.setTextColor(old);
  }
}
