#include "common/F_ScalarField.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "common/F_RecordScan.h"
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

// Records in the shape the program writes them, the number `next`, next + 1,
// ... and a plain real alone on their line, read straight from the buffered
// bytes, at most `most` of them; each value goes to out[i] when out is given.
// Any other line (a comment, a blank line, a number out of turn, a line not
// yet wholly buffered) stops them at its start, for readRecord to judge.
// Returns how many were read; the file then stands at the start of the line
// after the last one, as after readRecord.
int readPlainRecords(F_InputFile& file, int next, int most, double* out) {
  const std::string_view text = file.buffered();
  std::size_t at = 0;
  int read = 0;
  while (read < most) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) break;
    std::size_t stop = end;
    if (stop > at && text[stop - 1] == '\r') --stop;
    // The line's CarriageReturn or NewLine ends every run of blanks or digits.
    const char* p = text.data() + at;
    const char* const lineEnd = text.data() + stop;
    const char* const limit = text.data() + text.size();
    int number;
    double value;
    F_RecordScan::skipBlanks(p, limit);
    if (!F_RecordScan::integerAt(p, lineEnd, limit, number) || number != next + read) break;
    F_RecordScan::skipBlanks(p, limit);
    if (!F_RecordScan::realAt(p, lineEnd, limit, value)) break;
    F_RecordScan::skipBlanks(p, limit);
    if (p != lineEnd) break;
    if (out) out[read] = value;
    ++read;
    at = end + 1;
  }
  file.skip(at);
  file.lineNumber() += read;
  return read;
}

}  // namespace

F_VectorReal readScalarField(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  // First pass: count and check. Any byte after a record's NewLine, even an
  // empty line, starts one more record.
  constexpr int kMostRecords = 2147483647;
  int count = 0;
  for (;;) {
    const int plain = readPlainRecords(file, count + 1, kMostRecords - 1 - count, nullptr);
    count += plain;
    if (plain == 0) {
      if (count == kMostRecords) failRead(file, "ERROR\nBad item count.", lineNumber);
      readRecord(file, count + 1);
      ++count;
    }
    if (file.get() == F_InputFile::kEof) break;
    file.unget();
  }

  if (!file.rewind()) failRead(file, "ERROR\nUnexpected end of file.", 0);
  F_VectorReal values(count);
  for (int i = 1; i <= count;) {
    const int plain = readPlainRecords(file, i, count - i + 1, &values(i));
    if (plain > 0) {
      i += plain;
    } else {
      values(i++) = readRecord(file, 0);
    }
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
