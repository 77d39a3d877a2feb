#include "import/vtk/F_VtkLegacyReader.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <type_traits>
#include <cctype>
#include <cstring>

#include "import/F_BinaryReader.h"
#include "import/F_TextScanner.h"
#include "import/F_WorkShares.h"
#include "import/vtk/F_VtkGrid.h"
#include "include/F_Errors.h"

namespace {

using Where = F_MeshBuilder::Where;

// Bytes per value of a legacy type name; 0 for a name that is not one.
int sizeOfType(std::string type) {
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
  if (type == "bit" || type == "char" || type == "unsigned_char") return 1;
  if (type == "short" || type == "unsigned_short") return 2;
  if (type == "int" || type == "unsigned_int" || type == "float" || type == "long" || type == "unsigned_long") return 4;
  if (type == "double" || type == "vtktypeint64" || type == "vtktypeuint64" || type == "vtkidtype") return 8;
  return 0;
}

class VtkLegacyReader {
 public:
  VtkLegacyReader(F_InputFile& file, F_MeshBuilder& builder) : file_(file), text_(file), builder_(builder) {}
  void read();

 private:
  Where here() const {
    return binary_ ? Where{static_cast<std::int64_t>(text_.offset()), true} : Where{text_.line(), false};
  }
  std::int64_t count(std::string_view what, std::int64_t bytesEach);
  std::string typeWord(std::string_view what);
  // `n` values of `type`, each handed to use(index, value) as it is read.
  template <class Use>
  void each(const std::string& type, std::int64_t n, Use&& use, bool lineEnded = false);
  // Binary only: the `n` values of `type` a block at a time, a multiple of
  // `multiple` values each: useBlock(first, values, count) with the values
  // as std::int64_t (integer types but the unsigned 64-bit one) or double.
  // `lineEnded`: the caller has passed the end of the line before the values.
  template <class UseBlock>
  void eachBlock(const std::string& type, std::int64_t n, std::size_t multiple, UseBlock&& useBlock,
                 bool lineEnded = false);
  // `n` values of `type` as doubles; `keep` false reads past them.
  void values(const std::string& type, std::int64_t n, std::vector<double>& out, bool keep = true,
              bool lineEnded = false);
  // `n` binary integers of `type` just after their line, as point numbers
  // or offsets (vtkIndex of their values), read in place on several threads
  // into out[at, at + n); false, with nothing read and `out` as it was, when
  // they are too few to share out, not integers or not all there.
  bool sharedIndices(const std::string& type, std::int64_t n, std::vector<std::int64_t>& out, std::size_t at);
  void cellList(int fixedType, std::int64_t cells, std::int64_t size);  // legacy CELLS / POLYDATA lists
  // A binary cell list of `cells` cells of one point count, just after its
  // line, read in place and converted on several threads; false, with
  // nothing read, when it is too short to share out or any cell has another
  // count (the list is then read value by value).
  bool sharedCellList(int type, std::int64_t cells, std::int64_t size, Where where);
  void cells51(std::int64_t offsets, std::int64_t size, int fixedType);
  void attributes(bool onPoints, std::int64_t n);
  void skipMetadata();
  // Binary points of `type` just after their line, read in place and
  // converted on several threads straight into the builder; false, with
  // nothing read, when they are too few to share out, not reals, not all
  // there, or one of them is not a finite number (they are then read a
  // block at a time, which says so).
  bool sharedPoints(const std::string& type, std::int64_t points);
  // `n` binary cell types just after their line into cellTypes_, read in
  // place on several threads; false, with nothing read, when they are too
  // few to share out or not all there.
  bool sharedCellTypes(std::int64_t n);
  // A pending cell list read into the grid, before other cells join it.
  void settle(Where where) {
    if (!grid_.settle()) builder_.fail("ERROR\nThe file changed while it was read.", where);
  }

  F_InputFile& file_;
  F_TextScanner text_;
  F_MeshBuilder& builder_;
  bool binary_ = false;
  bool version5_ = false;
  bool polyData_ = false;
  F_VtkGrid grid_;
  std::vector<std::uint8_t> cellTypes_;  // as grid_.types will hold them
  std::vector<double> scratch_;
  std::string pendingWord_;
};

std::int64_t VtkLegacyReader::count(std::string_view what, std::int64_t bytesEach) {
  const std::int64_t n = text_.integer(what);
  if (n < 0 || static_cast<std::uint64_t>(n) > text_.remaining() / static_cast<std::uint64_t>(bytesEach) + 1) {
    text_.failMessage("ERROR\nThe " + std::string(what) + " (" + std::to_string(n) +
                      ") is more than the rest of the file can hold.");
  }
  return n;
}

std::string VtkLegacyReader::typeWord(std::string_view what) {
  std::string type(text_.word(what));
  if (sizeOfType(type) == 0) text_.fail(what, type);
  return type;
}

template <class Use>
void VtkLegacyReader::each(const std::string& type, std::int64_t n, Use&& use, bool lineEnded) {
  if (!binary_) {
    for (std::int64_t i = 0; i < n; ++i) use(static_cast<std::size_t>(i), text_.real("a value"));
    return;
  }
  eachBlock(type, n, 1, [&](std::size_t first, const auto* v, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) use(first + i, static_cast<double>(v[i]));
  }, lineEnded);
}

