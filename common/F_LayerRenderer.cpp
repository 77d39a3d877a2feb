#include "common/F_LayerRenderer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "common/F_CanvasBound.h"
#include "common/F_ElementInterpolation.h"
#include "common/F_RenderThreads.h"
#include "include/F_Errors.h"

// The colour scales of one layer: faces, two-node lines, outlines.
struct F_LayerRenderer::Scales {
  F_ColorScale face;
  F_ColorScale line;
  F_Rgb outline;  // colour index 1, for every value
};

F_LayerRenderer::F_LayerRenderer(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                                 std::span<const F_Rgb> colors, int rainbowColors)
    : area_(surface, depth),
      map_(screenMap),
      colors_(colors),
      rainbowColors_(rainbowColors),
      threads_(F_RenderThreads::count()) {
  if (area_.empty()) return;
  columnPlane_.resize(static_cast<std::size_t>(area_.lastColumn) + 1);
  rowPlane_.resize(static_cast<std::size_t>(area_.lastRow) + 1);
  for (int c = 0; c <= area_.lastColumn; ++c) columnPlane_[static_cast<std::size_t>(c)] = area_.planeOfColumn(map_, c);
  for (int r = 0; r <= area_.lastRow; ++r) rowPlane_[static_cast<std::size_t>(r)] = area_.planeOfRow(map_, r);
  area_.inverseColumnScale = 1.0 / map_.scaleX1;
  area_.columnPlane = columnPlane_.data();
  area_.rowPlane = rowPlane_.data();
}

void F_LayerRenderer::renderMesh(const F_S3dMesh& mesh, const F_DisplayOptions& options,
                                 const F_VectorReal& values, const F_Interval& valueRange, int currentLayer) {
  if (currentLayer < 1 || currentLayer > mesh.layerCount()) internalError("F_LayerRenderer", 1);
  const F_VectorReal none;
  for (int t = 1; t <= mesh.layerCount(); ++t) {
    const F_LayerContext& context = options.layer(t);
    if (!context.displayLayer) continue;
    const int first = F_ColorTable::shadingRampStart(context.lineColor);
    const bool current = t == currentLayer;
    renderLayer(mesh.layer(t), context, options.overprintMesh != 0, options.numberOfDivisions,
                options.numberOfDivisions, first, first + 3999, current ? values : none,
                current ? valueRange : F_Interval{0.0, 1.0});
  }
}

const F_SampleTable& F_LayerRenderer::table(int nodeCount, int divisions) {
  F_SampleTable& t = tables_[nodeCount];
  if (t.nodeCount() != nodeCount || t.divisions() != divisions) t.build(nodeCount, divisions);
  return t;
}

namespace {

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KAVRILON_FOUR_LANES 1
// Four samples, one in each lane of x, y, z and v, into out[0] to out[3].
[[gnu::target("avx2")]] inline void storeFour(__m256d x, __m256d y, __m256d z, __m256d v, F_Vertex* out) {
  const __m256d xy02 = _mm256_unpacklo_pd(x, y), xy13 = _mm256_unpackhi_pd(x, y);  // x0 y0 x2 y2, x1 y1 x3 y3
  const __m256d zv02 = _mm256_unpacklo_pd(z, v), zv13 = _mm256_unpackhi_pd(z, v);
  _mm256_storeu_pd(&out[0].x, _mm256_permute2f128_pd(xy02, zv02, 0x20));
  _mm256_storeu_pd(&out[1].x, _mm256_permute2f128_pd(xy13, zv13, 0x20));
  _mm256_storeu_pd(&out[2].x, _mm256_permute2f128_pd(xy02, zv02, 0x31));
  _mm256_storeu_pd(&out[3].x, _mm256_permute2f128_pd(xy13, zv13, 0x31));
}
// The positions and intensities of samples first, first + 4, ... (first a
// multiple of 4) while four remain, four at a time: each lane does the
// operations of the two-lane loop of sampleNodes in the same order, so to the
// bit (no fused multiply-add is enabled here). Returns the first sample not
// done.
template <int K>
[[gnu::target("avx2")]] int sampleFourLanes(const F_SampleTable& table, const double* px, const double* py,
                                            const double* pz, int first, int count, F_Vertex* out) {
  for (; first + 3 < count; first += 4) {
    const int s = first;
    const double *nLanes = table.nLanes(s), *aLanes = table.dXiLanes(s), *bLanes = table.dEtaLanes(s);
    __m256d x = _mm256_setzero_pd(), y = x, z = x, t1x = x, t1y = x, t1z = x, t2x = x, t2y = x, t2z = x;
    for (int j = 0; j < K; ++j) {
      const __m256d X = _mm256_set1_pd(px[j]), Y = _mm256_set1_pd(py[j]), Z = _mm256_set1_pd(pz[j]);
      const __m256d n = _mm256_loadu_pd(nLanes + 4 * j), a = _mm256_loadu_pd(aLanes + 4 * j),
                    b = _mm256_loadu_pd(bLanes + 4 * j);
      x = _mm256_add_pd(x, _mm256_mul_pd(n, X));
      y = _mm256_add_pd(y, _mm256_mul_pd(n, Y));
      z = _mm256_add_pd(z, _mm256_mul_pd(n, Z));
      t1x = _mm256_add_pd(t1x, _mm256_mul_pd(a, X));
      t1y = _mm256_add_pd(t1y, _mm256_mul_pd(a, Y));
      t1z = _mm256_add_pd(t1z, _mm256_mul_pd(a, Z));
      t2x = _mm256_add_pd(t2x, _mm256_mul_pd(b, X));
      t2y = _mm256_add_pd(t2y, _mm256_mul_pd(b, Y));
      t2z = _mm256_add_pd(t2z, _mm256_mul_pd(b, Z));
    }
    // normalOf, then intensityFromNormal with the same correctly rounded
    // square root and division
    const __m256d nx = _mm256_sub_pd(_mm256_mul_pd(t1y, t2z), _mm256_mul_pd(t1z, t2y));
    const __m256d ny = _mm256_sub_pd(_mm256_mul_pd(t1z, t2x), _mm256_mul_pd(t1x, t2z));
    const __m256d nz = _mm256_sub_pd(_mm256_mul_pd(t1x, t2y), _mm256_mul_pd(t1y, t2x));
    const __m256d length = _mm256_sqrt_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(nx, nx), _mm256_mul_pd(ny, ny)), _mm256_mul_pd(nz, nz)));
    const __m256d cosine = _mm256_div_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), nx), length);
    const __m256d v = _mm256_and_pd(cosine, _mm256_cmp_pd(length, _mm256_set1_pd(kShortestNormal), _CMP_GE_OQ));
    storeFour(x, y, z, v, out + s);
  }
  return first;
}

