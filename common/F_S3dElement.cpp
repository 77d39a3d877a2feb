#include "common/F_S3dElement.h"

#include <algorithm>

#include "include/F_WordReader.h"

void F_S3dElement::read(F_InputFile& file, int index) {
  int& lineNumber = file.lineNumber();
  if (index < 0) internalError("F_S3dElement", 1);
  if (index != 0 && readInteger(file) != index) failRead(file, "ERROR\nBad item count.", lineNumber);
  const int n = readInteger(file);
  if (n < 0) failRead(file, "ERROR\nNegative number of nodes.", lineNumber);
  // Each node is a word and a delimiter: a count beyond that cannot be honest,
  // so memory grows with what is really read.
  nodes.clear();
  nodes.reserve(static_cast<int>(std::min<std::uint64_t>(n, file.remaining() / 2)));
  for (int j = 1; j <= n; ++j) {
    int v = readInteger(file);
    if (v < 1) failRead(file, "ERROR\nNode number cannot be less than one.", lineNumber);
    nodes.append(v);
  }
}

void F_S3dElement::write(F_OutputFile& file, const char* format) const {
  if (format == nullptr || *format == '\0') {
    file.put(' ');
    file.writeInt(nodes.size(), 8);
    file.put(' ');
    for (int v : nodes) {
      file.put(' ');
      file.writeInt(v, 8);
      file.put(' ');
    }
    return;
  }
  file.printf(format, nodes.size());
  for (int v : nodes) file.printf(format, v);
}

static_assert(sizeof(int) == sizeof(std::int32_t), "node numbers are stored as 4-byte integers");

void F_S3dElement::Serialize(F_Archive& ar) {
  if (ar.isStoring()) {
    ar.writeInt(nodes.size());
    ar.writeInts(nodes.data(), static_cast<std::size_t>(nodes.size()));
    return;
  }
  const int n = ar.readCount(4, "node count");
  nodes.resize(n);
  ar.readInts(nodes.data(), static_cast<std::size_t>(n), "nodes");
}
