#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <string>
#include <vector>

#include "graphics/text.h"
#include "payload/graphics.h"
#include "tests/unit/saver/placement.h"
#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

using SlideshowTest = SaverWindowTest;

// An image component as a picture stream carries it.
std::unique_ptr<TImage> ImageOf(const std::vector<std::uint8_t>& jpeg) {
  auto image = std::make_unique<TImage>();
  image->Picture().SetGraphic(std::make_unique<TJPEGImage>(jpeg));
  return image;
}

Bitmap Composed(TfrmScrn& form, const std::vector<std::uint8_t>& jpeg) {
  std::unique_ptr<TImage> image = ImageOf(jpeg);
  form.ComposeScreenPicture(*image);
  return image->Picture().Graphic()->Pixels();
}

TEST_F(SlideshowTest, PicturesAreCentredOnBlackAndCutWhenLarger) {
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
  struct Case {
    int width, height, left, top;
  };
  // Integer division truncates toward zero: one pixel wider still starts at 0.
  for (const Case c : {Case{16, 8, 24, 20}, Case{15, 9, 24, 19}, Case{64, 48, 0, 0},
                       Case{65, 49, 0, 0}, Case{67, 51, -1, -1}, Case{100, 20, -18, 14}}) {
    const std::vector<std::uint8_t> jpeg = Jpeg(c.width, c.height, 3);
    ExpectPlaced(Composed(form, jpeg), Decoded(jpeg), c.left, c.top);
    Composed(form, jpeg);  // keeps the caption toggle in step; there is no caption here
  }
}

TEST(FittedPictureSize, ShrinkScaleOrAsAuthored) {
  const TSize screen{1920, 1080};
  const struct {
    TSize picture;
    std::int32_t fit;
    TSize shown;
  } cases[] = {
      {{6000, 4000}, 0, {6000, 4000}}, {{6000, 4000}, 1, {1620, 1080}},
      {{6000, 4000}, 2, {1620, 1080}}, {{1080, 1920}, 1, {608, 1080}},
      {{4000, 1000}, 1, {1920, 480}},  {{800, 600}, 1, {800, 600}},
      {{800, 600}, 2, {1440, 1080}},   {{1920, 1080}, 1, {1920, 1080}},
      {{1920, 1080}, 2, {1920, 1080}}, {{3840, 2160}, 2, {1920, 1080}},
      {{20000, 10}, 1, {1920, 1}},     {{6000, 4000}, 3, {6000, 4000}},  // 3: unknown
  };
  for (const auto& c : cases) {
    const TSize shown = FittedPictureSize(c.picture, screen, c.fit);
    EXPECT_EQ(std::pair(shown.cx, shown.cy), std::pair(c.shown.cx, c.shown.cy))
        << c.picture.cx << "x" << c.picture.cy << " fit " << c.fit;
  }
}

TEST_F(SlideshowTest, FittedPicturesAreScaledAndCentredAndHostsShrinkAsAuthored) {
  const std::vector<std::uint8_t> jpeg = Jpeg(256, 96, 5);  // on 64 x 48: 64 x 24 at (0, 12)
  const Bitmap shrunk = ResampleBitmap(Decoded(jpeg), 64, 24);
  const struct {
    std::int32_t fit;
    bool host;
    bool scaled;
  } cases[] = {{0, false, false}, {1, false, true}, {2, false, true}, {0, true, true}};
  for (const auto& c : cases) {
    form_.reset();
    config_.SetPictureFit(c.fit);
    TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
    form.SetInHostWindow(c.host);
    const Bitmap screen = Composed(form, jpeg);
    if (!c.scaled) {
      ExpectPlaced(screen, Decoded(jpeg), -96, -24);
      continue;
    }
    // Decoded at 2/8 (64 x 24) straight away: close to the full decode shrunk, not the same.
    int largest = 0;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        const std::uint32_t want = Expected(shrunk, 0, 12, x, y), got = screen.Pixel(x, y);
        for (int shift = 0; shift < 24; shift += 8) {
          const int difference = int((want >> shift) & 255) - int((got >> shift) & 255);
          largest = std::max(largest, std::abs(difference));
        }
        if (y < 12 || y >= 36) {
          ASSERT_EQ(got, 0u) << "fit " << c.fit << " at " << x << "," << y;
        }
      }
    }
    EXPECT_LT(largest, 48) << "fit " << c.fit;
  }
}

