#include "ui/media_player.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/error.h"
#include "tests/support/error_of.h"
#include "ui/app.h"
#include "ui/headless.h"

namespace slidesaver {
namespace {

// What the fake device saw and what it plays now; shared with the test so it
// outlives the device the player owns.
struct FakeDeviceLog {
  std::mutex mutex;
  std::vector<std::string> calls;
  std::function<void()> finished;  // the running track's callback
  bool playing = false;
  std::string failLoad;  // a Load of this path raises

  // Ends the running track by itself, as the sound hardware would.
  void EndTrack() {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex);
      playing = false;
      call = std::exchange(finished, nullptr);
    }
    if (call) call();
  }
};

class FakeDevice : public AudioDevice {
 public:
  explicit FakeDevice(std::shared_ptr<FakeDeviceLog> log) : log_(std::move(log)) {}
  void Load(const std::string& path) override {
    Record("Load " + path);
    if (path == log_->failLoad) throw Error("cannot decode " + path);
  }
  void Play(std::function<void()> finished) override {
    Record("Play");
    std::lock_guard lock(log_->mutex);
    log_->finished = std::move(finished);
    log_->playing = true;
  }
  void Halt() override { Stopped("Halt"); }
  void Unload() override { Stopped("Unload"); }
  bool Playing() override {
    std::lock_guard lock(log_->mutex);
    return log_->playing;
  }

 private:
  void Record(const std::string& call) {
    std::lock_guard lock(log_->mutex);
    log_->calls.push_back(call);
  }
  // A halted or unloaded track never reports its end.
  void Stopped(const std::string& call) {
    std::lock_guard lock(log_->mutex);
    log_->calls.push_back(call);
    log_->playing = false;
    log_->finished = nullptr;
  }
  std::shared_ptr<FakeDeviceLog> log_;
};

class MediaPlayerTest : public ::testing::Test {
 protected:
  MediaPlayerTest() {
    player_ = std::make_unique<TMediaPlayer>(std::make_unique<FakeDevice>(log_));
    player_->OnNotify = [this](void* sender) {
      EXPECT_EQ(sender, player_.get());
      EXPECT_TRUE(app_.IsMainThread());
      modesAtNotify_.push_back(player_->Mode());
    };
  }

  int Notifies() const { return static_cast<int>(modesAtNotify_.size()); }
  void OpenAndPlay(const std::string& file) {
    player_->FileName = file;
    player_->Open();
    player_->Play();
  }

  TApplication app_{std::make_unique<HeadlessBackend>()};
  std::shared_ptr<FakeDeviceLog> log_ = std::make_shared<FakeDeviceLog>();
  std::unique_ptr<TMediaPlayer> player_;
  std::vector<TMPModes> modesAtNotify_;
};

TEST_F(MediaPlayerTest, ModesFollowOpenPlayStopAndClose) {
  EXPECT_EQ(player_->Mode(), TMPModes::mpNotReady);
  player_->FileName = "/tmp/a.wav";
  player_->Open();
  EXPECT_EQ(player_->Mode(), TMPModes::mpStopped);
  player_->Play();
  EXPECT_EQ(player_->Mode(), TMPModes::mpPlaying);
  player_->Stop();
  EXPECT_EQ(player_->Mode(), TMPModes::mpStopped);
  player_->Play();
  log_->EndTrack();
  EXPECT_EQ(player_->Mode(), TMPModes::mpStopped);
  player_->Close();
  EXPECT_EQ(player_->Mode(), TMPModes::mpNotReady);
  EXPECT_EQ(log_->calls, (std::vector<std::string>{"Load /tmp/a.wav", "Halt", "Play", "Halt",
                                                   "Halt", "Play", "Halt", "Unload"}));
}

TEST_F(MediaPlayerTest, NaturalEndNotifiesOnceOnTheMainThreadAfterProcessing) {
  OpenAndPlay("a.mid");
  std::thread audio([this] { log_->EndTrack(); });
  audio.join();
  EXPECT_EQ(Notifies(), 0);  // posted, not called from the audio thread
  app_.ProcessMessages();
  ASSERT_EQ(Notifies(), 1);
  EXPECT_EQ(modesAtNotify_[0], TMPModes::mpStopped);
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 1);
}

TEST_F(MediaPlayerTest, PlayEndedFirstBySomethingElseNotifiesOnceAsAborted) {
  OpenAndPlay("a.wav");
  player_->Stop();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 1);

  player_->Play();
  player_->Play();  // supersedes the first play
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 2);
  player_->Close();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 3);

  OpenAndPlay("a.wav");
  player_->FileName = "b.wav";
  player_->Open();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 4);
}

