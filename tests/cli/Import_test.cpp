// kavrilon-cli on the meshes of other programs: check, convert (to .s3d and
// the node data to .pva) and render --field.

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

std::string fixture(const std::string& name) {
  return std::string(KAVRILON_SOURCE_DIR) + "/tests/import/data/" + name;
}

}  // namespace

TEST(CliImport, CheckPrintsTheLayersOfEachFormat) {
  const std::string layers =
      " layers=3 elements=112 points=124 specialNodes=1\n"
      "layer 1 \"origin\" elements=0 points=1 specialNodes=1\n"
      "layer 2 \"bottom\" elements=16 points=25 specialNodes=0\n"
      "layer 3 \"cube\" elements=96 points=98 specialNodes=0\n";
  const CliRun r = cli({"check", fixture("cube-hex-2.2-bin.msh")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "mesh \"cube-hex-2.2-bin.msh\"" + layers);
  for (const char* file : {"cube-hex-raw-zlib.vtu", "cube-hex-binary.vtk", "cube-deck.inp"}) {
    SCOPED_TRACE(file);
    const CliRun other = cli({"check", fixture(file)});
    EXPECT_EQ(other.status, 0) << other.out;
    EXPECT_NE(other.out.find("mesh \"" + std::string(file) + "\" layers="), std::string::npos) << other.out;
  }
}

TEST(CliImport, ConvertWritesTheMeshAndALayersNodeData) {
  TempDir dir;
  const std::string vtk = fixture("cube-hex-binary-5.1.vtk");
  ASSERT_EQ(cli({"convert", vtk, dir.path("c.s3d")}).status, 0);
  EXPECT_EQ(cli({"check", dir.path("c.s3d")}).out.substr(0, 58), "mesh \"cube-hex-binary-5.1.vtk\" layers=3 elements=112 point");
  // Layer 1 is region 1, the hexahedra's skin over 98 points; x + 2y + 3z runs from 0 to 6.
  CliRun r = cli({"convert", vtk, dir.path("t.pva"), "--layer", "1", "--field", "temperature"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(cli({"check", dir.path("t.pva")}).out, "values=98 min=0 max=6\n");
  // Without --field: the file's first node data.
  ASSERT_EQ(cli({"convert", vtk, dir.path("first.pva"), "--layer", "1"}).status, 0);
  EXPECT_EQ(readFileBytes(dir.path("first.pva")), readFileBytes(dir.path("t.pva")));
  r = cli({"convert", vtk, dir.path("d.pva"), "--layer", "2", "--field", "displacement"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(cli({"check", dir.path("d.pva")}).out.substr(0, 16), "values=25 min=0 ");
}

TEST(CliImport, ConvertToPvaRefusals) {
  TempDir dir;
  const std::string vtk = fixture("cube-hex-ascii.vtk");
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;
  } rows[] = {
      {"no layer", {"convert", vtk, dir.path("o.pva")}, 2, ""},
      {"layer 0", {"convert", vtk, dir.path("o.pva"), "--layer", "0"}, 2, ""},
      {"no such layer", {"convert", vtk, dir.path("o.pva"), "--layer", "4"}, 2, ""},
      {"no such field", {"convert", vtk, dir.path("o.pva"), "--layer", "1", "--field", "p"}, 1,
       "message: ERROR\\nThe file holds no node data named \"p\".\n"},
      {"no node data at all", {"convert", fixture("cube-hex-4.1-ascii.msh"), dir.path("o.pva"), "--layer", "1"}, 1,
       "message: ERROR\\nThe file holds no node data.\n"},
      {"from an .s3d", {"convert", std::string(KAVRILON_SOURCE_DIR) + "/examples/plate.s3d", dir.path("o.pva"),
                        "--layer", "1"}, 2, ""},
      {"layer for another output", {"convert", vtk, dir.path("o.s3d"), "--layer", "1"}, 2, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const CliRun r = cli(row.args);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_FALSE(std::filesystem::exists(dir.path("o.pva")));
  }
}

TEST(CliImport, RenderShowsNodeDataAsTheLayersField) {
  TempDir dir;
  const std::string vtu = fixture("cube-hex-zlib.vtu");
  const CliRun plain = cli({"render", vtu, "-o", dir.path("plain.bmp"), "--size", "200x150"});
  ASSERT_EQ(plain.status, 0) << plain.out << plain.err;
  const CliRun field = cli({"render", vtu, "-o", dir.path("field.bmp"), "--size", "200x150", "--field", "temperature"});
  ASSERT_EQ(field.status, 0) << field.out << field.err;
  EXPECT_EQ(field.out, "");
  EXPECT_NE(readFileBytes(dir.path("field.bmp")), readFileBytes(dir.path("plain.bmp")));
  // The same values through a .pva give the same picture.
  ASSERT_EQ(cli({"convert", vtu, dir.path("t.pva"), "--layer", "1", "--field", "temperature"}).status, 0);
  ASSERT_EQ(cli({"render", vtu, "-o", dir.path("pva.bmp"), "--size", "200x150", "--pva", dir.path("t.pva")}).status, 0);
  EXPECT_EQ(readFileBytes(dir.path("field.bmp")), readFileBytes(dir.path("pva.bmp")));

  const CliRun missing = cli({"render", vtu, "-o", dir.path("m.bmp"), "--field", "nope"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "message: ERROR\\nThe file holds no node data named \"nope\".\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path("m.bmp")));
}

TEST(CliImport, AFileThatCannotBeReadIsRefused) {
  TempDir dir;
  writeFileBytes(dir.path("bad.inp"), "*NODE\n1, 0, 0, 0\n*ELEMENT, TYPE=S3\n1, 1, 2, 3\n");
  const CliRun r = cli({"check", dir.path("bad.inp")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "message: bad.inp\\n" + dir.path("bad.inp") +
                       "\\n\\nLine n. 4\\n\\nERROR\\nElement 1 refers to node 2, which the file does not define.\n");
}
