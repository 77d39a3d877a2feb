// Saving and opening the .b3d document of a large mesh, against a plain read
// of the same file as the baseline (what `cat FILE > /dev/null` costs here).
// Save and open go through the document as File Save and File Open do: the
// temporary file and its rename, and every check of the opened file.
//
// bench_b3d [--quads N] [--runs R] [--dir DIR] [--keep]
// Prints the median MB/s and elements/s of each phase.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "app/CKavrilonDoc.h"
#include "bench/MeshGenerator.h"
#include "platform/headless/HeadlessUi.h"

namespace {

// Wall time and the CPU time of this process: on a busy machine the CPU time
// is what one core really spent on the work.
struct Timing {
  double wall;
  double cpu;
};

double cpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

Timing timeOf(const std::function<void()>& body) {
  const auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpuNow();
  body();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), cpuNow() - c0};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

std::uint64_t plainRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) std::exit(1);
  static std::vector<char> buf(1 << 20);
  std::uint64_t total = 0;
  for (;;) {
    ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n <= 0) break;
    total += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  return total;
}

void report(const char* phase, const std::vector<Timing>& runs, double bytes, double elements) {
  std::vector<double> wall, cpu;
  for (const auto& r : runs) {
    wall.push_back(r.wall);
    cpu.push_back(r.cpu);
  }
  const double w = median(wall), c = median(cpu);
  std::printf("%-6s wall %7.3f s %8.1f MB/s %11.0f elements/s | cpu %7.3f s %8.1f MB/s %11.0f elements/s\n", phase,
              w, bytes / w / 1e6, elements / w, c, bytes / c / 1e6, elements / c);
}

}  // namespace

int main(int argc, char** argv) {
  long long quads = 1000000;
  int runs = 5;
  std::string dir = std::filesystem::temp_directory_path().string();
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quads" && i + 1 < argc) {
      quads = std::atoll(argv[++i]);
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: bench_b3d [--quads N] [--runs R] [--dir DIR] [--keep]\n");
      return 2;
    }
  }
  HeadlessUi headless(&std::cerr);
  installUiServices(&headless);

  std::filesystem::create_directories(dir);
  const std::string path = dir + "/bench-b3d-" + std::to_string(quads) + ".b3d";

  MeshSpec spec;
  spec.quads = quads;
  CKavrilonDoc source;
  source.mesh = MeshGenerator(spec).mesh();
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
