#include "saver/saver_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "system/files.h"
#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

namespace fs = std::filesystem;

TEST_F(SaverWindowTest, StartUpCoversTheScreenInBlackAndHidesTheCursor) {
  TfrmScrn& form = Start(WriteSaver({Jpeg(16, 16, 1)}));
  EXPECT_FALSE(form.StartupPending());
  EXPECT_EQ(form.BoundsRect(), (TRect{0, 0, kScreen.cx, kScreen.cy}));
  EXPECT_EQ(form.Color(), clBlack);
  EXPECT_EQ(form.tvShow.BoundsRect(), form.ClientRect());
  EXPECT_EQ(backend_->CursorCount(), -1);
  EXPECT_EQ(desktop_.runningFlags, std::vector<bool>{true});
  EXPECT_EQ(form.LastMouse(), (TPoint{-1, -1}));
  EXPECT_EQ(form.SlideTimer().Interval(), 1000u);
  EXPECT_FALSE(form.SlideTimer().Enabled());
  EXPECT_FALSE(form.ShowStarted());
}

TEST_F(SaverWindowTest, ReactivationDoesNotReadThePayloadAgain) {
  const std::string path = WriteSaver({Jpeg(8, 8, 1)});
  TfrmScrn& form = Start(path);
  fs::remove(path);  // reading it again would fail now
  form.Activate();
  EXPECT_EQ(form.Configuration().GetPicCount(), 1);
  EXPECT_EQ(backend_->CursorCount(), -1);
  EXPECT_TRUE(backend_->ErrorBoxes().empty());
}

TEST_F(SaverWindowTest, UnreadableConfigurationEndsTheProgramAfterStartUp) {
  std::vector<std::uint8_t> file(kPlayerSize, 0);
  std::string trailer = "0                   1                   ";
  file.insert(file.end(), trailer.begin(), trailer.end());
  TfrmScrn& form = Start(scratch_.Write("Bad.scr", file));
  EXPECT_TRUE(app_.Terminated());
  EXPECT_FALSE(form.StartupPending());
  EXPECT_EQ(form.Width(), kScreen.cx);
  EXPECT_TRUE(backend_->ErrorBoxes().empty());
  // The program ends without a close: the flag and the cursor come back all the same.
  form_.reset();
  EXPECT_EQ(desktop_.runningFlags, (std::vector<bool>{true, false}));
  EXPECT_EQ(backend_->CursorCount(), 0);
}

// A saver that cannot start tells it once and never loops. A file without a show stays as a
// small window that the next activation tries again, unless the desktop shows such failures in a
// box (Windows, where a user double-clicks a saver): then one box says why and the program ends.
struct StartFailure {
  bool missing;  // no file at all: opening it fails
  bool showsFailures;
  bool host;
  std::size_t boxes;
  bool ends;
};

class StartFailureTest : public SaverWindowTest,
                         public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, TellsItOnceAndNeverLoops) {
  const StartFailure& c = GetParam();
  const std::string path =
      c.missing ? scratch_.Path("Gone.scr") : scratch_.Write("Short.scr", std::string(30, 'x'));
  desktop_.showsStartFailures = c.showsFailures;
  form_ = std::make_unique<TfrmScrn>(path, std::make_unique<FakeSaverSystem>(desktop_),
                                     std::make_unique<FakeAudioDevice>(audio_));
  form_->SetInHostWindow(c.host);
  app_.PostMessage([this] { form_->Show(); });
  app_.ProcessMessages();
  form_->Activate();  // as when the box closes
  EXPECT_EQ(backend_->ErrorBoxes().size(), c.boxes);
  EXPECT_EQ(app_.Terminated(), c.ends);
  EXPECT_TRUE(form_->StartupPending());
}

INSTANTIATE_TEST_SUITE_P(Cases, StartFailureTest,
                         ::testing::Values(StartFailure{false, false, false, 0, false},
                                           StartFailure{false, true, false, 1, true},
                                           StartFailure{false, true, true, 0, false},
                                           StartFailure{true, false, false, 1, true},
                                           StartFailure{true, true, true, 1, true}));

TEST_F(SaverWindowTest, MouseMovesCloseOnlyWhenTheyLeaveTheBandOnBothAxes) {
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
  Move(30, 30);  // the first move only takes the reference, wherever it is
  EXPECT_EQ(form.LastMouse(), (TPoint{30, 30}));
  Move(32, 28);
  Move(28, 32);
  Move(130, 31);  // far, but on one axis only
  Move(30, -70);
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(form.LastMouse(), (TPoint{30, 30}));
  Move(33, 33);
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(app_.Terminated());
  EXPECT_EQ(IgnoredMoves(), 5);
}

TEST_F(SaverWindowTest, KeysAndClicksCloseAndClosingRestoresTheCursorOnce) {
  for (const InputEvent::Kind kind : {InputEvent::Kind::KeyDown, InputEvent::Kind::MouseDown}) {
    form_.reset();
    app_.OnIdle = nullptr;
    const int cursorBefore = backend_->CursorCount();
    TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
    Input(kind, 5, 5);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(backend_->CursorCount(), cursorBefore);
    EXPECT_FALSE(app_.OnIdle);
    EXPECT_EQ(desktop_.runningFlags.back(), false);
  }
}

