#include "ui/commands/centre_window.h"

#include <gtest/gtest.h>

namespace {

using ui::CentreWindow;
using ui::ScreenRect;

constexpr int W = 336;  // an outer window size
constexpr int H = 309;

TEST(CentreWindow, SitsInTheMiddleOfTheDesktop) {
  const auto position = CentreWindow(W, H, ScreenRect{0, 0, 1920, 1080}, ScreenRect{0, 0, 1920, 1040}, 1920, 1080);
  EXPECT_EQ(position.x, 792);  // (1920 - 336) / 2
  EXPECT_EQ(position.y, 385);  // (1080 - 309) / 2 = 385.5, towards zero
}

TEST(CentreWindow, HalvesRoundTowardsZeroAndAddTheDesktopOrigin) {
  // (335 - 336) / 2 is -0.5: towards zero gives 0, so x is the desktop's own left edge.
  const auto position = CentreWindow(W, H, ScreenRect{100, 50, 435, 50 + H}, ScreenRect{0, 0, 2000, 2000}, 2000, 2000);
  EXPECT_EQ(position.x, 100);
  EXPECT_EQ(position.y, 50);
}

TEST(CentreWindow, NarrowDesktopClampsToZeroNotToTheWorkArea) {
  // x is first (300 - 336) / 2 = -18; the lower clamp is 0 even with a work area starting at 40.
  const auto position = CentreWindow(W, H, ScreenRect{0, 0, 300, 200}, ScreenRect{40, 30, 300, 200}, 300, 200);
  EXPECT_EQ(position.x, 0);
  EXPECT_EQ(position.y, 0);
}

TEST(CentreWindow, WorkAreaEdgesPullTheWindowBack) {
  // x = 332 would end at 668, beyond a work area ending at 600; y likewise against a bottom edge of 500.
  const auto position = CentreWindow(W, H, ScreenRect{0, 0, 1000, 1000}, ScreenRect{0, 0, 600, 500}, 1000, 1000);
  EXPECT_EQ(position.x, 600 - W);
  EXPECT_EQ(position.y, 500 - H);
}

TEST(CentreWindow, RightEdgeWinsEvenWhenXTurnsNegative) {
  const auto position = CentreWindow(W, H, ScreenRect{0, 0, 1000, 1000}, ScreenRect{0, 0, 300, 1000}, 1000, 1000);
  EXPECT_EQ(position.x, 300 - W);  // -36
  EXPECT_EQ(position.y, 345);
}

TEST(CentreWindow, ScreenSizeStandsInForAMissingWorkArea) {
  // (1000 - 309) / 2 = 345 would end at 654, beyond a screen 600 high.
  const auto position = CentreWindow(W, H, ScreenRect{0, 0, 1000, 1000}, std::nullopt, 800, 600);
  EXPECT_EQ(position.x, 332);
  EXPECT_EQ(position.y, 600 - H);
}

}  // namespace
