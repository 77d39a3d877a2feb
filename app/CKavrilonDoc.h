#pragma once
// The document: one mesh and the default display options of new views, stored
// as a .b3d file, filled by importing an .s3d file (with its companion .cfg)
// and exported back as .s3d. Toolkit-free: dialogs, boxes and the wait cursor
// go through ui().

#include <string>
#include <vector>

#include "app/DocumentView.h"
#include "common/F_LayerContext.h"
#include "common/F_S3dMesh.h"
#include "import/F_NodeFields.h"
#include "include/F_Archive.h"

class CKavrilonDoc {
 public:
  static constexpr const char* kHeader = "kavrilon binary document version 3.0";
  static constexpr const char* kTrailer = "END_OF_FILE";

  CKavrilonDoc() = default;
  virtual ~CKavrilonDoc() = default;
  CKavrilonDoc(const CKavrilonDoc&) = delete;
  CKavrilonDoc& operator=(const CKavrilonDoc&) = delete;

  // The whole .b3d file. Loading throws F_ArchiveException at the first fault
  // and then leaves mesh and options partly read: load into a fresh document.
  virtual void Serialize(F_Archive& ar);

  // File New: an empty mesh, default options, not modified, no path.
  void OnNewDocument();
  // File Open: the document is replaced only when the whole file is sound;
  // otherwise "Unexpected file format." is shown and false returned.
  bool OnOpenDocument(const std::string& path);
  // File Save / Save As: written to a temporary file beside `path` and renamed
  // over it, so a failed save ("Failed to save document.") keeps the old file.
  bool OnSaveDocument(const std::string& path);

  // File Import: the file dialog, then importFile.
  void OnFileImport();
  enum class ImportResult {
    Failed,          // the mesh could not be read; the document is unchanged
    Imported,        // mesh read; companion taken, declined, absent or of another layer count
    CompanionFailed  // mesh read, the companion .cfg could not be read: reset options kept
  };
  // The import of one .s3d file, or of another program's mesh file chosen by
  // its extension (.msh, .vtk, .vtu, .inp): read, reset of the options, update of the
  // views, then the companion .cfg (asked for unless `offerCompanion` is false).
  // Every failure has been shown when this returns.
  ImportResult importFile(const std::string& path, bool offerCompanion = true);
  // File Export: the file dialog, then exportFile.
  void OnFileExport();
  // Writes the mesh as .s3d text; false after the failure was shown.
  bool exportFile(const std::string& path) const;

  // Command enabling; `activeView` may be null.
  bool isImportEnabled(const DocumentView* activeView) const;
  bool isExportEnabled(const DocumentView* activeView) const;

  // "Set As Default": the view's options become the document's.
  void setDefaultOptions(const F_DisplayOptions& options);

  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }
  // The file the document was opened from or saved to; empty for a new one.
  const std::string& pathName() const { return pathName_; }

  // Views are not owned; a view removes itself before it goes away.
  void addView(DocumentView* view);
  void removeView(DocumentView* view);
  const std::vector<DocumentView*>& views() const { return views_; }
  void UpdateAllViews();

  F_S3dMesh mesh;
  F_DisplayOptions displayOptions;
  // The node data of an imported mesh file, empty for every other source.
  F_NodeFields nodeFields;

 private:
  bool modified_ = false;
  std::string pathName_;
  std::vector<DocumentView*> views_;
};
