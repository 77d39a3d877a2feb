// The command table: one row per command, its texts, its handler and its rules.

#include "app/CommandTable.h"

#include <algorithm>
#include <cmath>

#include "app/CKavrilonView.h"

// The handlers and rules of the rows. A friend of the view, so that the rules
// read its state without widening what front ends may touch.
struct ViewCommands {
  using V = CKavrilonView;
  using C = const CKavrilonView;

  // --- rules ---
  static bool hasLayers(C& v) { return v.m_mesh.layerCount() > 0; }
  static bool usable(C& v) { return hasLayers(v) && v.m_viewPointMode == 0; }
  static const F_LayerContext& current(C& v) { return v.m_options.layer(v.m_currentLayer); }
  static bool nearZero(double x) { return -1e-8 < x && x < 1e-8; }

  static CommandState whenUsable(C& v) { return {usable(v), false}; }
  static CommandState whenLayers(C& v) { return {hasLayers(v), false}; }
  static CommandState always(C&) { return {true, false}; }
  static CommandState zoomedIn(C& v) { return {usable(v) && v.m_fullView == 0, false}; }
  static CommandState previousKnown(C& v) {
    return {usable(v) && (v.m_prevCanvasWidth != 0 || v.m_prevCanvasHeight != 0), false};
  }
  static CommandState viewPoint(C& v) { return {hasLayers(v), v.m_viewPointMode == 1}; }
  static CommandState plane(C& v, double phi, double psi) {
    const F_DisplayOptions& o = v.m_options;
    return {hasLayers(v), hasLayers(v) && nearZero(o.phi - phi) && nearZero(o.psi - psi) && nearZero(o.alpha)};
  }
  static CommandState planeXY(C& v) { return plane(v, -V::kHalfPi, -V::kHalfPi); }
  static CommandState planeYZ(C& v) { return plane(v, 0.0, 0.0); }
  static CommandState planeXZ(C& v) { return plane(v, -V::kHalfPi, 0.0); }
  static CommandState markedWhen(C& v, bool mark) { return {usable(v), usable(v) && mark}; }
  static CommandState shadingState(C& v) { return markedWhen(v, v.m_shading == 1); }
  static CommandState overprintState(C& v) { return markedWhen(v, v.m_options.overprintMesh != 0); }
  static CommandState barsState(C& v) { return markedWhen(v, v.m_barsInVisibleArea != 0); }
  static CommandState shrinkState(C& v) { return markedWhen(v, usable(v) && current(v).shrinkFactor != 100); }
  template <F_LayerContext::Field F_LayerContext::*flag>
  static CommandState layerFlag(C& v) {
    return markedWhen(v, usable(v) && current(v).*flag != 0);
  }
  static CommandState allLayers(C& v, int shown) {
    bool all = usable(v);
    for (int i = 1; all && i <= v.m_options.layerCount(); ++i) all = v.m_options.layer(i).displayLayer == shown;
    return {usable(v), all};
  }
  static CommandState allOff(C& v) { return allLayers(v, 0); }
  static CommandState allOn(C& v) { return allLayers(v, 1); }
  static CommandState layerStep(C& v) { return {v.m_mesh.layerCount() >= 2 && v.m_viewPointMode == 0, false}; }
  static CommandState withField(C& v) { return {usable(v) && !v.m_pvaValues.empty(), false}; }
  static CommandState importFile(C& v) { return {v.GetDocument().isImportEnabled(&v), false}; }
  static CommandState exportFile(C& v) { return {v.GetDocument().isExportEnabled(&v), false}; }

