// The SDL2_mixer device and the media player over it, with SDL's "disk" audio
// driver: the mixed output goes to a raw file in real time, so the clips here
// are short.

#include <SDL_mixer.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "tests/support/error_of.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"
#include "ui/app.h"
#include "ui/headless.h"
#include "ui/media_player.h"

namespace slidesaver {
namespace {

// A safety net against a callback that never comes; a working run takes
// about the length of the clip.
constexpr auto kGiveUp = std::chrono::seconds(30);

std::string AsString(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A format-0 MIDI file at 120 beats a minute and 96 ticks a beat: a piano
// plays C, E and G for a quarter second each.
std::string TinyMidi() {
  const std::vector<std::uint8_t> track = {
      0x00, 0xC0, 0x00,                                           // program 0
      0x00, 0x90, 0x3C, 0x64, 0x30, 0x80, 0x3C, 0x40,              // C
      0x00, 0x90, 0x40, 0x64, 0x30, 0x80, 0x40, 0x40,              // E
      0x00, 0x90, 0x43, 0x64, 0x30, 0x80, 0x43, 0x40,              // G
      0x00, 0xFF, 0x2F, 0x00};                                    // end of track
  std::string file = std::string("MThd") + std::string("\0\0\0\x06\0\0\0\x01\0\x60", 10);
  file += "MTrk";
  const auto n = static_cast<std::uint32_t>(track.size());
  file += {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
           static_cast<char>(n)};
  file += std::string(track.begin(), track.end());
  return file;
}

bool TimidityConfigured() {
  struct stat info;
  const char* user = ::getenv("TIMIDITY_CFG");
  return (user != nullptr && ::stat(user, &info) == 0) ||
         ::stat("/etc/timidity.cfg", &info) == 0 ||
         ::stat("/etc/timidity/freepats.cfg", &info) == 0;
}

// Counts calls of a device's finished callback, from whatever thread, and
// notes how much output had been written when the end was reported.
struct Finished {
  std::mutex mutex;
  std::condition_variable changed;
  int count = 0;
  std::thread::id thread;
  std::string output;
  long long outputBytesAtEnd = -1;

  std::function<void()> Callback() {
    return [this] {
      struct stat info;
      std::lock_guard lock(mutex);
      ++count;
      thread = std::this_thread::get_id();
      if (!output.empty() && ::stat(output.c_str(), &info) == 0) outputBytesAtEnd = info.st_size;
      changed.notify_all();
    };
  }
  bool Wait() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kGiveUp, [this] { return count > 0; });
  }
  int Count() {
    std::lock_guard lock(mutex);
    return count;
  }
};

// What reached the output: the stretch between the first and the last
// clearly audible sample, the loudest sample, and how far past the first
// audible sample the output had got when the end was reported.
struct Output {
  double audibleSeconds = 0;
  double reportedSeconds = 0;
  int peak = 0;
};

class MixerDeviceTest : public ::testing::Test {
 protected:
  MixerDeviceTest() {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", outputPath_.c_str(), 1);
  }

  // Reads the 16-bit output once the device is closed; `frequency` and
  // `channels` as the mixer opened them.
  Output ReadOutput(int frequency, int channels, long long bytesAtEnd) const {
    std::ifstream in(outputPath_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    Output out;
    std::size_t first = samples.size(), last = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const int level = std::abs(static_cast<int>(samples[i]));
      out.peak = std::max(out.peak, level);
      if (level > 200) {
        first = std::min(first, i);
        last = i;
      }
    }
    if (first <= last) {
      out.audibleSeconds = static_cast<double>(last - first) / channels / frequency;
      out.reportedSeconds =
          (static_cast<double>(bytesAtEnd) / 2 - static_cast<double>(first)) / channels / frequency;
    }
    return out;
  }

  // Plays `path` to its end through a fresh device and returns the output.
  Output PlayToEnd(const std::string& path) {
    auto device = CreateAudioDevice();
    device->Load(path);
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    EXPECT_EQ(Mix_QuerySpec(&frequency, &format, &channels), 1);
    EXPECT_EQ(format, AUDIO_S16SYS);
    Finished finished;
    finished.output = outputPath_;
    device->Play(finished.Callback());
    EXPECT_TRUE(device->Playing());
    EXPECT_TRUE(finished.Wait());
    EXPECT_EQ(finished.Count(), 1);
    EXPECT_NE(finished.thread, std::this_thread::get_id());
    EXPECT_FALSE(device->Playing());
    device.reset();  // closes the output file
    return ReadOutput(frequency, channels, finished.outputBytesAtEnd);
  }

