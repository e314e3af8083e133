// Frames of the copy styles (1..57) and the pixel styles (118..122), read back
// pixel by pixel.

#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/transition/style_frames.h"
#include "transition/styles.h"

namespace slidesaver {
namespace {

using namespace slidesaver::style_test;

TEST(CopyStyles, DefaultZoomAtHalfWayMagnifiesTheCentreFourTimes) {
  StyleFrames frames(400, 300);
  const Bitmap& f = frames.Frame(51, 50);
  // The centre 200 x 150 of the new picture spread over (-200, -150, 600, 450):
  // the frame shows columns 150..249 four times each, and rows 112..187, the
  // first and last of them cut to two rows by the picture's edges.
  std::vector<int> columnCount(400), rowCount(300);
  for (int x = 0; x < 400; ++x) ++columnCount[Shows(f, x, 0).value().first];
  for (int y = 0; y < 300; ++y) ++rowCount[Shows(f, 0, y).value().second];
  for (int c = 0; c < 400; ++c) EXPECT_EQ(columnCount[c], c >= 150 && c < 250 ? 4 : 0) << c;
  for (int r = 0; r < 300; ++r) {
    EXPECT_EQ(rowCount[r], r == 112 || r == 187 ? 2 : r > 112 && r < 187 ? 4 : 0) << r;
  }
  EXPECT_EQ(Shows(f, 0, 0), At(150, 112));
  EXPECT_EQ(Shows(f, 399, 299), At(249, 187));
}

TEST(CopyStyles, SlideAndEdgeZoomExamples) {
  StyleFrames frames(400, 300);
  // Slide in from the right at 50: the new picture unscaled at x = 200..600.
  const Bitmap& slide = frames.Frame(3, 50);
  for (int x = 0; x < 400; x += 7) {
    EXPECT_EQ(Shows(slide, x, 123), x < 200 ? kShowsOld : At(x - 200, 123)) << x;
  }
  // Zoom out from the left edge at 10 (X = 40): the leftmost 40 columns
  // stretched to 760 columns from the left edge, rows unscaled.
  const Bitmap& zoom = frames.Frame(7, 10);
  for (int x = 0; x < 400; ++x) {
    EXPECT_EQ(Shows(zoom, x, 77), At((2 * x + 1) * 40 / 1520, 77)) << x;
  }
  EXPECT_EQ(Shows(zoom, 399, 77), At(21, 77));
}

// Where the folded strip of style 14 ends on a 500-pixel-wide picture.
struct FoldCase {
  int progress, x, fold;
};

TEST(CopyStyles, FoldLaysTheNextStripOverTurned) {
  StyleFrames frames(500, 20);
  for (const FoldCase c : {FoldCase{10, 50, 25}, FoldCase{20, 100, 50}, FoldCase{80, 400, 50},
                           FoldCase{81, 405, 47}, FoldCase{90, 450, 25}}) {
    SCOPED_TRACE(c.progress);
    const Bitmap& f = frames.Frame(14, c.progress);
    for (int x = 0; x < c.x; ++x) EXPECT_EQ(Shows(f, x, 5), At(x, 5));
    // The turned strip: the source strip (X + F .. X + 2F) mirrored. The copy
    // spreads it over X - 1 .. X + F, so column X shows X + 2F - 2 and the
    // strip's last column lands under the revealed part at X - 1.
    EXPECT_EQ(Shows(f, c.x, 5).value().first, c.x + 2 * c.fold - 2);
    EXPECT_EQ(Shows(f, c.x + c.fold, 5).value().first, c.x + c.fold);
    for (int x = c.x + 1; x <= c.x + c.fold; ++x) {
      EXPECT_LE(Shows(f, x, 5).value().first, Shows(f, x - 1, 5).value().first);
    }
    for (int x = c.x + c.fold + 1; x < 500; ++x) EXPECT_EQ(Shows(f, x, 5), kShowsOld);
  }
  // No fold at either end of the run.
  EXPECT_EQ(Shows(frames.Frame(14, 0), 0, 5), kShowsOld);
  EXPECT_EQ(frames.Frame(14, 100), CoordinatePicture(500, 20));
}

TEST(CopyStyles, SmearStretchesAThinStripAndKeepsWhatLiesPastTheEdge) {
  StyleFrames frames(400, 10);
  // At 50 the strip (200, 220) is smeared over (200, 400).
  const Bitmap& half = frames.Frame(16, 50);
  EXPECT_EQ(Shows(half, 199, 3), At(199, 3));
  EXPECT_EQ(Shows(half, 200, 3), At(200, 3));
  EXPECT_EQ(Shows(half, 399, 3), At(219, 3));
  // At 99 the strip (396, 416) reaches past the picture: the destination
  // columns whose source lies outside keep the old picture.
  const Bitmap& late = frames.Frame(16, 99);
  EXPECT_EQ(Shows(late, 396, 3), At(398, 3));
  EXPECT_EQ(Shows(late, 397, 3), kShowsOld);  // source column 403
  EXPECT_EQ(Shows(late, 399, 3), kShowsOld);
  // The vertical twin from the bottom: the strip just above H - Y.
  const Bitmap& up = frames.Frame(34, 50);  // Y = 5; H div 20 = 0: an empty strip
  for (int y = 0; y < 10; ++y) EXPECT_EQ(Shows(up, 17, y), y >= 5 ? At(17, y) : kShowsOld);
}

TEST(CopyStyles, PiecesBeforeTheLastShowAtProgressZero) {
  StyleFrames frames(40, 30);
  // Styles whose earlier pieces are a pixel wide at 0.
  const Bitmap& bothEdges = frames.Frame(12, 0);
  for (int y = 0; y < 30; ++y) EXPECT_EQ(Shows(bothEdges, 0, y), At(0, y));
  EXPECT_EQ(Shows(bothEdges, 1, 0), kShowsOld);
  EXPECT_EQ(Shows(bothEdges, 39, 0), kShowsOld);  // the last piece is not drawn at 0
  EXPECT_EQ(Shows(frames.Frame(13, 0), 0, 7), At(10, 7));  // 21 columns squeezed into one
  EXPECT_EQ(Shows(frames.Frame(30, 0), 7, 0), At(7, 8));

  const Bitmap& corners = frames.Frame(55, 0);
  EXPECT_EQ(Shows(corners, 0, 0), At(0, 0));
  EXPECT_EQ(Shows(corners, 0, 29), At(0, 29));
  EXPECT_EQ(Shows(corners, 39, 29), At(39, 29));
  EXPECT_EQ(Shows(corners, 39, 0), kShowsOld);

  // Quarters squeezed in: only the top-left dot has an area at 0.
  const Bitmap& quarters = frames.Frame(56, 0);
  EXPECT_EQ(Shows(quarters, 0, 0), At(10, 8));
  EXPECT_EQ(Shows(quarters, 0, 29), kShowsOld);
  EXPECT_EQ(Shows(quarters, 39, 29), kShowsOld);

  // Quarters turning in: the top-left quarter's last column at the left edge,
  // the top-right quarter's last row along the top.
  const Bitmap& turning = frames.Frame(57, 0);
  for (int y = 0; y < 16; ++y) EXPECT_EQ(Shows(turning, 0, y), At(20, y)) << y;
  for (int x = 19; x < 40; ++x) EXPECT_EQ(Shows(turning, x, 0), At(x, 15)) << x;
  EXPECT_EQ(Shows(turning, 0, 16), kShowsOld);
  EXPECT_EQ(Shows(turning, 18, 0), kShowsOld);
  EXPECT_EQ(Shows(turning, 1, 1), kShowsOld);

  // Every other copy and pixel style leaves the old picture at 0; at 100
  // every style ends on the new picture exactly.
  const Bitmap white = OldPicture(40, 30);
  const Bitmap whole = CoordinatePicture(40, 30);
  for (int style = 1; style <= 122; ++style) {
    if (GroupOfStyle(style) == StyleGroup::Region) continue;
    const bool drawsAtZero = style == 12 || style == 13 || style == 29 || style == 30 ||
                             (style >= 55 && style <= 57);
    if (!drawsAtZero) {
      EXPECT_EQ(frames.Frame(style, 0), white) << style;
    }
    EXPECT_EQ(frames.Frame(style, 100), whole) << style;
  }
}

TEST(CopyStyles, PiecesDrawnByTheStyleReachTheScreen) {
  StyleFrames frames(40, 30);
  for (int style : {12, 13, 14, 16, 17, 29, 31, 54, 55, 56, 57}) {
    const Bitmap& f = frames.Frame(style, 30);
    EXPECT_EQ(frames.OnScreen(), f) << style;
  }
}

TEST(PixelStyles, CrossFadeTruncatesBothTerms) {
  StyleFrames frames(8, 6);
  Bitmap white(8, 6);
  white.Fill(0xFFFFFF);
  const Bitmap& half = frames.Frame(118, 50, white);
  EXPECT_EQ(half.Pixel(3, 3), 0xFEFEFEu);  // 127 + 127
  Bitmap dark(8, 6);
  dark.Fill(0x000A64);  // red 100, green 10, blue 0 over white at 30
  const Bitmap& fade = frames.Frame(118, 30, std::move(dark));
  // 255 * 70 div 100 = 178, plus 100 * 30 div 100 = 30, 10 * 30 div 100 = 3, 0.
  EXPECT_EQ(fade.Pixel(7, 5), (178u << 16) | (181u << 8) | 208u);
}

TEST(PixelStyles, SwingsTurnTheNewPictureAboutAPivotOutsideACorner) {
  StyleFrames frames(120, 90);
  const Bitmap& half = frames.Frame(119, 50);
  EXPECT_EQ(Shows(half, 99, 0), At(69, 70));
  // Half-way each swing still leaves the corner farthest from its pivot to
  // the old picture; near the end the pixel next to the pivot maps to itself.
  struct Corner {
    int style, farX, farY, nearX, nearY;
  };
  for (const Corner c : {Corner{119, 119, 89, 0, 0}, Corner{120, 119, 0, 0, 89},
                         Corner{121, 0, 89, 119, 0}, Corner{122, 0, 0, 119, 89}}) {
    const Bitmap& f = frames.Frame(c.style, 50);
    EXPECT_EQ(Shows(f, c.farX, c.farY), kShowsOld) << c.style;
    int fromNew = 0;
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 120; ++x) fromNew += Shows(f, x, y).has_value();
    EXPECT_GT(fromNew, 120 * 90 / 10) << c.style;
    EXPECT_EQ(Shows(frames.Frame(c.style, 99), c.nearX, c.nearY), At(c.nearX, c.nearY))
        << c.style;
  }
}

}  // namespace
}  // namespace slidesaver
