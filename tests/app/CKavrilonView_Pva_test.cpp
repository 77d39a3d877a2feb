// The view's scalar field: import, the read errors through the view, the
// count warnings, the layer check and its recovery, Shading, Remove, the PVA
// Options loop, and the rendering mode of the paint with its fall-back.

#include <gtest/gtest.h>

#include "app/CKavrilonView.h"
#include "support/ProbedView.h"
#include "common/F_ElementInterpolation.h"
#include "platform/headless/HeadlessViewHost.h"
#include "platform/headless/RecordingDC.h"
#include "support/TestSupport.h"

namespace {

// Layer 1 "Skin": a 10 x 10 square seen face on (4 points); layer 2 "Rod": one
// line (2 points); layer 3 "Lid": another square (4 points).
void fillLayers(CKavrilonDoc& doc) {
  doc.mesh.name = "Plate";
  auto square = [](const char* name) {
    F_S3dLayer layer;
    layer.name = name;
    for (auto [y, z] : {std::pair{0, 0}, {10, 0}, {10, 10}, {0, 10}}) layer.points.append(F_Point3D(0, y, z));
    F_S3dElement e;
    for (int n : {1, 2, 3, 4}) e.nodes.append(n);
    layer.elements.append(e);
    return layer;
  };
  F_S3dLayer rod;
  rod.name = "Rod";
  rod.points.append(F_Point3D(0, 0, 0));
  rod.points.append(F_Point3D(0, 10, 10));
  F_S3dElement line;
  line.nodes.append(1);
  line.nodes.append(2);
  rod.elements.append(line);
  doc.mesh.layers.append(square("Skin"));
  doc.mesh.layers.append(rod);
  doc.mesh.layers.append(square("Lid"));
  doc.displayOptions.resetForMesh(3, 0, 0, 0, 4, 8, 6, 18, 3, 1);
}

// Remembers the settings of the file dialogs it is asked to show.
class FileDialogUi : public HeadlessUi {
 public:
  FileDialogUi() : HeadlessUi(nullptr), previous_(installUiServices(this)) {}
  ~FileDialogUi() override { installUiServices(previous_); }
  std::optional<std::string> openFileDialog(const FileDialogOptions& dialog) override {
    dialogs.push_back(dialog);
    return HeadlessUi::openFileDialog(dialog);
  }
  std::string lastMessage() const { return messages().empty() ? "" : messages().back(); }
  std::vector<FileDialogOptions> dialogs;

 private:
  UiServices* previous_;
};

struct Fixture {
  Fixture() : host(800, 600), view(doc, host), measure(800, 600) {
    fillLayers(doc);
    view.OnInitialUpdate(measure);
    host.takeInvalidated();
  }
  // A .pva file in the temporary folder.
  std::string pva(const std::string& name, const std::string& text) {
    writeFileBytes(dir.path(name), text);
    return dir.path(name);
  }
  FileDialogUi ui;
  TempDir dir;
  CKavrilonDoc doc;
  HeadlessViewHost host;
  ProbedView view;
  RecordingDC measure;
};

const char* const kFourValues = "# corners\n1 0.5\n2 2.25\n3 2.25\n4 0.5 # top left\n";

std::string mismatch(int file, int layer) {
  return "WARNING\nInvalid number of points in the PVA file.\nPVA file content ignored.\n\nNumber of points in the PVA "
         "file = " +
         std::to_string(file) + "\nNumber of points of the current layer = " + std::to_string(layer);
}

std::string layerWarning(int values, int points) {
  return "WARNING\nUnable to display the scalar field on the current layer.\nNumber of values in the PVA list is not "
         "equal to\nthe number of points of the current layer.\n\nNumber of values in the PVA list = " +
         std::to_string(values) + "\nNumber of points of the current layer = " + std::to_string(points);
}

}  // namespace

