#include "include/F_WordReader.h"

#include <array>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "include/F_Errors.h"

namespace {

const char* const kUnexpectedEof = "ERROR\nUnexpected end of file.";
const char* const kHashNeedsBlank = "ERROR\nExpecting a 'Space' or 'Tab' before the # character.";

std::string byteHead(int byte) { return "ERROR\nA byte with ASCII code equal to " + std::to_string(byte); }

const char* const kVisibleTail =
    "A visible character is a byte whose ASCII code is\nin the range [33,126].";
const char* const kDelimiterTail =
    "Valid delimiters are\nTab(9), NewLine(10), CarriageReturn(13) and Space(32).";

// Passes over delimiters and comments; returns the first byte of the next item.
int skipToItem(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  for (;;) {
    int c = file.get();
    // Written files pad their fields with runs of spaces.
    while (c == ' ') c = file.get();
    switch (c) {
      case F_InputFile::kEof:
        failRead(file, kUnexpectedEof, 0);
      case 9:
      case 13:
      case 32:
        continue;
      case 10:
        ++lineNumber;
        continue;
      case '#':
        for (;;) {
          c = file.get();
          if (c == F_InputFile::kEof) failRead(file, kUnexpectedEof, 0);
          if (c == 10) break;
        }
        ++lineNumber;
        continue;
      default:
        return c;
    }
  }
}

// `text` with " <?> " after the byte at `at` (after the end when at >= size).
std::string marked(std::string_view text, std::size_t at) {
  std::size_t cut = at >= text.size() ? text.size() : at + 1;
  std::string s;
  s.reserve(text.size() + 5);
  s.append(text.substr(0, cut)).append(" <?> ").append(text.substr(cut));
  return s;
}

std::string trimmed(std::string_view s) {
  auto isWhite = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t b = 0, e = s.size();
  while (b < e && isWhite(s[b])) ++b;
  while (e > b && isWhite(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string syntaxMessage(const char* head, std::string_view text, std::size_t at) {
  std::string body = trimmed(marked(text, at));
  if (body == "<?>") body = "Input string cannot be empty.";
  return std::string(head) + body;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSign(char c) { return c == '+' || c == '-'; }

}  // namespace

// ---- byte checks ----

bool isVisible(int byte, std::string& message) {
  if (F_Byte::visible(byte)) return true;
  message = byteHead(byte) + " is not a visible character.\n" + kVisibleTail;
  return false;
}

bool isDelimiter(int byte, std::string& message) {
  if (F_Byte::delimiter(byte)) return true;
  message = byteHead(byte) + " is not a delimiter.\n" + kDelimiterTail;
  return false;
}

bool isValid(int byte, std::string& message) {
  if (F_Byte::valid(byte)) return true;
  message = byteHead(byte) + " is not a valid byte.\nA valid byte is a visible character or a delimiter.\n" +
            kVisibleTail + "\n" + kDelimiterTail;
  return false;
}

bool isNewLine(int byte, std::string& message) {
  if (byte == 10) return true;
  message = byteHead(byte) +
            " is not a NewLine character.\nA NewLine character is a byte whose ASCII code is 10.";
  return false;
}

// ---- reading ----

namespace {
// What a byte does inside a word.
enum WordByte : unsigned char { kStore, kEndsWord, kNewLine, kHash, kStoreInvalid };

constexpr std::array<unsigned char, 256> makeWordBytes() {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = c >= 33 && c <= 126 ? kStore : kStoreInvalid;  // visible bytes
  t[9] = t[13] = t[32] = kEndsWord;
  t[10] = kNewLine;
  t['#'] = kHash;
  return t;
}
constexpr std::array<unsigned char, 256> kWordBytes = makeWordBytes();
}  // namespace

void readWord(F_InputFile& file, F_Word& word) {
  int& lineNumber = file.lineNumber();
  int c = skipToItem(file);
  char* text = word.text_;
  int n = 0;
  bool invalid = !F_Byte::visible(c);
  text[n++] = static_cast<char>(c);
  for (;;) {
    c = file.get();
    if (c == F_InputFile::kEof) {
      word.length_ = 0;
      failRead(file, kUnexpectedEof, 0);
    }
    const unsigned char kind = kWordBytes[static_cast<unsigned>(c)];
    if (kind == kEndsWord) break;
    if (kind == kNewLine) {
      file.unget();
      break;
    }
    if (kind == kHash) {
      word.length_ = 0;
      failRead(file, kHashNeedsBlank, lineNumber);
    }
    if (n == F_Word::kMaxLength) {
      word.length_ = 0;
      failRead(file, "ERROR\nWord too long (maximum = 1000 characters).", lineNumber);
    }
    invalid |= kind == kStoreInvalid;
    text[n++] = static_cast<char>(c);
  }
  word.length_ = n;
  if (!invalid) return;
  for (int i = 0; i < n; ++i) {
    if (!F_Byte::visible(static_cast<unsigned char>(text[i]))) {
      std::string bad(text, static_cast<std::size_t>(n));
      word.length_ = 0;
      failRead(file, "ERROR\nString is not a valid word.\n" + marked(bad, static_cast<std::size_t>(i)),
               lineNumber);
    }
  }
}

F_ValidString readTitleLine(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  int c = skipToItem(file);
  std::string title;
  title += static_cast<char>(c);
  for (;;) {
    c = file.get();
    if (c == F_InputFile::kEof) failRead(file, kUnexpectedEof, 0);
    if (c == 10) {
      file.unget();
      break;
    }
    if (c == 13) break;
    if (c == '#') {
      if (!F_Byte::blank(static_cast<unsigned char>(title.back()))) failRead(file, kHashNeedsBlank, lineNumber);
      file.unget();
      break;
    }
    if (title.size() == 1000) failRead(file, "ERROR\nString too long (maximum = 1000 characters).", lineNumber);
    title += static_cast<char>(c);
  }
  for (std::size_t i = 0; i < title.size(); ++i) {
    if (!F_Byte::valid(static_cast<unsigned char>(title[i]))) {
      failRead(file, "ERROR\nInvalid character in the string.\n" + marked(title, i), lineNumber);
    }
  }
  while (!title.empty() && F_Byte::blank(static_cast<unsigned char>(title.back()))) title.pop_back();
  return title;
}

void skipRestOfLine(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  for (;;) {
    int c = file.get();
    if (c == F_InputFile::kEof) failRead(file, kUnexpectedEof, 0);
    if (c == 10) {
      ++lineNumber;
      return;
    }
  }
}

char readChar(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  int c = skipToItem(file);
  std::string message;
  if (!isVisible(c, message)) failRead(file, message, lineNumber);
  int next = file.get();
  if (next == F_InputFile::kEof) failRead(file, kUnexpectedEof, 0);
  if (next == 10) {
    file.unget();
  } else if (!F_Byte::delimiter(next)) {
    failRead(file, std::string("ERROR\nExpecting a delimiter after the following character: ") + static_cast<char>(c),
             lineNumber);
  }
  return static_cast<char>(c);
}

F_FixedChar::F_FixedChar(int c) : c_(0) {
  if (c < 0 || c > 255) internalError("F_FixedChar", 1);
  if (!F_Byte::visible(c)) internalError("F_FixedChar", 2);
  c_ = static_cast<char>(c);
}

void F_FixedChar::expectChar(F_InputFile& file) const {
  int& lineNumber = file.lineNumber();
  char c = readChar(file);
  if (c != c_) {
    failRead(file,
             std::string("ERROR\nExpecting the following character: ") + c_ +
                 "\nASCII code of the last read character: " + std::to_string(static_cast<unsigned char>(c)),
             lineNumber);
  }
}

// ---- syntax checks ----

bool isInteger(std::string_view text, std::string& message) {
  static const char* head = "ERROR\nInvalid integer number.\n";
  int state = 0;
  int signs = 0;
  int digits = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool b = c == ' ' || c == '\t';
    switch (state) {
      case 0:
        state = b ? 0 : isSign(c) ? 1 : isDigit(c) ? 2 : -1;
        break;
      case 1:
        state = isSign(c) ? 1 : isDigit(c) ? 2 : b ? 3 : -1;
        break;
      case 2:
        state = isDigit(c) ? 2 : b ? 3 : -1;
        break;
      default:
        state = b ? 3 : -1;
        break;
    }
    if (state == 1) ++signs;
    if (state == 2) ++digits;
    if (state < 0 || signs > 1 || (state == 3 && digits == 0)) {
      message = syntaxMessage(head, text, i);
      return false;
    }
  }
  if (digits == 0) {
    message = syntaxMessage(head, text, text.size());
    return false;
  }
  // A value that does not fit 32 bits would wrap in the conversion.
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  bool negative = t.front() == '-';
  if (isSign(t.front())) t.remove_prefix(1);
  long long value = 0;
  for (char c : t) {
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) break;
  }
  if (value > (negative ? 2147483648LL : 2147483647LL)) {
    message = syntaxMessage(head, text, text.size());
    return false;
  }
  return true;
}

namespace {

// The real-number scans: states are tried from the current one onwards.
bool scanReal(std::string_view text, std::string& message, bool withExponent) {
  static const char* head = "ERROR\nInvalid real number.\n";
  // Classes by state: blank, sign, digit, point, digit, [e, sign, digit,] blank.
  auto matches = [withExponent](int s, char c) {
    bool b = c == ' ' || c == '\t';
    if (!withExponent) {
      switch (s) {
        case 0: case 5: return b;
        case 1: return isSign(c);
        case 2: case 4: return isDigit(c);
        case 3: return c == '.';
      }
      return false;
    }
    switch (s) {
      case 0: case 8: return b;
      case 1: case 6: return isSign(c);
      case 2: case 4: case 7: return isDigit(c);
      case 3: return c == '.';
      case 5: return c == 'e' || c == 'E';
    }
    return false;
  };
  const int last = withExponent ? 8 : 5;
  int state = 0;
  int count[9] = {};
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    int next = -1;
    // Once past the leading blanks the scan never returns to them.
    for (int s = state; s <= last; ++s) {
      if (matches(s, c)) {
        next = s;
        break;
      }
    }
    bool fail = next < 0;
    if (!fail) {
      state = next;
      ++count[state];
      int mantissaDigits = count[2] + count[4];
      if (!withExponent) {
        fail = count[1] > 1 || count[3] > 1 || (state == 5 && mantissaDigits == 0);
      } else {
        fail = count[1] > 1 || count[3] > 1 || count[5] > 1 || count[6] > 1 || count[7] > 3 ||
               (state >= 5 && mantissaDigits == 0) || (state >= 6 && count[5] == 0) ||
               (state == 8 && count[7] == 0);
      }
    }
    if (fail) {
      message = syntaxMessage(head, text, i);
      return false;
    }
  }
  bool ok = withExponent ? count[7] > 0 : count[2] + count[4] > 0;
  if (!ok) {
    message = syntaxMessage(head, text, text.size());
    return false;
  }
  return true;
}

}  // namespace

bool isReal(std::string_view text, std::string& message) {
  bool exponent = text.find_first_of("eE") != std::string_view::npos;
  return scanReal(text, message, exponent);
}

int toInteger(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  if (res.ec != std::errc()) return std::atoi(std::string(text).c_str());
  return value;
}

double toReal(std::string_view text) {
  std::string_view t = text;
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  double value = 0;
  auto res = std::from_chars(t.data(), t.data() + t.size(), value);
  if (res.ec == std::errc() && res.ptr == t.data() + t.size()) return value;
  // Overflow, underflow and blanks: the C conversion decides, as atof would.
  return std::atof(std::string(text).c_str());
}

// The common shape of a number in a mesh file, decided without the general
// scans: an optional sign and at most 9 digits (so no 32-bit overflow).
bool plainInteger(std::string_view t, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (!t.empty() && isSign(t[0])) {
    negative = t[0] == '-';
    i = 1;
  }
  const std::size_t digits = t.size() - i;
  if (digits == 0 || digits > 9) return false;
  int v = 0;
  for (; i < t.size(); ++i) {
    const unsigned d = static_cast<unsigned char>(t[i]) - '0';
    if (d > 9) return false;
    v = v * 10 + static_cast<int>(d);
  }
  value = negative ? -v : v;
  return true;
}

// An optional '-', digits, an optional point and digits, at least one digit:
// a text both scans accept and from_chars reads as atof does.
//
// Up to 15 digits, with digits on both sides of a point if there is one, are
// converted here: the digits make an integer below 2^53 and 10^(digits after
// the point) is exact, so their quotient is rounded once, to the double that
// from_chars finds.
bool plainReal(std::string_view t, double& value) {
  static constexpr double kExactPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const bool negative = !t.empty() && t[0] == '-';
  std::size_t digits = 0, before = 0, point = std::string_view::npos;
  std::uint64_t mantissa = 0;
  for (std::size_t k = negative ? 1 : 0; k < t.size(); ++k) {
    const char c = t[k];
    if (isDigit(c)) {
      ++digits;
      mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');  // only used below 16 digits
    } else if (c == '.' && point == std::string_view::npos) {
      point = k;
      before = digits;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  const std::size_t after = point == std::string_view::npos ? 0 : digits - before;
  if (digits <= 15 && (point == std::string_view::npos || (before > 0 && after > 0))) {
    const double magnitude = static_cast<double>(mantissa) / kExactPowers[after];
    value = negative ? -magnitude : magnitude;
    return true;
  }
  auto res = std::from_chars(t.data(), t.data() + t.size(), value);
  return res.ec == std::errc() && res.ptr == t.data() + t.size();
}

int readInteger(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  F_Word word;
  readWord(file, word);
  int value;
  if (plainInteger(word.view(), value)) return value;
  std::string message;
  if (!isInteger(word.view(), message)) failRead(file, message, lineNumber);
  return toInteger(word.view());
}

double readReal(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  F_Word word;
  readWord(file, word);
  double value;
  if (plainReal(word.view(), value)) return value;
  std::string message;
  if (!isReal(word.view(), message)) failRead(file, message, lineNumber);
  value = toReal(word.view());
  // 1e999 has the syntax of a real but no value: an infinite coordinate would
  // be written back as "inf", which no reader takes, and would break every fit.
  if (!std::isfinite(value)) {
    failRead(file, "ERROR\nInvalid real number.\n" + word.str() + " <?>", lineNumber);
  }
  return value;
}
