#include "include/F_Errors.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "include/F_File.h"
#include "platform/UiServices.h"

std::string internalErrorText(const char* sourceName, int line) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Line n. %d", line);
  return std::string("INTERNAL ERROR - please report to Quelmar Software, Lda.") + "\n\n" +
         sourceName + "\n\n" + buf + "\n\n" + "Aborting...";
}

void internalError(const char* sourceName, int line) {
  ui().messageBox(internalErrorText(sourceName, line));
  std::fflush(nullptr);
  std::abort();
}

void outOfMemory() {
  ui().messageBox("ERROR\nNot enough memory.");
  std::fflush(nullptr);
  std::abort();
}

std::string readErrorText(std::string_view fileName, std::string_view filePath,
                          std::string_view message, int line) {
  std::string text;
  text.reserve(fileName.size() + filePath.size() + message.size() + 32);
  text.append(fileName).append("\n").append(filePath);
  if (line > 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Line n. %d", line);
    text.append("\n\n").append(buf);
  }
  text.append("\n\n").append(message);
  return text;
}

void reportReadError(std::string_view fileName, std::string_view filePath,
                     std::string_view message, int line) {
  ui().messageBox(readErrorText(fileName, filePath, message, line));
}

void reportReadError(const F_InputFile& file, std::string_view message, int line) {
  reportReadError(file.name(), file.path(), message, line);
}

void failRead(const F_InputFile& file, std::string_view message, int line) {
  if (file.guessing()) throw F_ReadAgain{};
  reportReadError(file, message, line);
  throw F_UserException{};
}

std::string formatAxisValue(double v) {
  char buf[400];
  const double a = std::fabs(v);
  // Infinite and undefined values have no digits to show: the label of a
  // value too large for nine characters.
  if (!std::isfinite(v)) return "#########";
  if (a >= 1e-4 && a < 9.9999995) {
    std::snprintf(buf, sizeof buf, "%9.6lf", v);
  } else if (a >= 9.9999995 && a < 10) {
    std::snprintf(buf, sizeof buf, "%9.5lf", v < 0 ? -10.0 : 10.0);
  } else if (a >= 10 && a < 999999.95) {
    int k = static_cast<int>(std::log10(a));
    // "%9." then 6 - k with "%1d" then "lf": 5 decimals for tens, down to 1.
    std::snprintf(buf, sizeof buf, "%9.*lf", 6 - k, v);
  } else if (a < 1e-20) {
    std::snprintf(buf, sizeof buf, "%9.6lf", 0.0);
  } else {
    int k = static_cast<int>(std::floor(std::log10(a)));
    double m = v / std::pow(10.0, k);
    if (std::fabs(m) >= 9.995) {
      ++k;
      m = v / std::pow(10.0, k);
    }
    if (k >= 100) return "#########";
    std::snprintf(buf, sizeof buf, "%5.2lfe%c%2.2d", m, k < 0 ? '-' : '+', k < 0 ? -k : k);
  }
  return buf;
}
