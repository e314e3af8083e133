#include "setup/themed_controls.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "graphics/text.h"

namespace slidesaver {

namespace {

std::uint8_t Channel(std::uint32_t rgb, int shift) {
  return static_cast<std::uint8_t>((rgb >> shift) & 0xFF);
}

void FillPixel(TCanvas& canvas, std::int32_t x, std::int32_t y, TColor color) {
  canvas.SetBrushColor(color);
  canvas.FillRect(Bounds(x, y, 1, 1));
}

// A length of the 96-pixels-per-inch layout at the pixels per inch of `font`.
std::int32_t Scaled(const TTextFont& font, std::int32_t length) {
  return ScaleToDpi(length, font.PixelsPerInch);
}

// A stroke `width` pixels wide from (x0, y0) to (x1, y1), one step per column.
void ThickStroke(TCanvas& canvas, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                 std::int32_t y1, TColor color, std::int32_t width) {
  canvas.SetBrushColor(color);
  const std::int32_t steps = std::max(1, std::abs(x1 - x0));
  for (std::int32_t i = 0; i <= steps; ++i) {
    const std::int32_t x = x0 + (x1 - x0) * i / steps;
    const std::int32_t y = y0 + (y1 - y0) * i / steps;
    canvas.FillRect(Bounds(x, y, width, width));
  }
}

// A rectangle with its four corner pixels cut off, filled with a gradient and
// outlined; the corners get a softened outline colour.
void RoundedBox(TCanvas& canvas, const TRect& r, TColor fillTop, TColor fillBottom, TColor line,
                TColor background) {
  if (r.Width() < 3 || r.Height() < 3) return;
  FillVerticalGradient(canvas, Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1), fillTop,
                       fillBottom);
  canvas.SetBrushColor(line);
  canvas.FillRect(Rect(r.Left + 1, r.Top, r.Right - 1, r.Top + 1));
  canvas.FillRect(Rect(r.Left + 1, r.Bottom - 1, r.Right - 1, r.Bottom));
  canvas.FillRect(Rect(r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1));
  canvas.FillRect(Rect(r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1));
  const TColor soft = BlendColor(line, background, 1, 2);
  FillPixel(canvas, r.Left, r.Top, soft);
  FillPixel(canvas, r.Right - 1, r.Top, soft);
  FillPixel(canvas, r.Left, r.Bottom - 1, soft);
  FillPixel(canvas, r.Right - 1, r.Bottom - 1, soft);
}

// The caption without access-key marks, and the index of the marked character
// in it (npos when none).
std::pair<std::string, std::size_t> StripAccessMarks(const std::string& caption) {
  std::string text;
  std::size_t marked = std::string::npos;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) {
      ++i;
      if (caption[i] != '&' && marked == std::string::npos) marked = text.size();
    }
    text += caption[i];
  }
  return {text, marked};
}

}  // namespace

TTextFont DialogFont() {
  TTextFont font;
  font.Name = "MS Sans Serif";
  font.Size = -11;
  font.Color = theme::kText;
  return font;
}

TColor BlendColor(TColor from, TColor to, std::int32_t num, std::int32_t den) {
  if (den <= 0) return ColorToRGB(to);
  const std::uint32_t a = ColorToRGB(from);
  const std::uint32_t b = ColorToRGB(to);
  TColor result = 0;
  for (const int shift : {0, 8, 16}) {
    const std::int32_t ca = Channel(a, shift);
    const std::int32_t cb = Channel(b, shift);
    const std::int32_t c = ca + ((cb - ca) * num + den / 2) / den;
    result |= static_cast<TColor>(std::clamp(c, 0, 255)) << shift;
  }
  return result;
}

void FillVerticalGradient(TCanvas& canvas, const TRect& r, TColor top, TColor bottom) {
  const std::int32_t rows = r.Height();
  for (std::int32_t i = 0; i < rows; ++i) {
    canvas.SetBrushColor(BlendColor(top, bottom, i, std::max(1, rows - 1)));
    canvas.FillRect(Rect(r.Left, r.Top + i, r.Right, r.Top + i + 1));
  }
}

