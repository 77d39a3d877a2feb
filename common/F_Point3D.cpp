#include "common/F_Point3D.h"

#include <cmath>

#include "include/F_WordReader.h"
#include "platform/UiServices.h"

void F_Point3D::read(F_InputFile& file, int index) {
  int& lineNumber = file.lineNumber();
  if (index < 0) internalError("F_Point3D", 1);
  if (index != 0 && readInteger(file) != index) {
    x = y = z = 0.0;
    failRead(file, "ERROR\nBad item count.", lineNumber);
  }
  x = readReal(file);
  y = readReal(file);
  z = readReal(file);
}

void F_Point3D::write(F_OutputFile& file, const char* format) const {
  if (format == nullptr || *format == '\0') {
    // The common case without printf: " %15.8lf %15.8lf %15.8lf ".
    file.put(' ');
    file.writeFixed(x, 15, 8);
    file.put(' ');
    file.writeFixed(y, 15, 8);
    file.put(' ');
    file.writeFixed(z, 15, 8);
    file.put(' ');
    return;
  }
  file.printf(format, x, y, z);
}

F_Point3D& F_Point3D::operator/=(double s) {
  if (-1e-8 < s && s < 1e-8) {
    ui().messageBox("ERROR\nDivision by zero.");
    internalError("F_Point3D", 2);
  }
  double inv = 1.0 / s;
  x *= inv;
  y *= inv;
  z *= inv;
  return *this;
}

double F_Point3D::distance(const F_Point3D& p) const {
  double dx = x - p.x, dy = y - p.y, dz = z - p.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void F_Point3D::transform(const F_MatrixReal& m) {
  if (m.rows() != 3 || m.columns() != 3) internalError("F_Point3D", 3);
  double nx = m(1, 1) * x + m(1, 2) * y + m(1, 3) * z;
  double ny = m(2, 1) * x + m(2, 2) * y + m(2, 3) * z;
  double nz = m(3, 1) * x + m(3, 2) * y + m(3, 3) * z;
  x = nx;
  y = ny;
  z = nz;
}

void F_Point3D::Serialize(F_Archive& ar) {
  double xyz[3] = {x, y, z};
  if (ar.isStoring()) {
    ar.writeReals(xyz, 3);
    return;
  }
  ar.readReals(xyz, 3, "point");
  x = xyz[0];
  y = xyz[1];
  z = xyz[2];
}
