#include "common/F_LayerContext.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "include/F_FileTransfer.h"
#include "include/F_WordReader.h"
#include "platform/UiServices.h"

using LC = F_LayerContext;

const LC::RecordField LC::kRecord[LC::kRecordFields] = {
    {&LC::displayLayer, true, 0, 1, "ERROR\nDisplay layer option: expecting y or n.", "displayLayer", 1,
     "display layer", nullptr},
    {&LC::displayLines, true, 0, 1, "ERROR\nDisplay lines option: expecting y or n.", "displayLines", 1,
     "display lines", nullptr},
    {&LC::lineThickness, false, 1, 99, "ERROR\nLine thickness must be in the range [1,99]", "lineThickness", 1,
     "line thickness", "ERROR\nLine thickness must be in the range [1,99]."},
    {&LC::lineColor, false, 1, 16, "ERROR\nThe color index of the lines must be in the range [1,16]", "lineColor", 1,
     "line color", "ERROR\nThe color index of the lines must be\nin the range [1,16]."},
    {&LC::lineType, false, 0, 4, "ERROR\nLine type must be in the range [0,4]", "lineType", 0, "line type",
     "ERROR\nLine type must be in the range [0,4]."},
    {&LC::displayPointMarkers, true, 0, 1, "ERROR\nDisplay point markers option: expecting y or n.",
     "displayPointMarkers", 0, "display point markers", nullptr},
    {&LC::pointMarkerSize, false, 1, 99, "ERROR\nPoint marker size must be in the range [1,99]", "pointMarkerSize", 8,
     "point marker size", "ERROR\nPoint marker size must be in the range [1,99]."},
    {&LC::pointMarkerColor, false, 1, 16, "ERROR\nThe color index of the point markers must be in the range [1,16]",
     "pointMarkerColor", 9, "point marker color",
     "ERROR\nThe color index of the point markers must be\nin the range [1,16]."},
    {&LC::pointMarkerType, false, 0, 7, "ERROR\nPoint marker type must be in the range [0,7]", "pointMarkerType", 1,
     "point marker type", "ERROR\nPoint marker type must be in the range [0,7]."},
    {&LC::displaySpecialNodeMarkers, true, 0, 1, "ERROR\nDisplay special node markers option: expecting y or n.",
     "displaySpecialNodeMarkers", 0, "display special node markers", nullptr},
    {&LC::specialNodeMarkerSize, false, 1, 99, "ERROR\nSpecial node marker size must be in the range [1,99]",
     "specialNodeMarkerSize", 8, "special node marker size",
     "ERROR\nSpecial node marker size must be in the range [1,99]."},
    {&LC::specialNodeMarkerColor, false, 1, 16,
     "ERROR\nThe color index of the special node markers must be in the range [1,16]", "specialNodeMarkerColor", 4,
     "special node marker color", "ERROR\nThe color index of the special node markers must be\nin the range [1,16]."},
    {&LC::specialNodeMarkerType, false, 0, 7, "ERROR\nSpecial node marker type must be in the range [0,7]",
     "specialNodeMarkerType", 7, "special node marker type",
     "ERROR\nSpecial node marker type must be in the range [0,7]."},
    {&LC::displayPointNumbers, true, 0, 1, "ERROR\nDisplay point numbers option: expecting y or n.",
     "displayPointNumbers", 0, "display point numbers", nullptr},
    {&LC::pointNumberSize, false, 1, 99, "ERROR\nPoint number size must be in the range [1,99]", "pointNumberSize", 12,
     "point number size", "ERROR\nPoint number size must be in the range [1,99]."},
    {&LC::pointNumberColor, false, 1, 16, "ERROR\nThe color index of the point numbers must be in the range [1,16]",
     "pointNumberColor", 9, "point number color",
     "ERROR\nThe color index of the point numbers must be\nin the range [1,16]."},
    {&LC::displayElementNodeNumbers, true, 0, 1, "ERROR\nDisplay element node numbers option: expecting y or n.",
     "displayElementNodeNumbers", 0, "display element node numbers", nullptr},
    {&LC::elementNodeNumberSize, false, 1, 99, "ERROR\nElement node number size must be in the range [1,99]",
     "elementNodeNumberSize", 12, "element node number size",
     "ERROR\nElement node number size must be in the range [1,99]."},
    {&LC::elementNodeNumberColor, false, 1, 16,
     "ERROR\nThe color index of the element node numbers must be in the range [1,16]", "elementNodeNumberColor", 6,
     "element node number color", "ERROR\nThe color index of the element node numbers must be\nin the range [1,16]."},
    {&LC::displayElementNumbers, true, 0, 1, "ERROR\nDisplay element numbers option: expecting y or n.",
     "displayElementNumbers", 0, "display element numbers", nullptr},
    {&LC::elementNumberSize, false, 1, 99, "ERROR\nElement number size must be in the range [1,99]",
     "elementNumberSize", 12, "element number size", "ERROR\nElement number size must be in the range [1,99]."},
    {&LC::elementNumberColor, false, 1, 16,
     "ERROR\nThe color index of the element numbers must be in the range [1,16]", "elementNumberColor", 2,
     "element number color", "ERROR\nThe color index of the element numbers must be\nin the range [1,16]."},
    {&LC::displaySpecialNodeNumbers, true, 0, 1, "ERROR\nDisplay special node numbers option: expecting y or n.",
     "displaySpecialNodeNumbers", 0, "display special node numbers", nullptr},
    {&LC::specialNodeNumberSize, false, 1, 99, "ERROR\nSpecial node number size must be in the range [1,99]",
     "specialNodeNumberSize", 12, "special node number size",
     "ERROR\nSpecial node number size must be in the range [1,99]."},
    {&LC::specialNodeNumberColor, false, 1, 16,
     "ERROR\nThe color index of the special node numbers must be in the range [1,16]", "specialNodeNumberColor", 4,
     "special node number color", "ERROR\nThe color index of the special node numbers must be\nin the range [1,16]."},
};