TEST_F(MediaPlayerTest, LateNaturalEndOfAnAbortedPlayIsDropped) {
  OpenAndPlay("a.wav");
  std::function<void()> lateEnd = log_->finished;  // the end raced with Stop
  player_->Stop();
  lateEnd();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 1);
}

TEST_F(MediaPlayerTest, RequestOnMakesStopOpenAndCloseNotify) {
  player_->FileName = "a.wav";
  player_->SetNotify(true);
  player_->Open();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 1);

  player_->SetNotify(true);
  player_->Stop();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 2);

  player_->Stop();  // the request was used up
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 2);

  player_->SetNotify(true);
  player_->Close();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 3);
}

// The saver's round: the natural end notifies; the handler stops with a
// request on, arms off and opens and plays the next track. The off request is
// used up by the close inside Open, so the next play still notifies; the
// stop's completion, queued before that Open, is dropped.
TEST_F(MediaPlayerTest, SaverRoundNotifiesOncePerTrack) {
  OpenAndPlay("a.wav");
  player_->SetNotify(true);
  log_->EndTrack();
  app_.ProcessMessages();
  ASSERT_EQ(Notifies(), 1);

  player_->Stop();
  player_->SetNotify(false);
  OpenAndPlay("b.wav");
  player_->SetNotify(true);
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 1);

  log_->EndTrack();
  app_.ProcessMessages();
  ASSERT_EQ(Notifies(), 2);
  EXPECT_EQ(modesAtNotify_[1], TMPModes::mpStopped);
}

TEST_F(MediaPlayerTest, CompletionsQueuedBeforeOpenOrCloseAreDropped) {
  player_->FileName = "a.wav";
  player_->Open();
  player_->SetNotify(true);
  player_->Stop();
  player_->Open();  // nothing asked for: the close and open post nothing
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 0);

  player_->Play();
  log_->EndTrack();  // the natural end is queued
  player_->Close();  // the play ended already, so nothing is owed
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 0);

  player_->SetNotify(true);
  player_->Open();  // nothing was open: the open's own completion is kept
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 1);
}

TEST_F(MediaPlayerTest, RequestOffSilencesTheCommandThatUsesIt) {
  OpenAndPlay("a.wav");
  log_->EndTrack();
  app_.ProcessMessages();
  ASSERT_EQ(Notifies(), 1);

  player_->SetNotify(false);
  player_->FileName = "b.wav";
  player_->Open();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 1);

  player_->SetNotify(false);
  player_->Play();
  log_->EndTrack();
  player_->Play();
  player_->Stop();  // aborts the second play, which notifies
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 2);
}

TEST_F(MediaPlayerTest, DestroyedPlayerReceivesNoPendingCompletion) {
  OpenAndPlay("a.wav");
  std::function<void()> end = log_->finished;
  player_->SetNotify(true);
  player_->Stop();  // posts the aborted play and the stop
  player_.reset();
  end();  // a device thread that raced with the destruction
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 0);
  EXPECT_EQ(log_->calls.back(), "Unload");
}

TEST_F(MediaPlayerTest, DestructorClosesTheOpenDeviceOnly) {
  player_.reset();
  EXPECT_TRUE(log_->calls.empty());
  player_ = std::make_unique<TMediaPlayer>(std::make_unique<FakeDevice>(log_));
  OpenAndPlay("a.wav");
  player_.reset();
  EXPECT_EQ(log_->calls.back(), "Unload");
  EXPECT_FALSE(log_->playing);
}

TEST_F(MediaPlayerTest, FailedOpenRaisesAndLeavesNothingOpen) {
  OpenAndPlay("a.wav");
  log_->failLoad = "broken.mid";
  player_->FileName = "broken.mid";
  player_->SetNotify(true);
  EXPECT_EQ(test::ErrorOf([this] { player_->Open(); }), "cannot decode broken.mid");
  EXPECT_EQ(player_->Mode(), TMPModes::mpNotReady);
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 2);  // the aborted play and the close; the open reports nothing
  EXPECT_NE(test::ErrorOf([this] { player_->Play(); }), "");
  player_->Stop();
  player_->Close();
  app_.ProcessMessages();
  EXPECT_EQ(Notifies(), 2);
}

}  // namespace
}  // namespace slidesaver