TEST_F(SaverWindowTest, StayIgnoresTheNextFiveMovesAndKeepsTheCursorHidden) {
  desktop_ = DesktopState{.hasSettings = true, .usePassword = 1, .userMayLeave = false};
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
  Input(InputEvent::Kind::KeyDown);
  EXPECT_EQ(desktop_.checks, 1);
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(backend_->CursorCount(), -1);
  for (int i = 0; i < 5; ++i) Move(i * 100, i * 100);
  EXPECT_EQ(form.LastMouse(), (TPoint{-1, -1}));
  EXPECT_EQ(desktop_.checks, 1);
  Move(10, 10);
  EXPECT_EQ(form.LastMouse(), (TPoint{10, 10}));

  desktop_.usePassword = 0;  // no password: leave without a check
  Input(InputEvent::Kind::MouseDown, 1, 1);
  EXPECT_EQ(desktop_.checks, 1);
  EXPECT_FALSE(form.Visible());
}

TEST_F(SaverWindowTest, StopMessageStopsTheTimerAndAsksToClose) {
  desktop_ = DesktopState{.hasSettings = true, .usePassword = 1, .userMayLeave = false};
  TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}));
  StartShow();
  ASSERT_TRUE(form.SlideTimer().Enabled());
  app_.DispatchInput({.kind = InputEvent::Kind::Message, .form = &form,
                      .message = TfrmScrn::kStopMessage});
  EXPECT_FALSE(form.SlideTimer().Enabled());
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(desktop_.checks, 1);
}

TEST_F(SaverWindowTest, RunLoopShowsPicturesOnTheTimerWithoutSpinning) {
  TfrmScrn& form = Start(WriteSaver({Jpeg(16, 16, 1), Jpeg(16, 16, 2), Jpeg(16, 16, 3)}));
  TTimer stop;
  stop.SetInterval(4500);
  stop.OnTimer = [&] { form.Close(); };
  app_.Run();
  EXPECT_LT(backend_->polls, CountingBackend::kLimit);
  EXPECT_TRUE(form.ShowStarted());
  // Each change takes a one-second transition and then waits the one-second
  // interval; the third change is under way when the window closes.
  EXPECT_EQ(form.PictureIndex(), 3);
  EXPECT_EQ(form.tvShow.Style(), 54);
  EXPECT_TRUE(backend_->ErrorBoxes().empty());
}

TEST_F(SaverWindowTest, SoundsGoIntoARunFolderOfTheWindowsOwnThatGoesWithIt) {
  const std::string path = WriteSaver(
      {Jpeg(8, 8, 1)}, {{"a.wav", {1, 2, 3}}, {"b.mid", {4, 5}}, {"empty.ogg", {}}});
  Start(path);
  ASSERT_NE(form_->SoundFolder(), nullptr);
  const std::string folder = form_->SoundFolder()->Path();
  EXPECT_EQ(ScratchFolder::Read(folder + "a.wav"), "\x01\x02\x03");
  EXPECT_EQ(ScratchFolder::Read(folder + "b.mid"), "\x04\x05");
  EXPECT_EQ(fs::file_size(folder + "empty.ogg"), 0u);

  // A second saver of the same file keeps its sounds apart.
  TfrmScrn other(path, std::make_unique<FakeSaverSystem>(desktop_),
                 std::make_unique<FakeAudioDevice>(audio_));
  other.Show();
  ASSERT_NE(other.SoundFolder(), nullptr);
  EXPECT_NE(other.SoundFolder()->Path(), folder);
  form_.reset();
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(ScratchFolder::Read(other.SoundPath(0)), "\x01\x02\x03");
}

TEST_F(SaverWindowTest, SoundsThatCannotBeExtractedLeaveTheShowSilentButRunning) {
  using Patch = std::function<void(TSSFileLocations&)>;
  const struct {
    const char* what;
    Patch patch;
    int extracted;
  } cases[] = {
      {"a name with a folder part", [](TSSFileLocations& c) { c.soundFileNames[1] = "../bad.wav"; }, 1},
      {"a block past the end", [](TSSFileLocations& c) { c.soundSizes[0] = "999999"; }, 0},
      {"more than the sounds may take",
       [](TSSFileLocations& c) { c.soundSizes[1] = std::to_string(TfrmScrn::kMaxSoundBytes); }, 1},
  };
  for (const auto& c : cases) {
    form_.reset();
    audio_ = AudioState();
    TfrmScrn& form =
        StartInLoop(WriteSaver({Jpeg(8, 8, 1)}, {{"ok.wav", {1}}, {"bad.wav", {2}}}, c.patch));
    EXPECT_TRUE(backend_->ErrorBoxes().empty()) << c.what;
    EXPECT_FALSE(form.StartupPending()) << c.what;
    EXPECT_EQ(form.ExtractedSounds(), c.extracted) << c.what;
    EXPECT_EQ(audio_.played.size(), static_cast<std::size_t>(c.extracted)) << c.what;
    EXPECT_FALSE(fs::exists(scratch_.Path("bad.wav"))) << c.what;
    StartShow();
    EXPECT_EQ(form.PictureIndex(), 1) << c.what;
  }
}

}  // namespace
}  // namespace slidesaver::test
