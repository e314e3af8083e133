#include "ui/mci_device.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "tests/support/error_of.h"

namespace slidesaver {
namespace {

using Completion = MciCommands::Completion;
using test::ErrorOf;

// Keeps every play's completion callback, so a test can deliver any of them
// at any time, late ones included, as the interface's messages may come.
struct FakeMci {
  std::vector<std::string> calls;
  std::vector<std::function<void(Completion)>> plays;
  bool playing = false;
};

class FakeMciCommands : public MciCommands {
 public:
  explicit FakeMciCommands(std::shared_ptr<FakeMci> mci) : mci_(std::move(mci)) {}
  DeviceId Open(const std::string& path) override {
    mci_->calls.push_back("open " + path);
    if (path == "broken.wav") throw Error("The specified file cannot be played");
    return 7;  // the interface hands out the same id again after a close
  }
  void Play(DeviceId device, std::function<void(Completion)> done) override {
    mci_->calls.push_back("play " + std::to_string(device));
    mci_->plays.push_back(std::move(done));
    mci_->playing = true;
  }
  void Stop(DeviceId device) override { mci_->calls.push_back("stop " + std::to_string(device)); }
  void Close(DeviceId device) override { mci_->calls.push_back("close " + std::to_string(device)); }
  bool Playing(DeviceId) override { return mci_->playing; }

 private:
  std::shared_ptr<FakeMci> mci_;
};

struct MciDevice : ::testing::Test {
  std::shared_ptr<FakeMci> mci = std::make_shared<FakeMci>();
  std::unique_ptr<AudioDevice> device = CreateMciAudioDevice(std::make_unique<FakeMciCommands>(mci));
  int finished = 0;

  void PlayOnce() {
    device->Play([this] { ++finished; });
  }
};

TEST_F(MciDevice, OnlyASuccessfulEndOfTheCurrentPlayCounts) {
  const struct {
    Completion completion;
    int finished;
  } cases[] = {{Completion::kSuccessful, 1},
               {Completion::kAborted, 0},
               {Completion::kSuperseded, 0},
               {Completion::kFailure, 0}};  // no sound output: silent, never a busy round of tracks
  for (const auto& c : cases) {
    finished = 0;
    device->Load("a.wav");
    PlayOnce();
    mci->plays.back()(c.completion);
    mci->plays.back()(Completion::kSuccessful);  // a second message of the same play
    EXPECT_EQ(finished, c.finished) << static_cast<int>(c.completion);
  }
}

TEST_F(MciDevice, CompletionsOfEndedPlaysAreDropped) {
  device->Load("a.wav");
  PlayOnce();
  device->Halt();
  mci->plays[0](Completion::kSuccessful);  // came after the stop
  PlayOnce();
  device->Unload();
  device->Load("b.wav");  // the same device id again
  PlayOnce();
  mci->plays[1](Completion::kSuccessful);  // of a.wav, after the later open
  EXPECT_EQ(finished, 0);
  mci->plays[2](Completion::kSuccessful);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(mci->calls, (std::vector<std::string>{"open a.wav", "play 7", "stop 7", "play 7",
                                                   "close 7", "open b.wav", "play 7"}));
}

TEST_F(MciDevice, FailedOpenLeavesNothingOpen) {
  device->Load("a.wav");
  EXPECT_EQ(ErrorOf([&] { device->Load("broken.wav"); }), "The specified file cannot be played");
  EXPECT_FALSE(device->Playing());
  EXPECT_EQ(ErrorOf([&] { PlayOnce(); }), "No media file is open");
  device.reset();
  EXPECT_EQ(mci->calls, (std::vector<std::string>{"open a.wav", "close 7", "open broken.wav"}));
}

}  // namespace
}  // namespace slidesaver
