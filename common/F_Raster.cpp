#include "common/F_Raster.h"

#include <algorithm>
#include <cmath>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#include <immintrin.h>

#include "common/F_ElementShape.h"
#define KAVRILON_FOUR_LANES 1
#endif

namespace {

#if defined(KAVRILON_FOUR_LANES)
// sampleRowBounds four samples at a time while four remain; returns the first
// sample not done. The same operations in each lane, so the same bits; the
// clamps of roundToPixel are a max that yields its second operand for a row
// that is not a number, then a min.
[[gnu::target("avx2")]] int rowBoundsFourLanes(const F_ScreenMap& map, const F_Vertex* samples, int count,
                                               double* up, double* down, int* pixel) {
  const __m256d scale = _mm256_set1_pd(map.scaleX2), origin = _mm256_set1_pd(map.originX2);
  const __m256d margin = _mm256_set1_pd(1e-6), half = _mm256_set1_pd(0.5);
  const __m256d lowest = _mm256_set1_pd(-1e9), highest = _mm256_set1_pd(1e9);
  int s = 0;
  for (; s + 3 < count; s += 4) {
    const __m256d z = _mm256_set_pd(samples[s + 3].z, samples[s + 2].z, samples[s + 1].z, samples[s].z);
    const __m256d row = _mm256_add_pd(_mm256_mul_pd(scale, z), origin);
    _mm256_storeu_pd(up + s, _mm256_floor_pd(_mm256_add_pd(row, margin)));
    _mm256_storeu_pd(down + s, _mm256_sub_pd(row, margin));
    const __m256d rounded = _mm256_min_pd(_mm256_max_pd(_mm256_floor_pd(_mm256_add_pd(row, half)), lowest), highest);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel + s), _mm256_cvttpd_epi32(rounded));
  }
  return s;
}
#endif

// A triangle edge with depth, y and value as linear functions of z.
struct Edge {
  Edge() = default;
  Edge(const F_Vertex& from, const F_Vertex& to) : z0(from.z), x0(from.x), y0(from.y), v0(from.v) {
    const double inverse = 1.0 / (to.z - from.z);
    kx = (to.x - from.x) * inverse;
    ky = (to.y - from.y) * inverse;
    kv = (to.v - from.v) * inverse;
  }
  double x(double z) const { return x0 + kx * (z - z0); }
  double y(double z) const { return y0 + ky * (z - z0); }
  double v(double z) const { return v0 + kv * (z - z0); }

  // Left unset by the default constructor: a short edge is only read after it was set up.
  double z0, x0, y0, v0;
  double kx, ky, kv;
};

// One row of the fill, from the long edge's point (yL, dL, vL) to the short
// edge's (yS, dS, vS). Depth is capped at the nearer end, so a column that
// rounds past an end never reaches in front of the triangle.
// Always inlined, so that it takes the rounding of the fill's build.
[[gnu::always_inline]] inline void fillSpan(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale,
                                            int r, double yL, double dL, double vL, double yS, double dS, double vS) {
  const double dy = yS - yL;
  if (std::fabs(dy) < 1e-10) return;
  const double maxDepth = std::max(dL, dS);
  // depth and value as a + b * column: y = (column - ox) / sx.
  const double inverse = 1.0 / dy;
  const double kd = (dS - dL) * inverse, kv = (vS - vL) * inverse;
  const double invSx = area.inverseScaleX1(map);
  const double dB = kd * invSx, dA = dL - (map.originX1 * invSx + yL) * kd;
  const double vB = kv * invSx, vA = vL - (map.originX1 * invSx + yL) * kv;

  const int cL = columnOf(map, yL), cS = columnOf(map, yS);
  const int cFrom = std::max(std::min(cL, cS), area.firstColumn);
  const int cTo = std::min(std::max(cL, cS), area.lastColumn);
  float* depthRow = area.depth + static_cast<std::ptrdiff_t>(r) * area.depthStride;
  F_Rgb* pixelRow = area.bits + static_cast<std::ptrdiff_t>(r) * area.stride;
  for (int c = cFrom; c <= cTo; ++c) {
    const float depth = static_cast<float>(std::min(dA + dB * c, maxDepth));
    if (depth > depthRow[c]) {
      depthRow[c] = depth;
      pixelRow[c] = scale.color(vA + vB * c);
    }
  }
}

}  // namespace

