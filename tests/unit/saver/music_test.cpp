#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "system/files.h"
#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

namespace fs = std::filesystem;

class MusicTest : public SaverWindowTest {
 protected:
  // Sounds whose contents name them: "s0", "s1", ...
  std::vector<PayloadSound> Sounds(int count) {
    std::vector<PayloadSound> sounds;
    for (int i = 0; i < count; ++i) {
      const std::string content = "s" + std::to_string(i);
      sounds.push_back({content + ".wav", std::vector<std::uint8_t>(content.begin(), content.end())});
    }
    return sounds;
  }

  // The playing track ends by itself; the notifications it causes run.
  void EndTrack() {
    ASSERT_TRUE(audio_.playing);
    const std::function<void()> finished = audio_.finished;
    audio_.playing = false;
    finished();
    for (int i = 0; i < 3; ++i) app_.ProcessMessages();
  }

  std::vector<std::string> PlayAndEnd(int tracks) {
    for (int i = 0; i + 1 < tracks; ++i) EndTrack();
    return audio_.played;
  }
};

TEST_F(MusicTest, ListOrderLoopsForOrderOneAndZero) {
  for (const int order : {1, 0, 7}) {
    form_.reset();
    audio_ = AudioState();
    config_.SetSoundRandom(order);
    Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(3)));
    EXPECT_EQ(PlayAndEnd(7), (std::vector<std::string>{"s0", "s1", "s2", "s0", "s1", "s2", "s0"}))
        << "order " << order;
  }
}

TEST_F(MusicTest, OrderThreeRepeatsOneTrackAndOrderTwoDrawsEachTime) {
  config_.SetSoundRandom(3);
  Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(4)));
  const std::vector<std::string> repeated = PlayAndEnd(6);
  ASSERT_EQ(repeated.size(), 6u);
  EXPECT_EQ(std::set<std::string>(repeated.begin(), repeated.end()).size(), 1u);

  form_.reset();
  audio_ = AudioState();
  config_.SetSoundRandom(2);
  Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(4)));
  const std::vector<std::string> drawn = PlayAndEnd(40);
  const std::set<std::string> distinct(drawn.begin(), drawn.end());
  EXPECT_EQ(distinct.size(), 4u);
  int repeats = 0;
  for (std::size_t i = 1; i < drawn.size(); ++i) repeats += drawn[i] == drawn[i - 1];
  EXPECT_GT(repeats, 0);  // independent draws: the same track now and then twice in a row
}

TEST_F(MusicTest, MutedByTheSettingOrThePayloadYetExtractedAndDeleted) {
  scratch_.Write("CONTROL.INI", "[Setup]\r\nmute=0x1\r\n");
  Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(2)));
  EXPECT_TRUE(form_->Configuration().lMute);
  const std::string extracted = form_->SoundPath(1);
  EXPECT_TRUE(fs::exists(extracted));
  form_.reset();
  EXPECT_TRUE(audio_.played.empty());
  EXPECT_FALSE(fs::exists(extracted));

  // The payload's choice holds until the user stores one; a stored "0" plays.
  config_.lMute = true;
  fs::remove(scratch_.Path("CONTROL.INI"));
  Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(2)));
  EXPECT_TRUE(audio_.played.empty());
  form_.reset();
  scratch_.Write("CONTROL.INI", "[setup]\nMUTE = 0\n");
  Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(2)));
  EXPECT_EQ(audio_.played, std::vector<std::string>{"s0"});
  // Closing: the device lets go of the playing file, then the file goes.
  const std::string playing = form_->SoundPath(0);
  form_.reset();
  EXPECT_TRUE(audio_.fileThereAtUnload);
  EXPECT_FALSE(fs::exists(playing));
}

TEST_F(MusicTest, ATrackThatCannotBePlayedEndsTheMusicSilently) {
  audio_.failing = {"s1.wav"};
  Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(3)));
  EndTrack();
  for (int i = 0; i < 5; ++i) app_.ProcessMessages();
  EXPECT_EQ(audio_.played, std::vector<std::string>{"s0"});
  EXPECT_FALSE(audio_.playing);
  EXPECT_TRUE(backend_->ErrorBoxes().empty());

  form_.reset();
  audio_ = AudioState{.failing = {"s0.wav"}};
  Start(WriteSaver({Jpeg(8, 8, 1)}, Sounds(3)));
  for (int i = 0; i < 5; ++i) app_.ProcessMessages();
  EXPECT_TRUE(audio_.played.empty());
}

TEST_F(MusicTest, SameNameTwicePlaysTheLaterContentForBoth) {
  std::vector<PayloadSound> sounds = Sounds(2);
  sounds[1].fileName = sounds[0].fileName;
  Start(WriteSaver({Jpeg(8, 8, 1)}, sounds));
  EXPECT_EQ(PlayAndEnd(3), (std::vector<std::string>{"s1", "s1", "s1"}));
  const std::string extracted = form_->SoundPath(0);
  form_.reset();
  EXPECT_FALSE(fs::exists(extracted));
}

}  // namespace
}  // namespace slidesaver::test
