#include "fuzz/FuzzTargets.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CKavrilonDoc.h"
#include "common/F_LayerContext.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScalarField.h"
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
  int lineNumber = 1;
  F_S3dMesh mesh;
  try {
    mesh.readS3d(*file, lineNumber);
  } catch (const F_UserException&) {
    return;
  }
  // What was accepted must write and read back to the same shape.
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  mesh.writeS3d(*out);
  out->close();
  auto again = F_InputFile::fromMemory(out->bytes(), "/fuzz/again.s3d");
  F_S3dMesh back;
  lineNumber = 1;
  try {
    back.readS3d(*again, lineNumber);
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
  int lineNumber = 1;
  F_DisplayOptions options;
  try {
    options.readCfg(*file, lineNumber);
  } catch (const F_UserException&) {
    return;
  }
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  options.writeCfg(*out);
}

void fuzzPva(const std::uint8_t* data, std::size_t size) {
  QuietUi quiet;
  auto file = streamOf(data, size, "/fuzz/input.pva");
  int lineNumber = 1;
  try {
    (void)readScalarField(*file, lineNumber);
  } catch (const F_UserException&) {
  }
}
