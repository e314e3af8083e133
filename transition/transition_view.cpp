#include "transition/transition_view.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/muldiv.h"
#include "transition/styles.h"
#include "ui/app.h"

namespace slidesaver {

TCustomTransitionView::TCustomTransitionView(TForm* parent) : TGraphicControl(parent) {
  Opaque = true;
  picture_.OnChange = [this] { PictureChanged(); };
  // A transition showing the picture's own pixels keeps a copy of them when the picture changes.
  picture_.OnChanging = [this] {
    if (newImage_ != nullptr && !newCopy_) OwnedNewImage();
  };
  bgPicture_.OnChange = [this] { BgPictureChanged(); };
  SetBounds(0, 0, 100, 100);
}

TCustomTransitionView::~TCustomTransitionView() {
  BeginDestroy();
  *alive_ = false;
  if (TAnimateThread* thread = animationThread_) {
    animationThread_ = nullptr;
    if (thread->InHandOver()) {
      // Destroyed from inside one of the thread's own frames: the thread is
      // blocked in handing that frame over and ends by itself once it returns.
      thread->OnTerminate = nullptr;
      thread->Terminate();
    } else {
      thread->Terminate();
      thread->WaitFor();
    }
  }
  picture_.OnChange = nullptr;
  picture_.OnChanging = nullptr;
  bgPicture_.OnChange = nullptr;
}

void TCustomTransitionView::SetStep(std::uint16_t step) {
  step_ = step == 0 ? 1 : std::min<std::uint16_t>(step, 100);
}

void TCustomTransitionView::SetManual(bool manual) {
  if (manual == manual_) return;
  manual_ = manual;
  if (!inTransition_) {
    progress_ = reverse_ ? 100 : 0;
  } else if (!manual && animationThread_ == nullptr) {
    // A worker that has not noticed the switch to manual yet simply goes on pacing.
    Animate();
  }
}

void TCustomTransitionView::StartTransition() {
  if (inTransition_ || picture_.Empty()) return;
  inTransition_ = true;
  failed_ = false;
  const std::shared_ptr<bool> alive = alive_;
  try {
    PrepareImages();
    if (!manual_) Animate();
  } catch (...) {
    if (*alive) {
      ReleaseImages();
      inTransition_ = false;
    }
    throw;
  }
}

void TCustomTransitionView::PrepareImages() {
  const TColor color = Color();
  screenCanvas_.SetBrushColor(color);
  const int w = picture_.Width();
  const int h = picture_.Height();
  KeepLastPaint(false);
  screenImage_.Resize(w, h, ColorToRGB(color));
  CalcPictureRect();

  // What the control shows where the new picture will appear; a control that
  // has never painted (or changed size since) composes that now.
  if (paintBuffer_.Width() != Width() || paintBuffer_.Height() != Height()) Compose();
  // The colour shows where the paint does not reach.
  const TRect shown = DisplayRect();
  const bool paintCovers = FillsDestination(shown, paintBuffer_.Width(), paintBuffer_.Height());
  oldImage_ = std::make_unique<Bitmap>(Bitmap::Unfilled(w, h));
  ForgetKeptPictures();
  if (!paintCovers) oldImage_->Fill(ColorToRGB(color));
  StretchCopy(*oldImage_, TRect{0, 0, w, h}, paintBuffer_, shown);

  // The frames read the new picture where it is; a worker thread gets a copy of its own.
  const Bitmap& pixels = picture_.Graphic()->Pixels();
  newCopy_.reset();
  if (pixels.Width() == w && pixels.Height() == h) {
    newImage_ = &pixels;
    if (threaded_) OwnedNewImage();
  } else {
    newCopy_ = std::make_unique<Bitmap>(w, h);
    StretchCopy(*newCopy_, TRect{0, 0, w, h}, pixels, TRect{0, 0, w, h});
    newImage_ = newCopy_.get();
  }
  SetProgress(reverse_ ? 100 : 0);
}

void TCustomTransitionView::SetProgress(int value) {
  value = std::clamp(value, 0, 100);
  if (!inTransition_ || value == progress_) return;
  if (value < progress_ && !painting_) {
    InvalidateArea(TRect{0, 0, screenImage_.Width(), screenImage_.Height()});
  }
  progress_ = static_cast<std::uint8_t>(value);
  const std::shared_ptr<bool> alive = alive_;
  DrawFrame();
  if (*alive && OnProgress && !Destroying()) OnProgress(this);
}

namespace {

// Whether rectangles lie side by side across the same rows, or the same columns (bars): united,
// they stay as many rectangles. Others, crossing or in a grid, may unite into many more.
bool AreBars(std::span<const TRect> parts) {
  const TRect& a = parts.front();
  return std::all_of(parts.begin(), parts.end(),
                     [&](const TRect& r) { return r.Top == a.Top && r.Bottom == a.Bottom; }) ||
         std::all_of(parts.begin(), parts.end(),
                     [&](const TRect& r) { return r.Left == a.Left && r.Right == a.Right; });
}

// Whether a frame of the new picture in `part` and the old one elsewhere, `height` rows high, is
// best composed from what the screen image holds already. Working out the difference costs more
// than composing the frame whole once the region is more than about three rectangles a row, or
// many rectangles still to be united that may be many more.
bool WorthReusing(const Region& part, std::int32_t height) {
  const std::size_t most = 3 * static_cast<std::size_t>(std::max(height, 1));
  const std::span<const TRect> parts = part.Parts();
  if (!parts.empty()) return parts.size() <= 16 || (parts.size() <= most && AreBars(parts));
  return part.RectCount() <= most;
}

// A repaint of more rectangles than this covers their bounds.
constexpr std::size_t kMostRectsRepainted = 16;

// Whether copying the frame's last piece writes every pixel of the frame: it fills its
// destination, which covers the picture, neither of them mirrored.
bool CoversFrame(const StyleFrame& f) {
  const TRect& d = f.DestRect;
  const TRect& s = f.SourceRect;
  return FillsDestination(s, f.W, f.H) && s.Left < s.Right && s.Top < s.Bottom && d.Left <= 0 &&
         d.Top <= 0 && d.Right >= f.W && d.Bottom >= f.H;
}

// The parts of the w x h frame outside all the pieces' destinations.
Region AroundPieces(std::span<const TRect> pieces, std::int32_t w, std::int32_t h) {
  const TRect frame{0, 0, w, h};
  std::vector<TRect> covered;
  for (const TRect& d : pieces) {
    covered.push_back(IntersectRect(TRect{std::min(d.Left, d.Right), std::min(d.Top, d.Bottom),
                                          std::max(d.Left, d.Right), std::max(d.Top, d.Bottom)},
                                    frame));
  }
  return Region::FromRect(frame).Subtract(Region::FromRects(covered));
}

}  // namespace

void TCustomTransitionView::DrawFrame() {
  // Style 0 without handlers covers the whole frame with the new picture, so
  // nobody can see the reset to the old picture: skip that copy. A region
  // style's step does not look at the screen image either: without a handler
  // to see it, its frame is composed from both pictures in one pass once the
  // region is known, writing every pixel at most once.
  // A copy style puts the copy off until it draws a piece itself, or skips it
  // when its last piece covers the whole frame; one whose pieces all lie in
  // place is composed like a region style.
  const bool cutToNew = style_ == 0 && !OnCustomDraw && !OnBeforeNewFrame;
  const StyleGroup group = style_ < kStyleCount ? GroupOfStyle(style_) : StyleGroup::Custom;
  const bool composeLater = group == StyleGroup::Region && !OnBeforeNewFrame;
  bool screenIsOld = !cutToNew && !composeLater && !(group == StyleGroup::Copy && !OnBeforeNewFrame);
  // Without handlers to look at the screen image or draw into it, a frame of both pictures in their
  // own places writes only where the screen image does not hold them there yet, and repaints only
  // what changed since the frame before.
  const bool reuse = !OnBeforeNewFrame && !OnCustomDraw && !OnAfterNewFrame;
  // Every frame writes the whole screen image before anything looks at it.
  KeepLastPaint(true);
  // Where the screen image still holds the old picture and the new one; they are known again only
  // when the frame leaves them so exactly.
  const Region oldKept = std::exchange(oldInScreen_, Region());
  const Region newKept = std::exchange(newInScreen_, Region());
  const std::optional<Region> newShown = std::exchange(newShown_, std::nullopt);
  std::optional<Region> oldAround;
  const TRect frame{0, 0, oldImage_->Width(), oldImage_->Height()};
  const auto drawOld = [&](const Region& where) {
    for (const TRect& r : where.Subtract(oldKept).Rects()) {
      screenCanvas_.CopyRect(r, *oldImage_, r);
    }
  };
  if (screenIsOld) drawOld(Region::FromRect(frame));
  const auto prepareScreen = [&](std::span<const TRect> pieces) {
    if (screenIsOld) return;
    screenIsOld = true;
    if (pieces.empty()) {
      drawOld(Region::FromRect(frame));
      return;
    }
    oldAround = AroundPieces(pieces, frame.Width(), frame.Height());
    drawOld(*oldAround);
  };
  // A handler that stopped the transition took the images with it; one that
  // destroyed the control took everything.
  const std::shared_ptr<bool> alive = alive_;
  const auto aborted = [&] { return !*alive || FrameAborted(); };
  if (OnBeforeNewFrame) {
    OnBeforeNewFrame(this, OwnedNewImage(), screenImage_);
    if (aborted()) return;
  }

  StyleFrame f;
  f.W = newImage_->Width();
  f.H = newImage_->Height();
  f.p = progress_;
  f.Step = step_;
  if (f.W >= f.H) {
    f.X = MulDiv(f.W, f.p, 100);
    f.Y = MulDiv(f.X, f.H, f.W);
    f.StepPx = MulDiv(f.W, f.Step, 90);
  } else {
    f.Y = MulDiv(f.H, f.p, 100);
    f.X = MulDiv(f.Y, f.W, f.H);
    f.StepPx = MulDiv(f.H, f.Step, 90);
  }
  f.OldImage = oldImage_.get();
  f.NewImage = newImage_;
  f.ScreenImage = &screenImage_;
  f.Screen = &screenCanvas_;
  f.DestRect = TRect{0, 0, f.W, f.H};
  f.SourceRect = f.DestRect;
  f.InvalidateArea = [this](const TRect& r) { InvalidateArea(r); };
  f.PrepareScreen = prepareScreen;

  const int style = style_;
  if (style >= kStyleCount) return;
  bool screenIsNew = false;  // ScreenImage holds NewImage whole already
  if (style == 0) {
    if (OnCustomDraw) {
      OnCustomDraw(this, OwnedNewImage(), screenImage_);
      if (aborted()) return;
    } else {
      screenCanvas_.Draw(0, 0, *newImage_);
      screenIsNew = true;
      f.Clip = Region::FromRect(TRect{0, 0, f.W, f.H});
      progress_ = 100;
    }
  } else {
    StyleTable()[style](f);
  }

  // A frame of the new picture here and the old one elsewhere, both in their own places.
  std::optional<Region> newPart;
  if (progress_ == 100) {
    if (!screenIsNew) newPart = Region::FromRect(frame);
  } else if (group == StyleGroup::Copy && f.Clip) {
    if (OnBeforeNewFrame) {
      screenCanvas_.IntersectClip(*f.Clip);
      screenCanvas_.Draw(0, 0, *newImage_);
      screenCanvas_.RemoveClip();
    } else {
      newPart = std::move(*f.Clip);
    }
  } else if (group == StyleGroup::Copy && progress_ == 0) {
    prepareScreen({});
  } else if (composeLater) {
    newPart = progress_ != 0 && f.Clip ? std::move(*f.Clip) : Region();
  } else if (progress_ != 0) {
    switch (GroupOfStyle(style)) {
      case StyleGroup::Copy:
        if (!CoversFrame(f)) {
          // Where the piece covers its destination whole, the old picture goes only around it.
          const bool fills = FillsDestination(f.SourceRect, f.W, f.H);
          prepareScreen(fills ? std::span<const TRect>(&f.DestRect, 1) : std::span<const TRect>());
        }
        screenCanvas_.CopyRect(f.DestRect, *newImage_, f.SourceRect);
        break;
      case StyleGroup::Custom:
      case StyleGroup::Region:
        // A frame without a region (a handler drew it, or the region builder
        // added nothing) shows nothing more of the new picture.
        if (f.Clip) {
          screenCanvas_.IntersectClip(*f.Clip);
          screenCanvas_.Draw(0, 0, *newImage_);
          screenCanvas_.RemoveClip();
        }
        break;
      case StyleGroup::Pixel:
        break;
    }
  }
  f.Clip.reset();
  // What changed since the frame before, where that is known.
  std::optional<Region> changed;
  if (newPart) {
    const Region whole = Region::FromRect(frame);
    if (reuse && WorthReusing(*newPart, frame.Height())) {
      const Region inside = newPart->Intersect(whole);
      const Region outside = whole.Subtract(inside);
      for (const TRect& r : inside.Subtract(newKept).Rects()) {
        screenCanvas_.CopyRect(r, *newImage_, r);
      }
      for (const TRect& r : outside.Subtract(oldKept).Rects()) {
        screenCanvas_.CopyRect(r, *oldImage_, r);
      }
      if (newShown) changed = inside.Xor(*newShown);
      newInScreen_ = inside;
      oldInScreen_ = outside;
      newShown_ = inside;
    } else if (progress_ == 100) {
      screenCanvas_.Draw(0, 0, *newImage_);
    } else {
      SelectCopy(screenImage_, *newImage_, *oldImage_, *newPart);
    }
  }
  // The pieces of a copy style were all drawn (the last one only between 0 and 100).
  if (oldAround && group == StyleGroup::Copy && progress_ != 0 && progress_ != 100 &&
      !OnAfterNewFrame) {
    oldInScreen_ = std::move(*oldAround);
  }
  if (!changed) {
    InvalidateArea(f.DestRect);
  } else if (const std::vector<TRect> rects = changed->Rects(); rects.size() <= kMostRectsRepainted) {
    for (const TRect& r : rects) InvalidateArea(r);
  } else {
    InvalidateArea(changed->Extents());
  }
  if (OnAfterNewFrame) {
    OnAfterNewFrame(this, OwnedNewImage(), screenImage_);
    if (aborted()) return;
  }
  if (!painting_) Update();
}

void TCustomTransitionView::Animate() {
  if (threaded_) {
    animationThread_ = new TAnimateThread(*this);
    return;
  }
  TApplication& app = Application();
  const std::shared_ptr<bool> alive = alive_;
  const auto keepWaiting = [&](std::uint32_t t0) {
    return app.TickCount() - t0 <= delay_ && inTransition_ && !manual_ && !stopping_;
  };
  bool done = false;
  do {
    const std::uint32_t t0 = app.TickCount();
    done = AdvanceFrame();
    if (!*alive) return;
    if (done) break;
    while (keepWaiting(t0)) {
      app.ProcessMessages();
      if (!*alive) return;
      if (!keepWaiting(t0)) break;
      const std::uint32_t elapsed = app.TickCount() - t0;
      app.WaitForMessages(delay_ + 1u - elapsed);
    }
  } while (inTransition_ && !manual_ && !stopping_);
  if (done && inTransition_) TransitionDone();
}

bool TCustomTransitionView::AdvanceFrame() {
  int target;
  if (reverse_) {
    target = progress_ < step_ ? 0 : progress_ - step_;
  } else {
    target = std::min(progress_ + step_, 100);
  }
  const std::shared_ptr<bool> alive = alive_;
  SetProgress(target);
  if (!*alive) return true;  // destroyed by a handler: nothing left to pace
  if (reverse_ ? progress_ == 0 : progress_ == 100) return true;
  // A frame that moved the progress itself (style 0 without a handler cuts
  // straight to the new picture) ends the pacing in either direction.
  return inTransition_ && progress_ != target;
}

void TCustomTransitionView::TransitionDone() {
  animationThread_ = nullptr;
  if (!stopping_ && manual_) return;
  inTransition_ = false;
  ReleaseImages();
  if (OnComplete && !Destroying() && !stopping_ && !failed_) OnComplete(this);
}

Bitmap& TCustomTransitionView::OwnedNewImage() {
  if (!newCopy_) {
    newCopy_ = std::make_unique<Bitmap>(*newImage_);
    newImage_ = newCopy_.get();
  }
  return *newCopy_;
}

void TCustomTransitionView::ReleaseImages() {
  newImage_ = nullptr;
  newCopy_.reset();
  oldImage_.reset();
  ForgetKeptPictures();
}

void TCustomTransitionView::ForgetKeptPictures() {
  oldInScreen_ = Region();
  oldInPaint_ = Region();
  newInScreen_ = Region();
  newInPaint_ = Region();
  newShown_.reset();
}

void TCustomTransitionView::StopTransition() {
  if (!inTransition_ || stopping_) return;
  stopping_ = true;
  try {
    if (TAnimateThread* thread = animationThread_) {
      if (thread->InHandOver()) {
        // Called from a handler inside one of the thread's frames: the thread
        // waits for that very frame, so waiting for the thread here would
        // never end. End the transition now; the thread sees its termination
        // request when the frame returns and finishes on its own.
        thread->OnTerminate = nullptr;
        thread->Terminate();
        TransitionDone();
      } else {
        thread->Terminate();
        thread->WaitFor();
      }
    } else {
      TransitionDone();
    }
  } catch (...) {
    stopping_ = false;
    throw;
  }
  stopping_ = false;
}

void TCustomTransitionView::ClearScreen() {
  if (inTransition_ || screenImage_.Empty()) return;
  if (!screenCanvas_.TryLock()) return;
  screenCanvas_.Unlock();
  KeepLastPaint(true);
  screenImage_ = Bitmap();
  Invalidate();
}

void TCustomTransitionView::PictureChanged() {
  if (Destroying()) return;
  if (!picture_.Empty() && autoSize_) SizeToPicture();
  if (OnChange) OnChange(this);
}

void TCustomTransitionView::MouseEnter() {
  TGraphicControl::MouseEnter();
  if (OnMouseEnter) OnMouseEnter(this);
}

void TCustomTransitionView::MouseLeave() {
  TGraphicControl::MouseLeave();
  if (OnMouseLeave) OnMouseLeave(this);
}

TAnimateThread::TAnimateThread(TCustomTransitionView& view) : view_(view) {
  Priority = view.ThreadPriority();
  OnTerminate = [&view] { view.TransitionDone(); };
  FreeOnTerminate = true;
  Start();
}

void TAnimateThread::Execute() {
  TApplication& app = Application();
  while (!Terminated() && !view_.manual_ && !view_.stopping_) {
    const std::uint32_t t0 = app.TickCount();
    bool done = false;
    std::uint32_t delay = 0;
    Synchronize([&] {
      delay = view_.delay_;
      try {
        done = view_.AdvanceFrame();
      } catch (const std::exception& e) {
        // The frame failed: end the transition without OnComplete and let
        // the application's failure handler report it.
        view_.failed_ = true;
        done = true;
        app.HandleException(e);
      }
    });
    // After a stop from inside the frame the control may be gone: look at nothing of it.
    if (Terminated() || done) break;
    const std::uint32_t elapsed = app.TickCount() - t0;
    if (elapsed < delay) app.Sleep(delay - elapsed);
  }
}

}  // namespace slidesaver
