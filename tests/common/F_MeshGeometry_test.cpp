#include "common/F_MeshGeometry.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

F_S3dLayer layerOf(std::initializer_list<F_Point3D> points, std::initializer_list<std::initializer_list<int>> elements) {
  F_S3dLayer layer;
  for (const F_Point3D& p : points) layer.points.append(p);
  for (const auto& nodes : elements) {
    F_S3dElement e;
    for (int n : nodes) e.nodes.append(n);
    layer.elements.append(e);
  }
  return layer;
}

void expectPoint(const F_Point3D& p, double x, double y, double z) {
  EXPECT_NEAR(p.x, x, 1e-12);
  EXPECT_NEAR(p.y, y, 1e-12);
  EXPECT_NEAR(p.z, z, 1e-12);
}

}  // namespace

TEST(F_MeshGeometry, PresetsHoldTheirNumbers) {
  EXPECT_EQ(kViewHalfPi, 1.570796326794895);
  EXPECT_EQ(kPresetXY, (F_ViewAngles{-1.570796326794895, -1.570796326794895, 0}));
  EXPECT_EQ(kPresetYZ, (F_ViewAngles{0, 0, 0}));
  EXPECT_EQ(kPresetXZ, (F_ViewAngles{-1.570796326794895, 0, 0}));
}

TEST(F_MeshGeometry, RotationMatrixTakesModelAxesToViewAxes) {
  // Each row: angles, then where model (1,2,3) lands as (depth, X1, X2).
  struct Case {
    const char* name;
    F_ViewAngles a;
    double depth, x1, x2;
  };
  const Case cases[] = {
      {"YZ plane seen from +x", kPresetYZ, 1, 2, 3},
      {"XY plane", kPresetXY, 3, 1, 2},
      {"XZ plane", kPresetXZ, -2, 1, 3},
      {"phi quarter turn", {kViewHalfPi, 0, 0}, 2, -1, 3},
      {"alpha quarter turn", {0, 0, kViewHalfPi}, 1, 3, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F_MatrixReal m = viewRotationMatrix(c.a.phi, c.a.psi, c.a.alpha);
    F_S3dLayer layer = layerOf({{1, 2, 3}}, {});
    rotateLayer(layer, m(1, 1), m(1, 2), m(1, 3), m(2, 1), m(2, 2), m(2, 3), m(3, 1), m(3, 2), m(3, 3));
    F_Point3D p = layer.points(1);
    EXPECT_NEAR(p.x, c.depth, 1e-12);
    EXPECT_NEAR(p.y, c.x1, 1e-12);
    EXPECT_NEAR(p.z, c.x2, 1e-12);
  }
}

TEST(F_MeshGeometry, RotationMatrixIsOrthonormalForAnyAngles) {
  F_MatrixReal m = viewRotationMatrix(0.3, -1.1, 2.7);
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 3; ++j) {
      double dot = m(i, 1) * m(j, 1) + m(i, 2) * m(j, 2) + m(i, 3) * m(j, 3);
      EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
  }
}

TEST(F_MeshGeometry, ExtentsOfLayersAndMeshes) {
  F_S3dMesh mesh;
  mesh.layers.append(layerOf({{1, 2, 3}, {-4, 5, 0}}, {}));
  mesh.layers.append(layerOf({{0, -1, 9}}, {}));
  F_Box3D b3 = meshExtent3D(mesh);
  EXPECT_EQ(b3.xMin, -4);
  EXPECT_EQ(b3.xMax, 1);
  EXPECT_EQ(b3.yMin, -1);
  EXPECT_EQ(b3.yMax, 5);
  EXPECT_EQ(b3.zMin, 0);
  EXPECT_EQ(b3.zMax, 9);
  F_Box2D b2 = meshExtent2D(mesh);
  EXPECT_EQ(b2.x1Min, -1);
  EXPECT_EQ(b2.x1Max, 5);
  EXPECT_EQ(b2.x2Min, 0);
  EXPECT_EQ(b2.x2Max, 9);

  // Empty layers measure as the default box and are united like any other.
  F_S3dMesh withEmpty = mesh;
  withEmpty.layers.append(F_S3dLayer());
  EXPECT_EQ(meshExtent3D(withEmpty).xMax, 1);
  EXPECT_EQ(layerExtent2D(F_S3dLayer()).x1Min, -1e-6);
  EXPECT_EQ(meshExtent2D(F_S3dMesh()).x2Max, 1e-6);
}

