#pragma once
// A point of a layer, and in the view and drawing code also a 3D vector.

#include <type_traits>

#include "include/F_Archive.h"
#include "include/F_File.h"
#include "include/F_Matrix.h"

// A plain value of three doubles: a layer holds millions of them, copied in
// bulk, and nothing derives from it.
class F_Point3D {
 public:
  F_Point3D() = default;
  F_Point3D(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  // x, y and z as three 8-byte reals.
  void Serialize(F_Archive& ar);

  // One .s3d point record; index 0 means the record has no item number.
  void read(F_InputFile& file, int index);
  // x, y and z with `format`; " %15.8lf %15.8lf %15.8lf " when empty.
  void write(F_OutputFile& file, const char* format = nullptr) const;

  F_Point3D operator+(const F_Point3D& p) const { return {x + p.x, y + p.y, z + p.z}; }
  F_Point3D operator-(const F_Point3D& p) const { return {x - p.x, y - p.y, z - p.z}; }
  F_Point3D& operator+=(const F_Point3D& p) {
    x += p.x;
    y += p.y;
    z += p.z;
    return *this;
  }
  void add(double dx, double dy, double dz) {
    x += dx;
    y += dy;
    z += dz;
  }
  // |s| < 1e-8 is a fault of the caller.
  F_Point3D& operator/=(double s);
  double distance(const F_Point3D& p) const;
  // p becomes M p; M is 3 by 3.
  void transform(const F_MatrixReal& m);

  bool operator==(const F_Point3D& p) const { return x == p.x && y == p.y && z == p.z; }

  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

static_assert(std::is_trivially_copyable_v<F_Point3D> && sizeof(F_Point3D) == 3 * sizeof(double));
