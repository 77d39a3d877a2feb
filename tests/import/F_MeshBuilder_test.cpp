#include "import/F_MeshBuilder.h"

#include <atomic>
#include <cmath>

#include "ImportFixtures.h"
#include "import/F_WorkShares.h"

namespace {

// A Gmsh 2.2 text file of the given nodes ("id x" pairs, y = z = 0) and
// elements ("id type tags... nodes..." lines), in the order given; `nodesFirst`
// false puts the elements first.
std::string mesh(const std::vector<std::pair<int, double>>& nodes, const std::vector<std::string>& elements,
                 bool nodesFirst = true) {
  std::string n = "$Nodes\n" + std::to_string(nodes.size()) + "\n";
  for (const auto& [id, x] : nodes) n += std::to_string(id) + " " + std::to_string(x) + " 0 0\n";
  n += "$EndNodes\n";
  std::string e = "$Elements\n" + std::to_string(elements.size()) + "\n";
  for (const std::string& line : elements) e += line + "\n";
  e += "$EndElements\n";
  return "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n" + (nodesFirst ? n + e : e + n);
}

// Each layer as its elements' points' x, element by element.
std::vector<std::vector<double>> xOfElements(const F_S3dMesh& m) {
  std::vector<std::vector<double>> layers;
  for (const F_S3dLayer& layer : m.layers) {
    std::vector<double> xs;
    for (const F_S3dElement& e : layer.elements) {
      for (int node : e.nodes) xs.push_back(layer.point(node).x);
    }
    layers.push_back(xs);
  }
  return layers;
}

}  // namespace

