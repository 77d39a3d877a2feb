#include "common/F_LayerRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>
#include <set>

#include "RenderCanvas.h"
#include "common/F_ElementInterpolation.h"
#include "platform/headless/HeadlessUi.h"

namespace {

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

// A square from (y, z) = (2, 2) to (14, 14) at depth `x`, as one 4-node element.
F_S3dLayer square(double x, double left = 2, double right = 14) {
  return layerWith({{x, left, 2}, {x, right, 2}, {x, right, 14}, {x, left, 14}}, {{1, 2, 3, 4}});
}

F_DisplayOptions optionsFor(int layers, int divisions = 3, bool overprint = false) {
  F_DisplayOptions o;
  o.layerContexts.assignDefaults(layers);
  o.numberOfDivisions = divisions;
  o.overprintMesh = overprint ? 1 : 0;
  return o;
}

struct Scene {
  RenderCanvas canvas;
  F_LayerRenderer renderer{canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14};
};

}  // namespace

TEST(F_LayerRenderer, FaceSquareOnTakesTheLastColourOfItsRamp) {
  struct Case {
    int lineColor;
    F_Rgb index;
  };
  const Case cases[] = {{1, 8000},  {2, 8000},  {3, 12000}, {4, 16000}, {5, 20000}, {6, 24000},
                        {7, 28000}, {8, 8000},  {13, 8000}, {14, 32000}, {15, 32000}, {16, 8000}};
  const F_S3dLayer triangle = layerWith({{0, 2, 2}, {0, 14, 2}, {0, 2, 14}}, {{1, 2, 3}});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "line colour " << c.lineColor);
    Scene s;
    F_S3dMesh mesh;
    mesh.layers.append(triangle);
    F_DisplayOptions options = optionsFor(1);
    options.layer(1).lineColor = c.lineColor;
    s.renderer.renderMesh(mesh, options, F_VectorReal(), {0, 1}, 1);
    EXPECT_FALSE(s.canvas.drawn().empty());
    EXPECT_EQ(s.canvas.indices(), (std::set<F_Rgb>{c.index}));
  }
}

TEST(F_LayerRenderer, FaceEdgeOnDisappears) {
  Scene s;
  F_S3dMesh mesh;
  mesh.layers.append(layerWith({{0, 2, 2}, {5, 2, 2}, {0, 2, 14}}, {{1, 2, 3}}));
  s.renderer.renderMesh(mesh, optionsFor(1), F_VectorReal(), {0, 1}, 1);
  EXPECT_TRUE(s.canvas.drawn().empty());
}

TEST(F_LayerRenderer, OverprintDrawsTheOutlineInBlackOverTheFaces) {
  for (bool overprint : {false, true}) {
    SCOPED_TRACE(overprint ? "with overprint" : "without");
    Scene s;
    F_S3dMesh mesh;
    mesh.layers.append(square(0));
    s.renderer.renderMesh(mesh, optionsFor(1, 3, overprint), F_VectorReal(), {0, 1}, 1);
    EXPECT_EQ(s.renderer.triangleCount(), 36);
    EXPECT_EQ(s.renderer.lineCount(), overprint ? 12 : 0);
    const F_Rgb edge = overprint ? 1 : 8000;
    for (int k = 2; k <= 14; ++k) {
      EXPECT_EQ(s.canvas.at(k, 18), edge) << "bottom, column " << k;
      EXPECT_EQ(s.canvas.at(k, 6), edge) << "top, column " << k;
      EXPECT_EQ(s.canvas.at(2, 20 - k), edge) << "left, row " << 20 - k;
      EXPECT_EQ(s.canvas.at(14, 20 - k), edge) << "right, row " << 20 - k;
    }
    EXPECT_EQ(s.canvas.at(8, 12), 8000u);  // inner cell edges are not outlined
    EXPECT_EQ(s.canvas.at(6, 12), 8000u);
  }
}

TEST(F_LayerRenderer, TwoNodeElementsAreLinesInTheLayerColour) {
  Scene s;
  F_S3dMesh mesh;
  mesh.layers.append(layerWith({{0, 2, 10}, {0, 14, 10}}, {{1, 2}}));
  F_DisplayOptions options = optionsFor(1);
  options.layer(1).lineColor = 6;
  F_VectorReal values(2, 0.25);  // a field does not colour lines
  s.renderer.renderMesh(mesh, options, values, {0, 1}, 1);
  EXPECT_EQ(s.canvas.drawn().size(), 13u);
  EXPECT_EQ(s.canvas.indices(), (std::set<F_Rgb>{6}));
}

