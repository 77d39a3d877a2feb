#include "import/gmsh/F_GmshReader.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "import/F_BinaryReader.h"
#include "import/F_DigitScan.h"
#include "import/F_LineChunks.h"
#include "import/F_QuickLines.h"
#include "import/F_TextScanner.h"
#include "import/F_WorkShares.h"
#include "include/F_Vector.h"

namespace {

struct GmshType {
  int nodes;
  int dimension;
  std::optional<F_CellKind> kind;  // none: known, but not shown
  std::vector<std::uint8_t> order;  // shared-order node i is the file's node order[i]; empty: the same
};

const std::vector<std::uint8_t> kHex20Order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 13, 9, 16, 18, 19, 17, 10, 12, 14, 15};
const std::vector<std::uint8_t> kHex27Order = {0,  1,  2,  3,  4,  5,  6,  7,  8,  11, 13, 9,  16, 18,
                                               19, 17, 10, 12, 14, 15, 22, 23, 21, 24, 20, 25, 26};

// The element types by their number in the file.
const std::map<int, GmshType>& gmshTypes() {
  static const std::map<int, GmshType> types = {
      {1, {2, 1, F_CellKind::Line2, {}}},
      {2, {3, 2, F_CellKind::Tri3, {}}},
      {3, {4, 2, F_CellKind::Quad4, {}}},
      {4, {4, 3, F_CellKind::Tet4, {}}},
      {5, {8, 3, F_CellKind::Hex8, {}}},
      {6, {6, 3, F_CellKind::Wedge6, {}}},
      {7, {5, 3, F_CellKind::Pyramid5, {}}},
      {8, {3, 1, F_CellKind::Line3, {}}},
      {9, {6, 2, F_CellKind::Tri6, {}}},
      {10, {9, 2, F_CellKind::Quad9, {}}},
      {11, {10, 3, F_CellKind::Tet10, {0, 1, 2, 3, 4, 5, 6, 7, 9, 8}}},
      {12, {27, 3, F_CellKind::Hex27, kHex27Order}},
      {13, {18, 3, std::nullopt, {}}},
      {14, {14, 3, std::nullopt, {}}},
      {15, {1, 0, F_CellKind::Point, {}}},
      {16, {8, 2, F_CellKind::Quad8, {}}},
      {17, {20, 3, F_CellKind::Hex20, kHex20Order}},
      {18, {15, 3, F_CellKind::Wedge15, {0, 1, 2, 3, 4, 5, 6, 9, 7, 12, 14, 13, 8, 10, 11}}},
      {19, {13, 3, std::nullopt, {}}},
      {20, {9, 2, std::nullopt, {}}},
      {21, {10, 2, std::nullopt, {}}},
      {22, {12, 2, std::nullopt, {}}},
      {23, {15, 2, std::nullopt, {}}},
      {24, {15, 2, std::nullopt, {}}},
      {25, {21, 2, std::nullopt, {}}},
      {26, {4, 1, std::nullopt, {}}},
      {27, {5, 1, std::nullopt, {}}},
      {28, {6, 1, std::nullopt, {}}},
      {29, {20, 3, std::nullopt, {}}},
      {30, {35, 3, std::nullopt, {}}},
      {31, {56, 3, std::nullopt, {}}},
      {92, {64, 3, std::nullopt, {}}},
      {93, {125, 3, std::nullopt, {}}},
  };
  return types;
}

// Asked once or twice per element, so answered from a table made when the
// program starts (no check on each call whether it is made yet).
const std::array<const GmshType*, 128> kTypeTable = [] {
  std::array<const GmshType*, 128> t{};
  for (const auto& [number, known] : gmshTypes()) t[static_cast<std::size_t>(number)] = &known;
  return t;
}();
inline const GmshType* typeOf(std::int64_t type) {
  return type >= 0 && type < static_cast<std::int64_t>(kTypeTable.size()) ? kTypeTable[static_cast<std::size_t>(type)]
                                                                           : nullptr;
}

std::string typeName(std::int64_t type) { return "Gmsh element type " + std::to_string(type); }

// Node lines of the plain shape, as quickNode takes them: "id x y z", or
// "x y z" in a 4.1 block without parametric coordinates.
struct NodeLines {
  bool withId = true;
  F_LineChunks::RunningIds numbers;  // with `withId`
  std::vector<double, F_RecordAllocator<double>> xyz;  // room made is not written first
  // Room for lines of 16 bytes: taken from memory only as the records fill it,
  // and seldom short (a shorter line would make the part copy what it has).
  void reserve(std::size_t bytes) {
    xyz.reserve(bytes / 16 * 3);
    if (withId) numbers.ids.reserve(bytes / 16);
  }
  void restart(const NodeLines& shape) {
    withId = shape.withId;
    numbers.clear();
    xyz.clear();
  }
  bool takeQuick(const char*& at, const char* end) {
    // Read straight to where the coordinates go.
    const std::size_t n = xyz.size();
    xyz.resize(n + 3);
    std::int64_t id = 0;
    const char* const next = quickNodeLine(at, end, withId, id, xyz.data() + n);
    if (!next) {
      xyz.resize(n);
      return false;
    }
    if (withId) numbers.keep(id);
    at = next;
    return true;
  }
  bool take(std::string_view line, const char* limit) {
    std::int64_t id = 0;
    double p[3];
    if (!plainNodeLine(line.data(), line.data() + line.size(), limit, withId, id, p)) {
      F_LineFields f(line, limit);
      if ((withId && !f.integer(id)) || !f.real(p[0]) || !f.real(p[1]) || !f.real(p[2]) || !f.atEnd()) return false;
    }
    if (withId) numbers.keep(id);
    xyz.insert(xyz.end(), p, p + 3);
    return true;
  }
};

// Node tags of a 4.1 block one to a line, as they are written.
struct TagLines {
  std::vector<std::int64_t> tags;
  void reserve(std::size_t bytes) { tags.reserve(bytes / 8); }
  F_QuickLines::NextNumber nextTag;  // tags mostly run on one by one
  void restart(const TagLines&) {
    tags.clear();
    nextTag.clear();
  }
  bool takeQuick(const char*& at, const char* end) {
    // Every byte compared lies before `end` or within the 17 after it.
    if (end - at > F_QuickLines::Pattern::kMostBytes && nextTag.at(at) && at[nextTag.length()] == '\n') {
      tags.push_back(static_cast<std::int64_t>(nextTag.value()));
      at += nextTag.length() + 1;
      nextTag.advance();
      return true;
    }
    std::int64_t tag = 0;
    if (F_QuickLines::record<false>(at, end, &tag, 1) != 1) return false;
    tags.push_back(tag);
    nextTag.set(static_cast<std::uint64_t>(tag));
    return true;
  }
  bool take(std::string_view line, const char* /*limit*/) {
    F_LineFields f(line);
    std::int64_t tag = 0;
    if (!f.integer(tag) || !f.atEnd()) return false;
    tags.push_back(tag);
    return true;
  }
};

// An element line of small unsigned numbers read at once, as a record of
// ElementLines below: number, type, first tag (0 when not positive) and
// nodes in format 2.2 (`nodes` 0), number and nodes in format 4.1. How many
// values went to v, which has room for kMostLineBytes / 2 (the line's
// numbers land there first); 0 when the line is not of that shape, for the
// reading field by field to judge.
// The record of the `count` numbers of a line read into v (-1: none).
[[gnu::always_inline]] inline int record22(int count, std::int64_t* v, int nodes) {
  if (nodes > 0) return count == nodes + 1 ? count : 0;
  if (count < 3) return 0;
  const GmshType* type = typeOf(v[1]);
  const std::int64_t ntags = v[2];
  if (!type || ntags > 16 || count != 3 + ntags + type->nodes) return 0;
  v[2] = ntags > 0 && v[3] > 0 ? std::min<std::int64_t>(v[3], 1 << 30) : 0;
  // The nodes move down over the tags, first to last (the ranges may overlap).
  if (ntags != 0) {
    for (int k = 3; k < 3 + type->nodes; ++k) v[k] = v[k + ntags];
  }
  return 3 + type->nodes;
}
// plainRecord22 of a line the scanner peeked (its line end after it in the
// buffer), read in one pass; v has room for kMostLineBytes / 2 values.
[[gnu::always_inline]] inline int quickRecord22(std::string_view line, std::int64_t* v, int nodes) {
  const char* p = line.data();
  return record22(F_QuickLines::record<false>(p, line.data() + line.size() + 1, v, F_DigitScan::kMostLineBytes / 2), v,
                  nodes);
}
[[gnu::always_inline]] inline int plainRecord22(std::string_view line, const char* limit, std::int64_t* v, int nodes) {
  return record22(F_DigitScan::unsignedRecord<false>(line.data(), line.data() + line.size(), limit, v,
                                                     F_DigitScan::kMostLineBytes / 2),
                  v, nodes);
}

