#pragma once
// The small x-y-z triad in a corner of a view window: the model's axes as the
// view's angles turn them, drawn on the window over the copied picture and
// never into the picture, so exported and printed images stay as they are.

#include <array>

#include <QPointF>
#include <QRect>

class QPainter;

struct TriadAxis {
  char name;     // 'X', 'Y' or 'Z', as on the rotation cube
  QPointF tip;   // window offset of the axis end from the triad's centre, y down
  double depth;  // towards the viewer is larger
};

// The three axes for view angles (radians), each of length `length` pixels
// before projection, ordered farthest first (the order they are drawn in).
std::array<TriadAxis, 3> triadAxes(double phi, double psi, double alpha, double length);

// Draws the triad in the lower left corner of `client`.
void drawAxisTriad(QPainter& painter, const QRect& client, double phi, double psi, double alpha);
