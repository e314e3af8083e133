#pragma once

// Draws single frames of any style on the headless backend. The new picture
// encodes its own coordinates in every pixel, so each frame pixel tells which
// new-picture pixel it shows, or that it still shows the old picture.

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "transition/transition_view.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/headless.h"

namespace slidesaver::style_test {

constexpr std::uint32_t kOld = 0xFFFFFF;  // no coordinate pixel is white

// Pixel (x, y) as three bytes: x mod 256, y mod 256, and the high bits of both,
// which never make white on pictures below 3840 pixels a side.
inline std::uint32_t CoordinatePixel(int x, int y) {
  return static_cast<std::uint32_t>(((x >> 8) | ((y >> 8) << 4)) << 16 | (y & 255) << 8 |
                                    (x & 255));
}

// The old picture every frame starts from: white all over.
inline Bitmap OldPicture(int w, int h) {
  Bitmap b(w, h);
  b.Fill(kOld);
  return b;
}

inline Bitmap CoordinatePicture(int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, CoordinatePixel(x, y));
  return b;
}

// The new-picture pixel a frame pixel shows, or nothing for the old picture.
inline std::optional<std::pair<int, int>> SourceOf(std::uint32_t pixel) {
  if (pixel == kOld) return std::nullopt;
  const int high = static_cast<int>(pixel >> 16);
  return std::pair<int, int>{(high & 15) << 8 | (pixel & 255), (high >> 4) << 8 | ((pixel >> 8) & 255)};
}

using Source = std::optional<std::pair<int, int>>;
constexpr Source kShowsOld = std::nullopt;
inline Source At(int x, int y) { return std::pair<int, int>{x, y}; }

inline void Assign(TTransitionView& view, Bitmap pixels) {
  TPicture p;
  p.SetGraphic(std::make_unique<TBitmapGraphic>(std::move(pixels)));
  view.SetPicture(&p);
}

// A control on show with a white old picture, ready to draw single frames of
// a transition to the coordinate picture.
class StyleFrames {
 public:
  StyleFrames(int w, int h) : w_(w), h_(h) {
    form_.SetClientSize(w, h);
    form_.Show();
    view_.SetThreaded(false);
    view_.SetStyle(0);
    Assign(view_, OldPicture(w, h));
    view_.StartTransition();
  }

  // The frame of `style` at `progress`, drawn the way a manual transition
  // reaches it from the start.
  const Bitmap& Frame(int style, int progress, Bitmap newPicture = {}) {
    if (view_.InTransition()) view_.StopTransition();
    // Stopping keeps the drawn frame as the next old picture: show white again.
    view_.SetStyle(0);
    Assign(view_, OldPicture(w_, h_));
    view_.SetManual(false);
    view_.SetReverse(false);
    view_.StartTransition();

    Assign(view_, newPicture.Empty() ? CoordinatePicture(w_, h_) : std::move(newPicture));
    view_.SetStyle(static_cast<TShowStyle>(style));
    view_.SetStep(step_);
    view_.SetReverse(progress == 0);  // 0 is reached coming down from 100
    view_.SetManual(true);
    view_.StartTransition();
    view_.SetProgress(progress);
    return view_.ScreenImage();
  }
  const Bitmap& OnScreen() const { return form_.Surface(); }
  void UseStep(std::uint16_t step) { step_ = step; }
  TTransitionView& View() { return view_; }
  // The frame at `progress` of the transition the last Frame call started.
  const Bitmap& Then(int progress) {
    view_.SetProgress(progress);
    return view_.ScreenImage();
  }

 private:
  int w_, h_;
  std::uint16_t step_ = 4;
  TApplication app_{std::make_unique<HeadlessBackend>()};
  TForm form_;
  TTransitionView view_{&form_};
};

inline Source Shows(const Bitmap& frame, int x, int y) { return SourceOf(frame.Pixel(x, y)); }

}  // namespace slidesaver::style_test
