#include "common/F_ElementShape.h"

#include <algorithm>
#include <cmath>
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#include <immintrin.h>
#define KAVRILON_FOUR_LANES 1
#endif
#include <utility>

#include "include/F_Errors.h"

namespace F_ElementShape {
namespace {

// Corners of the quadrilaterals in node order; for 8 and 9 nodes these are
// nodes 1, 3, 5, 7 and the mid-side nodes lie between them.
constexpr double kQuadXi[4] = {-1, 1, 1, -1};
constexpr double kQuadEta[4] = {-1, -1, 1, 1};

void set(double* d, int i, double v) {
  if (d) d[i] = v;
}

void quad4(double xi, double eta, double* n, double* dXi, double* dEta) {
  for (int i = 0; i < 4; ++i) {
    const double a = 1 + xi * kQuadXi[i], b = 1 + eta * kQuadEta[i];
    n[i] = a * b / 4;
    set(dXi, i, kQuadXi[i] * b / 4);
    set(dEta, i, kQuadEta[i] * a / 4);
  }
}

void tri6(double xi, double eta, double* n, double* dXi, double* dEta) {
  const double l = 1 - xi - eta;
  n[0] = l * (2 * l - 1);
  n[1] = 4 * xi * l;
  n[2] = xi * (2 * xi - 1);
  n[3] = 4 * xi * eta;
  n[4] = eta * (2 * eta - 1);
  n[5] = 4 * eta * l;
  if (dXi) {
    dXi[0] = 1 - 4 * l;
    dXi[1] = 4 * (l - xi);
    dXi[2] = 4 * xi - 1;
    dXi[3] = 4 * eta;
    dXi[4] = 0;
    dXi[5] = -4 * eta;
  }
  if (dEta) {
    dEta[0] = 1 - 4 * l;
    dEta[1] = -4 * xi;
    dEta[2] = 0;
    dEta[3] = 4 * xi;
    dEta[4] = 4 * eta - 1;
    dEta[5] = 4 * (l - eta);
  }
}

void quad8(double xi, double eta, double* n, double* dXi, double* dEta) {
  for (int c = 0; c < 4; ++c) {
    const double xc = kQuadXi[c], ec = kQuadEta[c];
    const double a = 1 + xi * xc, b = 1 + eta * ec;
    n[2 * c] = a * b * (xi * xc + eta * ec - 1) / 4;
    set(dXi, 2 * c, xc * b * (2 * xi * xc + eta * ec) / 4);
    set(dEta, 2 * c, ec * a * (xi * xc + 2 * eta * ec) / 4);
  }
  n[1] = (1 - xi * xi) * (1 - eta) / 2;
  n[3] = (1 + xi) * (1 - eta * eta) / 2;
  n[5] = (1 - xi * xi) * (1 + eta) / 2;
  n[7] = (1 - xi) * (1 - eta * eta) / 2;
  if (dXi) {
    dXi[1] = -xi * (1 - eta);
    dXi[3] = (1 - eta * eta) / 2;
    dXi[5] = -xi * (1 + eta);
    dXi[7] = -(1 - eta * eta) / 2;
  }
  if (dEta) {
    dEta[1] = -(1 - xi * xi) / 2;
    dEta[3] = -eta * (1 + xi);
    dEta[5] = (1 - xi * xi) / 2;
    dEta[7] = -eta * (1 - xi);
  }
}

// The 9-node functions are products of the 1D quadratics through -1, 0, +1.
void quad9(double xi, double eta, double* n, double* dXi, double* dEta) {
  const double lx[3] = {xi * (xi - 1) / 2, 1 - xi * xi, xi * (xi + 1) / 2};
  const double ly[3] = {eta * (eta - 1) / 2, 1 - eta * eta, eta * (eta + 1) / 2};
  const double dx[3] = {xi - 0.5, -2 * xi, xi + 0.5};
  const double dy[3] = {eta - 0.5, -2 * eta, eta + 0.5};
  // Node k sits at 1D positions (ix, iy): 0 is -1, 1 is 0, 2 is +1.
  static constexpr int ix[9] = {0, 1, 2, 2, 2, 1, 0, 0, 1};
  static constexpr int iy[9] = {0, 0, 0, 1, 2, 2, 2, 1, 1};
  for (int k = 0; k < 9; ++k) {
    n[k] = lx[ix[k]] * ly[iy[k]];
    set(dXi, k, dx[ix[k]] * ly[iy[k]]);
    set(dEta, k, lx[ix[k]] * dy[iy[k]]);
  }
}

}  // namespace

void evaluate(int nodeCount, double xi, double eta, double* n, double* dXi, double* dEta) {
  switch (nodeCount) {
    case 2:
      n[0] = (1 - xi) / 2;
      n[1] = (1 + xi) / 2;
      set(dXi, 0, -0.5);
      set(dXi, 1, 0.5);
      set(dEta, 0, 0.0);
      set(dEta, 1, 0.0);
      return;
    case 3:
      n[0] = 1 - xi - eta;
      n[1] = xi;
      n[2] = eta;
      set(dXi, 0, -1.0);
      set(dXi, 1, 1.0);
      set(dXi, 2, 0.0);
      set(dEta, 0, -1.0);
      set(dEta, 1, 0.0);
      set(dEta, 2, 1.0);
      return;
    case 4:
      return quad4(xi, eta, n, dXi, dEta);
    case 6:
      return tri6(xi, eta, n, dXi, dEta);
    case 8:
      return quad8(xi, eta, n, dXi, dEta);
    case 9:
      return quad9(xi, eta, n, dXi, dEta);
    default:
      internalError("F_ElementShape", 1);
  }
}

F_NaturalPoint nodePosition(int nodeCount, int j) {
  static constexpr F_NaturalPoint kTri6[6] = {{0, 0}, {0.5, 0}, {1, 0}, {0.5, 0.5}, {0, 1}, {0, 0.5}};
  static constexpr F_NaturalPoint kQuad9[9] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1},
                                               {0, 1},   {-1, 1}, {-1, 0}, {0, 0}};
  if (!isSupported(nodeCount) || j < 1 || j > nodeCount) internalError("F_ElementShape", 2);
  switch (nodeCount) {
    case 2:
      return {j == 1 ? -1.0 : 1.0, 0.0};
    case 3:
      return {j == 2 ? 1.0 : 0.0, j == 3 ? 1.0 : 0.0};
    case 4:
      return {kQuadXi[j - 1], kQuadEta[j - 1]};
    case 6:
      return kTri6[j - 1];
    default:
      return kQuad9[j - 1];
  }
}

