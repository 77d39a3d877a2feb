#include "gui/CMainFrame.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QWhatsThis>

#include "app/CKavrilonView.h"
#include "gui/AboutDialog.h"
#include "gui/CChildFrame.h"
#include "gui/ViewWidget.h"
#include "import/F_MeshImport.h"
#include "platform/UiServices.h"
#include "platform/raster/RasterDC.h"

namespace {

QString qs(const char* s) { return QString::fromUtf8(s ? s : ""); }

bool endsWithIgnoringCase(const QString& name, const char* suffix) {
  return name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

// The icon of a command, by the row's key or the framework command's name.
QIcon commandIcon(const QString& key) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(key)); }

// The View > Toolbars items: each bar's menu text, its prompt and the id of its toggle.
struct ToolbarItem {
  Toolbar bar;
  const char* menuText;
  const char* prompt;
};
const ToolbarItem kToolbarItems[] = {
    {Toolbar::Standard, "&Standard", "Shows or hides the \"Standard\" toolbar.\nToggle Standard Toolbar"},
    {Toolbar::Display, "&Display", "Shows or hides the \"Display\" toolbar.\nToggle Display Toolbar"},
    {Toolbar::Rendering, "&Rendering", "Shows or hides the \"Rendering\" toolbar.\nToggle Rendering Toolbar"},
    {Toolbar::Decoration, "De&coration", "Shows or hides the \"Decoration\" toolbar.\nToggle Decoration Toolbar"},
    {Toolbar::Layer, "&Layer", "Shows or hides the \"Layer\" toolbar.\nToggle Layer Toolbar"},
};
int toggleId(Toolbar bar) {
  switch (bar) {
    case Toolbar::Display: return cmd::kToggleDisplayToolbar;
    case Toolbar::Rendering: return cmd::kToggleRenderingToolbar;
    case Toolbar::Decoration: return cmd::kToggleDecorationToolbar;
    case Toolbar::Layer: return cmd::kToggleLayerToolbar;
    default: return 0;  // Standard: the framework's own toggle, no id of ours
  }
}

// The framework's toolbar toggle for "Standard".
constexpr int kToggleStandardToolbar = 59392;
constexpr int kToggleStatusBar = 59393;
// Window menu commands.
constexpr int kWindowNew = 57648;
constexpr int kWindowArrange = 57649;
constexpr int kWindowCascade = 57650;
constexpr int kWindowTileHorizontally = 57651;
constexpr int kWindowTileVertically = 57652;

}  // namespace

// The icons are compiled into the static shell library, which the linker
// would leave out unless something refers to them.
static void loadIcons() { Q_INIT_RESOURCE(kavrilon); }

CMainFrame::CMainFrame(QSettings* settings) : settings_(settings), mdiArea_(new QMdiArea(this)) {
  loadIcons();
  setWindowTitle("kavrilon");
  setWindowIcon(QIcon(":/icons/kavrilon.svg"));
  mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setBackground(QColor(128, 128, 128));
  setCentralWidget(mdiArea_);
  connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] {
    updateMenus();
    updateCommandState();
  });

  createActions();
  createToolBars();
  createMenus();
  createStatusBar();
  readSettings();
  updateMenus();
  updateCommandState();
  setAcceptDrops(true);
}

CMainFrame::~CMainFrame() {
  // The views go before the frame's members: each unregisters from its document.
  for (QMdiSubWindow* w : mdiArea_->subWindowList()) delete w;
}

// --- actions ---

QAction* CMainFrame::addFrameworkAction(int id, const QString& text, const QString& prompt, const QString& shortcut) {
  auto* action = new QAction(text, this);
  const int nl = prompt.indexOf('\n');
  action->setStatusTip(prompt.left(nl));
  action->setWhatsThis(prompt.left(nl));
  if (nl >= 0) action->setToolTip(prompt.mid(nl + 1));
  if (!shortcut.isEmpty()) action->setShortcut(QKeySequence(shortcut));
  actions_[id] = action;
  return action;
}

