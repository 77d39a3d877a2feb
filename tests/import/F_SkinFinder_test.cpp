#include "import/F_SkinFinder.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// An nx x ny x nz grid of unit hexahedra; point (i, j, k) is numbered
// i + (nx+1) (j + (ny+1) k).
struct HexGrid {
  std::vector<std::array<int, 8>> hexes;
  std::vector<F_SolidCell> cells() const {
    std::vector<F_SolidCell> c;
    for (const auto& h : hexes) c.push_back({F_CellKind::Hex8, h.data()});
    return c;
  }
};

HexGrid hexGrid(int nx, int ny, int nz) {
  HexGrid g;
  auto id = [&](int i, int j, int k) { return i + (nx + 1) * (j + (ny + 1) * k); };
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i)
        g.hexes.push_back({id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k), id(i, j + 1, k), id(i, j, k + 1),
                           id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)});
  return g;
}

}  // namespace

TEST(F_SkinFinder, GridsOfHexahedraKeepOnlyTheirOuterFaces) {
  const struct {
    const char* name;
    int nx, ny, nz;
    std::size_t skin;
  } rows[] = {{"one", 1, 1, 1, 6}, {"two side by side", 2, 1, 1, 10}, {"2x2x2", 2, 2, 2, 24}, {"4x4x4", 4, 4, 4, 96},
              {"a row of 5", 5, 1, 1, 22}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const HexGrid g = hexGrid(row.nx, row.ny, row.nz);
    EXPECT_EQ(findSkin(g.cells()).size(), row.skin);
  }
}

TEST(F_SkinFinder, FacesComeInCellOrderThenFaceOrder) {
  const HexGrid g = hexGrid(2, 1, 1);
  const std::vector<F_FaceRef> skin = findSkin(g.cells());
  // Cell 0 loses its +x face (index 3), cell 1 its -x face (index 5).
  const std::vector<F_FaceRef> expected = {0, 1, 2, 4, 5, 8, 9, 10, 11, 12};
  EXPECT_EQ(skin, expected);
}

TEST(F_SkinFinder, AFaceSharedByThreeCellsIsInsideToo) {
  // Three tetrahedra on the triangle 0 1 2, apexes 3, 4 and 5.
  const int a[4] = {0, 1, 2, 3}, b[4] = {0, 2, 1, 4}, c[4] = {1, 0, 2, 5};
  const std::vector<F_SolidCell> cells = {{F_CellKind::Tet4, a}, {F_CellKind::Tet4, b}, {F_CellKind::Tet4, c}};
  EXPECT_EQ(findSkin(cells).size(), 9u);
}

TEST(F_SkinFinder, MixedSolidsMatchTrianglesWithTrianglesAndQuadsWithQuads) {
  // A pyramid on top of a hexahedron (its base the top face), a tetrahedron on
  // one of the pyramid's triangles.
  const HexGrid g = hexGrid(1, 1, 1);
  const int pyramid[5] = {4, 5, 6, 7, 8};
  const int tet[4] = {4, 5, 8, 9};
  std::vector<F_SolidCell> cells = g.cells();
  cells.push_back({F_CellKind::Pyramid5, pyramid});
  cells.push_back({F_CellKind::Tet4, tet});
  // 5 hexahedron sides + 3 pyramid triangles + 3 tetrahedron triangles.
  EXPECT_EQ(findSkin(cells).size(), 11u);
  // Four points of a quadrilateral face never match a triangle on three of them.
  const int wedge[6] = {0, 1, 2, 10, 11, 12};
  cells = g.cells();
  cells.push_back({F_CellKind::Wedge6, wedge});
  EXPECT_EQ(findSkin(cells).size(), 11u);
}

TEST(F_SkinFinder, NothingGivesNothing) { EXPECT_TRUE(findSkin({}).empty()); }

// Every face of a solid turns the same way seen from outside, so shaded
// skins and their outlines agree.
TEST(F_CellKind, SolidFacesTurnOutwards) {
  const double hex[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const double tet[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const double wedge[6][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
  const double pyramid[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, 1}};
  const struct {
    F_CellKind kind;
    const double (*points)[3];
    int count;
  } rows[] = {{F_CellKind::Hex8, hex, 8}, {F_CellKind::Tet4, tet, 4}, {F_CellKind::Wedge6, wedge, 6},
              {F_CellKind::Pyramid5, pyramid, 5}};
  for (const auto& row : rows) {
    SCOPED_TRACE(cellKindName(row.kind));
    double centre[3] = {0, 0, 0};
    for (int i = 0; i < row.count; ++i)
      for (int k = 0; k < 3; ++k) centre[k] += row.points[i][k] / row.count;
    for (const F_CellFace& face : facesOf(row.kind)) {
      const double* p0 = row.points[face.nodes[0]];
      const double* p1 = row.points[face.nodes[1]];
      const double* p2 = row.points[face.nodes[2]];
      const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
      const double v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
      const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
      const double out[3] = {p0[0] - centre[0], p0[1] - centre[1], p0[2] - centre[2]};
      EXPECT_GT(n[0] * out[0] + n[1] * out[1] + n[2] * out[2], 0);
    }
  }
}

TEST(F_SkinFinder, SolidsThatShareNothingKeepEveryFace) {
  // More unshared faces than a table sized for a volume mesh holds: it grows.
  std::vector<std::array<int, 4>> tets;
  for (int t = 0; t < 1000; ++t) tets.push_back({4 * t, 4 * t + 1, 4 * t + 2, 4 * t + 3});
  std::vector<F_SolidCell> cells;
  for (const auto& t : tets) cells.push_back({F_CellKind::Tet4, t.data()});
  const std::vector<F_FaceRef> skin = findSkin(cells);
  ASSERT_EQ(skin.size(), 4000u);
  EXPECT_EQ(skin.front(), 0u);
  EXPECT_EQ(skin.back(), 999u * 8 + 3);
}

// The node counts and the solid test answer from their own small tables: each
// kind's faces or pieces must stay within its nodes, and only solids have faces.
TEST(F_CellKind, NodeCountsAndSolidityAgreeWithTheFacesAndPieces) {
  for (int k = 0; k < kCellKindCount; ++k) {
    const auto kind = static_cast<F_CellKind>(k);
    SCOPED_TRACE(cellKindName(kind));
    EXPECT_EQ(isSolid(kind), !facesOf(kind).empty());
    EXPECT_EQ(piecesOf(kind).empty(), isSolid(kind) || kind == F_CellKind::Point);
    int highest = 0;
    for (const F_CellFace& f : facesOf(kind)) highest = std::max(highest, int(*std::max_element(f.nodes, f.nodes + f.nodeCount)));
    for (const F_CellPiece& p : piecesOf(kind)) highest = std::max(highest, int(*std::max_element(p.nodes, p.nodes + p.nodeCount)));
    // Every node but a 27-node hexahedron's centre lies on some face or piece.
    const int inner = kind == F_CellKind::Hex27 ? 1 : 0;
    if (kind != F_CellKind::Point) {
      EXPECT_EQ(highest, nodeCountOf(kind) - 1 - inner);
    }
  }
  EXPECT_EQ(nodeCountOf(F_CellKind::Point), 1);
}
