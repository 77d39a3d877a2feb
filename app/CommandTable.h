#pragma once
// Every command a menu item, toolbar button or accelerator can give, as one
// table: its id, texts, accelerator, toolbar, handler and the rules that
// enable it and put a check mark on it. Front ends never decide either: the
// desktop shell builds its actions from these rows and asks the view's
// state(id); kavrilon-cli and the scripts run execute(id); the two-letter
// commands and the Keyboard Commands list read the same rows.

#include <span>
#include <string>

class CKavrilonView;

namespace cmd {
// Document commands (answered in any view of the document).
constexpr int kImportFile = 32771;
constexpr int kExportFile = 32780;
constexpr int kKeyboardCommands = 32784;
// View commands.
constexpr int kZoom = 32772;
constexpr int kZoomAll = 32773;
constexpr int kLineProperties = 32774;
constexpr int kMarkerProperties = 32775;
constexpr int kNumberProperties = 32776;
constexpr int kExportDisplayOptions = 32777;
constexpr int kJumpToLayer = 32778;
constexpr int kImportDisplayOptions = 32779;
constexpr int kChangeViewPoint = 32781;
constexpr int kSetViewAngles = 32782;
constexpr int kSetAsDefault = 32783;
constexpr int kZoomPrevious = 32785;
constexpr int kShading = 32786;
constexpr int kImportPva = 32787;
constexpr int kRemovePva = 32788;
constexpr int kPvaOptions = 32789;
constexpr int kRenderingOptions = 32790;
constexpr int kSetViewMargins = 32791;
constexpr int kDisplayOptions = 32792;
constexpr int kViewXY = 32802;
constexpr int kViewYZ = 32806;
constexpr int kViewXZ = 32807;
constexpr int kShrinkElements = 32809;
constexpr int kDecreasePhi = 32810;
constexpr int kIncreasePhi = 32811;
constexpr int kIncreasePsi = 32812;
constexpr int kDecreasePsi = 32813;
constexpr int kZoomIn = 32814;
constexpr int kZoomOut = 32815;
constexpr int kOverprintMesh = 32819;
constexpr int kBarsInVisibleArea = 32820;
constexpr int kLines = 32824;
constexpr int kPointMarkers = 32825;
constexpr int kSpecialNodeMarkers = 32826;
constexpr int kPointNumbers = 32830;
constexpr int kElementNodeNumbers = 32831;
constexpr int kElementNumbers = 32832;
constexpr int kSpecialNodeNumbers = 32833;
constexpr int kNextLayer = 32834;
constexpr int kLayerVisible = 32836;
constexpr int kPreviousLayer = 32838;
constexpr int kExportViewImage = 32843;
constexpr int kAllLayersOff = 32845;
constexpr int kAllLayersOn = 32846;
// Main-frame commands: the toolbar toggles of the View > Toolbars menu.
constexpr int kToggleDisplayToolbar = 32839;
constexpr int kToggleRenderingToolbar = 32840;
constexpr int kToggleDecorationToolbar = 32841;
constexpr int kToggleLayerToolbar = 32842;
// The application framework's own commands, which the desktop shell answers.
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileClose = 57602;
constexpr int kFileSave = 57603;
constexpr int kFileSaveAs = 57604;
constexpr int kFilePrintSetup = 57606;
constexpr int kFilePrint = 57607;
constexpr int kFilePrintPreview = 57609;
constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;
constexpr int kHelpTopics = 57667;
constexpr int kContextHelp = 57670;
constexpr int kSeparator = 0;
}  // namespace cmd

enum class Toolbar { None, Standard, Display, Rendering, Decoration, Layer };

struct CommandState {
  bool enabled = false;
  bool checked = false;
  bool operator==(const CommandState&) const = default;
};

struct CommandRow {
  int id;
  const char* key;          // stable short name, e.g. "zoom-in" (icon file names, listings)
  const char* menuText;     // "&Zoom\tz"; nullptr for toolbar-only commands
  const char* prompt;       // status-bar prompt, NewLine, tool tip
  const char* accelerator;  // "z", "Ctrl+E", "Ctrl+Shift+I"; nullptr for none
  Toolbar toolbar;
  bool documentCommand;     // answered by the document rather than the view
  void (*run)(CKavrilonView& view);
  CommandState (*state)(const CKavrilonView& view);
};

// Every command the view or its document answers, in id order.
std::span<const CommandRow> commandTable();
// nullptr for an id that is not in the table.
const CommandRow* findCommand(int id);
// The row whose accelerator is the typed character `ch` (plain lower-case
// letters only); nullptr for none.
const CommandRow* findAccelerator(char ch);
// The two lines of a row's prompt.
std::string statusPrompt(const CommandRow& row);
std::string toolTip(const CommandRow& row);

// The buttons of a toolbar from left to right (cmd::kSeparator for a gap),
// framework commands included; and the toolbar's title.
std::span<const int> toolbarButtons(Toolbar bar);
const char* toolbarName(Toolbar bar);

// The two-letter commands typed over the view, in the order they are tried.
struct TypedCommand {
  char letters[3];
  const char* meaning;  // as the Keyboard Commands list shows it
  int commandId;        // the command it runs
  bool refusedInViewPointMode;
};
std::span<const TypedCommand> typedCommands();
