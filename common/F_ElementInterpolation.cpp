#include "common/F_ElementInterpolation.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/F_RenderThreads.h"
#include "include/F_Errors.h"

namespace {

// The checks shared by the three point operations; returns the effective
// node count, or throws for one without shape functions.
int checkedNodeCount(const F_S3dLayer& layer, int element, double xi, double eta, int check) {
  if (element < 1 || element > layer.elementCount()) internalError("F_ElementInterpolation", check);
  constexpr double kLimit = 1.00000001;
  if (!(xi >= -kLimit && xi <= kLimit && eta >= -kLimit && eta <= kLimit))
    internalError("F_ElementInterpolation", check + 1);
  const int k = layer.element(element).effectiveNodeCount();
  if (k != 0 && !F_ElementShape::isSupported(k)) throw F_NotSupportedException{};
  return k;
}

}  // namespace

F_Point3D positionAt(const F_S3dLayer& layer, int element, double xi, double eta) {
  const int k = checkedNodeCount(layer, element, xi, eta, 1);
  F_Point3D p;
  if (k == 0) return p;
  double n[F_ElementShape::kMaxNodes];
  F_ElementShape::evaluate(k, xi, eta, n);
  const F_S3dElement& e = layer.element(element);
  for (int j = 0; j < k; ++j) {
    const F_Point3D& q = layer.point(e.node(j + 1));
    p.add(n[j] * q.x, n[j] * q.y, n[j] * q.z);
  }
  return p;
}

double intensityFromNormal(double normalX, double lengthSquared) {
  const double length = std::sqrt(lengthSquared);
  if (!(length >= kShortestNormal)) return 0.0;
  return std::fabs(normalX) / length;
}

double intensityFromTangents(const F_Point3D& t1, const F_Point3D& t2) {
  double normalX, lengthSquared;
  normalOf(t1, t2, normalX, lengthSquared);
  return intensityFromNormal(normalX, lengthSquared);
}

double shadingIntensityAt(const F_S3dLayer& layer, int element, double xi, double eta) {
  const int k = checkedNodeCount(layer, element, xi, eta, 3);
  if (k == 0) return 0.0;
  double n[F_ElementShape::kMaxNodes], dXi[F_ElementShape::kMaxNodes], dEta[F_ElementShape::kMaxNodes];
  F_ElementShape::evaluate(k, xi, eta, n, dXi, dEta);
  const F_S3dElement& e = layer.element(element);
  F_Point3D t1, t2;
  for (int j = 0; j < k; ++j) {
    const F_Point3D& q = layer.point(e.node(j + 1));
    t1.add(dXi[j] * q.x, dXi[j] * q.y, dXi[j] * q.z);
    t2.add(dEta[j] * q.x, dEta[j] * q.y, dEta[j] * q.z);
  }
  return intensityFromTangents(t1, t2);
}

double fieldValueAt(const F_S3dLayer& layer, int element, double xi, double eta, const F_VectorReal& values) {
  const int k = checkedNodeCount(layer, element, xi, eta, 5);
  if (k == 0) return 0.0;
  double n[F_ElementShape::kMaxNodes];
  F_ElementShape::evaluate(k, xi, eta, n);
  const F_S3dElement& e = layer.element(element);
  double v = 0.0;
  for (int j = 0; j < k; ++j) v += n[j] * values(e.node(j + 1));
  return v;
}

namespace {

// The extremes of the field over the samples of one element whose nodes hold
// nodeValue, folded in sample order.
void sampleExtremes(const F_SampleTable& table, const double* nodeValue, double& listMin, double& listMax) {
  double v[F_SampleTable::kMostSamples];
  table.weightedSums(nodeValue, v);
  for (int s = 0; s < table.sampleCount(); ++s) {
    listMin = std::min(listMin, v[s]);
    listMax = std::max(listMax, v[s]);
  }
}

}  // namespace

