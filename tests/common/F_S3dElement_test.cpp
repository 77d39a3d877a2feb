#include "common/F_S3dElement.h"

#include <chrono>

#include "include/F_WordReader.h"
#include "support/TestSupport.h"

namespace {

std::string readElement(const std::string& bytes, int index, F_S3dElement& e) {
  return readMessage(bytes, [&](F_InputFile& f) { e.read(f, index); });
}

F_S3dElement elementOf(std::initializer_list<int> nodes) {
  F_S3dElement e;
  for (int n : nodes) e.nodes.append(n);
  return e;
}

}  // namespace

TEST(F_S3dElement, ReadsRecords) {
  struct Case {
    const char* name;
    std::string bytes;
    int index;
    std::vector<int> nodes;
    std::string message;
  } cases[] = {
      {"no nodes", "3 0 ", 3, {}, ""},
      {"four nodes", "1 4 1 2 3 4\n", 1, {1, 2, 3, 4}, ""},
      {"no item number", "2 7 8\n", 0, {7, 8}, ""},
      {"node zero", "1 2 5 0 ", 1, {}, readError("ERROR\nNode number cannot be less than one.", 1)},
      {"negative node on line 2", "1 2 5\n-3 ", 1, {}, readError("ERROR\nNode number cannot be less than one.", 2)},
      {"negative count", "1 -1 ", 1, {}, readError("ERROR\nNegative number of nodes.", 1)},
      {"wrong item number", "2 1 1 ", 1, {}, readError("ERROR\nBad item count.", 1)},
      {"real node", "1 1 2.0 ", 1, {}, readError("ERROR\nInvalid integer number.\n2. <?> 0", 1)},
      {"short record", "1 3 1 2\n", 1, {}, readError("ERROR\nUnexpected end of file.", 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    F_S3dElement e;
    EXPECT_EQ(readElement(c.bytes, c.index, e), c.message);
    if (c.message.empty()) {
      EXPECT_EQ(std::vector<int>(e.nodes.begin(), e.nodes.end()), c.nodes);
      EXPECT_EQ(e.nodeCount(), static_cast<int>(c.nodes.size()));
    }
  }
  F_S3dElement e;
  EXPECT_DEATH(readElement("1 0 ", -1, e), "");
}

// A hostile node count must end with the ordinary read error, not with an
// allocation of the declared size.
TEST(F_S3dElement, HugeNodeCountInAShortRecordIsAnEndOfFileError) {
  const auto start = std::chrono::steady_clock::now();
  F_S3dElement e;
  EXPECT_EQ(readElement("1 2000000000 1 2 3\n", 1, e), readError("ERROR\nUnexpected end of file.", 0));
  EXPECT_EQ(readElement("1 2147483647 1 2 3 ", 1, e), readError("ERROR\nUnexpected end of file.", 0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(F_S3dElement, WritesCountThenNodes) {
  auto f = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  elementOf({4, 12345678, 1}).write(*f);
  elementOf({}).write(*f);
  elementOf({5}).write(*f, "<%d>");
  f->close();
  EXPECT_EQ(f->bytes(),
            "        3         4  12345678         1 "
            "        0 "
            "<1><5>");
}

TEST(F_S3dElement, EffectiveNodeCountDropsARepeatedFirstNode) {
  struct Case {
    const char* name;
    F_S3dElement element;
    int effective;
  } cases[] = {
      {"closed triangle", elementOf({4, 7, 9, 4}), 3},
      {"open quad", elementOf({1, 2, 3, 4}), 4},
      {"line", elementOf({1, 2}), 2},
      {"degenerate line", elementOf({1, 1}), 1},
      {"single node", elementOf({5}), 1},
      {"empty", elementOf({}), 0},
      {"closed outline held outside the element", elementOf({6, 1, 2, 3, 4, 5, 7, 8, 9, 6}), 9},
      {"open outline held outside the element", elementOf({6, 1, 2, 3, 4, 5, 7, 8, 9}), 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.element.effectiveNodeCount(), c.effective);
  }
}

TEST(F_S3dElement, NodeAccessIsOneBasedAndChecked) {
  F_S3dElement e = elementOf({3, 4});
  EXPECT_EQ(e.node(1), 3);
  EXPECT_EQ(e.node(2), 4);
  EXPECT_DEATH(e.node(0), "");
  EXPECT_DEATH(e.node(3), "");
  F_S3dElement copy = e;
  copy.nodes(1) = 9;
  EXPECT_EQ(e.node(1), 3);
}
