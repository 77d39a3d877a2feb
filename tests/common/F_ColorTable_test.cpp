#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "common/F_ColorTable.h"
#include "platform/headless/HeadlessUi.h"

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

Rgb rgbOf(F_Rgb c) { return {redOf(c), greenOf(c), blueOf(c)}; }

std::vector<Rgb> rainbow(const F_ColorTable& table) {
  std::vector<Rgb> out;
  for (int i = 1; i <= table.numberOfRainbowColors(); ++i) out.push_back(rgbOf(table.colors()(1000 + i)));
  return out;
}

F_ColorTable built(int n) {
  F_ColorTable t;
  t.build(n);
  return t;
}

const Rgb DB{0, 0, 128}, B2{0, 0, 192}, B{0, 0, 255}, A1{0, 128, 255}, A2{0, 192, 255}, Cy{0, 255, 255},
    CG1{0, 255, 192}, CG2{0, 255, 128}, G{0, 255, 0}, GY{192, 255, 0}, Y{255, 255, 0}, O1{255, 192, 0},
    O2{255, 128, 0}, R{255, 0, 0};

}  // namespace

TEST(F_ColorTable, BasicColoursInTheTableAndInTheConstantList) {
  const F_ColorTable t = built(14);
  ASSERT_EQ(t.colors().size(), 32000);
  const Rgb expected[17] = {{255, 255, 255}, {0, 0, 0},     {255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                            {0, 255, 255},   {255, 0, 255}, {255, 255, 0}, {128, 0, 0},   {0, 128, 0},
                            {0, 0, 128},     {0, 128, 128}, {128, 0, 128}, {128, 128, 0}, {128, 128, 128},
                            {192, 192, 192}, {255, 255, 255}};
  for (int i = 0; i <= 16; ++i) {
    SCOPED_TRACE(std::string("colour ") + std::to_string(i) + " " + basicColorName(i));
    EXPECT_EQ(rgbOf(basicColors[static_cast<std::size_t>(i)]), expected[i]);
    if (i >= 1) {
      EXPECT_EQ(rgbOf(t.colors()(i)), expected[i]);
    }
  }
  EXPECT_STREQ(basicColorName(14), "Dark Gray");
  EXPECT_EQ(t.colors()(17), 0u) << "unused entries stay 0";
  EXPECT_EQ(t.colors()(1000), 0u);
  EXPECT_EQ(t.colors()(1015), 0u);
  EXPECT_EQ(t.colors()(4000), 0u);
}

TEST(F_ColorTable, FixedScalesUpToFourteenColours) {
  const struct {
    int n;
    std::vector<Rgb> list;
  } cases[] = {
      {2, {DB, R}},
      {3, {DB, G, R}},
      {4, {DB, G, Y, R}},
      {5, {DB, A1, G, Y, R}},
      {6, {DB, A1, G, Y, O1, R}},
      {7, {DB, A1, Cy, G, Y, O1, R}},
      {8, {DB, A1, Cy, G, Y, O1, O2, R}},
      {9, {DB, B, A1, Cy, G, Y, O1, O2, R}},
      {10, {DB, B, A1, A2, Cy, G, Y, O1, O2, R}},
      {11, {DB, B2, B, A1, A2, Cy, G, Y, O1, O2, R}},
      {12, {DB, B2, B, A1, A2, Cy, G, GY, Y, O1, O2, R}},
      {13, {DB, B2, B, A1, A2, Cy, CG1, G, GY, Y, O1, O2, R}},
      {14, {DB, B2, B, A1, A2, Cy, CG1, CG2, G, GY, Y, O1, O2, R}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("n = " + std::to_string(c.n));
    const F_ColorTable t = built(c.n);
    EXPECT_EQ(t.numberOfRainbowColors(), c.n);
    EXPECT_EQ(rainbow(t), c.list);
  }
}

TEST(F_ColorTable, FifteenColoursComeFromTheFiveSegments) {
  // Segments of 2, 2, 2, 3 and 6 colours.
  const std::vector<Rgb> expected = {{0, 0, 191},   {0, 0, 255},   {0, 127, 255}, {0, 255, 255}, {0, 255, 128},
                                     {0, 255, 0},   {85, 255, 0},  {170, 255, 0}, {255, 255, 0}, {255, 213, 0},
                                     {255, 170, 0}, {255, 128, 0}, {255, 85, 0},  {255, 43, 0},  {255, 0, 0}};
  EXPECT_EQ(rainbow(built(15)), expected);
}

TEST(F_ColorTable, ThreeThousandColoursEndEachSegmentOnItsPureColour) {
  const F_ColorTable t = built(3000);
  const auto at = [&](int k) { return rgbOf(t.colors()(1000 + k)); };
  // Segments of 450, 450, 450, 750 and 900 colours.
  EXPECT_EQ(at(1), (Rgb{0, 0, 127}));
  EXPECT_EQ(at(450), B);
  EXPECT_EQ(at(451), (Rgb{0, 0, 255}));
  EXPECT_EQ(at(900), Cy);
  EXPECT_EQ(at(1350), G);
  EXPECT_EQ(at(2100), Y);
  EXPECT_EQ(at(3000), R);
  // Along the scale no channel ever jumps by more than two levels.
  for (int k = 2; k <= 3000; ++k) {
    const Rgb a = at(k - 1), b = at(k);
    ASSERT_LE(std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b), 2) << "at " << k;
  }
  for (int n : {16, 99, 100, 101, 333, 2999}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    EXPECT_EQ(rgbOf(built(n).colors()(1000 + n)), R);
  }
}

TEST(F_ColorTable, RebuildingKeepsEntriesBeyondTheNewScale) {
  F_ColorTable t;
  t.build(100);
  const F_Rgb old1050 = t.colors()(1050), old1100 = t.colors()(1100);
  t.build(14);
  EXPECT_EQ(t.numberOfRainbowColors(), 14);
  EXPECT_EQ(rgbOf(t.colors()(1014)), R);
  EXPECT_EQ(t.colors()(1050), old1050);
  EXPECT_EQ(t.colors()(1100), old1100);
  EXPECT_NE(old1100, 0u);
}

TEST(F_ColorTable, ShadingRampsRunFromBlackToTheFullColour) {
  const F_ColorTable t = built(14);
  const struct {
    const char* name;
    int start;
    Rgb full;
  } ramps[] = {
      {"red", 4001, {255, 0, 0}},      {"green", 8001, {0, 255, 0}},      {"blue", 12001, {0, 0, 255}},
      {"cyan", 16001, {0, 255, 255}},  {"magenta", 20001, {255, 0, 255}}, {"yellow", 24001, {255, 255, 0}},
      {"grey", 28001, {255, 255, 255}},
  };
  for (const auto& ramp : ramps) {
    SCOPED_TRACE(ramp.name);
    for (int k = 1; k <= 15; ++k) EXPECT_EQ(rgbOf(t.colors()(ramp.start + k - 1)), (Rgb{0, 0, 0}));
    EXPECT_EQ(rgbOf(t.colors()(ramp.start + 3999)), ramp.full);
    // Entry 16 is level 1, entry 2000 level 127 (2000 x 0.06375 = 127.5).
    const Rgb l1 = rgbOf(t.colors()(ramp.start + 15)), l127 = rgbOf(t.colors()(ramp.start + 1999));
    EXPECT_EQ(l1.r + l1.g + l1.b, (ramp.full.r + ramp.full.g + ramp.full.b) / 255);
    EXPECT_EQ(l127.r + l127.g + l127.b, 127 * (ramp.full.r + ramp.full.g + ramp.full.b) / 255);
  }
  EXPECT_EQ(rgbOf(t.colors()(32000)), (Rgb{255, 255, 255}));
}

TEST(F_ColorTable, ShadingRampChosenByTheLayerColour) {
  const struct {
    int lineColor;
    int start;
  } cases[] = {{1, 4001},  {2, 4001},  {3, 8001},  {4, 12001}, {5, 16001}, {6, 20001},
               {7, 24001}, {8, 4001},  {9, 4001},  {10, 4001}, {11, 4001}, {12, 4001},
               {13, 4001}, {14, 28001}, {15, 28001}, {16, 4001}};
  for (const auto& c : cases) {
    SCOPED_TRACE(basicColorName(c.lineColor));
    EXPECT_EQ(F_ColorTable::shadingRampStart(c.lineColor), c.start);
  }
}

TEST(F_ColorTableDeathTest, RainbowSizeOutsideTwoToThreeThousandIsAnInternalError) {
  for (int n : {1, 3001, -5}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    // The stop message goes to stderr here, so the death test can read it.
    EXPECT_DEATH(
        {
          HeadlessUi toStderr(&std::cerr);
          installUiServices(&toStderr);
          built(n);
        },
        "F_ColorTable");
  }
}
