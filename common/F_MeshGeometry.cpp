#include "common/F_MeshGeometry.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/F_RenderThreads.h"

namespace {
// Layers with fewer points are walked on the calling thread alone: starting
// a thread costs more than it saves there.
constexpr int kPointsPerThread = 1 << 16;

// How many runs of at least kPointsPerThread points n points make, one per thread.
int runsOf(int n) { return std::clamp(n / kPointsPerThread, 1, F_RenderThreads::count()); }

// Runs walk(run, from, to) over the `runs` runs of [0, n), each on a thread of its own.
template <class Walk>
void inRuns(int n, int runs, const Walk& walk) {
  auto work = [&](int t) {
    walk(t, static_cast<int>(static_cast<long long>(n) * t / runs),
         static_cast<int>(static_cast<long long>(n) * (t + 1) / runs));
  };
  if (runs == 1 || !F_RenderThreads::run(runs, work))
    for (int t = 0; t < runs; ++t) work(t);
}

// Runs walk(from, to, box) over the points [0, n) in runs of at least
// kPointsPerThread, one run per thread, each from `start`, and unites the
// boxes in the order of the runs. Every box here is a running min and max
// that starts from the first point and takes a value only when it is
// strictly beyond: so each run's box holds the first of the extreme values
// in it (a NaN start stays NaN everywhere), and uniting them in order, which
// also keeps the earlier of two equal ends, gives the very bits of one walk
// over all the points.
template <class Box, class Walk>
Box overPoints(int n, const Box& start, const Walk& walk) {
  std::vector<Box> boxes(static_cast<std::size_t>(runsOf(n)), start);
  inRuns(n, static_cast<int>(boxes.size()), [&](int t, int from, int to) { walk(from, to, boxes[static_cast<std::size_t>(t)]); });
  for (std::size_t t = 1; t < boxes.size(); ++t) boxes[0].unite(boxes[t]);
  return boxes[0];
}
}  // namespace

F_MatrixReal viewRotationMatrix(double phi, double psi, double alpha) {
  const double cf = std::cos(phi), sf = std::sin(phi);
  const double cp = std::cos(psi), sp = std::sin(psi);
  const double ca = std::cos(alpha), sa = std::sin(alpha);
  F_MatrixReal m(3, 3);
  m(1, 1) = cf * cp;
  m(1, 2) = sf * cp;
  m(1, 3) = -sp;
  m(2, 1) = sa * sp * cf - ca * sf;
  m(2, 2) = sa * sp * sf + ca * cf;
  m(2, 3) = sa * cp;
  m(3, 1) = ca * sp * cf + sa * sf;
  m(3, 2) = ca * sp * sf - sa * cf;
  m(3, 3) = ca * cp;
  return m;
}

void translateLayer(F_S3dLayer& layer, double dx, double dy, double dz) {
  for (F_Point3D& p : layer.points) p.add(dx, dy, dz);
}

void rotateLayer(F_S3dLayer& layer, double m11, double m12, double m13, double m21, double m22, double m23,
                 double m31, double m32, double m33) {
  for (F_Point3D& p : layer.points) {
    const double x = p.x, y = p.y, z = p.z;
    p.x = m11 * x + m12 * y + m13 * z;
    p.y = m21 * x + m22 * y + m23 * z;
    p.z = m31 * x + m32 * y + m33 * z;
  }
}

F_Box2D layerExtent2D(const F_S3dLayer& layer) {
  if (layer.points.empty()) return {};
  const F_Point3D& first = layer.points(1);
  F_Box2D b{first.y, first.y, first.z, first.z};
  for (const F_Point3D& p : layer.points) {
    b.x1Min = std::min(b.x1Min, p.y);
    b.x1Max = std::max(b.x1Max, p.y);
    b.x2Min = std::min(b.x2Min, p.z);
    b.x2Max = std::max(b.x2Max, p.z);
  }
  return b;
}

F_Box3D layerExtent3D(const F_S3dLayer& layer) {
  if (layer.points.empty()) return {};
  const F_Point3D* points = layer.points.data();
  const F_Point3D& first = points[0];
  const F_Box3D start{first.x, first.x, first.y, first.y, first.z, first.z};
  return overPoints<F_Box3D>(layer.pointCount(), start, [&](int from, int to, F_Box3D& b) {
    for (int j = from; j < to; ++j) {
      const F_Point3D& p = points[j];
      b.xMin = std::min(b.xMin, p.x);
      b.xMax = std::max(b.xMax, p.x);
      b.yMin = std::min(b.yMin, p.y);
      b.yMax = std::max(b.yMax, p.y);
      b.zMin = std::min(b.zMin, p.z);
      b.zMax = std::max(b.zMax, p.z);
    }
  });
}

