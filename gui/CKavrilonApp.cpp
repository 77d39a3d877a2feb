#include "gui/CKavrilonApp.h"

#include <QScreen>

#include "gui/CChildFrame.h"
#include "gui/CMainFrame.h"

CKavrilonApp::CKavrilonApp(UiServices* services)
    : previousUi_(installUiServices(services ? services : &qtUi_)), settings_(kSettingsKey, kApplicationName) {}

CKavrilonApp::~CKavrilonApp() {
  frame_.reset();
  installUiServices(previousUi_);
}

bool CKavrilonApp::isDocumentName(const QString& name) {
  return name.right(4).toLower() == ".b3d";
}

bool CKavrilonApp::InitInstance(const QStringList& arguments) {
  // The recent-file list lives in settings_ under the settings key; the frame reads it.
  frame_ = std::make_unique<CMainFrame>(&settings_);
  qtUi_.setParent(frame_.get());

  QString file = arguments.size() > 1 ? arguments.at(1) : QString();
  if (!file.isEmpty() && !isDocumentName(file)) {
    ui().messageBox(kNotADocument);
    file.clear();
  }
  const bool started = file.isEmpty() ? frame_->newDocument() != nullptr : frame_->openDocument(file) != nullptr;
  if (!started) return false;
  // The whole screen also where no window manager maximises windows.
  if (const QScreen* screen = frame_->screen()) frame_->setGeometry(screen->availableGeometry());
  frame_->showMaximized();
  return true;
}
