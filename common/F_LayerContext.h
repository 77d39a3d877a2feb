#pragma once
// Display options: F_LayerContext holds how one layer is shown, F_DisplayOptions
// the angles, margins, shading divisions, overprint flag and one layer context
// per mesh layer of a view or of the document. Both are plain values; every
// setter replaces out-of-range input, so values that came through the setters
// are always valid.

#include <cstdint>
#include <string>
#include <utility>

#include "include/F_Archive.h"
#include "include/F_File.h"
#include "include/F_Vector.h"

class F_LayerContext {
 public:
  // A plain value without a virtual table: one is held per layer, and a
  // model may have millions of layers.
  F_LayerContext() = default;

  // The 25-field archive record (everything except shrinkFactor). Loading a
  // record that fails isValid puts the defaults back and throws F_ArchiveException.
  void Serialize(F_Archive& ar);

  void resetToDefaults() { *this = F_LayerContext(); }
  // Every number in its range; flags are not tested.
  bool isValid() const;

  // Flags: 1 shown, 0 hidden.
  void showLayer() { displayLayer = 1; }
  void hideLayer() { displayLayer = 0; }
  void toggleLayer() { displayLayer = displayLayer ? 0 : 1; }
  void showLines() { displayLines = 1; }
  void hideLines() { displayLines = 0; }
  void toggleLines() { displayLines = displayLines ? 0 : 1; }
  void showPointMarkers() { displayPointMarkers = 1; }
  void hidePointMarkers() { displayPointMarkers = 0; }
  void togglePointMarkers() { displayPointMarkers = displayPointMarkers ? 0 : 1; }
  void showSpecialNodeMarkers() { displaySpecialNodeMarkers = 1; }
  void hideSpecialNodeMarkers() { displaySpecialNodeMarkers = 0; }
  void toggleSpecialNodeMarkers() { displaySpecialNodeMarkers = displaySpecialNodeMarkers ? 0 : 1; }
  void showPointNumbers() { displayPointNumbers = 1; }
  void hidePointNumbers() { displayPointNumbers = 0; }
  void togglePointNumbers() { displayPointNumbers = displayPointNumbers ? 0 : 1; }
  void showElementNodeNumbers() { displayElementNodeNumbers = 1; }
  void hideElementNodeNumbers() { displayElementNodeNumbers = 0; }
  void toggleElementNodeNumbers() { displayElementNodeNumbers = displayElementNodeNumbers ? 0 : 1; }
  void showElementNumbers() { displayElementNumbers = 1; }
  void hideElementNumbers() { displayElementNumbers = 0; }
  void toggleElementNumbers() { displayElementNumbers = displayElementNumbers ? 0 : 1; }
  void showSpecialNodeNumbers() { displaySpecialNodeNumbers = 1; }
  void hideSpecialNodeNumbers() { displaySpecialNodeNumbers = 0; }
  void toggleSpecialNodeNumbers() { displaySpecialNodeNumbers = displaySpecialNodeNumbers ? 0 : 1; }

  // Numbers: stored when in range, else the default of the field.
  void setShrinkFactor(int v);               // [1,9999]
  void setLineThickness(int v);              // [1,99]
  void setLineColor(int v);                  // [1,16]
  void setLineType(int v);                   // [0,4]
  void setPointMarkerSize(int v);            // [1,99]
  void setPointMarkerColor(int v);           // [1,16]
  void setPointMarkerType(int v);            // [0,7]
  void setSpecialNodeMarkerSize(int v);      // [1,99]
  void setSpecialNodeMarkerColor(int v);     // [1,16]
  void setSpecialNodeMarkerType(int v);      // [0,7]
  void setPointNumberSize(int v);            // [1,99]
  void setPointNumberColor(int v);           // [1,16]
  void setElementNodeNumberSize(int v);      // [1,99]
  void setElementNodeNumberColor(int v);     // [1,16]
  void setElementNumberSize(int v);          // [1,99]
  void setElementNumberColor(int v);         // [1,16]
  void setSpecialNodeNumberSize(int v);      // [1,99]
  void setSpecialNodeNumberColor(int v);     // [1,16]

  bool operator==(const F_LayerContext& o) const;

