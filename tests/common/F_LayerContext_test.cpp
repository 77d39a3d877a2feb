#include "common/F_LayerContext.h"

#include <cmath>
#include <iostream>
#include <utility>

#include "support/TestSupport.h"

namespace {
constexpr double kPi = F_DisplayOptions::kPi;

// The default layer line of a .cfg file.
const char* const kDefaultLayerLine =
    "   1    y    y  1  1 0    n  8  9 1    n  8  4 7    n 12  9    n 12  6    n 12  2    n 12  4 ; \r\n";

std::string cfgOf(const F_DisplayOptions& o) {
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  o.writeCfg(*out);
  out->close();
  return out->bytes();
}

// Reads .cfg text into fresh options; the message box text, or "" on success.
std::string readCfgText(const std::string& text, F_DisplayOptions& o) {
  return readMessage(text, [&](F_InputFile& f) { o.readCfg(f); }, "/tmp/t.cfg");
}

std::string cfgError(const std::string& message, int line) {
  return readErrorText("t.cfg", "/tmp/t.cfg", message, line);
}

std::string header(const std::string& angles = "0 ; 0 ; 0 ;", const std::string& margins = "4 ; 8 ; 6 ; 18 ;",
                   const std::string& rest = "3 ; y ;") {
  return angles + "\n" + margins + "\n" + rest + "\n";
}
const std::string kLayer = "1 y y 1 1 0 n 8 9 1 n 8 4 7 n 12 9 n 12 6 n 12 2 n 12 4 ;\n";
}  // namespace

TEST(F_LayerContext, FreshHoldsTheDefaults) {
  // In record order (letters B to Z): shown; lines 1, 1, 0; point markers 8, 9, 1;
  // special node markers 8, 4, 7; then the sizes and colours of the four numbers.
  const int expected[F_LayerContext::kRecordFields] = {1, 1, 1, 1, 0, 0, 8, 9, 1, 0, 8, 4, 7,
                                                       0, 12, 9, 0, 12, 6, 0, 12, 2, 0, 12, 4};
  F_LayerContext c;
  for (int i = 0; i < F_LayerContext::kRecordFields; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(c.*F_LayerContext::kRecord[i].member, expected[i]);
  }
  EXPECT_EQ(c.shrinkFactor, 100);
  EXPECT_TRUE(c.isValid());
}