// Element lines of the plain shape, as the quick paths take them. Format
// 2.2: number, a known type, up to 16 tags, its nodes; each record keeps
// number, type, first tag (0 when not positive) and nodes, 3 + the type's
// nodes values, one record after another. Format 4.1 (a block's `nodes`
// given): number and nodes, 1 + nodes values each.
struct ElementLines {
  // Room a line may need: every number of a line of kMostLineBytes, or a
  // record read field by field.
  static constexpr std::size_t kRoom = std::max<std::size_t>(F_DigitScan::kMostLineBytes / 2, 3 + 128);
  int nodes = 0;  // 0: format 2.2
  // The records are narrow[0, used) in 32 bits while every value fits (half
  // the memory to fill and to read back), else values[0, used) in 64
  // (`wide`). A line is read into `line` first, but for one laid out as the
  // line before, which goes straight to its record. Room made is not written
  // over first: only the pages the records fill are ever touched.
  std::vector<std::int32_t, F_RecordAllocator<std::int32_t>> narrow;
  std::vector<std::int64_t, F_RecordAllocator<std::int64_t>> values;
  std::vector<std::int64_t, F_RecordAllocator<std::int64_t>> line;
  bool wide = false;
  std::size_t used = 0;
  void reserve(std::size_t bytes) {
    if (line.size() < kRoom) line.resize(kRoom);
    if (narrow.size() < bytes / 4 + kRoom) narrow.resize(bytes / 4 + kRoom);
  }
  // f(records), the records in 32 bits or in 64.
  template <class F>
  void visit(F&& f) const {
    if (wide) {
      f(values.data());
    } else {
      f(narrow.data());
    }
  }
  // Where the layout changes (a node of another width), the usual line of
  // format 2.2 is still the one before it with its number one more: the
  // number and the bytes between it and the first node (type and tags) are
  // matched at once, and only the nodes are read. (A line of 4.1 has no type
  // and tags: matching its number alone cost more than it saved.)
  F_QuickLines::NextNumber nextId;
  F_QuickLines::Pattern head;  // the bytes after the number up to the first node
  int headBetween = 0;         // the numbers among them
  int headNodes = 0;           // the nodes after them
  std::int64_t headType = 0, headTag = 0;
  // The layout of the last line taken, its type and tags (format 2.2) kept as they stand.
  F_QuickLines::RecordShape shape;
  void restart(const ElementLines& prototype) {
    nodes = prototype.nodes;
    shape.clear();
    used = 0;
    wide = false;
    nextId.clear();
    head.clear();
  }
  // The record of n values at v after the others.
  void store(const std::int64_t* v, int n) {
    if (!wide) {
      if (narrow.size() - used < kRoom) narrow.resize(std::max(2 * narrow.size(), used + kRoom));
      std::int32_t* const to = narrow.data() + used;
      // One at a time: the values were just stored, and loaded in pairs they
      // would wait for the stores to leave.
      int i = 0;
      for (; i < n && static_cast<std::uint64_t>(v[i]) <= INT32_MAX; ++i) to[i] = static_cast<std::int32_t>(v[i]);
      if (i == n) {
        used += static_cast<std::size_t>(n);
        return;
      }
      values.resize(std::max(2 * used, used + kRoom));
      std::copy(narrow.data(), narrow.data() + used, values.data());
      wide = true;
    }
    if (values.size() - used < kRoom) values.resize(std::max(2 * values.size(), used + kRoom));
    std::copy(v, v + n, values.data() + used);
    used += static_cast<std::size_t>(n);
  }
  // A line laid out as the last one taken (in format 2.2 with its type and
  // tags), straight to a 32-bit record while its numbers fit.
  [[gnu::always_inline]] bool takeNarrow(const char*& at, const char* end) {
    if (narrow.size() - used < kRoom) narrow.resize(std::max(2 * narrow.size(), used + kRoom));
    std::int32_t* const to = narrow.data() + used;
    if (shape.read(at, end, to) < 0) return false;
    if (nodes == 0) {
      // A type number and a tag of at most 2^30.
      to[1] = static_cast<std::int32_t>(headType);
      to[2] = static_cast<std::int32_t>(headTag);
    }
    used += static_cast<std::size_t>(nodes == 0 ? 3 + headNodes : 1 + nodes);
    return true;
  }
  bool takeQuick(const char*& at, const char* end) {
    if (!wide && takeNarrow(at, end)) return true;
    std::int64_t* const v = line.data();
    const char* next = at;
    const int n = readLine(next, end, v);
    if (n <= 0) return false;
    store(v, n);
    at = next;
    return true;
  }
  // The record of the line at p into v, p moved past it: how many values; 0
  // (p anywhere) when the line is not of the plain shape. While the records
  // are narrow, takeNarrow has already checked the layout.
  int readLine(const char*& p, const char* end, std::int64_t* v) {
    const char* const start = p;
    if (wide && shape.read(p, end, v) >= 0) {
      if (nodes > 0) return 1 + nodes;
      v[1] = headType;
      v[2] = headTag;
      return 3 + headNodes;
    }
    // Every byte compared lies before `end` or within the 17 after it.
    if (nodes == 0 && end - p > 2 * F_QuickLines::Pattern::kMostBytes && nextId.at(p) && head.at(p + nextId.length())) {
      p += nextId.length() + head.length();
      if (F_QuickLines::record<false>(p, end, v + 3, headNodes) == headNodes) {
        v[0] = static_cast<std::int64_t>(nextId.value());
        v[1] = headType;
        v[2] = headTag;
        nextId.advance();
        shape.taken(start, static_cast<int>(p - start), {1, headBetween, 2});
        return 3 + headNodes;
      }
      p = start;
    }
    const int count = F_QuickLines::record<false>(p, end, v, F_DigitScan::kMostLineBytes / 2);
    const int n = record22(count, v, nodes);
    if (n <= 0) return 0;
    if (nodes == 0) {
      learn(start, count - n + 2, n - 3, v);  // type, tag count, tags; nodes
      shape.taken(start, static_cast<int>(p - start), {1, headBetween, 2});
    } else {
      shape.taken(start, static_cast<int>(p - start));
    }
    return n;
  }
  // Keeps the head of the line at p, taken whole: its number, `between`
  // numbers and then `nodeCount` nodes, read into the record v.
  void learn(const char* p, int between, int nodeCount, const std::int64_t* v) {
    nextId.set(static_cast<std::uint64_t>(v[0]));
    const char* q = p;
    while (static_cast<unsigned>(*q - '0') <= 9) ++q;
    const char* const from = q;
    for (int k = 0; k < between; ++k) {
      F_QuickLines::skipBlanks(q, q + F_DigitScan::kMostLineBytes);
      while (static_cast<unsigned>(*q - '0') <= 9) ++q;
    }
    F_QuickLines::skipBlanks(q, q + F_DigitScan::kMostLineBytes);
    head.set(from, static_cast<int>(q - from));
    headBetween = between;
    headNodes = nodeCount;
    headType = v[1];
    headTag = v[2];
  }
  bool take(std::string_view text, const char* limit) {
    std::int64_t* const v = line.data();
    if (const int n = plainRecord22(text, limit, v, nodes); n > 0) {
      store(v, n);
      return true;
    }
    F_LineFields f(text);
    int n = 0;
    if (nodes > 0) {
      for (; n <= nodes; ++n) {
        if (!f.integer(v[n])) return false;
      }
    } else {
      std::int64_t ntags = 0;
      if (!f.integer(v[0]) || !f.integer(v[1]) || !f.integer(ntags) || ntags < 0 || ntags > 16) return false;
      const GmshType* type = typeOf(v[1]);
      if (!type) return false;
      v[2] = 0;
      for (std::int64_t t = 0; t < ntags; ++t) {
        std::int64_t tag = 0;
        if (!f.integer(tag)) return false;
        if (t == 0 && tag > 0) v[2] = std::min<std::int64_t>(tag, 1 << 30);
      }
      for (n = 3; n < 3 + type->nodes; ++n) {
        if (!f.integer(v[n])) return false;
      }
    }
    if (!f.atEnd()) return false;
    store(v, n);
    return true;
  }
};