template <class UseBlock>
void VtkLegacyReader::eachBlock(const std::string& type, std::int64_t n, std::size_t multiple, UseBlock&& useBlock,
                                bool lineEnded) {
  if (!lineEnded) text_.endLine();
  const int size = sizeOfType(type);
  if (static_cast<std::uint64_t>(n) > text_.remaining() / static_cast<std::uint64_t>(size)) {
    failAtOffset(file_, text_.offset(), "The file ends inside a block of " + type + " values.");
  }
  std::string lower = type;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  enum Kind { Float, Double, Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64, UInt64 };
  const Kind kind = lower == "float"                                   ? Float
                    : lower == "double"                                ? Double
                    : lower == "char"                                  ? Int8
                    : lower == "bit" || lower == "unsigned_char"       ? UInt8
                    : lower == "short"                                 ? Int16
                    : lower == "unsigned_short"                        ? UInt16
                    : lower == "int" || lower == "long"                ? Int32
                    : lower == "unsigned_int" || lower == "unsigned_long" ? UInt32
                    : lower == "vtktypeuint64"                         ? UInt64
                                                                       : Int64;
  // Binary legacy data is big-endian whatever wrote it; values are read a
  // block at a time and converted by one loop chosen up front.
  constexpr bool kSwap = std::endian::native == std::endian::little;
  F_BinaryReader b(text_, false);
  // A block small enough to stay in the cache while its values are used;
  // integers stay integers, reals become doubles.
  constexpr std::size_t kBlockValues = 1 << 13;
  unsigned char chunk[kBlockValues * 8];
  std::int64_t integers[kBlockValues];
  double reals[kBlockValues];
  const std::size_t perChunk = kBlockValues / multiple * multiple;
  for (std::int64_t done = 0; done < n;) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(n - done, static_cast<std::int64_t>(perChunk)));
    b.bytes(chunk, count * static_cast<std::size_t>(size), "a block of " + type + " values");
    const std::size_t first = static_cast<std::size_t>(done);
    auto as = [&](auto sample) {
      using T = decltype(sample);
      if constexpr (std::is_floating_point_v<T>) {
        for (std::size_t i = 0; i < count; ++i) reals[i] = static_cast<double>(loadValue<T>(chunk + i * sizeof(T), kSwap));
        useBlock(first, static_cast<const double*>(reals), count);
      } else if constexpr (std::is_same_v<T, std::uint64_t>) {
        // Values past the largest signed one keep the double they had.
        for (std::size_t i = 0; i < count; ++i) reals[i] = static_cast<double>(loadValue<T>(chunk + i * sizeof(T), kSwap));
        useBlock(first, static_cast<const double*>(reals), count);
      } else {
        for (std::size_t i = 0; i < count; ++i) {
          integers[i] = static_cast<std::int64_t>(loadValue<T>(chunk + i * sizeof(T), kSwap));
        }
        useBlock(first, static_cast<const std::int64_t*>(integers), count);
      }
    };
    switch (kind) {
      case Float: as(float()); break;
      case Double: as(double()); break;
      case Int8: as(std::int8_t()); break;
      case UInt8: as(std::uint8_t()); break;
      case Int16: as(std::int16_t()); break;
      case UInt16: as(std::uint16_t()); break;
      case Int32: as(std::int32_t()); break;
      case UInt32: as(std::uint32_t()); break;
      case Int64: as(std::int64_t()); break;
      case UInt64: as(std::uint64_t()); break;
    }
    done += static_cast<std::int64_t>(count);
  }
}

void VtkLegacyReader::values(const std::string& type, std::int64_t n, std::vector<double>& out, bool keep,
                             bool lineEnded) {
  out.clear();
  if (!keep) {
    each(type, n, [](std::size_t, double) {}, lineEnded);
    return;
  }
  // A binary block is all there (each() checks it first); text is counted as it comes.
  if (binary_ && static_cast<std::uint64_t>(n) <= text_.remaining() / static_cast<std::uint64_t>(sizeOfType(type))) {
    out.reserve(static_cast<std::size_t>(n));
  }
  each(type, n, [&](std::size_t, double v) { out.push_back(v); }, lineEnded);
}

