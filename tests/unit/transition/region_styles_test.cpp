// Frames of the region styles (58..117, 123..127), read back pixel by pixel.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "base/random.h"
#include "tests/unit/transition/style_frames.h"
#include "transition/styles.h"

namespace slidesaver {
namespace {

using namespace slidesaver::style_test;

bool IsNew(const Bitmap& frame, int x, int y) { return Shows(frame, x, y).has_value(); }

// Checks every pixel: the new picture (in place) where `shown(x, y)` holds,
// the old picture elsewhere.
void ExpectShownWhere(const Bitmap& frame, const std::function<bool(int, int)>& shown) {
  int wrong = 0;
  for (int y = 0; y < frame.Height(); ++y) {
    for (int x = 0; x < frame.Width(); ++x) {
      const Source want = shown(x, y) ? At(x, y) : kShowsOld;
      if (Shows(frame, x, y) != want && ++wrong <= 3) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") should show the "
                      << (want ? "new" : "old") << " picture";
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

bool EvenBar(int i) { return i % 10 < 5; }

TEST(BarStyles, BarsFromTheRightOn400x300) {
  StyleFrames frames(400, 300);  // Step 4: StepPx = 18
  // At 20 (X = 80) the even bars reach from x = 240 to the right edge.
  ExpectShownWhere(frames.Frame(60, 20), [](int x, int y) { return EvenBar(y) && x >= 240; });
  // At 48 (X = 192) less than StepPx is missing: the even bars are full.
  ExpectShownWhere(frames.Frame(60, 48), [](int, int y) { return EvenBar(y); });
  // At 52 (X = 208) the odd bars grow from x = 384.
  ExpectShownWhere(frames.Frame(60, 52), [](int x, int y) { return EvenBar(y) || x >= 384; });
}

TEST(BarStyles, AStepOf100CompletesTheFirstPassAtOnce) {
  StyleFrames frames(400, 300);
  frames.UseStep(100);
  for (int style : {60, 61, 62, 63, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 99}) {
    const Bitmap& f = frames.Frame(style, 1);
    for (int x = 0; x < 400; ++x) ASSERT_TRUE(IsNew(f, x, 2)) << style << " at x " << x;
  }
  for (int style : {71, 72, 73, 74, 96, 97}) {
    const Bitmap& f = frames.Frame(style, 1);
    for (int y = 0; y < 300; ++y) ASSERT_TRUE(IsNew(f, 2, y)) << style << " at y " << y;
  }
  // The combs take no snap: at 1 (X = 4) they have barely started.
  EXPECT_FALSE(IsNew(frames.Frame(64, 1), 0, 2));
  EXPECT_FALSE(IsNew(frames.Frame(75, 1), 2, 0));
  EXPECT_FALSE(IsNew(frames.Frame(98, 1), 200, 150));
}

TEST(BarStyles, CrossedGridsShowOnlyWhereBothHaveGrown) {
  StyleFrames frames(400, 300);
  // At 30: X = 120, Y = 90. One grid has even rows from x = 160 and even
  // columns from y = 120, the other even rows up to x = 240 and even columns
  // down to y = 180.
  ExpectShownWhere(frames.Frame(99, 30), [](int x, int y) {
    const bool a = (EvenBar(y) && x >= 160) || (EvenBar(x) && y >= 120);
    const bool b = (EvenBar(y) && x < 240) || (EvenBar(x) && y < 180);
    return a && b;
  });
}

TEST(RandomStyles, RaggedEdgeStaysWithinTheJitter) {
  std::optional<StyleFrames> frames(std::in_place, 700, 50);
  RandSeed(3);
  // At 30 the straight edge is at x = 490; the jitter is 700 div 7 = 100, so
  // each 5-row bar starts somewhere in 391..589.
  const Bitmap& f = frames->Frame(65, 30);
  std::vector<int> starts;
  for (int bar = 0; bar < 10; ++bar) {
    int start = 0;
    while (start < 700 && !IsNew(f, start, bar * 5)) ++start;
    EXPECT_GE(start, 391);
    EXPECT_LE(start, 589);
    starts.push_back(start);
  }
  EXPECT_NE(std::count(starts.begin(), starts.end(), starts[0]), 10) << "no jitter at all";
  ExpectShownWhere(f, [&](int x, int y) { return x >= starts[y / 5]; });

  // Below 7 pixels there is no jitter: a straight wipe.
  frames.reset();  // one application at a time
  StyleFrames narrow(6, 20);
  ExpectShownWhere(narrow.Frame(65, 50), [](int x, int) { return x >= 3; });
}

TEST(RandomStyles, SprayRunsAheadOfTheEdgeByATenthOfTheWidth) {
  StyleFrames frames(800, 40);
  RandSeed(11);
  // W = 800: depth 80, cells of 4 in rows every 2 pixels. At 30 the solid
  // edge is at x = 560; the two nearest cells are always added.
  const Bitmap& f = frames.Frame(123, 30);
  int spray = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 800; ++x) {
      if (x >= 552) {
        ASSERT_EQ(Shows(f, x, y), At(x, y)) << x << ", " << y;
      } else if (x < 480) {
        ASSERT_FALSE(IsNew(f, x, y)) << x << ", " << y;
      } else if (IsNew(f, x, y)) {
        ASSERT_EQ(Shows(f, x, y), At(x, y));
        ++spray;
      }
    }
  }
  EXPECT_GT(spray, 0);
  EXPECT_LT(spray, 72 * 40);

  // The same seed draws the same frame; another seed another one.
  const Bitmap first = f;
  RandSeed(11);
  EXPECT_EQ(frames.Frame(123, 30), first);
  RandSeed(12);
  EXPECT_NE(frames.Frame(123, 30), first);
}

TEST(RandomStyles, SquaresSitOnTheirPitch) {
  StyleFrames frames(800, 600);
  RandSeed(5);
  // 800 x 600 at 30: pitch 12 + 3 = 15, squares of side 30 centred on the
  // grid, so every 15 x 15 cell of the grid is either all new or all old.
  const Bitmap& f = frames.Frame(127, 30);
  int newCells = 0;
  for (int cy = 0; cy < 600; cy += 15) {
    for (int cx = 0; cx < 800; cx += 15) {
      const bool shown = IsNew(f, cx, cy);
      newCells += shown;
      for (int y = cy; y < std::min(cy + 15, 600); ++y)
        for (int x = cx; x < std::min(cx + 15, 800); ++x)
          ASSERT_EQ(Shows(f, x, y), shown ? At(x, y) : kShowsOld) << x << ", " << y;
    }
  }
  EXPECT_GT(newCells, 0);
  EXPECT_LT(newCells, 54 * 40);
}

TEST(RandomStyles, AFrameWithoutSquaresShowsNothingNew) {
  // 3 x 3 at 1: nine grid points, each chosen with chance 1 in 100, so most
  // frames have no square at all and then show only the old picture.
  StyleFrames frames(3, 3);
  const Bitmap white = OldPicture(3, 3);
  int empty = 0;
  for (int seed = 1; seed <= 20; ++seed) {
    RandSeed(seed);
    empty += frames.Frame(127, 1) == white;
  }
  EXPECT_GT(empty, 0);
}

TEST(ShapeStyles, RoundedBoxGrowingFromTheCentre) {
  StyleFrames frames(400, 300);
  // Style 84 at 50: the box (0, 0, 400, 300) with corner ellipses 360 x 270.
  ExpectShownWhere(frames.Frame(84, 50), [](int x, int y) {
    const double cx = x + 0.5 < 180 ? 180 : x + 0.5 > 220 ? 220 : x + 0.5;
    const double cy = y + 0.5 < 135 ? 135 : y + 0.5 > 165 ? 165 : y + 0.5;
    const double dx = (x + 0.5 - cx) / 180, dy = (y + 0.5 - cy) / 135;
    return dx * dx + dy * dy < 1;
  });
}

TEST(ShapeStyles, DiagonalTilesKeepThePictureAspect) {
  // Style 117 on a portrait picture at 50 (X = 50): legs of 10 and 20 on
  // tiles of 10 x 20, so each tile is cut along its own diagonal.
  StyleFrames portrait(100, 200);
  ExpectShownWhere(portrait.Frame(117, 50), [](int x, int y) {
    return (x % 10 + 0.5) / 10 + (y % 20 + 0.5) / 20 < 1;
  });
}

TEST(RegionStyles, OnlyOldOrNewPixelsInPlaceFromOldAtZeroToNewAtHundred) {
  StyleFrames frames(64, 48);
  const Bitmap white = OldPicture(64, 48);
  const Bitmap whole = CoordinatePicture(64, 48);
  for (int style = 58; style < kStyleCount; ++style) {
    if (GroupOfStyle(style) != StyleGroup::Region) continue;
    SCOPED_TRACE(style);
    EXPECT_EQ(frames.Frame(style, 0), white);
    EXPECT_EQ(frames.Frame(style, 100), whole);
    const Bitmap& f = frames.Frame(style, 37);
    int shown = 0;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        if (!IsNew(f, x, y)) continue;
        ++shown;
        ASSERT_EQ(Shows(f, x, y), At(x, y)) << x << ", " << y;
      }
    }
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 64 * 48);
  }
}