// The n numbers at p in 64 bits: p itself, or their copy in `room`.
inline const std::int64_t* wideIds(const std::int64_t* p, int, std::int64_t*) { return p; }
inline const std::int64_t* wideIds(const std::int32_t* p, int n, std::int64_t* room) {
  std::copy_n(p, n, room);
  return room;
}

class GmshReader {
 public:
  GmshReader(F_InputFile& file, F_MeshBuilder& builder) : text_(file), builder_(builder) {}
  void read();

 private:
  using Where = F_MeshBuilder::Where;
  // The line of the next word (blanks and line ends before it passed over).
  Where line() {
    (void)text_.atEnd();
    return Where{text_.line(), false};
  }
  Where at(std::uint64_t offset) const { return Where{static_cast<std::int64_t>(offset), true}; }
  // The line `k` lines after `line`.
  static Where lineAfter(int line, std::size_t k) { return Where{line + static_cast<std::int64_t>(k), false}; }
  F_BinaryReader binary() { return F_BinaryReader(text_, swap_); }
  // A count in the file, bounded by what the rest of the file could hold.
  std::int64_t count(std::int64_t value, std::int64_t bytesEach, std::string_view what);

  void meshFormat();
  void physicalNames();
  void entities();
  void nodes();
  // Format 2.2's nodes with where they lie on the model: each node's
  // dimension and entity, and as many parametric coordinates as a curve (1)
  // or a surface (2) has, passed over.
  void parametricNodes();
  void elements();
  void nodeData();
  void skipSection(const std::string& name);
  // The four numbers that open a 4.1 node or element section, named `binaryWhat`
  // or `textWhat` when one is missing.
  void sectionHeader41(std::int64_t (&header)[4], std::string_view binaryWhat, std::string_view textWhat);
  void endSection(const char* name) { text_.expect(std::string("$End") + name); }

  // A text record that fills its line and has the plain shape, read in
  // place; false, with nothing consumed, for anything else.
  bool quickNode(std::int64_t* id, double xyz[3]);
  bool quickElement22(Where where, std::vector<int>& physicals);

  int layerOf(int dimension, int physical);
  // A whole binary block of `n` nodes with `values` coordinates each, whose
  // tags run on one by one from the nodes before, read in place on several
  // threads; false, with nothing read, when it is too short to share out or
  // any node needs the one-by-one reading.
  bool sharedNodes(std::int64_t n, int values);
  // A whole binary block of `n` elements of `type` (a kind in the shared node
  // order) for at most one physical group, read in place and resolved on
  // several threads; false, with nothing read, when it is too short to share
  // out or any record needs the one-by-one reading.
  bool sharedBlock(const GmshType& type, std::int64_t n, int dimension, const std::vector<int>& physicals);
  // Gmsh 2.2 binary: the `n` nodes just after their count's line, when their
  // numbers run on one by one from the nodes before, and a block of
  // `following` elements of one kind, each with `ntags` tags, whose first
  // tags all name the same group (or none); as sharedNodes and sharedBlock.
  bool sharedNodes22(std::int64_t n);
  bool sharedBlock22(const GmshType& type, std::int64_t following, int ntags);
  // Adds one element, given its nodes in the file's order.
  void element(const GmshType& type, std::int64_t typeNumber, std::int64_t id, const std::int64_t* nodes,
               const std::vector<int>& physicals, int dimension, Where where);

  F_TextScanner text_;
  F_LineChunks::Reader chunks_{text_};
  F_LineChunks::Runs<TagLines> tagLines_;
  F_LineChunks::Runs<NodeLines> nodeLines_;
  F_LineChunks::Runs<ElementLines> elementLines_;
  F_MeshBuilder& builder_;
  bool formatSeen_ = false;
  bool version4_ = false;
  bool binary_ = false;
  bool swap_ = false;
  std::map<std::pair<int, int>, std::string> physicalNames_;
  std::map<std::pair<int, int>, std::vector<int>> entityPhysicals_;
  std::map<std::pair<int, int>, int> layers_;  // (dimension, physical or -1) -> layer
  std::pair<int, int> lastKey_{0, 0};
  double xyz3_[3] = {0, 0, 0};
  int lastLayer_ = -1;
};

void GmshReader::read() {
  for (;;) {
    const std::string_view w = text_.word();
    if (w.empty()) break;
    const std::string section(w);
    if (section == "$MeshFormat") {
      meshFormat();
      continue;
    }
    if (!formatSeen_) text_.fail("$MeshFormat", section);
    if (section == "$PhysicalNames") {
      physicalNames();
    } else if (section == "$Entities" && version4_) {
      entities();
    } else if (section == "$Nodes") {
      nodes();
    } else if (section == "$ParametricNodes" && !version4_) {
      parametricNodes();
    } else if (section == "$Elements") {
      elements();
    } else if (section == "$NodeData") {
      nodeData();
    } else if (section.size() > 1 && section[0] == '$') {
      skipSection(section.substr(1));
    } else {
      text_.fail("a section such as $Nodes", section);
    }
  }
  if (!formatSeen_) text_.fail("$MeshFormat", "the end of the file");
}

std::int64_t GmshReader::count(std::int64_t value, std::int64_t bytesEach, std::string_view what) {
  if (value < 0 || (bytesEach > 0 && static_cast<std::uint64_t>(value) > text_.remaining() / bytesEach + 1)) {
    text_.failMessage("ERROR\nThe " + std::string(what) + " (" + std::to_string(value) +
                      ") is more than the rest of the file can hold.");
  }
  return value;
}

void GmshReader::meshFormat() {
  const std::string version(text_.word("the format version"));
  if (version == "4.1") {
    version4_ = true;
  } else if (version.starts_with("2")) {
    version4_ = false;
  } else {
    text_.fail("format version 2.2 or 4.1", version);
  }
  const std::int64_t fileType = text_.integer("the file type (0 text, 1 binary)");
  if (fileType != 0 && fileType != 1) text_.fail("the file type (0 text, 1 binary)", std::to_string(fileType));
  binary_ = fileType == 1;
  const std::int64_t dataSize = text_.integer("the data size");
  if (dataSize != 8) text_.fail("the data size 8", std::to_string(dataSize));
  if (binary_) {
    text_.reportOffsets();
    text_.endLine();
    // The integer 1 as the writer stored it tells its byte order.
    F_BinaryReader raw(text_, false);
    const std::uint64_t where = raw.offset();
    const auto one = raw.get<std::int32_t>("the byte-order mark");
    if (one == 1) {
      swap_ = false;
    } else if (F_BinaryReader::swapped(one) == 1) {
      swap_ = true;
    } else {
      raw.fail(where, "Expected the integer 1 that tells the byte order.");
    }
  }
  endSection("MeshFormat");
  formatSeen_ = true;
}

void GmshReader::physicalNames() {
  const std::int64_t n = count(text_.integer("the number of physical names"), 6, "number of physical names");
  for (std::int64_t i = 0; i < n; ++i) {
    const int dim = static_cast<int>(text_.integer("the dimension of a physical name"));
    const int tag = static_cast<int>(text_.integer("the tag of a physical name"));
    std::string name(text_.restOfLine());
    const auto first = name.find('"');
    const auto last = name.rfind('"');
    if (first == std::string::npos || last == first) text_.fail("a quoted physical name", name);
    physicalNames_[{dim, tag}] = name.substr(first + 1, last - first - 1);
  }
  endSection("PhysicalNames");
}

