#include "app/CKavrilonDoc.h"
#include "import/F_MeshImport.h"

#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/TestSupport.h"

namespace {

class CountingView : public DocumentView {
 public:
  explicit CountingView(const CKavrilonDoc& doc) : doc_(doc) {}
  void updateFromDocument() override {
    ++updates;
    seenLayers = doc_.displayOptions.layerCount();
  }
  bool isViewPointMode() const override { return viewPointMode; }
  int updates = 0;
  int seenLayers = -1;
  bool viewPointMode = false;

 private:
  const CKavrilonDoc& doc_;
};

// Two layers: a quad and a line over four points, one special node; an empty layer.
F_S3dMesh sampleMesh() {
  F_S3dMesh m;
  m.name = "Sample mesh";
  F_S3dLayer a;
  a.name = "plate";
  F_S3dElement quad, line;
  for (int v : {1, 2, 3, 4}) quad.nodes.append(v);
  for (int v : {4, 1}) line.nodes.append(v);
  a.elements.append(quad);
  a.elements.append(line);
  a.elements.append(F_S3dElement());
  a.points.append(F_Point3D(0, 0, 0));
  a.points.append(F_Point3D(1.5, 0, -0.25));
  a.points.append(F_Point3D(1, 1, 1e-300));
  a.points.append(F_Point3D(0, 1, -7));
  a.specialNodes.append(3);
  m.layers.append(a);
  F_S3dLayer b;
  b.name = std::string(300, 'n');  // a two-byte length prefix
  m.layers.append(b);
  return m;
}

std::string save(const CKavrilonDoc& doc) {
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
  F_Archive ar(*out);
  const_cast<CKavrilonDoc&>(doc).Serialize(ar);
  out->close();
  return out->bytes();
}

// Loads into `doc`; the failure's `what`, or "" when the file was taken.
std::string load(const std::string& bytes, CKavrilonDoc& doc) {
  auto in = memoryFile(bytes, "/tmp/t.b3d");
  F_Archive ar(*in);
  try {
    doc.Serialize(ar);
  } catch (const F_ArchiveException& e) {
    return e.what;
  }
  return "";
}

std::string le32(std::int32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
  return s;
}

std::string le64(double d) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &d, 8);
  return s;
}

// The bytes of a document with one layer, built field by field.
struct Layout {
  std::string header = std::string("\x24") + "kavrilon binary document version 3.0" + "\r\n\x1A";
  std::string meshName = std::string("\x01") + "M";
  std::int32_t layers = 1;
  std::string layerName = std::string("\x01") + "L";
  std::int32_t elements = 1;
  std::int32_t nodeCount = 3;
  std::int32_t nodes[3] = {1, 2, 3};
  std::int32_t points = 3;
  std::int32_t specials = 1;
  std::int32_t special = 2;
  double phi = 0;
  std::int32_t minX1 = 4;
  std::int32_t contexts = 1;
  std::int32_t lineThickness = 1;
  std::int32_t displayLayer = 1;
  std::string trailer = std::string("\x0B") + "END_OF_FILE";

  std::string bytes() const {
    std::string s = header + meshName + le32(layers) + layerName + le32(elements) + le32(nodeCount);
    for (int i = 0; i < 3; ++i) s += le32(nodes[i]);
    s += le32(points);
    for (int i = 0; i < 9; ++i) s += le64(i);
    s += le32(specials) + le32(special);
    s += le64(phi) + le64(0) + le64(0) + le32(minX1) + le32(8) + le32(6) + le32(18) + le32(3) + le32(1);
    s += le32(contexts);
    const int record[25] = {1, 1, 1, 1, 0, 0, 8, 9, 1, 0, 8, 4, 7, 0, 12, 9, 0, 12, 6, 0, 12, 2, 0, 12, 4};
    for (int i = 0; i < 25; ++i) s += le32(i == 2 ? lineThickness : i == 0 ? displayLayer : record[i]);
    return s + trailer;
  }
};

}  // namespace

TEST(CKavrilonDoc, EmptyDocumentIs109BytesExactly) {
  CKavrilonDoc doc;
  std::string expected = std::string("\x24") + "kavrilon binary document version 3.0" + "\r\n\x1A";
  expected += std::string(1, '\0') + le32(0) + le64(0) + le64(0) + le64(0);
  for (int v : {4, 8, 6, 18, 3, 1, 0}) expected += le32(v);
  expected += std::string("\x0B") + "END_OF_FILE";
  ASSERT_EQ(expected.size(), 109u);
  EXPECT_EQ(save(doc), expected);
}

