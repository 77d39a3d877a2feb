#include <filesystem>
// kavrilon-cli with scalar fields: check of .pva files, and render with
// --pva, --colors, --range and --shading on a square seen face on.

#include <sstream>

#include "cli/Cli.h"
#include "common/F_ColorTable.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

#include <QImage>

namespace {

// A 10 x 10 square in the model's YZ plane, seen face on at angles 0, one
// 4-node element; its points 1 and 4 are on the left, 2 and 3 on the right.
const char* const kSquare =
    "Square\nSkin\n1 4 0\n1 4 1 2 3 4\n1 0 0 0\n2 0 10 0\n3 0 10 10\n4 0 0 10\n";
// 0 on the left side, 1 on the right: the rainbow runs left to right.
const char* const kLeftToRight = "1 0\n2 1\n3 1\n4 0\n";

constexpr int kWidth = 400, kHeight = 300;

// The colours met along the middle row of the mesh area (left of where the
// side bar goes), white and black left out, each run of one colour once.
std::vector<F_Rgb> colourRuns(const std::string& png) {
  const QImage image(QString::fromStdString(png));
  std::vector<F_Rgb> runs;
  if (image.width() != kWidth || image.height() != kHeight) return runs;
  for (int x = 3; x < kWidth - 100; ++x) {
    const F_Rgb c = image.pixel(x, kHeight * 3 / 5) | 0xff000000u;
    if (c == 0xffffffffu || c == 0xff000000u) continue;
    if (runs.empty() || runs.back() != c) runs.push_back(c);
  }
  return runs;
}

std::vector<F_Rgb> rainbow(int n) {
  F_ColorTable table;
  table.build(n);
  std::vector<F_Rgb> colours;
  for (int k = 1; k <= n; ++k) colours.push_back(table.colors()(1000 + k));
  return colours;
}

struct Scene {
  Scene() {
    writeFileBytes(dir.path("sq.s3d"), kSquare);
    writeFileBytes(dir.path("lr.pva"), kLeftToRight);
  }
  // Renders with the extra options; the status and output of the run.
  CliRun render(std::vector<std::string> extra, const std::string& out = "o.png") {
    std::vector<std::string> args{"render", dir.path("sq.s3d"), "-o", dir.path(out), "--size", "400x300"};
    args.insert(args.end(), extra.begin(), extra.end());
    return cli(args);
  }
  TempDir dir;
};

}  // namespace