  // --- handlers ---
  static void zoom(V& v) { v.startZoomWindow(); }
  static void zoomAll(V& v) { v.zoomToWindow(); }
  static void zoomPrevious(V& v) { v.zoomPrevious(); }
  static void zoomIn(V& v) { v.zoomInCommand(); }
  static void zoomOut(V& v) { v.keyZoom(V::kZoomOutFactor); }
  static void changeViewPoint(V& v) {
    if (v.m_viewPointMode == 0) {
      v.enterViewPointMode();
    } else {
      v.leaveViewPointMode();
    }
  }
  static void increasePhi(V& v) { v.rotateBy(V::kAngleStep, 0, 0); }
  static void decreasePhi(V& v) { v.rotateBy(-V::kAngleStep, 0, 0); }
  static void increasePsi(V& v) { v.rotateBy(0, V::kAngleStep, 0); }
  static void decreasePsi(V& v) { v.rotateBy(0, -V::kAngleStep, 0); }
  static void viewXY(V& v) { v.setViewAngles(-V::kHalfPi, -V::kHalfPi, 0.0); }
  static void viewYZ(V& v) { v.setViewAngles(0.0, 0.0, 0.0); }
  static void viewXZ(V& v) { v.setViewAngles(-V::kHalfPi, 0.0, 0.0); }
  static void shrink(V& v) {
    F_LayerContext& c = v.m_options.layer(v.m_currentLayer);
    c.shrinkFactor = c.shrinkFactor == 100 ? 80 : 100;
    v.repaint();
  }
  static void overprint(V& v) {
    v.m_options.toggleOverprintMesh();
    // The overprint shows in rendering mode only.
    if (v.m_shading == 1) v.repaint();
  }
  static void bars(V& v) {
    v.m_barsInVisibleArea = v.m_barsInVisibleArea ? 0 : 1;
    v.repaint();
  }
  template <void (F_LayerContext::*toggle)()>
  static void toggleFlag(V& v) {
    (v.m_options.layer(v.m_currentLayer).*toggle)();
    v.repaint();
  }
  static void setAllLayers(V& v, bool shown) {
    if (v.m_mesh.layerCount() == 0) return;
    for (int i = 1; i <= v.m_options.layerCount(); ++i) v.m_options.layer(i).displayLayer = shown ? 1 : 0;
    v.repaint();
  }
  static void allLayersOff(V& v) { setAllLayers(v, false); }
  static void allLayersOn(V& v) { setAllLayers(v, true); }
  static void nextLayer(V& v) { v.nextLayer(); }
  static void previousLayer(V& v) { v.previousLayer(); }
  static void shading(V& v) { v.OnShading(); }
  static void setAsDefault(V& v) { v.OnSetAsDefault(); }
  static void importPva(V& v) { v.importScalarField(); }
  static void removePva(V& v) { v.OnRemovePva(); }
  static void pvaOptions(V& v) { v.OnPvaOptions(); }
  static void exportViewImage(V& v) { v.OnExportViewImage(); }
  static void lineProperties(V& v) { v.OnLineProperties(); }
  static void markerProperties(V& v) { v.OnMarkerProperties(); }
  static void numberProperties(V& v) { v.OnNumberProperties(); }
  static void renderingOptions(V& v) { v.OnRenderingOptions(); }
  static void displayOptions(V& v) { v.OnDisplayOptions(); }
  static void setViewAngles(V& v) { v.OnSetViewAngles(); }
  static void setViewMargins(V& v) { v.OnSetViewMargins(); }
  static void jumpToLayer(V& v) { v.OnJumpToLayer(); }
  static void importDisplayOptions(V& v) { v.OnImportDisplayOptions(); }
  static void exportDisplayOptions(V& v) { v.OnExportDisplayOptions(); }
  static void importFileRun(V& v) { v.GetDocument().OnFileImport(); }
  static void exportFileRun(V& v) { v.GetDocument().OnFileExport(); }
  static void keyboardCommands(V& v) { v.OnKeyboardCommands(); }
};

