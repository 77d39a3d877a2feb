#include "platform/headless/HeadlessUi.h"

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
