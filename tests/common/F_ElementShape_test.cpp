#include "common/F_ElementShape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "common/F_ElementInterpolation.h"

namespace {

constexpr int kCounts[] = {2, 3, 4, 6, 8, 9};

// Points inside each element's natural domain where the functions are probed.
std::vector<F_NaturalPoint> probes(int k) {
  if (k == 3 || k == 6) return {{0.1, 0.2}, {0.25, 0.5}, {0.7, 0.05}, {0.0, 0.0}, {1.0 / 3, 1.0 / 3}};
  if (k == 2) return {{-0.6, 0}, {0.0, 0}, {0.9, 0}};
  return {{-0.6, 0.3}, {0.0, 0.0}, {0.9, -0.95}, {1.0, 1.0}, {-0.2, 0.75}};
}

F_S3dLayer layerWith(std::vector<F_Point3D> points, std::vector<std::vector<int>> elements) {
  F_S3dLayer layer;
  for (const F_Point3D& p : points) layer.points.append(p);
  for (const auto& nodes : elements) {
    F_S3dElement e;
    for (int n : nodes) e.nodes.append(n);
    layer.elements.append(std::move(e));
  }
  return layer;
}

}  // namespace

TEST(F_ElementShape, FunctionsSumToOneAndDerivativesToZero) {
  for (int k : kCounts) {
    for (const F_NaturalPoint& p : probes(k)) {
      SCOPED_TRACE(testing::Message() << k << " nodes at (" << p.xi << ", " << p.eta << ")");
      double n[9], dx[9], de[9];
      F_ElementShape::evaluate(k, p.xi, p.eta, n, dx, de);
      double sum = 0, sumX = 0, sumE = 0;
      for (int j = 0; j < k; ++j) {
        sum += n[j];
        sumX += dx[j];
        sumE += de[j];
      }
      EXPECT_NEAR(sum, 1.0, 1e-14);
      EXPECT_NEAR(sumX, 0.0, 1e-14);
      EXPECT_NEAR(sumE, 0.0, 1e-14);
    }
  }
}

TEST(F_ElementShape, EachFunctionIsOneAtItsNodeAndZeroAtTheOthers) {
  for (int k : kCounts) {
    for (int i = 1; i <= k; ++i) {
      const F_NaturalPoint at = F_ElementShape::nodePosition(k, i);
      double n[9];
      F_ElementShape::evaluate(k, at.xi, at.eta, n);
      for (int j = 1; j <= k; ++j)
        EXPECT_DOUBLE_EQ(n[j - 1], i == j ? 1.0 : 0.0) << k << " nodes, N" << j << " at node " << i;
    }
  }
}

TEST(F_ElementShape, DerivativesMatchDifferenceQuotients) {
  const double h = 1e-6;
  for (int k : kCounts) {
    for (const F_NaturalPoint& p : probes(k)) {
      SCOPED_TRACE(testing::Message() << k << " nodes at (" << p.xi << ", " << p.eta << ")");
      double n[9], dx[9], de[9], a[9], b[9];
      F_ElementShape::evaluate(k, p.xi, p.eta, n, dx, de);
      F_ElementShape::evaluate(k, p.xi + h, p.eta, a);
      F_ElementShape::evaluate(k, p.xi - h, p.eta, b);
      for (int j = 0; j < k; ++j) EXPECT_NEAR(dx[j], (a[j] - b[j]) / (2 * h), 1e-7) << "dN" << j + 1 << "/dxi";
      F_ElementShape::evaluate(k, p.xi, p.eta + h, a);
      F_ElementShape::evaluate(k, p.xi, p.eta - h, b);
      for (int j = 0; j < k; ++j) EXPECT_NEAR(de[j], (a[j] - b[j]) / (2 * h), 1e-7) << "dN" << j + 1 << "/deta";
    }
  }
}

