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

#include <algorithm>
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

// True at a line end, "\n" or "\r\n" (its '\n' before `end`, as files
// written on some systems end their lines), with q moved onto the '\n'.
[[gnu::always_inline]] inline bool lineEnd(const char*& q, const char* end) {
  if (*q == '\n') return true;
  if (*q == '\r' && end - q > 1 && q[1] == '\n') {
    ++q;
    return true;
  }
  return false;
}

// The unsigned numbers of the line at p into out (at most `most` of them):
// with `Commas` false separated by blanks (' ', '\t'); with it true, fields
// of an input deck, a comma between two numbers with blanks around it and
// one comma after the last allowed. The line starts with its first digit
// and may end in blanks before its line end ("\n" or "\r\n"). How many
// numbers, p moved past the line end; -1 (p unchanged) for any other line.
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
    if (lineEnd(q, end)) break;
    if constexpr (Commas) {
      if (*q != ',') return -1;
      ++q;
      skipBlanks(q, end);
      if (q >= end) return -1;
      if (lineEnd(q, end)) break;  // a comma after the last number
    }
  }
  p = q + 1;
  return count;
}

// The layout of a record line: where each of its numbers stands and how
// long it is, and every other byte. In a long run of records the numbers
// mostly keep their widths for thousands of lines, so a line laid out like
// the one before it is checked in one pass of sixteen bytes at a time and
// its numbers, each at a place known beforehand, read side by side, where
// record() must find the end of each number before it can look for the
// next. A line laid out the same holds the same bytes but for its digits,
// so record() would take it too, and read the same numbers from it. Where
// numbers of many widths mix (nodes numbered at random), layouts seldom
// repeat: learning one costs about what one line read by it saves, so
// after a few layouts in a row that found fewer than two lines alike, the
// next is learnt only after a wait, which doubles while they find no more.
class RecordShape {
 public:
  static constexpr int kMostBytes = 128;    // a longer line keeps no layout
  static constexpr int kMostNumbers = 32;   // nor one of more numbers
  static constexpr int kFruitfulHits = 2;   // lines a layout must find
  static constexpr int kFruitless = 4;      // layouts in a row finding fewer, before a wait
  static constexpr int kMostWait = 64;      // lines

  // Numbers [first, first + count) of a line kept as bytes to match, digits
  // and all (the type and tags of an element line, say), not read; `slots`
  // places are left for them among the numbers read.
  struct Fixed {
    int first, count, slots;
  };

  // The `bytes` bytes at p (its line end included), a line that record()
  // took and read() did not: its layout is the one to look for next, unless
  // a wait is due.
  [[gnu::always_inline]] void taken(const char* p, int bytes, Fixed fixed = Fixed{0, 0, 0}) {
    if (wait_ > 0) {
      --wait_;
      return;
    }
    learnOrWait(p, bytes, fixed);
  }
  [[gnu::noinline]] void learnOrWait(const char* p, int bytes, Fixed fixed) {
    if (tried_) {
      tried_ = false;
      if (hits_ >= kFruitfulHits) {
        fruitless_ = backoff_ = 0;
      } else if (++fruitless_ >= kFruitless) {
        // This line is the first of the wait.
        backoff_ = std::min(2 * backoff_ + 1, kMostWait);
        wait_ = backoff_ - 1;
        bytes_ = 0;
        return;
      }
    }
    learn(p, bytes, fixed);
    hits_ = 0;
    tried_ = bytes_ != 0;
  }
  void clear() {
    bytes_ = 0;
    tried_ = false;
    hits_ = wait_ = backoff_ = fruitless_ = 0;
  }