// However the nodes are numbered and wherever they stand, every element ends
// up over the points the file gave it, and each layer holds just its points.
TEST(F_MeshBuilder, ElementsReachTheirNodesHoweverTheNodesAreNumbered) {
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::vector<double>> x;
    std::vector<int> points;  // per layer
  } rows[] = {
      {"1..N before the elements", mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 0 1 2", "2 1 0 2 3"}),
       {{10, 20, 20, 30}}, {3}},
      {"from 0", mesh({{0, 10}, {1, 20}, {2, 30}}, {"1 1 0 2 0"}), {{30, 10}}, {2}},
      {"from a large number", mesh({{1000000, 10}, {1000001, 20}}, {"1 1 0 1000001 1000000"}), {{20, 10}}, {2}},
      {"elements before the nodes", mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 0 3 1"}, false), {{30, 10}}, {2}},
      {"a gap after a run", mesh({{1, 10}, {2, 20}, {7, 70}}, {"1 1 0 7 1", "2 1 0 2 7"}), {{70, 10, 20, 70}}, {3}},
      {"an element before the gap",
       mesh({{1, 10}, {2, 20}, {5, 50}, {6, 60}}, {"1 1 0 1 2", "2 1 0 6 5"}), {{10, 20, 60, 50}}, {4}},
      {"descending", mesh({{3, 30}, {2, 20}, {1, 10}}, {"1 1 0 1 3"}), {{10, 30}}, {2}},
      {"sparse numbers", mesh({{5, 50}, {100000000, 1}, {7, 70}}, {"1 1 0 100000000 7"}), {{1, 70}}, {2}},
      // Two layers: each keeps only its own points, in the file's node order.
      {"two layers", mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 2 4 4 3 2", "2 1 2 5 5 1 2"}),
       {{30, 20}, {10, 20}}, {2, 2}},
      {"one layer of some nodes", mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 0 3 2"}), {{30, 20}}, {2}},
      // Lines made straight into their layer's elements, until a cell of
      // another kind (or one before its nodes) sends them all to the cells.
      {"a quadrilateral, then a 6-node triangle among them",
       mesh({{1, 10}, {2, 20}, {3, 30}, {4, 40}, {5, 50}, {6, 60}},
            {"1 3 0 1 2 3 4", "2 9 0 1 2 3 4 5 6", "3 2 0 4 5 6"}),
       {{10, 20, 30, 40, 10, 40, 20, 50, 30, 60, 40, 50, 60}}, {6}},
      {"lines, then one before its node", mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 0 1 2", "2 1 0 2 4", "3 1 0 3 1"}),
       {}, {}},
      // Marks of the nodes made with the elements serve a layer only when no other has such elements.
      {"three layers of lines", mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 2 4 4 1 2", "2 1 2 5 5 2 3", "3 1 2 6 6 3 1"}),
       {{10, 20}, {20, 30}, {30, 10}}, {2, 2, 2}},
      {"one layer of lines, one of 6-node triangles",
       mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 2 4 4 1 2", "2 9 2 5 5 1 2 3 1 2 3"}), {{10, 20}, {10, 10, 20, 20, 30, 30}},
       {2, 3}},
      {"lines of one layer around another's",
       mesh({{1, 10}, {2, 20}, {3, 30}}, {"1 1 2 4 4 1 2", "2 9 2 5 5 1 2 3 1 2 3", "3 1 2 4 4 2 3"}),
       {{10, 20, 20, 30}, {10, 10, 20, 20, 30, 30}}, {3, 3}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ImportRun run = importBytes(row.bytes, "msh");
    if (row.points.empty()) {
      EXPECT_NE(run.last().find("Element 2 refers to node 4, which"), std::string::npos) << run.last();
      continue;
    }
    ASSERT_TRUE(run.ok) << run.last();
    EXPECT_EQ(xOfElements(run.mesh), row.x);
    ASSERT_EQ(run.mesh.layerCount(), static_cast<int>(row.points.size()));
    for (int l = 1; l <= run.mesh.layerCount(); ++l) {
      EXPECT_EQ(run.mesh.layer(l).pointCount(), row.points[static_cast<std::size_t>(l - 1)]);
      EXPECT_TRUE(run.mesh.layer(l).nodesInRange());
    }
  }
}

// A node named twice or a missing node is reported where the file has it,
// whether the numbers ran on one by one up to there or not.
TEST(F_MeshBuilder, RepeatedAndMissingNodesAreReportedAtTheirLine) {
  const struct {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
  } rows[] = {
      {"the run's first node again", mesh({{1, 0}, {2, 0}, {3, 0}, {1, 0}}, {"1 1 0 1 2"}),
       "ERROR\nNode 1 is defined twice.", 9},
      {"the run's last node again", mesh({{1, 0}, {2, 0}, {2, 0}}, {"1 1 0 1 2"}), "ERROR\nNode 2 is defined twice.",
       8},
      {"repeated after a gap", mesh({{1, 0}, {5, 0}, {6, 0}, {5, 0}}, {"1 1 0 1 5"}),
       "ERROR\nNode 5 is defined twice.", 9},
      {"one past the run", mesh({{1, 0}, {2, 0}}, {"1 1 0 1 2", "2 1 0 2 3"}),
       "ERROR\nElement 2 refers to node 3, which the file does not define.", 12},
      {"one before the run", mesh({{1, 0}, {2, 0}}, {"1 1 0 1 2", "2 1 0 0 1"}),
       "ERROR\nElement 2 refers to node 0, which the file does not define.", 12},
      {"missing, elements first", mesh({{1, 0}, {2, 0}}, {"1 1 0 1 2", "2 1 0 2 4"}, false),
       "ERROR\nElement 2 refers to node 4, which the file does not define.", 7},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    expectRefused(row.bytes, "msh", row.message, row.line);
  }
}

namespace {

struct LayerView {
  std::vector<double> points, elements, specials;  // x of each
  bool operator==(const LayerView&) const = default;
};

void PrintTo(const LayerView& v, std::ostream* os) {
  for (const auto* list : {&v.points, &v.elements, &v.specials}) {
    *os << "{";
    for (double x : *list) *os << " " << x;
    *os << " } ";
  }
}

std::vector<LayerView> viewOf(const F_S3dMesh& m) {
  std::vector<LayerView> layers;
  for (const F_S3dLayer& layer : m.layers) {
    LayerView v;
    for (const F_Point3D& p : layer.points) v.points.push_back(p.x);
    for (const F_S3dElement& e : layer.elements) {
      for (int node : e.nodes) v.elements.push_back(layer.point(node).x);
    }
    for (int node : layer.specialNodes) v.specials.push_back(layer.point(node).x);
    layers.push_back(v);
  }
  return layers;
}

// Nodes 1..n at x = 10 * number.
std::vector<std::pair<int, double>> nodesUpTo(int n) {
  std::vector<std::pair<int, double>> nodes;
  for (int i = 1; i <= n; ++i) nodes.emplace_back(i, 10.0 * i);
  return nodes;
}

}  // namespace

// Layers of 2-node lines and special nodes over nodes 1..n at x = 10 * number,
// straight through the builder.
struct LineLayer {
  std::vector<std::pair<int, int>> lines;
  std::vector<int> specials;
};
std::vector<LayerView> built(const std::vector<std::pair<int, double>>& nodes, const std::vector<LineLayer>& layers) {
  auto file = F_InputFile::fromMemory("", "built");
  F_MeshBuilder builder(*file);
  for (const auto& [id, x] : nodes) builder.addNode(id, x, 0, 0, {});
  for (const LineLayer& l : layers) {
    const int layer = builder.addLayer("L");
    for (const auto& [a, b] : l.lines) {
      const std::int64_t ids[] = {a, b};
      builder.addCell(layer, F_CellKind::Line2, ids, 1, {});
    }
    for (int node : l.specials) builder.addSpecialNode(layer, node, {});
  }
  F_S3dMesh mesh;
  builder.finish(mesh, nullptr);
  for (const F_S3dLayer& layer : mesh.layers) EXPECT_TRUE(layer.nodesInRange());
  return viewOf(mesh);
}

// A layer's points are its elements' and special nodes' nodes in the file's
// order, whether the layer uses every node, all but one, or few enough that
// its nodes are listed and sorted instead of found by a pass over all.
TEST(F_MeshBuilder, LayersHoldTheirOwnNodesInFileOrder) {
  // A small layer (a line 3-2 and the special node 5) before lines 6-7 ... n-1-n.
  auto twoLayers = [](int n) {
    LineLayer rest;
    for (int i = 6; i < n; ++i) rest.lines.emplace_back(i, i + 1);
    return built(nodesUpTo(n), {{{{3, 2}}, {5}}, rest});
  };
  auto restOf = [](int n) {
    LayerView v;
    for (int i = 6; i <= n; ++i) v.points.push_back(10.0 * i);
    for (int i = 6; i < n; ++i) v.elements.insert(v.elements.end(), {10.0 * i, 10.0 * (i + 1)});
    return v;
  };
  const LayerView small{{20, 30, 50}, {30, 20}, {50}};
  const struct {
    const char* name;
    std::vector<LayerView> got, layers;
  } rows[] = {
      {"every node", built(nodesUpTo(4), {{{{1, 2}, {3, 2}, {3, 4}}, {2}}}),
       {{{10, 20, 30, 40}, {10, 20, 30, 20, 30, 40}, {20}}}},
      {"every node, the last only as a special node", built(nodesUpTo(4), {{{{1, 2}, {2, 3}}, {4}}}),
       {{{10, 20, 30, 40}, {10, 20, 20, 30}, {40}}}},
      {"all but the last", built(nodesUpTo(4), {{{{3, 2}, {1, 2}}, {}}}), {{{10, 20, 30}, {30, 20, 10, 20}, {}}}},
      {"all but the first", built(nodesUpTo(4), {{{{4, 3}, {2, 3}}, {4}}}), {{{20, 30, 40}, {40, 30, 20, 30}, {40}}}},
      {"all but one, numbered with a gap", built({{1, 10}, {2, 20}, {4, 40}, {5, 50}}, {{{{5, 4}, {2, 5}}, {}}}),
       {{{20, 40, 50}, {50, 40, 20, 50}, {}}}},
      {"every node in each of two layers", built(nodesUpTo(2), {{{{2, 1}}, {}}, {{{1, 2}}, {1}}}),
       {{{10, 20}, {20, 10}, {}}, {{10, 20}, {10, 20}, {10}}}},
      // The small layer's elements name 2 nodes: 2 * 16 against the node count.
      {"a small layer, 31 nodes", twoLayers(31), {small, restOf(31)}},
      {"a small layer, 32 nodes", twoLayers(32), {small, restOf(32)}},
      {"a small layer, 33 nodes", twoLayers(33), {small, restOf(33)}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.got, row.layers);
  }
}

// Cells are stored in place as they come, in storage that grows while the
// file is read: many cells, some waiting for nodes defined after them, all
// reach their own nodes.
TEST(F_MeshBuilder, ManyCellsBeyondAnyDeclaredRoom) {
  for (const bool nodesFirst : {true, false}) {
    SCOPED_TRACE(nodesFirst);
    std::vector<std::string> elements;
    std::vector<double> x;
    for (int i = 1; i < 300; ++i) {
      elements.push_back(std::to_string(i) + " 1 0 " + std::to_string(i + 1) + " " + std::to_string(i));
      x.insert(x.end(), {10.0 * (i + 1), 10.0 * i});
    }
    const ImportRun run = importBytes(mesh(nodesUpTo(300), elements, nodesFirst), "msh");
    ASSERT_TRUE(run.ok) << run.last();
    EXPECT_EQ(xOfElements(run.mesh), std::vector<std::vector<double>>{x});
  }
}

namespace {

// One cell of `kind` over `ids`, with nodes 1..n at x = 10 * number of which
// the first `before` are defined ahead of the cell: its elements' x in
// order, or the message that refused it.
std::pair<std::vector<double>, std::string> oneCell(F_CellKind kind, std::vector<std::int64_t> ids, int n, int before) {
  RecordingUi ui;
  auto file = F_InputFile::fromMemory("", "/tmp/t.msh");
  F_MeshBuilder builder(*file);
  int node = 1;
  for (; node <= before; ++node) builder.addNode(node, 10.0 * node, 0, 0, {});
  builder.addCell(builder.addLayer("L"), kind, ids.data(), 7, {});
  for (; node <= n; ++node) builder.addNode(node, 10.0 * node, 0, 0, {});
  F_S3dMesh mesh;
  try {
    builder.finish(mesh, nullptr);
  } catch (const F_UserException&) {
    return {{}, ui->messages().empty() ? "" : ui->messages().back()};
  }
  return {xOfElements(mesh).at(0), ""};
}

}  // namespace

// A cell's nodes are resolved as it comes when all are defined, else once
// the file is read; either way each kind's element comes out the same, and a
// number just outside the nodes is refused. Kinds of 2, 3, 4 and 8 nodes are
// resolved by unrolled loops, the others by one loop.
TEST(F_MeshBuilder, EachKindResolvedAtOnceOrAfterTheFile) {
  const struct {
    F_CellKind kind;
    int n;
    std::vector<double> x;  // empty: a solid, compared only across the orders
  } rows[] = {
      {F_CellKind::Line2, 2, {10, 20}},
      {F_CellKind::Line3, 3, {10, 30, 30, 20}},
      {F_CellKind::Tri3, 3, {10, 20, 30}},
      {F_CellKind::Tri6, 6, {10, 40, 20, 50, 30, 60}},
      {F_CellKind::Quad4, 4, {10, 20, 30, 40}},
      {F_CellKind::Quad8, 8, {10, 50, 20, 60, 30, 70, 40, 80}},
      {F_CellKind::Quad9, 9, {10, 50, 20, 60, 30, 70, 40, 80, 90}},
      {F_CellKind::Tet4, 4, {}},
      {F_CellKind::Hex8, 8, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(cellKindName(row.kind));
    std::vector<std::int64_t> ids;
    for (int i = 1; i <= row.n; ++i) ids.push_back(i);
    const auto all = oneCell(row.kind, ids, row.n, row.n);  // the last node is the last defined
    ASSERT_EQ(all.second, "");
    if (!row.x.empty()) {
      EXPECT_EQ(all.first, row.x);
    }
    EXPECT_FALSE(all.first.empty());
    for (const int before : {row.n - 1, 0}) {  // the last node, or every one, comes after
      SCOPED_TRACE(before);
      EXPECT_EQ(oneCell(row.kind, ids, row.n, before), all);
    }
    std::vector<std::int64_t> past = ids;
    past.back() = row.n + 1;
    std::vector<std::int64_t> below = ids;
    below.front() = 0;
    for (const auto& [bad, missing] : {std::pair{past, row.n + 1}, std::pair{below, 0}}) {
      const std::string message = oneCell(row.kind, bad, row.n, row.n).second;
      EXPECT_NE(message.find("Element 7 refers to node " + std::to_string(missing) + ", which"), std::string::npos)
          << message;
    }
  }
}

namespace {

// A builder fed nodes and one layer of 2-node lines, one record at a time or
// in runs: the mesh built, or the one message that refused it.
struct Fed {
  std::vector<std::vector<double>> x;
  std::string message;
  bool operator==(const Fed&) const = default;
};
struct Feed {
  std::vector<std::int64_t> nodeIds;  // node i at x = 10 * i (or NaN where `nan` says)
  int nan = -1;
  std::vector<std::int64_t> lineNodes;  // two per cell, cell i numbered 100 + i
  bool cellsFirst = false;
};

Fed feed(const Feed& f, bool inRuns) {
  RecordingUi ui;
  auto file = F_InputFile::fromMemory("", "/tmp/t.msh");
  F_MeshBuilder builder(*file);
  const int layer = builder.addLayer("L");
  std::vector<double> xyz;
  for (std::size_t i = 0; i < f.nodeIds.size(); ++i) {
    xyz.insert(xyz.end(), {static_cast<int>(i) == f.nan ? std::nan("") : 10.0 * static_cast<double>(i), 0.0, 0.0});
  }
  const std::size_t cells = f.lineNodes.size() / 2;
  auto where = [](std::size_t i) { return F_MeshBuilder::Where{static_cast<std::int64_t>(i + 1), false}; };
  auto addNodes = [&] {
    if (inRuns) return builder.addNodes(f.nodeIds.data(), 0, xyz.data(), 3, f.nodeIds.size(), where);
    for (std::size_t i = 0; i < f.nodeIds.size(); ++i) builder.addNode(f.nodeIds[i], xyz[3 * i], 0, 0, where(i));
  };
  auto addCells = [&] {
    auto id = [](std::size_t i) { return static_cast<std::int64_t>(100 + i); };
    if (inRuns) return builder.addCells(layer, F_CellKind::Line2, f.lineNodes.data(), 2, cells, id, where);
    for (std::size_t i = 0; i < cells; ++i) builder.addCell(layer, F_CellKind::Line2, &f.lineNodes[2 * i], id(i), where(i));
  };
  F_S3dMesh mesh;
  try {
    if (f.cellsFirst) addCells();
    addNodes();
    if (!f.cellsFirst) addCells();
    builder.finish(mesh, nullptr);
  } catch (const F_UserException&) {
    return {{}, ui->messages().empty() ? "?" : ui->messages().back()};
  }
  return {xOfElements(mesh), ""};
}

}  // namespace

// Runs of nodes and cells give what the same records give one at a time:
// the same mesh, or the same message at the same record.
TEST(F_MeshBuilder, RunsGiveWhatSingleRecordsGive) {
  const struct {
    const char* name;
    Feed feed;
    const char* message;  // a part of the message, or "" for none
  } rows[] = {
      {"numbers running on from 1", {{1, 2, 3, 4}, -1, {1, 2, 2, 3, 4, 1}}, ""},
      {"running on from a large number", {{1000, 1001, 1002}, -1, {1002, 1000}}, ""},
      {"a gap in the last place", {{1, 2, 3, 5}, -1, {5, 1, 2, 3}}, ""},
      {"a repeat inside the run", {{1, 2, 2, 3}, -1, {1, 3}}, "Node 2 is defined twice"},
      {"descending", {{3, 2, 1}, -1, {1, 3}}, ""},
      {"a NaN in the first place", {{1, 2, 3}, 0, {1, 2}}, "Node 1 has a coordinate"},
      {"a NaN in the last place", {{1, 2, 3}, 2, {1, 2}}, "Node 3 has a coordinate"},
      {"a cell past the last node", {{1, 2, 3}, -1, {1, 2, 3, 4, 2, 3}}, "Element 101 refers to node 4"},
      {"a cell below the first node", {{1, 2, 3}, -1, {1, 2, 0, 1}}, "Element 101 refers to node 0"},
      {"cells before their nodes", {{1, 2, 3}, -1, {3, 1, 1, 2}, true}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Fed single = feed(row.feed, false);
    EXPECT_EQ(feed(row.feed, true), single);
    if (*row.message) {
      EXPECT_NE(single.message.find(row.message), std::string::npos) << single.message;
    } else {
      EXPECT_EQ(single.message, "");
      EXPECT_FALSE(single.x.empty());
    }
  }
}

namespace {

// A block of g x g x g nodes: its hexahedra in layer "block", with quads,
// 3-node lines, 6-node triangles and 9-node quads over their nodes among
// them (so skin faces and other elements alternate across any share of the
// cells), and a few lines in a second, small layer; finished on the threads
// KAVRILON_THREADS allows.
F_S3dMesh mixedBlock(int g) {
  auto file = F_InputFile::fromMemory("", "/tmp/t.msh");
  F_MeshBuilder builder(*file);
  auto id = [g](int i, int j, int k) -> std::int64_t { return 1 + i + g * (j + g * k); };
  for (int k = 0; k < g; ++k)
    for (int j = 0; j < g; ++j)
      for (int i = 0; i < g; ++i) builder.addNode(id(i, j, k), i, j, 0.5 * k, {});
  const int block = builder.addLayer("block"), lines = builder.addLayer("lines");
  std::int64_t cell = 0;
  for (int k = 0; k + 1 < g; ++k)
    for (int j = 0; j + 1 < g; ++j)
      for (int i = 0; i + 1 < g; ++i) {
        const std::int64_t h[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                   id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
        builder.addCell(block, F_CellKind::Hex8, h, ++cell, {});
        if (cell % 3 == 0) builder.addCell(block, F_CellKind::Quad4, h, ++cell, {});
        if (cell % 5 == 0) builder.addCell(block, F_CellKind::Line3, h + 4, ++cell, {});
        if (cell % 7 == 0) builder.addCell(block, F_CellKind::Tri6, h + 1, ++cell, {});
        if (cell % 11 == 0) {
          const std::int64_t q9[9] = {h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7], h[0]};
          builder.addCell(block, F_CellKind::Quad9, q9, ++cell, {});
        }
        if (cell % 1000 == 0) builder.addCell(lines, F_CellKind::Line2, h + 2, ++cell, {});
      }
  F_S3dMesh mesh;
  builder.finish(mesh, nullptr);
  return mesh;
}

}  // namespace

// A layer's elements are filled on several threads, each a share of its
// cells; the layers are those one thread builds, whatever the threads.
TEST(F_MeshBuilder, LayersBuiltOnSeveralThreadsMatchOneThread) {
  const int g = 36;  // 42875 hexahedra and some 28000 other cells: two shares and more
  setenv("KAVRILON_THREADS", "1", 1);
  const F_S3dMesh one = mixedBlock(g);
  ASSERT_EQ(one.layerCount(), 2);
  for (const char* threads : {"2", "3"}) {
    SCOPED_TRACE(threads);
    setenv("KAVRILON_THREADS", threads, 1);
    const F_S3dMesh many = mixedBlock(g);
    EXPECT_TRUE(many == one);
  }
  unsetenv("KAVRILON_THREADS");
  // The skin of the block (6 * 35 * 35 quads) is among the elements.
  int quads = 0;
  for (const F_S3dElement& e : one.layer(1).elements) quads += e.nodeCount() == 4;
  EXPECT_GT(quads, 6 * 35 * 35);
}

// Work is shared out only when each share gets kMinShare items; a file read
// in shares is read as at once; populating memory keeps what it holds.
TEST(F_WorkShares, SharesAndPopulatedMemory) {
  setenv("KAVRILON_THREADS", "4", 1);
  const std::size_t k = F_WorkShares::kMinShare;
  const struct {
    std::size_t items;
    int shares;
  } rows[] = {{0, 1}, {2 * k - 1, 1}, {2 * k, 2}, {3 * k, 3}, {100 * k, 4}};
  for (const auto& row : rows) {
    EXPECT_EQ(F_WorkShares::count(row.items), row.shares) << row.items;
    EXPECT_EQ(F_WorkShares::start(row.items, row.shares, 0), 0u);
    EXPECT_EQ(F_WorkShares::start(row.items, row.shares, row.shares), row.items);
  }
  // A file read in shares: whole, past its end (the second share comes
  // short) and from near its end (the first share comes short).
  std::string bytes(9 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
  const auto file = F_InputFile::fromMemory(bytes, "/tmp/t.vtu");
  const struct {
    std::uint64_t at;
    std::size_t n, got;
  } reads[] = {{0, bytes.size(), bytes.size()},
               {0, bytes.size() + (5 << 20), bytes.size()},
               {bytes.size() - (2 << 20), 8 << 20, 2 << 20},
               {3, 8 << 20, 8 << 20}};
  for (const auto& read : reads) {
    std::vector<char> into(read.n);
    ASSERT_EQ(F_WorkShares::readAt(*file, read.at, into.data(), read.n), read.got) << read.at << " " << read.n;
    EXPECT_EQ(std::string_view(into.data(), read.got), std::string_view(bytes).substr(read.at, read.got));
  }
  std::vector<int> values(3 << 20);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>(i);
  F_WorkShares::populate(values.data() + 1, (values.size() - 1) * sizeof(int));
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], static_cast<int>(i));
  // Pieces taken as the threads come free: every item once, the last piece
  // short or whole, none for no items.
  for (const std::size_t items : {std::size_t{0}, std::size_t{1}, k - 1, k, k + 1, 3 * k, 100 * k + 7}) {
    std::vector<std::atomic<int>> seen(items);
    F_WorkShares::runPieces(items, k, 4, [&](std::size_t from, std::size_t to) {
      ASSERT_LE(to - from, k);
      for (std::size_t i = from; i < to; ++i) seen[i].fetch_add(1);
    });
    for (std::size_t i = 0; i < items; ++i) ASSERT_EQ(seen[i].load(), 1) << items << " " << i;
  }
  // Records read in bites, in any order: each record once, at its place;
  // a file that ends before the last record is no whole read.
  const std::size_t recordsInFile = bytes.size() / 20;
  for (const std::size_t records : {std::size_t{1}, recordsInFile - 1, recordsInFile, recordsInFile + 1}) {
    std::vector<std::atomic<int>> seen(records);
    std::atomic<bool> right{true};
    const bool whole = F_WorkShares::readRecords(*file, 0, 20, records, 4, [&](std::size_t first, char* r, std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) {
        seen[first + i].fetch_add(1);
        if (std::string_view(r + 20 * i, 20) != std::string_view(bytes).substr(20 * (first + i), 20)) right = false;
      }
    });
    EXPECT_EQ(whole, records <= recordsInFile) << records;
    EXPECT_TRUE(right.load()) << records;
    if (whole) {
      for (std::size_t i = 0; i < records; ++i) ASSERT_EQ(seen[i].load(), 1) << records << " " << i;
    }
  }
  unsetenv("KAVRILON_THREADS");
}

// Cells resolved from the file's own values (here big-endian int32, as a
// legacy VTK list holds them) are the cells resolved from 64-bit numbers:
// the same elements or cells, the same answer at the first and last node
// defined and one step past either, whether made straight into elements
// or kept as cells.
TEST(F_MeshBuilder, CellsResolvedFromTheFilesValuesMatchSixtyFourBitNumbers) {
  constexpr std::int64_t kFirst = 7, kNodes = 40;
  const struct {
    const char* name;
    F_CellKind kind;
    int nodes;
    std::int64_t changed;  // a number put in the last place of the middle cell, or 0 for none
  } rows[] = {
      {"2-node lines", F_CellKind::Line2, 2, 0},
      {"triangles", F_CellKind::Tri3, 3, 0},
      {"quadrilaterals", F_CellKind::Quad4, 4, 0},
      {"tetrahedra", F_CellKind::Tet4, 4, 0},
      {"hexahedra", F_CellKind::Hex8, 8, 0},
      {"wedges", F_CellKind::Wedge6, 6, 0},
      {"quadrilaterals, the last node", F_CellKind::Quad4, 4, kFirst + kNodes - 1},
      {"quadrilaterals, one past the last node", F_CellKind::Quad4, 4, kFirst + kNodes},
      {"quadrilaterals, the first node", F_CellKind::Quad4, 4, kFirst},
      {"quadrilaterals, one below the first node", F_CellKind::Quad4, 4, kFirst - 1},
      {"quadrilaterals, a negative number", F_CellKind::Quad4, 4, -1},
      {"hexahedra, one past the last node", F_CellKind::Hex8, 8, kFirst + kNodes},
      {"hexahedra, the last node", F_CellKind::Hex8, 8, kFirst + kNodes - 1},
  };
  constexpr std::size_t kCells = 9;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t each = static_cast<std::size_t>(row.nodes);
    std::vector<std::int64_t> ids(kCells * each);
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = kFirst + static_cast<std::int64_t>((i * 7) % kNodes);
    if (row.changed != 0) ids[kCells / 2 * each + each - 1] = row.changed;
    std::vector<unsigned char> bytes(4 * ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(ids[i]));
      for (int b = 0; b < 4; ++b) bytes[4 * i + static_cast<std::size_t>(b)] = static_cast<unsigned char>(v >> (24 - 8 * b));
    }
    F_S3dMesh meshes[2];
    bool known[2] = {};
    for (int way = 0; way < 2; ++way) {
      auto file = F_InputFile::fromMemory("", "/tmp/t.vtk");
      F_MeshBuilder builder(*file);
      for (std::int64_t n = 0; n < kNodes; ++n) builder.addNode(kFirst + n, static_cast<double>(n), 0, 0, {});
      const int layer = builder.addLayer("cells");
      F_MeshBuilder::CellBatch batch;
      ASSERT_TRUE(builder.beginCells(layer, row.kind, kCells, batch));
      // In two parts, as two threads would.
      for (const std::size_t from : {std::size_t{0}, std::size_t{4}}) {
        const std::size_t n = from == 0 ? 4 : kCells - 4;
        bool here = false;
        if (way == 0) {
          here = builder.resolveCells(batch, from, ids.data() + from * each, each, n);
        } else {
          here = builder.resolveCellsWith(batch, from, n, [&](std::size_t c, int j) {
            const unsigned char* v = bytes.data() + 4 * ((from + c) * each + static_cast<std::size_t>(j));
            return static_cast<std::int64_t>(static_cast<std::int32_t>(
                (std::uint32_t{v[0]} << 24) | (std::uint32_t{v[1]} << 16) | (std::uint32_t{v[2]} << 8) | v[3]));
          });
        }
        known[way] = (from == 0 || known[way]) && here;
      }
      builder.endCells(batch, known[way]);
      if (known[way]) builder.finish(meshes[way], nullptr);
    }
    EXPECT_EQ(known[1], known[0]);
    const bool inside = row.changed == 0 || (row.changed >= kFirst && row.changed < kFirst + kNodes);
    EXPECT_EQ(known[0], inside);
    EXPECT_TRUE(meshes[1] == meshes[0]);
  }
}

