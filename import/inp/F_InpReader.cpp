#include "import/inp/F_InpReader.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "import/F_DigitScan.h"
#include "import/F_LineChunks.h"
#include "import/F_QuickLines.h"
#include "import/F_TextScanner.h"
#include "import/F_WorkShares.h"
#include "include/F_Vector.h"
#include "include/F_Errors.h"

namespace {

constexpr int kMaxIncludeDepth = 16;

struct InpType {
  F_CellKind kind;
  std::vector<std::uint8_t> order;  // shared-order node i is the file's node order[i]; empty: the same
};

// The element type by its name: a family and a node count, whatever letters
// follow (C3D20R, S4R5, B32, STRI65).
std::optional<InpType> inpType(const std::string& type) {
  enum Family { Solid, Surface, Line, Beam };
  static const struct {
    const char* prefix;
    Family family;
  } kFamilies[] = {
      {"SFM3D", Surface}, {"DCC3D", Solid}, {"DC3D", Solid}, {"DC2D", Surface}, {"DCAX", Surface},
      {"AC3D", Solid},    {"C3D", Solid},   {"CPEG", Surface}, {"CPE", Surface}, {"CPS", Surface},
      {"CGAX", Surface},  {"CAX", Surface}, {"M3D", Surface},  {"R3D", Surface}, {"STRI", Surface},
      {"SC", Solid},      {"S", Surface},   {"T2D", Line},     {"T3D", Line},    {"PIPE", Beam},
      {"B", Beam},
  };
  for (const auto& f : kFamilies) {
    const std::string_view prefix = f.prefix;
    if (!type.starts_with(prefix) || type.size() == prefix.size() || !std::isdigit(static_cast<unsigned char>(type[prefix.size()]))) {
      continue;
    }
    int n = 0;
    for (std::size_t i = prefix.size(); i < type.size() && std::isdigit(static_cast<unsigned char>(type[i])) && n < 1000; ++i) {
      n = n * 10 + (type[i] - '0');
    }
    switch (f.family) {
      case Solid:
        switch (n) {
          case 4: return InpType{F_CellKind::Tet4, {}};
          case 5: return InpType{F_CellKind::Pyramid5, {}};
          case 6: return InpType{F_CellKind::Wedge6, {}};
          case 8: return InpType{F_CellKind::Hex8, {}};
          case 10: return InpType{F_CellKind::Tet10, {}};
          case 15: return InpType{F_CellKind::Wedge15, {}};
          case 20: return InpType{F_CellKind::Hex20, {}};
          default: return std::nullopt;
        }
      case Surface:
        switch (n) {
          case 3: return InpType{F_CellKind::Tri3, {}};
          case 4: return InpType{F_CellKind::Quad4, {}};
          case 6:
          case 65: return InpType{F_CellKind::Tri6, {}};
          case 8: return InpType{F_CellKind::Quad8, {}};
          case 9: return InpType{F_CellKind::Quad9, {}};
          default: return std::nullopt;
        }
      case Line:
        // The middle node of a 3-node line stands second.
        if (n == 2) return InpType{F_CellKind::Line2, {}};
        if (n == 3) return InpType{F_CellKind::Line3, {0, 2, 1}};
        return std::nullopt;
      case Beam:
        // B21, B31: 2 nodes; B22, B32: 3 (the middle second); B23, B33: 2.
        if (n < 10 || n > 99) return std::nullopt;
        if (n % 10 == 2) return InpType{F_CellKind::Line3, {0, 2, 1}};
        return InpType{F_CellKind::Line2, {}};
    }
  }
  return std::nullopt;
}

std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

[[gnu::always_inline]] inline std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The comma-separated fields of a data line; a trailing comma adds no field.
void splitFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == ',') {
      const std::string_view f = trim(line.substr(start, i - start));
      if (!(i == line.size() && f.empty() && !fields.empty())) fields.push_back(f);
      start = i + 1;
    }
  }
  if (fields.size() == 1 && fields[0].empty()) fields.clear();
}

// The comma-separated fields of a data line read in place, each of the plain
// shape (no empty field, no Fortran exponent); a caller that meets anything
// else splits the line the general way, which says what is wrong.
class QuickFields {
 public:
  // Bytes up to `limit` (at or after the end of the line, or null) may be read.
  explicit QuickFields(std::string_view line, const char* limit = nullptr)
      : p_(line.data()), end_(line.data() + line.size()), limit_(limit ? limit : end_) {}
  bool integer(std::int64_t& value) {
    skipBlanks();
    std::int64_t v = 0;
    const char* const p = parseIntegerPrefix(p_, end_, v);
    if (!p) return false;
    p_ = p;
    if (!endField()) return false;
    value = v;
    return true;
  }
  bool real(double& value) {
    skipBlanks();
    const char* stop = nullptr;
    if (!parseRealPrefix(p_, end_, stop, value, limit_)) return false;
    p_ = stop;
    return endField();
  }
  // No field left (a trailing comma adds none).
  bool atEnd() const { return ended_; }

 private:
  void skipBlanks() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
  }
  // Blanks, then a comma or the end of the line.
  bool endField() {
    skipBlanks();
    if (p_ == end_) {
      ended_ = true;
      return true;
    }
    if (*p_ != ',') return false;
    ++p_;
    skipBlanks();
    ended_ = p_ == end_;
    return true;
  }
  const char* p_;
  const char* end_;
  const char* limit_;
  bool ended_ = false;
};

