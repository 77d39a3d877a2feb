#include "import/F_SkinFinder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "include/F_Errors.h"

namespace {

constexpr std::uint32_t kNoCorner = 0xFFFFFFFFu;  // the fourth corner of a triangle
constexpr F_FaceRef kEmpty = ~F_FaceRef{0};
constexpr F_FaceRef kShared = F_FaceRef{1} << 63;

// One open-addressing slot: the sorted corners and the first face that had them.
struct Slot {
  std::uint32_t key[4];
  F_FaceRef ref;
};

inline void sortedKey(const F_CellFace& face, const int* nodes, std::uint32_t key[4]) {
  std::uint32_t k[4] = {static_cast<std::uint32_t>(nodes[face.nodes[0]]),
                        static_cast<std::uint32_t>(nodes[face.nodes[face.nodeCount == face.cornerCount ? 1 : 2]]),
                        static_cast<std::uint32_t>(nodes[face.nodes[face.nodeCount == face.cornerCount ? 2 : 4]]),
                        kNoCorner};
  if (face.cornerCount == 4) k[3] = static_cast<std::uint32_t>(nodes[face.nodes[face.nodeCount == 4 ? 3 : 6]]);
  // Four values: a fixed sorting network, no branches on the data's shape.
  auto order = [&](int i, int j) {
    if (k[i] > k[j]) std::swap(k[i], k[j]);
  };
  order(0, 1);
  order(2, 3);
  order(0, 2);
  order(1, 3);
  order(1, 2);
  std::memcpy(key, k, sizeof k);
}

inline std::uint64_t hashOf(const std::uint32_t key[4]) {
  std::uint64_t h = key[0] * 0x9E3779B97F4A7C15ull;
  h ^= key[1] * 0xC2B2AE3D27D4EB4Full;
  h ^= key[2] * 0x165667B19E3779F9ull;
  h ^= key[3] * 0x27D4EB2F165667C5ull;
  return h ^ (h >> 29);
}

}  // namespace

std::vector<F_FaceRef> findSkin(const std::vector<F_SolidCell>& cells) {
  std::uint64_t faceCount = 0;
  for (const F_SolidCell& cell : cells) faceCount += facesOf(cell.kind).size();
  std::vector<F_FaceRef> skin;
  if (faceCount == 0) return skin;

  // At most three quarters full even when no face is shared.
  const std::uint64_t capacity = std::bit_ceil(faceCount + faceCount / 3 + 16);
  const std::uint64_t mask = capacity - 1;
  std::vector<Slot> table;
  try {
    table.assign(capacity, Slot{{0, 0, 0, 0}, kEmpty});
  } catch (const std::bad_alloc&) {
    outOfMemory();
  }

  for (std::uint64_t c = 0; c < cells.size(); ++c) {
    const F_SolidCell& cell = cells[c];
    const auto faces = facesOf(cell.kind);
    for (std::uint64_t f = 0; f < faces.size(); ++f) {
      std::uint32_t key[4];
      sortedKey(faces[f], cell.nodes, key);
      std::uint64_t i = hashOf(key) & mask;
      for (;; i = (i + 1) & mask) {
        Slot& slot = table[i];
        if (slot.ref == kEmpty) {
          std::memcpy(slot.key, key, sizeof key);
          slot.ref = c * 8 + f;
          break;
        }
        if (std::memcmp(slot.key, key, sizeof key) == 0) {
          slot.ref |= kShared;
          break;
        }
      }
    }
  }

  for (const Slot& slot : table) {
    if (slot.ref != kEmpty && !(slot.ref & kShared)) skin.push_back(slot.ref);
  }
  std::sort(skin.begin(), skin.end());
  return skin;
}
