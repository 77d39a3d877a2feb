#include "common/F_Point3D.h"

#include "include/F_WordReader.h"
#include "support/TestSupport.h"

namespace {

// Reads one point record; returns the box shown ("" on success).
std::string readPoint(const std::string& bytes, int index, F_Point3D& p) {
  return readMessage(bytes, [&](F_InputFile& f) { p.read(f, index); });
}

std::string written(const F_Point3D& p, const char* format = nullptr) {
  auto f = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  p.write(*f, format);
  f->close();
  return f->bytes();
}

}  // namespace

TEST(F_Point3D, ReadsRecords) {
  struct Case {
    const char* name;
    std::string bytes;
    int index;
    F_Point3D point;
    std::string message;
  } cases[] = {
      {"origin", "1 0 0 0 ", 1, {0, 0, 0}, ""},
      {"exponent", "1 1.5e3 -2 .25\n", 1, {1500, -2, 0.25}, ""},
      {"no item number", "4 5 6 ", 0, {4, 5, 6}, ""},
      {"split over lines", "7\n# c\n1\n2 3\n", 7, {1, 2, 3}, ""},
      {"wrong item number", "1 0 0 0 ", 2, {0, 0, 0}, readError("ERROR\nBad item count.", 1)},
      {"bad real", "1\n1.2.3 0 0 ", 1, {}, readError("ERROR\nInvalid real number.\n1.2. <?> 3", 2)},
      {"item not an integer", "1.0 0 0 0 ", 1, {}, readError("ERROR\nInvalid integer number.\n1. <?> 0", 1)},
      {"missing z", "1 0 0", 1, {}, readError("ERROR\nUnexpected end of file.", 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_Point3D p(9, 9, 9);
    EXPECT_EQ(readPoint(c.bytes, c.index, p), c.message);
    if (c.message.empty() || c.index == 2) {
      EXPECT_EQ(p, c.point);
    }
  }
  F_Point3D p;
  EXPECT_DEATH(readPoint("1 0 0 0 ", -1, p), "");
}

TEST(F_Point3D, WritesFixedFields) {
  EXPECT_EQ(written({1, -2, 0.5}), "      1.00000000     -2.00000000      0.50000000 ");
  EXPECT_EQ(written({123456.123456789, 0, -1e-9}), " 123456.12345679      0.00000000     -0.00000000 ");
  EXPECT_EQ(written({1, 2, 3}, "%g;%g;%g"), "1;2;3");
}

TEST(F_Point3D, Arithmetic) {
  F_Point3D a(1, 2, 3), b(4, 6, 3);
  EXPECT_EQ(a + b, F_Point3D(5, 8, 6));
  EXPECT_EQ(b - a, F_Point3D(3, 4, 0));
  EXPECT_DOUBLE_EQ(a.distance(b), 5.0);
  a += b;
  EXPECT_EQ(a, F_Point3D(5, 8, 6));
  a.add(-5, -8, -6);
  EXPECT_EQ(a, F_Point3D(0, 0, 0));

  F_Point3D c(2, 4, 8);
  c /= 2;
  EXPECT_EQ(c, F_Point3D(1, 2, 4));
  F_Point3D tiny(1, 1, 1);
  tiny /= 1e-8;  // the limit itself is allowed
  EXPECT_DOUBLE_EQ(tiny.x, 1e8);
  EXPECT_DEATH(
      {
        RecordingUi ui;
        F_Point3D d(1, 1, 1);
        d /= 1e-9;
      },
      "");
}

TEST(F_Point3D, TransformsByARowMajorMatrix) {
  F_MatrixReal m(3, 3);
  // A quarter turn about z: x -> y.
  m(1, 2) = -1;
  m(2, 1) = 1;
  m(3, 3) = 1;
  F_Point3D p(1, 2, 3);
  p.transform(m);
  EXPECT_EQ(p, F_Point3D(-2, 1, 3));
  EXPECT_DEATH(p.transform(F_MatrixReal(2, 3)), "");
}
