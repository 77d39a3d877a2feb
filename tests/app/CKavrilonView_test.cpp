#include "app/CKavrilonView.h"
#include "support/ProbedView.h"

#include <gtest/gtest.h>

#include "common/F_BmpWriter.h"
#include "common/F_MeshGeometry.h"
#include "platform/headless/HeadlessViewHost.h"
#include "platform/headless/RecordingDC.h"
#include "support/TestSupport.h"

namespace {

using Log = std::vector<std::string>;

// A square of side 10 in the model's YZ plane, named "Plate", one layer "Skin".
void fillSquare(CKavrilonDoc& doc, int layers = 1) {
  doc.mesh.name = "Plate";
  for (int l = 1; l <= layers; ++l) {
    F_S3dLayer layer;
    layer.name = "Skin" + std::to_string(l);
    for (auto [y, z] : {std::pair{0, 0}, {10, 0}, {10, 10}, {0, 10}}) layer.points.append(F_Point3D(0, y, z));
    F_S3dElement e;
    for (int n : {1, 2, 3, 4, 1}) e.nodes.append(n);
    layer.elements.append(e);
    doc.mesh.layers.append(layer);
  }
  doc.displayOptions.resetForMesh(layers, 0, 0, 0, 4, 8, 6, 18, 3, 1);
}

struct Fixture {
  explicit Fixture(int w = 800, int h = 600, int layers = 1) : host(w, h), view(doc, host), measure(w, h) {
    if (layers > 0) fillSquare(doc, layers);
    view.OnInitialUpdate(measure);
  }
  RecordingUi ui;
  CKavrilonDoc doc;
  HeadlessViewHost host;
  ProbedView view;
  RecordingDC measure;
};

Log between(const Log& log, const std::string& first, const std::string& last) {
  auto a = std::find(log.begin(), log.end(), first);
  auto b = std::find(a, log.end(), last);
  return b == log.end() ? Log{} : Log(a, b + 1);
}

}  // namespace

TEST(CKavrilonView, InitialUpdateFitsTheCanvasAndMeasuresSideBarNumbers) {
  Fixture f(800, 600);
  ProbedView& v = f.view;
  EXPECT_EQ(v.m_canvasWidth, 800);
  EXPECT_EQ(v.m_clientHeight, 600);
  EXPECT_EQ(v.m_colorTable.numberOfRainbowColors(), 14);
  // Nine characters of the 12-pixel Courier New of the recording surface.
  EXPECT_EQ(f.measure.logLines("textExtent"), Log{"textExtent(\" 0.000000\")"});
  EXPECT_EQ(v.m_numberTextWidth, 9 * 7);
  EXPECT_EQ(v.m_numberTextHeight, 15);
  EXPECT_EQ(f.measure.font(), defaultFont());
  // The square with its margins (10 wide, 12.4 high) fits by height: 599 rows.
  EXPECT_EQ(v.m_screenMap.fitsWidth, 0);
  EXPECT_NEAR(v.m_screenMap.scaleX1, 599 / 12.4, 1e-9);
  EXPECT_EQ(f.host.scrollModel().totalWidth(), 800);
  EXPECT_EQ(f.host.scrollModel().pageHeight(), 60);
  EXPECT_EQ(f.host.scrollModel().lineWidth(), 4);
  EXPECT_TRUE(f.ui->messages().empty());
}