// The same for contour fill: positions and field values, no normals.
template <int K>
[[gnu::target("avx2")]] int sampleFourLanesWithValues(const F_SampleTable& table, const double* px,
                                                      const double* py, const double* pz, const double* pv,
                                                      int first, int count, F_Vertex* out) {
  for (; first + 3 < count; first += 4) {
    const int s = first;
    const double* nLanes = table.nLanes(s);
    __m256d x = _mm256_setzero_pd(), y = x, z = x, v = x;
    for (int j = 0; j < K; ++j) {
      const __m256d n = _mm256_loadu_pd(nLanes + 4 * j);
      x = _mm256_add_pd(x, _mm256_mul_pd(n, _mm256_set1_pd(px[j])));
      y = _mm256_add_pd(y, _mm256_mul_pd(n, _mm256_set1_pd(py[j])));
      z = _mm256_add_pd(z, _mm256_mul_pd(n, _mm256_set1_pd(pz[j])));
      v = _mm256_add_pd(v, _mm256_mul_pd(n, _mm256_set1_pd(pv[j])));
    }
    storeFour(x, y, z, v, out + s);
  }
  return first;
}

// The positions of the outline's samples (sorted), a group of four samples
// at a time, in the order of sampleOutline's sums. A whole group is written
// where it lies within the samples: the others of the group are not read.
template <int K>
[[gnu::target("avx2")]] void outlineFourLanes(const F_SampleTable& table, const double* px, const double* py,
                                              const double* pz, F_Vertex* out) {
  const std::vector<int>& list = table.outlineSamples();
  for (std::size_t i = 0; i < list.size();) {
    const int group = list[i] / 4 * 4;
    const double* nLanes = table.nLanes(group);
    __m256d x = _mm256_setzero_pd(), y = x, z = x;
    for (int j = 0; j < K; ++j) {
      const __m256d n = _mm256_loadu_pd(nLanes + 4 * j);
      x = _mm256_add_pd(x, _mm256_mul_pd(n, _mm256_set1_pd(px[j])));
      y = _mm256_add_pd(y, _mm256_mul_pd(n, _mm256_set1_pd(py[j])));
      z = _mm256_add_pd(z, _mm256_mul_pd(n, _mm256_set1_pd(pz[j])));
    }
    if (group + 3 < table.sampleCount()) {
      storeFour(x, y, z, _mm256_set1_pd(1.0), out + group);
      while (i < list.size() && list[i] < group + 4) ++i;
      continue;
    }
    double xs[4], ys[4], zs[4];
    _mm256_storeu_pd(xs, x);
    _mm256_storeu_pd(ys, y);
    _mm256_storeu_pd(zs, z);
    for (; i < list.size() && list[i] < group + 4; ++i) {
      const int lane = list[i] - group;
      out[list[i]] = {xs[lane], ys[lane], zs[lane], 1.0};
    }
  }
}

using F_ElementShape::hasFourLanes;
#endif

