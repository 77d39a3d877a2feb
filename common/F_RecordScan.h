#pragma once
// Scanning of record lines in the shape the program writes them (numbers
// padded with blanks, one record per line), straight from a reader's buffer.
// Each scan takes a word only when the ordinary word reader would take it
// with the same value (plainInteger, plainReal), and declines anything else,
// for the ordinary reader to judge.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>
#include <sys/mman.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/F_RenderThreads.h"
#include "include/F_File.h"
#include "include/F_WordReader.h"

namespace F_RecordScan {

inline bool blank(char c) { return c == ' ' || c == '\t'; }

// The scans below look at sixteen bytes at once. They rely on what follows
// every line in the text: its CarriageReturn or NewLine, which is neither a
// blank nor a digit, so no run of blanks or digits reaches past the line's
// end. `limit` is the end of the text, past which nothing is read.
// The value of the first n (1..8) digits of `eight` (the bytes in reading
// order, the lowest first), in a few multiplications instead of one per digit.
inline std::uint64_t eightDigits(std::uint64_t eight, int n) {
  std::uint64_t v = eight - 0x3030303030303030ull;  // a borrow only runs into the bytes dropped below
  v <<= 8 * (8 - n);  // the digits to the top, zeros (leading zeros) below
  v = v * 10 + (v >> 8);
  return (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}

#if defined(__SSE2__)
inline __m128i bytesAt(const char* p, const char* limit) {
  if (limit - p >= 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Near the end of the text: the bytes there, then zeros (neither blanks nor digits).
  alignas(16) char tail[16] = {};
  std::memcpy(tail, p, static_cast<std::size_t>(limit - p));
  return _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
}
// One bit per byte, lowest for the first; the run from the first byte is
// the count of trailing ones (16 at most).
inline int runLength(int mask) { return __builtin_ctz(~static_cast<unsigned>(mask)); }
inline int blankMask(__m128i v) {
  return _mm_movemask_epi8(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
}
inline int digitMask(__m128i v) {
  return _mm_movemask_epi8(
      _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1))));
}

// The value of n (1..16) digits at p, whose first sixteen bytes are `v`.
inline std::uint64_t digitsValue(const char* p, __m128i v, int n) {
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
  if (n <= 8) return eightDigits(low, n);
  std::uint64_t last;
  std::memcpy(&last, p + n - 8, 8);
  return eightDigits(low, n - 8) * 100000000ull + eightDigits(last, 8);
}

inline void skipBlanks(const char*& p, const char* limit) {
  for (;;) {
    const int n = runLength(blankMask(bytesAt(p, limit)));
    p += n;
    if (n < 16) return;
  }
}
#else
inline void skipBlanks(const char*& p, const char* limit) {
  while (p < limit && blank(*p)) ++p;
}
#endif

// A word at p that plainInteger takes (a sign and 1 to 9 digits, up to a
// blank or the end of the line), read in the same pass; p moves past it.
inline bool integerAt(const char*& at, const char* end, const char* limit, int& value) {
  const char* p = at;  // a copy the compiler may keep in a register
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) {
    negative = *p == '-';
    ++p;
  }
#if defined(__SSE2__)
  const __m128i bytes = bytesAt(p, limit);
  const int n = runLength(digitMask(bytes));
  if (n == 0 || n > 9 || (p + n < end && !blank(p[n]))) return false;  // also a tenth digit
  int v = static_cast<int>(digitsValue(p, bytes, std::min(n, 8)));
  if (n == 9) v = v * 10 + (p[8] - '0');
  p += n;
#else
  const char* digits = p;
  const char* most = end - digits > 9 ? digits + 9 : end;
  int v = 0;
  for (; p < most && static_cast<unsigned>(*p - '0') <= 9; ++p) v = v * 10 + (*p - '0');
  if (p == digits || (p < end && !blank(*p))) return false;  // also a tenth digit
  (void)limit;
#endif
  value = negative ? -v : v;
  at = p;
  return true;
}