void sampleGrid(int nodeCount, int divisions, std::vector<F_NaturalPoint>& samples) {
  if (divisions < 1 || divisions > 20) internalError("F_ElementShape", 3);
  const int n = divisions;
  samples.clear();
  if (nodeCount == 2 || nodeCount == 3) {
    for (int j = 1; j <= nodeCount; ++j) samples.push_back(nodePosition(nodeCount, j));
  } else if (isQuadrilateral(nodeCount)) {
    for (int r = 1; r <= n + 1; ++r)
      for (int c = 1; c <= n + 1; ++c) samples.push_back({2.0 * (c - 1) / n - 1, 2.0 * (r - 1) / n - 1});
    for (int r = 1; r <= n; ++r)
      for (int c = 1; c <= n; ++c) samples.push_back({2.0 * c / n - 1 - 1.0 / n, 2.0 * r / n - 1 - 1.0 / n});
  } else if (nodeCount == 6) {
    for (int r = 1; r <= n + 1; ++r)
      for (int c = 1; c <= n + 2 - r; ++c) samples.push_back({double(c - 1) / n, double(r - 1) / n});
  }
}

}  // namespace F_ElementShape

void F_SampleTable::build(int nodeCount, int divisions) {
  if (!F_ElementShape::isSupported(nodeCount)) internalError("F_SampleTable", 1);
  nodeCount_ = nodeCount;
  divisions_ = divisions;
  F_ElementShape::sampleGrid(nodeCount, divisions, samples_);
  const std::size_t size = samples_.size() * nodeCount;
  n_.assign(size, 0.0);
  dXi_.assign(size, 0.0);
  dEta_.assign(size, 0.0);
  for (int s = 0; s < sampleCount(); ++s) {
    const std::size_t at = static_cast<std::size_t>(s) * nodeCount;
    F_ElementShape::evaluate(nodeCount, samples_[s].xi, samples_[s].eta, &n_[at], &dXi_[at], &dEta_[at]);
  }
  const int grouped = (sampleCount() + 3) / 4 * 4;
  for (auto [lanes, single] : {std::pair{&nLanes_, &n_}, {&dXiLanes_, &dXi_}, {&dEtaLanes_, &dEta_}}) {
    lanes->assign(static_cast<std::size_t>(grouped) * nodeCount, 0.0);
    for (int s = 0; s < sampleCount(); ++s) {
      for (int j = 0; j < nodeCount; ++j) {
        (*lanes)[static_cast<std::size_t>(s / 4 * 4 * nodeCount + 4 * j + s % 4)] =
            (*single)[static_cast<std::size_t>(s * nodeCount + j)];
      }
    }
  }
  reach_ = 0;
  for (int s = 0; s < sampleCount(); ++s) {
    double sum = 0;
    for (int j = 0; j < nodeCount; ++j) sum += std::fabs(n(s)[j]);
    reach_ = std::max(reach_, sum);
  }
  triangles_.clear();
  outline_.clear();
  if (F_ElementShape::isQuadrilateral(nodeCount)) {
    buildQuadrilateralCells();
  } else if (nodeCount == 6) {
    buildTriangleCells();
  } else if (nodeCount == 3) {
    triangles_ = {1, 2, 3};
    outline_ = {1, 2, 2, 3, 3, 1};
  } else {
    outline_ = {1, 2};
  }
  triangleGroups_.clear();
  for (std::size_t from = 0; from < triangles_.size(); from += 12) {
    TriangleGroup group;
    group.from = static_cast<int>(from);
    group.to = static_cast<int>(std::min(from + 12, triangles_.size()));
    for (int j = group.from; j < group.to; ++j) {
      const int sample = triangles_[static_cast<std::size_t>(j)] - 1;
      int* end = group.samples + group.sampleCount;
      if (std::find(group.samples, end, sample) == end) group.samples[group.sampleCount++] = sample;
    }
    triangleGroups_.push_back(group);
  }
  outlineSamples_.clear();
  for (const int s : outline_) outlineSamples_.push_back(s - 1);
  std::sort(outlineSamples_.begin(), outlineSamples_.end());
  outlineSamples_.erase(std::unique(outlineSamples_.begin(), outlineSamples_.end()), outlineSamples_.end());
}