void FrameRect(TCanvas& canvas, const TRect& r, TColor color) {
  if (r.IsEmpty()) return;
  canvas.SetBrushColor(color);
  canvas.FillRect(Rect(r.Left, r.Top, r.Right, r.Top + 1));
  canvas.FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
  canvas.FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom));
  canvas.FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
}

// ---------------------------------------------------------------------------

TThemedPanel::TThemedPanel(TForm* parent) : TGraphicControl(parent) { Opaque = true; }

void TThemedPanel::Paint(TCanvas& canvas) {
  FillVerticalGradient(canvas, ClientRect(), GradientTop, GradientBottom);
  canvas.SetBrushColor(EdgeColor);
  if (TopEdge) canvas.FillRect(Rect(0, 0, Width(), 1));
  if (BottomEdge) canvas.FillRect(Rect(0, Height() - 1, Width(), Height()));
}

// ---------------------------------------------------------------------------

TThemedControl::TThemedControl(TForm* parent)
    : TGraphicControl(parent), font_(DialogFont()) {}

void TThemedControl::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  TextChanged();
}

void TThemedControl::SetFont(const TTextFont& font) {
  font_ = font;
  TextChanged();
}

void TThemedControl::SetFocused(bool focused) {
  if (focused == focused_) return;
  focused_ = focused;
  Invalidate();
}

void TThemedControl::TakeFocus() {
  if (chain_ != nullptr) chain_->SetFocus(this);
}

void TThemedControl::MouseEnter() {
  hot_ = true;
  Invalidate();
}

void TThemedControl::MouseLeave() {
  hot_ = false;
  Invalidate();
}

// ---------------------------------------------------------------------------

void TPressableControl::MouseDown(TMouseButton button, TShiftState shift, std::int32_t x,
                                  std::int32_t y) {
  if (button == TMouseButton::mbLeft) {
    TakeFocus();
    down_ = true;
    Invalidate();
  }
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TPressableControl::MouseUp(TMouseButton button, TShiftState shift, std::int32_t x,
                                std::int32_t y) {
  const bool click = button == TMouseButton::mbLeft && down_ && ClientRect().Contains(x, y);
  if (button == TMouseButton::mbLeft && down_) {
    down_ = false;
    Invalidate();
  }
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
  if (click) Press();
}

void TPressableControl::MouseLeave() {
  down_ = false;
  TThemedControl::MouseLeave();
}

TThemedLabel::TThemedLabel(TForm* parent) : TThemedControl(parent) { AdjustSize(); }

void TThemedLabel::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  AdjustSize();
}

void TThemedLabel::TextChanged() {
  Invalidate();
  AdjustSize();
}

void TThemedLabel::AdjustSize() {
  if (!autoSize_) return;
  const TSize extent = MeasureText(Font(), Caption());
  SetBounds(Left(), Top(), extent.cx, extent.cy);
}

void TThemedLabel::Paint(TCanvas& canvas) {
  if (!Transparent) {
    canvas.SetBrushColor(Color());
    canvas.FillRect(ClientRect());
  }
  canvas.Font() = Font();
  canvas.TextOut(0, 0, Caption());
}

// ---------------------------------------------------------------------------

TThemedLinkLabel::TThemedLinkLabel(TForm* parent) : TThemedLabel(parent) {
  TTextFont font = Font();
  font.Color = theme::kLinkBlue;
  font.Underline = true;
  SetFont(font);
}

void TThemedLinkLabel::Press() {
  if (OnClick) OnClick(this);
}

void TThemedLinkLabel::Paint(TCanvas& canvas) {
  if (Focused()) {
    canvas.SetBrushColor(theme::kFocusTint);
    canvas.FillRect(ClientRect());
  }
  TThemedLabel::Paint(canvas);
}

void TThemedLinkLabel::MouseDown(TMouseButton button, TShiftState shift, std::int32_t x,
                                 std::int32_t y) {
  if (button == TMouseButton::mbLeft) TakeFocus();
  TThemedLabel::MouseDown(button, shift, x, y);
}

void TThemedLinkLabel::MouseEnter() {
  TThemedLabel::MouseEnter();
  if (OnMouseEnter) OnMouseEnter(this);
}

