#pragma once
// Fixed-size values from a binary stretch of a file, in the file's byte order,
// with the byte offset of any shortfall in the message.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "import/F_TextScanner.h"
#include "include/F_Errors.h"
#include "include/F_File.h"

// "ERROR\nByte offset N.\n<message>", then F_UserException.
[[noreturn]] inline void failAtOffset(const F_InputFile& file, std::uint64_t at, const std::string& message) {
  failRead(file, "ERROR\nByte offset " + std::to_string(at) + ".\n" + message, 0);
}

// A value of T stored at `at`, its bytes reversed first when `swap`.
template <class T>
T loadValue(const unsigned char* at, bool swap) {
  using Bits = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                                  std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                                     std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
  static_assert(sizeof(Bits) == sizeof(T));
  Bits bits;
  std::memcpy(&bits, at, sizeof bits);
  if (swap) {
    if constexpr (sizeof(T) == 2) bits = __builtin_bswap16(bits);
    if constexpr (sizeof(T) == 4) bits = __builtin_bswap32(bits);
    if constexpr (sizeof(T) == 8) bits = __builtin_bswap64(bits);
  }
  T value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Reads through the scanner, which holds the buffered bytes of a file that
// mixes text and binary.
class F_BinaryReader {
 public:
  F_BinaryReader(F_TextScanner& source, bool swapBytes) : source_(source), swap_(swapBytes) {}

  std::uint64_t offset() const { return source_.offset(); }
  std::uint64_t remaining() const { return source_.remaining(); }

  template <class T>
  T get(std::string_view what) {
    static_assert(std::is_arithmetic_v<T>);
    T value;
    bytes(&value, sizeof value, what);
    if (swap_) value = swapped(value);
    return value;
  }
  // `count` values of T into `out`, swapped as needed.
  template <class T>
  void getArray(T* out, std::size_t count, std::string_view what) {
    bytes(out, count * sizeof(T), what);
    if (swap_) {
      for (std::size_t i = 0; i < count; ++i) out[i] = swapped(out[i]);
    }
  }
  void bytes(void* out, std::size_t n, std::string_view what) {
    if (n == 0) return;  // an empty block may have no storage to copy into
    const std::uint64_t at = offset();
    if (source_.bytes(out, n) != n) fail(at, std::string("The file ends inside ") + std::string(what) + ".");
  }

  [[noreturn]] void fail(std::uint64_t at, const std::string& message) const {
    failAtOffset(source_.file(), at, message);
  }

  template <class T>
  static T swapped(T value) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, &value, sizeof b);
    for (std::size_t i = 0; i < sizeof b / 2; ++i) std::swap(b[i], b[sizeof b - 1 - i]);
    std::memcpy(&value, b, sizeof b);
    return value;
  }

 private:
  F_TextScanner& source_;
  bool swap_;
};
