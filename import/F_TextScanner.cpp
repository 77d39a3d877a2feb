#include "import/F_TextScanner.h"

#include <charconv>

#include "include/F_Errors.h"

namespace {

inline bool isDelimiter(int c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

}  // namespace

bool parseInteger(std::string_view t, std::int64_t& value) {
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  return ec == std::errc() && end == t.data() + t.size() && !t.empty();
}

bool parseReal(std::string_view t, double& value) {
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  if (t.empty()) return false;
  // Only digits, signs, points and exponents: "inf" and "nan" are no coordinates.
  for (char c : t) {
    if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E')) return false;
  }
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  return ec == std::errc() && end == t.data() + t.size();
}

int F_TextScanner::skipBlanks() {
  for (;;) {
    const int c = file_.get();
    if (c == F_InputFile::kEof) return c;
    if (!isDelimiter(c)) {
      file_.unget();
      return c;
    }
    if (c == '\n') ++line_;
  }
}

std::string_view F_TextScanner::word() {
  if (skipBlanks() == F_InputFile::kEof) return {};
  std::size_t n = 0;
  for (;;) {
    const int c = file_.get();
    if (c == F_InputFile::kEof) break;
    if (isDelimiter(c)) {
      file_.unget();
      break;
    }
    if (n == sizeof word_) failMessage("ERROR\nA word longer than 255 characters.");
    word_[n++] = static_cast<char>(c);
  }
  return {word_, n};
}

std::string_view F_TextScanner::word(std::string_view what) {
  const std::string_view w = word();
  if (w.empty()) fail(what, "the end of the file");
  return w;
}

void F_TextScanner::expect(std::string_view expected) {
  const std::string_view w = word();
  if (w != expected) fail(expected, w.empty() ? "the end of the file" : w);
}

std::int64_t F_TextScanner::integer(std::string_view what) {
  const std::string_view w = word(what);
  std::int64_t v = 0;
  if (!parseInteger(w, v)) fail(what, w);
  return v;
}

double F_TextScanner::real(std::string_view what) {
  const std::string_view w = word(what);
  double v = 0;
  if (!parseReal(w, v)) fail(what, w);
  return v;
}

std::string F_TextScanner::restOfLine() {
  std::string text;
  for (;;) {
    const int c = file_.get();
    if (c == F_InputFile::kEof) break;
    if (c == '\n') {
      ++line_;
      break;
    }
    text.push_back(static_cast<char>(c));
  }
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

void F_TextScanner::endLine() {
  for (;;) {
    const int c = file_.get();
    if (c == F_InputFile::kEof) return;
    if (c == '\n') {
      ++line_;
      return;
    }
    if (!isDelimiter(c)) {
      file_.unget();
      fail("the end of the line", word());
    }
  }
}

void F_TextScanner::skipPast(std::string_view marker) {
  const int startLine = line_;
  std::size_t matched = 0;
  while (matched < marker.size()) {
    const int c = file_.get();
    if (c == F_InputFile::kEof) {
      failRead(file_, "ERROR\nExpected " + std::string(marker) + " before the end of the file.", startLine);
    }
    if (c == '\n') ++line_;
    if (c == static_cast<unsigned char>(marker[matched])) {
      ++matched;
    } else {
      matched = c == static_cast<unsigned char>(marker[0]) ? 1 : 0;
    }
  }
}

bool F_TextScanner::atEnd() { return skipBlanks() == F_InputFile::kEof; }

std::string expectedMessage(std::string_view what, std::string_view found) {
  std::string text = "ERROR\nExpected ";
  text.append(what).append(", found ");
  if (found == "the end of the file") {
    text.append(found);
  } else {
    std::string shown(found.substr(0, 40));
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    }
    text.append("\"").append(shown).append("\"");
  }
  return text + ".";
}

void F_TextScanner::fail(std::string_view what, std::string_view found) const {
  failMessage(expectedMessage(what, found));
}

void F_TextScanner::failMessage(const std::string& message) const {
  if (!offsets_) failRead(file_, message, line_);
  const std::string_view head = "ERROR\n";
  std::string text(head);
  text += "Byte offset " + std::to_string(file_.size() - file_.remaining()) + ".\n";
  text += message.starts_with(head) ? message.substr(head.size()) : message;
  failRead(file_, text, 0);
}
