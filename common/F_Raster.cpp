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

#if defined(KAVRILON_FOUR_LANES)
namespace {
// x, y, z and v of four vertices, one register each.
struct FourVertices {
  __m256d x, y, z, v;
};
// Edge's reading at z: p0 + (p1 - p0) / (z1 - z0) * (z - z0), the division
// as a multiplication by its inverse.
[[gnu::target("avx2")]] inline __m256d at(__m256d p0, __m256d p1, __m256d inverse, __m256d along) {
  return _mm256_add_pd(p0, _mm256_mul_pd(_mm256_mul_pd(_mm256_sub_pd(p1, p0), inverse), along));
}
[[gnu::target("avx2")]] inline FourVertices transposed(const F_Vertex* p0, const F_Vertex* p1, const F_Vertex* p2,
                                                      const F_Vertex* p3) {
  const __m256d r0 = _mm256_loadu_pd(&p0->x), r1 = _mm256_loadu_pd(&p1->x);
  const __m256d r2 = _mm256_loadu_pd(&p2->x), r3 = _mm256_loadu_pd(&p3->x);
  const __m256d lo01 = _mm256_unpacklo_pd(r0, r1), hi01 = _mm256_unpackhi_pd(r0, r1);  // x0 x1 z0 z1, y0 y1 v0 v1
  const __m256d lo23 = _mm256_unpacklo_pd(r2, r3), hi23 = _mm256_unpackhi_pd(r2, r3);
  return {_mm256_permute2f128_pd(lo01, lo23, 0x20), _mm256_permute2f128_pd(hi01, hi23, 0x20),
          _mm256_permute2f128_pd(lo01, lo23, 0x31), _mm256_permute2f128_pd(hi01, hi23, 0x31)};
}
[[gnu::target("avx2")]] inline FourVertices chosen(const FourVertices& no, const FourVertices& yes, __m256d mask) {
  return {_mm256_blendv_pd(no.x, yes.x, mask), _mm256_blendv_pd(no.y, yes.y, mask),
          _mm256_blendv_pd(no.z, yes.z, mask), _mm256_blendv_pd(no.v, yes.v, mask)};
}

// fillTriangles four triangles at a time. A triangle whose rows, clamped to
// the area, are one row (most of a fine mesh's) is set up in a lane of its
// own: its corners put in order, the row's plane, the two edges the row
// crosses, the span's depth and value slopes and its end columns, each lane
// doing fillTriangle's and fillSpan's operations in their order, so to the
// bit. Then the triangles' pixels are written one triangle after the other,
// in their order; one of more rows goes to fillTriangle itself there.
[[gnu::target("avx2")]] void trianglesFourLanes(const F_DrawArea& area, const F_ScreenMap& map,
                                                const F_ColorScale& scale, const F_TriangleRows* list, int count) {
  const __m256d sign = _mm256_set1_pd(-0.0), tiny = _mm256_set1_pd(1e-10), one = _mm256_set1_pd(1.0);
  const __m256d half = _mm256_set1_pd(0.5), lowest = _mm256_set1_pd(-1e9), highest = _mm256_set1_pd(1e9);
  const __m256d scaleX1 = _mm256_set1_pd(map.scaleX1), originX1 = _mm256_set1_pd(map.originX1);
  const __m256d invSx = _mm256_set1_pd(area.inverseScaleX1(map));
  const __m256d shift = _mm256_mul_pd(originX1, invSx);  // map.originX1 * invSx
  for (int first = 0; first < count; first += 4) {
    const int lanes = std::min(4, count - first);
    const F_TriangleRows* t[4];
    int row[4];
    int oneRow = 0;
    for (int lane = 0; lane < 4; ++lane) {
      t[lane] = list + first + std::min(lane, lanes - 1);  // spare lanes repeat the last triangle
      row[lane] = std::max(t[lane]->rowFrom, area.firstRow);
      if (lane < lanes && row[lane] == std::min(t[lane]->rowTo, area.lastRow)) oneRow |= 1 << lane;
    }
    if (!oneRow) {
      for (int lane = 0; lane < lanes; ++lane)
        fillTriangle(area, map, scale, *t[lane]->a, *t[lane]->b, *t[lane]->c, t[lane]->rowFrom, t[lane]->rowTo);
      continue;
    }
    FourVertices a = transposed(t[0]->a, t[1]->a, t[2]->a, t[3]->a);
    FourVertices b = transposed(t[0]->b, t[1]->b, t[2]->b, t[3]->b);
    FourVertices c = transposed(t[0]->c, t[1]->c, t[2]->c, t[3]->c);
    // a lowest, b highest, c between, swapped as fillTriangle swaps
    __m256d swap = _mm256_cmp_pd(a.z, c.z, _CMP_GT_OQ);
    FourVertices lower = chosen(a, c, swap), upper = chosen(c, a, swap);
    a = lower, c = upper;
    swap = _mm256_cmp_pd(c.z, b.z, _CMP_GT_OQ);
    lower = chosen(c, b, swap), upper = chosen(b, c, swap);
    c = lower, b = upper;
    swap = _mm256_cmp_pd(a.z, c.z, _CMP_GT_OQ);
    lower = chosen(a, c, swap), upper = chosen(c, a, swap);
    a = lower, c = upper;

    // A lane of more rows (or none) reads the row of a one-row lane: its
    // own may lie outside the area.
    const int someRow = row[__builtin_ctz(static_cast<unsigned>(oneRow))];
    for (int lane = 0; lane < 4; ++lane)
      if (!(oneRow >> lane & 1)) row[lane] = someRow;
    const __m256d z = _mm256_set_pd(area.planeOfRow(map, row[3]), area.planeOfRow(map, row[2]),
                                    area.planeOfRow(map, row[1]), area.planeOfRow(map, row[0]));
    // inside(z) for the row, then the short edge: low when usable and z
    // within it, else high when usable and z within it, else nothing
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(a.z, z, _CMP_LE_OQ), _mm256_cmp_pd(z, b.z, _CMP_LE_OQ));
    const __m256d lowUsable = _mm256_cmp_pd(_mm256_andnot_pd(sign, _mm256_sub_pd(c.z, a.z)), tiny, _CMP_GT_OQ);
    const __m256d highUsable = _mm256_cmp_pd(_mm256_andnot_pd(sign, _mm256_sub_pd(b.z, c.z)), tiny, _CMP_GT_OQ);
    const __m256d low = _mm256_and_pd(
        lowUsable, _mm256_and_pd(_mm256_cmp_pd(a.z, z, _CMP_LE_OQ), _mm256_cmp_pd(z, c.z, _CMP_LE_OQ)));
    const __m256d high = _mm256_and_pd(
        highUsable, _mm256_and_pd(_mm256_cmp_pd(c.z, z, _CMP_LE_OQ), _mm256_cmp_pd(z, b.z, _CMP_LE_OQ)));
    const FourVertices from = chosen(c, a, low), to = chosen(b, c, low);
    // the long edge a-b and the short edge, read at z
    const __m256d inverseLong = _mm256_div_pd(one, _mm256_sub_pd(b.z, a.z));
    const __m256d inverseShort = _mm256_div_pd(one, _mm256_sub_pd(to.z, from.z));
    const __m256d alongLong = _mm256_sub_pd(z, a.z), alongShort = _mm256_sub_pd(z, from.z);
    const __m256d yL = at(a.y, b.y, inverseLong, alongLong), dL = at(a.x, b.x, inverseLong, alongLong);
    const __m256d vL = at(a.v, b.v, inverseLong, alongLong);
    const __m256d yS = at(from.y, to.y, inverseShort, alongShort), dS = at(from.x, to.x, inverseShort, alongShort);
    const __m256d vS = at(from.v, to.v, inverseShort, alongShort);
    // fillSpan
    const __m256d dy = _mm256_sub_pd(yS, yL);
    // !(fabs(dy) < 1e-10): a span that is not a number goes on, as in fillSpan
    const __m256d spans = _mm256_and_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, dy), tiny, _CMP_NLT_UQ),
                                        _mm256_and_pd(inside, _mm256_or_pd(low, high)));
    const __m256d inverse = _mm256_div_pd(one, dy);
    const __m256d kd = _mm256_mul_pd(_mm256_sub_pd(dS, dL), inverse), kv = _mm256_mul_pd(_mm256_sub_pd(vS, vL), inverse);
    const __m256d start = _mm256_add_pd(shift, yL);  // map.originX1 * invSx + yL
    double maxDepth[4], dA[4], dB[4], vA[4], vB[4];
    _mm256_storeu_pd(maxDepth, _mm256_max_pd(dS, dL));  // std::max(dL, dS)
    _mm256_storeu_pd(dB, _mm256_mul_pd(kd, invSx));
    _mm256_storeu_pd(dA, _mm256_sub_pd(dL, _mm256_mul_pd(start, kd)));
    _mm256_storeu_pd(vB, _mm256_mul_pd(kv, invSx));
    _mm256_storeu_pd(vA, _mm256_sub_pd(vL, _mm256_mul_pd(start, kv)));
    const __m128i cL = _mm256_cvttpd_epi32(_mm256_min_pd(
        _mm256_max_pd(_mm256_floor_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(scaleX1, yL), originX1), half)), lowest),
        highest));
    const __m128i cS = _mm256_cvttpd_epi32(_mm256_min_pd(
        _mm256_max_pd(_mm256_floor_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(scaleX1, yS), originX1), half)), lowest),
        highest));
    int cFrom[4], cTo[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cFrom), _mm_max_epi32(_mm_min_epi32(cL, cS), _mm_set1_epi32(area.firstColumn)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cTo), _mm_min_epi32(_mm_max_epi32(cL, cS), _mm_set1_epi32(area.lastColumn)));
    const int spanLanes = _mm256_movemask_pd(spans);

    for (int lane = 0; lane < lanes; ++lane) {
      if (!(oneRow >> lane & 1)) {
        fillTriangle(area, map, scale, *t[lane]->a, *t[lane]->b, *t[lane]->c, t[lane]->rowFrom, t[lane]->rowTo);
        continue;
      }
      if (!(spanLanes >> lane & 1)) continue;
      float* depthRow = area.depth + static_cast<std::ptrdiff_t>(row[lane]) * area.depthStride;
      F_Rgb* pixelRow = area.bits + static_cast<std::ptrdiff_t>(row[lane]) * area.stride;
      const double depthA = dA[lane], depthB = dB[lane], valueA = vA[lane], valueB = vB[lane], most = maxDepth[lane];
      for (int column = cFrom[lane]; column <= cTo[lane]; ++column) {
        const float depth = static_cast<float>(std::min(depthA + depthB * column, most));
        if (depth > depthRow[column]) {
          depthRow[column] = depth;
          pixelRow[column] = scale.color(valueA + valueB * column);
        }
      }
    }
  }
}
}  // namespace
#endif

