#pragma once
// 1-based containers that own their elements and check every index, also in
// release builds: an index outside the range is a fault of the program.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "include/F_Errors.h"

// The storage of the record lists: a std::vector whose allocator constructs
// nothing when given no value, so that a reader may construct records in the
// room past the end first (on several threads, each where its records
// belong) and the list then takes them as they are (adopt). Everything that
// would make records without a value (a count, resize(n), emplace_back())
// is not offered: records are always given a value or adopted.
template <class T>
struct F_RecordAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = F_RecordAllocator<U>;
  };
  F_RecordAllocator() = default;
  template <class U>
  F_RecordAllocator(const F_RecordAllocator<U>&) noexcept {}
  template <class U>
  void construct(U*) noexcept {}
  template <class U, class... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
};

template <class T>
class F_Records : public std::vector<T, F_RecordAllocator<T>> {
  using Base = std::vector<T, F_RecordAllocator<T>>;

 public:
  using Base::Base;
  F_Records(std::size_t, const F_RecordAllocator<T>& = {}) = delete;
  void resize(std::size_t) = delete;
  void resize(std::size_t n, const T& fill) { Base::resize(n, fill); }
  using Base::emplace_back;
  T& emplace_back() = delete;
  // Takes the n records constructed in the room past the end as the next ones.
  void adopt(std::size_t n) {
    if (n > Base::capacity() - Base::size()) internalError("F_Records", 1);
    Base::resize(Base::size() + n);
  }
};

template <class T>
class F_Vector {
 public:
  F_Vector() = default;
  explicit F_Vector(int n) { resize(n); }
  F_Vector(int n, const T& fill) { resize(n, fill); }
  // An empty vector holds no storage at all: a model of millions of empty
  // layers costs one pointer per list, not three.
  F_Vector(const F_Vector& o) {
    if (!o.empty()) v_ = guarded([&] { return std::make_unique<F_Records<T>>(*o.v_); });
  }
  F_Vector& operator=(const F_Vector& o) {
    if (this != &o) {
      if (o.empty()) {
        clear();
      } else if (v_) {
        guarded([&] { return (*v_ = *o.v_, 0); });
      } else {
        v_ = guarded([&] { return std::make_unique<F_Records<T>>(*o.v_); });
      }
    }
    return *this;
  }
  // Takes the values of `values` without copying them.
  explicit F_Vector(F_Records<T>&& values) {
    if (!values.empty()) v_ = guarded([&] { return std::make_unique<F_Records<T>>(std::move(values)); });
  }
  F_Vector(F_Vector&&) noexcept = default;
  F_Vector& operator=(F_Vector&&) noexcept = default;

  // A different size discards the content; the same size keeps it.
  void resize(int n) {
    if (n < 0) internalError("F_Vector", 1);
    if (n == size()) return;
    assign(n, T());
  }
  void resize(int n, const T& fill) {
    if (n < 0) internalError("F_Vector", 1);
    assign(n, fill);
  }

  int size() const { return v_ ? static_cast<int>(v_->size()) : 0; }
  // Elements held without growing.
  int capacity() const { return v_ ? static_cast<int>(v_->capacity()) : 0; }
  bool empty() const { return !v_ || v_->empty(); }

