#include "common/F_ScalarField.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
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

// Records in the shape the program writes them, numbered `next`, next + 1,
// ... but not beyond `last`, each a plain real alone on its line, read in
// place from the file, on several threads when there are many. Their values
// are appended to `pieces` in order. Any other line (a comment, a blank line,
// a number out of turn, a line without its NewLine) stops them at its start,
// for readRecord to judge. Returns how many were read; the file then stands
// at the start of the line after the last one, as after readRecord.
int readPlainRecords(F_InputFile& file, int next, int last, std::vector<F_Records<double>>& pieces) {
  if (next > last) return 0;
  // The first lines are read alone (the head of the run); room for as many
  // values as the rest of the file holds at their length is made after
  // them, where the threads put the values of the rest straight away; never
  // more than the rest can hold at the shortest record ("1 0" and a NewLine).
  struct Into {
    F_Records<double> values;
    void deliver(std::vector<double>& more) { values.insert(values.end(), more.begin(), more.end()); }
    F_RecordScan::Room<double> room(double perRecord, std::size_t records, std::uint64_t bytes) {
      const double estimate = std::min(static_cast<double>(bytes) / perRecord * 1.03 + 16,
                                       static_cast<double>(std::min<std::uint64_t>(records, bytes / 4)));
      try {
        values.reserve(values.size() + static_cast<std::size_t>(estimate));
      } catch (const std::bad_alloc&) {
      }
      return {values.data() + values.size(), values.capacity() - values.size()};
    }
    void adopt(std::size_t n) { values.adopt(n); }
  } into;
  const std::string_view buffered = file.buffered();
  const F_RecordScan::InPlace read = F_RecordScan::readInPlace<double>(
      file, file.offset(), buffered, next, last,
      [](std::string_view line, const char* limit, int& number, double& value) {
        return plainRecord(line.data(), line.data() + line.size(), limit, number, value);
      },
      into);
  if (read.records == 0) return 0;
  pieces.push_back(std::move(into.values));
  file.seek(read.end);
  file.lineNumber() += read.records;
  return read.records;
}

// The values of the pieces in their order: one piece, the usual case, as it is.
F_VectorReal joinPieces(std::vector<F_Records<double>>& pieces, int count) {
  if (pieces.size() == 1) return F_VectorReal(std::move(pieces[0]));
  F_VectorReal values(count);
  double* to = values.data();
  for (F_Records<double>& piece : pieces) {
    to = std::copy(piece.begin(), piece.end(), to);
    F_Records<double>().swap(piece);  // freed as soon as it is copied
  }
  return values;
}

}  // namespace

F_VectorReal readScalarField(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  // One pass reads and checks the records; their values are kept in pieces
  // of the file's order and copied once into a vector of the exact size.
  // Any byte after a record's NewLine, even an empty line, starts one more
  // record.
  constexpr int kMostRecords = 2147483647;
  std::vector<F_Records<double>> pieces;
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

  return joinPieces(pieces, count);
}

std::optional<F_VectorReal> readWrittenScalarField(const std::string& path) {
  const auto file = F_InputFile::open(path);
  if (!file) return std::nullopt;
  try {
    // The loop of readScalarField without the ordinary reader.
    constexpr int kMostRecords = 2147483647;
    std::vector<F_Records<double>> pieces;
    int count = 0;
    for (;;) {
      const int plain = readPlainRecords(*file, count + 1, kMostRecords - 1, pieces);
      if (plain == 0) return std::nullopt;
      count += plain;
      if (file->get() == F_InputFile::kEof) break;
      file->unget();
    }
    return joinPieces(pieces, count);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
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
