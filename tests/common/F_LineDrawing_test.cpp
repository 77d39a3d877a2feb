#include "common/F_LineDrawing.h"

#include <gtest/gtest.h>

#include "platform/headless/RecordingDC.h"

namespace {

using Log = std::vector<std::string>;

// Pixel (y, 100 - z): X1 across, X2 up, rows growing downwards.
F_ScreenMap plainMap() {
  F_ScreenMap m;
  m.scaleX1 = 1;
  m.originX1 = 0;
  m.scaleX2 = -1;
  m.originX2 = 100;
  return m;
}

// Points given as screen pixels (column, row) at depth 0.
F_S3dLayer layerOf(std::initializer_list<std::pair<int, int>> pixels, std::initializer_list<std::vector<int>> elements,
                   std::initializer_list<int> special = {}) {
  F_S3dLayer layer;
  for (auto [x, y] : pixels) layer.points.append(F_Point3D(0, x, 100 - y));
  for (const auto& nodes : elements) {
    F_S3dElement e;
    for (int n : nodes) e.nodes.append(n);
    layer.elements.append(e);
  }
  for (int s : special) layer.specialNodes.append(s);
  return layer;
}

F_LayerContext nothingShown() {
  F_LayerContext lc;
  lc.displayLines = 0;
  return lc;
}

}  // namespace

