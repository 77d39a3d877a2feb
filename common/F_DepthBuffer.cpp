#include "common/F_DepthBuffer.h"

#include <algorithm>
#include <new>

#include "include/F_Errors.h"

void F_DepthBuffer::resize(int width, int height) {
  if (width < 0 || height < 0) internalError("F_DepthBuffer", 1);
  if (width == 0 || height == 0) width = height = 0;
  if (width == width_ && height == height_) return;
  try {
    std::vector<float> fresh(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kFar);
    depth_.swap(fresh);
  } catch (const std::bad_alloc&) {
    depth_.clear();
    width_ = height_ = 0;
    outOfMemory();
  }
  width_ = width;
  height_ = height;
}

void F_DepthBuffer::fill(float depth) { std::fill(depth_.begin(), depth_.end(), depth); }

float F_DepthBuffer::at(int column, int r) const {
  if (column < 0 || column >= width_ || r < 0 || r >= height_) internalError("F_DepthBuffer", 2);
  return depth_[static_cast<std::size_t>(r) * width_ + column];
}