TEST_F(SlideshowTest, ABlurFillSurroundsPicturesThatLeaveTheScreenPartlyEmpty) {
  config_.SetPictureFill(TSSFileLocations::kFillBlur);
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
  // A portrait picture: its sides are its own colours, blurred and darkened, not black.
  const std::vector<std::uint8_t> portrait = Jpeg(16, 48, 4);
  const Bitmap screen = Composed(form, portrait);
  const Bitmap picture = Decoded(portrait);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      if (x >= 24 && x < 40) {
        ASSERT_EQ(screen.Pixel(x, y), picture.Pixel(x - 24, y)) << x << "," << y;
      } else {
        ASSERT_NE(screen.Pixel(x, y), 0u) << x << "," << y;
      }
    }
  }
  // One that covers the screen is as it was with black.
  const std::vector<std::uint8_t> covering = Jpeg(64, 48, 5);
  ExpectPlaced(Composed(form, covering), Decoded(covering), 0, 0);
}

TEST_F(SlideshowTest, ThePictureReadAheadFollowsAScreenThatChangedSize) {
  config_.SetPictureFit(TSSFileLocations::kFitShrink);
  const std::vector<std::uint8_t> second = Jpeg(128, 96, 2);
  TfrmScrn& form = Start(WriteSaver({Jpeg(128, 96, 1), second}));
  form.ShowNextPicture(nullptr);  // the second is read ahead for 64 x 48
  backend_->SetScreens({{TRect{0, 0, 40, 40}, true}});
  app_.ProcessMessages();
  StartShow();  // the window follows its screen, and shows the next picture composed for it
  const Bitmap shown = form.tvShow.Picture().Graphic()->Pixels();
  EXPECT_EQ(shown, Composed(form, second));
  EXPECT_EQ(shown.Width(), 40);
}

TEST_F(SlideshowTest, CaptionOnEveryOtherPictureCentredOnTheBottomEdge) {
  config_.SetText("Hi");
  config_.TextFont().SetName("DejaVu Sans");
  config_.TextFont().SetHeight(-20);
  config_.TextFont().SetColor(0x00FFFF);  // yellow
  config_.TextFont().SetStyle(fsBold | fsItalic);  // not taken over
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
  const std::vector<std::uint8_t> black = EncodeJpeg(Bitmap(4, 4));

  TTextFont font;
  font.Name = "DejaVu Sans";
  font.Size = 15;  // -20 pixels at 96 per inch
  font.Color = 0x00FFFF;
  const TSize extent = MeasureText(font, "Hi");
  Bitmap expectedCaption(kScreen.cx, kScreen.cy);
  DrawText(expectedCaption, kScreen.cx / 2 - extent.cx / 2, kScreen.cy - extent.cy, font, "Hi");

  for (int shown = 1; shown <= 5; ++shown) {
    const Bitmap screen = Composed(form, black);
    EXPECT_EQ(form.CaptionToggle(), shown % 2 == 1);
    if (shown % 2 == 1) {
      EXPECT_EQ(screen, expectedCaption) << "picture " << shown;
    } else {
      EXPECT_EQ(screen, Bitmap(kScreen.cx, kScreen.cy)) << "picture " << shown;
    }
  }
  EXPECT_NE(expectedCaption, Bitmap(kScreen.cx, kScreen.cy));

  // Points become pixels at the screen's pixels per inch: 15 points are 30 pixels at 144.
  backend_->SetPixelsPerInch(144);
  font.PixelsPerInch = 144;
  const TSize larger = MeasureText(font, "Hi");
  EXPECT_GT(larger.cy, extent.cy * 7 / 5);
  Bitmap expectedLarger(kScreen.cx, kScreen.cy);
  DrawText(expectedLarger, kScreen.cx / 2 - larger.cx / 2, kScreen.cy - larger.cy, font, "Hi");
  Composed(form, black);  // the sixth, without the caption
  EXPECT_EQ(Composed(form, black), expectedLarger);
}

