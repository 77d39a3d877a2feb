#pragma once
// One layer of a mesh: a named, self-contained set of points, elements over
// those points, and special nodes.

#include "common/F_Point3D.h"
#include "common/F_S3dElement.h"
#include "include/F_CompactString.h"
#include "include/F_SharedVector.h"
#include "include/F_WordReader.h"

class F_S3dLayer {
 public:
  // A plain value without a virtual table: a model may hold millions of
  // layers, so an empty one costs four words: its name (inline when short)
  // and three empty lists.
  F_S3dLayer() = default;

  // Name, elements, points, special nodes. Loading refuses a name with a byte
  // that is not valid and counts the rest of the file cannot hold.
  void Serialize(F_Archive& ar);

  // The layer's part of an .s3d file, from its title line to its last record.
  void read(F_InputFile& file);
  void write(F_OutputFile& file) const;

  int elementCount() const { return elements.size(); }
  int pointCount() const { return points.size(); }
  int specialNodeCount() const { return specialNodes.size(); }
  const F_S3dElement& element(int i) const { return elements(i); }
  const F_Point3D& point(int i) const { return points(i); }
  int specialNode(int i) const { return specialNodes(i); }

  // Every element node and special node lies in 1..P.
  bool nodesInRange() const;

  bool operator==(const F_S3dLayer& l) const {
    return name == l.name && elements == l.elements && points == l.points && specialNodes == l.specialNodes;
  }

  F_CompactString name;
  F_SharedVector<F_S3dElement> elements;
  F_Vector<F_Point3D> points;
  F_Vector<int> specialNodes;
};

static_assert(sizeof(F_S3dLayer) == 4 * sizeof(void*), "an empty layer is four words");