TEST(F_MeshGeometry, ElementCentreCountsTheClosingNodeOnce) {
  F_S3dLayer layer = layerOf({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {7, 7, 7}},
                             {{1, 2, 3, 4, 1}, {1, 2, 3, 4}, {5}, {}, {1, 2}});
  struct Case {
    const char* name;
    int element;
    F_Point3D centre;
  };
  const Case cases[] = {
      {"closed outline", 1, {2, 2, 0}},
      {"open outline", 2, {2, 2, 0}},
      {"one node", 3, {7, 7, 7}},
      {"no nodes", 4, {0, 0, 0}},
      {"line", 5, {2, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expectPoint(elementCentre(layer, c.element), c.centre.x, c.centre.y, c.centre.z);
  }
}

TEST(F_MeshGeometryDeathTest, BrokenArgumentsAreInternalErrors) {
  F_S3dLayer layer = layerOf({{0, 0, 0}}, {{1}});
  EXPECT_DEATH(elementCentre(layer, 0), "");
  EXPECT_DEATH(elementCentre(layer, 2), "");
  F_S3dMesh mesh;
  EXPECT_DEATH(rotateMesh(mesh, F_MatrixReal(2, 3)), "");
}

TEST(F_MeshGeometry, ProjectionCentresTurnsAndWidens) {
  F_S3dMesh source;
  source.layers.append(layerOf({{10, 0, 0}, {12, 4, 2}}, {}));
  source.layers.append(layerOf({{11, 2, 6}}, {}));
  // 3D box centre (11, 2, 3).
  F_S3dMesh work;
  F_Box2D e = projectMesh(source, work, kPresetYZ, 0, 0, 0, 0);
  expectPoint(work.layers(1).points(1), -1, -2, -3);
  expectPoint(work.layers(1).points(2), 1, 2, -1);
  expectPoint(work.layers(2).points(1), 0, 0, 3);
  EXPECT_NEAR(e.x1Min, -2, 1e-12);
  EXPECT_NEAR(e.x2Max, 3, 1e-12);

  // Seen from above, X1 follows model x and X2 model y; margins widen by
  // percentages of the extent: width 2, height 4.
  e = projectMesh(source, work, kPresetXY, 4, 8, 6, 18);
  expectPoint(work.layers(1).points(2), 2 - 3, 1, 2);  // depth z-3, X1 x-11, X2 y-2
  EXPECT_NEAR(e.x1Min, -1 - 2 * 0.04, 1e-12);
  EXPECT_NEAR(e.x1Max, 1 + 2 * 0.08, 1e-12);
  EXPECT_NEAR(e.x2Min, -2 - 4 * 0.06, 1e-12);
  EXPECT_NEAR(e.x2Max, 2 + 4 * 0.18, 1e-12);

  // Every projection starts from the source again.
  projectMesh(source, work, kPresetYZ, 0, 0, 0, 0);
  expectPoint(work.layers(1).points(1), -1, -2, -3);
  EXPECT_EQ(source.layers(1).points(1), F_Point3D(10, 0, 0));
}

TEST(F_MeshGeometry, EmptyMeshProjectsToTheWidenedDefaultBox) {
  F_S3dMesh work;
  F_Box2D e = projectMesh(F_S3dMesh(), work, kPresetYZ, 4, 8, 6, 18);
  EXPECT_NEAR(e.x1Min, -1e-6 - 2e-6 * 0.04, 1e-18);
  EXPECT_NEAR(e.x2Max, 1e-6 + 2e-6 * 0.18, 1e-18);
}

TEST(F_MeshGeometry, HugeCoordinatesDrawOnThePixelsOfTheSameShapeSmall) {
  // A power-of-two multiple of a small mesh, up to the end of the reals where
  // the width alone overflows, must land on the very pixels of the small one;
  // beyond 2^500 the working copy is brought below that, exactly.
  const F_Point3D small[] = {{1, 0.5, 1}, {-1, -0.5, -1}, {0.25, 1, -0.5}, {-0.25, -1, 0.5}};
  const double justAbove = std::nextafter(0x1p500, HUGE_VAL);
  const struct {
    double scale;  // of the small mesh
    double firstX;  // point 1's depth in the working copy, seen face on
  } rows[] = {{1, 1}, {0x1p500, 0x1p500}, {justAbove, justAbove / 2}, {0x1p1023, 0x1p499}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.scale);
    F_S3dMesh source, big;
    source.layers.append(F_S3dLayer());
    big.layers.append(F_S3dLayer());
    for (const F_Point3D& p : small) {
      source.layers(1).points.append(p);
      big.layers(1).points.append({p.x * r.scale, p.y * r.scale, p.z * r.scale});
    }
    F_S3dMesh work, bigWork;
    projectMesh(big, bigWork, kPresetYZ, 4, 8, 6, 100);
    EXPECT_EQ(bigWork.layers(1).points(1).x, r.firstX);

    const F_ViewAngles turned{0.3, 0.2, 0.1};
    F_ScreenMap map, bigMap;
    ASSERT_TRUE(map.fit(projectMesh(source, work, turned, 4, 8, 6, 100), 0, 799, 0, 599));
    ASSERT_TRUE(bigMap.fit(projectMesh(big, bigWork, turned, 4, 8, 6, 100), 0, 799, 0, 599));
    for (int i = 1; i <= 4; ++i) {
      const F_Point3D& p = work.layers(1).points(i);
      const F_Point3D& q = bigWork.layers(1).points(i);
      EXPECT_EQ(bigMap.toPixel(q.y, q.z), map.toPixel(p.y, p.z)) << i;
    }
  }
}

TEST(F_MeshGeometry, CentringAddsNoTwoHugeCoordinates) {
  F_S3dMesh mesh;
  mesh.layers.append(layerOf({{1e308, 1.7e308, -1.7e308}, {1.7e308, 1e308, -1e308}}, {}));
  centreAtOrigin(mesh);
  const F_Point3D& a = mesh.layers(1).points(1);
  const F_Point3D& b = mesh.layers(1).points(2);
  EXPECT_DOUBLE_EQ(a.x, -0.35e308);
  EXPECT_DOUBLE_EQ(a.y, 0.35e308);
  EXPECT_DOUBLE_EQ(a.z, -0.35e308);
  EXPECT_EQ(b.x, -a.x);
  EXPECT_EQ(b.y, -a.y);
  EXPECT_EQ(b.z, -a.z);
}

TEST(F_MeshGeometry, WorkingCopyIsTheStepByStepProjectionToTheBitAndSharesTheElements) {
  F_S3dMesh source;
  source.name = "plate";
  source.layers.append(layerOf({{0.1, 2.3, -4.7}, {1e-3, 7.25, 3.5}, {-9.5, 0.3, 1.0 / 3}}, {{1, 2, 3}, {3, 1}}));
  source.layers.append(layerOf({}, {}));  // no points: the default box joins the extent
  source.layers.append(layerOf({{5.5, -6.25, 0.7}}, {{1}}));
  source.layers(3).specialNodes.append(1);
  const F_ViewAngles angles{0.37, -1.1, 2.9};

  F_S3dMesh expected = source;
  centreAtOrigin(expected);
  rotateMesh(expected, viewRotationMatrix(angles.phi, angles.psi, angles.alpha));
  F_Box2D expectedBox = meshExtent2D(expected);
  expectedBox.widenByMargins(0.04, 0.08, 0.06, 0.18);

  // A working copy that held a larger mesh before is filled anew.
  F_S3dMesh work;
  for (int i = 0; i < 5; ++i) work.layers.append(layerOf({{1, 1, 1}}, {{1}}));
  const F_Box2D box = projectMesh(source, work, angles, 4, 8, 6, 18);
  EXPECT_TRUE(work == expected);
  EXPECT_EQ(box.x1Min, expectedBox.x1Min);
  EXPECT_EQ(box.x1Max, expectedBox.x1Max);
  EXPECT_EQ(box.x2Min, expectedBox.x2Min);
  EXPECT_EQ(box.x2Max, expectedBox.x2Max);
  for (int i = 1; i <= source.layerCount(); ++i) {
    EXPECT_TRUE(work.layers(i).elements.sharesStoreWith(source.layers(i).elements)) << i;
  }
  // The view never changes its elements; were one changed, the document's stays.
  work.layers(1).elements(1).nodes(1) = 3;
  EXPECT_EQ(source.layers(1).elements(1).node(1), 1);
}

namespace {
// One walk over the points, as the extent has always been formed: the
// reference for the runs the threads take.
F_Box3D walkedExtent3D(const F_S3dLayer& layer) {
  const F_Point3D& first = layer.points(1);
  F_Box3D b{first.x, first.x, first.y, first.y, first.z, first.z};
  for (const F_Point3D& p : layer.points) {
    b.xMin = std::min(b.xMin, p.x), b.xMax = std::max(b.xMax, p.x);
    b.yMin = std::min(b.yMin, p.y), b.yMax = std::max(b.yMax, p.y);
    b.zMin = std::min(b.zMin, p.z), b.zMax = std::max(b.zMax, p.z);
  }
  return b;
}
F_Box2D walkedExtent2D(const F_S3dLayer& layer) {
  const F_Point3D& first = layer.points(1);
  F_Box2D b{first.y, first.y, first.z, first.z};
  for (const F_Point3D& p : layer.points) {
    b.x1Min = std::min(b.x1Min, p.y), b.x1Max = std::max(b.x1Max, p.y);
    b.x2Min = std::min(b.x2Min, p.z), b.x2Max = std::max(b.x2Max, p.z);
  }
  return b;
}
// Bits, so that a NaN equals a NaN and -0 differs from +0.
template <class... D>
std::vector<std::uint64_t> bitsOf(D... values) {
  return {std::bit_cast<std::uint64_t>(values)...};
}
}  // namespace

TEST(F_MeshGeometry, ExtentsAndProjectionOnThreadsAreOneWalkToTheBit) {
  constexpr int kRun = 1 << 16;  // the fewest points a thread takes
  const double nan = std::nan("");
  struct Case {
    const char* name;
    int points;
    double low, high;  // of the ordinary coordinates
    std::vector<std::pair<int, double>> special;  // index from the middle point (0), all three coordinates
  };
  const Case cases[] = {
      {"one run short of two", 2 * kRun - 1, 1, 2, {{-1, 0.0}, {0, -0.0}}},
      {"two runs, equal minima across their border", 2 * kRun, 1, 2, {{-1, 0.0}, {0, -0.0}}},
      {"two runs, equal maxima across their border", 2 * kRun, -2, -1, {{-1, -0.0}, {0, 0.0}}},
      {"a NaN starts the second run", 2 * kRun, -2, 2, {{0, nan}}},
      {"a NaN is the first point", 2 * kRun, -2, 2, {{-kRun, nan}}},
      {"seven runs", 7 * kRun + 3, -3, 5, {{-1, -7.0}, {1, -7.0}}},
  };
  const F_ViewAngles angles{0.37, -1.1, 2.9};
  for (const char* threads : {"1", "2", "7"}) {
    setenv("KAVRILON_THREADS", threads, 1);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", threads " + threads);
      F_S3dMesh source;
      source.layers.append(F_S3dLayer());
      F_S3dLayer& layer = source.layers(1);
      layer.points.resize(c.points);
      for (int j = 1; j <= c.points; ++j) {
        const double t = 0.5 + 0.5 * std::sin(j * 0.618);
        layer.points(j) = {c.low + t * (c.high - c.low), c.high - t * (c.high - c.low), c.low + (1 - t) * (c.high - c.low)};
      }
      for (const auto& [at, v] : c.special) layer.points(c.points / 2 + 1 + at) = {v, v, v};

      const F_Box3D want = walkedExtent3D(layer), got = layerExtent3D(layer);
      EXPECT_EQ(bitsOf(got.xMin, got.xMax, got.yMin, got.yMax, got.zMin, got.zMax),
                bitsOf(want.xMin, want.xMax, want.yMin, want.yMax, want.zMin, want.zMax));

      F_S3dMesh expected = source;
      translateLayer(expected.layers(1), -(want.xMin / 2 + want.xMax / 2), -(want.yMin / 2 + want.yMax / 2),
                     -(want.zMin / 2 + want.zMax / 2));
      rotateMesh(expected, viewRotationMatrix(angles.phi, angles.psi, angles.alpha));
      const F_Box2D wantBox = walkedExtent2D(expected.layers(1));
      F_S3dMesh work;
      const F_Box2D box = projectMesh(source, work, angles, 0, 0, 0, 0);
      EXPECT_EQ(bitsOf(box.x1Min, box.x1Max, box.x2Min, box.x2Max),
                bitsOf(wantBox.x1Min, wantBox.x1Max, wantBox.x2Min, wantBox.x2Max));
      // Every NaN counts as one: the sign of a NaN is the compiler's to choose.
      auto bitsOrNan = [](double v) { return std::isnan(v) ? 1ull : std::bit_cast<std::uint64_t>(v); };
      int differing = 0;
      for (int j = 1; j <= c.points; ++j) {
        const F_Point3D &a = work.layers(1).points(j), &b = expected.layers(1).points(j);
        differing += bitsOrNan(a.x) != bitsOrNan(b.x) || bitsOrNan(a.y) != bitsOrNan(b.y) || bitsOrNan(a.z) != bitsOrNan(b.z);
      }
      EXPECT_EQ(differing, 0);
    }
  }
  unsetenv("KAVRILON_THREADS");
}
