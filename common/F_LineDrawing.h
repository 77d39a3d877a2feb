#pragma once
// Line mode: a mesh drawn as element outlines, point and special-node
// markers and four kinds of numbers, on any device context, with no depth
// buffer (later drawing covers earlier drawing). Each layer's F_LayerContext
// says what is shown and how; colours are the basic colours 1..16.

#include <memory>

#include "common/F_LayerContext.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScreenMap.h"
#include "platform/DeviceContext.h"

// One marker shape of a given size, drawn centred on a pixel with the pen
// (and, for the filled shapes, the brush) that the pass selected.
class F_Marker {
 public:
  explicit F_Marker(int size) : s_(size), h_(size / 2), q_(size / 4) {}
  virtual ~F_Marker() = default;
  virtual void draw(DeviceContext& dc, int x, int y) const = 0;

  // The marker of type 0..7 (Dot, Hollow Circle, Filled Circle, Cross, Star,
  // Triangle, Hollow Square, Filled Square); any other type is a fault.
  static std::unique_ptr<F_Marker> create(int type, int size);
  // Types 2 and 7 fill with a brush of the marker colour.
  static bool isFilled(int type) { return type == 2 || type == 7; }

 protected:
  int s_;  // size in pixels
  int h_;  // s / 2
  int q_;  // s / 4
};

class F_DotMarker : public F_Marker {
 public:
  using F_Marker::F_Marker;
  void draw(DeviceContext& dc, int x, int y) const override;
};
// Hollow and filled circles differ only by the brush the pass selects.
class F_CircleMarker : public F_Marker {
 public:
  using F_Marker::F_Marker;
  void draw(DeviceContext& dc, int x, int y) const override;
};
class F_FilledCircleMarker : public F_CircleMarker {
 public:
  using F_CircleMarker::F_CircleMarker;
};
class F_CrossMarker : public F_Marker {
 public:
  using F_Marker::F_Marker;
  void draw(DeviceContext& dc, int x, int y) const override;
};
class F_StarMarker : public F_Marker {
 public:
  using F_Marker::F_Marker;
  void draw(DeviceContext& dc, int x, int y) const override;
};
class F_TriangleMarker : public F_Marker {
 public:
  using F_Marker::F_Marker;
  void draw(DeviceContext& dc, int x, int y) const override;
};
class F_SquareMarker : public F_Marker {
 public:
  using F_Marker::F_Marker;
  void draw(DeviceContext& dc, int x, int y) const override;
};
class F_FilledSquareMarker : public F_SquareMarker {
 public:
  using F_SquareMarker::F_SquareMarker;
};

// The pen style of a line type 0..4.
PenStyle penStyleOfLineType(int lineType);

// The seven passes over one layer, each drawing only what its flag switches
// on; the caller decides whether the layer is visible.
void drawElementLines(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map, const F_LayerContext& lc);
void drawPointMarkers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map, const F_LayerContext& lc);
void drawSpecialNodeMarkers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map,
                            const F_LayerContext& lc);
void drawPointNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map, const F_LayerContext& lc);
void drawElementNodeNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map,
                            const F_LayerContext& lc);
void drawElementNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map, const F_LayerContext& lc);
void drawSpecialNodeNumbers(const F_S3dLayer& layer, DeviceContext& dc, const F_ScreenMap& map,
                            const F_LayerContext& lc);

// The whole line mode: each pass in the order above over every visible layer,
// so all outlines come first and the numbers lie on top. `options` holds one
// layer context per mesh layer.
void drawLines(const F_S3dMesh& mesh, DeviceContext& dc, const F_ScreenMap& map, const F_DisplayOptions& options);
