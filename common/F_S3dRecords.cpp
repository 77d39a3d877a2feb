#include "common/F_S3dRecords.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/F_RenderThreads.h"
#include "include/F_WordReader.h"

namespace F_S3dRecords {
namespace {

// Below this many buffered bytes the lines are read on the calling thread.
constexpr std::size_t kBytesPerThread = 128 * 1024;

bool blank(char c) { return c == ' ' || c == '\t'; }

// The scans below look at sixteen bytes at once. They rely on what follows
// every line in the text: its CarriageReturn or NewLine, which is neither a
// blank nor a digit, so no run of blanks or digits reaches past the line's
// end. `limit` is the end of the text, past which nothing is read.
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
// The value of n (1..16) digits at p, whose first sixteen bytes are `v`.
inline std::uint64_t digitsValue(const char* p, __m128i v, int n) {
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
  if (n <= 8) return eightDigits(low, n);
  std::uint64_t last;
  std::memcpy(&last, p + n - 8, 8);
  return eightDigits(low, n - 8) * 100000000ull + eightDigits(last, 8);
}

void skipBlanks(const char*& p, const char* limit) {
  for (;;) {
    const int n = runLength(blankMask(bytesAt(p, limit)));
    p += n;
    if (n < 16) return;
  }
}
#else
void skipBlanks(const char*& p, const char* limit) {
  while (p < limit && blank(*p)) ++p;
}
#endif

// A word at p that plainInteger takes (a sign and 1 to 9 digits, up to a
// blank or the end of the line), read in the same pass; p moves past it.
bool integerAt(const char*& at, const char* end, const char* limit, int& value) {
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
bool realAt(const char*& p, const char* end, const char* limit, double& value) {
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

// Any byte other than digits, signs, points and blanks (a comment, a stray
// CarriageReturn, anything the ordinary reader must judge) fails a word.
struct ElementLine {
  using Record = F_S3dElement;
  int points;
  // Item, node count, nodes: the count must match the words, each node lie in 1..points.
  bool parse(std::string_view line, const char* limit, int& item, F_S3dElement& e) const {
    const char *p = line.data(), *end = p + line.size();
    int count;
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, item)) return false;
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, count) || count < 0 || count > kMostNodes) return false;
    e.nodes.clear();
    for (int j = 0; j < count; ++j) {
      int v;
      skipBlanks(p, limit);
      if (!integerAt(p, end, limit, v) || v < 1 || v > points) return false;
      e.nodes.append(v);
    }
    skipBlanks(p, limit);
    return p == end;
  }
};

struct PointLine {
  using Record = F_Point3D;
  bool parse(std::string_view line, const char* limit, int& item, F_Point3D& q) const {
    const char *p = line.data(), *end = p + line.size();
    skipBlanks(p, limit);
    if (!integerAt(p, end, limit, item)) return false;
    for (double* v : {&q.x, &q.y, &q.z}) {
      skipBlanks(p, limit);
      if (!realAt(p, end, limit, *v)) return false;
    }
    skipBlanks(p, limit);
    return p == end;
  }
};

// What one run over whole lines found.
template <class Record>
struct Run {
  std::vector<Record> records;
  int firstItem = 0;
  std::size_t bytes = 0;  // of the lines read
  bool whole = false;  // every line of the text was read
};

// Reads the whole lines of `text` while each holds the next record, starting
// with item `first` (or, when 0, with whatever item the first line holds) and
// never beyond item `last`.
template <class Parser>
Run<typename Parser::Record> runLines(std::string_view text, const Parser& parser, int first, int last) {
  Run<typename Parser::Record> run;
  run.firstItem = first;
  run.records.reserve(text.size() / 32);  // lines of the usual widths; more grow the vector
  typename Parser::Record record;
  const char* const limit = text.data() + text.size();
  std::size_t at = 0;
  int expected = first;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);  // text holds whole lines only
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    int item;
    if (!parser.parse(line, limit, item, record)) return run;
    if (expected == 0) run.firstItem = expected = item;
    if (item != expected || item > last) return run;
    run.records.push_back(record);
    ++expected;
    at = end + 1;
    run.bytes = at;
  }
  run.whole = true;
  return run;
}

template <class Parser, class Out>
int readLines(F_InputFile& file, int next, int last, const Parser& parser, Out& out) {
  int& lineNumber = file.lineNumber();
  if (next > last) return 0;
  const std::string_view buffered = file.buffered();
  // The rest of the current line must be blank: the last record read ends there.
  std::size_t start = 0;
  while (start < buffered.size() && blank(buffered[start])) ++start;
  if (start < buffered.size() && buffered[start] == '\r') ++start;
  if (start >= buffered.size() || buffered[start] != '\n') return 0;
  ++start;
  const std::size_t lastNewLine = buffered.rfind('\n');
  if (lastNewLine == std::string_view::npos || lastNewLine < start) return 0;
  const std::string_view text = buffered.substr(start, lastNewLine + 1 - start);

  // Cut the lines into one part per thread at line ends; each part reads on
  // its own, and the parts are joined while each goes on where the last ended.
  const int threads = std::max(1, std::min<int>(F_RenderThreads::count(),
                                                static_cast<int>(text.size() / kBytesPerThread)));
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (int t = 1; t <= threads; ++t) {
    std::size_t to = text.size();
    if (t < threads) {
      to = text.find('\n', std::max(from, text.size() * t / threads));
      to = to == std::string_view::npos ? text.size() : to + 1;
    }
    parts.push_back(text.substr(from, to - from));
    from = to;
  }
  std::vector<Run<typename Parser::Record>> runs(parts.size());
  auto work = [&](int t) { runs[t] = runLines(parts[t], parser, t == 0 ? next : 0, last); };
  if (!F_RenderThreads::run(static_cast<int>(parts.size()), work)) {
    parts = {text};
    runs.assign(1, {});
    work(0);
  }

  int read = 0;
  std::size_t consumed = start;
  for (const auto& run : runs) {
    if (run.records.empty() || run.firstItem != next + read) break;
    for (const auto& record : run.records) out.append(record);
    read += static_cast<int>(run.records.size());
    consumed += run.bytes;
    if (!run.whole) break;
  }
  if (read == 0) return 0;
  // The file stays at the NewLine of the last record read, as after the
  // ordinary reader: the rest of that line is what the caller skips. So the
  // lines passed are the current one and all but the last record's.
  file.skip(consumed - 1);
  lineNumber += read;
  return read;
}

}  // namespace

int readElements(F_InputFile& file, int next, int last, int points, F_Vector<F_S3dElement>& out) {
  return readLines(file, next, last, ElementLine{points}, out);
}

int readPoints(F_InputFile& file, int next, int last, F_Vector<F_Point3D>& out) {
  return readLines(file, next, last, PointLine{}, out);
}

}  // namespace F_S3dRecords
