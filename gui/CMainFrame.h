#pragma once
// The main window: the MDI area with one sub-window per view, the two menu
// bars (no document open / a document window active), the five toolbars and
// the status bar. Every command's action is built once from the command table
// and shared by menu and toolbar; whether it is enabled or checked is asked of
// the active view after everything that can change it.

#include <map>
#include <memory>
#include <vector>

#include <QMainWindow>
#include <QPrinter>
#include <QStringList>

#include "app/CommandTable.h"

class CChildFrame;
class CKavrilonView;
class QLabel;
class QMdiArea;
class QMenu;
class QSettings;
struct GuiDocument;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kRecentFileCount = 4;
  static constexpr const char* kDocumentFilter = "Kavrilon Binary Files (*.b3d)|*.b3d|All Files (*.*)|*.*||";
  static constexpr const char* kIdleText = "For Help, press F1 (not available yet)";

  // `settings` holds the recent-file list; not owned, may be null.
  explicit CMainFrame(QSettings* settings = nullptr);
  ~CMainFrame() override;

  // --- the framework's document commands ---
  // File New: an empty document in a new window.
  CChildFrame* newDocument();
  // File Open of `path`: the window of a document already open from it, or a
  // new one; nullptr after the failure was shown.
  CChildFrame* openDocument(const QString& path);
  // A mesh file dropped on the window: imported into a new document; nullptr
  // (and no window left behind) when it could not be read.
  CChildFrame* importIntoNewDocument(const QString& path);
  // Files dropped on the window: .b3d opened, .s3d imported.
  void openDroppedFiles(const QStringList& paths);
  // Window > New Window: one more view of the active document.
  CChildFrame* newWindow();

  CChildFrame* activeChild() const;
  CKavrilonView* activeView() const;
  QMdiArea* mdiArea() const { return mdiArea_; }

  // The action of a command-table row, a framework command or a toolbar toggle.
  QAction* commandAction(int id) const;
  QAction* axisTriadAction() const { return axisTriadAction_; }
  QToolBar* toolBar(Toolbar bar) const;
  QStringList recentFiles() const { return recentFiles_; }
  // The active view's picture on `printer`: Print and Print Preview draw with it.
  void printImage(QPrinter* printer);
  // Enabled states and check marks from the active view, for every action.
  void updateCommandState();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createActions();
  void createMenus();
  void createToolBars();
  void createStatusBar();
  void readSettings();
  void writeSettings();

  QAction* addFrameworkAction(int id, const QString& text, const QString& prompt, const QString& shortcut = {});
  void runCommand(int id);
  CChildFrame* createChild(const std::shared_ptr<GuiDocument>& document);
  std::vector<CChildFrame*> childrenOf(const GuiDocument* document) const;
  void updateTitles(const GuiDocument* document);
  void updateMenus();
  void updateRecentFileActions();
  void addRecentFile(const QString& path);
  // Asks about unsaved changes when the last window of a document closes.
  bool canCloseChild(CChildFrame* child);
  // Save changes? Yes saves (true when saved), No drops them, Cancel keeps the document.
  bool askToSave(GuiDocument& document);

  void fileOpen();
  bool fileSave(GuiDocument& document);
  bool fileSaveAs(GuiDocument& document);
  void fileClose();
  void filePrint();
  void filePrintPreview();
  void filePrintSetup();
  void helpTopics();
  void about();
  void tileWindows(Qt::Orientation orientation);
  void arrangeIcons();
  // The numbered list of windows at the end of the Window menu.
  void updateWindowList(QMenu* menu);

  QSettings* settings_;
  QMdiArea* mdiArea_;
  std::map<int, QAction*> actions_;
  std::map<Toolbar, QToolBar*> toolBars_;
  QAction* statusBarAction_ = nullptr;
  QAction* axisTriadAction_ = nullptr;
  QAction* recentPlaceholder_ = nullptr;
  QAction* recentActions_[kRecentFileCount] = {};
  QMenu* toolbarsMenu_ = nullptr;
  std::vector<QMenu*> noDocumentMenus_;  // menu bar 128
  std::vector<QMenu*> documentMenus_;    // menu bar 129
  std::vector<QAction*> windowListActions_;
  bool showingDocumentMenus_ = false;
  QLabel* idleLabel_ = nullptr;
  std::vector<QLabel*> lockLabels_;  // CAP, NUM, SCRL
  QStringList recentFiles_;
  int untitledCount_ = 0;
  QPrinter printer_;
};