// A data line as restOfLine gives it: without the CR before its line end.
std::string_view withoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// *NODE lines of the plain shape, as the quick path takes them: a number and
// one to three coordinates (those not given are 0).
struct NodeLines {
  F_LineChunks::RunningIds numbers;
  std::vector<double, F_RecordAllocator<double>> xyz;  // room made is not written first
  // Room for lines of 16 bytes: taken from memory only as the records fill it,
  // and seldom short (a shorter line would make the part copy what it has).
  void reserve(std::size_t bytes) {
    numbers.ids.reserve(bytes / 16);
    xyz.reserve(bytes / 16 * 3);
  }
  void restart(const NodeLines&) {
    numbers.clear();
    xyz.clear();
  }
  void keep(std::int64_t id) { numbers.keep(id); }
  bool takeQuick(const char*& at, const char* end) {
    // Read straight to where the coordinates go.
    const std::size_t n = xyz.size();
    xyz.resize(n + 3);
    std::int64_t id = 0;
    const char* const next = quickDeckNodeLine(at, end, id, xyz.data() + n);
    if (!next) {
      xyz.resize(n);
      return false;
    }
    keep(id);
    at = next;
    return true;
  }
  bool take(std::string_view line, const char* limit) {
    line = withoutCr(line);
    std::int64_t id = 0;
    double p[3] = {0, 0, 0};
    if (plainDeckNodeLine(line.data(), line.data() + line.size(), limit, id, p)) {
      keep(id);
      xyz.insert(xyz.end(), p, p + 3);
      return true;
    }
    QuickFields quick(line, limit);
    int k = 0;
    if (quick.integer(id) && !quick.atEnd()) {
      while (k < 3 && !quick.atEnd() && quick.real(p[k])) ++k;
    }
    if (k == 0 || !quick.atEnd()) return false;
    keep(id);
    xyz.insert(xyz.end(), p, p + 3);
    return true;
  }
};

// An element line of small unsigned numbers read at once: its number and
// `nodes` node numbers into v (room for kMostLineBytes / 2); false when the
// line is not of that shape, for QuickFields to judge.
bool plainElement(std::string_view line, const char* limit, std::int64_t* v, int nodes) {
  return F_DigitScan::unsignedRecord<true>(line.data(), line.data() + line.size(), limit, v,
                                           F_DigitScan::kMostLineBytes / 2) == 1 + nodes;
}

// *ELEMENT lines of the plain shape: a number and the `nodes` node numbers
// of a known type, all on the one line.
struct ElementLines {
  // Room a line may need: every number of a line of kMostLineBytes, or the
  // fields of one record.
  static constexpr std::size_t kRoom = std::max<std::size_t>(F_DigitScan::kMostLineBytes / 2, 1 + kMaxCellNodes);
  int nodes = 0;
  // Each line is read into `line` (which stays in the cache) and its record,
  // 1 + nodes values, goes on in 32 bits while every value so far fits
  // (half the memory to fill and to read back), else in 64.
  // Room made is not written over first: only the pages the records fill
  // are ever touched. The reader may take the storage away with the records.
  std::vector<std::int64_t, F_RecordAllocator<std::int64_t>> line;
  std::vector<std::int32_t, F_RecordAllocator<std::int32_t>> narrow;
  std::vector<std::int64_t, F_RecordAllocator<std::int64_t>> values;
  bool wide = false;      // the records are in `values`
  std::size_t used = 0;   // values of the records so far
  bool ascending = true;  // each record's number above the one before
  std::int64_t lastId = 0;
  std::size_t bytes = 0;  // of the lines taken, line ends included
  void reserve(std::size_t bytes) {
    if (line.size() < kRoom) line.resize(kRoom);
    // A value takes two bytes at least.
    if (narrow.size() < bytes / 2 + 1 + kMaxCellNodes) narrow.resize(bytes / 2 + 1 + kMaxCellNodes);
  }
  void restart(const ElementLines& prototype) {
    nodes = prototype.nodes;
    shape.clear();
    used = 0;
    bytes = 0;
    wide = false;
    ascending = true;
  }
  void widen() {
    values.resize(std::max<std::size_t>(2 * used, used + 1 + kMaxCellNodes));
    std::copy(narrow.data(), narrow.data() + used, values.data());
    decltype(narrow)().swap(narrow);
    wide = true;
  }
  void store() {
    // The usual node counts get loops of a known length.
    switch (nodes) {
      case 3: return store(std::integral_constant<std::size_t, 4>{});
      case 4: return store(std::integral_constant<std::size_t, 5>{});
      case 8: return store(std::integral_constant<std::size_t, 9>{});
      case 10: return store(std::integral_constant<std::size_t, 11>{});
      case 20: return store(std::integral_constant<std::size_t, 21>{});
      default: return store(static_cast<std::size_t>(1 + nodes));
    }
  }
  template <class Count>
  [[gnu::always_inline]] void store(Count count) {
    const std::size_t n = count;
    const std::int64_t* const v = line.data();
    if (!wide) {
      // Each value plus 2^31 is below 2^32 when it fits in 32 bits.
      std::uint64_t high = 0;
      for (std::size_t i = 0; i < n; ++i) high |= static_cast<std::uint64_t>(v[i]) + 0x80000000u;
      if ((high >> 32) == 0) {
        if (narrow.size() - used < n) narrow.resize(std::max(2 * narrow.size(), used + n));
        for (std::size_t i = 0; i < n; ++i) narrow[used + i] = static_cast<std::int32_t>(v[i]);
      } else {
        widen();
      }
    }
    if (wide) {
      if (values.size() - used < n) values.resize(std::max(2 * values.size(), used + n));
      std::copy(v, v + n, values.data() + used);
    }
    if (used > 0 && v[0] <= lastId) ascending = false;
    lastId = v[0];
    used += n;
  }
  F_QuickLines::RecordShape shape;  // of the last line read by record()
  // A line laid out as the one before, straight to the 32-bit records while
  // its numbers fit (read into `line` first, the numbers just stored there
  // would be loaded again before they reached the cache).
  [[gnu::always_inline]] bool takeNarrow(const char*& at, const char* end) {
    const std::size_t n = static_cast<std::size_t>(1 + nodes);
    if (narrow.size() - used < n) narrow.resize(std::max(2 * narrow.size(), used + n));
    std::int32_t* const to = narrow.data() + used;
    const char* next = at;
    if (shape.read(next, end, to) < 0) return false;
    if (used > 0 && to[0] <= lastId) ascending = false;
    lastId = to[0];
    used += n;
    bytes += static_cast<std::size_t>(next - at);
    at = next;
    return true;
  }
  bool takeQuick(const char*& at, const char* end) {
    if (!wide && takeNarrow(at, end)) return true;
    const char* next = at;
    // While the records are narrow, takeNarrow has already checked the layout.
    if (!wide || shape.read(next, end, line.data()) < 0) {
      if (F_QuickLines::record<true>(next, end, line.data(), 1 + nodes) != 1 + nodes) return false;
      shape.taken(at, static_cast<int>(next - at));
    }
    store();
    bytes += static_cast<std::size_t>(next - at);
    at = next;
    return true;
  }
  bool take(std::string_view text, const char* limit) {
    const std::size_t lineBytes = text.size() + 1;
    text = withoutCr(text);
    std::int64_t* const v = line.data();
    if (plainElement(text, limit, v, nodes)) {
      store();
      bytes += lineBytes;
      return true;
    }
    QuickFields quick(text);
    int have = 0;
    while (have <= nodes && !quick.atEnd() && quick.integer(v[have])) ++have;
    if (have != 1 + nodes || !quick.atEnd()) return false;
    store();
    bytes += lineBytes;
    return true;
  }
};