void fillTriangles(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale,
                   const F_TriangleRows* triangles, int count) {
#if defined(KAVRILON_FOUR_LANES)
  if (F_ElementShape::hasFourLanes()) return trianglesFourLanes(area, map, scale, triangles, count);
#endif
  for (int i = 0; i < count; ++i) {
    const F_TriangleRows& t = triangles[i];
    fillTriangle(area, map, scale, *t.a, *t.b, *t.c, t.rowFrom, t.rowTo);
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
  const __m128i depthStride = _mm_set1_epi32(area.depthStride), pixelStride = _mm_set1_epi32(area.stride);
  for (std::size_t first = 0; first < segments; first += 4) {
    const F_Vertex* a[4];
    const F_Vertex* b[4];
    const std::size_t lanes = std::min<std::size_t>(4, segments - first);
    const int* ends = edge + 2 * first;
    if (lanes == 4) {
      for (std::size_t lane = 0; lane < 4; ++lane) {
        a[lane] = samples + (ends[2 * lane] - 1);
        b[lane] = samples + (ends[2 * lane + 1] - 1);
      }
    } else {
      for (std::size_t lane = 0; lane < 4; ++lane) {
        const std::size_t j = 2 * std::min(lane, lanes - 1);  // spare lanes repeat the last segment
        a[lane] = samples + (ends[j] - 1);
        b[lane] = samples + (ends[j + 1] - 1);
      }
    }
    const FourVertices aLanes = transposed(a[0], a[1], a[2], a[3]), bLanes = transposed(b[0], b[1], b[2], b[3]);
    const __m256d ax = aLanes.x, ay = aLanes.y, az = aLanes.z, bx = bLanes.x, by = bLanes.y, bz = bLanes.z;
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
    const __m128i laneBits = _mm_setr_epi32(1, 2, 4, 8);
    const __m128i lanesWalking = _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(walking), laneBits), laneBits);
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
      // Where each pixel's depth and colour are kept: a pixel inside the
      // area lies within both buffers, whose sizes stay far below 2^31.
      const __m128i column = _mm_blendv_epi8(other, step, isAcross), row = _mm_blendv_epi8(step, other, isAcross);
      int depthAt[4], pixelAt[4];
      float depth[4];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(depthAt), _mm_add_epi32(_mm_mullo_epi32(row, depthStride), column));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pixelAt), _mm_add_epi32(_mm_mullo_epi32(row, pixelStride), column));
      _mm_storeu_ps(depth, _mm256_cvtpd_ps(_mm256_add_pd(x, d)));
      for (; plotted; plotted &= plotted - 1) {
        const int lane = __builtin_ctz(static_cast<unsigned>(plotted));
        float& stored = area.depth[depthAt[lane]];
        if (depth[lane] > stored) {
          stored = depth[lane];
          area.bits[pixelAt[lane]] = color;
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