TEST(F_LayerContext, SettersReplaceOutOfRangeInput) {
  using Setter = void (F_LayerContext::*)(int);
  struct Case {
    const char* name;
    Setter set;
    F_LayerContext::Field F_LayerContext::*field;
    int lo, hi, replacement;
  } cases[] = {
      {"shrink", &F_LayerContext::setShrinkFactor, &F_LayerContext::shrinkFactor, 1, 9999, 100},
      {"thickness", &F_LayerContext::setLineThickness, &F_LayerContext::lineThickness, 1, 99, 1},
      {"line color", &F_LayerContext::setLineColor, &F_LayerContext::lineColor, 1, 16, 1},
      {"line type", &F_LayerContext::setLineType, &F_LayerContext::lineType, 0, 4, 0},
      {"point marker size", &F_LayerContext::setPointMarkerSize, &F_LayerContext::pointMarkerSize, 1, 99, 8},
      {"point marker color", &F_LayerContext::setPointMarkerColor, &F_LayerContext::pointMarkerColor, 1, 16, 9},
      {"point marker type", &F_LayerContext::setPointMarkerType, &F_LayerContext::pointMarkerType, 0, 7, 1},
      {"sn marker size", &F_LayerContext::setSpecialNodeMarkerSize, &F_LayerContext::specialNodeMarkerSize, 1, 99, 8},
      {"sn marker color", &F_LayerContext::setSpecialNodeMarkerColor, &F_LayerContext::specialNodeMarkerColor, 1, 16,
       4},
      {"sn marker type", &F_LayerContext::setSpecialNodeMarkerType, &F_LayerContext::specialNodeMarkerType, 0, 7, 7},
      {"point number size", &F_LayerContext::setPointNumberSize, &F_LayerContext::pointNumberSize, 1, 99, 12},
      {"point number color", &F_LayerContext::setPointNumberColor, &F_LayerContext::pointNumberColor, 1, 16, 9},
      {"el node number size", &F_LayerContext::setElementNodeNumberSize, &F_LayerContext::elementNodeNumberSize, 1,
       99, 12},
      {"el node number color", &F_LayerContext::setElementNodeNumberColor, &F_LayerContext::elementNodeNumberColor, 1,
       16, 6},
      {"element number size", &F_LayerContext::setElementNumberSize, &F_LayerContext::elementNumberSize, 1, 99, 12},
      {"element number color", &F_LayerContext::setElementNumberColor, &F_LayerContext::elementNumberColor, 1, 16, 2},
      {"sn number size", &F_LayerContext::setSpecialNodeNumberSize, &F_LayerContext::specialNodeNumberSize, 1, 99, 12},
      {"sn number color", &F_LayerContext::setSpecialNodeNumberColor, &F_LayerContext::specialNodeNumberColor, 1, 16,
       4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_LayerContext lc;
    (lc.*c.set)(c.lo);
    EXPECT_EQ(lc.*c.field, c.lo);
    (lc.*c.set)(c.hi);
    EXPECT_EQ(lc.*c.field, c.hi);
    (lc.*c.set)(c.lo - 1);
    EXPECT_EQ(lc.*c.field, c.replacement);
    (lc.*c.set)(c.hi);
    (lc.*c.set)(c.hi + 1);
    EXPECT_EQ(lc.*c.field, c.replacement);
    EXPECT_TRUE(lc.isValid());
    lc.*c.field = static_cast<F_LayerContext::Field>(c.hi + 1);
    EXPECT_FALSE(lc.isValid());
  }
}

TEST(F_DisplayOptions, NormalisesAngles) {
  struct Case {
    const char* name;
    double phi, psi, alpha;
    double ePhi, ePsi, eAlpha;
  } cases[] = {
      {"above pi wraps", kPi + 0.1, 0, 0, 0.1 - kPi, 0, 0},
      {"minus pi kept", -kPi, 0, 0, -kPi, 0, 0},
      {"tiny becomes zero", 5e-9, -5e-9, 1e-8, 0, 0, 1e-8},
      {"several turns", 0, 7 * kPi, -5 * kPi, 0, 7 * kPi - 4 * F_DisplayOptions::kTwoPi,
       -5 * kPi + 2 * F_DisplayOptions::kTwoPi},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingUi ui;
    F_DisplayOptions o;
    o.setAngles(c.phi, c.psi, c.alpha);
    EXPECT_DOUBLE_EQ(o.phi, c.ePhi);
    EXPECT_DOUBLE_EQ(o.psi, c.ePsi);
    EXPECT_DOUBLE_EQ(o.alpha, c.eAlpha);
    EXPECT_TRUE(ui->messages().empty());
  }
}

TEST(F_DisplayOptions, HugeAngleWarnsAndZeroesAll) {
  for (double bad : {20000.0, -10001.5, double(NAN), double(INFINITY)}) {
    SCOPED_TRACE(bad);
    RecordingUi ui;
    F_DisplayOptions o;
    o.setAngles(0.5, 0.25, 0.125);
    o.addToPhi(bad);
    EXPECT_EQ(ui.lastMessage(), "WARNING\nInvalid input data replaced with default values.");
    EXPECT_EQ(o.phi, 0.0);
    EXPECT_EQ(o.psi, 0.0);
    EXPECT_EQ(o.alpha, 0.0);
  }
}

TEST(F_DisplayOptions, ClampsMarginsAndDivisions) {
  F_DisplayOptions o;
  o.setMargins(0, 150, 50, -3);
  EXPECT_EQ(o.minX1, 1);
  EXPECT_EQ(o.maxX1, 100);
  EXPECT_EQ(o.minX2, 50);
  EXPECT_EQ(o.maxX2, 1);
  o.setNumberOfDivisions(25);
  EXPECT_EQ(o.numberOfDivisions, 20);
  o.setNumberOfDivisions(0);
  EXPECT_EQ(o.numberOfDivisions, 1);
}

TEST(F_DisplayOptions, HeaderValidityBounds) {
  struct Case {
    const char* name;
    void (*change)(F_DisplayOptions&);
    bool valid;
  } cases[] = {
      {"defaults", [](F_DisplayOptions&) {}, true},
      {"phi 180 degrees", [](F_DisplayOptions& o) { o.phi = kPi; }, true},
      {"phi -180 degrees", [](F_DisplayOptions& o) { o.phi = -kPi; }, false},
      {"psi within tolerance of pi", [](F_DisplayOptions& o) { o.psi = kPi + 0.9e-8; }, true},
      {"alpha NaN", [](F_DisplayOptions& o) { o.alpha = NAN; }, false},
      {"minX1 0", [](F_DisplayOptions& o) { o.minX1 = 0; }, false},
      {"maxX2 101", [](F_DisplayOptions& o) { o.maxX2 = 101; }, false},
      {"divisions 21", [](F_DisplayOptions& o) { o.numberOfDivisions = 21; }, false},
      {"overprint not tested", [](F_DisplayOptions& o) { o.overprintMesh = 5; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_DisplayOptions o;
    c.change(o);
    EXPECT_EQ(o.isValid(), c.valid);
  }
}

TEST(F_DisplayOptions, AssignmentTakesTheSourceLayerCount) {
  F_DisplayOptions five, three;
  five.resetForImportedMesh(5);
  three.resetForImportedMesh(3);
  three.layer(2).setPointMarkerSize(40);
  three.phi = 0.5;
  five = three;
  EXPECT_EQ(five.layerCount(), 3);
  EXPECT_EQ(five.layer(2).pointMarkerSize, 40);
  EXPECT_EQ(five, three);
}

TEST(F_DisplayOptions, ImportedMeshCyclesLineColours) {
  F_DisplayOptions o;
  o.setAngles(1, 1, 1);
  o.setMargins(50, 50, 50, 50);
  o.resetForImportedMesh(17);
  ASSERT_EQ(o.layerCount(), 17);
  for (int i = 1; i <= 17; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(o.layer(i).lineColor, i <= 15 ? i : i - 15);
  }
  EXPECT_EQ(o.phi, 0.0);
  EXPECT_EQ(o.minX1, 4);
  EXPECT_EQ(o.maxX2, 18);
  EXPECT_EQ(o.numberOfDivisions, 3);
  EXPECT_EQ(o.overprintMesh, 1);
  o.resetForMesh(0, 0, 0, 0, 0, 200, 5, 5, 30, 0);
  EXPECT_EQ(o.layerCount(), 0);
  EXPECT_EQ(o.minX1, 1);
  EXPECT_EQ(o.maxX1, 100);
  EXPECT_EQ(o.numberOfDivisions, 20);
  EXPECT_EQ(o.overprintMesh, 0);
}

TEST(F_DisplayOptions, FreshMeshContextsAreStoredOnlyOnceOneMayChange) {
  // 16 layers: the colour cycle wraps exactly at the last one.
  F_DisplayOptions imported;
  imported.resetForImportedMesh(16);
  F_DisplayOptions plain;
  plain.resetForMesh(16, 0, 0, 0, 4, 8, 6, 18, 3, 1);
  for (F_DisplayOptions* o : {&imported, &plain}) {
    const bool cycled = o == &imported;
    SCOPED_TRACE(cycled ? "imported" : "plain");
    EXPECT_TRUE(o->layerContexts.isCompact());
    // Copies (a view's update, Set As Default) and reads keep them compact.
    const F_DisplayOptions copy = *o;
    EXPECT_TRUE(copy.layerContexts.isCompact());
    for (int i = 1; i <= 16; ++i) {
      F_LayerContext expected;
      expected.lineColor = static_cast<F_LayerContext::Field>(cycled ? (i - 1) % 15 + 1 : 1);
      EXPECT_EQ(copy.layer(i), expected) << "layer " << i;
    }
    EXPECT_EQ(copy.layer(16).lineColor, 1);
    EXPECT_TRUE(copy.layerContexts.isCompact());

    // Changing one stores them all, each with its own value, and leaves the
    // copy and its equality to the others as they were.
    o->layer(16).setLineColor(16);
    EXPECT_FALSE(o->layerContexts.isCompact());
    EXPECT_EQ(o->layer(16).lineColor, 16);
    EXPECT_EQ(o->layer(15).lineColor, cycled ? 15 : 1);
    EXPECT_EQ(o->layer(1).lineColor, 1);
    EXPECT_EQ(copy.layer(16).lineColor, 1);
    EXPECT_NE(*o, copy);
    o->layer(16).setLineColor(1);
    EXPECT_EQ(*o, copy);
    EXPECT_EQ(copy, *o);
  }
  // Imported and plain contexts differ from layer 2 on, however they are held.
  EXPECT_NE(imported, plain);
  F_DisplayOptions fresh;
  fresh.resetForImportedMesh(16);
  EXPECT_NE(fresh, plain);
  EXPECT_EQ(fresh, imported);
  fresh.resetForImportedMesh(1);
  plain.resetForMesh(1, 0, 0, 0, 4, 8, 6, 18, 3, 1);
  EXPECT_EQ(fresh, plain);
}

TEST(F_DisplayOptions, CompactContextsAreStoredAndWrittenAsEveryOther) {
  // The same options held compactly and one by one give the same bytes.
  F_DisplayOptions compact;
  compact.resetForImportedMesh(17);
  F_DisplayOptions stored = compact;
  stored.layer(1).setLineColor(1);
  ASSERT_TRUE(compact.layerContexts.isCompact());
  ASSERT_FALSE(stored.layerContexts.isCompact());
  auto archived = [](F_DisplayOptions o) {
    auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
    F_Archive ar(*out);
    o.Serialize(ar);
    out->close();
    return out->bytes();
  };
  EXPECT_EQ(archived(compact), archived(stored));
  EXPECT_EQ(cfgOf(compact), cfgOf(stored));
  EXPECT_TRUE(compact.layerContexts.isCompact());

  // Loaded contexts of a fresh mesh are held compactly again; one changed
  // context, or a flag held as another value than 1, keeps them all stored.
  auto loaded = [](const std::string& bytes) {
    auto in = F_InputFile::fromMemory(bytes, "t.b3d");
    F_Archive ar(*in);
    F_DisplayOptions o;
    o.Serialize(ar);
    return o;
  };
  F_DisplayOptions plain;
  plain.resetForMesh(17, 0, 0, 0, 4, 8, 6, 18, 3, 1);
  F_DisplayOptions changed = compact;
  changed.layer(17).setLineColor(16);
  F_DisplayOptions oddFlag = compact;
  oddFlag.layer(1).displayLayer = 2;
  const struct {
    const char* name;
    const F_DisplayOptions& options;
    bool compact;
  } cases[] = {{"cycled", compact, true}, {"plain", plain, true}, {"changed", changed, false}, {"odd flag", oddFlag, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const F_DisplayOptions back = loaded(archived(c.options));
    EXPECT_EQ(back.layerContexts.isCompact(), c.compact);
    EXPECT_EQ(back, c.options);
    EXPECT_EQ(archived(back), archived(c.options));
  }
  // A .cfg read appends to compact contexts as to any others.
  F_DisplayOptions back = compact;
  ASSERT_EQ(readCfgText(cfgOf(stored), back), "");
  EXPECT_EQ(back, compact);
}

TEST(F_DisplayOptions, MovingHandsTheStoredContextsOver) {
  // A document takes the options it has read by moving them: the contexts
  // must not be copied on the way (a file may hold millions of them).
  F_DisplayOptions read;
  read.resetForImportedMesh(3);
  read.layer(2).setPointMarkerSize(40);
  const F_DisplayOptions expected = read;
  const F_LayerContext* stored = &read.layer(1);
  F_DisplayOptions taken(std::move(read));
  EXPECT_EQ(&taken.layer(1), stored);
  EXPECT_EQ(taken, expected);
  EXPECT_EQ(read.layerCount(), 0);  // NOLINT(bugprone-use-after-move): left without contexts
  F_DisplayOptions document;
  document.resetForImportedMesh(5);
  document = std::move(taken);
  EXPECT_EQ(&document.layer(1), stored);
  EXPECT_EQ(document, expected);
  EXPECT_EQ(taken.layerCount(), 0);  // NOLINT(bugprone-use-after-move)
}

TEST(F_DisplayOptionsDeathTest, LayerIndexOutsideIsInternalError) {
  F_DisplayOptions o;
  o.resetForImportedMesh(2);
  const F_DisplayOptions& held = o;
  for (int i : {0, 3}) {
    SCOPED_TRACE(i);
    auto die = [](auto read) {
      HeadlessUi toStderr(&std::cerr);
      installUiServices(&toStderr);
      read();
    };
    EXPECT_DEATH(die([&] { (void)held.layer(i); }), "F_LayerContextList");
    EXPECT_DEATH(die([&] { o.layer(i).showLayer(); }), "F_LayerContextList");
  }
}

// ---- .cfg ----

TEST(F_DisplayOptionsCfg, WritesTheDefaultsOfOneLayer) {
  F_DisplayOptions o;
  o.resetForImportedMesh(1);
  const std::string text = cfgOf(o);
  EXPECT_EQ(text.substr(0, 67), "# Angles:\r\n       0.000000 ; # Phi angle (degrees)\r\n       0.000000");
  EXPECT_NE(text.find("        4 ; # Min X1 (%) [1,100]\r\n"), std::string::npos);
  EXPECT_NE(text.find("        y ; # Overprint mesh (y/n)\r\n\r\n# Layers:\r\n        1 ; # Number of layers\r\n\r\n"
                      "#  A -> layer number\r\n#  B -> y/n    - display layer\r\n\r\n#  C -> y/n"),
            std::string::npos);
  const std::string tail = std::string("#  Z -> [1,16] - special node number color\r\n\r\n") +
                           "#  A    B    C  D  E F    G  H  I J    K  L  M N    O  P  Q    R  S  T    U  V  W    "
                           "X  Y  Z\r\n" +
                           kDefaultLayerLine + "\r\nEND_OF_FILE\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  // Lines 3 to 58 of the file: 56 lines for one layer.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 56);
}

TEST(F_DisplayOptionsCfg, WritesEveryLineOfATwoLayerFile) {
  // Negative and fractional angles, two-digit margins, every layer field off
  // its default in the second layer: the whole text, line ends included.
  F_DisplayOptions o;
  o.resetForImportedMesh(2);
  o.setAngles(-kPi / 2, 0.25, 0);
  o.setMargins(1, 100, 33, 2);
  o.setNumberOfDivisions(20);
  o.hideOverprintMesh();
  F_LayerContext& c = o.layer(2);
  c.hideLayer();
  c.hideLines();
  c.setLineThickness(12);
  c.setLineColor(16);
  c.setLineType(4);
  c.showPointMarkers();
  c.setPointMarkerSize(99);
  c.setPointMarkerColor(10);
  c.setPointMarkerType(0);
  c.showSpecialNodeMarkers();
  c.setSpecialNodeMarkerSize(1);
  c.setSpecialNodeMarkerColor(11);
  c.setSpecialNodeMarkerType(6);
  c.showPointNumbers();
  c.setPointNumberSize(7);
  c.setPointNumberColor(1);
  c.showElementNodeNumbers();
  c.setElementNodeNumberSize(20);
  c.setElementNodeNumberColor(3);
  c.showElementNumbers();
  c.setElementNumberSize(5);
  c.setElementNumberColor(14);
  c.showSpecialNodeNumbers();
  c.setSpecialNodeNumberSize(33);
  c.setSpecialNodeNumberColor(15);
  std::string expected =
      "# Angles:\n"
      "     -90.000000 ; # Phi angle (degrees)\n"
      "      14.323945 ; # Psi angle (degrees)\n"
      "       0.000000 ; # Alpha angle (degrees)\n"
      "\n"
      "# Margins:\n"
      "        1 ; # Min X1 (%) [1,100]\n"
      "      100 ; # Max X1 (%) [1,100]\n"
      "       33 ; # Min X2 (%) [1,100]\n"
      "        2 ; # Max X2 (%) [1,100]\n"
      "\n"
      "# Rendering:\n"
      "       20 ; # Number of divisions [1,20]\n"
      "        n ; # Overprint mesh (y/n)\n"
      "\n"
      "# Layers:\n"
      "        2 ; # Number of layers\n"
      "\n"
      "#  A -> layer number\n"
      "#  B -> y/n    - display layer\n"
      "\n"
      "#  C -> y/n    - display lines\n"
      "#  D -> [1,99] - line thickness\n"
      "#  E -> [1,16] - line color\n"
      "#  F -> [0,4]  - line type\n"
      "\n"
      "#  G -> y/n    - display point markers\n"
      "#  H -> [1,99] - point marker size\n"
      "#  I -> [1,16] - point marker color\n"
      "#  J -> [0,7]  - point marker type\n"
      "\n"
      "#  K -> y/n    - display special node markers\n"
      "#  L -> [1,99] - special node marker size\n"
      "#  M -> [1,16] - special node marker color\n"
      "#  N -> [0,7]  - special node marker type\n"
      "\n"
      "#  O -> y/n    - display point numbers\n"
      "#  P -> [1,99] - point number size\n"
      "#  Q -> [1,16] - point number color\n"
      "\n"
      "#  R -> y/n    - display element node numbers\n"
      "#  S -> [1,99] - element node number size\n"
      "#  T -> [1,16] - element node number color\n"
      "\n"
      "#  U -> y/n    - display element numbers\n"
      "#  V -> [1,99] - element number size\n"
      "#  W -> [1,16] - element number color\n"
      "\n"
      "#  X -> y/n    - display special node numbers\n"
      "#  Y -> [1,99] - special node number size\n"
      "#  Z -> [1,16] - special node number color\n"
      "\n"
      "#  A    B    C  D  E F    G  H  I J    K  L  M N    O  P  Q    R  S  T    U  V  W    X  Y  Z\n"
      "   1    y    y  1  1 0    n  8  9 1    n  8  4 7    n 12  9    n 12  6    n 12  2    n 12  4 ; \n"
      "   2    n    n 12 16 4    y 99 10 0    y  1 11 6    y  7  1    y 20  3    y  5 14    y 33 15 ; \n"
      "\n"
      "END_OF_FILE\n";
  // Every line end is written as CarriageReturn NewLine.
  for (std::size_t i = expected.find('\n'); i != std::string::npos; i = expected.find('\n', i + 2))
    expected.insert(i, 1, '\r');
  EXPECT_EQ(cfgOf(o), expected);

  F_DisplayOptions back;
  ASSERT_EQ(readCfgText(expected, back), "");
  EXPECT_EQ(back.layerContexts, o.layerContexts);
}

TEST(F_DisplayOptionsCfg, RoundTripsDefaultsAndChangedOptions) {
  F_DisplayOptions defaults;
  defaults.resetForImportedMesh(1);
  F_DisplayOptions changed;
  changed.resetForImportedMesh(3);
  changed.setAngles(-kPi / 2, kPi, 0.25);
  changed.setMargins(1, 100, 33, 2);
  changed.setNumberOfDivisions(20);
  changed.hideOverprintMesh();
  changed.layer(2).hideLayer();
  changed.layer(2).setLineType(4);
  changed.layer(3).showSpecialNodeNumbers();
  changed.layer(3).setSpecialNodeNumberColor(16);
  changed.layer(3).setPointMarkerSize(99);
  for (const F_DisplayOptions* o : {&defaults, &changed}) {
    F_DisplayOptions back;
    ASSERT_EQ(readCfgText(cfgOf(*o), back), "");
    EXPECT_EQ(back.layerCount(), o->layerCount());
    EXPECT_EQ(back.minX1, o->minX1);
    EXPECT_EQ(back.maxX2, o->maxX2);
    EXPECT_EQ(back.numberOfDivisions, o->numberOfDivisions);
    EXPECT_EQ(back.overprintMesh, o->overprintMesh);
    EXPECT_NEAR(back.phi, o->phi, 1e-7);
    EXPECT_NEAR(back.psi, o->psi, 1e-7);
    EXPECT_NEAR(back.alpha, o->alpha, 1e-7);
    EXPECT_EQ(back.layerContexts, o->layerContexts);
  }
}

TEST(F_DisplayOptionsCfg, ReadsFreeLayoutAndSetsShrinkTo100) {
  // Comments between tokens, upper-case flags, text after END_OF_FILE ignored.
  const std::string text = "# Kavrilon Display Options\n-90.000000 ; 180 ; # a comment\n 0 ;\n" +
                           std::string("4 ; 8 ; 6 ; 18 ; 3 ; N ; 2 ;\n") +
                           "1 Y Y 1 1 0 N 8 # here too\n 9 1 n 8 4 7 n 12 9 n 12 6 n 12 2 n 12 4 ;\r\n" +
                           "2 n y 2 3 4 y 8 9 1 n 8 4 7 n 12 9 n 12 6 n 12 2 y 12 4 ;\n" +
                           "END_OF_FILE garbage ; not read";
  F_DisplayOptions o;
  o.resetForImportedMesh(2);
  o.layer(1).setShrinkFactor(80);
  F_DisplayOptions fresh;
  ASSERT_EQ(readCfgText(text, fresh), "");
  EXPECT_DOUBLE_EQ(fresh.phi, -90.0 * kPi * 0.005555555555555556);
  EXPECT_EQ(fresh.psi, 180.0 * kPi * 0.005555555555555556);
  EXPECT_EQ(fresh.overprintMesh, 0);
  ASSERT_EQ(fresh.layerCount(), 2);
  EXPECT_EQ(fresh.layer(1).shrinkFactor, 100);
  EXPECT_EQ(fresh.layer(2).displayLayer, 0);
  EXPECT_EQ(fresh.layer(2).lineColor, 3);
  EXPECT_EQ(fresh.layer(2).displayPointMarkers, 1);
  EXPECT_EQ(fresh.layer(2).displaySpecialNodeNumbers, 1);
  // Import replaces the shrink factor too.
  EXPECT_TRUE(o.applyReadOptions(fresh, 2));
  EXPECT_EQ(o.layer(1).shrinkFactor, 100);
}

TEST(F_DisplayOptionsCfg, ReportsEveryHeaderErrorWithItsLine) {
  struct Case {
    const char* name;
    std::string text;
    std::string message;
    int line;
  } cases[] = {
      {"phi -180", header("-180 ; 0 ; 0 ;"), "ERROR\nPhi angle must be in the range ]-180,180] (degrees)", 1},
      {"psi 181", header("0 ; 181 ; 0 ;"), "ERROR\nPsi angle must be in the range ]-180,180] (degrees)", 1},
      {"alpha -200", header("0 ; 0 ;\n -200 ;"), "ERROR\nAlpha angle must be in the range ]-180,180] (degrees)", 2},
      {"minX1 0", header("0 ; 0 ; 0 ;", "0 ; 8 ; 6 ; 18 ;"), "ERROR\nMargin must be an integer in the range [1,100].",
       2},
      {"maxX2 101", header("0 ; 0 ; 0 ;", "4 ; 8 ; 6 ; 101 ;"),
       "ERROR\nMargin must be an integer in the range [1,100].", 2},
      {"divisions 21", header("0 ; 0 ; 0 ;", "4 ; 8 ; 6 ; 18 ;", "21 ; y ;"),
       "ERROR\nNumber of divisions must be in the range [1,20].", 3},
      {"overprint x", header("0 ; 0 ; 0 ;", "4 ; 8 ; 6 ; 18 ;", "3 ; x ;"),
       "ERROR\nOverprint mesh option: expecting y or n.", 3},
      {"no layers", header() + "0 ;\n", "ERROR\nNumber of layers must be greater than zero.", 4},
      {"margin glued to semicolon", header("0 ; 0 ; 0 ;", "4; 8 ; 6 ; 18 ;"), "ERROR\nInvalid integer number.\n4; <?>",
       2},
      {"flag glued to semicolon", header("0 ; 0 ; 0 ;", "4 ; 8 ; 6 ; 18 ;", "3 ; y;"),
       "ERROR\nExpecting a delimiter after the following character: y", 3},
      {"missing semicolon", header("0 ; 0 , 0 ;"),
       "ERROR\nExpecting the following character: ;\nASCII code of the last read character: 44", 1},
      {"layer numbered 2", header() + "1 ;\n2" + kLayer.substr(1), "ERROR\nBad item count.", 5},
      {"keyword missing", header() + "1 ;\n" + kLayer + "END ", "ERROR\nExpecting the following keyword: END_OF_FILE",
       6},
      {"ends early", header() + "1 ;\n" + kLayer, "ERROR\nUnexpected end of file.", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_DisplayOptions o;
    EXPECT_EQ(readCfgText(c.text, o), cfgError(c.message, c.line));
  }
}

TEST(F_DisplayOptionsCfg, ReportsEveryLayerValueError) {
  // Letter B is token 1 of the record after the layer number, Z token 25.
  const char* bad[] = {"x", "x", "0", "17", "5", "x", "100", "0", "8", "x", "0", "17", "8",
                       "x", "0", "17", "x", "100", "0", "x", "0", "17", "x", "100", "0"};
  for (int k = 0; k < F_LayerContext::kRecordFields; ++k) {
    SCOPED_TRACE(F_LayerContext::kRecord[k].message);
    const char* good[] = {"y", "y", "1", "1", "0", "n", "8", "9", "1", "n", "8", "4", "7",
                          "n", "12", "9", "n", "12", "6", "n", "12", "2", "n", "12", "4"};
    std::string record = "1";
    for (int j = 0; j < F_LayerContext::kRecordFields; ++j) record += std::string(" ") + (j == k ? bad[k] : good[j]);
    F_DisplayOptions o;
    EXPECT_EQ(readCfgText(header() + "1 ;\n" + record + " ;\nEND_OF_FILE\n", o),
              cfgError(F_LayerContext::kRecord[k].message, 5));
  }
}

TEST(F_DisplayOptionsCfg, HugeLayerCountEndsAtEndOfFile) {
  F_DisplayOptions o;
  EXPECT_EQ(readCfgText(header() + "2000000000 ;\n" + kLayer, o), cfgError("ERROR\nUnexpected end of file.", 0));
}

TEST(F_DisplayOptionsCfg, MismatchedLayerCountKeepsTarget) {
  RecordingUi ui;
  F_DisplayOptions target, read;
  target.resetForImportedMesh(4);
  target.phi = 0.5;
  read.resetForImportedMesh(3);
  EXPECT_FALSE(target.applyReadOptions(read, 4));
  EXPECT_EQ(ui.lastMessage(),
            "ERROR\nThe number of layers specified in the file\nwith display options (.cfg) does not match the\n"
            "number of layers of the document.\nThe content of the .cfg file is ignored.");
  EXPECT_EQ(target.layerCount(), 4);
  EXPECT_EQ(target.phi, 0.5);
}

TEST(F_DisplayOptionsCfg, FilesReportOpenAndCreateFailures) {
  RecordingUi ui;
  TempDir dir;
  F_DisplayOptions o;
  o.resetForImportedMesh(2);
  EXPECT_FALSE(o.readCfgFile(dir.path("missing.cfg")));
  EXPECT_EQ(ui.lastMessage(),
            readErrorText("missing.cfg", dir.path("missing.cfg"), "ERROR\nFile not found.", 0));
  EXPECT_FALSE(o.writeCfgFile(dir.path("no/such/dir.cfg")));
  EXPECT_EQ(ui.lastMessage(), readErrorText("dir.cfg", dir.path("no/such/dir.cfg"),
                                            "ERROR\nUnable to open output file.\nNo write permission.", 0));
  ASSERT_TRUE(o.writeCfgFile(dir.path("ok.cfg")));
  EXPECT_EQ(readFileBytes(dir.path("ok.cfg")).substr(0, 33), "# Kavrilon Display Options\r\n\r\n# A");
  F_DisplayOptions back;
  ASSERT_TRUE(back.readCfgFile(dir.path("ok.cfg")));
  EXPECT_EQ(back, o);
  EXPECT_EQ(ui->waitDepth(), 0);
}

TEST(F_DisplayOptionsCfg, MinusPiIsWrittenAsPlus180SoItReadsBack) {
  F_DisplayOptions o;
  o.resetForImportedMesh(1);
  o.setAngles(-kPi, 0, -kPi + 5e-9);
  ASSERT_EQ(o.phi, -kPi);
  const std::string text = cfgOf(o);
  EXPECT_NE(text.find("     180.000000 ; # Phi angle"), std::string::npos);
  F_DisplayOptions back;
  ASSERT_EQ(readCfgText(text, back), "");
  EXPECT_NEAR(back.phi, kPi, 1e-12);
  EXPECT_NEAR(back.alpha, kPi, 1e-8);
}
