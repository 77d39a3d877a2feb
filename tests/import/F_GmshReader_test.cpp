#include "import/gmsh/F_GmshReader.h"

#include <cmath>
#include <cstring>

#include "ImportFixtures.h"
#include "import/F_WorkShares.h"

namespace {

const std::string kHead = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n";
const std::string kNodes = "$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n$EndNodes\n";

// A triangle outside every group, a line in physical group 5 ("edge") and a
// point element in group 7 (unnamed).
const std::string kSmall = kHead + "$PhysicalNames\n1\n1 5 \"edge\"\n$EndPhysicalNames\n" + kNodes +
                           "$Elements\n3\n1 2 0 1 2 3\n2 1 2 5 1 1 2\n3 15 2 7 1 4\n$EndElements\n";

template <class T>
void put(std::string& s, T value, bool bigEndian) {
  char b[sizeof(T)];
  std::memcpy(b, &value, sizeof b);
  if (bigEndian == (std::endian::native == std::endian::little)) std::reverse(b, b + sizeof b);
  s.append(b, sizeof b);
}

// The triangle of kSmall in group 3, as format 2.2 binary in either byte order.
std::string binary22(bool bigEndian, std::int32_t lastNode = 3) {
  std::string s = "$MeshFormat\n2.2 1 8\n";
  put<std::int32_t>(s, 1, bigEndian);
  s += "\n$EndMeshFormat\n$Nodes\n4\n";
  const double xyz[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (int i = 0; i < 4; ++i) {
    put<std::int32_t>(s, i + 1, bigEndian);
    for (double v : xyz[i]) put<double>(s, v, bigEndian);
  }
  s += "\n$EndNodes\n$Elements\n1\n";
  for (std::int32_t v : {2, 1, 2, 1, 3, 1, 1, 2, lastNode}) put<std::int32_t>(s, v, bigEndian);
  return s + "\n$EndElements\n";
}

// Format 4.1 binary without entities: an empty node block, a block of three
// nodes, and two triangles, the second over nodes 1, 2 and `lastNode`;
// `secondAt` gets the byte offset of the second triangle's record.
std::string binary41(std::uint64_t lastNode, std::size_t* secondAt = nullptr) {
  std::string s = "$MeshFormat\n4.1 1 8\n";
  put<std::int32_t>(s, 1, false);
  s += "\n$EndMeshFormat\n$Nodes\n";
  for (std::uint64_t v : {2, 3, 1, 3}) put<std::uint64_t>(s, v, false);
  for (std::int32_t v : {0, 1, 0}) put<std::int32_t>(s, v, false);
  put<std::uint64_t>(s, 0, false);
  for (std::int32_t v : {2, 1, 0}) put<std::int32_t>(s, v, false);
  put<std::uint64_t>(s, 3, false);
  for (std::uint64_t tag : {1, 2, 3}) put<std::uint64_t>(s, tag, false);
  for (double v : {0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 1.0, 1.0, 0.0}) put<double>(s, v, false);
  s += "\n$EndNodes\n$Elements\n";
  for (std::uint64_t v : {1, 2, 1, 2}) put<std::uint64_t>(s, v, false);
  for (std::int32_t v : {2, 1, 2}) put<std::int32_t>(s, v, false);
  put<std::uint64_t>(s, 2, false);
  for (std::uint64_t v : {1, 1, 2, 3}) put<std::uint64_t>(s, v, false);
  if (secondAt) *secondAt = s.size();
  for (std::uint64_t v : {std::uint64_t{2}, std::uint64_t{1}, std::uint64_t{2}, lastNode}) put<std::uint64_t>(s, v, false);
  return s + "\n$EndElements\n";
}

}  // namespace

// Whole blocks of binary records are read in stretches: an empty block among
// them reads as nothing, and a record's place is still its own.
TEST(F_GmshReader, BinaryBlocksReadInStretchesKeepEachRecordsPlace) {
  const ImportRun good = importBytes(binary41(3), "msh");
  ASSERT_TRUE(good.ok) << good.last();
  ASSERT_EQ(good.mesh.layerCount(), 1);
  EXPECT_EQ(good.mesh.layer(1).elementCount(), 2);
  EXPECT_EQ(good.mesh.layer(1).pointCount(), 3);
  EXPECT_EQ(good.mesh.layer(1).point(3), F_Point3D(1, 1, 0));
  std::size_t secondAt = 0;
  const ImportRun bad = importBytes(binary41(9, &secondAt), "msh");
  EXPECT_FALSE(bad.ok);
  ASSERT_EQ(bad.shown.size(), 1u);
  EXPECT_EQ(bad.shown[0], importError("msh",
                                      "ERROR\nByte offset " + std::to_string(secondAt) +
                                          ".\nElement 2 refers to node 9, which the file does not define.",
                                      0));
}

TEST(F_GmshReader, LayersByPhysicalGroupElseByDimension) {
  const ImportRun run = importBytes(kSmall, "msh");
  ASSERT_TRUE(run.ok) << run.last();
  ASSERT_EQ(run.mesh.layerCount(), 3);
  EXPECT_EQ(run.mesh.layerName(1), "Surfaces");
  EXPECT_EQ(run.mesh.layerName(2), "edge");
  EXPECT_EQ(run.mesh.layerName(3), "Physical group 7");
  EXPECT_EQ(run.mesh.layer(1).elementCount(), 1);
  EXPECT_EQ(run.mesh.layer(2).pointCount(), 2);
  EXPECT_EQ(run.mesh.layer(3).point(1), F_Point3D(0, 1, 0));
  EXPECT_EQ(run.mesh.layer(3).specialNode(1), 1);
}

TEST(F_GmshReader, BinaryInEitherByteOrderReadsTheSame) {
  const ImportRun little = importBytes(binary22(false), "msh");
  const ImportRun big = importBytes(binary22(true), "msh");
  ASSERT_TRUE(little.ok) << little.last();
  ASSERT_TRUE(big.ok) << big.last();
  ASSERT_EQ(little.mesh.layerCount(), 1);
  EXPECT_EQ(little.mesh.layers, big.mesh.layers);
  EXPECT_EQ(little.mesh.layer(1).point(3), F_Point3D(1, 1, 0));
}

TEST(F_GmshReader, NodeDataOfSeveralComponentsIsTheirMagnitude) {
  const std::string data = "$NodeData\n1\n\"velocity\"\n1\n0.0\n3\n0\n3\n2\n1 3 4 0\n3 0 0 -2\n$EndNodeData\n";
  const ImportRun run = importBytes(kSmall + data, "msh");
  ASSERT_TRUE(run.ok) << run.last();
  const std::optional<F_VectorReal> v = run.fields.layerField(1, "velocity");
  ASSERT_TRUE(v);
  ASSERT_EQ(v->size(), 3);
  EXPECT_EQ((*v)(1), 5.0);  // node 1
  EXPECT_EQ((*v)(2), 0.0);  // node 2 has no value
  EXPECT_EQ((*v)(3), 2.0);  // node 3
}

TEST(F_GmshReader, TypesThatCannotBeShownAreCountedInOneWarning) {
  // An 18-node prism (known, not shown) and type 99 (unknown: its line is passed over).
  std::string prism = "4 13 0";
  for (int i = 0; i < 18; ++i) prism += " 1";
  const ImportRun run =
      importBytes(kHead + kNodes + "$Elements\n4\n1 2 0 1 2 3\n" + prism + "\n5 99 0 1 2\n6 13 0" +
                      prism.substr(6) + "\n$EndElements\n",
                  "msh");
  ASSERT_TRUE(run.ok) << run.last();
  ASSERT_EQ(run.shown.size(), 1u);
  EXPECT_EQ(run.shown[0],
            "WARNING\nElements of these types cannot be shown and were skipped:\n\n"
            "Gmsh element type 13: 2\nGmsh element type 99: 1");
  EXPECT_EQ(run.mesh.layerCount(), 1);
}

TEST(F_GmshReader, MalformedFilesAreRefusedWithWhereAndWhat) {
  std::string truncated = binary22(false);
  truncated.resize(truncated.size() - 30);
  const struct {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
  } rows[] = {
      {"missing node", kHead + kNodes + "$Elements\n2\n1 2 0 1 2 3\n2 1 0 1 9\n$EndElements\n",
       "ERROR\nElement 2 refers to node 9, which the file does not define.", 14},
      {"no format first", kNodes, "ERROR\nExpected $MeshFormat, found \"$Nodes\".", 1},
      {"version 3", "$MeshFormat\n3.0 0 8\n", "ERROR\nExpected format version 2.2 or 4.1, found \"3.0\".", 2},
      {"count beyond the file", kHead + "$Nodes\n99999999999\n",
       "ERROR\nThe number of nodes (99999999999) is more than the rest of the file can hold.", 5},
      {"negative count", kHead + "$Elements\n-1\n",
       "ERROR\nThe number of elements (-1) is more than the rest of the file can hold.", 5},
      {"bad coordinate", kHead + "$Nodes\n1\n1 0 x 0\n", "ERROR\nExpected the y coordinate, found \"x\".", 6},
      {"infinite coordinate", kHead + "$Nodes\n1\n1 0 1e999 0\n",
       "ERROR\nExpected the y coordinate, found \"1e999\".", 6},
      {"node twice", kHead + "$Nodes\n2\n1 0 0 0\n1 1 0 0\n$EndNodes\n$Elements\n1\n1 15 0 1\n$EndElements\n",
       "ERROR\nNode 1 is defined twice.", 7},
      {"section not closed", kHead + kNodes + "$Elements\n1\n1 15 0 1\n$EndNodes\n",
       "ERROR\nExpected $EndElements, found \"$EndNodes\".", 14},
      {"unknown section without end", kHead + "$Comments\nhello\n",
       "ERROR\nExpected $EndComments before the end of the file.", 4},
      {"nothing to show", kHead + kNodes, "ERROR\nThe file holds no element that can be shown.", 0},
      {"truncated binary", truncated, "ERROR\nByte offset 196.\nThe file ends inside an element.", 0},
      {"parametric node of dimension 4", kHead + "$ParametricNodes\n1\n1 0 0 0 4 1\n",
       "ERROR\nExpected the node's dimension (0, 1, 2 or 3), found \"4\".", 6},
      {"curve node without its parameter", kHead + "$ParametricNodes\n1\n1 0 0 0 1 1\n$EndParametricNodes\n",
       "ERROR\nExpected a parametric coordinate, found \"$EndParametricNodes\".", 7},
      {"missing node, binary", binary22(true, 9),
       "ERROR\nByte offset 196.\nElement 1 refers to node 9, which the file does not define.", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    expectRefused(row.bytes, "msh", row.message, row.line);
  }
}

TEST(F_GmshReader, Format41TakesGroupsFromEntitiesAndPassesParametricCoordinates) {
  // Surface 1 belongs to groups 4 and 6: its triangle is in both layers.
  // Curve 2's nodes carry a parametric coordinate each.
  const std::string file =
      "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n"
      "$PhysicalNames\n2\n2 4 \"skin\"\n2 6 \"paint\"\n$EndPhysicalNames\n"
      "$Entities\n0 1 1 0\n2 0 0 0 1 0 0 0 0\n1 0 0 0 1 1 0 2 4 6 0\n$EndEntities\n"
      "$Nodes\n2 3 1 3\n2 1 0 1\n1\n0 0 0\n1 2 1 2\n2\n3\n1 0 0 0.5\n0 1 0 0.25\n$EndNodes\n"
      "$Elements\n2 2 1 2\n2 1 2 1\n1 1 2 3\n1 2 1 1\n2 1 2\n$EndElements\n";
  const ImportRun run = importBytes(file, "msh");
  ASSERT_TRUE(run.ok) << run.last();
  ASSERT_EQ(run.mesh.layerCount(), 3);
  EXPECT_EQ(run.mesh.layerName(1), "skin");
  EXPECT_EQ(run.mesh.layerName(2), "paint");
  EXPECT_EQ(run.mesh.layerName(3), "Curves");
  EXPECT_EQ(run.mesh.layer(1).elements, run.mesh.layer(2).elements);
  EXPECT_EQ(run.mesh.layer(1).point(3), F_Point3D(0, 1, 0));
  EXPECT_EQ(run.mesh.layer(3).elementCount(), 1);
}

namespace {

enum class StripFault { None, MissingNode, NotFinite, TagsJump, ElementsFirst, GroupChange };
// Point i of a strip of `nodes` points: at (i / 2, i % 2, 0), its x not a
// number at the middle point with NotFinite.
void putStripPoint(std::string& n, std::uint64_t i, std::uint64_t nodes, bool bigEndian, StripFault fault) {
  const bool notFinite = fault == StripFault::NotFinite && i == nodes / 2;
  put<double>(n, notFinite ? std::nan("") : static_cast<double>(i / 2), bigEndian);
  put<double>(n, static_cast<double>(i % 2), bigEndian);
  put<double>(n, 0.0, bigEndian);
}
// A strip of `quads` quadrilaterals in format 4.1 binary: nodes 2i + 1 at
// (i, 0, 0) and 2i + 2 at (i, 1, 0), one block of each. `fault` spoils one
// record halfway through (where the second of two shares begins) and
// `faultAt` gets its byte offset.
std::string strip41(std::uint64_t quads, bool bigEndian, StripFault fault, std::size_t* faultAt = nullptr) {
  const std::uint64_t nodes = 2 * quads + 2, half = quads / 2;
  std::string s = "$MeshFormat\n4.1 1 8\n";
  put<std::int32_t>(s, 1, bigEndian);
  s += "\n$EndMeshFormat\n";
  std::string n = "$Nodes\n";
  for (std::uint64_t v : {std::uint64_t{1}, nodes, std::uint64_t{1}, nodes}) put<std::uint64_t>(n, v, bigEndian);
  for (std::int32_t v : {2, 1, 0}) put<std::int32_t>(n, v, bigEndian);
  put<std::uint64_t>(n, nodes, bigEndian);
  for (std::uint64_t tag = 1; tag <= nodes; ++tag) {
    put<std::uint64_t>(n, fault == StripFault::TagsJump && tag > nodes / 2 ? tag + 10 : tag, bigEndian);
  }
  for (std::uint64_t i = 0; i < nodes; ++i) {
    if (fault == StripFault::NotFinite && i == nodes / 2 && faultAt) *faultAt = s.size() + n.size();
    putStripPoint(n, i, nodes, bigEndian, fault);
  }
  n += "\n$EndNodes\n";
  std::string e = "$Elements\n";
  for (std::uint64_t v : {std::uint64_t{1}, quads, std::uint64_t{1}, quads}) put<std::uint64_t>(e, v, bigEndian);
  for (std::int32_t v : {2, 1, 3}) put<std::int32_t>(e, v, bigEndian);
  put<std::uint64_t>(e, quads, bigEndian);
  const std::size_t elementsAt = s.size() + (fault == StripFault::ElementsFirst ? 0 : n.size());
  for (std::uint64_t q = 0; q < quads; ++q) {
    const bool missing = fault == StripFault::MissingNode && q == half;
    if (missing && faultAt) *faultAt = elementsAt + e.size();
    put<std::uint64_t>(e, q + 1, bigEndian);
    for (std::uint64_t v : {2 * q + 1, 2 * q + 3, 2 * q + 4, missing ? nodes + 5 : 2 * q + 2}) {
      put<std::uint64_t>(e, fault == StripFault::TagsJump && v > nodes / 2 ? v + 10 : v, bigEndian);
    }
  }
  e += "\n$EndElements\n";
  return fault == StripFault::ElementsFirst ? s + e + n : s + n + e;
}

// The same strip in format 2.2 binary, its elements in physical group 7
// (with GroupChange, those from halfway on in group 8).
std::string strip22(std::uint64_t quads, bool bigEndian, StripFault fault, std::size_t* faultAt = nullptr) {
  const std::uint64_t nodes = 2 * quads + 2, half = quads / 2;
  std::string s = "$MeshFormat\n2.2 1 8\n";
  put<std::int32_t>(s, 1, bigEndian);
  s += "\n$EndMeshFormat\n";
  std::string n = "$Nodes\n" + std::to_string(nodes) + "\n";
  for (std::uint64_t i = 0; i < nodes; ++i) {
    const std::uint64_t tag = i + 1;
    put<std::int32_t>(n, static_cast<std::int32_t>(fault == StripFault::TagsJump && tag > nodes / 2 ? tag + 10 : tag),
                      bigEndian);
    if (fault == StripFault::NotFinite && i == nodes / 2 && faultAt) *faultAt = s.size() + n.size() - 4;
    putStripPoint(n, i, nodes, bigEndian, fault);
  }
  n += "\n$EndNodes\n";
  std::string e = "$Elements\n" + std::to_string(quads) + "\n";
  for (std::uint64_t v : {std::uint64_t{3}, quads, std::uint64_t{2}}) put<std::int32_t>(e, static_cast<std::int32_t>(v), bigEndian);
  const std::size_t elementsAt = s.size() + (fault == StripFault::ElementsFirst ? 0 : n.size());
  for (std::uint64_t q = 0; q < quads; ++q) {
    const bool missing = fault == StripFault::MissingNode && q == half;
    if (missing && faultAt) *faultAt = elementsAt + e.size();
    put<std::int32_t>(e, static_cast<std::int32_t>(q + 1), bigEndian);
    put<std::int32_t>(e, fault == StripFault::GroupChange && q >= half ? 8 : 7, bigEndian);
    put<std::int32_t>(e, 1, bigEndian);
    for (std::uint64_t v : {2 * q + 1, 2 * q + 3, 2 * q + 4, missing ? nodes + 5 : 2 * q + 2}) {
      put<std::int32_t>(e, static_cast<std::int32_t>(fault == StripFault::TagsJump && v > nodes / 2 ? v + 10 : v),
                        bigEndian);
    }
  }
  e += "\n$EndElements\n";
  return fault == StripFault::ElementsFirst ? s + e + n : s + n + e;
}

class GmshThreads : public testing::Test {
 protected:
  void TearDown() override { unsetenv("KAVRILON_THREADS"); }
};

}  // namespace

// Large binary blocks are read on several threads; the mesh and any message
// (with its byte offset) are those of one thread, on either side of the size
// that is shared out, in either byte order, with a fault where two shares meet.
TEST_F(GmshThreads, LargeBinaryBlocksGiveTheSameMeshOnAnyNumberOfThreads) {
  const std::uint64_t shared = 2 * F_WorkShares::kMinShare;  // two shares of quads, and more of nodes
  const struct {
    const char* name;
    std::uint64_t quads;
    bool bigEndian;
    StripFault fault;
    std::string message;  // after the byte offset; empty: read
    int layers = 1;
  } rows[] = {
      {"shared", shared, false, StripFault::None, ""},
      {"shared, big-endian", shared, true, StripFault::None, ""},
      {"one short of two shares", shared - 1, false, StripFault::None, ""},
      {"tags jump in the second share", shared, false, StripFault::TagsJump, ""},
      {"elements before the nodes", shared, true, StripFault::ElementsFirst, ""},
      {"a missing node in the second share", shared, false, StripFault::MissingNode,
       "Element " + std::to_string(shared / 2 + 1) + " refers to node " + std::to_string(2 * shared + 7) +
           ", which the file does not define."},
      {"a missing node, big-endian", shared, true, StripFault::MissingNode,
       "Element " + std::to_string(shared / 2 + 1) + " refers to node " + std::to_string(2 * shared + 7) +
           ", which the file does not define."},
      {"a coordinate not finite in the second share", shared, false, StripFault::NotFinite,
       "Node " + std::to_string(shared + 2) + " has a coordinate that is not a finite number."},
      {"another group from the second share on", shared, false, StripFault::GroupChange, "", 2},
  };
  for (const auto& [format, strip] : {std::pair{"4.1", &strip41}, std::pair{"2.2", &strip22}}) {
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << format << ", " << row.name);
    std::size_t faultAt = 0;
    const std::string bytes = strip(row.quads, row.bigEndian, row.fault, &faultAt);
    setenv("KAVRILON_THREADS", "1", 1);
    const ImportRun one = importBytes(bytes, "msh");
    for (const char* threads : {"2", "3"}) {
      setenv("KAVRILON_THREADS", threads, 1);
      const ImportRun many = importBytes(bytes, "msh");
      EXPECT_EQ(many.ok, one.ok);
      EXPECT_EQ(many.shown, one.shown);
      EXPECT_TRUE(many.mesh == one.mesh);
    }
    if (row.message.empty()) {
      ASSERT_TRUE(one.ok) << one.last();
      // Format 4.1 takes groups from its entities, not from each element.
      const int layers = std::string(format) == "2.2" ? row.layers : 1;
      ASSERT_EQ(one.mesh.layerCount(), layers);
      if (layers > 1) continue;
      EXPECT_EQ(one.mesh.layer(1).elementCount(), static_cast<int>(row.quads));
      EXPECT_EQ(one.mesh.layer(1).pointCount(), static_cast<int>(2 * row.quads + 2));
      EXPECT_EQ(one.mesh.layer(1).point(one.mesh.layer(1).element(static_cast<int>(row.quads)).node(3)),
                F_Point3D(static_cast<double>(row.quads), 1, 0));
    } else {
      ASSERT_EQ(one.shown.size(), 1u);
      EXPECT_EQ(one.shown[0],
                importError("msh", "ERROR\nByte offset " + std::to_string(faultAt) + ".\n" + row.message, 0));
    }
  }
  }
}