namespace {

// The extremes over elements [from, to] in their order, each folded in with
// std::min and std::max (so among equal values the first stays, the sign of
// a zero included). Elements without nodes repeat the sample list of the
// element before them; at the start of a run that one is not known, so they
// are left out and `leadingEmpty` says that they were there.
struct Extremes {
  double lo = 1e30, hi = -1e30;
  bool leadingEmpty = false;
  bool anyElement = false;  // with nodes
};

// Whether every weight of the table is at least 0 and every sample's weights
// add up to 1 to within 1e-13: then each sample lies between the smallest and
// the largest node value, give or take the rounding of its sum.
bool weightsBetweenNodes(const F_SampleTable& table) {
  for (int s = 0; s < table.sampleCount(); ++s) {
    const double* n = table.n(s);
    double sum = 0.0;
    for (int j = 0; j < table.nodeCount(); ++j) {
      if (!(n[j] >= 0.0)) return false;
      sum += n[j];
    }
    if (!(std::fabs(sum - 1.0) <= 1e-13)) return false;
  }
  return true;
}

// Whether no sample of an element with these node values (k of them, and
// weights as above) can reach lo or hi. A sample is a sum of k <= 9 terms
// n_j v_j with n_j >= 0 and weights adding up to 1 +- 1e-13, so it lies in
// [min v - e, max v + e] with e below 1e-12 * max |v| (the sum's rounding
// is under 1e-15 of it), far inside the margin taken here, whose own rounding
// is smaller still; 1e-300 covers products that fall below the normal
// numbers. A NaN or an infinity among the values never passes.
bool samplesInside(const double* v, int k, double lo, double hi) {
  double least = v[0], most = v[0], size = std::fabs(v[0]);
  for (int j = 1; j < k; ++j) {
    least = std::min(least, v[j]);
    most = std::max(most, v[j]);
    size = std::max(size, std::fabs(v[j]));
  }
  const double margin = 1e-11 * size + 1e-300;
  return least - margin > lo && most + margin < hi;
}

Extremes extremesOf(const F_S3dLayer& layer, int from, int to, int divisions, const F_VectorReal& values) {
  F_SampleTable tables[F_ElementShape::kMaxNodes + 1];
  bool betweenNodes[F_ElementShape::kMaxNodes + 1] = {};
  Extremes out;
  // The extremes of the one sample list that serves all elements in turn;
  // an empty list counts as 0.
  double listMin = 0.0, listMax = 0.0;
  // The list was left unformed because all its samples lie strictly inside
  // the extremes so far; they only widen, so it cannot change them later
  // either (for elements without nodes that repeat it).
  bool listInside = false;
  for (int i = from; i <= to; ++i) {
    const F_S3dElement& e = layer.element(i);
    const int k = e.effectiveNodeCount();
    if (k == 0 && !out.anyElement) {
      out.leadingEmpty = true;
      continue;
    }
    if (k != 0) {
      out.anyElement = true;
      listInside = false;
      listMin = listMax = 0.0;
      if (F_ElementShape::isSupported(k)) {
        F_SampleTable& table = tables[k];
        if (table.nodeCount() != k) {
          table.build(k, divisions);
          betweenNodes[k] = weightsBetweenNodes(table);
        }
        double nodeValue[F_ElementShape::kMaxNodes];
        for (int j = 0; j < k; ++j) nodeValue[j] = values(e.node(j + 1));
        if (betweenNodes[k] && samplesInside(nodeValue, k, out.lo, out.hi)) {
          listInside = true;
          continue;
        }
        listMin = 1e300;
        listMax = -1e300;
        sampleExtremes(table, nodeValue, listMin, listMax);
      }
    } else if (listInside) {
      continue;
    }
    out.lo = std::min(out.lo, listMin);
    out.hi = std::max(out.hi, listMax);
  }
  return out;
}

}  // namespace

F_Interval fieldRange(const F_S3dLayer& layer, int nXi, int nEta, const F_VectorReal& values) {
  if (nXi != nEta || nXi < 1 || nXi > 20) internalError("F_ElementInterpolation", 7);
  if (values.size() != layer.pointCount()) internalError("F_ElementInterpolation", 8);

  // Runs of elements on several threads, joined in their order: a fold with
  // std::min and std::max gives over the runs what it gives over all.
  const int elements = layer.elementCount();
  const int runs = std::clamp(elements / kFieldRangeElementsPerThread, 1, F_RenderThreads::count());
  std::vector<Extremes> run(static_cast<std::size_t>(runs));
  auto work = [&](int r) {
    const int from = static_cast<int>(static_cast<long long>(elements) * r / runs) + 1;
    const int to = static_cast<int>(static_cast<long long>(elements) * (r + 1) / runs);
    run[static_cast<std::size_t>(r)] = extremesOf(layer, from, to, nXi, values);
  };
  if (!F_RenderThreads::run(runs, work))
    for (int r = 0; r < runs; ++r) work(r);

  double lo = 1e30, hi = -1e30;
  bool anyElement = false;
  for (const Extremes& e : run) {
    // Elements without nodes before any with nodes have the empty list: 0.
    if (e.leadingEmpty && !anyElement) {
      lo = std::min(lo, 0.0);
      hi = std::max(hi, 0.0);
    }
    lo = std::min(lo, e.lo);
    hi = std::max(hi, e.hi);
    anyElement = anyElement || e.anyElement;
  }
  if (lo <= hi) return {lo, hi};
  return {-1e-6, 1e-6};
}

F_Interval fieldRange(const F_S3dMesh& mesh, int layerNumber, const F_DisplayOptions& options,
                      const F_VectorReal& values) {
  if (layerNumber < 1 || layerNumber > mesh.layerCount()) internalError("F_ElementInterpolation", 9);
  return fieldRange(mesh.layer(layerNumber), options.numberOfDivisions, options.numberOfDivisions, values);
}
