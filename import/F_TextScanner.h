#pragma once
// Words of a text mesh file, read straight from the buffered stream: blanks,
// tabs and line ends separate them, lines are counted, and every failure names
// the line and what was expected there.

#include <cstdint>
#include <string>
#include <string_view>

#include "include/F_File.h"

class F_TextScanner {
 public:
  explicit F_TextScanner(F_InputFile& file) : file_(file) {}

  F_InputFile& file() { return file_; }
  int line() const { return line_; }
  // Bytes read so far (for the binary parts of a mixed file).
  std::uint64_t offset() const { return file_.size() - file_.remaining(); }

  // The next word, or an empty view at the end of the file. Valid until the next read.
  std::string_view word();
  // The next word, which must be there.
  std::string_view word(std::string_view what);
  // The next word, which must be `expected`.
  void expect(std::string_view expected);
  std::int64_t integer(std::string_view what);
  double real(std::string_view what);
  // The rest of the current line, without its line end (a CR before it is dropped).
  std::string restOfLine();
  // Skips blanks up to and including the next line end.
  void endLine();
  bool atEnd();
  // Passes over every byte up to and including `marker`, counting lines.
  void skipPast(std::string_view marker);

  // "ERROR\nExpected <what>, found "<word>"." at the current line.
  [[noreturn]] void fail(std::string_view what, std::string_view found) const;
  [[noreturn]] void failMessage(const std::string& message) const;
  // In a file with binary stretches lines mean little: failures name the byte offset.
  void reportOffsets() { offsets_ = true; }

 private:
  int skipBlanks();  // the first byte that is not a delimiter, still unread, or kEof

  F_InputFile& file_;
  int line_ = 1;
  bool offsets_ = false;
  char word_[256];
};

// "ERROR\nExpected <what>, found "<found>"." (the found text shortened and
// kept to visible characters).
std::string expectedMessage(std::string_view what, std::string_view found);

// Parses a whole word as an integer or a real; false when it is not one.
bool parseInteger(std::string_view text, std::int64_t& value);
bool parseReal(std::string_view text, double& value);
