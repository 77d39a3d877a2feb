#pragma once
// The segment and triangle fills behind F_GrLine and F_GrTriang, on plain
// corners, for the renderer's inner loop: no object per primitive, the colour
// scale and the drawing area built once per layer.

#include "common/F_ColorScale.h"
#include "common/F_DrawArea.h"
#include "common/F_ScreenMap.h"

#include <algorithm>
#include <cmath>

// The fills round with floor at nearly every step; with SSE4.1 that is one
// instruction giving the same result, so their definitions come in two
// builds, the one for the processor at hand chosen when the program starts.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KAVRILON_ROUNDING_LOOP __attribute__((target_clones("sse4.1", "default")))
#else
#define KAVRILON_ROUNDING_LOOP
#endif

// A segment from a to b with its depth bias (a tenth of its 3D length).
void rasterLine(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale, const F_Vertex& a,
                const F_Vertex& b);
// rasterLine with every pixel in `color`, the values of a and b unread: the
// same pixels and depths as rasterLine with a scale of that one colour.
void rasterOutline(const F_DrawArea& area, const F_ScreenMap& map, F_Rgb color, const F_Vertex& a,
                   const F_Vertex& b);
// rasterOutline for each segment from samples[edge[j] - 1] to
// samples[edge[j + 1] - 1], j = 0, 2, ... below edgeEnds: an element's
// outline in one call. The pixels and depths are those of the segments drawn
// in that order; as they are all in one colour, the writes themselves may
// come in any order.
void rasterOutlines(const F_DrawArea& area, const F_ScreenMap& map, F_Rgb color, const F_Vertex* samples,
                    const int* edge, std::size_t edgeEnds);
void rasterTriangle(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale, const F_Vertex& a,
                    const F_Vertex& b, const F_Vertex& c);
// rasterTriangle after its first step: triangleRows has returned true with rowFrom and rowTo.
void fillTriangle(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale, const F_Vertex& a,
                  const F_Vertex& b, const F_Vertex& c, int rowFrom, int rowTo);

// One triangle for fillTriangles: its corners and the rows fillTriangle gets.
struct F_TriangleRows {
  const F_Vertex* a;
  const F_Vertex* b;
  const F_Vertex* c;
  int rowFrom;
  int rowTo;
};
// fillTriangle for each of `count` triangles, in order: the same pixels and
// depths, written in the same order.
void fillTriangles(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale,
                   const F_TriangleRows* triangles, int count);

// The rows, rowFrom to rowTo, that the fills above may write for these
// corners; false when they write nothing at all in `area`. A caller may drop
// a primitive on a false (or on rows outside its own area) and know that no
// pixel is lost: triangleRows is the triangle fill's own first step, and
// lineRows bounds the rows the segment fill reaches.
bool lineRows(const F_DrawArea& area, const F_ScreenMap& map, const F_Vertex& a, const F_Vertex& b, int& rowFrom,
              int& rowTo);
// The last steps of triangleRows, once the rows rowFrom to rowTo of the
// lowest and the highest corner are known and hold a row centre: false for a
// triangle wholly above or below the area, or edge-on (or with corners that
// are not numbers).
inline bool triangleReachesArea(const F_DrawArea& area, const F_Vertex& a, const F_Vertex& b, const F_Vertex& c,
                                int rowFrom, int rowTo) {
  if (rowTo < area.firstRow || rowFrom > area.lastRow) return false;
  // Twice the area projected on the screen plane.
  const double area2 = (a.z - b.z) * c.y + (b.z - c.z) * a.y + (c.z - a.z) * b.y;
  return std::fabs(area2) >= 1e-10;
}
inline bool triangleRows(const F_DrawArea& area, const F_ScreenMap& map, const F_Vertex& a, const F_Vertex& b,
                         const F_Vertex& c, int& rowFrom, int& rowTo) {
  // Most triangles of a fine mesh cover no pixel centre at all: when no row
  // lies (with a margin far above rounding) between the rows of the lowest and
  // the highest corner, there is nothing to draw. Tested first, before any
  // set-up, because it rejects most of the work.
  const double zLow = std::min(std::min(a.z, b.z), c.z), zHigh = std::max(std::max(a.z, b.z), c.z);
  const double fa = map.scaleX2 * zLow + map.originX2, fb = map.scaleX2 * zHigh + map.originX2;
  if (!(std::floor(std::max(fa, fb) + 1e-6) >= std::min(fa, fb) - 1e-6)) return false;
  // The rows of the lowest and the highest corner, as the fill rounds them.
  const int rLow = roundToPixel(fa), rHigh = roundToPixel(fb);
  rowFrom = std::min(rLow, rHigh);
  rowTo = std::max(rLow, rHigh);
  return triangleReachesArea(area, a, b, c, rowFrom, rowTo);
}

// What triangleRows asks of each corner, for `count` samples that corners
// are taken from: with row = map.scaleX2 * z + map.originX2 (rowOf before
// its rounding), up[s] = floor(row + 1e-6), down[s] = row - 1e-6 and
// pixel[s] = roundToPixel(row). A row rises or falls with z, and so do these,
// so for a triangle on samples i, j, k triangleRows is true exactly when
// max(up) >= min(down) over i, j, k and triangleReachesArea holds for
// rowFrom = min(pixel) and rowTo = max(pixel).
void sampleRowBounds(const F_ScreenMap& map, const F_Vertex* samples, int count, double* up, double* down,
                     int* pixel);
