#pragma once
// A view whose state the white-box tests may read and set directly. Front
// ends never do this: they go through events, commands and accessors.

#include "app/CKavrilonView.h"

class ProbedView : public CKavrilonView {
 public:
  using CKavrilonView::CKavrilonView;
  using CKavrilonView::m_barsInVisibleArea;
  using CKavrilonView::m_canvasHeight;
  using CKavrilonView::m_canvasWidth;
  using CKavrilonView::m_clientHeight;
  using CKavrilonView::m_clientWidth;
  using CKavrilonView::m_colorTable;
  using CKavrilonView::m_currentLayer;
  using CKavrilonView::m_extent;
  using CKavrilonView::m_fullView;
  using CKavrilonView::m_memDC;
  using CKavrilonView::m_mesh;
  using CKavrilonView::m_mouseMode;
  using CKavrilonView::m_needRender;
  using CKavrilonView::m_numberTextHeight;
  using CKavrilonView::m_numberTextWidth;
  using CKavrilonView::m_prevCanvasHeight;
  using CKavrilonView::m_prevCanvasWidth;
  using CKavrilonView::m_options;
  using CKavrilonView::m_pvaFileRange;
  using CKavrilonView::m_pvaValues;
  using CKavrilonView::m_screenMap;
  using CKavrilonView::m_shading;
  using CKavrilonView::m_sideBarRange;
  using CKavrilonView::m_viewPointMode;
  using CKavrilonView::m_zBuffer;
};
