#include "ui/media_player.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "base/error.h"
#include "ui/app.h"

namespace slidesaver {

// ---- The player ----

namespace {

// Everything the player keeps lives here, so that a completion posted from
// another thread can find out, through a weak reference, whether the player
// still exists when the main thread gets round to it. Only the main thread
// reads or writes these fields; the device's finished callback only posts.
struct PlayerState {
  enum class Request { kNone, kOn, kOff };

  std::unique_ptr<AudioDevice> device;
  TMediaPlayer* owner = nullptr;
  bool open = false;
  Request pending = Request::kNone;
  // The play whose completion is still owed (0: none). A play owes one
  // completion, delivered either at its natural end or when something else
  // ends it first, whichever comes first.
  std::uint64_t owedPlay = 0;
  std::uint64_t lastPlay = 0;
  // Counts the Opens and Closes; a completion queued before the latest one
  // belongs to a file that is no longer open and is dropped.
  std::uint64_t file = 0;

  Request TakeRequest() { return std::exchange(pending, Request::kNone); }
  void Notify() {
    if (owner != nullptr && owner->OnNotify) owner->OnNotify(owner);
  }
};

using State = PlayerState;

// Queues a completion for the main thread; it reaches OnNotify only if the
// player is still alive then and no Open or Close has run meanwhile.
void PostCompletion(const std::shared_ptr<State>& state) {
  if (!HasApplication()) return;
  std::weak_ptr<State> weak = state;
  Application().PostMessage([weak, file = state->file] {
    auto alive = weak.lock();
    if (alive && alive->file == file) alive->Notify();
  });
}

// The completion of one play's natural end, queued from the device's thread.
// It is dropped when a Stop, Close, Open or Play ended that play first (which
// delivers its completion then).
void PostPlayFinished(const std::weak_ptr<State>& weak, std::uint64_t play) {
  if (!HasApplication()) return;
  Application().PostMessage([weak, play] {
    auto state = weak.lock();
    if (!state || state->owedPlay != play) return;
    state->owedPlay = 0;
    state->Notify();
  });
}

// Ends the current play, if any: the device stops, and a play that still
// owes its completion posts it now (as aborted or superseded).
void EndPlay(const std::shared_ptr<State>& state) {
  state->device->Halt();
  if (state->owedPlay != 0) {
    state->owedPlay = 0;
    PostCompletion(state);
  }
}

// Closes what is open; `notify` asks for a completion of the close itself.
// The completions this posts (the close's, an ended play's) are kept; a play
// that has already ended by itself has its completion queued, and like all
// queued ones it is dropped.
void CloseDevice(const std::shared_ptr<State>& state, bool notify) {
  if (!state->open) return;
  ++state->file;
  if (state->owedPlay != 0 && !state->device->Playing()) state->owedPlay = 0;
  EndPlay(state);
  state->device->Unload();
  state->open = false;
  if (notify) PostCompletion(state);
}

}  // namespace

struct TMediaPlayer::State : PlayerState {};

TMediaPlayer::TMediaPlayer(std::unique_ptr<AudioDevice> device)
    : state_(std::make_shared<State>()) {
  state_->device = std::move(device);
  state_->owner = this;
}

TMediaPlayer::~TMediaPlayer() {
  // Posted completions find the state gone and do nothing.
  state_->owner = nullptr;
  state_->owedPlay = 0;
  try {
    if (state_->open) {
      state_->device->Halt();
      state_->device->Unload();
    }
  } catch (...) {
    // Nothing can be reported from a destructor; the device goes anyway.
  }
  state_->open = false;
  state_->device.reset();
}

void TMediaPlayer::Open() {
  // The close that comes first uses a pending request up; the open itself
  // then asks for nothing.
  if (state_->open) {
    CloseDevice(state_, state_->TakeRequest() == State::Request::kOn);
  } else {
    ++state_->file;
  }
  const bool notify = state_->TakeRequest() == State::Request::kOn;
  state_->device->Load(FileName);
  state_->open = true;
  if (notify) PostCompletion(state_);
}

void TMediaPlayer::Play() {
  const bool notify = state_->TakeRequest() != State::Request::kOff;
  if (!state_->open) throw Error("No media file is open");
  EndPlay(state_);
  const std::uint64_t play = ++state_->lastPlay;
  std::weak_ptr<State> weak = state_;
  if (notify) {
    state_->device->Play([weak, play] { PostPlayFinished(weak, play); });
    state_->owedPlay = play;
  } else {
    state_->device->Play([] {});
  }
}

void TMediaPlayer::Stop() {
  const bool notify = state_->TakeRequest() == State::Request::kOn;
  if (!state_->open) return;
  EndPlay(state_);
  if (notify) PostCompletion(state_);
}

void TMediaPlayer::Close() {
  CloseDevice(state_, state_->TakeRequest() == State::Request::kOn);
}

TMPModes TMediaPlayer::Mode() {
  if (!state_->open) return TMPModes::mpNotReady;
  return state_->device->Playing() ? TMPModes::mpPlaying : TMPModes::mpStopped;
}

void TMediaPlayer::SetNotify(bool on) {
  state_->pending = on ? State::Request::kOn : State::Request::kOff;
}

}  // namespace slidesaver
