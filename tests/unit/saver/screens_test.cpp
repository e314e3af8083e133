#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

// The primary monitor (kScreen) is not the first one listed; the others lie left of it and below.
const std::vector<Screen> kThreeScreens = {
    {TRect{-40, 0, 0, 30}, false}, {TRect{0, 0, kScreen.cx, kScreen.cy}, true},
    {TRect{0, 48, 32, 72}, false}};

class ScreensTest : public SaverWindowTest {
 protected:
  TfrmScrn& StartOn(const std::vector<Screen>& screens, int pictures = 1) {
    backend_->SetScreens(screens);
    std::vector<std::vector<std::uint8_t>> jpegs;
    for (int i = 0; i < pictures; ++i) jpegs.push_back(Jpeg(16, 16, static_cast<std::uint32_t>(i + 1)));
    TfrmScrn& form = Start(WriteSaver(jpegs));
    app_.ProcessMessages();
    return form;
  }
  std::vector<TRect> ScreenBounds(TfrmScrn& form) {
    std::vector<TRect> bounds;
    for (const auto& window : form.ScreenWindows()) {
      EXPECT_TRUE(window->Visible());
      bounds.push_back(window->BoundsRect());
    }
    return bounds;
  }
};

TEST_F(ScreensTest, EveryOtherMonitorGetsABlackWindowAndTheInputIsGrabbed) {
  TfrmScrn& form = StartOn(kThreeScreens);
  EXPECT_EQ(form.BoundsRect(), kThreeScreens[1].bounds);
  EXPECT_EQ(ScreenBounds(form), (std::vector<TRect>{kThreeScreens[0].bounds, kThreeScreens[2].bounds}));
  EXPECT_EQ(backend_->InputGrabs(), 1);
  StartShow();
  for (const auto& window : form.ScreenWindows()) {
    const Bitmap* shown = HeadlessBackend::Shown(*window);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(*shown, Bitmap(window->Width(), window->Height()));  // black
    EXPECT_FALSE(window->ShowStarted());
  }
}

TEST_F(ScreensTest, InputOnAnyMonitorClosesAllThroughThePasswordCheck) {
  const InputEvent::Kind kinds[] = {InputEvent::Kind::KeyDown, InputEvent::Kind::MouseDown,
                                    InputEvent::Kind::MouseMove, InputEvent::Kind::Close};
  for (const InputEvent::Kind kind : kinds) {
    for (const bool mayLeave : {false, true}) {
      SCOPED_TRACE(static_cast<int>(kind) * 2 + mayLeave);
      IgnoredMoves() = 0;
      desktop_ = DesktopState{.hasSettings = true, .usePassword = 1, .userMayLeave = mayLeave};
      TfrmScrn& form = StartOn(kThreeScreens);
      TfrmScrn& cover = *form.ScreenWindows().back();
      if (kind == InputEvent::Kind::MouseMove) {
        app_.DispatchInput({.kind = kind, .form = &cover, .x = 5, .y = 5});  // the reference
      }
      app_.DispatchInput({.kind = kind, .form = &cover, .x = 20, .y = 20});
      // A close of the window itself (another program's doing) asks no password.
      const bool closes = mayLeave || kind == InputEvent::Kind::Close;
      EXPECT_EQ(desktop_.checks, kind == InputEvent::Kind::Close ? 0 : 1);
      EXPECT_EQ(form.Visible(), !closes);
      EXPECT_EQ(cover.Visible(), !closes);
      form_.reset();
      EXPECT_EQ(backend_->CursorCount(), 0);
    }
  }
}

TEST_F(ScreensTest, InputThatArrivesWhileARefusedCheckIsOpenIsDropped) {
  desktop_ = DesktopState{.hasSettings = true, .usePassword = 1, .userMayLeave = false};
  TfrmScrn& form = StartOn(kThreeScreens);
  const InputEvent click{.kind = InputEvent::Kind::MouseDown, .form = form.ScreenWindows()[0].get()};
  desktop_.duringCheck = [&] { backend_->PushInput(click); };
  backend_->PushInput(click);
  app_.ProcessMessages();  // the click asks; another one arrives while the check is open
  app_.ProcessMessages();
  EXPECT_EQ(desktop_.checks, 1);
  desktop_.duringCheck = nullptr;
  backend_->PushInput(click);
  app_.ProcessMessages();
  EXPECT_EQ(desktop_.checks, 2);  // input after the check asks again
}

