#include "import/F_TextScanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/F_RecordScan.h"
#include "import/F_QuickLines.h"
#include "include/F_Errors.h"

namespace {

constexpr auto kDelimiters = [] {
  std::array<bool, 256> table{};
  table[' '] = table['\n'] = table['\r'] = table['\t'] = true;
  return table;
}();
inline bool isDelimiter(char c) { return kDelimiters[static_cast<unsigned char>(c)]; }

}  // namespace

bool parseInteger(std::string_view t, std::int64_t& value) {
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  // The usual shape, up to 18 digits, without the general conversion.
  std::size_t i = !t.empty() && t.front() == '-' ? 1 : 0;
  if (t.size() > i && t.size() - i <= 18) {
    std::int64_t v = 0;
    for (std::size_t k = i; k < t.size(); ++k) {
      const unsigned d = static_cast<unsigned char>(t[k]) - '0';
      if (d > 9) return false;
      v = v * 10 + d;
    }
    value = i ? -v : v;
    return true;
  }
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  return ec == std::errc() && end == t.data() + t.size() && !t.empty();
}

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

#if (defined(__x86_64__) || defined(__i386__)) && defined(__LDBL_MANT_DIG__) && __LDBL_MANT_DIG__ == 64
// The x87 extended format: a 64-bit significand, in which every power of ten
// up to 1e27 (5^27 < 2^63) is exact.
constexpr long double kExtendedPowersOfTen[] = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
    1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
constexpr int kMostExtendedExponent = 27;

// mantissa x 10^exponent for a mantissa below 2^63 and an exponent in
// [-27, 27] (what 16 to 19 significant digits, as solvers write
// coordinates, need): the exact operands give one rounding to 64 bits, and
// the rounding of that to 53 bits is the correct one unless it lies exactly
// halfway between two doubles (the 11 bits below a double's last one
// 10000000000), where the first rounding may have made the tie. False then.
// Every result lies far inside the normal range of doubles (1e-27 up to
// 1e46), so none is subnormal and the bits below a double's are always these
// 11.
inline bool extendedProduct(std::uint64_t mantissa, int exponent, double& value) {
  const long double m = static_cast<long double>(static_cast<std::int64_t>(mantissa));
  const long double r = exponent < 0 ? m / kExtendedPowersOfTen[-exponent] : m * kExtendedPowersOfTen[exponent];
  std::uint64_t significand;
  std::memcpy(&significand, &r, sizeof significand);
  if ((significand & 0x7FF) == 0x400) return false;
  value = static_cast<double>(r);
  return true;
}
#else
constexpr int kMostExtendedExponent = -1;
inline bool extendedProduct(std::uint64_t, int, double&) { return false; }
#endif

}  // namespace

// The digits at q (q moves past them) into `mantissa`, which wraps once
// more than 19 have come: callers that meet that many do not use it. Runs
// of digits are taken eight at a time while eight bytes lie before `end`.
inline std::size_t takeDigits(const char*& q, const char* const end, std::uint64_t& mantissa) {
  const char* const from = q;
  if constexpr (std::endian::native == std::endian::little) {
    static constexpr std::uint64_t kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    while (end - q >= 8) {
      std::uint64_t chunk;
      std::memcpy(&chunk, q, 8);
      // A byte's top bit is set once 0x46 is added to a byte above '9' or
      // '0' taken from one below it; carries and borrows only reach the
      // bytes after the first such byte.
      const std::uint64_t other =
          ((chunk + 0x4646464646464646ull) | (chunk - 0x3030303030303030ull)) & 0x8080808080808080ull;
      const int n = other ? std::countr_zero(other) / 8 : 8;
      if (n == 0) break;
      mantissa = mantissa * kPowers[n] + F_RecordScan::eightDigits(chunk, n);
      q += n;
      if (n < 8) return static_cast<std::size_t>(q - from);
    }
  }
  while (q < end && static_cast<unsigned>(*q - '0') <= 9) mantissa = mantissa * 10 + static_cast<unsigned>(*q++ - '0');
  return static_cast<std::size_t>(q - from);
}

