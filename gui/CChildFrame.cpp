#include "gui/CChildFrame.h"

#include <QCloseEvent>

#include "app/CKavrilonView.h"
#include "gui/ViewWidget.h"

CChildFrame::CChildFrame(std::shared_ptr<GuiDocument> document, QWidget* parent)
    : QMdiSubWindow(parent), document_(std::move(document)), widget_(new ViewWidget(this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(widget_);
  setWindowTitle(document_->title);
  view_ = std::make_unique<CKavrilonView>(document_->doc, *widget_);
  widget_->setView(view_.get());
}

CChildFrame::~CChildFrame() {
  // The widget is deleted after this body with the sub-window; it must not reach the view.
  widget_->setView(nullptr);
}

void CChildFrame::initialUpdate() {
  if (DeviceContext* dc = widget_->clientDC()) view_->OnInitialUpdate(*dc);
  widget_->invalidate();
}

void CChildFrame::closeEvent(QCloseEvent* event) {
  if (!closing_ && guard_ && !guard_(this)) {
    event->ignore();
    return;
  }
  closing_ = true;
  QMdiSubWindow::closeEvent(event);
  emit closed(this);
}