TEST(F_ElementShape, SampleGridsInTheirNumbering) {
  std::vector<F_NaturalPoint> s;
  F_ElementShape::sampleGrid(4, 1, s);
  ASSERT_EQ(s.size(), 5u);  // four corners, one centre
  EXPECT_EQ(s[0].xi, -1.0);
  EXPECT_EQ(s[1].xi, 1.0);
  EXPECT_EQ(s[2].eta, 1.0);
  EXPECT_EQ(s[4].xi, 0.0);
  EXPECT_EQ(s[4].eta, 0.0);
  F_ElementShape::sampleGrid(9, 2, s);
  ASSERT_EQ(s.size(), 13u);
  EXPECT_EQ(s[9].xi, -0.5);  // centre of cell (1, 1)
  EXPECT_EQ(s[9].eta, -0.5);
  EXPECT_EQ(s[12].xi, 0.5);  // centre of cell (2, 2)
  F_ElementShape::sampleGrid(6, 1, s);
  EXPECT_EQ(s.size(), 3u);
  F_ElementShape::sampleGrid(6, 3, s);
  ASSERT_EQ(s.size(), 10u);
  EXPECT_DOUBLE_EQ(s[4].xi, 0.0);  // row 2 starts at xi = 0, eta = 1/3
  EXPECT_DOUBLE_EQ(s[4].eta, 1.0 / 3);
  EXPECT_EQ(s[9].eta, 1.0);
  F_ElementShape::sampleGrid(5, 3, s);
  EXPECT_TRUE(s.empty());
  EXPECT_DEATH(F_ElementShape::sampleGrid(4, 21, s), "");
  EXPECT_DEATH(F_ElementShape::sampleGrid(4, 0, s), "");
}