// The text from `start` to `stop` converted the general way.
[[gnu::noinline]] bool generalReal(const char* start, const char* stop, double& value) {
  if (*start == '+') ++start;
  const auto [to, ec] = std::from_chars(start, stop, value);
  return ec == std::errc() && to == stop;
}

// mantissa x 10^exponent from `digits` digits (the mantissa wrapped when
// there were more than 19), the text of the real from `start` to `stop`
// (converted the general way when the quick ones do not apply).
[[gnu::always_inline]] inline bool convertReal(bool negative, std::uint64_t mantissa, std::size_t digits,
                                               int exponent, const char* start, const char* stop, double& value) {
  // Up to 19 digits fit the mantissa; one below 2^53 and a power of ten up to
  // 1e22 are both exact, so one multiplication or division rounds correctly.
  if (digits <= 19 && mantissa < (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
    const double m = static_cast<double>(mantissa);
    const double v = exponent < 0 ? m / kPowersOfTen[-exponent] : m * kPowersOfTen[exponent];
    value = negative ? -v : v;
    return true;
  }
  if (digits <= 19 && mantissa < (std::uint64_t{1} << 63) && exponent >= -kMostExtendedExponent &&
      exponent <= kMostExtendedExponent && extendedProduct(mantissa, exponent, value)) {
    if (negative) value = -value;
    return true;
  }
  return generalReal(start, stop, value);
}

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// The n (0 to 19) digits at q as a number, reading up to 8 bytes past them.
inline std::uint64_t digitsValue(const char* q, int n) {
  std::uint64_t v = 0;
  if (const int r = n & 7) {
    std::uint64_t chunk;
    std::memcpy(&chunk, q, 8);
    v = F_RecordScan::eightDigits(chunk, r);
    q += r;
  }
  for (int k = n >> 3; k > 0; --k, q += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, q, 8);
    v = v * 100000000 + F_RecordScan::eightDigits(chunk, 8);
  }
  return v;
}

// 10^n for n digits after a point (up to 19).
constexpr std::uint64_t kDigitPowers[] = {1,
                                                10,
                                                100,
                                                1000,
                                                10000,
                                                100000,
                                                1000000,
                                                10000000,
                                                100000000,
                                                1000000000,
                                                10000000000,
                                                100000000000,
                                                1000000000000,
                                                10000000000000,
                                                100000000000000,
                                                1000000000000000,
                                                10000000000000000,
                                                100000000000000000,
                                                1000000000000000000,
                                                10000000000000000000ull};

// Bytes from the sign of a real that the quick scan reads: 32 classified at
// once, and 8 past a run of digits that ends before them.
constexpr std::ptrdiff_t kQuickRealBytes = 1 + 32 + 8;

// The plain shape, [sign] digits [. digits] with 1 to 19 digits and no
// exponent, found with the classes of 32 bytes at once; the bytes from p to
// p + kQuickRealBytes may be read. False when the real is of another shape
// (nothing decided).
[[gnu::always_inline]] inline bool quickReal(const char* p, const char* end, const char*& stop, double& value) {
  const char* const start = p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  const std::ptrdiff_t field = end - p;
  if (field <= 0) return false;
  const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9), dot = _mm_set1_epi8('.');
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i da = _mm_sub_epi8(a, zero), db = _mm_sub_epi8(b, zero);
  std::uint64_t digits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(da, nine), da))) |
                         static_cast<std::uint64_t>(static_cast<std::uint32_t>(
                             _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(db, nine), db))))
                             << 16;
  std::uint64_t dots = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, dot))) |
                       static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, dot))))
                           << 16;
  if (field < 32) {
    const std::uint64_t inField = (std::uint64_t{1} << field) - 1;
    digits &= inField;
    dots &= inField;
  }
  // Bit 32 stands for the bytes past the 32 classified: no digit, no point.
  const int whole = std::countr_zero(~digits);
  int fraction = 0;
  int length = whole;
  if ((dots >> whole) & 1) {
    fraction = std::countr_zero(~(digits >> (whole + 1)));
    length = whole + 1 + fraction;
  }
  const int count = whole + fraction;
  if (count == 0 || count > 19 || length >= 32) return false;
  const char* const after = p + length;
  if (after < end && (*after == 'e' || *after == 'E')) return false;
  std::uint64_t mantissa = digitsValue(p, whole);
  if (fraction > 0) {
    mantissa = mantissa * kDigitPowers[fraction] + digitsValue(p + whole + 1, fraction);
  }
  stop = after;
  return convertReal(negative, mantissa, static_cast<std::size_t>(count), -fraction, start, after, value);
}