TEST_F(ScreensTest, MonitorsThatComeAndGoAreFollowedAndTheShowMovesToTheNewPrimary) {
  TfrmScrn& form = StartOn({kThreeScreens[1]});
  StartShow();
  EXPECT_TRUE(form.ScreenWindows().empty());
  backend_->SetScreens(kThreeScreens);
  app_.ProcessMessages();
  StartShow();
  EXPECT_EQ(ScreenBounds(form), (std::vector<TRect>{kThreeScreens[0].bounds, kThreeScreens[2].bounds}));
  // The primary monitor goes; the one below becomes primary.
  backend_->SetScreens({kThreeScreens[0], {kThreeScreens[2].bounds, true}});
  app_.ProcessMessages();
  StartShow();
  EXPECT_EQ(form.BoundsRect(), kThreeScreens[2].bounds);
  EXPECT_EQ(ScreenBounds(form), std::vector<TRect>{kThreeScreens[0].bounds});
  EXPECT_EQ(form.tvShow.Picture().Graphic()->Width(), 32);  // composed for the new primary
}

TEST_F(ScreensTest, AHostsWindowTakesNoOtherMonitorAndNoGrab) {
  backend_->SetScreens(kThreeScreens);
  form_ = std::make_unique<TfrmScrn>(WriteSaver({Jpeg(8, 8, 1)}),
                                     std::make_unique<FakeSaverSystem>(desktop_),
                                     std::make_unique<FakeAudioDevice>(audio_));
  form_->SetInHostWindow(true);
  form_->Show();
  EXPECT_TRUE(form_->ScreenWindows().empty());
  EXPECT_EQ(backend_->InputGrabs(), 0);
}

// Every monitor runs a show: no two show one picture at once, and each frame is what a saver on
// that monitor alone would draw.
TEST_F(ScreensTest, AShowOnEveryMonitorNeverShowsOnePictureTwiceAtOnce) {
  struct Case {
    int pictures;
    bool random;
  };
  for (const Case c : {Case{3, false}, Case{3, true}, Case{5, false}, Case{7, true}}) {
    SCOPED_TRACE(c.pictures * 2 + c.random);
    config_.lRandomPic = c.random;
    config_.SetScreens(TSSFileLocations::kScreensEvery);
    TfrmScrn& form = StartOn(kThreeScreens, c.pictures);
    StartShow();
    app_.ProcessMessages();
    std::vector<TfrmScrn*> shows{&form};
    for (const auto& window : form.ScreenWindows()) shows.push_back(window.get());
    std::set<int> seen;
    for (int step = 0; step < 60; ++step) {
      std::set<int> now;
      for (TfrmScrn* show : shows) {
        ASSERT_TRUE(show->ShowStarted());
        now.insert(show->ShownPicture());
        seen.insert(show->ShownPicture());
      }
      ASSERT_EQ(now.size(), shows.size()) << "step " << step << ": " << shows[0]->ShownPicture() << shows[1]->ShownPicture() << shows[2]->ShownPicture();
      backend_->Advance(static_cast<std::uint32_t>(Random(700)) + 1);  // the shows drift apart
      app_.ProcessMessages();
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(c.pictures));
    for (TfrmScrn* show : shows) {
      const std::vector<std::uint8_t> jpeg = Jpeg(16, 16, static_cast<std::uint32_t>(show->ShownPicture() + 1));
      auto image = std::make_unique<TImage>();
      image->Picture().SetGraphic(std::make_unique<TJPEGImage>(jpeg));
      show->ComposeScreenPicture(*image);
      EXPECT_EQ(show->tvShow.Picture().Graphic()->Pixels(), image->Picture().Graphic()->Pixels());
    }
    form_.reset();
  }
}

}  // namespace
}  // namespace slidesaver::test
