#include "import/F_CellKind.h"

#include <iterator>

namespace {

// Corners in a turn that looks outwards from the solid, so a shaded skin has
// its faces the same way round.
constexpr F_CellFace kTet4[] = {
    {3, 3, {0, 2, 1}}, {3, 3, {0, 1, 3}}, {3, 3, {1, 2, 3}}, {3, 3, {0, 3, 2}}};
constexpr F_CellFace kTet10[] = {
    {3, 6, {0, 6, 2, 5, 1, 4}}, {3, 6, {0, 4, 1, 8, 3, 7}}, {3, 6, {1, 5, 2, 9, 3, 8}}, {3, 6, {0, 7, 3, 9, 2, 6}}};
constexpr F_CellFace kHex8[] = {{4, 4, {0, 3, 2, 1}}, {4, 4, {4, 5, 6, 7}}, {4, 4, {0, 1, 5, 4}},
                                {4, 4, {1, 2, 6, 5}}, {4, 4, {2, 3, 7, 6}}, {4, 4, {3, 0, 4, 7}}};
constexpr F_CellFace kHex20[] = {
    {4, 8, {0, 11, 3, 10, 2, 9, 1, 8}},  {4, 8, {4, 12, 5, 13, 6, 14, 7, 15}}, {4, 8, {0, 8, 1, 17, 5, 12, 4, 16}},
    {4, 8, {1, 9, 2, 18, 6, 13, 5, 17}}, {4, 8, {2, 10, 3, 19, 7, 14, 6, 18}}, {4, 8, {3, 11, 0, 16, 4, 15, 7, 19}}};
constexpr F_CellFace kHex27[] = {{4, 9, {0, 11, 3, 10, 2, 9, 1, 8, 24}},  {4, 9, {4, 12, 5, 13, 6, 14, 7, 15, 25}},
                                 {4, 9, {0, 8, 1, 17, 5, 12, 4, 16, 22}}, {4, 9, {1, 9, 2, 18, 6, 13, 5, 17, 21}},
                                 {4, 9, {2, 10, 3, 19, 7, 14, 6, 18, 23}}, {4, 9, {3, 11, 0, 16, 4, 15, 7, 19, 20}}};
constexpr F_CellFace kWedge6[] = {
    {3, 3, {0, 2, 1}}, {3, 3, {3, 4, 5}}, {4, 4, {0, 1, 4, 3}}, {4, 4, {1, 2, 5, 4}}, {4, 4, {2, 0, 3, 5}}};
constexpr F_CellFace kWedge15[] = {{3, 6, {0, 8, 2, 7, 1, 6}},
                                   {3, 6, {3, 9, 4, 10, 5, 11}},
                                   {4, 8, {0, 6, 1, 13, 4, 9, 3, 12}},
                                   {4, 8, {1, 7, 2, 14, 5, 10, 4, 13}},
                                   {4, 8, {2, 8, 0, 12, 3, 11, 5, 14}}};
constexpr F_CellFace kPyramid5[] = {
    {4, 4, {0, 3, 2, 1}}, {3, 3, {0, 1, 4}}, {3, 3, {1, 2, 4}}, {3, 3, {2, 3, 4}}, {3, 3, {3, 0, 4}}};

constexpr F_CellPiece kLine2[] = {{2, {0, 1}}};
constexpr F_CellPiece kLine3[] = {{2, {0, 2}}, {2, {2, 1}}};
constexpr F_CellPiece kTri3[] = {{3, {0, 1, 2}}};
constexpr F_CellPiece kTri6[] = {{6, {0, 3, 1, 4, 2, 5}}};
constexpr F_CellPiece kQuad4[] = {{4, {0, 1, 2, 3}}};
constexpr F_CellPiece kQuad8[] = {{8, {0, 4, 1, 5, 2, 6, 3, 7}}};
constexpr F_CellPiece kQuad9[] = {{9, {0, 4, 1, 5, 2, 6, 3, 7, 8}}};

struct KindRow {
  const char* name;
  std::span<const F_CellFace> faces;
  std::span<const F_CellPiece> pieces;
};

// One row per F_CellKind, in its order.
const KindRow kKinds[kCellKindCount] = {
    {"point", {}, {}},
    {"2-node line", {}, kLine2},
    {"3-node line", {}, kLine3},
    {"3-node triangle", {}, kTri3},
    {"6-node triangle", {}, kTri6},
    {"4-node quadrilateral", {}, kQuad4},
    {"8-node quadrilateral", {}, kQuad8},
    {"9-node quadrilateral", {}, kQuad9},
    {"4-node tetrahedron", kTet4, {}},
    {"10-node tetrahedron", kTet10, {}},
    {"8-node hexahedron", kHex8, {}},
    {"20-node hexahedron", kHex20, {}},
    {"27-node hexahedron", kHex27, {}},
    {"6-node wedge", kWedge6, {}},
    {"15-node wedge", kWedge15, {}},
    {"5-node pyramid", kPyramid5, {}},
};

const KindRow& row(F_CellKind kind) { return kKinds[static_cast<int>(kind)]; }

}  // namespace

const char* cellKindName(F_CellKind kind) { return row(kind).name; }
std::span<const F_CellFace> facesOf(F_CellKind kind) { return row(kind).faces; }
std::span<const F_CellPiece> piecesOf(F_CellKind kind) { return row(kind).pieces; }
