#include "import/vtk/F_VtkGrid.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>

#include "import/F_BinaryReader.h"
#include "import/F_WorkShares.h"

namespace {

struct VtkType {
  bool known;
  F_CellKind kind;
  const std::uint8_t* order;  // shared-order node i is the file's node order[i]; null: the same
};

constexpr std::uint8_t kPixelOrder[] = {0, 1, 3, 2};              // rows, not a turn
constexpr std::uint8_t kVoxelOrder[] = {0, 1, 3, 2, 4, 5, 7, 6};  // likewise

// Fixed-size VTK cell types; the variable ones (poly-vertex, poly-line,
// strip, polygon) are cut up where they are used.
VtkType vtkType(int type) {
  switch (type) {
    case 1: return {true, F_CellKind::Point, nullptr};
    case 3: return {true, F_CellKind::Line2, nullptr};
    case 5: return {true, F_CellKind::Tri3, nullptr};
    case 8: return {true, F_CellKind::Quad4, kPixelOrder};
    case 9: return {true, F_CellKind::Quad4, nullptr};
    case 10: return {true, F_CellKind::Tet4, nullptr};
    case 11: return {true, F_CellKind::Hex8, kVoxelOrder};
    case 12: return {true, F_CellKind::Hex8, nullptr};
    case 13: return {true, F_CellKind::Wedge6, nullptr};
    case 14: return {true, F_CellKind::Pyramid5, nullptr};
    case 21: return {true, F_CellKind::Line3, nullptr};
    case 22: return {true, F_CellKind::Tri6, nullptr};
    case 23: return {true, F_CellKind::Quad8, nullptr};
    case 24: return {true, F_CellKind::Tet10, nullptr};
    case 25: return {true, F_CellKind::Hex20, nullptr};
    case 26: return {true, F_CellKind::Wedge15, nullptr};
    case 28: return {true, F_CellKind::Quad9, nullptr};
    case 29: return {true, F_CellKind::Hex27, nullptr};
    default: return {false, F_CellKind::Point, nullptr};
  }
}

int dimensionOf(int type) {
  switch (type) {
    case 1:
    case 2: return 0;
    case 3:
    case 4:
    case 21: return 1;
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 22:
    case 23:
    case 28: return 2;
    default: return 3;
  }
}

bool sameName(const std::string& a, const char* b) {
  const std::string_view v(b);
  return a.size() == v.size() &&
         std::equal(a.begin(), a.end(), v.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

void addCell(F_MeshBuilder& builder, int layer, int type, const std::int64_t* p, std::int64_t n, std::int64_t id,
             F_MeshBuilder::Where where) {
  auto wrong = [&] {
    builder.fail("ERROR\nCell " + std::to_string(id) + " of VTK type " + std::to_string(type) + " has " +
                     std::to_string(n) + " points.",
                 where);
  };
  std::int64_t piece[3];
  switch (type) {
    case 2:  // poly-vertex: each point marked
      for (std::int64_t i = 0; i < n; ++i) builder.addCell(layer, F_CellKind::Point, p + i, id, where);
      return;
    case 4:  // poly-line: its segments
      if (n < 2) wrong();
      for (std::int64_t i = 0; i + 1 < n; ++i) builder.addCell(layer, F_CellKind::Line2, p + i, id, where);
      return;
    case 6:  // triangle strip: its triangles
      if (n < 3) wrong();
      for (std::int64_t i = 0; i + 2 < n; ++i) {
        piece[0] = p[i];
        piece[1] = p[i % 2 ? i + 2 : i + 1];
        piece[2] = p[i % 2 ? i + 1 : i + 2];
        builder.addCell(layer, F_CellKind::Tri3, piece, id, where);
      }
      return;
    case 7:  // polygon: triangles and quadrilaterals only
      if (n == 3) return builder.addCell(layer, F_CellKind::Tri3, p, id, where);
      if (n == 4) return builder.addCell(layer, F_CellKind::Quad4, p, id, where);
      builder.skip("VTK polygon of " + std::to_string(n) + " points");
      return;
    default:
      break;
  }
  const VtkType t = vtkType(type);
  if (!t.known) {
    builder.skip("VTK cell type " + std::to_string(type));
    return;
  }
  if (n != nodeCountOf(t.kind)) wrong();
  if (!t.order) return builder.addCell(layer, t.kind, p, id, where);
  std::int64_t ordered[kMaxCellNodes];
  for (int i = 0; i < nodeCountOf(t.kind); ++i) ordered[i] = p[t.order[i]];
  builder.addCell(layer, t.kind, ordered, id, where);
}

// Cells first .. first + count - 1 of a grid whose cells are pending, all
// of `kind`, into `layer`: each thread reads a share of them from the file
// a piece at a time and resolves them into the builder. False when the file
// gave fewer bytes than before.
// The end of the run of `type` in types[from, to): eight bytes a compare.
std::size_t runOf(const std::uint8_t* types, std::size_t from, std::size_t to, std::uint8_t type) {
  const std::uint64_t all = 0x0101010101010101ull * type;
  for (std::uint64_t word; to - from >= 8; from += 8) {
    std::memcpy(&word, types + from, 8);
    if (word != all) break;
  }
  while (from < to && types[from] == type) ++from;
  return from;
}

bool addPendingCells(const F_VtkGrid& grid, F_MeshBuilder& builder, int layer, F_CellKind kind, std::size_t first,
                     std::size_t count, F_MeshBuilder::Where where) {
  const F_VtkGrid::Pending& cells = *grid.pending;
  const std::size_t each = cells.each;
  auto id = [&](std::size_t i) { return static_cast<std::int64_t>(first + i); };
  auto at = [&](std::size_t) { return where; };
  F_MeshBuilder::CellBatch batch;
  if (builder.beginCells(layer, kind, count, batch)) {
    std::atomic<bool> read{true}, known{true};
    F_WorkShares::runPieces(count, F_WorkShares::kPieceItems, F_WorkShares::count(count), [&](std::size_t from, std::size_t end) {
      if (!read.load(std::memory_order_relaxed) || !known.load(std::memory_order_relaxed)) return;
      if (cells.resolve) {
        const F_VtkGrid::Pending::Resolved done = cells.resolve(first + from, end - from, builder, batch, from);
        if (done == F_VtkGrid::Pending::Resolved::Short) read.store(false, std::memory_order_relaxed);
        if (done != F_VtkGrid::Pending::Resolved::All) known.store(false, std::memory_order_relaxed);
        return;
      }
      // Pieces small enough to stay in the cache between the read and the resolve.
      const std::size_t perPiece = std::max<std::size_t>(1, 8192 / each);
      std::vector<std::int64_t> piece(perPiece * each);
      for (std::size_t i = from; i < end;) {
        const std::size_t n = std::min(perPiece, end - i);
        if (!cells.read(first + i, n, piece.data())) {
          read.store(false, std::memory_order_relaxed);
          return;
        }
        if (!builder.resolveCells(batch, i, piece.data(), each, n)) {
          known.store(false, std::memory_order_relaxed);
          return;
        }
        i += n;
      }
    });
    const bool allRead = read.load();
    const bool keep = allRead && known.load();
    builder.endCells(batch, keep);
    if (!allRead) return false;
    if (keep) return true;
  }
  // The builder refused them as a batch: the points as the grid would hold
  // them, then as any other run of cells.
  std::vector<std::int64_t> points(count * each);
  if (!cells.read(first, count, points.data())) return false;
  builder.addCellsShared(layer, kind, points.data(), each, count, id, at);
  return true;
}

}  // namespace


bool F_VtkGrid::settle() {
  if (!pending) return true;
  const Pending cells = std::move(*pending);
  pending.reset();
  const std::size_t count = types.size();
  F_WorkShares::grow(connectivity, count * cells.each);
  F_WorkShares::grow(offsets, count + 1);
  std::atomic<bool> read{true};
  F_WorkShares::runPieces(count, F_WorkShares::kPieceItems, F_WorkShares::count(count), [&](std::size_t from, std::size_t to) {
    for (std::size_t c = from; c < to; ++c) offsets[c + 1] = static_cast<std::int64_t>((c + 1) * cells.each);
    if (!cells.read(from, to - from, connectivity.data() + from * cells.each)) read.store(false, std::memory_order_relaxed);
  });
  if (read.load()) return true;
  connectivity.clear();
  offsets.resize(1);
  types.clear();
  return false;
}

void F_VtkGrid::addCell(int type, const std::int64_t* points, std::int64_t count, F_MeshBuilder::Where at) {
  connectivity.insert(connectivity.end(), points, points + count);
  endCell(type, at);
}

void F_VtkGrid::endCell(int type, F_MeshBuilder::Where at) {
  if (pending) internalError("F_VtkGrid", 1);  // settled first
  types.push_back(static_cast<std::uint8_t>(type));
  offsets.push_back(static_cast<std::int64_t>(connectivity.size()));
  if (places.empty() || places.back().second.at != at.at || places.back().second.isOffset != at.isOffset) {
    places.emplace_back(types.size() - 1, at);
  }
}

void buildVtkLayers(F_VtkGrid& grid, F_MeshBuilder& builder) {
  // What each type byte means, looked up once: the cells of a fixed type
  // in the shared node order with the right point count go straight to the
  // builder, all others through addCell, which cuts, reorders or refuses.
  struct Direct {
    std::uint8_t dimension;
    std::int8_t nodes;  // 0: not straight to the builder
    F_CellKind kind;
  };
  std::array<Direct, 256> direct{};
  for (int type = 0; type < 256; ++type) {
    const VtkType t = vtkType(type);
    const bool straight = t.known && !t.order && t.kind != F_CellKind::Point && type != 2 && type != 4 && type != 6 && type != 7;
    direct[static_cast<std::size_t>(type)] = {static_cast<std::uint8_t>(dimensionOf(type)),
                                              static_cast<std::int8_t>(straight ? nodeCountOf(t.kind) : 0), t.kind};
  }
  auto changed = [&] {
    builder.fail("ERROR\nThe file changed while it was read.",
                 grid.places.empty() ? F_MeshBuilder::Where{} : grid.places.front().second);
  };
  // Pending cells stay in the file when every one of them goes straight to
  // the builder; else they are read into the grid first.
  if (grid.pending) {
    bool straight = true;
    const std::uint8_t* const types = grid.types.data();
    for (std::size_t c = 0, n = grid.cellCount(); c < n; c = runOf(types, c, n, types[c])) {
      straight &= static_cast<std::size_t>(direct[types[c]].nodes) == grid.pending->each;
    }
    if (!straight && !grid.settle()) changed();
  }
  const bool pending = grid.pending.has_value();
  const std::int64_t pendingEach = pending ? static_cast<std::int64_t>(grid.pending->each) : 0;
  const F_VtkGrid::CellArray* regions = nullptr;
  for (const char* name : {"gmsh:physical", "CellEntityIds", "MaterialIds", "region"}) {
    for (const auto& a : grid.cellArrays) {
      if (!regions && sameName(a.name, name) && a.values.size() == grid.cellCount()) regions = &a;
    }
  }
  // Room for the cells as the grid holds them (pieces of strips and lines
  // may add more), so that the builder's arrays are not moved as they grow.
  if (grid.cellCount() > 0) {
    const std::size_t points = pending ? grid.cellCount() * grid.pending->each : grid.connectivity.size();
    builder.reserveCells(grid.cellCount(), static_cast<int>((points + grid.cellCount() - 1) / grid.cellCount()));
  }
  std::map<std::int64_t, int> layers;  // region value or dimension -> layer
  static const char* const kByDimension[] = {"Points", "Lines", "Surfaces", "Volumes"};
  // Cells come in runs of one layer: the last answer is usually the next.
  std::int64_t lastKey = 0;
  int lastLayer = -1;
  std::size_t place = 0;  // the run of places that holds cell c
  // The grid's arrays, read once: the builder's calls in the loop could
  // otherwise be taken to change them.
  const std::size_t cellCount = grid.cellCount();
  const std::size_t placeCount = grid.places.size();
  const std::pair<std::size_t, F_MeshBuilder::Where>* const places = grid.places.data();
  const std::uint8_t* const types = grid.types.data();
  const std::int64_t* const offsets = grid.offsets.data();
  const std::int64_t* const connectivity = grid.connectivity.data();
  for (std::size_t c = 0; c < cellCount; ++c) {
    const Direct& d = direct[types[c]];
    std::int64_t key = d.dimension;
    if (regions) {
      const double v = regions->values[c];
      key = std::isfinite(v) ? static_cast<std::int64_t>(std::clamp(v, -9.0e15, 9.0e15)) : 0;
    }
    if (lastLayer < 0 || key != lastKey) {
      auto it = layers.find(key);
      if (it == layers.end()) {
        const std::string name = regions ? regions->name + " " + std::to_string(key) : kByDimension[key];
        it = layers.emplace(key, builder.addLayer(name)).first;
      }
      lastKey = key;
      lastLayer = it->second;
    }
    while (place + 1 < placeCount && places[place + 1].first <= c) ++place;
    const F_MeshBuilder::Where where =
        place < placeCount && places[place].first <= c ? places[place].second : F_MeshBuilder::Where{};
    const std::int64_t first = pending ? 0 : offsets[c];
    const std::int64_t count = pending ? pendingEach : offsets[c + 1] - first;
    if (d.nodes > 0 && count == d.nodes) {
      // The cells after it of the same type, layer and place, each with its
      // own points right after the one before, go to the builder at once.
      const bool placed = place < placeCount && places[place].first <= c;
      const std::size_t nextPlace = placed ? place + 1 : place;
      const std::size_t placeEnd = nextPlace < placeCount ? places[nextPlace].first : cellCount;
      // Without offsets or regions to compare, the run ends where the type changes.
      std::size_t end = pending && !regions ? runOf(types, c + 1, placeEnd, types[c]) : c + 1;
      while (end < placeEnd && types[end] == types[c] && (pending || offsets[end + 1] - offsets[end] == count) &&
             (!regions || regions->values[end] == regions->values[c])) {
        ++end;
      }
      if (pending) {
        if (!addPendingCells(grid, builder, lastLayer, d.kind, c, end - c, where)) changed();
        c = end - 1;
        continue;
      }
      builder.addCellsShared(
          lastLayer, d.kind, connectivity + first, static_cast<std::size_t>(count), end - c,
          [&](std::size_t i) { return static_cast<std::int64_t>(c + i); }, [&](std::size_t) { return where; });
      c = end - 1;
      continue;
    }
    if (pending) internalError("F_VtkGrid", 2);  // every pending cell goes straight to the builder
    addCell(builder, lastLayer, types[c], connectivity + first, count, static_cast<std::int64_t>(c), where);
  }
}

void addVtkPointField(F_MeshBuilder& builder, const std::string& name, const std::vector<double>& values,
                      int components, F_MeshBuilder::Where where) {
  if (components < 1) return;
  const int field = builder.addField(name);
  const std::size_t points = values.size() / static_cast<std::size_t>(components);
  for (std::size_t p = 0; p < points; ++p) {
    const double* v = values.data() + p * static_cast<std::size_t>(components);
    double value = v[0];
    if (components > 1) {
      double sum = 0;
      for (int c = 0; c < components; ++c) sum += v[c] * v[c];
      value = std::sqrt(sum);
    }
    builder.setFieldValue(field, static_cast<std::int64_t>(p), value, where, true);
  }
}

bool readPointsShared(F_MeshBuilder& builder, const F_InputFile& file, std::uint64_t start, std::size_t size,
                      bool swap, std::size_t count, int shares, std::int64_t firstId) {
  F_MeshBuilder::NodeBatch batch;
  if (!builder.beginNodes(firstId, count, batch)) return false;
  std::atomic<bool> finite{true};
  const bool read =
      F_WorkShares::readRecords(file, start, 3 * size, count, shares, [&](std::size_t first, char* data, std::size_t k) {
        const auto* v = reinterpret_cast<const unsigned char*>(data);
        if (size == 8) {
          // Turned in place, when at all.
          auto* xyz = reinterpret_cast<double*>(data);
          if (swap) {
            for (std::size_t i = 0; i < 3 * k; ++i) xyz[i] = loadValue<double>(v + 8 * i, true);
          }
          if (!builder.setNodes(batch, first, xyz, 3, k)) finite.store(false, std::memory_order_relaxed);
          return;
        }
        // Floats go through a piece of doubles.
        constexpr std::size_t kPiece = 1024;
        double xyz[3 * kPiece];
        for (std::size_t done = 0; done < k; done += kPiece) {
          const std::size_t n = std::min(kPiece, k - done);
          for (std::size_t i = 0; i < 3 * n; ++i) {
            xyz[i] = static_cast<double>(loadValue<float>(v + 4 * (3 * done + i), swap));
          }
          if (!builder.setNodes(batch, first + done, xyz, 3, n)) finite.store(false, std::memory_order_relaxed);
        }
      });
  const bool keep = read && finite.load();
  builder.endNodes(batch, keep);
  return keep;
}