// A word at p that plainReal takes; p moves past it.
inline bool realAt(const char*& p, const char* end, const char* limit, double& value) {
#if defined(__SSE2__)
  // The usual shape, digits, a point and digits, 15 digits at most, gives
  // plainReal's mantissa over a power of ten without a second pass.
  static constexpr double kExactPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const bool negative = p < end && *p == '-';
  const char* whole = negative ? p + 1 : p;
  const __m128i wholeBytes = bytesAt(whole, limit);
  const int before = runLength(digitMask(wholeBytes));
  if (before > 0 && before < 15 && whole[before] == '.') {
    const char* fraction = whole + before + 1;
    const __m128i fractionBytes = bytesAt(fraction, limit);
    const int after = runLength(digitMask(fractionBytes));
    if (after > 0 && before + after <= 15 && (fraction + after == end || blank(fraction[after]))) {
      const std::uint64_t mantissa = digitsValue(whole, wholeBytes, before) * static_cast<std::uint64_t>(kExactPowers[after]) +
                                     digitsValue(fraction, fractionBytes, after);
      const double magnitude = static_cast<double>(mantissa) / kExactPowers[after];
      value = negative ? -magnitude : magnitude;
      p = fraction + after;
      return true;
    }
  }
#else
  (void)limit;
#endif
  const char* word = p;
  while (p < end && !blank(*p)) ++p;
  return plainReal(std::string_view(word, static_cast<std::size_t>(p - word)), value);
}

// ---- reading in place ----
//
// A large run of records is read straight from the file (F_InputFile::readAt)
// in pieces small enough that the copy out of the page cache and the parse
// after it stay in the processor's cache; a whole block copied first and
// parsed after would pass through memory twice. The first stretch is read on
// the calling thread alone, so that a line declined early costs nothing
// more; the rest of the section, estimated from it, is cut among the threads.

// The bytes of one piece, of the stretch read alone first, and the least
// a thread is given (tests make them small, to put lines on every boundary).
inline std::size_t pieceBytes = 128 * 1024;
inline std::size_t headBytes = 128 * 1024;
inline std::size_t bytesPerThread = 128 * 1024;
// Stretches per thread after the head.
inline int lanesPerThread = 4;

// Where one stretch of lines ended.
struct Stretch {
  std::uint64_t end = 0;  // the offset after the last line taken
  bool whole = false;  // every line that starts before the stretch's end was taken
};

// Takes the whole lines of data[p, size) (the bytes of the file from offset
// `base`) that start before `to` while take(line, limit) accepts them: 1 when
// a line starts at or after `to`, -1 when one is declined, 0 when the rest
// holds no whole line. p moves past the lines taken. One copy of the loop
// (not inlined where it is used) keeps take() inlined in it.
template <class Take>
__attribute__((noinline)) int takeLines(const char* data, std::size_t size, std::size_t& p, std::uint64_t base,
                                        std::uint64_t to, Take& take) {
  const char* const limit = data + size;
  for (;;) {
    if (base + p >= to) return 1;
    const void* newLine = std::memchr(data + p, '\n', size - p);
    if (newLine == nullptr) return 0;
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(newLine) - data);
    const std::size_t stop = end > p && data[end - 1] == '\r' ? end - 1 : end;
    if (!take(std::string_view(data + p, stop - p), limit)) return -1;
    p = end + 1;
  }
}

// Takes the lines that start in [from, to) while take(line, limit) accepts
// them: `line` without its CarriageReturn and NewLine, `limit` the end of the
// bytes the scans may look into. When `atLineStart` is false the stretch
// begins after the first NewLine at or after from - 1 (a line that starts
// before `from` is the stretch before's). A line that ends no NewLine, or is
// longer than a piece, is declined. flush() follows each piece's lines.
// `ready` holds bytes from `from` that are in memory already (perhaps
// none): their whole lines are taken where they are, without a copy.
template <class Take, class Flush>
Stretch readStretch(const F_InputFile& file, std::uint64_t from, std::uint64_t to, bool atLineStart,
                    std::string_view ready, std::vector<char>& buffer, Take&& take, Flush&& flush) {
  if (atLineStart && !ready.empty()) {
    std::size_t p = 0;
    const int taken = takeLines(ready.data(), ready.size(), p, from, to, take);
    flush();
    if (taken != 0) return {from + p, taken > 0};
    from += p;
  }
  const std::size_t piece = pieceBytes;
  // The pieces start small and grow: a run declined soon costs little copying.
  std::size_t want = std::min<std::size_t>(piece, 4096);
  std::uint64_t at = atLineStart ? from : from - 1;  // the offset of buffer[0]
  std::size_t have = 0;  // bytes in the buffer: a line carried over, then a piece
  bool seeking = !atLineStart;
  for (;; want = std::min(2 * want, piece)) {
    if (buffer.size() < have + want) buffer.resize(have + want);
    const std::size_t got = file.readAt(at + have, buffer.data() + have, want);
    have += got;
    const bool ended = got < want;  // the end of the file (or of what it holds now)
    const char* const data = buffer.data();
    std::size_t p = 0;
    if (seeking) {
      const void* newLine = std::memchr(data, '\n', have);
      if (newLine == nullptr) return {at + have, false};
      p = static_cast<std::size_t>(static_cast<const char*>(newLine) - data) + 1;
      seeking = false;
    }
    const int taken = takeLines(data, have, p, at, to, take);
    flush();
    if (taken != 0) return {at + p, taken > 0};
    if (ended) return {at + p, p == have};
    if (have - p >= piece) return {at + p, false};
    std::memmove(buffer.data(), data + p, have - p);
    at += p;
    have -= p;
  }
}