// Four triangles per cell around its centre sample Q, cells row by row; the
// outline follows the bottom row, the top row, the left and right columns.
void F_SampleTable::buildQuadrilateralCells() {
  const int n = divisions_, w = n + 1;
  for (int r = 1; r <= n; ++r) {
    for (int c = 1; c <= n; ++c) {
      const int i = (r - 1) * w + c, k = i + w, q = w * w + (r - 1) * n + c;
      triangles_.insert(triangles_.end(), {i, i + 1, q, i + 1, k + 1, q, k, k + 1, q, i, k, q});
    }
  }
  for (int k = 1; k <= n; ++k) outline_.insert(outline_.end(), {k, k + 1});
  for (int m = n * w + 1; m <= n * w + n; ++m) outline_.insert(outline_.end(), {m, m + 1});
  for (int k = 0; k <= n - 1; ++k) outline_.insert(outline_.end(), {1 + k * w, 1 + (k + 1) * w});
  for (int k = 1; k <= n; ++k) outline_.insert(outline_.end(), {k * w, (k + 1) * w});
}

// Row r of the triangular grid starts at sample h and holds n + 2 - r samples;
// the row above starts at a. Each row gives 2(n - r) + 1 triangles.
void F_SampleTable::buildTriangleCells() {
  const int n = divisions_;
  int h = 1;
  for (int r = 1; r <= n; ++r) {
    const int a = h + n + 2 - r;
    for (int t = 0; t <= n - r - 1; ++t)
      triangles_.insert(triangles_.end(), {h + t, h + t + 1, a + t, a + t, h + t + 1, a + t + 1});
    triangles_.insert(triangles_.end(), {h + n - r, h + n - r + 1, a + n - r});
    h = a;
  }
  for (int k = 1; k <= n; ++k) outline_.insert(outline_.end(), {k, k + 1});
  h = 1;
  for (int r = 1; r <= n; ++r) {
    const int a = h + n + 2 - r;
    outline_.insert(outline_.end(), {h, a});
    h = a;
  }
  h = 1;
  for (int r = 1; r <= n; ++r) {
    const int a = h + n + 2 - r;
    const int lastHere = a - 1, lastNext = a + n + 1 - r - 1;  // row r + 1 holds n + 1 - r samples
    outline_.insert(outline_.end(), {lastHere, lastNext});
    h = a;
  }
}

