// The view's dialog and file commands: the three layer property dialogs, the
// rendering, display, angle and margin dialogs, Jump to Layer, Set As
// Default, the display-options file commands and the keyboard table. Each
// dialog is a table of fields run through the one dialog loop; the view is
// touched only after every test passed.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CKavrilonView.h"
#include "app/DialogLoop.h"
#include "include/F_Errors.h"
#include "include/F_WordReader.h"
#include "platform/UiServices.h"

using LC = F_LayerContext;
using OptionMember = LC::Field LC::*;

// One control of a layer property dialog bound to a field of the layer's options.
struct LayerPropertyField {
  int id;
  DialogControl kind;  // CheckBox or Edit
  const char* label;
  const char* group;
  LC::Field LC::*member;
};

struct LayerPropertyDialog {
  const char* title;
  int currentLayerId;  // the read-only "Current layer:" edit
  int helpId;
  const char* helpTitle;
  std::span<const LayerPropertyField> fields;     // as laid out
  std::span<const OptionMember> checks;  // in the order they are tested
};

namespace {
constexpr int kDefaultButton = 1004;

template <class... Args>
std::string format(const char* fmt, Args... args) {
  char text[128];
  std::snprintf(text, sizeof text, fmt, args...);
  return text;
}



constexpr const char* kLinesGroup = "Lines of the current layer";
const LayerPropertyField kLineFields[] = {
    {1000, DialogControl::CheckBox, "&Visible", kLinesGroup, &LC::displayLines},
    {1001, DialogControl::Edit, "Thickness (1...99)", kLinesGroup, &LC::lineThickness},
    {1002, DialogControl::Edit, "Color (1...16)", kLinesGroup, &LC::lineColor},
    {1003, DialogControl::Edit, "Type (0...4)", kLinesGroup, &LC::lineType},
    {1045, DialogControl::Edit, "Shrink factor (%)", "", &LC::shrinkFactor},
};
// The order in which OK tests the numbers, by the option each edit holds;
// ranges and messages come from the layer options' own table.
const OptionMember kLineChecks[] = {&LC::shrinkFactor, &LC::lineThickness, &LC::lineColor, &LC::lineType};

constexpr const char* kPointMarkers = "Point markers of the current layer";
constexpr const char* kNodeMarkers = "Sp. node markers of the current layer";
const LayerPropertyField kMarkerFields[] = {
    {1013, DialogControl::CheckBox, "&Visible", kPointMarkers, &LC::displayPointMarkers},
    {1007, DialogControl::Edit, "Size (1...99)", kPointMarkers, &LC::pointMarkerSize},
    {1008, DialogControl::Edit, "Color (1...16)", kPointMarkers, &LC::pointMarkerColor},
    {1009, DialogControl::Edit, "Type (0...7)", kPointMarkers, &LC::pointMarkerType},
    {1001, DialogControl::CheckBox, "V&isible", kNodeMarkers, &LC::displaySpecialNodeMarkers},
    {1010, DialogControl::Edit, "Size (1...99)", kNodeMarkers, &LC::specialNodeMarkerSize},
    {1011, DialogControl::Edit, "Color (1...16)", kNodeMarkers, &LC::specialNodeMarkerColor},
    {1012, DialogControl::Edit, "Type (0...7)", kNodeMarkers, &LC::specialNodeMarkerType},
};
const OptionMember kMarkerChecks[] = {&LC::pointMarkerSize,       &LC::pointMarkerColor,       &LC::pointMarkerType,
                                     &LC::specialNodeMarkerSize, &LC::specialNodeMarkerColor, &LC::specialNodeMarkerType};

constexpr const char* kPointNumbers = "Point numbers of the current layer";
constexpr const char* kNodeNumbers = "El. node numbers of the current layer";
constexpr const char* kElementNumbers = "Element numbers of the current layer";
constexpr const char* kSpecialNumbers = "Sp. node numbers of the current layer";
const LayerPropertyField kNumberFields[] = {
    {1020, DialogControl::CheckBox, "&Visible", kPointNumbers, &LC::displayPointNumbers},
    {1018, DialogControl::Edit, "Size (1...99)", kPointNumbers, &LC::pointNumberSize},
    {1019, DialogControl::Edit, "Color (1...16)", kPointNumbers, &LC::pointNumberColor},
    {1021, DialogControl::CheckBox, "V&isible", kNodeNumbers, &LC::displayElementNodeNumbers},
    {1022, DialogControl::Edit, "Size (1...99)", kNodeNumbers, &LC::elementNodeNumberSize},
    {1023, DialogControl::Edit, "Color (1...16)", kNodeNumbers, &LC::elementNodeNumberColor},
    {1024, DialogControl::CheckBox, "Vi&sible", kElementNumbers, &LC::displayElementNumbers},
    {1025, DialogControl::Edit, "Size (1...99)", kElementNumbers, &LC::elementNumberSize},
    {1026, DialogControl::Edit, "Color (1...16)", kElementNumbers, &LC::elementNumberColor},
    {1027, DialogControl::CheckBox, "Visi&ble", kSpecialNumbers, &LC::displaySpecialNodeNumbers},
    {1028, DialogControl::Edit, "Size (1...99)", kSpecialNumbers, &LC::specialNodeNumberSize},
    {1029, DialogControl::Edit, "Color (1...16)", kSpecialNumbers, &LC::specialNodeNumberColor},
};
const OptionMember kNumberChecks[] = {
    &LC::pointNumberSize,   &LC::pointNumberColor,   &LC::elementNodeNumberSize, &LC::elementNodeNumberColor,
    &LC::elementNumberSize, &LC::elementNumberColor, &LC::specialNodeNumberSize, &LC::specialNodeNumberColor};

const char* const kColorHelp =
    "1 - Black\n2 - Red\n3 - Green\n4 - Blue\n5 - Cyan\n6 - Magenta\n7 - Yellow\n8 - Dark Red\n9 - Dark Green\n"
    "10 - Dark Blue\n11 - Dark Cyan\n12 - Dark Magenta\n13 - Dark Yellow\n14 - Dark Gray\n15 - Light Gray\n16 - White";

void showHelp(int helpId) {
  DialogModel d;
  if (helpId == 1034) {
    d = makeTextDialog("Help - Line Options", {{"Thickness", "Value in pixels"},
                                                {"Color", kColorHelp},
                                                {"Type", "0 - Solid\n1 - Dash\n2 - Dot\n3 - Dash Dot\n4 - Dash Dot Dot"}});
  } else if (helpId == 1035) {
    d = makeTextDialog("Help - Marker Options",
                       {{"Size", "Value in pixels"},
                        {"Color", kColorHelp},
                        {"Type", "0 - Dot\n1 - Hollow Circle\n2 - Filled Circle\n3 - Cross\n4 - Star\n5 - Triangle\n"
                                 "6 - Hollow Square\n7 - Filled Square"}});
  } else {
    d = makeTextDialog("Help - Number Options", {{"Size", "Value in pixels"}, {"Color", kColorHelp}});
  }
  ui().runDialog(d);
}

std::string fieldText(const LayerPropertyField& f, std::int32_t value) {
  return f.kind == DialogControl::CheckBox ? (value ? "1" : "0") : format("%d", value);
}

// The tests of a property dialog: each edit's range and message from the options' table.
std::vector<IntegerField> integerChecks(const LayerPropertyDialog& layout) {
  std::vector<IntegerField> checks;
  for (OptionMember member : layout.checks) {
    const LC::RecordField* option = LC::field(member);
    for (const LayerPropertyField& f : layout.fields)
      if (f.member == member) checks.push_back({f.id, option->lo, option->hi, option->dialogMessage});
  }
  return checks;
}

DialogModel layerDialogModel(const LayerPropertyDialog& layout, const LC& c, const std::string& currentLayer) {
  DialogModel d;
  d.title = layout.title;
  d.fields.push_back({layout.currentLayerId, DialogControl::ReadOnlyEdit, "Current layer:", "", currentLayer, {}});
  for (const LayerPropertyField& f : layout.fields)
    d.fields.push_back({f.id, f.kind, f.label, f.group, fieldText(f, c.*f.member), {}});
  d.buttons = {{kDefaultButton, "&Default", ""}, {layout.helpId, "&Help", ""}};
  d.onButton = [&layout](DialogModel& m, int id) {
    if (id == kDefaultButton) {
      for (const LayerPropertyField& f : layout.fields) m.field(f.id)->text = fieldText(f, LC::field(f.member)->defaultValue);
    } else if (id == layout.helpId) {
      showHelp(layout.helpId);
    }
  };
  return d;
}

const LayerPropertyDialog kLineDialog{"Change Line Properties", 1031, 1034, "Help - Line Options", kLineFields, kLineChecks};
const LayerPropertyDialog kMarkerDialog{"Change Marker Properties", 1021, 1035, "Help - Marker Options", kMarkerFields,
                                kMarkerChecks};
const LayerPropertyDialog kNumberDialog{"Change Number Properties", 1030, 1036, "Help - Number Options", kNumberFields,
                                kNumberChecks};

// The marker dialog's read-only edit shares id 1021 with nothing else there;
// the number dialog's check box 1021 and read-only 1030 are distinct too.

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool startsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

}  // namespace

