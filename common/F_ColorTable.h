#pragma once
// The colours of one view: one 1-based array of 32000 entries in which fixed
// index ranges hold the 16 basic colours, the rainbow scale of a scalar field
// and seven shading ramps. The primitives get a range of indices and turn a
// value into an index, so drawing never does colour arithmetic.
//
// Entries are F_Rgb pixels (0xffRRGGBB) so a primitive can store one as it is;
// entries never written are 0.
//
//   1 .. 16          basic colours (basicColors[1..16])
//   1001 .. 1000+n   rainbow scale, dark blue first, red last
//   4001 .. 32000    ramps of 4000 levels: red, green, blue, cyan, magenta,
//                    yellow, grey, in that order

#include <array>

#include "include/F_Vector.h"
#include "platform/Color.h"

// Index 0 white, 1..16 the basic colours the user picks by number.
extern const std::array<F_Rgb, 17> basicColors;

// "Black", "Red", ... for 1..16; "" outside.
const char* basicColorName(int index);

class F_ColorTable {
 public:
  static constexpr int kSize = 32000;
  static constexpr int kRainbowFirst = 1001;
  static constexpr int kMinRainbow = 2;
  static constexpr int kMaxRainbow = 3000;
  static constexpr int kRampLength = 4000;
  static constexpr int kRedRamp = 4001;
  static constexpr int kGreenRamp = 8001;
  static constexpr int kBlueRamp = 12001;
  static constexpr int kCyanRamp = 16001;
  static constexpr int kMagentaRamp = 20001;
  static constexpr int kYellowRamp = 24001;
  static constexpr int kGreyRamp = 28001;

  // (Re)builds the table for n rainbow colours, 2 <= n <= 3000 (anything else is
  // an internal error; the command checks the user's value first). A rebuild
  // never clears: rainbow entries beyond a smaller n keep their old colours.
  void build(int n);

  int numberOfRainbowColors() const { return numberOfRainbowColors_; }
  const F_Vector<F_Rgb>& colors() const { return colors_; }

  // First index of the shading ramp of a layer drawn in basic colour `lineColor`.
  static int shadingRampStart(int lineColor);

 private:
  void buildRainbow(int n);
  void buildRamps();

  F_Vector<F_Rgb> colors_;
  int numberOfRainbowColors_ = 0;
};
