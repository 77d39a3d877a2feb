#include "import/F_TextScanner.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include <cstring>

#include "ImportFixtures.h"

TEST(F_TextScanner, RealsReadByTheQuickWayMatchTheGeneralConversionBitForBit) {
  // Each row lies on or beside a limit of the quick way: 19 significant
  // digits, a mantissa below 2^53, a power of ten up to 1e22.
  const char* const rows[] = {
      "0",     "-0",    "1",      "0.1",   "0.3333333333333333", "1.2345678901234567", "9007199254740991",
      "9007199254740992",        "9007199254740993",             "1234567890123456789", "12345678901234567890",
      "1e22",  "1e23",  "1e-22",  "1e-23", "4.9406564584124654e-324", "1.7976931348623157e308", "2.5e-5",
      "-7.25", "5.",    ".5",     "1E+03", "00000000000000000000001.5", "0.000000000000000000000000001",
      "0000000000000000001", "0.000000000000000001", "0.0000000000000000001", "-1.5e+2", "-0.07000000000000001",
      // Digit runs of 7, 8, 9, 15, 16 and 17, taken eight at a time where they can be.
      "1.2345678", "12345678.5", "0.12345678", "123456789", "0.123456789e-3", "1.499992597802787",
      "7.401886725540433e-05", "123456789012345.6", "98765432.87654321", "0.99999999999999999"};
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    double quick = 0, general = 0;
    ASSERT_TRUE(parseReal(text, quick));
    std::from_chars(text, text + std::strlen(text), general);
    EXPECT_EQ(std::memcmp(&quick, &general, sizeof quick), 0) << quick << " " << general;
  }
}

// Sanitized builds run the randomised tables at an eighth of their size: the
// values are checked in full by the release build, memory by these.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kTableShare = 8;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kTableShare = 8;
#else
constexpr int kTableShare = 1;
#endif
#else
constexpr int kTableShare = 1;
#endif

TEST(F_TextScanner, RealsOfUpTo19DigitsAndPowersOfTenUpTo27MatchTheGeneralConversionBitForBit) {
  // Read alone, and in place with bytes after it that may be read but are
  // not part of it (digits too, where the line ends with the real).
  auto same = [](const std::string& text) {
    double quick = 0, general = 0;
    const bool ok = parseReal(text, quick);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), general);
    if (!ok || ec != std::errc() || end != text.data() + text.size()) return false;
    if (std::memcmp(&quick, &general, sizeof quick) != 0) return false;
    for (const char* after : {" 0.12345678901234567 1.5e+300 98765432109876543210",
                              "98765432109876543210.5e5.12345678901234567",
                              "5 0.12345678901234567 0.12345678901234567",
                              ".5 0.12345678901234567 0.12345678901234567"}) {
      const std::string line = text + after;
      const std::vector<char> bytes(line.begin(), line.end());  // nothing past them to read
      const char* const start = bytes.data();
      const char* stop = nullptr;
      double inPlace = 0;
      if (!parseRealPrefix(start, start + text.size(), stop, inPlace, start + bytes.size()) ||
          stop != start + text.size() || std::memcmp(&inPlace, &general, sizeof inPlace) != 0)
        return false;
    }
    return true;
  };
  // On each limit of the extended-precision way: a mantissa of 2^63 - 1 and
  // 2^63, 19 and 20 digits, powers of ten 27 and 28 either way, 2^53.
  for (const char* text :
       {"9223372036854775807", "9223372036854775808", "9223372036854775807e-27", "9223372036854775808e-27",
        "9223372036854775807e27", "9223372036854775807e28", "1234567890123456789e-27", "1234567890123456789e-28",
        "1234567890123456789e27", "1234567890123456789e28", "12345678901234567890e-5", "9007199254740992e-23",
        "9007199254740992e23", "9007199254740993e-3", "-9007199254740993", "0e27", "-0e-27",
        "0.1234567890123456789", "1.234567890123456789e-27", "9.999999999999999999e26",
        // On each limit of the quick scan: 19 and 20 digits, with a point
        // at either end or none, an exponent after them, a sign alone.
        "1234567890.123456789", "1234567890.1234567891", ".1234567890123456789", "1234567890123456789.",
        "-.12345678901234567891", "12345678901234567890.", "0000000000000000001.5", "1.25e0", "-1.25E-0", "-7"}) {
    EXPECT_TRUE(same(text)) << text;
  }
  std::mt19937_64 random(12);
  char text[64];
  int failures = 0, ties = 0;
  auto check = [&](const char* t) {
    if (!same(t) && ++failures <= 10) ADD_FAILURE() << t;
  };
  // Random mantissas of 15 to 19 digits, written with a point and an exponent.
  for (int i = 0; i < 800000 / kTableShare; ++i) {
    const int digits = 15 + static_cast<int>(random() % 5);
    std::uint64_t low = 1;
    for (int d = 1; d < digits; ++d) low *= 10;
    const std::uint64_t m = low + random() % (low * 9);
    const int exponent = static_cast<int>(random() % 61) - 30;
    const int point = static_cast<int>(random() % static_cast<std::uint64_t>(digits));
    std::string s = std::to_string(m);
    s.insert(s.size() - static_cast<std::size_t>(point), ".");
    std::snprintf(text, sizeof text, "%s%se%d", random() % 2 ? "-" : "", s.c_str(), exponent);
    check(text);
  }
  // Decimals next to the halfway points between two doubles, which the
  // 64-bit product may round onto: a 19-digit neighbour of each, exactly
  // halfway ones (an integer of 54 bits, or one over 8 written as m e-3),
  // and the ones beside them.
  for (int i = 0; i < 200000 / kTableShare; ++i) {
    const double d = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 180) - 140);
    const long double half = static_cast<long double>(d) + std::ldexp(static_cast<long double>(d), -53);
    std::snprintf(text, sizeof text, "%.18Le", half);
    check(text);
    std::uint64_t m = 0;
    int e = 0;
    if (std::sscanf(text, "%*c.%*18ce%d", &e) == 1) {
      std::string digits(text, 1);
      digits.append(text + 2, 18);
      m = std::stoull(digits);
      for (std::int64_t step : {-1, 1}) {
        std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(m + step), e - 18);
        check(text);
      }
      const long double m64 = static_cast<long double>(m);
      const int k = e - 18;
      if (k >= -27 && k <= 27) {
        const long double r = k < 0 ? m64 / std::pow(10.0L, -k) : m64 * std::pow(10.0L, k);
        std::uint64_t bits;
        std::memcpy(&bits, &r, sizeof bits);
        if ((bits & 0x7FF) == 0x400) ++ties;
      }
    }
    const std::uint64_t odd = (std::uint64_t{1} << 53) | (random() & ((std::uint64_t{1} << 53) - 1)) | 1;
    for (std::int64_t step : {-1, 0, 1}) {
      std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(odd + step));
      check(text);
      std::snprintf(text, sizeof text, "%llue-3", static_cast<unsigned long long>((odd + step) * 125));
      check(text);
    }
  }
  EXPECT_EQ(failures, 0);
  // The table reached the ties the extended way leaves to the general conversion.
  EXPECT_GT(ties, 0);
}

