#pragma once
// One element of a layer: an ordered list of point numbers of that layer.

#include "include/F_Archive.h"
#include "include/F_File.h"
#include "include/F_SmallVector.h"

class F_S3dElement {
 public:
  F_S3dElement() = default;
  virtual ~F_S3dElement() = default;
  F_S3dElement(const F_S3dElement&) = default;
  F_S3dElement& operator=(const F_S3dElement&) = default;
  F_S3dElement(F_S3dElement&&) noexcept = default;
  F_S3dElement& operator=(F_S3dElement&&) noexcept = default;

  // The node count, then the node numbers (not compared with any point count).
  virtual void Serialize(F_Archive& ar);

  // One .s3d element record; index 0 means the record has no item number.
  void read(F_InputFile& file, int& lineNumber, int index);
  // The node count and the nodes with `format` (" %8d " when empty), no NewLine.
  void write(F_OutputFile& file, const char* format = nullptr) const;

  int nodeCount() const { return nodes.size(); }
  int node(int j) const { return nodes(j); }
  // The node count less one when the last node repeats the first (a closed outline).
  int effectiveNodeCount() const;

  bool operator==(const F_S3dElement& e) const { return nodes == e.nodes; }

  // Up to eight nodes (a closed six-node triangle, an eight-node quadrilateral)
  // are kept inside the element; longer lists go to the heap.
  F_SmallVector<int, 8> nodes;
};