// The samples of an element of K nodes: with K known the sums below unroll,
// term by term in the same order as for any other count.
template <int K>
void sampleNodes(const F_S3dLayer& layer, const F_S3dElement& element, const F_SampleTable& table,
                 const F_VectorReal* values, F_Vertex* out) {
  constexpr int k = K;
  // The element's nodes once, with their bounds checked; the samples below
  // only form weighted sums of these.
  double px[F_ElementShape::kMaxNodes], py[F_ElementShape::kMaxNodes], pz[F_ElementShape::kMaxNodes];
  double pv[F_ElementShape::kMaxNodes];
  for (int j = 0; j < k; ++j) {
    const int node = element.node(j + 1);
    const F_Point3D& p = layer.point(node);
    px[j] = p.x;
    py[j] = p.y;
    pz[j] = p.z;
    pv[j] = values ? (*values)(node) : 0.0;
  }
  // For shading, the normal's depth component and squared length per sample
  // from `done` on (the four-lane pass forms the intensities of the samples
  // before it itself); the square roots and divisions follow in one pass,
  // two at a time.
  double normalX[F_SampleTable::kMostSamples], lengthSquared[F_SampleTable::kMostSamples];
  const int count = table.sampleCount();
  int first = 0, done = 0;
#if defined(KAVRILON_FOUR_LANES)
  if (values && hasFourLanes()) first = sampleFourLanesWithValues<K>(table, px, py, pz, pv, first, count, out);
#endif
#if defined(__SSE2__)
  // Two samples at a time, one in each half of a register: each half does
  // the operations of the loop below in the same order, so to the bit.
  if (!values) {
#if defined(KAVRILON_FOUR_LANES)
    if (hasFourLanes()) done = first = sampleFourLanes<K>(table, px, py, pz, first, count, out);
#endif
    for (; first + 1 < count; first += 2) {
      const int s = first;
      const double *nPair = table.nLanes(s), *aPair = table.dXiLanes(s), *bPair = table.dEtaLanes(s);
      __m128d x = _mm_setzero_pd(), y = x, z = x, t1x = x, t1y = x, t1z = x, t2x = x, t2y = x, t2z = x;
      for (int j = 0; j < k; ++j) {
        const __m128d X = _mm_set1_pd(px[j]), Y = _mm_set1_pd(py[j]), Z = _mm_set1_pd(pz[j]);
        const __m128d n = _mm_loadu_pd(nPair + 4 * j), a = _mm_loadu_pd(aPair + 4 * j), b = _mm_loadu_pd(bPair + 4 * j);
        x = _mm_add_pd(x, _mm_mul_pd(n, X));
        y = _mm_add_pd(y, _mm_mul_pd(n, Y));
        z = _mm_add_pd(z, _mm_mul_pd(n, Z));
        t1x = _mm_add_pd(t1x, _mm_mul_pd(a, X));
        t1y = _mm_add_pd(t1y, _mm_mul_pd(a, Y));
        t1z = _mm_add_pd(t1z, _mm_mul_pd(a, Z));
        t2x = _mm_add_pd(t2x, _mm_mul_pd(b, X));
        t2y = _mm_add_pd(t2y, _mm_mul_pd(b, Y));
        t2z = _mm_add_pd(t2z, _mm_mul_pd(b, Z));
      }
      // normalOf
      const __m128d nx = _mm_sub_pd(_mm_mul_pd(t1y, t2z), _mm_mul_pd(t1z, t2y));
      const __m128d ny = _mm_sub_pd(_mm_mul_pd(t1z, t2x), _mm_mul_pd(t1x, t2z));
      const __m128d nz = _mm_sub_pd(_mm_mul_pd(t1x, t2y), _mm_mul_pd(t1y, t2x));
      _mm_storeu_pd(normalX + s, nx);
      _mm_storeu_pd(lengthSquared + s,
                    _mm_add_pd(_mm_add_pd(_mm_mul_pd(nx, nx), _mm_mul_pd(ny, ny)), _mm_mul_pd(nz, nz)));
      double lane[2][3];
      _mm_storeu_pd(lane[0], _mm_unpacklo_pd(x, y));
      _mm_storeu_pd(lane[1], _mm_unpackhi_pd(x, y));
      out[s] = {lane[0][0], lane[0][1], _mm_cvtsd_f64(z), 0.0};
      out[s + 1] = {lane[1][0], lane[1][1], _mm_cvtsd_f64(_mm_unpackhi_pd(z, z)), 0.0};
    }
  }
#endif
  for (int s = first; s < count; ++s) {
    const double* n = table.n(s);
    F_Vertex& sample = out[s];
    sample = {0.0, 0.0, 0.0, 0.0};
    for (int j = 0; j < k; ++j) {
      sample.x += n[j] * px[j];
      sample.y += n[j] * py[j];
      sample.z += n[j] * pz[j];
    }
    if (values) {
      for (int j = 0; j < k; ++j) sample.v += n[j] * pv[j];
    } else {
      const double* a = table.dXi(s);
      const double* b = table.dEta(s);
      F_Point3D t1, t2;
      for (int j = 0; j < k; ++j) {
        t1.add(a[j] * px[j], a[j] * py[j], a[j] * pz[j]);
        t2.add(b[j] * px[j], b[j] * py[j], b[j] * pz[j]);
      }
      normalOf(t1, t2, normalX[s], lengthSquared[s]);
    }
  }
  if (values) return;
  int s = done;
#if defined(__SSE2__)
  // The same correctly rounded square root and division as intensityFromTangents.
  const __m128d limit = _mm_set1_pd(kShortestNormal), sign = _mm_set1_pd(-0.0);
  for (; s + 1 < count; s += 2) {
    const __m128d length = _mm_sqrt_pd(_mm_loadu_pd(lengthSquared + s));
    const __m128d cosine = _mm_div_pd(_mm_andnot_pd(sign, _mm_loadu_pd(normalX + s)), length);
    double v[2];
    _mm_storeu_pd(v, _mm_and_pd(cosine, _mm_cmpge_pd(length, limit)));
    out[s].v = v[0];
    out[s + 1].v = v[1];
  }
#endif
  for (; s < count; ++s) out[s].v = intensityFromNormal(normalX[s], lengthSquared[s]);
}

}  // namespace

void F_LayerRenderer::sampleElement(const F_S3dLayer& layer, const F_S3dElement& element,
                                    const F_SampleTable& table, const F_VectorReal* values, F_Vertex* out) {
  switch (table.nodeCount()) {
    case 3: return sampleNodes<3>(layer, element, table, values, out);
    case 4: return sampleNodes<4>(layer, element, table, values, out);
    case 6: return sampleNodes<6>(layer, element, table, values, out);
    case 8: return sampleNodes<8>(layer, element, table, values, out);
    case 9: return sampleNodes<9>(layer, element, table, values, out);
  }
  internalError("F_LayerRenderer", 4);
}

