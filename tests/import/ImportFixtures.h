#pragma once
// The committed meshes of other programs, read through the public import
// call, and a summary of each layer for comparing formats.

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "import/F_MeshImport.h"
#include <gtest/gtest.h>

#include "support/TestSupport.h"

inline std::string fixturePath(const std::string& name) {
  return std::string(KAVRILON_SOURCE_DIR) + "/tests/import/data/" + name;
}

// What a layer is, whatever the format numbered it: counts and extent.
struct LayerShape {
  int elements, points, specialNodes;
  double lo[3], hi[3];
  auto key() const { return std::tie(elements, points, specialNodes); }
  bool operator<(const LayerShape& o) const { return key() < o.key(); }
};

inline std::vector<LayerShape> shapesOf(const F_S3dMesh& mesh) {
  std::vector<LayerShape> shapes;
  for (const F_S3dLayer& layer : mesh.layers) {
    LayerShape s{layer.elementCount(), layer.pointCount(), layer.specialNodeCount(), {1e30, 1e30, 1e30},
                 {-1e30, -1e30, -1e30}};
    for (const F_Point3D& p : layer.points) {
      const double xyz[3] = {p.x, p.y, p.z};
      for (int k = 0; k < 3; ++k) {
        s.lo[k] = std::min(s.lo[k], xyz[k]);
        s.hi[k] = std::max(s.hi[k], xyz[k]);
      }
    }
    shapes.push_back(s);
  }
  std::sort(shapes.begin(), shapes.end());
  return shapes;
}

// Reads a fixture; the messages it showed land in `shown`.
inline bool importFixture(const std::string& name, F_S3dMesh& mesh, F_NodeFields* fields = nullptr,
                          std::vector<std::string>* shown = nullptr) {
  RecordingUi ui;
  const bool ok = importMeshFile(fixturePath(name), mesh, fields);
  if (shown) *shown = ui->messages();
  return ok;
}

// A read of bytes in memory as the file /tmp/t.EXT.
struct ImportRun {
  bool ok = false;
  F_S3dMesh mesh;
  F_NodeFields fields;
  std::vector<std::string> shown;
  std::string last() const { return shown.empty() ? "" : shown.back(); }
};

inline ImportRun importBytes(const std::string& bytes, const std::string& extension) {
  RecordingUi ui;
  ImportRun run;
  auto file = F_InputFile::fromMemory(bytes, "/tmp/t." + extension);
  try {
    readMeshFile(*file, extension, run.mesh, &run.fields);
    run.ok = true;
  } catch (const F_UserException&) {
  }
  run.shown = ui->messages();
  return run;
}

// importBytes on one thread and on two, KAVRILON_THREADS left unset after.
inline std::pair<ImportRun, ImportRun> importOnOneAndTwo(const std::string& bytes, const std::string& extension) {
  setenv("KAVRILON_THREADS", "1", 1);
  ImportRun one = importBytes(bytes, extension);
  setenv("KAVRILON_THREADS", "2", 1);
  ImportRun two = importBytes(bytes, extension);
  unsetenv("KAVRILON_THREADS");
  return {std::move(one), std::move(two)};
}

// The read-error box of /tmp/t.EXT.
inline std::string importError(const std::string& extension, const std::string& message, int line) {
  return readErrorText("t." + extension, "/tmp/t." + extension, message, line);
}

// A read of `bytes` as /tmp/t.EXT that fails with exactly one box: `message`
// at `line`.
inline void expectRefused(const std::string& bytes, const std::string& extension, const std::string& message,
                          int line) {
  const ImportRun run = importBytes(bytes, extension);
  EXPECT_FALSE(run.ok);
  ASSERT_EQ(run.shown.size(), 1u);
  EXPECT_EQ(run.shown[0], importError(extension, message, line));
}

// The shape of random node lines: an id of 1 to `idDigits` digits, then
// three reals, each maybe negative, of 1 to `wholeDigits` digits and, four
// times in five, a point and 0 to `fractionDigits` - 1 digits more; one
// separator in four is `otherBlank`, the rest a blank.
struct RandomNodeLines {
  int idDigits, wholeDigits, fractionDigits;
  const char* otherBlank;
  std::string operator()(std::mt19937_64& random) const {
    auto digits = [&](int n) {
      std::string s;
      for (int k = 0; k < n; ++k) s += static_cast<char>('0' + random() % 10);
      return s;
    };
    std::string line = digits(1 + static_cast<int>(random() % static_cast<unsigned>(idDigits)));
    for (int k = 0; k < 3; ++k) {
      line += random() % 4 ? " " : otherBlank;
      if (random() % 2) line += "-";
      line += digits(1 + static_cast<int>(random() % static_cast<unsigned>(wholeDigits)));
      if (random() % 5) line += "." + digits(static_cast<int>(random() % static_cast<unsigned>(fractionDigits)));
    }
    return line;
  }
};
