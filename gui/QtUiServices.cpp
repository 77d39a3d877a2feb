#include "gui/QtUiServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "gui/ModelDialog.h"

namespace {
const char* const kBoxTitle = "kavrilon";

QWidget* dialogParent(QWidget* parent) { return parent ? parent : QApplication::activeWindow(); }
}  // namespace

void QtUiServices::messageBox(std::string_view text, MessageIcon icon) {
  QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
  if (icon == MessageIcon::Exclamation) qtIcon = QMessageBox::Warning;
  if (icon == MessageIcon::Question) qtIcon = QMessageBox::Question;
  QMessageBox box(qtIcon, kBoxTitle, QString::fromUtf8(text.data(), int(text.size())), QMessageBox::Ok,
                  dialogParent(parent_));
  box.exec();
}

bool QtUiServices::askYesNo(std::string_view text) {
  QMessageBox box(QMessageBox::Question, kBoxTitle, QString::fromUtf8(text.data(), int(text.size())),
                  QMessageBox::Yes | QMessageBox::No, dialogParent(parent_));
  return box.exec() == QMessageBox::Yes;
}

void QtUiServices::beep() { QApplication::beep(); }

void QtUiServices::beginWaitCursor() {
  if (waitDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUiServices::endWaitCursor() {
  if (waitDepth_ > 0 && --waitDepth_ == 0) QApplication::restoreOverrideCursor();
}

QStringList QtUiServices::nameFilters(const std::string& filter) {
  // Pairs of display name and patterns, separated by '|', ended by "||".
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString name = parts[i];
    const int paren = name.indexOf('(');
    if (paren >= 0) name = name.left(paren).trimmed();
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    // "*.*" means every file, also those without an extension.
    for (QString& p : patterns)
      if (p.trimmed() == "*.*") p = "*";
    result << QString("%1 (%2)").arg(name, patterns.join(' '));
  }
  return result;
}

std::optional<std::string> QtUiServices::fileDialog(const FileDialogOptions& options, bool save) {
  QFileDialog dialog(dialogParent(parent_));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = nameFilters(options.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!options.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(options.defaultExtension));
  if (!options.promptOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!lastDirectory_.isEmpty()) dialog.setDirectory(lastDirectory_);
  // A name with wildcards only filters the list; a plain one is proposed.
  const QString initial = QString::fromStdString(options.initialName);
  if (!initial.isEmpty() && !initial.contains('*') && !initial.contains('?')) dialog.selectFile(initial);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().first();
  lastDirectory_ = QFileInfo(path).absolutePath();
  return path.toStdString();
}

std::optional<std::string> QtUiServices::openFileDialog(const FileDialogOptions& dialog) {
  return fileDialog(dialog, false);
}

std::optional<std::string> QtUiServices::saveFileDialog(const FileDialogOptions& dialog) {
  return fileDialog(dialog, true);
}

bool QtUiServices::runDialog(DialogModel& model) {
  ModelDialog dialog(model, dialogParent(parent_));
  return dialog.exec() == QDialog::Accepted;
}
