#include "bench/MeshGenerator.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The surface over the unit grid (u, v) in [0, 1]^2: a saddle-free bulge,
// stacked per layer so layers never coincide.
F_Point3D surface(double u, double v, int layer) {
  const double x = 10.0 * u;
  const double y = 10.0 * v;
  const double z = 1.5 * std::sin(3.14159265358979 * u) * std::sin(3.14159265358979 * v) + 2.0 * (layer - 1);
  return {x, y, z};
}

F_S3dElement element(std::initializer_list<int> nodes) {
  F_S3dElement e;
  e.nodes.reserve(static_cast<int>(nodes.size()));
  for (int n : nodes) e.nodes.append(n);
  return e;
}

}  // namespace

F_S3dLayer MeshGenerator::layer(int index, int nx, int ny) const {
  F_S3dLayer l;
  l.name = "Layer " + std::to_string(index);
  const bool quad8 = recipe_.shape == MeshRecipe::Shape::Quad8;
  // Quad8 uses a grid twice as fine and leaves out the cell centres.
  const int step = quad8 ? 2 : 1;
  const int gx = nx * step + 1;
  const int gy = ny * step + 1;
  std::vector<int> id(static_cast<std::size_t>(gx) * gy, 0);
  auto at = [&](int i, int j) -> int& { return id[static_cast<std::size_t>(j) * gx + i]; };
  int points = 0;
  for (int j = 0; j < gy; ++j) {
    for (int i = 0; i < gx; ++i) {
      if (quad8 && i % 2 == 1 && j % 2 == 1) continue;
      at(i, j) = ++points;
    }
  }
  l.points.reserve(points);
  for (int j = 0; j < gy; ++j) {
    for (int i = 0; i < gx; ++i) {
      if (at(i, j) == 0) continue;
      l.points.append(surface(static_cast<double>(i) / (gx - 1), static_cast<double>(j) / (gy - 1), index));
    }
  }

  const long long cells = static_cast<long long>(nx) * ny;
  l.elements.reserve(static_cast<int>(recipe_.shape == MeshRecipe::Shape::Tri3 ? 2 * cells : cells));
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const int a = i * step, b = j * step;
      switch (recipe_.shape) {
        case MeshRecipe::Shape::Quad4:
          l.elements.append(element({at(a, b), at(a + 1, b), at(a + 1, b + 1), at(a, b + 1)}));
          break;
        case MeshRecipe::Shape::Tri3:
          l.elements.append(element({at(a, b), at(a + 1, b), at(a + 1, b + 1)}));
          l.elements.append(element({at(a, b), at(a + 1, b + 1), at(a, b + 1)}));
          break;
        case MeshRecipe::Shape::Quad8:
          // Corners and mid-side nodes alternate anticlockwise round the outline.
          l.elements.append(element({at(a, b), at(a + 1, b), at(a + 2, b), at(a + 2, b + 1), at(a + 2, b + 2),
                                     at(a + 1, b + 2), at(a, b + 2), at(a, b + 1)}));
          break;
      }
    }
  }

  if (recipe_.corners) {
    for (int v : {at(0, 0), at(gx - 1, 0), at(gx - 1, gy - 1), at(0, gy - 1)}) l.specialNodes.append(v);
  }
  return l;
}

F_S3dMesh MeshGenerator::mesh() const {
  F_S3dMesh m;
  const int layers = std::max(1, recipe_.layers);
  const long long perLayer = std::max(1LL, recipe_.quads / layers);
  // A near-square grid of about perLayer cells.
  const int nx = std::max(1, static_cast<int>(std::lround(std::sqrt(static_cast<double>(perLayer)))));
  const int ny = static_cast<int>(std::max(1LL, perLayer / nx));
  m.name = "Generated surface, " + std::to_string(static_cast<long long>(nx) * ny * layers) + " cells";
  m.layers.reserve(layers);
  for (int i = 1; i <= layers; ++i) m.layers.append(layer(i, nx, ny));
  return m;
}

double MeshGenerator::fieldAt(const F_Point3D& p) {
  return 100.0 * std::cos(0.5 * p.x) * std::sin(0.4 * p.y) + 10.0 * p.z;
}

void MeshGenerator::writePva(F_OutputFile& file, const F_S3dLayer& layer) {
  for (int i = 1; i <= layer.pointCount(); ++i) {
    file.writeInt(i, 0);
    file.put(' ');
    file.writeFixed(fieldAt(layer.point(i)), 0, 6);
    file.put('\n');
  }
}
