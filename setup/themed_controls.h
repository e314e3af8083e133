#pragma once

// Owner-drawn windowless controls for the setup dialog, in one light theme:
// soft gradient bands, dark slate text, a blue accent for focus, hover and the
// check mark. Every control paints itself through its form's canvas.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/color.h"
#include "ui/app.h"
#include "ui/controls.h"

namespace slidesaver {

// The theme's colours (0x00BBGGRR).
namespace theme {
constexpr TColor Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r) | static_cast<TColor>(g) << 8 | static_cast<TColor>(b) << 16;
}
constexpr TColor kText = Rgb(0x1E, 0x2A, 0x38);
constexpr TColor kAccent = Rgb(0x2F, 0x6F, 0xDE);
constexpr TColor kAccentDark = Rgb(0x1F, 0x55, 0xB5);
constexpr TColor kAccentSoft = Rgb(0xA9, 0xC6, 0xF5);
constexpr TColor kAccentTint = Rgb(0xE3, 0xEE, 0xFD);
constexpr TColor kFocusTint = Rgb(0xCC, 0xDE, 0xFA);
constexpr TColor kFocusRing = Rgb(0x86, 0xAC, 0xEE);
constexpr TColor kBorder = Rgb(0x8E, 0x9C, 0xAF);
constexpr TColor kEdge = Rgb(0xD3, 0xDB, 0xE6);
constexpr TColor kFieldFill = Rgb(0xFF, 0xFF, 0xFF);
constexpr TColor kBandLight = Rgb(0xFF, 0xFF, 0xFF);
constexpr TColor kBandTop = Rgb(0xEC, 0xF1, 0xF8);
constexpr TColor kBandMiddle = Rgb(0xF7, 0xF9, 0xFC);
constexpr TColor kBandBottomFrom = Rgb(0xEA, 0xEE, 0xF4);
constexpr TColor kBandBottomTo = Rgb(0xDF, 0xE5, 0xEE);
constexpr TColor kButtonFrom = Rgb(0xFF, 0xFF, 0xFF);
constexpr TColor kButtonTo = Rgb(0xE4, 0xE9, 0xF1);
constexpr TColor kButtonHotTo = Rgb(0xD9, 0xE6, 0xFA);
constexpr TColor kButtonDownFrom = Rgb(0xCF, 0xDB, 0xEE);
constexpr TColor kButtonDownTo = Rgb(0xE2, 0xE9, 0xF4);
constexpr TColor kLinkBlue = Rgb(0x00, 0x00, 0xFF);  // clBlue
}  // namespace theme

// The dialog font: "MS Sans Serif" 11 pixels high in the theme's text colour.
TTextFont DialogFont();

// The colour `num`/`den` of the way from `from` to `to`.
TColor BlendColor(TColor from, TColor to, std::int32_t num, std::int32_t den);
// Rows of `r` from `top` at the first row to `bottom` at the last.
void FillVerticalGradient(TCanvas& canvas, const TRect& r, TColor top, TColor bottom);
// A one-pixel outline along the inside of `r`.
void FrameRect(TCanvas& canvas, const TRect& r, TColor color);

// A band of the dialog: a vertical gradient with optional one-pixel edge
// lines along its top and bottom. It paints its whole rectangle.
class TThemedPanel : public TGraphicControl {
 public:
  explicit TThemedPanel(TForm* parent);

  TColor GradientTop = theme::kBandLight;
  TColor GradientBottom = theme::kBandTop;
  bool TopEdge = false;
  bool BottomEdge = false;
  TColor EdgeColor = theme::kEdge;

  void Paint(TCanvas& canvas) override;
};

class TFocusChain;

// Base of the controls that show a caption in a font and may take part in a
// dialog's keyboard focus chain.
class TThemedControl : public TGraphicControl {
 public:
  explicit TThemedControl(TForm* parent);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  const TTextFont& Font() const { return font_; }
  void SetFont(const TTextFont& font);

  bool Focused() const { return focused_; }
  // Draws or removes the focus look; the chain keeps the one focused control.
  void SetFocused(bool focused);
  // What the space key does while the control has the focus.
  virtual void Press() {}
  // The upper-case letter or digit that presses the control from anywhere in
  // the dialog, 0 when there is none.
  virtual char AccessKey() const { return 0; }

