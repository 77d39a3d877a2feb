#include "common/F_LineDrawing.h"

#include <algorithm>
#include <cstdio>

#include "common/F_ColorTable.h"
#include "common/F_MeshGeometry.h"

namespace {

F_Rgb basicColor(int index) {
  if (index < 0 || index > 16) internalError("F_LineDrawing", 1);
  return basicColors[index];
}

F_Pixel pixelOf(const F_ScreenMap& map, const F_Point3D& p) { return map.toPixel(p.y, p.z); }

// Selects the number font, alignment and colours for one pass and puts back
// what it found when the pass ends.
class NumberStyle {
 public:
  NumberStyle(DeviceContext& dc, int size, int color, TextAlign align)
      : dc_(dc),
        font_(dc.selectFont(Font{"Courier New", size, 400})),
        align_(dc.setTextAlign(align)),
        mode_(dc.setBkMode(BkMode::Opaque)),
        bk_(dc.setBkColor(makeRgb(255, 255, 255))),
        text_(dc.setTextColor(basicColor(color))) {}
  ~NumberStyle() {
    dc_.selectFont(font_);
    dc_.setTextAlign(align_);
    dc_.setBkMode(mode_);
    dc_.setBkColor(bk_);
    dc_.setTextColor(text_);
  }
  NumberStyle(const NumberStyle&) = delete;
  NumberStyle& operator=(const NumberStyle&) = delete;

 private:
  DeviceContext& dc_;
  Font font_;
  TextAlign align_;
  BkMode mode_;
  F_Rgb bk_;
  F_Rgb text_;
};

void drawNumber(DeviceContext& dc, int x, int y, int number) {
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%d", number);
  dc.textOut(x, y, std::string_view(text, static_cast<std::size_t>(n)));
}

// The pen (and for filled shapes the brush) of a marker pass, restored at its end.
void drawMarkers(DeviceContext& dc, int type, int size, int color, auto&& forEachPixel) {
  const std::unique_ptr<F_Marker> marker = F_Marker::create(type, size);
  const F_Rgb c = basicColor(color);
  const Pen oldPen = dc.selectPen(Pen::solid(c, 1));
  const bool filled = F_Marker::isFilled(type);
  Brush oldBrush;
  if (filled) oldBrush = dc.selectBrush(Brush::solid(c));
  forEachPixel([&](F_Pixel p) { marker->draw(dc, p.x, p.y); });
  if (filled) dc.selectBrush(oldBrush);
  dc.selectPen(oldPen);
}

}  // namespace

std::unique_ptr<F_Marker> F_Marker::create(int type, int size) {
  switch (type) {
    case 0: return std::make_unique<F_DotMarker>(size);
    case 1: return std::make_unique<F_CircleMarker>(size);
    case 2: return std::make_unique<F_FilledCircleMarker>(size);
    case 3: return std::make_unique<F_CrossMarker>(size);
    case 4: return std::make_unique<F_StarMarker>(size);
    case 5: return std::make_unique<F_TriangleMarker>(size);
    case 6: return std::make_unique<F_SquareMarker>(size);
    case 7: return std::make_unique<F_FilledSquareMarker>(size);
  }
  internalError("F_LineDrawing", 2);
}

void F_DotMarker::draw(DeviceContext& dc, int x, int y) const {
  // The end pixel of a line is not drawn: this sets exactly (x, y).
  dc.moveTo(x, y);
  dc.lineTo(x, y + 1);
}

void F_CircleMarker::draw(DeviceContext& dc, int x, int y) const { dc.ellipse(x - h_, y - h_, x + h_, y + h_); }

void F_CrossMarker::draw(DeviceContext& dc, int x, int y) const {
  dc.moveTo(x - h_, y);
  dc.lineTo(x + h_, y);
  dc.moveTo(x, y - h_);
  dc.lineTo(x, y + h_);
}

void F_StarMarker::draw(DeviceContext& dc, int x, int y) const {
  dc.moveTo(x - h_, y);
  dc.lineTo(x + h_, y);
  dc.moveTo(x - q_, y - h_);
  dc.lineTo(x + q_, y + h_);
  dc.moveTo(x + q_, y - h_);
  dc.lineTo(x - q_, y + h_);
}

void F_TriangleMarker::draw(DeviceContext& dc, int x, int y) const {
  const int b = y + h_;  // base row; the apex points up
  dc.moveTo(x - h_, b);
  dc.lineTo(x + h_, b);
  dc.moveTo(x - h_, b);
  dc.lineTo(x, y - h_);
  dc.moveTo(x + h_, b);
  dc.lineTo(x, y - h_);
}

void F_SquareMarker::draw(DeviceContext& dc, int x, int y) const { dc.rectangle(x - h_, y - h_, x + h_, y + h_); }

PenStyle penStyleOfLineType(int lineType) {
  if (lineType < 0 || lineType > 4) internalError("F_LineDrawing", 3);
  return static_cast<PenStyle>(lineType);
}