F_Point3D elementCentre(const F_S3dLayer& layer, int i) {
  if (i < 1 || i > layer.elementCount()) internalError("F_MeshGeometry", 1);
  const F_S3dElement& e = layer.elements(i);
  const int n = e.effectiveNodeCount();
  if (n == 0) return {};
  F_Point3D sum;
  for (int j = 1; j <= n; ++j) sum += layer.points(e.nodes(j));
  return {sum.x / n, sum.y / n, sum.z / n};
}

void rotateMesh(F_S3dMesh& mesh, const F_MatrixReal& m) {
  if (m.rows() != 3 || m.columns() != 3) internalError("F_MeshGeometry", 2);
  for (F_S3dLayer& layer : mesh.layers) {
    rotateLayer(layer, m(1, 1), m(1, 2), m(1, 3), m(2, 1), m(2, 2), m(2, 3), m(3, 1), m(3, 2), m(3, 3));
  }
}

F_Box3D meshExtent3D(const F_S3dMesh& mesh) {
  if (mesh.layers.empty()) return {};
  F_Box3D b = layerExtent3D(mesh.layers(1));
  for (int i = 2; i <= mesh.layerCount(); ++i) b.unite(layerExtent3D(mesh.layers(i)));
  return b;
}

F_Box2D meshExtent2D(const F_S3dMesh& mesh) {
  if (mesh.layers.empty()) return {};
  F_Box2D b = layerExtent2D(mesh.layers(1));
  for (int i = 2; i <= mesh.layerCount(); ++i) b.unite(layerExtent2D(mesh.layers(i)));
  return b;
}

void centreAtOrigin(F_S3dMesh& mesh) {
  const F_Box3D b = meshExtent3D(mesh);
  // Halved before they are added, so that two coordinates near the largest
  // real do not add up to infinity.
  const double cx = b.xMin / 2 + b.xMax / 2, cy = b.yMin / 2 + b.yMax / 2, cz = b.zMin / 2 + b.zMax / 2;
  for (F_S3dLayer& layer : mesh.layers) translateLayer(layer, -cx, -cy, -cz);
}

namespace {
// Coordinates up to 2^500 leave room for every sum, difference, rotation and
// product of two the drawing takes (squares stay below 2^1001).
constexpr int kLargestExponent = 500;

double largestCoordinate(const F_Box3D& b) { return std::max({-b.xMin, b.xMax, -b.yMin, b.yMax, -b.zMin, b.zMax}); }
bool isHuge(const F_Box3D& b) { return largestCoordinate(b) > std::ldexp(1.0, kLargestExponent); }

// Brings a mesh with coordinates beyond 2^500 (the width of corners at
// +-1e308 alone is infinite) below that by a power of two. Such a scale is
// exact, so every pixel is where unbounded reals would have put it; smaller
// meshes are left alone, as the thickness floors of the fit are absolute.
void scaleDownHuge(F_S3dMesh& mesh) {
  const F_Box3D b = meshExtent3D(mesh);
  if (!isHuge(b)) return;
  int exponent = 0;
  std::frexp(largestCoordinate(b), &exponent);
  const double factor = std::ldexp(1.0, kLargestExponent - exponent);
  for (F_S3dLayer& layer : mesh.layers) {
    for (F_Point3D& p : layer.points) {
      p.x *= factor;
      p.y *= factor;
      p.z *= factor;
    }
  }
}

// Gives memory to the pages of points[0, n) (reserved, not yet written) on
// the threads of overPoints. Only a hint: where the system cannot, the pages
// come as they are first written.
void populate(F_Point3D* points, int n) {
#ifdef MADV_POPULATE_WRITE
  inRuns(n, runsOf(n), [&](int, int from, int to) {
    const std::uintptr_t page = 4096;
    const std::uintptr_t lo = (reinterpret_cast<std::uintptr_t>(points + from) + page - 1) & ~(page - 1);
    const std::uintptr_t hi = reinterpret_cast<std::uintptr_t>(points + to) & ~(page - 1);
    if (hi > lo) ::madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_POPULATE_WRITE);
  });
#else
  (void)points;
  (void)n;
#endif
}

