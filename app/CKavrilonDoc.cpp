#include "app/CKavrilonDoc.h"

#include "include/F_FileTransfer.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <unistd.h>

#include "import/F_MeshImport.h"
#include "include/F_Errors.h"
#include "include/F_File.h"
#include "platform/UiServices.h"

namespace {

const char* const kS3dSaveFilter = "Kavrilon Text File (*.s3d)|*.s3d||";

// The companion .cfg of a mesh path: its last three characters replaced by
// "cfg". Names that end in no mesh extension (chosen through "All Files") have none.
std::string companionCfgPath(const std::string& path) {
  if (path.size() < 4 || path[path.size() - 4] != '.') return "";
  std::string tail = path.substr(path.size() - 3);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  if (tail != "s3d" && foreignMeshExtension(path).empty()) return "";
  std::string cfg = path;
  cfg.replace(cfg.size() - 3, 3, "cfg");
  return cfg;
}

// A sibling of `path` that no other save of this process is writing.
std::string temporaryPathBeside(const std::string& path) {
  std::filesystem::path p(path);
  std::string name = ".";
  name += p.filename().string();
  name += '.';
  name += std::to_string(::getpid());
  name += ".tmp";
  return (p.parent_path() / name).string();
}

}  // namespace

void CKavrilonDoc::Serialize(F_Archive& ar) {
  if (ar.isStoring()) {
    ar.writeString(kHeader);
    const unsigned char mark[3] = {13, 10, 26};
    ar.writeBytes(mark, 3);
    mesh.Serialize(ar);
    displayOptions.Serialize(ar);
    ar.writeString(kTrailer);
    return;
  }
  if (ar.readString("header") != kHeader) F_Archive::fail("header");
  unsigned char mark[3];
  ar.readBytes(mark, 3, "header mark");  // read, not compared
  mesh.Serialize(ar);
  displayOptions.Serialize(ar);
  if (ar.readString("trailer") != kTrailer) F_Archive::fail("trailer");
  // The drawing indexes points by these numbers and options by layer: a file
  // that breaks either would stop the program later, so it is refused here.
  // Files the program writes always pass.
  if (displayOptions.layerCount() != mesh.layerCount()) F_Archive::fail("layer context count");
  for (const auto& layer : mesh.layers) {
    if (!layer.nodesInRange()) F_Archive::fail("node numbers");
  }
}

void CKavrilonDoc::OnNewDocument() {
  mesh = F_S3dMesh();
  nodeFields = F_NodeFields();
  displayOptions = F_DisplayOptions();
  modified_ = false;
  pathName_.clear();
}

bool CKavrilonDoc::OnOpenDocument(const std::string& path) {
  // A document that cannot be read, for whatever reason, is refused with the
  // one message every failed open shows.
  auto file = F_InputFile::open(path);
  if (!file) {
    ui().messageBox("Unexpected file format.", MessageIcon::Exclamation);
    return false;
  }
  WaitCursor wait;
  F_S3dMesh newMesh;
  F_DisplayOptions newOptions;
  try {
    CKavrilonDoc fresh;
    F_Archive ar(*file);
    fresh.Serialize(ar);
    newMesh = std::move(fresh.mesh);
    newOptions = std::move(fresh.displayOptions);
  } catch (const F_ArchiveException&) {
    ui().messageBox("Unexpected file format.", MessageIcon::Exclamation);
    return false;
  }
  mesh = std::move(newMesh);
  nodeFields = F_NodeFields();
  displayOptions = std::move(newOptions);
  modified_ = false;
  pathName_ = path;
  UpdateAllViews();
  return true;
}

bool CKavrilonDoc::OnSaveDocument(const std::string& path) {
  const std::string temporary = temporaryPathBeside(path);
  bool written = false;
  {
    WaitCursor wait;
    auto file = F_OutputFile::create(temporary, F_OutputFile::Mode::Binary);
    if (file) {
      F_Archive ar(*file);
      Serialize(ar);
      written = file->close();
    }
  }
  std::error_code ec;
  if (written) std::filesystem::rename(temporary, path, ec);
  if (!written || ec) {
    std::filesystem::remove(temporary, ec);
    ui().messageBox("Failed to save document.", MessageIcon::Exclamation);
    return false;
  }
  modified_ = false;
  pathName_ = path;
  return true;
}

void CKavrilonDoc::OnFileImport() {
  FileDialogOptions dialog;
  dialog.defaultExtension = "s3d";
  dialog.initialName = "*.s3d";
  dialog.filter = meshImportFilter();
  auto path = ui().openFileDialog(dialog);
  if (!path) return;
  importFile(*path);
}

CKavrilonDoc::ImportResult CKavrilonDoc::importFile(const std::string& path, bool offerCompanion) {
  {
    F_S3dMesh fresh;
    F_NodeFields freshFields;
    // Meshes of other programs by their extension; everything else is .s3d text.
    const std::string foreign = foreignMeshExtension(path);
    if (!readWholeFile(path, [&](F_InputFile& file) {
          if (foreign.empty()) {
            fresh.readS3d(file);
          } else {
            readMeshFile(file, foreign, fresh, &freshFields);
          }
        }))
      return ImportResult::Failed;
    mesh = std::move(fresh);
    nodeFields = std::move(freshFields);
  }
  displayOptions.resetForImportedMesh(mesh.layerCount());
  SetModifiedFlag();
  UpdateAllViews();

  // The views are updated once more at the end, whatever became of the
  // companion file, except after a companion read error.
  const std::string cfgPath = offerCompanion ? companionCfgPath(path) : "";
  if (!cfgPath.empty() && F_InputFile::open(cfgPath) &&
      ui().askYesNo("Import display options from the file:\n" + absolutePathOf(cfgPath))) {
    F_DisplayOptions read;
    // The error has been shown; the mesh and the reset options stay.
    if (!read.readCfgFile(cfgPath)) return ImportResult::CompanionFailed;
    displayOptions.applyReadOptions(read, mesh.layerCount());
  }
  UpdateAllViews();
  return ImportResult::Imported;
}

void CKavrilonDoc::OnFileExport() {
  FileDialogOptions dialog;
  dialog.defaultExtension = "s3d";
  dialog.initialName = "*.s3d";
  dialog.filter = kS3dSaveFilter;
  dialog.promptOverwrite = true;
  auto path = ui().saveFileDialog(dialog);
  if (!path) return;
  exportFile(*path);
}

bool CKavrilonDoc::exportFile(const std::string& path) const {
  return writeWholeFile(path, F_OutputFile::Mode::Text, [&](F_OutputFile& file) {
    mesh.writeS3d(file);
    return true;
  });
}

bool CKavrilonDoc::isImportEnabled(const DocumentView* activeView) const {
  return !(activeView && activeView->isViewPointMode());
}

bool CKavrilonDoc::isExportEnabled(const DocumentView* activeView) const {
  return mesh.layerCount() >= 1 && isImportEnabled(activeView);
}

void CKavrilonDoc::setDefaultOptions(const F_DisplayOptions& options) {
  displayOptions = options;
  SetModifiedFlag();
}

void CKavrilonDoc::addView(DocumentView* view) {
  if (view && std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
}

void CKavrilonDoc::removeView(DocumentView* view) { std::erase(views_, view); }

void CKavrilonDoc::UpdateAllViews() {
  // A copy, so a view may add or remove views while it updates.
  const std::vector<DocumentView*> views = views_;
  for (DocumentView* view : views) view->updateFromDocument();
}
