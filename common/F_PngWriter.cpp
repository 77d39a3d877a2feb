#include "common/F_PngWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/F_RenderThreads.h"

namespace F_PngWriter {
namespace {

void putBigEndian(std::string& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                     static_cast<char>(v)};
  out.append(b, 4);
}

// Length, type, data and the CRC of type and data.
void putChunk(std::string& out, const char* type, const std::string& data) {
  putBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.append(type, 4);
  out.append(data);
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + typeAt), static_cast<uInt>(4));
  putBigEndian(out, static_cast<std::uint32_t>(
                        crc32_combine(crc, crc32(0L, reinterpret_cast<const Bytef*>(data.data()),
                                                  static_cast<uInt>(data.size())),
                                      static_cast<z_off_t>(data.size()))));
}

// Rows [from, to) filtered, deflated as a raw stream that ends on a byte
// boundary (the last part ends the stream), and their Adler-32.
struct Part {
  int from = 0;
  int to = 0;
  bool last = false;
  std::string deflated;
  uLong adler = 1;
  std::size_t rawBytes = 0;
  bool ok = false;
};

void compress(const PixelSurface& image, Part& part) {
  const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(image.width);
  std::vector<unsigned char> row(rowBytes);
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK) return;
  std::vector<unsigned char> out(deflateBound(&z, static_cast<uLong>(rowBytes)) + 64);
  part.adler = adler32(0L, nullptr, 0);
  bool ok = true;
  for (int y = part.from; y < part.to && ok; ++y) {
    const F_Rgb* pixel = image.row(y);
    row[0] = 1;  // Sub
    unsigned char r0 = 0, g0 = 0, b0 = 0;
    unsigned char* p = row.data() + 1;
    for (int x = 0; x < image.width; ++x, p += 3) {
      const unsigned char r = static_cast<unsigned char>(pixel[x] >> 16);
      const unsigned char g = static_cast<unsigned char>(pixel[x] >> 8);
      const unsigned char b = static_cast<unsigned char>(pixel[x]);
      p[0] = static_cast<unsigned char>(r - r0);
      p[1] = static_cast<unsigned char>(g - g0);
      p[2] = static_cast<unsigned char>(b - b0);
      r0 = r, g0 = g, b0 = b;
    }
    part.adler = adler32(part.adler, row.data(), static_cast<uInt>(rowBytes));
    z.next_in = row.data();
    z.avail_in = static_cast<uInt>(rowBytes);
    const bool end = y + 1 == part.to;
    const int flush = !end ? Z_NO_FLUSH : part.last ? Z_FINISH : Z_SYNC_FLUSH;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      const int status = deflate(&z, flush);
      if (status == Z_STREAM_ERROR) ok = false;
      part.deflated.append(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
    } while (ok && (z.avail_in > 0 || z.avail_out == 0));
  }
  deflateEnd(&z);
  part.rawBytes = rowBytes * static_cast<std::size_t>(part.to - part.from);
  part.ok = ok;
}

}  // namespace

int parts(int width, int height, int threads) {
  const long long pixels = static_cast<long long>(width) * height;
  return static_cast<int>(std::clamp<long long>(pixels / kPixelsPerThread, 1, std::max(1, std::min(threads, height))));
}

bool encode(const PixelSurface& image, std::string& bytes, int threads) {
  if (!image.bits || image.width < 1 || image.height < 1) return false;
  const int parts = F_PngWriter::parts(image.width, image.height, threads < 1 ? F_RenderThreads::count() : threads);
  std::vector<Part> part(static_cast<std::size_t>(parts));
  for (int i = 0; i < parts; ++i) {
    part[i].from = static_cast<int>(static_cast<long long>(image.height) * i / parts);
    part[i].to = static_cast<int>(static_cast<long long>(image.height) * (i + 1) / parts);
    part[i].last = i + 1 == parts;
  }
  auto work = [&](int i) { compress(image, part[static_cast<std::size_t>(i)]); };
  if (!F_RenderThreads::run(parts, work))
    for (int i = 0; i < parts; ++i) work(i);

  // The zlib stream: header (deflate, 32K window, fastest), the parts, the
  // Adler-32 of all filtered rows.
  std::string data = "\x78\x01";
  uLong adler = adler32(0L, nullptr, 0);
  for (const Part& p : part) {
    if (!p.ok) return false;
    data += p.deflated;
    adler = adler32_combine(adler, p.adler, static_cast<z_off_t>(p.rawBytes));
  }
  putBigEndian(data, static_cast<std::uint32_t>(adler));

  std::string header;
  putBigEndian(header, static_cast<std::uint32_t>(image.width));
  putBigEndian(header, static_cast<std::uint32_t>(image.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, adaptive filters, no interlace

  bytes.assign("\x89PNG\r\n\x1a\n", 8);
  putChunk(bytes, "IHDR", header);
  putChunk(bytes, "IDAT", data);
  putChunk(bytes, "IEND", std::string());
  return true;
}

}  // namespace F_PngWriter