TEST(CliCheckPva, PrintsTheCountAndTheExtremesOfTheValues) {
  TempDir dir;
  writeFileBytes(dir.path("f.pva"), "# field\n1 0.1\n2 -3.5 # low\n3 7e2\n");
  const CliRun r = cli({"check", dir.path("f.pva")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "values=3 min=-3.5 max=700\n");

  writeFileBytes(dir.path("F.PVA"), "1 0.1\n");
  EXPECT_EQ(cli({"check", dir.path("F.PVA")}).out, "values=1 min=0.10000000000000001 max=0.10000000000000001\n");
}

TEST(CliCheckPva, FailuresPrintTheMessageAndExitWithOne) {
  TempDir dir;
  struct Case {
    const char* name;
    const char* text;  // nullptr: no file
    std::string message;
    int line;
  };
  const Case cases[] = {
      {"bad item count", "1 0\n3 0\n", "ERROR\nBad item count.", 2},
      {"no NewLine at the end", "1 0\n2 0", "ERROR\nUnexpected end of file.", 0},
      {"missing file", nullptr, "ERROR\nFile not found.", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.path(c.text ? "bad.pva" : "none.pva");
    if (c.text) writeFileBytes(path, c.text);
    const CliRun r = cli({"check", path});
    EXPECT_EQ(r.status, 1);
    const std::string name = c.text ? "bad.pva" : "none.pva";
    EXPECT_EQ(r.out, "message: " + HeadlessUi::escape(readErrorText(name, path, c.message, c.line)) + "\n");
  }
}

TEST(CliCheckPva, SampleFieldsFitTheirMeshes) {
  // Each sample field has one value per point of the layer it belongs to.
  const std::string examples = std::string(KAVRILON_SOURCE_DIR) + "/examples/";
  struct Case {
    const char* pva;
    const char* mesh;
    const char* layer;
  };
  for (const Case c : {Case{"plate.pva", "plate.s3d", "1"}, Case{"layers.pva", "layers.s3d", "1"},
                       Case{"layers-deck.pva", "layers.s3d", "2"}, Case{"dome.pva", "dome.s3d", "1"}}) {
    SCOPED_TRACE(c.pva);
    TempDir dir;
    const CliRun r = cli({"render", examples + c.mesh, "-o", dir.path("e.png"), "--size", "320x200", "--layer", c.layer,
                       "--pva", examples + c.pva});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("message:"), std::string::npos) << r.out;
  }
}

TEST(CliRenderPva, ContourFillRunsThroughTheRainbow) {
  Scene s;
  const CliRun r = s.render({"--pva", s.dir.path("lr.pva")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(colourRuns(s.dir.path("o.png")), rainbow(14));
}

TEST(CliRenderPva, ColorsAndRangeGoThroughTheOptionsDialog) {
  Scene s;
  const std::string lr = s.dir.path("lr.pva");
  EXPECT_EQ(s.render({"--pva", lr, "--colors", "3"}).out, "");
  EXPECT_EQ(colourRuns(s.dir.path("o.png")), rainbow(3));

  // Values below the set range take the first colour: the left half is one band.
  ASSERT_EQ(s.render({"--pva", lr, "--colors", "2", "--range", "0.5,1"}).status, 0);
  EXPECT_EQ(colourRuns(s.dir.path("o.png")), rainbow(2));
  const QImage image(QString::fromStdString(s.dir.path("o.png")));
  const int row = kHeight * 3 / 5;
  int first = 0;
  for (int x = 3; x < kWidth - 100; ++x) first += (image.pixel(x, row) | 0xff000000u) == rainbow(2)[0];
  ASSERT_EQ(s.render({"--pva", lr, "--colors", "2"}).status, 0);
  const QImage even(QString::fromStdString(s.dir.path("o.png")));
  int evenFirst = 0;
  for (int x = 3; x < kWidth - 100; ++x) evenFirst += (even.pixel(x, row) | 0xff000000u) == rainbow(2)[0];
  EXPECT_GT(first, evenFirst * 5 / 4);
}

TEST(CliRenderPva, RefusedOptionsAreShownAndNothingIsWritten) {
  Scene s;
  const std::string lr = s.dir.path("lr.pva");
  ASSERT_EQ(s.render({"--pva", lr}, "plain.bmp").status, 0);
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::string message;
  };
  const Case cases[] = {
      {"1 colour", {"--colors", "1"}, "ERROR\\nThe number of rainbow colors must be\\nin the range [2,3000]."},
      {"3001 colours", {"--colors", "3001"}, "ERROR\\nThe number of rainbow colors must be\\nin the range [2,3000]."},
      {"coincident", {"--range", "2,2"}, "ERROR\\nCoincident minimum and maximum values."},
      {"reversed", {"--range", "3,2"}, "ERROR\\nMinimum value greater than maximum value."},
      {"not a number", {"--colors", "many"}, "ERROR\\nInvalid integer number.\\nm <?> any"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> options{"--pva", lr};
    options.insert(options.end(), c.options.begin(), c.options.end());
    std::remove(s.dir.path("o.bmp").c_str());
    const CliRun r = s.render(options, "o.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "message: " + c.message + "\n");
    EXPECT_FALSE(std::filesystem::exists(s.dir.path("o.bmp")));
  }
}

TEST(CliRenderPva, ShadingFillsAFaceSeenSquareOnWithTheLastRedOfItsRamp) {
  Scene s;
  ASSERT_EQ(s.render({"--shading"}).status, 0);
  F_ColorTable table;
  table.build(14);
  const F_Rgb last = table.colors()(F_ColorTable::kRedRamp + F_ColorTable::kRampLength - 1);
  EXPECT_EQ(colourRuns(s.dir.path("o.png")), std::vector<F_Rgb>{last});
  // --shading after a field that is shown changes nothing.
  ASSERT_EQ(s.render({"--pva", s.dir.path("lr.pva"), "--shading"}).status, 0);
  EXPECT_EQ(colourRuns(s.dir.path("o.png")), rainbow(14));
}

TEST(CliRenderPva, AFieldThatDoesNotFitIsRefusedAndNothingIsWritten) {
  Scene s;
  writeFileBytes(s.dir.path("three.pva"), "1 0\n2 1\n3 1\n");
  const CliRun r = s.render({"--pva", s.dir.path("three.pva")}, "o.bmp");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "message: WARNING\\nInvalid number of points in the PVA file.\\nPVA file content ignored.\\n\\nNumber of "
            "points in the PVA file = 3\\nNumber of points of the current layer = 4\n");
  EXPECT_EQ(readFileBytes(s.dir.path("o.bmp")), readFileBytes(s.dir.path("plain.bmp")));
}

TEST(CliRenderPva, OptionsWithoutAFieldAreLeftAsTheDisabledCommandLeavesThem) {
  Scene s;
  ASSERT_EQ(s.render({}, "plain.bmp").status, 0);
  const CliRun r = s.render({"--colors", "1", "--range", "3,2"}, "o.bmp");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(readFileBytes(s.dir.path("o.bmp")), readFileBytes(s.dir.path("plain.bmp")));
}

TEST(CliRenderPva, AnUnreadableFieldIsRefused) {
  Scene s;
  writeFileBytes(s.dir.path("bad.pva"), "1 0\n2 x\n");
  const CliRun r = s.render({"--pva", s.dir.path("bad.pva")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "message: " +
                       HeadlessUi::escape(readErrorText("bad.pva", s.dir.path("bad.pva"),
                                                        "ERROR\nInvalid real number.\nx <?>", 2)) +
                       "\n");
  EXPECT_FALSE(std::filesystem::exists(s.dir.path("o.png")));
  EXPECT_EQ(s.render({"--range", "1"}).status, 2);
  EXPECT_EQ(s.render({"--pva"}).status, 2);
}

namespace {

// The --pva file is read ahead while the mesh loads; each file must give
// what the import command gives when it reads the file itself (a script's
// "file" and "command", which reads no field ahead): the same messages, and
// the same image, or (where the import refused the file) none.
TEST(CliRenderPva, AFieldReadAheadGivesWhatTheImportGives) {
  Scene s;
  const struct {
    const char* name;
    const char* bytes;  // nullptr: no such file
  } cases[] = {
      {"written shape", kLeftToRight},
      {"a comment line first", "# left to right\n1 0\n2 1\n3 1\n4 0\n"},
      {"a comment after the last record", "1 0\n2 1\n3 1\n4 0 # end\n"},
      {"the last line without its NewLine", "1 0\n2 1\n3 1\n4 0"},
      {"an error on the last line", "1 0\n2 1\n3 1\n4 x\n"},
      {"a record out of turn", "1 0\n2 1\n4 1\n3 0\n"},
      {"one value too many", "1 0\n2 1\n3 1\n4 0\n5 0\n"},
      {"one value too few", "1 0\n2 1\n3 1\n"},
      {"an empty file", ""},
      {"no file", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string pva = s.dir.path("f.pva");
    std::filesystem::remove(pva);
    if (c.bytes) writeFileBytes(pva, c.bytes);
    writeFileBytes(s.dir.path("import.script"), "file " + pva + "\ncommand 32787\n");
    std::filesystem::remove(s.dir.path("ahead.png"));
    std::filesystem::remove(s.dir.path("import.png"));
    const CliRun ahead = s.render({"--pva", pva}, "ahead.png");
    const CliRun import = s.render({"--script", s.dir.path("import.script")}, "import.png");
    EXPECT_EQ(ahead.out, import.out);
    EXPECT_EQ(ahead.err, import.err);
    ASSERT_EQ(import.status, 0);
    if (import.out.empty()) {
      EXPECT_EQ(ahead.status, 0);
      EXPECT_EQ(readFileBytes(s.dir.path("ahead.png")), readFileBytes(s.dir.path("import.png")));
    } else {
      EXPECT_EQ(ahead.status, 1);
      EXPECT_FALSE(std::filesystem::exists(s.dir.path("ahead.png")));
    }
  }
  // A mesh that cannot be read ends the render with its own message alone.
  writeFileBytes(s.dir.path("f.pva"), kLeftToRight);
  const CliRun broken = cli({"render", s.dir.path("none.s3d"), "-o", s.dir.path("o.png"), "--pva", s.dir.path("f.pva")});
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.out.find("f.pva"), std::string::npos);
}

}  // namespace
