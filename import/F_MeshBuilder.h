#pragma once
// What every importer fills while it reads, and the one place that turns it
// into a mesh: nodes by the file's own numbers, named layers, cells in the
// shared node order of F_CellKind, node data. finish() resolves node numbers,
// replaces each layer's solids by their skin, renumbers each layer's points
// from 1 and refuses a file with nothing to show.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "common/F_S3dMesh.h"
#include "import/F_CellKind.h"
#include "import/F_NodeFields.h"
#include "import/F_WorkShares.h"
#include "include/F_File.h"

class F_MeshBuilder {
 public:
  // Where a record stood: a line of a text file or a byte offset of a binary one.
  struct Where {
    std::int64_t at = 0;
    bool isOffset = false;
  };

  // `guesses`: a reader may take what is most likely of a file and read on
  // before the rest of the file confirms it; where the file proves it wrong
  // the reader throws F_ReadAgain, and the file is read again with a fresh
  // builder that allows no guesses.
  explicit F_MeshBuilder(F_InputFile& file, bool guesses = true) : file_(file), guesses_(guesses) {}
  bool guesses() const { return guesses_; }

  // A read error at `where`: the message box, then F_UserException.
  [[noreturn]] void fail(const std::string& message, Where where) const;

  void addNode(std::int64_t id, double x, double y, double z, Where where);
  // `count` nodes, node i numbered ids[i] (or firstId + i when `ids` is
  // null) at xyz[stride * i] and the two after it, where(i) the record that
  // gave it: the same as addNode for each, with nothing to do per node when
  // they run on one by one from the nodes before.
  template <class WhereOf>
  void addNodes(const std::int64_t* ids, std::int64_t firstId, const double* xyz, std::size_t stride, std::size_t count,
                WhereOf&& where);
  // Nodes that several threads fill at once: beginNodes makes room for
  // `count` nodes numbered on one by one from `firstId`, each thread sets
  // nodes of its own with setNodes, and endNodes keeps or drops them all.
  struct NodeBatch {
    std::size_t first = 0;  // into the nodes
    std::size_t count = 0;
  };
  // False, with nothing made, unless the nodes so far run on one by one up
  // to firstId (or there are none): addNodes then takes them.
  bool beginNodes(std::int64_t firstId, std::size_t count, NodeBatch& batch);
  // Nodes from .. from + n - 1 of the batch, node i at xyz[stride * i] and
  // the two after it; false when one of them is not a finite number: the
  // batch must then be dropped and the nodes given to addNodes, which says so.
  bool setNodes(const NodeBatch& batch, std::size_t from, const double* xyz, std::size_t stride, std::size_t n);
  void endNodes(const NodeBatch& batch, bool keep);
  // Room for what a file declares; callers bound the counts by the bytes
  // left, so a false count costs no more memory than the file itself.
  void reserveNodes(std::uint64_t n);
  void reserveCells(std::uint64_t n, int nodesEach);
  // Room for about `n` more nodes, or cells of `layer` made straight into
  // its elements, as address space only: a reader that cannot count its
  // records ahead passes an estimate, and pages come only as records fill
  // them. An estimate too high costs no memory (one that cannot be had is
  // let go), one too low grows by doubling from there as before.
  void expectNodes(std::uint64_t n);
  void expectCells(int layer, std::uint64_t n);
  int nodeCount() const { return static_cast<int>(xyz_.size()); }

  // A new layer; its index for addCell.
  int addLayer(std::string name);
  int layerCount() const { return static_cast<int>(layerNames_.size()); }

