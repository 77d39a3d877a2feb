#pragma once
// Scanning of record lines in the shape the program writes them (numbers
// padded with blanks, one record per line), straight from a reader's buffer.
// Each scan takes a word only when the ordinary word reader would take it
// with the same value (plainInteger, plainReal), and declines anything else,
// for the ordinary reader to judge.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/F_RenderThreads.h"
#include "include/F_WordReader.h"

namespace F_RecordScan {

inline bool blank(char c) { return c == ' ' || c == '\t'; }

// The scans below look at sixteen bytes at once. They rely on what follows
// every line in the text: its CarriageReturn or NewLine, which is neither a
// blank nor a digit, so no run of blanks or digits reaches past the line's
// end. `limit` is the end of the text, past which nothing is read.
#if defined(__SSE2__)
inline __m128i bytesAt(const char* p, const char* limit) {
  if (limit - p >= 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Near the end of the text: the bytes there, then zeros (neither blanks nor digits).
  alignas(16) char tail[16] = {};
  std::memcpy(tail, p, static_cast<std::size_t>(limit - p));
  return _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
}
// One bit per byte, lowest for the first; the run from the first byte is
// the count of trailing ones (16 at most).
inline int runLength(int mask) { return __builtin_ctz(~static_cast<unsigned>(mask)); }
inline int blankMask(__m128i v) {
  return _mm_movemask_epi8(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
}
inline int digitMask(__m128i v) {
  return _mm_movemask_epi8(
      _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1))));
}

// The value of the first n (1..8) digits of `eight` (the bytes in reading
// order, the lowest first), in a few multiplications instead of one per digit.
inline std::uint64_t eightDigits(std::uint64_t eight, int n) {
  std::uint64_t v = eight - 0x3030303030303030ull;  // a borrow only runs into the bytes dropped below
  v <<= 8 * (8 - n);  // the digits to the top, zeros (leading zeros) below
  v = v * 10 + (v >> 8);
  return (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}
// The value of n (1..16) digits at p, whose first sixteen bytes are `v`.
inline std::uint64_t digitsValue(const char* p, __m128i v, int n) {
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
  if (n <= 8) return eightDigits(low, n);
  std::uint64_t last;
  std::memcpy(&last, p + n - 8, 8);
  return eightDigits(low, n - 8) * 100000000ull + eightDigits(last, 8);
}

inline void skipBlanks(const char*& p, const char* limit) {
  for (;;) {
    const int n = runLength(blankMask(bytesAt(p, limit)));
    p += n;
    if (n < 16) return;
  }
}
#else
inline void skipBlanks(const char*& p, const char* limit) {
  while (p < limit && blank(*p)) ++p;
}
#endif

// A word at p that plainInteger takes (a sign and 1 to 9 digits, up to a
// blank or the end of the line), read in the same pass; p moves past it.
inline bool integerAt(const char*& at, const char* end, const char* limit, int& value) {
  const char* p = at;  // a copy the compiler may keep in a register
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) {
    negative = *p == '-';
    ++p;
  }
#if defined(__SSE2__)
  const __m128i bytes = bytesAt(p, limit);
  const int n = runLength(digitMask(bytes));
  if (n == 0 || n > 9 || (p + n < end && !blank(p[n]))) return false;  // also a tenth digit
  int v = static_cast<int>(digitsValue(p, bytes, std::min(n, 8)));
  if (n == 9) v = v * 10 + (p[8] - '0');
  p += n;
#else
  const char* digits = p;
  const char* most = end - digits > 9 ? digits + 9 : end;
  int v = 0;
  for (; p < most && static_cast<unsigned>(*p - '0') <= 9; ++p) v = v * 10 + (*p - '0');
  if (p == digits || (p < end && !blank(*p))) return false;  // also a tenth digit
  (void)limit;
#endif
  value = negative ? -v : v;
  at = p;
  return true;
}

// A word at p that plainReal takes; p moves past it.
inline bool realAt(const char*& p, const char* end, const char* limit, double& value) {
#if defined(__SSE2__)
  // The usual shape, digits, a point and digits, 15 digits at most, gives
  // plainReal's mantissa over a power of ten without a second pass.
  static constexpr double kExactPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const bool negative = p < end && *p == '-';
  const char* whole = negative ? p + 1 : p;
  const __m128i wholeBytes = bytesAt(whole, limit);
  const int before = runLength(digitMask(wholeBytes));
  if (before > 0 && before < 15 && whole[before] == '.') {
    const char* fraction = whole + before + 1;
    const __m128i fractionBytes = bytesAt(fraction, limit);
    const int after = runLength(digitMask(fractionBytes));
    if (after > 0 && before + after <= 15 && (fraction + after == end || blank(fraction[after]))) {
      const std::uint64_t mantissa = digitsValue(whole, wholeBytes, before) * static_cast<std::uint64_t>(kExactPowers[after]) +
                                     digitsValue(fraction, fractionBytes, after);
      const double magnitude = static_cast<double>(mantissa) / kExactPowers[after];
      value = negative ? -magnitude : magnitude;
      p = fraction + after;
      return true;
    }
  }
#else
  (void)limit;
#endif
  const char* word = p;
  while (p < end && !blank(*p)) ++p;
  return plainReal(std::string_view(word, static_cast<std::size_t>(p - word)), value);
}

// The end of the line that holds byte `at` of `text` (whole lines, each
// ending with '\n'), searched from no earlier than `from`: where text is cut
// into parts read on their own.
inline std::size_t lineEndAfter(std::string_view text, std::size_t from, std::size_t at) {
  if (at >= text.size()) return text.size();
  const std::size_t end = text.find('\n', std::max(from, at));
  return end == std::string_view::npos ? text.size() : end + 1;
}

// `text` cut at line ends into one part per thread, as many threads as the
// machine has but no more than give each about `bytesPerThread` (at least
// one part); the parts in order make up the whole text.
inline std::vector<std::string_view> cutAmongThreads(std::string_view text, std::size_t bytesPerThread) {
  const int threads =
      std::max(1, std::min<int>(F_RenderThreads::count(), static_cast<int>(text.size() / bytesPerThread)));
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (int t = 1; t <= threads; ++t) {
    const std::size_t to = t < threads ? lineEndAfter(text, from, text.size() * t / threads) : text.size();
    parts.push_back(text.substr(from, to - from));
    from = to;
  }
  return parts;
}

}  // namespace F_RecordScan