TEST(F_LayerRenderer, ContourFillSpreadsTheFieldOverTheRainbow) {
  Scene s;
  F_S3dMesh mesh;
  mesh.layers.append(square(0));
  F_VectorReal values(4);
  values(1) = values(4) = 0.0;  // left side
  values(2) = values(3) = 1.0;  // right side
  s.renderer.renderMesh(mesh, optionsFor(1), values, {0, 1}, 1);
  const std::set<F_Rgb> indices = s.canvas.indices();
  EXPECT_EQ(*indices.begin(), 1001u);
  EXPECT_EQ(*indices.rbegin(), 1014u);
  EXPECT_GE(indices.size(), 12u);  // 13 columns over 14 bands
  EXPECT_EQ(s.canvas.at(2, 12), 1001u);
  EXPECT_EQ(s.canvas.at(14, 12), 1014u);
  EXPECT_NEAR(static_cast<double>(s.canvas.at(8, 12)), 1007.5, 0.5);  // 0.5 sits on the edge of bands 7 and 8
}

TEST(F_LayerRenderer, FieldOfTheCurrentLayerOnlyAndOtherLayersShaded) {
  Scene s;
  F_S3dMesh mesh;
  mesh.layers.append(square(0, 1, 7));
  mesh.layers.append(square(0, 9, 15));
  F_VectorReal values(4, 0.5);
  s.renderer.renderMesh(mesh, optionsFor(2), values, {0, 1}, 2);
  EXPECT_EQ(s.canvas.at(4, 12), 8000u);  // layer 1 shaded red, square on
  EXPECT_GE(s.canvas.at(12, 12), 1001u);
  EXPECT_LE(s.canvas.at(12, 12), 1014u);
}

TEST(F_LayerRenderer, CurrentLayerWithoutFieldSpreadsIntensityOverTheGivenRange) {
  Scene s;
  F_S3dMesh mesh;
  mesh.layers.append(square(0));
  // Intensity 1 against a range (0, 4): a quarter of the 4000 steps.
  s.renderer.renderMesh(mesh, optionsFor(1), F_VectorReal(), {0, 4}, 1);
  EXPECT_EQ(s.canvas.indices(), (std::set<F_Rgb>{4001 + 1000}));
}

TEST(F_LayerRenderer, HiddenLayersAddNothingNotEvenDepth) {
  F_S3dMesh mesh;
  mesh.layers.append(square(0, 1, 7));
  mesh.layers.append(square(5));  // nearer, over the whole first square
  mesh.layers.append(layerWith({{0, 1, 1}, {0, 2, 2}, {0, 3, 3}, {0, 4, 4}, {0, 5, 5}}, {{1, 2, 3, 4, 5}}));
  F_DisplayOptions options = optionsFor(3);
  options.layer(2).hideLayer();
  options.layer(3).hideLayer();

  Scene alone;
  F_S3dMesh first;
  first.layers.append(mesh.layer(1));
  alone.renderer.renderMesh(first, optionsFor(1), F_VectorReal(), {0, 1}, 1);

  Scene s;
  s.renderer.renderMesh(mesh, options, F_VectorReal(), {0, 1}, 3);
  EXPECT_EQ(s.canvas.pixels, alone.canvas.pixels);
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 24; ++c) ASSERT_EQ(s.canvas.depth.at(c, r), alone.canvas.depth.at(c, r)) << c << "," << r;
}

TEST(F_LayerRenderer, UnsupportedElementInAVisibleLayerStopsTheRendering) {
  Scene s;
  F_S3dMesh mesh;
  mesh.layers.append(square(0));
  mesh.layers.append(layerWith({{0, 1, 1}, {0, 2, 2}, {0, 3, 3}, {0, 4, 4}, {0, 5, 5}}, {{1, 2, 3, 4, 5}}));
  EXPECT_THROW(s.renderer.renderMesh(mesh, optionsFor(2), F_VectorReal(), {0, 1}, 1), F_NotSupportedException);
  EXPECT_EQ(s.canvas.at(8, 12), 8000u);  // the first layer was drawn before
  // A closed outline of five nodes (1 2 3 4 1 is four) is fine; six distinct
  // points with a seventh repeat is a six-node element.
  Scene closed;
  F_S3dMesh ok;
  ok.layers.append(layerWith({{0, 2, 2}, {0, 14, 2}, {0, 14, 14}, {0, 2, 14}}, {{1, 2, 3, 4, 1}}));
  closed.renderer.renderMesh(ok, optionsFor(1), F_VectorReal(), {0, 1}, 1);
  EXPECT_EQ(closed.canvas.at(8, 12), 8000u);
}

