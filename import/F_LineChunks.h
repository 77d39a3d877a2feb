#pragma once
// Record lines of a text mesh file parsed on several threads: a stretch of
// the file is cut into pieces that the threads take in turn, each reading
// its piece from the file itself in cache-sized bites and parsing it on its
// own until its first line that is not of the plain shape, and the parts
// joined in order while each goes on where the one before ended. The line that stopped a part, and everything after it, is
// left to the ordinary word-by-word reading, which says what is wrong with
// it, on the line and in the words it always has.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include "common/F_RenderThreads.h"
#include "import/F_TextScanner.h"
#include "include/F_File.h"

namespace F_LineChunks {

// Bytes of lines each thread parses at a time: the first stretch of a run
// of records is small, and each one after it twice the one before, up to
// the most, so that a long section meets the threads seldom (every meeting
// may wait for a thread the system has put aside) and a short one is
// still shared out. A stretch shorter than two parts' worth of a minimum is
// left to the ordinary reading. The records parsed from a stretch take
// about twice its bytes and their room is kept from one stretch to the
// next, so the most is small: room for larger stretches costs a fresh page
// fault for every 4 KiB of it and outgrows the caches (a part of 4 MiB cost
// 11 % more processor time than one of 1 MiB on a mesh of 80 MB).
constexpr std::size_t kPartBytes = 512 * 1024;
constexpr std::size_t kMostPartBytes = 1 << 20;
// However many threads there are: a stretch, and the records parsed from it,
// stay within a few times this.
constexpr std::size_t kMostStretchBytes = 16 << 20;
constexpr std::size_t kMinPartBytes = 32 * 1024;

// Bytes a thread reads at a time into a buffer of its own, small enough to
// stay in its cache while it parses them: a stretch copied whole first and
// parsed after would pass through memory twice.
constexpr std::size_t kReadBytes = 128 * 1024;
// Bytes a piece reads past its share at a time, for the line that ends
// there (a longer one is read on in more of them).
constexpr std::size_t kPastShareBytes = 4096;
// Bytes after the data in a thread's buffer that a part may read past a line
// (their content means nothing).
constexpr std::size_t kSlackBytes = 256;
// Bytes before the data in a thread's buffer (of no meaning): the sixteen
// bytes before a run of digits are read with it.
constexpr std::size_t kFrontBytes = 64;
// A longer line is left to the ordinary reading (no record line is nearly
// as long), so that a buffer stays small whatever the file holds.
constexpr std::size_t kMostLineBytes = 64 * 1024;

// Where piece i of `pieces` of the `length` bytes from `from` has its share
// begin (i == pieces: where the last one ends). A line belongs to the piece whose share holds the line end before
// it (the first line to the first piece), so every piece after the first
// begins after the first line end in its share, and a piece of one long
// line may be empty.
inline std::uint64_t shareStart(std::uint64_t from, std::uint64_t length, std::size_t i, std::size_t pieces) {
  return i == pieces ? from + length : from + length / pieces * i;
}

// The numbers of a part's records, kept only once they stop running on one
// by one from the first (most files number their nodes so): nothing is
// stored for them, and nothing read back to find that they run on.
struct RunningIds {
  std::int64_t first = 0;
  std::size_t count = 0;
  bool runsOn = true;
  std::vector<std::int64_t> ids;
  void clear() {
    count = 0;
    runsOn = true;
    ids.clear();
  }
  void keep(std::int64_t id) {
    if (runsOn) {
      if (count == 0) first = id;
      if (static_cast<std::uint64_t>(id) - static_cast<std::uint64_t>(first) != count) {
        runsOn = false;
        for (std::size_t k = 0; k < count; ++k) {
          ids.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(first) + k));
        }
      }
    }
    if (!runsOn) ids.push_back(id);
    ++count;
  }
  // Each record's number, or null when they run on from `first`.
  const std::int64_t* list() const { return runsOn ? nullptr : ids.data(); }
};