namespace {

using W = ViewCommands;
using LC = F_LayerContext;
constexpr Toolbar kNone = Toolbar::None, kStd = Toolbar::Standard, kDisp = Toolbar::Display,
                  kRend = Toolbar::Rendering, kDeco = Toolbar::Decoration, kLay = Toolbar::Layer;

// In id order.
const CommandRow kRows[] = {
    {32771, "import-file", "&Import...\tCtrl+I", "Imports an external .s3d file.\nImport File (Ctrl+I)", "Ctrl+I",
     kStd, true, W::importFileRun, W::importFile},
    {32772, "zoom", "&Zoom\tz", "Zooms in the active view.\nZoom (z)", "z", kDisp, false, W::zoom, W::whenUsable},
    {32773, "zoom-all", "Zoom &All\ta", "Displays the whole object in the current view.\nZoom All (a)", "a", kDisp,
     false, W::zoomAll, W::zoomedIn},
    {32774, "line-properties", "&Lines...\tl",
     "Changes properties of the lines of the current layer.\nChange Line Properties (l)", "l", kNone, false,
     W::lineProperties, W::whenUsable},
    {32775, "marker-properties", "&Markers...\tm",
     "Changes properties of the markers of the current layer.\nChange Marker Properties (m)", "m", kNone, false,
     W::markerProperties, W::whenUsable},
    {32776, "number-properties", "&Numbers...\tn",
     "Changes properties of the numbers of the current layer.\nChange Number Properties (n)", "n", kNone, false,
     W::numberProperties, W::whenUsable},
    {32777, "export-display-options", "Expor&t Display Options...",
     "Exports the display options of the current view to a file with .cfg extension.\nExport Display Options",
     nullptr, kNone, false, W::exportDisplayOptions, W::whenUsable},
    {32778, "jump-to-layer", "&Jump to Layer...\tj", "Jumps to a specified layer.\nJump to Layer (j)", "j", kNone,
     false, W::jumpToLayer, W::whenUsable},
    {32779, "import-display-options", "I&mport Display Options...",
     "Imports a .cfg file with display options and applies them to the current view.\nImport Display Options",
     nullptr, kNone, false, W::importDisplayOptions, W::whenUsable},
    {32780, "export-file", "&Export...", "Exports the mesh to an .s3d text file.\nExport File", nullptr, kNone, true,
     W::exportFileRun, W::exportFile},
    {32781, "change-view-point", "Change &View Point\tv",
     "Interactively changes the position of the view point.\nChange View Point (v)", "v", kDisp, false,
     W::changeViewPoint, W::viewPoint},
    {32782, "set-view-angles", "Set View An&gles...\tg", "Changes the values of the view angles.\nSet View Angles (g)",
     "g", kNone, false, W::setViewAngles, W::whenLayers},
    {32783, "set-as-default", "Set As De&fault\tf",
     "Copies the options of the active view to the corresponding document.\nSet As Default (f)", "f", kNone, false,
     W::setAsDefault, W::whenUsable},
    {32784, "keyboard-commands", "&Keyboard Commands...\tk", "Lists the typed two-letter commands.\nKeyboard Commands (k)",
     "k", kNone, true, W::keyboardCommands, W::always},
    {32785, "zoom-previous", "Zoom &Previous\tp", "Restores the previous zoom characteristics.\nZoom Previous (p)", "p",
     kNone, false, W::zoomPrevious, W::previousKnown},
    {32786, "shading", "S&hading\ts", "Selects rendering mode: element shading or contour fill.\nShading (s)", "s",
     kRend, false, W::shading, W::shadingState},
    {32787, "import-pva", "&Import...\tCtrl+Shift+I", "Imports a PVA file to the active view.\nImport PVA (Ctrl+Shift+I)",
     "Ctrl+Shift+I", kRend, false, W::importPva, W::whenUsable},
    {32788, "remove-pva", "&Remove\tCtrl+Shift+R",
     "Removes the PVA values from the active view.\nRemove PVA (Ctrl+Shift+R)", "Ctrl+Shift+R", kRend, false,
     W::removePva, W::withField},
    {32789, "pva-options", "&Options...\tCtrl+Shift+O",
     "Changes options of the scalar field representation.\nPVA Options (Ctrl+Shift+O)", "Ctrl+Shift+O", kNone, false,
     W::pvaOptions, W::withField},
    {32790, "rendering-options", "&Rendering...\tr", "Changes rendering options.\nRendering Options (r)", "r", kNone,
     false, W::renderingOptions, W::whenUsable},
    {32791, "set-view-margins", "Set View &Margins...", "Changes the values of the view margins (%).\nSet View Margins",
     nullptr, kNone, false, W::setViewMargins, W::whenUsable},
    {32792, "display-options", "&Display...\td", "Changes global display options.\nChange Display Options (d)", "d",
     kNone, false, W::displayOptions, W::whenUsable},
    {32802, "view-xy", nullptr, "Selects an orthogonal view of the XY plane.\nView XY Plane (XY)", nullptr, kDisp, false,
     W::viewXY, W::planeXY},
    {32806, "view-yz", nullptr, "Selects an orthogonal view of the YZ plane.\nView YZ Plane (YZ)", nullptr, kDisp, false,
     W::viewYZ, W::planeYZ},
    {32807, "view-xz", nullptr, "Selects an orthogonal view of the XZ plane.\nView XZ Plane (XZ)", nullptr, kDisp, false,
     W::viewXZ, W::planeXZ},
    {32809, "shrink-elements", nullptr, "Shrinks all the elements of the current layer.\nShrink Elements (SH)", nullptr,
     kDisp, false, W::shrink, W::shrinkState},
    {32810, "decrease-phi", nullptr, "Decreases phi angle.\nDecrease Phi (Shift+Right Arrow)", nullptr, kDisp, false,
     W::decreasePhi, W::whenLayers},
    {32811, "increase-phi", nullptr, "Increases phi angle.\nIncrease Phi (Shift+Left Arrow)", nullptr, kDisp, false,
     W::increasePhi, W::whenLayers},
    {32812, "increase-psi", nullptr, "Increases psi angle.\nIncrease Psi (Shift+Up Arrow)", nullptr, kDisp, false,
     W::increasePsi, W::whenLayers},
    {32813, "decrease-psi", nullptr, "Decreases psi angle.\nDecrease Psi (Shift+Down Arrow)", nullptr, kDisp, false,
     W::decreasePsi, W::whenLayers},
    {32814, "zoom-in", nullptr, "Zooms in.\nZoom In (Ctrl+Down Arrow)", nullptr, kDisp, false, W::zoomIn,
     W::whenUsable},
    {32815, "zoom-out", nullptr, "Zooms out.\nZoom Out (Ctrl+Up Arrow)", nullptr, kDisp, false, W::zoomOut,
     W::zoomedIn},
    {32819, "overprint-mesh", nullptr, "Displays element edges on the shaded surface.\nOverprint Mesh (OM)", nullptr,
     kRend, false, W::overprint, W::overprintState},
    {32820, "bars-in-visible-area", nullptr,
     "When zooming, locates the auxiliary bars in the visible area.\nBars In Visible Area (BL)", nullptr, kDeco, false,
     W::bars, W::barsState},
    {32824, "lines", nullptr, "Turns on the lines of the current layer.\nLines (LI)", nullptr, kDeco, false,
     W::toggleFlag<&LC::toggleLines>, W::layerFlag<&LC::displayLines>},
    {32825, "point-markers", nullptr, "Turns on the point markers of the current layer.\nPoint Markers (MP)", nullptr,
     kDeco, false, W::toggleFlag<&LC::togglePointMarkers>, W::layerFlag<&LC::displayPointMarkers>},
    {32826, "special-node-markers", nullptr,
     "Turns on the special node markers of the current layer.\nSpecial Node Markers (MS)", nullptr, kDeco, false,
     W::toggleFlag<&LC::toggleSpecialNodeMarkers>, W::layerFlag<&LC::displaySpecialNodeMarkers>},
    {32830, "point-numbers", nullptr, "Turns on the point numbers of the current layer.\nPoint Numbers (NP)", nullptr,
     kDeco, false, W::toggleFlag<&LC::togglePointNumbers>, W::layerFlag<&LC::displayPointNumbers>},
    {32831, "element-node-numbers", nullptr,
     "Turns on the element node numbers of the current layer.\nElement Node Numbers (NN)", nullptr, kDeco, false,
     W::toggleFlag<&LC::toggleElementNodeNumbers>, W::layerFlag<&LC::displayElementNodeNumbers>},
    {32832, "element-numbers", nullptr, "Turns on the element numbers of the current layer.\nElement Numbers (NE)",
     nullptr, kDeco, false, W::toggleFlag<&LC::toggleElementNumbers>, W::layerFlag<&LC::displayElementNumbers>},
    {32833, "special-node-numbers", nullptr,
     "Turns on the special node numbers of the current layer.\nSpecial Node Numbers (NS)", nullptr, kDeco, false,
     W::toggleFlag<&LC::toggleSpecialNodeNumbers>, W::layerFlag<&LC::displaySpecialNodeNumbers>},
    {32834, "next-layer", nullptr, "Switches to the next layer.\nNext Layer (Numeric Keypad +)", nullptr, kLay, false,
     W::nextLayer, W::layerStep},
    {32836, "layer-visible", nullptr, "Turns on the current layer.\nLayer Visible (LA)", nullptr, kLay, false,
     W::toggleFlag<&LC::toggleLayer>, W::layerFlag<&LC::displayLayer>},
    {32838, "previous-layer", nullptr, "Switches to the previous layer.\nPrevious Layer (Numeric Keypad -)", nullptr,
     kLay, false, W::previousLayer, W::layerStep},
    {32843, "export-view-image", "Export Vie&w Image...\tCtrl+E",
     "Exports the content of the current view to a BMP file\nExport View Image (Ctrl+E)", "Ctrl+E", kStd, false,
     W::exportViewImage, W::whenUsable},
    {32845, "all-layers-off", nullptr, "Turns off all the layers.\nAll Layers Off (LF)", nullptr, kLay, false,
     W::allLayersOff, W::allOff},
    {32846, "all-layers-on", nullptr, "Turns on all the layers.\nAll Layers On (LN)", nullptr, kLay, false,
     W::allLayersOn, W::allOn},
};

const TypedCommand kTyped[] = {
    {"NL", "- Next layer (numeric keypad +)", cmd::kNextLayer, true},
    {"PL", "- Previous layer (numeric keypad -)", cmd::kPreviousLayer, true},
    {"LA", "- Toggle layer visibility", cmd::kLayerVisible, true},
    {"LF", "- Turn off all the layers", cmd::kAllLayersOff, true},
    {"LN", "- Turn on all the layers", cmd::kAllLayersOn, true},
    {"SH", "- Toggle shrink factor between 80% and 100%", cmd::kShrinkElements, true},
    {"LI", "- Toggle line visibility", cmd::kLines, true},
    {"MP", "- Toggle markers in the points", cmd::kPointMarkers, true},
    {"MS", "- Toggle markers in the special nodes", cmd::kSpecialNodeMarkers, true},
    {"NP", "- Toggle numbers in the points", cmd::kPointNumbers, true},
    {"NN", "- Toggle numbers in the element nodes", cmd::kElementNodeNumbers, true},
    {"NE", "- Toggle numbers in the elements", cmd::kElementNumbers, true},
    {"NS", "- Toggle numbers in the special nodes", cmd::kSpecialNodeNumbers, true},
    {"XY", "- View xy plane", cmd::kViewXY, false},
    {"YZ", "- View yz plane", cmd::kViewYZ, false},
    {"XZ", "- View xz plane", cmd::kViewXZ, false},
    {"OM", "- Toggle overprint mesh", cmd::kOverprintMesh, true},
    {"BL", "- Toggle bar location", cmd::kBarsInVisibleArea, true},
};

const int kStandardBar[] = {cmd::kFileNew,   cmd::kFileOpen,         cmd::kFileClose, cmd::kFileSave,
                            cmd::kImportFile, cmd::kExportViewImage, cmd::kSeparator, cmd::kFilePrint,
                            cmd::kFilePrintPreview, cmd::kSeparator, cmd::kAppAbout,  cmd::kContextHelp};
const int kDisplayBar[] = {cmd::kZoom,        cmd::kZoomIn,      cmd::kZoomOut,     cmd::kZoomAll,
                           cmd::kSeparator,   cmd::kChangeViewPoint, cmd::kIncreasePhi, cmd::kDecreasePhi,
                           cmd::kIncreasePsi, cmd::kDecreasePsi, cmd::kViewXY,      cmd::kViewYZ,
                           cmd::kViewXZ,      cmd::kSeparator,   cmd::kShrinkElements};
const int kRenderingBar[] = {cmd::kShading, cmd::kImportPva, cmd::kRemovePva, cmd::kOverprintMesh};
const int kDecorationBar[] = {cmd::kBarsInVisibleArea, cmd::kSeparator,          cmd::kLines,
                              cmd::kPointMarkers,      cmd::kSpecialNodeMarkers, cmd::kPointNumbers,
                              cmd::kElementNodeNumbers, cmd::kElementNumbers,    cmd::kSpecialNodeNumbers};
const int kLayerBar[] = {cmd::kNextLayer, cmd::kPreviousLayer, cmd::kLayerVisible, cmd::kAllLayersOff,
                         cmd::kAllLayersOn};

std::string line(const char* prompt, bool second) {
  const std::string s = prompt ? prompt : "";
  const auto nl = s.find('\n');
  if (nl == std::string::npos) return second ? "" : s;
  return second ? s.substr(nl + 1) : s.substr(0, nl);
}

}  // namespace