// Room expected for nodes and cells is a hint only: none, too little, just
// enough or far too much, before or between the records, the mesh is the same.
TEST(F_MeshBuilder, ExpectedRoomChangesNothing) {
  auto build = [](std::uint64_t nodes, std::uint64_t cells, bool between) {
    RecordingUi ui;
    auto file = F_InputFile::fromMemory("", "/tmp/t.msh");
    F_MeshBuilder builder(*file);
    if (!between) builder.expectNodes(nodes);
    std::vector<double> xyz;
    for (int j = 0; j < 30; ++j)
      for (int i = 0; i < 30; ++i) xyz.insert(xyz.end(), {double(i), double(j), 0.0});
    builder.addNodes(nullptr, 1, xyz.data(), 3, 450, [](std::size_t) { return F_MeshBuilder::Where{}; });
    if (between) builder.expectNodes(nodes);
    builder.addNodes(nullptr, 451, xyz.data() + 3 * 450, 3, 450, [](std::size_t) { return F_MeshBuilder::Where{}; });
    const int layer = builder.addLayer("Q");
    std::vector<std::int64_t> quads;
    for (int j = 0; j < 29; ++j)
      for (int i = 0; i < 29; ++i) {
        const std::int64_t a = 1 + i + 30 * j;
        quads.insert(quads.end(), {a, a + 1, a + 31, a + 30});
      }
    if (!between) builder.expectCells(layer, cells);
    auto noId = [](std::size_t) { return std::int64_t{0}; };
    auto nowhere = [](std::size_t) { return F_MeshBuilder::Where{}; };
    builder.addCells(layer, F_CellKind::Quad4, quads.data(), 4, 400, noId, nowhere);
    if (between) builder.expectCells(layer, cells);
    builder.addCells(layer, F_CellKind::Quad4, quads.data() + 4 * 400, 4, 441, noId, nowhere);
    F_S3dMesh mesh;
    builder.finish(mesh, nullptr);
    return mesh;
  };
  const F_S3dMesh plain = build(0, 0, false);
  ASSERT_EQ(plain.layer(1).elementCount(), 841);
  for (const bool between : {false, true}) {
    for (const std::uint64_t room : {std::uint64_t{1}, std::uint64_t{441}, std::uint64_t{900}, std::uint64_t{1} << 20}) {
      SCOPED_TRACE(std::to_string(room) + (between ? " between" : " before"));
      EXPECT_TRUE(build(room, room, between) == plain);
    }
  }
}
