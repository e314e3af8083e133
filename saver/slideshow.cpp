#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>
#include <optional>
#include <utility>
#include <vector>

#include "base/random.h"
#include "graphics/backdrop.h"
#include "payload/payload.h"
#include "payload/writer.h"
#include "system/file_io.h"
#include "system/files.h"
#include "system/replacement_file.h"
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
  const TSize screen = ClientSize();
  const std::int32_t fit = ShownFit();
  std::optional<ScreenPlacement> placed;
  if (upcoming_) {
    // The picture chosen at the last change, mostly read and decoded by now.
    UpcomingPicture upcoming = std::move(*upcoming_);
    upcoming_.reset();
    pictureIndex_ = upcoming.index;
    // Where every screen runs a show, a picture that another screen still shows waits.
    if (EveryScreen() && ShownElsewhere(pictureIndex_)) pictureIndex_ = ChooseNextPicture(true);
    if (upcoming.placement.valid()) {
      if (upcoming.index == pictureIndex_ && upcoming.screen == screen && upcoming.fit == fit) {
        placed = upcoming.placement.get();  // a failure to read or decode surfaces here
      } else {
        upcoming.placement.wait();  // done with the file
      }
    }
  } else {
    pictureIndex_ = ChooseNextPicture(true);
  }
  if (!placed) {
    placed = PlaceShowPicture(ExecutableFile(), configuration_->GetPicOffset(pictureIndex_),
                              screen, fit, configuration_->PictureFill());
  }
  {
    if (tvShow.InTransition()) tvShow.StopTransition();
    Bitmap frame = ComposeScreen(std::move(*placed), screen, pictureIndex_);
    composedFor_ = screen;
    leavingIndex_ = std::exchange(shownIndex_, pictureIndex_);
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
  Dealt(pictureIndex_);
  Application().ProcessMessages();
  ++pictureIndex_;
  if (slideTimer_->Interval() > 0) PrepareUpcoming(screen, fit);
  slideTimer_->SetEnabled(true);
}

std::int32_t TfrmScrn::ChooseNextPicture(bool now) {
  const int count = configuration_->GetPicCount();
  if (EveryScreen()) return ChooseAmongScreens(now);
  if (Shuffled()) return MainWindow().deal_.Peek();
  if (configuration_->lRandomPic) return Random(count);
  return pictureIndex_ > count - 1 ? 0 : pictureIndex_;
}

std::int32_t TfrmScrn::ChooseAmongScreens(bool now) {
  const int count = configuration_->GetPicCount();
  // What each picture is to the other shows: on screen now (also while a transition takes it
  // away), or their next one.
  enum : std::uint8_t { kShown = 1, kNext = 2, kOwn = 4 };
  std::vector<std::uint8_t> held(static_cast<std::size_t>(count), 0);
  const auto mark = [&](std::int32_t index, std::uint8_t what) {
    if (index >= 0 && index < count) held[static_cast<std::size_t>(index)] |= what;
  };
  for (const TfrmScrn* show : Shows()) {
    if (show == this) {
      mark(shownIndex_, kOwn);
      continue;
    }
    mark(show->shownIndex_, kShown);
    if (show->tvShow.InTransition()) mark(show->leavingIndex_, kShown);
    if (show->upcoming_) mark(show->upcoming_->index, kNext);
  }
  // A picture for now must not be on another screen; one for the next change should not be
  // either (it may still be then), nor what another screen changes to next, nor this screen's
  // own again. The first group that leaves a picture decides.
  const std::vector<std::uint8_t> groups =
      now ? std::vector<std::uint8_t>{kShown | kNext, kShown}
          : std::vector<std::uint8_t>{kShown | kNext | kOwn, kNext | kOwn, kNext, kShown};
  std::vector<std::int32_t> free;
  for (const std::uint8_t avoided : groups) {
    for (std::int32_t i = 0; i < count; ++i) {
      if ((held[static_cast<std::size_t>(i)] & avoided) == 0) free.push_back(i);
    }
    if (!free.empty()) break;
  }
  if (free.empty()) {
    // Fewer pictures than screens: some are shown twice.
    for (std::int32_t i = 0; i < count; ++i) free.push_back(i);
  }
  if (Shuffled()) {
    return MainWindow().deal_.Peek(
        [&](std::int32_t index) { return std::binary_search(free.begin(), free.end(), index); });
  }
  if (configuration_->lRandomPic) {
    return free[static_cast<std::size_t>(Random(static_cast<std::int32_t>(free.size())))];
  }
  // List order goes on from the last picture any screen took.
  std::int32_t& position = MainWindow().nextInList_;
  if (position >= count) position = 0;
  const auto found = std::lower_bound(free.begin(), free.end(), position);
  const std::int32_t chosen = found != free.end() ? *found : free.front();
  position = chosen + 1;
  return chosen;
}

