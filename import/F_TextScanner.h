#pragma once
// Words of a text mesh file, read straight from the buffered stream: blanks,
// tabs and line ends separate them, lines are counted, and every failure names
// the line and what was expected there.

#include <cstdint>
#include <cstring>
#include <vector>
#include <string>
#include <string_view>

#include "include/F_File.h"

class F_TextScanner {
 public:
  // Bytes a refill reads at most.
  static constexpr std::size_t kFillBytes = 256 << 10;
  explicit F_TextScanner(F_InputFile& file) : file_(file), base_(file.offset()), buf_(kBufferSize) {}

  F_InputFile& file() const { return file_; }
  int line() const { return line_; }
  // Bytes consumed so far, and still to come.
  std::uint64_t offset() const { return consumedBefore_ + pos_; }
  std::uint64_t remaining() const { return (end_ - pos_) + file_.remaining(); }

  // The next word, or an empty view at the end of the file. Valid until the next read.
  std::string_view word();
  // The next word, which must be there.
  std::string_view word(std::string_view what);
  // The next word, which must be `expected`.
  void expect(std::string_view expected);
  std::int64_t integer(std::string_view what);
  double real(std::string_view what);
  // The rest of the current line, without its line end (a CR before it is
  // dropped); valid until the next read.
  std::string_view restOfLine();
  // Skips blanks up to and including the next line end.
  void endLine();
  // The rest of the current line, without its line end, when a line end
  // follows it in the buffer: records that fill one line are parsed in place,
  // and only takeLine() consumes them. False (nothing consumed) otherwise.
  bool peekLine(std::string_view& line);
  // The end of the buffered bytes: what a line peekLine() gave may be read up to.
  const char* bufferEnd() const { return buf_.data() + end_; }
  // Whether the 16 bytes before p (a byte of the buffer) may be read.
  bool readableBefore(const char* p) const { return p - buf_.data() >= 16; }
  // How far the bytes of `text` (from the last read) may be read: to the end
  // of the buffered bytes when it lies among them, else to its own end.
  const char* readableEnd(std::string_view text) const {
    const bool buffered = text.data() >= buf_.data() && text.data() + text.size() <= bufferEnd();
    return buffered ? bufferEnd() : text.data() + text.size();
  }
  // Passes the line peekLine() gave and its line end.
  void takeLine() {
    pos_ = peekEnd_ + 1;
    ++line_;
  }
  bool atEnd();
  // Where in the file the next byte lies (offset() counts from where the
  // scanner began).
  std::uint64_t fileOffset() const { return base_ + offset(); }
  // Passes blanks and line ends among the buffered bytes, counting lines,
  // without reading more.
  void skipBufferedBlanks();
  // Goes on from `at` in the file (at or after fileOffset()), the bytes before
  // it consumed in place, `lines` line ends among them.
  void seek(std::uint64_t at, int lines);
  // Passes over every byte up to and including `marker`, counting lines.
  void skipPast(std::string_view marker);
  // Raw bytes (binary stretches of a mixed file); how many there were.
  std::size_t bytes(void* out, std::size_t n) {
    if (n <= end_ - pos_) {
      std::memcpy(out, buf_.data() + pos_, n);
      pos_ += n;
      return n;
    }
    return slowBytes(out, n);
  }

  // "ERROR\nExpected <what>, found "<word>"." at the current line.
  [[noreturn]] void fail(std::string_view what, std::string_view found) const;
  [[noreturn]] void failMessage(const std::string& message) const;
  // In a file with binary stretches lines mean little: failures name the byte offset.
  void reportOffsets() { offsets_ = true; }

 private:
  static constexpr std::size_t kBufferSize = 1 << 20;
  // Reads that want this much more than is buffered bypass the buffer.
  static constexpr std::size_t kDirectRead = 16 << 10;
  bool fill();       // more bytes after the ones kept; false at the end of the file
  int skipBlanks();  // the first byte that is not a delimiter, still unread, or -1
  // The next word in place when it lies whole in the buffer, else copied.
  std::string_view nextWord();
  std::size_t slowBytes(void* out, std::size_t n);

  F_InputFile& file_;
  std::uint64_t base_;  // the file's offset where the scanner began
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::size_t peekEnd_ = 0;
  std::uint64_t consumedBefore_ = 0;
  int line_ = 1;
  bool offsets_ = false;
  std::string word_;
  std::string lineText_;
};

// "ERROR\nExpected <what>, found "<found>"." (the found text shortened and
// kept to visible characters).
std::string expectedMessage(std::string_view what, std::string_view found);

