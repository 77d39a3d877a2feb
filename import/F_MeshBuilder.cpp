#include "import/F_MeshBuilder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <type_traits>

#include "import/F_SkinFinder.h"
#include "import/F_WorkShares.h"
#include "include/F_Errors.h"
#include "platform/UiServices.h"

namespace {

constexpr std::string_view kErrorHead = "ERROR\n";

// Names keep to the bytes a layer title may hold.
std::string validName(std::string name) {
  for (char& c : name) {
    if (!F_Byte::visible(static_cast<unsigned char>(c)) && c != ' ') c = '_';
  }
  return name;
}

// Node numbers of one cell, running on from `first`, as dense indices into
// `to`; whether each is below `defined`. The usual sizes are handed in as
// constants, so each of them gets a loop of its own, unrolled.
[[gnu::always_inline]] inline bool resolveEach(const std::int64_t* ids, int n, std::uint64_t first,
                                               std::uint64_t defined, int* to) {
  bool known = true;
  for (int j = 0; j < n; ++j) {
    const std::uint64_t index = static_cast<std::uint64_t>(ids[j]) - first;
    known &= index < defined;
    to[j] = static_cast<int>(index);
  }
  return known;
}

bool resolveRun(const std::int64_t* ids, int n, std::uint64_t first, std::uint64_t defined, int* to) {
  switch (n) {
    case 2: return resolveEach(ids, 2, first, defined, to);
    case 3: return resolveEach(ids, 3, first, defined, to);
    case 4: return resolveEach(ids, 4, first, defined, to);
    case 8: return resolveEach(ids, 8, first, defined, to);
    default: return resolveEach(ids, n, first, defined, to);
  }
}

}  // namespace

void F_MeshBuilder::fail(const std::string& message, Where where) const {
  if (!where.isOffset) failRead(file_, message, static_cast<int>(std::min<std::int64_t>(where.at, 2147483647)));
  std::string text(kErrorHead);
  text += "Byte offset " + std::to_string(where.at) + ".\n";
  text += message.starts_with(kErrorHead) ? message.substr(kErrorHead.size()) : message;
  failRead(file_, text, 0);
}

void F_MeshBuilder::addNode(std::int64_t id, double x, double y, double z, Where where) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
    fail("ERROR\nNode " + std::to_string(id) + " has a coordinate that is not a finite number.", where);
  }
  if (sequential_) {
    const std::uint64_t n = xyz_.size();
    if (n == 0) {
      firstId_ = id;
    } else if (static_cast<std::uint64_t>(id) - static_cast<std::uint64_t>(firstId_) != n) {
      keepNodeNumbers();
    }
  }
  if (!sequential_) {
    ids_.push_back(id);
    nodeWhere_.push_back(where);
  }
  xyz_.emplace_back(x, y, z);
}

void F_MeshBuilder::keepNodeNumbers() {
  // The nodes so far ran on one by one, so none of them repeats another: a
  // repeat is always reported at the later node, whose place is kept from
  // here on.
  sequential_ = false;
  const std::size_t n = xyz_.size();
  ids_.resize(n);
  for (std::size_t i = 0; i < n; ++i) ids_[i] = static_cast<std::int64_t>(static_cast<std::uint64_t>(firstId_) + i);
  nodeWhere_.assign(n, Where{});
}

void F_MeshBuilder::reserveNodes(std::uint64_t n) {
  xyz_.reserve(xyz_.size() + n);
  F_WorkShares::populate(xyz_.data() + xyz_.size(), n * sizeof(F_Point3D));
  if (!sequential_) {
    ids_.reserve(ids_.size() + n);
    nodeWhere_.reserve(nodeWhere_.size() + n);
  }
}

namespace {

// Room for `n` more records in `v` as address space, in large pages where
// the system offers them; room that cannot be had is let go (it is a hint).
template <class Records>
void expectRoom(Records& v, std::uint64_t n) {
  if (v.capacity() - v.size() >= n) return;
  try {
    v.reserve(v.size() + n);
  } catch (const std::exception&) {
    return;
  }
  F_WorkShares::askLargePages(v.data() + v.size(), n * sizeof(*v.data()));
}

}  // namespace

void F_MeshBuilder::reserveCells(std::uint64_t n, int nodesEach) {
  cellRoomAsked_ = {n, nodesEach};
  elementRoomAsked_ = n;
}

void F_MeshBuilder::roomForElements(F_Records<F_S3dElement>& out, std::size_t more) {
  if (out.capacity() - out.size() >= more) return;
  const std::uint64_t asked = elementRoomAsked_;
  if (out.empty() && asked > more) {
    elementRoomAsked_ = 0;
    expectRoom(out, asked);
    if (out.capacity() >= more) return;
  }
  growFor(out, more);
}

void F_MeshBuilder::expectNodes(std::uint64_t n) { expectRoom(xyz_, n); }

