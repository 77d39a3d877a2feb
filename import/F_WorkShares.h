#pragma once
// Work shared out among threads: a stretch of binary records of a file, each
// thread reading bites of it in place, or any other loop over many items.
// Loops are cut into pieces that the threads take as they come free, so a
// thread held up (put aside by the system, or given fresh memory that costs
// it more) delays only the pieces it took, not a fixed half of the work.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

#include <sys/mman.h>

#include "common/F_RenderThreads.h"
#include "include/F_File.h"

namespace F_WorkShares {

// Items a share holds at least: fewer are not worth a thread's start.
constexpr std::size_t kMinShare = 32768;
// Items a thread takes at a time where the work is cut into pieces (cells
// to resolve, say): half a share, so that each thread takes several.
constexpr std::size_t kPieceItems = kMinShare / 2;
// Bytes a thread reads at a time into a buffer of its own, small enough to
// stay in its cache while it converts them.
constexpr std::size_t kBiteBytes = 128 * 1024;

// How many shares `items` are split into: one per thread, each at least kMinShare.
inline int count(std::size_t items) {
  const std::size_t most = items / kMinShare;
  return static_cast<int>(std::clamp<std::size_t>(most, 1, static_cast<std::size_t>(F_RenderThreads::count())));
}

// Where share t of `shares` of `items` begins (t == shares: where the last ends).
inline std::size_t start(std::size_t items, int shares, int t) {
  return t == shares ? items : items / static_cast<std::size_t>(shares) * static_cast<std::size_t>(t);
}

// work(0) ... work(shares - 1) on as many threads (all on this one when none
// can be started); the first exception any of them threw is thrown again
// once all have finished.
inline void run(int shares, const std::function<void(int)>& work) {
  std::vector<std::exception_ptr> failures(static_cast<std::size_t>(shares));
  auto guarded = [&](int t) {
    try {
      work(t);
    } catch (...) {
      failures[static_cast<std::size_t>(t)] = std::current_exception();
    }
  };
  if (!F_RenderThreads::run(shares, guarded)) {
    for (int t = 0; t < shares; ++t) guarded(t);
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

// work(from, to) for the pieces of [0, items), each `piece` items long (the
// last may be shorter), on up to `shares` threads, each taking the next
// piece not yet taken. A thread that throws takes no more; the exception is
// thrown again once all have finished.
template <class Work>
void runPieces(std::size_t items, std::size_t piece, int shares, Work&& work) {
  piece = std::max<std::size_t>(piece, 1);
  const std::size_t pieces = items / piece + (items % piece != 0);
  std::atomic<std::size_t> next{0};
  run(static_cast<int>(std::clamp<std::size_t>(pieces, 1, static_cast<std::size_t>(std::max(shares, 1)))), [&](int) {
    for (std::size_t i = next.fetch_add(1, std::memory_order_relaxed); i < pieces;
         i = next.fetch_add(1, std::memory_order_relaxed)) {
      work(i * piece, std::min(items, (i + 1) * piece));
    }
  });
}

// Asks for the whole pages of [p, p + bytes) to be large pages where the
// system offers them on request: a 2 MiB page costs one fault and one
// entry where 4 KiB pages cost 512 (a fifth less processor time to read a
// binary mesh of a million elements), and memory is still taken only as it
// is first written. Only a hint: where it cannot be followed, nothing
// happens.
inline void askLargePages(const void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kLargePage = 2 << 20;
  const std::uintptr_t lo = (reinterpret_cast<std::uintptr_t>(p) + 4095) & ~std::uintptr_t{4095};
  const std::uintptr_t hi = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~std::uintptr_t{4095};
  if (p != nullptr && hi > lo && hi - lo >= kLargePage) {
    ::madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);
  }
#else
  (void)p;
  (void)bytes;
#endif
}

// Makes the pages of [p, p + bytes) present, on several threads, each taking
// a share: fresh memory costs a fault at the first write to each page, and
// the work that writes it first may be one thread's alone. Large pages are
// asked for first. Only hints: where they cannot be followed, nothing
// happens.
inline void populate(const void* p, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  constexpr std::uintptr_t kPage = 4096;
  constexpr std::uintptr_t kMinBytes = 1 << 20;  // a share at least; less is left to the faults
  const std::uintptr_t lo = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t hi = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kPage - 1);
  if (p == nullptr || hi <= lo || hi - lo < kMinBytes) return;
  askLargePages(p, bytes);
  // Pieces of whole large pages: fresh pages cost one thread more than
  // another at times, and a piece never shares a large page with another.
  constexpr std::uintptr_t kPiece = 2 << 20;
  const std::uintptr_t first = lo & ~(kPiece - 1);
  runPieces((hi - first + kPiece - 1) / kPiece, 1, F_RenderThreads::count(), [&](std::size_t i, std::size_t) {
    const std::uintptr_t from = std::max(lo, first + i * kPiece);
    const std::uintptr_t to = std::min(hi, first + (i + 1) * kPiece);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
  });
#else
  (void)p;
  (void)bytes;
#endif
}

// v.resize(n), the fresh pages made present on several threads first (room
// grows by doubling, as resize would).
template <class T>
void grow(std::vector<T>& v, std::size_t n) {
  if (n <= v.size()) {
    v.resize(n);
    return;
  }
  if (n > v.capacity()) v.reserve(std::max(n, 2 * v.capacity()));
  populate(v.data() + v.size(), (n - v.size()) * sizeof(T));
  v.resize(n);
}

// Up to n bytes of `file` from `at` into dst, as file.readAt, several threads
// each reading a share of at least 4 MiB: the copy and the fresh pages it
// fills cost one thread about as much as parsing them.
inline std::size_t readAt(const F_InputFile& file, std::uint64_t at, char* dst, std::size_t n) {
  constexpr std::size_t kMinBytes = 4 << 20;
  const int shares = static_cast<int>(
      std::clamp<std::size_t>(n / kMinBytes, 1, static_cast<std::size_t>(F_RenderThreads::count())));
  std::vector<std::size_t> got(static_cast<std::size_t>(shares), 0);
  run(shares, [&](int t) {
    const std::size_t from = start(n, shares, t), to = start(n, shares, t + 1);
    got[static_cast<std::size_t>(t)] = file.readAt(at + from, dst + from, to - from);
  });
  // The bytes up to the first share that came short.
  for (int t = 0; t < shares; ++t) {
    const std::size_t from = start(n, shares, t);
    const std::size_t read = got[static_cast<std::size_t>(t)];
    if (read < start(n, shares, t + 1) - from) return from + read;
  }
  return n;
}

// The `count` records of `size` bytes at offset `at` of `file`, on up to
// `shares` threads: each(first, records, n) for each bite of n records from
// record `first` on, the bite's first byte 8-aligned and the bytes the
// callee's to change. The threads take the bites as they come free, so
// bites come in no order. False when the file gave fewer bytes than asked
// (it changed or cannot be read); bites may be left out then.
template <class Each>
bool readRecords(const F_InputFile& file, std::uint64_t at, std::size_t size, std::size_t count, int shares,
                 Each&& each) {
  const std::size_t perBite = std::max<std::size_t>(1, kBiteBytes / size);
  const std::size_t bites = count / perBite + (count % perBite != 0);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> whole{true};
  run(static_cast<int>(std::clamp<std::size_t>(bites, 1, static_cast<std::size_t>(std::max(shares, 1)))), [&](int) {
    // Whole words, rounded up: a record of 20 bytes leaves a bite short of one.
    std::vector<std::uint64_t> buffer((std::min(perBite, count) * size + 7) / 8);
    char* const bytes = reinterpret_cast<char*>(buffer.data());
    for (std::size_t b = next.fetch_add(1, std::memory_order_relaxed); b < bites && whole.load(std::memory_order_relaxed);
         b = next.fetch_add(1, std::memory_order_relaxed)) {
      const std::size_t first = b * perBite;
      const std::size_t n = std::min(perBite, count - first);
      if (file.readAt(at + first * size, bytes, n * size) != n * size) {
        whole.store(false, std::memory_order_relaxed);
        return;
      }
      each(first, bytes, n);
    }
  });
  return whole.load();
}

}  // namespace F_WorkShares
