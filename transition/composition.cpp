// How the control's client area is composed from the frame on show, the fill
// colour and the background picture, and how frame rectangles map to it.
#include "transition/transition_view.h"

#include <algorithm>
#include <utility>

#include "base/muldiv.h"
#include "ui/app.h"

namespace slidesaver {

TRect TCustomTransitionView::FitRect(const TRect& r, const TRect& c) {
  const std::int32_t rw = r.Width();
  const std::int32_t rh = r.Height();
  const std::int32_t cw = c.Width();
  const std::int32_t ch = c.Height();
  // A picture without pixels has no place in C: an empty rectangle at its centre.
  std::int32_t w = 0;
  std::int32_t h = 0;
  if (rw != 0 && rh != 0) {
    if (static_cast<double>(ch) / rh > static_cast<double>(cw) / rw) {
      w = MulDiv(rw, cw, rw);
      h = MulDiv(rh, cw, rw);
    } else {
      w = MulDiv(rw, ch, rh);
      h = MulDiv(rh, ch, rh);
    }
  }
  TRect result{0, 0, w, h};
  result.Offset(c.Left + (cw - w) / 2, c.Top + (ch - h) / 2);
  return result;
}

void TCustomTransitionView::TileDraw(TCanvas& canvas, const TRect& r, TGraphic* graphic) {
  if (graphic == nullptr || graphic->Empty()) return;
  const Bitmap& tile = graphic->Pixels();
  const std::int32_t rows = r.Height() / tile.Height() + 1;
  const std::int32_t columns = r.Width() / tile.Width() + 1;
  for (std::int32_t i = 0; i < rows; ++i) {
    for (std::int32_t j = 0; j < columns; ++j) {
      canvas.Draw(r.Left + j * tile.Width(), r.Top + i * tile.Height(), tile);
    }
  }
}

void TCustomTransitionView::CalcPictureRect() {
  if (screenImage_.Empty()) return;
  const std::int32_t w = screenImage_.Width();
  const std::int32_t h = screenImage_.Height();
  pictureRect_ = TRect{0, 0, w, h};
  if (center_) pictureRect_.Offset((ClientWidth() - w) / 2, (ClientHeight() - h) / 2);
}

TRect TCustomTransitionView::DisplayRect() const {
  if (!stretch_) return pictureRect_;
  if (stretchFine_) return FitRect(pictureRect_, ClientRect());
  return ClientRect();
}

bool TCustomTransitionView::ComposesToScreenImage() const {
  if (threaded_ || screenImage_.Empty()) return false;
  const TRect client = ClientRect();
  const TRect display = stretch_ ? DisplayRect() : pictureRect_;
  return display == client && screenImage_.Width() == client.Width() &&
         screenImage_.Height() == client.Height();
}

const Bitmap* TCustomTransitionView::PaintToBitmap() {
  // The conditions of a paint message as well: only the main thread paints, never nested.
  if (painting_ || (HasApplication() && !Application().IsMainThread())) return nullptr;
  paintIsScreen_ = PreparePaint();
  return paintIsScreen_ ? &screenImage_ : &paintBuffer_;
}

bool TCustomTransitionView::PreparePaint() {
  const bool direct = ComposesToScreenImage();
  if (!direct) Compose();
  return direct;
}

void TCustomTransitionView::KeepLastPaint(bool screenRewritten) {
  if (!paintIsScreen_) return;
  paintIsScreen_ = false;
  if (screenRewritten && paintBuffer_.Width() == screenImage_.Width() &&
      paintBuffer_.Height() == screenImage_.Height()) {
    std::swap(paintBuffer_, screenImage_);
    std::swap(oldInPaint_, oldInScreen_);
    std::swap(newInPaint_, newInScreen_);
  } else {
    paintBuffer_ = screenImage_;
    oldInPaint_ = oldInScreen_;
    newInPaint_ = newInScreen_;
  }
}

void TCustomTransitionView::Compose() {
  paintIsScreen_ = false;
  oldInPaint_ = Region();
  newInPaint_ = Region();
  paintBuffer_.Resize(ClientWidth(), ClientHeight(), 0);
  paintCanvas_.Lock();
  struct Unlock {
    TCanvas& canvas;
    ~Unlock() { canvas.Unlock(); }
  } unlock{paintCanvas_};

  const TRect rect = ClientRect();
  const TRect display = DisplayRect();
  // Colour and background matter only where the frame does not cover them.
  const bool covered = !screenImage_.Empty() && display.Left <= 0 && display.Top <= 0 &&
                       display.Right >= rect.Right && display.Bottom >= rect.Bottom;
  if (!covered) {
    paintCanvas_.SetBrushColor(Color());
    paintCanvas_.FillRect(rect);
    if (TGraphic* bg = bgPicture_.Empty() ? nullptr : bgPicture_.Graphic()) {
      switch (bgMode_) {
        case TBackgroundMode::bmTiled:
          TileDraw(paintCanvas_, rect, bg);
          break;
        case TBackgroundMode::bmStretched:
          paintCanvas_.StretchDraw(rect, bg->Pixels());
          break;
        case TBackgroundMode::bmCentered:
          paintCanvas_.Draw((rect.Width() - bg->Width()) / 2, (rect.Height() - bg->Height()) / 2,
                            bg->Pixels());
          break;
        case TBackgroundMode::bmNone:
          break;
      }
    }
  }
  if (!screenImage_.Empty()) {
    if (!stretch_) {
      paintCanvas_.Draw(pictureRect_.Left, pictureRect_.Top, screenImage_);
    } else {
      paintCanvas_.StretchDraw(display, screenImage_);
    }
  }
}

void TCustomTransitionView::Paint(TCanvas& canvas) {
  // Where the composition would be a plain copy of ScreenImage, ScreenImage is drawn instead and
  // PaintBuffer is made only when it is needed (KeepLastPaint).
  const bool direct = PreparePaint();
  canvas.Lock();
  struct Unlock {
    TCanvas& canvas;
    ~Unlock() { canvas.Unlock(); }
  } unlock{canvas};
  canvas.Draw(0, 0, direct ? screenImage_ : paintBuffer_);
  paintIsScreen_ = direct;
}

void TCustomTransitionView::PaintMessage(TCanvas& canvas) {
  if (painting_) return;
  if (HasApplication() && !Application().IsMainThread()) return;
  painting_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{painting_};
  Paint(canvas);
}

void TCustomTransitionView::InvalidateArea(TRect r) {
  if (stretch_) {
    const TRect d = stretchFine_ ? FitRect(pictureRect_, ClientRect()) : ClientRect();
    const std::int32_t pw = pictureRect_.Width();
    const std::int32_t ph = pictureRect_.Height();
    // With no picture area there is nothing to map, hence nothing to repaint.
    if (pw == 0 || ph == 0) return;
    r = TRect{MulDiv(r.Left, d.Width(), pw) + d.Left, MulDiv(r.Top, d.Height(), ph) + d.Top,
              MulDiv(r.Right, d.Width(), pw) + d.Left, MulDiv(r.Bottom, d.Height(), ph) + d.Top};
  } else {
    if (center_) r.Offset(pictureRect_.Left, pictureRect_.Top);
    r.Left = std::max(r.Left, pictureRect_.Left);
    r.Right = std::min(r.Right, pictureRect_.Right);
    r.Top = std::max(r.Top, pictureRect_.Top);
    r.Bottom = std::min(r.Bottom, pictureRect_.Bottom);
  }
  if (Destroying()) return;
  r.Offset(Left(), Top());
  InvalidateParentRect(r);
}

void TCustomTransitionView::Resized() {
  TGraphicControl::Resized();
  if (!picture_.Empty()) {
    CalcPictureRect();
    if (!screenImage_.Empty() && !painting_) Invalidate();
  }
}

void TCustomTransitionView::SizeToPicture() {
  if (!picture_.Empty() && Align() == TAlign::alNone) {
    SetClientSize(picture_.Width(), picture_.Height());
  }
}

void TCustomTransitionView::BgPictureChanged() {
  if (bgMode_ != TBackgroundMode::bmNone && !painting_) Invalidate();
}

void TCustomTransitionView::SetBgMode(TBackgroundMode mode) {
  if (mode == bgMode_) return;
  bgMode_ = mode;
  if (!bgPicture_.Empty() && !painting_) Invalidate();
}

void TCustomTransitionView::SetCenter(bool value) {
  if (value == center_) return;
  center_ = value;
  if (!picture_.Empty()) {
    CalcPictureRect();
    if (!screenImage_.Empty() && !painting_) Invalidate();
  }
}

void TCustomTransitionView::SetStretch(bool value) {
  if (value == stretch_) return;
  stretch_ = value;
  if (!screenImage_.Empty() && !painting_) Invalidate();
}

void TCustomTransitionView::SetStretchFine(bool value) {
  if (value == stretchFine_) return;
  stretchFine_ = value;
  if (!screenImage_.Empty() && !painting_) Invalidate();
}

void TCustomTransitionView::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  if (autoSize_) SizeToPicture();
}

}  // namespace slidesaver
