#include "import/vtk/F_VtuReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <optional>
#include <type_traits>

#include "import/F_BinaryReader.h"
#include "import/F_TextScanner.h"
#include "import/F_WorkShares.h"
#include "import/vtk/F_VtkGrid.h"
#include "include/F_Errors.h"

namespace {

using Where = F_MeshBuilder::Where;

// zlib never expands data more than about a thousand times; a declared size
// beyond that is not a compressed block of this size.
constexpr std::uint64_t kMaxInflation = 1100;

struct Tag {
  std::string name;
  std::map<std::string, std::string> attributes;
  bool closing = false;
  bool selfClosing = false;
  std::size_t start = 0;  // the '<'
  std::size_t end = 0;    // just after the '>'
  std::string attribute(const std::string& key) const {
    const auto it = attributes.find(key);
    return it == attributes.end() ? "" : it->second;
  }
};

enum class Section { None, PointData, CellData, Points, Cells };

struct ArrayRef {
  Section section;
  int piece;
  Tag tag;
};

struct Piece {
  std::int64_t points = 0;
  std::int64_t cells = 0;
};

// Calls `as` with a value of the C++ type that holds one of an array's
// values of this type (a known numeric type; see valueSize).
template <class As>
void withValueType(const std::string& type, As&& as) {
  if (type == "Int8" || type == "Char") as(std::int8_t());
  else if (type == "UInt8") as(std::uint8_t());
  else if (type == "Int16") as(std::int16_t());
  else if (type == "UInt16") as(std::uint16_t());
  else if (type == "Int32" || type == "Int") as(std::int32_t());
  else if (type == "UInt32") as(std::uint32_t());
  else if (type == "Int64") as(std::int64_t());
  else if (type == "UInt64") as(std::uint64_t());
  else if (type == "Float32") as(float());
  else as(double());
}

int valueSize(const std::string& type) {
  static const std::map<std::string, int> sizes = {{"Int8", 1},  {"UInt8", 1},  {"Int16", 2},   {"UInt16", 2},
                                                   {"Int32", 4}, {"UInt32", 4}, {"Int64", 8},   {"UInt64", 8},
                                                   {"Float32", 4}, {"Float64", 8}, {"Char", 1}, {"Int", 4}};
  const auto it = sizes.find(type);
  return it == sizes.end() ? 0 : it->second;
}

// Each character's six bits, or -1.
constexpr auto kBase64 = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 26; ++i) {
    table[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(i);
    table[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) table[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(52 + i);
  table['+'] = 62;
  table['/'] = 63;
  return table;
}();
int base64Value(unsigned char c) { return kBase64[c]; }

// A point number or offset: integers as integers, the same answers as
// their doubles through vtkIndex, without the conversions.
template <class T>
std::int64_t pointIndex(T v) {
  if constexpr (std::is_integral_v<T>) {
    return v >= 0 && v <= 1000000000000000 ? static_cast<std::int64_t>(v) : -1;
  } else {
    return vtkIndex(v);
  }
}

class VtuReader {
 public:
  VtuReader(F_InputFile& file, F_MeshBuilder& builder) : file_(file), builder_(builder) {}
  void read();

 private:
  [[noreturn]] void fail(std::size_t at, const std::string& message) const {
    failAtOffset(file_, at, message);
  }
  bool nextTag(std::size_t& pos, Tag& tag);
  std::int64_t attributeCount(const Tag& tag, const char* key, std::int64_t bound);
  // The array's values, each handed to use(index, value) once all are
  // known to be there; `expected` values when it is not negative.
  // before(count) is called first, when the values are known to be there.
  template <class Use, class Before>
  void each(const ArrayRef& array, std::int64_t expected, Use&& use, Before&& before);
  template <class Use>
  void each(const ArrayRef& array, std::int64_t expected, Use&& use) {
    each(array, expected, use, [](std::size_t) {});
  }
  // As each(), but a piece of values at a time, small enough to stay in the
  // cache: useBlock(first, values, count), a multiple of `multiple` values
  // each, as doubles, or with `Integers` as std::int64_t when the array
  // holds integers (unsigned 64-bit ones past the largest signed one
  // negative), so that they need no conversion to a real and back.
  template <bool Integers, class UseBlock, class Before>
  void eachBlock(const ArrayRef& array, std::int64_t expected, std::size_t multiple, UseBlock&& useBlock,
                 Before&& before);
  // The array's values as doubles.
  std::vector<double> values(const ArrayRef& array, std::int64_t expected);
  std::vector<unsigned char> base64(std::size_t from, std::size_t to, std::size_t& consumed);
  // The array's bytes, decoded into `storage` when they are not raw in the file.
  std::span<const unsigned char> block(const ArrayRef& array, std::vector<unsigned char>& storage);

  // The file's bytes up to its appended data, or all of them (see read()).
  void readBytes(std::size_t size);
  // Where an appended raw array's values lie in the file, past its block
  // header (checked as block() checks it): the file offset and the bytes.
  std::pair<std::uint64_t, std::size_t> appendedRange(const ArrayRef& array);
  // `n` bytes of the file at `at` into `to`, which the checks before have
  // found to be there.
  void readData(std::uint64_t at, std::size_t n, void* to, std::size_t failAt) const {
    if (n > 0 && file_.readAt(at, static_cast<char*>(to), n) != n) fail(failAt, "The file changed while it was read.");
  }
  // In the bytes read so far, or the file ends there: when only a head of
  // the file was read, it is read whole and the tags again.
  void need(bool there) const {
    if (!there && partial_) throw NeedWhole{};
  }
  struct NeedWhole {};
  // Points of an appended raw array of reals, read in place and converted
  // on several threads straight into the builder; false, with nothing read,
  // when eachBlock must read them (too few, another type, not as expected,
  // not all finite).
  bool sharedPoints(const ArrayRef& array, std::int64_t expected, std::int64_t firstPoint);
  // Cell types of an appended raw array of integers, read in place on
  // several threads into types[first, first + expected); false, with nothing
  // read and `types` as it was, when eachBlock must read them (too few,
  // another type, not as expected, not all there).
  bool sharedTypes(const ArrayRef& array, std::int64_t expected, std::vector<std::uint8_t>& types, std::size_t first);
  // The connectivity of a grid's first cells, when the offsets say that
  // every cell has the same number of points and it is appended raw
  // integers: checked as the grid's would be, and left pending in the file
  // (the offsets read, the connectivity not); false, with nothing read, when
  // it must be read into the grid.
  bool pendingCells(const ArrayRef& connectivity, const ArrayRef& offsets, std::int64_t cells, std::int64_t firstPoint,
                    F_VtkGrid& grid);

  F_InputFile& file_;
  F_MeshBuilder& builder_;
  // The file's bytes from where it was opened (`from_`), read into storage
  // that is not cleared first: all of them, or when `partial_` those up to
  // the appended raw data, which is then read from the file where it is used.
  std::unique_ptr<char[]> storage_;
  std::string_view bytes_;
  std::uint64_t from_ = 0;
  std::size_t total_ = 0;  // the file's bytes from `from_`
  bool partial_ = false;
  bool swap_ = false;
  int headerSize_ = 4;
  bool compressed_ = false;
  std::optional<std::size_t> appended_;  // the byte after '_'
  bool appendedRaw_ = true;
};

bool VtuReader::nextTag(std::size_t& pos, Tag& tag) {
  for (;;) {
    const std::size_t open = bytes_.find('<', pos);
    need(open != std::string::npos);
    if (open == std::string::npos) return false;
    if (bytes_.compare(open, 4, "<!--") == 0) {
      const std::size_t close = bytes_.find("-->", open);
      need(close != std::string::npos);
      if (close == std::string::npos) fail(open, "Expected the end of the comment.");
      pos = close + 3;
      continue;
    }
    if (bytes_.compare(open, 2, "<?") == 0 || bytes_.compare(open, 2, "<!") == 0) {
      const std::size_t close = bytes_.find('>', open);
      need(close != std::string::npos);
      if (close == std::string::npos) fail(open, "Expected '>'.");
      pos = close + 1;
      continue;
    }
    tag = Tag();
    tag.start = open;
    std::size_t i = open + 1;
    need(open + 4 < bytes_.size());  // "<!--" is told from the rest by its bytes
    if (i < bytes_.size() && bytes_[i] == '/') {
      tag.closing = true;
      ++i;
    }
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (i < bytes_.size() && !isSpace(bytes_[i]) && bytes_[i] != '>' && bytes_[i] != '/') tag.name += bytes_[i++];
    for (;;) {
      while (i < bytes_.size() && isSpace(bytes_[i])) ++i;
      need(i + 1 < bytes_.size());
      if (i >= bytes_.size()) fail(open, "Expected the end of the tag <" + tag.name + ">.");
      if (bytes_[i] == '>') {
        tag.end = i + 1;
        break;
      }
      if (bytes_[i] == '/' && i + 1 < bytes_.size() && bytes_[i + 1] == '>') {
        tag.selfClosing = true;
        tag.end = i + 2;
        break;
      }
      std::string key;
      while (i < bytes_.size() && !isSpace(bytes_[i]) && bytes_[i] != '=' && bytes_[i] != '>') key += bytes_[i++];
      while (i < bytes_.size() && isSpace(bytes_[i])) ++i;
      need(i < bytes_.size());
      if (i >= bytes_.size() || bytes_[i] != '=') fail(i, "Expected '=' after the attribute " + key + ".");
      ++i;
      while (i < bytes_.size() && isSpace(bytes_[i])) ++i;
      need(i < bytes_.size());
      if (i >= bytes_.size() || (bytes_[i] != '"' && bytes_[i] != '\'')) fail(i, "Expected a quoted value.");
      const char quote = bytes_[i++];
      const std::size_t close = bytes_.find(quote, i);
      need(close != std::string::npos);
      if (close == std::string::npos) fail(i, "Expected the closing quote.");
      tag.attributes[key] = std::string(bytes_.substr(i, close - i));
      i = close + 1;
    }
    pos = tag.end;
    return true;
  }
}

std::int64_t VtuReader::attributeCount(const Tag& tag, const char* key, std::int64_t bound) {
  std::int64_t v = 0;
  if (!parseInteger(tag.attribute(key), v) || v < 0 || v > bound) {
    fail(tag.start, std::string("Expected ") + key + " to be a count the file can hold, found \"" +
                        tag.attribute(key).substr(0, 40) + "\".");
  }
  return v;
}

std::vector<unsigned char> VtuReader::base64(std::size_t from, std::size_t to, std::size_t& consumed) {
  // Decodes up to `to` or the first padding, skipping blanks; `consumed` is where it stopped.
  std::vector<unsigned char> out;
  out.reserve((to - from) / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int count = 0;
  std::size_t i = from;
  const auto* const text = reinterpret_cast<const unsigned char*>(bytes_.data());
  for (; i < to; ++i) {
    // Four characters of data at once, as long as they come without blanks.
    if (count == 0) {
      while (to - i >= 4) {
        const int a = kBase64[text[i]], b = kBase64[text[i + 1]], c = kBase64[text[i + 2]], d = kBase64[text[i + 3]];
        if ((a | b | c | d) < 0) break;
        const std::uint32_t v = (static_cast<std::uint32_t>(a) << 18) | (static_cast<std::uint32_t>(b) << 12) |
                                (static_cast<std::uint32_t>(c) << 6) | static_cast<std::uint32_t>(d);
        const unsigned char three[3] = {static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                        static_cast<unsigned char>(v)};
        out.insert(out.end(), three, three + 3);
        i += 4;
      }
      if (i >= to) break;
    }
    const unsigned char c = static_cast<unsigned char>(bytes_[i]);
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (c == '=') {
      while (i < to && bytes_[i] == '=') ++i;
      break;
    }
    const int v = base64Value(c);
    if (v < 0) fail(i, "Expected base64 data.");
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<unsigned char>(bits >> 16));
      out.push_back(static_cast<unsigned char>(bits >> 8));
      out.push_back(static_cast<unsigned char>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) out.push_back(static_cast<unsigned char>(bits >> 4));
  if (count == 3) {
    out.push_back(static_cast<unsigned char>(bits >> 10));
    out.push_back(static_cast<unsigned char>(bits >> 2));
  }
  consumed = i;
  return out;
}

// The array's data bytes, the block header checked and the blocks inflated.
std::span<const unsigned char> VtuReader::block(const ArrayRef& array, std::vector<unsigned char>& storage) {
  const Tag& tag = array.tag;
  const bool appended = tag.attribute("format") == "appended";
  std::size_t at = tag.end;
  std::size_t to = bytes_.size();
  std::vector<unsigned char> encoded;      // base64 data, decoded
  std::vector<unsigned char> headerBytes;  // a compressed array's header, decoded
  const unsigned char* p = nullptr;
  std::size_t available = 0;
  if (appended && partial_) {
    // Raw and not compressed: read from the file.
    const std::pair<std::uint64_t, std::size_t> range = appendedRange(array);
    const std::uint64_t start = range.first;
    const std::size_t n = range.second;
    storage.resize(n);
    readData(start, n, storage.data(), static_cast<std::size_t>(start - from_));
    return storage;
  }
  if (appended) {
    if (!appended_) fail(tag.start, "Expected <AppendedData> for this array.");
    std::int64_t offset = 0;
    if (!parseInteger(tag.attribute("offset"), offset) || offset < 0 ||
        static_cast<std::uint64_t>(offset) > bytes_.size() - *appended_) {
      fail(tag.start, "Expected an offset inside the appended data.");
    }
    at = *appended_ + static_cast<std::size_t>(offset);
    p = reinterpret_cast<const unsigned char*>(bytes_.data()) + at;
    available = bytes_.size() - at;
  } else {
    to = bytes_.find('<', at);
    if (to == std::string::npos) fail(at, "Expected </DataArray>.");
  }
  auto header = [&](const unsigned char* q, std::size_t i) {
    std::uint64_t v = 0;
    if (headerSize_ == 4) {
      std::uint32_t w;
      std::memcpy(&w, q + i * 4, 4);
      v = swap_ ? F_BinaryReader::swapped(w) : w;
    } else {
      std::memcpy(&v, q + i * 8, 8);
      if (swap_) v = F_BinaryReader::swapped(v);
    }
    return v;
  };
  const std::size_t h = static_cast<std::size_t>(headerSize_);
  if (appended && !appendedRaw_) {
    // Appended data in base64: laid out as an array's data within its tag,
    // each array's characters from its offset on, with no blanks and no
    // tag to end them, so each stream is decoded as far as its header says.
    auto decoded = [&](std::size_t from, std::uint64_t n) {
      if (n > (bytes_.size() - from) / 4 * 3) fail(at, "The appended data ends inside this array.");
      const std::size_t chars = static_cast<std::size_t>((n + 2) / 3 * 4);
      std::size_t end = 0;
      std::vector<unsigned char> v = base64(from, from + chars, end);
      if (v.size() < n) fail(at, "The appended data ends inside this array.");
      v.resize(static_cast<std::size_t>(n));
      return v;
    };
    if (!compressed_) {
      const std::uint64_t n = header(decoded(at, h).data(), 0);
      if (n > bytes_.size()) fail(at, "The block declares more bytes than the file holds.");
      storage = decoded(at, h + n);
      storage.erase(storage.begin(), storage.begin() + static_cast<std::ptrdiff_t>(h));
      return storage;
    }
    const std::uint64_t blocks = header(decoded(at, h).data(), 0);
    if (blocks > available) fail(at, "The block header declares more blocks than the file holds.");
    headerBytes = decoded(at, (3 + blocks) * h);  // the header is encoded apart from the data
    const std::size_t dataFrom = at + static_cast<std::size_t>(((3 + blocks) * h + 2) / 3 * 4);
    std::uint64_t packed = 0;
    for (std::uint64_t b = 0; b < blocks; ++b) {
      packed = std::min<std::uint64_t>(packed + std::min<std::uint64_t>(header(headerBytes.data(), 3 + b), bytes_.size()),
                                       bytes_.size() + 1);
    }
    if (dataFrom > bytes_.size()) fail(at, "The appended data ends inside this array.");
    encoded = decoded(dataFrom, packed);
    p = encoded.data();
    available = encoded.size();
  } else if (!compressed_) {
    if (!appended) {
      std::size_t end = 0;
      encoded = base64(at, to, end);
      p = encoded.data();
      available = encoded.size();
    }
    if (available < h) fail(at, "The data ends inside its block header.");
    const std::uint64_t n = header(p, 0);
    if (n > available - h) fail(at, "The block declares more bytes than the file holds.");
    if (appended) return {p + h, static_cast<std::size_t>(n)};
    storage.assign(p + h, p + h + n);
    return storage;
  }
  // Compressed: blocks, block size, last block's size, then each block's
  // compressed size (appended base64 ones were decoded above).
  std::size_t dataAt = 0;
  if (!appended) {
    std::size_t end = 0;
    headerBytes = base64(at, to, end);  // the header is encoded apart from the data
    if (headerBytes.size() < 3 * h) fail(at, "The data ends inside its block header.");
    const std::uint64_t blocks = header(headerBytes.data(), 0);
    if (blocks > (to - at)) fail(at, "The block header declares more blocks than the file holds.");
    if (headerBytes.size() < (3 + blocks) * h) fail(at, "The data ends inside its block header.");
    encoded = base64(end, to, end);
    p = encoded.data();
    available = encoded.size();
  } else if (appendedRaw_) {
    if (available < 3 * h) fail(at, "The data ends inside its block header.");
    const std::uint64_t blocks = header(p, 0);
    if (blocks > available / h || (3 + blocks) * h > available) fail(at, "The data ends inside its block header.");
    headerBytes.assign(p, p + (3 + blocks) * h);
    dataAt = (3 + blocks) * h;
  }
  const unsigned char* hp = headerBytes.data();
  const std::uint64_t blocks = header(hp, 0);
  const std::uint64_t blockSize = header(hp, 1);
  const std::uint64_t lastSize = header(hp, 2);
  // The blocks in turn, up to the first that the data cannot hold: where
  // each lies in the data and in the array.
  struct Block {
    std::size_t from, packed, to, size;
  };
  std::vector<Block> list;
  const char* cut = nullptr;  // why the blocks end early
  std::size_t from = dataAt, total = 0;
  for (std::uint64_t b = 0; b < blocks; ++b) {
    const std::uint64_t packed = header(hp, 3 + b);
    const std::uint64_t size = (b + 1 == blocks && lastSize != 0) ? lastSize : blockSize;
    if (packed > available - from) {
      cut = "A compressed block is longer than the data that holds it.";
      break;
    }
    if (size > kMaxInflation * packed + 1024) {
      cut = "A compressed block declares more bytes than it can hold.";
      break;
    }
    list.push_back(Block{from, static_cast<std::size_t>(packed), total, static_cast<std::size_t>(size)});
    from += packed;
    total += size;
  }
  // Each block stands alone: they are inflated on several threads, a few at
  // a time, in groups of some megabytes, so that blocks that declare more
  // than they hold take no more memory than one group before they are
  // found out. A block that cannot be inflated comes before the first the
  // data cannot hold, as when they were read one by one.
  std::vector<unsigned char> out;
  if (total <= 64 * static_cast<std::uint64_t>(available) + (1 << 20)) out.reserve(total);  // the usual ratios
  constexpr std::size_t kBlocksAtOnce = 8;
  constexpr std::size_t kGroupBytes = std::size_t{16} << 20;
  for (std::size_t first = 0; first < list.size();) {
    std::size_t end = first, bytes = 0;
    while (end < list.size() && (end == first || bytes < kGroupBytes)) bytes += list[end++].size;
    out.resize(list[end - 1].to + list[end - 1].size);
    std::atomic<bool> inflated{true};
    const int threads = end - first >= 4 * kBlocksAtOnce ? F_RenderThreads::count() : 1;
    F_WorkShares::runPieces(end - first, kBlocksAtOnce, threads, [&](std::size_t lo, std::size_t hi) {
      for (std::size_t k = first + lo; k < first + hi; ++k) {
        const Block& b = list[k];
        uLongf length = static_cast<uLongf>(b.size);
        if (uncompress(out.data() + b.to, &length, p + b.from, static_cast<uLong>(b.packed)) != Z_OK ||
            length != b.size) {
          inflated.store(false, std::memory_order_relaxed);
        }
      }
    });
    if (!inflated.load()) fail(at, "A compressed block cannot be inflated.");
    first = end;
  }
  if (cut) fail(at, cut);
  storage = std::move(out);
  return storage;
}

std::pair<std::uint64_t, std::size_t> VtuReader::appendedRange(const ArrayRef& array) {
  // The checks and messages of block() for an appended raw block.
  const Tag& tag = array.tag;
  if (!appended_ || !appendedRaw_ || compressed_) internalError("F_VtuReader", 1);
  std::int64_t offset = 0;
  if (!parseInteger(tag.attribute("offset"), offset) || offset < 0 ||
      static_cast<std::uint64_t>(offset) > total_ - *appended_) {
    fail(tag.start, "Expected an offset inside the appended data.");
  }
  const std::size_t at = *appended_ + static_cast<std::size_t>(offset);
  const std::size_t available = total_ - at;
  const std::size_t h = static_cast<std::size_t>(headerSize_);
  if (available < h) fail(at, "The data ends inside its block header.");
  unsigned char head[8];
  readData(from_ + at, h, head, at);
  std::uint64_t n = 0;
  if (h == 4) {
    n = loadValue<std::uint32_t>(head, swap_);
  } else {
    n = loadValue<std::uint64_t>(head, swap_);
  }
  if (n > available - h) fail(at, "The block declares more bytes than the file holds.");
  return {from_ + at + h, static_cast<std::size_t>(n)};
}

bool VtuReader::sharedTypes(const ArrayRef& array, std::int64_t expected, std::vector<std::uint8_t>& types,
                            std::size_t first) {
  const std::string type = array.tag.attribute("type");
  const std::size_t count = static_cast<std::size_t>(expected);
  const int shares = F_WorkShares::count(count);
  const std::size_t size = static_cast<std::size_t>(valueSize(type));
  if (!partial_ || array.tag.attribute("format") != "appended" || size == 0 || type.starts_with("Float") ||
      shares < 2) {
    return false;
  }
  // The checks of eachBlock, in its order; a count it refuses is left to it.
  const std::pair<std::uint64_t, std::size_t> range = appendedRange(array);
  if (range.second / size != count) return false;
  F_WorkShares::grow(types, first + count);
  bool read = false;
  withValueType(type, [&](auto sample) {
    using T = decltype(sample);
    if constexpr (std::is_integral_v<T>) {
      read = F_WorkShares::readRecords(file_, range.first, sizeof(T), count, shares,
                                       [&](std::size_t from, char* data, std::size_t k) {
        const auto* v = reinterpret_cast<const unsigned char*>(data);
        std::uint8_t* const to = types.data() + first + from;
        // As eachBlock gives them to read(): integers as integers, out of a byte's range 0.
        for (std::size_t i = 0; i < k; ++i) {
          const std::int64_t t = static_cast<std::int64_t>(loadValue<T>(v + sizeof(T) * i, swap_));
          to[i] = t >= 0 && t <= 255 ? static_cast<std::uint8_t>(t) : std::uint8_t{0};
        }
      });
    }
  });
  if (!read) types.resize(first);
  return read;
}

bool VtuReader::sharedPoints(const ArrayRef& array, std::int64_t expected, std::int64_t firstPoint) {
  const std::string type = array.tag.attribute("type");
  const std::size_t count = static_cast<std::size_t>(expected / 3);
  const int shares = F_WorkShares::count(count);
  if (!partial_ || array.tag.attribute("format") != "appended" || (type != "Float64" && type != "Float32") ||
      shares < 2) {
    return false;
  }
  // The checks of eachBlock, in its order; a count it refuses is left to it.
  const std::pair<std::uint64_t, std::size_t> range = appendedRange(array);
  const std::uint64_t start = range.first;
  const std::size_t bytes = range.second;
  const std::size_t size = static_cast<std::size_t>(valueSize(type));
  if (bytes / size != static_cast<std::size_t>(expected)) return false;
  return readPointsShared(builder_, file_, start, size, swap_, count, shares, firstPoint);
}

bool VtuReader::pendingCells(const ArrayRef& connectivity, const ArrayRef& offsets, std::int64_t cells,
                             std::int64_t firstPoint, F_VtkGrid& grid) {
  const std::size_t count = static_cast<std::size_t>(cells);
  const std::string pointType = connectivity.tag.attribute("type"), endType = offsets.tag.attribute("type");
  auto integer = [](const std::string& type) {
    return type == "Int32" || type == "Int64" || type == "UInt32" || type == "UInt64";
  };
  if (!partial_ || grid.cellCount() > 0 || grid.connectivity.size() > 0 || grid.pending ||
      connectivity.tag.attribute("format") != "appended" || offsets.tag.attribute("format") != "appended" ||
      !integer(pointType) || !integer(endType) || F_WorkShares::count(count) < 2) {
    return false;
  }
  // The checks of the connectivity's and the offsets' eachBlock, in their
  // order; anything they would refuse, or offsets of cells of more than one
  // size, is left to them.
  const std::pair<std::uint64_t, std::size_t> pointRange = appendedRange(connectivity);
  const std::pair<std::uint64_t, std::size_t> endRange = appendedRange(offsets);
  const std::uint64_t pointsAt = pointRange.first, endsAt = endRange.first;
  const std::size_t pointBytes = pointRange.second, endBytes = endRange.second;
  const std::size_t pointSize = static_cast<std::size_t>(valueSize(pointType));
  const std::size_t endSize = static_cast<std::size_t>(valueSize(endType));
  const std::size_t values = pointBytes / pointSize;
  if (endBytes / endSize != count) return false;
  std::int64_t each = -1;
  std::atomic<bool> even{true};
  bool read = false;
  withValueType(endType, [&](auto sample) {
    using T = decltype(sample);
    if constexpr (std::is_integral_v<T>) {
      unsigned char first[sizeof(T)];
      readData(endsAt, sizeof(T), first, static_cast<std::size_t>(endsAt - from_));
      each = pointIndex(loadValue<T>(first, swap_));
      // Every cell as long as the first, and all of them inside the connectivity.
      if (each < 1 || each > 1024 || static_cast<std::uint64_t>(each) * count > values) return;
      read = F_WorkShares::readRecords(file_, endsAt, sizeof(T), count, F_WorkShares::count(count),
                                       [&](std::size_t from, char* data, std::size_t k) {
                                         const auto* v = reinterpret_cast<const unsigned char*>(data);
                                         bool same = true;
                                         for (std::size_t i = 0; i < k; ++i) {
                                           same &= pointIndex(loadValue<T>(v + sizeof(T) * i, swap_)) ==
                                                   each * static_cast<std::int64_t>(from + i + 1);
                                         }
                                         if (!same) even.store(false, std::memory_order_relaxed);
                                       });
    }
  });
  if (!read || !even.load()) return false;
  const std::size_t points = static_cast<std::size_t>(each);
  withValueType(pointType, [&](auto sample) {
    using T = decltype(sample);
    if constexpr (std::is_integral_v<T>) {
      grid.pending = F_VtkGrid::Pending{
          points, [file = &file_, pointsAt, points, firstPoint, swap = swap_](
                      std::size_t first, std::size_t n, std::int64_t* out) {
            constexpr std::size_t kPiece = 4096;
            std::uint64_t words[kPiece];
            const auto* bytes = reinterpret_cast<const unsigned char*>(words);
            const std::size_t all = n * points;
            for (std::size_t done = 0; done < all;) {
              const std::size_t k = std::min(kPiece, all - done);
              if (file->readAt(pointsAt + (first * points + done) * sizeof(T), reinterpret_cast<char*>(words),
                               k * sizeof(T)) != k * sizeof(T)) {
                return false;
              }
              for (std::size_t i = 0; i < k; ++i) {
                const std::int64_t point = pointIndex(loadValue<T>(bytes + sizeof(T) * i, swap));
                out[done + i] = point < 0 ? -1 : firstPoint + point;
              }
              done += k;
            }
            return true;
          },
          nullptr};
      grid.pending->resolve = [file = &file_, pointsAt, points, firstPoint, swap = swap_](
                                  std::size_t first, std::size_t n, F_MeshBuilder& builder,
                                  const F_MeshBuilder::CellBatch& batch, std::size_t at) {
        using Resolved = F_VtkGrid::Pending::Resolved;
        // Bites small enough to stay in the cache between the read and the
        // resolve, large enough that the reads cost little beside the copy.
        constexpr std::size_t kPiece = 16384;
        std::uint64_t words[kPiece];
        const auto* bytes = reinterpret_cast<const unsigned char*>(words);
        const std::size_t perBite = std::max<std::size_t>(1, kPiece * 8 / sizeof(T) / points);
        // The byte order as a constant, so that each gets a loop of its own.
        auto resolveAll = [&](auto swapped) {
          for (std::size_t done = 0; done < n;) {
            const std::size_t k = std::min(perBite, n - done);
            const std::size_t size = k * points * sizeof(T);
            if (size > sizeof words) return Resolved::Short;  // cells of at most 1024 points never come here
            if (file->readAt(pointsAt + (first + done) * points * sizeof(T), reinterpret_cast<char*>(words), size) !=
                size) {
              return Resolved::Short;
            }
            // As read() gives them.
            auto id = [&](std::size_t c, int j) {
              const std::int64_t point = pointIndex(loadValue<T>(
                  bytes + sizeof(T) * (c * points + static_cast<std::size_t>(j)), decltype(swapped)::value));
              return point < 0 ? std::int64_t{-1} : firstPoint + point;
            };
            if (!builder.resolveCellsWith(batch, at + done, k, id)) return Resolved::Unknown;
            done += k;
          }
          return Resolved::All;
        };
        return swap ? resolveAll(std::true_type{}) : resolveAll(std::false_type{});
      };
    }
  });
  return grid.pending.has_value();
}

template <bool Integers, class UseBlock, class Before>
void VtuReader::eachBlock(const ArrayRef& array, std::int64_t expected, std::size_t multiple, UseBlock&& useBlock,
                          Before&& before) {
  const std::string type = array.tag.attribute("type");
  const std::string format = array.tag.attribute("format");
  if (format != "binary" && format != "appended") {
    // Text is converted whole first, as each() does.
    std::vector<double> all;
    each(array, expected, [&](std::size_t, double v) { all.push_back(v); },
         [&](std::size_t n) {
           all.reserve(n);
           before(n);
         });
    useBlock(std::size_t{0}, static_cast<const double*>(all.data()), all.size());
    return;
  }
  const int size = valueSize(type);
  if (size == 0) fail(array.tag.start, "Expected a numeric type for the array " + array.tag.attribute("Name") + ".");
  std::vector<unsigned char> storage;
  // Raw appended data of a file read in part is read a piece at a time, as it is converted.
  const bool inFile = partial_ && format == "appended";
  std::uint64_t start = 0;
  std::span<const unsigned char> data;
  std::size_t n = 0;
  if (inFile) {
    const auto range = appendedRange(array);
    start = range.first;
    n = range.second / static_cast<std::size_t>(size);
  } else {
    data = block(array, storage);
    n = data.size() / static_cast<std::size_t>(size);
  }
  if (expected >= 0 && static_cast<std::int64_t>(n) != expected) {
    fail(array.tag.start, "Expected " + std::to_string(expected) + " values in the array " +
                              array.tag.attribute("Name") + ", found " + std::to_string(n) + ".");
  }
  before(n);
  constexpr std::size_t kPiece = 4096;
  const std::size_t perPiece = kPiece / multiple * multiple;
  auto as = [&](auto sample) {
    using T = decltype(sample);
    using Out = std::conditional_t<Integers && std::is_integral_v<T>, std::int64_t, double>;
    Out piece[kPiece];
    std::uint64_t words[kPiece];  // room for the largest values
    unsigned char* const bytes = reinterpret_cast<unsigned char*>(words);
    for (std::size_t first = 0; first < n; first += perPiece) {
      const std::size_t count = std::min(perPiece, n - first);
      if (inFile) {
        readData(start + first * sizeof(T), count * sizeof(T), bytes, static_cast<std::size_t>(start - from_));
      }
      const unsigned char* from = inFile ? bytes : data.data() + first * sizeof(T);
      for (std::size_t k = 0; k < count; ++k) piece[k] = static_cast<Out>(loadValue<T>(from + k * sizeof(T), swap_));
      useBlock(first, static_cast<const Out*>(piece), count);
    }
  };
  withValueType(type, as);
}

template <class Use, class Before>
void VtuReader::each(const ArrayRef& array, std::int64_t expected, Use&& use, Before&& before) {
  const Tag& tag = array.tag;
  const std::string type = tag.attribute("type");
  const int size = valueSize(type);
  if (size == 0) fail(tag.start, "Expected a numeric type for the array " + tag.attribute("Name") + ".");
  auto check = [&](std::size_t found) {
    if (expected >= 0 && static_cast<std::int64_t>(found) != expected) {
      fail(tag.start, "Expected " + std::to_string(expected) + " values in the array " + tag.attribute("Name") +
                          ", found " + std::to_string(found) + ".");
    }
  };
  const std::string format = tag.attribute("format");
  if (format == "ascii") {
    std::vector<double> out;
    std::size_t i = tag.end;
    const std::size_t to = bytes_.find('<', i);
    if (to == std::string::npos) fail(i, "Expected </DataArray>.");
    while (i < to) {
      while (i < to && (bytes_[i] == ' ' || bytes_[i] == '\n' || bytes_[i] == '\r' || bytes_[i] == '\t')) ++i;
      std::size_t j = i;
      while (j < to && !(bytes_[j] == ' ' || bytes_[j] == '\n' || bytes_[j] == '\r' || bytes_[j] == '\t')) ++j;
      if (j == i) break;
      double v = 0;
      if (!parseReal(bytes_.substr(i, j - i), v)) fail(i, "Expected a number.");
      out.push_back(v);
      i = j;
    }
    check(out.size());
    before(out.size());
    for (std::size_t k = 0; k < out.size(); ++k) use(k, out[k]);
  } else if (format == "binary" || format == "appended") {
    std::vector<unsigned char> storage;
    const std::span<const unsigned char> data = block(array, storage);
    const std::size_t n = data.size() / static_cast<std::size_t>(size);
    check(n);
    before(n);
    // One conversion loop per type, chosen once, straight from the bytes.
    auto as = [&](auto sample) {
      using T = decltype(sample);
      for (std::size_t k = 0; k < n; ++k) use(k, static_cast<double>(loadValue<T>(data.data() + k * sizeof(T), swap_)));
    };
    withValueType(type, as);
  } else {
    fail(tag.start, "Expected format ascii, binary or appended, found \"" + format.substr(0, 20) + "\".");
  }
}

std::vector<double> VtuReader::values(const ArrayRef& array, std::int64_t expected) {
  std::vector<double> out;
  each(
      array, expected, [&](std::size_t, double v) { out.push_back(v); }, [&](std::size_t n) { out.reserve(n); });
  return out;
}

void VtuReader::readBytes(std::size_t size) {
  storage_.reset(new char[std::max<std::size_t>(size, 1)]);
  // Straight from the file into place: through the stream's buffer every
  // byte would be copied twice.
  const std::size_t got = F_WorkShares::readAt(file_, from_, storage_.get(), size);
  bytes_ = std::string_view(storage_.get(), got);
}

void VtuReader::read() {
  // Arrays point into the appended data by offset. Only the head of a large
  // file is read at first: when it holds all the tags, and the appended data
  // is raw, the arrays are read from the file where they are used, a piece at
  // a time, instead of the whole file into fresh memory first.
  constexpr std::size_t kHead = 64 * 1024;
  const std::size_t size = static_cast<std::size_t>(file_.size());
  from_ = file_.offset();
  partial_ = size > kHead;
  std::size_t pos = 0;
  Tag tag;
  bool sawFile = false;
  Section section = Section::None;
  std::vector<Piece> pieces;
  std::vector<ArrayRef> arrays;
  auto readTags = [&] {
    pos = 0;
    sawFile = false;
    section = Section::None;
    pieces.clear();
    arrays.clear();
    appended_.reset();
    appendedRaw_ = true;
    compressed_ = false;
    while (nextTag(pos, tag)) {
      if (tag.closing) {
        if (tag.name == "PointData" || tag.name == "CellData" || tag.name == "Points" || tag.name == "Cells") {
          section = Section::None;
        }
        continue;
      }
      if (tag.name == "VTKFile") {
        if (tag.attribute("type") != "UnstructuredGrid") {
          fail(tag.start, "Expected type=\"UnstructuredGrid\", found \"" + tag.attribute("type").substr(0, 40) + "\".");
        }
        const std::string order = tag.attribute("byte_order");
        swap_ = (order == "BigEndian") != (std::endian::native == std::endian::big);
        const std::string headerType = tag.attribute("header_type");
        if (headerType == "UInt64") {
          headerSize_ = 8;
        } else if (headerType.empty() || headerType == "UInt32") {
          headerSize_ = 4;
        } else {
          fail(tag.start, "Expected header_type UInt32 or UInt64.");
        }
        const std::string compressor = tag.attribute("compressor");
        compressed_ = !compressor.empty();
        if (compressed_ && compressor != "vtkZLibDataCompressor") {
          fail(tag.start, "Expected no compressor or vtkZLibDataCompressor, found \"" + compressor.substr(0, 40) + "\".");
        }
        sawFile = true;
      } else if (tag.name == "Piece") {
        Piece piece;
        const auto bound = static_cast<std::int64_t>(total_);
        piece.points = attributeCount(tag, "NumberOfPoints", bound);
        piece.cells = attributeCount(tag, "NumberOfCells", bound);
        pieces.push_back(piece);
      } else if (tag.name == "PointData") {
        section = Section::PointData;
      } else if (tag.name == "CellData") {
        section = Section::CellData;
      } else if (tag.name == "Points") {
        section = Section::Points;
      } else if (tag.name == "Cells") {
        section = Section::Cells;
      } else if (tag.name == "DataArray" && !pieces.empty()) {
        arrays.push_back(ArrayRef{section, static_cast<int>(pieces.size()) - 1, tag});
      } else if (tag.name == "AppendedData") {
        const std::size_t underscore = bytes_.find('_', tag.end);
        need(underscore != std::string::npos);
        if (underscore == std::string::npos) fail(tag.end, "Expected '_' before the appended data.");
        appended_ = underscore + 1;
        appendedRaw_ = tag.attribute("encoding") == "raw";
        break;  // raw bytes follow: no more tags to look for
      }
    }
    // Compressed or encoded appended data is read where it stands.
    need(appended_.has_value() && appendedRaw_ && !compressed_);
  };
  if (partial_) {
    readBytes(kHead);
    total_ = size - static_cast<std::size_t>(std::min<std::uint64_t>(from_, size));
    try {
      readTags();
    } catch (const NeedWhole&) {
      partial_ = false;
    }
  }
  if (!partial_) {
    readBytes(size);
    total_ = bytes_.size();
    readTags();
  }
  file_.seek(from_ + total_);

  if (!sawFile) fail(0, "Expected <VTKFile type=\"UnstructuredGrid\">.");
  if (pieces.empty()) fail(0, "Expected a <Piece>.");

  F_VtkGrid grid;
  std::map<std::string, std::size_t> cellArrayIndex;
  std::int64_t firstPoint = 0;
  std::map<std::string, std::vector<double>> pointFields;
  std::map<std::string, int> pointComponents;
  std::vector<std::string> pointFieldOrder;
  for (int p = 0; p < static_cast<int>(pieces.size()); ++p) {
    const Piece& piece = pieces[static_cast<std::size_t>(p)];
    const ArrayRef* points = nullptr;
    const ArrayRef *connectivity = nullptr, *offsets = nullptr, *types = nullptr;
    for (const ArrayRef& a : arrays) {
      if (a.piece != p) continue;
      const std::string name = a.tag.attribute("Name");
      if (a.section == Section::Points && !points) points = &a;
      if (a.section == Section::Cells && name == "connectivity") connectivity = &a;
      if (a.section == Section::Cells && name == "offsets") offsets = &a;
      if (a.section == Section::Cells && name == "types") types = &a;
    }
    if (piece.points > 0 && !points) fail(0, "Expected the <Points> of a piece.");
    if (piece.cells > 0 && (!connectivity || !offsets || !types)) {
      fail(0, "Expected the connectivity, offsets and types arrays of a piece's <Cells>.");
    }
    if (points) {
      // Straight into the mesh, a point at a time.
      const Where where{static_cast<std::int64_t>(points->tag.start), true};
      if (!sharedPoints(*points, 3 * piece.points, firstPoint)) eachBlock<false>(
          *points, 3 * piece.points, 3,
          [&](std::size_t first, const double* xyz, std::size_t count) {
            builder_.addNodes(nullptr, firstPoint + static_cast<std::int64_t>(first / 3), xyz, 3, count / 3,
                              [&](std::size_t) { return where; });
          },
          [&](std::size_t n) { builder_.reserveNodes(n / 3); });
    }
    if (piece.cells > 0) {
      if (!grid.settle()) fail(connectivity->tag.start, "The file changed while it was read.");
      // The arrays go straight into the grid's own: point numbers (the
      // piece's first point added) into its connectivity, cell ends into
      // its offsets, types into its types.
      const std::size_t firstCell = grid.cellCount();
      const std::size_t firstIndex = grid.connectivity.size();
      // Integers are judged as integers: the same answers as their doubles
      // through vtkIndex, without the conversions.
      auto index = [](auto v) { return pointIndex(v); };
      // Cells of one size may stay in the file until the layers are built.
      const bool pending = pendingCells(*connectivity, *offsets, piece.cells, firstPoint, grid);
      std::size_t count = 0;
      const std::size_t firstEnd = grid.offsets.size();
      if (!pending) {
        eachBlock<true>(
            *connectivity, -1, 1,
            [&](std::size_t first, const auto* v, std::size_t n) {
              std::int64_t* const to = grid.connectivity.data() + firstIndex + first;
              for (std::size_t k = 0; k < n; ++k) {
                const std::int64_t point = index(v[k]);
                to[k] = point < 0 ? -1 : firstPoint + point;
              }
            },
            [&](std::size_t n) { F_WorkShares::grow(grid.connectivity, firstIndex + n); });
        count = grid.connectivity.size() - firstIndex;
        // Room only once the values are known to be there: a declared count
        // alone reserves nothing.
        eachBlock<true>(
            *offsets, piece.cells, 1,
            [&](std::size_t first, const auto* v, std::size_t n) {
              std::int64_t* const to = grid.offsets.data() + firstEnd + first;
              for (std::size_t k = 0; k < n; ++k) to[k] = index(v[k]);
            },
            [&](std::size_t n) { F_WorkShares::grow(grid.offsets, firstEnd + n); });
      }
      if (!sharedTypes(*types, piece.cells, grid.types, firstCell)) eachBlock<true>(
          *types, piece.cells, 1,
          [&](std::size_t first, const auto* v, std::size_t n) {
            std::uint8_t* const to = grid.types.data() + firstCell + first;
            for (std::size_t k = 0; k < n; ++k) {
              to[k] = v[k] >= 0 && v[k] <= 255 ? static_cast<std::uint8_t>(static_cast<int>(v[k])) : std::uint8_t{0};
            }
          },
          [&](std::size_t n) { F_WorkShares::grow(grid.types, firstCell + n); });
      if (!pending) {
        // Each cell's points run on from where the one before ended; those
        // after the last cell's end belong to no cell.
        std::int64_t begin = 0;
        for (std::size_t c = 0; c < static_cast<std::size_t>(piece.cells); ++c) {
          std::int64_t& end = grid.offsets[firstEnd + c];
          if (end < begin || end > static_cast<std::int64_t>(count)) {
            fail(offsets->tag.start, "The offsets of cell " + std::to_string(c) + " lie outside its connectivity.");
          }
          begin = end;
          end += static_cast<std::int64_t>(firstIndex);
        }
        grid.connectivity.resize(firstIndex + static_cast<std::size_t>(begin));
      }
      const Where where{static_cast<std::int64_t>(connectivity->tag.start), true};
      if (grid.places.empty() || grid.places.back().second.at != where.at || !grid.places.back().second.isOffset) {
        grid.places.emplace_back(firstCell, where);
      }
    }
    for (const ArrayRef& a : arrays) {
      if (a.piece != p || (a.section != Section::PointData && a.section != Section::CellData)) continue;
      const std::string name = a.tag.attribute("Name");
      std::int64_t components = 1;
      if (!a.tag.attribute("NumberOfComponents").empty()) components = attributeCount(a.tag, "NumberOfComponents", 64);
      if (components < 1) continue;
      if (valueSize(a.tag.attribute("type")) == 0) continue;  // strings and the like
      if (a.section == Section::PointData) {
        const std::vector<double> v = values(a, components * piece.points);
        if (!pointFields.count(name)) pointFieldOrder.push_back(name);
        auto& all = pointFields[name];
        // A field missing from an earlier piece holds zeros there.
        all.resize(static_cast<std::size_t>(firstPoint * components), 0.0);
        all.insert(all.end(), v.begin(), v.end());
        pointComponents[name] = static_cast<int>(components);
      } else if (components == 1) {
        const std::vector<double> v = values(a, piece.cells);
        auto found = cellArrayIndex.find(name);
        if (found == cellArrayIndex.end()) {
          found = cellArrayIndex.emplace(name, grid.cellArrays.size()).first;
          grid.cellArrays.push_back({name, {}});
        }
        auto& all = grid.cellArrays[found->second].values;
        all.resize(grid.cellCount() - static_cast<std::size_t>(piece.cells), 0.0);
        all.insert(all.end(), v.begin(), v.end());
      }
    }
    firstPoint += piece.points;
  }
  buildVtkLayers(grid, builder_);
  for (const std::string& name : pointFieldOrder) {
    std::vector<double>& v = pointFields[name];
    v.resize(static_cast<std::size_t>(firstPoint * pointComponents[name]), 0.0);
    addVtkPointField(builder_, name, v, pointComponents[name], Where{0, true});
  }
}

}  // namespace

void readVtu(F_InputFile& file, F_MeshBuilder& builder) { VtuReader(file, builder).read(); }
