#include "include/F_SmallVector.h"

#include <vector>

#include "support/TestSupport.h"

namespace {
using Small = F_SmallVector<int, 3>;

std::vector<int> values(const Small& v) { return std::vector<int>(v.begin(), v.end()); }

Small of(std::initializer_list<int> list) {
  Small v;
  for (int x : list) v.append(x);
  return v;
}
}  // namespace

TEST(F_SmallVector, KeepsItsValuesAcrossTheMoveToTheHeap) {
  Small v;
  for (int i = 1; i <= 10; ++i) {
    v.append(i * i);
    ASSERT_EQ(v.size(), i);
    EXPECT_EQ(v(1), 1);
    EXPECT_EQ(v(i), i * i);
  }
  EXPECT_EQ(values(v), (std::vector<int>{1, 4, 9, 16, 25, 36, 49, 64, 81, 100}));
}

TEST(F_SmallVector, CopiesAndMovesAreIndependent) {
  struct Case {
    const char* name;
    Small source;
  };
  // A list on the heap that shrank to N or fewer values keeps them there.
  Small shrunk = of({1, 2, 3, 4, 5});
  shrunk.resize(3, 6);
  Small one = of({1, 2, 3, 4});
  one.resize(1, 8);
  Case cases[] = {{"empty", of({})},           {"inside", of({1, 2, 3})}, {"on the heap", of({1, 2, 3, 4, 5})},
                  {"N on the heap", shrunk}, {"one on the heap", one},  {"N + 1", of({1, 2, 3, 4})}};
  EXPECT_EQ(values(cases[3].source), (std::vector<int>{6, 6, 6}));  // copied from the heap into the object
  EXPECT_EQ(values(cases[4].source), (std::vector<int>{8}));
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<int> before = values(c.source);
    Small copy = c.source;
    EXPECT_EQ(copy, c.source);
    if (!copy.empty()) copy(1) = 99;
    EXPECT_EQ(values(c.source), before);

    Small assigned = of({7, 7, 7, 7, 7, 7});  // a heap buffer reused by the copy
    assigned = c.source;
    EXPECT_EQ(values(assigned), before);

    Small moved = std::move(copy);
    Small target = of({1});
    target = std::move(moved);
    if (!before.empty()) {
      EXPECT_EQ(target(1), 99);
    }
    EXPECT_EQ(target.size(), static_cast<int>(before.size()));
  }
}

TEST(F_SmallVector, ResizeKeepsContentOnlyAtTheSameSize) {
  Small v = of({4, 5});
  v.resize(2);
  EXPECT_EQ(values(v), (std::vector<int>{4, 5}));
  v.resize(5);
  EXPECT_EQ(values(v), (std::vector<int>{0, 0, 0, 0, 0}));
  v.resize(2, 8);
  EXPECT_EQ(values(v), (std::vector<int>{8, 8}));
  v.clear();
  EXPECT_TRUE(v.empty());
  EXPECT_DEATH(v.resize(-1), "");
}

TEST(F_SmallVector, ChecksEveryIndex) {
  Small v = of({1, 2, 3, 4});
  EXPECT_DEATH(v(0), "");
  EXPECT_DEATH(v(5), "");
  EXPECT_NE(of({1, 2}), of({1, 2, 3}));
  EXPECT_NE(of({1, 2}), of({1, 3}));
}

TEST(F_SmallVector, ResizeForOverwriteGivesRoomOnEitherSideOfTheInlineSize) {
  // 3 values fit inside, 4 go to the heap; going back to 2 keeps the heap buffer.
  for (const int n : {0, 3, 4, 2}) {
    SCOPED_TRACE(n);
    Small v = of({9, 9, 9, 9, 9});
    v.resizeForOverwrite(n);
    ASSERT_EQ(v.size(), n);
    for (int i = 1; i <= n; ++i) v(i) = 10 * i;
    std::vector<int> expected;
    for (int i = 1; i <= n; ++i) expected.push_back(10 * i);
    EXPECT_EQ(values(v), expected);
    v.append(7);
    EXPECT_EQ(v(n + 1), 7);
  }
  Small small;
  small.resizeForOverwrite(4);  // from inside to the heap
  for (int i = 1; i <= 4; ++i) small(i) = i;
  EXPECT_EQ(values(small), (std::vector<int>{1, 2, 3, 4}));
}
