#pragma once
// The view image file: an uncompressed 24-bit Windows bitmap, 54 bytes of
// headers then the rows bottom row first, each pixel blue, green, red, each
// row padded with zero bytes to a multiple of four.

#include <array>
#include <cstdint>

#include "include/F_File.h"
#include "platform/DeviceContext.h"
#include "platform/PixelSurface.h"

class F_BmpWriter {
 public:
  static constexpr int kHeaderSize = 54;

  // Bytes of one stored row: 3 w rounded up to a multiple of 4.
  static std::int64_t rowSize(int w) { return (3 * static_cast<std::int64_t>(w) + 3) / 4 * 4; }
  static std::int64_t fileSize(int w, int h) { return rowSize(w) * h + kHeaderSize; }
  static std::array<unsigned char, kHeaderSize> header(int w, int h);

  // w x h pixels of the device context, read one by one from (0, 0) of the
  // surface (device pixels, whatever its viewport origin); pixels beyond the
  // surface are white. Returns false when a write failed; what was written stays.
  static bool write(F_OutputFile& file, DeviceContext& dc, int w, int h);
  // The same from scanlines.
  static bool write(F_OutputFile& file, const PixelSurface& image);

 private:
  template <class Pixel>
  static bool writeRows(F_OutputFile& file, int w, int h, Pixel&& pixel);
};