// Masks that keep the last n bytes of sixteen, for n from 0 to 16.
constexpr auto kKeepLast = [] {
  std::array<std::array<unsigned char, 16>, 17> masks{};
  for (int n = 0; n <= 16; ++n) {
    for (int i = 16 - n; i < 16; ++i) masks[static_cast<std::size_t>(n)][static_cast<std::size_t>(i)] = 0xFF;
  }
  return masks;
}();

// The n (1 to 16) digits that end just before `after` as a number, all at
// once: the sixteen bytes before `after` (which must be readable), those
// before the digits cleared, then pairs, fours and eights of digits joined
// by multiply-adds.
inline std::uint64_t lastDigitsValue(const char* after, int n) {
  const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast[static_cast<std::size_t>(n)].data()));
  const __m128i d = _mm_and_si128(
      _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(after - 16)), _mm_set1_epi8('0')), keep);
  const __m128i zero = _mm_setzero_si128();
  const __m128i tens = _mm_set1_epi32((1 << 16) | 10);  // the first of each pair is worth ten of the second
  const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(d, zero), tens),
                                        _mm_madd_epi16(_mm_unpackhi_epi8(d, zero), tens));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32((1 << 16) | 100));
  const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32((1 << 16) | 10000));
  const auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights));
  return (both & 0xFFFFFFFF) * 100000000 + (both >> 32);
}

// How many bits are set, counted up to `most` + 1 (without a population
// count instruction the library's count is a call).
inline int bitsUpTo(std::uint64_t bits, int most) {
  int n = 0;
  for (; bits && n <= most; bits &= bits - 1) ++n;
  return n;
}