bool VtkLegacyReader::sharedIndices(const std::string& type, std::int64_t n, std::vector<std::int64_t>& out,
                                    std::size_t at) {
  std::string lower = type;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  const bool int32 = lower == "int" || lower == "long", uint32 = lower == "unsigned_int" || lower == "unsigned_long";
  const bool int64 = lower == "vtktypeint64" || lower == "vtkidtype", uint64 = lower == "vtktypeuint64";
  const std::size_t count = static_cast<std::size_t>(n);
  const int shares = F_WorkShares::count(count);
  const std::size_t size = static_cast<std::size_t>(sizeOfType(type));
  if (shares < 2 || !(int32 || uint32 || int64 || uint64) ||
      static_cast<std::uint64_t>(n) > text_.remaining() / static_cast<std::uint64_t>(size)) {
    return false;
  }
  const std::uint64_t from = text_.fileOffset();
  F_WorkShares::grow(out, at + count);
  constexpr bool kSwap = std::endian::native == std::endian::little;
  // As each() gives them, through vtkIndex: whole numbers from 0 to 1e15, else -1.
  auto index = [](auto v) -> std::int64_t {
    if constexpr (std::is_signed_v<decltype(v)>) {
      if (v < 0) return -1;
    }
    return static_cast<std::uint64_t>(v) <= 1000000000000000ull ? static_cast<std::int64_t>(v) : -1;
  };
  const bool read = F_WorkShares::readRecords(text_.file(), from, size, count, shares,
                                              [&](std::size_t first, char* bytes, std::size_t k) {
    const auto* v = reinterpret_cast<const unsigned char*>(bytes);
    std::int64_t* const to = out.data() + at + first;
    // One loop per type.
    auto as = [&](auto sample) {
      using T = decltype(sample);
      for (std::size_t i = 0; i < k; ++i) to[i] = index(loadValue<T>(v + sizeof(T) * i, kSwap));
    };
    if (int32) as(std::int32_t());
    if (uint32) as(std::uint32_t());
    if (int64) as(std::int64_t());
    if (uint64) as(std::uint64_t());
  });
  if (!read) {
    out.resize(at);
    return false;
  }
  text_.seek(from + size * static_cast<std::uint64_t>(n), 0);
  return true;
}