TEST(CKavrilonView, ATinyNewWindowIsTakenAsTwoPixelsWithoutAMessage) {
  for (auto [w, h] : {std::pair{0, 0}, {1, 1}, {1, 300}, {300, 0}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    Fixture f(w, h);
    EXPECT_TRUE(f.ui->messages().empty()) << f.ui.lastMessage();
    EXPECT_EQ(f.view.m_canvasWidth, std::max(2, w));
    EXPECT_EQ(f.view.m_canvasHeight, std::max(2, h));
    EXPECT_LT(f.view.m_screenMap.scaleX2, 0);
  }
}

TEST(CKavrilonView, UpdateFromDocumentDropsZoomLayerAndScalarField) {
  Fixture f(800, 600, 3);
  ProbedView& v = f.view;
  v.m_canvasWidth = 1600;
  v.m_fullView = 0;
  v.m_currentLayer = 3;
  v.m_shading = 1;
  v.m_pvaValues = F_VectorReal(4, 1.0);
  v.m_options.setAngles(1, 0, 0);
  f.host.takeInvalidated();
  f.doc.UpdateAllViews();
  EXPECT_TRUE(f.host.takeInvalidated());
  EXPECT_EQ(v.m_canvasWidth, 800);
  EXPECT_EQ(v.m_fullView, 1);
  EXPECT_EQ(v.m_currentLayer, 1);
  EXPECT_EQ(v.m_shading, 0);
  EXPECT_TRUE(v.m_pvaValues.empty());
  EXPECT_EQ(v.m_options.phi, 0.0);
  EXPECT_EQ(v.m_needRender, 1);
}

TEST(CKavrilonView, SideBarNarrowsTheFitOnlyInRenderingModeWithValues) {
  Fixture f(800, 600);
  ProbedView& v = f.view;
  v.m_extent = {0, 100, 0, 1};  // wide: the width decides
  struct Case {
    const char* name;
    int shading;
    int values;
    int lastColumn;
  };
  for (Case c : {Case{"line mode", 0, 4, 799}, Case{"no values", 1, 0, 799}, Case{"side bar", 1, 4, 799 - 83}}) {
    SCOPED_TRACE(c.name);
    v.m_shading = c.shading;
    v.m_pvaValues = F_VectorReal(c.values);
    v.m_needRender = 0;
    v.computeScreenMap();
    EXPECT_EQ(v.m_needRender, 1);
    EXPECT_NEAR(v.m_screenMap.scaleX1, c.lastColumn / 100.0, 1e-12);
  }
}

TEST(CKavrilonView, FailedFitShowsItsMessageAndDrawsWithTheDefaultMap) {
  Fixture f(800, 600);
  f.view.m_canvasWidth = 1;
  f.view.computeScreenMap();
  EXPECT_EQ(f.ui.lastMessage(), "ERROR\nUnable to calculate scales and origins.");
  EXPECT_EQ(f.view.m_screenMap, F_ScreenMap());
}

TEST(CKavrilonView, FirstPaintRendersThenLaterPaintsOnlyCopy) {
  Fixture f(800, 600);
  RecordingDC window(800, 600);
  f.view.OnDraw(window);
  const Log& log = window.log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "createCompatible(800,600)");
  EXPECT_EQ(log[1], "mem.patBlt(0,0,800,600,whiteness)");
  EXPECT_EQ(log.back(), "bitBlt(0,0,800,600,mem,0,0)");
  // The mesh lines come before the layer bar.
  auto outline = std::find(log.begin(), log.end(), "mem.selectPen(solid,1,#000000)");
  auto bar = std::find(log.begin(), log.end(), "mem.selectBrush(solid,#000000)");
  EXPECT_LT(outline, bar);
  EXPECT_EQ(f.view.m_needRender, 0);

  window.clearLog();
  f.view.OnDraw(window);
  EXPECT_EQ(window.log(), Log{"bitBlt(0,0,800,600,mem,0,0)"});

  f.view.repaint();
  window.clearLog();
  f.view.OnDraw(window);
  EXPECT_EQ(window.log().front(), "createCompatible(800,600)");
}

TEST(CKavrilonView, LayerBarAndFrameCalls) {
  Fixture f(800, 600, 2);
  f.view.m_currentLayer = 2;
  RecordingDC dc(800, 600);
  f.view.drawLayerBar(dc);
  EXPECT_EQ(dc.log(), (Log{"selectBrush(solid,#000000)", "rectangle(5,5,795,30)", "selectFont(\"Arial\",16,700)",
                           "setTextAlign(left,top)", "setBkMode(transparent)", "setTextColor(#ffffff)",
                           "textOut(12,8,\"Plate\")", "setTextAlign(right,top)", "textOut(786,8,\"2 - Skin2\")",
                           "selectPen(solid,2,#000000)", "moveTo(1,1)", "lineTo(799,1)", "lineTo(799,599)",
                           "lineTo(1,599)", "lineTo(1,0)", "setTextColor(#000000)", "setBkColor(#ffffff)",
                           "setBkMode(opaque)", "setTextAlign(left,top)", "selectFont(\"Arial\",13,700)",
                           "selectBrush(solid,#ffffff)", "selectPen(solid,1,#000000)"}));
}

