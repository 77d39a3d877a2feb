#include "import/F_DigitScan.h"

#include <random>
#include <string>
#include <vector>

#include "ImportFixtures.h"
#include "import/F_TextScanner.h"

namespace {

// The line read at once, with `room` readable bytes after it (filled with
// digits, which must not be taken for the line's).
int scan(const std::string& line, bool commas, std::vector<std::int64_t>& values, std::size_t room = 64) {
  std::string buffer = line + std::string(room, '7');
  values.assign(F_DigitScan::kMostLineBytes / 2, -1);
  const char* p = buffer.data();
  const char* end = p + line.size();
  const char* limit = p + buffer.size();
  const int n = commas ? F_DigitScan::unsignedRecord<true>(p, end, limit, values.data(), F_DigitScan::kMostLineBytes / 2)
                       : F_DigitScan::unsignedRecord<false>(p, end, limit, values.data(), F_DigitScan::kMostLineBytes / 2);
  if (n >= 0) values.resize(static_cast<std::size_t>(n));
  return n;
}

// The numbers as the field-by-field reading takes them, or -1 when it
// would not (for lines of blanks and digits alone).
int reference(const std::string& line, std::vector<std::int64_t>& values) {
  values.clear();
  F_LineFields f(line);
  std::int64_t v = 0;
  while (!f.atEnd()) {
    if (!f.integer(v)) return -1;
    values.push_back(v);
  }
  return static_cast<int>(values.size());
}

}  // namespace

#if defined(__SSE2__) && defined(__SIZEOF_INT128__)

TEST(F_DigitScan, TakesPlainLinesAndDeclinesTheRestOnEveryBoundary) {
  const std::string sixteen = "1 3 2 1 1 12 345";  // exactly one block
  const std::string fifteen = "1 3 2 1 1 12 34";   // the line end on the last byte of a block
  const std::string long64 = "12345678 12345678 12345678 12345678 12345678 12345678 1234567 12";
  const std::string long65 = long64 + "3";
  const std::string long128 = long64 + " " + long64.substr(0, 63);
  const struct {
    std::string line;
    bool commas;
    int count;  // -1: declined
    std::int64_t last;
  } rows[] = {
      {sixteen, false, 7, 345},
      {fifteen, false, 7, 34},
      {"12345678", false, 1, 12345678},   // eight digits: one load
      {"123456789", false, 1, 123456789},  // nine: two
      {"1234567890123456", false, 1, 1234567890123456},
      {"12345678901234567", false, 1, 12345678901234567},      // seventeen: three
      {"123456789012345678", false, 1, 123456789012345678},    // eighteen: taken
      {"1234567890123456789", false, -1, 0},                   // nineteen: declined
      {std::string(50, ' ') + "1234567890123456789", false, -1, 0},  // in a long line too
      {"1 " + std::string(64, '0'), false, -1, 0},             // a run past the first 64 bytes
      {"7 999999999999999999", false, 2, 999999999999999999},  // the largest
      {"1 2" + std::string(43, ' ') + "123456789012345678", false, 3, 123456789012345678},  // ending on byte 64
      {"1 2" + std::string(44, ' ') + "123456789012345678", false, 3, 123456789012345678},  // on byte 65
      {"00000001 7", false, 2, 7},        // leading zeros
      {long64, false, 8, 12},             // 64 bytes: the last of the short lines
      {long65, false, 8, 123},            // 65: the long ones
      {long128, false, 16, 1},            // 128: the longest
      {long128 + "9", false, -1, 0},      // 129: declined
      {"1\t2\r", false, 2, 2},
      {"-1 2", false, -1, 0},             // signs are for the long way
      {"+1 2", false, -1, 0},
      {"1 2x", false, -1, 0},
      {"", false, -1, 0},
      {"   ", false, 0, 0},
      {"1, 2, 3", true, 3, 3},
      {"1,2,3,", true, 3, 3},             // one comma after the last
      {"1, 2, 3, ,", true, -1, 0},        // two
      {",1, 2", true, -1, 0},             // one before the first
      {"1 2, 3", true, -1, 0},            // none between two
      {"1,, 2", true, -1, 0},             // two between
      {"1, 2\r", true, -1, 0},            // a CR is no blank of a deck line
      {"1, 123456789012345678", true, 2, 123456789012345678},
      {"1, 1234567890123456789", true, -1, 0},
      {"1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 5", false, 32, 5},  // 63 bytes, 32 numbers
      {"1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 -5", false, -1, 0},
      {"1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 e5", false, -1, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<std::int64_t> values;
    ASSERT_EQ(scan(row.line, row.commas, values), row.count);
    if (row.count > 0) {
      EXPECT_EQ(values.back(), row.last);
    }
  }
}

TEST(F_DigitScan, DeclinesALineTooNearTheEndOfTheReadableBytes) {
  // A line is read in whole blocks and eight bytes past them: 16 + 8 here.
  std::vector<std::int64_t> values;
  EXPECT_EQ(scan("1 2 3", false, values, 24 - 5), 3);
  EXPECT_EQ(scan("1 2 3", false, values, 24 - 5 - 1), -1);
  EXPECT_EQ(scan(std::string(16, '1').replace(8, 1, " "), false, values, 8), 2);
  EXPECT_EQ(scan(std::string(16, '1').replace(8, 1, " "), false, values, 7), -1);
}

TEST(F_DigitScan, EveryLineTakenGivesTheNumbersOfTheFieldByFieldReading) {
  std::mt19937 random(12);
  // Mostly blanks, then mostly digits: short numbers, then runs of up to
  // twenty digits and more.
  const std::string alphabets[] = {"0123456789    \t", std::string(20, '0') + "123456789 "};
  int taken = 0;
  for (int i = 0; i < 40000; ++i) {
    const std::string& alphabet = alphabets[i % 2];
    std::string line(random() % 90, ' ');
    for (char& c : line) c = alphabet[random() % alphabet.size()];
    std::vector<std::int64_t> fast, slow;
    const int n = scan(line, false, fast);
    if (n < 0) continue;
    ++taken;
    ASSERT_EQ(reference(line, slow), n) << line;
    ASSERT_EQ(fast, slow) << line;
  }
  EXPECT_GT(taken, 2000);  // the comparison was made
}

#endif
