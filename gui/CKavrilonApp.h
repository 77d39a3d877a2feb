#pragma once
// The application object: start-up in order (settings, main frame, the file
// named on the command line) and the program-wide services it installs.

#include <memory>

#include <QSettings>
#include <QStringList>

#include "gui/QtUiServices.h"

class CMainFrame;

class CKavrilonApp {
 public:
  static constexpr const char* kSettingsKey = "Local AppWizard-Generated Applications";
  static constexpr const char* kApplicationName = "kavrilon";
  static constexpr const char* kNotADocument = "Expecting a .b3d file.\nSpecified file will be ignored.";

  // `services` answers message boxes and dialogs; nullptr installs Qt's.
  explicit CKavrilonApp(UiServices* services = nullptr);
  ~CKavrilonApp();

  // Only a name whose last four characters are ".b3d" in any case is opened
  // from the command line; a shorter name is compared whole.
  static bool isDocumentName(const QString& name);

  // Start-up with the program's arguments (the program's name first). False
  // when the program must end: the main frame or the first document failed.
  bool InitInstance(const QStringList& arguments);
  CMainFrame* mainFrame() const { return frame_.get(); }

 private:
  QtUiServices qtUi_;
  UiServices* previousUi_;
  QSettings settings_;
  std::unique_ptr<CMainFrame> frame_;
};
