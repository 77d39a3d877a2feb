#pragma once
// The whole model a document holds: a title and an ordered list of layers.

#include "common/F_S3dLayer.h"

class F_S3dMesh {
 public:
  F_S3dMesh() = default;
  virtual ~F_S3dMesh() = default;
  F_S3dMesh(const F_S3dMesh&) = default;
  F_S3dMesh& operator=(const F_S3dMesh&) = default;
  F_S3dMesh(F_S3dMesh&&) noexcept = default;
  F_S3dMesh& operator=(F_S3dMesh&&) noexcept = default;

  // Name, layer count, layers. Loading refuses a name with a byte that is not
  // valid; node numbers are left for the caller to check (nodesInRange).
  virtual void Serialize(F_Archive& ar);

  // Replaces the content with the mesh of an .s3d stream read from its first
  // line; the caller discards the mesh when the read throws.
  void readS3d(F_InputFile& file);
  // The .s3d text; the stream should be in text mode so NewLines become CR LF.
  void writeS3d(F_OutputFile& file) const;

  int layerCount() const { return layers.size(); }
  const F_S3dLayer& layer(int i) const { return layers(i); }
  F_S3dLayer& layer(int i) { return layers(i); }
  std::string layerName(int i) const { return layers(i).name.str(); }
  int layerPointCount(int i) const { return layers(i).pointCount(); }

  bool operator==(const F_S3dMesh& m) const { return name == m.name && layers == m.layers; }

  F_ValidString name;
  F_Vector<F_S3dLayer> layers;
};
