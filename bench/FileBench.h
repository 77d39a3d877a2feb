#pragma once
// What the file benchmarks share: timing by wall clock and by CPU, medians,
// the plain-read baseline and their common command line.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Wall time and the CPU time of this process: on a busy machine the CPU time
// is what one core really spent on the work.
struct Timing {
  double wall;
  double cpu;
};

Timing timeOf(const std::function<void()>& body);
double median(std::vector<double> v);

// The baseline: every byte of the file through read(2), nothing else (what
// `cat FILE > /dev/null` costs on this machine).
std::uint64_t plainRead(const std::string& path);

// Prints one phase: median seconds, MB/s and elements/s, wall and CPU.
void report(const char* phase, const std::vector<Timing>& runs, double bytes, double elements);

// [--quads N] [--runs R] [--dir DIR] [--keep]
struct FileBenchOptions {
  long long quads = 1000000;
  int runs = 5;
  std::string dir;
  bool keep = false;
};
// Exits with a usage line naming `program` on anything else.
FileBenchOptions parseFileBenchOptions(int argc, char** argv, const char* program);
