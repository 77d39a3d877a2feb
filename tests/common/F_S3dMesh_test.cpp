#include "common/F_S3dMesh.h"

#include <sys/resource.h>

#include <chrono>
#include <random>

#include "support/TestSupport.h"

namespace {

// Reads a whole .s3d text; returns the box shown ("" on success).
std::string readMesh(const std::string& bytes, F_S3dMesh& mesh) {
  return readMessage(bytes, [&](F_InputFile& f) { mesh.readS3d(f); });
}

std::string exported(const F_S3dMesh& mesh) {
  auto f = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  mesh.writeS3d(*f);
  EXPECT_TRUE(f->close());
  return f->bytes();
}

long peakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

const std::string kEof = "ERROR\nUnexpected end of file.";

// Two layers: beams over two points with a special node, and an empty one.
const char* const kDemoCanonical =
    "Demo\r\n"
    "Beams\r\n"
    "        1         2         1 \r\n"
    "        1         2         1         2 \r\n"
    "        1       0.00000000      0.00000000      0.00000000 \r\n"
    "        2       1.50000000     -2.25000000     10.00000000 \r\n"
    "        1         2 \r\n"
    "Empty\r\n"
    "        0         0         0 \r\n";

// The same mesh as a person might type it: comments, blank lines, free-form records.
const char* const kDemoByHand =
    "# a demo\n"
    "Demo   # the title\n"
    "Beams\n"
    "1 2 1\n"
    "1 2\t1 2   # a beam\n"
    "1 0 0 0 2\n"
    "1.5 -2.25 1e1\n"
    "\n"
    "1 2\n"
    "# the second layer\n"
    "Empty\n"
    "0 0 0\n";

}  // namespace

TEST(F_S3dMesh, TitleOnlyGivesAMeshWithoutLayers) {
  F_S3dMesh mesh;
  EXPECT_EQ(readMesh("Just a title\n", mesh), "");
  EXPECT_EQ(mesh.name, "Just a title");
  EXPECT_EQ(mesh.layerCount(), 0);
  EXPECT_EQ(exported(mesh), "Just a title\r\n");
}

TEST(F_S3dMesh, ReadsFreeFormRecordsAcrossLayers) {
  F_S3dMesh mesh;
  ASSERT_EQ(readMesh(kDemoByHand, mesh), "");
  EXPECT_EQ(mesh.name, "Demo");
  ASSERT_EQ(mesh.layerCount(), 2);
  EXPECT_EQ(mesh.layerName(1), "Beams");
  EXPECT_EQ(mesh.layerPointCount(1), 2);
  EXPECT_EQ(mesh.layer(1).point(2), F_Point3D(1.5, -2.25, 10));
  EXPECT_EQ(mesh.layer(1).specialNode(1), 2);
  EXPECT_EQ(mesh.layerName(2), "Empty");
  EXPECT_EQ(mesh.layerPointCount(2), 0);
  EXPECT_DEATH(mesh.layer(3), "");
  EXPECT_DEATH(mesh.layerName(0), "");
}

TEST(F_S3dMesh, DelimitersAndLineEndsDoNotMatter) {
  const std::string lf = "M\nL\n1 3 0\n1 3 1 2 3\n1 0 0 0\n2 1 0 0\n3 0 1 0\n";
  std::string crlf, tabs;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (char c : lf) tabs += c == ' ' ? '\t' : c;
  std::string joined = "M\nL\n1 3 0 1 3 1 2 3 1 0 0 0 2 1 0 0 3 0 1 0\n";
  F_S3dMesh reference;
  ASSERT_EQ(readMesh(lf, reference), "");
  for (const auto& [name, bytes] : {std::pair{"crlf", crlf}, {"tabs", tabs}, {"one line", joined}}) {
    SCOPED_TRACE(name);
    F_S3dMesh mesh;
    EXPECT_EQ(readMesh(bytes, mesh), "");
    EXPECT_EQ(mesh, reference);
  }
}

TEST(F_S3dMesh, RestOfTheLastLineOfALayerIsPassedOver) {
  // The reader discards the rest of the line on which a layer's last word stands.
  F_S3dMesh mesh;
  EXPECT_EQ(readMesh("M\nA\n0 0 0 whatever \x01 follows\nB\n0 0 0\n", mesh), "");
  EXPECT_EQ(mesh.layerCount(), 2);
}

