#include "common/F_BmpWriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::uint32_t u32(const std::string& b, int at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[static_cast<std::size_t>(at + i)]);
  return v;
}
int u16(const std::string& b, int at) {
  return static_cast<unsigned char>(b[static_cast<std::size_t>(at)]) |
         (static_cast<unsigned char>(b[static_cast<std::size_t>(at + 1)]) << 8);
}

// A w x h image whose pixel (x, y) has red x, green y and blue 7.
struct TestImage {
  TestImage(int w, int h) : pixels(static_cast<std::size_t>(w * h)), surface{nullptr, w, h, w} {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) pixels[static_cast<std::size_t>(y * w + x)] = makeRgb(x, y, 7);
    surface.bits = pixels.data();
  }
  std::vector<F_Rgb> pixels;
  PixelSurface surface;
};

std::string bmpOf(const PixelSurface& s) {
  auto file = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
  EXPECT_TRUE(F_BmpWriter::write(*file, s));
  EXPECT_TRUE(file->close());
  return file->bytes();
}

}  // namespace

TEST(F_BmpWriter, RowsArePaddedToFourBytes) {
  struct Case {
    int w;
    int row;
  };
  for (Case c : {Case{1, 4}, Case{2, 8}, Case{3, 12}, Case{4, 12}, Case{5, 16}, Case{1920, 5760}}) {
    SCOPED_TRACE(c.w);
    EXPECT_EQ(F_BmpWriter::rowSize(c.w), c.row);
    TestImage image(c.w, 2);
    EXPECT_EQ(bmpOf(image.surface).size(), static_cast<std::size_t>(54 + 2 * c.row));
  }
}

TEST(F_BmpWriter, HeaderFieldsOfATenByFiveImage) {
  TestImage image(10, 5);
  const std::string b = bmpOf(image.surface);
  ASSERT_EQ(b.size(), 214u);  // 54 + 32 x 5
  EXPECT_EQ(b.substr(0, 2), "BM");
  const struct {
    const char* name;
    int at;
    std::uint32_t value;
  } fields[] = {{"file size", 2, 214},  {"reserved", 6, 0},   {"data offset", 10, 54}, {"info size", 14, 40},
                {"width", 18, 10},      {"height", 22, 5},    {"compression", 30, 0},  {"data size", 34, 160},
                {"x per metre", 38, 2834}, {"y per metre", 42, 2834}, {"colours", 46, 0}, {"important", 50, 0}};
  for (const auto& f : fields) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(u32(b, f.at), f.value);
  }
  EXPECT_EQ(u16(b, 26), 1);
  EXPECT_EQ(u16(b, 28), 24);
}

TEST(F_BmpWriter, BottomRowFirstBlueGreenRedThenZeroPadding) {
  TestImage image(3, 4);  // 9 colour bytes and 3 padding bytes per row
  const std::string b = bmpOf(image.surface);
  for (int stored = 0; stored < 4; ++stored) {
    const int y = 3 - stored;  // the first stored row is the bottom one
    const std::size_t row = 54 + static_cast<std::size_t>(stored) * 12;
    for (int x = 0; x < 3; ++x) {
      SCOPED_TRACE(testing::Message() << "x=" << x << " y=" << y);
      EXPECT_EQ(static_cast<unsigned char>(b[row + 3 * x]), 7);      // blue
      EXPECT_EQ(static_cast<unsigned char>(b[row + 3 * x + 1]), y);  // green
      EXPECT_EQ(static_cast<unsigned char>(b[row + 3 * x + 2]), x);  // red
    }
    EXPECT_EQ(b.substr(row + 9, 3), std::string(3, '\0'));
  }
}

TEST(F_BmpWriter, RespectsTheStrideOfALargerImage) {
  TestImage image(6, 3);
  PixelSurface part{image.pixels.data(), 2, 2, 6};  // the top-left 2 x 2
  const std::string b = bmpOf(part);
  ASSERT_EQ(b.size(), 54u + 2 * 8);
  EXPECT_EQ(static_cast<unsigned char>(b[54 + 1]), 1);       // bottom row is y = 1
  EXPECT_EQ(static_cast<unsigned char>(b[54 + 8 + 3 + 2]), 1);  // top row, x = 1
}

TEST(F_BmpWriter, ReportsAFailedWrite) {
  auto file = F_OutputFile::create("/dev/full", F_OutputFile::Mode::Binary);
  if (!file) GTEST_SKIP() << "no /dev/full";
  TestImage image(1000, 50);
  EXPECT_FALSE(F_BmpWriter::write(*file, image.surface) && file->close());
}
