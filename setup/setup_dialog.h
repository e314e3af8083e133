#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "graphics/canvas.h"
#include "setup/themed_controls.h"
#include "ui/app.h"
#include "ui/controls.h"

namespace slidesaver {

// True when `text` begins with a URI scheme: a letter, then letters, digits, '+', '-' or '.',
// then ':' ("mailto:me@example.org", "https://x"; not "me@example.org").
bool HasUriScheme(std::string_view text);

// What the e-mail link opens: its text, with "mailto:" before it when it has no URI scheme. An
// empty text stays empty.
std::string EmailLinkTarget(std::string_view text);

// The setup dialog: shows the saver's title, author, e-mail and web address
// from the show configuration and stores the "Mute music" choice in the
// settings file next to the executable.
class TfrmSetup : public TForm {
 public:
  explicit TfrmSetup(std::string executablePath);

  // Event handlers.
  void FormCreate(void* sender);
  void FormShow(void* sender);
  void FormKeyDown(void* sender, std::uint16_t& key, TShiftState shift);
  void cbMuteClick(void* sender);
  void OKButtonClick(void* sender);
  void lblEmailMouseEnter(void* sender);
  void lblEmailMouseLeave(void* sender);
  void lblEmailClick(void* sender);
  void lblWebClick(void* sender);

  // Set when the check box changed state since the dialog was created.
  bool Changed() const { return changed_; }
  const std::string& ExecutablePath() const { return executablePath_; }
  const TTextFont& Font() const { return font_; }
  TFocusChain& FocusChain() { return focus_; }

  // The client size at 96 pixels per inch; the dialog grows with the screen's.
  static constexpr std::int32_t kClientWidth = 305;
  static constexpr std::int32_t kClientHeight = 259;

 private:
  // A length of the 96-pixels-per-inch layout at the screen's pixels per inch.
  std::int32_t Px(std::int32_t length) const;

  std::string executablePath_;
  TTextFont font_;
  std::int32_t pixelsPerInch_;
  bool changed_ = false;
  bool filled_ = false;

 public:
  // The three bands, top to bottom; the controls lie on them.
  TThemedPanel pnlTop{this};
  TThemedPanel pnlMiddle{this};
  TThemedPanel pnlBottom{this};
  TThemedLabel lblTitle{this};
  TThemedLabel lblAuthor{this};
  TThemedCheckBox cbMute{this};
  TThemedLinkLabel lblEmail{this};
  TThemedLinkLabel lblWeb{this};
  TThemedMemo mRemind{this};
  TThemedButton OKButton{this};

 private:
  void CreateControls();
  void ShowFixedTexts();
  // Reads the configuration and the setting into the controls; failures of
  // the configuration reader propagate.
  void FillFromPayload();

  TFocusChain focus_;
};

}  // namespace slidesaver