TEST(CKavrilonDoc, SavesAndOpensMeshAndOptions) {
  CKavrilonDoc doc;
  doc.mesh = sampleMesh();
  doc.displayOptions.resetForImportedMesh(2);
  doc.displayOptions.setAngles(0.5, -F_DisplayOptions::kPi, 1e-3);
  doc.displayOptions.setMargins(1, 2, 3, 100);
  doc.displayOptions.hideOverprintMesh();
  doc.displayOptions.layer(1).setShrinkFactor(80);
  doc.displayOptions.layer(2).showElementNumbers();
  doc.displayOptions.layer(2).setElementNumberColor(16);
  const std::string bytes = save(doc);
  // The hand-built layout and the writer agree on the size of each block.
  EXPECT_EQ(bytes.size(), 40u + (1 + 11) + 4 + (1 + 5) + 4 + (4 + 16) + (4 + 8) + 4 + 4 + 4 * 24 + 4 + 4 + (3 + 300) +
                              12 + (52 + 200) + 12);

  CKavrilonDoc back;
  ASSERT_EQ(load(bytes, back), "");
  EXPECT_EQ(back.mesh, doc.mesh);
  EXPECT_EQ(back.displayOptions.phi, 0.5);
  // -pi is stored as the same direction +pi so that the file reads back.
  EXPECT_EQ(back.displayOptions.psi, F_DisplayOptions::kPi);
  EXPECT_EQ(back.displayOptions.alpha, 1e-3);
  EXPECT_EQ(back.displayOptions.minX1, 1);
  EXPECT_EQ(back.displayOptions.overprintMesh, 0);
  EXPECT_EQ(back.displayOptions.layer(1).shrinkFactor, 100);
  doc.displayOptions.layer(1).setShrinkFactor(100);
  EXPECT_EQ(back.displayOptions.layerContexts, doc.displayOptions.layerContexts);
  EXPECT_EQ(save(back), bytes);
}

TEST(CKavrilonDoc, RefusesMalformedFiles) {
  ASSERT_EQ(load(Layout().bytes(), *std::make_unique<CKavrilonDoc>()), "");
  struct Case {
    const char* name;
    void (*change)(Layout&);
    const char* failure;
  } cases[] = {
      {"other header", [](Layout& l) { l.header[30] = '2'; }, "header"},
      {"negative layer count", [](Layout& l) { l.layers = -1; }, "layer count"},
      {"negative element count", [](Layout& l) { l.elements = -1; }, "element count"},
      {"negative node count", [](Layout& l) { l.nodeCount = -3; }, "node count"},
      {"negative point count", [](Layout& l) { l.points = -1; }, "point count"},
      {"negative special node count", [](Layout& l) { l.specials = -1; }, "special node count"},
      {"negative context count", [](Layout& l) { l.contexts = -1; }, "layer context count"},
      {"invalid byte in mesh name", [](Layout& l) { l.meshName[1] = '\x7F'; }, "mesh name"},
      {"invalid byte in layer name", [](Layout& l) { l.layerName[1] = '\0'; }, "layer name"},
      {"header option out of range", [](Layout& l) { l.minX1 = 0; }, "display options header"},
      {"angle of -180 degrees", [](Layout& l) { l.phi = -F_DisplayOptions::kPi; }, "display options header"},
      {"context value out of range", [](Layout& l) { l.lineThickness = 100; }, "layer context values"},
      {"largest context value", [](Layout& l) { l.lineThickness = 99; }, ""},
      // Values are held in two bytes, but tested before they are narrowed.
      {"context value that two bytes would wrap into range", [](Layout& l) { l.lineThickness = 0x10001; },
       "layer context values"},
      {"angle not a number", [](Layout& l) { l.phi = std::nan(""); }, "phi"},
      {"infinite angle", [](Layout& l) { l.phi = -HUGE_VAL; }, "phi"},
      {"other trailer", [](Layout& l) { l.trailer = std::string("\x0B") + "END_OF_FILF"; }, "trailer"},
      // Counts beyond what the rest of the file can hold are refused unallocated.
      {"huge layer count", [](Layout& l) { l.layers = 0x7FFFFFFF; }, "layer count"},
      {"huge element count", [](Layout& l) { l.elements = 0x7FFFFFFF; }, "element count"},
      {"huge node count", [](Layout& l) { l.nodeCount = 0x40000000; }, "node count"},
      {"huge point count", [](Layout& l) { l.points = 0x7FFFFFFF; }, "point count"},
      {"huge context count", [](Layout& l) { l.contexts = 0x7FFFFFFF; }, "layer context count"},
      {"huge name length", [](Layout& l) { l.meshName = std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 7); },
       "mesh name"},
      // Files that would stop the drawing later.
      {"node beyond the points", [](Layout& l) { l.nodes[2] = 4; }, "node numbers"},
      {"node zero", [](Layout& l) { l.nodes[0] = 0; }, "node numbers"},
      {"special node beyond the points", [](Layout& l) { l.special = 4; }, "node numbers"},
      {"special node zero", [](Layout& l) { l.special = 0; }, "node numbers"},
      {"contexts differ from layers",
       [](Layout& l) {
         l.contexts = 0;
         l.lineThickness = -5;  // dropped with its record below
       },
       "layer context count"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Layout layout;
    c.change(layout);
    std::string bytes = layout.bytes();
    if (layout.contexts == 0) bytes.erase(bytes.size() - 12 - 100, 100);
    CKavrilonDoc doc;
    EXPECT_EQ(load(bytes, doc), c.failure);
  }
}

