#include "include/F_Archive.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "support/TestSupport.h"

namespace {
std::string stored(void (*write)(F_Archive&)) {
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
  F_Archive ar(*out);
  write(ar);
  out->close();
  return out->bytes();
}

std::string realBytes(double v) {
  char b[8];
  std::memcpy(b, &v, 8);  // the tests run on little-endian machines
  return std::string(b, 8);
}

// The `what` of the failure, or "" when `read` went through.
std::string loadFailure(const std::string& bytes, void (*read)(F_Archive&)) {
  auto in = memoryFile(bytes, "/tmp/t.b3d");
  F_Archive ar(*in);
  try {
    read(ar);
  } catch (const F_ArchiveException& e) {
    return e.what;
  }
  return "";
}
}  // namespace

TEST(F_Archive, WritesLittleEndianNumbers) {
  EXPECT_EQ(stored([](F_Archive& ar) { ar.writeInt(0x01020304); }), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(stored([](F_Archive& ar) { ar.writeInt(-2); }), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(stored([](F_Archive& ar) { ar.writeReal(1.0); }), std::string("\0\0\0\0\0\0\xF0\x3F", 8));
  EXPECT_EQ(stored([](F_Archive& ar) {
              const std::int32_t v[2] = {1, 256};
              ar.writeInts(v, 2);
            }),
            std::string("\x01\0\0\0\0\x01\0\0", 8));
}

TEST(F_Archive, PrefixesStringsByLength) {
  struct Case {
    const char* name;
    std::size_t length;
    std::string prefix;
  } cases[] = {
      {"empty", 0, std::string(1, '\0')},
      {"one byte up to 254", 254, "\xFE"},
      {"escape from 255", 255, std::string("\xFF\xFF\x00", 3)},
      {"two bytes up to 65533", 65533, "\xFF\xFD\xFF"},
      {"four bytes from 65534", 65534, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
      {"four bytes beyond 16 bits", 70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text(c.length, 'a');
    auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
    F_Archive ar(*out);
    ar.writeString(text);
    out->close();
    EXPECT_EQ(out->bytes().substr(0, c.prefix.size()), c.prefix);
    EXPECT_EQ(out->bytes().size(), c.prefix.size() + c.length);
    auto in = memoryFile(out->bytes());
    F_Archive back(*in);
    EXPECT_EQ(back.readString(), text);
    EXPECT_EQ(in->remaining(), 0u);
  }
}

TEST(F_Archive, RoundTripsValuesBothWays) {
  auto out = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
  {
    F_Archive ar(*out);
    std::int32_t i = -123456;
    double d = -0.1;
    ar.exchange(i);
    ar.exchange(d);
    ar.writeString("name\twith tab");
  }
  out->close();
  auto in = memoryFile(out->bytes());
  F_Archive ar(*in);
  std::int32_t i = 0;
  double d = 0;
  ar.exchange(i);
  ar.exchange(d);
  EXPECT_EQ(i, -123456);
  EXPECT_EQ(d, -0.1);
  EXPECT_EQ(ar.readValidString(), "name\twith tab");
}

TEST(F_Archive, RefusesWhatTheFileCannotHold) {
  struct Case {
    const char* name;
    std::string bytes;
    void (*read)(F_Archive&);
    const char* failure;
  } cases[] = {
      {"int cut short", std::string("\1\2\3", 3), [](F_Archive& ar) { ar.readInt("n"); }, "n"},
      {"real cut short", std::string(7, '\0'), [](F_Archive& ar) { ar.readReal("x"); }, "x"},
      {"string longer than the rest", "\x05" "abcd", [](F_Archive& ar) { ar.readString("s"); }, "s"},
      {"huge four-byte length", std::string("\xFF\xFF\xFF\xF0\xFF\xFF\x7F", 7) + "abc",
       [](F_Archive& ar) { ar.readString("s"); }, "s"},
      {"eight-byte length marker", std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 7),
       [](F_Archive& ar) { ar.readString("s"); }, "s"},
      {"wide-character marker", std::string("\xFF\xFE\xFF", 3) + "ab", [](F_Archive& ar) { ar.readString("s"); },
       "s"},
      {"invalid byte in a name", std::string("\x02" "a\x01", 3), [](F_Archive& ar) { ar.readValidString("s"); },
       "s"},
      {"negative count", std::string("\xFF\xFF\xFF\xFF", 4), [](F_Archive& ar) { ar.readCount(4, "c"); }, "c"},
      {"count beyond the rest", std::string("\x03\0\0\0", 4) + std::string(11, '\0'),
       [](F_Archive& ar) { ar.readCount(4, "c"); }, "c"},
      {"count that fits", std::string("\x03\0\0\0", 4) + std::string(12, '\0'),
       [](F_Archive& ar) { ar.readCount(4, "c"); }, ""},
      // No stored real is infinite or undefined; the largest finite ones pass.
      {"NaN", realBytes(std::nan("")), [](F_Archive& ar) { ar.readReal("x"); }, "x"},
      {"infinity", realBytes(HUGE_VAL), [](F_Archive& ar) { ar.readReal("x"); }, "x"},
      {"minus infinity", realBytes(-HUGE_VAL), [](F_Archive& ar) { ar.readReal("x"); }, "x"},
      {"largest real", realBytes(DBL_MAX), [](F_Archive& ar) { ar.readReal("x"); }, ""},
      {"most negative real", realBytes(-DBL_MAX), [](F_Archive& ar) { ar.readReal("x"); }, ""},
      {"smallest subnormal", realBytes(DBL_TRUE_MIN), [](F_Archive& ar) { ar.readReal("x"); }, ""},
      {"NaN last of a block", realBytes(1) + realBytes(-DBL_MAX) + realBytes(std::nan("")),
       [](F_Archive& ar) {
         double v[3];
         ar.readReals(v, 3, "xyz");
       },
       "xyz"},
      {"infinity first of a block", realBytes(HUGE_VAL) + realBytes(0) + realBytes(0),
       [](F_Archive& ar) {
         double v[3];
         ar.readReals(v, 3, "xyz");
       },
       "xyz"},
      {"finite block", realBytes(DBL_MAX) + realBytes(0) + realBytes(-DBL_MAX),
       [](F_Archive& ar) {
         double v[3];
         ar.readReals(v, 3, "xyz");
       },
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(loadFailure(c.bytes, c.read), c.failure);
  }
}