// What one part read: `Part` holds the records (its take(line, limit)
// parses one line, without its line end, and may read past it up to
// `limit`; it returns false, keeping nothing of it, when the line is not of
// the plain shape; restart(shape) forgets them, keeping the storage, and
// takes the record shape of `shape`; reserve(bytes) makes room for the
// records of that many bytes).
template <class Part>
struct Run {
  Part part;
  std::size_t lines = 0;  // records taken, one per line
  std::size_t bytes = 0;  // of those lines, line ends included
  bool whole = false;     // every line of the piece was taken
  std::size_t used = 0;   // records the reading goes on with
};

// The parts of one kind of record, kept from one stretch to the next so that
// their storage is made once; `prototype` gives the record shape. Two sets:
// one stretch is handed on while the next is parsed.
// A part that may take lines of the plainest shape in one pass has
// takeQuick(p, end): true when it took the line at p, whose line end lies
// before `end`, with p moved past that line end; false, keeping nothing
// and deciding nothing, for any other line, which take() is then asked about.
template <class Part>
constexpr bool kTakesQuick = requires(Part part, const char* p) { part.takeQuick(p, p); };

template <class Part>
struct Runs {
  explicit Runs(Part prototype = Part()) : prototype(std::move(prototype)) {}
  Part prototype;
  std::vector<Run<Part>> sets[2];
  std::vector<std::vector<char>> buffers;  // one for each thread
};

// Parses the whole lines of the `length` bytes of `file` from `from` (the
// line that holds its last byte too), a line that lacks its line end at
// the end of the file left out, cut into `parts` pieces on `threads`
// threads, each taking the next piece not yet taken, at most `most` lines a
// piece, into into.sets[set] (one run per piece): a thread held up elsewhere
// delays only its own piece. `before` runs first on the calling thread.
// Pieces after one that ended early are not parsed (their runs stay empty).
template <class Part, class Before>
void parse(const F_InputFile& file, std::uint64_t from, std::uint64_t length, int threads, int parts,
           std::size_t most, Runs<Part>& into, int set, Before&& before) {
  const std::size_t pieces = static_cast<std::size_t>(std::max(1, parts));
  std::vector<Run<Part>>& runs = into.sets[set];
  runs.resize(pieces, Run<Part>{into.prototype});
  for (Run<Part>& run : runs) {
    run.lines = run.bytes = run.used = 0;
    run.whole = false;
  }
  threads = std::max(1, std::min(threads, parts));
  if (into.buffers.size() < static_cast<std::size_t>(threads)) into.buffers.resize(static_cast<std::size_t>(threads));
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> stop{pieces};  // the first piece known to end early
  auto parsePiece = [&](std::size_t i, std::vector<char>& buf) {
    Run<Part>& run = runs[i];
    const std::uint64_t lo = shareStart(from, length, i, pieces);
    const std::uint64_t hi = shareStart(from, length, i + 1, pieces);
    if (buf.size() < kFrontBytes + kReadBytes + kSlackBytes) buf.resize(kFrontBytes + kReadBytes + kSlackBytes);
    char* base = buf.data() + kFrontBytes;
    std::uint64_t at = lo;  // the offset of base[0]
    std::size_t have = 0, p = 0;
    // Keeps base[p, have) at the front and reads on behind it; false at the
    // end of the file.
    auto more = [&] {
      std::memmove(base, base + p, have - p);
      at += p;
      have -= p;
      p = 0;
      if (buf.size() < kFrontBytes + have + kReadBytes + kSlackBytes) {
        buf.resize(kFrontBytes + have + kReadBytes + kSlackBytes);
        base = buf.data() + kFrontBytes;
      }
      // A bite, or what is left of the share and a little past it for its
      // last line: a piece much smaller than a bite copies no more than it parses.
      const std::uint64_t next = at + have;
      const std::size_t bite = static_cast<std::size_t>(
          std::min<std::uint64_t>(kReadBytes, (next < hi ? hi - next : 0) + kPastShareBytes));
      const std::size_t n = file.readAt(next, base + have, bite);
      have += n;
      return n > 0;
    };
    run.part.restart(into.prototype);
    // A thread must not throw: when memory runs out the part ends there, and
    // the ordinary reading, on the calling thread, meets the shortage itself.
    try {
      run.part.reserve(static_cast<std::size_t>(hi - lo));
      if (i > 0) {
        for (;;) {  // past the first line end of the share
          const void* nl = std::memchr(base + p, '\n', have - p);
          if (nl) {
            p = static_cast<std::size_t>(static_cast<const char*>(nl) - base) + 1;
            break;
          }
          p = have;
          if (!more()) break;
        }
      }
      const std::uint64_t first = at + p;
      while (at + p <= hi) {
        if constexpr (kTakesQuick<Part>) {
          // Line after line while they have the plain shape, the place and
          // the count kept at hand: a line may start up to `hi`.
          const char* q = base + p;
          const char* const haveEnd = base + have;
          const char* const stop = base + std::min<std::uint64_t>(have, hi - at + 1);
          std::size_t lines = run.lines;
          bool declined = false;
          while (q < stop && lines != most) {
            const char* next = q;
            if (!run.part.takeQuick(next, std::min(haveEnd, q + kMostLineBytes))) {
              declined = true;
              break;
            }
            q = next;
            ++lines;
          }
          if (lines != run.lines) {
            run.lines = lines;
            p = static_cast<std::size_t>(q - base);
            run.bytes = static_cast<std::size_t>(at + p - first);
            if (!declined) continue;
          }
        }
        const char* nl = static_cast<const char*>(std::memchr(base + p, '\n', have - p));
        if (!nl) {
          if (have - p > kMostLineBytes) return;
          if (more()) continue;
          break;  // the end of the file: a last line without its end is no record
        }
        const char* const start = base + p;
        if (run.lines == most || static_cast<std::size_t>(nl - start) > kMostLineBytes) return;
        const std::string_view line(start, static_cast<std::size_t>(nl - start));
        if (!run.part.take(line, base + have + kSlackBytes)) return;
        ++run.lines;
        p = static_cast<std::size_t>(nl - base) + 1;
        run.bytes = static_cast<std::size_t>(at + p - first);
      }
      run.whole = true;
    } catch (...) {
    }
  };
  auto work = [&](int t) {
    if (t == 0) before();
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= pieces) return;
      if (i > stop.load()) continue;
      parsePiece(i, into.buffers[static_cast<std::size_t>(t)]);
      if (!runs[i].whole) {
        std::size_t known = stop.load();
        while (i < known && !stop.compare_exchange_weak(known, i)) {
        }
      }
    }
  };
  // When no thread can be started, nothing ran: all of it on this one.
  if (!F_RenderThreads::run(threads, work)) work(0);
}