TEST(CKavrilonViewPva, ImportThroughTheDialogShowsTheFieldOnTheCurrentLayer) {
  Fixture f;
  ProbedView& v = f.view;
  const double fullScale = v.m_screenMap.scaleX1;
  f.ui.queueFile(f.pva("field.pva", kFourValues));
  v.importScalarField();
  ASSERT_EQ(f.ui.dialogs.size(), 1u);
  EXPECT_EQ(f.ui.dialogs[0].defaultExtension, "pva");
  EXPECT_EQ(f.ui.dialogs[0].initialName, "*.pva");
  EXPECT_EQ(f.ui.dialogs[0].filter, "Scalar Field Values (*.pva)|*.pva|All Files (*.*)|*.*||");
  EXPECT_TRUE(f.ui.messages().empty()) << f.ui.lastMessage();
  ASSERT_EQ(v.m_pvaValues.size(), 4);
  EXPECT_EQ(v.m_pvaValues(2), 2.25);
  const F_Interval range = fieldRange(v.m_mesh, 1, v.m_options, v.m_pvaValues);
  EXPECT_EQ(v.m_pvaFileRange.lower, range.lower);
  EXPECT_EQ(v.m_pvaFileRange.upper, range.upper);
  EXPECT_EQ(v.m_pvaFileRange.lower, 0.5);
  EXPECT_EQ(v.m_sideBarRange.upper, 2.25);
  EXPECT_EQ(v.m_shading, 1);
  EXPECT_EQ(v.m_needRender, 1);
  EXPECT_TRUE(f.host.takeInvalidated());
  EXPECT_EQ(f.ui.waitDepth(), 0);
  // The side bar takes the right edge, so the fit was made again (narrower
  // or not, the map belongs to the new canvas width).
  EXPECT_LE(v.m_screenMap.scaleX1, fullScale);

  // Cancel changes nothing.
  v.m_needRender = 0;
  v.importScalarField();
  EXPECT_EQ(v.m_needRender, 0);
  EXPECT_FALSE(f.host.takeInvalidated());
}

