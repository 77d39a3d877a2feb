#include "fuzz/FuzzTargets.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CKavrilonDoc.h"
#include "common/F_LayerContext.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScalarField.h"
#include "import/F_MeshImport.h"
#include "include/F_Archive.h"
#include "include/F_Errors.h"
#include "include/F_File.h"
#include "platform/headless/HeadlessUi.h"

namespace {

// Message boxes are recorded, not printed: a fuzz run shows thousands.
struct QuietUi {
  HeadlessUi ui{nullptr};
  UiServices* previous = installUiServices(&ui);
  ~QuietUi() { installUiServices(previous); }
};

std::unique_ptr<F_InputFile> streamOf(const std::uint8_t* data, std::size_t size, const char* name) {
  return F_InputFile::fromMemory(std::string(reinterpret_cast<const char*>(data), size), name);
}

// Keeps the input that broke a rule beside the run, then stops like a crash.
[[noreturn]] void fault(const char* what, const std::uint8_t* data, std::size_t size, const char* keepAs) {
  std::fprintf(stderr, "%s; the input is kept in %s\n", what, keepAs);
  if (std::FILE* f = std::fopen(keepAs, "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  std::abort();
}

}  // namespace

void fuzzS3d(const std::uint8_t* data, std::size_t size) {
  QuietUi quiet;
  auto file = streamOf(data, size, "/fuzz/input.s3d");
  F_S3dMesh mesh;
  try {
    mesh.readS3d(*file);
  } catch (const F_UserException&) {
    return;
  }
  // What was accepted must write and read back to the same shape.
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  mesh.writeS3d(*out);
  out->close();
  auto again = F_InputFile::fromMemory(out->bytes(), "/fuzz/again.s3d");
  F_S3dMesh back;
  try {
    back.readS3d(*again);
  } catch (const F_UserException&) {
    fault("an accepted mesh did not read back", data, size, "fuzz-failure.s3d");
  }
  bool same = back.layerCount() == mesh.layerCount();
  for (int i = 1; same && i <= mesh.layerCount(); ++i) {
    const auto& a = mesh.layer(i);
    const auto& b = back.layer(i);
    same = a.elements == b.elements && a.specialNodes == b.specialNodes && a.pointCount() == b.pointCount();
  }
  if (!same) {
    fault("an accepted mesh read back different", data, size, "fuzz-failure.s3d");
  }
}

void fuzzB3d(const std::uint8_t* data, std::size_t size) {
  QuietUi quiet;
  auto file = streamOf(data, size, "/fuzz/input.b3d");
  CKavrilonDoc doc;
  try {
    F_Archive ar(*file);
    doc.Serialize(ar);
  } catch (const F_ArchiveException&) {
    return;
  }
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
  F_Archive ar(*out);
  doc.Serialize(ar);
}

void fuzzCfg(const std::uint8_t* data, std::size_t size) {
  QuietUi quiet;
  auto file = streamOf(data, size, "/fuzz/input.cfg");
  F_DisplayOptions options;
  try {
    options.readCfg(*file);
  } catch (const F_UserException&) {
    return;
  }
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  options.writeCfg(*out);
}

void fuzzPva(const std::uint8_t* data, std::size_t size) {
  QuietUi quiet;
  auto file = streamOf(data, size, "/fuzz/input.pva");
  try {
    (void)readScalarField(*file);
  } catch (const F_UserException&) {
  }
}

namespace {

// An accepted import must be a mesh the rest of the program can draw: every
// node in its layer, only drawable node counts, node data the size of each layer.
void fuzzImport(const std::uint8_t* data, std::size_t size, const char* extension) {
  QuietUi quiet;
  const std::string name = std::string("/fuzz/input.") + extension;
  auto file = streamOf(data, size, name.c_str());
  F_S3dMesh mesh;
  F_NodeFields fields;
  try {
    readMeshFile(*file, extension, mesh, &fields);
  } catch (const F_UserException&) {
    return;
  }
  const std::string keep = std::string("fuzz-failure.") + extension;
  if (mesh.layerCount() == 0) fault("an import with nothing to show was accepted", data, size, keep.c_str());
  for (int i = 1; i <= mesh.layerCount(); ++i) {
    const F_S3dLayer& layer = mesh.layer(i);
    if (!layer.nodesInRange()) fault("an imported layer names a point it does not have", data, size, keep.c_str());
    for (const F_S3dElement& e : layer.elements) {
      const int n = e.nodeCount();
      if (n != 2 && n != 3 && n != 4 && n != 6 && n != 8 && n != 9) {
        fault("an imported element has a node count that cannot be drawn", data, size, keep.c_str());
      }
    }
    for (const F_NodeField& f : fields.fields) {
      const std::optional<F_VectorReal> values = fields.layerField(i, f.name);
      if (!values || values->size() != layer.pointCount()) {
        fault("imported node data does not fit its layer", data, size, keep.c_str());
      }
    }
  }
}

}  // namespace

void fuzzMsh(const std::uint8_t* data, std::size_t size) { fuzzImport(data, size, "msh"); }
void fuzzVtk(const std::uint8_t* data, std::size_t size) { fuzzImport(data, size, "vtk"); }
void fuzzVtu(const std::uint8_t* data, std::size_t size) { fuzzImport(data, size, "vtu"); }
void fuzzInp(const std::uint8_t* data, std::size_t size) { fuzzImport(data, size, "inp"); }