bool TfrmScrn::ShownElsewhere(std::int32_t index) {
  for (const TfrmScrn* show : Shows()) {
    if (show == this) continue;
    if (show->shownIndex_ == index) return true;
    if (show->tvShow.InTransition() && show->leavingIndex_ == index) return true;
  }
  return false;
}

void TfrmScrn::PrepareUpcoming(TSize screen, std::int32_t fit) {
  const std::int32_t index = ChooseNextPicture(false);
  UpcomingPicture& upcoming = upcoming_.emplace();
  upcoming.index = index;
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
                                                       fit, fill = configuration_->PictureFill()] {
    return PlaceShowPicture(file, offset, screen, fit, fill);
  });
}

void TfrmScrn::StartDeal() {
  std::optional<std::string> saved;
  try {
    dealFile_ = StateFolder() + DealFileName(WriteComponentStream(*configuration_));
    bool missing = false;
    if (const auto file = ReadableFile::TryOpen(dealFile_, missing)) {
      if (const auto bytes = ReadAll(*file)) saved.emplace(bytes->begin(), bytes->end());
    }
  } catch (const std::exception& e) {
    // The show shuffles all the same; only the next run starts a deal of its own.
    ReportToStderr(std::string("The place in the shuffled pictures cannot be kept: ") + e.what());
    dealFile_.clear();
  }
  deal_ = PictureDeal(configuration_->GetPicCount(), saved);
}

void TfrmScrn::Dealt(std::int32_t index) {
  TfrmScrn& main = MainWindow();
  if (!Shuffled() || !main.deal_.Take(index) || main.dealFile_.empty()) return;
  ReplacementFile file;
  if (!file.Create(main.dealFile_, 0600) || !file.Write(main.deal_.Saved()) || !file.Commit(false)) {
    ReportToStderr("The place in the shuffled pictures cannot be kept in " + main.dealFile_);
    main.dealFile_.clear();  // said once; the show goes on
  }
}

