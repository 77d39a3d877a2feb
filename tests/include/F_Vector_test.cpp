#include "include/F_Vector.h"

#include <iostream>

#include "include/F_Matrix.h"
#include "support/TestSupport.h"

TEST(F_Vector, IsOneBasedAndChecksEveryIndex) {
  F_Vector<int> v(3, 7);
  EXPECT_EQ(v(1), 7);
  EXPECT_EQ(v(3), 7);
  EXPECT_DEATH(v(0), "");
  EXPECT_DEATH(v(4), "");
  F_Vector<int> empty;
  EXPECT_DEATH(empty(1), "");
}

TEST(F_Vector, ResizeKeepsContentOnlyAtTheSameSize) {
  F_Vector<int> v(2);
  v(1) = 5;
  v.resize(2);
  EXPECT_EQ(v(1), 5);
  v.resize(3);
  EXPECT_EQ(v(1), 0);
  v.resize(0);
  EXPECT_EQ(v.size(), 0);
  // Storage reserved before takes the values in place, as long as no more
  // than an eighth of it is left over; they are filled anew all the same.
  struct Case {
    const char* name;
    int before, reserved, size;
    bool inPlace;
  };
  const Case cases[] = {
      {"exactly the room", 4, 6, 6, true},
      {"an eighth to spare", 4, 9, 8, true},
      {"more than an eighth to spare", 4, 9, 7, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F_Vector<int> r(c.before, 7);
    r.reserve(c.reserved);
    const int* storage = r.data();
    r.resize(c.size, 3);
    EXPECT_EQ(r.data() == storage, c.inPlace);
    EXPECT_EQ(std::vector<int>(r.begin(), r.end()), std::vector<int>(static_cast<std::size_t>(c.size), 3));
  }
  EXPECT_DEATH(v.resize(-1), "");
}

TEST(F_Vector, CopiesDeeply) {
  F_Vector<F_Vector<int>> a(1, F_Vector<int>(2, 1));
  auto b = a;
  b(1)(1) = 9;
  EXPECT_EQ(a(1)(1), 1);
}

TEST(F_Vector, TakesTheValuesOfRecordsWithoutCopyingThem) {
  F_Records<int> values = {4, 5, 6};
  const int* storage = values.data();
  F_Vector<int> v(std::move(values));
  ASSERT_EQ(v.size(), 3);
  EXPECT_EQ(v(1), 4);
  EXPECT_EQ(v(3), 6);
  EXPECT_EQ(v.data(), storage);
  // An empty one leaves no storage behind, as a default one has none.
  F_Vector<int> none(F_Records<int>{});
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.data(), nullptr);
  // A real vector takes them the same way, with the default tolerance.
  F_Records<double> reals = {1.5, -2.0};
  const double* realStorage = reals.data();
  const F_VectorReal r(std::move(reals));
  EXPECT_EQ(r.data(), realStorage);
  EXPECT_EQ(r.size(), 2);
  EXPECT_EQ(r(2), -2.0);
  EXPECT_EQ(r.tolerance(), F_VectorReal(1).tolerance());
}

// Records constructed past the end are taken as they are: neither made anew
// nor copied, and never more than the room holds.
namespace {
struct Counted {
  Counted() { ++made; }
  explicit Counted(int v) : value(v) {}
  int value = -1;
  static inline int made = 0;
};
}  // namespace

TEST(F_Vector, AdoptsRecordsWrittenPastItsEnd) {
  // The internal error goes to the message box; here that is stderr.
  auto die = [](auto act) {
    HeadlessUi toStderr(&std::cerr);
    installUiServices(&toStderr);
    act();
  };
  F_Vector<Counted> v(1, Counted(1));
  v.reserve(3);
  ::new (static_cast<void*>(v.end())) Counted(2);
  ::new (static_cast<void*>(v.end() + 1)) Counted(3);
  Counted::made = 0;
  v.adopt(2);
  EXPECT_EQ(Counted::made, 0);
  ASSERT_EQ(v.size(), 3);
  EXPECT_EQ(v(2).value, 2);
  EXPECT_EQ(v(3).value, 3);
  EXPECT_DEATH(die([&] { v.adopt(1); }), "F_Vector.*Line n\\. 3");
  F_Vector<Counted> none;
  none.adopt(0);
  EXPECT_TRUE(none.empty());
  EXPECT_DEATH(die([&] { none.adopt(-1); }), "F_Vector.*Line n\\. 3");
  EXPECT_DEATH(die([&] { none.adopt(1); }), "F_Vector.*Line n\\. 3");
  F_Records<int> records = {1};
  records.reserve(2);
  records.data()[1] = 2;
  records.adopt(1);
  EXPECT_EQ(records, (F_Records<int>{1, 2}));
  EXPECT_DEATH(die([&] { records.adopt(1); }), "F_Records.*Line n\\. 1");
}

TEST(F_Real, IsZeroUsesTheTolerance) {
  EXPECT_TRUE(F_Real(5e-9).isZero(-1));
  EXPECT_FALSE(F_Real(1e-8).isZero(-1));
  EXPECT_TRUE(F_Real(0.5).isZero(1.0));
  EXPECT_DEATH(F_Real(0).isZero(-2), "");
}

TEST(F_VectorReal, CrossAndVersorize) {
  F_VectorReal a(3), b(3);
  a(1) = 1;
  b(2) = 1;
  auto c = a.cross(b);
  EXPECT_EQ(c(3), 1.0);
  c(3) = 4;
  c.versorize();
  EXPECT_DOUBLE_EQ(c(3), 1.0);
  F_VectorReal zero(3);
  EXPECT_DEATH(zero.versorize(), "");
  F_VectorReal two(2);
  EXPECT_DEATH(a.cross(two), "");
}

TEST(F_Matrix, EmptyBelowOneRowOrColumn) {
  F_Matrix<int> m(0, 5);
  EXPECT_EQ(m.rows(), 0);
  EXPECT_EQ(m.columns(), 0);
  F_MatrixReal r(2, 3, 1.5);
  EXPECT_EQ(r(2, 3), 1.5);
  EXPECT_DEATH(r(3, 1), "");
}