// plainNodeLine, and with `Commas` plainDeckNodeLine (an id always, one
// to three coordinates, the others 0).
template <bool Commas>
bool nodeLine(const char* p, const char* end, const char* limit, bool withId, std::int64_t& id, double* xyz) {
  const std::ptrdiff_t size = end - p;
  if (size <= 0 || size > kNodeLineBytes || limit - p < kNodeLineBytes + 8) return false;
  // A copy of the line after sixteen bytes of zeros, so that the sixteen
  // bytes before any run of digits can be read.
  alignas(16) char copy[16 + kNodeLineBytes];
  _mm_store_si128(reinterpret_cast<__m128i*>(copy), _mm_set1_epi8('0'));
  const char* const line0 = copy + 16;
  // The value of the n digits from `at` of the line.
  auto value = [&](int at, int n) -> std::uint64_t {
    if (n == 1) return static_cast<unsigned>(p[at] - '0');
    return n <= 16 ? lastDigitsValue(line0 + at + n, n) : digitsValue(p + at, n);
  };
  // The classes of the line's bytes, one bit each, found sixteen at a time.
  std::uint64_t digits = 0, dots = 0, minus = 0, blanks = 0, commas = 0;
  for (int at = 0; at < kNodeLineBytes; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    _mm_store_si128(reinterpret_cast<__m128i*>(copy + 16 + at), v);
    // Fields of a deck are separated by commas with blanks around them,
    // which a carriage return is not.
    const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                                       _mm_cmpeq_epi8(v, _mm_set1_epi8(Commas ? ',' : '\r')));
    if constexpr (Commas) commas |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(','))))) << at;
    digits |= static_cast<std::uint64_t>(static_cast<unsigned>(F_RecordScan::digitMask(v))) << at;
    dots |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.'))))) << at;
    minus |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('-'))))) << at;
    blanks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(blank))) << at;
  }
  const std::uint64_t line = size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << size) - 1;
  if (((digits | dots | minus | blanks) & line) != line) return false;  // a byte of no number
  const std::uint64_t word = ~blanks & line;
  std::uint64_t starts = word & ~(word << 1);
  std::uint64_t lasts = word & ~(word >> 1);
  const int words = bitsUpTo(starts, 4);
  int coordinates = 3;
  if constexpr (Commas) {
    // One comma between two words, none before the first, at most one after the last.
    if (words < 2 || words > 4) return false;
    coordinates = words - 1;
    auto below = [](int bit) { return bit >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bit) - 1; };
    std::uint64_t from = 0;  // bits before the end of the word before
    for (std::uint64_t rest = starts, ends = lasts; rest; rest &= rest - 1, ends &= ends - 1) {
      const std::uint64_t between = commas & below(std::countr_zero(rest)) & ~from;
      if (bitsUpTo(between, 1) != (from ? 1 : 0)) return false;
      from = below(std::countr_zero(ends) + 1);
    }
    if (bitsUpTo(commas & line & ~from, 1) > 1) return false;
    for (int k = coordinates; k < 3; ++k) xyz[k] = 0;
  } else if (words != (withId ? 4 : 3)) {
    return false;
  }
  // The run of set bits from bit `from` (a word may end on the last byte).
  auto run = [](std::uint64_t bits, int from) { return from >= 64 ? 0 : std::countr_zero(~(bits >> from)); };
  if (withId) {
    const int s = std::countr_zero(starts);
    const int length = std::countr_zero(lasts) - s + 1;
    if (length > 18 || run(digits, s) != length) return false;
    id = static_cast<std::int64_t>(value(s, length));
    starts &= starts - 1;
    lasts &= lasts - 1;
  }
  for (int k = 0; k < coordinates; ++k) {
    const int s = std::countr_zero(starts);
    const int e = std::countr_zero(lasts) + 1;  // past the word
    starts &= starts - 1;
    lasts &= lasts - 1;
    // [-]digits.digits, or [-]digits: 1 to 19 digits, no exponent.
    const bool negative = (minus >> s) & 1;
    const int q = s + (negative ? 1 : 0);
    const int whole = run(digits, q);
    int fraction = 0;
    if (q + whole < e) {
      if (!((dots >> (q + whole)) & 1)) return false;
      fraction = run(digits, q + whole + 1);
      if (fraction == 0 || q + whole + 1 + fraction != e) return false;
    }
    if (whole == 0 || whole + fraction > 19) return false;
    std::uint64_t mantissa = value(q, whole);
    if (fraction > 0) mantissa = mantissa * kDigitPowers[fraction] + value(q + whole + 1, fraction);
    if (!convertReal(negative, mantissa, static_cast<std::size_t>(whole + fraction), -fraction, p + s, p + e, xyz[k])) {
      return false;
    }
  }
  return true;
}