void VtkLegacyReader::read() {
  const std::string head(text_.restOfLine());
  if (!head.starts_with("# vtk DataFile Version")) {
    failRead(file_, expectedMessage("# vtk DataFile Version", head), 1);
  }
  version5_ = head.find("Version 5") != std::string::npos;
  (void)text_.restOfLine();  // the title
  const std::string encoding(text_.word("ASCII or BINARY"));
  if (encoding == "BINARY") {
    binary_ = true;
    text_.reportOffsets();
  } else if (encoding != "ASCII") {
    text_.fail("ASCII or BINARY", encoding);
  }
  text_.expect("DATASET");
  const std::string dataset(text_.word("UNSTRUCTURED_GRID or POLYDATA"));
  if (dataset == "POLYDATA") {
    polyData_ = true;
  } else if (dataset != "UNSTRUCTURED_GRID") {
    text_.fail("UNSTRUCTURED_GRID or POLYDATA", dataset);
  }
  std::int64_t points = -1;
  for (;;) {
    std::string section = pendingWord_.empty() ? std::string(text_.word()) : pendingWord_;
    pendingWord_.clear();
    if (section.empty()) break;
    if (section == "POINTS") {
      if (points >= 0) text_.fail("one POINTS section", section);
      points = count("number of points", binary_ ? 12 : 2);
      const std::string type = typeWord("the type of the points");
      const Where where = here();
      // Straight into the mesh, a point at a time.
      double xyz[3];
      int axis = 0;
      if (binary_) {
        text_.endLine();
        // The shared reading makes its own room.
        if (sharedPoints(type, points)) continue;
        // Room once the block is known to be all there (each() refuses it otherwise).
        if (static_cast<std::uint64_t>(3 * points) <= text_.remaining() / static_cast<std::uint64_t>(sizeOfType(type))) {
          builder_.reserveNodes(static_cast<std::uint64_t>(points));
        }
        // Whole points in every block: straight on to the builder.
        eachBlock(type, 3 * points, 3, [&](std::size_t first, const auto* v, std::size_t count) {
          double block[8192];
          const double* p = nullptr;
          if constexpr (std::is_same_v<decltype(v), const double*>) {
            p = v;
          } else {
            for (std::size_t i = 0; i < count; ++i) block[i] = static_cast<double>(v[i]);
            p = block;
          }
          builder_.addNodes(nullptr, static_cast<std::int64_t>(first / 3), p, 3, count / 3,
                            [&](std::size_t) { return where; });
        }, true);
      } else {
        each(type, 3 * points, [&](std::size_t i, double v) {
          xyz[axis] = v;
          if (++axis == 3) {
            builder_.addNode(static_cast<std::int64_t>(i / 3), xyz[0], xyz[1], xyz[2], where);
            axis = 0;
          }
        });
      }
    } else if (section == "CELLS" && !polyData_) {
      const std::int64_t n = count("number of cells", binary_ ? 4 : 2);
      const std::int64_t size = count("size of the cell list", binary_ ? 4 : 2);
      version5_ ? cells51(n, size, -1) : cellList(-1, n, size);
    } else if (polyData_ && (section == "VERTICES" || section == "LINES" || section == "POLYGONS" ||
                             section == "TRIANGLE_STRIPS")) {
      const int type = section == "VERTICES" ? 2 : section == "LINES" ? 4 : section == "POLYGONS" ? 7 : 6;
      const std::int64_t n = count("number of cells", binary_ ? 4 : 2);
      const std::int64_t size = count("size of the cell list", binary_ ? 4 : 2);
      version5_ ? cells51(n, size, type) : cellList(type, n, size);
    } else if (section == "CELL_TYPES" && !polyData_) {
      const std::int64_t n = count("number of cell types", binary_ ? 4 : 2);
      cellTypes_.clear();
      if (binary_) cellTypes_.reserve(static_cast<std::size_t>(n));
      if (binary_) {
        if (!sharedCellTypes(n)) {
          eachBlock("int", n, 1, [&](std::size_t, const auto* v, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i) {
              // An int is a whole number in range: negative ones are no index.
              const std::int64_t t = static_cast<std::int64_t>(v[i]);
              cellTypes_.push_back(static_cast<std::uint8_t>(std::clamp<std::int64_t>(t, 0, 255)));
            }
          }, true);
        }
      } else {
        each("int", n, [&](std::size_t, double t) {
          cellTypes_.push_back(static_cast<std::uint8_t>(std::clamp<std::int64_t>(vtkIndex(t), 0, 255)));
        });
      }
    } else if (section == "CELL_DATA" || section == "POINT_DATA") {
      attributes(section == "POINT_DATA", count("number of values", 1));
    } else if (section == "METADATA") {
      skipMetadata();
    } else {
      text_.fail("a section such as POINTS, CELLS or POINT_DATA", section);
    }
  }
  if (points < 0) text_.fail("POINTS", "the end of the file");
  if (!polyData_) {
    // Unstructured grids give each cell's type apart from its points.
    if (cellTypes_.size() != grid_.cellCount()) {
      text_.failMessage("ERROR\nExpected " + std::to_string(grid_.cellCount()) + " cell types, found " +
                        std::to_string(cellTypes_.size()) + ".");
    }
    grid_.types.swap(cellTypes_);
  }
  buildVtkLayers(grid_, builder_);
  // Every cell was read, and its count checked.
  file_.setGuessing(false);
}

void VtkLegacyReader::cellList(int fixedType, std::int64_t cells, std::int64_t size) {
  const Where where = here();
  settle(where);
  // The list's size bounds what the cells can hold.
  grid_.reserve(static_cast<std::size_t>(std::min(cells, size)), static_cast<std::size_t>(size));
  // Cells go into the grid as their values come; a list that does not hold
  // them is refused once the whole list has been read, as it is seen then.
  std::int64_t done = 0;
  std::int64_t left = 0;  // points of the current cell still to come
  bool failed = false;    // cell `done` has more points than the list holds
  const int type = fixedType < 0 ? 0 : fixedType;
  // One value of the list at `at`, as a point number or count (-1 for none).
  auto step = [&](std::size_t at, std::int64_t v) {
    if (left > 0) {
      grid_.connectivity.push_back(v);
      if (--left > 0) return;
    } else {
      if (done == cells || failed) return;
      left = v;
      if (left < 0 || static_cast<std::uint64_t>(left) > static_cast<std::uint64_t>(size) - (at + 1)) {
        failed = true;
        left = 0;
        return;
      }
      if (left > 0) return;
    }
    grid_.endCell(type, where);
    ++done;
  };
  if (!binary_) {
    each("int", size, [&](std::size_t at, double v) { step(at, vtkIndex(v)); });
  } else {
    text_.endLine();
    if (sharedCellList(type, cells, size, where)) return;
    eachBlock("int", size, 1, [&](std::size_t first, const auto* v, std::size_t count) {
      // An int is a whole number in range: negative ones are no index.
      auto index = [&](std::size_t i) { return std::max<std::int64_t>(static_cast<std::int64_t>(v[i]), -1); };
      for (std::size_t i = 0; i < count;) {
        const bool head = left == 0 && done < cells && !failed;
        step(first + i, index(i));
        ++i;
        // A cell whose points all lie in this block: taken at once, as step() would.
        if (head && left > 0 && static_cast<std::uint64_t>(left) <= count - i) {
          for (std::int64_t k = 0; k < left; ++k) grid_.connectivity.push_back(index(i + static_cast<std::size_t>(k)));
          i += static_cast<std::size_t>(left);
          left = 0;
          grid_.endCell(type, where);
          ++done;
        }
      }
    }, true);
  }
  if (failed) text_.failMessage("ERROR\nCell " + std::to_string(done) + " has more points than its list holds.");
  if (done < cells) text_.failMessage("ERROR\nThe cell list ends before its " + std::to_string(cells) + " cells.");
}

