#include "common/F_LayerRenderer.h"

#include "common/F_ElementInterpolation.h"
#include "include/F_Errors.h"

F_LayerRenderer::F_LayerRenderer(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                                 std::span<const F_Rgb> colors, int rainbowColors)
    : area_(surface, depth), map_(screenMap), colors_(colors), rainbowColors_(rainbowColors) {}

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
                                    const F_SampleTable& table, const F_VectorReal* values) {
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
  samples_.resize(table.sampleCount());
  for (int s = 0; s < table.sampleCount(); ++s) {
    const double* n = table.n(s);
    F_Vertex& out = samples_[s];
    out = {0.0, 0.0, 0.0, 0.0};
    for (int j = 0; j < k; ++j) {
      out.x += n[j] * px[j];
      out.y += n[j] * py[j];
      out.z += n[j] * pz[j];
    }
    if (values) {
      for (int j = 0; j < k; ++j) out.v += n[j] * pv[j];
    } else {
      const double* a = table.dXi(s);
      const double* b = table.dEta(s);
      F_Point3D t1, t2;
      for (int j = 0; j < k; ++j) {
        t1.add(a[j] * px[j], a[j] * py[j], a[j] * pz[j]);
        t2.add(b[j] * px[j], b[j] * py[j], b[j] * pz[j]);
      }
      out.v = intensityFromTangents(t1, t2);
    }
  }
}

void F_LayerRenderer::drawLine(const F_S3dLayer& layer, const F_S3dElement& element, const F_ColorScale& scale) {
  const F_Point3D& a = layer.point(element.node(1));
  const F_Point3D& b = layer.point(element.node(2));
  rasterLine(area_, map_, scale, {a.x, a.y, a.z, 1.0}, {b.x, b.y, b.z, 1.0});
  ++lines_;
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
  const F_ColorScale faceScale(colors_, firstIndex, lastIndex, valueRange);
  const F_ColorScale lineScale(colors_, context.lineColor, context.lineColor, {0.0, 1.0});
  const F_ColorScale outlineScale(colors_, 1, 1, {0.0, 1.0});
  const bool drawable = !area_.empty();

  for (int i = 1; i <= layer.elementCount(); ++i) {
    const F_S3dElement& element = layer.element(i);
    const int k = element.effectiveNodeCount();
    if (k == 0) continue;
    if (!F_ElementShape::isSupported(k)) throw F_NotSupportedException{};
    if (!drawable) continue;
    if (k == 2) {
      drawLine(layer, element, lineScale);
      continue;
    }
    const F_SampleTable& t = table(k, nXi);
    sampleElement(layer, element, t, contour ? &values : nullptr);
    const std::vector<int>& tri = t.triangles();
    for (std::size_t j = 0; j < tri.size(); j += 3)
      rasterTriangle(area_, map_, faceScale, samples_[tri[j] - 1], samples_[tri[j + 1] - 1], samples_[tri[j + 2] - 1]);
    triangles_ += static_cast<long long>(tri.size() / 3);
    if (!overprint) continue;
    // Outlines carry the value 1 and one colour; their depth bias lifts them
    // over the faces they bound.
    const std::vector<int>& edge = t.outline();
    for (std::size_t j = 0; j < edge.size(); j += 2) {
      F_Vertex a = samples_[edge[j] - 1], b = samples_[edge[j + 1] - 1];
      a.v = b.v = 1.0;
      rasterLine(area_, map_, outlineScale, a, b);
    }
    lines_ += static_cast<long long>(edge.size() / 2);
  }
}

void renderMesh(const F_S3dMesh& mesh, const PixelSurface& surface, const F_ScreenMap& screenMap,
                const F_DisplayOptions& options, F_DepthBuffer& depth, const F_ColorTable& colorTable,
                const F_VectorReal& values, const F_Interval& valueRange, int currentLayer) {
  F_LayerRenderer(surface, screenMap, depth, colorTable).renderMesh(mesh, options, values, valueRange, currentLayer);
}
