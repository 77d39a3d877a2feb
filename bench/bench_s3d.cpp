// Reading and writing a large .s3d file, against a plain read of the same
// file as the baseline (what `cat FILE > /dev/null` costs on this machine).
//
// bench_s3d [--quads N] [--runs R] [--dir DIR] [--keep]
// Prints the median MB/s and elements/s of each phase.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

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

// The baseline: every byte of the file through read(2), nothing else.
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

// Median MB/s and elements/s, by wall clock and by CPU time.
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
      std::fprintf(stderr, "usage: bench_s3d [--quads N] [--runs R] [--dir DIR] [--keep]\n");
      return 2;
    }
  }
  HeadlessUi headless(&std::cerr);
  installUiServices(&headless);

  std::filesystem::create_directories(dir);
  const std::string path = dir + "/bench-s3d-" + std::to_string(quads) + ".s3d";
  const std::string copy = dir + "/bench-s3d-" + std::to_string(quads) + "-out.s3d";

  MeshSpec spec;
  spec.quads = quads;
  const F_S3dMesh generated = MeshGenerator(spec).mesh();
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
      int line = 1;
      mesh.readS3d(*f, line);
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