template <class Part>
void parse(const F_InputFile& file, int threads, int parts, std::size_t most, Runs<Part>& into) {
  parse(file, 0, file.size(), threads, parts, most, into, 0, [] {});
}

// The bytes of the first `count` lines of `file` from `from`, line ends
// included (each of them there).
inline std::size_t bytesOfLines(const F_InputFile& file, std::uint64_t from, std::size_t count) {
  std::vector<char> buf(kReadBytes);
  std::size_t bytes = 0;
  while (count > 0) {
    const std::size_t n = file.readAt(from + bytes, buf.data(), buf.size());
    if (n == 0) break;
    const char* p = buf.data();
    const char* const end = buf.data() + n;
    while (count > 0) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (!nl) break;
      p = nl + 1;
      --count;
    }
    bytes += count > 0 ? n : static_cast<std::size_t>(p - buf.data());
  }
  return bytes;
}

// Record lines read in parts while they come in long runs of the plain
// shape. A section of records asks read() before each record; once a run
// has ended on another line, or there were too few lines to share out, the
// next kPause records are left to the ordinary reading, so that a file of
// other shapes costs no more than a glance now and then.
class Reader {
 public:
  static constexpr std::size_t kMinRecords = 2048;
  static constexpr std::size_t kPause = 4096;
  // Pieces of a stretch for each thread: the calling thread, which also
  // hands on the records of the stretch before, takes fewer; many small
  // pieces keep the wait for the last one at a stretch's end short.
  static constexpr int kPiecesPerThread = 16;

  explicit Reader(F_TextScanner& text) : text_(text), threads_(F_RenderThreads::count()) {}

