#pragma once
// 1-based matrices, rows by columns, each row one block.

#include <vector>

#include "include/F_Vector.h"

template <class T>
class F_Matrix {
 public:
  F_Matrix() = default;
  F_Matrix(int rows, int columns, const T& fill = T()) { resize(rows, columns, fill); }

  // Fewer than one row or column gives the empty 0 by 0 matrix.
  void resize(int rows, int columns, const T& fill = T()) {
    if (rows < 0 || columns < 0) internalError("F_Matrix", 1);
    if (rows < 1 || columns < 1) rows = columns = 0;
    if (rows == rows_ && columns == columns_) return;
    try {
      std::vector<T> fresh(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns), fill);
      v_.swap(fresh);
    } catch (const std::bad_alloc&) {
      v_.clear();
      rows_ = columns_ = 0;
      outOfMemory();
    }
    rows_ = rows;
    columns_ = columns;
  }

  int rows() const { return rows_; }
  int columns() const { return columns_; }

  // 1 <= r <= rows(), 1 <= c <= columns()
  T& operator()(int r, int c) {
    if (r < 1 || r > rows_ || c < 1 || c > columns_) internalError("F_Matrix", 2);
    return v_[static_cast<std::size_t>(r - 1) * columns_ + (c - 1)];
  }
  const T& operator()(int r, int c) const {
    if (r < 1 || r > rows_ || c < 1 || c > columns_) internalError("F_Matrix", 2);
    return v_[static_cast<std::size_t>(r - 1) * columns_ + (c - 1)];
  }

  T* row(int r) {
    if (r < 1 || r > rows_) internalError("F_Matrix", 3);
    return v_.data() + static_cast<std::size_t>(r - 1) * columns_;
  }

  bool operator==(const F_Matrix& other) const = default;

 private:
  int rows_ = 0;
  int columns_ = 0;
  std::vector<T> v_;
};

class F_MatrixReal : public F_Matrix<double> {
 public:
  F_MatrixReal() = default;
  F_MatrixReal(int rows, int columns, double fill = 0.0, double tolerance = -1)
      : F_Matrix<double>(rows, columns, fill),
        tolerance_(checkedTolerance(tolerance, 1e-8, "F_MatrixReal")) {}
  double tolerance() const { return tolerance_; }

 private:
  double tolerance_ = 1e-8;
};