TEST(F_SampleTable, TrianglesAndOutlinesInDrawingOrder) {
  struct Case {
    const char* name;
    int nodes, divisions;
    int samples;
    std::vector<int> triangles;  // empty: only the count is checked
    size_t triangleCount;
    std::vector<int> outline;
    size_t segmentCount;
  };
  const Case cases[] = {
      {"quadrilateral, 1 division", 4, 1, 5, {1, 2, 5, 2, 4, 5, 3, 4, 5, 1, 3, 5}, 4, {1, 2, 3, 4, 1, 3, 2, 4}, 4},
      {"quadrilateral, 2 divisions", 8, 2, 13,
       {1, 2, 10, 2, 5, 10, 4, 5, 10, 1, 4, 10, 2, 3, 11, 3, 6, 11, 5, 6, 11, 2, 5, 11,
        4, 5, 12, 5, 8, 12, 7, 8, 12, 4, 7, 12, 5, 6, 13, 6, 9, 13, 8, 9, 13, 5, 8, 13},
       16, {1, 2, 2, 3, 7, 8, 8, 9, 1, 4, 4, 7, 3, 6, 6, 9}, 8},
      {"quadrilateral, 3 divisions", 9, 3, 25, {}, 36, {}, 12},
      {"six nodes, 1 division", 6, 1, 3, {1, 2, 3}, 1, {1, 2, 1, 3, 2, 3}, 3},
      {"six nodes, 2 divisions", 6, 2, 6, {1, 2, 4, 4, 2, 5, 2, 3, 5, 4, 5, 6}, 4,
       {1, 2, 2, 3, 1, 4, 4, 6, 3, 5, 5, 6}, 6},
      {"six nodes, 3 divisions", 6, 3, 10,
       {1, 2, 5, 5, 2, 6, 2, 3, 6, 6, 3, 7, 3, 4, 7, 5, 6, 8, 8, 6, 9, 6, 7, 9, 8, 9, 10}, 9,
       {1, 2, 2, 3, 3, 4, 1, 5, 5, 8, 8, 10, 4, 7, 7, 9, 9, 10}, 9},
      {"three nodes, any divisions", 3, 3, 3, {1, 2, 3}, 1, {1, 2, 2, 3, 3, 1}, 3},
      {"two nodes", 2, 5, 2, {}, 0, {1, 2}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F_SampleTable t;
    t.build(c.nodes, c.divisions);
    EXPECT_EQ(t.sampleCount(), c.samples);
    EXPECT_EQ(t.triangles().size(), 3 * c.triangleCount);
    EXPECT_EQ(t.outline().size(), 2 * c.segmentCount);
    if (!c.triangles.empty()) {
      EXPECT_EQ(t.triangles(), c.triangles);
    }
    if (!c.outline.empty()) {
      EXPECT_EQ(t.outline(), c.outline);
    }
  }
}

// The renderer draws only the triangles whose corners hold a row centre
// between their rows, tested by groups first; quadrilateral grids are tested
// four cells and then four triangles at a time. Each answer must be the
// one-triangle test's: triangles in order, every node count, divisions at
// the four-cell path's edges (1 takes the one-group loop, 2 is the least it
// takes, 4 and 5 fill a row of cells or run one past), rows that tie, and
// bounds that are infinite or not numbers.
TEST(F_SampleTable, TrianglesWithARowCentreAreThoseOfTheOneTriangleTest) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> row(10, 12.5);
  const double special[] = {HUGE_VAL, -HUGE_VAL, std::nan(""), 11.0, 11.0 - 1e-6};
  int passed = 0, refused = 0;
  for (const int k : {3, 4, 6, 8, 9}) {
    for (const int divisions : {1, 2, 3, 4, 5, 8, 9, 20}) {
      F_SampleTable table;
      table.build(k, divisions);
      for (int round = 0; round < 20; ++round) {
        std::vector<double> up(F_SampleTable::kMostSamples + F_SampleTable::kBoundsTail);
        std::vector<double> down(up.size());
        for (int s = 0; s < table.sampleCount(); ++s) {
          // A small element's spread of rows, or one row (round 0), and now
          // and then a special bound.
          const double r = round == 0 ? 11.25 : round % 5 == 1 && s % 7 == 0 ? special[s % 5] : row(random);
          up[s] = std::floor(r + 1e-6);
          down[s] = r - 1e-6;
          if (round % 5 == 2 && s % 3 == 0) up[s] = down[s] = special[(s + round) % 5];
          if (round % 5 == 3 && s % 4 == 1) up[s] = special[(s + round) % 5];
        }
        std::vector<int> want;
        for (const F_SampleTable::TriangleGroup& group : table.triangleGroups()) {
          double most = -HUGE_VAL, least = HUGE_VAL;
          for (int m = 0; m < group.sampleCount; ++m) {
            if (up[group.samples[m]] > most) most = up[group.samples[m]];
            if (down[group.samples[m]] < least) least = down[group.samples[m]];
          }
          for (int j = group.from; j < group.to && most >= least; j += 3) {
            const int a = table.triangles()[j] - 1, b = table.triangles()[j + 1] - 1, c = table.triangles()[j + 2] - 1;
            if (std::max(std::max(up[a], up[b]), up[c]) >= std::min(std::min(down[a], down[b]), down[c]))
              want.push_back(j);
          }
        }
        std::vector<int> got(F_SampleTable::kMostTriangles, -1);
        got.resize(static_cast<std::size_t>(table.trianglesWithRowCentre(up.data(), down.data(), got.data())));
        ASSERT_EQ(want, got) << k << " nodes, " << divisions << " divisions, round " << round;
        passed += static_cast<int>(want.size());
        refused += static_cast<int>(table.triangles().size() / 3 - want.size());
      }
    }
  }
  EXPECT_GT(passed, 1000);
  EXPECT_GT(refused, 1000);
}

