#include "import/F_MeshImport.h"

#include <algorithm>
#include <cctype>

#include "import/F_MeshBuilder.h"
#include "import/gmsh/F_GmshReader.h"
#include "import/inp/F_InpReader.h"
#include "import/vtk/F_VtkLegacyReader.h"
#include "import/vtk/F_VtuReader.h"
#include "include/F_Errors.h"
#include "include/F_FileTransfer.h"
#include "platform/UiServices.h"

namespace {

const F_MeshFileFilter kFilters[] = {
    {"Kavrilon Text File", "*.s3d"},
    {"Gmsh Mesh", "*.msh"},
    {"VTK Mesh", "*.vtk;*.vtu"},
    {"Abaqus/CalculiX Input", "*.inp"},
};

using Reader = void (*)(F_InputFile&, F_MeshBuilder&);

const struct {
  const char* extension;
  Reader read;
} kReaders[] = {
    {"msh", readGmsh},
    {"inp", readInp},
    {"vtk", readVtkLegacy},
    {"vtu", readVtu},
};

}  // namespace

std::span<const F_MeshFileFilter> meshFileFilters() { return kFilters; }

std::string meshImportFilter() {
  std::string all;
  for (const auto& f : kFilters) all += (all.empty() ? "" : ";") + std::string(f.patterns);
  std::string text;
  for (const auto& f : kFilters) text += std::string(f.name) + " (" + f.patterns + ")|" + f.patterns + "|";
  return text + "All Meshes (" + all + ")|" + all + "|All Files (*.*)|*.*||";
}

std::string foreignMeshExtension(std::string_view path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return "";
  std::string ext(path.substr(dot + 1));
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const auto& r : kReaders) {
    if (ext == r.extension) return ext;
  }
  return "";
}

void readMeshFile(F_InputFile& file, std::string_view extension, F_S3dMesh& mesh, F_NodeFields* fields) {
  for (const auto& r : kReaders) {
    if (extension != r.extension) continue;
    for (bool guesses = true;; guesses = false) {
      F_MeshBuilder builder(file, guesses);
      try {
        r.read(file, builder);
      } catch (const F_ReadAgain&) {
        if (!guesses) internalError("F_MeshImport", 2);  // a reader guessed when told not to
        if (!file.rewind()) failRead(file, "ERROR\nThe file cannot be read again from its start.", 0);
        continue;
      }
      F_S3dMesh fresh;
      fresh.name = file.name();
      builder.finish(fresh, fields);
      mesh = std::move(fresh);
      return;
    }
  }
  internalError("F_MeshImport", 1);
}

bool importMeshFile(const std::string& path, F_S3dMesh& mesh, F_NodeFields* fields) {
  const std::string extension = foreignMeshExtension(path);
  return readWholeFile(path, [&](F_InputFile& file) { readMeshFile(file, extension, mesh, fields); });
}
