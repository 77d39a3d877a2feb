#pragma once
// The largest canvas a view may hold. A view keeps an off-screen image of its
// whole canvas (4 bytes a pixel) and, in rendering mode, a depth buffer of the
// same size (one float a pixel); together they stay within 1 GiB, and no side
// passes 32768 pixels. Zooming in stops at this bound and a batch render
// refuses a larger size before anything is allocated.

namespace F_CanvasBound {

constexpr long long kMaxSide = 32768;
constexpr long long kMaxBytes = 1LL << 30;
constexpr long long kBytesPerPixel = 4 + 4;  // image word + depth float

// True when a canvas of w by h pixels may be allocated.
constexpr bool fits(long long w, long long h) {
  return w >= 1 && h >= 1 && w <= kMaxSide && h <= kMaxSide && w * h * kBytesPerPixel <= kMaxBytes;
}

}  // namespace F_CanvasBound