void GmshReader::entities() {
  std::int64_t counts[4];
  if (binary_) {
    text_.endLine();
    F_BinaryReader b = binary();
    for (auto& c : counts) c = static_cast<std::int64_t>(b.get<std::uint64_t>("the entity counts"));
  } else {
    for (auto& c : counts) c = text_.integer("an entity count");
  }
  for (int dim = 0; dim < 4; ++dim) {
    const std::int64_t n = count(counts[dim], binary_ ? 36 : 8, "number of entities");
    for (std::int64_t e = 0; e < n; ++e) {
      std::vector<int> physicals;
      int tag = 0;
      if (binary_) {
        F_BinaryReader b = binary();
        tag = b.get<std::int32_t>("an entity tag");
        double box[6];
        b.getArray(box, dim == 0 ? 3 : 6, "an entity's bounding box");
        const std::uint64_t where = b.offset();
        const auto np = b.get<std::uint64_t>("the number of physical tags");
        if (np > b.remaining() / 4) b.fail(where, "The number of physical tags is more than the file holds.");
        for (std::uint64_t k = 0; k < np; ++k) physicals.push_back(b.get<std::int32_t>("a physical tag"));
        if (dim > 0) {
          const std::uint64_t at = b.offset();
          const auto nb = b.get<std::uint64_t>("the number of bounding entities");
          if (nb > b.remaining() / 4) b.fail(at, "The number of bounding entities is more than the file holds.");
          for (std::uint64_t k = 0; k < nb; ++k) (void)b.get<std::int32_t>("a bounding entity");
        }
      } else {
        tag = static_cast<int>(text_.integer("an entity tag"));
        for (int k = 0; k < (dim == 0 ? 3 : 6); ++k) (void)text_.real("a bounding-box coordinate");
        const std::int64_t np = count(text_.integer("the number of physical tags"), 2, "number of physical tags");
        for (std::int64_t k = 0; k < np; ++k) physicals.push_back(static_cast<int>(text_.integer("a physical tag")));
        if (dim > 0) {
          const std::int64_t nb =
              count(text_.integer("the number of bounding entities"), 2, "number of bounding entities");
          for (std::int64_t k = 0; k < nb; ++k) (void)text_.integer("a bounding entity");
        }
      }
      entityPhysicals_[{dim, tag}] = std::move(physicals);
    }
  }
  endSection("Entities");
}

void GmshReader::parametricNodes() {
  const std::int64_t n = count(text_.integer("the number of nodes"), binary_ ? 36 : 12, "number of nodes");
  builder_.reserveNodes(static_cast<std::uint64_t>(n));
  if (binary_) text_.endLine();
  for (std::int64_t i = 0; i < n; ++i) {
    std::int64_t id = 0, dim = 0;
    double xyz[3], uv[2];
    if (binary_) {
      F_BinaryReader b = binary();
      const std::uint64_t where = b.offset();
      id = b.get<std::int32_t>("a node number");
      b.getArray(xyz, 3, "a node's coordinates");
      const std::uint64_t dimAt = b.offset();
      dim = b.get<std::int32_t>("a node's dimension");
      if (dim < 0 || dim > 3) b.fail(dimAt, "A node's dimension must be 0, 1, 2 or 3.");
      (void)b.get<std::int32_t>("a node's entity");
      if (dim == 1 || dim == 2) b.getArray(uv, static_cast<std::size_t>(dim), "a node's parametric coordinates");
      builder_.addNode(id, xyz[0], xyz[1], xyz[2], at(where));
    } else {
      const Where where = line();
      id = text_.integer("a node number");
      xyz[0] = text_.real("the x coordinate");
      xyz[1] = text_.real("the y coordinate");
      xyz[2] = text_.real("the z coordinate");
      const std::string_view w = text_.word("the node's dimension");
      if (w.size() != 1 || w[0] < '0' || w[0] > '3') text_.fail("the node's dimension (0, 1, 2 or 3)", w);
      dim = w[0] - '0';
      (void)text_.integer("the node's entity");
      for (std::int64_t k = 0; k < (dim == 1 || dim == 2 ? dim : 0); ++k) (void)text_.real("a parametric coordinate");
      builder_.addNode(id, xyz[0], xyz[1], xyz[2], where);
    }
  }
  endSection("ParametricNodes");
}

void GmshReader::nodes() {
  if (!version4_) {
    const std::int64_t n = count(text_.integer("the number of nodes"), binary_ ? 28 : 8, "number of nodes");
    builder_.reserveNodes(static_cast<std::uint64_t>(n));
    if (binary_) text_.endLine();
    if (binary_ && sharedNodes22(n)) {
      endSection("Nodes");
      return;
    }
    for (std::int64_t i = 0; i < n; ++i) {
      if (binary_) {
        F_BinaryReader b = binary();
        const std::uint64_t where = b.offset();
        const auto id = b.get<std::int32_t>("a node number");
        double xyz[3];
        b.getArray(xyz, 3, "a node's coordinates");
        builder_.addNode(id, xyz[0], xyz[1], xyz[2], at(where));
      } else {
        const std::size_t got = chunks_.readRuns(static_cast<std::size_t>(n - i), nodeLines_,
                                                 [&](const NodeLines& part, std::size_t count, int ln) {
                                                   builder_.addNodes(part.numbers.list(), part.numbers.first, part.xyz.data(), 3, count,
                                                                     [&](std::size_t k) { return lineAfter(ln, k); });
                                                 });
        if (got > 0) {
          i += static_cast<std::int64_t>(got) - 1;
          continue;
        }
        const Where where = line();
        if (std::int64_t id = 0; quickNode(&id, xyz3_)) {
          builder_.addNode(id, xyz3_[0], xyz3_[1], xyz3_[2], where);
          continue;
        }
        const std::int64_t id = text_.integer("a node number");
        const double x = text_.real("the x coordinate"), y = text_.real("the y coordinate");
        const double z = text_.real("the z coordinate");
        builder_.addNode(id, x, y, z, where);
      }
    }
    endSection("Nodes");
    return;
  }
  std::int64_t header[4];
  sectionHeader41(header, "the node header", "a number of the node header");
  const std::int64_t blocks = count(header[0], binary_ ? 20 : 8, "number of node blocks");
  builder_.reserveNodes(std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(header[1], 0)),
                                                text_.remaining() / (binary_ ? 32 : 8)));
  std::vector<std::int64_t> tags;
  for (std::int64_t k = 0; k < blocks; ++k) {
    int dim = 0, parametric = 0;
    std::int64_t n = 0;
    if (binary_) {
      F_BinaryReader b = binary();
      dim = b.get<std::int32_t>("a node block's dimension");
      (void)b.get<std::int32_t>("a node block's entity");
      parametric = b.get<std::int32_t>("a node block's parametric flag");
      const std::uint64_t where = b.offset();
      const auto size = b.get<std::uint64_t>("a node block's size");
      if (size > b.remaining() / 32) b.fail(where, "The node block holds more nodes than the rest of the file.");
      n = static_cast<std::int64_t>(size);
    } else {
      dim = static_cast<int>(text_.integer("a node block's dimension"));
      (void)text_.integer("a node block's entity");
      parametric = static_cast<int>(text_.integer("a node block's parametric flag"));
      n = count(text_.integer("a node block's size"), 8, "node block size");
    }
    const int extra = parametric ? std::clamp(dim, 0, 3) : 0;
    tags.clear();
    if (binary_) {
      F_BinaryReader b = binary();
      const std::uint64_t stride = 8 * static_cast<std::uint64_t>(3 + extra);
      if (b.remaining() >= static_cast<std::uint64_t>(n) * (8 + stride) && sharedNodes(n, 3 + extra)) continue;
      if (b.remaining() >= static_cast<std::uint64_t>(n) * (8 + stride)) {
        // The whole block is there: tags and coordinates in bulk, a stretch at a time.
        tags.resize(static_cast<std::size_t>(n));
        b.getArray(reinterpret_cast<std::uint64_t*>(tags.data()), tags.size(), "a node tag");
        constexpr std::size_t kChunk = 4096;
        double xyz[kChunk * 6];
        for (std::size_t first = 0; first < tags.size(); first += kChunk) {
          const std::size_t count = std::min(kChunk, tags.size() - first);
          const std::uint64_t start = b.offset();
          b.getArray(xyz, count * static_cast<std::size_t>(3 + extra), "a node's coordinates");
          builder_.addNodes(tags.data() + first, 0, xyz, static_cast<std::size_t>(3 + extra), count,
                            [&](std::size_t i) { return at(start + i * stride); });
        }
        continue;
      }
      for (std::int64_t i = 0; i < n; ++i) tags.push_back(static_cast<std::int64_t>(b.get<std::uint64_t>("a node tag")));
      for (std::int64_t i = 0; i < n; ++i) {
        const std::uint64_t where = b.offset();
        double xyz[6];
        b.getArray(xyz, static_cast<std::size_t>(3 + extra), "a node's coordinates");
        builder_.addNode(tags[static_cast<std::size_t>(i)], xyz[0], xyz[1], xyz[2], at(where));
      }
    } else {
      // The count is bounded by the bytes left: room made once, and each
      // part's tags taken at once.
      tags.reserve(static_cast<std::size_t>(n));
      for (std::int64_t i = 0; i < n; ++i) {
        const std::size_t got = chunks_.readRuns(
            static_cast<std::size_t>(n - i), tagLines_, [&](const TagLines& part, std::size_t count, int) {
              tags.insert(tags.end(), part.tags.begin(), part.tags.begin() + static_cast<std::ptrdiff_t>(count));
            });
        if (got > 0) {
          i += static_cast<std::int64_t>(got) - 1;
          continue;
        }
        tags.push_back(text_.integer("a node tag"));
      }
      for (std::int64_t i = 0; i < n; ++i) {
        if (extra == 0) {
          nodeLines_.prototype.withId = false;
          std::size_t tag = static_cast<std::size_t>(i);  // parts count from 0: the tags run on
          const std::size_t got = chunks_.readRuns(static_cast<std::size_t>(n - i), nodeLines_,
                                                   [&](const NodeLines& part, std::size_t count, int ln) {
                                                     builder_.addNodes(tags.data() + tag, 0, part.xyz.data(), 3, count,
                                                                       [&](std::size_t k) { return lineAfter(ln, k); });
                                                     tag += count;
                                                   });
          if (got > 0) {
            i += static_cast<std::int64_t>(got) - 1;
            continue;
          }
        }
        const Where where = line();
        if (extra == 0 && quickNode(nullptr, xyz3_)) {
          builder_.addNode(tags[static_cast<std::size_t>(i)], xyz3_[0], xyz3_[1], xyz3_[2], where);
          continue;
        }
        const double x = text_.real("the x coordinate"), y = text_.real("the y coordinate");
        const double z = text_.real("the z coordinate");
        for (int p = 0; p < extra; ++p) (void)text_.real("a parametric coordinate");
        builder_.addNode(tags[static_cast<std::size_t>(i)], x, y, z, where);
      }
    }
  }
  endSection("Nodes");
}

