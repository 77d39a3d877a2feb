#include "include/F_WordReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <functional>
#include <vector>

#include "support/TestSupport.h"

namespace {

// What one read of a whole stream produced: the message box shown ("" when the
// read succeeded), and the stream's line counter where it stopped.
struct Outcome {
  std::string message;
  int line = 1;
};

Outcome run(const std::string& bytes, const std::function<void(F_InputFile&)>& body) {
  RecordingUi ui;
  auto file = memoryFile(bytes);
  Outcome out;
  try {
    body(*file);
  } catch (const F_UserException&) {
    EXPECT_EQ(ui->messages().size(), 1u) << "a failed read shows exactly one box";
    out.message = ui.lastMessage();
    out.line = file->lineNumber();
    return out;
  }
  EXPECT_TRUE(ui->messages().empty());
  out.line = file->lineNumber();
  return out;
}

// Reads words until the stream ends cleanly after a delimiter.
std::vector<std::string> wordsOf(F_InputFile& file, int count) {
  std::vector<std::string> words;
  F_Word w;
  for (int i = 0; i < count; ++i) {
    readWord(file, w);
    words.push_back(w.str());
  }
  return words;
}

const std::string kEof = "ERROR\nUnexpected end of file.";
const std::string kHash = "ERROR\nExpecting a 'Space' or 'Tab' before the # character.";

}  // namespace

// ---- words and delimiters ----

TEST(ReadWord, SplitsOnEveryDelimiterAndCountsLines) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> words;
    int lineAfter;
  } cases[] = {
      {"spaces", "a bb  ccc ", {"a", "bb", "ccc"}, 1},
      {"tab and carriage return", "a\tb\rc\r\n", {"a", "b", "c"}, 1},
      {"newline is stepped back", "a\nb\n", {"a", "b"}, 2},
      {"crlf lines read as lf lines", "1\r\n2\r\n3\r\n", {"1", "2", "3"}, 3},
      {"blank lines between words", "\n\n x\n\n\ty ", {"x", "y"}, 5},
      {"punctuation is a word", "= +- ~ ", {"=", "+-", "~"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> got;
    Outcome out = run(c.bytes, [&](F_InputFile& f) { got = wordsOf(f, int(c.words.size())); });
    EXPECT_EQ(out.message, "");
    EXPECT_EQ(got, c.words);
    EXPECT_EQ(out.line, c.lineAfter);
  }
}

TEST(ReadWord, RefusesMalformedWords) {
  const std::string word1000(1000, 'w');
  struct Case {
    const char* name;
    std::string bytes;
    int words;  // read this many
    std::string message;
    int line;  // of the report
  } cases[] = {
      {"no delimiter after the last word", "1 2", 2, kEof, 0},
      {"nothing left", "1 \n\n", 2, kEof, 0},
      {"hash right after a word", "x\n12#note\n", 2, kHash, 2},
      {"1001 bytes", word1000 + "w ", 1, "ERROR\nWord too long (maximum = 1000 characters).", 1},
      {"control byte inside", "\n\nab\x01" "cd ", 1, "ERROR\nString is not a valid word.\nab\x01 <?> cd", 3},
      {"byte above 126 first", "\xe9t\n", 1, "ERROR\nString is not a valid word.\n\xe9 <?> t", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome out = run(c.bytes, [&](F_InputFile& f) { wordsOf(f, c.words); });
    EXPECT_EQ(out.message, readError(c.message, c.line));
  }
}

TEST(ReadWord, AcceptsAThousandBytesAndAHashAfterABlank) {
  const std::string word1000(1000, 'w');
  std::vector<std::string> got;
  Outcome out = run(word1000 + " 12 #note\n34\t#\n", [&](F_InputFile& f) { got = wordsOf(f, 3); });
  EXPECT_EQ(out.message, "");
  EXPECT_EQ(got, (std::vector<std::string>{word1000, "12", "34"}));
}

// ---- comments ----

TEST(Comments, RunToTheNewLineWhereverTheyStand) {
  std::vector<std::string> got;
  Outcome out = run("# head\n#\n  a # after a word\n# b\n\tb\n",
                    [&](F_InputFile& f) { got = wordsOf(f, 2); });
  EXPECT_EQ(out.message, "");
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(out.line, 5);
}

TEST(Comments, WithoutAFinalNewLineEndTheFile) {
  Outcome out = run("a # last line", [](F_InputFile& f) { wordsOf(f, 2); });
  EXPECT_EQ(out.message, readError(kEof, 0));
}

// ---- titles ----

TEST(ReadTitleLine, TakesTheRestOfTheLine) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string title;
    int lineAfter;
  } cases[] = {
      {"trailing blanks and comment", "My mesh   # c\n", "My mesh", 1},
      {"tab before the comment", "T\t#c\n", "T", 1},
      {"crlf", "Plate 1 \r\n", "Plate 1", 1},
      {"inner tabs kept", "a\tb\n", "a\tb", 1},
      {"blank and comment lines first", "\n# x\n  \t Title\n", "Title", 3},
      {"a thousand bytes", std::string(1000, 't') + "\n", std::string(1000, 't'), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string title;
    Outcome out = run(c.bytes, [&](F_InputFile& f) { title = readTitleLine(f); });
    EXPECT_EQ(out.message, "");
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(out.line, c.lineAfter);
  }
}

TEST(ReadTitleLine, RefusesMalformedTitles) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
  } cases[] = {
      {"hash after a letter", "My mesh#c\n", kHash, 1},
      {"end of file", "Title", kEof, 0},
      {"empty file", "", kEof, 0},
      {"only comments", "# a\n# b\n", kEof, 0},
      {"1001 bytes", "\n" + std::string(1001, 't') + "\n", "ERROR\nString too long (maximum = 1000 characters).", 2},
      {"invalid byte", "A\x7f" "B\n", "ERROR\nInvalid character in the string.\nA\x7f <?> B", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome out = run(c.bytes, [](F_InputFile& f) { readTitleLine(f); });
    EXPECT_EQ(out.message, readError(c.message, c.line));
  }
}

