#pragma once
// Record lines of the plainest shape read in one pass from their first
// byte to their line end, eight bytes at a time: each number's digits are
// found and joined from one load, the separators after it checked as they
// come, and the line end found where the last number stops, so the bytes of
// a line are looked at once. A line of any other shape is declined (nothing
// decided) for the readings that judge every shape; every line taken here
// gives the numbers those readings give.
//
// `end` is where the bytes that belong to the text end: a line is taken
// only when its line end lies before it. Up to 17 bytes past any byte
// before `end` may be read (of no meaning past it).

#include <bit>
#include <cstdint>
#include <cstring>

#include "common/F_RecordScan.h"

namespace F_QuickLines {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kAvailable = true;
#else
constexpr bool kAvailable = false;
#endif

[[gnu::always_inline]] inline std::uint64_t eightAt(const char* p) {
  std::uint64_t c;
  std::memcpy(&c, p, 8);
  return c;
}

// How many of the eight bytes of `c`, from the first, are digits. A byte's
// top bit is set once 0x46 is added to a byte above '9' or '0' is taken
// from one below it; carries and borrows only reach the bytes after the
// first such byte.
[[gnu::always_inline]] inline int digitRun(std::uint64_t c) {
  const std::uint64_t other = ((c + 0x4646464646464646ull) | (c - 0x3030303030303030ull)) & 0x8080808080808080ull;
  return other ? std::countr_zero(other) >> 3 : 8;
}

inline constexpr std::uint64_t kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

[[gnu::always_inline]] inline bool blank(char c) { return c == ' ' || c == '\t'; }
// Passes the blanks at p (most separators are one blank: that one costs no loop).
[[gnu::always_inline]] inline void skipBlanks(const char*& p, const char* end) {
  if (p < end && blank(*p)) {
    ++p;
    while (p < end && blank(*p)) ++p;
  }
}

// An unsigned number of 1 to 16 digits at p (before `end`): its value, and
// p moved past it; false when p holds no digit, or more than 16.
[[gnu::always_inline]] inline bool number(const char*& p, std::uint64_t& value) {
  const std::uint64_t a = eightAt(p);
  const int n = digitRun(a);
  if (n < 8) {
    if (n == 0) return false;
    value = F_RecordScan::eightDigits(a, n);
    p += n;
    return true;
  }
  const std::uint64_t b = eightAt(p + 8);
  const int m = digitRun(b);
  if (m == 8 && static_cast<unsigned>(p[16] - '0') <= 9) return false;
  const std::uint64_t high = F_RecordScan::eightDigits(a, 8);
  value = m == 0 ? high : high * kPowers[m] + F_RecordScan::eightDigits(b, m);
  p += 8 + m;
  return true;
}

// The unsigned numbers of the line at p into out (at most `most` of them):
// with `Commas` false separated by blanks (' ', '\t'); with it true, fields
// of an input deck, a comma between two numbers with blanks around it and
// one comma after the last allowed. The line starts with its first digit
// and may end in blanks. How many numbers, p moved past the line end; -1
// (p unchanged) for any other line.
template <bool Commas>
[[gnu::always_inline]] inline int record(const char*& p, const char* end, std::int64_t* out, int most) {
  const char* q = p;
  int count = 0;
  for (;;) {
    std::uint64_t v = 0;
    if (q >= end || !number(q, v) || count == most) return -1;
    out[count++] = static_cast<std::int64_t>(v);
    // The usual separator first: one blank (with a comma before it in a
    // deck), then the next number's first digit (at or past `end`, the next
    // round declines it).
    if constexpr (Commas) {
      if (q < end && q[0] == ',' && q[1] == ' ' && static_cast<unsigned>(q[2] - '0') <= 9) {
        q += 2;
        continue;
      }
    } else {
      if (q < end && q[0] == ' ' && static_cast<unsigned>(q[1] - '0') <= 9) {
        ++q;
        continue;
      }
    }
    skipBlanks(q, end);
    if (q >= end) return -1;
    if (*q == '\n') break;
    if constexpr (Commas) {
      if (*q != ',') return -1;
      ++q;
      skipBlanks(q, end);
      if (q >= end) return -1;
      if (*q == '\n') break;  // a comma after the last number
    }
  }
  p = q + 1;
  return count;
}

}  // namespace F_QuickLines