bool GmshReader::quickNode(std::int64_t* id, double xyz[3]) {
  std::string_view ln;
  if (!text_.peekLine(ln)) return false;
  std::int64_t number = 0;
  // The line end follows the line, with the rest of the buffer after it.
  const char* const next = ln.data() + ln.size() + 1;
  if ((text_.readableBefore(ln.data()) && quickNodeLine(ln.data(), next, id != nullptr, number, xyz) == next) ||
      plainNodeLine(ln.data(), ln.data() + ln.size(), text_.bufferEnd(), id != nullptr, number, xyz)) {
    if (id) *id = number;
    text_.takeLine();
    return true;
  }
  F_LineFields f(ln, text_.bufferEnd());
  if ((id && !f.integer(*id)) || !f.real(xyz[0]) || !f.real(xyz[1]) || !f.real(xyz[2]) || !f.atEnd()) return false;
  text_.takeLine();
  return true;
}

bool GmshReader::quickElement22(Where where, std::vector<int>& physicals) {
  std::string_view ln;
  if (!text_.peekLine(ln)) return false;
  if (std::int64_t v[3 + 128]; quickRecord22(ln, v, 0) > 0 || plainRecord22(ln, text_.bufferEnd(), v, 0) > 0) {
    const GmshType* type = typeOf(v[1]);
    physicals.clear();
    if (v[2] > 0) physicals.push_back(static_cast<int>(v[2]));
    text_.takeLine();
    element(*type, v[1], v[0], v + 3, physicals, type->dimension, where);
    return true;
  }
  F_LineFields f(ln);
  std::int64_t id = 0, typeNumber = 0, ntags = 0;
  if (!f.integer(id) || !f.integer(typeNumber) || !f.integer(ntags) || ntags < 0 || ntags > 16) return false;
  const GmshType* type = typeOf(typeNumber);
  if (!type) return false;
  physicals.clear();
  for (std::int64_t t = 0; t < ntags; ++t) {
    std::int64_t tag = 0;
    if (!f.integer(tag)) return false;
    if (t == 0 && tag > 0) physicals.push_back(static_cast<int>(std::min<std::int64_t>(tag, 1 << 30)));
  }
  std::int64_t nodes[128];
  for (int j = 0; j < type->nodes; ++j) {
    if (!f.integer(nodes[j])) return false;
  }
  if (!f.atEnd()) return false;
  text_.takeLine();
  element(*type, typeNumber, id, nodes, physicals, type->dimension, where);
  return true;
}

int GmshReader::layerOf(int dimension, int physical) {
  // Physical tags are unique within a dimension only.
  const auto key = std::make_pair(dimension, physical > 0 ? physical : -1);
  // Elements come in runs of one group: the last answer is usually the next.
  if (lastLayer_ >= 0 && key == lastKey_) return lastLayer_;
  lastKey_ = key;
  const auto it = layers_.find(key);
  if (it != layers_.end()) lastLayer_ = it->second;
  if (it != layers_.end()) return it->second;
  std::string name;
  if (physical > 0) {
    const auto named = physicalNames_.find(key);
    name = named != physicalNames_.end() ? named->second : "Physical group " + std::to_string(physical);
  } else {
    static const char* const kByDimension[] = {"Points", "Curves", "Surfaces", "Volumes"};
    name = kByDimension[std::clamp(dimension, 0, 3)];
  }
  const int layer = builder_.addLayer(name);
  layers_[key] = layer;
  lastLayer_ = layer;
  return layer;
}

bool GmshReader::sharedNodes(std::int64_t n, int values) {
  const std::size_t count = static_cast<std::size_t>(n);
  const int shares = F_WorkShares::count(count);
  if (shares < 2) return false;
  const std::uint64_t from = text_.fileOffset();
  unsigned char firstTag[8];
  if (text_.file().readAt(from, reinterpret_cast<char*>(firstTag), 8) != 8) return false;
  const std::int64_t first = loadValue<std::int64_t>(firstTag, swap_);
  F_MeshBuilder::NodeBatch batch;
  if (!builder_.beginNodes(first, count, batch)) return false;
  std::atomic<bool> plain{true};
  // The tags, which must run on one by one; then the coordinates.
  auto tagsRunOn = [&](std::size_t at, char* bytes, std::size_t k) {
    const auto* tags = reinterpret_cast<const unsigned char*>(bytes);
    bool runsOn = true;
    for (std::size_t i = 0; i < k; ++i) {
      runsOn &= loadValue<std::uint64_t>(tags + 8 * i, swap_) == static_cast<std::uint64_t>(first) + at + i;
    }
    if (!runsOn) plain.store(false, std::memory_order_relaxed);
  };
  bool read = F_WorkShares::readRecords(text_.file(), from, 8, count, shares, tagsRunOn);
  const std::size_t size = 8 * static_cast<std::size_t>(values);
  read = read && plain.load() &&
         F_WorkShares::readRecords(text_.file(), from + 8 * count, size, count, shares,
                                   [&](std::size_t at, char* bytes, std::size_t k) {
                                     auto* xyz = reinterpret_cast<double*>(bytes);
                                     if (swap_) {
                                       for (std::size_t i = 0; i < k * static_cast<std::size_t>(values); ++i) {
                                         xyz[i] = F_BinaryReader::swapped(xyz[i]);
                                       }
                                     }
                                     if (!builder_.setNodes(batch, at, xyz, static_cast<std::size_t>(values), k)) {
                                       plain.store(false, std::memory_order_relaxed);
                                     }
                                   });
  const bool keep = read && plain.load();
  builder_.endNodes(batch, keep);
  if (keep) text_.seek(from + (8 + size) * count, 0);
  return keep;
}

