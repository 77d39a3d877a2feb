#pragma once
// A string in one machine word, for names held once per layer: a model may
// have millions of layers, and most of their names are short. Up to seven
// bytes live inside the word itself; a longer name is one heap block holding
// its length and its bytes. The bytes are kept as given (no terminator is
// needed, a zero byte is kept like any other).

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "include/F_Errors.h"

class F_CompactString {
 public:
  static constexpr std::size_t kInline = 7;

  F_CompactString() = default;
  F_CompactString(std::string_view s) { assign(s); }
  F_CompactString(const std::string& s) : F_CompactString(std::string_view(s)) {}
  F_CompactString(const char* s) : F_CompactString(std::string_view(s)) {}
  F_CompactString(const F_CompactString& o) { assign(o.view()); }
  F_CompactString(F_CompactString&& o) noexcept : word_(o.word_) { o.word_ = kEmpty; }
  F_CompactString& operator=(const F_CompactString& o) {
    if (this != &o) *this = o.view();
    return *this;
  }
  F_CompactString& operator=(F_CompactString&& o) noexcept {
    if (this != &o) {
      release();
      word_ = o.word_;
      o.word_ = kEmpty;
    }
    return *this;
  }
  F_CompactString& operator=(std::string_view s) {
    // Built aside first, so that assigning a part of this very string works.
    F_CompactString fresh(s);
    return *this = std::move(fresh);
  }
  F_CompactString& operator=(const std::string& s) { return *this = std::string_view(s); }
  F_CompactString& operator=(const char* s) { return *this = std::string_view(s); }
  ~F_CompactString() { release(); }

  std::string_view view() const {
    if (isInline()) return {reinterpret_cast<const char*>(&word_) + 1, static_cast<std::size_t>((word_ & 0xff) >> 1)};
    const char* block = heap();
    std::uint32_t n;
    std::memcpy(&n, block, sizeof n);
    return {block + sizeof n, n};
  }
  operator std::string_view() const { return view(); }
  std::string str() const { return std::string(view()); }
  std::size_t size() const { return view().size(); }
  bool empty() const { return word_ == kEmpty; }
  void clear() { *this = F_CompactString(); }

  friend bool operator==(const F_CompactString& a, const F_CompactString& b) { return a.view() == b.view(); }
  friend bool operator==(const F_CompactString& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const F_CompactString& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const F_CompactString& a, const char* b) { return a.view() == b; }
  friend std::ostream& operator<<(std::ostream& out, const F_CompactString& s) { return out << s.view(); }
  friend std::string operator+(const std::string& a, const F_CompactString& b) { return a + std::string(b.view()); }

 private:
  // The inline form is marked by the lowest bit, which no heap block's
  // address has; its first byte holds the length times two plus one, and the
  // bytes follow in the word's memory order.
  static_assert(std::endian::native == std::endian::little, "the inline form keeps its bytes after the tag byte");
  static_assert(sizeof(std::uintptr_t) == 8, "seven bytes beside the tag");
  static constexpr std::uintptr_t kEmpty = 1;

  bool isInline() const { return (word_ & 1) != 0; }
  char* heap() const { return reinterpret_cast<char*>(word_); }

  void assign(std::string_view s) {
    if (s.size() <= kInline) {
      word_ = 1 | (static_cast<std::uintptr_t>(s.size()) << 1);
      if (!s.empty()) std::memcpy(reinterpret_cast<char*>(&word_) + 1, s.data(), s.size());
      return;
    }
    // The archive and the word reader never hand over more than 4 GiB.
    if (s.size() > UINT32_MAX) internalError("F_CompactString", 1);
    const auto n = static_cast<std::uint32_t>(s.size());
    char* block = static_cast<char*>(std::malloc(sizeof n + n));
    if (!block) outOfMemory();
    std::memcpy(block, &n, sizeof n);
    std::memcpy(block + sizeof n, s.data(), n);
    word_ = reinterpret_cast<std::uintptr_t>(block);
  }
  void release() {
    if (!isInline()) std::free(heap());
    word_ = kEmpty;
  }

  std::uintptr_t word_ = kEmpty;
};
