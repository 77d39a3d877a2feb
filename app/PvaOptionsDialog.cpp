#include "app/PvaOptionsDialog.h"

#include "common/F_ColorTable.h"
#include "include/F_WordReader.h"

void PvaOptionsDialog::onDefault() {
  colors = std::to_string(kDefaultColors);
  sideBarMinimum = fileMinimum;
  sideBarMaximum = fileMaximum;
}

std::optional<std::string> PvaOptionsDialog::check() const {
  std::string message;
  if (!isInteger(colors, message)) return message;
  if (!isReal(sideBarMinimum, message)) return message;
  if (!isReal(sideBarMaximum, message)) return message;
  const int n = numberOfColors();
  if (n < F_ColorTable::kMinRainbow || n > F_ColorTable::kMaxRainbow)
    return std::string("ERROR\nThe number of rainbow colors must be\nin the range [2,3000].");
  if (minimum() == maximum()) return std::string("ERROR\nCoincident minimum and maximum values.");
  if (minimum() > maximum()) return std::string("ERROR\nMinimum value greater than maximum value.");
  return std::nullopt;
}

int PvaOptionsDialog::numberOfColors() const { return toInteger(colors); }
double PvaOptionsDialog::minimum() const { return toReal(sideBarMinimum); }
double PvaOptionsDialog::maximum() const { return toReal(sideBarMaximum); }

std::vector<std::pair<int, std::string>> PvaOptionsDialog::fields() const {
  return {{kSideBarMinimum, sideBarMinimum}, {kSideBarMaximum, sideBarMaximum}, {kFileMinimum, fileMinimum},
          {kFileMaximum, fileMaximum},       {kPoints, points},                 {kColors, colors}};
}

bool PvaOptionsDialog::setText(int id, const std::string& text) {
  switch (id) {
    case kColors:
      colors = text;
      return true;
    case kSideBarMinimum:
      sideBarMinimum = text;
      return true;
    case kSideBarMaximum:
      sideBarMaximum = text;
      return true;
    default:
      return false;
  }
}