void sampleRowBounds(const F_ScreenMap& map, const F_Vertex* samples, int count, double* up, double* down,
                     int* pixel) {
  int s = 0;
#if defined(KAVRILON_FOUR_LANES)
  if (F_ElementShape::hasFourLanes()) s = rowBoundsFourLanes(map, samples, count, up, down, pixel);
#endif
  for (; s < count; ++s) {
    const double row = map.scaleX2 * samples[s].z + map.originX2;
    up[s] = std::floor(row + 1e-6);
    down[s] = row - 1e-6;
    pixel[s] = roundToPixel(row);
  }
}

void rasterTriangle(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale, const F_Vertex& a,
                    const F_Vertex& b, const F_Vertex& c) {
  int rowFrom, rowTo;
  if (triangleRows(area, map, a, b, c, rowFrom, rowTo)) fillTriangle(area, map, scale, a, b, c, rowFrom, rowTo);
}

KAVRILON_ROUNDING_LOOP void fillTriangle(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale,
                                         const F_Vertex& first, const F_Vertex& second, const F_Vertex& third,
                                         int rowFrom, int rowTo) {
  // a lowest, b highest, c between: a-b is the long edge. The corners stay
  // where they are; only pointers to them are ordered.
  const F_Vertex *pa = &first, *pb = &second, *pc = &third;
  if (pa->z > pc->z) std::swap(pa, pc);
  if (pc->z > pb->z) std::swap(pc, pb);
  if (pa->z > pc->z) std::swap(pa, pc);
  const F_Vertex &a = *pa, &b = *pb, &c = *pc;

  int rFrom = std::max(rowFrom, area.firstRow);
  int rTo = std::min(rowTo, area.lastRow);
  // Rows whose centre rounds into the triangle but lies outside its z range
  // are skipped below anyway; trimming them first spares the edge set-up.
  // Most triangles span one row: its z is formed once and kept.
  auto rowZ = [&](int r) { return area.planeOfRow(map, r); };
  auto inside = [&](double z) { return a.z <= z && z <= b.z; };
  double zFrom = 0;
  for (; rFrom <= rTo; ++rFrom) {
    zFrom = rowZ(rFrom);
    if (inside(zFrom)) break;
  }
  if (rFrom > rTo) return;
  while (rTo > rFrom && !inside(rowZ(rTo))) --rTo;  // row rFrom is inside

  const bool lowUsable = std::fabs(c.z - a.z) > 1e-10;
  const bool highUsable = std::fabs(b.z - c.z) > 1e-10;
#if defined(__SSE2__)
  if (rFrom == rTo) {
    // One row, as most triangles of a fine mesh: the long edge and the short
    // one that row needs, set up and read at z side by side, one in each
    // half of a register, with the operations of Edge in the same order.
    const double z = zFrom;
    const F_Vertex *from, *to;
    if (lowUsable && a.z <= z && z <= c.z) {
      from = &a, to = &c;
    } else if (highUsable && c.z <= z && z <= b.z) {
      from = &c, to = &b;
    } else {
      return;
    }
    const __m128d z0 = _mm_set_pd(from->z, a.z), x0 = _mm_set_pd(from->x, a.x);
    const __m128d y0 = _mm_set_pd(from->y, a.y), v0 = _mm_set_pd(from->v, a.v);
    const __m128d inverse = _mm_div_pd(_mm_set1_pd(1.0), _mm_sub_pd(_mm_set_pd(to->z, b.z), z0));
    const __m128d kx = _mm_mul_pd(_mm_sub_pd(_mm_set_pd(to->x, b.x), x0), inverse);
    const __m128d ky = _mm_mul_pd(_mm_sub_pd(_mm_set_pd(to->y, b.y), y0), inverse);
    const __m128d kv = _mm_mul_pd(_mm_sub_pd(_mm_set_pd(to->v, b.v), v0), inverse);
    const __m128d along = _mm_sub_pd(_mm_set1_pd(z), z0);
    double x[2], y[2], v[2];
    _mm_storeu_pd(x, _mm_add_pd(x0, _mm_mul_pd(kx, along)));
    _mm_storeu_pd(y, _mm_add_pd(y0, _mm_mul_pd(ky, along)));
    _mm_storeu_pd(v, _mm_add_pd(v0, _mm_mul_pd(kv, along)));
    fillSpan(area, map, scale, rFrom, y[0], x[0], v[0], y[1], x[1], v[1]);
    return;
  }
#endif
  const Edge longEdge(a, b);
  // A triangle of a fine mesh mostly spans one row, which needs one of the
  // short edges: each is set up when a row first needs it.
  Edge low, high;
  bool lowReady = false, highReady = false;
  for (int r = rFrom; r <= rTo; ++r) {
    const double z = r == rFrom ? zFrom : rowZ(r);
    const Edge* shortEdge;
    if (lowUsable && a.z <= z && z <= c.z) {
      if (!lowReady) low = Edge(a, c), lowReady = true;
      shortEdge = &low;
    } else if (highUsable && c.z <= z && z <= b.z) {
      if (!highReady) high = Edge(c, b), highReady = true;
      shortEdge = &high;
    } else {
      continue;
    }
    fillSpan(area, map, scale, r, longEdge.y(z), longEdge.x(z), longEdge.v(z), shortEdge->y(z), shortEdge->x(z),
             shortEdge->v(z));
  }
}

