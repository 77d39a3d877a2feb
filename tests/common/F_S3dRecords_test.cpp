#include "common/F_S3dRecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <random>
#include <string>
#include <vector>

#include "common/F_RecordScan.h"
#include "common/F_S3dMesh.h"
#include "support/TestSupport.h"

namespace {

// A layer written as the program writes it: `elements` 4-node quads over a
// strip of points, then the points, then two special nodes. Each record line
// is one entry of the result, so a test can change any one of them.
std::vector<std::string> writtenLines(int elements) {
  const int points = 2 * (elements + 1);
  char text[200];
  std::snprintf(text, sizeof text, " %d  %d  2 ", elements, points);
  std::vector<std::string> lines = {"Strip", "Layer one", text};
  for (int i = 1; i <= elements; ++i) {
    std::snprintf(text, sizeof text, " %8d  %8d  %8d  %8d  %8d  %8d ", i, 4, 2 * i - 1, 2 * i + 1, 2 * i + 2, 2 * i);
    lines.push_back(text);
  }
  for (int i = 1; i <= points; ++i) {
    std::snprintf(text, sizeof text, " %8d  %15.8f %15.8f %15.8f ", i, 0.25 * i, (i % 2) * 1.5, -0.125 * i);
    lines.push_back(text);
  }
  lines.push_back(" 1 1 ");
  std::snprintf(text, sizeof text, " 2 %d ", points);
  lines.push_back(text);
  return lines;
}

std::string joined(const std::vector<std::string>& lines, const char* end = "\r\n") {
  std::string bytes;
  for (const std::string& l : lines) bytes += l + end;
  return bytes;
}

// The same lines with a comment on each record: the fast readers take none
// of them, so the ordinary reader reads the whole file.
std::string ordinary(std::vector<std::string> lines) {
  for (std::size_t i = 3; i < lines.size(); ++i) lines[i] += " # ordinary";
  return joined(lines);
}

struct Read {
  std::string message;
  F_S3dMesh mesh;
  int lines = 0;
};

Read readBytes(const std::string& bytes) {
  Read r;
  r.message = readMessage(bytes, [&](F_InputFile& f) {
    r.mesh.readS3d(f);
    r.lines = f.lineNumber();
  });
  return r;
}

// Both readings give the same message (line number included) and mesh.
void expectSameAsOrdinary(const std::vector<std::string>& lines) {
  const Read fast = readBytes(joined(lines)), slow = readBytes(ordinary(lines));
  EXPECT_EQ(fast.message, slow.message);
  EXPECT_EQ(fast.lines, slow.lines);
  EXPECT_TRUE(fast.mesh == slow.mesh);
}

class ThreadsFromEnvironment : public ::testing::Test {
 protected:
  void TearDown() override {
    unsetenv("KAVRILON_THREADS");
    F_RecordScan::pieceBytes = F_RecordScan::headBytes = F_RecordScan::bytesPerThread = 128 * 1024;
  }
  // Pieces of `piece` bytes, a head of three and threads' stretches of at least two.
  static void smallPieces(std::size_t piece) {
    F_RecordScan::pieceBytes = piece;
    F_RecordScan::headBytes = 3 * piece;
    F_RecordScan::bytesPerThread = 2 * piece;
  }
};

}  // namespace

