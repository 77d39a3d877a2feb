#include "common/F_LayerRenderer.h"

#include <algorithm>
#include <barrier>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/F_ElementInterpolation.h"
#include "common/F_RenderThreads.h"
#include "include/F_Errors.h"

// The colour scales of one layer: faces, two-node lines, outlines.
struct F_LayerRenderer::Scales {
  F_ColorScale face;
  F_ColorScale line;
  F_ColorScale outline;
};

F_LayerRenderer::F_LayerRenderer(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                                 std::span<const F_Rgb> colors, int rainbowColors)
    : area_(surface, depth),
      map_(screenMap),
      colors_(colors),
      rainbowColors_(rainbowColors),
      threads_(F_RenderThreads::count()) {}

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

void F_LayerRenderer::sampleElement(const F_S3dLayer& layer, const F_S3dElement& element,
                                    const F_SampleTable& table, const F_VectorReal* values, F_Vertex* out) {
  const int k = table.nodeCount();
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
  // For shading, the normal's depth component and squared length per sample;
  // the square roots and divisions follow in one pass, two at a time.
  double normalX[F_SampleTable::kMostSamples], lengthSquared[F_SampleTable::kMostSamples];
  const int count = table.sampleCount();
  for (int s = 0; s < count; ++s) {
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
  int s = 0;
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

void F_LayerRenderer::drawElement(const F_DrawArea& area, const F_ScreenMap& map, const Scales& scales,
                                  const F_S3dLayer& layer, const F_S3dElement& element, int k,
                                  const F_SampleTable* table, const F_Vertex* samples, bool overprint) {
  if (k == 2) {
    const F_Point3D& a = layer.point(element.node(1));
    const F_Point3D& b = layer.point(element.node(2));
    rasterLine(area, map, scales.line, {a.x, a.y, a.z, 1.0}, {b.x, b.y, b.z, 1.0});
    return;
  }
  const std::vector<int>& tri = table->triangles();
  for (std::size_t j = 0; j < tri.size(); j += 3)
    rasterTriangle(area, map, scales.face, samples[tri[j] - 1], samples[tri[j + 1] - 1], samples[tri[j + 2] - 1]);
  if (!overprint) return;
  // Outlines carry the value 1 and one colour; their depth bias lifts them
  // over the faces they bound.
  const std::vector<int>& edge = table->outline();
  for (std::size_t j = 0; j < edge.size(); j += 2) {
    F_Vertex a = samples[edge[j] - 1], b = samples[edge[j + 1] - 1];
    a.v = b.v = 1.0;
    rasterLine(area, map, scales.outline, a, b);
  }
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
                      F_ColorScale(colors_, 1, 1, {0.0, 1.0})};
  const F_VectorReal* field = contour ? &values : nullptr;
  const bool drawable = !area_.empty();
  if (drawable && threads_ > 1 && renderLayerInBands(layer, scales, overprint, nXi, field)) return;

  for (int i = 1; i <= layer.elementCount(); ++i) {
    const F_S3dElement& element = layer.element(i);
    const int k = element.effectiveNodeCount();
    if (k == 0) continue;
    if (!F_ElementShape::isSupported(k)) throw F_NotSupportedException{};
    if (!drawable) continue;
    const F_SampleTable* t = nullptr;
    if (k != 2) {
      t = &table(k, nXi);
      samples_.resize(static_cast<std::size_t>(t->sampleCount()));
      sampleElement(layer, element, *t, field, samples_.data());
    }
    drawElement(area_, map_, scales, layer, element, k, t, samples_.data(), overprint);
    countElement(k, t, overprint);
  }
}

namespace {

// A chunk ends at this many elements, samples or primitives, whichever comes
// first: big enough that the threads meet rarely, small enough to stay in the
// caches.
constexpr int kChunkElements = 4096;
constexpr int kChunkSamples = 1 << 15;
constexpr int kChunkPrimitives = 1 << 16;

// A triangle or segment of a chunk that may write a pixel, with the rows it
// may write and its corners as sample numbers of its element.
struct Primitive {
  enum Kind : int { Face, Outline, Line };
  int rowFrom;
  int rowTo;
  Kind kind;
  int a, b, c;
};

}  // namespace

// The elements go in chunks. For each chunk every thread first samples its
// share of the elements into shared buffers and lists their triangles and
// segments that may write a pixel at all (on a fine mesh most write none);
// then every thread draws the listed primitives of the whole chunk, in
// element order, into its own band of rows. The threads meet at a barrier
// before each step; the one that arrives last plans the next chunk.
bool F_LayerRenderer::renderLayerInBands(const F_S3dLayer& layer, const Scales& scales, bool overprint,
                                         int divisions, const F_VectorReal* values) {
  const int rows = area_.lastRow - area_.firstRow + 1;
  const int bands = std::min(threads_, rows / kMinBandRows);
  if (bands < 2) return false;

  // Every table is built here, so that the threads below only read them.
  auto primitivesOf = [&](int k) {
    if (k == 2) return 1;
    const F_SampleTable& t = tables_[k];
    return static_cast<int>(t.triangles().size() / 3 + (overprint ? t.outline().size() / 2 : 0));
  };
  auto samplesOf = [&](int k) { return k == 2 ? 2 : tables_[k].sampleCount(); };
  int mostSamples = 2, mostPrimitives = 1;
  for (const int k : {3, 4, 6, 8, 9}) {
    table(k, divisions);
    mostSamples = std::max(mostSamples, samplesOf(k));
    mostPrimitives = std::max(mostPrimitives, primitivesOf(k));
  }
  std::vector<F_Vertex> samples(static_cast<std::size_t>(kChunkSamples + mostSamples));
  std::vector<Primitive> primitives(static_cast<std::size_t>(kChunkPrimitives + mostPrimitives));
  struct Slot {
    int nodes = 0;  // effective node count
    int sample = 0;  // first sample in `samples`
    int primitive = 0;  // first primitive in `primitives`
    int primitives = 0;  // how many were listed
  };
  std::vector<Slot> slots(kChunkElements);
  int next = 1, first = 1, count = 0;
  bool unsupported = false, planStep = true;

  // The elements from `next` up to the chunk's limits or to the first one
  // without shape functions; count 0 ends the work.
  auto plan = [&] {
    first = next;
    count = 0;
    int usedSamples = 0, usedPrimitives = 0;
    while (next <= layer.elementCount() && count < kChunkElements && usedSamples < kChunkSamples &&
           usedPrimitives < kChunkPrimitives) {
      const int k = layer.element(next).effectiveNodeCount();
      if (k != 0 && !F_ElementShape::isSupported(k)) {
        unsupported = true;
        break;
      }
      Slot& slot = slots[static_cast<std::size_t>(count)];
      slot = {k, usedSamples, usedPrimitives, 0};
      if (k != 0) {
        usedSamples += samplesOf(k);
        usedPrimitives += primitivesOf(k);
        countElement(k, k > 2 ? &tables_[k] : nullptr, overprint);
      }
      ++count;
      ++next;
    }
  };
  auto step = [&]() noexcept {
    if (planStep) plan();
    planStep = !planStep;
  };
  std::barrier sync(bands, step);

  // Samples and the primitives that may write a pixel anywhere on the canvas.
  auto list = [&](const F_S3dElement& element, Slot& slot) {
    F_Vertex* s = samples.data() + slot.sample;
    Primitive* p = primitives.data() + slot.primitive;
    int n = 0, rowFrom, rowTo;
    if (slot.nodes == 2) {
      const F_Point3D& a = layer.point(element.node(1));
      const F_Point3D& b = layer.point(element.node(2));
      s[0] = {a.x, a.y, a.z, 1.0};
      s[1] = {b.x, b.y, b.z, 1.0};
      if (lineRows(area_, map_, s[0], s[1], rowFrom, rowTo)) p[n++] = {rowFrom, rowTo, Primitive::Line, 0, 1, 0};
      slot.primitives = n;
      return;
    }
    const F_SampleTable& t = tables_[slot.nodes];
    sampleElement(layer, element, t, values, s);
    const std::vector<int>& tri = t.triangles();
    for (std::size_t j = 0; j < tri.size(); j += 3) {
      const int a = tri[j] - 1, b = tri[j + 1] - 1, c = tri[j + 2] - 1;
      if (triangleRows(area_, map_, s[a], s[b], s[c], rowFrom, rowTo))
        p[n++] = {rowFrom, rowTo, Primitive::Face, a, b, c};
    }
    if (overprint) {
      const std::vector<int>& edge = t.outline();
      for (std::size_t j = 0; j < edge.size(); j += 2) {
        const int a = edge[j] - 1, b = edge[j + 1] - 1;
        if (lineRows(area_, map_, s[a], s[b], rowFrom, rowTo)) p[n++] = {rowFrom, rowTo, Primitive::Outline, a, b, 0};
      }
    }
    slot.primitives = n;
  };

  auto draw = [&](const F_DrawArea& band, const Slot& slot) {
    const F_Vertex* s = samples.data() + slot.sample;
    const Primitive* end = primitives.data() + slot.primitive + slot.primitives;
    for (const Primitive* p = primitives.data() + slot.primitive; p != end; ++p) {
      if (p->rowTo < band.firstRow || p->rowFrom > band.lastRow) continue;
      if (p->kind == Primitive::Face) {
        rasterTriangle(band, map_, scales.face, s[p->a], s[p->b], s[p->c]);
      } else if (p->kind == Primitive::Line) {
        rasterLine(band, map_, scales.line, s[p->a], s[p->b]);
      } else {
        // Outlines carry the value 1 and one colour.
        F_Vertex a = s[p->a], b = s[p->b];
        a.v = b.v = 1.0;
        rasterLine(band, map_, scales.outline, a, b);
      }
    }
  };

  auto work = [&](int band) {
    F_DrawArea area = area_;
    area.firstRow = area_.firstRow + static_cast<int>(static_cast<long long>(rows) * band / bands);
    area.lastRow = area_.firstRow + static_cast<int>(static_cast<long long>(rows) * (band + 1) / bands) - 1;
    for (;;) {
      sync.arrive_and_wait();
      if (count == 0) return;
      // A run of neighbouring elements per thread: their slots, samples and
      // primitives lie together, so threads do not write the same cache lines.
      const int from = static_cast<int>(static_cast<long long>(count) * band / bands);
      const int to = static_cast<int>(static_cast<long long>(count) * (band + 1) / bands);
      for (int i = from; i < to; ++i) {
        Slot& slot = slots[static_cast<std::size_t>(i)];
        if (slot.nodes != 0) list(layer.element(first + i), slot);
      }
      sync.arrive_and_wait();
      for (int i = 0; i < count; ++i) {
        const Slot& slot = slots[static_cast<std::size_t>(i)];
        if (slot.nodes != 0) draw(area, slot);
      }
    }
  };
  if (!F_RenderThreads::run(bands, work)) return false;
  if (unsupported) throw F_NotSupportedException{};
  return true;
}

void renderMesh(const F_S3dMesh& mesh, const PixelSurface& surface, const F_ScreenMap& screenMap,
                const F_DisplayOptions& options, F_DepthBuffer& depth, const F_ColorTable& colorTable,
                const F_VectorReal& values, const F_Interval& valueRange, int currentLayer) {
  F_LayerRenderer(surface, screenMap, depth, colorTable).renderMesh(mesh, options, values, valueRange, currentLayer);
}
