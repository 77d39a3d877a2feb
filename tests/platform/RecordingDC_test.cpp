#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "platform/headless/RecordingDC.h"

using ::testing::ElementsAre;

TEST(RecordingDC, LogsCallsWithArgumentsInOrder) {
  RecordingDC dc(100, 50);
  const Pen old = dc.selectPen({PenStyle::Dash, 2, makeRgb(255, 0, 0)});
  dc.moveTo(1, 1);
  dc.lineTo(9, 1);
  dc.selectBrush(Brush::solid(makeRgb(0, 0, 0)));
  dc.rectangle(5, 5, 95, 30);
  dc.selectFont({"Arial", 16, 700});
  dc.setTextAlign({HAlign::Right, VAlign::Top});
  dc.setBkMode(BkMode::Transparent);
  dc.textOut(86, 8, "1 - top");
  dc.selectPen(old);
  EXPECT_THAT(dc.log(), ElementsAre("selectPen(dash,2,#ff0000)", "moveTo(1,1)", "lineTo(9,1)",
                                    "selectBrush(solid,#000000)", "rectangle(5,5,95,30)",
                                    "selectFont(\"Arial\",16,700)", "setTextAlign(right,top)",
                                    "setBkMode(transparent)", "textOut(86,8,\"1 - top\")",
                                    "selectPen(solid,1,#000000)"));
  EXPECT_EQ(dc.pen(), defaultPen()) << "selecting the old pen back restores it";
}

TEST(RecordingDC, SettersReturnThePreviousState) {
  RecordingDC dc(1, 1);
  EXPECT_EQ(dc.setTextColor(makeRgb(255, 0, 0)), makeRgb(0, 0, 0));
  EXPECT_EQ(dc.setBkColor(makeRgb(1, 2, 3)), makeRgb(255, 255, 255));
  EXPECT_EQ(dc.setBkMode(BkMode::Transparent), BkMode::Opaque);
  EXPECT_EQ(dc.setDrawMode(DrawMode::Xor), DrawMode::Copy);
  EXPECT_EQ(dc.setTextAlign({HAlign::Centre, VAlign::Baseline}), TextAlign{});
  EXPECT_EQ(dc.selectBrush(Brush::hollow()), defaultBrush());
  EXPECT_EQ(dc.selectFont({"Courier New", 12, 400}), defaultFont());
  EXPECT_EQ(dc.textColor(), makeRgb(255, 0, 0));
}

TEST(RecordingDC, CompatibleSurfaceSharesTheLogAndBlitsRealPixels) {
  RecordingDC window(20, 10);
  std::unique_ptr<DeviceContext> mem = window.createCompatible(30, 30);
  mem->patBlt(0, 0, 30, 30, PatOp::Whiteness);
  mem->setPixel(12, 7, makeRgb(0, 255, 0));
  mem->lineTo(3, 3);
  // The window shows the canvas scrolled by (10, 5).
  window.setViewportOrigin(10, 5);
  window.bitBlt(0, 0, 30, 30, *mem, 0, 0);

  EXPECT_THAT(window.log(), ElementsAre("createCompatible(30,30)", "mem.patBlt(0,0,30,30,whiteness)",
                                        "mem.setPixel(12,7,#00ff00)", "mem.lineTo(3,3)",
                                        "setViewportOrigin(10,5)", "bitBlt(0,0,30,30,mem,0,0)"));
  EXPECT_THAT(window.logLines("mem."), ElementsAre("mem.patBlt(0,0,30,30,whiteness)",
                                                   "mem.setPixel(12,7,#00ff00)", "mem.lineTo(3,3)"));
  EXPECT_EQ(window.getPixel(12, 7), makeRgb(0, 255, 0)) << "logical point of the canvas";
  EXPECT_EQ(window.surface().row(2)[2], makeRgb(0, 255, 0)) << "device pixel (2, 2)";
  EXPECT_EQ(window.getPixel(11, 7), makeRgb(255, 255, 255));
  EXPECT_EQ(window.getPixel(9, 7), kInvalidPixel) << "left of the window";
  EXPECT_EQ(mem->getPixel(30, 0), kInvalidPixel);
}

TEST(RecordingDC, PatBltClipsAndUsesTheBrush) {
  RecordingDC dc(4, 3);
  dc.selectBrush(Brush::solid(makeRgb(1, 2, 3)));
  dc.patBlt(-2, 1, 4, 10, PatOp::PatCopy);
  EXPECT_EQ(dc.getPixel(0, 0), makeRgb(255, 255, 255));
  EXPECT_EQ(dc.getPixel(1, 2), makeRgb(1, 2, 3));
  EXPECT_EQ(dc.getPixel(2, 1), makeRgb(255, 255, 255));
  dc.patBlt(0, 0, 4, 3, PatOp::DstInvert);
  EXPECT_EQ(dc.getPixel(1, 2), makeRgb(254, 253, 252));
  EXPECT_EQ(dc.getPixel(3, 0), makeRgb(0, 0, 0));
}