bool plainNodeLine(const char* p, const char* end, const char* limit, bool withId, std::int64_t& id, double* xyz) {
  return nodeLine<false>(p, end, limit, withId, id, xyz);
}
bool plainDeckNodeLine(const char* p, const char* end, const char* limit, std::int64_t& id, double* xyz) {
  return nodeLine<true>(p, end, limit, true, id, xyz);
}
#else
constexpr std::ptrdiff_t kQuickRealBytes = PTRDIFF_MAX;
inline bool quickReal(const char*, const char*, const char*&, double&) { return false; }
bool plainNodeLine(const char*, const char*, const char*, bool, std::int64_t&, double*) { return false; }
bool plainDeckNodeLine(const char*, const char*, const char*, std::int64_t&, double*) { return false; }
#endif

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
namespace {

// The digits at q (before `end`) into `mantissa`, eight at a time; how many
// (more than 19 only as far as it takes to know). q moves past them.
[[gnu::always_inline]] inline int quickDigits(const char*& q, const char* end, std::uint64_t& mantissa) {
  int digits = 0;
  for (;;) {
    const std::uint64_t c = F_QuickLines::eightAt(q);
    const int n = F_QuickLines::digitRun(c);
    if (n > 0) {
      mantissa = mantissa * kDigitPowers[n] + F_RecordScan::eightDigits(c, n);
      digits += n;
      q += n;
    }
    if (n < 8 || digits > 19 || q >= end) return digits;
  }
}

// The run of digits at q (moved past it) into `value`: the first 16 found
// and joined sixteen bytes at once (the sixteen bytes before q readable),
// the rest eight at a time. How many digits (more than 19 only as far as it
// takes to know).
[[gnu::always_inline]] inline int quickRun(const char*& q, const char* end, std::uint64_t& value) {
  const int n = std::countr_zero(
      ~static_cast<unsigned>(F_RecordScan::digitMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)))));
  if (n == 16) {
    // 17 significant digits, as a double is written to be read back exactly, are the usual long run.
    value = lastDigitsValue(q + 16, 16);
    q += 16;
    if (q >= end) return 16;  // past the text: the caller declines it
    return 16 + quickDigits(q, end, value);
  }
  value = n <= 1 ? (n == 1 ? static_cast<unsigned>(*q - '0') : 0) : lastDigitsValue(q + n, n);
  q += n;
  return n;
}

// [-]digits[.digits] at q (before `end`), 1 to 19 digits, converted as
// parseRealPrefix would; q moves past it. False for any other shape.
[[gnu::always_inline]] inline bool quickLineReal(const char*& q, const char* end, double& value) {
  const char* const start = q;
  const bool negative = *q == '-';
  if (negative) ++q;
  std::uint64_t mantissa = 0;
  const int whole = quickRun(q, end, mantissa);
  if (whole == 0 || whole > 19 || q >= end) return false;
  int fraction = 0;
  if (*q == '.') {
    ++q;
    if (q >= end) return false;
    std::uint64_t part = 0;
    fraction = quickRun(q, end, part);
    if (fraction == 0 || whole + fraction > 19 || q >= end) return false;
    mantissa = mantissa * kDigitPowers[fraction] + part;
  }
  return convertReal(negative, mantissa, static_cast<std::size_t>(whole + fraction), -fraction, start, q, value);
}

// The first byte of a number at q: a digit or a minus sign.
[[gnu::always_inline]] inline bool startsNumber(char c) { return static_cast<unsigned>(c - '0') <= 9 || c == '-'; }

// Passes the blanks between two words at q (there must be one): the usual
// single blank without a loop.
[[gnu::always_inline]] inline bool passBlanks(const char*& q, const char* end) {
  if (q[0] == ' ' && startsNumber(q[1])) {
    ++q;
    return true;
  }
  if (!F_QuickLines::blank(*q)) return false;
  F_QuickLines::skipBlanks(q, end);
  return true;
}

}  // namespace

const char* quickNodeLine(const char* p, const char* end, bool withId, std::int64_t& id, double* xyz) {
  const char* q = p;
  if (withId) {
    std::uint64_t v = 0;
    if (q >= end || !F_QuickLines::number(q, v) || q >= end || !passBlanks(q, end)) return nullptr;
    id = static_cast<std::int64_t>(v);
  }
  for (int k = 0; k < 3; ++k) {
    if (q >= end || !quickLineReal(q, end, xyz[k])) return nullptr;
    if (k < 2 && !passBlanks(q, end)) return nullptr;
  }
  F_QuickLines::skipBlanks(q, end);
  return q < end && F_QuickLines::lineEnd(q, end) ? q + 1 : nullptr;
}