void F_LayerRenderer::sampleOutline(const F_S3dLayer& layer, const F_S3dElement& element,
                                    const F_SampleTable& table, F_Vertex* out) {
  const int k = table.nodeCount();
  double px[F_ElementShape::kMaxNodes], py[F_ElementShape::kMaxNodes], pz[F_ElementShape::kMaxNodes];
  for (int j = 0; j < k; ++j) {
    const F_Point3D& p = layer.point(element.node(j + 1));
    px[j] = p.x;
    py[j] = p.y;
    pz[j] = p.z;
  }
  // The sums of sampleElement, term by term, so that each position is the same to the bit.
#if defined(KAVRILON_FOUR_LANES)
  if (hasFourLanes()) {
    switch (k) {
      case 3: return outlineFourLanes<3>(table, px, py, pz, out);
      case 4: return outlineFourLanes<4>(table, px, py, pz, out);
      case 6: return outlineFourLanes<6>(table, px, py, pz, out);
      case 8: return outlineFourLanes<8>(table, px, py, pz, out);
      case 9: return outlineFourLanes<9>(table, px, py, pz, out);
    }
  }
#endif
  for (const int s : table.outlineSamples()) {
    const double* n = table.n(s);
    F_Vertex& sample = out[s];
    sample = {0.0, 0.0, 0.0, 1.0};
    for (int j = 0; j < k; ++j) {
      sample.x += n[j] * px[j];
      sample.y += n[j] * py[j];
      sample.z += n[j] * pz[j];
    }
  }
}

KAVRILON_ROUNDING_LOOP void F_LayerRenderer::drawElement(const F_DrawArea& area, const F_ScreenMap& map, const Scales& scales,
                                  const F_S3dLayer& layer, const F_S3dElement& element, int k,
                                  const F_SampleTable* table, const F_Vertex* samples, bool faces,
                                  bool overprint) {
  if (k == 2) {
    const F_Point3D& a = layer.point(element.node(1));
    const F_Point3D& b = layer.point(element.node(2));
    rasterLine(area, map, scales.line, {a.x, a.y, a.z, 1.0}, {b.x, b.y, b.z, 1.0});
    return;
  }
  if (faces) {
    // Most triangles of a fine mesh cover no row centre, which triangleRows
    // tells from the rows of their lowest and highest corner; sampleRowBounds
    // gives what it asks of every sample in one pass.
    const int count = table->sampleCount();
    double rowUp[F_SampleTable::kMostSamples + F_SampleTable::kBoundsTail];
    double rowDown[F_SampleTable::kMostSamples + F_SampleTable::kBoundsTail];
    int pixelRow[F_SampleTable::kMostSamples];
    sampleRowBounds(map, samples, count, rowUp, rowDown, pixelRow);
    // Which triangles hold a row centre between their corners' rows: tested
    // on all samples of a group of triangles first. Samples whose row is not
    // a number drop out there; their triangles are refused by
    // triangleReachesArea anyway.
    int drawn[F_SampleTable::kMostTriangles];
    const int found = table->trianglesWithRowCentre(rowUp, rowDown, drawn);
    const int* tri = table->triangles().data();
    F_TriangleRows filled[F_SampleTable::kMostTriangles];
    int fills = 0;
    for (int i = 0; i < found; ++i) {
      const int j = drawn[i];
      const int ia = tri[j] - 1, ib = tri[j + 1] - 1, ic = tri[j + 2] - 1;
      const F_Vertex &a = samples[ia], &b = samples[ib], &c = samples[ic];
      const int rowFrom = std::min(std::min(pixelRow[ia], pixelRow[ib]), pixelRow[ic]);
      const int rowTo = std::max(std::max(pixelRow[ia], pixelRow[ib]), pixelRow[ic]);
      if (triangleReachesArea(area, a, b, c, rowFrom, rowTo)) filled[fills++] = {&a, &b, &c, rowFrom, rowTo};
    }
    fillTriangles(area, map, scales.face, filled, fills);
  }
  if (!overprint) return;
  // Outlines are in one colour, whatever the samples' values; their depth
  // bias lifts them over the faces they bound.
  const std::vector<int>& edge = table->outline();
  rasterOutlines(area, map, scales.outline, samples, edge.data(), edge.size());
}

void F_LayerRenderer::drawSampled(const F_DrawArea& area, const Scales& scales, const F_S3dLayer& layer,
                                  const F_S3dElement& element, int k, const F_SampleTable* table,
                                  const F_VectorReal* values, F_Vertex* samples, bool overprint, bool faces) const {
  // An element whose faces cannot reach a row centre of the area needs
  // neither their samples' values nor their triangles; its outline needs
  // only the positions of the outline's samples.
  if (faces) {
    sampleElement(layer, element, *table, values, samples);
  } else if (table && overprint) {
    sampleOutline(layer, element, *table, samples);
  }
  drawElement(area, map_, scales, layer, element, k, table, samples, faces, overprint);
}

void F_LayerRenderer::countElement(int k, const F_SampleTable* table, bool overprint) {
  if (k == 2) {
    ++lines_;
    return;
  }
  triangles_ += static_cast<long long>(table->triangles().size() / 3);
  if (overprint) lines_ += static_cast<long long>(table->outline().size() / 2);
}