TEST_F(ThreadsFromEnvironment, WrittenFilesReadAsTheOrdinaryReaderReadsThem) {
  struct Case {
    const char* name;
    int elements;
    int line;  // 1-based line to replace, 0 for none
    std::string text;
  };
  // 300 elements: lines 4..303 elements, 304..905 points, 906..907 special nodes.
  const Case cases[] = {
      {"as written", 300, 0, ""},
      {"a record over two lines", 300, 100, " 97 4 193\n 195 196 194"},
      {"a tab and a plus sign", 300, 50, "\t47 +4 93 95 96 94"},
      {"a node beyond the points", 300, 200, " 197 4 393 395 603 394"},
      {"a node of zero", 300, 200, " 197 4 393 0 396 394"},
      {"a bad item count", 300, 250, " 248 4 495 497 498 496"},
      {"eight digits", 300, 120, " 117 4 00000233 235 236 234"},
      {"nine digits", 300, 120, " 117 4 000000233 235 236 234"},
      {"ten digits", 300, 120, " 117 4 0000000233 235 236 234"},
      {"twenty nodes", 300, 30, " 27 20 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20"},
      {"twenty-one nodes", 300, 30, " 27 21 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21"},
      {"the last element", 300, 303, " 300 4 599 601 602 600"},
      {"a point that looks like an element", 300, 304, " 1 2 3 4"},
      {"a point with an exponent", 300, 500, " 197 1e2 0 -3"},
      // Reals of up to 15 digits with a point are converted on the spot, the rest the full way.
      {"fifteen digits", 300, 500, " 197 0.123456789012345 -99999999999999.9 12345678.9012345"},
      {"fifteen digits split every way", 300, 500, " 197 12345678901234.5 9.87654321098765 -1234567.89012345"},
      {"digits up to the end of the line", 300, 500, " 197 1.5 2.5 3.25"},
      {"sixteen digits", 300, 500, " 197 0.1234567890123456 -999999999999999.9 1.000000000000001"},
      {"seventeen digits", 300, 500, " 197 1.7976931348623157 0.30000000000000004 2.2250738585072014"},
      {"halfway cases", 300, 500, " 197 0.1 0.2 0.3"},
      {"points without digits on one side", 300, 500, " 197 5. .5 -.5"},
      {"whole numbers and zeros", 300, 500, " 197 12 -0.0 -0"},
      {"twenty-two fraction digits", 300, 500, " 197 0.0000000000000000000001 0 0"},
      {"a point not a number", 300, 500, " 197 1.5 x -3"},
      {"a point beyond the doubles", 300, 700, " 397 1" + std::string(400, '0') + " 0 0"},
      {"a stray carriage return", 300, 600, " 297 1\r2 3"},
      {"a comment line between records", 300, 150, "# note\n 147 4 293 295 296 294"},
      {"a blank line between records", 300, 150, "\n 147 4 293 295 296 294"},
      {"the last point", 300, 905, " 602 1.0 2.0 3.0"},
      {"a missing point", 300, 905, ""},
  };
  for (const int threads : {1, 3}) {
    setenv("KAVRILON_THREADS", std::to_string(threads).c_str(), 1);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << ", threads " << threads);
      std::vector<std::string> lines = writtenLines(c.elements);
      if (c.line) lines[static_cast<std::size_t>(c.line - 1)] = c.text;
      expectSameAsOrdinary(lines);
    }
  }
}

TEST_F(ThreadsFromEnvironment, LargeFilesGiveTheSameMeshOnAnyNumberOfThreads) {
  // Past the first block of a file on disk (about 180 bytes an element with
  // its two points): several parts per thread, with errors placed in the
  // middle of the file, where the parts meet, and near its start.
  const int elements = static_cast<int>(F_InputFile::kBlockSize / 180) + 1000;
  const std::vector<std::string> written = writtenLines(elements);
  const Read reference = readBytes(ordinary(written));
  ASSERT_EQ(reference.message, "");
  ASSERT_EQ(reference.mesh.layer(1).elementCount(), elements);
  for (const int threads : {1, 2, 7}) {
    SCOPED_TRACE(threads);
    setenv("KAVRILON_THREADS", std::to_string(threads).c_str(), 1);
    for (const char* end : {"\r\n", "\n"}) {
      const Read fast = readBytes(joined(written, end));
      EXPECT_EQ(fast.message, "");
      EXPECT_EQ(fast.lines, reference.lines);
      EXPECT_TRUE(fast.mesh == reference.mesh);
    }
    // From disk the file comes in blocks, and lines straddle their ends.
    TempDir dir;
    writeFileBytes(dir.path("big.s3d"), joined(written));
    const auto file = F_InputFile::open(dir.path("big.s3d"));
    ASSERT_TRUE(file);
    F_S3dMesh fromDisk;
    fromDisk.readS3d(*file);
    EXPECT_EQ(file->lineNumber(), reference.lines);
    EXPECT_TRUE(fromDisk == reference.mesh);
    // A line in the part read alone (its first 128 KiB), then where the threads' parts meet.
    for (const int line : {100, elements / 2, elements + 3, elements + 3 + elements}) {
      std::vector<std::string> broken = written;
      broken[static_cast<std::size_t>(line)] = " 5 5 5 5";
      expectSameAsOrdinary(broken);
    }
  }
}