  // `nodeIds` holds nodeCountOf(kind) node numbers of the file, in F_CellKind's order.
  void addCell(int layer, F_CellKind kind, const std::int64_t* nodeIds, std::int64_t cellId, Where where);
  // `count` cells of one kind in one layer, the same as addCell for each:
  // cell i has its node numbers at nodeIds + stride * i (in 64 or 32 bits),
  // its number id(i) and stands at where(i) (both asked only when a message
  // may need them).
  template <class NodeId, class IdOf, class WhereOf>
  void addCells(int layer, F_CellKind kind, const NodeId* nodeIds, std::size_t stride, std::size_t count, IdOf&& id,
                WhereOf&& where);
  // addCells, the cells resolved on several threads when there are enough
  // of them to share out.
  template <class IdOf, class WhereOf>
  void addCellsShared(int layer, F_CellKind kind, const std::int64_t* nodeIds, std::size_t stride, std::size_t count,
                      IdOf&& id, WhereOf&& where);
  // Cells that several threads resolve at once: beginCells makes room for
  // `count` cells of one kind in one layer, each thread resolves cells of
  // its own with resolveCells, and endCells keeps or drops them all.
  struct CellBatch {
    std::uint64_t firstCell = 0;  // into cells_, or the layer's elements when `direct`
    std::uint64_t firstNode = 0;  // into nodes_
    std::size_t count = 0;
    std::int32_t layer = 0;
    F_CellKind kind = F_CellKind::Line2;
    bool direct = false;  // made straight into the layer's elements
  };
  // False, with nothing made, when the nodes so far do not run on one by one
  // (or the kind is a point): addCells then takes the cells.
  bool beginCells(int layer, F_CellKind kind, std::size_t count, CellBatch& batch);
  // Cells from .. from + n - 1 of the batch, cell i with its node numbers at
  // nodeIds + stride * i; false when one of them names a node not defined
  // before the batch, whose cells must then be dropped and given to addCells,
  // which says what is wrong. Threads may resolve cells of one batch at once.
  bool resolveCells(const CellBatch& batch, std::size_t from, const std::int64_t* nodeIds, std::size_t stride,
                    std::size_t n);
  // The same with node j of cell from + i given by idOf(i, j), so that a
  // reader resolves the numbers where it read them, in the file's own form.
  template <class IdOf>
  bool resolveCellsWith(const CellBatch& batch, std::size_t from, std::size_t n, IdOf&& idOf);
  // Keeps the batch (every resolveCells was true) or drops it.
  void endCells(const CellBatch& batch, bool keep);
  // The file number of node j of cell i of a batch kept, as it was resolved:
  // a reader need not keep the numbers the builder holds.
  std::int64_t cellNodeId(const CellBatch& batch, std::size_t i, int j) const;
  void addSpecialNode(int layer, std::int64_t nodeId, Where where);
  // An element of a type that cannot be shown, counted for the closing warning.
  void skip(const std::string& typeName, std::int64_t count = 1);
  // A sentence added to the message of a node defined twice, telling why
  // the file may number its nodes more than once.
  void explainTwice(std::string why) { twiceWhy_ = std::move(why); }
  const std::string& twiceWhy() const { return twiceWhy_; }

  // A field of node values; its index for setFieldValue. Nodes without a value hold 0.
  int addField(std::string name);
  // The value of node `nodeId` (a file number) or, with byIndex, of the node
  // defined in that position (0-based), for formats that number nodes by order.
  void setFieldValue(int field, std::int64_t nodeId, double value, Where where, bool byIndex = false);

  // The mesh and its node data; shows the skipped-types warning when any were
  // skipped. Fails when a node is missing or nothing can be shown.
  void finish(F_S3dMesh& mesh, F_NodeFields* fields);

  // "WARNING\n..." listing each skipped type with its count; empty when none.
  std::string skippedWarning() const;

 private:
  // A cell's nodes are resolved as it comes when they are already defined
  // and numbered one by one (the usual case), else when the file has been read.
  struct Cell {
    // Left unwritten, so that room made for the cells of a batch is first
    // written by the threads that resolve them.
    Cell() {}
    Cell(std::uint64_t n, std::int32_t l, F_CellKind k) : firstNode(n), layer(l), kind(k) {}
    std::uint64_t firstNode;  // into nodes_
    std::int32_t layer;
    F_CellKind kind;
  };
  // A cell whose nodes wait for the whole file: their numbers, and what a
  // message about a missing one names.
  struct Deferred {
    std::uint64_t cell;      // into cells_
    std::uint64_t firstRaw;  // into rawNodes_
    std::int64_t id;
    Where where;
  };
  struct Special {
    std::int32_t layer;
    std::int64_t node;
    Where where;
  };
  struct FieldValue {
    std::int64_t node;
    double value;
    Where where;
    bool byIndex;
  };