// How the lines are cut below: seen end-on, mostly horizontal, or mostly
// vertical (45 degrees included).
namespace {
enum class LineKind { EndOn, Horizontal, Vertical };
LineKind lineKind(double dy, double dz) {
  if (std::fabs(dy) < 1e-10 && std::fabs(dz) < 1e-10) return LineKind::EndOn;
  return std::fabs(dy) > std::fabs(dz) ? LineKind::Horizontal : LineKind::Vertical;
}
// A mostly horizontal line's columns reach half a column beyond its ends and
// its slope is below one, so its rows stay within a row of its ends' rows
// while rows are at most twice as fine as columns (a view's rows and columns
// are alike). Beyond that, any row may be reached.
bool rowsNearEnds(const F_ScreenMap& map) { return std::fabs(map.scaleX2) <= 2 * std::fabs(map.scaleX1); }
}  // namespace

bool lineRows(const F_DrawArea& area, const F_ScreenMap& map, const F_Vertex& a, const F_Vertex& b, int& rowFrom,
              int& rowTo) {
  const double dy = b.y - a.y, dz = b.z - a.z;
  const int r1 = rowOf(map, a.z), r2 = rowOf(map, b.z);
  switch (lineKind(dy, dz)) {
    case LineKind::EndOn: {
      const F_Vertex& p = a.x > b.x ? a : b;
      rowFrom = rowTo = rowOf(map, p.z);
      return area.contains(columnOf(map, p.y), rowFrom);
    }
    case LineKind::Horizontal: {
      const int c1 = columnOf(map, a.y), c2 = columnOf(map, b.y);
      if (std::max(std::min(c1, c2), area.firstColumn) > std::min(std::max(c1, c2), area.lastColumn)) return false;
      rowFrom = area.firstRow;
      rowTo = area.lastRow;
      if (rowsNearEnds(map)) {
        rowFrom = std::max(rowFrom, std::min(r1, r2) - 2);
        rowTo = std::min(rowTo, std::max(r1, r2) + 2);
      }
      return rowFrom <= rowTo;
    }
    case LineKind::Vertical:
      rowFrom = std::max(std::min(r1, r2), area.firstRow);
      rowTo = std::min(std::max(r1, r2), area.lastRow);
      return rowFrom <= rowTo;
  }
  return false;
}

