#include "common/F_RenderThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(F_RenderThreads, CountTakesAWholeNumberInRangeElseTheHardwares) {
  const unsigned hardware = std::thread::hardware_concurrency();
  const int fallback = hardware < 1 ? 1 : std::min<int>(static_cast<int>(hardware), F_RenderThreads::kMaxThreads);
  struct Case {
    const char* text;
    int expected;  // 0: the hardware's count
  };
  const Case cases[] = {{nullptr, 0}, {"", 0},   {"1", 1},    {"2", 2},  {"7", 7}, {"64", 64},
                        {"65", 0},    {"0", 0},  {"-3", 0},   {"2x", 0}, {" 3", 3}, {"3 ", 0},
                        {"abc", 0},   {"1e3", 0}, {"99999999999999999999", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(not set)");
    EXPECT_EQ(F_RenderThreads::countFrom(c.text), c.expected ? c.expected : fallback);
  }
}

TEST(F_RenderThreads, RunGivesEachIndexOneCallAndTheCallerIndexZero) {
  for (const int n : {1, 2, 7, F_RenderThreads::kMaxThreads}) {
    SCOPED_TRACE(n);
    std::vector<std::atomic<int>> calls(static_cast<std::size_t>(n));
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> zeroOnCaller{false};
    EXPECT_TRUE(F_RenderThreads::run(n, [&](int i) {
      ++calls[static_cast<std::size_t>(i)];
      if (i == 0) zeroOnCaller = std::this_thread::get_id() == caller;
    }));
    for (int i = 0; i < n; ++i) EXPECT_EQ(calls[static_cast<std::size_t>(i)].load(), 1) << "index " << i;
    EXPECT_TRUE(zeroOnCaller.load());
  }
}
