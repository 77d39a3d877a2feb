#include "app/PvaOptionsDialog.h"

#include <gtest/gtest.h>

namespace {

PvaOptionsDialog filled() {
  // points, colours, side-bar minimum and maximum, file minimum and maximum
  return PvaOptionsDialog{"77", "20", "-1", "1", "-2.5", "0"};
}

}  // namespace

TEST(PvaOptionsDialog, TestsRunInTheirOrderAndTheFirstFailureIsShown) {
  struct Case {
    const char* name;
    const char* colors;
    const char* minimum;
    const char* maximum;
    std::string message;  // "" when accepted
  };
  const std::string colorsRange = "ERROR\nThe number of rainbow colors must be\nin the range [2,3000].";
  const std::string coincident = "ERROR\nCoincident minimum and maximum values.";
  const std::string reversed = "ERROR\nMinimum value greater than maximum value.";
  const Case cases[] = {
      {"accepted", "14", "0", "1", ""},
      {"the ends of the colour range", "2", "-1e3", "3000", ""},
      {"3000 colours", "3000", "0", "1", ""},
      {"1 colour", "1", "0", "1", colorsRange},
      {"3001 colours", "3001", "0", "1", colorsRange},
      {"negative colours", "-14", "0", "1", colorsRange},
      {"colours beyond 32 bits are a syntax error, not a wrap to 2", "4294967298", "0", "1",
       "ERROR\nInvalid integer number.\n4294967298 <?>"},
      {"colours not an integer, tested first", "14.0", "x", "y", "ERROR\nInvalid integer number.\n14. <?> 0"},
      {"minimum not a real, before the maximum", "14", "1..", "y", "ERROR\nInvalid real number.\n1.. <?>"},
      {"maximum not a real", "14", "1", "y", "ERROR\nInvalid real number.\ny <?>"},
      {"syntax before range: bad colours and bad minimum", "1", "z", "1", "ERROR\nInvalid real number.\nz <?>"},
      {"colour range before the value tests", "1", "2", "2", colorsRange},
      {"minimum 2 and maximum 2", "14", "2", "2", coincident},
      {"equal when read: 2 and 2.0e0", "14", "2", "2.0e0", coincident},
      {"minimum 3 and maximum 2", "14", "3", "2", reversed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PvaOptionsDialog d = filled();
    d.colors = c.colors;
    d.sideBarMinimum = c.minimum;
    d.sideBarMaximum = c.maximum;
    const std::optional<std::string> refused = d.check();
    EXPECT_EQ(refused.value_or(""), c.message);
  }
}

TEST(PvaOptionsDialog, AcceptedTextsGiveTheirValues) {
  PvaOptionsDialog d = filled();
  d.colors = " 7";
  d.sideBarMinimum = "-1.5e-3";
  d.sideBarMaximum = "+12";
  ASSERT_FALSE(d.check().has_value());
  EXPECT_EQ(d.numberOfColors(), 7);
  EXPECT_EQ(d.minimum(), -1.5e-3);
  EXPECT_EQ(d.maximum(), 12.0);
}

TEST(PvaOptionsDialog, DefaultPutsFourteenColoursAndTheFileLimits) {
  PvaOptionsDialog d = filled();
  d.onDefault();
  EXPECT_EQ(d.colors, "14");
  EXPECT_EQ(d.sideBarMinimum, "-2.5");
  EXPECT_EQ(d.sideBarMaximum, "0");
  EXPECT_EQ(d.points, "77");  // the read-only fields stay
  EXPECT_EQ(d.fileMinimum, "-2.5");
}

TEST(PvaOptionsDialog, AFieldOfEqualValuesIsRefusedUntilAnEndMoves) {
  PvaOptionsDialog d{"8", "14", "0", "1", "4", "4"};
  d.onDefault();
  EXPECT_EQ(d.check().value_or(""), "ERROR\nCoincident minimum and maximum values.");
  d.setText(PvaOptionsDialog::kSideBarMaximum, std::string("5"));
  EXPECT_FALSE(d.check().has_value());
}

TEST(PvaOptionsDialog, OnlyTheEditableFieldsCanBeSet) {
  PvaOptionsDialog d = filled();
  EXPECT_TRUE(d.setText(PvaOptionsDialog::kColors, "9"));
  EXPECT_TRUE(d.setText(PvaOptionsDialog::kSideBarMinimum, "-3"));
  EXPECT_TRUE(d.setText(PvaOptionsDialog::kSideBarMaximum, "3"));
  for (int id : {1053, 1048, 1049, 1, 1004}) {  // the read-only edits, OK, Default
    SCOPED_TRACE(id);
    EXPECT_FALSE(d.setText(id, "8"));
  }
  const std::vector<std::pair<int, std::string>> expected{{1046, "-3"}, {1047, "3"},  {1048, "-2.5"},
                                                          {1049, "0"},  {1053, "77"}, {1054, "9"}};
  EXPECT_EQ(d.fields(), expected);
}