void TThemedLinkLabel::MouseLeave() {
  TThemedLabel::MouseLeave();
  if (OnMouseLeave) OnMouseLeave(this);
}

// ---------------------------------------------------------------------------

TThemedCheckBox::TThemedCheckBox(TForm* parent) : TPressableControl(parent) {}

void TThemedCheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Invalidate();
  if (OnChange) OnChange(this);
}

TRect TThemedCheckBox::BoxRect() const {
  const std::int32_t size = Scaled(Font(), kBoxSize);
  return Bounds(0, (Height() - size) / 2, size, size);
}

void TThemedCheckBox::PaintBox(TCanvas& canvas) {
  const TRect box = BoxRect();
  const TColor background = BlendColor(theme::kBandLight, theme::kBandTop, 1, 2);
  if (checked_) {
    const TColor top = Down() ? theme::kAccentDark : theme::kAccent;
    RoundedBox(canvas, box, BlendColor(top, theme::kBandLight, 1, 5), top, theme::kAccentDark,
               background);
    // The tick: a short stroke down to the right, then a long one up to the right.
    const std::int32_t x = box.Left;
    const std::int32_t y = box.Top;
    const auto at = [this](std::int32_t length) { return Scaled(Font(), length); };
    ThickStroke(canvas, x + at(3), y + at(6), x + at(5), y + at(8), theme::kFieldFill, at(2));
    ThickStroke(canvas, x + at(5), y + at(8), x + at(9), y + at(3), theme::kFieldFill, at(2));
    return;
  }
  const bool lit = Hot() || Focused();
  const TColor fillTop = Down() ? theme::kAccentTint : theme::kFieldFill;
  RoundedBox(canvas, box, fillTop, theme::kAccentTint, lit ? theme::kAccent : theme::kBorder,
             background);
}

void TThemedCheckBox::Paint(TCanvas& canvas) {
  PaintBox(canvas);
  canvas.Font() = Font();
  const TSize extent = canvas.TextExtent(Caption());
  const std::int32_t textLeft = Scaled(Font(), kBoxSize + kCaptionGap);
  const std::int32_t textTop = (Height() - extent.cy) / 2;
  canvas.TextOut(textLeft, textTop, Caption());
  if (Focused()) {
    const TRect ring = Rect(textLeft - 2, std::max(0, textTop - 1),
                            std::min(Width(), textLeft + extent.cx + 2),
                            std::min(Height(), textTop + extent.cy + 1));
    FrameRect(canvas, ring, theme::kFocusRing);
  }
}


// ---------------------------------------------------------------------------

TThemedMemo::TThemedMemo(TForm* parent) : TGraphicControl(parent), font_(DialogFont()) {
  parentColor_ = false;
  color_ = theme::kBandMiddle;
  Opaque = true;
}

void TThemedMemo::SetLines(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  Invalidate();
}

void TThemedMemo::AddLine(const std::string& line) {
  lines_.push_back(line);
  Invalidate();
}

void TThemedMemo::SetFont(const TTextFont& font) {
  font_ = font;
  Invalidate();
}

void TThemedMemo::Paint(TCanvas& canvas) {
  canvas.SetBrushColor(Color());
  canvas.FillRect(ClientRect());
  canvas.Font() = font_;
  const std::int32_t lineHeight = std::max(1, canvas.TextExtent("Ag").cy);
  const std::int32_t margin = Scaled(font_, kMargin);
  std::int32_t y = margin;
  for (const std::string& line : lines_) {
    if (y >= Height()) break;
    canvas.TextOut(margin, y, line);
    y += lineHeight;
  }
}

// ---------------------------------------------------------------------------

TThemedButton::TThemedButton(TForm* parent) : TPressableControl(parent) {}

std::string TThemedButton::DisplayText() const { return StripAccessMarks(Caption()).first; }

char TThemedButton::AccessKey() const {
  const auto [text, marked] = StripAccessMarks(Caption());
  if (marked == std::string::npos) return 0;
  const unsigned char c = static_cast<unsigned char>(text[marked]);
  return std::isalnum(c) ? static_cast<char>(std::toupper(c)) : 0;
}

