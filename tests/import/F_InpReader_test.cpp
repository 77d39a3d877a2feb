#include "import/inp/F_InpReader.h"

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
