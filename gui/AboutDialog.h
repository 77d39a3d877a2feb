#pragma once
// About kavrilon: the program's icon, name, purpose and version, and OK.

#include <QDialog>

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};