TEST(CKavrilonViewPva, ReadErrorsAreShownWithTheirLineAndLeaveTheViewAsItWas) {
  Fixture f;
  ProbedView& v = f.view;
  ASSERT_EQ(v.importScalarField(f.pva("good.pva", kFourValues)), CKavrilonView::PvaImport::Imported);
  v.m_currentLayer = 3;  // same point count: the field stays shown
  struct Case {
    const char* name;
    std::string text;  // none: the file is missing
    std::string message;
    int line;
  };
  const Case cases[] = {
      {"records numbered 1, 2, 4", "1 0\n2 0\n4 0\n", "ERROR\nBad item count.", 3},
      {"first record not 1", "# field\n\n2 0\n", "ERROR\nBad item count.", 3},
      {"empty file", "", "ERROR\nUnexpected end of file.", 0},
      {"no NewLine after the last value", "1 0\n2 0\n3 0\n4 0", "ERROR\nUnexpected end of file.", 0},
      {"empty line after the last record", "1 0\n2 0\n3 0\n4 0\n\n", "ERROR\nUnexpected end of file.", 0},
      {"value not a real", "1 0\n2 1,5\n", "ERROR\nInvalid real number.\n1, <?> 5", 2},
      {"number not an integer", "1 0\n2 0\n3e0 0\n", "ERROR\nInvalid integer number.\n3e <?> 0", 3},
      {"missing file", "", "ERROR\nFile not found.", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    f.ui.clear();
    const bool missing = c.message == "ERROR\nFile not found.";
    const std::string path = missing ? f.dir.path("missing.pva") : f.pva("bad.pva", c.text);
    v.m_needRender = 0;
    EXPECT_EQ(v.importScalarField(path), CKavrilonView::PvaImport::Unread);
    ASSERT_EQ(f.ui.messages().size(), 1u);
    EXPECT_EQ(f.ui.lastMessage(), readErrorText(missing ? "missing.pva" : "bad.pva", path, c.message, c.line));
    EXPECT_EQ(v.m_pvaValues.size(), 4);
    EXPECT_EQ(v.m_pvaValues(2), 2.25);
    EXPECT_EQ(v.m_sideBarRange.lower, 0.5);
    EXPECT_EQ(v.m_shading, 1);
    EXPECT_EQ(v.m_needRender, 0);
    EXPECT_EQ(f.ui.waitDepth(), 0);
  }
}

TEST(CKavrilonViewPva, CountMismatchWarnsAndKeepsThePreviousField) {
  Fixture f;
  ProbedView& v = f.view;
  struct Case {
    const char* name;
    int layer;
    const char* text;
    int fileCount, layerCount;
  };
  const Case cases[] = {
      {"three values for four points", 1, "1 1\n2 2\n3 3\n", 3, 4},
      {"five values for four points", 3, "1 1\n2 2\n3 3\n4 4\n5 5\n", 5, 4},
      {"four values for the two points of the rod", 2, kFourValues, 4, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    f.ui.clear();
    v.m_currentLayer = c.layer;
    EXPECT_EQ(v.importScalarField(f.pva("n.pva", c.text)), CKavrilonView::PvaImport::CountMismatch);
    EXPECT_EQ(f.ui.messages(), std::vector<std::string>{mismatch(c.fileCount, c.layerCount)});
    EXPECT_TRUE(v.m_pvaValues.empty());
    EXPECT_EQ(v.m_shading, 0);
  }
  // With a field shown, a refused file leaves it as it was.
  v.m_currentLayer = 1;
  ASSERT_EQ(v.importScalarField(f.pva("good.pva", kFourValues)), CKavrilonView::PvaImport::Imported);
  EXPECT_EQ(v.importScalarField(f.pva("n.pva", "1 7\n")), CKavrilonView::PvaImport::CountMismatch);
  EXPECT_EQ(v.m_pvaValues(1), 0.5);
  EXPECT_EQ(v.m_shading, 1);
}

TEST(CKavrilonViewPva, WithoutLayersEveryFieldIsACountMismatch) {
  FileDialogUi ui;
  TempDir dir;
  CKavrilonDoc doc;
  HeadlessViewHost host(200, 100);
  ProbedView view(doc, host);
  RecordingDC measure(200, 100);
  view.OnInitialUpdate(measure);
  writeFileBytes(dir.path("f.pva"), "1 1\n");
  EXPECT_EQ(view.importScalarField(dir.path("f.pva")), CKavrilonView::PvaImport::CountMismatch);
  EXPECT_EQ(ui.lastMessage(), mismatch(1, 0));
  view.OnShading();  // and Shading neither checks a layer that is not there nor stops
  EXPECT_EQ(view.m_shading, 1);
}

TEST(CKavrilonViewPva, LayerSwitchWarnsOnceAndTheFieldComesBack) {
  Fixture f;
  ProbedView& v = f.view;
  ASSERT_EQ(v.importScalarField(f.pva("good.pva", kFourValues)), CKavrilonView::PvaImport::Imported);
  f.host.takeInvalidated();

  // Layer 3 has as many points: nothing happens.
  v.m_currentLayer = 3;
  v.m_needRender = 0;
  v.checkPvaLayer();
  EXPECT_TRUE(f.ui.messages().empty());
  EXPECT_EQ(v.m_shading, 1);
  EXPECT_EQ(v.m_needRender, 0);

  // The rod has two: rendering mode off, the warning once, the values kept.
  v.m_currentLayer = 2;
  v.checkPvaLayer();
  EXPECT_EQ(f.ui.messages(), std::vector<std::string>{layerWarning(4, 2)});
  EXPECT_EQ(v.m_shading, 0);
  EXPECT_EQ(v.m_pvaValues.size(), 4);
  EXPECT_EQ(v.m_needRender, 1);
  EXPECT_TRUE(f.host.takeInvalidated());
  v.checkPvaLayer();
  EXPECT_EQ(f.ui.messages().size(), 1u);

  // Shading on the rod warns again and stays off.
  v.OnShading();
  EXPECT_EQ(f.ui.messages().size(), 2u);
  EXPECT_EQ(v.m_shading, 0);

  // Back on layer 1, Shading shows the field again without a warning, with
  // the side bar narrowing the fit.
  v.m_currentLayer = 1;
  v.checkPvaLayer();
  const double lineScale = v.m_screenMap.scaleX1;
  v.OnShading();
  EXPECT_EQ(f.ui.messages().size(), 2u);
  EXPECT_EQ(v.m_shading, 1);
  EXPECT_EQ(v.m_pvaValues(2), 2.25);
  EXPECT_LE(v.m_screenMap.scaleX1, lineScale);
  EXPECT_TRUE(f.host.takeInvalidated());
}

TEST(CKavrilonViewPva, ShadingTogglesAndRemoveDropsTheField) {
  Fixture f;
  ProbedView& v = f.view;
  v.OnShading();
  EXPECT_EQ(v.m_shading, 1);
  EXPECT_TRUE(f.host.takeInvalidated());
  v.OnShading();
  EXPECT_EQ(v.m_shading, 0);

  ASSERT_EQ(v.importScalarField(f.pva("good.pva", kFourValues)), CKavrilonView::PvaImport::Imported);
  v.m_colorTable.build(20);
  f.host.takeInvalidated();
  v.OnRemovePva();
  EXPECT_TRUE(v.m_pvaValues.empty());
  EXPECT_EQ(v.m_pvaFileRange.lower, 0.0);
  EXPECT_EQ(v.m_pvaFileRange.upper, 1.0);
  EXPECT_EQ(v.m_sideBarRange.lower, 0.0);
  EXPECT_EQ(v.m_sideBarRange.upper, 1.0);
  EXPECT_EQ(v.m_shading, 0);
  EXPECT_EQ(v.m_needRender, 1);
  EXPECT_TRUE(f.host.takeInvalidated());
  EXPECT_EQ(v.m_colorTable.numberOfRainbowColors(), 20);  // the colours are the view's, not the field's
  EXPECT_TRUE(f.ui.messages().empty());
}

TEST(CKavrilonViewPva, OptionsDialogIsFilledFromTheView) {
  Fixture f;
  ProbedView& v = f.view;
  ASSERT_EQ(v.importScalarField(f.pva("good.pva", "1 1e-7\n2 123456789\n3 0.5\n4 -2\n")),
            CKavrilonView::PvaImport::Imported);
  v.m_sideBarRange = {-1.5, 100.0};
  const PvaOptionsDialog d = v.pvaOptionsDialog();
  EXPECT_EQ(d.points, "4");
  EXPECT_EQ(d.colors, "14");
  EXPECT_EQ(d.sideBarMinimum, "-1.5");
  EXPECT_EQ(d.sideBarMaximum, "100");
  EXPECT_EQ(d.fileMinimum, "-2");
  EXPECT_EQ(d.fileMaximum, "1.23457e+08");  // six digits, as the dialog shows them
}

TEST(CKavrilonViewPva, OptionsLoopShowsEachRefusalAndComesBackWithTheUserTexts) {
  Fixture f;
  ProbedView& v = f.view;
  ASSERT_EQ(v.importScalarField(f.pva("good.pva", kFourValues)), CKavrilonView::PvaImport::Imported);
  f.host.takeInvalidated();
  // Each show prints what the dialog holds, then takes the user's edits and OK.
  f.ui.queueDialog({"1054=3001", "1"});
  f.ui.queueDialog({"1054=7", "1046=2", "1047=2", "1"});
  f.ui.queueDialog({"1047=1", "1"});
  f.ui.queueDialog({"1046=0", "1047=1e1", "1"});
  const bool stored = v.OnPvaOptions();
  std::vector<std::string> seen;
  for (const std::string& line : f.ui.lines())
    if (line.rfind("dialog: ", 0) == 0) seen.push_back(line);
  EXPECT_TRUE(stored);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "dialog: PVA Options 1046=0.5 1047=2.25 1048=0.5 1049=2.25 1053=4 1054=14",
                      "dialog: PVA Options 1046=0.5 1047=2.25 1048=0.5 1049=2.25 1053=4 1054=3001",
                      "dialog: PVA Options 1046=2 1047=2 1048=0.5 1049=2.25 1053=4 1054=7",
                      "dialog: PVA Options 1046=2 1047=1 1048=0.5 1049=2.25 1053=4 1054=7"}));
  EXPECT_EQ(f.ui.messages(), (std::vector<std::string>{
                                 "ERROR\nThe number of rainbow colors must be\nin the range [2,3000].",
                                 "ERROR\nCoincident minimum and maximum values.",
                                 "ERROR\nMinimum value greater than maximum value.",
                             }));
  EXPECT_EQ(v.m_colorTable.numberOfRainbowColors(), 7);
  EXPECT_EQ(v.m_sideBarRange.lower, 0.0);
  EXPECT_EQ(v.m_sideBarRange.upper, 10.0);
  EXPECT_EQ(v.m_pvaFileRange.upper, 2.25);  // the file's range stays
  EXPECT_EQ(v.m_needRender, 1);
  EXPECT_TRUE(f.host.takeInvalidated());

  // Cancel after a refusal stores nothing.
  f.ui.clear();
  v.m_needRender = 0;
  f.ui.queueDialog({"1054=x", "1"});  // refused; no further answer cancels
  EXPECT_FALSE(v.OnPvaOptions());
  EXPECT_EQ(f.ui.messages().size(), 1u);
  EXPECT_EQ(f.ui.lastMessage().rfind("ERROR\nInvalid integer number.\n", 0), 0u);
  EXPECT_EQ(v.m_colorTable.numberOfRainbowColors(), 7);
  EXPECT_EQ(v.m_needRender, 0);
  EXPECT_FALSE(f.host.takeInvalidated());
}

