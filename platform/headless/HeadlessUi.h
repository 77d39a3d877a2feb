#pragma once
// UiServices without a window: every box is written as one line
// ("message: ...", "question: ...", "beep") and answers come from queues.

#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/UiServices.h"

class HeadlessUi : public UiServices {
 public:
  // `out` receives the printed lines; nullptr records without printing.
  explicit HeadlessUi(std::ostream* out);

  void messageBox(std::string_view text, MessageIcon icon = MessageIcon::None) override;
  bool askYesNo(std::string_view text) override;
  void beep() override;
  void beginWaitCursor() override { ++waitDepth_; }
  void endWaitCursor() override { --waitDepth_; }
  std::optional<std::string> openFileDialog(const FileDialogOptions& dialog) override;
  std::optional<std::string> saveFileDialog(const FileDialogOptions& dialog) override;
  // Prints "dialog: TITLE ID=TEXT..." and plays the next queued actions;
  // with none queued the dialog is cancelled.
  bool runDialog(DialogModel& dialog) override;

  // Answers for the next question boxes; with none queued a question is answered Yes.
  void queueAnswer(bool yes) { answers_.push_back(yes); }
  // Results of the next file dialogs; with none queued a dialog is cancelled.
  void queueFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
  // The user's actions in the next dialog: "ID=TEXT" sets an edit or check
  // box, or picks entry TEXT (from 1) of a list; a bare "ID" presses button
  // ID, 1 (OK) and 2 (Cancel) closing it.
  void queueDialog(std::vector<std::string> actions) { dialogs_.push_back(std::move(actions)); }
  // Whether a dialog prints its "dialog: " line when shown (on by default).
  void setEchoDialogs(bool echo) { echoDialogs_ = echo; }

  // Everything shown so far, as printed ("message: ..." etc.).
  const std::vector<std::string>& lines() const { return lines_; }
  // The texts of the message boxes shown so far, unescaped.
  const std::vector<std::string>& messages() const { return messages_; }
  void clear();
  int waitDepth() const { return waitDepth_; }

  // "message: " escaping: NewLine as \n, backslash as \\.
  static std::string escape(std::string_view text);

 private:
  void printLine(std::string line);

  std::ostream* out_;
  std::deque<bool> answers_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::vector<std::string>> dialogs_;
  bool echoDialogs_ = true;
  std::vector<std::string> lines_;
  std::vector<std::string> messages_;
  int waitDepth_ = 0;
};
