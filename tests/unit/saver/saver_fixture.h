#pragma once

// A saver window on the headless backend, over a saver file the test writes.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/random.h"
#include "payload/builder.h"
#include "payload/writer.h"
#include "saver/saver_window.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"
#include "ui/headless.h"
#include "ui/media_player.h"

namespace slidesaver::test {

// The variable that names the folder for temporary files: the runtime folder lies there.
#ifdef _WIN32
constexpr char kTempVariable[] = "TMP";
inline void SetVariable(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
}
inline void UnsetVariable(const char* name) { _putenv_s(name, ""); }
#else
constexpr char kTempVariable[] = "TMPDIR";
inline void SetVariable(const char* name, const std::string& value) {
  ::setenv(name, value.c_str(), 1);
}
inline void UnsetVariable(const char* name) { ::unsetenv(name); }
#endif

constexpr TSize kScreen{64, 48};
constexpr std::size_t kPlayerSize = 100;

// The desktop's password services as a test sets them up.
struct DesktopState {
  bool hasSettings = false;
  std::int32_t usePassword = 0;
  bool userMayLeave = true;
  int checks = 0;
  std::vector<bool> runningFlags = {};
  std::function<void()> duringCheck = {};  // what happens while the check is open
  bool showsStartFailures = false;
};

class FakeSaverSystem : public SaverSystem {
 public:
  explicit FakeSaverSystem(DesktopState& state) : state_(state) {}
  bool HasSaverSettings() override { return state_.hasSettings; }
  std::int32_t UsePasswordSetting() override { return state_.usePassword; }
  bool VerifyPassword(std::intptr_t) override {
    ++state_.checks;
    if (state_.duringCheck) state_.duringCheck();
    return state_.userMayLeave;
  }
  void SetScreenSaverRunning(bool running) override { state_.runningFlags.push_back(running); }
  bool ShowsStartFailures() override { return state_.showsStartFailures; }

 private:
  DesktopState& state_;
};

// A sound device as a test drives it: it records what was loaded and played,
// and the test ends the playing track.
struct AudioState {
  std::vector<std::string> played = {};  // file contents, one entry per Play
  std::vector<std::string> failing = {};  // file names whose Load fails
  std::string loaded = {};
  std::string loadedPath = {};
  bool playing = false;
  bool fileThereAtUnload = false;  // the device let go of its file before it was deleted
  std::function<void()> finished = {};
};

class FakeAudioDevice : public AudioDevice {
 public:
  explicit FakeAudioDevice(AudioState& state) : state_(state) {}
  void Load(const std::string& path) override {
    for (const std::string& name : state_.failing) {
      if (path.ends_with("/" + name) || path.ends_with("\\" + name)) {
        throw Error("Cannot play " + path);
      }
    }
    state_.loaded = ScratchFolder::Read(path);
    state_.loadedPath = path;
  }
  void Play(std::function<void()> finished) override {
    state_.played.push_back(state_.loaded);
    state_.playing = true;
    state_.finished = std::move(finished);
  }
  void Halt() override {
    state_.playing = false;
    state_.finished = nullptr;
  }
  void Unload() override {
    Halt();
    state_.fileThereAtUnload = std::filesystem::exists(state_.loadedPath);
  }
  bool Playing() override { return state_.playing; }

