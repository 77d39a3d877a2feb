#include "platform/headless/HeadlessUi.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

HeadlessUi::HeadlessUi(std::ostream* out) : out_(out) {}

std::string HeadlessUi::escape(std::string_view text) {
  std::string s;
  s.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') {
      s += "\\n";
    } else if (c == '\\') {
      s += "\\\\";
    } else {
      s += c;
    }
  }
  return s;
}

void HeadlessUi::printLine(std::string line) {
  if (out_) {
    *out_ << line << '\n';
    out_->flush();
  }
  lines_.push_back(std::move(line));
}

void HeadlessUi::messageBox(std::string_view text, MessageIcon) {
  messages_.emplace_back(text);
  printLine("message: " + escape(text));
}

bool HeadlessUi::askYesNo(std::string_view text) {
  printLine("question: " + escape(text));
  if (answers_.empty()) return true;
  bool yes = answers_.front();
  answers_.pop_front();
  return yes;
}

void HeadlessUi::beep() { printLine("beep"); }

std::optional<std::string> HeadlessUi::openFileDialog(const FileDialogOptions&) {
  if (files_.empty()) return std::nullopt;
  auto path = files_.front();
  files_.pop_front();
  return path;
}

std::optional<std::string> HeadlessUi::saveFileDialog(const FileDialogOptions& dialog) {
  return openFileDialog(dialog);
}

void HeadlessUi::clear() {
  lines_.clear();
  messages_.clear();
}

bool HeadlessUi::runDialog(DialogModel& dialog) {
  std::vector<const DialogField*> shown;
  for (const auto& f : dialog.fields)
    if (f.id != 0 && f.kind != DialogControl::Label) shown.push_back(&f);
  std::stable_sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->id < b->id; });
  std::string line = "dialog: " + dialog.title;
  for (const DialogField* f : shown) line += " " + std::to_string(f->id) + "=" + escape(f->text);
  if (echoDialogs_) printLine(std::move(line));
  if (dialogs_.empty()) return false;
  const std::vector<std::string> actions = std::move(dialogs_.front());
  dialogs_.pop_front();
  for (const std::string& a : actions) {
    const auto eq = a.find('=');
    const int id = std::atoi(a.substr(0, eq).c_str());
    if (eq == std::string::npos) {
      if (id == DialogModel::kOk) return true;
      if (id == DialogModel::kCancel) return false;
      dialog.press(id);
      continue;
    }
    const std::string value = a.substr(eq + 1);
    DialogField* f = dialog.field(id);
    if (f && f->kind == DialogControl::List) {
      const int k = std::atoi(value.c_str());
      if (k >= 1 && k <= static_cast<int>(f->items.size())) f->text = f->items[static_cast<std::size_t>(k - 1)];
    } else {
      dialog.setText(id, value);
    }
  }
  return false;  // a queue that does not close the dialog leaves it cancelled
}
