#include <filesystem>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "app/CKavrilonView.h"
#include "support/ProbedView.h"
#include "common/F_CanvasBound.h"
#include "cli/Cli.h"
#include "platform/headless/HeadlessViewHost.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

#include <QImage>

#include "platform/raster/RasterDC.h"
#include "platform/raster/RasterFonts.h"

namespace {

// A square of side 10 in the model's YZ plane (seen face on at angles 0),
// then a second layer with one line.
const char* const kSquare =
    "Square plate\n"
    "Skin\n"
    "1 4 1\n"
    "1 5 1 2 3 4 1\n"
    "1 0 0 0\n2 0 10 0\n3 0 10 10\n4 0 0 10\n"
    "1 3\n"
    "Rod\n"
    "1 2 0\n"
    "1 2 1 2\n"
    "1 0 0 0\n2 0 10 10\n";

// A decoded 24-bit .bmp, checked against its header as it is read.
struct Bmp {
  explicit Bmp(const std::string& bytes) : b(bytes) {
    w = u32(18);
    h = u32(22);
    row = (3 * w + 3) / 4 * 4;
  }
  int u32(int at) const {
    int v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[static_cast<std::size_t>(at + i)]);
    return v;
  }
  // 0xRRGGBB of canvas pixel (x, y); rows are stored bottom first.
  int pixel(int x, int y) const {
    const std::size_t o = 54 + static_cast<std::size_t>((h - 1 - y) * row + 3 * x);
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(b[o + i]); };
    return (at(2) << 16) | (at(1) << 8) | at(0);
  }
  std::string b;
  int w = 0, h = 0, row = 0;
};

constexpr int kBlack = 0x000000;
constexpr int kWhite = 0xffffff;

}  // namespace

TEST(CliRender, BmpRoundTripHasTheFrameBarAndMesh) {
  TempDir dir;
  writeFileBytes(dir.path("sq.s3d"), kSquare);
  const CliRun r = program("render '" + dir.path("sq.s3d") + "' -o '" + dir.path("sq.bmp") + "' --size 201x150");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
  const Bmp bmp(readFileBytes(dir.path("sq.bmp")));
  ASSERT_EQ(bmp.b.size(), 54u + 604u * 150u);  // 603 colour bytes, 1 padding byte per row
  EXPECT_EQ(bmp.w, 201);
  EXPECT_EQ(bmp.h, 150);
  EXPECT_EQ(bmp.u32(2), static_cast<int>(bmp.b.size()));
  struct Probe {
    const char* name;
    int x, y, rgb;
  };
  const Probe probes[] = {
      {"frame top (2 pixels at row 1)", 100, 0, kBlack},     {"frame top", 100, 1, kBlack},
      {"gap under the frame", 100, 3, kWhite},               {"frame left", 0, 70, kBlack},
      {"frame left", 1, 70, kBlack},                         {"gap right of the frame", 3, 70, kWhite},
      {"frame right", 200, 70, kBlack},                      {"frame bottom", 100, 149, kBlack},
      {"bar top-left corner", 5, 5, kBlack},                 {"bar, right of its text", 190, 28, kBlack},
      {"bar bottom-right corner", 195, 29, kBlack},          {"outside the bar", 196, 29, kWhite},
      {"under the bar", 100, 30, kWhite},                    {"inside the square", 100, 100, kWhite},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(bmp.pixel(p.x, p.y), p.rgb);
  }
  // The square fills the height (rows 0..149 less margins) and is centred
  // across: its left side is one black column somewhere left of the middle.
  int blackInRow = 0;
  for (int x = 2; x < 199; ++x) blackInRow += bmp.pixel(x, 100) == kBlack;
  EXPECT_GE(blackInRow, 2);
}