// out[j] = turn(in[j]) for j < n (> 0), and the (y, z) box of what was
// written. Each point is read before its place is written, so `out` may be
// `in`; the runs of the threads never meet.
template <class Turn>
F_Box2D turnPoints(const F_Point3D* in, F_Point3D* out, int n, const Turn& turn) {
  const F_Point3D first = turn(in[0]);
  return overPoints<F_Box2D>(n, {first.y, first.y, first.z, first.z}, [&](int from, int to, F_Box2D& box) {
    for (int j = from; j < to; ++j) {
      const F_Point3D turned = turn(in[j]);
      out[j] = turned;
      box.x1Min = std::min(box.x1Min, turned.y);
      box.x1Max = std::max(box.x1Max, turned.y);
      box.x2Min = std::min(box.x2Min, turned.z);
      box.x2Max = std::max(box.x2Max, turned.z);
    }
  });
}

// `mesh` becomes `source` centred on the centre of `box` (the source's 3D
// box) and turned by m, in one pass over the points: the same sums and
// products as centreAtOrigin and rotateMesh on a copy, so the same bits. The
// element lists are shared with the source, not copied: the view never
// changes them. `mesh` may be `source` itself: each point is read before its
// place is written. Returns meshExtent2D of the result.
F_Box2D copyCentredAndTurned(const F_S3dMesh& source, F_S3dMesh& mesh, const F_Box3D& box, const F_MatrixReal& m) {
  const double cx = box.xMin / 2 + box.xMax / 2, cy = box.yMin / 2 + box.yMax / 2, cz = box.zMin / 2 + box.zMax / 2;
  const double m11 = m(1, 1), m12 = m(1, 2), m13 = m(1, 3), m21 = m(2, 1), m22 = m(2, 2), m23 = m(2, 3),
               m31 = m(3, 1), m32 = m(3, 2), m33 = m(3, 3);
  auto turn = [&](const F_Point3D& q) {
    const double x = q.x - cx, y = q.y - cy, z = q.z - cz;
    return F_Point3D(m11 * x + m12 * y + m13 * z, m21 * x + m22 * y + m23 * z, m31 * x + m32 * y + m33 * z);
  };
  mesh.name = source.name;
  mesh.layers.resize(source.layerCount());
  F_Box2D extent;
  for (int i = 1; i <= source.layerCount(); ++i) {
    const F_S3dLayer& from = source.layers(i);
    F_S3dLayer& to = mesh.layers(i);
    to.name = from.name;
    to.elements = from.elements;
    to.specialNodes = from.specialNodes;
    const int n = from.pointCount();
    if (to.points.size() != n) {
      // A new working copy: its pages are made ready on all threads, not one
      // by one as the values are first written.
      to.points = F_Vector<F_Point3D>();
      to.points.reserve(n);
      populate(to.points.data(), n);
    }
    to.points.resize(n);  // a copy of the same size keeps its storage
    const F_Box2D layerBox = n == 0 ? F_Box2D{} : turnPoints(from.points.data(), to.points.data(), n, turn);
    if (i == 1) {
      extent = layerBox;
    } else {
      extent.unite(layerBox);
    }
  }
  return extent;
}
}  // namespace

F_Box2D projectMesh(const F_S3dMesh& source, F_S3dMesh& mesh, const F_ViewAngles& angles, int minX1, int maxX1,
                    int minX2, int maxX2) {
  const F_MatrixReal m = viewRotationMatrix(angles.phi, angles.psi, angles.alpha);
  F_Box3D box = meshExtent3D(source);
  const F_S3dMesh* from = &source;
  if (isHuge(box)) {
    // Scaled in a copy of its own first; the pass below then turns it in place.
    if (&source != &mesh) mesh = source;
    scaleDownHuge(mesh);
    box = meshExtent3D(mesh);
    from = &mesh;
  }
  F_Box2D extent = copyCentredAndTurned(*from, mesh, box, m);
  extent.widenByMargins(minX1 * 0.01, maxX1 * 0.01, minX2 * 0.01, maxX2 * 0.01);
  return extent;
}
