#include "common/F_S3dLayer.h"

#include <algorithm>

#include "common/F_S3dRecords.h"

namespace {
// Smallest records on disk: a word is at least one byte and its delimiter, so an
// element record is at least 4 bytes, a point 8 and a special node 4. A declared
// count larger than the rest of the file can hold is never allocated up front.
int plausibleCount(int declared, const F_InputFile& file, int minRecordBytes) {
  return static_cast<int>(std::min<std::uint64_t>(declared, file.remaining() / minRecordBytes));
}
}  // namespace

void F_S3dLayer::read(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  name = readTitleLine(file);
  const int e = readInteger(file);
  if (e < 0) failRead(file, "ERROR\nNegative number of elements.", lineNumber);
  const int p = readInteger(file);
  if (p < 0) failRead(file, "ERROR\nNegative number of points.", lineNumber);
  const int s = readInteger(file);
  if (s < 0) failRead(file, "ERROR\nNegative number of special nodes.", lineNumber);

  // Records in the shape the program writes go through the fast readers; the
  // ordinary reader takes each record they decline, and after a decline they
  // rest for kRest records, so that a file of another shape costs little more.
  constexpr int kRest = 64;
  elements.clear();
  elements.reserve(plausibleCount(e, file, 4));
  for (int i = 1, rest = 0; i <= e;) {
    if (rest > 0) {
      --rest;
    } else if (const int fast = F_S3dRecords::readElements(file, i, e, p, elements)) {
      i += fast;
      continue;
    } else {
      rest = kRest;
    }
    F_S3dElement element;
    element.read(file, i);
    for (int v : element.nodes) {
      if (v > p) failRead(file, "ERROR\nNode number cannot exceed the number of points.", lineNumber);
    }
    elements.append(std::move(element));
    ++i;
  }

  points.clear();
  points.reserve(plausibleCount(p, file, 8));
  for (int i = 1, rest = 0; i <= p;) {
    if (rest > 0) {
      --rest;
    } else if (const int fast = F_S3dRecords::readPoints(file, i, p, points)) {
      i += fast;
      continue;
    } else {
      rest = kRest;
    }
    F_Point3D point;
    point.read(file, i);
    points.append(point);
    ++i;
  }

  specialNodes.clear();
  specialNodes.reserve(plausibleCount(s, file, 4));
  for (int i = 1; i <= s; ++i) {
    if (readInteger(file) != i) failRead(file, "ERROR\nBad item count.", lineNumber);
    int v = readInteger(file);
    if (v < 1) failRead(file, "ERROR\nSpecial node number cannot be less than one.", lineNumber);
    if (v > p) failRead(file, "ERROR\nSpecial node number cannot exceed the number of points.", lineNumber);
    specialNodes.append(v);
  }
}

namespace {
void writeCount(F_OutputFile& file, int v) {
  file.put(' ');
  file.writeInt(v, 8);
  file.put(' ');
}
}  // namespace

void F_S3dLayer::write(F_OutputFile& file) const {
  file.write(name);
  file.put('\n');
  writeCount(file, elementCount());
  writeCount(file, pointCount());
  writeCount(file, specialNodeCount());
  file.put('\n');
  for (int i = 1; i <= elementCount(); ++i) {
    writeCount(file, i);
    elements(i).write(file);
    file.put('\n');
  }
  for (int i = 1; i <= pointCount(); ++i) {
    writeCount(file, i);
    points(i).write(file);
    file.put('\n');
  }
  for (int i = 1; i <= specialNodeCount(); ++i) {
    writeCount(file, i);
    writeCount(file, specialNodes(i));
    file.put('\n');
  }
}

bool F_S3dLayer::nodesInRange() const {
  const int p = pointCount();
  for (const auto& e : elements) {
    for (int v : e.nodes) {
      if (v < 1 || v > p) return false;
    }
  }
  for (int v : specialNodes) {
    if (v < 1 || v > p) return false;
  }
  return true;
}

void F_S3dLayer::Serialize(F_Archive& ar) {
  if (ar.isStoring()) {
    ar.writeString(name);
    ar.writeInt(elementCount());
    for (auto& e : elements) e.Serialize(ar);
    ar.writeInt(pointCount());
    for (auto& p : points) p.Serialize(ar);
    ar.writeInt(specialNodeCount());
    ar.writeInts(specialNodes.data(), static_cast<std::size_t>(specialNodes.size()));
    return;
  }
  name = ar.readValidString("layer name");
  // Smallest records: an element is its 4-byte node count, a point 24 bytes, a
  // special node 4.
  elements.resize(ar.readCount(4, "element count"));
  for (auto& e : elements) e.Serialize(ar);
  points.resize(ar.readCount(24, "point count"));
  for (auto& p : points) p.Serialize(ar);
  specialNodes.resize(ar.readCount(4, "special node count"));
  ar.readInts(specialNodes.data(), static_cast<std::size_t>(specialNodes.size()), "special nodes");
}