namespace {
// The segment fill behind rasterLine and rasterOutline: with a fixed colour
// the values are never formed. Always inlined, so that it takes the rounding
// of its caller's build.
template <bool kFixedColor>
[[gnu::always_inline]] inline void fillSegment(const F_DrawArea& area, const F_ScreenMap& map,
                                               const F_ColorScale* scale, F_Rgb fixedColor, const F_Vertex& a,
                                               const F_Vertex& b) {
  // The bias is stored with the pixel, so a later face at the edge's own depth
  // stays behind it too.
  const double bias = 0.1 * std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
  auto plot = [&](int c, int r, double x, auto value) {
    area.plotWith(c, r, x + bias, [&] {
      if constexpr (kFixedColor) {
        (void)value;
        return fixedColor;
      } else {
        return scale->color(value());
      }
    });
  };
  const double dy = b.y - a.y;
  const double dz = b.z - a.z;

  const LineKind kind = lineKind(dy, dz);
  if (kind == LineKind::EndOn) {
    // One pixel, with the nearer end (b on a tie).
    const F_Vertex& p = a.x > b.x ? a : b;
    const int c = columnOf(map, p.y), r = rowOf(map, p.z);
    if (area.contains(c, r)) plot(c, r, p.x, [&] { return p.v; });
    return;
  }

  const double xLow = std::min(a.x, b.x);
  const double xHigh = std::max(a.x, b.x);

  if (kind == LineKind::Horizontal) {
    // One pixel per column, depth, z and value linear in y.
    const int c1 = columnOf(map, a.y), c2 = columnOf(map, b.y);
    const int cFrom = std::max(std::min(c1, c2), area.firstColumn);
    const int cTo = std::min(std::max(c1, c2), area.lastColumn);
    if (cFrom > cTo) return;
    const double kx = (b.x - a.x) / dy, kz = dz / dy;
    const double kv = kFixedColor ? 0.0 : (b.v - a.v) / dy;
    for (int c = cFrom; c <= cTo; ++c) {
      const double t = area.planeOfColumn(map, c) - a.y;
      const double x = std::clamp(a.x + kx * t, xLow, xHigh);
      const int r = rowOf(map, a.z + kz * t);
      if (r < area.firstRow || r > area.lastRow) continue;
      plot(c, r, x, [&] { return a.v + kv * t; });
    }
    return;
  }

  // Mostly vertical: one pixel per row, linear in z.
  const int r1 = rowOf(map, a.z), r2 = rowOf(map, b.z);
  const int rFrom = std::max(std::min(r1, r2), area.firstRow);
  const int rTo = std::min(std::max(r1, r2), area.lastRow);
  if (rFrom > rTo) return;
  const double kx = (b.x - a.x) / dz, ky = dy / dz, kv = (b.v - a.v) / dz;
  for (int r = rFrom; r <= rTo; ++r) {
    const double t = area.planeOfRow(map, r) - a.z;
    const double x = std::clamp(a.x + kx * t, xLow, xHigh);
    const int c = columnOf(map, a.y + ky * t);
    if (c < area.firstColumn || c > area.lastColumn) continue;
    plot(c, r, x, [&] { return a.v + kv * t; });
  }
}
}  // namespace

KAVRILON_ROUNDING_LOOP void rasterLine(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale,
                                       const F_Vertex& a, const F_Vertex& b) {
  fillSegment<false>(area, map, &scale, F_Rgb{}, a, b);
}

KAVRILON_ROUNDING_LOOP void rasterOutline(const F_DrawArea& area, const F_ScreenMap& map, F_Rgb color,
                                          const F_Vertex& a, const F_Vertex& b) {
  fillSegment<true>(area, map, nullptr, color, a, b);
}