  // The dense index of a file node number, or -1.
  int indexOf(std::int64_t id) const {
    if (sequential_) {
      const std::uint64_t i = static_cast<std::uint64_t>(id) - static_cast<std::uint64_t>(firstId_);
      return i < xyz_.size() ? static_cast<int>(i) : -1;
    }
    if (!dense_.empty()) {
      const std::uint64_t i = static_cast<std::uint64_t>(id) - static_cast<std::uint64_t>(denseBase_);
      return i < dense_.size() ? dense_[i] : -1;
    }
    return sparseIndexOf(id);
  }
  int sparseIndexOf(std::int64_t id) const;
  // Room in `v` for `more` items, grown by doubling however small the runs
  // that ask for it.
  template <class Vector>
  static void growFor(Vector& v, std::size_t more) {
    if (v.capacity() - v.size() < more) v.reserve(std::max(v.size() + more, 2 * v.capacity()));
  }
  // Cells that become one element each with their nodes in order (2-node
  // lines, 3-node triangles, 4-node quadrilaterals) are made straight into
  // their layer's elements, as long as every cell of the layer so far was
  // made so: those elements then need no second copy when the layer is
  // built. The node count tells such an element's kind.
  static bool directKind(F_CellKind kind) {
    return kind == F_CellKind::Line2 || kind == F_CellKind::Tri3 || kind == F_CellKind::Quad4;
  }
  // The element of a cell of such a kind, its `n` nodes numbered on from
  // `first`, made at `to` (room past the end of a layer's elements): the
  // dense indices plus one. False when one of them is not below `defined`
  // (the element is then not to be taken).
  [[gnu::always_inline]] static bool makeElement(const std::int64_t* ids, int n, std::uint64_t first,
                                                 std::uint64_t defined, F_S3dElement* to) {
    return makeElementWith([ids](int j) { return ids[j]; }, n, first, defined, to);
  }
  // The same with node j's number given by idOf(j).
  template <class IdOf>
  [[gnu::always_inline]] static bool makeElementWith(IdOf&& idOf, int n, std::uint64_t first, std::uint64_t defined,
                                                     F_S3dElement* to) {
    F_S3dElement* const e = ::new (static_cast<void*>(to)) F_S3dElement;
    e->nodes.resizeForOverwrite(n);
    int* const out = e->nodes.data();
    bool known = true;
    for (int j = 0; j < n; ++j) {
      const std::uint64_t index = static_cast<std::uint64_t>(idOf(j)) - first;
      known &= index < defined;
      out[j] = static_cast<int>(index + 1);
    }
    return known;
  }
  // The nodes of an element so made, marked in `marks` (several threads may mark at once).
  static void mark(const F_S3dElement& e, std::uint8_t* marks) {
    for (const int node : e.nodes) {
      std::atomic_ref<std::uint8_t>(marks[static_cast<std::size_t>(node - 1)]).store(1, std::memory_order_relaxed);
    }
  }
  // marks_ covers every node defined so far.
  void roomForMarks() {
    if (marks_.size() < xyz_.size()) marks_.resize(xyz_.size(), 0);
  }
  bool directLayer(int layer) const { return !inCells_[static_cast<std::size_t>(layer)]; }
  // Room in a layer's elements for `more` made straight from cells. The
  // first layer to get any takes the room the reader declared for all its
  // cells, in large pages where the system offers them: the elements of a
  // file of one layer (the usual case) are then never moved. The room is
  // not made present ahead: the first layer is often a small one (the
  // lines on a boundary), and memory is taken only as it is written.
  void roomForElements(F_Records<F_S3dElement>& out, std::size_t more);
  // The layer's cells go to cells_ from here on: its elements made so far
  // are moved there first, in their order.
  void toCells(int layer);
  // The room a reader asked for with reserveCells, made when a cell first
  // goes to cells_ (cells made straight into elements need none of it).
  void useCellRoom() {
    if (cellRoomAsked_.first > 0) applyCellRoom();
  }
  void applyCellRoom();
  // A cell, already counted, whose nodes are resolved once the whole file has been read.
  void deferCell(int layer, F_CellKind kind, const std::int64_t* nodeIds, std::int64_t cellId, Where where);
  // Appends the coordinates of nodes that run on from the ones before;
  // false (nothing added) when one of them is not a finite number.
  bool appendRun(const double* xyz, std::size_t stride, std::size_t count);
  // nodes_ holds at least `n` more than usedNodes_.
  void roomForNodes(std::size_t n);
  void buildLookup();
  // The numbers and places of the nodes so far, once they stop running on
  // one by one from the first.
  void keepNodeNumbers();
  // Marks the nodes of elements made straight from the cells in `localOf`
  // (and, unless `byPass`, lists each the first time it comes in `points`).
  static void markNodes(const F_Records<F_S3dElement>& elements, bool byPass, std::vector<int>& localOf,
                        std::vector<int>& points);
  // `cells` lists the layer's cells, or is empty when every cell is the
  // layer's. `localOf` holds a 0 for every node and is left that way. The
  // layer's node list goes to `fields` when it is given.
  void buildLayer(int layer, const std::vector<std::uint32_t>& cells, const std::vector<std::pair<int, int>>& specialNodes, std::vector<int>& localOf, F_S3dMesh& mesh,
                  F_NodeFields* fields);

