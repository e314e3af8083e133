#include "setup/setup_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "graphics/text.h"
#include "payload/builder.h"
#include "setup/settings.h"
#include "tests/support/scratch_folder.h"
#include "ui/headless.h"

namespace slidesaver {
namespace {

constexpr std::uint16_t kTab = 9;
constexpr std::uint16_t kReturn = 13;
constexpr std::uint16_t kEscape = 27;
constexpr std::uint16_t kSpace = 32;

class SetupDialogTest : public ::testing::Test {
 protected:
  SetupDialogTest() {
    app_.Title = "Demo";
    config_.SetTitle("Demo");
    config_.SetAuthor("Ann Smith");
    config_.SetEmail("ann@example.com");
    config_.SetWeb("www.example.com/demo");
  }

  // A saver file: a few player bytes, then the payload of the test's record.
  std::string WriteSaver() {
    std::vector<std::uint8_t> file(16, 0x90);
    const std::vector<std::uint8_t> payload = BuildPayload(16, {}, {}, config_);
    file.insert(file.end(), payload.begin(), payload.end());
    return scratch_.Write("Demo.scr", file);
  }

  void StoreSettings(const std::string& text) { scratch_.Write("CONTROL.INI", text); }
  std::string Settings() const { return test::ScratchFolder::Read(ini_); }
  bool SettingsExist() const { return std::filesystem::exists(ini_); }

  TfrmSetup& Open(const std::string& exe) {
    form_ = std::make_unique<TfrmSetup>(exe);
    app_.MainForm = form_.get();
    form_->Show();
    return *form_;
  }
  TfrmSetup& Open() { return Open(WriteSaver()); }

  void Key(std::uint16_t key, TShiftState shift = 0) {
    app_.DispatchInput(
        {.kind = InputEvent::Kind::KeyDown, .form = form_.get(), .key = key, .shift = shift});
  }
  void Mouse(InputEvent::Kind kind, std::int32_t x, std::int32_t y) {
    app_.DispatchInput({.kind = kind, .form = form_.get(), .x = x, .y = y});
  }
  void ClickAt(std::int32_t x, std::int32_t y) {
    Mouse(InputEvent::Kind::MouseMove, x, y);
    Mouse(InputEvent::Kind::MouseDown, x, y);
    Mouse(InputEvent::Kind::MouseUp, x, y);
  }
  static TPoint CentreOf(const TControl& c) {
    return {c.Left() + c.Width() / 2, c.Top() + c.Height() / 2};
  }