TEST(S3dRecords, RandomNumbersReadAsTheOrdinaryReaderReadsThem) {
  // Reals of every split of up to 16 digits about the point, and item numbers
  // with up to ten digits (leading zeros), against the ordinary reader.
  std::mt19937 random(11);
  auto digits = [&](int n) {
    std::string d;
    for (int i = 0; i < n; ++i) d += static_cast<char>('0' + random() % 10);
    return d;
  };
  std::vector<std::string> lines = writtenLines(300);
  for (int i = 1; i <= 602; ++i) {
    std::string line = " " + std::string(random() % 10, '0') + std::to_string(i);
    for (int v = 0; v < 3; ++v) {
      line += std::string(1 + random() % 3, ' ');
      if (random() % 2) line += '-';
      line += digits(1 + static_cast<int>(random() % 9)) + "." + digits(1 + static_cast<int>(random() % 9));
    }
    lines[static_cast<std::size_t>(303 + i - 1)] = line;
  }
  expectSameAsOrdinary(lines);
  const Read fast = readBytes(joined(lines));
  EXPECT_EQ(fast.message, "");
}

// One call reads every element, then every point, of a layer: the stretches
// of all threads joined (a stretch read but not joined is read again).
void expectReadInOneCall(const std::vector<std::string>& lines, int elements) {
  const auto file = memoryFile(joined(lines));
  for (int line = 1; line <= 3; ++line) skipRestOfLine(*file);
  file->unget();  // onto the counts line's NewLine (line 4 counted already)
  F_SharedVector<F_S3dElement> read;
  F_Vector<F_Point3D> points;
  const int p = 2 * (elements + 1);
  EXPECT_EQ(F_S3dRecords::readElements(*file, 1, elements, p, read), elements);
  EXPECT_EQ(F_S3dRecords::readPoints(*file, 1, p, points), p);
  EXPECT_EQ(file->lineNumber(), 4 + elements + p);
  EXPECT_EQ(file->get(), '\n');
}

TEST_F(ThreadsFromEnvironment, LinesOnEveryBoundaryOfPiecesAndStretches) {
  // Pieces of 62 to 127 bytes put lines of 62 (elements) and 61 bytes
  // (points) across every piece boundary and make each end on a piece's
  // last byte; pieces past the small first one (4 KiB) are read whole.
  setenv("KAVRILON_THREADS", "3", 1);
  const std::vector<std::string> written = writtenLines(300);
  const Read reference = readBytes(ordinary(written));
  ASSERT_EQ(reference.message, "");
  std::vector<std::size_t> pieces = {8192};
  for (std::size_t piece = 62; piece < 128; ++piece) pieces.push_back(piece);
  for (const std::size_t piece : pieces) {
    SCOPED_TRACE(piece);
    smallPieces(piece);
    const Read fast = readBytes(joined(written));
    EXPECT_EQ(fast.message, "");
    EXPECT_EQ(fast.lines, reference.lines);
    EXPECT_TRUE(fast.mesh == reference.mesh);
    expectReadInOneCall(written, 300);
  }
  // Layers of other sizes and line widths: the threads' stretches begin
  // and end at every place in a line, also exactly at its start.
  smallPieces(100);
  for (int round = 0; round < 200; ++round) {
    const int elements = 200 + round % 101;
    std::vector<std::string> padded = writtenLines(elements);
    for (std::size_t i = 3; i + 2 < padded.size(); ++i) padded[i].insert(0, static_cast<std::size_t>(round % 30), ' ');
    expectReadInOneCall(padded, elements);
  }
  // A line declined on every line of the file: first and last in a piece,
  // in the head and in a thread's stretch.
  for (std::size_t line = 3; line < written.size() - 2; ++line) {
    SCOPED_TRACE(line);
    std::vector<std::string> declined = written;
    // A comment the ordinary reader passes over, or a record out of turn it reports.
    declined[line] = line % 2 ? declined[line] + " # note" : " 5 5 5 5";
    expectSameAsOrdinary(declined);
  }
}