// --- rendering mode of the paint ---

TEST(CKavrilonViewPva, RenderingModeSizesTheDepthBufferAndLineModeFreesIt) {
  Fixture f;
  ProbedView& v = f.view;
  RecordingDC window(800, 600);
  v.OnShading();
  v.OnDraw(window);
  EXPECT_EQ(v.m_zBuffer.width(), 800);
  EXPECT_EQ(v.m_zBuffer.height(), 600);
  EXPECT_EQ(v.m_zBuffer.at(3, 590), F_DepthBuffer::kFar);  // below the mesh: untouched
  // The square, centred on the origin, is seen face on: away from the rod on
  // its diagonal it is the last red of the ramp, at depth 0.
  const F_Pixel centre = v.m_screenMap.toPixel(2, -2);
  EXPECT_EQ(window.getPixel(centre.x, centre.y),
            v.m_colorTable.colors()(F_ColorTable::kRedRamp + F_ColorTable::kRampLength - 1));
  EXPECT_EQ(v.m_zBuffer.at(centre.x, centre.y), 0.0f);
  EXPECT_TRUE(window.logLines("mem.rectangle").size() == 1u);  // the layer bar only: no field, no side bar

  v.OnShading();
  v.OnDraw(window);
  EXPECT_TRUE(v.m_zBuffer.empty());
  EXPECT_EQ(window.getPixel(centre.x, centre.y), makeRgb(255, 255, 255));
}

