// Hostile inputs through the built program: each must end promptly with the
// right exit status and message, within a memory ceiling of ten times its
// input plus the program's fixed 50 MB, and a picture that is made must show
// the mesh. Every file is built here from the samples.

#include <sys/stat.h>

#include <gmock/gmock.h>

#include <QImage>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/CliRun.h"
#include "support/TestSupport.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KAVRILON_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KAVRILON_SANITIZED 1
#endif

namespace {

const std::string kExamples = KAVRILON_SOURCE_DIR "/examples/";

// `bytes` with the first 8 bytes equal to `from` replaced by `to`.
std::string patchReal(std::string bytes, double from, double to) {
  char a[8], b[8];
  std::memcpy(a, &from, 8);
  std::memcpy(b, &to, 8);
  const auto at = bytes.find(std::string(a, 8));
  EXPECT_NE(at, std::string::npos);
  if (at != std::string::npos) bytes.replace(at, 8, std::string(b, 8));
  return bytes;
}

// Non-white pixels in the middle half of the rows, away from the side frame:
// the edges of a mesh that fills the canvas cross it, an empty picture has none.
int drawnPixels(const std::string& path) {
  const QImage image(QString::fromStdString(path));
  int n = 0;
  for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y) {
    for (int x = 10; x < image.width() - 10; ++x) n += (image.pixel(x, y) & 0xffffffu) != 0xffffffu;
  }
  return n;
}

