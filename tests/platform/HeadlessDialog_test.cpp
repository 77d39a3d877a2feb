// The headless dialog answers a script's queued actions as a user would
// answer the window: edits and check boxes take text, a list takes an entry
// number, read-only values stay, a button runs while the dialog stays open.

#include <gtest/gtest.h>

#include "platform/headless/HeadlessUi.h"

namespace {

DialogModel sample() {
  DialogModel d;
  d.title = "Sample";
  d.fields = {{12, DialogControl::Edit, "Size", "", "8", {}},
              {11, DialogControl::ReadOnlyEdit, "Points", "", "4", {}},
              {13, DialogControl::CheckBox, "Visible", "", "0", {}},
              {14, DialogControl::List, "Layer", "", "1 - A", {"1 - A", "2 - B", "3 - C"}}};
  d.buttons = {{1004, "&Default", ""}};
  d.onButton = [](DialogModel& m, int id) {
    if (id == 1004) m.field(12)->text = "8";
  };
  return d;
}

}  // namespace

TEST(HeadlessDialog, PlaysTheQueuedActionsInOrder) {
  const struct {
    const char* name;
    std::vector<std::string> actions;
    bool ok;
    std::string size, points, visible, layer;
  } rows[] = {
      {"edits then OK", {"12=20", "13=1", "14=3", "1"}, true, "20", "4", "1", "3 - C"},
      {"Cancel", {"12=20", "2"}, false, "20", "4", "0", "1 - A"},
      {"read-only and bad check box values are refused", {"11=9", "13=x", "1"}, true, "8", "4", "0", "1 - A"},
      {"list entries beyond the list are ignored", {"14=4", "14=0", "1"}, true, "8", "4", "0", "1 - A"},
      {"Default runs and the dialog stays open", {"12=20", "1004", "1"}, true, "8", "4", "0", "1 - A"},
      {"no OK or Cancel at the end cancels", {"12=20"}, false, "20", "4", "0", "1 - A"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    HeadlessUi ui(nullptr);
    DialogModel d = sample();
    ui.queueDialog(r.actions);
    EXPECT_EQ(ui.runDialog(d), r.ok);
    EXPECT_EQ(d.text(12), r.size);
    EXPECT_EQ(d.text(11), r.points);
    EXPECT_EQ(d.text(13), r.visible);
    EXPECT_EQ(d.text(14), r.layer);
    EXPECT_EQ(ui.lines().front(), "dialog: Sample 11=4 12=8 13=0 14=1 - A") << "fields in id order, as shown";
  }
}

TEST(HeadlessDialog, WithNothingQueuedTheDialogIsCancelledAndStillShown) {
  HeadlessUi ui(nullptr);
  DialogModel d = sample();
  EXPECT_FALSE(ui.runDialog(d));
  ASSERT_EQ(ui.lines().size(), 1u);
  ui.setEchoDialogs(false);
  EXPECT_FALSE(ui.runDialog(d));
  EXPECT_EQ(ui.lines().size(), 1u);
}
