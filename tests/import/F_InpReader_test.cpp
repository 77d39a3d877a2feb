#include "import/inp/F_InpReader.h"

#include <functional>

#include "ImportFixtures.h"

namespace {

const std::string kNodes = "*NODE\n1, 0., 0.\n2, 1., 0.\n3, 1., 1.\n4, 0., 1.\n5, 0, 0, 1\n6, 1, 0, 1\n7, 1, 1, 1\n"
                           "8, 0, 1, 1\n";

}  // namespace

TEST(F_InpReader, RecordsGoOnOverLinesAndSetsAreBuiltFromNumbersRangesAndSets) {
  const std::string deck = kNodes +
                           "** a brick whose record takes two lines\n"
                           "*Element, type=C3D8R, elset=BRICK\n1, 1, 2, 3, 4,\n 5, 6, 7, 8\n"
                           "*ELEMENT, TYPE=S4R\n2, 1, 2, 3, 4\n3, 5, 6, 7, 8\n"
                           "*ELSET, ELSET=caps, GENERATE\n2, 3, 1\n"
                           "*Elset, elset=ALL\nBRICK, caps, 2\n"
                           "*NSET, NSET=TOP\n5, 6\n*boundary\nTOP, 1, 3\n";
  const ImportRun run = importBytes(deck, "inp");
  ASSERT_TRUE(run.ok) << run.last();
  EXPECT_TRUE(run.shown.empty());
  const struct {
    const char* name;
    int elements, points, specialNodes;
  } rows[] = {{"BRICK", 6, 8, 2}, {"S4R", 2, 8, 2}, {"caps", 2, 8, 2}, {"ALL", 8, 8, 2}};
  ASSERT_EQ(run.mesh.layerCount(), 4);
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE(rows[i - 1].name);
    const F_S3dLayer& layer = run.mesh.layer(i);
    EXPECT_EQ(layer.name, rows[i - 1].name);
    EXPECT_EQ(layer.elementCount(), rows[i - 1].elements);
    EXPECT_EQ(layer.pointCount(), rows[i - 1].points);
    EXPECT_EQ(layer.specialNodeCount(), rows[i - 1].specialNodes);
  }
  // Two coordinates leave z at 0.
  EXPECT_EQ(run.mesh.layer(2).point(3), F_Point3D(1, 1, 0));
}

TEST(F_InpReader, BeamsKeepTheirMiddleNodeBetweenTheEnds) {
  const ImportRun run = importBytes("*NODE\n1, 0, 0, 0\n2, 2, 0, 0\n3, 1, 0, 0\n*ELEMENT, TYPE=B32\n1, 1, 3, 2\n", "inp");
  ASSERT_TRUE(run.ok) << run.last();
  const F_S3dLayer& layer = run.mesh.layer(1);
  ASSERT_EQ(layer.elementCount(), 2);
  // Points in node order: 1 (0,0,0), 2 (2,0,0), 3 (1,0,0).
  EXPECT_EQ(layer.element(1).nodes, (F_SmallVector<int, 8>(layer.element(1).nodes)));
  EXPECT_EQ(layer.element(1).node(1), 1);
  EXPECT_EQ(layer.element(1).node(2), 3);
  EXPECT_EQ(layer.element(2).node(1), 3);
  EXPECT_EQ(layer.element(2).node(2), 2);
}

