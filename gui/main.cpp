// kavrilon: the desktop viewer.

#include <QApplication>

#include "gui/CKavrilonApp.h"

int main(int argc, char* argv[]) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName(CKavrilonApp::kApplicationName);
  QApplication::setDesktopFileName("kavrilon");
  CKavrilonApp app;
  if (!app.InitInstance(QApplication::arguments())) return 1;
  return QApplication::exec();
}
