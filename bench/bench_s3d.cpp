// Reading and writing a large .s3d file, against a plain read of the same
// file as the baseline (what `cat FILE > /dev/null` costs on this machine).
//
// bench_s3d [--quads N] [--runs R] [--dir DIR] [--keep]
// Prints the median MB/s and elements/s of each phase.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bench/FileBench.h"
#include "bench/MeshGenerator.h"
#include "platform/headless/HeadlessUi.h"

int main(int argc, char** argv) {
  const FileBenchOptions options = parseFileBenchOptions(argc, argv, "bench_s3d");
  const long long quads = options.quads;
  const int runs = options.runs;
  const std::string& dir = options.dir;
  const bool keep = options.keep;
  HeadlessUi headless(&std::cerr);
  installUiServices(&headless);

  std::filesystem::create_directories(dir);
  const std::string path = dir + "/bench-s3d-" + std::to_string(quads) + ".s3d";
  const std::string copy = dir + "/bench-s3d-" + std::to_string(quads) + "-out.s3d";

  MeshRecipe recipe;
  recipe.quads = quads;
  const F_S3dMesh generated = MeshGenerator(recipe).mesh();
  {
    auto f = F_OutputFile::create(path, F_OutputFile::Mode::Text);
    if (!f) return 1;
    generated.writeS3d(*f);
    if (!f->close()) return 1;
  }
  const double bytes = static_cast<double>(std::filesystem::file_size(path));
  const double elements = generated.layer(1).elementCount();
  std::printf("file %s: %.1f MB, %.0f elements, %d points, %d runs per phase\n", path.c_str(), bytes / 1e6, elements,
              generated.layer(1).pointCount(), runs);

  std::vector<Timing> baseline, reading, writing;
  for (int r = 0; r < runs; ++r) {
    baseline.push_back(timeOf([&] {
      if (plainRead(path) != static_cast<std::uint64_t>(bytes)) std::exit(1);
    }));
  }
  for (int r = 0; r < runs; ++r) {
    F_S3dMesh mesh;
    reading.push_back(timeOf([&] {
      auto f = F_InputFile::open(path);
      mesh.readS3d(*f);
    }));
    if (r == 0 && !(mesh.layer(1).elements == generated.layer(1).elements)) {
      std::fprintf(stderr, "bench_s3d: the mesh read back differs from the one written\n");
      return 1;
    }
  }
  for (int r = 0; r < runs; ++r) {
    writing.push_back(timeOf([&] {
      auto f = F_OutputFile::create(copy, F_OutputFile::Mode::Text);
      generated.writeS3d(*f);
      if (!f->close()) std::exit(1);
    }));
  }
  report("cat", baseline, bytes, elements);
  report("read", reading, bytes, elements);
  report("write", writing, bytes, elements);
  std::printf("medians of %d runs; targets on one core: read >= 150 MB/s, write >= 100 MB/s\n", runs);

  std::filesystem::remove(copy);
  if (!keep) std::filesystem::remove(path);
  return 0;
}