TEST(FrameRoutine, AHandlerBeforeTheFrameSeesTheOldPictureAndChangesNothing) {
  // Without a handler a region frame is composed in one pass from both
  // pictures, and a copy frame copies the old picture only when its pieces
  // leave some of it showing; with one, the old picture is drawn first for
  // the handler to see.
  StyleFrames frames(64, 48);
  const Bitmap white = OldPicture(64, 48);
  for (int style : {3, 7, 12, 14, 16, 51, 54, 57, 60, 76, 85, 99, 117, 127}) {
    for (int progress : {0, 37}) {
      RandSeed(2);
      const Bitmap composed = frames.Frame(style, progress);
      int seen = 0;
      frames.View().OnBeforeNewFrame = [&](void*, Bitmap&, Bitmap& screen) {
        seen += screen == white;
      };
      RandSeed(2);
      EXPECT_EQ(frames.Frame(style, progress), composed) << style << " at " << progress;
      EXPECT_GT(seen, 0) << style;
      frames.View().OnBeforeNewFrame = nullptr;
      // Nothing of an earlier frame stays behind when a copy frame skips
      // copying the old picture.
      if (GroupOfStyle(style) == StyleGroup::Copy) {
        frames.Frame(style, 61);
        EXPECT_EQ(frames.Then(progress), composed) << style << " after 61";
      }
    }
  }
}

TEST(StyleTable, EveryNumberDrawsItsOwnEffect) {
  // No gaps and no aliases: every style has a step, and at some progress its
  // frame differs from every other style's.
  for (int style = 1; style < kStyleCount; ++style) EXPECT_NE(StyleTable()[style], nullptr);
  StyleFrames frames(64, 48);
  std::vector<std::vector<Bitmap>> drawn(kStyleCount);
  for (int style = 0; style < kStyleCount; ++style) {
    for (int progress : {23, 61}) {
      RandSeed(1);
      drawn[style].push_back(frames.Frame(style, progress));
    }
  }
  for (int a = 0; a < kStyleCount; ++a) {
    for (int b = a + 1; b < kStyleCount; ++b) EXPECT_NE(drawn[a], drawn[b]) << a << " and " << b;
  }
}

}  // namespace
}  // namespace slidesaver
