#pragma once
// Shape functions of the supported elements, in natural coordinates (xi, eta):
// 2-node lines (xi in [-1, 1]), 3- and 6-node triangles (xi, eta >= 0,
// xi + eta <= 1, node 1 at the origin), 4-, 8- and 9-node quadrilaterals
// (xi, eta in [-1, 1]). Corners and mid-side nodes alternate around the
// outline; a 9-node element ends with its centre node. Also the grids of
// samples at which the renderer and the field range look at an element.

#include <vector>

// Raised for an element whose effective node count has no shape functions;
// the drawing pipeline catches it and falls back to line mode.
struct F_NotSupportedException {};

struct F_NaturalPoint {
  double xi = 0.0;
  double eta = 0.0;
};

namespace F_ElementShape {

constexpr int kMaxNodes = 9;

// 2, 3, 4, 6, 8 or 9 nodes.
inline bool isSupported(int nodeCount) {
  return nodeCount == 2 || nodeCount == 3 || nodeCount == 4 || nodeCount == 6 || nodeCount == 8 || nodeCount == 9;
}
inline bool isQuadrilateral(int nodeCount) { return nodeCount == 4 || nodeCount == 8 || nodeCount == 9; }

// The values N[0..k-1] and, when the pointers are not null, the derivatives
// along xi and eta, for a supported node count k (internal error otherwise).
void evaluate(int nodeCount, double xi, double eta, double* n, double* dXi = nullptr, double* dEta = nullptr);

// Where node j (1-based) of a supported element sits.
F_NaturalPoint nodePosition(int nodeCount, int j);

// The samples of one element for `divisions` n in [1, 20], in their numbering:
// quadrilaterals (n + 1)^2 corner samples row by row, then n^2 cell centres;
// 6-node triangles (n + 1)(n + 2) / 2 samples row by row; 3-node triangles and
// lines their nodes. Other counts give no samples.
void sampleGrid(int nodeCount, int divisions, std::vector<F_NaturalPoint>& samples);

// Whether the processor has four-lane registers of doubles (AVX2), asked once.
bool hasFourLanes();

}  // namespace F_ElementShape

// The shape functions and derivatives of one node count at every sample of
// its grid, with the triangles and outline segments the renderer draws over
// those samples. Built once per node count and divisions, so that drawing an
// element only forms weighted sums.
class F_SampleTable {
 public:
  // The most samples of any grid: a quadrilateral at 20 divisions.
  static constexpr int kMostSamples = 21 * 21 + 20 * 20;

  // A supported node count and divisions in [1, 20].
  void build(int nodeCount, int divisions);

  int nodeCount() const { return nodeCount_; }
  int divisions() const { return divisions_; }
  int sampleCount() const { return static_cast<int>(samples_.size()); }
  const F_NaturalPoint& sample(int s) const { return samples_[s]; }  // 0-based
  // nodeCount() values for sample s (0-based).
  const double* n(int s) const { return n_.data() + s * nodeCount_; }
  const double* dXi(int s) const { return dXi_.data() + s * nodeCount_; }
  const double* dEta(int s) const { return dEta_.data() + s * nodeCount_; }
  // The same three tables four samples at a time, for sums over several
  // samples in the lanes of one register: from the pointer for sample s,
  // entry 4 j holds sample s's value of node j and entries 4 j + 1, 4 j + 2
  // the next samples' of the same group of four (0 past the last sample).
  // So two (s even) or four (s a multiple of 4) samples load in one step.
  const double* nLanes(int s) const { return lanes(nLanes_, s); }
  const double* dXiLanes(int s) const { return lanes(dXiLanes_, s); }
  const double* dEtaLanes(int s) const { return lanes(dEtaLanes_, s); }
  // For every sample s, out[s] = the sum over the nodes j of n(s)[j] *
  // nodeValue[j], term by term in node order: the same to the bit whether
  // the samples are summed one or four at a time.
  void weightedSums(const double* nodeValue, double* out) const;

  // Sample numbers, 1-based as the grid numbers them: three per triangle in
  // drawing order, two per outline segment.
  const std::vector<int>& triangles() const { return triangles_; }
  const std::vector<int>& outline() const { return outline_; }

  // The largest sum of |n| over the nodes at any sample: every sample lies
  // within this many times the nodes' spread from their middle (1 for linear
  // shapes, whose samples stay inside the nodes' hull; more where quadratic
  // shapes bulge out).
  double reach() const { return reach_; }
  // Every sample an outline segment ends at, once, 0-based.
  const std::vector<int>& outlineSamples() const { return outlineSamples_; }

  // The triangles in groups of four consecutive ones (fewer in the last):
  // entries [from, to) of triangles(), and every sample their corners use,
  // once, 0-based. A quadrilateral's group is one cell of its grid.
  struct TriangleGroup {
    int from = 0;
    int to = 0;
    int sampleCount = 0;
    int samples[12] = {};
  };
  const std::vector<TriangleGroup>& triangleGroups() const { return triangleGroups_; }
  // The triangles, in order, whose corners hold a row centre between their
  // rows: with up[s] = floor(row + 1e-6) and down[s] = row - 1e-6 for each
  // sample s (see sampleRowBounds), those whose largest up is at least their
  // smallest down, max and min taken as std::max(std::max(a, b), c) and
  // std::min over the corners in their order. A group whose samples hold no
  // row centre is passed over first (samples whose bounds are not numbers do
  // not count there). Writes where each triangle starts in triangles() to
  // `out` (room for kMostTriangles) and returns how many. `up` and `down`
  // hold room for kBoundsTail entries past the last sample, which this may
  // overwrite.
  int trianglesWithRowCentre(double* up, double* down, int* out) const;
  static constexpr int kMostTriangles = 4 * 20 * 20;
  static constexpr int kBoundsTail = 4;

 private:
  void buildQuadrilateralCells();
  void buildTriangleCells();

  int nodeCount_ = 0;
  int divisions_ = 0;
  double reach_ = 0;
  std::vector<F_NaturalPoint> samples_;
  std::vector<double> n_, dXi_, dEta_;
  std::vector<double> nLanes_, dXiLanes_, dEtaLanes_;
  const double* lanes(const std::vector<double>& table, int s) const {
    return table.data() + (s / 4 * 4) * nodeCount_ + s % 4;
  }
  std::vector<int> triangles_, outline_, outlineSamples_;
  std::vector<TriangleGroup> triangleGroups_;
};
