#include "os/linux/x11_screens.h"

#include <gtest/gtest.h>

#include <vector>

namespace slidesaver {
namespace {

TEST(X11ScreensTest, MirroredAndEmptyMonitorsAreNoScreensAndOneIsPrimary) {
  const TRect left{0, 0, 1920, 1080};
  const TRect right{1920, 0, 3200, 720};
  const TRect mirror{1920, 0, 2560, 480};  // inside the right one
  struct Case {
    std::vector<Screen> monitors;
    std::vector<Screen> screens;
  };
  const Case cases[] = {
      {{{right, false}, {left, false}}, {{right, false}, {left, true}}},  // at 0,0
      {{{right, false}, {mirror, true}, {left, false}}, {{right, true}, {left, false}}},
      {{{right, false}, {TRect{5, 5, 5, 9}, false}}, {{right, true}}},  // else the first
  };
  for (const Case& c : cases) EXPECT_EQ(DistinctScreens(c.monitors), c.screens);
}

TEST(X11ScreensTest, XftDpiFromTheResourceText) {
  EXPECT_EQ(XftDpi(nullptr), 0);
  EXPECT_EQ(XftDpi("Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"), 144);
  EXPECT_EQ(XftDpi("Xft.dpi:\t120.6"), 121);
  EXPECT_EQ(XftDpi("Xcursor.size:\t24\nXft.dpi:\tlarge\n"), 0);
  EXPECT_EQ(XftDpi("Xft.dpix:\t144\n"), 0);
}

}  // namespace
}  // namespace slidesaver