bool GmshReader::sharedBlock(const GmshType& type, std::int64_t n, int dimension, const std::vector<int>& physicals) {
  const std::size_t count = static_cast<std::size_t>(n);
  const int shares = F_WorkShares::count(count);
  if (shares < 2) return false;
  // The layer element() would make at the block's first element.
  const int layer = layerOf(dimension, physicals.empty() ? 0 : physicals[0]);
  F_MeshBuilder::CellBatch batch;
  if (!builder_.beginCells(layer, *type.kind, count, batch)) return false;
  const std::size_t recordSize = static_cast<std::size_t>(1 + type.nodes);
  const std::uint64_t from = text_.fileOffset();
  std::atomic<bool> known{true};
  const bool read = F_WorkShares::readRecords(
      text_.file(), from, 8 * recordSize, count, shares, [&](std::size_t first, char* bytes, std::size_t k) {
        auto* values = reinterpret_cast<std::int64_t*>(bytes);
        if (swap_) {
          for (std::size_t i = 0; i < k * recordSize; ++i) values[i] = F_BinaryReader::swapped(values[i]);
        }
        if (!builder_.resolveCells(batch, first, values + 1, recordSize, k)) {
          known.store(false, std::memory_order_relaxed);
        }
      });
  const bool keep = read && known.load();
  builder_.endCells(batch, keep);
  if (keep) text_.seek(from + 8 * recordSize * count, 0);
  return keep;
}

bool GmshReader::sharedNodes22(std::int64_t n) {
  const std::size_t count = static_cast<std::size_t>(n);
  const int shares = F_WorkShares::count(count);
  constexpr std::size_t kRecord = 28;  // the number, then x, y and z
  if (shares < 2 || text_.remaining() / kRecord < count) return false;
  const std::uint64_t from = text_.fileOffset();
  unsigned char firstId[4];
  if (text_.file().readAt(from, reinterpret_cast<char*>(firstId), 4) != 4) return false;
  const std::int64_t first = loadValue<std::int32_t>(firstId, swap_);
  F_MeshBuilder::NodeBatch batch;
  if (!builder_.beginNodes(first, count, batch)) return false;
  std::atomic<bool> plain{true};
  const bool read = F_WorkShares::readRecords(
      text_.file(), from, kRecord, count, shares, [&](std::size_t at, char* bytes, std::size_t k) {
        const auto* v = reinterpret_cast<const unsigned char*>(bytes);
        constexpr std::size_t kPiece = 1024;
        double xyz[3 * kPiece];
        bool runsOn = true;
        for (std::size_t done = 0; done < k; done += kPiece) {
          const std::size_t m = std::min(kPiece, k - done);
          for (std::size_t i = 0; i < m; ++i) {
            const unsigned char* record = v + kRecord * (done + i);
            // Numbers as the one-at-a-time reading takes them: 32-bit, widened.
            runsOn &= static_cast<std::uint64_t>(static_cast<std::int64_t>(loadValue<std::int32_t>(record, swap_))) ==
                      static_cast<std::uint64_t>(first) + at + done + i;
            for (int c = 0; c < 3; ++c) xyz[3 * i + static_cast<std::size_t>(c)] = loadValue<double>(record + 4 + 8 * c, swap_);
          }
          if (!builder_.setNodes(batch, at + done, xyz, 3, m)) runsOn = false;
        }
        if (!runsOn) plain.store(false, std::memory_order_relaxed);
      });
  const bool keep = read && plain.load();
  builder_.endNodes(batch, keep);
  if (keep) text_.seek(from + kRecord * count, 0);
  return keep;
}

bool GmshReader::sharedBlock22(const GmshType& type, std::int64_t following, int ntags) {
  const std::size_t count = static_cast<std::size_t>(following);
  const int shares = F_WorkShares::count(count);
  if (shares < 2) return false;
  const std::size_t recordSize = static_cast<std::size_t>(1 + ntags + type.nodes);
  const std::uint64_t from = text_.fileOffset();
  // The group of the first element, whose layer element() would make first.
  std::int32_t head[2] = {0, 0};
  if (text_.file().readAt(from, reinterpret_cast<char*>(head), 8) != 8) return false;
  auto groupOf = [&](const unsigned char* record) {
    const std::int32_t tag = ntags > 0 ? loadValue<std::int32_t>(record + 4, swap_) : 0;
    return tag > 0 ? tag : 0;
  };
  const std::int32_t group = groupOf(reinterpret_cast<const unsigned char*>(head));
  const int layer = layerOf(type.dimension, group);
  F_MeshBuilder::CellBatch batch;
  if (!builder_.beginCells(layer, *type.kind, count, batch)) return false;
  std::atomic<bool> plain{true};
  const std::size_t nodes = static_cast<std::size_t>(type.nodes);
  const bool read = F_WorkShares::readRecords(
      text_.file(), from, 4 * recordSize, count, shares, [&](std::size_t first, char* bytes, std::size_t k) {
        const auto* v = reinterpret_cast<const unsigned char*>(bytes);
        constexpr std::size_t kPiece = 256;
        std::int64_t ids[kPiece * kMaxCellNodes];  // a shown kind has no more nodes
        bool same = true;
        for (std::size_t done = 0; done < k; done += kPiece) {
          const std::size_t m = std::min(kPiece, k - done);
          for (std::size_t i = 0; i < m; ++i) {
            const unsigned char* record = v + 4 * recordSize * (done + i);
            same &= groupOf(record) == group;
            const unsigned char* at = record + 4 * static_cast<std::size_t>(1 + ntags);
            for (std::size_t j = 0; j < nodes; ++j) ids[i * nodes + j] = loadValue<std::int32_t>(at + 4 * j, swap_);
          }
          if (!builder_.resolveCells(batch, first + done, ids, nodes, m)) same = false;
        }
        if (!same) plain.store(false, std::memory_order_relaxed);
      });
  const bool keep = read && plain.load();
  builder_.endCells(batch, keep);
  if (keep) text_.seek(from + 4 * recordSize * count, 0);
  return keep;
}

void GmshReader::element(const GmshType& type, std::int64_t typeNumber, std::int64_t id, const std::int64_t* nodes,
                         const std::vector<int>& physicals, int dimension, Where where) {
  if (!type.kind) {
    builder_.skip(typeName(typeNumber));
    return;
  }
  std::int64_t ordered[kMaxCellNodes];
  for (int i = 0; i < type.nodes; ++i) ordered[i] = type.order.empty() ? nodes[i] : nodes[type.order[static_cast<std::size_t>(i)]];
  if (physicals.empty()) {
    builder_.addCell(layerOf(dimension, 0), *type.kind, ordered, id, where);
    return;
  }
  for (int physical : physicals) builder_.addCell(layerOf(dimension, physical), *type.kind, ordered, id, where);
}

