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

// Below this many buffered bytes the lines are read on the calling thread.
constexpr std::size_t kBytesPerThread = 128 * 1024;

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

// What one run over whole lines found.
template <class Record>
struct Run {
  std::vector<Record> records;
  int firstItem = 0;
  std::size_t bytes = 0;  // of the lines read
  bool whole = false;  // every line of the text was read
};

// Reads the whole lines of `text` while each holds the next record, starting
// with item `first` (or, when 0, with whatever item the first line holds) and
// never beyond item `last`.
template <class Parser>
Run<typename Parser::Record> runLines(std::string_view text, const Parser& parser, int first, int last) {
  Run<typename Parser::Record> run;
  run.firstItem = first;
  run.records.reserve(text.size() / 32);  // lines of the usual widths; more grow the vector
  typename Parser::Record record;
  const char* const limit = text.data() + text.size();
  std::size_t at = 0;
  int expected = first;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);  // text holds whole lines only
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    int item;
    if (!parser.parse(line, limit, item, record)) return run;
    if (expected == 0) run.firstItem = expected = item;
    if (item != expected || item > last) return run;
    run.records.push_back(record);
    ++expected;
    at = end + 1;
    run.bytes = at;
  }
  run.whole = true;
  return run;
}

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
  int& lineNumber = file.lineNumber();
  if (next > last) return 0;
  const std::string_view buffered = file.buffered();
  // The rest of the current line must be blank: the last record read ends there.
  std::size_t start = 0;
  while (start < buffered.size() && blank(buffered[start])) ++start;
  if (start < buffered.size() && buffered[start] == '\r') ++start;
  if (start >= buffered.size() || buffered[start] != '\n') return 0;
  ++start;
  const std::size_t lastNewLine = buffered.rfind('\n');
  if (lastNewLine == std::string_view::npos || lastNewLine < start) return 0;
  const std::string_view text = buffered.substr(start, lastNewLine + 1 - start);

  // The first part is read on this thread alone; only when it was read whole
  // is the rest cut at line ends into one part per thread, each read on its
  // own, and the parts are joined while each goes on where the last ended.
  // So a line declined early costs no more than the lines before it, however
  // much text follows (else a block with many declined lines would be read
  // again to its end for each of them).
  const std::size_t head = lineEndAfter(text, 0, kBytesPerThread);
  std::vector<std::string_view> parts{text.substr(0, head)};
  std::vector<Run<typename Parser::Record>> runs;
  runs.push_back(runLines(parts[0], parser, next, last));
  if (runs[0].whole && head < text.size()) {
    for (const std::string_view part : cutAmongThreads(text.substr(head), kBytesPerThread)) parts.push_back(part);
    const int threads = static_cast<int>(parts.size()) - 1;
    runs.resize(parts.size());
    const int afterHead = next + static_cast<int>(runs[0].records.size());
    const Slots slots{reinterpret_cast<char*>(out.data()), out.size(), out.capacity(), next, sizeof(*out.data())};
    auto work = [&](int t) {
      runs[t + 1] = runLines(parts[t + 1], parser, t == 0 ? afterHead : 0, last);
      slots.populate(runs[t + 1].firstItem, runs[t + 1].records.size());
    };
    if (!F_RenderThreads::run(threads, work))
      for (int t = 0; t < threads; ++t) work(t);
  }

  int read = 0;
  std::size_t consumed = start;
  for (const auto& run : runs) {
    if (run.records.empty() || run.firstItem != next + read) break;
    out.append(run.records.data(), run.records.data() + run.records.size());
    read += static_cast<int>(run.records.size());
    consumed += run.bytes;
    if (!run.whole) break;
  }
  if (read == 0) return 0;
  // The file stays at the NewLine of the last record read, as after the
  // ordinary reader: the rest of that line is what the caller skips. So the
  // lines passed are the current one and all but the last record's.
  file.skip(consumed - 1);
  lineNumber += read;
  return read;
}

}  // namespace

int readElements(F_InputFile& file, int next, int last, int points, F_SharedVector<F_S3dElement>& out) {
  return readLines(file, next, last, ElementLine{points}, out);
}

int readPoints(F_InputFile& file, int next, int last, F_Vector<F_Point3D>& out) {
  return readLines(file, next, last, PointLine{}, out);
}

}  // namespace F_S3dRecords