TEST(F_LayerRenderer, UnsupportedElementIsFoundEvenWithNothingToDrawOn) {
  RenderCanvas canvas;
  F_DepthBuffer none;
  F_LayerRenderer renderer(canvas.surface, canvas.map, none, canvas.colors(), 14);
  F_S3dMesh mesh;
  mesh.layers.append(layerWith({{0, 1, 1}, {0, 2, 2}, {0, 3, 3}, {0, 4, 4}, {0, 5, 5}}, {{1, 2, 3, 4, 5}}));
  EXPECT_THROW(renderer.renderMesh(mesh, optionsFor(1), F_VectorReal(), {0, 1}, 1), F_NotSupportedException);
}

TEST(F_LayerRenderer, SixNodeTriangleAndCurvedQuadrilateralCoverTheirArea) {
  struct Case {
    const char* name;
    F_S3dLayer layer;
    long long triangles;
  };
  const Case cases[] = {
      {"six nodes", layerWith({{0, 2, 2}, {0, 8, 2}, {0, 14, 2}, {0, 8, 8}, {0, 2, 14}, {0, 2, 8}}, {{1, 2, 3, 4, 5, 6}}), 9},
      {"eight nodes", layerWith({{0, 2, 2}, {0, 8, 2}, {0, 14, 2}, {0, 14, 8}, {0, 14, 14}, {0, 8, 14}, {0, 2, 14}, {0, 2, 8}},
                                {{1, 2, 3, 4, 5, 6, 7, 8}}), 36},
      {"nine nodes", layerWith({{0, 2, 2}, {0, 8, 2}, {0, 14, 2}, {0, 14, 8}, {0, 14, 14}, {0, 8, 14}, {0, 2, 14}, {0, 2, 8}, {0, 8, 8}},
                               {{1, 2, 3, 4, 5, 6, 7, 8, 9}}), 36},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene s;
    F_S3dMesh mesh;
    mesh.layers.append(c.layer);
    s.renderer.renderMesh(mesh, optionsFor(1, 3, true), F_VectorReal(), {0, 1}, 1);
    EXPECT_EQ(s.renderer.triangleCount(), c.triangles);
    // Corner to corner without a crack: every pixel inside the outline is drawn.
    EXPECT_EQ(s.canvas.at(2, 18), 1u);
    EXPECT_EQ(s.canvas.at(3, 17), 8000u);
    EXPECT_EQ(s.canvas.at(5, 12), 8000u);
  }
}

TEST(F_LayerRenderer, ArgumentsOutsideTheirRangeAreFaultsOfTheCaller) {
  Scene s;
  F_S3dMesh mesh;
  mesh.layers.append(square(0));
  EXPECT_DEATH(s.renderer.renderMesh(mesh, optionsFor(1), F_VectorReal(), {0, 1}, 2), "");
  EXPECT_DEATH(s.renderer.renderMesh(mesh, optionsFor(1), F_VectorReal(), {0, 1}, 0), "");
  EXPECT_DEATH(s.renderer.renderMesh(mesh, optionsFor(1), F_VectorReal(3), {0, 1}, 1), "");
  const F_LayerContext context;
  EXPECT_DEATH(s.renderer.renderLayer(mesh.layer(1), context, false, 2, 3, 4001, 8000, F_VectorReal(), {0, 1}), "");
  EXPECT_DEATH(s.renderer.renderLayer(mesh.layer(1), context, false, 21, 21, 4001, 8000, F_VectorReal(), {0, 1}), "");
}

TEST(F_LayerRenderer, RealColourTableGivesTheRampsAndTheRainbow) {
  F_ColorTable table;
  table.build(14);
  RenderCanvas canvas;
  F_S3dMesh mesh;
  mesh.layers.append(square(0, 1, 7));
  mesh.layers.append(square(0, 9, 15));
  F_DisplayOptions options = optionsFor(2, 1, false);
  options.layer(1).lineColor = 3;
  F_VectorReal values(4, 1.0);  // the top of the range: red
  renderMesh(mesh, canvas.surface, canvas.map, options, canvas.depth, table, values, {0, 1}, 2);
  EXPECT_EQ(canvas.at(4, 12), makeRgb(0, 255, 0));  // green ramp, square on
  EXPECT_EQ(canvas.at(12, 12), makeRgb(255, 0, 0));  // last rainbow colour
}