  // Reads up to `most` record lines from where the scanner stands, a
  // stretch at a time parsed in parts, and hands each record to `use(part,
  // index, line)` in file order (`index` counts within its part), with the
  // line it stood on; the records of one stretch are handed on while the
  // next is parsed. Passes the lines used and returns how many: 0 when only
  // one thread may be used, when there are too few lines to share out, or
  // when the next line is not of the plain shape; then nothing was consumed.
  template <class Part, class Use>
  std::size_t read(std::size_t most, Runs<Part>& runs, Use&& use) {
    return readRuns(most, runs, [&](const Part& part, std::size_t count, int line) {
      for (std::size_t i = 0; i < count; ++i) use(part, i, line + static_cast<int>(i));
    });
  }
  // As read(), but hands on the records of each part at once:
  // useRun(part, count, line) for its first `count` records, the first of
  // them on `line` and each after it on the next.
  template <class Part, class UseRun>
  std::size_t readRuns(std::size_t most, Runs<Part>& runs, UseRun&& useRun) {
    // Asked before every record: the answer is mostly no, and quick.
    if (threads_ <= 1 || most < kMinRecords) return 0;
    if (pause_ > 0) {
      --pause_;
      return 0;
    }
    return readParts(most, runs, useRun);
  }

 private:
  template <class Part, class UseRun>
  [[gnu::noinline]] std::size_t readParts(std::size_t most, Runs<Part>& runs, UseRun& useRun) {
    std::size_t total = 0;
    int pending = -1;  // the set whose records wait to be handed on
    int pendingLine = 0;
    std::exception_ptr failure;
    auto handOn = [&](int set, int line) {
      for (const Run<Part>& run : runs.sets[set]) {
        if (run.used == 0) continue;
        useRun(run.part, run.used, line);
        line += static_cast<int>(run.used);
      }
    };
    bool more = true;
    std::size_t partBytes = kPartBytes;
    const F_InputFile& file = text_.file();
    text_.skipBufferedBlanks();
    while (more) {
      const std::uint64_t left = text_.remaining();
      if (left == 0) break;
      const std::size_t want = std::min(partBytes * static_cast<std::size_t>(threads_), kMostStretchBytes);
      partBytes = std::min(2 * partBytes, kMostPartBytes);
      const std::uint64_t from = text_.fileOffset();
      const std::uint64_t length = std::min<std::uint64_t>(want, left);
      const int parts =
          static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(threads_), length / kMinPartBytes));
      if (parts <= 1) {
        if (total == 0) pause_ = kPause;
        break;
      }
      const int set = pending == 0 ? 1 : 0;
      const int line = pendingLine;
      const int before = pending;
      parse(file, from, length, parts, parts * kPiecesPerThread, most - total, runs, set, [&] {
        // The thread must not throw: a failure goes on once the parts are done.
        if (before < 0) return;
        try {
          handOn(before, line);
        } catch (...) {
          failure = std::current_exception();
        }
      });
      if (failure) std::rethrow_exception(failure);
      std::size_t used = 0, bytes = 0;
      for (Run<Part>& run : runs.sets[set]) {
        if (!more) break;
        run.used = std::min(run.lines, most - total - used);
        if (run.used < run.lines) {
          // The records wanted end inside this part: its bytes up to their last line end.
          bytes += bytesOfLines(file, from + bytes, run.used);
          used += run.used;
          more = false;
          break;
        }
        used += run.used;
        bytes += run.bytes;
        if (!run.whole) {
          if (total + used < most) pause_ = kPause;
          more = false;
        }
      }
      // A stretch that gave no record (one last line without its end, or a
      // file shorter now than when it was opened) would be tried again for
      // ever: the ordinary reading takes what is left.
      if (used == 0) {
        if (total == 0) pause_ = kPause;
        more = false;
      }
      if (total + used == most) more = false;
      pending = set;
      pendingLine = text_.line();
      text_.seek(from + bytes, static_cast<int>(used));
      total += used;
    }
    if (pending >= 0) handOn(pending, pendingLine);
    return total;
  }

  F_TextScanner& text_;
  int threads_;
  std::size_t pause_ = 0;  // records left to the ordinary reading before the next try
};

}  // namespace F_LineChunks
