#pragma once
// The "PVA Options" dialog without widgets: the texts of its six edits, its
// Default button and the tests its command runs on OK. The view fills it,
// a front end shows it (a Qt dialog, a script, kavrilon-cli), and the view
// stores the values only when every test passed.

#include <optional>
#include <string>
#include <utility>
#include <vector>

class PvaOptionsDialog {
 public:
  static constexpr const char* kTitle = "PVA Options";

  // Control ids of the dialog resource; 1 is OK and 2 Cancel.
  enum Control {
    kOk = 1,
    kCancel = 2,
    kDefault = 1004,
    kSideBarMinimum = 1046,
    kSideBarMaximum = 1047,
    kFileMinimum = 1048,  // read only
    kFileMaximum = 1049,  // read only
    kPoints = 1053,       // read only
    kColors = 1054,
  };
  static constexpr int kDefaultColors = 14;

  std::string points;      // "Number of PVA points"
  std::string colors;      // "Number of rainbow colors [2,3000]"
  std::string sideBarMinimum;
  std::string sideBarMaximum;
  std::string fileMinimum;
  std::string fileMaximum;

  // The Default button: 14 colours and the side-bar limits of the file;
  // the dialog stays open and nothing reaches the view before OK.
  void onDefault();

  // The tests of OK in their order: the colours as an integer, the minimum
  // and the maximum as reals, then the three range tests. The message of the
  // first failure, or nothing when the values may be stored.
  std::optional<std::string> check() const;

  // The values of texts that passed check().
  int numberOfColors() const;
  double minimum() const;
  double maximum() const;

  // The edits by control id, in id order, for front ends that list or set
  // them. setText refuses read-only and unknown ids.
  std::vector<std::pair<int, std::string>> fields() const;
  bool setText(int id, const std::string& text);
  static bool isReadOnly(int id) { return id == kFileMinimum || id == kFileMaximum || id == kPoints; }
};