std::span<const CommandRow> commandTable() { return kRows; }

const CommandRow* findCommand(int id) {
  const auto it = std::lower_bound(std::begin(kRows), std::end(kRows), id,
                                   [](const CommandRow& r, int i) { return r.id < i; });
  return it != std::end(kRows) && it->id == id ? &*it : nullptr;
}

const CommandRow* findAccelerator(char ch) {
  if (ch < 'a' || ch > 'z') return nullptr;
  for (const CommandRow& r : kRows)
    if (r.accelerator && r.accelerator[0] == ch && r.accelerator[1] == '\0') return &r;
  return nullptr;
}

std::string statusPrompt(const CommandRow& row) { return line(row.prompt, false); }
std::string toolTip(const CommandRow& row) { return line(row.prompt, true); }

std::span<const int> toolbarButtons(Toolbar bar) {
  switch (bar) {
    case Toolbar::Standard: return kStandardBar;
    case Toolbar::Display: return kDisplayBar;
    case Toolbar::Rendering: return kRenderingBar;
    case Toolbar::Decoration: return kDecorationBar;
    case Toolbar::Layer: return kLayerBar;
    case Toolbar::None: break;
  }
  return {};
}

const char* toolbarName(Toolbar bar) {
  switch (bar) {
    case Toolbar::Standard: return "Standard";
    case Toolbar::Display: return "Display";
    case Toolbar::Rendering: return "Rendering";
    case Toolbar::Decoration: return "Decoration";
    case Toolbar::Layer: return "Layer";
    case Toolbar::None: break;
  }
  return "";
}

std::span<const TypedCommand> typedCommands() { return kTyped; }

bool CKavrilonView::execute(int id) {
  const CommandRow* row = findCommand(id);
  if (!row || !row->state(*this).enabled) return false;
  row->run(*this);
  return true;
}

CommandState CKavrilonView::state(int id) const {
  const CommandRow* row = findCommand(id);
  return row ? row->state(*this) : CommandState{};
}