void F_MeshBuilder::expectCells(int layer, std::uint64_t n) {
  if (static_cast<std::size_t>(layer) >= kindCounts_.size()) internalError("F_MeshBuilder", 1);
  if (directLayer(layer)) expectRoom(direct_[static_cast<std::size_t>(layer)], n);
}

void F_MeshBuilder::applyCellRoom() {
  const auto [n, nodesEach] = cellRoomAsked_;
  cellRoomAsked_ = {0, 0};
  cells_.reserve(cells_.size() + n);
  F_WorkShares::populate(cells_.data() + cells_.size(), n * sizeof(Cell));
  roomForNodes(n * static_cast<std::uint64_t>(nodesEach));
  F_WorkShares::populate(nodes_.get() + usedNodes_, n * static_cast<std::uint64_t>(nodesEach) * sizeof(int));
}

void F_MeshBuilder::toCells(int layer) {
  char& inCells = inCells_[static_cast<std::size_t>(layer)];
  if (inCells) return;
  inCells = 1;
  F_Records<F_S3dElement>& made = direct_[static_cast<std::size_t>(layer)];
  if (made.empty()) return;
  movedTo_[static_cast<std::size_t>(layer)] = cells_.size();
  marksKept_ = false;  // they hold its marks
  useCellRoom();
  std::size_t nodes = 0;
  for (const F_S3dElement& e : made) nodes += static_cast<std::size_t>(e.nodes.size());
  roomForNodes(nodes);
  growFor(cells_, made.size());
  for (const F_S3dElement& e : made) {
    const int n = e.nodes.size();
    const F_CellKind kind = n == 2 ? F_CellKind::Line2 : n == 3 ? F_CellKind::Tri3 : F_CellKind::Quad4;
    int* const to = nodes_.get() + usedNodes_;
    for (int j = 0; j < n; ++j) to[j] = e.nodes.data()[j] - 1;
    cells_.push_back(Cell{usedNodes_, static_cast<std::int32_t>(layer), kind});
    usedNodes_ += static_cast<std::size_t>(n);
  }
  F_Records<F_S3dElement>().swap(made);
}

int F_MeshBuilder::addLayer(std::string name) {
  layerNames_.push_back(validName(std::move(name)));
  kindCounts_.emplace_back();
  inCells_.push_back(0);
  movedTo_.push_back(0);
  direct_.emplace_back();
  return layerCount() - 1;
}

void F_MeshBuilder::addCell(int layer, F_CellKind kind, const std::int64_t* nodeIds, std::int64_t cellId,
                            Where where) {
  // One unsigned test for both ends, against a count that needs no division.
  if (static_cast<std::size_t>(layer) >= kindCounts_.size()) internalError("F_MeshBuilder", 1);
  if (kind == F_CellKind::Point) {
    addSpecialNode(layer, nodeIds[0], where);
    return;
  }
  ++kindCounts_[static_cast<std::size_t>(layer)][static_cast<std::size_t>(kind)];
  const int n = nodeCountOf(kind);
  if (directLayer(layer)) {
    if (sequential_ && directKind(kind)) {
      F_Records<F_S3dElement>& out = direct_[static_cast<std::size_t>(layer)];
      roomForElements(out, 1);
      if (makeElement(nodeIds, n, static_cast<std::uint64_t>(firstId_), xyz_.size(), out.data() + out.size())) {
        out.adopt(1);
        roomForMarks();
        mark(out.back(), marks_.data());
        return;
      }
    }
    toCells(layer);
  }
  useCellRoom();
  if (nodeRoom_ - usedNodes_ < static_cast<std::size_t>(n)) roomForNodes(static_cast<std::size_t>(n));
  int* const to = nodes_.get() + usedNodes_;
  if (sequential_) {
    // Resolved straight into place; a cell with a node not yet defined
    // waits for the whole file.
    if (resolveRun(nodeIds, n, static_cast<std::uint64_t>(firstId_), xyz_.size(), to)) {
      cells_.push_back(Cell{usedNodes_, layer, kind});
      usedNodes_ += static_cast<std::size_t>(n);
      return;
    }
  }
  deferCell(layer, kind, nodeIds, cellId, where);
}

void F_MeshBuilder::deferCell(int layer, F_CellKind kind, const std::int64_t* nodeIds, std::int64_t cellId,
                              Where where) {
  const int n = nodeCountOf(kind);
  toCells(layer);
  useCellRoom();
  roomForNodes(static_cast<std::size_t>(n));
  deferred_.push_back(Deferred{cells_.size(), rawNodes_.size(), cellId, where});
  cells_.push_back(Cell{usedNodes_, layer, kind});
  usedNodes_ += static_cast<std::size_t>(n);
  rawNodes_.insert(rawNodes_.end(), nodeIds, nodeIds + n);
}