TEST(F_LineDrawing, EachMarkerShapeAtItsAnchor) {
  // Size 9: h = 4, q = 2, drawn at (50, 60).
  struct Case {
    int type;
    Log calls;
  };
  const Case cases[] = {
      {0, {"moveTo(50,60)", "lineTo(50,61)"}},
      {1, {"ellipse(46,56,54,64)"}},
      {2, {"ellipse(46,56,54,64)"}},
      {3, {"moveTo(46,60)", "lineTo(54,60)", "moveTo(50,56)", "lineTo(50,64)"}},
      {4, {"moveTo(46,60)", "lineTo(54,60)", "moveTo(48,56)", "lineTo(52,64)", "moveTo(52,56)", "lineTo(48,64)"}},
      {5, {"moveTo(46,64)", "lineTo(54,64)", "moveTo(46,64)", "lineTo(50,56)", "moveTo(54,64)", "lineTo(50,56)"}},
      {6, {"rectangle(46,56,54,64)"}},
      {7, {"rectangle(46,56,54,64)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    RecordingDC dc(100, 100);
    F_Marker::create(c.type, 9)->draw(dc, 50, 60);
    EXPECT_EQ(dc.log(), c.calls);
  }
}

TEST(F_LineDrawing, OnePixelMarkersAreEmptyShapesButTheDotStays) {
  for (int type : {1, 2, 6, 7}) {
    SCOPED_TRACE(type);
    RecordingDC dc(10, 10);
    F_Marker::create(type, 1)->draw(dc, 5, 5);
    ASSERT_EQ(dc.log().size(), 1u);
    EXPECT_TRUE(dc.log()[0] == "ellipse(5,5,5,5)" || dc.log()[0] == "rectangle(5,5,5,5)") << dc.log()[0];
  }
  RecordingDC dc(10, 10);
  F_Marker::create(0, 1)->draw(dc, 5, 5);
  EXPECT_EQ(dc.log(), (Log{"moveTo(5,5)", "lineTo(5,6)"}));
}

TEST(F_LineDrawingDeathTest, MarkerTypeOutOfRangeIsAnInternalError) {
  EXPECT_DEATH(F_Marker::create(8, 5), "");
  EXPECT_DEATH(F_Marker::create(-1, 5), "");
}

TEST(F_LineDrawing, MarkerPassesSelectColourAndBrushThenRestore) {
  F_S3dLayer layer = layerOf({{10, 20}, {30, 40}}, {}, {2});
  F_LayerContext lc = nothingShown();
  lc.displayPointMarkers = 1;
  lc.pointMarkerType = 7;  // filled square, colour 9 (dark green)
  lc.pointMarkerSize = 4;
  lc.displaySpecialNodeMarkers = 1;
  lc.specialNodeMarkerType = 1;  // hollow circle: the surface's own brush
  lc.specialNodeMarkerColor = 2;
  lc.specialNodeMarkerSize = 6;
  RecordingDC dc(100, 100);
  drawPointMarkers(layer, dc, plainMap(), lc);
  drawSpecialNodeMarkers(layer, dc, plainMap(), lc);
  EXPECT_EQ(dc.log(), (Log{"selectPen(solid,1,#008000)", "selectBrush(solid,#008000)", "rectangle(8,18,12,22)",
                           "rectangle(28,38,32,42)", "selectBrush(solid,#ffffff)", "selectPen(solid,1,#000000)",
                           "selectPen(solid,1,#ff0000)", "ellipse(27,37,33,43)", "selectPen(solid,1,#000000)"}));
}

TEST(F_LineDrawing, ElementOutlinesKeepTheStoredClosingNode) {
  F_S3dLayer layer = layerOf({{10, 10}, {20, 10}, {20, 20}, {10, 20}}, {{1, 2, 3, 4, 1}, {1, 2, 3, 4}, {}});
  F_LayerContext lc;
  lc.lineType = 1;
  lc.lineThickness = 2;
  lc.lineColor = 4;
  RecordingDC dc(100, 100);
  drawElementLines(layer, dc, plainMap(), lc);
  EXPECT_EQ(dc.log(), (Log{"selectPen(dash,2,#0000ff)", "moveTo(10,10)", "lineTo(20,10)", "lineTo(20,20)",
                           "lineTo(10,20)", "lineTo(10,10)", "moveTo(10,10)", "lineTo(20,10)", "lineTo(20,20)",
                           "lineTo(10,20)", "selectPen(solid,1,#000000)"}));
}

TEST(F_LineDrawing, ShrinkScalesEachElementAboutItsOwnCentre) {
  // A square 20 wide centred on (30, 30); the closing node is not counted twice.
  F_S3dLayer layer = layerOf({{20, 20}, {40, 20}, {40, 40}, {20, 40}}, {{1, 2, 3, 4, 1}});
  struct Case {
    int factor;
    Log calls;
  };
  const Case cases[] = {
      {80, {"moveTo(22,22)", "lineTo(38,22)", "lineTo(38,38)", "lineTo(22,38)", "lineTo(22,22)"}},
      {200, {"moveTo(10,10)", "lineTo(50,10)", "lineTo(50,50)", "lineTo(10,50)", "lineTo(10,10)"}},
      {100, {"moveTo(20,20)", "lineTo(40,20)", "lineTo(40,40)", "lineTo(20,40)", "lineTo(20,20)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.factor);
    F_LayerContext lc;
    lc.shrinkFactor = c.factor;
    RecordingDC dc(100, 100);
    drawElementLines(layer, dc, plainMap(), lc);
    EXPECT_EQ(dc.logLines("moveTo"), Log{c.calls[0]});
    Log drawn(dc.log().begin() + 1, dc.log().end() - 1);
    EXPECT_EQ(drawn, c.calls);
  }

  // A line centred on column 0 whose end, shrunk to 80 %, lands a hair under
  // column 1.5: (y x 80) x 0.01 stays below it, y x 0.8 would reach it.
  const double y = 1.8749999999999998;
  F_S3dLayer line;
  line.points.append(F_Point3D(0, -y, 50));
  line.points.append(F_Point3D(0, y, 50));
  F_S3dElement e;
  e.nodes.append(1);
  e.nodes.append(2);
  line.elements.append(e);
  F_LayerContext lc;
  lc.shrinkFactor = 80;
  RecordingDC dc(100, 100);
  drawElementLines(line, dc, plainMap(), lc);
  EXPECT_EQ(dc.logLines("lineTo"), Log{"lineTo(1,50)"});
}

TEST(F_LineDrawing, EachNumberKindAtItsAnchorWithItsAlignment) {
  // A closed triangle 1 2 3 1 with its centre at (30, 40); special nodes 3 and 1.
  F_S3dLayer layer = layerOf({{20, 30}, {40, 30}, {30, 60}, {90, 90}}, {{1, 2, 3, 1}, {}, {4}}, {3, 1});
  struct Case {
    const char* name;
    void (*pass)(const F_S3dLayer&, DeviceContext&, const F_ScreenMap&, const F_LayerContext&);
    void (*enable)(F_LayerContext&);
    Log calls;
  };
  const Case cases[] = {
      {"point numbers up and right, left/bottom", drawPointNumbers,
       [](F_LayerContext& lc) {
         lc.displayPointNumbers = 1;
         lc.pointNumberSize = 10;
       },
       {"selectFont(\"Courier New\",10,400)", "setTextAlign(left,bottom)", "setBkMode(opaque)",
        "setBkColor(#ffffff)", "setTextColor(#008000)", "textOut(24,26,\"1\")", "textOut(44,26,\"2\")",
        "textOut(34,56,\"3\")", "textOut(94,86,\"4\")"}},
      // 70 % of the way from the centre (30, 40); s = 12 puts the text 7 rows lower.
      {"element node numbers, effective nodes only", drawElementNodeNumbers,
       [](F_LayerContext& lc) { lc.displayElementNodeNumbers = 1; },
       {"selectFont(\"Courier New\",12,400)", "setTextAlign(centre,bottom)", "setBkMode(opaque)",
        "setBkColor(#ffffff)", "setTextColor(#ff00ff)", "textOut(23,40,\"1\")", "textOut(37,40,\"2\")",
        "textOut(30,61,\"3\")", "textOut(90,97,\"1\")"}},
      {"element numbers at the centre, none for an empty element", drawElementNumbers,
       [](F_LayerContext& lc) {
         lc.displayElementNumbers = 1;
         lc.elementNumberSize = 13;
       },
       {"selectFont(\"Courier New\",13,400)", "setTextAlign(centre,bottom)", "setBkMode(opaque)",
        "setBkColor(#ffffff)", "setTextColor(#ff0000)", "textOut(30,47,\"1\")", "textOut(90,97,\"3\")"}},
      {"special node numbers down and right, left/top", drawSpecialNodeNumbers,
       [](F_LayerContext& lc) { lc.displaySpecialNodeNumbers = 1; },
       {"selectFont(\"Courier New\",12,400)", "setTextAlign(left,top)", "setBkMode(opaque)", "setBkColor(#ffffff)",
        "setTextColor(#0000ff)", "textOut(34,64,\"1\")", "textOut(24,34,\"2\")"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F_LayerContext lc = nothingShown();
    c.enable(lc);
    RecordingDC dc(100, 100);
    dc.setBkMode(BkMode::Transparent);
    dc.setTextColor(makeRgb(1, 2, 3));
    dc.clearLog();
    c.pass(layer, dc, plainMap(), lc);
    ASSERT_GE(dc.log().size(), c.calls.size());
    EXPECT_EQ(Log(dc.log().begin(), dc.log().begin() + static_cast<long>(c.calls.size())), c.calls);
    // Everything it set is put back.
    EXPECT_EQ(dc.font(), defaultFont());
    EXPECT_EQ(dc.textAlign(), TextAlign());
    EXPECT_EQ(dc.bkMode(), BkMode::Transparent);
    EXPECT_EQ(dc.textColor(), makeRgb(1, 2, 3));
    EXPECT_EQ(dc.bkColor(), makeRgb(255, 255, 255));
  }
}

TEST(F_LineDrawing, PassesRunInOrderOverVisibleLayersOnly) {
  F_S3dMesh mesh;
  mesh.layers.append(layerOf({{10, 10}, {20, 10}}, {{1, 2}}));
  mesh.layers.append(layerOf({{50, 50}, {60, 50}}, {{1, 2}}));
  mesh.layers.append(layerOf({{70, 70}, {80, 70}}, {{1, 2}}));
  F_DisplayOptions options;
  options.layerContexts.assignDefaults(3);
  for (int i = 1; i <= 3; ++i) {
    options.layer(i).displayPointMarkers = 1;
    options.layer(i).pointMarkerType = 0;
    options.layer(i).lineColor = i;
  }
  options.layer(2).displayLayer = 0;
  RecordingDC dc(100, 100);
  drawLines(mesh, dc, plainMap(), options);
  // All outlines (layers 1 and 3) before any marker.
  EXPECT_EQ(dc.logLines("selectPen"),
            (Log{"selectPen(solid,1,#000000)", "selectPen(solid,1,#000000)", "selectPen(solid,1,#00ff00)",
                 "selectPen(solid,1,#000000)", "selectPen(solid,1,#008000)", "selectPen(solid,1,#000000)",
                 "selectPen(solid,1,#008000)", "selectPen(solid,1,#000000)"}));
  EXPECT_EQ(dc.logLines("moveTo"), (Log{"moveTo(10,10)", "moveTo(70,70)", "moveTo(10,10)", "moveTo(20,10)",
                                        "moveTo(70,70)", "moveTo(80,70)"}));
}

TEST(F_LineDrawing, LayersWithoutOptionsAreNotDrawn) {
  F_S3dMesh mesh;
  mesh.layers.append(layerOf({{10, 10}, {20, 10}}, {{1, 2}}));
  mesh.layers.append(layerOf({{50, 50}, {60, 50}}, {{1, 2}}));
  F_DisplayOptions options;
  options.layerContexts.assignDefaults(1);
  RecordingDC dc(100, 100);
  drawLines(mesh, dc, plainMap(), options);
  EXPECT_EQ(dc.logLines("moveTo"), (Log{"moveTo(10,10)"}));
}