TEST(F_S3dMesh, WholeFilesStopAtTheFirstErrorWithItsLine) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
  } cases[] = {
      {"empty file", "", kEof, 0},
      {"title without newline", "M", kEof, 0},
      {"hash glued to the title", "M#x\n", "ERROR\nExpecting a 'Space' or 'Tab' before the # character.", 1},
      {"blank line after the last layer", "M\nL\n0 0 0\n\n", kEof, 0},
      {"comment line after the last layer", "M\nL\n0 0 0\n# end\n", kEof, 0},
      {"blank after the last layer", "M\nL\n0 0 0\n ", kEof, 0},
      {"no newline after the last record", "M\nL\n0 0 0", kEof, 0},
      {"point record numbered 2 where 1 is due", "M\nL\n0 2 0\n\n2 0 0 0\n1 0 0 0\n", "ERROR\nBad item count.", 5},
      {"first error wins", "M\nL\n1 1 0\n2 1 1\n1 x 0 0\n", "ERROR\nBad item count.", 4},
      {"error in the second layer", "M\nA\n0 1 0\n1 0 0 0\nB\n# c\n0 0 -1\n",
       "ERROR\nNegative number of special nodes.", 7},
      {"bad real on its own line", "M\nL\n0 1 0\n1\n0\n0\n1,5\n", "ERROR\nInvalid real number.\n1, <?> 5", 7},
      {"too few elements", "M\nL\n2 0 0\n1 0\n", kEof, 0},
      {"invalid byte in a layer title", "M\n\nL\x01\n0 0 0\n",
       "ERROR\nInvalid character in the string.\nL\x01 <?> ", 3},
      // Integers beyond 32 bits would wrap to small valid numbers (4294967297 to 1).
      {"count beyond 32 bits", "M\nL\n4294967297 0 0\n", "ERROR\nInvalid integer number.\n4294967297 <?>", 3},
      {"node beyond 32 bits", "M\nL\n1 1 0\n1 1\n4294967297\n1 0 0 0\n",
       "ERROR\nInvalid integer number.\n4294967297 <?>", 5},
      {"word too long in the counts", "M\nL\n" + std::string(1001, '1') + " 0 0\n",
       "ERROR\nWord too long (maximum = 1000 characters).", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_S3dMesh mesh;
    EXPECT_EQ(readMesh(c.bytes, mesh), readError(c.message, c.line));
  }
}

TEST(F_S3dMesh, ReadReplacesEarlierContent) {
  F_S3dMesh mesh;
  ASSERT_EQ(readMesh(kDemoByHand, mesh), "");
  ASSERT_EQ(readMesh("Second\nOnly\n0 0 0\n", mesh), "");
  EXPECT_EQ(mesh.name, "Second");
  EXPECT_EQ(mesh.layerCount(), 1);
}