namespace {

// A wavy sheet of nx by ny 4-node quads over a canvas of width by height
// pixels whose rows are `ratio` times as fine as its columns, with a 2-node
// line along each row of quads, one 6-node triangle, one element without
// nodes, and every `closed`-th quad closed by repeating its first node. The
// depth waves, so faces, lines and outlines hide one another here and there.
struct Sheet {
  Sheet(int nx, int ny, int width, int height, double ratio) : canvas(width, height) {
    canvas.map.scaleX2 = -ratio;
    canvas.map.originX2 = height - 1;
    auto at = [&](int i, int j) { return j * (nx + 1) + i + 1; };
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) {
        const double column = 0.3 + (width - 0.6) * i / nx + 2.5 * std::sin(0.9 * j);
        const double row = 0.4 + (height - 0.8) * j / ny + 1.5 * std::cos(0.7 * i);
        layer.points.append({4 * std::sin(0.7 * i) * std::cos(0.5 * j), column, (height - 1 - row) / ratio});
        values.append(std::sin(0.3 * at(i, j)));
      }
    auto add = [&](std::vector<int> nodes) {
      F_S3dElement e;
      for (int n : nodes) e.nodes.append(n);
      layer.elements.append(std::move(e));
    };
    for (int j = 0; j < ny; ++j) {
      for (int i = 0; i < nx; ++i) {
        if ((i + j) % 7 == 3) {
          add({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1), at(i, j)});
        } else {
          add({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        }
      }
      add({at(0, j), at(nx, j + 1)});
    }
    add({});
    add({at(0, 0), at(1, 0), at(2, 0), at(1, 1), at(0, 2), at(0, 1)});
  }
  RenderCanvas canvas;
  F_S3dLayer layer;
  F_VectorReal values;
};

// The sheet rendered with `threads`: its pixels and depths.
std::pair<std::vector<F_Rgb>, std::vector<float>> renderSheet(const Sheet& sheet, int threads, int divisions,
                                                            bool overprint, bool contour) {
  RenderCanvas canvas = sheet.canvas;
  canvas.surface.bits = canvas.pixels.data();
  F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
  renderer.setThreads(threads);
  F_LayerContext context;
  context.lineColor = 3;
  renderer.renderLayer(sheet.layer, context, overprint, divisions, divisions, 4001, 8000,
                       contour ? sheet.values : F_VectorReal(), {-1, 1});
  std::vector<float> depth;
  for (int r = 0; r < canvas.depth.height(); ++r)
    depth.insert(depth.end(), canvas.depth.row(r), canvas.depth.row(r) + canvas.depth.width());
  return {canvas.pixels, depth};
}

}  // namespace

