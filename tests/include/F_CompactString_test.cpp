#include "include/F_CompactString.h"

#include <sstream>
#include <utility>

#include "support/TestSupport.h"

TEST(F_CompactString, HoldsOneWord) { EXPECT_EQ(sizeof(F_CompactString), sizeof(void*)); }

TEST(F_CompactString, KeepsEveryByteInsideAndOnTheHeap) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"one byte", "L"},
      {"seven bytes, the last held inside", "Layer 7"},
      {"eight bytes, the first on the heap", "Layer 12"},
      {"a zero byte inside", std::string("a\0b", 3)},
      {"a zero byte on the heap", std::string("abcdefgh\0ij", 11)},
      {"a long name", std::string(300, 'n')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const F_CompactString s(c.text);
    EXPECT_EQ(s.view(), c.text);
    EXPECT_EQ(s.size(), c.text.size());
    EXPECT_EQ(s.empty(), c.text.empty());
    EXPECT_EQ(s.str(), c.text);
    std::ostringstream out;
    out << s;
    EXPECT_EQ(out.str(), c.text);
    EXPECT_EQ(std::string("> ") + s, "> " + c.text);

    // Copies and moves are independent of their source.
    F_CompactString copy = s;
    EXPECT_EQ(copy, s);
    copy = "changed";
    EXPECT_EQ(s.view(), c.text);
    F_CompactString moved = std::move(copy);
    EXPECT_EQ(moved, "changed");
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from name is empty
    moved = s;
    EXPECT_EQ(moved, s);
    F_CompactString& alias = moved;
    moved = std::move(alias);  // moving onto itself keeps the value
    EXPECT_EQ(moved.view(), c.text);
  }
}

TEST(F_CompactString, AssignmentBetweenTheTwoFormsKeepsTheNewValueOnly) {
  const char* texts[] = {"", "short", "Layer 12", "a name far longer than a word"};
  for (const char* from : texts) {
    for (const char* to : texts) {
      SCOPED_TRACE(std::string(from) + " <- " + to);
      F_CompactString s(from);
      s = to;
      EXPECT_EQ(s.view(), to);
      EXPECT_EQ(s == from, std::string(from) == to);
    }
  }
  // A part of the string itself, in both forms.
  F_CompactString inside("abcdef");
  inside = inside.view().substr(2);
  EXPECT_EQ(inside, "cdef");
  F_CompactString heap("a name far longer than a word");
  heap = heap.view().substr(7);
  EXPECT_EQ(heap, "far longer than a word");
  heap.clear();
  EXPECT_TRUE(heap.empty());
  EXPECT_EQ(heap, "");
}