// Elements defined one after another in one set, all of one kind: each
// record is 1 + nodes values, the element's number and then its node
// numbers in the shared order, in 32 bits or (`wide`) in 64. The records
// of a part read on the threads are kept in the part's own storage, so
// that they are never copied; or, for elements the builder holds already
// whose numbers run on one by one, not kept at all (`held`).
struct ElementBlock {
  std::vector<std::int32_t, F_RecordAllocator<std::int32_t>> narrow;  // may hold more than `count` records
  std::vector<std::int64_t, F_RecordAllocator<std::int64_t>> values;  // the same
  bool wide = false;
  std::size_t first = 0;  // the position of its first element among all the file defines
  std::size_t count = 0;
  std::int64_t firstLine = 0;
  std::vector<std::int64_t> lines;  // each record's line, unless they stand on lines one after another
  std::size_t set = 0;
  F_CellKind kind = F_CellKind::Line2;
  int nodes = 0;
  bool open = false;  // records read one by one may be added
  bool given = false;  // already in the builder, in its set's layer
  F_MeshBuilder::CellBatch batch;  // where, when given
  // When set, the records are not kept: element k is numbered firstId + k
  // and its nodes are those `held` resolved for it.
  const F_MeshBuilder* held = nullptr;
  std::int64_t firstId = 0;
  std::size_t stride() const { return static_cast<std::size_t>(1 + nodes); }
  std::int64_t at(std::size_t i) const { return wide ? values[i] : narrow[i]; }
  std::int64_t id(std::size_t k) const {
    return held ? firstId + static_cast<std::int64_t>(k) : at(k * stride());
  }
  std::int64_t node(std::size_t k, int j) const {
    return held ? held->cellNodeId(batch, k, j) : at(k * stride() + 1 + static_cast<std::size_t>(j));
  }
  std::int64_t line(std::size_t k) const { return lines.empty() ? firstLine + static_cast<std::int64_t>(k) : lines[k]; }
  // The records in 64 bits, for the builder to take as they are.
  const std::int64_t* records() {
    if (held) internalError("F_InpReader", 1);  // given already, and not kept
    if (!wide) {
      values.resize(count * stride());
      std::copy(narrow.data(), narrow.data() + count * stride(), values.data());
      decltype(narrow)().swap(narrow);
      wide = true;
    }
    return values.data();
  }
};

struct Keyword {
  std::string name;  // upper case, with its '*'
  std::vector<std::pair<std::string, std::string>> params;  // names upper case; values as written
  std::string param(const std::string& key) const {
    for (const auto& [k, v] : params) {
      if (k == key) return v;
    }
    return "";
  }
  bool has(const std::string& key) const {
    for (const auto& [k, v] : params) {
      if (k == key) return true;
    }
    return false;
  }
};

struct SetRecord {
  std::string name;
  std::vector<std::size_t> defined;     // blocks of the elements defined with ELSET= this set
  std::vector<std::int64_t> members;  // numbers named in the file
  std::vector<std::int64_t> lines;    // where each number was named
  int layer = -1;          // made while reading, or when the file has been read
  bool handing = true;     // every block defined so far went to the builder as it came
};

class InpReader {
 public:
  InpReader(F_MeshBuilder& builder) : builder_(builder) {}
  void read(F_InputFile& file, int depth);
  void finish();

 private:
  // One source file being read: its lines and the keyword at hand.
  struct Source {
    F_InputFile& file;
    F_TextScanner text;
    F_LineChunks::Reader chunks{text};
    std::string_view line;  // valid until the next read
    int lineNumber = 0;    // of `line`
    bool pending = false;  // `line` holds a keyword line not yet handled
    explicit Source(F_InputFile& f) : file(f), text(f) {}
    [[noreturn]] void fail(std::string_view what, std::string_view found) const {
      failMessage(expectedMessage(what, found.empty() ? std::string_view("an empty field") : found));
    }
    [[noreturn]] void failMessage(const std::string& message) const { failRead(file, message, lineNumber); }
  };

