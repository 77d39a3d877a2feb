// The desktop shell as a user meets it: menus, accelerators, toolbars,
// enabling, several views, the command line and dropped files. The view's own
// behaviour is tested in tests/app; here only that the shell reaches it.

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <cmath>

#include "app/CKavrilonView.h"
#include "gui/AxisTriad.h"
#include "gui/CChildFrame.h"
#include "gui/CKavrilonApp.h"
#include "gui/CMainFrame.h"
#include "gui/ModelDialog.h"
#include "gui/QtUiServices.h"
#include "gui/ViewWidget.h"
#include "platform/headless/HeadlessUi.h"

namespace {

const QString kExamples = QStringLiteral(KAVRILON_SOURCE_DIR "/examples/");

// Records the file dialogs it is asked for, then answers as HeadlessUi does.
class RecordingUi : public HeadlessUi {
 public:
  RecordingUi() : HeadlessUi(nullptr) {}
  std::optional<std::string> openFileDialog(const FileDialogOptions& dialog) override {
    openFilters.push_back(dialog.filter);
    return HeadlessUi::openFileDialog(dialog);
  }
  std::vector<std::string> openFilters;
};

// The texts of a menu's items, "-" for a separator, hidden items left out.
QStringList itemTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* a : menu->actions()) {
    if (!a->isVisible()) continue;
    texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
  }
  return texts;
}

const QMenu* menuNamed(const QMainWindow& frame, const QString& title) {
  for (const QAction* a : frame.menuBar()->actions())
    if (a->text() == title) return a->menu();
  return nullptr;
}

QStringList menuTitles(const QMainWindow& frame) {
  QStringList titles;
  for (const QAction* a : frame.menuBar()->actions()) titles << a->text();
  return titles;
}

}  // namespace

class CMainFrameTest : public QObject {
  Q_OBJECT

 private:
  RecordingUi ui_;
  UiServices* previous_ = nullptr;
  QTemporaryDir config_;