TEST(CKavrilonDoc, KeepsAFlagBeyondTwoBytesAsShown) {
  for (const std::int32_t flag : {32767, -32768, 32768, -32769, 0x10000, 0}) {
    SCOPED_TRACE(flag);
    Layout layout;
    layout.displayLayer = flag;
    CKavrilonDoc doc;
    ASSERT_EQ(load(layout.bytes(), doc), "");
    const int kept = doc.displayOptions.layer(1).displayLayer;
    EXPECT_EQ(kept, flag >= -32768 && flag <= 32767 ? flag : 1);
  }
}

TEST(CKavrilonDoc, ReadsButDoesNotCompareTheThreeBytesAfterTheHeader) {
  std::string bytes = Layout().bytes();
  bytes.replace(37, 3, "abc");
  CKavrilonDoc doc;
  EXPECT_EQ(load(bytes, doc), "");
  EXPECT_EQ(doc.mesh.name, "M");
}

TEST(CKavrilonDoc, PutsDefaultsBackInTheOffendingBlock) {
  Layout header;
  header.minX1 = 0;
  header.phi = 0.5;
  CKavrilonDoc doc;
  EXPECT_EQ(load(header.bytes(), doc), "display options header");
  EXPECT_EQ(doc.displayOptions.minX1, 4);
  EXPECT_EQ(doc.displayOptions.phi, 0.0);

  Layout context;
  context.lineThickness = 0;
  CKavrilonDoc doc2;
  EXPECT_EQ(load(context.bytes(), doc2), "layer context values");
  ASSERT_EQ(doc2.displayOptions.layerCount(), 1);
  EXPECT_EQ(doc2.displayOptions.layer(1), F_LayerContext());
}

TEST(CKavrilonDoc, EveryEarlyEndFails) {
  const std::string bytes = Layout().bytes();
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    SCOPED_TRACE(n);
    CKavrilonDoc doc;
    EXPECT_NE(load(bytes.substr(0, n), doc), "");
  }
}

TEST(CKavrilonDoc, OpenShowsUnexpectedFormatAndKeepsTheDocument) {
  RecordingUi ui;
  TempDir dir;
  CKavrilonDoc doc;
  CountingView view(doc);
  doc.addView(&view);
  doc.mesh = sampleMesh();
  std::string cut = Layout().bytes();
  cut.pop_back();
  writeFileBytes(dir.path("cut.b3d"), cut);
  EXPECT_FALSE(doc.OnOpenDocument(dir.path("cut.b3d")));
  EXPECT_EQ(ui->lines().back(), "message: Unexpected file format.");
  EXPECT_EQ(doc.mesh, sampleMesh());
  EXPECT_EQ(view.updates, 0);

  writeFileBytes(dir.path("good.b3d"), Layout().bytes());
  doc.SetModifiedFlag();
  ASSERT_TRUE(doc.OnOpenDocument(dir.path("good.b3d")));
  EXPECT_EQ(doc.mesh.name, "M");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.pathName(), dir.path("good.b3d"));
  EXPECT_EQ(view.updates, 1);
  EXPECT_EQ(ui->waitDepth(), 0);
}