bool F_MeshBuilder::beginNodes(std::int64_t firstId, std::size_t count, NodeBatch& batch) {
  if (!sequential_) return false;
  if (!xyz_.empty() && static_cast<std::uint64_t>(firstId) != static_cast<std::uint64_t>(firstId_) + xyz_.size()) {
    return false;
  }
  if (xyz_.empty()) firstId_ = firstId;
  batch = NodeBatch{xyz_.size(), count};
  // The nodes are made in the room past the end, and taken by endNodes.
  growFor(xyz_, count);
  F_WorkShares::populate(xyz_.data() + xyz_.size(), count * sizeof(F_Point3D));
  return true;
}

bool F_MeshBuilder::setNodes(const NodeBatch& batch, std::size_t from, const double* xyz, std::size_t stride,
                             std::size_t n) {
  if (from > batch.count || n > batch.count - from) internalError("F_MeshBuilder", 6);
  F_Point3D* const to = xyz_.data() + batch.first + from;
  bool finite = true;
  for (std::size_t i = 0; i < n; ++i) {
    const double* p = xyz + stride * i;
    finite &= (p[0] - p[0]) + (p[1] - p[1]) + (p[2] - p[2]) == 0;
    ::new (static_cast<void*>(to + i)) F_Point3D(p[0], p[1], p[2]);
  }
  return finite;
}

void F_MeshBuilder::endNodes(const NodeBatch& batch, bool keep) {
  if (batch.first != xyz_.size()) internalError("F_MeshBuilder", 7);
  if (keep) xyz_.adopt(batch.count);
}

bool F_MeshBuilder::appendRun(const double* xyz, std::size_t stride, std::size_t count) {
  // Grown by doubling, as one at a time would, and each point made once in
  // the room past the end, taken only when every coordinate is finite.
  growFor(xyz_, count);
  F_Point3D* const out = xyz_.data() + xyz_.size();
  bool finite = true;
  for (std::size_t i = 0; i < count; ++i) {
    const double* p = xyz + stride * i;
    // Infinite and NaN coordinates are the only ones whose difference from
    // themselves is not 0.
    finite &= (p[0] - p[0]) + (p[1] - p[1]) + (p[2] - p[2]) == 0;
    ::new (static_cast<void*>(out + i)) F_Point3D(p[0], p[1], p[2]);
  }
  if (!finite) return false;
  xyz_.adopt(count);
  return true;
}

void F_MeshBuilder::roomForNodes(std::size_t n) {
  // Grown by doubling (the cells' own count may be unknown) and written in
  // place: a cell costs no size check per node.
  const std::size_t need = usedNodes_ + n;
  if (need <= nodeRoom_) return;
  // Only the first usedNodes_ were written; the rest is left unfilled.
  const std::size_t room = std::max(need, 2 * nodeRoom_);
  std::unique_ptr<int[]> grown = std::make_unique_for_overwrite<int[]>(room);
  if (usedNodes_ > 0) std::copy_n(nodes_.get(), usedNodes_, grown.get());
  nodes_ = std::move(grown);
  nodeRoom_ = room;
}

bool F_MeshBuilder::beginCells(int layer, F_CellKind kind, std::size_t count, CellBatch& batch) {
  if (static_cast<std::size_t>(layer) >= kindCounts_.size()) internalError("F_MeshBuilder", 1);
  if (kind == F_CellKind::Point || !sequential_) return false;
  if (directKind(kind) && directLayer(layer)) {
    // Made in the room past the end of the layer's elements, and taken by endCells.
    F_Records<F_S3dElement>& out = direct_[static_cast<std::size_t>(layer)];
    roomForElements(out, count);
    F_WorkShares::populate(out.data() + out.size(), count * sizeof(F_S3dElement));
    batch = CellBatch{out.size(), 0, count, layer, kind, true};
    roomForMarks();
    kindCounts_[static_cast<std::size_t>(layer)][static_cast<std::size_t>(kind)] += count;
    return true;
  }
  toCells(layer);
  useCellRoom();
  const std::size_t n = static_cast<std::size_t>(nodeCountOf(kind));
  roomForNodes(n * count);
  batch = CellBatch{cells_.size(), usedNodes_, count, layer, kind, false};
  cells_.resize(cells_.size() + count);
  usedNodes_ += n * count;
  kindCounts_[static_cast<std::size_t>(layer)][static_cast<std::size_t>(kind)] += count;
  return true;
}

bool F_MeshBuilder::resolveCells(const CellBatch& batch, std::size_t from, const std::int64_t* nodeIds,
                                 std::size_t stride, std::size_t n) {
  return resolveCellsWith(batch, from, n, [nodeIds, stride](std::size_t i, int j) { return nodeIds[stride * i + static_cast<std::size_t>(j)]; });
}

