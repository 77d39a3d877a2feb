#include "gui/AxisTriad.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "common/F_MeshGeometry.h"

namespace {
constexpr double kAxisLength = 26.0;  // pixels
constexpr int kCornerInset = 38;      // from the left and bottom edges to the centre
}  // namespace

std::array<TriadAxis, 3> triadAxes(double phi, double psi, double alpha, double length) {
  // The rotation's rows are the view axes in model coordinates, so column k
  // is model axis k in view coordinates: depth, screen right, screen up.
  const F_MatrixReal m = viewRotationMatrix(phi, psi, alpha);
  std::array<TriadAxis, 3> axes{};
  for (int k = 1; k <= 3; ++k)
    axes[k - 1] = {static_cast<char>('X' + k - 1), QPointF(m(2, k) * length, -m(3, k) * length), m(1, k)};
  std::stable_sort(axes.begin(), axes.end(), [](const TriadAxis& a, const TriadAxis& b) { return a.depth < b.depth; });
  return axes;
}

void drawAxisTriad(QPainter& painter, const QRect& client, double phi, double psi, double alpha) {
  if (client.width() < 3 * kCornerInset || client.height() < 3 * kCornerInset) return;
  const QPointF centre(client.left() + kCornerInset, client.bottom() - kCornerInset);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QFont font = painter.font();
  font.setPixelSize(11);
  font.setBold(true);
  painter.setFont(font);
  // The colours of the rotation cube's axes: x red, y green, z blue.
  const QColor colours[3] = {QColor(200, 0, 0), QColor(0, 140, 0), QColor(0, 0, 210)};
  for (const TriadAxis& a : triadAxes(phi, psi, alpha, kAxisLength)) {
    const QColor c = colours[a.name - 'X'];
    const QPointF end = centre + a.tip;
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, end);
    painter.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, end);
    // The letter just beyond the end, pushed out along the axis.
    const QPointF dir = a.tip / std::max(1.0, std::hypot(a.tip.x(), a.tip.y()));
    const QPointF label = end + dir * 8.0;
    const QRectF box(label.x() - 6, label.y() - 7, 12, 14);
    painter.drawText(box, Qt::AlignCenter, QString(QChar(a.name)));
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  painter.drawEllipse(centre, 2.0, 2.0);
  painter.restore();
}
