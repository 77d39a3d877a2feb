#include "platform/raster/RasterFonts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <system_error>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QString>
#include <QStringList>

void ensureGuiApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Batch runs (CI, cron, ssh) often have no runtime directory; Qt would warn
  // about it on every start, so give it a private one as a session would.
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    std::string dir = "/tmp/kavrilon-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0 && st.st_uid == getuid() && (st.st_mode & 0777) == 0700) {
      qputenv("XDG_RUNTIME_DIR", dir.c_str());
    }
  }
  // The application object keeps references to argc and argv for its lifetime.
  static int argc = 1;
  static char name[] = "kavrilon";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

QFont toQFont(const Font& font) {
  const QString face = QString::fromStdString(font.face);
  QStringList families{face};
  // Metric-compatible twins first after the asked face, so layouts measured
  // with the original faces keep their widths.
  if (face.compare("Courier New", Qt::CaseInsensitive) == 0) families << "Liberation Mono";
  if (face.compare("Arial", Qt::CaseInsensitive) == 0) families << "Liberation Sans";
  if (face.compare("Times New Roman", Qt::CaseInsensitive) == 0) families << "Liberation Serif";

  QFont q;
  q.setFamilies(families);
  q.setPixelSize(font.pixelHeight > 0 ? font.pixelHeight : 1);
  // Weights 100..900 as on the other platform; Qt 6 uses the same scale.
  q.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight > 0 ? font.weight : 400, 100, 900)));
  q.setStyleStrategy(QFont::NoAntialias);
  q.setHintingPreference(QFont::PreferFullHinting);
  q.setKerning(false);
  return q;
}

FontWarmUp::FontWarmUp() {
  try {
    thread_ = std::thread([] {
      // The two families the view writes with; Qt's font database is shared
      // and locked, so the fonts found here serve the painting thread.
      for (const Font& font : {Font{"Arial", 16, 700}, Font{"Courier New", 12, 400}}) {
        (void)QFontMetrics(toQFont(font)).ascent();
      }
    });
  } catch (const std::system_error&) {
    // No thread to spare: the fonts are found when first used, as without this.
  }
}

FontWarmUp::~FontWarmUp() {
  if (thread_.joinable()) thread_.join();
}
