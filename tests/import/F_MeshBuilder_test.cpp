#include "import/F_MeshBuilder.h"

#include "ImportFixtures.h"

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
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ImportRun run = importBytes(row.bytes, "msh");
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
