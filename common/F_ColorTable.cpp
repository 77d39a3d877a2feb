#include "common/F_ColorTable.h"

#include <cmath>

#include "include/F_Errors.h"

const std::array<F_Rgb, 17> basicColors = {
    makeRgb(255, 255, 255),  // 0: white, the colour of nothing chosen
    makeRgb(0, 0, 0),       makeRgb(255, 0, 0),     makeRgb(0, 255, 0),     makeRgb(0, 0, 255),
    makeRgb(0, 255, 255),   makeRgb(255, 0, 255),   makeRgb(255, 255, 0),   makeRgb(128, 0, 0),
    makeRgb(0, 128, 0),     makeRgb(0, 0, 128),     makeRgb(0, 128, 128),   makeRgb(128, 0, 128),
    makeRgb(128, 128, 0),   makeRgb(128, 128, 128), makeRgb(192, 192, 192), makeRgb(255, 255, 255),
};

const char* basicColorName(int index) {
  static const char* const names[17] = {"",           "Black",      "Red",          "Green",       "Blue",
                                        "Cyan",       "Magenta",    "Yellow",       "Dark Red",    "Dark Green",
                                        "Dark Blue",  "Dark Cyan",  "Dark Magenta", "Dark Yellow", "Dark Gray",
                                        "Light Gray", "White"};
  return index >= 1 && index <= 16 ? names[index] : "";
}

namespace {

// The hand-picked scales for up to 14 colours.
constexpr F_Rgb DB = makeRgb(0, 0, 128), B2 = makeRgb(0, 0, 192), B = makeRgb(0, 0, 255);
constexpr F_Rgb A1 = makeRgb(0, 128, 255), A2 = makeRgb(0, 192, 255), Cy = makeRgb(0, 255, 255);
constexpr F_Rgb CG1 = makeRgb(0, 255, 192), CG2 = makeRgb(0, 255, 128), G = makeRgb(0, 255, 0);
constexpr F_Rgb GY = makeRgb(192, 255, 0), Y = makeRgb(255, 255, 0), O1 = makeRgb(255, 192, 0);
constexpr F_Rgb O2 = makeRgb(255, 128, 0), R = makeRgb(255, 0, 0);

constexpr F_Rgb kFixedScales[13][14] = {
    {DB, R},
    {DB, G, R},
    {DB, G, Y, R},
    {DB, A1, G, Y, R},
    {DB, A1, G, Y, O1, R},
    {DB, A1, Cy, G, Y, O1, R},
    {DB, A1, Cy, G, Y, O1, O2, R},
    {DB, B, A1, Cy, G, Y, O1, O2, R},
    {DB, B, A1, A2, Cy, G, Y, O1, O2, R},
    {DB, B2, B, A1, A2, Cy, G, Y, O1, O2, R},
    {DB, B2, B, A1, A2, Cy, G, GY, Y, O1, O2, R},
    {DB, B2, B, A1, A2, Cy, CG1, G, GY, Y, O1, O2, R},
    {DB, B2, B, A1, A2, Cy, CG1, CG2, G, GY, Y, O1, O2, R},
};

// trunc(k / size * scale), the level of step k of a segment of `size` steps.
int level(int k, int size, double scale) { return static_cast<int>(static_cast<double>(k) / size * scale); }

}  // namespace

void F_ColorTable::build(int n) {
  if (colors_.size() != kSize) colors_.resize(kSize, 0u);
  for (int i = 1; i <= 16; ++i) colors_(i) = basicColors[static_cast<std::size_t>(i)];
  if (n < kMinRainbow || n > kMaxRainbow) internalError("F_ColorTable", 1);
  numberOfRainbowColors_ = n;
  buildRainbow(n);
  buildRamps();
}

void F_ColorTable::buildRainbow(int n) {
  if (n <= 14) {
    for (int i = 0; i < n; ++i) colors_(kRainbowFirst + i) = kFixedScales[n - 2][i];
    return;
  }
  // Five segments: dark blue to blue, to cyan, to green, to yellow, to red.
  const double fractions[5] = {0.15, 0.15, 0.15, 0.25, 0.30};
  double sum = 0;
  for (double f : fractions) sum += f * n;
  if (std::abs(sum - n) > 1e-6) internalError("F_ColorTable", 2);
  const int p = static_cast<int>(0.15 * n), q = p, r = p;
  const int s = static_cast<int>(0.25 * n);
  const int t = n - p - q - r - s;

  int index = kRainbowFirst;
  const auto put = [&](int red, int green, int blue) { colors_(index++) = makeRgb(red & 255, green & 255, blue & 255); };
  for (int k = 1; k <= p; ++k) put(0, 0, static_cast<int>(static_cast<double>(k) / p * 128 + 127));
  for (int k = 1; k <= q; ++k) put(0, level(k, q, 255), 255);
  for (int k = 1; k <= r; ++k) put(0, 255, 255 - level(k, r, 255));
  for (int k = 1; k <= s; ++k) put(level(k, s, 255), 255, 0);
  for (int k = 1; k <= t; ++k) put(255, 255 - level(k, t, 255), 0);
  if (index - 1 != kRainbowFirst - 1 + n) internalError("F_ColorTable", 3);
}

void F_ColorTable::buildRamps() {
  // Level of ramp entry k (1..4000): 0 for k = 1..15 up to 255 at k = 4000.
  const struct {
    int start;
    int r, g, b;  // which channels carry the level
  } ramps[7] = {{kRedRamp, 1, 0, 0},     {kGreenRamp, 0, 1, 0},   {kBlueRamp, 0, 0, 1}, {kCyanRamp, 0, 1, 1},
                {kMagentaRamp, 1, 0, 1}, {kYellowRamp, 1, 1, 0}, {kGreyRamp, 1, 1, 1}};
  for (int k = 1; k <= kRampLength; ++k) {
    const int L = static_cast<int>(k * 0.06375 + 1e-8);
    for (const auto& ramp : ramps) colors_(ramp.start + k - 1) = makeRgb(L * ramp.r, L * ramp.g, L * ramp.b);
  }
}

int F_ColorTable::shadingRampStart(int lineColor) {
  switch (lineColor) {
    case 3: return kGreenRamp;
    case 4: return kBlueRamp;
    case 5: return kCyanRamp;
    case 6: return kMagentaRamp;
    case 7: return kYellowRamp;
    case 14:
    case 15: return kGreyRamp;
    default: return kRedRamp;
  }
}