  // In this order; the archive record and the .cfg layer line leave out
  // shrinkFactor. Two bytes hold every valid number (a model may have
  // millions of layers, each with its context); a flag means shown when not 0,
  // and one beyond two bytes in a stored record is kept as 1.
  std::int16_t displayLayer = 1;
  std::int16_t shrinkFactor = 100;
  std::int16_t displayLines = 1;
  std::int16_t lineThickness = 1;
  std::int16_t lineColor = 1;
  std::int16_t lineType = 0;
  std::int16_t displayPointMarkers = 0;
  std::int16_t pointMarkerSize = 8;
  std::int16_t pointMarkerColor = 9;
  std::int16_t pointMarkerType = 1;
  std::int16_t displaySpecialNodeMarkers = 0;
  std::int16_t specialNodeMarkerSize = 8;
  std::int16_t specialNodeMarkerColor = 4;
  std::int16_t specialNodeMarkerType = 7;
  std::int16_t displayPointNumbers = 0;
  std::int16_t pointNumberSize = 12;
  std::int16_t pointNumberColor = 9;
  std::int16_t displayElementNodeNumbers = 0;
  std::int16_t elementNodeNumberSize = 12;
  std::int16_t elementNodeNumberColor = 6;
  std::int16_t displayElementNumbers = 0;
  std::int16_t elementNumberSize = 12;
  std::int16_t elementNumberColor = 2;
  std::int16_t displaySpecialNodeNumbers = 0;
  std::int16_t specialNodeNumberSize = 12;
  std::int16_t specialNodeNumberColor = 4;

  // The type of every field above.
  using Field = std::int16_t;

  // One display option of a layer: everything the setters, the archive
  // record, the .cfg file and its legend, the property dialogs, the toggle
  // commands and the state listing need to know of it, in one row.
  struct RecordField {
    Field F_LayerContext::*member;
    bool isFlag;
    int lo, hi;                 // valid range of a number (flags: 0, 1)
    const char* message;        // the .cfg error for a bad value
    const char* name;           // the member's name, as scripts print it
    std::int32_t defaultValue;  // what a fresh layer holds, and what a bad setter value becomes
    const char* legend;         // the .cfg legend's description
    const char* dialogMessage;  // the property dialog's range message; nullptr for flags
  };
  // The archive record and the .cfg layer line: letters B to Z in this order.
  static constexpr int kRecordFields = 25;
  static const RecordField kRecord[kRecordFields];
  // The shrink factor, which neither the record nor the .cfg line holds.
  static const RecordField kShrinkField;
  // The row of `member`; nullptr for none.
  static const RecordField* field(Field F_LayerContext::*member);
  // Stores v when it is in the field's range, else the field's default.
  void setField(Field F_LayerContext::*member, int v);
};

// The layer contexts of one set of options, 1-based. The contexts that a
// fresh mesh gets (all defaults, or the defaults with line colours cycling
// through 1..15) are not stored one by one: a model may have millions of
// layers, and until one of them is changed their contexts follow from their
// numbers. The first access that may change a context stores them all.
class F_LayerContextList {
 public:
  F_LayerContextList() = default;
  F_LayerContextList(const F_LayerContextList&) = default;
  F_LayerContextList& operator=(const F_LayerContextList&) = default;
  // The source is left without contexts.
  F_LayerContextList(F_LayerContextList&& o) noexcept
      : count_(std::exchange(o.count_, 0)), pattern_(o.pattern_), stored_(std::move(o.stored_)) {}
  F_LayerContextList& operator=(F_LayerContextList&& o) noexcept {
    if (this != &o) {
      count_ = std::exchange(o.count_, 0);
      pattern_ = o.pattern_;
      stored_ = std::move(o.stored_);
    }
    return *this;
  }

  int size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // 1 <= i <= size()
  const F_LayerContext& operator()(int i) const;
  F_LayerContext& operator()(int i);

  void clear();
  // `n` default contexts (0 or more).
  void assignDefaults(int n);
  // Gives context i the line colour ((i - 1) mod 15) + 1.
  void cycleLineColors();
  // Growing one by one, for readers that must not trust a declared count.
  void reserve(int n);
  void append(const F_LayerContext& c);
  F_LayerContext& last() { return (*this)(size()); }

  // Stops storing the contexts one by one when they are those of a fresh
  // mesh, as most of a document's are.
  void dropStoredIfFresh();

  // True while no context is stored one by one.
  bool isCompact() const { return count_ > 0 && stored_.empty(); }

  bool operator==(const F_LayerContextList& o) const;

 private:
  enum class Pattern : std::uint8_t { Defaults, CycledLineColors };
  // Stores every context one by one.
  void expand();