  test::ScratchFolder scratch_{"setup_dialog_test"};
  std::string ini_ = scratch_.Path("CONTROL.INI");
  TSSFileLocations config_;
  HeadlessBackend* backend_ = nullptr;
  TApplication app_{[this] {
    auto backend = std::make_unique<HeadlessBackend>(TSize{1024, 768});
    backend_ = backend.get();
    return backend;
  }()};
  std::unique_ptr<TfrmSetup> form_;
};

TEST_F(SetupDialogTest, FixedLayoutAndTextsBeforeFilling) {
  TfrmSetup form(WriteSaver());
  EXPECT_EQ(form.BorderStyle, TFormBorderStyle::bsDialog);
  EXPECT_EQ(form.BoundsRect(), Bounds((1024 - 305) / 2, (768 - 259) / 2, 305, 259));
  EXPECT_EQ(form.Caption, "Setup []");
  EXPECT_EQ(form.lblTitle.Caption(), "Title:");
  EXPECT_EQ(form.lblAuthor.Caption(), "Author:");
  EXPECT_EQ(form.lblEmail.Caption(), "Email:");
  EXPECT_EQ(form.lblWeb.Caption(), "Web address:");
  EXPECT_TRUE(form.mRemind.Lines().empty());
  EXPECT_FALSE(form.cbMute.Checked());
  EXPECT_FALSE(form.Changed());

  EXPECT_EQ(form.pnlTop.BoundsRect(), Bounds(0, 0, 305, 145));
  EXPECT_EQ(form.pnlMiddle.BoundsRect(), Bounds(0, 145, 305, 64));
  EXPECT_EQ(form.pnlBottom.BoundsRect(), Bounds(0, 209, 305, 50));
  EXPECT_EQ((TPoint{form.lblTitle.Left(), form.lblTitle.Top()}), (TPoint{29, 23}));
  EXPECT_EQ((TPoint{form.lblAuthor.Left(), form.lblAuthor.Top()}), (TPoint{29, 44}));
  // At least 84 pixels wide, and the caption fits after the box in any font.
  const TRect mute = form.cbMute.BoundsRect();
  EXPECT_EQ(mute, Bounds(29, 71, std::max(84, mute.Width()), 15));
  EXPECT_LE(form.cbMute.BoxRect().Right + TThemedCheckBox::kCaptionGap +
                MeasureText(form.cbMute.Font(), "Mute music").cx,
            mute.Width());
  EXPECT_EQ(form.cbMute.Caption(), "Mute music");
  EXPECT_EQ((TPoint{form.lblEmail.Left(), form.lblEmail.Top()}), (TPoint{29, 106}));
  EXPECT_EQ((TPoint{form.lblWeb.Left(), form.lblWeb.Top()}), (TPoint{29, 127}));
  EXPECT_EQ(form.mRemind.BoundsRect(), Bounds(10, 153, 287, 52));
  EXPECT_EQ(form.OKButton.BoundsRect(), Bounds(214, 224, 75, 25));
  EXPECT_EQ(form.OKButton.Caption(), "&Ok");
  EXPECT_EQ(form.OKButton.AccessKey(), 'O');

  EXPECT_EQ(form.Font().Name, "MS Sans Serif");
  EXPECT_EQ(form.Font().Size, -11);
  EXPECT_TRUE(form.lblTitle.Font().Bold);
  EXPECT_EQ(form.lblTitle.Font().Size, -13);
  EXPECT_FALSE(form.lblAuthor.Font().Bold);
  for (const TThemedLinkLabel* link : {&form.lblEmail, &form.lblWeb}) {
    EXPECT_EQ(link->Font().Color, 0xFF0000u);
    EXPECT_TRUE(link->Font().Underline);
    EXPECT_EQ(link->Font().Size, -11);
  }
}

TEST_F(SetupDialogTest, TheLayoutGrowsWithTheScreensPixelsPerInch) {
  Open();
  const TRect ok = form_->OKButton.BoundsRect();
  const std::int32_t titleHeight = form_->lblTitle.Height();
  form_.reset();
  backend_->SetPixelsPerInch(144);  // 150 %
  TfrmSetup& form = Open();
  EXPECT_EQ(form.ClientRect(), Rect(0, 0, 458, 389));
  EXPECT_EQ(form.OKButton.BoundsRect(), Rect(321, 337, 321 + 113, 337 + 38));
  EXPECT_EQ(ok, Rect(214, 224, 289, 249));
  EXPECT_EQ(form.cbMute.BoxRect().Width(), 20);
  EXPECT_GE(form.lblTitle.Height() * 20, titleHeight * 27);  // text grows too
  for (const TControl* c : std::initializer_list<const TControl*>{&form.cbMute, &form.mRemind, &form.lblWeb}) {
    EXPECT_LE(c->BoundsRect().Right, form.ClientWidth());
  }
}

TEST_F(SetupDialogTest, ShowFillsTheLinesFromTheConfiguration) {
  TfrmSetup& form = Open();
  EXPECT_EQ(form.Caption, "Setup [Demo]");
  EXPECT_EQ(form.lblTitle.Caption(), "Title:Demo");
  EXPECT_EQ(form.lblAuthor.Caption(), "Author:Ann Smith");
  EXPECT_EQ(form.lblEmail.Caption(), "ann@example.com");
  EXPECT_EQ(form.lblWeb.Caption(), "www.example.com/demo");
  EXPECT_EQ(form.mRemind.Lines(), std::vector<std::string>{"Thank you for using our product!"});
  EXPECT_TRUE(backend_->ErrorBoxes().empty());
  // The labels size themselves to their new texts.
  EXPECT_GT(form.lblTitle.Width(), 0);
  EXPECT_GT(form.lblWeb.Width(), form.lblEmail.Width());
}

TEST_F(SetupDialogTest, NoSettingsFileAndUntouchedOkCreatesNothing) {
  TfrmSetup& form = Open();
  EXPECT_FALSE(form.cbMute.Checked());
  EXPECT_FALSE(form.Changed());
  form.OKButtonClick(&form.OKButton);
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(app_.Terminated());
  EXPECT_FALSE(SettingsExist());
}

TEST_F(SetupDialogTest, StoredMuteOpensCheckedAndOkWritesItAgain) {
  StoreSettings("[setup]\nMUTE = 1\n");
  TfrmSetup& form = Open();
  EXPECT_TRUE(form.cbMute.Checked());
  EXPECT_TRUE(form.Changed());
  form.OKButtonClick(&form.OKButton);
  EXPECT_EQ(Settings(), "[setup]\nmute=1\n");
}

TEST_F(SetupDialogTest, CheckingAndClearingAgainWritesZero) {
  TfrmSetup& form = Open();
  form.cbMute.SetChecked(true);
  form.cbMute.SetChecked(false);
  EXPECT_TRUE(form.Changed());
  form.OKButtonClick(&form.OKButton);
  EXPECT_EQ(ReadProfileString(ini_, "Setup", "mute"), "0");
}

TEST_F(SetupDialogTest, StoredValuesReadAsIntegers) {
  StoreSettings("[Setup]\nmute=0x1\n");
  EXPECT_TRUE(Open().cbMute.Checked());
  StoreSettings("[Setup]\nmute=yes\n");
  TfrmSetup& form = Open();
  EXPECT_FALSE(form.cbMute.Checked());
  EXPECT_FALSE(form.Changed());
}

TEST_F(SetupDialogTest, OkKeepsOtherSectionsAndKeys) {
  StoreSettings("[Other]\nmute=1\n\n[Setup]\nkeep=x\nmute=0\n");
  TfrmSetup& form = Open();
  EXPECT_FALSE(form.cbMute.Checked());
  form.cbMute.SetChecked(true);
  form.OKButtonClick(&form.OKButton);
  EXPECT_EQ(Settings(), "[Other]\nmute=1\n\n[Setup]\nkeep=x\nmute=1\n");
}

TEST_F(SetupDialogTest, UnwritableFolderIsReportedAndTheDialogStaysOpen) {
  TfrmSetup& form = Open();
  form.cbMute.SetChecked(true);
  ASSERT_EQ(::chmod(scratch_.Path().c_str(), 0555), 0);
  if (::access(scratch_.Path().c_str(), W_OK) == 0) {
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  form.OKButtonClick(&form.OKButton);
  using Box = std::pair<std::string, std::string>;
  EXPECT_EQ(backend_->ErrorBoxes(), (std::vector<Box>{{"Demo", "Unable to write to " + ini_ + "."}}));
  EXPECT_TRUE(form.Visible());
  EXPECT_FALSE(app_.Terminated());
  EXPECT_TRUE(form.Changed());
  EXPECT_FALSE(SettingsExist());

  // Once the folder can be written again, the next OK stores the choice.
  ASSERT_EQ(::chmod(scratch_.Path().c_str(), 0755), 0);
  form.OKButtonClick(&form.OKButton);
  EXPECT_FALSE(form.Visible());
  EXPECT_EQ(ReadProfileString(ini_, "Setup", "mute"), "1");
}

TEST_F(SetupDialogTest, UnreadableConfigurationShowsOneBoxAndTheFixedTexts) {
  StoreSettings("[Setup]\nmute=1\n");
  std::vector<std::uint8_t> file(64, 'x');
  std::string offset = "8";
  offset.resize(20, ' ');
  file.insert(file.end(), offset.begin(), offset.end());  // field 1: unused here
  file.insert(file.end(), offset.begin(), offset.end());  // field 2: points at 'x' bytes
  TfrmSetup& form = Open(scratch_.Write("Broken.scr", file));
  using Box = std::pair<std::string, std::string>;
  EXPECT_EQ(backend_->ErrorBoxes(), (std::vector<Box>{{"Demo", "Invalid stream format."}}));
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(form.Caption, "Setup []");
  EXPECT_EQ(form.lblTitle.Caption(), "Title:");
  EXPECT_EQ(form.lblEmail.Caption(), "Email:");
  EXPECT_FALSE(form.cbMute.Checked());
  EXPECT_FALSE(form.Changed());
  EXPECT_TRUE(form.mRemind.Lines().empty());
}

TEST_F(SetupDialogTest, FileWithoutTrailerShowsTheFixedTextsSilently) {
  StoreSettings("[Setup]\nmute=1\n");
  TfrmSetup& form = Open(scratch_.Write("Short.scr", std::string(19, '7')));
  EXPECT_TRUE(backend_->ErrorBoxes().empty());
  EXPECT_EQ(form.Caption, "Setup []");
  EXPECT_FALSE(form.cbMute.Checked());
  EXPECT_TRUE(form.mRemind.Lines().empty());
}

TEST_F(SetupDialogTest, CheckBoxTogglesByMouseAndSpace) {
  TfrmSetup& form = Open();
  int changes = 0;
  form.cbMute.OnChange = [&](void* sender) {
    ++changes;
    form.cbMuteClick(sender);
  };
  const TPoint box = CentreOf(form.cbMute);
  ClickAt(box.X, box.Y);
  EXPECT_TRUE(form.cbMute.Checked());
  EXPECT_TRUE(form.Changed());
  EXPECT_EQ(form.FocusChain().Focused(), &form.cbMute);
  Key(kSpace);
  EXPECT_FALSE(form.cbMute.Checked());
  // A release without a press on the box, and setting the same state, change nothing.
  Mouse(InputEvent::Kind::MouseUp, box.X, box.Y);
  form.cbMute.SetChecked(false);
  EXPECT_FALSE(form.cbMute.Checked());
  EXPECT_EQ(changes, 2);
  // Pressing on the box and releasing elsewhere is no click.
  Mouse(InputEvent::Kind::MouseDown, box.X, box.Y);
  Mouse(InputEvent::Kind::MouseUp, 5, 5);
  EXPECT_FALSE(form.cbMute.Checked());
}

TEST_F(SetupDialogTest, TabOrderAndKeysThatPressOk) {
  TfrmSetup& form = Open();
  TFocusChain& focus = form.FocusChain();
  const std::vector<const TThemedControl*> order = {&form.cbMute, &form.lblEmail, &form.lblWeb,
                                                    &form.OKButton};
  EXPECT_EQ(focus.Focused(), order[0]);
  for (std::size_t i = 1; i <= order.size(); ++i) {
    Key(kTab);
    EXPECT_EQ(focus.Focused(), order[i % order.size()]);
    EXPECT_TRUE(focus.Focused()->Focused());
  }
  Key(kTab, ssShift);
  EXPECT_EQ(focus.Focused(), &form.OKButton);
  EXPECT_FALSE(form.cbMute.Focused());
  Key(kTab, ssShift);
  EXPECT_EQ(focus.Focused(), &form.lblWeb);

  // Space on a focused link opens it; Enter presses OK from there.
  form.cbMute.SetChecked(true);
  Key(kSpace);
  EXPECT_EQ(backend_->OpenedUrls(), std::vector<std::string>{"www.example.com/demo"});
  Key(kReturn);
  EXPECT_FALSE(form.Visible());
  EXPECT_EQ(ReadProfileString(ini_, "Setup", "mute"), "1");
}

TEST_F(SetupDialogTest, AccessKeyPressesOkWithAndWithoutAlt) {
  for (const TShiftState shift : {ssAlt, TShiftState{0}}) {
    TfrmSetup& form = Open();
    Key('X', shift);
    Key('O', ssCtrl);
    EXPECT_TRUE(form.Visible());
    Key('O', shift);
    EXPECT_FALSE(form.Visible());
  }
  // Space on the focused button presses it as well.
  TfrmSetup& form = Open();
  form.FocusChain().SetFocus(&form.OKButton);
  Key(kSpace);
  EXPECT_FALSE(form.Visible());
}

TEST(EmailLinkTargetTest, MailtoGoesBeforeATextWithoutScheme) {
  const struct {
    const char* text;
    const char* opens;
  } cases[] = {
      {"me@example.org", "mailto:me@example.org"},
      {"mailto:me@example.org", "mailto:me@example.org"},
      {"MAILTO:me@example.org", "MAILTO:me@example.org"},
      {"https://x", "https://x"},
      {"x-my.app+1:me", "x-my.app+1:me"},
      {"Email:", "Email:"},
      {"", ""},
      {"1mail:me@example.org", "mailto:1mail:me@example.org"},  // a scheme starts with a letter
      {":me@example.org", "mailto::me@example.org"},
      {"me@example.org:25", "mailto:me@example.org:25"},        // '@' is no scheme character
      {"Ann Smith <ann@example.org>", "mailto:Ann Smith <ann@example.org>"},
      {"m_e:x", "mailto:m_e:x"},
  };
  for (const auto& c : cases) EXPECT_EQ(EmailLinkTarget(c.text), c.opens) << c.text;
}

TEST_F(SetupDialogTest, LinksShowTheHandAndOpenTheirTargets) {
  TfrmSetup& form = Open();
  const TPoint email = CentreOf(form.lblEmail);
  Mouse(InputEvent::Kind::MouseMove, email.X, email.Y);
  EXPECT_EQ(backend_->Pointer(), TCursor::crHandPoint);
  Mouse(InputEvent::Kind::MouseMove, 200, 80);
  EXPECT_EQ(backend_->Pointer(), TCursor::crDefault);

  ClickAt(email.X, email.Y);
  const TPoint web = CentreOf(form.lblWeb);
  ClickAt(web.X, web.Y);
  EXPECT_EQ(backend_->Pointer(), TCursor::crHandPoint);
  Mouse(InputEvent::Kind::MouseLeaveWindow, 0, 0);
  EXPECT_EQ(backend_->Pointer(), TCursor::crDefault);
  // The e-mail address gets its scheme; the web address opens as it is written.
  EXPECT_EQ(backend_->OpenedUrls(),
            (std::vector<std::string>{"mailto:ann@example.com", "www.example.com/demo"}));
}

TEST_F(SetupDialogTest, UnfilledLinksOpenTheirFixedTexts) {
  TfrmSetup& form = Open(scratch_.Write("Empty.scr", std::string(4, '0')));
  form.lblEmailClick(&form.lblEmail);
  form.lblWebClick(&form.lblWeb);
  EXPECT_EQ(backend_->OpenedUrls(), (std::vector<std::string>{"Email:", "Web address:"}));
}

TEST_F(SetupDialogTest, FrameCloseAndEscapeNeverWrite) {
  for (const bool escape : {false, true}) {
    TfrmSetup& form = Open();
    form.cbMute.SetChecked(true);
    if (escape) {
      Key(kEscape);
    } else {
      app_.DispatchInput({.kind = InputEvent::Kind::Close, .form = &form});
    }
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(app_.Terminated());
    EXPECT_FALSE(SettingsExist());
  }
}

TEST_F(SetupDialogTest, CheckMarkIsDrawnInsideTheBox) {
  TfrmSetup& form = Open();
  form.Invalidate();
  ASSERT_NO_THROW(form.PaintInvalid());
  const Bitmap clear = form.Surface();
  form.cbMute.SetChecked(true);
  form.PaintInvalid();
  const Bitmap& checked = form.Surface();
  ASSERT_EQ(checked.Width(), 305);
  ASSERT_EQ(checked.Height(), 259);

  TRect box = form.cbMute.BoxRect();
  box.Offset(form.cbMute.Left(), form.cbMute.Top());
  int insideChanges = 0;
  for (int y = 0; y < checked.Height(); ++y) {
    for (int x = 0; x < checked.Width(); ++x) {
      if (clear.Pixel(x, y) == checked.Pixel(x, y)) continue;
      ASSERT_TRUE(box.Contains(x, y)) << x << "," << y;
      ++insideChanges;
    }
  }
  EXPECT_GT(insideChanges, box.Width() * box.Height() / 2);
  // The tick is white on the accent fill: its centre differs from the box's corner area.
  const std::uint32_t tick = checked.Pixel(box.Left + 5, box.Top + 8);
  EXPECT_EQ(tick, 0xFFFFFFu);
  EXPECT_NE(checked.Pixel(box.Left + 2, box.Top + 10), 0xFFFFFFu);
}

}  // namespace
}  // namespace slidesaver