const char* quickDeckNodeLine(const char* p, const char* end, std::int64_t& id, double* xyz) {
  const char* q = p;
  std::uint64_t v = 0;
  if (q >= end || !F_QuickLines::number(q, v)) return nullptr;
  id = static_cast<std::int64_t>(v);
  int k = 0;
  for (;;) {
    // The usual ", " before a number first.
    if (q < end && q[0] == ',' && q[1] == ' ' && startsNumber(q[2])) {
      q += 2;
    } else {
      F_QuickLines::skipBlanks(q, end);
      if (q >= end) return nullptr;
      if (F_QuickLines::lineEnd(q, end)) break;
      if (*q != ',') return nullptr;
      ++q;
      F_QuickLines::skipBlanks(q, end);
      if (q >= end) return nullptr;
      if (F_QuickLines::lineEnd(q, end)) break;  // a comma after the last word
    }
    if (k == 3 || q >= end || !quickLineReal(q, end, xyz[k])) return nullptr;
    ++k;
  }
  if (k == 0) return nullptr;
  for (int j = k; j < 3; ++j) xyz[j] = 0;
  return q + 1;
}
#else
const char* quickNodeLine(const char*, const char*, bool, std::int64_t&, double*) { return nullptr; }
const char* quickDeckNodeLine(const char*, const char*, std::int64_t&, double*) { return nullptr; }
#endif

// Sign, digits, an optional fraction and exponent, nothing else ("inf" and
// "nan" are no coordinates).
bool parseRealPrefix(const char* p, const char* const end, const char*& stop, double& value, const char* limit) {
  if (limit - p >= kQuickRealBytes && quickReal(p, end, stop, value)) return true;
  const char* const start = p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  std::uint64_t mantissa = 0;
  std::size_t digits = takeDigits(p, end, mantissa);
  int exponent = 0;
  if (p < end && *p == '.') {
    ++p;
    const std::size_t fraction = takeDigits(p, end, mantissa);
    digits += fraction;
    exponent = -static_cast<int>(std::min<std::size_t>(fraction, 100000));
  }
  if (digits == 0) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool minus = false;
    if (p < end && (*p == '+' || *p == '-')) minus = *p++ == '-';
    if (p == end || static_cast<unsigned>(*p - '0') > 9) return false;
    int e = 0;
    for (; p < end && static_cast<unsigned>(*p - '0') <= 9; ++p) e = std::min(e * 10 + (*p - '0'), 100000);
    exponent += minus ? -e : e;
  }
  stop = p;
  return convertReal(negative, mantissa, digits, exponent, start, p, value);
}

bool parseReal(std::string_view t, double& value) {
  const char* stop = nullptr;
  return parseRealPrefix(t.data(), t.data() + t.size(), stop, value) && stop == t.data() + t.size();
}

bool F_TextScanner::fill() {
  // Unread bytes move to the front; new ones follow them.
  const std::size_t keep = end_ - pos_;
  std::memmove(buf_.data(), buf_.data() + pos_, keep);
  consumedBefore_ += pos_;
  pos_ = 0;
  end_ = keep;
  if (buf_.size() - end_ < kBufferSize / 2) buf_.resize(end_ + kBufferSize);
  // Straight from the file, a piece small enough to be parsed while it is
  // still in the cache (the stream's own blocks would be copied out to
  // memory and read back); past the size known at the start (a file still
  // growing), through the stream.
  const std::uint64_t at = fileOffset() + end_;
  std::size_t n = 0;
  if (at < file_.size()) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::min(buf_.size() - end_, kFillBytes), file_.size() - at));
    n = file_.readAt(at, buf_.data() + end_, want);
    file_.seek(at + n);
  } else {
    n = file_.read(buf_.data() + end_, buf_.size() - end_);
  }
  end_ += n;
  return n > 0;
}

