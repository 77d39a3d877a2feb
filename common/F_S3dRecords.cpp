#include "common/F_S3dRecords.h"

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
  static constexpr std::size_t kShortestLine = 4;  // "1 0" and its NewLine
  int points;
  // Item, node count, nodes: the count must match the words, each node lie in 1..points.
  bool parse(std::string_view line, const char* limit, int& item, F_S3dElement& e) const {
    const char *p = line.data(), *end = p + line.size();
    int count;
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, item)) return false;
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, count) || count < 0 || count > kMostNodes) return false;
    e.nodes.resizeForOverwrite(count);  // each written below, or the record declined
    int* const nodes = e.nodes.data();
    for (int j = 0; j < count; ++j) {
      skipBlanks(p, limit);
      if (!integerAt(p, end, limit, nodes[j]) || nodes[j] < 1 || nodes[j] > points) return false;
    }
    skipBlanks(p, limit);
    return p == end;
  }
};

struct PointLine {
  using Record = F_Point3D;
  static constexpr std::size_t kShortestLine = 8;  // "1 0 0 0" and its NewLine
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

// Where the records go: the head's appended, the rest constructed in the
// list's room past its end, as far as the rest of the file can hold records
// (a line of `shortestLine` bytes each), never further on a declared count.
template <class Record, class List>
struct Into {
  List& list;
  std::size_t shortestLine;

  void deliver(std::vector<Record>& records) { list.append(records.data(), records.data() + records.size()); }
  F_RecordScan::Room<Record> room(double, std::size_t records, std::uint64_t bytes) {
    const std::size_t most = std::min<std::uint64_t>(
        {records, bytes / shortestLine, static_cast<std::uint64_t>(2147483647 - list.size())});
    if (static_cast<std::size_t>(list.capacity() - list.size()) < most) list.reserve(list.size() + static_cast<int>(most));
    return {list.end(), static_cast<std::size_t>(list.capacity() - list.size())};
  }
  void adopt(std::size_t n) { list.adopt(static_cast<int>(n)); }
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
  Into<Record, Out> into{out, Parser::kShortestLine};
  const InPlace read = readInPlace<Record>(
      file, from, buffered.substr(start + 1), next, last,
      [&](std::string_view line, const char* limit, int& item, Record& record) {
        return parser.parse(line, limit, item, record);
      },
      into);
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
