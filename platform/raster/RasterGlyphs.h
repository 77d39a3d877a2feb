#pragma once
// Text for the raster surface, drawn glyph by glyph from masks made once per
// font and character: the font engine is asked once, after that a character
// costs a few dozen pixel writes. Characters are bytes read as Latin-1.
// The masks are two-level (no antialiasing), so text is crisp and the same on
// every machine with the same fonts.

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/DeviceContext.h"

struct RasterGlyph {
  bool ready = false;
  int advance = 0;  // pen movement to the next character
  int dx = 0;       // mask offset from the pen position on the top of the text box
  int dy = 0;
  int w = 0;
  int h = 0;
  std::vector<std::uint8_t> mask;  // w x h, 1 where the glyph has ink
};

class RasterGlyphs {
 public:
  // The glyph set of `font`, made on first use and kept for the life of the program.
  // Needs a GUI application (ensureGuiApplication makes one when there is none).
  static RasterGlyphs& of(const Font& font);

  int ascent() const { return ascent_; }
  int height() const { return ascent_ + descent_; }
  const RasterGlyph& glyph(unsigned char c);
  // Sum of the advances: the width of the text box.
  int width(std::string_view text);

 private:
  explicit RasterGlyphs(const Font& font);

  Font font_;
  int ascent_ = 0;
  int descent_ = 0;
  std::array<RasterGlyph, 256> glyphs_;
};
