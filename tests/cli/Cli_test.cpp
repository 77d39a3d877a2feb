#include "cli/Cli.h"

#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

const char* const kTwoLayers =
    "Bracket  # a title\n"
    "Web\n"
    "2 4 1\n"
    "1 3 1 2 3\n2 3 1 3 4\n"
    "1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n"
    "1 4\n"
    "Flange rods\n"
    "1 2 0\n"
    "1 2 1 2\n"
    "1 0 0 1\n2 1 0 1\n";

const char* const kTwoLayersCheck =
    "mesh \"Bracket\" layers=2 elements=3 points=6 specialNodes=1\n"
    "layer 1 \"Web\" elements=2 points=4 specialNodes=1\n"
    "layer 2 \"Flange rods\" elements=1 points=2 specialNodes=0\n";

}  // namespace

TEST(CliCheck, PrintsTheMeshAndEachLayer) {
  TempDir dir;
  const std::string path = dir.path("bracket.s3d");
  writeFileBytes(path, kTwoLayers);
  CliRun r = cli({"check", path});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kTwoLayersCheck);
  EXPECT_EQ(r.err, "");

  writeFileBytes(dir.path("bare.S3D"), "Nothing but a title\n");
  r = cli({"check", dir.path("bare.S3D")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "mesh \"Nothing but a title\" layers=0 elements=0 points=0 specialNodes=0\n");
}

TEST(CliCheck, PrintsTheReadErrorAsOneMessageLine) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string file;  // written unless empty
    std::string out;
  } cases[] = {
      {"bad special node", "M\nL\n0 1 1\n1 0 0 0\n1 2\n",
       "message: broken.s3d\\n" + dir.path("broken.s3d") +
           "\\n\\nLine n. 5\\n\\nERROR\\nSpecial node number cannot exceed the number of points.\n"},
      {"end of file", "M\nL\n0 0 0\n\n",
       "message: broken.s3d\\n" + dir.path("broken.s3d") + "\\n\\nERROR\\nUnexpected end of file.\n"},
      {"backslash in a word", "M\nL\n0 1 0\n1 0 a\\b 0\n",
       "message: broken.s3d\\n" + dir.path("broken.s3d") + "\\n\\nLine n. 4\\n\\nERROR\\nInvalid real number.\\na <?> \\\\b\n"},
      {"missing file", "",
       "message: broken.s3d\\n" + dir.path("broken.s3d") + "\\n\\nERROR\\nFile not found.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.path("broken.s3d"));
    if (!c.file.empty()) writeFileBytes(dir.path("broken.s3d"), c.file);
    CliRun r = cli({"check", dir.path("broken.s3d")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.out);
  }
}

TEST(CliCheck, RelativePathsAreShownAbsolute) {
  TempDir dir;
  writeFileBytes(dir.path("rel.s3d"), "M");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.dir());
  CliRun r = cli({"check", "rel.s3d"});
  std::filesystem::current_path(previous);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "message: rel.s3d\\n" + dir.path("rel.s3d") + "\\n\\nERROR\\nUnexpected end of file.\n");
}

TEST(Cli, UsageErrorsExitWithTwo) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"nothing", {}},
      {"unknown subcommand", {"frobnicate", "a.s3d"}},
      {"check without a file", {"check"}},
      {"check with two files", {"check", "a.s3d", "b.s3d"}},
      {"convert with one file", {"convert", "a.s3d"}},
      {"convert with an unknown option", {"convert", "a.s3d", "b.s3d", "--fast"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRun r = cli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
  }
}

TEST(CliConvert, WritesTheCanonicalText) {
  TempDir dir;
  writeFileBytes(dir.path("in.s3d"), kTwoLayers);
  CliRun r = cli({"convert", dir.path("in.s3d"), dir.path("out.s3d"), "--no-cfg"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  const std::string bytes = readFileBytes(dir.path("out.s3d"));
  EXPECT_EQ(bytes.substr(0, 56),
            "Bracket\r\n"
            "Web\r\n"
            "        2         4         1 \r\n"
            "        1 ");
  // Converting the output again changes nothing, and it checks the same.
  r = cli({"convert", dir.path("out.s3d"), dir.path("again.s3d"), "--no-cfg"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFileBytes(dir.path("again.s3d")), bytes);
  EXPECT_EQ(cli({"check", dir.path("again.s3d")}).out, kTwoLayersCheck);
}

TEST(CliConvert, RefusedInputWritesNothing) {
  TempDir dir;
  writeFileBytes(dir.path("in.s3d"), "M\nL\n-1 0 0\n");
  CliRun r = cli({"convert", dir.path("in.s3d"), dir.path("out.s3d"), "--no-cfg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "message: in.s3d\\n" + dir.path("in.s3d") + "\\n\\nLine n. 3\\n\\nERROR\\nNegative number of elements.\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path("out.s3d")));
}

TEST(CliConvert, UnwritableOutputIsReported) {
  TempDir dir;
  writeFileBytes(dir.path("in.s3d"), kTwoLayers);
  const std::string out = dir.path("no/such/folder/out.s3d");
  CliRun r = cli({"convert", dir.path("in.s3d"), out, "--no-cfg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "message: out.s3d\\n" + out + "\\n\\nERROR\\nUnable to open output file.\\nNo write permission.\n");
}

TEST(CliProgram, ExitCodesAndOutputOfTheBuiltBinary) {
  TempDir dir;
  writeFileBytes(dir.path("ok.s3d"), kTwoLayers);
  writeFileBytes(dir.path("bad.s3d"), "M\nL\n0 0 0");
  CliRun ok = program("check '" + dir.path("ok.s3d") + "'");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, kTwoLayersCheck);
  CliRun bad = program("check '" + dir.path("bad.s3d") + "'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "message: bad.s3d\\n" + dir.path("bad.s3d") + "\\n\\nERROR\\nUnexpected end of file.\n");
  EXPECT_EQ(program("").status, 2);
  EXPECT_EQ(program("convert '" + dir.path("ok.s3d") + "' '" + dir.path("copy.s3d") + "'").status, 0);
  EXPECT_EQ(program("check '" + dir.path("copy.s3d") + "'").out, kTwoLayersCheck);
}

TEST(CliProgram, ExamplesAreCanonicalAndValid) {
  // The sample meshes are stored exactly as the program writes them.
  TempDir dir;
  for (const char* name : {"plate.s3d", "layers.s3d", "dome.s3d"}) {
    SCOPED_TRACE(name);
    const std::string path = std::string(KAVRILON_SOURCE_DIR) + "/examples/" + name;
    ASSERT_TRUE(std::filesystem::exists(path));
    CliRun r = cli({"check", path});
    EXPECT_EQ(r.status, 0) << r.out;
    r = cli({"convert", path, dir.path(name), "--no-cfg"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFileBytes(dir.path(name)), readFileBytes(path));
  }
}