  // A frame shown on the offscreen screen, with `file` opened when given.
  std::unique_ptr<CMainFrame> shownFrame(const QString& file = {}) {
    auto frame = std::make_unique<CMainFrame>();
    frame->resize(1000, 700);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get())) qWarning("frame not exposed");
    if (!file.isEmpty()) frame->openDocument(kExamples + file);
    QCoreApplication::processEvents();
    return frame;
  }

 private slots:
  void initTestCase() {
    // The recent-file list must not reach the user's own settings.
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    previous_ = installUiServices(&ui_);
  }
  void cleanupTestCase() { installUiServices(previous_); }
  void init() {
    ui_.clear();
    ui_.openFilters.clear();
  }

  void menusOfBothStates_data() {
    QTest::addColumn<bool>("document");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items");
    const QStringList help0 = {"&Help Topics", "-", "&About kavrilon..."};
    QTest::newRow("none: bar") << false << "" << QStringList{"&File", "&View", "&Help"};
    QTest::newRow("none: File") << false << "&File"
                                << QStringList{"&New\tCtrl+N", "&Open...\tCtrl+O", "-", "P&rint Setup...", "-",
                                               "Recent File", "-", "E&xit"};
    QTest::newRow("none: View") << false << "&View" << QStringList{"&Toolbars", "&Status Bar"};
    QTest::newRow("none: Help") << false << "&Help" << help0;
    QTest::newRow("doc: bar") << true << ""
                              << QStringList{"&File", "&View", "&PVA", "&Options", "&Tools", "&Window", "&Help"};
    QTest::newRow("doc: File") << true << "&File"
                               << QStringList{"&New\tCtrl+N",
                                              "&Open...\tCtrl+O",
                                              "&Close",
                                              "&Save\tCtrl+S",
                                              "Save &As...",
                                              "-",
                                              "&Import...\tCtrl+I",
                                              "&Export...",
                                              "Export Vie&w Image...\tCtrl+E",
                                              "-",
                                              "I&mport Display Options...",
                                              "Expor&t Display Options...",
                                              "-",
                                              "&Print...\tCtrl+P",
                                              "Print Pre&view",
                                              "P&rint Setup...",
                                              "-",
                                              "Recent File",
                                              "-",
                                              "E&xit"};
    // Axis Triad is the one item beyond the classic View menu.
    QTest::newRow("doc: View") << true << "&View"
                               << QStringList{"&Toolbars", "&Status Bar", "-", "&Zoom\tz", "Zoom &All\ta",
                                              "Zoom &Previous\tp", "-", "Change &View Point\tv",
                                              "Set View An&gles...\tg", "Set View &Margins...", "-", "S&hading\ts",
                                              "-", "A&xis Triad"};
    QTest::newRow("doc: PVA") << true << "&PVA"
                              << QStringList{"&Import...\tCtrl+Shift+I", "&Remove\tCtrl+Shift+R",
                                             "&Options...\tCtrl+Shift+O"};
    QTest::newRow("doc: Options") << true << "&Options"
                                  << QStringList{"&Display...\td", "&Lines...\tl", "&Markers...\tm", "&Numbers...\tn",
                                                 "&Rendering...\tr", "-", "Set As De&fault\tf"};
    QTest::newRow("doc: Tools") << true << "&Tools" << QStringList{"&Jump to Layer...\tj"};
    QTest::newRow("doc: Window") << true << "&Window"
                                 << QStringList{"&New Window", "&Cascade", "Tile &Horizontally", "&Tile Vertically",
                                                "&Arrange Icons"};
    QTest::newRow("doc: Help") << true << "&Help"
                               << QStringList{"&Help Topics", "&Keyboard Commands...\tk", "-", "&About kavrilon..."};
  }
  void menusOfBothStates() {
    QFETCH(bool, document);
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    auto frame = shownFrame();
    if (document) frame->newDocument();
    if (menu.isEmpty()) {
      QCOMPARE(menuTitles(*frame), items);
      return;
    }
    const QMenu* m = menuNamed(*frame, menu);
    QVERIFY(m);
    QCOMPARE(itemTexts(m), items);
  }

  void menusFollowTheLastWindow() {
    auto frame = shownFrame();
    CChildFrame* child = frame->newDocument();
    QCOMPARE(menuTitles(*frame).size(), 7);
    child->close();
    QTRY_COMPARE(menuTitles(*frame).size(), 3);
  }

  void toolbarsInOrder_data() {
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("area");
    QTest::addColumn<QStringList>("tips");
    QTest::newRow("Standard") << int(Toolbar::Standard) << "Standard" << int(Qt::TopToolBarArea)
                              << QStringList{"New (Ctrl+N)", "Open (Ctrl+O)", "Close Document", "Save (Ctrl+S)",
                                             "Import File (Ctrl+I)", "Export View Image (Ctrl+E)", "-",
                                             "Print (Ctrl+P)", "Print Preview", "-", "About", "Help (Shift+F1)"};
    QTest::newRow("Display") << int(Toolbar::Display) << "Display" << int(Qt::TopToolBarArea)
                             << QStringList{"Zoom (z)", "Zoom In (Ctrl+Down Arrow)", "Zoom Out (Ctrl+Up Arrow)",
                                            "Zoom All (a)", "-", "Change View Point (v)",
                                            "Increase Phi (Shift+Left Arrow)", "Decrease Phi (Shift+Right Arrow)",
                                            "Increase Psi (Shift+Up Arrow)", "Decrease Psi (Shift+Down Arrow)",
                                            "View XY Plane (XY)", "View YZ Plane (YZ)", "View XZ Plane (XZ)", "-",
                                            "Shrink Elements (SH)"};
    QTest::newRow("Rendering") << int(Toolbar::Rendering) << "Rendering" << int(Qt::TopToolBarArea)
                               << QStringList{"Shading (s)", "Import PVA (Ctrl+Shift+I)", "Remove PVA (Ctrl+Shift+R)",
                                              "Overprint Mesh (OM)"};
    QTest::newRow("Decoration") << int(Toolbar::Decoration) << "Decoration" << int(Qt::LeftToolBarArea)
                                << QStringList{"Bars In Visible Area (BL)", "-", "Lines (LI)", "Point Markers (MP)",
                                               "Special Node Markers (MS)", "Point Numbers (NP)",
                                               "Element Node Numbers (NN)", "Element Numbers (NE)",
                                               "Special Node Numbers (NS)"};
    QTest::newRow("Layer") << int(Toolbar::Layer) << "Layer" << int(Qt::LeftToolBarArea)
                           << QStringList{"Next Layer (Numeric Keypad +)", "Previous Layer (Numeric Keypad -)",
                                          "Layer Visible (LA)", "All Layers Off (LF)", "All Layers On (LN)"};
  }
  void toolbarsInOrder() {
    QFETCH(int, bar);
    QFETCH(QString, name);
    QFETCH(int, area);
    QFETCH(QStringList, tips);
    auto frame = shownFrame();
    QToolBar* tb = frame->toolBar(Toolbar(bar));
    QVERIFY(tb);
    QCOMPARE(tb->windowTitle(), name);
    QCOMPARE(int(frame->toolBarArea(tb)), area);
    QVERIFY(tb->isFloatable());
    QStringList actual;
    for (const QAction* a : tb->actions()) actual << (a->isSeparator() ? QStringLiteral("-") : a->toolTip());
    QCOMPARE(actual, tips);
  }

  void toolbarTogglesFollowVisibility_data() {
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("item");
    QTest::newRow("Standard") << int(Toolbar::Standard) << "&Standard";
    QTest::newRow("Display") << int(Toolbar::Display) << "&Display";
    QTest::newRow("Rendering") << int(Toolbar::Rendering) << "&Rendering";
    QTest::newRow("Decoration") << int(Toolbar::Decoration) << "De&coration";
    QTest::newRow("Layer") << int(Toolbar::Layer) << "&Layer";
  }
  void toolbarTogglesFollowVisibility() {
    QFETCH(int, bar);
    QFETCH(QString, item);
    auto frame = shownFrame();
    QToolBar* tb = frame->toolBar(Toolbar(bar));
    QAction* toggle = tb->toggleViewAction();
    QCOMPARE(toggle->text(), item);
    QVERIFY(toggle->isChecked());
    toggle->trigger();  // View > Toolbars > item
    QVERIFY(tb->isHidden());
    QVERIFY(!toggle->isChecked());
    toggle->trigger();
    QVERIFY(tb->isVisible());
    QVERIFY(toggle->isChecked());
    tb->close();  // the bar's own close box
    QVERIFY(!toggle->isChecked());
  }

  void typedZStartsTheZoomWindow() {
    auto frame = shownFrame("plate.b3d");
    ViewWidget& w = frame->activeChild()->viewWidget();
    QTest::keyClick(&w, Qt::Key_Z);
    QCOMPARE(frame->activeView()->mouseMode(), MouseMode::ZoomWindowFirst);
  }

  void ctrlIOpensTheImportDialog() {
    auto frame = shownFrame();
    frame->newDocument();
    QApplication::setActiveWindow(frame.get());
    QVERIFY(QTest::qWaitForWindowActive(frame.get()));
    QCOMPARE(frame->activeView()->layerCount(), 0);
    ui_.queueFile((kExamples + "plate.s3d").toStdString());
    ui_.queueAnswer(false);  // no companion .cfg
    QTest::keyClick(&frame->activeChild()->viewWidget(), Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(ui_.openFilters.size(), size_t(1));
    QVERIFY(QString::fromStdString(ui_.openFilters[0]).contains("*.s3d"));
    QVERIFY(frame->activeView()->layerCount() > 0);
  }

  void ctrlAcceleratorsAreShortcuts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("keys");
    QTest::newRow("New") << cmd::kFileNew << "Ctrl+N";
    QTest::newRow("Open") << cmd::kFileOpen << "Ctrl+O";
    QTest::newRow("Save") << cmd::kFileSave << "Ctrl+S";
    QTest::newRow("Print") << cmd::kFilePrint << "Ctrl+P";
    QTest::newRow("Export View Image") << cmd::kExportViewImage << "Ctrl+E";
    QTest::newRow("Import") << cmd::kImportFile << "Ctrl+I";
    QTest::newRow("Import PVA") << cmd::kImportPva << "Ctrl+Shift+I";
    QTest::newRow("Remove PVA") << cmd::kRemovePva << "Ctrl+Shift+R";
    QTest::newRow("PVA Options") << cmd::kPvaOptions << "Ctrl+Shift+O";
    // One-letter accelerators are typed characters, never shortcuts that would take them from the view.
    QTest::newRow("Zoom") << cmd::kZoom << "";
    QTest::newRow("Lines...") << cmd::kLineProperties << "";
  }
  void ctrlAcceleratorsAreShortcuts() {
    QFETCH(int, id);
    QFETCH(QString, keys);
    CMainFrame frame;
    QCOMPARE(frame.commandAction(id)->shortcut(), QKeySequence(keys));
  }

  void typedLThenITogglesLines() {
    auto frame = shownFrame("plate.b3d");
    CKavrilonView* view = frame->activeView();
    const int layer = view->currentLayer();
    const bool before = view->options().layer(layer).displayLines != 0;
    QCOMPARE(frame->commandAction(cmd::kLines)->isChecked(), before);
    QTest::keyClicks(&frame->activeChild()->viewWidget(), "LI");
    QCOMPARE(view->options().layer(layer).displayLines != 0, !before);
    // The toolbar button's mark follows at once.
    QCOMPARE(frame->commandAction(cmd::kLines)->isChecked(), !before);
  }

  void enablingFollowsTheView_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("emptyDocument");
    QTest::addColumn<bool>("plate");
    QTest::newRow("Zoom") << cmd::kZoom << false << true;
    QTest::newRow("Zoom All at full view") << cmd::kZoomAll << false << false;
    QTest::newRow("Change View Point") << cmd::kChangeViewPoint << false << true;
    QTest::newRow("Increase Phi") << cmd::kIncreasePhi << false << true;
    QTest::newRow("Shading") << cmd::kShading << false << true;
    QTest::newRow("Lines") << cmd::kLines << false << true;
    QTest::newRow("Remove PVA without a field") << cmd::kRemovePva << false << false;
    QTest::newRow("Import") << cmd::kImportFile << true << true;
    QTest::newRow("Keyboard Commands") << cmd::kKeyboardCommands << true << true;
  }
  void enablingFollowsTheView() {
    QFETCH(int, id);
    QFETCH(bool, emptyDocument);
    QFETCH(bool, plate);
    auto frame = shownFrame();
    // No window at all: nothing of the view's is offered.
    QVERIFY(!frame->commandAction(id)->isEnabled());
    CChildFrame* empty = frame->newDocument();
    QCOMPARE(frame->commandAction(id)->isEnabled(), emptyDocument);
    frame->openDocument(kExamples + "plate.b3d");
    QCOMPARE(frame->commandAction(id)->isEnabled(), plate);
    frame->mdiArea()->setActiveSubWindow(empty);
    QCOMPARE(frame->commandAction(id)->isEnabled(), emptyDocument);
  }

  void twoViewsKeepTheirOwnOptions() {
    auto frame = shownFrame("plate.b3d");
    CChildFrame* first = frame->activeChild();
    CChildFrame* second = frame->newWindow();
    QVERIFY(second && second != first);
    QCOMPARE(first->windowTitle(), QString("plate.b3d:1"));
    QCOMPARE(second->windowTitle(), QString("plate.b3d:2"));
    // The Window menu lists both below its own items, the active one checked.
    auto* window = const_cast<QMenu*>(menuNamed(*frame, "&Window"));
    emit window->aboutToShow();
    QCOMPARE(itemTexts(window).mid(5), (QStringList{"-", "&1 plate.b3d:1", "&2 plate.b3d:2"}));
    QVERIFY(window->actions().last()->isChecked());
    const int shown = first->view().options().layer(1).displayLines;
    QTest::keyClicks(&second->viewWidget(), "LI");
    QCOMPARE(second->view().options().layer(1).displayLines, 1 - shown);
    QCOMPARE(first->view().options().layer(1).displayLines, shown);
    // The first view's check mark is its own.
    frame->mdiArea()->setActiveSubWindow(first);
    QCOMPARE(frame->commandAction(cmd::kLines)->isChecked(), shown != 0);
    second->close();
    QTRY_COMPARE(first->windowTitle(), QString("plate.b3d"));
  }

  void commandLineNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opened");
    QTest::newRow("s3d") << "mesh.s3d" << false;
    QTest::newRow("upper case") << "MODEL.B3D" << true;
    QTest::newRow("mixed case") << "a.B3d" << true;
    QTest::newRow("exactly four") << ".b3d" << true;
    QTest::newRow("three characters") << "b3d" << false;
    QTest::newRow("suffix beyond") << "x.b3dx" << false;
    QTest::newRow("no dot") << "meshb3d" << false;
  }
  void commandLineNames() {
    QFETCH(QString, name);
    QFETCH(bool, opened);
    QCOMPARE(CKavrilonApp::isDocumentName(name), opened);
  }

  void commandLineS3dGivesMessageAndEmptyDocument() {
    CKavrilonApp app(&ui_);
    QVERIFY(app.InitInstance({"kavrilon", kExamples + "plate.s3d"}));
    QCOMPARE(ui_.messages(), std::vector<std::string>{CKavrilonApp::kNotADocument});
    QVERIFY(app.mainFrame()->activeView());
    QCOMPARE(app.mainFrame()->activeView()->layerCount(), 0);
    QVERIFY(app.mainFrame()->activeChild()->windowTitle().startsWith("Vilmor"));
  }

  void commandLineB3dOpensIt() {
    CKavrilonApp app(&ui_);
    QVERIFY(app.InitInstance({"kavrilon", kExamples + "plate.b3d"}));
    QVERIFY(ui_.messages().empty());
    QCOMPARE(app.mainFrame()->activeChild()->windowTitle(), QString("plate.b3d"));
    QCOMPARE(app.mainFrame()->recentFiles().value(0), kExamples + "plate.b3d");
  }

  void droppedS3dImportsIntoANewDocument() {
    auto frame = shownFrame();
    ui_.queueAnswer(true);  // take the companion .cfg
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(kExamples + "plate.s3d")});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &drop);
    QVERIFY(frame->activeView());
    QVERIFY(frame->activeView()->layerCount() > 0);
    QVERIFY(frame->activeChild()->windowTitle().startsWith("Vilmor"));
  }

  void droppedMeshesOfOtherProgramsAreImported() {
    auto frame = shownFrame();
    frame->openDroppedFiles({QStringLiteral(KAVRILON_SOURCE_DIR "/tests/import/data/cube-hex-4.1-bin.msh")});
    QVERIFY(ui_.messages().empty());
    QVERIFY(frame->activeView());
    QCOMPARE(frame->activeView()->layerCount(), 3);
    frame->openDroppedFiles({kExamples + "plate.txt"});
    QCOMPARE(ui_.messages().size(), 1u);
    QVERIFY(ui_.messages().back().find("plate.txt is none of these.") != std::string::npos);
  }

  void droppedUnreadableFileLeavesNoWindow() {
    auto frame = shownFrame();
    frame->openDroppedFiles({kExamples + "no-such-file.s3d"});
    QVERIFY(!ui_.messages().empty());
    QTRY_VERIFY(frame->mdiArea()->subWindowList().isEmpty());
  }

  void dialogButtonsKeepTheDialogOpenAndReloadTexts() {
    DialogModel model;
    model.title = "Change Line Properties";
    model.fields = {{1000, DialogControl::CheckBox, "&Visible", "Lines", "0", {}},
                    {1001, DialogControl::Edit, "Thickness (1...99)", "Lines", "5", {}},
                    {1031, DialogControl::ReadOnlyEdit, "Current layer:", "", "1 - Plate", {}},
                    {1037, DialogControl::List, "", "", "b", {"a - first", "B - second"}}};
    model.buttons = {{1004, "&Default", ""}};
    std::string seen;
    model.onButton = [&](DialogModel& m, int id) {
      QCOMPARE(id, 1004);
      seen = m.text(1001);  // the user's text reached the model first
      m.setText(1000, "1");
      m.setText(1001, "1");
    };
    ModelDialog dialog(model);
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(1001));
    QVERIFY(edit);
    QVERIFY(qobject_cast<QLineEdit*>(dialog.control(1031))->isReadOnly());
    // The list selects the item that begins with the text, case ignored.
    QCOMPARE(qobject_cast<QListWidget*>(dialog.control(1037))->currentRow(), 1);
    edit->setText("7");
    dialog.pressButton(1004);
    QCOMPARE(seen, std::string("7"));
    QCOMPARE(edit->text(), QString("1"));
    QVERIFY(qobject_cast<QCheckBox*>(dialog.control(1000))->isChecked());
    edit->setText("9");
    dialog.accept();
    QCOMPARE(model.text(1001), std::string("9"));
    QCOMPARE(model.text(1037), std::string("B - second"));
  }

  void fileFiltersBecomeQtFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("document") << CMainFrame::kDocumentFilter
                              << QStringList{"Kavrilon Binary Files (*.b3d)", "All Files (*)"};
    QTest::newRow("one type") << "Windows True Color Bitmap (*.bmp)|*.bmp||"
                              << QStringList{"Windows True Color Bitmap (*.bmp)"};
    QTest::newRow("two patterns") << "Meshes (*.msh;*.vtk)|*.msh;*.vtk||" << QStringList{"Meshes (*.msh *.vtk)"};
    QTest::newRow("empty") << "" << QStringList{};
  }
  void fileFiltersBecomeQtFilters() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtUiServices::nameFilters(filter.toStdString()), expected);
  }

  void wheelZoomsAroundThePointerAndScrolls() {
    auto frame = shownFrame("plate.b3d");
    CKavrilonView* view = frame->activeView();
    ViewWidget& w = frame->activeChild()->viewWidget();
    auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers modifiers) {
      QWheelEvent e(at, w.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                    Qt::NoScrollPhase, false);
      QApplication::sendEvent(w.viewport(), &e);
    };
    const int width = view->canvasWidth();
    wheel({100, 80}, -120, Qt::ControlModifier);  // zoom out at full view: nothing
    QCOMPARE(view->canvasWidth(), width);
    wheel({100, 80}, 120, Qt::ControlModifier);
    const int zoomed = view->canvasWidth();
    QCOMPARE(zoomed, int(std::floor(width / ViewSteps::kZoomInFactor + 0.5)));
    // The canvas point under the pointer stays there, to the pixel.
    QVERIFY(std::abs(w.scrollPosition().x - int(std::lround(100.0 * zoomed / width)) + 100) <= 1);
    const int top = w.scrollPosition().y;
    wheel({100, 80}, -120, Qt::NoModifier);
    QVERIFY(w.scrollPosition().y > top);
    wheel({100, 80}, 120, Qt::NoModifier);
    QCOMPARE(w.scrollPosition().y, top);
  }

  void dragCursors_data() {
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("shape");
    QTest::newRow("pan") << int(Qt::NoModifier) << int(Qt::SizeAllCursor);
    QTest::newRow("rotate") << int(Qt::ShiftModifier) << int(Qt::BitmapCursor);
    QTest::newRow("zoom") << int(Qt::ControlModifier) << int(Qt::SizeVerCursor);
  }
  void dragCursors() {
    QFETCH(int, modifiers);
    QFETCH(int, shape);
    auto frame = shownFrame("plate.b3d");
    QWidget* viewport = frame->activeChild()->viewWidget().viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::KeyboardModifiers(modifiers), QPoint(200, 200));
    const QCursor cursor = viewport->cursor();
    QCOMPARE(int(cursor.shape()), shape);
    if (shape == Qt::BitmapCursor) {
      QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
      QCOMPARE(cursor.hotSpot(), QPoint(15, 14));
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::KeyboardModifiers(modifiers), QPoint(200, 200));
    QCOMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
  }

  void rotationCubeStartsFromAWhiteWindow() {
    // The cube is drawn straight onto the window: what was shown before must not show through.
    auto frame = shownFrame("plate.b3d");
    CKavrilonView* view = frame->activeView();
    ViewWidget& w = frame->activeChild()->viewWidget();
    QVERIFY(view->execute(cmd::kChangeViewPoint));
    const QImage fromLines = w.windowImage();
    QVERIFY(view->execute(cmd::kChangeViewPoint));
    QVERIFY(view->execute(cmd::kShading));
    w.windowImage();
    QVERIFY(view->execute(cmd::kChangeViewPoint));
    QCOMPARE(w.windowImage(), fromLines);
  }

  void printsThePictureAtItsPixelSize() {
    auto frame = shownFrame("plate.b3d");
    QTemporaryDir dir;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("plate.pdf"));
    frame->printImage(&printer);
    QVERIFY(QFileInfo(dir.filePath("plate.pdf")).size() > 1000);
  }

  void axisTriadPointsAlongTheModelAxes() {
    // At angles 0 the view looks down the x axis: y to the right, z up.
    const auto axes = triadAxes(0, 0, 0, 10);
    QCOMPARE(axes[2].name, 'X');  // nearest, drawn last
    for (const TriadAxis& a : axes) {
      const QPointF expected = a.name == 'X' ? QPointF(0, 0) : a.name == 'Y' ? QPointF(10, 0) : QPointF(0, -10);
      QVERIFY2(std::abs(a.tip.x() - expected.x()) < 1e-9 && std::abs(a.tip.y() - expected.y()) < 1e-9,
               qPrintable(QString("axis %1").arg(a.name)));
    }
  }

  void axisTriadStaysOutOfThePicture() {
    auto frame = shownFrame("plate.b3d");
    ViewWidget& w = frame->activeChild()->viewWidget();
    const QImage picture = w.windowImage();
    const QImage withTriad = w.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    frame->axisTriadAction()->trigger();
    QVERIFY(!w.axisTriadShown());
    const QImage withoutTriad = w.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(w.windowImage(), picture);
    QVERIFY(withTriad != withoutTriad);
    QCOMPARE(withoutTriad, picture.convertToFormat(QImage::Format_RGB32));
  }
};

QTEST_MAIN(CMainFrameTest)
#include "CMainFrame_test.moc"
