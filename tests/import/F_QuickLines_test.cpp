#include "import/F_QuickLines.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ImportFixtures.h"
#include "import/F_LineChunks.h"
#include "import/F_TextScanner.h"

namespace {

// `line` (with its line end) in a buffer with readable bytes before it and
// after it, those after it digits and blanks that must not be taken for the
// line's; `end` is where the text ends, `cut` bytes past the line end (0:
// the line end is the last byte before it).
struct Placed {
  std::string bytes;
  const char* p;
  const char* end;
  Placed(const std::string& line, int cut = 1) : bytes(std::string(16, '7') + line + "\n" + std::string(160, '7')) {
    p = bytes.data() + 16;
    end = p + line.size() + cut;
  }
};

bool nodeByFields(const std::string& line, bool withId, std::int64_t& id, double* xyz) {
  F_LineFields f(line);
  return (!withId || f.integer(id)) && f.real(xyz[0]) && f.real(xyz[1]) && f.real(xyz[2]) && f.atEnd();
}

}  // namespace

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

// Node lines taken at once (the classes of a whole line, up to 64 bytes)
// and in one pass have, bit for bit, the values of the word-by-word
// reading; other shapes are left to it. The one-pass reading also leaves
// lines that start with a blank or hold a carriage return, and ids of more
// than sixteen digits; it takes lines longer than 64 bytes.
TEST(F_QuickLines, NodeLinesReadInOnePassMatchTheWordByWordReading) {
  const struct {
    std::string line;
    bool withId;
    bool plain, quick;  // taken by each
  } rows[] = {
      {"1 0 0 0", true, true, true},
      {"12 0.5 -0.25 3", true, true, true},
      {"7 -0 1.0 -1", true, true, true},
      {"8995 3.734177215189873 0.8860759493670887 0.3800174128939908", true, true, true},
      {"3.734177215189873 0.8860759493670887 0.3800174128939908", false, true, true},
      {"1\t2.5\t3.5\t4.5", true, true, true},
      {"1  2.5 \t3.5 4.5  \t", true, true, true},
      {"1\t2.5\t3.5\t4.5\r", true, true, true},
      {"1 2.5 3.5 4.5 \r", true, true, true},
      {"1 2.5 3.5\r 4.5", true, true, false},
      {"  1   2.5  3.5 4.5  ", true, true, false},
      // Whole parts of 15 digits, 16, 17, 19 and 20.
      {"1 123456789012345 0 0", true, true, true},
      {"1 1234567890123456 0 0", true, true, true},
      {"1 0.12345678901234567 12345678901234567 0", true, true, true},
      {"1 1234567890123456789 0 0", true, true, true},
      {"1 12345678901234567890 0 0", true, false, false},
      // Fractions of 15, 16, 17 digits; 19 digits in all, and 20.
      {"1 0.123456789012345 0.1234567890123456 0.07000000000000001", true, true, true},
      {"1 1.234567890123456789 1234567890123456789 0", true, true, true},
      {"1 1.2345678901234567890 0 0", true, false, false},
      {"1 123456789012345.6789 0 0", true, true, true},
      {"1 1234567890123456.789 0 0", true, true, true},
      {"1 1234567890123456.7890 0 0", true, false, false},
      // Ids of 16, 17, 18 and 19 digits.
      {"1234567890123456 1 2 3", true, true, true},
      {"12345678901234567 1 2 3", true, true, false},
      {"123456789012345678 1 2 3", true, true, false},
      {"1234567890123456789 1 2 3", true, false, false},
      // 64 bytes, and 65.
      {"12345 0.1234567890123456 0.1234567890123456 0.123456789012345678", true, true, true},
      {"123456 0.1234567890123456 0.1234567890123456 0.123456789012345678", true, false, true},
      // A point or a sign as the 64th byte.
      {"1 2 3" + std::string(57, ' ') + "5.", true, false, false},
      {"0.5 1.5" + std::string(56, ' ') + "-", false, false, false},
      // Other shapes.
      {"1 1e3 0 0", true, false, false},
      {"1 5. 0 0", true, false, false},
      {"1 .5 0 0", true, false, false},
      {"1 +5 0 0", true, false, false},
      {"1 - 5 0 0", true, false, false},
      {"1 --5 0 0", true, false, false},
      {"-1 0 0 0", true, false, false},
      {"1 0 0", true, false, false},
      {"1 0 0 0 0", true, false, false},
      {"1 5-3 0 0", true, false, false},
      {"1 1.2.3 0 0", true, false, false},
      {"1,0 0 0", true, false, false},
      {"1 0 0 x", true, false, false},
      {"", true, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("\"" + row.line + "\"");
    const Placed placed(row.line);
    for (const bool quick : {false, true}) {
      std::int64_t id = -5, fieldsId = -5;
      double xyz[3] = {}, fields[3] = {};
      bool taken = false;
      if (quick) {
        const char* const next = quickNodeLine(placed.p, placed.end, row.withId, id, xyz);
        taken = next != nullptr;
        if (taken) {
          EXPECT_EQ(next, placed.end);
        }
      } else {
        // Read in whole blocks, with room behind the line for them.
        const std::string bytes = row.line + std::string(80, '\n');
        taken = plainNodeLine(bytes.data(), bytes.data() + row.line.size(), bytes.data() + bytes.size(), row.withId,
                              id, xyz);
      }
      EXPECT_EQ(taken, quick ? row.quick : row.plain) << (quick ? "in one pass" : "at once");
      if (!taken) continue;
      ASSERT_TRUE(nodeByFields(row.line, row.withId, fieldsId, fields));
      EXPECT_EQ(id, row.withId ? fieldsId : -5);
      EXPECT_EQ(std::memcmp(xyz, fields, sizeof xyz), 0) << xyz[0] << " " << xyz[1] << " " << xyz[2];
    }
  }
  // A line end at `end` (not before it) is no line end: the text may go on.
  std::int64_t id = 0;
  double xyz[3];
  const Placed cut("1 0 0 0", 0);
  EXPECT_EQ(quickNodeLine(cut.p, cut.end, true, id, xyz), nullptr);
  const Placed inWord("1 0.12345", -3);  // the text ends inside the last number
  EXPECT_EQ(quickNodeLine(inWord.p, inWord.end, true, id, xyz), nullptr);
  // ... right after a run of 16 digits, and inside a run of 17 after its 16th.
  const Placed cutAfterReturn("1 0 0 0\r", 0);  // "\r\n" with the '\n' at `end`
  EXPECT_EQ(quickNodeLine(cutAfterReturn.p, cutAfterReturn.end, true, id, xyz), nullptr);
  const Placed after16("1 0 0 0.1234567890123456", 0);
  EXPECT_EQ(quickNodeLine(after16.p, after16.end, true, id, xyz), nullptr);
  const Placed inside17("1 0 0 0.12345678901234567", -1);
  EXPECT_EQ(quickNodeLine(inside17.p, inside17.end, true, id, xyz), nullptr);
}

// Random node lines of every digit count: whatever is taken reads as the
// word-by-word reading reads it, and the line end is where it stops.
TEST(F_QuickLines, RandomNodeLinesMatchTheWordByWordReading) {
  std::mt19937_64 random(5147);
  int taken = 0;
  const RandomNodeLines lines{17, 18, 20, "\t "};
  for (int i = 0; i < 20000; ++i) {
    const std::string line = lines(random);
    const Placed placed(line);
    std::int64_t id = 0, fieldsId = 0;
    double xyz[3], fields[3];
    if (!quickNodeLine(placed.p, placed.end, true, id, xyz)) continue;
    ++taken;
    SCOPED_TRACE(line);
    ASSERT_TRUE(nodeByFields(line, true, fieldsId, fields));
    EXPECT_EQ(id, fieldsId);
    ASSERT_EQ(std::memcmp(xyz, fields, sizeof xyz), 0) << xyz[0] << " " << xyz[1] << " " << xyz[2];
  }
  EXPECT_GT(taken, 2000);
}

// Deck node lines, taken at once (the classes of the whole line) and in one
// pass, read as the deck's own field reading: a comma between words with
// blanks around it, one after the last word allowed, one to three
// coordinates (the others 0). Other shapes are left to that reading; the
// one-pass reading also leaves lines that start with a blank.
TEST(F_QuickLines, DeckNodeLinesReadAsTheFieldReading) {
  const struct {
    std::string line;
    bool plain, quick;  // taken by each
    std::int64_t id;
    double xyz[3];
  } rows[] = {
      {"1, 0, 0, 0", true, true, 1, {0, 0, 0}},
      {"2, 0.5, -0.25, 3", true, true, 2, {0.5, -0.25, 3}},
      {"3 ,\t0.5 ,1.5,2.5  ", true, true, 3, {0.5, 1.5, 2.5}},
      {"  3 ,\t0.5 ,1.5,2.5  ", true, false, 3, {0.5, 1.5, 2.5}},
      {"4, 0.5, 1.5, 2.5,", true, true, 4, {0.5, 1.5, 2.5}},
      {"5, 0.5, 1.5, 2.5, ", true, true, 5, {0.5, 1.5, 2.5}},
      {"6, 0.5", true, true, 6, {0.5, 0, 0}},
      {"7, 0.5, 1.5", true, true, 7, {0.5, 1.5, 0}},
      {"7, 0.5, 1.5,", true, true, 7, {0.5, 1.5, 0}},
      {"8, 0.07000000000000001, 0,  -4", true, true, 8, {0.07000000000000001, 0, -4}},
      {"9", false, false, 0, {}},
      {"9,", false, false, 0, {}},
      {"9, 1, 2, 3, 4", false, false, 0, {}},
      {"9, 1, 2, 3,,", false, false, 0, {}},
      {"9,, 1", false, false, 0, {}},
      {", 9, 1", false, false, 0, {}},
      {"9 1 2 3", false, false, 0, {}},
      {"9, 1 2, 3", false, false, 0, {}},
      {"9, - 1", false, false, 0, {}},
      {"9, 1.5D+00, 0", false, false, 0, {}},
      {"9, 1, 2\r", false, true, 9, {1, 2, 0}},
      {"-9, 1, 2", false, false, 0, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("\"" + row.line + "\"");
    const Placed placed(row.line);
    for (const bool quick : {false, true}) {
      std::int64_t id = -5;
      double xyz[3] = {7, 7, 7};
      bool taken = false;
      if (quick) {
        const char* const next = quickDeckNodeLine(placed.p, placed.end, id, xyz);
        taken = next != nullptr;
        if (taken) {
          EXPECT_EQ(next, placed.end);
        }
      } else {
        // Read in whole blocks, with room behind the line for them.
        const std::string bytes = row.line + std::string(80, '\n');
        taken = plainDeckNodeLine(bytes.data(), bytes.data() + row.line.size(), bytes.data() + bytes.size(), id, xyz);
      }
      EXPECT_EQ(taken, quick ? row.quick : row.plain) << (quick ? "in one pass" : "at once");
      if (!taken) continue;
      EXPECT_EQ(id, row.id);
      EXPECT_EQ(std::memcmp(xyz, row.xyz, sizeof xyz), 0) << xyz[0] << " " << xyz[1] << " " << xyz[2];
    }
  }
  std::int64_t id = 0;
  double xyz[3];
  const Placed cut("1, 2", 0);
  EXPECT_EQ(quickDeckNodeLine(cut.p, cut.end, id, xyz), nullptr);
}

#endif

// Lines of unsigned numbers: their numbers and the byte after their line
// end, or a decline; with commas, the fields of a deck.
// The number after the last one read, matched against the digits of a
// line and moved on past every carry, up to the last of 15 digits.
TEST(F_QuickLines, NextNumbersMatchTheirDigitsOnlyAcrossEveryCarry) {
  const struct {
    std::uint64_t last;
    int advances;
    const char* text;  // the bytes at the place compared (16 are read)
    bool matches;
  } rows[] = {
      {0, 0, "1 2 3           ", true},
      {8, 0, "9 3 2 1         ", true},
      {8, 1, "10 3 2          ", true},
      {98, 1, "100\n            ", true},
      {98, 1, "10 3            ", false},   // a prefix of the number is not it
      {98, 1, "1000            ", false},   // nor a longer one
      {98, 1, "0100            ", false},   // leading zeros are read as ever
      {9'999'999, 1, "10000001 1      ", true},
      {99'999'999, 0, "100000000 1     ", true},  // nine digits: over the first word
      {999'999'999'999'997, 1, "999999999999999 ", true},
      // After the last number of 15 digits nothing matches.
      {999'999'999'999'998, 1, "1000000000000000", false},
      {999'999'999'999'999, 0, "1000000000000000", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " after " + std::to_string(row.last));
    F_QuickLines::NextNumber next;
    EXPECT_FALSE(next.at(row.text));
    next.set(row.last);
    for (int i = 0; i < row.advances; ++i) next.advance();
    ASSERT_EQ(next.at(row.text), row.matches);
    if (row.matches) {
      EXPECT_EQ(next.value(), row.last + 1 + static_cast<std::uint64_t>(row.advances));
      EXPECT_EQ(next.length(), static_cast<int>(std::to_string(next.value()).size()));
    }
  }
}

TEST(F_QuickLines, RecordsOfUnsignedNumbers) {
  const struct {
    std::string line;
    bool commas;
    int most;
    std::vector<std::int64_t> numbers;  // empty: declined
  } rows[] = {
      {"1 3 2 1 1 1 2 1003 1002", false, 64, {1, 3, 2, 1, 1, 1, 2, 1003, 1002}},
      {"7", false, 64, {7}},
      {"1\t2  3 \t", false, 64, {1, 2, 3}},
      {"00000001 2", false, 64, {1, 2}},
      // Numbers of 8, 9, 16 digits; 17 are left to the other readings.
      {"12345678 123456789 1234567890123456", false, 64, {12345678, 123456789, 1234567890123456}},
      {"12345678901234567 1", false, 64, {}},
      // `most` numbers, and one more.
      {"1 2 3", false, 3, {1, 2, 3}},
      {"1 2 3 4", false, 3, {}},
      {" 1 2", false, 64, {}},
      {"1 2\r", false, 64, {1, 2}},
      {"1 2 \r", false, 64, {1, 2}},
      {"1 2\r\r", false, 64, {}},
      {"1\r2", false, 64, {}},
      {"1 -2", false, 64, {}},
      {"1 +2", false, 64, {}},
      {"1, 2", false, 64, {}},
      {"", false, 64, {}},
      {"1, 2, 3", true, 64, {1, 2, 3}},
      {"1,2 ,\t3 ,", true, 64, {1, 2, 3}},
      {"1, 2, 3, ", true, 64, {1, 2, 3}},
      {"1 2", true, 64, {}},
      {"1,, 2", true, 64, {}},
      {"1, 2,,", true, 64, {}},
      {", 1", true, 64, {}},
      {"1, 2\r", true, 64, {1, 2}},
      {"1, 2,\r", true, 64, {1, 2}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("\"" + row.line + "\"");
    const Placed placed(row.line);
    std::vector<std::int64_t> out(64, -1);
    const char* p = placed.p;
    const int n = row.commas ? F_QuickLines::record<true>(p, placed.end, out.data(), row.most)
                             : F_QuickLines::record<false>(p, placed.end, out.data(), row.most);
    if (row.numbers.empty()) {
      EXPECT_EQ(n, -1);
      EXPECT_EQ(p, placed.p);
      continue;
    }
    ASSERT_EQ(n, static_cast<int>(row.numbers.size()));
    out.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(out, row.numbers);
    EXPECT_EQ(p, placed.end);
  }
  // The line end must lie before `end`; the text may end inside a number.
  std::int64_t v[4];
  for (int cut : {0, -1, -2}) {
    const Placed placed("1 2 34", cut);
    const char* p = placed.p;
    EXPECT_EQ(F_QuickLines::record<false>(p, placed.end, v, 4), -1) << cut;
  }
}

// A line laid out as the one learnt is read side by side, with the numbers
// record() reads; any other byte where the learnt line had one, another
// number width, or a line end at or past `end` declines it.
TEST(F_QuickLines, LinesLaidOutAsTheOneBeforeAreReadAsRecordReadsThem) {
  const std::string longLine = "1" + std::string(126, ' ');         // 127 bytes and its line end: the most
  const std::string numbers32 = [] {
    std::string s = "1";
    for (int i = 0; i < 31; ++i) s += " 2";
    return s;
  }();
  const struct {
    std::string learnt, line;
    bool commas;
    int cut;     // bytes past the line end where the text ends
    bool taken;  // by the layout
  } rows[] = {
      {"1 3 2 1 1 1 2 1003 1002", "2 3 2 1 1 2 3 1004 1003", false, 1, true},
      {"1, 2, 3", "4, 5, 6", true, 1, true},
      {"1, 2, 3,", "4, 5, 6,", true, 1, true},
      {"1, 2, 3\r", "4, 5, 6\r", true, 1, true},
      {"10 20", "1  20", false, 1, false},      // a blank where a digit was
      {"1  20", "10 20", false, 1, false},      // a digit where a blank was
      {"1, 2, 3", "1,  2,3", true, 1, false},   // the same width, other separators
      {"1\t2", "1 2", false, 1, false},
      {"1 2\r", "1 2 ", false, 1, false},
      // Numbers of 8 digits, 9, and 16.
      {"12345678 123456789 1234567890123456", "87654321 987654321 6543210987654321", false, 1, true},
      // The line end the last byte before `end`, and at it.
      {"1 2 3", "4 5 6", false, 1, true},
      {"1 2 3", "4 5 6", false, 0, false},
      // 128 bytes and 32 numbers are learnt; one more of either is not.
      {longLine, "7" + std::string(126, ' '), false, 1, true},
      {longLine + " ", "7" + std::string(127, ' '), false, 1, false},
      {numbers32, numbers32, false, 1, true},
      {numbers32 + " 2", numbers32 + " 2", false, 1, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("\"" + row.learnt + "\" then \"" + row.line + "\"");
    F_QuickLines::RecordShape shape;
    std::vector<std::int64_t> out(F_QuickLines::RecordShape::kMostNumbers, -1);
    const Placed learnt(row.learnt);
    const char* at = learnt.p;
    EXPECT_EQ(shape.read(at, learnt.end, out.data()), -1);  // nothing learnt yet
    shape.learn(learnt.p, static_cast<int>(row.learnt.size()) + 1);
    const Placed placed(row.line, row.cut);
    const char* p = placed.p;
    const int n = shape.read(p, placed.end, out.data());
    ASSERT_EQ(n >= 0, row.taken);
    if (!row.taken) {
      EXPECT_EQ(p, placed.p);
      continue;
    }
    std::vector<std::int64_t> expected(64, -1);
    const char* q = placed.p;
    const int m = row.commas ? F_QuickLines::record<true>(q, placed.end, expected.data(), 64)
                             : F_QuickLines::record<false>(q, placed.end, expected.data(), 64);
    ASSERT_EQ(n, m);
    out.resize(static_cast<std::size_t>(n));
    expected.resize(static_cast<std::size_t>(m));
    EXPECT_EQ(out, expected);
    EXPECT_EQ(p, q);
  }
  // The type and tags of an element line kept as bytes: only the number and
  // the nodes are read, the nodes after two places left for the others.
  const struct {
    std::string line;
    std::vector<std::int64_t> numbers;  // by slot, -1 where none goes; empty: declined
  } fixedRows[] = {
      {"2 3 2 0 1 9 8 7 6", {2, -1, -1, 9, 8, 7, 6}},
      {"2 4 2 0 1 9 8 7 6", {}},
      {"2 3 2 0 2 9 8 7 6", {}},
  };
  for (const auto& row : fixedRows) {
    SCOPED_TRACE(row.line);
    F_QuickLines::RecordShape shape;
    const Placed learnt("1 3 2 0 1 5 6 7 8");
    shape.learn(learnt.p, 18, {1, 4, 2});
    const Placed placed(row.line);
    std::vector<std::int64_t> out(7, -1);
    const char* p = placed.p;
    const int n = shape.read(p, placed.end, out.data());
    if (row.numbers.empty()) {
      EXPECT_EQ(n, -1);
      continue;
    }
    EXPECT_EQ(n, 5);
    EXPECT_EQ(out, row.numbers);
    EXPECT_EQ(p, placed.end);
  }
  // A number of 17 digits is no layout to keep.
  F_QuickLines::RecordShape shape;
  const Placed longNumber("12345678901234567 1");
  shape.learn(longNumber.p, 20);
  std::int64_t v[F_QuickLines::RecordShape::kMostNumbers];
  const char* p = longNumber.p;
  EXPECT_EQ(shape.read(p, longNumber.end, v), -1);
}

// Lines of a few widths, in random order: whatever the layout of the line
// before takes is what record() reads.
TEST(F_QuickLines, RandomRecordLinesReadByLayoutAsRecordReadsThem) {
  std::mt19937 random(7);
  // Mostly five numbers of six digits.
  auto number = [&] {
    const int width = random() % 20 == 0 ? 5 : random() % 100 == 0 ? 1 : 6;
    std::string digits;
    for (int k = 0; k < width; ++k) digits += static_cast<char>('0' + random() % 10);
    return digits;
  };
  F_QuickLines::RecordShape shape;
  int taken = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string line = number();
    const int count = 1 + static_cast<int>(random() % 10 == 0 ? random() % 9 : 4);
    for (int k = 0; k < count; ++k) line += (random() % 50 == 0 ? "  " : " ") + number();
    const Placed placed(line);
    std::int64_t byShape[F_QuickLines::RecordShape::kMostNumbers], byRecord[64];
    const char* p = placed.p;
    const char* q = placed.p;
    const int n = shape.read(p, placed.end, byShape);
    const int m = F_QuickLines::record<false>(q, placed.end, byRecord, 64);
    ASSERT_EQ(m, count + 1) << line;
    if (n >= 0) {
      ++taken;
      ASSERT_EQ(n, m) << line;
      ASSERT_TRUE(std::equal(byShape, byShape + n, byRecord)) << line;
      ASSERT_EQ(p, q) << line;
    } else {
      shape.taken(placed.p, static_cast<int>(q - placed.p));
    }
  }
  EXPECT_GT(taken, 500);  // the layouts were used
  // Lines of a new width every time hold the layout back for up to
  // kMostWait lines; a long run of one layout after them is still found.
  for (int i = 0; i < 1000; ++i) {
    const std::string line = std::to_string(i * 7 % 10) + std::string(static_cast<std::size_t>(1 + i % 9), '5');
    const Placed placed(line);
    std::int64_t v[F_QuickLines::RecordShape::kMostNumbers];
    const char* p = placed.p;
    if (shape.read(p, placed.end, v) < 0) shape.taken(placed.p, static_cast<int>(line.size()) + 1);
  }
  int run = 0;
  for (int i = 0; i < 200; ++i) {
    const Placed placed("1" + std::to_string(100000 + i) + " 7");
    std::int64_t v[F_QuickLines::RecordShape::kMostNumbers];
    const char* p = placed.p;
    if (shape.read(p, placed.end, v) >= 0) {
      ++run;
    } else {
      shape.taken(placed.p, 10);
    }
  }
  EXPECT_GE(run, 200 - F_QuickLines::RecordShape::kMostWait - 2);
}

namespace {

// Records that are the line itself, taken in one pass when they are digits
// alone, else by take(); lines that say "stop" are refused.
struct QuickWords {
  std::vector<std::string> lines;
  int quick = 0;
  void reserve(std::size_t) {}
  void restart(const QuickWords&) {
    lines.clear();
    quick = 0;
  }
  bool takeQuick(const char*& p, const char* end) {
    const char* q = p;
    while (q < end && *q >= '0' && *q <= '9') ++q;
    if (q == p || q >= end || *q != '\n') return false;
    (void)p[-16];  // the bytes before a line may be read
    lines.emplace_back(p, q);
    ++quick;
    p = q + 1;
    return true;
  }
  bool take(std::string_view line, const char*) {
    if (line == "stop") return false;
    lines.emplace_back(line);
    return true;
  }
};

}  // namespace

// Lines taken in one pass and lines taken by take() mix in file order,
// across the reads of a thread's buffer and up to a last line without its
// end, which is no record.
TEST(F_LineChunks, LinesTakenInOnePassMixWithTheOthersInOrder) {
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; text.size() < 3 * F_LineChunks::kReadBytes; ++i) {
    std::string line = i % 7 == 3 ? "w" + std::to_string(i) : std::to_string(i * 7919);
    if (i % 1000 == 999) line = std::string(F_LineChunks::kMostLineBytes, '5');  // the longest line
    text += line + "\n";
    expected.push_back(line);
  }
  for (const char* last : {"", "12345", "x"}) {
    SCOPED_TRACE(last);
    auto file = F_InputFile::fromMemory(text + last);
    for (int parts : {1, 3}) {
      F_LineChunks::Runs<QuickWords> runs;
      F_LineChunks::parse(*file, 2, parts, 1000000, runs);
      std::vector<std::string> lines;
      std::size_t bytes = 0;
      int quick = 0;
      for (const auto& run : runs.sets[0]) {
        EXPECT_TRUE(run.whole);
        lines.insert(lines.end(), run.part.lines.begin(), run.part.lines.end());
        bytes += run.bytes;
        quick += run.part.quick;
        EXPECT_EQ(run.lines, run.part.lines.size());
      }
      EXPECT_EQ(lines, expected);
      EXPECT_EQ(bytes, text.size());
      EXPECT_GT(quick, static_cast<int>(expected.size()) / 2);
    }
  }
  // A part stops at a refused line after lines taken in one pass, and at
  // `most` lines.
  F_LineChunks::Runs<QuickWords> runs;
  F_LineChunks::parse(*F_InputFile::fromMemory("1\n2\nstop\n3\n"), 1, 1, 10, runs);
  EXPECT_EQ(runs.sets[0][0].part.lines, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(runs.sets[0][0].bytes, 4u);
  EXPECT_FALSE(runs.sets[0][0].whole);
  F_LineChunks::parse(*F_InputFile::fromMemory("1\n2\n3\n"), 1, 1, 2, runs);
  EXPECT_EQ(runs.sets[0][0].part.lines, (std::vector<std::string>{"1", "2"}));
  EXPECT_FALSE(runs.sets[0][0].whole);
}