// Runs one of the three property dialogs on the current layer.
static bool runLayerPropertyDialog(const LayerPropertyDialog& layout, LC& layer, const std::string& currentLayer) {
  DialogModel d = layerDialogModel(layout, layer, currentLayer);
  const std::vector<IntegerField> checks = integerChecks(layout);
  if (!runDialogLoop(d, [&](const DialogModel& m) { return checkIntegers(m, checks); })) return false;
  for (const LayerPropertyField& f : layout.fields)
    layer.*f.member = f.kind == DialogControl::CheckBox ? (d.checked(f.id) ? 1 : 0) : toInteger(d.text(f.id));
  return true;
}

// The three property dialogs: the current layer's options edited as a copy
// that replaces them only when every value passed.
bool CKavrilonView::editLayerProperties(const LayerPropertyDialog& layout) {
  LC edited = std::as_const(m_options).layer(m_currentLayer);
  if (!runLayerPropertyDialog(layout, edited, format("%d - ", m_currentLayer) + m_mesh.layerName(m_currentLayer))) return false;
  if (&layout == &kLineDialog && edited.lineThickness > 1 && edited.lineType > 0)
    ui().messageBox(
        "WARNING\nWhen the thickness is greater than one,\nlines with a non solid line type are\ndisplayed as solid "
        "lines.");
  m_options.layer(m_currentLayer) = edited;
  repaint();
  return true;
}