  test::ScratchFolder folder_{"media_mixer"};
  std::string outputPath_ = folder_.Path("out.raw");
};

TEST_F(MixerDeviceTest, WavPlaysWholeAndReportsItsEndFromTheAudioThread) {
  const std::string wav = folder_.Write("tune.wav", AsString(MakeWav(0.5)));
  const Output out = PlayToEnd(wav);
  EXPECT_GT(out.peak, 2000);
  EXPECT_GT(out.audibleSeconds, 0.35);
  EXPECT_LT(out.audibleSeconds, 0.6);
  // Reported after the sound, within a few mixing buffers of it.
  EXPECT_GT(out.reportedSeconds, out.audibleSeconds - 0.1);
  EXPECT_LT(out.reportedSeconds, out.audibleSeconds + 0.5);
}

TEST_F(MixerDeviceTest, MidiPlaysThroughThePatchSetAndEndsOnTime) {
  if (!TimidityConfigured()) GTEST_SKIP() << "no MIDI patch set installed";
  const std::string midi = folder_.Write("tune.mid", TinyMidi());
  const Output out = PlayToEnd(midi);
  EXPECT_GT(out.peak, 500);
  EXPECT_GT(out.audibleSeconds, 0.4);
  EXPECT_LT(out.audibleSeconds, 1.5);
  // A synthesizer that keeps a silent reverb tail going reports seconds late.
  EXPECT_GT(out.reportedSeconds, out.audibleSeconds - 0.1);
  EXPECT_LT(out.reportedSeconds, out.audibleSeconds + 0.5);
}

TEST_F(MixerDeviceTest, HaltAndUnloadSilenceTheFinishedCallback) {
  const std::string wav = folder_.Write("tune.wav", AsString(MakeWav(0.5)));
  auto device = CreateAudioDevice();
  device->Load(wav);
  Finished finished;
  device->Play(finished.Callback());
  device->Halt();  // SDL_mixer runs its hook inside the halt
  EXPECT_FALSE(device->Playing());
  device->Play(finished.Callback());
  device->Load(wav);  // replaces the playing track
  device->Play(finished.Callback());
  device->Unload();
  EXPECT_EQ(finished.Count(), 0);
  EXPECT_NE(test::ErrorOf([&] { device->Play(finished.Callback()); }), "");
}

TEST_F(MixerDeviceTest, MissingFileAndMissingSoundCardRaise) {
  auto device = CreateAudioDevice();
  EXPECT_NE(test::ErrorOf([&] { device->Load(folder_.Path("none.wav")); }), "");
  EXPECT_FALSE(device->Playing());
  device.reset();

  ::setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  device = CreateAudioDevice();
  const std::string wav = folder_.Write("tune.wav", AsString(MakeWav(0.1)));
  EXPECT_NE(test::ErrorOf([&] { device->Load(wav); }), "");
  EXPECT_NE(test::ErrorOf([&] { device->Load(wav); }), "");  // tries again, fails again
  EXPECT_FALSE(device->Playing());
}

TEST_F(MixerDeviceTest, PlayerNotifiesOnTheMainThreadWhenTheTrackEnds) {
  auto backend = std::make_unique<HeadlessBackend>();
  TApplication app(std::move(backend));
  const std::string wav = folder_.Write("tune.wav", AsString(MakeWav(0.3)));
  TMediaPlayer player(CreateAudioDevice());
  std::vector<TMPModes> modes;
  player.OnNotify = [&](void*) {
    EXPECT_TRUE(app.IsMainThread());
    modes.push_back(player.Mode());
  };
  player.FileName = wav;
  player.Open();
  player.Play();
  EXPECT_EQ(player.Mode(), TMPModes::mpPlaying);
  while (modes.empty()) {
    app.WaitForMessages(Backend::kInfinite);  // woken by the posted completion
    app.ProcessMessages();
  }
  EXPECT_EQ(modes, std::vector<TMPModes>{TMPModes::mpStopped});
  player.Close();
  EXPECT_EQ(player.Mode(), TMPModes::mpNotReady);
}

}  // namespace
}  // namespace slidesaver
