#pragma once
// What a document needs of the views that show it. CKavrilonView implements
// it; the document keeps non-owning pointers and notifies them after every
// change of its mesh or options.

class DocumentView {
 public:
  virtual ~DocumentView() = default;
  // Takes fresh copies of the document's mesh and options (drops zoom, angles,
  // current layer and scalar field) and invalidates the window.
  virtual void updateFromDocument() = 0;
  // Import and Export are disabled while the active view is in view-point mode.
  virtual bool isViewPointMode() const = 0;
};