const LC::RecordField LC::kShrinkField = {&LC::shrinkFactor, false, 1, 9999, "", "shrinkFactor", 100, "",
                                          "ERROR\nShrink factor must be in the range [1,9999]."};

const LC::RecordField* LC::field(Field LC::*member) {
  if (member == kShrinkField.member) return &kShrinkField;
  for (const RecordField& f : kRecord)
    if (f.member == member) return &f;
  return nullptr;
}

void LC::setField(Field LC::*member, int v) {
  const RecordField* f = field(member);
  this->*member = static_cast<Field>(v >= f->lo && v <= f->hi ? v : f->defaultValue);
}

namespace {
// Normalisation keeps an angle of exactly -pi, which the header test refuses
// (-180 degrees lies outside, 180 inside). The writers store such an angle as
// the same direction +pi, so every file the program writes reads back.
double storedAngle(double a) {
  if (a < 1e-8 - F_DisplayOptions::kPi && a + F_DisplayOptions::kTwoPi <= F_DisplayOptions::kPi + 1e-8)
    return a + F_DisplayOptions::kTwoPi;
  return a;
}

// An angle as the .cfg writes it. Six decimals could round an angle just
// inside pi + 1e-8 up to a text the reader refuses; 180 is always read back.
double cfgDegrees(double radians) {
  return std::min(180.0, F_DisplayOptions::radiansToDegrees(storedAngle(radians)));
}

}  // namespace

// ---- F_LayerContext ----

bool F_LayerContext::isValid() const {
  if (shrinkFactor < kShrinkField.lo || shrinkFactor > kShrinkField.hi) return false;
  for (const auto& f : kRecord) {
    if (!f.isFlag && (this->*f.member < f.lo || this->*f.member > f.hi)) return false;
  }
  return true;
}

