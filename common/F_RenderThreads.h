#pragma once
// The threads a render may use. Rendering splits the canvas into one band of
// rows per thread; this file says how many there are and starts them.

#include <functional>

namespace F_RenderThreads {

// The most threads a render uses, whatever is asked.
constexpr int kMaxThreads = 64;

// How many threads a render may use: KAVRILON_THREADS when it holds a whole
// number from 1 to kMaxThreads, else the hardware's count (1 when unknown).
// Read at every call, so that a test can change it between renders.
int count();
// The same rule on a given text (nullptr when the variable is not set).
int countFrom(const char* text);

// Runs work(0) on the calling thread and work(1) ... work(n - 1) on n - 1 new
// threads, and returns when all have finished. When the threads cannot be
// started (the system refuses), nothing runs and the result is false, so
// that the caller can do the work on its own. `work` must not throw.
bool run(int n, const std::function<void(int)>& work);

}  // namespace F_RenderThreads