  bool nextLine(Source& src);  // the next line that is not blank or a comment
  // Whether the line nextLine() gave may be read in one pass (F_QuickLines).
  static bool quickLine(const Source& src);
  Keyword parseKeyword(Source& src);
  void nodes(Source& src, const Keyword& kw);
  void elements(Source& src, const Keyword& kw);
  void set(Source& src, const Keyword& kw, bool ofElements);
  void include(Source& src, const Keyword& kw, int depth);
  void skipData(Source& src);
  std::int64_t integer(Source& src, std::string_view field, std::string_view what);
  double real(Source& src, std::string_view field, std::string_view what);
  // An element read on its own, defined in elsets_[set].
  void addElement(const std::int64_t* values, const InpType& type, std::size_t set, int line);
  // The first `count` records of a part, the first on `line` and each after
  // it on the next, defined in elsets_[set]: they keep the part's storage.
  void takeRecords(ElementLines& part, std::size_t count, int line, const InpType& type, std::size_t set);
  // Gives a block just read to the builder, when that changes nothing: see there.
  void handOn(ElementBlock& block);
  // A new block of elements defined in elsets_[set], after all the others.
  ElementBlock& newBlock(std::size_t set, F_CellKind kind, std::int64_t line);
  SetRecord& setNamed(std::vector<SetRecord>& sets, std::unordered_map<std::string, std::size_t>& index,
                      const std::string& name);

  F_MeshBuilder& builder_;
  // Every element defined, in file order.
  std::vector<ElementBlock> blocks_;
  std::size_t elementCount_ = 0;
  std::size_t elementNodeCount_ = 0;  // of all of them together
  // The element at a position among all defined: its block, and its record there.
  const ElementBlock& elementAt(std::size_t index, std::size_t& k) const;
  // Elements by number: searched in place while numbers rise through the
  // file (the usual case), else through a sorted copy made once.
  bool ascending_ = true;
  std::vector<std::pair<std::int64_t, std::size_t>> sortedIndex_;
  std::optional<std::size_t> elementNumbered(std::int64_t id) const;
  std::unordered_set<std::int64_t> skippedIds_;  // elements of types that cannot be shown
  std::vector<SetRecord> elsets_;
  std::size_t layersMade_ = 0;  // elsets_ before this one have their layers
  // Bytes left from the start of the element section at hand, and the
  // records the rest of the file may hold in the layer of elsets_[expectSet_]
  // (0: none told yet): the builder makes room for them at once, so that its
  // elements need not grow by doubling, each time copied.
  std::uint64_t sectionBytes_ = 0;
  std::size_t expectSet_ = 0;
  std::uint64_t expectRecords_ = 0;
  bool expected_ = false;  // for the section at hand
  int parts_ = 0;          // *PART keywords so far
  std::unordered_map<std::string, std::size_t> elsetIndex_;
  std::vector<SetRecord> nsets_;
  std::unordered_map<std::string, std::size_t> nsetIndex_;
  std::vector<std::string_view> fields_;
  F_LineChunks::Runs<NodeLines> nodeLines_;
  F_LineChunks::Runs<ElementLines> elementLines_;
};

bool InpReader::quickLine(const Source& src) {
  // In the buffer, its line end right after it (no carriage return), with
  // the 16 bytes before it readable.
  const std::string_view line = src.line;
  return src.text.readableEnd(line) == src.text.bufferEnd() && line.data() + line.size() < src.text.bufferEnd() &&
         line.data()[line.size()] == '\n' && src.text.readableBefore(line.data());
}

bool InpReader::nextLine(Source& src) {
  for (;;) {
    if (src.text.atEnd()) return false;
    src.lineNumber = src.text.line();
    src.line = src.text.restOfLine();
    const std::string_view t = trim(src.line);
    if (t.empty() || t.starts_with("**")) continue;
    return true;
  }
}

Keyword InpReader::parseKeyword(Source& src) {
  // A keyword line that ends with a comma goes on on the next line.
  std::string text(src.line);
  while (!trim(text).empty() && trim(text).back() == ',') {
    if (!nextLine(src)) break;
    text += src.line;
  }
  std::vector<std::string_view> parts;
  splitFields(text, parts);
  Keyword kw;
  std::string name(parts.empty() ? std::string_view() : parts[0]);
  name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
  kw.name = upper(name);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const auto eq = parts[i].find('=');
    std::string key(trim(parts[i].substr(0, eq)));
    key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
    std::string value(eq == std::string_view::npos ? std::string_view() : trim(parts[i].substr(eq + 1)));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    kw.params.emplace_back(upper(key), value);
  }
  return kw;
}

std::int64_t InpReader::integer(Source& src, std::string_view field, std::string_view what) {
  std::int64_t v = 0;
  if (!parseInteger(field, v)) src.fail(what, field);
  return v;
}

double InpReader::real(Source& src, std::string_view field, std::string_view what) {
  double v = 0;
  // Fortran-style exponents (1.5D+03) are common in decks.
  std::string copy;
  if (field.find_first_of("dD") != std::string_view::npos) {
    copy = field;
    std::replace(copy.begin(), copy.end(), 'd', 'e');
    std::replace(copy.begin(), copy.end(), 'D', 'e');
    field = copy;
  }
  if (field.empty()) return 0.0;  // an empty coordinate is 0
  if (!parseReal(field, v)) src.fail(what, field);
  return v;
}

// Data lines end at the next keyword, which is left for the caller.
void InpReader::skipData(Source& src) {
  while (nextLine(src)) {
    if (trim(src.line).front() == '*') {
      src.pending = true;
      return;
    }
  }
}

