#pragma once
// A 1-based vector of plain values that keeps up to N of them inside the
// object and goes to the heap only beyond. Element node lists are its use: a
// mesh holds millions of them, nearly all short, and one allocation each would
// dominate reading, copying and memory. Every index is checked, as in F_Vector.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "include/F_Errors.h"

template <class T, int N>
class F_SmallVector {
  static_assert(std::is_trivially_copyable_v<T> && N > 0);

 public:
  F_SmallVector() = default;
  F_SmallVector(const F_SmallVector& other) { copyFrom(other); }
  F_SmallVector(F_SmallVector&& other) noexcept { takeFrom(other); }
  F_SmallVector& operator=(const F_SmallVector& other) {
    if (this != &other) copyFrom(other);
    return *this;
  }
  F_SmallVector& operator=(F_SmallVector&& other) noexcept {
    if (this != &other) {
      release();
      takeFrom(other);
    }
    return *this;
  }
  ~F_SmallVector() { release(); }

  int size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // 1 <= i <= size()
  T& operator()(int i) {
    if (i < 1 || i > size_) internalError("F_SmallVector", 2);
    return data()[i - 1];
  }
  const T& operator()(int i) const {
    if (i < 1 || i > size_) internalError("F_SmallVector", 2);
    return data()[i - 1];
  }

  // A different size discards the content (values become T()); the same size keeps it.
  void resize(int n) {
    if (n < 0) internalError("F_SmallVector", 1);
    if (n != size_) resize(n, T());
  }
  void resize(int n, const T& fill) {
    if (n < 0) internalError("F_SmallVector", 1);
    size_ = 0;
    reserve(n);
    std::fill_n(data(), n, fill);
    size_ = n;
  }
  // n values left as they are, for the caller to write every one of them
  // (no fill first); the content before is not kept.
  void resizeForOverwrite(int n) {
    if (n < 0) internalError("F_SmallVector", 1);
    size_ = 0;
    reserve(n);
    size_ = n;
  }
  // Room for n values without moving them again.
  void reserve(int n) {
    if (n > capacity_) moveTo(n);
  }
  void append(const T& value) {
    if (size_ == capacity_) moveTo(capacity_ * 2);
    data()[size_++] = value;
  }
  void clear() { size_ = 0; }

  T* data() { return onHeap() ? heap_ : inline_; }
  const T* data() const { return onHeap() ? heap_ : inline_; }
  T* begin() { return data(); }
  T* end() { return data() + size_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }

  bool operator==(const F_SmallVector& other) const {
    return size_ == other.size_ && std::equal(begin(), end(), other.begin());
  }

 private:
  bool onHeap() const { return capacity_ > N; }

  // New storage of `capacity` (> N) values, the present ones kept.
  void moveTo(int capacity) {
    T* fresh = static_cast<T*>(std::malloc(sizeof(T) * static_cast<std::size_t>(capacity)));
    if (!fresh) outOfMemory();
    std::memcpy(fresh, data(), sizeof(T) * static_cast<std::size_t>(size_));
    release();
    heap_ = fresh;
    capacity_ = capacity;
  }
  void release() {
    if (onHeap()) std::free(heap_);
    capacity_ = N;
  }
  void copyFrom(const F_SmallVector& other) {
    if (!onHeap() && other.size_ <= N) {
      // All N places at once, a fixed size the compiler copies in a few
      // moves; those past the size are copied but never read.
      std::memcpy(inline_, other.data(), sizeof(inline_));
      size_ = other.size_;
      return;
    }
    size_ = 0;
    reserve(other.size_);
    // Inside the object there are never more than N (the bound keeps the
    // compiler from fearing a read past them).
    const int n = other.onHeap() ? other.size_ : std::min(other.size_, N);
    std::memcpy(data(), other.data(), sizeof(T) * static_cast<std::size_t>(n));
    size_ = other.size_;
  }
  void takeFrom(F_SmallVector& other) {
    size_ = other.size_;
    capacity_ = other.capacity_;
    if (other.onHeap()) {
      heap_ = other.heap_;
    } else {
      std::memcpy(inline_, other.inline_, sizeof(inline_));
    }
    other.size_ = 0;
    other.capacity_ = N;
  }

  int size_ = 0;
  int capacity_ = N;  // N while the values live inside the object
  union {
    T inline_[N];
    T* heap_;
  };
};