TEST(F_TextScanner, WordsThatAreNoNumbersAreRefused) {
  for (const char* text : {"", "-", "+", ".", "1e", "1e+", "inf", "nan", "0x10", "1.5.2", "1e999", "1,5", "--1", "1-", "+-1", "-+1", "1e5x", "1.5 "}) {
    SCOPED_TRACE(text);
    double v = 0;
    EXPECT_FALSE(parseReal(text, v));
  }
  // In place, with more bytes that may be read: where a real stops, and
  // whether one starts at all.
  const struct {
    const char* text;
    bool ok;
    int stop;
  } prefixes[] = {{"-", false, 0}, {".", false, 0}, {"-.", false, 0}, {"x", false, 0}, {"1.5.2", true, 3},
                  {"12,5", true, 2}, {"1e5x", true, 3}, {"1e", false, 0}, {"1.5 2", true, 3}, {"5.x", true, 2}};
  for (const auto& row : prefixes) {
    SCOPED_TRACE(row.text);
    const std::string line = std::string(row.text) + std::string(48, '7');
    const std::size_t n = std::strlen(row.text);
    const char* stop = nullptr;
    double v = 0;
    EXPECT_EQ(parseRealPrefix(line.data(), line.data() + n, stop, v, line.data() + line.size()), row.ok);
    if (row.ok) {
      EXPECT_EQ(stop - line.data(), row.stop);
    }
  }
  const struct {
    const char* text;
    bool ok;
    std::int64_t value;
  } integers[] = {{"0", true, 0},
                  {"+7", true, 7},
                  {"-12", true, -12},
                  {"999999999999999999", true, 999999999999999999},  // 18 digits: the quick way
                  {"9223372036854775807", true, 9223372036854775807},
                  {"9223372036854775808", false, 0},
                  {"1.0", false, 0},
                  {"", false, 0},
                  {"-", false, 0},
                  {"12a", false, 0}};
  for (const auto& row : integers) {
    SCOPED_TRACE(row.text);
    std::int64_t v = 0;
    EXPECT_EQ(parseInteger(row.text, v), row.ok);
    if (row.ok) {
      EXPECT_EQ(v, row.value);
    }
  }
}