TEST(F_LayerRenderer, BandsOnSeveralThreadsGiveTheBytesOfOneThread) {
  struct Case {
    const char* name;
    int nx, ny, width, height;
    double ratio;
    int threads, divisions;
    bool overprint, contour;
  };
  // Drawable rows are 1 .. height - 1; a band needs kMinBandRows of them.
  const Case cases[] = {
      {"15 rows: too few for two bands", 6, 5, 20, 16, 1, 2, 3, true, false},
      {"16 rows: two bands", 6, 5, 20, 17, 1, 2, 3, true, false},
      {"55 rows: six bands of seven threads", 9, 12, 40, 56, 1, 7, 3, true, true},
      {"56 rows: seven bands", 9, 12, 40, 57, 1, 7, 3, true, true},
      {"one division, no overprint", 9, 12, 40, 57, 1, 3, 1, false, false},
      {"ten divisions, contour fill", 9, 12, 40, 57, 1, 3, 10, true, true},
      {"twenty divisions", 12, 12, 60, 70, 1, 4, 20, true, false},
      {"thousands of elements", 80, 60, 90, 80, 1, 3, 1, true, true},
      {"rows twice as fine as columns", 9, 12, 40, 57, 2, 5, 3, true, false},
      {"rows more than twice as fine", 9, 12, 40, 57, 3, 5, 3, true, false},
      {"rows coarser than columns", 9, 12, 40, 57, 0.5, 5, 3, true, true},
      {"sub-pixel quads", 60, 60, 30, 30, 1, 2, 3, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Sheet sheet(c.nx, c.ny, c.width, c.height, c.ratio);
    const auto one = renderSheet(sheet, 1, c.divisions, c.overprint, c.contour);
    const auto many = renderSheet(sheet, c.threads, c.divisions, c.overprint, c.contour);
    EXPECT_GT(std::count_if(one.first.begin(), one.first.end(), [](F_Rgb p) { return p != RenderCanvas::kBackground; }),
              c.width * c.height / 4);
    EXPECT_TRUE(one.first == many.first);
    EXPECT_TRUE(one.second == many.second);
  }
}

TEST(F_LayerRenderer, BandsStopAtAnUnsupportedElementWhereOneThreadStops) {
  Sheet sheet(20, 16, 40, 40, 1);
  F_S3dLayer& layer = sheet.layer;
  // A five-node element in the middle; what came before it is drawn.
  F_S3dElement five;
  for (int n : {1, 2, 3, 4, 5}) five.nodes.append(n);
  layer.elements(150) = five;
  std::vector<F_Rgb> pixels[2];
  for (const int threads : {1, 3}) {
    RenderCanvas canvas = sheet.canvas;
    canvas.surface.bits = canvas.pixels.data();
    F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
    renderer.setThreads(threads);
    EXPECT_THROW(renderer.renderLayer(layer, F_LayerContext(), true, 3, 3, 4001, 8000, F_VectorReal(), {0, 1}),
                 F_NotSupportedException);
    EXPECT_EQ(renderer.triangleCount(), (149 - 7) * 36);  // seven lines end the rows before it
    pixels[threads == 1 ? 0 : 1] = canvas.pixels;
  }
  EXPECT_TRUE(pixels[0] == pixels[1]);
  EXPECT_NE(std::count(pixels[0].begin(), pixels[0].end(), RenderCanvas::kBackground), 40 * 40);
}

// A band skips an element on these rows, so they must hold every pixel the
// element writes: faces, quadratic sides that bulge past their nodes, and
// outlines that reach half a column past their ends, whatever the ratio of
// rows to columns and the divisions.
TEST(F_LayerRenderer, ElementRowsHoldEveryPixelTheElementWrites) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> corner(2, 20), bulge(-3, 3), depth(-3, 3);
  for (const double ratio : {1.0, 2.5, 0.5}) {
    for (const int k : {2, 3, 4, 6, 8, 9}) {
      for (const int divisions : {1, 3, 10}) {
        SCOPED_TRACE(testing::Message() << "ratio " << ratio << ", " << k << " nodes, " << divisions << " divisions");
        F_SampleTable table;
        if (k > 2) table.build(k, divisions);
        for (int i = 0; i < 40; ++i) {
          RenderCanvas canvas;
          canvas.map.scaleX2 = -ratio;
          F_S3dLayer layer;
          F_S3dElement element;
          for (int j = 1; j <= k; ++j) {
            // Small elements mostly, some across the canvas; mid-side nodes pushed off their sides.
            const double reach = i % 4 == 0 ? 18 : 3;
            std::uniform_real_distribution<double> near(-reach, reach);
            const F_Point3D base = j == 1 ? F_Point3D{depth(random), corner(random), corner(random) / ratio}
                                          : layer.points(1);
            F_Point3D p{depth(random), base.y + near(random), base.z + near(random) / ratio};
            if (k >= 6 && j % 2 == 0) p.z += bulge(random) / ratio;
            layer.points.append(p);
            element.nodes.append(j);
          }
          layer.elements.append(element);
          F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
          renderer.setThreads(1);
          renderer.renderLayer(layer, F_LayerContext(), true, divisions, divisions, 4001, 8000, F_VectorReal(), {0, 1});
          int from = 0, to = 0;
          ASSERT_TRUE(F_LayerRenderer::elementRows(canvas.map, layer, layer.element(1), k,
                                                   k == 2 ? 1.0 : table.reach(), from, to));
          for (const auto& [column, row] : canvas.drawn()) {
            ASSERT_LE(from, row) << "element " << i;
            ASSERT_GE(to, row) << "element " << i;
          }
        }
      }
    }
  }
}

TEST(F_LayerRenderer, ElementRowsAreUnboundedForCoordinatesThatAreNotNumbers) {
  RenderCanvas canvas;
  F_S3dLayer layer;
  for (const double z : {1.0, std::nan(""), 3.0, 4.0}) layer.points.append({0, 1, z});
  F_S3dElement element;
  for (int j = 1; j <= 4; ++j) element.nodes.append(j);
  int from = 0, to = 0;
  EXPECT_FALSE(F_LayerRenderer::elementRows(canvas.map, layer, element, 4, 1.0, from, to));
}

TEST(F_SampleTable, ReachIsOneForLinearShapesAndMoreWhereQuadraticOnesBulge) {
  const struct {
    int nodes, divisions;
    bool above;  // beyond 1
  } cases[] = {{3, 1, false}, {3, 10, false}, {4, 1, false}, {4, 3, false}, {4, 20, false},
               {6, 3, true}, {8, 3, true}, {9, 3, true}};
  for (const auto& c : cases) {
    F_SampleTable table;
    table.build(c.nodes, c.divisions);
    if (c.above) {
      EXPECT_GT(table.reach(), 1.0 + 1e-9) << c.nodes << " nodes";
    } else {
      EXPECT_NEAR(table.reach(), 1.0, 1e-12) << c.nodes << " nodes";
    }
  }
}