// The list of layers grows no further than the rest of the file can hold:
// a file of nothing but empty layers ends with the list exactly full.
TEST(F_S3dMesh, EmptyLayersFillTheirListExactly) {
  auto empties = [](int n, const std::string& last) {
    std::string bytes = "Empty\n";
    for (int i = 1; i < n; ++i) bytes += "L\n0 0 0\n";
    return bytes + last;
  };
  const struct {
    const char* name;
    std::string bytes;
    int layers;
    const char* lastName;
    int capacity;
  } cases[] = {
      {"one", empties(1, "L\n0 0 0\n"), 1, "L", 1},
      {"four, the first step", empties(4, "L\n0 0 0\n"), 4, "L", 4},
      {"five", empties(5, "L\n0 0 0\n"), 5, "L", 5},
      {"a thousand", empties(1000, "L\n0 0 0\n"), 1000, "L", 1000},
      {"the last with CarriageReturn NewLine", empties(1000, "L\r\n0 0 0\r\n"), 1000, "L", 1000},
      {"the last with a longer title", empties(1000, "Last\n0 0 0\n"), 1000, "Last", 1000},
      // Room for three 8-byte layers in the 24 bytes of this one.
      {"one layer with points", "Full\nP\n0 2 0\n1 0 0 0\n2 1 1 1\n", 1, "P", 3},
      // Room for two more after the fourth in the last one's 16 bytes.
      {"a layer with points last", empties(4, "L\n0 0 0\nP\n0 1 0\n1 0 0 0\n"), 5, "P", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_S3dMesh mesh;
    ASSERT_EQ(readMesh(c.bytes, mesh), "");
    EXPECT_EQ(mesh.layerCount(), c.layers);
    EXPECT_EQ(mesh.layerName(1), c.layers == 1 ? c.lastName : "L");
    EXPECT_EQ(mesh.layerName(c.layers), c.lastName);
    EXPECT_EQ(mesh.layers.capacity(), c.capacity);
  }
}

// ---- round trips ----

TEST(F_S3dMesh, ExportWritesFixedFieldsAndCarriageReturnNewLine) {
  F_S3dMesh mesh;
  ASSERT_EQ(readMesh(kDemoByHand, mesh), "");
  EXPECT_EQ(exported(mesh), kDemoCanonical);
}

TEST(F_S3dMesh, ExportThenImportGivesTheSameMesh) {
  F_S3dMesh original;
  ASSERT_EQ(readMesh(kDemoByHand, original), "");
  const std::string bytes = exported(original);
  F_S3dMesh back;
  ASSERT_EQ(readMesh(bytes, back), "");
  EXPECT_EQ(back, original);
  EXPECT_EQ(exported(back), bytes);
}

TEST(F_S3dMesh, ExportRoundsCoordinatesToEightDecimals) {
  F_S3dMesh mesh;
  mesh.name = "R";
  mesh.layers.resize(1);
  mesh.layer(1).name = "L";
  mesh.layer(1).points.resize(1);
  mesh.layer(1).points(1) = {1.0 / 3.0, -123456.123456789, 1e-9};
  F_S3dMesh back;
  ASSERT_EQ(readMesh(exported(mesh), back), "");
  EXPECT_EQ(back.layer(1).point(1), F_Point3D(0.33333333, -123456.12345679, 0.0));
}

TEST(F_S3dMesh, EmptyNamesAreGivenNamesThatReadBack) {
  // Only a document file can hold empty names; an empty line would be passed
  // over by the reader and the file would not read back.
  F_S3dMesh mesh;
  mesh.layers.resize(2);
  mesh.layer(2).name = "Kept";
  F_S3dMesh back;
  ASSERT_EQ(readMesh(exported(mesh), back), "");
  EXPECT_EQ(back.name, "Untitled");
  ASSERT_EQ(back.layerCount(), 2);
  EXPECT_EQ(back.layerName(1), "Layer 1");
  EXPECT_EQ(back.layerName(2), "Kept");
  EXPECT_EQ(mesh.name, "");  // the mesh itself is not changed
}

TEST(F_S3dMesh, CopiesDeeply) {
  F_S3dMesh source;
  ASSERT_EQ(readMesh(kDemoByHand, source), "");
  F_S3dMesh copy = source;
  copy.layer(1).points(1).x = 5;
  copy.layers.resize(1);
  EXPECT_EQ(source.layerCount(), 2);
  EXPECT_EQ(source.layer(1).point(1).x, 0);
  F_S3dMesh assigned;
  assigned = source;
  EXPECT_EQ(assigned, source);
}

// ---- hostile counts ----

// A declared count far beyond what the file holds must end with the ordinary
// read error, quickly, and without taking memory for the declared size.
TEST(F_S3dMesh, HugeCountsInAShortFileEndWithTheReadError) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"elements", "Hostile\nL\n2000000000 1 0\n1 2 1 1\n2 0\n"},
      {"points", "Hostile\nL\n0 2000000000 0\n1 0 0 0\n2 0 0 0\n"},
      {"special nodes", "Hostile\nL\n0 1 2000000000\n1 0 0 0\n1 1\n"},
      {"nodes of an element", "Hostile\nL\n1 1 0\n1 2000000000 1 1 1\n"},
      {"all at the limit", "Hostile\nL\n2147483647 2147483647 2147483647\n"},
      {"middling element count", "Hostile\nL\n50000000 0 0\n1 0\n"},
      {"middling point count", "Hostile\nL\n0 50000000 0\n1 0 0 0\n"},
  };
  const long rssBefore = peakRssKb();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_LT(c.bytes.size(), 100u);
    const auto start = std::chrono::steady_clock::now();
    F_S3dMesh mesh;
    EXPECT_EQ(readMesh(c.bytes, mesh), readError(kEof, 0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  }
  EXPECT_LT(peakRssKb() - rssBefore, 32 * 1024) << "kB of peak memory taken by files under 100 bytes";
}

// Whatever the bytes, a read either succeeds with every node in range or ends
// with one message box; it never reaches an internal error.
TEST(F_S3dMesh, MangledFilesEndInAReadErrorOrAValidMesh) {
  const std::string base = kDemoCanonical;
  const char alphabet[] = {'0', '1', '9', '-', '+', '.', 'e', ' ', '\t', '\r', '\n', '#', 'x', '\x01', '\xff'};
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = base;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < edits; ++k) {
      const std::size_t at = rng() % (bytes.size() + 1);
      const char c = alphabet[rng() % sizeof alphabet];
      switch (rng() % 3) {
        case 0:
          if (at < bytes.size()) bytes[at] = c;
          break;
        case 1:
          bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), c);
          break;
        default:
          if (at < bytes.size()) bytes.erase(at, 1);
          break;
      }
    }
    SCOPED_TRACE(::testing::PrintToString(bytes));
    F_S3dMesh mesh;
    if (readMesh(bytes, mesh).empty()) {
      for (const auto& layer : mesh.layers) EXPECT_TRUE(layer.nodesInRange());
    }
  }
}