TEST(CKavrilonView, BarsFollowTheVisibleAreaOrStayAtTheCanvasEdges) {
  Fixture f(400, 300);
  ProbedView& v = f.view;
  v.m_canvasWidth = 1000;
  v.m_canvasHeight = 900;
  v.updateScrollSizes();
  f.host.scrollToPosition(250, 100);
  struct Case {
    int inVisibleArea;
    std::string rect;
    std::string right;
  };
  for (Case c : {Case{1, "rectangle(255,105,645,130)", "textOut(636,108,\"1 - Skin1\")"},
                 Case{0, "rectangle(5,5,995,30)", "textOut(986,8,\"1 - Skin1\")"}}) {
    SCOPED_TRACE(c.inVisibleArea);
    v.m_barsInVisibleArea = c.inVisibleArea;
    RecordingDC dc(1000, 900);
    v.drawLayerBar(dc);
    EXPECT_EQ(dc.logLines("rectangle"), Log{c.rect});
    EXPECT_EQ(dc.logLines("textOut")[1], c.right);
    // The frame always goes round the whole canvas.
    EXPECT_EQ(dc.logLines("lineTo")[1], "lineTo(999,899)");
  }
}

TEST(CKavrilonView, EmptyDocumentShowsTheBarFrameAndThreeRedTexts) {
  Fixture f(800, 600, 0);
  RecordingDC window(800, 600);
  f.view.OnDraw(window);
  EXPECT_EQ(window.logLines("mem.textOut"), (Log{"mem.textOut(12,8,\"\")", "mem.textOut(786,8,\"\")"}));
  const Log tail(window.log().end() - 6, window.log().end());
  EXPECT_EQ(tail, (Log{"bitBlt(0,0,800,600,mem,0,0)", "setTextColor(#ff0000)", "textOut(20,50,\"Empty document.\")",
                       "textOut(20,80,\"Select     File / Import     to read a  .s3d  text file.\")",
                       "textOut(20,110,\"Select     File / Open     to read a  .b3d  binary file.\")",
                       "setTextColor(#000000)"}));
  // They are drawn on the window at every paint, not into the image.
  window.clearLog();
  f.view.OnDraw(window);
  EXPECT_EQ(window.logLines("textOut").size(), 3u);
}

TEST(CKavrilonView, SideBarBandsAndLabels) {
  Fixture f(800, 600);
  ProbedView& v = f.view;
  v.m_pvaValues = F_VectorReal(4, 0.5);
  v.m_sideBarRange = {0.0, 14.0};
  v.m_pvaFileRange = {0.0, 14.0};
  // tw = 63, th = 15: f = 83, hf = 41, bar height 600 - 41 - 42 - 83 = 434, strip 394.
  RecordingDC dc(800, 600);
  v.drawSideBar(dc);
  const Log rects = dc.logLines("rectangle");
  ASSERT_EQ(rects.size(), 15u);
  EXPECT_EQ(rects[0], "rectangle(717,41,800,475)");
  EXPECT_EQ(rects[1], "rectangle(737,427,780,455)");  // the first colour, lowest values, at the bottom
  EXPECT_EQ(rects[14], "rectangle(737,61,780,89)");   // the last colour at the top
  const Log brushes = dc.logLines("selectBrush");
  ASSERT_EQ(brushes.size(), 16u);  // the box, 14 bands, the one put back
  EXPECT_EQ(brushes[1], "selectBrush(" + RecordingDC::brushText(Brush::solid(v.m_colorTable.colors()(1001))) + ")");
  EXPECT_EQ(brushes[14], "selectBrush(" + RecordingDC::brushText(Brush::solid(v.m_colorTable.colors()(1014))) + ")");
  const Log labels = dc.logLines("textOut");
  ASSERT_EQ(labels.size(), 15u);
  EXPECT_EQ(labels[0], "textOut(759,459," + std::string("\"") + formatAxisValue(0.0) + "\")");
  EXPECT_EQ(labels[14], "textOut(759,65,\"" + formatAxisValue(14.0) + "\")");
}