  int count_ = 0;
  Pattern pattern_ = Pattern::Defaults;
  // Empty while the contexts follow the pattern; else count_ entries.
  F_Vector<F_LayerContext> stored_;
};

class F_DisplayOptions {
 public:
  // The program's pi: the 64-bit real nearest 3.14159265358979, not full precision.
  static constexpr double kPi = 3.14159265358979;
  static constexpr double kTwoPi = 6.28318530717958;
  static double degreesToRadians(double degrees) { return degrees * kPi * 0.005555555555555556; }
  static double radiansToDegrees(double radians) { return radians * 180.0 / kPi; }

  F_DisplayOptions() = default;
  virtual ~F_DisplayOptions() = default;
  // Copies the header and every layer context (the destination takes the
  // source's layer count).
  F_DisplayOptions(const F_DisplayOptions&) = default;
  F_DisplayOptions& operator=(const F_DisplayOptions&) = default;
  // Moving hands over the layer contexts instead of copying them, as a
  // document takes the options it has just read.
  F_DisplayOptions(F_DisplayOptions&&) noexcept = default;
  F_DisplayOptions& operator=(F_DisplayOptions&&) noexcept = default;

  // The header, the layer count and the records. Loading an invalid header or
  // record puts its defaults back and throws F_ArchiveException; so does a
  // negative count or one the rest of the file cannot hold.
  virtual void Serialize(F_Archive& ar);

  // Angles (radians) normalised, margins and divisions clamped, overprint as
  // given, then `layerCount` fresh default layer contexts (0 or more).
  void resetForMesh(int layerCount, double phi, double psi, double alpha, int minX1, int maxX1, int minX2,
                    int maxX2, int numberOfDivisions, int overprintMesh);
  // The options of a freshly imported mesh: the defaults for `layerCount`
  // layers, line colours cycling through 1..15.
  void resetForImportedMesh(int layerCount);

  void setAngles(double phi, double psi, double alpha);
  void addToPhi(double radians);
  void addToPsi(double radians);
  void addToAlpha(double radians);
  // Warns and zeroes all three beyond +-10000 radians; brings each into
  // [-pi, pi]; values within 1e-8 of 0 become 0.
  void normalizeAngles();
  void setMargins(int minX1, int maxX1, int minX2, int maxX2);  // each into [1,100]
  void setNumberOfDivisions(int n);                             // into [1,20]

  void showOverprintMesh() { overprintMesh = 1; }
  void hideOverprintMesh() { overprintMesh = 0; }
  void toggleOverprintMesh() { overprintMesh = overprintMesh ? 0 : 1; }

  int layerCount() const { return layerContexts.size(); }
  // 1 <= i <= layerCount()
  F_LayerContext& layer(int i) { return layerContexts(i); }
  const F_LayerContext& layer(int i) const { return layerContexts(i); }

  // The header test: angles in [1e-8 - pi, pi + 1e-8], margins in [1,100],
  // divisions in [1,20]; overprint and the layers are not tested.
  bool isValid() const;
  // Angles, margins, divisions and overprint back to their defaults.
  void resetHeader();

  // The .cfg text. readCfg fills options the caller built fresh; the first
  // error is shown and thrown as F_UserException. writeCfg writes from the
  // "# Angles:" line on; the stream should be in text mode.
  void readCfg(F_InputFile& file);
  void writeCfg(F_OutputFile& file) const;

  // The file-level steps of Import and Export Display Options, shared by the
  // view's commands, the document's companion file and kavrilon-cli. Each shows
  // its own failure ("File not found.", the read error, "No write permission.",
  // "Unable to finish write operation.") and returns false.
  // readCfgFile fills *this from a fresh read; on failure *this is unchanged.
  bool readCfgFile(const std::string& path);
  // The "# Kavrilon Display Options" line, an empty line, then writeCfg.
  bool writeCfgFile(const std::string& path) const;
  // Takes `read` when its layer count equals `meshLayerCount`; otherwise shows
  // the mismatch message and keeps the current values.
  bool applyReadOptions(const F_DisplayOptions& read, int meshLayerCount);

  bool operator==(const F_DisplayOptions& o) const;

  double phi = 0.0;
  double psi = 0.0;
  double alpha = 0.0;
  std::int32_t minX1 = 4;
  std::int32_t maxX1 = 8;
  std::int32_t minX2 = 6;
  std::int32_t maxX2 = 18;
  std::int32_t numberOfDivisions = 3;
  std::int32_t overprintMesh = 1;
  F_LayerContextList layerContexts;
};
