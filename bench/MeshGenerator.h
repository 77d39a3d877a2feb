#pragma once
// Large synthetic meshes for the benchmarks: a gently curved surface cut into
// quadrilaterals (or triangles, or 8-node quadrilaterals), spread over one or
// more layers, and a smooth scalar field with one value per point.

#include <string>

#include "common/F_S3dMesh.h"
#include "include/F_File.h"

struct MeshRecipe {
  enum class Shape { Quad4, Tri3, Quad8 };
  long long quads = 1000;  // cells over all layers; each layer is a near-square grid
  Shape shape = Shape::Quad4;
  int layers = 1;
  // Special nodes per layer: its four corners.
  bool corners = true;
};

class MeshGenerator {
 public:
  explicit MeshGenerator(MeshRecipe recipe) : recipe_(recipe) {}

  // The whole mesh in memory.
  F_S3dMesh mesh() const;
  // One value per point of `layer`, written as PVA records "k value".
  static void writePva(F_OutputFile& file, const F_S3dLayer& layer);
  // The field value at a point: smooth, so contour pictures look sensible.
  static double fieldAt(const F_Point3D& p);

 private:
  F_S3dLayer layer(int index, int nx, int ny) const;

  MeshRecipe recipe_;
};
