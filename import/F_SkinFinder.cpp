#include "import/F_SkinFinder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "include/F_Errors.h"

namespace {

constexpr std::uint32_t kNoCorner = 0xFFFFFFFFu;  // the fourth corner of a triangle
constexpr F_FaceRef kShared = F_FaceRef{1} << 63;

// One open-addressing slot: the sorted corners and the first face that had
// them, stored plus one so that an all-zero slot is empty and a table fresh
// from calloc needs no filling.
struct Slot {
  std::uint32_t key[4];
  F_FaceRef refPlusOne;
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

// Well mixed in its high bits, which pick the slot.
inline std::uint64_t hashOf(const std::uint32_t key[4]) {
  std::uint64_t h = (key[0] | std::uint64_t{key[1]} << 32) * 0x9E3779B97F4A7C15ull;
  h ^= (key[2] | std::uint64_t{key[3]} << 32) * 0xC2B2AE3D27D4EB4Full;
  return (h ^ (h >> 31)) * 0x165667B19E3779F9ull;
}

class FaceTable {
 public:
  explicit FaceTable(std::uint64_t capacity) { allocate(capacity); }
  ~FaceTable() { std::free(slots_); }
  FaceTable(const FaceTable&) = delete;
  FaceTable& operator=(const FaceTable&) = delete;

  // Adds faces in batches: the slots of a whole batch are asked for before
  // any is used, so their cache misses overlap instead of queueing.
  static constexpr int kBatch = 32;
  void add(const std::uint32_t (*keys)[4], const F_FaceRef* refs, int n) {
    // Kept at most three quarters full: grown (only when most faces are
    // unshared) before that.
    if ((used_ + static_cast<std::uint64_t>(n)) * 4 > (mask_ + 1) * 3) grow();
    std::uint64_t start[kBatch];
    for (int i = 0; i < n; ++i) {
      start[i] = hashOf(keys[i]) >> shift_;
      __builtin_prefetch(&slots_[start[i]]);
    }
    for (int i = 0; i < n; ++i) {
      Slot& slot = find(keys[i], start[i]);
      if (slot.refPlusOne == 0) {
        std::memcpy(slot.key, keys[i], sizeof keys[i]);
        slot.refPlusOne = refs[i] + 1;
        ++used_;
      } else {
        slot.refPlusOne |= kShared;
      }
    }
  }
  // The faces met once, in no particular order.
  void unshared(std::vector<F_FaceRef>& out) const {
    for (std::uint64_t i = 0; i <= mask_; ++i) {
      const F_FaceRef r = slots_[i].refPlusOne;
      if (r != 0 && !(r & kShared)) out.push_back(r - 1);
    }
  }

 private:
  void allocate(std::uint64_t capacity) {
    slots_ = static_cast<Slot*>(std::calloc(capacity, sizeof(Slot)));
    if (!slots_) outOfMemory();
    mask_ = capacity - 1;
    shift_ = 64 - std::countr_zero(capacity);
    used_ = 0;
  }
  Slot& find(const std::uint32_t key[4], std::uint64_t start) {
    for (std::uint64_t i = start;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.refPlusOne == 0 || std::memcmp(slot.key, key, 4 * sizeof key[0]) == 0) return slot;
    }
  }
  void grow() {
    Slot* old = slots_;
    const std::uint64_t oldCapacity = mask_ + 1;
    allocate(2 * oldCapacity);
    for (std::uint64_t i = 0; i < oldCapacity; ++i) {
      if (old[i].refPlusOne == 0) continue;
      find(old[i].key, hashOf(old[i].key) >> shift_) = old[i];
      ++used_;
    }
    std::free(old);
  }

  Slot* slots_ = nullptr;
  std::uint64_t mask_ = 0;
  int shift_ = 64;
  std::uint64_t used_ = 0;
};

}  // namespace

std::vector<F_FaceRef> findSkin(const std::vector<F_SolidCell>& cells) {
  std::uint64_t faceCount = 0;
  for (const F_SolidCell& cell : cells) faceCount += facesOf(cell.kind).size();
  std::vector<F_FaceRef> skin;
  if (faceCount == 0) return skin;

  // Sized for a volume mesh, where nearly every face is met twice: at most
  // three eighths full then.
  FaceTable table(std::bit_ceil(faceCount + 16));
  std::uint32_t keys[FaceTable::kBatch][4];
  F_FaceRef refs[FaceTable::kBatch];
  int pending = 0;
  for (std::uint64_t c = 0; c < cells.size(); ++c) {
    const F_SolidCell& cell = cells[c];
    const auto faces = facesOf(cell.kind);
    if (pending + static_cast<int>(faces.size()) > FaceTable::kBatch) {
      table.add(keys, refs, pending);
      pending = 0;
    }
    for (std::uint64_t f = 0; f < faces.size(); ++f) {
      sortedKey(faces[f], cell.nodes, keys[pending]);
      refs[pending++] = c * 8 + f;
    }
  }
  table.add(keys, refs, pending);
  table.unshared(skin);
  std::sort(skin.begin(), skin.end());
  return skin;
}
