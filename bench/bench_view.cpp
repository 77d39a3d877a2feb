// The view at full-HD: computeProjection of a 1M-point mesh, and line mode of
// a 1M-quad and a 100k-quad mesh, each measured as a key rotation does it (the
// angle step, the refit, then the paint: render into the off-screen image and
// copy it to the window). Prints the median of several runs and the CPU time.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "app/CKavrilonView.h"
#include "bench/MeshGenerator.h"
#include "common/F_MeshGeometry.h"
#include "platform/headless/HeadlessUi.h"
#include "platform/headless/HeadlessViewHost.h"
#include "platform/raster/RasterDC.h"
#include "platform/raster/RasterFonts.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kStep = 3.14159265358979 * 0.015625;  // one Shift+arrow press

double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

struct Timing {
  double wallMs;
  double cpuMs;
};

// Median wall and CPU time of `runs` calls of `body`.
Timing median(int runs, const std::function<void()>& body) {
  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    body();
    cpu.push_back((cpuSeconds() - cpuStart) * 1e3);
    wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void report(const char* name, Timing t, double limitMs) {
  std::printf("%-44s median %8.1f ms wall %8.1f ms cpu   limit %6.0f ms  %s\n", name, t.wallMs, t.cpuMs, limitMs,
              t.cpuMs < limitMs ? "ok" : "SLOW");
}

struct Scene {
  explicit Scene(long long quads) : host(kWidth, kHeight), window(kWidth, kHeight) {
    MeshRecipe recipe;
    recipe.quads = quads;
    doc.mesh = MeshGenerator(recipe).mesh();
    doc.displayOptions.resetForImportedMesh(doc.mesh.layerCount());
    // An oblique view, so every quad is a real outline.
    doc.displayOptions.setAngles(0.5, -0.6, 0.1);
    view = std::make_unique<CKavrilonView>(doc, host);
    view->OnInitialUpdate(window);
  }
  long long points() const {
    long long n = 0;
    for (const auto& l : doc.mesh.layers) n += l.pointCount();
    return n;
  }
  // What one Shift+Left press does, then the paint it asks for.
  void rotateAndPaint() {
    view->rotateBy(kStep, 0, 0);
    view->OnDraw(window);
  }

  CKavrilonDoc doc;
  HeadlessViewHost host;
  RasterDC window;
  std::unique_ptr<CKavrilonView> view;
};

}  // namespace

int main() {
  ensureGuiApplication();
  HeadlessUi quiet(nullptr);
  installUiServices(&quiet);

  {
    Scene big(1000000);
    std::printf("mesh of %lld points, %d elements\n", big.points(), big.doc.mesh.layer(1).elementCount());
    report("computeProjection, 1M points", median(9, [&] { big.view->computeProjection(); }), 100);
    // The first projection of a new view also allocates the working copy.
    {
      std::vector<std::unique_ptr<CKavrilonView>> fresh;
      for (int i = 0; i < 3; ++i) fresh.push_back(std::make_unique<CKavrilonView>(big.doc, big.host));
      int next = 0;
      report("computeProjection, 1M points, new view", median(3, [&] { fresh[next++]->computeProjection(); }), 100);
    }
    big.view->OnDraw(big.window);
    report("line mode 1M quads, rotate + paint", median(5, [&] { big.rotateAndPaint(); }), 1500);
    report("repaint 1M quads, nothing changed", median(9, [&] { big.view->OnDraw(big.window); }), 1500);
  }
  {
    Scene small(100000);
    small.view->OnDraw(small.window);
    report("line mode 100k quads, rotate + paint", median(9, [&] { small.rotateAndPaint(); }), 150);
  }
  return 0;
}
