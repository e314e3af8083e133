#include "ui/mci_device.h"

#include <optional>
#include <utility>

#include "base/error.h"

namespace slidesaver {
namespace {

class MciAudioDevice : public AudioDevice {
 public:
  explicit MciAudioDevice(std::unique_ptr<MciCommands> commands)
      : commands_(std::move(commands)), current_(std::make_shared<std::uint64_t>(0)) {}

  ~MciAudioDevice() override {
    try {
      Unload();
    } catch (...) {
      // The device goes with the object whatever the interface answers.
    }
  }

  void Load(const std::string& path) override {
    Unload();
    device_ = commands_->Open(path);
  }

  void Play(std::function<void()> finished) override {
    if (!device_) throw Error("No media file is open");
    const std::uint64_t play = ++plays_;
    *current_ = play;
    // A completion counts only while its play is the current one: plays
    // that were stopped, replaced or closed may still report afterwards.
    std::weak_ptr<std::uint64_t> current = current_;
    commands_->Play(*device_, [current, play, finished = std::move(finished)](
                                  MciCommands::Completion completion) {
      const auto alive = current.lock();
      if (!alive || *alive != play) return;
      *alive = 0;
      if (completion == MciCommands::Completion::kSuccessful && finished) finished();
    });
  }

  void Halt() override {
    *current_ = 0;
    if (device_) commands_->Stop(*device_);
  }

  void Unload() override {
    *current_ = 0;
    if (device_) commands_->Close(*std::exchange(device_, std::nullopt));
  }

  bool Playing() override { return device_ && commands_->Playing(*device_); }

 private:
  std::unique_ptr<MciCommands> commands_;
  std::optional<MciCommands::DeviceId> device_;
  std::uint64_t plays_ = 0;
  std::shared_ptr<std::uint64_t> current_;
};

}  // namespace

std::unique_ptr<AudioDevice> CreateMciAudioDevice(std::unique_ptr<MciCommands> commands) {
  return std::make_unique<MciAudioDevice>(std::move(commands));
}

}  // namespace slidesaver
