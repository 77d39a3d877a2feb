#pragma once
// A modal dialog without widgets: a title, a table of controls with their
// texts, and the buttons beside OK and Cancel. The program fills the texts,
// UiServices shows the dialog (Qt widgets on the desktop, a queue of answers
// headless) and hands it back with the user's texts; buttons other than OK
// and Cancel (Default, the presets, Help) run `onButton` while the dialog
// stays open. Tests of the values belong to the command that opened it.

#include <functional>
#include <string>
#include <vector>

enum class DialogControl {
  Edit,          // text the user may change
  ReadOnlyEdit,  // a value shown, not changeable
  CheckBox,      // text "1" or "0"
  List,          // `items` to choose from; text is the chosen item
  Label,         // static text (help and keyboard tables); no id needed
};

struct DialogField {
  int id = 0;               // control id; 0 for static labels
  DialogControl kind = DialogControl::Edit;
  std::string label;        // "Thickness (1...99)"; may contain '&'
  std::string group;        // the group box it sits in, or empty
  std::string text;         // the value as the control shows it
  std::vector<std::string> items;  // List only
};

struct DialogButton {
  int id = 0;
  std::string label;  // "&Default", "X Y", "&Help"
  std::string group;  // group box, or empty
};

class DialogModel {
 public:
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;

  std::string title;
  std::vector<DialogField> fields;    // in the order they are laid out
  std::vector<DialogButton> buttons;  // beside OK (and Cancel unless okOnly)
  bool okOnly = false;                // help and keyboard tables: OK only
  // A button other than OK or Cancel was pressed; the dialog stays open.
  std::function<void(DialogModel&, int id)> onButton;

  // nullptr for an unknown id.
  DialogField* field(int id) {
    for (auto& f : fields)
      if (f.id == id && f.kind != DialogControl::Label) return &f;
    return nullptr;
  }
  const DialogField* field(int id) const { return const_cast<DialogModel*>(this)->field(id); }
  const std::string& text(int id) const {
    static const std::string none;
    const DialogField* f = field(id);
    return f ? f->text : none;
  }
  bool checked(int id) const { return text(id) == "1"; }
  // What a user can do to a control: false for read-only, static or unknown ones.
  bool setText(int id, const std::string& value) {
    DialogField* f = field(id);
    if (!f || f->kind == DialogControl::ReadOnlyEdit) return false;
    if (f->kind == DialogControl::CheckBox && value != "0" && value != "1") return false;
    f->text = value;
    return true;
  }
  void press(int id) {
    if (onButton) onButton(*this, id);
  }
  bool hasButton(int id) const {
    for (const auto& b : buttons)
      if (b.id == id) return true;
    return false;
  }
};
