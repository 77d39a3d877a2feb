#include <gtest/gtest.h>

#include "platform/headless/HeadlessViewHost.h"

namespace {

// An 800 x 600 client over a 2000 x 1500 canvas, pages of a tenth, lines of 1/200.
HeadlessViewHost zoomedHost() {
  HeadlessViewHost host(800, 600);
  host.setScrollSizes(2000, 1500, 200, 150, 10, 7);
  return host;
}

}  // namespace

TEST(HeadlessViewHost, ScrollToPositionClampsToCanvasLessClient) {
  struct Case {
    const char* name;
    int x, y;
    ScrollPoint expected;
  } cases[] = {
      {"inside", 300, 400, {300, 400}},
      {"negative", -5, -1, {0, 0}},
      {"beyond the end", 5000, 5000, {1200, 900}},
      {"exactly the end", 1200, 900, {1200, 900}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeadlessViewHost host = zoomedHost();
    host.scrollToPosition(c.x, c.y);
    EXPECT_EQ(host.scrollPosition(), c.expected);
  }
}

TEST(HeadlessViewHost, ScrollCodesStepByLineAndPageAndStopAtTheEnds) {
  struct Case {
    const char* name;
    ScrollAxis axis;
    ScrollCode code;
    ScrollPoint expected;  // starting from (500, 500)
  } cases[] = {
      {"line left", ScrollAxis::Horizontal, ScrollCode::LineBack, {490, 500}},
      {"line right", ScrollAxis::Horizontal, ScrollCode::LineForward, {510, 500}},
      {"page left", ScrollAxis::Horizontal, ScrollCode::PageBack, {300, 500}},
      {"page right", ScrollAxis::Horizontal, ScrollCode::PageForward, {700, 500}},
      {"left", ScrollAxis::Horizontal, ScrollCode::ToStart, {0, 500}},
      {"right", ScrollAxis::Horizontal, ScrollCode::ToEnd, {1200, 500}},
      {"line up", ScrollAxis::Vertical, ScrollCode::LineBack, {500, 493}},
      {"page down", ScrollAxis::Vertical, ScrollCode::PageForward, {500, 650}},
      {"top", ScrollAxis::Vertical, ScrollCode::ToStart, {500, 0}},
      {"bottom", ScrollAxis::Vertical, ScrollCode::ToEnd, {500, 900}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeadlessViewHost host = zoomedHost();
    host.scrollToPosition(500, 500);
    host.scroll(c.axis, c.code);
    EXPECT_EQ(host.scrollPosition(), c.expected);
  }

  HeadlessViewHost host = zoomedHost();
  host.scroll(ScrollAxis::Vertical, ScrollCode::PageBack);
  EXPECT_EQ(host.scrollPosition(), (ScrollPoint{0, 0})) << "page up at the top stays at the top";
  host.scrollToPosition(1195, 0);
  host.scroll(ScrollAxis::Horizontal, ScrollCode::PageForward);
  EXPECT_EQ(host.scrollPosition().x, 1200) << "page right near the end stops at the end";
}

TEST(HeadlessViewHost, ShrinkingTheCanvasOrGrowingTheClientPullsThePositionBack) {
  HeadlessViewHost host = zoomedHost();
  host.scrollToPosition(1200, 900);
  host.setScrollSizes(1000, 700, 0, 0, 0, 0);
  EXPECT_EQ(host.scrollPosition(), (ScrollPoint{200, 100}));
  EXPECT_EQ(host.scrollModel().pageWidth(), 100) << "a page of 0 takes a tenth";
  EXPECT_EQ(host.scrollModel().lineHeight(), 7) << "a line of 0 takes a hundredth";

  host.setClientSize(1100, 650);
  EXPECT_EQ(host.scrollPosition(), (ScrollPoint{0, 50}));

  // A canvas no larger than the client (full view, or the 10 x 10 of view point mode).
  host.setScrollSizes(10, 10, 10, 10, 10, 10);
  host.scrollToPosition(30, 30);
  EXPECT_EQ(host.scrollPosition(), (ScrollPoint{0, 0}));
  host.scroll(ScrollAxis::Horizontal, ScrollCode::ToEnd);
  EXPECT_EQ(host.scrollPosition(), (ScrollPoint{0, 0}));
}

TEST(HeadlessViewHost, ClientToCanvasAddsTheScrollPosition) {
  HeadlessViewHost host = zoomedHost();
  host.scrollToPosition(120, 45);
  EXPECT_EQ(host.clientToCanvas(10, 20), (ScrollPoint{130, 65}));
}

TEST(HeadlessViewHost, RemembersInvalidationCaptureCursorAndKeys) {
  HeadlessViewHost host;
  EXPECT_FALSE(host.takeInvalidated());
  host.invalidate();
  host.invalidate();
  EXPECT_EQ(host.invalidateCount(), 2);
  EXPECT_TRUE(host.takeInvalidated());
  EXPECT_FALSE(host.takeInvalidated());

  host.setCapture();
  EXPECT_TRUE(host.hasCapture());
  EXPECT_TRUE(host.releaseCapture());
  EXPECT_FALSE(host.hasCapture());
  EXPECT_TRUE(host.releaseCapture()) << "releasing a capture not held is not a failure";

  host.setCursor(CursorShape::SizeAll);
  EXPECT_EQ(host.cursor(), CursorShape::SizeAll);

  host.setKeyDown(Key::Control, true);
  EXPECT_TRUE(host.isKeyDown(Key::Control));
  EXPECT_FALSE(host.isKeyDown(Key::Shift));
}
