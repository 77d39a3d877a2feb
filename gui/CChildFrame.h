#pragma once
// One window onto a document inside the main frame's MDI area: a sub-window
// holding the view widget and the CKavrilonView it hosts. A document lives as
// long as one of its windows does; the last window to close releases it.

#include <functional>
#include <memory>

#include <QMdiSubWindow>
#include <QString>

#include "app/CKavrilonDoc.h"

class CKavrilonView;
class ViewWidget;

// A document as the shell keeps it: the document and the name its windows show.
struct GuiDocument {
  CKavrilonDoc doc;
  QString title;  // "Vilmor1" for a new document, else the file's name
};

class CChildFrame : public QMdiSubWindow {
  Q_OBJECT

 public:
  CChildFrame(std::shared_ptr<GuiDocument> document, QWidget* parent = nullptr);
  ~CChildFrame() override;

  GuiDocument& document() const { return *document_; }
  const std::shared_ptr<GuiDocument>& sharedDocument() const { return document_; }
  CKavrilonView& view() const { return *view_; }
  ViewWidget& viewWidget() const { return *widget_; }
  // The view's first update, once the window is shown at its size.
  void initialUpdate();
  // True once the window has agreed to close.
  bool isClosing() const { return closing_; }

  // Asked before the window closes; false keeps it open.
  void setCloseGuard(std::function<bool(CChildFrame*)> guard) { guard_ = std::move(guard); }

 signals:
  void closed(CChildFrame* frame);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The document outlives the view, which unregisters from it when destroyed.
  std::shared_ptr<GuiDocument> document_;
  ViewWidget* widget_;
  std::unique_ptr<CKavrilonView> view_;
  std::function<bool(CChildFrame*)> guard_;
  bool closing_ = false;
};
