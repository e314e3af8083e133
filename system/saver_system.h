#pragma once

#include <cstdint>
#include <memory>

namespace slidesaver {

// What the desktop offers a screen saver around closing: the user's choice of
// a screen-saver password, the password check itself, and the system flag
// that a screen saver is running.
class SaverSystem {
 public:
  virtual ~SaverSystem() = default;
  // True when the desktop keeps screen-saver settings for this user at all.
  virtual bool HasSaverSettings() = 0;
  // The "use a password" setting; raises Error when it is missing or not an integer.
  virtual std::int32_t UsePasswordSetting() = 0;
  // Shows the desktop's password check, owned by the window `ownerWindow` (a
  // native window handle, as wide as a pointer; 0 for none): true when the user
  // may leave. Raises Error when the desktop has no such check.
  virtual bool VerifyPassword(std::intptr_t ownerWindow) = 0;
  virtual void SetScreenSaverRunning(bool running) = 0;
  // True where a user meets a saver that cannot start its show in a message
  // box (Windows, where a saver is also started by a double click); elsewhere
  // the line on stderr, which the daemon's log keeps, is all.
  virtual bool ShowsStartFailures() { return false; }
};

// The running desktop's services. Linux desktops keep no such settings, have
// no password check a saver could call and no running flag: a close request
// always lets the user leave, and the flag calls do nothing.
std::unique_ptr<SaverSystem> PlatformSaverSystem();

}  // namespace slidesaver