void GmshReader::elements() {
  std::vector<int> physicals;
  std::int64_t nodes[128];
  if (!version4_) {
    const std::int64_t n = count(text_.integer("the number of elements"), binary_ ? 12 : 8, "number of elements");
    builder_.reserveCells(static_cast<std::uint64_t>(n), 4);
    if (!binary_) {
      for (std::int64_t i = 0; i < n; ++i) {
        const std::size_t got = chunks_.readRuns(
            static_cast<std::size_t>(n - i), elementLines_, [&](const ElementLines& part, std::size_t count, int ln) {
              // Runs of one type and one physical group lie one after another,
              // 3 + nodes values each, and go to their layer at once.
              part.visit([&](const auto* values) {
              for (std::size_t k = 0, at = 0; k < count;) {
                const auto* v = values + at;
                const GmshType* type = typeOf(v[1]);
                // Records of one type are of one length.
                const std::size_t stride = static_cast<std::size_t>(3 + type->nodes);
                std::size_t end = k + 1;
                std::size_t next = at + stride;
                while (end < count && values[next + 1] == v[1] && values[next + 2] == v[2]) {
                  ++end;
                  next += stride;
                }
                if (!type->kind || !type->order.empty()) {
                  for (; k < end; ++k, at += stride) {
                    const auto* w = values + at;
                    physicals.clear();
                    if (w[2] > 0) physicals.push_back(static_cast<int>(w[2]));
                    element(*type, w[1], w[0], wideIds(w + 3, type->nodes, nodes), physicals, type->dimension,
                            lineAfter(ln, k));
                  }
                  continue;
                }
                // element() would put each in the layer of its first tag (0 when none is positive).
                const std::size_t from = k;
                builder_.addCells(
                    layerOf(type->dimension, static_cast<int>(v[2])), *type->kind, v + 3, stride, end - k,
                    [&](std::size_t j) { return static_cast<std::int64_t>(v[j * stride]); },
                    [&](std::size_t j) { return lineAfter(ln, from + j); });
                k = end;
                at = next;
              }
              });
            });
        if (got > 0) {
          i += static_cast<std::int64_t>(got) - 1;
          continue;
        }
        const Where where = line();
        if (quickElement22(where, physicals)) continue;
        const std::int64_t id = text_.integer("an element number");
        const std::int64_t typeNumber = text_.integer("an element type");
        const GmshType* type = typeOf(typeNumber);
        if (!type) {
          // The node count of an unknown type is unknown too: its line is passed over.
          builder_.skip(typeName(typeNumber));
          (void)text_.restOfLine();
          continue;
        }
        const std::int64_t ntags = count(text_.integer("the number of tags"), 2, "number of tags");
        physicals.clear();
        for (std::int64_t t = 0; t < ntags; ++t) {
          const std::int64_t tag = text_.integer("an element tag");
          if (t == 0 && tag > 0) physicals.push_back(static_cast<int>(std::min<std::int64_t>(tag, 1 << 30)));
        }
        for (int j = 0; j < type->nodes; ++j) nodes[j] = text_.integer("a node number of the element");
        element(*type, typeNumber, id, nodes, physicals, type->dimension, where);
      }
    } else {
      text_.endLine();
      F_BinaryReader b = binary();
      std::int64_t done = 0;
      while (done < n) {
        const std::uint64_t headerAt = b.offset();
        const auto typeNumber = b.get<std::int32_t>("an element block's type");
        const auto following = b.get<std::int32_t>("an element block's size");
        const auto ntags = b.get<std::int32_t>("an element block's number of tags");
        const GmshType* type = typeOf(typeNumber);
        if (!type) b.fail(headerAt, "Unknown element type " + std::to_string(typeNumber) + ".");
        if (following < 1 || following > n - done || ntags < 0 || ntags > 64) {
          b.fail(headerAt, "Expected an element block header within the declared element count.");
        }
        const std::size_t recordSize = static_cast<std::size_t>(1 + ntags + type->nodes);
        if (b.remaining() >= static_cast<std::uint64_t>(following) * 4 * recordSize && type->kind &&
            type->order.empty() && sharedBlock22(*type, following, ntags)) {
          done += following;
          continue;
        }
        if (b.remaining() >= static_cast<std::uint64_t>(following) * 4 * recordSize) {
          // The whole block is there: records in bulk, a stretch at a time.
          const std::size_t perChunk = std::max<std::size_t>(1, 16384 / recordSize);
          std::vector<std::int32_t> records(std::min<std::size_t>(perChunk, static_cast<std::size_t>(following)) *
                                            recordSize);
          for (std::int32_t first = 0; first < following;) {
            const std::size_t count = std::min<std::size_t>(perChunk, static_cast<std::size_t>(following - first));
            const std::uint64_t start = b.offset();
            b.getArray(records.data(), count * recordSize, "an element");
            for (std::size_t i = 0; i < count; ++i) {
              const std::int32_t* record = records.data() + i * recordSize;
              physicals.clear();
              if (ntags > 0 && record[1] > 0) physicals.push_back(record[1]);
              for (int j = 0; j < type->nodes; ++j) nodes[j] = record[1 + ntags + j];
              element(*type, typeNumber, record[0], nodes, physicals, type->dimension,
                      at(start + 4 * i * recordSize));
            }
            first += static_cast<std::int32_t>(count);
          }
          done += following;
          continue;
        }
        std::int32_t record[1 + 64 + 128];
        for (std::int32_t e = 0; e < following; ++e) {
          const std::uint64_t where = b.offset();
          b.getArray(record, static_cast<std::size_t>(1 + ntags + type->nodes), "an element");
          physicals.clear();
          if (ntags > 0 && record[1] > 0) physicals.push_back(record[1]);
          for (int j = 0; j < type->nodes; ++j) nodes[j] = record[1 + ntags + j];
          element(*type, typeNumber, record[0], nodes, physicals, type->dimension, at(where));
        }
        done += following;
      }
    }
    endSection("Elements");
    return;
  }
  std::int64_t header[4];
  sectionHeader41(header, "the element header", "a number of the element header");
  const std::int64_t blocks = count(header[0], binary_ ? 20 : 8, "number of element blocks");
  for (std::int64_t k = 0; k < blocks; ++k) {
    int dim = 0, entity = 0;
    std::int64_t typeNumber = 0, n = 0;
    std::uint64_t headerAt = 0;
    if (binary_) {
      F_BinaryReader b = binary();
      headerAt = b.offset();
      dim = b.get<std::int32_t>("an element block's dimension");
      entity = b.get<std::int32_t>("an element block's entity");
      typeNumber = b.get<std::int32_t>("an element block's type");
      n = static_cast<std::int64_t>(b.get<std::uint64_t>("an element block's size"));
    } else {
      dim = static_cast<int>(text_.integer("an element block's dimension"));
      entity = static_cast<int>(text_.integer("an element block's entity"));
      typeNumber = text_.integer("an element block's type");
      n = text_.integer("an element block's size");
    }
    const GmshType* type = typeOf(typeNumber);
    if (!type) {
      if (binary_) binary().fail(headerAt, "Unknown element type " + std::to_string(typeNumber) + ".");
      text_.failMessage("ERROR\nUnknown element type " + std::to_string(typeNumber) + ".");
    }
    const std::int64_t perElement = (binary_ ? 8 : 2) * (1 + type->nodes);
    if (n < 0 || static_cast<std::uint64_t>(n) > text_.remaining() / static_cast<std::uint64_t>(perElement) + 1) {
      if (binary_) binary().fail(headerAt, "The element block holds more elements than the rest of the file.");
      text_.failMessage("ERROR\nThe element block holds more elements than the rest of the file.");
    }
    builder_.reserveCells(static_cast<std::uint64_t>(n), type->nodes);
    const auto found = entityPhysicals_.find({dim, entity});
    physicals = found != entityPhysicals_.end() ? found->second : std::vector<int>();
    if (binary_ && binary().remaining() >= static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(perElement)) {
      // Records of a kind in the shared node order for one layer, resolved
      // on several threads; any trouble, and they are read as below.
      if (type->kind && type->order.empty() && physicals.size() <= 1 && sharedBlock(*type, n, dim, physicals)) {
        continue;
      }
      // The whole block is there: records in bulk, a stretch at a time.
      F_BinaryReader b = binary();
      const std::size_t recordSize = static_cast<std::size_t>(1 + type->nodes);
      const std::size_t perChunk = std::max<std::size_t>(1, 16384 / recordSize);
      std::vector<std::uint64_t> records(std::min<std::size_t>(perChunk, static_cast<std::size_t>(n)) * recordSize);
      std::vector<int> blockLayers;
      for (std::int64_t first = 0; first < n;) {
        const std::size_t count = std::min<std::size_t>(perChunk, static_cast<std::size_t>(n - first));
        const std::uint64_t start = b.offset();
        b.getArray(records.data(), count * recordSize, "an element");
        if (type->kind && type->order.empty()) {
          // The block's layers once, at its first element as element() would
          // make them; then each record's nodes go to the builder as they lie.
          if (first == 0) {
            blockLayers.clear();
            if (physicals.empty()) blockLayers.push_back(layerOf(dim, 0));
            for (int physical : physicals) blockLayers.push_back(layerOf(dim, physical));
          }
          const auto* values = reinterpret_cast<const std::int64_t*>(records.data());
          for (int layer : blockLayers) {
            builder_.addCells(
                layer, *type->kind, values + 1, recordSize, count, [&](std::size_t i) { return values[i * recordSize]; },
                [&](std::size_t i) { return at(start + 8 * i * recordSize); });
          }
          first += static_cast<std::int64_t>(count);
          continue;
        }
        for (std::size_t i = 0; i < count; ++i) {
          const std::uint64_t* record = records.data() + i * recordSize;
          for (int j = 0; j < type->nodes; ++j) nodes[j] = static_cast<std::int64_t>(record[1 + j]);
          element(*type, typeNumber, static_cast<std::int64_t>(record[0]), nodes, physicals, dim,
                  at(start + 8 * i * recordSize));
        }
        first += static_cast<std::int64_t>(count);
      }
      continue;
    }
    for (std::int64_t e = 0; e < n; ++e) {
      if (binary_) {
        F_BinaryReader b = binary();
        const std::uint64_t where = b.offset();
        std::uint64_t record[1 + 128];
        b.getArray(record, static_cast<std::size_t>(1 + type->nodes), "an element");
        for (int j = 0; j < type->nodes; ++j) nodes[j] = static_cast<std::int64_t>(record[1 + j]);
        element(*type, typeNumber, static_cast<std::int64_t>(record[0]), nodes, physicals, dim, at(where));
      } else {
        elementLines_.prototype.nodes = type->nodes;
        // Records of a kind in the shared node order go to the block's layers
        // as they lie; those are the layers element() would find.
        const bool direct = type->kind && type->order.empty();
        std::vector<int> blockLayers;
        const std::size_t got = chunks_.readRuns(
            static_cast<std::size_t>(n - e), elementLines_, [&](const ElementLines& part, std::size_t count, int ln) {
              if (!direct) {
                const std::size_t stride = static_cast<std::size_t>(1 + type->nodes);
                part.visit([&](const auto* values) {
                  for (std::size_t k = 0; k < count; ++k) {
                    const auto* v = values + k * stride;
                    element(*type, typeNumber, v[0], wideIds(v + 1, type->nodes, nodes), physicals, dim,
                            lineAfter(ln, k));
                  }
                });
                return;
              }
              if (blockLayers.empty()) {
                if (physicals.empty()) blockLayers.push_back(layerOf(dim, 0));
                for (int physical : physicals) blockLayers.push_back(layerOf(dim, physical));
              }
              // A block's records all have its type: one after another, 1 + nodes values each.
              const std::size_t stride = static_cast<std::size_t>(1 + type->nodes);
              part.visit([&](const auto* v) {
                for (int layer : blockLayers) {
                  builder_.addCells(
                      layer, *type->kind, v + 1, stride, count,
                      [&](std::size_t k) { return static_cast<std::int64_t>(v[k * stride]); },
                      [&](std::size_t k) { return lineAfter(ln, k); });
                }
              });
            });
        if (got > 0) {
          e += static_cast<std::int64_t>(got) - 1;
          continue;
        }
        const Where where = line();
        std::string_view ln;
        if (text_.peekLine(ln)) {
          if (std::int64_t v[1 + 128];
              quickRecord22(ln, v, type->nodes) > 0 || plainRecord22(ln, text_.bufferEnd(), v, type->nodes) > 0) {
            text_.takeLine();
            element(*type, typeNumber, v[0], v + 1, physicals, dim, where);
            continue;
          }
          F_LineFields f(ln);
          std::int64_t id = 0;
          int j = 0;
          if (f.integer(id)) {
            while (j < type->nodes && f.integer(nodes[j])) ++j;
          }
          if (j == type->nodes && f.atEnd()) {
            text_.takeLine();
            element(*type, typeNumber, id, nodes, physicals, dim, where);
            continue;
          }
        }
        const std::int64_t id = text_.integer("an element tag");
        for (int j = 0; j < type->nodes; ++j) nodes[j] = text_.integer("a node tag of the element");
        element(*type, typeNumber, id, nodes, physicals, dim, where);
      }
    }
  }
  endSection("Elements");
}

