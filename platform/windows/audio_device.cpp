#include <functional>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/media_player.h"

namespace slidesaver {
namespace {

// Plays nothing: every Load fails, so the media player keeps the music silent.
class SilentDevice : public AudioDevice {
 public:
  void Load(const std::string&) override { throw Error("No sound device"); }
  void Play(std::function<void()>) override { throw Error("No sound device"); }
  void Halt() override {}
  void Unload() override {}
  bool Playing() override { return false; }
};

}  // namespace

std::unique_ptr<AudioDevice> CreateAudioDevice() { return std::make_unique<SilentDevice>(); }

}  // namespace slidesaver
