#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>
#include <optional>
#include <utility>

#include "base/random.h"
#include "payload/payload.h"
#include "saver/saver_window.h"

namespace slidesaver {
namespace {

// The highest style number the show uses; it then starts again at 1.
constexpr TShowStyle kLastStyle = 127;

}  // namespace

void TfrmScrn::ShowNextPicture(void*) {
  slideTimer_->SetEnabled(false);
  const int count = configuration_->GetPicCount();
  if (count == 0) return;
  const TSize screen = Application().Platform().ScreenSize();
  const std::int32_t fit = ShownFit();
  std::optional<ScreenPlacement> placed;
  if (upcoming_) {
    // The picture chosen at the last change, mostly read and decoded by now.
    UpcomingPicture upcoming = std::move(*upcoming_);
    upcoming_.reset();
    pictureIndex_ = upcoming.index;
    if (upcoming.placement.valid()) {
      if (upcoming.screen == screen && upcoming.fit == fit) {
        placed = upcoming.placement.get();  // a failure to read or decode surfaces here
      } else {
        upcoming.placement.wait();  // done with the file
      }
    }
  } else {
    pictureIndex_ = ChooseNextPicture();
  }
  if (!placed) {
    placed = PlaceShowPicture(ExecutableFile(), configuration_->GetPicOffset(pictureIndex_),
                              screen, fit);
  }
  {
    if (tvShow.InTransition()) tvShow.StopTransition();
    Bitmap frame = ComposeScreen(*placed, screen);
    placed = {};  // in the frame now; the transition needs all the memory it can get
    tvShow.Picture().SetGraphic(std::make_unique<TBitmapGraphic>(std::move(frame)));
    if (configuration_->lRandomStyle) {
      tvShow.SetStyle(static_cast<TShowStyle>(Random(kLastStyle) + 1));
    } else {
      tvShow.SetStyle(tvShow.Style() >= kLastStyle ? 1 : tvShow.Style() + 1);
    }
    if (configuration_->lClearOldImage) {
      tvShow.ClearScreen();
      tvShow.Repaint();
    }
    tvShow.StartTransition();
  }
  Application().ProcessMessages();
  ++pictureIndex_;
  if (slideTimer_->Interval() > 0) PrepareUpcoming(screen, fit);
  slideTimer_->SetEnabled(true);
}

std::int32_t TfrmScrn::ChooseNextPicture() const {
  const int count = configuration_->GetPicCount();
  if (configuration_->lRandomPic) return Random(count);
  return pictureIndex_ > count - 1 ? 0 : pictureIndex_;
}

void TfrmScrn::PrepareUpcoming(TSize screen, std::int32_t fit) {
  UpcomingPicture& upcoming = upcoming_.emplace();
  upcoming.index = ChooseNextPicture();
  upcoming.screen = screen;
  upcoming.fit = fit;
  std::int32_t offset = 0;
  try {
    offset = configuration_->GetPicOffset(upcoming.index);
  } catch (const std::exception&) {
    return;  // the change itself meets the fault and reports it
  }
  // The worker is the only reader of the file until the next change takes its result; it
  // touches nothing else of the window.
  upcoming.placement = std::async(std::launch::async, [&file = ExecutableFile(), offset, screen,
                                                       fit] {
    return PlaceShowPicture(file, offset, screen, fit);
  });
}

std::int32_t TfrmScrn::ShownFit() const {
  const std::int32_t fit = configuration_->PictureFit();
  return fit == TSSFileLocations::kFitAsAuthored && inHostWindow_ ? TSSFileLocations::kFitShrink
                                                                  : fit;
}

TSize FittedPictureSize(TSize picture, TSize screen, std::int32_t fit) {
  if (picture.cx <= 0 || picture.cy <= 0 || screen.cx <= 0 || screen.cy <= 0) return picture;
  const bool fits = picture.cx <= screen.cx && picture.cy <= screen.cy;
  if (fit != TSSFileLocations::kFitScale && (fit != TSSFileLocations::kFitShrink || fits)) {
    return picture;
  }
  // The side that meets the screen's edge first takes its length; the other follows, rounded.
  const std::int64_t across = std::int64_t{picture.cx} * screen.cy;
  const std::int64_t down = std::int64_t{picture.cy} * screen.cx;
  if (across >= down) {
    const auto height = (2 * std::int64_t{picture.cy} * screen.cx + picture.cx) / (2 * picture.cx);
    return TSize{screen.cx, static_cast<std::int32_t>(std::max<std::int64_t>(1, height))};
  }
  const auto width = (2 * std::int64_t{picture.cx} * screen.cy + picture.cy) / (2 * picture.cy);
  return TSize{static_cast<std::int32_t>(std::max<std::int64_t>(1, width)), screen.cy};
}

ScreenPlacement PlacePicture(TGraphic* graphic, TSize screen, std::int32_t fit) {
  if (graphic == nullptr || graphic->Empty()) return {};
  const std::int32_t w = graphic->Width();
  const std::int32_t h = graphic->Height();
  const TSize size = FittedPictureSize(TSize{w, h}, screen, fit);
  const std::int32_t left = (screen.cx - size.cx) / 2;
  const std::int32_t top = (screen.cy - size.cy) / 2;
  if (size.cx != w || size.cy != h) {
    return {graphic->PixelsScaled(size.cx, size.cy), TPoint{left, top}};
  }
  // Only the part of the picture that lands on the screen is decoded.
  const TRect visible =
      IntersectRect(TRect{left, top, left + w, top + h}, TRect{0, 0, screen.cx, screen.cy});
  if (visible.IsEmpty()) return {};
  TRect area = visible;
  area.Offset(-left, -top);
  return {graphic->PixelsIn(area), TPoint{visible.Left, visible.Top}};
}

ScreenPlacement PlaceShowPicture(InputStream& file, std::int64_t offset, TSize screen,
                                 std::int32_t fit) {
  const std::unique_ptr<TImage> image = ReadComponentAs<TImage>(file, offset);
  return PlacePicture(image->Picture().Graphic(), screen, fit);
}

void TfrmScrn::ComposeScreenPicture(TImage& image) {
  const TSize screen = Application().Platform().ScreenSize();
  image.Picture().SetGraphic(std::make_unique<TBitmapGraphic>(
      ComposeScreen(PlacePicture(image.Picture().Graphic(), screen, ShownFit()), screen)));
}

Bitmap TfrmScrn::ComposeScreen(const ScreenPlacement& placed, TSize screenSize) {
  // Black around the picture; the picture's own area is written once, by the picture.
  Bitmap screen = Bitmap::Unfilled(screenSize.cx, screenSize.cy);
  const TRect picture = IntersectRect(
      TRect{placed.at.X, placed.at.Y, placed.at.X + placed.pixels.Width(),
            placed.at.Y + placed.pixels.Height()},
      TRect{0, 0, screen.Width(), screen.Height()});
  for (int y = 0; y < screen.Height(); ++y) {
    std::uint8_t* row = screen.ScanLine(y);
    if (y < picture.Top || y >= picture.Bottom) {
      std::memset(row, 0, screen.Stride());
      continue;
    }
    std::memset(row, 0, 3 * static_cast<std::size_t>(picture.Left));
    std::memset(row + 3 * static_cast<std::size_t>(picture.Right), 0,
                3 * static_cast<std::size_t>(screen.Width() - picture.Right));
  }
  TCanvas canvas(screen);
  if (!placed.pixels.Empty()) canvas.Draw(placed.at.X, placed.at.Y, placed.pixels);

  captionToggle_ = !captionToggle_;
  const std::string text = configuration_->Text();
  if (captionToggle_ && !text.empty()) {
    const TFont& font = configuration_->TextFont();
    TTextFont& drawFont = canvas.Font();
    drawFont.Name = font.Name();
    drawFont.Size = font.Size();
    drawFont.Color = static_cast<TColor>(font.Color());
    const TSize extent = canvas.TextExtent(text);
    canvas.TextOut(screen.Width() / 2 - extent.cx / 2, screen.Height() - extent.cy, text);
  }
  return screen;
}

}  // namespace slidesaver