  // 1 <= i <= size()
  T& operator()(int i) {
    if (i < 1 || i > size()) internalError("F_Vector", 2);
    return (*v_)[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(int i) const {
    if (i < 1 || i > size()) internalError("F_Vector", 2);
    return (*v_)[static_cast<std::size_t>(i - 1)];
  }
  T& operator[](int i) { return (*this)(i); }
  const T& operator[](int i) const { return (*this)(i); }

  // Growing one by one, for readers that must not trust a declared count.
  void reserve(int n) {
    if (n <= 0) return;
    guarded([&] {
      storage().reserve(static_cast<std::size_t>(n));
      return 0;
    });
  }
  void append(T value) {
    guarded([&] {
      storage().push_back(std::move(value));
      return 0;
    });
  }
  // Copies of first .. last (not of this vector) at the end, in one step.
  void append(const T* first, const T* last) {
    if (first == last) return;
    guarded([&] {
      F_Records<T>& v = storage();
      v.insert(v.end(), first, last);
      return 0;
    });
  }
  // Takes the n (0 <= n <= capacity() - size()) records that a reader has
  // constructed at end(), end() + 1, ... as the next ones, as they are.
  void adopt(int n) {
    if (n < 0 || n > capacity() - size()) internalError("F_Vector", 3);
    if (n > 0) v_->adopt(static_cast<std::size_t>(n));
  }
  T& last() { return (*this)(size()); }
  // Keeps the storage for the next fill.
  void clear() {
    if (v_) v_->clear();
  }

  // Raw, unchecked access for the hot loops that have checked their bounds once.
  T* data() { return v_ ? v_->data() : nullptr; }
  const T* data() const { return v_ ? v_->data() : nullptr; }
  T* begin() { return data(); }
  T* end() { return data() + size(); }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size(); }

  bool operator==(const F_Vector& other) const {
    if (empty() || other.empty()) return empty() == other.empty();
    return *v_ == *other.v_;
  }

 private:
  F_Records<T>& storage() {
    if (!v_) v_ = std::make_unique<F_Records<T>>();
    return *v_;
  }
  template <class F>
  static auto guarded(F f) { return guardedAllocation(f); }
  void assign(int n, const T& fill) {
    if (n == 0) {
      v_.reset();
      return;
    }
    const auto want = static_cast<std::size_t>(n);
    if (v_ && v_->capacity() >= want && v_->capacity() - want <= want / 8) {
      // Storage held (reserved, say) takes the values where it is, unless it
      // is so much larger that keeping it would waste memory.
      v_->assign(want, fill);
      return;
    }
    try {
      auto fresh = std::make_unique<F_Records<T>>();
      fresh->reserve(static_cast<std::size_t>(n));
      fresh->resize(static_cast<std::size_t>(n), fill);
      v_ = std::move(fresh);
    } catch (const std::bad_alloc&) {
      v_.reset();
      outOfMemory();
    }
  }

  std::unique_ptr<F_Records<T>> v_;
};

// A tolerance argument: 0 or more is kept, exactly -1 picks the default.
inline double checkedTolerance(double tolerance, double byDefault, const char* module) {
  if (tolerance == -1) return byDefault;
  if (tolerance < 0) internalError(module, 10);
  return tolerance;
}

class F_VectorReal : public F_Vector<double> {
 public:
  F_VectorReal() = default;
  explicit F_VectorReal(int n, double fill = 0.0, double tolerance = -1)
      : F_Vector<double>(n, fill), tolerance_(checkedTolerance(tolerance, 1e-8, "F_VectorReal")) {}
  // Takes the values of `values` without copying them; the default tolerance.
  explicit F_VectorReal(F_Records<double>&& values) : F_Vector<double>(std::move(values)) {}

  double tolerance() const { return tolerance_; }
  void setTolerance(double t) { tolerance_ = checkedTolerance(t, 1e-8, "F_VectorReal"); }

  // Both vectors of size 3 with equal tolerances.
  F_VectorReal cross(const F_VectorReal& b) const;
  // Divides by the Euclidean norm; a null vector is a fault of the caller.
  void versorize();

 private:
  double tolerance_ = 1e-8;
};

// One real with tolerance comparisons.
class F_Real {
 public:
  F_Real() = default;
  explicit F_Real(double v) : value(v) {}
  // -tolerance < value < tolerance; -1 means 1e-8.
  bool isZero(double tolerance = -1) const {
    double t = checkedTolerance(tolerance, 1e-8, "F_Real");
    return -t < value && value < t;
  }
  double value = 0.0;
};