bool VtkLegacyReader::sharedCellList(int type, std::int64_t cells, std::int64_t size, Where where) {
  const std::size_t count = static_cast<std::size_t>(cells);
  const int shares = F_WorkShares::count(count);
  if (shares < 2 || static_cast<std::uint64_t>(size) > text_.remaining() / 4) return false;
  // Every cell as long as the first: a count, then its points, big-endian.
  const std::uint64_t from = text_.fileOffset();
  unsigned char head[4];
  if (text_.file().readAt(from, reinterpret_cast<char*>(head), 4) != 4) return false;
  const std::int64_t points = loadValue<std::int32_t>(head, std::endian::native == std::endian::little);
  if (points < 1 || points > 1024 || size / (points + 1) != cells || size % (points + 1) != 0) return false;
  const std::size_t each = static_cast<std::size_t>(points);
  const std::size_t firstCell = grid_.cellCount(), firstIndex = grid_.connectivity.size();
  constexpr bool kSwap = std::endian::native == std::endian::little;
  if (firstCell == 0 && firstIndex == 0 && !grid_.pending) {
    // The first list of the grid: its points are read only when the layers
    // are built, straight into them.
    F_WorkShares::grow(grid_.types, count);
    // A list whose size fits cells as long as the first most likely holds
    // only such cells: each count is then checked as its cell is read, and
    // a file where one differs is read again without that guess. Without
    // it, the counts are checked here.
    const std::size_t record = 4 * (each + 1);
    // Whether the k cells from `bytes` all have the first one's count.
    auto sameCounts = [points, record](const unsigned char* bytes, std::size_t k) {
      bool same = true;
      for (std::size_t c = 0; c < k; ++c) same &= loadValue<std::int32_t>(bytes + record * c, kSwap) == points;
      return same;
    };
    const bool guessed = builder_.guesses();
    if (guessed) {
      // Until every cell has been read, an error may follow from the guess.
      file_.setGuessing(true);
      std::fill_n(grid_.types.data(), count, static_cast<std::uint8_t>(type));
    } else {
      std::atomic<bool> plain{true};
      const bool read = F_WorkShares::readRecords(
          text_.file(), from, record, count, shares, [&](std::size_t first, char* bytes, std::size_t k) {
            std::fill_n(grid_.types.data() + first, k, static_cast<std::uint8_t>(type));
            if (!sameCounts(reinterpret_cast<const unsigned char*>(bytes), k)) plain.store(false, std::memory_order_relaxed);
          });
      if (!read || !plain.load()) {
        grid_.types.clear();
        return false;
      }
    }
    // On the guess, the counts of k cells read from the file are checked.
    auto checkCounts = [guessed, sameCounts](const unsigned char* bytes, std::size_t k) {
      if (guessed && !sameCounts(bytes, k)) throw F_ReadAgain{};
    };
    const F_InputFile* const file = &text_.file();
    grid_.pending = F_VtkGrid::Pending{each, [file, from, each, record, checkCounts](std::size_t first, std::size_t n, std::int64_t* out) {
      alignas(8) unsigned char bytes[65536];
      const std::size_t perBite = std::max<std::size_t>(1, sizeof bytes / record);
      if (record > sizeof bytes) return false;  // a list of cells of at most 1024 points never comes here
      for (std::size_t done = 0; done < n;) {
        const std::size_t k = std::min(perBite, n - done);
        if (file->readAt(from + (first + done) * record, reinterpret_cast<char*>(bytes), k * record) != k * record) {
          return false;
        }
        checkCounts(bytes, k);
        std::int64_t* const to = out + done * each;
        for (std::size_t c = 0; c < k; ++c) {
          const unsigned char* cell = bytes + record * c;
          // An int is a whole number in range: negative ones are no index.
          for (std::size_t j = 0; j < each; ++j) {
            to[c * each + j] = std::max<std::int64_t>(loadValue<std::int32_t>(cell + 4 * (j + 1), kSwap), -1);
          }
        }
        done += k;
      }
      return true;
    }, nullptr};
    grid_.pending->resolve = [file, from, record, checkCounts](std::size_t first, std::size_t n, F_MeshBuilder& builder,
                                                const F_MeshBuilder::CellBatch& batch, std::size_t at) {
      using Resolved = F_VtkGrid::Pending::Resolved;
      // Bites small enough to stay in the cache between the read and the resolve.
      alignas(8) unsigned char bytes[32768];
      const std::size_t perBite = std::max<std::size_t>(1, sizeof bytes / record);
      if (record > sizeof bytes) return Resolved::Short;  // a list of cells of at most 1024 points never comes here
      for (std::size_t done = 0; done < n;) {
        const std::size_t k = std::min(perBite, n - done);
        if (file->readAt(from + (first + done) * record, reinterpret_cast<char*>(bytes), k * record) != k * record) {
          return Resolved::Short;
        }
        checkCounts(bytes, k);
        // As read() gives them: negative ints are no index.
        auto id = [&](std::size_t c, int j) {
          return std::max<std::int64_t>(loadValue<std::int32_t>(bytes + record * c + 4 * static_cast<std::size_t>(j + 1), kSwap), -1);
        };
        if (!builder.resolveCellsWith(batch, at + done, k, id)) return Resolved::Unknown;
        done += k;
      }
      return Resolved::All;
    };
    grid_.places.emplace_back(firstCell, where);
    text_.seek(from + 4 * static_cast<std::uint64_t>(size), 0);
    return true;
  }
  F_WorkShares::grow(grid_.connectivity, firstIndex + count * each);
  F_WorkShares::grow(grid_.offsets, firstCell + 1 + count);
  F_WorkShares::grow(grid_.types, firstCell + count);
  std::atomic<bool> plain{true};
  const bool read = F_WorkShares::readRecords(
      text_.file(), from, 4 * (each + 1), count, shares, [&](std::size_t first, char* bytes, std::size_t k) {
        const auto* v = reinterpret_cast<const unsigned char*>(bytes);
        std::int64_t* const to = grid_.connectivity.data() + firstIndex + first * each;
        bool same = true;
        for (std::size_t c = 0; c < k; ++c) {
          const unsigned char* cell = v + 4 * (each + 1) * c;
          same &= loadValue<std::int32_t>(cell, kSwap) == points;
          // An int is a whole number in range: negative ones are no index.
          for (std::size_t j = 0; j < each; ++j) {
            to[c * each + j] = std::max<std::int64_t>(loadValue<std::int32_t>(cell + 4 * (j + 1), kSwap), -1);
          }
          grid_.offsets[firstCell + 1 + first + c] = static_cast<std::int64_t>(firstIndex + (first + c + 1) * each);
          grid_.types[firstCell + first + c] = static_cast<std::uint8_t>(type);
        }
        if (!same) plain.store(false, std::memory_order_relaxed);
      });
  if (!read || !plain.load()) {
    grid_.connectivity.resize(firstIndex);
    grid_.offsets.resize(firstCell + 1);
    grid_.types.resize(firstCell);
    return false;
  }
  // Where the cells were read, as endCell notes it.
  if (grid_.places.empty() || grid_.places.back().second.at != where.at ||
      grid_.places.back().second.isOffset != where.isOffset) {
    grid_.places.emplace_back(firstCell, where);
  }
  text_.seek(from + 4 * static_cast<std::uint64_t>(size), 0);
  return true;
}

