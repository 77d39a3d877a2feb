#pragma once
// One document and one headless view of it, as a new window would show it:
// what kavrilon-cli render and script drive. The session turns script lines
// into the window events, commands and dialog answers they stand for.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CKavrilonDoc.h"
#include "app/CKavrilonView.h"
#include "platform/headless/HeadlessUi.h"
#include "platform/headless/HeadlessViewHost.h"
#include "platform/raster/RasterDC.h"

// One parsed script line.
struct ScriptEvent {
  enum class Kind {
    Resize, Char, Key, Down, Move, Up, KillFocus, Command, Dialog, Answer, File, Paint, PrintState, PrintUi, Export
  };
  int line = 0;
  Kind kind = Kind::Paint;
  int x = 0, y = 0;  // resize W H, mouse X Y; command ID in x
  char ch = 0;
  ViewKey key = ViewKey::Space;
  MouseButtons buttons;
  bool yes = true;
  std::optional<std::string> text;  // file PATH (nullopt: cancel), export PATH
  std::vector<std::string> actions;  // dialog tokens
};

// The whole script, or the number and reason of the first line that cannot be parsed.
struct ParsedScript {
  std::vector<ScriptEvent> events;
  int errorLine = 0;
  std::string error;
};
ParsedScript parseScript(const std::string& text);

class Session {
 public:
  // `ui` is the installed headless UiServices that prints to the output.
  Session(HeadlessUi& ui, int clientWidth, int clientHeight);

  CKavrilonDoc& document() { return doc_; }
  // The first update of the new window; call once the document holds its mesh.
  void open();
  CKavrilonView& view() { return *view_; }

  // Plays one event; false when the script cannot go on (an export that failed).
  bool play(const ScriptEvent& e, std::ostream& out);
  // A paint of the whole window; a render that fell back to line mode asks
  // for one more, as the window would.
  void paint();
  // Export View Image to `path` (.bmp, or .png for the same pixels).
  bool exportImage(const std::string& path);

 private:
  HeadlessUi& ui_;
  CKavrilonDoc doc_;
  HeadlessViewHost host_;
  std::unique_ptr<RasterDC> window_;
  std::unique_ptr<CKavrilonView> view_;
};

// Reads a script file; nullopt when it cannot be read.
std::optional<std::string> readScriptFile(const std::string& path);