void F_LayerContext::setShrinkFactor(int v) { setField(&LC::shrinkFactor, v); }
void F_LayerContext::setLineThickness(int v) { setField(&LC::lineThickness, v); }
void F_LayerContext::setLineColor(int v) { setField(&LC::lineColor, v); }
void F_LayerContext::setLineType(int v) { setField(&LC::lineType, v); }
void F_LayerContext::setPointMarkerSize(int v) { setField(&LC::pointMarkerSize, v); }
void F_LayerContext::setPointMarkerColor(int v) { setField(&LC::pointMarkerColor, v); }
void F_LayerContext::setPointMarkerType(int v) { setField(&LC::pointMarkerType, v); }
void F_LayerContext::setSpecialNodeMarkerSize(int v) { setField(&LC::specialNodeMarkerSize, v); }
void F_LayerContext::setSpecialNodeMarkerColor(int v) { setField(&LC::specialNodeMarkerColor, v); }
void F_LayerContext::setSpecialNodeMarkerType(int v) { setField(&LC::specialNodeMarkerType, v); }
void F_LayerContext::setPointNumberSize(int v) { setField(&LC::pointNumberSize, v); }
void F_LayerContext::setPointNumberColor(int v) { setField(&LC::pointNumberColor, v); }
void F_LayerContext::setElementNodeNumberSize(int v) { setField(&LC::elementNodeNumberSize, v); }
void F_LayerContext::setElementNodeNumberColor(int v) { setField(&LC::elementNodeNumberColor, v); }
void F_LayerContext::setElementNumberSize(int v) { setField(&LC::elementNumberSize, v); }
void F_LayerContext::setElementNumberColor(int v) { setField(&LC::elementNumberColor, v); }
void F_LayerContext::setSpecialNodeNumberSize(int v) { setField(&LC::specialNodeNumberSize, v); }
void F_LayerContext::setSpecialNodeNumberColor(int v) { setField(&LC::specialNodeNumberColor, v); }

bool F_LayerContext::operator==(const F_LayerContext& o) const {
  if (shrinkFactor != o.shrinkFactor) return false;
  for (const auto& f : kRecord) {
    if (this->*f.member != o.*f.member) return false;
  }
  return true;
}

void F_LayerContext::Serialize(F_Archive& ar) {
  std::int32_t record[kRecordFields];
  if (ar.isStoring()) {
    for (int i = 0; i < kRecordFields; ++i) record[i] = this->*kRecord[i].member;
    ar.writeInts(record, kRecordFields);
    return;
  }
  ar.readInts(record, kRecordFields, "layer context");
  // Numbers are tested before they are narrowed to their two bytes; a flag
  // only tells shown from hidden.
  bool inRange = true;
  for (int i = 0; i < kRecordFields; ++i) {
    const RecordField& f = kRecord[i];
    if (f.isFlag) {
      this->*f.member = static_cast<Field>(record[i] >= -32768 && record[i] <= 32767 ? record[i] : 1);
    } else if (record[i] < f.lo || record[i] > f.hi) {
      inRange = false;
    } else {
      this->*f.member = static_cast<Field>(record[i]);
    }
  }
  // shrinkFactor is not stored: it keeps what the object held, 100 when fresh.
  if (!inRange || !isValid()) {
    resetToDefaults();
    F_Archive::fail("layer context values");
  }
}

// ---- F_LayerContextList ----

namespace {
// The contexts a fresh mesh gives its layers: index 0 is the plain default,
// index k the default with line colour k + 1.
const F_LayerContext& patternContext(int colorIndex) {
  static const auto table = [] {
    std::array<F_LayerContext, 15> t{};
    for (int k = 0; k < 15; ++k) t[static_cast<std::size_t>(k)].lineColor = static_cast<F_LayerContext::Field>(k + 1);
    return t;
  }();
  return table[static_cast<std::size_t>(colorIndex)];
}
}  // namespace