void F_MeshBuilder::endCells(const CellBatch& batch, bool keep) {
  if (batch.direct) {
    F_Records<F_S3dElement>& out = direct_[static_cast<std::size_t>(batch.layer)];
    if (batch.firstCell != out.size()) internalError("F_MeshBuilder", 7);
    if (keep) {
      out.adopt(batch.count);
    } else {
      marksKept_ = false;  // some of its elements were marked
      kindCounts_[static_cast<std::size_t>(batch.layer)][static_cast<std::size_t>(batch.kind)] -= batch.count;
    }
    return;
  }
  if (keep) return;
  cells_.resize(batch.firstCell);
  usedNodes_ = batch.firstNode;
  kindCounts_[static_cast<std::size_t>(batch.layer)][static_cast<std::size_t>(batch.kind)] -= batch.count;
}

std::int64_t F_MeshBuilder::cellNodeId(const CellBatch& batch, std::size_t i, int j) const {
  if (i >= batch.count || j < 0 || j >= nodeCountOf(batch.kind)) internalError("F_MeshBuilder", 8);
  const std::size_t layer = static_cast<std::size_t>(batch.layer);
  std::uint64_t index = 0;
  if (batch.direct && !inCells_[layer]) {
    index = static_cast<std::uint64_t>(direct_[layer][batch.firstCell + i].nodes.data()[j] - 1);
  } else {
    // Elements made straight into a layer later moved to cells_ in their order.
    const std::uint64_t cell = (batch.direct ? movedTo_[layer] : 0) + batch.firstCell + i;
    index = static_cast<std::uint64_t>(nodes_.get()[cells_[cell].firstNode + static_cast<std::uint64_t>(j)]);
  }
  // Batches are made only while the nodes run on one by one: the nodes they
  // name keep their numbers from firstId_ on, whatever came after them.
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(firstId_) + index);
}

void F_MeshBuilder::addSpecialNode(int layer, std::int64_t nodeId, Where where) {
  if (layer < 0 || layer >= layerCount()) internalError("F_MeshBuilder", 2);
  specials_.push_back(Special{layer, nodeId, where});
}

void F_MeshBuilder::skip(const std::string& typeName, std::int64_t count) { skipped_[typeName] += count; }

int F_MeshBuilder::addField(std::string name) {
  fieldNames_.push_back(std::move(name));
  fieldValues_.emplace_back();
  return static_cast<int>(fieldNames_.size()) - 1;
}

void F_MeshBuilder::setFieldValue(int field, std::int64_t nodeId, double value, Where where, bool byIndex) {
  if (field < 0 || field >= static_cast<int>(fieldValues_.size())) internalError("F_MeshBuilder", 3);
  if (!std::isfinite(value)) {
    fail("ERROR\nThe value of node " + std::to_string(nodeId) + " in \"" + fieldNames_[field] +
             "\" is not a finite number.",
         where);
  }
  fieldValues_[static_cast<std::size_t>(field)].push_back(FieldValue{nodeId, value, where, byIndex});
}

std::string F_MeshBuilder::skippedWarning() const {
  if (skipped_.empty()) return "";
  std::string text = "WARNING\nElements of these types cannot be shown and were skipped:\n";
  for (const auto& [name, count] : skipped_) text += "\n" + name + ": " + std::to_string(count);
  return text;
}

void F_MeshBuilder::buildLookup() {
  if (sequential_ || ids_.empty()) return;
  const auto [lo, hi] = std::minmax_element(ids_.begin(), ids_.end());
  const std::uint64_t span = static_cast<std::uint64_t>(*hi) - static_cast<std::uint64_t>(*lo);
  auto duplicate = [&](int index) {
    fail("ERROR\nNode " + std::to_string(ids_[static_cast<std::size_t>(index)]) + " is defined twice." +
             (twiceWhy_.empty() ? "" : "\n" + twiceWhy_),
         nodeWhere_[static_cast<std::size_t>(index)]);
  };
  // Compact numbers (the usual 1..N, or 0..N-1) index a table; others are searched.
  if (span < 2 * ids_.size() + 1024) {
    denseBase_ = *lo;
    dense_.assign(span + 1, -1);
    for (std::size_t i = 0; i < ids_.size(); ++i) {
      int& slot = dense_[static_cast<std::size_t>(ids_[i] - denseBase_)];
      if (slot >= 0) duplicate(static_cast<int>(i));
      slot = static_cast<int>(i);
    }
    return;
  }
  sparse_.reserve(ids_.size());
  for (std::size_t i = 0; i < ids_.size(); ++i) sparse_.emplace_back(ids_[i], static_cast<int>(i));
  std::sort(sparse_.begin(), sparse_.end());
  for (std::size_t i = 1; i < sparse_.size(); ++i) {
    if (sparse_[i].first == sparse_[i - 1].first) duplicate(std::max(sparse_[i].second, sparse_[i - 1].second));
  }
}