  // Keeps the layout of the `bytes` bytes at p (a line that record() took,
  // its line end included); the kMostBytes bytes from p are read.
  void learn(const char* p, int bytes, Fixed fixed = Fixed{0, 0, 0}) {
    bytes_ = 0;
    count_ = 0;
#if defined(__SSE2__) && defined(__SIZEOF_INT128__)
    if (bytes <= 0 || bytes > kMostBytes) return;
    using Bits = unsigned __int128;
    Bits digits = 0;
    for (int b = 0; b < kMostBytes / 16; ++b) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * b));
      _mm_store_si128(reinterpret_cast<__m128i*>(text_ + 16 * b), v);
      digits |= static_cast<Bits>(static_cast<unsigned>(F_RecordScan::digitMask(v))) << (16 * b);
    }
    const Bits line = bytes == kMostBytes ? ~Bits{0} : (Bits{1} << bytes) - 1;
    digits &= line;
    Bits kept = 0;  // digits of the fixed numbers
    // The runs of digits in turn, each number's from its first to its last.
    Bits starts = digits & ~(digits << 1), lasts = digits & ~(digits >> 1);
    auto lowest = [](Bits bits) {
      const auto low = static_cast<std::uint64_t>(bits);
      return low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(static_cast<std::uint64_t>(bits >> 64));
    };
    for (int number = 0; starts != 0; ++number) {
      const int start = lowest(starts), length = lowest(lasts) - start + 1;
      starts &= starts - 1;
      lasts &= lasts - 1;
      if (number >= fixed.first && number < fixed.first + fixed.count) {
        kept |= ((Bits{1} << length) - 1) << start;
        continue;
      }
      if (count_ == kMostNumbers || length > 16) {
        count_ = 0;
        return;
      }
      start_[count_] = static_cast<std::uint8_t>(start);
      length_[count_] = static_cast<std::uint8_t>(length);
      slot_[count_++] = static_cast<std::uint8_t>(number < fixed.first ? number : number - fixed.count + fixed.slots);
    }
    digits &= ~kept;
    const Bits others = line & ~digits;
    for (int b = 0; b < kMostBytes / 16; ++b) {
      digits_[b] = static_cast<std::uint16_t>(digits >> (16 * b));
      others_[b] = static_cast<std::uint16_t>(others >> (16 * b));
    }
    bytes_ = bytes;
#else
    (void)p;
    (void)bytes;
    (void)fixed;
#endif
  }

  // The numbers of the line at p, laid out as the one learnt, each given to
  // put(slot, value) (in the order they stand): how many, p moved past the
  // line; -1 (p unchanged, nothing given) for a line laid out otherwise, or
  // whose line end does not lie before `end`. Reads up to 15 bytes past the
  // line.
  template <class Put>
  [[gnu::always_inline]] int read(const char*& p, const char* end, Put&& put) {
#if defined(__SSE2__)
    if (bytes_ == 0 || end - p < bytes_) return -1;
    unsigned wrong = 0;
    for (int b = 0; 16 * b < bytes_; ++b) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * b));
      const __m128i t = _mm_load_si128(reinterpret_cast<const __m128i*>(text_ + 16 * b));
      const auto digits = static_cast<unsigned>(F_RecordScan::digitMask(v));
      const auto same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, t)));
      wrong |= (digits_[b] & ~digits) | (others_[b] & ~same);
    }
    if (wrong != 0) return -1;
    for (int k = 0; k < count_; ++k) {
      const char* const q = p + start_[k];
      const int n = length_[k];
      put(static_cast<int>(slot_[k]),
          n <= 8 ? F_RecordScan::eightDigits(eightAt(q), n)
                 : F_RecordScan::eightDigits(eightAt(q), 8) * kPowers[n - 8] + F_RecordScan::eightDigits(eightAt(q + 8), n - 8));
    }
    p += bytes_;
    ++hits_;
    return count_;
#else
    (void)p;
    (void)end;
    (void)put;
    return -1;
#endif
  }
  // The same into out[slot] (room for kMostNumbers + the slots left).
  [[gnu::always_inline]] int read(const char*& p, const char* end, std::int64_t* out) {
    return read(p, end, [out](int slot, std::uint64_t value) { out[slot] = static_cast<std::int64_t>(value); });
  }
  // The same in 32 bits: -1 (p unchanged) also when a number does not fit
  // (the slots may then have been written).
  [[gnu::always_inline]] int read(const char*& p, const char* end, std::int32_t* out) {
    std::uint64_t all = 0;
    const char* q = p;
    const int n = read(q, end, [out, &all](int slot, std::uint64_t value) {
      out[slot] = static_cast<std::int32_t>(value);
      all |= value;
    });
    if (n < 0 || all > INT32_MAX) return -1;
    p = q;
    return n;
  }

 private:
  int bytes_ = 0;  // 0: none learnt
  int count_ = 0;  // numbers read
  bool tried_ = false;  // a layout was learnt since the last wait
  int hits_ = 0;        // lines read since it was learnt
  int wait_ = 0;        // lines taken before the next is learnt
  int backoff_ = 0;     // the wait after too many of those
  int fruitless_ = 0;   // layouts in a row that found fewer than kFruitfulHits lines
  std::uint8_t start_[kMostNumbers] = {}, length_[kMostNumbers] = {}, slot_[kMostNumbers] = {};
  std::uint16_t digits_[kMostBytes / 16] = {}, others_[kMostBytes / 16] = {};  // bits of each 16 bytes
  alignas(16) char text_[kMostBytes] = {};
};