void drawElementLines(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map, const F_LayerContext& lc) {
  if (!lc.displayLines) return;
  const Pen old = dc.selectPen(Pen{penStyleOfLineType(lc.lineType), lc.lineThickness, basicColor(lc.lineColor)});
  const bool shrink = lc.shrinkFactor != 100;
  const int f = lc.shrinkFactor;
  for (int i = 1; i <= layer.elementCount(); ++i) {
    const F_S3dElement& e = layer.elements(i);
    const int n = e.nodeCount();
    if (n == 0) continue;
    // Every stored node, the repeated closing one too: a closed outline is drawn closed.
    const F_Point3D c = shrink ? elementCentre(layer, i) : F_Point3D();
    for (int j = 1; j <= n; ++j) {
      const F_Point3D& p = layer.points(e.nodes(j));
      // (point - centre) x factor x 0.01 from the left: scaling by the product
      // 0.8 instead rounds a point near a half pixel to the other side.
      const F_Pixel px =
          shrink ? map.toPixel(c.y + (p.y - c.y) * f * 0.01, c.z + (p.z - c.z) * f * 0.01) : pixelOf(map, p);
      if (j == 1) {
        dc.moveTo(px.x, px.y);
      } else {
        dc.lineTo(px.x, px.y);
      }
    }
  }
  dc.selectPen(old);
}

void drawPointMarkers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map, const F_LayerContext& lc) {
  if (!lc.displayPointMarkers) return;
  drawMarkers(dc, lc.pointMarkerType, lc.pointMarkerSize, lc.pointMarkerColor, [&](auto&& draw) {
    for (const F_Point3D& p : layer.points) draw(pixelOf(map, p));
  });
}

void drawSpecialNodeMarkers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map,
                            const F_LayerContext& lc) {
  if (!lc.displaySpecialNodeMarkers) return;
  drawMarkers(dc, lc.specialNodeMarkerType, lc.specialNodeMarkerSize, lc.specialNodeMarkerColor, [&](auto&& draw) {
    for (int node : layer.specialNodes) draw(pixelOf(map, layer.points(node)));
  });
}

void drawPointNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map, const F_LayerContext& lc) {
  if (!lc.displayPointNumbers) return;
  // Up and to the right of the point, so a special node number can sit below.
  NumberStyle style(dc, lc.pointNumberSize, lc.pointNumberColor, {HAlign::Left, VAlign::Bottom});
  for (int i = 1; i <= layer.pointCount(); ++i) {
    const F_Pixel p = pixelOf(map, layer.points(i));
    drawNumber(dc, p.x + 4, p.y - 4, i);
  }
}

void drawElementNodeNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map,
                            const F_LayerContext& lc) {
  if (!lc.displayElementNodeNumbers) return;
  const int s = lc.elementNodeNumberSize;
  NumberStyle style(dc, s, lc.elementNodeNumberColor, {HAlign::Centre, VAlign::Bottom});
  for (int i = 1; i <= layer.elementCount(); ++i) {
    const F_S3dElement& e = layer.elements(i);
    const int n = e.effectiveNodeCount();  // the repeated closing node gets no second number
    if (n == 0) continue;
    const F_Point3D c = elementCentre(layer, i);
    for (int j = 1; j <= n; ++j) {
      // 70 % of the way out from the centre, so the number lies inside the element.
      const F_Point3D& p = layer.points(e.nodes(j));
      const F_Pixel px = map.toPixel(c.y + (p.y - c.y) * 0.7, c.z + (p.z - c.z) * 0.7);
      drawNumber(dc, px.x, px.y + s / 2 + 1, j);
    }
  }
}

void drawElementNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map,
                        const F_LayerContext& lc) {
  if (!lc.displayElementNumbers) return;
  const int s = lc.elementNumberSize;
  NumberStyle style(dc, s, lc.elementNumberColor, {HAlign::Centre, VAlign::Bottom});
  for (int i = 1; i <= layer.elementCount(); ++i) {
    if (layer.elements(i).nodeCount() == 0) continue;
    const F_Pixel px = pixelOf(map, elementCentre(layer, i));
    drawNumber(dc, px.x, px.y + s / 2 + 1, i);
  }
}

void drawSpecialNodeNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map,
                            const F_LayerContext& lc) {
  if (!lc.displaySpecialNodeNumbers) return;
  NumberStyle style(dc, lc.specialNodeNumberSize, lc.specialNodeNumberColor, {HAlign::Left, VAlign::Top});
  for (int i = 1; i <= layer.specialNodeCount(); ++i) {
    const F_Pixel p = pixelOf(map, layer.points(layer.specialNodes(i)));
    drawNumber(dc, p.x + 4, p.y + 4, i);
  }
}

void drawLines(const F_S3dMesh& mesh, DeviceContext& dc, const F_ScreenMap& map, const F_DisplayOptions& options) {
  using Pass = void (*)(const F_S3dLayer&, DeviceContext&, const F_ScreenMap&, const F_LayerContext&);
  static constexpr Pass kPasses[] = {drawElementLines,   drawPointMarkers,       drawSpecialNodeMarkers,
                                     drawPointNumbers,   drawElementNodeNumbers, drawElementNumbers,
                                     drawSpecialNodeNumbers};
  // A document file may hold fewer layer contexts than layers; a layer
  // without options is not drawn rather than read past the end.
  const int layers = std::min(mesh.layerCount(), options.layerCount());
  for (Pass pass : kPasses) {
    for (int i = 1; i <= layers; ++i) {
      const F_LayerContext& lc = options.layer(i);
      if (lc.displayLayer) pass(mesh.layer(i), dc, map, lc);
    }
  }
}