// An optional '-' and 1 to 18 digits at p, before `end`: returns where they
// stop (the caller judges what follows), or nullptr when no digit is there.
[[gnu::always_inline]] inline const char* parseIntegerPrefix(const char* p, const char* end, std::int64_t& value) {
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  const char* const digits = p;
  // At most 18 digits: one bound for the loop instead of two.
  const char* const limit = end - p > 18 ? p + 18 : end;
  std::int64_t v = 0;
  while (p < limit) {
    const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(*p) - '0');
    if (d > 9) break;
    v = v * 10 + d;
    ++p;
  }
  if (p == digits) return nullptr;
  value = negative ? -v : v;
  return p;
}

// The blank-separated words of one line, parsed where they lie. Each call
// takes a word only when it is of the plain shape the scanner reads the
// quick way; a caller that meets anything else reads the record again
// through the scanner, which says what is wrong.
class F_LineFields {
 public:
  // `limit` (at or after the end of the line, or null) is how far its bytes
  // may be read: a quick reading may look past a word.
  explicit F_LineFields(std::string_view line, const char* limit = nullptr)
      : p_(line.data()), end_(line.data() + line.size()), limit_(limit ? limit : end_) {}
  // An optional '-' and 1 to 18 digits. Called for every number of every
  // record line: kept inline in the readers' loops, however large they grow.
  [[gnu::always_inline]] bool integer(std::int64_t& value) {
    skipBlanks();
    std::int64_t v = 0;
    const char* const p = parseIntegerPrefix(p_, end_, v);
    if (!p || (p < end_ && !isBlank(*p))) return false;
    p_ = p;
    value = v;
    return true;
  }
  // A word parseReal takes.
  bool real(double& value);
  // Nothing but blanks left.
  bool atEnd() {
    skipBlanks();
    return p_ == end_;
  }

 private:
  static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
  void skipBlanks() {
    while (p_ < end_ && isBlank(*p_)) ++p_;
  }
  const char* p_;
  const char* end_;
  const char* limit_;
};

// A real at p, up to `end` or the first byte that cannot continue it, where
// `stop` is left; false when none starts there. Bytes up to `limit` (at or
// after `end`) may be read, of no meaning past `end`: with a few dozen of
// them a real of the usual shape is read the quick way. parseReal is this
// over a whole word.
bool parseRealPrefix(const char* p, const char* end, const char*& stop, double& value, const char* limit);
inline bool parseRealPrefix(const char* p, const char* end, const char*& stop, double& value) {
  return parseRealPrefix(p, end, stop, value, end);
}

// A node line of the plainest shape, "id x y z" (or "x y z" without
// `withId`), taken at once: the classes of its bytes found sixteen at a
// time, then each word from the bits. The id has 1 to 18 digits, each
// coordinate [-]digits[.digits] with 1 to 19 digits; words are separated
// by blanks (' ', '\t', '\r'). False for any other line (nothing decided),
// which F_LineFields reads to the same values, or refuses. Lines of up to
// kNodeLineBytes bytes, with kNodeLineBytes + 8 bytes from `p` readable up
// to `limit`.
constexpr int kNodeLineBytes = 64;
bool plainNodeLine(const char* p, const char* end, const char* limit, bool withId, std::int64_t& id, double* xyz);
// The same for a node line of an input deck, "id, x[, y[, z]]" (a comma
// after the last allowed, the coordinates not given 0; blanks are ' ' and
// '\t'), as the deck's own field reading would read it.
bool plainDeckNodeLine(const char* p, const char* end, const char* limit, std::int64_t& id, double* xyz);

// A node line of the plainest shape read in one pass (F_QuickLines): "id x
// y z" (or "x y z" without `withId`), the id of 1 to 16 digits, each
// coordinate [-]digits[.digits] of 1 to 19 digits, separated by blanks
// (' ', '\t'), the line starting with its first digit and ending in
// blanks or not; or, for a deck, "id, x[, y[, z]]" with a comma between
// words and one after the last allowed (the coordinates not given 0).
// Where the line after it starts, or null for any other line (the values
// of the other readings are the same for every line taken here). The line
// end must lie before `end`; up to 17 bytes past any byte before it, and
// the 16 bytes before p, may be read.
const char* quickNodeLine(const char* p, const char* end, bool withId, std::int64_t& id, double* xyz);
const char* quickDeckNodeLine(const char* p, const char* end, std::int64_t& id, double* xyz);

// Parses a whole word as an integer or a real; false when it is not one.
bool parseInteger(std::string_view text, std::int64_t& value);
bool parseReal(std::string_view text, double& value);