TEST(CliRender, PngHoldsTheSamePixelsAsTheBmp) {
  TempDir dir;
  writeFileBytes(dir.path("sq.s3d"), kSquare);
  ASSERT_EQ(cli({"render", dir.path("sq.s3d"), "-o", dir.path("a.bmp"), "--size", "120x90"}).status, 0);
  ASSERT_EQ(cli({"render", dir.path("sq.s3d"), "-o", dir.path("a.png"), "--size", "120x90"}).status, 0);
  const Bmp bmp(readFileBytes(dir.path("a.bmp")));
  QImage png(QString::fromStdString(dir.path("a.png")));
  ASSERT_EQ(png.width(), 120);
  ASSERT_EQ(png.height(), 90);
  int differences = 0;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 120; ++x) differences += static_cast<int>(png.pixel(x, y) & 0xffffff) != bmp.pixel(x, y);
  EXPECT_EQ(differences, 0);
}

TEST(CliRender, OptionsChangeThePicture) {
  TempDir dir;
  writeFileBytes(dir.path("sq.s3d"), kSquare);
  auto render = [&](std::vector<std::string> extra) {
    std::vector<std::string> args{"render", dir.path("sq.s3d"), "-o", dir.path("o.bmp"), "--size", "160x120"};
    args.insert(args.end(), extra.begin(), extra.end());
    const CliRun r = cli(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return readFileBytes(dir.path("o.bmp"));
  };
  const std::string plain = render({});
  EXPECT_EQ(render({"--angles", "0,0,0"}), plain);
  EXPECT_NE(render({"--angles", "30,-20,10"}), plain);
  EXPECT_EQ(render({"--layer", "1"}), plain);
  EXPECT_NE(render({"--layer", "2"}), plain);  // "2 - Rod" in the bar
}

TEST(CliRender, RefusedAnglesAreShownAndNothingIsWritten) {
  TempDir dir;
  writeFileBytes(dir.path("sq.s3d"), kSquare);
  struct Case {
    const char* angles;
    const char* message;
  };
  const Case cases[] = {
      {"-180,0,0", "message: ERROR\\nPhi angle must be in the range ]-180,180] (degrees).\n"},
      {"0,181,0", "message: ERROR\\nPsi angle must be in the range ]-180,180] (degrees).\n"},
      {"0,0,-200", "message: ERROR\\nAlpha angle must be in the range ]-180,180] (degrees).\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.angles);
    const CliRun r = cli({"render", dir.path("sq.s3d"), "-o", dir.path("o.bmp"), "--angles", c.angles});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.message);
    EXPECT_FALSE(std::filesystem::exists(dir.path("o.bmp")));
  }
  const CliRun bad = cli({"render", dir.path("sq.s3d"), "-o", dir.path("o.bmp"), "--angles", "0,abc,0"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out.rfind("message: ERROR\\nInvalid real number.", 0), 0u) << bad.out;
}

TEST(CliRender, AMeshWithoutLayersIgnoresTheOptionsOfItsDisabledCommands) {
  // Import Display Options, Set View Angles, Import PVA and Shading are not
  // offered for an empty document: no file is read, no text checked, no
  // message, and the picture is the plain one.
  TempDir dir;
  writeFileBytes(dir.path("e.s3d"), "Empty\n");
  writeFileBytes(dir.path("other.cfg"), "# no options here\n");
  writeFileBytes(dir.path("one.pva"), "1 1.0\n");
  auto render = [&](std::vector<std::string> extra) {
    std::vector<std::string> args{"render", dir.path("e.s3d"), "-o", dir.path("o.bmp"), "--size", "200x100"};
    args.insert(args.end(), extra.begin(), extra.end());
    return cli(args);
  };
  ASSERT_EQ(render({}).status, 0);
  const std::string plain = readFileBytes(dir.path("o.bmp"));
  const std::vector<std::string> cases[] = {{"--cfg", dir.path("other.cfg")},
                                            {"--cfg", dir.path("none.cfg")},
                                            {"--angles", "abc,0,0"},
                                            {"--angles", "30,20,10"},
                                            {"--shading"},
                                            {"--pva", dir.path("one.pva")},
                                            {"--pva", dir.path("one.pva"), "--colors", "3", "--shading"}};
  for (const auto& extra : cases) {
    SCOPED_TRACE(extra.front() + " " + std::to_string(extra.size()));
    const CliRun r = render(extra);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFileBytes(dir.path("o.bmp")), plain);
  }
}

TEST(CliRender, UsageErrorsAndRefusedInput) {
  TempDir dir;
  writeFileBytes(dir.path("sq.s3d"), kSquare);
  const std::string in = dir.path("sq.s3d"), out = dir.path("o.bmp");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {"no output", {"render", in}, 2},
      {"no input", {"render", "-o", out}, 2},
      {"bad size", {"render", in, "-o", out, "--size", "100"}, 2},
      {"zero size", {"render", in, "-o", out, "--size", "0x100"}, 2},
      {"bad angles", {"render", in, "-o", out, "--angles", "1,2"}, 2},
      {"layer 0", {"render", in, "-o", out, "--layer", "0"}, 2},
      {"no such layer", {"render", in, "-o", out, "--layer", "3"}, 2},
      {"unknown option", {"render", in, "-o", out, "--fast"}, 2},
      {"output type", {"render", in, "-o", dir.path("o.jpg")}, 2},
      {"missing input", {"render", dir.path("none.s3d"), "-o", out}, 1},
      {"unwritable output", {"render", in, "-o", "/nonexistent-dir/o.bmp"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun r = cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    if (c.status == 2) {
      EXPECT_NE(r.err.find("usage: kavrilon-cli render"), std::string::npos);
    }
  }
}

TEST(CliRender, UnsupportedElementsFallBackToLinesWithOneMessage) {
  TempDir dir;
  writeFileBytes(dir.path("five.s3d"),
                 "Pentagon\nFive\n1 5 0\n1 5 1 2 3 4 5\n1 0 0 0\n2 0 2 0\n3 0 3 2\n4 0 1 3\n5 0 -1 2\n");
  const CliRun lines = cli({"render", dir.path("five.s3d"), "-o", dir.path("l.bmp")});
  ASSERT_EQ(lines.status, 0);
  const CliRun shaded = cli({"render", dir.path("five.s3d"), "-o", dir.path("s.bmp"), "--shading"});
  ASSERT_EQ(shaded.status, 0);
  EXPECT_EQ(shaded.out,
            "message: ERROR\\nThe number of nodes of all the elements of\\nthe visible layers must be 0, 2, 3, 4, 6, 8 "
            "or 9.\\n\\nHINT\\nUse the LA command to turn off the visibility of\\nthe layers containing unsupported "
            "elements.\n");
  EXPECT_EQ(readFileBytes(dir.path("s.bmp")), readFileBytes(dir.path("l.bmp")));
}

// Real pixels of the paint of an empty document: the three red texts start at
// rows 50, 80 and 110 on the window, over the copied image.
TEST(CKavrilonViewPixels, EmptyDocumentTextsAtTheirRows) {
  ensureGuiApplication();
  RecordingUi ui;
  CKavrilonDoc doc;
  HeadlessViewHost host(640, 200);
  ProbedView view(doc, host);
  RasterDC window(640, 200);
  view.OnInitialUpdate(window);
  view.OnDraw(window);
  EXPECT_TRUE(ui->messages().empty());
  auto redRows = [&](int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = 0; x < 640; ++x) n += window.getPixel(x, y) == makeRgb(255, 0, 0);
    return n;
  };
  EXPECT_EQ(redRows(31, 50), 0);
  EXPECT_GT(redRows(50, 66), 0);
  EXPECT_EQ(redRows(67, 80), 0);
  EXPECT_GT(redRows(80, 96), 0);
  EXPECT_EQ(redRows(97, 110), 0);
  EXPECT_GT(redRows(110, 126), 0);
  EXPECT_EQ(redRows(127, 200), 0);
  // Left-aligned at column 20.
  int leftmost = 640;
  for (int y = 50; y < 126; ++y)
    for (int x = 0; x < 640; ++x)
      if (window.getPixel(x, y) == makeRgb(255, 0, 0)) leftmost = std::min(leftmost, x);
  EXPECT_GE(leftmost, 20);
  EXPECT_LE(leftmost, 22);
  // The texts are on the window only: the image holds the bar and frame alone.
  EXPECT_EQ(view.image()->getPixel(25, 55), makeRgb(255, 255, 255));
  EXPECT_EQ(view.image()->getPixel(320, 17), makeRgb(0, 0, 0));
}

TEST(CKavrilonViewPixels, MarkersAreCentredOnTheirPoints) {
  ensureGuiApplication();
  RecordingUi ui;
  CKavrilonDoc doc;
  doc.mesh.name = "M";
  F_S3dLayer layer;
  layer.points.append(F_Point3D(0, 0, 0));
  layer.points.append(F_Point3D(0, 10, 10));
  doc.mesh.layers.append(layer);
  doc.displayOptions.resetForMesh(1, 0, 0, 0, 4, 8, 6, 18, 3, 1);
  HeadlessViewHost host(300, 300);
  ProbedView view(doc, host);
  RasterDC window(300, 300);
  view.OnInitialUpdate(window);
  F_LayerContext& lc = view.m_options.layer(1);
  lc.displayPointMarkers = 1;
  lc.pointMarkerType = 7;  // filled square, dark green
  lc.pointMarkerSize = 9;  // covers the point's column and row - 4 .. + 3
  view.repaint();
  view.OnDraw(window);
  const F_Pixel p = view.m_screenMap.toPixel(view.m_mesh.layer(1).points(1).y, view.m_mesh.layer(1).points(1).z);
  const F_Rgb green = makeRgb(0, 128, 0);
  for (int d = -4; d <= 3; ++d) {
    SCOPED_TRACE(d);
    EXPECT_EQ(window.getPixel(p.x + d, p.y), green);
    EXPECT_EQ(window.getPixel(p.x, p.y + d), green);
  }
  EXPECT_NE(window.getPixel(p.x - 5, p.y), green);
  EXPECT_NE(window.getPixel(p.x + 4, p.y), green);
}

TEST(CliRender, OptionsThatRunCommandsAndScripts) {
  TempDir dir;
  writeFileBytes(dir.path("sq.s3d"), kSquare);
  writeFileBytes(dir.path("turn.script"), "key left shift\nprint state\n");
  writeFileBytes(dir.path("bad.script"), "key sideways\n");
  const std::string in = dir.path("sq.s3d"), out = dir.path("o.png");
  const struct {
    const char* name;
    std::vector<std::string> options;
    int status;
    const char* outFragment;  // in stdout, or in stderr for usage errors
  } cases[] = {
      {"view preset", {"--view", "xz"}, 0, ""},
      {"unknown preset", {"--view", "zz"}, 2, "--view takes xy, yz or xz"},
      {"script before the paint", {"--script", dir.path("turn.script")}, 0, "\"phi\":0.049087385212340469"},
      {"script that does not parse", {"--script", dir.path("bad.script")}, 2, "line 1"},
      {"a side too many", {"--size", "32769x1"}, 2, "beyond the largest canvas"},
      {"past 1 GiB", {"--size", "16384x8193"}, 2, "beyond the largest canvas"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"render", in, "-o", out};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliRun r = cli(args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((c.status == 2 ? r.err : r.out).find(c.outFragment), std::string::npos) << r.out << r.err;
  }
  EXPECT_TRUE(F_CanvasBound::fits(16384, 8192));
  EXPECT_FALSE(F_CanvasBound::fits(16384, 8193));
  EXPECT_TRUE(F_CanvasBound::fits(32768, 4096));
  EXPECT_FALSE(F_CanvasBound::fits(32769, 1));
}

TEST(CliRender, HelpExplainsEverySubcommand) {
  for (const char* sub : {"check", "convert", "render", "script"}) {
    SCOPED_TRACE(sub);
    const CliRun r = cli({sub, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(std::string("usage: kavrilon-cli ") + sub), std::string::npos);
  }
  const CliRun all = cli({"--help"});
  EXPECT_EQ(all.status, 0);
  EXPECT_NE(all.out.find("script IN SCRIPT"), std::string::npos);
  EXPECT_NE(cli({"render", "--help"}).out.find("-90,-90,0"), std::string::npos);
}
