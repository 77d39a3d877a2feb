#pragma once
// What the renderer asks of an element at natural coordinates (xi, eta): the
// point on it, the brightness of its surface there, and the value of a scalar
// field there; and the range of a field over exactly the samples that will be
// drawn. Elements are 1-based; every operation uses the effective node count
// (a closing repeat of the first node does not count).

#include "common/F_ElementShape.h"
#include "common/F_LayerContext.h"
#include "common/F_S3dLayer.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScreenMap.h"
#include "include/F_Vector.h"

// Internal error for an element outside the layer or xi, eta outside
// [-1.00000001, 1.00000001]; F_NotSupportedException for a node count without
// shape functions; an element without nodes gives the origin, 0 and 0.
F_Point3D positionAt(const F_S3dLayer& layer, int element, double xi, double eta);
// |cos| of the angle between the surface normal and the depth axis: 1 for a
// face seen square on, 0 edge-on (and always 0 for a line).
double shadingIntensityAt(const F_S3dLayer& layer, int element, double xi, double eta);
// `values` is indexed by point number.
double fieldValueAt(const F_S3dLayer& layer, int element, double xi, double eta, const F_VectorReal& values);

// The intensity for the surface tangents t1 (along xi) and t2 (along eta).
double intensityFromTangents(const F_Point3D& t1, const F_Point3D& t2);
// The same in two steps, for callers that take many square roots at once:
// the normal t1 x t2 as its depth component and its squared length, then the
// intensity, |normalX| / length, or 0 for a normal shorter than kShortestNormal.
constexpr double kShortestNormal = 1e-8;
inline void normalOf(const F_Point3D& t1, const F_Point3D& t2, double& normalX, double& lengthSquared) {
  const double nx = t1.y * t2.z - t1.z * t2.y;
  const double ny = t1.z * t2.x - t1.x * t2.z;
  const double nz = t1.x * t2.y - t1.y * t2.x;
  normalX = nx;
  lengthSquared = nx * nx + ny * ny + nz * nz;
}
double intensityFromNormal(double normalX, double lengthSquared);

// Lowest and highest field value over the sample grid of every element, with
// nXi == nEta in [1, 20] and one value per point (internal error otherwise).
// An element of an unsupported node count counts as the value 0; one without
// nodes repeats the samples of the element before it (0 when there were none).
// A layer without elements gives (-1e-6, 1e-6).
// Layers of many elements are run through on several threads, this many
// elements a thread at least.
F_Interval fieldRange(const F_S3dLayer& layer, int nXi, int nEta, const F_VectorReal& values);
constexpr int kFieldRangeElementsPerThread = 1 << 14;
// The same for layer `layerNumber` of the mesh with the options' divisions.
F_Interval fieldRange(const F_S3dMesh& mesh, int layerNumber, const F_DisplayOptions& options,
                      const F_VectorReal& values);
