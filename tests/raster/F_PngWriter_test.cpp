// The PNG writer is checked by decoding its files with Qt's reader: every
// pixel must come back, whatever the number of parts the rows were cut into.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QByteArray>
#include <QImage>

#include "common/F_PngWriter.h"

namespace {

// Runs of one colour (as a view has) broken by a few pixels of scattered
// colours, so that both the zeros of the filter and its differences show.
F_Rgb patternAt(int x, int y) {
  if ((x / 7 + y / 5) % 3 != 0) return 0xffffffffu;
  const unsigned v = static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u;
  return 0xff000000u | (v & 0xffffffu);
}

struct Case {
  int width, height, stride, threads;
  int parts;  // how many the rows are cut into
};

class PngWriterTest : public ::testing::TestWithParam<Case> {};

TEST_P(PngWriterTest, EveryPixelComesBack) {
  const Case c = GetParam();
  std::vector<F_Rgb> pixels(static_cast<std::size_t>(c.stride) * c.height, 0x12345678u);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) pixels[static_cast<std::size_t>(y) * c.stride + x] = patternAt(x, y);
  EXPECT_EQ(F_PngWriter::parts(c.width, c.height, c.threads), c.parts);
  std::string bytes;
  ASSERT_TRUE(F_PngWriter::encode({pixels.data(), c.width, c.height, c.stride}, bytes, c.threads));
  const QImage image = QImage::fromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), "PNG");
  ASSERT_FALSE(image.isNull());
  ASSERT_EQ(image.width(), c.width);
  ASSERT_EQ(image.height(), c.height);
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  int wrong = 0;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      if ((rgb.pixel(x, y) & 0xffffffu) != (patternAt(x, y) & 0xffffffu)) ++wrong;
  EXPECT_EQ(wrong, 0);
}

constexpr int kOnePart = static_cast<int>(F_PngWriter::kPixelsPerThread);

INSTANTIATE_TEST_SUITE_P(
    Sizes, PngWriterTest,
    ::testing::Values(Case{1, 1, 1, 1, 1}, Case{3, 2, 5, 7, 1},
                      // Two parts start exactly at twice the pixels of one.
                      Case{1024, 2 * kOnePart / 1024 - 1, 1024, 2, 1}, Case{1024, 2 * kOnePart / 1024, 1024, 2, 2},
                      Case{1024, 2 * kOnePart / 1024, 1030, 7, 2},
                      // Never more parts than rows, nor than threads.
                      Case{3 * kOnePart / 2, 2, 3 * kOnePart / 2, 7, 2}, Case{1920, 1080, 1920, 3, 3},
                      Case{1920, 1080, 1920, 1, 1}));

TEST(PngWriter, AnEmptyPictureIsRefused) {
  std::string bytes;
  F_Rgb pixel = 0;
  EXPECT_FALSE(F_PngWriter::encode({nullptr, 4, 4, 4}, bytes, 1));
  EXPECT_FALSE(F_PngWriter::encode({&pixel, 0, 1, 1}, bytes, 1));
  EXPECT_FALSE(F_PngWriter::encode({&pixel, 1, 0, 1}, bytes, 1));
}

}  // namespace