TEST(F_SampleTable, LanesHoldEachSampleBesideTheOthersOfItsGroupOfFour) {
  // Sample counts from 3 (a triangle) up, odd and even, some a multiple of four.
  const struct {
    int nodes, divisions;
  } cases[] = {{3, 1}, {4, 1}, {4, 2}, {4, 3}, {6, 1}, {6, 2}, {8, 3}, {9, 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nodes << " nodes, " << c.divisions << " divisions");
    F_SampleTable table;
    table.build(c.nodes, c.divisions);
    const int count = table.sampleCount();
    for (int s = 0; s < count; ++s) {
      for (int j = 0; j < c.nodes; ++j) {
        // From the group's first sample, lane s % 4; from s itself, lane 0.
        const int lane = s % 4, group = s - lane;
        EXPECT_EQ(table.nLanes(group)[4 * j + lane], table.n(s)[j]);
        EXPECT_EQ(table.dXiLanes(group)[4 * j + lane], table.dXi(s)[j]);
        EXPECT_EQ(table.dEtaLanes(group)[4 * j + lane], table.dEta(s)[j]);
        EXPECT_EQ(table.nLanes(s)[4 * j], table.n(s)[j]);
      }
    }
    // The lanes past the last sample hold zeros.
    for (int s = count; s % 4 != 0; ++s) {
      for (int j = 0; j < c.nodes; ++j) EXPECT_EQ(table.nLanes(s - s % 4)[4 * j + s % 4], 0.0);
    }
  }
}

TEST(F_SampleTable, TriangleGroupsCoverEveryTriangleOnceWithTheSamplesOfTheirCorners) {
  const struct {
    int nodes, divisions;
  } cases[] = {{3, 1}, {4, 1}, {4, 3}, {6, 1}, {6, 2}, {6, 5}, {8, 2}, {9, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nodes << " nodes, " << c.divisions << " divisions");
    F_SampleTable table;
    table.build(c.nodes, c.divisions);
    const std::vector<int>& tri = table.triangles();
    int next = 0;
    for (const F_SampleTable::TriangleGroup& group : table.triangleGroups()) {
      EXPECT_EQ(group.from, next);
      EXPECT_GT(group.to, group.from);
      EXPECT_LE(group.to - group.from, 12);
      EXPECT_EQ((group.to - group.from) % 3, 0);
      std::set<int> corners, listed(group.samples, group.samples + group.sampleCount);
      for (int j = group.from; j < group.to; ++j) corners.insert(tri[static_cast<std::size_t>(j)] - 1);
      EXPECT_EQ(listed, corners);
      EXPECT_EQ(static_cast<std::size_t>(group.sampleCount), listed.size());  // each once
      next = group.to;
    }
    EXPECT_EQ(next, static_cast<int>(tri.size()));
  }
}

// The renderer skips the triangles of elements that cannot reach a row centre
// and samples only their outlines; drawing every triangle and segment of every
// element one by one must give the same bytes, on one thread and on bands.
TEST(F_LayerRenderer, SkippedFacesAndOutlineSamplesGiveThePictureOfEveryPrimitive) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> corner(1, 39), value(-1, 1), depth(-3, 3);
  for (const int k : {3, 4, 6, 8, 9}) {
    for (const double size : {0.3, 1.5, 12.0}) {  // mostly between row centres, about a pixel, large
      SCOPED_TRACE(testing::Message() << k << " nodes, size " << size);
      const int divisions = 3;
      F_SampleTable table;
      table.build(k, divisions);
      F_S3dLayer layer;
      F_VectorReal values;
      std::uniform_real_distribution<double> near(-size, size);
      for (int e = 0; e < 40; ++e) {
        F_S3dElement element;
        const F_Point3D base{depth(random), corner(random), corner(random)};
        for (int j = 0; j < k; ++j) {
          layer.points.append({depth(random), base.y + near(random), base.z + near(random)});
          values.append(value(random));
          element.nodes.append(layer.pointCount());
        }
        layer.elements.append(element);
      }
      const F_Interval range{-1, 1};
      RenderCanvas expected(40, 40);
      expected.map.originX2 = 39;
      {
        const F_DrawArea area(expected.surface, expected.depth);
        const F_ColorScale face(expected.colors(), 1001, 1014, range), outline(expected.colors(), 1, 1, {0, 1});
        for (int e = 1; e <= layer.elementCount(); ++e) {
          std::vector<F_Vertex> s(static_cast<std::size_t>(table.sampleCount()));
          for (int i = 0; i < table.sampleCount(); ++i) {
            s[i] = {0, 0, 0, 0};
            for (int j = 0; j < k; ++j) {
              const int node = layer.element(e).node(j + 1);
              const double n = table.n(i)[j];
              s[i].x += n * layer.point(node).x;
              s[i].y += n * layer.point(node).y;
              s[i].z += n * layer.point(node).z;
            }
            for (int j = 0; j < k; ++j) s[i].v += table.n(i)[j] * values(layer.element(e).node(j + 1));
          }
          const std::vector<int>& tri = table.triangles();
          for (std::size_t j = 0; j < tri.size(); j += 3)
            rasterTriangle(area, expected.map, face, s[tri[j] - 1], s[tri[j + 1] - 1], s[tri[j + 2] - 1]);
          const std::vector<int>& edge = table.outline();
          for (std::size_t j = 0; j < edge.size(); j += 2) {
            F_Vertex a = s[edge[j] - 1], b = s[edge[j + 1] - 1];
            a.v = b.v = 1.0;
            rasterLine(area, expected.map, outline, a, b);
          }
        }
      }
      for (const int threads : {1, 3}) {
        RenderCanvas canvas(40, 40);
        canvas.map.originX2 = 39;
        F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
        renderer.setThreads(threads);
        renderer.renderLayer(layer, F_LayerContext(), true, divisions, divisions, 4001, 8000, values, range);
        EXPECT_TRUE(canvas.pixels == expected.pixels) << threads << " threads";
      }
    }
  }
}

