#include "include/F_SharedVector.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/headless/HeadlessUi.h"

namespace {

using Shared = F_SharedVector<int>;

Shared of(const std::vector<int>& v) { return Shared(F_Records<int>(v.begin(), v.end())); }
std::vector<int> values(const Shared& v) { return {v.begin(), v.end()}; }

// Every change made to a copy leaves the list it was copied from as it was,
// and the copy ends with a store of its own.
TEST(F_SharedVector, EveryChangeOfACopyLeavesTheOriginal) {
  struct Case {
    const char* name;
    std::function<void(Shared&)> change;
    std::vector<int> after;
  } cases[] = {
      {"write an element", [](Shared& v) { v(3) = 9; }, {1, 2, 9}},
      {"write through []", [](Shared& v) { v[1] = 7; }, {7, 2, 3}},
      {"write the last", [](Shared& v) { v.last() = 8; }, {1, 2, 8}},
      {"append", [](Shared& v) { v.append(4); }, {1, 2, 3, 4}},
      {"reserve", [](Shared& v) { v.reserve(100); }, {1, 2, 3}},
      {"write through data()", [](Shared& v) { v.data()[0] = 5; }, {5, 2, 3}},
      {"write through begin()", [](Shared& v) { *v.begin() = 6; }, {6, 2, 3}},
      {"resize to another size", [](Shared& v) { v.resize(2); }, {0, 0}},
      {"resize with a fill", [](Shared& v) { v.resize(3, 4); }, {4, 4, 4}},
      {"clear", [](Shared& v) { v.clear(); }, {}},
      {"adopt what was written past the end",
       [](Shared& v) {
         v.reserve(5);
         v.end()[0] = 4;
         v.end()[1] = 5;
         v.adopt(2);
       },
       {1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Shared original = of({1, 2, 3});
    Shared copy = original;
    ASSERT_TRUE(copy.sharesStoreWith(original));
    c.change(copy);
    EXPECT_EQ(values(copy), c.after);
    EXPECT_EQ(values(original), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(copy.sharesStoreWith(original));
  }
}

TEST(F_SharedVector, ReadingAndResizingToTheSameSizeKeepTheStoreShared) {
  const Shared original = of({1, 2, 3});
  Shared copy = original;
  copy.resize(3);
  const Shared& reader = copy;
  EXPECT_EQ(reader(1) + reader(3), 4);
  EXPECT_EQ(std::vector<int>(reader.begin(), reader.end()), values(original));
  EXPECT_TRUE(copy.sharesStoreWith(original));
  EXPECT_EQ(copy, original);
}

TEST(F_SharedVector, ALastCopyChangesItsStoreInPlace) {
  Shared a = of({1, 2});
  const int* store = a.data();
  {
    const Shared b = a;
  }
  a(1) = 5;
  a.clear();
  a.append(7);
  EXPECT_EQ(a.data(), store);
  EXPECT_EQ(values(a), (std::vector<int>{7}));
}

TEST(F_SharedVector, AssignmentAndMoveShareOrTakeTheStore) {
  Shared a = of({1, 2});
  Shared b = of({3});
  b = a;
  EXPECT_TRUE(b.sharesStoreWith(a));
  const Shared& alias = b;
  b = alias;
  EXPECT_EQ(values(b), (std::vector<int>{1, 2}));
  Shared c = std::move(b);
  EXPECT_TRUE(c.sharesStoreWith(a));
  EXPECT_TRUE(b.empty());
  a = Shared();
  EXPECT_EQ(values(c), (std::vector<int>{1, 2}));
  EXPECT_EQ(Shared(), of({}));
  EXPECT_NE(of({1, 2}), of({1, 3}));
  EXPECT_NE(of({1}), Shared());
}

TEST(F_SharedVector, ChecksEveryIndexOnBothSides) {
  Shared v = of({1, 2, 3});
  const Shared& c = v;
  EXPECT_EQ(c(1), 1);
  EXPECT_EQ(c(3), 3);
  // The internal error goes to the message box; here that is stderr.
  auto die = [](auto act) {
    HeadlessUi toStderr(&std::cerr);
    installUiServices(&toStderr);
    act();
  };
  EXPECT_DEATH(die([&] { (void)c(0); }), "F_SharedVector.*Line n\\. 2");
  EXPECT_DEATH(die([&] { (void)c(4); }), "F_SharedVector.*Line n\\. 2");
  EXPECT_DEATH(die([&] { v(0) = 1; }), "F_SharedVector.*Line n\\. 2");
  EXPECT_DEATH(die([&] { v(4) = 1; }), "F_SharedVector.*Line n\\. 2");
  EXPECT_DEATH(die([&] { (void)Shared().last(); }), "F_SharedVector.*Line n\\. 2");
  EXPECT_DEATH(die([&] { v.resize(-1); }), "F_SharedVector.*Line n\\. 1");
  // Records are adopted from the room past the end, never beyond it.
  v.reserve(4);
  v.end()[0] = 4;
  EXPECT_DEATH(die([&] { v.adopt(2); }), "F_SharedVector.*Line n\\. 3");
  EXPECT_DEATH(die([&] { v.adopt(-1); }), "F_SharedVector.*Line n\\. 3");
  v.adopt(0);
  v.adopt(1);
  EXPECT_EQ(values(v), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_DEATH(die([&] { v.adopt(1); }), "F_SharedVector.*Line n\\. 3");
}

}  // namespace
