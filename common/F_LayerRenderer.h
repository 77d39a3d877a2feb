#pragma once
// Rendering mode: every visible layer is cut into triangles and segments that
// share one depth buffer, so hidden parts disappear whatever the drawing order.
// A layer that carries the scalar field is contour-filled with the rainbow
// scale; any other layer is shaded with the ramp picked by its line colour.
// Two-node elements are one-pixel lines in the layer's colour; with
// "Overprint mesh" the element outlines are drawn in black over their faces.
//
// With more than one thread the canvas is cut into horizontal bands, one per
// thread. Every band walks all primitives in their original order and writes
// only its own rows, so each pixel sees the same writes in the same order as
// with one thread, and the picture is the same to the byte. A thread done
// with its band takes the lower rows of a band with drawing left, from the
// element that band's thread is about to draw on, which keeps that order.
// The mesh, the options and the values are only read while a render runs:
// nothing may change them until it returns.

#include <algorithm>
#include <span>
#include <vector>

#include "common/F_ColorTable.h"
#include "common/F_DepthBuffer.h"
#include "common/F_ElementShape.h"
#include "common/F_LayerContext.h"
#include "common/F_Raster.h"
#include "common/F_RenderThreads.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScreenMap.h"
#include "include/F_Vector.h"
#include "platform/PixelSurface.h"

class F_LayerRenderer {
 public:
  // `colors` is the view's colour table with its index 1 at colors[0] (all
  // 32000 entries); `rainbowColors` the number of rainbow entries in use.
  // The depth buffer is sized to the surface and cleared by the caller.
  // The thread count starts as F_RenderThreads::count().
  F_LayerRenderer(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                  std::span<const F_Rgb> colors, int rainbowColors);
  // The view's table, built.
  F_LayerRenderer(const PixelSurface& surface, const F_ScreenMap& screenMap, F_DepthBuffer& depth,
                  const F_ColorTable& colorTable)
      : F_LayerRenderer(surface, screenMap, depth,
                        std::span<const F_Rgb>(colorTable.colors().data(), colorTable.colors().size()),
                        colorTable.numberOfRainbowColors()) {}
  // The drawing area points into the renderer's own tables.
  F_LayerRenderer(const F_LayerRenderer&) = delete;
  F_LayerRenderer& operator=(const F_LayerRenderer&) = delete;

  // Every layer whose context shows it, in order. The current layer (1 to the
  // layer count) gets `values` and `valueRange`: contour fill when values are
  // given, else shading spread over valueRange; the others are shaded over
  // (0, 1). Throws F_NotSupportedException at the first element of a visible
  // layer whose node count has no shape functions; what was drawn stays.
  void renderMesh(const F_S3dMesh& mesh, const F_DisplayOptions& options, const F_VectorReal& values,
                  const F_Interval& valueRange, int currentLayer);

  // One layer: shading with [firstIndex, lastIndex] when `values` is empty,
  // otherwise contour fill with the rainbow indices and one value per point.
  // nXi == nEta in [1, 20].
  void renderLayer(const F_S3dLayer& layer, const F_LayerContext& context, bool overprint, int nXi, int nEta,
                   int firstIndex, int lastIndex, const F_VectorReal& values, const F_Interval& valueRange);

  // 1 draws on the calling thread alone; more cut the canvas into that many
  // bands (fewer when the canvas has fewer than kMinBandRows rows a band),
  // each as high as it takes to hold about as much drawing.
  void setThreads(int threads) { threads_ = threads < 1 ? 1 : threads; }
  int threads() const { return threads_; }
  static constexpr int kMinBandRows = 8;
  // A thread whose band is done may take over rows of another band that has
  // drawing left: at most `limit` times a layer (0: never), and only when it
  // takes at least `least` of it (in the units of the cut: an element's
  // outline 1, its faces 2 more) beyond what both draw near the new edge.
  // The picture is the same either way.
  static constexpr long long kLeastSplit = 2000;
  void setSplitting(int limit, long long least = kLeastSplit) {
    splitLimit_ = std::max(limit, 0);
    leastSplit_ = least;
  }

  // Rows [rowFrom, rowTo] that hold every pixel the element's triangles and
  // segments may write, for an element of effective node count k (2 or a
  // face) whose shape functions have `reach` (F_SampleTable::reach; 1 for
  // two nodes). False when its rows cannot be bounded (coordinates that are
  // not numbers): then it may write any row.
  static bool elementRows(const F_ScreenMap& map, const F_S3dLayer& layer, const F_S3dElement& element, int k,
                          double reach, int& rowFrom, int& rowTo);