void InpReader::nodes(Source& src, const Keyword& kw) {
  // NSET= here names every node of the block, not a selection worth marking.
  (void)kw;
  // A part's nodes go to the builder at once, each on the line after the one before.
  // Room for as many as the rest of the file could hold at the builder's
  // size of a node, told when the section proves long enough to be read in
  // parts: only address space, as large as those bytes.
  bool expected = false;
  auto add = [&](const NodeLines& part, std::size_t count, int line) {
    if (!expected) {
      expected = true;
      builder_.expectNodes(count + src.text.remaining() / sizeof(F_Point3D));
    }
    builder_.addNodes(part.numbers.list(), part.numbers.first, part.xyz.data(), 3, count,
                      [&](std::size_t k) { return F_MeshBuilder::Where{line + static_cast<std::int64_t>(k), false}; });
  };
  for (;;) {
    if (src.chunks.readRuns(SIZE_MAX, nodeLines_, add) > 0) continue;
    if (!nextLine(src)) return;
    if (trim(src.line).front() == '*') {
      src.pending = true;
      return;
    }
    const int line = src.lineNumber;
    {
      std::int64_t id = 0;
      double xyz[3] = {0, 0, 0};
      // The line comes without its line end's carriage return already.
      const std::string_view plain = src.line;
      if ((quickLine(src) && quickDeckNodeLine(plain.data(), plain.data() + plain.size() + 1, id, xyz)) ||
          plainDeckNodeLine(plain.data(), plain.data() + plain.size(), src.text.readableEnd(src.line), id, xyz)) {
        builder_.addNode(id, xyz[0], xyz[1], xyz[2], F_MeshBuilder::Where{line, false});
        continue;
      }
      QuickFields quick(src.line, src.text.readableEnd(src.line));
      int k = 0;
      if (quick.integer(id) && !quick.atEnd()) {
        while (k < 3 && !quick.atEnd() && quick.real(xyz[k])) ++k;
      }
      if (k > 0 && quick.atEnd()) {
        builder_.addNode(id, xyz[0], xyz[1], xyz[2], F_MeshBuilder::Where{line, false});
        continue;
      }
    }
    splitFields(src.line, fields_);
    if (fields_.size() < 2) src.fail("a node number and its coordinates", src.line);
    const std::int64_t id = integer(src, fields_[0], "a node number");
    double xyz[3] = {0, 0, 0};
    for (std::size_t k = 1; k < fields_.size() && k <= 3; ++k) xyz[k - 1] = real(src, fields_[k], "a coordinate");
    builder_.addNode(id, xyz[0], xyz[1], xyz[2], F_MeshBuilder::Where{line, false});
  }
}

void InpReader::elements(Source& src, const Keyword& kw) {
  const std::string typeName = upper(kw.param("TYPE"));
  if (typeName.empty()) src.failMessage("ERROR\nExpected TYPE= on the *ELEMENT line.");
  const std::optional<InpType> type = inpType(typeName);
  const std::string setName = kw.has("ELSET") ? kw.param("ELSET") : typeName;
  const std::size_t set = static_cast<std::size_t>(&setNamed(elsets_, elsetIndex_, setName) - elsets_.data());
  const int nodes = type ? nodeCountOf(type->kind) : 0;
  std::int64_t values[std::max(1 + kMaxCellNodes, F_DigitScan::kMostLineBytes / 2)];
  elementLines_.prototype.nodes = nodes;
  sectionBytes_ = src.text.remaining();
  expected_ = false;
  // A part's records, each on the line after the one before.
  auto add = [&](const ElementLines& part, std::size_t count, int line) {
    // The part is one of elementLines_, which this reader owns: its storage
    // may go with the records.
    takeRecords(const_cast<ElementLines&>(part), count, line, *type, set);
  };
  for (;;) {
    if (type && src.chunks.readRuns(SIZE_MAX, elementLines_, add) > 0) continue;
    if (!nextLine(src)) return;
    if (trim(src.line).front() == '*') {
      src.pending = true;
      return;
    }
    const int line = src.lineNumber;
    if (!type) {
      // Unknown types: one record per line, or more while lines end with a comma.
      builder_.skip("Abaqus element type " + typeName);
      splitFields(src.line, fields_);
      if (!fields_.empty()) skippedIds_.insert(integer(src, fields_[0], "an element number"));
      while (trim(src.line).back() == ',' && nextLine(src)) {
      }
      continue;
    }
    // A record goes on over further lines until it holds all its nodes.
    int have = 0;
    bool whole = false;
    const char* from = src.line.data();
    if ((quickLine(src) &&
         F_QuickLines::record<true>(from, src.line.data() + src.line.size() + 1, values, 1 + nodes) == 1 + nodes) ||
        plainElement(src.line, src.text.readableEnd(src.line), values, nodes)) {
      have = 1 + nodes;
      whole = true;
    } else {
      QuickFields quick(src.line);
      while (have <= nodes && !quick.atEnd() && quick.integer(values[have])) ++have;
      whole = have == 1 + nodes && quick.atEnd();
      if (!whole) have = 0;
    }
    while (!whole) {
      splitFields(src.line, fields_);
      for (const std::string_view f : fields_) {
        if (have == 1 + nodes) src.fail("the end of the element's record", f);
        values[have] = integer(src, f, have == 0 ? "an element number" : "a node number");
        ++have;
      }
      if (have == 1 + nodes) break;
      if (!nextLine(src) || trim(src.line).front() == '*') {
        src.failMessage("ERROR\nExpected " + std::to_string(nodes) + " node numbers for element " +
                             std::to_string(values[0]) + " of type " + typeName + ".");
      }
    }
    addElement(values, *type, set, line);
  }
}