 private:
  AudioState& state_;
};

// A headless backend that ends the run loop when it is polled far more often
// than any show needs, so that a busy loop fails the test instead of hanging it.
class CountingBackend : public HeadlessBackend {
 public:
  using HeadlessBackend::HeadlessBackend;
  void PollEvents(std::vector<InputEvent>& out) override {
    if (++polls == kLimit) Application().Terminate();
    HeadlessBackend::PollEvents(out);
  }
  static constexpr int kLimit = 20000;
  int polls = 0;
};

inline std::vector<std::uint8_t> Jpeg(int width, int height, std::uint32_t seed) {
  return EncodeJpeg(MakeTestPattern(width, height, seed), 95);
}

// Appends a new configuration stream and trailer, so that the file's record
// can hold values the payload builder never writes.
inline void ReplaceConfiguration(std::vector<std::uint8_t>& file, const TSSFileLocations& config) {
  file.resize(file.size() - 40);
  const std::size_t configOffset = file.size();
  const std::vector<std::uint8_t> stream = WriteComponentStream(config);
  file.insert(file.end(), stream.begin(), stream.end());
  for (const std::size_t value : {file.size() - kPlayerSize, configOffset}) {
    std::string field = std::to_string(value);
    field.resize(20, ' ');
    file.insert(file.end(), field.begin(), field.end());
  }
}

class SaverWindowTest : public ::testing::Test {
 protected:
  SaverWindowTest() {
    if (const char* tmp = ::getenv(kTempVariable)) savedTmp_ = tmp;
    SetVariable(kTempVariable, scratch_.Path());
    UnsetVariable("XDG_RUNTIME_DIR");
    IgnoredMoves() = 0;
    RandSeed(7);
    app_.Title = "Saver";
    config_.SetInterval(1000);
  }
  ~SaverWindowTest() override {
    form_.reset();
    if (savedTmp_.empty()) {
      UnsetVariable(kTempVariable);
    } else {
      SetVariable(kTempVariable, savedTmp_);
    }
  }

  // Writes a saver file of the pictures and sounds with the test's configuration.
  std::string WriteSaver(const std::vector<std::vector<std::uint8_t>>& jpegs,
                         const std::vector<PayloadSound>& sounds = {},
                         const std::function<void(TSSFileLocations&)>& patch = nullptr) {
    std::vector<PayloadPicture> pictures;
    for (const auto& jpeg : jpegs) pictures.push_back({"p.jpg", jpeg});
    std::vector<std::uint8_t> file(kPlayerSize, 0x90);
    const std::vector<std::uint8_t> payload = BuildPayload(kPlayerSize, pictures, sounds, config_);
    file.insert(file.end(), payload.begin(), payload.end());
    if (patch) {
      patch(config_);
      ReplaceConfiguration(file, config_);
    }
    return scratch_.Write("Saver.scr", file);
  }

  // `system`: the desktop's services, the fake of desktop_ when null.
  TfrmScrn& Start(const std::string& path, std::unique_ptr<SaverSystem> system = nullptr) {
    if (!system) system = std::make_unique<FakeSaverSystem>(desktop_);
    form_ = std::make_unique<TfrmScrn>(path, std::move(system),
                                       std::make_unique<FakeAudioDevice>(audio_));
    app_.MainForm = form_.get();
    form_->Show();
    return *form_;
  }

  // Shows the window from inside the message loop, where failures reach the
  // application's handler.
  TfrmScrn& StartInLoop(const std::string& path) {
    form_ = std::make_unique<TfrmScrn>(path, std::make_unique<FakeSaverSystem>(desktop_),
                                       std::make_unique<FakeAudioDevice>(audio_));
    app_.MainForm = form_.get();
    app_.PostMessage([this] { form_->Show(); });
    app_.ProcessMessages();
    return *form_;
  }

  // Runs the first start message the way the idle hook sends it.
  void StartShow() {
    bool done = true;
    ASSERT_TRUE(app_.OnIdle);
    app_.OnIdle(done);
    app_.ProcessMessages();
  }

  void Input(InputEvent::Kind kind, std::int32_t x = 0, std::int32_t y = 0) {
    app_.DispatchInput({.kind = kind, .form = form_.get(), .x = x, .y = y});
  }
  void Move(std::int32_t x, std::int32_t y) { Input(InputEvent::Kind::MouseMove, x, y); }

  std::string savedTmp_;
  test::ScratchFolder scratch_{"saver_window_test"};
  DesktopState desktop_;
  AudioState audio_;
  TSSFileLocations config_;
  CountingBackend* backend_ = nullptr;
  TApplication app_{[this] {
    auto backend = std::make_unique<CountingBackend>(kScreen);
    backend_ = backend.get();
    return backend;
  }()};
  std::unique_ptr<TfrmScrn> form_;
};

}  // namespace slidesaver::test