TEST(CKavrilonView, ManyColoursLabelOnlyTheEndsWithTheFileExtremes) {
  Fixture f(800, 600);
  ProbedView& v = f.view;
  v.m_colorTable.build(20);
  v.m_pvaValues = F_VectorReal(4, 0.5);
  v.m_sideBarRange = {2.0, 8.0};
  v.m_pvaFileRange = {-1.0, 9.5};  // the set range is narrower than the file's values
  RecordingDC dc(800, 600);
  v.drawSideBar(dc);
  EXPECT_EQ(dc.logLines("rectangle").size(), 21u);
  // Lowest 12 rows under the strip's bottom edge, highest 4 above its top.
  EXPECT_EQ(dc.logLines("textOut"), (Log{"textOut(759,467,\"" + formatAxisValue(-1.0) + "\")",
                                         "textOut(759,57,\"" + formatAxisValue(9.5) + "\")"}));
}

TEST(CKavrilonView, CubeAtZeroAnglesHidesCornerOne) {
  Fixture f(800, 600);
  ProbedView& v = f.view;
  v.m_viewPointMode = 1;
  RecordingDC dc(800, 600);
  v.OnDraw(dc);
  EXPECT_EQ(f.host.scrollModel().totalWidth(), 10);
  EXPECT_EQ(f.host.scrollModel().lineHeight(), 10);
  // s = 120, centre (400, 300): corner 1 (-s, -s, -s) is at column 280, row 420.
  const Log pens = dc.logLines("selectPen");
  ASSERT_EQ(pens.size(), 1u + 12u + 2u);  // axes, edges, the plain pen back for the box and at the end
  EXPECT_EQ(pens[0], "selectPen(solid,3,#ff0000)");
  const char* const thin = "selectPen(solid,1,#000000)";
  const char* const thick = "selectPen(solid,6,#000000)";
  // Edges 1-2, 2-3, 3-4, 1-4, 1-5, ...: the three at corner 1 are thin.
  const Log expected{thin, thick, thick, thin, thin, thick, thick, thick, thick, thick, thick, thick};
  EXPECT_EQ(Log(pens.begin() + 1, pens.begin() + 13), expected);
  EXPECT_EQ(between(dc.log(), "selectPen(solid,3,#ff0000)", "lineTo(400,240)"),
            (Log{"selectPen(solid,3,#ff0000)", "moveTo(400,300)", "lineTo(400,300)", "moveTo(400,300)",
                 "lineTo(460,300)", "moveTo(400,300)", "lineTo(400,240)"}));
  // Edge 1-2 runs from corner 1 (column 280, row 420) to corner 2, right behind it.
  EXPECT_EQ(between(dc.log(), thin, "lineTo(280,420)"), (Log{thin, "moveTo(280,420)", "lineTo(280,420)"}));
  const Log texts = dc.logLines("textOut");
  ASSERT_EQ(texts.size(), 3u + 5u + 3u);
  EXPECT_EQ(texts[0], "textOut(400,300,\"X\")");  // the x axis points at the viewer
  EXPECT_EQ(texts[1], "textOut(460,300,\"Y\")");
  EXPECT_EQ(texts[2], "textOut(400,240,\"Z\")");
  EXPECT_EQ(texts[3], "textOut(15,24,\"CUBE ROTATION\")");
  EXPECT_EQ(texts[7], "textOut(15,586,\"leave view point selection.\")");
  // "Phi   =    0.00000" is 18 characters of 14-pixel text: 18 x 8 by 17.
  EXPECT_EQ(dc.logLines("rectangle"), Log{"rectangle(626,524,790,585)"});
  EXPECT_EQ(texts[8], "textOut(636,546,\"Phi   =    0.00000\")");
  EXPECT_EQ(texts[9], "textOut(636,563,\"Psi   =    0.00000\")");
  EXPECT_EQ(texts[10], "textOut(636,580,\"Alpha =    0.00000\")");
  // No image is made or copied, and the render flag stays.
  EXPECT_TRUE(dc.logLines("createCompatible").empty());
  EXPECT_TRUE(dc.logLines("bitBlt").empty());
  EXPECT_EQ(v.m_needRender, 1);
  EXPECT_EQ(dc.pen(), defaultPen());
  EXPECT_EQ(dc.textColor(), makeRgb(0, 0, 0));
}