int F_MeshBuilder::sparseIndexOf(std::int64_t id) const {
  auto it = std::lower_bound(sparse_.begin(), sparse_.end(), std::pair<std::int64_t, int>(id, -1));
  return it != sparse_.end() && it->first == id ? it->second : -1;
}

void F_MeshBuilder::finish(F_S3dMesh& mesh, F_NodeFields* fields) {
  const std::size_t nodeCount = xyz_.size();
  if (nodeCount > 2147483647u) fail("ERROR\nThe file holds more nodes than a layer can number.", Where{});
  buildLookup();

  // Every node number resolved before anything is built: a missing node fails
  // at the record that named it.
  for (const Deferred& d : deferred_) {
    const Cell& cell = cells_[d.cell];
    const int n = nodeCountOf(cell.kind);
    for (int j = 0; j < n; ++j) {
      const std::int64_t id = rawNodes_[d.firstRaw + static_cast<std::uint64_t>(j)];
      const int index = indexOf(id);
      if (index < 0) {
        fail("ERROR\nElement " + std::to_string(d.id) + " refers to node " + std::to_string(id) +
                 ", which the file does not define.",
             d.where);
      }
      nodes_[cell.firstNode + static_cast<std::uint64_t>(j)] = index;
    }
  }
  std::vector<std::pair<int, int>> specials;  // layer, node index
  for (const Special& s : specials_) {
    const int index = indexOf(s.node);
    if (index < 0) {
      fail("ERROR\nNode " + std::to_string(s.node) + " is named but the file does not define it.", s.where);
    }
    specials.emplace_back(s.layer, index);
  }
  std::vector<Deferred>().swap(deferred_);
  std::vector<std::int64_t>().swap(rawNodes_);

  F_NodeFields data;
  for (std::size_t f = 0; f < fieldNames_.size(); ++f) {
    F_NodeField field{fieldNames_[f], std::vector<double>(nodeCount, 0.0)};
    for (const FieldValue& v : fieldValues_[f]) {
      const int index = v.byIndex ? (v.node >= 0 && v.node < static_cast<std::int64_t>(nodeCount)
                                         ? static_cast<int>(v.node)
                                         : -1)
                                  : indexOf(v.node);
      if (index < 0) {
        fail("ERROR\nNode data \"" + fieldNames_[f] + "\" names node " + std::to_string(v.node) +
                 ", which the file does not define.",
             v.where);
      }
      field.values[static_cast<std::size_t>(index)] = v.value;
    }
    data.fields.push_back(std::move(field));
  }

  // Everything is resolved: what only the messages needed goes before the
  // layers are built, so the peak holds little more than the mesh.
  std::vector<std::int64_t>().swap(ids_);
  std::vector<Where>().swap(nodeWhere_);
  std::vector<int>().swap(dense_);
  std::vector<std::pair<std::int64_t, int>>().swap(sparse_);
  std::vector<std::vector<FieldValue>>().swap(fieldValues_);

  // The cells of each layer, in file order; a file of one layer needs no lists.
  std::vector<std::vector<std::uint32_t>> byLayer(layerNames_.size());
  if (layerNames_.size() > 1) {
    for (std::size_t c = 0; c < cells_.size(); ++c) {
      byLayer[static_cast<std::size_t>(cells_[c].layer)].push_back(static_cast<std::uint32_t>(c));
    }
  }

  F_S3dMesh built;
  built.name = mesh.name;
  // Node marks of one layer at a time, made when a layer first needs them.
  std::vector<int> localOf;
  nodeCount_ = nodeCount;
  // The marks made with the elements serve the one layer that has such elements.
  marksOf_ = -1;
  for (int layer = 0; layer < layerCount() && marksKept_; ++layer) {
    if (direct_[static_cast<std::size_t>(layer)].empty()) continue;
    marksOf_ = marksOf_ == -1 ? layer : -2;
  }
  // Each layer's list of nodes serves only its node data, so it is made only
  // when there is node data and the caller takes it: for a million nodes it
  // is 4 MB written on one thread after everything else.
  F_NodeFields* const layerNodes = fields && !data.fields.empty() ? &data : nullptr;
  for (int layer = 0; layer < layerCount(); ++layer) {
    buildLayer(layer, byLayer[static_cast<std::size_t>(layer)], specials, localOf, built, layerNodes);
  }
  if (built.layerCount() == 0) fail("ERROR\nThe file holds no element that can be shown.", Where{});

  mesh = std::move(built);
  if (fields) *fields = std::move(data);
  const std::string warning = skippedWarning();
  if (!warning.empty()) ui().messageBox(warning);
}