bool VtkLegacyReader::sharedCellTypes(std::int64_t n) {
  const std::size_t count = static_cast<std::size_t>(n);
  const int shares = F_WorkShares::count(count);
  text_.endLine();
  if (shares < 2 || static_cast<std::uint64_t>(n) > text_.remaining() / 4) return false;
  const std::uint64_t from = text_.fileOffset();
  F_WorkShares::grow(cellTypes_, count);
  constexpr bool kSwap = std::endian::native == std::endian::little;
  const bool read = F_WorkShares::readRecords(text_.file(), from, 4, count, shares, [&](std::size_t first, char* bytes, std::size_t k) {
    const auto* v = reinterpret_cast<const unsigned char*>(bytes);
    std::uint8_t* const to = cellTypes_.data() + first;
    // As eachBlock gives them: out of a byte's range, the nearest end.
    for (std::size_t i = 0; i < k; ++i) {
      to[i] = static_cast<std::uint8_t>(std::clamp<std::int32_t>(loadValue<std::int32_t>(v + 4 * i, kSwap), 0, 255));
    }
  });
  if (!read) {
    cellTypes_.clear();
    return false;
  }
  text_.seek(from + 4 * static_cast<std::uint64_t>(n), 0);
  return true;
}

bool VtkLegacyReader::sharedPoints(const std::string& type, std::int64_t points) {
  const std::size_t count = static_cast<std::size_t>(points);
  const int shares = F_WorkShares::count(count);
  const int size = sizeOfType(type);
  std::string lower = type;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (shares < 2 || (lower != "float" && lower != "double") ||
      static_cast<std::uint64_t>(3 * points) > text_.remaining() / static_cast<std::uint64_t>(size)) {
    return false;
  }
  const std::uint64_t from = text_.fileOffset();
  // Big-endian reals.
  const bool swap = std::endian::native == std::endian::little;
  if (!readPointsShared(builder_, text_.file(), from, static_cast<std::size_t>(size), swap, count, shares, 0)) {
    return false;
  }
  text_.seek(from + 3 * static_cast<std::uint64_t>(size) * count, 0);
  return true;
}

