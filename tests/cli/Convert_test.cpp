#include <sstream>

#include "cli/Cli.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

const char* const kMesh =
    "Two layers\n"
    "first\n 1 4 1\n 1 4 1 2 3 4\n 1 0 0 0\n 2 1 0 0\n 3 1 1 0\n 4 0 1 0\n 1 2\n"
    "second\n 0 0 0\n";

const char* const kChecked =
    "mesh \"Two layers\" layers=2 elements=1 points=4 specialNodes=1\n"
    "layer 1 \"first\" elements=1 points=4 specialNodes=1\n"
    "layer 2 \"second\" elements=0 points=0 specialNodes=0\n";

// A .cfg for `layers` layers whose first margin is 10.
std::string cfgText(int layers) {
  std::string text = "0 ; 0 ; 0 ;\n10 ; 8 ; 6 ; 18 ; 3 ; n ; " + std::to_string(layers) + " ;\n";
  for (int i = 1; i <= layers; ++i)
    text += std::to_string(i) + " y y 1 5 0 n 8 9 1 n 8 4 7 n 12 9 n 12 6 n 12 2 n 12 4 ;\n";
  return text + "END_OF_FILE\n";
}

std::string question(const std::string& cfgPath) {
  return "question: Import display options from the file:\\n" + cfgPath + "\n";
}

}  // namespace

TEST(CliConvert, S3dToB3dAndBackKeepsTheMesh) {
  TempDir dir;
  writeFileBytes(dir.path("m.s3d"), kMesh);
  CliRun toB3d = cli({"convert", dir.path("m.s3d"), dir.path("m.b3d")});
  ASSERT_EQ(toB3d.status, 0) << toB3d.out << toB3d.err;
  EXPECT_EQ(toB3d.out, "");
  CliRun checked = cli({"check", dir.path("m.b3d")});
  EXPECT_EQ(checked.status, 0);
  EXPECT_EQ(checked.out, kChecked);
  EXPECT_EQ(cli({"check", dir.path("m.s3d")}).out, kChecked);

  ASSERT_EQ(cli({"convert", dir.path("m.b3d"), dir.path("back.s3d")}).status, 0);
  ASSERT_EQ(cli({"convert", dir.path("back.s3d"), dir.path("again.s3d")}).status, 0);
  EXPECT_EQ(readFileBytes(dir.path("back.s3d")), readFileBytes(dir.path("again.s3d")));
  EXPECT_EQ(cli({"check", dir.path("back.s3d")}).out, kChecked);

  // The .b3d holds the reset options of the import: line colours 1 and 2.
  ASSERT_EQ(cli({"convert", dir.path("m.b3d"), dir.path("m-out.cfg")}).status, 0);
  const std::string cfg = readFileBytes(dir.path("m-out.cfg"));
  EXPECT_EQ(cfg.substr(0, 30), "# Kavrilon Display Options\r\n\r\n");
  EXPECT_NE(cfg.find("\r\n   2    y    y  1  2 0"), std::string::npos);
  EXPECT_EQ(cli({"check", dir.path("m-out.cfg")}).out, "options layers=2\n");
  // b3d to b3d writes the same bytes.
  ASSERT_EQ(cli({"convert", dir.path("m.b3d"), dir.path("copy.B3D")}).status, 0);
  EXPECT_EQ(readFileBytes(dir.path("copy.B3D")), readFileBytes(dir.path("m.b3d")));
}

