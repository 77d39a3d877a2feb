#include "app/DialogLoop.h"

#include "include/F_WordReader.h"
#include "platform/UiServices.h"

bool runDialogLoop(DialogModel& dialog, const DialogCheck& check) {
  for (;;) {
    if (!ui().runDialog(dialog)) return false;
    const std::optional<std::string> refused = check ? check(dialog) : std::nullopt;
    if (!refused) return true;
    ui().messageBox(*refused);
  }
}

std::optional<std::string> checkIntegers(const DialogModel& dialog, std::span<const IntegerField> fields) {
  std::string message;
  for (const IntegerField& f : fields)
    if (!isInteger(dialog.text(f.id), message)) return message;
  for (const IntegerField& f : fields) {
    const int v = toInteger(dialog.text(f.id));
    if (v < f.lo || v > f.hi) return std::string(f.rangeMessage);
  }
  return std::nullopt;
}

DialogModel makeTextDialog(std::string title, std::initializer_list<std::pair<const char*, const char*>> groupAndText) {
  DialogModel d;
  d.title = std::move(title);
  d.okOnly = true;
  for (const auto& [group, text] : groupAndText) {
    DialogField f;
    f.kind = DialogControl::Label;
    f.group = group;
    f.text = text;
    d.fields.push_back(std::move(f));
  }
  return d;
}