void TThemedButton::Press() {
  if (OnClick) OnClick(this);
}

void TThemedButton::PaintFace(TCanvas& canvas) {
  const TColor background = BlendColor(theme::kBandBottomFrom, theme::kBandBottomTo, 1, 2);
  TColor from = theme::kButtonFrom;
  TColor to = Hot() ? theme::kButtonHotTo : theme::kButtonTo;
  if (Down()) {
    from = theme::kButtonDownFrom;
    to = theme::kButtonDownTo;
  }
  const bool accented = Default || Focused();
  RoundedBox(canvas, ClientRect(), from, to, accented ? theme::kAccent : theme::kBorder,
             background);
  if (Focused()) {
    FrameRect(canvas, Rect(1, 1, Width() - 1, Height() - 1), theme::kFocusRing);
  }
}

void TThemedButton::PaintCaption(TCanvas& canvas) {
  const auto [text, marked] = StripAccessMarks(Caption());
  canvas.Font() = Font();
  const TSize extent = canvas.TextExtent(text);
  const std::int32_t shift = Down() ? 1 : 0;
  std::int32_t x = (Width() - extent.cx) / 2 + shift;
  const std::int32_t y = (Height() - extent.cy) / 2 + shift;
  if (marked == std::string::npos) {
    canvas.TextOut(x, y, text);
    return;
  }
  // The marked character is drawn on its own with the underline.
  const std::string before = text.substr(0, marked);
  const std::string key = text.substr(marked, 1);
  const std::string after = text.substr(marked + 1);
  canvas.TextOut(x, y, before);
  x += canvas.TextExtent(before).cx;
  canvas.Font().Underline = true;
  canvas.TextOut(x, y, key);
  x += canvas.TextExtent(key).cx;
  canvas.Font().Underline = false;
  canvas.TextOut(x, y, after);
}

void TThemedButton::Paint(TCanvas& canvas) {
  PaintFace(canvas);
  PaintCaption(canvas);
}


// ---------------------------------------------------------------------------

void TFocusChain::Add(TThemedControl* control) {
  controls_.push_back(control);
  control->chain_ = this;
  if (focused_ == nullptr) SetFocus(control);
}

void TFocusChain::SetFocus(TThemedControl* control) {
  if (control == focused_) return;
  if (std::find(controls_.begin(), controls_.end(), control) == controls_.end()) return;
  if (focused_ != nullptr) focused_->SetFocused(false);
  focused_ = control;
  focused_->SetFocused(true);
}

void TFocusChain::FocusNext(bool backward) {
  if (controls_.empty()) return;
  const auto n = static_cast<std::ptrdiff_t>(controls_.size());
  std::ptrdiff_t index = std::find(controls_.begin(), controls_.end(), focused_) - controls_.begin();
  if (index == n) index = backward ? 0 : n - 1;
  for (std::ptrdiff_t step = 1; step <= n; ++step) {
    const std::ptrdiff_t next = ((index + (backward ? -step : step)) % n + n) % n;
    TThemedControl* candidate = controls_[static_cast<std::size_t>(next)];
    if (candidate->Visible() && candidate->Enabled()) {
      SetFocus(candidate);
      return;
    }
  }
}

bool TFocusChain::KeyDown(std::uint16_t key, TShiftState shift) {
  if ((shift & ssCtrl) != 0) return false;
  switch (key) {
    case kTab:
      if ((shift & ssAlt) != 0) return false;
      FocusNext((shift & ssShift) != 0);
      return true;
    case kSpace:
      if (focused_ == nullptr) return false;
      focused_->Press();
      return true;
    case kReturn:
      if (DefaultButton == nullptr || !DefaultButton->Enabled()) return false;
      DefaultButton->Press();
      return true;
    default:
      break;
  }
  const bool letterOrDigit = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
  if (!letterOrDigit) return false;
  for (TThemedControl* control : controls_) {
    if (control->AccessKey() == static_cast<char>(key) && control->Visible() &&
        control->Enabled()) {
      SetFocus(control);
      control->Press();
      return true;
    }
  }
  return false;
}

}  // namespace slidesaver