void F_LayerRenderer::renderLayer(const F_S3dLayer& layer, const F_LayerContext& context, bool overprint,
                                  int nXi, int nEta, int firstIndex, int lastIndex, const F_VectorReal& values,
                                  const F_Interval& valueRange) {
  if (nXi != nEta || nXi < 1 || nXi > 20) internalError("F_LayerRenderer", 2);
  const bool contour = !values.empty();
  if (contour) {
    if (values.size() != layer.pointCount()) internalError("F_LayerRenderer", 3);
    firstIndex = 1001;
    lastIndex = 1000 + rainbowColors_;
  }
  const Scales scales{F_ColorScale(colors_, firstIndex, lastIndex, valueRange),
                      F_ColorScale(colors_, context.lineColor, context.lineColor, {0.0, 1.0}),
                      F_ColorScale(colors_, 1, 1, {0.0, 1.0}).color(1.0)};
  const F_VectorReal* field = contour ? &values : nullptr;
  const bool drawable = !area_.empty();
  if (drawable && threads_ > 1 && renderLayerInBands(layer, scales, overprint, nXi, field)) return;

  for (int i = 1; i <= layer.elementCount(); ++i) {
    const F_S3dElement& element = layer.element(i);
    const int k = element.effectiveNodeCount();
    if (k == 0) continue;
    if (!F_ElementShape::isSupported(k)) throw F_NotSupportedException{};
    if (!drawable) continue;
    const F_SampleTable* t = k == 2 ? nullptr : &table(k, nXi);
    if (t) samples_.resize(static_cast<std::size_t>(t->sampleCount()));
    drawSampled(area_, scales, layer, element, k, t, field, samples_.data(), overprint,
                t && facesMayDraw(area_, map_, layer, element, *t));
    countElement(k, t, overprint);
  }
}

bool F_LayerRenderer::sampleRows(const F_ScreenMap& map, const F_S3dLayer& layer, const F_S3dElement& element,
                                 int k, double reach, double& rowLow, double& rowHigh) {
  double zLow = layer.point(element.node(1)).z, zHigh = zLow, sum = zLow;
  for (int j = 2; j <= k; ++j) {
    const double z = layer.point(element.node(j)).z;
    zLow = std::min(zLow, z);
    zHigh = std::max(zHigh, z);
    sum += z;
  }
  return sampleRowsOf(map, zLow, zHigh, sum, reach, rowLow, rowHigh);
}

bool F_LayerRenderer::sampleRowsOf(const F_ScreenMap& map, double zLow, double zHigh, double sum, double reach,
                                   double& rowLow, double& rowHigh) {
  if (std::isnan(sum)) return false;
  // A sample is a sum of n_j z_j with the n_j summing to one, so it lies
  // within reach times the half spread from the middle; the slack covers the
  // rounding of those sums many times over.
  const double middle = zLow / 2 + zHigh / 2, half = (zHigh - zLow) / 2 * reach;
  const double slack = 1e-9 * (std::fabs(middle) + half);
  const double a = map.scaleX2 * (middle - half - slack) + map.originX2;
  const double b = map.scaleX2 * (middle + half + slack) + map.originX2;
  rowLow = std::min(a, b);
  rowHigh = std::max(a, b);
  return rowLow <= rowHigh;  // false for rows that are not numbers
}

bool F_LayerRenderer::elementRows(const F_ScreenMap& map, const F_S3dLayer& layer, const F_S3dElement& element,
                                  int k, double reach, int& rowFrom, int& rowTo) {
  double low, high;
  return sampleRows(map, layer, element, k, reach, low, high) && rowsAround(rowMargin(map), low, high, rowFrom, rowTo);
}

double F_LayerRenderer::rowMargin(const F_ScreenMap& map) {
  // A mostly horizontal segment reaches half a column beyond its ends, which
  // is half a column's worth of rows at its steepest; rounding adds one more.
  return 2 + std::fabs(map.scaleX2 / map.scaleX1);
}

bool F_LayerRenderer::rowsAround(double margin, double low, double high, int& rowFrom, int& rowTo) {
  const double from = std::floor(low) - margin, to = std::ceil(high) + margin;
  if (!(from <= to)) return false;  // not numbers
  rowFrom = static_cast<int>(std::clamp(from, -1e9, 1e9));
  rowTo = static_cast<int>(std::clamp(to, -1e9, 1e9));
  return true;
}

bool F_LayerRenderer::facesMayDraw(const F_DrawArea& area, const F_ScreenMap& map, const F_S3dLayer& layer,
                                   const F_S3dElement& element, const F_SampleTable& table) {
  double low, high;
  if (!sampleRows(map, layer, element, table.nodeCount(), table.reach(), low, high)) return true;
  return facesReach(area, low, high);
}

bool F_LayerRenderer::facesReach(const F_DrawArea& area, double low, double high) {
  // Each triangle's lowest and highest corner rows lie between these, so
  // when triangleRows finds no row centre here it finds none for any of them.
  if (!(std::floor(high + 1e-6) >= low - 1e-6)) return false;
  return roundToPixel(high) >= area.firstRow && roundToPixel(low) <= area.lastRow;
}

