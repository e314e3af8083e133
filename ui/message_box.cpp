#include "ui/message_box.h"

#include <algorithm>
#include <cstdio>

#include "graphics/text.h"

namespace slidesaver {
namespace {

constexpr std::int32_t kMinTextWidth = 160;
constexpr std::int32_t kMaxTextWidth = 420;
// Room the window frame and the desktop's panels may take from the screen.
constexpr std::int32_t kScreenReserve = 120;
constexpr std::uint16_t kVkReturn = 13;
constexpr std::uint16_t kVkEscape = 27;
constexpr std::uint16_t kVkSpace = 32;
constexpr TColor kIconRed = 0x0000C0;  // BGR order: red
constexpr TColor kShadow = 0x808080;
// No box shows more; a longer text is cut here before it is laid out.
constexpr std::size_t kMaxTextBytes = 4096;

// Length of the UTF-8 character starting at `text[at]`.
std::size_t CharLength(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  length = std::min(length, text.size() - at);
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return k;
  }
  return length;
}

// The longest start of `paragraph` (at least one character) that fits, ending
// before a blank where one allows it; `rest` gets what follows, blanks dropped.
std::string TakeLine(const TTextFont& font, const std::string& paragraph, std::int32_t maxWidth,
                     std::string& rest) {
  std::size_t fits = 0;       // bytes that fit
  std::size_t lastBlank = 0;  // a blank at this position ends a fitting line
  for (std::size_t at = 0; at < paragraph.size();) {
    const std::size_t next = at + CharLength(paragraph, at);
    if (fits > 0 && MeasureText(font, std::string_view(paragraph).substr(0, next)).cx > maxWidth) {
      break;
    }
    if (paragraph[at] == ' ') lastBlank = at;
    fits = next;
    at = next;
  }
  std::size_t end = fits;
  if (fits < paragraph.size() && paragraph[fits] != ' ' && lastBlank > 0) end = lastBlank;
  std::size_t resume = end;
  while (resume < paragraph.size() && paragraph[resume] == ' ') ++resume;
  rest = paragraph.substr(resume);
  return paragraph.substr(0, end);
}

}  // namespace

std::vector<std::string> WrapText(const TTextFont& font, const std::string& text,
                                  std::int32_t maxWidth) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string paragraph = text.substr(start, end - start);
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
    do {
      std::string rest;
      lines.push_back(TakeLine(font, paragraph, maxWidth, rest));
      paragraph = std::move(rest);
    } while (!paragraph.empty());
    if (end == text.size()) return lines;
    start = end + 1;
  }
}

TMessageForm::TMessageForm(const std::string& caption, const std::string& text) {
  Caption = caption;
  BorderStyle = TFormBorderStyle::bsDialog;
  // The layout is drawn for 96 pixels per inch and grows with the screen's.
  pixelsPerInch_ = Application().Platform().PixelsPerInch();
  TTextFont& font = Canvas().Font();
  font.PixelsPerInch = pixelsPerInch_;
  const std::int32_t margin = Px(12);
  const std::int32_t iconSize = Px(32);
  const std::int32_t buttonWidth = Px(75);
  const std::int32_t buttonHeight = Px(23);
  const TSize screen = Application().Platform().ScreenSize();
  const std::int32_t maxWidth =
      std::clamp(screen.cx - Px(kScreenReserve) - iconSize - 3 * margin, Px(kMinTextWidth),
                 std::max(Px(kMinTextWidth), Px(kMaxTextWidth)));
  std::string shown = text;
  if (shown.size() > kMaxTextBytes) {
    std::size_t cut = kMaxTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
    shown.resize(cut);
    shown += "\xE2\x80\xA6";
  }
  lines_ = WrapText(font, shown, maxWidth);
  lineHeight_ = std::max(1, MeasureText(font, "Ag").cy);
  // A text taller than the screen shows as much as fits, and says it goes on.
  const std::int32_t maxLines =
      std::max(1, (screen.cy - Px(kScreenReserve) - buttonHeight - 3 * margin) / lineHeight_);
  if (static_cast<std::int32_t>(lines_.size()) > maxLines) {
    lines_.resize(static_cast<std::size_t>(maxLines));
    lines_.back() += "\xE2\x80\xA6";
  }
  std::int32_t textWidth = 0;
  for (const std::string& line : lines_) textWidth = std::max(textWidth, MeasureText(font, line).cx);
  const std::int32_t textHeight = static_cast<std::int32_t>(lines_.size()) * lineHeight_;
  const std::int32_t textLeft = 2 * margin + iconSize;
  const std::int32_t bodyHeight = std::max(iconSize, textHeight);
  const std::int32_t width = std::max(textLeft + textWidth + 2 * margin, buttonWidth + 2 * margin);
  const std::int32_t height = margin + bodyHeight + margin + buttonHeight + margin;
  text_ = Bounds(textLeft, margin + (bodyHeight - textHeight) / 2, textWidth, textHeight);
  button_ = Bounds((width - buttonWidth) / 2, height - margin - buttonHeight, buttonWidth,
                   buttonHeight);
  SetBounds((screen.cx - width) / 2, (screen.cy - height) / 2, width, height);
  OnKeyDown = [this](void*, std::uint16_t& key, TShiftState) {
    if (key == kVkReturn || key == kVkEscape || key == kVkSpace) Close();
  };
}

