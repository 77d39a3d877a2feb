#pragma once
// A 1-based vector whose copies share one store until one of them is changed
// (copy on write). The element lists of layers are its use: a view's working
// copy of a mesh turns the points but never touches the elements, so it shares
// them with the document instead of copying millions of them. Every index is
// checked, as in F_Vector, and an empty list holds no store at all (one word).
//
// Any non-const member may change the list, so each first copies a shared
// store. Threads may read copies that share a store at once, and one of them
// may change its own copy meanwhile (it copies the store first). A reference
// taken from a list for writing must not be kept across a copy of that list:
// the copy would see what is written through it.

#include <atomic>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "include/F_Errors.h"
#include "include/F_Vector.h"

template <class T>
class F_SharedVector {
 public:
  F_SharedVector() = default;
  explicit F_SharedVector(int n) { resize(n); }
  // Takes the values of `values` without copying them.
  explicit F_SharedVector(F_Records<T>&& values) {
    if (!values.empty()) store_ = guarded([&] { return new Store(std::move(values)); });
  }
  F_SharedVector(const F_SharedVector& o) : store_(o.store_) {
    if (store_) store_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  F_SharedVector(F_SharedVector&& o) noexcept : store_(std::exchange(o.store_, nullptr)) {}
  F_SharedVector& operator=(const F_SharedVector& o) {
    F_SharedVector copy(o);
    std::swap(store_, copy.store_);
    return *this;
  }
  F_SharedVector& operator=(F_SharedVector&& o) noexcept {
    if (this != &o) {
      release();
      store_ = std::exchange(o.store_, nullptr);
    }
    return *this;
  }
  ~F_SharedVector() { release(); }

  int size() const { return store_ ? static_cast<int>(store_->values.size()) : 0; }
  int capacity() const { return store_ ? static_cast<int>(store_->values.capacity()) : 0; }
  bool empty() const { return !store_ || store_->values.empty(); }
  // The same store as `o` (both empty counts as well).
  bool sharesStoreWith(const F_SharedVector& o) const { return store_ == o.store_; }

  // 1 <= i <= size()
  const T& operator()(int i) const {
    if (i < 1 || i > size()) internalError("F_SharedVector", 2);
    return store_->values[static_cast<std::size_t>(i - 1)];
  }
  T& operator()(int i) {
    if (i < 1 || i > size()) internalError("F_SharedVector", 2);
    return own()[static_cast<std::size_t>(i - 1)];
  }
  const T& operator[](int i) const { return (*this)(i); }
  T& operator[](int i) { return (*this)(i); }
  T& last() { return (*this)(size()); }

  // A different size discards the content; the same size keeps it.
  void resize(int n) {
    if (n < 0) internalError("F_SharedVector", 1);
    if (n != size()) assign(n, T());
  }
  void resize(int n, const T& fill) {
    if (n < 0) internalError("F_SharedVector", 1);
    assign(n, fill);
  }
  // Growing one by one, for readers that must not trust a declared count.
  void reserve(int n) {
    if (n <= 0) return;
    guarded([&] { return (own().reserve(static_cast<std::size_t>(n)), 0); });
  }
  void append(T value) {
    guarded([&] { return (own().push_back(std::move(value)), 0); });
  }
  // Copies of first .. last (not of this list) at the end, in one step.
  void append(const T* first, const T* last) {
    if (first == last) return;
    guarded([&] {
      F_Records<T>& v = own();
      return (v.insert(v.end(), first, last), 0);
    });
  }
  // Takes the n (0 <= n <= capacity() - size()) records that a reader has
  // constructed at end(), end() + 1, ... as the next ones, as they are.
  void adopt(int n) {
    if (n < 0 || n > capacity() - size()) internalError("F_SharedVector", 3);
    if (n > 0) own().adopt(static_cast<std::size_t>(n));
  }
  // Keeps a store of its own for the next fill; a shared one is let go.
  void clear() {
    if (!store_) return;
    if (shared()) {
      release();
    } else {
      store_->values.clear();
    }
  }

  // Raw, unchecked access for the hot loops that have checked their bounds once.
  const T* data() const { return store_ ? store_->values.data() : nullptr; }
  T* data() { return store_ ? own().data() : nullptr; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size(); }
  T* begin() { return data(); }
  T* end() { return data() + size(); }

  bool operator==(const F_SharedVector& o) const {
    if (empty() || o.empty()) return empty() == o.empty();
    return store_ == o.store_ || store_->values == o.store_->values;
  }

 private:
  struct Store {
    explicit Store(F_Records<T>&& v) : values(std::move(v)) {}
    explicit Store(const F_Records<T>& v) : values(v) {}
    Store() = default;
    std::atomic<long> refs{1};
    F_Records<T> values;
  };

  // Another list holds the store too. The acquire pairs with the release of
  // a copy let go on another thread, so its last reads come before our writes.
  bool shared() const { return store_->refs.load(std::memory_order_acquire) != 1; }
  // The values, in a store of this list alone.
  F_Records<T>& own() {
    if (!store_) {
      store_ = guarded([] { return new Store(); });
    } else if (shared()) {
      Store* fresh = guarded([&] { return new Store(store_->values); });
      release();
      store_ = fresh;
    }
    return store_->values;
  }
  void release() {
    if (store_ && store_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete store_;
    store_ = nullptr;
  }
  void assign(int n, const T& fill) {
    release();
    if (n == 0) return;
    store_ = guarded([&] { return new Store(F_Records<T>(static_cast<std::size_t>(n), fill)); });
  }
  template <class F>
  static auto guarded(F f) { return guardedAllocation(f); }

  Store* store_ = nullptr;
};