// The rows of element i at notes[i - 1], clamped to one row beyond the area
// each way, which keeps every comparison with a band's rows; rows from > to
// for an element that draws nothing, faceFrom > faceTo for faces that reach
// no row centre.
struct F_LayerRenderer::RowNote {
  std::uint16_t from, to, faceFrom, faceTo;
};
// Per piece of the elements: where its first element without shape functions
// is (none: past the layer), what it counts, and the cost of each row of the
// area (an element's outline 1, its faces 2 more, at its middle row).
struct F_LayerRenderer::NotePiece {
  int unsupported = 0;
  long long triangles = 0, lines = 0;
  std::vector<long long> cost;
};

// Elements first to last. What sampleRows, rowsAround and facesReach would
// give, from the nodes' z read straight from the layer's points (the tables
// of every node count are built).
KAVRILON_ROUNDING_LOOP void F_LayerRenderer::noteRows(const F_S3dLayer& layer, int first, int last, bool overprint,
                                                      RowNote* notes, NotePiece& piece) const {
  const int rows = area_.lastRow - area_.firstRow + 1;
  piece.cost.assign(static_cast<std::size_t>(rows), 0);
  piece.unsupported = layer.elementCount() + 1;
  const long long below = area_.firstRow - 1, beyond = area_.lastRow + 1;
  auto row = [&](long long r) { return static_cast<std::uint16_t>(std::clamp(r, below, beyond)); };
  const double margin = rowMargin(map_);
  const unsigned points = static_cast<unsigned>(layer.pointCount());
  const F_Point3D* point = points > 0 ? &layer.point(1) : nullptr;
  long long* cost = piece.cost.data();
  for (int i = first; i <= last; ++i) {
    RowNote& r = notes[static_cast<std::size_t>(i) - 1];
    const F_S3dElement& element = layer.element(i);
    const int n = element.nodes.size();
    const int* node = element.nodes.data();
    const int k = n > 1 && node[n - 1] == node[0] ? n - 1 : n;  // effectiveNodeCount
    if (k == 0) {
      r = {row(beyond), row(below), row(beyond), row(below)};
      continue;
    }
    if (!F_ElementShape::isSupported(k)) {
      piece.unsupported = i;
      break;
    }
    double reach = 1.0;
    if (k == 2) {
      ++piece.lines;
    } else {
      const F_SampleTable& table = tables_[k];
      reach = table.reach();
      piece.triangles += static_cast<long long>(table.triangles().size() / 3);
      if (overprint) piece.lines += static_cast<long long>(table.outline().size() / 2);
    }
    double zLow = 0, zHigh = 0, sum = 0;
    bool inLayer = true;
    for (int j = 0; j < k; ++j) {
      const unsigned at = static_cast<unsigned>(node[j]) - 1u;
      inLayer = inLayer && at < points;
      const double z = inLayer ? point[at].z : 0.0;
      if (j == 0) {
        zLow = zHigh = sum = z;
      } else {
        zLow = std::min(zLow, z);
        zHigh = std::max(zHigh, z);
        sum += z;
      }
    }
    if (!inLayer) {
      // A node outside the layer is refused as the layer's own lookup refuses it.
      double unused;
      sampleRows(map_, layer, element, k, reach, unused, unused);
    }
    double low, high;
    const bool known = sampleRowsOf(map_, zLow, zHigh, sum, reach, low, high);
    int from, to;
    if (known && rowsAround(margin, low, high, from, to)) {
      r.from = row(from);
      r.to = row(to);
    } else {
      r.from = row(below);
      r.to = row(beyond);
    }
    // facesReach's test on the element alone; its test on the band's rows
    // is made on faceFrom and faceTo.
    if (!known) {
      r.faceFrom = row(below);
      r.faceTo = row(beyond);
    } else if (std::floor(high + 1e-6) >= low - 1e-6) {
      r.faceFrom = row(roundToPixel(low));
      r.faceTo = row(roundToPixel(high));
    } else {
      r.faceFrom = row(beyond);
      r.faceTo = row(below);
    }
    if (known && r.to >= area_.firstRow && r.from <= area_.lastRow) {
      const int middle = std::clamp(r.from / 2 + r.to / 2, area_.firstRow, area_.lastRow) - area_.firstRow;
      cost[middle] += k == 2 || r.faceFrom > r.faceTo ? 1 : 3;
    }
  }
}

// The bands while they are drawn: each thread owns one share of rows at a
// time. A thread done with its share asks the share with the most drawing
// left for its lower rows; the owner answers before its next element, so
// everything it drew in those rows happens before the helper draws there.
class F_LayerRenderer::BandShares {
 public:
  struct alignas(64) Share {
    std::mutex lock;
    std::condition_variable answered;
    int firstRow = 0, lastRow = -1;  // the owner's rows (changed under lock)
    int wantedRow = 0;               // a helper's request: rows wantedRow to lastRow
    int handedAt = 0;                // the answer: the first element of the helper's, or 0 for none
    int handedLast = 0;              // and the last row it takes
    bool finished = true;  // until started
    // A helper's request is in flight until that helper has read its answer:
    // no other may ask before, or it could take that answer for its own.
    bool pending = false;
    std::atomic<bool> asked{false};
    std::atomic<int> next{1};  // the element the owner draws next
  };

  // `bands` shares to start with and room for `limit` splits; each share,
  // those that splitting makes included, may be split.
  BandShares(int bands, int limit, long long least)
      : shares_(static_cast<std::size_t>(bands) + static_cast<std::size_t>(std::max(limit, 0))),
        used_(bands),
        least_(least) {}
  // Share `i` (not yet used by any thread) takes rows firstRow to lastRow from element `next` on.
  void start(int i, int firstRow, int lastRow, int next) {
    Share& s = shares_[static_cast<std::size_t>(i)];
    std::lock_guard<std::mutex> hold(s.lock);
    s.firstRow = firstRow;
    s.lastRow = lastRow;
    s.next.store(next, std::memory_order_relaxed);
    s.finished = false;
  }
  Share& share(int i) { return shares_[static_cast<std::size_t>(i)]; }
  int splits() const { return splits_.load(); }