const F_LayerContext& F_LayerContextList::operator()(int i) const {
  if (i < 1 || i > count_) internalError("F_LayerContextList", 1);
  if (!stored_.empty()) return stored_(i);
  return patternContext(pattern_ == Pattern::Defaults ? 0 : (i - 1) % 15);
}

F_LayerContext& F_LayerContextList::operator()(int i) {
  if (i < 1 || i > count_) internalError("F_LayerContextList", 1);
  if (stored_.empty()) expand();
  return stored_(i);
}

void F_LayerContextList::expand() {
  stored_.resize(count_);
  if (pattern_ == Pattern::CycledLineColors) {
    for (int i = 1; i <= count_; ++i) stored_(i).lineColor = static_cast<F_LayerContext::Field>(((i - 1) % 15) + 1);
  }
}

void F_LayerContextList::dropStoredIfFresh() {
  if (stored_.empty()) return;
  for (Pattern p : {Pattern::Defaults, Pattern::CycledLineColors}) {
    bool fresh = true;
    for (int i = 1; fresh && i <= count_; ++i) {
      fresh = stored_(i) == patternContext(p == Pattern::Defaults ? 0 : (i - 1) % 15);
    }
    if (fresh) {
      pattern_ = p;
      stored_.resize(0);
      return;
    }
  }
}

void F_LayerContextList::clear() {
  count_ = 0;
  pattern_ = Pattern::Defaults;
  stored_.resize(0);
}

void F_LayerContextList::assignDefaults(int n) {
  if (n < 0) internalError("F_LayerContextList", 2);
  clear();
  count_ = n;
}

void F_LayerContextList::cycleLineColors() {
  if (stored_.empty()) {
    pattern_ = Pattern::CycledLineColors;
    return;
  }
  for (int i = 1; i <= count_; ++i) stored_(i).lineColor = static_cast<F_LayerContext::Field>(((i - 1) % 15) + 1);
}

void F_LayerContextList::reserve(int n) {
  if (count_ > 0 && stored_.empty()) expand();
  stored_.reserve(n);
}

void F_LayerContextList::append(const F_LayerContext& c) {
  if (count_ > 0 && stored_.empty()) expand();
  stored_.append(c);
  ++count_;
}

bool F_LayerContextList::operator==(const F_LayerContextList& o) const {
  if (count_ != o.count_) return false;
  if (stored_.empty() && o.stored_.empty() && pattern_ == o.pattern_) return true;
  for (int i = 1; i <= count_; ++i) {
    if (!((*this)(i) == o(i))) return false;
  }
  return true;
}

// ---- F_DisplayOptions ----

bool F_DisplayOptions::operator==(const F_DisplayOptions& o) const {
  return phi == o.phi && psi == o.psi && alpha == o.alpha && minX1 == o.minX1 && maxX1 == o.maxX1 &&
         minX2 == o.minX2 && maxX2 == o.maxX2 && numberOfDivisions == o.numberOfDivisions &&
         overprintMesh == o.overprintMesh && layerContexts == o.layerContexts;
}

void F_DisplayOptions::resetHeader() {
  phi = psi = alpha = 0.0;
  minX1 = 4;
  maxX1 = 8;
  minX2 = 6;
  maxX2 = 18;
  numberOfDivisions = 3;
  overprintMesh = 1;
}

bool F_DisplayOptions::isValid() const {
  const double lo = 1e-8 - kPi, hi = kPi + 1e-8;
  // Written so that a NaN angle fails too.
  for (double a : {phi, psi, alpha}) {
    if (!(a >= lo && a <= hi)) return false;
  }
  for (int m : {minX1, maxX1, minX2, maxX2}) {
    if (m < 1 || m > 100) return false;
  }
  return numberOfDivisions >= 1 && numberOfDivisions <= 20;
}

