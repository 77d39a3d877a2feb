#include "import/F_MeshBuilder.h"

#include <algorithm>
#include <cmath>

#include "import/F_SkinFinder.h"
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
  ids_.push_back(id);
  xyz_.insert(xyz_.end(), {x, y, z});
  nodeWhere_.push_back(where);
}

void F_MeshBuilder::reserveNodes(std::uint64_t n) {
  ids_.reserve(ids_.size() + n);
  xyz_.reserve(xyz_.size() + 3 * n);
  nodeWhere_.reserve(nodeWhere_.size() + n);
}

void F_MeshBuilder::reserveCells(std::uint64_t n, int nodesEach) {
  cells_.reserve(cells_.size() + n);
  cellNodes_.reserve(cellNodes_.size() + n * static_cast<std::uint64_t>(nodesEach));
}

int F_MeshBuilder::addLayer(std::string name) {
  layerNames_.push_back(validName(std::move(name)));
  return layerCount() - 1;
}

void F_MeshBuilder::addCell(int layer, F_CellKind kind, const std::int64_t* nodeIds, std::int64_t cellId,
                            Where where) {
  if (layer < 0 || layer >= layerCount()) internalError("F_MeshBuilder", 1);
  if (kind == F_CellKind::Point) {
    addSpecialNode(layer, nodeIds[0], where);
    return;
  }
  cells_.push_back(Cell{cellNodes_.size(), cellId, where.at, layer, kind, where.isOffset});
  cellNodes_.insert(cellNodes_.end(), nodeIds, nodeIds + nodeCountOf(kind));
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
  if (ids_.empty()) return;
  const auto [lo, hi] = std::minmax_element(ids_.begin(), ids_.end());
  const std::uint64_t span = static_cast<std::uint64_t>(*hi) - static_cast<std::uint64_t>(*lo);
  auto duplicate = [&](int index) {
    fail("ERROR\nNode " + std::to_string(ids_[static_cast<std::size_t>(index)]) + " is defined twice.",
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

int F_MeshBuilder::indexOf(std::int64_t id) const {
  if (!dense_.empty()) {
    if (id < denseBase_ || static_cast<std::uint64_t>(id - denseBase_) >= dense_.size()) return -1;
    return dense_[static_cast<std::size_t>(id - denseBase_)];
  }
  auto it = std::lower_bound(sparse_.begin(), sparse_.end(), std::pair<std::int64_t, int>(id, -1));
  return it != sparse_.end() && it->first == id ? it->second : -1;
}

void F_MeshBuilder::finish(F_S3dMesh& mesh, F_NodeFields* fields) {
  if (ids_.size() > 2147483647u) fail("ERROR\nThe file holds more nodes than a layer can number.", Where{});
  buildLookup();

  // Every node number resolved before anything is built: a missing node fails
  // at the record that named it.
  std::vector<int> nodes(cellNodes_.size());
  for (const Cell& cell : cells_) {
    const int n = nodeCountOf(cell.kind);
    for (int j = 0; j < n; ++j) {
      const std::int64_t id = cellNodes_[cell.firstNode + static_cast<std::uint64_t>(j)];
      const int index = indexOf(id);
      if (index < 0) {
        fail("ERROR\nElement " + std::to_string(cell.id) + " refers to node " + std::to_string(id) +
                 ", which the file does not define.",
             Where{cell.where, cell.whereIsOffset});
      }
      nodes[cell.firstNode + static_cast<std::uint64_t>(j)] = index;
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
  std::vector<std::int64_t>().swap(cellNodes_);

  F_NodeFields data;
  for (std::size_t f = 0; f < fieldNames_.size(); ++f) {
    F_NodeField field{fieldNames_[f], std::vector<double>(ids_.size(), 0.0)};
    for (const FieldValue& v : fieldValues_[f]) {
      const int index = v.byIndex ? (v.node >= 0 && v.node < static_cast<std::int64_t>(ids_.size())
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
  const std::size_t nodeCount = ids_.size();
  std::vector<std::int64_t>().swap(ids_);
  std::vector<Where>().swap(nodeWhere_);
  std::vector<int>().swap(dense_);
  std::vector<std::pair<std::int64_t, int>>().swap(sparse_);
  std::vector<std::vector<FieldValue>>().swap(fieldValues_);
  std::vector<CellRef> refs;
  refs.reserve(cells_.size());
  for (const Cell& cell : cells_) refs.push_back(CellRef{cell.firstNode, cell.layer, cell.kind});
  std::vector<Cell>().swap(cells_);

  // The cells of each layer, in file order.
  std::vector<std::vector<std::uint32_t>> byLayer(layerNames_.size());
  for (std::size_t c = 0; c < refs.size(); ++c) {
    byLayer[static_cast<std::size_t>(refs[c].layer)].push_back(static_cast<std::uint32_t>(c));
  }

  F_S3dMesh built;
  built.name = mesh.name;
  std::vector<int> localOf(nodeCount, 0);
  for (int layer = 0; layer < layerCount(); ++layer) {
    buildLayer(layer, refs, byLayer[static_cast<std::size_t>(layer)], nodes, specials, localOf, built, &data);
  }
  if (built.layerCount() == 0) fail("ERROR\nThe file holds no element that can be shown.", Where{});

  mesh = std::move(built);
  if (fields) *fields = std::move(data);
  const std::string warning = skippedWarning();
  if (!warning.empty()) ui().messageBox(warning);
}

void F_MeshBuilder::buildLayer(int layer, const std::vector<CellRef>& refs, const std::vector<std::uint32_t>& cells,
                               const std::vector<int>& nodes, const std::vector<std::pair<int, int>>& specialNodes,
                               std::vector<int>& localOf, F_S3dMesh& mesh, F_NodeFields* fields) {
  std::vector<F_SolidCell> solids;
  std::vector<std::uint32_t> solidOf;  // the cell behind each solid
  for (std::uint32_t c : cells) {
    if (isSolid(refs[c].kind)) {
      solids.push_back(F_SolidCell{refs[c].kind, nodes.data() + refs[c].firstNode});
      solidOf.push_back(c);
    }
  }
  const std::vector<F_FaceRef> skin = findSkin(solids);
  std::size_t pieces = skin.size();
  for (std::uint32_t c : cells) pieces += piecesOf(refs[c].kind).size();

  // Elements as lists of file node indices, cells and skin faces in file order.
  F_S3dLayer out;
  out.name = layerNames_[static_cast<std::size_t>(layer)];
  out.elements.reserve(static_cast<int>(std::min<std::size_t>(pieces, 2147483647)));
  auto emit = [&](const int* cellNodes, const std::uint8_t* order, int count) {
    F_S3dElement e;
    e.nodes.resize(count);
    for (int j = 0; j < count; ++j) {
      e.nodes(j + 1) = cellNodes[order[j]];
    }
    out.elements.append(std::move(e));
  };
  std::size_t nextFace = 0;
  std::size_t solid = 0;
  for (std::uint32_t c : cells) {
    const CellRef& cell = refs[c];
    const int* cellNodes = nodes.data() + cell.firstNode;
    if (!isSolid(cell.kind)) {
      for (const F_CellPiece& piece : piecesOf(cell.kind)) emit(cellNodes, piece.nodes, piece.nodeCount);
      continue;
    }
    for (; nextFace < skin.size() && skin[nextFace] / 8 == solid; ++nextFace) {
      const F_CellFace& face = facesOf(cell.kind)[skin[nextFace] % 8];
      emit(cellNodes, face.nodes, face.nodeCount);
    }
    ++solid;
  }
  std::vector<int> specials;
  for (const auto& [l, index] : specialNodes) {
    if (l == layer) specials.push_back(index);
  }
  if (out.elements.empty() && specials.empty()) return;

  // Points: the nodes the layer uses, in the file's node order, numbered from 1.
  // A layer that uses a good share of the nodes finds them by one pass over the
  // marks, a small one by sorting its own list.
  std::vector<int> points;
  for (const F_S3dElement& e : out.elements) {
    for (int index : e.nodes) {
      if (localOf[static_cast<std::size_t>(index)] == 0) {
        localOf[static_cast<std::size_t>(index)] = 1;
        points.push_back(index);
      }
    }
  }
  for (int index : specials) {
    if (localOf[static_cast<std::size_t>(index)] == 0) {
      localOf[static_cast<std::size_t>(index)] = 1;
      points.push_back(index);
    }
  }
  if (points.size() * 16 < localOf.size()) {
    std::sort(points.begin(), points.end());
  } else {
    points.clear();
    for (std::size_t i = 0; i < localOf.size(); ++i) {
      if (localOf[i]) points.push_back(static_cast<int>(i));
    }
  }
  out.points.reserve(static_cast<int>(points.size()));
  for (std::size_t k = 0; k < points.size(); ++k) {
    localOf[static_cast<std::size_t>(points[k])] = static_cast<int>(k) + 1;
    const double* p = xyz_.data() + 3 * static_cast<std::size_t>(points[k]);
    out.points.append(F_Point3D(p[0], p[1], p[2]));
  }
  for (F_S3dElement& e : out.elements) {
    for (int j = 1; j <= e.nodes.size(); ++j) e.nodes(j) = localOf[static_cast<std::size_t>(e.nodes(j))];
  }
  for (int index : specials) out.specialNodes.append(localOf[static_cast<std::size_t>(index)]);
  for (int index : points) localOf[static_cast<std::size_t>(index)] = 0;
  mesh.layers.append(std::move(out));
  if (fields) fields->layerNodes.push_back(std::move(points));
}