  // The owner, before drawing `element`: gives the rows asked for, when they
  // leave it one row at least, and keeps the rest.
  static void answer(Share& own, int element, int& lastRow) {
    std::lock_guard<std::mutex> hold(own.lock);
    if (!own.asked.load(std::memory_order_relaxed)) return;
    own.handedAt = 0;
    if (own.wantedRow > own.firstRow && own.wantedRow <= own.lastRow) {
      own.handedAt = element;
      own.handedLast = own.lastRow;
      own.lastRow = own.wantedRow - 1;
    }
    lastRow = own.lastRow;
    own.asked.store(false, std::memory_order_relaxed);
    own.answered.notify_all();
  }
  static void finish(Share& own) {
    std::lock_guard<std::mutex> hold(own.lock);
    own.finished = true;
    if (own.asked.load(std::memory_order_relaxed)) {
      own.handedAt = 0;
      own.asked.store(false, std::memory_order_relaxed);
      own.answered.notify_all();
    }
  }

  // A thread out of work: the share it now owns and, in `from`, the element
  // it starts at; -1 when no share has drawing left worth the cost of an
  // edge (its elements on the edge's rows are drawn by both).
  int help(const RowNote* notes, int stop, double margin, int& from) {
    // The share this thread would own: one of its own, left unused (and
    // so passed over, as finished) when nothing is taken.
    const int mine = used_.fetch_add(1);
    if (mine >= static_cast<int>(shares_.size())) return -1;
    for (int tries = 0; tries < 4; ++tries) {
      // The share with the most drawing left, from what is noted of the
      // elements its owner has not reached.
      int victim = -1, victimFirst = 0, victimLast = 0;
      long long most = 0;
      std::vector<long long> left;
      const int used = std::min(used_.load(), static_cast<int>(shares_.size()));
      for (int s = 0; s < used; ++s) {
        Share& other = shares_[static_cast<std::size_t>(s)];
        int firstRow, lastRow;
        {
          std::lock_guard<std::mutex> hold(other.lock);
          if (other.finished) continue;
          firstRow = other.firstRow, lastRow = other.lastRow;
        }
        if (lastRow <= firstRow) continue;
        // Of many elements left, every step-th stands for the step before it.
        const int next = other.next.load(std::memory_order_relaxed);
        const int step = 1 + std::max(stop - next, 0) / kMostLooked;
        std::vector<long long> cost(static_cast<std::size_t>(lastRow - firstRow + 1), 0);
        long long total = 0;
        for (int i = next + step - 1; i < stop; i += step) {
          const RowNote& r = notes[static_cast<std::size_t>(i) - 1];
          if (r.to < firstRow || r.from > lastRow) continue;
          const int middle = std::clamp(r.from / 2 + r.to / 2, firstRow, lastRow);
          const int weight = (r.faceFrom > r.faceTo ? 1 : 3) * step;
          cost[static_cast<std::size_t>(middle - firstRow)] += weight;
          total += weight;
        }
        if (total > most) most = total, victim = s, victimFirst = firstRow, victimLast = lastRow, left = std::move(cost);
      }
      if (victim < 0) return -1;
      // Half of what is left below the cut; the cut is worth it when what the
      // helper takes is above what both draw near the edge (the elements
      // whose rows reach across it; this counts their faces too, which only
      // one of them draws).
      long long seen = 0;
      int cut = victimFirst;
      while (cut < victimLast && 2 * seen < most) seen += left[static_cast<std::size_t>(cut++ - victimFirst)];
      const int near = static_cast<int>(std::ceil(margin)) + 2;
      long long edge = 0;
      for (int r = std::max(victimFirst, cut - near); r <= std::min(victimLast, cut + near); ++r)
        edge += left[static_cast<std::size_t>(r - victimFirst)];
      if (cut <= victimFirst || most - seen < least_ + edge) return -1;

      Share& other = shares_[static_cast<std::size_t>(victim)];
      int handedAt, handedLast;
      {
        std::unique_lock<std::mutex> hold(other.lock);
        if (other.finished || other.pending) continue;
        other.pending = true;
        other.wantedRow = cut;
        other.asked.store(true, std::memory_order_relaxed);
        other.answered.wait(hold, [&] { return !other.asked.load(std::memory_order_relaxed); });
        handedAt = other.handedAt, handedLast = other.handedLast;
        other.pending = false;
      }
      if (handedAt == 0) continue;
      start(mine, cut, handedLast, handedAt);
      splits_.fetch_add(1);
      from = handedAt;
      return mine;
    }
    return -1;
  }

 private:
  static constexpr int kMostLooked = 1 << 15;  // notes looked at per share
  std::vector<Share> shares_;
  std::atomic<int> used_;
  long long least_;
  std::atomic<int> splits_{0};
};