  F_InputFile& file_;
  bool guesses_ = true;
  // Nodes numbered on by one from the first (the usual case) need neither
  // their numbers nor their places kept: there is nothing to look up and no
  // node can be defined twice.
  bool sequential_ = true;
  std::int64_t firstId_ = 0;
  std::vector<std::int64_t> ids_;
  F_Records<F_Point3D> xyz_;
  std::vector<Where> nodeWhere_;
  std::vector<std::string> layerNames_;
  // Each layer's cells by kind.
  std::vector<std::array<std::uint64_t, kCellKindCount>> kindCounts_;
  std::vector<Cell> cells_;
  // Per layer: whether its cells go to cells_ (else straight into `direct_`).
  std::vector<char> inCells_;
  std::vector<std::uint64_t> movedTo_;  // per layer in cells_: where its elements made before went
  std::vector<F_Records<F_S3dElement>> direct_;
  std::pair<std::uint64_t, int> cellRoomAsked_{0, 0};  // cells, nodes each
  std::uint64_t elementRoomAsked_ = 0;
  // The nodes the elements made straight from cells use, marked as they are
  // made (while each thread has them in its cache); they serve finish() when
  // one layer alone has such elements and every one of them was marked.
  std::vector<std::uint8_t> marks_;
  bool marksKept_ = true;
  int marksOf_ = -1;  // the layer they serve, when one does
  std::size_t nodeCount_ = 0;
  // Dense node indices of every cell, one cell after another: the first
  // usedNodes_ of nodeRoom_.
  std::unique_ptr<int[]> nodes_;
  std::size_t nodeRoom_ = 0;
  std::size_t usedNodes_ = 0;
  std::vector<Deferred> deferred_;
  std::vector<std::int64_t> rawNodes_;
  std::vector<Special> specials_;
  std::vector<std::string> fieldNames_;
  std::vector<std::vector<FieldValue>> fieldValues_;
  std::map<std::string, std::int64_t> skipped_;
  std::string twiceWhy_;

  // File node number -> dense index: a table when the numbers are compact,
  // else sorted pairs.
  std::int64_t denseBase_ = 0;
  std::vector<int> dense_;
  std::vector<std::pair<std::int64_t, int>> sparse_;
};