ElementBlock& InpReader::newBlock(std::size_t set, F_CellKind kind, std::int64_t line) {
  // Records read one by one are handed on once their block is complete.
  if (!blocks_.empty() && blocks_.back().open) {
    blocks_.back().open = false;
    handOn(blocks_.back());
  }
  elsets_[set].defined.push_back(blocks_.size());
  ElementBlock& block = blocks_.emplace_back();
  block.first = elementCount_;
  block.firstLine = line;
  block.set = set;
  block.kind = kind;
  block.nodes = nodeCountOf(kind);
  return block;
}

void InpReader::takeRecords(ElementLines& part, std::size_t count, int line, const InpType& type, std::size_t set) {
  if (count == 0) return;
  const std::size_t stride = static_cast<std::size_t>(1 + part.nodes);
  const std::int64_t firstId = part.wide ? part.values[0] : part.narrow[0];
  if (!expected_ && part.bytes > 0) {
    // The section's lines as long as the first part's: a guess, and only room.
    expected_ = true;
    expectSet_ = set;
    expectRecords_ = sectionBytes_ / std::max<std::size_t>(1, part.bytes / count);
  }
  if (!blocks_.empty() && firstId <= blocks_.back().id(blocks_.back().count - 1)) ascending_ = false;
  if (!part.ascending) ascending_ = false;
  if (!type.order.empty()) {
    // To the shared order, in place.
    auto reorder = [&](auto* values) {
      std::int64_t file[1 + kMaxCellNodes];
      for (std::size_t k = 0; k < count; ++k) {
        auto* const r = values + k * stride;
        std::copy(r + 1, r + stride, file);
        using Value = std::remove_reference_t<decltype(*r)>;
        for (std::size_t j = 0; j < type.order.size(); ++j) r[1 + j] = static_cast<Value>(file[type.order[j]]);
      }
    };
    if (part.wide) {
      reorder(part.values.data());
    } else {
      reorder(part.narrow.data());
    }
  }
  ElementBlock& block = newBlock(set, type.kind, line);
  block.wide = part.wide;
  if (part.wide) {
    block.values.swap(part.values);
  } else {
    block.narrow.swap(part.narrow);
  }
  block.count = count;
  elementCount_ += count;
  elementNodeCount_ += count * (stride - 1);
  handOn(block);
  // Elements the builder took whose numbers run on one by one need no
  // records: the part keeps its storage for the lines after, whose pages
  // are then not taken afresh (strictly rising numbers run on one by one
  // when the last is as far from the first as the count says).
  if (block.given && part.ascending && static_cast<std::uint64_t>(part.lastId - firstId) == count - 1) {
    block.held = &builder_;
    block.firstId = firstId;
    if (part.wide) {
      block.values.swap(part.values);
    } else {
      block.narrow.swap(part.narrow);
    }
  }
}

void InpReader::handOn(ElementBlock& block) {
  // A set's layer comes after those of the sets made before it that hold
  // anything when the file has been read, and its elements in the order
  // they were defined, before the ones it names. So the block may go now
  // when every set before its own already holds something (sets only grow),
  // every block of its set before it went too, and all its nodes are
  // defined already (a cell whose node is not would wait for the end, in
  // another order than the one the messages are given in).
  SetRecord& set = elsets_[block.set];
  if (!set.handing) return;
  set.handing = false;
  for (std::size_t s = layersMade_; s < block.set; ++s) {
    if (elsets_[s].defined.empty() && elsets_[s].members.empty()) return;
  }
  for (; layersMade_ <= block.set; ++layersMade_) {
    elsets_[layersMade_].layer = builder_.addLayer(elsets_[layersMade_].name);
  }
  if (expectRecords_ > 0 && expectSet_ == block.set) {
    builder_.expectCells(set.layer, expectRecords_);
    expectRecords_ = 0;
  }
  F_MeshBuilder::CellBatch batch;
  if (!builder_.beginCells(set.layer, block.kind, block.count, batch)) return;
  const std::size_t stride = block.stride();
  const std::int32_t* const narrow = block.narrow.data();  // null when wide
  const bool known =
      block.wide ? builder_.resolveCells(batch, 0, block.values.data() + 1, stride, block.count)
                 : builder_.resolveCellsWith(batch, 0, block.count, [narrow, stride](std::size_t i, int j) {
                     return static_cast<std::int64_t>(narrow[stride * i + 1 + static_cast<std::size_t>(j)]);
                   });
  builder_.endCells(batch, known);
  block.given = set.handing = known;
  block.batch = batch;
}

void InpReader::addElement(const std::int64_t* values, const InpType& type, std::size_t set, int line) {
  if (!blocks_.empty() && values[0] <= blocks_.back().id(blocks_.back().count - 1)) ascending_ = false;
  const int nodes = nodeCountOf(type.kind);
  if (blocks_.empty() || !blocks_.back().open || blocks_.back().set != set || blocks_.back().kind != type.kind) {
    ElementBlock& block = newBlock(set, type.kind, line);
    block.open = true;
    block.wide = true;
  }
  ElementBlock& block = blocks_.back();
  if (block.lines.empty() && line != block.line(block.count)) {
    for (std::size_t k = 0; k < block.count; ++k) block.lines.push_back(block.firstLine + static_cast<std::int64_t>(k));
  }
  if (!block.lines.empty()) block.lines.push_back(line);
  block.values.push_back(values[0]);
  for (int j = 0; j < nodes; ++j) {
    block.values.push_back(type.order.empty() ? values[1 + j] : values[1 + type.order[static_cast<std::size_t>(j)]]);
  }
  ++block.count;
  ++elementCount_;
  elementNodeCount_ += static_cast<std::size_t>(nodes);
}