// Bands are cut where the elements are: all of them in two rows, or none on
// the canvas at all (bands of equal height then), still give the bytes and
// the counts of one thread.
TEST(F_LayerRenderer, BandsCutByElementsGiveTheBytesOfOneThread) {
  for (const double rowOfAll : {2.2, 37.6, -500.0}) {
    SCOPED_TRACE(rowOfAll);
    F_S3dLayer layer;
    for (int i = 0; i < 30; ++i) {
      const double y = 1 + i;
      for (const auto& [dy, dz] : {std::pair{0.0, 0.0}, {1.4, 0.0}, {1.4, 0.9}, {0.0, 0.9}})
        layer.points.append({0.1 * i, y + dy, 39 - rowOfAll - dz});
      F_S3dElement element;
      for (int j = 1; j <= 4; ++j) element.nodes.append(4 * i + j);
      layer.elements.append(element);
    }
    std::vector<F_Rgb> pixels[2];
    long long counts[2][2];
    for (const int t : {0, 1}) {
      RenderCanvas canvas(40, 40);
      canvas.map.originX2 = 39;
      F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
      renderer.setThreads(t == 0 ? 1 : 4);
      renderer.renderLayer(layer, F_LayerContext(), true, 3, 3, 4001, 8000, F_VectorReal(), {0, 1});
      pixels[t] = canvas.pixels;
      counts[t][0] = renderer.triangleCount();
      counts[t][1] = renderer.lineCount();
    }
    EXPECT_TRUE(pixels[0] == pixels[1]);
    EXPECT_EQ(counts[0][0], counts[1][0]);
    EXPECT_EQ(counts[0][1], counts[1][1]);
    EXPECT_EQ(std::count(pixels[0].begin(), pixels[0].end(), RenderCanvas::kBackground) == 40 * 40,
              rowOfAll < 0);
  }
}

