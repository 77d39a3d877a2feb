#include "import/F_LineChunks.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "ImportFixtures.h"

namespace {

// Records that are the line itself, refused when it says "stop".
struct Words {
  std::vector<std::string> lines;
  void reserve(std::size_t) {}
  void restart(const Words&) { lines.clear(); }
  bool take(std::string_view line, const char* limit) {
    // Some bytes after the line may be read.
    if (limit < line.data() + line.size() + F_LineChunks::kSlackBytes) std::abort();
    (void)limit[-1];
    if (line == "stop") return false;
    lines.emplace_back(line);
    return true;
  }
};

class ThreadsFromEnvironment : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("KAVRILON_THREADS"); }
};

// A grid of side x side quadrilaterals: its node lines, then its element
// lines, each made by `node(id, x, y)` and `element(id, a, b, c, d)`.
struct Grid {
  int side;
  int nodes() const { return (side + 1) * (side + 1); }
  int elements() const { return side * side; }
  std::string nodeLines(const std::function<std::string(int, double, double)>& node) const {
    std::string s;
    for (int j = 0; j <= side; ++j)
      for (int i = 0; i <= side; ++i) s += node(1 + i + j * (side + 1), i * 0.1234567890123, j / 3.0);
    return s;
  }
  std::string elementLines(const std::function<std::string(int, int, int, int, int)>& element) const {
    std::string s;
    for (int j = 0; j < side; ++j)
      for (int i = 0; i < side; ++i) {
        const int a = 1 + i + j * (side + 1);
        s += element(1 + i + j * side, a, a + 1, a + side + 2, a + side + 1);
      }
    return s;
  }
};

std::string format(const char* pattern, auto... values) {
  char line[256];
  std::snprintf(line, sizeof line, pattern, values...);
  return line;
}

// About 2.5 MB of each format: several stretches of parts on 2 or 3 threads,
// the records of one handed on while the next is parsed.
const Grid kGrid{200};

std::string msh22(const std::string& end = "\n") {
  std::string s = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n" + std::to_string(kGrid.nodes()) + "\n";
  s += kGrid.nodeLines([](int id, double x, double y) { return format("%d %.16g %.16g 0\n", id, x, y); });
  s += "$EndNodes\n$Elements\n" + std::to_string(kGrid.elements()) + "\n";
  s += kGrid.elementLines([](int id, int a, int b, int c, int d) {
    // Two physical groups, alternating in runs, so layers come and go.
    return format("%d 3 2 %d 1 %d %d %d %d\n", id, 1 + id / 5000 % 2, a, b, c, d);
  });
  s += "$EndElements\n";
  if (end != "\n") {
    std::string crlf;
    for (char c : s) crlf += c == '\n' ? end : std::string(1, c);
    return crlf;
  }
  return s;
}

std::string msh41() {
  const int n = kGrid.nodes(), e = kGrid.elements();
  std::string s = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n1 " + std::to_string(n) + " 1 " + std::to_string(n) +
                  "\n2 1 0 " + std::to_string(n) + "\n";
  for (int i = 1; i <= n; ++i) s += std::to_string(i) + "\n";
  s += kGrid.nodeLines([](int, double x, double y) { return format("%.16g %.16g 0\n", x, y); });
  s += "$EndNodes\n$Elements\n1 " + std::to_string(e) + " 1 " + std::to_string(e) + "\n2 1 3 " + std::to_string(e) + "\n";
  s += kGrid.elementLines([](int id, int a, int b, int c, int d) { return format("%d %d %d %d %d\n", id, a, b, c, d); });
  return s + "$EndElements\n";
}

// Past two shares of cells (resolved on several threads as one run).
const Grid kLargeGrid{260};

std::string inp(const Grid& grid = kGrid) {
  std::string s = "*HEADING\ngrid\n*NODE\n";
  s += grid.nodeLines([](int id, double x, double y) { return format("%d, %.16g, %.16g, 0\n", id, x, y); });
  s += "*ELEMENT, TYPE=S4R, ELSET=PLATE\n";
  s += grid.elementLines(
      [](int id, int a, int b, int c, int d) { return format("%d, %d, %d, %d, %d\n", id, a, b, c, d); });
  return s;
}

