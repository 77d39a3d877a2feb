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
      {"12345678", false, 1, 12345678},   // eight digits: taken
      {"123456789", false, -1, 0},        // nine: declined
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
  const char alphabet[] = "0123456789    \t";
  int taken = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string line(random() % 90, ' ');
    for (char& c : line) c = alphabet[random() % (sizeof alphabet - 1)];
    std::vector<std::int64_t> fast, slow;
    const int n = scan(line, false, fast);
    if (n < 0) continue;
    ++taken;
    ASSERT_EQ(reference(line, slow), n) << line;
    ASSERT_EQ(fast, slow) << line;
  }
  EXPECT_GT(taken, 1000);  // the comparison was made
}

#endif