TEST(CKavrilonDoc, SaveReplacesThroughATemporaryFile) {
  RecordingUi ui;
  TempDir dir;
  const std::string path = dir.path("doc.b3d");
  writeFileBytes(path, "old contents");
  CKavrilonDoc doc;
  doc.mesh = sampleMesh();
  doc.displayOptions.resetForImportedMesh(2);
  doc.SetModifiedFlag();
  ASSERT_TRUE(doc.OnSaveDocument(path));
  EXPECT_EQ(readFileBytes(path), save(doc));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 1);

  // A target that cannot be replaced: the save reports and leaves it as it was.
  std::filesystem::create_directory(dir.path("busy.b3d"));
  writeFileBytes(dir.path("busy.b3d/inside"), "kept");
  doc.SetModifiedFlag();
  EXPECT_FALSE(doc.OnSaveDocument(dir.path("busy.b3d")));
  EXPECT_EQ(ui.lastMessage(), "Failed to save document.");
  EXPECT_EQ(readFileBytes(dir.path("busy.b3d/inside")), "kept");
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 2);

  EXPECT_FALSE(doc.OnSaveDocument(dir.path("missing/doc.b3d")));
  EXPECT_EQ(ui.lastMessage(), "Failed to save document.");
}

// ---- import and export ----

namespace {
const char* const kTwoLayers =
    "Two layers\n"
    "first\n 1 3 0\n 1 3 1 2 3\n 1 0 0 0\n 2 1 0 0\n 3 0 1 0\n"
    "second\n 0 0 0\n";

std::string cfgFor(int layers) {
  F_DisplayOptions o;
  o.resetForImportedMesh(layers);
  o.setMargins(10, 20, 30, 40);
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  out->write("# Kavrilon Display Options\n\n");
  o.writeCfg(*out);
  out->close();
  return out->bytes();
}
}  // namespace

TEST(CKavrilonDocImport, ResetsOptionsAndUpdatesViews) {
  RecordingUi ui;
  TempDir dir;
  writeFileBytes(dir.path("m.s3d"), kTwoLayers);
  CKavrilonDoc doc;
  CountingView view(doc);
  doc.addView(&view);
  doc.displayOptions.setMargins(50, 50, 50, 50);
  ui->queueFile(dir.path("m.s3d"));
  doc.OnFileImport();
  EXPECT_EQ(doc.mesh.layerCount(), 2);
  EXPECT_EQ(doc.displayOptions.layerCount(), 2);
  EXPECT_EQ(doc.displayOptions.minX1, 4);
  EXPECT_EQ(doc.displayOptions.layer(2).lineColor, 2);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(view.updates, 2);  // after the reset, and again after the companion step
  EXPECT_EQ(view.seenLayers, 2);
  EXPECT_TRUE(ui->lines().empty());  // no companion file, no question
  EXPECT_EQ(ui->waitDepth(), 0);
}

