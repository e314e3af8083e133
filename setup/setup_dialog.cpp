#include "setup/setup_dialog.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "graphics/text.h"
#include "payload/config.h"
#include "payload/payload.h"
#include "payload/stream.h"
#include "setup/settings.h"

namespace slidesaver {

namespace {

// The virtual-key code of Escape.
constexpr std::uint16_t kEscapeKey = 27;
constexpr const char* kRemindText = "Thank you for using our product!";

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool HasUriScheme(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || !IsAsciiLetter(text[0])) return false;
  const std::string_view rest = text.substr(1, colon - 1);
  return std::all_of(rest.begin(), rest.end(), [](char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  });
}

std::string EmailLinkTarget(std::string_view text) {
  if (text.empty() || HasUriScheme(text)) return std::string(text);
  return "mailto:" + std::string(text);
}

TfrmSetup::TfrmSetup(std::string executablePath)
    : executablePath_(std::move(executablePath)),
      font_(DialogFont()),
      pixelsPerInch_(Application().Platform().PixelsPerInch()) {
  BorderStyle = TFormBorderStyle::bsDialog;
  SetColor(theme::kBandMiddle);
  // The layout is drawn for 96 pixels per inch and grows with the screen's.
  font_.PixelsPerInch = pixelsPerInch_;
  const TSize screen = Application().Platform().ScreenSize();
  const std::int32_t width = Px(kClientWidth);
  const std::int32_t height = Px(kClientHeight);
  SetBounds((screen.cx - width) / 2, (screen.cy - height) / 2, width, height);
  CreateControls();
  ShowFixedTexts();
  OnShow = [this](void* sender) { FormShow(sender); };
  OnKeyDown = [this](void* sender, std::uint16_t& key, TShiftState shift) {
    FormKeyDown(sender, key, shift);
  };
  FormCreate(this);
}

void TfrmSetup::CreateControls() {
  pnlTop.SetBounds(0, 0, Px(305), Px(145));
  pnlTop.GradientTop = theme::kBandLight;
  pnlTop.GradientBottom = theme::kBandTop;
  pnlTop.BottomEdge = true;

  pnlMiddle.SetBounds(0, Px(145), Px(305), Px(64));
  pnlMiddle.GradientTop = theme::kBandMiddle;
  pnlMiddle.GradientBottom = theme::kBandMiddle;

  pnlBottom.SetBounds(0, Px(209), Px(305), Px(50));
  pnlBottom.GradientTop = theme::kBandBottomFrom;
  pnlBottom.GradientBottom = theme::kBandBottomTo;
  pnlBottom.TopEdge = true;

  TTextFont titleFont = font_;
  titleFont.Size = -13;
  titleFont.Bold = true;
  lblTitle.SetFont(titleFont);
  lblTitle.SetBounds(Px(29), Px(23), lblTitle.Width(), lblTitle.Height());
  lblAuthor.SetFont(font_);
  lblAuthor.SetBounds(Px(29), Px(44), lblAuthor.Width(), lblAuthor.Height());

  cbMute.SetFont(font_);
  cbMute.SetCaption("Mute music");
  // 84 pixels hold the caption in the usual dialog font; a wider font gets the room it needs.
  const std::int32_t captionRoom = 1 + Px(TThemedCheckBox::kBoxSize + TThemedCheckBox::kCaptionGap) +
                                   MeasureText(font_, "Mute music").cx + 1;
  cbMute.SetBounds(Px(29), Px(71), std::max(Px(84), captionRoom), Px(15));
  cbMute.OnChange = [this](void* sender) { cbMuteClick(sender); };

  TTextFont linkFont = font_;
  linkFont.Color = theme::kLinkBlue;
  linkFont.Underline = true;
  for (TThemedLinkLabel* link : {&lblEmail, &lblWeb}) {
    link->SetFont(linkFont);
    link->OnMouseEnter = [this](void* sender) { lblEmailMouseEnter(sender); };
    link->OnMouseLeave = [this](void* sender) { lblEmailMouseLeave(sender); };
  }
  lblEmail.SetBounds(Px(29), Px(106), lblEmail.Width(), lblEmail.Height());
  lblEmail.OnClick = [this](void* sender) { lblEmailClick(sender); };
  lblWeb.SetBounds(Px(29), Px(127), lblWeb.Width(), lblWeb.Height());
  lblWeb.OnClick = [this](void* sender) { lblWebClick(sender); };

  // The memo and the button sit on their bands: (10, 8) and (214, 15) within them.
  mRemind.SetFont(font_);
  mRemind.SetBounds(pnlMiddle.Left() + Px(10), pnlMiddle.Top() + Px(8), Px(287), Px(52));

  OKButton.SetFont(font_);
  OKButton.SetBounds(pnlBottom.Left() + Px(214), pnlBottom.Top() + Px(15), Px(75), Px(25));
  OKButton.SetCaption("&Ok");
  OKButton.Default = true;
  OKButton.OnClick = [this](void* sender) { OKButtonClick(sender); };

  focus_.Add(&cbMute);
  focus_.Add(&lblEmail);
  focus_.Add(&lblWeb);
  focus_.Add(&OKButton);
  focus_.DefaultButton = &OKButton;
}

std::int32_t TfrmSetup::Px(std::int32_t length) const {
  return ScaleToDpi(length, pixelsPerInch_);
}

void TfrmSetup::ShowFixedTexts() {
  Caption = "Setup []";
  lblTitle.SetCaption("Title:");
  lblAuthor.SetCaption("Author:");
  lblEmail.SetCaption("Email:");
  lblWeb.SetCaption("Web address:");
  mRemind.Clear();
}

void TfrmSetup::FormCreate(void* /*sender*/) { changed_ = false; }

void TfrmSetup::FormShow(void* /*sender*/) {
  if (filled_) return;
  filled_ = true;
  try {
    FillFromPayload();
  } catch (const std::exception& e) {
    Application().HandleException(e);
    ShowFixedTexts();
  }
  if (Handle() != nullptr) Handle()->SetCaption(Caption);
}

void TfrmSetup::FillFromPayload() {
  InputStream file = InputStream::OpenFile(executablePath_);
  const std::optional<std::int32_t> configOffset = ReadTrailerField(file, 2);
  if (!configOffset) return;
  const std::unique_ptr<TSSFileLocations> config =
      ReadComponentAs<TSSFileLocations>(file, *configOffset);

  cbMute.SetChecked(ReadMuteSetting(SettingsFilePath(executablePath_), false));
  Caption = "Setup [" + config->Title() + "]";
  lblTitle.SetCaption("Title:" + config->Title());
  lblAuthor.SetCaption("Author:" + config->Author());
  lblEmail.SetCaption(config->Email());
  lblWeb.SetCaption(config->Web());
  mRemind.SetLines({kRemindText});
}

void TfrmSetup::FormKeyDown(void* /*sender*/, std::uint16_t& key, TShiftState shift) {
  if (key == kEscapeKey && (shift & (ssAlt | ssCtrl)) == 0) {
    // As the close box does: the dialog closes and nothing is saved.
    key = 0;
    Close();
    return;
  }
  if (focus_.KeyDown(key, shift)) key = 0;
}

void TfrmSetup::cbMuteClick(void* /*sender*/) { changed_ = true; }

void TfrmSetup::OKButtonClick(void* /*sender*/) {
  if (changed_) {
    try {
      WriteMuteSetting(SettingsFilePath(executablePath_), cbMute.Checked());
    } catch (const std::exception& e) {
      // The dialog stays open with the flag set, so the user can retry or close.
      Application().HandleException(e);
      return;
    }
  }
  Close();
}

void TfrmSetup::lblEmailMouseEnter(void* /*sender*/) {
  Application().Platform().SetPointer(TCursor::crHandPoint);
}

void TfrmSetup::lblEmailMouseLeave(void* /*sender*/) {
  Application().Platform().SetPointer(TCursor::crDefault);
}

void TfrmSetup::lblEmailClick(void* /*sender*/) {
  Application().Platform().OpenURL(EmailLinkTarget(lblEmail.Caption()));
}

void TfrmSetup::lblWebClick(void* /*sender*/) {
  Application().Platform().OpenURL(lblWeb.Caption());
}

}  // namespace slidesaver
