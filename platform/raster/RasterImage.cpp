#include "platform/raster/RasterImage.h"

#include <QString>

// A picture beyond the program's canvas bound (no side beyond 32768 pixels,
// image and depth buffer of 4 bytes a pixel each within 1 GiB) is refused
// without asking for the memory: such a request can only come from a runaway
// zoom, and some allocators stop the process instead of failing it. The
// platform layer sees nothing above it, so the numbers are repeated here and
// a test holds them equal to the canvas bound.
constexpr long long kMaxSide = 32768;
constexpr long long kMaxPixels = (1LL << 30) / 8;

RasterImage::RasterImage(int w, int h) {
  if (w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && static_cast<long long>(w) * h <= kMaxPixels) {
    image_ = QImage(w, h, QImage::Format_RGB32);
    if (!image_.isNull()) image_.fill(0xffffffffu);
  }
}

PixelSurface RasterImage::surface() {
  if (image_.isNull()) return {};
  // Format_RGB32 rows are whole 32-bit words, so the stride is exact.
  return {reinterpret_cast<F_Rgb*>(image_.bits()), image_.width(), image_.height(),
          static_cast<int>(image_.bytesPerLine() / 4)};
}

bool RasterImage::save(const std::string& path) const {
  if (image_.isNull()) return false;
  const QString name = QString::fromStdString(path);
  const int quality = name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? kPngQuality : -1;
  return image_.save(name, nullptr, quality);
}