void VtkLegacyReader::cells51(std::int64_t offsets, std::int64_t size, int fixedType) {
  text_.expect("OFFSETS");
  std::string type = typeWord("the type of the offsets");
  // Binary integers are read on the threads, all else value by value.
  std::vector<std::int64_t> ends;
  if (binary_) text_.endLine();
  if (!binary_ || !sharedIndices(type, offsets, ends, 0)) {
    values(type, offsets, scratch_, true, binary_);
    ends.resize(scratch_.size());
    for (std::size_t i = 0; i < scratch_.size(); ++i) ends[i] = vtkIndex(scratch_[i]);
  }
  text_.expect("CONNECTIVITY");
  type = typeWord("the type of the connectivity");
  const Where where = here();
  settle(where);
  // Read straight into the grid's connectivity when shared.
  const std::size_t base = grid_.connectivity.size();
  if (binary_) text_.endLine();
  const bool shared = binary_ && sharedIndices(type, size, grid_.connectivity, base);
  if (!shared) values(type, size, scratch_, true, binary_);
  const std::int64_t count = shared ? size : static_cast<std::int64_t>(scratch_.size());
  auto check = [&](std::size_t c) {
    const std::int64_t first = ends[c], last = ends[c + 1];
    if (first < 0 || last < first || last > count) {
      text_.failMessage("ERROR\nThe offsets of cell " + std::to_string(c) + " lie outside its connectivity.");
    }
  };
  const int cellType = fixedType < 0 ? 0 : fixedType;
  if (!shared) {
    std::vector<std::int64_t> points;
    for (std::size_t c = 0; c + 1 < ends.size(); ++c) {
      check(c);
      points.clear();
      for (std::int64_t k = ends[c]; k < ends[c + 1]; ++k) points.push_back(vtkIndex(scratch_[static_cast<std::size_t>(k)]));
      grid_.addCell(cellType, points.data(), ends[c + 1] - ends[c], where);
    }
    return;
  }
  // Every cell's points run on from the one before's: the grid keeps those
  // from the first cell's start to the last one's end, as addCell would.
  const std::size_t cells = ends.size() < 2 ? 0 : ends.size() - 1;
  for (std::size_t c = 0; c < cells; ++c) check(c);
  if (cells == 0) {
    grid_.connectivity.resize(base);
    return;
  }
  const std::int64_t start = ends.front();
  grid_.connectivity.resize(base + static_cast<std::size_t>(ends.back()));
  grid_.connectivity.erase(grid_.connectivity.begin() + static_cast<std::ptrdiff_t>(base),
                           grid_.connectivity.begin() + static_cast<std::ptrdiff_t>(base + static_cast<std::size_t>(start)));
  const std::size_t firstCell = grid_.cellCount();
  grid_.types.resize(firstCell + cells, static_cast<std::uint8_t>(cellType));
  grid_.offsets.resize(grid_.offsets.size() + cells);
  std::int64_t* const to = grid_.offsets.data() + firstCell + 1;
  for (std::size_t c = 0; c < cells; ++c) to[c] = static_cast<std::int64_t>(base) + ends[c + 1] - start;
  // Where the cells were read, as endCell notes it.
  if (grid_.places.empty() || grid_.places.back().second.at != where.at ||
      grid_.places.back().second.isOffset != where.isOffset) {
    grid_.places.emplace_back(firstCell, where);
  }
}