void F_DisplayOptions::normalizeAngles() {
  double* angles[3] = {&phi, &psi, &alpha};
  for (double* a : angles) {
    // The negated test also catches NaN, which the loop below would keep.
    if (!(*a >= -10000.0 && *a <= 10000.0)) {
      ui().messageBox("WARNING\nInvalid input data replaced with default values.");
      phi = psi = alpha = 0.0;
      break;
    }
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (double* a : angles) {
      if (*a > kPi) {
        *a -= kTwoPi;
        changed = true;
      }
      if (*a < -kPi) {
        *a += kTwoPi;
        changed = true;
      }
    }
  }
  for (double* a : angles) {
    if (*a > -1e-8 && *a < 1e-8) *a = 0.0;
  }
}

void F_DisplayOptions::setAngles(double phi_, double psi_, double alpha_) {
  phi = phi_;
  psi = psi_;
  alpha = alpha_;
  normalizeAngles();
}

void F_DisplayOptions::addToPhi(double radians) {
  phi += radians;
  normalizeAngles();
}

void F_DisplayOptions::addToPsi(double radians) {
  psi += radians;
  normalizeAngles();
}

void F_DisplayOptions::addToAlpha(double radians) {
  alpha += radians;
  normalizeAngles();
}

void F_DisplayOptions::setMargins(int minX1_, int maxX1_, int minX2_, int maxX2_) {
  minX1 = std::clamp(minX1_, 1, 100);
  maxX1 = std::clamp(maxX1_, 1, 100);
  minX2 = std::clamp(minX2_, 1, 100);
  maxX2 = std::clamp(maxX2_, 1, 100);
}

void F_DisplayOptions::setNumberOfDivisions(int n) { numberOfDivisions = std::clamp(n, 1, 20); }

void F_DisplayOptions::resetForMesh(int layerCount, double phi_, double psi_, double alpha_, int minX1_,
                                    int maxX1_, int minX2_, int maxX2_, int numberOfDivisions_,
                                    int overprintMesh_) {
  if (layerCount < 0) internalError("F_DisplayOptions", 1);
  setAngles(phi_, psi_, alpha_);
  setMargins(minX1_, maxX1_, minX2_, maxX2_);
  setNumberOfDivisions(numberOfDivisions_);
  overprintMesh = overprintMesh_;
  layerContexts.assignDefaults(layerCount);
}

void F_DisplayOptions::resetForImportedMesh(int layerCount) {
  resetForMesh(layerCount, 0.0, 0.0, 0.0, 4, 8, 6, 18, 3, 1);
  // Colour 16 (white) is never given by default.
  layerContexts.cycleLineColors();
}

void F_DisplayOptions::Serialize(F_Archive& ar) {
  if (ar.isStoring()) {
    ar.writeReal(storedAngle(phi));
    ar.writeReal(storedAngle(psi));
    ar.writeReal(storedAngle(alpha));
  } else {
    phi = ar.readReal("phi");
    psi = ar.readReal("psi");
    alpha = ar.readReal("alpha");
  }
  ar.exchange(minX1, "minX1");
  ar.exchange(maxX1, "maxX1");
  ar.exchange(minX2, "minX2");
  ar.exchange(maxX2, "maxX2");
  ar.exchange(numberOfDivisions, "numberOfDivisions");
  ar.exchange(overprintMesh, "overprintMesh");
  if (ar.isStoring()) {
    ar.writeInt(layerCount());
    for (int i = 1; i <= layerCount(); ++i) {
      F_LayerContext record = std::as_const(layerContexts)(i);
      record.Serialize(ar);
    }
    return;
  }
  if (!isValid()) {
    resetHeader();
    F_Archive::fail("display options header");
  }
  const int n = ar.readCount(4 * F_LayerContext::kRecordFields, "layer context count");
  layerContexts.assignDefaults(n);
  for (int i = 1; i <= n; ++i) layerContexts(i).Serialize(ar);
  // Views copy these options: contexts nobody changed are not copied one by one.
  layerContexts.dropStoredIfFresh();
}

// ---- the .cfg file ----

