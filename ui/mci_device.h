#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/media_player.h"

namespace slidesaver {

// The few commands of a Media Control Interface that a sound device needs:
// devices opened by file name, plays that report their end once, stop,
// close and the playing mode.
class MciCommands {
 public:
  // How a play ended, as its completion message says.
  enum class Completion { kSuccessful, kSuperseded, kAborted, kFailure };
  using DeviceId = std::uint32_t;

  virtual ~MciCommands() = default;
  // Opens the file on the device the system chooses for its type; raises
  // Error with the interface's own text when it cannot.
  virtual DeviceId Open(const std::string& path) = 0;
  // Plays from the beginning; `done` gets the play's completion on the main
  // thread, at most once. Raises Error.
  virtual void Play(DeviceId device, std::function<void(Completion)> done) = 0;
  virtual void Stop(DeviceId device) = 0;
  virtual void Close(DeviceId device) = 0;
  virtual bool Playing(DeviceId device) = 0;
};

// A sound device over those commands. Only a successful completion of the
// current play counts as its natural end; a play that was stopped, replaced
// or closed, or that the device could not play at all (no sound output),
// ends silently, as a file that cannot be loaded does.
std::unique_ptr<AudioDevice> CreateMciAudioDevice(std::unique_ptr<MciCommands> commands);

}  // namespace slidesaver
