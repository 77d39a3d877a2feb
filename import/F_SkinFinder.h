#pragma once
// The skin of a set of solids: every face that no other solid of the set
// shares, found by a hash of its sorted corner numbers.

#include <cstdint>
#include <vector>

#include "import/F_CellKind.h"

struct F_SolidCell {
  F_CellKind kind;
  const int* nodes;  // nodeCountOf(kind) node numbers, each 0 or more
};

// A face of the skin: cell * 8 + face (the face's index in facesOf(kind)).
using F_FaceRef = std::uint64_t;

// The skin faces in cell order, and within a cell in face order. A face
// shared by three or more cells is not on the skin either.
std::vector<F_FaceRef> findSkin(const std::vector<F_SolidCell>& cells);
