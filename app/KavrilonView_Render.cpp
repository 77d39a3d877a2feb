// The view: rendering mode of the mesh into the off-screen image.
//
// OnDraw has already filled the image white and sized m_zBuffer to the canvas
// with every entry far; here the visible layers of m_mesh are shaded (or, for
// the current layer with a scalar field, contour-filled) straight into the
// image's scanlines. Returning false makes OnDraw show the node-count message
// and fall back to line mode.

#include <span>

#include "app/CKavrilonView.h"
#include "common/F_ElementShape.h"
#include "common/F_LayerRenderer.h"

bool CKavrilonView::renderLayers(DeviceContext& mem) {
  const F_Vector<F_Rgb>& colors = m_colorTable.colors();
  F_LayerRenderer renderer(mem.surface(), m_screenMap, m_zBuffer,
                           std::span<const F_Rgb>(colors.data(), static_cast<std::size_t>(colors.size())),
                           m_colorTable.numberOfRainbowColors());
  try {
    renderer.renderMesh(m_mesh, m_options, m_pvaValues, m_sideBarRange, m_currentLayer);
  } catch (const F_NotSupportedException&) {
    return false;
  }
  return true;
}
