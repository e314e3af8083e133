// The sound device of the media player on Linux: SDL2_mixer.

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "base/error.h"
#include "ui/app.h"
#include "ui/media_player.h"

namespace slidesaver {

namespace {

bool FileExists(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0;
}

// MIDI through FluidSynth ends seconds late (its reverb tail keeps the track
// alive); the built-in Timidity ends on time. Prefer Timidity whenever it has
// a patch set configuration, unless the user decided otherwise.
void PreferTimidityForMidi() {
  const char* userCfg = ::getenv("TIMIDITY_CFG");
  const bool timidityConfigured = (userCfg != nullptr && FileExists(userCfg)) ||
                                  FileExists("/etc/timidity.cfg") ||
                                  FileExists("/etc/timidity/freepats.cfg");
  if (timidityConfigured) ::setenv("SDL_MIXER_DISABLE_FLUIDSYNTH", "1", 0);
}

// Without a sound card, ALSA writes a screenful of configuration errors into
// the saver's log (a daemon's log, mostly) each time SDL tries it. Its error
// handler is process-wide: set here, it holds for the copy of the library SDL
// loads as well. The saver says itself, in one line, when there is no sound.
extern "C" void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa() {
  static const bool done = [] {
    void* library = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) return true;  // no ALSA: nothing to quieten
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    const auto setHandler =
        reinterpret_cast<int (*)(Handler)>(::dlsym(library, "snd_lib_error_set_handler"));
    if (setHandler != nullptr) setHandler(IgnoreAlsaMessage);
    return true;  // the library stays loaded, with the handler in it
  }();
  (void)done;
}

class MixerDevice;

// SDL_mixer has one music-finished hook for the whole process; it reaches the
// device that played last through this pointer.
std::mutex g_hookMutex;
MixerDevice* g_hookDevice = nullptr;

class MixerDevice : public AudioDevice {
 public:
  MixerDevice() = default;
  MixerDevice(const MixerDevice&) = delete;
  MixerDevice& operator=(const MixerDevice&) = delete;

  ~MixerDevice() override {
    if (!audioOpen_) return;
    Halt();
    Unload();
    bool hooked = false;
    {
      std::lock_guard lock(g_hookMutex);
      hooked = g_hookDevice == this;
      if (hooked) g_hookDevice = nullptr;
    }
    // Outside the lock: the hook runs with the audio device locked and then
    // takes g_hookMutex, so holding it here could deadlock.
    if (hooked) Mix_HookMusicFinished(nullptr);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  void Load(const std::string& path) override {
    OpenAudio();
    Unload();
    music_ = Mix_LoadMUS(path.c_str());
    if (music_ == nullptr) throw Error(SDL_GetError());
  }

  void Play(std::function<void()> finished) override {
    if (music_ == nullptr) throw Error("No media file is open");
    // Halting first means no earlier track can end between handing over the
    // callback and starting this one.
    Halt();
    {
      std::lock_guard lock(g_hookMutex);
      g_hookDevice = this;
      finished_ = std::move(finished);
    }
    Mix_HookMusicFinished(&MixerDevice::MusicFinished);
    if (Mix_PlayMusic(music_, 0) != 0) {
      TakeFinished();
      throw Error(SDL_GetError());
    }
  }

  void Halt() override {
    // Mix_HaltMusic calls the finished hook itself; take the callback away
    // first so that only a natural end reports.
    TakeFinished();
    if (audioOpen_) Mix_HaltMusic();
  }

  void Unload() override {
    TakeFinished();
    if (music_ != nullptr) {
      Mix_FreeMusic(music_);
      music_ = nullptr;
    }
  }

  bool Playing() override { return audioOpen_ && Mix_PlayingMusic() != 0; }

 private:
  void OpenAudio() {
    if (audioOpen_) return;
    PreferTimidityForMidi();
    QuietAlsa();
    std::string failure;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      failure = SDL_GetError();
    } else if (Mix_OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
      failure = SDL_GetError();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (!failure.empty()) {
      ReportToStderr("The music stays silent: no sound device (" + failure + ")");
      throw Error(failure);
    }
    audioOpen_ = true;
  }

  std::function<void()> TakeFinished() {
    std::lock_guard lock(g_hookMutex);
    return std::exchange(finished_, nullptr);
  }

  // Runs on SDL's audio thread, with the audio device locked.
  static void MusicFinished() {
    std::function<void()> finished;
    {
      std::lock_guard lock(g_hookMutex);
      if (g_hookDevice == nullptr) return;
      finished = std::exchange(g_hookDevice->finished_, nullptr);
    }
    if (finished) finished();
  }

  bool audioOpen_ = false;
  Mix_Music* music_ = nullptr;
  std::function<void()> finished_;  // guarded by g_hookMutex
};

}  // namespace

std::unique_ptr<AudioDevice> CreateAudioDevice() { return std::make_unique<MixerDevice>(); }

}  // namespace slidesaver