// The text with line `line` (1-based) replaced by `text`.
std::string replaced(const std::string& file, int line, const std::string& text) {
  std::size_t at = 0;
  for (int l = 1; l < line; ++l) at = file.find('\n', at) + 1;
  const std::size_t end = file.find('\n', at);
  return file.substr(0, at) + text + file.substr(end);
}

}  // namespace

// A line belongs to the piece whose share holds the line end before it.
TEST(F_LineChunks, PiecesTakeTheLinesWhoseLineEndBeforeLiesInTheirShare) {
  const std::string longLine(F_LineChunks::kMostLineBytes, 'x');
  std::string manyLines;  // lines across the reads of a thread's buffer
  for (int i = 0; manyLines.size() < 3 * F_LineChunks::kReadBytes; ++i) manyLines += std::to_string(i * 7919) + "\n";
  const struct {
    const char* name;
    std::string text;
    int parts;
    std::vector<std::vector<std::string>> pieces;
    bool whole;  // the last piece
  } rows[] = {
      // The first share ends at byte 4 (of 9) or 6 (of 13).
      {"share on a line end", "abcd\nefg\n", 2, {{"abcd"}, {"efg"}}, true},
      {"share inside a line", "ab\ncdefgh\nij\n", 2, {{"ab", "cdefgh"}, {"ij"}}, true},
      {"share just past a line end", "abcde\nfgh\nij\n", 2, {{"abcde", "fgh"}, {"ij"}}, true},
      {"a share inside one long line", "a\nbcdefghijk\nl\n", 3, {{"a", "bcdefghijk"}, {}, {"l"}}, true},
      {"one line", "abc\n", 3, {{"abc"}, {}, {}}, true},
      {"more parts than lines", "a\nb\n", 5, {{"a"}, {}, {}, {}, {"b"}}, true},
      {"one part", "a\nb\nc\n", 1, {{"a", "b", "c"}}, true},
      {"a last line without its end", "a\nb", 1, {{"a"}}, true},
      {"the longest line", "a\n" + longLine + "\nb\n", 1, {{"a", longLine, "b"}}, true},
      {"a line longer", "a\n" + longLine + "y\nb\n", 1, {{"a"}}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto file = F_InputFile::fromMemory(row.text);
    F_LineChunks::Runs<Words> runs;
    F_LineChunks::parse(*file, 1, row.parts, 100, runs);
    std::vector<std::vector<std::string>> pieces;
    for (const auto& run : runs.sets[0]) pieces.push_back(run.part.lines);
    EXPECT_EQ(pieces, row.pieces);
    EXPECT_EQ(runs.sets[0].back().whole, row.whole);
  }
  // A piece reads past its share a little at a time for its last line:
  // that line ends just before, on and just after the first such read's end,
  // and far past it.
  for (const std::size_t past : {F_LineChunks::kPastShareBytes - 1, F_LineChunks::kPastShareBytes,
                                 F_LineChunks::kPastShareBytes + 1, 5 * F_LineChunks::kPastShareBytes}) {
    // "a\n", a long line, "\nb\n": its line end `past` bytes after the first share.
    std::size_t length = 1;
    while (2 + length - (length + 5) / 2 < past) ++length;
    const std::string line(length, 'x');
    auto file = F_InputFile::fromMemory("a\n" + line + "\nb\n");
    F_LineChunks::Runs<Words> runs;
    F_LineChunks::parse(*file, 1, 2, 100, runs);
    ASSERT_EQ(runs.sets[0].size(), 2u);
    EXPECT_EQ(runs.sets[0][0].part.lines, (std::vector<std::string>{"a", line})) << past;
    EXPECT_EQ(runs.sets[0][1].part.lines, (std::vector<std::string>{"b"})) << past;
    EXPECT_TRUE(runs.sets[0][0].whole && runs.sets[0][1].whole) << past;
  }
  // Lines across the reads of the buffer come whole, in order, the bytes of
  // each part adding up to the text; the bytes of a count of lines too.
  auto file = F_InputFile::fromMemory(manyLines);
  F_LineChunks::Runs<Words> runs;
  F_LineChunks::parse(*file, 2, 3, 1000000, runs);
  std::string joined;
  std::size_t bytes = 0;
  for (const auto& run : runs.sets[0]) {
    EXPECT_TRUE(run.whole);
    for (const std::string& line : run.part.lines) joined += line + "\n";
    bytes += run.bytes;
  }
  EXPECT_EQ(joined, manyLines);
  EXPECT_EQ(bytes, manyLines.size());
  for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{20000}, runs.sets[0][0].lines}) {
    std::size_t at = 0;
    for (std::size_t k = 0; k < count; ++k) at = manyLines.find('\n', at) + 1;
    EXPECT_EQ(F_LineChunks::bytesOfLines(*file, 0, count), at) << count;
  }
}