TEST(F_InpReader, MalformedDecksAreRefusedWithTheLineAndWhatWasExpected) {
  const std::string kTwoParts =
      "The deck has several parts (*PART), each numbered on its own: such a deck cannot be read. Write it without "
      "parts and assemblies.";
  const std::string kPartA = "*PART, NAME=A\n" + kNodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3\n*END PART\n";
  const struct {
    const char* name;
    std::string deck;
    std::string message;
    int line;
  } rows[] = {
      {"no type", kNodes + "*ELEMENT, ELSET=A\n1, 1, 2, 3\n", "ERROR\nExpected TYPE= on the *ELEMENT line.", 10},
      {"missing node", kNodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3\n2, 1, 2, 9\n",
       "ERROR\nElement 2 refers to node 9, which the file does not define.", 12},
      {"bad coordinate", "*NODE\n1, 0., abc\n", "ERROR\nExpected a coordinate, found \"abc\".", 2},
      {"short record", kNodes + "*ELEMENT, TYPE=S4\n1, 1, 2\n*ELSET, ELSET=X\n1\n",
       "ERROR\nExpected 4 node numbers for element 1 of type S4.", 12},
      {"long record", kNodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3, 4\n",
       "ERROR\nExpected the end of the element's record, found \"4\".", 11},
      {"unknown set", kNodes + "*ELSET, ELSET=X\nNOPE\n",
       "ERROR\nExpected a number or the name of a set defined before, found \"NOPE\".", 11},
      {"set names a missing element", kNodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3\n*ELSET, ELSET=X\n1, 9\n",
       "ERROR\nSet X names element 9, which the file does not define.", 13},
      {"element twice", kNodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3\n1, 2, 3, 4\n", "ERROR\nElement 1 is defined twice.",
       12},
      {"endless range", kNodes + "*ELSET, ELSET=X, GENERATE\n1, 9, 0\n",
       "ERROR\nExpected a range with first <= last and a step of 1 or more.", 11},
      {"a range wider than a signed number holds",
       kNodes + "*ELSET, ELSET=X, GENERATE\n-9223372036854775807, 9223372036854775807, 1\n",
       "ERROR\nExpected a range with first <= last and a step of 1 or more.", 11},
      {"a range whose next step passes the largest number",
       kNodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3\n*ELSET, ELSET=X, GENERATE\n"
                "9223372036854775806, 9223372036854775807, 5\n",
       "ERROR\nSet X names element 9223372036854775806, which the file does not define.", 13},
      // Parts number their nodes and elements on their own: two parts clash.
      {"elements of two parts", kPartA + "*PART, NAME=B\n*ELEMENT, TYPE=S3\n1, 2, 3, 4\n",
       "ERROR\nElement 1 is defined twice.\n" + kTwoParts, 16},
      {"nodes of two parts", kPartA + "*PART, NAME=B\n*NODE\n1, 5., 5., 5.\n*ELEMENT, TYPE=S3\n2, 1, 3, 4\n",
       "ERROR\nNode 1 is defined twice.\n" + kTwoParts, 16},
      {"one part", "*PART, NAME=A\n" + kNodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3\n1, 2, 3, 4\n",
       "ERROR\nElement 1 is defined twice.", 13},
      {"data first", "1, 2, 3\n", "ERROR\nExpected a keyword line (*NODE, *ELEMENT, ...), found \"1, 2, 3\".", 1},
      {"missing include", "**\n*INCLUDE, INPUT=/nonexistent/n.inp\n",
       "ERROR\nThe included file /nonexistent/n.inp cannot be opened.", 2},
      {"nothing to show", kNodes + "*NSET, NSET=A\n1\n", "ERROR\nThe file holds no element that can be shown.", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    expectRefused(row.deck, "inp", row.message, row.line);
  }
}

TEST(F_InpReader, IncludedFilesAreReadWhereTheyStand) {
  TempDir dir;
  writeFileBytes(dir.path("nodes.inp"), kNodes);
  writeFileBytes(dir.path("deck.inp"), "*INCLUDE, INPUT=\"nodes.inp\"\n*ELEMENT, TYPE=CPS3, ELSET=T\n1, 1, 2, 3\n");
  RecordingUi ui;
  F_S3dMesh mesh;
  ASSERT_TRUE(importMeshFile(dir.path("deck.inp"), mesh)) << ui.lastMessage();
  ASSERT_EQ(mesh.layerCount(), 1);
  EXPECT_EQ(mesh.layer(1).pointCount(), 3);
  // A deck that includes itself stops at a depth, not at the end of the stack.
  writeFileBytes(dir.path("self.inp"), "*INCLUDE, INPUT=self.inp\n");
  EXPECT_FALSE(importMeshFile(dir.path("self.inp"), mesh));
  EXPECT_EQ(ui.lastMessage(),
            readErrorText("self.inp", dir.path("self.inp"), "ERROR\nIncluded files nest more than 16 deep.", 1));
}

namespace {

class InpThreads : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("KAVRILON_THREADS"); }
};