void GmshReader::nodeData() {
  const std::int64_t strings = count(text_.integer("the number of string tags"), 2, "number of string tags");
  std::string name;
  for (std::int64_t i = 0; i < strings; ++i) {
    std::string tag(text_.restOfLine());
    if (tag.find_first_not_of(" \t") == std::string::npos) tag = text_.restOfLine();
    const auto first = tag.find('"');
    const auto last = tag.rfind('"');
    if (first != std::string::npos && last > first) tag = tag.substr(first + 1, last - first - 1);
    if (i == 0) name = tag;
  }
  const std::int64_t reals = count(text_.integer("the number of real tags"), 2, "number of real tags");
  for (std::int64_t i = 0; i < reals; ++i) (void)text_.real("a real tag");
  const std::int64_t ints = count(text_.integer("the number of integer tags"), 2, "number of integer tags");
  if (ints < 3) text_.fail("at least 3 integer tags", std::to_string(ints));
  std::int64_t intTags[3];
  for (std::int64_t i = 0; i < ints; ++i) {
    const std::int64_t v = text_.integer("an integer tag");
    if (i < 3) intTags[i] = v;
  }
  const std::int64_t components = intTags[1];
  if (components < 1 || components > 9) text_.fail("1 to 9 components", std::to_string(components));
  const std::int64_t n = count(intTags[2], binary_ ? 4 + 8 * components : 4, "number of node values");
  const int field = builder_.addField(name.empty() ? "Node data" : name);
  if (binary_) text_.endLine();
  for (std::int64_t i = 0; i < n; ++i) {
    std::int64_t node = 0;
    double v[9];
    Where where = line();
    if (binary_) {
      F_BinaryReader b = binary();
      where = at(b.offset());
      node = b.get<std::int32_t>("a node number of the node data");
      b.getArray(v, static_cast<std::size_t>(components), "node values");
    } else {
      node = text_.integer("a node number of the node data");
      for (std::int64_t c = 0; c < components; ++c) v[c] = text_.real("a node value");
    }
    double value = v[0];
    if (components > 1) {
      double sum = 0;
      for (std::int64_t c = 0; c < components; ++c) sum += v[c] * v[c];
      value = std::sqrt(sum);
    }
    builder_.setFieldValue(field, node, value, where);
  }
  endSection("NodeData");
}

void GmshReader::sectionHeader41(std::int64_t (&header)[4], std::string_view binaryWhat, std::string_view textWhat) {
  if (binary_) {
    text_.endLine();
    F_BinaryReader b = binary();
    for (auto& h : header) h = static_cast<std::int64_t>(b.get<std::uint64_t>(binaryWhat));
  } else {
    for (auto& h : header) h = text_.integer(textWhat);
  }
}

void GmshReader::skipSection(const std::string& name) {
  // Sections this program does not use may hold binary data: their end is
  // found as bytes, not as words.
  text_.skipPast("$End" + name);
}

}  // namespace

void readGmsh(F_InputFile& file, F_MeshBuilder& builder) { GmshReader(file, builder).read(); }
