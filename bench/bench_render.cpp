// Rendering mode at full-HD: a curved surface of 100k and of 1M quadrilaterals,
// shaded with 3 divisions (36 triangles per element) and contour-filled with
// the same sampling, after an oblique orthographic fit into 1920 x 1080.
// Prints the median time of each, the time per triangle and per filled pixel;
// a 1000-quad surface first, whose large triangles show the cost per pixel.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "bench/MeshGenerator.h"
#include "common/F_ElementInterpolation.h"
#include "common/F_LayerRenderer.h"
#include "common/F_MeshGeometry.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// CPU time of this thread: the machine is shared, and the targets are for one core.
double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

struct Result {
  double seconds;  // CPU
  double wall;
  long long triangles;
  long long filled;
  unsigned long long hash;  // of the image: an optimisation must not change a pixel
};

Result renderOnce(const F_S3dMesh& mesh, const F_ScreenMap& map, const F_DisplayOptions& options,
                  const F_ColorTable& colors, const F_VectorReal& values, const F_Interval& range) {
  std::vector<F_Rgb> image(static_cast<std::size_t>(kWidth) * kHeight, 0xffffffffu);
  PixelSurface surface{image.data(), kWidth, kHeight, kWidth};
  F_DepthBuffer depth(kWidth, kHeight);
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = cpuSeconds();
  depth.fill();
  F_LayerRenderer renderer(surface, map, depth, colors);
  renderer.renderMesh(mesh, options, values, range, 1);
  const double seconds = cpuSeconds() - cpuStart;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long long filled = std::count_if(image.begin(), image.end(), [](F_Rgb p) { return p != 0xffffffffu; });
  unsigned long long hash = 1469598103934665603ull;
  for (F_Rgb p : image) hash = (hash ^ p) * 1099511628211ull;
  return {seconds, wall, renderer.triangleCount(), filled, hash};
}

Result median(const F_S3dMesh& mesh, const F_ScreenMap& map, const F_DisplayOptions& options,
              const F_ColorTable& colors, const F_VectorReal& values, const F_Interval& range, int runs) {
  std::vector<Result> r;
  for (int i = 0; i < runs; ++i) r.push_back(renderOnce(mesh, map, options, colors, values, range));
  std::sort(r.begin(), r.end(), [](const Result& a, const Result& b) { return a.seconds < b.seconds; });
  return r[r.size() / 2];
}

void bench(long long quads, int runs) {
  const F_S3dMesh source = MeshGenerator(MeshRecipe{quads, MeshRecipe::Shape::Quad4, 1, false}).mesh();
  F_S3dMesh mesh;
  const F_Box2D extent = projectMesh(source, mesh, {-1.2, -0.9, 0.2}, 4, 8, 6, 18);
  F_ScreenMap map;
  map.fit(extent, 0, kWidth - 1, 0, kHeight - 1);

  F_DisplayOptions options;
  options.layerContexts.assignDefaults(1);
  options.numberOfDivisions = 3;
  options.overprintMesh = 0;
  F_ColorTable colors;
  colors.build(14);

  F_VectorReal values(source.layer(1).pointCount());
  for (int i = 1; i <= values.size(); ++i) values(i) = MeshGenerator::fieldAt(source.layer(1).point(i));
  const F_Interval range = fieldRange(mesh, 1, options, values);

  const long long elements = mesh.layer(1).elementCount();
  const Result shaded = median(mesh, map, options, colors, F_VectorReal(), {0, 1}, runs);
  const Result contour = median(mesh, map, options, colors, values, range, runs);
  options.overprintMesh = 1;
  const Result outlined = median(mesh, map, options, colors, F_VectorReal(), {0, 1}, runs);
  const Result contourOutlined = median(mesh, map, options, colors, values, range, runs);
  for (const auto& [name, r] : {std::pair{"shading", shaded}, std::pair{"contour fill", contour},
                                std::pair{"shading + overprint", outlined},
                                std::pair{"contour + overprint", contourOutlined}}) {
    std::printf("%8lld quads  %-20s %7.3f s cpu (%6.3f s wall)  %9lld triangles  %6.1f ns/triangle  %7lld pixels  %7.1f ns/pixel\n",
                elements, name, r.seconds, r.wall, r.triangles, 1e9 * r.seconds / r.triangles, r.filled,
                1e9 * r.seconds / std::max(1LL, r.filled));
  }
  std::printf("%8lld quads  contour / shading = %.3f   image hashes %016llx %016llx %016llx %016llx\n", elements,
              contour.seconds / shaded.seconds, shaded.hash, contour.hash, outlined.hash, contourOutlined.hash);
}

}  // namespace

int main(int argc, char** argv) {
  // bench_render [RUNS [QUADS...]]: by default 1000 (few, large triangles:
  // the cost per pixel shows), 100k and 1M quads.
  const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
  if (argc > 2) {
    for (int i = 2; i < argc; ++i) bench(std::atoll(argv[i]), runs);
    return 0;
  }
  bench(1000, runs);
  bench(100000, runs);
  bench(1000000, runs);
  return 0;
}