TEST_F(SlideshowTest, EachPicturesOwnCaptionStandsAboveTheShowsOutlinedInBlack) {
  config_.SetText("Hi");
  config_.lPictureCaptions = true;
  config_.descriptions = {"One", "", "Hi"};
  config_.TextFont().SetName("DejaVu Sans");
  config_.TextFont().SetHeight(-12);
  config_.TextFont().SetColor(0x00FFFF);  // yellow
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
  // On a white picture: the caption's yellow, and the black of its outline around it.
  const auto yellowRows = [](const Bitmap& screen) {
    std::vector<int> rows;
    for (int y = 0; y < screen.Height(); ++y) {
      for (int x = 0; x < screen.Width(); ++x) {
        if (screen.Pixel(x, y) == 0x00FFFFu) {
          rows.push_back(y);
          break;
        }
      }
    }
    return rows;
  };
  const auto composed = [&](std::int32_t index) {
    Bitmap white(64, 48);
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) white.SetPixel(x, y, 0xFFFFFF);
    }
    TImage image;
    image.Picture().SetGraphic(std::make_unique<TBitmapGraphic>(std::move(white)));
    form.ComposeScreenPicture(image, index);
    return image.Picture().Graphic()->Pixels();
  };
  // The show's caption comes on every other picture: on, off, on, off.
  const std::vector<int> both = yellowRows(composed(0));
  const Bitmap ownOnly = composed(2);
  const std::vector<int> own = yellowRows(ownOnly), show = yellowRows(composed(1));
  EXPECT_TRUE(yellowRows(composed(1)).empty());
  ASSERT_FALSE(own.empty());
  ASSERT_FALSE(show.empty());
  EXPECT_EQ(own.back(), show.back() - 1);  // at the bottom edge, one pixel up for its outline
  EXPECT_LT(both.front(), show.front() - 8);  // the picture's caption above the show's
  EXPECT_EQ(both.back(), show.back());
  bool outlined = false;
  for (int x = 0; x < 64; ++x) outlined |= ownOnly.Pixel(x, own.front() - 1) == 0u;
  EXPECT_TRUE(outlined) << "no black just above the caption";
}

TEST_F(SlideshowTest, StylesGoUpFrom52ToThe127AndStartAgainAt1) {
  TfrmScrn& form = Start(WriteSaver({Jpeg(16, 16, 1)}));
  const Bitmap picture = Decoded(Jpeg(16, 16, 1));
  std::vector<int> styles;
  for (int shown = 0; shown < 80; ++shown) {
    form.ShowNextPicture(nullptr);
    styles.push_back(form.tvShow.Style());
    EXPECT_EQ(form.PictureIndex(), 1);  // one picture: the same again at every tick
  }
  EXPECT_EQ(styles.front(), 52);
  EXPECT_EQ(styles[75], 127);
  EXPECT_EQ(std::vector<int>(styles.begin() + 76, styles.end()), (std::vector<int>{1, 2, 3, 4}));
  for (std::size_t i = 1; i < 76; ++i) EXPECT_EQ(styles[i], styles[i - 1] + 1);
  ExpectPlaced(form.tvShow.ScreenImage(), picture, 24, 16);
  EXPECT_TRUE(form.SlideTimer().Enabled());
}