// Up to 16 bytes to find again, compared at once with the bytes at a place.
class Pattern {
 public:
  static constexpr int kMostBytes = 16;
  // Matches nothing until set.
  void clear() { length_ = -1; }
  // The `length` bytes at p (up to kMostBytes; a longer run matches nothing).
  void set(const char* p, int length) {
    length_ = -1;
    if (length < 0 || length > kMostBytes) return;
    char padded[kMostBytes] = {};
    std::memcpy(padded, p, static_cast<std::size_t>(length));
    low_ = eightAt(padded);
    high_ = eightAt(padded + 8);
    lowMask_ = length >= 8 ? ~0ull : (1ull << (8 * length)) - 1;
    highMask_ = length <= 8 ? 0 : length == 16 ? ~0ull : (1ull << (8 * (length - 8))) - 1;
    length_ = length;
  }
  int length() const { return length_; }
  // Adds `delta` to byte i of the pattern (below its length; the byte stays
  // a byte).
  [[gnu::always_inline]] void add(int i, int delta) {
    const std::uint64_t step = static_cast<std::uint64_t>(static_cast<std::int64_t>(delta));
    if (i < 8) {
      low_ += step << (8 * i);
    } else {
      high_ += step << (8 * (i - 8));
    }
  }
  // True when the bytes at p are the pattern's (reads the 16 bytes from p).
  [[gnu::always_inline]] bool at(const char* p) const {
    return length_ >= 0 && (((eightAt(p) ^ low_) & lowMask_) | ((eightAt(p + 8) ^ high_) & highMask_)) == 0;
  }

 private:
  int length_ = -1;
  std::uint64_t low_ = 0, high_ = 0, lowMask_ = 0, highMask_ = 0;
};

// The decimal digits of the number after the last one a part read (of up
// to 15 digits), so that the usual line, numbered one more than the line
// before it, has its number matched with one compare instead of read
// digit by digit. Matches nothing until set.
class NextNumber {
 public:
  static constexpr int kMostDigits = 15;

  void clear() { digits_.clear(); }
  // The number after `value`.
  void set(std::uint64_t value) {
    digits_.clear();
    if (value >= 999'999'999'999'999ull) return;
    value_ = value + 1;
    char reversed[kMostDigits];
    int n = 0;
    for (std::uint64_t v = value_; v > 0 || n == 0; v /= 10) reversed[n++] = static_cast<char>('0' + v % 10);
    for (int i = 0; i < n; ++i) text_[i] = reversed[n - 1 - i];
    length_ = n;
    digits_.set(text_, length_);
  }
  // Moves on to the number after it: nine times in ten its last digit
  // goes up by one.
  [[gnu::always_inline]] void advance() {
    if (length_ > 0 && text_[length_ - 1] != '9' && digits_.length() >= 0) {
      ++text_[length_ - 1];
      digits_.add(length_ - 1, 1);
      ++value_;
      return;
    }
    carry();
  }
  // Its digits (0 when it matches nothing).
  int length() const { return std::max(digits_.length(), 0); }
  std::uint64_t value() const { return value_; }
  // True when the digit run at p is this number's, with nothing before the
  // digits (reads the 16 bytes from p).
  [[gnu::always_inline]] bool at(const char* p) const {
    return digits_.at(p) && static_cast<unsigned>(p[digits_.length()] - '0') > 9;
  }

 private:
  [[gnu::noinline]] void carry() {
    if (digits_.length() < 0) return;
    int i = length_ - 1;
    while (i >= 0 && text_[i] == '9') {
      text_[i] = '0';
      digits_.add(i--, '0' - '9');
    }
    if (i >= 0) {
      ++text_[i];
      digits_.add(i, 1);
      ++value_;
      return;
    }
    // All nines: one digit more.
    if (length_ == kMostDigits) {
      digits_.clear();
      return;
    }
    text_[0] = '1';
    text_[length_++] = '0';
    ++value_;
    digits_.set(text_, length_);
  }

  Pattern digits_;
  char text_[kMostDigits] = {};
  int length_ = 0;
  std::uint64_t value_ = 0;
};

}  // namespace F_QuickLines