void VtkLegacyReader::skipMetadata() {
  // Array information blocks end with an empty line; the rest of the
  // METADATA line comes first.
  (void)text_.restOfLine();
  while (text_.remaining() > 0) {
    const std::string_view line = text_.restOfLine();
    if (line.find_first_not_of(" \t") == std::string_view::npos) return;
  }
}

void VtkLegacyReader::attributes(bool onPoints, std::int64_t n) {
  for (;;) {
    std::string kind(text_.word());
    if (kind.empty()) return;
    const Where where = here();
    if (kind == "SCALARS") {
      const std::string name(text_.word("the name of the scalars"));
      const std::string type = typeWord("the type of the scalars");
      // An optional component count, then the lookup table line.
      int components = 1;
      std::string next(text_.word("LOOKUP_TABLE"));
      std::int64_t given = 0;
      if (parseInteger(next, given)) {
        if (given < 1 || given > 4) text_.fail("1 to 4 components", next);
        components = static_cast<int>(given);
        next = text_.word("LOOKUP_TABLE");
      }
      if (next != "LOOKUP_TABLE") text_.fail("LOOKUP_TABLE", next);
      (void)text_.word("the name of the lookup table");
      values(type, n * components, scratch_);
      if (onPoints) {
        addVtkPointField(builder_, name, scratch_, components, where);
      } else if (components == 1) {
        grid_.cellArrays.push_back({name, scratch_});
      }
    } else if (kind == "VECTORS" || kind == "NORMALS") {
      const std::string name(text_.word("the name of the vectors"));
      const std::string type = typeWord("the type of the vectors");
      values(type, 3 * n, scratch_);
      if (onPoints && kind == "VECTORS") addVtkPointField(builder_, name, scratch_, 3, where);
    } else if (kind == "TENSORS" || kind == "TENSORS6") {
      (void)text_.word("the name of the tensors");
      values(typeWord("the type of the tensors"), (kind == "TENSORS" ? 9 : 6) * n, scratch_, false);
    } else if (kind == "TEXTURE_COORDINATES") {
      (void)text_.word("the name of the texture coordinates");
      const std::int64_t dim = text_.integer("the dimension of the texture coordinates");
      if (dim < 1 || dim > 3) text_.fail("1 to 3 texture dimensions", std::to_string(dim));
      values(typeWord("the type of the texture coordinates"), dim * n, scratch_, false);
    } else if (kind == "COLOR_SCALARS") {
      (void)text_.word("the name of the colour scalars");
      const std::int64_t m = text_.integer("the number of colour components");
      if (m < 1 || m > 4) text_.fail("1 to 4 colour components", std::to_string(m));
      values(binary_ ? "unsigned_char" : "float", m * n, scratch_, false);
    } else if (kind == "LOOKUP_TABLE") {
      (void)text_.word("the name of the lookup table");
      values(binary_ ? "unsigned_char" : "float", 4 * count("size of the lookup table", 4), scratch_, false);
    } else if (kind == "GLOBAL_IDS" || kind == "PEDIGREE_IDS") {
      (void)text_.word("the name of the ids");
      values(typeWord("the type of the ids"), n, scratch_, false);
    } else if (kind == "FIELD") {
      (void)text_.word("the name of the field data");
      const std::int64_t arrays = count("number of arrays", 4);
      for (std::int64_t a = 0; a < arrays; ++a) {
        std::string name(text_.word("the name of an array"));
        if (name == "METADATA") {
          skipMetadata();
          name = text_.word("the name of an array");
        }
        const std::int64_t components = text_.integer("the number of components");
        const std::int64_t tuples = count("number of tuples", 1);
        const std::string type = typeWord("the type of an array");
        if (components < 1 || components > 64) text_.fail("1 to 64 components", std::to_string(components));
        const Where at = here();
        values(type, components * tuples, scratch_);
        if (onPoints && tuples == n) addVtkPointField(builder_, name, scratch_, static_cast<int>(components), at);
        if (!onPoints && components == 1) grid_.cellArrays.push_back({name, scratch_});
      }
    } else if (kind == "METADATA") {
      skipMetadata();
    } else {
      pendingWord_ = kind;  // the next section
      return;
    }
  }
}

}  // namespace

void readVtkLegacy(F_InputFile& file, F_MeshBuilder& builder) {
  // A guess an error leaves unconfirmed is not the next reading's.
  struct Unguessed {
    F_InputFile& file;
    ~Unguessed() { file.setGuessing(false); }
  } unguessed{file};
  VtkLegacyReader(file, builder).read();
}
