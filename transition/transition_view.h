#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "graphics/graphic.h"
#include "ui/controls.h"
#include "ui/thread.h"

namespace slidesaver {

class TAnimateThread;

enum class TBackgroundMode : std::uint8_t { bmNone = 0, bmTiled = 1, bmStretched = 2, bmCentered = 3 };

// Transition style number; 0..127 are meaningful.
using TShowStyle = std::uint8_t;

using TCustomDrawEvent = std::function<void(void* sender, Bitmap& picture, Bitmap& screen)>;

// A windowless picture control that replaces the picture on show by `Picture`
// through an animated transition, frame by frame, in one of 128 styles.
class TCustomTransitionView : public TGraphicControl {
 public:
  explicit TCustomTransitionView(TForm* parent);
  ~TCustomTransitionView() override;

  // The picture the next transition changes to (copied in; none clears it).
  TPicture& Picture() { return picture_; }
  void SetPicture(const TPicture* picture) { picture_.Assign(picture); }
  TPicture& BgPicture() { return bgPicture_; }
  void SetBgPicture(const TPicture* picture) { bgPicture_.Assign(picture); }

  TShowStyle Style() const { return style_; }
  void SetStyle(TShowStyle style) { style_ = style; }
  std::uint16_t Step() const { return step_; }
  void SetStep(std::uint16_t step);
  std::uint16_t Delay() const { return delay_; }
  void SetDelay(std::uint16_t delay) { delay_ = delay; }
  bool Reverse() const { return reverse_; }
  void SetReverse(bool reverse) { reverse_ = reverse; }
  bool Manual() const { return manual_; }
  void SetManual(bool manual);
  bool Threaded() const { return threaded_; }
  void SetThreaded(bool threaded) { threaded_ = threaded; }
  TThreadPriority ThreadPriority() const { return threadPriority_; }
  void SetThreadPriority(TThreadPriority priority) { threadPriority_ = priority; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool value);
  bool StretchFine() const { return stretchFine_; }
  void SetStretchFine(bool value);
  TBackgroundMode BgMode() const { return bgMode_; }
  void SetBgMode(TBackgroundMode mode);

  TCustomDrawEvent OnBeforeNewFrame;
  TCustomDrawEvent OnCustomDraw;
  TCustomDrawEvent OnAfterNewFrame;
  TNotifyEvent OnProgress;
  TNotifyEvent OnComplete;
  TNotifyEvent OnChange;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  void StartTransition();
  void StopTransition();
  void ClearScreen();
  std::uint8_t Progress() const { return progress_; }
  void SetProgress(int value);
  bool InTransition() const { return inTransition_; }
  virtual void PictureChanged();

  // Frame composition.
  void Paint(TCanvas& canvas) override;
  void PaintMessage(TCanvas& canvas) override;
  // The paint as a bitmap: ScreenImage as it stands where the paint would draw it unchanged,
  // else PaintBuffer composed.
  const Bitmap* PaintToBitmap() override;
  const Bitmap* PaintedBitmap() const override {
    return paintIsScreen_ ? &screenImage_ : &paintBuffer_;
  }
  void CalcPictureRect();
  void InvalidateArea(TRect r);
  void SizeToPicture();
  void BgPictureChanged();
  // The largest rectangle of R's aspect ratio that fits in C, centred in C.
  static TRect FitRect(const TRect& r, const TRect& c);
  static void TileDraw(TCanvas& canvas, const TRect& r, TGraphic* graphic);

  // Read access for tools and tests.
  const Bitmap& ScreenImage() const { return screenImage_; }
  const Bitmap& PaintBuffer() {
    KeepLastPaint(false);
    return paintBuffer_;
  }
  const Bitmap* OldImage() const { return oldImage_.get(); }
  const Bitmap* NewImage() const { return newImage_; }
  TRect PictureRect() const { return pictureRect_; }
  bool Painting() const { return painting_; }

 protected:
  void Resized() override;
  void MouseEnter() override;
  void MouseLeave() override;

 private:
  friend class TAnimateThread;

  void PrepareImages();
  void Animate();
  // One automatic step; true when the transition has reached its end.
  bool AdvanceFrame();
  void DrawFrame();
  void TransitionDone();
  // Fills PaintBuffer with the composition of the client area.
  void Compose();
  // The composition of the client area is ScreenImage itself, pixel for pixel: the picture
  // covers the client area one to one (and the control animates on the main thread).
  bool ComposesToScreenImage() const;
  // Composes PaintBuffer for a paint unless ScreenImage is the paint; true when it is.
  bool PreparePaint();
  // Forgets where the screen image and the paint buffer hold either picture of a transition.
  void ForgetKeptPictures();
  // After a paint that drew ScreenImage straight away, PaintBuffer is only nominally the last
  // composed paint; this makes it so before ScreenImage changes or PaintBuffer is read: by a
  // copy, or, when ScreenImage is about to be written whole, by exchanging the two.
  void KeepLastPaint(bool screenRewritten);
  TRect DisplayRect() const;
  bool FrameAborted() const { return !newImage_; }
  // The new picture as the transition's own copy, which handlers may change.
  Bitmap& OwnedNewImage();
  void ReleaseImages();

  TPicture picture_;
  TPicture bgPicture_;
  TShowStyle style_ = 51;
  std::uint16_t step_ = 4;
  std::atomic<std::uint16_t> delay_{40};
  std::atomic<bool> reverse_{false};
  std::atomic<bool> manual_{false};
  bool threaded_ = true;
  TThreadPriority threadPriority_ = TThreadPriority::tpNormal;
  bool autoSize_ = true;
  bool center_ = false;
  bool stretch_ = false;
  bool stretchFine_ = false;
  TBackgroundMode bgMode_ = TBackgroundMode::bmTiled;

  Bitmap screenImage_;
  TCanvas screenCanvas_{screenImage_};
  TRect pictureRect_;
  Bitmap paintBuffer_;
  TCanvas paintCanvas_{paintBuffer_};
  std::unique_ptr<Bitmap> oldImage_;
  // Where ScreenImage and PaintBuffer hold the old or the new picture of the running transition
  // in its own place, untouched since a frame put it there, so that the next frames need not
  // copy it again.
  Region oldInScreen_;
  Region oldInPaint_;
  Region newInScreen_;
  Region newInPaint_;
  // Where the last frame showed the new picture, when it showed the old one everywhere else
  // (both in their own places).
  std::optional<Region> newShown_;
  // The new picture of the running transition: the picture's own pixels where nothing can change
  // them behind the transition's back, else newCopy_.
  const Bitmap* newImage_ = nullptr;
  std::unique_ptr<Bitmap> newCopy_;
  std::uint8_t progress_ = 0;
  bool inTransition_ = false;
  std::atomic<bool> stopping_{false};
  bool painting_ = false;
  // The last paint drew ScreenImage as it stands; PaintBuffer was not written.
  bool paintIsScreen_ = false;
  bool failed_ = false;
  TAnimateThread* animationThread_ = nullptr;
  // Cleared by the destructor, so that a pacing loop further up the stack
  // notices the control is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The control as a form places it; it adds no behaviour.
class TTransitionView : public TCustomTransitionView {
 public:
  using TCustomTransitionView::TCustomTransitionView;
};

// Paces the frames of a threaded transition: hands each step to the main
// thread, then sleeps for the rest of the period.
class TAnimateThread : public TThread {
 public:
  explicit TAnimateThread(TCustomTransitionView& view);

 protected:
  void Execute() override;

 private:
  TCustomTransitionView& view_;
};

}  // namespace slidesaver
