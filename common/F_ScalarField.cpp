#include "common/F_ScalarField.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "common/F_RecordScan.h"
#include "common/F_RenderThreads.h"
#include "include/F_Errors.h"
#include "include/F_FileTransfer.h"
#include "include/F_WordReader.h"

namespace {

// One record: the point number, the value, the rest of its line.
double readRecord(F_InputFile& file, int expectedNumber) {
  int& lineNumber = file.lineNumber();
  const int number = readInteger(file);
  if (expectedNumber != 0 && number != expectedNumber) failRead(file, "ERROR\nBad item count.", lineNumber);
  const double value = readReal(file);
  skipRestOfLine(file);
  return value;
}

// Below this many bytes of whole lines the records are read on the calling
// thread; the first this many of a block are always read there first, so a
// line the fast reader declines early costs no work on the other threads.
constexpr std::size_t kBytesPerThread = 128 * 1024;

// A record line in the shape the program writes it (without its line end):
// the number, a plain real, nothing else.
bool plainRecord(const char* p, const char* end, const char* limit, int& number, double& value) {
  F_RecordScan::skipBlanks(p, limit);
  if (!F_RecordScan::integerAt(p, end, limit, number)) return false;
  F_RecordScan::skipBlanks(p, limit);
  if (!F_RecordScan::realAt(p, end, limit, value)) return false;
  F_RecordScan::skipBlanks(p, limit);
  return p == end;
}

// What one run over whole lines found.
struct Run {
  std::vector<double> values;
  int first = 0;  // the number of the first record read
  std::size_t bytes = 0;  // of the lines read
  bool whole = false;  // every line of the part was read
};

// Reads the lines of `part` (whole lines only; `limit` is the end of the
// text the scans may look into) while each holds the next record, starting
// with number `first` (or, when 0, with whatever number the first line
// holds) and never beyond number `last`.
Run runLines(std::string_view part, const char* limit, int first, int last) {
  Run run;
  run.first = first;
  std::size_t at = 0;
  int expected = first;
  while (at < part.size()) {
    const std::size_t end = part.find('\n', at);
    std::size_t stop = end;
    if (stop > at && part[stop - 1] == '\r') --stop;
    // The line's CarriageReturn or NewLine ends every run of blanks or digits.
    int number;
    double value;
    if (!plainRecord(part.data() + at, part.data() + stop, limit, number, value)) return run;
    if (expected == 0) run.first = expected = number;
    if (number != expected || number > last) return run;
    run.values.push_back(value);
    ++expected;
    at = end + 1;
    run.bytes = at;
  }
  run.whole = true;
  return run;
}

// Records in the shape the program writes them, numbered `next`, next + 1,
// ... but not beyond `last`, each a plain real alone on its line, read
// straight from the buffered bytes, on several threads when there are many.
// Their values are appended to `pieces` in order. Any other line (a comment,
// a blank line, a number out of turn, a line not yet wholly buffered) stops
// them at its start, for readRecord to judge. Returns how many were read;
// the file then stands at the start of the line after the last one, as
// after readRecord.
int readPlainRecords(F_InputFile& file, int next, int last, std::vector<std::vector<double>>& pieces) {
  if (next > last) return 0;
  const std::string_view buffered = file.buffered();
  const std::size_t lastNewLine = buffered.rfind('\n');
  if (lastNewLine == std::string_view::npos) return 0;
  const std::string_view text = buffered.substr(0, lastNewLine + 1);
  const char* const limit = buffered.data() + buffered.size();

  // The first part on this thread alone; the rest, when that was read whole,
  // cut at line ends into one part per thread and read side by side.
  std::vector<std::string_view> parts;
  const std::size_t head = F_RecordScan::lineEndAfter(text, 0, kBytesPerThread);
  parts.push_back(text.substr(0, head));
  std::vector<Run> runs;
  runs.push_back(runLines(parts[0], limit, next, last));
  if (runs[0].whole && head < text.size()) {
    for (const std::string_view part : F_RecordScan::cutAmongThreads(text.substr(head), kBytesPerThread))
      parts.push_back(part);
    const int threads = static_cast<int>(parts.size()) - 1;
    runs.resize(parts.size());
    const int afterHead = next + static_cast<int>(runs[0].values.size());
    auto work = [&](int t) { runs[t + 1] = runLines(parts[t + 1], limit, t == 0 ? afterHead : 0, last); };
    if (!F_RenderThreads::run(threads, work))
      for (int t = 0; t < threads; ++t) work(t);
  }

  // Joined while each part goes on where the one before ended.
  int read = 0;
  std::size_t consumed = 0;
  for (Run& run : runs) {
    if (run.values.empty() || run.first != next + read) break;
    read += static_cast<int>(run.values.size());
    consumed += run.bytes;
    pieces.push_back(std::move(run.values));
    if (!run.whole) break;
  }
  file.skip(consumed);
  file.lineNumber() += read;
  return read;
}

}  // namespace

F_VectorReal readScalarField(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  // One pass reads and checks the records; their values are kept in pieces
  // of the file's order and copied once into a vector of the exact size.
  // Any byte after a record's NewLine, even an empty line, starts one more
  // record.
  constexpr int kMostRecords = 2147483647;
  std::vector<std::vector<double>> pieces;
  int count = 0;
  for (;;) {
    const int plain = readPlainRecords(file, count + 1, kMostRecords - 1, pieces);
    count += plain;
    if (plain == 0) {
      if (count == kMostRecords) failRead(file, "ERROR\nBad item count.", lineNumber);
      const double value = readRecord(file, count + 1);
      if (pieces.empty()) pieces.emplace_back();
      pieces.back().push_back(value);
      ++count;
    }
    if (file.get() == F_InputFile::kEof) break;
    file.unget();
  }

  F_VectorReal values(count);
  double* to = values.data();
  for (std::vector<double>& piece : pieces) {
    to = std::copy(piece.begin(), piece.end(), to);
    std::vector<double>().swap(piece);  // freed as soon as it is copied
  }
  return values;
}

std::optional<F_VectorReal> loadScalarField(const std::string& path) {
  std::optional<F_VectorReal> values;
  readWholeFile(path, [&](F_InputFile& file) { values = readScalarField(file); });
  return values;
}

void writeScalarField(F_OutputFile& file, const F_VectorReal& values) {
  for (int i = 1; i <= values.size(); ++i) file.printf(" %8d  %.17g\n", i, values(i));
}

F_Interval valueExtremes(const F_VectorReal& values) {
  if (values.empty()) return {0.0, 0.0};
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  return {*lo, *hi};
}

std::string scalarFieldSummary(const F_VectorReal& values) {
  const F_Interval range = valueExtremes(values);
  char text[128];
  std::snprintf(text, sizeof text, "values=%d min=%.17g max=%.17g", values.size(), range.lower, range.upper);
  return text;
}