namespace {

// A legend group ends, with an empty line, where the next flag opens another.
bool endsLegendGroup(int k) {
  return k + 1 < F_LayerContext::kRecordFields && F_LayerContext::kRecord[k + 1].isFlag;
}

// A number's column: two digits where the range reaches 10.
int columnWidth(const F_LayerContext::RecordField& f) { return f.hi >= 10 ? 2 : 1; }

char yn(int flag) { return flag ? 'y' : 'n'; }

// A y/n flag in either case: 1 for y, 0 for n, -1 for anything else.
int readFlag(F_InputFile& file) {
  char c = readChar(file);
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return c == 'y' ? 1 : c == 'n' ? 0 : -1;
}

// A smallest layer record: 27 one-byte words with their delimiters.
constexpr std::uint64_t kMinCfgRecordBytes = 54;

}  // namespace

void F_DisplayOptions::writeCfg(F_OutputFile& file) const {
  file.write("# Angles:\n");
  file.printf(" %14.6lf ; # Phi angle (degrees)\n", cfgDegrees(phi));
  file.printf(" %14.6lf ; # Psi angle (degrees)\n", cfgDegrees(psi));
  file.printf(" %14.6lf ; # Alpha angle (degrees)\n", cfgDegrees(alpha));
  file.write("\n# Margins:\n");
  file.printf(" %8d ; # Min X1 (%%) [1,100]\n", minX1);
  file.printf(" %8d ; # Max X1 (%%) [1,100]\n", maxX1);
  file.printf(" %8d ; # Min X2 (%%) [1,100]\n", minX2);
  file.printf(" %8d ; # Max X2 (%%) [1,100]\n", maxX2);
  file.write("\n# Rendering:\n");
  file.printf(" %8d ; # Number of divisions [1,20]\n", numberOfDivisions);
  file.printf("        %1c ; # Overprint mesh (y/n)\n", yn(overprintMesh));
  file.write("\n# Layers:\n");
  file.printf(" %8d ; # Number of layers\n", layerCount());
  file.write("\n");
  // The legend and the columns follow the record: a flag opens each group.
  file.write("#  A -> layer number\n");
  std::string header = "\n#  A";
  for (int k = 0; k < F_LayerContext::kRecordFields; ++k) {
    const F_LayerContext::RecordField& f = F_LayerContext::kRecord[k];
    const char letter = static_cast<char>('B' + k);
    char range[16];
    if (f.isFlag) {
      std::snprintf(range, sizeof range, "%-6s", "y/n");
    } else {
      std::snprintf(range, sizeof range, "[%d,%d]", f.lo, f.hi);
      std::snprintf(range, sizeof range, "%-6s", std::string(range).c_str());
    }
    file.printf("#  %c -> %s - %s\n", letter, range, f.legend);
    if (endsLegendGroup(k)) file.write("\n");
    header += f.isFlag ? "    " : columnWidth(f) == 2 ? "  " : " ";
    header += letter;
  }
  file.write(header + "\n");
  for (int i = 1; i <= layerCount(); ++i) {
    const F_LayerContext& c = layerContexts(i);
    file.printf("%4d", i);
    for (const F_LayerContext::RecordField& f : F_LayerContext::kRecord) {
      if (f.isFlag) {
        file.printf("    %1c", yn(c.*f.member));
      } else {
        file.printf(columnWidth(f) == 2 ? " %2d" : " %1d", c.*f.member);
      }
    }
    file.write(" ; \n");
  }
  file.write("\nEND_OF_FILE\n");
}