 protected:
  // After the caption or font changed.
  virtual void TextChanged() { Invalidate(); }
  // Moves the focus here when the control belongs to a chain.
  void TakeFocus();
  void MouseEnter() override;
  void MouseLeave() override;
  bool Hot() const { return hot_; }

 private:
  friend class TFocusChain;
  std::string caption_;
  TTextFont font_;
  bool focused_ = false;
  bool hot_ = false;
  TFocusChain* chain_ = nullptr;
};

// A control that a left click presses: the press and the release must both
// land on it. It shows itself pushed in while the button is held over it.
class TPressableControl : public TThemedControl {
 public:
  using TThemedControl::TThemedControl;
  void MouseDown(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y) override;

 protected:
  void MouseLeave() override;
  bool Down() const { return down_; }

 private:
  bool down_ = false;
};

// One line of text, sized to it while AutoSize is on (the default).
class TThemedLabel : public TThemedControl {
 public:
  explicit TThemedLabel(TForm* parent);

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  // When clear, the label fills its rectangle with its colour first.
  bool Transparent = true;

  void Paint(TCanvas& canvas) override;

 protected:
  void TextChanged() override;

 private:
  void AdjustSize();
  bool autoSize_ = true;
};

// A label that acts as a link: blue and underlined, reporting the pointer's
// arrival and departure and taking clicks and, when focused, the space key.
class TThemedLinkLabel : public TThemedLabel {
 public:
  explicit TThemedLinkLabel(TForm* parent);

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  void Press() override;
  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y) override;

 protected:
  void MouseEnter() override;
  void MouseLeave() override;
};

// A check box with its caption to the right of the box. OnChange runs after
// every change of Checked: by a click, by the space key, or by the program.
class TThemedCheckBox : public TPressableControl {
 public:
  explicit TThemedCheckBox(TForm* parent);

  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  TNotifyEvent OnChange;

  // Where the box is drawn, in the control's coordinates.
  TRect BoxRect() const;

  void Press() override { SetChecked(!checked_); }
  void Paint(TCanvas& canvas) override;

  static constexpr std::int32_t kBoxSize = 13;
  static constexpr std::int32_t kCaptionGap = 5;

 private:
  void PaintBox(TCanvas& canvas);
  bool checked_ = false;
};

// Read-only lines of text on a flat field without a bevel.
class TThemedMemo : public TGraphicControl {
 public:
  explicit TThemedMemo(TForm* parent);

  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLines(std::vector<std::string> lines);
  void AddLine(const std::string& line);
  void Clear() { SetLines({}); }
  const TTextFont& Font() const { return font_; }
  void SetFont(const TTextFont& font);

  void Paint(TCanvas& canvas) override;

  // The text's distance from the left and top edges.
  static constexpr std::int32_t kMargin = 2;

 private:
  std::vector<std::string> lines_;
  TTextFont font_;
};

// A push button. An "&" in the caption marks the next character as the access
// key, drawn underlined ("&&" shows one "&"). The default button has an
// accent border. OnClick runs for a click, the space key and Press.
class TThemedButton : public TPressableControl {
 public:
  explicit TThemedButton(TForm* parent);

  bool Default = false;

  // The caption as drawn, without the access key marks.
  std::string DisplayText() const;
  char AccessKey() const override;

  void Press() override;
  void Paint(TCanvas& canvas) override;

 private:
  void PaintFace(TCanvas& canvas);
  void PaintCaption(TCanvas& canvas);
};

// The keyboard focus of a dialog: the controls in tab order, one of them
// focused. Tab and Shift+Tab move the focus round the chain, the space key
// presses the focused control, Enter the default button, and a letter or
// digit (alone or with Alt) the control whose access key it is.
class TFocusChain {
 public:
  static constexpr std::uint16_t kTab = 9;
  static constexpr std::uint16_t kReturn = 13;
  static constexpr std::uint16_t kSpace = 32;

  // Appends a control to the tab order; the first one added takes the focus.
  void Add(TThemedControl* control);
  TThemedControl* Focused() const { return focused_; }
  void SetFocus(TThemedControl* control);
  void FocusNext(bool backward);
  TThemedButton* DefaultButton = nullptr;

  // True when the key did something.
  bool KeyDown(std::uint16_t key, TShiftState shift);

 private:
  std::vector<TThemedControl*> controls_;
  TThemedControl* focused_ = nullptr;
};

}  // namespace slidesaver
