#include "include/F_Vector.h"

#include <cmath>

#include "platform/UiServices.h"

F_VectorReal F_VectorReal::cross(const F_VectorReal& b) const {
  if (size() != 3 || b.size() != 3 || tolerance() != b.tolerance()) internalError("F_VectorReal", 1);
  const F_VectorReal& a = *this;
  F_VectorReal r(3, 0.0, tolerance());
  r(1) = a(2) * b(3) - a(3) * b(2);
  r(2) = a(3) * b(1) - a(1) * b(3);
  r(3) = a(1) * b(2) - a(2) * b(1);
  return r;
}

void F_VectorReal::versorize() {
  double sum = 0;
  for (double v : *this) sum += v * v;
  double norm = std::sqrt(sum);
  if (F_Real(norm).isZero(tolerance())) {
    ui().messageBox("ERROR\nNull vector cannot be versorized.");
    internalError("F_VectorReal", 2);
  }
  for (double& v : *this) v /= norm;
}
