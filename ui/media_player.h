#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/controls.h"

namespace slidesaver {

// What a sound device can do for the media player: one track at a time.
// Loading chooses the decoder from the file (WAV, MIDI, MP3, OGG).
class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Loads the file as the current track, replacing any loaded one; raises
  // Error with a readable text when there is no device or the file cannot be
  // decoded.
  virtual void Load(const std::string& path) = 0;
  // Starts the loaded track from its beginning; `finished` runs once when it
  // ends by itself (not after Halt or Unload), on any thread. Raises Error.
  virtual void Play(std::function<void()> finished) = 0;
  virtual void Halt() = 0;
  virtual void Unload() = 0;
  virtual bool Playing() = 0;
};

// The sound device of this machine, opened on first Load and closed with the
// object; no sound card means every Load fails. Keep one such device at a time.
// On Linux it is SDL2_mixer (a single music stream per process); MIDI goes
// through the built-in Timidity when a patch set configuration is found, as
// FluidSynth reports the end of a track seconds late.
std::unique_ptr<AudioDevice> CreateAudioDevice();

enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

// The hidden media player component: opens a sound file by name, plays it and
// reports completions through OnNotify, always on the main thread as a posted
// message. A command that uses a pending notification request "on" (Open,
// Close, Play, Stop) posts one completion when it has finished (Play: when the
// track ends by itself, or is stopped, closed or replaced first); a request
// "off" makes that command post none; without a request Play posts one and the
// others none. Each command uses the pending request up. A completion that is
// still queued when a later Open or Close runs is dropped: it belongs to a file
// that is no longer open (the completions that Open or Close post themselves,
// for their close or for a play they end, are kept). Open uses the request for
// the close it starts with when something is open, and then asks for nothing.
// A play delivers at most one completion: a natural end that races with a
// Stop, Close, Open or Play ending it counts once. None after destruction.
class TMediaPlayer {
 public:
  explicit TMediaPlayer(std::unique_ptr<AudioDevice> device);
  ~TMediaPlayer();  // closes the device when one is open
  TMediaPlayer(const TMediaPlayer&) = delete;
  TMediaPlayer& operator=(const TMediaPlayer&) = delete;

  std::string FileName;
  // Closes what is open first, then opens FileName; raises Error.
  void Open();
  // Plays the open file from its beginning; raises Error when nothing is open.
  void Play();
  // Stop and Close with nothing open do nothing and post nothing.
  void Stop();
  void Close();
  // mpPlaying while a track plays, mpStopped when one is open and not playing,
  // mpNotReady when nothing is open.
  TMPModes Mode();
  // Arms the pending notification request for the next command.
  void SetNotify(bool on);

  TNotifyEvent OnNotify;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace slidesaver