bool F_ElementShape::hasFourLanes() {
#if defined(KAVRILON_FOUR_LANES)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

namespace {

// The sums of weightedSums for node count K; each lane adds its terms in
// node order as the one-sample loop does (no fused multiply-add is enabled).
#if defined(KAVRILON_FOUR_LANES)
template <int K>
[[gnu::target("avx2")]] int weightedSumsFourLanes(const F_SampleTable& table, const double* nodeValue, double* out) {
  const int count = table.sampleCount();
  int s = 0;
  for (; s + 3 < count; s += 4) {
    const double* nLanes = table.nLanes(s);
    __m256d v = _mm256_setzero_pd();
    for (int j = 0; j < K; ++j) v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_loadu_pd(nLanes + 4 * j), _mm256_set1_pd(nodeValue[j])));
    _mm256_storeu_pd(out + s, v);
  }
  return s;
}
#endif

}  // namespace

namespace {

#if defined(KAVRILON_FOUR_LANES)
// trianglesWithRowCentre for the cells of a quadrilateral's grid of n >= 2
// divisions (group g is cell g, row by row: corners i = s, s + 1, k = s + w,
// k + 1 and its centre q; triangles (i, i + 1, q), (i + 1, k + 1, q),
// (k, k + 1, q), (i, k, q)), four cells of a row at a time and then the four
// triangles of a cell at a time. Cell lanes start from -inf and +inf and
// take max(value, so far), which gives `so far` for a value that is not a
// number: the one-group loop's passing over. Triangle lanes take
// std::max(a, b) as max(b, a) and std::min(a, b) as min(b, a), the same
// value for every input. The loads past a row's last cell read samples (or
// the tail) whose lanes are dropped.
[[gnu::target("avx2")]] int quadCellsFourLanes(int n, const double* up, const double* down, int* out) {
  const int w = n + 1;
  int found = 0;
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; c += 4) {
      const int s = r * w + c;
      __m256d most = _mm256_set1_pd(-HUGE_VAL), least = _mm256_set1_pd(HUGE_VAL);
      for (const int at : {s, s + 1, s + w, s + w + 1, w * w + r * n + c}) {
        most = _mm256_max_pd(_mm256_loadu_pd(up + at), most);
        least = _mm256_min_pd(_mm256_loadu_pd(down + at), least);
      }
      int cells = _mm256_movemask_pd(_mm256_cmp_pd(most, least, _CMP_GE_OQ)) & ((1 << std::min(4, n - c)) - 1);
      for (; cells; cells &= cells - 1) {
        const int lane = __builtin_ctz(static_cast<unsigned>(cells));
        const int i = s + lane, k = i + w, q = w * w + r * n + c + lane;
        const __m256d upMost = _mm256_max_pd(
            _mm256_set1_pd(up[q]), _mm256_max_pd(_mm256_set_pd(up[k], up[k + 1], up[k + 1], up[i + 1]),
                                                 _mm256_set_pd(up[i], up[k], up[i + 1], up[i])));
        const __m256d downLeast = _mm256_min_pd(
            _mm256_set1_pd(down[q]), _mm256_min_pd(_mm256_set_pd(down[k], down[k + 1], down[k + 1], down[i + 1]),
                                                   _mm256_set_pd(down[i], down[k], down[i + 1], down[i])));
        const int first = 12 * (r * n + c + lane);  // the cell's first entry in triangles()
        // All four written, the count moved past those that hold one: which
        // do is as good as random, and a branch on it would often guess wrong.
        const int t = _mm256_movemask_pd(_mm256_cmp_pd(upMost, downLeast, _CMP_GE_OQ));
        for (int j = 0; j < 4; ++j) {
          out[found] = first + 3 * j;
          found += t >> j & 1;
        }
      }
    }
  }
  return found;
}
#endif

}  // namespace