// A plate of kSide x kSide quadrilaterals: its *NODE section, and the
// lines of elements first .. last (1-based), each `a, b, c, d` or, with
// `three`, its first three nodes (a triangle or a 3-node beam).
constexpr int kSide = 150;
std::string plateNodes() {
  std::string s = "*NODE\n";
  for (int j = 0; j <= kSide; ++j)
    for (int i = 0; i <= kSide; ++i) {
      s += std::to_string(1 + i + j * (kSide + 1)) + ", " + std::to_string(i) + ", " + std::to_string(j) + ", 0\n";
    }
  return s;
}
std::string plateElements(int first, int last, bool three = false) {
  std::string s;
  for (int e = first; e <= last; ++e) {
    const int i = (e - 1) % kSide, j = (e - 1) / kSide, a = 1 + i + j * (kSide + 1);
    s += std::to_string(e) + ", " + std::to_string(a) + ", " + std::to_string(a + 1) + ", " +
         std::to_string(a + kSide + 2) + (three ? "" : ", " + std::to_string(a + kSide + 1)) + "\n";
  }
  return s;
}

}  // namespace

// Long element sections are read on several threads and handed to the
// builder while the file is read when nothing after them can change where
// they go: the layers, their order and their elements are those of one
// thread, and those written here, whichever sets come before or after.
TEST_F(InpThreads, LayersAreTheSameWhenElementsAreHandedOnWhileReading) {
  const int all = kSide * kSide, half = all / 2;
  const std::string nodes = plateNodes();
  const struct {
    const char* name;
    std::string deck;
    std::vector<std::pair<std::string, int>> layers;  // name, elements; empty: refused
    std::string message = "";
  } rows[] = {
      {"one set", nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, all), {{"PLATE", all}}},
      {"a set made before, still empty, filled after",
       "*ELSET, ELSET=FIRST\n" + nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, all) +
           "*ELSET, ELSET=FIRST\n7, 9\n",
       {{"FIRST", 2}, {"PLATE", all}}},
      {"a set made before that holds one element",
       "*ELSET, ELSET=FIRST\n7\n" + nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, all),
       {{"FIRST", 1}, {"PLATE", all}}},
      {"a set of a type not shown before",
       nodes + "*ELEMENT, TYPE=MASS, ELSET=M\n" + std::to_string(all + 1) + ", 1\n*ELEMENT, TYPE=S4R, ELSET=PLATE\n" +
           plateElements(1, all) + "*ELSET, ELSET=M\n3\n",
       {{"M", 1}, {"PLATE", all}}},
      {"a set of a type not shown before, never named again",
       nodes + "*ELEMENT, TYPE=MASS, ELSET=M\n" + std::to_string(all + 1) + ", 1\n*ELEMENT, TYPE=S4R, ELSET=PLATE\n" +
           plateElements(1, all) + "*NSET, NSET=N\n1, 2\n",
       {{"PLATE", all}}},
      {"a set in two sections around another, then naming one of it",
       nodes + "*ELEMENT, TYPE=S4R, ELSET=A\n" + plateElements(1, half) + "*ELEMENT, TYPE=S3, ELSET=B\n" +
           plateElements(half + 1, half + 3000, true) + "*ELEMENT, TYPE=S4R, ELSET=A\n" +
           plateElements(half + 3001, all) + "*ELSET, ELSET=A\n" + std::to_string(half + 1) + ", 5\n",
       {{"A", all - 3000 + 1}, {"B", 3000}}},
      {"elements before their nodes",
       "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, all) + nodes, {{"PLATE", all}}},
      {"a section before some of its nodes, then another of its set",
       nodes.substr(0, nodes.find("\n" + std::to_string(all / 3) + ", ")) + "\n*ELEMENT, TYPE=S4R, ELSET=A\n" +
           plateElements(1, half) + "*NODE\n" + nodes.substr(nodes.find("\n" + std::to_string(all / 3) + ", ") + 1) +
           "*ELEMENT, TYPE=S4R, ELSET=A\n" + plateElements(half + 1, all),
       {{"A", all}}},
      {"a node out of order among them",
       nodes.substr(0, nodes.find("\n" + std::to_string(all / 2) + ", ")) + "\n99999999, 5, 5, 5" +
           nodes.substr(nodes.find("\n" + std::to_string(all / 2) + ", ")) + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" +
           plateElements(1, all) + "*ELEMENT, TYPE=S3, ELSET=FAR\n1000000, 1, 2, 99999999\n",
       {{"PLATE", all}, {"FAR", 1}}},
      // Numbers kept in 32 bits while they fit, and in 64 from the first that does not.
      {"an element numbered 2^31 - 1",
       nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, half - 1) + "2147483647, 1, 2, 3, 4\n" +
           plateElements(half + 1, all),
       {{"PLATE", all}}},
      {"an element numbered 2^31",
       nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, half - 1) + "2147483648, 1, 2, 3, 4\n" +
           plateElements(half + 1, all) + "*ELSET, ELSET=ONE\n2147483648\n",
       {{"PLATE", all}, {"ONE", 1}}},
      {"elements numbered 2^31 - 1 and 2^31 on lines laid out alike",
       nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, half - 1) +
           "2147483647, 1, 2, 3, 4\n2147483648, 1, 2, 3, 4\n" + plateElements(half + 2, all) +
           "*ELSET, ELSET=ONE\n2147483648\n",
       {{"PLATE", all}, {"ONE", 1}}},
      {"a node numbered 2^31",
       nodes + "2147483648, 9, 9, 9\n*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, half - 1) +
           std::to_string(half) + ", 1, 2, 3, 2147483648\n" + plateElements(half + 1, all),
       {{"PLATE", all}}},
      {"3-node beams",
       nodes + "*ELEMENT, TYPE=B32, ELSET=BEAMS\n" + plateElements(1, all, true), {{"BEAMS", 2 * all}}},
      {"numbers falling, named by number",
       nodes + "*ELEMENT, TYPE=S4R, ELSET=A\n" + plateElements(half + 1, all) + "*ELEMENT, TYPE=S4R, ELSET=B\n" +
           plateElements(1, half) + "*ELSET, ELSET=C\n" + std::to_string(all) + ", 1, A\n*NSET, NSET=N\n1\n",
       {{"A", all - half}, {"B", half}, {"C", all - half + 1}}},
      {"an element defined twice, far apart (bad)",
       nodes + "*ELEMENT, TYPE=S4R, ELSET=A\n" + plateElements(half + 1, all) + "*ELEMENT, TYPE=S4R, ELSET=B\n" +
           plateElements(1, half) + plateElements(half + 1, half + 1),
       {},
       "ERROR\nElement " + std::to_string(half + 1) + " is defined twice."},
      {"a missing node in a long section (bad)",
       nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + plateElements(1, half) + std::to_string(half + 1) +
           ", 1, 2, 3, 99999999\n" + plateElements(half + 2, all),
       {},
       "ERROR\nElement " + std::to_string(half + 1) + " refers to node 99999999, which the file does not define."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    setenv("KAVRILON_THREADS", "1", 1);
    const ImportRun one = importBytes(row.deck, "inp");
    ASSERT_EQ(one.ok, !row.layers.empty()) << one.last();
    if (one.ok) {
      ASSERT_EQ(one.mesh.layerCount(), static_cast<int>(row.layers.size()));
      for (int i = 1; i <= one.mesh.layerCount(); ++i) {
        EXPECT_EQ(one.mesh.layer(i).name, row.layers[static_cast<std::size_t>(i - 1)].first);
        EXPECT_EQ(one.mesh.layer(i).elementCount(), row.layers[static_cast<std::size_t>(i - 1)].second);
      }
    } else {
      EXPECT_NE(one.last().find(row.message.substr(6)), std::string::npos) << one.last();
    }
    for (const char* threads : {"2", "3"}) {
      SCOPED_TRACE(threads);
      setenv("KAVRILON_THREADS", threads, 1);
      const ImportRun many = importBytes(row.deck, "inp");
      EXPECT_EQ(many.ok, one.ok);
      EXPECT_EQ(many.shown, one.shown);
      EXPECT_TRUE(many.mesh == one.mesh);
    }
  }
}