  // What has been handed to the primitives so far (for the benchmarks).
  long long triangleCount() const { return triangles_; }
  long long lineCount() const { return lines_; }
  // How often a band's rows were taken over by a thread done with its own.
  long long splitCount() const { return splits_; }

 private:
  struct Scales;
  class Bands;

  const F_SampleTable& table(int nodeCount, int divisions);
  // Positions and values (intensity or field) of every sample of one element.
  static void sampleElement(const F_S3dLayer& layer, const F_S3dElement& element, const F_SampleTable& table,
                            const F_VectorReal* values, F_Vertex* out);
  // One element of effective node count k (2 or a face) into `area`, from its
  // samples (faces) or its points (lines).
  // Only the positions of the outline's samples, with the value 1.
  static void sampleOutline(const F_S3dLayer& layer, const F_S3dElement& element, const F_SampleTable& table,
                            F_Vertex* out);
  // Faces only when `faces`; outlines when `overprint`.
  static void drawElement(const F_DrawArea& area, const F_ScreenMap& map, const Scales& scales,
                          const F_S3dLayer& layer, const F_S3dElement& element, int k, const F_SampleTable* table,
                          const F_Vertex* samples, bool faces, bool overprint);
  // Samples what the element needs into `samples` and draws it into `area`;
  // its faces only when `faces` (a table and facesMayDraw, or the same from
  // rows already known).
  void drawSampled(const F_DrawArea& area, const Scales& scales, const F_S3dLayer& layer,
                   const F_S3dElement& element, int k, const F_SampleTable* table, const F_VectorReal* values,
                   F_Vertex* samples, bool overprint, bool faces) const;
  // The rows of the lowest and highest sample of the element, widened by far
  // more than rounding; false when they are not numbers.
  static bool sampleRows(const F_ScreenMap& map, const F_S3dLayer& layer, const F_S3dElement& element, int k,
                         double reach, double& rowLow, double& rowHigh);
  // False when no triangle of the element can write a pixel of `area`.
  static bool facesMayDraw(const F_DrawArea& area, const F_ScreenMap& map, const F_S3dLayer& layer,
                           const F_S3dElement& element, const F_SampleTable& table);
  // The same from the element's sampleRows (with its table's reach).
  static bool facesReach(const F_DrawArea& area, double rowLow, double rowHigh);
  // sampleRows from the lowest, highest and summed z of the element's nodes.
  static bool sampleRowsOf(const F_ScreenMap& map, double zLow, double zHigh, double zSum, double reach,
                           double& rowLow, double& rowHigh);
  // elementRows from the element's sampleRows, with `margin` rowMargin(map).
  static bool rowsAround(double margin, double rowLow, double rowHigh, int& rowFrom, int& rowTo);
  static double rowMargin(const F_ScreenMap& map);
  // The rows of one element for the bands, and how much drawing a band sees of it.
  struct RowNote;
  struct NotePiece;
  class BandShares;
  void noteRows(const F_S3dLayer& layer, int first, int last, bool overprint, RowNote* notes,
                NotePiece& piece) const;
  void countElement(int k, const F_SampleTable* table, bool overprint);
  // One layer on several threads, each drawing one band of rows; false when
  // the canvas is too low for two bands or no thread could be started, and
  // then nothing has been drawn.
  bool renderLayerInBands(const F_S3dLayer& layer, const Scales& scales, bool overprint, int divisions,
                          const F_VectorReal* values);

  F_DrawArea area_;  // with the plane tables below
  F_ScreenMap map_;
  std::vector<double> columnPlane_, rowPlane_;
  std::span<const F_Rgb> colors_;
  int rainbowColors_;
  int threads_ = 1;
  F_SampleTable tables_[F_ElementShape::kMaxNodes + 1];
  std::vector<F_Vertex> samples_;  // the current element's samples, reused
  long long triangles_ = 0;
  long long lines_ = 0;
  long long splits_ = 0;
  int splitLimit_ = 2 * F_RenderThreads::kMaxThreads;
  long long leastSplit_ = kLeastSplit;
};

// The rendering of one paint: `depth` sized to the surface and filled with
// F_DepthBuffer::kFar by the caller; `values` (empty when no field is loaded)
// and `valueRange` belong to layer `currentLayer`. See F_LayerRenderer::renderMesh.
void renderMesh(const F_S3dMesh& mesh, const PixelSurface& surface, const F_ScreenMap& screenMap,
                const F_DisplayOptions& options, F_DepthBuffer& depth, const F_ColorTable& colorTable,
                const F_VectorReal& values, const F_Interval& valueRange, int currentLayer);