// Each part stops at its first refused line, or after `most` lines, and
// says whether it took all of its piece; pieces after one that stopped are
// left unparsed.
TEST(F_LineChunks, PartsStopAtTheirFirstRefusedLine) {
  F_LineChunks::Runs<Words> runs;
  // One thread takes the pieces in order: the second is never parsed.
  F_LineChunks::parse(*F_InputFile::fromMemory("a\nb\nstop\nc\nd\ne\n"), 1, 2, 10, runs);
  ASSERT_EQ(runs.sets[0].size(), 2u);
  EXPECT_EQ(runs.sets[0][0].part.lines, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(runs.sets[0][0].bytes, 4u);
  EXPECT_FALSE(runs.sets[0][0].whole);
  EXPECT_EQ(runs.sets[0][1].lines, 0u);
  EXPECT_FALSE(runs.sets[0][1].whole);
  // A stop on the first line of the last piece leaves the one before whole.
  F_LineChunks::parse(*F_InputFile::fromMemory("a\nb\nc\nd\nstop\ne\n"), 2, 2, 10, runs);
  ASSERT_EQ(runs.sets[0].size(), 2u);
  EXPECT_EQ(runs.sets[0][0].part.lines, (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(runs.sets[0][0].whole);
  EXPECT_EQ(runs.sets[0][1].lines, 0u);
  EXPECT_FALSE(runs.sets[0][1].whole);
  // Kept storage starts empty again; a cap ends a part early.
  F_LineChunks::parse(*F_InputFile::fromMemory("a\nb\nc\n"), 2, 1, 2, runs);
  ASSERT_EQ(runs.sets[0].size(), 1u);
  EXPECT_EQ(runs.sets[0][0].part.lines, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(runs.sets[0][0].bytes, 4u);
  EXPECT_FALSE(runs.sets[0][0].whole);
}

// Files read on several threads give what one thread gives: the same mesh,
// or the same refusal on the same line, wherever the line that is not of the
// plain shape stands (first record, middle, last), and whatever ends the
// lines or the file.
TEST_F(ThreadsFromEnvironment, TextFormatsReadOnSeveralThreadsAsOnOne) {
  const int gridNodes = kGrid.nodes();
  const int nodeLine22 = 6, elementLine22 = nodeLine22 + gridNodes + 3;
  const int nodeLineInp = 4, elementLineInp = nodeLineInp + gridNodes + 1;
  std::string lastLineOpen = inp();
  lastLineOpen.pop_back();
  const struct {
    const char* name;
    std::string text;
    const char* extension;
  } rows[] = {
      {"2.2", msh22(), "msh"},
      {"2.2, CR LF", msh22("\r\n"), "msh"},
      {"2.2, first node over two lines", replaced(msh22(), nodeLine22, "1 0\n0 0"), "msh"},
      {"2.2, a node in the middle over two lines", replaced(msh22(), nodeLine22 + 20000, "20001 1e0 2\n 3"), "msh"},
      {"2.2, a bad node in the middle", replaced(msh22(), nodeLine22 + 20000, "20001 1 2"), "msh"},
      {"2.2, the last node bad", replaced(msh22(), nodeLine22 + gridNodes - 1, "x 0 0 0"), "msh"},
      {"2.2, a blank line among the elements", replaced(msh22(), elementLine22 + 30000, "\n30001 3 2 1 1 1 2 3 4"), "msh"},
      {"2.2, an element of an unknown type", replaced(msh22(), elementLine22 + 10000, "10001 99 0 1 2"), "msh"},
      {"2.2, an element naming a missing node", replaced(msh22(), elementLine22 + 25000, "25001 3 0 1 2 3 999999"), "msh"},
      {"2.2, a plain element naming a missing node", replaced(msh22(), elementLine22 + 25000, "25001 3 2 1 1 1 2 3 999999"),
       "msh"},
      // Early in a section: in a stretch handed on while the next is parsed.
      {"2.2, an early plain element naming a missing node", replaced(msh22(), elementLine22 + 100, "101 3 2 1 1 1 2 3 999999"),
       "msh"},
      {"2.2, a letter after the last node (bad)", replaced(msh22(), elementLine22 + 25000, "25001 3 2 1 1 1 2 3 4x"), "msh"},
      // Numbers one more than the line before are matched, not read: a
      // carry, a number that skips, a group that changes, and the last
      // number of 15 digits, after which they are read again.
      {"2.2, a missing node where the number carries",
       replaced(msh22(), elementLine22 + 9999, "10000 3 2 1 1 1 2 3 999999"), "msh"},
      {"2.2, a missing node after a number that skips",
       replaced(replaced(msh22(), elementLine22 + 20001, "20002 3 2 1 1 1 2 3 999999"), elementLine22 + 20000,
                "20005 3 2 1 1 1 2 3 4"),
       "msh"},
      {"2.2, one element of another group in a run", replaced(msh22(), elementLine22 + 20000, "20001 3 2 7 7 1 2 3 4"),
       "msh"},
      {"2.2, a missing node after the 15-digit numbers end",
       replaced(replaced(replaced(msh22(), elementLine22 + 20002, "1000000000000000 3 2 1 1 1 2 3 999999"),
                         elementLine22 + 20001, "999999999999999 3 2 1 1 1 2 3 4"),
                elementLine22 + 20000, "999999999999998 3 2 1 1 1 2 3 4"),
       "msh"},
      // Records kept in 32 bits while they fit, in 64 from the first that
      // does not: the message names the element numbered 2^31.
      {"2.2, elements numbered 2^31 - 1 and 2^31 on lines laid out alike, the second naming a missing node",
       replaced(replaced(msh22(), elementLine22 + 20001, "2147483648 3 2 1 1 1 2 3 99999"), elementLine22 + 20000,
                "2147483647 3 2 1 1 1 2 3 40401"),
       "msh"},
      {"4.1, elements numbered 2^31 - 1 and 2^31 on lines laid out alike, the second naming a missing node",
       replaced(replaced(msh41(), 11 + 2 * gridNodes + 20001, "2147483648 1 2 3 99999"), 11 + 2 * gridNodes + 20000,
                "2147483647 1 2 3 40401"),
       "msh"},
      {"4.1, a missing node after a tag that skips", replaced(msh41(), 7 + 20000, "30000000"), "msh"},
      {"4.1, a tag defined twice where the number carries (bad)", replaced(msh41(), 7 + 9998, "10000"), "msh"},
      // The first layer made takes the room declared for every element; the next one grows.
      {"2.2, a line of another group first", replaced(msh22(), elementLine22, "1 1 2 5 5 1 2"), "msh"},
      {"4.1, a sign before a node (bad)", replaced(msh41(), 11 + 2 * gridNodes + 20000, "20001 1 2 3 -4"), "msh"},
      {"2.2, an early node defined twice (bad)", replaced(msh22(), nodeLine22 + 100, "50 1 2 3"), "msh"},
      {"4.1", msh41(), "msh"},
      {"4.1, a bad coordinate", replaced(msh41(), 8 + 2 * gridNodes - 100, "1 2 z"), "msh"},
      {"4.1, a bad tag", replaced(msh41(), 7 + 20000, "x"), "msh"},
      {"4.1, two tags on a line", replaced(replaced(msh41(), 7 + 101, ""), 7 + 100, "101 102"), "msh"},
      {"inp", inp(), "inp"},
      {"inp, last line without a line end", lastLineOpen, "inp"},
      {"inp, a comment among the nodes", replaced(inp(), nodeLineInp + 15000, "** here\n15001, 1, 2, 3"), "inp"},
      {"inp, a Fortran exponent", replaced(inp(), nodeLineInp + 15000, "15001, 1.5D+00, 2, 3"), "inp"},
      {"inp, an element over two lines", replaced(inp(), elementLineInp + 20000, "20001, 1, 2,\n3, 4"), "inp"},
      {"inp, an element short of a node", replaced(inp(), elementLineInp + 20000, "20001, 1, 2, 3"), "inp"},
      {"inp, large", inp(kLargeGrid), "inp"},
      {"inp, large, a missing node in the second share (bad)",
       replaced(inp(kLargeGrid), nodeLineInp + kLargeGrid.nodes() + 1 + 50000, "50001, 1, 2, 3, 999999999"), "inp"},
      {"inp, large, a node defined twice (bad)", replaced(inp(kLargeGrid), nodeLineInp + 30000, "5, 1, 2, 3"), "inp"},
      {"inp, a coordinate beyond the doubles (bad)", replaced(inp(), nodeLineInp + 15000, "15001, 1e999, 2, 3"), "inp"},
      {"inp, a keyword among the elements", replaced(inp(), elementLineInp + 39000, "*ELEMENT, TYPE=S4R, ELSET=OTHER\n39001, 1, 2, 3, 4"), "inp"},
      // The rest of the records one line of the longest length (or one byte
      // longer) without its end: no stretch takes a record of it.
      {"2.2, nodes ending in the longest line without its end (bad)",
       "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n3000\n" + std::string(F_LineChunks::kMostLineBytes, '1'), "msh"},
      {"2.2, nodes ending in a longer line without its end (bad)",
       "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n3000\n" + std::string(F_LineChunks::kMostLineBytes + 1, '1'), "msh"},
      {"inp, nodes ending in the longest line without its end (bad)",
       "*NODE\n" + std::string(F_LineChunks::kMostLineBytes, '1'), "inp"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    setenv("KAVRILON_THREADS", "1", 1);
    const ImportRun one = importBytes(row.text, row.extension);
    for (const char* threads : {"2", "3"}) {
      SCOPED_TRACE(threads);
      setenv("KAVRILON_THREADS", threads, 1);
      const ImportRun many = importBytes(row.text, row.extension);
      EXPECT_EQ(many.ok, one.ok);
      EXPECT_EQ(many.shown, one.shown);
      EXPECT_TRUE(many.mesh == one.mesh);
    }
    if (std::string(row.name).find("bad") == std::string::npos &&
        std::string(row.name).find("missing") == std::string::npos &&
        std::string(row.name).find("short") == std::string::npos) {
      EXPECT_TRUE(one.ok) << one.last();
    } else {
      EXPECT_FALSE(one.ok);
    }
  }
}

// Deck element lines of every usual node count (and one other), read in
// parts on several threads, give the mesh that one thread gives.
TEST_F(ThreadsFromEnvironment, DeckElementsOfEveryNodeCountReadOnSeveralThreadsAsOnOne) {
  const struct {
    const char* type;
    int nodes;
  } rows[] = {{"B31", 2}, {"S3", 3}, {"S4R", 4}, {"S8R", 8}, {"C3D8", 8}, {"C3D10", 10}, {"C3D15", 15}, {"C3D20", 20}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    std::string deck = "*NODE\n";
    deck += kGrid.nodeLines([](int id, double x, double y) { return format("%d, %.16g, %.16g, 0\n", id, x, y); });
    deck += std::string("*ELEMENT, TYPE=") + row.type + ", ELSET=SET\n";
    // Solids in a row along the node numbers: each shares a face's worth of nodes with the next.
    const int elements = 20000;  // past the one-at-a-time reading after the nodes
    for (int e = 1; e <= elements; ++e) {
      std::string line = std::to_string(e);
      for (int j = 0; j < row.nodes; ++j) line += ", " + std::to_string(1 + ((e - 1) * row.nodes / 2 + j) % kGrid.nodes());
      deck += line + "\n";
    }
    setenv("KAVRILON_THREADS", "1", 1);
    const ImportRun one = importBytes(deck, "inp");
    setenv("KAVRILON_THREADS", "3", 1);
    const ImportRun many = importBytes(deck, "inp");
    ASSERT_TRUE(one.ok) << one.last();
    ASSERT_TRUE(many.ok) << many.last();
    EXPECT_TRUE(many.mesh == one.mesh);
  }
}

// Element lines the quick reading takes give the mesh that the word-by-word
// reading gives for the same line with a '+' before its number (a shape
// only that reading takes), on one thread and on several, whatever the
// length of the line, of its numbers, or the count of tags.
TEST_F(ThreadsFromEnvironment, ElementLinesOfEveryShapeReadAsWordByWord) {
  const int gridNodes = kGrid.nodes();
  const int line22 = 6 + gridNodes + 3 + 5000, line41 = 11 + 2 * gridNodes + 5000, lineInp = 4 + gridNodes + 1 + 5000;
  // "5001 3 2 1 1 " and a first node of leading zeros, to `bytes` in all.
  auto padded = [](std::size_t bytes) {
    const std::string head = "5001 3 2 1 1 ", tail = "1 2 3 4";
    return head + std::string(bytes - head.size() - tail.size(), '0') + tail;
  };
  const struct {
    const char* name;
    int line;
    std::string text;  // the element's number first
    bool msh41 = false, inp = false;
  } rows[] = {
      {"18-digit number", line22, "123456789012345678 3 2 1 1 1 2 3 4"},
      {"19-digit number", line22, "1234567890123456789 3 2 1 1 1 2 3 4"},
      {"16-digit node", line22, "5001 3 2 1 1 0000000000000001 2 3 4"},
      {"17-digit node", line22, "5001 3 2 1 1 00000000000000001 2 3 4"},
      {"64 bytes", line22, padded(64)},
      {"65 bytes", line22, padded(65)},
      {"128 bytes", line22, padded(128)},
      {"129 bytes", line22, padded(129)},
      {"no tags", line22, "5001 3 0 1 2 3 4"},
      {"one tag", line22, "5001 3 1 2 1 2 3 4"},
      {"three tags", line22, "5001 3 3 2 1 9 1 2 3 4"},
      {"a tag 0", line22, "5001 3 1 0 1 2 3 4"},
      {"a line among quadrilaterals", line22, "5001 1 2 1 1 1 2"},
      {"a triangle among quadrilaterals", line22, "5001 2 2 2 1 1 2 3"},
      {"blanks around", line22, "5001\t3 2  1 1 1 2 3 4 "},
      // Laid out as the line before ("5000 3 2 2 1 5024 5025 5226 5225"),
      // but of another type, or group.
      {"a tetrahedron laid out as the quadrilateral before", line22, "5001 4 2 2 1 5026 5027 5228 5227"},
      {"another group laid out as the line before", line22, "5001 3 2 1 1 5026 5027 5228 5227"},
      {"4.1, 18-digit number", line41, "123456789012345678 1 2 3 4", true},
      {"4.1, 19-digit number", line41, "1234567890123456789 1 2 3 4", true},
      {"inp, 18-digit node", lineInp, "5001, 000000000000000001, 2, 3, 4", false, true},
      {"inp, 19-digit node", lineInp, "5001, 0000000000000000001, 2, 3, 4", false, true},
      {"inp, a comma after the last", lineInp, "5001, 1, 2, 3, 4,", false, true},
  };
  const std::string files[] = {msh22(), msh41(), inp()};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string& file = files[row.msh41 ? 1 : row.inp ? 2 : 0];
    const char* extension = row.inp ? "inp" : "msh";
    for (const char* threads : {"1", "3"}) {
      SCOPED_TRACE(threads);
      setenv("KAVRILON_THREADS", threads, 1);
      const ImportRun quick = importBytes(replaced(file, row.line, row.text), extension);
      const ImportRun words = importBytes(replaced(file, row.line, "+" + row.text), extension);
      ASSERT_TRUE(quick.ok) << quick.last();
      ASSERT_TRUE(words.ok) << words.last();
      EXPECT_EQ(quick.shown, words.shown);
      EXPECT_TRUE(quick.mesh == words.mesh);
    }
  }
}