void TMessageForm::ShowModal() {
  Application().RunModal(*this);
  Hide();
}

void TMessageForm::MouseDown(TMouseButton button, TShiftState shift, std::int32_t x,
                             std::int32_t y) {
  TForm::MouseDown(button, shift, x, y);
  if (button == TMouseButton::mbLeft && button_.Contains(x, y)) Close();
}

std::int32_t TMessageForm::Px(std::int32_t length) const {
  return ScaleToDpi(length, pixelsPerInch_);
}

void TMessageForm::Paint(TCanvas& canvas) {
  TForm::Paint(canvas);
  const std::int32_t margin = Px(12);
  const std::int32_t iconSize = Px(32);
  const std::int32_t inset = Px(9);
  // The stop icon: a red disc with a white cross.
  const TRect icon = Bounds(margin, margin, iconSize, iconSize);
  canvas.IntersectClip(Region::RoundRect(icon, iconSize, iconSize));
  canvas.SetBrushColor(kIconRed);
  canvas.FillRect(icon);
  canvas.RemoveClip();
  canvas.SetBrushColor(clWhite);
  const std::int32_t stroke = Px(2);
  for (std::int32_t i = inset; i < iconSize - inset; ++i) {
    canvas.FillRect(Bounds(icon.Left + i - 1, icon.Top + i - 1, stroke + 1, stroke));
    canvas.FillRect(Bounds(icon.Right - i - stroke, icon.Top + i - 1, stroke + 1, stroke));
  }
  std::int32_t y = text_.Top;
  for (const std::string& line : lines_) {
    canvas.TextOut(text_.Left, y, line);
    y += lineHeight_;
  }
  // The button: a raised frame around its caption.
  canvas.SetBrushColor(kShadow);
  canvas.FillRect(button_);
  canvas.SetBrushColor(clWhite);
  canvas.FillRect(TRect{button_.Left, button_.Top, button_.Right - 1, button_.Bottom - 1});
  canvas.SetBrushColor(clBtnFace);
  canvas.FillRect(TRect{button_.Left + 1, button_.Top + 1, button_.Right - 1, button_.Bottom - 1});
  const TSize ok = canvas.TextExtent("OK");
  canvas.TextOut(button_.Left + (button_.Width() - ok.cx) / 2,
                 button_.Top + (button_.Height() - ok.cy) / 2, "OK");
}

void ShowMessageForm(const std::string& caption, const std::string& text) {
  TMessageForm box(caption, text);
  box.ShowModal();
}

void ShowMessageFormOrReport(const std::string& caption, const std::string& text) {
  try {
    if (HasApplication()) {
      ShowMessageForm(caption, text);
      return;
    }
  } catch (const std::exception&) {
    // No window could be made for it.
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace slidesaver