// Before any band is drawn, the threads look at a piece of the layer's
// elements each and note the rows every element may write and the rows of
// its faces (see rowsAround and facesReach), and how much drawing each row
// holds. The bands are cut from those costs, so that they take about as long;
// then every thread walks all elements in their order and draws those whose
// rows reach its band, with its drawing clipped to its rows. So the rows of
// an element are formed once, not once per band.
bool F_LayerRenderer::renderLayerInBands(const F_S3dLayer& layer, const Scales& scales, bool overprint,
                                         int divisions, const F_VectorReal* values) {
  const int rows = area_.lastRow - area_.firstRow + 1;
  const int bands = std::min(threads_, rows / kMinBandRows);
  if (bands < 2) return false;

  // Every table is built here, so that the threads below only read them.
  int mostSamples = 2;
  for (const int k : {3, 4, 6, 8, 9}) mostSamples = std::max(mostSamples, table(k, divisions).sampleCount());

  // Rows count from 1 and a canvas is at most kMaxSide high, so one row
  // beyond either end of the area still fits a note.
  static_assert(F_CanvasBound::kMaxSide + 1 <= UINT16_MAX);
  if (area_.firstRow < 1 || area_.lastRow > F_CanvasBound::kMaxSide) return false;
  const int elements = layer.elementCount();
  // Left unset here: each thread writes the notes of its own elements, and
  // so brings in their memory itself.
  const std::unique_ptr<RowNote[]> reach(new RowNote[static_cast<std::size_t>(elements)]);
  std::vector<NotePiece> pieces(static_cast<std::size_t>(bands));
  auto measure = [&](int p) {
    const int first = static_cast<int>(static_cast<long long>(elements) * p / bands) + 1;
    const int last = static_cast<int>(static_cast<long long>(elements) * (p + 1) / bands);
    noteRows(layer, first, last, overprint, reach.get(), pieces[static_cast<std::size_t>(p)]);
  };
  if (!F_RenderThreads::run(bands, measure)) return false;

  // Every band stops where one thread stops: at the first element without
  // shape functions. What comes after it is neither counted nor drawn.
  int stop = elements + 1;
  long long triangles = 0, lines = 0;
  std::vector<long long> perRow(static_cast<std::size_t>(rows), 0);
  for (const NotePiece& piece : pieces) {
    triangles += piece.triangles;
    lines += piece.lines;
    for (int r = 0; r < rows; ++r) perRow[static_cast<std::size_t>(r)] += piece.cost[static_cast<std::size_t>(r)];
    if (piece.unsupported <= elements) {
      stop = piece.unsupported;
      break;
    }
  }
  long long total = 0;
  for (const long long n : perRow) total += n;
  // Band b starts at split[b]; each band keeps at least one row.
  std::vector<int> split(static_cast<std::size_t>(bands) + 1);
  split[0] = area_.firstRow;
  split[static_cast<std::size_t>(bands)] = area_.lastRow + 1;
  long long seen = 0;
  int next = 0;
  for (int b = 1; b < bands; ++b) {
    if (total == 0) {
      next = static_cast<int>(static_cast<long long>(rows) * b / bands);
    } else {
      while (next < rows && seen * bands < total * b) seen += perRow[static_cast<std::size_t>(next++)];
    }
    next = std::clamp(next, split[static_cast<std::size_t>(b) - 1] - area_.firstRow + 1, rows - (bands - b));
    split[static_cast<std::size_t>(b)] = area_.firstRow + next;
  }

  // A thread whose band is done takes over the lower part of the band with
  // the most drawing left, from the element its owner is about to draw: the
  // owner draws the elements before it in those rows, the helper the rest,
  // so every pixel still sees its writes in the element order.
  BandShares shares(bands, splitLimit_, leastSplit_);
  for (int b = 0; b < bands; ++b)
    shares.start(b, split[static_cast<std::size_t>(b)], split[static_cast<std::size_t>(b) + 1] - 1, 1);
  auto work = [&](int band) {
    F_DrawArea area = area_;
    std::vector<F_Vertex> samples(static_cast<std::size_t>(mostSamples));
    int share = band, from = 1;
    while (share >= 0) {
      BandShares::Share& own = shares.share(share);
      area.firstRow = own.firstRow;
      area.lastRow = own.lastRow;
      for (int i = from; i < stop; ++i) {
        if (own.asked.load(std::memory_order_relaxed)) shares.answer(own, i, area.lastRow);
        own.next.store(i, std::memory_order_relaxed);
        const RowNote& r = reach[static_cast<std::size_t>(i) - 1];
        if (r.to < area.firstRow || r.from > area.lastRow) continue;
        const F_S3dElement& element = layer.element(i);
        const int k = element.effectiveNodeCount();
        const F_SampleTable* table = k == 2 ? nullptr : &tables_[k];
        drawSampled(area, scales, layer, element, k, table, values, samples.data(), overprint,
                    table && r.faceTo >= area.firstRow && r.faceFrom <= area.lastRow);
      }
      shares.finish(own);
      share = shares.help(reach.get(), stop, rowMargin(map_), from);
    }
  };
  if (!F_RenderThreads::run(bands, work)) return false;
  splits_ += shares.splits();
  triangles_ += triangles;
  lines_ += lines;
  if (stop <= elements) throw F_NotSupportedException{};
  return true;
}

void renderMesh(const F_S3dMesh& mesh, const PixelSurface& surface, const F_ScreenMap& screenMap,
                const F_DisplayOptions& options, F_DepthBuffer& depth, const F_ColorTable& colorTable,
                const F_VectorReal& values, const F_Interval& valueRange, int currentLayer) {
  F_LayerRenderer(surface, screenMap, depth, colorTable).renderMesh(mesh, options, values, valueRange, currentLayer);
}
