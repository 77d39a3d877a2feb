#pragma once
// Record lines of small unsigned integers (element lines of text mesh
// files) read at once: the classes of up to 128 bytes of a line found
// sixteen bytes at a time, then each run of digits taken from the bits and
// turned into its value with a few multiplications. Only lines of the
// plainest shape are taken: digits and separators and nothing else, no
// number longer than eighteen digits; anything else is declined (-1) for the
// field-by-field reading, which gives the same numbers for every line taken
// here, and says what is wrong with the others.
//
// `end` is the end of the line; `limit` (at or after it) the end of the
// bytes that may be read. A line is read in whole blocks of sixteen bytes
// and eight bytes past them; a line too near `limit` for that is declined.

#include <cstdint>
#include <cstring>

#include "common/F_RecordScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace F_DigitScan {

// Longer lines are read field by field.
constexpr int kMostLineBytes = 128;

#if defined(__SSE2__)
[[gnu::always_inline]] inline __m128i load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
using F_RecordScan::digitMask;
using F_RecordScan::eightDigits;
#endif

#if defined(__SSE2__) && defined(__SIZEOF_INT128__)
// One bit per byte of a line: 64 bits for lines up to 64 bytes (most
// records), 128 for the rest.
template <class Bits>
[[gnu::always_inline]] inline int lowestBit(Bits b) {
  if constexpr (sizeof(Bits) == 8) {
    return __builtin_ctzll(b);
  } else {
    const auto low = static_cast<std::uint64_t>(b);
    return low ? __builtin_ctzll(low) : 64 + __builtin_ctzll(static_cast<std::uint64_t>(b >> 64));
  }
}
// How many bits are set, 0, 1 or "more" (2).
template <class Bits>
[[gnu::always_inline]] inline int bitCount(Bits b) {
  return b == 0 ? 0 : (b & (b - 1)) == 0 ? 1 : 2;
}
// Bits [0, n) for n from 0 to all the bits.
template <class Bits>
[[gnu::always_inline]] inline Bits lowBits(int n) {
  return n >= static_cast<int>(8 * sizeof(Bits)) ? ~Bits{0} : (Bits{1} << n) - 1;
}

// The n (1 to 18) digits at q, eight bytes at a time: the first piece
// holds what is left over from whole eights, so every load ends within the
// digits (or, for fewer than eight, within the eight bytes read past them).
[[gnu::always_inline]] inline std::uint64_t digitsValue(const char* q, int n) {
  auto at = [](const char* r) {
    std::uint64_t eight;
    std::memcpy(&eight, r, 8);
    return eight;
  };
  if (n <= 8) return eightDigits(at(q), n);
  const std::uint64_t last = eightDigits(at(q + n - 8), 8);
  if (n <= 16) return eightDigits(at(q), n - 8) * 100000000 + last;
  return (eightDigits(at(q), n - 16) * 100000000 + eightDigits(at(q + n - 16), 8)) * 100000000 + last;
}

template <class Bits, bool Commas>
[[gnu::always_inline]] inline int unsignedRecordIn(const char* p, int size, std::int64_t* out, int most) {
  const int loaded = (size + 15) & ~15;
  Bits digits = 0, separators = 0, commaBits = 0;
  for (int at = 0; at < loaded; at += 16) {
    const __m128i v = load(p + at);
    const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
    const __m128i comma = _mm_cmpeq_epi8(v, _mm_set1_epi8(Commas ? ',' : '\r'));
    digits |= static_cast<Bits>(static_cast<unsigned>(digitMask(v))) << at;
    separators |= static_cast<Bits>(static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(blank, comma)))) << at;
    if constexpr (Commas) commaBits |= static_cast<Bits>(static_cast<unsigned>(_mm_movemask_epi8(comma))) << at;
  }
  const Bits line = lowBits<Bits>(size);
  digits &= line;
  if ((digits | (separators & line)) != line) return -1;  // a byte that is neither
  // A run of more than eighteen digits anywhere declines the line before any
  // is read: bit i is left set where the digits i to i + 1, + 3, + 7, + 15
  // and at last + 18 follow one another.
  Bits longRuns = digits & (digits >> 1);
  longRuns &= longRuns >> 2;
  longRuns &= longRuns >> 4;
  longRuns &= longRuns >> 8;
  if (longRuns & (longRuns >> 3)) return -1;
  // The first and the last digit of every run, each run found in a few steps.
  Bits starts = digits & ~(digits << 1);
  Bits lasts = digits & ~(digits >> 1);
  int count = 0;
  int from = 0;  // the end of the number before
  while (starts) {
    const int start = lowestBit(starts);
    const int length = lowestBit(lasts) - start + 1;
    starts &= starts - 1;
    lasts &= lasts - 1;
    // A line of 8 * sizeof(Bits) bytes holds at most half as many numbers:
    // with room for those, no count needs to be checked.
    if (most < static_cast<int>(4 * sizeof(Bits)) && count == most) return -1;
    if constexpr (Commas) {
      // One comma between two numbers, none before the first.
      if (bitCount<Bits>(commaBits & lowBits<Bits>(start) & ~lowBits<Bits>(from)) != (count > 0 ? 1 : 0)) return -1;
      from = start + length;
    }
    out[count++] = static_cast<std::int64_t>(digitsValue(p + start, length));
  }
  if constexpr (Commas) {
    if (bitCount<Bits>(commaBits & line & ~lowBits<Bits>(from)) == 2) return -1;  // after the last: one comma at most
  }
  return count;
}

// The numbers of a line (from p to end) into out[0..most): with `Commas`
// false, separated by blanks (' ', '\t', '\r'); with it true, fields of an
// input deck, separated by a comma each with blanks (' ', '\t') around it,
// a comma after the last number allowed. How many, or -1: declined.
template <bool Commas>
[[gnu::always_inline]] inline int unsignedRecord(const char* p, const char* end, const char* limit,
                                                 std::int64_t* out, int most) {
  const int size = static_cast<int>(end - p);
  // Bytes up to 8 past the last block may be read as part of a number's eight.
  if (size == 0 || size > kMostLineBytes || limit - p < ((size + 15) & ~15) + 8) return -1;
  if (size <= 64) return unsignedRecordIn<std::uint64_t, Commas>(p, size, out, most);
  return unsignedRecordIn<unsigned __int128, Commas>(p, size, out, most);
}

#else
template <bool Commas>
inline int unsignedRecord(const char*, const char*, const char*, std::int64_t*, int) {
  return -1;
}
#endif

}  // namespace F_DigitScan
