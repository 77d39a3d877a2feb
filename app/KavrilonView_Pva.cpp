// The view: the scalar field of the current layer (import, removal, the check
// when the layer changes), the Shading command and the PVA Options dialog.
//
// The field belongs to the view, never to the document: one value per point
// of the layer that was current at import, contour-filled in rendering mode
// with the rainbow scale, and dropped at every update from the document.

#include <cstdio>
#include <string>

#include "app/CKavrilonView.h"
#include "app/DialogLoop.h"
#include "common/F_ElementInterpolation.h"
#include "common/F_ScalarField.h"
#include "platform/UiServices.h"

namespace {

template <class... Args>
std::string format(const char* fmt, Args... args) {
  char text[512];
  std::snprintf(text, sizeof text, fmt, args...);
  return text;
}

}  // namespace

int CKavrilonView::currentLayerPointCount() const {
  // With no layers the commands that reach here are disabled; counting no
  // points keeps a stray call from indexing a layer that is not there.
  if (m_currentLayer < 1 || m_currentLayer > m_mesh.layerCount()) return 0;
  return m_mesh.layerPointCount(m_currentLayer);
}

void CKavrilonView::importScalarField() {
  FileDialogOptions dialog;
  dialog.defaultExtension = "pva";
  dialog.initialName = "*.pva";
  dialog.filter = "Scalar Field Values (*.pva)|*.pva|All Files (*.*)|*.*||";
  const std::optional<std::string> path = ui().openFileDialog(dialog);
  if (path) importScalarField(*path);
}

CKavrilonView::PvaImport CKavrilonView::importScalarField(const std::string& path) {
  WaitCursor wait;
  std::optional<F_VectorReal> values = loadScalarField(path);
  if (!values) return PvaImport::Unread;
  return useScalarField(std::move(*values));
}

CKavrilonView::PvaImport CKavrilonView::useScalarField(F_VectorReal values) {
  const int points = currentLayerPointCount();
  if (values.size() != points) {
    ui().messageBox(format("WARNING\nInvalid number of points in the PVA file.\nPVA file content ignored.\n\n"
                           "Number of points in the PVA file = %d\nNumber of points of the current layer = %d",
                           values.size(), points));
    return PvaImport::CountMismatch;
  }
  m_pvaValues = std::move(values);
  m_pvaFileRange = fieldRange(m_mesh, m_currentLayer, m_options, m_pvaValues);
  m_sideBarRange = m_pvaFileRange;
  m_shading = 1;
  computeScreenMap();
  host().invalidate(true);
  return PvaImport::Imported;
}

void CKavrilonView::OnRemovePva() {
  removeScalarField();
  host().invalidate(true);
}

void CKavrilonView::checkPvaLayer() {
  const int points = currentLayerPointCount();
  if (m_shading != 1 || m_pvaValues.empty() || m_pvaValues.size() == points) return;
  m_shading = 0;
  ui().messageBox(format("WARNING\nUnable to display the scalar field on the current layer.\n"
                         "Number of values in the PVA list is not equal to\nthe number of points of the current "
                         "layer.\n\nNumber of values in the PVA list = %d\nNumber of points of the current layer = %d",
                         m_pvaValues.size(), points));
  computeScreenMap();
  host().invalidate(true);
}

void CKavrilonView::OnShading() {
  m_shading = m_shading == 1 ? 0 : 1;
  checkPvaLayer();
  computeScreenMap();
  host().invalidate(true);
}

PvaOptionsDialog CKavrilonView::pvaOptionsDialog() const {
  PvaOptionsDialog d;
  d.points = format("%d", m_pvaValues.size());
  d.colors = format("%d", m_colorTable.numberOfRainbowColors());
  d.sideBarMinimum = format("%lg", m_sideBarRange.lower);
  d.sideBarMaximum = format("%lg", m_sideBarRange.upper);
  d.fileMinimum = format("%lg", m_pvaFileRange.lower);
  d.fileMaximum = format("%lg", m_pvaFileRange.upper);
  return d;
}

bool CKavrilonView::OnPvaOptions() {
  const PvaOptionsDialog start = pvaOptionsDialog();
  DialogModel d;
  d.title = PvaOptionsDialog::kTitle;
  constexpr const char* kGroup = "Minimum and maximum scalar field values";
  using P = PvaOptionsDialog;
  d.fields = {{P::kPoints, DialogControl::ReadOnlyEdit, "Number of PVA points", "", start.points, {}},
              {P::kColors, DialogControl::Edit, "Number of rainbow colors [2,3000]", "", start.colors, {}},
              {P::kSideBarMinimum, DialogControl::Edit, "Minimum value (side bar)", kGroup, start.sideBarMinimum, {}},
              {P::kSideBarMaximum, DialogControl::Edit, "Maximum value (side bar)", kGroup, start.sideBarMaximum, {}},
              {P::kFileMinimum, DialogControl::ReadOnlyEdit, "Minimum value (from PVA file)", kGroup, start.fileMinimum, {}},
              {P::kFileMaximum, DialogControl::ReadOnlyEdit, "Maximum value (from PVA file)", kGroup, start.fileMaximum, {}}};
  d.buttons = {{P::kDefault, "&Default", ""}};
  // The texts live in the model while it is shown; the tests and the Default
  // button work on a PvaOptionsDialog made from them.
  auto fromModel = [&start](const DialogModel& m) {
    PvaOptionsDialog p = start;
    for (const auto& [id, text] : start.fields()) {
      if (!PvaOptionsDialog::isReadOnly(id)) p.setText(id, m.text(id));
    }
    return p;
  };
  d.onButton = [&](DialogModel& m, int id) {
    if (id != P::kDefault) return;
    PvaOptionsDialog p = fromModel(m);
    p.onDefault();
    for (const auto& [fid, text] : p.fields()) m.field(fid)->text = text;
  };
  if (!runDialogLoop(d, [&](const DialogModel& m) { return fromModel(m).check(); })) return false;
  storePvaOptions(fromModel(d));
  return true;
}

void CKavrilonView::storePvaOptions(const PvaOptionsDialog& dialog) {
  m_colorTable.build(dialog.numberOfColors());
  m_sideBarRange = {dialog.minimum(), dialog.maximum()};
  m_needRender = 1;
  host().invalidate(true);
}