void CKavrilonView::OnLineProperties() { editLayerProperties(kLineDialog); }
void CKavrilonView::OnMarkerProperties() { editLayerProperties(kMarkerDialog); }
void CKavrilonView::OnNumberProperties() { editLayerProperties(kNumberDialog); }

void CKavrilonView::OnRenderingOptions() {
  DialogModel d;
  d.title = "Rendering Options";
  d.fields = {{1050, DialogControl::Edit, "Number of divisions [1,20]", "", format("%d", m_options.numberOfDivisions), {}},
              {1055, DialogControl::CheckBox, "Overprint mesh", "", m_options.overprintMesh ? "1" : "0", {}}};
  d.buttons = {{kDefaultButton, "&Default", ""}};
  d.onButton = [](DialogModel& m, int id) {
    if (id != kDefaultButton) return;
    m.field(1050)->text = "3";
    m.field(1055)->text = "1";
  };
  static const IntegerField kChecks[] = {{1050, 1, 20, "ERROR\nThe number of divisions must be\nin the range [1,20]."}};
  if (!runDialogLoop(d, [](const DialogModel& m) { return checkIntegers(m, kChecks); })) return;
  m_options.setNumberOfDivisions(toInteger(d.text(1050)));
  m_options.overprintMesh = d.checked(1055) ? 1 : 0;
  repaint();
}