TEST(CKavrilonDocImport, CompanionQuestionAnsweredYesOrNo) {
  struct Case {
    const char* name;
    bool yes;
    int cfgLayers;
    int expectedMinX1;
    bool mismatch;
  } cases[] = {
      {"yes takes the file", true, 2, 10, false},
      {"no keeps the reset options", false, 2, 4, false},
      {"yes with another layer count", true, 3, 4, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingUi ui;
    TempDir dir;
    writeFileBytes(dir.path("mesh.s3d"), kTwoLayers);
    writeFileBytes(dir.path("mesh.cfg"), cfgFor(c.cfgLayers));
    CKavrilonDoc doc;
    CountingView view(doc);
    doc.addView(&view);
    ui->queueAnswer(c.yes);
    ASSERT_EQ(doc.importFile(dir.path("mesh.s3d")), CKavrilonDoc::ImportResult::Imported);
    ASSERT_GE(ui->lines().size(), 1u);
    EXPECT_EQ(ui->lines()[0], "question: " + HeadlessUi::escape("Import display options from the file:\n" +
                                                                 dir.path("mesh.cfg")));
    EXPECT_EQ(doc.displayOptions.minX1, c.expectedMinX1);
    EXPECT_EQ(doc.displayOptions.layerCount(), 2);
    EXPECT_EQ(view.updates, 2);
    EXPECT_EQ(ui->lines().size(), c.mismatch ? 2u : 1u);
    if (c.mismatch) {
      EXPECT_EQ(ui.lastMessage(),
                "ERROR\nThe number of layers specified in the file\nwith display options (.cfg) does not match the\n"
                "number of layers of the document.\nThe content of the .cfg file is ignored.");
    }
  }
}

TEST(CKavrilonDocImport, CompanionReadErrorKeepsMeshAndResetOptions) {
  RecordingUi ui;
  TempDir dir;
  writeFileBytes(dir.path("mesh.S3D"), kTwoLayers);
  writeFileBytes(dir.path("mesh.cfg"), "0 ; 0 ; 0 ;\n0 ;");
  CKavrilonDoc doc;
  CountingView view(doc);
  doc.addView(&view);
  ASSERT_EQ(doc.importFile(dir.path("mesh.S3D")), CKavrilonDoc::ImportResult::CompanionFailed);
  EXPECT_EQ(ui.lastMessage(), readErrorText("mesh.cfg", dir.path("mesh.cfg"),
                                            "ERROR\nMargin must be an integer in the range [1,100].", 2));
  EXPECT_EQ(doc.mesh.layerCount(), 2);
  EXPECT_EQ(doc.displayOptions.minX1, 4);
  EXPECT_EQ(view.updates, 1);
  EXPECT_EQ(ui->waitDepth(), 0);
}

TEST(CKavrilonDocImport, NoCompanionForOtherNamesOrWhenNotOffered) {
  RecordingUi ui;
  TempDir dir;
  writeFileBytes(dir.path("mesh.txt"), kTwoLayers);
  writeFileBytes(dir.path("mesh.cfg"), cfgFor(2));
  writeFileBytes(dir.path("mesh.s3d"), kTwoLayers);
  CKavrilonDoc doc;
  ASSERT_EQ(doc.importFile(dir.path("mesh.txt")), CKavrilonDoc::ImportResult::Imported);
  ASSERT_EQ(doc.importFile(dir.path("mesh.s3d"), false), CKavrilonDoc::ImportResult::Imported);
  EXPECT_TRUE(ui->lines().empty());
}

TEST(CKavrilonDocImport, FailedReadLeavesTheDocument) {
  RecordingUi ui;
  TempDir dir;
  writeFileBytes(dir.path("bad.s3d"), "Title\nlayer\n 1 0 0\n 1 1 1\n");
  CKavrilonDoc doc;
  doc.mesh = sampleMesh();
  CountingView view(doc);
  doc.addView(&view);
  EXPECT_EQ(doc.importFile(dir.path("bad.s3d")), CKavrilonDoc::ImportResult::Failed);
  EXPECT_EQ(ui.lastMessage(),
            readErrorText("bad.s3d", dir.path("bad.s3d"), "ERROR\nNode number cannot exceed the number of points.", 4));
  EXPECT_EQ(doc.importFile(dir.path("none.s3d")), CKavrilonDoc::ImportResult::Failed);
  EXPECT_EQ(ui.lastMessage(), readErrorText("none.s3d", dir.path("none.s3d"), "ERROR\nFile not found.", 0));
  EXPECT_EQ(doc.mesh, sampleMesh());
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(view.updates, 0);
  ui->queueFile(std::nullopt);
  doc.OnFileImport();  // cancelled
  EXPECT_EQ(doc.mesh, sampleMesh());
}

TEST(CKavrilonDocExport, WritesTextAndReportsFailures) {
  RecordingUi ui;
  TempDir dir;
  CKavrilonDoc doc;
  doc.mesh = sampleMesh();
  ui->queueFile(dir.path("out.s3d"));
  doc.OnFileExport();
  const std::string text = readFileBytes(dir.path("out.s3d"));
  EXPECT_EQ(text.substr(0, 13), "Sample mesh\r\n");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_TRUE(doc.pathName().empty());
  EXPECT_FALSE(doc.exportFile(dir.path("no/out.s3d")));
  EXPECT_EQ(ui.lastMessage(), readErrorText("out.s3d", dir.path("no/out.s3d"),
                                            "ERROR\nUnable to open output file.\nNo write permission.", 0));
}

TEST(CKavrilonDoc, EnablesImportAndExport) {
  CKavrilonDoc doc;
  CountingView view(doc);
  EXPECT_TRUE(doc.isImportEnabled(nullptr));
  EXPECT_FALSE(doc.isExportEnabled(nullptr));
  doc.mesh = sampleMesh();
  EXPECT_TRUE(doc.isExportEnabled(&view));
  view.viewPointMode = true;
  EXPECT_FALSE(doc.isImportEnabled(&view));
  EXPECT_FALSE(doc.isExportEnabled(&view));
}

TEST(CKavrilonDoc, SetAsDefaultCopiesOptionsAndMarksModified) {
  CKavrilonDoc doc;
  F_DisplayOptions view;
  view.resetForImportedMesh(3);
  view.layer(3).setShrinkFactor(50);
  doc.setDefaultOptions(view);
  EXPECT_EQ(doc.displayOptions, view);
  EXPECT_TRUE(doc.IsModified());
}

namespace {
// Remembers the settings of the file dialogs it is asked to show.
class DialogRecordingUi : public HeadlessUi {
 public:
  DialogRecordingUi() : HeadlessUi(nullptr), previous_(installUiServices(this)) {}
  ~DialogRecordingUi() override { installUiServices(previous_); }
  std::optional<std::string> openFileDialog(const FileDialogOptions& dialog) override {
    dialogs.push_back(dialog);
    kinds.push_back("open");
    return HeadlessUi::openFileDialog(dialog);
  }
  std::optional<std::string> saveFileDialog(const FileDialogOptions& dialog) override {
    dialogs.push_back(dialog);
    kinds.push_back("save");
    return HeadlessUi::openFileDialog(dialog);
  }
  std::vector<FileDialogOptions> dialogs;
  std::vector<std::string> kinds;

 private:
  UiServices* previous_;
};
}  // namespace

TEST(CKavrilonDoc, ImportAndExportDialogSettings) {
  DialogRecordingUi ui;
  CKavrilonDoc doc;
  doc.mesh = sampleMesh();
  doc.OnFileImport();
  doc.OnFileExport();
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.kinds[0], "open");
  EXPECT_EQ(ui.dialogs[0].defaultExtension, "s3d");
  EXPECT_EQ(ui.dialogs[0].initialName, "*.s3d");
  EXPECT_EQ(ui.dialogs[0].filter, meshImportFilter());
  EXPECT_EQ(ui.kinds[1], "save");
  EXPECT_EQ(ui.dialogs[1].defaultExtension, "s3d");
  EXPECT_EQ(ui.dialogs[1].initialName, "*.s3d");
  EXPECT_EQ(ui.dialogs[1].filter, "Kavrilon Text File (*.s3d)|*.s3d||");
  EXPECT_TRUE(ui.dialogs[1].promptOverwrite);
  EXPECT_EQ(doc.mesh, sampleMesh());  // both cancelled
}

