#pragma once
// The desktop's UiServices: Qt message boxes, file dialogs, the wait cursor and
// dialogs built from dialog models. Installed once at start-up.

#include <QString>

#include "platform/UiServices.h"

class QWidget;

class QtUiServices : public UiServices {
 public:
  // Boxes and dialogs are centred on `parent` (may be null).
  explicit QtUiServices(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  void messageBox(std::string_view text, MessageIcon icon = MessageIcon::None) override;
  bool askYesNo(std::string_view text) override;
  void beep() override;
  void beginWaitCursor() override;
  void endWaitCursor() override;
  std::optional<std::string> openFileDialog(const FileDialogOptions& dialog) override;
  std::optional<std::string> saveFileDialog(const FileDialogOptions& dialog) override;
  bool runDialog(DialogModel& dialog) override;

  // "Name (*.ext)|*.ext|All Files (*.*)|*.*||" as Qt's name filters,
  // "Name (*.ext)" and "All Files (*)".
  static QStringList nameFilters(const std::string& filter);

 private:
  std::optional<std::string> fileDialog(const FileDialogOptions& options, bool save);

  QWidget* parent_;
  QString lastDirectory_;
  int waitDepth_ = 0;
};
