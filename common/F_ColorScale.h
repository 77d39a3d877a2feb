#pragma once
// How the depth-buffered primitives turn a value into a colour: the value
// range is cut into one equal band per colour index of [firstIndex, lastIndex],
// and the colour is the table entry of that index. Built once per drawing so
// that a pixel costs one multiply-add, a truncation and a table read.

#include <span>

#include "common/F_ScreenMap.h"
#include "platform/Color.h"

class F_ColorScale {
 public:
  // `colors` holds the colour table with its index 1 at colors[0]; firstIndex
  // and lastIndex must lie inside it with firstIndex <= lastIndex.
  F_ColorScale(std::span<const F_Rgb> colors, int firstIndex, int lastIndex, const F_Interval& range);

  // trunc(v * scale + offset), clamped to [firstIndex, lastIndex]. Written so
  // that a NaN value or one far outside the range still gives an end index.
  int index(double v) const {
    const double t = v * scale_ + offset_;
    if (!(t >= first_)) return first_;
    if (t >= last_ + 1.0) return last_;
    return static_cast<int>(t);
  }
  F_Rgb color(double v) const { return base_[index(v)]; }

  int firstIndex() const { return first_; }
  int lastIndex() const { return last_; }
  double scale() const { return scale_; }
  double offset() const { return offset_; }

 private:
  const F_Rgb* base_;  // base_[i] is colour index i (1-based)
  int first_;
  int last_;
  double scale_;
  double offset_;
};
