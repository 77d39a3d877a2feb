#pragma once
// One element of a layer: an ordered list of point numbers of that layer.

#include "include/F_Archive.h"
#include "include/F_File.h"
#include "include/F_SmallVector.h"

// A value with no virtual functions: nothing derives from it, and a mesh holds
// millions of them.
class F_S3dElement {
 public:
  F_S3dElement() = default;

  // The node count, then the node numbers (not compared with any point count).
  void Serialize(F_Archive& ar);

  // One .s3d element record; index 0 means the record has no item number.
  void read(F_InputFile& file, int index);
  // The node count and the nodes with `format` (" %8d " when empty), no NewLine.
  void write(F_OutputFile& file, const char* format = nullptr) const;

  int nodeCount() const { return nodes.size(); }
  int node(int j) const { return nodes(j); }
  // The node count less one when the last node repeats the first (a closed
  // outline). Inline: painting and the field's range ask it of every element.
  int effectiveNodeCount() const {
    const int n = nodes.size();
    const int* v = nodes.data();
    return n > 1 && v[n - 1] == v[0] ? n - 1 : n;
  }

  bool operator==(const F_S3dElement& e) const { return nodes == e.nodes; }

  // Up to eight nodes (a closed six-node triangle, an eight-node quadrilateral)
  // are kept inside the element; longer lists go to the heap.
  F_SmallVector<int, 8> nodes;
};

// No table pointer: the element is its node list and nothing more.
static_assert(sizeof(F_S3dElement) == sizeof(F_SmallVector<int, 8>));