int F_SampleTable::trianglesWithRowCentre(double* up, double* down, int* out) const {
#if defined(KAVRILON_FOUR_LANES)
  if (F_ElementShape::isQuadrilateral(nodeCount_) && divisions_ >= 2 && F_ElementShape::hasFourLanes()) {
    // The loads of the last cells reach three entries past the samples.
    for (int s = sampleCount(); s < sampleCount() + kBoundsTail; ++s) up[s] = down[s] = 0.0;
    return quadCellsFourLanes(divisions_, up, down, out);
  }
#endif
  int found = 0;
  for (const TriangleGroup& group : triangleGroups_) {
    double most = -HUGE_VAL, least = HUGE_VAL;
    for (int m = 0; m < group.sampleCount; ++m) {
      const int s = group.samples[m];
      if (up[s] > most) most = up[s];
      if (down[s] < least) least = down[s];
    }
    if (!(most >= least)) continue;
    for (int j = group.from; j < group.to; j += 3) {
      const int a = triangles_[static_cast<std::size_t>(j)] - 1, b = triangles_[static_cast<std::size_t>(j) + 1] - 1,
                c = triangles_[static_cast<std::size_t>(j) + 2] - 1;
      if (std::max(std::max(up[a], up[b]), up[c]) >= std::min(std::min(down[a], down[b]), down[c])) out[found++] = j;
    }
  }
  return found;
}

void F_SampleTable::weightedSums(const double* nodeValue, double* out) const {
  int first = 0;
#if defined(KAVRILON_FOUR_LANES)
  if (F_ElementShape::hasFourLanes()) {
    switch (nodeCount_) {
      case 3: first = weightedSumsFourLanes<3>(*this, nodeValue, out); break;
      case 4: first = weightedSumsFourLanes<4>(*this, nodeValue, out); break;
      case 6: first = weightedSumsFourLanes<6>(*this, nodeValue, out); break;
      case 8: first = weightedSumsFourLanes<8>(*this, nodeValue, out); break;
      case 9: first = weightedSumsFourLanes<9>(*this, nodeValue, out); break;
    }
  }
#endif
  for (int s = first; s < sampleCount(); ++s) {
    const double* w = n(s);
    double v = 0.0;
    for (int j = 0; j < nodeCount_; ++j) v += w[j] * nodeValue[j];
    out[s] = v;
  }
}
