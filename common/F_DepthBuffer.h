#pragma once
// The depth buffer of a rendered drawing: one float per pixel of the drawing
// surface, larger is nearer to the viewer. It belongs to the drawing target
// (the view), which sizes it to its canvas and clears it before each render.

#include <cstddef>
#include <vector>

class F_DepthBuffer {
 public:
  // What an empty pixel holds: farther than anything a mesh can reach.
  static constexpr float kFar = -1e30f;

  F_DepthBuffer() = default;
  F_DepthBuffer(int width, int height) { resize(width, height); }

  // A different size discards the content (filled with kFar); 0 by 0 frees it.
  void resize(int width, int height);
  void fill(float depth = kFar);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return depth_.empty(); }

  // 0 <= row < height(): the row's `width()` entries, column 0 first.
  float* row(int r) { return depth_.data() + static_cast<std::ptrdiff_t>(r) * width_; }
  const float* row(int r) const { return depth_.data() + static_cast<std::ptrdiff_t>(r) * width_; }
  // Checked access for tests and callers outside the hot loops.
  float at(int column, int r) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<float> depth_;
};