// Gives memory to the whole pages of [at, at + bytes), not yet written, in
// one call. Only a hint: where the system cannot, they come as they are
// first written.
inline void populate(void* at, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  const std::uintptr_t page = 4096;
  const std::uintptr_t lo = (reinterpret_cast<std::uintptr_t>(at) + page - 1) & ~(page - 1);
  const std::uintptr_t hi = (reinterpret_cast<std::uintptr_t>(at) + bytes) & ~(page - 1);
  if (hi > lo) ::madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_POPULATE_WRITE);
#else
  (void)at;
  (void)bytes;
#endif
}

// How many records a run read in place, and the offset after the last.
struct InPlace {
  int records = 0;
  std::uint64_t end = 0;
};

// Room for the records after the head: `at` holds `places` of them, the
// first for the record numbered right after the head's.
template <class Record>
struct Room {
  Record* at = nullptr;
  std::size_t places = 0;
};

// Reads records numbered next, next + 1, ... but never beyond `last` from
// the lines that start at `from` (a line start; `buffered` holds the bytes
// from there that the stream has in memory, perhaps none), while parse(line,
// limit, item, record) takes each. `out` receives them:
//   out.deliver(records)  the head's, read on the calling thread first;
//   out.room(perRecord, records, bytes)  then room for the rest (perRecord
//       the head's bytes a record; at most `records` more may come in the
//       `bytes` left of the file), uninitialised places past its end;
//   out.adopt(n)  the n records constructed from the room's first place on.
// The rest is cut among the threads, and each constructs its records
// straight in the places their numbers give. Before they start, the first
// record of each stretch is read alone (a probe), so that each thread
// writes only between its own first place and the next stretch's: however
// the numbers in a file run, no two threads share a place. A stretch is
// joined only when every stretch before was read whole and it goes on with
// the next number; the records of the others are destroyed again, so a
// stretch that is not joined leaves no trace.
template <class Record, class Parse, class Out>
InPlace readInPlace(const F_InputFile& file, std::uint64_t from, std::string_view buffered, int next, int last,
                    const Parse& parse, Out& out) {
  // The head begins with the buffered lines, where they are: a file of
  // another shape is declined without any copy.
  std::vector<char> buffer;
  std::vector<Record> headRecords;
  int headCount = 0;
  Stretch head;
  {
    int expected = next;
    auto take = [&](std::string_view line, const char* limit) {
      try {
        headRecords.emplace_back();
      } catch (const std::bad_alloc&) {
        return false;  // the ordinary reader meets the shortage and says so
      }
      int item;
      if (!parse(line, limit, item, headRecords.back()) || item != expected || item > last) {
        headRecords.pop_back();
        return false;
      }
      ++expected;
      ++headCount;
      return true;
    };
    auto flush = [&] {
      out.deliver(headRecords);
      headRecords.clear();
    };
    head = readStretch(file, from, from + headBytes, true, buffered, buffer, take, flush);
  }
  InPlace done{headCount, head.end};
  if (!head.whole || headCount == 0 || done.end >= file.size() || next + headCount > last) return done;

  // The rest of the section, as long as the head's lines on average, a
  // little more for lines that grow longer, and never beyond the file.
  const int first = next + headCount;
  const std::uint64_t leftBytes = file.size() - done.end;
  const double left = static_cast<double>(last) - first + 1;
  const double perRecord = static_cast<double>(done.end - from) / headCount;
  const double rest = std::min(static_cast<double>(leftBytes), left * perRecord * 1.03 + 1.0);
  const auto span = static_cast<std::uint64_t>(rest);
  const int threads = std::max(1, std::min<int>(F_RenderThreads::count(), static_cast<int>(span / bytesPerThread)));
  const Room<Record> room = out.room(perRecord, static_cast<std::size_t>(last - first) + 1, leftBytes);
  if (room.places == 0) return done;

  struct Lane {
    std::uint64_t from = 0, to = 0;
    int first = 0;  // the number of its first record; 0 when it reads none
    std::size_t place = 0, end = 0;  // the places it may write: [place, end)
    int count = 0;
    Stretch stretch;
  };
  // A few stretches per thread, each taken by the next thread free: a thread
  // that shares its core with other work reads fewer of them, and none waits
  // long for another's last one.
  const int count = threads == 1 ? 1
                                 : std::max(threads, std::min<int>(lanesPerThread * threads,
                                                                   static_cast<int>(span / bytesPerThread)));
  std::vector<Lane> lanes(static_cast<std::size_t>(count));
  for (int t = 0; t < count; ++t) {
    Lane& lane = lanes[static_cast<std::size_t>(t)];
    lane.from = done.end + span * static_cast<std::uint64_t>(t) / count;
    lane.to = done.end + span * static_cast<std::uint64_t>(t + 1) / count;
  }
  // The probes: the number of each stretch's first record (the first line
  // that starts in it); a stretch in which no line starts is whole and empty.
  lanes[0].first = first;
  int highest = first;
  for (std::size_t t = 1; t < lanes.size(); ++t) {
    Lane& lane = lanes[t];
    bool seen = false;
    Record record{};
    auto take = [&](std::string_view line, const char* limit) {
      int item;
      seen = true;
      if (parse(line, limit, item, record) && item > highest && item <= last &&
          static_cast<std::size_t>(item - first) < room.places)
        lane.first = highest = item;
      return false;  // one line is all a probe reads
    };
    const Stretch probe = readStretch(file, lane.from, lane.to, false, {}, buffer, take, [] {});
    if (!seen) lane.stretch = probe;  // no line starts in it (whole) or none ends (not)
  }
  // Each stretch writes from its first record's place up to the next
  // stretch's, the last up to the end of the room.
  std::size_t end = std::min(room.places, static_cast<std::size_t>(last - first) + 1);
  for (std::size_t t = lanes.size(); t-- > 0;) {
    Lane& lane = lanes[t];
    if (lane.first == 0) continue;
    lane.place = static_cast<std::size_t>(lane.first - first);
    lane.end = end;
    end = lane.place;
  }

  auto readLane = [&](std::size_t t, std::vector<char>& own) {
    Lane& lane = lanes[t];
    if (lane.first == 0) return;
    int expected = lane.first;
    Record* at = room.at + lane.place;
    Record* const stop = room.at + lane.end;
    // The pages its records should fill are given memory in one call first,
    // not one fault at a time as they are written.
    const double expect = static_cast<double>(lane.to - lane.from) / perRecord * 1.03 + 16;
    populate(at, std::min<std::size_t>(lane.end - lane.place, static_cast<std::size_t>(expect)) * sizeof(Record));
    auto take = [&](std::string_view line, const char* limit) {
      if (at == stop) return false;
      Record* const record = ::new (static_cast<void*>(at)) Record();
      int item;
      if (!parse(line, limit, item, *record) || item != expected) {
        record->~Record();
        return false;
      }
      ++expected;
      ++at;
      ++lane.count;
      return true;
    };
    lane.stretch = readStretch(file, lane.from, lane.to, t == 0, {}, own, take, [] {});
  };
  std::atomic<std::size_t> nextLane{0};
  auto work = [&](int t) {
    std::vector<char> own;
    for (std::size_t i; (i = nextLane.fetch_add(1, std::memory_order_relaxed)) < lanes.size();)
      readLane(i, t == 0 ? buffer : own);
  };
  if (!F_RenderThreads::run(threads, work))
    for (int t = 0; t < threads; ++t) work(t);

  std::size_t joined = 0;
  bool open = true;
  for (Lane& lane : lanes) {
    if (open && lane.count == 0 && lane.stretch.whole) continue;  // no line starts in it
    if (open && lane.count > 0 && lane.place == joined) {
      joined += static_cast<std::size_t>(lane.count);
      done.end = lane.stretch.end;
      open = lane.stretch.whole;
      continue;
    }
    open = false;
    if constexpr (!std::is_trivially_destructible_v<Record>) {
      for (int i = 0; i < lane.count; ++i) room.at[lane.place + static_cast<std::size_t>(i)].~Record();
    }
  }
  out.adopt(joined);
  done.records += static_cast<int>(joined);
  return done;
}

}  // namespace F_RecordScan
