#pragma once
// The word rules shared by every text file the program reads: words between
// delimiters, '#' comments, title lines, the stream's line counter, and the
// integer and real syntax checks with their marked messages.

#include <string>
#include <string_view>

#include "include/F_File.h"

// Byte classes.
namespace F_Byte {
inline bool delimiter(int c) { return c == 9 || c == 10 || c == 13 || c == 32; }
inline bool visible(int c) { return c >= 33 && c <= 126; }
inline bool valid(int c) { return visible(c) || delimiter(c); }
inline bool blank(int c) { return c == 9 || c == 32; }
}  // namespace F_Byte

// Byte checks: true, or false with the explanation left in `message`.
bool isVisible(int byte, std::string& message);
bool isDelimiter(int byte, std::string& message);
bool isValid(int byte, std::string& message);
bool isNewLine(int byte, std::string& message);

// A text made of valid bytes only (mesh and layer names).
using F_ValidString = std::string;

// The last word read: at most 1000 bytes.
class F_Word {
 public:
  static constexpr int kMaxLength = 1000;
  std::string_view view() const { return {text_, static_cast<std::size_t>(length_)}; }
  std::string str() const { return std::string(view()); }
  int length() const { return length_; }

 private:
  friend void readWord(F_InputFile&, F_Word&);
  char text_[kMaxLength + 1];
  int length_ = 0;
};

// Each read operation reports its failure through failRead (message box, then
// F_UserException) quoting the stream's lineNumber(), which starts at 1 and
// counts every NewLine consumed.
void readWord(F_InputFile& file, F_Word& word);
F_ValidString readTitleLine(F_InputFile& file);
void skipRestOfLine(F_InputFile& file);
// A one-character word.
char readChar(F_InputFile& file);

// Syntax checks; on false `message` holds the marked error text.
bool isInteger(std::string_view text, std::string& message);
bool isReal(std::string_view text, std::string& message);
// Conversions of texts that passed their check (atoi and atof).
int toInteger(std::string_view text);
double toReal(std::string_view text);

// The plain shapes of a number that nearly every mesh file uses, converted
// without the general scans: an optional sign and at most 9 digits; an
// optional '-', digits and at most one point. True when `text` has that shape
// (and, for a real, a finite value); the value is then the one readInteger or
// readReal gives for the same word.
bool plainInteger(std::string_view text, int& value);
bool plainReal(std::string_view text, double& value);

// A word that must be an integer / a real; the syntax error otherwise.
int readInteger(F_InputFile& file);
double readReal(F_InputFile& file);

// One visible character, from the program's own constants.
class F_FixedChar {
 public:
  explicit F_FixedChar(int c);
  char value() const { return c_; }
  // Reads a one-character word and requires it to be this character.
  void expectChar(F_InputFile& file) const;

 private:
  char c_;
};
