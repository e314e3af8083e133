#include <algorithm>
#include <cstdint>

#include "payload/payload.h"
#include "platform/random.h"
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
  if (configuration_->lRandomPic) {
    pictureIndex_ = Random(count);
  } else if (pictureIndex_ > count - 1) {
    pictureIndex_ = 0;
  }
  {
    const std::unique_ptr<TImage> image =
        ReadComponentAs<TImage>(ExecutableFile(), configuration_->GetPicOffset(pictureIndex_));
    if (tvShow.InTransition()) tvShow.StopTransition();
    ComposeScreenPicture(*image);
    tvShow.SetPicture(&image->Picture());
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
  slideTimer_->SetEnabled(true);
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

void TfrmScrn::ComposeScreenPicture(TImage& image) {
  TGraphic* graphic = image.Picture().Graphic();
  const bool hasPicture = graphic != nullptr && !graphic->Empty();
  const std::int32_t w = hasPicture ? graphic->Width() : 0;
  const std::int32_t h = hasPicture ? graphic->Height() : 0;

  const TSize screenSize = Application().Platform().ScreenSize();
  Bitmap screen(screenSize.cx, screenSize.cy);
  TCanvas canvas(screen);
  std::int32_t fit = configuration_->PictureFit();
  if (fit == TSSFileLocations::kFitAsAuthored && inHostWindow_) fit = TSSFileLocations::kFitShrink;
  const TSize size = FittedPictureSize(TSize{w, h}, screenSize, fit);
  const std::int32_t left = (screenSize.cx - size.cx) / 2;
  const std::int32_t top = (screenSize.cy - size.cy) / 2;
  if (size.cx != w || size.cy != h) {
    canvas.Draw(left, top, graphic->PixelsScaled(size.cx, size.cy));
  } else {
    // Only the part of the picture that lands on the screen is decoded.
    const TRect visible = IntersectRect(TRect{left, top, left + w, top + h},
                                        TRect{0, 0, screenSize.cx, screenSize.cy});
    if (!visible.IsEmpty()) {
      TRect area = visible;
      area.Offset(-left, -top);
      canvas.Draw(visible.Left, visible.Top, graphic->PixelsIn(area));
    }
  }

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
  image.Picture().SetGraphic(std::make_unique<TBitmapGraphic>(std::move(screen)));
}

}  // namespace slidesaver
