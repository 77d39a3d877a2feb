#include "common/F_ScalarField.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "support/TestSupport.h"

namespace {

// The values of a PVA text, or the message its read showed.
struct Outcome {
  std::vector<double> values;
  std::string message;
  int lineNumber = 0;
};

Outcome read(const std::string& text) {
  RecordingUi ui;
  auto file = memoryFile(text, "/tmp/t.pva");
  Outcome out;
  try {
    const F_VectorReal v = readScalarField(*file);
    out.values.assign(v.begin(), v.end());
  } catch (const F_UserException&) {
    out.message = ui.lastMessage();
  }
  out.lineNumber = file->lineNumber();
  return out;
}

std::string pvaError(const std::string& message, int line) {
  return readErrorText("t.pva", "/tmp/t.pva", message, line);
}

}  // namespace

TEST(F_ScalarField, ReadsOneValuePerRecord) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<double> values;
  };
  const Case cases[] = {
      {"plain records", "1 0.0\n2 1.5e-3\n3 -7.25 # corner\n", {0.0, 1.5e-3, -7.25}},
      {"CR LF line ends", "1 4\r\n2 5\r\n", {4, 5}},
      {"blank and comment lines before records", "# field\n\n1 1\n  \n# more\n2 2\n", {1, 2}},
      {"one record", "1 42\n", {42}},
      {"tabs and signs", "\t+1\t-0.5\n2 .25\n", {-0.5, 0.25}},
      {"further words after the value are skipped", "1 10 99 98\n2 20 x\n3 30\n", {10, 20, 30}},
      {"a line of junk after the value", "1 1 ###\n2 2 \x01\x02\n", {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = read(c.text);
    EXPECT_EQ(out.message, "");
    EXPECT_EQ(out.values, c.values);
  }
}

TEST(F_ScalarField, EveryErrorWithItsLine) {
  struct Case {
    const char* name;
    std::string text;
    std::string message;
    int line;
  };
  const Case cases[] = {
      {"records numbered 1, 2, 4", "1 0\n2 0\n4 0\n", "ERROR\nBad item count.", 3},
      {"first record not 1", "# c\n0 5\n", "ERROR\nBad item count.", 2},
      {"empty file", "", "ERROR\nUnexpected end of file.", 0},
      {"no NewLine after the last value", "1 0\n2 0", "ERROR\nUnexpected end of file.", 0},
      {"no NewLine after a trailing comment", "1 0 # end", "ERROR\nUnexpected end of file.", 0},
      {"empty line after the last record", "1 0\n2 0\n\n", "ERROR\nUnexpected end of file.", 0},
      {"spaces after the last record", "1 0\n ", "ERROR\nUnexpected end of file.", 0},
      {"record without a value", "1 0\n2\n", "ERROR\nUnexpected end of file.", 0},
      {"value not a real", "1 0\n2 abc\n", "ERROR\nInvalid real number.\na <?> bc", 2},
      {"number not an integer", "1 0\n2.0 1\n", "ERROR\nInvalid integer number.\n2. <?> 0", 2},
      {"comment glued to the value", "1 0#x\n", "ERROR\nExpecting a 'Space' or 'Tab' before the # character.", 1},
      {"value on the next line counts its own line", "1\n\n0.5x\n", "ERROR\nInvalid real number.\n0.5x <?>", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = read(c.text);
    EXPECT_TRUE(out.values.empty());
    EXPECT_EQ(out.message, pvaError(c.message, c.line));
  }
}

TEST(F_ScalarField, EachLineIsCountedOnce) {
  const Outcome out = read("# a\n1 1\n2 2\n");
  EXPECT_EQ(out.values, (std::vector<double>{1, 2}));
  EXPECT_EQ(out.lineNumber, 4);
}

TEST(F_ScalarField, LoadsFromDiskOrSaysTheFileIsMissing) {
  TempDir dir;
  const std::string path = dir.path("field.pva");
  std::string text;
  for (int i = 1; i <= 3000; ++i) text += std::to_string(i) + " " + std::to_string(i * 0.5) + " # note\n";
  writeFileBytes(path, text);
  {
    RecordingUi ui;
    const auto values = loadScalarField(path);
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 3000);
    EXPECT_EQ((*values)(3000), 1500.0);
    EXPECT_TRUE(ui->messages().empty());
    const F_Interval range = valueExtremes(*values);
    EXPECT_EQ(range.lower, 0.5);
    EXPECT_EQ(range.upper, 1500.0);
  }
  {
    RecordingUi ui;
    const std::string missing = dir.path("missing.pva");
    EXPECT_FALSE(loadScalarField(missing).has_value());
    EXPECT_EQ(ui.lastMessage(), readErrorText("missing.pva", missing, "ERROR\nFile not found.", 0));
  }
  {
    RecordingUi ui;
    writeFileBytes(path, "1 1\n3 3\n");
    EXPECT_FALSE(loadScalarField(path).has_value());
    EXPECT_EQ(ui.lastMessage(), readErrorText("field.pva", path, "ERROR\nBad item count.", 2));
  }
}

TEST(F_ScalarField, ExtremesOfTheValuesThemselves) {
  F_VectorReal v(3);
  v(1) = 2;
  v(2) = -1;
  v(3) = 7;
  const F_Interval r = valueExtremes(v);
  EXPECT_EQ(r.lower, -1);
  EXPECT_EQ(r.upper, 7);
  const F_Interval none = valueExtremes(F_VectorReal());
  EXPECT_EQ(none.lower, 0);
  EXPECT_EQ(none.upper, 0);
  v(2) = 0.1;
  EXPECT_EQ(scalarFieldSummary(v), "values=3 min=0.10000000000000001 max=7");
  EXPECT_EQ(scalarFieldSummary(F_VectorReal()), "values=0 min=0 max=0");
}

TEST(F_ScalarField, WrittenValuesReadBackExactly) {
  F_VectorReal values(5);
  const double samples[5] = {0.1, -1e-300, 1.7976931348623157e308, 6, -0.0};
  for (int i = 1; i <= 5; ++i) values(i) = samples[i - 1];
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  writeScalarField(*out, values);
  out->close();
  EXPECT_EQ(out->bytes().substr(0, 32), "        1  0.10000000000000001\r\n");
  auto in = F_InputFile::fromMemory(out->bytes(), "/tmp/t.pva");
  const F_VectorReal back = readScalarField(*in);
  EXPECT_EQ(back, values);
}

// Records as the program writes them are read straight from the buffer; a
// comment on every line makes the word reader read them all. Both must give
// the same values, or the same message on the same line, also where records
// straddle the file's blocks.
TEST(F_ScalarField, PlainRecordsReadAsTheWordReaderReadsThem) {
  struct Case {
    const char* name;
    int line;  // 1-based line to replace, 0 for none
    std::string text;
    bool large = false;  // a file past the first block, else a small one
  };
  // Past the first block (lines of about 18 bytes); the lines replaced in
  // the large files lie in the second. The shapes of single words need no
  // blocks and are tried on small files.
  const int large = static_cast<int>(F_InputFile::kBlockSize / 18) + 20000, small = 3000;
  const int second = large - 10000;
  const Case cases[] = {
      {"as written", 0, "", true},
      {"a comment line", second, "# here", true},
      {"a blank line", second, "", true},
      {"a number out of turn", second + 1, std::to_string(second + 2) + " 1.5", true},
      {"a value that is not a real", second + 2, std::to_string(second + 2) + " 1.5x", true},
      {"the last record", large, std::to_string(large) + " -0.5", true},
      {"a value with an exponent", 100, "100 1e5"},
      {"a long value", 100, "100 0.12345678901234567"},
      {"tabs and a plus sign", 100, "\t+100\t2.5"},
      {"a stray carriage return", 100, "100 2\r5"},
      {"nine digits", 100, "000000100 2.5"},
      {"ten digits", 100, "0000000100 2.5"},
      {"fifteen digits", 100, "100 -12345678.9012345"},
      {"sixteen digits", 100, "100 1234567.890123456"},
      {"no digits after the point", 100, "100 7."},
      {"a value right at the line end", 100, "100 0.25"},
      {"the last record of a small file", small, std::to_string(small) + " 2.5"},
  };
  TempDir dir;
  const std::string path = dir.path("f.pva");
  for (const char* end : {"\n", "\r\n"}) {
    for (const Case& c : cases) {
      // The files past the first block are slow through the word reader:
      // they are read with CR LF, the ends the writer writes, only.
      if (c.large && end[0] != '\r') continue;
      SCOPED_TRACE(testing::Message() << c.name << (end[0] == '\r' ? ", CR LF" : ", LF"));
      std::string plain, commented;
      const int records = c.large ? large : small;
      for (int i = 1; i <= records; ++i) {
        std::string line = std::to_string(i) + "  " + std::to_string(std::sin(i) * 100);
        if (i == c.line) line = c.text;
        plain += line + end;
        commented += line + " # o" + end;
      }
      std::optional<F_VectorReal> values[2];
      std::string messages[2];
      for (const int k : {0, 1}) {
        RecordingUi ui;
        writeFileBytes(path, k == 0 ? plain : commented);
        values[k] = loadScalarField(path);
        messages[k] = ui->messages().empty() ? "" : ui.lastMessage();
      }
      EXPECT_EQ(messages[0], messages[1]);
      ASSERT_EQ(values[0].has_value(), values[1].has_value());
      if (values[0]) {
        EXPECT_EQ(values[0]->size(), values[1]->size());
        EXPECT_TRUE(*values[0] == *values[1]);
      }
    }
  }
}

// Lines of 16 bytes after a first one of 17 put a NewLine on every multiple
// of 16: the first part the reader takes alone (128 KiB) ends exactly after
// line 8192, and with two threads the rest of a file of 25600 lines is cut
// exactly after line 16896. A line the fast reader declines on each side of
// each cut, read with 1, 2 and 7 threads, must give what the ordinary reader
// gives (the same lines each with a comment; a replaced line keeps its width): the same values, or the same
// message on the same line.
TEST(F_ScalarField, RecordsCutAmongThreadsJoinAsOneRead) {
  struct Case {
    const char* name;
    int line;  // replaced by text
    std::string text;
    const char* last = "\n";  // the line end of the file's last line
    int records = 25600;
    int padded = 0;  // lines 1..padded end in blanks, so the rest seem fewer than they are
  };
  const Case cases[] = {
      {"as written", 0, ""},
      {"a comment on the first line", 1, "# first"},
      {"a comment as the last line the first part holds", 8192, "# cut"},
      {"a comment as the first line of the parts on threads", 8193, "# cut"},
      {"an error as the last line of the first thread's part", 16896, "  16896  1.5x"},
      {"an error as the first line of the second thread's part", 16897, "  16897  1.5x"},
      {"a number out of turn on the second thread", 20000, "  20002  0.5"},
      {"an error on the last line", 25600, "  25600  1.5x"},
      {"the last line without its line end", 0, "", ""},
      {"one record", 0, "", "\n", 1},
      {"one record without its line end", 0, "", "", 1},
      // Room is made for as many records as the first part's lengths give:
      // the rest holds more, and they are read all the same.
      {"shorter lines after the first part", 0, "", "\n", 25600, 4000},
  };
  TempDir dir;
  const std::string path = dir.path("f.pva");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string plain, commented;
    for (int i = 1; i <= c.records; ++i) {
      char line[32];
      std::snprintf(line, sizeof line, "%s%7d %7.4f", i == 1 ? " " : "", i, std::sin(i));
      std::string record = line;
      if (i == c.line) record = c.text + std::string(record.size() - c.text.size(), ' ');  // same width
      if (i <= c.padded) record += std::string(40, ' ');
      const char* end = i == c.records ? c.last : "\n";
      plain += record + end;
      commented += record + " # o" + end;
    }
    if (c.padded == 0) {
      ASSERT_EQ(plain.find('\n', 131072), c.records == 25600 ? 131072u : std::string::npos);
    }
    std::optional<F_VectorReal> expected;
    std::string expectedMessage;
    {
      RecordingUi ui;
      writeFileBytes(path, commented);
      expected = loadScalarField(path);
      expectedMessage = ui->messages().empty() ? "" : ui.lastMessage();
    }
    writeFileBytes(path, plain);
    for (const char* threads : {"1", "2", "7"}) {
      SCOPED_TRACE(threads);
      setenv("KAVRILON_THREADS", threads, 1);
      RecordingUi ui;
      const std::optional<F_VectorReal> values = loadScalarField(path);
      EXPECT_EQ(ui->messages().empty() ? "" : ui.lastMessage(), expectedMessage);
      ASSERT_EQ(values.has_value(), expected.has_value());
      if (values) {
        EXPECT_TRUE(*values == *expected);
      }
    }
    unsetenv("KAVRILON_THREADS");
  }
}
