#pragma once
// Record lines of a text mesh file parsed on several threads: a stretch of
// whole lines is cut at line ends into pieces that the threads take in turn,
// each piece parsed on its own until its first line that is not of the plain
// shape, and the parts joined in order while each goes on where the one
// before ended. The line that stopped a part, and everything after it, is
// left to the ordinary word-by-word reading, which says what is wrong with
// it, on the line and in the words it always has.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include "common/F_RenderThreads.h"
#include "import/F_TextScanner.h"

namespace F_LineChunks {

// Bytes of lines each thread parses at a time: the first stretch of a run
// of records is small, and each one after it twice the one before, up to
// the most, so that a long section meets the threads seldom (every meeting
// may wait for a thread the system has put aside) and a short one is
// still shared out. A stretch shorter than two parts' worth of a minimum is
// left to the ordinary reading.
constexpr std::size_t kPartBytes = 512 * 1024;
constexpr std::size_t kMostPartBytes = 4 << 20;
// However many threads there are: a stretch, and the records parsed from it,
// stay within a few times this.
constexpr std::size_t kMostStretchBytes = 16 << 20;
constexpr std::size_t kMinPartBytes = 32 * 1024;

// `text` (whole lines, each ending with '\n') in up to `parts` pieces of
// about equal size, each ending with a line end; none is empty.
inline std::vector<std::string_view> split(std::string_view text, int parts) {
  std::vector<std::string_view> pieces;
  std::size_t from = 0;
  for (int t = 1; t <= parts && from < text.size(); ++t) {
    std::size_t to = text.size();
    if (t < parts) {
      // The piece ends with the first line end at or after its share.
      const std::size_t share = text.size() / static_cast<std::size_t>(parts) * static_cast<std::size_t>(t);
      to = text.find('\n', std::max(from, share));
      to = to == std::string_view::npos ? text.size() : to + 1;
    }
    pieces.push_back(text.substr(from, to - from));
    from = to;
  }
  return pieces;
}

// What one part read: `Part` holds the records (its take(line, limit)
// parses one line, without its line end, which it may read past up to
// `limit`, the end of its piece, and returns false, keeping nothing of it,
// when the line is not of the plain shape; restart(shape) forgets them,
// keeping the storage, and takes the record shape of `shape`; reserve(bytes)
// makes room for the records of that many bytes).
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
template <class Part>
struct Runs {
  explicit Runs(Part prototype = Part()) : prototype(std::move(prototype)) {}
  Part prototype;
  std::vector<Run<Part>> sets[2];
};

// Parses `text` cut into `parts` pieces on `threads` threads, each taking
// the next piece not yet taken, at most `most` lines a piece, into
// into.sets[set] (one run per piece): a thread held up elsewhere delays only
// its own piece. `before` runs first on the calling thread. Pieces after one
// that ended early are not parsed (their runs stay empty).
template <class Part, class Before>
void parse(std::string_view text, int threads, int parts, std::size_t most, Runs<Part>& into, int set,
           Before&& before) {
  const std::vector<std::string_view> pieces = split(text, parts);
  std::vector<Run<Part>>& runs = into.sets[set];
  runs.resize(pieces.size(), Run<Part>{into.prototype});
  for (Run<Part>& run : runs) {
    run.lines = run.bytes = run.used = 0;
    run.whole = false;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> stop{pieces.size()};  // the first piece known to end early
  auto parsePiece = [&](std::size_t i) {
    Run<Part>& run = runs[i];
    const std::string_view piece = pieces[i];
    const char* const pieceEnd = piece.data() + piece.size();
    run.part.restart(into.prototype);
    // A thread must not throw: when memory runs out the part ends there, and
    // the ordinary reading, on the calling thread, meets the shortage itself.
    try {
      run.part.reserve(piece.size());
      std::size_t at = 0;
      while (at < piece.size()) {
        if (run.lines == most) return;
        const char* start = piece.data() + at;
        const char* nl = static_cast<const char*>(std::memchr(start, '\n', piece.size() - at));
        if (!run.part.take(std::string_view(start, static_cast<std::size_t>(nl - start)), pieceEnd)) return;
        ++run.lines;
        at += static_cast<std::size_t>(nl - start) + 1;
        run.bytes = at;
      }
      run.whole = true;
    } catch (...) {
    }
  };
  auto work = [&](int t) {
    if (t == 0) before();
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= pieces.size()) return;
      if (i > stop.load()) continue;
      parsePiece(i);
      if (!runs[i].whole) {
        std::size_t known = stop.load();
        while (i < known && !stop.compare_exchange_weak(known, i)) {
        }
      }
    }
  };
  // When no thread can be started, nothing ran: all of it on this one.
  if (!F_RenderThreads::run(std::max(1, std::min(threads, static_cast<int>(pieces.size()))), work)) work(0);
}

template <class Part>
void parse(std::string_view text, int threads, int parts, std::size_t most, Runs<Part>& into) {
  parse(text, threads, parts, most, into, 0, [] {});
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
  // hands on the records of the stretch before, takes fewer.
  static constexpr int kPiecesPerThread = 4;

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
    // Asked before every record: the answer is mostly no, and quick.
    if (threads_ <= 1 || most < kMinRecords) return 0;
    if (pause_ > 0) {
      --pause_;
      return 0;
    }
    return readParts(most, runs, use);
  }

 private:
  template <class Part, class Use>
  [[gnu::noinline]] std::size_t readParts(std::size_t most, Runs<Part>& runs, Use& use) {
    std::size_t total = 0;
    int pending = -1;  // the set whose records wait to be handed on
    int pendingLine = 0;
    std::exception_ptr failure;
    auto handOn = [&](int set, int line) {
      for (const Run<Part>& run : runs.sets[set]) {
        for (std::size_t i = 0; i < run.used; ++i) use(run.part, i, line++);
      }
    };
    bool more = true;
    std::size_t partBytes = kPartBytes;
    while (more) {
      if (text_.atEnd()) break;
      const std::size_t want = std::min(partBytes * static_cast<std::size_t>(threads_), kMostStretchBytes);
      partBytes = std::min(2 * partBytes, kMostPartBytes);
      std::string_view lines = text_.lines(want);
      if (lines.size() > want) lines = lines.substr(0, lines.find('\n', want) + 1);
      const int parts =
          static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads_), lines.size() / kMinPartBytes));
      if (parts <= 1) {
        if (total == 0) pause_ = kPause;
        break;
      }
      const int set = pending == 0 ? 1 : 0;
      const int line = pendingLine;
      const int before = pending;
      parse(lines, parts, parts * kPiecesPerThread, most - total, runs, set, [&] {
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
          const char* p = lines.data() + bytes;
          const char* const end = lines.data() + lines.size();
          for (std::size_t i = 0; i < run.used; ++i) {
            p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))) + 1;
          }
          bytes = static_cast<std::size_t>(p - lines.data());
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
      if (total + used == most) more = false;
      pending = set;
      pendingLine = text_.line();
      text_.takeLines(bytes, static_cast<int>(used));
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
