#include "bench/FileBench.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {
double cpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}
}  // namespace

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

FileBenchOptions parseFileBenchOptions(int argc, char** argv, const char* program) {
  FileBenchOptions o;
  o.dir = std::filesystem::temp_directory_path().string();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quads" && i + 1 < argc) {
      o.quads = std::atoll(argv[++i]);
    } else if (a == "--runs" && i + 1 < argc) {
      o.runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--dir" && i + 1 < argc) {
      o.dir = argv[++i];
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--quads N] [--runs R] [--dir DIR] [--keep]\n", program);
      std::exit(2);
    }
  }
  return o;
}
