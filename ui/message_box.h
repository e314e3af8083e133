#pragma once

#include <string>
#include <vector>

#include "ui/controls.h"

namespace slidesaver {

// The application's message box: a small modal form with the stop icon, the
// text wrapped to a readable width, and an OK button. Enter, Space, Escape, a
// click on OK or closing the window dismiss it. It lives in the program's own
// message loop, so termination signals and the closing of other windows keep
// working while it stands.
class TMessageForm : public TForm {
 public:
  TMessageForm(const std::string& caption, const std::string& text);

  // Shows the box and returns when it was dismissed or the application ends.
  void ShowModal();

  // The text as it is laid out, one line per item.
  const std::vector<std::string>& Lines() const { return lines_; }
  TRect ButtonRect() const { return button_; }

  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y) override;

 private:
  std::vector<std::string> lines_;
  std::int32_t lineHeight_ = 0;
  TRect text_;
  TRect button_;
  // A length of the 96-pixels-per-inch layout at the screen's pixels per inch.
  std::int32_t Px(std::int32_t length) const;
  std::int32_t pixelsPerInch_ = 96;
};

// Breaks `text` into lines no wider than `maxWidth` pixels in `font`: at line
// breaks, else at the last blank that fits, else inside a word between
// characters. Each line keeps at least one character.
std::vector<std::string> WrapText(const TTextFont& font, const std::string& text,
                                  std::int32_t maxWidth);

// Shows a TMessageForm on the running application.
void ShowMessageForm(const std::string& caption, const std::string& text);
// The same, for a backend's error box: where no application runs or no window can be made for
// the box, the text goes to stderr as "caption: text".
void ShowMessageFormOrReport(const std::string& caption, const std::string& text);

}  // namespace slidesaver