// The threads write each record where its number puts it, each between its
// first place and the next stretch's first. A number one below or above its
// turn on every line (so also on the first line of every stretch, and on
// the last of a stretch before one that starts with it) gives what the
// ordinary reader gives; records read but not joined (here of ten nodes,
// kept outside the element) are let go again.
TEST_F(ThreadsFromEnvironment, NumbersOutOfTurnWhereThreadsMeet) {
  setenv("KAVRILON_THREADS", "3", 1);
  smallPieces(100);
  std::vector<std::string> written = writtenLines(300);
  char text[200];
  for (int i = 1; i <= 300; ++i) {
    std::snprintf(text, sizeof text, " %8d  10 %d %d %d %d %d %d %d %d %d %d", i, 2 * i - 1, 2 * i + 1, 2 * i + 2,
                  2 * i, 2 * i - 1, 2 * i + 1, 2 * i + 2, 2 * i, 2 * i - 1, 2 * i + 1);
    written[static_cast<std::size_t>(2 + i)] = text;
  }
  for (std::size_t line = 3; line < written.size() - 2; ++line) {
    for (const int step : {-1, 1}) {
      SCOPED_TRACE(testing::Message() << "line " << line + 1 << ", step " << step);
      std::vector<std::string> renumbered = written;
      std::string& record = renumbered[line];
      const std::size_t digits = record.find_first_of("0123456789");
      const std::size_t after = record.find(' ', digits);
      const int number = std::stoi(record.substr(digits, after - digits));
      record = " " + std::to_string(number + step) + record.substr(after);
      expectSameAsOrdinary(renumbered);
    }
  }
}

TEST_F(ThreadsFromEnvironment, AFileCutShortWhileReadEndsAsItsShorterSelf) {
  // The stream still takes the file for its old size; the reads in place
  // find its end and the ordinary reader reports what it finds there.
  setenv("KAVRILON_THREADS", "3", 1);
  smallPieces(100);
  const std::string bytes = joined(writtenLines(300));
  const std::size_t pointsStart = bytes.find("\n        1  ") + 1;
  TempDir dir;
  const std::string path = dir.path("cut.s3d");
  // Inside an element line, at a line end, inside a point line, inside the special nodes.
  const std::size_t sizes[] = {5000, bytes.find('\n', 9000) + 1, pointsStart + 20000, bytes.size() - 3};
  for (const std::size_t size : sizes) {
    SCOPED_TRACE(size);
    writeFileBytes(path, bytes);
    Read cut;
    cut.message = readMessage("", [&](F_InputFile&) {
      const auto file = F_InputFile::open(path);
      ASSERT_TRUE(file);
      ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
      cut.mesh.readS3d(*file);
    });
    F_S3dMesh mesh;
    const std::string expected =
        readMessage(bytes.substr(0, size), [&](F_InputFile& file) { mesh.readS3d(file); }, path);
    EXPECT_NE(expected, "");
    EXPECT_EQ(cut.message, expected);
  }
}
