#pragma once
// An off-screen picture in memory: a QImage of 32-bit RGB pixels, white when made.
// Allocation can fail for a huge canvas, and a canvas beyond the program's
// canvas bound (a side beyond 32768, more than 2^27 pixels) is never tried;
// the image is then empty (0 x 0) and every drawing on it does nothing, so
// callers check width() when it matters.

#include <string>

#include <QImage>

#include "platform/PixelSurface.h"

class RasterImage {
 public:
  RasterImage(int w, int h);

  int width() const { return image_.width(); }
  int height() const { return image_.height(); }
  bool isNull() const { return image_.isNull(); }
  PixelSurface surface();
  QImage& qimage() { return image_; }
  const QImage& qimage() const { return image_; }

  // PNG is written with Qt's quality 80, which is zlib level 1: several times
  // faster than the default level on a whole canvas, for a file a little
  // larger. The pixels are the same whatever the level.
  static constexpr int kPngQuality = 80;

  // Writes the picture; the format follows the file name's extension (.png, .bmp).
  bool save(const std::string& path) const;

 private:
  QImage image_;
};