void CKavrilonView::OnDisplayOptions() {
  DialogModel d;
  d.title = "Change Display Options";
  d.fields = {{1062, DialogControl::CheckBox, "Locate auxiliary bars in the visible area", "",
               m_barsInVisibleArea ? "1" : "0", {}}};
  d.buttons = {{kDefaultButton, "&Default", ""}};
  d.onButton = [](DialogModel& m, int id) {
    if (id == kDefaultButton) m.field(1062)->text = "1";
  };
  if (!runDialogLoop(d, nullptr)) return;
  m_barsInVisibleArea = d.checked(1062) ? 1 : 0;
  repaint();
}

bool CKavrilonView::OnSetViewAngles() {
  const auto degrees = F_DisplayOptions::radiansToDegrees;
  DialogModel d;
  d.title = "Set View Angles";
  d.fields = {{1038, DialogControl::Edit, "Phi (Degrees)", "", format("%.5lf", degrees(m_options.phi)), {}},
              {1039, DialogControl::Edit, "Psi (Degrees)", "", format("%.5lf", degrees(m_options.psi)), {}},
              {1040, DialogControl::Edit, "Alpha (Degrees)", "", format("%.5lf", degrees(m_options.alpha)), {}}};
  d.buttons = {{1042, "X Y", "Orthogonal views"},
               {1043, "Y Z", "Orthogonal views"},
               {1044, "X Z", "Orthogonal views"},
               {kDefaultButton, "&Default", ""}};
  d.onButton = [](DialogModel& m, int id) {
    const char* phi = id == 1042 || id == 1044 ? "-90.0" : "0.0";
    const char* psi = id == 1042 ? "-90.0" : "0.0";
    if (id != 1042 && id != 1043 && id != 1044 && id != kDefaultButton) return;
    m.field(1038)->text = phi;
    m.field(1039)->text = psi;
    m.field(1040)->text = "0.0";
  };
  static const char* const kRangeMessages[] = {"ERROR\nPhi angle must be in the range ]-180,180] (degrees).",
                                               "ERROR\nPsi angle must be in the range ]-180,180] (degrees).",
                                               "ERROR\nAlpha angle must be in the range ]-180,180] (degrees)."};
  double radians[3] = {0, 0, 0};
  const bool ok = runDialogLoop(d, [&](const DialogModel& m) -> std::optional<std::string> {
    std::string message;
    for (int id = 1038; id <= 1040; ++id)
      if (!isReal(m.text(id), message)) return message;
    for (int i = 0; i < 3; ++i) {
      radians[i] = F_DisplayOptions::degreesToRadians(toReal(m.text(1038 + i)));
      if (!(radians[i] >= 1e-8 - F_DisplayOptions::kPi && radians[i] <= F_DisplayOptions::kPi + 1e-8))
        return std::string(kRangeMessages[i]);
    }
    return std::nullopt;
  });
  if (!ok) return false;
  setViewAngles(radians[0], radians[1], radians[2]);
  return true;
}

