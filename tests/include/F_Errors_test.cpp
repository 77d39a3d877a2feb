#include "include/F_Errors.h"

#include <cmath>

#include "support/TestSupport.h"

TEST(FormatAxisValue, GivesNineCharacterLabels) {
  struct Case {
    const char* name;
    double value;
    const char* expected;
  } cases[] = {
      {"zero", 0.0, " 0.000000"},
      {"below 1e-20", 1e-21, " 0.000000"},
      {"half", 0.5, " 0.500000"},
      {"rounds up to ten", 9.99999999, " 10.00000"},
      {"tens", 12.5, " 12.50000"},
      {"hundred thousands", 123456.7, " 123456.7"},
      {"million", 1e6, " 1.00e+06"},
      {"small", 5e-5, " 5.00e-05"},
      {"mantissa rounds up", 9.999e-5, " 1.00e-04"},
      {"negative small", -5e-5, "-5.00e-05"},
      {"too large", 1e120, "#########"},
      {"eight digits", 12345678, " 1.23e+07"},
      {"negative ten", -9.99999999, "-10.00000"},
      {"infinite", HUGE_VAL, "#########"},
      {"minus infinite", -HUGE_VAL, "#########"},
      {"undefined", std::nan(""), "#########"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(formatAxisValue(c.value), c.expected);
    EXPECT_EQ(formatAxisValue(c.value).size(), 9u);
  }
}

TEST(ReadErrorText, NamesFilePathAndLine) {
  EXPECT_EQ(readErrorText("a.s3d", "/x/a.s3d", "ERROR\nBad item count.", 12),
            "a.s3d\n/x/a.s3d\n\nLine n. 12\n\nERROR\nBad item count.");
  EXPECT_EQ(readErrorText("a.s3d", "/x/a.s3d", "ERROR\nUnexpected end of file.", 0),
            "a.s3d\n/x/a.s3d\n\nERROR\nUnexpected end of file.");
}

TEST(InternalError, ShowsModuleAndCheckThenStops) {
  EXPECT_EQ(internalErrorText("F_Vector", 2),
            "INTERNAL ERROR - please report to Quelmar Software, Lda.\n\nF_Vector\n\nLine n. 2\n\nAborting...");
  EXPECT_DEATH(internalError("F_Vector", 2), "");
}
