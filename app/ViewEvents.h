#pragma once
// The window events a view answers, in toolkit-free form.

// The keys the view acts on; every other key is ignored.
enum class ViewKey { Left, Right, Up, Down, Home, End, Prior, Next, Add, Subtract, Space, Return };

// The buttons and modifier keys held with a mouse event.
struct MouseButtons {
  bool left = true;
  bool right = false;
  bool middle = false;
  bool shift = false;
  bool control = false;
};

// What a press of the left button is doing until it is released.
enum class MouseMode {
  Idle = 0,
  Pan = 1,               // plain drag: the canvas follows the pointer
  Rotate = 2,            // Shift drag: phi and psi follow the pointer
  ZoomDrag = 3,          // Ctrl drag: below the start zooms in, above zooms out
  ZoomWindowFirst = 4,   // Zoom command: waiting for the first corner
  ZoomWindowSecond = 5,  // waiting for the opposite corner
};

// The steps of the view's interaction.
namespace ViewSteps {
// pi as the program uses it wherever angles are stepped, preset or converted.
constexpr double kPi = 3.14159265358979;
constexpr double kHalfPi = 1.570796326794895;
// One key press or toolbar step of an angle: pi/64, 2.8125 degrees.
constexpr double kAngleStep = kPi * 0.015625;
// A rotation drag turns by this many steps per pixel; moving right or down lowers the angle.
constexpr double kDragStepsPerPixel = -0.05;
// Zoom In and the Ctrl+arrow keys; Zoom Out is the exact inverse.
constexpr double kZoomInFactor = 0.94;
constexpr double kZoomOutFactor = 1.0638297872340425;
// One mouse move of a Ctrl drag.
constexpr double kDragZoomIn = 0.97;
constexpr double kDragZoomOut = 1.0309278350515465;
// The Ctrl drag stops growing the canvas beyond this many pixels a side.
constexpr int kDragZoomLimit = 100000;
// A zoom window smaller than this in either direction is refused.
constexpr int kMinZoomWindow = 5;
}  // namespace ViewSteps