TEST(SkipRestOfLine, ConsumesThroughTheNewLineWithoutLooking) {
  std::vector<std::string> got;
  Outcome out = run("\x01\x02 #x\nnext ", [&](F_InputFile& f) {
    skipRestOfLine(f);
    got = wordsOf(f, 1);
  });
  EXPECT_EQ(out.message, "");
  EXPECT_EQ(got, std::vector<std::string>{"next"});
  EXPECT_EQ(out.line, 2);
  EXPECT_EQ(run("no newline", [](F_InputFile& f) { skipRestOfLine(f); }).message,
            readError(kEof, 0));
}

// ---- one-character words ----

TEST(ReadChar, TakesOneVisibleCharacterFollowedByADelimiter) {
  char c = 0;
  Outcome out = run("\n  =\n", [&](F_InputFile& f) { c = readChar(f); });
  EXPECT_EQ(out.message, "");
  EXPECT_EQ(c, '=');
  EXPECT_EQ(out.line, 2);

  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
  } cases[] = {
      {"two characters", "xy ", "ERROR\nExpecting a delimiter after the following character: x", 1},
      {"end right after", "x", kEof, 0},
      {"not visible", "\n\x01 ",
       "ERROR\nA byte with ASCII code equal to 1 is not a visible character.\n"
       "A visible character is a byte whose ASCII code is\nin the range [33,126].",
       2},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Outcome bad = run(k.bytes, [](F_InputFile& f) { readChar(f); });
    EXPECT_EQ(bad.message, readError(k.message, k.line));
  }
}

TEST(F_FixedChar, ExpectsItsOwnCharacter) {
  F_FixedChar equals('=');
  EXPECT_EQ(run("= ", [&](F_InputFile& f) { equals.expectChar(f); }).message, "");
  EXPECT_EQ(run("\n+ ", [&](F_InputFile& f) { equals.expectChar(f); }).message,
            readError("ERROR\nExpecting the following character: =\nASCII code of the last read character: 43", 2));
}

TEST(F_FixedChar, OnlyVisibleConstants) {
  EXPECT_DEATH(F_FixedChar(' '), "");
  EXPECT_DEATH(F_FixedChar(300), "");
  EXPECT_DEATH(F_FixedChar(-1), "");
}

// ---- integer and real syntax ----

TEST(IsInteger, AcceptsOptionalBlanksSignAndDigits) {
  for (const char* text : {"+7", "-0", "007", "  12\t", "2147483647", "-2147483648", "00000000002147483647"}) {
    SCOPED_TRACE(text);
    std::string message = "untouched";
    EXPECT_TRUE(isInteger(text, message));
    EXPECT_EQ(message, "untouched");
  }
  EXPECT_EQ(toInteger("+7"), 7);
  EXPECT_EQ(toInteger("007"), 7);
  EXPECT_EQ(toInteger("-2147483648"), -2147483648LL);
}

