#include "common/F_ScalarField.h"

#include <algorithm>
#include <cstdio>

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

}  // namespace

F_VectorReal readScalarField(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  // First pass: count and check. Any byte after a record's NewLine, even an
  // empty line, starts one more record.
  int count = 0;
  for (;;) {
    if (count == 2147483647) failRead(file, "ERROR\nBad item count.", lineNumber);
    readRecord(file, count + 1);
    ++count;
    if (file.get() == F_InputFile::kEof) break;
    file.unget();
  }

  if (!file.rewind()) failRead(file, "ERROR\nUnexpected end of file.", 0);
  F_VectorReal values(count);
  for (int i = 1; i <= count; ++i) values(i) = readRecord(file, 0);
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
