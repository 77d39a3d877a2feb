#include "include/F_Archive.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "include/F_WordReader.h"

namespace {
// The file is little-endian whatever the machine is.
template <class T>
T toLittle(T v) {
  if constexpr (std::endian::native == std::endian::little) {
    return v;
  } else {
    T r;
    auto* s = reinterpret_cast<unsigned char*>(&v);
    auto* d = reinterpret_cast<unsigned char*>(&r);
    for (std::size_t i = 0; i < sizeof(T); ++i) d[i] = s[sizeof(T) - 1 - i];
    return r;
  }
}
}  // namespace

// ---- storing ----

void F_Archive::writeBytes(const void* data, std::size_t n) { out_->writeRaw(data, n); }

void F_Archive::writeInt(std::int32_t v) {
  v = toLittle(v);
  out_->writeRaw(&v, sizeof v);
}

void F_Archive::writeReal(double v) {
  v = toLittle(v);
  out_->writeRaw(&v, sizeof v);
}

void F_Archive::writeInts(const std::int32_t* values, std::size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    out_->writeRaw(values, n * sizeof(std::int32_t));
  } else {
    for (std::size_t i = 0; i < n; ++i) writeInt(values[i]);
  }
}

void F_Archive::writeReals(const double* values, std::size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    out_->writeRaw(values, n * sizeof(double));
  } else {
    for (std::size_t i = 0; i < n; ++i) writeReal(values[i]);
  }
}

void F_Archive::writeString(std::string_view s) {
  const std::size_t n = s.size();
  if (n < 0xFF) {
    const unsigned char b = static_cast<unsigned char>(n);
    out_->writeRaw(&b, 1);
  } else {
    const unsigned char escape = 0xFF;
    out_->writeRaw(&escape, 1);
    if (n < 0xFFFE) {
      std::uint16_t w = toLittle(static_cast<std::uint16_t>(n));
      out_->writeRaw(&w, 2);
    } else {
      std::uint16_t w = 0xFFFF;
      out_->writeRaw(&w, 2);
      std::uint32_t d = toLittle(static_cast<std::uint32_t>(n));
      out_->writeRaw(&d, 4);
    }
  }
  out_->writeRaw(s.data(), n);
}

// ---- loading ----

void F_Archive::readBytes(void* data, std::size_t n, const char* what) {
  if (in_->read(data, n) != n) fail(what);
}

std::int32_t F_Archive::readInt(const char* what) {
  std::int32_t v;
  readBytes(&v, sizeof v, what);
  return toLittle(v);
}

double F_Archive::readReal(const char* what) {
  double v;
  readBytes(&v, sizeof v, what);
  v = toLittle(v);
  // No document holds an infinite or undefined coordinate or angle: written
  // back as text it would give a file no reader takes.
  if (!std::isfinite(v)) fail(what);
  return v;
}

void F_Archive::readInts(std::int32_t* values, std::size_t n, const char* what) {
  readBytes(values, n * sizeof(std::int32_t), what);
  if constexpr (std::endian::native != std::endian::little) {
    for (std::size_t i = 0; i < n; ++i) values[i] = toLittle(values[i]);
  }
}

void F_Archive::readReals(double* values, std::size_t n, const char* what) {
  readBytes(values, n * sizeof(double), what);
  if constexpr (std::endian::native != std::endian::little) {
    for (std::size_t i = 0; i < n; ++i) values[i] = toLittle(values[i]);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(values[i])) fail(what);
  }
}

std::string F_Archive::readString(const char* what) {
  unsigned char b;
  readBytes(&b, 1, what);
  std::uint64_t n = b;
  if (b == 0xFF) {
    std::uint16_t w;
    readBytes(&w, 2, what);
    w = toLittle(w);
    if (w == 0xFFFF) {
      std::uint32_t d;
      readBytes(&d, 4, what);
      d = toLittle(d);
      // A 4-byte length of all ones announces an 8-byte one, which no
      // document of ours needs.
      if (d == 0xFFFFFFFFu) fail(what);
      n = d;
    } else if (w == 0xFFFE) {
      // The marker of a wide-character string: never written by the program.
      fail(what);
    } else {
      n = w;
    }
  }
  if (n > in_->remaining()) fail(what);
  std::string s(static_cast<std::size_t>(n), '\0');
  readBytes(s.data(), s.size(), what);
  return s;
}

std::string F_Archive::readValidString(const char* what) {
  std::string s = readString(what);
  for (char c : s) {
    if (!F_Byte::valid(static_cast<unsigned char>(c))) fail(what);
  }
  return s;
}

int F_Archive::readCount(std::int64_t minRecordBytes, const char* what) {
  const std::int32_t n = readInt(what);
  if (n < 0) fail(what);
  if (minRecordBytes > 0 && static_cast<std::uint64_t>(n) > in_->remaining() / static_cast<std::uint64_t>(minRecordBytes))
    fail(what);
  return n;
}