TEST(IsInteger, MarksWhereTheScanFailed) {
  struct Case {
    const char* text;
    const char* marked;
  } cases[] = {
      {"7-", "7- <?>"},
      {"+", "+ <?>"},
      {"1.0", "1. <?> 0"},
      {"0x10", "0x <?> 10"},
      {"--1", "-- <?> 1"},
      {"1 2", "1 2 <?>"},
      {"", "Input string cannot be empty."},
      {" \t ", "Input string cannot be empty."},
      // Too large for 32 bits: refused instead of wrapping, marked after the last character.
      {"2147483648", "2147483648 <?>"},
      {"-2147483649", "-2147483649 <?>"},
      {"99999999999999999999", "99999999999999999999 <?>"},
      {"4294967297", "4294967297 <?>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string message;
    EXPECT_FALSE(isInteger(c.text, message));
    EXPECT_EQ(message, std::string("ERROR\nInvalid integer number.\n") + c.marked);
  }
}

TEST(IsReal, AcceptsPlainAndExponentForms) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"5", 5},          {"-5.", -5},     {".5", 0.5},      {"+0.25", 0.25},     {"1.5e3", 1500},
      {"1e5", 1e5},      {"-2.5E-003", -2.5e-3}, {"3.e+12", 3e12}, {" 7 ", 7},  {"-0.00000001", -1e-8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string message;
    EXPECT_TRUE(isReal(c.text, message)) << message;
    EXPECT_EQ(toReal(c.text), c.value);
  }
  std::string message;
  EXPECT_TRUE(isReal("1e999", message));  // three exponent digits pass the check
}