TEST(Hostile, EveryFileEndsPromptlyWithItsStatusMessageAndBoundedMemory) {
  TempDir dir;
  auto at = [&](const std::string& name) { return dir.path(name); };
  const std::string plateB3d = readFileBytes(kExamples + "plate.b3d");
  // Point 2 of the plate lies at x = 20, point 3 at x = 40.
  writeFileBytes(at("nan.b3d"), patchReal(plateB3d, 20.0, std::nan("")));
  writeFileBytes(at("inf.b3d"), patchReal(plateB3d, 40.0, -HUGE_VAL));
  writeFileBytes(at("plate.s3d"), readFileBytes(kExamples + "plate.s3d"));
  for (const char* fifo : {"fifo.s3d", "fifo.b3d", "fifo.cfg", "fifo.pva", "fifo.txt", "companion.cfg"}) {
    ASSERT_EQ(mkfifo(at(fifo).c_str(), 0600), 0);
  }
  writeFileBytes(at("companion.s3d"), readFileBytes(kExamples + "plate.s3d"));
  std::filesystem::create_directory(at("folder.s3d"));
  std::filesystem::create_symlink("/dev/zero", at("zero.b3d"));
  // A million empty layers, 8 bytes each: the ceiling leaves about 80 bytes
  // of memory for each, in the document and in a view together.
  std::string empty = "Empty layers\n";
  for (int i = 0; i < 1000000; ++i) empty += "L\n0 0 0\n";
  writeFileBytes(at("empty.s3d"), empty);
  ASSERT_EQ(cli({"convert", at("empty.s3d"), at("empty.b3d")}).status, 0);
  // A square over the whole range of the reals, seen face on.
  writeFileBytes(at("huge.s3d"),
                 "Huge\nSkin\n1 4 0\n1 5 1 2 3 4 1\n"
                 "1 0 -1e308 -1e308\n2 0 1e308 -1e308\n3 0 1e308 1e308\n4 0 -1e308 1e308\n");
  writeFileBytes(at("far.s3d"), "Far\nSkin\n1 4 0\n1 5 1 2 3 4 1\n"
                                "1 1e308 1e308 1e308\n2 1e308 1.7e308 1e308\n3 1e308 1.7e308 1.7e308\n"
                                "4 1e308 1e308 1.7e308\n");

  const std::string notFound = "ERROR\\nFile not found.";
  const std::string unexpected = "message: Unexpected file format.\n";
  const struct {
    std::vector<std::string> args;  // "@name": a file of the temporary folder
    int status;
    std::string out;  // a part of stdout; "" for none at all
    std::string input;  // its size sets the memory ceiling
    bool drawn;  // the picture written to @out.bmp shows the mesh
  } rows[] = {
      {{"check", "@nan.b3d"}, 1, unexpected, "nan.b3d", false},
      {{"check", "@inf.b3d"}, 1, unexpected, "inf.b3d", false},
      {{"convert", "@nan.b3d", "@out.s3d"}, 1, unexpected, "nan.b3d", false},
      {{"render", "@nan.b3d", "-o", "@out.bmp"}, 1, unexpected, "nan.b3d", false},
      {{"check", "@fifo.s3d"}, 1, notFound, "", false},
      {{"check", "@fifo.b3d"}, 1, unexpected, "", false},
      {{"check", "@fifo.cfg"}, 1, notFound, "", false},
      {{"check", "@fifo.pva"}, 1, notFound, "", false},
      {{"check", "@folder.s3d"}, 1, notFound, "", false},
      {{"check", "@zero.b3d"}, 1, unexpected, "", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--cfg", "@fifo.cfg"}, 1, notFound, "plate.s3d", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--pva", "@fifo.pva"}, 1, notFound, "plate.s3d", false},
      {{"script", "@plate.s3d", "@fifo.txt"}, 2, "", "plate.s3d", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--script", "@fifo.txt"}, 2, "", "plate.s3d", false},
      // The companion is no file to offer: no question, no wait.
      {{"convert", "@companion.s3d", "@out.b3d"}, 0, "", "companion.s3d", false},
      {{"check", "@empty.s3d"}, 0, "mesh \"Empty layers\" layers=1000000 ", "empty.s3d", false},
      {{"check", "@empty.b3d"}, 0, "mesh \"Empty layers\" layers=1000000 ", "empty.b3d", false},
      {{"convert", "@empty.s3d", "@out.s3d"}, 0, "", "empty.s3d", false},
      {{"convert", "@empty.s3d", "@out.b3d"}, 0, "", "empty.s3d", false},
      {{"convert", "@empty.b3d", "@out.s3d"}, 0, "", "empty.b3d", false},
      {{"render", "@empty.s3d", "-o", "@out.bmp"}, 0, "", "empty.s3d", false},
      {{"render", "@empty.b3d", "-o", "@out.bmp"}, 0, "", "empty.b3d", false},
      {{"render", "@huge.s3d", "-o", "@out.bmp"}, 0, "", "huge.s3d", true},
      {{"render", "@huge.s3d", "-o", "@out.bmp", "--shading"}, 0, "", "huge.s3d", true},
      {{"render", "@far.s3d", "-o", "@out.bmp", "--angles", "30,20,10"}, 0, "", "far.s3d", true},
      {{"check", "@huge.s3d"}, 0, "points=4 ", "huge.s3d", false},
      // The canvas bound: each side up to 32768, image and depth within 1 GiB.
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--size", "32768x2"}, 0, "", "plate.s3d", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--size", "2x32768"}, 0, "", "plate.s3d", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--size", "32769x2"}, 2, "", "plate.s3d", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--size", "2x32769"}, 2, "", "plate.s3d", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--size", "32768x4097"}, 2, "", "plate.s3d", false},
      {{"render", "@plate.s3d", "-o", "@out.bmp", "--size", "2147483647x1"}, 2, "", "plate.s3d", false},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args;
    std::string line;
    for (const auto& a : row.args) {
      args.push_back(a[0] == '@' ? at(a.substr(1)) : a);
      line += a + " ";
    }
    SCOPED_TRACE(line);
    std::filesystem::remove(at("out.bmp"));
    const MeasuredRun run = measuredProgram(args);
    EXPECT_EQ(run.status, row.status);
    if (row.out.empty()) {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_THAT(run.out, ::testing::HasSubstr(row.out));
    }
    if (row.drawn) {
      EXPECT_GT(drawnPixels(at("out.bmp")), 0);
    }
#ifndef KAVRILON_SANITIZED
    // The sanitizers' shadow memory would swamp the ceiling.
    constexpr long kFixedKb = 50 * 1024;
    const long inputKb = row.input.empty() ? 0 : static_cast<long>(std::filesystem::file_size(at(row.input)) / 1024);
    EXPECT_LE(run.peakKb, 10 * inputKb + kFixedKb);
#endif
  }
}

}  // namespace
