#pragma once
// Fonts for the raster surface. Qt needs a GUI application object before it
// can load a font; batch programs and tests call ensureGuiApplication() first
// (the desktop program has made its own by then).

#include <QFont>

#include "platform/DeviceContext.h"

// Creates a QGuiApplication when none exists, on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise. Safe to call any number of times.
void ensureGuiApplication();

// The face, em height in pixels and weight of `font`, without antialiasing.
// "Courier New" and "Arial" resolve to their metric twins Liberation Mono and
// Liberation Sans when the system has no font of that name.
QFont toQFont(const Font& font);