SetRecord& InpReader::setNamed(std::vector<SetRecord>& sets, std::unordered_map<std::string, std::size_t>& index,
                               const std::string& name) {
  // Set names are not case-sensitive.
  const auto [it, added] = index.emplace(upper(name), sets.size());
  if (added) sets.push_back(SetRecord{name, {}, {}, {}});
  return sets[it->second];
}

void InpReader::set(Source& src, const Keyword& kw, bool ofElements) {
  const char* key = ofElements ? "ELSET" : "NSET";
  auto& sets = ofElements ? elsets_ : nsets_;
  auto& index = ofElements ? elsetIndex_ : nsetIndex_;
  if (kw.param(key).empty()) src.failMessage(std::string("ERROR\nExpected ") + key + "= on the *" + key + " line.");
  const std::size_t target = &setNamed(sets, index, kw.param(key)) - sets.data();
  const bool generate = kw.has("GENERATE");
  while (nextLine(src)) {
    if (trim(src.line).front() == '*') {
      src.pending = true;
      return;
    }
    const int line = src.lineNumber;
    splitFields(src.line, fields_);
    if (generate) {
      if (fields_.size() < 2 || fields_.size() > 3) src.fail("first, last[, step]", src.line);
      const std::int64_t first = integer(src, fields_[0], "the first number");
      const std::int64_t last = integer(src, fields_[1], "the last number");
      const std::int64_t step = fields_.size() == 3 ? integer(src, fields_[2], "the step") : 1;
      // A range may not name more members than the file could define. The
      // span is counted without a sign: from a very low first to a very
      // high last it does not fit in a signed number.
      const std::uint64_t span = static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first);
      const std::uint64_t steps = step < 1 || last < first ? 0 : span / static_cast<std::uint64_t>(step);
      if (step < 1 || last < first || steps > static_cast<std::uint64_t>(src.file.size()) + 1) {
        src.failMessage("ERROR\nExpected a range with first <= last and a step of 1 or more.");
      }
      // Counted, not compared: the step after the last may pass the largest number.
      for (std::uint64_t k = 0; k <= steps; ++k) {
        sets[target].members.push_back(
            static_cast<std::int64_t>(static_cast<std::uint64_t>(first) + k * static_cast<std::uint64_t>(step)));
        sets[target].lines.push_back(line);
      }
      continue;
    }
    for (const std::string_view f : fields_) {
      std::int64_t v = 0;
      if (parseInteger(f, v)) {
        sets[target].members.push_back(v);
        sets[target].lines.push_back(line);
        continue;
      }
      // A member that is not a number names a set defined before.
      const auto found = index.find(upper(std::string(f)));
      if (found == index.end()) src.fail("a number or the name of a set defined before", f);
      const SetRecord other = sets[found->second];
      std::size_t defined = 0;
      for (std::size_t b : other.defined) {
        const ElementBlock& block = blocks_[b];
        for (std::size_t k = 0; k < block.count; ++k) sets[target].members.push_back(block.id(k));
        defined += block.count;
      }
      sets[target].lines.insert(sets[target].lines.end(), defined, line);
      sets[target].members.insert(sets[target].members.end(), other.members.begin(), other.members.end());
      sets[target].lines.insert(sets[target].lines.end(), other.lines.size(), line);
    }
  }
}

void InpReader::include(Source& src, const Keyword& kw, int depth) {
  const std::string name = kw.param("INPUT");
  if (name.empty()) src.failMessage("ERROR\nExpected INPUT= on the *INCLUDE line.");
  if (depth >= kMaxIncludeDepth) src.failMessage("ERROR\nIncluded files nest more than 16 deep.");
  std::filesystem::path path(name);
  if (path.is_relative()) path = std::filesystem::path(src.file.path()).parent_path() / path;
  // Only plain files: a device or a pipe named here would never end.
  std::error_code ec;
  auto file = std::filesystem::is_regular_file(path, ec) ? F_InputFile::open(path.string()) : nullptr;
  if (!file) src.failMessage("ERROR\nThe included file " + path.string() + " cannot be opened.");
  read(*file, depth + 1);
}

void InpReader::read(F_InputFile& file, int depth) {
  Source src(file);
  for (;;) {
    if (!src.pending && !nextLine(src)) return;
    src.pending = false;
    if (trim(src.line).front() != '*') src.fail("a keyword line (*NODE, *ELEMENT, ...)", src.line);
    const Keyword kw = parseKeyword(src);
    if (kw.name == "*NODE") {
      nodes(src, kw);
    } else if (kw.name == "*ELEMENT") {
      elements(src, kw);
    } else if (kw.name == "*ELSET") {
      set(src, kw, true);
    } else if (kw.name == "*NSET") {
      set(src, kw, false);
    } else if (kw.name == "*INCLUDE") {
      include(src, kw, depth);
    } else if (kw.name == "*PART") {
      // Each part numbers its nodes and elements on its own, and its
      // instances place it: the parts are read as one mesh, which holds
      // when their numbers differ.
      if (++parts_ == 2) {
        builder_.explainTwice("The deck has several parts (*PART), each numbered on its own: such a deck "
                              "cannot be read. Write it without parts and assemblies.");
      }
      skipData(src);
    } else {
      skipData(src);
    }
  }
}

const ElementBlock& InpReader::elementAt(std::size_t index, std::size_t& k) const {
  const auto it = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                   [](std::size_t i, const ElementBlock& b) { return i < b.first; });
  const ElementBlock& block = *(it - 1);
  k = index - block.first;
  return block;
}