void CMainFrame::createActions() {
  // Every command of the table: the view's and its document's.
  for (const CommandRow& row : commandTable()) {
    // Menu texts carry their accelerator after a tab, which the menu shows as it is.
    auto* action = new QAction(row.menuText ? qs(row.menuText) : qs(::toolTip(row).c_str()), this);
    action->setStatusTip(qs(statusPrompt(row).c_str()));
    action->setToolTip(qs(::toolTip(row).c_str()));
    action->setWhatsThis(action->statusTip());  // what the context-help pointer tells
    action->setIcon(commandIcon(row.key));
    // Ctrl accelerators are shortcuts; one-letter ones are characters typed
    // over the view, which hands them to the same command.
    if (row.accelerator && std::string_view(row.accelerator).size() > 1)
      action->setShortcut(QKeySequence(qs(row.accelerator)));
    connect(action, &QAction::triggered, this, [this, id = row.id] { runCommand(id); });
    actions_[row.id] = action;
  }

  // The framework's commands.
  connect(addFrameworkAction(cmd::kFileNew, "&New\tCtrl+N", "Creates a new document.\nNew (Ctrl+N)", "Ctrl+N"),
          &QAction::triggered, this, [this] { newDocument(); });
  connect(addFrameworkAction(cmd::kFileOpen, "&Open...\tCtrl+O", "Opens an existing document.\nOpen (Ctrl+O)",
                             "Ctrl+O"),
          &QAction::triggered, this, &CMainFrame::fileOpen);
  connect(addFrameworkAction(cmd::kFileClose, "&Close", "Closes the active document.\nClose Document"),
          &QAction::triggered, this, &CMainFrame::fileClose);
  connect(addFrameworkAction(cmd::kFileSave, "&Save\tCtrl+S", "Saves the active document.\nSave (Ctrl+S)", "Ctrl+S"),
          &QAction::triggered, this, [this] {
            if (CChildFrame* c = activeChild()) fileSave(c->document());
          });
  connect(addFrameworkAction(cmd::kFileSaveAs, "Save &As...", "Saves the active document with a new name.\nSave As"),
          &QAction::triggered, this, [this] {
            if (CChildFrame* c = activeChild()) fileSaveAs(c->document());
          });
  connect(addFrameworkAction(cmd::kFilePrint, "&Print...\tCtrl+P", "Prints the active view.\nPrint (Ctrl+P)",
                             "Ctrl+P"),
          &QAction::triggered, this, &CMainFrame::filePrint);
  connect(addFrameworkAction(cmd::kFilePrintPreview, "Print Pre&view", "Displays full pages.\nPrint Preview"),
          &QAction::triggered, this, &CMainFrame::filePrintPreview);
  connect(addFrameworkAction(cmd::kFilePrintSetup, "P&rint Setup...",
                             "Changes the printer and printing options.\nPrint Setup"),
          &QAction::triggered, this, &CMainFrame::filePrintSetup);
  connect(addFrameworkAction(cmd::kAppExit, "E&xit", "Quits the application; prompts to save documents.\nExit"),
          &QAction::triggered, this, &QWidget::close);
  connect(addFrameworkAction(cmd::kHelpTopics, "&Help Topics", "Lists Help topics.\nHelp Topics", "F1"),
          &QAction::triggered, this, &CMainFrame::helpTopics);
  connect(addFrameworkAction(cmd::kAppAbout, "&About kavrilon...",
                             "Displays program information and version number.\nAbout"),
          &QAction::triggered, this, &CMainFrame::about);
  connect(addFrameworkAction(cmd::kContextHelp, "Help",
                             "Displays help for clicked on buttons, menus and windows.\nHelp (Shift+F1)",
                             "Shift+F1"),
          &QAction::triggered, this, [] { QWhatsThis::enterWhatsThisMode(); });
  for (int id : {cmd::kFileNew, cmd::kFileOpen, cmd::kFileClose, cmd::kFileSave, cmd::kFilePrint,
                 cmd::kFilePrintPreview, cmd::kAppAbout, cmd::kContextHelp}) {
    static const std::map<int, const char*> keys = {
        {cmd::kFileNew, "file-new"},     {cmd::kFileOpen, "file-open"},
        {cmd::kFileClose, "file-close"}, {cmd::kFileSave, "file-save"},
        {cmd::kFilePrint, "print"},      {cmd::kFilePrintPreview, "print-preview"},
        {cmd::kAppAbout, "about"},       {cmd::kContextHelp, "context-help"}};
    actions_[id]->setIcon(commandIcon(keys.at(id)));
  }

  connect(addFrameworkAction(kWindowNew, "&New Window", "Opens another window for the active document.\nNew Window"),
          &QAction::triggered, this, [this] { newWindow(); });
  connect(addFrameworkAction(kWindowCascade, "&Cascade", "Arranges windows so they overlap.\nCascade Windows"),
          &QAction::triggered, mdiArea_, &QMdiArea::cascadeSubWindows);
  connect(addFrameworkAction(kWindowTileHorizontally, "Tile &Horizontally",
                             "Arranges windows as non-overlapping tiles, one above the other.\nTile Horizontally"),
          &QAction::triggered, this, [this] { tileWindows(Qt::Vertical); });
  connect(addFrameworkAction(kWindowTileVertically, "&Tile Vertically",
                             "Arranges windows as non-overlapping tiles, side by side.\nTile Vertically"),
          &QAction::triggered, this, [this] { tileWindows(Qt::Horizontal); });
  connect(addFrameworkAction(kWindowArrange, "&Arrange Icons",
                             "Arranges minimised windows along the bottom of the window.\nArrange Icons"),
          &QAction::triggered, this, &CMainFrame::arrangeIcons);

  statusBarAction_ = addFrameworkAction(kToggleStatusBar, "&Status Bar", "Shows or hides the status bar.\nToggle Status Bar");
  statusBarAction_->setCheckable(true);
  statusBarAction_->setChecked(true);
  connect(statusBarAction_, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

  axisTriadAction_ = new QAction("A&xis Triad", this);
  axisTriadAction_->setStatusTip("Shows or hides the x, y, z axes in a corner of every view window.");
  axisTriadAction_->setToolTip("Axis Triad");
  axisTriadAction_->setCheckable(true);
  axisTriadAction_->setChecked(true);
  connect(axisTriadAction_, &QAction::toggled, this, [this](bool on) {
    for (QMdiSubWindow* w : mdiArea_->subWindowList())
      if (auto* child = qobject_cast<CChildFrame*>(w)) child->viewWidget().setAxisTriadShown(on);
  });

  for (int i = 0; i < kRecentFileCount; ++i) {
    recentActions_[i] = new QAction(this);
    recentActions_[i]->setStatusTip("Opens this document.");
    connect(recentActions_[i], &QAction::triggered, this, [this, i] {
      if (i < recentFiles_.size()) openDocument(recentFiles_[i]);
    });
  }
  recentPlaceholder_ = new QAction("Recent File", this);
  recentPlaceholder_->setEnabled(false);
}

void CMainFrame::createToolBars() {
  for (const Toolbar bar : {Toolbar::Standard, Toolbar::Display, Toolbar::Rendering, Toolbar::Decoration,
                            Toolbar::Layer}) {
    auto* tb = new QToolBar(qs(toolbarName(bar)), this);
    tb->setObjectName(qs(toolbarName(bar)));
    tb->setIconSize(QSize(20, 20));
    tb->setFloatable(true);
    tb->setMovable(true);
    for (int id : toolbarButtons(bar)) {
      if (id == cmd::kSeparator) {
        tb->addSeparator();
      } else if (QAction* a = commandAction(id)) {
        tb->addAction(a);
      }
    }
    toolBars_[bar] = tb;
  }
  // Standard, Display and Rendering side by side along the top; Decoration
  // and Layer one below the other down the left edge.
  addToolBar(Qt::TopToolBarArea, toolBars_[Toolbar::Standard]);
  addToolBar(Qt::TopToolBarArea, toolBars_[Toolbar::Display]);
  addToolBar(Qt::TopToolBarArea, toolBars_[Toolbar::Rendering]);
  addToolBar(Qt::LeftToolBarArea, toolBars_[Toolbar::Decoration]);
  addToolBar(Qt::LeftToolBarArea, toolBars_[Toolbar::Layer]);

  for (const ToolbarItem& item : kToolbarItems) {
    // The bar's own toggle follows its visibility, also when it is closed from its float window.
    QAction* toggle = toolBars_[item.bar]->toggleViewAction();
    toggle->setText(qs(item.menuText));
    const QString prompt = qs(item.prompt);
    toggle->setStatusTip(prompt.section('\n', 0, 0));
    toggle->setToolTip(prompt.section('\n', 1, 1));
    actions_[item.bar == Toolbar::Standard ? kToggleStandardToolbar : toggleId(item.bar)] = toggle;
  }
}

void CMainFrame::createMenus() {
  auto a = [this](int id) { return commandAction(id); };

  toolbarsMenu_ = new QMenu("&Toolbars", this);
  for (const ToolbarItem& item : kToolbarItems) toolbarsMenu_->addAction(toolBars_[item.bar]->toggleViewAction());

  auto addRecent = [this](QMenu* menu) {
    menu->addAction(recentPlaceholder_);
    for (QAction* r : recentActions_) menu->addAction(r);
  };

  // Menu bar 128: no document open.
  auto* file0 = new QMenu("&File", this);
  file0->addAction(a(cmd::kFileNew));
  file0->addAction(a(cmd::kFileOpen));
  file0->addSeparator();
  file0->addAction(a(cmd::kFilePrintSetup));
  file0->addSeparator();
  addRecent(file0);
  file0->addSeparator();
  file0->addAction(a(cmd::kAppExit));
  auto* view0 = new QMenu("&View", this);
  view0->addMenu(toolbarsMenu_);
  view0->addAction(statusBarAction_);
  auto* help0 = new QMenu("&Help", this);
  help0->addAction(a(cmd::kHelpTopics));
  help0->addSeparator();
  help0->addAction(a(cmd::kAppAbout));
  noDocumentMenus_ = {file0, view0, help0};

  // Menu bar 129: a document window is active.
  auto* file = new QMenu("&File", this);
  for (int id : {cmd::kFileNew, cmd::kFileOpen, cmd::kFileClose, cmd::kFileSave, cmd::kFileSaveAs}) file->addAction(a(id));
  file->addSeparator();
  for (int id : {cmd::kImportFile, cmd::kExportFile, cmd::kExportViewImage}) file->addAction(a(id));
  file->addSeparator();
  file->addAction(a(cmd::kImportDisplayOptions));
  file->addAction(a(cmd::kExportDisplayOptions));
  file->addSeparator();
  for (int id : {cmd::kFilePrint, cmd::kFilePrintPreview, cmd::kFilePrintSetup}) file->addAction(a(id));
  file->addSeparator();
  addRecent(file);
  file->addSeparator();
  file->addAction(a(cmd::kAppExit));

  auto* view = new QMenu("&View", this);
  view->addMenu(toolbarsMenu_);
  view->addAction(statusBarAction_);
  view->addSeparator();
  for (int id : {cmd::kZoom, cmd::kZoomAll, cmd::kZoomPrevious}) view->addAction(a(id));
  view->addSeparator();
  for (int id : {cmd::kChangeViewPoint, cmd::kSetViewAngles, cmd::kSetViewMargins}) view->addAction(a(id));
  view->addSeparator();
  view->addAction(a(cmd::kShading));
  view->addSeparator();
  view->addAction(axisTriadAction_);

  auto* pva = new QMenu("&PVA", this);
  for (int id : {cmd::kImportPva, cmd::kRemovePva, cmd::kPvaOptions}) pva->addAction(a(id));

  auto* options = new QMenu("&Options", this);
  for (int id : {cmd::kDisplayOptions, cmd::kLineProperties, cmd::kMarkerProperties, cmd::kNumberProperties,
                 cmd::kRenderingOptions})
    options->addAction(a(id));
  options->addSeparator();
  options->addAction(a(cmd::kSetAsDefault));

  auto* tools = new QMenu("&Tools", this);
  tools->addAction(a(cmd::kJumpToLayer));

  auto* window = new QMenu("&Window", this);
  for (int id : {kWindowNew, kWindowCascade, kWindowTileHorizontally, kWindowTileVertically, kWindowArrange})
    window->addAction(a(id));
  // Below them, while the menu is open, the windows themselves.
  connect(window, &QMenu::aboutToShow, this, [this, window] { updateWindowList(window); });

  auto* help = new QMenu("&Help", this);
  help->addAction(a(cmd::kHelpTopics));
  help->addAction(a(cmd::kKeyboardCommands));
  help->addSeparator();
  help->addAction(a(cmd::kAppAbout));
  documentMenus_ = {file, view, pva, options, tools, window, help};

  // Menus opened by the mouse show the states of this moment.
  for (QMenu* m : documentMenus_) connect(m, &QMenu::aboutToShow, this, &CMainFrame::updateCommandState);
}

void CMainFrame::createStatusBar() {
  idleLabel_ = new QLabel(kIdleText, this);
  statusBar()->addWidget(idleLabel_, 1);
  for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
    auto* label = new QLabel(indicator, this);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("SCRL") + 10);
    // Grey until a key tells the lock's state.
    label->setEnabled(false);
    statusBar()->addPermanentWidget(label);
    lockLabels_.push_back(label);
  }
  // On X11 every key event carries the lock keys' states; elsewhere they stay grey.
  if (QGuiApplication::platformName() == QLatin1String("xcb")) qApp->installEventFilter(this);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease || event->type() == QEvent::KeyPress) {
    // The X11 state bits of Caps Lock and Num Lock (Lock and Mod2) as they
    // were before the event; Scroll Lock has none. A lock key's own press
    // turns its state over; its release says nothing new.
    const auto* key = static_cast<QKeyEvent*>(event);
    const quint32 state = key->nativeModifiers();
    const bool press = event->type() == QEvent::KeyPress;
    const struct {
      int key;
      quint32 bit;
      QLabel* label;
    } locks[] = {{Qt::Key_CapsLock, 0x02, lockLabels_[0]}, {Qt::Key_NumLock, 0x10, lockLabels_[1]}};
    for (const auto& lock : locks) {
      if (key->key() != lock.key) {
        lock.label->setEnabled(state & lock.bit);
      } else if (press) {
        lock.label->setEnabled(!(state & lock.bit));
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::readSettings() {
  recentFiles_.clear();
  updateRecentFileActions();
  if (!settings_) return;
  settings_->beginGroup("Recent File List");
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString f = settings_->value(QString("File%1").arg(i)).toString();
    if (!f.isEmpty()) recentFiles_ << f;
  }
  settings_->endGroup();
  updateRecentFileActions();
}

void CMainFrame::writeSettings() {
  if (!settings_) return;
  settings_->beginGroup("Recent File List");
  for (int i = 1; i <= kRecentFileCount; ++i) {
    if (i <= recentFiles_.size()) {
      settings_->setValue(QString("File%1").arg(i), recentFiles_[i - 1]);
    } else {
      settings_->remove(QString("File%1").arg(i));
    }
  }
  settings_->endGroup();
  settings_->sync();
}

void CMainFrame::addRecentFile(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  recentFiles_.removeAll(full);
  recentFiles_.prepend(full);
  while (recentFiles_.size() > kRecentFileCount) recentFiles_.removeLast();
  updateRecentFileActions();
  writeSettings();
}

void CMainFrame::updateRecentFileActions() {
  for (int i = 0; i < kRecentFileCount; ++i) {
    const bool used = i < recentFiles_.size();
    recentActions_[i]->setVisible(used);
    if (used) recentActions_[i]->setText(QString("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(recentFiles_[i])));
  }
  recentPlaceholder_->setVisible(recentFiles_.isEmpty());
}

// --- state ---

QAction* CMainFrame::commandAction(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QToolBar* CMainFrame::toolBar(Toolbar bar) const {
  const auto it = toolBars_.find(bar);
  return it == toolBars_.end() ? nullptr : it->second;
}

CChildFrame* CMainFrame::activeChild() const {
  // currentSubWindow stays set while a dialog of the program has the focus.
  auto* child = qobject_cast<CChildFrame*>(mdiArea_->currentSubWindow());
  return child && !child->isClosing() ? child : nullptr;
}

CKavrilonView* CMainFrame::activeView() const {
  CChildFrame* child = activeChild();
  return child ? &child->view() : nullptr;
}

void CMainFrame::updateCommandState() {
  const CKavrilonView* view = activeView();
  for (const CommandRow& row : commandTable()) {
    const CommandState s = view ? view->state(row.id) : CommandState{};
    QAction* action = actions_.at(row.id);
    action->setEnabled(s.enabled);
    action->setCheckable(s.checked);
    action->setChecked(s.checked);
  }
  const bool hasChild = view != nullptr;
  for (int id : {cmd::kFileClose, cmd::kFileSave, cmd::kFileSaveAs, cmd::kFilePrint, cmd::kFilePrintPreview,
                 kWindowNew, kWindowCascade, kWindowTileHorizontally, kWindowTileVertically, kWindowArrange})
    actions_.at(id)->setEnabled(hasChild);
}

void CMainFrame::updateMenus() {
  bool documentOpen = false;
  for (QMdiSubWindow* w : mdiArea_->subWindowList())
    if (auto* c = qobject_cast<CChildFrame*>(w); c && !c->isClosing()) documentOpen = true;
  if (documentOpen == showingDocumentMenus_ && !menuBar()->actions().isEmpty()) return;
  showingDocumentMenus_ = documentOpen;
  menuBar()->clear();
  for (QMenu* m : documentOpen ? documentMenus_ : noDocumentMenus_) menuBar()->addMenu(m);
}

void CMainFrame::runCommand(int id) {
  CKavrilonView* view = activeView();
  if (!view) return;
  view->execute(id);
  updateCommandState();
}

// --- documents and windows ---

CChildFrame* CMainFrame::createChild(const std::shared_ptr<GuiDocument>& document) {
  auto* child = new CChildFrame(document);
  child->setWindowIcon(windowIcon());
  child->setCloseGuard([this](CChildFrame* c) { return canCloseChild(c); });
  ViewWidget& widget = child->viewWidget();
  widget.setAxisTriadShown(axisTriadAction_->isChecked());
  connect(&widget, &ViewWidget::viewStateChanged, this, [this, child] {
    if (child == activeChild()) updateCommandState();
  });
  connect(&widget, &ViewWidget::busy, this, [this](const QString& text) {
    if (text.isEmpty()) {
      statusBar()->clearMessage();
    } else {
      statusBar()->showMessage(text);
      statusBar()->repaint();
    }
  });
  connect(child, &CChildFrame::closed, this, [this](CChildFrame* c) {
    const GuiDocument* doc = &c->document();
    // After the window has gone from the list: the menus and the titles of the others.
    QMetaObject::invokeMethod(
        this,
        [this, doc] {
          updateTitles(doc);
          updateMenus();
          updateCommandState();
        },
        Qt::QueuedConnection);
  });
  mdiArea_->addSubWindow(child);
  child->showMaximized();
  child->initialUpdate();
  updateTitles(&child->document());
  widget.setFocus();
  updateMenus();
  updateCommandState();
  return child;
}

std::vector<CChildFrame*> CMainFrame::childrenOf(const GuiDocument* document) const {
  std::vector<CChildFrame*> result;
  for (QMdiSubWindow* w : mdiArea_->subWindowList(QMdiArea::CreationOrder))
    if (auto* c = qobject_cast<CChildFrame*>(w); c && !c->isClosing() && &c->document() == document)
      result.push_back(c);
  return result;
}

void CMainFrame::updateTitles(const GuiDocument* document) {
  const std::vector<CChildFrame*> children = childrenOf(document);
  // One window shows the document's name; several are numbered "name:1", "name:2".
  for (size_t i = 0; i < children.size(); ++i)
    children[i]->setWindowTitle(children.size() == 1 ? document->title
                                                      : QString("%1:%2").arg(document->title).arg(i + 1));
}

CChildFrame* CMainFrame::newDocument() {
  auto document = std::make_shared<GuiDocument>();
  document->doc.OnNewDocument();
  document->title = QString("Vilmor%1").arg(++untitledCount_);
  return createChild(document);
}

CChildFrame* CMainFrame::openDocument(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  // A document already open is brought forward rather than read twice.
  for (QMdiSubWindow* w : mdiArea_->subWindowList()) {
    auto* c = qobject_cast<CChildFrame*>(w);
    if (c && !c->isClosing() && QFileInfo(QString::fromStdString(c->document().doc.pathName())).absoluteFilePath() == full) {
      mdiArea_->setActiveSubWindow(c);
      return c;
    }
  }
  auto document = std::make_shared<GuiDocument>();
  statusBar()->showMessage(tr("Opening %1...").arg(QFileInfo(full).fileName()));
  statusBar()->repaint();
  const bool opened = document->doc.OnOpenDocument(full.toStdString());
  statusBar()->clearMessage();
  if (!opened) return nullptr;
  document->title = QFileInfo(full).fileName();
  addRecentFile(full);
  return createChild(document);
}

CChildFrame* CMainFrame::importIntoNewDocument(const QString& path) {
  CChildFrame* child = newDocument();
  statusBar()->showMessage(tr("Importing %1...").arg(QFileInfo(path).fileName()));
  statusBar()->repaint();
  const auto result = child->document().doc.importFile(QFileInfo(path).absoluteFilePath().toStdString());
  statusBar()->clearMessage();
  if (result == CKavrilonDoc::ImportResult::Failed) {
    // The empty window made for the drop is not left behind.
    child->document().doc.SetModifiedFlag(false);
    child->close();
    return nullptr;
  }
  updateCommandState();
  return child;
}

void CMainFrame::openDroppedFiles(const QStringList& paths) {
  // Meshes of other programs (.msh, .vtk, .vtu, .inp) are imported as .s3d
  // ones are: the document's import tells them by their extension.
  for (const QString& path : paths) {
    if (endsWithIgnoringCase(path, ".b3d")) {
      openDocument(path);
    } else if (endsWithIgnoringCase(path, ".s3d") || !foreignMeshExtension(path.toStdString()).empty()) {
      importIntoNewDocument(path);
    } else {
      ui().messageBox(QString("WARNING\nKavrilon opens .b3d documents and imports meshes (.s3d, .msh, .vtk, .vtu, "
                              ".inp).\n%1 is none of these.")
                          .arg(QFileInfo(path).fileName())
                          .toStdString());
    }
  }
}

CChildFrame* CMainFrame::newWindow() {
  CChildFrame* current = activeChild();
  if (!current) return nullptr;
  return createChild(current->sharedDocument());
}

bool CMainFrame::canCloseChild(CChildFrame* child) {
  GuiDocument& document = child->document();
  return childrenOf(&document).size() > 1 || askToSave(document);
}

bool CMainFrame::askToSave(GuiDocument& document) {
  if (!document.doc.IsModified()) return true;
  const auto answer = QMessageBox::question(this, "kavrilon", QString("Save changes to %1?").arg(document.title),
                                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return false;
  return answer == QMessageBox::No || fileSave(document);
}

void CMainFrame::fileOpen() {
  FileDialogOptions options;
  options.defaultExtension = "b3d";
  options.filter = kDocumentFilter;
  if (const auto path = ui().openFileDialog(options)) openDocument(QString::fromStdString(*path));
}

bool CMainFrame::fileSave(GuiDocument& document) {
  const std::string& path = document.doc.pathName();
  if (path.empty()) return fileSaveAs(document);
  WaitCursor wait;
  if (!document.doc.OnSaveDocument(path)) return false;
  addRecentFile(QString::fromStdString(path));
  return true;
}

bool CMainFrame::fileSaveAs(GuiDocument& document) {
  FileDialogOptions options;
  options.defaultExtension = "b3d";
  options.filter = kDocumentFilter;
  options.promptOverwrite = true;
  const QString current = QString::fromStdString(document.doc.pathName());
  options.initialName = (current.isEmpty() ? document.title + ".b3d" : QFileInfo(current).fileName()).toStdString();
  const auto path = ui().saveFileDialog(options);
  if (!path) return false;
  {
    WaitCursor wait;
    if (!document.doc.OnSaveDocument(*path)) return false;
  }
  document.title = QFileInfo(QString::fromStdString(*path)).fileName();
  updateTitles(&document);
  addRecentFile(QString::fromStdString(*path));
  return true;
}

void CMainFrame::fileClose() {
  CChildFrame* child = activeChild();
  if (!child) return;
  // Asked once for the document, then every window of it closes.
  GuiDocument& document = child->document();
  if (!askToSave(document)) return;
  for (CChildFrame* c : childrenOf(&document)) {
    c->setCloseGuard({});
    c->close();
  }
}

// --- printing ---

void CMainFrame::printImage(QPrinter* printer) {
  CChildFrame* child = activeChild();
  if (!child) return;
  child->viewWidget().renderNow();
  auto* image = dynamic_cast<RasterDC*>(child->view().image());
  if (!image) return;
  // The view's picture at its own pixel size, at the top left of the page.
  QPainter painter(printer);
  painter.drawImage(QPoint(0, 0), image->image().qimage());
}

void CMainFrame::filePrint() {
  if (!activeChild()) return;
  QPrintDialog dialog(&printer_, this);
  if (dialog.exec() == QDialog::Accepted) printImage(&printer_);
}

void CMainFrame::filePrintPreview() {
  if (!activeChild()) return;
  QPrintPreviewDialog dialog(&printer_, this);
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &CMainFrame::printImage);
  dialog.exec();
}

void CMainFrame::filePrintSetup() {
  QPageSetupDialog dialog(&printer_, this);
  dialog.exec();
}

// --- help and windows ---

void CMainFrame::helpTopics() {
  // The user guide where the package installs it, beside the program's folder.
  const QString guide = QDir(QCoreApplication::applicationDirPath()).filePath("../share/doc/kavrilon/USER_GUIDE.md");
  if (QFileInfo::exists(guide) && QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(guide).canonicalFilePath())))
    return;
  ui().messageBox("Help topics are not available yet.\nThe user guide is docs/USER_GUIDE.md in the sources.");
}

void CMainFrame::about() {
  AboutDialog dialog(this);
  dialog.exec();
}

void CMainFrame::tileWindows(Qt::Orientation orientation) {
  std::vector<QMdiSubWindow*> windows;
  for (QMdiSubWindow* w : mdiArea_->subWindowList(QMdiArea::StackingOrder))
    if (!w->isMinimized() && w->isVisible()) windows.push_back(w);
  if (windows.empty()) return;
  const QRect area = mdiArea_->viewport()->rect();
  const int n = static_cast<int>(windows.size());
  for (int i = 0; i < n; ++i) {
    windows[i]->showNormal();
    // Vertical: one above the other, full width; horizontal: side by side, full height.
    if (orientation == Qt::Vertical) {
      const int top = area.height() * i / n, bottom = area.height() * (i + 1) / n;
      windows[i]->setGeometry(0, top, area.width(), bottom - top);
    } else {
      const int left = area.width() * i / n, right = area.width() * (i + 1) / n;
      windows[i]->setGeometry(left, 0, right - left, area.height());
    }
  }
}

void CMainFrame::updateWindowList(QMenu* menu) {
  for (QAction* a : windowListActions_) {
    menu->removeAction(a);
    a->deleteLater();
  }
  windowListActions_.clear();
  int number = 0;
  for (QMdiSubWindow* w : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
    auto* child = qobject_cast<CChildFrame*>(w);
    if (!child || child->isClosing() || number == 9) continue;
    if (number == 0) windowListActions_.push_back(menu->addSeparator());
    QAction* a = menu->addAction(QString("&%1 %2").arg(++number).arg(child->windowTitle()));
    a->setCheckable(true);
    a->setChecked(child == activeChild());
    a->setStatusTip("Activates this window.");
    connect(a, &QAction::triggered, this, [this, child] { mdiArea_->setActiveSubWindow(child); });
    windowListActions_.push_back(a);
  }
}

void CMainFrame::arrangeIcons() {
  int x = 0;
  const int bottom = mdiArea_->viewport()->height();
  for (QMdiSubWindow* w : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
    if (!w->isMinimized()) continue;
    w->move(x, bottom - w->height());
    x += w->width();
  }
}

// --- closing and dropping ---

void CMainFrame::closeEvent(QCloseEvent* event) {
  mdiArea_->closeAllSubWindows();
  for (QMdiSubWindow* w : mdiArea_->subWindowList()) {
    if (auto* c = qobject_cast<CChildFrame*>(w); c && !c->isClosing()) {
      event->ignore();
      return;
    }
  }
  writeSettings();
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (!event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls())
    if (!url.isLocalFile()) return;
  event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  event->acceptProposedAction();
  openDroppedFiles(paths);
}