TEST_F(SlideshowTest, ListOrderLoopsAndRandomChoicesStayInRange) {
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1), Jpeg(8, 8, 2), Jpeg(8, 8, 3)}));
  std::vector<Bitmap> pictures;
  for (std::uint32_t seed : {1u, 2u, 3u}) pictures.push_back(Decoded(Jpeg(8, 8, seed)));
  for (int shown = 0; shown < 4; ++shown) {
    form.ShowNextPicture(nullptr);
    ExpectPlaced(form.tvShow.ScreenImage(), pictures[shown % 3], 28, 20);
  }

  form_.reset();
  config_.lRandomStyle = true;
  config_.lRandomPic = true;
  TfrmScrn& randomForm = Start(WriteSaver({Jpeg(8, 8, 1), Jpeg(8, 8, 2), Jpeg(8, 8, 3)}));
  std::vector<int> seen(3, 0);
  for (int shown = 0; shown < 40; ++shown) {
    randomForm.ShowNextPicture(nullptr);
    ASSERT_GE(randomForm.tvShow.Style(), 1);
    ASSERT_LE(randomForm.tvShow.Style(), 127);
    const int index = randomForm.PictureIndex() - 1;
    ASSERT_GE(index, 0);
    ASSERT_LT(index, 3);
    ++seen[index];
    ExpectPlaced(randomForm.tvShow.ScreenImage(), pictures[index], 28, 20);
  }
  for (int n : seen) EXPECT_GT(n, 0);
}

TEST_F(SlideshowTest, ClearOldImageEmptiesTheScreenBeforeTheTransition) {
  config_.lClearOldImage = true;
  TfrmScrn& form = Start(WriteSaver({Jpeg(64, 48, 1), Jpeg(64, 48, 2)}));
  form.ShowNextPicture(nullptr);
  const Bitmap first = form.tvShow.ScreenImage();
  // The first frame of the next change shows black, not the first picture, where it is not new yet.
  bool sawFirstPicture = false;
  bool sawBlack = false;
  form.tvShow.OnProgress = [&](void*) {
    if (form.tvShow.Progress() != 4) return;
    const Bitmap& frame = form.tvShow.ScreenImage();
    for (int y = 0; y < frame.Height(); ++y) {
      for (int x = 0; x < frame.Width(); ++x) {
        sawFirstPicture |= frame.Pixel(x, y) == first.Pixel(x, y) && first.Pixel(x, y) != 0;
        sawBlack |= frame.Pixel(x, y) == 0;
      }
    }
  };
  form.ShowNextPicture(nullptr);
  EXPECT_TRUE(sawBlack);
  EXPECT_FALSE(sawFirstPicture);
}

TEST_F(SlideshowTest, IntervalZeroShowsTheFirstPictureOnly) {
  config_.SetInterval(0);
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1), Jpeg(8, 8, 2)}));
  StartShow();
  EXPECT_EQ(form.PictureIndex(), 1);
  backend_->Advance(1000000);
  app_.ProcessMessages();
  EXPECT_EQ(form.PictureIndex(), 1);
}

TEST_F(SlideshowTest, NoPicturesShowNothingAndReportNothing) {
  TfrmScrn& form = Start(WriteSaver({}));
  StartShow();
  EXPECT_TRUE(form.ShowStarted());
  EXPECT_FALSE(form.SlideTimer().Enabled());
  EXPECT_TRUE(form.tvShow.Picture().Empty());
  EXPECT_TRUE(backend_->ErrorBoxes().empty());
  // Later idle turns post no further start messages.
  bool done = true;
  app_.OnIdle(done);
  app_.ProcessMessages();
  EXPECT_EQ(form.PictureIndex(), 0);
}

TEST_F(SlideshowTest, AFailingPictureStopsTheShowWithAMessage) {
  const std::string path = WriteSaver({Jpeg(8, 8, 1), Jpeg(8, 8, 2)}, {}, [](TSSFileLocations& c) {
    c.pictureOffsets[1] = "abc";  // not a number: position 0, the player's own bytes
  });
  TfrmScrn& form = Start(path);
  StartShow();
  EXPECT_EQ(form.PictureIndex(), 1);
  backend_->Advance(1000);
  app_.ProcessMessages();
  ASSERT_EQ(backend_->ErrorBoxes().size(), 1u);
  EXPECT_EQ(backend_->ErrorBoxes()[0].first, "Saver");
  EXPECT_EQ(backend_->ErrorBoxes()[0].second, "Invalid stream format.");
  EXPECT_FALSE(form.SlideTimer().Enabled());
  EXPECT_EQ(form.PictureIndex(), 1);
}

}  // namespace
}  // namespace slidesaver::test