void F_DisplayOptions::readCfg(F_InputFile& file) {
  int& lineNumber = file.lineNumber();
  *this = F_DisplayOptions();
  const F_FixedChar semicolon(';');

  // Each value is tested as soon as it is read; the values not read yet still
  // hold their valid defaults, so the header test names the value just read.
  auto readAngle = [&](double& angle, const char* message) {
    angle = degreesToRadians(readReal(file));
    if (!isValid()) failRead(file, message, lineNumber);
    semicolon.expectChar(file);
  };
  auto readHeaderInt = [&](std::int32_t& value, const char* message) {
    value = readInteger(file);
    if (!isValid()) failRead(file, message, lineNumber);
    semicolon.expectChar(file);
  };

  readAngle(phi, "ERROR\nPhi angle must be in the range ]-180,180] (degrees)");
  readAngle(psi, "ERROR\nPsi angle must be in the range ]-180,180] (degrees)");
  readAngle(alpha, "ERROR\nAlpha angle must be in the range ]-180,180] (degrees)");
  const char* const marginMessage = "ERROR\nMargin must be an integer in the range [1,100].";
  readHeaderInt(minX1, marginMessage);
  readHeaderInt(maxX1, marginMessage);
  readHeaderInt(minX2, marginMessage);
  readHeaderInt(maxX2, marginMessage);
  readHeaderInt(numberOfDivisions, "ERROR\nNumber of divisions must be in the range [1,20].");

  const int overprint = readFlag(file);
  if (overprint < 0) failRead(file, "ERROR\nOverprint mesh option: expecting y or n.", lineNumber);
  overprintMesh = overprint;
  semicolon.expectChar(file);

  const int n = readInteger(file);
  if (n < 1) failRead(file, "ERROR\nNumber of layers must be greater than zero.", lineNumber);
  semicolon.expectChar(file);

  // The contexts grow as records are read: a count the rest of the file cannot
  // hold ends at the end of the file instead of in one huge allocation.
  layerContexts.clear();
  layerContexts.reserve(static_cast<int>(std::min<std::uint64_t>(n, file.remaining() / kMinCfgRecordBytes)));
  for (int i = 1; i <= n; ++i) {
    layerContexts.append(F_LayerContext());
    F_LayerContext& context = layerContexts.last();
    if (readInteger(file) != i) failRead(file, "ERROR\nBad item count.", lineNumber);
    int flags[F_LayerContext::kRecordFields];
    for (int k = 0; k < F_LayerContext::kRecordFields; ++k) {
      const auto& field = F_LayerContext::kRecord[k];
      if (field.isFlag) {
        flags[k] = readFlag(file);
        if (flags[k] < 0) failRead(file, field.message, lineNumber);
        if (k == 0) context.shrinkFactor = 100;
      } else {
        const int v = readInteger(file);
        if (v < field.lo || v > field.hi) failRead(file, field.message, lineNumber);
        context.*field.member = static_cast<F_LayerContext::Field>(v);
      }
    }
    for (int k = 0; k < F_LayerContext::kRecordFields; ++k) {
      const auto& field = F_LayerContext::kRecord[k];
      if (field.isFlag) context.*field.member = static_cast<F_LayerContext::Field>(flags[k]);
    }
    semicolon.expectChar(file);
  }

  F_Word word;
  readWord(file, word);
  if (word.view() != "END_OF_FILE") failRead(file, "ERROR\nExpecting the following keyword: END_OF_FILE", lineNumber);
}

bool F_DisplayOptions::readCfgFile(const std::string& path) {
  F_DisplayOptions read;
  if (!readWholeFile(path, [&](F_InputFile& file) { read.readCfg(file); })) return false;
  *this = std::move(read);
  return true;
}

bool F_DisplayOptions::writeCfgFile(const std::string& path) const {
  return writeWholeFile(path, F_OutputFile::Mode::Text, [&](F_OutputFile& file) {
    file.write("# Kavrilon Display Options\n\n");
    writeCfg(file);
    return true;
  });
}

bool F_DisplayOptions::applyReadOptions(const F_DisplayOptions& read, int meshLayerCount) {
  if (read.layerCount() != meshLayerCount) {
    ui().messageBox(
        "ERROR\nThe number of layers specified in the file\nwith display options (.cfg) does not match the\n"
        "number of layers of the document.\nThe content of the .cfg file is ignored.");
    return false;
  }
  *this = read;
  return true;
}
