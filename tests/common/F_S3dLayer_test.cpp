#include "common/F_S3dLayer.h"

#include "support/TestSupport.h"

namespace {

std::string readLayer(const std::string& bytes, F_S3dLayer& layer) {
  return readMessage(bytes, [&](F_InputFile& f) { layer.read(f); });
}

}  // namespace

TEST(F_S3dLayer, ThreeZeroCountsGiveAnEmptyNamedLayer) {
  F_S3dLayer layer;
  EXPECT_EQ(readLayer("Empty one  # nothing here\n0 0 0\n", layer), "");
  EXPECT_EQ(layer.name, "Empty one");
  EXPECT_EQ(layer.elementCount(), 0);
  EXPECT_EQ(layer.pointCount(), 0);
  EXPECT_EQ(layer.specialNodeCount(), 0);
}

TEST(F_S3dLayer, ReadsElementsThenPointsThenSpecialNodes) {
  F_S3dLayer layer;
  ASSERT_EQ(readLayer("Tri\n1 3 2\n1 3 1 2 3\n1 0 0 0\n2 1 0 0\n3 0 1 0\n1 3\n2 1\n", layer), "");
  EXPECT_EQ(layer.elementCount(), 1);
  EXPECT_EQ(layer.element(1).nodeCount(), 3);
  EXPECT_EQ(layer.point(2), F_Point3D(1, 0, 0));
  EXPECT_EQ(layer.specialNode(1), 3);
  EXPECT_EQ(layer.specialNode(2), 1);
  EXPECT_TRUE(layer.nodesInRange());
  EXPECT_DEATH(layer.element(2), "");
  EXPECT_DEATH(layer.point(0), "");
  EXPECT_DEATH(layer.specialNode(3), "");
}

TEST(F_S3dLayer, ChecksCountsAndNodeRanges) {
  const std::string points2 = "1 0 0 0\n2 0 0 0\n";
  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
  } cases[] = {
      {"negative elements", "L\n-1 0 0\n", "ERROR\nNegative number of elements.", 2},
      {"negative points", "L\n0\n-1 0\n", "ERROR\nNegative number of points.", 3},
      {"negative special nodes", "L\n0 0 -5\n", "ERROR\nNegative number of special nodes.", 2},
      {"node beyond the declared points", "L\n1 2 0\n1 2 1\n3\n" + points2,
       "ERROR\nNode number cannot exceed the number of points.", 4},
      {"element before any point still bound by P", "L\n1 0 0\n1 1 1\n",
       "ERROR\nNode number cannot exceed the number of points.", 3},
      {"special node is P + 1", "L\n0 2 1\n" + points2 + "1 3\n",
       "ERROR\nSpecial node number cannot exceed the number of points.", 5},
      {"special node zero", "L\n0 2 1\n" + points2 + "1 0\n",
       "ERROR\nSpecial node number cannot be less than one.", 5},
      {"special node item number", "L\n0 2 2\n" + points2 + "1 1\n3 1\n", "ERROR\nBad item count.", 6},
      {"element item number", "L\n2 2 0\n1 0\n1 0\n", "ERROR\nBad item count.", 4},
      {"point item number", "L\n0 2 0\n1 0 0 0\n1 0 0 0\n", "ERROR\nBad item count.", 4},
      {"counts not integers", "L\n0 2.5 0\n", "ERROR\nInvalid integer number.\n2. <?> 5", 2},
      {"fewer points than declared", "L\n0 3 0\n" + points2, "ERROR\nUnexpected end of file.", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_S3dLayer layer;
    EXPECT_EQ(readLayer(c.bytes, layer), readError(c.message, c.line));
  }
}

TEST(F_S3dLayer, SpecialNodeMayBeTheLastPoint) {
  F_S3dLayer layer;
  EXPECT_EQ(readLayer("L\n0 2 1\n1 0 0 0\n2 0 0 0\n1 2\n", layer), "");
  EXPECT_EQ(layer.specialNode(1), 2);
}

TEST(F_S3dLayer, CopiesDeeply) {
  F_S3dLayer source;
  ASSERT_EQ(readLayer("Src\n1 2 1\n1 2 1 2\n1 0 0 0\n2 1 1 1\n1 2\n", source), "");
  F_S3dLayer copy = source;
  EXPECT_EQ(copy, source);
  copy.name = "Other";
  copy.elements(1).nodes(1) = 2;
  copy.points(2).x = 42;
  copy.specialNodes(1) = 1;
  EXPECT_EQ(source.name, "Src");
  EXPECT_EQ(source.element(1).node(1), 1);
  EXPECT_EQ(source.point(2).x, 1);
  EXPECT_EQ(source.specialNode(1), 2);

  F_S3dLayer assigned;
  assigned = source;
  EXPECT_EQ(assigned, source);
}

TEST(F_S3dLayer, NodesInRangeFindsStrayNumbers) {
  F_S3dLayer layer;
  layer.points.resize(2);
  layer.elements.resize(1);
  layer.elements(1).nodes.resize(2, 1);
  EXPECT_TRUE(layer.nodesInRange());
  layer.elements(1).nodes(2) = 3;
  EXPECT_FALSE(layer.nodesInRange());
  layer.elements(1).nodes(2) = 2;
  layer.specialNodes.resize(1, 0);
  EXPECT_FALSE(layer.nodesInRange());
}
