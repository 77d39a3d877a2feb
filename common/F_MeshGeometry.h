#pragma once
// Geometry of layers and meshes for the view: moving, turning and measuring
// the working copy, and the rotation that takes model axes to view axes.
//
// View coordinates: x is the depth towards the viewer (larger is nearer), y
// the horizontal screen axis X1, z the vertical screen axis X2 (up).

#include "common/F_S3dMesh.h"
#include "common/F_ScreenMap.h"
#include "include/F_Matrix.h"

// Angles are stepped, preset and converted with this value, not the full pi.
inline constexpr double kViewPi = 3.14159265358979;
inline constexpr double kViewHalfPi = 1.570796326794895;

struct F_ViewAngles {
  double phi = 0.0;
  double psi = 0.0;
  double alpha = 0.0;
  bool operator==(const F_ViewAngles&) const = default;
};

// The orthogonal presets: the XY plane (X1 = model x, X2 = model y), the YZ
// plane seen from +x (the identity) and the XZ plane (X1 = x, X2 = z).
inline constexpr F_ViewAngles kPresetXY{-kViewHalfPi, -kViewHalfPi, 0.0};
inline constexpr F_ViewAngles kPresetYZ{0.0, 0.0, 0.0};
inline constexpr F_ViewAngles kPresetXZ{-kViewHalfPi, 0.0, 0.0};

// 3 x 3 rotation whose rows are the view axes in model coordinates: the model
// axes turned by phi about z, then psi about the turned y, then alpha about
// the resulting depth axis.
F_MatrixReal viewRotationMatrix(double phi, double psi, double alpha);

void translateLayer(F_S3dLayer& layer, double dx, double dy, double dz);
// Every point p becomes M p, all three coordinates from the old ones.
void rotateLayer(F_S3dLayer& layer, double m11, double m12, double m13, double m21, double m22, double m23,
                 double m31, double m32, double m33);
// (y, z) of all points; a layer without points gives the default box.
F_Box2D layerExtent2D(const F_S3dLayer& layer);
F_Box3D layerExtent3D(const F_S3dLayer& layer);
// Mean of the points of the effective nodes of element i (1-based); one node
// gives its point, none the origin. An index outside the layer or a node
// outside the points is a fault of the caller.
F_Point3D elementCentre(const F_S3dLayer& layer, int i);

// M must be 3 x 3.
void rotateMesh(F_S3dMesh& mesh, const F_MatrixReal& m);
// Layer 1's box united with each further layer's; no layers give the default box.
F_Box3D meshExtent3D(const F_S3dMesh& mesh);
F_Box2D meshExtent2D(const F_S3dMesh& mesh);
// Moves the mesh so that the centre of its 3D box is the origin.
void centreAtOrigin(F_S3dMesh& mesh);

// The working copy of a view: `source` copied into `mesh`, centred, turned to
// the view angles; returns the 2D extent widened by the four margins
// (percentages of the object's own width and height).
F_Box2D projectMesh(const F_S3dMesh& source, F_S3dMesh& mesh, const F_ViewAngles& angles, int minX1, int maxX1,
                    int minX2, int maxX2);