std::string TfrmScrn::PictureCaption(std::int32_t index) const {
  if (!configuration_->lPictureCaptions || index < 0) return "";
  const std::vector<std::string>& texts = configuration_->descriptions;
  return static_cast<std::size_t>(index) < texts.size() ? texts[static_cast<std::size_t>(index)] : "";
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

ScreenPlacement PlacePicture(TGraphic* graphic, TSize screen, std::int32_t fit,
                             std::int32_t fill) {
  if (graphic == nullptr || graphic->Empty()) return {};
  const std::int32_t w = graphic->Width();
  const std::int32_t h = graphic->Height();
  const TSize size = FittedPictureSize(TSize{w, h}, screen, fit);
  const std::int32_t left = (screen.cx - size.cx) / 2;
  const std::int32_t top = (screen.cy - size.cy) / 2;
  ScreenPlacement placed;
  if (size.cx != w || size.cy != h) {
    placed = {graphic->PixelsScaled(size.cx, size.cy), TPoint{left, top}, {}};
  } else {
    // Only the part of the picture that lands on the screen is decoded.
    const TRect visible =
        IntersectRect(TRect{left, top, left + w, top + h}, TRect{0, 0, screen.cx, screen.cy});
    if (visible.IsEmpty()) return {};
    TRect area = visible;
    area.Offset(-left, -top);
    placed = {graphic->PixelsIn(area), TPoint{visible.Left, visible.Top}, {}};
  }
  const bool covers = left <= 0 && top <= 0 && left + size.cx >= screen.cx &&
                      top + size.cy >= screen.cy;
  if (fill == TSSFileLocations::kFillBlur && !covers) {
    // What is shown of the picture, which is all of it along a side that leaves the screen
    // partly empty, already decoded.
    placed.backdrop = Backdrop(placed.pixels, screen);
  }
  return placed;
}

ScreenPlacement PlaceShowPicture(InputStream& file, std::int64_t offset, TSize screen,
                                 std::int32_t fit, std::int32_t fill) {
  const std::unique_ptr<TImage> image = ReadComponentAs<TImage>(file, offset);
  return PlacePicture(image->Picture().Graphic(), screen, fit, fill);
}

void TfrmScrn::ComposeScreenPicture(TImage& image, std::int32_t picture) {
  const TSize screen = ClientSize();
  image.Picture().SetGraphic(std::make_unique<TBitmapGraphic>(
      ComposeScreen(PlacePicture(image.Picture().Graphic(), screen, ShownFit(),
                                 configuration_->PictureFill()),
                    screen, picture)));
}

Bitmap TfrmScrn::ComposeScreen(ScreenPlacement placed, TSize screenSize, std::int32_t index) {
  // The backdrop around the picture, else black; the picture's own area is written once, by
  // the picture.
  const bool backdrop = placed.backdrop.Width() == screenSize.cx &&
                        placed.backdrop.Height() == screenSize.cy;
  Bitmap screen = backdrop ? std::move(placed.backdrop) : Bitmap::Unfilled(screenSize.cx, screenSize.cy);
  const TRect picture = IntersectRect(
      TRect{placed.at.X, placed.at.Y, placed.at.X + placed.pixels.Width(),
            placed.at.Y + placed.pixels.Height()},
      TRect{0, 0, screen.Width(), screen.Height()});
  for (int y = 0; y < screen.Height() && !backdrop; ++y) {
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
  const TFont& font = configuration_->TextFont();
  TTextFont& drawFont = canvas.Font();
  drawFont.Name = font.Name();
  drawFont.Size = font.Size();
  drawFont.PixelsPerInch = Application().Platform().PixelsPerInch();
  // The show's caption along the bottom edge on every other picture; the picture's own text
  // above it, or at the edge on its own.
  std::int32_t bottom = screen.Height();
  const std::string text = configuration_->Text();
  if (captionToggle_ && !text.empty()) {
    drawFont.Color = static_cast<TColor>(font.Color());
    const TSize extent = canvas.TextExtent(text);
    canvas.TextOut(screen.Width() / 2 - extent.cx / 2, screen.Height() - extent.cy, text);
    bottom -= extent.cy;
  }
  const std::string own = PictureCaption(index);
  if (!own.empty()) {
    const TSize extent = canvas.TextExtent(own);
    const std::int32_t x = screen.Width() / 2 - extent.cx / 2;
    // A thin dark outline keeps it readable on any photo.
    const std::int32_t y = bottom - extent.cy - ScaleToDpi(1, drawFont.PixelsPerInch);
    const std::int32_t r = std::max<std::int32_t>(1, ScaleToDpi(1, drawFont.PixelsPerInch));
    drawFont.Color = clBlack;
    for (const auto& [dx, dy] : {std::pair{-r, -r}, {0, -r}, {r, -r}, {-r, 0}, {r, 0}, {-r, r}, {0, r}, {r, r}}) {
      canvas.TextOut(x + dx, y + dy, own);
    }
    drawFont.Color = static_cast<TColor>(font.Color());
    canvas.TextOut(x, y, own);
  }
  return screen;
}

}  // namespace slidesaver