TEST(CKavrilonViewPva, ContourFillPaintsTheRainbowAndTheSideBarAfterTheMesh) {
  Fixture f;
  ProbedView& v = f.view;
  // Left side 0, right side 1: the rainbow runs from left to right.
  ASSERT_EQ(v.importScalarField(f.pva("lr.pva", "1 0\n2 1\n3 1\n4 0\n")), CKavrilonView::PvaImport::Imported);
  RecordingDC window(800, 600);
  v.OnDraw(window);
  EXPECT_TRUE(f.ui.messages().empty()) << f.ui.lastMessage();
  const F_Vector<F_Rgb>& colors = v.m_colorTable.colors();
  const F_Pixel left = v.m_screenMap.toPixel(-4.8, 0), right = v.m_screenMap.toPixel(4.8, 0);
  EXPECT_EQ(window.getPixel(left.x + 1, left.y), colors(1001));
  EXPECT_EQ(window.getPixel(right.x - 1, right.y), colors(1014));
  // The side bar (its box, 14 bands) is drawn after the mesh, before the layer bar.
  const std::vector<std::string> rects = window.logLines("mem.rectangle");
  ASSERT_EQ(rects.size(), 16u);
  EXPECT_EQ(rects.back(), "mem.rectangle(5,5,795,30)");
  EXPECT_EQ(v.m_zBuffer.width(), 800);
}