void CKavrilonView::OnSetViewMargins() {
  constexpr const char* kLabel = "%  [1, 100]";
  DialogModel d;
  d.title = "Set View Margins";
  d.fields = {{1057, DialogControl::Edit, kLabel, "Object: left", format("%d", m_options.minX1), {}},
              {1058, DialogControl::Edit, kLabel, "Object: right", format("%d", m_options.maxX1), {}},
              {1059, DialogControl::Edit, kLabel, "Object: below", format("%d", m_options.minX2), {}},
              {1056, DialogControl::Edit, kLabel, "Object: above", format("%d", m_options.maxX2), {}}};
  d.buttons = {{kDefaultButton, "&Default", ""}};
  d.onButton = [](DialogModel& m, int id) {
    if (id != kDefaultButton) return;
    m.field(1057)->text = "4";
    m.field(1058)->text = "8";
    m.field(1059)->text = "6";
    m.field(1056)->text = "18";
  };
  constexpr const char* kMessage = "ERROR\nAll margins must be integers in the range [1,100].";
  static const IntegerField kChecks[] = {
      {1057, 1, 100, kMessage}, {1058, 1, 100, kMessage}, {1059, 1, 100, kMessage}, {1056, 1, 100, kMessage}};
  if (!runDialogLoop(d, [](const DialogModel& m) { return checkIntegers(m, kChecks); })) return;
  m_options.setMargins(toInteger(d.text(1057)), toInteger(d.text(1058)), toInteger(d.text(1059)),
                       toInteger(d.text(1056)));
  refit();
}

void CKavrilonView::OnJumpToLayer() {
  const int n = m_mesh.layerCount();
  if (n == 0) return;
  auto entry = [&](int i) { return format("%d - ", i) + trimmed(m_mesh.layerName(i)); };
  DialogModel d;
  d.title = "Jump to Layer";
  DialogField list{1037, DialogControl::List, "Select one of the following layers:", "", "", {}};
  for (int i = 1; i <= n; ++i) list.items.push_back(entry(i));
  const std::string selection = entry(m_currentLayer);
  for (const std::string& item : list.items) {
    if (startsWithIgnoringCase(item, selection)) {
      list.text = item;
      break;
    }
  }
  d.fields.push_back(std::move(list));
  if (!runDialogLoop(d, nullptr)) return;
  for (int i = 1; i <= n; ++i) {
    if (d.text(1037) == entry(i)) {
      setCurrentLayer(i);
      return;
    }
  }
  internalError("KavrilonView_Command", 1);
}

void CKavrilonView::OnSetAsDefault() {
  doc_.setDefaultOptions(m_options);
  ui().messageBox("Layout of the current view successfully copied to the document.");
}

void CKavrilonView::OnImportDisplayOptions() {
  FileDialogOptions dialog;
  dialog.defaultExtension = "cfg";
  dialog.initialName = "*.cfg";
  dialog.filter = "Kavrilon Configuration File (*.cfg)|*.cfg|All Files (*.*)|*.*||";
  const std::optional<std::string> path = ui().openFileDialog(dialog);
  if (path) importDisplayOptions(*path);
}

bool CKavrilonView::importDisplayOptions(const std::string& path) {
  WaitCursor wait;
  F_DisplayOptions read;
  if (!read.readCfgFile(path)) return false;
  if (!m_options.applyReadOptions(read, doc_.mesh.layerCount())) return false;
  refit();
  return true;
}

void CKavrilonView::OnExportDisplayOptions() {
  FileDialogOptions dialog;
  dialog.defaultExtension = "cfg";
  dialog.initialName = "*.cfg";
  dialog.filter = "Kavrilon Configuration File (*.cfg)|*.cfg||";
  dialog.promptOverwrite = true;
  const std::optional<std::string> path = ui().saveFileDialog(dialog);
  if (path) {
    WaitCursor wait;
    m_options.writeCfgFile(*path);
  }
}

void CKavrilonView::OnKeyboardCommands() {
  DialogModel d;
  d.title = "Keyboard Commands";
  d.okOnly = true;
  for (const TypedCommand& t : typedCommands()) {
    d.fields.push_back({0, DialogControl::Label, t.letters, "", t.meaning, {}});
  }
  d.fields.push_back({0, DialogControl::Label, "Space or Return", "", "- Refresh", {}});
  ui().runDialog(d);
}