#if defined(KAVRILON_FOUR_LANES)
namespace {
// rasterOutlines four segments at a time: the bias, the kind, the two slopes
// and the rounded ends of each segment in the lanes of one register, then the
// pixels of the four side by side, each lane doing fillSegment's operations
// in its order, so to the bit. A segment seen end-on goes to fillSegment
// itself. The pixels come in another order than one segment after the other,
// which changes nothing: they are all in one colour, so a pixel ends with the
// colour when any of them passed its depth test and with the largest depth,
// whatever their order.
[[gnu::target("avx2")]] void outlinesFourLanes(const F_DrawArea& area, const F_ScreenMap& map, F_Rgb color,
                                               const F_Vertex* samples, const int* edge, std::size_t segments) {
  const __m256d sign = _mm256_set1_pd(-0.0), tiny = _mm256_set1_pd(1e-10), tenth = _mm256_set1_pd(0.1);
  const __m256d half = _mm256_set1_pd(0.5), lowest = _mm256_set1_pd(-1e9), highest = _mm256_set1_pd(1e9);
  const __m256d scaleX1 = _mm256_set1_pd(map.scaleX1), originX1 = _mm256_set1_pd(map.originX1);
  const __m256d scaleX2 = _mm256_set1_pd(map.scaleX2), originX2 = _mm256_set1_pd(map.originX2);
  for (std::size_t first = 0; first < segments; first += 4) {
    const F_Vertex* a[4];
    const F_Vertex* b[4];
    const std::size_t lanes = std::min<std::size_t>(4, segments - first);
    for (std::size_t lane = 0; lane < 4; ++lane) {
      const std::size_t j = 2 * (first + std::min(lane, lanes - 1));  // spare lanes repeat the last segment
      a[lane] = samples + edge[j] - 1;
      b[lane] = samples + edge[j + 1] - 1;
    }
#define KAVRILON_GATHER(p, field) _mm256_set_pd(p[3]->field, p[2]->field, p[1]->field, p[0]->field)
    const __m256d ax = KAVRILON_GATHER(a, x), ay = KAVRILON_GATHER(a, y), az = KAVRILON_GATHER(a, z);
    const __m256d bx = KAVRILON_GATHER(b, x), by = KAVRILON_GATHER(b, y), bz = KAVRILON_GATHER(b, z);
#undef KAVRILON_GATHER
    const __m256d dx = _mm256_sub_pd(bx, ax), dy = _mm256_sub_pd(by, ay), dz = _mm256_sub_pd(bz, az);
    const __m256d length = _mm256_sqrt_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)), _mm256_mul_pd(dz, dz)));
    const __m256d absY = _mm256_andnot_pd(sign, dy), absZ = _mm256_andnot_pd(sign, dz);
    const __m256d endOn = _mm256_and_pd(_mm256_cmp_pd(absY, tiny, _CMP_LT_OQ), _mm256_cmp_pd(absZ, tiny, _CMP_LT_OQ));
    const __m256d across = _mm256_cmp_pd(absY, absZ, _CMP_GT_OQ);  // mostly horizontal
    // Across: slopes over dy, ends as columns; else over dz, ends as rows.
    const __m256d over = _mm256_blendv_pd(dz, dy, across), other = _mm256_blendv_pd(dy, dz, across);
    const __m256d scale = _mm256_blendv_pd(scaleX2, scaleX1, across), origin = _mm256_blendv_pd(originX2, originX1, across);
    const __m256d d = _mm256_mul_pd(tenth, length), k = _mm256_div_pd(dx, over), kO = _mm256_div_pd(other, over);
    // roundToPixel, its clamps as in rowBoundsFourLanes
    const __m256d fromEnd = _mm256_floor_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(scale, _mm256_blendv_pd(az, ay, across)), origin), half));
    const __m256d toEnd = _mm256_floor_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(scale, _mm256_blendv_pd(bz, by, across)), origin), half));
    const __m128i fromInt = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(fromEnd, lowest), highest));
    const __m128i toInt = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(toEnd, lowest), highest));
    // The ends in order and clamped to the area's columns (across) or rows,
    // and the lowest and highest depth of each segment.
    const __m128i acrossInt = _mm256_cvtpd_epi32(_mm256_and_pd(across, _mm256_set1_pd(1.0)));
    const __m128i isAcross = _mm_cmpeq_epi32(acrossInt, _mm_set1_epi32(1));
    const __m128i firstEnd = _mm_blendv_epi8(_mm_set1_epi32(area.firstRow), _mm_set1_epi32(area.firstColumn), isAcross);
    const __m128i lastEnd = _mm_blendv_epi8(_mm_set1_epi32(area.lastRow), _mm_set1_epi32(area.lastColumn), isAcross);
    const __m128i from = _mm_max_epi32(_mm_min_epi32(fromInt, toInt), firstEnd);
    const __m128i last = _mm_min_epi32(_mm_max_epi32(fromInt, toInt), lastEnd);
    const __m256d xLow = _mm256_min_pd(bx, ax), xHigh = _mm256_max_pd(bx, ax);  // std::min(a.x, b.x), std::max
    const int endOnLanes = _mm256_movemask_pd(endOn), acrossLanes = _mm256_movemask_pd(across);

    // Seen end-on: one pixel, as fillSegment writes it.
    for (int on = endOnLanes & ((1 << lanes) - 1); on; on &= on - 1) {
      const int lane = __builtin_ctz(static_cast<unsigned>(on));
      fillSegment<true>(area, map, nullptr, color, *a[lane], *b[lane]);
    }
    const int walking = ~endOnLanes & ((1 << lanes) - 1);
    if (!walking) continue;

    // The other segments a pixel of each at a time: step i writes the pixel
    // at from + i of every segment that reaches that far. Across, the step
    // is a column, its plane taken against p.y and the row rounded from
    // p.z + kOther t; else the step is a row and the column is rounded.
    const __m256d pAlong = _mm256_blendv_pd(az, ay, across), pOther = _mm256_blendv_pd(ay, az, across);
    const __m256d scaleOther = _mm256_blendv_pd(scaleX1, scaleX2, across);
    const __m256d originOther = _mm256_blendv_pd(originX1, originX2, across);
    const __m128i otherFirst = _mm_blendv_epi8(_mm_set1_epi32(area.firstColumn), _mm_set1_epi32(area.firstRow), isAcross);
    const __m128i otherLast = _mm_blendv_epi8(_mm_set1_epi32(area.lastColumn), _mm_set1_epi32(area.lastRow), isAcross);
    const __m128i lanesWalking = _mm_setr_epi32(-(walking & 1), -(walking >> 1 & 1), -(walking >> 2 & 1), -(walking >> 3 & 1));
    __m128i step = from;
    for (;; step = _mm_add_epi32(step, _mm_set1_epi32(1))) {
      const __m128i on = _mm_andnot_si128(_mm_cmpgt_epi32(step, last), lanesWalking);
      if (_mm_testz_si128(on, on)) break;
      const __m256d onWide = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(on));
      // planeOfColumn and planeOfRow: their tables, or lane by lane
      __m256d plane;
      if (area.columnPlane && area.rowPlane) {
        plane = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), area.columnPlane, step, _mm256_and_pd(onWide, across), 8);
        plane = _mm256_mask_i32gather_pd(plane, area.rowPlane, step, _mm256_andnot_pd(across, onWide), 8);
      } else {
        double lanePlane[4] = {};
        int steps[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(steps), step);
        for (int lanesOn = _mm_movemask_ps(_mm_castsi128_ps(on)); lanesOn; lanesOn &= lanesOn - 1) {
          const int lane = __builtin_ctz(static_cast<unsigned>(lanesOn));
          lanePlane[lane] = (acrossLanes >> lane & 1) ? area.planeOfColumn(map, steps[lane]) : area.planeOfRow(map, steps[lane]);
        }
        plane = _mm256_loadu_pd(lanePlane);
      }
      const __m256d t = _mm256_sub_pd(plane, pAlong);
      // std::clamp(p.x + k t, xLow, xHigh) as max then min, operands in the
      // order that keeps a value that is not a number
      const __m256d x = _mm256_min_pd(xHigh, _mm256_max_pd(xLow, _mm256_add_pd(ax, _mm256_mul_pd(k, t))));
      const __m256d otherAt = _mm256_add_pd(_mm256_mul_pd(scaleOther, _mm256_add_pd(pOther, _mm256_mul_pd(kO, t))), originOther);
      const __m128i other = _mm256_cvttpd_epi32(
          _mm256_min_pd(_mm256_max_pd(_mm256_floor_pd(_mm256_add_pd(otherAt, half)), lowest), highest));
      const __m128i inside = _mm_andnot_si128(
          _mm_or_si128(_mm_cmplt_epi32(other, otherFirst), _mm_cmpgt_epi32(other, otherLast)), on);
      int plotted = _mm_movemask_ps(_mm_castsi128_ps(inside));
      if (!plotted) continue;
      const __m128i column = _mm_blendv_epi8(other, step, isAcross), row = _mm_blendv_epi8(step, other, isAcross);
      int columns[4], rows[4];
      float depth[4];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(columns), column);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows), row);
      _mm_storeu_ps(depth, _mm256_cvtpd_ps(_mm256_add_pd(x, d)));
      for (; plotted; plotted &= plotted - 1) {
        const int lane = __builtin_ctz(static_cast<unsigned>(plotted));
        float& stored = area.depth[static_cast<std::ptrdiff_t>(rows[lane]) * area.depthStride + columns[lane]];
        if (depth[lane] > stored) {
          stored = depth[lane];
          area.bits[static_cast<std::ptrdiff_t>(rows[lane]) * area.stride + columns[lane]] = color;
        }
      }
    }
  }
}
}  // namespace
#endif

KAVRILON_ROUNDING_LOOP void rasterOutlines(const F_DrawArea& area, const F_ScreenMap& map, F_Rgb color,
                                           const F_Vertex* samples, const int* edge, std::size_t edgeEnds) {
#if defined(KAVRILON_FOUR_LANES)
  if (F_ElementShape::hasFourLanes()) return outlinesFourLanes(area, map, color, samples, edge, edgeEnds / 2);
#endif
  for (std::size_t j = 0; j + 1 < edgeEnds; j += 2)
    fillSegment<true>(area, map, nullptr, color, samples[edge[j] - 1], samples[edge[j + 1] - 1]);
}