std::optional<std::size_t> InpReader::elementNumbered(std::int64_t id) const {
  if (ascending_) {
    // The first block whose last number is not below id, then the record there.
    const auto it = std::lower_bound(blocks_.begin(), blocks_.end(), id,
                                     [](const ElementBlock& b, std::int64_t v) { return b.id(b.count - 1) < v; });
    if (it == blocks_.end()) return std::nullopt;
    std::size_t lo = 0, hi = it->count;
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (it->id(mid) < id) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo == it->count || it->id(lo) != id) return std::nullopt;
    return it->first + lo;
  }
  const auto it = std::lower_bound(sortedIndex_.begin(), sortedIndex_.end(), std::make_pair(id, std::size_t{0}));
  if (it == sortedIndex_.end() || it->first != id) return std::nullopt;
  return it->second;
}

void InpReader::finish() {
  using Where = F_MeshBuilder::Where;
  if (!ascending_) {
    sortedIndex_.reserve(elementCount_);
    for (const ElementBlock& block : blocks_) {
      for (std::size_t k = 0; k < block.count; ++k) sortedIndex_.emplace_back(block.id(k), block.first + k);
    }
    std::sort(sortedIndex_.begin(), sortedIndex_.end());
    for (std::size_t i = 1; i < sortedIndex_.size(); ++i) {
      if (sortedIndex_[i].first == sortedIndex_[i - 1].first) {
        std::size_t k = 0;
        const ElementBlock& later = elementAt(std::max(sortedIndex_[i].second, sortedIndex_[i - 1].second), k);
        builder_.fail("ERROR\nElement " + std::to_string(later.id(k)) + " is defined twice." +
                          (builder_.twiceWhy().empty() ? "" : "\n" + builder_.twiceWhy()),
                      Where{later.line(k), false});
      }
    }
  }
  // Every element in one set at least: room for that many cells, but for
  // those the builder has already.
  std::size_t left = elementCount_, leftNodes = elementNodeCount_;
  for (const ElementBlock& block : blocks_) {
    if (!block.given) continue;
    left -= block.count;
    leftNodes -= block.count * static_cast<std::size_t>(block.nodes);
  }
  if (left > 0) builder_.reserveCells(left, static_cast<int>((leftNodes + left - 1) / left));
  // Which elements a set holds already matters only to sets that name
  // members, and to the nodes of node sets.
  const bool anyMembers =
      std::any_of(elsets_.begin(), elsets_.end(), [](const SetRecord& s) { return !s.members.empty(); });
  std::vector<char> inSet(anyMembers || !nsets_.empty() ? elementCount_ : 0, 0);
  std::vector<std::vector<std::int64_t>> layerNodes;
  for (std::size_t s = 0; s < elsets_.size(); ++s) {
    const SetRecord& set = elsets_[s];
    if (set.members.empty() && set.defined.empty()) continue;
    // Layers are made in set order, so layer numbers index layerNodes too.
    const int layer = s < layersMade_ ? set.layer : builder_.addLayer(set.name);
    const bool marking = !set.members.empty() || !nsets_.empty();
    std::vector<std::size_t> taken;
    auto take = [&](std::size_t index) {
      // An element named twice in one set is shown once.
      if (inSet[index]) return;
      inSet[index] = 1;
      taken.push_back(index);
      std::size_t k = 0;
      const ElementBlock& e = elementAt(index, k);
      std::int64_t nodes[kMaxCellNodes];
      for (int j = 0; j < e.nodes; ++j) nodes[j] = e.node(k, j);
      builder_.addCell(layer, e.kind, nodes, e.id(k), Where{e.line(k), false});
    };
    // The elements the set defined are new to it: each block goes to the
    // builder at once.
    for (const std::size_t b : set.defined) {
      ElementBlock& e = blocks_[b];
      if (marking) {
        for (std::size_t j = 0; j < e.count; ++j) {
          inSet[e.first + j] = 1;
          taken.push_back(e.first + j);
        }
      }
      if (e.given) continue;
      builder_.addCellsShared(
          layer, e.kind, e.records() + 1, e.stride(), e.count, [&](std::size_t j) { return e.id(j); },
          [&](std::size_t j) { return Where{e.line(j), false}; });
    }
    for (std::size_t m = 0; m < set.members.size(); ++m) {
      const std::optional<std::size_t> found = elementNumbered(set.members[m]);
      if (!found && skippedIds_.count(set.members[m])) continue;
      if (!found) {
        builder_.fail("ERROR\nSet " + set.name + " names element " + std::to_string(set.members[m]) +
                          ", which the file does not define.",
                      Where{set.lines[m], false});
      }
      take(*found);
    }
    for (std::size_t i : taken) inSet[i] = 0;
    std::vector<std::int64_t> used;
    if (nsets_.empty()) {
      layerNodes.push_back({});
      continue;
    }
    for (std::size_t i : taken) {
      std::size_t k = 0;
      const ElementBlock& e = elementAt(i, k);
      for (int j = 0; j < e.nodes; ++j) used.push_back(e.node(k, j));
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    layerNodes.push_back(std::move(used));
  }
  // Each node set marks its nodes in the layers that hold them.
  std::vector<std::int64_t> marked;
  for (const SetRecord& nset : nsets_) marked.insert(marked.end(), nset.members.begin(), nset.members.end());
  std::sort(marked.begin(), marked.end());
  marked.erase(std::unique(marked.begin(), marked.end()), marked.end());
  for (std::size_t layer = 0; layer < layerNodes.size(); ++layer) {
    for (std::int64_t node : layerNodes[layer]) {
      if (std::binary_search(marked.begin(), marked.end(), node)) {
        builder_.addSpecialNode(static_cast<int>(layer), node, Where{});
      }
    }
  }
}

}  // namespace

void readInp(F_InputFile& file, F_MeshBuilder& builder) {
  InpReader reader(builder);
  reader.read(file, 0);
  reader.finish();
}