// Before the bands are drawn, each thread notes the rows of a piece of the
// elements; the bands then draw and count what one thread does. Rows: an
// element without shape functions in the first, a middle and the last piece
// (where drawing and counting stop), nodes whose depth is not a number (rows
// unknown: every band looks at the element) or far beyond the canvas (rows
// clamped), and fewer elements than threads.
TEST(F_LayerRenderer, BandsFromRowsNotedBeforehandDrawAndCountAsOneThread) {
  struct Case {
    const char* name;
    int nx, ny, threads;
    int unsupported;  // element replaced by a five-node one (0: none)
    int oddPoint;     // point whose depth is replaced (0: none)
    double oddDepth;
  };
  const Case cases[] = {
      {"five nodes in the first piece", 12, 10, 3, 2, 0, 0},
      {"five nodes in the middle piece", 12, 10, 3, 60, 0, 0},
      {"five nodes as the last element", 12, 10, 3, 10 * 13 + 2, 0, 0},
      {"a depth that is not a number", 12, 10, 4, 0, 20, std::nan("")},
      {"a depth far below the canvas", 12, 10, 4, 0, 20, -1e12},
      {"a depth far above the canvas", 12, 10, 4, 0, 20, 1e12},
      {"fewer elements than threads (eight, twelve)", 2, 2, 12, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sheet sheet(c.nx, c.ny, 40, 100, 1);
    if (c.unsupported) {
      F_S3dElement five;
      for (int n : {1, 2, 3, 4, 5}) five.nodes.append(n);
      sheet.layer.elements(c.unsupported) = five;
    }
    if (c.oddPoint) sheet.layer.points(c.oddPoint).z = c.oddDepth;
    std::vector<F_Rgb> pixels[2];
    long long counts[2][2];
    for (const int t : {0, 1}) {
      RenderCanvas canvas = sheet.canvas;
      canvas.surface.bits = canvas.pixels.data();
      F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
      renderer.setThreads(t == 0 ? 1 : c.threads);
      bool thrown = false;
      try {
        renderer.renderLayer(sheet.layer, F_LayerContext(), true, 3, 3, 4001, 8000, F_VectorReal(), {0, 1});
      } catch (const F_NotSupportedException&) {
        thrown = true;
      }
      EXPECT_EQ(thrown, c.unsupported != 0);
      pixels[t] = canvas.pixels;
      counts[t][0] = renderer.triangleCount();
      counts[t][1] = renderer.lineCount();
    }
    EXPECT_TRUE(pixels[0] == pixels[1]);
    EXPECT_EQ(counts[0][0], counts[1][0]);
    EXPECT_EQ(counts[0][1], counts[1][1]);
    if (c.unsupported != 2) {
      EXPECT_GT(counts[0][0], 0);
    }
  }
}

// A thread done with its band takes over the lower rows of a band with
// drawing left, from the element that band's thread is about to draw. With
// every split allowed (and seven threads on few cores, so bands finish far
// apart), the bytes and depths stay those of one thread; a split is seen in
// a few renders. With splitting off, none is made.
TEST(F_LayerRenderer, BandsTakenOverByIdleThreadsGiveTheBytesOfOneThread) {
  const Sheet sheet(90, 70, 120, 300, 1);
  auto render = [&](int threads, int limit, long long least, long long* splits) {
    RenderCanvas canvas = sheet.canvas;
    canvas.surface.bits = canvas.pixels.data();
    F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
    renderer.setThreads(threads);
    renderer.setSplitting(limit, least);
    F_LayerContext context;
    context.lineColor = 3;
    renderer.renderLayer(sheet.layer, context, true, 3, 3, 4001, 8000, sheet.values, {-1, 1});
    *splits = renderer.splitCount();
    std::vector<float> depth;
    for (int r = 0; r < canvas.depth.height(); ++r)
      depth.insert(depth.end(), canvas.depth.row(r), canvas.depth.row(r) + canvas.depth.width());
    return std::pair{canvas.pixels, depth};
  };
  long long splits = 0;
  const auto one = render(1, 0, 0, &splits);
  EXPECT_EQ(splits, 0);
  long long seen = 0;
  for (int run = 0; run < 20 && (run < 3 || seen == 0); ++run) {
    const auto many = render(run % 2 ? 7 : 2, 1000, 0, &splits);
    seen += splits;
    EXPECT_TRUE(one.first == many.first);
    EXPECT_TRUE(one.second == many.second);
  }
  EXPECT_GT(seen, 0);
  // Off, or allowed once at most.
  for (const int limit : {0, 1}) {
    const auto many = render(7, limit, 0, &splits);
    EXPECT_LE(splits, limit);
    EXPECT_TRUE(one.first == many.first);
  }
  // What is left is never worth an edge: no split.
  render(7, 1000, 1LL << 50, &splits);
  EXPECT_EQ(splits, 0);
}

// The rows noted for the bands read node depths straight from the layer's
// points: a node that is the layer's last point is drawn as one thread draws
// it, one past the last (or node 0) is refused as the layer's lookup refuses
// it, with an internal error.
TEST(F_LayerRendererDeathTest, BandsReadNodesUpToTheLayersLastPointAndRefuseOthers) {
  Sheet sheet(12, 10, 40, 100, 1);
  const int last = sheet.layer.pointCount();
  auto render = [&](int threads) {
    RenderCanvas canvas = sheet.canvas;
    canvas.surface.bits = canvas.pixels.data();
    F_LayerRenderer renderer(canvas.surface, canvas.map, canvas.depth, canvas.colors(), 14);
    renderer.setThreads(threads);
    renderer.renderLayer(sheet.layer, F_LayerContext(), true, 3, 3, 4001, 8000, F_VectorReal(), {0, 1});
    return canvas.pixels;
  };
  sheet.layer.elements(30).nodes(3) = last;
  EXPECT_TRUE(render(1) == render(2));
  for (const int node : {last + 1, 0}) {
    SCOPED_TRACE(node);
    sheet.layer.elements(30).nodes(3) = node;
    // The stop message goes to stderr here, so the death test can read it.
    EXPECT_DEATH(
        {
          HeadlessUi toStderr(&std::cerr);
          installUiServices(&toStderr);
          render(2);
        },
        "INTERNAL ERROR.*F_Vector");
  }
}