template <class WhereOf>
void F_MeshBuilder::addNodes(const std::int64_t* ids, std::int64_t firstId, const double* xyz, std::size_t stride,
                             std::size_t count, WhereOf&& where) {
  if (count == 0) return;
  // Numbers that run on from the nodes before (or start them) cost one
  // test each and the coordinates one copy.
  bool runsOn = sequential_;
  if (runsOn) {
    const std::int64_t base = ids ? ids[0] : firstId;
    const std::uint64_t expected = xyz_.empty() ? static_cast<std::uint64_t>(base)
                                                : static_cast<std::uint64_t>(firstId_) + xyz_.size();
    runsOn = static_cast<std::uint64_t>(base) == expected;
    if (ids) {
      for (std::size_t i = 1; runsOn && i < count; ++i) {
        runsOn = static_cast<std::uint64_t>(ids[i]) == static_cast<std::uint64_t>(base) + i;
      }
    }
    if (runsOn) {
      if (xyz_.empty()) firstId_ = base;
      if (appendRun(xyz, stride, count)) return;
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double* p = xyz + stride * i;
    addNode(ids ? ids[i] : static_cast<std::int64_t>(static_cast<std::uint64_t>(firstId) + i), p[0], p[1], p[2],
            where(i));
  }
}

template <class NodeId, class IdOf, class WhereOf>
void F_MeshBuilder::addCells(int layer, F_CellKind kind, const NodeId* nodeIds, std::size_t stride, std::size_t count,
                             IdOf&& id, WhereOf&& where) {
  static_assert(std::is_same_v<NodeId, std::int64_t> || std::is_same_v<NodeId, std::int32_t>);
  if (count == 0) return;
  // The node numbers of cell i as addCell and deferCell take them.
  std::int64_t wide[kMaxCellNodes];
  auto idsOf = [&](std::size_t i) -> const std::int64_t* {
    if constexpr (std::is_same_v<NodeId, std::int64_t>) {
      return nodeIds + stride * i;
    } else {
      std::copy_n(nodeIds + stride * i, nodeCountOf(kind), wide);
      return wide;
    }
  };
  if (kind == F_CellKind::Point || !sequential_) {
    for (std::size_t i = 0; i < count; ++i) addCell(layer, kind, idsOf(i), id(i), where(i));
    return;
  }
  if (static_cast<std::size_t>(layer) >= kindCounts_.size()) internalError("F_MeshBuilder", 1);
  kindCounts_[static_cast<std::size_t>(layer)][static_cast<std::size_t>(kind)] += count;
  const std::size_t n = static_cast<std::size_t>(nodeCountOf(kind));
  const std::uint64_t first = static_cast<std::uint64_t>(firstId_);
  const std::uint64_t defined = xyz_.size();
  std::size_t done = 0;
  if (directKind(kind) && directLayer(layer)) {
    // Straight into the layer's elements, up to the first cell with a node
    // not yet defined; that one and all after it go to cells_.
    F_Records<F_S3dElement>& out = direct_[static_cast<std::size_t>(layer)];
    roomForElements(out, count);
    F_S3dElement* const to = out.data() + out.size();
    while (done < count) {
      const NodeId* const ids = nodeIds + stride * done;
      if (!makeElementWith([ids](int j) { return static_cast<std::int64_t>(ids[j]); }, static_cast<int>(n), first,
                           defined, to + done)) {
        break;
      }
      ++done;
    }
    out.adopt(done);
    roomForMarks();
    for (std::size_t i = 0; i < done; ++i) mark(to[i], marks_.data());
    if (done == count) return;
  }
  toCells(layer);
  useCellRoom();
  roomForNodes(n * (count - done));
  growFor(cells_, count - done);
  // Every cell resolved in place as addCell would; a cell with a node not yet
  // defined waits for the whole file.
  auto each = [&](auto nodes) {
    for (std::size_t i = done; i < count; ++i) {
      const NodeId* ids = nodeIds + stride * i;
      int* const to = nodes_.get() + usedNodes_;
      bool known = true;
      for (std::size_t j = 0; j < static_cast<std::size_t>(nodes); ++j) {
        const std::uint64_t index = static_cast<std::uint64_t>(static_cast<std::int64_t>(ids[j])) - first;
        known &= index < defined;
        to[j] = static_cast<int>(index);
      }
      if (!known) {
        deferCell(layer, kind, idsOf(i), id(i), where(i));
        continue;
      }
      cells_.push_back(Cell{usedNodes_, layer, kind});
      usedNodes_ += static_cast<std::size_t>(nodes);
    }
  };
  // The usual sizes are constants, so that each gets a loop of its own.
  switch (n) {
    case 3: each(std::integral_constant<std::size_t, 3>{}); break;
    case 4: each(std::integral_constant<std::size_t, 4>{}); break;
    case 8: each(std::integral_constant<std::size_t, 8>{}); break;
    default: each(n); break;
  }
}

template <class IdOf>
bool F_MeshBuilder::resolveCellsWith(const CellBatch& batch, std::size_t from, std::size_t n, IdOf&& idOf) {
  if (from > batch.count || n > batch.count - from) internalError("F_MeshBuilder", 5);
  const int each = nodeCountOf(batch.kind);
  const std::uint64_t first = static_cast<std::uint64_t>(firstId_);
  const std::uint64_t defined = xyz_.size();
  if (batch.direct) {
    F_S3dElement* const to = direct_[static_cast<std::size_t>(batch.layer)].data() + batch.firstCell + from;
    std::uint8_t* const marks = marks_.data();
    // The node count as a constant, so that each size gets a loop of its own.
    auto make = [&](auto nodes) {
      bool known = true;
      for (std::size_t i = 0; i < n; ++i) {
        const bool here = makeElementWith([&](int j) { return idOf(i, j); }, decltype(nodes)::value, first, defined,
                                          to + i);
        known &= here;
        if (here) mark(to[i], marks);
      }
      return known;
    };
    switch (each) {
      case 2: return make(std::integral_constant<int, 2>{});
      case 3: return make(std::integral_constant<int, 3>{});
      default: return make(std::integral_constant<int, 4>{});
    }
  }
  std::uint64_t at = batch.firstNode + from * static_cast<std::uint64_t>(each);
  Cell* const cells = cells_.data() + batch.firstCell + from;
  int* const nodes = nodes_.get();
  auto resolve = [&](auto nodeCount) {
    const int k = static_cast<int>(nodeCount);
    bool known = true;
    for (std::size_t i = 0; i < n; ++i, at += static_cast<std::uint64_t>(k)) {
      for (int j = 0; j < k; ++j) {
        const std::uint64_t index = static_cast<std::uint64_t>(idOf(i, j)) - first;
        known &= index < defined;
        nodes[at + static_cast<std::uint64_t>(j)] = static_cast<int>(index);
      }
      cells[i] = Cell{at, batch.layer, batch.kind};
    }
    return known;
  };
  switch (each) {
    case 4: return resolve(std::integral_constant<int, 4>{});
    case 8: return resolve(std::integral_constant<int, 8>{});
    default: return resolve(each);
  }
}

template <class IdOf, class WhereOf>
void F_MeshBuilder::addCellsShared(int layer, F_CellKind kind, const std::int64_t* nodeIds, std::size_t stride,
                                   std::size_t count, IdOf&& id, WhereOf&& where) {
  const int shares = F_WorkShares::count(count);
  CellBatch batch;
  if (shares > 1 && beginCells(layer, kind, count, batch)) {
    std::atomic<bool> known{true};
    F_WorkShares::runPieces(count, F_WorkShares::kPieceItems, shares, [&](std::size_t from, std::size_t to) {
      if (known.load(std::memory_order_relaxed) &&
          !resolveCells(batch, from, nodeIds + stride * from, stride, to - from)) {
        known.store(false, std::memory_order_relaxed);
      }
    });
    const bool keep = known.load();
    endCells(batch, keep);
    if (keep) return;
  }
  addCells(layer, kind, nodeIds, stride, count, std::forward<IdOf>(id), std::forward<WhereOf>(where));
}
