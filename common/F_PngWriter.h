#pragma once
// The view image as a PNG file: 8-bit RGB, no interlace, the same pixels as
// the bitmap. Every row is filtered with "Sub" (each byte minus the byte of
// the pixel to its left), which turns the wide runs of one colour a view is
// made of into runs of zeros, and deflated with zlib's run-length strategy,
// which on such rows is both the fastest and the smallest we measured. A large
// picture is cut into parts of whole rows compressed on several threads; the
// parts join into one zlib stream, so any PNG reader takes the file.

#include <string>

#include "platform/PixelSurface.h"

namespace F_PngWriter {

// Below this many pixels one thread compresses the whole picture.
constexpr long long kPixelsPerThread = 1 << 19;

// How many parts of rows a w x h picture is compressed in: one per
// kPixelsPerThread pixels, at most `threads` and at most h.
int parts(int width, int height, int threads);

// The PNG file of `image` into `bytes`; false when the picture is empty or
// zlib refuses. `threads` caps the parts (0: F_RenderThreads::count()).
bool encode(const PixelSurface& image, std::string& bytes, int threads = 0);

}  // namespace F_PngWriter
