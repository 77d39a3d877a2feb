#include "common/F_RenderThreads.h"

#include <atomic>
#include <cstdlib>
#include <latch>
#include <system_error>
#include <thread>
#include <vector>

namespace F_RenderThreads {

int countFrom(const char* text) {
  if (text && *text) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end == '\0' && n >= 1 && n <= kMaxThreads) return static_cast<int>(n);
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  if (hardware < 1) return 1;
  return hardware > static_cast<unsigned>(kMaxThreads) ? kMaxThreads : static_cast<int>(hardware);
}

int count() { return countFrom(std::getenv("KAVRILON_THREADS")); }

bool run(int n, const std::function<void(int)>& work) {
  if (n <= 1) {
    work(0);
    return true;
  }
  // The new threads wait at the gate until all of them exist: work that
  // synchronises all n threads must never start with fewer.
  std::latch gate(1);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(n - 1));
  try {
    for (int t = 1; t < n; ++t)
      threads.emplace_back([&, t] {
        gate.wait();
        if (go.load()) work(t);
      });
  } catch (const std::system_error&) {
    gate.count_down();
    for (std::thread& thread : threads) thread.join();
    return false;
  }
  go.store(true);
  gate.count_down();
  work(0);
  for (std::thread& thread : threads) thread.join();
  return true;
}

}  // namespace F_RenderThreads
