#pragma once
// The element kinds the importers understand, in one node order shared by all
// of them (corners first, then the mid-edge nodes, then face and volume
// centres), and what each becomes in a layer: lines, triangles and
// quadrilaterals as they are, solids by the faces of their skin.

#include <cstdint>
#include <span>

enum class F_CellKind : std::uint8_t {
  Point,
  Line2,
  Line3,  // ends 0, 1; middle 2
  Tri3,
  Tri6,   // mid-edge 3 (0-1), 4 (1-2), 5 (2-0)
  Quad4,
  Quad8,  // mid-edge 4 (0-1), 5 (1-2), 6 (2-3), 7 (3-0)
  Quad9,  // as Quad8, centre 8
  Tet4,
  Tet10,  // mid-edge 4 (0-1), 5 (1-2), 6 (2-0), 7 (0-3), 8 (1-3), 9 (2-3)
  Hex8,   // bottom 0-3, top 4-7 above them
  Hex20,  // 8-11 bottom edges, 12-15 top edges, 16-19 the uprights (0-4, 1-5, 2-6, 3-7)
  Hex27,  // as Hex20, face centres 20 (x-), 21 (x+), 22 (y-), 23 (y+), 24 (z-), 25 (z+), 26 centre
  Wedge6,  // triangle 0-2, triangle 3-5 above it
  Wedge15,  // 6-8 first triangle's edges, 9-11 second's, 12-14 the uprights
  Pyramid5,  // base 0-3, apex 4
};

constexpr int kCellKindCount = 16;
constexpr int kMaxCellNodes = 27;

// Asked once per cell in the importers' loops, so answered from a table here.
inline int nodeCountOf(F_CellKind kind) {
  constexpr std::uint8_t kNodes[kCellKindCount] = {1, 2, 3, 3, 6, 4, 8, 9, 4, 10, 8, 20, 27, 6, 15, 5};
  return kNodes[static_cast<std::uint8_t>(kind) % kCellKindCount];
}
inline bool isSolid(F_CellKind kind) { return kind >= F_CellKind::Tet4; }
// A short name for messages ("10-node tetrahedron").
const char* cellKindName(F_CellKind kind);

// One face of a solid: its corners around the outline, and the nodes of the
// layer element it becomes (3, 4, 6, 8 or 9 of them, in the layer's order:
// corners and mid-edge nodes alternating, the centre last).
struct F_CellFace {
  std::uint8_t cornerCount;
  std::uint8_t nodeCount;
  std::uint8_t nodes[9];
};
std::span<const F_CellFace> facesOf(F_CellKind kind);

// Lines, triangles and quadrilaterals: the layer elements one cell becomes,
// as index lists into its nodes (a 3-node line becomes two segments).
struct F_CellPiece {
  std::uint8_t nodeCount;
  std::uint8_t nodes[9];
};
std::span<const F_CellPiece> piecesOf(F_CellKind kind);