void F_MeshBuilder::markNodes(const F_Records<F_S3dElement>& elements, bool byPass, std::vector<int>& localOf,
                              std::vector<int>& points) {
  if (!byPass) {
    for (const F_S3dElement& e : elements) {
      for (const int node : e.nodes) {
        int& mark = localOf[static_cast<std::size_t>(node - 1)];
        if (mark == 0) {
          mark = 1;
          points.push_back(node - 1);
        }
      }
    }
    return;
  }
  // Every mark is the same 1, so the threads may set them in any order.
  const int threads = F_WorkShares::count(elements.size());
  F_WorkShares::run(threads, [&](int t) {
    const F_S3dElement* const from = elements.data() + F_WorkShares::start(elements.size(), threads, t);
    const F_S3dElement* const to = elements.data() + F_WorkShares::start(elements.size(), threads, t + 1);
    int* const marks = localOf.data();
    for (const F_S3dElement* e = from; e != to; ++e) {
      for (const int node : e->nodes) {
        std::atomic_ref<int>(marks[static_cast<std::size_t>(node - 1)]).store(1, std::memory_order_relaxed);
      }
    }
  });
}

void F_MeshBuilder::buildLayer(int layer, const std::vector<std::uint32_t>& cellList,
                               const std::vector<std::pair<int, int>>& specialNodes, std::vector<int>& localOf,
                               F_S3dMesh& mesh, F_NodeFields* fields) {
  // With one layer every cell is this layer's, and `cellList` is empty.
  const bool allCells = layerNames_.size() == 1;
  const std::size_t cellCount = allCells ? cells_.size() : cellList.size();
  auto cellAt = [&](std::size_t i) -> const Cell& { return cells_[allCells ? i : cellList[i]]; };

  // Asked once per cell, so looked up once per kind.
  std::span<const F_CellPiece> piecesByKind[kCellKindCount];
  for (int k = 0; k < kCellKindCount; ++k) piecesByKind[k] = piecesOf(static_cast<F_CellKind>(k));
  // Elements and node numbers other than skin faces, counted by kind; the
  // cells are visited only when the layer has solids to find the skin of.
  std::size_t pieces = 0;
  std::size_t references = 0;  // node numbers over all the layer's elements
  std::size_t solidCount = 0;
  const std::array<std::uint64_t, kCellKindCount>& kinds = kindCounts_[static_cast<std::size_t>(layer)];
  for (int k = 0; k < kCellKindCount; ++k) {
    const std::size_t count = kinds[static_cast<std::size_t>(k)];
    if (isSolid(static_cast<F_CellKind>(k))) {
      solidCount += count;
      continue;
    }
    pieces += count * piecesByKind[k].size();
    for (const F_CellPiece& piece : piecesByKind[k]) references += count * piece.nodeCount;
  }
  std::vector<F_SolidCell> solids;
  if (solidCount > 0) {
    solids.reserve(solidCount);
    for (std::size_t i = 0; i < cellCount; ++i) {
      const Cell& cell = cellAt(i);
      if (isSolid(cell.kind)) solids.push_back(F_SolidCell{cell.kind, nodes_.get() + cell.firstNode});
    }
  }
  const std::vector<F_FaceRef> skin = findSkin(solids);
  std::vector<F_SolidCell>().swap(solids);
  pieces += skin.size();

  // Elements over file node indices plus one, cells and skin faces in file
  // order; the nodes the layer uses are marked on the way.
  if (pieces > 2147483647u) fail("ERROR\nThe file holds more elements than a layer can number.", Where{});
  // A layer that names a good share of the nodes only marks them and finds
  // them afterwards by one pass over the marks; a small one also lists each
  // node the first time it comes, and sorts that list, so that a file of
  // many small layers never passes over every node for each of them.
  // Skin faces are counted as the largest face, which only errs towards the pass.
  references += skin.size() * 9;
  bool byPass = references * 16 >= nodeCount_;
  auto needMarks = [&] {
    if (localOf.size() != nodeCount_) localOf.assign(nodeCount_, 0);
  };
  // Every node marked with the elements: none needs to be looked up.
  bool allUsed = false;
  std::vector<int> points;
  F_S3dLayer out;
  out.name = layerNames_[static_cast<std::size_t>(layer)];
  F_Records<F_S3dElement> elements;
  if (directLayer(layer)) {
    // The elements were made as the cells came: only the nodes they use are marked.
    elements.swap(direct_[static_cast<std::size_t>(layer)]);
    if (elements.size() != pieces) internalError("F_MeshBuilder", 4);
    if (marksOf_ == layer) {
      // Counted on the threads that just wrote the marks: for a million
      // nodes one thread waits on the other's caches for most of a pass.
      std::atomic<std::size_t> marked{0};
      F_WorkShares::runPieces(marks_.size(), 256 * 1024, F_WorkShares::count(marks_.size()),
                              [&](std::size_t from, std::size_t to) {
                                std::size_t n = 0;
                                for (std::size_t i = from; i < to; ++i) n += marks_[i];
                                marked.fetch_add(n, std::memory_order_relaxed);
                              });
      byPass = true;
      allUsed = marked == nodeCount_;
      if (!allUsed) {
        needMarks();
        for (std::size_t i = 0; i < marks_.size(); ++i) localOf[i] = marks_[i];
      }
    } else {
      needMarks();
      markNodes(elements, byPass, localOf, points);
    }
  } else {
    needMarks();
    // Every element is made empty at once and filled where it stands.
    elements.reserve(pieces);
    F_WorkShares::populate(elements.data(), pieces * sizeof(F_S3dElement));
    elements.resize(pieces, F_S3dElement());
    // A kind that stays one element with its nodes in order (triangles,
    // quadrilaterals, 2-node lines) is copied without the order table.
    bool asIs[kCellKindCount];
    for (int k = 0; k < kCellKindCount; ++k) {
      const std::span<const F_CellPiece> p = piecesByKind[k];
      bool same = p.size() == 1 && p[0].nodeCount == nodeCountOf(static_cast<F_CellKind>(k));
      for (int j = 0; same && j < p[0].nodeCount; ++j) same = p[0].nodes[j] == j;
      asIs[k] = same;
    }
    // Built twice over so that the node loops hold no test of `byPass`. A
    // share of the cells, from cell `first` to `last`, fills the elements from
    // `next` on; `nextFace` and `solid` say which skin face and which solid
    // come first in it. With `byPass` the shares may run on several threads:
    // each writes only its own elements, and the marks are all the same 1.
    auto build = [&](auto byPassFlag, auto sharedFlag, std::size_t first, std::size_t last, F_S3dElement* next,
                     std::size_t nextFace, std::size_t solid) {
      constexpr bool kByPass = decltype(byPassFlag)::value;
      auto mark = [&](int index) {
        if constexpr (kByPass && decltype(sharedFlag)::value) {
          std::atomic_ref<int>(localOf[static_cast<std::size_t>(index)]).store(1, std::memory_order_relaxed);
        } else if constexpr (kByPass) {
          localOf[static_cast<std::size_t>(index)] = 1;  // one thread: the store may join the loop's others
        } else if (localOf[static_cast<std::size_t>(index)] == 0) {
          localOf[static_cast<std::size_t>(index)] = 1;
          points.push_back(index);
        }
      };
      auto emit = [&](const int* cellNodes, const std::uint8_t* order, int count) {
        F_SmallVector<int, 8>& to = (next++)->nodes;
        to.resizeForOverwrite(count);  // each written below
        int* const out = to.data();
        for (int j = 0; j < count; ++j) {
          const int index = cellNodes[order[j]];
          out[j] = index + 1;
          mark(index);
        }
      };
      for (std::size_t i = first; i < last; ++i) {
        const Cell& cell = cellAt(i);
        const int* cellNodes = nodes_.get() + cell.firstNode;
        const int kind = static_cast<int>(cell.kind);
        if (asIs[kind]) {
          const int count = nodeCountOf(cell.kind);
          F_SmallVector<int, 8>& to = (next++)->nodes;
          to.resizeForOverwrite(count);  // each written below
          int* const out = to.data();
          auto copy = [&](auto n) {
            for (int j = 0; j < n; ++j) {
              out[j] = cellNodes[j] + 1;
              mark(cellNodes[j]);
            }
          };
          // Unrolled for the usual sizes.
          if (count == 4) {
            copy(std::integral_constant<int, 4>{});
          } else if (count == 3) {
            copy(std::integral_constant<int, 3>{});
          } else {
            copy(count);
          }
          continue;
        }
        if (!isSolid(cell.kind)) {
          for (const F_CellPiece& piece : piecesByKind[kind]) emit(cellNodes, piece.nodes, piece.nodeCount);
          continue;
        }
        for (; nextFace < skin.size() && skin[nextFace] / 8 == solid; ++nextFace) {
          const F_CellFace& face = facesOf(cell.kind)[skin[nextFace] % 8];
          emit(cellNodes, face.nodes, face.nodeCount);
        }
        ++solid;
      }
      return next;
    };
    const int threads = byPass ? F_WorkShares::count(cellCount) : 1;
    if (threads <= 1) {
      F_S3dElement* const end = byPass ? build(std::true_type{}, std::false_type{}, 0, cellCount, elements.data(), 0, 0)
                                       : build(std::false_type{}, std::false_type{}, 0, cellCount, elements.data(), 0, 0);
      if (end != elements.data() + elements.size()) internalError("F_MeshBuilder", 4);
    } else {
      // Equal shares of the cells; where each one's elements begin follows from
      // the elements and solids of the shares before it.
      struct Share {
        std::size_t first = 0, elements = 0, solids = 0;
        F_S3dElement* end = nullptr;
      };
      std::vector<Share> shares(static_cast<std::size_t>(threads) + 1);
      for (int t = 0; t <= threads; ++t) {
        shares[static_cast<std::size_t>(t)].first = F_WorkShares::start(cellCount, threads, t);
      }
      std::size_t piecesOfKind[kCellKindCount];
      for (int k = 0; k < kCellKindCount; ++k) piecesOfKind[k] = piecesByKind[k].size();
      F_WorkShares::run(threads, [&](int t) {
        Share& share = shares[static_cast<std::size_t>(t)];
        for (std::size_t i = share.first; i < shares[static_cast<std::size_t>(t) + 1].first; ++i) {
          const F_CellKind kind = cellAt(i).kind;
          if (isSolid(kind)) {
            ++share.solids;
          } else {
            share.elements += piecesOfKind[static_cast<int>(kind)];
          }
        }
      });
      std::size_t element = 0, solid = 0;
      std::vector<std::array<std::size_t, 3>> starts;  // element, face, solid
      for (int t = 0; t < threads; ++t) {
        const Share& share = shares[static_cast<std::size_t>(t)];
        // Skin faces are sorted by solid, eight numbers to a solid.
        const std::size_t face = static_cast<std::size_t>(
            std::lower_bound(skin.begin(), skin.end(), static_cast<F_FaceRef>(solid) * 8) - skin.begin());
        const std::size_t faceEnd = static_cast<std::size_t>(
            std::lower_bound(skin.begin(), skin.end(), static_cast<F_FaceRef>(solid + share.solids) * 8) - skin.begin());
        starts.push_back({element, face, solid});
        element += share.elements + (faceEnd - face);
        solid += share.solids;
      }
      if (element != elements.size()) internalError("F_MeshBuilder", 4);
      F_WorkShares::run(threads, [&](int t) {
        const auto [from, face, firstSolid] = starts[static_cast<std::size_t>(t)];
        Share& share = shares[static_cast<std::size_t>(t)];
        share.end = build(std::true_type{}, std::true_type{}, share.first, shares[static_cast<std::size_t>(t) + 1].first,
                          elements.data() + from, face, firstSolid);
      });
      for (int t = 0; t < threads; ++t) {
        const std::size_t end = t + 1 < threads ? starts[static_cast<std::size_t>(t) + 1][0] : elements.size();
        if (shares[static_cast<std::size_t>(t)].end != elements.data() + end) internalError("F_MeshBuilder", 4);
      }
    }
  }
  out.elements = F_SharedVector<F_S3dElement>(std::move(elements));
  std::vector<int> specials;
  for (const auto& [l, index] : specialNodes) {
    if (l != layer) continue;
    specials.push_back(index);
    if (allUsed) continue;
    if (localOf[static_cast<std::size_t>(index)] == 0) {
      localOf[static_cast<std::size_t>(index)] = 1;
      if (!byPass) points.push_back(index);
    }
  }
  if (out.elements.empty() && specials.empty()) return;

  // Points: the nodes the layer uses, in the file's node order, numbered from 1.
  std::size_t used = 0;
  if (allUsed) {
    used = nodeCount_;
    if (fields) {
      points.resize(used);
      for (std::size_t i = 0; i < used; ++i) points[i] = static_cast<int>(i);
    }
  } else if (byPass) {
    for (const int mark : localOf) used += mark != 0;
    // A layer of every node needs its list only for the node data.
    if (used < nodeCount_ || fields) {
      points.reserve(used);
      for (std::size_t i = 0; i < localOf.size(); ++i) {
        if (localOf[i]) points.push_back(static_cast<int>(i));
      }
    }
  } else {
    std::sort(points.begin(), points.end());
    used = points.size();
  }
  if (used == nodeCount_) {
    // A layer of every node keeps the file's numbers plus one as they are,
    // and the only layer takes the nodes themselves.
    if (layerNames_.size() == 1) {
      out.points = F_Vector<F_Point3D>(std::move(xyz_));
    } else {
      out.points = F_Vector<F_Point3D>(F_Records<F_Point3D>(xyz_));
    }
    for (int index : specials) out.specialNodes.append(index + 1);
    if (!allUsed) std::fill(localOf.begin(), localOf.end(), 0);
  } else {
    out.points.reserve(static_cast<int>(points.size()));
    for (std::size_t k = 0; k < points.size(); ++k) {
      localOf[static_cast<std::size_t>(points[k])] = static_cast<int>(k) + 1;
      out.points.append(xyz_[static_cast<std::size_t>(points[k])]);
    }
    for (F_S3dElement& e : out.elements) {
      for (int& node : e.nodes) node = localOf[static_cast<std::size_t>(node - 1)];
    }
    for (int index : specials) out.specialNodes.append(localOf[static_cast<std::size_t>(index)]);
    for (int index : points) localOf[static_cast<std::size_t>(index)] = 0;
  }
  mesh.layers.append(std::move(out));
  if (fields) fields->layerNodes.push_back(std::move(points));
}
