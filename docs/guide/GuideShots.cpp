// Takes the user guide's pictures with the desktop program itself: the same
// main frame, views and dialogs a user sees, driven through the view's
// commands and typed characters, saved as PNG files.
//
//   kavrilon-guide-shots OUTPUT_DIR   (run with QT_QPA_PLATFORM=offscreen)

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QAction>

#include "app/CKavrilonView.h"
#include "gui/CChildFrame.h"
#include "gui/CMainFrame.h"
#include "gui/ModelDialog.h"
#include "gui/ViewWidget.h"
#include "platform/headless/HeadlessUi.h"

namespace {

QString g_out;
const QString kExamples = QStringLiteral(KAVRILON_SOURCE_DIR "/examples/");
const QString kGuide = QStringLiteral(KAVRILON_SOURCE_DIR "/docs/guide/");

void settle() {
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
}

void save(QWidget& w, const QString& name) {
  settle();
  w.grab().save(g_out + "/" + name + ".png");
}

// Answers like HeadlessUi, but shows each dialog, photographs it and cancels it.
class ShotUi : public HeadlessUi {
 public:
  ShotUi() : HeadlessUi(nullptr) {}
  QString nextDialogName;
  bool runDialog(DialogModel& model) override {
    ModelDialog dialog(model);
    dialog.show();
    if (!nextDialogName.isEmpty()) save(dialog, nextDialogName);
    nextDialogName.clear();
    return false;
  }
};

void type(CMainFrame& frame, const char* letters) {
  for (const char* c = letters; *c; ++c) frame.activeView()->OnTypedCharacter(*c);
  frame.updateCommandState();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(g_out);
  ShotUi ui;
  installUiServices(&ui);

  CMainFrame frame;
  frame.resize(1100, 760);
  frame.show();
  settle();

  frame.newDocument();
  save(frame, "empty-document");
  frame.activeChild()->close();
  settle();

  frame.openDocument(kExamples + "plate.b3d");
  save(frame, "line-mode");

  frame.openDocument(kExamples + "dome.b3d");
  frame.activeView()->execute(cmd::kShading);
  save(frame, "shading");

  ui.queueFile((kExamples + "dome.pva").toStdString());
  frame.activeView()->execute(cmd::kImportPva);
  save(frame, "contour-fill");

  frame.activeView()->execute(cmd::kChangeViewPoint);
  save(frame, "rotation-cube");
  frame.activeView()->execute(cmd::kChangeViewPoint);

  ui.nextDialogName = "dialog-lines";
  frame.activeView()->execute(cmd::kLineProperties);
  ui.nextDialogName = "dialog-pva-options";
  frame.activeView()->execute(cmd::kPvaOptions);
  ui.nextDialogName = "dialog-keyboard-commands";
  frame.activeView()->execute(cmd::kKeyboardCommands);

  // Two windows onto one document, each with options of its own.
  for (QMdiSubWindow* w : frame.mdiArea()->subWindowList()) w->close();
  settle();
  frame.openDocument(kExamples + "layers.b3d");
  frame.newWindow();
  type(frame, "XY");
  type(frame, "NL");
  for (QAction* a : frame.findChildren<QAction*>())
    if (a->text() == "&Tile Vertically") a->trigger();
  save(frame, "two-windows-tiled");
  for (QMdiSubWindow* w : frame.mdiArea()->subWindowList()) w->close();
  settle();

  // Node numbering of every element kind, and an open against a closed outline.
  for (const char* mesh : {"elements", "outline"}) {
    ui.queueAnswer(false);
    frame.importIntoNewDocument(kGuide + mesh + ".s3d");
    frame.activeView()->execute(cmd::kViewXY);
    type(frame, "NN");
    type(frame, "MP");
    // The picture alone, without the axis triad of the window.
    frame.activeChild()->viewWidget().windowImage().save(g_out + "/" + mesh + ".png");
    frame.activeChild()->document().doc.SetModifiedFlag(false);  // no question when it closes
    frame.activeChild()->close();
    settle();
  }
  return 0;
}