// Elements the builder took while the file was read, numbered one after
// another, keep no records: sets that name them later, node sets and layers
// that take cells of other kinds after them find their nodes in the
// builder. Each deck gives what the same deck numbered two apart gives,
// whose records are kept.
TEST_F(InpThreads, ElementsKeptOnlyByTheBuilderGiveWhatTheirRecordsGive) {
  const int all = kSide * kSide, half = all / 2;
  const std::string nodes = plateNodes();
  // Each line's first number times `step`; numbers in set lists the same.
  auto numbered = [](const std::string& lines, int step) {
    std::string s;
    for (std::size_t at = 0; at < lines.size();) {
      const std::size_t comma = lines.find(',', at), end = lines.find('\n', at);
      s += std::to_string(step * std::stoll(lines.substr(at, comma - at))) + lines.substr(comma, end + 1 - comma);
      at = end + 1;
    }
    return s;
  };
  auto named = [](std::initializer_list<int> ids, int step) {
    std::string s;
    for (int id : ids) s += (s.empty() ? "" : ", ") + std::to_string(step * id);
    return s + "\n";
  };
  // A gap in the numbers: the part that holds it keeps its records.
  const std::string gapped = plateElements(1, half - 1) + numbered(plateElements(half + 1, all), 1);
  const struct {
    const char* name;
    std::function<std::string(int)> deck;
    int layers;
  } rows[] = {
      {"a set naming some of them, and a node set",
       [&](int step) {
         return nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + numbered(plateElements(1, all), step) +
                "*ELSET, ELSET=SOME\n" + named({7, all, 1}, step) + "*NSET, NSET=N\n1, 2, 153\n";
       },
       2},
      {"their layer takes a cell of another kind after another layer's, then a set names some",
       [&](int step) {
         return nodes + "*ELEMENT, TYPE=S8R, ELSET=EIGHT\n" + std::to_string(step * (all + 2)) +
                ", 8, 7, 6, 5, 4, 3, 2, 1\n*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + numbered(plateElements(1, all), step) +
                "*ELEMENT, TYPE=S8R, ELSET=PLATE\n" + std::to_string(step * (all + 1)) +
                ", 1, 2, 3, 4, 5, 6, 7, 8\n*ELSET, ELSET=SOME\n" + named({5, all - 1}, step) + "*NSET, NSET=N\n3\n";
       },
       3},
      {"nodes numbered apart after them",
       [&](int step) {
         return nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + numbered(plateElements(1, all), step) +
                "*NODE\n99999999, 1, 1, 1\n*ELEMENT, TYPE=S3, ELSET=FAR\n" + std::to_string(step * (all + 1)) +
                ", 1, 2, 99999999\n*ELSET, ELSET=SOME\n" + named({3, all}, step) + "*NSET, NSET=N\n99999999, 2\n";
       },
       3},
      {"two sections of one set, named at their ends",
       [&](int step) {
         return nodes + "*ELEMENT, TYPE=S4R, ELSET=A\n" + numbered(plateElements(1, half), step) +
                "*ELEMENT, TYPE=S3, ELSET=A\n" + numbered(plateElements(half + 1, all, true), step) +
                "*ELSET, ELSET=ENDS\n" + named({half, half + 1, 1, all}, step);
       },
       2},
      {"one number missing among them, a set naming the one after it",
       [&](int step) {
         return nodes + "*ELEMENT, TYPE=S4R, ELSET=PLATE\n" + numbered(gapped, step) + "*ELSET, ELSET=SOME\n" +
                named({half + 1, half - 1, all}, step);
       },
       2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ImportRun apart = importBytes(row.deck(2), "inp");
    ASSERT_TRUE(apart.ok) << apart.last();
    EXPECT_EQ(apart.mesh.layerCount(), row.layers);
    for (const char* threads : {"1", "2"}) {
      SCOPED_TRACE(threads);
      setenv("KAVRILON_THREADS", threads, 1);
      const ImportRun running = importBytes(row.deck(1), "inp");
      ASSERT_TRUE(running.ok) << running.last();
      EXPECT_TRUE(running.mesh == apart.mesh);
    }
  }
}