TEST(IsReal, MarksWhereTheScanFailed) {
  struct Case {
    const char* text;
    const char* marked;
  } cases[] = {
      {".", ". <?>"},          {"1.2.3", "1.2. <?> 3"}, {"--1", "-- <?> 1"},    {"e5", "e <?> 5"},
      {"1e", "1e <?>"},        {"1e1234", "1e1234 <?>"}, {"1e+-2", "1e+- <?> 2"}, {"1e1000", "1e1000 <?>"},
      {"1e5e", "1e5e <?>"},    {"abc", "a <?> bc"},     {"1-", "1- <?>"},     {"", "Input string cannot be empty."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string message;
    EXPECT_FALSE(isReal(c.text, message));
    EXPECT_EQ(message, std::string("ERROR\nInvalid real number.\n") + c.marked);
  }
}

// The readers take shortcuts for the common shapes; each must agree with the
// checks and conversions it stands for.
TEST(ReadNumbers, AgreeWithTheChecksAndConversions) {
  const char* words[] = {"0",   "-0",   "+12", "123456789", "1234567890", "-2147483648", "2147483648", "+", "-",
                         "1.5", "-.5",  "5.",  ".",         "1e3",        "1.0e-400",    "1e400",      "+.5",  "-1e999",
                         "1..", "0.1234567890123456789", "00012", "-+1", "0x1"};
  for (const char* w : words) {
    SCOPED_TRACE(w);
    const std::string bytes = std::string(w) + " ";
    std::string intMessage, realMessage;
    const bool isInt = isInteger(w, intMessage);
    const bool isR = isReal(w, realMessage);

    int i = 0;
    Outcome out = run(bytes, [&](F_InputFile& f) { i = readInteger(f); });
    if (isInt) {
      EXPECT_EQ(out.message, "");
      EXPECT_EQ(i, toInteger(w));
    } else {
      EXPECT_EQ(out.message, readError(intMessage, 1));
    }

    double d = 0;
    out = run(bytes, [&](F_InputFile& f) { d = readReal(f); });
    if (isR && std::isfinite(std::atof(w))) {
      EXPECT_EQ(out.message, "");
      EXPECT_EQ(d, std::atof(w));
    } else if (isR) {
      // The syntax of a real without a finite value: refused, marked at the end.
      EXPECT_EQ(out.message, readError(std::string("ERROR\nInvalid real number.\n") + w + " <?>", 1));
    } else {
      EXPECT_EQ(out.message, readError(realMessage, 1));
    }
  }
}

TEST(ReadNumbers, ReportTheLineOfTheWord) {
  Outcome out = run("1\n2\n3x\n4\n", [](F_InputFile& f) {
    for (int i = 0; i < 4; ++i) readInteger(f);
  });
  EXPECT_EQ(out.message, readError("ERROR\nInvalid integer number.\n3x <?>", 3));
}

// ---- byte checks ----

TEST(ByteChecks, ExplainTheRefusedByte) {
  struct Case {
    const char* name;
    std::function<bool(int, std::string&)> check;
    int good;
    int bad;
    std::string message;
  } cases[] = {
      {"visible", isVisible, '!', 32,
       "ERROR\nA byte with ASCII code equal to 32 is not a visible character.\n"
       "A visible character is a byte whose ASCII code is\nin the range [33,126]."},
      {"delimiter", isDelimiter, 13, 65,
       "ERROR\nA byte with ASCII code equal to 65 is not a delimiter.\n"
       "Valid delimiters are\nTab(9), NewLine(10), CarriageReturn(13) and Space(32)."},
      {"valid", isValid, 9, 127,
       "ERROR\nA byte with ASCII code equal to 127 is not a valid byte.\n"
       "A valid byte is a visible character or a delimiter.\n"
       "A visible character is a byte whose ASCII code is\nin the range [33,126].\n"
       "Valid delimiters are\nTab(9), NewLine(10), CarriageReturn(13) and Space(32)."},
      {"newline", isNewLine, 10, 13,
       "ERROR\nA byte with ASCII code equal to 13 is not a NewLine character.\n"
       "A NewLine character is a byte whose ASCII code is 10."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string message;
    EXPECT_TRUE(c.check(c.good, message));
    EXPECT_EQ(message, "");
    EXPECT_FALSE(c.check(c.bad, message));
    EXPECT_EQ(message, c.message);
  }
}

TEST(ByteClasses, SplitTheByteRange) {
  int visible = 0, delimiters = 0, valid = 0, blanks = 0;
  for (int c = 0; c < 256; ++c) {
    visible += F_Byte::visible(c);
    delimiters += F_Byte::delimiter(c);
    valid += F_Byte::valid(c);
    blanks += F_Byte::blank(c);
  }
  EXPECT_EQ(visible, 94);
  EXPECT_EQ(delimiters, 4);
  EXPECT_EQ(valid, 98);
  EXPECT_EQ(blanks, 2);
}

// plainReal converts short plain reals itself; whatever it takes must be the
// double from_chars gives, and what it refuses must be what from_chars (or
// the plain shape) refuses.
TEST(PlainReal, GivesTheDoubleOfFromChars) {
  auto fromChars = [](std::string_view t, double& v) {
    const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
    return res.ec == std::errc() && res.ptr == t.data() + t.size();
  };
  const char* const words[] = {
      "0", "-0", "-0.0", "7", "0.1", "0.2", "0.3", "-0.000001", "123456789012345", "1234567890123456",
      "0.123456789012345", "0.1234567890123456", "99999999999999.9", "999999999999999.9", "1.000000000000001",
      "0.30000000000000004", "1.7976931348623157", "0.000000000000001", "0.0000000000000001", "00000000000000.5",
      "5.", "-5.", ".5", "-.5", "1e5", "+1", "1.2.3", "", "-", ".", "12a"};
  for (const char* w : words) {
    double mine = 42, theirs = 42;
    const bool plain = plainReal(w, mine);
    const std::string_view t(w);
    const std::size_t minus = t.rfind('-');
    const bool shaped = t.find_first_not_of("-.0123456789") == std::string_view::npos &&
                        t.find_first_of("0123456789") != std::string_view::npos &&
                        std::count(t.begin(), t.end(), '.') <= 1 && (minus == std::string_view::npos || minus == 0);
    const bool converted = fromChars(w, theirs);
    EXPECT_EQ(plain, shaped && converted) << w;
    if (plain) {
      EXPECT_EQ(std::memcmp(&mine, &theirs, sizeof mine), 0) << w;  // the sign of zero too
    }
  }
  // Every value written with 1 to 14 decimals, as the writers do.
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> any(-1e5, 1e5);
  for (int i = 0; i < 20000; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", 1 + i % 14, any(random) * std::pow(10.0, -(i % 9)));
    double mine = 0, theirs = 0;
    ASSERT_TRUE(plainReal(text, mine)) << text;
    ASSERT_TRUE(fromChars(text, theirs)) << text;
    ASSERT_EQ(std::memcmp(&mine, &theirs, sizeof mine), 0) << text;
  }
}
