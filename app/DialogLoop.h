#pragma once
// The one loop every option dialog runs: show it through ui(), test the
// user's texts, show the first refusal and the dialog again with the texts
// as the user left them, until they pass or the dialog is cancelled.

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/DialogModel.h"

// The first refusal of a dialog's texts, or nothing when they may be stored.
using DialogCheck = std::function<std::optional<std::string>(const DialogModel&)>;

// True when the texts passed and may be stored; false after Cancel.
bool runDialogLoop(DialogModel& dialog, const DialogCheck& check);

// An integer edit and its range: every text is first tested as an integer in
// the order given, then every value against its range in the same order.
struct IntegerField {
  int id;
  int lo, hi;
  const char* rangeMessage;
};
std::optional<std::string> checkIntegers(const DialogModel& dialog, std::span<const IntegerField> fields);

// The read-only text "Help - ..." dialogs and other tables: OK only.
DialogModel makeTextDialog(std::string title, std::initializer_list<std::pair<const char*, const char*>> groupAndText);