TEST(F_TextScanner, WordsAndLinesAcrossBufferRefillsKeepTheirBytesAndLineNumbers) {
  // Over a megabyte, so that words and lines straddle the scanner's buffer.
  std::string text;
  int lines = 0;
  while (text.size() < (3u << 20) / 2) {
    text += std::to_string(lines) + " 0.5 word" + std::to_string(lines) + "\r\n";
    ++lines;
  }
  text += std::string(5000, 'x') + "\n";        // a long word, read whole
  text += std::string(2u << 20, 'y') + "\n";     // one longer than a buffer
  auto file = F_InputFile::fromMemory(text, "/tmp/t.msh");
  F_TextScanner scanner(*file);
  for (int i = 0; i < lines; ++i) {
    ASSERT_EQ(scanner.line(), i + 1);
    ASSERT_EQ(scanner.integer("a number"), i);
    ASSERT_EQ(scanner.real("a real"), 0.5);
    ASSERT_EQ(scanner.restOfLine(), " word" + std::to_string(i));
  }
  EXPECT_EQ(scanner.word().size(), 5000u);
  RecordingUi ui;
  EXPECT_THROW(scanner.word(), F_UserException);
  EXPECT_EQ(ui.lastMessage(), importError("msh", "ERROR\nA word longer than 4096 characters.", lines + 2));
}

// Records read in place take only words of the plain shape; anything else is
// left for the word-by-word reading, which says what is wrong.
TEST(F_TextScanner, LineFieldsTakeOnlyPlainWordsAndLeaveTheRest) {
  const struct {
    const char* line;
    const char* shape;  // i: an integer, r: a real, then whether the line is then at its end
    bool taken;
    bool atEnd;
  } rows[] = {
      {"12 0.5 -3 1e-5", "irir", true, true},
      {"12 0.5\r", "ir", true, true},
      {" \t12\t0.5  ", "ir", true, true},
      {"999999999999999999", "i", true, true},     // 18 digits
      {"1000000000000000000", "i", false, false},  // 19: the general reading
      {"+7", "i", false, false},
      {"-", "i", false, false},
      {"12x 1", "i", false, false},
      {"1.5", "i", false, false},
      {"1.5x", "r", false, false},
      {"inf", "r", false, false},
      {"1e", "r", false, false},
      {"1 2 3", "ii", true, false},
      {"", "", true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    F_LineFields f(row.line);
    bool taken = true;
    for (const char* k = row.shape; *k && taken; ++k) {
      std::int64_t i = 0;
      double r = 0;
      taken = *k == 'i' ? f.integer(i) : f.real(r);
    }
    EXPECT_EQ(taken, row.taken);
    if (taken) {
      EXPECT_EQ(f.atEnd(), row.atEnd);
    }
  }
  F_LineFields f("-42 2.5e1");
  std::int64_t i = 0;
  double r = 0;
  ASSERT_TRUE(f.integer(i) && f.real(r));
  EXPECT_EQ(i, -42);
  EXPECT_EQ(r, 25.0);
}

// The quick paths' integers: an optional '-' and 1 to 18 digits, up to the
// first byte that is no digit, whatever lies around them.
TEST(F_TextScanner, IntegerPrefixesStopAtTheFirstByteThatIsNoDigit) {
  const struct {
    std::string text;
    std::int64_t value;
    int length;  // bytes taken; 0: none
  } rows[] = {
      {"1 345678", 1, 1},
      {"1234567 ", 1234567, 7},     // seven digits, the eighth byte a blank
      {"12345678", 12345678, 8},    // eight digits fill the eight bytes
      {"12345678 ", 12345678, 8},
      {"1234567", 1234567, 7},      // seven bytes only
      {"-1234567 ", -1234567, 8},
      {"-7,      ", -7, 2},
      {"0000042/xx", 42, 7},        // '/' lies just below '0'
      {"987654:xx", 987654, 6},     // ':' just above '9'
      {"x1234567", 0, 0},
      {"- 1234567", 0, 0},
      {"123456789012345678901", 123456789012345678, 18},  // at most 18
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    std::int64_t value = 0;
    const char* stop = parseIntegerPrefix(row.text.data(), row.text.data() + row.text.size(), value);
    if (row.length == 0) {
      EXPECT_EQ(stop, nullptr);
      continue;
    }
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop - row.text.data(), row.length);
    EXPECT_EQ(value, row.value);
  }
}

