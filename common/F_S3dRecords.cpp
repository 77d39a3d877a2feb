#include "common/F_S3dRecords.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/F_RecordScan.h"
#include "common/F_RenderThreads.h"
#include "include/F_WordReader.h"

namespace F_S3dRecords {
namespace {

using namespace F_RecordScan;

// Any byte other than digits, signs, points and blanks (a comment, a stray
// CarriageReturn, anything the ordinary reader must judge) fails a word.
struct ElementLine {
  using Record = F_S3dElement;
  int points;
  // Item, node count, nodes: the count must match the words, each node lie in 1..points.
  bool parse(std::string_view line, const char* limit, int& item, F_S3dElement& e) const {
    const char *p = line.data(), *end = p + line.size();
    int count;
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, item)) return false;
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, count) || count < 0 || count > kMostNodes) return false;
    e.nodes.clear();
    for (int j = 0; j < count; ++j) {
      int v;
      skipBlanks(p, limit);
      if (!integerAt(p, end, limit, v) || v < 1 || v > points) return false;
      e.nodes.append(v);
    }
    skipBlanks(p, limit);
    return p == end;
  }
};

struct PointLine {
  using Record = F_Point3D;
  bool parse(std::string_view line, const char* limit, int& item, F_Point3D& q) const {
    const char *p = line.data(), *end = p + line.size();
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, item)) return false;
    for (double* v : {&q.x, &q.y, &q.z}) {
      skipBlanks(p, limit);
      if (!realAt(p, end, limit, *v)) return false;
    }
    skipBlanks(p, limit);
    return p == end;
  }
};

// The room reserved in the output for the records still to come. Each thread
// has the pages its records will be copied to made ready (given memory)
// while the others parse, so that the copy after them does not stop at every
// fresh page: on one thread that costs as much as a good part of the parse.
// A record's place follows from its item number; numbers that do not follow
// on only make ready pages of the room that stay unused, never more than the
// records read take.
struct Slots {
  char* base;  // of the output's storage (nullptr when it has none)
  int size, capacity;  // records in the output, and room for them
  int nextItem;  // the item of the record that goes to place size + 1
  std::size_t recordBytes;

  void populate(int firstItem, std::size_t records) const {
#ifdef MADV_POPULATE_WRITE
    if (base == nullptr || records == 0) return;
    const std::int64_t from = std::max<std::int64_t>(std::int64_t{size} + firstItem - nextItem, size);
    const std::int64_t to = std::min<std::int64_t>(std::int64_t{size} + firstItem - nextItem + static_cast<std::int64_t>(records), capacity);
    if (to <= from) return;
    const std::uintptr_t page = 4096;
    const std::uintptr_t lo = (reinterpret_cast<std::uintptr_t>(base + from * recordBytes) + page - 1) & ~(page - 1);
    const std::uintptr_t hi = reinterpret_cast<std::uintptr_t>(base + to * recordBytes) & ~(page - 1);
    if (hi > lo) ::madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_POPULATE_WRITE);  // a hint: failure costs nothing
#else
    (void)firstItem;
    (void)records;
#endif
  }
};

template <class Parser, class Out>
int readLines(F_InputFile& file, int next, int last, const Parser& parser, Out& out) {
  if (next > last) return 0;
  const std::string_view buffered = file.buffered();
  // The rest of the current line must be blank: the last record read ends there.
  std::size_t start = 0;
  while (start < buffered.size() && blank(buffered[start])) ++start;
  if (start < buffered.size() && buffered[start] == '\r') ++start;
  if (start >= buffered.size() || buffered[start] != '\n') return 0;
  const std::uint64_t from = file.offset() + start + 1;

  using Record = typename Parser::Record;
  const Slots slots{reinterpret_cast<char*>(out.data()), out.size(), out.capacity(), next, sizeof(Record)};
  const InPlace read = readInPlace<Record>(
      file, from, buffered.substr(start + 1), next, last,
      [&](std::string_view line, const char* limit, int& item, Record& record) {
        return parser.parse(line, limit, item, record);
      },
      [&](std::vector<Record>& records) { out.append(records.data(), records.data() + records.size()); },
      [&](int firstItem, std::size_t records) { slots.populate(firstItem, records); });
  if (read.records == 0) return 0;
  // The file stays at the NewLine of the last record read, as after the
  // ordinary reader: the rest of that line is what the caller skips. So the
  // lines passed are the current one and all but the last record's.
  file.seek(read.end - 1);
  file.lineNumber() += read.records;
  return read.records;
}

}  // namespace

int readElements(F_InputFile& file, int next, int last, int points, F_SharedVector<F_S3dElement>& out) {
  return readLines(file, next, last, ElementLine{points}, out);
}

int readPoints(F_InputFile& file, int next, int last, F_Vector<F_Point3D>& out) {
  return readLines(file, next, last, PointLine{}, out);
}

}  // namespace F_S3dRecords