TEST(F_ElementInterpolation, PositionInterpolatesThePoints) {
  const F_S3dLayer layer = layerWith({{0, 0, 0}, {2, 0, 0}, {2, 4, 0}, {0, 4, 6}},
                                     {{1, 2, 3, 4}, {1, 2, 3}, {1, 2, 3, 4, 1}, {}, {1, 2, 3, 4, 2}});
  struct Case {
    const char* name;
    int element;
    double xi, eta;
    F_Point3D expected;
  };
  const Case cases[] = {
      {"quadrilateral centre is the average", 1, 0, 0, {1, 2, 1.5}},
      {"quadrilateral corner", 1, 1, 1, {2, 4, 0}},
      {"triangle at (1, 0) is its second point", 2, 1, 0, {2, 0, 0}},
      {"closed outline 1 2 3 4 1 acts as 1 2 3 4", 3, 0, 0, {1, 2, 1.5}},
      {"no nodes gives the origin", 4, 0.5, 0.5, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const F_Point3D p = positionAt(layer, c.element, c.xi, c.eta);
    EXPECT_DOUBLE_EQ(p.x, c.expected.x);
    EXPECT_DOUBLE_EQ(p.y, c.expected.y);
    EXPECT_DOUBLE_EQ(p.z, c.expected.z);
  }
  EXPECT_THROW(positionAt(layer, 5, 0, 0), F_NotSupportedException);
  EXPECT_THROW(shadingIntensityAt(layer, 5, 0, 0), F_NotSupportedException);
  F_VectorReal values(4, 1.0);
  EXPECT_THROW(fieldValueAt(layer, 5, 0, 0, values), F_NotSupportedException);
  EXPECT_EQ(shadingIntensityAt(layer, 4, 0, 0), 0.0);
  EXPECT_EQ(fieldValueAt(layer, 4, 0, 0, values), 0.0);
  // Faults of the caller.
  EXPECT_DEATH(positionAt(layer, 0, 0, 0), "");
  EXPECT_DEATH(positionAt(layer, 6, 0, 0), "");
  EXPECT_DEATH(positionAt(layer, 1, 1.0001, 0), "");
  EXPECT_DEATH(shadingIntensityAt(layer, 1, 0, -1.0001), "");
  EXPECT_DEATH(fieldValueAt(layer, 1, std::nan(""), 0, values), "");
  EXPECT_DEATH(fieldValueAt(layer, 1, 0, 0, F_VectorReal(3)), "");
  positionAt(layer, 1, 1.000000005, -1.000000005);  // within the tolerance
}

TEST(F_ElementInterpolation, IntensityFollowsTheAngleToTheLineOfSight) {
  const double s = std::sqrt(0.5);
  // Depth x points at the viewer: a face in a plane x = constant is seen square on.
  const F_S3dLayer layer = layerWith(
      {{3, 0, 0}, {3, 1, 0}, {3, 1, 1}, {3, 0, 1},  // square on
       {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1},  // contains the line of sight
       {0, 0, 0}, {1, 1, 0}, {1, 1, 1}, {0, 0, 1}},  // at 45 degrees
      {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {1, 2, 3}, {4, 3, 2, 1}, {1, 2}, {1, 2, 2, 1}});
  struct Case {
    const char* name;
    int element;
    double expected;
  };
  const Case cases[] = {
      {"square on", 1, 1.0},       {"edge on", 2, 0.0},          {"45 degrees", 3, s},
      {"flat triangle square on", 4, 1.0}, {"back face is as bright", 5, 1.0}, {"a line", 6, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(shadingIntensityAt(layer, c.element, 0.2, 0.3), c.expected, 1e-12);
  }
}

TEST(F_ElementInterpolation, FieldRangeOverTheSamples) {
  const std::vector<F_Point3D> points = {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {0, 2, 0}};
  const std::vector<int> quad = {1, 2, 3, 4};
  struct Case {
    const char* name;
    std::vector<std::vector<int>> elements;
    F_Interval expected;
  };
  const Case cases[] = {
      {"no elements", {}, {-1e-6, 1e-6}},
      {"empty element first counts as 0", {{}, quad, quad}, {0, 5}},
      {"empty element last repeats the one before", {quad, quad, {}}, {5, 5}},
      {"five nodes count as 0", {quad, {1, 2, 3, 4, 5}, quad}, {0, 5}},
      {"empty after five nodes counts as 0", {{1, 2, 3, 4, 5}, {}}, {0, 0}},
      {"lines and triangles", {{1, 2}, {1, 2, 3}}, {5, 5}},
  };
  const F_VectorReal fives(5, 5.0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const F_S3dLayer layer = layerWith(points, c.elements);
    const F_Interval range = fieldRange(layer, 2, 2, fives);
    EXPECT_EQ(range.lower, c.expected.lower);
    EXPECT_EQ(range.upper, c.expected.upper);
  }
}

TEST(F_ElementInterpolation, FieldRangeSeesValuesBetweenTheNodes) {
  // An 8-node quadrilateral with 1 at its corners and 0 at its mid-sides
  // bulges below 0 inside: the samples find it, the node values alone do not.
  F_S3dLayer layer = layerWith({{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 2, 1}, {0, 2, 2}, {0, 1, 2}, {0, 0, 2}, {0, 0, 1}},
                               {{1, 2, 3, 4, 5, 6, 7, 8}});
  F_VectorReal values(8, 0.0);
  for (int corner : {1, 3, 5, 7}) values(corner) = 1.0;
  const F_Interval one = fieldRange(layer, 1, 1, values);  // corners and the centre
  EXPECT_DOUBLE_EQ(one.lower, -1.0);
  EXPECT_DOUBLE_EQ(one.upper, 1.0);
  const F_Interval two = fieldRange(layer, 2, 2, values);
  EXPECT_DOUBLE_EQ(two.lower, -1.0);
  EXPECT_NEAR(fieldValueAt(layer, 1, -0.5, -0.5, values), -0.5, 1e-15);

  F_S3dMesh mesh;
  mesh.layers.append(layer);
  F_DisplayOptions options;
  options.numberOfDivisions = 2;
  const F_Interval viaMesh = fieldRange(mesh, 1, options, values);
  EXPECT_EQ(viaMesh.lower, two.lower);
  EXPECT_EQ(viaMesh.upper, two.upper);

  EXPECT_DEATH(fieldRange(layer, 2, 3, values), "");
  EXPECT_DEATH(fieldRange(layer, 21, 21, values), "");
  EXPECT_DEATH(fieldRange(layer, 2, 2, F_VectorReal(7)), "");
  EXPECT_DEATH(fieldRange(mesh, 2, options, values), "");
}

// Large layers are run through in parts on several threads; the parts must
// give the extremes of one pass, also where a part starts with elements
// without nodes (0 only when no element with nodes came before) or holds
// elements of unsupported node counts.
TEST(F_ElementInterpolation, FieldRangeInPartsIsTheRangeOfOnePass) {
  const int elements = 3 * kFieldRangeElementsPerThread + 5;  // three parts on three threads or more
  std::vector<F_Point3D> points;
  for (int i = 0; i < 8; ++i) points.push_back({0, double(i % 3), double(i / 3)});
  F_VectorReal values(8);
  for (int i = 1; i <= 8; ++i) values(i) = 1 + 0.1 * i;  // all above 0, so a 0 shows
  const std::vector<int> quad = {1, 2, 5, 4}, quad8 = {1, 2, 3, 6, 8, 7, 4, 5}, five = {1, 2, 3, 4, 5};
  struct Case {
    const char* name;
    int emptyUpTo;  // elements 1..emptyUpTo have no nodes
    int fiveAt;  // 0 for none
    int emptyFrom;  // elements emptyFrom.. have no nodes, 0 for none
  };
  const Case cases[] = {
      {"all with nodes", 0, 0, 0},
      {"empty up to the second part", elements / 3 + 7, 0, 0},
      {"empty up to the third part", 2 * elements / 3 + 7, 0, 0},
      {"empty from within the first part", 0, 0, 100},
      {"five nodes at the end of the first part", 0, elements / 3, elements / 3 + 1},
      {"five nodes in the last part", elements / 3 + 3, elements - 2, 0},
      {"all empty", elements, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::vector<int>> list;
    for (int i = 1; i <= elements; ++i) {
      if (i <= c.emptyUpTo || (c.emptyFrom && i >= c.emptyFrom)) {
        list.push_back({});
      } else if (i == c.fiveAt) {
        list.push_back(five);
      } else {
        list.push_back(i % 3 ? quad : quad8);
      }
    }
    const F_S3dLayer layer = layerWith(points, list);
    F_Interval ranges[3];
    int t = 0;
    for (const char* threads : {"1", "2", "7"}) {
      setenv("KAVRILON_THREADS", threads, 1);
      ranges[t++] = fieldRange(layer, 3, 3, values);
    }
    unsetenv("KAVRILON_THREADS");
    for (int i = 1; i < 3; ++i) {
      EXPECT_EQ(ranges[i].lower, ranges[0].lower);
      EXPECT_EQ(ranges[i].upper, ranges[0].upper);
    }
  }
}

// Elements whose node values lie well inside the extremes so far are passed
// over without forming their samples. The extremes must keep their bits
// (the sign of a zero included) against a fold over every sample of every
// element: flat fields whose sums miss the node value by an ulp, zeros of
// both signs, NaN and infinities, quadratic elements (weights below 0),
// elements without nodes after ones passed over.
TEST(F_ElementInterpolation, FieldRangeIsTheFoldOverEverySample) {
  auto reference = [](const F_S3dLayer& layer, int divisions, const F_VectorReal& values) {
    F_SampleTable tables[F_ElementShape::kMaxNodes + 1];
    double lo = 1e30, hi = -1e30, listMin = 0, listMax = 0;
    for (int i = 1; i <= layer.elementCount(); ++i) {
      const F_S3dElement& e = layer.element(i);
      const int k = e.effectiveNodeCount();
      if (k != 0) {
        listMin = listMax = 0;
        if (F_ElementShape::isSupported(k)) {
          if (tables[k].nodeCount() != k) tables[k].build(k, divisions);
          double v[F_ElementShape::kMaxNodes], s[F_SampleTable::kMostSamples];
          for (int j = 0; j < k; ++j) v[j] = values(e.node(j + 1));
          tables[k].weightedSums(v, s);
          listMin = 1e300;
          listMax = -1e300;
          for (int q = 0; q < tables[k].sampleCount(); ++q) {
            listMin = std::min(listMin, s[q]);
            listMax = std::max(listMax, s[q]);
          }
        }
      }
      lo = std::min(lo, listMin);
      hi = std::max(hi, listMax);
    }
    return lo <= hi ? F_Interval{lo, hi} : F_Interval{-1e-6, 1e-6};
  };
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  struct Case {
    const char* name;
    std::vector<double> values;  // of the nine points of a 3 x 3 grid
  };
  const Case cases[] = {
      {"flat", {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1}},
      {"flat and large", {1e300, 1e300, 1e300, 1e300, 1e300, 1e300, 1e300, 1e300, 1e300}},
      // The first element reaches v at one corner, its other samples are a
      // single product below it; the later ones, flat at v, sum to an ulp beside it.
      {"flat at the top, 0.1", {0, 0, 0, 0.1, 0, 0.1, 0.1, 0.1, 0.1}},
      {"flat at the top, 0.7", {0, 0, 0, 0.7, 0, 0.7, 0.7, 0.7, 0.7}},
      {"flat at the top, 1/7", {0, 0, 0, 1.0 / 7, 0, 1.0 / 7, 1.0 / 7, 1.0 / 7, 1.0 / 7}},
      {"flat at the bottom, -1/3", {0, 0, 0, -1.0 / 3, 0, -1.0 / 3, -1.0 / 3, -1.0 / 3, -1.0 / 3}},
      {"zeros of both signs", {-0.0, 0.0, -0.0, 0.0, 0.0, -0.0, 0.0, -0.0, 0.0}},
      {"a NaN", {1, 2, 3, nan, 5, 1.5, 2.5, 1, 2}},
      {"an infinity", {1, 2, 3, 4, inf, 1.5, 2.5, 1, 2}},
      {"mixed sizes", {-1e-300, 4e-310, 1e-300, 2e20, -3e19, 7, 1e-5, -1e-5, 0}},
  };
  // Quadrilaterals and triangles over the grid, each repeated so that later
  // copies lie inside the extremes of the first, elements without nodes
  // after them; once without and once with quadratic elements, whose samples
  // overshoot their nodes.
  std::vector<std::vector<int>> linear, quadratic;
  for (int round = 0; round < 3; ++round) {
    for (const std::vector<int>& e : std::vector<std::vector<int>>{
             {1, 2, 5, 4}, {2, 3, 6, 5}, {}, {4, 5, 8, 7}, {5, 6, 9}, {}, {5, 9, 8, 5}, {6, 7, 8, 9}, {6, 7, 9}}) {
      linear.push_back(e);
      quadratic.push_back(e);
    }
    quadratic.push_back({1, 3, 9, 7, 2, 6, 8, 4});
  }
  const F_S3dLayer layers[] = {layerWith(std::vector<F_Point3D>(9), linear),
                               layerWith(std::vector<F_Point3D>(9), quadratic)};
  for (const Case& c : cases) {
    F_VectorReal values(9);
    for (int i = 1; i <= 9; ++i) values(i) = c.values[static_cast<std::size_t>(i - 1)];
    for (const int divisions : {1, 3, 10}) {
      for (const F_S3dLayer& layer : layers) {
        SCOPED_TRACE(testing::Message() << c.name << ", divisions " << divisions
                                        << (&layer == layers ? "" : ", quadratic"));
        const F_Interval want = reference(layer, divisions, values);
        const F_Interval got = fieldRange(layer, divisions, divisions, values);
        EXPECT_EQ(std::memcmp(&got.lower, &want.lower, sizeof(double)), 0) << got.lower << " " << want.lower;
        EXPECT_EQ(std::memcmp(&got.upper, &want.upper, sizeof(double)), 0) << got.upper << " " << want.upper;
      }
    }
  }
}

// The sums four samples at a time must give the one-sample loop's bits: each
// term in node order, no fused multiply-add. Values of mixed signs and sizes
// make any other order or rounding show.
TEST(F_SampleTable, WeightedSumsAreTheOneSampleSumsToTheBit) {
  std::mt19937 random(9);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (const int nodes : {3, 4, 6, 8, 9}) {
    for (const int divisions : {1, 2, 3, 7}) {
      SCOPED_TRACE(testing::Message() << nodes << " nodes, " << divisions << " divisions");
      F_SampleTable table;
      table.build(nodes, divisions);
      for (int round = 0; round < 20; ++round) {
        double value[F_ElementShape::kMaxNodes];
        for (int j = 0; j < nodes; ++j) value[j] = std::ldexp(mantissa(random), exponent(random));
        if (round == 0) value[0] = -0.0;
        std::vector<double> sums(static_cast<std::size_t>(table.sampleCount()));
        table.weightedSums(value, sums.data());
        for (int s = 0; s < table.sampleCount(); ++s) {
          double expected = 0.0;
          for (int j = 0; j < nodes; ++j) expected += table.n(s)[j] * value[j];
          EXPECT_EQ(std::memcmp(&expected, &sums[static_cast<std::size_t>(s)], sizeof expected), 0) << "sample " << s;
        }
      }
    }
  }
}
