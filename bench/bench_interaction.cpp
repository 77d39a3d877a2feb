// Interaction at full-HD through the script driver, as a window receives it:
// each step is one event (a Shift+Left press, a typed L then I) followed by
// the paint it asks for, timed from the event to the finished paint. Prints
// the median per step, wall and CPU, beside the limits.
//
//   bench_interaction [quads...]   (default: 100000 1000000)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <iostream>
#include <vector>

#include "bench/MeshGenerator.h"
#include "cli/Session.h"
#include "platform/raster/RasterFonts.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kSteps = 9;

double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

struct Timing {
  double wallMs;
  double cpuMs;
};

// The median of kSteps replays of `script`, each ending in a paint.
Timing replay(Session& s, const std::string& script) {
  const ParsedScript parsed = parseScript(script + "paint\n");
  std::vector<double> wall, cpu;
  for (int i = 0; i < kSteps; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    for (const ScriptEvent& e : parsed.events) s.play(e, std::cout);
    cpu.push_back((cpuSeconds() - cpuStart) * 1e3);
    wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return {wall[kSteps / 2], cpu[kSteps / 2]};
}

void report(long long quads, const char* what, Timing t, double limitMs) {
  std::printf("%8lld quads  %-32s median %8.1f ms wall %8.1f ms cpu   limit %5.0f ms  %s\n", quads, what, t.wallMs,
              t.cpuMs, limitMs, t.wallMs < limitMs ? "ok" : "SLOW");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};
  ensureGuiApplication();
  HeadlessUi ui(&std::cout);
  UiServices* previous = installUiServices(&ui);
  for (const long long quads : sizes) {
    Session s(ui, kWidth, kHeight);
    MeshRecipe recipe;
    recipe.quads = quads;
    s.document().mesh = MeshGenerator(recipe).mesh();
    s.document().displayOptions.resetForImportedMesh(s.document().mesh.layerCount());
    s.document().displayOptions.setAngles(0.5, -0.6, 0.1);  // every quad a real outline
    s.open();
    s.paint();
    const bool small = quads <= 100000;
    report(quads, "Shift+Left, line mode", replay(s, "key left shift\n"), small ? 30 : 250);
    report(quads, "typed L I, line mode", replay(s, "char L\nchar I\n"), small ? 30 : 250);
    {
      // Export View Image of the whole canvas, as the command writes it.
      const std::string path = "/tmp/kavrilon-bench-export.bmp";
      std::vector<double> wall;
      for (int i = 0; i < kSteps; ++i) {
        const auto start = std::chrono::steady_clock::now();
        s.exportImage(path);
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      }
      std::sort(wall.begin(), wall.end());
      std::remove(path.c_str());
      report(quads, "Export View Image (.bmp)", {wall[kSteps / 2], 0}, 20);
    }
    s.view().execute(cmd::kShading);
    report(quads, "Shift+Left, shading", replay(s, "key left shift\n"), small ? 300 : 3000);
  }
  installUiServices(previous);
  return 0;
}
