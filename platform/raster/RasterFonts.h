#pragma once
// Fonts for the raster surface. Qt needs a GUI application object before it
// can load a font; batch programs and tests call ensureGuiApplication() first
// (the desktop program has made its own by then).

#include <thread>

#include <QFont>

#include "platform/DeviceContext.h"

// Creates a QGuiApplication when none exists, on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise. Safe to call any number of times.
void ensureGuiApplication();

// The face, em height in pixels and weight of `font`, without antialiasing.
// "Courier New" and "Arial" resolve to their metric twins Liberation Mono and
// Liberation Sans when the system has no font of that name.
QFont toQFont(const Font& font);

// Finds the faces of the view's texts on a thread of its own while the caller
// goes on (loading a mesh, say): the first look-up of a font reads the
// system's whole font configuration, a good part of a small render's time.
// Destroying the object waits for that thread. Needs the GUI application.
class FontWarmUp {
 public:
  FontWarmUp();
  ~FontWarmUp();
  FontWarmUp(const FontWarmUp&) = delete;
  FontWarmUp& operator=(const FontWarmUp&) = delete;

 private:
  std::thread thread_;
};
