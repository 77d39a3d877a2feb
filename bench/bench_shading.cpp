// Rendering mode end to end through the view, as a window of 1920 x 1080
// paints it: CKavrilonView::OnDraw on the raster surface (white image, depth
// buffer sized and cleared, every layer rendered, side bar, layer bar) and
// the copy to the window. A curved surface of 100k and of 1M quadrilaterals,
// divisions 3, seen obliquely (and one of 1000 quads, whose large triangles
// show the cost per pixel):
//   - line mode, the baseline: the paint a view makes before Shading;
//   - shading, and contour fill of a smooth field imported from a .pva file;
//   - the renderer alone into a bare image, to show what the view adds.
// Medians of CPU time on this thread (the machine is shared; the targets are
// for one core), with the time per triangle and per filled pixel (pixels
// whose depth was written). Usage: bench_shading [runs] [quads...]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

#include "app/CKavrilonDoc.h"
#include "app/CKavrilonView.h"
#include "bench/MeshGenerator.h"
#include "common/F_LayerRenderer.h"
#include "platform/headless/HeadlessUi.h"
#include "platform/headless/HeadlessViewHost.h"
#include "platform/raster/RasterDC.h"
#include "platform/raster/RasterFonts.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kDivisions = 3;

double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

struct Timing {
  double cpu;
  double wall;
};

template <class F>
Timing timed(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = cpuSeconds();
  f();
  return {cpuSeconds() - cpu, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

template <class F>
Timing median(int runs, F&& f) {
  std::vector<Timing> t;
  for (int i = 0; i < runs; ++i) t.push_back(timed(f));
  std::sort(t.begin(), t.end(), [](const Timing& a, const Timing& b) { return a.cpu < b.cpu; });
  return t[t.size() / 2];
}

long long filledPixels(const F_DepthBuffer& depth) {
  long long n = 0;
  for (int r = 0; r < depth.height(); ++r) {
    const float* row = depth.row(r);
    for (int c = 0; c < depth.width(); ++c) n += row[c] != F_DepthBuffer::kFar;
  }
  return n;
}

void report(long long quads, const char* name, const Timing& t, long long triangles, long long pixels) {
  std::printf("%8lld quads  %-22s %7.3f s cpu (%6.3f s wall)", quads, name, t.cpu, t.wall);
  if (triangles > 0) {
    std::printf("  %9lld triangles %6.1f ns/triangle  %8lld pixels %6.1f ns/pixel", triangles,
                1e9 * t.cpu / triangles, pixels, 1e9 * t.cpu / std::max(1LL, pixels));
  }
  std::printf("\n");
}

void bench(long long quads, int runs) {
  CKavrilonDoc doc;
  doc.mesh = MeshGenerator(MeshRecipe{quads, MeshRecipe::Shape::Quad4, 1, false}).mesh();
  doc.displayOptions.resetForMesh(1, 0, 0, 0, 4, 8, 6, 18, kDivisions, 0);
  const std::filesystem::path pva = std::filesystem::temp_directory_path() / "bench_shading.pva";
  {
    auto file = F_OutputFile::create(pva.string(), F_OutputFile::Mode::Text);
    MeshGenerator::writePva(*file, doc.mesh.layer(1));
    file->close();
  }

  HeadlessViewHost host(kWidth, kHeight);
  CKavrilonView view(doc, host);
  RasterDC window(kWidth, kHeight);
  view.OnInitialUpdate(window);
  view.setViewAngles(-1.2, -0.9, 0.2);
  auto paint = [&] {
    view.repaint();
    view.OnDraw(window);
  };
  const long long elements = view.mesh().layer(1).elementCount();
  const long long triangles = elements * 4 * kDivisions * kDivisions;

  const Timing lines = median(runs, paint);
  report(elements, "line mode (baseline)", lines, 0, 0);

  view.OnShading();
  const Timing shading = median(runs, paint);
  const long long shadedPixels = filledPixels(view.depthBuffer());
  report(elements, "shading", shading, triangles, shadedPixels);

  const Timing import = timed([&] { view.importScalarField(pva.string()); });
  report(elements, "import .pva", import, 0, 0);
  const Timing contour = median(runs, paint);
  report(elements, "contour fill", contour, triangles, filledPixels(view.depthBuffer()));
  std::printf("%8lld quads  contour / shading = %.3f\n", elements, contour.cpu / shading.cpu);

  // The renderer alone, same map, into a bare image: what the paint adds is
  // the image, the depth buffer, the bars and the copy.
  std::vector<F_Rgb> image(static_cast<std::size_t>(kWidth) * kHeight);
  F_DepthBuffer depth(kWidth, kHeight);
  const Timing bare = median(runs, [&] {
    std::fill(image.begin(), image.end(), 0xffffffffu);
    depth.fill();
    F_LayerRenderer renderer(PixelSurface{image.data(), kWidth, kHeight, kWidth}, view.screenMap(), depth,
                             view.colorTable());
    renderer.renderMesh(view.mesh(), view.options(), F_VectorReal(), {0, 1}, 1);
  });
  report(elements, "shading, renderer only", bare, triangles, filledPixels(depth));
  std::filesystem::remove(pva);
}

}  // namespace

int main(int argc, char** argv) {
  ensureGuiApplication();
  HeadlessUi quiet(nullptr);  // messages are collected, not printed
  installUiServices(&quiet);
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  std::vector<long long> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
  // 1000 quads first: few, large triangles, so the cost per pixel shows.
  if (sizes.empty()) sizes = {1000, 100000, 1000000};
  for (long long quads : sizes) bench(quads, runs);
  if (!quiet.messages().empty()) std::printf("messages: %zu (first: %s)\n", quiet.messages().size(),
                                             quiet.messages().front().c_str());
  installUiServices(nullptr);
  return 0;
}