std::size_t F_TextScanner::slowBytes(void* out, std::size_t n) {
  // A read that reaches well past the buffered bytes takes the rest straight
  // from the file to its destination, so its bytes are copied once, not
  // through the buffers as well (a destination of the size the readers use
  // stays in the cache, where a buffer of blocks goes out to memory and
  // back); a small one refills the buffer, so the ones after it are served
  // from there again.
  const std::size_t have = end_ - pos_;
  if (n - have < kDirectRead) {
    fill();
    const std::size_t got = std::min(n, end_ - pos_);
    std::memcpy(out, buf_.data() + pos_, got);
    pos_ += got;
    return got;
  }
  auto* dst = static_cast<char*>(out);
  std::memcpy(dst, buf_.data() + pos_, have);
  pos_ = end_;
  const std::uint64_t at = fileOffset();
  if (at + (n - have) <= file_.size()) {
    const std::size_t got = file_.readAt(at, dst + have, n - have);
    seek(at + got, 0);
    return have + got;
  }
  // Past the size known at the start (a file still growing): read on through the stream.
  const std::size_t got = file_.read(dst + have, n - have);
  consumedBefore_ += got;  // the bytes read past the buffer count as consumed before its start
  return have + got;
}

int F_TextScanner::skipBlanks() {
  for (;;) {
    while (pos_ < end_) {
      const char c = buf_[pos_];
      if (!isDelimiter(c)) return static_cast<unsigned char>(c);
      if (c == '\n') ++line_;
      ++pos_;
    }
    if (!fill()) return -1;
  }
}

std::string_view F_TextScanner::nextWord() {
  if (skipBlanks() < 0) return {};
  std::size_t i = pos_;
  while (i < end_ && !isDelimiter(buf_[i])) ++i;
  if (i < end_) {
    // Whole in the buffer: no copy.
    const std::string_view w(buf_.data() + pos_, i - pos_);
    pos_ = i;
    return w;
  }
  word_.assign(buf_.data() + pos_, i - pos_);
  pos_ = i;
  while (fill()) {
    std::size_t k = pos_;
    while (k < end_ && !isDelimiter(buf_[k])) ++k;
    word_.append(buf_.data() + pos_, k - pos_);
    pos_ = k;
    if (k < end_) break;
    if (word_.size() > 4096) failMessage("ERROR\nA word longer than 4096 characters.");
  }
  return word_;
}

std::string_view F_TextScanner::word() { return nextWord(); }

std::string_view F_TextScanner::word(std::string_view what) {
  const std::string_view w = nextWord();
  if (w.empty()) fail(what, "the end of the file");
  return w;
}

void F_TextScanner::expect(std::string_view expected) {
  const std::string_view w = nextWord();
  if (w != expected) fail(expected, w.empty() ? "the end of the file" : w);
}

std::int64_t F_TextScanner::integer(std::string_view what) {
  // The usual case, digits read where they lie: a plain number of up to 18
  // digits followed by a delimiter within the buffer.
  if (skipBlanks() >= 0) {
    const char* const start = buf_.data() + pos_;
    const char* const stop = buf_.data() + end_;
    const char* p = start;
    const bool negative = *p == '-';
    if (negative) ++p;
    const char* const digits = p;
    std::int64_t v = 0;
    while (p < stop && static_cast<unsigned>(*p - '0') <= 9 && p - digits < 18) v = v * 10 + (*p++ - '0');
    if (p > digits && p < stop && isDelimiter(*p)) {
      pos_ += static_cast<std::size_t>(p - start);
      return negative ? -v : v;
    }
  }
  const std::string_view w = word(what);
  std::int64_t v = 0;
  if (!parseInteger(w, v)) fail(what, w);
  return v;
}

double F_TextScanner::real(std::string_view what) {
  const std::string_view w = word(what);
  double v = 0;
  if (!parseReal(w, v)) fail(what, w);
  return v;
}