TEST(CKavrilonView, CubeShowsTheAnglesInDegrees) {
  Fixture f(800, 600);
  f.view.m_viewPointMode = 1;
  f.view.m_options.setAngles(kViewHalfPi, -kViewPi / 4, 0.5);
  RecordingDC dc(800, 600);
  f.view.OnDraw(dc);
  const Log texts = dc.logLines("textOut");
  EXPECT_EQ(texts[8], "textOut(636,546,\"Phi   =   90.00000\")");
  EXPECT_EQ(texts[9], "textOut(636,563,\"Psi   =  -45.00000\")");
  EXPECT_EQ(texts[10], "textOut(636,580,\"Alpha =   28.64789\")");

  // Radians times 180, then divided by pi: the other order rounds these last
  // digits the other way (0.00011, 0.00071).
  f.view.m_options.setAngles(F_DisplayOptions::degreesToRadians(0.000115),
                             F_DisplayOptions::degreesToRadians(0.000705), 0.0);
  RecordingDC again(800, 600);
  f.view.OnDraw(again);
  const Log small = again.logLines("textOut");
  EXPECT_EQ(small[8], "textOut(636,546,\"Phi   =    0.00012\")");
  EXPECT_EQ(small[9], "textOut(636,563,\"Psi   =    0.00070\")");
}

TEST(CKavrilonViewDeathTest, UnknownViewPointModeIsAnInternalError) {
  Fixture f(100, 100);
  f.view.m_viewPointMode = 2;
  RecordingDC dc(100, 100);
  EXPECT_DEATH(f.view.OnDraw(dc), "");
}

TEST(CKavrilonView, ExportWritesTheWholeImageAsLastRendered) {
  Fixture f(30, 20);
  RecordingDC window(30, 20);
  f.view.OnDraw(window);
  DeviceContext& image = *f.view.image();
  image.setPixel(0, 19, makeRgb(10, 20, 30));  // bottom-left
  image.setPixel(29, 0, makeRgb(40, 50, 60));  // top-right
  TempDir dir;
  ASSERT_TRUE(f.view.writeViewImage(dir.path("v.bmp")));
  const std::string b = readFileBytes(dir.path("v.bmp"));
  ASSERT_EQ(b.size(), 54u + 92u * 20u);  // 90 colour bytes and 2 padding bytes per row
  EXPECT_EQ(b.substr(54, 3), "\x1e\x14\x0a");                      // the first pixel is the bottom-left one
  EXPECT_EQ(b.substr(54 + 19 * 92 + 29 * 3, 3), "\x3c\x32\x28");  // the last row is the top
}

TEST(CKavrilonView, ExportOfACanvasEnlargedSinceThePaintIsWhiteBeyondTheImage) {
  Fixture f(30, 20);
  RecordingDC window(30, 20);
  f.view.OnDraw(window);
  f.view.image()->setPixel(0, 19, makeRgb(10, 20, 30));
  f.view.m_canvasWidth = 32;  // as a zoom leaves it until the next paint
  f.view.m_canvasHeight = 21;
  TempDir dir;
  ASSERT_TRUE(f.view.writeViewImage(dir.path("v.bmp")));
  const std::string b = readFileBytes(dir.path("v.bmp"));
  ASSERT_EQ(b.size(), 54u + 96u * 21u);
  EXPECT_EQ(b.substr(54, 3), "\xff\xff\xff");               // row 20 lies below the image
  EXPECT_EQ(b.substr(54 + 96, 3), "\x1e\x14\x0a");            // row 19, column 0, from the image
  EXPECT_EQ(b.substr(54 + 96 + 30 * 3, 6), "\xff\xff\xff\xff\xff\xff");  // columns 30, 31
}