TEST(CKavrilonViewPva, UnsupportedElementFallsBackToLineModeWithOneMessage) {
  Fixture f;
  ProbedView& v = f.view;
  // A five-node element on layer 2.
  F_S3dLayer& rod = f.doc.mesh.layer(2);
  for (auto [y, z] : {std::pair{3, 0}, {5, 2}, {2, 4}}) rod.points.append(F_Point3D(0, y, z));
  F_S3dElement five;
  for (int n : {1, 2, 3, 4, 5}) five.nodes.append(n);
  rod.elements.append(five);
  f.doc.UpdateAllViews();
  const std::string message =
      "ERROR\nThe number of nodes of all the elements of\nthe visible layers must be 0, 2, 3, 4, 6, 8 or 9.\n\n"
      "HINT\nUse the LA command to turn off the visibility of\nthe layers containing unsupported elements.";

  // Hidden, the layer is not drawn and nothing is said.
  v.m_options.layer(2).displayLayer = 0;
  v.OnShading();
  RecordingDC window(800, 600);
  v.OnDraw(window);
  EXPECT_TRUE(f.ui.messages().empty());
  EXPECT_EQ(v.m_shading, 1);
  EXPECT_EQ(v.m_needRender, 0);

  // Visible: one message, no image copied, line mode at the next paint.
  v.m_options.layer(2).displayLayer = 1;
  v.repaint();
  f.host.takeInvalidated();
  window.clearLog();
  v.OnDraw(window);
  EXPECT_EQ(f.ui.messages(), std::vector<std::string>{message});
  EXPECT_EQ(v.m_shading, 0);
  EXPECT_EQ(v.m_needRender, 1);
  EXPECT_TRUE(f.host.takeInvalidated());
  EXPECT_TRUE(window.logLines("bitBlt").empty());
  EXPECT_EQ(f.ui.waitDepth(), 0);
  v.OnDraw(window);
  EXPECT_EQ(f.ui.messages().size(), 1u);
  EXPECT_EQ(v.m_needRender, 0);
  EXPECT_TRUE(v.m_zBuffer.empty());
  EXPECT_EQ(window.logLines("bitBlt").size(), 1u);
}

TEST(CKavrilonViewPva, UniformFieldFarFromZeroRendersWithoutStopping) {
  Fixture f;
  ProbedView& v = f.view;
  // On the rod every sample is a node value, so the range is one number.
  v.m_currentLayer = 2;
  ASSERT_EQ(v.importScalarField(f.pva("big.pva", "1 3e10\n2 3e10\n")), CKavrilonView::PvaImport::Imported);
  EXPECT_EQ(v.m_pvaFileRange.lower, 3e10);
  EXPECT_EQ(v.m_pvaFileRange.upper, 3e10);
  RecordingDC window(800, 600);
  v.OnDraw(window);
  EXPECT_TRUE(f.ui.messages().empty()) << f.ui.lastMessage();
  EXPECT_EQ(v.m_needRender, 0);
}