TEST(CliConvert, CompanionCfgIsOfferedUnlessNoCfg) {
  struct Case {
    const char* name;
    int cfgLayers;
    bool noCfg;
    std::string extraOut;  // after the question, when asked
    const char* margin;    // minX1 line of the written .cfg
  } cases[] = {
      {"accepted", 2, false, "", "       10 ; # Min X1"},
      {"not offered", 2, true, "", "        4 ; # Min X1"},
      {"layer counts differ", 3, false,
       "message: ERROR\\nThe number of layers specified in the file\\nwith display options (.cfg) does not match "
       "the\\nnumber of layers of the document.\\nThe content of the .cfg file is ignored.\n",
       "        4 ; # Min X1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeFileBytes(dir.path("mesh.s3d"), kMesh);
    writeFileBytes(dir.path("mesh.cfg"), cfgText(c.cfgLayers));
    std::vector<std::string> args = {"convert", dir.path("mesh.s3d"), dir.path("out.cfg")};
    if (c.noCfg) args.push_back("--no-cfg");
    CliRun r = cli(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.noCfg ? "" : question(dir.path("mesh.cfg")) + c.extraOut);
    EXPECT_NE(readFileBytes(dir.path("out.cfg")).find(c.margin), std::string::npos);
  }
}

TEST(CliConvert, RefusedInputsExitOne) {
  TempDir dir;
  writeFileBytes(dir.path("mesh.s3d"), kMesh);
  writeFileBytes(dir.path("mesh.cfg"), "0 ; 0 ; 0 ; 0 ;");
  writeFileBytes(dir.path("cut.b3d"), "\x24kavrilon binary document version 3.0\r\n");
  writeFileBytes(dir.path("empty.s3d"), "No layers\n");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {"cut b3d", {"check", dir.path("cut.b3d")}, "message: Unexpected file format.\n"},
      {"cut b3d converted", {"convert", dir.path("cut.b3d"), dir.path("x.s3d")}, "message: Unexpected file format.\n"},
      {"bad cfg",
       {"check", dir.path("mesh.cfg")},
       "message: mesh.cfg\\n" + dir.path("mesh.cfg") +
           "\\n\\nLine n. 1\\n\\nERROR\\nMargin must be an integer in the range [1,100].\n"},
      {"bad companion",
       {"convert", dir.path("mesh.s3d"), dir.path("x.b3d")},
       question(dir.path("mesh.cfg")) + "message: mesh.cfg\\n" + dir.path("mesh.cfg") +
           "\\n\\nLine n. 1\\n\\nERROR\\nMargin must be an integer in the range [1,100].\n"},
      {"missing input",
       {"convert", dir.path("none.b3d"), dir.path("x.b3d")},
       "message: Unexpected file format.\n"},
      {"unwritable output",
       {"convert", dir.path("mesh.s3d"), dir.path("no/x.b3d"), "--no-cfg"},
       "message: Failed to save document.\n"},
      {"no layers to write as cfg", {"convert", dir.path("empty.s3d"), dir.path("x.cfg")}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRun r = cli(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.out);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path("x.b3d")));
  EXPECT_FALSE(std::filesystem::exists(dir.path("x.cfg")));
}

TEST(CliConvert, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  writeFileBytes(dir.path("mesh.s3d"), kMesh);
  std::filesystem::create_directory(dir.path("out.b3d"));
  CliRun r = cli({"convert", dir.path("mesh.s3d"), dir.path("out.b3d"), "--no-cfg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path("out.b3d")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 2);
}

TEST(CliConvert, UsageErrorsExitTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"convert", "a.s3d"},
           {"convert", "a.pva", "b.b3d"},
           {"convert", "a.s3d", "b.bmp"},
           {"convert", "a.s3d", "b.b3d", "--cfg"},
           {"check", "a.txt"},
       }) {
    SCOPED_TRACE(args[1]);
    CliRun r = cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: kavrilon-cli"), std::string::npos);
  }
}

TEST(CliConvert, SampleDocumentsMatchTheirMeshesAndOptions) {
  const std::string examples = std::string(KAVRILON_SOURCE_DIR) + "/examples/";
  TempDir dir;
  for (const char* name : {"plate", "layers", "dome"}) {
    SCOPED_TRACE(name);
    CliRun fromB3d = cli({"check", examples + name + ".b3d"});
    EXPECT_EQ(fromB3d.status, 0);
    EXPECT_EQ(fromB3d.out, cli({"check", examples + name + ".s3d"}).out);
    // The stored document is what converting the sample gives today.
    const std::string again = dir.path(std::string(name) + ".b3d");
    ASSERT_EQ(cli({"convert", examples + name + ".s3d", again}).status, 0);
    EXPECT_EQ(readFileBytes(again), readFileBytes(examples + name + ".b3d"));
  }
  // layers.b3d carries the options of layers.cfg.
  ASSERT_EQ(cli({"convert", examples + "layers.b3d", dir.path("layers.cfg")}).status, 0);
  EXPECT_EQ(readFileBytes(dir.path("layers.cfg")), readFileBytes(examples + "layers.cfg"));
}
