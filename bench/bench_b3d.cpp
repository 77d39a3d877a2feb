// Saving and opening the .b3d document of a large mesh, against a plain read
// of the same file as the baseline (what `cat FILE > /dev/null` costs here).
// Save and open go through the document as File Save and File Open do: the
// temporary file and its rename, and every check of the opened file.
//
// bench_b3d [--quads N] [--runs R] [--dir DIR] [--keep]
// Prints the median MB/s and elements/s of each phase.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/CKavrilonDoc.h"
#include "bench/FileBench.h"
#include "bench/MeshGenerator.h"
#include "platform/headless/HeadlessUi.h"

int main(int argc, char** argv) {
  const FileBenchOptions options = parseFileBenchOptions(argc, argv, "bench_b3d");
  const long long quads = options.quads;
  const int runs = options.runs;
  const std::string& dir = options.dir;
  const bool keep = options.keep;
  HeadlessUi headless(&std::cerr);
  installUiServices(&headless);

  std::filesystem::create_directories(dir);
  const std::string path = dir + "/bench-b3d-" + std::to_string(quads) + ".b3d";

  MeshRecipe recipe;
  recipe.quads = quads;
  CKavrilonDoc source;
  source.mesh = MeshGenerator(recipe).mesh();
  source.displayOptions.resetForImportedMesh(source.mesh.layerCount());
  if (!source.OnSaveDocument(path)) return 1;
  const double bytes = static_cast<double>(std::filesystem::file_size(path));
  const double elements = source.mesh.layer(1).elementCount();
  std::printf("file %s: %.1f MB, %.0f elements, %d points, %d runs per phase\n", path.c_str(), bytes / 1e6, elements,
              source.mesh.layer(1).pointCount(), runs);

  std::vector<Timing> baseline, opening, saving;
  for (int r = 0; r < runs; ++r) {
    baseline.push_back(timeOf([&] {
      if (plainRead(path) != static_cast<std::uint64_t>(bytes)) std::exit(1);
    }));
  }
  for (int r = 0; r < runs; ++r) {
    CKavrilonDoc doc;
    opening.push_back(timeOf([&] {
      if (!doc.OnOpenDocument(path)) std::exit(1);
    }));
    if (r == 0 && !(doc.mesh == source.mesh && doc.displayOptions == source.displayOptions)) {
      std::fprintf(stderr, "bench_b3d: the document opened differs from the one saved\n");
      return 1;
    }
  }
  for (int r = 0; r < runs; ++r) {
    saving.push_back(timeOf([&] {
      if (!source.OnSaveDocument(path)) std::exit(1);
    }));
  }
  report("cat", baseline, bytes, elements);
  report("open", opening, bytes, elements);
  report("save", saving, bytes, elements);
  std::printf("medians of %d runs; target: open and save >= 300 MB/s each\n", runs);

  if (!keep) std::filesystem::remove(path);
  return 0;
}