std::string_view F_TextScanner::restOfLine() {
  lineText_.clear();
  for (;;) {
    const char* start = buf_.data() + pos_;
    const void* nl = std::memchr(start, '\n', end_ - pos_);
    if (nl) {
      const std::size_t n = static_cast<const char*>(nl) - start;
      pos_ += n + 1;
      ++line_;
      std::string_view text;
      if (lineText_.empty()) {
        text = std::string_view(start, n);
      } else {
        lineText_.append(start, n);
        text = lineText_;
      }
      if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
      return text;
    }
    lineText_.append(start, end_ - pos_);
    pos_ = end_;
    if (!fill()) break;
  }
  std::string_view text = lineText_;
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

void F_TextScanner::endLine() {
  for (;;) {
    while (pos_ < end_) {
      const char c = buf_[pos_];
      if (c == '\n') {
        ++pos_;
        ++line_;
        return;
      }
      if (!isDelimiter(c)) fail("the end of the line", nextWord());
      ++pos_;
    }
    if (!fill()) return;
  }
}

bool F_TextScanner::peekLine(std::string_view& line) {
  const void* nl = std::memchr(buf_.data() + pos_, '\n', end_ - pos_);
  if (!nl) {
    // Lines longer than half the buffer are left to the word-by-word reading,
    // so refills here move little and a file of one long line stays linear.
    if (end_ - pos_ >= kBufferSize / 2) return false;
    fill();
    nl = std::memchr(buf_.data() + pos_, '\n', end_ - pos_);
    if (!nl) return false;
  }
  peekEnd_ = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data());
  line = std::string_view(buf_.data() + pos_, peekEnd_ - pos_);
  return true;
}

bool F_LineFields::real(double& value) {
  skipBlanks();
  const char* stop = nullptr;
  // The usual shape inline here, anything else the whole way.
  const bool read = limit_ - p_ >= kQuickRealBytes ? quickReal(p_, end_, stop, value) ||
                                                         parseRealPrefix(p_, end_, stop, value, limit_)
                                                   : parseRealPrefix(p_, end_, stop, value, limit_);
  if (!read || (stop < end_ && !isBlank(*stop))) return false;
  p_ = stop;
  return true;
}

void F_TextScanner::skipPast(std::string_view marker) {
  const int startLine = line_;
  std::size_t matched = 0;
  while (matched < marker.size()) {
    if (pos_ == end_ && !fill()) {
      failRead(file_, "ERROR\nExpected " + std::string(marker) + " before the end of the file.", startLine);
    }
    const char c = buf_[pos_++];
    if (c == '\n') ++line_;
    if (c == marker[matched]) {
      ++matched;
    } else {
      matched = c == marker[0] ? 1 : 0;
    }
  }
}

bool F_TextScanner::atEnd() { return skipBlanks() < 0; }

void F_TextScanner::skipBufferedBlanks() {
  while (pos_ < end_ && isDelimiter(buf_[pos_])) {
    if (buf_[pos_] == '\n') ++line_;
    ++pos_;
  }
}

void F_TextScanner::seek(std::uint64_t at, int lines) {
  line_ += lines;
  const std::uint64_t bufferStart = base_ + consumedBefore_;
  if (at >= bufferStart && at - bufferStart <= end_) {
    pos_ = static_cast<std::size_t>(at - bufferStart);  // still buffered
    return;
  }
  // Past the buffered bytes: the file goes on from there, without reading
  // what lies between again.
  consumedBefore_ = at - base_;
  pos_ = end_ = 0;
  file_.seek(at);
}

std::string expectedMessage(std::string_view what, std::string_view found) {
  std::string text = "ERROR\nExpected ";
  text.append(what).append(", found ");
  if (found == "the end of the file") {
    text.append(found);
  } else {
    std::string shown(found.substr(0, 40));
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    }
    text.append("\"").append(shown).append("\"");
  }
  return text + ".";
}

void F_TextScanner::fail(std::string_view what, std::string_view found) const {
  failMessage(expectedMessage(what, found));
}

void F_TextScanner::failMessage(const std::string& message) const {
  if (!offsets_) failRead(file_, message, line_);
  const std::string_view head = "ERROR\n";
  std::string text(head);
  text += "Byte offset " + std::to_string(offset()) + ".\n";
  text += message.starts_with(head) ? message.substr(head.size()) : message;
  failRead(file_, text, 0);
}