// Binary stretches come from the buffer or, when a read reaches well past it,
// straight from the file: either way every byte arrives once and in order,
// and the offset that messages quote counts every byte passed.
TEST(F_TextScanner, RawReadsKeepTheirBytesAndOffsetsAroundTheBuffer) {
  constexpr std::size_t kMiB = 1u << 20, kDirect = 16u << 10, kFill = F_TextScanner::kFillBytes;
  std::string bytes(6 * kMiB, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  // In memory, and on disk, where a direct read goes past the stream's blocks.
  const std::string path = ::testing::TempDir() + "/raw-reads.vtk";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  for (const bool onDisk : {false, true}) {
    SCOPED_TRACE(onDisk ? "on disk" : "in memory");
    auto file = onDisk ? F_InputFile::open(path) : F_InputFile::fromMemory(bytes, "/tmp/t.vtk");
    ASSERT_TRUE(file);
    F_TextScanner scanner(*file);
    const struct {
      const char* name;
      std::size_t size;
      bool lessThanLeft;  // size: how many bytes fewer than are left
    } reads[] = {
        {"one byte fills the buffer with a refill", 1, false},
        {"one byte short of a direct read", (kFill - 1) + kDirect - 1, false},
        {"exactly a direct read", (kFill - kDirect + 1) + kDirect, false},
        {"exactly a refill's size, none buffered", kFill, false},
        {"a buffer's size", kMiB, false},
        {"a small read after a direct one", 3, false},
        {"from the buffer", kDirect - 1, false},
        {"a direct read exactly to the end", 0, true},
        {"one byte past the end", 2, false},
        {"past the end of the file", 6 * kMiB, false},
    };
    std::size_t at = 0;
    for (const auto& read : reads) {
      SCOPED_TRACE(read.name);
      const std::size_t size = read.lessThanLeft ? bytes.size() - at - read.size : read.size;
      std::string got(size, '\0');
      const std::size_t n = scanner.bytes(got.data(), size);
      ASSERT_EQ(n, std::min(size, bytes.size() - at));
      EXPECT_TRUE(got.compare(0, n, bytes, at, n) == 0);
      at += n;
      EXPECT_EQ(scanner.offset(), at);
      EXPECT_EQ(scanner.remaining(), bytes.size() - at);
    }
    EXPECT_EQ(at, bytes.size());
  }
  std::remove(path.c_str());
}

namespace {

// The line read word by word as F_LineFields reads it: whether it is a node
// line, and its values.
bool nodeByFields(std::string_view line, const char* limit, bool withId, std::int64_t& id, double* xyz) {
  F_LineFields f(line, limit);
  return (!withId || f.integer(id)) && f.real(xyz[0]) && f.real(xyz[1]) && f.real(xyz[2]) && f.atEnd();
}

}  // namespace

// A node line too near the end of what may be read is left to the
// word-by-word reading (its values are checked with the one-pass reading's).
TEST(F_TextScanner, NodeLinesTooNearTheReadableEndAreNotTakenAtOnce) {
  // Too near the end of what may be read: left to the word-by-word reading.
  const std::string tight = "1 0 0 0" + std::string(kNodeLineBytes + 7 - 7, '\n');
  std::int64_t id = 0;
  double xyz[3];
  EXPECT_FALSE(plainNodeLine(tight.data(), tight.data() + 7, tight.data() + tight.size(), true, id, xyz));
  EXPECT_TRUE(plainNodeLine(tight.data(), tight.data() + 7, tight.data() + tight.size() + 1, true, id, xyz));
}

// Random node lines of every digit count: whatever is taken at once reads
// as the word-by-word reading reads it.
TEST(F_TextScanner, RandomNodeLinesTakenAtOnceMatchTheWordByWordReading) {
  std::mt19937_64 random(9141);
  int taken = 0;
  const RandomNodeLines lines{8, 4, 18, "\t"};
  for (int i = 0; i < 20000; ++i) {
    const std::string line = lines(random);
    const std::string bytes = line + std::string(80, ' ');
    const char* const p = bytes.data();
    std::int64_t id = 0, fieldsId = 0;
    double xyz[3], fields[3];
    if (!plainNodeLine(p, p + line.size(), p + bytes.size(), true, id, xyz)) continue;
    ++taken;
    SCOPED_TRACE(line);
    ASSERT_TRUE(nodeByFields(std::string_view(p, line.size()), p + bytes.size(), true, fieldsId, fields));
    EXPECT_EQ(id, fieldsId);
    ASSERT_EQ(std::memcmp(xyz, fields, sizeof xyz), 0) << xyz[0] << " " << xyz[1] << " " << xyz[2];
  }
  EXPECT_GT(taken, 10000);
}