TEST(CKavrilonView, ExportFailuresAreShown) {
  Fixture f(30, 20);
  EXPECT_FALSE(f.view.writeViewImage("/nonexistent-dir/v.bmp"));
  EXPECT_EQ(f.ui.lastMessage(), readErrorText("v.bmp", "/nonexistent-dir/v.bmp",
                                              "ERROR\nUnable to open output file.\nNo write permission.", 0));
  if (F_OutputFile::create("/dev/full", F_OutputFile::Mode::Binary)) {
    EXPECT_FALSE(f.view.writeViewImage("/dev/full"));
    EXPECT_EQ(f.ui.lastMessage(), "Unable to finish write operation.");
  }
}

TEST(CKavrilonView, ExportThroughTheSaveDialog) {
  Fixture f(8, 8);
  TempDir dir;
  f.ui->queueFile(dir.path("d.bmp"));
  f.view.OnExportViewImage();
  EXPECT_EQ(readFileBytes(dir.path("d.bmp")).size(), 54u + 24u * 8u);
  f.view.OnExportViewImage();  // cancelled: nothing happens
  EXPECT_TRUE(f.ui->messages().empty());
}

// --- commands that need more than one view or a name no .s3d can hold ---

TEST(CKavrilonViewCommands, SetAsDefaultReachesANewViewOfTheDocument) {
  Fixture f;
  f.view.OnChar('L');
  f.view.OnChar('I');
  ASSERT_TRUE(f.view.execute(cmd::kSetAsDefault));
  EXPECT_TRUE(f.doc.IsModified());
  HeadlessViewHost host2(400, 300);
  CKavrilonView second(f.doc, host2);
  RecordingDC measure(400, 300);
  second.OnInitialUpdate(measure);
  EXPECT_EQ(second.options().layer(1).displayLines, 0);
  EXPECT_EQ(f.ui.lastMessage(), "Layout of the current view successfully copied to the document.");
}

TEST(CKavrilonViewCommands, JumpToLayerListsTrimmedNamesAndFindsTheCurrentOne) {
  Fixture f(800, 600, 3);
  f.doc.mesh.layers(2).name = "  Web  ";
  f.view.updateFromDocument();
  f.view.setCurrentLayer(2);
  // A user who looks at the list, then picks its last entry.
  struct Spy : HeadlessUi {
    using HeadlessUi::HeadlessUi;
    bool runDialog(DialogModel& d) override {
      items = d.field(1037)->items;
      selected = d.field(1037)->text;
      d.field(1037)->text = items.back();
      return true;
    }
    std::vector<std::string> items;
    std::string selected;
  } spy(nullptr);
  UiServices* previous = installUiServices(&spy);
  f.view.execute(cmd::kJumpToLayer);
  installUiServices(previous);
  EXPECT_EQ(spy.items, (std::vector<std::string>{"1 - Skin1", "2 - Web", "3 - Skin3"}));
  EXPECT_EQ(spy.selected, "2 - Web");
  EXPECT_EQ(f.view.currentLayer(), 3);
}

TEST(CKavrilonViewCommands, LayerSwitchRefreshesTheBarInTheImage) {
  Fixture f(800, 600, 2);
  RecordingDC window(800, 600);
  f.view.OnDraw(window);
  ASSERT_FALSE(f.view.needsRender());
  f.view.nextLayer();
  // The bar was drawn over in the image, so no render is needed and the image holds the new name.
  EXPECT_FALSE(f.view.needsRender());
  const auto* image = dynamic_cast<RecordingDC*>(f.view.image());
  ASSERT_NE(image, nullptr);
  bool newName = false;
  for (const std::string& call : image->log()) newName = newName || call.find("2 - Skin2") != std::string::npos;
  EXPECT_TRUE(newName);
}