TEST(CKavrilonDocImport, MeshesOfOtherProgramsImportWithTheirNodeDataAndCompanion) {
  RecordingUi ui;
  TempDir dir;
  const std::string source = std::string(KAVRILON_SOURCE_DIR) + "/tests/import/data/";
  writeFileBytes(dir.path("cube.vtk"), readFileBytes(source + "cube-hex-ascii.vtk"));
  writeFileBytes(dir.path("cube.cfg"), cfgFor(3));
  writeFileBytes(dir.path("bad.msh"), "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n1\n1 0 0 0\n$EndNodes\n");
  CKavrilonDoc doc;
  ASSERT_EQ(doc.importFile(dir.path("cube.vtk")), CKavrilonDoc::ImportResult::Imported);
  EXPECT_EQ(ui->lines().front(), "question: Import display options from the file:\\n" + dir.path("cube.cfg"));
  EXPECT_EQ(doc.mesh.layerCount(), 3);
  EXPECT_EQ(doc.displayOptions.minX1, 10);  // from the companion
  ASSERT_EQ(doc.nodeFields.fields.size(), 2u);

  // A file that cannot be read leaves mesh and node data as they were.
  const F_S3dMesh before = doc.mesh;
  EXPECT_EQ(doc.importFile(dir.path("bad.msh")), CKavrilonDoc::ImportResult::Failed);
  EXPECT_EQ(ui.lastMessage(), readErrorText("bad.msh", dir.path("bad.msh"),
                                            "ERROR\nThe file holds no element that can be shown.", 0));
  EXPECT_EQ(doc.mesh, before);
  EXPECT_EQ(doc.nodeFields.fields.size(), 2u);

  // An .s3d has no node data: the last file's goes.
  writeFileBytes(dir.path("m.s3d"), kTwoLayers);
  ASSERT_EQ(doc.importFile(dir.path("m.s3d"), false), CKavrilonDoc::ImportResult::Imported);
  EXPECT_TRUE(doc.nodeFields.empty());
}
