#include "common/F_BmpWriter.h"

#include <vector>

namespace {
void put16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
}  // namespace

std::array<unsigned char, F_BmpWriter::kHeaderSize> F_BmpWriter::header(int w, int h) {
  std::array<unsigned char, kHeaderSize> b{};
  const auto data = static_cast<std::uint32_t>(rowSize(w) * h);
  b[0] = 'B';
  b[1] = 'M';
  put32(&b[2], data + kHeaderSize);  // file size
  put32(&b[10], kHeaderSize);        // offset of the pixels
  put32(&b[14], 40);                 // information header size
  put32(&b[18], static_cast<std::uint32_t>(w));
  put32(&b[22], static_cast<std::uint32_t>(h));  // positive: bottom row first
  put16(&b[26], 1);                              // planes
  put16(&b[28], 24);                             // bits per pixel
  put32(&b[34], data);
  put32(&b[38], 2834);  // 72 dots per inch, in pixels per metre
  put32(&b[42], 2834);
  return b;
}

template <class Pixel>
bool F_BmpWriter::writeRows(F_OutputFile& file, int w, int h, Pixel&& pixel) {
  const auto head = header(w, h);
  file.writeRaw(head.data(), head.size());
  // One row in memory at a time: the colour bytes, then the zero padding.
  std::vector<unsigned char> row(static_cast<std::size_t>(rowSize(w)), 0);
  for (int y = h - 1; y >= 0; --y) {
    unsigned char* out = row.data();
    for (int x = 0; x < w; ++x) {
      const F_Rgb c = pixel(x, y);
      *out++ = static_cast<unsigned char>(blueOf(c));
      *out++ = static_cast<unsigned char>(greenOf(c));
      *out++ = static_cast<unsigned char>(redOf(c));
    }
    file.writeRaw(row.data(), row.size());
    if (!file.ok()) return false;
  }
  return file.ok();
}

bool F_BmpWriter::write(F_OutputFile& file, DeviceContext& dc, int w, int h) {
  // getPixel works in logical coordinates; the image is read from its device origin.
  const int ox = dc.viewportOriginX(), oy = dc.viewportOriginY();
  const PixelSurface s = dc.surface();
  if (s.bits && w <= s.width && h <= s.height) return write(file, PixelSurface{s.bits, w, h, s.stride});
  // A pixel beyond the image (a canvas enlarged since the last paint) reads as
  // the invalid colour, whose three components are all 0xFF: white.
  return writeRows(file, w, h, [&](int x, int y) {
    const F_Rgb c = dc.getPixel(x + ox, y + oy);
    return c == kInvalidPixel ? makeRgb(255, 255, 255) : c;
  });
}

bool F_BmpWriter::write(F_OutputFile& file, const PixelSurface& image) {
  return writeRows(file, image.width, image.height, [&](int x, int y) { return image.row(y)[x]; });
}
